// The checked paths of a node storage: what the wipe wizard wipes.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shell/ErrorModeScope.h"
#include "shell/ExactNames.h"
#include "shell/Namespace.h"
#include "shell/NodeStorage.h"
#include "shell/NodeStorageOrder.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

bool IsChecked(const TNodeStorage* record) {
  return record->Storage.Kinds.Contains(skCheckState) && record->Storage.CheckState == csCheckedNormal;
}

// What a record stands for on disk, as the shell knew the item when it was
// ticked: its whole path and its kind. The shell answers from the item's ID,
// not from the disk, so the item may since have gone or changed.
struct TRecordItem {
  bool fileSystem = false;  // false: no file-system item (nothing to list)
  bool whole = false;       // false: a file-system item whose whole path cannot be made
  bool folder = false;
  std::u16string path;      // whole, or the best name known when not whole
};

// Whole paths of records, each made once per listing from its parent's path
// and its own in-folder name: no path length cuts it.
class TRecordPaths {
public:
  const TRecordItem& Of(TNodeStorage* record) {
    auto found = known.find(record);
    if (found != known.end()) return found->second;
    TRecordItem item = Make(record);
    return known.emplace(record, std::move(item)).first->second;
  }

private:
  TRecordItem Make(TNodeStorage* record) {
    TRecordItem item;
    if (record->ParentNode() == nullptr) {
      TNamespace* ns = New<TNamespace>(record->AbsolutePIDL(), static_cast<TNamespace*>(nullptr));
      // A cleared root has no PIDL: the item made the desktop's and keeps it.
      if (record->AbsolutePIDL() != nullptr) ns->SetFreePIDLOnDestroy(false);
      item.fileSystem = ns->FileSystem();
      item.folder = true;
      if (item.fileSystem) item.path = ns->NameForParsing();
      ns->Free();
      item.whole = exactnames::IsRootedPath(item.path) && item.path.size() < exactnames::kMayBeCutLength;
      return item;
    }
    IShellFolder* folder = record->ParentNode()->GetShellFolder();
    LPCITEMIDLIST items[1] = {record->RelativePIDL()};
    ULONG attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_STREAM;
    if (folder == nullptr || items[0] == nullptr || FAILED(folder->GetAttributesOf(1, items, &attributes))) {
      // Below a file-system folder the shell cannot open or ask any more:
      // an item that cannot be checked, named rather than left out unsaid.
      const TRecordItem& parent = Of(record->ParentNode());
      if (parent.fileSystem) {
        item.fileSystem = true;
        item.path = exactnames::ParsingName(record->AbsolutePIDL());
        if (item.path.empty()) item.path = parent.path;
      }
      return item;
    }
    if ((attributes & SFGAO_FILESYSTEM) == 0) return item;
    item.fileSystem = true;
    // A file the shell can open like a folder (an archive) is a file on disk.
    item.folder = (attributes & SFGAO_FOLDER) != 0 && (attributes & SFGAO_STREAM) == 0;
    const TRecordItem& parent = Of(record->ParentNode());
    if (parent.fileSystem) {
      item.path = parent.path;
      if (exactnames::JoinName(item.path, exactnames::InFolderName(folder, items[0]))) {
        item.whole = parent.whole;
        return item;
      }
    }
    // Below a folder outside the file system (a drive in the computer's
    // folder), or an item whose in-folder name is no name on disk (the
    // user's documents on the desktop): the shell's full name, when it
    // cannot have been cut. A folder's is taken without a closing backslash,
    // so that it is one path with the folder reached on the drive's road.
    STRRET name{};
    item.path.clear();
    if (SUCCEEDED(folder->GetDisplayNameOf(items[0], SHGDN_FORPARSING, &name)))
      item.path = vws::StrRetToWideStr(name, items[0]);
    item.whole = exactnames::IsRootedPath(item.path) && item.path.size() < exactnames::kMayBeCutLength;
    if (item.whole && item.path.size() > 3 && item.path.back() == u'\\') item.path.pop_back();
    return item;
  }

  std::unordered_map<TNodeStorage*, TRecordItem> known;
};

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

