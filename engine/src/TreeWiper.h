#pragma once
// The file task: one path, which may be a file, a folder tree or a drive
// root. Trees are wiped bottom-up without following links; a root is
// emptied, never removed. Every folder is held open while it is worked on
// and each entry is opened relative to it, checked to be the object listed;
// the protected folders, everything below them and every folder holding one
// of them are never touched. Given what the run's confirm step listed, only
// that is wiped: anything else found in a folder is named, counted and kept
// with the folders holding it, and the way to the path must lead through
// plain folders that were listed.
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "FileWiper.h"
#include "HeldParent.h"
#include "Protected.h"

namespace qv::engine {

// What a run's confirm step listed, and the keys its calls have taken so
// far: each listed item is taken at most once a run, so an item made later
// that got the key of one wiped before (a file number used again) is not
// taken for it. Shared by the calls of one run.
class RunKeys {
 public:
  explicit RunKeys(const TListedItems* listed) : listed_(listed) {}
  // Listed and not taken yet.
  bool May(const TItemKey& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return QvIsListed(*listed_, key) && !taken_.count(key);
  }
  // May, and then taken.
  bool Take(const TItemKey& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return QvIsListed(*listed_, key) && taken_.insert(key).second;
  }
  // Listed, but with another creation time: changed, or put in the place of the one listed.
  bool ListedAsAnother(const TItemKey& key) const { return QvIsListedAsAnother(*listed_, key); }
  // Listed as an entry elsewhere (QvIsListedElsewhere).
  bool ListedElsewhere(const TItemKey& key, bool sameNameToo) {
    std::lock_guard<std::mutex> lock(mutex_);
    return QvIsListedElsewhere(*listed_, key, sameNameToo, [&](const TItemKey& at) { return !taken_.count(at); });
  }
  // The change time the confirm step read of the folder with own key `own` (0: none).
  uint64_t ListedChangeTime(const TItemKey& own) const { return QvListedChangeTime(*listed_, own); }
  // Failures of the run's pending work that a waiting thread did (logged to
  // the run's window then), for its end call to count in its block.
  std::atomic<uint32_t> lateFailures{0};

 private:
  const TListedItems* listed_;
  std::mutex mutex_;
  std::set<TItemKey> taken_;
};

struct TreeCounts {
  uint64_t files = 0;
  uint64_t folders = 0;
};

class TreeWiper {
 public:
  // `run` (may be null: everything found is wiped) must outlive the wiper.
  TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const ProtectedFolders& guard,
            RunKeys* run = nullptr);

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
  // Walks from the root of `folderPath` to it, each folder opened relative to
  // the one above: each must be listed there as a plain folder, open as one
  // with the identity listed, and be on the run's list (when there is one);
  // the last must be the object with `key`. Empty when the way holds; else
  // the folder (as shown to the user) where it did not.
  std::u16string WayFails(const std::u16string& folderPath, const FileKey& key);
  // Whether `entry` of `parent` is a file system mounted there: Wine lists
  // one as a reparse point of no kind the system tells, without a file ID,
  // and the folder it opens lies on another volume at the very place its
  // name gives (a link is opened at its target, elsewhere). Such an entry is
  // then taken as a plain folder listed with the file ID of the folder it
  // opens (as the program lists it), and that folder is known as a mount.
  bool AsMount(const OpenFolder& parent, Listed& entry);
  // Whether the run may wipe the object with `key` (always without a list);
  // Take also takes it for this run.
  bool MayWipe(const TItemKey& key) const;
  bool Take(const TItemKey& key) const;
  // Logs and counts an item with key that the run's list does not hold (left
  // untouched); a listed file found changed is finished as not wiped. False,
  // naming nothing, for a listed item moved here by another program: under
  // another name, or under its own in a folder that may have got it since
  // (folderChanged); the program names it once, by the path it was listed at.
  bool NameUnlisted(const std::u16string& longPath, const TItemKey& key, bool folderChanged);
  // Tells the program that the listed folder at longPath was met: removed, or not (failed).
  void FolderMet(const std::u16string& longPath, bool failed);
  // Lists `folder` again, as it is now, and names every entry that the run
  // may not wipe (not listed, or its key taken by an item gone) and that is
  // not in `known` (which then holds it), nor one of `ours` (file IDs of the
  // wipe's own items left there: its private folder, fillers); how many.
  uint32_t NameNewEntries(const OpenFolder& folder, std::set<std::u16string>& known, const std::set<uint64_t>& ours);
  // The protected folder that `folder` or one of the folders holding it is,
  // by the path that reached it and by where it really lies; null when none.
  // `unknown`: the system cannot tell where it lies (then it is not wiped).
  const std::u16string* InsideProtected(const OpenFolder& folder, bool& unknown);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  const ProtectedFolders& guard_;
  RunKeys* listed_;
  TreeCounts counts_;
  bool reached_ = false;
  std::set<TItemKey> mounts_;  // the own keys of the mounted folders met (AsMount)
};

}  // namespace qv::engine
