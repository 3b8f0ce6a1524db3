#pragma once
// Wipes single files: every pass over the whole allocated length (flushed
// before the next), then truncation, renaming to random names of the same
// length, and deletion. Links are removed, never followed.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "AlignedBuffer.h"
#include "PassPattern.h"
#include "Reporter.h"

namespace qv::engine {

enum class WipeResult { Wiped, Failed, Stopped };

// True for a directory entry that is a link to elsewhere (symbolic link,
// junction or mount point, or a reparse point of unknown kind), as opposed to
// reparse points that hold their own data (cloud files, deduplicated or
// compressed files), which are wiped like any file or folder.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);

class FileWiper {
 public:
  FileWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const AlignedBuffer& buffer);

  // Wipes the file at `longPath` (extended-length form) whose directory entry
  // shows `attributes` (not a link) and, when not 0, the file ID `expectedId`.
  // A file that cannot be opened, that has other names (hard links), or that
  // is no longer the file listed is logged, counted and left as it was.
  WipeResult WipeFile(const std::u16string& longPath, DWORD attributes, uint64_t expectedId);
  // Removes a link (symbolic link, junction, other reparse point) itself.
  WipeResult RemoveLink(const std::u16string& longPath, bool isFolder);
  // Renames an emptied folder to random names and removes it.
  WipeResult RemoveFolder(const std::u16string& longPath);

 private:
  WipeResult OverwriteAndDelete(HANDLE file, const std::u16string& longPath, int64_t& fileSize);
  bool OverwriteNamedStreams(const std::u16string& longPath);
  // Writes every pass over [0, size), then the slack up to `length`; reports
  // percent of the file when `progressPath` is given. Returns false when
  // stopped or failed (logged).
  bool OverwriteRange(HANDLE file, uint64_t size, uint64_t length, uint32_t cluster, const std::u16string& what,
                      const std::u16string* progressPath, bool& stopped);
  enum class Place { Here, Elsewhere, Unknown };
  // Where the open handle really leads, compared with the folder of longPath.
  Place WhereLeads(HANDLE file, const std::u16string& longPath);
  // Renames to random names of the same length; each failure is counted.
  std::u16string RenameAway(const std::u16string& longPath);
  uint32_t ClusterBytes(const std::u16string& longPath);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  const AlignedBuffer& buffer_;
  std::map<std::u16string, uint32_t> clusterBytes_;
};

}  // namespace qv::engine
