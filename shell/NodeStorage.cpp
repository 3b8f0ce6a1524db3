// Node storage records: creation, destruction, deep copies, folders, and the
// registry of classes that may ride in a record.
#include "shell/NodeStorage.h"

#include <map>

#include "core/ClassRegistry.h"
#include "shell/ShellUtilities.h"

namespace {

std::map<std::string, TStorageObjectFactory>& StorageObjectClasses() {
  static std::map<std::string, TStorageObjectFactory> classes;
  return classes;
}

}  // namespace

void RegisterStorageObjectClass(const std::string& className, TStorageObjectFactory factory) {
  StorageObjectClasses()[className] = std::move(factory);
}

TStreamableClass* CreateStorageObject(const std::string& className) {
  auto found = StorageObjectClasses().find(className);
  if (found == StorageObjectClasses().end()) throw EFilerError("Class " + className + " not found");
  return found->second();
}

// ---------------------------------------------------------------------------
// TNodeStorage

void TNodeStorage::Create(LPITEMIDLIST pidl, TNodeStorage* parent) {
  SetPIDL(pidl);
  parentNode = parent;
}

void TNodeStorage::BeforeDestruction() {
  TRootNodeStorage* root = RootStorage();
  if (root != nullptr && root->cachedParent == this) root->cachedParent = nullptr;
  TStreamableClass::BeforeDestruction();
}

TNodeStorage::~TNodeStorage() { TNodeStorage::Clear(false); }

void TNodeStorage::SetPIDL(LPITEMIDLIST pidl) {
  ++generation;
  if (absolutePIDL != nullptr && NamespacePIDLManager != nullptr) NamespacePIDLManager->FreePIDL(absolutePIDL);
  absolutePIDL = pidl;
  relativePIDL = pidl != nullptr && NamespacePIDLManager != nullptr ? NamespacePIDLManager->GetPointerToLastID(pidl)
                                                                     : pidl;
}

void TNodeStorage::Clear(bool freeObject) {
  ++generation;
  // At the very end of the process the manager may be gone before the last
  // storage; the PIDL is then left to the process's end.
  if (absolutePIDL != nullptr && NamespacePIDLManager != nullptr) NamespacePIDLManager->FreePIDL(absolutePIDL);
  absolutePIDL = nullptr;
  relativePIDL = nullptr;
  ReleaseAndNil(shellFolder);
  FreeAndNil(childNodes);
  if (freeObject) FreeAndNil(Storage.StorageObject);
}

TNodeStorageList* TNodeStorage::NeedChildNodes() {
  if (childNodes == nullptr) childNodes = New<TNodeStorageList>();
  return childNodes;
}

void TNodeStorage::CopyFrom(TNodeStorage* source) {
  if (source == nullptr || source == this) return;
  SetPIDL(nullptr);
  FreeAndNil(childNodes);
  ReleaseAndNil(shellFolder);
  parentNode = nullptr;
  SetPIDL(NamespacePIDLManager->CopyPIDL(source->absolutePIDL));
  if (source->childNodes != nullptr) {
    NeedChildNodes();
    for (int i = 0; i < source->childNodes->Count(); ++i) {
      TNodeStorage* child = New<TNodeStorage>(nullptr, nullptr);
      childNodes->Add(child);
      child->CopyFrom(source->childNodes->Items(i));
      child->parentNode = this;
    }
  }
  Storage.Kinds = source->Storage.Kinds;
  Storage.CheckState = source->Storage.CheckState;
  Storage.CheckType = source->Storage.CheckType;
  Storage.Columns = source->Storage.Columns;
  if (source->Storage.StorageObject != nullptr) {
    if (Storage.StorageObject == nullptr)
      Storage.StorageObject = CreateStorageObject(source->Storage.StorageObject->ClassName());
    Storage.StorageObject->Assign(source->Storage.StorageObject);
  }
}

void TNodeStorage::CopyTo(TNodeStorage* dest) {
  if (dest != nullptr) dest->CopyFrom(this);
}

IShellFolder* TNodeStorage::GetShellFolder() {
  if (shellFolder != nullptr) return shellFolder;
  if (parentNode == nullptr) {
    if (FAILED(SHGetDesktopFolder(&shellFolder))) shellFolder = nullptr;
    return shellFolder;
  }
  IShellFolder* parentFolder = parentNode->GetShellFolder();
  if (parentFolder == nullptr || relativePIDL == nullptr) return nullptr;
  void* folder = nullptr;
  if (FAILED(parentFolder->BindToObject(relativePIDL, nullptr, IID_IShellFolder, &folder))) folder = nullptr;
  shellFolder = static_cast<IShellFolder*>(folder);
  return shellFolder;
}

TRootNodeStorage* TNodeStorage::RootStorage() {
  if (parentNode == nullptr) return nullptr;
  TNodeStorage* top = parentNode;
  while (top->parentNode != nullptr) top = top->parentNode;
  return dynamic_cast<TRootNodeStorage*>(top);
}

bool TNodeStorage::SubtreeHoldsKinds() const {
  if (!Storage.Kinds.Empty()) return true;
  if (childNodes == nullptr) return false;
  for (int i = 0; i < childNodes->Count(); ++i)
    if (childNodes->Items(i)->SubtreeHoldsKinds()) return true;
  return false;
}

// ---------------------------------------------------------------------------
// TNodeStorageList

TNodeStorageList::~TNodeStorageList() { TNodeStorageList::Clear(); }

void TNodeStorageList::Clear() {
  // Take the records out first: a record's destruction asks for its root
  // through its parents, which must not see a half-emptied list.
  std::vector<TNodeStorage*> doomed;
  doomed.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) doomed.push_back(Items(i));
  TStreamableList::Clear();
  for (TNodeStorage* record : doomed) record->Free();
}

// ---------------------------------------------------------------------------
// TRootNodeStorage: construction (lookups in NodeStorageLookup.cpp)

void TRootNodeStorage::Create(LPITEMIDLIST, TNodeStorage*) {
  if (NamespacePIDLManager == nullptr) InitializeShellToolkit();
  LPITEMIDLIST desktop = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)) || desktop == nullptr)
    desktop = NamespacePIDLManager->AppendPIDL(nullptr, nullptr);
  TNodeStorage::Create(desktop, nullptr);
  NeedChildNodes();
  checkedFileNames = New<TWideStringList>();
}

TRootNodeStorage::~TRootNodeStorage() {
  FreeAndNil(checkedFileNames);
  cachedParent = nullptr;
  TRootNodeStorage::Clear(true);
}

void TRootNodeStorage::Clear(bool freeObject) {
  cachedParent = nullptr;
  TNodeStorage::Clear(freeObject);
}
