// The explorer tree over a folder of 3,000 files (300 under QV_BENCH_SMALL): finding the node of an item
// the shell reports (FindLoadedNodeByPIDL), a batch of ten item updates
// applied as the notifier delivers it (each file written anew just before,
// so that the shell's ID of it carries a new size), and F5 with every child
// selected, each beside a reference doing its share of the work in the same
// round: one CompareIDs call of the folder per child (what a lookup costing
// one shell comparison a sibling spends), one bare listing of the folder per
// event (what an update that re-reads its folder costs), and the same F5 with
// one child selected (all of it but bringing the selection back). Then the
// notifier's duplicate test queueing an update of 300 files, and again each
// in another form (the bare PIDL), beside the plain test doing the same: every
// waiting change compared with ILIsEqual.
// Last, F5 over the folder of 10,000 files with all of them selected beside
// bare listings of it (a FindFirstFileW/FindNextFileW loop, the shell's
// EnumObjects), split between moments of each F5 itself: until the folder's
// first child is listed, until its last, and the rest (sorting, the
// selection and the rest of the state brought back).
// Every figure is the spread of the ratios of paired rounds, in which the two
// sides take turns at going first.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "shell/ExplorerTree.h"
#include "shell/PendingEvents.h"
#include "BenchFolders.h"
#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

namespace {

const int kFiles = BenchSize(3000, 300);
constexpr int kEvents = 10;
constexpr int kRounds = 9;
// Changes waiting in the notifier at once for its duplicate test (the plain
// test's time grows with the square: 600 took a minute, 3,000 seven).
const int kQueued = BenchSize(300, 60);

using Clock = std::chrono::steady_clock;
double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// Milliseconds of work.
double Timed(const std::function<void()>& work) {
  auto start = Clock::now();
  work();
  return Millis(start);
}

// One round of a pair: the side and the reference in the round's turn.
void Pair(TPairedRounds& rounds, int round, const std::function<double()>& side,
          const std::function<double()>& reference) {
  double s = 0, r = 0;
  if (round % 2 == 0) {
    s = side();
    r = reference();
  } else {
    r = reference();
    s = side();
  }
  rounds.Add(s, r);
}

std::u16string FileName(int i) { return u"item" + vws::WideIntToStr(i) + u".txt"; }

void WriteBytes(const std::u16string& path, DWORD size) {
  HANDLE file = CreateFileW(vws::W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, "0123456789abcdefghijklmnopqrstuvwxyz", size, &written, nullptr);
  CloseHandle(file);
}

std::u16string EventFolder() {
  return KeptBenchFolder(u"qvbench_flat_" + vws::WideIntToStr(kFiles), [](const std::u16string& folder) {
    for (int i = 0; i < kFiles; ++i) WriteBytes(folder + u"\\" + FileName(i), static_cast<DWORD>(i % 11));
  });
}

// A tree rooted at the folder's parent with the folder expanded; its node in folderNode.
TVirtualExplorerTreeview* MakeTree(TForm* form, const std::u16string& folder, PVirtualNode& folderNode) {
  TVirtualExplorerTreeview* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 600);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  tree->SetRootFolderCustomPath(folder.substr(0, folder.rfind(u'\\')));
  tree->SetActive(true);
  LPITEMIDLIST pidl = PathToPIDL(folder);
  folderNode = tree->FindNodeByPIDL(pidl);
  NamespacePIDLManager->FreePIDL(pidl);
  if (folderNode != nullptr) tree->SetExpanded(folderNode, true);
  tree->Update();
  return tree;
}

// Milliseconds of one batch of update events for pidls, delivered as the notifier posts it.
double ApplyBatch(TVirtualExplorerTreeview* tree, const std::vector<LPITEMIDLIST>& pidls, uint32_t id) {
  auto* list = New<TVirtualShellEventList>();
  list->ID = id;
  TList* events = list->LockList();
  for (LPITEMIDLIST pidl : pidls) events->Add(New<TVirtualShellEvent>(sekUpdateItem, pidl, nullptr, 0, 0, false));
  list->UnlockList();
  list->SetRefCount(1);
  return Timed([&] { SendMessageW(tree->Handle(), kWMShellNotify, reinterpret_cast<WPARAM>(list), 0); });
}

