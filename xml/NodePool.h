#pragma once
// Blocks for DOM nodes: a freed block goes back to a list of its size and is
// the next one handed out, so building and freeing millions of nodes costs no
// general-purpose heap work and no per-block header. Each thread keeps its own
// lists (a block freed on another thread simply joins that thread's list);
// blocks are cut from chunks (64 KB at first, growing to 2 MB) that live as
// long as the process, reused but never given back. Sizes past the largest
// class, and every size in builds under AddressSanitizer (which must see each
// block), go to the heap.
#include <cstddef>

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

// The pool's own parts, public only so that taking a block from a list and
// giving one back are inline (a parse does both for every node).
namespace node_pool {

constexpr size_t kGranule = 8;  // node sizes are multiples of their 8-byte alignment
constexpr size_t kLargestBlock = 512;
constexpr size_t kClassCount = kLargestBlock / kGranule;
constexpr size_t kFirstChunkBytes = 64 * 1024;

struct FreeBlock {
  FreeBlock* next;
};

struct ThreadPool {
  FreeBlock* freeLists[kClassCount] = {};
  char* cursor = nullptr;  // the unused rest of the current chunk
  char* limit = nullptr;
  size_t nextChunkBytes = kFirstChunkBytes;
};

#if QV_NODE_POOL
extern thread_local constinit ThreadPool threadPool;
#endif

// The list of blocks of a size from 1 to kLargestBlock.
inline FreeBlock*& FreeListOf(ThreadPool& pool, size_t size) { return pool.freeLists[(size + kGranule - 1) / kGranule - 1]; }
// NodePoolAllocate when the size has no list, or its list is empty and the
// current chunk has no room.
void* AllocateElsewhere(size_t size);
// NodePoolFree of a block that goes to no list.
void FreeElsewhere(void* block) noexcept;

}  // namespace node_pool

// A block of at least size bytes, aligned for any node.
inline void* NodePoolAllocate(size_t size) {
#if QV_NODE_POOL
  if (size - 1 < node_pool::kLargestBlock) {  // wraps around for 0
    node_pool::ThreadPool& pool = node_pool::threadPool;
    node_pool::FreeBlock*& head = node_pool::FreeListOf(pool, size);
    if (node_pool::FreeBlock* block = head) {
      head = block->next;
      return block;
    }
    // None freed yet (as while a document is first built): cut from the chunk.
    size_t bytes = (size + node_pool::kGranule - 1) & ~(node_pool::kGranule - 1);
    if (static_cast<size_t>(pool.limit - pool.cursor) >= bytes) {
      void* block = pool.cursor;
      pool.cursor += bytes;
      return block;
    }
  }
#endif
  return node_pool::AllocateElsewhere(size);
}

// Gives back a block that NodePoolAllocate(size) made; null is ignored.
inline void NodePoolFree(void* block, size_t size) noexcept {
#if QV_NODE_POOL
  if (block != nullptr && size - 1 < node_pool::kLargestBlock) {
    auto* freed = static_cast<node_pool::FreeBlock*>(block);
    node_pool::FreeBlock*& head = node_pool::FreeListOf(node_pool::threadPool, size);
    freed->next = head;
    head = freed;
    return;
  }
#endif
  node_pool::FreeElsewhere(block);
}

// A chunk for a store that fills it from start to end (a document's text),
// given back with NodePoolChunkFree(chunk, bytes). Where the system allows,
// its pages are present from the start: one request to the kernel instead of
// a page fault for each page as it fills.
void* NodePoolChunkAllocate(size_t bytes);
void NodePoolChunkFree(void* chunk, size_t bytes) noexcept;
