// The stream form of node storage records and their child lists. Streams are
// untrusted: every size and count is checked against the bytes left, nesting
// is bounded, enumeration values are checked, children must extend their
// parent's PIDL by one ID, and each list is brought back into the shell's
// order with duplicates dropped, so lookups can rely on it.
#include <cstring>
#include <vector>

#include "core/StableSort.h"
#include "shell/NodeStorage.h"
#include "shell/NodeStorageOrder.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

using namespace nodestorage;

namespace {

constexpr uint8_t kKindBits[] = {1, 2, 4};  // skCheckState, skColumnLayout, skStorageObject
// The smallest record: PIDL size, has-children, kinds, one check byte, three counts.
constexpr int64_t kMinRecordBytes = 4 + 1 + 1 + 1 + 3 * 4;
constexpr int32_t kMaxClassNameLength = 255;

[[noreturn]] void Invalid() { throw EReadError("Node storage stream is not valid"); }

int64_t BytesLeft(TStream* stream) { return stream->Size() - stream->Position(); }

uint8_t ReadByte(TStream* stream) {
  uint8_t value;
  stream->ReadBuffer(&value, 1);
  return value;
}

bool ReadFlag(TStream* stream) {
  uint8_t value = ReadByte(stream);
  if (value > 1) Invalid();
  return value == 1;
}

// A count of items of itemSize bytes each that the rest of the stream can hold.
int32_t ReadCount(TStream* stream, int64_t itemSize) {
  int32_t count;
  stream->ReadBuffer(&count, sizeof count);
  if (count < 0 || count > BytesLeft(stream) / itemSize) Invalid();
  return count;
}

template <class T>
void ReadArray(TStream* stream, std::vector<T>& values) {
  int32_t count = ReadCount(stream, sizeof(T));
  values.assign(static_cast<size_t>(count), T{});
  if (count > 0) stream->ReadBuffer(values.data(), count * static_cast<int32_t>(sizeof(T)));
}

template <class T>
void WriteArray(TStream* stream, const std::vector<T>& values) {
  int32_t count = static_cast<int32_t>(values.size());
  stream->WriteBuffer(&count, sizeof count);
  if (count > 0) stream->WriteBuffer(values.data(), count * static_cast<int32_t>(sizeof(T)));
}

uint8_t KindsToByte(TStorageKinds kinds) {
  uint8_t value = 0;
  for (int i = 0; i < 3; ++i)
    if (kinds.Contains(static_cast<TStorageKind>(i))) value |= kKindBits[i];
  return value;
}

TStorageKinds ByteToKinds(uint8_t value) {
  if (value > 7) Invalid();
  TStorageKinds kinds;
  for (int i = 0; i < 3; ++i)
    if ((value & kKindBits[i]) != 0) kinds.Include(static_cast<TStorageKind>(i));
  return kinds;
}

// The bytes of pidl's leading IDs up to (not including) its last ID.
std::vector<uint8_t> ParentPrefix(LPCITEMIDLIST pidl) {
  LPCITEMIDLIST last = NamespacePIDLManager->GetPointerToLastID(pidl);
  const auto* start = reinterpret_cast<const uint8_t*>(pidl);
  if (TPIDLManager::IsDesktopFolder(pidl)) return {};
  return std::vector<uint8_t>(start, reinterpret_cast<const uint8_t*>(last));
}

// True when pidl is prefix followed by exactly one ID.
bool ExtendsByOneID(LPCITEMIDLIST pidl, const std::vector<uint8_t>& prefix) {
  if (pidl == nullptr || TPIDLManager::IsDesktopFolder(pidl)) return false;
  uint32_t size = NamespacePIDLManager->PIDLSize(pidl);
  if (size < prefix.size() + 2 || std::memcmp(pidl, prefix.data(), prefix.size()) != 0) return false;
  LPCITEMIDLIST id = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const uint8_t*>(pidl) + prefix.size());
  return IDSize(id) != 0 && IDSize(TPIDLManager::NextID(id)) == 0;
}

// The folder of the items whose PIDLs start with prefix, bound from the desktop; null when it cannot be bound.
IShellFolder* BindFolder(IShellFolder* desktop, const std::vector<uint8_t>& prefix) {
  if (desktop == nullptr) return nullptr;
  if (prefix.empty()) {
    desktop->AddRef();
    return desktop;
  }
  std::vector<uint8_t> pidl(prefix);
  pidl.push_back(0);
  pidl.push_back(0);
  void* folder = nullptr;
  if (FAILED(desktop->BindToObject(reinterpret_cast<LPCITEMIDLIST>(pidl.data()), nullptr, IID_IShellFolder, &folder)))
    return nullptr;
  return static_cast<IShellFolder*>(folder);
}

