// Boxes the installed program shows while it starts, its splash set to stay
// ten minutes: each comes up at once in front of the splash that owns it, and
// a click on its OK button answers it long before the splash would close. A
// start refused for a damaged patterns file ends with a non-zero exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "InstalledProgram.h"
#include "services/SettingsBackup.h"

namespace {

using StartupBoxes = InstalledProgramTest;

// A copy of the installed program beside it, with one file of its own.
struct TProgramCopy {
  const std::filesystem::path folder = std::filesystem::path(InstalledProgramFolder()).parent_path().concat("Copy");
  TProgramCopy(const wchar_t* name, const std::string& text) {
    std::filesystem::create_directory(folder);
    for (const wchar_t* file : {L"Quorvanell.exe", L"Quorvanell.xml"})
      std::filesystem::copy_file(InstalledProgramFolder() + file, folder / file,
                                 std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / name, std::ios::binary) << text;
  }
  ~TProgramCopy() { std::filesystem::remove_all(folder); }
};

TEST_F(StartupBoxes, ComeUpInFrontOfTheSplashAndAClickAnswersThem) {
  const struct {
    const wchar_t* file;
    std::string text;
    bool refused;
  } cases[] = {{L"Huge.lng", std::string((1 << 20) + 1, 'x'), false},
               {L"Quorvanell.xml", "<patterns><pattern code=", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused ? "damaged patterns file" : "language file too large");
    TSettingsBackup backup;
    const std::wstring global = std::wstring(TSettingsBackup::kBase) + L"\\Global";
    for (auto [name, value] : {std::pair{L"GlobalFirstStart", 0ul}, {L"GlobalSplashShow", 1ul}, {L"GlobalSplashDelay", 600ul}})
      RegSetKeyValueW(HKEY_CURRENT_USER, global.c_str(), name, REG_DWORD, &value, sizeof value);
    if (!c.refused) RegSetKeyValueW(HKEY_CURRENT_USER, global.c_str(), L"GlobalLanguage", REG_SZ, c.file, sizeof L"Huge.lng");
    TProgramCopy copy(c.file, c.text);
    const DWORD started = GetTickCount();
    ASSERT_TRUE(Start(copy.folder.wstring() + L"\\"));

    // Within a tenth of the splash's time, the box is up, owned by the splash
    // that would cover its button, and a click on the button reaches it.
    HWND box = WaitForWindow(L"#32770", L"Error", 60000), splash = WaitForWindow(L"QvTSplashForm", L"", 60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), splash);
    RECT ok{}, under{};
    GetWindowRect(GetDlgItem(box, IDOK), &ok);
    GetWindowRect(splash, &under);
    const POINT centre{(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2};
    EXPECT_TRUE(PtInRect(&under, centre));
    EXPECT_TRUE(WindowFromPoint(centre) == GetDlgItem(box, IDOK) || WindowFromPoint(centre) == box);
    // As a user does: onto the button, and once it shows the pointer over it
    // (BST_HOT), a click; a click at once after the jump can get lost.
    SetCursorPos(centre.x, centre.y);
    for (int i = 0; i < 6000 && !(SendMessageW(GetDlgItem(box, IDOK), BM_GETSTATE, 0, 0) & 0x200); ++i) Sleep(10);
    INPUT click[2]{{INPUT_MOUSE}, {INPUT_MOUSE}};
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
    // A refused start never shows the wizard, not even for a moment.
    HWND main = WaitForWindow(L"TMainForm", L"", c.refused ? 3000 : 60000);
    EXPECT_EQ(main == nullptr, c.refused);
    const DWORD code = CloseAndWait(main, 60000);
    EXPECT_LT(GetTickCount() - started, 60000u);
    EXPECT_EQ(code, c.refused ? 1u : 0u);  // a refused start is no success
  }
}

}  // namespace
