// The explorer tree: initialising nodes, expand buttons, enumerating folders
// into child nodes, and the nodes added later.
#include "shell/ExplorerTree.h"

#include <algorithm>

#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

bool TCustomVirtualExplorerTree::HasChildrenTest(TNamespace* ns, PVirtualNode node, PVirtualNode parentNode) {
  TVETFolderOptions folderOptions = TreeOptions()->VETFolderOptions();
  bool candidate = folderOptions.Contains(toFoldersExpandable) ||
                   (parentNode == nullptr && !folderOptions.Contains(toHideRootFolder));
  if (!candidate) return false;
  if (ns->IsRecycleBin()) return true;
  // Only folders have children; links and reparse points are never opened.
  if (!ns->Folder() || IsLinkOrReparsePoint(ns)) return false;
  if (ns->HasSubFolder()) return true;
  DWORD flags = FileObjectsToFlags(fileObjects);
  if (fileObjects.Contains(foFolders) && ns->SubFoldersEx(flags & ~SHCONTF_NONFOLDERS)) return true;
  return fileObjects.Contains(foNonFolders) && ns->SubItemsEx(flags);
}

void TCustomVirtualExplorerTree::DoInitNode(PVirtualNode parent, PVirtualNode node,
                                            TVirtualNodeInitStates& initStates) {
  if (Going()) return;
  TVETFolderOptions folderOptions = TreeOptions()->VETFolderOptions();
  if (parent == nullptr && GetRootNodeCount() < 2 && !folderOptions.Contains(toHideRootFolder)) {
    // The one visible root node stands for the root folder. Initialised
    // again, it keeps its item: the items of its children stand on it.
    if (NodeNamespace(node) == nullptr) {
      FreeNodeData(node);
      TNamespace* root = RootNamespace();
      TNamespace* ns = root != nullptr ? root->Clone(true) : New<TNamespace>(nullptr, nullptr);
      SetNodeNamespace(node, ns, New<TColumnManager>(this));
    }
    initStates.Include(ivsExpanded);
  }
  if (TNamespace* ns = NodeNamespace(node)) {
    if (ns->Removable() && folderOptions.Contains(toFoldersExpandable)) {
      // Removable media are never enumerated only to decide on a button.
      if (ns->HasSubFolder()) initStates.Include(ivsHasChildren);
    } else {
      if (folderOptions.Contains(toFoldersExpandable) && HasChildrenTest(ns, node, parent))
        initStates.Include(ivsHasChildren);
      // The thread's answer sets the button later.
      if (threadedExpandMarkRegistered && WantsThreadedExpandMark(ns)) RequestThreadedExpandMark(node, ns);
    }
  }
  TCustomVirtualStringTree::DoInitNode(parent, node, initStates);
  if (Going() || TVirtualTreeCore::Gone(node)) return;
  if (TreeOptions()->MiscOptions().Contains(toCheckSupport)) RestoreCheckState(parent, node);
}

void TCustomVirtualExplorerTree::DoInitChildren(PVirtualNode node, uint32_t& childCount) {
  childCount = EnumerateNodeChildren(node);
  // A handler of the enumeration freed the tree: it reports nothing more.
  if (Going()) {
    childCount = 0;
    return;
  }
  // All children at once, so that their stored states show before they are painted.
  if (TreeOptions()->MiscOptions().Contains(toCheckSupport)) InitChildrenWithChecks(node);
  if (Going() || TVirtualTreeCore::Gone(node)) {
    childCount = 0;
    return;
  }
  TCustomVirtualStringTree::DoInitChildren(node, childCount);
}

bool TCustomVirtualExplorerTree::OkToEnumerate(PVirtualNode node) {
  if (!TreeOptions()->VETFolderOptions().Contains(toFoldersExpandable) && node != GetFirstNoInit() &&
      node != RootNode())
    return false;
  TNamespace* ns = NodeNamespace(node);
  bool ok = ns != nullptr && ns->IsValid();
  if (ok && node != RootNode() && IsLinkOrReparsePoint(ns)) ok = false;
  if (ok) {
    std::u16string address = ns->NameParseAddressInFolder();
    if (address.size() == 3 && address[1] == u':' && address[2] == u'\\' && ns->Removable())
      ok = vws::DiskInDrive(address[0]);
  }
  if (!ok) {
    BeginUpdate();
    node->States &= ~vsHasChildren;
    EndUpdate();
    if (node != RootNode()) InvalidateNode(node);
  }
  return ok;
}

