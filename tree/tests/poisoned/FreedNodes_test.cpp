// Handlers that free the node they are told about (a to-do list that drops a
// ticked item) or nodes around it, in a build where touching a freed node
// faults: check propagation, clicks and the space bar on a box, a check that
// is refused by freeing, and drops whose dragged or moving nodes went meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "TreeTestSupport.h"
#include "tree/NodeRecords.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// A window-free tree whose check events run a test's handler.
class TodoTree : public TTestTree {
public:
  TodoTree() { SetNodeDataSize(0); }
  std::function<bool(PVirtualNode)> onChecking;  // false refuses
  std::function<void(PVirtualNode)> onChecked;
  std::vector<PVirtualNode> reported;

  bool DoChecking(PVirtualNode node, TCheckState& state) override {
    if (onChecking && !onChecking(node)) return false;
    return TTestTree::DoChecking(node, state);
  }
  void DoChecked(PVirtualNode node) override {
    reported.push_back(node);
    TTestTree::DoChecked(node);
    if (onChecked) onChecked(node);
  }
  PVirtualNode Box(PVirtualNode parent) {
    PVirtualNode node = AddChild(parent);
    InitNode(node);
    node->CheckType = ctTriStateCheckBox;
    return node;
  }
  // Nothing left half-way: invariants, no node checking, no propagation running.
  std::string Settled() {
    std::string problem = CheckTreeInvariants(*this);
    if (!problem.empty()) return problem;
    for (PVirtualNode node : AllNodes(*this))
      if (node->States & vsChecking) return "a node still checking";
    if (TreeStates().Contains(tsCheckPropagation)) return "still propagating";
    return "";
  }
};

bool Reported(const TodoTree& tree, PVirtualNode node) {
  return std::find(tree.reported.begin(), tree.reported.end(), node) != tree.reported.end();
}

}  // namespace

TEST(FreedNodes, TheBuildPoisonsFreedNodes) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode node = tree.AddChild(nullptr);
  EXPECT_TRUE(NodeRecordsPoisoned());
  EXPECT_FALSE(IsPoisonedNodeRecord(node));
  tree.DeleteNode(node);
  EXPECT_TRUE(IsPoisonedNodeRecord(node));
  EXPECT_NE(tree.AddChild(nullptr), node);  // held back from reuse
}

TEST(FreedNodes, ACheckedChildThatLeavesDoesNotStopItsFolder) {
  static TodoTree* tree;
  TodoTree todo;
  tree = &todo;
  PVirtualNode folder = todo.Box(nullptr);
  PVirtualNode a = todo.Box(folder), b = todo.Box(folder), c = todo.Box(folder);
  PVirtualNode done = todo.AddChild(nullptr);
  static PVirtualNode leaving, doneList;
  leaving = a;
  doneList = done;
  todo.onChecked = [](PVirtualNode node) {
    if (node != leaving) return;
    tree->DeleteNode(node);
    tree->AddChild(doneList);
  };
  todo.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(folder->ChildCount, 2u);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(c->CheckState, csCheckedNormal);
  EXPECT_EQ(folder->CheckState, csCheckedNormal);
  EXPECT_TRUE(Reported(todo, b) && Reported(todo, c) && Reported(todo, folder));
  EXPECT_EQ(done->ChildCount, 1u);
  EXPECT_EQ(todo.Settled(), "");

  // A child freed by its own OnChecking (which still agrees) is passed over too.
  todo.SetCheckState(folder, csUncheckedNormal);
  leaving = b;
  todo.onChecked = nullptr;
  todo.onChecking = [](PVirtualNode node) {
    if (node == leaving) tree->DeleteNode(node);
    return true;
  };
  todo.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(folder->ChildCount, 1u);
  EXPECT_EQ(c->CheckState, csCheckedNormal);
  EXPECT_EQ(folder->CheckState, csCheckedNormal);
  EXPECT_EQ(todo.Settled(), "");
}

