// Start-up of the installed program to an idle, visible main form, whole
// process, beside an empty Win32 window started the same way in the same
// run: the time until the process waits for input with a visible window, and
// its resident memory then. Programs named on the command line are measured
// instead of the installed one, each in turn with the reference (--runs=N
// sets the number of starts of each). The program
// starts as on a later start (no language choice, no splash); the settings it
// finds are put back afterwards.
//
// Where the program's time goes: it is started with its start-up trace on
// (the environment variable QV_STARTUP_TRACE), which notes the end of each
// step on the system's performance counter; the steps are timed from the
// moment this process started it and printed as medians beside the empty
// window's whole figure. --no-trace starts it without the trace.
//
// What loading alone costs: each program is also started with the environment
// variable QV_STARTUP_STOP set, which makes it end at the first line of its
// main block (after its libraries and its static initialisers), and timed
// until it has ended; the whole start-up less that is the program's own work.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "BenchSize.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TFigures {
  double ms = 0;
  double residentMB = 0;
  double privateMB = 0;
  double windows = 0;  // the visible window and all its child windows
  double loadMs = 0;   // started to stop at its main block: until it ended
  // The program's start-up steps in its order, each with its own length in ms
  // (the first counted from the start of the process); empty without a trace.
  std::vector<std::pair<std::string, double>> steps;
};

// Where a program started with its trace on writes it; empty: no trace.
struct TTraceRequest {
  std::wstring file;
  DWORD waitMs = 0;  // how long to wait for it once the program is idle
};

double CounterMs(LONGLONG from, LONGLONG to, LONGLONG frequency) {
  return 1000.0 * static_cast<double>(to - from) / static_cast<double>(frequency);
}

// The steps of a trace file (see app/StartupTrace.h) from the counter value
// at which the process was started; false when the file is missing or cut.
bool ReadTrace(const std::wstring& file, LONGLONG started, TFigures& figures) {
  std::string path(file.begin(), file.end());
  std::ifstream in(path);
  std::string word;
  LONGLONG frequency = 0;
  if (!(in >> word >> frequency) || word != "frequency" || frequency <= 0) return false;
  std::vector<std::pair<std::string, double>> steps;
  LONGLONG previous = started;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line == "end") {
      figures.steps = std::move(steps);
      return true;
    }
    std::istringstream fields(line);
    LONGLONG counter = 0;
    if (!(fields >> counter)) return false;
    std::string step;
    std::getline(fields >> std::ws, step);
    steps.emplace_back(step, CounterMs(previous, counter, frequency));
    previous = counter;
  }
  return false;
}

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

// One start of exe: time to idle with a visible window, memory then, and the
// trace's steps when one is asked for; the process is ended by force
// afterwards (nothing of it is saved).
bool StartOnce(const std::wstring& exe, const TTraceRequest& trace, TFigures& figures) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + exe + L"\"";
  std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  figures.steps.clear();
  if (!trace.file.empty()) DeleteFileW(trace.file.c_str());
  SetEnvironmentVariableW(L"QV_STARTUP_TRACE", trace.file.empty() ? nullptr : trace.file.c_str());
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const auto start = Clock::now();
  const bool started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      folder.c_str(), &si, &process);
  SetEnvironmentVariableW(L"QV_STARTUP_TRACE", nullptr);
  if (!started) return false;
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
  // The program writes its trace once idle: wait for it before ending it.
  if (ready && !trace.file.empty()) {
    for (DWORD waited = 0; waited <= trace.waitMs; waited += 10) {
      if (GetFileAttributesW(trace.file.c_str()) != INVALID_FILE_ATTRIBUTES) break;
      Sleep(10);
    }
    ReadTrace(trace.file, counter.QuadPart, figures);
    DeleteFileW(trace.file.c_str());
  }
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

