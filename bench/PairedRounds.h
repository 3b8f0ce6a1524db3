#pragma once
// Paired rounds: a benchmark runs its work and its reference alternately, one
// pair a round, and sums each figure up as the ratio within each round (both
// sides measured moments apart, under the same load), min / median / max over
// the rounds, beside each side's median time. A best time of each side may
// come from rounds under different loads, and hides how far the ratio moves.
// A split of a figure into parts is taken within one round (each part from
// that round's measurements), then summed up the same way: parts taken from
// different rounds need not add up, nor even be positive.
//
//   TPairedRounds f5;
//   f5.Run(5, [&] { return RefreshMs(); }, [&] { return ListingMs(); });
//   std::printf("F5 %.1f ms, listing %.1f ms, %s\n", f5.Work().median,
//               f5.Reference().median, f5.RatioText().c_str());
//
// MachineLoad() tells how busy the machine was; print it beside the figures.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

// The least, middle and greatest of some values (all 0 for none); the
// middle of an even count is the mean of the two middle values.
struct TSpread {
  double min = 0;
  double median = 0;
  double max = 0;
};

inline TSpread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const size_t half = values.size() / 2;
  const double median = values.size() % 2 != 0 ? values[half] : (values[half - 1] + values[half]) / 2;
  return {values.front(), median, values.back()};
}

// "1.06x / 1.75x / 2.29x": a spread of ratios as min / median / max.
inline std::string RatioSpreadText(const TSpread& spread) {
  char text[96];
  std::snprintf(text, sizeof text, "%.2fx / %.2fx / %.2fx", spread.min, spread.median, spread.max);
  return text;
}

class TPairedRounds {
public:
  // Runs rounds pairs of work() and reference(), each returning its time
  // (any unit, the same for both); the reference goes first in every other
  // round, so that what one run leaves warm falls on both sides alike.
  template <class Work, class Reference>
  void Run(int rounds, Work&& work, Reference&& reference) {
    for (int round = 0; round < rounds; ++round) {
      if (round % 2 == 0) {
        const double w = work();
        Add(w, reference());
      } else {
        const double r = reference();
        Add(work(), r);
      }
    }
  }
  // One round's pair, measured by the caller.
  void Add(double work, double reference) {
    works.push_back(work);
    references.push_back(reference);
  }

  int Rounds() const { return static_cast<int>(works.size()); }
  TSpread Work() const { return SpreadOf(works); }
  TSpread Reference() const { return SpreadOf(references); }
  // Each round's work over its reference (a round whose reference took no time is left out).
  TSpread Ratio() const {
    std::vector<double> ratios;
    for (size_t i = 0; i < works.size(); ++i)
      if (references[i] > 0) ratios.push_back(works[i] / references[i]);
    return SpreadOf(ratios);
  }
  // "ratio min / median / max 1.06x / 1.75x / 2.29x of 3 rounds"
  std::string RatioText() const {
    return "ratio min / median / max " + RatioSpreadText(Ratio()) + " of " + std::to_string(Rounds()) + " rounds";
  }
  // The time of work in each round, in order.
  const std::vector<double>& WorkTimes() const { return works; }
  const std::vector<double>& ReferenceTimes() const { return references; }

private:
  std::vector<double> works;
  std::vector<double> references;
};

// How busy the machine is: "load 3.52 on 8 processors" (the last minute's
// average number of runnable tasks, as Linux counts them; under Wine read
// through its drive of the host's root), or the processors alone where the
// system does not tell.
inline std::string MachineLoad() {
#ifdef _WIN32
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const long processors = static_cast<long>(info.dwNumberOfProcessors);
  const char* source = "Z:\\proc\\loadavg";
#else
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  const char* source = "/proc/loadavg";
#endif
  double load = -1;
  if (std::FILE* file = std::fopen(source, "r")) {
    if (std::fscanf(file, "%lf", &load) != 1) load = -1;
    std::fclose(file);
  }
  char text[64];
  if (load < 0) std::snprintf(text, sizeof text, "load unknown, %ld processors", processors);
  else std::snprintf(text, sizeof text, "load %.2f on %ld processors", load, processors);
  return text;
}
