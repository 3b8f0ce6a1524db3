// Random steps on two string trees in a real window whose event handlers
// (checks, selection, focus, editing, drops, expanding and collapsing) free,
// add and move nodes, the node they are told about included. Freed nodes are
// poisoned in this build, so any touch of one faults at once; after every
// step the node model's invariants hold and nothing is left half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// Opens the drag state to the model, as the drag loop holds it during a drop.
struct THostileTree : TVirtualStringTree {
  using TVirtualStringTree::DeleteMovedDragNodes;
  using TVirtualStringTree::DoStateChange;
};

class THostileModel;
THostileModel* gModel = nullptr;  // events bind capture-less functions

class THostileModel {
public:
  explicit THostileModel(uint32_t seed) : rng(seed) {
    gModel = this;
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 560, 320);
    tree = MakeTree(0, 380);
    other = MakeTree(390, 150);
    tree->SetRootNodeCount(12);
    other->SetRootNodeCount(4);
    form->Show();
  }
  ~THostileModel() {
    gModel = nullptr;
    form->Free();
  }

  // One random step; returns its number.
  int Step() {
    PVirtualNode node = AnyNode(tree);
    HWND window = tree->Handle();
    int op = Pick(12);
    switch (op) {
      case 0: if (node) tree->SetCheckState(node, Pick(2) ? csCheckedNormal : csUncheckedNormal); break;
      case 1: if (node) tree->SetCheckType(node, Pick(3) ? ctTriStateCheckBox : ctCheckBox); break;
      case 2: ClickInRow(node, Pick(2) ? hiOnItemCheckbox : hiOnItemLabel); break;
      case 3: {
        static const WORD keys[] = {VK_SPACE, VK_SPACE, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_ADD, VK_SUBTRACT,
                                    VK_MULTIPLY, VK_HOME, VK_END, VK_F2, VK_ESCAPE, VK_RETURN};
        WORD key = keys[Pick(sizeof(keys) / sizeof(keys[0]))];
        SendMessageW(window, WM_KEYDOWN, key, 1);
        SendMessageW(window, WM_KEYUP, key, 0xC0000001);
        break;
      }
      case 4: if (node) tree->ToggleNode(node); break;
      case 5: tree->SetFocusedNode(node); break;
      case 6: if (node) tree->SetSelected(node, !tree->GetSelected(node)); break;
      case 7: Edit(node); break;
      case 8: Drop(); break;
      case 9: if (Pick(2)) tree->FullExpand(node); else tree->FullCollapse(node); break;
      case 10: Mutate(nullptr); break;
      case 11: if (Pick(2)) tree->SelectAll(false); else tree->ClearSelection(); break;
    }
    return op;
  }

  // The first thing that does not hold, or "".
  std::string Check() {
    for (THostileTree* t : {tree, other}) {
      std::string problem = CheckTreeInvariants(*t);
      if (!problem.empty()) return problem;
      std::vector<PVirtualNode> all = AllNodes(*t);
      auto known = [&](PVirtualNode n) { return n == nullptr || std::find(all.begin(), all.end(), n) != all.end(); };
      if (!known(t->FocusedNode())) return "focused node not in the tree";
      if (!known(t->DropTargetNode())) return "drop target not in the tree";
      for (PVirtualNode n : all)
        if (n->States & vsChecking) return "a node still checking";
      for (TVirtualTreeState state : {tsCheckPropagation, tsMouseCheckPending, tsKeyCheckPending, tsOLEDragging})
        if (t->TreeStates().Contains(state)) return "state " + std::to_string(state) + " left";
      if (t->GetSelectionInOrder(false).size() != t->SelectedCount()) return "selection in order vs count";
    }
    return "";
  }

