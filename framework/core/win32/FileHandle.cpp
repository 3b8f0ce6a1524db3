// The handle primitives of the file streams over Win32 file handles (target).
#include <windows.h>

#include "core/FileStream.h"

namespace {

// The system's message for code, without the trailing line break and period.
std::string ErrorText(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length != 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (static_cast<unsigned char>(result.back()) <= ' ' || result.back() == '.'))
    result.pop_back();
  return result;
}

HANDLE AsHandle(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

THandle FileHandleOpen(const std::u16string& path, uint16_t mode, std::string& error) {
  static const DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD share = 0;
  DWORD disposition = CREATE_ALWAYS;
  if (mode != fmCreate) {
    unsigned accessIndex = mode & 3;
    unsigned shareIndex = (mode & 0xF0) >> 4;
    if (accessIndex > 2 || shareIndex > 4) {
      error = ErrorText(ERROR_INVALID_PARAMETER);
      return kInvalidHandle;
    }
    access = kAccess[accessIndex];
    share = kShare[shareIndex];
    disposition = OPEN_EXISTING;
  }
  // A path holding a NUL would name another file than the one asked for.
  if (path.find(u'\0') != std::u16string::npos || path.empty()) {
    error = ErrorText(ERROR_FILE_NOT_FOUND);
    return kInvalidHandle;
  }
  HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, share, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ErrorText(GetLastError());
    return kInvalidHandle;
  }
  return reinterpret_cast<THandle>(handle);
}

void FileHandleClose(THandle handle) {
  if (handle != kInvalidHandle) CloseHandle(AsHandle(handle));
}

int32_t FileHandleRead(THandle handle, void* buffer, int32_t count) {
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &read, nullptr)) return -1;
  return static_cast<int32_t>(read);
}

int32_t FileHandleWrite(THandle handle, const void* buffer, int32_t count) {
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return static_cast<int32_t>(written);
}

int64_t FileHandleSeek(THandle handle, int64_t offset, TSeekOrigin origin) {
  DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  if (!SetFilePointerEx(AsHandle(handle), distance, &result, method)) return -1;
  return result.QuadPart;
}

bool FileHandleTruncate(THandle handle, std::string& error) {
  if (SetEndOfFile(AsHandle(handle))) return true;
  error = ErrorText(GetLastError());
  return false;
}
