#include <algorithm>

#include "AlignedBuffer.h"
#include "DriveTasks.h"
#include "PassWriter.h"
#include "Reporter.h"
#include "SystemRandom.h"
#include "Text.h"
#include "Volume.h"

namespace qv::engine {
namespace {

constexpr size_t kChunkBytes = 1 << 20;

class DiskWiper {
 public:
  DiskWiper(const DriveJob& job, Reporter& reporter, Volume& volume)
      : job_(job), reporter_(reporter), volume_(volume), buffer_(kChunkBytes) {}

  // Writes all passes; false when stopped or when nothing could be written.
  bool WriteAllPasses(bool& stopped) {
    uint64_t size = volume_.size();
    uint64_t sector = volume_.sectorBytes();
    uint64_t unit = ProgressUnit(size, job_.passes.size(), sector);
    uint64_t unitsPerPass = (size + unit - 1) / unit;
    int64_t total = int64_t(unitsPerPass * job_.passes.size());
    uint64_t aligned = size - size % sector;
    for (size_t pass = 0; pass < job_.passes.size(); ++pass) {
      reporter_.Log(u"Pass " + Decimal(pass + 1) + u" of " + Decimal(job_.passes.size()));
      PassSeed seed;
      if (job_.passes[pass].kind == PassKind::Random && !NewPassSeed(seed)) {
        reporter_.Failure(u"The system gave no random data; the wipe was ended");
        return false;
      }
      PassSource source(job_.passes[pass], seed);
      uint64_t before = unitsPerPass * pass;
      if (!WriteRange(source, 0, aligned, before, unit, total, stopped)) return false;
      if (aligned < size) {  // a tail shorter than a sector, as image files may have
        source.Fill(aligned, buffer_.data(), size_t(size - aligned));
        DWORD error = 0;
        if (!volume_.WriteAt(aligned, buffer_.data(), uint32_t(size - aligned), error)) {
          NoteFailure(aligned, uint32_t(size - aligned), error);
        }
      }
      ReportFailedRun();
      if (!volume_.Flush()) {
        reporter_.Failure(u"Could not flush drive " + DriveName(job_.drive) + u" (" + ErrorText(GetLastError()) + u")");
      }
    }
    reporter_.DriveProgress(total, total, true);
    return true;
  }

  bool ok() const { return buffer_.ok(); }
  // Whether any byte reached the drive: its file system is gone from then on.
  bool wroteAny() const { return wroteAny_; }

 private:
  // Writes [from, to) (sector-aligned) with the pass. A chunk the device
  // refuses is retried sector by sector and the pass goes on after it.
  bool WriteRange(const PassSource& source, uint64_t from, uint64_t to, uint64_t unitsBefore, uint64_t unit,
                  int64_t total, bool& stopped) {
    uint64_t offset = from;
    while (offset < to) {
      uint64_t base = offset;
      auto tick = [&](uint64_t written) {
        if (reporter_.StopRequested()) return false;
        reporter_.DriveProgress(int64_t(unitsBefore + (base + written) / unit), total, false);
        return true;
      };
      WriteOutcome outcome = WritePass(volume_.handle(), source, offset, to, buffer_, tick, /*fillToFull=*/false);
      offset += outcome.written;
      if (outcome.written != 0) wroteAny_ = true;
      if (outcome.end == WriteEnd::Complete) return true;
      if (outcome.end == WriteEnd::Stopped) {
        stopped = true;
        return false;
      }
      uint32_t chunk = uint32_t(std::min<uint64_t>(buffer_.size(), to - offset));
      chunk -= chunk % volume_.sectorBytes();
      if (chunk == 0) chunk = uint32_t(to - offset);
      source.Fill(offset, buffer_.data(), chunk);
      WriteSectors(offset, chunk, outcome.error);
      wroteAny_ = true;  // at worst some of its sectors: the file system cannot be trusted
      offset += chunk;
    }
    return true;
  }

  // A refused chunk is retried sector by sector; failures are gathered into
  // runs so a damaged area gives one log line, while each sector is counted.
  void WriteSectors(uint64_t offset, uint32_t length, DWORD firstError) {
    uint32_t sector = volume_.sectorBytes();
    if (length < sector) {
      NoteFailure(offset, length, firstError);
      return;
    }
    for (uint32_t at = 0; at < length; at += sector) {
      DWORD error = 0;
      if (!volume_.WriteAt(offset + at, buffer_.data() + at, sector, error)) NoteFailure(offset + at, sector, error);
    }
  }

  void NoteFailure(uint64_t offset, uint32_t length, DWORD error) {
    uint64_t first = offset / volume_.sectorBytes();
    uint64_t count = std::max<uint64_t>(1, length / volume_.sectorBytes());
    if (failedCount_ != 0 && failedFirst_ + failedCount_ == first && failedError_ == error) {
      failedCount_ += count;
      return;
    }
    ReportFailedRun();
    failedFirst_ = first;
    failedCount_ = count;
    failedError_ = error;
  }

