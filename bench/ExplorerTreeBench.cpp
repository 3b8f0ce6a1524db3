// Expanding a folder of 10,000 files in the explorer tree until its first
// screen is painted, beside the shell's own listings of the same folder in
// the same run: the bare listing (EnumObjects), and the listing sorted as the
// tree sorted before it trusted keys of its own (every child listed, put in
// the folder's CompareIDs order by collation keys of the find data's names,
// n-1 neighbouring pairs confirmed by CompareIDs; the shown names of the
// first screen's rows). The same listing sorted by CompareIDs alone (about n
// log n calls) is shown too. The tree is measured as the file
// page uses it (rooted above the folder, which is expanded for the first time;
// check boxes with tri-state tracking, every child initialised so that stored
// checks show at once; icons fetched by the image thread, so the first screen
// shows before its icons), the same with a file beside the folder checked
// (the storage then holds records on the folder's path), and without check
// boxes. The names of every child (shown, parsing) are listed too, for scale.
// Every figure is the spread of the ratios of paired rounds, in which the
// trees and the references take turns at going first.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "shell/ExplorerTree.h"
#include "BenchFolders.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }


// Two seconds of messages before a measurement: the tree's threads finish
// what showing the parent asked for (the icons of its rows, and whether its
// folders have children, which lists the other benchmarks' folders of up to
// 100,000 files beside this one), as they have by the time a user clicks.
void Settle() {
  auto start = Clock::now();
  while (Millis(start) < 2000) {
    Application->ProcessMessages();
    Sleep(10);
  }
}

// The node of folder among the root node's children; null when not listed.
PVirtualNode ChildNodeOf(TVirtualExplorerTreeview* tree, const std::u16string& folder) {
  for (PVirtualNode child = tree->GetFirstChild(tree->GetFirst()); child != nullptr; child = child->NextSibling) {
    TNamespace* ns = tree->NodeNamespace(child);
    if (ns != nullptr && vws::WideStrICompOS(ns->NameForParsing().c_str(), folder.c_str()) == 0) return child;
  }
  return nullptr;
}

