// The toolkit thread object: start, suspension, termination, finishing.
#include <gtest/gtest.h>

#include <atomic>

#include "shell/VirtualThread.h"

namespace {

class TCountingThread : public TVirtualThread {
public:
  std::atomic<int> loops{0};
  std::atomic<bool> before{false};
  std::atomic<bool> after{false};
  std::atomic<bool> raise{false};
  std::atomic<bool>* destroyed = nullptr;
  ~TCountingThread() override {
    if (destroyed != nullptr) *destroyed = true;
  }

protected:
  void InitializeThread() override { before = true; }
  void FinalizeThread() override { after = true; }
  void Execute() override {
    if (raise) throw std::runtime_error("fails on purpose");
    while (!Terminated()) {
      ++loops;
      Sleep(1);
    }
  }
};

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  for (int waited = 0; waited < ms; waited += 5) {
    if (done()) return true;
    Sleep(5);
  }
  return done();
}

}  // namespace

TEST(VirtualThread, SuspendedUntilResumedThenTerminates) {
  TCountingThread* thread = New<TCountingThread>(/*createSuspended=*/true);
  EXPECT_TRUE(thread->Suspended());
  Sleep(50);
  EXPECT_EQ(thread->loops, 0);
  EXPECT_FALSE(thread->before);
  thread->SetSuspended(false);
  EXPECT_TRUE(WaitFor([&] { return thread->loops > 3; }));
  EXPECT_TRUE(thread->before);
  EXPECT_FALSE(thread->Finished());
  EXPECT_TRUE(thread->TerminateAndWait(5000));
  EXPECT_TRUE(thread->Terminated());
  EXPECT_TRUE(thread->Finished());
  EXPECT_TRUE(thread->after);
  thread->Free();
}

TEST(VirtualThread, SuspendingTwiceCallsTheSystemOnce) {
  TCountingThread* thread = New<TCountingThread>(/*createSuspended=*/false);
  EXPECT_TRUE(WaitFor([&] { return thread->loops > 0; }));
  thread->SetSuspended(true);
  thread->SetSuspended(true);
  // One suspension: the count the system reports on resuming is 1.
  EXPECT_EQ(ResumeThread(thread->Handle()), 1u);
  SuspendThread(thread->Handle());
  thread->SetSuspended(false);
  thread->SetSuspended(false);
  int seen = thread->loops;
  EXPECT_TRUE(WaitFor([&] { return thread->loops > seen; }));
  thread->Free();  // still running: the destructor stops it and waits
}

TEST(VirtualThread, ExceptionStillFinishes) {
  TCountingThread* thread = New<TCountingThread>(/*createSuspended=*/true);
  thread->raise = true;
  thread->SetSuspended(false);
  EXPECT_TRUE(WaitFor([&] { return thread->Finished(); }));
  EXPECT_TRUE(thread->after);
  thread->Free();
}

TEST(VirtualThread, FreeOnTerminateFreesItself) {
  std::atomic<bool> destroyed{false};
  TCountingThread* thread = New<TCountingThread>(/*createSuspended=*/true);
  thread->destroyed = &destroyed;
  thread->SetFreeOnTerminate(true);
  HANDLE handle = nullptr;
  DuplicateHandle(GetCurrentProcess(), thread->Handle(), GetCurrentProcess(), &handle, SYNCHRONIZE, FALSE, 0);
  thread->SetSuspended(false);
  thread->Terminate();
  EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
  CloseHandle(handle);
  EXPECT_TRUE(destroyed);
}

TEST(VirtualThread, PriorityLevelsAndReferences) {
  TCountingThread* thread = New<TCountingThread>(/*createSuspended=*/true);
  thread->SetPriority(4);
  int higher = GetThreadPriority(thread->Handle());
  thread->SetPriority(5);
  int highest = GetThreadPriority(thread->Handle());
  EXPECT_LT(higher, highest);
  thread->SetPriority(0x80 | 1);  // only the low 7 bits count
  EXPECT_EQ(GetThreadPriority(thread->Handle()), THREAD_PRIORITY_LOWEST);
  thread->SetPriority(7);  // out of range: unchanged
  EXPECT_EQ(GetThreadPriority(thread->Handle()), THREAD_PRIORITY_LOWEST);
  EXPECT_EQ(thread->AddRef(), 1);
  EXPECT_EQ(thread->AddRef(), 2);
  EXPECT_EQ(thread->Release(), 1);
  EXPECT_EQ(thread->Release(), 0);
  EXPECT_EQ(thread->Release(), -1);  // never frees
  EXPECT_TRUE(thread->TerminateAndWait(5000));  // resumes a suspended thread to end it
  thread->Free();
}
