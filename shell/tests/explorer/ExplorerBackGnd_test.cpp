// Background enumeration: the thread on its own (what it hands over, what a
// terminated thread leaves), the tree's side (results equal a synchronous
// listing, the animation of a long listing, abandoning a listing), and a
// stress of enumerations started and ended at random moments.
#include <atomic>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>

#include "ExplorerTestSupport.h"
#include "core/FencedObjects.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "tree/tests/HandleWatermark.h"
#include "win/controls/ComCtrls.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

std::vector<std::u16string> ChildNames(TCustomVirtualExplorerTree* tree) {
  std::vector<std::u16string> names;
  for (PVirtualNode n = tree->RootNode()->FirstChild; n != nullptr; n = n->NextSibling)
    names.push_back(tree->GetText(n, NoColumn));
  return names;
}

// A list view like tree on root: the folder's items at the top level, no expand buttons.
// before runs before the tree is activated.
TVirtualExplorerTreeview* MakeTree(TForm* form, bool threaded, int left, const std::u16string& root,
                                   const std::function<void(TVirtualExplorerTreeview*)>& before = {}) {
  // The fixture's own file tree is not needed here.
  for (int i = form->ControlCount() - 1; i >= 0; --i)
    if (auto* other = dynamic_cast<TVirtualExplorerTreeview*>(form->Controls(i))) other->SetVisible(false);
  auto* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(left, 4, 200, 480);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder).Exclude(toFoldersExpandable));
  o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
  tree->SetThreadedEnum(threaded);
  tree->SetRootFolderCustomPath(root);
  if (before) before(tree);
  tree->SetActive(true);
  return tree;
}

bool WaitForEnumeration(TCustomVirtualExplorerTree* tree) {
  return qvtest::PumpUntil([&] { return !tree->EnumThreadRunning(); }, 10000);
}

int gFinished = 0;
int gAsked = 0;
bool gAllow = true;
bool gEndOnAsk = false;  // the lengthy-listing handler makes the tree inactive
int gEnumCall = 0, gRebuildAt = 0, gWay = 0;

// Lets a test hold threads before their hand-over.
HANDLE gGate = nullptr;
void WaitAtGate(int step) {
  if (step == 0 && gGate != nullptr) WaitForSingleObject(gGate, 10000);
}

struct HookScope {
  explicit HookScope(void (*hook)(int)) { TVirtualBackGndEnumThread::StepHook = hook; }
  ~HookScope() {
    TVirtualBackGndEnumThread::StepHook = nullptr;
    if (gGate != nullptr) {
      SetEvent(gGate);
      TVirtualBackGndEnumThread::WaitForAll(10000);
      CloseHandle(gGate);
      gGate = nullptr;
    }
  }
};

// Runs one thread on folder into a fresh hand-over and waits for it; the caller releases the hand-over.
TEnumHandOver* ListOnThread(LPCITEMIDLIST folder, bool terminateFirst) {
  auto* handOver = new TEnumHandOver;
  auto* thread = New<TVirtualBackGndEnumThread>(true, handOver, nullptr,
                                                TFileObjects{foFolders, foNonFolders, foHidden}, folder);
  handOver->Lock();
  handOver->Thread = thread;
  handOver->Unlock();
  if (terminateFirst) thread->Terminate();
  thread->SetSuspended(false);
  EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
  return handOver;
}

// The names the shell gives the relative PIDLs of list, in list order.
std::vector<std::u16string> NamesOf(LPCITEMIDLIST folder, TPIDLList* list) {
  TNamespace* parent = New<TNamespace>(NamespacePIDLManager->CopyPIDL(folder), nullptr);
  std::vector<std::u16string> names;
  for (int i = 0; i < list->Count(); ++i) {
    TNamespace* ns = New<TNamespace>(NamespacePIDLManager->CopyPIDL(list->Items(i)), parent);
    names.push_back(ns->NameInFolder());
    ns->Free();
  }
  parent->Free();
  return names;
}

