// A change handler that frees the whole tree (a view closed when its
// selection changes, or when nodes come or go): reported at the end of an
// update or after the change delay, the tree is touched no more. Under Wine's heap checking a touch of
// the freed tree faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/FencedObjects.h"
#include "core/MemoryStream.h"
#include "tree/VirtualTrees.h"
#include "tree/StringEditLink.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

TVirtualStringTree* gDoomedTree = nullptr;

// Opens the drag steps to a test, as the drag loop and its timer reach them.
struct TDoomedTree : TVirtualStringTree {
  using TVirtualStringTree::DeleteMovedDragNodes;
  using TVirtualStringTree::DoDragExpand;
  using TVirtualStringTree::DoStateChange;
  void SetDropTarget(PVirtualNode node) { dropTargetNode = node; }
};

// A shown form holding gDoomedTree with three root nodes.
TForm* ShowDoomedTree(bool autoSort) {
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 360, 260);
  // Fenced: a touch of the released tree faults where it happens.
  SetObjectFencing(sizeof(TDoomedTree));
  gDoomedTree = New<TDoomedTree>(form);
  SetObjectFencing(0);
  gDoomedTree->SetParent(form);
  gDoomedTree->SetBounds(0, 0, 300, 200);
  gDoomedTree->SetNodeDataSize(0);
  gDoomedTree->SetRootNodeCount(3);
  if (autoSort) gDoomedTree->TreeOptions()->SetAutoOptions(gDoomedTree->TreeOptions()->AutoOptions().Include(toAutoSort));
  form->Show();
  return form;
}

// What the handlers do; also the end of a case whose handler never ran.
void FreeDoomedTree() {
  if (gDoomedTree != nullptr) std::exchange(gDoomedTree, nullptr)->Free();
}

}  // namespace

