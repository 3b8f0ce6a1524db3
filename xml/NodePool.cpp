#include "xml/NodePool.h"

#include <cstdint>
#include <new>

#if QV_NODE_POOL && defined(__linux__)
#include <sys/mman.h>
#endif

namespace node_pool {

#if QV_NODE_POOL
// The first chunk is small, so that a process that builds one small document
// stays small; each next one is twice as large, up to kLargestChunk.
constexpr size_t kLargestChunk = 2 * 1024 * 1024;

thread_local constinit ThreadPool threadPool;

void* AllocateElsewhere(size_t size) {
  if (size == 0 || size > kLargestBlock) return ::operator new(size);
  // The size's list is empty: a new block from the current chunk, or from a new one.
  ThreadPool& pool = threadPool;
  size_t bytes = (size + kGranule - 1) / kGranule * kGranule;
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
#else
void* AllocateElsewhere(size_t size) { return ::operator new(size); }
#endif

void FreeElsewhere(void* block) noexcept {
  if (block != nullptr) ::operator delete(block);
}

}  // namespace node_pool

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
