// Nodes travelling between places: pasting and dropping node streams from a
// data object, optimised moves inside this program, moving and copying nodes
// to another place of this or another tree.
//
// Data from a data object is untrusted: the memory block must hold the byte
// count it declares, and a bad stream raises the tree's error after the
// nodes it had inserted are taken out again.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "core/MemoryStream.h"
#include "tree/NodeBuffer.h"
#include "tree/VirtualTrees.h"

namespace {
// Numbers the children of each listed parent that is still there, once the
// run of new nodes is complete.
struct TReindexScope {
  std::vector<PVirtualNode>& parents;
  ~TReindexScope() {
    parents.erase(std::remove_if(parents.begin(), parents.end(), TVirtualTreeCore::Gone), parents.end());
    TVirtualTreeCore::ReindexChildren(parents);
  }
};

// Lists parent for numbering at the end of the run unless it was listed last.
// A handler may move the node the run is placed after to another parent: the
// rest of the run lands there, numbered from a stale place.
void NumberLater(std::vector<PVirtualNode>& parents, PVirtualNode parent) {
  if (parents.empty() || parents.back() != parent) parents.push_back(parent);
}

// The nodes of asked that a move may still take after their handlers ran:
// none that was freed, none that is or holds target (a node of the same tree,
// or null), none whose ancestor moves with it.
std::vector<PVirtualNode> MovableNodes(const TVirtualTreeCore& tree, const std::vector<PVirtualNode>& asked,
                                       PVirtualNode target) {
  std::vector<PVirtualNode> alive;
  alive.reserve(asked.size());
  // Siblings hold none of each other: the common run needs no lookup.
  bool siblings = true;
  for (PVirtualNode node : asked) {
    if (tree.InDeletion(node) || node == target || (target != nullptr && tree.HasAsParent(target, node))) continue;
    siblings = siblings && (alive.empty() || node->Parent == alive[0]->Parent);
    alive.push_back(node);
  }
  if (siblings) return alive;
  std::unordered_set<PVirtualNode> moving(alive.begin(), alive.end());
  std::vector<PVirtualNode> result;
  for (PVirtualNode node : alive) {
    bool inside = false;
    for (PVirtualNode up = node->Parent; up != nullptr && up->NextSibling != up && !inside; up = up->Parent)
      inside = moving.count(up) > 0;
    if (!inside) result.push_back(node);
  }
  return result;
}

using TCallOutScope = TVirtualTreeCore::TCallOutScope;

// Ends an update bracket on leaving a scope, unless a handler freed the tree
// meanwhile (its call-out scope watch tells).
struct TUpdateScope {
  TVirtualTreeCore& tree;
  const TCallOutScope& watch;
  TUpdateScope(TVirtualTreeCore& tree_, const TCallOutScope& watch_) : tree(tree_), watch(watch_) {
    tree.BeginUpdate();
  }
  ~TUpdateScope() {
    if (!watch.TreeGone()) tree.EndUpdate();
  }
};

// Joins the selections of the nodes read to the tree's selection in one step
// (none when a handler freed the tree meanwhile).
struct TSelectionBatch {
  TVirtualTreeCore& tree;
  const TCallOutScope& watch;
  bool open = true;
  TSelectionBatch(TVirtualTreeCore& tree_, const TCallOutScope& watch_) : tree(tree_), watch(watch_) {
    tree.BeginLoadedSelectionBatch();
  }
  ~TSelectionBatch() { End(); }
  void End() {
    if (open && !watch.TreeGone()) tree.EndLoadedSelectionBatch();
    open = false;
  }
};

// Releases a medium on leaving a scope.
struct TMediumScope {
  STGMEDIUM medium{};
  ~TMediumScope() {
    if (medium.tymed != TYMED_NULL) ReleaseStgMedium(&medium);
  }
};

// Places a run of nodes in order: the first by mode, every later one after
// the one before where mode would otherwise reverse the run.
struct TRunPlacer {
  PVirtualNode target;
  TVTNodeAttachMode mode;
  void Placed(PVirtualNode node) {
    if (mode == amInsertAfter || mode == amAddChildFirst) {
      target = node;
      mode = amInsertAfter;
    }
  }
};

// A root target takes children: before and after it mean first and last child.
TVTNodeAttachMode ModeOnRoot(TVTNodeAttachMode mode) {
  if (mode == amInsertBefore) return amAddChildFirst;
  if (mode == amInsertAfter) return amAddChildLast;
  return mode;
}

// Where nodes go: the tree of target (for null this tree's root, taken with
// amAddChildFirst), the mode a root takes, the target initialised with its
// children. Null when the target tree is read-only.
TBaseVirtualTree* PrepareTarget(TBaseVirtualTree* self, PVirtualNode& target, TVTNodeAttachMode& mode, bool& onRoot) {
  if (target == nullptr) {
    target = self->RootNode();
    mode = amAddChildFirst;
  }
  TBaseVirtualTree* targetTree = TreeOfNode(target);
  if (targetTree->OptionValues().misc.Contains(toReadOnly)) return nullptr;
  onRoot = target == targetTree->RootNode();
  if (onRoot) {
    mode = ModeOnRoot(mode);
    return targetTree;
  }
  // The callers keep the target's tree's records while its handlers run.
  if (!(target->States & vsInitialized)) targetTree->InitNode(target);
  if (TVirtualTreeCore::Gone(target)) return targetTree;
  if ((target->States & vsHasChildren) && target->ChildCount == 0) targetTree->InitChildren(target);
  return targetTree;
}

// The tree target belongs to (this one for null).
TBaseVirtualTree* TargetTreeOf(TBaseVirtualTree* self, PVirtualNode target) {
  return target == nullptr ? self : TreeOfNode(target);
}

// Reads the rest of an IStream (from its position) into memory: what it
// announces and no more, so that an endless stream cannot take all memory.
// Raises the tree's error for a stream that announces no size or more than a
// 32-bit stream holds, gives more than it announced, fails, or does not fit
// in memory.
void CopyIStream(IStream* source, TMemoryStream& target) {
  STATSTG stat{};
  LARGE_INTEGER zero{};
  ULARGE_INTEGER position{};
  if (FAILED(source->Stat(&stat, STATFLAG_NONAME)) || FAILED(source->Seek(zero, STREAM_SEEK_CUR, &position)) ||
      stat.cbSize.QuadPart < position.QuadPart || stat.cbSize.QuadPart - position.QuadPart > INT32_MAX)
    RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  const uint64_t announced = stat.cbSize.QuadPart - position.QuadPart;
  char buffer[65536];
  for (;;) {
    ULONG read = 0;
    HRESULT result = source->Read(buffer, sizeof(buffer), &read);
    if (FAILED(result) || read > sizeof(buffer)) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
    if (read == 0) return;
    if (uint64_t(target.Size()) + read > announced) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
    try {
      target.WriteBuffer(buffer, int32_t(read));
    } catch (const EStreamError&) {
      RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);  // more than memory holds
    }
  }
}

