// Node storage lookups: the walk from the desktop record down one ID at a
// time, the searches in the sorted child lists, and storing, deleting and
// re-keying records.
#include <cstring>
#include <new>
#include <vector>

#include "shell/ExactNames.h"
#include "shell/MountedFolder.h"
#include "shell/NodeStorage.h"
#include "shell/NodeStorageOrder.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace nodestorage {

uint16_t IDSize(LPCITEMIDLIST id) {
  uint16_t cb;
  std::memcpy(&cb, id, sizeof cb);
  return cb;
}

bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order) {
  // Names that differ only in case are two items: two records.
  return exactnames::CompareIDs(folder, a, b, order);
}

bool SameIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  uint16_t size = IDSize(a);
  return size == IDSize(b) && std::memcmp(a, b, size) == 0;
}

namespace {

enum TProbeKind { pkFound, pkAbsent, pkUnordered };

// Binary search for id: found (index at it), absent (index where it belongs)
// or unordered (the shell could not compare).
TProbeKind Probe(TNodeStorageList* list, IShellFolder* folder, LPCITEMIDLIST id, int& index) {
  int low = 0;
  int high = list->Count() - 1;
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int order = 0;
    if (!CompareIDs(folder, list->Items(mid)->RelativePIDL(), id, order)) return pkUnordered;
    if (order == 0) {
      index = mid;
      return pkFound;
    }
    if (order > 0) {
      high = mid - 1;
    } else {
      low = mid + 1;
    }
  }
  index = low;
  return pkAbsent;
}

}  // namespace

int NodeListSearch(TNodeStorageList* list, IShellFolder* folder, LPCITEMIDLIST id) {
  int index = -1;
  switch (list->Count() == 0 ? pkAbsent : Probe(list, folder, id, index)) {
    case pkFound: return index;
    case pkAbsent: return -1;
    case pkUnordered: break;
  }
  // Without the shell's order only the very same bytes can be recognised.
  for (int i = 0; i < list->Count(); ++i)
    if (SameIDBytes(list->Items(i)->RelativePIDL(), id)) return i;
  return -1;
}

int NodeListBinarySearch(TNodeStorageList* list, IShellFolder* folder, LPCITEMIDLIST id) {
  int index = -1;
  switch (Probe(list, folder, id, index)) {
    case pkFound: throw Exception("Error in NodeListBinarySearch. Node unexpectedly found");
    case pkAbsent: return index;
    case pkUnordered: break;
  }
  return -1;
}

// A checked item must not be lost for the length of its path, nor taken for
// another: the exact name is asked ("dir." is not "dir", "bar " not "bar").
bool PathExists(const std::u16string& path) {
  if (vws::WideIsDrive(path)) return true;
  if (vws::UseWideApi()) return GetFileAttributesW(vws::W(exactnames::ExtendedPath(path))) != INVALID_FILE_ATTRIBUTES;
  return vws::WideFileExists(path) || vws::WideDirectoryExists(path);
}

bool PathIsLink(const std::u16string& path) {
  if (vws::WideIsDrive(path) || !vws::UseWideApi()) return false;
  DWORD attributes = GetFileAttributesW(vws::W(exactnames::ExtendedPath(path)));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         !IsMountedFolder(path);
}

}  // namespace nodestorage

using namespace nodestorage;

