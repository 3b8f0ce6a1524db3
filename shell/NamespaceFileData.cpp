// Shell items: find data, file attributes, times, sizes and type names.
#include "shell/Namespace.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "core/Format.h"
#include "shell/FileTypeCache.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

void CopyAnsiName(wchar_t* dest, size_t capacity, const char* source) {
  std::u16string wideName = vws::FromAnsi(source);
  size_t n = wideName.size() < capacity - 1 ? wideName.size() : capacity - 1;
  std::memcpy(dest, wideName.data(), n * sizeof(wchar_t));
  dest[n] = 0;
}

// The wide record of an ANSI one.
WIN32_FIND_DATAW WidenFindData(const WIN32_FIND_DATAA& a) {
  WIN32_FIND_DATAW w{};
  w.dwFileAttributes = a.dwFileAttributes;
  w.ftCreationTime = a.ftCreationTime;
  w.ftLastAccessTime = a.ftLastAccessTime;
  w.ftLastWriteTime = a.ftLastWriteTime;
  w.nFileSizeHigh = a.nFileSizeHigh;
  w.nFileSizeLow = a.nFileSizeLow;
  CopyAnsiName(w.cFileName, MAX_PATH, a.cFileName);
  CopyAnsiName(w.cAlternateFileName, 14, a.cAlternateFileName);
  return w;
}

std::u16string FileTimeText(const FILETIME& time) {
  if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0) return {};
  FILETIME local;
  SYSTEMTIME system;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &system)) return {};
  wchar_t date[80];
  wchar_t clock[80];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &system, nullptr, date, 80) == 0) return {};
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &system, nullptr, clock, 80) == 0) return {};
  return vws::FromW(date) + u" " + vws::FromW(clock);
}

std::u16string Int64Text(int64_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

bool TNamespace::GetDataFromIDList() {
  if (findData != nullptr) return true;
  if (IsDesktop() || (cache.known & cFindDataFailed) != 0) return false;
  IShellFolder* folder = nullptr;
  if (ParentIsDesktop() && DesktopDirectoryFolder() != nullptr && DesktopDirectoryFolder() != this) {
    folder = DesktopDirectoryFolder()->GetShellFolder();
  } else {
    folder = ParentShellFolder();
  }
  bool ok = false;
  auto data = std::make_unique<WIN32_FIND_DATAW>();
  if (folder != nullptr) {
    if (vws::UseWideApi() && wide::SHGetDataFromIDListW != nullptr) {
      ok = wide::SHGetDataFromIDListW(folder, relativePIDL, SHGDFIL_FINDDATA, data.get(), sizeof(WIN32_FIND_DATAW)) == S_OK;
    } else {
      WIN32_FIND_DATAA ansi{};
      ok = SHGetDataFromIDListA(folder, relativePIDL, SHGDFIL_FINDDATA, &ansi, sizeof ansi) == S_OK;
      // The names are read only inside their fields, whatever the shell wrote.
      ansi.cFileName[MAX_PATH - 1] = 0;
      ansi.cAlternateFileName[std::size(ansi.cAlternateFileName) - 1] = 0;
      if (ok) *data = WidenFindData(ansi);
    }
  }
  if (!ok) {
    cache.known |= cFindDataFailed;
    return false;
  }
  // The names are read only inside their fields, whatever the shell wrote.
  data->cFileName[MAX_PATH - 1] = 0;
  data->cAlternateFileName[std::size(data->cAlternateFileName) - 1] = 0;
  findData = std::move(data);
  // Some shells build the record from an 8-bit copy of the name, which turns
  // characters outside the code page into '?', a character no file name holds:
  // take the names from the file system then.
  if (std::wcschr(findData->cFileName, L'?') != nullptr) TakeFileSystemNames();
  return true;
}

void TNamespace::TakeFileSystemNames() {
  std::u16string path = NameParseAddress();
  WIN32_FIND_DATAW fresh;
  HANDLE find = FindFirstFileW(vws::W(path), &fresh);
  if (find == INVALID_HANDLE_VALUE) return;
  FindClose(find);
  std::memcpy(findData->cFileName, fresh.cFileName, sizeof fresh.cFileName);
  std::memcpy(findData->cAlternateFileName, fresh.cAlternateFileName, sizeof fresh.cAlternateFileName);
}

namespace {

struct FreshTimes {
  FILETIME creation, lastAccess, lastWrite;
};

// The times of one path as the file system has them now. The attribute query
// looks the one name up; a find of the same path lists the folder under some
// file systems (80 us an item in a folder of 10,000 under Wine) and is kept
// for a path whose name holds wildcard characters, as a shell that could not
// spell a name writes '?' for the characters it lost.
bool ReadFreshTimes(const std::u16string& path, FreshTimes& out) {
  bool wildcards = path.find_first_of(u"?*") != std::u16string::npos;
  if (vws::UseWideApi()) {
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!wildcards && GetFileAttributesExW(vws::W(path), GetFileExInfoStandard, &attributes)) {
      out = {attributes.ftCreationTime, attributes.ftLastAccessTime, attributes.ftLastWriteTime};
      return true;
    }
    WIN32_FIND_DATAW fresh;
    HANDLE find = FindFirstFileW(vws::W(path), &fresh);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    out = {fresh.ftCreationTime, fresh.ftLastAccessTime, fresh.ftLastWriteTime};
    return true;
  }
  std::string ansi = vws::ToAnsi(path);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!wildcards && ansi.find_first_of("?*") == std::string::npos &&
      GetFileAttributesExA(ansi.c_str(), GetFileExInfoStandard, &attributes)) {
    out = {attributes.ftCreationTime, attributes.ftLastAccessTime, attributes.ftLastWriteTime};
    return true;
  }
  WIN32_FIND_DATAA fresh;
  HANDLE find = FindFirstFileA(ansi.c_str(), &fresh);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  out = {fresh.ftCreationTime, fresh.ftLastAccessTime, fresh.ftLastWriteTime};
  return true;
}

}  // namespace

