#include "FillFloor.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kChunk = 1 << 20;

// Cut to zero, times reset, flushed, renamed three times, deleted on close.
bool RemoveOpen(HANDLE file, const std::wstring& path) {
  LARGE_INTEGER zero = {};
  SYSTEMTIME old = {1980, 1, 0, 1, 0, 0, 0, 0};
  FILETIME neutral;
  SystemTimeToFileTime(&old, &neutral);
  bool ok = SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
            SetFileTime(file, &neutral, &neutral, &neutral) && FlushFileBuffers(file);
  size_t slash = path.find_last_of(L'\\');
  std::wstring folder = path.substr(0, slash);
  std::wstring name = path.substr(slash + 1);
  for (int round = 0; ok && round < 3; ++round) ok = RenameOpen(file, folder, std::wstring(name.size(), L'A' + round));
  FILE_DISPOSITION_INFO remove = {TRUE};
  return ok && SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
}

}  // namespace

FloorResult PlainFill(const std::wstring& path, bool remove) {
  FloorResult result;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return result;
  LARGE_INTEGER size = {};
  std::vector<uint8_t> zeros(kChunk);
  bool ok = GetFileSizeEx(file, &size) != FALSE;
  for (uint64_t offset = 0; ok && offset < uint64_t(size.QuadPart); offset += kChunk) {
    uint64_t left = uint64_t(size.QuadPart) - offset;
    DWORD chunk = left < kChunk ? DWORD(left) : kChunk;
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD written = 0;
    ok = WriteFile(file, zeros.data(), chunk, &written, &at) && written == chunk;
  }
  ok = ok && FlushFileBuffers(file);
  if (ok && remove) ok = RemoveOpen(file, path);
  CloseHandle(file);
  result.bytes = double(size.QuadPart);
  result.ok = ok;
  return result;
}

bool RenameOpen(HANDLE file, const std::wstring& folder, const std::wstring& name) {
  std::wstring target = L"\\??\\" + folder + L"\\" + name;
  std::vector<uint8_t> record(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(record.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.data(), info->FileNameLength);
  return SetFileInformationByHandle(file, FileRenameInfo, info, DWORD(record.size())) != FALSE;
}
