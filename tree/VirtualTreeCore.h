#pragma once
// TVirtualTreeCore: everything of the virtual tree that needs no window: the
// node records and their structure, totals and heights, navigation, lazy
// initialisation, check states with tri-state propagation, update brackets,
// the position cache and GetNodeAt, the node events, node streams, sorting and
// the selection array. TBaseVirtualTree (VirtualTrees.h) adds the window and
// overrides the protected hooks marked "window hook", whose defaults do nothing.
//
// Invariants kept by every public operation (outside update brackets where the
// cache is concerned): TotalCount = 1 + the children's; TotalHeight = own
// height + the visible children's TotalHeight when expanded (the root counts
// its own height as 0 there); children are chained in Index order and
// ChildCount equals the chain length once children exist; the visible count
// is the number of nodes whose whole ancestor chain is expanded and visible.
//
// Node pointers handed out stay valid until the node is deleted (DeleteNode,
// DeleteChildren, Clear, a shrinking child count, a reset) or the tree goes.
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "core/Events.h"
#include "core/Object.h"
#include "tree/TreeError.h"
#include "tree/TreeOptionSets.h"
#include "tree/VirtualNode.h"

class TBaseVirtualTree;
class TCanvas;
class TStream;
class TVirtualTreeCore;

// The tree's in-place editor. The three Boolean operations and PrepareEdit
// answer whether they succeeded.
class IVTEditLink {
public:
  virtual ~IVTEditLink() = default;
  virtual bool BeginEdit() = 0;
  virtual bool CancelEdit() = 0;
  virtual bool EndEdit() = 0;
  virtual void GetBounds(int& left, int& top, int& right, int& bottom) = 0;
  virtual bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) = 0;
  // Passes a window message (number and parameters) on to the editor.
  virtual void ProcessMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) = 0;
  virtual void SetBounds(int left, int top, int right, int bottom) = 0;
};
using TEditLinkPtr = std::shared_ptr<IVTEditLink>;

// A handler property of the tree: only the tree's firer calls it (Fire).
template <class E>
using TTreeEvent = TDoorEvent<typename E::Signature, TVirtualTreeCore>;

// Events of the node model. Sender is the tree (null for a core without window).
using TVTInitNodeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode parentNode, PVirtualNode node,
                                     TVirtualNodeInitStates& initialStates)>;
using TVTInitChildrenEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, uint32_t& childCount)>;
using TVTFreeNodeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node)>;
using TVTChangeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node)>;
using TVTChangingEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, bool& allowed)>;
using TVTCheckChangingEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TCheckState& newState, bool& allowed)>;
using TVTCompareEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node1, PVirtualNode node2,
                                    TColumnIndex column, int& result)>;
using TVTGetNodeDataSizeEvent = TEvent<void(TBaseVirtualTree* sender, int& nodeDataSize)>;
using TVTMeasureItemEvent =
    TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node, int& nodeHeight)>;
using TVTSaveNodeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TStream* stream)>;
using TVTNodeCopiedEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node)>;
using TVTNodeCopyingEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, PVirtualNode target, bool& allowed)>;
using TVTNodeMovedEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node)>;
using TVTNodeMovingEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, PVirtualNode target, bool& allowed)>;
using TVTStateChangeEvent =
    TEvent<void(TBaseVirtualTree* sender, TVirtualTreeStates enter, TVirtualTreeStates leave)>;
using TVTStructureChangeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TChangeReason reason)>;
using TVTUpdatingEvent = TEvent<void(TBaseVirtualTree* sender, TVTUpdateState state)>;
using TVTFocusChangeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column)>;
using TVTFocusChangingEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                TColumnIndex newColumn, bool& allowed)>;
using TVTHotNodeChangeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode oldNode, PVirtualNode newNode)>;
using TVTIncrementalSearchEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, const std::u16string& searchText, int& result)>;
using TVTGetCellIsEmptyEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& isEmpty)>;
using TVTDragAllowedEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& allowed)>;
using TVTEditChangingEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& allowed)>;
using TVTEditChangeEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column)>;
using TVTEditCancelEvent = TEvent<void(TBaseVirtualTree* sender, TColumnIndex column)>;
using TVTCreateEditorEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TEditLinkPtr& editLink)>;
using TVTScrollEvent = TEvent<void(TBaseVirtualTree* sender, int deltaX, int deltaY)>;

// One position-cache entry: a visible node and its top in tree coordinates.
struct TCacheEntry {
  PVirtualNode Node;
  uint32_t AbsoluteTop;
};

// One entry per kCacheSpacing visible nodes; no cache for that many or fewer.
constexpr uint32_t kCacheSpacing = 2000;
// Stream header version written; versions 1 and 2 are read.
constexpr uint16_t kVTTreeStreamVersion = 2;
// Node states a stream stores: the lasting ones, never the transient ones.
constexpr uint16_t kStoredNodeStates = 0x15E9;
// Nesting depth of node chunks a stream may hold (deeper streams are refused).
constexpr int kMaxStreamDepth = 1000;

class TVirtualTreeCore {
public:
  TVirtualTreeCore() = default;
  TVirtualTreeCore(const TVirtualTreeCore&) = delete;
  TVirtualTreeCore& operator=(const TVirtualTreeCore&) = delete;
  // Frees every node (with OnFreeNode for initialised ones) and the root.
  virtual ~TVirtualTreeCore();

  // Makes the hidden root when none exists (the window class calls it from
  // AfterConstruction, so that descendants can reserve internal data first).
  void CreateRootNode();
  PVirtualNode RootNode() const { return root; }

