// Start-up of the installed program to an idle, visible main form, whole
// process, beside an empty Win32 window started the same way in the same
// run: the time until the process waits for input with a visible window, and
// its resident memory then. Programs named on the command line are measured
// instead of the installed one, each in turn with the reference (--runs=N
// sets the number of starts of each). The program
// starts as on a later start (no language choice, no splash); the settings it
// finds are put back afterwards.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TFigures {
  double ms = 0;
  double residentMB = 0;
  double privateMB = 0;
  double windows = 0;  // the visible window and all its child windows
};

struct TWindowQuery {
  DWORD processId;
  bool found;
  HWND window;
};

BOOL CALLBACK CountWindow(HWND, LPARAM data) {
  ++*reinterpret_cast<int*>(data);
  return TRUE;
}

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data) {
  auto* query = reinterpret_cast<TWindowQuery*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != query->processId || !IsWindowVisible(window)) return TRUE;
  query->found = true;
  query->window = window;
  return FALSE;
}

// One start of exe: time to idle with a visible window, memory then; the
// process is ended by force afterwards (nothing of it is saved).
bool StartOnce(const std::wstring& exe, TFigures& figures) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + exe + L"\"";
  std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  const auto start = Clock::now();
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                      &process))
    return false;
  bool ready = false;
  while (std::chrono::duration<double>(Clock::now() - start).count() < 30) {
    if (WaitForInputIdle(process.hProcess, 10) == 0) {
      TWindowQuery query{process.dwProcessId, false, nullptr};
      EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&query));
      if (query.found) {
        int windows = 1;
        EnumChildWindows(query.window, CountWindow, reinterpret_cast<LPARAM>(&windows));
        figures.windows = windows;
        ready = true;
        break;
      }
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
  }
  figures.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof(memory))) {
    figures.residentMB = memory.WorkingSetSize / 1048576.0;
    figures.privateMB = memory.PagefileUsage / 1048576.0;
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ready;
}

// The medians of runs starts of each program, started in turn (one start
// each to warm the file cache first), so that a change in the machine's load
// falls on all of them alike.
bool Measure(const std::vector<std::wstring>& exes, int runs, std::vector<TFigures>& medians) {
  std::vector<std::vector<TFigures>> all(exes.size(), std::vector<TFigures>(runs));
  TFigures warm;
  for (const std::wstring& exe : exes)
    if (!StartOnce(exe, warm)) return false;
  for (int run = 0; run < runs; ++run)
    for (size_t i = 0; i < exes.size(); ++i)
      if (!StartOnce(exes[i], all[i][run])) return false;
  medians.clear();
  for (const std::vector<TFigures>& figures : all) {
    auto middle = [&](double TFigures::*field) {
      std::vector<double> values;
      for (const TFigures& f : figures) values.push_back(f.*field);
      std::sort(values.begin(), values.end());
      return values[values.size() / 2];
    };
    medians.push_back({middle(&TFigures::ms), middle(&TFigures::residentMB), middle(&TFigures::privateMB),
                       middle(&TFigures::windows)});
  }
  return true;
}

// A DWORD value of the program's "\Global" settings; the old one is kept.
struct TSetting {
  const wchar_t* name;
  DWORD value;
  DWORD old = 0;
  bool existed = false;
};

const wchar_t* kGlobalKey = L"Software\\Halverstrand\\Quorvanell\\1.0\\Global";

}  // namespace

int main(int argc, char** argv) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder = self;
  folder.resize(folder.find_last_of(L'\\') + 1);
  // bench\ sits beside the program folder Quorvanell\ in the build tree.
  std::wstring reference = folder + L"EmptyWindow.exe";
  // The installed program, or the programs named (another build beside it, say).
  // --runs=N starts each program N times (9 when not given): more starts
  // steady the medians on a busy machine.
  int runs = 9;
  std::vector<std::wstring> programs;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0)
      runs = std::max(1, std::atoi(argv[i] + 7));
    else
      programs.emplace_back(argv[i], argv[i] + strlen(argv[i]));
  }
  if (programs.empty()) programs.push_back(folder + L"..\\Quorvanell\\Quorvanell.exe");

  TSetting settings[] = {{L"GlobalFirstStart", 0}, {L"GlobalSplashShow", 0}};
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kGlobalKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  for (TSetting& s : settings) {
    DWORD size = sizeof(s.old), type = 0;
    s.existed = RegQueryValueExW(key, s.name, nullptr, &type, reinterpret_cast<BYTE*>(&s.old), &size) == ERROR_SUCCESS;
    RegSetValueExW(key, s.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.value), sizeof(s.value));
  }

  std::vector<std::wstring> exes{reference};
  exes.insert(exes.end(), programs.begin(), programs.end());
  std::vector<TFigures> medians;
  bool ok = Measure(exes, runs, medians);

  for (TSetting& s : settings) {
    if (s.existed)
      RegSetValueExW(key, s.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.old), sizeof(s.old));
    else
      RegDeleteValueW(key, s.name);
  }
  RegCloseKey(key);
  if (!ok) {
    std::printf("a program did not reach an idle, visible window\n");
    return 1;
  }
  std::printf("start-up to an idle, visible main form (median of %d, the programs started in turn)\n", runs);
  const TFigures& empty = medians[0];
  std::printf("  %-28s %8.1f ms  resident %6.1f MB  private %6.1f MB\n", "empty Win32 window", empty.ms,
              empty.residentMB, empty.privateMB);
  for (size_t i = 0; i < programs.size(); ++i) {
    const TFigures& ours = medians[i + 1];
    std::string name(programs[i].begin(), programs[i].end());
    if (programs.size() == 1) name = "Quorvanell";
    std::printf("  %-28s %8.1f ms  resident %6.1f MB  private %6.1f MB  %.1fx time  %.1fx resident  %d windows\n",
                name.substr(name.size() > 28 ? name.size() - 28 : 0).c_str(), ours.ms, ours.residentMB,
                ours.privateMB, ours.ms / empty.ms, ours.residentMB / empty.residentMB,
                static_cast<int>(ours.windows));
  }
  return 0;
}
