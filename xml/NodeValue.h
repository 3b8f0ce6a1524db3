#pragma once
// The text of a node (a text's data, an attribute's value, ...) in 16 bytes
// rather than a string object's 32: a pointer, a length and the capacity of a
// block the value owns. Most values never change after the parser sets them:
// those live in their document's text arena, packed one after another with no
// per-value heap block. A value that changes later moves to a heap block of
// its own, so the arena never grows with edits; appending stays amortised O(1)
// per unit in both places.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace node_value_detail {

// A value of 4 to 16 bytes is covered by two words of Word's size, the first
// and the last, which overlap when it is shorter than two words.
template <class Word>
void CopyEnds(unsigned char* out, const unsigned char* in, size_t bytes) {
  Word head, tail;
  std::memcpy(&head, in, sizeof(Word));
  std::memcpy(&tail, in + bytes - sizeof(Word), sizeof(Word));
  std::memcpy(out, &head, sizeof(Word));
  std::memcpy(out + bytes - sizeof(Word), &tail, sizeof(Word));
}

template <class Word>
bool EndsEqual(const unsigned char* x, const unsigned char* y, size_t bytes) {
  Word x0, x1, y0, y1;
  std::memcpy(&x0, x, sizeof(Word));
  std::memcpy(&x1, x + bytes - sizeof(Word), sizeof(Word));
  std::memcpy(&y0, y, sizeof(Word));
  std::memcpy(&y1, y + bytes - sizeof(Word), sizeof(Word));
  return ((x0 ^ y0) | (x1 ^ y1)) == 0;
}

}  // namespace node_value_detail

// Copies count units into fresh room (the ranges never overlap). Most values
// of a document are a few units long: up to eight go in two overlapping
// moves, without a call.
inline void CopyNodeValueUnits(char16_t* to, const char16_t* from, size_t count) {
  size_t bytes = count * sizeof(char16_t);
  auto* out = reinterpret_cast<unsigned char*>(to);
  auto* in = reinterpret_cast<const unsigned char*>(from);
  if (bytes > 16) {
    std::memcpy(out, in, bytes);
  } else if (bytes >= 8) {
    node_value_detail::CopyEnds<uint64_t>(out, in, bytes);
  } else if (bytes >= 4) {
    node_value_detail::CopyEnds<uint32_t>(out, in, bytes);
  } else if (bytes == 2) {
    *to = *from;
  }
}

// True when the count units at a and b are equal. As CopyNodeValueUnits, up
// to eight in two overlapping compares, without a call.
inline bool EqualNodeValueUnits(const char16_t* a, const char16_t* b, size_t count) {
  size_t bytes = count * sizeof(char16_t);
  if (bytes > 16) return std::memcmp(a, b, bytes) == 0;
  auto* x = reinterpret_cast<const unsigned char*>(a);
  auto* y = reinterpret_cast<const unsigned char*>(b);
  if (bytes >= 8) return node_value_detail::EndsEqual<uint64_t>(x, y, bytes);
  if (bytes >= 4) return node_value_detail::EndsEqual<uint32_t>(x, y, bytes);
  return bytes == 0 || *a == *b;
}

// Append-only storage for the values of one document's nodes, freed with it.
class TdomTextArena {
public:
  TdomTextArena() = default;
  TdomTextArena(const TdomTextArena&) = delete;
  TdomTextArena& operator=(const TdomTextArena&) = delete;
  ~TdomTextArena();

  // Room for count units, or null when count is better kept on the heap.
  char16_t* Allocate(size_t count) {
    // Inline for the common case, a short value that fits the current chunk
    // (count - 1 wraps around for 0).
    if (count - 1 < kLargestValue && static_cast<size_t>(limit - cursor) >= count) {
      char16_t* block = cursor;
      cursor += count;
      return block;
    }
    return AllocateInNewChunk(count);
  }
  // Grows the block [block, block + length), which must have come from this
  // arena, by extra units in place when it is the last one handed out and its
  // chunk has room; false otherwise.
  bool ExtendTail(const char16_t* block, size_t length, size_t extra) {
    if (block == nullptr || block + length != cursor) return false;
    if (static_cast<size_t>(limit - cursor) < extra || length + extra > kLargestValue) return false;
    cursor += extra;
    return true;
  }
  // Number of chunks taken so far (the first 16 KB, each next one twice as
  // large up to 1 MB, so that small documents stay small).
  size_t ChunkCount() const { return chunks.size(); }
  // A block holding value: the one an equal value was given before, when
  // the arena still remembers it (it keeps the last value of each of a few
  // hundred hash slots), else a new one. Null for an empty or long value.
  // The block may be shared: it must never be written.
  const char16_t* Intern(std::u16string_view value);

private:
  // Allocate when the value is empty, long, or does not fit the current chunk.
  char16_t* AllocateInNewChunk(size_t count);

