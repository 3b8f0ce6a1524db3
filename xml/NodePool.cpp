#include "xml/NodePool.h"

#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QV_NODE_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_NODE_POOL 0
#endif
#endif
#ifndef QV_NODE_POOL
#define QV_NODE_POOL 1
#endif

#if QV_NODE_POOL && defined(__linux__)
#include <sys/mman.h>
#endif

#if QV_NODE_POOL
namespace {

constexpr size_t kGranule = 8;  // node sizes are multiples of their 8-byte alignment
constexpr size_t kLargestBlock = 512;
constexpr size_t kClassCount = kLargestBlock / kGranule;
// The first chunk is small, so that a process that builds one small document
// stays small; each next one is twice as large, up to kLargestChunk.
constexpr size_t kFirstChunkBytes = 64 * 1024;
constexpr size_t kLargestChunk = 2 * 1024 * 1024;


struct FreeBlock {
  FreeBlock* next;
};

struct ThreadPool {
  FreeBlock* freeLists[kClassCount] = {};
  char* cursor = nullptr;  // the unused rest of the current chunk
  char* limit = nullptr;
  size_t nextChunkBytes = kFirstChunkBytes;
};

ThreadPool& Pool() {
  thread_local ThreadPool pool;
  return pool;
}

size_t ClassOf(size_t size) { return (size + kGranule - 1) / kGranule - 1; }

}  // namespace

void* NodePoolAllocate(size_t size) {
  if (size == 0 || size > kLargestBlock) return ::operator new(size);
  ThreadPool& pool = Pool();
  size_t sizeClass = ClassOf(size);
  if (FreeBlock* block = pool.freeLists[sizeClass]) {
    pool.freeLists[sizeClass] = block->next;
    return block;
  }
  size_t bytes = (sizeClass + 1) * kGranule;
  if (static_cast<size_t>(pool.limit - pool.cursor) < bytes) {
    // The rest of the old chunk (less than one block of this class) stays unused.
    pool.cursor = static_cast<char*>(NodePoolChunkAllocate(pool.nextChunkBytes));
    pool.limit = pool.cursor + pool.nextChunkBytes;
    if (pool.nextChunkBytes < kLargestChunk) pool.nextChunkBytes *= 2;
  }
  void* block = pool.cursor;
  pool.cursor += bytes;
  return block;
}

void NodePoolFree(void* block, size_t size) noexcept {
  if (block == nullptr) return;
  if (size == 0 || size > kLargestBlock) {
    ::operator delete(block);
    return;
  }
  ThreadPool& pool = Pool();
  size_t sizeClass = ClassOf(size);
  FreeBlock* freed = static_cast<FreeBlock*>(block);
  freed->next = pool.freeLists[sizeClass];
  pool.freeLists[sizeClass] = freed;
}
#else
void* NodePoolAllocate(size_t size) { return ::operator new(size); }
void NodePoolFree(void* block, size_t) noexcept { ::operator delete(block); }
#endif

#if QV_NODE_POOL && defined(__linux__)
void* NodePoolChunkAllocate(size_t bytes) {
  void* chunk = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (chunk == MAP_FAILED) throw std::bad_alloc();
  return chunk;
}
void NodePoolChunkFree(void* chunk, size_t bytes) noexcept {
  if (chunk != nullptr) munmap(chunk, bytes);
}
#else
void* NodePoolChunkAllocate(size_t bytes) { return ::operator new(bytes, std::align_val_t(16)); }
void NodePoolChunkFree(void* chunk, size_t) noexcept { ::operator delete(chunk, std::align_val_t(16)); }
#endif