namespace {

// One ID of a PIDL as a one-ID list of its own (the caller's PIDL is never cut).
class TSingleID {
public:
  explicit TSingleID(LPCITEMIDLIST id) : bytes(IDSize(id) + 2u, 0) { std::memcpy(bytes.data(), id, IDSize(id)); }
  LPCITEMIDLIST Get() const { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

private:
  std::vector<uint8_t> bytes;
};

// The bytes of pidl without its last ID (with a terminator), for comparisons.
std::vector<uint8_t> ParentBytes(LPCITEMIDLIST pidl, LPCITEMIDLIST lastID) {
  size_t size = static_cast<size_t>(reinterpret_cast<const uint8_t*>(lastID) - reinterpret_cast<const uint8_t*>(pidl));
  std::vector<uint8_t> bytes(size + 2, 0);
  std::memcpy(bytes.data(), pidl, size);
  return bytes;
}

bool IsParentOf(TNodeStorage* record, LPCITEMIDLIST pidl, LPCITEMIDLIST lastID) {
  std::vector<uint8_t> parent = ParentBytes(pidl, lastID);
  LPCITEMIDLIST parentPIDL = reinterpret_cast<LPCITEMIDLIST>(parent.data());
  LPCITEMIDLIST own = record->AbsolutePIDL();
  if (own == nullptr) return TPIDLManager::IsDesktopFolder(parentPIDL);  // a cleared root is the desktop
  uint32_t ownSize = NamespacePIDLManager->PIDLSize(own);
  if (ownSize == parent.size() && std::memcmp(own, parent.data(), ownSize) == 0) return true;
  // The shell's own test folds case: "data" would pass for "Data" and its
  // child land under the wrong record.
  return exactnames::SameItem(own, parentPIDL);
}

}  // namespace

TNodeStorage* TRootNodeStorage::FindChild(TNodeStorage* parent, LPCITEMIDLIST id, bool force, bool intermediate) {
  TNodeStorageList* list = parent->NeedChildNodes();
  IShellFolder* folder = parent->GetShellFolder();
  if (list->Count() > 0) {
    int index = NodeListSearch(list, folder, id);
    if (index >= 0) return list->Items(index);
  }
  if (!force) return nullptr;
  int at = NodeListBinarySearch(list, folder, id);
  if (at < 0) return nullptr;
  TNodeStorage* record = New<TNodeStorage>(NamespacePIDLManager->AppendPIDL(parent->AbsolutePIDL(), id), parent);
  if (intermediate && Storage.CheckType == ctTriStateCheckBox) {
    record->Storage.CheckType = ctTriStateCheckBox;
    record->Storage.CheckState = csMixedNormal;
    record->Storage.Kinds = {skCheckState};
  }
  list->Insert(at, record);
  return record;
}

TNodeStorage* TRootNodeStorage::ProcessNode(LPCITEMIDLIST pidl, bool force) {
  if (TPIDLManager::IsDesktopFolder(pidl)) return this;
  if (pidl == nullptr) {
    cachedParent = nullptr;
    return nullptr;
  }
  LPCITEMIDLIST lastID = NamespacePIDLManager->GetPointerToLastID(pidl);
  TNodeStorage* node = nullptr;
  bool viaCache = false;
  if (cachedParent != nullptr && IsParentOf(cachedParent, pidl, lastID)) {
    viaCache = true;
    node = FindChild(cachedParent, TSingleID(lastID).Get(), force, /*intermediate=*/false);
  }
  if (!viaCache) {
    cachedParent = nullptr;
    node = this;
    for (LPCITEMIDLIST id = pidl; node != nullptr && IDSize(id) != 0; id = TPIDLManager::NextID(id)) {
      bool more = IDSize(TPIDLManager::NextID(id)) != 0;
      node = FindChild(node, TSingleID(id).Get(), force, /*intermediate=*/more);
    }
  }
  if (node != nullptr) cachedParent = node->parentNode;
  return node;
}

TNodeStorage* TRootNodeStorage::Find(LPCITEMIDLIST pidl, TStorageKinds kinds) {
  TNodeStorage* node = ProcessNode(pidl, /*force=*/false);
  if (node == nullptr || (node->Storage.Kinds * kinds).Empty()) return nullptr;
  return node;
}

TNodeStorage* TRootNodeStorage::FindChildOf(TNodeStorage* parent, LPCITEMIDLIST id, TStorageKinds kinds) {
  if (parent == nullptr || id == nullptr || IDSize(id) == 0 || parent->childNodes == nullptr) return nullptr;
  int index = NodeListSearch(parent->childNodes, parent->GetShellFolder(), id);
  if (index < 0) return nullptr;
  TNodeStorage* node = parent->childNodes->Items(index);
  return (node->Storage.Kinds * kinds).Empty() ? nullptr : node;
}

bool TRootNodeStorage::Find(LPCITEMIDLIST pidl, TStorageKinds kinds, TNodeStorage*& node) {
  node = Find(pidl, kinds);
  return node != nullptr;
}

TNodeStorage* TRootNodeStorage::Store(LPCITEMIDLIST pidl, TStorageKinds kinds) {
  TNodeStorage* node = ProcessNode(pidl, /*force=*/true);
  if (node != nullptr) node->Storage.Kinds += kinds;
  return node;
}

void TRootNodeStorage::Unlink(TNodeStorage* record) {
  ++generation;
  if (cachedParent == record) cachedParent = nullptr;
  TNodeStorage* parent = record->parentNode;
  if (parent != nullptr && parent->childNodes != nullptr) parent->childNodes->Remove(record);
  record->parentNode = nullptr;
}

void TRootNodeStorage::Delete(LPCITEMIDLIST pidl, TStorageKinds kinds, bool force, bool freeObject) {
  TNodeStorage* record = ProcessNode(pidl, /*force=*/false);
  if (record == nullptr) return;
  record->Storage.Kinds -= kinds;
  bool goes = record != this && (force || !record->SubtreeHoldsKinds());
  if (goes) {
    Unlink(record);
    if (freeObject) FreeAndNil(record->Storage.StorageObject);
    record->Free();
    return;
  }
  if (freeObject && kinds.Contains(skStorageObject)) FreeAndNil(record->Storage.StorageObject);
  if (record == this) Storage.CheckState = csUncheckedNormal;
}

void TRootNodeStorage::Rebase(TNodeStorage* record, uint32_t oldPrefixSize, const std::vector<uint8_t>& newPrefix) {
  LPITEMIDLIST own = record->AbsolutePIDL();
  uint32_t tail = NamespacePIDLManager->PIDLSize(own) - oldPrefixSize;  // the rest, terminator included
  auto* fresh = static_cast<uint8_t*>(NamespacePIDLManager->Malloc()->Alloc(newPrefix.size() + tail));
  if (fresh == nullptr) throw std::bad_alloc();
  std::memcpy(fresh, newPrefix.data(), newPrefix.size());
  std::memcpy(fresh + newPrefix.size(), reinterpret_cast<const uint8_t*>(own) + oldPrefixSize, tail);
  record->SetPIDL(reinterpret_cast<LPITEMIDLIST>(fresh));
  ReleaseAndNil(record->shellFolder);
  if (record->childNodes == nullptr) return;
  for (int i = 0; i < record->childNodes->Count(); ++i) Rebase(record->childNodes->Items(i), oldPrefixSize, newPrefix);
}

bool TRootNodeStorage::Rename(LPCITEMIDLIST oldPIDL, LPCITEMIDLIST newPIDL) {
  if (oldPIDL == nullptr || newPIDL == nullptr || TPIDLManager::IsDesktopFolder(oldPIDL) ||
      TPIDLManager::IsDesktopFolder(newPIDL))
    return false;
  TNodeStorage* record = ProcessNode(oldPIDL, /*force=*/false);
  if (record == nullptr || record == this) return false;
  // The new place's parent, made when missing; the record must not move under itself.
  LPCITEMIDLIST newLast = NamespacePIDLManager->GetPointerToLastID(newPIDL);
  std::vector<uint8_t> newParentBytes = ParentBytes(newPIDL, newLast);
  TNodeStorage* newParent = ProcessNode(reinterpret_cast<LPCITEMIDLIST>(newParentBytes.data()), /*force=*/true);
  if (newParent == nullptr) return false;
  for (TNodeStorage* up = newParent; up != nullptr; up = up->parentNode)
    if (up == record) return false;
  TSingleID newID(newLast);
  TNodeStorage* existing = FindChild(newParent, newID.Get(), /*force=*/false, /*intermediate=*/false);

  // Take the record (and what sits at the new place) out, find the sorted
  // place, and put everything back as it was when the shell cannot order it.
  TNodeStorage* oldParent = record->parentNode;
  int oldIndex = oldParent->childNodes->IndexOf(record);
  oldParent->childNodes->Delete(oldIndex);
  int existingIndex = -1;
  if (existing != nullptr && existing != record) {
    existingIndex = newParent->childNodes->IndexOf(existing);
    newParent->childNodes->Delete(existingIndex);
  }
  int at = NodeListBinarySearch(newParent->childNodes, newParent->GetShellFolder(), newID.Get());
  if (at < 0) {
    if (existingIndex >= 0) newParent->childNodes->Insert(existingIndex, existing);
    oldParent->childNodes->Insert(oldIndex, record);
    return false;
  }
  if (existingIndex >= 0) {
    existing->parentNode = nullptr;
    existing->Free();
  }
  // The new key is the parent record's PIDL and the new last ID, as a
  // record made by Store would have it.
  uint32_t oldPrefixSize = NamespacePIDLManager->PIDLSize(record->absolutePIDL) - 2;
  std::vector<uint8_t> newPrefix;
  if (newParent->absolutePIDL != nullptr) {
    const auto* parentBytes = reinterpret_cast<const uint8_t*>(newParent->absolutePIDL);
    newPrefix.assign(parentBytes, parentBytes + NamespacePIDLManager->PIDLSize(newParent->absolutePIDL) - 2);
  }
  const auto* lastBytes = reinterpret_cast<const uint8_t*>(newLast);
  newPrefix.insert(newPrefix.end(), lastBytes, lastBytes + IDSize(newLast));
  Rebase(record, oldPrefixSize, newPrefix);
  newParent->childNodes->Insert(at, record);
  record->parentNode = newParent;
  cachedParent = nullptr;
  return true;
}