using BackGndEnum = ExplorerFixture;

}  // namespace

TEST_F(BackGndEnum, TheThreadHandsOverTheChildrenOrAnEmptyListAndTerminatedNothing) {
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\h.txt", 4, FILE_ATTRIBUTE_HIDDEN);
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\empty");
  LPITEMIDLIST full = PathToPIDL(folder);
  LPITEMIDLIST empty = PathToPIDL(folder + u"\\empty");
  MakeFolder(folder + u"\\gone");
  LPITEMIDLIST gone = PathToPIDL(folder + u"\\gone");
  RemoveTree(folder + u"\\gone");
  ASSERT_TRUE(full && empty && gone);

  TEnumHandOver* h = ListOnThread(full, false);
  ASSERT_NE(h->Result, nullptr);
  EXPECT_TRUE(TPIDLManager::EqualPIDL(h->ResultFolder, full));
  EXPECT_EQ(h->Thread, nullptr);  // it named the delivering thread
  std::vector<std::u16string> names = NamesOf(full, h->Result);
  EXPECT_EQ(std::multiset<std::u16string>(names.begin(), names.end()),
            (std::multiset<std::u16string>{u"a.txt", u"h.txt", u"sub", u"empty"}));
  h->Release();

  // An empty folder and one that no longer exists: an empty list all the same.
  for (LPITEMIDLIST pidl : {empty, gone}) {
    h = ListOnThread(pidl, false);
    ASSERT_NE(h->Result, nullptr);
    EXPECT_EQ(h->Result->Count(), 0);
    h->Release();
  }

  // The desktop is listed without binding: the same items its folder lists itself.
  LPITEMIDLIST desktop = NamespacePIDLManager->CopyPIDL(DesktopFolder()->AbsolutePIDL());
  h = ListOnThread(desktop, false);
  ASSERT_NE(h->Result, nullptr);
  std::vector<std::u16string> onThread = NamesOf(desktop, h->Result);
  h->Release();
  std::vector<std::u16string> direct;
  DesktopFolder()->EnumerateFolderEx(nullptr, {foFolders, foNonFolders, foHidden},
                                   [](HWND, LPITEMIDLIST pidl, TNamespace* parent, void* data, bool&) {
                                     TNamespace* ns = New<TNamespace>(pidl, parent);
                                     static_cast<std::vector<std::u16string>*>(data)->push_back(ns->NameInFolder());
                                     ns->Free();
                                     return true;
                                   },
                                   &direct);
  EXPECT_EQ(onThread, direct);

  // Terminated before it delivers: nothing arrives, the thread reference is left to the owner.
  h = ListOnThread(full, true);
  EXPECT_EQ(h->Result, nullptr);
  EXPECT_NE(h->Thread, nullptr);
  h->Thread = nullptr;
  h->Release();

  // The owner may let go first: the last thread frees the hand-over.
  gGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    HookScope hook(WaitAtGate);
    auto* orphan = new TEnumHandOver;
    auto* thread = New<TVirtualBackGndEnumThread>(false, orphan, nullptr, TFileObjects{foFolders}, full);
    (void)thread;
    orphan->Release();
  }
  EXPECT_EQ(TVirtualBackGndEnumThread::LiveCount(), 0);
  for (LPITEMIDLIST p : {full, empty, gone, desktop}) NamespacePIDLManager->FreePIDL(p);
}

