// The format page refuses, before anything is wiped, a choice that cannot be
// carried out here, names the reason, and keeps Next disabled until the
// choice can work; it never proposes a file system this system cannot create.
#include <cstdlib>
#include <random>

#include "Drives.h"
#include "EngineLinkFixture.h"
#include "WizardPages.h"

namespace {

constexpr int64_t MiB = 1024 * 1024, GiB = 1024 * MiB;

TEST(FormatRefusalTest, EachOptionThatCannotWorkIsRefusedWithItsReason) {
  struct Case {
    const char* fileSystem;
    int64_t capacity;
    int64_t unit;
    const char* label;
    const char* reason;  // a part of the refusal; "" when the choice works
  };
  const Case cases[] = {
      {"FAT", 48 * MiB, 1024, "QVWIZARD", ""},
      {"FAT", 48 * MiB, 512, "", "too many clusters"},            // 98304 clusters
      {"FAT", 3 * GiB, 32768, "", "too many clusters"},           // FAT16 ends at 65524
      {"FAT", 3 * GiB, 65536, "", ""},
      {"FAT", 2 * MiB, 512, "", ""},                              // FAT12
      {"FAT32", 48 * MiB, 512, "", ""},
      {"FAT32", 48 * MiB, 1024, "", "too few clusters"},          // 49152 clusters
      {"FAT32", 3 * GiB, 4096, "", ""},
      {"FAT32", 300 * MiB, 16384, "", "too few clusters"},
      {"FAT", 48 * MiB, 1024, "TWELVECHARSX", "volume label does not fit"},
      {"FAT32", 48 * MiB, 512, "A:B", "volume label does not fit"},
      {"FAT", 48 * MiB, 0, "", "allocation unit"},
      {"FAT", -1, 512, "", "size of the drive"},
      {"", 48 * MiB, 512, "", "Choose a file system"},
      // No allocation unit for the drive's size, whatever the service can do.
      {"NTFS", 5 * MiB, 0, "", "NTFS cannot be laid out on a drive of this size"},
      {"NTFS", 3 * 1024 * GiB, 4096, "", "NTFS cannot be laid out on a drive of this size"},
      {"NTFS", -1, 0, "", "size of the drive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fileSystem) + " " + std::to_string(c.capacity) + " " + std::to_string(c.unit));
    const std::string refusal = FormatRefusal(c.fileSystem, c.capacity, c.unit, c.label);
    if (*c.reason == 0) {
      EXPECT_EQ(refusal, "");
    } else {
      EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
    }
  }
  // NTFS needs the system's formatting service, which Wine does not have.
  const std::string ntfs = FormatRefusal("NTFS", 3 * GiB, 4096, "");
  EXPECT_EQ(ntfs.empty(), SystemFormatServiceAvailable()) << ntfs;
  if (!SystemFormatServiceAvailable()) EXPECT_NE(ntfs.find("formatting service is missing"), std::string::npos);
}

TEST_F(EngineLinkTest, TheFormatPageRefusesWhatCannotWorkAndKeepsNextDisabled) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_DISK");
  MakeForm();
  ASSERT_TRUE(ToFormatPage(drive));
  auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
  auto* units = Find<TComboBox>("FormatComboBoxAllocUnits");
  auto* next = Find("BottomNext");
  auto* reason = Find("FormatRefusalLabel");
  // The proposal is one this system can create (the drive reports NTFS under Wine).
  ASSERT_FALSE(fileSystems->Text().empty());
  EXPECT_EQ(FormatRefusal(fileSystems->Text(), form->DriveCapacity, 1024, ""), "") << fileSystems->Text();
  EXPECT_TRUE(next->Enabled());
  EXPECT_FALSE(reason->Visible());

  auto choose = [&](const char* fileSystem) {
    fileSystems->SetItemIndex(fileSystems->Items()->IndexOf(fileSystem));
    form->CheckState();
  };
  auto chooseUnit = [&](const char* text) {
    units->SetItemIndex(units->Items()->IndexOf(text));
    form->FormatOptionsChange(units);
  };
  auto expectRefused = [&](const char* part) {
    EXPECT_FALSE(next->Enabled());
    EXPECT_TRUE(reason->Visible());
    EXPECT_NE(reason->Caption().find(part), std::string::npos) << reason->Caption();
    EXPECT_FALSE(form->FormatValid);
  };
  auto expectAccepted = [&] {
    EXPECT_TRUE(next->Enabled()) << reason->Caption();
    EXPECT_FALSE(reason->Visible());
    EXPECT_TRUE(form->FormatValid);
  };
  if (!SystemFormatServiceAvailable()) {
    choose("NTFS");
    expectRefused("formatting service is missing");
    qvtest::SaveScreenshot(form->Handle(), "engine_link_format_refused");
  }
  choose("FAT32");
  expectAccepted();
  chooseUnit("1 KB");
  expectRefused("too few clusters");
  qvtest::SaveScreenshot(form->Handle(), "engine_link_format_too_few_clusters");
  chooseUnit("512 bytes");
  expectAccepted();
  choose("FAT");
  chooseUnit("512 bytes");
  expectRefused("too many clusters");
  chooseUnit("1 KB");
  expectAccepted();
  Find("FormatEditVolumeLabel")->SetCaption("TWELVECHARSX");
  form->FormatOptionsChange(nullptr);
  expectRefused("volume label does not fit");
  Find("FormatEditVolumeLabel")->SetCaption("QV");
  form->FormatOptionsChange(nullptr);
  expectAccepted();
  // Without formatting nothing of the page is needed.
  choose("FAT");
  chooseUnit("512 bytes");
  Click("FormatCheckBoxAgree");
  EXPECT_TRUE(next->Enabled());
  EXPECT_FALSE(reason->Visible());
}

}  // namespace

