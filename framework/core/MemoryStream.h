#pragma once
// Streams over a block of memory. TCustomMemoryStream reads a block it is
// given (it writes nothing); TMemoryStream owns a growable block.
#include <cstdint>
#include <string>

#include "core/Stream.h"

class TCustomMemoryStream : public TStream {
public:
  // Reads from the block; 0 at or past the end.
  int32_t Read(void* buffer, int32_t count) override;
  // Writes nothing: this stream's block is not its own. Returns 0.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size; }

  // The block (null when empty); valid until the stream changes size.
  void* Memory() const { return memory; }
  // Writes the whole block (from offset 0, whatever the position) to stream.
  void SaveToStream(TStream* stream);
  // Creates file path (fmCreate) and writes the whole block to it.
  void SaveToFile(const std::u16string& path);

protected:
  // Points the stream at an outside block of size bytes; the position stays.
  void SetPointer(void* memory_, int64_t size_);
  int64_t position = 0;

private:
  void* memory = nullptr;  // not owned by this class
  int64_t size = 0;
};

// A growable stream in memory. The capacity at least doubles when a write or
// SetSize outgrows it; bytes that a growth exposes (SetSize up, a write past
// the end) are zero. A block that cannot be allocated raises EStreamError
// "Out of memory while expanding memory stream".
class TMemoryStream : public TCustomMemoryStream {
public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int32_t Write(const void* buffer, int32_t count) override;
  // Grows (zero bytes) or shrinks the data; a shrink below the position moves
  // the position to the new end. Negative sizes are ignored.
  void SetSize(int64_t newSize) override;

  // Releases the block: size, capacity and position 0.
  void Clear();
  // Replaces the content with the whole of stream (from its start); the
  // position ends at 0.
  void LoadFromStream(TStream* stream);
  // Replaces the content with the file's bytes; position 0.
  void LoadFromFile(const std::u16string& path);

  // The bytes allocated (at least Size()).
  int64_t Capacity() const { return capacity; }
  // Makes room for at least newCapacity bytes without changing the size;
  // never shrinks below the size.
  void SetCapacity(int64_t newCapacity);

private:
  void Reallocate(int64_t newCapacity);
  // Grows the capacity for newSize bytes (doubling) and zeroes from the old
  // size up to newSize.
  void GrowTo(int64_t newSize);

  unsigned char* block = nullptr;
  int64_t capacity = 0;
};
