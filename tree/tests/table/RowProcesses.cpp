#include "table/RowProcesses.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

constexpr wchar_t kRowsVariable[] = L"QV_TABLE_ROWS";
constexpr wchar_t kOutVariable[] = L"QV_TABLE_OUT";
constexpr DWORD kQuietLimitMs = 20000;  // a child silent this long hangs

// ---- The child's side -------------------------------------------------------

HANDLE gOut = INVALID_HANDLE_VALUE;
int gRow = -1;
char gDescription[256] = "";
const char* gStep = "";
volatile LONG gSteps = 0;  // steps begun: the watchdog's sign of progress
HANDLE gMainThread = nullptr;

}  // namespace

const char* RowStep() { return gStep; }

namespace {

void Write(const std::string& line) {
  if (gOut == INVALID_HANDLE_VALUE) return;
  std::string text = line;
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  text += '\n';
  DWORD written = 0;
  WriteFile(gOut, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Values on the stack that point into the program's code: likely return
// addresses, for addr2line (the build keeps no frame pointers).
std::string CodeOnStack(const CONTEXT* context) {
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  uintptr_t start = base + nt->OptionalHeader.BaseOfCode;
  uintptr_t end = start + nt->OptionalHeader.SizeOfCode;
  auto* run = reinterpret_cast<const uintptr_t*>(context->Esp);
  MEMORY_BASIC_INFORMATION stack{};
  VirtualQuery(run, &stack, sizeof stack);
  auto* stackEnd = reinterpret_cast<const uintptr_t*>(static_cast<const char*>(stack.BaseAddress) + stack.RegionSize);
  std::string text;
  char word[16];
  int found = 0;
  for (int i = 0; i < 8192 && found < 24 && run + 1 <= stackEnd; ++i, ++run) {
    if (*run < start || *run >= end) continue;
    std::snprintf(word, sizeof word, " %08lx", static_cast<unsigned long>(*run));
    text += word;
    ++found;
  }
  return text;
}

[[noreturn]] void ReportAndEnd(const std::string& what) {
  Write("FAULT " + std::to_string(gRow) + " " + gDescription + ", step \"" + gStep + "\": " + what);
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) {
  }
}

bool InProgram(const void* address) {
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  auto a = reinterpret_cast<uintptr_t>(address);
  return a >= base + nt->OptionalHeader.BaseOfCode && a < base + nt->OptionalHeader.BaseOfCode + nt->OptionalHeader.SizeOfCode;
}

std::string Describe(const EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  char text[160];
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
    std::snprintf(text, sizeof text, "%s %p by the code at %p;",
                  record->ExceptionInformation[0] ? "write to" : "read of",
                  reinterpret_cast<void*>(record->ExceptionInformation[1]), record->ExceptionAddress);
  } else {
    std::snprintf(text, sizeof text, "exception %08lx at %p;", static_cast<unsigned long>(record->ExceptionCode),
                  record->ExceptionAddress);
  }
  return std::string(text) + " code on the stack:" + CodeOnStack(info->ContextRecord);
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
  switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
      break;
    default:
      return EXCEPTION_CONTINUE_SEARCH;
  }
  // The system's own code probes memory and handles its faults; ours never does.
  if (!InProgram(info->ExceptionRecord->ExceptionAddress)) return EXCEPTION_CONTINUE_SEARCH;
  ReportAndEnd(Describe(info));
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) { ReportAndEnd("unhandled: " + Describe(info)); }

void OnAbort(int) { ReportAndEnd("abort"); }

// A step that takes this long hangs: where the main thread is then is the report.
DWORD WINAPI Watchdog(void*) {
  LONG seen = -1;
  DWORD since = GetTickCount();
  for (;;) {
    Sleep(250);
    if (gSteps != seen) {
      seen = gSteps;
      since = GetTickCount();
      continue;
    }
    if (GetTickCount() - since < 10000) continue;
    SuspendThread(gMainThread);
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    GetThreadContext(gMainThread, &context);
    char where[64];
    std::snprintf(where, sizeof where, "hung at %08lx;", static_cast<unsigned long>(context.Eip));
    ReportAndEnd(std::string(where) + " code on the stack:" + CodeOnStack(&context));
  }
}

std::wstring Variable(const wchar_t* name) {
  wchar_t buffer[32768];
  DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  return n == 0 || n >= 32768 ? std::wstring() : std::wstring(buffer, n);
}

// ---- The parent's side ------------------------------------------------------

struct TChildRun {
  std::map<int, TRowOutcome> ended;
  int begun = -1;  // the last row begun, -1 for none
  std::string description;  // of the last row begun
  std::string step;  // the last step begun
};

