// The explorer tree on a mapped test drive: building from the drives,
// finding items, check marks kept in the node storage and given back when
// nodes are made again, new and vanished items, renames, links.
#include <cstring>
#include <random>
#include <set>

#include "ExplorerTestSupport.h"
#include "shell/ShellUtilities.h"
#include "core/MemoryStream.h"
#include "shell/ColumnMenu.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ShellSortHelper.h"
#include "shell/SysImages.h"
#include "shell/VETPersistent.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

std::u16string TextOf(TVirtualExplorerTreeview* tree, PVirtualNode node) { return tree->GetText(node, NoColumn); }

using ExplorerTree = ExplorerFixture;

}  // namespace

TEST_F(ExplorerTree, BuildsTheDrivesAndFindsItemsWithoutTouchingThePIDL) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\sub\\b.txt");
  MakeFile(folder + u"\\a.txt", 100);
  MakeFile(folder + u"\\hidden.txt", 10, FILE_ATTRIBUTE_HIDDEN);
  MakeFile(folder + u"\\readonly.txt", 10, FILE_ATTRIBUTE_READONLY);
  MakeFile(folder + u"\\\u03b1\u03b2\u03b3 \u0436\u0443\u043a \u6f22\u5b57.txt", 10);

  PVirtualNode top = tree->GetFirst();
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(tree->NodeNamespace(top)->IsMyComputer());
  EXPECT_TRUE(tree->GetExpanded(top));
  EXPECT_EQ(tree->GetNextSibling(top), nullptr);

  LPITEMIDLIST pidl = PathToPIDL(folder + u"\\sub\\b.txt");
  ASSERT_NE(pidl, nullptr);
  uint32_t size = NamespacePIDLManager->PIDLSize(pidl);
  std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(pidl), reinterpret_cast<uint8_t*>(pidl) + size);
  PVirtualNode node = tree->FindNodeByPIDL(pidl);
  EXPECT_EQ(0, std::memcmp(before.data(), pidl, size));
  NamespacePIDLManager->FreePIDL(pidl);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(TextOf(tree, node), u"b.txt");
  // The folders on the way were enumerated, not expanded.
  EXPECT_FALSE(tree->GetExpanded(node->Parent));
  EXPECT_TRUE(tree->GetHasChildren(node->Parent));
  EXPECT_EQ(TextOf(tree, node->Parent), u"sub");

  PVirtualNode greek = NodeOf(folder + u"\\\u03b1\u03b2\u03b3 \u0436\u0443\u043a \u6f22\u5b57.txt");
  ASSERT_NE(greek, nullptr);
  EXPECT_EQ(TextOf(tree, greek), u"\u03b1\u03b2\u03b3 \u0436\u0443\u043a \u6f22\u5b57.txt");
  PVirtualNode hidden = NodeOf(folder + u"\\hidden.txt");
  ASSERT_NE(hidden, nullptr);
  EXPECT_NE(NodeOf(folder + u"\\readonly.txt"), nullptr);
  // Folders before files is the shell's order; files are in name order.
  PVirtualNode folderNode = NodeOf(folder);
  ASSERT_NE(folderNode, nullptr);
  std::vector<std::u16string> names;
  for (PVirtualNode child = tree->GetFirstChild(folderNode); child; child = child->NextSibling)
    names.push_back(TextOf(tree, child));
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], u"sub");

  // Icons come from the system image list; a hidden item is drawn ghosted.
  bool ghosted = false;
  int index = -1;
  tree->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
  EXPECT_GE(index, 0);
  EXPECT_FALSE(ghosted);
  index = -1;
  tree->DoGetImageIndex(hidden, ikNormal, NoColumn, ghosted, index);
  EXPECT_TRUE(ghosted);
  EXPECT_EQ(tree->Images(), static_cast<TCustomImageList*>(SmallSysImages()));

  // A path outside the tree, and a null PIDL, find nothing.
  EXPECT_EQ(NodeOf(folder + u"\\missing.txt"), nullptr);
  EXPECT_EQ(tree->FindNodeByPIDL(nullptr), nullptr);
}

