#include "Volume.h"

#include <winioctl.h>

#include "PassWriter.h"

namespace qv::engine {
namespace {

constexpr int kLockTries = 10;
constexpr DWORD kLockRetryMs = 100;

bool Control(HANDLE handle, DWORD code, void* out = nullptr, DWORD outBytes = 0) {
  DWORD returned = 0;
  return DeviceIoControl(handle, code, nullptr, 0, out, outBytes, &returned, nullptr) != FALSE;
}

}  // namespace

std::unique_ptr<Volume> Volume::Open(char letter, DWORD& error) {
  wchar_t path[] = L"\\\\.\\X:";
  path[4] = wchar_t(letter);
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  std::unique_ptr<Volume> volume(new Volume(handle));
  volume->QueryGeometry();
  return volume;
}

Volume::~Volume() { Close(); }

void Volume::QueryGeometry() {
  DISK_GEOMETRY geometry = {};
  if (Control(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry, sizeof geometry) &&
      geometry.BytesPerSector >= 512 && (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0) {
    sectorBytes_ = geometry.BytesPerSector;
  }
  // Image-backed drives answer no length query; the opened object's size is
  // then the volume's size. Writing past it would grow the image.
  GET_LENGTH_INFORMATION length = {};
  if (Control(handle_, IOCTL_DISK_GET_LENGTH_INFO, &length, sizeof length) && length.Length.QuadPart > 0) {
    size_ = uint64_t(length.Length.QuadPart);
    return;
  }
  LARGE_INTEGER fileSize = {};
  if (GetFileSizeEx(handle_, &fileSize) && fileSize.QuadPart > 0) {
    size_ = uint64_t(fileSize.QuadPart);
    return;
  }
  LARGE_INTEGER zero = {}, end = {};
  if (SetFilePointerEx(handle_, zero, &end, FILE_END) && end.QuadPart > 0) size_ = uint64_t(end.QuadPart);
  SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN);
}

VolumeControl gLockVolume = SystemLockVolume;

bool SystemLockVolume(HANDLE volume) { return Control(volume, FSCTL_LOCK_VOLUME); }

bool Volume::LockAndDismount() {
  for (int i = 0; i < kLockTries && !locked_; ++i) {
    locked_ = gLockVolume(handle_);
    if (!locked_) Sleep(kLockRetryMs);
  }
  // Dismounting a volume others still use would leave their open files
  // writing into what this wipe overwrites.
  if (!locked_) return false;
  Control(handle_, FSCTL_DISMOUNT_VOLUME);
  return true;
}

bool Volume::WriteAt(uint64_t offset, const void* data, uint32_t length, DWORD& error) {
  DWORD written = 0;
  bool ok = gWriteAt(handle_, data, length, offset, written);
  if (ok && written == length) return true;
  error = ok ? DWORD(ERROR_WRITE_FAULT) : GetLastError();
  return false;
}

bool Volume::ReadAt(uint64_t offset, void* data, uint32_t length, DWORD& error) {
  OVERLAPPED at = {};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD read = 0;
  BOOL ok = ReadFile(handle_, data, length, &read, &at);
  if (ok && read == length) return true;
  error = ok ? DWORD(ERROR_READ_FAULT) : GetLastError();
  return false;
}

bool Volume::Flush() { return gFlush(handle_); }

void Volume::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  if (locked_) Control(handle_, FSCTL_UNLOCK_VOLUME);
  locked_ = false;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

}  // namespace qv::engine
