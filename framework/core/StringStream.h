#pragma once
// A stream over an 8-bit string it owns: DataString() holds the bytes.
#include <cstdint>
#include <string>

#include "core/Stream.h"

class TStringStream : public TStream {
public:
  TStringStream() = default;
  explicit TStringStream(std::string data_) : data(std::move(data_)) {}
  void Create(std::string data_) { data = std::move(data_); position = 0; }
  void Create() {}

  int32_t Read(void* buffer, int32_t count) override;
  // Overwrites from the position and extends the string as needed (a gap
  // after a seek past the end is filled with zero bytes).
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data.size()); }
  // Cuts or extends (zero bytes) the string; the position moves back to the
  // new end when it was beyond it.
  void SetSize(int64_t newSize) override;

  // Up to count bytes from the position (fewer at the end); advances.
  std::string ReadString(int32_t count);
  // Writes text at the position.
  void WriteString(const std::string& text);

  const std::string& DataString() const { return data; }

private:
  std::string data;
  int64_t position = 0;
};
