#include "Protected.h"

#include <mutex>
#include <set>
#include <vector>

#include "HostPaths.h"
#include "NtFiles.h"
#include "PathNames.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::u16string Upper(std::u16string s) {
  if (!s.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(s.data()), DWORD(s.size()));
  return s;
}

bool Known(const FileIdentity& id) { return id.volumeSerial != 0 || id.fileId != 0; }

bool UnixKeys() { return KeySourceOfThisSystem() == FileKey::Source::UnixDevice; }

std::pair<uint64_t, uint64_t> KeyPair(const FileKey& key) { return {key.volume, key.fileId}; }

FileKey KeyOfPath(const std::u16string& path) {
  FileKey key;
  HANDLE at = CreateFileW(W(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (at == INVALID_HANDLE_VALUE) return key;
  if (!KeyOf(at, key)) key = {};
  CloseHandle(at);
  return key;
}

// Wine's name of an open object, "\??\X:\...", in "\\?\X:\..." form; empty
// when it names no drive.
std::u16string DrivePathOf(HANDLE handle) {
  std::u16string name = ObjectNameOf(handle);
  if (name.size() < 6 || name.compare(0, 4, u"\\??\\") != 0 || name[5] != u':') return {};
  if (name.size() > 6 && name[6] != u'\\') return {};
  std::u16string path = u"\\\\?\\" + name.substr(4);
  if (path.size() == 6) path += u'\\';
  return path;
}

// Whether Wine names the root of drive `letter` as a drive's root: it has
// looked at that drive's root since its folder last changed.
bool RootNamedAsRoot(char16_t letter) {
  std::u16string root = u"\\\\?\\" + std::u16string(1, letter) + u":\\";
  HANDLE at = CreateFileW(W(root), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (at == INVALID_HANDLE_VALUE) return false;
  std::u16string name = DrivePathOf(at);
  CloseHandle(at);
  return !name.empty() && IsRootPath(name);
}

// Wine's name of an open object, as the drives are now. Wine names an object
// after the drive whose root lies deepest above it, by the drives' roots as
// it saw them up to a second before: for that long, a folder that a letter
// led to and that was moved away, or a new folder given the number of one
// that was removed, is named after the letter, a name that opens another
// folder or none. A name that does not open the object itself is asked for
// again until it does or the letter's root is named as a root (Wine has
// looked again: a name that lost trailing dots never opens the object), for
// about two seconds at most; then it is taken as it is.
std::u16string CurrentDrivePathOf(HANDLE handle) {
  std::u16string name = DrivePathOf(handle);
  FileKey key;
  if (!KeyOf(handle, key)) return name;
  for (int tries = 0; tries < 20 && !name.empty(); ++tries) {
    if (SameObject(KeyOfPath(name), key) || RootNamedAsRoot(name[4])) break;
    Sleep(100);
    name = DrivePathOf(handle);
  }
  return name;
}

// Whether `path` is `top` or lies below it (both upper case, without a
// trailing backslash; "" is a volume's root).
bool WithinVolumePath(const std::u16string& path, const std::u16string& top) {
  if (path.compare(0, top.size(), top) != 0) return false;
  return path.size() == top.size() || path[top.size()] == u'\\';
}

std::u16string UpperWithin(HANDLE handle) {
  std::u16string within = Upper(VolumePathOf(handle));
  while (!within.empty() && within.back() == u'\\') within.pop_back();
  return within;
}

// Under Wine, the places of the host's folders holding `longPath`: a drive's
// root is a folder of the host, and the folders above it are reached through
// other letters (Z: is the host's root). The host's path of the folder is
// walked up, each folder named by Wine's own name for host paths, and where
// the path passes through a link (a drive's own link among them), the real
// place of what it reached is walked up too. A few more folders than strictly
// hold it (the folder of the drives' links) are named as well.
std::vector<std::u16string> FindHostPlacesHolding(const std::u16string& longPath) {
  std::vector<std::u16string> places;
  std::set<std::u16string> seen;
  auto add = [&](const std::u16string& place) {
    if (!seen.insert(Upper(place)).second) return false;
    places.push_back(place);
    return true;
  };
  std::string name;
  if (!HostName(longPath, name)) return places;
  std::u16string host;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, nullptr, 0);
  if (n > 1) {
    std::vector<wchar_t> wide(n);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, wide.data(), n);
    host = U16(wide.data());
  }
  if (host.empty() || host[0] != u'/') return places;
  for (char16_t& c : host) {
    if (c == u'/') c = u'\\';
  }
  while (!host.empty()) {
    std::u16string place = u"\\\\?\\unix" + host;
    add(place);
    HANDLE at = CreateFileW(W(place), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (at != INVALID_HANDLE_VALUE) {
      // Up to a place named already: the rest above it is named too.
      for (std::u16string real = CurrentDrivePathOf(at); !real.empty() && !IsRootPath(real);) {
        real = ParentPath(real);
        if (real.empty() || !add(real)) break;
      }
      CloseHandle(at);
    }
    size_t cut = host.find_last_of(u'\\');
    if (cut == std::u16string::npos || host.size() == 1) break;
    host.resize(cut == 0 ? 1 : cut);
  }
  return places;
}

// Whether the folder with `key` is one of the above. Their places are found
// once per folder and process, and what lies there is kept: a guard is made
// for every path the program hands over, and asking costs about 15 ms. A
// folder found among them is looked for again at the places as they are now
// (one may have been replaced since, its number given to another folder), so
// only what holds the folder now is refused.
bool HostFolderHolds(const std::u16string& longPath, const FileKey& key) {
  struct Places {
    std::vector<std::u16string> places;
    std::set<std::pair<uint64_t, uint64_t>> keys;
  };
  static std::mutex mutex;
  static std::map<std::u16string, Places> found;
  auto keysAt = [](const std::vector<std::u16string>& places) {
    std::set<std::pair<uint64_t, uint64_t>> keys;
    for (const std::u16string& place : places) {
      FileKey at = KeyOfPath(place);
      if (at.source != FileKey::Source::None) keys.insert(KeyPair(at));
    }
    return keys;
  };
  std::lock_guard<std::mutex> lock(mutex);
  auto at = found.find(longPath);
  if (at == found.end()) {
    Places made;
    made.places = FindHostPlacesHolding(longPath);
    made.keys = keysAt(made.places);
    at = found.emplace(longPath, std::move(made)).first;
  }
  if (!at->second.keys.count(KeyPair(key))) return false;
  at->second.keys = keysAt(at->second.places);
  return at->second.keys.count(KeyPair(key)) != 0;
}

std::u16string ModuleFolder(HMODULE module) {
  // The program may live in a folder of any length: the buffer grows until
  // the whole name fits.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size() - 1) return ParentPath(U16(path.data()));
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

HMODULE EngineModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&EngineModule), &self);
  return self;
}

