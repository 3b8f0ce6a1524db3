#pragma once
// Shell change notification: background threads collect what changes in the
// shell namespace and the file system, merge bursts, and hand the registered
// controls batches of events (TVirtualShellEventList) on the main thread as
// the message kWMShellNotify (WParam the list; the receiver owns one
// reference and calls Release).
//
// Threads: the shell thread listens to the shell through a hidden window; the
// kernel thread waits on directory change handles; the dispatch thread queues
// the events of both, waits for a quiet period (750 ms without a new event,
// never more than 2 s after the first) and posts the batch to the notifier's
// window, which passes it to every registered control. A thread exists while
// a control needs it.
//
// TShellNotifyManager holds back batches while some registered view is busy
// (editing a label, dragging, showing a menu) and delivers them later, in the
// order they were made.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Lists.h"
#include "shell/VirtualPIDLTools.h"
#include "win/Controls.h"

// Private messages of the notifier.
constexpr UINT kWMShellNotify = 0x8033;       // a batch: WParam the TVirtualShellEventList, LParam 0
constexpr UINT kWMShellThreadQuit = 0x8036;   // thread message: the shell thread ends its loop
constexpr UINT kWMShellNotifyNew = 0x8037;    // the shell's new delivery: lock handle, process id
constexpr UINT kWMShellNotifyOld = 0x8038;    // the shell's old delivery: the two PIDLs, event code
constexpr UINT kWMPostShellNotify = 0x803C;   // PostShellNotify: a TPostedShellNotify (owned), event code

// The kinds of shell events, in a fixed order (views switch on the ordinal).
enum TShellEventKind : uint8_t {
  sekAssocChanged, sekAttributes, sekCreate, sekDelete, sekDriveAdd, sekDriveAddGUI, sekDriveRemoved,
  sekFreeSpace, sekMediaInserted, sekMediaRemoved, sekMkDir, sekNetShare, sekNetUnshare, sekRenameFolder,
  sekRenameItem, sekRmDir, sekServerDisconnect, sekUpdateDir, sekUpdateImage, sekUpdateItem
};
constexpr int kShellEventKindCount = 20;
extern const char16_t* const ShellEventKindNames[kShellEventKindCount];
// The kind of a single SHCNE_ code; false for combinations, the high bit and unknown codes.
bool ShellEventKindOf(LONG eventCode, TShellEventKind& kind);
// The SHCNE_ code of a kind.
LONG ShellEventCodeOf(TShellEventKind kind);

// One change. PIDLs are absolute copies owned by the event's list (null when
// the notification carried none); the parents are the same without their last ID.
class TVirtualShellEvent : public TObject {
public:
  // Copies pidl1 and pidl2 (either may be null).
  void Create(TShellEventKind kind_, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, uint32_t dword1, uint32_t dword2,
              bool refreshParent);
  ~TVirtualShellEvent() override;
  // Frees the four PIDLs (the list does this when it is freed).
  void FreePIDLs();

  uint32_t DWordItem1 = 0;  // sekUpdateImage, sekFreeSpace: the values the shell packs into PIDL1
  uint32_t DWordItem2 = 0;
  bool FreePIDLsOnDestroy = false;
  bool RefreshParent = false;  // the item is gone: refresh its parent instead
  LPITEMIDLIST PIDL1 = nullptr;
  LPITEMIDLIST PIDL2 = nullptr;
  LPITEMIDLIST ParentPIDL1 = nullptr;
  LPITEMIDLIST ParentPIDL2 = nullptr;
  TShellEventKind Kind = sekUpdateDir;
  bool Handled = false;  // set by a view's own handler: the view skips its default handling
};

// A locked list with a reference count; the last Release frees it (on any thread).
class TVirtualReferenceCountedList : public TThreadList {
public:
  ~TVirtualReferenceCountedList() override;
  LONG AddRef(LONG count = 1) { return InterlockedExchangeAdd(&refCount, count) + count; }
  // Drops one reference; frees the list when none is left. Returns the count left.
  LONG Release();
  LONG RefCount() const { return refCount; }
  void SetRefCount(LONG value) { InterlockedExchange(&refCount, value); }
  // Frees what the list holds.
  virtual void Clear();

private:
  volatile LONG refCount = 0;
};

class TVirtualShellEventList : public TVirtualReferenceCountedList {
public:
  TVirtualShellEventList();
  ~TVirtualShellEventList() override;
  // Frees every event with its PIDLs.
  void Clear() override;
  uint32_t ID = 0;  // sequence number given by the notifier
  // The events under the lock, in order (a copy of the pointers).
  std::vector<TVirtualShellEvent*> Events();
};

// Event lists alive in the process (a list that outlives every view it went to is a leak).
int ShellEventListsAlive();
// Notifications PostShellNotify queued and the shell thread has not freed yet
// (one that outlives the shell thread is a leak).
int PostedShellNotifiesAlive();

// Removes the events made redundant by another event in the list: a PIDL1
// equal to an earlier one's or lying under another's. Freed entries are packed out.
void PruneEventList(TList* list);

