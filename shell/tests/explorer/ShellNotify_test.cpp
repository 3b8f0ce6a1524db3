// The explorer tree following the shell on the mapped test drive: changes
// reported through SHChangeNotify (the shell delivers only those made in this
// process under Wine) and found by the kernel watcher (also those of other
// processes), merged into batches by the notifier and applied to the tree.
#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include <tlhelp32.h>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ExactNames.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/FileTypeCache.h"
#include "shell/ShellUtilities.h"

using namespace explorertest;

namespace {

struct Seen {
  TShellEventKind kind;
  std::u16string path;  // of PIDL1 ("" for none)
  DWORD tick;
  uint32_t value = 0;  // DWordItem1
};

// What the trees' OnShellNotify saw (events are capture-less functions).
std::vector<Seen> gSeen;
std::vector<std::u16string> gOtherSeen;
int gInvalidRoots = 0;

void Record(TCustomVirtualExplorerTree*, TVirtualShellEvent* e) {
  gSeen.push_back({e->Kind, e->PIDL1 != nullptr ? PIDLToPath(e->PIDL1) : std::u16string(), GetTickCount(),
                   e->DWordItem1});
}

struct ShellNotify : ExplorerFixture {
  std::vector<Seen>& seen = gSeen;
  void SetUp() override {
    gSeen.clear();
    gOtherSeen.clear();
    gInvalidRoots = 0;
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    form->Show();
    tree->OnShellNotify = Record;
  }
  // The names of node's children in tree order.
  std::vector<std::u16string> ChildNames(PVirtualNode node) {
    std::vector<std::u16string> names;
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      names.push_back(tree->NodeNamespace(child)->NameInFolder());
    std::sort(names.begin(), names.end());
    return names;
  }
  PVirtualNode Expanded(const std::u16string& path) {
    PVirtualNode node = NodeOf(path);
    if (node != nullptr) tree->SetExpanded(node, true);
    return node;
  }
};

}  // namespace

TEST_F(ShellNotify, TheTreeRegistersWithItsWindowAndTheThreadsEndWithIt) {
  EXPECT_TRUE(tree->ChangeNotifierRegistered());
  EXPECT_TRUE(ChangeNotifierThreadRunning(1));
  EXPECT_TRUE(ChangeNotifierThreadRunning(2));
  EXPECT_FALSE(ChangeNotifierThreadRunning(0));
  // Switching the option off leaves the notifier; the last one out stops the threads.
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread));
  EXPECT_FALSE(tree->ChangeNotifierRegistered());
  EXPECT_FALSE(ChangeNotifierThreadRunning(1));
  EXPECT_FALSE(ChangeNotifierThreadRunning(2));
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toChangeNotifierThread));
  EXPECT_TRUE(tree->ChangeNotifierRegistered());
  form->Free();
  form = nullptr;
  EXPECT_FALSE(ChangeNotifierThreadRunning(1));
  EXPECT_FALSE(ChangeNotifierThreadRunning(2));
}

TEST_F(ShellNotify, TenCreationsInTheQuietPeriodArriveAsOneUpdateOfTheFolder) {
  PVirtualNode node = Expanded(folder);
  ASSERT_NE(node, nullptr);
  for (int i = 0; i < 10; ++i) {
    std::u16string path = folder + u"\\burst" + char16_t(u'0' + i) + u".txt";
    MakeReportedFile(path);
    Sleep(30);
  }
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 10; }, 5000));
  Pump(900);  // nothing more comes
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, sekUpdateDir);
  EXPECT_EQ(seen[0].path, folder);
}

TEST_F(ShellNotify, AContinuousWriterStillGetsDeliveries) {
  ASSERT_NE(Expanded(folder), nullptr);
  DWORD start = GetTickCount();
  int n = 0;
  // A change every 100 ms for 4.5 s: the quiet period never comes, the cap delivers anyway.
  while (GetTickCount() - start < 4500) {
    std::u16string path = folder + u"\\w" + std::u16string(1, char16_t(u'a' + n % 26)) + u".txt";
    if (n < 26) MakeFile(path);
    ReportChange(SHCNE_UPDATEITEM, folder);
    ++n;
    Pump(100);
  }
  ASSERT_GE(seen.size(), 2u);
  EXPECT_LE(seen[0].tick - start, 2400u);
  EXPECT_LE(seen[1].tick - seen[0].tick, 2400u);
}

