// Saving an explorer tree's state and building it again: expanded folders,
// selection, top and focused items, root and node storage; named views.
#include "shell/VETPersistent.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/Stream.h"
#include "shell/ExactNames.h"
#include "shell/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

TPIDLManager* Pidls() { return NamespacePIDLManager; }

void FreePIDLSlot(LPITEMIDLIST& pidl) {
  if (pidl != nullptr && NamespacePIDLManager != nullptr) NamespacePIDLManager->FreePIDL(pidl);
  pidl = nullptr;
}

LPITEMIDLIST ValidAbsolutePIDL(TCustomVirtualExplorerTree* tree, PVirtualNode node) {
  TNamespace* ns = tree->NodeNamespace(node);
  return ns != nullptr && ns->IsValid() ? ns->AbsolutePIDL() : nullptr;
}

int32_t ReadInt32(TStream* stream) {
  int32_t value = 0;
  stream->ReadBuffer(&value, sizeof(value));
  return value;
}

void WriteInt32(TStream* stream, int32_t value) { stream->WriteBuffer(&value, sizeof(value)); }

// A wide text: 4-byte length in characters, then UTF-16 (bytesPerChar 2), or
// for old streams as many bytes as characters.
std::u16string ReadWideText(TStream* stream, bool oldForm) {
  int32_t length = ReadInt32(stream);
  int64_t left = stream->Size() - stream->Position();
  int64_t bytes = oldForm ? int64_t(length) : int64_t(length) * 2;
  if (length < 0 || bytes > left) throw EReadError("Stream read error");
  std::u16string text(static_cast<size_t>(length), u'\0');
  if (oldForm) {
    std::string raw(static_cast<size_t>(length), '\0');
    if (length > 0) stream->ReadBuffer(raw.data(), length);
    for (size_t i = 0; i < raw.size(); ++i) text[i] = static_cast<unsigned char>(raw[i]);
  } else if (length > 0) {
    stream->ReadBuffer(text.data(), static_cast<int32_t>(bytes));
  }
  return text;
}

void WriteWideText(TStream* stream, const std::u16string& text) {
  WriteInt32(stream, static_cast<int32_t>(text.size()));
  if (!text.empty()) stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size() * 2));
}

// A count read from a stream: each entry needs at least minBytes.
int32_t ReadCount(TStream* stream, int minBytes) {
  int32_t count = ReadInt32(stream);
  if (count < 0 || int64_t(count) * minBytes > stream->Size() - stream->Position())
    throw EReadError("Stream read error");
  return count;
}

}  // namespace

// ---- Released later -------------------------------------------------------------------

TReleaseLater::~TReleaseLater() { FreeKept(); }

TReleaseLater::TScope::TScope(TReleaseLater& later_) : later(later_) { ++later.depth; }

TReleaseLater::TScope::~TScope() {
  if (--later.depth == 0) later.FreeKept();
}

void TReleaseLater::Release(TObject* object) {
  if (object == nullptr) return;
  if (UnderWay())
    objects.push_back(object);
  else
    object->Free();
}

void TReleaseLater::Release(LPITEMIDLIST pidl) {
  if (UnderWay())
    pidls.push_back(pidl);
  else
    FreePIDLSlot(pidl);
}

void TReleaseLater::FreeKept() {
  // Freeing runs no handler: nothing is added meanwhile.
  for (TObject* object : objects) object->Free();
  objects.clear();
  for (LPITEMIDLIST& pidl : pidls) FreePIDLSlot(pidl);
  pidls.clear();
}

// ---- Leaves ----------------------------------------------------------------------------

TLeafNode::~TLeafNode() { FreePIDLSlot(PIDL); }

void TLeafNode::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
  uint8_t expanded = 0;
  stream->ReadBuffer(&expanded, 1);
  Expanded = expanded != 0;
  LPITEMIDLIST pidl = Pidls()->LoadFromStream(stream);
  FreePIDLSlot(PIDL);
  PIDL = pidl;
}

void TLeafNode::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  uint8_t expanded = Expanded ? 1 : 0;
  stream->WriteBuffer(&expanded, 1);
  Pidls()->SaveToStream(stream, PIDL);
}

TLeafNodeList::~TLeafNodeList() { Clear(); }

void TLeafNodeList::Add(LPCITEMIDLIST pidl, bool expanded) {
  TLeafNode* leaf = New<TLeafNode>();
  leaf->PIDL = Pidls()->CopyPIDL(pidl);
  leaf->Expanded = expanded;
  leaf->Owner = this;
  TList::Add(leaf);
}

