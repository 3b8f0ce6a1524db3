// The main form's side of the engine link: the start routines of the disk and
// free-space runs, the engine's four messages, and the blocks' lifetime.
#include <climits>
#include <memory>

#include "Drives.h"
#include "Language.h"
#include "MiscTexts.h"
#include "MainForm.h"
#include "ProgressBar.h"
#include "Settings.h"
#include "Units.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "WipeDLL.h"
#include "WideText.h"
#include "WizardPages.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

// The blocks of the latest start. A new start happens only while no run is
// on, so the engine has sent its last message for the previous ones.
std::unique_ptr<TWipeParams> gParams;
std::unique_ptr<TFormatParams> gFormat;
int gProgressDepth = 0;     // WMWipeProgress handlers on the stack (they pump messages)
bool gClosePending = false;  // the user asked to close while a run was on

}  // namespace

bool AskStopBeforeCloseDefault() {
  const std::string text =
      MiscText("strConfirmStopAndExit");
  const std::string caption = MiscText("strConfirmation");
  // Modal to the wizard: nothing of it can be used while the question is open.
  HWND owner = MainForm != nullptr && MainForm->HandleAllocated() ? MainForm->Handle() : Application->Handle();
  return MessageBoxA(owner, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

namespace {

TWipeParams* Params(TMainForm* form) { return static_cast<TWipeParams*>(form->CurrentParams); }

void WriteActive(TWipeParams* block, int32_t value) {
  // A single aligned store the engine's thread reads; the block starts with it.
  if (block != nullptr) *reinterpret_cast<volatile int32_t*>(&block->Active) = value;
}

// Sets a bar's range before its position, so the position is never clamped
// to the range of the previous stage. A range beyond 31 bits is halved with
// the position until it fits.
void ShowBar(TMainForm* form, const char* name, uint32_t position, uint32_t maximum) {
  auto* bar = form->Item<TProgressBar>(name);
  if (bar == nullptr) return;
  while (maximum > static_cast<uint32_t>(INT_MAX)) {
    maximum >>= 1;
    position >>= 1;
  }
  bar->SetMax(static_cast<int>(maximum));
  bar->SetPosition(static_cast<int>(std::min(position, maximum)));
}

// The name of the file being wiped, as it is.
void ShowFileName(TMainForm* form, const std::u16string& name) {
  if (auto* label = form->Item<TWideLabel>("FileProgressLabelFilename")) label->SetWideCaption(name);
}

void FreeBlocks(TMainForm* form) {
  form->CurrentParams = nullptr;
  gParams.reset();
  gFormat.reset();
}

void CloseIfPending(TMainForm* form) {
  if (gClosePending && !form->Busy && gProgressDepth == 0) PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
}

void Refuse(TMainForm* form, const char* log, const std::string& reason) {
  form->AppendLog(log, reason);
  form->AppendLog(log, "");
  // The page counts as run, so the next refresh does not ask again; Start retries.
  form->Done = true;
  if (UtilsErrorReporter != nullptr) UtilsErrorReporter(reason);
}

const TWipePattern* SelectedPattern() { return DataStorage != nullptr ? DataStorage->GetSelectedPattern() : nullptr; }

// The Start handler of a task (1 files, 2 disk, 3 free space).
void StartTask(TMainForm* form, int task) {
  static const char* const kLogs[] = {nullptr, "FileProgressLog", "DiskProgressLog", "FreeProgressLog"};
  const char* log = kLogs[task];
  const TWipePattern* pattern = SelectedPattern();
  std::string refusal = PatternRefusal(pattern);
  if (refusal.empty() && task == 2) refusal = DiskWipeRefusal(form->DriveLetter);
  if (refusal.empty() && task != 1 && form->DriveNumber == 0) refusal = MiscText("strNoDrive");
  TWipeEngine engine;
  std::string error;
  if (refusal.empty() && !LoadWipeEngine(engine, error)) refusal = error;
  if (!refusal.empty()) return Refuse(form, log, refusal);
  // A medium swapped under the same letter since it was chosen is not wiped:
  // the user chooses again on the drive page.
  if (task != 1) refusal = MediumChangedRefusal(form->DriveLetter);
  if (!refusal.empty()) {
    Refuse(form, log, refusal);
    PostMessageW(form->Handle(), WM_WIPE_CHOOSE_AGAIN, 0, 0);
    return;
  }
  form->AppendLog(log, "Wipe algorithm selected: " + pattern->Name + " (" +
                           std::to_string(pattern->Passes->Count()) + ")");
  if (task == 1) form->StartFileWipe();
  if (task == 2) form->StartDiskWipe();
  if (task == 3) form->StartFreeSpaceWipe();
}

}  // namespace

TStopQuestion AskStopBeforeClose = AskStopBeforeCloseDefault;

const TMessageMap* TMainForm::ClassMessageMap() {
  static const TMessageMap map(TForm::ClassMessageMap(), {
                                                             OnMessage(WM_WIPE_LOG, &TMainForm::WMWipeLog),
                                                             OnMessage(WM_WIPE_PROGRESS, &TMainForm::WMWipeProgress),
                                                             OnMessage(WM_WIPE_DONE, &TMainForm::WMWipeDone),
                                                             OnMessage(WM_WIPE_CANCELLED, &TMainForm::WMWipeCancelled),
                                                             OnMessage(WM_WIPE_CHOOSE_AGAIN, &TMainForm::WMWipeChooseAgain),
                                                         });
  return &map;
}

void* TMainForm::GetWipeParams() {
  gParams = std::make_unique<TWipeParams>();
  TWipeParams& block = *gParams;
  block = TWipeParams{};
  block.Active = 1;
  block.Wnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Handle()));
  block.Drive = DriveLetter;
  block.Reserved1 = 0;
  FillPasses(block, SelectedPattern());
  CurrentParams = &block;
  return &block;
}