  static constexpr size_t kFirstChunkUnits = 8 * 1024;
  static constexpr size_t kLargestChunkUnits = 512 * 1024;
  static constexpr size_t kLargestValue = 2 * 1024;  // longer values go to the heap

  // Values longer than this are rarely repeated: not worth a lookup.
  static constexpr size_t kLargestInterned = 64;
  static constexpr int kInternSlotBits = 10;
  static constexpr size_t kInternSlots = size_t(1) << kInternSlotBits;

  struct Chunk {
    char16_t* units;
    size_t count;
  };
  struct Interned {
    const char16_t* units;
    size_t length;
  };
  std::vector<Chunk> chunks;
  std::unique_ptr<Interned[]> interned;  // made with the first value interned
  char16_t* cursor = nullptr;
  char16_t* limit = nullptr;
};

class TdomNodeValue {
public:
  TdomNodeValue() = default;
  TdomNodeValue(const TdomNodeValue&) = delete;
  TdomNodeValue& operator=(const TdomNodeValue&) = delete;
  ~TdomNodeValue() { Release(); }

  std::u16string_view View() const { return std::u16string_view(data, length); }
  // True when the value has a heap block of its own (to free with it).
  bool HoldsBlock() const { return OwnsBlock(); }
  size_t Length() const { return length; }
  // Replaces the value. The first non-empty value goes to arena (when given
  // and it takes it); every later one to a heap block of the value's own.
  void Assign(std::u16string_view value, TdomTextArena* arena) {
    // Inline for a node's first value (never set, no block): most values are
    // set once, by the parser, and go to the arena.
    if (capacityAndFlag == 0 && arena != nullptr) {
      if (char16_t* block = arena->Allocate(value.size())) {
        CopyNodeValueUnits(block, value.data(), value.size());
        data = block;
        length = static_cast<uint32_t>(value.size());
        capacityAndFlag = kArenaUsed;
        return;
      }
    }
    AssignElsewhere(value, arena);
  }
  // Assign for a value that many nodes are likely to hold alike (an
  // attribute's, the white space between elements): a first value shares
  // the arena's block of an equal one (Intern). Sharing is safe because an
  // arena block is never written once filled: a later change moves the
  // value to a block of its own, and appending in place writes only past the
  // arena's last block, where no other value lies.
  void AssignShared(std::u16string_view value, TdomTextArena* arena) {
    if (capacityAndFlag == 0 && arena != nullptr) {
      if (const char16_t* block = arena->Intern(value)) {
        data = const_cast<char16_t*>(block);
        length = static_cast<uint32_t>(value.size());
        capacityAndFlag = kArenaUsed;
        return;
      }
    }
    Assign(value, arena);
  }
  // Appends in place when the block has room (or is the arena's last block).
  void Append(std::u16string_view value, TdomTextArena* arena) {
    // Inline for text the parser appends to the value it just wrote: the
    // arena's last block grows in place. The new room lies past every value,
    // so value cannot overlap it.
    if (length != 0 && !OwnsBlock() && arena != nullptr && arena->ExtendTail(data, length, value.size())) {
      CopyNodeValueUnits(data + length, value.data(), value.size());
      length += static_cast<uint32_t>(value.size());
      return;
    }
    AppendElsewhere(value, arena);
  }

private:
  static constexpr uint32_t kArenaUsed = 0x80000000u;  // flag in capacityAndFlag

  bool OwnsBlock() const { return (capacityAndFlag & ~kArenaUsed) != 0; }
  // Assign and Append beyond their inline cases.
  void AssignElsewhere(std::u16string_view value, TdomTextArena* arena);
  void AppendElsewhere(std::u16string_view value, TdomTextArena* arena);
  // Frees an owned block; the value is empty afterwards (the flag stays).
  void Release();
  // Moves the value to an owned block of at least capacity units.
  void Reallocate(size_t capacity);

  char16_t* data = nullptr;
  uint32_t length = 0;
  uint32_t capacityAndFlag = 0;  // owned block's capacity (0: none) | kArenaUsed
};
