#pragma once
// Figures of paired rounds. In each round the measured side and its reference
// do the same work one after the other, taking turns at going first; what a
// benchmark prints is the spread of the rounds' ratios (min / median / max),
// never one side's best beside the other's best, which may come from two
// rounds the machine's load treated differently.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

struct TSpread {
  double min = 0, median = 0, max = 0;
};

// The smallest, middle and largest of values (the mean of the two middle
// ones for an even count); zeros for none.
inline TSpread SpreadOf(std::vector<double> values) {
  TSpread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  s.min = values.front();
  s.max = values.back();
  s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return s;
}

// The times of one figure and of its reference, round by round.
struct TPairedRounds {
  std::vector<double> side, reference;  // milliseconds

  void Add(double sideMs, double referenceMs) {
    side.push_back(sideMs);
    reference.push_back(referenceMs);
  }
  std::vector<double> Ratios() const {
    std::vector<double> ratios;
    for (size_t i = 0; i < side.size() && i < reference.size(); ++i)
      if (reference[i] > 0) ratios.push_back(side[i] / reference[i]);
    return ratios;
  }
  TSpread Ratio() const { return SpreadOf(Ratios()); }
};

// Even rounds run the side first, odd rounds the reference first.
inline bool SideFirst(int round) { return round % 2 == 0; }

// Prints "label  median ms (min-max)  reference median ms  ratio min / median / max".
inline void PrintPaired(const char* label, const char* referenceLabel, const TPairedRounds& rounds,
                        const char* goal = nullptr) {
  TSpread s = SpreadOf(rounds.side), r = SpreadOf(rounds.reference), q = rounds.Ratio();
  std::printf("%-44s %9.2f ms median (%.2f-%.2f)\n", label, s.median, s.min, s.max);
  std::printf("  reference: %-32s %9.2f ms median (%.2f-%.2f)\n", referenceLabel, r.median, r.min, r.max);
  std::printf("  ratio of paired rounds, min / median / max: %.2f / %.2f / %.2f  (%zu rounds)%s%s\n", q.min, q.median,
              q.max, rounds.Ratios().size(), goal != nullptr ? "  goal " : "", goal != nullptr ? goal : "");
}

// The host's load averages (1, 5 and 15 minutes) as the kernel tells them
// through the drive that maps the host's root; "" where there is none.
inline std::string HostLoad() {
  HANDLE file = CreateFileW(L"Z:\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char text[128] = {};
  DWORD read = 0;
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  std::string load(text, read);
  // The first three fields.
  size_t end = 0;
  for (int field = 0; field < 3 && end != std::string::npos; ++field) end = load.find(' ', end + (field > 0));
  return end == std::string::npos ? load : load.substr(0, end);
}

inline void PrintHostLoad(const char* when) {
  std::string load = HostLoad();
  if (!load.empty()) std::printf("machine load %s: %s\n", when, load.c_str());
}
