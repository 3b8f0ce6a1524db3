// Expanding a folder of 10,000 files in the explorer tree until its first
// screen is painted, beside the shell's own enumeration of the same folder
// (IShellFolder::EnumObjects and GetDisplayNameOf of every item) in the same
// run. The tree is measured as the file page uses it (check boxes with
// tri-state tracking, every child initialised so that stored checks show at
// once) and without check boxes.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "shell/ExplorerTree.h"
#include "BenchFolders.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

constexpr int kFiles = 10000;

using Clock = std::chrono::steady_clock;

double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }


// A fresh tree on the folder; the folder's node expanded and the first screen painted.
double TreeExpansion(TForm* form, const std::u16string& folder, bool checks, uint32_t& children) {
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
  tree->Free();
  return ms;
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::u16string folder =
      vws::FromW(temp) + u"qvexplorer_bench_" + vws::WideIntToStr(static_cast<int32_t>(GetCurrentProcessId()));
  CreateDirectoryW(vws::W(folder), nullptr);
  std::printf("making %d files...\n", kFiles);
  for (int i = 0; i < kFiles; ++i) {
    std::u16string name = folder + u"\\file" + vws::WideIntToStr(i) + (i % 3 == 0 ? u".txt" : i % 3 == 1 ? u".bin" : u".doc");
    HANDLE file = CreateFileW(vws::W(name), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(file);
  }
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 640);
  form->Show();

  int shellItems = 0;
  uint32_t treeChildren = 0;
  // A first round warms the shell's caches for both.
  ShellEnumeration(folder, shellItems);
  TreeExpansion(form, folder, true, treeChildren);
  double shell = ShellEnumeration(folder, shellItems);
  double withChecks = TreeExpansion(form, folder, true, treeChildren);
  double plain = TreeExpansion(form, folder, false, treeChildren);
  double shellAgain = ShellEnumeration(folder, shellItems);
  double reference = shell < shellAgain ? shell : shellAgain;
  std::printf("shell EnumObjects + GetDisplayNameOf   %8.1f ms  (%d items)\n", reference, shellItems);
  std::printf("tree expand to first paint, checks     %8.1f ms  (%u children)  %.2fx the shell\n", withChecks,
              treeChildren, withChecks / reference);
  std::printf("tree expand to first paint, no checks  %8.1f ms  %.2fx the shell\n", plain, plain / reference);
  form->Free();
  RemoveFolder(folder);
  return 0;
}
