// The handle primitives of the file streams over POSIX descriptors (host).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/FileStream.h"
#include "core/SysUtils.h"

namespace {

std::string ErrorText(int code) { return std::strerror(code); }

}  // namespace

THandle FileHandleOpen(const std::u16string& path, uint16_t mode, std::string& error) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (mode & 3) {
      case fmOpenRead: flags |= O_RDONLY; break;
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: error = ErrorText(EINVAL); return kInvalidHandle;
    }
    if (((mode & 0xF0) >> 4) > 4) {
      error = ErrorText(EINVAL);
      return kInvalidHandle;
    }
  }
  // A path holding a NUL would name another file than the one asked for.
  if (path.find(u'\0') != std::u16string::npos || path.empty()) {
    error = ErrorText(ENOENT);
    return kInvalidHandle;
  }
  std::string native = Utf16ToUtf8(path);
  int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0) {
    error = ErrorText(errno);
    return kInvalidHandle;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    error = ErrorText(EISDIR);
    return kInvalidHandle;
  }
  return fd;
}

void FileHandleClose(THandle handle) {
  if (handle != kInvalidHandle) ::close(static_cast<int>(handle));
}

int32_t FileHandleRead(THandle handle, void* buffer, int32_t count) {
  ssize_t n;
  do {
    n = ::read(static_cast<int>(handle), buffer, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

int32_t FileHandleWrite(THandle handle, const void* buffer, int32_t count) {
  ssize_t n;
  do {
    n = ::write(static_cast<int>(handle), buffer, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

int64_t FileHandleSeek(THandle handle, int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
  return result < 0 ? -1 : static_cast<int64_t>(result);
}

bool FileHandleTruncate(THandle handle, std::string& error) {
  off_t position = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(static_cast<int>(handle), position) != 0) {
    error = ErrorText(errno);
    return false;
  }
  return true;
}
