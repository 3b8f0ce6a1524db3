#include "TreeWiper.h"

#include "DirectorySlack.h"
#include "PathNames.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr size_t kBufferBytes = 1 << 20;
constexpr size_t kListBytes = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Entry {
  std::u16string path;
  DWORD attributes;
  DWORD reparseTag;
  uint64_t fileId;
};

// Lists a folder completely, through its checked handle, before anything in
// it changes name. The entries carry the identity they had when listed.
bool ListFolder(HANDLE folder, const std::u16string& longPath, std::vector<Entry>& entries, DWORD& error) {
  std::vector<uint64_t> buffer(kListBytes / sizeof(uint64_t));  // 8-byte aligned records
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, buffer.data(), DWORD(kListBytes))) {
      error = GetLastError();
      return error == ERROR_NO_MORE_FILES;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
      std::u16string name(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / sizeof(char16_t));
      if (name != u"." && name != u"..") {
        // A reparse point's tag is reported in the place of the EA size.
        DWORD tag = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info->EaSize : 0;
        entries.push_back({JoinPath(longPath, name), info->FileAttributes, tag, uint64_t(info->FileId.QuadPart)});
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
}

std::u16string Plural(uint64_t n, const char* one, const char* many) {
  return Decimal(n) + u" " + Ascii(n == 1 ? one : many);
}

class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  HANDLE handle_;
};

}  // namespace

TreeWiper::TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const ProtectedFolders& guard)
    : reporter_(reporter), passes_(passes), guard_(guard) {}

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
    result = WipeFolder(longPath, Expected{}, /*keepFolder=*/true);
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
      result = WipeFolder(longPath, ExpectedFromParent(longPath), /*keepFolder=*/false);
    } else {
      AlignedBuffer buffer(kBufferBytes);
      if (!buffer.ok()) {
        reporter_.Failure(u"Not enough memory to wipe " + plain);
        return WipeResult::Failed;
      }
      FileWiper wiper(reporter_, passes_, buffer);
      result = isLink
                   ? wiper.RemoveLink(longPath, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                   : wiper.WipeFile(longPath, attributes, /*expectedId=*/0);
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

TreeWiper::Expected TreeWiper::ExpectedFromParent(const std::u16string& longPath) {
  // The parent may be reached through a link the user chose; its final path
  // tells where the folder must then be.
  HANDLE parent = CreateFileW(W(ParentPath(longPath)), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return Expected{u"?", 0};  // cannot be confirmed: refused on entry
  std::u16string parentFinal = FinalPathOf(parent);
  CloseHandle(parent);
  return Expected{parentFinal.empty() ? u"?" : JoinPath(parentFinal, LastName(longPath)), 0};
}

HANDLE TreeWiper::EnterFolder(const std::u16string& longPath, const Expected& expected, std::u16string& finalPath) {
  std::u16string display = ToDisplayPath(longPath);
  HANDLE folder = CreateFileW(W(longPath), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    reporter_.Failure(u"Could not open the folder " + display + u": " + ErrorText(GetLastError()));
    return INVALID_HANDLE_VALUE;
  }
  auto refuse = [&](const std::u16string& why) {
    CloseHandle(folder);
    reporter_.Failure(u"Did not enter the folder " + display + u": " + why);
    return INVALID_HANDLE_VALUE;
  };
  HandleFacts facts;
  if (!FactsOf(folder, facts)) return refuse(u"the system cannot say what it is");
  if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return refuse(u"it is no longer a plain folder (a link may have been put in its place)");
  if (expected.fileId != 0 && facts.identity.fileId != 0 && facts.identity.fileId != expected.fileId)
    return refuse(u"it was replaced by another folder while the wipe ran");
  finalPath = FinalPathOf(folder);
  // Same volume: the serials agree (some systems give 0 for every drive they
  // learnt of late), and the listed file ID confirms it where there is one.
  bool sameVolume = expected.volumeSerial == facts.identity.volumeSerial &&
                    (expected.volumeSerial != 0 || (expected.fileId != 0 && facts.identity.fileId == expected.fileId));
  if (finalPath.empty() && sameVolume && expected.finalPath.size() > 6 && expected.finalPath[5] == u':') {
    // Some systems name no final path past MAX_PATH characters; the path
    // within the volume, on the parent's volume, says the same.
    std::u16string within = VolumePathOf(folder);
    if (!within.empty()) finalPath = expected.finalPath.substr(0, 6) + within;  // "\?\X:" and the rest
  }
  if (finalPath.empty() || expected.finalPath == u"?")
    return refuse(u"the system cannot tell where it leads, so it is left as it is");
  if (!expected.finalPath.empty() && !SamePath(finalPath, expected.finalPath))
    return refuse(u"it leads to " + ToDisplayPath(finalPath) + u" (a link may have been put in its place)");
  const std::u16string* covered = guard_.Covered(facts.identity, finalPath);
  if (!covered) covered = guard_.Covered(FileIdentity{}, longPath);
  if (covered) {
    // As "rm --preserve-root" does: the system's folders and what holds them stay.
    return refuse(u"it is or contains " + *covered + u", which the system or this program needs; it is never wiped");
  }
  folderSerial_ = facts.identity.volumeSerial;
  return folder;
}

WipeResult TreeWiper::WipeFolder(const std::u16string& top, const Expected& topExpected, bool keepFolder) {
  AlignedBuffer buffer(kBufferBytes);
  if (!buffer.ok()) {
    reporter_.Failure(u"Not enough memory to wipe " + ToDisplayPath(top));
    return WipeResult::Failed;
  }
  FileWiper wiper(reporter_, passes_, buffer);
  struct Pending {
    std::u16string path;
    Expected expected;
    bool listed;
    uint32_t failuresAtListing;
    uint64_t nameChars;  // of the entries listed in it
    uint64_t entries;
  };
  std::vector<Pending> stack;
  stack.push_back({top, topExpected, false, 0, 0, 0});
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
    Pending& current = stack.back();
    if (beforeEnter && current.path != top) beforeEnter(current.path);
    std::u16string folder = current.path;
    std::u16string finalPath;
    HANDLE handle = EnterFolder(folder, current.expected, finalPath);
    if (handle == INVALID_HANDLE_VALUE) {
      stack.pop_back();
      continue;
    }
    HandleCloser closer(handle);
    DWORD folderSerial = folderSerial_;
    current.listed = true;
    current.failuresAtListing = reporter_.Failures();
    std::vector<Entry> entries;
    DWORD error = 0;
    if (!ListFolder(handle, folder, entries, error)) {
      reporter_.Failure(u"Could not list the folder " + ToDisplayPath(folder) + u": " + ErrorText(error));
      stack.pop_back();
      continue;
    }
    for (const Entry& entry : entries) {
      current.nameChars += LastName(entry.path).size();
      ++current.entries;
    }
    std::vector<Pending> subfolders;
    for (const Entry& entry : entries) {
      bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (IsLinkEntry(entry.attributes, entry.reparseTag)) {
        wiper.RemoveLink(entry.path, isFolder);
        continue;
      }
      if (isFolder) {
        Expected expected{JoinPath(finalPath, LastName(entry.path)), entry.fileId, folderSerial};
        subfolders.push_back({entry.path, expected, false, 0, 0, 0});
        continue;
      }
      WipeResult result = wiper.WipeFile(entry.path, entry.attributes, entry.fileId);
      if (result == WipeResult::Stopped) return result;
      if (result == WipeResult::Wiped) ++counts_.files;
    }
    for (Pending& sub : subfolders) stack.push_back(std::move(sub));
  }
  return WipeResult::Wiped;
}

}  // namespace qv::engine
