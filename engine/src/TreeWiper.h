#pragma once
// The file task: one path, which may be a file, a folder tree or a drive
// root. Trees are wiped bottom-up without following links; a root is
// emptied, never removed. Folders are entered through handles that are
// checked to be the folder listed (no link swapped in, same identity, the
// expected final path) and never one of the protected folders or their
// ancestors.
#include <functional>
#include <string>
#include <vector>

#include "FileWiper.h"
#include "Protected.h"

namespace qv::engine {

struct TreeCounts {
  uint64_t files = 0;
  uint64_t folders = 0;
};

class TreeWiper {
 public:
  TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const ProtectedFolders& guard);

  // Wipes the path and logs the outcome. Returns Stopped when the program
  // asked to stop, Failed when anything could not be wiped.
  WipeResult Wipe(const std::u16string& path);

  const TreeCounts& counts() const { return counts_; }

  // Called with each listed subfolder just before it is entered; tests
  // change the tree there as another program might.
  std::function<void(const std::u16string& longPath)> beforeEnter;

 private:
  struct Expected {
    std::u16string finalPath;  // empty: only that some final path exists
    uint64_t fileId = 0;       // 0: not known
    DWORD volumeSerial = 0;    // of the parent; 0: not known
  };
  WipeResult WipeFolder(const std::u16string& longPath, const Expected& expected, bool keepFolder);
  // Opens a folder without following a link in its place and makes sure it is
  // the one expected and no protected one; INVALID_HANDLE_VALUE (logged and
  // counted) otherwise. `finalPath` receives the folder's final path.
  HANDLE EnterFolder(const std::u16string& longPath, const Expected& expected, std::u16string& finalPath);
  // What the folder at longPath must turn out to be when entered: its
  // parent's final path and its name.
  Expected ExpectedFromParent(const std::u16string& longPath);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  const ProtectedFolders& guard_;
  TreeCounts counts_;
  DWORD folderSerial_ = 0;  // volume serial of the folder EnterFolder opened last
};

}  // namespace qv::engine