TEST_F(ShellNotify, RenamesMovesAndUnfilteredEvents) {
  MakeFolder(folder + u"\\a");
  MakeFolder(folder + u"\\b");
  MakeFile(folder + u"\\a\\one.txt");
  ASSERT_NE(Expanded(folder + u"\\a"), nullptr);
  ASSERT_NE(Expanded(folder + u"\\b"), nullptr);
  // A rename inside one folder: one update of that folder.
  MoveFileW(W(folder + u"\\a\\one.txt"), W(folder + u"\\a\\two.txt"));
  ReportChange(SHCNE_RENAMEITEM, folder + u"\\a\\one.txt", folder + u"\\a\\two.txt");
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }, 3000));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, folder + u"\\a");
  EXPECT_EQ(ChildNames(NodeOf(folder + u"\\a")), std::vector<std::u16string>{u"two.txt"});
  // A move between two folders: one update of each.
  seen.clear();
  MoveFileW(W(folder + u"\\a\\two.txt"), W(folder + u"\\b\\two.txt"));
  ReportChange(SHCNE_RENAMEITEM, folder + u"\\a\\two.txt", folder + u"\\b\\two.txt");
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }, 3000));
  Pump(200);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].path, folder + u"\\a");
  EXPECT_EQ(seen[1].path, folder + u"\\b");
  EXPECT_TRUE(ChildNames(NodeOf(folder + u"\\a")).empty());
  EXPECT_EQ(ChildNames(NodeOf(folder + u"\\b")), std::vector<std::u16string>{u"two.txt"});
  // Unfiltered, every notification arrives as it was made.
  seen.clear();
  ChangeNotifier()->SetFilterEvents(false);
  MakeReportedFile(folder + u"\\b\\three.txt");
  ReportChange(SHCNE_CREATE, folder + u"\\b\\three.txt");
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }, 3000));
  ChangeNotifier()->SetFilterEvents(true);
  Pump(100);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, sekCreate);
  EXPECT_EQ(seen[0].path, folder + u"\\b\\three.txt");
}

TEST_F(ShellNotify, AHandledEventChangesNothingAndAnUnloadedFolderCostsNothing) {
  ASSERT_NE(Expanded(folder), nullptr);
  tree->OnShellNotify = [](TCustomVirtualExplorerTree* sender, TVirtualShellEvent* e) {
    Record(sender, e);
    e->Handled = true;
  };
  MakeReportedFile(folder + u"\\new.txt");
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }, 3000));
  EXPECT_TRUE(ChildNames(NodeOf(folder)).empty());
  // A folder never opened gets no nodes from an update.
  tree->OnShellNotify = nullptr;
  MakeFolder(folder + u"\\closed");
  MakeFile(folder + u"\\closed\\x.txt");
  LPITEMIDLIST pidl = PathToPIDL(folder + u"\\closed");
  ASSERT_NE(pidl, nullptr);
  ReportChange(SHCNE_UPDATEDIR, folder);
  ASSERT_TRUE(PumpUntil([&] { return tree->FindLoadedNodeByPIDL(pidl) != nullptr; }, 3000));
  PVirtualNode closed = tree->FindLoadedNodeByPIDL(pidl);
  MakeReportedFile(folder + u"\\closed\\y.txt");
  Pump(1200);
  EXPECT_EQ(closed->FirstChild, nullptr);
  EXPECT_TRUE(tree->GetHasChildren(closed));
  NamespacePIDLManager->FreePIDL(pidl);
}