namespace {

// Another stick under the same letter: the same drive, another serial number.
void SwappedMedium(char drive, TViewDriveParams& params) {
  GetDriveInfo(drive, params);
  params.SerialNumber ^= 0x5A5A5A5Au;
}

TEST_F(EngineLinkTest, AMediumSwappedBeforeStartIsNotWipedAndTheDrivePageReturns) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  MakeForm();
  ToDrivePage("WelcomeFreeSpaceRadioButton");
  ASSERT_TRUE(SelectDrive(drive));
  Click("BottomNext");
  SelectPattern("ZEROS");
  DriveInfoQuery = SwappedMedium;
  Click("BottomNext");  // entering the processing page starts the run
  DriveInfoQuery = GetDriveInfo;
  EXPECT_FALSE(form->Busy);
  EXPECT_NE(Joined("FreeProgressLog").find("is not the one chosen"), std::string::npos) << Joined("FreeProgressLog");
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors.back().find("choose the drive again"), std::string::npos) << errors.back();
  EXPECT_TRUE(qvtest::PumpUntil([&] { return ActivePageIndex() == wpDiskSelect; }, 3000));
  EXPECT_EQ(Step, 2);
  WIN32_FIND_DATAA data{};
  const std::string work = std::string(1, drive) + ":\\~QVFREE*";
  HANDLE find = FindFirstFileA(work.c_str(), &data);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a work folder was made on the swapped medium";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  // The same medium chosen again runs.
  ASSERT_TRUE(SelectDrive(drive));
  Click("BottomNext");
  SelectPattern("ZEROS");
  Click("BottomNext");
  EXPECT_TRUE(form->Busy || form->Done);
  EXPECT_TRUE(WaitForEnd(120000));
  EXPECT_EQ(LastLine("FreeProgressLog"), "Free space successfully cleaned") << Joined("FreeProgressLog");
}

}  // namespace

namespace {

TEST_F(EngineLinkTest, ProcessingPagesShowWaitAndTheFormattingStageOnlyWhileTheyApply) {
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  Step = 6;  // the disk processing page, without a run
  form->Done = true;
  form->Busy = true;
  form->CheckState();
  EXPECT_TRUE(Find("DiskProgressNoteLabel")->Visible());
  EXPECT_TRUE(Find("DiskProgressBar2")->Visible());
  form->Busy = false;
  Find<TCheckBox>("FormatCheckBoxAgree")->SetChecked(false);
  form->CheckState();
  EXPECT_FALSE(Find("DiskProgressNoteLabel")->Visible());
  EXPECT_FALSE(Find("DiskProgressBar2")->Visible());
  EXPECT_FALSE(Find("DiskProgressStep2Label")->Visible());
  Step = 1;
}

TEST(DriveSpaceTest, SizesUseTheLocalesThousandsSeparator) {
  char saved[8] = {};
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, saved, sizeof(saved)), 0);
  ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, "."));
  const std::string dotted = FormatDriveSpace(1234567890);
  SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, saved);
  EXPECT_EQ(dotted, "1.234.567.890");
  EXPECT_EQ(FormatDriveSpace(999), "999");
}

}  // namespace