void TMainForm::StartDiskWipe() {
  TWipeEngine engine;
  std::string error;
  if (!LoadWipeEngine(engine, error)) return Refuse(this, "DiskProgressLog", error);
  gFormat.reset();
  if (Item<TCheckBox>("FormatCheckBoxAgree")->Checked()) {
    gFormat = std::make_unique<TFormatParams>();
    if (!FillFormatParams(*gFormat, this, error)) {
      gFormat.reset();
      return Refuse(this, "DiskProgressLog", error);
    }
  }
  Busy = true;
  ShowBar(this, "DiskProgressBar1", 0, 100);
  ShowBar(this, "DiskProgressBar2", 0, 100);
  engine.DriveWipeStart(GetWipeParams(), gFormat.get());
}

void TMainForm::StartFreeSpaceWipe() {
  TWipeEngine engine;
  std::string error;
  if (!LoadWipeEngine(engine, error)) return Refuse(this, "FreeProgressLog", error);
  Busy = true;
  ShowBar(this, "FreeProgressBar2Hide", 0, 100);
  ShowBar(this, "FreeProgressBar1", 0, 100);
  engine.DriveCleanFreeSpace(GetWipeParams());
}

void TMainForm::WMWipeLog(TMessage& message) {
  auto* text = reinterpret_cast<char16_t*>(message.WParam);
  if (text == nullptr) return;
  // Names in the line (of wiped files above all) are shown as they are.
  std::u16string line = text;
  LocalFree(reinterpret_cast<HLOCAL>(text));
  if (line.size() > 2048) line.resize(2048);
  static const char* const kLogs[] = {nullptr, "FileProgressLog", "DiskProgressLog", "FreeProgressLog"};
  if (Task >= 1 && Task <= 3) AppendWideLine(Item<TMemo>(kLogs[Task]), line);
}