TEST_F(BackGndEnum, ResultsEqualASynchronousListing) {
  for (int i = 0; i < 40; ++i) MakeFile(folder + u"\\f" + std::u16string(1, char16_t(u'a' + i % 26)) +
                                        std::u16string(1, char16_t(u'0' + i / 26)) + u".txt");
  MakeFolder(folder + u"\\zfolder");
  MakeFolder(folder + u"\\afolder");
  MakeFile(folder + u"\\hidden.bin", 8, FILE_ATTRIBUTE_HIDDEN);
  form->SetWidth(440);
  TVirtualExplorerTreeview* sync = MakeTree(form, false, 4, folder);
  gFinished = 0;
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 220, folder, [](TVirtualExplorerTreeview* t) {
    t->OnEnumFinished = [](TCustomVirtualExplorerTree*) { ++gFinished; };
  });
  // Nothing yet: the children come by the timer.
  EXPECT_EQ(threaded->RootNode()->ChildCount, 0u);
  EXPECT_TRUE(threaded->EnumThreadRunning());
  ASSERT_TRUE(WaitForEnumeration(threaded));
  EXPECT_EQ(gFinished, 1);
  std::vector<std::u16string> expected = ChildNames(sync);
  EXPECT_EQ(expected.size(), 43u);
  EXPECT_EQ(ChildNames(threaded), expected);
  EXPECT_EQ(threaded->Cursor(), crDefault);
  for (TVirtualExplorerTreeview* t : {sync, threaded})  // a column manager a listed item
    for (PVirtualNode n = t->RootNode()->FirstChild; n != nullptr; n = n->NextSibling)
      EXPECT_NE(t->NodeColumnManager(n), nullptr);

  // An item refused by OnEnumFolder stays out; everything else still comes.
  threaded->OnEnumFolder = [](TCustomVirtualExplorerTree*, TNamespace* ns, bool& allow) {
    allow = ns->NameInFolder() != u"afolder";
  };
  threaded->RebuildRootNamespace();
  ASSERT_TRUE(WaitForEnumeration(threaded));
  expected.erase(std::find(expected.begin(), expected.end(), u"afolder"));
  EXPECT_EQ(ChildNames(threaded), expected);
}

TEST_F(BackGndEnum, AHiddenRecycleBinIsSkippedAndEverythingElseComes) {
  form->SetWidth(440);
  TVirtualExplorerTreeview* shown = MakeTree(form, true, 4, u"");
  TVirtualExplorerTreeview* hidden = MakeTree(form, true, 220, u"", [](TVirtualExplorerTreeview* t) {
    TCustomVirtualExplorerTreeOptions* o = t->TreeOptions();
    o->SetVETFolderOptions(o->VETFolderOptions().Include(toForceHideRecycleBin));
  });
  for (TVirtualExplorerTreeview* t : {shown, hidden}) {
    t->SetRootFolder(rfDesktop);
    ASSERT_TRUE(WaitForEnumeration(t));
  }
  std::vector<std::u16string> expected;
  bool hadRecycleBin = false;
  for (PVirtualNode n = shown->RootNode()->FirstChild; n != nullptr; n = n->NextSibling) {
    if (shown->NodeNamespace(n)->IsRecycleBin())
      hadRecycleBin = true;
    else
      expected.push_back(shown->GetText(n, NoColumn));
  }
  EXPECT_TRUE(hadRecycleBin);
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(ChildNames(hidden), expected);
}

