#pragma once
// What the confirm step of a file run listed, handed to the engine with every
// call of that run (FileWipeListed, QuorvanellEngine.h): the key of each item
// listed and of each folder on the way to a ticked item. The engine takes
// from a folder only the entries whose keys are here, enters only folders
// whose keys are here, and reaches a ticked path only through folders whose
// keys are here: what another program put in a ticked folder after the list
// was made, or a link put in the place of a folder on the way, is never wiped.
//
// A key names an object: under Wine the Unix device and inode of the object
// (the object ID Wine gives an open file, read without leaving the process),
// elsewhere the volume serial and the file ID. An entry listed in a folder has
// the folder's volume, the file ID the listing gives, its name and, unless it
// is a folder, the creation time the listing gives: a file system may
// give the number of an item deleted after the confirm step to an item made
// later (ext4 does at once), even one of the same name; the time tells them
// apart. (Wine gives a file's last write time as its creation time: there a
// file written after the confirm step is not taken either. A folder's key
// goes without a time, as the wipe of its content changes that time there.)
// A file ID of 0 tells nothing and is never listed. The program and the
// engine read keys with this one definition.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

struct TItemKey {
  uint64_t volume = 0;  // the Unix device, or the volume serial
  uint64_t fileId = 0;  // the inode, or the file ID (as a folder lists it)
  uint64_t name = 0;    // an entry's: its name (QvNameKey); an object's own key: 0
  uint64_t made = 0;    // an entry's: its creation time (QvMadeStamp); 0 for a folder's and an own key

  bool operator==(const TItemKey&) const = default;
  bool operator<(const TItemKey& other) const {
    if (volume != other.volume) return volume < other.volume;
    if (fileId != other.fileId) return fileId < other.fileId;
    return name != other.name ? name < other.name : made < other.made;
  }
};

// The listed keys, sorted and without repeats. Owned by the program, which
// keeps it (and `keys`) alive until the handle of every call given it is
// signalled.
struct TListedItems {
  uint32_t size = sizeof(TListedItems);  // the layout's version
  uint32_t keySize = sizeof(TItemKey);   // the keys' layout (they grew a creation time)
  uint32_t count = 0;
  const TItemKey* keys = nullptr;
};

// Whether key is among the listed ones (a key without a file ID never is).
inline bool QvIsListed(const TListedItems& listed, const TItemKey& key) {
  return key.fileId != 0 && listed.keys != nullptr && std::binary_search(listed.keys, listed.keys + listed.count, key);
}

// Whether a key with the same volume, file ID and name but another creation
// time is listed: an item listed was changed or put in the place of one.
inline bool QvIsListedAsAnother(const TListedItems& listed, const TItemKey& key) {
  if (key.fileId == 0 || listed.keys == nullptr) return false;
  const TItemKey* end = listed.keys + listed.count;
  const TItemKey* at = std::lower_bound(listed.keys, end, TItemKey{key.volume, key.fileId, key.name, 0});
  for (; at != end && at->volume == key.volume && at->fileId == key.fileId && at->name == key.name; ++at)
    if (at->made != key.made) return true;
  return false;
}

// An entry's time as keys hold it: its creation time as its folder lists it
// (100 ns units), 0 for a folder (under Wine a folder's time, and a folder
// link's or mount's, is the last write time of what it leads to, which the
// wipe itself changes).
inline uint64_t QvMadeStamp(DWORD attributes, uint64_t creationTime) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : creationTime;
}

// A name as keys hold it, exactly (case and all): 64-bit FNV-1a over its
// UTF-16 units, never 0.
inline uint64_t QvNameKey(const char16_t* name, size_t length) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < length; ++i) {
    hash ^= name[i];
    hash *= 1099511628211ull;
  }
  return hash != 0 ? hash : 1;
}

// The key of the entry `name` that a folder with key `folder` lists with
// `fileId` and `made` (QvMadeStamp).
inline TItemKey QvEntryKey(const TItemKey& folder, uint64_t fileId, const char16_t* name, size_t length,
                           uint64_t made) {
  return TItemKey{folder.volume, fileId, QvNameKey(name, length), made};
}
inline TItemKey QvEntryKey(const TItemKey& folder, uint64_t fileId, const std::u16string& name, uint64_t made) {
  return QvEntryKey(folder, fileId, name.data(), name.size(), made);
}

namespace qvkeys {

// The file ID of an open item, as its folder lists it (the native internal
// information; the Win32 call that gives it also asks for the volume serial,
// a round trip to Wine's mount manager).
inline bool FileIdOf(HANDLE item, uint64_t& id) {
  struct IoStatus {
    union {
      LONG status;
      PVOID pointer;
    };
    ULONG_PTR information;
  };
  using QueryCall = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
  static const QueryCall query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")))
                 : nullptr;
  }();
  constexpr ULONG kInternalInformation = 6;
  if (!query) return false;
  LARGE_INTEGER value = {};
  IoStatus io{};
  if (query(item, &io, &value, sizeof value, kInternalInformation) < 0) return false;
  id = uint64_t(value.QuadPart);
  return true;
}

// Wine's object ID of an open file: its Unix device, then its inode (each 8
// bytes). Taken only when the inode is the file ID the handle itself gives,
// so another layout is never read as a device.
inline bool UnixKeyOf(HANDLE handle, TItemKey& key) {
  FILE_OBJECTID_BUFFER buffer = {};
  DWORD returned = 0;
  if (!DeviceIoControl(handle, FSCTL_GET_OBJECT_ID, nullptr, 0, &buffer, sizeof buffer, &returned, nullptr) ||
      returned < sizeof buffer.ObjectId)
    return false;
  uint64_t device = 0, inode = 0, id = 0;
  std::memcpy(&device, buffer.ObjectId, 8);
  std::memcpy(&inode, buffer.ObjectId + 8, 8);
  if (!FileIdOf(handle, id) || id != inode) return false;
  key = {device, inode};
  return true;
}

inline bool SerialKeyOf(HANDLE handle, TItemKey& key) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  key = {info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return true;
}

// True under Wine whose object IDs have the layout above (tried on the system
// folder). Elsewhere an object ID is whatever someone stored in the file,
// never a key, and the volume serial is used.
inline bool UnixKeys() {
  static const bool unix = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
    wchar_t folder[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return false;
    HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    TItemKey probe;
    bool found = UnixKeyOf(handle, probe);
    CloseHandle(handle);
    return found;
  }();
  return unix;
}

}  // namespace qvkeys

// The key of an open handle (any access); false when the system cannot tell.
// One process reads every key the same way.
inline bool QvReadItemKey(HANDLE handle, TItemKey& key) {
  return qvkeys::UnixKeys() ? qvkeys::UnixKeyOf(handle, key) : qvkeys::SerialKeyOf(handle, key);
}
