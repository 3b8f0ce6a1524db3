#pragma once
// Node storage of an explorer tree: what must outlive the tree's nodes (check
// state and type, a folder's column layout, an object) kept per shell item,
// keyed by the item's absolute PIDL. The records are shaped like the
// namespace: one record per item on the path from the desktop to every stored
// item, each holding its children sorted by the parent folder's CompareIDs,
// so that a lookup is one binary search per ID of the PIDL.
//
// Main thread only. Lookups never write to the PIDLs they are given.
// Destroying a record destroys every record below it; pointers to them go stale.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Set.h"
#include "shell/Streamable.h"
#include "shell/VirtualShellTypes.h"
#include "shell/WideStringList.h"
#include "tree/VirtualNode.h"

enum TStorageKind { skCheckState, skColumnLayout, skStorageObject };
using TStorageKinds = TSet<TStorageKind, 8>;

using TWordArray = std::vector<uint16_t>;
using TBooleanArray = std::vector<uint8_t>;

struct TColumnStorage {
  TWordArray Widths;
  TWordArray Positions;
  TBooleanArray Visible;
};

struct TStorage {
  TStorageKinds Kinds;
  TCheckState CheckState = csUncheckedNormal;
  TCheckType CheckType = ctNone;
  TColumnStorage Columns;
  TStreamableClass* StorageObject = nullptr;  // not owned by the record (see TRootNodeStorage)
};

class TNodeStorageList;
class TRootNodeStorage;

class TNodeStorage : public TStreamableClass {
public:
  // Takes pidl over as AbsolutePIDL (null allowed); parent is borrowed.
  virtual void Create(LPITEMIDLIST pidl, TNodeStorage* parent);
  void Create() { Create(nullptr, nullptr); }
  // Resets the root's cached parent when it is this record, then Clear(false).
  void BeforeDestruction() override;
  ~TNodeStorage() override;

  // Makes this record a deep copy of source (PIDL, children, kinds, state,
  // columns, a new object of the same class assigned from source's); the
  // record becomes a root of its own (ParentNode null). Null does nothing.
  virtual void CopyFrom(TNodeStorage* source);
  virtual void CopyTo(TNodeStorage* dest);
  // Frees the PIDL and the whole subtree and releases the folder; with
  // freeObject also frees StorageObject. Kinds, check state and columns stay.
  virtual void Clear(bool freeObject);

  // The item's folder, bound on first use from the parent's (the desktop for
  // a record without parent); null when it cannot be bound (tried again next time).
  IShellFolder* GetShellFolder();
  // The topmost record when it is a TRootNodeStorage; null otherwise and for a record without parent.
  TRootNodeStorage* RootStorage();

  // The stream form (see NodeStorageStream.cpp). Loading treats the stream as
  // untrusted: bad sizes, counts, enumeration values, class names or PIDLs
  // raise EReadError (a class name nobody registered: EFilerError); records of
  // vanished items and children that do not belong to their parent are
  // dropped; children are put back into the shell's order.
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;

  TNodeStorageList* ChildNodes() const { return childNodes; }
  LPITEMIDLIST AbsolutePIDL() const { return absolutePIDL; }
  LPITEMIDLIST RelativePIDL() const { return relativePIDL; }
  TNodeStorage* ParentNode() const { return parentNode; }
  TStorage Storage;

  // Grows whenever a record of any storage is made, re-keyed, cleared or
  // freed: a record pointer or an absent record remembered across a change
  // must be looked up again.
  static uint32_t Generation() { return generation; }

protected:
  friend class TRootNodeStorage;
  friend class TNodeStorageList;
  // Replaces the PIDL (taken over) and points RelativePIDL at its last ID.
  void SetPIDL(LPITEMIDLIST pidl);
  // The child list, made when missing.
  TNodeStorageList* NeedChildNodes();
  void LoadRecord(TStream* stream, int32_t version, bool readVerFromStream, int depth);
  // True when this record or one below it holds any kind.
  bool SubtreeHoldsKinds() const;

  TNodeStorageList* childNodes = nullptr;  // owned
  LPITEMIDLIST relativePIDL = nullptr;     // points into absolutePIDL
  LPITEMIDLIST absolutePIDL = nullptr;     // owned (NamespacePIDLManager)
  TNodeStorage* parentNode = nullptr;      // borrowed
  IShellFolder* shellFolder = nullptr;     // owned reference
  static inline uint32_t generation = 0;
};

// The child records of one record, owned, in the parent folder's order.
class TNodeStorageList : public TStreamableList {
public:
  ~TNodeStorageList() override;
  // Frees every record and empties the list.
  void Clear() override;
  TNodeStorage* Items(int index) const { return static_cast<TNodeStorage*>(Get(index)); }

  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;

private:
  friend class TNodeStorage;
  // Loads the records of a list whose owner is parent (its PIDL already read).
  void LoadRecords(TStream* stream, int32_t version, bool readVerFromStream, TNodeStorage* parent, int depth);
};

