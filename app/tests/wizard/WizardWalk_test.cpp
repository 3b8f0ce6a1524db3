// The wizard's state machine walked through every page of the three tasks
// with Next and Back, and its rules for Busy, Done and the page conditions.
#include "WizardFixture.h"
#include "WizardPages.h"

namespace {

// What the wizard shows on one step.
struct StepView {
  int step;
  int page;
  const char* heading;  // null: the welcome page
  bool back, next, close;
};

struct TaskWalk {
  const char* radio;
  int task;
  std::vector<StepView> steps;
};

const TaskWalk kWalks[] = {
    {"WelcomeFileAndFoldersRadioButton",
     1,
     {{1, wpWelcome, nullptr, false, true, true},
      {2, wpFileSelect, "Wipe File - Step 1 of 4: Check files", true, true, true},
      {3, wpAlgoritm, "Wipe File - Step 2 of 4: Select algorithm", true, true, true},
      {4, wpFileConfirm, "Wipe File - Step 3 of 4: Confirm file list", true, true, true},
      // The file run ends inside its Start handler: Done, not Busy.
      {5, wpFileProgress, "Wipe File - Step 4 of 4: Processing", true, false, true}}},
    {"WelcomeDiskWipeRadioButton",
     2,
     {{1, wpWelcome, nullptr, false, true, true},
      {2, wpDiskSelect, "Wipe Disk - Step 1 of 5: Select disk", true, true, true},
      {3, wpAlgoritm, "Wipe Disk - Step 2 of 5: Select algorithm", true, true, true},
      {4, wpFormat, "Wipe Disk - Step 3 of 5: Disk format option", true, true, true},
      // Next waits for the agreement check box (ticked by the walk below).
      {5, wpDiskWarning, "Wipe Disk - Step 4 of 5: Confirm disk erase", true, false, true},
      // The disk run goes on after Start returns: Busy locks Back and Close.
      {6, wpDiskProgress, "Wipe Disk - Step 5 of 5: Processing", false, false, false}}},
    {"WelcomeFreeSpaceRadioButton",
     3,
     {{1, wpWelcome, nullptr, false, true, true},
      {2, wpDiskSelect, "Wipe Free Space - Step 1 of 3: Select disk", true, true, true},
      {3, wpAlgoritm, "Wipe Free Space - Step 2 of 3: Select algorithm", true, true, true},
      {4, wpFreeProgress, "Wipe Free Space - Step 3 of 3: Processing", false, false, false}}},
};

}  // namespace

TEST_F(WizardTest, EveryTaskWalksForwardAndBackThroughItsPages) {
  LinkPageParts();
  MakeForm();
  for (const TaskWalk& walk : kWalks) {
    SCOPED_TRACE(walk.radio);
    Click(walk.radio);
    ASSERT_EQ(Task, walk.task);
    const size_t last = walk.steps.size() - 1;
    for (size_t i = 0; i <= last; ++i) {
      const StepView& v = walk.steps[i];
      SCOPED_TRACE(v.step);
      if (i > 0) Click("BottomNext");
      EXPECT_EQ(Step, v.step);
      EXPECT_EQ(ActivePageIndex(), v.page);
      if (v.heading != nullptr) {
        EXPECT_EQ(Text(PageHeadingLabel(v.page)), v.heading);
      }
      EXPECT_EQ(Enabled("BottomBack"), v.back);
      EXPECT_EQ(Enabled("BottomNext"), v.next);
      EXPECT_EQ(Enabled("BottomClose"), v.close);
      if (v.page == wpDiskWarning) {
        EXPECT_EQ(Text("DiskWarningLabelDriveLetter"), "C:\\ (System)");
        Click("DiskWarningCheckBoxAgree");
        EXPECT_TRUE(Enabled("BottomNext"));
      }
    }
    if (walk.task != 1) {
      // The engine reports the end of the run.
      EXPECT_EQ(Text(walk.task == 2 ? "DiskProgressLabelStatus" : "FreeProgressLabelStatus"), "Working");
      form->Busy = false;
      form->Done = true;
      form->CheckState();
      EXPECT_TRUE(Enabled("BottomBack"));
      EXPECT_TRUE(Enabled("BottomClose"));
    }
    // Back on the last page returns to the welcome page.
    Click("BottomBack");
    EXPECT_EQ(Step, 1);
    EXPECT_EQ(ActivePageIndex(), wpWelcome);
    EXPECT_FALSE(form->Done);
    EXPECT_FALSE(Enabled("BottomBack"));
  }
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(driveScans, 1);  // the drive list is scanned once per run of the program
}

