#pragma once
// What the engine never destroys: the system's folders (the Windows folder,
// the root of its drive, the folder holding the engine and so the program)
// and every folder that contains one of them, whatever name or drive letter
// reaches them; for the drive tasks, the volumes holding them.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FileKeys.h"

namespace qv::engine {

// A file or folder as the file system knows it, whatever path reached it.
struct FileIdentity {
  DWORD volumeSerial = 0;
  uint64_t fileId = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The identity, attributes and link count of an open handle; false when the
// system does not say.
struct HandleFacts {
  FileIdentity identity;
  DWORD attributes = 0;
  DWORD links = 0;
};
bool FactsOf(HANDLE handle, HandleFacts& facts);

// The final path of an open handle in "\\?\" form; empty when the system
// cannot name it.
std::u16string FinalPathOf(HANDLE handle);
// The path of an open handle within its volume ("\\a\\b"); empty when unknown.
std::u16string VolumePathOf(HANDLE handle);
// Where an open object lies, for comparing with the place of another one:
// under Wine its drive and path ("\\?\\X:\\a\\b"), taken from its real place
// (the drive whose root lies deepest above it), so two objects that share a
// place share a folder; elsewhere its path within its volume. Empty when unknown.
std::u16string PlaceOf(HANDLE handle);

class ProtectedFolders {
 public:
  // This system's: the Windows folder (with its drive's root, an ancestor),
  // the folder holding the engine and the folder of the running program.
  static ProtectedFolders ForThisSystem();
  // The given folders (full paths) and all their ancestors.
  static ProtectedFolders ForPaths(const std::vector<std::u16string>& folders);

  // The protected folder that the open folder is, or contains; null when
  // none. `display` is its path for the log, used only when no identity is known.
  // Under Wine the host's folders holding a protected folder's drive count too.
  const std::u16string* Covered(const FileIdentity& folder, const std::u16string& longPath,
                                const FileKey& key = {}) const;
  // The protected folder that the open folder is (so that everything below
  // it is protected too); null when none.
  const std::u16string* Is(const FileIdentity& folder, const std::u16string& longPath, const FileKey& key = {}) const;

  // Where an open folder really lies, whatever letter, link or mapping led to
  // it: at or below a protected folder (`which` names it), outside them all,
  // or Unknown when the system cannot tell, which callers treat as inside.
  // Under Wine the folders above it up to its drive's root, as its real place
  // names them, are compared with the protected folders (one open each), and
  // the drive's root is looked up among every folder found at or below them.
  // Elsewhere its volume and its path within the volume are compared with
  // theirs.
  enum class Place { Outside, Inside, Unknown };
  Place Locate(HANDLE folder, const FileKey& key, const std::u16string*& which) const;
  // Under Wine, the protected folder at or above the folder with this key,
  // among those found below the protected folders (see Locate; listed first
  // when that was not done for them, and again before answering that it lies
  // there): for a subfolder opened through a folder already located. Null
  // when none.
  const std::u16string* Holding(const FileKey& key) const;
  // Under Wine, the protected folder whose drive's root lies below the folder
  // with this key, a folder of the host above that root (the prefix, with the
  // registry files beside the drive, reached through Z: or a letter): the
  // files directly in it are kept as the folder is. Null when none, and for
  // the drive's root and the folders on the drive.
  const std::u16string* HoldingDriveOf(const FileKey& key) const;
  // Whether drive `letter` holds a protected folder, recognised by letter, by
  // volume name, by the serial number of its root and by its root's final
  // path, so that another letter or mount point of the same volume is
  // recognised too. Unknown (treated as protected) when the drive cannot be
  // identified at all: neither its root nor its volume name can be read.
  enum class DriveKind { Free, Protected, Unknown };
  DriveKind OnDrive(char letter, const std::u16string*& folder) const;

  const std::vector<std::u16string>& folders() const { return folders_; }

  // Whether every folder this guard knows still opens, by the path it was
  // found by, as the same folder (and what did not open still does not): a
  // guard kept for later runs is used only while this holds. Opens each once.
  bool StillHolds() const;

 private:
  struct Guarded {
    FileIdentity identity;  // zero when the folder could not be opened
    FileKey key;            // likewise
    std::u16string longPath;   // upper-cased "\\?\" form
    std::u16string openedAs;   // the path it was opened by
    size_t protectedIndex;     // the protected folder it is or contains
    bool self;                 // the protected folder itself, not an ancestor
  };
  // A protected folder by its volume and its path within it (not Wine).
  struct Site {
    DWORD serial;
    std::u16string within;  // upper case, no trailing backslash ("" for a root)
    size_t protectedIndex;
  };
  // The protected folder that the folder with this key is; null when none.
  const std::u16string* Own(const FileKey& key) const;
  // Under Wine, the protected folder at or above the folder with this key
  // among those found below the protected folders, which are listed first
  // when that was not done for them, or, for a drive's `root`, when the key
  // was not among the drive roots then. Null when none.
  const std::u16string* Listed(const FileKey& key, bool root) const;

  std::vector<std::u16string> folders_;  // as given, for the log
  std::vector<Guarded> guarded_;
  std::vector<Site> sites_;
  std::vector<std::u16string> longPaths_;  // the protected folders as given, "\\?\" form
};

}  // namespace qv::engine
