#pragma once
// Overwrites the names that removed entries leave in a folder's own data.
// Many file systems keep a deleted entry's name in the folder until the space
// is reused; filling the folder with empty files of random names (long ones
// first, then shorter ones for the gaps left over) reuses that space, and the
// fillers are deleted again.
#include <cstdint>
#include <string>

#include "FileWiper.h"
#include "Reporter.h"

namespace qv::engine {

// `removedNameChars` and `removedEntries` describe the entries that left the
// folder. Best effort: a filler that cannot be made ends the filling quietly;
// a filler that cannot be deleted again is reported. The fillers are made
// through the folder's handle, and none at all when its path no longer leads
// to it (it was moved or replaced).
void FillDirectorySlack(const OpenFolder& folder, uint64_t removedNameChars, uint64_t removedEntries,
                        Reporter& reporter);

}  // namespace qv::engine
