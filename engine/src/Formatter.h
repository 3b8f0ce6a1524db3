#pragma once
// Formatting after a disk wipe: through the system's formatting service where
// it exists, else FAT12/16/32 written by FatFormatter.
#include <cstdint>
#include <string>

#include "Reporter.h"
#include "Volume.h"
#include "QuorvanellBlocks.h"

namespace qv::engine {

struct FormatRequest {
  char drive = 0;
  std::u16string fileSystem;  // "FAT", "FAT32", "NTFS", ...
  std::u16string label;
  bool fieldsTerminated = true;  // false when a text filled its whole field
  int32_t clusterIndex = -1;     // 512 << index bytes; negative: the default
  bool quick = false;
  bool compression = false;

  uint32_t ClusterBytes() const { return clusterIndex < 0 || clusterIndex > 7 ? 0 : 512u << clusterIndex; }
};

// Copies the caller's format block.
FormatRequest ReadFormatParams(const TFormatParams& params);

enum class FormatEnd { Formatted, Failed, Stopped };

// Formats the wiped, locked volume. The volume may be closed on return (the
// system service opens the drive itself). Failures are logged and counted.
FormatEnd FormatDrive(Volume& volume, const FormatRequest& request, Reporter& reporter);

// Our own FAT writer, on the open and locked volume.
FormatEnd FormatFat(Volume& volume, const FormatRequest& request, bool fat32, Reporter& reporter);

// The system's formatting service: present or not, and a format through it.
// Its library (fmifs.dll) is loaded by its full path in the system folder
// only; null where there is none.
HMODULE LoadSystemFormatLibrary();
bool SystemFormatAvailable();
FormatEnd SystemFormat(const FormatRequest& request, Reporter& reporter);

}  // namespace qv::engine