void TLeafNodeList::Clear() {
  if (!ShareNodes)
    for (int i = 0; i < Count(); ++i) Items(i)->Free();
  TList::Clear();
}

void TLeafNodeList::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  TStreamableList::LoadFromStream(stream, version, readVerFromStream);
  int32_t count = ReadCount(stream, 5);
  for (int32_t i = 0; i < count; ++i) {
    TLeafNode* leaf = New<TLeafNode>();
    leaf->Owner = this;
    TList::Add(leaf);
    leaf->LoadFromStream(stream, StreamVersion(), readVerFromStream);
  }
}

void TLeafNodeList::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableList::SaveToStream(stream, version, writeVerToStream);
  WriteInt32(stream, Count());
  for (int i = 0; i < Count(); ++i) Items(i)->SaveToStream(stream, version, writeVerToStream);
}

// ---- The saved tree -------------------------------------------------------------------

void TVETPersistent::Create() {
  TStreamableClass::Create();
  SelectedPIDLs = New<TPIDLList>();
  LeafNodeList = New<TLeafNodeList>();
  Storage = New<TRootNodeStorage>();
}

TVETPersistent::~TVETPersistent() {
  FreeAndNil(LeafNodeList);
  FreeAndNil(SelectedPIDLs);
  FreePIDLSlot(TopNodePIDL);
  FreePIDLSlot(SelectedPIDLsParent);
  FreePIDLSlot(RootFolderCustomPIDL);
  FreePIDLSlot(FocusedPIDL);
  FreeAndNil(Storage);
}

void TVETPersistent::Clear() {
  ReleaseLeaves();
  ReleaseSelection();
  ReleaseSlot(SelectedPIDLsParent);
  ReleaseSlot(RootFolderCustomPIDL);
  Storage->Clear(false);
}

void TVETPersistent::ReleaseSlot(LPITEMIDLIST& slot) {
  if (slot != nullptr) later.Release(std::exchange(slot, nullptr));
}

void TVETPersistent::ReleaseLeaves() {
  if (!later.UnderWay()) return LeafNodeList->Clear();
  later.Release(LeafNodeList);
  LeafNodeList = New<TLeafNodeList>();
}

void TVETPersistent::ReleaseSelection() {
  unasked.clear();
  if (!later.UnderWay()) return SelectedPIDLs->Clear();
  later.Release(SelectedPIDLs);
  SelectedPIDLs = New<TPIDLList>();
}

void TVETPersistent::InitAllExisting(TCustomVirtualExplorerTree* tree) {
  // An initialisation handler may delete the node or free the tree: the walk
  // starts over (the nodes done stay done) or stops.
  PVirtualNode node = tree->GetFirstNoInit();
  while (node != nullptr && !tree->Going()) {
    if (!(node->States & vsInitialized)) {
      tree->InitNode(node);
      if (TVirtualTreeCore::Gone(node)) {
        node = tree->GetFirstNoInit();
        continue;
      }
    }
    node = tree->GetNextNoInit(node);
  }
  allInitialized = true;
}

void TVETPersistent::SaveTree(TCustomVirtualExplorerTree* tree, bool saveSelection, bool saveFocus, bool listedAgain) {
  TReleaseLater::TScope scope(later);
  TCustomVirtualExplorerTree::THandlerWatch watch(*tree);
  // An invalid root is told of (its handler may free the tree); nothing is saved.
  if (!tree->ValidateRootNamespace()) return;
  InitAllExisting(tree);
  if (watch.TreeGone()) return;
  ReleaseSlot(FocusedPIDL);
  ReleaseSlot(TopNodePIDL);
  ReleaseSlot(RootFolderCustomPIDL);
  PVirtualNode top = tree->GetTopNode();
  if (top != nullptr) {
    LPITEMIDLIST pidl = ValidAbsolutePIDL(tree, top);
    if (pidl == nullptr)
      if (PVirtualNode neighbour = tree->ValidNeighbour(top)) pidl = ValidAbsolutePIDL(tree, neighbour);
    if (pidl != nullptr) TopNodePIDL = Pidls()->CopyPIDL(pidl);
  }
  if (saveFocus && tree->FocusedNode() != nullptr)
    if (LPITEMIDLIST pidl = ValidAbsolutePIDL(tree, tree->FocusedNode())) FocusedPIDL = Pidls()->CopyPIDL(pidl);
  bool hideRoot = tree->TreeOptions()->VETFolderOptions().Contains(toHideRootFolder);
  SaveExpandedBelow(tree, hideRoot ? tree->RootNode() : tree->GetFirstNoInit(), saveSelection, listedAgain);
  if (tree->RootFolderCustomPIDL() != nullptr) RootFolderCustomPIDL = Pidls()->CopyPIDL(tree->RootFolderCustomPIDL());
  RootFolder = tree->RootFolder();
  RootFolderCustomPath = tree->RootFolderCustomPath();
  allInitialized = false;
}