TEST_F(ExplorerTree, CheckMarksAreStoredAndComeBackWithTheirBoxes) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\sub\\b.txt");
  MakeFile(folder + u"\\a.txt");
  Click(folder + u"\\sub\\b.txt");
  // The only child checked: its folder is checked, the folder above mixed.
  EXPECT_EQ(NodeOf(folder + u"\\sub")->CheckState, csCheckedNormal);
  EXPECT_EQ(NodeOf(folder)->CheckState, csMixedNormal);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\sub"});
  EXPECT_EQ(EveryItem(), (std::vector<std::u16string>{folder + u"\\sub", folder + u"\\sub\\b.txt"}));

  // A rebuild frees every node; made again, they take state and box back.
  tree->SetActive(false);
  EXPECT_EQ(tree->GetFirstNoInit(), nullptr);
  tree->SetActive(true);
  PVirtualNode b = NodeOf(folder + u"\\sub\\b.txt");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(b->CheckType, ctTriStateCheckBox);
  EXPECT_EQ(NodeOf(folder)->CheckState, csMixedNormal);
  EXPECT_EQ(NodeOf(folder + u"\\a.txt")->CheckState, csUncheckedNormal);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\sub"});

  // A record written by a node made inside a checked folder keeps the box too.
  tree->SetActive(false);
  tree->SetActive(true);
  Click(folder);  // mixed -> checked
  tree->SetActive(false);
  tree->SetActive(true);
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->CheckState, csCheckedNormal);
  EXPECT_EQ(a->CheckType, ctTriStateCheckBox);
  TNodeStorage* record = tree->GetStorage()->Find(tree->NodeNamespace(a)->AbsolutePIDL(), {skCheckState});
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Storage.CheckType, ctTriStateCheckBox);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder});
}

TEST_F(ExplorerTree, UncheckingAFolderUnchecksWhatLiesBelowEvenWhereNoNodeExists) {
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\sub\\deep");
  MakeFile(folder + u"\\sub\\deep\\d.txt");
  MakeFile(folder + u"\\sub\\other.txt");
  Click(folder + u"\\sub\\deep\\d.txt");
  tree->SetActive(false);
  tree->SetActive(true);
  // Only the folder's node exists now: sub and below are not made yet.
  PVirtualNode folderNode = NodeOf(folder);
  ASSERT_NE(folderNode, nullptr);
  EXPECT_EQ(folderNode->CheckState, csMixedNormal);
  tree->SetCheckState(folderNode, csCheckedNormal);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder});
  tree->SetCheckState(folderNode, csUncheckedNormal);
  EXPECT_TRUE(Topmost().empty());
  EXPECT_TRUE(EveryItem().empty());
  PVirtualNode d = NodeOf(folder + u"\\sub\\deep\\d.txt");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->CheckState, csUncheckedNormal);
}

TEST_F(ExplorerTree, NewItemsFollowTheirFolderAndTheStorageFollowsTheTree) {
  MakeFolder(folder + u"\\full");
  MakeFile(folder + u"\\full\\x.txt");
  MakeFolder(folder + u"\\part");
  MakeFile(folder + u"\\part\\y.txt");
  MakeFile(folder + u"\\part\\z.txt");
  MakeFolder(folder + u"\\none");
  MakeFile(folder + u"\\none\\w.txt");
  Click(folder + u"\\full");
  Click(folder + u"\\part\\y.txt");
  tree->SetExpanded(NodeOf(TestDrive() + u"\\"), true);
  tree->SetExpanded(NodeOf(folder), true);
  tree->SetExpanded(NodeOf(folder + u"\\full"), true);
  tree->SetExpanded(NodeOf(folder + u"\\part"), true);
  tree->SetExpanded(NodeOf(folder + u"\\none"), true);

  MakeFile(folder + u"\\full\\new1.txt");
  MakeFile(folder + u"\\part\\new2.txt");
  MakeFile(folder + u"\\none\\new3.txt");
  DeleteFileW(reinterpret_cast<const wchar_t*>((folder + u"\\part\\y.txt").c_str()));
  // The folder merge (a shell change) and the whole-tree refresh (F5) agree.
  tree->ReReadAndRefreshNode(NodeOf(folder + u"\\full"), true);
  tree->ReReadAndRefreshNode(NodeOf(folder + u"\\part"), true);
  tree->ReReadAndRefreshNode(NodeOf(folder + u"\\none"), true);
  auto check = [&] {
    EXPECT_EQ(NodeOf(folder + u"\\full\\new1.txt")->CheckState, csCheckedNormal);
    EXPECT_EQ(NodeOf(folder + u"\\part\\new2.txt")->CheckState, csUncheckedNormal);
    EXPECT_EQ(NodeOf(folder + u"\\none\\new3.txt")->CheckState, csUncheckedNormal);
    EXPECT_EQ(NodeOf(folder + u"\\part\\y.txt"), nullptr);
    EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\full"});
    EXPECT_EQ(EveryItem(), (std::vector<std::u16string>{folder + u"\\full", folder + u"\\full\\new1.txt",
                                                        folder + u"\\full\\x.txt"}));
  };
  check();
  EXPECT_TRUE(tree->GetExpanded(NodeOf(folder + u"\\part")));
  uint16_t f5 = VK_F5;
  TShiftState none;
  tree->DoKeyAction(f5, none);
  check();
  // The expanded folders came back.
  EXPECT_TRUE(tree->GetExpanded(NodeOf(folder + u"\\part")));
}