// Milliseconds of queueing an update of each PIDL of first and then of
// second unless a like one waits; queued counts those queued. indexed: the
// notifier's index, else the plain test over every waiting change.
double QueueUpdates(const std::vector<LPITEMIDLIST>& first, const std::vector<LPITEMIDLIST>& second, bool indexed,
                    int& queued) {
  TPendingEvents pending;
  std::vector<TVirtualShellEvent*> plain;
  auto start = Clock::now();
  for (const std::vector<LPITEMIDLIST>* list : {&first, &second}) {
    for (LPITEMIDLIST pidl : *list) {
      bool waits;
      TPendingEvents::Keys keys;
      if (indexed) {
        keys.bytes = TPendingEvents::BytesKey(sekUpdateItem, pidl, 0);
        waits = pending.WaitsExactly(sekUpdateItem, pidl, 0, keys.bytes);
        if (!waits) {
          keys.name = pending.NameKey(sekUpdateItem, pidl, 0);
          waits = pending.Waits(sekUpdateItem, pidl, 0, keys);
        }
      } else {
        waits = std::any_of(plain.begin(), plain.end(),
                            [&](TVirtualShellEvent* e) { return LikeShellEvent(e, sekUpdateItem, pidl, 0); });
      }
      if (waits) continue;
      auto* event = New<TVirtualShellEvent>(sekUpdateItem, pidl, nullptr, 0, 0, false);
      if (indexed)
        pending.Add(event, keys);
      else
        plain.push_back(event);
    }
  }
  double ms = Millis(start);
  if (indexed) plain = pending.TakeAll();
  queued = static_cast<int>(plain.size());
  for (TVirtualShellEvent* event : plain) {
    event->FreePIDLs();
    event->Free();
  }
  return ms;
}

// Milliseconds of one F5 with the first `selected` children of the folder
// selected; restored counts those selected after (-1 when the folder has no
// node); started, when given, gets the moment the F5 began.
double Refresh(TVirtualExplorerTreeview* tree, LPCITEMIDLIST folderPIDL, int selected, int& restored,
               Clock::time_point* started = nullptr) {
  restored = -1;
  PVirtualNode node = tree->FindLoadedNodeByPIDL(folderPIDL);
  if (node == nullptr) return 0;
  tree->ClearSelection();
  std::vector<PVirtualNode> nodes;
  for (PVirtualNode child = node->FirstChild; child != nullptr && static_cast<int>(nodes.size()) < selected;
       child = child->NextSibling)
    nodes.push_back(child);
  // Forced: the sibling constraint's anchor may lie elsewhere from the tree's own selection.
  tree->AddToSelection(nodes, /*forceInsert=*/true);
  auto start = Clock::now();
  if (started != nullptr) *started = start;
  tree->RefreshTree(false);
  double ms = Millis(start);
  restored = static_cast<int>(tree->SelectedCount());
  return ms;
}

// Milliseconds of a FindFirstFileW/FindNextFileW loop over folder; items counts the entries but . and ..
double FindListing(const std::u16string& folder, int& items) {
  auto start = Clock::now();
  items = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(vws::W(folder + u"\\*"), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      bool dots = data.cFileName[0] == L'.' &&
                  (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0));
      items += !dots;
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  return Millis(start);
}

// The moments the folder's first and last child are listed in an F5 (the
// tree asks OnEnumFolder of each, a folder's children in one run): its split
// is taken between the moments of one run, so the parts add up to that F5
// and none is negative. The folder is the one whose run reaches its count.
struct TListingMoments {
  TNamespace* parent = nullptr;  // of the current run; not owned
  Clock::time_point runStart, firstChild, lastChild;
  int run = 0;
  int children = 0;  // of the folder's run
} gListing;