void TVETPersistent::SaveSelection(TCustomVirtualExplorerTree* tree, bool listedAgain) {
  ReleaseSelection();
  rebuildsAtSave = tree->RootRebuilds();
  ReleaseSlot(SelectedPIDLsParent);
  PVirtualNode first = tree->GetFirstSelected();
  TNamespace* firstNs = tree->NodeNamespace(first);
  if (firstNs == nullptr) return;
  if (!TPIDLManager::IsDesktopFolder(firstNs->AbsolutePIDL())) {
    SelectedPIDLsParent = Pidls()->CopyPIDL(firstNs->AbsolutePIDL());
    Pidls()->StripLastID(SelectedPIDLsParent);
  }
  // Asking the disk costs a round trip a file: the siblings of the first,
  // the only ones that can come back, are left to the listing that follows.
  listedAgain = listedAgain && SelectedPIDLsParent != nullptr;
  for (PVirtualNode node = first; node != nullptr; node = tree->GetNextSelected(node)) {
    TNamespace* ns = tree->NodeNamespace(node);
    if (ns == nullptr) continue;
    bool onShellsWord = false;
    bool valid = listedAgain && node->Parent == first->Parent ? ns->IsValidBeforeListing(onShellsWord) : ns->IsValid();
    if (!valid) continue;
    int index = SelectedPIDLs->CopyAdd(ns->RelativePIDL());
    if (onShellsWord) unasked.push_back(index);
  }
}

void TVETPersistent::ConfirmUnasked() {
  std::vector<bool> gone(static_cast<size_t>(SelectedPIDLs->Count()), false);
  bool any = false;
  for (int index : unasked) {
    LPITEMIDLIST pidl = Pidls()->AppendPIDL(SelectedPIDLsParent, SelectedPIDLs->Items(index));
    if (pidl == nullptr) continue;
    TNamespace* ns = New<TNamespace>(pidl, nullptr);
    if (!ns->IsValid()) gone[static_cast<size_t>(index)] = any = true;
    ns->Free();
  }
  unasked.clear();
  if (!any) return;
  for (int i = SelectedPIDLs->Count() - 1; i >= 0; --i) {
    if (!gone[static_cast<size_t>(i)]) continue;
    LPITEMIDLIST pidl = SelectedPIDLs->Items(i);
    SelectedPIDLs->Delete(i);
    ReleaseSlot(pidl);
  }
}

namespace {
enum class LeafAnswer { None, Itself, Inner };
}  // namespace

void TVETPersistent::CollectLeaves(TCustomVirtualExplorerTree* tree, PVirtualNode start) {
  ReleaseLeaves();
  // Depth first with an explicit stack: a node answers once all its children have.
  struct Frame {
    PVirtualNode node;
    PVirtualNode child;
    bool anyExpanded;
  };
  auto expanded = [tree](PVirtualNode node) { return node == tree->RootNode() || tree->GetExpanded(node); };
  if (start == nullptr || !expanded(start)) {
    if (start != nullptr)
      if (LPITEMIDLIST pidl = ValidAbsolutePIDL(tree, start)) LeafNodeList->Add(pidl, tree->GetExpanded(start));
    return;
  }
  std::vector<Frame> stack{{start, start->FirstChild, false}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.child != nullptr) {
      PVirtualNode child = frame.child;
      frame.child = child->NextSibling;
      if (tree->GetExpanded(child)) stack.push_back({child, child->FirstChild, false});
      continue;
    }
    LeafAnswer answer = frame.anyExpanded ? LeafAnswer::Inner : LeafAnswer::Itself;
    PVirtualNode node = frame.node;
    stack.pop_back();
    if (stack.empty()) break;
    stack.back().anyExpanded = true;
    if (answer == LeafAnswer::Itself)
      if (LPITEMIDLIST pidl = ValidAbsolutePIDL(tree, node)) LeafNodeList->Add(pidl, true);
  }
  if (LeafNodeList->Count() == 0)
    if (LPITEMIDLIST pidl = ValidAbsolutePIDL(tree, start)) LeafNodeList->Add(pidl, tree->GetExpanded(start));
}