TEST(FreedNodes, AHandlerMayFreeTheFolderOrTheBranchBeingChanged) {
  static TodoTree* tree;
  TodoTree todo;
  tree = &todo;
  PVirtualNode folder = todo.Box(nullptr);
  PVirtualNode a = todo.Box(folder);
  todo.Box(folder);
  PVirtualNode other = todo.AddChild(nullptr);
  static PVirtualNode trigger, doomed;
  // A child's report frees its folder while the folder's change is under way.
  trigger = a;
  doomed = folder;
  todo.onChecked = [](PVirtualNode node) {
    if (node == trigger) tree->DeleteNode(doomed);
  };
  todo.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(todo.GetRootNodeCount(), 1u);
  EXPECT_FALSE(Reported(todo, folder));
  EXPECT_EQ(todo.Settled(), "");

  // On the way up: the middle node's report frees the whole branch, the leaf
  // that started it included.
  PVirtualNode top = todo.Box(other);
  PVirtualNode middle = todo.Box(top);
  PVirtualNode sibling = todo.Box(top);
  PVirtualNode leaf = todo.Box(middle);
  todo.reported.clear();
  trigger = middle;
  doomed = top;
  todo.SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(other->ChildCount, 0u);
  EXPECT_TRUE(Reported(todo, middle));
  EXPECT_FALSE(Reported(todo, leaf));
  EXPECT_EQ(todo.Settled(), "");
  (void)sibling;
}

namespace {

struct WindowedChecks;
WindowedChecks* gChecks = nullptr;

// A string tree in a window with four check boxes at the top level.
struct WindowedChecks : ::testing::Test {
  void SetUp() override {
    gChecks = this;
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 360, 260);
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    tree->TreeOptions()->SetMiscOptions(tree->TreeOptions()->MiscOptions().Include(toCheckSupport));
    tree->SetRootNodeCount(4);
    for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNextSibling(node))
      tree->SetCheckType(node, ctCheckBox);
    form->Show();
    qvtest::Pump(10);
  }
  void TearDown() override { form->Free(); }
  // The centre of node's check box in client coordinates.
  LPARAM BoxOf(PVirtualNode node) {
    TRect r = tree->GetDisplayRect(node, NoColumn, false);
    int y = (r.Top + r.Bottom) / 2;
    for (int x = 0; x < r.Right; ++x) {
      THitInfo hit;
      tree->GetHitTestInfoAt(x, y, true, hit);
      if (hit.HitNode == node && hit.HitPositions.Contains(hiOnItemCheckbox)) return MAKELPARAM(x + 3, y);
    }
    ADD_FAILURE() << "no check box";
    return 0;
  }
  void ClickBox(PVirtualNode node) {
    LPARAM at = BoxOf(node);
    SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
  }
  std::string Settled() {
    std::string problem = CheckTreeInvariants(*tree);
    if (!problem.empty()) return problem;
    for (TVirtualTreeState state : {tsMouseCheckPending, tsKeyCheckPending, tsCheckPropagation})
      if (tree->TreeStates().Contains(state)) return "state " + std::to_string(state) + " left";
    return "";
  }
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
};

}  // namespace

TEST_F(WindowedChecks, ATickedItemLeavesOnAClickOrTheSpaceBar) {
  tree->OnChecked = [](TBaseVirtualTree* sender, PVirtualNode node) { sender->DeleteNode(node); };
  ClickBox(tree->GetFirst());
  EXPECT_EQ(tree->GetRootNodeCount(), 3u);
  EXPECT_EQ(Settled(), "");

  tree->SetFocusedNode(tree->GetFirst());
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_SPACE, 1);
  SendMessageW(tree->Handle(), WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_EQ(tree->GetRootNodeCount(), 2u);
  EXPECT_EQ(Settled(), "");
}

