// The wizard's state machine: CheckState, Next and Back.
#include "MainForm.h"

#include "FileConfirmList.h"
#include "Language.h"
#include "MiscTexts.h"
#include "Settings.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "WideText.h"
#include "WipeDLL.h"
#include "WizardPages.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

void TMainForm::CheckState(TObject*) {
  Task = 0;
  if (Item<TRadioButton>("WelcomeFileAndFoldersRadioButton")->Checked()) Task = 1;
  if (Item<TRadioButton>("WelcomeDiskWipeRadioButton")->Checked()) Task = 2;
  if (Item<TRadioButton>("WelcomeFreeSpaceRadioButton")->Checked()) Task = 3;
  if (Step == 1) Done = false;

  auto* back = Item<TButton>("BottomBack");
  back->SetEnabled(Step > 1);
  Item<TButton>("BottomClose")->SetEnabled(!Busy);
  back->SetEnabled(back->Enabled() && !Busy);
  SetNextEnabled(NextStepExists());
  if (Task == 0) return;

  const int page = CurrentPage();
  SetHeading(Task, Step, page);
  RefreshPage(page);
}

void TMainForm::BottomNextClick(TObject*) {
  if (Task == 0) return;
  if (NextStepExists()) ++Step;
  ShowPage(CurrentPage());
  CheckState();
}

void TMainForm::BottomBackClick(TObject*) {
  if (Task == 0) return;
  if (!NextStepExists()) {
    // Back on a processing page returns to the welcome page.
    Step = 1;
    Done = false;
  } else if (Step > 1) {
    --Step;
  }
  ShowPage(CurrentPage());
  CheckState();
}

bool TMainForm::NextStepExists() const { return PageOfStep(Task, Step + 1) != -1; }

int TMainForm::CurrentPage() const { return PageOfStep(Task, Step); }

void TMainForm::ShowPage(int page) { Item<TPageControl>("PageControlMain")->SetActivePageIndex(page); }

void TMainForm::SetNextEnabled(bool value) { Item<TButton>("BottomNext")->SetEnabled(value); }

void TMainForm::SetHeading(int task, int step, int page) {
  const TStepHeading* heading = StepHeading(task, step);
  const char* labelName = PageHeadingLabel(page);
  if (heading == nullptr || labelName == nullptr) return;
  // The translated text is shown as it stands: never a format string.
  Item<TControl>(labelName)->SetCaption(LangString(heading->defaultText, heading->key));
}

void TMainForm::RefreshPage(int page) {
  auto* next = Item<TButton>("BottomNext");
  switch (page) {
    case wpWelcome:
      Item<TCheckBox>("DiskWarningCheckBoxAgree")->SetChecked(false);
      break;
    case wpAlgoritm: {
      // No usable pattern, no run: Next waits for one, and the page says why.
      const std::string refusal =
          DataStorage != nullptr ? PatternRefusal(DataStorage->GetSelectedPattern()) : MiscText("strNoAlgorithm");
      SetNextEnabled(next->Enabled() && refusal.empty());
      auto* reason = Item<TControl>("AlgoritmRefusalLabel");
      reason->SetCaption(refusal);
      reason->SetVisible(!refusal.empty());
      Item<TControl>("AlgoritmNextLabel")->SetVisible(refusal.empty());
      break;
    }
    case wpFileConfirm:
      RefreshConfirmPage();
      break;
    case wpDiskSelect:
      SetNextEnabled(DriveNumber != 0);
      break;
    case wpFormat:
      // The refresh sets the label and the lists, whose change handler must
      // not judge the page half refreshed: Next follows the finished page.
      refreshingFormatPage = true;
      try {
        if (WizardLinks.refreshFormatPage) WizardLinks.refreshFormatPage(this);
      } catch (...) {
        refreshingFormatPage = false;
        throw;
      }
      refreshingFormatPage = false;
      SetNextEnabled(NextStepExists() && FormatValid);
      break;
    case wpDiskWarning:
      Item<TControl>("DiskWarningLabelDriveLetter")->SetCaption(DriveText);
      SetNextEnabled(next->Enabled() && Item<TCheckBox>("DiskWarningCheckBoxAgree")->Checked());
      break;
    case wpDiskProgress:
      Item<TControl>("DiskProgressLabelDriveLetter")->SetCaption(DriveText);
      RefreshProcessingPage(page);
      break;
    case wpFreeProgress:
      CoverAnimation();
      RefreshProcessingPage(page);
      Item<TControl>("FreeProgressLabelDisk")->SetCaption(DriveText);
      break;
    case wpFileProgress:
      RefreshProcessingPage(page);
      break;
    default:
      break;
  }
}

