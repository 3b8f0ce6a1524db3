#include "NeededFolders.h"

#include <windows.h>

#include "FileListing.h"

namespace {

const std::u16string* Find(const std::vector<std::pair<TItemKey, std::u16string>>& keys, const TItemKey& key) {
  for (const auto& [known, folder] : keys)
    if (known == key) return &folder;
  return nullptr;
}

// A drive path in its plain form (X:\...), also when given in its long form, without trailing backslashes.
std::u16string PlainFolder(std::u16string path) {
  if (path.compare(0, 4, u"\\\\?\\") == 0) path.erase(0, 4);
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  return path;
}

}  // namespace

TNeededFolders::TNeededFolders(const std::vector<std::u16string>& folders) {
  for (const std::u16string& given : folders) {
    const std::u16string folder = PlainFolder(given);
    TItemKey key;
    if (folder.size() < 3 || folder[1] != u':' || !KeyOfPath(folder, key)) continue;
    own.emplace_back(key, folder);
    // Each folder above it, up to and with the drive's root.
    for (size_t at = folder.find_last_of(u'\\'); at != std::u16string::npos && at >= 2;
         at = at == 2 ? std::u16string::npos : folder.find_last_of(u'\\', at - 1)) {
      TItemKey above;
      if (KeyOfPath(folder.substr(0, at == 2 ? 3 : at), above)) holders.emplace_back(above, folder);
    }
    AddHostHolders(folder);
  }
}

void TNeededFolders::AddHostHolders(const std::u16string& folder) {
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  static const UnixNameCall unixName = reinterpret_cast<UnixNameCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return;
  // The drive's root as the host names it, then each folder above it, reached through Z:.
  char* root = unixName(reinterpret_cast<LPCWSTR>(folder.substr(0, 3).c_str()));
  if (root == nullptr) return;
  std::string path = root;
  HeapFree(GetProcessHeap(), 0, root);
  while (!path.empty() && path.back() == '/') path.pop_back();
  for (size_t slash = path.find_last_of('/'); slash != std::string::npos; slash = path.find_last_of('/')) {
    path.resize(slash);
    std::u16string host = u"Z:\\";
    const std::string below = path.empty() ? std::string() : path.substr(1);
    std::u16string wide(below.size(), u'\0');  // UTF-8 gives at most one unit a byte
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, below.data(), static_cast<int>(below.size()),
                                                        reinterpret_cast<LPWSTR>(wide.data()),
                                                        static_cast<int>(wide.size()))));
    for (char16_t c : wide) host += c == u'/' ? u'\\' : c;
    TItemKey above;
    if (!KeyOfPath(host, above)) continue;
    holders.emplace_back(above, folder);
    hostHolders.emplace_back(above, folder);
  }
}

TNeededFolders TNeededFolders::OfThisSystem() {
  std::vector<std::u16string> folders;
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n > 0 && n <= MAX_PATH) folders.push_back(reinterpret_cast<const char16_t*>(windows));
  // The program's folder by its wide name, which any length and any character keep.
  std::u16string program(32768, u'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(program.data()), static_cast<DWORD>(program.size()));
  program.resize(length < program.size() ? length : 0);
  const size_t slash = program.find_last_of(u'\\');
  if (slash != std::u16string::npos) folders.push_back(program.substr(0, slash == 2 ? 3 : slash));
  return TNeededFolders(folders);
}

const std::u16string* TNeededFolders::Is(const TItemKey& key) const { return Find(own, key); }

const std::u16string* TNeededFolders::HeldBy(const TItemKey& key) const { return Find(holders, key); }

const std::u16string* TNeededFolders::KeepsFilesOf(const TItemKey& key) const { return Find(hostHolders, key); }
