#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "AlignedBuffer.h"
#include "DriveTasks.h"
#include "PassWriter.h"
#include "PathNames.h"
#include "Removal.h"
#include "Reporter.h"
#include "SystemRandom.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr size_t kChunkBytes = 1 << 20;
constexpr uint64_t kFileLimit = 1ull << 30;  // stays below every file-size limit of FAT32
constexpr int kSmallFileLimit = 4096;
constexpr uint32_t kSmallFileBytes = 512;     // small enough to live inside a file record
constexpr DWORD kQuotaExceeded = 1295;        // ERROR_DISK_QUOTA_EXCEEDED

struct TempFile {
  std::u16string path;
  uint64_t size = 0;
};

// Everything the run creates, so that all of it goes again, stopped or not.
class TempArea {
 public:
  explicit TempArea(Reporter& reporter) : reporter_(reporter) {}
  ~TempArea() { Clear(); }

  bool Create(const std::u16string& root) {
    std::u16string name;
    if (!RandomName(8, name)) return false;
    folder_ = root + u"~QVFREE." + name;
    if (!CreateDirectoryW(W(folder_), nullptr)) {
      reporter_.Failure(u"Could not create the work folder " + folder_ + u": " + ErrorText(GetLastError()));
      folder_.clear();
      return false;
    }
    SetFileAttributesW(W(folder_), FILE_ATTRIBUTE_HIDDEN);
    // Work files inherit compression from their folder; compressed, a pass
    // would take far less room on the disk than it writes.
    HANDLE folder = CreateFileW(W(folder_), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder != INVALID_HANDLE_VALUE) {
      USHORT none = COMPRESSION_FORMAT_NONE;
      DWORD returned = 0;
      DeviceIoControl(folder, FSCTL_SET_COMPRESSION, &none, sizeof none, nullptr, 0, &returned, nullptr);
      CloseHandle(folder);
    }
    return true;
  }

  std::u16string NewFilePath(const char* prefix, size_t number) const {
    return JoinPath(folder_, Ascii(prefix) + Decimal(number));
  }
  std::vector<TempFile>& files() { return files_; }
  std::vector<std::u16string>& smallFiles() { return smallFiles_; }
  uint64_t Bytes() const {
    uint64_t bytes = 0;
    for (const TempFile& file : files_) bytes += file.size;
    return bytes;
  }

  // Deletes all files and the folder; each one left behind is reported.
  // True when nothing of the run is left.
  bool Clear() {
    bool cleared = true;
    for (const std::u16string& path : smallFiles_) cleared = Delete(path) && cleared;
    smallFiles_.clear();
    for (const TempFile& file : files_) cleared = Delete(file.path) && cleared;
    files_.clear();
    if (folder_.empty()) return cleared;
    SetFileAttributesW(W(folder_), FILE_ATTRIBUTE_NORMAL);
    if (!RemoveFolderRetrying(folder_)) {
      reporter_.Failure(u"Could not remove the work folder " + folder_ + u": " + ErrorText(GetLastError()));
      cleared = false;
    }
    folder_.clear();
    return cleared;
  }

 private:
  bool Delete(const std::u16string& path) {
    if (DeleteFileRetrying(path) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    reporter_.Failure(u"Could not delete the work file " + path + u": " + ErrorText(GetLastError()));
    return false;
  }

  Reporter& reporter_;
  std::u16string folder_;
  std::vector<TempFile> files_;
  std::vector<std::u16string> smallFiles_;
};

enum class StageEnd { Done, Stopped, Failed };

class FreeSpaceWiper {
 public:
  FreeSpaceWiper(const DriveJob& job, Reporter& reporter, TempArea& area, uint64_t freeBytes, uint64_t driveBytes)
      : job_(job), reporter_(reporter), area_(area), buffer_(kChunkBytes), driveBytes_(driveBytes) {
    unit_ = ProgressUnit(freeBytes, job.passes.size(), 512);
    unitsPerPass_ = std::max<uint64_t>(1, (freeBytes + unit_ - 1) / unit_);
    total_ = int64_t(unitsPerPass_ * job.passes.size());
  }

