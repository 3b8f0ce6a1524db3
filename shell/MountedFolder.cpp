#include "shell/MountedFolder.h"

#include <winioctl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "shell/ExactNames.h"
#include "shell/VirtualWideStrings.h"

std::u16string ObjectPlaceOf(HANDLE handle) {
  struct CountedText {
    USHORT length;
    USHORT maximum;
    PWSTR buffer;
  };
  using QueryCall = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const QueryCall query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")))
                 : nullptr;
  }();
  constexpr ULONG kObjectNameInformation = 1;
  if (query == nullptr) return u"";
  std::vector<uint64_t> buffer((sizeof(CountedText) + 65536) / sizeof(uint64_t) + 1);
  ULONG returned = 0;
  if (query(handle, kObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(uint64_t)),
            &returned) < 0)
    return u"";
  const auto* name = reinterpret_cast<const CountedText*>(buffer.data());
  if (name->buffer == nullptr) return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(name->buffer), name->length / sizeof(char16_t));
}

namespace {

// The volume an open object lies on. Under Wine the volume serial follows the
// drive letter a path came through and is 0 for every file system mounted
// below a letter; the object ID Wine gives is the Unix device, then the inode
// (taken only when that is the file index, so another layout is never read as a device).
bool VolumeOf(HANDLE handle, uint64_t& volume) {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  volume = info.dwVolumeSerialNumber;
  if (!wine) return true;
  FILE_OBJECTID_BUFFER buffer{};
  DWORD returned = 0;
  uint64_t inode = 0;
  if (!DeviceIoControl(handle, FSCTL_GET_OBJECT_ID, nullptr, 0, &buffer, sizeof buffer, &returned, nullptr) ||
      returned < sizeof buffer.ObjectId)
    return false;
  std::memcpy(&inode, buffer.ObjectId + 8, sizeof inode);
  if (inode != (uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow)) return false;
  std::memcpy(&volume, buffer.ObjectId, sizeof volume);
  return true;
}

HANDLE OpenInPlace(const std::u16string& path) {
  return CreateFileW(vws::W(exactnames::ExtendedPath(path)), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

TFolderPlace FolderPlaceOf(HANDLE folder) {
  TFolderPlace at;
  at.place = ObjectPlaceOf(folder);
  while (!at.place.empty() && at.place.back() == u'\\') at.place.pop_back();
  at.volumeKnown = VolumeOf(folder, at.volume);
  return at;
}

bool IsMountedBelow(const TFolderPlace& above, HANDLE below, std::u16string_view name) {
  uint64_t volume = 0;
  if (above.place.empty() || !above.volumeKnown || !VolumeOf(below, volume) || volume == above.volume) return false;
  std::u16string place = above.place + u'\\';
  place.append(name);
  return ObjectPlaceOf(below) == place;
}

bool IsMountedFolder(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'\\');
  if (slash == std::u16string::npos || slash < 2 || slash + 1 >= path.size()) return false;
  HANDLE above = OpenInPlace(path.substr(0, slash == 2 ? 3 : slash));
  if (above == INVALID_HANDLE_VALUE) return false;
  const TFolderPlace abovePlace = FolderPlaceOf(above);
  CloseHandle(above);
  HANDLE folder = OpenInPlace(path);
  if (folder == INVALID_HANDLE_VALUE) return false;
  const bool mounted = IsMountedBelow(abovePlace, folder, std::u16string_view(path).substr(slash + 1));
  CloseHandle(folder);
  return mounted;
}
