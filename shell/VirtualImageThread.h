#pragma once
// Icon and expand-mark threads. Asking the shell for an item's icon, or for
// whether a folder has subfolders, can take long (network drives, slow
// media): a control queues a request instead and paints a placeholder; a
// background thread answers and posts the answer to the control's window,
// whose handler applies it on the main thread. Two managers, each with its
// own thread: icons (newest request first, so the nodes painted last come
// first) and expand marks (oldest first).
//
// Threads never touch a control. They read its window handle from the
// manager's registration, under the lock, when they post: a control that
// unregisters (its window going) gets no further answer, and answers already
// posted to it are taken back out of its queue and freed. Every request gets
// a ticket, unique in the process, which the answer carries back: a control
// applies an answer only when the ticket is still the one it waits for.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "core/Lists.h"
#include "shell/VirtualThread.h"

class TWinControl;

// One request and, when it comes back, its answer. The receiver owns it and
// frees it with ReleaseItem.
struct TImageThreadRequest {
  LPITEMIDLIST PIDL = nullptr;    // absolute, owned (shell allocator)
  int32_t ImageIndex = 0;         // the icon thread's answer
  uint8_t Flag = 0;               // the caller's, passed back
  TWinControl* Control = nullptr;  // the control to answer; never dereferenced by the threads
  void* Data = nullptr;           // the caller's value, passed back (the explorer tree: the node)
  int32_t HasChildren = 0;        // the expand-mark thread's answer: 1 with subfolders, else 0
  uint32_t Param = 0;             // the caller's (expand marks: the SHCONTF flags of the test)
  uint32_t MessageId = 0;         // posted to the control's window with the request as WParam
  uint32_t Ticket = 0;            // unique per request in the process, never 0
};

// Bits of an icon request's Param: the large icon; the open icon (of a folder)
// instead of the closed one.
constexpr uint32_t kIconParamLarge = 1;
constexpr uint32_t kIconParamOpen = 2;

// The answer messages of the explorer views.
constexpr UINT kWMImageThreadResult = 0x8034;
constexpr UINT kWMExpandMarkResult = 0x803E;

class TVirtualImageThreadManager;

// The icon thread: answers the LAST request of its list first.
class TVirtualImageThread : public TVirtualThread {
public:
  // Created suspended; manager (not owned) tells the windows of its controls.
  void Create(TVirtualImageThreadManager* manager_);
  ~TVirtualImageThread() override;

  // Puts request in the list (the icon thread appends) and wakes the thread; under the list's lock.
  virtual void AddNewItem(TImageThreadRequest* request);
  // Inserts request at the front: served after everything queued.
  void AddNewItemDeferred(TImageThreadRequest* request);
  // Frees the PIDL (with malloc, the shell's allocator when null) and the record.
  static void ReleaseItem(TImageThreadRequest* request, IMalloc* malloc);
  // Sets Terminated and wakes the thread.
  void Terminate() override;

  // The request list under the thread's lock (it nests); pair with UnlockRequests.
  TList* LockRequests();
  void UnlockRequests();

protected:
  void Execute() override;
  // Fills the answer into request (a private copy; the list is not locked).
  virtual void ExtractInfo(TImageThreadRequest& request);
  // The small system icon of pidl (last: its last ID) through the folder's
  // IShellIcon, else the shell's file information; 0 when neither answers.
  // gil: GIL_OPENICON or 0; anySuccess: any success code of IShellIcon counts.
  int IconOf(LPCITEMIDLIST pidl, LPCITEMIDLIST last, UINT gil, bool anySuccess);
  // Hooks: before an answer is written back, and when its request was dropped meanwhile.
  virtual void BeforeWriteBack(TImageThreadRequest& request) {}
  virtual void RequestDropped(TImageThreadRequest& request) {}
  // Releases what ExtractInfo kept between requests; on the thread, before COM ends.
  virtual void ReleaseCaches();

  // A critical section, not a mutex of the runtime: one that was waited for
  // leaks an event handle when it is destroyed, and a thread is made per burst.
  TList requests;  // TImageThreadRequest*, owned; under the lock
  HANDLE event = nullptr;  // manual reset: set while requests wait

private:
  // Serves the last request; false when the list was empty.
  bool ServeOne(IMalloc* malloc);
  // Posts request to its control's window, or frees it when the control has none.
  void Deliver(TImageThreadRequest* request, IMalloc* malloc);
  TVirtualImageThreadManager* manager = nullptr;  // not owned
  // The parent folder of the last icon request and its IShellIcon (null when
  // the folder has none): most requests come in folders.
  LPITEMIDLIST cachedParent = nullptr;
  IShellIcon* cachedShellIcon = nullptr;
};

