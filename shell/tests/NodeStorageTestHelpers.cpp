#include "NodeStorageTestHelpers.h"

#include <cstring>
#include <vector>

#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace storagetest {

TPath::TPath(const std::u16string& path) : pidl(PathToPIDL(path)) {}

TPath::~TPath() { NamespacePIDLManager->FreePIDL(pidl); }

std::u16string PathOf(LPCITEMIDLIST pidl) {
  wchar_t path[MAX_PATH * 2] = {};
  if (pidl == nullptr || !SHGetPathFromIDListW(pidl, path)) return {};
  return vws::FromW(path);
}

std::u16string Lower(const std::u16string& s) { return vws::WideLowerCase(s); }

namespace {

void Collect(TNodeStorage* record, std::map<std::u16string, TRecordValue>& out) {
  if (!record->Storage.Kinds.Empty() && record->ParentNode() != nullptr)
    out[Lower(PathOf(record->AbsolutePIDL()))] = {record->Storage.Kinds, record->Storage.CheckState};
  if (record->ChildNodes() == nullptr) return;
  for (int i = 0; i < record->ChildNodes()->Count(); ++i) Collect(record->ChildNodes()->Items(i), out);
}

std::string Check(TNodeStorage* record) {
  TNodeStorageList* list = record->ChildNodes();
  if (list == nullptr) return {};
  uint32_t parentSize = record->AbsolutePIDL() != nullptr ? NamespacePIDLManager->PIDLSize(record->AbsolutePIDL()) : 2;
  IShellFolder* folder = record->GetShellFolder();
  for (int i = 0; i < list->Count(); ++i) {
    TNodeStorage* child = list->Items(i);
    if (child->ParentNode() != record) return "child does not point at its parent";
    LPITEMIDLIST pidl = child->AbsolutePIDL();
    if (NamespacePIDLManager->IDCount(pidl) != NamespacePIDLManager->IDCount(record->AbsolutePIDL()) + 1)
      return "child PIDL does not extend its parent's by one ID";
    if (parentSize > 2 && std::memcmp(pidl, record->AbsolutePIDL(), parentSize - 2) != 0)
      return "child PIDL does not start with its parent's";
    if (child->RelativePIDL() != NamespacePIDLManager->GetPointerToLastID(pidl)) return "relative PIDL misplaced";
    if (i > 0) {
      if (folder == nullptr) return "no folder to order children";
      HRESULT hr = folder->CompareIDs(0, list->Items(i - 1)->RelativePIDL(), child->RelativePIDL());
      if (FAILED(hr) || static_cast<int16_t>(HRESULT_CODE(hr)) >= 0)
        return "children out of order at " + std::to_string(i) + " below " + vws::ToAnsi(PathOf(record->AbsolutePIDL()));
    }
    std::string below = Check(child);
    if (!below.empty()) return below;
  }
  return {};
}

}  // namespace

std::map<std::u16string, TRecordValue> StoredRecords(TRootNodeStorage* storage) {
  std::map<std::u16string, TRecordValue> out;
  Collect(storage, out);
  return out;
}

std::string CheckInvariant(TRootNodeStorage* storage) { return Check(storage); }

}  // namespace storagetest
