#pragma once
// File systems mounted on folders, told from links by one test on every side
// of the file task (the tree, the confirm list; the wipe tests alike): a
// mounted folder lies at the very place its name gives, and on another volume
// than the folder holding it. Under Wine both are reparse points of no kind
// the system names, but a link is opened at its target, elsewhere; where the
// system opens a link itself (with FILE_FLAG_OPEN_REPARSE_POINT), the link
// lies at its own place on its folder's volume.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// Where an open object really lies, as the system names it ("\\??\\X:\\..."
// under Wine, a device's path elsewhere); "" when the system does not say.
std::u16string ObjectPlaceOf(HANDLE handle);

// Where an open folder lies and on which volume (under Wine the Unix device,
// elsewhere the volume serial): what the mount test compares a folder in it with.
struct TFolderPlace {
  std::u16string place;  // "" when the system does not say
  uint64_t volume = 0;
  bool volumeKnown = false;
};
TFolderPlace FolderPlaceOf(HANDLE folder);

// Whether below, opened by `name` in the folder at `above` without following
// a link, is a file system mounted there. False when it cannot be told.
bool IsMountedBelow(const TFolderPlace& above, HANDLE below, std::u16string_view name);
// The same test for the folder at path (absolute, below a root, exact name).
bool IsMountedFolder(const std::u16string& path);