// The volume name ("\\?\Volume{...}\") of the volume holding path; empty when unknown.
std::u16string VolumeNameOf(const std::u16string& path) {
  wchar_t mountPoint[MAX_PATH * 2] = {};
  if (!GetVolumePathNameW(W(path), mountPoint, MAX_PATH * 2)) return {};
  wchar_t name[100] = {};
  if (!GetVolumeNameForVolumeMountPointW(mountPoint, name, 100)) return {};
  return Upper(U16(name));
}

}  // namespace

bool FactsOf(HANDLE handle, HandleFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.identity.volumeSerial = info.dwVolumeSerialNumber;
  facts.identity.fileId = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  facts.attributes = info.dwFileAttributes;
  facts.links = info.nNumberOfLinks;
  return true;
}

std::u16string FinalPathOf(HANDLE handle) {
  std::u16string buffer(1024, u'\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleW(handle, reinterpret_cast<wchar_t*>(buffer.data()), DWORD(buffer.size()), 0);
    if (n == 0) return {};
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.resize(n + 1);
  }
}

std::u16string VolumePathOf(HANDLE handle) {
  std::vector<uint32_t> buffer(2 + 32768 / 2);  // FILE_NAME_INFO with the longest name
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, DWORD(buffer.size() * sizeof(uint32_t)))) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / sizeof(char16_t));
}

std::u16string PlaceOf(HANDLE handle) { return UnixKeys() ? DrivePathOf(handle) : VolumePathOf(handle); }

ProtectedFolders ProtectedFolders::ForThisSystem() {
  std::vector<std::u16string> folders;
  std::vector<wchar_t> windows(MAX_PATH * 2);
  UINT n = GetWindowsDirectoryW(windows.data(), UINT(windows.size()));
  if (n > windows.size()) {
    windows.resize(n + 1);
    n = GetWindowsDirectoryW(windows.data(), UINT(windows.size()));
  }
  if (n != 0 && n < windows.size()) folders.push_back(U16(windows.data()));
  for (HMODULE module : {EngineModule(), HMODULE(nullptr)}) {
    std::u16string folder = ModuleFolder(module);
    if (!folder.empty()) folders.push_back(folder);
  }
  return ForPaths(folders);
}

