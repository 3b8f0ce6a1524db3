// The explorer's list pane on the mapped test drive: browsing into folders in
// place (keys, double clicks, shortcuts, ".zip" folders), the browse limit,
// the shell columns with their layout kept per folder, the column menu, and
// the header's columns kept out of form definitions.
#include <cstring>
#include <set>

#include "ExplorerTestSupport.h"
#include "shell/ColumnMenu.h"
#include "shell/ExplorerListview.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

// The file tree of the fixture on the left, a list pane linked to it on the right.
struct Listview : ExplorerFixture {
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    form->SetBounds(10, 10, 900, 520);
    list = New<TVirtualExplorerListview>(form);
    list->SetParent(form);
    list->SetBounds(410, 4, 470, 480);
    list->SetColor(clWhite);
    TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
    o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
    o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread));
    list->SetVirtualExplorerTreeview(tree);
    tree->SetVirtualExplorerListview(list);
    form->Show();
  }
  // Shows path in the list.
  void Browse(const std::u16string& path) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    ASSERT_NE(pidl, nullptr) << Narrow(path);
    list->BrowseTo(pidl, false, true, false, false, true);
    NamespacePIDLManager->FreePIDL(pidl);
    list->SetActive(true);
  }
  std::u16string Shown() { return list->RootNamespace() ? list->RootNamespace()->NameForParsing() : u""; }
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    for (PVirtualNode node = list->GetFirst(); node != nullptr; node = list->GetNextSibling(node))
      names.push_back(list->GetText(node, 0));
    return names;
  }
  PVirtualNode Row(const std::u16string& name) {
    for (PVirtualNode node = list->GetFirst(); node != nullptr; node = list->GetNextSibling(node))
      if (list->GetText(node, 0) == name) return node;
    return nullptr;
  }
  void SelectRow(const std::u16string& name) {
    PVirtualNode node = Row(name);
    ASSERT_NE(node, nullptr) << Narrow(name);
    list->ClearSelection();
    list->SetSelected(node, true);
    list->SetFocusedNode(node);
  }
  TVirtualExplorerListview* list = nullptr;
};

}  // namespace

TEST_F(Listview, TakesTheListDefaultsAndShowsAFolderWithItsShellColumns) {
  EXPECT_EQ(list->FileObjects(), (TFileObjects{foFolders, foNonFolders, foHidden}));
  EXPECT_EQ(list->ColumnDetails(), cdShellColumns);
  EXPECT_TRUE(list->TreeOptions()->VETFolderOptions().Contains(toHideRootFolder));
  EXPECT_TRUE(list->TreeOptions()->SelectionOptions().Contains(toSiblingSelectConstraint));
  EXPECT_FALSE(list->TreeOptions()->SelectionOptions().Contains(toLevelSelectConstraint));
  EXPECT_EQ(list->Header()->Height(), 17u);
  EXPECT_EQ(list->Indent(), 0u);
  // The tree pane keeps its own defaults.
  EXPECT_EQ(tree->VirtualExplorerListview(), list);

  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\a.txt", 3000);
  MakeFile(folder + u"\\hidden.txt", 10, FILE_ATTRIBUTE_HIDDEN);
  Browse(folder);
  EXPECT_EQ(Shown(), folder);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"sub", u"a.txt", u"hidden.txt"}));
  TVirtualTreeColumns* columns = list->Header()->Columns();
  ASSERT_GE(columns->Count(), 4);
  EXPECT_EQ(list->ShellColumnCount(), columns->Count());
  EXPECT_EQ(columns->Items(0)->Width(), 180);
  EXPECT_EQ(columns->Items(1)->Width(), 96);
  EXPECT_EQ(columns->Items(1)->Alignment(), taRightJustify);  // the size column of a file-system folder
  EXPECT_EQ(list->GetText(Row(u"a.txt"), 1), list->NodeNamespace(Row(u"a.txt"))->DetailsOf(1));
  // The list's copy of its first root is taken with the window.
  ASSERT_NE(list->RootCopy(), nullptr);
  qvtest::Pump(200);
  qvtest::SaveScreenshot(form->Handle(), "explorer_list_pane");
}

