#include "xml/WideStrStream.h"

#include <algorithm>
#include <cstring>

#include "core/Exception.h"

void TUtilsWideStringStream::Create(std::u16string_view s) {
  SetSize(int64_t(s.size()) * 2);
  for (size_t i = 0; i < s.size(); ++i) {
    memory[2 * i] = uint8_t(s[i] & 0xFF);
    memory[2 * i + 1] = uint8_t(s[i] >> 8);
  }
  position = 0;
}

int32_t TUtilsWideStringStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position >= size) return 0;
  int32_t n = static_cast<int32_t>(std::min<int64_t>(count, size - position));
  std::memcpy(buffer, memory.data() + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int32_t TUtilsWideStringStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t end = position + count;
  if (end > size) SetSize(end + (end & 1));
  std::memcpy(memory.data() + position, buffer, static_cast<size_t>(count));
  position = end;
  return count;
}

int64_t TUtilsWideStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  // From the end the offset counts back: Seek(2, soEnd) is two bytes before the end.
  if (origin == soEnd) offset = offset == INT64_MIN ? INT64_MAX : -offset;
  int64_t base = origin == soBeginning ? 0 : (origin == soCurrent ? position : size);
  // Saturate instead of overflowing on absurd offsets.
  int64_t target = offset > 0 && base > INT64_MAX - offset ? INT64_MAX : base + offset;
  position = std::clamp<int64_t>(target, 0, size);
  return position;
}

void TUtilsWideStringStream::SetSize(int64_t newSize) {
  if (newSize & 1) throw EStreamError("Odd size not valid for WideString");
  if (newSize < 0) throw EStreamError("Negative stream size invalid");
  if (newSize > capacity) SetCapacity((newSize + std::max<int64_t>(newSize / 4, 8)) & ~int64_t(3));
  if (newSize > size) std::fill(memory.begin() + size, memory.begin() + newSize, uint8_t(0));
  size = newSize;
  if (position > size) position = size;
}

void TUtilsWideStringStream::SetCapacity(int64_t newCapacity) {
  if (newCapacity < size) throw EStreamError("Capacity cannot be less than size");
  if (newCapacity > 0x7FFFFFFF) throw EStreamError("Out of memory while expanding memory stream");
  memory.resize(static_cast<size_t>(newCapacity));
  capacity = newCapacity;
}

std::u16string TUtilsWideStringStream::DataString() const {
  std::u16string out(static_cast<size_t>(size / 2), u'\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = char16_t(memory[2 * i] | (memory[2 * i + 1] << 8));
  return out;
}
