#pragma once
// Blocks for DOM nodes: a freed block goes back to a list of its size and is
// the next one handed out, so building and freeing millions of nodes costs no
// general-purpose heap work and no per-block header. Each thread keeps its own
// lists (a block freed on another thread simply joins that thread's list);
// blocks are cut from chunks (64 KB at first, growing to 2 MB) that live as
// long as the process, reused but never given back. Sizes past the largest
// class go to the heap.
//
// The environment variable QV_NODE_POOL, read when the first block is asked
// for, chooses how blocks are kept for the whole process:
//   "pool"  as above (the default, except under AddressSanitizer);
//   "heap"  every block from the heap (the default under AddressSanitizer,
//           which must see each block);
//   "check" the pool's classes and chunks, each block followed by a guard
//           checked when it is freed, every freed block filled with a
//           pattern (and poisoned for AddressSanitizer), held back behind
//           many others, and checked when it leaves the queue and again
//           when it is handed out; a block freed twice, freed with another
//           size or never handed out is caught when it is freed. A fault is
//           written to the error output and ends the process
//           (NodePoolCheck.h).
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define QV_NODE_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_NODE_POOL_ASAN 1
#endif
#endif
#ifndef QV_NODE_POOL_ASAN
#define QV_NODE_POOL_ASAN 0
#endif

enum class TNodePoolMode : uint8_t { Pool, Heap, Check };

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

// In the modes other than "pool" a thread's lists stay empty and it has no
// chunk, so every request takes AllocateElsewhere without a test of the mode.
struct ThreadPool {
  FreeBlock* freeLists[kClassCount] = {};
  char* cursor = nullptr;  // the unused rest of the current chunk
  char* limit = nullptr;
  size_t nextChunkBytes = kFirstChunkBytes;
};

extern thread_local constinit ThreadPool threadPool;
// True in the "pool" mode. Set before the first block is handed out (and so
// before any is freed), never changed after.
extern constinit bool listsInUse;

// The list of blocks of a size from 1 to kLargestBlock.
inline FreeBlock*& FreeListOf(ThreadPool& pool, size_t size) { return pool.freeLists[(size + kGranule - 1) / kGranule - 1]; }
// NodePoolAllocate when the size has no list, or its list is empty and the
// current chunk has no room.
void* AllocateElsewhere(size_t size);
// NodePoolFree of a block that goes to no thread list.
void FreeElsewhere(void* block, size_t size) noexcept;

}  // namespace node_pool

// A block of at least size bytes, aligned for any node.
inline void* NodePoolAllocate(size_t size) {
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
  return node_pool::AllocateElsewhere(size);
}

// Gives back a block that NodePoolAllocate(size) made; null is ignored.
inline void NodePoolFree(void* block, size_t size) noexcept {
  if (node_pool::listsInUse && block != nullptr && size - 1 < node_pool::kLargestBlock) {
    auto* freed = static_cast<node_pool::FreeBlock*>(block);
    node_pool::FreeBlock*& head = node_pool::FreeListOf(node_pool::threadPool, size);
    freed->next = head;
    head = freed;
    return;
  }
  node_pool::FreeElsewhere(block, size);
}

// The mode in effect (chosen on the first call).
TNodePoolMode NodePoolMode();

// In the "check" mode: checks every block held back or waiting to be handed
// out now (rather than when it leaves the queue or is reused), and the guard
// of every block handed out, and hands what is held back to the lists, so
// that the next requests reuse it. Answers the number of blocks checked; a
// fault ends the process as any other.
size_t NodePoolCheckNow();

// A chunk for a store that fills it from start to end (a document's text),
// given back with NodePoolChunkFree(chunk, bytes). Where the system allows,
// its pages are present from the start: one request to the kernel instead of
// a page fault for each page as it fills.
void* NodePoolChunkAllocate(size_t bytes);
void NodePoolChunkFree(void* chunk, size_t bytes) noexcept;
