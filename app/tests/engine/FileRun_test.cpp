// The file run against a mapped drive: a folder tree and a single file handed
// to the engine one path at a time, a path too long for the block refused
// whole, Stop between paths, and a run without a list.
#include <windows.h>

#include "../shell/WideStringList.h"
#include "EngineLinkFixture.h"
#include "WizardPages.h"

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void WriteMarkerFile(const std::string& path, int kib) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  const std::string line = "QV-WIZARD-FILE-MARKER-5d1e0c-padding-padding-padding-padding-pad\n";
  for (int i = 0; i < kib * 16; ++i) {
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  CloseHandle(file);
}

TMainForm* gRunning = nullptr;
void CALLBACK RequestStop(HWND, UINT, UINT_PTR, DWORD) {
  if (gRunning != nullptr) gRunning->StopRequested = true;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Each Path field an engine was handed, whole.
std::vector<std::u16string> gFields;

// An engine that records the Path field and is done at once.
HANDLE __cdecl RecordingEngine(void* params) {
  const auto* block = static_cast<const TWipeParams*>(params);
  gFields.emplace_back(block->Path, block->Path + kBlockTextChars);
  return CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

}  // namespace

struct FileRunTest : EngineLinkTest {
  void SetUp() override {
    EngineLinkTest::SetUp();
    list = New<TWideStringList>();
  }
  void TearDown() override {
    WipeEngineOverride = nullptr;
    if (form != nullptr && *token) form->FilesToWipeList = nullptr;
    EngineLinkTest::TearDown();
    list->Free();
  }
  // Shows the file task's processing page, which starts the run at once; the
  // run ends inside this call.
  void RunFiles(int64_t filesCount) {
    MakeForm();
    SelectedPatternCode = "ZEROS";
    Click("WelcomeFileAndFoldersRadioButton");
    form->FilesToWipeList = list;
    form->FilesCount = filesCount;
    Step = 5;
    Find<TPageControl>("PageControlMain")->SetActivePageIndex(wpFileProgress);
    form->CheckState();
  }
  TWideStringList* list = nullptr;
};

TEST_F(FileRunTest, FolderTreeAndFileAreWipedAndALongPathIsRefusedWhole) {
  const char drive = TestDrive("QV_TEST_WIZ_FREE");
  if (drive == 0) GTEST_SKIP() << "QV_TEST_WIZ_FREE is not mapped (see run-engine-link-tests.sh)";
  const std::string root = std::string(1, drive) + ":\\";
  const std::string tree = root + "tree";
  CreateDirectoryA(tree.c_str(), nullptr);
  CreateDirectoryA((tree + "\\sub").c_str(), nullptr);
  WriteMarkerFile(tree + "\\a.txt", 64);
  WriteMarkerFile(tree + "\\sub\\b.txt", 8);
  WriteMarkerFile(root + "single.txt", 16);
  const std::string keep = root + "keepdir";
  CreateDirectoryA(keep.c_str(), nullptr);
  WriteMarkerFile(keep + "\\kept.txt", 1);
  list->Add(Wide(tree));
  list->Add(Wide(keep + "\\" + std::string(4100, 'x')));
  list->Add(Wide(root + "single.txt"));

  RunFiles(3);
  EXPECT_FALSE(form->Busy);
  EXPECT_TRUE(form->Done);
  EXPECT_EQ(form->CurrentParams, nullptr);
  EXPECT_FALSE(Exists(tree));
  EXPECT_FALSE(Exists(root + "single.txt"));
  EXPECT_TRUE(Exists(keep + "\\kept.txt"));
  EXPECT_EQ(Log("FileProgressLog").front(), "Wipe algorithm selected: Zeros (1)") << Joined("FileProgressLog");
  const std::vector<std::string> log = Log("FileProgressLog");
  EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("Path too long, not wiped:", 0) == 0; }))
      << Joined("FileProgressLog");
  // The refused path is counted, not reported as a success.
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1");
  EXPECT_EQ(form->FilesWiped, 3);
  EXPECT_EQ(Text("FileProgressLabelCurFileNum"), "3");
  auto* bar = Find<TProgressBar>("FileProgressBar2");
  EXPECT_EQ(bar->Position(), bar->Max());
  EXPECT_FALSE(Find("FileProgressButtonStart")->Enabled());
  qvtest::SaveScreenshot(form->Handle(), "engine_link_file_done");
  DeleteFileA((keep + "\\kept.txt").c_str());
  RemoveDirectoryA(keep.c_str());
}

