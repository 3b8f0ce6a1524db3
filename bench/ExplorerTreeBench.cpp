// Expanding a folder of 10,000 files in the explorer tree until its first
// screen is painted, beside the shell's own listings of the same folder in
// the same run: the bare listing (EnumObjects), and the listing doing the
// tree's work (every child listed, sorted by the folder's CompareIDs, the
// shown names of the first screen's rows). The tree is measured as the file
// page uses it (check boxes with tri-state tracking, every child initialised
// so that stored checks show at once) and without check boxes. The names of
// every child (shown, parsing) are listed too, for scale.
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


// A fresh tree on the folder; the folder's node expanded and the first screen painted.
double TreeExpansion(TForm* form, const std::u16string& folder, bool checks, uint32_t& children, int& screenRows) {
  TVirtualExplorerTreeview* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 600);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
  if (checks) {
    o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
    o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
    tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
      node->CheckType = ctTriStateCheckBox;
    };
  }
  tree->SetRootFolderCustomPath(folder);
  // The root node shows the folder; expanding it is what a click on its button does.
  tree->SetActive(true);
  PVirtualNode node = tree->GetFirst();
  tree->SetExpanded(node, false);
  tree->Update();
  auto start = Clock::now();
  tree->SetExpanded(node, true);
  tree->Update();
  double ms = Millis(start);
  children = node->ChildCount;
  screenRows = 600 / tree->DefaultNodeHeight() + 1;
  tree->Free();
  return ms;
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  std::u16string folder = FlatBenchFolder(3);
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 640);
  form->Show();

  int items = 0, rows = 0;
  uint32_t treeChildren = 0;
  // A first round warms the shell's caches for all.
  TreeExpansion(form, folder, true, treeChildren, rows);
  ShellListing(folder, TListing::SortedFirstScreen, items, rows);
  auto best = [&](TListing work) {
    double a = ShellListing(folder, work, items, rows), b = ShellListing(folder, work, items, rows);
    return a < b ? a : b;
  };
  double bare = best(TListing::Bare);
  int bareItems = items;
  double sameWork = best(TListing::SortedFirstScreen);
  double shown = best(TListing::ShownNames);
  double parsing = best(TListing::ParsingNames);
  double withChecks = TreeExpansion(form, folder, true, treeChildren, rows);
  withChecks = std::min(withChecks, TreeExpansion(form, folder, true, treeChildren, rows));
  double plain = TreeExpansion(form, folder, false, treeChildren, rows);
  plain = std::min(plain, TreeExpansion(form, folder, false, treeChildren, rows));
  std::printf("folder of %d files, best of two (ratios: the tree's time over the reference's)\n", bareItems);
  std::printf("shell, bare listing (EnumObjects)                  %8.1f ms\n", bare);
  std::printf("shell, listing sorted by CompareIDs, %2d names shown %8.1f ms\n", rows, sameWork);
  std::printf("tree expand to first paint, checks     %8.1f ms  (%u children)  %.2fx the bare listing  %.2fx the "
              "same work\n",
              withChecks, treeChildren, withChecks / bare, withChecks / sameWork);
  std::printf("tree expand to first paint, no checks  %8.1f ms  %.2fx the bare listing  %.2fx the same work\n", plain,
              plain / bare, plain / sameWork);
  std::printf("for scale: shell listing with every shown name %8.1f ms, with every parsing name %8.1f ms\n", shown,
              parsing);
  form->Free();
  return bareItems == kFlatFolderFiles && treeChildren == static_cast<uint32_t>(kFlatFolderFiles) ? 0 : 1;
}