// The node after run in the subtree of top (tree order), null at its end.
PVirtualNode NextInSubtree(PVirtualNode run, PVirtualNode top) {
  if (run->FirstChild != nullptr) return run->FirstChild;
  while (run != top && run->NextSibling == nullptr) run = run->Parent;
  return run == top ? nullptr : run->NextSibling;
}

std::vector<PVirtualNode> ChildrenOf(PVirtualNode node) {
  std::vector<PVirtualNode> result;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) result.push_back(child);
  return result;
}
}  // namespace

bool TBaseVirtualTree::PasteFromClipboard() {
  if (options.misc.Contains(toReadOnly)) return false;
  IDataObject* data = nullptr;
  if (FAILED(OleGetClipboard(&data)) || data == nullptr) RaiseTreeError(SClipboardFailed, hcTFClipboardFailed);
  std::unique_ptr<IDataObject, void (*)(IDataObject*)> dataRef(data, [](IDataObject* d) { d->Release(); });
  TBaseVirtualTree* source = GetTreeFromDataObject(data);
  bool optimized = source != nullptr && source->TreeStates().Contains(tsCutPending);
  // The handlers of the nodes pasted may free this tree.
  TCallOutScope scope(*this);
  bool result = ProcessOLEData(source, data, focusedNode, defaultPasteMode, optimized);
  if (scope.TreeGone()) return result;
  if (source != nullptr && IsLiveTree(source)) {
    if (source == this)
      DoStateChange({}, {tsCutPending});
    else
      source->CancelCutOrCopy();
  }
  return result;
}

