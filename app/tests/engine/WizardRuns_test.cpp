// The disk and free-space tasks run end to end in the real main form against
// the drives run-engine-link-tests.sh maps, with patterns from the shipped
// patterns file: the drive page, Stop, closing during a run, and pictures of
// the pages.
#include <windows.h>

#include <atomic>
#include <thread>

#include "Drives.h"
#include "EngineLinkFixture.h"
#include "WizardPages.h"

namespace {

int64_t FreeBytes(char drive) {
  ULARGE_INTEGER avail{}, total{}, free{};
  const std::string root = std::string(1, drive) + ":\\";
  if (!GetDiskFreeSpaceExA(root.c_str(), &avail, &total, &free)) return -1;
  return static_cast<int64_t>(free.QuadPart);
}

// True when the drive's root holds an entry whose name starts with prefix.
bool RootHolds(char drive, const std::string& prefix) {
  WIN32_FIND_DATAA data{};
  const std::string pattern = std::string(1, drive) + ":\\" + prefix + "*";
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Answers the first message box this process shows with button, from a
// thread of its own, and keeps the box's text.
class TBoxAnswerer {
public:
  explicit TBoxAnswerer(int button_) : button(button_), worker([this] { Run(); }) {}
  ~TBoxAnswerer() {
    stop = true;
    worker.join();
  }
  std::string text;
  std::atomic<bool> seen{false};

private:
  static BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    char cls[16] = {};
    GetClassNameA(wnd, cls, sizeof(cls));
    if (pid != GetCurrentProcessId() || std::string(cls) != "#32770" || !IsWindowVisible(wnd)) return TRUE;
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
  }
  void Run() {
    for (int i = 0; i < 500 && !stop; ++i) {
      HWND box = nullptr;
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
      if (box != nullptr) {
        char buf[512] = {};
        GetDlgItemTextA(box, 0xFFFF, buf, sizeof(buf));
        text = buf;
        seen = true;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  }
  int button;
  std::atomic<bool> stop{false};
  std::thread worker;
};

}  // namespace

// Walks the disk task to its processing page with formatting switched off;
// true when the run is on.
bool EngineLinkTest::StartDiskRunWithoutFormat(char drive, const std::string& pattern) {
  ToDrivePage("WelcomeDiskWipeRadioButton");
  if (!SelectDrive(drive)) return false;
  Click("BottomNext");
  SelectPattern(pattern);
  Click("BottomNext");
  Click("FormatCheckBoxAgree");
  EXPECT_FALSE(Find("FormatComboBoxFileSystem")->Visible());
  Click("BottomNext");
  Click("DiskWarningCheckBoxAgree");
  Click("BottomNext");
  return form->Busy;
}

TEST_F(EngineLinkTest, DrivePageListsDrivesAndRescanDropsAStaleChoice) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_DISK");
  MakeForm();
  ToDrivePage("WelcomeDiskWipeRadioButton");
  ASSERT_EQ(ActivePageIndex(), wpDiskSelect);
  auto* list = Find<TListView>("DiskSelectListView");
  TListItem* row = nullptr;
  for (int i = 0; i < list->Items()->Count(); ++i) {
    if (list->Items()->Item(i)->Caption()[0] == drive) row = list->Items()->Item(i);
  }
  ASSERT_NE(row, nullptr);
  ASSERT_EQ(row->SubItems()->Count(), 3);
  EXPECT_EQ(row->SubItems()->Strings(0), "Removable");
  EXPECT_EQ(row->SubItems()->Strings(1), "50,331,648");
  EXPECT_EQ(row->SubItems()->Strings(2), "Ready");
  TViewDriveParams info;
  GetDriveInfo(drive, info);
  EXPECT_TRUE(info.Ready);
  EXPECT_EQ(info.Access, "R/W");
  EXPECT_EQ(info.TotalSize, 48 * 1024 * 1024);
  // The read-only probe leaves nothing behind.
  EXPECT_FALSE(RootHolds(drive, "RWRO"));

  ASSERT_TRUE(SelectDrive(drive));
  EXPECT_EQ(form->DriveNumber, drive - 'A' + 1);
  EXPECT_TRUE(Find("BottomNext")->Enabled());
  qvtest::SaveScreenshot(form->Handle(), "engine_link_drive_page");

  // The same medium: Rescan keeps the choice.
  Click("DiskSelectRescanButton");
  EXPECT_EQ(form->DriveLetter, drive);
  // Another medium under the letter (here: a new label): the choice goes.
  const std::string serialFile = std::string(1, drive) + ":\\.windows-serial";
  HANDLE serial = CreateFileA(serialFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD serialWritten = 0;
  WriteFile(serial, "1234abcd\n", 9, &serialWritten, nullptr);
  CloseHandle(serial);
  const std::string labelFile = std::string(1, drive) + ":\\.windows-label";
  HANDLE file = CreateFileA(labelFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "OTHER\n", 6, &written, nullptr);
  CloseHandle(file);
  TViewDriveParams changed;
  GetDriveInfo(drive, changed);
  if (SameMedium(info, changed)) {
    DeleteFileA(labelFile.c_str());
    DeleteFileA(serialFile.c_str());
    GTEST_SKIP() << "this Wine shows neither label nor serial number from .windows-label / .windows-serial";
  }
  Click("DiskSelectRescanButton");
  DeleteFileA(labelFile.c_str());
  DeleteFileA(serialFile.c_str());
  EXPECT_EQ(form->DriveLetter, '?');
  EXPECT_EQ(form->DriveNumber, 0);
  EXPECT_EQ(list->Selected(), nullptr);
  EXPECT_FALSE(Find("BottomNext")->Enabled());
}

TEST_F(EngineLinkTest, DriveWithoutMediaIsListedButCannotBeChosen) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_EMPTY");
  MakeForm();
  ToDrivePage("WelcomeFreeSpaceRadioButton");
  auto* list = Find<TListView>("DiskSelectListView");
  TListItem* row = nullptr;
  for (int i = 0; i < list->Items()->Count(); ++i) {
    if (list->Items()->Item(i)->Caption() == std::string(1, drive)) row = list->Items()->Item(i);
  }
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->SubItems()->Strings(0), "CDROM");
  EXPECT_EQ(row->SubItems()->Strings(1), "0");
  EXPECT_EQ(row->SubItems()->Strings(2), "No media");
  TViewDriveParams info;
  GetDriveInfo(drive, info);
  EXPECT_FALSE(info.Ready);
  EXPECT_EQ(info.Access, "");
  list->SetSelected(row);
  form->DiskSelectListViewClick(list);
  EXPECT_EQ(form->DriveNumber, 0);
  EXPECT_EQ(form->DriveText, "???");
  EXPECT_FALSE(Find("BottomNext")->Enabled());
  // Nor does a double click on it go on.
  row->MakeVisible();
  const TRect shown = row->DisplayRect();
  DoubleClickByInput(list, shown.Left + 20, (shown.Top + shown.Bottom) / 2);
  EXPECT_EQ(ActivePageIndex(), wpDiskSelect);
  EXPECT_EQ(Step, 2);
  Step = 1;
}

