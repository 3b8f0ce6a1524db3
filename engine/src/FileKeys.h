#pragma once
// Which object an open handle is, and on which volume, as exactly and as
// cheaply as the system can tell. Under Wine the volume serial costs a round
// trip to its mount manager (~0.8 ms) and does not tell file systems apart:
// it follows the drive letter the path came through, and every file system
// mounted below a letter answers 0, so two of them made alike have folders
// with equal serials and file IDs. The object ID Wine gives an open file is
// its Unix device and inode, read without leaving the process: that pair is
// the key there. Elsewhere the key is the volume serial and the file ID.
#include <windows.h>

#include <cstdint>

#include "QuorvanellListed.h"

namespace qv::engine {

struct FileKey {
  enum class Source : uint8_t { None, UnixDevice, VolumeSerial };
  Source source = Source::None;
  uint64_t volume = 0;  // the Unix device, or the volume serial
  uint64_t fileId = 0;  // the inode, or the file ID (as folders list it)
};

// The key of an open handle (any access); false when the system cannot tell.
// One process uses one source for every handle, the one the program reads
// the keys of what it listed with (QvReadItemKey).
bool KeyOf(HANDLE handle, FileKey& key);
// The key as the program's list holds it.
TItemKey ItemKeyOf(const FileKey& key);
// Where this process's keys come from (the same for every handle).
FileKey::Source KeySourceOfThisSystem();
// Keys read the same way that name the same volume / the same object.
bool SameVolume(const FileKey& a, const FileKey& b);
bool SameObject(const FileKey& a, const FileKey& b);
// The number of names (hard links) of an open file; false when unknown.
bool LinkCountOf(HANDLE handle, DWORD& links);

}  // namespace qv::engine
