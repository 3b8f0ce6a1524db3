#include "core/Stream.h"

#include <limits>
#include <vector>

int64_t StreamSeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  int64_t base = 0;
  switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position; break;
    case soEnd: base = size; break;
    default: return -1;
  }
  if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) return -1;
  int64_t target = base + offset;
  return target < 0 ? -1 : target;
}

int64_t TStream::Size() {
  int64_t position = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count == 0) return;
  if (count < 0 || Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count == 0) return;
  if (count < 0 || Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
  if (source == nullptr || count < 0) throw EReadError("Stream read error");
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  constexpr int32_t kChunk = 64 * 1024;
  std::vector<unsigned char> buffer(static_cast<size_t>(count < kChunk ? count : kChunk));
  int64_t left = count;
  while (left > 0) {
    int32_t chunk = static_cast<int32_t>(left < kChunk ? left : kChunk);
    source->ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    left -= chunk;
  }
  return count;
}
