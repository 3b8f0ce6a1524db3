// Paths checked on disk level by level under their exact names.
#include "shell/DiskCheck.h"

#include <windows.h>

#include "shell/ExactNames.h"
#include "shell/VirtualWideStrings.h"

namespace {

// Where the levels of a path below its root start: "X:\" or "\\server\share\";
// npos for a path without such a root.
size_t FirstLevel(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return 3;
  if (!exactnames::IsRootedPath(path)) return std::u16string::npos;
  size_t share = path.find(u'\\', 2);
  if (share == std::u16string::npos) return std::u16string::npos;
  size_t end = path.find(u'\\', share + 1);
  return end == std::u16string::npos ? path.size() : end + 1;
}

// Whether the entry at path is there under exactly name, of that kind.
bool Entry(const std::u16string& path, const std::u16string& name, bool folder) {
  // Wildcards are no part of a name on disk; a search would take them as such.
  if (name.empty() || name.find_first_of(u"*?<>\"") != std::u16string::npos) return false;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(vws::W(exactnames::ExtendedPath(path)), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return reinterpret_cast<const char16_t*>(data.cFileName) == name && isFolder == folder;
}

// Every name in folder with whether it is a folder.
std::unordered_map<std::u16string, bool> Read(const std::u16string& folder) {
  std::unordered_map<std::u16string, bool> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(vws::W(exactnames::ExtendedPath(folder + u"*")), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace(reinterpret_cast<const char16_t*>(data.cFileName),
                  (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

}  // namespace

bool TDiskCheck::Matches(const std::u16string& path, bool folder, bool readFolder) {
  if (vws::WideIsDrive(path)) return true;
  const size_t first = FirstLevel(path);
  if (first == std::u16string::npos || first >= path.size()) return false;
  for (size_t start = first; start < path.size();) {
    size_t end = path.find(u'\\', start);
    const bool last = end == std::u16string::npos || end + 1 == path.size();
    if (end == std::u16string::npos) end = path.size();
    const std::u16string level = path.substr(0, end);
    if (last) {
      const std::u16string name = path.substr(start, end - start);
      return readFolder ? Listed(path.substr(0, start), name, folder) : Entry(level, name, folder);
    }
    if (folders.count(level) == 0) {
      // A folder on the way may be a reparse point: a volume mounted there,
      // which the wipe goes through, or a link put there after the tick,
      // which the listing names as such (the wipe never goes through one).
      if (!Entry(level, path.substr(start, end - start), /*folder=*/true)) return false;
      folders.insert(level);
    }
    start = end + 1;
  }
  return false;
}

bool TDiskCheck::Listed(const std::u16string& folder, const std::u16string& name, bool isFolder) {
  auto found = listings.find(folder);
  if (found == listings.end()) found = listings.emplace(folder, Read(folder)).first;
  auto entry = found->second.find(name);
  return entry != found->second.end() && entry->second == isFolder;
}
