#pragma once
// Whether a path is on disk as it was when ticked: every level under exactly
// its name (a name the file system takes for it - another case, "x" for "x.",
// a short name - does not count), the levels above the last being folders
// (a mount or a link among them is passed: the listing tells them apart) and
// the last of the kind it had. Paths are absolute ("X:\..." or
// "\\server\share\...") and may be of any length.
#include <string>
#include <unordered_map>
#include <unordered_set>

class TDiskCheck {
public:
  // Whether path is there so (a drive root always is, with or without a
  // medium). Folders above the last level found whole are remembered for the
  // life of this object; the last level is looked up every time. With
  // readFolder, the last level's folder is read once and its listing kept
  // (for many paths in one folder, checked together).
  bool Matches(const std::u16string& path, bool folder, bool readFolder = false);

private:
  // Whether folder (with its trailing backslash) holds name exactly, of that kind, from a kept listing.
  bool Listed(const std::u16string& folder, const std::u16string& name, bool isFolder);

  std::unordered_set<std::u16string> folders;
  std::unordered_map<std::u16string, std::unordered_map<std::u16string, bool>> listings;
};
