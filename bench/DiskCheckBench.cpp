// The file run's check of each path: 1,000 files of one folder three levels
// below the temp folder (kept for later runs), each checked once (the folders
// above remembered, the file looked up each time), twice as the run does
// (when it is chosen as the path to name next, and just before it is handed
// over), and with every level looked up, beside a plain FindFirstFileW and
// GetFileAttributesW of each path in the same run.
//
// Usage: DiskCheckBench [files] [rounds] (50 and 2 by default under QV_BENCH_SMALL)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "BenchFolders.h"
#include "shell/DiskCheck.h"
#include "shell/ExactNames.h"
#include "shell/VirtualWideStrings.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TWork {
  const char* name;
  std::function<bool(const std::u16string&)> run;
  double best = 1e30;  // microseconds per path
};

// Each work over every path, in turn within each round (so that a busy
// moment of the machine falls on all alike); the best round of each counts.
void Measure(const std::vector<std::u16string>& paths, int rounds, std::vector<TWork>& works) {
  for (int r = 0; r < rounds; ++r) {
    for (TWork& work : works) {
      int found = 0;
      const Clock::time_point start = Clock::now();
      for (const std::u16string& path : paths) found += work.run(path) ? 1 : 0;
      const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / paths.size();
      if (found != static_cast<int>(paths.size())) std::printf("  %s: only %d of %zu found\n", work.name, found, paths.size());
      if (us < work.best) work.best = us;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : BenchSize(1000, 50);
  const int rounds = argc > 2 ? std::atoi(argv[2]) : BenchSize(5, 2);
  const std::u16string root =
      KeptBenchFolder(u"qvbench_diskcheck_" + vws::WideIntToStr(files), [&](const std::u16string& root) {
        std::u16string dir = root + u"\\level1";
        CreateDirectoryW(vws::W(dir), nullptr);
        dir += u"\\level2";
        CreateDirectoryW(vws::W(dir), nullptr);
        for (int i = 0; i < files; ++i) {
          HANDLE h = CreateFileW(vws::W(dir + u"\\file" + vws::WideIntToStr(i) + u".dat"), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, 0, nullptr);
          if (h == INVALID_HANDLE_VALUE) continue;
          DWORD written = 0;
          std::string bytes(4096, 'q');
          WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
          CloseHandle(h);
        }
      });
  std::vector<std::u16string> paths;
  for (int i = 0; i < files; ++i) paths.push_back(root + u"\\level1\\level2\\file" + vws::WideIntToStr(i) + u".dat");
  std::printf("%d files of 4 KB in one folder, %zu characters deep; best of %d rounds\n", files, paths[0].size(),
              rounds);

  TDiskCheck kept;
  std::vector<TWork> works = {
      {"one check, the folders above kept", [&](const std::u16string& p) { return kept.Matches(p, false); }},
      {"as the run does: when named next and at its turn",
       [&](const std::u16string& p) { return kept.Matches(p, false) && kept.Matches(p, false); }},
      {"check with every level looked up", [](const std::u16string& p) {
         TDiskCheck fresh;
         return fresh.Matches(p, false);
       }},
      {"reference: one FindFirstFileW of the path", [](const std::u16string& p) {
         WIN32_FIND_DATAW data;
         HANDLE h = FindFirstFileW(vws::W(exactnames::ExtendedPath(p)), &data);
         if (h == INVALID_HANDLE_VALUE) return false;
         FindClose(h);
         return true;
       }},
      {"reference: GetFileAttributesW of the path", [](const std::u16string& p) {
         return GetFileAttributesW(vws::W(p)) != INVALID_FILE_ATTRIBUTES;
       }},
  };
  Measure(paths, rounds, works);
  for (const TWork& work : works) std::printf("%-50s %8.1f us/path\n", work.name, work.best);
  return 0;
}
