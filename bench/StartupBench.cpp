// Start-up of the installed program to an idle, visible main form, whole
// process, beside an empty Win32 window started the same way in the same
// run: the time until the process waits for input with a visible window, and
// its resident memory then. Programs named on the command line are measured
// instead of the installed one, each beside the reference.
//
// Paired rounds: each round starts the reference and each program back to
// back, in an order swapped every round, so that a change in the machine's
// load falls on both sides of a round alike; the figure is each round's own
// ratio (the program's time over the reference's in that round), given as its
// minimum, median and maximum over the rounds of a series. Several series are
// run (--series=S of --rounds=N rounds each, 5 of 9 when not given), each
// with the machine's load average at its start and end where the system
// tells it (under Wine, from the host's /proc/loadavg), then all rounds
// together. A best time of each side taken from different rounds would hide
// the spread; nothing here is summed that way.
//
// The program starts as on a later start (no language choice, no splash); the
// settings it finds are put back afterwards. It must be the program as
// shipped: one carrying debug sections (an unstripped build) is refused,
// since the system's loader may read them and the figure would be another
// program's.
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
// until it has ended, in paired rounds of their own; the rounds' differences
// to the reference are given the same way.
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

struct TSpread {
  double min = 0, median = 0, max = 0;
};

TSpread SpreadOf(const std::vector<double>& values) {
  if (values.empty()) return {};
  return {*std::min_element(values.begin(), values.end()), Median(values),
          *std::max_element(values.begin(), values.end())};
}

// One round: every program's figures, the reference's first.
using TRound = std::vector<TFigures>;

// The host's load averages over 1, 5 and 15 minutes as the system gives them
// ("12.05 10.33 9.80"), or "unknown" where it does not (a Windows system has
// none; under Wine the host's file is reachable through the drive of the root).
std::string MachineLoad() {
  HANDLE file = CreateFileW(L"Z:\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "unknown";
  char text[128] = {};
  DWORD got = 0;
  const bool read = ReadFile(file, text, sizeof(text) - 1, &got, nullptr) != FALSE;
  CloseHandle(file);
  if (!read || got == 0) return "unknown";
  std::istringstream fields(std::string(text, got));
  std::string one, five, fifteen;
  if (!(fields >> one >> five >> fifteen)) return "unknown";
  return one + " " + five + " " + fifteen;
}

// True when exe carries debug sections (".debug_*"; MinGW's linker writes
// such long names into the string table and "/<offset>" in the section
// table); false when it has none or cannot be read as an image.
bool HasDebugSections(const std::wstring& exe) {
  std::ifstream in(std::string(exe.begin(), exe.end()), std::ios::binary);
  IMAGE_DOS_HEADER dos{};
  if (!in.read(reinterpret_cast<char*>(&dos), sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
  in.seekg(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!in.read(reinterpret_cast<char*>(&signature), sizeof(signature)) || signature != IMAGE_NT_SIGNATURE ||
      !in.read(reinterpret_cast<char*>(&header), sizeof(header)))
    return false;
  in.seekg(header.SizeOfOptionalHeader, std::ios::cur);
  std::vector<std::string> names;
  for (WORD i = 0; i < header.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section{};
    if (!in.read(reinterpret_cast<char*>(&section), sizeof(section))) return false;
    names.emplace_back(reinterpret_cast<const char*>(section.Name),
                       strnlen(reinterpret_cast<const char*>(section.Name), IMAGE_SIZEOF_SHORT_NAME));
  }
  const std::streamoff strings = header.PointerToSymbolTable + std::streamoff(header.NumberOfSymbols) * 18;
  for (std::string& name : names) {
    if (name.size() < 2 || name[0] != '/' || header.PointerToSymbolTable == 0) continue;
    in.clear();
    in.seekg(strings + std::atoi(name.c_str() + 1));
    std::getline(in, name, '\0');
  }
  return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".debug", 0) == 0; });
}

// The trace files of the traced programs (the reference, first, has none).
std::vector<TTraceRequest> TraceRequests(size_t programs, bool trace) {
  std::vector<TTraceRequest> traces(programs);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (size_t i = 1; i < programs && trace; ++i) {
    traces[i].file = std::wstring(temp) + L"QvStartupTrace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                     std::to_wstring(i) + L".txt";
    traces[i].waitMs = 5000;
  }
  return traces;
}

// The order of the programs in round number round: the reference first in
// even rounds, last in odd ones, the programs between reversed alike.
std::vector<size_t> RoundOrder(size_t programs, int round) {
  std::vector<size_t> order(programs);
  for (size_t i = 0; i < programs; ++i) order[i] = i;
  if (round % 2 == 1) std::reverse(order.begin(), order.end());
  return order;
}

