#pragma once
// TVirtualThread: the toolkit's thread object. Owns one Windows thread that
// enters the object through a method stub, with cooperative termination, a
// Finished flag, priority and suspension control, and a reference count that
// owners use to decide when a shared thread may be stopped.
#include <windows.h>

#include <atomic>

#include "core/Object.h"

class TVirtualThread : public TObject {
public:
  // Priority levels 0..6: idle, lowest, lower, normal, higher, highest, time critical.
  static constexpr int kPriorityValues[7] = {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST,
                                             THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                             THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                             THREAD_PRIORITY_TIME_CRITICAL};

  // Releases the stub and the handles (stopping a thread still running first).
  ~TVirtualThread() override;
  // Free() on another thread stops a thread that still runs (terminate,
  // resume, wait) while the whole object still exists.
  void BeforeDestruction() override;
  // Makes the thread suspended; unless createSuspended it starts when
  // construction ends (AfterConstruction). Raises Exception when the system
  // cannot make it.
  void Create(bool createSuspended);
  void AfterConstruction() override;

  // Sets Terminated; Execute polls it.
  virtual void Terminate();
  // Terminates, resumes a suspended thread and waits for it up to timeoutMs;
  // true when the thread has ended.
  bool TerminateAndWait(DWORD timeoutMs = INFINITE);

  // Level 0..6 (low 7 bits); higher values do nothing.
  void SetPriority(int level);
  bool Suspended() const { return suspended; }
  // Suspends or resumes when the value changes. A free-on-terminate thread
  // must not be touched after it is resumed.
  void SetSuspended(bool value);
  bool Terminated() const { return terminated; }
  bool Finished() const { return finished; }
  bool FreeOnTerminate() const { return freeOnTerminate; }
  // When set, the thread frees the object after Execute (the owner must not).
  void SetFreeOnTerminate(bool value) { freeOnTerminate = value; }
  HANDLE Handle() const { return handle; }
  DWORD ThreadID() const { return threadID; }
  // Interlocked; Release never frees.
  LONG AddRef();
  LONG Release();
  LONG RefCount() const { return refCount; }

protected:
  // The thread's work; polls Terminated.
  virtual void Execute() = 0;
  // Run on the thread after and before Execute; nothing here.
  virtual void FinalizeThread() {}
  virtual void InitializeThread() {}
  // An event or other handle of a descendant, closed at destruction.
  HANDLE extraHandle = nullptr;
  // A lock for descendants: InitLock makes it once.
  void InitLock();
  CRITICAL_SECTION lock{};
  bool lockInitialized = false;

private:
  void StopRunningThread();
  static DWORD WINAPI ThreadProc(TVirtualThread* self, LPVOID parameter);

  std::atomic<bool> freeOnTerminate{false};
  bool startPending = false;
  HANDLE handle = nullptr;
  DWORD threadID = 0;
  void* stub = nullptr;
  std::atomic<bool> terminated{false};
  std::atomic<bool> suspended{false};
  std::atomic<bool> finished{false};
  volatile LONG refCount = 0;
};