  // ---- Structure ------------------------------------------------------------
  // Appends a child to parent (the root for null); null on a read-only tree.
  // With userData the pointer is kept in the first 4 bytes of the node data;
  // raises EVirtualTreeError (2008) before linking when NodeDataSize is below 4.
  PVirtualNode AddChild(PVirtualNode parent, void* userData = nullptr);
  // Children of node (of the root for null).
  uint32_t GetChildCount(PVirtualNode node) const;
  // Grows (uninitialised nodes) or shrinks the children of node (root for null).
  void SetChildCount(PVirtualNode node, uint32_t newCount);
  // While the tree is loaded from a form the count is only remembered
  // (tsNeedRootCountUpdate) until ApplyPendingRootCount.
  uint32_t GetRootNodeCount() const;
  void SetRootNodeCount(uint32_t value);
  void ApplyPendingRootCount();
  // Deletes node and its subtree; nothing for null, the root or a read-only tree.
  void DeleteNode(PVirtualNode node, bool reindex = true);
  // Deletes the children of node (root for null).
  void DeleteChildren(PVirtualNode node, bool resetHasChildren = false);
  // Deletes every node and forgets every remembered node.
  virtual void Clear();
  // Deletes the selected nodes (the descendants of selected nodes with them).
  virtual void DeleteSelectedNodes();
  // Adds (and may later get children) or removes vsHasChildren (deleting children).
  void SetHasChildren(PVirtualNode node, bool value);
  bool GetHasChildren(PVirtualNode node) const { return node && (node->States & vsHasChildren); }

  bool GetExpanded(PVirtualNode node) const { return node && (node->States & vsExpanded); }
  // Expands or collapses node (nothing for null or the root).
  void SetExpanded(PVirtualNode node, bool value);
  // Expands a collapsed node, collapses an expanded one; asserts on null.
  void ToggleNode(PVirtualNode node);
  // Expands node and everything below it (the whole tree for null).
  virtual void FullExpand(PVirtualNode node = nullptr);
  // Collapses node and everything below it (the whole tree for null).
  virtual void FullCollapse(PVirtualNode node = nullptr);

  // Height of node: 0 for null and the root; measured first with toVariableNodeHeight.
  uint32_t GetNodeHeight(PVirtualNode node);
  void SetNodeHeight(PVirtualNode node, uint32_t value);
  // Asks OnMeasureItem once per node and applies a changed height.
  void MeasureNodeHeight(TCanvas* canvas, PVirtualNode node);

  // Shows or hides node (hidden nodes take no room and are skipped by visible navigation).
  bool IsVisible(PVirtualNode node) const { return node && (node->States & vsVisible); }
  void SetIsVisible(PVirtualNode node, bool value);
  // Initialises node (root for null) and tests vsVisible.
  bool GetNodeVisible(PVirtualNode node);
  bool GetDisabled(PVirtualNode node) const { return node && (node->States & vsDisabled); }
  void SetDisabled(PVirtualNode node, bool value);
  bool GetSelected(PVirtualNode node) const { return node && (node->States & vsSelected); }
  void SetSelected(PVirtualNode node, bool value);
  bool GetMultiline(PVirtualNode node) const { return node && (node->States & vsMultiline); }
  void SetMultiline(PVirtualNode node, bool value);

  // User data of node: null for null and the root; asserts when NodeDataSize < 1.
  void* GetNodeData(PVirtualNode node) const;
  // Levels below the top level (0 for null, the root and top-level nodes).
  uint32_t GetNodeLevel(PVirtualNode node) const;
  bool HasAsParent(PVirtualNode node, PVirtualNode potentialParent) const;
  // False only for a node with vsHasChildren whose children are not made yet.
  bool GetChildrenInitialized(PVirtualNode node) const;
  // Node visible and every ancestor expanded and visible (asserts on null).
  bool IsFullyVisible(PVirtualNode node) const;
  bool AncestorsShown(PVirtualNode node) const;
  // The nearest expanded ancestor of node that is fully visible; the root
  // when there is none.
  PVirtualNode GetShownAncestor(PVirtualNode node) const;

  // ---- Navigation (Init variants initialise what they hand out) -------------
  PVirtualNode GetFirst();
  PVirtualNode GetFirstNoInit() const;
  PVirtualNode GetFirstChild(PVirtualNode node);
  PVirtualNode GetLastChild(PVirtualNode node);
  PVirtualNode GetLastChildNoInit(PVirtualNode node) const;
  PVirtualNode GetNext(PVirtualNode node);
  PVirtualNode GetNextNoInit(PVirtualNode node) const;
  PVirtualNode GetPrevious(PVirtualNode node);
  PVirtualNode GetPreviousNoInit(PVirtualNode node) const;
  PVirtualNode GetNextSibling(PVirtualNode node);
  PVirtualNode GetPreviousSibling(PVirtualNode node);
  PVirtualNode GetLast(PVirtualNode node = nullptr);
  PVirtualNode GetLastNoInit(PVirtualNode node = nullptr) const;
  PVirtualNode GetFirstVisible();
  PVirtualNode GetFirstVisibleNoInit() const;
  PVirtualNode GetFirstVisibleChild(PVirtualNode node);
  PVirtualNode GetNextVisible(PVirtualNode node);
  PVirtualNode GetNextVisibleNoInit(PVirtualNode node) const;
  PVirtualNode GetPreviousVisible(PVirtualNode node);
  PVirtualNode GetPreviousVisibleNoInit(PVirtualNode node) const;
  PVirtualNode GetNextVisibleSibling(PVirtualNode node);
  PVirtualNode GetPreviousVisibleSibling(PVirtualNode node);
  PVirtualNode GetPreviousVisibleSiblingNoInit(PVirtualNode node) const;
  PVirtualNode GetLastVisibleChild(PVirtualNode node);
  PVirtualNode GetLastVisibleChildNoInit(PVirtualNode node) const;
  PVirtualNode GetLastVisible(PVirtualNode node = nullptr);
  PVirtualNode GetLastVisibleNoInit(PVirtualNode node = nullptr) const;
  PVirtualNode GetFirstInitialized() const;
  PVirtualNode GetNextInitialized(PVirtualNode node) const;
  PVirtualNode GetFirstSelected();
  PVirtualNode GetNextSelected(PVirtualNode node);
  PVirtualNode GetFirstMarked() const;
  PVirtualNode GetNextMarked(PVirtualNode node) const;
  // Selected (marked) nodes in tree order; with resolve, descendants of a listed node are left out.
  std::vector<PVirtualNode> GetSelectionInOrder(bool resolve);
  std::vector<PVirtualNode> GetMarkedNodesInOrder(bool resolve) const;