  bool ok() const { return buffer_.ok(); }
  // Whether the system said that a quota, not a full volume, ended the filling.
  bool EndedByQuota() const { return fullError_ == kQuotaExceeded; }

  // Stage 1: the first pass fills the free space with files until the disk is
  // full; each later pass overwrites those files again. Each file is flushed
  // before it is closed.
  StageEnd FillPasses() {
    for (size_t pass = 0; pass < job_.passes.size(); ++pass) {
      StageEnd end = pass == 0 ? FillFirstPass() : Rewrite(pass);
      if (end != StageEnd::Done) return end;
    }
    reporter_.DriveProgress(total_, total_, true);
    return StageEnd::Done;
  }

  // Stage 2: many small files, for space that only small files reach
  // (directory and file-record slack). Ends quietly when no more can be made
  // (a full disk or folder is the expected end); any other error creating or
  // writing one, or a flush that fails, is reported.
  StageEnd SmallFiles() {
    std::vector<uint8_t> data(kSmallFileBytes);
    for (int i = 0; i < kSmallFileLimit; ++i) {
      if (reporter_.StopRequested()) return StageEnd::Stopped;
      std::u16string path = area_.NewFilePath("S", size_t(i));
      HANDLE file = gCreateWorkFile(path);
      if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (IsDiskFull(error) || error == ERROR_CANNOT_MAKE) break;  // no room for another entry: the end
        reporter_.Failure(u"Could not create the small work file " + path + u": " + ErrorText(error));
        return StageEnd::Failed;
      }
      area_.smallFiles().push_back(path);
      StageEnd end = WriteSmallFile(file, path, data);
      CloseHandle(file);
      if (end == StageEnd::Failed) return end;
      if (end == StageEnd::Stopped) break;  // the disk is full
    }
    return StageEnd::Done;
  }

 private:
  bool Tick(uint64_t doneInPass, size_t pass) {
    if (reporter_.StopRequested()) return false;
    uint64_t units = std::min<uint64_t>(unitsPerPass_, doneInPass / unit_);
    reporter_.DriveProgress(int64_t(unitsPerPass_ * pass + units), total_, false);
    return true;
  }

  // Every pass over one small file, each flushed. Stopped here means the
  // disk is full.
  StageEnd WriteSmallFile(HANDLE file, const std::u16string& path, std::vector<uint8_t>& data) {
    for (size_t pass = 0; pass < job_.passes.size(); ++pass) {
      PassSeed seed;
      if (!Seed(pass, seed)) return StageEnd::Failed;
      PassSource(job_.passes[pass], seed).Fill(0, data.data(), data.size());
      DWORD written = 0;
      if (!gWriteAt(file, data.data(), DWORD(data.size()), 0, written) || written != data.size()) {
        DWORD error = written != data.size() && GetLastError() == ERROR_SUCCESS ? DWORD(ERROR_DISK_FULL)
                                                                                 : GetLastError();
        if (IsDiskFull(error)) return StageEnd::Stopped;
        reporter_.Failure(u"Could not write the small work file " + path + u": " + ErrorText(error));
        return StageEnd::Failed;
      }
      if (!gFlush(file)) {
        reporter_.Failure(u"Could not flush the small work file " + path + u": " + ErrorText(GetLastError()));
        return StageEnd::Failed;
      }
    }
    return StageEnd::Done;
  }

  bool Seed(size_t pass, PassSeed& seed) {
    if (job_.passes[pass].kind != PassKind::Random || NewPassSeed(seed)) return true;
    reporter_.Failure(u"The system gave no random data; the random pass was not written");
    return false;
  }

