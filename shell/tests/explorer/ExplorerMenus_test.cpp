// The explorer tree's own pop-up menu beside the shell's context menu: which
// one a right click shows where, and a right click that keeps a selection the
// shell's menu will act on. No menu waits for a user: TrackPopupMenuEx is
// stood in for.
#include "../ImportPatch.h"
#include "ExplorerTestSupport.h"
#include "win/controls/Menus.h"

using namespace explorertest;

namespace {

int gTracked = 0;  // every menu that went up
BOOL WINAPI CountingTrackPopupMenuEx(HMENU, UINT, int, int, HWND, LPTPMPARAMS) {
  ++gTracked;
  return 0;
}

TPopupMenu* gTreeMenu = nullptr;
int gTreeMenuShown = 0;
PVirtualNode gAskedFor = reinterpret_cast<PVirtualNode>(1);

struct ExplorerMenus : ExplorerFixture {
  TImportPatch* patch = nullptr;
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    patch = new TImportPatch("user32.dll", "TrackPopupMenuEx", reinterpret_cast<void*>(&CountingTrackPopupMenuEx));
    ASSERT_TRUE(patch->Active());
    gTracked = 0;
    gTreeMenuShown = 0;
    gTreeMenu = New<TPopupMenu>(form);
    TMenuItem* entry = New<TMenuItem>(gTreeMenu);
    entry->SetCaption("Tree entry");
    gTreeMenu->Items()->Add(entry);
    gTreeMenu->OnPopup = [](TObject*) { ++gTreeMenuShown; };
    MakeFile(folder + u"\\a.txt");
    MakeFile(folder + u"\\b.txt");
    form->Show();
  }
  void TearDown() override {
    delete patch;
    gTreeMenu = nullptr;
    ExplorerFixture::TearDown();
  }
  void SetShellMenus(bool on) {
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    TVETShellOptions shell = o->VETShellOptions();
    o->SetVETShellOptions(on ? shell.Include(toContextMenus) : shell.Exclude(toContextMenus));
  }
  // A right click at x (client) in node's row; dx from the middle of its label.
  void RightClick(PVirtualNode node, int dx = 0) {
    tree->ScrollIntoView(node, false);
    TRect r = tree->GetDisplayRect(node, NoColumn, /*textOnly=*/true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2 + dx, (r.Top + r.Bottom) / 2);
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
    tree->Perform(WM_RBUTTONUP, 0, at);
  }
};

}  // namespace

TEST_F(ExplorerMenus, ARightClickShowsOneMenuTheShellsOnAnItemAndTheTreesElsewhere) {
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TPoint, bool& askParent,
                            TComponent*& menu) {
    gAskedFor = node;
    askParent = false;
    menu = gTreeMenu;
  };
  // On the label with shell menus: only the shell's.
  SetShellMenus(true);
  RightClick(a);
  EXPECT_EQ(gTracked, 1);
  EXPECT_EQ(gTreeMenuShown, 0);
  // Beside the label: only the tree's, asked for the tree as a whole and shown for it.
  gTracked = 0;
  RightClick(a, 150);
  EXPECT_EQ(gTreeMenuShown, 1);
  EXPECT_EQ(gTracked, 1);
  EXPECT_EQ(gAskedFor, nullptr);
  EXPECT_EQ(gTreeMenu->PopupComponent(), tree);
  // Without shell menus the tree's shows on the label too.
  SetShellMenus(false);
  gTracked = 0;
  gTreeMenuShown = 0;
  RightClick(NodeOf(folder + u"\\a.txt"));
  EXPECT_EQ(gTreeMenuShown, 1);
  EXPECT_EQ(gTracked, 1);
}

TEST_F(ExplorerMenus, ARightPressOnASelectedItemKeepsTheSelectionForTheShellsMenu) {
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect).Include(toRightClickSelect));
  for (bool shellMenus : {true, false}) {
    SetShellMenus(shellMenus);
    PVirtualNode a = NodeOf(folder + u"\\a.txt");
    PVirtualNode b = NodeOf(folder + u"\\b.txt");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    tree->ScrollIntoView(a, false);
    tree->SetFocusedNode(a);
    tree->ClearSelection();
    tree->AddToSelection(a);
    tree->AddToSelection(b);
    TRect r = tree->GetDisplayRect(a, NoColumn, /*textOnly=*/true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    ASSERT_TRUE(tree->GetSelected(b));
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
    // A menu for the item comes: both stay. With no menu at all the press selects only a.
    EXPECT_EQ(tree->GetSelected(b), shellMenus) << "shell menus " << shellMenus;
    EXPECT_TRUE(tree->GetSelected(a));
    tree->Perform(WM_RBUTTONUP, 0, at);
  }
}
