// The checked paths of a node storage: what the wipe wizard wipes.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shell/DiskCheck.h"
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
  checkedFolders.clear();
  // The same item can be reached on two roads (the desktop and the drive);
  // each path is listed once. Paths are compared exactly: names that differ
  // only in case are two items.
  std::vector<std::u16string> ordered;
  std::vector<bool> orderedFolders;
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
        if (item.fileSystem && item.whole && disk.Matches(item.path, item.folder, many)) {
          const std::u16string& path = item.path;
          if (listed.insert(path).second) {
            ordered.push_back(path);
            orderedFolders.push_back(item.folder);
          }
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
    for (size_t i = 0; i < ordered.size(); ++i) {
      if (kind == cnkTopmost && InsideListed(ordered[i], listed)) continue;
      checkedFileNames->Add(ordered[i]);
      checkedFolders.push_back(orderedFolders[i]);
    }
  } catch (...) {
    checkedFileNames->EndUpdate();
    throw;
  }
  checkedFileNames->EndUpdate();
  return checkedFileNames;
}