// One start of exe told to end at the first line of its main block: the time
// until the process has ended; false when it did not end within 30 s or
// ended with an error.
bool LoadOnce(const std::wstring& exe, double& ms) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + exe + L"\"";
  std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  SetEnvironmentVariableW(L"QV_STARTUP_STOP", L"1");
  const auto start = Clock::now();
  const bool started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      folder.c_str(), &si, &process);
  SetEnvironmentVariableW(L"QV_STARTUP_STOP", nullptr);
  if (!started) return false;
  const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  DWORD code = 1;
  if (!ended) TerminateProcess(process.hProcess, 1);
  else GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended && code == 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What one program did over all its starts.
struct TSummary {
  TFigures median;  // each figure's median; steps: each step's median
  double minMs = 0, maxMs = 0;
  double minLoadMs = 0, maxLoadMs = 0;
  // Its time over the reference's started just before it, per round.
  double ratioMedian = 0, ratioMin = 0, ratioMax = 0;
  int traced = 0;  // starts whose trace was read
};

TSummary Summarise(const std::vector<TFigures>& figures, const std::vector<TFigures>& reference) {
  TSummary summary;
  auto middle = [&](double TFigures::*field) {
    std::vector<double> values;
    for (const TFigures& f : figures) values.push_back(f.*field);
    return Median(values);
  };
  summary.median = {middle(&TFigures::ms), middle(&TFigures::residentMB), middle(&TFigures::privateMB),
                    middle(&TFigures::windows), middle(&TFigures::loadMs), {}};
  std::vector<double> ratios;
  for (size_t run = 0; run < figures.size(); ++run) ratios.push_back(figures[run].ms / reference[run].ms);
  summary.ratioMedian = Median(ratios);
  summary.ratioMin = *std::min_element(ratios.begin(), ratios.end());
  summary.ratioMax = *std::max_element(ratios.begin(), ratios.end());
  summary.minMs = summary.maxMs = figures[0].ms;
  summary.minLoadMs = summary.maxLoadMs = figures[0].loadMs;
  for (const TFigures& f : figures) {
    summary.minMs = std::min(summary.minMs, f.ms);
    summary.maxMs = std::max(summary.maxMs, f.ms);
    summary.minLoadMs = std::min(summary.minLoadMs, f.loadMs);
    summary.maxLoadMs = std::max(summary.maxLoadMs, f.loadMs);
  }
  // Steps by name, in the order the program went through them.
  for (const TFigures& f : figures) {
    if (f.steps.empty()) continue;
    ++summary.traced;
    for (const auto& step : f.steps) {
      auto known = std::find_if(summary.median.steps.begin(), summary.median.steps.end(),
                                [&](const auto& s) { return s.first == step.first; });
      if (known == summary.median.steps.end()) summary.median.steps.emplace_back(step.first, 0.0);
    }
  }
  for (auto& step : summary.median.steps) {
    std::vector<double> values;
    for (const TFigures& f : figures)
      for (const auto& s : f.steps)
        if (s.first == step.first) values.push_back(s.second);
    step.second = Median(values);
  }
  return summary;
}