TEST_F(ShellNotify, ADeletedCheckedFileComesBackUncheckedUnderAMixedFolder) {
  MakeFile(folder + u"\\keep.txt");
  MakeFile(folder + u"\\doomed.txt");
  ASSERT_NE(Expanded(folder), nullptr);
  Click(folder + u"\\doomed.txt");
  ASSERT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\doomed.txt"});
  DeleteFileW(W(folder + u"\\doomed.txt"));
  ReportChange(SHCNE_DELETE, folder + u"\\doomed.txt");
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 1; }, 3000));
  EXPECT_TRUE(Topmost().empty());
  MakeReportedFile(folder + u"\\doomed.txt");
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 2; }, 3000));
  EXPECT_EQ(NodeOf(folder + u"\\doomed.txt")->CheckState, csUncheckedNormal);
  EXPECT_TRUE(Topmost().empty());
  // In a fully checked folder a new file is checked and the folder stays whole.
  Click(folder);
  MakeReportedFile(folder + u"\\fresh.txt");
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 3; }, 3000));
  EXPECT_EQ(NodeOf(folder + u"\\fresh.txt")->CheckState, csCheckedNormal);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder});
}

TEST_F(ShellNotify, BatchesWaitWhileAViewIsBusyAndArriveInOrder) {
  MakeFolder(folder + u"\\first");
  MakeFolder(folder + u"\\second");
  ASSERT_NE(Expanded(folder + u"\\first"), nullptr);
  ASSERT_NE(Expanded(folder + u"\\second"), nullptr);
  // A second view: the batch reaches both, and waits for both.
  TVirtualExplorerTreeview* other = New<TVirtualExplorerTreeview>(form);
  other->SetParent(form);
  other->SetBounds(200, 4, 100, 100);
  other->HandleNeeded();
  ASSERT_TRUE(other->ChangeNotifierRegistered());
  std::vector<std::u16string>& otherSeen = gOtherSeen;
  other->OnShellNotify = [](TCustomVirtualExplorerTree*, TVirtualShellEvent* e) {
    gOtherSeen.push_back(PIDLToPath(e->PIDL1));
  };
  tree->ContextMenuManager()->MenuShowing = true;
  EXPECT_FALSE(ShellNotifyManager->OkToDispatch());
  MakeReportedFile(folder + u"\\first\\1.txt");
  Pump(1200);
  MakeReportedFile(folder + u"\\second\\2.txt");
  Pump(1200);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(otherSeen.empty());
  EXPECT_TRUE(ShellNotifyManager->HasParkedLists());
  tree->ContextMenuManager()->MenuShowing = false;
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2 && otherSeen.size() >= 2; }, 3000));
  Pump(300);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].path, folder + u"\\first");
  EXPECT_EQ(seen[1].path, folder + u"\\second");
  EXPECT_EQ(otherSeen, (std::vector<std::u16string>{folder + u"\\first", folder + u"\\second"}));
  EXPECT_EQ(ChildNames(NodeOf(folder + u"\\second")), std::vector<std::u16string>{u"2.txt"});
  other->Free();
  EXPECT_TRUE(ChangeNotifierThreadRunning(1));
}

TEST_F(ShellNotify, TheKernelWatcherSeesAnotherProcess) {
  PVirtualNode node = Expanded(folder);
  ASSERT_NE(node, nullptr);
  IVirtualChangeNotifier* notifier = ChangeNotifier();
  ASSERT_TRUE(notifier->RegisterKernelChangeNotify(tree, knfFileName | knfDirName | knfSize | knfLastWrite));
  ASSERT_TRUE(notifier->ChangeWatchFolder(tree, folder));
  EXPECT_TRUE(ChangeNotifierThreadRunning(0));
  Pump(300);
  ASSERT_TRUE(RunInOtherProcess(u"mkdir \"" + folder + u"\\made by cmd\" && echo x> \"" + folder + u"\\cmd.txt\""));
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 2; }, 5000));
  EXPECT_EQ(ChildNames(NodeOf(folder)), (std::vector<std::u16string>{u"cmd.txt", u"made by cmd"}));
  ASSERT_TRUE(RunInOtherProcess(u"del \"" + folder + u"\\cmd.txt\""));
  ASSERT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 1; }, 5000));
  EXPECT_TRUE(notifier->UnRegisterKernelChangeNotify(tree));
  EXPECT_FALSE(ChangeNotifierThreadRunning(0));
  EXPECT_TRUE(ChangeNotifierThreadRunning(1));
}

