#pragma once
// TUtilsWideStringStream: a memory stream over the bytes of a UTF-16 string
// (little-endian units, as the input source expects for "UTF-16LE"). Its size
// is always even; seeks are clamped to 0..Size.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Stream.h"

class TUtilsWideStringStream : public TStream {
public:
  // Creation phase: the stream holds the bytes of s, position 0.
  void Create(std::u16string_view s);
  void Create() {}

  // Copies min(count, Size - Position) bytes and advances; returns that number.
  int32_t Read(void* buffer, int32_t count) override;
  // Grows the stream to Position + count (rounded up to even) when needed,
  // copies, advances; returns count (0 for count <= 0).
  int32_t Write(const void* buffer, int32_t count) override;
  // From the start, the current position or back from the end (Size - offset); the
  // result is clamped to 0..Size and returned.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size; }
  // Odd: EStreamError "Odd size not valid for WideString"; negative: "Negative
  // stream size invalid". New bytes are zero; the position is cut back.
  void SetSize(int64_t newSize) override;
  // Below Size: EStreamError "Capacity cannot be less than size".
  virtual void SetCapacity(int64_t newCapacity);

  int64_t Capacity() const { return capacity; }
  const uint8_t* Memory() const { return memory.data(); }
  // The stream's bytes read back as UTF-16 units.
  std::u16string DataString() const;

private:
  std::vector<uint8_t> memory;  // capacity bytes
  int64_t size = 0;
  int64_t capacity = 0;
  int64_t position = 0;
};
