#pragma once
// The size of a benchmark's work. Full when measuring; small when the
// environment sets QV_BENCH_SMALL (to anything but 0): the test run that only
// checks that each benchmark runs and finds its work right, where times mean
// nothing (scripts/test.sh runs every benchmark so, once).
#include <cstdlib>
#include <cstring>

inline bool BenchSmall() {
  const char* value = std::getenv("QV_BENCH_SMALL");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

template <class T>
T BenchSize(T full, T small) {
  return BenchSmall() ? small : full;
}