TEST(FreedTree, AChangeHandlerThatFreesTheTreeLeavesItUntouched) {
  Application->Initialize();
  for (bool delayed : {false, true}) {
    SCOPED_TRACE(delayed ? "after the change delay" : "at the end of an update");
    TForm* form = ShowDoomedTree(/*autoSort=*/true);
    PVirtualNode first = gDoomedTree->GetFirst();
    ASSERT_NE(first, nullptr);
    HWND window = gDoomedTree->Handle();
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    if (delayed) {
      gDoomedTree->SetChangeDelay(20);
      gDoomedTree->AddToSelection(first);
      qvtest::PumpUntil([] { return gDoomedTree == nullptr; }, 3000);
    } else {
      TVirtualStringTree* tree = gDoomedTree;
      tree->BeginUpdate();
      tree->AddToSelection(first);
      tree->EndUpdate();
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

// Selecting a node reports the change at once: a handler that frees the tree
// there (after the old selection was cleared, or after the node was added)
// ends the selection with the tree, and the nodes it held are not read again.
TEST(FreedTree, AChangeHandlerThatFreesTheTreeWhileANodeIsSelected) {
  Application->Initialize();
  for (bool clearFirst : {false, true}) {
    SCOPED_TRACE(clearFirst ? "the old selection cleared" : "the node added");
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    PVirtualNode first = gDoomedTree->GetFirst();
    PVirtualNode second = gDoomedTree->GetNext(first);
    ASSERT_NE(second, nullptr);
    if (clearFirst) gDoomedTree->SetSelected(first, true);
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    gDoomedTree->SetSelected(second, true);
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    FreeDoomedTree();
    form->Free();
  }
}

// A click or a key that moves the selection reports the change at once: a
// handler that frees the tree there ends the click or the key with it.
TEST(FreedTree, AChangeHandlerThatFreesTheTreeOnAClickOrAKey) {
  Application->Initialize();
  for (bool key : {false, true}) {
    SCOPED_TRACE(key ? "the Down key" : "a click");
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    PVirtualNode first = gDoomedTree->GetFirst();
    PVirtualNode second = gDoomedTree->GetNext(first);
    ASSERT_NE(second, nullptr);
    gDoomedTree->SetFocusedNode(first);
    gDoomedTree->SetSelected(first, true);
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    HWND window = gDoomedTree->Handle();
    if (key) {
      SendMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
    } else {
      TRect r = gDoomedTree->GetDisplayRect(second, NoColumn, true);
      LPARAM at = MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
      SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
      if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, at);
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

TEST(FreedTree, AStructureChangeHandlerThatFreesTheTreeLeavesItUntouched) {
  Application->Initialize();
  for (bool delayed : {false, true}) {
    SCOPED_TRACE(delayed ? "after the change delay" : "at the end of an update");
    TForm* form = ShowDoomedTree(/*autoSort=*/true);
    HWND window = gDoomedTree->Handle();
    gDoomedTree->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
    if (delayed) {
      gDoomedTree->SetChangeDelay(20);
      gDoomedTree->SetRootNodeCount(4);
      qvtest::PumpUntil([] { return gDoomedTree == nullptr; }, 3000);
    } else {
      TVirtualStringTree* tree = gDoomedTree;
      tree->BeginUpdate();
      tree->SetRootNodeCount(4);
      tree->EndUpdate();
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the structure change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

namespace {

// One way for a handler to free the tree, and what sets it off.
struct TFreeingCase {
  const char* name;
  void (*prepare)(TVirtualStringTree* tree, PVirtualNode first);  // before the handler is set
  void (*install)(TVirtualStringTree* tree);
  void (*act)(TVirtualStringTree* tree, PVirtualNode first);
};

void GiveChildren(TVirtualStringTree* tree, PVirtualNode first) { tree->SetChildCount(first, 3); }
void GiveChildrenExpanded(TVirtualStringTree* tree, PVirtualNode first) {
  tree->SetChildCount(first, 3);
  tree->SetExpanded(first, true);
}
void GiveInitialisedChildren(TVirtualStringTree* tree, PVirtualNode first) {
  tree->SetChildCount(first, 3);
  for (PVirtualNode child = first->FirstChild; child != nullptr; child = child->NextSibling) tree->InitNode(child);
}
void Nothing(TVirtualStringTree*, PVirtualNode) {}
void AllowMultiSelect(TVirtualStringTree* tree, PVirtualNode) {
  TCustomStringTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
}
void PressKey(TVirtualStringTree* tree, WORD key) {
  HWND window = tree->Handle();
  SendMessageW(window, WM_KEYDOWN, key, 1);
  if (IsWindow(window)) SendMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// A press and release of a button on node's label (a double click when down is WM_LBUTTONDBLCLK).
void ClickOn(TVirtualStringTree* tree, PVirtualNode node, UINT down, UINT up, WPARAM buttons) {
  HWND window = tree->Handle();
  TRect r = tree->GetDisplayRect(node, NoColumn, true);
  LPARAM at = MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
  SendMessageW(window, down, buttons, at);
  if (IsWindow(window)) SendMessageW(window, up, 0, at);
}
// A left click where the hit test finds what on node's row.
void ClickAt(TVirtualStringTree* tree, PVirtualNode node, THitPosition what) {
  HWND window = tree->Handle();
  TRect r = tree->GetDisplayRect(node, NoColumn, false);
  int y = (r.Top + r.Bottom) / 2;
  for (int x = 0; x < r.Right; ++x) {
    THitInfo hit;
    tree->GetHitTestInfoAt(x, y, true, hit);
    if (!hit.HitPositions.Contains(what)) continue;
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    return;
  }
  ADD_FAILURE() << "nothing found there";
}
void ClickButton(TVirtualStringTree* tree, PVirtualNode first) { ClickAt(tree, first, hiOnItemButton); }

void FreeOnGetText(TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::u16string& text) {
  text = u"x";
  FreeDoomedTree();
}
void FreeOnScroll(TBaseVirtualTree*, int, int) { FreeDoomedTree(); }
void ManyNodes(TVirtualStringTree* tree, PVirtualNode) { tree->SetRootNodeCount(200); }
// Three columns under a visible header.
void ShowColumns(TVirtualStringTree* tree, PVirtualNode) {
  TVTHeader* header = tree->Header();
  for (int i = 0; i < 3; ++i) header->Columns()->Add()->SetWidth(90);
  header->SetHeight(20);
  header->SetOptions(header->Options().Include(hoVisible));
}
// A left click on the second column's caption (pressed over the header, released in the window).
void ClickColumn(TVirtualStringTree* tree, PVirtualNode) {
  HWND window = tree->Handle();
  POINT pt{130, -10};
  ClientToScreen(window, &pt);
  SendMessageW(window, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(pt.x, pt.y));
  if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(130, -10));
}
// A press and release of another button on the second column's caption, both over the header.
void ClickColumnWith(TVirtualStringTree* tree, UINT down, UINT up) {
  HWND window = tree->Handle();
  POINT pt{130, -10};
  ClientToScreen(window, &pt);
  SendMessageW(window, down, HTBORDER, MAKELPARAM(pt.x, pt.y));
  if (IsWindow(window)) SendMessageW(window, up, HTBORDER, MAKELPARAM(pt.x, pt.y));
}
// The tree paints now what its window shows.
void PaintNow(TVirtualStringTree* tree, PVirtualNode) {
  HWND window = tree->Handle();
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
}
// An edit of node's caption opened and ended (its text taken).
void EditAndEnd(TVirtualStringTree* tree, PVirtualNode node) {
  ASSERT_TRUE(tree->EditNode(node, NoColumn));
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->IsEditing(); }, 2000));
  HWND editor = GetFocus();
  SetWindowTextW(editor, L"changed");
  SendMessageW(editor, EM_SETMODIFY, TRUE, 0);
  tree->EndEditNode();
}
void FreeOnChanging(TBaseVirtualTree*, PVirtualNode, bool&) { FreeDoomedTree(); }
void FreeOnNode(TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); }
template <TVirtualTreeState state, bool entering = true>
void FreeOnEntering(TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates leave) {
  if ((entering ? enter : leave).Contains(state)) FreeDoomedTree();
}

const TFreeingCase kFreeingCases[] = {
    {"OnExpanding, ToggleNode", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanding = FreeOnChanging; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnExpanded, ToggleNode", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnCollapsing, ToggleNode", GiveChildrenExpanded, [](TVirtualStringTree* t) { t->OnCollapsing = FreeOnChanging; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnCollapsed, ToggleNode", GiveChildrenExpanded, [](TVirtualStringTree* t) { t->OnCollapsed = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnInitChildren, ToggleNode", [](TVirtualStringTree* t, PVirtualNode n) { t->SetHasChildren(n, true); },
     [](TVirtualStringTree* t) {
       t->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) {
         count = 2;
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnExpanded, a click on the button", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     ClickButton},
    {"OnCollapsed, a click on the button", GiveChildrenExpanded,
     [](TVirtualStringTree* t) { t->OnCollapsed = FreeOnNode; }, ClickButton},
    {"OnExpanded, the plus key", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetFocusedNode(n);
       PressKey(t, VK_ADD);
     }},
    {"OnExpanded, the right key", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetFocusedNode(n);
       PressKey(t, VK_RIGHT);
     }},
    {"OnCollapsed, the left key", GiveChildrenExpanded, [](TVirtualStringTree* t) { t->OnCollapsed = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetFocusedNode(n);
       PressKey(t, VK_LEFT);
     }},
    {"OnExpanded, FullExpand", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->FullExpand(nullptr); }},
    {"OnCollapsed, FullCollapse", GiveChildrenExpanded, [](TVirtualStringTree* t) { t->OnCollapsed = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->FullCollapse(nullptr); }},
    {"OnExpanded, ScrollIntoView of a hidden child", GiveChildren,
     [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ScrollIntoView(n->FirstChild, false); }},
    {"OnExpanded, SetExpanded", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->SetExpanded(n, true); }},
    {"OnChange, AddToSelection", Nothing, [](TVirtualStringTree* t) { t->OnChange = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->AddToSelection(n); }},
    {"OnChange, AddToSelection of several", Nothing, [](TVirtualStringTree* t) { t->OnChange = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->AddToSelection({n, n->NextSibling}, false); }},
    {"OnChange, SetSelected", Nothing, [](TVirtualStringTree* t) { t->OnChange = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->SetSelected(n, true); }},
    {"OnChange, SelectAll", AllowMultiSelect, [](TVirtualStringTree* t) { t->OnChange = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->SelectAll(false); }},
    {"OnChange, InvertSelection", AllowMultiSelect, [](TVirtualStringTree* t) { t->OnChange = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->InvertSelection(false); }},
    {"OnFocusChanged, SetFocusedNode", Nothing, [](TVirtualStringTree* t) { t->OnFocusChanged = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->SetFocusedNode(n); }},
    {"OnCompareNodes, Sort", Nothing,
     [](TVirtualStringTree* t) {
       t->OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, int& r) {
         r = 1;
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->Sort(nullptr, 0, sdAscending, false); }},
    {"OnCompareNodes, SortTree", GiveChildrenExpanded,
     [](TVirtualStringTree* t) {
       t->OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, int& r) {
         r = -1;
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->SortTree(0, sdAscending, true); }},
    {"OnInitNode, Sort with initialisation", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->Sort(n, 0, sdAscending, true); }},
    {"OnInitNode, SortTree with initialisation", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->SortTree(0, sdAscending, true); }},
    {"OnInitNode, ReinitNode", Nothing,
     [](TVirtualStringTree* t) {
       t->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ReinitNode(n, true); }},
    {"OnInitNode, ReinitChildren", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->ReinitChildren(nullptr, true); }},
    {"OnInitChildren, ReinitChildren", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ReinitChildren(n, true); }},
    {"OnFreeNode, DeleteNode", Nothing, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->DeleteNode(n); }},
    {"OnFreeNode, DeleteChildren", GiveInitialisedChildren, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->DeleteChildren(n, true); }},
    {"OnFreeNode, Clear", Nothing, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->Clear(); }},
    {"OnFreeNode, a smaller RootNodeCount", Nothing, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode) { t->SetRootNodeCount(1); }},
    {"OnFreeNode, ResetNode", GiveInitialisedChildren, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ResetNode(n); }},
    {"OnFreeNode, the delete key", Nothing,
     [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetFocusedNode(n);
       t->SetSelected(n, true);
       t->DeleteSelectedNodes();
     }},
    {"OnResetNode, ResetNode", GiveChildren, [](TVirtualStringTree* t) { t->OnResetNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ResetNode(n); }},
    {"OnStructureChange, AddChild", Nothing,
     [](TVirtualStringTree* t) {
       t->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->AddChild(n); }},
    {"OnStructureChange, SetChildCount", Nothing,
     [](TVirtualStringTree* t) {
       t->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->SetChildCount(n, 4); }},
    {"OnStructureChange, DeleteNode", Nothing,
     [](TVirtualStringTree* t) {
       t->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->DeleteNode(n); }},
    {"OnStructureChange, MoveTo", Nothing,
     [](TVirtualStringTree* t) {
       t->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->MoveTo(n, n->NextSibling, amAddChildLast, false); }},
    {"OnChecking, SetCheckState", Nothing,
     [](TVirtualStringTree* t) {
       t->OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) {
       n->CheckType = ctTriStateCheckBox;
       t->SetCheckState(n, csCheckedNormal);
     }},
    {"OnChecked, SetCheckState with propagation", GiveChildren, [](TVirtualStringTree* t) { t->OnChecked = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
       n->CheckType = ctTriStateCheckBox;
       for (PVirtualNode c = n->FirstChild; c != nullptr; c = c->NextSibling) c->CheckType = ctTriStateCheckBox;
       t->SetCheckState(n->FirstChild, csCheckedNormal);
     }},
    {"OnFocusChanging, the down key", Nothing,
     [](TVirtualStringTree* t) {
       t->OnFocusChanging = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, TColumnIndex, bool&) {
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) { PressKey(t, VK_DOWN); }},
    {"OnIncrementalSearch, a typed letter", Nothing,
     [](TVirtualStringTree* t) {
       t->SetIncrementalSearch(isAll);
       t->OnIncrementalSearch = [](TBaseVirtualTree*, PVirtualNode, const std::u16string&, int& result) {
         result = 0;
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       HWND window = t->Handle();
       SendMessageW(window, WM_KEYDOWN, 'N', 1);
       if (IsWindow(window)) SendMessageW(window, WM_CHAR, u'n', 1);
     }},
    {"OnUpdating, BeginUpdate", Nothing,
     [](TVirtualStringTree* t) { t->OnUpdating = [](TBaseVirtualTree*, TVTUpdateState) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode) { t->FullExpand(nullptr); }},
    {"OnGetPopupMenu, a right click", Nothing,
     [](TVirtualStringTree* t) {
       t->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TPoint, bool&, TComponent*&) {
         FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { ClickOn(t, n, WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON); }},
    {"OnEditing, EditNode", Nothing,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toEditable));
       t->OnEditing = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->EditNode(n, NoColumn); }},
    {"OnChecked, a click on the box", Nothing, [](TVirtualStringTree* t) { t->OnChecked = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
       n->CheckType = ctCheckBox;
       t->Repaint();
       ClickAt(t, n, hiOnItemCheckbox);
     }},
    {"OnChecked, the space bar", Nothing, [](TVirtualStringTree* t) { t->OnChecked = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
       n->CheckType = ctCheckBox;
       t->SetFocusedNode(n);
       PressKey(t, VK_SPACE);
     }},
    {"OnFocusChanged, a click on a node", Nothing,
     [](TVirtualStringTree* t) { t->OnFocusChanged = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode n) { ClickOn(t, n->NextSibling, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON); }},
    {"OnExpanded, a double click on a node", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) { ClickOn(t, n, WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON); }},
    {"OnHotChange, the mouse over a node", Nothing,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetPaintOptions(o->PaintOptions().Include(toHotTrack));
       t->OnHotChange = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) {
       TRect r = t->GetDisplayRect(n->NextSibling, NoColumn, true);
       SendMessageW(t->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2));
     }},
    {"OnFreeNode, deleting the nodes cut", Nothing, [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetClipboardFormats({"Virtual Tree Data"});
       t->SetSelected(n, true);
       t->CutToClipBoard();
       t->DeleteMarkedCutNodes();
     }},
    {"OnGetText, ContentToText", Nothing, [](TVirtualStringTree* t) { t->OnGetText = FreeOnGetText; },
     [](TVirtualStringTree* t, PVirtualNode) { t->ContentToText(tstAll, ','); }},
    {"OnGetText, ContentToHTML", Nothing, [](TVirtualStringTree* t) { t->OnGetText = FreeOnGetText; },
     [](TVirtualStringTree* t, PVirtualNode) { t->ContentToHTML(tstAll); }},
    {"OnPaintText, ContentToRTF", Nothing,
     [](TVirtualStringTree* t) {
       t->OnPaintText = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TVSTTextType) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->ContentToRTF(tstAll); }},
    {"OnGetText, a paint", Nothing, [](TVirtualStringTree* t) { t->OnGetText = FreeOnGetText; }, PaintNow},
    {"OnPaintText, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnPaintText = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TVSTTextType) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnBeforeItemErase, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnBeforeItemErase = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect, TColor&, TItemEraseAction&) {
         FreeDoomedTree();
       };
     },
     PaintNow},
    {"OnBeforePaint, a paint", Nothing,
     [](TVirtualStringTree* t) { t->OnBeforePaint = [](TBaseVirtualTree*, TCanvas*) { FreeDoomedTree(); }; }, PaintNow},
    {"OnAfterPaint, a paint", Nothing,
     [](TVirtualStringTree* t) { t->OnAfterPaint = [](TBaseVirtualTree*, TCanvas*) { FreeDoomedTree(); }; }, PaintNow},
    {"OnBeforeItemPaint, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnBeforeItemPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect, bool&) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnAfterItemErase, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnAfterItemErase = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnBeforeCellPaint, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnBeforeCellPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TRect) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnAfterCellPaint, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnAfterCellPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TRect) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnAfterItemPaint, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnAfterItemPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnPaintBackground, a paint", Nothing,
     [](TVirtualStringTree* t) {
       t->OnPaintBackground = [](TBaseVirtualTree*, TCanvas*, TRect, bool&) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnGetText, ContentToRTF", Nothing, [](TVirtualStringTree* t) { t->OnGetText = FreeOnGetText; },
     [](TVirtualStringTree* t, PVirtualNode) { t->ContentToRTF(tstAll); }},
    {"OnFreeNode, the deletion of nodes moved out by a drop", Nothing,
     [](TVirtualStringTree* t) { t->OnFreeNode = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       auto* tree = static_cast<TDoomedTree*>(t);
       tree->DoStateChange({tsOLEDragging});
       tree->DragSelection() = {n, n->NextSibling};
       tree->DeleteMovedDragNodes();
     }},
    {"OnUpdating, the deletion of nodes moved out by a drop", Nothing,
     [](TVirtualStringTree* t) { t->OnUpdating = [](TBaseVirtualTree*, TVTUpdateState) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       auto* tree = static_cast<TDoomedTree*>(t);
       tree->DoStateChange({tsOLEDragging});
       tree->DragSelection() = {n};
       tree->DeleteMovedDragNodes();
     }},
    {"OnExpanded, the drop target expanding", GiveChildren, [](TVirtualStringTree* t) { t->OnExpanded = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       auto* tree = static_cast<TDoomedTree*>(t);
       tree->SetDropTarget(n);
       tree->DoDragExpand();
     }},
    {"OnHeaderClick, a click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderClick = [](TVTHeader*, TColumnIndex, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     ClickColumn},
    {"OnHeaderClick, a double click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderClick = [](TVTHeader*, TColumnIndex, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       POINT pt{130, -10};
       ClientToScreen(t->Handle(), &pt);
       SendMessageW(t->Handle(), WM_NCLBUTTONDBLCLK, HTBORDER, MAKELPARAM(pt.x, pt.y));
     }},
    {"OnColumnDblClick, a double click on a node", ShowColumns,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toToggleOnDblClick));
       t->OnColumnDblClick = [](TBaseVirtualTree*, TColumnIndex, TShiftState) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetChildCount(n, 2);
       ClickOn(t, n, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
       ClickOn(t, n, WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON);
     }},
    {"OnHeaderMouseUp, a click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseUp = [](TVTHeader*, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     ClickColumn},
    {"OnHeaderMouseDown, a press on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseDown = [](TVTHeader*, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     ClickColumn},
    {"OnHeaderMouseDown, a right press on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseDown = [](TVTHeader*, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { ClickColumnWith(t, WM_NCRBUTTONDOWN, WM_NCRBUTTONUP); }},
    {"OnHeaderClick, a right click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderClick = [](TVTHeader*, TColumnIndex, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { ClickColumnWith(t, WM_NCRBUTTONDOWN, WM_NCRBUTTONUP); }},
    {"OnHeaderMouseUp, a right click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseUp = [](TVTHeader*, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { ClickColumnWith(t, WM_NCRBUTTONDOWN, WM_NCRBUTTONUP); }},
    {"OnHeaderClick, a middle click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderClick = [](TVTHeader*, TColumnIndex, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { ClickColumnWith(t, WM_NCMBUTTONDOWN, WM_NCMBUTTONUP); }},
    {"OnHeaderMouseUp, a middle click on a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseUp = [](TVTHeader*, TMouseButton, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { ClickColumnWith(t, WM_NCMBUTTONDOWN, WM_NCMBUTTONUP); }},
    {"OnHeaderMouseMove, the mouse over a column", ShowColumns,
     [](TVirtualStringTree* t) {
       t->OnHeaderMouseMove = [](TVTHeader*, TShiftState, int, int) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       POINT pt{130, -10};
       ClientToScreen(t->Handle(), &pt);
       SendMessageW(t->Handle(), WM_NCMOUSEMOVE, HTBORDER, MAKELPARAM(pt.x, pt.y));
     }},
    {"OnGetText, a double click on a column's divider (the widest text asked)", ShowColumns,
     [](TVirtualStringTree* t) {
       TVTHeader* header = t->Header();
       header->SetOptions(header->Options().Include(hoDblClickResize));
       t->OnGetText = FreeOnGetText;
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       POINT pt{180, -10};  // the second column's right edge (a main column's widths are kept)
       ClientToScreen(t->Handle(), &pt);
       SendMessageW(t->Handle(), WM_NCLBUTTONDBLCLK, HTBORDER, MAKELPARAM(pt.x, pt.y));
     }},
    {"OnMeasureItem, a paint", Nothing,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toVariableNodeHeight));
       t->OnMeasureItem = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, int&) { FreeDoomedTree(); };
     },
     PaintNow},
    {"OnScroll, the End key", ManyNodes, [](TVirtualStringTree* t) { t->OnScroll = FreeOnScroll; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetFocusedNode(n);
       PressKey(t, VK_END);
     }},
    {"OnScroll, ScrollIntoView", ManyNodes, [](TVirtualStringTree* t) { t->OnScroll = FreeOnScroll; },
     [](TVirtualStringTree* t, PVirtualNode) { t->ScrollIntoView(t->GetLast(), false); }},
    {"OnScroll, the wheel", ManyNodes, [](TVirtualStringTree* t) { t->OnScroll = FreeOnScroll; },
     [](TVirtualStringTree* t, PVirtualNode) {
       POINT p{10, 10};
       ClientToScreen(t->Handle(), &p);
       SendMessageW(t->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(p.x, p.y));
     }},
    {"OnNewText, the end of an edit", Nothing,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toEditable));
       t->OnNewText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, const std::u16string&) { FreeDoomedTree(); };
     },
     EditAndEnd},
    {"OnEdited, the end of an edit", Nothing,
     [](TVirtualStringTree* t) {
       TCustomStringTreeOptions* o = t->TreeOptions();
       o->SetMiscOptions(o->MiscOptions().Include(toEditable));
       t->OnEdited = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { FreeDoomedTree(); };
     },
     EditAndEnd},
    {"OnSaveNode, SaveToStream", Nothing,
     [](TVirtualStringTree* t) { t->OnSaveNode = [](TBaseVirtualTree*, PVirtualNode, TStream*) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode) {
       TMemoryStream stream;
       t->SaveToStream(&stream, nullptr);
     }},
    {"OnSaveNode, SaveToStream of a folder", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnSaveNode = [](TBaseVirtualTree*, PVirtualNode node, TStream*) {
         if (node->Parent != nullptr && node->Parent->Parent != nullptr) FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode n) {
       TMemoryStream stream;
       t->SaveToStream(&stream, n);
     }},
    {"OnKeyAction, the down key", Nothing,
     [](TVirtualStringTree* t) {
       t->OnKeyAction = [](TBaseVirtualTree*, uint16_t&, TShiftState&, bool&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode) { PressKey(t, VK_DOWN); }},
    {"OnStateChange, FullExpand", GiveChildren,
     [](TVirtualStringTree* t) {
       t->OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates) {
         if (enter.Contains(tsExpanding)) FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) { t->FullExpand(nullptr); }},
    {"OnStateChange, PaintTree into a bitmap", Nothing,
     [](TVirtualStringTree* t) {
       t->OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates) {
         if (enter.Contains(tsPainting)) FreeDoomedTree();
       };
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       TBitmap* bitmap = New<TBitmap>();
       bitmap->SetSize(100, 60);
       t->PaintTree(bitmap->Canvas(), TRect{0, 0, 100, 60}, TPoint{0, 0}, {ppBackground});
       bitmap->Free();
     }},
    {"OnChecked, a plain box clicked by SetCheckState", Nothing,
     [](TVirtualStringTree* t) { t->OnChecked = FreeOnNode; },
     [](TVirtualStringTree* t, PVirtualNode n) {
       t->SetCheckType(n, ctCheckBox);
       t->SetCheckState(n, csCheckedNormal);
     }},
    {"OnShowScrollbar, UpdateScrollBars called from outside a message", ManyNodes,
     [](TVirtualStringTree* t) { t->OnShowScrollbar = [](TBaseVirtualTree*, int, bool) { FreeDoomedTree(); }; },
     [](TVirtualStringTree* t, PVirtualNode) { t->UpdateScrollBars(true); }},
    {"OnMeasureItem, a collapse", GiveChildrenExpanded,
     [](TVirtualStringTree* t) {
       t->TreeOptions()->SetMiscOptions(t->TreeOptions()->MiscOptions().Include(toVariableNodeHeight));
       t->OnMeasureItem = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, int&) { FreeDoomedTree(); };
     },
     [](TVirtualStringTree* t, PVirtualNode n) { t->ToggleNode(n); }},
    {"OnStateChange, wheel panning starts", ManyNodes,
     [](TVirtualStringTree* t) {
       t->TreeOptions()->SetMiscOptions(t->TreeOptions()->MiscOptions().Include(toWheelPanning));
       t->OnStateChange = FreeOnEntering<tsWheelPanning>;
     },
     [](TVirtualStringTree* t, PVirtualNode) { SendMessageW(t->Handle(), WM_MBUTTONDOWN, MK_MBUTTON, 0x320032); }},
    {"OnStateChange, the middle button released", Nothing,
     [](TVirtualStringTree* t) {
       t->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) { ADD_FAILURE() << "a freed tree's mouse-up"; };
       t->OnStateChange = FreeOnEntering<tsMiddleButtonDown, /*entering=*/false>;
     },
     [](TVirtualStringTree* t, PVirtualNode) {
       SendMessageW(t->Handle(), WM_MBUTTONDOWN, MK_MBUTTON, 0x320032);
       SendMessageW(t->Handle(), WM_MBUTTONUP, 0, 0x320032);
     }},
    {"OnStateChange, the window made again", Nothing,
     [](TVirtualStringTree* t) { t->OnStateChange = FreeOnEntering<tsWindowCreating>; },
     [](TVirtualStringTree* t, PVirtualNode) { t->RecreateWnd(); }},
};

}  // namespace