ProtectedFolders ProtectedFolders::ForPaths(const std::vector<std::u16string>& folders) {
  ProtectedFolders result;
  for (const std::u16string& folder : folders) {
    std::u16string longPath = ToLongPath(folder);
    if (longPath.empty()) continue;
    size_t index = result.folders_.size();
    result.folders_.push_back(ToDisplayPath(longPath));
    result.longPaths_.push_back(longPath);
    // The folder as the caller named it and as the system resolves it (a
    // short name, a link or another letter may lead to it): both, with every
    // ancestor, are guarded.
    std::vector<std::u16string> starts = {longPath};
    HANDLE handle = CreateFileW(W(longPath), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // Under Wine the final path fails on long paths; the object's own name
      // does not, and names where it really is. It is asked for first: once
      // it names the folder as the drives are now, so does the final path.
      std::u16string real = UnixKeys() ? CurrentDrivePathOf(handle) : std::u16string();
      std::u16string final = FinalPathOf(handle);
      if (!final.empty() && Upper(final) != Upper(longPath)) starts.push_back(final);
      if (!real.empty() && Upper(real) != Upper(longPath) && Upper(real) != Upper(final)) starts.push_back(real);
      HandleFacts facts;
      if (!UnixKeys() && FactsOf(handle, facts)) {
        std::u16string within = UpperWithin(handle);
        if (!within.empty() || !VolumePathOf(handle).empty())
          result.sites_.push_back({facts.identity.volumeSerial, within, index});
      }
      CloseHandle(handle);
    }
    for (std::u16string path : starts) {
      for (bool self = true;; self = false) {
        Guarded guarded{{}, {}, Upper(path), path, index, self};
        HANDLE at = CreateFileW(W(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (at != INVALID_HANDLE_VALUE) {
          HandleFacts facts;
          if (FactsOf(at, facts)) guarded.identity = facts.identity;
          if (!KeyOf(at, guarded.key)) guarded.key = {};
          CloseHandle(at);
        }
        result.guarded_.push_back(guarded);
        if (IsRootPath(path)) break;
        std::u16string parent = ParentPath(path);
        if (parent.empty() || parent == path) break;
        path = parent;
      }
    }
  }
  return result;
}

bool ProtectedFolders::StillHolds() const {
  // The folders holding several protected folders (the program's folder is
  // often the engine's too) are known once for each: each path is opened once.
  std::map<std::u16string, FileKey> seen;
  for (const Guarded& g : guarded_) {
    auto at = seen.find(g.openedAs);
    FileKey now = at != seen.end() ? at->second : KeyOfPath(g.openedAs);
    seen.emplace(g.openedAs, now);
    if (now.source != g.key.source || now.volume != g.key.volume || now.fileId != g.key.fileId) return false;
  }
  return true;
}

const std::u16string* ProtectedFolders::Covered(const FileIdentity& folder, const std::u16string& longPath,
                                                const FileKey& key) const {
  std::u16string upper = Upper(longPath);
  while (upper.size() > 3 && upper.back() == u'\\' && !IsRootPath(upper)) upper.pop_back();
  for (const Guarded& g : guarded_) {
    bool sameIdentity = (Known(folder) && Known(g.identity) && folder == g.identity) || SameObject(key, g.key);
    if (sameIdentity || g.longPath == upper) return &folders_[g.protectedIndex];
  }
  // Under Wine, the host's folders above a protected folder's drive, reached
  // through another letter (the prefix, through Z:).
  if (key.source == FileKey::Source::UnixDevice) {
    for (size_t i = 0; i < longPaths_.size(); ++i)
      if (HostFolderHolds(longPaths_[i], key)) return &folders_[i];
  }
  return nullptr;
}

const std::u16string* ProtectedFolders::HoldingDriveOf(const FileKey& key) const {
  if (key.source != FileKey::Source::UnixDevice) return nullptr;
  for (size_t i = 0; i < longPaths_.size(); ++i) {
    if (!HostFolderHolds(longPaths_[i], key)) continue;
    // The protected folder, the folders above it and its drive's root are
    // folders of the drive, not folders holding it.
    bool onDrive = false;
    for (std::u16string path = longPaths_[i]; !path.empty() && !onDrive; path = ParentPath(path)) {
      onDrive = SameObject(KeyOfPath(path), key);
      if (IsRootPath(path)) break;
    }
    if (!onDrive) return &folders_[i];
  }
  return nullptr;
}

const std::u16string* ProtectedFolders::Is(const FileIdentity& folder, const std::u16string& longPath,
                                           const FileKey& key) const {
  std::u16string upper = Upper(longPath);
  while (upper.size() > 3 && upper.back() == u'\\' && !IsRootPath(upper)) upper.pop_back();
  for (const Guarded& g : guarded_) {
    if (!g.self) continue;
    bool sameIdentity = (Known(folder) && Known(g.identity) && folder == g.identity) || SameObject(key, g.key);
    if (sameIdentity || g.longPath == upper) return &folders_[g.protectedIndex];
  }
  return nullptr;
}

namespace {

using KeyPairs = std::map<std::pair<uint64_t, uint64_t>, size_t>;

// Every folder at or below the given ones, found through handles without
// following links, by device and inode (Wine), with the index of the folder
// it lies in.
KeyPairs FoldersBelow(const std::vector<std::u16string>& tops) {
  constexpr ACCESS_MASK kList = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
  KeyPairs below;
  std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
  for (size_t index = 0; index < tops.size(); ++index) {
    HANDLE top = CreateFileW(W(tops[index]), kList, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                             nullptr);
    if (top == INVALID_HANDLE_VALUE) continue;
    std::vector<HANDLE> pending;
    auto take = [&](HANDLE folder) {
      FileKey key;
      if (KeyOf(folder, key) && below.emplace(KeyPair(key), index).second) {
        pending.push_back(folder);
      } else {
        CloseHandle(folder);  // seen already (a folder mounted twice), or nameless
      }
    };
    take(top);
    while (!pending.empty()) {
      HANDLE folder = pending.back();
      pending.pop_back();
      std::vector<std::u16string> subfolders;
      DWORD error = 0;
      while (ReadFolder(folder, nullptr, buffer.data(), ULONG(buffer.size() * sizeof(uint64_t)), error)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
        for (size_t at = 0;;) {
          const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
          std::u16string name(reinterpret_cast<const char16_t*>(info->FileName),
                              info->FileNameLength / sizeof(char16_t));
          bool plainFolder = (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
          if (plainFolder && name != u"." && name != u"..") subfolders.push_back(name);
          if (info->NextEntryOffset == 0) break;
          at += info->NextEntryOffset;
        }
      }
      for (const std::u16string& name : subfolders) {
        HANDLE sub = OpenBelow(folder, name, kList, kShareAll, kDirectoryOnly, error);
        if (sub != INVALID_HANDLE_VALUE) take(sub);
      }
      CloseHandle(folder);
    }
  }
  return below;
}

// The keys of the roots of every drive there is now.
std::set<std::pair<uint64_t, uint64_t>> DriveRoots() {
  std::set<std::pair<uint64_t, uint64_t>> roots;
  DWORD letters = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(letters & (1u << i))) continue;
    FileKey key = KeyOfPath(std::u16string(1, char16_t(u'A' + i)) + u":\\");
    if (key.source != FileKey::Source::None) roots.insert(KeyPair(key));
  }
  return roots;
}

// What was found below the protected folders, for every guard of the process
// that protects the same folders: a guard is made for every path the program
// hands over, and listing the Windows folder costs tens of milliseconds. It is
// listed again when a drive root turns up that was not there then: only a
// drive's root escapes the walk up through the folders above, and a new
// letter, or a letter led to another folder, has a root not seen before.
struct FoundBelow {
  std::mutex mutex;
  std::vector<std::u16string> tops;
  KeyPairs below;
  std::set<std::pair<uint64_t, uint64_t>> roots;
  bool made = false;
};

FoundBelow& Found() {
  static FoundBelow found;
  return found;
}

}  // namespace

const std::u16string* ProtectedFolders::Own(const FileKey& key) const {
  for (const Guarded& g : guarded_) {
    if (g.self && SameObject(key, g.key)) return &folders_[g.protectedIndex];
  }
  return nullptr;
}

const std::u16string* ProtectedFolders::Listed(const FileKey& key, bool root) const {
  FoundBelow& found = Found();
  std::lock_guard<std::mutex> lock(found.mutex);
  // Listed for these folders, under the same lock as the look-up: another
  // guard's listing in between must not leave this one without an answer.
  auto list = [&] {
    found.below = FoldersBelow(longPaths_);
    found.roots = DriveRoots();
    if (root) found.roots.insert(KeyPair(key));
    found.tops = longPaths_;
    found.made = true;
  };
  bool fresh = false;
  if (!found.made || found.tops != longPaths_ || (root && !found.roots.count(KeyPair(key)))) {
    list();
    fresh = true;
  }
  auto at = found.below.find(KeyPair(key));
  // A folder found there earlier may have moved out since, or been deleted
  // and its number given to another folder: a refusal stands only on a
  // listing made now. A folder made below them since is found by the walk up
  // through its real parents, or, for a drive's root, as a root not seen.
  if (at != found.below.end() && !fresh) {
    list();
    at = found.below.find(KeyPair(key));
  }
  return at == found.below.end() ? nullptr : &folders_[at->second];
}

ProtectedFolders::Place ProtectedFolders::Locate(HANDLE folder, const FileKey& key,
                                                 const std::u16string*& which) const {
  which = nullptr;
  if (key.source == FileKey::Source::None) return Place::Unknown;
  if (key.source == FileKey::Source::UnixDevice) {
    if ((which = Own(key)) || (which = Holding(key))) return Place::Inside;
    // The folders above it on its drive, as its real place names them; the
    // drive's root itself is among the folders found below a protected one
    // when it lies there.
    std::u16string path = CurrentDrivePathOf(folder);
    if (path.empty()) return Place::Unknown;
    FileKey above = key;
    while (!IsRootPath(path)) {
      path = ParentPath(path);
      if (path.empty()) return Place::Unknown;
      above = KeyOfPath(path);
      // A name that loses its trailing dots in the place's path opens nothing:
      // the folders above it are still looked at.
      if (above.source != FileKey::Source::None && ((which = Own(above)) || (which = Holding(above))))
        return Place::Inside;
    }
    if (above.source == FileKey::Source::None) return Place::Unknown;  // the drive's root itself
    return (which = Listed(above, /*root=*/true)) ? Place::Inside : Place::Outside;
  }
  HandleFacts facts;
  if (!FactsOf(folder, facts)) return Place::Unknown;
  if (VolumePathOf(folder).empty()) return Place::Unknown;
  std::u16string within = UpperWithin(folder);
  for (const Site& site : sites_) {
    if (site.serial == facts.identity.volumeSerial && WithinVolumePath(within, site.within)) {
      which = &folders_[site.protectedIndex];
      return Place::Inside;
    }
  }
  return Place::Outside;
}

const std::u16string* ProtectedFolders::Holding(const FileKey& key) const {
  if (key.source != FileKey::Source::UnixDevice) return nullptr;
  return Listed(key, /*root=*/false);
}

ProtectedFolders::DriveKind ProtectedFolders::OnDrive(char letter, const std::u16string*& folder) const {
  folder = nullptr;
  std::u16string root = std::u16string(1, char16_t(letter)) + u":\\";
  std::u16string longRoot = Upper(u"\\\\?\\" + root);
  std::u16string volume = VolumeNameOf(root);
  FileIdentity rootIdentity;
  // The letter may be another name of a volume (or folder) that has its own
  // letter: the root's final path names that one.
  std::u16string finalRoot;
  bool rootKnown = false;
  HANDLE handle = CreateFileW(W(root), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    HandleFacts facts;
    if (FactsOf(handle, facts)) rootIdentity = facts.identity;
    finalRoot = Upper(FinalPathOf(handle));
    rootKnown = Known(rootIdentity) || !finalRoot.empty();
    CloseHandle(handle);
  }
  auto within = [](const std::u16string& path, const std::u16string& top) {
    if (top.empty() || path.compare(0, top.size(), top) != 0) return false;
    return path.size() == top.size() || top.back() == u'\\' || path[top.size()] == u'\\';
  };
  for (const Guarded& g : guarded_) {
    bool sameSerial = rootIdentity.volumeSerial != 0 && g.identity.volumeSerial == rootIdentity.volumeSerial;
    if (within(g.longPath, longRoot) || within(g.longPath, finalRoot) || sameSerial) {
      folder = &folders_[g.protectedIndex];
      return DriveKind::Protected;
    }
  }
  for (size_t i = 0; i < folders_.size() && !volume.empty(); ++i) {
    if (VolumeNameOf(folders_[i]) == volume) {
      folder = &folders_[i];
      return DriveKind::Protected;
    }
  }
  // Nothing tells what the drive is: it could be a protected volume.
  if (!rootKnown && volume.empty()) return DriveKind::Unknown;
  return DriveKind::Free;
}

}  // namespace qv::engine
