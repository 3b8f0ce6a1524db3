// The explorer tree with icons and expand marks from the threads: the
// placeholder, then the shell's icon; answers for nodes and trees that went
// meanwhile; and trees made and freed while requests are in flight, with no
// thread, handle or window object left behind.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "ExplorerTestSupport.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualImageThread.h"
#include "tree/tests/HandleWatermark.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

// The child of the tree's first node shown as `name`, or null.
PVirtualNode ChildNamed(TVirtualExplorerTreeview* t, std::u16string_view name) {
  for (PVirtualNode child = t->GetFirstChild(t->GetFirst()); child != nullptr; child = child->NextSibling)
    if (t->GetText(child, NoColumn) == name) return child;
  return nullptr;
}

int ThreadsOfProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

// Kernel handles leak like window objects (GetProcessHandleCount answers 0
// under Wine): new handles take the lowest free slot, so the highest handle
// that 500 fresh events reach grows by about the number of handles leaked.
uintptr_t KernelWatermark() {
  std::vector<HANDLE> probes;
  uintptr_t highest = 0;
  for (int i = 0; i < 500; ++i) {
    probes.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    highest = std::max(highest, reinterpret_cast<uintptr_t>(probes.back()));
  }
  for (HANDLE h : probes) CloseHandle(h);
  return highest;
}

int ShellIcon(TNamespace* ns) {
  SHFILEINFOW info{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(ns->AbsolutePIDL()), 0, &info, sizeof info,
                 SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON);
  return info.iIcon;
}

// A closed node shows the shell's own icon (an open folder the open one, asked directly).
void ExpectShellIcon(TCustomVirtualExplorerTree* t, PVirtualNode node) {
  if (t->GetExpanded(node)) return;
  TNamespace* ns = t->NodeNamespace(node);
  bool ghosted = false;
  int index = -1;
  t->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
  EXPECT_EQ(index, ShellIcon(ns)) << Narrow(ns->NameForParsing());
}

// Asks for every node's icon as painting does; returns how many gave the placeholder.
int AskIcons(TCustomVirtualExplorerTree* t) {
  int placeholders = 0;
  for (PVirtualNode node = t->GetFirst(); node != nullptr; node = t->GetNext(node)) {
    TNamespace* ns = t->NodeNamespace(node);
    if (ns == nullptr) continue;
    bool ghosted = false;
    int index = -1;
    bool loaded = ns->GetThreadedIconLoaded();
    t->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
    if (!loaded) ++placeholders;
  }
  return placeholders;
}

// A tree that asks the expand-mark thread about every folder (not only those on network drives).
class TMarkTree : public TVirtualExplorerTreeview {
protected:
  bool WantsThreadedExpandMark(TNamespace* ns) override { return ns->Folder(); }
};

struct ExplorerThreads : ExplorerFixture {
  template <class T = TVirtualExplorerTreeview>
  T* MakeTree(int x = 0) {
    auto* t = New<T>(form);
    t->SetParent(form);
    t->SetBounds(4 + x, 4, 200, 400);
    t->SetFileObjects({foFolders, foNonFolders, foHidden});
    t->SetRootFolderCustomPath(folder);
    t->SetActive(true);
    t->Handle();  // the threads answer a window
    return t;
  }
  void MakeItems(int files) {
    MakeFolder(folder + u"\\full");
    MakeFolder(folder + u"\\full\\inner");
    MakeFolder(folder + u"\\empty");
    const char16_t* kinds[] = {u".txt", u".exe", u".bmp", u".lnk0", u".ini"};
    for (int i = 0; i < files; ++i)
      MakeFile(folder + u"\\f" + std::u16string(1, char16_t(u'a' + i % 26)) +
               std::u16string(1, char16_t(u'a' + i / 26 % 26)) + kinds[i % 5]);
  }
};