  void ReportFailedRun() {
    if (failedCount_ == 0) return;
    std::u16string which = failedCount_ == 1 ? u"Sector " + Decimal(failedFirst_)
                                             : u"Sectors " + Decimal(failedFirst_) + u" to " +
                                                   Decimal(failedFirst_ + failedCount_ - 1);
    reporter_.Failure(which + u" of drive " + DriveName(job_.drive) + u" could not be written (" +
                          ErrorText(failedError_) + u")",
                      uint32_t(std::min<uint64_t>(failedCount_, 0x7FFFFFFF)));
    failedCount_ = 0;
  }

  const DriveJob& job_;
  Reporter& reporter_;
  Volume& volume_;
  AlignedBuffer buffer_;
  bool wroteAny_ = false;
  uint64_t failedFirst_ = 0;
  uint64_t failedCount_ = 0;
  DWORD failedError_ = 0;
};

}  // namespace

std::u16string DriveName(char drive) { return std::u16string(1, char16_t(drive)) + u":"; }

bool RefuseProtectedDrive(const DriveJob& job, Reporter& reporter) {
  const std::u16string* folder = nullptr;
  switch (job.guard.OnDrive(job.drive, folder)) {
    case ProtectedFolders::DriveKind::Free:
      return false;
    case ProtectedFolders::DriveKind::Protected:
      reporter.Failure(u"Drive " + DriveName(job.drive) + u" holds " + *folder +
                       u", which the system or this program needs; it was not touched");
      return true;
    case ProtectedFolders::DriveKind::Unknown:
      break;
  }
  reporter.Failure(u"Drive " + DriveName(job.drive) +
                   u" cannot be identified (neither its root nor its volume can be read), so it may be the "
                   u"system's; it was not touched");
  return true;
}

uint64_t ProgressUnit(uint64_t bytes, size_t passes, uint64_t unit) {
  if (unit == 0) unit = 512;
  if (passes == 0) passes = 1;
  while ((bytes + unit - 1) / unit * passes > 0x7FFFFFFFull) unit *= 2;
  return unit;
}

namespace {

// The whole disk run; returns true when stopped. `bare`: the drive was
// written to and holds no file system now (not formatted after the wipe).
// The volume is closed (and unlocked) before the caller sends the last message.
bool WipeDisk(const DriveJob& job, Reporter& reporter, bool& bare) {
  bare = false;
  if (job.drive == 0) {
    reporter.Failure(u"No drive was given; nothing was wiped");
    return false;
  }
  std::u16string drive = DriveName(job.drive);
  if (job.passes.empty()) {
    reporter.Failure(u"No valid wipe passes were given; drive " + drive + u" was not wiped");
    return false;
  }
  if (RefuseProtectedDrive(job, reporter)) return false;
  DWORD error = 0;
  std::unique_ptr<Volume> volume = Volume::Open(job.drive, error);
  if (!volume) {
    reporter.Failure(u"Could not open drive " + drive + u" (" + ErrorText(error) + u"); nothing was wiped");
    return false;
  }
  if (volume->size() == 0) {
    reporter.Failure(u"Could not find the size of drive " + drive + u"; nothing was wiped");
    return false;
  }
  if (!volume->LockAndDismount()) {
    reporter.Failure(u"Drive " + drive + u" could not be locked: files on it are open in other programs. "
                     u"Close them and start again; nothing was wiped");
    return false;
  }
  reporter.Log(u"Wiping drive " + drive + u" (" + Decimal(volume->size()) + u" bytes, " +
               Decimal(job.passes.size()) + (job.passes.size() == 1 ? u" pass)" : u" passes)"));
  DiskWiper wiper(job, reporter, *volume);
  if (!wiper.ok()) {
    reporter.Failure(u"Not enough memory to wipe drive " + drive);
    return false;
  }
  bool stopped = false;
  bool written = wiper.WriteAllPasses(stopped);
  bare = wiper.wroteAny();
  if (!written) return stopped;
  reporter.Log(u"Drive " + drive + u" overwritten");
  if (!job.format) return false;
  reporter.BeginFormatting();
  char formatDrive = job.format->drive;
  if (formatDrive >= 'a' && formatDrive <= 'z') formatDrive = char(formatDrive - 'a' + 'A');
  if (formatDrive != job.drive) {
    // Only the drive just wiped is ever formatted.
    reporter.Failure(u"The format settings name drive " + DriveName(formatDrive ? formatDrive : '?') +
                     u", not the wiped drive " + drive + u"; nothing was formatted");
    return false;
  }
  FormatEnd end = FormatDrive(*volume, *job.format, reporter);
  bare = end != FormatEnd::Formatted;
  return end == FormatEnd::Stopped;
}

}  // namespace

void RunDiskWipe(const DriveJob& job) {
  Reporter reporter(job.block);
  bool bare = false;
  bool stopped = WipeDisk(job, reporter, bare);
  // The last line says what the drive holds now: a wiped drive that was not
  // formatted is no longer a usable drive until it is.
  const std::u16string state = u"drive " + DriveName(job.drive) + u" now holds no file system";
  if (stopped) {
    reporter.Log(bare ? u"The wipe was stopped; " + state : u"The wipe was stopped");
    reporter.Cancelled(bare);
    return;
  }
  if (bare) reporter.Log(u"Drive " + DriveName(job.drive) + u" now holds no file system");
  reporter.Done(bare);
}

}  // namespace qv::engine
