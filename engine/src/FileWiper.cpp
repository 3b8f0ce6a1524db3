#include "FileWiper.h"

#include <vector>

#include "HostPaths.h"
#include "NtFiles.h"
#include "PassWriter.h"
#include "PathNames.h"
#include "SystemRandom.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr int kRenames = 3;
constexpr int kRenameTries = 8;
constexpr uint32_t kDefaultClusterBytes = 4096;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kOpenTries = 10;
constexpr DWORD kOpenPauseMs = 50;
constexpr DWORD kNameSurrogate = 0x20000000;

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

// The drive of a path as the log names it ("R:", or the share "\\server\share").
std::u16string DriveOf(const std::u16string& longPath) {
  std::u16string root = VolumeRootOf(longPath);
  if (root.size() > 1 && root.back() == u'\\') root.pop_back();
  return root.empty() ? u"its drive" : u"drive " + root;
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

bool SetAttributes(HANDLE item, DWORD attributes) {
  FILE_BASIC_INFO info = {};  // zero times: left as they are
  info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(item, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Opens an entry of a folder; a scanner or indexer holding it for a moment
// is waited for about half a second.
HANDLE OpenEntry(const OpenFolder& folder, const std::u16string& name, ACCESS_MASK access, ULONG share,
                 ULONG options, DWORD& error) {
  for (int attempt = 1;; ++attempt) {
    HANDLE handle = OpenBelow(folder.handle, name, access, share, options, error);
    if (handle != INVALID_HANDLE_VALUE || error != ERROR_SHARING_VIOLATION || attempt == kOpenTries) return handle;
    Sleep(kOpenPauseMs);
  }
}

// Whether renames and deletions through handles are carried out on the paths
// the handles were opened by (Wine), rather than on the objects.
bool RenamesByPath() { return KeySourceOfThisSystem() == FileKey::Source::UnixDevice; }

// A name as some systems show it in the paths of handles: without trailing
// dots and spaces.
std::u16string Trimmed(std::u16string name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
  return name;
}

// Paths compared name by name, each without trailing dots and spaces.
bool SameTrimmedPath(const std::u16string& a, const std::u16string& b) {
  size_t i = 0, j = 0;
  for (;;) {
    size_t endA = a.find(u'\\', i), endB = b.find(u'\\', j);
    if (endA == std::u16string::npos) endA = a.size();
    if (endB == std::u16string::npos) endB = b.size();
    if (!SamePath(Trimmed(a.substr(i, endA - i)), Trimmed(b.substr(j, endB - j)))) return false;
    if (endA == a.size() || endB == b.size()) return endA == a.size() && endB == b.size();
    i = endA + 1;
    j = endB + 1;
  }
}

// Whether the entry's name without its trailing dots and spaces names another
// entry of the folder that is the same object.
bool LeadsToTrimmedSibling(const OpenFolder& folder, const std::u16string& name, const FileKey& key) {
  std::u16string trimmed = Trimmed(name);
  if (trimmed == name || trimmed.empty()) return false;
  DWORD error = 0;
  HANDLE sibling = OpenBelow(folder.handle, trimmed, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
  if (sibling == INVALID_HANDLE_VALUE) return false;
  FileKey siblingKey;
  bool same = KeyOf(sibling, siblingKey) && SameObject(siblingKey, key);
  CloseHandle(sibling);
  return same;
}

// The errors a system that renames by path gives when a path on the way
// led elsewhere: what its look-up met there (nothing, or a folder it could
// not use) rather than why.
bool LostOnTheWay(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NOT_ENOUGH_MEMORY ||
         error == ERROR_INVALID_HANDLE;
}

}  // namespace

std::function<void(WipeStep step, const std::u16string& longPath)> gWipeStep;

HANDLE SystemOpenStream(HANDLE file, const std::u16string& name, DWORD& error) {
  return OpenBelow(file, name, GENERIC_READ | GENERIC_WRITE, 0, kNonDirectoryOnly, error);
}

StreamLister gListStreams = StreamsOf;
StreamOpener gOpenStream = SystemOpenStream;
RenameCall gRename = RenameBelow;

void AtStep(WipeStep step, const std::u16string& longPath) {
  if (gWipeStep) gWipeStep(step, longPath);
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return reparseTag == 0 || (reparseTag & kNameSurrogate) != 0;
}

bool IsDataReparseEntry(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsLinkEntry(attributes, reparseTag);
}

FileWiper::FileWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const AlignedBuffer& buffer)
    : reporter_(reporter), passes_(passes), buffer_(buffer) {}

FileWiper::~FileWiper() {
  // The tree wiper releases every private folder it made; this only lets go
  // of the handles should it not have come that far.
  for (auto& [folder, staging] : staging_) CloseHandle(staging.handle);
}

StagingFolder* FileWiper::StagingFor(const OpenFolder& folder, DWORD& error) {
  auto found = staging_.find(folder.handle);
  if (found != staging_.end()) return &found->second;
  StagingFolder made;
  if (!MakeStagingFolder(folder.handle, made, error)) {
    if (!made.name.empty()) {
      reporter_.Failure(u"Could not remove the folder " + ToDisplayPath(JoinPath(folder.path, made.name)) +
                        u", made for renaming wiped items and then not opened");
    }
    return nullptr;
  }
  return &staging_.emplace(folder.handle, made).first->second;
}

bool FileWiper::ReleaseStaging(const OpenFolder& folder, uint64_t& nameChars, std::set<uint64_t>* left) {
  StagingFolder staging = TakeStaging(folder);
  return ReleaseStagingFolder(folder, staging, reporter_, nameChars, left);
}

void FileWiper::AdoptStaging(const OpenFolder& folder, const StagingFolder& staging) {
  if (staging.handle != INVALID_HANDLE_VALUE) staging_.emplace(folder.handle, staging);
}

StagingFolder FileWiper::TakeStaging(const OpenFolder& folder) {
  auto found = staging_.find(folder.handle);
  if (found == staging_.end()) return {};
  StagingFolder staging = found->second;
  staging_.erase(found);
  return staging;
}

bool ReleaseStagingFolder(const OpenFolder& folder, StagingFolder& staging, Reporter& reporter,
                          uint64_t& nameChars, std::set<uint64_t>* left) {
  if (staging.handle == INVALID_HANDLE_VALUE) return false;
  const std::u16string longPath = JoinPath(folder.path, staging.name);
  std::u16string display = ToDisplayPath(longPath);
  FileKey own;
  if (left && KeyOf(staging.handle, own) && own.fileId != 0) left->insert(own.fileId);  // should it stay
  if (staging.keep) {
    CloseHandle(staging.handle);
    staging.handle = INVALID_HANDLE_VALUE;
    reporter.Log(u"Kept the folder " + display +
                 u": it holds an item moved in from elsewhere while the wipe ran, which was left untouched");
    return false;
  }
  DWORD error = 0;
  std::vector<std::u16string> others;
  if (!RemoveStagingFolder(folder.handle, staging, error, &others)) {
    if (error == ERROR_DIR_NOT_EMPTY) {
      // Not a failure of its own: what of ours stayed in it was counted, and
      // what another program put in it (a sync client may put a file in every
      // new folder) is named now, once each; it came after any confirm step.
      for (const std::u16string& name : others)
        reporter.Failure(ToDisplayPath(JoinPath(longPath, name)) + u": appeared after the confirm step, not wiped");
      reporter.Log(u"Kept the folder " + display + u", made for renaming wiped items: it holds items that were not "
                   u"wiped");
      return false;
    }
    reporter.Failure(u"Could not remove the folder " + display + u", made for renaming wiped items: " +
                     ErrorText(error));
    return false;
  }
  if (left) left->erase(own.fileId);
  nameChars = staging.name.size();
  return true;
}

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

bool FileWiper::PlaceHolds(const OpenFolder& folder, HANDLE item, const std::u16string& name,
                           std::u16string* place, HANDLE* opened) {
  // Compared by key with what is held: the same object on the same volume.
  FileKey held, reached;
  const DWORD access = opened ? FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE : FILE_READ_ATTRIBUTES;
  HANDLE byPath =
      CreateFileW(W(folder.path), access, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (byPath == INVALID_HANDLE_VALUE) return false;
  bool same = KeyOf(byPath, reached) && SameObject(reached, folder.key);
  if (same && place) *place = PlaceOf(byPath);
  if (same && opened) {
    *opened = byPath;
  } else {
    CloseHandle(byPath);
  }
  if (!same || item == INVALID_HANDLE_VALUE) return same;
  byPath = CreateFileW(W(JoinPath(folder.path, name)), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (byPath == INVALID_HANDLE_VALUE) return false;
  same = KeyOf(byPath, reached) && KeyOf(item, held) && SameObject(reached, held);
  CloseHandle(byPath);
  return same;
}

FileWiper::Place FileWiper::WhereLeads(const OpenFolder& folder, HANDLE file, const FileKey& key,
                                       const std::u16string& name) {
  // The places of both handles: the file's must be the folder's and the
  // entry's name. Under Wine a place names its drive too, so a link to a file
  // at the same path on another letter is told apart. Such paths lose
  // trailing dots and spaces on some systems, so names are compared without
  // them. The volume of an open handle cannot change: it is not asked for again.
  std::u16string within = PlaceOf(file);
  std::u16string folderWithin = PlaceOf(folder.handle);
  if (within.empty() || folderWithin.empty()) return Place::Unknown;
  if (!SameVolume(key, folder.key)) return Place::Elsewhere;
  while (!folderWithin.empty() && folderWithin.back() == u'\\') folderWithin.pop_back();
  bool same = SameTrimmedPath(within, folderWithin + u"\\" + name);
  return same ? Place::Here : Place::Elsewhere;
}

WipeResult FileWiper::WipeFile(const OpenFolder& folder, const Listed& entry) {
  faulted_ = false;
  std::u16string longPath = JoinPath(folder.path, entry.name);
  std::u16string display = ToDisplayPath(longPath);
  HANDLE file = INVALID_HANDLE_VALUE;
  bool clearedReadOnly = false;
  auto leave = [&](const std::u16string& line) {
    if (file != INVALID_HANDLE_VALUE) {
      if (clearedReadOnly) SetAttributes(file, entry.attributes);
      CloseHandle(file);
    }
    Fault(line);
    reporter_.FileProgress(display, 0, 100, /*finished=*/true, /*force=*/true, /*failed=*/true);
    return WipeResult::Failed;
  };
  DWORD error = 0;
  if (entry.attributes & FILE_ATTRIBUTE_READONLY) {
    // Cleared through a handle of its own first: the file is then opened for writing.
    HANDLE attributes = OpenEntry(folder, entry.name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                  kNonDirectoryOnly, error);
    if (attributes != INVALID_HANDLE_VALUE) {
      FileKey key;
      clearedReadOnly = KeyOf(attributes, key) && key.fileId == entry.fileId &&
                        SetAttributes(attributes, entry.attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
      CloseHandle(attributes);
    }
  }
  file = OpenEntry(folder, entry.name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, kNonDirectoryOnly, error);
  if (file == INVALID_HANDLE_VALUE) {
    if (clearedReadOnly) {
      HANDLE attributes =
          OpenEntry(folder, entry.name, FILE_WRITE_ATTRIBUTES, kShareAll, kNonDirectoryOnly, error);
      if (attributes != INVALID_HANDLE_VALUE) {
        SetAttributes(attributes, entry.attributes);
        CloseHandle(attributes);
      }
      clearedReadOnly = false;
    }
    return leave(u"Could not open " + display + u" (left as it is): " + ErrorText(error));
  }
  DWORD attributes = 0, tag = 0;
  FileKey key;
  DWORD links = 0;
  if (!TagOf(file, attributes, tag) || !KeyOf(file, key) || !LinkCountOf(file, links))
    return leave(u"Could not read what " + display + u" is (left as it is)");
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || !SameVolume(key, folder.key) ||
      (entry.fileId != 0 && key.fileId != entry.fileId))
    return leave(u"Left " + display + u" as it is: it was replaced by another file while the wipe ran");
  Place place = WhereLeads(folder, file, key, entry.name);
  if (place == Place::Elsewhere) {
    if (clearedReadOnly) SetAttributes(file, entry.attributes);
    CloseHandle(file);
    return RemoveLink(folder, entry);
  }
  if (place == Place::Unknown) return leave(u"Could not make sure where " + display + u" leads (left as it is)");
  if (links > 1) {
    // Overwriting would destroy the same data under names nobody chose.
    return leave(u"Left " + display + u" as it is: the same data has " + Decimal(links - 1) +
                 (links == 2 ? u" other name" : u" other names") + u" (hard links)");
  }
  if (LeadsToTrimmedSibling(folder, entry.name, key)) {
    // The handle's path cannot tell "bar " from "bar"; the same object under
    // both names is a link the system shows as a file.
    if (clearedReadOnly) SetAttributes(file, entry.attributes);
    CloseHandle(file);
    return RemoveLink(folder, entry);
  }
  int64_t size = 0;
  stepPath_ = longPath;
  std::u16string lastName = entry.name;
  WipeResult result = WipeResult::Failed;
  try {
    result = OverwriteAndDelete(folder, file, lastName, size);
  } catch (...) {
    CloseHandle(file);  // not left open past an internal error: the file could not be removed after
    throw;
  }
  if (result != WipeResult::Wiped && clearedReadOnly) SetAttributes(file, entry.attributes);
  CloseHandle(file);
  if (result == WipeResult::Wiped && !EnsureGone(folder, lastName, key)) {
    Fault(u"Could not delete " + display + u" after overwriting it: it is still there, emptied, as " +
          ToDisplayPath(JoinPath(folder.path, lastName)));
    result = WipeResult::Failed;
  }
  const DWORD kind = attributes | entry.attributes;  // as opened, or as listed
  if (result == WipeResult::Wiped && (kind & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE))) {
    // Gone, but its old clusters may not be: rewritten data of such a file
    // may land in new clusters, and only a free-space wipe reaches the old ones.
    const bool compressed = (kind & FILE_ATTRIBUTE_COMPRESSED) != 0;
    Fault(u"Not securely wiped: " + display + u" was " + (compressed ? u"compressed" : u"sparse") +
                      u", so the file system may keep its old data in clusters the passes did not reach. "
                      u"Wipe the free space of " + DriveOf(longPath) + u" as well");
    result = WipeResult::Failed;
  }
  // Gone, but with a trace left (its slack, its time stamps, its name, or
  // data not known to be on the medium): counted once, as not wiped.
  if (result == WipeResult::Wiped && faulted_) result = WipeResult::Failed;
  // Finished, wiped or not, so that a count of finished files adds up.
  if (result != WipeResult::Stopped)
    reporter_.FileProgress(display, size, 100, /*finished=*/true, /*force=*/true, result != WipeResult::Wiped);
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
      Fault(u"Could not wipe " + what + u": the system gave no random data");
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
    if (pass == 0 && progressPath) AtStep(WipeStep::Overwriting, stepPath_);
    if (outcome.end == WriteEnd::Complete && length > size) {
      if (size < cluster && !gFlush(file)) {
        Fault(u"Could not flush " + what + u" to the medium: " + ErrorText(GetLastError()));
        return false;
      }
      auto slackTick = [&](uint64_t written) { return tick(size + written); };
      WriteOutcome slack = WritePass(file, source, size, length, buffer_, slackTick, /*fillToFull=*/false);
      // The slack may not grow on a full disk; the data is overwritten already.
      // Reported once: the later passes stop where this one could.
      if (slack.end != WriteEnd::Complete && slack.end != WriteEnd::Stopped) {
        Fault(u"Could not overwrite the slack past the end of " + what + u": " + ErrorText(slack.error));
        length = size + slack.written;
      }
      if (slack.end == WriteEnd::Stopped) outcome.end = WriteEnd::Stopped;
    }
    if (outcome.end == WriteEnd::Stopped) {
      stopped = true;
      return false;
    }
    if (outcome.end != WriteEnd::Complete) {
      Fault(u"Could not overwrite " + what + u": " + ErrorText(outcome.error));
      return false;
    }
    if (!gFlush(file)) {
      Fault(u"Could not flush " + what + u" to the medium: " + ErrorText(GetLastError()));
      return false;
    }
  }
  return true;
}

WipeResult FileWiper::OverwriteNamedStreams(HANDLE file, const std::u16string& longPath) {
  std::vector<std::u16string> names;
  if (!gListStreams(file, names)) return WipeResult::Wiped;  // no stream support
  uint32_t cluster = ClusterBytes(longPath);
  for (const std::u16string& name : names) {
    std::u16string what = ToDisplayPath(longPath + name);
    DWORD error = 0;
    HANDLE stream = gOpenStream(file, name, error);
    if (stream == INVALID_HANDLE_VALUE) {
      Fault(u"Could not open " + what + u": " + ErrorText(error));
      return WipeResult::Failed;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(stream, &size);
    uint64_t length = (uint64_t(size.QuadPart) + cluster - 1) / cluster * cluster;
    bool stopped = false;
    bool ok = OverwriteRange(stream, uint64_t(size.QuadPart), length, cluster, what, nullptr, stopped);
    if (ok) {
      LARGE_INTEGER zero = {};
      ok = SetFilePointerEx(stream, zero, nullptr, FILE_BEGIN) && SetEndOfFile(stream);
      if (!ok) Fault(u"Could not truncate " + what + u": " + ErrorText(GetLastError()));
    } else {
      // The slack written past its end goes again: the stream keeps its length.
      SetFilePointerEx(stream, size, nullptr, FILE_BEGIN);
      SetEndOfFile(stream);
    }
    CloseHandle(stream);
    if (stopped) return WipeResult::Stopped;
    if (!ok) return WipeResult::Failed;
  }
  return WipeResult::Wiped;
}

WipeResult FileWiper::OverwriteAndDelete(const OpenFolder& folder, HANDLE file, std::u16string& name,
                                         int64_t& fileSize) {
  std::u16string longPath = JoinPath(folder.path, name);
  std::u16string display = ToDisplayPath(longPath);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size)) {
    Fault(u"Could not read the size of " + display + u": " + ErrorText(GetLastError()));
    return WipeResult::Failed;
  }
  fileSize = size.QuadPart;
  // Throttled like the percents: a file done within the interval is named by
  // its finishing message, which is always sent.
  reporter_.FileProgress(display, size.QuadPart, 0, /*finished=*/false, /*force=*/false);
  uint32_t cluster = ClusterBytes(longPath);
  uint64_t length = (uint64_t(size.QuadPart) + cluster - 1) / cluster * cluster;
  bool stopped = false;
  bool overwritten = OverwriteRange(file, uint64_t(size.QuadPart), length, cluster, display, &display, stopped);
  // The named streams before the main one is cut: a stop or a failure in
  // them leaves the file with its length.
  if (overwritten) {
    WipeResult streams = OverwriteNamedStreams(file, longPath);
    overwritten = streams == WipeResult::Wiped;
    stopped = streams == WipeResult::Stopped;
  }
  if (!overwritten) {
    // The slack written past the end goes again: the file keeps its length.
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
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
    Fault(u"Could not truncate " + display + u": " + ErrorText(GetLastError()));
    return WipeResult::Failed;
  }
  if (!SetFileTime(file, &neutral, &neutral, &neutral))
    Fault(u"Could not reset the time stamps of " + display + u": " + ErrorText(GetLastError()));
  if (!gFlush(file))
    Fault(u"Could not flush " + display + u" to the medium: " + ErrorText(GetLastError()));
  // The folder held is checked, not the file: a file it holds is renamed and
  // deleted within it whatever its name leads to.
  std::u16string current = name;
  AtStep(WipeStep::Renaming, longPath);
  if (!PlaceHolds(folder, INVALID_HANDLE_VALUE, current)) {
    Fault(u"Did not rename or delete " + display +
                      u" after overwriting it: its folder was moved or replaced while the wipe ran");
    return WipeResult::Failed;
  }
  Move moved = MoveAway(folder, file, current);
  if (moved == Move::Displaced) return WipeResult::Failed;
  if (moved == Move::Failed && RenamesByPath()) {
    // Deleting goes by the original name there too, which a folder swapped
    // at that moment would lend to another item.
    Fault(current.find(u'\\') == std::u16string::npos
              ? u"Left " + display + u" in place, overwritten and emptied: it could not be moved aside for deletion"
              : u"Left " + display + u", overwritten and emptied, as " + ToDisplayPath(JoinPath(folder.path, current)) +
                    u": it could not be renamed there for deletion");
    return WipeResult::Failed;
  }
  AtStep(WipeStep::Deleting, JoinPath(folder.path, current));
  if (!PlaceHolds(folder, INVALID_HANDLE_VALUE, current)) {
    Fault(u"Did not delete " + display + u" after overwriting it (it is left, emptied, as " +
          ToDisplayPath(JoinPath(folder.path, current)) + u"): its folder was moved or replaced while the wipe ran");
    return WipeResult::Failed;
  }
  name = current;
  DWORD error = 0;
  if (!MarkForDeletion(file, error)) {
    Fault(u"Could not delete " + display + u" after overwriting it: " + ErrorText(error));
    return WipeResult::Failed;
  }
  return WipeResult::Wiped;
}

FileWiper::Move FileWiper::MoveAway(const OpenFolder& folder, HANDLE item, std::u16string& name) {
  std::u16string display = ToDisplayPath(JoinPath(folder.path, name));
  const size_t length = name.size();
  StagingFolder* staging = nullptr;
  std::u16string inside;  // the item's name in the private folder, once moved there
  auto settle = [&] {
    if (!inside.empty()) name = staging->name + u"\\" + inside;
  };
  auto failed = [&](const std::u16string& why) {
    settle();
    Fault(u"Could not rename " + display + u" to a random name: " + why);
    return Move::Failed;
  };
  FileKey key;
  if (!KeyOf(item, key)) return failed(u"the system cannot say what it is");
  DWORD error = 0;
  staging = StagingFor(folder, error);
  if (!staging) return failed(u"no folder of its own could be made beside it: " + ErrorText(error));
  staging->moved.insert(key.fileId);
  for (int round = 0; round < kRenames; ++round) {
    bool renamed = false;
    for (int attempt = 0; attempt < kRenameTries && !renamed; ++attempt) {
      std::u16string next;
      if (!RandomName(length, next)) return failed(u"the system gave no random data");
      const bool answered = gRename(item, staging->handle, next, error);
      if (!answered && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) continue;
      const DWORD renameError = error;
      // A system that renames by path may have renamed whatever the path led
      // to at that moment, and may even report a failure after it moved it:
      // the new name must now be the item's own, and nothing else's.
      const Bearer bearer = BearerOf(staging->handle, next, key);
      if (bearer == Bearer::Nobody && !answered) return failed(RenameFailure(folder, *staging, next, renameError));
      if (bearer != Bearer::Item) {
        const std::u16string taken = inside.empty() ? name : inside;  // the name the other item had
        settle();
        std::u16string there = ToDisplayPath(JoinPath(JoinPath(folder.path, staging->name), next));
        std::u16string what;
        if (bearer == Bearer::Nobody) {
          what = u"it was not found under its new name " + there;
        } else if (bearer == Bearer::Unknown) {
          staging->keep = true;
          what = u"what bears its new name " + there + u" could not be opened to tell what it is";
        } else if (PutBack(folder, *staging, next, taken)) {
          what = u"the system renamed another item instead, from the folder that took its folder's place for a "
                 u"moment; that item was put back unchanged";
        } else {
          staging->keep = true;
          what = u"the system renamed another item instead, from the folder that took its folder's place for a "
                 u"moment; that item was left unchanged as " + there + u" (it was named " + taken + u")";
        }
        Fault(u"Stopped wiping " + display + u" after overwriting it: its folder was moved or replaced while the "
              u"wipe ran, and " + what + u". Nothing more was renamed or deleted");
        return Move::Displaced;
      }
      inside = next;
      renamed = true;
    }
    if (!renamed) return failed(u"every random name was taken");
  }
  settle();
  return Move::Moved;
}

std::u16string FileWiper::RenameFailure(const OpenFolder& folder, const StagingFolder& staging,
                                        const std::u16string& next, DWORD error) {
  if (BeyondHostLimit(JoinPath(JoinPath(folder.path, staging.name), next)))
    return std::u16string(u"its path there is ") + kBeyondHostLimit;
  // The private folder is held open (nobody may rename or remove it), so a
  // rename into it by path fails only where the folder's path led elsewhere.
  if (RenamesByPath() && (LostOnTheWay(error) || !PlaceHolds(folder, INVALID_HANDLE_VALUE, u"")))
    return u"another program moved or replaced its folder while the wipe ran (this system renames by path, and "
           u"the path led elsewhere at that moment)";
  return ErrorText(error);
}

bool FileWiper::PutBack(const OpenFolder& folder, const StagingFolder& staging, const std::u16string& inStaging,
                        const std::u16string& name) {
  // Up to about three seconds for each step: the moments when the path leads
  // elsewhere may be short and rare.
  constexpr int kTries = 1500;
  constexpr DWORD kPauseMs = 1;
  constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
  // Each try waits a moment between the steps, each of which needs the paths
  // as they were at a different moment of the swap.
  auto retried = [&](auto step) {
    for (int attempt = 0; attempt < kTries; ++attempt) {
      if (attempt) Sleep(kPauseMs);
      if (step()) return true;
    }
    return false;
  };
  DWORD error = 0;
  const std::u16string ourPlace = PlaceOf(folder.handle);
  const std::u16string stagingPlace = PlaceOf(staging.handle);
  if (ourPlace.empty() || stagingPlace.empty()) return false;
  // Where the folder's path leads when it leads elsewhere: where the item came from.
  HANDLE origin = INVALID_HANDLE_VALUE;
  FileKey originKey;
  bool found = retried([&] {
    origin = CreateFileW(W(folder.path), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
    if (origin == INVALID_HANDLE_VALUE) return false;
    // Its place as the system names it (by the path it will rename by) must
    // not be the folder's: the path may have turned back while it was opened.
    std::u16string place = PlaceOf(origin);
    if (KeyOf(origin, originKey) && !SameObject(originKey, folder.key) && !place.empty() && place != ourPlace)
      return true;
    CloseHandle(origin);
    origin = INVALID_HANDLE_VALUE;
    return false;
  });
  if (!found) return false;
  HANDLE item = INVALID_HANDLE_VALUE;
  FileKey itemKey, there;
  bool back = false;
  // The name must still be free there; then the item is moved and checked
  // through the folder's handle, whatever the call answers.
  HANDLE taken = OpenBelow(origin, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
  if (taken != INVALID_HANDLE_VALUE) {
    CloseHandle(taken);
  } else if (retried([&] {
               item = OpenBelow(staging.handle, inStaging, DELETE | FILE_READ_ATTRIBUTES, kShareAll, 0, error);
               if (item == INVALID_HANDLE_VALUE) return false;
               // Named by the private folder's path, which leads to it.
               if (PlaceOf(item) == JoinPath(stagingPlace, inStaging)) return true;
               CloseHandle(item);
               item = INVALID_HANDLE_VALUE;
               return false;
             }) &&
             KeyOf(item, itemKey)) {
    back = retried([&] {
      RenameBelow(item, origin, name, error);
      HANDLE at = OpenBelow(origin, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
      bool same = at != INVALID_HANDLE_VALUE && KeyOf(at, there) && SameObject(there, itemKey);
      if (at != INVALID_HANDLE_VALUE) CloseHandle(at);
      return same;
    });
  }
  if (item != INVALID_HANDLE_VALUE) CloseHandle(item);
  CloseHandle(origin);
  return back;
}

WipeResult FileWiper::RemoveLink(const OpenFolder& folder, const Listed& entry) {
  faulted_ = false;
  std::u16string longPath = JoinPath(folder.path, entry.name);
  std::u16string display = ToDisplayPath(longPath);
  bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  auto finished = [&](bool failed) {
    if (isFolder) reporter_.FolderFinished(display, failed);
    else reporter_.FileProgress(display, 0, 100, /*finished=*/true, /*force=*/true, failed);
  };
  auto fail = [&](HANDLE link, const std::u16string& line) {
    if (link != INVALID_HANDLE_VALUE) CloseHandle(link);
    Fault(line);
    finished(true);
    return WipeResult::Failed;
  };
  AtStep(WipeStep::RemovingLink, longPath);
  // The link itself is opened, relative to its folder, and deleted through
  // its own handle once that handle shows the link listed.
  DWORD error = 0;
  HANDLE link = OpenEntry(folder, entry.name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, 0, error);
  if (link == INVALID_HANDLE_VALUE)
    return fail(link, u"Could not open the link " + display + u" (its target was not touched): " + ErrorText(error));
  DWORD attributes = 0, tag = 0;
  HandleFacts facts;
  if (!TagOf(link, attributes, tag) || !FactsOf(link, facts) || !IsLinkEntry(attributes, tag)) {
    // Where the system opens only the target (as some do), deleting would
    // delete the target: the link is left alone.
    return fail(link, u"Left the link " + display +
                          u" alone: this system cannot remove it without touching what it points to");
  }
  if (facts.identity.volumeSerial != folder.identity.volumeSerial ||
      (entry.fileId != 0 && facts.identity.fileId != entry.fileId) || !PlaceHolds(folder, link, entry.name))
    return fail(link, u"Left the link " + display + u" alone: it was replaced or moved while the wipe ran");
  if (!MarkForDeletion(link, error))
    return fail(link, u"Could not remove the link " + display + u" (its target was not touched): " + ErrorText(error));
  CloseHandle(link);
  reporter_.Log(u"Removed the link " + display + u" without following it");
  finished(false);
  return WipeResult::Wiped;
}

WipeResult FileWiper::LeaveDataReparse(const OpenFolder& folder, const Listed& entry) {
  faulted_ = false;
  std::u16string display = ToDisplayPath(JoinPath(folder.path, entry.name));
  Fault(u"Not securely wiped: left " + display +
                    u" as it is: its data is kept by the system elsewhere (a cloud, deduplicated or otherwise "
                    u"stored file), so it cannot be overwritten in place. Wipe the free space of " +
                    DriveOf(JoinPath(folder.path, entry.name)) + u" as well");
  if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) reporter_.FolderFinished(display, /*failed=*/true);
  else reporter_.FileProgress(display, 0, 100, /*finished=*/true, /*force=*/true, /*failed=*/true);
  return WipeResult::Failed;
}

bool FileWiper::EnsureGone(const OpenFolder& folder, const std::u16string& name, const FileKey& key) {
  auto staging = staging_.find(folder.handle);
  size_t cut = name.find(u'\\');
  if (cut == std::u16string::npos || staging == staging_.end()) return true;
  if (!MadeGone(staging->second.handle, name.substr(cut + 1), key)) return false;
  // Its number is free now: an item another program makes may get it.
  staging->second.moved.erase(key.fileId);
  return true;
}

WipeResult FileWiper::RemoveFolder(const OpenFolder& parent, OpenFolder& item, bool* putBack) {
  faulted_ = false;
  std::u16string display = ToDisplayPath(item.path);
  AtStep(WipeStep::RemovingFolder, item.path);
  DWORD attributes = 0, tag = 0;
  FileKey key;
  if (!TagOf(item.handle, attributes, tag) || !KeyOf(item.handle, key) ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !SameObject(key, item.key)) {
    Fault(u"Kept the folder " + display + u": it is no longer the folder listed");
    return WipeResult::Failed;
  }
  std::u16string name = LastName(item.path);
  if (!PlaceHolds(parent, item.handle, name)) {
    Fault(u"Kept the folder " + display + u": it was moved or replaced while the wipe ran");
    return WipeResult::Failed;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) SetAttributes(item.handle, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  Move moved = MoveAway(parent, item.handle, name);
  if (moved == Move::Displaced) return WipeResult::Failed;
  if (moved == Move::Failed && RenamesByPath()) {
    Fault(u"Kept the emptied folder " + display +
          (name.find(u'\\') == std::u16string::npos ? u"" : u" as " + ToDisplayPath(JoinPath(parent.path, name))) +
          u": it could not be moved aside for removal");
    return WipeResult::Failed;
  }
  AtStep(WipeStep::DeletingFolder, JoinPath(parent.path, name));
  // Never left in the private folder with what another program put in it
  // meanwhile: the user's item goes back where it was made, its folder with it.
  auto cameBack = [&] {
    if (!putBack || name.find(u'\\') == std::u16string::npos || !PutBackFolder(parent, item, name)) return false;
    *putBack = true;
    return true;
  };
  DWORD error = 0;
  if (!PlaceHolds(parent, item.handle, name) || !MarkForDeletion(item.handle, error)) {
    if (error == ERROR_DIR_NOT_EMPTY && cameBack()) return WipeResult::Failed;
    // Named where it is now, should it be left in the private folder.
    std::u16string where;
    if (name.find(u'\\') != std::u16string::npos)
      where = u" (left as " + ToDisplayPath(JoinPath(parent.path, name)) + u")";
    Fault(u"Could not remove the folder " + display + where + u": " +
          (error ? ErrorText(error) : u"it was moved or replaced while the wipe ran"));
    return WipeResult::Failed;
  }
  CloseHandle(item.handle);
  item.handle = INVALID_HANDLE_VALUE;
  if (!EnsureGone(parent, name, item.key)) {
    if (cameBack()) return WipeResult::Failed;
    Fault(u"Could not remove the folder " + display + u": it is still there, emptied, as " +
          ToDisplayPath(JoinPath(parent.path, name)));
    return WipeResult::Failed;
  }
  // Removed, but its name may survive when it could not be renamed.
  return faulted_ ? WipeResult::Failed : WipeResult::Wiped;
}

bool FileWiper::PutBackFolder(const OpenFolder& folder, OpenFolder& item, const std::u16string& inStaging) {
  constexpr int kTries = 500;  // about a second: the moments when a path leads elsewhere are short
  constexpr ACCESS_MASK kHeld = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE |
                                FILE_WRITE_ATTRIBUTES;
  auto staging = staging_.find(folder.handle);
  if (staging == staging_.end()) return false;
  const std::u16string inside = inStaging.substr(inStaging.find(u'\\') + 1);
  const std::u16string name = LastName(item.path);
  DWORD error = 0;
  if (item.handle == INVALID_HANDLE_VALUE) {
    // Let go when it was marked: opened again through the private folder.
    HANDLE again = OpenBelow(staging->second.handle, inside, kHeld, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             kDirectoryOnly, error);
    FileKey key;
    if (again == INVALID_HANDLE_VALUE) return false;
    if (!KeyOf(again, key) || !SameObject(key, item.key)) {
      CloseHandle(again);
      return false;
    }
    item.handle = again;
  }
  // A rename by path that the folder's path turned elsewhere names a private
  // folder the other place does not hold: nothing moves there.
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (attempt) Sleep(2);
    if (!PlaceHolds(folder, INVALID_HANDLE_VALUE, u"")) continue;
    gRename(item.handle, folder.handle, name, error);
    if (BearerOf(folder.handle, name, item.key) == Bearer::Item) return true;
    if (BearerOf(staging->second.handle, inside, item.key) != Bearer::Item) break;  // not where it was: left alone
  }
  staging->second.keep = true;
  return false;
}

void FileWiper::Fault(const std::u16string& line) {
  reporter_.Failure(line, faulted_ ? 0 : 1);
  faulted_ = true;
}

}  // namespace qv::engine
