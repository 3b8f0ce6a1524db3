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

// A block of at least size bytes, aligned for any node.
void* NodePoolAllocate(size_t size);
// Gives back a block that NodePoolAllocate(size) made; null is ignored.
void NodePoolFree(void* block, size_t size) noexcept;

// A chunk for a store that fills it from start to end (a document's text),
// given back with NodePoolChunkFree(chunk, bytes). Where the system allows,
// its pages are present from the start: one request to the kernel instead of
// a page fault for each page as it fills.
void* NodePoolChunkAllocate(size_t bytes);
void NodePoolChunkFree(void* chunk, size_t bytes) noexcept;
