#pragma once
// A main form made from the program's own definition, with the wizard's
// globals reset, and stand-ins for the parts behind the pages (drive list,
// format page, confirm list, engine runs) that behave as those parts must.
#include "../MainFormFixture.h"
#include "Units.h"

// The units of a child process, started as the program starts them: they read
// the settings of the test prefix, which a fresh prefix makes a first start,
// so a form made then would wait for the language choice first. Tests of the
// wizard itself start as a later start does.
struct TWizardUnits : TUnitsScope {
  TWizardUnits() {
    GlobalFirstStart = false;
    GlobalLanguage.clear();
  }
};

// One pattern, as the patterns file would give it.
inline void ReadFixturePattern(TDataStorage* storage) {
  auto* pattern = New<TWipePattern>(1, "RANDOM", "Random data", "One pass of random data over every byte.");
  pattern->Passes->Add(New<TWipePass>(1, "00", ""));
  storage->Patterns->Add(pattern);
}

struct WizardTest : MainFormTest {
  void SetUp() override {
    MainFormTest::SetUp();
    SelectedPatternCode = "RANDOM";
    ConfirmationsShutdown = true;
  }

  // The parts behind the pages as they will behave: two drives, a valid
  // format choice, one file to wipe, runs that report Busy (disk and free
  // space run on; the file run ends inside its Start handler).
  void LinkPageParts() {
    if (PatternsFileReader == nullptr) PatternsFileReader = ReadFixturePattern;
    WizardLinks.fillDrivesList = [this](TMainForm* f) {
      ++driveScans;
      auto* list = f->Item<TListView>("DiskSelectListView");
      list->Clear();
      const char* rows[][4] = {{"C (System)", "Fixed", "42,949,672,960", "Ready"},
                               {"D", "Removable", "1,998,585,856", "Ready"}};
      for (auto& row : rows) {
        TListItem* item = list->Items()->Add();
        item->SetCaption(row[0]);
        for (int i = 1; i < 4; ++i) item->SubItems()->Add(row[i]);
      }
    };
    WizardLinks.refreshFormatPage = [](TMainForm* f) {
      f->Item<TControl>("FormatLabelDriveLetter")->SetCaption(f->DriveText);
      f->FormatValid = true;
    };
    WizardLinks.transferFileList = [](TMainForm* f) {
      auto* list = f->Item<TListView>("FileConfirmListView");
      list->Clear();
      list->OnData = TLVOwnerDataEvent(+[](TObject*, TListItem* item) { item->SetCaption("C:\\Data\\report.doc"); });
      list->Items()->SetCount(1);
      f->FilesCount = 1;
      f->FoldersCount = 0;
      f->TotalBytes = 4096;
    };
    WizardLinks.startFileWipe = [this](TMainForm* f) {
      ++starts;
      f->Busy = true;
      f->AppendLog("FileProgressLog", "run");
      f->Busy = false;
      f->Done = true;
    };
    WizardLinks.startDiskWipe = [this](TMainForm* f) {
      ++starts;
      f->Busy = true;
    };
    WizardLinks.startFreeSpaceWipe = [this](TMainForm* f) {
      ++starts;
      f->Busy = true;
    };
  }

  int driveScans = 0;
  int starts = 0;
};