private:
  THostileTree* MakeTree(int left, int width) {
    auto* t = New<THostileTree>(form);
    t->SetParent(form);
    t->SetBounds(left, 0, width, 260);
    t->SetNodeDataSize(0);
    t->SetClipboardFormats({"Virtual Tree Data"});
    TCustomVirtualTreeOptions* o = t->TreeOptions();
    o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport).Include(toEditable));
    o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
    o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
    t->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::u16string& text) {
      text = u"item";
    };
    t->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
      node->CheckType = ctTriStateCheckBox;
      if (gModel->Pick(3) == 0) states.Include(ivsHasChildren);
    };
    t->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = gModel->Pick(4); };
    t->OnChecking = [](TBaseVirtualTree* s, PVirtualNode node, TCheckState&, bool& allowed) {
      allowed = gModel->Hostile(s, node);
    };
    t->OnChecked = [](TBaseVirtualTree* s, PVirtualNode node) { gModel->Hostile(s, node); };
    t->OnChange = [](TBaseVirtualTree* s, PVirtualNode node) { gModel->Hostile(s, node); };
    t->OnFocusChanging = [](TBaseVirtualTree* s, PVirtualNode, PVirtualNode node, TColumnIndex, TColumnIndex,
                            bool& allowed) { allowed = gModel->Hostile(s, node); };
    t->OnFocusChanged = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex) { gModel->Hostile(s, node); };
    t->OnEditing = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex, bool& allowed) {
      allowed = gModel->Hostile(s, node);
    };
    t->OnEdited = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex) { gModel->Hostile(s, node); };
    t->OnNewText = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex, const std::u16string&) {
      gModel->Hostile(s, node);
    };
    t->OnExpanding = [](TBaseVirtualTree* s, PVirtualNode node, bool& allowed) { allowed = gModel->Hostile(s, node); };
    t->OnExpanded = [](TBaseVirtualTree* s, PVirtualNode node) { gModel->Hostile(s, node); };
    t->OnCollapsing = [](TBaseVirtualTree* s, PVirtualNode node, bool& allowed) { allowed = gModel->Hostile(s, node); };
    t->OnCollapsed = [](TBaseVirtualTree* s, PVirtualNode node) { gModel->Hostile(s, node); };
    // Asked on a click; never allows a drag, which would run a modal loop here.
    t->OnDragAllowed = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex, bool& allowed) {
      gModel->Hostile(s, node);
      allowed = false;
    };
    t->OnDragOver = [](TBaseVirtualTree* s, TObject*, TShiftState, TDragStateKind, TPoint, TDropMode, int&,
                       bool& accept) { accept = gModel->Hostile(s, s->DropTargetNode()); };
    t->OnDragDrop = [](TBaseVirtualTree* s, TObject*, IDataObject* data, const TFormatArray&, TShiftState, TPoint,
                       int& effect, TDropMode mode) {
      gModel->Hostile(s, s->DropTargetNode());
      TVTNodeAttachMode attach = mode == dmAbove ? amInsertBefore : mode == dmBelow ? amInsertAfter : amAddChildLast;
      s->ProcessDrop(data, s->DropTargetNode(), effect, attach);
    };
    return t;
  }

  // Freed records are never reused in this build: an address found is the node.
  static bool Holds(TBaseVirtualTree* t, PVirtualNode node) {
    std::vector<PVirtualNode> all = AllNodes(*t);
    return std::find(all.begin(), all.end(), node) != all.end();
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  PVirtualNode AnyNode(TBaseVirtualTree* t) {
    std::vector<PVirtualNode> all = AllNodes(*t);
    return all.empty() ? nullptr : all[Pick(static_cast<int>(all.size()))];
  }

  // A handler's doing: now and then it frees, adds or moves nodes, the one it
  // is told about first of all; its answer is mostly yes.
  bool Hostile(TBaseVirtualTree* sender, PVirtualNode node) {
    if (depth < 2 && Pick(3) == 0) {
      ++depth;
      try {
        Mutate(Pick(2) ? node : nullptr, static_cast<THostileTree*>(sender));
      } catch (const EAssertionFailed&) {
        // Refused as a whole (nodes are not deleted while a stream is read).
      }
      --depth;
    }
    return Pick(6) != 0;
  }

  void Mutate(PVirtualNode told, THostileTree* t = nullptr) {
    if (t == nullptr) t = tree;
    PVirtualNode node = told != nullptr ? told : AnyNode(t);
    bool room = t->RootNode()->TotalCount < 120;
    switch (Pick(7)) {
      case 0: case 1: t->DeleteNode(node); break;
      case 6: t->ResetNode(node); break;
      case 2: if (room) t->AddChild(Pick(2) ? node : nullptr); break;
      case 3: {
        PVirtualNode target = AnyNode(t);
        if (node != nullptr && target != nullptr && node != target && !t->HasAsParent(target, node))
          t->MoveTo(node, target, static_cast<TVTNodeAttachMode>(1 + Pick(4)), false);
        break;
      }
      case 4: {
        THostileTree* away = t == tree ? other : tree;
        if (node != nullptr && away->RootNode()->TotalCount < 120) t->MoveTo(node, AnyNode(away), amAddChildLast, false);
        break;
      }
      case 5: if (node != nullptr && room) t->SetChildCount(node, Pick(4)); break;
    }
  }

  void ClickInRow(PVirtualNode node, THitPosition where) {
    if (node == nullptr || !tree->IsVisible(node)) return;
    tree->ScrollIntoView(node, false, false);
    if (!Holds(tree, node)) return;
    TRect r = tree->GetDisplayRect(node, NoColumn, false);
    int y = (r.Top + r.Bottom) / 2;
    for (int x = 0; x < r.Right; ++x) {
      THitInfo hit;
      tree->GetHitTestInfoAt(x, y, true, hit);
      if (hit.HitNode != node || !hit.HitPositions.Contains(where)) continue;
      LPARAM at = MAKELPARAM(x + 2, y);
      SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
      return;
    }
  }

  void Edit(PVirtualNode node) {
    if (tree->IsEditing()) {
      if (Pick(2)) tree->EndEditNode(); else tree->CancelEditNode();
      return;
    }
    if (node != nullptr) tree->EditNode(node, NoColumn);
  }

  // A drop of some of one tree's nodes on the other (or the same) tree, as the
  // drag loop makes it; the handlers of both may change either tree meanwhile.
  void Drop() {
    THostileTree* from = Pick(2) ? tree : other;
    THostileTree* to = Pick(3) == 0 ? from : from == tree ? other : tree;
    std::vector<PVirtualNode> dragged;
    for (PVirtualNode n : AllNodes(*from)) {
      bool inside = false;
      for (PVirtualNode d : dragged) inside = inside || from->HasAsParent(n, d);
      if (!inside && Pick(4) == 0) dragged.push_back(n);
    }
    if (dragged.empty()) return;
    from->DoStateChange({tsOLEDragging});
    from->DragSelection() = dragged;
    IDataObject* data = new TVTDataObject(from, /*forClipboard=*/false);
    if (Pick(2)) Mutate(nullptr, from);  // a timer or a change handler during the drag
    PVirtualNode over = AnyNode(to);
    TPoint pt = to->ClientToScreen(TPoint{20, 5});
    if (over != nullptr && to->IsVisible(over)) to->ScrollIntoView(over, false, false);
    if (over != nullptr && Holds(to, over)) {  // the expand handlers may have freed it
      TRect r = to->GetDisplayRect(over, NoColumn, true);
      pt = to->ClientToScreen(TPoint{r.Left + 2, (r.Top + r.Bottom) / 2});
    }
    int effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
    DWORD keys = Pick(2) ? MK_SHIFT : 0;
    to->DragEnter(keys, pt, effect);
    effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
    to->DragDrop(data, keys, pt, effect);
    // Or another program took them with a move: the source deletes what is left of them.
    if (Pick(3) == 0) from->DeleteMovedDragNodes();
    data->Release();
    from->DragSelection().clear();
    from->DoStateChange({}, {tsOLEDragging});
  }

  std::mt19937 rng;
  TForm* form = nullptr;
  THostileTree* tree = nullptr;
  THostileTree* other = nullptr;
  int depth = 0;
};

}  // namespace

TEST(HostileHandlers, RandomStepsTouchNoFreedNodeAndKeepEveryInvariant) {
  Application->Initialize();
  OleInitialize(nullptr);
  const uint32_t rounds = std::getenv("QV_LONG") ? 100 : 6;
  for (uint32_t seed = 1; seed <= rounds; ++seed) {
    THostileModel model(seed);
    std::string trail;
    for (int step = 0; step < 400; ++step) {
      int op = model.Step();
      trail += std::to_string(op) + " ";
      std::string problem = model.Check();
      ASSERT_EQ(problem, "") << "seed " << seed << " step " << step << " op " << op << "\nops " << trail;
    }
  }
}
