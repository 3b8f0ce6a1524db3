// A hostile language file at the size limit: one "Misc" value made of
// line-break marks "*|*" only (about 1 MiB). It is loaded as the interface
// language and its text asked for, beside a reference doing the same work
// plainly in the same run: the file read whole with ReadFile, and one pass
// over the value that copies it with each mark turned into CR LF.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "BenchSize.h"
#include "Language.h"
#include "Settings.h"
#include "Utils.h"

namespace {

constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

// The best of kRounds runs of work, in milliseconds.
template <class F>
double BestMs(F work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    const Clock::time_point start = Clock::now();
    work();
    best = std::min(best, 1000 * std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

std::string ReadPlainly(const std::string& path) {
  std::string text;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  text.resize(static_cast<size_t>(size.QuadPart));
  DWORD done = 0;
  ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(file);
  return text;
}

std::string TurnMarksPlainly(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value.compare(i, 3, "*|*") == 0) {
      out += "\r\n";
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace

int main() {
  const char kName[] = "BenchMarks.lng";
  const std::string path = GetApplicationPath() + kName;
  // At the size limit; a few thousand marks for the run that checks the work.
  const int marks = BenchSize(static_cast<int>((kMaxLanguageFileBytes - 64) / 3), 5000);
  std::string value;
  for (int i = 0; i < marks; ++i) value += "*|*";
  const std::string text = "[Misc]\r\nstrBuild=" + value + "\r\n";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD done = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(file);
  static bool notLoaded = false;
  ReportLanguageNotLoaded = [](const std::string& file, const std::string& reason) {
    std::printf("not loaded: %s: %s\n", file.c_str(), reason.c_str());
    notLoaded = true;
  };

  const double load = BestMs([&] { UseLanguage(kName); });
  size_t length = 0;
  const double ask = BestMs([&] { length = LangString("Build", "strBuild").size(); });
  size_t plainLength = 0;
  const double read = BestMs([&] { plainLength = ReadPlainly(path).size(); });
  size_t turnedLength = 0;
  const double turn = BestMs([&] { turnedLength = TurnMarksPlainly(value).size(); });
  DeleteFileA(path.c_str());

  std::printf("language file of %zu bytes, one value of %d line-break marks\n", text.size(), marks);
  std::printf("  load as the interface language %8.1f ms; reference (read whole, %zu bytes) %8.1f ms\n", load,
              plainLength, read);
  std::printf("  its text asked for             %8.1f ms (%zu chars); reference (one pass, %zu chars) %8.1f ms\n",
              ask, length, turnedLength, turn);
  // Every mark turned into a line break, the file read whole and taken.
  const bool right = !notLoaded && length == turnedLength && turnedLength == size_t(2 * marks) &&
                     plainLength == text.size();
  if (!right) std::printf("FAILED: the text asked for is not the value with its marks turned\n");
  return right ? 0 : 1;
}