TEST_F(BackGndEnum, ALongListingShowsTheAnimationUntilTheResultsArrive) {
  MakeFile(folder + u"\\one.txt");
  MakeFile(folder + u"\\two.txt");
  gAsked = 0;
  gAllow = true;
  gGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HookScope hook(WaitAtGate);
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 4, folder, [](TVirtualExplorerTreeview* t) {
    t->SetColumnDetails(cdVETColumns);
    t->OnEnumThreadLengthyOperation = [](TCustomVirtualExplorerTree* sender, bool& show) {
      ++gAsked;
      show = gAllow;
      if (std::exchange(gEndOnAsk, false)) sender->SetActive(false);
    };
  });
  ASSERT_TRUE(threaded->Header()->Options().Contains(hoVisible));
  EXPECT_EQ(threaded->Cursor(), crHourGlass);
  // Ticks of timer 101 by hand: the thread waits at the gate meanwhile.
  for (int tick = 1; tick <= 20; ++tick) threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  EXPECT_EQ(gAsked, 0);
  EXPECT_EQ(threaded->Animation(), nullptr);
  gAllow = false;
  threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  EXPECT_EQ(gAsked, 1);
  EXPECT_EQ(threaded->Animation(), nullptr);
  gAllow = true;
  threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  EXPECT_EQ(gAsked, 3);
  TAnimate* animation = threaded->Animation();
  ASSERT_NE(animation, nullptr);
  EXPECT_EQ(animation->Parent(), threaded);
  EXPECT_EQ(animation->Align(), alClient);
  EXPECT_EQ(animation->CommonAVI(), aviFindFolder);
  EXPECT_TRUE(animation->Active());
  EXPECT_TRUE(animation->Visible());
  EXPECT_FALSE(threaded->Header()->Options().Contains(hoVisible));
  EXPECT_EQ(threaded->Header()->Columns()->Count(), 0);
  form->Show();
  qvtest::Pump(100);
  qvtest::SaveScreenshot(form->Handle(), "explorer-enum-animation");

  SetEvent(gGate);
  ASSERT_TRUE(WaitForEnumeration(threaded));
  EXPECT_EQ(threaded->Animation(), nullptr);
  EXPECT_TRUE(threaded->Header()->Options().Contains(hoVisible));
  EXPECT_EQ(threaded->Header()->Columns()->Count(), 9);
  EXPECT_EQ(ChildNames(threaded), (std::vector<std::u16string>{u"one.txt", u"two.txt"}));

  // Going inactive gives the hidden header back; a handler that ends the listing gets no animation.
  ResetEvent(gGate);
  for (bool byHandler : {false, true}) {
    threaded->SetActive(true);
    threaded->RebuildRootNamespace();
    gEndOnAsk = byHandler;
    for (int tick = 1; tick <= 21; ++tick) threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
    threaded->SetActive(false);
    EXPECT_EQ(threaded->Animation(), nullptr);
    EXPECT_TRUE(threaded->Header()->Options().Contains(hoVisible));
  }
}

// Handlers that rebuild the root (or end the tree) while the hidden root is listed, in place or from
// a result: the listing stops, each item shows once. Fenced namespaces: a read of a freed one faults.
using BackGndFaults = ExplorerFixture;
TEST_F(BackGndFaults, AnEnumHandlerThatRebuildsTheRootEndsTheListingOfTheOldOne) {
  for (const char16_t* name : {u"\\a.txt", u"\\b.txt", u"\\c.txt", u"\\d.txt"}) MakeFile(folder + name);
  for (int row = 0; row < 20; ++row) {
    SCOPED_TRACE(row);
    gEnumCall = 0, gWay = row % 5, gRebuildAt = row % 10 < 5 ? 1 : 3;
    SetObjectFencing(sizeof(TNamespace));
    TVirtualExplorerTreeview* t = MakeTree(form, row >= 10, 4, folder, [](TVirtualExplorerTreeview* v) {
      v->OnEnumFolder = [](TCustomVirtualExplorerTree* sender, TNamespace*, bool&) {
        auto* v = static_cast<TVirtualExplorerTreeview*>(sender);
        if (++gEnumCall != gRebuildAt) return;
        if (gWay == 0 || gWay == 4) v->SetActive(false);
        if (gWay == 0) v->SetActive(true);
        if (gWay == 1) v->SetFileObjects({foFolders, foNonFolders});
        if (gWay == 2) v->SetRootFolderCustomPath(std::u16string(v->RootFolderCustomPath()));
        if (gWay == 3) v->RebuildRootNamespace();
      };
    });
    EXPECT_TRUE(WaitForEnumeration(t));
    EXPECT_EQ(t->RootNode()->ChildCount, gWay == 4 ? 0u : 4u);
    t->SetActive(true);
    EXPECT_TRUE(WaitForEnumeration(t));
    SetObjectFencing(0);
    EXPECT_EQ(ChildNames(t), (std::vector<std::u16string>{u"a.txt", u"b.txt", u"c.txt", u"d.txt"}));
    t->Free();
  }
}