namespace {

TEST_F(EngineLinkTest, ADriveChosenWithoutAScanIsCheckedAtStartAndChosenAgain) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  MakeForm();
  ForgetDriveScan();
  Click("WelcomeFreeSpaceRadioButton");
  SelectPattern("ZEROS");
  // Chosen without the drive page ever listing the drive.
  form->DriveLetter = drive;
  form->DriveNumber = static_cast<uint8_t>(drive - 'A' + 1);
  Step = 4;
  form->FreeProgressButtonStartClick(nullptr);
  EXPECT_FALSE(form->Busy);
  EXPECT_NE(Joined("FreeProgressLog").find("choose the drive again"), std::string::npos) << Joined("FreeProgressLog");
  WIN32_FIND_DATAA data{};
  const std::string work = std::string(1, drive) + ":\\~QVFREE*";
  HANDLE find = FindFirstFileA(work.c_str(), &data);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a work folder was made without the check";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  // Back on the drive page, which reads the drives now.
  EXPECT_TRUE(qvtest::PumpUntil([&] { return ActivePageIndex() == wpDiskSelect; }, 3000));
  EXPECT_EQ(Step, 2);
  EXPECT_NE(ScannedDrive(drive), nullptr);
  Step = 1;
}

}  // namespace

namespace {

TEST_F(EngineLinkTest, TheFormatPageSaysWhenTheFileSystemChanges) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_DISK");
  if (SystemFormatServiceAvailable()) GTEST_SKIP() << "this system can create every file system offered";
  const std::string current = DriveFileSystem(drive);
  if (current.empty() || current == "FAT" || current == "FAT32") GTEST_SKIP() << "the drive holds " << current;
  MakeForm();
  ASSERT_TRUE(ToFormatPage(drive));
  const std::string chosen = Find<TComboBox>("FormatComboBoxFileSystem")->Text();
  ASSERT_FALSE(chosen.empty());
  ASSERT_NE(chosen, current);
  // The promise to keep the drive's parameters gives way to what happens.
  EXPECT_FALSE(Find("FormatNoteLabel")->Visible());
  EXPECT_TRUE(Find("FormatChangeLabel")->Visible());
  EXPECT_NE(Text("FormatChangeLabel").find("It now holds " + current + ", which cannot be created on this system"),
            std::string::npos)
      << Text("FormatChangeLabel");
  EXPECT_NE(Text("FormatChangeLabel").find("formatted as " + chosen + "."), std::string::npos);
  // Not formatting at all changes nothing of the drive: the note goes.
  Click("FormatCheckBoxAgree");
  EXPECT_FALSE(Find("FormatChangeLabel")->Visible());
  Click("FormatCheckBoxAgree");
  EXPECT_TRUE(Find("FormatChangeLabel")->Visible());
}

// A letter whose raw volume is a 100 MiB FAT32 image while its folder lies
// on the host's disk: the drive list and the format page show the image's
// size, the size the engine writes, and offer what fits it.
TEST_F(EngineLinkTest, AnImageDriveShowsTheSizeOfTheVolumeTheEngineWrites) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_IMAGE");
  constexpr int64_t kImage = 100 * MiB;
  const std::string root = std::string(1, drive) + ":\\";
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free));
  // What the file system behind the letter says: the host's disk.
  EXPECT_NE(static_cast<int64_t>(total.QuadPart), kImage);
  EXPECT_EQ(VolumeSize(drive), kImage);
  EXPECT_EQ(DriveSize(drive), kImage);
  TViewDriveParams info;
  GetDriveInfo(drive, info);
  EXPECT_TRUE(info.Ready);
  EXPECT_EQ(info.TotalSize, kImage);

  MakeForm();
  ASSERT_TRUE(ToFormatPage(drive));
  EXPECT_EQ(form->DriveCapacity, kImage);
  auto* list = Find<TListView>("DiskSelectListView");
  std::string listed;
  for (int i = 0; i < list->Items()->Count(); ++i) {
    TListItem* row = list->Items()->Item(i);
    if (!row->Caption().empty() && row->Caption()[0] == drive) listed = row->SubItems()->Strings(1);
  }
  EXPECT_EQ(listed, FormatDriveSpace(kImage));
  auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
  std::vector<std::string> offered;
  for (int i = 0; i < fileSystems->Items()->Count(); ++i) offered.push_back(fileSystems->Items()->Strings(i));
  EXPECT_EQ(offered, (std::vector<std::string>{"FAT", "FAT32", "NTFS"}));
  // The proposal fits the volume (under Wine the file system's name comes
  // from the folder behind the letter, not from the image).
  EXPECT_EQ(FormatRefusal(fileSystems->Text(), kImage, DefaultAllocUnit(fileSystems->Text(), kImage), ""), "")
      << fileSystems->Text() << " proposed; the drive says it holds " << DriveFileSystem(drive);
  EXPECT_TRUE(Enabled("BottomNext"));
  fileSystems->SetItemIndex(fileSystems->Items()->IndexOf("FAT32"));
  form->CheckState();
  EXPECT_EQ(Find<TComboBox>("FormatComboBoxAllocUnits")->Text(), "1 KB");
  EXPECT_FALSE(Find("FormatRefusalLabel")->Visible()) << Text("FormatRefusalLabel");
  EXPECT_TRUE(Enabled("BottomNext"));
  Step = 1;
}

