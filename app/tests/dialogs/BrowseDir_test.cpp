// The folder browser: its text rules, and the shell's dialog driven by
// finding its window.
#include "BrowseDir.h"
#include "DialogsFixture.h"

namespace {

// Every character 6 pixels wide.
int Measure(const std::string& s) { return static_cast<int>(s.size()) * 6; }

TEST(BrowseText, PreparedSelection) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"C:\\Data\\", "C:\\Data"}, {"C:\\Data", "C:\\Data"}, {"", ""}, {"\\\\srv\\", "\\\\srv"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(PrepareSelection(in), out) << in;
}

TEST(BrowseText, PathShortenedPassByPass) {
  const std::string path = "C:\\Program Files\\Tools\\Data\\";
  const std::pair<int, const char*> cases[] = {
      {100, "C:\\Program Files\\Tools\\Data\\"},
      {static_cast<int>(std::string("C:\\...\\Tools\\Data\\").size()) * 6, "C:\\...\\Tools\\Data\\"},
      {static_cast<int>(std::string("C:\\...\\Data\\").size()) * 6, "C:\\...\\Data\\"},
      {static_cast<int>(std::string("C:\\...\\").size()) * 6, "C:\\...\\"},
      {24, "...\\"},
      {10, ""},
  };
  for (auto [width, out] : cases) {
    int w = width == 100 ? 1000 : width;
    EXPECT_EQ(FitTextToWidth(path, true, Measure, w), out) << width;
  }
  // A file name stays whole; only the folders give way.
  EXPECT_EQ(FitTextToWidth("C:\\A\\B\\name.txt", true, Measure, 15 * 6), "C:\\A\\B\\name.txt");
  EXPECT_EQ(FitTextToWidth("C:\\A\\B\\name.txt", true, Measure, 14 * 6), "...\\name.txt");
  EXPECT_EQ(FitTextToWidth("C:\\Data\\Tools\\name.txt", true, Measure, 15 * 6), "C:\\...\\name.txt");
}

TEST(BrowseText, OtherTextCutAtTheEnd) {
  EXPECT_EQ(FitTextToWidth("Folder:", false, Measure, 100), "Folder:");
  EXPECT_EQ(FitTextToWidth("Choose a folder", false, Measure, 8 * 6), "Choos...");
  EXPECT_EQ(FitTextToWidth("Choose", false, Measure, 2 * 6), "...");
  EXPECT_EQ(FitTextToWidth("", false, Measure, 0), "");
}

TEST(BrowseText, FlagsAndRoots) {
  EXPECT_EQ(BrowseFlagsOf(TBrowseFlags{bfDirectoriesOnly, bfAncestors, bfComputers}), 0x1009u);
  EXPECT_EQ(BrowseFlagsOf(TBrowseFlags{bfIncludeFiles, bfPrinters, bfDomainOnly}), 0x6002u);
  EXPECT_EQ(RootFolderId(idDrives), 0x11);
  EXPECT_EQ(RootFolderId(idRecycleBin), 0x0A);
  EXPECT_EQ(RootFolderId(idDesktopExpanded), 0xFEFE);
}

