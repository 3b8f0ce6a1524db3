#include "HostPaths.h"

#include <windows.h>

#include "PathNames.h"
#include "Text.h"

namespace qv::engine {

const char16_t kBeyondHostLimit[] = u"longer than the host system below this one allows (4,095 bytes there)";

bool HostName(const std::u16string& path, std::string& name) {
  // Wine's own call (a string from the process heap); there is none elsewhere.
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  static const UnixNameCall unixName = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<UnixNameCall>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                  : nullptr;
  }();
  char* given = unixName ? unixName(W(path)) : nullptr;
  if (!given) return false;
  name = given;
  HeapFree(GetProcessHeap(), 0, given);
  return true;
}

size_t HostPathBytes(const std::u16string& longPath) {
  const std::u16string plain = ToDisplayPath(longPath);
  if (plain.size() < 3 || plain[1] != u':' || plain[2] != u'\\') return 0;
  // The drive's folder there, as the host is handed it, then the rest in
  // UTF-8: the host's form of every path below the drive.
  std::string root;
  if (!HostName(plain.substr(0, 3), root)) return 0;
  size_t bytes = root.size();
  const std::u16string rest = plain.substr(3);
  if (rest.empty()) return bytes;
  int more = WideCharToMultiByte(CP_UTF8, 0, W(rest), int(rest.size()), nullptr, 0, nullptr, nullptr);
  return more > 0 ? bytes + size_t(more) : 0;
}

bool BeyondHostLimit(const std::u16string& longPath) { return HostPathBytes(longPath) > kHostPathLimit; }

}  // namespace qv::engine
