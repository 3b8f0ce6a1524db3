#include "core/testing/RowProcesses.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "core/testing/ChildProcess.h"

namespace qvtable {

namespace {

// A step may wait for something its row's act made impossible: the tests'
// waits give a busy machine ten times their time-out (3 s becomes 30 s), so
// a step hangs only well past the longest of them.
constexpr int kQuietLimitMs = 90000;  // a child silent this long hangs
constexpr int kStepLimitMs = 60000;   // a step this long hangs (the child tells where)

// ---- The child's side -------------------------------------------------------

std::FILE* gOut = nullptr;
int gRow = -1;
char gDescription[256] = "";
char gStep[128] = "";

void Write(const std::string& line) {
  if (gOut == nullptr) return;
  std::string text = line;
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  std::fprintf(gOut, "%s\n", text.c_str());
  std::fflush(gOut);
}

// A row starts (what it is, for the reports); it ended with problems ("" when
// it passed) and a note on how it went.
void BeginRow(int row, const std::string& description) {
  gRow = row;
  std::snprintf(gDescription, sizeof gDescription, "%s", description.c_str());
  std::snprintf(gStep, sizeof gStep, "set-up");
  Write("BEGIN " + std::to_string(row) + " " + gDescription);
}

void EndRow(const std::string& problems, const std::string& note) {
  Write("NOTE " + std::to_string(gRow) + " " + note);
  if (problems.empty())
    Write("PASS " + std::to_string(gRow));
  else
    Write("FAIL " + std::to_string(gRow) + " " + gDescription + " (" + note + "): " + problems);
  gRow = -1;
}

// How a row that did not end is reported, by the child (what ended it) or by the parent.
std::string Unfinished(const std::string& description, const std::string& step, const std::string& what) {
  return description + ", step \"" + step + "\": " + what;
}

// ---- The parent's side ------------------------------------------------------

struct TChildRun {
  std::map<int, TRowOutcome> ended;
  std::map<int, std::string> notes;
  int begun = -1;           // the last row begun, -1 for none
  std::string description;  // of the last row begun
  std::string step;         // the last step begun
};

TChildRun ReadReports(const std::string& path) {
  TChildRun run;
  std::ifstream lines(path, std::ios::binary);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind;
    int row = -1;
    words >> kind >> row;
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (kind == "BEGIN") {
      run.begun = row;
      run.description = rest;
      run.step = "set-up";
    }
    if (kind == "STEP") run.step = rest;
    if (kind == "NOTE") run.notes[row] = rest;
    if (kind == "PASS" || kind == "FAIL" || kind == "FAULT")
      run.ended[row] = TRowOutcome{row, kind == "PASS", kind == "FAULT" ? "fault in " + rest : rest, run.notes[row]};
  }
  return run;
}

uint64_t FileSize(const std::string& path) {
  std::error_code error;
  uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

void ReportAndEnd(const std::string& what) {
  if (gRow < 0)  // between rows or after the last: what the rows left behind
    Write("FAULT -1 after the rows, while the program cleans up: " + what);
  else
    Write("FAULT " + std::to_string(gRow) + " " + Unfinished(gDescription, gStep, what));
  EndProcessNow(3);
}

std::vector<int> ChildRows() {
  std::vector<int> rows;
  const char* list = std::getenv("QV_TABLE_ROWS");
  const char* out = std::getenv("QV_TABLE_OUT");
  if (list == nullptr || out == nullptr) return rows;
  if (gOut == nullptr) {
    gOut = std::fopen(out, "ab");
    CatchFaults(kStepLimitMs);
  }
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) rows.push_back(std::atoi(item.c_str()));
  return rows;
}

bool RunOwnRows(const TRows& table, const std::function<std::string(int row)>& run) {
  std::vector<int> rows = ChildRows();
  for (int row : rows) {
    BeginRow(row, table.Describe(row));
    testing::TestPartResultArray failures;
    std::string note;
    {
      testing::ScopedFakeTestPartResultReporter intercept(
          testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
      note = run(row);
    }
    std::string problems;
    for (int i = 0; i < failures.size(); ++i) {
      std::string summary = failures.GetTestPartResult(i).summary();
      if (summary.rfind("Failed\n", 0) == 0) summary.erase(0, 7);  // a failure with only a message
      problems += (i ? "; " : "") + summary;
    }
    EndRow(problems, note);
  }
  return !rows.empty();
}

void SetRowStep(const std::string& step) {
  std::snprintf(gStep, sizeof gStep, "%s", step.c_str());
  StepBegun();
  Write("STEP " + std::to_string(gRow) + " " + gStep);  // progress: a hang is told by silence
}

const char* RowStep() { return gStep; }

std::vector<TRowOutcome> RunRowsInChildren(const std::vector<int>& rows, int chunk, const std::string& childTest) {
  std::map<int, TRowOutcome> outcomes;
  std::vector<int> pending = rows;
  std::string path = ReportFileName();
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string filter = !childTest.empty() ? childTest : std::string(test->test_suite_name()) + "." + test->name();
  while (!pending.empty()) {
    std::string list;
    for (size_t i = 0; i < pending.size() && static_cast<int>(i) < chunk; ++i)
      list += (i ? "," : "") + std::to_string(pending[i]);
    std::remove(path.c_str());
    intptr_t child = StartSelf({"--gtest_brief=1", "--gtest_filter=" + filter},
                               {{"QV_TABLE_ROWS", list}, {"QV_TABLE_OUT", path}});
    if (child == 0) {
      for (int row : pending) outcomes[row] = TRowOutcome{row, false, "the child process did not start", ""};
      break;
    }
    // A child is ended only when it stops reporting: rows take what they take.
    bool hung = false;
    unsigned long exitCode = 0;
    for (TQuietWatch quiet{std::chrono::milliseconds(kQuietLimitMs)}; !WaitChild(child, 100, exitCode);)
      if (!hung && (hung = quiet.Quiet(FileSize(path)))) KillChild(child);
    TChildRun run = ReadReports(path);
    for (auto& [row, outcome] : run.ended) outcomes[row] = outcome;
    if (run.begun >= 0 && !run.ended.count(run.begun))
      outcomes[run.begun] = TRowOutcome{
          run.begun, false,
          Unfinished(run.description, run.step,
                     hung ? "hung (no report for " + std::to_string(kQuietLimitMs / 1000) + " s)"
                          : "the process ended, exit code " + std::to_string(exitCode)),
          ""};
    std::vector<int> rest;
    for (int row : pending)
      if (!outcomes.count(row)) rest.push_back(row);
    if (rest.size() == pending.size()) {  // nothing ran: do not start the same child again
      for (int row : rest)
        outcomes[row] =
            TRowOutcome{row, false, "not run: the child ended at once, exit code " + std::to_string(exitCode), ""};
      rest.clear();
    }
    pending = rest;
  }
  std::remove(path.c_str());
  std::vector<TRowOutcome> result;
  for (int row : rows) result.push_back(outcomes[row]);
  if (outcomes.count(-1)) result.push_back(outcomes[-1]);
  for (const TRowOutcome& outcome : result)
    if (!outcome.passed) ADD_FAILURE() << "row " << outcome.row << ": " << outcome.report;
  return result;
}

std::string FailingRowsBySite(const std::vector<TRowOutcome>& outcomes) {
  std::map<std::string, std::vector<int>> bySite;
  for (const TRowOutcome& outcome : outcomes) {
    if (outcome.passed) continue;
    const std::string& report = outcome.report;
    std::string site;
    for (const char* mark : {"by the code at ", "hung at ", "exception "})
      if (size_t at = report.find(mark); site.empty() && at != std::string::npos)
        site = report.substr(at, report.find(';', at) - at);
    if (site.empty()) {
      size_t colon = report.find("): ");
      site = colon == std::string::npos ? report : report.substr(colon + 3);
      site = site.substr(0, site.find(';'));
    }
    bySite[site].push_back(outcome.row);
  }
  std::string text;
  for (const auto& [site, failed] : bySite) {
    text += "  " + site + ":";
    for (int row : failed) text += " " + std::to_string(row);
    text += "\n";
  }
  return text;
}

}  // namespace qvtable
