// Random operations on two string trees in a real window: structure, moves
// and copies between the trees, streams, the clipboard, sorting, toggling,
// heights, options, columns, check boxes, editing, keys and clicks, header
// clicks, drags and column fitting, resizing, paints.
// After every step the node model's invariants hold, every node the tree
// remembers is one of its nodes, and the focused and main column exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

int& KeyOf(TBaseVirtualTree* tree, PVirtualNode node) { return *static_cast<int*>(tree->GetNodeData(node)); }

template <class Set, class Value>
Set Flipped(Set set, Value value) {
  return set.Contains(value) ? set.Exclude(value) : set.Include(value);
}

class TWindowedModel {
public:
  explicit TWindowedModel(uint32_t seed) : rng(seed) {
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 520, 320);
    tree = MakeTree(0, 400);
    second = MakeTree(400, 110);
    form->Show();
  }
  ~TWindowedModel() {
    if (form != nullptr) form->Free();
  }

  // One random operation; returns its number.
  int Step() {
    PVirtualNode node = AnyNode(tree);
    int total = static_cast<int>(tree->RootNode()->TotalCount);
    bool room = total < 250;
    HWND window = tree->Handle();
    int op = Pick(35);
    switch (op) {
      case 0: if (room) Keyed(tree->AddChild(Pick(4) == 0 ? nullptr : node)); break;
      case 1: tree->DeleteNode(node); break;
      case 2: if (room) { tree->SetChildCount(node, Pick(6)); KeyNewNodes(tree); } break;
      case 3: if (node) tree->ToggleNode(node); break;
      case 4: if (node) tree->SetSelected(node, !tree->GetSelected(node)); break;
      case 5: tree->SetFocusedNode(node); break;
      case 6: if (node) tree->ScrollIntoView(node, Pick(2), Pick(2)); else tree->SetOffsetY(-Pick(2000)); break;
      case 7:
        tree->Sort(Pick(3) == 0 ? nullptr : node, tree->Header()->MainColumn(),
                   Pick(2) ? sdAscending : sdDescending, Pick(2));
        break;
      case 8: if (Pick(2)) tree->FullCollapse(Pick(2) ? nullptr : node); else if (room) tree->FullExpand(node); break;
      case 9: if (Pick(3) == 0) tree->ResetNode(node); else if (node) tree->ReinitNode(node, Pick(2)); break;
      case 10: MoveOrCopyInside(node); break;
      case 11: if (node) tree->SetNodeHeight(node, Pick(40)); break;
      case 12: if (node) tree->SetIsVisible(node, !tree->IsVisible(node)); break;
      case 13: if (node) tree->SetMultiline(node, !(node->States & vsMultiline)); break;
      case 14: RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW); break;
      case 15: case 16: Key(window); break;
      case 17: case 18: Click(window); break;
      case 19:
        switch (Pick(3)) {
          case 0: tree->InvertSelection(Pick(2)); break;
          case 1: tree->SelectAll(Pick(2)); break;
          case 2: if (Pick(4) == 0) tree->DeleteSelectedNodes(); break;
        }
        break;
      case 20: case 21: ChangeColumns(); break;
      case 22: ChangeOptions(); break;
      case 23: if (node) tree->SetCheckType(node, static_cast<TCheckType>(Pick(5))); break;
      case 24: if (node) tree->SetCheckState(node, static_cast<TCheckState>(2 * Pick(3))); break;
      case 25: if (Pick(15) == 0) tree->Clear(); break;
      case 26: Bracketed(room); break;
      case 27: if (total < 200) ThroughStream(node); break;
      case 28: Edit(node); break;
      case 29: if (total < 200) ThroughClipboard(); break;
      case 30: if (total < 200) ToTheOtherTree(node); break;
      case 31: FromTheOtherTree(node); break;
      case 32: case 33: Header(window); break;
      case 34: {
        TVTHeader* h = tree->Header();
        switch (Pick(4)) {
          case 0: h->SetOptions(Flipped(h->Options(), hoAutoResize)); break;
          case 1: h->SetOptions(Flipped(h->Options(), hoAutoSpring)); break;
          case 2: tree->SetBounds(0, 0, 200 + Pick(250), 100 + Pick(150)); break;
          case 3: h->SetSortColumn(h->Columns()->Count() > 0 ? Pick(h->Columns()->Count()) : NoColumn);
                  tree->TreeOptions()->SetAutoOptions(Flipped(tree->TreeOptions()->AutoOptions(), toAutoSort)); break;
        }
        break;
      }
    }
    return op;
  }

  // The first thing that does not hold, or "".
  std::string Check() {
    for (TVirtualStringTree* t : {tree, second}) {
      std::string problem = CheckTreeInvariants(*t);
      if (!problem.empty()) return problem;
      std::vector<PVirtualNode> all = AllNodes(*t);
      auto known = [&](PVirtualNode n) { return n == nullptr || std::find(all.begin(), all.end(), n) != all.end(); };
      if (!known(t->FocusedNode())) return "focused node not in the tree";
      if (!known(t->HotNode())) return "hot node not in the tree";
      if (t->GetSelectionInOrder(false).size() != t->SelectedCount()) return "selection in order vs count";
      int count = t->Header()->Columns()->Count();
      if (t->FocusedColumn() < NoColumn || t->FocusedColumn() >= count)
        return "focused column " + std::to_string(t->FocusedColumn()) + " of " + std::to_string(count);
      TColumnIndex main = t->Header()->MainColumn();
      if (count == 0 ? main != NoColumn : main < 0 || main >= count) return "main column";
    }
    return "";
  }

