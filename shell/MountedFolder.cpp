#include "shell/MountedFolder.h"

#include <cstdint>
#include <vector>

#include "shell/ExactNames.h"
#include "shell/VirtualWideStrings.h"

std::u16string ObjectPlaceOf(HANDLE handle) {
  struct CountedText {
    USHORT length;
    USHORT maximum;
    PWSTR buffer;
  };
  using QueryCall = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const QueryCall query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")))
                 : nullptr;
  }();
  constexpr ULONG kObjectNameInformation = 1;
  if (query == nullptr) return u"";
  std::vector<uint64_t> buffer((sizeof(CountedText) + 65536) / sizeof(uint64_t) + 1);
  ULONG returned = 0;
  if (query(handle, kObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(uint64_t)),
            &returned) < 0)
    return u"";
  const auto* name = reinterpret_cast<const CountedText*>(buffer.data());
  if (name->buffer == nullptr) return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(name->buffer), name->length / sizeof(char16_t));
}

bool IsMountedFolder(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'\\');
  if (slash == std::u16string::npos || slash < 2 || slash + 1 >= path.size()) return false;
  auto open = [](const std::u16string& at) {
    return CreateFileW(vws::W(exactnames::ExtendedPath(at)), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  HANDLE above = open(path.substr(0, slash == 2 ? 3 : slash));
  if (above == INVALID_HANDLE_VALUE) return false;
  std::u16string place = ObjectPlaceOf(above);
  CloseHandle(above);
  while (!place.empty() && place.back() == u'\\') place.pop_back();
  if (place.empty()) return false;
  HANDLE folder = open(path);
  if (folder == INVALID_HANDLE_VALUE) return false;
  const bool mounted = ObjectPlaceOf(folder) == place + u'\\' + path.substr(slash + 1);
  CloseHandle(folder);
  return mounted;
}
