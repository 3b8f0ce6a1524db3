#pragma once
// The folder of entries wiped one call at a time (the program hands over
// every ticked item by a call of its own), held open from one call to the
// next when the next item lies in it too. What the calls share is then done
// once, for all of them, when the folder is let go: its private folder for
// renaming is removed, and the names the wiped entries left in the folder's
// own data are overwritten.
#include <cstdint>
#include <map>
#include <string>

#include "FileWiper.h"
#include "Reporter.h"
#include "StagingFolder.h"

namespace qv::engine {

struct HeldParent {
  OpenFolder folder;      // invalid handle when no folder is held
  std::u16string place;   // where it lay when its place was checked (PlaceOf)
  StagingFolder staging;  // its private folder; invalid handle when none was made
  uint64_t removedChars = 0;  // of the names gone from the folder since it was opened
  uint64_t removedEntries = 0;
  std::map<std::u16string, uint32_t> clusterBytes;  // of its volume, once asked for
  // A second handle of it, opened by its path when StillInPlace found it
  // there, for the next call to list it through as it is now (the held one
  // answers from its first listing); that call closes it.
  HANDLE fresh = INVALID_HANDLE_VALUE;

  bool Holds() const { return folder.handle != INVALID_HANDLE_VALUE; }
};

// Whether the held folder's path still leads to it, and it still lies where
// it lay when its place was checked: a folder moved elsewhere (into a folder
// the system needs, say) is not taken for itself because a link put in its
// old place leads to it. When it does, the handle its path opened is kept in
// `fresh`.
bool StillInPlace(HeldParent& held);

// Does the work left for the held folder (failures are logged and counted
// by `reporter`) and lets it go; `held` is empty afterwards.
void FinishHeldParent(HeldParent& held, Reporter& reporter);

}  // namespace qv::engine
