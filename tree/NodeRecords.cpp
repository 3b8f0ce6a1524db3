// Node records: the allocation behind every node.
//
// Built with QV_TREE_POISON_FREED_NODES, each record gets pages of its own; a
// freed record is filled with a pattern, its pages become unreadable and are
// never reused, so a touch of a freed node faults where it happens instead of
// reading whatever took its place.
#include "tree/NodeRecords.h"

#include <cstdlib>
#include <new>


#ifndef QV_TREE_POISON_FREED_NODES

void* AllocateNodeRecord(size_t size) {
  void* block = std::calloc(1, size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void ReleaseNodeRecord(void* block) { std::free(block); }

bool NodeRecordsPoisoned() { return false; }

bool IsPoisonedNodeRecord(const void*) { return false; }

#else

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {
constexpr size_t kPage = 4096;
constexpr size_t kRegion = 16u << 20;  // reserved at a time; pages are committed one record at a time
constexpr unsigned char kPoison = 0xDB;

// The first bytes of a record's pages say how many pages it has; the record follows.
struct TRecordHead {
  size_t pages;
  size_t pad;
};

struct TRegion {
  uintptr_t start;
  size_t used;
};

struct TPoisonedHeap {
  std::mutex lock;
  std::vector<TRegion> regions;
  std::vector<std::pair<uintptr_t, uintptr_t>> freed;  // [start, end) of released records
};

TPoisonedHeap& Heap() {
  static TPoisonedHeap* heap = new TPoisonedHeap;  // outlives every tree
  return *heap;
}

void* ReserveRegion() {
#ifdef _WIN32
  return VirtualAlloc(nullptr, kRegion, MEM_RESERVE, PAGE_NOACCESS);
#else
  void* p = mmap(nullptr, kRegion, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
#endif
}

bool MakeWritable(void* start, size_t size) {
#ifdef _WIN32
  return VirtualAlloc(start, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
#else
  return mprotect(start, size, PROT_READ | PROT_WRITE) == 0;
#endif
}

void MakeUnreadable(void* start, size_t size) {
#ifdef _WIN32
  DWORD old = 0;
  VirtualProtect(start, size, PAGE_NOACCESS, &old);
#else
  mprotect(start, size, PROT_NONE);
#endif
}
}  // namespace

void* AllocateNodeRecord(size_t size) {
  size_t pages = (size + sizeof(TRecordHead) + kPage - 1) / kPage;
  size_t bytes = pages * kPage;
  if (bytes > kRegion) throw std::bad_alloc();
  TPoisonedHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.lock);
  if (heap.regions.empty() || heap.regions.back().used + bytes > kRegion) {
    void* start = ReserveRegion();
    if (start == nullptr) throw std::bad_alloc();
    heap.regions.push_back({reinterpret_cast<uintptr_t>(start), 0});
  }
  TRegion& region = heap.regions.back();
  void* block = reinterpret_cast<void*>(region.start + region.used);
  if (!MakeWritable(block, bytes)) throw std::bad_alloc();
  region.used += bytes;
  std::memset(block, 0, bytes);
  static_cast<TRecordHead*>(block)->pages = pages;
  return static_cast<TRecordHead*>(block) + 1;
}

void ReleaseNodeRecord(void* record) {
  if (record == nullptr) return;
  TRecordHead* head = static_cast<TRecordHead*>(record) - 1;
  size_t bytes = head->pages * kPage;
  std::memset(head, kPoison, bytes);
  MakeUnreadable(head, bytes);
  TPoisonedHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.lock);
  uintptr_t start = reinterpret_cast<uintptr_t>(head);
  heap.freed.push_back({start, start + bytes});
}

bool NodeRecordsPoisoned() { return true; }

bool IsPoisonedNodeRecord(const void* address) {
  uintptr_t a = reinterpret_cast<uintptr_t>(address);
  TPoisonedHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.lock);
  for (const auto& range : heap.freed)
    if (a >= range.first && a < range.second) return true;
  return false;
}

#endif
