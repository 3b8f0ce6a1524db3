// The program's first start as a user sees it: the language question, then
// the quick-start help topic in an HTML Help window, then the wizard; the
// first start is recorded at exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "InstalledProgram.h"
#include "services/SettingsBackup.h"

namespace {

struct FindArgs {
  DWORD processId;
  std::wstring cls, title;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND wnd, LPARAM param) {
  auto* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  wchar_t cls[128] = {}, title[256] = {};
  GetClassNameW(wnd, cls, 128);
  GetWindowTextW(wnd, title, 256);
  if (pid == args->processId && IsWindowVisible(wnd) && (args->cls.empty() || args->cls == cls) &&
      (args->title.empty() || args->title == title)) {
    args->found = wnd;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForWindow(DWORD processId, const std::wstring& cls, const std::wstring& title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    FindArgs args{processId, cls, title, nullptr};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&args));
    if (args.found) return args.found;
    Sleep(50);
  }
  return nullptr;
}

DWORD ReadGlobalDword(const wchar_t* name, DWORD def) {
  DWORD value = def, size = sizeof value;
  std::wstring key = std::wstring(TSettingsBackup::kBase) + L"\\Global";
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return def;
  return value;
}

TEST(FirstStart, AsksForTheLanguageAndOpensTheQuickStartTopic) {
  std::wstring exe = InstalledProgramFolder() + L"Quorvanell.exe";
  ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES) << "program not built";
  ASSERT_NE(GetFileAttributesW((InstalledProgramFolder() + L"Quorvanell.chm").c_str()), INVALID_FILE_ATTRIBUTES)
      << "help file not built";
  TSettingsBackup backup;  // no settings: the first start
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

  HWND language = WaitForWindow(pi.dwProcessId, L"", L"Please select your preferred language", 30000);
  EXPECT_NE(language, nullptr) << "no language choice dialog";
  if (language != nullptr) {
    HWND ok = FindWindowExW(language, nullptr, nullptr, L"&OK");
    if (ok == nullptr) {
      // The button sits on the bottom panel.
      for (HWND child = FindWindowExW(language, nullptr, nullptr, nullptr); child != nullptr && ok == nullptr;
           child = FindWindowExW(language, child, nullptr, nullptr))
        ok = FindWindowExW(child, nullptr, nullptr, L"&OK");
    }
    ASSERT_NE(ok, nullptr);
    PostMessageW(ok, BM_CLICK, 0, 0);
  }
  HWND help = WaitForWindow(pi.dwProcessId, L"HH Parent", L"", 30000);
  EXPECT_NE(help, nullptr) << "no help window for the quick-start topic";
  if (help != nullptr) PostMessageW(help, WM_CLOSE, 0, 0);

  HWND main = WaitForWindow(pi.dwProcessId, L"TMainForm", L"", 30000);
  EXPECT_NE(main, nullptr) << "no visible main window";
  if (main) PostMessageW(main, WM_CLOSE, 0, 0);

  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // The first start is over; the built-in English stays chosen.
  EXPECT_EQ(ReadGlobalDword(L"GlobalFirstStart", 7), 0u);
}

}  // namespace
