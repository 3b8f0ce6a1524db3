#include "tree/NodeBuffer.h"

#include <cstdlib>
#include <atomic>
#include <limits>
#include <thread>
#include <utility>

namespace {
// Blocks stay addressable by 32-bit counts.
constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();

[[noreturn]] void OutOfMemory() { throw EStreamError("Out of memory while expanding memory stream"); }

// The block of the last buffer given back, kept for the next one (of any
// thread): a fresh block of megabytes costs a page fault per page on its
// first use. Blocks above the limit go back at once. The program keeps one
// such block, not one a thread: the runtime frees a thread's own storage
// before it runs the destructors of its objects, so a thread's block could
// not be given back safely when the thread ends.
constexpr int64_t kKeptBlockLimit = 16 << 20;

struct TKeptBlock {
  std::atomic_flag busy;  // held for a few instructions at a time
  uint8_t* block = nullptr;
  int64_t capacity = 0;
  bool closed = false;  // the program is ending: nothing more is kept
};
constinit TKeptBlock kept;

// Holds the kept block for a scope.
struct TKeptBlockLock {
  TKeptBlockLock() {
    while (kept.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~TKeptBlockLock() { kept.busy.clear(std::memory_order_release); }
};

// Gives the kept block back when the program ends; a buffer that goes after
// that frees its own.
struct TKeptBlockRelease {
  ~TKeptBlockRelease() {
    TKeptBlockLock hold;
    std::free(std::exchange(kept.block, nullptr));
    kept.capacity = 0;
    kept.closed = true;
  }
} release;
}  // namespace

TNodeBuffer::~TNodeBuffer() {
  if (block != nullptr && capacity <= kKeptBlockLimit) {
    TKeptBlockLock hold;
    if (!kept.closed && capacity > kept.capacity) {
      std::swap(block, kept.block);
      kept.capacity = capacity;
    }
  }
  std::free(block);
}

void TNodeBuffer::Reallocate(int64_t newCapacity) {
  if (block == nullptr) {
    TKeptBlockLock hold;
    if (kept.block != nullptr && kept.capacity >= newCapacity) {
      block = std::exchange(kept.block, nullptr);
      capacity = std::exchange(kept.capacity, 0);
      return;
    }
  }
  void* grown = std::realloc(block, size_t(newCapacity));
  if (grown == nullptr) OutOfMemory();
  block = static_cast<uint8_t*>(grown);
  capacity = newCapacity;
}

void TNodeBuffer::Reserve(int64_t bytes) {
  if (bytes > kMaxBlock) bytes = kMaxBlock;
  if (bytes > capacity) Reallocate(bytes);
}

void TNodeBuffer::GrowTo(int64_t newSize) {
  if (newSize > kMaxBlock) OutOfMemory();
  if (newSize > capacity) {
    int64_t wanted = capacity < 4096 ? 4096 : capacity;
    while (wanted < newSize && wanted <= kMaxBlock / 2) wanted *= 2;
    if (wanted < newSize) wanted = newSize;
    Reallocate(wanted);
  }
  if (newSize > size) std::memset(block + size, 0, size_t(newSize - size));
  size = newSize;
}

int32_t TNodeBuffer::WriteGrowing(const void* buffer, int32_t count) {
  if (position > kMaxBlock - count) OutOfMemory();
  // The source may lie in this block, which growing can move.
  const uint8_t* source = static_cast<const uint8_t*>(buffer);
  bool inBlock = block != nullptr && source >= block && source < block + capacity;
  int64_t offset = inBlock ? source - block : 0;
  int64_t end = position + count;
  if (end > size) GrowTo(end);
  // A write past the end leaves zeros in the gap (GrowTo zeroed it).
  std::memmove(block + position, inBlock ? block + offset : source, size_t(count));
  position = end;
  return count;
}

void TNodeBuffer::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  if (newSize > size) {
    GrowTo(newSize);
    return;
  }
  size = newSize;
  if (position > newSize) position = newSize;
}