TEST_F(Listview, EnterAndDoubleClickBrowseIntoFoldersAndBackspaceGoesUp) {
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\sub\\deeper");
  MakeFile(folder + u"\\sub\\inner.txt");
  Browse(folder);
  list->SetFocus();
  SelectRow(u"sub");
  qvtest::PressKey(list, VK_RETURN);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder + u"\\sub"; }));
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"deeper", u"inner.txt"}));
  qvtest::PressKey(list, VK_BACK);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder; }));
  SelectRow(u"sub");
  // A double click on the name browses as Enter does.
  TRect r = list->GetDisplayRect(Row(u"sub"), 0, /*textOnly=*/true);
  qvtest::DoubleClick(list, r.Left + 4, (r.Top + r.Bottom) / 2);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder + u"\\sub"; }));
  // Backspace up to the desktop stops there.
  for (int i = 0; i < 10; ++i) list->BrowseToParent();
  EXPECT_TRUE(list->RootNamespace()->IsDesktop());
  EXPECT_FALSE(list->BrowseToParent());
}

TEST_F(Listview, FilesRunAndZipFoldersRunUnlessTheyMayBeBrowsed) {
  MakeFolder(folder + u"\\pack.zip");
  MakeFile(folder + u"\\pack.zip\\in.txt");
  MakeFile(folder + u"\\doc.txt");
  Browse(folder);
  static std::vector<std::u16string> runs;
  runs.clear();
  list->OnShellExecute = [](TCustomVirtualExplorerTree*, TNamespace* ns, std::u16string&, std::u16string&,
                            bool& allow) {
    runs.push_back(ns->NameInFolder());
    allow = false;  // the test runs nothing
  };
  TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toBrowseExecuteZipFolder));
  SelectRow(u"pack.zip");
  list->DoShellExecute(list->GetFirstSelected());
  EXPECT_EQ(Shown(), folder);
  EXPECT_EQ(runs, std::vector<std::u16string>{u"pack.zip"});
  SelectRow(u"doc.txt");
  uint16_t key = VK_RETURN;
  TShiftState none;
  list->DoKeyAction(key, none);
  EXPECT_EQ(Shown(), folder);
  EXPECT_EQ(runs.back(), u"doc.txt");
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toBrowseExecuteZipFolder));
  SelectRow(u"pack.zip");
  list->DoShellExecute(list->GetFirstSelected());
  EXPECT_EQ(Shown(), folder + u"\\pack.zip");
  EXPECT_EQ(runs.size(), 2u);
}

TEST_F(Listview, BrowsingToAFileShowsItsFolderAndSelectsIt) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\sub\\x.txt");
  MakeFile(folder + u"\\sub\\y.txt");
  LPITEMIDLIST pidl = PathToPIDL(folder + u"\\sub\\y.txt");
  ASSERT_NE(pidl, nullptr);
  uint32_t size = NamespacePIDLManager->PIDLSize(pidl);
  std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(pidl), reinterpret_cast<uint8_t*>(pidl) + size);
  list->SetActive(true);
  EXPECT_TRUE(list->BrowseTo(pidl, false, true, false, false, true));
  EXPECT_EQ(0, std::memcmp(before.data(), pidl, size));
  NamespacePIDLManager->FreePIDL(pidl);
  EXPECT_EQ(Shown(), folder + u"\\sub");
  ASSERT_EQ(list->SelectedCount(), 1u);
  EXPECT_EQ(list->GetText(list->GetFirstSelected(), 0), u"y.txt");
  EXPECT_FALSE(list->BrowseTo(nullptr, false, true, false, false, true));
}

TEST_F(Listview, TheLimitKeepsBrowsingInsideTheFirstRoot) {
  MakeFolder(folder + u"\\Data");
  MakeFolder(folder + u"\\Data\\Sub");
  // Unlinked, with its root set before the window: the root copy is the limit.
  list->Free();
  list = New<TVirtualExplorerListview>(form);
  list->SetRootFolderCustomPath(folder + u"\\Data");
  list->SetActive(true);
  EXPECT_EQ(list->RootCopy(), nullptr);
  list->SetParent(form);
  list->SetBounds(410, 4, 470, 480);
  list->HandleNeeded();
  ASSERT_NE(list->RootCopy(), nullptr);
  EXPECT_EQ(list->RootCopy()->NameForParsing(), folder + u"\\Data");
  TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toListviewLimitBrowseToRoot));
  LPITEMIDLIST drive = PathToPIDL(TestDrive() + u"\\");
  LPITEMIDLIST sub = PathToPIDL(folder + u"\\Data\\Sub");
  LPITEMIDLIST data = PathToPIDL(folder + u"\\Data");
  EXPECT_FALSE(list->OkToBrowseTo(drive));
  EXPECT_FALSE(list->BrowseTo(drive, false, true, false, false, false) && Shown() != folder + u"\\Data");
  EXPECT_EQ(Shown(), folder + u"\\Data");
  EXPECT_TRUE(list->OkToBrowseTo(sub));
  EXPECT_TRUE(list->BrowseTo(sub, false, true, false, false, false));
  EXPECT_EQ(Shown(), folder + u"\\Data\\Sub");
  EXPECT_TRUE(list->OkToBrowseTo(data));  // the limit itself
  list->BrowseToParent();
  EXPECT_EQ(Shown(), folder + u"\\Data");
  list->BrowseToParent();
  EXPECT_EQ(Shown(), folder + u"\\Data");  // refused above the limit
  // Linked to a tree pane, the tree's root is the limit (the drives: anything on them).
  list->SetVirtualExplorerTreeview(tree);
  EXPECT_TRUE(list->OkToBrowseTo(drive));
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toListviewLimitBrowseToRoot));
  list->SetVirtualExplorerTreeview(nullptr);
  EXPECT_TRUE(list->OkToBrowseTo(drive));
  for (LPITEMIDLIST p : {drive, sub, data}) NamespacePIDLManager->FreePIDL(p);
}

