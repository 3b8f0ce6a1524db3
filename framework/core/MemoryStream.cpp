#include "core/MemoryStream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/FileStream.h"

namespace {

// Blocks stay addressable by 32-bit counts on every configuration.
constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();

[[noreturn]] void OutOfMemory() { throw EStreamError("Out of memory while expanding memory stream"); }

}  // namespace

// ---- TCustomMemoryStream --------------------------------------------------------

int32_t TCustomMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position >= size) return 0;
  int64_t available = size - position;
  int32_t n = available < count ? static_cast<int32_t>(available) : count;
  std::memmove(buffer, static_cast<unsigned char*>(memory) + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int32_t TCustomMemoryStream::Write(const void*, int32_t) { return 0; }

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target = StreamSeekTarget(offset, origin, position, size);
  if (target < 0) return -1;
  position = target;
  return position;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) {
  // In chunks: writes take 32-bit counts, and an outside block handed to
  // SetPointer may be larger than one.
  const unsigned char* data = static_cast<const unsigned char*>(memory);
  int64_t left = size;
  while (left > 0) {
    int32_t chunk = left > kMaxBlock ? static_cast<int32_t>(kMaxBlock) : static_cast<int32_t>(left);
    stream->WriteBuffer(data, chunk);
    data += chunk;
    left -= chunk;
  }
}

void TCustomMemoryStream::SaveToFile(const std::u16string& path) {
  TFileStream file(path, fmCreate);
  SaveToStream(&file);
}

void TCustomMemoryStream::SetPointer(void* memory_, int64_t size_) {
  memory = memory_;
  size = size_;
}

// ---- TMemoryStream --------------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(block); }

void TMemoryStream::Reallocate(int64_t newCapacity) {
  if (newCapacity == capacity) return;
  if (newCapacity == 0) {
    std::free(block);
    block = nullptr;
    capacity = 0;
    SetPointer(nullptr, 0);
    return;
  }
  if (newCapacity > kMaxBlock) OutOfMemory();
  void* grown = std::realloc(block, static_cast<size_t>(newCapacity));
  if (grown == nullptr) OutOfMemory();
  block = static_cast<unsigned char*>(grown);
  capacity = newCapacity;
  SetPointer(block, Size());
}

void TMemoryStream::GrowTo(int64_t newSize) {
  int64_t oldSize = Size();
  if (newSize > capacity) {
    int64_t wanted = capacity < 256 ? 256 : capacity;
    while (wanted < newSize && wanted <= kMaxBlock / 2) wanted *= 2;
    if (wanted < newSize) wanted = newSize;
    Reallocate(wanted);
  }
  if (newSize > oldSize) std::memset(block + oldSize, 0, static_cast<size_t>(newSize - oldSize));
  SetPointer(block, newSize);
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (position > kMaxBlock - count) OutOfMemory();
  int64_t end = position + count;
  if (end > Size()) {
    // The source may lie in this stream's own block, which growing can move.
    const unsigned char* source = static_cast<const unsigned char*>(buffer);
    bool inBlock = block != nullptr && source >= block && source < block + capacity;
    int64_t offset = inBlock ? source - block : 0;
    GrowTo(end);
    if (inBlock) buffer = block + offset;
  }
  std::memmove(block + position, buffer, static_cast<size_t>(count));
  position = end;
  return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  if (newSize > Size()) {
    GrowTo(newSize);
    return;
  }
  SetPointer(block, newSize);
  if (position > newSize) position = newSize;
}

void TMemoryStream::Clear() {
  Reallocate(0);
  position = 0;
}

void TMemoryStream::SetCapacity(int64_t newCapacity) {
  if (newCapacity < Size()) newCapacity = Size();
  Reallocate(newCapacity);
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  if (stream == this) {
    position = 0;
    return;
  }
  stream->SetPosition(0);
  int64_t count = stream->Size();
  if (count > kMaxBlock) OutOfMemory();
  SetSize(count);
  stream->ReadBuffer(block, static_cast<int32_t>(count));
  position = 0;
}

void TMemoryStream::LoadFromFile(const std::u16string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}
