// What the wizard tells the user on its pages, in the real main form: Next and
// its reason on the algorithm and format pages whatever was chosen before, a
// double click in the drive list that follows Next, and a file run that
// notices Stop also after paths the engine could not start.
#include <random>

#include "../shell/WideStringList.h"
#include "Drives.h"
#include "WipeDLL.h"
#include "WizardFixture.h"

namespace {

constexpr int64_t MiB = 1024 * 1024, GiB = 1024 * MiB, TiB = 1024 * GiB;

// What the system sends when the user picks row index of combo.
void PickByUser(TComboBox* combo, int index) {
  HWND hwnd = combo->Handle();
  SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(hwnd));
}

// Patterns with and without passes, in the order the algorithm list shows them.
void ReadMixedPatterns(TDataStorage* storage) {
  const struct {
    const char* code;
    int passes;
  } patterns[] = {{"RANDOM", 1}, {"EMPTY", 0}, {"THREE", 3}, {"BLANK", 0}};
  for (const auto& p : patterns) {
    auto* pattern = New<TWipePattern>(1, p.code, p.code, std::string("About ") + p.code);
    for (int i = 0; i < p.passes; ++i) pattern->Passes->Add(New<TWipePass>(i + 1, "00", ""));
    storage->Patterns->Add(pattern);
  }
}

}  // namespace

// Random choices in the algorithm list: after each, Next is enabled exactly
// for an algorithm with passes, and otherwise the page says why.
TEST_F(WizardTest, TheAlgorithmPageDecidesNextAgainOnEveryChoice) {
  LinkPageParts();
  PatternsFileReader = ReadMixedPatterns;
  SelectedPatternCode = "EMPTY";
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  Click("BottomNext");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpAlgoritm);
  auto* combo = Find<TComboBox>("AlgoritmComboBox");
  ASSERT_EQ(combo->Items()->Count(), 4);
  std::mt19937 random(43);
  std::string trace = "EMPTY";
  for (int i = 0; i < 40; ++i) {
    const TWipePattern* chosen = DataStorage->GetSelectedPattern();
    ASSERT_NE(chosen, nullptr);
    const bool usable = chosen->Passes->Count() > 0;
    ASSERT_EQ(Enabled("BottomNext"), usable) << trace;
    ASSERT_EQ(Find("AlgoritmRefusalLabel")->Visible(), !usable) << trace;
    ASSERT_EQ(Find("AlgoritmNextLabel")->Visible(), usable) << trace;
    if (!usable) ASSERT_NE(Text("AlgoritmRefusalLabel").find("has no passes"), std::string::npos) << trace;
    const int index = static_cast<int>(random() % 4);
    PickByUser(combo, index);
    trace += std::string(" ") + combo->Items()->Strings(index);
  }
  PickByUser(combo, 0);
  Click("BottomNext");
  EXPECT_EQ(ActivePageIndex(), wpFileConfirm);
}

namespace {

int64_t gCapacity = 0;
int64_t TestCapacity(char) { return gCapacity; }

struct FormatPageTest : WizardTest {
  void SetUp() override {
    WizardTest::SetUp();
    LinkPageParts();
    WizardLinks.refreshFormatPage = RefreshFormatPage;
    DriveSizeQuery = TestCapacity;
  }
  void TearDown() override {
    DriveSizeQuery = DriveSize;
    Step = 1;
    WizardTest::TearDown();
  }
  // The format page of drive D with capacity, chosen as a new drive is.
  void ShowFormatPage(int64_t capacity) {
    gCapacity = capacity;
    Task = 0;
    Step = 1;
    ForgetDriveScan();
    MakeForm();
    Click("WelcomeDiskWipeRadioButton");
    Click("BottomNext");
    auto* list = Find<TListView>("DiskSelectListView");
    list->SetSelected(list->Items()->Item(1));
    form->DiskSelectListViewClick(list);
    Click("BottomNext");
    Click("BottomNext");
    ASSERT_EQ(ActivePageIndex(), wpFormat);
  }
  bool Formatting() { return Find<TCheckBox>("FormatCheckBoxAgree")->Checked(); }
  std::string Reason() { return Find("FormatRefusalLabel")->Visible() ? Text("FormatRefusalLabel") : ""; }
};

}  // namespace

// Drives for which a file system has no allocation unit: the page says so,
// and the drive can still be wiped without formatting.
TEST_F(FormatPageTest, NoAllocationUnitIsSaidAndAWipeWithoutFormattingNeedsNone) {
  const struct {
    int64_t capacity;
    const char* fileSystem;
    const char* reason;
  } cases[] = {
      {5 * MiB, "NTFS", "NTFS cannot be laid out on a drive of this size"},
      {3 * TiB, "NTFS", "NTFS cannot be laid out on a drive of this size"},
      {-1, "FAT", "The size of the drive cannot be read."},
      {-1, "NTFS", "The size of the drive cannot be read."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.capacity) + " " + c.fileSystem);
    ShowFormatPage(c.capacity);
    auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
    const int index = fileSystems->Items()->IndexOf(c.fileSystem);
    ASSERT_GE(index, 0);
    PickByUser(fileSystems, index);
    EXPECT_FALSE(Enabled("BottomNext"));
    EXPECT_NE(Reason().find(c.reason), std::string::npos) << Reason();
    EXPECT_FALSE(Find("FormatNextLabel")->Visible());
    Click("FormatCheckBoxAgree");
    EXPECT_TRUE(Enabled("BottomNext"));
    EXPECT_EQ(Reason(), "");
    Click("BottomNext");
    EXPECT_EQ(ActivePageIndex(), wpDiskWarning);
    form->Free();
    form = nullptr;
  }
}