TEST_F(WizardTest, BackRetracesEachStepToTheWelcomePage) {
  LinkPageParts();
  MakeForm();
  for (const TaskWalk& walk : kWalks) {
    SCOPED_TRACE(walk.radio);
    Click(walk.radio);
    const size_t beforeLast = walk.steps.size() - 2;
    for (size_t i = 1; i <= beforeLast; ++i) {
      if (walk.steps[i].page == wpDiskWarning) break;
      Click("BottomNext");
    }
    for (size_t i = Step; i-- > 1;) {
      Click("BottomBack");
      EXPECT_EQ(Step, walk.steps[i - 1].step);
      EXPECT_EQ(ActivePageIndex(), walk.steps[i - 1].page);
    }
    EXPECT_EQ(Step, 1);
  }
  EXPECT_EQ(starts, 0);
}

TEST_F(WizardTest, NoTaskChosenLeavesOnlyClose) {
  MakeForm();
  EXPECT_EQ(Task, 0);
  EXPECT_EQ(ActivePageIndex(), wpWelcome);
  EXPECT_FALSE(Enabled("BottomNext"));
  EXPECT_FALSE(Enabled("BottomBack"));
  EXPECT_TRUE(Enabled("BottomClose"));
  form->BottomNextClick();
  form->BottomBackClick();
  EXPECT_EQ(Step, 1);
  EXPECT_EQ(ActivePageIndex(), wpWelcome);
}

TEST_F(WizardTest, ProcessingPagesRunOnEntryAndFollowBusyAndDone) {
  LinkPageParts();
  MakeForm();
  // Disk: a finished run can be started again.
  Click("WelcomeDiskWipeRadioButton");
  for (int i = 0; i < 4; ++i) Click("BottomNext");
  Click("DiskWarningCheckBoxAgree");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpDiskProgress);
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(Enabled("DiskProgressButtonStart"));
  EXPECT_TRUE(Enabled("DiskProgressButtonStop"));
  EXPECT_EQ(Text("DiskProgressLabelDriveLetter"), "C:\\ (System)");
  Click("DiskProgressButtonStop");
  EXPECT_TRUE(form->StopRequested);
  EXPECT_TRUE(form->Busy);  // Stop only records the request
  form->Busy = false;
  form->StopRequested = false;
  form->Done = true;
  form->CheckState();
  EXPECT_EQ(Text("DiskProgressLabelStatus"), "Idle");
  EXPECT_TRUE(Enabled("DiskProgressButtonStart"));
  EXPECT_FALSE(Enabled("DiskProgressButtonStop"));
  EXPECT_EQ(starts, 1);  // Done keeps the refresh from starting again
  Click("DiskProgressButtonStart");
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(Text("DiskProgressLabelStatus"), "Working");

  // Files: a finished run cannot be started again; leaving and coming back starts a new one.
  form->Busy = false;
  form->Done = true;
  form->CheckState();
  Click("BottomBack");
  Click("WelcomeFileAndFoldersRadioButton");
  for (int i = 0; i < 4; ++i) Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpFileProgress);
  EXPECT_EQ(starts, 3);
  EXPECT_FALSE(Enabled("FileProgressButtonStart"));
  EXPECT_EQ(Text("FileProgressLabelStatus"), "Idle");
  Click("BottomBack");
  for (int i = 0; i < 4; ++i) Click("BottomNext");
  EXPECT_EQ(starts, 4);
}

TEST_F(WizardTest, StartHandlerThatRefreshesWhileRunningStartsOnce) {
  LinkPageParts();
  // The file run pumps messages and refreshes the page while it works.
  WizardLinks.startFileWipe = [this](TMainForm* f) {
    ++starts;
    f->CheckState();
    f->Busy = true;
    f->CheckState();
    f->Busy = false;
    f->Done = true;
  };
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  for (int i = 0; i < 4; ++i) Click("BottomNext");
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(form->Done);
}

