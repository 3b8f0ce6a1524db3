// The explorer tree's check marks and the node storage: every node shown
// checked or mixed has a record with its state and type; nodes made again
// take their state back from it.
#include "shell/ExplorerTree.h"

#include <vector>

#include "shell/ShellUtilities.h"

void TCustomVirtualExplorerTree::StoreCheckState(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  TRootNodeStorage* storage = GetStorage();
  if (ns == nullptr || storage == nullptr) return;
  // A pressed state is only how a held mouse button looks; the record keeps what it becomes.
  TCheckState state = UnpressedCheckState(node->CheckState);
  if (state == csUncheckedNormal) {
    storage->Delete(ns->AbsolutePIDL(), {skCheckState}, false, false);
    return;
  }
  if (TNodeStorage* record = storage->Store(ns->AbsolutePIDL(), {skCheckState})) {
    record->Storage.CheckState = state;
    record->Storage.CheckType = node->CheckType;
  }
}

void TCustomVirtualExplorerTree::RestoreCheckState(PVirtualNode parent, PVirtualNode node) {
  bool tracking = TreeOptions()->AutoOptions().Contains(toAutoTristateTracking);
  if (tracking && parent != nullptr && parent->CheckState == csCheckedNormal) {
    // Inside a fully checked folder every item is checked, old or new.
    node->CheckState = csCheckedNormal;
    StoreCheckState(node);
    return;
  }
  TNamespace* ns = NodeNamespace(node);
  TRootNodeStorage* storage = GetStorage();
  if (ns == nullptr || storage == nullptr) return;
  TNodeStorage* record = StoredCheckRecord(storage, node, ns);
  if (record == nullptr) return;
  // Both state and type: a state without its box would hide a check that still counts.
  node->CheckState = UnpressedCheckState(record->Storage.CheckState);
  if (record->Storage.CheckType != ctNone) node->CheckType = record->Storage.CheckType;
  if (node->CheckType == ctNone) node->CheckType = ctTriStateCheckBox;
  if (!tracking || node->CheckState == csUncheckedNormal) return;
  for (PVirtualNode run = node->Parent; run != nullptr && run != RootNode() && run->CheckState == csUncheckedNormal;
       run = run->Parent) {
    run->CheckState = csMixedNormal;
    StoreCheckState(run);
    InvalidateNode(run);
  }
}

TNodeStorage* TCustomVirtualExplorerTree::StoredCheckRecord(TRootNodeStorage* storage, PVirtualNode node,
                                                           TNamespace* ns) {
  // A child listed from the folder's own item is its record's child; an item
  // added otherwise (My Documents on the desktop) is looked up by its path.
  TNamespace* folder = checksFolder != nullptr ? NodeNamespace(checksFolder) : nullptr;
  if (folder == nullptr || node->Parent != checksFolder || ns->Parent() != folder)
    return storage->Find(ns->AbsolutePIDL(), {skCheckState});
  // Records changed meanwhile (an OnInitNode handler, a checked ancestor
  // stored): the folder's record is looked up again.
  if (checksFolderGeneration != TNodeStorage::Generation()) {
    checksFolderRecord = storage->ProcessNode(folder->AbsolutePIDL(), /*force=*/false);
    checksFolderGeneration = TNodeStorage::Generation();
  }
  return storage->FindChildOf(checksFolderRecord, ns->RelativePIDL(), {skCheckState});
}

void TCustomVirtualExplorerTree::InitChildrenWithChecks(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  TRootNodeStorage* storage = GetStorage();
  PVirtualNode outerFolder = checksFolder;
  auto restoreOuter = [&] {
    // The outer folder's record is looked up again when next needed.
    checksFolder = outerFolder;
    checksFolderGeneration = TNodeStorage::Generation() - 1;
  };
  checksFolder = ns != nullptr && storage != nullptr ? node : nullptr;
  checksFolderRecord = checksFolder != nullptr ? storage->ProcessNode(ns->AbsolutePIDL(), /*force=*/false) : nullptr;
  checksFolderGeneration = TNodeStorage::Generation();
  try {
    // A handler may delete the child (the walk starts over), the folder or the tree (it stops).
    PVirtualNode child = node->FirstChild;
    while (child != nullptr && !Going() && !TVirtualTreeCore::Gone(node)) {
      if (!(child->States & vsInitialized)) {
        InitNode(child);
        if (TVirtualTreeCore::Gone(child)) {
          child = node->FirstChild;
          continue;
        }
      }
      child = child->NextSibling;
    }
  } catch (...) {
    restoreOuter();
    throw;
  }
  restoreOuter();
}

void TCustomVirtualExplorerTree::DropImpliedRecords(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  TRootNodeStorage* storage = GetStorage();
  if (ns == nullptr || storage == nullptr) return;
  TNodeStorage* record = storage->ProcessNode(ns->AbsolutePIDL(), false);
  if (record == nullptr || record->ChildNodes() == nullptr) return;
  bool checked = UnpressedCheckState(node->CheckState) == csCheckedNormal;
  // Collect first: deleting records frees them.
  std::vector<LPITEMIDLIST> doomed;
  std::vector<TNodeStorage*> stack{record};
  while (!stack.empty()) {
    TNodeStorage* run = stack.back();
    stack.pop_back();
    TNodeStorageList* children = run->ChildNodes();
    if (children == nullptr) continue;
    for (int i = 0; i < children->Count(); ++i) {
      TNodeStorage* child = children->Items(i);
      stack.push_back(child);
      if (child->Storage.Kinds.Contains(skCheckState) &&
          (!checked || UnpressedCheckState(child->Storage.CheckState) != csCheckedNormal))
        doomed.push_back(NamespacePIDLManager->CopyPIDL(child->AbsolutePIDL()));
    }
  }
  for (LPITEMIDLIST pidl : doomed) {
    storage->Delete(pidl, {skCheckState}, false, false);
    NamespacePIDLManager->FreePIDL(pidl);
  }
}

void TCustomVirtualExplorerTree::DoChecked(PVirtualNode node) {
  // A going view (torn down by a handler, or its teardown under way) stores and fires nothing.
  if (Going()) return;
  if (NodeNamespace(node) != nullptr) {
    StoreCheckState(node);
    TCheckState state = UnpressedCheckState(node->CheckState);
    if (state != csMixedNormal && TreeOptions()->AutoOptions().Contains(toAutoTristateTracking))
      DropImpliedRecords(node);
  }
  TCustomVirtualStringTree::DoChecked(node);
}
