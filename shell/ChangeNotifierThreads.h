#pragma once
// Inside the change notifier: its three threads and the notifier object
// (private to ShellEvents, ChangeDispatchThread, ShellChangeThread,
// KernelChangeThread and ChangeNotifier).
#include <atomic>
#include <vector>

#include "shell/PendingEvents.h"
#include "shell/ShellNotifier.h"
#include "shell/VirtualThread.h"
#include "shell/WideStringList.h"

class TVirtualChangeNotifier;

// The manager every notifier thread copies and frees its PIDLs with.
TPIDLManager* NotifierPIDLs();
// The desktop's parse of a path (any thread); null when it fails.
LPITEMIDLIST ParseFolderPath(const std::u16string& path);

// What PostShellNotify queues for the shell thread's window: copies of the
// two PIDLs (either may be null), freed with the record.
struct TPostedShellNotify {
  TPostedShellNotify(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  ~TPostedShellNotify();
  TPostedShellNotify(const TPostedShellNotify&) = delete;
  TPostedShellNotify& operator=(const TPostedShellNotify&) = delete;
  LPITEMIDLIST PIDL1 = nullptr;
  LPITEMIDLIST PIDL2 = nullptr;
};

// Queue, merging and hand-over. AddEvent runs on the threads that report
// changes; Execute waits for a quiet period and posts the batch to the notifier's window.
class TVirtualChangeDispatchThread : public TVirtualThread {
public:
  static constexpr DWORD kQuietPeriodMs = 750;
  // A change that goes on and on still reaches the views this long after its first event.
  static constexpr DWORD kLongestDelayMs = 2000;

  // Made suspended; builds the recycle-bin list on the calling thread.
  void Create(TVirtualChangeNotifier* notifier_);
  ~TVirtualChangeDispatchThread() override;
  void Terminate() override;
  // Queues a change after merging (see FilterEvents); PIDLs are copied.
  void AddEvent(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, uint32_t dword1, uint32_t dword2,
                bool refreshParent);
  std::atomic<bool> FilterEvents{true};

protected:
  void Execute() override;

private:
  void BuildRecycleBinList();
  // Queues unless a like event waits (checked under the same lock).
  void QueueUnlessPending(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, uint32_t dword1,
                          uint32_t dword2, bool refreshParent, bool checkPending);
  // Waits out the quiet period; false when the thread was stopped meanwhile.
  bool WaitForQuiet();
  void PostBatch();