  // ---- Checks ---------------------------------------------------------------
  TCheckState GetCheckState(PVirtualNode node) const { return node ? node->CheckState : csUncheckedNormal; }
  // Asks OnChecking, applies the state with tri-state propagation, reports OnChecked.
  void SetCheckState(PVirtualNode node, TCheckState value);
  TCheckType GetCheckType(PVirtualNode node) const { return node ? node->CheckType : ctNone; }
  void SetCheckType(PVirtualNode node, TCheckType value);

  // ---- Update brackets and the position cache --------------------------------
  void BeginUpdate();
  void EndUpdate();
  uint32_t UpdateCount() const { return updateCount; }
  // Marks the cache stale and stops its use at once.
  void InvalidateCache();
  // Schedules a rebuild of the cache (ScheduleCacheValidation).
  virtual void ValidateCache();
  // Stops any validation of this tree before the structure changes.
  void StopCacheValidation();
  // Builds a stale or half-built cache at once (outside updates and cache
  // steps), so that a position asked for is found by a binary search.
  void CompleteCacheValidation();
  // Node at a position (client coordinates with relative, else tree
  // coordinates); null below the last node. nodeTop gets its top.
  PVirtualNode GetNodeAt(int x, int y, bool relative, int& nodeTop);
  PVirtualNode GetNodeAt(int x, int y);
  // Node at position (tree coordinates, negative counts as 0); null below
  // the last node. nodeTop gets its top in tree coordinates.
  PVirtualNode GetNodeAtPosition(int64_t position, int64_t& nodeTop);
  // Top of node in tree coordinates (node must be fully visible); from the
  // cache entry before it when the cache is in use.
  uint32_t GetNodeTop(PVirtualNode node) const;
  const std::vector<TCacheEntry>& PositionCache() const { return positionCache; }
  // Visible nodes per cache entry (kCacheSpacing; tests use small values to
  // exercise the cache on small trees). Values below 1 are taken as 1.
  uint32_t CacheSpacing() const { return cacheSpacing; }
  void SetCacheSpacing(uint32_t value);

  // ---- Sorting and re-initialisation ----------------------------------------
  virtual void Sort(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit = true);
  virtual void SortTree(TColumnIndex column, TSortDirection direction, bool doInit = true);
  virtual void ReinitNode(PVirtualNode node, bool recursive);
  // Asks existing children again (InitChildren, then ReinitNode of each); makes none.
  virtual void ReinitChildren(PVirtualNode node, bool recursive);
  // Frees node's children and makes it uninitialised (everything for null);
  // nothing on a read-only tree.
  virtual void ResetNode(PVirtualNode node);

  // ---- Streams --------------------------------------------------------------
  // Writes the header and the whole tree (or node with its subtree). Nodes
  // nested deeper than kMaxStreamDepth raise EVirtualTreeError, before
  // anything is written when they exist already.
  void SaveToStream(TStream* stream, PVirtualNode node = nullptr);
  // Replaces the content with the stream's nodes; raises EVirtualTreeError on
  // bad data, and the tree then is as it was.
  void LoadFromStream(TStream* stream);