TEST_F(Listview, AFoldersColumnLayoutIsKeptInTheStorageAndAStaleOneDropped) {
  MakeFolder(folder + u"\\one");
  MakeFolder(folder + u"\\two");
  TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toPersistentColumns));
  Browse(folder + u"\\one");
  TVirtualTreeColumns* columns = list->Header()->Columns();
  int count = columns->Count();
  ASSERT_GE(count, 3);
  columns->Items(1)->SetWidth(222);
  columns->Items(2)->SetPosition(0);
  list->DoHeaderDragged(2, 2);
  LPITEMIDLIST one = PathToPIDL(folder + u"\\one");
  TNodeStorage* record = list->GetStorage()->Find(one, {skColumnLayout});
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->Storage.Columns.Widths.size(), static_cast<size_t>(count));
  EXPECT_EQ(record->Storage.Columns.Widths[1], 222);
  EXPECT_EQ(record->Storage.Columns.Positions[2], 0);

  Browse(folder + u"\\two");
  EXPECT_EQ(columns->Items(1)->Width(), 96);
  EXPECT_EQ(columns->Items(0)->Position(), 0);
  Browse(folder + u"\\one");
  EXPECT_EQ(columns->Items(1)->Width(), 222);
  EXPECT_EQ(columns->Items(2)->Position(), 0);
  EXPECT_EQ(columns->Items(0)->Position(), 1);

  // A layout for another column count, or with positions that are no order, is forgotten.
  record = list->GetStorage()->Find(one, {skColumnLayout});
  ASSERT_NE(record, nullptr);
  record->Storage.Columns.Positions.assign(count, 0);
  Browse(folder + u"\\two");
  Browse(folder + u"\\one");
  EXPECT_EQ(list->GetStorage()->Find(one, {skColumnLayout}), nullptr);
  EXPECT_EQ(columns->Items(1)->Width(), 96);
  NamespacePIDLManager->FreePIDL(one);

  // Without toPersistentColumns nothing is stored.
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toPersistentColumns));
  columns->Items(1)->SetWidth(150);
  LPITEMIDLIST pidl = PathToPIDL(folder + u"\\one");
  EXPECT_EQ(list->GetStorage()->Find(pidl, {skColumnLayout}), nullptr);
  NamespacePIDLManager->FreePIDL(pidl);
}

TEST_F(Listview, TheColumnMenuOffersTheFirstColumnsAndMore) {
  Browse(folder);
  list->SetColumnMenuItemCount(2);
  TColumnMenu* menu = list->ColumnMenu();
  menu->RebuildItems();
  ASSERT_EQ(menu->Items()->Count(), 4);
  EXPECT_EQ(menu->Items()->Items(0)->Caption(), Narrow(list->Header()->Columns()->Items(0)->Text()));
  EXPECT_EQ(menu->Items()->Items(2)->Caption(), "-");
  EXPECT_EQ(menu->Items()->Items(3)->Caption(), "More ...");
  EXPECT_EQ(static_cast<TColumnMenuItem*>(menu->Items()->Items(3))->Tag, TColumnMenuItem::kMoreTag);
  list->SetColumnMenuItemCount(100);
  menu->RebuildItems();
  bool more = false;
  for (int i = 0; i < menu->Items()->Count(); ++i) more |= menu->Items()->Items(i)->Caption() == "More ...";
  EXPECT_EQ(more, menu->Items()->Count() < list->Header()->Columns()->Count());
}