// A ticked folder gone while its folder shows no nodes takes its tick along when
// that folder is read again, also one deeper down: a new one of its name is not
// ticked; the others stay.
TEST_F(ExplorerTree, AFolderGoneWhileItsFolderShowsNoNodesTakesItsTickAlong) {
  const std::u16string box = folder + u"\\box", sub = folder + u"\\sub", deep = box + u"\\mid\\sub";
  for (const std::u16string& made : {sub, box, box + u"\\mid", deep}) MakeFolder(made);
  MakeFile(box + u"\\c.txt");
  MakeFile(box + u"\\unticked.txt");
  MakeFile(box + u"\\mid\\unticked.txt");
  for (const std::u16string& ticked : {sub, box + u"\\c.txt", deep}) Click(ticked);
  tree->SetActive(false);
  tree->SetActive(true);
  PVirtualNode folderNode = NodeOf(folder);
  ASSERT_TRUE(folderNode != nullptr && folderNode->FirstChild == nullptr);
  RemoveTree(sub);
  RemoveTree(deep);
  tree->ReReadAndRefreshNode(folderNode, true);
  MakeFolder(sub);
  MakeFolder(deep);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{box + u"\\c.txt"});
}

TEST_F(ExplorerTree, ARenamedItemKeepsItsCheckUnderItsNewName) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\m.txt");
  MakeFile(folder + u"\\z.txt");
  Click(folder + u"\\m.txt");
  PVirtualNode m = NodeOf(folder + u"\\m.txt");
  ASSERT_NE(m, nullptr);
  tree->DoNewText(m, NoColumn, u"b.txt");
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b.txt"});
  tree->SetActive(false);
  tree->SetActive(true);
  EXPECT_EQ(NodeOf(folder + u"\\b.txt")->CheckState, csCheckedNormal);
  EXPECT_EQ(NodeOf(folder + u"\\z.txt")->CheckState, csUncheckedNormal);
  EXPECT_EQ(NodeOf(folder + u"\\a.txt")->CheckState, csUncheckedNormal);
}

TEST_F(ExplorerTree, ActiveMarksTheTreeBuiltWithOrWithoutARoot) {
  tree->SetActive(false);
  tree->SetRootFolderCustomPath(folder + u"\\missing");  // no such folder: the root stays
  EXPECT_EQ(tree->RootFolder(), rfDrives);
  // A root that does not exist: activating builds nothing, and counts as built.
  tree->SetRootFolderCustomPIDL(nullptr);
  TVirtualExplorerTreeview* other = New<TVirtualExplorerTreeview>(form);
  other->SetParent(form);
  other->SetRootFolder(rfCustom);  // no custom path: no root item
  other->SetActive(true);
  EXPECT_TRUE(other->TreeBuilt());
  EXPECT_EQ(other->GetFirstNoInit(), nullptr);
  // Once a root exists, the same activation builds.
  other->SetRootFolderCustomPath(folder);
  EXPECT_TRUE(other->TreeBuilt());
  EXPECT_NE(other->GetFirstNoInit(), nullptr);
  other->SetActive(false);
  EXPECT_FALSE(other->TreeBuilt());
  other->SetActive(true);
  EXPECT_TRUE(other->TreeBuilt());
}

