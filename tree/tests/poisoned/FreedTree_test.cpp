// A change handler that frees the whole tree (a view closed when its
// selection changes, or when nodes come or go): reported at the end of an
// update or after the change delay, the tree is touched no more. Under Wine's heap checking a touch of
// the freed tree faults.
#include <gtest/gtest.h>

#include <utility>

#include "tree/VirtualTrees.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

TVirtualStringTree* gDoomedTree = nullptr;

// A shown form holding gDoomedTree with three root nodes.
TForm* ShowDoomedTree(bool autoSort) {
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 360, 260);
  gDoomedTree = New<TVirtualStringTree>(form);
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
