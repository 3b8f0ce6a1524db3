// The program's first start as a user sees it: the language question, then
// the quick-start help topic in an HTML Help window, then the wizard; the
// first start is recorded at exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "InstalledProgram.h"
#include "services/SettingsBackup.h"

namespace {

using FirstStart = InstalledProgramTest;

DWORD ReadGlobalDword(const wchar_t* name, DWORD def) {
  DWORD value = def, size = sizeof value;
  std::wstring key = std::wstring(TSettingsBackup::kBase) + L"\\Global";
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return def;
  return value;
}

TEST_F(FirstStart, AsksForTheLanguageAndOpensTheQuickStartTopic) {
  ASSERT_NE(GetFileAttributesW((InstalledProgramFolder() + L"Quorvanell.chm").c_str()), INVALID_FILE_ATTRIBUTES)
      << "help file not built";
  TSettingsBackup backup;  // no settings: the first start
  ASSERT_TRUE(Start());

  HWND language = WaitForWindow(L"", L"Please select your preferred language", 30000);
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
  HWND help = WaitForWindow(L"HH Parent", L"", 30000);
  EXPECT_NE(help, nullptr) << "no help window for the quick-start topic";
  if (help != nullptr) PostMessageW(help, WM_CLOSE, 0, 0);

  HWND main = WaitForWindow(L"TMainForm", L"", 30000);
  EXPECT_NE(main, nullptr) << "no visible main window";
  EXPECT_EQ(CloseAndWait(main, 30000), 0u);
  // The first start is over; the built-in English stays chosen.
  EXPECT_EQ(ReadGlobalDword(L"GlobalFirstStart", 7), 0u);
}

}  // namespace