TEST_F(Listview, ShellColumnsStayOutOfFormDefinitionsExplorerColumnsGoIn) {
  Browse(folder);
  std::string text = WriteFormDefinition(form);
  EXPECT_EQ(text.find("Columns = <"), text.rfind("Columns = <"));  // the file tree's (empty) set alone, if any
  size_t listAt = text.find("TVirtualExplorerListview");
  ASSERT_NE(listAt, std::string::npos);
  EXPECT_EQ(text.find("Columns = <", listAt), std::string::npos);
  list->SetColumnDetails(cdVETColumns);
  text = WriteFormDefinition(form);
  listAt = text.find("TVirtualExplorerListview");
  EXPECT_NE(text.find("Columns = <", listAt), std::string::npos);
  EXPECT_TRUE(static_cast<TVETHeader*>(list->Header())->CanWriteColumns());
}

TEST_F(Listview, ALinkedTreeAndListFollowEachOther) {
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\sub\\deeper");
  MakeFile(folder + u"\\sub\\inner.txt");
  list->SetActive(true);
  // Selecting a folder in the tree shows it in the list.
  PVirtualNode sub = NodeOf(folder + u"\\sub");
  ASSERT_NE(sub, nullptr);
  tree->ClearSelection();
  tree->SetSelected(sub, true);
  tree->SetFocusedNode(sub);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder + u"\\sub"; }));
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"deeper", u"inner.txt"}));
  // Browsing in the list moves the tree: into a folder, and back up with Backspace.
  SelectRow(u"deeper");
  qvtest::PressKey(list, VK_RETURN);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder + u"\\sub\\deeper"; }));
  auto treeShows = [&](const std::u16string& path) {
    TNamespace* ns = tree->NodeNamespace(tree->GetFirstSelected());
    return ns != nullptr && ns->NameForParsing() == path;
  };
  EXPECT_TRUE(qvtest::PumpUntil([&] { return treeShows(folder + u"\\sub\\deeper"); }));
  qvtest::PressKey(list, VK_BACK);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Shown() == folder + u"\\sub"; }));
  EXPECT_TRUE(qvtest::PumpUntil([&] { return treeShows(folder + u"\\sub"); }));
  // A list that goes away leaves the tree unlinked.
  list->Free();
  list = nullptr;
  EXPECT_EQ(tree->VirtualExplorerListview(), nullptr);
  PVirtualNode top = NodeOf(folder);
  tree->ClearSelection();
  tree->SetSelected(top, true);
}

TEST_F(Listview, ListsAFolderInTheBackgroundWhenAskedTo) {
  for (int i = 0; i < 40; ++i) MakeFile(folder + u"\\f" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                        std::u16string(1, char16_t(u'0' + i / 26)) + u".txt");
  list->SetThreadedEnum(true);
  Browse(folder);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Names().size() == 40; }, 10000));
  EXPECT_EQ(Shown(), folder);
  EXPECT_GE(list->Header()->Columns()->Count(), 4);
  EXPECT_TRUE(list->Header()->Options().Contains(hoVisible));
  // The property is the list pane's to publish.
  std::string text = WriteFormDefinition(form);
  EXPECT_NE(text.find("ThreadedEnum = True"), std::string::npos);
}

namespace {

int gListingsBuilt = 0;
int gListingsBuiltWhileFollowing = 0;

}  // namespace

TEST_F(Listview, AListingWaitsWhileTheListFollowsALinkedView) {
  MakeFolder(folder + u"\\first");
  MakeFolder(folder + u"\\second");
  for (const char16_t* name : {u"\\a.txt", u"\\b.txt", u"\\c.txt"}) MakeFile(folder + u"\\first" + name);
  MakeFile(folder + u"\\second\\d.txt");
  list->SetThreadedEnum(true);
  gListingsBuilt = gListingsBuiltWhileFollowing = 0;
  list->OnEnumFinished = [](TCustomVirtualExplorerTree*) { ++gListingsBuilt; };
  Browse(folder + u"\\first");
  // The thread has handed its listing over; no tick has taken it yet.
  auto handedOver = [&] {
    list->EnumHandOver()->Lock();
    bool done = list->EnumHandOver()->Result != nullptr;
    list->EnumHandOver()->Unlock();
    return done;
  };
  for (int i = 0; i < 500 && !handedOver(); ++i) Sleep(10);
  ASSERT_TRUE(handedOver());
  // The tree reports another folder; while the list follows it, a tick comes.
  list->OnRootChanging = [](TCustomVirtualExplorerTree* sender, TRootFolder, TNamespace*, TNamespace*, bool&) {
    int before = gListingsBuilt;
    sender->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
    gListingsBuiltWhileFollowing += gListingsBuilt - before;
  };
  LPITEMIDLIST second = PathToPIDL(folder + u"\\second");
  ASSERT_NE(second, nullptr);
  list->ChangeLinkDispatch(tree, second);
  NamespacePIDLManager->FreePIDL(second);
  list->OnRootChanging = nullptr;
  EXPECT_EQ(gListingsBuiltWhileFollowing, 0) << "nodes were made while the list was following the tree";
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Names() == std::vector<std::u16string>{u"d.txt"}; }, 10000));
  EXPECT_EQ(Shown(), folder + u"\\second");
  list->OnEnumFinished = nullptr;
}