TEST_F(ExplorerTree, OnEnumFolderKeepsItemsOutAndTheSavedStateStreams) {
  MakeFile(folder + u"\\keep.txt");
  MakeFile(folder + u"\\drop.tmp");
  tree->OnEnumFolder = [](TCustomVirtualExplorerTree*, TNamespace* ns, bool& allow) {
    allow = ns->Extension() != u".tmp";
  };
  tree->SetActive(false);
  tree->SetActive(true);
  EXPECT_NE(NodeOf(folder + u"\\keep.txt"), nullptr);
  EXPECT_EQ(NodeOf(folder + u"\\drop.tmp"), nullptr);

  Click(folder + u"\\keep.txt");
  tree->SetExpanded(NodeOf(folder), true);
  TVETPersistent* saved = New<TVETPersistent>();
  saved->SaveTree(tree, true, true);
  saved->Storage->CopyFrom(tree->GetStorage());
  TMemoryStream* stream = New<TMemoryStream>();
  saved->SaveToStream(stream, 3, true);
  TVETPersistent* loaded = New<TVETPersistent>();
  stream->SetPosition(0);
  loaded->LoadFromStream(stream, 3, true);
  EXPECT_EQ(loaded->RootFolder, static_cast<int>(rfDrives));
  EXPECT_GE(loaded->LeafNodeList->Count(), 1);
  // keep.txt is the folder's only item in the tree: the folder is checked with it.
  EXPECT_EQ(Strings(loaded->Storage->GetCheckedFileNames(cnkEveryItem)),
            (std::vector<std::u16string>{folder, folder + u"\\keep.txt"}));
  // A stream cut short is refused.
  TMemoryStream* cut = New<TMemoryStream>();
  cut->CopyFrom(stream, 0);
  cut->SetSize(cut->Size() - 3);
  cut->SetPosition(0);
  TVETPersistent* broken = New<TVETPersistent>();
  EXPECT_ANY_THROW(broken->LoadFromStream(cut, 3, true));
  broken->Free();
  cut->Free();
  loaded->Free();
  stream->Free();
  saved->Free();
}

// The saved state keeps the top row's item, or when it is gone the nearest
// valid item beside it (the ones before it first), and an invalid root is told
// of and saves nothing.
TEST_F(ExplorerTree, TheSavedTopRowFallsOnTheItemBesideItAndAnInvalidRootIsToldOf) {
  for (int i = 0; i < 40; ++i) {
    const char16_t digits[] = {static_cast<char16_t>(u'0' + i / 10), static_cast<char16_t>(u'0' + i % 10), 0};
    MakeFile(folder + u"\\item" + digits + u".txt");
  }
  tree->SetExpanded(NodeOf(folder), true);
  PVirtualNode before = NodeOf(folder + u"\\item04.txt");
  PVirtualNode top = NodeOf(folder + u"\\item05.txt");
  ASSERT_TRUE(before != nullptr && top != nullptr);
  form->Show();
  qvtest::Pump(50);
  tree->SetTopNode(top);
  const std::u16string shown = TextOf(tree, tree->GetTopNode());
  ASSERT_EQ(tree->GetTopNode(), top) << std::string(shown.begin(), shown.end());
  DeleteFileW(reinterpret_cast<LPCWSTR>((folder + u"\\item05.txt").c_str()));
  TVETPersistent* saved = New<TVETPersistent>();
  saved->SaveTree(tree, false, false);
  ASSERT_NE(saved->TopNodePIDL, nullptr);
  EXPECT_TRUE(ILIsEqual(saved->TopNodePIDL, tree->NodeNamespace(before)->AbsolutePIDL()));
  // Restored when the top row's item is gone too: the focused item comes to the top.
  tree->SetFocusedNode(NodeOf(folder + u"\\item06.txt"));
  TVETPersistent* focused = New<TVETPersistent>();
  focused->SaveTree(tree, false, true);
  DeleteFileW(reinterpret_cast<LPCWSTR>((folder + u"\\item04.txt").c_str()));
  focused->RestoreTree(tree, false, true, true);
  EXPECT_EQ(tree->GetTopNode(), NodeOf(folder + u"\\item06.txt"));
  focused->Free();
  static int told;
  told = 0;
  tree->OnInvalidRootNamespace = [](TCustomVirtualExplorerTree*) { ++told; };
  MakeFolder(folder + u"\\gone");
  tree->SetRootFolderCustomPath(folder + u"\\gone");
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>((folder + u"\\gone").c_str()));
  TVETPersistent* none = New<TVETPersistent>();
  none->SaveTree(tree, true, true);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(none->TopNodePIDL, nullptr);
  none->Free();
  saved->Free();
}