TEST_F(WindowedChecks, AnItemFreedWhenItsCheckIsAskedForIsNotPressed) {
  tree->OnChecking = [](TBaseVirtualTree* sender, PVirtualNode node, TCheckState&, bool& allowed) {
    sender->DeleteNode(node);
    allowed = true;
  };
  ClickBox(tree->GetFirst());
  EXPECT_EQ(tree->GetRootNodeCount(), 3u);
  EXPECT_EQ(Settled(), "");
  tree->SetFocusedNode(tree->GetFirst());
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_SPACE, 1);
  SendMessageW(tree->Handle(), WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_EQ(tree->GetRootNodeCount(), 2u);
  EXPECT_EQ(Settled(), "");

  // Freed when the pending check is announced.
  tree->OnChecking = nullptr;
  tree->OnStateChange = [](TBaseVirtualTree* sender, TVirtualTreeStates enter, TVirtualTreeStates) {
    if (enter.Contains(tsMouseCheckPending)) sender->DeleteNode(sender->GetFirst());
  };
  ClickBox(tree->GetFirst());
  EXPECT_EQ(tree->GetRootNodeCount(), 1u);
  EXPECT_EQ(Settled(), "");
}

namespace {
// A shown string tree of three root nodes under two header columns, on form.
TVirtualStringTree* ShowClickTree(TForm* form) {
  form->SetBounds(0, 0, 360, 260);
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 300, 200);
  tree->SetNodeDataSize(0);
  TVTHeader* header = tree->Header();
  for (int i = 0; i < 2; ++i) header->Columns()->Add()->SetWidth(120);
  header->SetOptions(header->Options().Include(hoVisible));
  tree->SetRootNodeCount(3);
  form->Show();
  qvtest::Pump(10);
  return tree;
}
// Where a click lands on node's caption, in client coordinates.
LPARAM CaptionOf(TVirtualStringTree* tree, PVirtualNode node) {
  TRect r = tree->GetDisplayRect(node, NoColumn, true);
  return MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
}
}  // namespace

// A column's double-click handler that deletes the node double-clicked (an
// item opened and dropped from the list): the double click ends there, the
// node is neither toggled nor read again.
TEST(FreedNodes, AColumnDoubleClickWhoseHandlerDeletesTheNodeEndsTheDoubleClick) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  TVirtualStringTree* tree = ShowClickTree(form);
  TCustomStringTreeOptions* o = tree->TreeOptions();
  o->SetMiscOptions(o->MiscOptions().Include(toToggleOnDblClick));
  PVirtualNode second = tree->GetFirst()->NextSibling;
  tree->SetChildCount(second, 2);
  static PVirtualNode doomed;
  doomed = second;
  tree->OnColumnDblClick = [](TBaseVirtualTree* sender, TColumnIndex, TShiftState) { sender->DeleteNode(doomed); };
  LPARAM at = CaptionOf(tree, second);
  HWND window = tree->Handle();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(tree->GetRootNodeCount(), 2u) << "the handler ran";
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  form->Free();
}

// An image handler that deletes the node under the mouse as the hit test asks
// (hot tracking here; a drag entering alike): the node that went is not kept
// as hot node, where the next move would read it.
TEST(FreedNodes, AHitTestWhoseImageHandlerDeletesTheNodeHitsNothing) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  TVirtualStringTree* tree = ShowClickTree(form);
  tree->TreeOptions()->SetPaintOptions(tree->TreeOptions()->PaintOptions().Include(toHotTrack));
  tree->TreeOptions()->SetSelectionOptions(tree->TreeOptions()->SelectionOptions().Include(toFullRowSelect));
  tree->SetImages(New<TImageList>(form));
  LPARAM at = CaptionOf(tree, tree->GetFirst()->NextSibling);
  tree->OnGetImageIndex = [](TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind, TColumnIndex, bool&, int&) {
    if (node == sender->GetFirst()->NextSibling) sender->DeleteNode(node);
  };
  SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, at);
  EXPECT_EQ(tree->GetRootNodeCount(), 2u) << "the handler ran";
  EXPECT_EQ(tree->HotNode(), nullptr);
  form->Free();
}