bool TBaseVirtualTree::ProcessOLEData(TBaseVirtualTree* source, IDataObject* dataObject, PVirtualNode targetNode,
                                      TVTNodeAttachMode mode, bool optimized) {
  if (dataObject == nullptr || options.misc.Contains(toReadOnly) || CF_VIRTUALTREE == 0) return false;
  // Nodes placed nowhere would belong to no tree.
  if (mode == amNoWhere) return false;
  FORMATETC format{CF_VIRTUALTREE, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM};
  if (dataObject->QueryGetData(&format) != S_OK) return false;
  PVirtualNode target = targetNode != nullptr ? targetNode : root;
  // A place that is going (or whose children are going) takes nothing.
  if (InDeletion(target)) return false;
  // Every handler from here on (rendering the data, reading the nodes) may
  // free any node, the place of the run included.
  TCallOutScope scope(*this);
  TUpdateScope update(*this, scope);
  if (target == root) mode = ModeOnRoot(mode);

  if (optimized && IsLiveTree(source)) {
    // A move in this program: the source's own nodes change places.
    bool dragging = source->TreeStates().Contains(tsOLEDragging);
    std::vector<PVirtualNode> nodes = dragging ? source->DraggedNodes() : source->GetMarkedNodesInOrder(true);
    // Nothing moved is deleted again by the source when its drag ends.
    source->dragSelection.clear();
    source->dragNodesFreed.clear();
    // A node that holds the target stays, and so does one whose ancestor moves with it.
    source->MoveNodes(nodes, target, mode);
    return !scope.TreeGone();
  }

  TMediumScope medium;
  if (FAILED(dataObject->GetData(&format, &medium.medium))) return false;
  TMemoryStream copied;
  std::unique_ptr<TOLEMemoryStream> block;
  TStream* stream = nullptr;
  HGLOBAL locked = nullptr;
  if (medium.medium.tymed == TYMED_HGLOBAL && medium.medium.hGlobal != nullptr) {
    SIZE_T size = GlobalSize(medium.medium.hGlobal);
    auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.medium.hGlobal));
    if (bytes == nullptr) return false;
    locked = medium.medium.hGlobal;
    uint32_t count = 0;
    if (size >= sizeof(count)) std::memcpy(&count, bytes, sizeof(count));
    if (size < sizeof(count) || count > size - sizeof(count) || count > INT32_MAX) {
      GlobalUnlock(locked);
      RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
    }
    block = std::make_unique<TOLEMemoryStream>(bytes + sizeof(count), int64_t(count));
    stream = block.get();
  } else if (medium.medium.tymed == TYMED_ISTREAM && medium.medium.pstm != nullptr) {
    CopyIStream(medium.medium.pstm, copied);
    copied.SetPosition(0);
    stream = &copied;
  } else {
    return false;
  }

  std::vector<PVirtualNode> inserted;
  TRunPlacer placer{target, mode};
  TSelectionBatch batch(*this, scope);
  // When the place went meanwhile, the stream stays unread.
  if (InDeletion(target)) {
    if (locked != nullptr) GlobalUnlock(locked);
    return false;
  }
  // The siblings after the run are numbered once, when it is complete.
  std::vector<PVirtualNode> parents{mode == amInsertBefore || mode == amInsertAfter ? target->Parent : target};
  TReindexScope reindex{parents};
  try {
    while (stream->Position() < stream->Size() && !InDeletion(placer.target)) {
      PVirtualNode node = AddNodeFromStream(stream, kVTTreeStreamVersion, placer.target, placer.mode);
      if (scope.TreeGone() || node == nullptr) break;
      inserted.push_back(node);
      NumberLater(parents, node->Parent);
      bool copying = !Gone(node) && DoNodeCopying(node, target == root ? nullptr : target);
      if (scope.TreeGone()) break;
      if (!copying || Gone(node)) {
        inserted.pop_back();
        if (!Gone(node)) DeleteNode(node);
        continue;
      }
      placer.Placed(node);
      DoNodeCopied(node);
      if (scope.TreeGone()) break;
      if (!Gone(node)) StructureChange(node, crNodeCopied);
      if (scope.TreeGone()) break;
    }
  } catch (...) {
    // A bad stream inserts nothing.
    batch.End();
    for (auto it = inserted.rbegin(); it != inserted.rend() && !scope.TreeGone(); ++it)
      if (!Gone(*it)) DeleteNode(*it);
    if (locked != nullptr) GlobalUnlock(locked);
    throw;
  }
  if (locked != nullptr) GlobalUnlock(locked);
  return !scope.TreeGone() && !inserted.empty();
}

