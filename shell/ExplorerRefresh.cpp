// The explorer tree catching up with the file system: one folder merged with
// a fresh enumeration, one subtree re-read, the whole tree rebuilt.
#include "shell/ExplorerTree.h"

#include <algorithm>
#include <vector>

#include "shell/ExactNames.h"
#include "shell/NodeStorage.h"
#include "shell/ShellUtilities.h"
#include "shell/VETPersistent.h"

namespace {

// The shell's order of two IDs of one folder: negative when a sorts first.
// Names that differ only in case are two items; where the folder cannot
// compare, the IDs' bytes decide, so that sorting and merging see one order.
int CompareInFolder(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  return exactnames::OrderInFolder(folder, a, b);
}

}  // namespace

PVirtualNode TCustomVirtualExplorerTree::ValidNeighbour(PVirtualNode node) {
  auto valid = [this](PVirtualNode n) {
    TNamespace* ns = NodeNamespace(n);
    return ns != nullptr && ns->IsValid();
  };
  // One direction only: the previous siblings, else the next ones, else the ancestors.
  if (node->PrevSibling != nullptr) {
    for (PVirtualNode run = node->PrevSibling; run != nullptr; run = run->PrevSibling)
      if (valid(run)) return run;
  } else if (node->NextSibling != nullptr) {
    for (PVirtualNode run = node->NextSibling; run != nullptr; run = run->NextSibling)
      if (valid(run)) return run;
  } else {
    for (PVirtualNode run = node->Parent; run != nullptr && run != RootNode(); run = run->Parent)
      if (valid(run)) return run;
  }
  return nullptr;
}

void TCustomVirtualExplorerTree::SelectValidNeighbour(PVirtualNode node, bool select) {
  if (!(select && GetSelected(node) && SelectedCount() == 1)) return;
  PVirtualNode found = ValidNeighbour(node);
  // Each step is reported: the handlers may free the neighbour or the tree.
  THandlerWatch watch(*this);
  ClearSelection();
  if (found == nullptr || watch.Gone(found)) return;
  AddToSelection(found);
  if (watch.Gone(found)) return;
  SetFocusedNode(found);
}

void TCustomVirtualExplorerTree::DeleteNodeMoveFocus(PVirtualNode node) {
  THandlerWatch watch(*this);
  if (node == FocusedNode()) {
    PVirtualNode next = node->NextSibling != nullptr ? node->NextSibling
                        : node->Parent != RootNode() ? node->Parent
                                                     : nullptr;
    SetFocusedNode(next);
    if (watch.Gone(node)) return;
    if (next != nullptr && !watch.Gone(next)) {
      ClearSelection();
      if (watch.Gone(node)) return;
      if (!watch.Gone(next)) AddToSelection(next);
      if (watch.Gone(node)) return;
    }
  }
  DeleteNode(node);
}

namespace {

// The fresh IDs of a folder, freed however the merge ends (also when a
// handler freed the tree).
struct TFreshIDs {
  std::vector<LPITEMIDLIST> ids;
  TFreshIDs() = default;
  TFreshIDs(const TFreshIDs&) = delete;
  TFreshIDs& operator=(const TFreshIDs&) = delete;
  ~TFreshIDs() {
    for (LPITEMIDLIST id : ids) NamespacePIDLManager->FreePIDL(id);
  }
};

// Lists folder afresh into fresh, sorted as the merge compares; false when
// the listing did not succeed (nothing is known gone then).
bool ListFresh(IShellFolder* folder, HWND window, DWORD flags, std::vector<LPITEMIDLIST>& fresh) {
  if (!ListFolderIDs(folder, window, flags, fresh)) return false;
  std::stable_sort(fresh.begin(), fresh.end(),
                   [folder](LPITEMIDLIST a, LPITEMIDLIST b) { return CompareInFolder(folder, a, b) < 0; });
  return true;
}

// Adds to gone copies of the PIDLs of record's child records whose items a
// fresh listing of folder no longer gives, and looks the same way into each
// child still there that has records below it: only stored folders are
// listed. A folder that cannot be listed keeps all its records.
void CollectGoneStored(TNodeStorage* record, IShellFolder* folder, HWND window, DWORD flags, TFreshIDs& gone) {
  TFreshIDs freshIDs;
  if (!exactnames::ListsItself(record->AbsolutePIDL()) || !ListFresh(folder, window, flags, freshIDs.ids)) return;
  auto before = [folder](LPITEMIDLIST a, LPITEMIDLIST b) { return CompareInFolder(folder, a, b) < 0; };
  for (int i = 0; i < record->ChildNodes()->Count(); ++i) {
    TNodeStorage* child = record->ChildNodes()->Items(i);
    if (!std::binary_search(freshIDs.ids.begin(), freshIDs.ids.end(), child->RelativePIDL(), before)) {
      gone.ids.push_back(NamespacePIDLManager->CopyPIDL(child->AbsolutePIDL()));
      continue;
    }
    if (child->ChildNodes() == nullptr || child->ChildNodes()->Count() == 0) continue;
    IShellFolder* inner = nullptr;
    if (SUCCEEDED(folder->BindToObject(child->RelativePIDL(), nullptr, IID_IShellFolder,
                                       reinterpret_cast<void**>(&inner))) &&
        inner != nullptr) {
      CollectGoneStored(child, inner, window, flags, gone);
      inner->Release();
    }
  }
}

// The stored records below the folder record whose items are gone go, with
// everything below them: a folder whose nodes are not made keeps the ticks
// of items in it (at any depth) only in the storage.
void ForgetGoneStored(TRootNodeStorage* storage, TNamespace* folderNs, HWND window, DWORD flags) {
  TNodeStorage* record = storage->ProcessNode(folderNs->AbsolutePIDL(), /*force=*/false);
  if (record == nullptr || record->ChildNodes() == nullptr || record->ChildNodes()->Count() == 0) return;
  folderNs->InvalidateNamespace(true);
  IShellFolder* folder = folderNs->GetShellFolder();
  if (folder == nullptr) return;
  TFreshIDs gone;  // copies: deleting a record frees its PIDL
  CollectGoneStored(record, folder, window, flags, gone);
  for (LPITEMIDLIST pidl : gone.ids) storage->Delete(pidl, {}, /*force=*/true, /*freeObject=*/false);
}

}  // namespace

