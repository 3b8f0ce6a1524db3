#include "HeldParent.h"

#include "DirectorySlack.h"

namespace qv::engine {

bool StillInPlace(const HeldParent& held) {
  if (!held.Holds() || held.place.empty()) return false;
  std::u16string now;
  return FileWiper::PlaceHolds(held.folder, INVALID_HANDLE_VALUE, u"", &now) && now == held.place;
}

void FinishHeldParent(HeldParent& held, Reporter& reporter) {
  if (!held.Holds()) return;
  uint64_t stagingChars = 0;
  if (ReleaseStagingFolder(held.folder, held.staging, reporter, stagingChars)) {
    held.removedChars += stagingChars;
    ++held.removedEntries;
  }
  // Not where it was checked (moved, with a link put back, into a folder the
  // system needs, say): nothing is made in it.
  if (held.removedEntries != 0)
    FillDirectorySlack(held.folder, held.removedChars, held.removedEntries, reporter,
                       held.place.empty() ? nullptr : &held.place);
  CloseHandle(held.folder.handle);
  held = HeldParent{};
}

}  // namespace qv::engine
