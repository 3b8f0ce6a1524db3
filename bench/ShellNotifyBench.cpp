// The explorer tree following changes: the time from a file change to the
// tree showing it, less the notifier's quiet period, for a change reported to
// the shell and for one found by the kernel watcher, beside a plain shell
// enumeration of the same folder in the same run; and the CPU an idle tree
// with the notifier's threads running uses, beside the same idle tree without
// them. Under QV_BENCH_SMALL one change of each kind and 0.3 s idle.
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "shell/ExplorerTree.h"
#include "BenchFolders.h"
#include "BenchSize.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

namespace {

constexpr double kQuietPeriodMs = 750;
const int kRounds = BenchSize(5, 1);

using Clock = std::chrono::steady_clock;
double Millis(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

void PumpFor(double ms) {
  auto start = Clock::now();
  while (Millis(start) < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

template <class F>
bool PumpUntil(F done, double timeoutMs) {
  auto start = Clock::now();
  while (!done()) {
    if (Millis(start) > timeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  return true;
}

double FileTimeMs(FILETIME t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4; }

// CPU used by every thread of the process but the calling (window) one: the notifier's threads and the system's.
double OtherThreadsCpuMs() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  double total = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) total += FileTimeMs(kernel) + FileTimeMs(user);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return total;
}


uint32_t ChildCount(TCustomVirtualExplorerTree* tree) {
  PVirtualNode root = tree->GetFirst();
  return root != nullptr ? root->ChildCount : 0;
}

// Median-free average of kRounds changes: time until the tree shows the new file, less the quiet period.
double ChangeToTree(TCustomVirtualExplorerTree* tree, const std::u16string& folder, bool reportToShell, int& seq) {
  double total = 0;
  for (int i = 0; i < kRounds; ++i) {
    uint32_t before = ChildCount(tree);
    std::u16string path = folder + u"\\new" + vws::WideIntToStr(seq++) + u".txt";
    auto start = Clock::now();
    HANDLE h = CreateFileW(vws::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(h);
    if (reportToShell) SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, vws::W(path), nullptr);
    if (!PumpUntil([&] { return ChildCount(tree) > before; }, 10000)) {
      std::printf("  the tree did not show %s\n", reportToShell ? "a reported change" : "a change on disk");
      return -1;
    }
    total += Millis(start) - kQuietPeriodMs;
    PumpFor(300);
  }
  return total / kRounds;
}


}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::u16string folder = vws::FromW(temp) + u"qv-notify-bench-" + vws::WideIntToStr(static_cast<int>(GetCurrentProcessId()));
  CreateDirectoryW(vws::W(folder), nullptr);
  for (int i = 0; i < 1000; ++i) {
    HANDLE h = CreateFileW(vws::W(folder + u"\\file" + vws::WideIntToStr(i) + u".txt"), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(h);
  }

  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 400, 600);
  auto* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 380, 580);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
  o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
  tree->SetRootFolderCustomPath(folder);
  tree->SetActive(true);
  form->Show();
  tree->SetExpanded(tree->GetFirst(), true);
  PumpFor(200);

  std::printf("ShellNotifyBench: a folder of %u items open in the tree\n", ChildCount(tree));
  int items = 0;
  ShellEnumeration(folder, items);
  double enumeration = ShellEnumeration(folder, items);
  int seq = 0;
  double reported = ChangeToTree(tree, folder, true, seq);
  ChangeNotifier()->RegisterKernelChangeNotify(tree, 0x03);
  ChangeNotifier()->ChangeWatchFolder(tree, folder);
  PumpFor(300);
  double kernel = ChangeToTree(tree, folder, false, seq);
  std::printf("  change -> tree shows it, quiet period (%.0f ms) excluded, mean of %d:\n", kQuietPeriodMs, kRounds);
  std::printf("    reported through SHChangeNotify: %8.1f ms\n", reported);
  std::printf("    found by the kernel watcher:     %8.1f ms\n", kernel);
  std::printf("    reference, shell enumeration of the folder: %8.1f ms\n", enumeration);

  // Idle: nothing changes for 3 s; with the notifier's threads, and without them.
  const double idleMs = BenchSize(3000, 300);
  double cpu = OtherThreadsCpuMs();
  PumpFor(idleMs);
  double withThreads = OtherThreadsCpuMs() - cpu;
  ChangeNotifier()->UnRegisterKernelChangeNotify(tree);
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread));
  PumpFor(200);
  cpu = OtherThreadsCpuMs();
  PumpFor(idleMs);
  double without = OtherThreadsCpuMs() - cpu;
  std::printf("  idle for %.0f ms, CPU of the threads beside the window's: %.1f ms with the notifier's threads\n"
              "    (shell, kernel, dispatch); reference, the same idle tree without them: %.1f ms\n",
              idleMs, withThreads, without);

  form->Free();
  RemoveFolder(folder);
  return reported >= 0 && kernel >= 0 ? 0 : 1;
}
