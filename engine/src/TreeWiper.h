#pragma once
// The file task: one path, which may be a file, a folder tree or a drive
// root. Trees are wiped bottom-up without following links; a root is
// emptied, never removed. Every folder is held open while it is worked on
// and each entry is opened relative to it, checked to be the object listed;
// the protected folders, everything below them and every folder holding one
// of them are never touched.
#include <functional>
#include <string>
#include <vector>

#include "FileWiper.h"
#include "HeldParent.h"
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
  // asked to stop, Failed when anything could not be wiped. A path refused
  // before its entry was reached that is not a folder gets a finishing
  // message of a file that could not be wiped.
  // With `held` (a path that is not a root): when it holds a folder, that is
  // the path's parent, checked by an earlier call and found again by its path
  // just before (the place checks of the parent are not repeated); else the
  // parent is opened and checked as without it. Either way the parent is
  // left in `held` with the work shared by its entries (its private folder,
  // the names to overwrite), for the caller to finish (FinishHeldParent).
  WipeResult Wipe(const std::u16string& path, HeldParent* held = nullptr);

  const TreeCounts& counts() const { return counts_; }

  // Called with each listed subfolder just before it is entered; tests
  // change the tree there as another program might.
  std::function<void(const std::u16string& longPath)> beforeEnter;

 private:
  // Wipe without the finishing message of a refused path; sets reached_ once
  // the path's entry (or root) is worked on.
  WipeResult WipeReached(const std::u16string& path, HeldParent* held);
  WipeResult WipeEntry(FileWiper& wiper, const OpenFolder& parent, const Listed& entry);
  // Wipes the folder `top` (held open) and everything in it; removes it too
  // unless `keep`. `parent` is null for a root.
  WipeResult WipeTree(FileWiper& wiper, const OpenFolder* parent, OpenFolder top, bool keep);
  // Opens the listed subfolder `entry` of `parent`, checked to be a plain
  // folder with the listed identity and no protected one; false (logged and
  // counted) otherwise.
  bool EnterBelow(const OpenFolder& parent, const Listed& entry, OpenFolder& folder);
  // Opens a folder by its path (the top of the run or its parent).
  bool OpenByPath(const std::u16string& longPath, OpenFolder& folder, DWORD& error);
  // The protected folder that `folder` or one of the folders holding it is,
  // by the path that reached it and by where it really lies; null when none.
  // `unknown`: the system cannot tell where it lies (then it is not wiped).
  const std::u16string* InsideProtected(const OpenFolder& folder, bool& unknown);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  const ProtectedFolders& guard_;
  TreeCounts counts_;
  bool reached_ = false;
};

}  // namespace qv::engine
