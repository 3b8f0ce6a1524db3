// Wide path routines: parts of paths, drives, existence tests and new folders.
#include "shell/VirtualWideStrings.h"

#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualUnicodeDefines.h"

namespace vws {

namespace {

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

DWORD FileAttributes(std::u16string_view path) {
  std::u16string p(path);
  if (UseWideApi() && wide::GetFileAttributesW != nullptr) return wide::GetFileAttributesW(W(p));
  return GetFileAttributesA(ToAnsi(p).c_str());
}

}  // namespace

bool WideCreateDirectory(std::u16string_view path) {
  if (path.empty()) return false;
  std::u16string p(path);
  bool ok;
  if (UseWideApi() && wide::CreateDirectoryW != nullptr) {
    ok = wide::CreateDirectoryW(W(p), nullptr) != FALSE;
  } else {
    ok = CreateDirectoryA(ToAnsi(p).c_str(), nullptr) != FALSE;
  }
  if (!ok) return false;
  LPITEMIDLIST pidl = PathToPIDL(p);
  if (pidl != nullptr) {
    SHChangeNotify(SHCNE_MKDIR, SHCNF_IDLIST, pidl, pidl);
    CoTaskMemFree(pidl);
  }
  return true;
}

bool WideDirectoryExists(std::u16string_view path) {
  if (path.empty()) return false;
  DWORD attributes = FileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DiskInDrive(char16_t drive) {
  if (drive >= u'a' && drive <= u'z') drive = static_cast<char16_t>(drive - u'a' + u'A');
  if (drive < u'A' || drive > u'Z') return false;
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  char root[4] = {static_cast<char>(drive), ':', '\\', 0};
  ULARGE_INTEGER available{}, total{}, free{};
  bool ok = GetDiskFreeSpaceExA(root, &available, &total, &free) != FALSE;
  SetErrorMode(oldMode);
  return ok;
}

std::u16string WideExtractFileDir(std::u16string_view path) {
  if (path.size() == 1 || path.size() == 2) {
    if (!IsLetter(path[0])) return {};
    return std::u16string(1, path[0]) + u":\\";
  }
  if (path.find(u":\\") == std::u16string_view::npos) return {};
  size_t last = path.rfind(u'\\');
  if (last > 0 && path[last - 1] == u':') return std::u16string(path.substr(0, last + 1));
  return std::u16string(path.substr(0, last));
}

std::u16string WideExtractFileDrive(std::u16string_view path) {
  size_t at = path.find(u":\\");
  if (at == std::u16string_view::npos) return {};
  return std::u16string(path.substr(0, at + 1));
}

std::u16string WideExtractFileExt(std::u16string_view path) {
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos) return {};
  // A dot in a folder name is not the file's extension.
  size_t delim = path.find_last_of(u"\\/");
  if (delim != std::u16string_view::npos && delim > dot) return {};
  return std::u16string(path.substr(dot));
}

bool WideFileExists(std::u16string_view path) {
  if (path.empty()) return false;
  std::u16string p(path);
  HANDLE find;
  if (UseWideApi() && wide::FindFirstFileW != nullptr) {
    WIN32_FIND_DATAW data;
    find = wide::FindFirstFileW(W(p), &data);
  } else {
    WIN32_FIND_DATAA data;
    find = FindFirstFileA(ToAnsi(p).c_str(), &data);
  }
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

std::u16string WideIncludeTrailingBackslash(std::u16string_view path) {
  std::u16string out(path);
  if (out.empty() || out.back() != u'\\') out += u'\\';
  return out;
}

bool WideIsPathDelimiter(std::u16string_view s, size_t index) {
  return index >= 1 && index <= s.size() && s[index - 1] == u'\\';
}

std::u16string WideIntToStr(int32_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

bool WideIsDrive(std::u16string_view s) {
  if (s.size() != 2 && s.size() != 3) return false;
  if (!IsLetter(s[0]) || s[1] != u':') return false;
  return s.size() == 2 || s[2] == u'\\';
}

std::u16string UniqueDirName(std::u16string_view folder, std::u16string_view baseName) {
  std::u16string base(baseName.empty() ? res::NewFolder : baseName);
  std::u16string stem = WideStripTrailingBackslash(folder, /*force=*/true) + u"\\" + base;
  if (!WideDirectoryExists(stem)) return stem;
  for (int n = 1; n <= 20; ++n) {
    std::u16string candidate = stem + u" (" + WideIntToStr(n) + u")";
    if (!WideDirectoryExists(candidate)) return candidate;
  }
  return {};
}

std::u16string WideStripTrailingBackslash(std::u16string_view path, bool force) {
  std::u16string out(path);
  if (out.empty()) return out;
  if (out.back() != u'\\' && out.back() != u'/') return out;
  if (!force && WideIsDrive(out)) return out;
  out.pop_back();
  return out;
}

}  // namespace vws
