// The start-up trace that the start-up benchmark turns on: started with
// QV_STARTUP_TRACE naming a file, the program writes its steps there once it
// is idle, in the order it went through them, on the counter of the process
// that started it, and it still ends as ever.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "InstalledProgram.h"

namespace {

struct TTraceLine {
  long long counter;
  std::string step;
};

// The steps of a whole trace; false while the file is missing or not whole.
bool ReadTrace(const std::wstring& file, long long& frequency, std::vector<TTraceLine>& steps) {
  std::ifstream in(std::string(file.begin(), file.end()));
  std::string word;
  if (!(in >> word >> frequency) || word != "frequency") return false;
  steps.clear();
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line == "end") return true;
    std::istringstream fields(line);
    TTraceLine step{};
    if (!(fields >> step.counter)) return false;
    std::getline(fields >> std::ws, step.step);
    steps.push_back(step);
  }
  return false;
}

}  // namespace

using StartupTrace = InstalledProgramTest;

TEST_F(StartupTrace, StepsInOrderOnceIdleAndTheProgramEndsAsEver) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring file = std::wstring(temp) + L"QvStartupTraceTest.txt";
  DeleteFileW(file.c_str());
  LARGE_INTEGER before, after;
  QueryPerformanceCounter(&before);
  SetEnvironmentVariableW(L"QV_STARTUP_TRACE", file.c_str());
  const ::testing::AssertionResult started = Start();
  SetEnvironmentVariableW(L"QV_STARTUP_TRACE", nullptr);
  ASSERT_TRUE(started);
  HWND main = WaitForWindow(L"TMainForm", L"", 30000);
  ASSERT_NE(main, nullptr);
  long long frequency = 0;
  std::vector<TTraceLine> steps;
  for (int waited = 0; waited < 30000 && !ReadTrace(file, frequency, steps); waited += 50) Sleep(50);
  QueryPerformanceCounter(&after);
  DeleteFileW(file.c_str());
  ASSERT_FALSE(steps.empty()) << "no whole trace";
  EXPECT_GT(frequency, 0);

  // The loader's step first, the paint last; the settings, the shell, the
  // first window, the patterns and the showing in between, in this order.
  EXPECT_EQ(steps.front().step, "process start, libraries loaded");
  EXPECT_EQ(steps.back().step, "first paint, until idle");
  size_t next = 0;
  for (const char* expected : {"static initialisers", "settings (registry)", "shell toolkit",
                               "application (its first window)", "main form: patterns file",
                               "main form: language file, translation", "main form: its own window made",
                               "main form shown, its controls' windows made"}) {
    while (next < steps.size() && steps[next].step != expected) ++next;
    EXPECT_LT(next, steps.size()) << expected << " missing or out of order";
  }
  EXPECT_GE(steps.front().counter, before.QuadPart);
  EXPECT_LE(steps.back().counter, after.QuadPart);
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_GE(steps[i].counter, steps[i - 1].counter) << steps[i].step;

  EXPECT_EQ(CloseAndWait(main, 30000), 0u);
}

// Told to stop at its main block (QV_STARTUP_STOP), the program only loads:
// it ends at once with code 0, before any window or setting is made.
TEST_F(StartupTrace, StopAtTheMainBlockEndsBeforeAnyWindow) {
  SetEnvironmentVariableW(L"QV_STARTUP_STOP", L"1");
  const ::testing::AssertionResult started = Start();
  SetEnvironmentVariableW(L"QV_STARTUP_STOP", nullptr);
  ASSERT_TRUE(started);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(WaitForWindow(L"", L"", 0), nullptr);
}