TEST_F(WizardTest, PagesWhosePartsAreMissingShowOnlyTheirControls) {
  PatternsFileReader = ReadFixturePattern;
  MakeForm();  // no links: no drive list, no format check, no engine
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  EXPECT_EQ(ActivePageIndex(), wpDiskSelect);
  EXPECT_EQ(Find<TListView>("DiskSelectListView")->Items()->Count(), 0);
  EXPECT_FALSE(Enabled("BottomNext"));
  EXPECT_TRUE(form->DrivesNeedScan);
  // With a drive row chosen by hand the format page still waits for its check.
  TListItem* row = Find<TListView>("DiskSelectListView")->Items()->Add();
  row->SetCaption("E");
  row->SetSelected(true);
  form->DiskSelectListViewClick(nullptr);
  EXPECT_TRUE(Enabled("BottomNext"));
  Click("BottomNext");
  Click("BottomNext");
  EXPECT_EQ(ActivePageIndex(), wpFormat);
  EXPECT_FALSE(form->FormatValid);
  EXPECT_FALSE(Enabled("BottomNext"));
  // A processing page without its engine link starts nothing and offers no Start.
  form->BottomBackClick();
  form->BottomBackClick();
  form->BottomBackClick();
  Click("WelcomeFreeSpaceRadioButton");
  Click("BottomNext");
  Click("BottomNext");
  Click("BottomNext");
  EXPECT_EQ(ActivePageIndex(), wpFreeProgress);
  EXPECT_FALSE(form->Busy);
  EXPECT_FALSE(Enabled("FreeProgressButtonStart"));
  EXPECT_EQ(Text("FreeProgressLabelStatus"), "Idle");
  EXPECT_EQ(Text("FreeProgressLabelDisk"), "E:\\");
}

TEST_F(WizardTest, DriveSelectionFollowsTheListRow) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  EXPECT_EQ(form->DriveLetter, 'C');
  EXPECT_EQ(form->DriveNumber, 3);
  EXPECT_EQ(form->DriveText, "C:\\ (System)");
  auto* fileSystem = Find<TComboBox>("FormatComboBoxFileSystem");
  fileSystem->SetItemIndex(2);
  auto* list = Find<TListView>("DiskSelectListView");
  list->Items()->Item(1)->SetSelected(true);
  form->DiskSelectListViewClick(nullptr);
  EXPECT_EQ(form->DriveText, "D:\\");
  EXPECT_EQ(form->DriveNumber, 4);
  EXPECT_EQ(fileSystem->ItemIndex(), -1);  // another drive: its file system is detected again
  list->SetSelected(nullptr);
  form->DiskSelectListViewClick(nullptr);
  EXPECT_EQ(form->DriveLetter, '?');
  EXPECT_EQ(form->DriveText, "???");
  EXPECT_EQ(form->DriveNumber, 0);
  EXPECT_FALSE(Enabled("BottomNext"));
  // Rescan refills the list but keeps the choice until the selection changes.
  Click("DiskSelectRescanButton");
  EXPECT_EQ(driveScans, 2);
  EXPECT_EQ(form->DriveText, "???");
}

TEST_F(WizardTest, TaskImagesChooseAndDoubleClicksGoOn) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeFreeImage");
  EXPECT_TRUE(Find<TRadioButton>("WelcomeFreeSpaceRadioButton")->Checked());
  EXPECT_EQ(Task, 3);
  EXPECT_EQ(Step, 1);
  qvtest::DoubleClick(Find("WelcomeDiskImage"));
  EXPECT_EQ(Task, 2);
  EXPECT_EQ(Step, 2);
  EXPECT_EQ(ActivePageIndex(), wpDiskSelect);
  Click("BottomBack");
  qvtest::DoubleClick(Find("WelcomeFileAndFoldersRadioButton"));
  EXPECT_EQ(Task, 1);
  EXPECT_EQ(ActivePageIndex(), wpFileSelect);
}

TEST_F(WizardTest, ConfirmPageShowsTotalsAndNeedsARow) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  for (int i = 0; i < 3; ++i) Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  EXPECT_EQ(Text("FileConfirmTotalsFilesCount"), "1");
  EXPECT_EQ(Text("FileConfirmTotalsFoldersCount"), "0");
  EXPECT_EQ(Text("FileConfirmTotalsSize"), "4 KB");
  EXPECT_EQ(Text("FileProgressLabelFilesTotalNum"), "1");
  EXPECT_TRUE(Enabled("BottomNext"));
  WizardLinks.transferFileList = [](TMainForm* f) { f->Item<TListView>("FileConfirmListView")->Clear(); };
  form->CheckState();
  EXPECT_FALSE(Enabled("BottomNext"));
}
