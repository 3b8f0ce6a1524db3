#pragma once
// Background enumeration of one folder: TVirtualBackGndEnumThread lists the
// folder's children through the shell on its own thread and hands the whole
// result to its explorer tree as one TPIDLList, through a TEnumHandOver.
//
// The hand-over is the only thing the thread and the tree share. It is
// reference counted (the tree holds one reference, every thread one), so a
// thread that outlives its tree still has a lock to take; and the thread
// tests its terminated flag under that lock, so a thread the tree has
// terminated (always under the same lock) never delivers anything.
#include <windows.h>

#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualShellTypes.h"
#include "shell/VirtualThread.h"

class TCustomVirtualExplorerTree;
class TVirtualBackGndEnumThread;

class TEnumHandOver {
public:
  // One reference, owned by the caller.
  TEnumHandOver();
  TEnumHandOver(const TEnumHandOver&) = delete;
  TEnumHandOver& operator=(const TEnumHandOver&) = delete;
  void AddRef();
  // The last release frees the hand-over with what it still holds.
  void Release();

  void Lock() { EnterCriticalSection(&lock); }
  void Unlock() { LeaveCriticalSection(&lock); }

  // ---- Guarded by the lock ----
  // The delivered children (relative PIDLs, owned), or null.
  TPIDLList* Result = nullptr;
  // The absolute PIDL of the folder Result lists (owned), or null.
  LPITEMIDLIST ResultFolder = nullptr;
  // The thread whose result is still wanted, or null. A thread clears it
  // when it delivers (only when it still names that thread).
  TVirtualBackGndEnumThread* Thread = nullptr;
  // Frees Result and ResultFolder.
  void FreeResult();

private:
  ~TEnumHandOver();
  CRITICAL_SECTION lock{};
  volatile LONG refCount = 1;
};

// Lists one folder in the background and frees itself when done.
class TVirtualBackGndEnumThread : public TVirtualThread {
public:
  ~TVirtualBackGndEnumThread() override;
  // For tree: the folder of the absolute pidl (copied), the tree's file
  // objects, its window as owner of shell dialogs and its hand-over, all read
  // now on the calling thread (the tree is never touched from the thread).
  void Create(bool createSuspended, TCustomVirtualExplorerTree* tree, LPCITEMIDLIST pidl);
  // The same with the pieces given: handOver gets a reference; owner may be null.
  void Create(bool createSuspended, TEnumHandOver* handOver_, HWND owner_, TFileObjects fileObjects_,
              LPCITEMIDLIST pidl);

  LPCITEMIDLIST FolderPIDL() const { return folderPIDL; }
  TFileObjects FileObjects() const { return fileObjects; }

  // Enumeration threads not yet freed in this process.
  static LONG LiveCount();
  // Waits up to timeoutMs for every enumeration thread to end; true when none is left.
  static bool WaitForAll(DWORD timeoutMs);
  // Called on the thread after every item listed (step 1, 2, ...) and before the
  // hand-over (step 0); tests stretch a listing with it. Null: nothing.
  static inline void (*StepHook)(int step) = nullptr;

protected:
  void InitializeThread() override;
  void FinalizeThread() override;
  void Execute() override;

private:
  // Fills enumList; stops early once terminated.
  void Enumerate();
  // Delivers enumList unless terminated (decided under the hand-over's lock).
  void HandOver();

  TPIDLList* enumList = nullptr;  // owned until delivered
  LPITEMIDLIST folderPIDL = nullptr;  // owned
  LPITEMIDLIST resultFolder = nullptr;  // owned until delivered with enumList
  TPIDLManager* pidls = nullptr;      // owned: frees folderPIDL whatever happens to the toolkit's managers
  TEnumHandOver* handOver = nullptr;  // one reference
  HWND owner = nullptr;               // not owned; only passed to the shell
  TFileObjects fileObjects;
  bool comInitialized = false;
};