void TMainForm::WMWipeProgress(TMessage& message) {
  TWipeParams* block = Params(this);
  if (StopRequested) WriteActive(block, 0);
  if (block != nullptr) {
    const auto totalLow = static_cast<uint32_t>(static_cast<uint64_t>(block->Total) & 0xFFFFFFFFu);
    const auto progress = static_cast<uint32_t>(std::max(block->Progress, 0));
    if (Task == 1) {
      ShowBar(this, "FileProgressBar1", progress, 100);
      // A file finished with State 2 could not be wiped: the engine counts it
      // among the failures, never among the files wiped. Either way it was
      // met, and so was a listed folder finished with State 3 (removed) or 4.
      const auto* finished = reinterpret_cast<const char16_t*>(message.WParam);
      if ((block->State == 0 || (block->State >= 2 && block->State <= 4)) && block->Progress == 100 && finished)
        FilesFinished.emplace(finished);
      if (block->State == 0 && block->Progress == 100) {
        ++FilesWiped;
        ShowBar(this, "FileProgressBar2", static_cast<uint32_t>(FilesWiped),
                static_cast<uint32_t>(std::max<int64_t>(FilesCount, 1)));
        Item<TControl>("FileProgressLabelCurFileNum")->SetCaption(std::to_string(FilesWiped));
      }
      const auto* path = reinterpret_cast<const char16_t*>(message.WParam);
      std::u16string name = path != nullptr ? std::u16string(path) : std::u16string();
      if (!name.empty() && name.back() == u'\\') name.pop_back();
      const size_t slash = name.find_last_of(u'\\');
      ShowFileName(this, slash == std::u16string::npos ? name : name.substr(slash + 1));
    } else if (Task == 2 && message.LParam == 1) {
      ShowBar(this, "DiskProgressBar1", progress, totalLow);
    } else if (Task == 2 && message.LParam == 2) {
      ShowBar(this, "DiskProgressBar2", static_cast<uint32_t>(message.WParam), 100);
    } else if (Task == 3) {
      ShowBar(this, "FreeProgressBar1", progress, totalLow);
      auto* bar = Item<TProgressBar>("FreeProgressBar1");
      // Stage 2 shows the animation lying under the plain bar.
      if (bar->Max() > 0 && bar->Position() == bar->Max()) Item<TControl>("FreeProgressBar2Hide")->Hide();
    }
  }
  CheckState();
  TAliveToken token = Alive();
  ++gProgressDepth;
  Application->ProcessMessages();
  --gProgressDepth;
  if (*token) CloseIfPending(this);
}

void TMainForm::WMWipeDone(TMessage& message) {
  // When formatting failed after the wipe, the engine sends its reason along.
  std::string formatFailure;
  if ((message.LParam & kWipeFormatFailed) && message.WParam != 0) {
    auto* text = reinterpret_cast<char16_t*>(message.WParam);
    formatFailure = WideStringToString(text);
    LocalFree(reinterpret_cast<HLOCAL>(text));
  }
  // The file run ends itself, between its paths.
  if (Task == 1) return;
  const int32_t failed = gParams != nullptr ? gParams->Reserved2 : 0;
  Busy = false;
  StopRequested = false;
  Done = true;
  FreeBlocks(this);
  if (Task == 2) {
    // One line per stage: the wipe's outcome, then the formatting's failure.
    AppendLog("DiskProgressLog", FinalLogLine(MiscText("strDriveSuccessfulyWiped"), failed));
    if (!formatFailure.empty())
      AppendLog("DiskProgressLog", MiscText("strFormatFailed") + " " + formatFailure);
    // The last word: a drive wiped and not formatted is of no use until it is.
    if (message.LParam & kWipeNoFileSystem) AppendLog("DiskProgressLog", MiscText("strDriveHoldsNoFileSystem"));
    AppendLog("DiskProgressLog", "");
  }
  if (Task == 3) {
    // Full bars say that all of the free space was wiped: only then are both full.
    ShowBar(this, "FreeProgressBar2Hide", failed == 0 ? 100 : 0, 100);
    Item<TControl>("FreeProgressBar2Hide")->Show();
    Item<TDProgressBar>("FreeProgressBar2")->SetPosition(0);
    AppendLog("FreeProgressLog",
              FinalLogLine(MiscText("strFreeSpaceSucessfullyCleaned"), failed));
    AppendLog("FreeProgressLog", "");
  }
  CheckState();
  CloseIfPending(this);
}

