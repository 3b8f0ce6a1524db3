#include "FileKeys.h"

#include <winioctl.h>

#include <cstring>

#include "NtFiles.h"
#include "Protected.h"

namespace qv::engine {
namespace {

// Wine's object ID of an open file: its Unix device, then its inode (each
// 8 bytes), the rest zero. Taken only when the inode is the file ID the
// handle itself gives, so another layout is never read as a device.
bool UnixKeyOf(HANDLE handle, FileKey& key) {
  FILE_OBJECTID_BUFFER buffer = {};
  DWORD returned = 0;
  if (!DeviceIoControl(handle, FSCTL_GET_OBJECT_ID, nullptr, 0, &buffer, sizeof buffer, &returned, nullptr) ||
      returned < sizeof buffer.ObjectId)
    return false;
  uint64_t device = 0, inode = 0, id = 0;
  std::memcpy(&device, buffer.ObjectId, 8);
  std::memcpy(&inode, buffer.ObjectId + 8, 8);
  if (!FileIdOf(handle, id) || id != inode) return false;
  key = {FileKey::Source::UnixDevice, device, inode};
  return true;
}

bool SerialKeyOf(HANDLE handle, FileKey& key) {
  HandleFacts facts;
  if (!FactsOf(handle, facts)) return false;
  key = {FileKey::Source::VolumeSerial, facts.identity.volumeSerial, facts.identity.fileId};
  return true;
}

// Wine whose object IDs have the layout above (tried on the system folder),
// or the volume serial. Elsewhere an object ID is whatever someone stored in
// the file, never a key.
FileKey::Source SourceOfThisSystem() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll || GetProcAddress(ntdll, "wine_get_version") == nullptr) return FileKey::Source::VolumeSerial;
  wchar_t folder[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return FileKey::Source::VolumeSerial;
  HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileKey::Source::VolumeSerial;
  FileKey probe;
  bool unix = UnixKeyOf(handle, probe);
  CloseHandle(handle);
  return unix ? FileKey::Source::UnixDevice : FileKey::Source::VolumeSerial;
}

}  // namespace

FileKey::Source KeySourceOfThisSystem() {
  static const FileKey::Source source = SourceOfThisSystem();
  return source;
}

bool KeyOf(HANDLE handle, FileKey& key) {
  const FileKey::Source source = KeySourceOfThisSystem();
  return source == FileKey::Source::UnixDevice ? UnixKeyOf(handle, key) : SerialKeyOf(handle, key);
}

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
