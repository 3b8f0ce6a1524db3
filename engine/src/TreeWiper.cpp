#include "TreeWiper.h"

#include "DirectorySlack.h"
#include "PathNames.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr size_t kBufferBytes = 1 << 20;

struct Entry {
  std::u16string path;
  DWORD attributes;
  DWORD reparseTag;
};

// Lists a folder completely before anything in it changes name.
bool ListFolder(const std::u16string& longPath, std::vector<Entry>& entries, DWORD& error) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(W(JoinPath(longPath, u"*")), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
  }
  do {
    std::u16string name = U16(data.cFileName);
    if (name == u"." || name == u"..") continue;
    entries.push_back({JoinPath(longPath, name), data.dwFileAttributes, data.dwReserved0});
  } while (FindNextFileW(find, &data));
  error = GetLastError();
  FindClose(find);
  return error == ERROR_NO_MORE_FILES;
}

std::u16string Plural(uint64_t n, const char* one, const char* many) {
  return Decimal(n) + u" " + Ascii(n == 1 ? one : many);
}

}  // namespace

TreeWiper::TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes)
    : reporter_(reporter), passes_(passes) {}

WipeResult TreeWiper::Wipe(const std::u16string& path) {
  if (passes_.empty()) {
    reporter_.Failure(u"No valid wipe passes were given; " + path + u" was not wiped");
    return WipeResult::Failed;
  }
  std::u16string longPath = ToLongPath(path);
  std::u16string plain = ToDisplayPath(longPath);
  if (longPath.empty() || plain.find_first_of(u"*?") != std::u16string::npos) {
    reporter_.Failure(u"Not a usable path: " + path);
    return WipeResult::Failed;
  }
  if (!IsRootPath(longPath)) {
    while (!longPath.empty() && longPath.back() == u'\\') longPath.pop_back();  // "C:\Data\" names C:\Data
  }
  uint32_t failuresBefore = reporter_.Failures();
  reporter_.Log(u"Wiping " + plain);
  WipeResult result;
  if (IsRootPath(longPath)) {
    result = WipeFolder(longPath, /*keepFolder=*/true);
  } else {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(W(longPath), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
      reporter_.Failure(u"Could not find " + plain + u": " + ErrorText(GetLastError()));
      return WipeResult::Failed;
    }
    FindClose(find);
    // The listed name is the long one, whatever form the caller used.
    longPath = JoinPath(ParentPath(longPath), U16(data.cFileName));
    DWORD attributes = data.dwFileAttributes;
    bool isLink = IsLinkEntry(attributes, data.dwReserved0);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
      result = WipeFolder(longPath, /*keepFolder=*/false);
    } else {
      AlignedBuffer buffer(kBufferBytes);
      if (!buffer.ok()) {
        reporter_.Failure(u"Not enough memory to wipe " + plain);
        return WipeResult::Failed;
      }
      FileWiper wiper(reporter_, passes_, buffer);
      result = isLink
                   ? wiper.RemoveLink(longPath, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                   : wiper.WipeFile(longPath, attributes);
      if (result == WipeResult::Wiped) ++counts_.files;
    }
  }
  if (result == WipeResult::Stopped) {
    reporter_.Log(u"Stopped: " + plain + u" was not completely wiped");
    return result;
  }
  if (!IsRootPath(longPath) && GetFileAttributesW(W(longPath)) == INVALID_FILE_ATTRIBUTES) {
    FillDirectorySlack(ParentPath(longPath), LastName(longPath).size(), 1, reporter_);
  }
  uint32_t failed = reporter_.Failures() - failuresBefore;
  std::u16string summary = plain + u": " + Plural(counts_.files, "file", "files") + u" and " +
                           Plural(counts_.folders, "folder", "folders") + u" wiped";
  if (failed != 0) summary += u"; " + Plural(failed, "item", "items") + u" could not be wiped";
  reporter_.Log(summary);
  return failed != 0 ? WipeResult::Failed : WipeResult::Wiped;
}

WipeResult TreeWiper::WipeFolder(const std::u16string& top, bool keepFolder) {
  AlignedBuffer buffer(kBufferBytes);
  if (!buffer.ok()) {
    reporter_.Failure(u"Not enough memory to wipe " + ToDisplayPath(top));
    return WipeResult::Failed;
  }
  FileWiper wiper(reporter_, passes_, buffer);
  struct Pending {
    std::u16string path;
    bool listed;
    uint32_t failuresAtListing;
    uint64_t nameChars;  // of the entries listed in it
    uint64_t entries;
  };
  std::vector<Pending> stack;
  stack.push_back({top, false, 0, 0, 0});
  while (!stack.empty()) {
    if (reporter_.StopRequested()) return WipeResult::Stopped;
    if (stack.back().listed) {
      Pending done = std::move(stack.back());
      stack.pop_back();
      FillDirectorySlack(done.path, done.nameChars, done.entries, reporter_);
      if (keepFolder && done.path == top) continue;
      if (reporter_.Failures() != done.failuresAtListing) {
        reporter_.Failure(u"Kept the folder " + ToDisplayPath(done.path) +
                          u" because items in it could not be wiped");
        continue;
      }
      if (wiper.RemoveFolder(done.path) == WipeResult::Wiped) ++counts_.folders;
      continue;
    }
    stack.back().listed = true;
    stack.back().failuresAtListing = reporter_.Failures();
    std::u16string folder = stack.back().path;
    std::vector<Entry> entries;
    DWORD error = 0;
    if (!ListFolder(folder, entries, error)) {
      reporter_.Failure(u"Could not list the folder " + ToDisplayPath(folder) + u": " + ErrorText(error));
      stack.pop_back();
      continue;
    }
    for (const Entry& entry : entries) {
      stack.back().nameChars += LastName(entry.path).size();
      ++stack.back().entries;
    }
    for (const Entry& entry : entries) {
      bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (IsLinkEntry(entry.attributes, entry.reparseTag)) {
        wiper.RemoveLink(entry.path, isFolder);
        continue;
      }
      if (isFolder) {
        stack.push_back({entry.path, false, 0, 0, 0});
        continue;
      }
      WipeResult result = wiper.WipeFile(entry.path, entry.attributes);
      if (result == WipeResult::Stopped) return result;
      if (result == WipeResult::Wiped) ++counts_.files;
    }
  }
  return WipeResult::Wiped;
}

}  // namespace qv::engine
