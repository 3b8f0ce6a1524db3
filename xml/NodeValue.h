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
#include <string>
#include <string_view>
#include <vector>

// Append-only storage for the values of one document's nodes, freed with it.
class TdomTextArena {
public:
  TdomTextArena() = default;
  TdomTextArena(const TdomTextArena&) = delete;
  TdomTextArena& operator=(const TdomTextArena&) = delete;
  ~TdomTextArena();

  // Room for count units, or null when count is better kept on the heap.
  char16_t* Allocate(size_t count);
  // Grows the block [block, block + length), which must have come from this
  // arena, by extra units in place when it is the last one handed out and its
  // chunk has room; false otherwise.
  bool ExtendTail(const char16_t* block, size_t length, size_t extra);
  // Number of chunks taken so far (the first 16 KB, each next one twice as
  // large up to 1 MB, so that small documents stay small).
  size_t ChunkCount() const { return chunks.size(); }

private:
  static constexpr size_t kFirstChunkUnits = 8 * 1024;
  static constexpr size_t kLargestChunkUnits = 512 * 1024;
  static constexpr size_t kLargestValue = 2 * 1024;  // longer values go to the heap

  struct Chunk {
    char16_t* units;
    size_t count;
  };
  std::vector<Chunk> chunks;
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
  void Assign(std::u16string_view value, TdomTextArena* arena);
  // Appends in place when the block has room (or is the arena's last block).
  void Append(std::u16string_view value, TdomTextArena* arena);

private:
  static constexpr uint32_t kArenaUsed = 0x80000000u;  // flag in capacityAndFlag

  bool OwnsBlock() const { return (capacityAndFlag & ~kArenaUsed) != 0; }
  // Frees an owned block; the value is empty afterwards (the flag stays).
  void Release();
  // Moves the value to an owned block of at least capacity units.
  void Reallocate(size_t capacity);

  char16_t* data = nullptr;
  uint32_t length = 0;
  uint32_t capacityAndFlag = 0;  // owned block's capacity (0: none) | kArenaUsed
};
