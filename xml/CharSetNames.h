#pragma once
// The names of the registered character sets by MIB number: the registered
// name first, then its aliases in registry order. Generated; see
// xml/tools/gen_charsets.py.
#include <cstdint>

struct TCharSetNames {
  int32_t mib;
  int32_t count;
  const char* names[12];
};

// Sorted by MIB number.
extern const TCharSetNames kCharSetNames[];
extern const int kCharSetNamesCount;