// A fresh tree rooted at the folder's parent; the folder's node expanded for
// the first time (listing, sorting and initialising its children) and the
// first screen painted. again: the time of a second expansion after a
// collapse, which lists nothing.
double TreeExpansion(TForm* form, const std::u16string& folder, bool checks, uint32_t& children, int& screenRows,
                     double& again, const std::u16string& checkedBeside = {}) {
  TVirtualExplorerTreeview* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 600);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toBrowseExecuteFolder));
  tree->OnEnumFolder = [](TCustomVirtualExplorerTree*, TNamespace* ns, bool& allow) { allow = ns->FileSystem(); };
  if (checks) {
    o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
    o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
    tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
      node->CheckType = ctTriStateCheckBox;
    };
  }
  if (!checkedBeside.empty()) {
    LPITEMIDLIST pidl = PathToPIDL(checkedBeside);
    if (TNodeStorage* record = pidl != nullptr ? tree->GetStorage()->Store(pidl, {skCheckState}) : nullptr) {
      record->Storage.CheckState = csCheckedNormal;
      record->Storage.CheckType = ctTriStateCheckBox;
    }
    if (pidl != nullptr) NamespacePIDLManager->FreePIDL(pidl);
  }
  tree->SetRootFolderCustomPath(folder.substr(0, folder.rfind(u'\\')));
  tree->SetActive(true);
  tree->Update();
  PVirtualNode node = ChildNodeOf(tree, folder);
  if (node == nullptr) {
    tree->Free();
    children = 0;
    return 0;
  }
  Settle();
  auto start = Clock::now();
  tree->SetExpanded(node, true);
  tree->Update();
  double ms = Millis(start);
  children = node->ChildCount;
  screenRows = 600 / tree->DefaultNodeHeight() + 1;
  tree->SetExpanded(node, false);
  tree->Update();
  start = Clock::now();
  tree->SetExpanded(node, true);
  tree->Update();
  again = Millis(start);
  tree->Free();
  return ms;
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  std::printf("%s at the start\n", MachineLoad().c_str());
  std::u16string folder = FlatBenchFolder(3);
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 640);
  form->Show();

  int items = 0, rows = 0;
  uint32_t treeChildren = 0;
  double again = 0;
  // A first round warms the shell's caches for all.
  TreeExpansion(form, folder, true, treeChildren, rows, again);
  ShellListing(folder, TListing::SortedFirstScreen, items, rows);
  // Paired rounds: the references and the trees take turns at going first,
  // so that the process's heap and the shell's caches age alike for both.
  constexpr int kRounds = 7;
  TPairedRounds checks, plain, besideChecked, checksSameWork, plainSameWork, byCompare;
  std::vector<double> kept, againChecks, againPlain;
  // The marker the kept folder leaves beside itself: an existing file to check.
  const std::u16string beside = folder + u".made";
  int bareItems = 0;
  bool allChildren = true;
  for (int round = 0; round < kRounds; ++round) {
    double bare = 0, sameWork = 0, sorted = 0, withChecks = 0, withoutChecks = 0, nextToChecked = 0;
    auto references = [&] {
      bare = ShellListing(folder, TListing::Bare, items, rows);
      bareItems = items;
      kept.push_back(ShellListing(folder, TListing::KeptPIDLs, items, rows));
      sameWork = ShellListing(folder, TListing::KeyedFirstScreen, items, rows);
      sorted = ShellListing(folder, TListing::SortedFirstScreen, items, rows);
    };
    auto trees = [&] {
      double secondTime = 0;
      withChecks = TreeExpansion(form, folder, true, treeChildren, rows, secondTime);
      allChildren = allChildren && treeChildren == static_cast<uint32_t>(kFlatFolderFiles);
      againChecks.push_back(secondTime);
      withoutChecks = TreeExpansion(form, folder, false, treeChildren, rows, secondTime);
      allChildren = allChildren && treeChildren == static_cast<uint32_t>(kFlatFolderFiles);
      againPlain.push_back(secondTime);
      nextToChecked = TreeExpansion(form, folder, true, treeChildren, rows, secondTime, beside);
      allChildren = allChildren && treeChildren == static_cast<uint32_t>(kFlatFolderFiles);
    };
    if (round % 2 == 0) {
      trees();
      references();
    } else {
      references();
      trees();
    }
    checks.Add(withChecks, bare);
    plain.Add(withoutChecks, bare);
    besideChecked.Add(nextToChecked, bare);
    checksSameWork.Add(withChecks, sameWork);
    plainSameWork.Add(withoutChecks, sameWork);
    byCompare.Add(sorted, bare);
  }
  double shown = ShellListing(folder, TListing::ShownNames, items, rows);
  double parsing = ShellListing(folder, TListing::ParsingNames, items, rows);
  std::printf("folder of %d files, %d paired rounds (ratios: the tree's time over the reference's)\n", bareItems,
              kRounds);
  PrintPaired("tree expand to first paint, checks", "bare listing (EnumObjects)", checks, "1.2");
  PrintPaired("tree expand to first paint, no checks", "bare listing (EnumObjects)", plain, "1.2");
  PrintPaired("the same, checks, a file beside checked", "bare listing (EnumObjects)", besideChecked, "1.2");
  std::printf("beside the listing sorted by collation keys, n-1 CompareIDs confirming, %d names:\n", rows);
  PrintPaired("tree expand to first paint, checks", "keys and n-1 CompareIDs", checksSameWork);
  PrintPaired("tree expand to first paint, no checks", "keys and n-1 CompareIDs", plainSameWork);
  PrintPaired("shell, sorted by CompareIDs alone (n log n calls)", "bare listing (EnumObjects)", byCompare);
  TSpread k = SpreadOf(kept), a = SpreadOf(againChecks), b = SpreadOf(againPlain);
  std::printf("shell, listing keeping every child's PIDL  %8.1f ms median (%.1f-%.1f)\n", k.median, k.min, k.max);
  std::printf("tree expand again after a collapse         %8.1f ms median checks (%.1f-%.1f), %.1f ms no checks\n",
              a.median, a.min, a.max, b.median);
  std::printf("for scale: shell listing with every shown name %8.1f ms, with every parsing name %8.1f ms\n", shown,
              parsing);
  form->Free();
  std::printf("%s at the end\n", MachineLoad().c_str());
  return bareItems == kFlatFolderFiles && allChildren ? 0 : 1;
}
