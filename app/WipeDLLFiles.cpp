// The file run: the checked paths handed to the engine one at a time, each
// with the path that follows it, each waited for while the form keeps
// handling messages (the engine sends its progress), with Stop taking effect
// between paths. Just before a path goes, it is looked up on disk again: an
// item another program removed or turned into another kind meanwhile is
// named as not there and not wiped.
#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "../shell/DiskCheck.h"
#include "../shell/ErrorModeScope.h"
#include "../shell/NodeStorage.h"
#include "../shell/WideStringList.h"
#include "FileListing.h"
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

// A path of the run, with the kind it had when ticked when the storage made
// the list (checked on disk again just before it is handed over).
struct TRunPath {
  std::u16string path;
  bool kindKnown = false;
  bool folder = false;
};

// The confirmed paths that the ticks still name now: the disk may have
// changed since the confirm step. A confirmed path whose tick no longer names
// the item there goes to gone; a path ticked since was never confirmed. A
// list the storage did not make is taken as it is.
std::vector<TRunPath> StillTicked(TMainForm* form, std::vector<std::u16string>& gone) {
  TWideStringList* list = form->FilesToWipeList;
  std::vector<TRunPath> confirmed;
  for (int i = 0; i < list->Count(); ++i) confirmed.push_back(TRunPath{list->Strings(i)});
  TRootNodeStorage* storage = form->FileTreeStorage;
  if (storage == nullptr || list != storage->CheckedFileNames()) return confirmed;
  TWideStringList* now = storage->GetCheckedFileNames(cnkTopmost);
  const std::vector<bool>& folders = storage->CheckedFolders();
  std::unordered_map<std::u16string, bool> current;
  for (int i = 0; i < now->Count(); ++i)
    current.emplace(now->Strings(i), static_cast<size_t>(i) < folders.size() && folders[static_cast<size_t>(i)]);
  std::vector<TRunPath> kept;
  for (TRunPath& run : confirmed) {
    auto found = current.find(run.path);
    if (found == current.end()) {
      gone.push_back(std::move(run.path));
      continue;
    }
    run.kindKnown = true;
    run.folder = found->second;
    kept.push_back(std::move(run));
  }
  return kept;
}

// Whether run is still on disk as it was ticked; a path of unknown kind is taken as it is.
bool StillThere(TDiskCheck& disk, const TRunPath& run) {
  if (!run.kindKnown) return true;
  TErrorModeScope quiet;
  return disk.Matches(run.path, run.folder);
}

// The path after paths[from - 1] that the run will hand over: the first that
// fits the block and is on disk as ticked now ("" when none). The engine
// keeps a folder's shared work for the path it was told of; when that path
// is refused at its turn and no later one is handed over, the engine does
// that work on its own timer, after the run has ended.
std::u16string NextHandedOver(TDiskCheck& disk, const std::vector<TRunPath>& paths, size_t from) {
  for (size_t i = from; i < paths.size(); ++i)
    if (FitsBlockText(paths[i].path) && StillThere(disk, paths[i])) return paths[i].path;
  return u"";
}

// Hands path (with the path to follow) to the engine, within listed when
// given and the engine can take that; null when no wipe could be started.
HANDLE HandOver(const TWipeEngine& engine, TWipeParams* block, const TListedItems* listed) {
  return engine.FileWipeListed != nullptr ? engine.FileWipeListed(block, listed) : engine.FileWipe(block);
}

void SetBar(TMainForm* form, const char* name, int position, int maximum) {
  auto* bar = form->Item<TProgressBar>(name);
  bar->SetMax(maximum);
  bar->SetPosition(position);
}

// Whether path names one of ticks (trailing backslashes aside).
bool NamesAny(std::u16string_view path, const std::vector<std::u16string>& ticks) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  for (std::u16string_view tick : ticks) {
    while (!tick.empty() && tick.back() == u'\\') tick.remove_suffix(1);
    if (tick == path) return true;
  }
  return false;
}

