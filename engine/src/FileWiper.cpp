#include "FileWiper.h"

#include <vector>

#include "PassWriter.h"
#include "PathNames.h"
#include "Protected.h"
#include "Removal.h"
#include "SystemRandom.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr int kRenames = 3;
constexpr int kRenameTries = 8;
constexpr uint32_t kDefaultClusterBytes = 4096;

std::u16string VolumeRootOf(const std::u16string& longPath) {
  std::u16string plain = ToDisplayPath(longPath);
  if (plain.size() >= 2 && plain[1] == u':') return plain.substr(0, 2) + u"\\";
  if (plain.rfind(u"\\\\", 0) == 0) {
    size_t server = plain.find(u'\\', 2);
    size_t share = server == std::u16string::npos ? server : plain.find(u'\\', server + 1);
    return share == std::u16string::npos ? plain + u"\\" : plain.substr(0, share + 1);
  }
  return {};
}

// An old, fixed time stamp so the wiped file's times tell nothing.
FILETIME NeutralTime() {
  SYSTEMTIME st = {};
  st.wYear = 1980;
  st.wMonth = 1;
  st.wDay = 1;
  FILETIME ft = {};
  SystemTimeToFileTime(&st, &ft);
  return ft;
}

}  // namespace

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  constexpr DWORD kLinuxSymlink = 0xA000001D;
  constexpr DWORD kAppExecLink = 0x8000001B;
  constexpr DWORD kUnixSocket = 0x80000023;
  return reparseTag == 0 || reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT ||
         reparseTag == kLinuxSymlink || reparseTag == kAppExecLink || reparseTag == kUnixSocket;
}

FileWiper::FileWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const AlignedBuffer& buffer)
    : reporter_(reporter), passes_(passes), buffer_(buffer) {}

