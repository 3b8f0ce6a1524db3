#include "Reporter.h"

#include <cstring>

namespace qv::engine {
namespace {

constexpr DWORD kProgressIntervalMs = 50;

// A LocalAlloc'ed copy of line for a message; null when out of memory.
char16_t* LocalCopy(const std::u16string& line) {
  size_t bytes = (line.size() + 1) * sizeof(char16_t);
  auto* text = static_cast<char16_t*>(LocalAlloc(LMEM_FIXED, bytes));
  if (text) std::memcpy(text, line.c_str(), bytes);
  return text;
}

}  // namespace

Reporter::Reporter(TWipeParams* block)
    : block_(block), wnd_(reinterpret_cast<HWND>(static_cast<uintptr_t>(block->Wnd))) {}

bool Reporter::StopRequested() const {
  // One aligned 32-bit load; the program stores 0 from its own thread.
  return *reinterpret_cast<volatile const int32_t*>(&block_->Active) == 0;
}

void Reporter::Log(const std::u16string& line) const {
  if (!wnd_) return;
  char16_t* text = LocalCopy(line);
  if (text && !PostMessageW(wnd_, WM_WIPE_LOG, reinterpret_cast<WPARAM>(text), 0)) LocalFree(text);
}

void Reporter::Failure(const std::u16string& line, uint32_t count) {
  if (formatting_) {
    if (formatFailure_.empty()) formatFailure_ = line;
    Log(line);
    return;
  }
  Count(count);
  Log(line);
}

void Reporter::Count(uint32_t count) {
  failures_ += count;
  // Saturates: a dying disk can fail more sectors than the field counts.
  int64_t total = int64_t(block_->Reserved2) + count;
  block_->Reserved2 = int32_t(total > 0x7FFFFFFF ? 0x7FFFFFFF : total);
}

bool Reporter::Due(bool force) {
  DWORD now = GetTickCount();
  if (!force && sentOnce_ && now - lastTick_ < kProgressIntervalMs) return false;
  lastTick_ = now;
  sentOnce_ = true;
  return true;
}

void Reporter::DriveProgress(int64_t position, int64_t total, bool force) {
  if (!Due(force)) return;
  if (position > total) position = total;
  block_->Total = total;
  block_->Progress = int32_t(position);
  block_->State = 1;
  if (wnd_) PostMessageW(wnd_, WM_WIPE_PROGRESS, 0, 1);
}

void Reporter::FormatProgress(int percent, bool force) {
  if (!Due(force)) return;
  if (wnd_) PostMessageW(wnd_, WM_WIPE_PROGRESS, WPARAM(percent), 2);
}

void Reporter::FileProgress(const std::u16string& path, int64_t size, int percent, bool finished,
                            bool force, bool failed) {
  if (!Due(force || finished)) return;
  block_->Total = size;
  block_->Progress = finished ? 100 : percent;
  block_->State = !finished ? 1 : failed ? 2 : 0;
  if (wnd_) SendMessageW(wnd_, WM_WIPE_PROGRESS, reinterpret_cast<WPARAM>(path.c_str()), 1);
}

void Reporter::FolderFinished(const std::u16string& path, bool failed) {
  Due(/*force=*/true);
  block_->Total = 0;
  block_->Progress = 100;
  block_->State = failed ? 4 : 3;
  const std::u16string shown = path + u'\\';
  if (wnd_) SendMessageW(wnd_, WM_WIPE_PROGRESS, reinterpret_cast<WPARAM>(shown.c_str()), 1);
}

void Reporter::Done(bool noFileSystem) const {
  if (!wnd_) return;
  char16_t* reason = formatFailure_.empty() ? nullptr : LocalCopy(formatFailure_);
  LPARAM flags = (formatFailure_.empty() ? 0 : kWipeFormatFailed) | (noFileSystem ? kWipeNoFileSystem : 0);
  if (!PostMessageW(wnd_, WM_WIPE_DONE, reinterpret_cast<WPARAM>(reason), flags) && reason) LocalFree(reason);
}

void Reporter::Cancelled(bool noFileSystem) const {
  if (wnd_) PostMessageW(wnd_, WM_WIPE_CANCELLED, 0, noFileSystem ? kWipeNoFileSystem : 0);
}

}  // namespace qv::engine
