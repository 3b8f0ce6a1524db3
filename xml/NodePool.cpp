#include "xml/NodePool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "xml/NodePoolCheck.h"

#if defined(__linux__) && !QV_NODE_POOL_ASAN
#include <sys/mman.h>
#define QV_NODE_POOL_MMAP 1
#else
#define QV_NODE_POOL_MMAP 0
#endif

namespace node_pool {

thread_local constinit ThreadPool threadPool;
constinit bool listsInUse = false;

namespace {

// The first chunk is small, so that a process that builds one small document
// stays small; each next one is twice as large, up to kLargestChunk.
constexpr size_t kLargestChunk = 2 * 1024 * 1024;

TNodePoolMode ModeFromEnvironment() {
  const char* text = std::getenv("QV_NODE_POOL");
  if (text != nullptr && std::strcmp(text, "check") == 0) return TNodePoolMode::Check;
  if (text != nullptr && std::strcmp(text, "heap") == 0) return TNodePoolMode::Heap;
  if (text != nullptr && std::strcmp(text, "pool") == 0) return TNodePoolMode::Pool;
  return QV_NODE_POOL_ASAN ? TNodePoolMode::Heap : TNodePoolMode::Pool;
}

}  // namespace

void* AllocateElsewhere(size_t size) {
  TNodePoolMode mode = NodePoolMode();
  if (size == 0 || size > kLargestBlock || mode == TNodePoolMode::Heap) return ::operator new(size);
  if (mode == TNodePoolMode::Check) return CheckedAllocate(size);
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

void FreeElsewhere(void* block, size_t size) noexcept {
  if (block == nullptr) return;
  if (size - 1 < kLargestBlock && NodePoolMode() == TNodePoolMode::Check) {
    CheckedFree(block, size);
    return;
  }
  ::operator delete(block);
}

}  // namespace node_pool

TNodePoolMode NodePoolMode() {
  static const TNodePoolMode mode = [] {
    TNodePoolMode chosen = node_pool::ModeFromEnvironment();
    node_pool::listsInUse = chosen == TNodePoolMode::Pool;
    return chosen;
  }();
  return mode;
}

#if QV_NODE_POOL_MMAP
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
