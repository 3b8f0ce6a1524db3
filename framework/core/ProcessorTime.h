// Processor time of this process: what a limit or a benchmark counts so that
// a busy machine changes nothing.
#pragma once

#include <cstdint>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

// User and system time this process has used, in seconds; 0 when the system
// cannot tell. Under Wine it moves in steps of 10-20 ms.
inline double ProcessorSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;  // 100 ns ticks
  };
  return seconds(kernel) + seconds(user);
#else
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
#endif
}
