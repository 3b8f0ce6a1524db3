#include "core/testing/ChildProcess.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <exception>

namespace qvtable {

namespace {

volatile LONG gSteps = 0;  // steps begun: the watchdog's sign of progress
HANDLE gMainThread = nullptr;
int gStepLimitMs = 10000;

// The program's code: where a fault of ours is, and what a return address points into.
bool InProgram(uintptr_t address) {
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  uintptr_t start = base + nt->OptionalHeader.BaseOfCode;
  return address >= start && address < start + nt->OptionalHeader.SizeOfCode;
}

// Values on the stack that point into the program's code: likely return
// addresses, for addr2line (the build keeps no frame pointers).
std::string CodeOnStack(const CONTEXT* context) {
  auto* run = reinterpret_cast<const uintptr_t*>(context->Esp);
  MEMORY_BASIC_INFORMATION stack{};
  VirtualQuery(run, &stack, sizeof stack);
  auto* stackEnd = reinterpret_cast<const uintptr_t*>(static_cast<const char*>(stack.BaseAddress) + stack.RegionSize);
  std::string text;
  char word[16];
  int found = 0;
  for (int i = 0; i < 8192 && found < 24 && run + 1 <= stackEnd; ++i, ++run) {
    if (!InProgram(*run)) continue;
    std::snprintf(word, sizeof word, " %08lx", static_cast<unsigned long>(*run));
    text += word;
    ++found;
  }
  return text;
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

// A fault of ours (the system's own code probes memory and handles its
// faults); the C++ exceptions' codes are not errors of this kind.
LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if ((record->ExceptionCode >> 28) != 0xC || !InProgram(reinterpret_cast<uintptr_t>(record->ExceptionAddress)))
    return EXCEPTION_CONTINUE_SEARCH;
  ReportAndEnd(Describe(info));
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) { ReportAndEnd("unhandled: " + Describe(info)); }

void OnAbort(int) { ReportAndEnd("abort"); }

// A step that takes this long hangs: where the main thread is then is the report.
DWORD WINAPI Watchdog(void*) {
  TQuietWatch quiet{std::chrono::milliseconds(gStepLimitMs)};
  while (!quiet.Quiet(static_cast<uint64_t>(gSteps))) Sleep(250);
  SuspendThread(gMainThread);
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  GetThreadContext(gMainThread, &context);
  char where[64];
  std::snprintf(where, sizeof where, "hung at %08lx;", static_cast<unsigned long>(context.Eip));
  ReportAndEnd(std::string(where) + " code on the stack:" + CodeOnStack(&context));
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }  // ASCII

}  // namespace

void CatchFaults(int stepMs) {
  gStepLimitMs = stepMs;
  AddVectoredExceptionHandler(1, OnFault);
  SetUnhandledExceptionFilter(OnUnhandled);
  std::signal(SIGABRT, OnAbort);
  std::set_terminate([] { ReportAndEnd("terminate (an exception left a handler or a destructor)"); });
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &gMainThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
}

void StepBegun() { InterlockedIncrement(&gSteps); }

void EndProcessNow(int exitCode) {
  TerminateProcess(GetCurrentProcess(), exitCode);
  for (;;) {
  }
}

std::string ReportFileName() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "qv-table-" + std::to_string(GetCurrentProcessId()) + ".txt";
}

intptr_t StartSelf(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\"";
  for (const std::string& arg : args) command += L" " + Wide(arg);  // the table's arguments hold no spaces
  for (const auto& [name, value] : env) SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  for (const auto& [name, value] : env) SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
  if (!started) return 0;
  CloseHandle(process.hThread);
  return reinterpret_cast<intptr_t>(process.hProcess);
}

bool WaitChild(intptr_t child, int ms, unsigned long& exitCode) {
  auto process = reinterpret_cast<HANDLE>(child);
  if (WaitForSingleObject(process, ms) == WAIT_TIMEOUT) return false;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  exitCode = code;
  CloseHandle(process);
  return true;
}

void KillChild(intptr_t child) { TerminateProcess(reinterpret_cast<HANDLE>(child), 4); }

}  // namespace qvtable