void TMainForm::RefreshConfirmPage() {
  if (WizardLinks.transferFileList) WizardLinks.transferFileList(this);
  // Ticks the engine would never get are not dropped in silence.
  // As many as there are, in a note that scrolls.
  auto* absent = Item<TMemo>("FileConfirmAbsentNote");
  SetWideText(absent, AbsentTicksText(AbsentTicks, ConfirmedItems.needed));
  absent->SetVisible(!AbsentTicks.empty() || !ConfirmedItems.needed.empty());
  Item<TControl>("FileConfirmTotalsFilesCount")->SetCaption(std::to_string(FilesCount));
  Item<TControl>("FileConfirmTotalsFoldersCount")->SetCaption(std::to_string(FoldersCount));
  Item<TControl>("FileConfirmTotalsSize")->SetCaption(FormatSize(TotalBytes));
  Item<TControl>("FileProgressLabelCurFileNum")->SetCaption("0");
  Item<TControl>("FileProgressLabelFilesTotalNum")->SetCaption(std::to_string(FilesCount));
  auto* next = Item<TButton>("BottomNext");
  SetNextEnabled(next->Enabled() && Item<TListView>("FileConfirmListView")->Items()->Count() > 0);
}

namespace {

struct TProcessingControls {
  int page;
  const char* status;
  const char* start;
  const char* stop;
  const char* note;  // "Please wait...", shown only while the run is on
};

const TProcessingControls kProcessing[] = {
    {wpFileProgress, "FileProgressLabelStatus", "FileProgressButtonStart", "FileProgressButtonStop",
     "FileProgressNoteLabel"},
    {wpDiskProgress, "DiskProgressLabelStatus", "DiskProgressButtonStart", "DiskProgressButtonStop",
     "DiskProgressNoteLabel"},
    {wpFreeProgress, "FreeProgressLabelStatus", "FreeProgressButtonStart", "FreeProgressButtonStop",
     "FreeProgressNoteLabel"},
};

}  // namespace

void TMainForm::RefreshProcessingPage(int page) {
  // Entering the page starts its run, exactly as a click on Start would.
  if (!Done && !Busy) RunStartHandler(page);
  for (const TProcessingControls& c : kProcessing) {
    if (c.page != page) continue;
    Item<TControl>(c.status)->SetCaption(Busy ? "Working" : "Idle");
    // A finished file run cannot be started again; disk and free-space runs can.
    const bool startable = page == wpFileProgress ? !Busy && !Done : !Busy;
    Item<TButton>(c.start)->SetEnabled(startable && StartLinked(page));
    Item<TButton>(c.stop)->SetEnabled(Busy);
    Item<TControl>(c.note)->SetVisible(Busy);
  }
  // The formatting stage shows only when the drive is to be formatted.
  if (page == wpDiskProgress) {
    const bool formatting = Item<TCheckBox>("FormatCheckBoxAgree")->Checked();
    Item<TControl>("DiskProgressStep2Label")->SetVisible(formatting);
    Item<TControl>("DiskProgressBar2")->SetVisible(formatting);
  }
}

void TMainForm::RunStartHandler(int page) {
  if (page == wpFileProgress) FileProgressButtonStartClick(nullptr);
  if (page == wpDiskProgress) DiskProgressButtonStartClick(nullptr);
  if (page == wpFreeProgress) FreeProgressButtonStartClick(nullptr);
}

bool TMainForm::StartLinked(int page) const {
  if (page == wpFileProgress) return static_cast<bool>(WizardLinks.startFileWipe);
  if (page == wpDiskProgress) return static_cast<bool>(WizardLinks.startDiskWipe);
  if (page == wpFreeProgress) return static_cast<bool>(WizardLinks.startFreeSpaceWipe);
  return false;
}

void TMainForm::RunTask(const std::function<void(TMainForm*)>& start) {
  // The handler ends in CheckState; while it is on the stack (the file run
  // pumps messages) a nested CheckState must not start a second run.
  if (!start || starting) return;
  starting = true;
  try {
    start(this);
    CheckState();
  } catch (...) {
    starting = false;
    throw;
  }
  starting = false;
}

void TMainForm::CoverAnimation() {
  // The plain bar covers the animated one until the free-space run's second
  // stage; the animation, repainting on its own, must not draw over it: both
  // clip their siblings and the animated bar lies below.
  HWND animated = Item<TWinControl>("FreeProgressBar2")->Handle();
  HWND cover = Item<TWinControl>("FreeProgressBar2Hide")->Handle();
  for (HWND wnd : {animated, cover}) {
    const LONG style = GetWindowLongW(wnd, GWL_STYLE);
    if ((style & WS_CLIPSIBLINGS) == 0) SetWindowLongW(wnd, GWL_STYLE, style | WS_CLIPSIBLINGS);
  }
  SetWindowPos(animated, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  InvalidateRect(cover, nullptr, TRUE);
}
