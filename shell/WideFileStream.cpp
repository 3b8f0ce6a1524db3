#include "shell/WideFileStream.h"

#include <windows.h>

#include "core/Format.h"
#include "shell/ShellErrors.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"

namespace {

HANDLE OpenFile(const std::u16string& name, DWORD access, DWORD share, DWORD disposition) {
  if (vws::UseWideApi() && wide::CreateFileW != nullptr)
    return wide::CreateFileW(vws::W(name), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return CreateFileA(vws::ToAnsi(name).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TWideFileStream::~TWideFileStream() {
  if (handle != kInvalidHandle && handle != 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
  handle = kInvalidHandle;
}

void TWideFileStream::Create(const std::u16string& fileName_, uint16_t mode) {
  fileName = fileName_;
  HANDLE file;
  if (mode == fmCreate) {
    file = OpenFile(fileName, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  } else {
    static const DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static const DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    unsigned access = mode & 3;
    unsigned share = (mode & 0xF0) >> 4;
    if (access > 2 || share > 4) throw ERangeError("Range check error");
    file = OpenFile(fileName, kAccess[access], kShare[share], OPEN_EXISTING);
  }
  if (file == INVALID_HANDLE_VALUE) throw EFCreateError(Format("Cannot create file %s", {fileName}));
  handle = reinterpret_cast<THandle>(file);
}
