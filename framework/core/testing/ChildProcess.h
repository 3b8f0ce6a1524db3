#pragma once
// What rows run in child processes (RowProcesses.h) need of the system.
#include <cstdint>
#include <functional>
#include <string>

namespace qvtable {

struct TChildEnd {
  bool started = false;
  bool hung = false;  // ended by the parent: its reports stopped growing
  unsigned long exitCode = 0;
};

// Parent: runs this program again with --gtest_filter=filter, QV_TABLE_ROWS=rows
// and QV_TABLE_OUT=out, until it ends or reportSize() stays the same for quietMs.
TChildEnd RunChild(const std::string& filter, const std::string& rows, const std::string& out,
                   const std::function<uint64_t()>& reportSize, int quietMs);
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

}  // namespace qvtable