// A text handler that deletes the node asked about while a double click on a
// column's divider fits the column to its widest node: the walk ends there.
TEST(FreedNodes, FittingAColumnWhoseTextHandlerDeletesTheNodeAskedEndsTheWalk) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  TVirtualStringTree* tree = ShowClickTree(form);
  TVTHeader* header = tree->Header();
  header->SetOptions(header->Options().Include(hoDblClickResize));
  static bool deleted;
  deleted = false;
  tree->OnGetText = [](TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TVSTTextType,
                       std::u16string& text) {
    text = u"a caption";
    if (column == 1 && !std::exchange(deleted, true)) sender->DeleteNode(node);
  };
  POINT pt{240, -10};  // the second column's right edge (a main column's widths are kept)
  ClientToScreen(tree->Handle(), &pt);
  SendMessageW(tree->Handle(), WM_NCLBUTTONDBLCLK, HTBORDER, MAKELPARAM(pt.x, pt.y));
  EXPECT_EQ(tree->GetRootNodeCount(), 2u) << "the handler ran";
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  form->Free();
}

// A selected node clicked again with Ctrl in a tree that drags on its own
// leaves the selection on the release; a change handler that deletes it then
// still lets the release end: no toggle, clear or drag stays pending.
TEST(FreedNodes, AReleaseWhoseChangeHandlerDeletesTheToggledNodeEndsTheClick) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  TVirtualStringTree* tree = ShowClickTree(form);
  TCustomStringTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  tree->SetDragMode(dmAutomatic);
  PVirtualNode second = tree->GetFirst()->NextSibling;
  tree->SetFocusedNode(second);
  tree->SetSelected(second, true);
  tree->OnChange = [](TBaseVirtualTree* sender, PVirtualNode node) {
    if (node != nullptr && !(node->States & vsSelected)) sender->DeleteNode(node);
  };
  LPARAM at = CaptionOf(tree, second);
  HWND window = tree->Handle();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at);
  SendMessageW(window, WM_LBUTTONUP, MK_CONTROL, at);
  EXPECT_EQ(tree->GetRootNodeCount(), 2u) << "the node left the selection and was deleted";
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  for (TVirtualTreeState state : {tsToggleFocusedSelection, tsClearPending, tsOLEDragPending, tsDrawSelPending})
    EXPECT_FALSE(tree->TreeStates().Contains(state)) << "state " << state << " left";
  form->Free();
}

namespace {
// Opens the drag state to a test, as the drag loop holds it during a drop.
struct TDragTree : TVirtualStringTree {
  using TVirtualStringTree::DeleteMovedDragNodes;
  using TVirtualStringTree::DoStateChange;
};
}  // namespace

