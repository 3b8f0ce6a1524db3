#include "StartupTrace.h"

#include <windows.h>

#include <string>

#include "win/Forms.h"

namespace {

struct TMarkTime {
  const char* step;
  LONGLONG counter;
};

constexpr int kMaxMarks = 64;

struct TTrace {
  bool looked = false;  // the environment was read
  bool on = false;      // marks are noted (until the trace is written)
  std::wstring file;
  TMarkTime marks[kMaxMarks];
  int count = 0;
  bool messageSeen = false;
  bool paintSeen = false;
  TMessageEvent oldOnMessage;
  TNotifyEvent oldOnIdle;
};

// Function-local, so a mark made by another file's static initialiser finds
// it built.
TTrace& Trace() {
  static TTrace trace;
  if (!trace.looked) {
    trace.looked = true;
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"QV_STARTUP_TRACE", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      trace.file.assign(path, n);
      trace.on = true;
    }
  }
  return trace;
}

bool WriteWhole(const std::wstring& file, const std::string& text) {
  const std::wstring part = file + L".part";
  HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  CloseHandle(h);
  if (ok && MoveFileExW(part.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileW(part.c_str());
  return false;
}

void WriteTrace() {
  TTrace& trace = Trace();
  trace.on = false;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::string text = "frequency " + std::to_string(frequency.QuadPart) + "\n";
  for (int i = 0; i < trace.count; ++i)
    text += std::to_string(trace.marks[i].counter) + " " + trace.marks[i].step + "\n";
  text += "end\n";
  // A trace that cannot be written is missed by the benchmark, which says so;
  // the program goes on as ever.
  WriteWhole(trace.file, text);
}

void WatchMessage(MSG& msg, bool& handled) {
  TTrace& trace = Trace();
  if (!trace.messageSeen) {
    trace.messageSeen = true;
    StartupMark("main form shown, its controls' windows made");
  }
  if (msg.message == WM_PAINT && !trace.paintSeen) {
    trace.paintSeen = true;
    StartupMark("messages before the first paint");
  }
  trace.oldOnMessage(msg, handled);
}

void WatchIdle(TObject* sender) {
  TTrace& trace = Trace();
  if (!trace.messageSeen) StartupMark("main form shown, its controls' windows made");
  StartupMark("first paint, until idle");
  Application->OnMessage = trace.oldOnMessage;
  Application->OnIdle = trace.oldOnIdle;
  WriteTrace();
  trace.oldOnIdle(sender);
}

// The first of the program's static initialisers: what comes before it is the
// loader's (the process and its libraries), what follows up to WinMain is
// static initialisation.
struct TFirstInitialiser {
  TFirstInitialiser() { StartupMark("process start, libraries loaded"); }
};
__attribute__((init_priority(101))) TFirstInitialiser gFirstInitialiser;

}  // namespace

void StartupMark(const char* step) {
  TTrace& trace = Trace();
  if (!trace.on || trace.count == kMaxMarks) return;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  trace.marks[trace.count++] = {step, now.QuadPart};
}

bool StartupStopAtEntry() { return GetEnvironmentVariableW(L"QV_STARTUP_STOP", nullptr, 0) > 0; }

void StartupTraceWatchLoop() {
  TTrace& trace = Trace();
  if (!trace.on || Application == nullptr) return;
  trace.oldOnMessage = Application->OnMessage;
  trace.oldOnIdle = Application->OnIdle;
  Application->OnMessage = WatchMessage;
  Application->OnIdle = WatchIdle;
}