TEST_F(ShellNotify, AnInvalidRootDropsTheBatchAndSaysSo) {
  MakeFolder(folder + u"\\root");
  tree->SetRootFolderCustomPath(folder + u"\\root");
  ASSERT_EQ(tree->RootFolder(), rfCustom);
  int& invalid = gInvalidRoots;
  tree->OnInvalidRootNamespace = [](TCustomVirtualExplorerTree*) { ++gInvalidRoots; };
  RemoveTree(folder + u"\\root");
  ReportChange(SHCNE_RMDIR, folder + u"\\root");
  ASSERT_TRUE(PumpUntil([&] { return invalid > 0; }, 3000));
  EXPECT_TRUE(seen.empty());
}

TEST_F(ShellNotify, PruningDropsEventsCoveredByAnother) {
  MakeFolder(folder + u"\\p");
  MakeFolder(folder + u"\\p\\q");
  MakeFolder(folder + u"\\r");
  TList list;
  auto add = [&](const std::u16string& path) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    list.Add(New<TVirtualShellEvent>(sekUpdateDir, pidl, nullptr, 0u, 0u, false));
    NamespacePIDLManager->FreePIDL(pidl);
  };
  add(folder + u"\\p\\q");
  add(folder + u"\\r");
  add(folder + u"\\p");
  add(folder + u"\\r");
  PruneEventList(&list);
  ASSERT_EQ(list.Count(), 2);
  std::vector<std::u16string> left;
  for (int i = 0; i < list.Count(); ++i) {
    auto* e = static_cast<TVirtualShellEvent*>(list.Get(i));
    left.push_back(PIDLToPath(e->PIDL1));
    e->FreePIDLs();
    e->Free();
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::u16string>{folder + u"\\p", folder + u"\\r"}));
}

namespace {

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

DWORD HandlesOfThisProcess() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

TVirtualExplorerTreeview* gDoomed = nullptr;

}  // namespace

TEST_F(ShellNotify, AViewFreedByAnotherViewsHandlerIsNotCalled) {
  ASSERT_NE(Expanded(folder), nullptr);
  gDoomed = New<TVirtualExplorerTreeview>(form);
  gDoomed->SetParent(form);
  gDoomed->HandleNeeded();
  gDoomed->OnShellNotify = [](TCustomVirtualExplorerTree*, TVirtualShellEvent*) { ADD_FAILURE() << "freed view called"; };
  // The batch waits for the busy view, then goes to the views in their order: the first frees the second.
  tree->ContextMenuManager()->MenuShowing = true;
  MakeReportedFile(folder + u"\\a.txt");
  ASSERT_TRUE(PumpUntil([] { return ShellNotifyManager->HasParkedLists(); }, 3000));
  tree->OnShellNotify = [](TCustomVirtualExplorerTree* sender, TVirtualShellEvent* e) {
    Record(sender, e);
    if (gDoomed != nullptr) FreeAndNil(gDoomed);
  };
  tree->ContextMenuManager()->MenuShowing = false;
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }, 3000));
  Pump(200);
  EXPECT_EQ(gDoomed, nullptr);
  EXPECT_EQ(ChildNames(NodeOf(folder)), std::vector<std::u16string>{u"a.txt"});
  EXPECT_EQ(ShellEventListsAlive(), 0);
}

