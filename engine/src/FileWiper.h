#pragma once
// Wipes single entries of a folder through handles: every pass over the whole
// allocated length (flushed before the next), then truncation, renaming to
// random names of the same length, and deletion. Links are removed, never
// followed. Every entry is opened by its name relative to the handle of the
// folder it was listed in, and checked to be the object listed.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AlignedBuffer.h"
#include "FileKeys.h"
#include "PassPattern.h"
#include "Protected.h"
#include "Reporter.h"
#include "StagingFolder.h"

namespace qv::engine {

enum class WipeResult { Wiped, Failed, Stopped };

// True for a directory entry that is a link to elsewhere: a reparse point
// whose tag is a name surrogate (symbolic link, junction, mount point), or
// one whose tag the system does not tell.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);
// True for a reparse point that holds data of its own (cloud placeholders,
// deduplicated files): it is not overwritten as a plain file.
bool IsDataReparseEntry(DWORD attributes, DWORD reparseTag);

// A folder held open while its entries are worked on: opened without
// FILE_SHARE_DELETE, so it can be neither renamed nor removed meanwhile.
struct OpenFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::u16string path;  // extended-length form; for messages and the place checks
  FileIdentity identity;
  FileKey key;  // of the handle: what the checks before each change compare with
};

// An entry as its folder listed it.
struct Listed {
  std::u16string name;
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  uint64_t fileId = 0;
  TEntryStamp stamp;  // as keys hold it
};

// The steps at which another program may change the tree; tests replace this
// call to do so (the path is the item's).
// DeletingFolder: an emptied folder moved into its parent's private folder,
// just before it is marked for deletion (the path is its name there).
enum class WipeStep { Entering, Overwriting, Renaming, Deleting, RemovingLink, RemovingFolder, DeletingFolder };
extern std::function<void(WipeStep step, const std::u16string& longPath)> gWipeStep;
void AtStep(WipeStep step, const std::u16string& longPath);

// The named streams of an open file (":name:$DATA"), and one of them opened
// for overwriting; tests put stand-ins in their place where the file system
// has no streams.
using StreamLister = bool (*)(HANDLE file, std::vector<std::u16string>& names);
using StreamOpener = HANDLE (*)(HANDLE file, const std::u16string& name, DWORD& error);
extern StreamLister gListStreams;
extern StreamOpener gOpenStream;
HANDLE SystemOpenStream(HANDLE file, const std::u16string& name, DWORD& error);

// Renames the open item to `name` in the open folder (RenameBelow); tests put
// one in its place that moves another item instead, as a system renaming by
// path may when a folder is swapped in the middle of the call.
using RenameCall = bool (*)(HANDLE item, HANDLE folder, const std::u16string& name, DWORD& error);
extern RenameCall gRename;

// Removes the private folder `staging` of `folder` (see
// FileWiper::ReleaseStaging) and closes its handle; false when there is none,
// when it is kept (logged; what another program put in it is named and
// counted) or when it could not be removed (counted). With `left`, the file
// ID of a private folder that stays goes there.
bool ReleaseStagingFolder(const OpenFolder& folder, StagingFolder& staging, Reporter& reporter,
                          uint64_t& nameChars, std::set<uint64_t>* left = nullptr);