TEST_F(ExplorerThreads, IconsComeFromTheThreadAndReplaceThePlaceholder) {
  MakeItems(12);
  TVirtualExplorerTreeview* t = MakeTree();
  ASSERT_TRUE(t->ThreadedImagesRegistered());
  ASSERT_TRUE(ImageThreadManager()->IsRegistered(t));
  EXPECT_GE(ThreadsOfProcess(), 2);  // the icon thread is counted
  int placeholders = AskIcons(t);
  EXPECT_GE(placeholders, 15);
  EXPECT_EQ(t->PendingIconRequests(), static_cast<size_t>(placeholders));
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->PendingIconRequests() == 0; }, 10000));
  EXPECT_EQ(AskIcons(t), 0);
  for (PVirtualNode node = t->GetFirst(); node != nullptr; node = t->GetNext(node)) ExpectShellIcon(t, node);
  // Switched off, the tree asks the shell itself and nothing is owed.
  TCustomVirtualExplorerTreeOptions* o = t->TreeOptions();
  o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
  EXPECT_FALSE(t->ThreadedImagesRegistered());
  EXPECT_FALSE(ImageThreadManager()->IsRegistered(t));
  AskIcons(t);
  EXPECT_EQ(t->PendingIconRequests(), 0u);
  t->Free();
}

TEST_F(ExplorerThreads, AnswersForNodesThatWentAreDropped) {
  MakeItems(30);
  TVirtualExplorerTreeview* t = MakeTree();
  PVirtualNode folderNode = t->GetFirst();
  ASSERT_NE(folderNode, nullptr);
  // Requests out, some answers already posted, then most nodes go.
  AskIcons(t);
  Sleep(30);
  std::vector<PVirtualNode> doomed;
  for (PVirtualNode child = t->GetFirstChild(folderNode); child != nullptr; child = child->NextSibling)
    if (t->GetText(child, NoColumn) != u"full") doomed.push_back(child);
  for (PVirtualNode node : doomed) t->DeleteNode(node);
  PVirtualNode kept = t->GetFirstChild(folderNode);
  ASSERT_NE(kept, nullptr);
  // New nodes may reuse the freed records; answers meant for the old ones must not land on them.
  t->ReReadAndRefreshNode(folderNode, false);
  // Only the nodes that stayed still wait (the folder, "full" and what it holds).
  EXPECT_LE(t->PendingIconRequests(), 3u);
  qvtest::Pump(300);
  AskIcons(t);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->PendingIconRequests() == 0; }, 10000));
  for (PVirtualNode node = t->GetFirstChild(folderNode); node != nullptr; node = node->NextSibling)
    ExpectShellIcon(t, node);
  // Rebuilding frees every node: nothing stays owed.
  AskIcons(t);
  t->SetActive(false);
  EXPECT_EQ(t->PendingIconRequests(), 0u);
  t->SetActive(true);
  t->Free();
  qvtest::Pump(100);
}

TEST_F(ExplorerThreads, ExpandMarksFromTheThreadSetTheButtons) {
  MakeItems(3);
  auto* t = MakeTree<TMarkTree>();
  TCustomVirtualExplorerTreeOptions* o = t->TreeOptions();
  o->SetVETFolderOptions(o->VETFolderOptions().Include(toThreadedExpandMark));
  ASSERT_TRUE(t->ThreadedExpandMarkRegistered());
  t->SetActive(false);
  t->SetActive(true);
  PVirtualNode full = ChildNamed(t, u"full");
  PVirtualNode empty = ChildNamed(t, u"empty");
  ASSERT_TRUE(full != nullptr && empty != nullptr);
  EXPECT_GE(t->PendingExpandMarkRequests(), 2u);
  // The answers decide, whatever the node showed before.
  t->SetHasChildren(full, false);
  t->SetHasChildren(empty, true);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->PendingExpandMarkRequests() == 0; }, 10000));
  EXPECT_TRUE(t->GetHasChildren(full));
  EXPECT_FALSE(t->GetHasChildren(empty));
  t->Free();
}

