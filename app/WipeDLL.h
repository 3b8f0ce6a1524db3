#pragma once
// The link to the wipe engine Quorvanell.DLL: its three C functions, filling
// the packed parameter and format blocks (QuorvanellBlocks.h, shared with the
// engine), and the checks a run must pass before the engine is called. The main form's start routines and its four
// engine message handlers (WM_USER+1..4) are in WipeDLL.cpp.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "QuorvanellBlocks.h"

class TMainForm;
class TWipePattern;

// The wizard's own: back to the drive page after Start found another medium.
inline constexpr UINT WM_WIPE_CHOOSE_AGAIN = WM_USER + 20;

// Characters a path, file-system name or label may have (a terminator follows).
inline constexpr size_t kMaxBlockText = kBlockTextChars - 1;

// The engine's functions, loaded from Quorvanell.DLL in the program's folder
// on first use; false (with the reason in error) when it cannot be loaded.
using TFileWipeProc = HANDLE(__cdecl*)(void* wipeParams);
using TDriveWipeStartProc = void(__cdecl*)(void* wipeParams, void* formatParams);
using TDriveCleanFreeSpaceProc = void(__cdecl*)(void* wipeParams);
using TFileWipeListedProc = HANDLE(__cdecl*)(void* wipeParams, const void* listed);
struct TWipeEngine {
  TFileWipeProc FileWipe = nullptr;
  // FileWipe within what the confirm step listed (QuorvanellListed.h); an
  // engine that a test puts in place may leave it null.
  TFileWipeListedProc FileWipeListed = nullptr;
  TDriveWipeStartProc DriveWipeStart = nullptr;
  TDriveCleanFreeSpaceProc DriveCleanFreeSpace = nullptr;
};
bool LoadWipeEngine(TWipeEngine& engine, std::string& error);
// When set, LoadWipeEngine answers these functions instead of the library's
// (tests put an engine that fails as the real one can).
extern const TWipeEngine* WipeEngineOverride;
// At start: keeps the reason's text a later first load reports when it fails,
// as a load at start would have, without loading.
void PrepareWipeEngine();
// True once loading has been tried (whether it worked or not).
bool WipeEngineLoaded();

// Fills block (already zeroed) with the pattern's passes; a null pattern
// leaves PassCount 0. Patterns of more than 100 passes are refused earlier.
void FillPasses(TWipeParams& block, const TWipePattern* pattern);
// Whether text fits a 4096-character field whole: at most 4095 characters
// (a terminator follows), and no terminator in it.
bool FitsBlockText(const std::u16string& text);
// Copies text as UTF-16 with a terminator into a 4096-character field, the
// rest zero; false (field untouched) when it does not fit: never truncated.
bool CopyBlockText(char16_t (&field)[kBlockTextChars], const std::u16string& text);
// The parameter block's Path field, laid out by the engine's WriteBlockPaths:
// path, a terminator, then the path the run will hand over next with its
// terminator, the rest zero. Where there is no next path (empty), it holds a
// terminator, or the two do not fit together, the field holds path alone
// (all zero after its terminator: "no next path"). False (field untouched)
// when path itself does not fit.
bool CopyBlockPaths(TWipeParams& block, const std::u16string& path, const std::u16string& next);
// Fills the format block from the format page of form; false with the reason
// in error when the file-system name or the label does not fit.
bool FillFormatParams(TFormatParams& block, TMainForm* form, std::string& error);

// Why a run with pattern cannot start ("" when it can): no pattern, no
// passes, or more passes than the block holds.
std::string PatternRefusal(const TWipePattern* pattern);
// Why drive cannot be wiped whole ("" when it can): it holds the Windows
// folder or this program.
std::string DiskWipeRefusal(char drive);
// The final log line of a run: the success text, or how many items could not
// be wiped when failedCount is not 0.
std::string FinalLogLine(const std::string& successText, int32_t failedCount);

// Asks whether to stop a running wipe before closing; tests may replace it.
using TStopQuestion = bool (*)();
extern TStopQuestion AskStopBeforeClose;
// The default question: a Yes/No box "A wipe is running. Stop it and exit the application?".
bool AskStopBeforeCloseDefault();

// The file run's side of the form: BeginEngineWait / EndEngineWait bracket a
// loop that handles messages while the engine works (a close waits for its
// end); FinishFileRun logs the outcome (when reportOutcome), clears Busy,
// sets Done, frees the block and closes the form if that was asked meanwhile.
void BeginEngineWait();
void EndEngineWait();
void FinishFileRun(TMainForm* form, int32_t failedCount, bool reportOutcome);

// The start handlers of the processing pages, set as the wizard's links at
// start-up (also for tests that run the real engine).
void LinkEngine();
// True while the form may not go yet: a run is on, or the engine's last
// message is still being handled. Records a pending close when told to.
bool EngineHoldsForm(TMainForm* form);
