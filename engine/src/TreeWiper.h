#pragma once
// The file task: one path, which may be a file, a folder tree or a drive
// root. Trees are wiped bottom-up without following links; a root is
// emptied, never removed.
#include <string>
#include <vector>

#include "FileWiper.h"

namespace qv::engine {

struct TreeCounts {
  uint64_t files = 0;
  uint64_t folders = 0;
};

class TreeWiper {
 public:
  TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes);

  // Wipes the path and logs the outcome. Returns Stopped when the program
  // asked to stop, Failed when anything could not be wiped.
  WipeResult Wipe(const std::u16string& path);

  const TreeCounts& counts() const { return counts_; }

 private:
  WipeResult WipeFolder(const std::u16string& longPath, bool keepFolder);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  TreeCounts counts_;
};

}  // namespace qv::engine
