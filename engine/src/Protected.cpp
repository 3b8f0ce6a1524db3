#include "Protected.h"

#include <vector>

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
    // The folder as the caller named it and as the system resolves it (a
    // short name, a link or another letter may lead to it): both, with every
    // ancestor, are guarded.
    std::vector<std::u16string> starts = {longPath};
    HANDLE handle = CreateFileW(W(longPath), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      std::u16string final = FinalPathOf(handle);
      CloseHandle(handle);
      if (!final.empty() && Upper(final) != Upper(longPath)) starts.push_back(final);
    }
    for (std::u16string path : starts) {
      for (bool self = true;; self = false) {
        Guarded guarded{{}, Upper(path), index, self};
        HANDLE at = CreateFileW(W(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (at != INVALID_HANDLE_VALUE) {
          HandleFacts facts;
          if (FactsOf(at, facts)) guarded.identity = facts.identity;
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

const std::u16string* ProtectedFolders::Covered(const FileIdentity& folder, const std::u16string& longPath) const {
  std::u16string upper = Upper(longPath);
  while (upper.size() > 3 && upper.back() == u'\\' && !IsRootPath(upper)) upper.pop_back();
  for (const Guarded& g : guarded_) {
    bool sameIdentity = Known(folder) && Known(g.identity) && folder == g.identity;
    if (sameIdentity || g.longPath == upper) return &folders_[g.protectedIndex];
  }
  return nullptr;
}

const std::u16string* ProtectedFolders::Is(const FileIdentity& folder, const std::u16string& longPath) const {
  std::u16string upper = Upper(longPath);
  while (upper.size() > 3 && upper.back() == u'\\' && !IsRootPath(upper)) upper.pop_back();
  for (const Guarded& g : guarded_) {
    if (!g.self) continue;
    bool sameIdentity = Known(folder) && Known(g.identity) && folder == g.identity;
    if (sameIdentity || g.longPath == upper) return &folders_[g.protectedIndex];
  }
  return nullptr;
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
