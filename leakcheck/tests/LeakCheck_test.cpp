// The leak checker as the program carries it: inert from start to end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "leakcheck/LeakCheck.h"

namespace {

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const std::string kReport(leakcheck::kReportFileName);
const std::string kWork = kReport + std::string(leakcheck::kWorkFileSuffix);

}  // namespace

TEST(LeakCheck, SwitchedOffFromTheStart) {
  EXPECT_FALSE(LeakCheckActive);
  EXPECT_FALSE(LeakCheckInitialized);
  EXPECT_TRUE(LeakCheckTablesEmpty());
  EXPECT_EQ(leakcheck::kVersion, "LeakCheck version 2.58");
}

TEST(LeakCheck, ExceptionClassesCarryTheirMessages) {
  try {
    throw EFreedBlockDamaged("Destroyed block damaged");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Destroyed block damaged");
  }
  EXPECT_THROW(throw EInterfaceFreedInstance("x"), Exception);
  EXPECT_THROW(throw EBadInstance("x"), Exception);
}

TEST(LeakCheck, ReleasedInstanceTrapsEverySlot) {
  ReleasedInstance* freed = New<ReleasedInstance>(std::string("TWipePattern"));
  for (int slot : {0, 1, 2, 10, 11, 12, 21, 111, ReleasedInstance::kTrapCount - 1}) {
    ReleasedInstance::TTrap trap = ReleasedInstance::Trap(slot);
    ASSERT_NE(trap, nullptr) << slot;
    try {
      trap(freed);
      ADD_FAILURE() << "slot " << slot << " did not trap";
    } catch (const EBadInstance& e) {
      EXPECT_EQ(e.Message(), ReleasedInstance::TrapMessage(slot, "TWipePattern"));
    }
  }
  EXPECT_EQ(ReleasedInstance::TrapMessage(0, "TFoo"), "Call 1st virtual method on a FREED instance of TFoo");
  EXPECT_EQ(ReleasedInstance::TrapMessage(11, "TFoo"), "Call 12th virtual method on a FREED instance of TFoo");
  EXPECT_EQ(ReleasedInstance::TrapMessage(22, "TFoo"), "Call 23rd virtual method on a FREED instance of TFoo");
  EXPECT_EQ(ReleasedInstance::Trap(-1), nullptr);
  EXPECT_EQ(ReleasedInstance::Trap(ReleasedInstance::kTrapCount), nullptr);
  freed->Free();
}

// Run as a child process: a whole run of a process that carries the unit.
TEST(LeakCheck, ChildRun) {
  if (std::getenv("QV_LEAKCHECK_CHILD") == nullptr) GTEST_SKIP() << "only as the child of ProcessEndsWithoutReport";
  EXPECT_FALSE(LeakCheckActive);
  void* kept = std::malloc(100);  // a leak an active checker would report
  (void)kept;
}

TEST(LeakCheck, ProcessEndsWithoutReport) {
  if (std::getenv("QV_LEAKCHECK_CHILD") != nullptr) GTEST_SKIP();
  ASSERT_FALSE(FileExists(kReport)) << "a report from elsewhere is in the way";
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=LeakCheck.ChildRun";
  SetEnvironmentVariableW(L"QV_LEAKCHECK_CHILD", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableW(L"QV_LEAKCHECK_CHILD", nullptr);
  ASSERT_TRUE(started);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(FileExists(kReport));
  EXPECT_FALSE(FileExists(kWork));
}