void TBaseVirtualTree::ProcessDrop(IDataObject* dataObject, PVirtualNode targetNode, int& effect,
                                   TVTNodeAttachMode mode) {
  TBaseVirtualTree* source = GetTreeFromDataObject(dataObject);
  bool move = (effect & ~int(DROPEFFECT_SCROLL)) == DROPEFFECT_MOVE && source != nullptr;
  ProcessOLEData(source, dataObject, targetNode, mode, move);
  // An optimised move is done (or nothing moved): the source must not delete anything.
  if (!move) return;
  effect = DROPEFFECT_NONE;
  source->dragSelection.clear();
}

size_t TBaseVirtualTree::TransferNodes(std::vector<PVirtualNode>& nodes, PVirtualNode target,
                                       TVTNodeAttachMode mode, const std::function<bool(PVirtualNode)>& onNew) {
  TBaseVirtualTree* targetTree = TreeOfNode(target);
  // Every handler on the way (initialising, saving, reading, the new nodes'
  // events) may free any node of either tree.
  TCallOutScope scope(*this), targetScope(*targetTree);
  // Children are written only below initialised nodes: a node whose children
  // exist is initialised first, so that none of them is lost on the way. A
  // handler that frees a node meanwhile sends the walk back to the start.
  for (bool again = true; again;) {
    again = false;
    uint64_t freed = FreedCount();
    for (size_t i = 0; i < nodes.size() && !again; ++i) {
      if (Gone(nodes[i])) continue;
      for (PVirtualNode run = nodes[i]; run != nullptr && !again; run = NextInSubtree(run, nodes[i])) {
        if (run->FirstChild != nullptr && !(run->States & vsInitialized)) InitNode(run);
        if (scope.TreeGone()) return 0;
        again = FreedCount() != freed;
      }
    }
  }
  // One block for the whole run, written and read without a virtual call per field.
  TNodeBuffer stream;
  // Room for a node without children and with a little user data each.
  stream.Reserve(int64_t(nodes.size()) * 48);
  std::vector<PVirtualNode> written;
  written.reserve(nodes.size());
  for (PVirtualNode node : nodes) {
    if (Gone(node)) continue;
    WriteNode(&stream, node);
    if (scope.TreeGone()) return 0;
    written.push_back(node);
  }
  nodes.swap(written);
  // A handler may have freed the target (or its whole tree) meanwhile, or
  // sent it into a deletion.
  if (targetScope.TreeGone() || targetTree->InDeletion(target)) return 0;
  stream.SetPosition(0);
  TUpdateScope update(*targetTree, targetScope);
  TSelectionBatch batch(*targetTree, targetScope);
  TRunPlacer placer{target, mode};
  // The siblings after the run are numbered once, when it is complete; a run
  // added last has none after it.
  const PVirtualNode runParent = mode == amInsertBefore || mode == amInsertAfter ? target->Parent : target;
  std::vector<PVirtualNode> parents;
  if (mode != amAddChildLast) parents.push_back(runParent);
  TReindexScope reindex{parents};
  std::vector<PVirtualNode> placed;
  placed.reserve(nodes.size());
  size_t read = 0;
  try {
    // The handlers of the new nodes may free any node, the place of the run
    // included, or send it into a deletion: then the rest stays unread. When
    // they free the target's whole tree, nothing arrived: the source keeps
    // every node.
    while (stream.Position() < stream.Size() && !targetTree->InDeletion(placer.target)) {
      PVirtualNode node = targetTree->AddNodeFromStream(&stream, kVTTreeStreamVersion, placer.target, placer.mode);
      if (targetScope.TreeGone()) return 0;
      // Null: the place went while the node was read; it did not arrive.
      if (node == nullptr) break;
      placed.push_back(node);
      if (node->Parent != runParent) NumberLater(parents, node->Parent);
      ++read;
      if (!Gone(node) && onNew(node) && !Gone(node)) placer.Placed(node);
      if (targetScope.TreeGone()) return 0;
    }
  } catch (...) {
    // The target is left as it was: what was read goes again, last first.
    batch.End();
    for (auto it = placed.rbegin(); it != placed.rend() && !targetScope.TreeGone(); ++it)
      if (!Gone(*it)) targetTree->DeleteNode(*it);
    throw;
  }
  return read;
}