TEST_F(ShellNotify, TreesComeAndGoWhileBatchesAreInFlight) {
  const int rounds = std::getenv("QV_LONG") != nullptr ? 1000 : 60;
  ASSERT_NE(Expanded(folder), nullptr);
  auto round = [&](int i) {
    auto* other = New<TVirtualExplorerTreeview>(form);
    other->SetParent(form);
    other->SetBounds(200, 4, 150, 200);
    other->SetFileObjects({foFolders, foNonFolders, foHidden});
    other->SetRootFolderCustomPath(folder);
    other->SetActive(true);
    other->HandleNeeded();
    other->SetExpanded(other->GetFirst(), true);
    std::u16string path = folder + u"\\f" + std::u16string(1, char16_t(u'a' + i % 26)) + u".txt";
    if (i % 2 == 0) {
      MakeReportedFile(path);
    } else {
      DeleteFileW(W(path));
      ReportChange(SHCNE_DELETE, path);
    }
    // Sometimes the new view is busy, so that batches wait for it; sometimes time passes.
    if (i % 3 == 0) other->ContextMenuManager()->MenuShowing = true;
    if (i % 4 == 0) Pump(i % 8 == 0 ? 800 : 40);
    other->Free();
  };
  round(0);
  Pump(2500);
  DWORD handles = HandlesOfThisProcess();
  int threads = ThreadsOfThisProcess();
  for (int i = 1; i <= rounds; ++i) round(i);
  Pump(2500);
  EXPECT_EQ(ShellEventListsAlive(), 0);
  EXPECT_FALSE(ShellNotifyManager->HasParkedLists());
  EXPECT_LE(HandlesOfThisProcess(), handles + 8);
  EXPECT_EQ(ThreadsOfThisProcess(), threads);
  // The last view gone, the notifier's threads end too.
  form->Free();
  form = nullptr;
  EXPECT_FALSE(ChangeNotifierThreadRunning(1));
  EXPECT_FALSE(ChangeNotifierThreadRunning(2));
  EXPECT_EQ(ThreadsOfThisProcess(), threads - 2);
}

namespace {
int gAdded = 0;
// "N:" of the test drive run-explorer-tests.sh marks as a network drive, or "".
std::u16string NetworkDrive() {
  const char* value = std::getenv("QV_TEST_NETWORK_DRIVE");
  if (value == nullptr || value[0] < 'A' || value[0] > 'Z' || value[0] == 'C' || value[0] == 'Z') return {};
  return std::u16string{char16_t(value[0]), u':'};
}
}  // namespace

TEST_F(ShellNotify, AFolderOnAMappedDriveIsReadAgainWhole) {
  std::u16string drive = NetworkDrive();
  if (drive.empty()) GTEST_SKIP() << "QV_TEST_NETWORK_DRIVE is not mapped (see run-explorer-tests.sh)";
  ASSERT_EQ(GetDriveTypeW(W(drive + u"\\")), static_cast<UINT>(DRIVE_REMOTE));
  gAdded = 0;
  std::u16string share = drive + u"\\" + folder.substr(3);
  RemoveTree(share);
  MakeFolder(share);
  MakeFolder(share + u"\\gone");
  MakeFile(share + u"\\one.txt");
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toTrackChangesInMappedDrives));
  tree->OnNamespaceStructureChange = [](TCustomVirtualExplorerTree*, PVirtualNode, TNamespace*,
                                        TNamespaceStructureChange change) {
    if (change == nscAdd) ++gAdded;
  };
  ASSERT_NE(Expanded(share), nullptr);
  ASSERT_NE(NodeOf(share + u"\\gone"), nullptr);
  // The gone folder's update comes first in the batch; the share's update is still applied.
  RemoveTree(share + u"\\gone");
  ReportChange(SHCNE_UPDATEDIR, share + u"\\gone");
  MakeReportedFile(share + u"\\two.txt");
  const std::vector<std::u16string> expected{u"one.txt", u"two.txt"};
  EXPECT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(share)) == expected; }, 4000));
  Pump(200);
  EXPECT_EQ(ChildNames(NodeOf(share)), expected);
  // Read again whole (the subtree re-listed), not merged item by item.
  EXPECT_EQ(gAdded, 0);
  RemoveTree(share);
}

