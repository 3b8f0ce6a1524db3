#pragma once
// A private folder made inside a held folder, into which the entries leaving
// that folder are moved before they are renamed and deleted. Some systems
// (Wine) carry out a rename through the paths the handles were opened by: a
// folder swapped for a link between the last check and the call would turn a
// rename within the folder into a rename within the folder the link leads to,
// of its entry of the same name. A move into the private folder cannot be so
// turned: the other folder holds no folder of this fresh random name, so the
// call fails there and nothing moves; later renames and the deletion name only
// entries inside the private folder, which no other folder holds either.
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FileKeys.h"

namespace qv::engine {

struct StagingFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::u16string name;
  bool keep = false;  // holds something that is not ours: never removed
  // The file IDs of the items moved into it and not known gone: what else it
  // holds is another program's.
  std::set<uint64_t> moved;
};

// Makes a folder of a fresh random name in `folder` through its handle, held
// open with delete access and without delete sharing. False with the error;
// `staging.name` then names a folder made all the same and left behind, if any.
bool MakeStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error);
// Removes the (empty) folder through its handle and checks through `folder`
// that it has gone; closes its handle either way. False with the error
// (ERROR_DIR_NOT_EMPTY when it holds something; then, with `others`, the
// names of what it holds that was not moved into it go there).
bool RemoveStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error,
                         std::vector<std::u16string>* others = nullptr);

// Who bears `name` in the open folder now: nobody (its listing has no such
// name), the object with `key`, another object, or Unknown (listed, yet it
// could not be opened for a while). Some systems look a name up by the
// folder's path, which may lead elsewhere for a moment; the listing is read
// through the handle.
enum class Bearer { Nobody, Item, Other, Unknown };
Bearer BearerOf(HANDLE folder, const std::u16string& name, const FileKey& key);

// Waits, for a while, until the open folder no longer lists `name`, which was
// marked for deletion and let go: some systems delete by path and skip it
// while the path leads elsewhere. Meanwhile the entry is opened again through
// the folder and, when it is still the object with `key`, marked again. True
// once it is gone.
bool MadeGone(HANDLE folder, const std::u16string& name, const FileKey& key);

}  // namespace qv::engine