void TMainForm::WMWipeCancelled(TMessage& message) {
  if (Task == 1) return;
  Busy = false;
  StopRequested = false;
  Done = true;
  FreeBlocks(this);
  const std::string cancelled = MiscText("strActionCancelled");
  if (Task == 2) {
    AppendLog("DiskProgressLog", cancelled);
    if (message.LParam & kWipeNoFileSystem) AppendLog("DiskProgressLog", MiscText("strDriveHoldsNoFileSystem"));
    AppendLog("DiskProgressLog", "");
  }
  if (Task == 3) {
    ShowBar(this, "FreeProgressBar2Hide", 0, 100);
    Item<TControl>("FreeProgressBar2Hide")->Show();
    Item<TDProgressBar>("FreeProgressBar2")->SetPosition(0);
    AppendLog("FreeProgressLog", cancelled);
  }
  CheckState();
  CloseIfPending(this);
}

void TMainForm::WMWipeChooseAgain(TMessage&) {
  if (Busy || Task < 2) return;
  Step = 2;
  Done = false;
  DrivesNeedScan = true;
  ShowPage(wpDiskSelect);
  CheckState();
}

bool EngineHoldsForm(TMainForm* form) {
  static bool asking = false;  // the question is on the screen (its box handles messages)
  if (!form->Busy && gProgressDepth == 0 && !asking) {
    gClosePending = false;
    return false;
  }
  if (gClosePending || asking) return true;
  if (form->Busy) {
    asking = true;
    const bool stop = AskStopBeforeClose != nullptr && AskStopBeforeClose();
    asking = false;
    if (!stop) return true;
    // The run may have ended while the question was shown.
    if (!form->Busy && gProgressDepth == 0) return false;
    if (form->Busy) {
      form->StopRequested = true;
      WriteActive(Params(form), 0);
    }
  }
  gClosePending = true;
  return true;
}

void BeginEngineWait() { ++gProgressDepth; }
void EndEngineWait() { --gProgressDepth; }

void FinishFileRun(TMainForm* form, int32_t failedCount, bool reportOutcome) {
  if (reportOutcome && form->StopRequested) {
    form->AppendLog("FileProgressLog", MiscText("strActionCancelled"));
    form->AppendLog("FileProgressLog", "");
  } else if (reportOutcome) {
    // Full bars say that everything was wiped: only then are they filled.
    if (failedCount == 0) {
      ShowBar(form, "FileProgressBar1", 10, 10);
      ShowBar(form, "FileProgressBar2", 10, 10);
    }
    form->AppendLog("FileProgressLog",
                    FinalLogLine(MiscText("strFilesSuccessfulyWiped"), failedCount));
    form->AppendLog("FileProgressLog", "");
  }
  form->Busy = false;
  form->Done = true;
  FreeBlocks(form);
  form->CheckState();
  form->StopRequested = false;
  form->TreeNeedsBuild = true;
  CloseIfPending(form);
}

void LinkEngine() {
  WizardLinks.startFileWipe = [](TMainForm* form) { StartTask(form, 1); };
  WizardLinks.startDiskWipe = [](TMainForm* form) { StartTask(form, 2); };
  WizardLinks.startFreeSpaceWipe = [](TMainForm* form) { StartTask(form, 3); };
  WizardLinks.fillDrivesList = FillDrivesList;
  WizardLinks.refreshFormatPage = RefreshFormatPage;
}

namespace {

// The library is loaded by the first run (the welcome page needs none of it);
// a missing or damaged one is reported when a run starts, as ever.
void StartEngineLink() {
  LinkEngine();
  PrepareWipeEngine();
}

const TUnitRegistrar kEngineLinks(StartEngineLink, nullptr, "engine link");

}  // namespace
