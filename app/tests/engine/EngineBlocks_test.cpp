// The blocks handed to the engine, the checks before a run, the engine's
// messages as the form handles them, and the format options of the drive page.
#include <random>

#include "Drives.h"
#include "EngineLinkFixture.h"
#include "WizardPages.h"

namespace {

TWipePattern* PatternWithPasses(int count) {
  auto* pattern = New<TWipePattern>(1, "MANY", "Many", "");
  for (int i = 0; i < count; ++i) pattern->Passes->Add(New<TWipePass>(i + 1, "00", ""));
  return pattern;
}

}  // namespace

TEST_F(EngineLinkTest, ParameterBlockHoldsTheSelectedPatternsPasses) {
  MakeForm();
  SelectedPatternCode = "DOD_3";
  form->DriveLetter = 'K';
  auto* block = static_cast<TWipeParams*>(form->GetWipeParams());
  ASSERT_EQ(block, form->CurrentParams);
  EXPECT_EQ(block->Active, 1);
  EXPECT_EQ(block->Wnd, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(form->Handle())));
  EXPECT_EQ(block->Drive, 'K');
  EXPECT_EQ(block->Reserved1, 0);
  EXPECT_EQ(block->Reserved2, 0);
  EXPECT_EQ(block->Path[0], u'\0');
  // Zeros, their complement, then random data (three 0x20 sequence bytes).
  ASSERT_EQ(block->PassCount, 3);
  const uint8_t expected[12] = {0x00, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0x20, 0x20, 0x20};
  EXPECT_EQ(std::vector<uint8_t>(&block->Passes[0][0], &block->Passes[0][0] + 12),
            std::vector<uint8_t>(expected, expected + 12));
  const uint8_t* rest = &block->Passes[3][0];
  EXPECT_TRUE(std::all_of(rest, rest + 388, [](uint8_t b) { return b == 0; }));

  // No pattern: no passes, and nothing to dereference.
  SelectedPatternCode = "NO SUCH PATTERN";
  block = static_cast<TWipeParams*>(form->GetWipeParams());
  EXPECT_EQ(block->PassCount, 0);
  EXPECT_TRUE(std::all_of(&block->Passes[0][0], &block->Passes[0][0] + 400, [](uint8_t b) { return b == 0; }));
}

// The Path field against a plain model: the path and its terminator, then the
// next path and its terminator when both fit in 4096 characters and the next
// is one whole path, the rest zero; a path that does not fit leaves the field
// as it was. Lengths gather around the limits.
TEST(BlockPathsTest, ThePathAndItsNextFitTogetherOrThePathStandsAlone) {
  std::mt19937 random(48);
  auto text = [&](size_t length, char16_t letter) {
    std::u16string t(length, letter);
    if (length > 3 && random() % 8 == 0) t[random() % length] = u'\0';
    return t;
  };
  auto length = [&]() -> size_t {
    switch (random() % 4) {
      case 0: return random() % 8;
      case 1: return 4090 + random() % 8;
      case 2: return 2040 + random() % 16;
      default: return random() % 4100;
    }
  };
  static TWipeParams block;
  char16_t* const field = block.Path;
  for (int round = 0; round < 4000; ++round) {
    const std::u16string path = text(length(), u'p');
    const std::u16string next = text(length(), u'n');
    for (int i = 0; i < kBlockTextChars; ++i) field[i] = static_cast<char16_t>(u'#' + random() % 3);
    const std::u16string before(field, field + kBlockTextChars);
    std::u16string model;
    const bool pathFits = path.size() <= 4095 && path.find(u'\0') == std::u16string::npos;
    if (!pathFits) {
      model = before;
    } else {
      model = path + u'\0';
      const bool nextFits = !next.empty() && next.find(u'\0') == std::u16string::npos &&
                            path.size() + next.size() + 2 <= kBlockTextChars;
      if (nextFits) model += next + u'\0';
      model.resize(kBlockTextChars, u'\0');
    }
    ASSERT_EQ(CopyBlockPaths(block, path, next), pathFits) << path.size() << " " << next.size();
    ASSERT_TRUE(std::u16string(field, field + kBlockTextChars) == model)
        << "round " << round << ": path " << path.size() << ", next " << next.size();
  }
  // The edge itself: 4095 characters with both terminators fit, one more does not.
  ASSERT_TRUE(CopyBlockPaths(block, std::u16string(2000, u'a'), std::u16string(2094, u'b')));
  EXPECT_EQ(field[2001], u'b');
  EXPECT_EQ(field[4094], u'b');
  EXPECT_EQ(field[4095], u'\0');
  ASSERT_TRUE(CopyBlockPaths(block, std::u16string(2000, u'a'), std::u16string(2095, u'b')));
  EXPECT_TRUE(std::all_of(field + 2000, field + kBlockTextChars, [](char16_t c) { return c == u'\0'; }));
}

