// The installed program tells the user, in boxes that wait for them, what it
// could not use or keep: a language file it cannot read at start (the wizard
// still opens, in English, and the name is not kept), and settings the save
// at exit could not write.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "InstalledProgram.h"
#include "services/SettingsBackup.h"

namespace {

using ProgramTells = InstalledProgramTest;

const std::wstring kGlobal = std::wstring(TSettingsBackup::kBase) + L"\\Global";

void PutGlobal(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kGlobal.c_str(), name, type, data, size);
}

std::wstring ReadGlobalText(const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kGlobal.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return L"<none>";
  return value;
}

// The text of a message box.
std::wstring BoxText(HWND box) {
  wchar_t text[2048] = {};
  if (HWND label = GetDlgItem(box, 0xFFFF)) GetWindowTextW(label, text, 2048);
  return text;
}

TEST_F(ProgramTells, AHugeLanguageFileIsToldAndTheWizardOpensInEnglish) {
  TSettingsBackup backup;
  const DWORD no = 0;
  PutGlobal(L"GlobalFirstStart", REG_DWORD, &no, sizeof no);
  PutGlobal(L"GlobalSplashShow", REG_DWORD, &no, sizeof no);
  const wchar_t name[] = L"Huge.lng";
  PutGlobal(L"GlobalLanguage", REG_SZ, name, sizeof name);
  // 1.2 GB that take no disk: a sparse file.
  const std::wstring path = InstalledProgramFolder() + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = 1200ll * 1024 * 1024;
  const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  struct TRemove {
    std::wstring path;
    ~TRemove() { DeleteFileW(path.c_str()); }
  } remove{path};
  ASSERT_TRUE(sized);
  ASSERT_TRUE(Start());

  HWND box = WaitForWindow(L"#32770", L"Error", 30000);
  ASSERT_NE(box, nullptr) << "no box telling that the language file cannot be used";
  const std::wstring text = BoxText(box);
  EXPECT_NE(text.find(path), std::wstring::npos) << std::string(text.begin(), text.end());
  EXPECT_NE(text.find(L"English"), std::wstring::npos);
  PostMessageW(box, WM_COMMAND, IDOK, 0);

  HWND main = WaitForWindow(L"TMainForm", L"", 30000);
  EXPECT_NE(main, nullptr) << "no main window after the box";
  EXPECT_EQ(CloseAndWait(main, 30000), 0u);
  // The next start does not meet the file again.
  EXPECT_EQ(ReadGlobalText(L"GlobalLanguage"), L"");
}

TEST_F(ProgramTells, SettingsNotKeptAtExitAreShownAndTheBoxWaits) {
  TSettingsBackup backup;
  // A volatile base key: "\Global" can be made under it only as a volatile
  // key too (made here, so that this is no first start); "\Wipe", a lasting
  // key, cannot be made at exit.
  HKEY base = nullptr, global = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, TSettingsBackup::kBase, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &base, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(base, L"Global", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &global,
                            nullptr),
            ERROR_SUCCESS);
  const DWORD no = 0;
  RegSetValueExW(global, L"GlobalFirstStart", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&no), sizeof no);
  RegSetValueExW(global, L"GlobalSplashShow", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&no), sizeof no);
  RegCloseKey(global);
  HKEY probe = nullptr;
  const LONG lasting = RegCreateKeyExW(base, L"Wipe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &probe, nullptr);
  RegCloseKey(base);
  if (lasting == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "this registry lets lasting keys live under volatile ones";
  }
  ASSERT_TRUE(Start());

  HWND main = WaitForWindow(L"TMainForm", L"", 30000);
  ASSERT_NE(main, nullptr) << "no main window";
  PostMessageW(main, WM_CLOSE, 0, 0);
  HWND box = WaitForWindow(L"#32770", L"Error", 30000);
  ASSERT_NE(box, nullptr) << "the settings not kept were never shown";
  const std::wstring text = BoxText(box);
  EXPECT_NE(text.find(L"OptionsRetryCount, OptionsSectorsToRead, OptionsAdvancedMode"), std::wstring::npos)
      << std::string(text.begin(), text.end());
  EXPECT_EQ(text.find(L"GlobalLanguage"), std::wstring::npos);
  // The box waits for the user: the program is still there a while later.
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindowVisible(box));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(CloseAndWait(nullptr, 30000), 0u);
}

}  // namespace