TEST_F(BackGndEnum, ChangingTheRootEndsTheRunningListingAndItsResultNeverLands) {
  MakeFolder(folder + u"\\A");
  MakeFolder(folder + u"\\B");
  MakeFile(folder + u"\\A\\from-a.txt");
  MakeFile(folder + u"\\B\\from-b.txt");
  gGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HookScope hook(WaitAtGate);
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 4, folder + u"\\A");
  for (int tick = 0; tick < 25; ++tick) threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  ASSERT_NE(threaded->Animation(), nullptr);
  TVirtualBackGndEnumThread* first = threaded->EnumHandOver()->Thread;
  ASSERT_NE(first, nullptr);
  // The root changes: thread, timer and animation of A end first.
  threaded->SetRootFolderCustomPath(folder + u"\\B");
  EXPECT_EQ(threaded->Animation(), nullptr);
  EXPECT_NE(threaded->EnumHandOver()->Thread, first);
  EXPECT_TRUE(first->Terminated());
  SetEvent(gGate);
  ASSERT_TRUE(WaitForEnumeration(threaded));
  EXPECT_EQ(ChildNames(threaded), std::vector<std::u16string>{u"from-b.txt"});
  ResetEvent(gGate);

  // Going inactive ends a listing too; nothing lands in the empty tree.
  threaded->RebuildRootNamespace();
  EXPECT_TRUE(threaded->EnumThreadRunning());
  threaded->SetActive(false);
  EXPECT_FALSE(threaded->EnumThreadRunning());
  SetEvent(gGate);
  EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
  qvtest::Pump(120);
  EXPECT_EQ(threaded->RootNode()->ChildCount, 0u);
}

TEST_F(BackGndEnum, ATreeFreedWhileItsThreadListsLeavesNothingBehind) {
  MakeFile(folder + u"\\x.txt");
  gGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HookScope hook(WaitAtGate);
  MakeTree(form, true, 4, folder);
  ASSERT_EQ(TVirtualBackGndEnumThread::LiveCount(), 1);
  form->Free();
  form = nullptr;
  // The thread outlives the tree and its window; it finds itself terminated and goes.
  SetEvent(gGate);
  EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
}

