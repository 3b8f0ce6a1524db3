#include "FileKeys.h"

#include "QuorvanellListed.h"

namespace qv::engine {

// Read as the program reads the keys of what its confirm step listed
// (QuorvanellListed.h), so that a key the engine reads and one the program
// listed compare equal.
FileKey::Source KeySourceOfThisSystem() {
  return qvkeys::UnixKeys() ? FileKey::Source::UnixDevice : FileKey::Source::VolumeSerial;
}

bool KeyOf(HANDLE handle, FileKey& key) {
  TItemKey read;
  if (!QvReadItemKey(handle, read)) return false;
  key = {KeySourceOfThisSystem(), read.volume, read.fileId};
  return true;
}

TItemKey ItemKeyOf(const FileKey& key) { return TItemKey{key.volume, key.fileId}; }

bool SameVolume(const FileKey& a, const FileKey& b) {
  return a.source != FileKey::Source::None && a.source == b.source && a.volume == b.volume;
}

bool SameObject(const FileKey& a, const FileKey& b) {
  return SameVolume(a, b) && a.fileId == b.fileId && (a.fileId != 0 || a.volume != 0);
}

bool LinkCountOf(HANDLE handle, DWORD& links) {
  FILE_STANDARD_INFO info = {};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info)) return false;
  links = info.NumberOfLinks;
  return true;
}

}  // namespace qv::engine
