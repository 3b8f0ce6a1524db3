// The explorer tree's own keys (Space selects, Ctrl+Page Down and Up walk the
// page's siblings) and the name look-ups the path combo box uses.
#include "ExplorerTestSupport.h"
#include "shell/ShellUtilities.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

struct ExplorerKeys : ExplorerFixture {
  TVirtualExplorerTreeview* list = nullptr;
  // A tree showing folder's 40 files at its top level, about ten rows high.
  void MakeList() {
    for (int i = 0; i < 40; ++i)
      MakeFile(folder + u"\\f" + std::u16string(1, char16_t(u'a' + i / 10)) +
               std::u16string(1, char16_t(u'0' + i % 10)) + u".txt");
    tree->SetVisible(false);
    list = New<TVirtualExplorerTreeview>(form);
    list->SetParent(form);
    list->SetBounds(4, 4, 300, 180);
    list->SetFileObjects({foFolders, foNonFolders, foHidden});
    TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
    o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder));
    o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
    o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
    list->SetRootFolderCustomPath(folder);
    list->SetActive(true);
    form->Show();
    qvtest::Pump(30);
  }
  void PressWith(BYTE modifier, WORD vk) { explorertest::PressWith(list, modifier, vk); }
  // Whether node is shown whole inside the client area.
  bool Whole(PVirtualNode node) {
    TRect r = list->GetDisplayRect(node, NoColumn, false);
    RECT client;
    GetClientRect(list->Handle(), &client);
    return r.Top >= 0 && r.Bottom <= client.bottom;
  }
};

}  // namespace

TEST_F(ExplorerKeys, SpaceSelectsTheFocusedNodeAndCtrlSpaceDeselectsIt) {
  MakeList();
  PVirtualNode third = list->GetNextSibling(list->GetNextSibling(list->GetFirst()));
  list->ClearSelection();
  list->SetFocusedNode(third);
  list->RemoveFromSelection(third);
  ASSERT_FALSE(list->GetSelected(third));
  PressWith(0, VK_SPACE);
  EXPECT_TRUE(list->GetSelected(third));
  PressWith(0, VK_SPACE);  // plain Space keeps it
  EXPECT_TRUE(list->GetSelected(third));
  PressWith(VK_CONTROL, VK_SPACE);
  EXPECT_FALSE(list->GetSelected(third));
  PressWith(VK_SHIFT, VK_SPACE);  // Shift+Space is not the tree's
  EXPECT_FALSE(list->GetSelected(third));
}

TEST_F(ExplorerKeys, CtrlPageKeysFocusTheEndsOfThePageAndThenTurnIt) {
  MakeList();
  PVirtualNode first = list->GetFirst();
  list->SetFocusedNode(first);
  ASSERT_EQ(list->GetTopNode(), first);
  PressWith(VK_CONTROL, VK_NEXT);
  PVirtualNode bottom = list->FocusedNode();
  ASSERT_NE(bottom, nullptr);
  EXPECT_NE(bottom, first);
  EXPECT_TRUE(Whole(bottom));
  EXPECT_EQ(list->OffsetY(), 0);  // the page did not move
  // Pressed again, the page turns and the new page's last sibling is focused.
  PressWith(VK_CONTROL, VK_NEXT);
  EXPECT_LT(list->OffsetY(), 0);
  PVirtualNode next = list->FocusedNode();
  EXPECT_NE(next, bottom);
  EXPECT_TRUE(Whole(next));
  EXPECT_GT(next->Index, bottom->Index);
  // Ctrl+Page Up: the top node, then a page up.
  PressWith(VK_CONTROL, VK_PRIOR);
  PVirtualNode top = list->FocusedNode();
  EXPECT_EQ(top, list->GetTopNode());
  int offset = list->OffsetY();
  PressWith(VK_CONTROL, VK_PRIOR);
  EXPECT_GT(list->OffsetY(), offset);
  EXPECT_EQ(list->FocusedNode(), list->GetTopNode());
  // At the end the last node is focused and stays.
  for (int i = 0; i < 8; ++i) PressWith(VK_CONTROL, VK_NEXT);
  EXPECT_EQ(list->FocusedNode(), list->GetLastChild(list->RootNode()));
}

TEST(ExplorerLookupByName, TheDesktopItsChildrenAndTheDrivesAreFoundByName) {
  REQUIRE_EXPLORER_DRIVE();
  InitializeShellToolkit();
  TNamespace* found = nullptr;
  ASSERT_NE(DesktopFolder(), nullptr);
  std::u16string desktop = DesktopFolder()->NameNormal();
  for (char16_t& c : desktop)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  ASSERT_TRUE(TCustomVirtualExplorerTree::FindDesktopItemByName(desktop, found));
  EXPECT_TRUE(found->IsDesktop());
  found->Free();
  ASSERT_NE(DrivesFolder(), nullptr);
  ASSERT_TRUE(TCustomVirtualExplorerTree::FindDesktopItemByName(DrivesFolder()->NameNormal(), found));
  EXPECT_TRUE(vst::ILIsEqual(found->AbsolutePIDL(), DrivesFolder()->AbsolutePIDL()));
  found->Free();
  // A drive is not on the desktop, but under My Computer.
  std::u16string drive = TestDrive() + u"\\";
  LPITEMIDLIST drivePIDL = PathToPIDL(drive);
  ASSERT_NE(drivePIDL, nullptr);
  TNamespace* driveItem = New<TNamespace>(drivePIDL, static_cast<TNamespace*>(nullptr));
  std::u16string driveName = driveItem->NameNormal();
  EXPECT_FALSE(TCustomVirtualExplorerTree::FindDesktopItemByName(driveName, found));
  EXPECT_EQ(found, nullptr);
  ASSERT_TRUE(TCustomVirtualExplorerTree::FindDesktopOrDriveItemByName(driveName, found));
  EXPECT_TRUE(vst::ILIsEqual(found->AbsolutePIDL(), driveItem->AbsolutePIDL()));
  found->Free();
  driveItem->Free();
  EXPECT_FALSE(TCustomVirtualExplorerTree::FindDesktopOrDriveItemByName(u"no such item anywhere", found));
  EXPECT_EQ(found, nullptr);
}