TEST_F(ExplorerTree, ScreenshotShowsTheThreeCheckStatesAndIcons) {
  MakeFolder(folder + u"\\Documents");
  MakeFile(folder + u"\\Documents\\letter.txt");
  MakeFile(folder + u"\\Documents\\report.dat");
  MakeFolder(folder + u"\\Pictures");
  MakeFile(folder + u"\\Pictures\\\u03b8\u03ac\u03bb\u03b1\u03c3\u03c3\u03b1.bmp");
  MakeFolder(folder + u"\\Empty");
  MakeFile(folder + u"\\notes.txt");
  MakeFile(folder + u"\\hidden.ini", 10, FILE_ATTRIBUTE_HIDDEN);
  Click(folder + u"\\Documents\\letter.txt");
  Click(folder + u"\\Pictures");
  for (const char16_t* path : {u"", u"\\Documents", u"\\Pictures"}) {
    PVirtualNode node = NodeOf(folder + path);
    for (PVirtualNode run = node; run != nullptr && run != tree->RootNode(); run = run->Parent)
      tree->SetExpanded(run, true);
  }
  form->Show();
  tree->ScrollIntoView(NodeOf(folder + u"\\notes.txt"), false);
  qvtest::Pump(300);
  EXPECT_EQ(NodeOf(folder + u"\\Documents")->CheckState, csMixedNormal);
  EXPECT_EQ(NodeOf(folder + u"\\Pictures")->CheckState, csCheckedNormal);
  EXPECT_EQ(NodeOf(folder + u"\\notes.txt")->CheckState, csUncheckedNormal);
  std::string path = qvtest::SaveScreenshot(form->Handle(), "explorer-tree-checks");
  EXPECT_FALSE(path.empty());
}

