#pragma once
// The two drive tasks. Each runs on its own thread and ends with the done or
// cancelled message; the block is not touched after that message.
#include <optional>
#include <vector>

#include "Formatter.h"
#include "Reporter.h"
#include "PassPattern.h"
#include "Protected.h"
#include "QuorvanellBlocks.h"
#include "VolumeSpace.h"

namespace qv::engine {

struct DriveJob {
  TWipeParams* block = nullptr;  // the caller's; Active, Total, Progress, Reserved2 live there
  char drive = 0;                // upper-case letter, or 0 when the block's was not a letter
  std::vector<PassSpec> passes;  // empty when the block's pass count was unusable
  std::optional<FormatRequest> format;
  ProtectedFolders guard;        // the volumes holding these are never touched
};

// Overwrites every sector of the drive with each pass, then formats.
void RunDiskWipe(const DriveJob& job);
// Fills the drive's free space with each pass, cleans up, deletes all it made.
void RunFreeSpaceWipe(const DriveJob& job);

// The drive as the log names it: "R:".
std::u16string DriveName(char drive);
// Logs and counts the refusal of a drive whose volume holds a protected
// folder; false when the drive may be wiped.
bool RefuseProtectedDrive(const DriveJob& job, Reporter& reporter);
// The free-space query of the free-space task (SystemDiskFreeSpace); tests put
// one in its place that reports space held back by a quota or a reserve.
using DiskFreeSpaceQuery = bool (*)(const std::u16string& root, VolumeSpace& space);
extern DiskFreeSpaceQuery gDiskFreeSpace;
// Creates a new work file of the free-space task for writing (INVALID_HANDLE_VALUE
// and the last error set when it cannot); tests put a failing one in its place.
using WorkFileCreate = HANDLE (*)(const std::u16string& path);
extern WorkFileCreate gCreateWorkFile;
HANDLE SystemCreateWorkFile(const std::u16string& path);
// Units for Total: the smallest power-of-two multiple of `unit` that keeps
// passes * (bytes / result) within 31 bits.
uint64_t ProgressUnit(uint64_t bytes, size_t passes, uint64_t unit);

}  // namespace qv::engine
