#pragma once
// Pushes the data of a long pass to the medium while the pass is still being
// written: a helper thread flushes the file each time the writer has gone a
// step further. The system's file cache may keep gigabytes of written data
// back until the flush at the end; flushed behind the writer, the disk works
// while the next chunks are written, and the pass's own flush at its end
// finds little left to do. On a system that lets only one call at a time
// through a handle the writer waits during such a flush instead: the same
// work as one flush at the end.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace qv::engine {

// The flush the helper makes (FlushFileBuffers); tests put a recording one in
// its place. Its result is not looked at: the pass's own flush after the
// writing is the one whose failure counts.
using FlushBehindCall = bool (*)(HANDLE file);
extern FlushBehindCall gFlushBehind;
bool SystemFlushBehind(HANDLE file);

class FlushBehind {
 public:
  // A FlushBehind for `file`, or null where its thread cannot be made (the
  // pass is then flushed at its end only).
  static std::unique_ptr<FlushBehind> Start(HANDLE file, uint64_t step);

  // Flushes `file` each time the writer reports `step` more bytes written
  // than when the last flush began, one flush at a time.
  FlushBehind(HANDLE file, uint64_t step);
  // Waits for a flush under way: the file may be closed or cut next.
  ~FlushBehind();
  FlushBehind(const FlushBehind&) = delete;
  FlushBehind& operator=(const FlushBehind&) = delete;

  // The bytes written so far.
  void Written(uint64_t total);

 private:
  void Run();

  HANDLE file_;  // not owned
  uint64_t step_;
  std::mutex lock_;
  std::condition_variable wake_;
  uint64_t written_ = 0;
  uint64_t flushedAt_ = 0;  // written_ when the last flush began
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace qv::engine