TEST_F(ExplorerThreads, TreesComeAndGoWhileRequestsAreInFlight) {
  MakeItems(40);
  bool longRun = std::getenv("QV_LONG") != nullptr;
  int rounds = longRun ? 1000 : 60;
  std::mt19937 rng(std::getenv("QV_SEED") ? static_cast<uint32_t>(std::atoi(std::getenv("QV_SEED"))) : 19u);
  // Warm-up: the shell's own caches and threads come on first use.
  {
    TVirtualExplorerTreeview* t = MakeTree();
    AskIcons(t);
    qvtest::PumpUntil([&] { return t->PendingIconRequests() == 0; }, 10000);
    t->Free();
  }
  qvtest::Pump(100);
  int threadsBefore = ThreadsOfProcess();
  uintptr_t handlesBefore = KernelWatermark();
  unsigned gdiBefore = GdiWatermark();
  unsigned userBefore = UserWatermark();

  DWORD start = GetTickCount();
  std::vector<TVirtualExplorerTreeview*> trees;
  int freedOwed = 0;  // trees freed while icons were still owed to them
  for (int round = 0; round < rounds; ++round) {
    int count = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < count; ++i) trees.push_back(MakeTree(static_cast<int>(i * 30)));
    for (TVirtualExplorerTreeview* t : trees) AskIcons(t);
    switch (rng() % 5) {
      case 0:  // answers still in the threads
        break;
      case 1:  // answers posted, not handled
        Sleep(rng() % 8);
        break;
      case 2:  // some handled
        qvtest::Pump(static_cast<int>(rng() % 6));
        break;
      case 3: {  // nodes go under the answers
        TVirtualExplorerTreeview* t = trees[rng() % trees.size()];
        Sleep(rng() % 4);
        PVirtualNode top = t->GetFirst();
        for (PVirtualNode child = t->GetFirstChild(top); child != nullptr;) {
          PVirtualNode next = child->NextSibling;
          if (rng() % 2) t->DeleteNode(child);
          child = next;
        }
        AskIcons(t);
        break;
      }
      default:  // a rebuild
        trees[rng() % trees.size()]->SetActive(false);
        break;
    }
    std::shuffle(trees.begin(), trees.end(), rng);
    // Usually every tree goes (the thread stops); sometimes one stays into the next round.
    size_t keep = rng() % 4 == 0 ? 1 : 0;
    while (trees.size() > keep) {
      if (trees.back()->PendingIconRequests() > 0) ++freedOwed;
      trees.back()->Free();
      trees.pop_back();
    }
    if (rng() % 3 == 0) qvtest::Pump(1);
  }
  for (TVirtualExplorerTreeview* t : trees) t->Free();
  trees.clear();
  qvtest::Pump(100);
  DWORD elapsed = GetTickCount() - start;
  std::printf("tree threads stress: %d rounds in %lu ms, %d trees freed with icons owed; threads %d -> %d, "
              "highest kernel handle %lx -> %lx\n",
              rounds, static_cast<unsigned long>(elapsed), freedOwed, threadsBefore, ThreadsOfProcess(),
              static_cast<unsigned long>(handlesBefore), static_cast<unsigned long>(KernelWatermark()));
  EXPECT_GT(freedOwed, rounds / 4);

  EXPECT_EQ(ImageThreadManager()->Thread(), nullptr);
  EXPECT_EQ(ThreadsOfProcess(), threadsBefore);
  // A handle slot is 4 apart.
  EXPECT_LE(KernelWatermark(), handlesBefore + 4 * 4);
  EXPECT_LE(GdiWatermark(), gdiBefore + 20);
  EXPECT_LE(UserWatermark(), userBefore + 20);
}

}  // namespace