// The item still exists: its folder knows and validates its last ID. Some
// shells answer for a vanished file from the ID's own bytes, so a file-system
// item is also looked for on disk.
bool ItemExists(IShellFolder* folder, LPCITEMIDLIST pidl) {
  if (TPIDLManager::IsDesktopFolder(pidl)) return true;
  if (folder == nullptr) return false;
  LPCITEMIDLIST items[1] = {NamespacePIDLManager->GetPointerToLastID(pidl)};
  ULONG attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_VALIDATE;
  if (FAILED(folder->GetAttributesOf(1, items, &attributes))) return false;
  if ((attributes & SFGAO_FILESYSTEM) == 0) return true;
  STRRET name{};
  if (FAILED(folder->GetDisplayNameOf(items[0], SHGDN_FORPARSING, &name))) return false;
  std::u16string path = vws::StrRetToWideStr(name, items[0]);
  return PathExists(path);
}

// Orders two records' last IDs: the shell's order, bytes where the shell cannot tell.
int OrderOf(IShellFolder* folder, TNodeStorage* a, TNodeStorage* b) {
  int order = 0;
  if (CompareIDs(folder, a->RelativePIDL(), b->RelativePIDL(), order)) return order;
  LPCITEMIDLIST x = a->RelativePIDL();
  LPCITEMIDLIST y = b->RelativePIDL();
  int common = IDSize(x) < IDSize(y) ? IDSize(x) : IDSize(y);
  int bytes = std::memcmp(x, y, static_cast<size_t>(common));
  if (bytes != 0) return bytes;
  return static_cast<int>(IDSize(x)) - static_cast<int>(IDSize(y));
}

// Puts records into folder's order and keeps only strictly increasing ones
// (a duplicate or a record the shell will not place goes with its subtree).
void RestoreOrder(TNodeStorageList* list, IShellFolder* folder, std::vector<TNodeStorage*>& records) {
  bool ordered = true;
  for (size_t i = 1; i < records.size() && ordered; ++i) {
    int order = 0;
    ordered = CompareIDs(folder, records[i - 1]->RelativePIDL(), records[i]->RelativePIDL(), order) && order < 0;
  }
  if (!ordered) StableSort(records, [folder](TNodeStorage* a, TNodeStorage* b) { return OrderOf(folder, a, b); });
  TNodeStorage* last = nullptr;
  for (TNodeStorage* record : records) {
    int order = 0;
    bool keep = last == nullptr ||
                (ordered ? true : CompareIDs(folder, last->RelativePIDL(), record->RelativePIDL(), order) && order < 0);
    if (!keep) {
      record->Free();
      continue;
    }
    list->Add(record);
    last = record;
  }
  records.clear();
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

void TNodeStorage::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  NamespacePIDLManager->SaveToStream(stream, absolutePIDL);
  uint8_t hasChildren = childNodes != nullptr ? 1 : 0;
  stream->WriteBuffer(&hasChildren, 1);
  if (childNodes != nullptr) childNodes->SaveToStream(stream, version, writeVerToStream);
  uint8_t kinds = KindsToByte(Storage.Kinds);
  stream->WriteBuffer(&kinds, 1);
  uint8_t checkState = Storage.CheckState;
  stream->WriteBuffer(&checkState, 1);
  // Streams before version 2 carry the check state alone, so a reader of
  // their version finds what it expects.
  if (version >= 2) {
    uint8_t checkType = Storage.CheckType;
    stream->WriteBuffer(&checkType, 1);
  }
  WriteArray(stream, Storage.Columns.Widths);
  WriteArray(stream, Storage.Columns.Positions);
  WriteArray(stream, Storage.Columns.Visible);
  if (version < 1) return;
  uint8_t hasObject = Storage.StorageObject != nullptr ? 1 : 0;
  stream->WriteBuffer(&hasObject, 1);
  if (Storage.StorageObject == nullptr) return;
  std::string name = Storage.StorageObject->ClassName();
  int32_t length = static_cast<int32_t>(name.size());
  stream->WriteBuffer(&length, sizeof length);
  stream->WriteBuffer(name.data(), length);
  Storage.StorageObject->SaveToStream(stream, version, writeVerToStream);
}

void TNodeStorage::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  LoadRecord(stream, version, readVerFromStream, 0);
}

