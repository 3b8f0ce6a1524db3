#pragma once
// The engine's side of the conversation with the program: log lines, progress,
// the end messages, the stop flag and the failure count in the block.
#include <windows.h>

#include <cstdint>
#include <string>

#include "QuorvanellBlocks.h"

namespace qv::engine {

class Reporter {
 public:
  // The block stays owned by the program; it must outlive the run.
  explicit Reporter(TWipeParams* block);

  // True once the program has written 0 to Active.
  bool StopRequested() const;
  // Posts one log line (a LocalAlloc'ed copy the program frees); dropped when
  // there is no window to take it.
  void Log(const std::u16string& line) const;
  // Logs a line and adds `count` to the block's failure count (Reserved2),
  // which counts only what could not be wiped. In the formatting stage the
  // first failure's line becomes the reason Done() reports instead.
  void Failure(const std::u16string& line, uint32_t count = 1);
  // Counts failures that were logged already, by a report without this block.
  void Count(uint32_t count);
  // The disk task's formatting stage begins: failures from here on are the
  // formatting's, not the wipe's.
  void BeginFormatting() { formatting_ = true; }
  // Drive tasks: Progress := position of Total, posted with LParam 1; at most
  // one message per interval unless forced.
  void DriveProgress(int64_t position, int64_t total, bool force);
  // Disk task, formatting stage: WParam percent, LParam 2.
  void FormatProgress(int percent, bool force);
  // File task: Total := size, Progress := percent, State 1 while wiping, and
  // when finished 0 (wiped) or 2 (could not be wiped, counted already); sent
  // (not posted) so the numbers match the path the message points to.
  void FileProgress(const std::u16string& path, int64_t size, int percent, bool finished, bool force,
                    bool failed = false);
  // File task: a listed folder met, sent as a finished file is, with State 3
  // when it was removed and 4 when not (counted already), its path with a
  // trailing backslash, as the program lists folders.
  void FolderFinished(const std::u16string& path, bool failed);
  // The last message of a drive run; the block is not touched afterwards.
  // When formatting failed, LParam is 1 and WParam a LocalAlloc'ed UTF-16
  // copy of the reason, freed by the program.
  // The end of a run; `noFileSystem`: a disk run wrote the drive and left it
  // without a file system (not formatted).
  void Done(bool noFileSystem = false) const;
  void Cancelled(bool noFileSystem = false) const;

  uint32_t Failures() const { return failures_; }

  // When progress was last reported: a file task's call that continues the
  // run of the call before keeps to the same pace.
  struct Pace {
    DWORD lastTick = 0;
    bool sentOnce = false;
  };
  Pace CurrentPace() const { return {lastTick_, sentOnce_}; }
  void KeepPace(const Pace& pace) {
    lastTick_ = pace.lastTick;
    sentOnce_ = pace.sentOnce;
  }

 private:
  bool Due(bool force);

  TWipeParams* block_;  // not owned
  HWND wnd_;
  DWORD lastTick_ = 0;
  bool sentOnce_ = false;
  uint32_t failures_ = 0;
  bool formatting_ = false;
  std::u16string formatFailure_;
};

}  // namespace qv::engine