  StageEnd FillFirstPass() {
    uint64_t before = 0;
    for (size_t number = 0;; ++number) {
      std::u16string path = area_.NewFilePath("F", number);
      HANDLE file = gCreateWorkFile(path);
      if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (IsDiskFull(error) && number > 0) {
          fullError_ = error;
          return StageEnd::Done;
        }
        reporter_.Failure(u"Could not create the work file " + path + u": " + ErrorText(error));
        return StageEnd::Failed;
      }
      area_.files().push_back({path, 0});
      PassSeed seed;
      if (!Seed(0, seed)) {
        CloseHandle(file);
        return StageEnd::Failed;
      }
      PassSource source(job_.passes[0], seed);
      auto tick = [&](uint64_t written) { return Tick(before + written, 0); };
      WriteOutcome outcome = WritePass(file, source, 0, kFileLimit, buffer_, tick, /*fillToFull=*/true);
      area_.files().back().size = outcome.written;
      before += outcome.written;
      bool flushed = gFlush(file);
      CloseHandle(file);
      if (outcome.end == WriteEnd::Stopped) return StageEnd::Stopped;
      if (outcome.end == WriteEnd::Failed) {
        reporter_.Failure(u"Could not write the work file " + path + u": " + ErrorText(outcome.error));
        return StageEnd::Failed;
      }
      if (!flushed) {
        reporter_.Failure(u"Could not flush the work file " + path + u": " + ErrorText(GetLastError()));
        return StageEnd::Failed;
      }
      if (outcome.end == WriteEnd::DiskFull) {  // the expected end
        fullError_ = outcome.error;
        return StageEnd::Done;
      }
      if (before > driveBytes_ + kFileLimit) {
        reporter_.Failure(u"The drive took more data than it can hold (it may compress or deduplicate); "
                          u"its free space could not be wiped");
        return StageEnd::Failed;
      }
    }
  }

  StageEnd Rewrite(size_t pass) {
    uint64_t before = 0;
    for (TempFile& temp : area_.files()) {
      HANDLE file = CreateFileW(W(temp.path), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        reporter_.Failure(u"Could not open the work file " + temp.path + u": " + ErrorText(GetLastError()));
        return StageEnd::Failed;
      }
      PassSeed seed;
      if (!Seed(pass, seed)) {
        CloseHandle(file);
        return StageEnd::Failed;
      }
      PassSource source(job_.passes[pass], seed);
      auto tick = [&](uint64_t written) { return Tick(before + written, pass); };
      WriteOutcome outcome = WritePass(file, source, 0, temp.size, buffer_, tick, /*fillToFull=*/false);
      bool flushed = gFlush(file);
      CloseHandle(file);
      before += temp.size;
      if (outcome.end == WriteEnd::Stopped) return StageEnd::Stopped;
      if (outcome.end != WriteEnd::Complete || !flushed) {
        DWORD error = outcome.end != WriteEnd::Complete ? outcome.error : GetLastError();
        reporter_.Failure(u"Could not overwrite the work file " + temp.path + u": " + ErrorText(error));
        return StageEnd::Failed;
      }
    }
    return StageEnd::Done;
  }

  const DriveJob& job_;
  Reporter& reporter_;
  TempArea& area_;
  AlignedBuffer buffer_;
  uint64_t driveBytes_;
  DWORD fullError_ = 0;
  uint64_t unit_ = 512;
  uint64_t unitsPerPass_ = 1;
  int64_t total_ = 1;
};

// Why the volume keeps space from this user's files, as far as it tells.
std::u16string HeldReason(QuotaKind quota) {
  switch (quota) {
    case QuotaKind::None: return u"the file system keeps them in reserve for its own use";
    case QuotaKind::Enforced: return u"a disk quota keeps them from this user's files";
    case QuotaKind::Unknown: break;
  }
  return u"a disk quota or a reserve of the file system keeps them from this user's files";
}

// Reports and counts the free space that no work file reached, from the
// volume's figures taken while all of them exist. Less than one allocation
// unit is the figures' rounding, not space: the volume hands out whole units.
void ReportUnreached(Reporter& reporter, const std::u16string& drive, uint64_t overwritten, VolumeSpace left,
                     bool quotaSaidSo) {
  const uint64_t unit = std::max<uint64_t>(left.unit, 512);
  if (left.free < unit) return;
  if (quotaSaidSo) left.quota = QuotaKind::Enforced;
  const uint64_t held = left.free > left.available ? left.free - left.available : 0;
  std::u16string heldWhy = HeldReason(left.quota);
  const char16_t* refused =
      u"the drive refused more data although it reported them free, or another program freed them since";
  std::u16string why;
  if (held < unit) {
    why = refused;
  } else if (left.free - held < unit) {
    why = heldWhy;
  } else {
    why = Decimal(held) + u" bytes: " + heldWhy + u"; " + Decimal(left.free - held) + u" bytes: " + refused;
  }
  reporter.Failure(u"Not reached: " + Decimal(left.free) + u" bytes of the free space of drive " + drive + u" (" +
                   why + u"); the free space was only partly wiped (" + Decimal(overwritten) +
                   u" bytes overwritten)");
}

