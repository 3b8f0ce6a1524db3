#pragma once
// Shared helpers of the fuzz targets of URIs, character references and numbers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Aborts with a message when a checked property fails (libFuzzer records the input).
#define QV_XML_FUZZ_CHECK(cond)                                                      \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

// Bytes as code units: below 0xF0 one unit each (so that ASCII syntax stays
// easy to reach), 0xF0-0xFF takes the next two bytes as one unit of any value.
inline std::u16string FuzzBytesToUnits(const uint8_t* data, size_t size) {
  std::u16string out;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] >= 0xF0 && i + 2 < size) {
      out += char16_t(data[i + 1] | (data[i + 2] << 8));
      i += 2;
      continue;
    }
    out += char16_t(data[i]);
  }
  return out;
}