void TBaseVirtualTree::DeleteArrived(const std::vector<PVirtualNode>& nodes) {
  // The selected ones among them and below them leave the selection together.
  std::vector<PVirtualNode> selected;
  for (PVirtualNode top : nodes) {
    if (Leaving(top)) continue;
    for (PVirtualNode run = top; run != nullptr; run = NextInSubtree(run, top))
      if (run->States & vsSelected) selected.push_back(run);
  }
  InternalRemoveFromSelection(selected);
  // All the children of one parent (the run of a cut folder) go in one pass.
  PVirtualNode parent = nodes.empty() || Leaving(nodes[0]) ? nullptr : nodes[0]->Parent;
  if (parent != nullptr && !Leaving(parent) && parent->ChildCount == nodes.size() &&
      std::all_of(nodes.begin(), nodes.end(), [parent](PVirtualNode node) { return !Leaving(node) && node->Parent == parent; })) {
    DeleteChildren(parent, /*resetHasChildren=*/true);
    return;
  }
  std::vector<PVirtualNode> parents;
  TCallOutScope scope(*this);
  for (PVirtualNode node : nodes) {
    if (scope.TreeGone()) return;
    if (Leaving(node)) continue;
    parents.push_back(node->Parent);
    DeleteNode(node, /*reindex=*/false);
  }
  if (scope.TreeGone()) return;
  // A parent listed may have gone with its child's handlers meanwhile.
  parents.erase(std::remove_if(parents.begin(), parents.end(), [&](PVirtualNode p) { return p != root && Gone(p); }),
                parents.end());
  ReindexChildren(parents);
}

