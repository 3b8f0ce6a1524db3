#pragma once
// The link to the wipe engine Quorvanell.DLL: the packed parameter and format
// blocks handed to it, its three C functions, and the checks a run must pass
// before the engine is called. The main form's start routines and its four
// engine message handlers (WM_USER+1..4) are in WipeDLL.cpp.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class TMainForm;
class TWipePattern;

inline constexpr UINT WM_WIPE_LOG = WM_USER + 1;
inline constexpr UINT WM_WIPE_PROGRESS = WM_USER + 2;
inline constexpr UINT WM_WIPE_DONE = WM_USER + 3;
inline constexpr UINT WM_WIPE_CANCELLED = WM_USER + 4;
// The wizard's own: back to the drive page after Start found another medium.
inline constexpr UINT WM_WIPE_CHOOSE_AGAIN = WM_USER + 20;

inline constexpr int kMaxPasses = 100;
// Characters a path, file-system name or label may have (a terminator follows).
inline constexpr size_t kMaxBlockText = 4095;

#pragma pack(push, 1)
// The engine parameter block, zero-filled when made.
struct TWipeParams {
  int32_t Active;      // 1 while the run may go on; the wizard writes 0 to stop it
  uint32_t Wnd;        // the window the engine reports to
  char Drive;          // ANSI drive letter (disk and free-space tasks)
  int64_t Total;       // engine: file size, or the range of Progress
  int32_t Progress;    // engine: percent of the file, or position within Total
  int32_t State;       // engine: 0 with Progress 100 when a file is finished
  int32_t Reserved1;   // always 0
  int32_t Reserved2;   // engine: count of items that could not be wiped
  char16_t Path[4096];  // NUL-terminated path (file task)
  int32_t PassCount;
  uint8_t Passes[kMaxPasses][4];  // Fill, then the three Sequence bytes
};

// The format block of a disk wipe that formats afterwards.
struct TFormatParams {
  char Drive;
  uint8_t Padding[3];
  uint32_t Wnd;
  int32_t Zero1;
  int32_t Zero2;
  int32_t ClusterIndex;  // 512 << index bytes; -1 when none is chosen
  int32_t QuickFormat;
  int32_t Compression;
  char16_t FileSystem[4096];
  char16_t VolumeLabel[4096];
};
#pragma pack(pop)

static_assert(sizeof(TWipeParams) == 8629);
static_assert(offsetof(TWipeParams, Active) == 0);
static_assert(offsetof(TWipeParams, Wnd) == 4);
static_assert(offsetof(TWipeParams, Drive) == 8);
static_assert(offsetof(TWipeParams, Total) == 9);
static_assert(offsetof(TWipeParams, Progress) == 17);
static_assert(offsetof(TWipeParams, State) == 21);
static_assert(offsetof(TWipeParams, Reserved1) == 25);
static_assert(offsetof(TWipeParams, Reserved2) == 29);
static_assert(offsetof(TWipeParams, Path) == 33);
static_assert(offsetof(TWipeParams, PassCount) == 8225);
static_assert(offsetof(TWipeParams, Passes) == 8229);
static_assert(sizeof(TFormatParams) == 16412);
static_assert(offsetof(TFormatParams, Drive) == 0);
static_assert(offsetof(TFormatParams, Wnd) == 4);
static_assert(offsetof(TFormatParams, Zero1) == 8);
static_assert(offsetof(TFormatParams, Zero2) == 12);
static_assert(offsetof(TFormatParams, ClusterIndex) == 16);
static_assert(offsetof(TFormatParams, QuickFormat) == 20);
static_assert(offsetof(TFormatParams, Compression) == 24);
static_assert(offsetof(TFormatParams, FileSystem) == 28);
static_assert(offsetof(TFormatParams, VolumeLabel) == 8220);

// The engine's functions, loaded from Quorvanell.DLL in the program's folder
// on first use; false (with the reason in error) when it cannot be loaded.
using TFileWipeProc = HANDLE(__cdecl*)(void* wipeParams);
using TDriveWipeStartProc = void(__cdecl*)(void* wipeParams, void* formatParams);
using TDriveCleanFreeSpaceProc = void(__cdecl*)(void* wipeParams);
struct TWipeEngine {
  TFileWipeProc FileWipe = nullptr;
  TDriveWipeStartProc DriveWipeStart = nullptr;
  TDriveCleanFreeSpaceProc DriveCleanFreeSpace = nullptr;
};
bool LoadWipeEngine(TWipeEngine& engine, std::string& error);

// Fills block (already zeroed) with the pattern's passes; a null pattern
// leaves PassCount 0. Patterns of more than 100 passes are refused earlier.
void FillPasses(TWipeParams& block, const TWipePattern* pattern);
// Copies text as UTF-16 with a terminator into a 4096-character field; false
// (field untouched) when it has more than 4095 characters: never truncated.
bool CopyBlockText(char16_t (&field)[4096], const std::u16string& text);
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