TEST_F(ExplorerThreads, FoldingAFolderDropsWhatWasAskedForItsItems) {
  MakeItems(12);
  TVirtualExplorerTreeview* t = MakeTree();
  PVirtualNode top = t->GetFirst();
  ASSERT_NE(top, nullptr);
  t->SetExpanded(top, true);
  ASSERT_GT(AskIcons(t), 10);
  ASSERT_GT(t->PendingIconRequests(), 10u);
  t->SetExpanded(top, false);
  EXPECT_EQ(t->PendingIconRequests(), 0u);
  // Shown again, the items ask again and their icons come.
  t->SetExpanded(top, true);
  EXPECT_GT(AskIcons(t), 0);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->PendingIconRequests() == 0; }, 10000));
  EXPECT_EQ(AskIcons(t), 0);
  t->Free();
}

TEST_F(ExplorerThreads, APaintHandsItsIconsToTheThreadWhenItIsDone) {
  MakeItems(12);
  TVirtualExplorerTreeview* t = MakeTree();
  static size_t owedWhilePainting;
  static int paints;
  owedWhilePainting = 99;
  paints = 0;
  t->OnAfterPaint = [](TBaseVirtualTree* sender, TCanvas*) {
    if (paints++ == 0) owedWhilePainting = static_cast<TVirtualExplorerTreeview*>(sender)->PendingIconRequests();
  };
  tree->SetVisible(false);  // the fixture's tree would cover it
  form->Show();
  t->Update();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return paints > 0; }, 5000));
  // Nothing went to the thread during the first paint; everything it noted right after.
  EXPECT_EQ(owedWhilePainting, 0u);
  // Every item painted was asked for (or has its icon by now).
  int shown = 0;
  for (PVirtualNode node = t->GetFirst(); node != nullptr; node = t->GetNextVisible(node), ++shown) {
    TNamespace* ns = t->NodeNamespace(node);
    EXPECT_TRUE(ns->GetThreadIconLoading() || ns->GetThreadedIconLoaded()) << Narrow(ns->NameForParsing());
  }
  EXPECT_GE(shown, 15);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->PendingIconRequests() == 0; }, 10000));
  for (PVirtualNode node = t->GetFirst(); node != nullptr; node = t->GetNext(node)) ExpectShellIcon(t, node);
  t->OnAfterPaint = nullptr;
  t->Free();
}

TEST_F(ExplorerThreads, AFolderThatCanOpenGetsItsOpenIconAheadTheSameAsAsked) {
  MakeItems(4);
  TVirtualExplorerTreeview* t = MakeTree();
  PVirtualNode full = ChildNamed(t, u"full");
  PVirtualNode empty = ChildNamed(t, u"empty");
  ASSERT_TRUE(full != nullptr && empty != nullptr);
  ASSERT_TRUE(t->GetHasChildren(full));
  AskIcons(t);
  EXPECT_FALSE(t->NodeNamespace(full)->OpenIconIndexKnown());
  ASSERT_TRUE(qvtest::PumpUntil([&] { return t->NodeNamespace(full)->OpenIconIndexKnown(); }, 10000));
  // The item asked itself (a fresh one) answers the same open icon.
  TNamespace* fresh = t->NodeNamespace(full)->Clone(true);
  int asked = fresh->GetIconIndex(/*openIcon=*/true, 0, false);
  fresh->Free();
  bool ghosted = false;
  int index = -1;
  t->SetExpanded(full, true);
  t->DoGetImageIndex(full, ikNormal, NoColumn, ghosted, index);
  EXPECT_EQ(index, asked);
  // A folder that cannot open, and the files, are not asked for an open icon.
  qvtest::Pump(200);
  EXPECT_FALSE(t->NodeNamespace(empty)->OpenIconIndexKnown());
  for (PVirtualNode child = t->GetFirstChild(t->GetFirst()); child != nullptr; child = child->NextSibling)
    if (!t->NodeNamespace(child)->Folder()) EXPECT_FALSE(t->NodeNamespace(child)->OpenIconIndexKnown());
  t->Free();
}