void TCustomVirtualExplorerTree::ReReadAndRefreshNode(PVirtualNode node, bool sortNode) {
  TNamespace* folderNs = NodeNamespace(node);
  if (folderNs == nullptr) return;
  // Handlers run from here on may free the folder, any child or the tree.
  THandlerWatch watch(*this);
  if (!folderNs->IsValid()) {
    // Gone: its check record goes too (with those below it), as for a child
    // the merge finds gone, so a new folder of its name is not taken for it.
    if (TreeOptions()->MiscOptions().Contains(toCheckSupport))
      if (TRootNodeStorage* storage = GetStorage())
        storage->Delete(folderNs->AbsolutePIDL(), {}, /*force=*/true, /*freeObject=*/false);
    DoNamespaceStructureChange(node, folderNs, nscDelete);
    if (watch.Gone(node)) return;
    SelectValidNeighbour(node, true);
    if (watch.Gone(node)) return;
    DeleteNodeMoveFocus(node);
    return;
  }
  // A folder whose items were never listed has no nodes to merge with: it
  // lists them fresh when opened. Ticks stored for items gone from it go.
  if (node->FirstChild == nullptr && (node->States & vsHasChildren) && node != RootNode()) {
    if (TreeOptions()->MiscOptions().Contains(toCheckSupport) && GetStorage() != nullptr)
      ForgetGoneStored(GetStorage(), folderNs, HandleAllocated() ? Handle() : nullptr, FileObjectsToFlags(fileObjects));
    return;
  }
  IShellFolder* folder = folderNs->GetShellFolder();
  if (folder == nullptr) return;
  struct Child {
    PVirtualNode node;
    TNamespace* ns;
  };
  std::vector<Child> children;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
    if (TNamespace* ns = NodeNamespace(child)) children.push_back({child, ns});
  auto childOrder = [folder](const Child& a, const Child& b) {
    return CompareInFolder(folder, a.ns->RelativePIDL(), b.ns->RelativePIDL()) < 0;
  };
  std::stable_sort(children.begin(), children.end(), childOrder);
  folderNs->InvalidateNamespace(true);
  folder = folderNs->GetShellFolder();
  if (folder == nullptr) return;
  // Listed by a cut name, the shell would give another folder's items: the folder keeps what it shows.
  if (!exactnames::ListsItself(folderNs->AbsolutePIDL())) return;

  TFreshIDs freshIDs;
  std::vector<LPITEMIDLIST>& fresh = freshIDs.ids;
  fresh.reserve(8192);
  // A folder that could not be listed keeps its nodes and their ticks: nothing is known gone.
  if (!ListFresh(folder, HandleAllocated() ? Handle() : nullptr, FileObjectsToFlags(fileObjects), fresh)) return;

  bool checks = TreeOptions()->MiscOptions().Contains(toCheckSupport);
  auto addFresh = [&](LPITEMIDLIST id) {
    TNamespace* ns = New<TNamespace>(NamespacePIDLManager->CopyPIDL(id), folderNs);
    bool allow = true;
    DoEnumFolder(ns, allow);
    if (allow && !watch.Gone(node)) {
      AddNodeToTree(node, ns, ctTriStateCheckBox, checks);
    } else {
      ns->Free();
    }
  };
  // A child its handler freed, or moved out of the folder, is no longer merged.
  auto childGone = [&](const Child& child) { return watch.Gone(child.node) || child.node->Parent != node; };
  auto forget = [&](const Child& child) {
    if (!checks) return;
    if (TRootNodeStorage* storage = GetStorage())
      storage->Delete(child.ns->AbsolutePIDL(), {}, /*force=*/true, /*freeObject=*/false);
  };
  BeginUpdate();
  try {
    size_t f = 0, c = 0;
    while (f < fresh.size() && c < children.size() && !watch.Gone(node)) {
      if (childGone(children[c])) {
        ++c;
        continue;
      }
      int order = CompareInFolder(folder, fresh[f], children[c].ns->RelativePIDL());
      if (order == 0) {
        ++f;
        ++c;
      } else if (order > 0) {
        // The child sorts first: its item is gone, and so is its check record.
        const Child& child = children[c++];
        forget(child);
        DoNamespaceStructureChange(child.node, child.ns, nscDelete);
        if (!watch.Gone(node) && !childGone(child)) DeleteNodeMoveFocus(child.node);
      } else {
        addFresh(fresh[f]);
        ++f;
      }
    }
    for (; f < fresh.size() && !watch.Gone(node); ++f) addFresh(fresh[f]);
    for (; c < children.size() && !watch.Gone(node); ++c) {
      if (childGone(children[c])) continue;
      forget(children[c]);
      DeleteNodeMoveFocus(children[c].node);
    }
  } catch (...) {
    if (!watch.TreeGone()) EndUpdate();
    throw;
  }
  if (watch.TreeGone()) return;
  // The change is reported here: its handler may free the folder or the tree.
  EndUpdate();
  if (watch.Gone(node)) return;
  FollowChildrenCheckState(node);
  if (watch.Gone(node)) return;
  if (sortNode) Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
  if (watch.Gone(node)) return;
  if (node->FirstChild != nullptr && TreeOptions()->VETFolderOptions().Contains(toFoldersExpandable))
    node->States |= vsHasChildren;
  else if (node->FirstChild == nullptr && node != RootNode())
    node->States &= ~vsHasChildren;
}