// F5 over the folder of 10,000 files with every child selected, beside bare
// listings of the folder and with its split; true when every F5 brought the
// whole selection back.
bool RefreshLargeFolder(TForm* form) {
  std::u16string folder = FlatBenchFolder(3);
  PVirtualNode node = nullptr;
  TVirtualExplorerTreeview* tree = MakeTree(form, folder, node);
  if (node == nullptr || node->ChildCount != static_cast<uint32_t>(kFlatFolderFiles)) {
    std::printf("the folder %s did not list %d children\n", vws::ToAnsi(folder).c_str(), kFlatFolderFiles);
    tree->Free();
    return false;
  }
  LPITEMIDLIST folderPIDL = PathToPIDL(folder);
  tree->OnEnumFolder = [](TCustomVirtualExplorerTree*, TNamespace* ns, bool&) {
    Clock::time_point now = Clock::now();
    if (ns->Parent() != gListing.parent || gListing.run == 0) {
      gListing.parent = ns->Parent();
      gListing.runStart = now;
      gListing.run = 0;
    }
    if (++gListing.run < kFlatFolderFiles) return;
    gListing.firstChild = gListing.runStart;
    gListing.lastChild = now;
    gListing.children = gListing.run;
  };
  TPairedRounds byFind, byEnum;
  std::vector<double> untilListed, building, rest;
  int restoredAll = 0, found = 0, listed = 0;
  bool whole = true;
  constexpr int kLargeRounds = 7;
  for (int round = 0; round < kLargeRounds; ++round) {
    double find = 0, enumerated = 0, all = 0;
    Clock::time_point started;
    auto refresh = [&] {
      gListing = TListingMoments();
      all = Refresh(tree, folderPIDL, kFlatFolderFiles, restoredAll, &started);
    };
    auto references = [&] {
      find = FindListing(folder, found);
      enumerated = ShellListing(folder, TListing::Bare, listed);
    };
    if (round % 2 == 0) refresh();
    references();
    if (round % 2 != 0) refresh();
    whole = whole && restoredAll == kFlatFolderFiles && gListing.children == kFlatFolderFiles;
    byFind.Add(all, find);
    byEnum.Add(all, enumerated);
    auto between = [](Clock::time_point from, Clock::time_point to) {
      return std::chrono::duration<double, std::milli>(to - from).count();
    };
    untilListed.push_back(between(started, gListing.firstChild));
    building.push_back(between(gListing.firstChild, gListing.lastChild));
    rest.push_back(all - between(started, gListing.lastChild));
  }
  tree->OnEnumFolder = nullptr;
  NamespacePIDLManager->FreePIDL(folderPIDL);
  tree->Free();
  std::printf("\nfolder of %d files, %d paired rounds\n", kFlatFolderFiles, kLargeRounds);
  PrintPaired("F5 with all selected", "FindFirstFileW loop", byFind);
  PrintPaired("F5 with all selected", "the shell's EnumObjects", byEnum, "2x");
  std::printf("  (%d selected after; %d found, %d listed)\n", restoredAll, found, listed);
  auto part = [](const char* name, const std::vector<double>& values, const char* what) {
    TSpread s = SpreadOf(values);
    std::printf("  %-22s %8.1f ms median (%.1f to %.1f)  %s\n", name, s.median, s.min, s.max, what);
  };
  std::printf("split of each F5 with all selected, between moments of that run (median of the rounds, and their range):\n");
  part("saved, listed", untilListed, "the state saved, the tree rebuilt to the folder, the folder listed");
  part("node building", building, "the folder's first child to its last, a node each");
  part("sorted, restored", rest, "the children sorted, the selection and the rest of the state brought back");
  part("(listing alone)", byEnum.ReferenceTimes(), "the shell's EnumObjects in the same round");
  return whole;
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  std::printf("%s at the start\n", MachineLoad().c_str());
  std::u16string folder = EventFolder();
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 640);
  form->Show();
  PVirtualNode node = nullptr;
  TVirtualExplorerTreeview* tree = MakeTree(form, folder, node);
  if (node == nullptr || node->ChildCount != static_cast<uint32_t>(kFiles)) {
    std::printf("the folder %s did not list %d children\n", vws::ToAnsi(folder).c_str(), kFiles);
    return 1;
  }
  LPITEMIDLIST folderPIDL = PathToPIDL(folder);
  std::vector<std::u16string> updated;
  for (int i = 0; i < kEvents; ++i) updated.push_back(folder + u"\\" + FileName(i * kFiles / kEvents + 7));
  // Items spread over the folder, parsed afresh as the notifier parses them.
  std::vector<LPITEMIDLIST> pidls;
  for (const std::u16string& path : updated) pidls.push_back(PathToPIDL(path));
  // The same items in the bare form a path given to SHChangeNotify may arrive
  // in (names without their data): other bytes, and a folder's ID looks like a file's.
  std::vector<LPITEMIDLIST> bare;
  for (const std::u16string& path : updated) {
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(path));
    bare.push_back(simple != nullptr ? NamespacePIDLManager->CopyPIDL(simple) : nullptr);
    CoTaskMemFree(simple);
  }
  // Items the folder does not hold (an update that comes after a delete, in
  // the bare form): found by nothing, each asks every child.
  std::vector<LPITEMIDLIST> gone;
  for (int i = 0; i < 3; ++i) {
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(folder + u"\\gone" + vws::WideIntToStr(i) + u".txt"));
    if (simple != nullptr) gone.push_back(NamespacePIDLManager->CopyPIDL(simple));
    CoTaskMemFree(simple);
  }
  TPairedRounds lookup, bareLookup, goneLookup, batch, refresh;
  int found = 0, bareFound = 0, goneFound = 0, refreshed = 0, restoredAll = 0, restoredOne = 0;
  IShellFolder* shellFolder = tree->NodeNamespace(node)->GetShellFolder();
  // Reference: the folder's CompareIDs of the wanted ID with every child's.
  auto compares = [&] {
    return Timed([&] {
      int equal = 0;
      LPCITEMIDLIST wanted = NamespacePIDLManager->GetPointerToLastID(pidls[kEvents / 2]);
      for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
        equal += HRESULT_CODE(shellFolder->CompareIDs(0, wanted, tree->NodeNamespace(child)->RelativePIDL())) == 0;
      if (equal != 1) std::printf("the reference found %d equal children\n", equal);
    });
  };
  auto lookups = [&](const std::vector<LPITEMIDLIST>& list, int& hits) {
    return Timed([&] {
             hits = 0;
             for (LPITEMIDLIST pidl : list) hits += pidl != nullptr && tree->FindLoadedNodeByPIDL(pidl) != nullptr;
           }) / static_cast<double>(list.size());
  };
  for (int round = 0; round < kRounds; ++round) {
    Pair(lookup, round, [&] { return lookups(pidls, found); }, compares);
    Pair(bareLookup, round, [&] { return lookups(bare, bareFound); }, compares);
    if (!gone.empty()) Pair(goneLookup, round, [&] { return lookups(gone, goneFound); }, compares);

    // Each file gets a new size, as a program writing it would give it; the
    // notifier parses its path afresh.
    for (size_t i = 0; i < updated.size(); ++i) {
      WriteBytes(updated[i], static_cast<DWORD>(11 + (round + i) % 20));
      NamespacePIDLManager->FreePIDL(pidls[i]);
      pidls[i] = PathToPIDL(updated[i]);
    }
    Pair(batch, round, [&] { return ApplyBatch(tree, pidls, 0x40000000u + round); },
         [&] {
           return Timed([&] {
             int items = 0;
             for (int i = 0; i < kEvents; ++i) ShellListing(folder, TListing::Bare, items);
           });
         });
    // Every node shows its file's new size.
    refreshed = 0;
    for (size_t i = 0; i < updated.size(); ++i)
      if (PVirtualNode item = tree->FindLoadedNodeByPIDL(pidls[i]))
        refreshed += tree->NodeNamespace(item)->SizeOfFileInt64() == 11 + (round + static_cast<int>(i)) % 20;

    Pair(refresh, round, [&] { return Refresh(tree, folderPIDL, kFiles, restoredAll); },
         [&] { return Refresh(tree, folderPIDL, 1, restoredOne); });
    // The F5 rebuilt the tree: the folder has a new node.
    node = tree->FindLoadedNodeByPIDL(folderPIDL);
    if (node == nullptr) break;
    shellFolder = tree->NodeNamespace(node)->GetShellFolder();
  }
  std::printf("folder of %d files, %d paired rounds\n", kFiles, kRounds);
  PrintPaired("one lookup of a reported item", "one CompareIDs per child", lookup);
  std::printf("  (%d of %d found)\n", found, kEvents);
  PrintPaired("the same, the item's bare PIDL", "one CompareIDs per child", bareLookup);
  std::printf("  (%d of %d found)\n", bareFound, kEvents);
  PrintPaired("one lookup of an item not there, bare", "one CompareIDs per child", goneLookup);
  std::printf("  (%d found)\n", goneFound);
  PrintPaired("a batch of 10 item updates", "10 bare listings", batch, "0.5");
  std::printf("  (%d of %d nodes show the new size after the last round)\n", refreshed, kEvents);

  std::vector<LPITEMIDLIST> parsed, bareAll;
  for (int i = 0; i < kQueued; ++i) {
    std::u16string path = folder + u"\\" + FileName(i);
    parsed.push_back(PathToPIDL(path));
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(path));
    bareAll.push_back(NamespacePIDLManager->CopyPIDL(simple));
    CoTaskMemFree(simple);
  }
  int queuedIndexed = 0, queuedPlain = 0;
  TPairedRounds queueing;
  // The plain test takes seconds a round: three rounds.
  for (int round = 0; round < 3; ++round)
    Pair(queueing, round, [&] { return QueueUpdates(parsed, bareAll, true, queuedIndexed); },
         [&] { return QueueUpdates(parsed, bareAll, false, queuedPlain); });
  std::string queueLabel = "duplicate test, " + std::to_string(kQueued) + " updates then each bare";
  PrintPaired(queueLabel.c_str(), "ILIsEqual with every waiting one", queueing);
  std::printf("  (%d queued, the reference %d)\n", queuedIndexed, queuedPlain);
  for (LPITEMIDLIST pidl : parsed) NamespacePIDLManager->FreePIDL(pidl);
  for (LPITEMIDLIST pidl : bareAll) NamespacePIDLManager->FreePIDL(pidl);
  std::string refreshLabel = "F5 with all " + std::to_string(kFiles) + " selected";
  PrintPaired(refreshLabel.c_str(), "F5 with 1 selected", refresh);
  std::printf("  (%d and %d selected after)\n", restoredAll, restoredOne);
  NamespacePIDLManager->FreePIDL(folderPIDL);
  for (LPITEMIDLIST pidl : pidls) NamespacePIDLManager->FreePIDL(pidl);
  for (LPITEMIDLIST pidl : bare) NamespacePIDLManager->FreePIDL(pidl);
  for (LPITEMIDLIST pidl : gone) NamespacePIDLManager->FreePIDL(pidl);
  tree->Free();
  bool large = RefreshLargeFolder(form);
  form->Free();
  std::printf("%s at the end\n", MachineLoad().c_str());
  return large && found == kEvents && bareFound == kEvents && refreshed == kEvents && queuedIndexed == kQueued &&
                 queuedPlain == kQueued && restoredAll == kFiles && restoredOne == 1
             ? 0
             : 1;
}