// The shell's record carries the write time at the resolution of its item
// identifier only; the times are read again from the file system once.
const WIN32_FIND_DATAW* TNamespace::GetFindFileData() {
  if (!FileSystem() || !GetDataFromIDList()) return nullptr;
  if ((cache.known & cFindFileData) != 0) return findData.get();
  cache.known |= cFindFileData;
  FreshTimes fresh;
  if (ReadFreshTimes(NameParseAddress(), fresh)) {
    findData->ftCreationTime = fresh.creation;
    findData->ftLastAccessTime = fresh.lastAccess;
    findData->ftLastWriteTime = fresh.lastWrite;
  }
  return findData.get();
}

bool TNamespace::FindAttribute(DWORD attribute) {
  if (!FileSystem() || !GetDataFromIDList()) return false;
  return (findData->dwFileAttributes & attribute) != 0;
}

bool TNamespace::Archive() { return FindAttribute(FILE_ATTRIBUTE_ARCHIVE); }
bool TNamespace::Directory() { return FindAttribute(FILE_ATTRIBUTE_DIRECTORY); }
bool TNamespace::Hidden() { return FindAttribute(FILE_ATTRIBUTE_HIDDEN); }
bool TNamespace::Normal() { return FindAttribute(FILE_ATTRIBUTE_NORMAL); }
bool TNamespace::OffLine() { return FindAttribute(FILE_ATTRIBUTE_OFFLINE); }
bool TNamespace::ReadOnlyFile() { return FindAttribute(FILE_ATTRIBUTE_READONLY); }
bool TNamespace::SystemFile() { return FindAttribute(FILE_ATTRIBUTE_SYSTEM); }
bool TNamespace::Temporary() { return FindAttribute(FILE_ATTRIBUTE_TEMPORARY); }

bool TNamespace::Compressed() {
  if ((cache.known & cCompressed) == 0) {
    if (FindAttribute(FILE_ATTRIBUTE_COMPRESSED)) cache.answers |= cCompressed;
    cache.known |= cCompressed;
  }
  return (cache.answers & cCompressed) != 0;
}

std::u16string TNamespace::AttributesString() {
  if (!FileSystem()) return {};
  std::u16string out;
  if (Archive()) out += res::AttribArchive;
  if (Hidden()) out += res::AttribHidden;
  if (ReadOnlyFile()) out += res::AttribReadOnly;
  if (SystemFile()) out += res::AttribSystem;
  if (Compressed()) out += res::AttribCompressed;
  return out;
}

std::u16string TNamespace::FileName() {
  if (!FileSystem() || !GetDataFromIDList()) return {};
  return vws::FromW(findData->cFileName);
}

std::u16string TNamespace::ShortFileName() {
  if (!FileSystem() || !GetDataFromIDList()) return {};
  std::u16string shortName = vws::FromW(findData->cAlternateFileName);
  if (!shortName.empty()) return shortName;
  std::u16string name = vws::FromW(findData->cFileName);
  vws::WideStrUpper(name.data());
  return name;
}

FILETIME TNamespace::FindTime(FILETIME WIN32_FIND_DATAW::*field) {
  const WIN32_FIND_DATAW* data = GetFindFileData();
  if (data == nullptr) return FILETIME{0, 0};
  return data->*field;
}

std::u16string TNamespace::CachedTime(Cached bit, std::u16string& slot, FILETIME WIN32_FIND_DATAW::*field) {
  if ((cache.known & bit) == 0) {
    slot = FileTimeText(FindTime(field));
    cache.known |= bit;
  }
  return slot;
}

FILETIME TNamespace::CreationTimeRaw() { return FindTime(&WIN32_FIND_DATAW::ftCreationTime); }
FILETIME TNamespace::LastAccessTimeRaw() { return FindTime(&WIN32_FIND_DATAW::ftLastAccessTime); }
FILETIME TNamespace::LastWriteTimeRaw() { return FindTime(&WIN32_FIND_DATAW::ftLastWriteTime); }

