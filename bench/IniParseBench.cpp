// Reads INI texts of about 1 MB into a TMemIniFile and looks every value up
// again, beside a reference on the same bytes: splitting them into trimmed
// lines, the floor any reader stands on. The texts: an ordinary one (one
// section, 100,000 idents) and a hostile one (100,000 sections of one ident
// each, the shape of a damaged or fuzzed language file); 1,000 of each under
// QV_BENCH_SMALL.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "BenchSize.h"
#include "core/IniFile.h"
#include "core/SysUtils.h"

namespace {

const int kCount = BenchSize(100000, 1000);
constexpr int kRounds = 5;

std::string OneSection() {
  std::string text = "[Misc]\n";
  for (int i = 0; i < kCount; ++i) text += "k" + std::to_string(i) + "=value\n";
  return text;
}

std::string ManySections() {
  std::string text;
  for (int i = 0; i < kCount; ++i) text += "[S" + std::to_string(i) + "]\nk=v\n";
  return text;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The best of kRounds runs of work, in milliseconds.
template <class F>
double BestMs(F work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, 1000 * Seconds(std::chrono::steady_clock::now() - start));
  }
  return best;
}

size_t SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(Trim(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines.size();
}

// False when a lookup missed (the benchmark then fails).
bool Measure(const char* name, const std::string& text, bool manySections) {
  size_t found = 0;
  const double read = BestMs([&] {
    TMemIniFile* ini = New<TMemIniFile>();
    ini->SetText(text);
    ini->Free();
  });
  const double readAndLook = BestMs([&] {
    TMemIniFile* ini = New<TMemIniFile>();
    ini->SetText(text);
    found = 0;
    for (int i = 0; i < kCount; ++i) {
      const std::string n = std::to_string(i);
      found += manySections ? ini->ValueExists("s" + n, "K") : ini->ValueExists("MISC", "K" + n);
    }
    ini->Free();
  });
  size_t lines = 0;
  const double reference = BestMs([&] { lines = SplitLines(text); });
  std::printf("%-32s %7.2f MB: read %8.1f ms, read + %d lookups %8.1f ms (%zu found); reference (split %zu lines) "
              "%6.1f ms; read / reference %.1fx\n",
              name, text.size() / 1e6, read, kCount, readAndLook, found, lines, reference, read / reference);
  return found == static_cast<size_t>(kCount);
}

}  // namespace

int main() {
  const std::string count = std::to_string(kCount);
  const bool one = Measure(("one section, " + count + " idents").c_str(), OneSection(), false);
  const bool many = Measure((count + " sections").c_str(), ManySections(), true);
  return one && many ? 0 : 1;
}