// One series: rounds paired rounds of whole start-ups, then as many of the
// loading alone; false when a program did not reach an idle, visible window
// or did not end at its main block.
bool RunSeries(const std::vector<std::wstring>& exes, int rounds, std::vector<TTraceRequest>& traces,
               std::vector<TRound>& out) {
  out.assign(rounds, TRound(exes.size()));
  for (int round = 0; round < rounds; ++round)
    for (size_t i : RoundOrder(exes.size(), round))
      if (!StartOnce(exes[i], traces[i], out[round][i])) return false;
  // The loading alone in rounds of its own, so that no start above waits for
  // one of these to end.
  for (int round = 0; round < rounds; ++round)
    for (size_t i : RoundOrder(exes.size(), round))
      if (!LoadOnce(exes[i], out[round][i].loadMs)) return false;
  return true;
}

// Program p's time over the reference's, per round.
std::vector<double> Ratios(const std::vector<TRound>& rounds, size_t p) {
  std::vector<double> ratios;
  for (const TRound& round : rounds) ratios.push_back(round[p].ms / round[0].ms);
  return ratios;
}

// Program p's loading alone less the reference's, per round, in ms.
std::vector<double> LoadingOver(const std::vector<TRound>& rounds, size_t p) {
  std::vector<double> over;
  for (const TRound& round : rounds) over.push_back(round[p].loadMs - round[0].loadMs);
  return over;
}

std::vector<double> Field(const std::vector<TRound>& rounds, size_t p, double TFigures::*field) {
  std::vector<double> values;
  for (const TRound& round : rounds) values.push_back(round[p].*field);
  return values;
}

// Each step of program p's traces with its median length, in the order the
// program went through them; traced: how many starts wrote a trace.
std::vector<std::pair<std::string, double>> StepMedians(const std::vector<TRound>& rounds, size_t p, int& traced) {
  std::vector<std::pair<std::string, double>> steps;
  traced = 0;
  for (const TRound& round : rounds) {
    if (round[p].steps.empty()) continue;
    ++traced;
    for (const auto& step : round[p].steps)
      if (std::none_of(steps.begin(), steps.end(), [&](const auto& s) { return s.first == step.first; }))
        steps.emplace_back(step.first, 0.0);
  }
  for (auto& step : steps) {
    std::vector<double> values;
    for (const TRound& round : rounds)
      for (const auto& s : round[p].steps)
        if (s.first == step.first) values.push_back(s.second);
    step.second = Median(values);
  }
  return steps;
}

std::string Shown(const std::wstring& program, size_t programs) {
  if (programs == 1) return "Quorvanell";
  std::string name(program.begin(), program.end());
  return name.substr(name.size() > 28 ? name.size() - 28 : 0);
}