uint32_t TCustomVirtualExplorerTree::EnumerateNodeChildren(PVirtualNode node) {
  if (Going() || !OkToEnumerate(node)) return 0;
  uint32_t result = 0;
  // OnEnumFolder and OnCustomNamespace may free the node, the tree or its form,
  // or rebuild the root, which replaces the hidden root's item.
  THandlerWatch watch(*this);
  TNamespace* ns = NodeNamespace(node);
  TListingScope listing(*this, ns);
  WaitCursor(true);
  BeginUpdate();
  try {
    if (node->ChildCount == 0 && ns != nullptr && threadedEnum && !ComponentState().Contains(csDesigning)) {
      // Ending the running listing dispatches the tree's other timers, whose
      // handlers may free the node; a folder gone takes no listing.
      TerminateEnumThread();
      // The children come later, by timer 101.
      if (ListingStands(node, ns)) StartEnumThread(ns->AbsolutePIDL());
    } else if (node->ChildCount == 0 && ns != nullptr) {
      HWND window = HandleAllocated() ? Handle() : nullptr;
      ns->EnumerateFolderEx(window, fileObjects,
                            MakeEvent<&TCustomVirtualExplorerTree::EnumFolderCallback>(this), node);
      if (ListingStands(node, ns)) DoCustomNamespace(node);
      if (ListingStands(node, ns) && node->FirstChild != nullptr) {
        node->States |= vsHasChildren;
        Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
      }
    }
    // A node that had children already keeps them: the caller takes this as
    // the node's child count.
    result = watch.Gone(node) ? 0 : node->ChildCount;
  } catch (...) {
    EndUpdate();
    WaitCursor(false);
    throw;
  }
  EndUpdate();
  WaitCursor(false);
  return result;
}

bool TCustomVirtualExplorerTree::EnumFolderCallback(HWND, LPITEMIDLIST childPIDL, TNamespace* parent, void* data,
                                                    bool& terminate) {
  auto node = static_cast<PVirtualNode>(data);
  // The folder (or the tree) a handler freed, or a root rebuilt since, takes
  // no more children: the listing ends, and this ID is freed unused.
  if (!ListingStands(node, parent)) {
    terminate = true;
    NamespacePIDLManager->FreePIDL(childPIDL);
    return false;
  }
  bool added = AddEnumeratedChild(node, New<TNamespace>(childPIDL, parent)) != nullptr;
  if (!ListingStands(node, parent)) terminate = true;
  return added;
}

TCustomVirtualExplorerTree::TListingScope::TListingScope(TCustomVirtualExplorerTree& tree_, TNamespace* ns)
    : tree(tree_) {
  tree.listedNamespaces.push_back(ns);
}

TCustomVirtualExplorerTree::TListingScope::~TListingScope() {
  tree.listedNamespaces.pop_back();
  tree.FreeRetiredNamespaces();
}

void TCustomVirtualExplorerTree::ReleaseNamespace(TNamespace* ns) {
  // An operation on the stack may still read the item (a handler freed its
  // node, or the root, under it): it goes once no operation holds the tree.
  if (HoldCount() > 0 || CallOutDepth() > 0 ||
      std::find(listedNamespaces.begin(), listedNamespaces.end(), ns) != listedNamespaces.end()) {
    ns->Retire();
    retiredNamespaces.push_back(ns);
  } else {
    ns->Free();
  }
}

void TCustomVirtualExplorerTree::FreeRetiredNamespaces(uint32_t ownHolds) {
  if (HoldCount() > ownHolds || CallOutDepth() > 0 || !listedNamespaces.empty()) return;
  std::vector<TNamespace*> retired;
  retired.swap(retiredNamespaces);
  for (TNamespace* ns : retired) ns->Free();
}

void TCustomVirtualExplorerTree::LastHoldEnded() {
  TCustomVirtualStringTree::LastHoldEnded();
  FreeRetiredNamespaces();
}

bool TCustomVirtualExplorerTree::ListingStands(PVirtualNode node, TNamespace* ns) const {
  if (Going() || TVirtualTreeCore::Gone(node) || NodeNamespace(node) != ns) return false;
  return node != RootNode() || active;
}