std::u16string TNamespace::CreationTime() {
  return CachedTime(cCreationTime, cache.creationTime, &WIN32_FIND_DATAW::ftCreationTime);
}
std::u16string TNamespace::LastAccessTime() {
  return CachedTime(cLastAccessTime, cache.lastAccessTime, &WIN32_FIND_DATAW::ftLastAccessTime);
}
std::u16string TNamespace::LastWriteTime() {
  return CachedTime(cLastWriteTime, cache.lastWriteTime, &WIN32_FIND_DATAW::ftLastWriteTime);
}

int64_t TNamespace::SizeOfFileInt64() {
  if (!FileSystem() || !GetDataFromIDList()) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(findData->nFileSizeHigh) << 32) | findData->nFileSizeLow);
}

std::u16string TNamespace::SizeOfFile() {
  if ((cache.known & cSize) == 0) {
    // 64-bit text: files past 2 GiB keep their true size.
    cache.size = Folder() ? std::u16string() : vws::WideNumberFormat(Int64Text(SizeOfFileInt64()));
    cache.known |= cSize;
  }
  return cache.size;
}

std::u16string TNamespace::SizeOfFileKB() {
  if ((cache.known & cSizeKB) == 0) {
    if (Folder()) {
      cache.sizeKB.clear();
    } else {
      double kb = static_cast<double>(SizeOfFileInt64() / 1024);
      cache.sizeKB = WideFormat(res::KBFormat, {kb});
      if (cache.sizeKB == res::ZeroKB) cache.sizeKB = res::OneKB;
    }
    cache.known |= cSizeKB;
  }
  return cache.sizeKB;
}

std::u16string TNamespace::SizeOfFileDiskUsage() {
  if (Folder()) return {};
  std::u16string folder = vws::WideExtractFileDir(NameForParsing());
  if (!vws::WideDirectoryExists(folder)) return SizeOfFile();
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  bool ok;
  if (vws::UseWideApi()) {
    wchar_t root[MAX_PATH + 1];
    std::u16string dir = vws::WideIncludeTrailingBackslash(folder);
    ok = GetVolumePathNameW(vws::W(dir), root, MAX_PATH + 1) &&
         GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters);
  } else {
    std::u16string root = vws::WideExtractFileDrive(folder) + u"\\";
    if (IsWin95Early()) {
      ok = GetDiskFreeSpaceA(vws::ToAnsi(root).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                             &totalClusters);
    } else {
      ok = Win9xExtFreeSpace(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
    }
  }
  uint64_t cluster = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
  if (!ok || cluster == 0) return SizeOfFile();
  uint64_t size = static_cast<uint64_t>(SizeOfFileInt64());
  uint64_t clusters = size / cluster + (size % cluster != 0 ? 1 : 0);
  return vws::WideNumberFormat(Int64Text(static_cast<int64_t>(clusters * cluster)));
}

const TSHGetFileInfoRec* TNamespace::GetSHFileInfo() {
  if (fileInfo != nullptr) return fileInfo.get();
  fileInfo = std::make_unique<TSHGetFileInfoRec>();
  // Plain files with an extension share their type name; shortcuts and
  // programs are asked each time, as they may show their own.
  std::u16string extension;
  if (FileSystem() && !Folder() && !Link()) {
    extension = vws::WideExtractFileExt(NameParseAddress());
    if (extension.size() < 2 || vws::WideStrICompOS(extension.c_str(), u".exe") == 0) extension.clear();
  }
  if (!extension.empty() && LookupFileTypeName(extension, fileInfo->fileType)) return fileInfo.get();
  if (vws::UseWideApi()) {
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolutePIDL), 0, &info, sizeof info, SHGFI_TYPENAME | SHGFI_PIDL))
      fileInfo->fileType = vws::FromW(info.szTypeName);
  } else {
    SHFILEINFOA info{};
    if (SHGetFileInfoA(reinterpret_cast<LPCSTR>(absolutePIDL), 0, &info, sizeof info, SHGFI_TYPENAME | SHGFI_PIDL))
      fileInfo->fileType = vws::FromAnsi(info.szTypeName);
  }
  if (!extension.empty()) StoreFileTypeName(extension, fileInfo->fileType);
  return fileInfo.get();
}

std::u16string TNamespace::FileType() {
  if ((cache.known & cFileType) == 0) {
    cache.fileType = GetSHFileInfo()->fileType;
    if (cache.fileType.empty()) {
      std::u16string ext = vws::WideExtractFileExt(NameForParsing());
      vws::WideStrUpper(ext.data());
      cache.fileType = ext + std::u16string(res::FileSuffix);
    }
    cache.known |= cFileType;
  }
  return cache.fileType;
}

bool TNamespace::IsRealFile() {
  if (!GetDataFromIDList()) return false;
  char16_t first = static_cast<char16_t>(findData->cFileName[0]);
  return first != 0 && first != 8 && FileSystem();
}