namespace {

struct TracedVerb {
  std::u16string item;
  std::u16string verb;
};
std::vector<TracedVerb> gVerbs;

// Records where a verb goes and keeps the shell from running it.
bool TraceVerb(const std::u16string& item, const std::u16string& verb, size_t, bool) {
  gVerbs.push_back({item, verb});
  return false;
}

struct VerbTraceScope {
  VerbTraceScope() {
    gVerbs.clear();
    TNamespace::VerbTrace = TraceVerb;
  }
  ~VerbTraceScope() { TNamespace::VerbTrace = nullptr; }
};

// Presses vk on control with the modifier held (in the thread's key state the
// view reads).
// True when every traced verb is verb on item (and there was one).
bool AllWentTo(const std::u16string& item, const std::u16string& verb) {
  if (gVerbs.empty()) return false;
  for (const TracedVerb& traced : gVerbs)
    if (lstrcmpiW(reinterpret_cast<const wchar_t*>(traced.item.c_str()), reinterpret_cast<const wchar_t*>(item.c_str())) != 0 || traced.verb != verb) return false;
  return true;
}

}  // namespace

TEST_F(Listview, PasteGoesIntoTheShownFolderOrTheSelectedItems) {
  MakeFolder(folder + u"\\target");
  MakeFolder(folder + u"\\other");
  MakeFile(folder + u"\\a.txt");
  Browse(folder);
  ASSERT_EQ(Names().size(), 3u);
  VerbTraceScope trace;
  // Without a selection every road pastes into the shown folder.
  list->ClearSelection();
  EXPECT_TRUE(list->PasteFromClipboard());
  EXPECT_TRUE(AllWentTo(Shown(), u"paste"));
  gVerbs.clear();
  PressWith(list, VK_CONTROL, 'V');
  EXPECT_TRUE(AllWentTo(Shown(), u"paste"));
  gVerbs.clear();
  PressWith(list, VK_SHIFT, VK_INSERT);
  EXPECT_TRUE(AllWentTo(Shown(), u"paste"));
  gVerbs.clear();
  list->SelectedFilesPaste(true);
  EXPECT_TRUE(AllWentTo(Shown(), u"paste"));
  // The keys still paste into the shown folder while a row is selected.
  SelectRow(u"target");
  gVerbs.clear();
  PressWith(list, VK_CONTROL, 'V');
  EXPECT_TRUE(AllWentTo(Shown(), u"paste"));
  // Pasting into the selection reaches the selected folder; with all selected, each of them.
  gVerbs.clear();
  list->SelectedFilesPaste(false);
  EXPECT_TRUE(AllWentTo(folder + u"\\target", u"paste"));
  list->SetSelected(Row(u"other"), true);
  gVerbs.clear();
  list->SelectedFilesPaste(false);  // two selected: only with allSelected
  EXPECT_TRUE(gVerbs.empty());
  list->SelectedFilesPaste(true);
  std::set<std::u16string> reached;
  for (const TracedVerb& traced : gVerbs) reached.insert(traced.item.substr(traced.item.rfind(u'\\') + 1));
  EXPECT_EQ(reached, (std::set<std::u16string>{u"other", u"target"}));
  // Read only: nothing is pasted.
  TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toVETReadOnly));
  gVerbs.clear();
  EXPECT_FALSE(list->PasteFromClipboard());
  PressWith(list, VK_CONTROL, 'V');
  list->SelectedFilesPaste(true);
  EXPECT_TRUE(gVerbs.empty());
}