// Every handler the core calls from an operation that goes on afterwards may
// free the whole tree: the operation ends there and touches it no more (under
// Wine's heap checking a touch of the freed tree faults).
TEST(FreedTree, AHandlerThatFreesTheTreeEndsTheOperationThatCalledIt) {
  Application->Initialize();
  for (const TFreeingCase& c : kFreeingCases) {
    SCOPED_TRACE(c.name);
    // QV_TRACE=1 names each case as it starts (a fault ends the run unnamed);
    // QV_CASE=text runs only the cases whose name holds it.
    if (std::getenv("QV_CASE") && std::strstr(c.name, std::getenv("QV_CASE")) == nullptr) continue;
    if (std::getenv("QV_TRACE")) std::fprintf(stderr, "case %s\n", c.name);
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    PVirtualNode first = gDoomedTree->GetFirst();
    ASSERT_NE(first, nullptr);
    c.prepare(gDoomedTree, first);
    c.install(gDoomedTree);
    HWND window = gDoomedTree->Handle();
    c.act(gDoomedTree, first);
    EXPECT_EQ(gDoomedTree, nullptr) << "the handler ran";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowW(L"VTPanningWindow", nullptr), nullptr);
    FreeDoomedTree();
    form->Free();
  }
}

namespace {
// Makes the next GetMessagePos answer the screen point p (the position a
// posted message carries is the cursor's when it was posted).
void LastMessageAt(TPoint p) {
  SetCursorPos(p.X, p.Y);
  HWND probe = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  PostMessageW(probe, WM_NULL, 0, 0);
  MSG msg;
  while (PeekMessageW(&msg, probe, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  DestroyWindow(probe);
}
}  // namespace

// A form freed while its tree has the focus, with the editor open (or just
// ended and waiting to be released) and the mouse last over it: the tree's
// focus loss asks what window lies under the mouse while the windows and
// controls of the form go.
TEST(FreedTree, AFormFreedWhileItsTreeHasFocusAndItsEditorIsOpen) {
  Application->Initialize();
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind == 0 ? "editor focused" : kind == 1 ? "tree focused" : "editor ended");
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    TVirtualStringTree* tree = gDoomedTree;
    tree->TreeOptions()->SetMiscOptions(tree->TreeOptions()->MiscOptions().Include(toEditable));
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    PVirtualNode first = tree->GetFirst();
    tree->SetFocusedNode(first);
    ASSERT_TRUE(tree->EditNode(first, NoColumn));
    ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->IsEditing(); }, 2000));
    HWND editor = GetFocus();
    ASSERT_NE(editor, tree->Handle());
    RECT r{};
    GetWindowRect(editor, &r);
    if (kind == 1) tree->SetFocus();
    if (kind == 2) tree->EndEditNode();
    LastMessageAt(TPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    gDoomedTree = nullptr;
    form->Free();
    qvtest::Pump(20);
    EXPECT_EQ(TVTEdit::LiveCount(), 0);
  }
}

