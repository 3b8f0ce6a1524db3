#include "shell/VirtualBackGndEnumThread.h"

#include <shlobj.h>

#include "shell/ExactNames.h"
#include "shell/ExplorerTree.h"
#include "shell/ShellUtilities.h"

namespace {

volatile LONG gLiveThreads = 0;

// The per-thread error mode where the system has one: an empty drive raises
// no dialog, and the process's mode, which the main thread changes in scopes
// of its own, is left alone.
using TSetThreadErrorMode = BOOL(WINAPI*)(DWORD, LPDWORD);
TSetThreadErrorMode ThreadErrorModeProc() {
  static TSetThreadErrorMode proc = reinterpret_cast<TSetThreadErrorMode>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadErrorMode")));
  return proc;
}

}  // namespace

// ---- The hand-over -------------------------------------------------------------------

TEnumHandOver::TEnumHandOver() { InitializeCriticalSection(&lock); }

TEnumHandOver::~TEnumHandOver() {
  FreeResult();
  DeleteCriticalSection(&lock);
}

void TEnumHandOver::AddRef() { InterlockedIncrement(&refCount); }

void TEnumHandOver::Release() {
  if (InterlockedDecrement(&refCount) == 0) delete this;
}

void TEnumHandOver::FreeResult() {
  FreeAndNil(Result);
  if (ResultFolder != nullptr) CoTaskMemFree(ResultFolder);
  ResultFolder = nullptr;
}

// ---- The thread ------------------------------------------------------------------------

LONG TVirtualBackGndEnumThread::LiveCount() { return InterlockedCompareExchange(&gLiveThreads, 0, 0); }

bool TVirtualBackGndEnumThread::WaitForAll(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (LiveCount() > 0) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(2);
  }
  return true;
}

void TVirtualBackGndEnumThread::Create(bool createSuspended, TCustomVirtualExplorerTree* tree, LPCITEMIDLIST pidl) {
  Create(createSuspended, tree->EnumHandOver(), tree->HandleAllocated() ? tree->Handle() : nullptr,
         tree->FileObjects(), pidl);
}

void TVirtualBackGndEnumThread::Create(bool createSuspended, TEnumHandOver* handOver_, HWND owner_,
                                       TFileObjects fileObjects_, LPCITEMIDLIST pidl) {
  InterlockedIncrement(&gLiveThreads);
  handOver = handOver_;
  handOver->AddRef();
  owner = owner_;
  fileObjects = fileObjects_;
  pidls = New<TPIDLManager>();
  folderPIDL = pidls->CopyPIDL(pidl);
  // The hand-over's copy is made here: delivering allocates nothing.
  resultFolder = pidls->CopyPIDL(pidl);
  enumList = New<TPIDLList>();
  // Made here, so that freeing the list on the thread needs nothing of the shell.
  enumList->PIDLManager();
  SetFreeOnTerminate(true);
  TVirtualThread::Create(createSuspended);
}

TVirtualBackGndEnumThread::~TVirtualBackGndEnumThread() {
  // A thread that never started (its creation failed) has nothing running.
  FreeAndNil(enumList);
  if (pidls != nullptr) {
    pidls->FreeAndNilPIDL(folderPIDL);
    pidls->FreeAndNilPIDL(resultFolder);
  }
  FreeAndNil(pidls);
  ReleaseAndNil(handOver);
  InterlockedDecrement(&gLiveThreads);
}

void TVirtualBackGndEnumThread::InitializeThread() {
  TVirtualThread::InitializeThread();
  comInitialized = SUCCEEDED(CoInitialize(nullptr));
  if (TSetThreadErrorMode setMode = ThreadErrorModeProc())
    setMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
}

void TVirtualBackGndEnumThread::FinalizeThread() {
  TVirtualThread::FinalizeThread();
  if (comInitialized) CoUninitialize();
  comInitialized = false;
}

void TVirtualBackGndEnumThread::Execute() {
  try {
    Enumerate();
  } catch (...) {
    HandOver();
    throw;
  }
  HandOver();
}

void TVirtualBackGndEnumThread::Enumerate() {
  DWORD flags = FileObjectsToFlags(fileObjects);
  IShellFolder* desktop = nullptr;
  IShellFolder* folder = nullptr;
  IEnumIDList* enumerator = nullptr;
  try {
    if (SHGetDesktopFolder(&desktop) == S_OK && desktop != nullptr) {
      if (TPIDLManager::IsDesktopFolder(folderPIDL)) {
        folder = desktop;
        folder->AddRef();
      } else if (FAILED(desktop->BindToObject(folderPIDL, nullptr, IID_IShellFolder,
                                              reinterpret_cast<void**>(&folder)))) {
        folder = nullptr;
      }
    }
    // A folder the shell would list by a cut name gives nothing rather than another folder's items.
    if (folder != nullptr && !exactnames::ListsItself(folderPIDL)) {
      folder->Release();
      folder = nullptr;
    }
    if (folder != nullptr && !Terminated() && folder->EnumObjects(owner, flags, &enumerator) == S_OK &&
        enumerator != nullptr) {
      LPITEMIDLIST item = nullptr;
      ULONG fetched = 0;
      while (enumerator->Next(1, &item, &fetched) == S_OK && item != nullptr) {
        if (Terminated()) {
          CoTaskMemFree(item);
          break;
        }
        try {
          enumList->Add(item);
        } catch (...) {
          CoTaskMemFree(item);
          throw;
        }
        item = nullptr;
        if (StepHook != nullptr) StepHook(enumList->Count());
      }
    }
  } catch (...) {
    ReleaseAndNil(enumerator);
    ReleaseAndNil(folder);
    ReleaseAndNil(desktop);
    throw;
  }
  ReleaseAndNil(enumerator);
  ReleaseAndNil(folder);
  ReleaseAndNil(desktop);
}

void TVirtualBackGndEnumThread::HandOver() {
  if (StepHook != nullptr) StepHook(0);
  handOver->Lock();
  // Decided under the lock the tree terminates under: either the tree sees
  // the result, or it has terminated this thread and never will.
  if (!Terminated()) {
    handOver->FreeResult();
    handOver->Result = enumList;
    handOver->ResultFolder = resultFolder;
    enumList = nullptr;
    resultFolder = nullptr;
    if (handOver->Thread == this) handOver->Thread = nullptr;
  }
  handOver->Unlock();
}
