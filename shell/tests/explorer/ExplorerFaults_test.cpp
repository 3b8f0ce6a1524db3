// The explorer tree around a pending right click and while a view is busy:
// nodes freed before the button comes up, and refreshes that wait.
#include "ExplorerTestSupport.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ShellUtilities.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

struct ExplorerFaults : ExplorerFixture {
  void ShowFolder() {
    PVirtualNode node = NodeOf(folder);
    for (PVirtualNode run = node; run != nullptr && run != tree->RootNode(); run = run->Parent)
      tree->SetExpanded(run, true);
    form->Show();
  }
};

}  // namespace

TEST_F(ExplorerFaults, NodesFreedWhileTheRightButtonIsDownAreForgotten) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  ShowFolder();
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  tree->ScrollIntoView(b, false);
  SelectOnly(tree, a);
  TRect r = tree->GetDisplayRect(b, NoColumn, true);
  TContextMenuManager* manager = tree->ContextMenuManager();
  manager->TrackRightButton((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2, false, false);
  ASSERT_EQ(manager->ClickNode, b);
  ASSERT_EQ(manager->PrevSelectedNode, a);
  ASSERT_EQ(manager->PrevFocusedNode, a);
  // F5 while the button is down: every node of the folder is made again.
  tree->RefreshTree(false);
  EXPECT_EQ(manager->ClickNode, nullptr);
  EXPECT_EQ(manager->PrevSelectedNode, nullptr);
  EXPECT_EQ(manager->PrevFocusedNode, nullptr);
  // The release shows no menu for a node that went and touches nothing freed.
  EXPECT_FALSE(manager->ShowMenuAtPoint(TPoint{r.Left, r.Top}));
  manager->TrackRightButton((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2, false, true);
  EXPECT_FALSE(manager->RightClickPending);
  EXPECT_NE(NodeOf(folder + u"\\b.txt"), nullptr);
}

TEST_F(ExplorerFaults, RefreshesAndRebuildsWaitWhileAViewIsBusy) {
  MakeFile(folder + u"\\a.txt");
  ShowFolder();
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  PVirtualNode parent = a->Parent;
  MakeFile(folder + u"\\late.txt");
  tree->ContextMenuManager()->MenuShowing = true;
  ASSERT_FALSE(ShellNotifyManager->OkToDispatch());
  // Nothing is freed while the menu of one of the nodes is up.
  EXPECT_FALSE(tree->RefreshNode(parent));
  EXPECT_FALSE(tree->RefreshTree(false));
  tree->RebuildRootNamespace();
  EXPECT_EQ(NodeOf(folder + u"\\a.txt"), a);
  EXPECT_EQ(parent->ChildCount, 1u);
  tree->ContextMenuManager()->MenuShowing = false;
  EXPECT_TRUE(tree->RefreshNode(parent));
  PVirtualNode again = NodeOf(folder);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ChildCount, 2u);
  EXPECT_TRUE(tree->RefreshTree(false));
  // Made active while a view is busy: built already, the rebuild comes when the view is done.
  tree->SetActive(false);
  tree->ContextMenuManager()->MenuShowing = true;
  tree->SetActive(true);
  EXPECT_TRUE(tree->TreeBuilt());
  tree->ContextMenuManager()->MenuShowing = false;
  EXPECT_TRUE(qvtest::PumpUntil([&] { return tree->RootNode()->ChildCount > 0; }, 5000));
}

namespace {
int gChanges = 0;
}  // namespace

