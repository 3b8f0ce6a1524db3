// The kept threads of the file task: a task's event is set only once the task
// has returned, tasks handed over together run side by side, idle threads
// end (not while idle work is still to come), and a thread that finished a
// task runs the next one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "FileTaskThreads.h"

namespace qv::engine::test {
namespace {

constexpr DWORD kPatienceMs = 10000;

// Threads of this suite wait this long for work (the test program's own copy
// of the engine's parts runs no other tasks); every wait below is ten times
// longer.
constexpr DWORD kIdleMs = 200;

thread_local int tTasksOnThisThread = 0;

class FileTaskThreads : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gFileTaskIdleMs = kIdleMs; }
};

// Runs `task` and waits for its event; false when it was not set in time.
template <typename Task>
bool RunAndWait(Task task) {
  HANDLE done = RunFileTask(task);
  if (!done) return false;
  bool set = WaitForSingleObject(done, kPatienceMs) == WAIT_OBJECT_0;
  CloseHandle(done);
  return set;
}

TEST_F(FileTaskThreads, EventIsSetOnlyAfterTheTaskReturned) {
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> returned{false};
  HANDLE done = RunFileTask([&] {
    WaitForSingleObject(gate, kPatienceMs);
    returned = true;
  });
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(WaitForSingleObject(done, 2 * kIdleMs), DWORD(WAIT_TIMEOUT));
  SetEvent(gate);
  ASSERT_EQ(WaitForSingleObject(done, kPatienceMs), DWORD(WAIT_OBJECT_0));
  EXPECT_TRUE(returned);
  // The event stays set for every later wait.
  EXPECT_EQ(WaitForSingleObject(done, 0), DWORD(WAIT_OBJECT_0));
  CloseHandle(done);
  CloseHandle(gate);
}

TEST_F(FileTaskThreads, TasksHandedOverTogetherRunSideBySide) {
  // Each task waits for the other to have started: run one after the other
  // on one thread, the first would wait in vain.
  constexpr int kTasks = 4;
  std::vector<HANDLE> started(kTasks), done(kTasks);
  std::atomic<int> metAll{0};
  for (HANDLE& h : started) h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < kTasks; ++i) {
    done[i] = RunFileTask([&, i] {
      SetEvent(started[i]);
      if (WaitForMultipleObjects(kTasks, started.data(), TRUE, kPatienceMs) == WAIT_OBJECT_0) ++metAll;
    });
    ASSERT_NE(done[i], nullptr);
  }
  EXPECT_EQ(WaitForMultipleObjects(kTasks, done.data(), TRUE, 2 * kPatienceMs), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(metAll, kTasks);
  for (HANDLE h : started) CloseHandle(h);
  for (HANDLE h : done) CloseHandle(h);
}

TEST_F(FileTaskThreads, IdleThreadsEndAndOneThreadRunsTasksInTurn) {
  ASSERT_TRUE(RunAndWait([] { ++tTasksOnThisThread; }));
  Sleep(10 * kIdleMs);
  // Every thread has waited longer than it waits for work: the first task
  // starts a thread of its own, which then runs every later one, each
  // handed over as soon as the one before is done.
  std::vector<int> seen;
  for (int i = 0; i < 20; ++i) {
    int count = 0;
    ASSERT_TRUE(RunAndWait([&] { count = ++tTasksOnThisThread; }));
    seen.push_back(count);
  }
  for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[i], i + 1) << "task " << i;
}

std::atomic<bool> gMoreIdleWork{false};
std::atomic<int> gIdleCalls{0};
DWORD CountedIdleWork() {
  ++gIdleCalls;
  return gMoreIdleWork ? 20 : INFINITE;
}

TEST_F(FileTaskThreads, AThreadStaysWhileIdleWorkIsStillToCome) {
  const IdleWork before = gIdleWork;
  gIdleCalls = 0;
  gMoreIdleWork = true;
  gIdleWork = CountedIdleWork;
  HANDLE thread = nullptr;
  ASSERT_TRUE(RunAndWait([&] { thread = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()); }));
  ASSERT_NE(thread, nullptr);
  // Three times as long as a thread waits for work: it is still there,
  // calling the idle work again and again.
  EXPECT_EQ(WaitForSingleObject(thread, 3 * kIdleMs), DWORD(WAIT_TIMEOUT));
  EXPECT_GE(gIdleCalls.load(), 2);
  // Nothing more to come: it ends after its idle time.
  gMoreIdleWork = false;
  EXPECT_EQ(WaitForSingleObject(thread, kPatienceMs), DWORD(WAIT_OBJECT_0));
  CloseHandle(thread);
  gIdleWork = before;
}

}  // namespace
}  // namespace qv::engine::test
