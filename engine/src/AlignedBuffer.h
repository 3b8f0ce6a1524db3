#pragma once
// A page-aligned I/O buffer (VirtualAlloc), as unbuffered writes need.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace qv::engine {

class AlignedBuffer {
 public:
  explicit AlignedBuffer(size_t bytes)
      : data_(static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))),
        size_(data_ ? bytes : 0) {}
  ~AlignedBuffer() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
  }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool ok() const { return data_ != nullptr; }

 private:
  uint8_t* data_;
  size_t size_;
};

}  // namespace qv::engine