// runs starts of each program, started in turn (one start each to warm the
// file cache first), so that a change in the machine's load falls on all of
// them alike; the first is the reference, the others are traced unless
// trace is false.
bool Measure(const std::vector<std::wstring>& exes, int runs, bool trace, std::vector<TSummary>& summaries) {
  std::vector<std::vector<TFigures>> all(exes.size(), std::vector<TFigures>(runs));
  std::vector<TTraceRequest> traces(exes.size());
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (size_t i = 1; i < exes.size() && trace; ++i) {
    traces[i].file = std::wstring(temp) + L"QvStartupTrace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                     std::to_wstring(i) + L".txt";
    traces[i].waitMs = 5000;
  }
  TFigures warm;
  for (size_t i = 0; i < exes.size(); ++i) {
    if (!StartOnce(exes[i], traces[i], warm)) return false;
    // A program that wrote no trace (a build without one) is not waited for again.
    if (warm.steps.empty()) traces[i] = {};
  }
  for (int run = 0; run < runs; ++run)
    for (size_t i = 0; i < exes.size(); ++i)
      if (!StartOnce(exes[i], traces[i], all[i][run])) return false;
  // The loading alone, in rounds of its own so that no start above waits
  // for one of these to end.
  for (int run = 0; run < runs; ++run)
    for (size_t i = 0; i < exes.size(); ++i)
      if (!LoadOnce(exes[i], all[i][run].loadMs)) return false;
  summaries.clear();
  for (const std::vector<TFigures>& figures : all) summaries.push_back(Summarise(figures, all[0]));
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
  // --runs=N starts each program N times (9 when not given, 2 under
  // QV_BENCH_SMALL): more starts steady the medians on a busy machine.
  int runs = BenchSize(9, 2);
  bool trace = true;
  std::vector<std::wstring> programs;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0)
      runs = std::max(1, std::atoi(argv[i] + 7));
    else if (std::strcmp(argv[i], "--no-trace") == 0)
      trace = false;
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
  std::vector<TSummary> summaries;
  bool ok = Measure(exes, runs, trace, summaries);

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
  const TSummary& empty = summaries[0];
  std::printf("  %-28s %8.1f ms (%.1f-%.1f)  resident %6.1f MB  private %6.1f MB\n", "empty Win32 window",
              empty.median.ms, empty.minMs, empty.maxMs, empty.median.residentMB, empty.median.privateMB);
  for (size_t i = 0; i < programs.size(); ++i) {
    const TSummary& ours = summaries[i + 1];
    std::string name(programs[i].begin(), programs[i].end());
    if (programs.size() == 1) name = "Quorvanell";
    std::printf("  %-28s %8.1f ms (%.1f-%.1f)  resident %6.1f MB  private %6.1f MB  %.2fx time (%.2f-%.2f, "
                "per round)  %.1fx resident  %d windows\n",
                name.substr(name.size() > 28 ? name.size() - 28 : 0).c_str(), ours.median.ms, ours.minMs,
                ours.maxMs, ours.median.residentMB, ours.median.privateMB, ours.ratioMedian, ours.ratioMin,
                ours.ratioMax, ours.median.residentMB / empty.median.residentMB,
                static_cast<int>(ours.median.windows));
  }
  std::printf("loading alone: started to end at the first line of the main block, until it ended "
              "(median, range); the rest: the whole median less it\n");
  std::printf("  %-28s %8.1f ms (%.1f-%.1f)  rest %6.1f ms\n", "empty Win32 window", empty.median.loadMs,
              empty.minLoadMs, empty.maxLoadMs, empty.median.ms - empty.median.loadMs);
  for (size_t i = 0; i < programs.size(); ++i) {
    const TSummary& ours = summaries[i + 1];
    std::string name(programs[i].begin(), programs[i].end());
    if (programs.size() == 1) name = "Quorvanell";
    std::printf("  %-28s %8.1f ms (%.1f-%.1f)  rest %6.1f ms  over the empty window: loading %+.1f ms, rest "
                "%+.1f ms\n",
                name.substr(name.size() > 28 ? name.size() - 28 : 0).c_str(), ours.median.loadMs, ours.minLoadMs,
                ours.maxLoadMs, ours.median.ms - ours.median.loadMs, ours.median.loadMs - empty.median.loadMs,
                (ours.median.ms - ours.median.loadMs) - (empty.median.ms - empty.median.loadMs));
  }
  for (size_t i = 0; i < programs.size(); ++i) {
    const TSummary& ours = summaries[i + 1];
    if (ours.median.steps.empty()) {
      if (trace) std::printf("  (program %zu wrote no start-up trace)\n", i + 1);
      continue;
    }
    std::printf("where the start-up goes (program %zu, median of each step over %d traced starts; the empty "
                "window's whole start-up %.1f ms)\n",
                i + 1, ours.traced, empty.median.ms);
    double sum = 0;
    for (const auto& step : ours.median.steps) {
      std::printf("  %-52s %7.1f ms\n", step.first.c_str(), step.second);
      sum += step.second;
    }
    std::printf("  %-52s %7.1f ms\n", "(sum of the step medians)", sum);
  }
  return 0;
}
