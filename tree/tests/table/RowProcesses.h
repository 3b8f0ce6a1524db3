#pragma once
// Rows of a table run in child processes (this program started again with a
// test filter), so that a row that faults ends only its own process: the
// parent starts a child for the rows not yet reported, again after each fault.
// A child names the row and the step it is in; a fault, an abort or a hang is
// reported with them and with the code addresses on the faulting stack.
#include <string>
#include <vector>

struct TRowOutcome {
  int row = 0;
  bool passed = false;
  std::string report;  // what went wrong, one line
};

// Parent: runs rows in children that run the test childTest ("Suite.Name"),
// at most chunk rows per child; an outcome for every row, in the order given.
std::vector<TRowOutcome> RunRowsInChildren(const std::vector<int>& rows, const std::string& childTest, int chunk);

// Child: the rows this process was started for (empty in the parent).
std::vector<int> ChildRows();
// Child: a row starts (what it is, for the reports), a step of it starts
// (step must outlive the row), the row ended with problems ("" when it passed)
// and a note on how it went.
void BeginRow(int row, const std::string& description);
void SetRowStep(const char* step);
const char* RowStep();
void EndRow(const std::string& problems, const std::string& note);