TEST_F(ShellNotify, EveryKindReachesTheTreeAndLeavesItWhole) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\sub\\a.txt");
  ASSERT_NE(Expanded(folder + u"\\sub"), nullptr);
  ChangeNotifier()->SetFilterEvents(false);
  // Changes handed to the notifier directly, as a program that knows of them does.
  LPITEMIDLIST item = PathToPIDL(folder + u"\\sub\\a.txt");
  LPITEMIDLIST sub = PathToPIDL(folder + u"\\sub");
  ASSERT_NE(item, nullptr);
  for (LONG code : {SHCNE_ATTRIBUTES, SHCNE_UPDATEITEM, SHCNE_NETSHARE, SHCNE_NETUNSHARE, SHCNE_SERVERDISCONNECT,
                    SHCNE_MEDIAINSERTED, SHCNE_MEDIAREMOVED, SHCNE_DRIVEADD, SHCNE_DRIVEREMOVED, SHCNE_DRIVEADDGUI})
    ChangeNotifier()->PostShellNotify(code, item, nullptr);
  ChangeNotifier()->PostEvent(sekUpdateDir, sub);
  // Free space and icon updates carry their values in the first ID.
  DWORD values[2] = {3, 0};
  SHChangeNotify(SHCNE_FREESPACE, SHCNF_DWORD, reinterpret_cast<LPCVOID>(uintptr_t(values[0])), nullptr);
  SHChangeNotify(SHCNE_UPDATEIMAGE, SHCNF_DWORD, reinterpret_cast<LPCVOID>(uintptr_t(1)), nullptr);
  StoreFileTypeName(u".qvstale", u"Stale type");
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  // The same values packed into an ID as the shell does; an ID too short to hold them says nothing.
  uint8_t packed[12] = {10, 0, 7, 0, 0, 0, 9, 0, 0, 0, 0, 0};
  uint8_t tooShort[6] = {4, 0, 7, 0, 0, 0};
  ChangeNotifier()->PostShellNotify(SHCNE_UPDATEIMAGE, reinterpret_cast<LPCITEMIDLIST>(packed), nullptr);
  ChangeNotifier()->PostShellNotify(SHCNE_UPDATEIMAGE, reinterpret_cast<LPCITEMIDLIST>(tooShort), nullptr);
  ChangeNotifier()->PostShellNotify(SHCNE_FREESPACE, reinterpret_cast<LPCITEMIDLIST>(tooShort), nullptr);
  // A code that is no single kind is ignored.
  ChangeNotifier()->PostShellNotify(SHCNE_CREATE | SHCNE_DELETE, item, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 14; }, 4000));
  Pump(900);
  ChangeNotifier()->SetFilterEvents(true);
  std::set<int> kinds;
  for (const Seen& s : seen) kinds.insert(s.kind);
  for (TShellEventKind k : {sekAttributes, sekUpdateItem, sekNetShare, sekNetUnshare, sekServerDisconnect,
                            sekMediaInserted, sekMediaRemoved, sekDriveAdd, sekDriveRemoved, sekDriveAddGUI,
                            sekUpdateDir, sekAssocChanged})
    EXPECT_TRUE(kinds.count(k)) << Narrow(ShellEventKindNames[k]);
  EXPECT_FALSE(kinds.count(sekCreate));
  int images = 0, spaces = 0;
  for (const Seen& e : seen) {
    if (e.kind == sekUpdateImage) {
      ++images;
      EXPECT_EQ(e.value, 7u);
    }
    if (e.kind == sekFreeSpace && e.value == 0) ++spaces;
  }
  EXPECT_EQ(images, 1);
  EXPECT_EQ(spaces, 1);
  // The association change forgot the cached type names.
  std::u16string typeName;
  EXPECT_FALSE(LookupFileTypeName(u".qvstale", typeName));
  // The tree still shows the folder as it is (the association change rebuilt it).
  PVirtualNode subNode = NodeOf(folder + u"\\sub");
  ASSERT_NE(subNode, nullptr);
  PVirtualNode child = tree->GetFirstChild(subNode);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(tree->NodeNamespace(child)->NameInFolder(), u"a.txt");
  EXPECT_EQ(child->NextSibling, nullptr);
  NamespacePIDLManager->FreePIDL(item);
  NamespacePIDLManager->FreePIDL(sub);
}