  // ---- Selection and focus --------------------------------------------------
  uint32_t SelectedCount() const { return selectionCount; }
  // Deselects everything (repaints the selected rows on screen, reports Change(nil)).
  void ClearSelection();
  // Adds node to the selection (alone unless toMultiSelect); asserts on null.
  // Refused for a selected or disabled node and by the level and sibling constraints.
  void AddToSelection(PVirtualNode node);
  // Adds nodes in one step; with forceInsert without the checks, never twice.
  void AddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert);
  // As AddToSelection (node) for each of nodes in turn (null entries and
  // nodes freed on the way skipped). Inside an update, where each change is
  // only noted, the selection grows in one step instead of one search and
  // merge of it a node.
  void AddToSelectionInTurn(const std::vector<PVirtualNode>& nodes);
  // Deselects node (asserts on null); an empty selection resets the range anchor.
  void RemoveFromSelection(PVirtualNode node);
  // Selects every node (visibleOnly: every shown node); only with toMultiSelect.
  void SelectAll(bool visibleOnly);
  // Selects unselected and deselects selected nodes; only with toMultiSelect.
  void InvertSelection(bool visibleOnly);
  // Selects the shown nodes from startNode (null: the first node) to endNode;
  // without addOnly the rest is deselected first. Asserts on a null endNode.
  void SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly);
  // Flips the selection of the shown nodes between the two ends (keyboard ranges).
  void ToggleSelection(PVirtualNode startNode, PVirtualNode endNode);
  // Deselects the shown nodes between the two ends.
  void UnselectNodes(PVirtualNode startNode, PVirtualNode endNode);
  // Negative when node1 comes first in tree order, 0 for the same node; asserts on null.
  int CompareNodeOrder(PVirtualNode node1, PVirtualNode node2) const;
  // Binary search of the selection array between the bounds (negative: the
  // ends); index gets the position found or the insertion position.
  bool FindNodeInSelection(PVirtualNode node, int& index, int lowBound, int highBound) const;
  PVirtualNode RangeAnchor() const { return rangeAnchor; }
  PVirtualNode FocusedNode() const { return focusedNode; }
  void SetFocusedNode(PVirtualNode node);
  TColumnIndex FocusedColumn() const { return focusedColumn; }
  PVirtualNode HotNode() const { return hotNode; }
  void SetHotNode(PVirtualNode node);

  // ---- Properties -----------------------------------------------------------
  uint32_t DefaultNodeHeight() const { return defaultNodeHeight; }
  virtual void SetDefaultNodeHeight(uint32_t value);
  int NodeDataSize() const { return nodeDataSize; }
  void SetNodeDataSize(int value);
  uint32_t VisibleCount() const { return visibleCount; }
  uint32_t TotalInternalDataSize() const { return totalInternalDataSize; }
  TVirtualTreeStates TreeStates() const { return states; }
  const TTreeOptionValues& OptionValues() const { return options; }
  // The option sets as the tree's logic reads them (the options object writes here).
  TTreeOptionValues& MutableOptionValues() { return options; }
  int OffsetX() const { return offsetX; }
  // Tree coordinates reach 2^32 - 1: the vertical offset needs 64 bits.
  int64_t OffsetY() const { return offsetY; }
  uint32_t ChangeDelay() const { return changeDelay; }
  void SetChangeDelay(uint32_t value) { changeDelay = value; }

  // ---- Events ---------------------------------------------------------------
  // Assigned and tested from anywhere; called only through Fire.
  TTreeEvent<TVTInitNodeEvent> OnInitNode;
  TTreeEvent<TVTInitChildrenEvent> OnInitChildren;
  TTreeEvent<TVTFreeNodeEvent> OnFreeNode;
  TTreeEvent<TVTChangeEvent> OnChecked;
  TTreeEvent<TVTCheckChangingEvent> OnChecking;
  TTreeEvent<TVTChangeEvent> OnCollapsed;
  TTreeEvent<TVTChangingEvent> OnCollapsing;
  TTreeEvent<TVTChangeEvent> OnExpanded;
  TTreeEvent<TVTChangingEvent> OnExpanding;
  TTreeEvent<TVTChangeEvent> OnChange;
  TTreeEvent<TVTChangeEvent> OnResetNode;
  TTreeEvent<TVTCompareEvent> OnCompareNodes;
  TTreeEvent<TVTGetNodeDataSizeEvent> OnGetNodeDataSize;
  TTreeEvent<TVTMeasureItemEvent> OnMeasureItem;
  TTreeEvent<TVTSaveNodeEvent> OnSaveNode;
  TTreeEvent<TVTSaveNodeEvent> OnLoadNode;
  TTreeEvent<TVTNodeCopiedEvent> OnNodeCopied;
  TTreeEvent<TVTNodeCopyingEvent> OnNodeCopying;
  TTreeEvent<TVTNodeMovedEvent> OnNodeMoved;
  TTreeEvent<TVTNodeMovingEvent> OnNodeMoving;
  TTreeEvent<TVTStateChangeEvent> OnStateChange;
  TTreeEvent<TVTStructureChangeEvent> OnStructureChange;
  TTreeEvent<TVTUpdatingEvent> OnUpdating;
  TTreeEvent<TVTFocusChangeEvent> OnFocusChanged;
  TTreeEvent<TVTFocusChangingEvent> OnFocusChanging;
  TTreeEvent<TVTHotNodeChangeEvent> OnHotChange;
  TTreeEvent<TVTIncrementalSearchEvent> OnIncrementalSearch;
  TTreeEvent<TVTGetCellIsEmptyEvent> OnGetCellIsEmpty;
  TTreeEvent<TVTDragAllowedEvent> OnDragAllowed;
  TTreeEvent<TVTEditChangingEvent> OnEditing;
  TTreeEvent<TVTEditChangeEvent> OnEdited;
  TTreeEvent<TVTEditCancelEvent> OnEditCancelled;
  TTreeEvent<TVTCreateEditorEvent> OnCreateEditor;
  TTreeEvent<TVTScrollEvent> OnScroll;

  // ---- Event-firing operations (one per event; results without a handler in brackets) ----
  virtual bool DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column);  // [true]
  virtual bool DoDragAllowed(PVirtualNode node, TColumnIndex column);     // [false]
  virtual void DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed);
  virtual void DoChange(PVirtualNode node);
  virtual void DoCheckClick(PVirtualNode node, TCheckState newCheckState);
  virtual void DoChecked(PVirtualNode node);
  virtual bool DoChecking(PVirtualNode node, TCheckState& newCheckState);  // [false when read-only, else true]
  virtual void DoCollapsed(PVirtualNode node);
  virtual bool DoCollapsing(PVirtualNode node);  // [true]
  virtual int DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column);  // [0]
  virtual TEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column);  // [null]
  virtual void DoExpanded(PVirtualNode node);
  virtual bool DoExpanding(PVirtualNode node);  // [true]
  virtual void DoFocusChanged(PVirtualNode node, TColumnIndex column);
  virtual bool DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                               TColumnIndex newColumn);  // [true]
  virtual void DoFreeNode(PVirtualNode node);
  virtual void DoHotChange(PVirtualNode oldNode, PVirtualNode newNode);
  virtual int DoIncrementalSearch(PVirtualNode node, const std::u16string& text);  // [0]
  virtual void DoInitChildren(PVirtualNode node, uint32_t& childCount);
  virtual void DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates);
  virtual void DoLoadNode(PVirtualNode node, TStream* stream);
  virtual void DoMeasureItem(TCanvas* targetCanvas, PVirtualNode node, int& nodeHeight);
  virtual void DoNodeCopied(PVirtualNode node);
  virtual bool DoNodeCopying(PVirtualNode node, PVirtualNode newParent);  // [true]
  virtual void DoNodeMoved(PVirtualNode node);
  virtual bool DoNodeMoving(PVirtualNode node, PVirtualNode newParent);  // [true]
  virtual void DoResetNode(PVirtualNode node);
  virtual void DoSaveNode(PVirtualNode node, TStream* stream);
  virtual void DoScroll(int deltaX, int deltaY);
  virtual void DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave = {});
  virtual void DoStructureChange(PVirtualNode node, TChangeReason reason);
  virtual void DoUpdating(TVTUpdateState state);
  virtual void DoGetNodeDataSize(int& size);  // [0]
  // Fires OnEdited / OnEditCancelled through the edit link (false when not editing).
  virtual bool DoEndEdit();
  virtual bool DoCancelEdit();
  // Cancels a running or pending edit; true when nothing is being edited any more
  // (also without a window).
  bool CancelEditNode();
  // The node being edited; null when none is, or when it was deleted meanwhile.
  PVirtualNode EditedNode() const { return editNode; }

  // ---- Nodes and trees freed while an operation calls out --------------------
  // A handler may free the node it is told about, or any other. An operation
  // that calls out to handlers and goes on afterwards opens a scope first:
  // while any scope of the tree is open, a node deleted is unlinked and
  // reported as always, but its record is only marked vsDead and kept; the
  // records go when the outermost scope closes. No address is handed out
  // again meanwhile, so after each call out the operation asks Gone() of the
  // nodes it goes on with.
  // A handler may even free the whole tree: a scope holds the tree object
  // (the window class's), so the tree is torn down at once (its nodes freed
  // with their handlers, window given up) and marked going, but its memory
  // lives until the last scope or hold ends. The scopes then answer
  // TreeGone(), and the operation stops early; one that misses a check works
  // on a going tree, which calls no handler any more, never on freed memory.
  class TCallOutScope {
  public:
    // An operation's scope; door is set for the one a handler's door opens
    // (Fire), which leaves what the handler freed to the code that opened it.
    explicit TCallOutScope(TVirtualTreeCore& tree_, bool door_ = false)
        : tree(&tree_), outer(tree_.innermostScope), holder(tree_.holder), door(door_) {
      ++tree_.callOutDepth;
      tree_.innermostScope = this;
      if (holder != nullptr) holder->Hold();
    }
    ~TCallOutScope() {
      if (tree != nullptr) {
        tree->innermostScope = outer;
        // The dead records go with the last scope, unless the tree is held
        // further out (a message, an operation) or this is a door's scope:
        // then the code around may still ask after a node it had, and they go
        // with the tree's last hold.
        if (--tree->callOutDepth == 0 && !tree->deadRecords.empty() &&
            (holder == nullptr || (!door && holder->HoldCount() == 1)))
          tree->ReleaseDeadRecords();
      } else if (orphans != nullptr) {
        ReleaseOrphans(orphans);
      }
      // Last: a tree freed meanwhile goes with its last hold.
      if (holder == nullptr) return;
      if (door)
        holder->UnholdFromDoor();
      else
        holder->Unhold();
    }
    TCallOutScope(const TCallOutScope&) = delete;
    TCallOutScope& operator=(const TCallOutScope&) = delete;
    // True once a handler freed the tree: the operation returns at once.
    bool TreeGone() const { return tree == nullptr || tree->treeGoing; }
    // True once the tree went, or node (null included) did: what an operation
    // asks after a call out of the node it goes on with.
    bool Lost(PVirtualNode node) const { return TreeGone() || TVirtualTreeCore::Gone(node); }
    // True once a tree without a holder was destroyed outright meanwhile.
    bool Destroyed() const { return tree == nullptr; }
    // After a tree without a holder was destroyed outright: node, a record it
    // no longer held, is kept dead with the others until the outermost scope closes.
    void KeepOrphan(PVirtualNode node);

  private:
    friend class TVirtualTreeCore;
    TVirtualTreeCore* tree;
    TCallOutScope* outer;  // the scope of this tree opened before this one
    TObject* holder;       // the tree object held, null for a core without one
    bool door;
    // The records of a tree destroyed outright while this (outermost) scope
    // was open: dead, so that Gone() answers for them until the operations
    // have returned.
    std::vector<PVirtualNode>* orphans = nullptr;
  };
  // True once the tree was freed: torn down, kept only for the operations
  // still on the stack. It calls no handler any more.
  bool TreeGoing() const { return treeGoing; }
  // True for null and for a node freed while a scope is open; asked only of a
  // node that was alive when the caller's scope was open already.
  static bool Gone(PVirtualNode node) { return node == nullptr || (node->States & vsDead) != 0; }
  // True for a node being deleted (or being emptied by a deletion) or dead: it takes no nodes.
  static bool Leaving(PVirtualNode node) { return (node->States & (vsDeleting | vsClearing | vsDead)) != 0; }
  // True when node is Leaving or lies below a node taken out by a deletion under
  // way: its place, counts and visibility are that deletion's until it ends.
  bool InDeletion(PVirtualNode node) const { return Leaving(node) || (node != root && BelowDeletion(node)); }
  // True when an ancestor of node (not the root) is taken out by a deletion under way.
  bool BelowDeletion(PVirtualNode node) const;
  // How many node records this tree has freed so far (dead ones included).
  uint64_t FreedCount() const { return freedCount; }
  // Scopes of this tree open right now.
  int CallOutDepth() const { return callOutDepth; }
  // True while records freed in a scope are kept dead.
  bool KeepsDeadRecords() const { return !deadRecords.empty(); }

  // ---- Check-state slots ----------------------------------------------------
  // Recomputes the parent's state from node's siblings (node counted as newCheckState).
  virtual bool CheckParentCheckState(PVirtualNode node, TCheckState newCheckState);
  // The state a click on a box of checkType in checkState leads to.
  virtual TCheckState DetermineNextCheckState(TCheckType checkType, TCheckState checkState);

  // ---- Initialisation and connection ----------------------------------------
  void InitNode(PVirtualNode node);
  void InitChildren(PVirtualNode node);
  // Links an unlinked node relative to destination, adjusting target's counts.
  // Without reindex only the node is numbered (after its previous sibling):
  // the later siblings wait for the batch's ReindexChildren.
  void InternalConnectNode(PVirtualNode node, PVirtualNode destination, TVirtualTreeCore* target,
                           TVTNodeAttachMode mode, bool reindex = true);
  // Unlinks node (keeping its subtree) from its parent and siblings.
  void InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex = true);
  // Numbers the children of each parent listed (any number of times) from 0.
  static void ReindexChildren(std::vector<PVirtualNode>& parents);
  uint32_t CountVisibleChildren(PVirtualNode node) const;
  int CountLevelDifference(PVirtualNode node1, PVirtualNode node2) const;
  void DetermineHiddenChildrenFlag(PVirtualNode node);
  // Recomputes the hidden-children flag of every existing node (nothing is initialised).
  void DetermineHiddenChildrenFlagAllNodes();
  // Reserves size bytes (rounded up to 4) of internal data in every node;
  // returns the offset of the area from the node's start.
  uint32_t AllocateInternalDataArea(uint32_t size);
  // Makes a zero-filled, unlinked, uninitialised node record.
  PVirtualNode MakeNewNode();
  // Reads one node chunk into node (root for null), which is linked already;
  // on bad data raises EVirtualTreeError and node is as it was.
  void InternalAddFromStream(TStream* stream, uint16_t version, PVirtualNode node);
  // Reads the next node chunk into a new node and links it at destination by
  // mode (without renumbering the siblings after it). The node is read
  // detached, its parent pointing at its place's parent, and linked once
  // complete; on bad data raises EVirtualTreeError and nothing changed. Null
  // when the handlers sent destination into a deletion meanwhile (the node is
  // freed again). The caller holds an update bracket.
  PVirtualNode AddNodeFromStream(TStream* stream, uint16_t version, PVirtualNode destination, TVTNodeAttachMode mode);
  // Between Begin and End (nested) the selections of streams read are
  // collected and joined to the selection in one step at the last End, so
  // that reading many nodes one by one stays linear.
  void BeginLoadedSelectionBatch() { ++selectionBatch; }
  void EndLoadedSelectionBatch();