  TVirtualChangeNotifier* notifier = nullptr;  // not owned
  HANDLE eventHandle = nullptr;                // set while events wait (manual reset)
  HANDLE stopEvent = nullptr;
  TPendingEvents pending;                      // under lock
  bool newEvent = false;                       // under lock
  std::vector<LPITEMIDLIST> recycleBins;       // the Recycle Bin first, then the drives' recycle folders
};

// Listens to the shell through a hidden window.
class TVirtualShellChangeThread : public TVirtualThread {
public:
  void Create(TVirtualChangeNotifier* notifier_);
  ~TVirtualShellChangeThread() override;
  // Waits until the window exists and the shell registration was tried (or the thread ended).
  void WaitUntilListening();
  HWND Window() const { return window; }
  std::atomic<bool> MapPersonalFolder{true};

protected:
  void Execute() override;

private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT NotifyWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Translate(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  // Windows 9x: an item under the personal folder is also reported under My Documents.
  void TranslateMappedPersonal(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  bool CreateNotifyWindow();
  void RegisterWithShell();
  // Frees the notifications still queued for the window (its end would drop them unfreed).
  void ReleaseQueuedNotifications();

  TVirtualChangeNotifier* notifier = nullptr;  // not owned
  std::atomic<HWND> window{nullptr};
  HANDLE readyEvent = nullptr;
  ULONG registrationID = 0;
  bool classRegistered = false;
  LPITEMIDLIST personalPIDL = nullptr;    // Windows 9x only
  LPITEMIDLIST myDocumentsPIDL = nullptr;  // Windows 9x only
};

// A watched folder's item, asked whether it still exists.
struct TChangeNamespace {
  LPITEMIDLIST absolutePIDL = nullptr;  // owned
  IShellFolder* parentFolder = nullptr;  // owned reference, or null
  LPCITEMIDLIST relativePIDL = nullptr;  // inside absolutePIDL
  // Takes pidl over.
  explicit TChangeNamespace(LPITEMIDLIST pidl);
  ~TChangeNamespace();
  TChangeNamespace(const TChangeNamespace&) = delete;
  TChangeNamespace& operator=(const TChangeNamespace&) = delete;
  bool Exists() const;
};

// Waits on directory change handles of the watched special folders and of
// the kernel-registered controls' watch folders.
class TVirtualKernelChangeThread : public TVirtualThread {
public:
  void Create(TVirtualChangeNotifier* notifier_);
  ~TVirtualKernelChangeThread() override;
  void Terminate() override;
  // Rebuild the watch list (a registration or a watch folder changed).
  void Wake() { SetEvent(eventHandle); }
  // Under the notifier's lock: a special folder's path, file-system PIDL and namespace PIDL (all taken over).
  void AddSpecialFolder(const std::u16string& path, LPITEMIDLIST fileSystemPIDL, LPITEMIDLIST namespacePIDL);
  // How many times the watch list was built (tests wait for a new one).
  LONG WatchGeneration() const { return watchGeneration; }

protected:
  void Execute() override;

private:
  struct Watch {
    HANDLE change;
    TChangeNamespace* ns;
  };
  void BuildWatchList(std::vector<Watch>& watches, bool& anyRegistered);
  void Signalled(std::vector<Watch>& watches, size_t index);

  TVirtualChangeNotifier* notifier = nullptr;  // not owned
  HANDLE eventHandle = nullptr;
  TPIDLList specialNamespacePIDLs;    // under the notifier's lock
  TPIDLList specialFileSystemPIDLs;   // under the notifier's lock
  std::vector<std::u16string> specialPaths;  // under the notifier's lock
  volatile LONG watchGeneration = 0;
};

class TVirtualChangeNotifier : public TObject, public IVirtualChangeNotifier {
public:
  void Create();
  ~TVirtualChangeNotifier() override;

  void PostEvent(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) override;
  bool FilterEvents() override;
  bool MapPersonalFolder() override;
  TList* LockControlList() override { return controls.LockList(); }
  bool ChangeWatchFolder(TWinControl* control, const std::u16string& folder) override;
  void PostShellNotify(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) override;
  bool RegisterKernelChangeNotify(TWinControl* control, uint8_t notifyFilter) override;
  void RegisterSpecialFolderWatch(int csidl) override;
  bool RegisterShellChangeNotify(TWinControl* control) override;
  void SetFilterEvents(bool value) override;
  void SetMapPersonalFolder(bool value) override;
  void UnlockControlList() override { controls.UnlockList(); }
  bool UnRegisterKernelChangeNotify(TWinControl* control) override;
  bool UnRegisterShellChangeNotify(TWinControl* control) override;
  bool UnRegisterChangeNotify(TWinControl* control) override;
  void UnRegisterAll() override;

  // Stops every thread whatever its references (shut-down).
  void StopAllThreads();
  HWND Window() const { return window; }
  TVirtualChangeDispatchThread* DispatchThread() const { return dispatchThread; }
  TVirtualKernelChangeThread* KernelThread() const { return kernelThread; }
  TVirtualShellChangeThread* ShellThread() const { return shellThread; }
  // Guards the kernel thread's watch data (taken before the control list's lock).
  CRITICAL_SECTION lock{};

private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // A batch from the dispatch thread: one reference for every control it is posted to.
  void DeliverBatch(TVirtualShellEventList* list);
  TVirtualChangeControl* FindRecordLocked(TList* list, TWinControl* control) const;
  // The control's record, made when it has none.
  TVirtualChangeControl* NeedRecordLocked(TList* list, TWinControl* control);
  TVirtualChangeDispatchThread* NeedDispatchThread();
  TVirtualKernelChangeThread* NeedKernelThread();
  TVirtualShellChangeThread* NeedShellThread();
  void StopUnusedThreads();
  void StopKernelThread();
  void StopShellThread();
  void StopDispatchThread();

  TThreadList controls;  // TVirtualChangeControl*, owned
  TVirtualKernelChangeThread* kernelThread = nullptr;
  TVirtualShellChangeThread* shellThread = nullptr;
  TVirtualChangeDispatchThread* dispatchThread = nullptr;
  HWND window = nullptr;
  uint32_t listCounter = 0;
  bool filterEvents = true;
  bool mapPersonalFolder = true;
};