TEST_F(EngineLinkTest, SameMediumNeedsTheSameReadyVolume) {
  TViewDriveParams a;
  a.Drive = 'R';
  a.Ready = true;
  a.SerialNumber = 0x1234;
  a.TotalSize = 1000;
  a.VolumeLabel = "DATA";
  TViewDriveParams b = a;
  EXPECT_TRUE(SameMedium(a, b));
  b.SerialNumber = 0x1235;
  EXPECT_FALSE(SameMedium(a, b));
  b = a;
  b.TotalSize = 2000;
  EXPECT_FALSE(SameMedium(a, b));
  b = a;
  b.VolumeLabel = "OTHER";
  EXPECT_FALSE(SameMedium(a, b));
  b = a;
  b.Ready = false;
  EXPECT_FALSE(SameMedium(a, b));
  EXPECT_FALSE(SameMedium(b, b));
}

TEST_F(EngineLinkTest, DiskTaskWipesAndFormatsTheMappedDrive) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_DISK");
  MakeForm();
  ASSERT_TRUE(ToFormatPage(drive));
  // A 48 MiB drive: FAT, FAT32 and NTFS; FAT proposes 1 KB units.
  auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
  ASSERT_EQ(fileSystems->Items()->Count(), 3);
  fileSystems->SetItemIndex(fileSystems->Items()->IndexOf("FAT"));
  form->CheckState();
  auto* units = Find<TComboBox>("FormatComboBoxAllocUnits");
  EXPECT_EQ(units->Items()->Count(), 8);
  EXPECT_EQ(units->Text(), "1 KB");
  EXPECT_FALSE(Find("FormatCheckBoxOptionCopression")->Enabled());
  Find("FormatEditVolumeLabel")->SetCaption("QVWIZARD");
  Find<TCheckBox>("FormatCheckBoxOptionQuick")->SetChecked(true);
  qvtest::SaveScreenshot(form->Handle(), "engine_link_format_page");
  Click("BottomNext");
  Click("DiskWarningCheckBoxAgree");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpDiskProgress);
  // A small drive may be done before the click returns.
  ASSERT_TRUE(form->Busy || form->Done) << LastLine("DiskProgressLog");
  qvtest::Pump(300);
  qvtest::SaveScreenshot(form->Handle(), "engine_link_disk_progress");
  ASSERT_TRUE(WaitForEnd(120000));
  qvtest::SaveScreenshot(form->Handle(), "engine_link_disk_done");
  EXPECT_EQ(Log("DiskProgressLog").front(), "Wipe algorithm selected: Zeros (1)");
  EXPECT_EQ(LastLine("DiskProgressLog"), "Drive successfully wiped");
  auto* bar1 = Find<TProgressBar>("DiskProgressBar1");
  EXPECT_GT(bar1->Max(), 0);
  EXPECT_EQ(bar1->Position(), bar1->Max());
  EXPECT_EQ(Find<TProgressBar>("DiskProgressBar2")->Position(), 100);
  EXPECT_EQ(form->CurrentParams, nullptr);
  EXPECT_TRUE(Find("DiskProgressButtonStart")->Enabled());
  EXPECT_EQ(Find("DiskProgressLabelStatus")->Caption(), "Idle");
}

