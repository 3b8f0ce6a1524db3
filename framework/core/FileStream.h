#pragma once
// Streams over an operating-system file handle: a Win32 HANDLE on the
// target, a POSIX descriptor on the host (both held as THandle).
#include <cstdint>
#include <string>

#include "core/Stream.h"

using THandle = intptr_t;
constexpr THandle kInvalidHandle = -1;

// Open modes: one access mode or'ed with one share mode, or fmCreate alone.
constexpr uint16_t fmCreate = 0xFFFF;  // create or truncate, read-write, not shared
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;  // same as exclusive
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A stream over a handle it does not own (never closes it). Read and Write
// return 0 when the system call fails; SetSize raises EStreamError with the
// system's error text.
class THandleStream : public TStream {
public:
  THandleStream() = default;
  explicit THandleStream(THandle handle_) : handle(handle_) {}
  void Create(THandle handle_) { handle = handle_; }

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Truncates or extends the file; the position stays unless it was past the
  // new end, where it moves to the end. Negative sizes are ignored.
  void SetSize(int64_t newSize) override;

  THandle Handle() const { return handle; }

protected:
  THandle handle = kInvalidHandle;
};

// A stream over a file opened by path, closed on destruction. Opening fails
// with EFCreateError "Cannot create file \"%s\". %s" (fmCreate) or EFOpenError
// "Cannot open file \"%s\". %s" (other modes), the path in 8-bit text and the
// system's error message. Share modes apply on the target; the host ignores
// them. Directories cannot be opened.
class TFileStream : public THandleStream {
public:
  TFileStream() = default;
  TFileStream(const std::u16string& path, uint16_t mode) { Create(path, mode); }
  ~TFileStream() override;

  void Create(const std::u16string& path, uint16_t mode);
  // The same with an 8-bit path in the system code page.
  void Create(const std::string& path, uint16_t mode);

  const std::u16string& FileName() const { return fileName; }

private:
  std::u16string fileName;
};

// Platform primitives under the handle streams (core/win32, core/posix).
// Opens path for mode; kInvalidHandle on failure with the system's error
// message (no trailing period or line break) in error.
THandle FileHandleOpen(const std::u16string& path, uint16_t mode, std::string& error);
// Closes a valid handle; ignores kInvalidHandle.
void FileHandleClose(THandle handle);
// Bytes read or written; -1 on failure.
int32_t FileHandleRead(THandle handle, void* buffer, int32_t count);
int32_t FileHandleWrite(THandle handle, const void* buffer, int32_t count);
// The new position, or -1 (position unchanged) on failure.
int64_t FileHandleSeek(THandle handle, int64_t offset, TSeekOrigin origin);
// Sets the file's end at the current position; false with error on failure.
bool FileHandleTruncate(THandle handle, std::string& error);
