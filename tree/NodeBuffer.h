#pragma once
// A growable block of memory that a run of node chunks is written to and
// read back from. The tree writes and reads its own chunks through the
// inline members below (no virtual call per field); the node handlers get
// the same object as a stream and go through the virtual ones. Bytes that a
// growth exposes are zero, as in the library's memory stream.
#include <cstdint>
#include <cstring>

#include "core/Stream.h"

class TNodeBuffer final : public TStream {
public:
  TNodeBuffer() = default;
  ~TNodeBuffer() override;
  TNodeBuffer(const TNodeBuffer&) = delete;
  TNodeBuffer& operator=(const TNodeBuffer&) = delete;

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0 || position >= size) return 0;
    int32_t n = size - position < count ? int32_t(size - position) : count;
    CopyBytes(buffer, block + position, n);
    position += n;
    return n;
  }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    if (position > size || count > capacity - position) return WriteGrowing(buffer, count);
    CopyBytes(block + position, buffer, count);
    position += count;
    if (position > size) size = position;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (origin == soBeginning && offset >= 0) return position = offset;
    int64_t target = StreamSeekTarget(offset, origin, position, size);
    if (target >= 0) position = target;
    return target;
  }
  int64_t Size() override { return size; }
  // Grows (zero bytes) or shrinks the data; a shrink below the position moves
  // the position to the new end. Negative sizes are ignored.
  void SetSize(int64_t newSize) override;

  // The same as the stream's, without the virtual calls.
  int64_t Position() const { return position; }
  void WriteBuffer(const void* buffer, int32_t count) {
    if (count < 0 || Write(buffer, count) != count) throw EWriteError("Stream write error");
  }
  // The next count bytes of the block to be written in place, the position
  // past them; null (nothing changed) when they do not fit the room reserved
  // at the end. Their content is the caller's to write, every byte.
  uint8_t* Claim(int32_t count) {
    if (position != size || count > capacity - position) return nullptr;
    uint8_t* at = block + position;
    position += count;
    size = position;
    return at;
  }
  void ReadBuffer(void* buffer, int32_t count) {
    if (count < 0 || Read(buffer, count) != count) throw EReadError("Stream read error");
  }

  // The next count bytes where they lie, the position past them; null (the
  // position at the end) when fewer are left.
  const uint8_t* Take(int32_t count) {
    if (position > size || count > size - position) {
      if (position < size) position = size;
      return nullptr;
    }
    const uint8_t* bytes = block + position;
    position += count;
    return bytes;
  }
  // The bytes written so far (null when none).
  const uint8_t* Bytes() const { return block; }
  // The byte at at, below the size, to change in place.
  uint8_t* BytesAt(int64_t at) { return block + at; }
  // Makes room for at least bytes without changing the size (never beyond
  // what a 32-bit count addresses; raises EStreamError when memory is short).
  void Reserve(int64_t bytes);
  // Forgets the content (the block is kept for the next run); position 0.
  void Reset() { size = position = 0; }

private:
  // Copies count bytes (the two ranges may overlap): the few bytes a node
  // handler reads or writes at a time inline, more through the library.
  static void CopyBytes(void* target, const void* source, int32_t count) {
    auto* to = static_cast<uint8_t*>(target);
    auto* from = static_cast<const uint8_t*>(source);
    // Both ends are loaded before anything is stored.
    if (count >= 8 && count <= 16) {
      uint64_t head, tail;
      std::memcpy(&head, from, 8);
      std::memcpy(&tail, from + count - 8, 8);
      std::memcpy(to, &head, 8);
      std::memcpy(to + count - 8, &tail, 8);
    } else if (count >= 4 && count < 8) {
      uint32_t head, tail;
      std::memcpy(&head, from, 4);
      std::memcpy(&tail, from + count - 4, 4);
      std::memcpy(to, &head, 4);
      std::memcpy(to + count - 4, &tail, 4);
    } else if (count > 0 && count < 4) {
      uint8_t first = from[0], middle = from[count / 2], last = from[count - 1];
      to[0] = first;
      to[count / 2] = middle;
      to[count - 1] = last;
    } else if (count > 16) {
      std::memmove(to, from, size_t(count));
    }
  }

  // A write past the capacity or past the end: grows the block, zeroes a gap.
  int32_t WriteGrowing(const void* buffer, int32_t count);
  void GrowTo(int64_t newSize);
  void Reallocate(int64_t newCapacity);

  uint8_t* block = nullptr;
  int64_t size = 0;
  int64_t capacity = 0;
  int64_t position = 0;
};