TEST_F(ShellNotify, ARenameInTheEditorAsksForItsNewIconAndTheChangesThatWaitedFollowIt) {
  MakeFile(folder + u"\\x.txt");
  ASSERT_NE(Expanded(folder), nullptr);
  PVirtualNode node = NodeOf(folder + u"\\x.txt");
  ASSERT_NE(node, nullptr);
  TNamespace* ns = tree->NodeNamespace(node);
  // The image thread was asked for the icon of the old name.
  ns->SetThreadIconLoading(true);
  ASSERT_TRUE(tree->EditNode(node, NoColumn));
  // A change reported while the label is edited waits for the edit.
  MakeReportedFile(folder + u"\\late.txt");
  Pump(1300);
  ASSERT_TRUE(tree->IsEditing());
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ChildNames(NodeOf(folder)), (std::vector<std::u16string>{u"x.txt"}));

  HWND edit = FindWindowExW(tree->Handle(), nullptr, nullptr, nullptr);
  ASSERT_NE(edit, HWND(nullptr));
  SetWindowTextW(edit, L"x.qvzz");
  SendMessageW(edit, EM_SETMODIFY, TRUE, 0);
  ASSERT_TRUE(tree->EndEditNode());
  ASSERT_FALSE(tree->IsEditing());
  // The node keeps its item, which no longer waits for the old name's icon.
  EXPECT_EQ(NodeOf(folder + u"\\x.qvzz"), node);
  EXPECT_FALSE(ns->GetThreadIconLoading());
  // What waited arrives once the edit is over, and the shell's own report of
  // the rename leaves one node under the new name.
  EXPECT_TRUE(PumpUntil([&] { return ChildNames(NodeOf(folder)).size() == 2; }, 1000));
  Pump(1200);
  EXPECT_EQ(ChildNames(NodeOf(folder)), (std::vector<std::u16string>{u"late.txt", u"x.qvzz"}));
}

namespace {
// Listings of a folder made on the test's own thread while a patch counts them.
using TEnumObjects = HRESULT(STDMETHODCALLTYPE*)(IShellFolder*, HWND, SHCONTF, IEnumIDList**);
TEnumObjects gEnumObjects = nullptr;
DWORD gCountingThread = 0;
int gListings = 0;
HRESULT STDMETHODCALLTYPE CountedEnumObjects(IShellFolder* self, HWND owner, SHCONTF flags, IEnumIDList** list) {
  if (GetCurrentThreadId() == gCountingThread) ++gListings;
  return gEnumObjects(self, owner, flags, list);
}

// The ID a listing of its folder gives an item: the first listed child the
// folder takes for the same item, else the ID it has.
std::vector<uint8_t> ListedID(TNamespace* ns, TFileObjects objects) {
  std::vector<uint8_t> found = exactnames::FirstIDOnly(ns->RelativePIDL());
  IEnumIDList* list = nullptr;
  if (ns->ParentShellFolder()->EnumObjects(nullptr, FileObjectsToFlags(objects), &list) != S_OK) return found;
  LPITEMIDLIST child = nullptr;
  ULONG fetched = 0;
  bool matched = false;
  while (list->Next(1, &child, &fetched) == S_OK) {
    if (!matched && ns->ComparePIDL(child, /*siblingCheck=*/false, 0) == 0) {
      found = exactnames::FirstIDOnly(child);
      matched = true;
    }
    CoTaskMemFree(child);
  }
  list->Release();
  return found;
}
}  // namespace

