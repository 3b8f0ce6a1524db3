#include "shell/VirtualThread.h"

#include "core/Exception.h"
#include "shell/VirtualUtilities.h"

void TVirtualThread::StopRunningThread() {
  if (handle == nullptr || finished || GetCurrentThreadId() == threadID) return;
  // The thread still runs the object's code: stop it before its memory goes.
  Terminate();
  if (suspended) {
    suspended = false;
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
  handle = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(stub), nullptr,
                        createSuspended ? CREATE_SUSPENDED : 0, &threadID);
  if (handle == nullptr) throw Exception("Cannot create a thread");
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
  if (value) {
    SuspendThread(handle);
  } else {
    ResumeThread(handle);
  }
  suspended = value;
}

LONG TVirtualThread::AddRef() { return InterlockedIncrement(&refCount); }
LONG TVirtualThread::Release() { return InterlockedDecrement(&refCount); }

void TVirtualThread::InitLock() {
  if (lockInitialized) return;
  InitializeCriticalSection(&lock);
  lockInitialized = true;
}
