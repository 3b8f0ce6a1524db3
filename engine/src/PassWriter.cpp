#include "PassWriter.h"

namespace qv::engine {
namespace {

constexpr size_t kSmallestChunk = 512;

bool WriteAt(HANDLE file, const uint8_t* data, DWORD length, uint64_t offset, DWORD& written) {
  OVERLAPPED at = {};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  written = 0;
  return WriteFile(file, data, length, &written, &at) != FALSE;
}

}  // namespace

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

WriteOutcome WritePass(HANDLE file, const PassSource& source, uint64_t from, uint64_t to,
                       const AlignedBuffer& buffer, const WriteTick& tick, bool fillToFull) {
  WriteOutcome outcome;
  bool filled = false;
  size_t chunkLimit = buffer.size();
  uint64_t offset = from;
  while (offset < to) {
    if (!tick(offset - from)) {
      outcome.end = WriteEnd::Stopped;
      break;
    }
    size_t chunk = to - offset < chunkLimit ? size_t(to - offset) : chunkLimit;
    if (!source.IsUniform() || !filled) {
      source.Fill(offset, buffer.data(), chunk);
      filled = source.IsUniform();
    }
    DWORD written = 0;
    bool ok = WriteAt(file, buffer.data(), DWORD(chunk), offset, written);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    offset += written;
    if (written > 0) continue;  // progress made; a lasting error shows on the next try
    if (ok) error = ERROR_DISK_FULL;  // nothing written and no error: no room left
    if (IsDiskFull(error) && fillToFull && chunkLimit > kSmallestChunk) {
      chunkLimit /= 2;
      continue;
    }
    outcome.end = IsDiskFull(error) ? WriteEnd::DiskFull : WriteEnd::Failed;
    outcome.error = error;
    break;
  }
  outcome.written = offset - from;
  return outcome;
}

}  // namespace qv::engine