// Whether each level of a path is on disk under exactly its name, the levels
// above the last being folders and the last of the kind the record knew. A
// name the shell took for it (another case, "x" for "x.") does not count:
// the entry found for a level must carry its very name. Folders found whole
// are remembered for the rest of the listing. Where many ticks share a
// folder, the folder is read once instead of asked for each of them.
class TDiskCheck {
public:
  bool Matches(const TRecordItem& item, bool manySiblings) {
    const std::u16string& path = item.path;
    if (vws::WideIsDrive(path)) return true;  // a drive root, with or without a medium
    const size_t first = FirstLevel(path);
    if (first == std::u16string::npos || first >= path.size()) return false;
    for (size_t start = first; start < path.size();) {
      size_t end = path.find(u'\\', start);
      const bool last = end == std::u16string::npos || end + 1 == path.size();
      if (end == std::u16string::npos) end = path.size();
      const std::u16string level = path.substr(0, end);
      if (last) {
        const std::u16string name = path.substr(start, end - start);
        return manySiblings ? Listed(path.substr(0, start), name, item.folder) : Entry(level, name, item.folder);
      }
      if (folders.count(level) == 0) {
        if (!Entry(level, path.substr(start, end - start), /*folder=*/true)) return false;
        folders.insert(level);
      }
      start = end + 1;
    }
    return false;
  }

private:
  static bool Entry(const std::u16string& path, const std::u16string& name, bool folder) {
    // Wildcards are no part of a name on disk; a search would take them as such.
    if (name.empty() || name.find_first_of(u"*?<>\"") != std::u16string::npos) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(vws::W(exactnames::ExtendedPath(path)), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return reinterpret_cast<const char16_t*>(data.cFileName) == name && isFolder == folder;
  }

  // Whether folder (with its trailing backslash) holds name exactly, of that kind.
  bool Listed(const std::u16string& folder, const std::u16string& name, bool isFolder) {
    auto found = listings.find(folder);
    if (found == listings.end()) found = listings.emplace(folder, Read(folder)).first;
    auto entry = found->second.find(name);
    return entry != found->second.end() && entry->second == isFolder;
  }

  // Every name in folder with whether it is a folder.
  static std::unordered_map<std::u16string, bool> Read(const std::u16string& folder) {
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

  std::unordered_set<std::u16string> folders;
  std::unordered_map<std::u16string, std::unordered_map<std::u16string, bool>> listings;
};

// Beyond this many records in one folder, the folder is read once.
constexpr int kManySiblings = 16;

// True when a folder of path (not path itself) is among the listed paths.
// Names are compared exactly: "Data" and "data" are two folders.
bool InsideListed(const std::u16string& path, const std::unordered_set<std::u16string>& listed) {
  for (size_t at = path.find(u'\\'); at != std::u16string::npos && at + 1 < path.size();
       at = path.find(u'\\', at + 1)) {
    if (listed.count(path.substr(0, at)) != 0 || listed.count(path.substr(0, at + 1)) != 0) return true;
  }
  return false;
}

}  // namespace

TWideStringList* TRootNodeStorage::GetCheckedFileNames(TCheckedNamesKind kind, std::vector<std::u16string>* absent) {
  TErrorModeScope quiet;
  checkedFileNames->BeginUpdate();
  checkedFileNames->Clear();
  // The same item can be reached on two roads (the desktop and the drive);
  // each path is listed once. Paths are compared exactly: names that differ
  // only in case are two items.
  std::vector<std::u16string> ordered;
  std::unordered_set<std::u16string> listed;
  TRecordPaths paths;
  TDiskCheck disk;
  std::unordered_set<std::u16string> missing;
  if (absent != nullptr) absent->clear();
  // Pre-order, siblings in the shell's order: a stack of records to visit, last child pushed first.
  std::vector<TNodeStorage*> pending{this};
  try {
    while (!pending.empty()) {
      TNodeStorage* record = pending.back();
      pending.pop_back();
      if (IsChecked(record)) {
        const TRecordItem& item = paths.Of(record);
        const TNodeStorageList* siblings =
            record->ParentNode() != nullptr ? record->ParentNode()->ChildNodes() : nullptr;
        const bool many = siblings != nullptr && siblings->Count() > kManySiblings;
        if (item.fileSystem && item.whole && disk.Matches(item, many)) {
          const std::u16string& path = item.path;
          if (listed.insert(path).second) ordered.push_back(path);
          // What a listed folder holds is wiped with it; what a listed link
          // leads to is not wiped at all (links are never followed).
          if (kind == cnkTopmost || nodestorage::PathIsLink(path)) continue;
        } else if (item.fileSystem) {
          // Gone, changed, or not to be named whole: never replaced by what
          // bears its name now, and whatever was stored below it goes with it.
          if (absent != nullptr && missing.insert(item.path).second) absent->push_back(item.path);
          continue;
        }
      }
      TNodeStorageList* children = record->ChildNodes();
      if (children == nullptr) continue;
      for (int i = children->Count() - 1; i >= 0; --i) pending.push_back(children->Items(i));
    }
    for (const std::u16string& path : ordered) {
      if (kind == cnkTopmost && InsideListed(path, listed)) continue;
      checkedFileNames->Add(path);
    }
  } catch (...) {
    checkedFileNames->EndUpdate();
    throw;
  }
  checkedFileNames->EndUpdate();
  return checkedFileNames;
}