// The whole free-space run; returns true when stopped, with cleared false
// when something it made could not be removed. Everything created is gone
// (or reported) before the caller sends the last message.
bool WipeFree(const DriveJob& job, Reporter& reporter, bool& cleared) {
  if (job.drive == 0) {
    reporter.Failure(u"No drive was given; no free space was wiped");
    return false;
  }
  std::u16string drive = DriveName(job.drive);
  std::u16string root = drive + u"\\";
  if (job.passes.empty()) {
    reporter.Failure(u"No valid wipe passes were given; the free space of drive " + drive + u" was not wiped");
    return false;
  }
  // The system's and the program's volume are welcome: the work goes into a
  // folder of its own and only the free space is written.
  VolumeSpace space;
  if (!gDiskFreeSpace(root, space)) {
    reporter.Failure(u"Could not read the free space of drive " + drive + u" (" + ErrorText(GetLastError()) + u")");
    return false;
  }
  reporter.Log(u"Wiping the free space of drive " + drive + u" (" + Decimal(space.available) + u" bytes, " +
               Decimal(job.passes.size()) + (job.passes.size() == 1 ? u" pass)" : u" passes)"));
  TempArea area(reporter);
  if (!area.Create(root)) return false;
  FreeSpaceWiper wiper(job, reporter, area, space.available, space.total);
  if (!wiper.ok()) {
    reporter.Failure(u"Not enough memory to wipe the free space of drive " + drive);
    return false;
  }
  StageEnd end = wiper.FillPasses();
  if (end != StageEnd::Done) {
    cleared = area.Clear();
    return end == StageEnd::Stopped;
  }
  const uint64_t filled = area.Bytes();
  reporter.Log(u"Free space overwritten: " + Decimal(filled) + u" bytes; cleaning up the file system");
  // What the volume still calls free once the work files hold all they could
  // was never overwritten. The small files may take space the large ones
  // could not (room a file system keeps for its file records), so the figure
  // is taken after them too, and the smaller one counts.
  VolumeSpace left;
  bool measured = gDiskFreeSpace(root, left);
  DWORD queryError = measured ? 0 : GetLastError();
  end = wiper.SmallFiles();
  if (end != StageEnd::Stopped) {
    VolumeSpace afterSmall;
    if (!gDiskFreeSpace(root, afterSmall)) {
      queryError = GetLastError();
    } else if (!measured || afterSmall.free < left.free) {
      left = afterSmall;
      measured = true;
    }
    if (measured) {
      ReportUnreached(reporter, drive, filled, left, wiper.EndedByQuota());
    } else {
      reporter.Failure(u"Could not read the free space of drive " + drive + u" after filling it (" +
                       ErrorText(queryError) + u"); whether all of it was wiped is not known");
    }
  }
  cleared = area.Clear();
  return end == StageEnd::Stopped;
}

}  // namespace

DiskFreeSpaceQuery gDiskFreeSpace = SystemDiskFreeSpace;

HANDLE SystemCreateWorkFile(const std::u16string& path) {
  return CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

WorkFileCreate gCreateWorkFile = SystemCreateWorkFile;

void RunFreeSpaceWipe(const DriveJob& job) {
  Reporter reporter(job.block);
  bool cleared = true;
  if (WipeFree(job, reporter, cleared)) {
    reporter.Log(cleared ? u"The wipe was stopped; all work files were removed"
                         : u"The wipe was stopped; the work files named above could not be removed");
    reporter.Cancelled();
    return;
  }
  reporter.Done();
}

}  // namespace qv::engine
