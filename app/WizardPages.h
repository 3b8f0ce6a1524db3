#pragma once
// The wizard's pages (indices of PageControlMain, as PageTable stores them)
// and the translated heading of each task's steps.

enum TWizardPage {
  wpWelcome = 0,
  wpAlgoritm = 1,
  wpFileSelect = 2,
  wpFileConfirm = 3,
  wpFileProgress = 4,
  wpDiskSelect = 5,
  wpFormat = 6,
  wpDiskWarning = 7,
  wpDiskProgress = 8,
  wpFreeProgress = 9,
};
inline constexpr int kWizardPageCount = 10;

struct TStepHeading {
  const char* key;          // LangString ident in section "Misc"
  const char* defaultText;  // the built-in English heading
};

// The heading of step (1-based) of task (1..3); null for the welcome step and
// for steps a task does not have.
const TStepHeading* StepHeading(int task, int step);
// The name of the heading label of page; null for the welcome page.
const char* PageHeadingLabel(int page);
// The tab sheet's name of page; null out of range.
const char* PageSheetName(int page);
// The page index of step (1-based) of task, or -1 when there is no such step
// (task 0, or a step outside 1..10).
int PageOfStep(int task, int step);
// True when a processing page (the last step of each task).
bool IsProcessingPage(int page);