uint32_t FileWiper::ClusterBytes(const std::u16string& longPath) {
  std::u16string root = VolumeRootOf(longPath);
  auto found = clusterBytes_.find(root);
  if (found != clusterBytes_.end()) return found->second;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  uint32_t bytes = kDefaultClusterBytes;
  if (!root.empty() && GetDiskFreeSpaceW(W(root), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
      sectorsPerCluster * bytesPerSector != 0) {
    bytes = sectorsPerCluster * bytesPerSector;
  }
  clusterBytes_[root] = bytes;
  return bytes;
}

FileWiper::Place FileWiper::WhereLeads(HANDLE file, const std::u16string& longPath) {
  // Some systems show a symbolic link to a file as a plain file. The handle's
  // final path then names the target, not the folder the entry lives in.
  HANDLE folder = CreateFileW(W(ParentPath(longPath)), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return Place::Unknown;
  std::u16string name = LastName(longPath);
  std::u16string finalPath = FinalPathOf(file);
  std::u16string folderPath = FinalPathOf(folder);
  Place place = Place::Unknown;
  if (!finalPath.empty() && !folderPath.empty()) {
    place = SamePath(finalPath, JoinPath(folderPath, name)) ? Place::Here : Place::Elsewhere;
  } else {
    // Some systems name no final path past MAX_PATH characters: the paths
    // within the volume, on the same volume, say the same.
    HandleFacts fileFacts, folderFacts;
    std::u16string within = VolumePathOf(file);
    std::u16string folderWithin = VolumePathOf(folder);
    if (!within.empty() && !folderWithin.empty() && FactsOf(file, fileFacts) && FactsOf(folder, folderFacts)) {
      bool same = fileFacts.identity.volumeSerial == folderFacts.identity.volumeSerial &&
                  SamePath(within, JoinPath(folderWithin, name));
      place = same ? Place::Here : Place::Elsewhere;
    }
  }
  CloseHandle(folder);
  return place;
}

WipeResult FileWiper::WipeFile(const std::u16string& longPath, DWORD attributes, uint64_t expectedId) {
  std::u16string display = ToDisplayPath(longPath);
  if (attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE)) {
    // Rewritten data of such files may land in new clusters; the old ones are
    // then only reached by wiping the free space.
    reporter_.Log(u"Note: " + display + u" is compressed or sparse; wipe the drive's free space as well");
  }
  bool clearedReadOnly = false;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    clearedReadOnly = SetFileAttributesW(W(longPath), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) != FALSE;
  }
  auto leave = [&](HANDLE file, const std::u16string& line) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (clearedReadOnly) SetFileAttributesW(W(longPath), attributes);
    reporter_.Failure(line);
    reporter_.FileProgress(display, 0, 100, /*finished=*/true, /*force=*/true);
    return WipeResult::Failed;
  };
  HANDLE file = CreateFileW(W(longPath), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return leave(file, u"Could not open " + display + u" (left as it is): " + ErrorText(error));
  }
  Place place = WhereLeads(file, longPath);
  if (place == Place::Elsewhere) {
    CloseHandle(file);
    if (clearedReadOnly) SetFileAttributesW(W(longPath), attributes);
    return RemoveLink(longPath, false);
  }
  if (place == Place::Unknown) return leave(file, u"Could not make sure where " + display + u" leads (left as it is)");
  HandleFacts facts;
  if (!FactsOf(file, facts)) return leave(file, u"Could not read what " + display + u" is (left as it is)");
  if (expectedId != 0 && facts.identity.fileId != 0 && facts.identity.fileId != expectedId)
    return leave(file, u"Left " + display + u" as it is: it was replaced by another file while the wipe ran");
  if (facts.links > 1) {
    // Overwriting would destroy the same data under names nobody chose.
    return leave(file, u"Left " + display + u" as it is: the same data has " + Decimal(facts.links - 1) +
                           (facts.links == 2 ? u" other name" : u" other names") + u" (hard links)");
  }
  int64_t size = 0;
  WipeResult result = OverwriteAndDelete(file, longPath, size);
  if (result != WipeResult::Wiped && clearedReadOnly) SetFileAttributesW(W(longPath), attributes);
  // Finished, wiped or not, so that a count of finished files adds up.
  if (result != WipeResult::Stopped) reporter_.FileProgress(display, size, 100, /*finished=*/true, /*force=*/true);
  return result;
}

bool FileWiper::OverwriteRange(HANDLE file, uint64_t size, uint64_t length, uint32_t cluster,
                               const std::u16string& what, const std::u16string* progressPath, bool& stopped) {
  stopped = false;
  uint64_t perPass = length == 0 ? 1 : length;
  uint64_t all = perPass * passes_.size();
  for (size_t pass = 0; pass < passes_.size(); ++pass) {
    PassSeed seed;
    if (passes_[pass].kind == PassKind::Random && !NewPassSeed(seed)) {
      reporter_.Failure(u"Could not wipe " + what + u": the system gave no random data");
      return false;
    }
    PassSource source(passes_[pass], seed);
    uint64_t before = perPass * pass;
    auto tick = [&](uint64_t written) {
      if (reporter_.StopRequested()) return false;
      if (progressPath) {
        int percent = int((before + written) * 100 / all);
        reporter_.FileProgress(*progressPath, int64_t(size), percent, /*finished=*/false, /*force=*/false);
      }
      return true;
    };
    // The data first, where it lies: a file small enough to live inside its
    // file record (NTFS) moves out of it once it grows, so its record is
    // overwritten and flushed before the slack past the end is written.
    WriteOutcome outcome = WritePass(file, source, 0, size, buffer_, tick, /*fillToFull=*/false);
    if (outcome.end == WriteEnd::Complete && length > size) {
      if (size < cluster && !FlushFileBuffers(file)) {
        reporter_.Failure(u"Could not flush " + what + u" to the medium: " + ErrorText(GetLastError()));
        return false;
      }
      auto slackTick = [&](uint64_t written) { return tick(size + written); };
      WriteOutcome slack = WritePass(file, source, size, length, buffer_, slackTick, /*fillToFull=*/false);
      // The slack may not grow on a full disk; the data is overwritten already.
      // Reported once: the later passes stop where this one could.
      if (slack.end != WriteEnd::Complete && slack.end != WriteEnd::Stopped) {
        reporter_.Failure(u"Could not overwrite the slack past the end of " + what + u": " + ErrorText(slack.error));
        length = size + slack.written;
      }
      if (slack.end == WriteEnd::Stopped) outcome.end = WriteEnd::Stopped;
    }
    if (outcome.end == WriteEnd::Stopped) {
      stopped = true;
      return false;
    }
    if (outcome.end != WriteEnd::Complete) {
      reporter_.Failure(u"Could not overwrite " + what + u": " + ErrorText(outcome.error));
      return false;
    }
    if (!FlushFileBuffers(file)) {
      reporter_.Failure(u"Could not flush " + what + u" to the medium: " + ErrorText(GetLastError()));
      return false;
    }
  }
  return true;
}