void TVETPersistent::SaveExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode node, bool saveSelection) {
  TReleaseLater::TScope scope(later);
  SaveExpandedBelow(tree, node, saveSelection, false);
}

void TVETPersistent::SaveExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode node, bool saveSelection,
                                       bool listedAgain) {
  if (node == nullptr) return;
  TCustomVirtualExplorerTree::THandlerWatch watch(*tree);
  if (!allInitialized) {
    PVirtualNode child = node->FirstChild;
    while (child != nullptr) {
      if (!(child->States & vsInitialized)) {
        tree->InitNode(child);
        if (watch.Gone(node)) return;
        // A handler that deleted the child leaves the walk to start over.
        if (TVirtualTreeCore::Gone(child)) {
          child = node->FirstChild;
          continue;
        }
      }
      child = child->NextSibling;
    }
  }
  if (saveSelection) SaveSelection(tree, listedAgain);
  CollectLeaves(tree, node);
}

// The tree's handlers run while folders open and the selection comes back:
// they may free the tree or its form, or save this state again (a refresh).
// The tree and form stay in memory (this object with the tree) while a step
// runs, and so do the leaves and IDs a save releases meanwhile: the restore
// goes on with those it began with. After each step that can reach a
// handler, nothing more is done once the tree is going.

void TVETPersistent::RestoreExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode, bool restoreSelection) {
  TReleaseLater::TScope scope(later);
  TViewHold hold(tree);
  TLeafNodeList* leaves = LeafNodeList;
  tree->BeginUpdate();
  try {
    for (int i = 0; !tree->Going() && i < leaves->Count(); ++i) {
      TLeafNode* leaf = leaves->Items(i);
      PVirtualNode node = tree->WalkPIDLToNode(leaf->PIDL, false, true, false, true);
      if (node == nullptr || tree->Going()) continue;
      if (node != tree->RootNode())
        tree->SetExpanded(node, leaf->Expanded);
      else if (leaf->Expanded && node->ChildCount == 0)
        tree->EnumerateNodeChildren(node);
    }
  } catch (...) {
    if (!tree->Going()) tree->EndUpdate();
    throw;
  }
  if (tree->Going()) return;
  tree->EndUpdate();
  if (!tree->Going() && restoreSelection) RestoreSelection(tree);
}

void TVETPersistent::RestoreSelection(TCustomVirtualExplorerTree* tree) {
  // Without a rebuild since the save no listing has looked for them.
  if (!unasked.empty() && tree->RootRebuilds() == rebuildsAtSave) ConfirmUnasked();
  unasked.clear();
  TPIDLList* saved = SelectedPIDLs;
  LPITEMIDLIST savedParent = SelectedPIDLsParent;
  TViewHold hold(tree);
  tree->ClearSelection();
  if (tree->Going()) return;
  tree->SetFocusedNode(nullptr);
  if (tree->Going()) return;
  tree->BeginUpdate();
  try {
    if (saved->Count() > 0) {
      if (savedParent != nullptr) {
        PVirtualNode parent = tree->WalkPIDLToNode(savedParent, false, false, false, true);
        if (parent != nullptr && !tree->Going()) SelectSaved(tree, parent, saved);
      } else if (PVirtualNode first = tree->GetFirst()) {
        tree->AddToSelection(first);
      }
    }
  } catch (...) {
    if (!tree->Going()) tree->EndUpdate();
    throw;
  }
  if (tree->Going()) return;
  tree->EndUpdate();
  if (tree->Going()) return;
  if (PVirtualNode first = tree->GetFirstSelected()) tree->SetFocusedNode(first);
}

namespace {

// Sorts items by order (negative: the first goes first), stable. A folder
// mostly lists its children in its own order, and a selection follows the
// tree's: then the neighbours' test alone settles it, one call a pair.
template <class Item, class Order>
void SortByFolder(std::vector<Item>& items, Order&& order) {
  for (size_t i = 0; i + 1 < items.size(); ++i) {
    if (order(items[i], items[i + 1]) > 0) {
      std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return order(a, b) < 0; });
      return;
    }
  }
}

}  // namespace