void TBaseVirtualTree::MoveNodes(const std::vector<PVirtualNode>& nodes, PVirtualNode target,
                                 TVTNodeAttachMode mode) {
  if (options.misc.Contains(toReadOnly)) return;
  bool onRoot = false;
  // The target's preparation may run handlers of its tree: they may free it.
  TCallOutScope scope(*this), targetScope(*TargetTreeOf(this, target));
  TBaseVirtualTree* targetTree = PrepareTarget(this, target, mode, onRoot);
  if (scope.TreeGone() || targetScope.TreeGone()) return;
  if (targetTree == nullptr || (!onRoot && targetTree->InDeletion(target))) return;
  PVirtualNode sameTreeTarget = targetTree == this ? target : nullptr;
  std::vector<PVirtualNode> asked;
  asked.reserve(nodes.size());
  for (PVirtualNode node : MovableNodes(*this, nodes, sameTreeTarget)) {
    if (scope.TreeGone() || targetScope.TreeGone()) return;
    if (Gone(node)) continue;
    if (DoNodeMoving(node, onRoot ? nullptr : target)) asked.push_back(node);
  }
  // The handlers may have freed or moved any of them, or the target, or
  // either whole tree.
  if (scope.TreeGone() || targetScope.TreeGone() || targetTree->InDeletion(target)) return;
  std::vector<PVirtualNode> allowed = MovableNodes(*this, asked, sameTreeTarget);
  if (allowed.empty()) return;
  TUpdateScope update(*this, scope);
  // Siblings are numbered once per old parent, not once per node taken away.
  std::vector<PVirtualNode> parents;
  if (targetTree == this) {
    // The update's and the states' handlers may free or move any node, the target or the tree.
    EnterRelinkStates(allowed);
    if (scope.TreeGone() || (!onRoot && InDeletion(target))) return;
    allowed = MovableNodes(*this, allowed, target);
    for (PVirtualNode node : allowed) {
      parents.push_back(node->Parent);
      InternalDisconnectNode(node, /*keepFocus=*/true, /*reindex=*/false);
    }
    parents.push_back(mode == amInsertBefore || mode == amInsertAfter ? target->Parent : target);
    TRunPlacer placer{target, mode};
    for (PVirtualNode node : allowed) {
      InternalConnectNode(node, placer.target, this, placer.mode, /*reindex=*/false);
      placer.Placed(node);
    }
    ReindexChildren(parents);
    for (PVirtualNode node : allowed) {
      if (scope.TreeGone()) return;
      if (Gone(node)) continue;
      DoNodeMoved(node);
      if (!scope.TreeGone() && !Gone(node)) StructureChange(node, crNodeMoved);
    }
    return;
  }
  size_t arrived = TransferNodes(allowed, target, mode, [targetTree](PVirtualNode node) {
    targetTree->DoNodeMoved(node);
    return true;
  });
  if (scope.TreeGone()) return;
  // Only what arrived leaves: the rest stays where it was.
  allowed.resize(arrived);
  DeleteArrived(allowed);
  if (scope.TreeGone()) return;
  StructureChange(nullptr, crNodeMoved);
  if (!scope.TreeGone() && !targetScope.TreeGone()) targetTree->Invalidate();
}

void TBaseVirtualTree::EnterRelinkStates(const std::vector<PVirtualNode>& nodes) {
  bool below = std::any_of(nodes.begin(), nodes.end(), [this](PVirtualNode node) { return node->Parent != root; });
  InvalidateCache();
  if (below) DoStateChange({tsUpdateHiddenChildrenNeeded});
}