bool FileWiper::OverwriteNamedStreams(const std::u16string& longPath) {
  WIN32_FIND_STREAM_DATA data;
  HANDLE find = FindFirstStreamW(W(longPath), FindStreamInfoStandard, &data, 0);
  if (find == INVALID_HANDLE_VALUE) return true;  // no streams, or no stream support
  std::vector<std::u16string> names;
  do {
    std::u16string name = U16(data.cStreamName);  // ":name:$DATA"
    if (name == u"::$DATA") continue;
    size_t type = name.rfind(u':');
    if (type != std::u16string::npos && type > 0) names.push_back(name.substr(0, type));
  } while (FindNextStreamW(find, &data));
  FindClose(find);
  uint32_t cluster = ClusterBytes(longPath);
  for (const std::u16string& name : names) {
    std::u16string streamPath = longPath + name;
    std::u16string what = ToDisplayPath(streamPath);
    HANDLE stream = CreateFileW(W(streamPath), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stream == INVALID_HANDLE_VALUE) {
      reporter_.Failure(u"Could not open " + what + u": " + ErrorText(GetLastError()));
      return false;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(stream, &size);
    uint64_t length = (uint64_t(size.QuadPart) + cluster - 1) / cluster * cluster;
    bool stopped = false;
    bool ok = OverwriteRange(stream, uint64_t(size.QuadPart), length, cluster, what, nullptr, stopped);
    if (ok) {
      LARGE_INTEGER zero = {};
      ok = SetFilePointerEx(stream, zero, nullptr, FILE_BEGIN) && SetEndOfFile(stream);
    }
    CloseHandle(stream);
    if (!ok) return false;
  }
  return true;
}

WipeResult FileWiper::OverwriteAndDelete(HANDLE file, const std::u16string& longPath, int64_t& fileSize) {
  std::u16string display = ToDisplayPath(longPath);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size)) {
    reporter_.Failure(u"Could not read the size of " + display + u": " + ErrorText(GetLastError()));
    CloseHandle(file);
    return WipeResult::Failed;
  }
  fileSize = size.QuadPart;
  reporter_.FileProgress(display, size.QuadPart, 0, /*finished=*/false, /*force=*/true);
  uint32_t cluster = ClusterBytes(longPath);
  uint64_t length = (uint64_t(size.QuadPart) + cluster - 1) / cluster * cluster;
  bool stopped = false;
  if (!OverwriteRange(file, uint64_t(size.QuadPart), length, cluster, display, &display, stopped)) {
    // The slack written past the end goes again: the file keeps its length.
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    if (stopped) {
      reporter_.Log(u"Stopped while wiping " + display + u"; the file was left in place");
      return WipeResult::Stopped;
    }
    return WipeResult::Failed;
  }
  LARGE_INTEGER zero = {};
  FILETIME neutral = NeutralTime();
  bool truncated = SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  if (!truncated) {
    reporter_.Failure(u"Could not truncate " + display + u": " + ErrorText(GetLastError()));
    CloseHandle(file);
    return WipeResult::Failed;
  }
  if (!SetFileTime(file, &neutral, &neutral, &neutral))
    reporter_.Failure(u"Could not reset the time stamps of " + display + u": " + ErrorText(GetLastError()));
  if (!FlushFileBuffers(file))
    reporter_.Failure(u"Could not flush " + display + u" to the medium: " + ErrorText(GetLastError()));
  CloseHandle(file);
  if (!OverwriteNamedStreams(longPath)) return WipeResult::Failed;
  std::u16string current = RenameAway(longPath);
  if (!DeleteFileRetrying(current)) {
    reporter_.Failure(u"Could not delete " + display + u" after overwriting it: " + ErrorText(GetLastError()));
    return WipeResult::Failed;
  }
  return WipeResult::Wiped;
}