void PrintSpread(const char* label, const TSpread& s, const char* unit) {
  std::printf("%s %6.2f / %6.2f / %6.2f%s", label, s.min, s.median, s.max, unit);
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
  // 5 series of 9 rounds when not given (1 of 2 under QV_BENCH_SMALL, where
  // only the run itself is checked).
  int series = BenchSize(5, 1), rounds = BenchSize(9, 2);
  bool trace = true;
  std::vector<std::wstring> programs;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0)
      rounds = std::max(1, std::atoi(argv[i] + 9));
    else if (std::strncmp(argv[i], "--series=", 9) == 0)
      series = std::max(1, std::atoi(argv[i] + 9));
    else if (std::strcmp(argv[i], "--no-trace") == 0)
      trace = false;
    else
      programs.emplace_back(argv[i], argv[i] + strlen(argv[i]));
  }
  if (programs.empty()) programs.push_back(folder + L"..\\Quorvanell\\Quorvanell.exe");
  for (const std::wstring& program : programs) {
    if (!HasDebugSections(program)) continue;
    std::printf("%s carries debug sections: measure the program as shipped (stripped)\n",
                std::string(program.begin(), program.end()).c_str());
    return 1;
  }

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
  std::vector<TTraceRequest> traces = TraceRequests(exes.size(), trace);
  std::printf("start-up to an idle, visible main form: %d series of %d paired rounds (each round starts the "
              "reference and the program back to back, in an order swapped every round)\n",
              series, rounds);
  std::printf("per series: the time ratio of each round (program / empty Win32 window), min / median / max; the "
              "machine's load average (1, 5, 15 min) at the series' start and end\n");
  // One start of each first, to warm the file cache.
  bool ok = true;
  TFigures warm;
  for (size_t i = 0; i < exes.size() && ok; ++i) {
    ok = StartOnce(exes[i], traces[i], warm);
    // A program that wrote no trace (a build without one) is not waited for again.
    if (warm.steps.empty()) traces[i] = {};
  }
  std::vector<TRound> all;
  for (int s = 1; s <= series && ok; ++s) {
    const std::string loadBefore = MachineLoad();
    std::vector<TRound> done;
    ok = RunSeries(exes, rounds, traces, done);
    if (!ok) break;
    const std::string loadAfter = MachineLoad();
    std::printf("  series %d (load %s -> %s)\n", s, loadBefore.c_str(), loadAfter.c_str());
    for (size_t p = 1; p < exes.size(); ++p) {
      std::printf("    %-28s", Shown(exes[p], programs.size()).c_str());
      PrintSpread(" time ratio", SpreadOf(Ratios(done, p)), "x;");
      const TSpread ref = SpreadOf(Field(done, 0, &TFigures::ms)), ours = SpreadOf(Field(done, p, &TFigures::ms));
      std::printf("  ms: empty window %.1f / %.1f / %.1f, program %.1f / %.1f / %.1f\n", ref.min, ref.median,
                  ref.max, ours.min, ours.median, ours.max);
    }
    all.insert(all.end(), done.begin(), done.end());
  }

  for (TSetting& s : settings) {
    if (s.existed)
      RegSetValueExW(key, s.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.old), sizeof(s.old));
    else
      RegDeleteValueW(key, s.name);
  }
  RegCloseKey(key);
  if (!ok) {
    std::printf("a program did not reach an idle, visible window (or did not end at its main block)\n");
    return 1;
  }

  std::printf("all %zu rounds together\n", all.size());
  const TSpread emptyMs = SpreadOf(Field(all, 0, &TFigures::ms));
  const double emptyResident = Median(Field(all, 0, &TFigures::residentMB));
  std::printf("  %-28s ms %.1f / %.1f / %.1f  resident %6.1f MB  private %6.1f MB\n", "empty Win32 window",
              emptyMs.min, emptyMs.median, emptyMs.max, emptyResident, Median(Field(all, 0, &TFigures::privateMB)));
  for (size_t p = 1; p < exes.size(); ++p) {
    const TSpread ms = SpreadOf(Field(all, p, &TFigures::ms));
    std::printf("  %-28s ms %.1f / %.1f / %.1f  resident %6.1f MB  private %6.1f MB  %.1fx resident  %d windows\n",
                Shown(exes[p], programs.size()).c_str(), ms.min, ms.median, ms.max,
                Median(Field(all, p, &TFigures::residentMB)), Median(Field(all, p, &TFigures::privateMB)),
                Median(Field(all, p, &TFigures::residentMB)) / emptyResident,
                static_cast<int>(Median(Field(all, p, &TFigures::windows))));
    std::printf("  %-28s", "");
    PrintSpread(" time ratio per round", SpreadOf(Ratios(all, p)), "x\n");
  }
  std::printf("loading alone: started to end at the first line of the main block, until it ended; paired rounds "
              "as above\n");
  const TSpread emptyLoad = SpreadOf(Field(all, 0, &TFigures::loadMs));
  std::printf("  %-28s ms %.1f / %.1f / %.1f\n", "empty Win32 window", emptyLoad.min, emptyLoad.median,
              emptyLoad.max);
  for (size_t p = 1; p < exes.size(); ++p) {
    const TSpread load = SpreadOf(Field(all, p, &TFigures::loadMs));
    const TSpread over = SpreadOf(LoadingOver(all, p));
    std::printf("  %-28s ms %.1f / %.1f / %.1f  over the empty window per round %+.1f / %+.1f / %+.1f ms\n",
                Shown(exes[p], programs.size()).c_str(), load.min, load.median, load.max, over.min, over.median,
                over.max);
  }
  for (size_t p = 1; p < exes.size(); ++p) {
    int traced = 0;
    const auto steps = StepMedians(all, p, traced);
    if (steps.empty()) {
      if (trace) std::printf("  (program %zu wrote no start-up trace)\n", p);
      continue;
    }
    std::printf("where the start-up goes (program %zu, median of each step over %d traced starts; the empty "
                "window's whole start-up %.1f ms)\n",
                p, traced, emptyMs.median);
    double sum = 0;
    for (const auto& step : steps) {
      std::printf("  %-52s %7.1f ms\n", step.first.c_str(), step.second);
      sum += step.second;
    }
    std::printf("  %-52s %7.1f ms\n", "(sum of the step medians)", sum);
  }
  return 0;
}
