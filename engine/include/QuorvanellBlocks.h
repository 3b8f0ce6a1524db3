#pragma once
// What passes between the program and Quorvanell.DLL, byte for byte: the
// packed parameter block and format block the program hands over, and the
// window messages the engine sends back (see engine/README.md). The program
// and the engine both build on this one definition.
#include <cstddef>
#include <cstdint>

// Passes a block holds.
inline constexpr int kMaxPasses = 100;
// Characters of a text field: 4095 and a terminator.
inline constexpr int kBlockTextChars = 4096;

#pragma pack(push, 1)
// The parameter block, zero-filled by the program when made.
struct TWipeParams {
  int32_t Active;                 // 1 while the run may go on; the program writes 0 to stop it
  uint32_t Wnd;                   // the window the engine reports to
  char Drive;                     // ANSI drive letter (disk and free-space tasks)
  int64_t Total;                  // engine: file size, or the range of Progress
  int32_t Progress;               // engine: percent of the file, or position within Total
  int32_t State;                  // engine: 0 with Progress 100 when a file is finished (2: not wiped;
                                  // 3 and 4: a listed folder met, removed or not)
  int32_t Reserved1;              // always 0
  int32_t Reserved2;              // engine: count of items that could not be wiped
  char16_t Path[kBlockTextChars];  // file task: NUL-terminated UTF-16 path
  int32_t PassCount;              // passes in use
  uint8_t Passes[kMaxPasses][4];  // per pass: Fill, then the three Sequence bytes
};

// The format block of a disk wipe that formats afterwards.
struct TFormatParams {
  char Drive;
  uint8_t Padding[3];
  uint32_t Wnd;
  int32_t Zero1;
  int32_t Zero2;
  int32_t ClusterIndex;  // allocation unit 512 << index bytes; -1 when none is chosen
  int32_t QuickFormat;
  int32_t Compression;
  char16_t FileSystem[kBlockTextChars];   // "FAT", "FAT32", "NTFS" or empty
  char16_t VolumeLabel[kBlockTextChars];
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

// The engine's messages, numbered from WM_USER (0x0400).
inline constexpr unsigned WM_WIPE_LOG = 0x0400 + 1;        // WParam: LocalAlloc'ed UTF-16 line
inline constexpr unsigned WM_WIPE_PROGRESS = 0x0400 + 2;   // file path or format percent; LParam the stage
inline constexpr unsigned WM_WIPE_DONE = 0x0400 + 3;       // LParam: the flags below
inline constexpr unsigned WM_WIPE_CANCELLED = 0x0400 + 4;  // LParam: kWipeNoFileSystem or 0
// Flags of the end messages' LParam.
inline constexpr unsigned kWipeFormatFailed = 1;  // WM_WIPE_DONE: formatting failed, WParam its reason
inline constexpr unsigned kWipeNoFileSystem = 2;  // the disk task wrote the drive and it now holds no file system