TEST_F(EngineLinkTest, AnotherDrivesAllocationUnitsLeftOnThePageDoNotKeepNextDisabled) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_DISK");
  MakeForm();
  ASSERT_TRUE(ToFormatPage(drive));
  ASSERT_TRUE(Enabled("BottomNext"));
  // What another drive's run leaves on the page: its label and an
  // allocation unit list that does not fit this drive's file system.
  Find("FormatEditVolumeLabel")->SetCaption("OTHERDRIVE");
  Find<TComboBox>("FormatComboBoxAllocUnits")->SetItemIndex(-1);
  // This drive chosen anew: the page proposes its file system and its label
  // (whose change is handled while the page refreshes).
  Find<TComboBox>("FormatComboBoxFileSystem")->SetItemIndex(-1);
  form->CheckState();
  EXPECT_NE(Text("FormatEditVolumeLabel"), "OTHERDRIVE");
  EXPECT_TRUE(form->FormatValid);
  EXPECT_FALSE(Find("FormatRefusalLabel")->Visible());
  EXPECT_TRUE(Enabled("BottomNext")) << "Next disabled with no reason shown";
  Step = 1;
}

}  // namespace

namespace {

// Random walks over the drive, algorithm and format pages of the disk task
// with the real drive list and format page: whatever was chosen before, on
// the format page Next is enabled exactly when the choice can work, and when
// it is disabled the page says why. QV_FORMAT_WALK_STEPS runs a longer walk.
TEST_F(EngineLinkTest, RandomWalksOverTheFormatPageNeverLeaveNextDisabledWithoutAReason) {
  REQUIRE_DRIVE(disk, "QV_TEST_WIZ_DISK");
  REQUIRE_DRIVE(free, "QV_TEST_WIZ_FREE");
  const char* stepsText = std::getenv("QV_FORMAT_WALK_STEPS");
  const int steps = stepsText != nullptr ? std::atoi(stepsText) : 400;
  MakeForm();
  ToDrivePage("WelcomeDiskWipeRadioButton");
  ASSERT_TRUE(SelectDrive(disk));
  std::mt19937 random(20261207);
  const char* const labels[] = {"", "QVWALK", "two words", "TWELVECHARSX", "A:B"};
  std::string trace;
  for (int i = 0; i < steps; ++i) {
    const int page = ActivePageIndex();
    const int action = static_cast<int>(random() % 8);
    trace += std::to_string(page) + ":" + std::to_string(action) + " ";
    auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
    auto* units = Find<TComboBox>("FormatComboBoxAllocUnits");
    switch (action) {
      case 0:
        if (Enabled("BottomNext") && page != wpFormat) Click("BottomNext");
        break;
      case 1:
        if (Enabled("BottomBack") && page != wpDiskSelect) Click("BottomBack");
        break;
      case 2:
        if (page == wpDiskSelect) SelectDrive(random() % 2 ? disk : free);
        break;
      case 3:
        if (page == wpFormat) Click("FormatCheckBoxAgree");
        break;
      case 4:
        if (page == wpFormat && fileSystems->Items()->Count() > 0) {
          fileSystems->SetItemIndex(static_cast<int>(random() % fileSystems->Items()->Count()));
          form->CheckState();
        }
        break;
      case 5:
        if (page == wpFormat && units->Items()->Count() > 0) {
          units->SetItemIndex(static_cast<int>(random() % units->Items()->Count()));
          form->FormatOptionsChange(units);
        }
        break;
      case 6:
        if (page == wpFormat) Find("FormatEditVolumeLabel")->SetCaption(labels[random() % 5]);
        break;
      default:
        if (page == wpAlgoritm) SelectPattern(random() % 2 ? "ZEROS" : "ONES");
        break;
    }
    if (ActivePageIndex() != wpFormat) continue;
    const bool next = Enabled("BottomNext");
    const bool reasonShown = Find("FormatRefusalLabel")->Visible() && !Text("FormatRefusalLabel").empty();
    ASSERT_EQ(next, form->FormatValid) << trace;
    if (!next) ASSERT_TRUE(reasonShown) << "Next disabled with no reason; steps: " << trace;
    if (next) ASSERT_FALSE(reasonShown) << Text("FormatRefusalLabel") << "; steps: " << trace;
  }
  Step = 1;
}

}  // namespace
