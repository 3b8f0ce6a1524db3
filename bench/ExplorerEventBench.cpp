// The explorer tree over a folder of 3,000 files: finding the node of an item
// the shell reports (FindLoadedNodeByPIDL), a batch of ten item updates
// applied as the notifier delivers it, and F5 with every child selected,
// each beside a reference doing its share of the work in the same run: one
// CompareIDs call of the folder per child (what a lookup costing one shell
// comparison a sibling spends), one bare listing of the folder per event (each
// update re-reads its item from its folder's listing), and the same F5 with
// one child selected (all of it but bringing the selection back). Then the
// notifier's duplicate test queueing an update of 300 files, and again each
// in another form (the bare PIDL), beside the plain test doing the same: every
// waiting change compared with ILIsEqual.
// Last, F5 over the folder of 10,000 files with all of them selected beside
// bare listings of it (a FindFirstFileW/FindNextFileW loop, the shell's
// EnumObjects), alternated round by round, with its split: the listing, the
// nodes built for it (the tree rebuilt and the folder opened, nothing to
// restore), the rest of the state brought back (F5 with nothing selected
// beyond that) and the selection brought back (F5 with all selected beyond
// F5 with none).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

constexpr int kFiles = 3000;
constexpr int kEvents = 10;
// Changes waiting in the notifier at once for its duplicate test (the plain
// test's time grows with the square: 600 took a minute, 3,000 seven).
constexpr int kQueued = 300;

using Clock = std::chrono::steady_clock;
double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

std::u16string FileName(int i) { return u"item" + vws::WideIntToStr(i) + u".txt"; }

