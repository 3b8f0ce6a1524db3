#include "WizardPages.h"

#include "Settings.h"

namespace {

// Indexed by task - 1, then step - 2 (the welcome step has no heading).
const TStepHeading kHeadings[3][5] = {
    {{"strWipeFileStep1", "Wipe File - Step 1 of 4: Check files"},
     {"strWipeFileStep2", "Wipe File - Step 2 of 4: Select algorithm"},
     {"strWipeFileStep3", "Wipe File - Step 3 of 4: Confirm file list"},
     {"strWipeFileStep4", "Wipe File - Step 4 of 4: Processing"},
     {nullptr, nullptr}},
    {{"strWipeDiskStep1", "Wipe Disk - Step 1 of 5: Select disk"},
     {"strWipeDiskStep2", "Wipe Disk - Step 2 of 5: Select algorithm"},
     {"strWipeDiskStep3", "Wipe Disk - Step 3 of 5: Disk format option"},
     {"strWipeDiskStep4", "Wipe Disk - Step 4 of 5: Confirm disk erase"},
     {"strWipeDiskStep5", "Wipe Disk - Step 5 of 5: Processing"}},
    {{"strWipeFreeStep1", "Wipe Free Space - Step 1 of 3: Select disk"},
     {"strWipeFreeStep2", "Wipe Free Space - Step 2 of 3: Select algorithm"},
     {"strWipeFreeStep3", "Wipe Free Space - Step 3 of 3: Processing"},
     {nullptr, nullptr},
     {nullptr, nullptr}},
};

const char* const kHeadingLabels[kWizardPageCount] = {
    nullptr,           "AlgoritmTopLabel",    "FileSelectTopLabel",  "FileConfirmTopLabel",
    "FileProgressTopLabel", "DiskSelectTopLabel", "FormatTopLabel", "DiskWarningTopLabel",
    "DiskProgresstOPLabel", "FreeProgressTopLabel",
};

const char* const kSheets[kWizardPageCount] = {
    "WelcomeTabSheet",   "AlgoritmTabSheet", "FileSelectTabSheet",  "FileConfirmTabSheet",
    "FileProgressTabSheet", "DiskSelectTabSheet", "FormatTabSheet", "DiskWarningTabSheet",
    "DiskProgressTabSheet", "FreeProgressTabSheet",
};

}  // namespace

const TStepHeading* StepHeading(int task, int step) {
  if (task < 1 || task > 3 || step < 2 || step > 6) return nullptr;
  const TStepHeading* heading = &kHeadings[task - 1][step - 2];
  return heading->key != nullptr ? heading : nullptr;
}

const char* PageHeadingLabel(int page) {
  if (page < 0 || page >= kWizardPageCount) return nullptr;
  return kHeadingLabels[page];
}

const char* PageSheetName(int page) {
  if (page < 0 || page >= kWizardPageCount) return nullptr;
  return kSheets[page];
}

int PageOfStep(int task, int step) {
  if (task < 0 || task > 3 || step < 1 || step > 10) return -1;
  return PageTable[task][step - 1];
}

bool IsProcessingPage(int page) {
  return page == wpFileProgress || page == wpDiskProgress || page == wpFreeProgress;
}