TEST(FreedNodes, ADropMovesOnlyTheDraggedNodesThatAreStillThere) {
  Application->Initialize();
  OleInitialize(nullptr);
  TForm* form = New<TForm>(Application);
  auto* source = New<TDragTree>(form);
  auto* target = New<TDragTree>(form);
  for (TDragTree* t : {source, target}) {
    t->SetParent(form);
    t->SetClipboardFormats({"Virtual Tree Data"});
    t->SetNodeDataSize(0);
    t->SetRootNodeCount(5);
  }
  auto nth = [](TBaseVirtualTree* t, int i) {
    PVirtualNode run = t->GetFirst();
    while (i-- > 0) run = t->GetNextSibling(run);
    return run;
  };
  PVirtualNode n0 = nth(source, 0), n2 = nth(source, 2), n4 = nth(source, 4);
  source->DoStateChange({tsOLEDragging});
  source->DragSelection() = {n0, n2, n4};
  // Freed during the drag (a timer, a change handler), and a new node made.
  source->DeleteNode(n2);
  source->AddChild(nullptr);
  IDataObject* data = new TVTDataObject(source, /*forClipboard=*/false);
  int effect = DROPEFFECT_MOVE;
  target->ProcessDrop(data, target->GetFirst(), effect, amAddChildLast);
  EXPECT_EQ(target->GetFirst()->ChildCount, 2u);
  EXPECT_EQ(source->GetRootNodeCount(), 3u);
  EXPECT_EQ(CheckTreeInvariants(*source), "");
  EXPECT_EQ(CheckTreeInvariants(*target), "");

  // A moving handler that frees another node of the move, inside one tree.
  static PVirtualNode doomed;
  PVirtualNode m0 = nth(source, 0), m1 = nth(source, 1);
  doomed = m1;
  source->OnNodeMoving = [](TBaseVirtualTree* sender, PVirtualNode node, PVirtualNode, bool& allowed) {
    if (node != doomed) sender->DeleteNode(doomed);
    allowed = true;
  };
  source->DragSelection() = {m0, m1};
  effect = DROPEFFECT_MOVE;
  source->ProcessDrop(data, nth(source, 2), effect, amAddChildFirst);
  EXPECT_EQ(source->GetRootNodeCount(), 1u);
  EXPECT_EQ(source->GetFirst()->ChildCount, 1u);
  EXPECT_EQ(CheckTreeInvariants(*source), "");
  source->DoStateChange({}, {tsOLEDragging});
  data->Release();
  form->Free();
}

// Another program took the dragged nodes with a move: the source deletes
// them, while the deletion handler of the first frees the last one, and a
// node moved during the drag has put the third below the second.
TEST(FreedNodes, NodesMovedOutByAnotherProgramAreDeletedOnceWhateverTheirHandlersFree) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  static TDragTree* source;
  source = New<TDragTree>(form);
  source->SetParent(form);
  source->SetNodeDataSize(0);
  source->SetRootNodeCount(6);
  std::vector<PVirtualNode> top;
  for (PVirtualNode run = source->GetFirst(); run != nullptr; run = source->GetNextSibling(run)) top.push_back(run);
  PVirtualNode holder = source->AddChild(top[4]);
  PVirtualNode inner = source->AddChild(holder);
  source->DoStateChange({tsOLEDragging});
  source->DragSelection() = {top[0], top[2], inner, top[5]};
  source->MoveTo(holder, top[2], amAddChildLast, false);
  static PVirtualNode gFirst, gLast;
  gFirst = top[0];
  gLast = top[5];
  source->OnFreeNode = [](TBaseVirtualTree*, PVirtualNode node) {
    if (node == gFirst) source->DeleteNode(gLast);
  };
  source->DeleteMovedDragNodes();
  source->OnFreeNode = nullptr;
  source->DoStateChange({}, {tsOLEDragging});
  EXPECT_EQ(source->GetRootNodeCount(), 3u);
  EXPECT_EQ(source->GetFirst(), top[1]);
  EXPECT_EQ(source->GetNextSibling(top[1]), top[3]);
  EXPECT_EQ(source->GetNextSibling(top[3]), top[4]);
  EXPECT_EQ(top[4]->ChildCount, 0u);
  EXPECT_TRUE(source->DragSelection().empty());
  EXPECT_EQ(CheckTreeInvariants(*source), "");
  form->Free();
}

namespace {
class FreeingTree : public TTestTree {
public:
  FreeingTree() { SetNodeDataSize(0); }
  std::function<void(PVirtualNode)> onFree;
  void DoFreeNode(PVirtualNode node) override {
    auto handler = onFree;
    onFree = nullptr;  // once
    if (handler) handler(node);
    TTestTree::DoFreeNode(node);
  }
};
}  // namespace

