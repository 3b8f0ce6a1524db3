#include "tree/NodeBuffer.h"

#include <cstdlib>
#include <limits>
#include <utility>

namespace {
// Blocks stay addressable by 32-bit counts.
constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();

[[noreturn]] void OutOfMemory() { throw EStreamError("Out of memory while expanding memory stream"); }

// The block of the last buffer of this thread, kept for the next one: a
// fresh block of megabytes costs a page fault per page on its first use.
// Blocks above the limit go back at once.
constexpr int64_t kKeptBlockLimit = 16 << 20;

struct TSpareBlock {
  uint8_t* block = nullptr;
  int64_t capacity = 0;
  ~TSpareBlock() { std::free(block); }
};
thread_local TSpareBlock spare;
}  // namespace

TNodeBuffer::~TNodeBuffer() {
  if (block != nullptr && capacity <= kKeptBlockLimit && capacity > spare.capacity) {
    std::swap(block, spare.block);
    spare.capacity = capacity;
  }
  std::free(block);
}

void TNodeBuffer::Reallocate(int64_t newCapacity) {
  if (block == nullptr && spare.block != nullptr && spare.capacity >= newCapacity) {
    block = std::exchange(spare.block, nullptr);
    capacity = std::exchange(spare.capacity, 0);
    return;
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