TEST_F(ExplorerFaults, ARightClickGivesTheWholeSelectionBackAndReportsNoPassingSelection) {
  MakeFile(folder + u"\\a1.txt");
  MakeFile(folder + u"\\a2.txt");
  MakeFile(folder + u"\\b.txt");
  ShowFolder();
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  // No shell menu: its modal loop would wait for a user.
  o->SetVETShellOptions(o->VETShellOptions().Exclude(toContextMenus));
  PVirtualNode a1 = NodeOf(folder + u"\\a1.txt");
  PVirtualNode a2 = NodeOf(folder + u"\\a2.txt");
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  ASSERT_TRUE(a1 != nullptr && a2 != nullptr && b != nullptr);
  tree->ScrollIntoView(b, false);
  tree->ClearSelection();
  tree->AddToSelection({a1, a2}, /*forceInsert=*/true);
  tree->SetFocusedNode(a2);
  gChanges = 0;
  tree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { ++gChanges; };
  TRect r = tree->GetDisplayRect(b, NoColumn, true);
  LPARAM onB = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);

  // The click selects its item for its menu, then leaves both items selected and the focus where it was.
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, onB);
  EXPECT_TRUE(tree->GetSelected(b));
  tree->Perform(WM_RBUTTONUP, 0, onB);
  EXPECT_TRUE(tree->GetSelected(a1));
  EXPECT_TRUE(tree->GetSelected(a2));
  EXPECT_FALSE(tree->GetSelected(b));
  EXPECT_EQ(tree->FocusedNode(), a2);
  EXPECT_EQ(gChanges, 0) << "the passing selection of the click reached OnChange";

  // With right-button select the clicked item stays, and is reported once the click is over.
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toRightButtonSelect));
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, onB);
  EXPECT_EQ(gChanges, 0);
  tree->Perform(WM_RBUTTONUP, 0, onB);
  EXPECT_TRUE(tree->GetSelected(b));
  EXPECT_FALSE(tree->GetSelected(a1));
  EXPECT_GT(gChanges, 0);

  // A release that never came (a drag took it) keeps no later change quiet.
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toRightButtonSelect));
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, onB);
  ASSERT_TRUE(tree->ContextMenuManager()->RightClickPending);
  gChanges = 0;
  TRect ra = tree->GetDisplayRect(a1, NoColumn, true);
  LPARAM onA1 = MAKELPARAM((ra.Left + ra.Right) / 2, (ra.Top + ra.Bottom) / 2);
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, onA1);
  tree->Perform(WM_LBUTTONUP, 0, onA1);
  EXPECT_TRUE(tree->GetSelected(a1));
  EXPECT_GT(gChanges, 0);
  tree->OnChange = nullptr;
}

// Random right clicks against a model: without right-button select the
// selection and focus are as they were once the button is up; with it the
// clicked item alone is selected (or the selection stays when it held it).
TEST_F(ExplorerFaults, RightClicksLeaveTheSelectionTheModelExpects) {
  constexpr int kItems = 6;
  std::vector<PVirtualNode> items;
  for (int i = 0; i < kItems; ++i) MakeFile(folder + u"\\f" + std::u16string(1, char16_t(u'0' + i)) + u".txt");
  ShowFolder();
  for (int i = 0; i < kItems; ++i)
    items.push_back(NodeOf(folder + u"\\f" + std::u16string(1, char16_t(u'0' + i)) + u".txt"));
  for (PVirtualNode n : items) ASSERT_NE(n, nullptr);
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  o->SetVETShellOptions(o->VETShellOptions().Exclude(toContextMenus));
  tree->ScrollIntoView(items.back(), false);
  uint32_t seed = 20261207;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int step = 0; step < 60; ++step) {
    std::vector<PVirtualNode> chosen;
    for (PVirtualNode n : items)
      if (next(3) == 0) chosen.push_back(n);
    tree->ClearSelection();
    if (!chosen.empty()) tree->AddToSelection(chosen, /*forceInsert=*/true);
    PVirtualNode focus = next(4) == 0 ? nullptr : items[next(kItems)];
    tree->SetFocusedNode(focus);
    bool rightSelect = next(2) == 0;
    TVETMiscOptions misc = o->VETMiscOptions();
    o->SetVETMiscOptions(rightSelect ? misc.Include(toRightButtonSelect) : misc.Exclude(toRightButtonSelect));
    PVirtualNode hit = items[next(kItems)];
    TRect r = tree->GetDisplayRect(hit, NoColumn, true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    bool hitWasSelected = tree->GetSelected(hit);
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
    tree->Perform(WM_RBUTTONUP, 0, at);
    std::vector<PVirtualNode> expected = chosen;
    PVirtualNode expectedFocus = focus != nullptr ? focus : (chosen.empty() ? nullptr : chosen.front());
    if (rightSelect && !hitWasSelected) {
      expected.assign(1, hit);
      expectedFocus = hit;
    }
    std::vector<PVirtualNode> actual;
    for (PVirtualNode n : items)
      if (tree->GetSelected(n)) actual.push_back(n);
    ASSERT_EQ(actual, expected) << "step " << step << (rightSelect ? " with" : " without") << " right-button select";
    // Where nothing had the focus, the click's item may keep it.
    if (focus != nullptr || (rightSelect && !hitWasSelected)) ASSERT_EQ(tree->FocusedNode(), expectedFocus) << "step " << step;
  }
}

