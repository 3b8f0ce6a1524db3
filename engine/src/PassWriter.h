#pragma once
// Writes one pass over a byte range of an open file or volume, in chunks,
// asking between chunks whether to go on.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "AlignedBuffer.h"
#include "PassPattern.h"

namespace qv::engine {

enum class WriteEnd { Complete, Stopped, Failed, DiskFull };

struct WriteOutcome {
  WriteEnd end = WriteEnd::Complete;
  uint64_t written = 0;  // bytes written from `from` on
  DWORD error = 0;       // system error of a failed write
};

// Returns false to stop; gets the bytes written so far in this call.
using WriteTick = std::function<bool(uint64_t written)>;

constexpr uint64_t kFlushBehindStep = uint64_t(64) << 20;
constexpr uint64_t kFlushBehindFrom = 2 * kFlushBehindStep;

// Writes the pass's bytes at offsets [from, to) of `file` with explicit
// offsets, in chunks of the buffer's size (long ranges in larger chunks of
// the writer's own when it gets the memory). A full disk ends with DiskFull; with `fillToFull`, a refused
// chunk is first retried in halves down to 512 bytes so the last free bytes
// are used too. Any other write error ends with Failed.
// Ranges of kFlushBehindFrom bytes or more are flushed behind the writer
// every kFlushBehindStep bytes (see FlushBehind.h); the caller's flush after
// the pass is still what makes it durable. No such flush is under way when
// WritePass returns.
WriteOutcome WritePass(HANDLE file, const PassSource& source, uint64_t from, uint64_t to,
                       const AlignedBuffer& buffer, const WriteTick& tick, bool fillToFull);

// The positioned write every pass goes through (also the volume's sector
// retries and the free-space task's small files): WriteFile at offset, false
// with the system's error set. Tests put one that fails in its place.
using WriteAtCall = bool (*)(HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written);
extern WriteAtCall gWriteAt;
bool SystemWriteAt(HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written);
// The flush after each pass of the drive tasks (FlushFileBuffers); tests put
// one that fails in its place.
using FlushCall = bool (*)(HANDLE file);
extern FlushCall gFlush;
bool SystemFlush(HANDLE file);

// True for the errors by which a write says that the medium (or the user's quota) is full.
bool IsDiskFull(DWORD error);

}  // namespace qv::engine