// Random walks over capacities, file systems, allocation units and the
// format check box: Next is enabled exactly when the page shows no reason,
// always without formatting, and never for a file system without an
// allocation unit for the drive.
TEST_F(FormatPageTest, RandomWalksNeverDisableNextWithoutAReason) {
  const int64_t capacities[] = {-1, 1 * MiB, 5 * MiB, 7 * MiB, 20 * MiB, 32 * MiB, 48 * MiB, 3 * GiB, 40 * GiB, 3 * TiB};
  ShowFormatPage(48 * MiB);
  std::mt19937 random(20261208);
  std::string trace;
  for (int i = 0; i < 300; ++i) {
    const int action = static_cast<int>(random() % 5);
    auto* fileSystems = Find<TComboBox>("FormatComboBoxFileSystem");
    auto* units = Find<TComboBox>("FormatComboBoxAllocUnits");
    trace += std::to_string(action);
    switch (action) {
      case 0:  // another drive of another size
        gCapacity = capacities[random() % 10];
        fileSystems->SetItemIndex(-1);
        form->CheckState();
        trace += "(" + std::to_string(gCapacity) + ")";
        break;
      case 1:
        Click("FormatCheckBoxAgree");
        break;
      case 2:
        if (fileSystems->Items()->Count() > 0)
          PickByUser(fileSystems, static_cast<int>(random() % fileSystems->Items()->Count()));
        break;
      case 3:
        if (units->Items()->Count() > 0) PickByUser(units, static_cast<int>(random() % units->Items()->Count()));
        break;
      default:  // away and back
        Click("BottomBack");
        Click("BottomNext");
        break;
    }
    trace += " ";
    ASSERT_EQ(ActivePageIndex(), wpFormat) << trace;
    const bool next = Enabled("BottomNext");
    ASSERT_EQ(next, form->FormatValid) << trace;
    ASSERT_EQ(next, Reason().empty()) << Reason() << "; " << trace;
    ASSERT_EQ(Find("FormatNextLabel")->Visible(), next) << trace;
    if (!Formatting()) ASSERT_TRUE(next) << trace;
    const std::string fileSystem = fileSystems->Text();
    if (Formatting() && (gCapacity <= 0 || DefaultAllocUnit(fileSystem, gCapacity) == 0))
      ASSERT_FALSE(next) << fileSystem << "; " << trace;
  }
}

// A double click in the drive list goes on only from a row that Next would
// go on from: not from an empty area, whatever row stays selected.
TEST_F(WizardTest, DoubleClickInTheDriveListFollowsNext) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpDiskSelect);
  auto* list = Find<TListView>("DiskSelectListView");
  list->SetSelected(list->Items()->Item(1));
  form->DiskSelectListViewClick(list);
  ASSERT_TRUE(Enabled("BottomNext"));
  DoubleClickByInput(list, list->Width() / 2, list->Height() - 12);
  EXPECT_EQ(ActivePageIndex(), wpDiskSelect) << "moved on from an empty area";
  EXPECT_EQ(Step, 2);
  // Nothing selected: Next is disabled, and so is the double click.
  list->SetSelected(nullptr);
  form->DiskSelectListViewClick(list);
  ASSERT_FALSE(Enabled("BottomNext"));
  form->DiskSelectListViewDblClick(list);
  EXPECT_EQ(ActivePageIndex(), wpDiskSelect);
  // On a row it goes on, as Next does.
  const TRect row = list->Items()->Item(1)->DisplayRect();
  DoubleClickByInput(list, row.Left + 150, (row.Top + row.Bottom) / 2);
  EXPECT_EQ(ActivePageIndex(), wpAlgoritm);
  EXPECT_EQ(form->DriveLetter, 'D');
  Step = 1;
}

namespace {

int gWipeCalls = 0;
bool gStopUsable = false;
TMainForm* gRunningForm = nullptr;

// An engine that cannot start any path, while the user presses Stop.
HANDLE __cdecl EngineThatCannotStart(void*) {
  ++gWipeCalls;
  auto* stop = gRunningForm->Item<TButton>("FileProgressButtonStop");
  gStopUsable = IsWindowEnabled(stop->Handle()) != FALSE;
  PostMessageW(stop->Handle(), BM_CLICK, 0, 0);
  return nullptr;
}

}  // namespace

TEST_F(WizardTest, StopIsNoticedAfterAPathTheEngineCouldNotStart) {
  LinkPageParts();
  LinkEngine();
  TWideStringList* paths = New<TWideStringList>();
  for (const char16_t* path : {u"Q:\\one.txt", u"Q:\\two.txt", u"Q:\\three.txt"}) paths->Add(path);
  const auto fillConfirmList = WizardLinks.transferFileList;
  WizardLinks.transferFileList = [&](TMainForm* f) {
    fillConfirmList(f);
    f->FilesToWipeList = paths;
  };
  TWipeEngine engine;
  engine.FileWipe = EngineThatCannotStart;
  WipeEngineOverride = &engine;
  gWipeCalls = 0;
  gStopUsable = false;
  MakeForm();
  gRunningForm = form;
  Click("WelcomeFileAndFoldersRadioButton");
  for (int i = 0; i < 4; ++i) Click("BottomNext");
  WipeEngineOverride = nullptr;
  gRunningForm = nullptr;
  EXPECT_EQ(ActivePageIndex(), wpFileProgress);
  EXPECT_EQ(gWipeCalls, 1) << "paths handed on after Stop";
  EXPECT_TRUE(gStopUsable) << "Stop was disabled during the run";
  EXPECT_FALSE(form->Busy);
  TStrings* log = Find<TMemo>("FileProgressLog")->Lines();
  ASSERT_GE(log->Count(), 2);
  EXPECT_EQ(log->Strings(log->Count() - 2), "Action cancelled");
  form->FilesToWipeList = nullptr;
  paths->Free();
}