private:
  TVirtualStringTree* MakeTree(int left, int width) {
    auto* t = New<TVirtualStringTree>(form);
    t->SetParent(form);
    t->SetBounds(left, 0, width, 250);
    t->SetNodeDataSize(sizeof(int));
    t->OnGetText = [](TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TVSTTextType,
                      std::u16string& text) {
      std::string s = "N" + std::to_string(KeyOf(sender, node)) + "c" + std::to_string(column);
      text.assign(s.begin(), s.end());
    };
    t->OnCompareNodes = [](TBaseVirtualTree* sender, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
      result = KeyOf(sender, a) - KeyOf(sender, b);
    };
    t->OnMeasureItem = [](TBaseVirtualTree* sender, TCanvas*, PVirtualNode node, int& height) {
      height = 10 + KeyOf(sender, node) % 20;
    };
    return t;
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  PVirtualNode AnyNode(TVirtualStringTree* t) {
    std::vector<PVirtualNode> all = AllNodes(*t);
    return all.empty() ? nullptr : all[Pick(static_cast<int>(all.size()))];
  }
  void Keyed(PVirtualNode node) {
    if (node != nullptr) KeyOf(tree, node) = nextKey++;
  }
  void KeyNewNodes(TVirtualStringTree* t) {
    for (PVirtualNode run : AllNodes(*t))
      if (!(run->States & vsInitialized)) KeyOf(t, run) = nextKey++;
  }
  TVTNodeAttachMode AnyMode() { return static_cast<TVTNodeAttachMode>(1 + Pick(4)); }

  void MoveOrCopyInside(PVirtualNode node) {
    PVirtualNode target = AnyNode(tree);
    if (node == nullptr || target == nullptr || node == target || tree->HasAsParent(target, node)) return;
    if (Pick(2) || tree->RootNode()->TotalCount > 200) {
      tree->MoveTo(node, target, AnyMode(), Pick(3) == 0);
    } else {
      tree->CopyTo(node, target, AnyMode(), false);
      KeyNewNodes(tree);
    }
  }

  void Key(HWND window) {
    static const WORD keys[] = {VK_UP,    VK_DOWN,     VK_LEFT,     VK_RIGHT,  VK_HOME, VK_END, VK_PRIOR,
                                VK_NEXT,  VK_ADD,      VK_SUBTRACT, VK_MULTIPLY, VK_DIVIDE, VK_SPACE, VK_BACK,
                                VK_TAB,   'A',         VK_APPS,     VK_ESCAPE, VK_F2};
    WORD key = keys[Pick(sizeof(keys) / sizeof(keys[0]))];
    SendMessageW(window, WM_KEYDOWN, key, 1);
    if (key == 'A') SendMessageW(window, WM_CHAR, 'a', 1);
    SendMessageW(window, WM_KEYUP, key, 0xC0000001);
  }

  // Presses and releases inside the client area (a release above it would
  // reach the form's caption, where the system menu opens).
  void Click(HWND window) {
    int x = Pick(400), y = Pick(250);
    WPARAM keys = Pick(3) == 0 ? MK_SHIFT : Pick(3) == 0 ? MK_CONTROL : 0;
    LPARAM at = MAKELPARAM(x, y);
    bool right = Pick(4) == 0;
    SendMessageW(window, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, keys | (right ? MK_RBUTTON : MK_LBUTTON), at);
    if (Pick(3) == 0) SendMessageW(window, WM_MOUSEMOVE, keys | MK_LBUTTON, MAKELPARAM(x + Pick(60) - 30, y + Pick(60) - 30));
    SendMessageW(window, right ? WM_RBUTTONUP : WM_LBUTTONUP, keys, at);
    if (Pick(5) == 0) {
      SendMessageW(window, WM_LBUTTONDBLCLK, keys | MK_LBUTTON, at);
      SendMessageW(window, WM_LBUTTONUP, keys, at);
    }
  }

  void Header(HWND window) {
    TVTHeader* h = tree->Header();
    h->SetOptions(h->Options().Include(hoDblClickResize).Include(hoDrag).Include(hoHotTrack));
    POINT p{Pick(420) - 10, -1 - Pick(int(h->Height()))};
    ClientToScreen(window, &p);
    LPARAM at = MAKELPARAM(p.x, p.y);
    POINT q{Pick(400), Pick(250) - 20};
    POINT qs = q;
    ClientToScreen(window, &qs);
    switch (Pick(5)) {
      case 0: SendMessageW(window, WM_NCMOUSEMOVE, HTBORDER, at); break;
      case 1:
        SendMessageW(window, WM_NCLBUTTONDOWN, HTBORDER, at);
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(q.x, q.y));
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(q.x + 5, q.y));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(q.x + 5, q.y));
        break;
      case 2:
        SendMessageW(window, WM_NCLBUTTONDOWN, HTBORDER, at);
        SendMessageW(window, WM_NCLBUTTONUP, HTBORDER, at);
        SendMessageW(window, WM_NCLBUTTONDBLCLK, HTBORDER, at);
        SendMessageW(window, WM_NCLBUTTONUP, HTBORDER, at);
        break;
      case 3:
        SendMessageW(window, WM_NCLBUTTONDOWN, HTBORDER, at);
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(q.x, q.y));
        SendMessageW(window, WM_KEYDOWN, VK_ESCAPE, 1);
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(q.x, q.y));
        break;
      case 4: {
        WORD key = Pick(2) ? VK_ADD : VK_SUBTRACT;
        BYTE state[256];
        GetKeyboardState(state);
        BYTE old = state[VK_CONTROL];
        state[VK_CONTROL] = 0x80;
        SetKeyboardState(state);
        SendMessageW(window, WM_KEYDOWN, key, 1);
        state[VK_CONTROL] = old;
        SetKeyboardState(state);
        SendMessageW(window, WM_KEYUP, key, 0xC0000001);
        break;
      }
    }
    (void)qs;
  }

  void ChangeColumns() {
    TVirtualTreeColumns* columns = tree->Header()->Columns();
    int count = columns->Count();
    TColumnIndex some = count > 0 ? Pick(count) : NoColumn;
    switch (Pick(6)) {
      case 0:
        if (count < 5) {
          columns->Add()->SetWidth(40 + Pick(100));
          tree->Header()->SetOptions(tree->Header()->Options().Include(hoVisible));
        }
        break;
      case 1: columns->Delete(some); break;
      case 2: if (some >= 0) columns->Items(some)->SetPosition(Pick(count)); break;
      case 3: tree->Header()->SetMainColumn(some); break;
      case 4:
        if (some >= 0) {
          TVirtualTreeColumn* c = columns->Items(some);
          c->SetOptions(Flipped(c->Options(), coVisible));
        }
        break;
      case 5: tree->SetFocusedColumn(some); break;
    }
  }

  void ChangeOptions() {
    TCustomVirtualTreeOptions* o = tree->TreeOptions();
    switch (Pick(7)) {
      case 0: o->SetMiscOptions(Flipped(o->MiscOptions(), toCheckSupport)); break;
      case 1: o->SetSelectionOptions(Flipped(o->SelectionOptions(), toMultiSelect)); break;
      case 2: o->SetSelectionOptions(Flipped(o->SelectionOptions(), toFullRowSelect)); break;
      case 3: o->SetAutoOptions(Flipped(o->AutoOptions(), toAutoFreeOnCollapse)); break;
      case 4: o->SetMiscOptions(Flipped(o->MiscOptions(), toVariableNodeHeight)); break;
      case 5: o->SetAutoOptions(Flipped(o->AutoOptions(), toAutoSpanColumns)); break;
      case 6: o->SetSelectionOptions(Flipped(o->SelectionOptions(), toExtendedFocus)); break;
    }
  }

  void Bracketed(bool room) {
    tree->BeginUpdate();
    for (int i = 0; i < 3; ++i) {
      PVirtualNode n = AnyNode(tree);
      if (n != nullptr && Pick(2))
        tree->DeleteNode(n);
      else if (room)
        Keyed(tree->AddChild(n));
    }
    if (PVirtualNode n = AnyNode(tree)) tree->ToggleNode(n);
    tree->EndUpdate();
  }

  void ThroughStream(PVirtualNode node) {
    TMemoryStream* stream = New<TMemoryStream>();
    tree->SaveToStream(stream, Pick(2) ? nullptr : node);
    stream->SetPosition(0);
    if (Pick(2)) {
      tree->LoadFromStream(stream);
      KeyNewNodes(tree);
    }
    stream->Free();
  }

  void Edit(PVirtualNode node) {
    if (tree->IsEditing()) {
      switch (Pick(4)) {
        case 0: tree->EndEditNode(); break;
        case 1: tree->CancelEditNode(); break;
        case 2: tree->DeleteNode(tree->FocusedNode()); break;
        case 3: tree->SetFocusedNode(AnyNode(tree)); break;
      }
      return;
    }
    if (node == nullptr) return;
    tree->TreeOptions()->SetMiscOptions(tree->TreeOptions()->MiscOptions().Include(toEditable));
    tree->SetFocus();
    int count = tree->Header()->Columns()->Count();
    tree->EditNode(node, count > 0 ? Pick(count) : NoColumn);
  }

  void ThroughClipboard() {
    if (Pick(2))
      tree->CutToClipBoard();
    else
      tree->CopyToClipBoard();
    tree->SetFocusedNode(AnyNode(tree));
    if (Pick(2)) {
      tree->PasteFromClipboard();
      KeyNewNodes(tree);
    }
  }

  void ToTheOtherTree(PVirtualNode node) {
    if (node == nullptr) return;
    PVirtualNode target = Pick(4) == 0 ? nullptr : AnyNode(second);
    if (Pick(2))
      tree->MoveTo(node, target, target != nullptr ? AnyMode() : amAddChildLast, Pick(4) == 0);
    else if (target != nullptr)
      tree->CopyTo(node, target, AnyMode(), false);
  }

  void FromTheOtherTree(PVirtualNode node) {
    PVirtualNode there = AnyNode(second);
    if (there == nullptr) return;
    if (node != nullptr && second->RootNode()->TotalCount < 200)
      second->MoveTo(there, node, AnyMode(), false);
    else
      second->DeleteNode(there);
    KeyNewNodes(tree);
  }

  std::mt19937 rng;
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
  TVirtualStringTree* second = nullptr;
  int nextKey = 0;
};

}  // namespace