// Which checked paths GetCheckedFileNames gives.
enum TCheckedNamesKind {
  cnkTopmost,    // what a wipe needs: a checked item below a listed checked folder goes with the folder
  cnkEveryItem,  // what a listing shows: every checked item, each folder before its contents
};

// The desktop's record: the entry point of every lookup.
class TRootNodeStorage : public TNodeStorage {
public:
  void Create(LPITEMIDLIST pidl, TNodeStorage* parent) override;
  void Create() { Create(nullptr, nullptr); }
  ~TRootNodeStorage() override;
  void Clear(bool freeObject) override;

  // The record of pidl (an absolute PIDL the caller keeps), or null. With
  // force, missing records on the path are made. The empty PIDL answers the
  // root. Null also when a folder on the path cannot be bound or the shell
  // cannot order an ID among its siblings (nothing is made then).
  TNodeStorage* ProcessNode(LPCITEMIDLIST pidl, bool force);
  // The record when it holds one of kinds, else null.
  TNodeStorage* Find(LPCITEMIDLIST pidl, TStorageKinds kinds);
  bool Find(LPCITEMIDLIST pidl, TStorageKinds kinds, TNodeStorage*& node);
  // The record of parent's child id (a one-ID list) when it holds one of
  // kinds, else null: what Find gives for the child's absolute PIDL, without
  // the walk from the desktop (for the children of one folder in turn).
  TNodeStorage* FindChildOf(TNodeStorage* parent, LPCITEMIDLIST id, TStorageKinds kinds);
  // Makes the record (and its path) and adds kinds; null when it cannot be made (see ProcessNode).
  TNodeStorage* Store(LPCITEMIDLIST pidl, TStorageKinds kinds);
  // Removes kinds from the record. A record left without kinds goes, unless
  // records below it still hold kinds (it stays as their path). force removes
  // the record with everything below it (the item is gone). The root never
  // goes; its check state becomes unchecked. freeObject frees the object of a
  // record that goes, or of one that loses skStorageObject.
  void Delete(LPCITEMIDLIST pidl, TStorageKinds kinds, bool force, bool freeObject);
  // After an item was renamed or moved: its record (with everything below it)
  // is taken out and inserted under newPIDL at its sorted place, the PIDLs
  // below following the new prefix. A record already at newPIDL is replaced.
  // False when there is no record at oldPIDL or newPIDL's place cannot be made
  // (the record then stays where it was).
  bool Rename(LPCITEMIDLIST oldPIDL, LPCITEMIDLIST newPIDL);

  // Fills CheckedFileNames with the whole paths (at any length) of the
  // file-system items whose records hold skCheckState with csCheckedNormal
  // and which are on disk as the records know them: every level under its
  // exact name, the item of the same kind (file or folder). In pre-order
  // (each folder before its contents, siblings in the shell's order; nothing
  // below a listed link, whose target is never wiped); returns it (owned by
  // the root; refilled by every call). No system error box shows while drives
  // are asked. With absent, the paths of checked file-system items that are
  // not there so, or whose whole path cannot be made (each once; nothing
  // below one), are put in it: ticks that the list cannot carry.
  TWideStringList* GetCheckedFileNames(TCheckedNamesKind kind = cnkTopmost,
                                       std::vector<std::u16string>* absent = nullptr);

  TNodeStorage* CachedParent() const { return cachedParent; }
  TWideStringList* CheckedFileNames() const { return checkedFileNames; }
  // Whether each path of CheckedFileNames, as the last GetCheckedFileNames
  // filled it, was a folder when ticked (else a file): what a later check
  // on disk (TDiskCheck) compares with.
  const std::vector<bool>& CheckedFolders() const { return checkedFolders; }

  // Records of a stream nested deeper than this are refused (a PIDL cannot hold more IDs).
  static constexpr int kMaxStreamDepth = 256;

private:
  friend class TNodeStorage;
  // The child of parent whose relative PIDL matches id (a one-ID list); with
  // force it is made at its sorted place. Null when absent or not insertable.
  TNodeStorage* FindChild(TNodeStorage* parent, LPCITEMIDLIST id, bool force, bool intermediate);
  // Detaches record from its parent's list without destroying it.
  void Unlink(TNodeStorage* record);
  // Gives record and every record below it newPrefix in place of the first oldPrefixSize bytes of their PIDLs.
  static void Rebase(TNodeStorage* record, uint32_t oldPrefixSize, const std::vector<uint8_t>& newPrefix);

  TNodeStorage* cachedParent = nullptr;       // borrowed
  TWideStringList* checkedFileNames = nullptr;  // owned
  std::vector<bool> checkedFolders;             // beside checkedFileNames
};

// Classes whose objects may ride in a record (StorageObject): copies make them
// by name and streams name them, so only registered classes are made.
using TStorageObjectFactory = std::function<TStreamableClass*()>;
void RegisterStorageObjectClass(const std::string& className, TStorageObjectFactory factory);
template <class T>
void RegisterStorageObjectClass() {
  RegisterStorageObjectClass(ClassNameOf(typeid(T)), [] { return New<T>(); });
}
// A new object of the class registered under name; raises EFilerError "Class <name> not found".
TStreamableClass* CreateStorageObject(const std::string& className);