TEST(FreedNodes, AShrinkWhoseHandlerDeletesAnAncestorStops) {
  static FreeingTree* tree;
  FreeingTree t;
  tree = &t;
  PVirtualNode top = t.AddChild(nullptr);
  PVirtualNode mid = t.AddChild(top);
  static PVirtualNode gTop;
  gTop = top;
  t.SetChildCount(mid, 50);
  t.AddChild(nullptr);
  t.onFree = [](PVirtualNode) { tree->DeleteNode(gTop); };
  t.SetChildCount(mid, 1);
  EXPECT_EQ(t.RootNode()->ChildCount, 1u);
  EXPECT_EQ(CheckTreeInvariants(t), "");
}

TEST(FreedNodes, DeletingCutNodesWhoseHandlerDeletesTheNextSibling) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  static TVirtualDrawTree* tree;
  tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(6);
  PVirtualNode first = tree->GetFirst();
  first->States |= vsCutOrCopy;
  static PVirtualNode gNext;
  gNext = first->NextSibling;
  tree->OnFreeNode = [](TBaseVirtualTree*, PVirtualNode node) {
    if (gNext != nullptr) {
      PVirtualNode next = gNext;
      gNext = nullptr;
      tree->DeleteNode(next);
    }
  };
  tree->DoStateChange({tsCutPending});
  tree->DeleteMarkedCutNodes();
  EXPECT_EQ(tree->RootNode()->ChildCount, 4u);
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  tree->OnFreeNode = nullptr;
  form->Free();
}

// A free handler that deletes, resets or re-initialises the node it is told
// about, for a node deleted alone and for children deleted together.
TEST(FreedNodes, AFreeHandlerThatDeletesOrResetsItsNodeLeavesItToTheDeletion) {
  static FreeingTree* tree;
  FreeingTree t;
  tree = &t;
  PVirtualNode a = t.AddChild(nullptr);
  PVirtualNode p = t.AddChild(nullptr);
  for (int i = 0; i < 3; ++i) t.AddChild(p);
  t.AddChild(nullptr);
  t.onFree = [](PVirtualNode node) { tree->DeleteNode(node); };
  t.DeleteNode(a);
  EXPECT_EQ(t.RootNode()->ChildCount, 2u);
  EXPECT_EQ(CheckTreeInvariants(t), "");
  t.onFree = [](PVirtualNode node) {
    tree->ResetNode(node);
    tree->ReinitNode(node, true);
    tree->DeleteNode(node);
  };
  t.DeleteChildren(p);
  EXPECT_EQ(p->ChildCount, 0u);
  t.onFree = [](PVirtualNode node) {
    tree->ReinitNode(node, false);
    tree->ResetNode(node);
    tree->DeleteNode(node);
  };
  t.DeleteNode(p);
  EXPECT_EQ(t.RootNode()->ChildCount, 1u);
  EXPECT_EQ(CheckTreeInvariants(t), "");
  // Nor does the node take children on its way out.
  static PVirtualNode added;
  added = t.RootNode();
  t.onFree = [](PVirtualNode node) {
    tree->SetChildCount(node, 3);
    added = tree->AddChild(node);
  };
  t.DeleteNode(t.GetFirst());
  EXPECT_EQ(added, nullptr);
  EXPECT_EQ(t.RootNode()->ChildCount, 0u);
  EXPECT_EQ(CheckTreeInvariants(t), "");
}

// Deleting the selection, last first: the free handler of one deletes another
// selected node (one still to go, or its previous sibling), which is then
// passed over.
TEST(FreedNodes, DeletingTheSelectionWhoseHandlerDeletesAnotherSelectedNode) {
  for (int victim : {0, 1}) {
    SCOPED_TRACE(victim);
    static FreeingTree* tree;
    static PVirtualNode doomed;
    FreeingTree t;
    tree = &t;
    t.MutableOptionValues().selection.Include(toMultiSelect);
    std::vector<PVirtualNode> nodes;
    for (int i = 0; i < 4; ++i) nodes.push_back(t.AddChild(nullptr));
    for (int i = 0; i < 3; ++i) t.AddToSelection(nodes[i]);
    doomed = nodes[victim];
    t.onFree = [](PVirtualNode) { tree->DeleteNode(doomed); };
    t.DeleteSelectedNodes();
    EXPECT_EQ(t.RootNode()->ChildCount, 1u);
    EXPECT_EQ(t.SelectedCount(), 0u);
    EXPECT_EQ(CheckTreeInvariants(t), "");
  }
}