// What a control registered for notifications asked for.
class TVirtualChangeControl : public TObject {
public:
  bool ShellRegistered = false;
  bool KernelRegistered = false;
  TWinControl* Control = nullptr;  // not owned
  std::u16string WatchFolder;      // the folder the kernel thread watches for this control
  uint8_t NotifyFilter = 0;        // kernel filter bits 0-7
};

// Bits of the kernel filter: names, directory names, attributes, size, last write, last access, creation, security.
enum TVirtualKernelNotifyFilter : uint8_t {
  knfFileName = 0x01, knfDirName = 0x02, knfAttributes = 0x04, knfSize = 0x08, knfLastWrite = 0x10,
  knfLastAccess = 0x20, knfCreation = 0x40, knfSecurity = 0x80
};
// FILE_NOTIFY_CHANGE_ flags of the filter bits (bits 5-7 only on NT).
DWORD KernelNotifyFilterToFlags(uint8_t filter, bool winNT);

class IVirtualChangeNotifier {
public:
  virtual ~IVirtualChangeNotifier() = default;
  // Queues an event straight into the dispatch thread (made on demand; on the
  // thread that registers controls, as the threads are made there).
  virtual void PostEvent(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2 = nullptr) = 0;
  virtual bool FilterEvents() = 0;
  virtual bool MapPersonalFolder() = 0;
  // Locks the list of TVirtualChangeControl records; pair with UnlockControlList.
  virtual TList* LockControlList() = 0;
  // Gives a kernel-registered control a new folder to watch; false when the control has no record.
  virtual bool ChangeWatchFolder(TWinControl* control, const std::u16string& folder) = 0;
  // Hands a change to the shell thread as if the shell had reported it (nothing without a shell thread).
  virtual void PostShellNotify(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) = 0;
  virtual bool RegisterKernelChangeNotify(TWinControl* control, uint8_t notifyFilter) = 0;
  // Watches a special folder (CSIDL); needs a kernel registration.
  virtual void RegisterSpecialFolderWatch(int csidl) = 0;
  virtual bool RegisterShellChangeNotify(TWinControl* control) = 0;
  virtual void SetFilterEvents(bool value) = 0;
  virtual void SetMapPersonalFolder(bool value) = 0;
  virtual void UnlockControlList() = 0;
  virtual bool UnRegisterKernelChangeNotify(TWinControl* control) = 0;
  virtual bool UnRegisterShellChangeNotify(TWinControl* control) = 0;
  virtual bool UnRegisterChangeNotify(TWinControl* control) = 0;
  virtual void UnRegisterAll() = 0;
};

// The process's notifier, made by the first call; null once the shell toolkit has shut down.
IVirtualChangeNotifier* ChangeNotifier();
// The notifier when it was made already, else null (never makes it).
IVirtualChangeNotifier* ExistingChangeNotifier();
// Stops the notifier's threads and frees it; batches its window had not
// handled yet are released. The next ChangeNotifier makes a new one.
void FinalizeNotifier();
// True while the notifier runs the thread of that kind (0 kernel, 1 shell, 2 dispatch).
bool ChangeNotifierThreadRunning(int which);

// A view that takes part in held-back delivery.
class IShellNotifyTarget {
public:
  virtual ~IShellNotifyTarget() = default;
  // False while the view is busy (a batch would disturb it).
  virtual bool ReadyForNotify() = 0;
  // Handles a batch (Msg kWMShellNotify, WParam the list; one reference is the view's).
  virtual void Notify(TMessage& message) = 0;
};

class TShellNotifyManager : public TObject {
public:
  ~TShellNotifyManager() override;
  void RegisterExplorerWnd(TWinControl* window);
  void UnRegisterExplorerWnd(TWinControl* window);
  // True when every registered view is ready; false with none registered.
  bool OkToDispatch();
  // Keeps list (taking over one reference) for a later delivery; a list with
  // the same ID kept already drops the reference. Starts the delivery timer.
  void ReceiveNotifications(TVirtualShellEventList* list);
  // True while batches wait; a newer batch must then wait behind them.
  bool HasParkedLists();
  // Delivers the parked batches, oldest first, when every view is ready (the timer's work).
  void DeliverParked();
  // True while DeliverParked hands batches out: a batch arriving meanwhile
  // (a view pumps messages) must wait behind those not yet handed out.
  bool Delivering() const { return delivering; }

private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);
  TThreadList pendingLists;  // TVirtualShellEventList*, one reference each
  TThreadList windows;       // TWinControl*
  UINT_PTR timerID = 0;
  bool delivering = false;
};

// Made at start-up of the shell toolkit, freed at its shut-down.
extern TShellNotifyManager* ShellNotifyManager;
// Makes ShellNotifyManager when absent (the toolkit's start-up calls it).
void InitializeShellNotifications();
// Stops every notifier thread and frees the notifier and the manager.
void FinalizeShellNotifications();