TEST_F(ExplorerTree, ARightClickLeavesTheSelectionAsItWas) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  for (PVirtualNode run = a->Parent; run != nullptr && run != tree->RootNode(); run = run->Parent)
    tree->SetExpanded(run, true);
  form->Show();
  tree->ScrollIntoView(b, false);
  tree->AddToSelection(a);
  tree->SetFocusedNode(a);
  TRect r = tree->GetDisplayRect(b, NoColumn, true);
  TContextMenuManager* manager = tree->ContextMenuManager();
  manager->TrackRightButton((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2, false, false);
  EXPECT_EQ(manager->ClickNode, b);
  EXPECT_TRUE(manager->RightClickPending);
  EXPECT_TRUE(tree->GetSelected(b));
  EXPECT_FALSE(tree->GetSelected(a));
  manager->TrackRightButton((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2, false, true);
  EXPECT_TRUE(tree->GetSelected(a));
  EXPECT_FALSE(tree->GetSelected(b));
  EXPECT_EQ(tree->FocusedNode(), a);
  EXPECT_EQ(manager->ClickNode, nullptr);
  // Right of the text (no label, no icon) shows no shell menu unless the whole row counts.
  manager->TrackRightButton(r.Right + 150, (r.Top + r.Bottom) / 2, false, false);
  EXPECT_EQ(manager->ClickNode, nullptr);
  // The key for the menu opens it at the node's icon.
  TPoint p = manager->NodeMenuPoint(a);
  EXPECT_NE(p.X, 0);
  EXPECT_EQ(manager->NodeMenuPoint(nullptr).X, 0);
}

TEST_F(ExplorerTree, ExplorerColumnsShowDetailsAndTheColumnMenuTogglesThem) {
  MakeFile(folder + u"\\sized.txt", 3000);
  tree->HandleNeeded();  // explorer columns are made for a tree with a window
  tree->SetColumnDetails(cdVETColumns);
  TVirtualTreeColumns* columns = tree->Header()->Columns();
  ASSERT_EQ(columns->Count(), 9);
  EXPECT_EQ(columns->Items(0)->Text(), u"Name");
  EXPECT_EQ(columns->Items(1)->Text(), u"Size");
  EXPECT_FALSE(columns->Items(5)->Options().Contains(coVisible));  // Accessed starts hidden
  tree->SetActive(false);
  tree->SetActive(true);
  PVirtualNode node = NodeOf(folder + u"\\sized.txt");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(tree->GetText(node, 0), u"sized.txt");
  EXPECT_EQ(tree->GetText(node, 1), u"2 KB");  // whole kilobytes, truncated
  EXPECT_EQ(tree->GetText(node, 8), folder + u"\\sized.txt");

  static int changes = 0;
  changes = 0;
  tree->OnColumnUserChangedVisiblility = [](TCustomVirtualExplorerTree*) { ++changes; };
  TColumnMenu* menu = tree->ColumnMenu();
  menu->RebuildItems();
  ASSERT_EQ(menu->Items()->Count(), 9);
  EXPECT_TRUE(menu->Items()->Items(1)->Checked());
  EXPECT_FALSE(menu->Items()->Items(5)->Checked());
  menu->Items()->Items(1)->Click();
  EXPECT_FALSE(columns->Items(1)->Options().Contains(coVisible));
  menu->RebuildItems();
  menu->Items()->Items(1)->Click();
  EXPECT_TRUE(columns->Items(1)->Options().Contains(coVisible));
  EXPECT_EQ(changes, 2);
  tree->SetColumnDetails(cdUser);
  EXPECT_EQ(columns->Count(), 0);
}

TEST_F(ExplorerTree, CtrlAndShiftHeaderClicksFitAndHideAColumnAndGiveItsWidthBack) {
  MakeFile(folder + u"\\a rather long file name to measure.txt");
  tree->HandleNeeded();
  tree->SetColumnDetails(cdVETColumns);
  tree->SetActive(false);
  tree->SetActive(true);
  ASSERT_NE(NodeOf(folder + u"\\a rather long file name to measure.txt"), nullptr);
  TVirtualTreeColumn* type = tree->Header()->Columns()->Items(2);
  int before = type->Width();
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssShift}, 0, 0);
  EXPECT_EQ(type->Width(), type->MinWidth());  // as narrow as the column allows
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssShift}, 0, 0);
  EXPECT_EQ(type->Width(), before);
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssCtrl}, 0, 0);
  EXPECT_EQ(type->Width(), tree->GetMaxColumnWidth(2));
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssCtrl}, 0, 0);
  EXPECT_EQ(type->Width(), before);
}

namespace {

// A tree ordering against the shell: the keyed order it first tries never holds.
struct TReversedExplorerTree : TVirtualExplorerTreeview {
  int DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) override {
    return -TVirtualExplorerTreeview::DoCompareNodes(node1, node2, column);
  }
};

// +1 when every neighbouring pair of node's children is in the shell's
// ascending order, -1 when all are in descending order, else 0.
int ShellOrderOfChildren(TBaseVirtualTree* tree, PVirtualNode node) {
  TShellSortHelper helper;
  bool up = true, down = true;
  for (PVirtualNode child = tree->GetFirstChild(node); child && child->NextSibling; child = child->NextSibling) {
    int order = helper.CompareIDSort(0, static_cast<TCustomVirtualExplorerTree*>(tree)->NodeNamespace(child),
                                     static_cast<TCustomVirtualExplorerTree*>(tree)->NodeNamespace(child->NextSibling));
    up = up && order < 0;
    down = down && order > 0;
  }
  return up ? 1 : down ? -1 : 0;
}

}  // namespace

