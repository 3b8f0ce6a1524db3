// The file run: the checked paths handed to the engine one at a time, each
// waited for while the form keeps handling messages (the engine sends its
// progress), with Stop taking effect between paths.
#include <unordered_set>

#include "../shell/NodeStorage.h"
#include "../shell/WideStringList.h"
#include "Language.h"
#include "MiscTexts.h"
#include "MainForm.h"
#include "Settings.h"
#include "Utils.h"
#include "WideText.h"
#include "WipeDLL.h"
#include "win/TextConvert.h"
#include "win/controls/StdCtrls.h"
#include "win/controls/ComCtrls.h"

namespace {

// The confirmed paths that the ticks still name now: the disk may have
// changed since the confirm step. A confirmed path whose tick no longer names
// the item there goes to gone; a path ticked since was never confirmed. A
// list the storage did not make is taken as it is.
std::vector<std::u16string> StillTicked(TMainForm* form, std::vector<std::u16string>& gone) {
  TWideStringList* list = form->FilesToWipeList;
  std::vector<std::u16string> confirmed;
  for (int i = 0; i < list->Count(); ++i) confirmed.push_back(list->Strings(i));
  TRootNodeStorage* storage = form->FileTreeStorage;
  if (storage == nullptr || list != storage->CheckedFileNames()) return confirmed;
  TWideStringList* now = storage->GetCheckedFileNames(cnkTopmost);
  std::unordered_set<std::u16string> current;
  for (int i = 0; i < now->Count(); ++i) current.insert(now->Strings(i));
  std::vector<std::u16string> kept;
  for (std::u16string& path : confirmed) (current.count(path) != 0 ? kept : gone).push_back(std::move(path));
  return kept;
}

void SetBar(TMainForm* form, const char* name, int position, int maximum) {
  auto* bar = form->Item<TProgressBar>(name);
  bar->SetMax(maximum);
  bar->SetPosition(position);
}

// Waits for the engine's handle, handling every message meanwhile (sent
// progress included); a Stop reaches the engine at once.
void WaitForPath(TMainForm* form, HANDLE done, TAliveToken& token) {
  while (WaitForSingleObject(done, 0) == WAIT_TIMEOUT) {
    Application->ProcessMessages();
    if (*token && form->StopRequested && form->CurrentParams != nullptr)
      *reinterpret_cast<volatile int32_t*>(form->CurrentParams) = 0;
    MsgWaitForMultipleObjects(1, &done, FALSE, 50, QS_ALLINPUT);
  }
}

}  // namespace

void TMainForm::StartFileWipe() {
  TWipeEngine engine;
  std::string error;
  if (!LoadWipeEngine(engine, error)) {
    AppendLog("FileProgressLog", error);
    Done = true;
    return;
  }
  Busy = true;
  SetBar(this, "FileProgressBar1", 0, 100);
  SetBar(this, "FileProgressBar2", 0, 100);
  // The page shows the run as on (Stop usable) from its start, not from the
  // engine's first progress message, which a path that fails may never send.
  CheckState();
  auto* block = static_cast<TWipeParams*>(GetWipeParams());
  if (FilesToWipeList == nullptr) {
    // Nothing to wipe is an error, but no reason to stay busy for ever.
    AppendLog("FileProgressLog", "Internal Error: FilesToWipeList is NULL!");
    FinishFileRun(this, 0, false);
    return;
  }
  TAliveToken token = Alive();
  // Ticked items that are not there reach no engine: named, and counted as not wiped.
  std::vector<std::u16string> notThere = AbsentTicks;
  const std::vector<std::u16string> paths = StillTicked(this, notThere);
  for (const std::u16string& path : notThere)
    AppendWideLine(Item<TMemo>("FileProgressLog"), AnsiToWide(MiscText("strNotThereNotWiped") + " ") + path);
  int32_t refused = static_cast<int32_t>(notThere.size());
  BeginEngineWait();
  for (const std::u16string& path : paths) {
    // A cut path could name a parent folder: a path that does not fit is refused.
    if (!CopyBlockText(block->Path, path)) {
      AppendWideLine(Item<TMemo>("FileProgressLog"),
                     AnsiToWide(MiscText("strPathTooLong") + " ") + path.substr(0, 260) + u"...");
      ++refused;
      continue;
    }
    HANDLE done = engine.FileWipe(block);
    if (done == nullptr) {
      // The engine has counted this failure in the block already. A Stop
      // pressed meanwhile counts before the next path, as after a wiped one.
      AppendWideLine(Item<TMemo>("FileProgressLog"), AnsiToWide(MiscText("strEngineNotStarted") + " ") + path);
      Application->ProcessMessages();
    } else {
      WaitForPath(this, done, token);
      CloseHandle(done);
    }
    if (!*token || StopRequested) break;
  }
  // The engine's last posted log lines.
  for (int i = 0; i < 101 && *token; ++i) Application->ProcessMessages();
  EndEngineWait();
  if (!*token) return;
  FinishFileRun(this, block->Reserved2 + refused, true);
}