// Whether the engine met (and finished) the folder that holds path.
bool FolderMet(TMainForm* form, std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  const size_t slash = path.find_last_of(u'\\');
  return slash != std::u16string_view::npos && form->FilesFinished.count(std::u16string(path.substr(0, slash + 1))) != 0;
}

// Names each listed file and folder that the run never met (the engine
// sends a finished message for each it meets, wiped or not), with the reason
// found now, unless it is a tick named already; returns how many. What a
// named tick holds is named item by item, as under a tick the engine
// refused. One no longer where it was listed (or another item in its place)
// was moved or deleted by another program; one changed there in a folder
// the run met is named so (the engine names it only where it cannot have
// been moved in); one still there otherwise, changed or not, was not reached
// (a folder on its way was refused, named above); one that cannot be looked
// up now is named with the system's reason.
int32_t NameListedNotMet(TMainForm* form, const std::vector<std::u16string>& namedTicks) {
  int32_t count = 0;
  for (const TListedItem& row : FileConfirmRows(form->Item<TListView>("FileConfirmListView"))) {
    if (!row.found || !row.keyed || form->FilesFinished.count(row.path) != 0 || NamesAny(row.path, namedTicks))
      continue;
    TItemKey now;
    const DWORD error = EntryKeyOfPath(row.path, now);
    std::string why = MiscText("strListedGone");
    const bool there =
        error == 0 && now.volume == row.key.volume && now.fileId == row.key.fileId && now.name == row.key.name;
    if (there && now.stamp != row.key.stamp && FolderMet(form, row.path)) {
      // Its folder was met: the engine left it to be named here, as it may have been moved in.
      AppendWideLine(form->Item<TMemo>("FileProgressLog"), row.path + AnsiToWide(MiscText("strListedChanged")));
      ++count;
      continue;
    }
    if (there)
      why = MiscText("strListedNotReached");
    else if (error != 0 && !IsNotFound(error))
      why = ReplacePlaceholder(MiscText("strListedNotLookedUp"), "%s", WideToAnsi(ErrorWords(error)));
    AppendWideLine(form->Item<TMemo>("FileProgressLog"), AnsiToWide(why + " ") + row.path);
    ++count;
  }
  return count;
}

