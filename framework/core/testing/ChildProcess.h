#pragma once
// What rows run in child processes (RowProcesses.h) need of the system: a
// file a system (posix/, win32/) for the little that differs.
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvtable {

// Parent: this program started again with args and the variables env set
// besides the parent's environment; 0 when it did not start.
intptr_t StartSelf(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env);
// Parent: true and its exit code (a signal's as 128 + the signal) once the
// child ended; false when it still runs after about ms.
bool WaitChild(intptr_t child, int ms, unsigned long& exitCode);
// Parent: ends the child at once (WaitChild then sees it end).
void KillChild(intptr_t child);
// Parent: a file for the children's reports, of this process only.
std::string ReportFileName();

// Child: a fault, an abort or a step longer than stepMs (StepBegun marks one)
// goes to ReportAndEnd with where it happened, where the system tells; else
// the parent reports the row by the exit code.
void CatchFaults(int stepMs);
void StepBegun();
// Child: reports what ended the row (or the clean-up after the rows) and ends the process.
[[noreturn]] void ReportAndEnd(const std::string& what);
[[noreturn]] void EndProcessNow(int exitCode);

// A count of progress that stood still longer than limit: the parent's sign
// of a silent child, the child's of a step that hangs.
struct TQuietWatch {
  std::chrono::milliseconds limit;
  uint64_t seen = 0;
  std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
  bool Quiet(uint64_t progress) {
    auto now = std::chrono::steady_clock::now();
    if (progress != seen) seen = progress, since = now;
    return now - since > limit;
  }
};

}  // namespace qvtable
