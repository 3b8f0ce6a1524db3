#include "shell/VirtualThread.h"

#include "core/Exception.h"
#include "shell/VirtualUtilities.h"

void TVirtualThread::StopRunningThread() {
  if (handle == nullptr || finished || GetCurrentThreadId() == threadID) return;
  // The thread still runs the object's code: stop it before its memory goes.
  Terminate();
  if (suspended || startPending) {
    suspended = false;
    startPending = false;
    ResumeThread(handle);
  }
  WaitForSingleObject(handle, INFINITE);
}

void TVirtualThread::BeforeDestruction() {
  StopRunningThread();
  TObject::BeforeDestruction();
}

TVirtualThread::~TVirtualThread() {
  StopRunningThread();
  DisposeStub(stub);
  stub = nullptr;
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
  if (extraHandle != nullptr) CloseHandle(extraHandle);
  extraHandle = nullptr;
  if (lockInitialized) DeleteCriticalSection(&lock);
  lockInitialized = false;
}

void TVirtualThread::Create(bool createSuspended) {
  stub = CreateStub(this, reinterpret_cast<void*>(&TVirtualThread::ThreadProc));
  if (stub == nullptr) throw Exception("Cannot create the thread's entry stub");
  if (createSuspended) suspended = true;
  // The thread is made suspended and started when construction has ended: a
  // thread that frees itself may be gone as soon as it runs.
  DWORD threadId = 0;
  HANDLE made = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(stub), nullptr, CREATE_SUSPENDED,
                             &threadId);
  if (made == nullptr) throw Exception("Cannot create a thread");
  handle = made;
  threadID = threadId;
  startPending = !createSuspended;
}

void TVirtualThread::AfterConstruction() {
  TObject::AfterConstruction();
  if (!startPending) return;
  startPending = false;
  ResumeThread(handle);  // the last touch: a self-freeing thread may be gone after it
}

DWORD WINAPI TVirtualThread::ThreadProc(TVirtualThread* self, LPVOID /*parameter*/) {
  try {
    self->InitializeThread();
    self->Execute();
  } catch (...) {
    // An exception must not leave the thread; the owner sees Finished.
  }
  try {
    self->FinalizeThread();
  } catch (...) {
  }
  // Read before Finished is set: from then on the owner may free the object.
  bool freeIt = self->freeOnTerminate;
  self->finished = true;
  if (freeIt) self->Free();
  return 0;
}

void TVirtualThread::Terminate() { terminated = true; }

bool TVirtualThread::TerminateAndWait(DWORD timeoutMs) {
  Terminate();
  if (handle == nullptr) return true;
  SetSuspended(false);
  return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
}

void TVirtualThread::SetPriority(int level) {
  level &= 0x7F;
  if (level > 6 || handle == nullptr) return;
  SetThreadPriority(handle, kPriorityValues[level]);
}

void TVirtualThread::SetSuspended(bool value) {
  if (value == suspended || handle == nullptr) return;
  // Stored first: a resumed thread that frees itself may be gone when ResumeThread returns.
  HANDLE thread = handle;
  suspended = value;
  if (value) {
    SuspendThread(thread);
  } else {
    ResumeThread(thread);
  }
}

LONG TVirtualThread::AddRef() { return InterlockedIncrement(&refCount); }
LONG TVirtualThread::Release() { return InterlockedDecrement(&refCount); }

void TVirtualThread::InitLock() {
  if (lockInitialized) return;
  InitializeCriticalSection(&lock);
  lockInitialized = true;
}