TEST_F(EngineLinkTest, RunsThatCannotStartAreRefusedWithAReason) {
  EXPECT_NE(PatternRefusal(nullptr), "");
  TWipePattern* none = PatternWithPasses(0);
  TWipePattern* hundred = PatternWithPasses(100);
  TWipePattern* tooMany = PatternWithPasses(101);
  EXPECT_NE(PatternRefusal(none), "");
  EXPECT_EQ(PatternRefusal(hundred), "");
  EXPECT_EQ(PatternRefusal(tooMany), "The selected wipe algorithm has more than 100 passes.");
  for (TWipePattern* p : {none, hundred, tooMany}) p->Free();

  // Texts for the block: 4095 characters fit, one more is refused, never cut.
  static char16_t field[4096];
  EXPECT_TRUE(CopyBlockText(field, std::u16string(4095, u'a')));
  EXPECT_EQ(field[4094], u'a');
  EXPECT_EQ(field[4095], u'\0');
  EXPECT_FALSE(CopyBlockText(field, std::u16string(4096, u'b')));
  EXPECT_EQ(field[0], u'a');
  // A path with a terminator inside would name its folder: refused.
  EXPECT_FALSE(CopyBlockText(field, std::u16string(u"X:\\chosen\0\\file.txt", 19)));
  EXPECT_EQ(field[0], u'a');

  EXPECT_EQ(FinalLogLine("Drive successfully wiped", 0), "Drive successfully wiped");
  EXPECT_EQ(FinalLogLine("Drive successfully wiped", 7), "Items that could not be wiped: 7");

  // The Windows drive and the program's drive are never wiped whole.
  ASSERT_NE(SystemDriveLetter(), 0);
  EXPECT_EQ(DiskWipeRefusal(SystemDriveLetter()), "This drive holds Windows and cannot be wiped.");
  if (ProgramDriveLetter() != 0 && ProgramDriveLetter() != SystemDriveLetter()) {
    EXPECT_EQ(DiskWipeRefusal(ProgramDriveLetter()), "This drive holds Quorvanell itself and cannot be wiped.");
  }
  EXPECT_NE(DiskWipeRefusal('?'), "");
}

TEST_F(EngineLinkTest, SystemDriveAndMissingPatternStopTheStartHandler) {
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  form->DriveLetter = SystemDriveLetter();
  form->DriveNumber = static_cast<uint8_t>(form->DriveLetter - 'A' + 1);
  form->DiskProgressButtonStartClick(nullptr);
  EXPECT_FALSE(form->Busy);
  EXPECT_EQ(form->CurrentParams, nullptr);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "This drive holds Windows and cannot be wiped.");
  EXPECT_EQ(LastLine("DiskProgressLog"), errors[0]);

  // No pattern: the algorithm page keeps Next disabled, and Start refuses.
  SelectedPatternCode = "NO SUCH PATTERN";
  Find<TComboBox>("AlgoritmComboBox")->SetItemIndex(-1);
  Click("WelcomeFreeSpaceRadioButton");
  form->DriveLetter = 'Q';
  form->DriveNumber = 17;
  form->FreeProgressButtonStartClick(nullptr);
  EXPECT_FALSE(form->Busy);
  EXPECT_EQ(LastLine("FreeProgressLog"), "No wipe algorithm is selected.");
  Step = 3;
  form->CheckState();
  EXPECT_FALSE(Find("BottomNext")->Enabled());
  SelectPattern("ONES");
  EXPECT_TRUE(Find("BottomNext")->Enabled());
  Step = 1;
}

