#pragma once
// The two drive tasks. Each runs on its own thread and ends with the done or
// cancelled message; the block is not touched after that message.
#include <optional>
#include <vector>

#include "Formatter.h"
#include "PassPattern.h"
#include "WipeParams.h"

namespace qv::engine {

struct DriveJob {
  TWipeParams* block = nullptr;  // the caller's; Active, Total, Progress, Reserved2 live there
  char drive = 0;                // upper-case letter, or 0 when the block's was not a letter
  std::vector<PassSpec> passes;  // empty when the block's pass count was unusable
  std::optional<FormatRequest> format;
};

// Overwrites every sector of the drive with each pass, then formats.
void RunDiskWipe(const DriveJob& job);
// Fills the drive's free space with each pass, cleans up, deletes all it made.
void RunFreeSpaceWipe(const DriveJob& job);

// Drives that a disk wipe refuses: the one holding the Windows folder and the
// one holding the engine (and so the program). Upper-case letters.
bool IsProtectedDrive(char drive, const std::u16string& windowsFolder, const std::u16string& engineFile);
// Units for Total: the smallest power-of-two multiple of `unit` that keeps
// passes * (bytes / result) within 31 bits.
uint64_t ProgressUnit(uint64_t bytes, size_t passes, uint64_t unit);

}  // namespace qv::engine
