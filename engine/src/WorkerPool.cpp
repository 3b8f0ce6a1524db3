#include "WorkerPool.h"

#include <algorithm>

namespace qv::engine {

WorkerPool& WorkerPool::Shared() {
  // Never destroyed: workers may still wait when the process ends.
  static WorkerPool* pool = new WorkerPool(std::min<size_t>(7, std::max(1u, std::thread::hardware_concurrency()) - 1));
  return *pool;
}

WorkerPool::WorkerPool(size_t workers) {
  for (size_t i = 0; i < workers; ++i) {
    workers_.emplace_back(&WorkerPool::WorkerLoop, this);
    workers_.back().detach();
  }
}

bool WorkerPool::TakeIndex(size_t& index) {
  if (!task_ || next_ >= count_) return false;
  index = next_++;
  ++running_;
  return true;
}

void WorkerPool::WorkerLoop() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [&] { return task_ && next_ < count_; });
    size_t index = 0;
    while (TakeIndex(index)) {
      const std::function<void(size_t)>* task = task_;
      hold.unlock();
      (*task)(index);
      hold.lock();
      if (--running_ == 0 && next_ >= count_) finished_.notify_all();
    }
  }
}

void WorkerPool::ParallelFor(size_t count, const std::function<void(size_t)>& task) {
  if (count == 0) return;
  if (workers_.empty() || count == 1) {
    for (size_t i = 0; i < count; ++i) task(i);
    return;
  }
  std::lock_guard<std::mutex> turn(callers_);
  std::unique_lock<std::mutex> hold(lock_);
  task_ = &task;
  next_ = 0;
  count_ = count;
  running_ = 0;
  wake_.notify_all();
  size_t index = 0;
  while (TakeIndex(index)) {
    hold.unlock();
    task(index);
    hold.lock();
    --running_;
  }
  finished_.wait(hold, [&] { return next_ >= count_ && running_ == 0; });
  task_ = nullptr;
}

}  // namespace qv::engine