void TVETPersistent::SelectSaved(TCustomVirtualExplorerTree* tree, PVirtualNode parent, TPIDLList* savedIDs) {
  struct Child {
    PVirtualNode node;
    LPCITEMIDLIST id;
    size_t position;
  };
  std::vector<Child> children;
  for (PVirtualNode child = tree->GetFirstChild(parent); child != nullptr; child = child->NextSibling)
    if (TNamespace* ns = tree->NodeNamespace(child)) children.push_back({child, ns->RelativePIDL(), children.size()});
  std::vector<LPCITEMIDLIST> saved;
  for (int i = 0; i < savedIDs->Count(); ++i)
    if (LPCITEMIDLIST id = savedIDs->Items(i)) saved.push_back(NamespacePIDLManager->GetPointerToLastID(id));
  // An ID of the same bytes as a saved one is that item: most children of a
  // folder listed again are found so, without asking the shell.
  auto bytesOf = [](LPCITEMIDLIST id) {
    return std::string_view(reinterpret_cast<const char*>(id), *reinterpret_cast<const uint16_t*>(id));
  };
  std::unordered_set<std::string_view> savedBytes;
  savedBytes.reserve(saved.size());
  for (LPCITEMIDLIST id : saved) savedBytes.insert(bytesOf(id));
  std::vector<bool> chosen(children.size(), false);
  std::vector<Child> others;
  for (const Child& child : children) {
    if (savedBytes.count(bytesOf(child.id)) != 0)
      chosen[child.position] = true;
    else
      others.push_back(child);
  }
  if (!others.empty()) {
    // The rest by the folder's order: both sides sorted, then one pass, a
    // comparison a child or a saved ID instead of one for every pair.
    TNamespace* parentNs = tree->NodeNamespace(parent);
    IShellFolder* folder = parentNs != nullptr ? parentNs->GetShellFolder() : nullptr;
    auto order = [folder](LPCITEMIDLIST a, LPCITEMIDLIST b) { return exactnames::OrderInFolder(folder, a, b); };
    SortByFolder(others, [&](const Child& a, const Child& b) { return order(a.id, b.id); });
    SortByFolder(saved, order);
    size_t s = 0;
    for (const Child& child : others) {
      int cmp = -1;
      while (s < saved.size() && (cmp = order(child.id, saved[s])) > 0) ++s;
      if (s == saved.size()) break;
      // Another child equal to the same saved ID is selected too (never two of one folder).
      if (cmp == 0) chosen[child.position] = true;
    }
  }
  // Selected in the tree's order of the children, as the user sees them.
  std::vector<PVirtualNode> nodes;
  for (const Child& child : children)
    if (chosen[child.position]) nodes.push_back(child.node);
  tree->AddToSelectionInTurn(nodes);
}

void TVETPersistent::RestoreTree(TCustomVirtualExplorerTree* tree, bool restoreSelection, bool restoreTopNode,
                                 bool restoreFocus) {
  TReleaseLater::TScope scope(later);
  TViewHold hold(tree);
  tree->BeginUpdate();
  PVirtualNode last = nullptr;
  try {
    tree->ClearSelection();
    // A save from a handler changes the fields read below; what they held stays until the return.
    if (!tree->Going() && !RootFolderCustomPath.empty())
      tree->SetRootFolderCustomPath(std::u16string(RootFolderCustomPath));
    if (!tree->Going() && RootFolderCustomPIDL != nullptr) tree->SetRootFolderCustomPIDL(RootFolderCustomPIDL);
    if (!tree->Going() && RootFolderCustomPath.empty() && RootFolderCustomPIDL == nullptr)
      tree->SetRootFolder(static_cast<TRootFolder>(RootFolder));
    if (!tree->Going()) RestoreExpandedBelow(tree, tree->GetFirstNoInit(), restoreSelection);
    if (!tree->Going() && restoreFocus && FocusedPIDL != nullptr) {
      last = tree->WalkPIDLToNode(FocusedPIDL, false, true, false, true);
      if (last != nullptr && !tree->Going()) tree->SetFocusedNode(last);
    }
  } catch (...) {
    if (!tree->Going()) tree->EndUpdate();
    throw;
  }
  if (tree->Going()) return;
  tree->EndUpdate();  // reports the restored selection
  if (tree->Going()) return;
  // The report's handler may have freed the node focused above.
  if (last != nullptr) last = tree->FocusedNode();
  // The top row's item, else (it is gone) the focused one.
  if (restoreTopNode && TopNodePIDL != nullptr)
    if (PVirtualNode top = tree->WalkPIDLToNode(TopNodePIDL, false, true, false, true)) last = top;
  if (tree->Going()) return;
  if (last != nullptr && last != tree->RootNode()) tree->SetTopNode(last);
}