TEST_F(ExplorerTree, ChildrenStandInTheFoldersOwnOrderWhicheverWayTheyAreSorted) {
  // Folders and files whose names mix case, digits, dots, dashes, spaces and
  // letters beyond ASCII.
  std::mt19937 rng(7);
  const std::u16string alphabet = u"aAbZ019._- \u00e9\u00df\u0436\u4e2d";
  std::set<std::u16string> seen;
  int made = 0;
  while (made < 60) {
    std::u16string name;
    for (size_t i = 0, n = 1 + rng() % 6; i < n; ++i) name += alphabet[rng() % alphabet.size()];
    std::u16string lower = name;
    for (char16_t& c : lower) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
    if (name.front() == u' ' || name.back() == u'.' || name.back() == u' ' || !seen.insert(lower).second) continue;
    if (made++ % 5 == 0) MakeFolder(folder + u"\\" + name);
    else MakeFile(folder + u"\\" + name);
  }
  // And a folder whose children may come in its own order already, but for
  // two names whose order the keys may misjudge.
  MakeFolder(folder + u"\\plain");
  for (int i = 0; i < 30; ++i)
    MakeFile(folder + u"\\plain\\n" + std::u16string(1, char16_t(u'0' + i / 10)) + char16_t(u'0' + i % 10));
  MakeFile(folder + u"\\plain\\n1\u0436");
  MakeFile(folder + u"\\plain\\n2\u4e2d");
  PVirtualNode node = NodeOf(folder);
  ASSERT_NE(node, nullptr);
  tree->SetExpanded(node, true);
  ASSERT_EQ(node->ChildCount, 61u);
  EXPECT_EQ(ShellOrderOfChildren(tree, node), 1);
  tree->Sort(node, NoColumn, sdDescending);
  EXPECT_EQ(ShellOrderOfChildren(tree, node), -1);
  tree->Sort(node, NoColumn, sdAscending);
  EXPECT_EQ(ShellOrderOfChildren(tree, node), 1);
  EXPECT_EQ(tree->GetFirstChild(node)->Index, 0u);
  EXPECT_EQ(node->LastChild->Index, 60u);

  PVirtualNode plain = NodeOf(folder + u"\\plain");
  ASSERT_NE(plain, nullptr);
  tree->SetExpanded(plain, true);
  EXPECT_EQ(ShellOrderOfChildren(tree, plain), 1);
  tree->Sort(plain, NoColumn, sdDescending);
  EXPECT_EQ(ShellOrderOfChildren(tree, plain), -1);
  EXPECT_EQ(plain->LastChild->Index, 31u);

  // Where the tree's own comparison disagrees with the keys, it still decides.
  TReversedExplorerTree* reversed = New<TReversedExplorerTree>(form);
  reversed->SetParent(form);
  reversed->SetFileObjects({foFolders, foNonFolders, foHidden});
  reversed->SetRootFolderCustomPath(folder);
  reversed->SetActive(true);
  PVirtualNode top = reversed->GetFirst();
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->ChildCount, 61u);
  EXPECT_EQ(ShellOrderOfChildren(reversed, top), -1);
}

// Ctrl and Shift with a header click fit a column to its widest text or fold
// it to nothing, and give the old width back the next time: also when the
// first node is a listed item (the root folder hidden), which was listed with
// its column manager.
TEST_F(ExplorerTree, HeaderClicksFitAndFoldColumnsWithTheRootFolderHidden) {
  MakeFile(folder + u"\\a rather long name to fit the column to.txt", 10);
  MakeFile(folder + u"\\b.txt", 10);
  tree->HandleNeeded();
  tree->SetColumnDetails(cdVETColumns);
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder));
  tree->SetRootFolderCustomPath(folder);
  tree->SetActive(false);
  tree->SetActive(true);
  ASSERT_NE(tree->GetFirst(), nullptr);
  for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNext(node))
    EXPECT_NE(tree->NodeColumnManager(node), nullptr);
  TVirtualTreeColumn* type = tree->Header()->Columns()->Items(2);
  int before = type->Width();
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssCtrl}, 0, 0);
  EXPECT_EQ(type->Width(), tree->GetMaxColumnWidth(2));
  ASSERT_NE(tree->NodeColumnManager(tree->GetFirst()), nullptr);
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssCtrl}, 0, 0);
  EXPECT_EQ(type->Width(), before);
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssShift}, 0, 0);
  EXPECT_EQ(type->Width(), type->MinWidth());
  tree->DoHeaderClick(2, mbLeft, TShiftState{ssShift}, 0, 0);
  EXPECT_EQ(type->Width(), before);
}

namespace {

// The check state of every node below node, in tree order (folders expanded).
std::vector<TCheckState> StatesBelow(TBaseVirtualTree* tree, PVirtualNode node) {
  std::vector<TCheckState> states;
  tree->SetExpanded(node, true);
  for (PVirtualNode child = tree->GetFirstChild(node); child != nullptr; child = child->NextSibling) {
    states.push_back(child->CheckState);
    if (child->States & vsHasChildren) {
      std::vector<TCheckState> below = StatesBelow(tree, child);
      states.insert(states.end(), below.begin(), below.end());
    }
  }
  return states;
}

}  // namespace