namespace {

// A source tree beside gDoomedTree on form: a folder of three children whose
// saved data is one number each.
TVirtualStringTree* ShowSourceTree(TForm* form) {
  auto* source = New<TVirtualStringTree>(form);
  source->SetParent(form);
  source->SetBounds(0, 200, 300, 60);
  source->SetNodeDataSize(0);
  source->SetClipboardFormats({"Virtual Tree Data"});
  source->OnSaveNode = [](TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
    int32_t index = int32_t(node->Index);
    stream->WriteBuffer(&index, sizeof(index));
  };
  source->SetRootNodeCount(1);
  source->SetChildCount(source->GetFirst(), 3);
  return source;
}

enum class TTransfer { MoveOne, MoveChildren, CopyChildren, CutAndPaste };

const char* TransferName(TTransfer kind) {
  switch (kind) {
    case TTransfer::MoveOne: return "MoveTo of one node";
    case TTransfer::MoveChildren: return "MoveTo of the children";
    case TTransfer::CopyChildren: return "CopyTo of the children";
    case TTransfer::CutAndPaste: return "cut and paste of the children";
  }
  return "";
}

}  // namespace

// A handler of the target tree that frees it while nodes arrive from another
// tree (when a node is reported moved or copied): the transfer stops with the
// target untouched, and the source keeps every node.
TEST(FreedTree, ATargetHandlerThatFreesTheTargetDuringATransferFromAnotherTree) {
  Application->Initialize();
  for (bool onLoad : {false}) {
    for (TTransfer kind : {TTransfer::MoveOne, TTransfer::MoveChildren, TTransfer::CopyChildren, TTransfer::CutAndPaste}) {
      SCOPED_TRACE(std::string(onLoad ? "OnLoadNode, " : "OnNodeMoved/OnNodeCopied, ") + TransferName(kind));
      TForm* form = ShowDoomedTree(/*autoSort=*/false);
      TVirtualStringTree* source = ShowSourceTree(form);
      PVirtualNode folder = source->GetFirst();
      PVirtualNode place = gDoomedTree->GetFirst();
      HWND window = gDoomedTree->Handle();
      if (onLoad) {
        gDoomedTree->OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream*) { FreeDoomedTree(); };
      } else {
        gDoomedTree->OnNodeMoved = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
        gDoomedTree->OnNodeCopied = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
      }
      switch (kind) {
        case TTransfer::MoveOne:
          source->MoveTo(folder->FirstChild, place, amAddChildLast, /*childrenOnly=*/false);
          break;
        case TTransfer::MoveChildren:
          source->MoveTo(folder, place, amAddChildLast, /*childrenOnly=*/true);
          break;
        case TTransfer::CopyChildren:
          EXPECT_EQ(source->CopyTo(folder, place, amAddChildLast, /*childrenOnly=*/true), nullptr);
          break;
        case TTransfer::CutAndPaste: {
          std::vector<PVirtualNode> children{folder->FirstChild, folder->FirstChild->NextSibling,
                                             folder->LastChild};
          source->AddToSelection(children, /*forceInsert=*/false);
          source->CutToClipBoard();
          gDoomedTree->SetClipboardFormats({"Virtual Tree Data"});
          gDoomedTree->SetFocusedNode(place);
          EXPECT_FALSE(gDoomedTree->PasteFromClipboard());
          break;
        }
      }
      EXPECT_EQ(gDoomedTree, nullptr) << "the handler ran";
      EXPECT_FALSE(IsWindow(window));
      EXPECT_EQ(folder->ChildCount, 3u) << "the source keeps what did not arrive";
      EXPECT_EQ(source->RootNode()->TotalCount, 5u);
      FreeDoomedTree();
      form->Free();
    }
  }
}
