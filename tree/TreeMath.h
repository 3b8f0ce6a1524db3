#pragma once
// Checked counter arithmetic of the tree (Win32-free): the tree's counts and
// heights are unsigned 32-bit, and leaving that range is an error.
#include <cstdint>

#include "core/Exception.h"

// value + delta, raising EIntOverflow when the result leaves 0 .. 2^32 - 1.
[[noreturn]] void RaiseIntOverflow();

inline uint32_t CheckedU32(uint32_t value, int64_t delta) {
  int64_t result = static_cast<int64_t>(value) + delta;
  // The raise stays out of line, so that the check inlines where counts change.
  if (result < 0 || result > static_cast<int64_t>(UINT32_MAX)) [[unlikely]] RaiseIntOverflow();
  return static_cast<uint32_t>(result);
}