TEST_F(ExplorerTree, RandomCheckMarksComeBackAfterEveryRebuild) {
  // Checks in a folder beside this one: the storage is never empty.
  MakeFolder(folder + u"\\beside");
  MakeFile(folder + u"\\beside\\b.txt");
  MakeFolder(folder + u"\\f");
  std::vector<std::u16string> paths;
  for (int i = 0; i < 8; ++i) {
    std::u16string name = folder + u"\\f\\" + (i % 3 == 0 ? u"d" : u"x") + std::u16string(1, char16_t(u'0' + i));
    if (i % 3 == 0) {
      MakeFolder(name);
      MakeFile(name + u"\\in.txt");
      paths.push_back(name + u"\\in.txt");
    } else {
      MakeFile(name);
    }
    paths.push_back(name);
  }
  Click(folder + u"\\beside\\b.txt");
  std::mt19937 rng(5);
  for (int round = 0; round < 12; ++round) {
    for (int clicks = 1 + rng() % 3; clicks > 0; --clicks) Click(paths[rng() % paths.size()]);
    std::vector<TCheckState> before = StatesBelow(tree, NodeOf(folder + u"\\f"));
    tree->SetActive(false);
    tree->SetActive(true);
    EXPECT_EQ(StatesBelow(tree, NodeOf(folder + u"\\f")), before) << "round " << round;
  }

  // A record stored while the folder's children are made is seen by the
  // children made after it.
  Click(folder + u"\\f");
  if (NodeOf(folder + u"\\f")->CheckState != csUncheckedNormal) Click(folder + u"\\f");
  for (const std::u16string& path : EveryItem()) ASSERT_NE(path.rfind(folder + u"\\f", 0), 0u) << Narrow(path);
  tree->SetActive(false);
  static std::u16string storeUnder;
  static LPITEMIDLIST storePIDL;
  static bool stored;
  storeUnder = folder + u"\\f";
  storePIDL = PathToPIDL(folder + u"\\f\\x7");
  stored = false;
  tree->OnInitNode = [](TBaseVirtualTree* sender, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates&) {
    if (node->CheckType == ctNone) node->CheckType = ctTriStateCheckBox;
    auto* explorer = static_cast<TCustomVirtualExplorerTree*>(sender);
    TNamespace* folderNs = parent != nullptr ? explorer->NodeNamespace(parent) : nullptr;
    if (!stored && folderNs != nullptr && folderNs->NameForParsing() == storeUnder) {
      stored = true;
      TNodeStorage* record = explorer->GetStorage()->Store(storePIDL, {skCheckState});
      record->Storage.CheckState = csCheckedNormal;
      record->Storage.CheckType = ctTriStateCheckBox;
    }
  };
  tree->SetActive(true);
  PVirtualNode x7 = NodeOf(folder + u"\\f\\x7");
  ASSERT_NE(x7, nullptr);
  EXPECT_TRUE(stored);
  EXPECT_EQ(x7->CheckState, csCheckedNormal);
  NamespacePIDLManager->FreePIDL(storePIDL);
}

TEST_F(ExplorerTree, ARefusedRenameOpensTheEditorAgainOnlyOnANodeThatStillExists) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  for (PVirtualNode run = a->Parent; run != nullptr && run != tree->RootNode(); run = run->Parent)
    tree->SetExpanded(run, true);
  form->Show();
  // The name is taken: the shell refuses, and the editor opens again once the message arrives.
  tree->DoNewText(a, NoColumn, u"b.txt");
  EXPECT_FALSE(tree->IsEditing());
  qvtest::Pump(100);
  EXPECT_TRUE(tree->IsEditing());
  tree->CancelEditNode();
  // Refused again, but F5 makes every node anew before the message arrives.
  tree->DoNewText(NodeOf(folder + u"\\a.txt"), NoColumn, u"b.txt");
  ASSERT_TRUE(tree->RefreshTree(false));
  qvtest::Pump(100);
  EXPECT_FALSE(tree->IsEditing()) << "an editor opened for a node that went";
  EXPECT_NE(NodeOf(folder + u"\\a.txt"), nullptr);
}
