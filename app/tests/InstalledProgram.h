#pragma once
// The tests of the installed program: they find it in the program folder
// "Quorvanell" beside the test executable's folder, start it as a user
// would, wait for its windows and close it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// The program folder, with a trailing backslash.
inline std::wstring InstalledProgramFolder() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.find_last_of(L'\\') + 1);
  return path + L"Quorvanell\\";
}

struct InstalledProgramTest : ::testing::Test {
  void TearDown() override {
    if (process.hProcess == nullptr) return;
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code) && code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
  }

  // Starts Quorvanell.exe from the program folder (or a copy of it).
  ::testing::AssertionResult Start(const std::wstring& folder = InstalledProgramFolder()) {
    std::wstring exe = folder + L"Quorvanell.exe";
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
      return ::testing::AssertionFailure() << "program not built";
    STARTUPINFOW si{sizeof(si)};
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process))
      return ::testing::AssertionFailure() << "the program does not start: error " << GetLastError();
    return ::testing::AssertionSuccess();
  }

  // A visible top-level window of the program with this class and title
  // (an empty one matches any); null when none shows within timeoutMs.
  HWND WaitForWindow(const std::wstring& cls, const std::wstring& title, DWORD timeoutMs) const {
    WindowQuery query{process.dwProcessId, cls, title, nullptr};
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
      EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
      if (query.found) return query.found;
      Sleep(50);
    }
    return nullptr;
  }

  // Closes the main window (when there is one) and waits up to timeoutMs
  // for the program to end; its exit code, STILL_ACTIVE when it did not end
  // (it is then ended by force).
  DWORD CloseAndWait(HWND main, DWORD timeoutMs) {
    if (main != nullptr) PostMessageW(main, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    return code;
  }

  PROCESS_INFORMATION process{};

private:
  struct WindowQuery {
    DWORD processId;
    const std::wstring &cls, &title;
    HWND found;
  };
  static BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param) {
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t wndClass[128] = {}, wndTitle[256] = {};
    GetClassNameW(wnd, wndClass, 128);
    GetWindowTextW(wnd, wndTitle, 256);
    if (pid == query->processId && IsWindowVisible(wnd) && (query->cls.empty() || query->cls == wndClass) &&
        (query->title.empty() || query->title == wndTitle)) {
      query->found = wnd;
      return FALSE;
    }
    return TRUE;
  }
};