// Whether the file at path is the one its confirm row lists, unchanged: an
// engine told only the path would wipe whatever has that name by then.
bool SameAsListed(const std::unordered_map<std::u16string, const TListedItem*>& rows, const std::u16string& path) {
  auto found = rows.find(path);
  if (found == rows.end() || !found->second->keyed) return false;
  TItemKey now;
  return EntryKeyOfPath(path, now) == 0 && now == found->second->key;
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
  const bool loaded = LoadWipeEngine(engine, error);
  if (!loaded || (engine.FileWipe == nullptr && engine.FileWipeListed == nullptr)) {
    // Loaded without the file task's call, the engine is there all the same.
    AppendLog("FileProgressLog", !loaded ? (error.empty() ? MiscText("strEngineNotLoaded") : error)
                                         : MiscText("strEngineLacksFileTask"));
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
  FilesFinished.clear();
  // Ticked items that are not there reach no engine: named, and counted as not wiped.
  std::vector<std::u16string> notThere = AbsentTicks;
  std::vector<TRunPath> paths = StillTicked(this, notThere);
  for (const std::u16string& path : notThere)
    AppendWideLine(Item<TMemo>("FileProgressLog"), AnsiToWide(MiscText("strNotThereNotWiped") + " ") + path);
  int32_t refused = static_cast<int32_t>(notThere.size());
  // The ticks named here: their rows are not named again (what they hold is, item by item).
  std::vector<std::u16string> namedTicks = notThere;
  auto refuse = [&](const char* key, const std::u16string& named, const std::u16string& tick) {
    AppendWideLine(Item<TMemo>("FileProgressLog"), AnsiToWide(MiscText(key) + " ") + named);
    ++refused;
    namedTicks.push_back(tick);
  };
  // Nor do those the system or this program needs, or reached through a link
  // (the engine would refuse them too).
  std::unordered_map<std::u16string, const TNeededTick*> needed;
  for (const TNeededTick& tick : ConfirmedItems.needed) needed.emplace(tick.path, &tick);
  if (!needed.empty()) {
    std::vector<TRunPath> kept;
    for (TRunPath& run : paths) {
      auto found = needed.find(run.path);
      if (found == needed.end()) {
        kept.push_back(std::move(run));
        continue;
      }
      const TNeededTick& tick = *found->second;
      refuse(NeededTickTextKey(tick, /*confirmPage=*/false), NeededTickNamed(tick), run.path);
    }
    paths = std::move(kept);
  }
  // The engine takes nothing the confirm step did not list; the keys live
  // until the run's end. (A list the storage did not make had no confirm
  // step: it is taken as it is.)
  const std::vector<TItemKey> keys = ConfirmedItems.keys;
  const std::vector<TFolderTime> folderTimes = ConfirmedItems.folderTimes;
  const TListedItems listed = ListedItemsOf(keys, folderTimes);
  const bool confirmed = FileTreeStorage != nullptr && FilesToWipeList == FileTreeStorage->CheckedFileNames();
  BeginEngineWait();
  // Folders above the paths are looked up once for the run; each path's own
  // entry just before it is handed over.
  TDiskCheck disk;
  std::unordered_map<std::u16string, const TListedItem*> rows;
  if (confirmed && engine.FileWipeListed == nullptr)
    for (const TListedItem& row : FileConfirmRows(Item<TListView>("FileConfirmListView"))) rows.emplace(row.path, &row);
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::u16string& path = paths[i].path;
    // A cut path could name a parent folder: a path that does not fit is refused.
    if (!FitsBlockText(path)) {
      refuse("strPathTooLong", path.substr(0, 260) + u"...", path);
      continue;
    }
    // An engine that cannot be told the listed items would wipe whatever a
    // folder holds by then: a folder (or what may be one) is refused.
    if (confirmed && engine.FileWipeListed == nullptr && (paths[i].folder || !paths[i].kindKnown)) {
      refuse("strFolderNotListed", path, path);
      continue;
    }
    // Another program may have removed or replaced it while earlier paths were wiped.
    if (!StillThere(disk, paths[i])) {
      refuse("strNotThereNotWiped", path, path);
      continue;
    }
    if (confirmed && engine.FileWipeListed == nullptr && !SameAsListed(rows, path)) {
      AppendWideLine(Item<TMemo>("FileProgressLog"), path + u": " + AnsiToWide(MiscText("strChangedNotWiped")));
      ++refused;
      namedTicks.push_back(path);
      continue;
    }
    CopyBlockPaths(*block, path, NextHandedOver(disk, paths, i + 1));
    HANDLE done = HandOver(engine, block, confirmed ? &listed : nullptr);
    if (done == nullptr) {
      // The engine has counted this failure in the block already. A Stop
      // pressed meanwhile counts before the next path, as after a wiped one.
      AppendWideLine(Item<TMemo>("FileProgressLog"), AnsiToWide(MiscText("strEngineNotStarted") + " ") + path);
      namedTicks.push_back(path);
      Application->ProcessMessages();
    } else {
      WaitForPath(this, done, token);
      CloseHandle(done);
    }
    if (!*token || StopRequested) break;
  }
  // The work the engine keeps for a path named as the next one (a folder's
  // fillers and private folder) is done now and counted in this run, also
  // when that path was refused at its turn.
  if (*token && engine.FileWipeListed != nullptr) {
    CopyBlockPaths(*block, u"", u"");
    if (HANDLE done = engine.FileWipeListed(block, &listed)) {
      WaitForPath(this, done, token);
      CloseHandle(done);
    }
  }
  // The engine's last posted log lines.
  for (int i = 0; i < 101 && *token; ++i) Application->ProcessMessages();
  EndEngineWait();
  if (!*token) return;
  int32_t failed = block->Reserved2 + refused;
  // Listed files that the run never met were not wiped either: each is named
  // and counted, whatever else failed (a stop leaves the rest as it is).
  if (!StopRequested && confirmed) failed += NameListedNotMet(this, namedTicks);
  FinishFileRun(this, failed, true);
}
