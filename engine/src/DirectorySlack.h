#pragma once
// Overwrites the names that removed entries leave in a folder's own data.
// Many file systems keep a deleted entry's name in the folder until the space
// is reused; filling the folder with empty files of random names (long ones
// first, then shorter ones for the gaps left over) reuses that space, and the
// fillers are deleted again.
#include <cstdint>
#include <set>
#include <string>

#include "FileWiper.h"
#include "Reporter.h"

namespace qv::engine {

// `removedNameChars` and `removedEntries` describe the entries that left the
// folder. A full folder or disk ends the filling (the expected end); a filler
// that cannot be made for another reason, or deleted again, is reported and
// counted. The fillers are made through the folder's handle, and none at all
// when its path no longer leads to it (it was moved or replaced), or, with
// `place`, when it no longer lies there (PlaceOf; see StillInPlace). A stop
// request does not cut the filling short: the names of what was wiped go too.
// With `left`, the file IDs of the fillers that stay (counted) go there.
void FillDirectorySlack(const OpenFolder& folder, uint64_t removedNameChars, uint64_t removedEntries,
                        Reporter& reporter, const std::u16string* place = nullptr,
                        std::set<uint64_t>* left = nullptr);

// Makes one empty filler `name` in the folder (a new file, opened for
// writing); tests put one that fails or counts in its place.
using FillerCreate = HANDLE (*)(HANDLE folder, const std::u16string& name, DWORD& error);
extern FillerCreate gCreateFiller;
HANDLE SystemCreateFiller(HANDLE folder, const std::u16string& name, DWORD& error);

}  // namespace qv::engine