namespace {

// Counts the shell allocator's blocks made and not yet freed while it is registered.
class CountingSpy : public IMallocSpy {
public:
  CountingSpy() { InitializeCriticalSection(&lock); }
  ~CountingSpy() { DeleteCriticalSection(&lock); }
  size_t Made() const { return made; }
  size_t Live() {
    EnterCriticalSection(&lock);
    size_t n = live.size();
    LeaveCriticalSection(&lock);
    return n;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* p) override {
    Track(p, nullptr);
    return p;
  }
  void* STDMETHODCALLTYPE PreFree(void* p, BOOL spyed) override {
    if (spyed) Track(nullptr, p);
    return p;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T size, void** newRequest, BOOL spyed) override {
    *newRequest = p;
    reallocOld = spyed ? p : nullptr;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override {
    Track(p, reallocOld);
    return p;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
  void Track(void* added, void* removed) {
    EnterCriticalSection(&lock);
    if (removed != nullptr) live.erase(removed);
    if (added != nullptr && live.insert(added).second) ++made;
    LeaveCriticalSection(&lock);
  }
  CRITICAL_SECTION lock;
  std::set<void*> live;
  size_t made = 0;
  static thread_local void* reallocOld;
};
thread_local void* CountingSpy::reallocOld = nullptr;

// The highest kernel handle value 2,000 fresh events reach: freed handle
// values are reused first, so leaked handles raise it.
unsigned KernelWatermark() {
  std::vector<HANDLE> probes;
  unsigned highest = 0;
  for (int i = 0; i < 2000; ++i) {
    probes.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    highest = std::max(highest, unsigned(reinterpret_cast<uintptr_t>(probes.back())));
  }
  for (HANDLE h : probes) CloseHandle(h);
  return highest / 4;
}

// Stretches listings at random: a thread may pause after any item and before its hand-over.
void RandomPause(int) {
  static std::atomic<unsigned> seed{1};
  thread_local std::minstd_rand rng(seed.fetch_add(7919));
  unsigned r = rng() % 100;
  if (r < 3) Sleep(1 + rng() % 3);
  else if (r < 10) Sleep(0);
}

std::vector<std::u16string> gExpected[3];
int gRootIndex = 0;
int gDeliveries = 0;
int gWrongDeliveries = 0;
void CheckDelivery(TCustomVirtualExplorerTree* tree) {
  ++gDeliveries;
  if (ChildNames(tree) != gExpected[gRootIndex]) ++gWrongDeliveries;
}

}  // namespace

// Enumerations started and ended at random moments (root changes, rebuilds,
// deactivation, a direct end, a tree freed while listing): no crash, every
// delivered result is the listing of the folder shown, nothing is delivered
// after an end, and threads, blocks of the shell allocator and window handles
// all come back. QV_LONG=1: 1,000 rounds, else 120.
TEST_F(BackGndEnum, StressOfEnumerationsStartedAndEndedAtRandom) {
  const int rounds = std::getenv("QV_LONG") != nullptr ? 1000 : 120;
  unsigned seed = std::getenv("QV_SEED") != nullptr ? unsigned(std::atoi(std::getenv("QV_SEED"))) : 20261207u;
  std::mt19937 rng(seed);
  const std::u16string roots[3] = {folder + u"\\A", folder + u"\\B", folder + u"\\C"};
  for (const auto& r : roots) MakeFolder(r);
  for (int i = 0; i < 24; ++i) MakeFile(roots[0] + u"\\a" + std::u16string(1, char16_t(u'a' + i)) + u".txt");
  for (int i = 0; i < 60; ++i)
    MakeFile(roots[1] + u"\\b" + std::u16string(1, char16_t(u'a' + i % 26)) +
             std::u16string(1, char16_t(u'0' + i / 26)) + u".txt");
  MakeFolder(roots[1] + u"\\sub");
  // What a synchronous listing shows of each root.
  {
    TVirtualExplorerTreeview* sync = MakeTree(form, false, 4, roots[0]);
    for (int i = 0; i < 3; ++i) {
      sync->SetRootFolderCustomPath(roots[i]);
      gExpected[i] = ChildNames(sync);
    }
    sync->Free();
  }
  ASSERT_EQ(gExpected[0].size(), 24u);
  ASSERT_EQ(gExpected[1].size(), 61u);
  ASSERT_TRUE(gExpected[2].empty());

  auto makeThreaded = [&](TForm* owner) {
    return MakeTree(owner, true, 4, roots[gRootIndex], [](TVirtualExplorerTreeview* t) {
      t->OnEnumFinished = [](TCustomVirtualExplorerTree* tree) { CheckDelivery(tree); };
    });
  };
  // One round outside the counts: lazily made caches of the shell and the controls.
  gRootIndex = 0;
  makeThreaded(form);
  ASSERT_TRUE(WaitForEnumeration(static_cast<TCustomVirtualExplorerTree*>(form->Controls(form->ControlCount() - 1))));
  form->Controls(form->ControlCount() - 1)->Free();

  CountingSpy spy;
  ASSERT_EQ(CoRegisterMallocSpy(&spy), S_OK);
  unsigned gdiBefore = GdiWatermark(), userBefore = UserWatermark();
  unsigned handlesBefore = KernelWatermark();

  HookScope hook(RandomPause);
  gDeliveries = gWrongDeliveries = 0;
  TVirtualExplorerTreeview* tree = makeThreaded(form);
  int ended = 0, freedWhileListing = 0;
  for (int round = 0; round < rounds; ++round) {
    switch (rng() % 8) {
      case 0:
      case 1:
      case 2:
        gRootIndex = int(rng() % 3);
        tree->SetRootFolderCustomPath(roots[gRootIndex]);
        break;
      case 3:
        tree->RebuildRootNamespace();
        break;
      case 4:
        tree->SetActive(false);
        EXPECT_EQ(tree->RootNode()->ChildCount, 0u);
        tree->SetActive(true);
        break;
      case 5:
        tree->TerminateEnumThread();
        ++ended;
        // Whatever was listing, nothing arrives any more.
        qvtest::Pump(int(rng() % 30));
        EXPECT_FALSE(tree->EnumThreadRunning());
        break;
      case 6:
        if (rng() % 4 == 0) {
          tree->Free();
          ++freedWhileListing;
          tree = makeThreaded(form);
        }
        break;
      default:
        EXPECT_TRUE(WaitForEnumeration(tree));
        break;
    }
    qvtest::Pump(int(rng() % 25));
  }
  tree->RebuildRootNamespace();
  ASSERT_TRUE(WaitForEnumeration(tree));
  EXPECT_EQ(ChildNames(tree), gExpected[gRootIndex]);
  EXPECT_EQ(gWrongDeliveries, 0);
  EXPECT_GT(gDeliveries, 0);
  tree->Free();
  EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
  EXPECT_EQ(TVirtualBackGndEnumThread::LiveCount(), 0);
  qvtest::Pump(50);

  unsigned handlesAfter = KernelWatermark();
  unsigned gdiAfter = GdiWatermark(), userAfter = UserWatermark();
  size_t liveBlocks = spy.Live();
  CoRevokeMallocSpy();
  std::printf("enumeration stress: %d rounds (seed %u), %d deliveries, %d ended directly, %d trees freed; "
              "shell allocator blocks made %zu, left %zu; kernel handles %u -> %u, GDI %u -> %u, USER %u -> %u\n",
              rounds, seed, gDeliveries, ended, freedWhileListing, spy.Made(), liveBlocks, handlesBefore, handlesAfter,
              gdiBefore, gdiAfter, userBefore, userAfter);
  EXPECT_LE(gdiAfter, gdiBefore + 8);
  EXPECT_LE(userAfter, userBefore + 8);
  EXPECT_LE(handlesAfter, handlesBefore + 8);
  EXPECT_LE(liveBlocks, 16u);
}

namespace {

// Stands in for the tree's window procedure for one timer of the test's own:
// when it is dispatched, the tree is rooted elsewhere (a new listing starts).
WNDPROC gTreeProc = nullptr;
TVirtualExplorerTreeview* gRetarget = nullptr;
std::u16string gNextRoot;
PVirtualNode gDoomedNode = nullptr;  // deleted from gRetarget instead
constexpr WPARAM kOtherTimer = 77;

LRESULT CALLBACK RetargetingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kOtherTimer) {
    if (PVirtualNode node = std::exchange(gDoomedNode, nullptr)) {
      std::exchange(gRetarget, nullptr)->DeleteNode(node);
    } else if (TVirtualExplorerTreeview* tree = gRetarget) {
      gRetarget = nullptr;
      tree->SetRootFolderCustomPath(gNextRoot);
    }
    return 0;
  }
  return CallWindowProcW(gTreeProc, window, msg, wParam, lParam);
}

bool ResultWaiting(TCustomVirtualExplorerTree* tree) {
  tree->EnumHandOver()->Lock();
  bool waiting = tree->EnumHandOver()->Result != nullptr;
  tree->EnumHandOver()->Unlock();
  return waiting;
}

}  // namespace

