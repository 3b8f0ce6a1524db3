// Random steps on two string trees in a real window whose event handlers
// (checks, selection, focus, editing, drops, expanding and collapsing,
// initialisation, sorting, texts for export and saving, search, pop-up
// menus, and freeing nodes) free, add and move nodes, the node they are told
// about included. Freed nodes are poisoned in the poisoned build, so any touch
// of one faults at once; in the normal build (records reused) the same steps
// run too. After every step the node model's invariants hold and nothing is
// left half-way; copies refused one by one are counted exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"
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
    quiet = true;  // the trees go with events; the model does nothing more
    form->Free();
    gModel = nullptr;
  }

  // One random step; returns its number.
  int Step() {
    PVirtualNode node = AnyNode(tree);
    HWND window = tree->Handle();
    int op = Pick(22);
    if (std::getenv("QV_TRACE")) std::fprintf(stderr, " op %d\n", op);
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
      case 12:
        if (Pick(2))
          tree->SortTree(NoColumn, Pick(2) ? sdAscending : sdDescending, Pick(2) != 0);
        else
          tree->Sort(Pick(2) ? node : nullptr, NoColumn, Pick(2) ? sdAscending : sdDescending, Pick(2) != 0);
        break;
      case 13: Export(); break;
      case 14: {
        TMemoryStream stream;
        hostileText = true;
        tree->SaveToStream(&stream, Pick(2) ? node : nullptr);
        hostileText = false;
        break;
      }
      case 15:
        if (Pick(2))
          tree->ReinitNode(node, Pick(2) != 0);
        else
          tree->ReinitChildren(Pick(2) ? node : nullptr, Pick(2) != 0);
        break;
      case 16: Walk(); break;
      case 17: {
        static const char16_t keys[] = {u'i', u't', u'e', 8};
        SendMessageW(window, WM_CHAR, keys[Pick(4)], 1);
        break;
      }
      case 18: RightClick(node); break;
      case 19: CountedCopy(); break;
      case 20:
        if (Pick(4) == 0) {
          if (Pick(2)) tree->Clear(); else tree->SetRootNodeCount(Pick(2) ? 0 : 6);
        }
        break;
      case 21: {
        THostileTree* to = Pick(2) ? tree : other;
        if (node != nullptr && to->RootNode()->TotalCount + node->TotalCount < 150)
          tree->CopyTo(node, AnyNode(to), static_cast<TVTNodeAttachMode>(1 + Pick(4)), Pick(2) != 0);
        break;
      }
    }
    return op;
  }

  // The walk's or the copy count's finding, "" when it held.
  std::string finding;

  // The first thing that does not hold, or "".
  std::string Check() {
    if (!finding.empty()) return finding;
    for (THostileTree* t : {tree, other}) {
      if (t->CallOutDepth() != 0) return "an operation left open";
      std::string problem = CheckTreeInvariants(*t);
      if (!problem.empty()) return problem;
      std::vector<PVirtualNode> all = AllNodes(*t);
      auto known = [&](PVirtualNode n) { return n == nullptr || std::find(all.begin(), all.end(), n) != all.end(); };
      if (!known(t->FocusedNode())) return "focused node not in the tree";
      if (!known(t->DropTargetNode())) return "drop target not in the tree";
      for (PVirtualNode n : all) {
        if (n->States & vsChecking) return "a node still checking";
        if (n->States & (vsDead | vsDeleting | vsClearing)) return "a linked node marked as going";
      }
      if (t->RootNode()->States & vsClearing) return "the root still clearing";
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
    t->SetIncrementalSearch(isAll);
    t->OnGetText = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
      text = u"item";
      if (gModel->hostileText) gModel->Hostile(s, node);
    };
    t->OnInitNode = [](TBaseVirtualTree* s, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
      node->CheckType = ctTriStateCheckBox;
      if (gModel->Pick(3) == 0) states.Include(ivsHasChildren);
      if (gModel->Pick(4) == 0) gModel->Hostile(s, node);
    };
    t->OnInitChildren = [](TBaseVirtualTree* s, PVirtualNode node, uint32_t& count) {
      count = gModel->Pick(4);
      if (gModel->Pick(3) == 0) gModel->Hostile(s, node);
    };
    t->OnCompareNodes = [](TBaseVirtualTree* s, PVirtualNode node1, PVirtualNode, TColumnIndex, int& result) {
      result = gModel->Pick(3) - 1;
      if (gModel->Pick(4) == 0) gModel->Hostile(s, node1);
    };
    t->OnIncrementalSearch = [](TBaseVirtualTree* s, PVirtualNode node, const std::u16string&, int& result) {
      result = gModel->Pick(3) == 0 ? 0 : 1;
      gModel->Hostile(s, node);
    };
    t->OnGetPopupMenu = [](TBaseVirtualTree* s, PVirtualNode node, TColumnIndex, TPoint, bool& askParent,
                           TComponent*&) {
      askParent = gModel->Pick(2) != 0;
      gModel->Hostile(s, node);
    };
    t->OnFreeNode = [](TBaseVirtualTree* s, PVirtualNode node) { gModel->WhileFreed(static_cast<THostileTree*>(s), node); };
    t->OnNodeCopying = [](TBaseVirtualTree* s, PVirtualNode node, PVirtualNode, bool& allowed) {
      if (gModel->counting) {
        ++gModel->copyAsks;
        allowed = gModel->Pick(3) == 0;
        gModel->copyAllowed += allowed;
        return;
      }
      allowed = gModel->Hostile(s, node);
    };
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

  // True when node is a node of t now (in the normal build a new node may
  // have taken a freed node's record: then that is the node found).
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
    if (quiet) return true;
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
    try {
      MutateOnce(told, t);
    } catch (const EVirtualTreeError&) {
      // Refused with the tree's own error: a handler on the way put the
      // target below the node to move.
    }
  }

  void MutateOnce(PVirtualNode told, THostileTree* t) {
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

  // A node is being freed: now and then its handler clears the tree, empties
  // the root, moves or copies nodes into the node going or moves any node
  // away (an ancestor of a branch being cleared, say), collapses its parent
  // or asks for children of it.
  void WhileFreed(THostileTree* t, PVirtualNode node) {
    if (quiet || depth >= 2 || Pick(6) != 0) return;
    ++depth;
    try {
      PVirtualNode some = AnyNode(t);
      switch (Pick(8)) {
        case 0: t->Clear(); break;
        case 1: t->SetRootNodeCount(0); break;
        case 2: if (some != nullptr && some != node && !t->HasAsParent(node, some)) t->MoveTo(some, node, amAddChildLast, false); break;
        case 3: if (some != nullptr && t->RootNode()->TotalCount < 120) t->CopyTo(some, node, amAddChildLast, false); break;
        case 4: {
          PVirtualNode target = AnyNode(t);
          if (some != nullptr && target != nullptr && some != target && !t->HasAsParent(target, some))
            t->MoveTo(some, target, static_cast<TVTNodeAttachMode>(1 + Pick(4)), false);
          break;
        }
        case 5: if (node->Parent != t->RootNode()) t->ToggleNode(node->Parent); break;
        case 6: t->AddChild(node); t->SetChildCount(node, 2); break;
        case 7: Mutate(nullptr, t); break;
      }
    } catch (const EAssertionFailed&) {
      // Refused as a whole (nodes are not deleted while a stream is read).
    } catch (const EVirtualTreeError&) {
      // Refused with the tree's own error (a node moved into itself).
    }
    --depth;
  }

  // The content of a random source as text, HTML or RTF, the texts' handler hostile.
  void Export() {
    auto source = static_cast<TVSTTextSourceType>(Pick(5));
    hostileText = true;
    switch (Pick(3)) {
      case 0: tree->ContentToText(source, ','); break;
      case 1: tree->ContentToHTML(source); break;
      case 2: tree->ContentToRTF(source); break;
    }
    hostileText = false;
  }

  // Walks the tree with initialisation; every node handed out is in the tree.
  void Walk() {
    bool backwards = Pick(2) != 0;
    int steps = 0;
    for (PVirtualNode n = backwards ? tree->GetLast() : tree->GetFirst(); n != nullptr && steps < 400; ++steps) {
      if (!Holds(tree, n)) {
        finding = "a walk handed out a node not in the tree";
        return;
      }
      n = backwards ? tree->GetPrevious(n) : tree->GetNext(n);
    }
  }

  void RightClick(PVirtualNode node) {
    if (node == nullptr || !tree->IsVisible(node)) return;
    tree->ScrollIntoView(node, false, false);
    if (!Holds(tree, node)) return;
    TRect r = tree->GetDisplayRect(node, NoColumn, true);
    LPARAM at = MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
    SendMessageW(tree->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    SendMessageW(tree->Handle(), WM_RBUTTONUP, 0, at);
  }

  // Copies (CopyTo, or the clipboard and a paste) whose copies the handler
  // refuses at random, with every other handler quiet: the copy handler is
  // asked once per node copied and exactly the copies it allowed stay.
  void CountedCopy() {
    THostileTree* to = Pick(2) ? tree : other;
    PVirtualNode source = AnyNode(tree);
    PVirtualNode target = AnyNode(to);
    if (source == nullptr || to->RootNode()->TotalCount + source->TotalCount > 150) return;
    quiet = true;
    counting = true;
    copyAsks = copyAllowed = 0;
    bool paste = Pick(2) != 0;
    bool childrenOnly = !paste && Pick(2) != 0;
    // The target is made ready first, so that only copies add to its children.
    // (A copy to null goes to the copying tree's root: the other root is named.)
    if (target == nullptr) target = to->RootNode();
    if (target != to->RootNode()) {
      if (!(target->States & vsInitialized)) to->InitNode(target);
      if ((target->States & vsHasChildren) && target->ChildCount == 0) to->InitChildren(target);
    }
    uint32_t before = to->GetChildCount(target);
    uint32_t copied = childrenOnly ? source->ChildCount : 1;
    bool pasted = false;
    if (paste) {
      tree->ClearSelection();
      tree->AddToSelection(source);
      tree->CopyToClipBoard();
      to->SetFocusedNode(target == to->RootNode() ? nullptr : target);
      to->SetDefaultPasteMode(amAddChildLast);
      pasted = to->PasteFromClipboard();
    } else {
      tree->CopyTo(source, target, amAddChildLast, childrenOnly);
    }
    uint32_t after = to->GetChildCount(target);
    counting = false;
    quiet = false;
    if (childrenOnly && source->ChildCount != copied) return;  // made on the way: not counted here
    if (copyAsks != copied || after - before != copyAllowed || (paste && pasted != (copyAllowed > 0)))
      finding = "copies: asked " + std::to_string(copyAsks) + " of " + std::to_string(copied) + ", allowed " +
                std::to_string(copyAllowed) + ", " + std::to_string(after - before) + " stayed" +
                (paste ? pasted ? ", pasted" : ", nothing pasted" : "");
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
  bool hostileText = false;  // the text handler is hostile (exports and saving only, not painting)
  bool quiet = false;        // no handler changes anything
  bool counting = false;     // the copy handler counts and refuses at random
  uint32_t copyAsks = 0;
  uint32_t copyAllowed = 0;
};

}  // namespace

TEST(HostileHandlers, RandomStepsTouchNoFreedNodeAndKeepEveryInvariant) {
  Application->Initialize();
  OleInitialize(nullptr);
  const uint32_t rounds = std::getenv("QV_LONG") ? 1000 : 8;
  // QV_SEED=n runs that seed alone (with QV_TRACE=1 each step is named as it starts).
  const uint32_t only = std::getenv("QV_SEED") ? uint32_t(std::strtoul(std::getenv("QV_SEED"), nullptr, 10)) : 0;
  for (uint32_t seed = only ? only : 1; seed <= (only ? only : rounds); ++seed) {
    THostileModel model(seed);
    std::string trail;
    for (int step = 0; step < 400; ++step) {
      if (std::getenv("QV_TRACE")) std::fprintf(stderr, "seed %u step %d\n", seed, step);
      int op = -1;
      try {
        op = model.Step();
      } catch (const std::exception& e) {
        FAIL() << "seed " << seed << " step " << step << ": " << e.what() << "\nops " << trail;
      }
      trail += std::to_string(op) + " ";
      std::string problem = model.Check();
      ASSERT_EQ(problem, "") << "seed " << seed << " step " << step << " op " << op << "\nops " << trail;
    }
  }
}