TEST_F(EngineLinkTest, StopEndsADiskRunWithActionCancelled) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_STOP");
  MakeForm();
  ASSERT_TRUE(StartDiskRunWithoutFormat(drive, "GUTMANN")) << LastLine("DiskProgressLog");
  EXPECT_EQ(Log("DiskProgressLog").front(), "Wipe algorithm selected: Peter Gutmann (35)");
  EXPECT_TRUE(Find("DiskProgressButtonStop")->Enabled());
  EXPECT_FALSE(Find("BottomClose")->Enabled());
  qvtest::PumpUntil([&] { return Find<TProgressBar>("DiskProgressBar1")->Position() > 0; }, 10000);
  Click("DiskProgressButtonStop");
  ASSERT_TRUE(WaitForEnd(30000));
  // Stopped after it began writing: the drive holds no file system now, and
  // the last line says so.
  std::vector<std::string> lines = Log("DiskProgressLog");
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Action cancelled");
  EXPECT_EQ(LastLine("DiskProgressLog"), "The drive now holds no file system; format it before using it again");
  EXPECT_FALSE(form->StopRequested);
  EXPECT_EQ(form->CurrentParams, nullptr);
}

TEST_F(EngineLinkTest, ClosingDuringARunAsksAndClosesOnlyAfterTheEngineEnded) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_STOP");
  static int asked = 0;
  static bool answer = false;
  asked = 0;
  AskStopBeforeClose = +[] {
    ++asked;
    return answer;
  };
  MakeForm();
  ASSERT_TRUE(StartDiskRunWithoutFormat(drive, "GUTMANN")) << LastLine("DiskProgressLog");
  // "No": the run goes on and the form stays.
  answer = false;
  form->Close();
  qvtest::Pump(200);
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(*token);
  EXPECT_TRUE(form->Busy);
  EXPECT_FALSE(form->StopRequested);
  // "Yes": the engine is stopped, and the form goes only once it has ended.
  answer = true;
  form->Close();
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(*token);
  EXPECT_TRUE(form->StopRequested);
  form->Close();  // asked once is enough
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return !*token; }, 30000));
  form = nullptr;
}

