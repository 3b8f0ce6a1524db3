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
// is a folder, its stamp: the creation time, change time and size the listing
// gives. A file system may give the number of an item deleted after the confirm
// step to an item made later (ext4 does at once), even one of the same name,
// and the other program may set its dates back; the change time it cannot set
// back: under Wine it is the Unix change time, which every write, rename,
// attribute or time change sets to now. (Elsewhere a program may set it; NTFS
// gives a file made in the place of another a file ID of its own, FAT does not:
// there a file made again with the same size and its dates set back cannot be
// told from the one listed.) So a file written, changed or made again after the
// confirm step is not taken. A folder's key holds no stamp: its times and size
// change whenever anything in it changes (the wipe itself makes, renames and
// removes items in it; another program may add items beside the listed ones,
// which must not keep the listed ones from the wipe). A folder made again in
// the place of a listed one is entered, yet nothing in it is taken (every item
// in it is new) and it is kept with what it holds; so is an empty one: its
// change time, read beside its key at the confirm step (TFolderTime), had
// changed before the wipe touched it, and none of the listed entries is in it.
// A file ID of 0 tells nothing and is never listed. The
// program and the engine read keys with this one definition, and the stamps of
// entries only from folder listings (QvEntryStamp), never from handles: a file
// system may keep a folder's record of an entry apart from the entry's own.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <compare>
#include <cstdint>
#include <cstring>
#include <string>

// What a key holds of an entry beside its name; all 0 for a folder.
struct TEntryStamp {
  uint64_t made = 0;     // its creation time (100 ns units), as its folder lists it
  uint64_t changed = 0;  // its change time (under Wine the Unix change time)
  uint64_t size = 0;     // its length in bytes

  auto operator<=>(const TEntryStamp&) const = default;
};

struct TItemKey {
  uint64_t volume = 0;  // the Unix device, or the volume serial
  uint64_t fileId = 0;  // the inode, or the file ID (as a folder lists it)
  uint64_t name = 0;    // an entry's: its name (QvNameKey); an object's own key: 0
  TEntryStamp stamp;    // an entry's (QvEntryStamp); none for an object's own key

  auto operator<=>(const TItemKey&) const = default;
};

// A folder entered at the confirm step: its own key and its change time
// then (QvFolderChangeTime). A folder made again in the place of a listed one
// may get its number back (ext2 and ext4 give it at once), and its key holds
// no stamp; its change time tells it from the one listed.
struct TFolderTime {
  TItemKey own;
  uint64_t changed = 0;  // 0: not read

  auto operator<=>(const TFolderTime&) const = default;
};

// The listed keys, sorted and without repeats, and the folder times, sorted
// by key. Owned by the program, which keeps it (and both arrays) alive until
// the handle of every call given it is signalled.
struct TListedItems {
  uint32_t size = sizeof(TListedItems);  // the layout's version (it grew the folder times)
  uint32_t keySize = sizeof(TItemKey);   // the keys' layout (they grew a stamp)
  uint32_t count = 0;
  const TItemKey* keys = nullptr;
  uint32_t folderCount = 0;
  const TFolderTime* folders = nullptr;
};

// Whether key is among the listed ones (a key without a file ID never is).
inline bool QvIsListed(const TListedItems& listed, const TItemKey& key) {
  return key.fileId != 0 && listed.keys != nullptr && std::binary_search(listed.keys, listed.keys + listed.count, key);
}

// Whether a key with the same volume, file ID and name but another stamp is
// listed: an item listed was changed or put in the place of one.
inline bool QvIsListedAsAnother(const TListedItems& listed, const TItemKey& key) {
  if (key.fileId == 0 || listed.keys == nullptr) return false;
  const TItemKey* end = listed.keys + listed.count;
  const TItemKey* at = std::lower_bound(listed.keys, end, TItemKey{key.volume, key.fileId, key.name, {}});
  for (; at != end && at->volume == key.volume && at->fileId == key.fileId && at->name == key.name; ++at)
    if (at->stamp != key.stamp) return true;
  return false;
}

// Whether an entry's key is that of an item listed as an entry under another
// name, or, when sameNameToo, under its own name with another change time:
// the same object (volume and file ID) with its creation time and size, not
// yet met by the run (stillOpen), renamed or moved by another program since.
// (A number the file system gave again to a file made later, with a time of
// its own, is not one; under its own name it may as well have been changed
// in place.)
template <class StillOpen>
bool QvIsListedElsewhere(const TListedItems& listed, const TItemKey& key, bool sameNameToo, StillOpen stillOpen) {
  if (key.fileId == 0 || key.name == 0 || listed.keys == nullptr) return false;
  const TItemKey* end = listed.keys + listed.count;
  const TItemKey* at = std::lower_bound(listed.keys, end, TItemKey{key.volume, key.fileId, 0, {}});
  for (; at != end && at->volume == key.volume && at->fileId == key.fileId; ++at)
    if (at->name != 0 && (at->name != key.name || sameNameToo) && at->stamp.made == key.stamp.made &&
        at->stamp.size == key.stamp.size && stillOpen(*at))
      return true;
  return false;
}

// The change time the confirm step read of the folder with own key `own`; 0 when it read none.
inline uint64_t QvListedChangeTime(const TListedItems& listed, const TItemKey& own) {
  if (listed.folders == nullptr) return 0;
  const TFolderTime* end = listed.folders + listed.folderCount;
  const TFolderTime* at = std::lower_bound(listed.folders, end, TFolderTime{own, 0});
  return at != end && at->own == own ? at->changed : 0;
}

// A folder's change time, read from its own handle on both sides (a folder's
// record in its parent's listing may lag behind it); under Wine the Unix
// change time, which every entry added, removed or renamed in it sets to now.
// 0 when it cannot be read.
inline uint64_t QvFolderChangeTime(HANDLE folder) {
  FILE_BASIC_INFO info{};
  return GetFileInformationByHandleEx(folder, FileBasicInfo, &info, sizeof info) ? uint64_t(info.ChangeTime.QuadPart)
                                                                                 : 0;
}

// An entry's stamp as keys hold it, from the record its folder's listing
// gives; none for a folder (under Wine a folder's times and size, and a
// folder link's or mount's, are those of what it leads to, which the wipe
// itself changes).
inline TEntryStamp QvEntryStamp(const FILE_ID_BOTH_DIR_INFO& info) {
  if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  return {uint64_t(info.CreationTime.QuadPart), uint64_t(info.ChangeTime.QuadPart), uint64_t(info.EndOfFile.QuadPart)};
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
// `fileId` and `stamp` (QvEntryStamp).
inline TItemKey QvEntryKey(const TItemKey& folder, uint64_t fileId, const char16_t* name, size_t length,
                           const TEntryStamp& stamp) {
  return TItemKey{folder.volume, fileId, QvNameKey(name, length), stamp};
}
inline TItemKey QvEntryKey(const TItemKey& folder, uint64_t fileId, const std::u16string& name,
                           const TEntryStamp& stamp) {
  return QvEntryKey(folder, fileId, name.data(), name.size(), stamp);
}
// The key of the entry a folder with key `folder` lists in `info`.
inline TItemKey QvEntryKey(const TItemKey& folder, const FILE_ID_BOTH_DIR_INFO& info) {
  return QvEntryKey(folder, uint64_t(info.FileId.QuadPart), reinterpret_cast<const char16_t*>(info.FileName),
                    info.FileNameLength / sizeof(char16_t), QvEntryStamp(info));
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