// ---- Stream form ----------------------------------------------------------------------------

void TVETPersistent::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
  auto replace = [&](LPITEMIDLIST& slot) {
    LPITEMIDLIST pidl = Pidls()->LoadFromStream(stream);
    ReleaseSlot(slot);
    slot = pidl;
  };
  ReleaseLeaves();
  LeafNodeList->LoadFromStream(stream, version, readVerFromStream);
  replace(SelectedPIDLsParent);
  ReleaseSelection();
  if (!SelectedPIDLs->LoadFromStream(stream)) throw EReadError("Stream read error");
  replace(RootFolderCustomPIDL);
  replace(TopNodePIDL);
  replace(FocusedPIDL);
  uint8_t root = 0;
  stream->ReadBuffer(&root, 1);
  if (root > rfCustomPIDL) throw EReadError("Stream read error");
  RootFolder = root;
  RootFolderCustomPath = ReadWideText(stream, StreamVersion() >= 0 && StreamVersion() < 3);
  Storage->LoadFromStream(stream, version, readVerFromStream);
}

void TVETPersistent::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  LeafNodeList->SaveToStream(stream, version, writeVerToStream);
  Pidls()->SaveToStream(stream, SelectedPIDLsParent);
  SelectedPIDLs->SaveToStream(stream);
  Pidls()->SaveToStream(stream, RootFolderCustomPIDL);
  Pidls()->SaveToStream(stream, TopNodePIDL);
  Pidls()->SaveToStream(stream, FocusedPIDL);
  uint8_t root = static_cast<uint8_t>(RootFolder);
  stream->WriteBuffer(&root, 1);
  WriteWideText(stream, RootFolderCustomPath);
  Storage->SaveToStream(stream, version, writeVerToStream);
}

// ---- Views ------------------------------------------------------------------------------------

void TView::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  TVETPersistent::LoadFromStream(stream, version, readVerFromStream);
  ViewName = ReadWideText(stream, false);
}

void TView::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TVETPersistent::SaveToStream(stream, version, writeVerToStream);
  WriteWideText(stream, ViewName);
}

TViewList::~TViewList() { Clear(); }

void TViewList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) Items(i)->Free();
  TList::Clear();
}

void TViewList::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  Clear();
  TStreamableList::LoadFromStream(stream, version, readVerFromStream);
  int32_t count = ReadCount(stream, 16);
  for (int32_t i = 0; i < count; ++i) {
    TView* view = New<TView>();
    Add(view);
    view->LoadFromStream(stream, version, readVerFromStream);
  }
}

void TViewList::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableList::SaveToStream(stream, version, writeVerToStream);
  WriteInt32(stream, Count());
  for (int i = 0; i < Count(); ++i) Items(i)->SaveToStream(stream, version, writeVerToStream);
}

void TViewManager::Create() {
  TStreamableClass::Create();
  views = New<TViewList>();
}

TViewManager::~TViewManager() { FreeAndNil(views); }

TView* TViewManager::FindView(const std::u16string& viewName) const {
  TView* found = nullptr;
  for (int i = 0; i < views->Count(); ++i)
    if (vws::WideStrICompOS(views->Items(i)->ViewName.c_str(), viewName.c_str()) == 0) found = views->Items(i);
  return found;
}

void TViewManager::StoreView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree) {
  TReleaseLater::TScope scope(later);
  TView* view = FindView(viewName);
  bool fresh = view == nullptr;
  if (fresh) {
    view = New<TView>();
    view->ViewName = viewName;
  }
  try {
    SaveView(view, tree);
  } catch (...) {
    if (fresh) view->Free();
    throw;
  }
  if (fresh) views->Add(view);
}

void TViewManager::SaveView(TView* view, TCustomVirtualExplorerTree* tree) { view->SaveTree(tree, true, true); }

void TViewManager::ShowView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree) {
  TReleaseLater::TScope scope(later);
  if (TView* view = FindView(viewName)) view->RestoreTree(tree, true, false, true);
}

void TViewManager::Clear() {
  if (!later.UnderWay()) return views->Clear();
  for (int i = views->Count() - 1; i >= 0; --i) later.Release(views->Items(i));
  views->TList::Clear();
}

void TViewManager::LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) {
  TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
  Clear();
  views->LoadFromStream(stream, version, readVerFromStream);
}

void TViewManager::SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  views->SaveToStream(stream, version, writeVerToStream);
}