void TCustomVirtualExplorerTree::FollowChildrenCheckState(PVirtualNode node) {
  if (!TreeOptions()->MiscOptions().Contains(toCheckSupport) ||
      !TreeOptions()->AutoOptions().Contains(toAutoTristateTracking) || node == RootNode() ||
      node->FirstChild == nullptr)
    return;
  // OnInitNode may free any child, the folder, the tree or its form.
  THandlerWatch watch(*this);
  std::vector<PVirtualNode> children;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
    if (!(child->States & vsInitialized)) children.push_back(child);
  for (PVirtualNode child : children) {
    if (watch.Gone(node)) return;
    if (!watch.Gone(child)) InitNode(child);
  }
  if (watch.Gone(node) || node->FirstChild == nullptr) return;
  CheckParentCheckState(node->FirstChild, node->FirstChild->CheckState);
}

bool TCustomVirtualExplorerTree::RefreshNode(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  if (ns == nullptr) return false;
  // Not while a view is busy (editing, dragging, a shell menu up): its nodes must stay.
  if (ShellNotifyManager != nullptr && !ShellNotifyManager->OkToDispatch()) return false;
  // Reopening folders and the selection runs handlers, which may free the node or the tree.
  THandlerWatch watch(*this);
  BeginUpdate();
  try {
    persistent->SaveExpandedBelow(this, node, true);
    // The handlers of the saving and of the children's freeing may free the folder or the tree.
    if (!watch.Gone(node) && node->FirstChild != nullptr) DeleteChildren(node, false);
    if (watch.Gone(node)) {
      if (!watch.TreeGone()) EndUpdate();
      return false;
    }
    ns->InvalidateCache();
    PVirtualNode parent = node->Parent == RootNode() ? nullptr : node->Parent;
    // The hidden root is never expanded: it shows its children at once, and
    // the folders open below it are reached through them.
    if (node == RootNode()) EnumerateNodeChildren(node);
    if (node != RootNode()) {
      if (HasChildrenTest(ns, node, parent))
        node->States |= vsHasChildren;
      else
        node->States &= ~vsHasChildren;
    }
    persistent->RestoreExpandedBelow(this, node, true);
    if (!watch.Gone(node)) FollowChildrenCheckState(node);
    if (!watch.Gone(node) && node != RootNode()) InvalidateNode(node);
  } catch (...) {
    if (!watch.TreeGone()) EndUpdate();
    throw;
  }
  if (!watch.TreeGone()) EndUpdate();
  return !watch.Gone(node);
}

bool TCustomVirtualExplorerTree::RefreshTree(bool restoreTopNode) {
  if (ShellNotifyManager != nullptr && !ShellNotifyManager->OkToDispatch()) return false;
  // Rebuilding reports the restored selection: its handler may free the tree
  // (whose wait cursor then goes with it).
  TViewHold hold(this);
  WaitCursor(true);
  try {
    persistent->SaveTree(this, true, true, /*listedAgain=*/true);
    if (!Going()) persistent->RestoreTree(this, true, restoreTopNode, true);
    // Items that came or went while the tree was away can leave a folder all one state.
    if (!Going()) FollowAllChildrenCheckStates();
  } catch (...) {
    WaitCursor(false);
    throw;
  }
  WaitCursor(false);
  return true;
}
