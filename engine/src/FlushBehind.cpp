#include "FlushBehind.h"

#include <exception>

namespace qv::engine {

bool SystemFlushBehind(HANDLE file) { return FlushFileBuffers(file) != FALSE; }

FlushBehindCall gFlushBehind = SystemFlushBehind;

std::unique_ptr<FlushBehind> FlushBehind::Start(HANDLE file, uint64_t step) {
  try {
    return std::make_unique<FlushBehind>(file, step);
  } catch (const std::exception&) {  // no thread or no memory for one
    return nullptr;
  }
}

FlushBehind::FlushBehind(HANDLE file, uint64_t step) : file_(file), step_(step), thread_([this] { Run(); }) {}

FlushBehind::~FlushBehind() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void FlushBehind::Written(uint64_t total) {
  std::lock_guard<std::mutex> hold(lock_);
  written_ = total;
  if (written_ - flushedAt_ >= step_) wake_.notify_all();
}

void FlushBehind::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [&] { return quit_ || written_ - flushedAt_ >= step_; });
    if (quit_) return;
    flushedAt_ = written_;
    hold.unlock();
    gFlushBehind(file_);
    hold.lock();
  }
}

}  // namespace qv::engine
