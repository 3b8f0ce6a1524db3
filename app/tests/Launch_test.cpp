// Starts the installed program as a user would and closes its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include "InstalledProgram.h"

namespace {

using Launch = InstalledProgramTest;

TEST_F(Launch, MainWindowOpensAndClosesCleanly) {
  // Not the first start, whose language question has a test of its own.
  DWORD notFirst = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Halverstrand\\Quorvanell\\1.0\\Global", L"GlobalFirstStart",
                  REG_DWORD, &notFirst, sizeof notFirst);
  ASSERT_TRUE(Start());

  HWND main = WaitForWindow(L"TMainForm", L"", 30000);
  EXPECT_NE(main, nullptr) << "no visible main window";
  EXPECT_EQ(CloseAndWait(main, 30000), 0u);
  // The leak checker the program carries stays off: no report is written.
  EXPECT_EQ(GetFileAttributesW(L"c:\\LeakCheck_Quorvanell.log"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