PVirtualNode TCustomVirtualExplorerTree::AddEnumeratedChild(PVirtualNode parentNode, TNamespace* ns) {
  if (TreeOptions()->VETFolderOptions().Contains(toForceHideRecycleBin) && ns->IsRecycleBin()) {
    ns->Free();
    return nullptr;
  }
  bool allow = true;
  try {
    DoEnumFolder(ns, allow);
  } catch (...) {
    ns->Free();
    throw;
  }
  // A handler that freed the tree or the folder refuses the item with it.
  PVirtualNode child =
      allow && ListingStands(parentNode, ns->Parent()) ? AddChild(parentNode) : nullptr;
  if (child == nullptr) {
    ns->Free();
    return nullptr;
  }
  SetNodeNamespace(child, ns, New<TColumnManager>(this));
  return child;
}

PVirtualNode TCustomVirtualExplorerTree::AddNodeToTree(PVirtualNode parentNode, TNamespace* ns, TCheckType checkType,
                                                      bool setCheck) {
  THandlerWatch watch(*this);
  PVirtualNode node = AddChild(parentNode);
  if (node == nullptr) {
    ns->Free();
    return nullptr;
  }
  SetNodeNamespace(node, ns, nullptr);
  // From here the node owns ns: a handler that deletes the node frees it, and
  // the node is answered as not added.
  if (setCheck) {
    // The type through the setter: under a fully checked folder the new item
    // starts checked (it would go with the folder anyway), else unchecked;
    // either way the storage learns it through DoChecked.
    InitNode(node);
    if (watch.Gone(node)) return nullptr;
    if (node->CheckType != checkType) SetCheckType(node, checkType);
    if (watch.Gone(node)) return nullptr;
    PVirtualNode parent = node->Parent;
    bool underChecked = parent != RootNode() && parent->CheckState == csCheckedNormal &&
                        TreeOptions()->AutoOptions().Contains(toAutoTristateTracking);
    if (!underChecked && node->CheckState != csUncheckedNormal) SetCheckState(node, csUncheckedNormal);
    if (underChecked && node->CheckState != csCheckedNormal) SetCheckState(node, csCheckedNormal);
    if (watch.Gone(node)) return nullptr;
  }
  DoNamespaceStructureChange(node, ns, nscAdd);
  return watch.Gone(node) ? nullptr : node;
}

void TCustomVirtualExplorerTree::ForceShowMyDocuments(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  if (ns == nullptr || !ns->IsDesktop()) return;
  LPITEMIDLIST pidl = vst::MyDocumentsPIDL();
  if (pidl == nullptr) return;
  TNamespace* docs = New<TNamespace>(pidl, nullptr);
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    TNamespace* childNs = NodeNamespace(child);
    if (childNs != nullptr && vst::ILIsEqual(childNs->AbsolutePIDL(), docs->AbsolutePIDL())) {
      docs->Free();
      return;
    }
  }
  AddNodeToTree(node, docs, ctTriStateCheckBox, TreeOptions()->MiscOptions().Contains(toCheckSupport));
}

bool TCustomVirtualExplorerTree::DoExpanding(PVirtualNode node) {
  if (!TreeOptions()->VETMiscOptions().Contains(toBrowseExecuteFolder) && node != GetFirstNoInit() &&
      !expandButtonClick)
    return false;
  return TCustomVirtualStringTree::DoExpanding(node);
}

void TCustomVirtualExplorerTree::DoCollapsed(PVirtualNode node) {
  if (Going()) return;
  TCustomVirtualStringTree::DoCollapsed(node);
  // What was asked for the folded-away items is not wanted any more (a browse
  // folds folders on its way and asks again).
  if (!browsing) DropAllThreadRequests();
}

bool TCustomVirtualExplorerTree::DoCollapsing(PVirtualNode node) {
  bool result = TCustomVirtualStringTree::DoCollapsing(node);
  // A handler that deleted the node (or freed the tree) leaves nothing to fold.
  if (Going() || TVirtualTreeCore::Gone(node)) return false;
  PVirtualNode selected = GetFirstSelected();
  if (result && selected != nullptr && HasAsParent(selected, node)) {
    // The selection's handlers may delete the node too: then it folds away with nothing more.
    ClearSelection();
    if (!Going() && !TVirtualTreeCore::Gone(node)) AddToSelection(node);
    if (!Going() && !TVirtualTreeCore::Gone(node)) SetFocusedNode(node);
  }
  return result;
}