TEST(WindowedModel, RandomOperationsKeepEveryInvariant) {
  Application->Initialize();
  const uint32_t rounds = std::getenv("QV_LONG") ? 150 : 4;
  for (uint32_t seed = 1; seed <= rounds; ++seed) {
    TWindowedModel model(seed);
    std::string trail;
    for (int step = 0; step < 500; ++step) {
      int op = model.Step();
      trail += std::to_string(op) + " ";
      std::string problem = model.Check();
      ASSERT_EQ(problem, "") << "seed " << seed << " step " << step << " op " << op << "\nops " << trail;
    }
  }
}

// The two ways the model found to a focused column of "none there" (-2).
TEST(WindowedModel, TheFocusedColumnIsNeverTheSpaceRightOfTheColumns) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(10, 10, 520, 320);
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 250);
  tree->SetNodeDataSize(0);
  TVirtualTreeColumns* columns = tree->Header()->Columns();
  for (int i = 0; i < 2; ++i) columns->Add()->SetWidth(80);
  tree->Header()->SetOptions(tree->Header()->Options().Include(hoVisible));
  TCustomVirtualTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toFullRowSelect).Include(toExtendedFocus));
  tree->SetRootNodeCount(3);
  form->Show();
  tree->SetFocusedNode(tree->GetFirst());
  tree->SetFocusedColumn(1);
  // A click in the row, right of both columns: the row is taken, the column stays.
  TRect row = tree->GetDisplayRect(tree->GetNextSibling(tree->GetFirst()), NoColumn, false);
  LPARAM at = MAKELPARAM(300, (row.Top + row.Bottom) / 2);
  SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(tree->FocusedNode(), tree->GetNextSibling(tree->GetFirst()));
  EXPECT_EQ(tree->FocusedColumn(), 1);
  // Every column hidden: selecting keeps a column that exists.
  for (int i = 0; i < 2; ++i) columns->Items(i)->SetOptions(columns->Items(i)->Options().Exclude(coVisible));
  tree->ClearSelection();
  tree->SetFocusedColumn(NoColumn);
  tree->SetSelected(tree->GetFirst(), true);
  EXPECT_GE(tree->FocusedColumn(), NoColumn);
  form->Free();
}