void TBaseVirtualTree::MoveTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode, bool childrenOnly) {
  VT_ASSERT(source == nullptr || source == root || TreeOfNode(source) == this,
            "The source tree must contain the source node.");
  if (mode == amNoWhere || source == nullptr || source == root || options.misc.Contains(toReadOnly)) return;
  // A node whose deletion is under way stays with it, and a place that is
  // going (or whose children are going) takes nothing.
  if (InDeletion(source)) return;
  if (target != nullptr && TreeOfNode(target)->InDeletion(target)) return;
  bool besideItself = childrenOnly && (mode == amInsertBefore || mode == amInsertAfter);
  if (target == source && !besideItself) return;
  bool onRoot = false;
  // The handlers called from here may free the source or the target.
  TCallOutScope scope(*this), targetScope(*TargetTreeOf(this, target));
  TBaseVirtualTree* targetTree = PrepareTarget(this, target, mode, onRoot);
  if (scope.TreeGone() || targetScope.TreeGone()) return;
  if (targetTree == nullptr || InDeletion(source) || (!onRoot && targetTree->InDeletion(target))) return;
  if (!DoNodeMoving(source, onRoot ? nullptr : target)) return;
  if (scope.TreeGone() || targetScope.TreeGone()) return;
  if (InDeletion(source) || targetTree->InDeletion(target)) return;

  std::vector<PVirtualNode> nodes = childrenOnly ? ChildrenOf(source) : std::vector<PVirtualNode>{source};
  bool sourceGone = false;
  if (targetTree == this) {
    auto ontoItself = [&] { return !onRoot && (target == source ? !besideItself : HasAsParent(target, source)); };
    if (ontoItself()) RaiseTreeError(SWrongMoveError, hcTFWrongMoveError);
    TUpdateScope update(*this, scope);
    // The update's and the states' handlers may free or move the source, the
    // target, its parent or the whole tree: all is looked at again.
    EnterRelinkStates(nodes);
    if (scope.TreeGone() || InDeletion(source) || InDeletion(target)) return;
    if (ontoItself()) RaiseTreeError(SWrongMoveError, hcTFWrongMoveError);
    nodes = childrenOnly ? ChildrenOf(source) : std::vector<PVirtualNode>{source};
    // Placed one after the other, the nodes keep their order in every mode.
    if (mode == amAddChildFirst || mode == amInsertAfter) std::reverse(nodes.begin(), nodes.end());
    // Siblings are numbered once per parent when every node is in place.
    std::vector<PVirtualNode> parents{mode == amInsertBefore || mode == amInsertAfter ? target->Parent : target};
    for (PVirtualNode node : nodes) {
      parents.push_back(node->Parent);
      InternalDisconnectNode(node, /*keepFocus=*/true, /*reindex=*/false);
      InternalConnectNode(node, target, this, mode, /*reindex=*/false);
    }
    ReindexChildren(parents);
    for (PVirtualNode node : nodes)
      if (!scope.TreeGone() && !Gone(node)) DoNodeMoved(node);
  } else {
    size_t arrived = TransferNodes(nodes, target, mode, [targetTree](PVirtualNode node) {
      targetTree->DoNodeMoved(node);
      return true;
    });
    if (scope.TreeGone()) return;
    // Only what arrived leaves; what a handler freed meanwhile is gone already.
    TUpdateScope update(*this, scope);
    if (childrenOnly && arrived == nodes.size() && !Gone(source) && source->ChildCount == arrived) {
      DeleteChildren(source, /*resetHasChildren=*/true);
    } else if (childrenOnly) {
      for (size_t i = 0; i < arrived && !scope.TreeGone(); ++i)
        if (!Leaving(nodes[i])) DeleteNode(nodes[i]);
    } else if (arrived == 1 && !Gone(source)) {
      DeleteNode(source);
    }
    sourceGone = !childrenOnly;
  }
  if (scope.TreeGone()) return;
  if (Gone(source)) sourceGone = true;
  InvalidateCache();
  if (updateCount == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
    if (targetTree != this && !targetScope.TreeGone()) targetTree->Invalidate();
  }
  // A node that went to another tree no longer exists here.
  StructureChange(sourceGone ? nullptr : source, crNodeMoved);
}

PVirtualNode TBaseVirtualTree::CopyTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode,
                                      bool childrenOnly) {
  VT_ASSERT(source == nullptr || source == root || TreeOfNode(source) == this,
            "The source tree must contain the source node.");
  if (mode == amNoWhere || source == nullptr || source == root) return nullptr;
  // A place that is going (or whose children are going) takes nothing.
  if (target != nullptr && TreeOfNode(target)->InDeletion(target)) return nullptr;
  bool onRoot = false;
  TCallOutScope scope(*this), targetScope(*TargetTreeOf(this, target));
  TBaseVirtualTree* targetTree = PrepareTarget(this, target, mode, onRoot);
  if (scope.TreeGone() || targetScope.TreeGone()) return nullptr;
  if (targetTree == nullptr || Gone(source) || (!onRoot && targetTree->InDeletion(target))) return nullptr;
  std::vector<PVirtualNode> nodes = childrenOnly ? ChildrenOf(source) : std::vector<PVirtualNode>{source};
  PVirtualNode last = nullptr;
  PVirtualNode reported = onRoot ? nullptr : target;
  // The copy is written completely before it is read, so a node may be copied into its own subtree.
  TransferNodes(nodes, target, mode, [&](PVirtualNode node) {
    bool allowed = targetTree->DoNodeCopying(node, reported);
    if (targetScope.TreeGone() || Gone(node)) return false;
    if (!allowed) {
      targetTree->DeleteNode(node);
      return false;
    }
    last = node;
    targetTree->DoNodeCopied(node);
    return !Gone(node);
  });
  if (targetScope.TreeGone()) return nullptr;
  if (Gone(last)) last = nullptr;
  targetTree->InvalidateCache();
  if (targetTree->UpdateCount() == 0) {
    targetTree->ValidateCache();
    targetTree->UpdateScrollBars(true);
    targetTree->Invalidate();
  }
  targetTree->StructureChange(last, crNodeCopied);
  return last;
}
