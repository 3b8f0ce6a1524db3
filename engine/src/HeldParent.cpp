#include "HeldParent.h"

#include "DirectorySlack.h"

namespace qv::engine {

bool StillInPlace(HeldParent& held) {
  if (!held.Holds() || held.place.empty()) return false;
  std::u16string now;
  HANDLE byPath = INVALID_HANDLE_VALUE;
  const bool there = FileWiper::PlaceHolds(held.folder, INVALID_HANDLE_VALUE, u"", &now, &byPath) && now == held.place;
  if (byPath != INVALID_HANDLE_VALUE && !there) CloseHandle(byPath);
  if (!there) return false;
  if (held.fresh != INVALID_HANDLE_VALUE) CloseHandle(held.fresh);
  held.fresh = byPath;
  return true;
}

void FinishHeldParent(HeldParent& held, Reporter& reporter) {
  if (held.fresh != INVALID_HANDLE_VALUE) CloseHandle(held.fresh);
  held.fresh = INVALID_HANDLE_VALUE;
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
