#include "core/StringStream.h"

#include <cstring>
#include <limits>

int32_t TStringStream::Read(void* buffer, int32_t count) {
  int64_t size = Size();
  if (count <= 0 || position >= size) return 0;
  int64_t available = size - position;
  int32_t n = available < count ? static_cast<int32_t>(available) : count;
  std::memmove(buffer, data.data() + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int32_t TStringStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (position > std::numeric_limits<int32_t>::max() - count)
    throw EStreamError("Out of memory while expanding string stream");
  const char* source = static_cast<const char*>(buffer);
  // Copied first: the source may be this stream's own string, which growing moves.
  std::string bytes(source, static_cast<size_t>(count));
  size_t end = static_cast<size_t>(position) + static_cast<size_t>(count);
  if (end > data.size()) data.resize(end, '\0');
  data.replace(static_cast<size_t>(position), bytes.size(), bytes);
  position = static_cast<int64_t>(end);
  return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target = StreamSeekTarget(offset, origin, position, Size());
  if (target < 0) return -1;
  position = target;
  return position;
}

void TStringStream::SetSize(int64_t newSize) {
  if (newSize < 0 || newSize > std::numeric_limits<int32_t>::max()) return;
  data.resize(static_cast<size_t>(newSize), '\0');
  if (position > newSize) position = newSize;
}

std::string TStringStream::ReadString(int32_t count) {
  int64_t size = Size();
  if (count <= 0 || position >= size) return std::string();
  int64_t available = size - position;
  size_t n = static_cast<size_t>(available < count ? available : count);
  std::string result = data.substr(static_cast<size_t>(position), n);
  position += static_cast<int64_t>(n);
  return result;
}

void TStringStream::WriteString(const std::string& text) {
  WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}