TEST_F(EngineLinkTest, MessagesFillBarsLogsAndFinalLines) {
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  auto* block = static_cast<TWipeParams*>(form->GetWipeParams());
  form->Busy = true;
  Step = 6;  // the processing page
  // The maximum comes first, so 700 of 1000 is not cut to the old maximum of 100.
  block->Total = 1000;
  block->Progress = 700;
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, 0, 1);
  auto* bar1 = Find<TProgressBar>("DiskProgressBar1");
  EXPECT_EQ(bar1->Max(), 1000);
  EXPECT_EQ(bar1->Position(), 700);
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, 40, 2);
  EXPECT_EQ(Find<TProgressBar>("DiskProgressBar2")->Position(), 40);
  block->Progress = 900;
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, 0, 3);  // an unknown stage changes nothing
  EXPECT_EQ(bar1->Position(), 700);

  // Stop reaches the engine with the next progress message.
  form->StopRequested = true;
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, 0, 1);
  EXPECT_EQ(block->Active, 0);

  // A log line is appended and its text freed by the form.
  const std::u16string text = u"Pass 1 of 1";
  auto* line = static_cast<char16_t*>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * 2));
  std::copy(text.c_str(), text.c_str() + text.size() + 1, line);
  SendMessageW(form->Handle(), WM_WIPE_LOG, reinterpret_cast<WPARAM>(line), 0);
  EXPECT_EQ(LastLine("DiskProgressLog"), "Pass 1 of 1");

  // Items that failed turn the final line into a count; the blocks go with it.
  block->Reserved2 = 3;
  SendMessageW(form->Handle(), WM_WIPE_DONE, 0, 0);
  EXPECT_FALSE(form->Busy);
  EXPECT_FALSE(form->StopRequested);
  EXPECT_TRUE(form->Done);
  EXPECT_EQ(form->CurrentParams, nullptr);
  EXPECT_EQ(LastLine("DiskProgressLog"), "Items that could not be wiped: 3");
  EXPECT_EQ(Log("DiskProgressLog").back(), "") << "the empty line between runs";

  // A good wipe whose formatting failed says both, the formatting with its reason.
  form->GetWipeParams();
  form->Busy = true;
  const std::u16string reason = u"NTFS formatting is not available on this system";
  auto* reasonText = static_cast<char16_t*>(LocalAlloc(LMEM_FIXED, (reason.size() + 1) * 2));
  std::copy(reason.c_str(), reason.c_str() + reason.size() + 1, reasonText);
  SendMessageW(form->Handle(), WM_WIPE_DONE, reinterpret_cast<WPARAM>(reasonText), 1);
  const std::vector<std::string> lines = Log("DiskProgressLog");
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "Drive successfully wiped");
  EXPECT_EQ(lines[lines.size() - 2], "Formatting failed: NTFS formatting is not available on this system");
  EXPECT_EQ(lines.back(), "");

  // A free-space run that left space unreached, its first bar full: the second is not filled.
  Step = 1;
  Click("WelcomeFreeSpaceRadioButton");
  Step = 6;
  block = static_cast<TWipeParams*>(form->GetWipeParams());
  block->Total = block->Progress = 1000;
  block->Reserved2 = 1;
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, 0, 1);
  SendMessageW(form->Handle(), WM_WIPE_DONE, 0, 0);
  EXPECT_EQ(Find<TProgressBar>("FreeProgressBar2Hide")->Position(), 0);

  // A done or cancelled message during a file run does not end it.
  Step = 1;
  Click("WelcomeFileAndFoldersRadioButton");
  form->GetWipeParams();
  form->Busy = true;
  form->Done = false;
  SendMessageW(form->Handle(), WM_WIPE_DONE, 0, 0);
  SendMessageW(form->Handle(), WM_WIPE_CANCELLED, 0, 0);
  EXPECT_TRUE(form->Busy);
  EXPECT_FALSE(form->Done);
  EXPECT_NE(form->CurrentParams, nullptr);
  form->Busy = false;
}

TEST_F(EngineLinkTest, FormatChoicesFollowTheCapacity) {
  constexpr int64_t MiB = 1024 * 1024, GiB = 1024 * MiB;
  struct Case {
    int64_t capacity;
    std::vector<std::string> systems;
    int64_t fat, fat32, ntfs;  // default units; 0: none
  };
  const Case cases[] = {
      {3 * GiB, {"FAT", "FAT32", "NTFS"}, 65536, 4096, 4096},
      {40 * GiB, {"NTFS"}, 0, 0, 4096},
      {3 * 1024 * GiB, {"NTFS"}, 0, 0, 0},
      {20 * MiB, {"FAT", "NTFS"}, 512, 0, 512},
      {6 * MiB, {"FAT", "NTFS"}, 512, 0, 0},
      {32 * MiB, {"FAT", "FAT32", "NTFS"}, 512, 512, 512},
      {32 * MiB + 1, {"FAT", "FAT32", "NTFS"}, 1024, 512, 512},
      {4 * GiB, {"FAT", "FAT32", "NTFS"}, 65536, 4096, 4096},
      {4 * GiB + 1, {"FAT32", "NTFS"}, 0, 4096, 4096},
      {32 * GiB + 1, {"NTFS"}, 0, 0, 4096},
      {-1, {"FAT", "NTFS"}, 512, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    EXPECT_EQ(FileSystemsFor(c.capacity), c.systems);
    EXPECT_EQ(DefaultAllocUnit("FAT", c.capacity), c.fat);
    EXPECT_EQ(DefaultAllocUnit("FAT32", c.capacity), c.fat32);
    EXPECT_EQ(DefaultAllocUnit("NTFS", c.capacity), c.ntfs);
    EXPECT_EQ(DefaultAllocUnit("", c.capacity), c.ntfs);
  }
  EXPECT_EQ(AllocUnitCountFor("FAT"), 8);
  EXPECT_EQ(AllocUnitCountFor("FAT32"), 6);
  EXPECT_EQ(AllocUnitCountFor("NTFS"), 4);
  EXPECT_EQ(AllocUnitText(512), "512 bytes");
  EXPECT_EQ(AllocUnitText(65536), "64 KB");
  EXPECT_EQ(DriveTypeToString(DRIVE_REMOVABLE), "Removable");
  EXPECT_EQ(DriveTypeToString(DRIVE_RAMDISK), "RAM");
  EXPECT_EQ(DriveTypeToString(0), "Unknown");
  EXPECT_THROW(IsDriveReadOnly('1'), Exception);
}