protected:
  // Clear when the tree is freed. A stream being read when a load handler
  // frees the tree reads into nodes not linked yet: the tree's own nodes go
  // all the same, and the read stops at its next check.
  void ClearOnFree() {
    const int reading = streamDepth;
    streamDepth = 0;
    // Nodes read so far are told of their freeing now, while handlers still run.
    if (streamRootStandIn != nullptr) FreeStreamChildren(streamRootStandIn, nullptr);
    for (auto it = detachedReads.rbegin(); it != detachedReads.rend(); ++it) {
      FreeStreamChildren(*it, nullptr);
      DoFreeNode(*it);
    }
    detachedReads.clear();
    // A deletion of the top level under way (a clear, a shrink) goes on no
    // more: all that is still linked goes here.
    root->States &= ~vsClearing;
    Clear();
    streamDepth = reading;
  }

  // The tree object's last hold ended: the dead records kept for the code
  // around a scope go, unless a scope is open still.
  void ReleaseDeadRecordsWhenOut() {
    if (callOutDepth == 0 && !deadRecords.empty()) ReleaseDeadRecords();
  }

  // The tree as event sender (set by the window class).
  TBaseVirtualTree* senderTree = nullptr;
  // The object a scope holds (the window class's TObject), null for a bare core.
  TObject* holder = nullptr;
  // Set once the tree's teardown is done (Free from a handler): no handler runs any more.
  bool treeGoing = false;

  // The one door to the tree's handlers: calls handler (when assigned) with
  // the tree held, so that a handler may free the tree, its nodes or both.
  // Nothing once the tree is going. False when the tree is going, before or
  // after the call: the caller then stops at once.
  // A node told about that was freed meanwhile (its OnFreeNode ran) is told
  // about no more: the handler is skipped for it.
  template <class Sig, class... A>
  bool Fire(const TDoorEvent<Sig, TVirtualTreeCore>& handler, A&&... args) {
    if (treeGoing) return false;
    if (!handler || (DeadArgument(args) || ...)) return true;
    TCallOutScope scope(*this, /*door=*/true);
    handler.Handler()(std::forward<A>(args)...);
    return !scope.TreeGone();
  }
  template <class T>
  static bool DeadArgument(const T& arg) {
    if constexpr (std::is_same_v<T, PVirtualNode>)
      return arg != nullptr && (arg->States & vsDead) != 0;
    else
      return false;
  }

  // ---- Window hooks (defaults do nothing) ------------------------------------
  virtual bool HasWindowHandle() const { return false; }
  virtual bool IsTreeLoading() const { return false; }
  virtual bool IsTreeDestroying() const { return false; }
  virtual bool IsTreeDesigning() const { return false; }
  virtual void InvalidateWhole() {}
  virtual void InvalidateNodeArea(PVirtualNode node) {}
  virtual void InvalidateBelowNode(PVirtualNode node) {}
  // Repaint requests between Begin and End (nested) go out as one at the end.
  virtual void BeginInvalidationBatch() {}
  virtual void EndInvalidationBatch() {}
  virtual void UpdateScrollBars(bool doRepaint) {}
  // Sets the scroll bars after one row changed the range; they are drawn
  // with the next paint of the frame.
  virtual void UpdateScrollRange() { UpdateScrollBars(true); }
  virtual void UpdateEditBounds() {}
  virtual bool ScrollIntoView(PVirtualNode node, bool center, bool horizontally) { return false; }
  virtual PVirtualNode GetTopNode() { return nullptr; }
  virtual void SetTopNode(PVirtualNode node) {}
  virtual int TreeClientHeight() const { return 0; }
  // Scrolls the area below node open or closed (toggle animation); default none.
  virtual void AnimateToggle(PVirtualNode node, bool expanding) {}
  virtual void CancelHint() {}
  virtual void EmptyClipboardMark() {}
  virtual TCanvas* MeasureCanvas() { return nullptr; }
  virtual TColumnIndex HeaderSortColumn() const { return NoColumn; }
  virtual TSortDirection HeaderSortDirection() const { return sdAscending; }
  virtual TColumnIndex HeaderMainColumn() const { return NoColumn; }
  virtual void StopTreeTimer(int id) {}
  virtual void UpdateDesigner() {}
  virtual void SetRedraw(bool on) {}
  // Runs the cache rebuild; the default builds it at once.
  virtual void ScheduleCacheValidation();
  // Stops a scheduled or running rebuild.
  virtual void CancelCacheValidation() {}
  // Called after a node's record has been forgotten everywhere, before it is freed.
  virtual void NodeForgotten(PVirtualNode node) {}

  // ---- Change notifications ------------------------------------------------
  // Reports a structure change now, or marks it pending inside an update.
  virtual void StructureChange(PVirtualNode node, TChangeReason reason);
  virtual void Change(PVirtualNode node);

  // ---- Building blocks ------------------------------------------------------
  void PropagateTotalCount(PVirtualNode node, int64_t value, bool relative);
  void PropagateTotalHeight(PVirtualNode node, int64_t value, bool relative);
  // Builds the position cache in steps of at most budget nodes, resuming a
  // rebuild in progress. 0: done without a cache (too few nodes or stopped);
  // 1: done with a cache; 2: more steps to come.
  int ValidateCacheSteps(uint32_t budget);
  // Builds the whole cache (runs where ScheduleCacheValidation runs it).
  virtual bool DoValidateCache();
  void FinishCacheValidation(bool success);
  // Number of leading cache entries whose node is node or comes before it.
  size_t CacheEntriesUpTo(PVirtualNode node) const;
  // Moves the cache entries after a fully visible node whose height changed
  // by difference; false (nothing moved) when the cache is not in use.
  bool ShiftCacheBelow(PVirtualNode node, int64_t difference);
  // Changes a node's check state with all its consequences.
  bool ChangeCheckState(PVirtualNode node, TCheckState value);
  // Runs a check change (kind: change, click or parent step) and everything it
  // propagates, on a stack of its own; the answer of the first step.
  bool RunCheckSteps(int kind, PVirtualNode node, TCheckState value);
  // A nested click or parent step, through its virtual slot.
  void CallCheckSlot(int kind, PVirtualNode node, TCheckState value);
  // One change fewer under way; the last one leaves tsCheckPropagation.
  void LeaveCheckPropagation();
  // The parent's state from node's box siblings, node counted as newCheckState.
  TCheckState ParentStateFromSiblings(PVirtualNode node, TCheckState newCheckState) const;
  // A tri-state node's state from its box children after they were set; value without a verdict.
  TCheckState StateFromChildren(PVirtualNode node, TCheckState value) const;
  // Selection array helpers. Adding answers whether any node was accepted.
  bool InternalAddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert);
  bool InternalAddToSelection(PVirtualNode node, bool forceInsert);
  // Clears vsSelected and marks the entry; callers compact afterwards.
  void InternalRemoveFromSelection(PVirtualNode node);
  // Takes many nodes (each selected) out of the selection, in one pass over
  // the array when they are many beside it.
  void InternalRemoveFromSelection(const std::vector<PVirtualNode>& nodes);
  // Deselects everything without notification and resets the range anchor.
  void InternalClearSelection();
  void CompactSelection();
  // Sets flag on every selected node that carries none of the skip flags, in
  // one pass over the selection array (no walk of the tree). False, with
  // nothing flagged, while loaded selections are batched: those nodes are not
  // in the array yet.
  bool FlagSelectedNodes(TVirtualNodeStates flag, TVirtualNodeStates skip);
  // True when node has an unmarked entry in the selection array.
  bool IsInSelection(PVirtualNode node) const;
  // Repaints the selected nodes before the selection is cleared (window hook).
  virtual void InvalidateSelection() { InvalidateWhole(); }
  virtual bool DoFocusNode(PVirtualNode node, bool ask);
  // A focused column that is no visible column moves to a visible one once
  // something is selected (window hook: only trees with header columns care).
  virtual void AdjustFocusedColumnForSelection() {}
  // Orders the ends of a node range and replaces hidden ends by shown nodes.
  void PrepareRange(PVirtualNode& startNode, PVirtualNode& endNode);
  void ResetRangeAnchor() {
    rangeAnchor = focusedNode;
    lastSelectionLevel = -1;
  }
  void InternalCacheNode(PVirtualNode node);
  void ClearTempCache();
  // Forgets node wherever the tree remembers it (before it is freed).
  void ForgetNode(PVirtualNode node);
  void FreeNodeRecord(PVirtualNode node);
  // Stream parts, overridable by descendants that add chunks.
  void WriteNode(TStream* stream, PVirtualNode node);
  // The sibling written after written among parent's children; null at the
  // end, or when a handler freed or moved either of them meanwhile.
  PVirtualNode NextToWrite(PVirtualNode parent, PVirtualNode written) const;
  virtual void WriteChunks(TStream* stream, PVirtualNode node);
  void FinishChunkHeader(TStream* stream, int64_t startPos, int64_t endPos);
  void ReadNode(TStream* stream, uint16_t version, PVirtualNode node);
  // The stream parts above over a stream type: any stream through its
  // virtual calls, or a node buffer through its inline ones.
  template <class S>
  void WriteNodeTo(S& out, PVirtualNode node);
  template <class S>
  void WriteChunksTo(S& out, PVirtualNode node);
  template <class S>
  void ReadNodeFrom(S& in, uint16_t version, PVirtualNode node);
  template <class S>
  bool ReadChunkFrom(S& in, uint16_t version, PVirtualNode node, int32_t chunkType, int32_t chunkSize);
  // The outermost read of a stream has ended (complete: every node read is
  // linked and counted); descendants report what they read only now, so
  // that no handler sees a half-read tree.
  virtual void StreamReadFinished(bool complete) {}
  virtual bool ReadChunk(TStream* stream, uint16_t version, PVirtualNode node, int32_t chunkType,
                         int32_t chunkSize);
  void SkipNode(TStream* stream);
  // Puts node's (two or more) children in order by DoCompareNodes and relinks them.
  virtual void SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction);
  // True when node's children are exactly children, in that order.
  bool SameChildren(PVirtualNode node, const std::vector<PVirtualNode>& children) const;
  // Initialises each child of node; false when a handler freed node meanwhile.
  bool InitEachChild(PVirtualNode node);
  // Reads count bytes or raises EVirtualTreeError (2004).
  void ReadStreamExact(TStream* stream, void* buffer, int32_t count);
  // True for the hidden root, and for the detached node that stands for it
  // while a stream is read (ReadChunk stores nothing of the root's own).
  bool IsStreamRootNode(PVirtualNode node) const { return node == root || node == streamRootStandIn; }

  // ---- Fields ---------------------------------------------------------------
  PVirtualNode root = nullptr;
  uint32_t defaultNodeHeight = 18;
  int nodeDataSize = -1;
  uint32_t totalInternalDataSize = 0;
  uint32_t visibleCount = 0;
  uint32_t updateCount = 0;
  uint32_t checkPropagationCount = 0;
  uint32_t checkPropagationSerial = 0;  // counts the propagations begun
  // The innermost check run under way, how many are nested, and the step a
  // run is handing to a slot right now (kind -1: none).
  struct TCheckRun;
  TCheckRun* activeCheckRun = nullptr;
  int checkRunDepth = 0;
  int slotCallKind = -1;
  PVirtualNode slotCallNode = nullptr;
  TCheckState slotCallValue = csUncheckedNormal;
  TVirtualTreeStates states;
  TTreeOptionValues options;
  int offsetX = 0;
  int64_t offsetY = 0;
  uint32_t changeDelay = 0;

  // Nodes the tree remembers; ForgetNode clears each when its node goes.
  PVirtualNode focusedNode = nullptr;
  TColumnIndex focusedColumn = NoColumn;
  PVirtualNode hotNode = nullptr;
  PVirtualNode rangeAnchor = nullptr;
  // Set while a selection is rebuilt around its anchor (inverting): the
  // selection is empty in between, yet the anchor keeps its group.
  bool anchorHeld = false;
  int lastSelectionLevel = -1;  // toLevelSelectConstraint; -1 = not set
  PVirtualNode lastChangedNode = nullptr;
  PVirtualNode lastStructureChangeNode = nullptr;
  TChangeReason lastStructureChangeReason = crIgnore;
  PVirtualNode checkNode = nullptr;
  TCheckState pendingCheckState = csUncheckedNormal;
  PVirtualNode dropTargetNode = nullptr;
  PVirtualNode lastDropTarget = nullptr;
  PVirtualNode lastSearchNode = nullptr;
  PVirtualNode editNode = nullptr;
  TColumnIndex editColumn = NoColumn;
  TEditLinkPtr editLink;

  // Selection: sorted by address; entries marked in bit 0 are dropped by CompactSelection.
  std::vector<PVirtualNode> selection;
  uint32_t selectionCount = 0;
  std::vector<PVirtualNode> tempNodeCache;

  // Position cache.
  uint32_t cacheSpacing = kCacheSpacing;
  std::vector<TCacheEntry> positionCache;
  uint32_t startIndex = 0;
  // The node records this tree has made and not freed, kept only from the
  // first time a handle from outside had to be checked (TrackedRecord).
  mutable std::unique_ptr<std::unordered_set<PVirtualNode>> liveRecords;
  // True when node is a record of this tree linked below its root; a foreign
  // value is only compared, never read through.
  bool IsLinkedRecord(PVirtualNode node) const;
  // Scopes open, and the records freed meanwhile (marked vsDead, kept until the last scope closes).
  int callOutDepth = 0;
  TCallOutScope* innermostScope = nullptr;
  std::vector<PVirtualNode> deadRecords;
  uint64_t freedCount = 0;
  // Gives the dead records back (the last scope closed or the tree goes).
  void ReleaseDeadRecords();
  // Makes room to keep count more dead records (nothing when memory is short).
  void ReserveDeadRecords(uint32_t count);
  // Gives back the records a freed tree left to its outermost scope.
  static void ReleaseOrphans(std::vector<PVirtualNode>* records);
  // Resumable state of a rebuild in steps.
  PVirtualNode validationNode = nullptr;
  uint32_t validationTop = 0;
  uint32_t validationCounter = 0;
  uint32_t validationEntry = 0;
  bool validationRunning = false;