// A menu, a message box or a task switch takes the mouse between the press
// and the release: the click ends there (the selection as it was) instead of
// silencing OnChange and the linked views until the next click.
TEST_F(ExplorerFaults, ARightClickWhoseReleaseNeverComesEndsWhenTheMouseIsTaken) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  ShowFolder();
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETShellOptions(o->VETShellOptions().Exclude(toContextMenus));
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  ASSERT_TRUE(a != nullptr && b != nullptr);
  tree->ScrollIntoView(b, false);
  TRect r = tree->GetDisplayRect(b, NoColumn, true);
  LPARAM onB = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  TContextMenuManager* manager = tree->ContextMenuManager();
  for (int way = 0; way < 2; ++way) {
    SelectOnly(tree, a);
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, onB);
    ASSERT_TRUE(manager->RightClickPending);
    EXPECT_EQ(GetCapture(), tree->Handle()) << "the click holds the mouse";
    if (way == 0) {
      SetCapture(form->Handle());  // another window takes it
      ReleaseCapture();
    } else {
      tree->Perform(WM_CANCELMODE, 0, 0);
    }
    EXPECT_FALSE(manager->RightClickPending) << way;
    EXPECT_TRUE(tree->GetSelected(a)) << way;
    EXPECT_FALSE(tree->GetSelected(b)) << way;
    gChanges = 0;
    tree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { ++gChanges; };
    tree->ClearSelection();
    tree->AddToSelection(b);
    EXPECT_GT(gChanges, 0) << way << ": changes are reported again";
    tree->OnChange = nullptr;
  }
}

TEST_F(ExplorerFaults, ARootChangeWhileAnotherViewIsBusyIsBuiltOnceItIsReady) {
  MakeFile(folder + u"\\a.txt");
  ShowFolder();
  TVirtualExplorerTreeview* other = New<TVirtualExplorerTreeview>(form);
  other->SetParent(form);
  other->ContextMenuManager()->MenuShowing = true;  // its shell menu is up
  ASSERT_FALSE(ShellNotifyManager->OkToDispatch());
  tree->SetRootFolderCustomPath(folder);
  EXPECT_EQ(tree->RootNode()->ChildCount, 0u) << "cleared, and not listed while the other view is busy";
  EXPECT_TRUE(tree->RootRebuildWaits());
  other->ContextMenuManager()->MenuShowing = false;
  bool built = false;
  for (int i = 0; i < 100 && !built; ++i) {
    qvtest::Pump(20);
    built = tree->RootNode()->ChildCount > 0;
  }
  EXPECT_TRUE(built) << "the rebuild is tried again once the views are ready";
  EXPECT_FALSE(tree->RootRebuildWaits());
  EXPECT_NE(NodeOf(folder + u"\\a.txt"), nullptr);
  other->Free();
}

namespace {
TVirtualExplorerTreeview* gDoomedTree = nullptr;
}  // namespace

// With right-button selection the node clicked stays selected when the mouse
// is taken before the release, and that change is reported: the program's
// handler may free the tree there, which then is touched no more.
TEST_F(ExplorerFaults, AChangeHandlerThatFreesTheTreeWhenTheMouseIsTakenLeavesNothingTouched) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  form->Show();
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "capture taken" : "WM_CANCELMODE");
    gDoomedTree = New<TVirtualExplorerTreeview>(form);
    gDoomedTree->SetParent(form);
    gDoomedTree->SetBounds(4, 4, 400, 480);
    gDoomedTree->SetFileObjects({foFolders, foNonFolders});
    gDoomedTree->SetRootFolderCustomPath(folder);
    TCustomVirtualExplorerTreeOptions* o = gDoomedTree->TreeOptions();
    o->SetVETShellOptions(o->VETShellOptions().Exclude(toContextMenus));
    o->SetVETMiscOptions(o->VETMiscOptions().Include(toRightButtonSelect));
    gDoomedTree->SetActive(true);
    gDoomedTree->BringToFront();
    PVirtualNode root = gDoomedTree->GetFirst();
    ASSERT_NE(root, nullptr);
    gDoomedTree->SetExpanded(root, true);
    PVirtualNode a = root->FirstChild;
    ASSERT_TRUE(a != nullptr && a->NextSibling != nullptr);
    PVirtualNode b = a->NextSibling;
    SelectOnly(gDoomedTree, a);
    TRect r = gDoomedTree->GetDisplayRect(b, NoColumn, true);
    HWND window = gDoomedTree->Handle();
    SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
    ASSERT_TRUE(gDoomedTree->ContextMenuManager()->RightClickPending);
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) {
      if (gDoomedTree != nullptr) std::exchange(gDoomedTree, nullptr)->Free();
    };
    if (way == 0) {
      SetCapture(form->Handle());
      ReleaseCapture();
    } else {
      SendMessageW(window, WM_CANCELMODE, 0, 0);
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    if (gDoomedTree != nullptr) std::exchange(gDoomedTree, nullptr)->Free();
  }
}
