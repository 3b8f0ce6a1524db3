#pragma once
// A few long-lived worker threads for generating random pass data in
// parallel; the generator is position-addressable, so parts of one buffer are
// independent.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qv::engine {

class WorkerPool {
 public:
  // The process's pool: one worker fewer than the hardware threads, at most 7;
  // made on first use and kept until the process ends.
  static WorkerPool& Shared();

  // Runs task(0) .. task(count - 1) on the workers and the calling thread and
  // returns when all have run. Calls from several threads take turns.
  void ParallelFor(size_t count, const std::function<void(size_t)>& task);
  size_t threads() const { return workers_.size() + 1; }

 private:
  explicit WorkerPool(size_t workers);
  void WorkerLoop();
  bool TakeIndex(size_t& index);

  std::mutex callers_;  // one ParallelFor at a time
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  const std::function<void(size_t)>* task_ = nullptr;
  size_t next_ = 0;
  size_t count_ = 0;
  size_t running_ = 0;
  unsigned generation_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace qv::engine