TChildRun ReadReports(const std::wstring& path) {
  TChildRun run;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return run;
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
  CloseHandle(file);
  std::istringstream lines(all);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    int row = -1;
    words >> kind >> row;
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (kind == "BEGIN") {
      run.begun = row;
      run.description = rest;
    }
    if (kind == "STEP") run.step = rest;
    if (kind == "PASS" || kind == "FAIL" || kind == "FAULT")
      run.ended[row] = TRowOutcome{row, kind == "PASS", kind == "FAULT" ? "fault in " + rest : rest};
  }
  return run;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

std::vector<int> ChildRows() {
  std::vector<int> rows;
  std::wstring list = Variable(kRowsVariable);
  if (list.empty()) return rows;
  std::wstring out = Variable(kOutVariable);
  gOut = CreateFileW(out.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                     nullptr);
  AddVectoredExceptionHandler(1, OnFault);
  SetUnhandledExceptionFilter(OnUnhandled);
  std::signal(SIGABRT, OnAbort);
  std::set_terminate([] { ReportAndEnd("terminate (an exception left a handler or a destructor)"); });
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &gMainThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  std::wistringstream items(list);
  std::wstring item;
  while (std::getline(items, item, L',')) rows.push_back(std::stoi(item));
  return rows;
}

void BeginRow(int row, const std::string& description) {
  gRow = row;
  std::snprintf(gDescription, sizeof gDescription, "%s", description.c_str());
  gStep = "set-up";
  Write("BEGIN " + std::to_string(row) + " " + gDescription);
}

void SetRowStep(const char* step) {
  gStep = step;
  InterlockedIncrement(&gSteps);
  Write(std::string("STEP ") + std::to_string(gRow) + " " + step);  // progress: a hang is told by silence
}

void EndRow(const std::string& problems, const std::string& note) {
  if (problems.empty())
    Write("PASS " + std::to_string(gRow) + " " + note);
  else
    Write("FAIL " + std::to_string(gRow) + " " + gDescription + " (" + note + "): " + problems);
  gRow = -1;
}

std::vector<TRowOutcome> RunRowsInChildren(const std::vector<int>& rows, const std::string& childTest, int chunk) {
  std::map<int, TRowOutcome> outcomes;
  std::vector<int> pending = rows;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + L"qv-table-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  while (!pending.empty()) {
    std::wstring list;
    for (size_t i = 0; i < pending.size() && static_cast<int>(i) < chunk; ++i)
      list += (i ? L"," : L"") + std::to_wstring(pending[i]);
    DeleteFileW(path.c_str());
    SetEnvironmentVariableW(kRowsVariable, list.c_str());
    SetEnvironmentVariableW(kOutVariable, path.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_brief=1 --gtest_filter=" +
                           std::wstring(childTest.begin(), childTest.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
    SetEnvironmentVariableW(kRowsVariable, nullptr);
    SetEnvironmentVariableW(kOutVariable, nullptr);
    if (!started) {
      for (int row : pending) outcomes[row] = TRowOutcome{row, false, "the child process did not start"};
      break;
    }
    // A child is ended only when it stops reporting: rows take what they take.
    uint64_t size = 0;
    DWORD quietSince = GetTickCount();
    bool hung = false;
    while (WaitForSingleObject(process.hProcess, 500) == WAIT_TIMEOUT) {
      uint64_t now = FileSize(path);
      if (now != size) {
        size = now;
        quietSince = GetTickCount();
      } else if (GetTickCount() - quietSince > kQuietLimitMs) {
        TerminateProcess(process.hProcess, 4);
        WaitForSingleObject(process.hProcess, 10000);
        hung = true;
        break;
      }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    TChildRun run = ReadReports(path);
    for (auto& [row, outcome] : run.ended) outcomes[row] = outcome;
    if (run.begun >= 0 && !run.ended.count(run.begun))
      outcomes[run.begun] = TRowOutcome{run.begun, false,
                                        run.description + (hung ? ": hung in step \"" + run.step + "\""
                                                          : ": the process ended in step \"" + run.step +
                                                                "\", exit code " + std::to_string(exitCode))};
    std::vector<int> rest;
    for (int row : pending)
      if (!outcomes.count(row)) rest.push_back(row);
    if (rest.size() == pending.size()) {  // nothing ran: do not start the same child again
      for (int row : rest)
        outcomes[row] = TRowOutcome{row, false, "not run: the child ended at once, exit code " + std::to_string(exitCode)};
      rest.clear();
    }
    pending = rest;
  }
  DeleteFileW(path.c_str());
  std::vector<TRowOutcome> result;
  for (int row : rows) result.push_back(outcomes[row]);
  return result;
}
