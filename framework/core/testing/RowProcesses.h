#pragma once
// Rows of a table run in child processes (this program started again with a
// test filter, under Wine and natively), so that a row that faults ends only
// its own process: the parent starts a child for the rows not yet reported,
// again after each fault. A child names the row and the step it is in; a
// fault, an abort or a hang is reported with them and, under Windows, with
// the code addresses on the faulting stack.
#include <functional>
#include <string>
#include <vector>

#include "core/testing/HandlerTable.h"

namespace qvtable {

struct TRowOutcome {
  int row = 0;
  bool passed = false;
  std::string report;  // what went wrong, one line
  std::string note;    // how it went, as the row's run told (empty when it did not end)
};

// Parent: runs rows in children that run the test childTest ("Suite.Name",
// empty: the test running now), at most chunk rows per child, and fails the
// running test for every row that failed; an outcome for every row, in the
// order given, then one of row -1 when a child faulted outside its rows.
std::vector<TRowOutcome> RunRowsInChildren(const std::vector<int>& rows, int chunk, const std::string& childTest = "");
// The failing rows grouped by where they went wrong (the faulting code, the
// hanging code or the first problem seen), a line a site: "  site: 3 17".
std::string FailingRowsBySite(const std::vector<TRowOutcome>& outcomes);

// Child: the rows this process was started for (empty in the parent).
std::vector<int> ChildRows();
// Child: runs each of its rows of table as run(row), which gives a note on
// how it went; the test failures a row raises are its problems. False (and
// nothing run) in the parent.
bool RunOwnRows(const TRows& table, const std::function<std::string(int row)>& run);
// Child: a step of the row starts (for the reports); the step now.
void SetRowStep(const std::string& step);
const char* RowStep();

}  // namespace qvtable