std::u16string EventFolder() {
  return KeptBenchFolder(u"qvbench_flat_3000", [](const std::u16string& folder) {
    for (int i = 0; i < kFiles; ++i) {
      HANDLE file = CreateFileW(vws::W(folder + u"\\" + FileName(i)), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, "0123456789", static_cast<DWORD>(i % 11), &written, nullptr);
      CloseHandle(file);
    }
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
  auto start = Clock::now();
  SendMessageW(tree->Handle(), kWMShellNotify, reinterpret_cast<WPARAM>(list), 0);
  return Millis(start);
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

// Milliseconds of one F5 with the first `selected` children of node selected; restored counts those selected after.
double Refresh(TVirtualExplorerTreeview* tree, PVirtualNode node, int selected, int& restored) {
  tree->ClearSelection();
  std::vector<PVirtualNode> nodes;
  for (PVirtualNode child = node->FirstChild; child != nullptr && static_cast<int>(nodes.size()) < selected;
       child = child->NextSibling)
    nodes.push_back(child);
  // Forced: the sibling constraint's anchor may lie elsewhere from the tree's own selection.
  tree->AddToSelection(nodes, /*forceInsert=*/true);
  auto start = Clock::now();
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

// Milliseconds of the tree rebuilt from its root with the folder opened, as
// F5 does it, but with nothing saved to bring back; children counts the
// folder's nodes after.
double Rebuild(TVirtualExplorerTreeview* tree, const std::u16string& folder, LPCITEMIDLIST folderPIDL,
               uint32_t& children) {
  tree->ClearSelection();
  auto start = Clock::now();
  tree->BeginUpdate();
  tree->SetRootFolderCustomPath(folder.substr(0, folder.rfind(u'\\')));
  PVirtualNode node = tree->WalkPIDLToNode(folderPIDL, false, true, false, true);
  if (node != nullptr) tree->SetExpanded(node, true);
  tree->EndUpdate();
  double ms = Millis(start);
  node = tree->FindLoadedNodeByPIDL(folderPIDL);
  children = node != nullptr ? node->ChildCount : 0;
  return ms;
}

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
  const double kNone = 1e300;
  double all = kNone, none = kNone, rebuild = kNone, find = kNone, enumerated = kNone;
  int restoredAll = 0, restoredNone = 0, found = 0, listed = 0;
  uint32_t rebuilt = 0;
  bool whole = true;
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    find = std::min(find, FindListing(folder, found));
    enumerated = std::min(enumerated, ShellListing(folder, TListing::Bare, listed));
    if ((node = tree->FindLoadedNodeByPIDL(folderPIDL)) == nullptr) break;
    all = std::min(all, Refresh(tree, node, kFlatFolderFiles, restoredAll));
    whole = whole && restoredAll == kFlatFolderFiles;
    if ((node = tree->FindLoadedNodeByPIDL(folderPIDL)) == nullptr) break;
    none = std::min(none, Refresh(tree, node, 0, restoredNone));
    rebuild = std::min(rebuild, Rebuild(tree, folder, folderPIDL, rebuilt));
  }
  NamespacePIDLManager->FreePIDL(folderPIDL);
  tree->Free();
  std::printf("folder of %d files, best of %d rounds, alternated\n", kFlatFolderFiles, kRounds);
  std::printf("F5 with all %d selected                %9.1f ms  (%d selected after)\n", kFlatFolderFiles, all,
              restoredAll);
  std::printf("  reference: FindFirstFileW loop        %9.1f ms  %.2fx  (%d found)\n", find, all / find, found);
  std::printf("  reference: the shell's EnumObjects    %9.1f ms  %.2fx  goal 2x  (%d listed)\n", enumerated,
              all / enumerated, listed);
  std::printf("  split: listing (EnumObjects)          %9.1f ms\n", enumerated);
  std::printf("         node building                  %9.1f ms  (rebuilt and opened, %u nodes: %.1f ms)\n",
              rebuild - enumerated, rebuilt, rebuild);
  std::printf("         state restore                  %9.1f ms  (F5 with none selected: %.1f ms)\n", none - rebuild,
              none);
  std::printf("         selection restore              %9.1f ms\n", all - none);
  return whole && restoredNone == 0 && rebuilt == static_cast<uint32_t>(kFlatFolderFiles);
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
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
  // Items spread over the folder, parsed afresh as the notifier parses them.
  std::vector<LPITEMIDLIST> pidls;
  for (int i = 0; i < kEvents; ++i) pidls.push_back(PathToPIDL(folder + u"\\" + FileName(i * kFiles / kEvents + 7)));

  // The same items in the bare form a path given to SHChangeNotify may arrive
  // in (names without their data): other bytes, and a folder's ID looks like a file's.
  std::vector<LPITEMIDLIST> bare;
  for (int i = 0; i < kEvents; ++i) {
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(folder + u"\\" + FileName(i * kFiles / kEvents + 7)));
    bare.push_back(simple != nullptr ? NamespacePIDLManager->CopyPIDL(simple) : nullptr);
    CoTaskMemFree(simple);
  }
  const double kNone = 1e300;
  double lookup = kNone, bareLookup = kNone, compares = kNone, batch = kNone, listings = kNone;
  int bareFound = 0;
  int found = 0;
  IShellFolder* shellFolder = tree->NodeNamespace(node)->GetShellFolder();
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    found = 0;
    for (LPITEMIDLIST pidl : pidls) found += tree->FindLoadedNodeByPIDL(pidl) != nullptr;
    lookup = std::min(lookup, Millis(start) / kEvents);
    start = Clock::now();
    bareFound = 0;
    for (LPITEMIDLIST pidl : bare) bareFound += pidl != nullptr && tree->FindLoadedNodeByPIDL(pidl) != nullptr;
    bareLookup = std::min(bareLookup, Millis(start) / kEvents);
    // Reference: the folder's CompareIDs of the wanted ID with every child's.
    start = Clock::now();
    int equal = 0;
    LPCITEMIDLIST wanted = NamespacePIDLManager->GetPointerToLastID(pidls[kEvents / 2]);
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      equal += HRESULT_CODE(shellFolder->CompareIDs(0, wanted, tree->NodeNamespace(child)->RelativePIDL())) == 0;
    compares = std::min(compares, Millis(start));
    if (equal != 1) std::printf("the reference found %d equal children\n", equal);

    batch = std::min(batch, ApplyBatch(tree, pidls, 0x40000000u + round));
    start = Clock::now();
    int items = 0;
    for (int i = 0; i < kEvents; ++i) ShellListing(folder, TListing::Bare, items);
    listings = std::min(listings, Millis(start));
  }
  std::printf("folder of %d files, best of three rounds\n", kFiles);
  std::printf("one lookup of a reported item          %9.2f ms  (%d of %d found)\n", lookup, found, kEvents);
  std::printf("the same, the item's bare PIDL           %9.2f ms  (%d of %d found)\n", bareLookup, bareFound, kEvents);
  std::printf("  reference: one CompareIDs per child  %9.2f ms  %.2fx, bare %.2fx\n", compares, lookup / compares,
              bareLookup / compares);
  std::printf("a batch of %d item updates             %9.1f ms\n", kEvents, batch);
  std::printf("  reference: %d bare listings          %9.1f ms  %.2fx\n", kEvents, listings, batch / listings);

  // Items the folder does not hold (an update that comes after a delete, in
  // the bare form): found by nothing, each asks every child.
  std::vector<LPITEMIDLIST> gone;
  for (int i = 0; i < 3; ++i) {
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(folder + u"\\gone" + vws::WideIntToStr(i) + u".txt"));
    if (simple != nullptr) gone.push_back(NamespacePIDLManager->CopyPIDL(simple));
    CoTaskMemFree(simple);
  }
  double goneLookup = kNone;
  int goneFound = 0;
  for (int round = 0; round < 2 && !gone.empty(); ++round) {
    auto start = Clock::now();
    goneFound = 0;
    for (LPITEMIDLIST pidl : gone) goneFound += tree->FindLoadedNodeByPIDL(pidl) != nullptr;
    goneLookup = std::min(goneLookup, Millis(start) / gone.size());
  }
  for (LPITEMIDLIST pidl : gone) NamespacePIDLManager->FreePIDL(pidl);
  std::printf("one lookup of an item not there, bare  %9.2f ms  (%d found)  %.2fx the reference\n", goneLookup,
              goneFound, goneLookup / compares);

  int restoredAll = 0, restoredOne = 0;
  double all = kNone, one = kNone;
  LPITEMIDLIST folderPIDL = PathToPIDL(folder);
  for (int round = 0; round < 2; ++round) {
    node = tree->FindLoadedNodeByPIDL(folderPIDL);
    if (node == nullptr) break;
    all = std::min(all, Refresh(tree, node, kFiles, restoredAll));
    node = tree->FindLoadedNodeByPIDL(folderPIDL);
    if (node == nullptr) break;
    one = std::min(one, Refresh(tree, node, 1, restoredOne));
  }
  NamespacePIDLManager->FreePIDL(folderPIDL);

  std::vector<LPITEMIDLIST> parsed, bareAll;
  for (int i = 0; i < kQueued; ++i) {
    std::u16string path = folder + u"\\" + FileName(i);
    parsed.push_back(PathToPIDL(path));
    LPITEMIDLIST simple = SHSimpleIDListFromPath(vws::W(path));
    bareAll.push_back(NamespacePIDLManager->CopyPIDL(simple));
    CoTaskMemFree(simple);
  }
  int queuedIndexed = 0, queuedPlain = 0;
  double indexed = QueueUpdates(parsed, bareAll, true, queuedIndexed);
  double plainTest = QueueUpdates(parsed, bareAll, false, queuedPlain);
  std::printf("duplicate test, %d updates then each again bare %9.1f ms  (%d queued)\n", kQueued, indexed, queuedIndexed);
  std::printf("  reference: ILIsEqual with every waiting one %9.1f ms  (%d queued)  1/%.0f of it\n", plainTest,
              queuedPlain, plainTest / indexed);
  for (LPITEMIDLIST pidl : parsed) NamespacePIDLManager->FreePIDL(pidl);
  for (LPITEMIDLIST pidl : bareAll) NamespacePIDLManager->FreePIDL(pidl);
  std::printf("F5 with %d of %d selected             %9.1f ms  (%d selected after)\n", kFiles, kFiles, all,
              restoredAll);
  std::printf("  reference: F5 with 1 selected        %9.1f ms  %.2fx\n", one, all / one);
  for (LPITEMIDLIST pidl : pidls) NamespacePIDLManager->FreePIDL(pidl);
  for (LPITEMIDLIST pidl : bare) NamespacePIDLManager->FreePIDL(pidl);
  tree->Free();
  bool large = RefreshLargeFolder(form);
  form->Free();
  return large && found == kEvents && bareFound == kEvents && queuedIndexed == kQueued && queuedPlain == kQueued && restoredAll == kFiles && restoredOne == 1 ? 0 : 1;
}