// In a folder of its own on C: (a drive has no times): under Wine the dialog
// misses a path through a folder that another program changes while it
// looks, as the tests run beside these change the build folders.
struct BrowseTest : DialogsTest {
  void SetUp() override {
    DialogsTest::SetUp();
    CreateDirectoryA(parent, nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  void TearDown() override {
    RemoveDirectoryA(dir.c_str());
    RemoveDirectoryA(parent);
    DialogsTest::TearDown();
  }
  const char* parent = "C:\\Browse Test Parent";
  std::string dir = std::string(parent) + "\\Browse Test Folder";
};

TEST_F(BrowseTest, FolderTestAndSelection) {
  EXPECT_TRUE(DirectoryExistsForBrowse("C:\\"));
  EXPECT_TRUE(DirectoryExistsForBrowse("c:\\"));
  EXPECT_FALSE(DirectoryExistsForBrowse("1:\\"));
  EXPECT_TRUE(DirectoryExistsForBrowse(dir));
  EXPECT_TRUE(DirectoryExistsForBrowse(dir + "\\"));
  EXPECT_FALSE(DirectoryExistsForBrowse(dir + "\\missing"));
  EXPECT_FALSE(DirectoryExistsForBrowse(GetExecutablePath()));

  auto* browser = New<TBrowseDirectoryDlg>(nullptr);
  EXPECT_TRUE(browser->Center());
  EXPECT_TRUE(browser->FitStatusText());
  EXPECT_EQ(browser->ImageIndex(), -1);
  browser->SetSelection(dir);
  EXPECT_EQ(browser->Selection(), dir + "\\");
  browser->SetSelection(dir + "\\missing");
  EXPECT_EQ(browser->Selection(), dir + "\\missing");
  browser->Free();
}

// Cancel gives false and an empty selection; while open, the dialog shows
// the caption, sits in the screen's centre and starts on the selection.
TEST_F(BrowseTest, CancelGivesNothing) {
  auto* browser = New<TBrowseDirectoryDlg>(Application);
  browser->SetTitle("Folder:");
  browser->SetCaption("Select Folder");
  browser->SetOptions(TBrowseFlags{bfDirectoriesOnly});
  browser->SetSelection(dir);
  static TBrowseDirectoryDlg* current = nullptr;
  static int created = 0;
  current = browser;
  created = 0;
  browser->OnCreate = TNotifyEvent(+[](TObject*) {
    ++created;
    HWND window = current->DialogHandle();
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(current->Caption(), "Select Folder");
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_NEAR(rc.left, (GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2, 1);
    EXPECT_NEAR(rc.top, (GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2, 1);
  });
  WhenWindow("#32770", "Select Folder", [](HWND window) {
    qvtest::Pump(200);
    qvtest::SaveScreenshot(window, "dialogs_folder_browser");
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(browser->Execute());
  EXPECT_EQ(created, 1);
  EXPECT_EQ(browser->Selection(), "");
  EXPECT_EQ(browser->DialogHandle(), nullptr);
  EXPECT_EQ(browser->Caption(), "Select Folder");
  browser->Free();
}

// OK on the start selection returns it; the status line follows the
// selection, shortened to fit, and the events see it.
TEST_F(BrowseTest, OkReturnsTheSelectedFolder) {
  auto* browser = New<TBrowseDirectoryDlg>(Application);
  browser->SetCaption("Select Folder");
  browser->SetOptions(TBrowseFlags{bfDirectoriesOnly});
  browser->SetStatusText("Start");
  browser->SetShowSelectionInStatus(true);
  browser->SetSelection(dir);
  static std::vector<std::string> seen;
  seen.clear();
  browser->OnSelChanged = TBDSelChangedEvent(+[](TObject*, const std::string& path) { seen.push_back(path); });
  static std::string status;
  static TBrowseDirectoryDlg* current = nullptr;
  current = browser;
  status.clear();
  WhenWindow("#32770", "Select Folder", [](HWND window) {
    qvtest::Pump(300);
    if (HWND line = GetDlgItem(window, kBrowseStatusLineId); line != nullptr) {
      char text[300] = {};
      GetWindowTextA(line, text, sizeof text);
      status = text;
    }
    // The OK button follows EnableOKButton while the dialog is open.
    current->SetEnableOKButton(false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    current->SetEnableOKButton(true);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  });
  ASSERT_TRUE(browser->Execute());
  EXPECT_EQ(browser->Selection(), dir + "\\");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), dir);
  EXPECT_EQ(browser->StatusText(), dir);
  // The status line showed the path, shortened where it was too wide.
  EXPECT_FALSE(status.empty());
  EXPECT_NE(status.find("Browse Test Folder"), std::string::npos) << status;
  browser->Free();
}

// The start folder is taken every time the dialog opens, a fresh folder each
// time, in a folder last read long ago: its next reading moves its time.
TEST_F(BrowseTest, TheStartFolderIsTakenEveryTime) {
  for (int round = 0; round < 12; ++round) {
    RemoveDirectoryA(dir.c_str());
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    HANDLE folder = CreateFileA(parent, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const FILETIME longAgo{0, 0x01D00000};  // in 2014
    ASSERT_TRUE(SetFileTime(folder, nullptr, &longAgo, nullptr));
    CloseHandle(folder);
    auto* browser = New<TBrowseDirectoryDlg>(Application);
    browser->SetCaption("Select Folder");
    browser->SetOptions(TBrowseFlags{bfDirectoriesOnly});
    browser->SetSelection(dir);
    WhenWindow("#32770", "Select Folder", [](HWND window) { PostMessageA(window, WM_COMMAND, IDOK, 0); });
    EXPECT_TRUE(browser->Execute());
    EXPECT_EQ(browser->Selection(), dir + "\\") << "round " << round;
    browser->Free();
  }
}

}  // namespace

namespace {

// The main form carries the component as its definition states it.
TEST_F(BrowseTest, ReadFromAFormDefinition) {
  auto* form = qvtest::NewFormFromText<TForm>(R"(
TForm BrowseHost {
  ClientWidth = 200; ClientHeight = 100;
  TBrowseDirectoryDlg BrowseDirectoryDlg {
    Title = "Folder:";
    Options = [bfDirectoriesOnly, bfAncestors, bfComputers];
    Caption = "Select Folder";
    ShowSelectionInStatus = True;
  }
})");
  auto* browser = qvtest::Find<TBrowseDirectoryDlg>(form, "BrowseDirectoryDlg");
  EXPECT_EQ(browser->Title(), "Folder:");
  EXPECT_EQ(BrowseFlagsOf(browser->Options()), 0x1009u);
  EXPECT_EQ(browser->Caption(), "Select Folder");
  EXPECT_TRUE(browser->ShowSelectionInStatus());
  EXPECT_EQ(browser->Root(), idDesktop);
  EXPECT_EQ(browser->ParentControl(), form);
  form->Free();
}

}  // namespace
