#include "PassWriter.h"

#include "FlushBehind.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace qv::engine {
namespace {

constexpr size_t kSmallestChunk = 512;
constexpr size_t kPageBytes = 4096;
constexpr size_t kPrefetchFromChunks = 4;  // ranges shorter than this many chunks are filled inline
// Long ranges are written in larger chunks than the caller's buffer holds:
// each write is a round trip through the system (and under Wine through its
// file layer), and a fill pass over a large file then costs little more
// than the copying of its bytes. A stop request is still seen within a
// fraction of a second.
constexpr size_t kLargeChunk = 8u << 20;
constexpr uint64_t kLargeFromBytes = 4 * uint64_t(kLargeChunk);

// Generates the next chunk of a pass on a helper thread while the caller
// writes the current one. One request at a time; Wait before reusing its buffer.
class Prefetcher {
 public:
  explicit Prefetcher(const PassSource& source) : source_(source), thread_([this] { Run(); }) {}
  ~Prefetcher() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();  // a fill under way finishes first
  }

  void Request(uint8_t* out, uint64_t offset, size_t length) {
    std::lock_guard<std::mutex> hold(lock_);
    out_ = out;
    offset_ = offset;
    length_ = length;
    pending_ = true;
    ready_ = false;
    wake_.notify_all();
  }

  void Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return ready_; });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [&] { return pending_ || quit_; });
      if (quit_) return;
      pending_ = false;
      uint8_t* out = out_;
      uint64_t offset = offset_;
      size_t length = length_;
      hold.unlock();
      source_.Fill(offset, out, length);
      hold.lock();
      ready_ = true;
      done_.notify_all();
    }
  }

  const PassSource& source_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;
  uint8_t* out_ = nullptr;
  uint64_t offset_ = 0;
  size_t length_ = 0;
  bool pending_ = false;
  bool ready_ = true;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace

bool SystemWriteAt(HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written) {
  OVERLAPPED at = {};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  written = 0;
  return WriteFile(file, data, length, &written, &at) != FALSE;
}

WriteAtCall gWriteAt = SystemWriteAt;

bool SystemFlush(HANDLE file) { return FlushFileBuffers(file) != FALSE; }

FlushCall gFlush = SystemFlush;

bool IsDiskFull(DWORD error) {
  constexpr DWORD kQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
  // A quota ends the writing as a full disk does; the free-space task tells the two apart afterwards.
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || error == kQuotaExceeded;
}

WriteOutcome WritePass(HANDLE file, const PassSource& source, uint64_t from, uint64_t to,
                       const AlignedBuffer& givenBuffer, const WriteTick& tick, bool fillToFull) {
  WriteOutcome outcome;
  // Without the memory for larger chunks the caller's buffer does.
  bool large = to > from && to - from >= kLargeFromBytes && givenBuffer.size() < kLargeChunk;
  AlignedBuffer largeBuffer(large ? kLargeChunk : 0);
  const AlignedBuffer& buffer = largeBuffer.ok() ? largeBuffer : givenBuffer;
  size_t chunkLimit = buffer.size();
  // A repeating pass is made once: chunks a whole number of periods long
  // (and of pages, for unbuffered writes) all start at the same place in it.
  uint64_t period = source.Period();
  size_t periodChunk = period > 1 ? size_t(period) * kPageBytes : 0;
  if (periodChunk && chunkLimit >= periodChunk) chunkLimit -= chunkLimit % periodChunk;
  // Random passes prepare the next chunk while this one is written.
  bool prefetch = period == 0 && chunkLimit > 0 && to - from >= kPrefetchFromChunks * chunkLimit;
  AlignedBuffer spare(prefetch ? chunkLimit : 0);
  prefetch = prefetch && spare.ok();
  std::unique_ptr<Prefetcher> prefetcher;
  try {
    if (prefetch) prefetcher = std::make_unique<Prefetcher>(source);
  } catch (const std::exception&) {  // no thread for it: each chunk is made inline
  }
  // Its end waits for a flush under way, so none outlasts the call.
  std::unique_ptr<FlushBehind> behind(to - from >= kFlushBehindFrom ? FlushBehind::Start(file, kFlushBehindStep)
                                                                    : nullptr);
  uint8_t* current = buffer.data();
  uint8_t* next = spare.data();
  bool currentFilled = false;  // `current` holds [currentOffset, + currentLength)
  uint64_t currentOffset = 0;
  size_t currentLength = 0;
  uint64_t offset = from;
  while (offset < to) {
    if (!tick(offset - from)) {
      outcome.end = WriteEnd::Stopped;
      break;
    }
    size_t chunk = to - offset < chunkLimit ? size_t(to - offset) : chunkLimit;
    bool samePlace = period ? offset % period == currentOffset % period : offset == currentOffset;
    bool valid = currentFilled && samePlace && currentLength >= chunk;
    if (!valid) {
      source.Fill(offset, current, chunk);
      currentFilled = true;
      currentOffset = offset;
      currentLength = chunk;
    }
    uint64_t following = offset + chunk;
    size_t followingLength = to - following < chunkLimit ? size_t(to - following) : chunkLimit;
    bool requested = prefetcher && followingLength > 0;
    if (requested) prefetcher->Request(next, following, followingLength);
    DWORD written = 0;
    bool ok = gWriteAt(file, current, DWORD(chunk), offset, written);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (requested) {
      prefetcher->Wait();
      if (written == chunk) {
        std::swap(current, next);
        currentOffset = following;
        currentLength = followingLength;
      } else {
        currentFilled = false;  // the next write starts elsewhere
      }
    }
    offset += written;
    if (behind) behind->Written(offset - from);
    if (written > 0) continue;  // progress made; a lasting error shows on the next try
    if (ok) error = ERROR_DISK_FULL;  // nothing written and no error: no room left
    if (IsDiskFull(error) && fillToFull && chunkLimit > kSmallestChunk) {
      chunkLimit /= 2;
      continue;
    }
    outcome.end = IsDiskFull(error) ? WriteEnd::DiskFull : WriteEnd::Failed;
    outcome.error = error;
    break;
  }
  outcome.written = offset - from;
  return outcome;
}

}  // namespace qv::engine
