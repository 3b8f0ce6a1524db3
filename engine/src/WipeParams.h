#pragma once
// The two packed records that the program hands to the engine, byte for byte.
// Fields keep the names the program uses; the layout is fixed by the program.
#include <cstddef>
#include <cstdint>

namespace qv::engine {

inline constexpr int kMaxPasses = 100;
inline constexpr int kPathChars = 4096;  // 4095 characters and a terminator

#pragma pack(push, 1)
struct TWipeParams {
  int32_t Active;             // 1 while the run may go on; the program writes 0 to stop
  uint32_t Wnd;               // window that receives the engine messages
  char Drive;                 // ANSI drive letter (disk and free-space tasks)
  int64_t Total;              // engine: file size, or the range of Progress
  int32_t Progress;           // engine: percent of the file, or position within Total
  int32_t State;              // engine: files: 0 with Progress 100 marks a finished file
  int32_t Reserved1;          // 0
  int32_t Reserved2;          // engine: number of items that could not be wiped
  char16_t Path[kPathChars];  // file task: NUL-terminated UTF-16 path
  int32_t PassCount;          // passes in use
  uint8_t Passes[kMaxPasses * 4];  // per pass: Fill, then three Sequence bytes
};

struct TFormatParams {
  char Drive;
  uint8_t padding[3];
  uint32_t Wnd;
  uint32_t zero1;
  uint32_t zero2;
  int32_t ClusterIndex;  // allocation unit 512 << index bytes; -1 for the default
  int32_t QuickFormat;
  int32_t Compression;
  char16_t FileSystem[kPathChars];   // "FAT", "FAT32", "NTFS" or empty
  char16_t VolumeLabel[kPathChars];
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
static_assert(offsetof(TFormatParams, Wnd) == 4);
static_assert(offsetof(TFormatParams, ClusterIndex) == 16);
static_assert(offsetof(TFormatParams, QuickFormat) == 20);
static_assert(offsetof(TFormatParams, Compression) == 24);
static_assert(offsetof(TFormatParams, FileSystem) == 28);
static_assert(offsetof(TFormatParams, VolumeLabel) == 8220);

// Engine messages, sent or posted to Wnd.
inline constexpr unsigned kMsgLog = 0x400 + 1;        // WParam: LocalAlloc'ed UTF-16 line
inline constexpr unsigned kMsgProgress = 0x400 + 2;   // see README.md
inline constexpr unsigned kMsgDone = 0x400 + 3;
inline constexpr unsigned kMsgCancelled = 0x400 + 4;

}  // namespace qv::engine