// The expand-mark thread: inserts at the front, so it answers in order of arrival.
class TVirtualExpandMarkThread : public TVirtualImageThread {
public:
  void AddNewItem(TImageThreadRequest* request) override;

protected:
  void ExtractInfo(TImageThreadRequest& request) override;
  void ReleaseCaches() override {}
};

// {FF9A6395-285D-400F-AC48-29D9A5DF405A}
extern const GUID IID_IVirtualImageThreadManager;

struct IVirtualImageThreadManager : IUnknown {
  // Queues a request of a registered control (asserts) and resumes the
  // thread; the request's ticket, 0 when the manager has no thread.
  virtual uint32_t AddNewItem(TWinControl* control, UINT messageId, uint32_t param, void* data, uint8_t flag,
                              LPCITEMIDLIST pidl) = 0;
  // Drops every pending request of control, and the answers of messageId
  // waiting in its window's queue (freed, not handled: their tickets are void).
  virtual void ClearPendingItems(TWinControl* control, UINT messageId, IMalloc* malloc) = 0;
  // The same for the requests and waiting answers of control whose Data is data.
  virtual void ClearPendingItem(TWinControl* control, void* data, IMalloc* malloc, UINT messageId) = 0;
  // Makes the thread (suspended) when there is none.
  virtual void InitializeThread() = 0;
  // Queues at the front without resuming the thread; the ticket, or 0.
  virtual uint32_t AddNewItemDeferred(TWinControl* control, UINT messageId, uint32_t param, void* data,
                                      uint8_t flag, LPCITEMIDLIST pidl) = 0;
  // The locked request list (null without a thread; then do not unlock).
  virtual TList* LockThreadList() = 0;
  // Registers control with its current window and makes the thread.
  virtual void RegisterControl(TWinControl* control) = 0;
  virtual void ReleaseItem(TImageThreadRequest* request, IMalloc* malloc) = 0;
  // Priority level 0..6 of the thread (TVirtualThread::SetPriority), kept for later threads.
  virtual void SetThreadPriority(int priority) = 0;
  virtual void UnlockThreadList() = 0;
  // Removes control and everything pending for it; the last one stops the
  // thread (woken, then waited for on its handle).
  virtual void UnRegisterControl(TWinControl* control) = 0;
};

class TVirtualImageThreadManager : public IVirtualImageThreadManager {
public:
  TVirtualImageThreadManager() = default;
  virtual ~TVirtualImageThreadManager();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  uint32_t AddNewItem(TWinControl* control, UINT messageId, uint32_t param, void* data, uint8_t flag,
                      LPCITEMIDLIST pidl) override;
  void ClearPendingItems(TWinControl* control, UINT messageId, IMalloc* malloc) override;
  void ClearPendingItem(TWinControl* control, void* data, IMalloc* malloc, UINT messageId) override;
  void InitializeThread() override;
  uint32_t AddNewItemDeferred(TWinControl* control, UINT messageId, uint32_t param, void* data, uint8_t flag,
                              LPCITEMIDLIST pidl) override;
  TList* LockThreadList() override;
  void RegisterControl(TWinControl* control) override;
  void ReleaseItem(TImageThreadRequest* request, IMalloc* malloc) override;
  void SetThreadPriority(int priority) override;
  void UnlockThreadList() override;
  void UnRegisterControl(TWinControl* control) override;

  // The window to answer control at, null when control is not registered; takes the registration lock.
  HWND WindowOf(TWinControl* control);
  bool IsRegistered(TWinControl* control);
  // The thread, or null (for tests and the benchmark).
  TVirtualImageThread* Thread() const { return thread; }
  // Stops and frees the thread whatever is registered (the unit's finalisation).
  void Shutdown();

protected:
  virtual TVirtualImageThread* CreateThread();

private:
  struct Registration {
    TWinControl* control;
    HWND window;
    UINT messageId;  // of its answers (drained when it goes); 0 before its first request
  };
  // Asserts that control is registered and notes the message of its answers.
  void NoteRequester(TWinControl* control, UINT messageId);
  TImageThreadRequest* MakeRequest(TWinControl* control, UINT messageId, uint32_t param, void* data,
                                   uint8_t flag, LPCITEMIDLIST pidl);
  // Removes control's requests matching data (all with allData) and its waiting answers; under the list's lock.
  void DropPending(TWinControl* control, bool allData, void* data, UINT messageId, IMalloc* malloc);
  void StopThread();

  std::recursive_mutex registrationLock;
  std::vector<Registration> controls;
  TVirtualImageThread* thread = nullptr;  // owned
  int priority = 3;
  volatile LONG refCount = 1;  // the unit's reference
};

class TVirtualExpandMarkManager : public TVirtualImageThreadManager {
protected:
  TVirtualImageThread* CreateThread() override;
};

// The process-wide managers, made on first use and shut down at exit.
TVirtualImageThreadManager* ImageThreadManager();
TVirtualImageThreadManager* ExpandMarkThreadManager();