TEST_F(EngineLinkTest, ClosingDuringARunAsksInABox) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_STOP");
  AskStopBeforeClose = ::AskStopBeforeCloseDefault;
  MakeForm();
  ASSERT_TRUE(StartDiskRunWithoutFormat(drive, "GUTMANN")) << LastLine("DiskProgressLog");
  {
    TBoxAnswerer answerer(IDNO);
    form->Close();
    qvtest::PumpUntil([&] { return answerer.seen.load(); }, 5000);
    qvtest::Pump(100);
    EXPECT_EQ(answerer.text, "A wipe is running. Stop it and exit the application?");
  }
  ASSERT_TRUE(*token);
  EXPECT_TRUE(form->Busy);
  EXPECT_FALSE(form->StopRequested);
  {
    TBoxAnswerer answerer(IDYES);
    form->Close();
    ASSERT_TRUE(qvtest::PumpUntil([&] { return !*token; }, 30000));
    EXPECT_TRUE(answerer.seen);
  }
  form = nullptr;
}

TEST_F(EngineLinkTest, FreeSpaceTaskCleansTheMappedDriveAndLeavesNothing) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const int64_t freeBefore = FreeBytes(drive);
  MakeForm();
  ToDrivePage("WelcomeFreeSpaceRadioButton");
  ASSERT_TRUE(SelectDrive(drive));
  Click("BottomNext");
  SelectPattern("ZEROS_ONES");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpFreeProgress);
  ASSERT_TRUE(form->Busy || form->Done) << LastLine("FreeProgressLog");
  qvtest::Pump(300);
  qvtest::SaveScreenshot(form->Handle(), "engine_link_free_progress");
  ASSERT_TRUE(WaitForEnd(120000));
  qvtest::SaveScreenshot(form->Handle(), "engine_link_free_done");
  EXPECT_EQ(Log("FreeProgressLog").front(), "Wipe algorithm selected: Zeros & ones (2)");
  EXPECT_EQ(LastLine("FreeProgressLog"), "Free space successfully cleaned");
  EXPECT_TRUE(Find("FreeProgressBar2Hide")->Visible());
  EXPECT_EQ(Find<TProgressBar>("FreeProgressBar2Hide")->Position(), 100);
  auto* bar1 = Find<TProgressBar>("FreeProgressBar1");
  EXPECT_EQ(bar1->Position(), bar1->Max());
  EXPECT_FALSE(RootHolds(drive, "~QVFREE"));
  EXPECT_NEAR(static_cast<double>(FreeBytes(drive)), static_cast<double>(freeBefore), 64 * 1024.0);

  // Start again, then Stop: "Action cancelled", and nothing of the run stays.
  Find<TComboBox>("AlgoritmComboBox");
  SelectPattern("GUTMANN");
  Click("FreeProgressButtonStart");
  ASSERT_TRUE(form->Busy);
  // At once: on a tmpfs even 35 passes end within a second.
  Click("FreeProgressButtonStop");
  ASSERT_TRUE(WaitForEnd(30000));
  EXPECT_EQ(LastLine("FreeProgressLog"), "Action cancelled");
  EXPECT_EQ(Find<TProgressBar>("FreeProgressBar2Hide")->Position(), 0) << Joined("FreeProgressLog");
  EXPECT_FALSE(RootHolds(drive, "~QVFREE"));
  EXPECT_NEAR(static_cast<double>(FreeBytes(drive)), static_cast<double>(freeBefore), 64 * 1024.0);
}