private:
  void CreateChildren(PVirtualNode node, uint32_t count);
  bool FullyShownChildren(PVirtualNode node) const;
  void FreeSubtree(PVirtualNode node);
  void FixNodeTotals(PVirtualNode node);
  void AdoptLoadedSelection(PVirtualNode node);
  // Links child (not in any tree) as node's last child.
  void AppendStreamChild(PVirtualNode node, PVirtualNode child);
  // Frees node's children after keep (all for null), subtrees included,
  // with OnFreeNode for each; node itself stays.
  void FreeStreamChildren(PVirtualNode node, PVirtualNode keep);
  // How deep SaveToStream would nest the node chunks of node (the whole tree for null).
  int WrittenDepth(PVirtualNode node) const;
  // The children under each level of nodes go first, deepest first (DeleteChildren).
  void DeleteDescendants(PVirtualNode node, bool shown);
  // Deletes node's last count children (a shrinking SetChildCount), accounted once.
  // False when a handler freed node itself.
  bool DeleteLastChildren(PVirtualNode node, uint32_t count);
  // After a handler deleted the node being changed (with an ancestor of it):
  // the cache is stale and, outside an update, the view is set right now.
  void SettleAfterNodeLeft();
  // Frees node (linked nowhere) and its subtree with OnFreeNode for each.
  void FreeDetachedSubtree(PVirtualNode node);
  int selectionBatch = 0;
  std::vector<PVirtualNode> batchedSelection;  // loaded selections waiting for EndLoadedSelectionBatch
  int streamDepth = 0;
  int streamReads = 0;  // InternalAddFromStream calls under way
  PVirtualNode deletionStep = nullptr;  // the node DeleteDescendants deletes right now
  // The node whose last children a shrink deletes right now, and whether a
  // handler asked meanwhile for all of its children to go.
  PVirtualNode shrinkingNode = nullptr;
  bool shrinkToEmpty = false;
  // Deletions that have taken nodes out and not yet ended.
  int deletionsRunning = 0;
  struct TDeletionRun {
    TVirtualTreeCore& tree;
    explicit TDeletionRun(TVirtualTreeCore& tree_) : tree(tree_) { ++tree.deletionsRunning; }
    ~TDeletionRun() { --tree.deletionsRunning; }
  };
  void ReadStreamInto(TStream* stream, uint16_t version, PVirtualNode node);
  int writeDepth = 0;
  // The detached node that stands for the hidden root while a stream is read.
  PVirtualNode streamRootStandIn = nullptr;
  // The nodes being read detached, to be linked once complete (innermost last).
  std::vector<PVirtualNode> detachedReads;
  int64_t readLimit = 0;
  uint64_t loadHeightBudget = 0;
  uint32_t pendingRootCount = 0;
  bool inValidationStep = false;
};