void TNodeStorage::LoadRecord(TStream* stream, int32_t version, bool readVerFromStream, int depth) {
  if (depth > TRootNodeStorage::kMaxStreamDepth) Invalid();
  TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
  SetPIDL(NamespacePIDLManager->LoadFromStream(stream));
  ReleaseAndNil(shellFolder);
  // The desktop's record can only stand for the desktop (a cleared root has no PIDL).
  if (depth == 0 && dynamic_cast<TRootNodeStorage*>(this) != nullptr && absolutePIDL != nullptr &&
      !TPIDLManager::IsDesktopFolder(absolutePIDL))
    Invalid();
  if (ReadFlag(stream)) NeedChildNodes()->LoadRecords(stream, version, readVerFromStream, this, depth + 1);
  Storage.Kinds = ByteToKinds(ReadByte(stream));
  uint8_t checkState = ReadByte(stream);
  if (checkState > csMixedPressed) Invalid();
  Storage.CheckState = static_cast<TCheckState>(checkState);
  if (streamVersion >= 2) {
    uint8_t checkType = ReadByte(stream);
    if (checkType > ctButton) Invalid();
    Storage.CheckType = static_cast<TCheckType>(checkType);
  }
  ReadArray(stream, Storage.Columns.Widths);
  ReadArray(stream, Storage.Columns.Positions);
  ReadArray(stream, Storage.Columns.Visible);
  for (uint8_t& visible : Storage.Columns.Visible)
    if (visible > 1) Invalid();
  if (streamVersion < 1 || !ReadFlag(stream)) return;
  int32_t length;
  stream->ReadBuffer(&length, sizeof length);
  if (length < 1 || length > kMaxClassNameLength || length > BytesLeft(stream)) Invalid();
  std::string name(static_cast<size_t>(length), '\0');
  stream->ReadBuffer(name.data(), length);
  TStreamableClass* object = Storage.StorageObject;
  bool fresh = object == nullptr || name != object->ClassName();
  if (fresh) object = CreateStorageObject(name);
  try {
    object->LoadFromStream(stream, version, readVerFromStream);
  } catch (...) {
    if (fresh) object->Free();
    throw;
  }
  Storage.StorageObject = object;
}

// ---------------------------------------------------------------------------
// Lists

void TNodeStorageList::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableList::SaveToStream(stream, version, writeVerToStream);
  int32_t count = Count();
  stream->WriteBuffer(&count, sizeof count);
  for (int i = 0; i < count; ++i) Items(i)->SaveToStream(stream, version, writeVerToStream);
}

void TNodeStorageList::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  LoadRecords(stream, version, readVerFromStream, nullptr, 0);
}

void TNodeStorageList::LoadRecords(TStream* stream, int32_t version, bool readVerFromStream, TNodeStorage* parent,
                                   int depth) {
  TStreamableList::LoadFromStream(stream, version, readVerFromStream);
  int32_t count = ReadCount(stream, kMinRecordBytes);
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) desktop = nullptr;
  // Every record must be a child of the same folder: the parent's, or for a
  // list of its own the first record's parent.
  bool prefixKnown = parent != nullptr;
  std::vector<uint8_t> prefix;
  if (parent != nullptr && parent->AbsolutePIDL() != nullptr) {
    uint32_t size = NamespacePIDLManager->PIDLSize(parent->AbsolutePIDL());
    const auto* bytes = reinterpret_cast<const uint8_t*>(parent->AbsolutePIDL());
    prefix.assign(bytes, bytes + size - 2);
  }
  IShellFolder* folder = nullptr;
  bool folderBound = false;
  std::vector<TNodeStorage*> loaded;
  auto finish = [&] {
    RestoreOrder(this, folder, loaded);
    ReleaseAndNil(folder);
    ReleaseAndNil(desktop);
  };
  try {
    for (int32_t i = 0; i < count; ++i) {
      TNodeStorage* record = New<TNodeStorage>(nullptr, nullptr);
      try {
        record->LoadRecord(stream, version, readVerFromStream, depth);
      } catch (...) {
        record->Free();
        throw;
      }
      LPCITEMIDLIST pidl = record->AbsolutePIDL();
      if (!prefixKnown && pidl != nullptr && !TPIDLManager::IsDesktopFolder(pidl)) {
        prefix = ParentPrefix(pidl);
        prefixKnown = true;
      }
      bool valid = pidl != nullptr && (TPIDLManager::IsDesktopFolder(pidl) ? parent == nullptr
                                                                            : ExtendsByOneID(pidl, prefix));
      if (valid && !TPIDLManager::IsDesktopFolder(pidl)) {
        if (!folderBound) {
          folder = BindFolder(desktop, prefix);
          folderBound = true;
        }
        valid = ItemExists(folder, pidl);
      }
      if (!valid) {
        record->Free();
        continue;
      }
      record->parentNode = parent;
      loaded.push_back(record);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}
