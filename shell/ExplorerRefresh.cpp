// The explorer tree catching up with the file system: one folder merged with
// a fresh enumeration, one subtree re-read, the whole tree rebuilt.
#include "shell/ExplorerTree.h"

#include <algorithm>
#include <vector>

#include "shell/ExactNames.h"
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

void TCustomVirtualExplorerTree::SelectValidNeighbour(PVirtualNode node, bool select) {
  if (!(select && GetSelected(node) && SelectedCount() == 1)) return;
  auto valid = [this](PVirtualNode n) {
    TNamespace* ns = NodeNamespace(n);
    return ns != nullptr && ns->IsValid();
  };
  PVirtualNode found = nullptr;
  if (node->PrevSibling != nullptr) {
    for (PVirtualNode run = node->PrevSibling; run != nullptr && found == nullptr; run = run->PrevSibling)
      if (valid(run)) found = run;
  } else if (node->NextSibling != nullptr) {
    for (PVirtualNode run = node->NextSibling; run != nullptr && found == nullptr; run = run->NextSibling)
      if (valid(run)) found = run;
  } else {
    for (PVirtualNode run = node->Parent; run != nullptr && run != RootNode() && found == nullptr; run = run->Parent)
      if (valid(run)) found = run;
  }
  ClearSelection();
  if (found != nullptr) {
    AddToSelection(found);
    SetFocusedNode(found);
  }
}

void TCustomVirtualExplorerTree::DeleteNodeMoveFocus(PVirtualNode node) {
  if (node == FocusedNode()) {
    PVirtualNode next = node->NextSibling != nullptr ? node->NextSibling
                        : node->Parent != RootNode() ? node->Parent
                                                     : nullptr;
    SetFocusedNode(next);
    if (next != nullptr) {
      ClearSelection();
      AddToSelection(next);
    }
  }
  DeleteNode(node);
}

void TCustomVirtualExplorerTree::ReReadAndRefreshNode(PVirtualNode node, bool sortNode) {
  TNamespace* folderNs = NodeNamespace(node);
  if (folderNs == nullptr) return;
  if (!folderNs->IsValid()) {
    DoNamespaceStructureChange(node, folderNs, nscDelete);
    SelectValidNeighbour(node, true);
    DeleteNodeMoveFocus(node);
    return;
  }
  // A folder whose items were never listed has no nodes to merge with: it lists them fresh when opened.
  if (node->FirstChild == nullptr && (node->States & vsHasChildren) && node != RootNode()) return;
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

  std::vector<LPITEMIDLIST> fresh;
  fresh.reserve(8192);
  {
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    IEnumIDList* list = nullptr;
    HWND window = HandleAllocated() ? Handle() : nullptr;
    if (folder->EnumObjects(window, FileObjectsToFlags(fileObjects), &list) == S_OK && list != nullptr) {
      LPITEMIDLIST id = nullptr;
      ULONG fetched = 0;
      while (list->Next(1, &id, &fetched) == S_OK) {
        fresh.push_back(id);
        id = nullptr;
      }
      list->Release();
    }
    SetErrorMode(oldMode);
  }
  std::stable_sort(fresh.begin(), fresh.end(),
                   [folder](LPITEMIDLIST a, LPITEMIDLIST b) { return CompareInFolder(folder, a, b) < 0; });

  bool checks = TreeOptions()->MiscOptions().Contains(toCheckSupport);
  auto addFresh = [&](LPITEMIDLIST id) {
    TNamespace* ns = New<TNamespace>(NamespacePIDLManager->CopyPIDL(id), folderNs);
    bool allow = true;
    if (OnEnumFolder) OnEnumFolder(this, ns, allow);
    if (allow)
      AddNodeToTree(node, ns, ctTriStateCheckBox, checks);
    else
      ns->Free();
  };
  BeginUpdate();
  try {
    size_t f = 0, c = 0;
    while (f < fresh.size() && c < children.size()) {
      int order = CompareInFolder(folder, fresh[f], children[c].ns->RelativePIDL());
      if (order == 0) {
        ++f;
        ++c;
      } else if (order > 0) {
        // The child sorts first: its item is gone, and so is its check record.
        if (checks) {
          if (TRootNodeStorage* storage = GetStorage())
            storage->Delete(children[c].ns->AbsolutePIDL(), {}, /*force=*/true, /*freeObject=*/false);
        }
        DoNamespaceStructureChange(children[c].node, children[c].ns, nscDelete);
        DeleteNodeMoveFocus(children[c].node);
        ++c;
      } else {
        addFresh(fresh[f]);
        ++f;
      }
    }
    for (; f < fresh.size(); ++f) addFresh(fresh[f]);
    for (; c < children.size(); ++c) {
      if (checks) {
        if (TRootNodeStorage* storage = GetStorage())
          storage->Delete(children[c].ns->AbsolutePIDL(), {}, /*force=*/true, /*freeObject=*/false);
      }
      DeleteNodeMoveFocus(children[c].node);
    }
  } catch (...) {
    for (LPITEMIDLIST id : fresh) NamespacePIDLManager->FreePIDL(id);
    EndUpdate();
    throw;
  }
  for (LPITEMIDLIST id : fresh) NamespacePIDLManager->FreePIDL(id);
  EndUpdate();
  FollowChildrenCheckState(node);
  if (sortNode) Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
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
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
    if (!(child->States & vsInitialized)) InitNode(child);
  CheckParentCheckState(node->FirstChild, node->FirstChild->CheckState);
}

bool TCustomVirtualExplorerTree::RefreshNode(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  if (ns == nullptr) return false;
  // Not while a view is busy (editing, dragging, a shell menu up): its nodes must stay.
  if (ShellNotifyManager != nullptr && !ShellNotifyManager->OkToDispatch()) return false;
  BeginUpdate();
  try {
    persistent->SaveExpandedBelow(this, node, true);
    if (node->FirstChild != nullptr) DeleteChildren(node, false);
    ns->InvalidateCache();
    PVirtualNode parent = node->Parent == RootNode() ? nullptr : node->Parent;
    if (node != RootNode()) {
      if (HasChildrenTest(ns, node, parent))
        node->States |= vsHasChildren;
      else
        node->States &= ~vsHasChildren;
    }
    persistent->RestoreExpandedBelow(this, node, true);
    FollowChildrenCheckState(node);
    if (node != RootNode()) InvalidateNode(node);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return true;
}

bool TCustomVirtualExplorerTree::RefreshTree(bool restoreTopNode) {
  if (ShellNotifyManager != nullptr && !ShellNotifyManager->OkToDispatch()) return false;
  WaitCursor(true);
  try {
    persistent->SaveTree(this, true, true);
    persistent->RestoreTree(this, true, restoreTopNode, true);
    // Items that came or went while the tree was away can leave a folder all one state.
    FollowAllChildrenCheckStates();
  } catch (...) {
    WaitCursor(false);
    throw;
  }
  WaitCursor(false);
  return true;
}
