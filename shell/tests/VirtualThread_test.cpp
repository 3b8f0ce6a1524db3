// The toolkit thread object: start, suspension, termination, finishing.
#include <gtest/gtest.h>

#include <atomic>

#include "shell/VirtualThread.h"

#include <cstring>
#include <functional>
#include <new>

#include "ImportPatch.h"

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

// A thread that frees itself: its memory is kept after freeing, filled with a
// mark, so a test sees any write made to the object after it was freed.
namespace {

constexpr unsigned char kFreedMark = 0xDD;
alignas(16) unsigned char gArena[512];
HANDLE gFreed = nullptr;
std::atomic<bool> gHoldAfterSystemCall{false};

class TSelfFreeingThread : public TVirtualThread {
public:
  static void* operator new(size_t size) {
    if (size > sizeof(gArena)) throw std::bad_alloc();
    return gArena;
  }
  static void operator delete(void* memory, size_t size) {
    std::memset(memory, kFreedMark, size);
    SetEvent(gFreed);
  }
  void Create(bool createSuspended) {
    SetFreeOnTerminate(true);
    TVirtualThread::Create(createSuspended);
  }

protected:
  void Execute() override {}
};

bool ArenaUntouchedSinceFreed() {
  for (size_t i = 0; i < sizeof(TSelfFreeingThread); ++i)
    if (gArena[i] != kFreedMark) return false;
  return true;
}

// The system calls return only after the thread has freed itself: the worst
// order the scheduler can choose.
TImportPatch* gResumePatch = nullptr;
TImportPatch* gCreatePatch = nullptr;

DWORD WINAPI SlowResumeThread(HANDLE thread) {
  DWORD count = gResumePatch->Original<DWORD(WINAPI*)(HANDLE)>()(thread);
  if (gHoldAfterSystemCall) WaitForSingleObject(gFreed, 2000);
  return count;
}

HANDLE WINAPI SlowCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD flags, LPDWORD id) {
  using Fn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
  HANDLE made = gCreatePatch->Original<Fn>()(security, stack, start, parameter, flags, id);
  if (gHoldAfterSystemCall && (flags & CREATE_SUSPENDED) == 0) WaitForSingleObject(gFreed, 2000);
  return made;
}

}  // namespace

TEST(VirtualThread, SelfFreeingThreadIsNotWrittenAfterItRan) {
  gFreed = CreateEventW(nullptr, /*manualReset=*/TRUE, FALSE, nullptr);
  TImportPatch resume("kernel32.dll", "ResumeThread", reinterpret_cast<void*>(&SlowResumeThread));
  TImportPatch create("kernel32.dll", "CreateThread", reinterpret_cast<void*>(&SlowCreateThread));
  ASSERT_TRUE(resume.Active());
  ASSERT_TRUE(create.Active());
  gResumePatch = &resume;
  gCreatePatch = &create;
  gHoldAfterSystemCall = true;

  // Made suspended, then resumed.
  ResetEvent(gFreed);
  TSelfFreeingThread* thread = New<TSelfFreeingThread>(/*createSuspended=*/true);
  thread->SetSuspended(false);
  ASSERT_EQ(WaitForSingleObject(gFreed, 5000), WAIT_OBJECT_0);
  Sleep(20);
  EXPECT_TRUE(ArenaUntouchedSinceFreed());

  // Made running.
  std::memset(gArena, 0, sizeof(gArena));
  ResetEvent(gFreed);
  New<TSelfFreeingThread>(/*createSuspended=*/false);
  ASSERT_EQ(WaitForSingleObject(gFreed, 5000), WAIT_OBJECT_0);
  Sleep(20);
  EXPECT_TRUE(ArenaUntouchedSinceFreed());

  gHoldAfterSystemCall = false;
  CloseHandle(gFreed);
}