// Sorts whose compare handler frees children, adds children to the parent
// being sorted, or frees the parent, against a model: the handler is never
// handed a node that is gone or no longer a child; afterwards the parent holds
// exactly its live children, those the sort saw in stable key order and
// those added meanwhile last, in the order they came. With initialisation the
// init handler may free or add children first: those it added are sorted too.
static std::vector<PVirtualNode> ChildrenOfNode(PVirtualNode node) {
  std::vector<PVirtualNode> children;
  for (PVirtualNode run = node->FirstChild; run != nullptr; run = run->NextSibling) children.push_back(run);
  return children;
}

TEST(FreedNodes, ASortWhoseCompareHandlerFreesOrAddsChildrenKeepsExactlyTheLiveOnesInOrder) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::set<PVirtualNode> freed;  // records are given back when the sort returns: never read after
    TTestTree t;
    t.SetNodeDataSize(0);
    PVirtualNode parent = t.AddChild(nullptr);
    PVirtualNode keep = t.AddChild(nullptr);  // a sibling of the parent, outside the sort
    std::map<PVirtualNode, int> key;
    std::vector<PVirtualNode> seen, added;
    int count = 2 + pick(30);
    for (int i = 0; i < count; ++i) {
      PVirtualNode child = t.AddChild(parent);
      key[child] = pick(6);  // few keys: equal ones show whether the sort is stable
      seen.push_back(child);
    }
    bool freeParent = pick(8) == 0;
    bool doInit = pick(2) == 0;
    t.onInit = [&](PVirtualNode node, TVirtualNodeInitStates&) {
      if (node->Parent != parent || !doInit) return;
      switch (pick(6)) {
        case 0: {
          std::vector<PVirtualNode> children = ChildrenOfNode(parent);
          t.DeleteNode(children[size_t(pick(int(children.size())))]);
          break;
        }
        case 1: {
          PVirtualNode child = t.AddChild(parent);
          key[child] = pick(6);
          seen.push_back(child);  // in the chain when the comparing starts
          break;
        }
      }
    };
    t.onFree = [&](PVirtualNode n) { freed.insert(n); };
    std::string fault;
    t.onCompare = [&](PVirtualNode a, PVirtualNode b) {
      for (PVirtualNode n : {a, b})
        if ((n->States & vsDead) || n->Parent != parent) fault = "a compare was handed a node that left";
      if (!fault.empty()) return 0;
      switch (pick(10)) {
        case 0: {
          std::vector<PVirtualNode> children = ChildrenOfNode(parent);
          t.DeleteNode(children[size_t(pick(int(children.size())))]);
          break;
        }
        case 1: {
          PVirtualNode child = t.AddChild(parent);
          key[child] = pick(6);
          added.push_back(child);
          break;
        }
        case 2:
          if (freeParent) {
            t.DeleteNode(parent);
            parent = nullptr;
          }
          break;
      }
      return key[a] - key[b];
    };
    bool ascending = pick(2) == 0;
    if (doInit) parent->States |= vsHasChildren;
    t.Sort(parent, NoColumn, ascending ? sdAscending : sdDescending, doInit);
    EXPECT_EQ(fault, "");
    EXPECT_EQ(CheckTreeInvariants(t), "");
    if (parent == nullptr) {
      EXPECT_EQ(t.RootNode()->FirstChild, keep);
      continue;
    }
    auto live = [&](PVirtualNode n) { return freed.count(n) == 0; };
    std::vector<PVirtualNode> expected;
    for (PVirtualNode n : seen)
      if (live(n)) expected.push_back(n);
    std::stable_sort(expected.begin(), expected.end(), [&](PVirtualNode a, PVirtualNode b) {
      return ascending ? key[a] < key[b] : key[a] > key[b];
    });
    for (PVirtualNode n : added)
      if (live(n)) expected.push_back(n);
    EXPECT_EQ(ChildrenOfNode(parent), expected);
  }
}