std::u16string FileWiper::RenameAway(const std::u16string& longPath) {
  std::u16string current = longPath;
  std::u16string folder = ParentPath(longPath);
  size_t length = LastName(longPath).size();
  auto failed = [&](const std::u16string& why) {
    reporter_.Failure(u"Could not rename " + ToDisplayPath(longPath) + u" to a random name: " + why);
    return current;
  };
  for (int round = 0; round < kRenames; ++round) {
    bool renamed = false;
    for (int attempt = 0; attempt < kRenameTries && !renamed; ++attempt) {
      std::u16string name;
      if (!RandomName(length, name)) return failed(u"the system gave no random data");
      std::u16string next = JoinPath(folder, name);
      if (MoveFileExW(W(current), W(next), 0)) {
        current = next;
        renamed = true;
        continue;
      }
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return failed(ErrorText(error));
    }
    if (!renamed) return failed(u"every random name was taken");
  }
  return current;
}

WipeResult FileWiper::RemoveLink(const std::u16string& longPath, bool isFolder) {
  std::u16string display = ToDisplayPath(longPath);
  auto finished = [&] {
    if (!isFolder) reporter_.FileProgress(display, 0, 100, /*finished=*/true, /*force=*/true);
  };
  // The link itself is opened and deleted through its own handle, so nothing
  // can resolve it to its target in between.
  HANDLE link = CreateFileW(W(longPath), DELETE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (link == INVALID_HANDLE_VALUE) {
    reporter_.Failure(u"Could not open the link " + display + u" (its target was not touched): " +
                      ErrorText(GetLastError()));
    finished();
    return WipeResult::Failed;
  }
  if (WhereLeads(link, longPath) != Place::Here) {
    // Where the system opens only the target (as Wine does), deleting would
    // delete the target: the link is left alone.
    CloseHandle(link);
    reporter_.Failure(u"Left the link " + display +
                      u" alone: this system cannot remove it without touching what it points to");
    finished();
    return WipeResult::Failed;
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  bool removed = SetFileInformationByHandle(link, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
  DWORD error = GetLastError();
  CloseHandle(link);
  if (!removed) {
    reporter_.Failure(u"Could not remove the link " + display + u" (its target was not touched): " +
                      ErrorText(error));
    finished();
    return WipeResult::Failed;
  }
  reporter_.Log(u"Removed the link " + display + u" without following it");
  finished();
  return WipeResult::Wiped;
}

WipeResult FileWiper::RemoveFolder(const std::u16string& longPath) {
  std::u16string display = ToDisplayPath(longPath);
  DWORD attributes = GetFileAttributesW(W(longPath));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(W(longPath), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  }
  std::u16string current = RenameAway(longPath);
  if (!RemoveFolderRetrying(current)) {
    reporter_.Failure(u"Could not remove the folder " + display + u": " + ErrorText(GetLastError()));
    return WipeResult::Failed;
  }
  return WipeResult::Wiped;
}

}  // namespace qv::engine
