#include "core/FencedObjects.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Address space is reserved in large regions and handed out from their
// start onwards, never twice; each object is followed by a guard page.
constexpr std::size_t kRegionBytes = 64u << 20;

struct TRegion {
  uintptr_t start;
  uintptr_t end;
  uintptr_t next;
};

std::atomic<std::size_t> gMinSize{0};
// Regions made so far: a release checks them only when there are any.
std::atomic<int> gRegionCount{0};

// Never destroyed: objects fenced by a test may be released at exit, by the
// finalisers of other units, after this unit's statics would have gone.
std::mutex& Lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

std::vector<TRegion>& Regions() {
  static auto* regions = new std::vector<TRegion>;
  return *regions;
}

std::size_t RoundUp(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

void SetObjectFencing(std::size_t minSize) { gMinSize.store(minSize); }

std::size_t ObjectFencing() { return gMinSize.load(); }

void* FencedAllocate(std::size_t size) {
  std::size_t minSize = gMinSize.load(std::memory_order_relaxed);
  if (minSize == 0 || size < minSize) return nullptr;
  std::size_t page = fenced_pages::PageSize();
  std::size_t bytes = RoundUp(size, page);
  std::size_t span = bytes + page;  // the guard page stays without access
  std::lock_guard<std::mutex> guard(Lock());
  std::vector<TRegion>& regions = Regions();
  if (regions.empty() || regions.back().end - regions.back().next < span) {
    std::size_t regionBytes = span > kRegionBytes ? RoundUp(span, page) : kRegionBytes;
    void* start = fenced_pages::Reserve(regionBytes);
    if (start == nullptr) throw std::bad_alloc();
    uintptr_t base = reinterpret_cast<uintptr_t>(start);
    regions.push_back({base, base + regionBytes, base});
    gRegionCount.store(static_cast<int>(regions.size()));
  }
  TRegion& region = regions.back();
  void* block = reinterpret_cast<void*>(region.next);
  if (!fenced_pages::Commit(block, bytes)) throw std::bad_alloc();
  region.next += span;
  return block;
}

bool FencedRelease(void* block, std::size_t size) noexcept {
  if (gRegionCount.load(std::memory_order_relaxed) == 0) return false;
  uintptr_t address = reinterpret_cast<uintptr_t>(block);
  std::lock_guard<std::mutex> guard(Lock());
  for (const TRegion& region : Regions()) {
    if (address < region.start || address >= region.next) continue;
    std::size_t page = fenced_pages::PageSize();
    // Without a size (the delete of a nothrow new whose constructor raised)
    // the first page, which always is the object's, is fenced.
    std::size_t bytes = size != 0 ? RoundUp(size, page) : page;
    fenced_pages::Decommit(block, bytes);
    return true;
  }
  return false;
}