// Each path goes with the one the run hands over after it: a path the run
// refuses (too long, holding a terminator) is never named as next, a next
// that does not fit beside its path is not named, and the last has none.
TEST_F(FileRunTest, EachPathIsHandedOverWithTheNextOneTheRunWillHandOver) {
  const std::u16string a = u"Q:\\one.txt";
  const std::u16string longName = u"Q:\\" + std::u16string(4100, u'x');
  const std::u16string withTerminator(u"Q:\\two\0.txt", 11);
  const std::u16string b = u"Q:\\" + std::u16string(2000, u'b');
  const std::u16string c = u"Q:\\" + std::u16string(2100, u'c');
  const std::u16string d = u"Q:\\four.txt";
  const std::u16string e = u"Q:\\" + std::u16string(2000, u'e');
  for (const std::u16string* path : {&a, &longName, &withTerminator, &b, &c, &d, &longName, &e}) list->Add(*path);
  TWipeEngine engine;
  engine.FileWipe = RecordingEngine;
  WipeEngineOverride = &engine;
  gFields.clear();
  RunFiles(8);
  WipeEngineOverride = nullptr;
  EXPECT_FALSE(form->Busy);
  ASSERT_EQ(gFields.size(), 5u) << Joined("FileProgressLog");
  EXPECT_TRUE(gFields[0] == PathField(a, b)) << "the refused paths were named as next";
  EXPECT_TRUE(gFields[1] == PathField(b, u"")) << "a next that does not fit beside its path was named";
  EXPECT_TRUE(gFields[2] == PathField(c, d));
  EXPECT_TRUE(gFields[3] == PathField(d, e));
  EXPECT_TRUE(gFields[4] == PathField(e, u"")) << "the last path named a next";
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 3") << Joined("FileProgressLog");
}

TEST_F(FileRunTest, StopEndsTheRunBetweenPaths) {
  const char drive = TestDrive("QV_TEST_WIZ_FREE");
  if (drive == 0) GTEST_SKIP() << "QV_TEST_WIZ_FREE is not mapped (see run-engine-link-tests.sh)";
  const std::string first = std::string(1, drive) + ":\\first.bin";
  const std::string second = std::string(1, drive) + ":\\second.bin";
  WriteMarkerFile(first, 12 * 1024);
  WriteMarkerFile(second, 8);
  list->Add(Wide(first));
  list->Add(Wide(second));
  const std::u16string root = Wide(std::string(1, drive) + ":\\");
  std::set<std::u16string> kept = EntriesOf(root);
  kept.erase(Wide("first.bin"));
  // Stop while the engine is on the first file.
  MakeForm();
  SelectedPatternCode = "GUTMANN";
  gRunning = form;
  Click("WelcomeFileAndFoldersRadioButton");
  form->FilesToWipeList = list;
  form->FilesCount = 2;
  Step = 5;
  Find<TPageControl>("PageControlMain")->SetActivePageIndex(wpFileProgress);
  SetTimer(form->Handle(), 0, 30, RequestStop);
  form->CheckState();
  KillTimer(form->Handle(), 0);
  gRunning = nullptr;
  EXPECT_FALSE(form->Busy);
  EXPECT_EQ(LastLine("FileProgressLog"), "Action cancelled") << Joined("FileProgressLog");
  EXPECT_TRUE(Exists(second));
  // The first file named the second as next: the engine, told of the stop,
  // has not kept the drive's shared work (its private folder) waiting for it.
  std::set<std::u16string> left = EntriesOf(root);
  left.erase(Wide("first.bin"));  // the stop may leave it whole
  EXPECT_EQ(left, kept);
  EXPECT_FALSE(form->StopRequested);
  DeleteFileA(second.c_str());
  DeleteFileA(first.c_str());
}

TEST_F(FileRunTest, RunWithoutAListEndsInsteadOfStayingBusy) {
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  form->FilesToWipeList = nullptr;
  Step = 5;
  Find<TPageControl>("PageControlMain")->SetActivePageIndex(wpFileProgress);
  form->CheckState();
  EXPECT_FALSE(form->Busy);
  EXPECT_TRUE(form->Done);
  EXPECT_EQ(LastLine("FileProgressLog"), "Internal Error: FilesToWipeList is NULL!");
  EXPECT_TRUE(Find("BottomClose")->Enabled());
}