// A batch of item updates, each item read alone: every node ends with the ID
// a listing of its folder gives it (new sizes, a case twin its own, an item
// gone or turned into a folder unchanged), and only the items one look-up
// cannot be sure of (gone, of another kind now, a system file) cost a listing.
TEST_F(ShellNotify, ItemUpdatesReadEachItemAloneAndEndAsAListingWould) {
  const std::u16string items = folder + u"\\items", twins = folder + u"\\twins";
  MakeFolder(items);
  const std::vector<std::u16string> names{u"a0.txt", u"a1.txt", u"b 2.txt", u"c.d.txt", u"gone.txt",
                                          u"kind",   u"hid.txt", u"sys.txt"};
  for (const std::u16string& name : names) MakeFile(items + u"\\" + name, 16);
  if (!MoveFileW(W(TestDrive() + u"\\qvcasefiles\\f2"), W(twins))) MakeFolder(twins);
  ASSERT_NE(Expanded(items), nullptr);
  ASSERT_NE(Expanded(twins), nullptr);
  std::vector<std::u16string> paths;
  for (const std::u16string& name : names) paths.push_back(items + u"\\" + name);
  for (const char16_t* name : {u"File.txt", u"file.txt"})
    if (GetFileAttributesW(W(twins + u"\\" + name)) != INVALID_FILE_ATTRIBUTES) paths.push_back(twins + u"\\" + name);
  std::vector<PVirtualNode> nodes;
  for (const std::u16string& path : paths) {
    nodes.push_back(LoadedNodeOf(tree, path));
    ASSERT_NE(nodes.back(), nullptr) << Narrow(path);
  }
  // The changes: new sizes, one file deleted, one replaced by a folder, one
  // hidden and one a system file now, and case twins written.
  for (int i = 0; i < 4; ++i) MakeFile(paths[i], 100 + i);
  DeleteFileW(W(items + u"\\gone.txt"));
  DeleteFileW(W(items + u"\\kind"));
  MakeFolder(items + u"\\kind");
  MakeFile(items + u"\\hid.txt", 40, FILE_ATTRIBUTE_HIDDEN);
  MakeFile(items + u"\\sys.txt", 41, FILE_ATTRIBUTE_SYSTEM);
  for (size_t i = names.size(); i < paths.size(); ++i) MakeFile(paths[i], 50 + 10 * (i - names.size()));
  std::vector<std::vector<uint8_t>> listed;
  for (PVirtualNode node : nodes) listed.push_back(ListedID(tree->NodeNamespace(node), tree->FileObjects()));
  auto* list = New<TVirtualShellEventList>();
  list->ID = 0x70000000;
  TList* events = list->LockList();
  for (const std::u16string& path : paths) {
    // An item gone is named by its bare ID.
    LPITEMIDLIST pidl = SHSimpleIDListFromPath(W(path));
    ASSERT_NE(pidl, nullptr);
    events->Add(New<TVirtualShellEvent>(sekUpdateItem, pidl, nullptr, 0, 0, false));
    CoTaskMemFree(pidl);
  }
  list->UnlockList();
  list->SetRefCount(1);
  {
    TMethodPatch patch(tree->NodeNamespace(nodes[0])->ParentShellFolder(), 4,
                       reinterpret_cast<void*>(&CountedEnumObjects));
    gEnumObjects = reinterpret_cast<TEnumObjects>(patch.original);
    gCountingThread = GetCurrentThreadId();
    gListings = 0;
    SendMessageW(tree->Handle(), kWMShellNotify, reinterpret_cast<WPARAM>(list), 0);
    gCountingThread = 0;
  }
  EXPECT_EQ(gListings, 3);
  // No node came or went.
  EXPECT_EQ(NodeOf(items)->ChildCount, names.size());
  for (size_t i = 0; i < nodes.size(); ++i)
    EXPECT_EQ(exactnames::FirstIDOnly(tree->NodeNamespace(nodes[i])->RelativePIDL()), listed[i]) << Narrow(paths[i]);
  // The new sizes show, the twins' each its own.
  EXPECT_EQ(tree->NodeNamespace(nodes[0])->SizeOfFileInt64(), 100);
  EXPECT_EQ(tree->NodeNamespace(nodes[6])->SizeOfFileInt64(), 40);
  for (size_t i = names.size(); i < paths.size(); ++i)
    EXPECT_EQ(tree->NodeNamespace(nodes[i])->SizeOfFileInt64(), static_cast<int64_t>(50 + 10 * (i - names.size())));
}