// A compare handler that sorts the same children again (its own compares may
// do the same, once more), or clears the whole tree: the sort that was running
// compares no child it no longer holds, the children the outer sort saw end
// in stable key order, those added meanwhile after them, and a clear leaves
// an empty tree.
TEST(FreedNodes, ASortWhoseCompareHandlerSortsAgainOrClearsTheTree) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::set<PVirtualNode> freed;
    TTestTree t;
    t.SetNodeDataSize(0);
    PVirtualNode parent = t.AddChild(nullptr);
    t.AddChild(nullptr);
    std::map<PVirtualNode, int> key;
    std::vector<PVirtualNode> seen, added;
    int count = 2 + pick(30);
    for (int i = 0; i < count; ++i) {
      PVirtualNode child = t.AddChild(parent);
      key[child] = pick(6);
      seen.push_back(child);
    }
    bool ascending = pick(2) == 0;
    TSortDirection direction = ascending ? sdAscending : sdDescending;
    bool cleared = false;
    int depth = 0;
    std::string fault;
    t.onFree = [&](PVirtualNode n) { freed.insert(n); };
    t.onCompare = [&](PVirtualNode a, PVirtualNode b) {
      for (PVirtualNode n : {a, b})
        if ((n->States & vsDead) || n->Parent != parent) fault = "a compare was handed a node that left";
      if (!fault.empty()) return 0;
      switch (pick(12)) {
        case 0: {
          std::vector<PVirtualNode> children = ChildrenOfNode(parent);
          t.DeleteNode(children[size_t(pick(int(children.size())))]);
          break;
        }
        case 1: {
          PVirtualNode child = t.AddChild(parent);
          key[child] = pick(6);
          added.push_back(child);
          break;
        }
        case 2:
          if (depth < 2) {
            ++depth;
            t.Sort(parent, NoColumn, direction, false);
            --depth;
          }
          break;
        case 3:
          if (pick(4) == 0) {
            t.Clear();
            cleared = true;
          }
          break;
      }
      return key[a] - key[b];
    };
    t.Sort(parent, NoColumn, direction, false);
    EXPECT_EQ(fault, "");
    EXPECT_EQ(CheckTreeInvariants(t), "");
    if (cleared) {
      EXPECT_EQ(t.RootNode()->FirstChild, nullptr);
      EXPECT_EQ(t.GetRootNodeCount(), 0u);
      continue;
    }
    auto live = [&](PVirtualNode n) { return freed.count(n) == 0; };
    std::vector<PVirtualNode> expected;
    for (PVirtualNode n : seen)
      if (live(n)) expected.push_back(n);
    std::stable_sort(expected.begin(), expected.end(), [&](PVirtualNode a, PVirtualNode b) {
      return ascending ? key[a] < key[b] : key[a] > key[b];
    });
    std::vector<PVirtualNode> children = ChildrenOfNode(parent);
    ASSERT_GE(children.size(), expected.size());
    EXPECT_EQ(std::vector<PVirtualNode>(children.begin(), children.begin() + long(expected.size())), expected);
    // The ones added come after, each once (an inner sort may have ordered them).
    std::multiset<PVirtualNode> rest(children.begin() + long(expected.size()), children.end()), wanted;
    for (PVirtualNode n : added)
      if (live(n)) wanted.insert(n);
    EXPECT_EQ(rest, wanted);
    EXPECT_EQ(parent->ChildCount, children.size());
  }
}
