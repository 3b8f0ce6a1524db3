// The checked paths of a node storage: what the wipe wizard wipes.
#include <unordered_set>
#include <vector>

#include "shell/ErrorModeScope.h"
#include "shell/Namespace.h"
#include "shell/NodeStorage.h"
#include "shell/NodeStorageOrder.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

bool IsChecked(const TNodeStorage* record) {
  return record->Storage.Kinds.Contains(skCheckState) && record->Storage.CheckState == csCheckedNormal;
}

// The parsing path of a record's item when it is a file-system item, else "".
// Children are asked through their parent record's folder, which stays bound.
std::u16string FileSystemPath(TNodeStorage* record) {
  if (record->ParentNode() == nullptr) {
    TNamespace* item = New<TNamespace>(record->AbsolutePIDL(), static_cast<TNamespace*>(nullptr));
    // A cleared root has no PIDL: the item made the desktop's and keeps it.
    if (record->AbsolutePIDL() != nullptr) item->SetFreePIDLOnDestroy(false);
    std::u16string path = item->FileSystem() ? item->NameForParsing() : std::u16string();
    item->Free();
    return path;
  }
  IShellFolder* folder = record->ParentNode()->GetShellFolder();
  LPCITEMIDLIST items[1] = {record->RelativePIDL()};
  if (folder == nullptr || items[0] == nullptr) return {};
  ULONG attributes = SFGAO_FILESYSTEM;
  if (FAILED(folder->GetAttributesOf(1, items, &attributes)) || (attributes & SFGAO_FILESYSTEM) == 0) return {};
  STRRET name{};
  if (FAILED(folder->GetDisplayNameOf(items[0], SHGDN_FORPARSING, &name))) return {};
  return vws::StrRetToWideStr(name, items[0]);
}

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

using nodestorage::PathExists;

TWideStringList* TRootNodeStorage::GetCheckedFileNames(TCheckedNamesKind kind, std::vector<std::u16string>* absent) {
  TErrorModeScope quiet;
  checkedFileNames->BeginUpdate();
  checkedFileNames->Clear();
  // The same item can be reached on two roads (the desktop and the drive);
  // each path is listed once. Paths are compared exactly: names that differ
  // only in case are two items.
  std::vector<std::u16string> paths;
  std::unordered_set<std::u16string> listed;
  std::unordered_set<std::u16string> missing;
  if (absent != nullptr) absent->clear();
  // Pre-order, siblings in the shell's order: a stack of records to visit, last child pushed first.
  std::vector<TNodeStorage*> pending{this};
  try {
    while (!pending.empty()) {
      TNodeStorage* record = pending.back();
      pending.pop_back();
      if (IsChecked(record)) {
        std::u16string path = FileSystemPath(record);
        if (!path.empty() && PathExists(path)) {
          if (listed.insert(path).second) paths.push_back(path);
          // What a listed folder holds is wiped with it; what a listed link
          // leads to is not wiped at all (links are never followed).
          if (kind == cnkTopmost || nodestorage::PathIsLink(path)) continue;
        } else if (!path.empty() && absent != nullptr) {
          // Whatever was stored below a missing item is missing with it.
          if (missing.insert(path).second) absent->push_back(path);
          continue;
        }
      }
      TNodeStorageList* children = record->ChildNodes();
      if (children == nullptr) continue;
      for (int i = children->Count() - 1; i >= 0; --i) pending.push_back(children->Items(i));
    }
    for (const std::u16string& path : paths) {
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