TEST_F(BackGndEnum, AListingStartedByAnotherTimerWhileAResultIsTakenRunsToItsEnd) {
  MakeFolder(folder + u"\\A");
  MakeFolder(folder + u"\\B");
  MakeFile(folder + u"\\A\\from-a.txt");
  MakeFile(folder + u"\\B\\from-b.txt");
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 4, folder + u"\\A");
  // A's result waits in the hand-over; nothing has taken it (no messages are handled here).
  DWORD start = GetTickCount();
  while (!ResultWaiting(threaded) && GetTickCount() - start < 10000) Sleep(5);
  ASSERT_TRUE(ResultWaiting(threaded));
  gTreeProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(threaded->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RetargetingProc)));
  gRetarget = threaded;
  gNextRoot = folder + u"\\B";
  // Another timer of the tree is due when the tick takes the result: ending A's
  // timer dispatches it, and it starts B's listing.
  PostMessageW(threaded->Handle(), WM_TIMER, kOtherTimer, 0);
  threaded->Perform(WM_TIMER, TCustomVirtualExplorerTree::kEnumTimer, 0);
  EXPECT_EQ(gRetarget, nullptr);
  ASSERT_TRUE(WaitForEnumeration(threaded));
  EXPECT_EQ(ChildNames(threaded), std::vector<std::u16string>{u"from-b.txt"});
  SetWindowLongPtrW(threaded->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gTreeProc));
}