class FileWiper {
 public:
  FileWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const AlignedBuffer& buffer);
  ~FileWiper();
  FileWiper(const FileWiper&) = delete;
  FileWiper& operator=(const FileWiper&) = delete;

  // Wipes the file `entry` of `folder`. A file that cannot be opened, that has
  // other names (hard links), or that is no longer the file listed is logged,
  // counted and left as it was. Each item counts once however many of its
  // steps fail; one gone with a step failed (its flush, time stamps, slack or
  // rename) is Failed, never counted as wiped.
  WipeResult WipeFile(const OpenFolder& folder, const Listed& entry);
  // Removes the link `entry` itself after checking on its own handle that it
  // still is the link listed; where it cannot be checked, it is left.
  WipeResult RemoveLink(const OpenFolder& folder, const Listed& entry);
  // A reparse point that holds data of its own is left and counted.
  WipeResult LeaveDataReparse(const OpenFolder& folder, const Listed& entry);
  // Renames the emptied folder `item` (open with DELETE access) within
  // `parent` to random names and removes it.
  // Closes `item`'s handle once it is marked for deletion, and checks that it
  // has gone. With `putBack`: a folder that something came into after it
  // was emptied is moved back under its name, held in `item` again, and
  // Failed is returned with `putBack` set and nothing counted (the caller
  // names what came in); where that cannot be done it is counted as usual.
  WipeResult RemoveFolder(const OpenFolder& parent, OpenFolder& item, bool* putBack = nullptr);
  // Whether the folder's path still leads to the folder held open, and the
  // path of `name` in it to the open `item` (when given). Some systems carry
  // out handle calls through paths; a folder moved and replaced by a link
  // would then send them elsewhere. With `place`, where the folder its path
  // leads to lies now (PlaceOf; empty when unknown). With `opened`, the
  // folder's path is opened for listing too, and the handle, when it led to
  // the folder, is handed over there (the caller closes it).
  static bool PlaceHolds(const OpenFolder& folder, HANDLE item, const std::u16string& name,
                         std::u16string* place = nullptr, HANDLE* opened = nullptr);
  // Removes the private folder made in `folder` for the entries leaving it
  // (see StagingFolder.h), when one was made; call before the folder's old
  // names are overwritten and before it is let go. True when one was removed
  // (`nameChars`: the length of its name, which left the folder too). One that
  // holds an item moved in from elsewhere is kept (that item was counted).
  // With `left`, the file ID of one that stays goes there.
  bool ReleaseStaging(const OpenFolder& folder, uint64_t& nameChars, std::set<uint64_t>* left = nullptr);
  // Hands the private folder of `folder` over to another wiper, which takes
  // it with AdoptStaging (so that entries of a folder held across several
  // wipers share one); an invalid handle when none was made.
  StagingFolder TakeStaging(const OpenFolder& folder);
  void AdoptStaging(const OpenFolder& folder, const StagingFolder& staging);
  // The cluster sizes asked for (by volume root), to hand to the wiper of a
  // later call in the same held folder instead of asking again.
  const std::map<std::u16string, uint32_t>& KnownClusterBytes() const { return clusterBytes_; }
  void KnowClusterBytes(const std::map<std::u16string, uint32_t>& known) { clusterBytes_ = known; }

 private:
  // `name` becomes the file's last name relative to `folder`.
  WipeResult OverwriteAndDelete(const OpenFolder& folder, HANDLE file, std::u16string& name, int64_t& fileSize);
  // Whether the entry `name` (relative to `folder`) marked for deletion and let
  // go has gone from the folder's private folder, as its handle lists it; one
  // still there, still the object with `key`, is marked and let go again, for
  // a while (see MadeGone). True for an entry outside the private folder
  // (deleted as an object).
  bool EnsureGone(const OpenFolder& folder, const std::u16string& name, const FileKey& key);
  // Every pass over each named stream, then cut to zero; Stopped or Failed
  // (logged) leaves the stream being worked on with its length.
  WipeResult OverwriteNamedStreams(HANDLE file, const std::u16string& longPath);
  // Writes every pass over [0, size), then the slack up to `length`; reports
  // percent of the file when `progressPath` is given. Returns false when
  // stopped or failed (logged).
  bool OverwriteRange(HANDLE file, uint64_t size, uint64_t length, uint32_t cluster, const std::u16string& what,
                      const std::u16string* progressPath, bool& stopped);
  enum class Place { Here, Elsewhere, Unknown };
  // Whether the open file really is the entry `name` of `folder`: some
  // systems open the target of a symbolic link to a file as a plain file.
  // `key` is the file's, as read through `file`.
  static Place WhereLeads(const OpenFolder& folder, HANDLE file, const FileKey& key, const std::u16string& name);
  // Moves the open item `name` of `folder` into the folder's private folder
  // under a random name of the length of `name`, then renames it there twice
  // more; after each call, checks that the item itself bears the new name.
  // `name` becomes its name relative to `folder` ("private\\random").
  // Failed (counted): not moved or not renamed on, yet nothing else was moved.
  // Displaced (counted): another item bears the new name, or the item is not
  // found under it; nothing more may be done with the item then.
  enum class Move { Moved, Failed, Displaced };
  Move MoveAway(const OpenFolder& folder, HANDLE item, std::u16string& name);
  StagingFolder* StagingFor(const OpenFolder& folder, DWORD& error);
  // Why the item could not be renamed to `next` in the folder's private
  // folder, nothing having moved: the system's error, or what lies behind it.
  static std::u16string RenameFailure(const OpenFolder& folder, const StagingFolder& staging,
                                      const std::u16string& next, DWORD error);
  // Puts the item `inStaging` of the folder's private folder, which a rename
  // meant for another item took from the folder that `folder`'s path led to
  // for a moment, back there under `name`; tried for a while, since the path
  // must lead there while it is looked up, and the private folder's path to
  // the private folder while the item is moved. False when it stays.
  bool PutBack(const OpenFolder& folder, const StagingFolder& staging, const std::u16string& inStaging,
               const std::u16string& name);
  // Moves the folder `item`, found not empty in the folder's private folder
  // as `inStaging` ("private\\random"), back into `folder` under its own name,
  // checked there by its key; `item` holds it open again. False when it stays.
  bool PutBackFolder(const OpenFolder& folder, OpenFolder& item, const std::u16string& inStaging);
  uint32_t ClusterBytes(const std::u16string& longPath);
  // Logs a failure of the item being worked on, counting the item once
  // however many of its steps fail.
  void Fault(const std::u16string& line);

  Reporter& reporter_;
  const std::vector<PassSpec>& passes_;
  const AlignedBuffer& buffer_;
  std::map<std::u16string, uint32_t> clusterBytes_;
  std::map<HANDLE, StagingFolder> staging_;  // by the handle of the folder holding it
  std::u16string stepPath_;  // the file being overwritten, for the step call
  bool faulted_ = false;     // the item being worked on has failed (counted)
};

}  // namespace qv::engine
