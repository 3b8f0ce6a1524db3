// Icons of 10,000 nodes of the explorer tree loaded by the icon thread,
// beside SHGetFileInfoW of the same items in a plain loop, in the same run.
// The tree is measured from asking every node for its icon (as painting
// does: the placeholder comes back at once and a request is queued) until
// the last answer has been applied; the time the window thread spends
// queueing is shown apart, since that is all the window waits for.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchFolders.h"
#include "shell/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualImageThread.h"
#include "shell/VirtualWideStrings.h"

namespace {

const int kFiles = kFlatFolderFiles;

using Clock = std::chrono::steady_clock;

double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// SHGetFileInfoW of every item, one after the other; the sum of the indices keeps the calls.
double PlainLoop(const std::vector<LPITEMIDLIST>& pidls, long long& checksum) {
  auto start = Clock::now();
  checksum = 0;
  for (LPITEMIDLIST pidl : pidls) {
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON) != 0)
      checksum += info.iIcon;
  }
  return Millis(start);
}

struct ThreadRun {
  double queueing = 0;  // on the window thread, asking every node
  double applying = 0;  // on the window thread, applying the answers
  double total = 0;     // until every answer is applied
  long long checksum = 0;
  int nodes = 0;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

ThreadRun ThreadedTree(TForm* form, const std::u16string& folder) {
  TVirtualExplorerTreeview* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 600);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  tree->SetRootFolderCustomPath(folder);
  tree->SetActive(true);
  tree->Handle();
  PVirtualNode top = tree->GetFirst();
  tree->SetExpanded(top, true);
  ThreadRun run;
  auto start = Clock::now();
  for (PVirtualNode node = tree->GetFirstChild(top); node != nullptr; node = node->NextSibling) {
    bool ghosted = false;
    int index = -1;
    tree->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
    ++run.nodes;
  }
  run.queueing = Millis(start);
  while (tree->PendingIconRequests() > 0) {
    auto pumpStart = Clock::now();
    Pump();
    run.applying += Millis(pumpStart);
    if (tree->PendingIconRequests() > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_POSTMESSAGE);
  }
  run.total = Millis(start);
  for (PVirtualNode node = tree->GetFirstChild(top); node != nullptr; node = node->NextSibling) {
    bool ghosted = false;
    int index = -1;
    tree->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
    run.checksum += index;
  }
  tree->Free();
  return run;
}

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  std::u16string folder = FlatBenchFolder(7);
  std::vector<LPITEMIDLIST> pidls;
  for (int i = 0; i < kFiles; ++i) pidls.push_back(PathToPIDL(folder + u"\\" + FlatFileName(i, 7)));
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 640);
  form->Show();

  // The shell's icon cache learns every kind of item first (the same for both).
  long long plainSum = 0;
  PlainLoop(std::vector<LPITEMIDLIST>(pidls.begin(), pidls.begin() + 70), plainSum);
  double reference = PlainLoop(pidls, plainSum);
  ThreadRun threaded = ThreadedTree(form, folder);
  std::printf("SHGetFileInfoW plain loop               %8.1f ms  (%d items)\n", reference, kFiles);
  std::printf("icon thread, all %d nodes answered   %8.1f ms  %.2fx the loop\n", threaded.nodes, threaded.total,
              threaded.total / reference);
  std::printf("  of which the window thread queueing   %8.1f ms  %.2fx the loop\n", threaded.queueing,
              threaded.queueing / reference);
  std::printf("  and applying the answers              %8.1f ms  %.2fx the loop\n", threaded.applying,
              threaded.applying / reference);
  std::printf("same icons: %s\n", threaded.checksum == plainSum ? "yes" : "NO");
  form->Free();
  for (LPITEMIDLIST pidl : pidls) NamespacePIDLManager->FreePIDL(pidl);
  const bool right = threaded.checksum == plainSum && threaded.nodes == kFiles;
  if (!right) std::printf("FAILED: the tree's icons are not the loop's\n");
  return right ? 0 : 1;
}