TEST_F(BackGndEnum, AFolderExpandedInAThreadedTreeGetsItsOwnChildren) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\top.txt");
  MakeFile(folder + u"\\sub\\inner-1.txt");
  MakeFile(folder + u"\\sub\\inner-2.txt");
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 4, folder, [](TVirtualExplorerTreeview* t) {
    TCustomVirtualExplorerTreeOptions* o = t->TreeOptions();
    o->SetVETFolderOptions(o->VETFolderOptions().Include(toFoldersExpandable));
  });
  ASSERT_TRUE(WaitForEnumeration(threaded));
  ASSERT_EQ(ChildNames(threaded), (std::vector<std::u16string>{u"sub", u"top.txt"}));
  PVirtualNode sub = threaded->RootNode()->FirstChild;
  threaded->SetExpanded(sub, true);
  ASSERT_TRUE(WaitForEnumeration(threaded));
  // The folder's children land under it; the root keeps its own.
  EXPECT_EQ(ChildNames(threaded), (std::vector<std::u16string>{u"sub", u"top.txt"}));
  std::vector<std::u16string> inner;
  for (PVirtualNode n = sub->FirstChild; n != nullptr; n = n->NextSibling) inner.push_back(threaded->GetText(n, NoColumn));
  EXPECT_EQ(inner, (std::vector<std::u16string>{u"inner-1.txt", u"inner-2.txt"}));
  EXPECT_TRUE(threaded->GetExpanded(sub));
}

// A folder expands while another is listed; ending that listing dispatches a
// timer that deletes the folder: no listing starts for it (item and PIDL gone).
TEST_F(BackGndEnum, AFolderDeletedByATimerWhileTheRunningListingEndsStartsNoListing) {
  for (const char16_t* name : {u"\\other", u"\\sub"}) MakeFolder(folder + name), MakeFile(folder + name + u"\\x.txt");
  TVirtualExplorerTreeview* threaded = MakeTree(form, true, 4, folder, [](TVirtualExplorerTreeview* t) {
    t->TreeOptions()->SetVETFolderOptions(t->TreeOptions()->VETFolderOptions().Include(toFoldersExpandable));
  });
  ASSERT_TRUE(WaitForEnumeration(threaded));
  gGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HookScope hook(WaitAtGate);
  threaded->SetExpanded(threaded->RootNode()->FirstChild, true);
  gTreeProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(threaded->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RetargetingProc)));
  gRetarget = threaded;
  gDoomedNode = threaded->RootNode()->LastChild;
  PostMessageW(threaded->Handle(), WM_TIMER, kOtherTimer, 0);
  threaded->SetExpanded(gDoomedNode, true);
  EXPECT_EQ(gDoomedNode, nullptr);
  EXPECT_FALSE(threaded->EnumThreadRunning());
  EXPECT_EQ(ChildNames(threaded), std::vector<std::u16string>{u"other"});
  SetWindowLongPtrW(threaded->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gTreeProc));
}
