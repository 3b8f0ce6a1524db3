// Starts the installed program as a user would and closes its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.find_last_of(L'\\') + 1);
  return path + L"Quorvanell\\Quorvanell.exe";
}

struct FindArgs {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND wnd, LPARAM param) {
  auto* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  wchar_t cls[64];
  if (pid == args->processId && IsWindowVisible(wnd) && GetClassNameW(wnd, cls, 64) &&
      std::wstring(cls) == L"TMainForm") {
    args->found = wnd;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForMainWindow(DWORD processId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    FindArgs args{processId, nullptr};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&args));
    if (args.found) return args.found;
    Sleep(50);
  }
  return nullptr;
}

}  // namespace

TEST(Launch, MainWindowOpensAndClosesCleanly) {
  std::wstring exe = ProgramPath();
  ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES) << "program not built";
  // Not the first start, whose language question has a test of its own.
  DWORD notFirst = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Halverstrand\\Quorvanell\\1.0\\Global", L"GlobalFirstStart",
                  REG_DWORD, &notFirst, sizeof notFirst);
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

  HWND main = WaitForMainWindow(pi.dwProcessId, 30000);
  EXPECT_NE(main, nullptr) << "no visible main window";
  if (main) PostMessageW(main, WM_CLOSE, 0, 0);

  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  // The leak checker the program carries stays off: no report is written.
  EXPECT_EQ(GetFileAttributesW(L"c:\\LeakCheck_Quorvanell.log"), INVALID_FILE_ATTRIBUTES);
  if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}
