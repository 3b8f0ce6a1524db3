// The dispatch thread: queues the changes the shell and kernel threads
// report, merges them (one folder update for a burst of creations, deletions
// and renames in it; duplicates dropped; the recycle folders reported as the
// Recycle Bin), and posts each batch to the notifier's window once the
// changes pause.
#include <algorithm>

#include "core/Exception.h"
#include "shell/ChangeNotifierThreads.h"

void TVirtualChangeDispatchThread::Create(TVirtualChangeNotifier* notifier_) {
  notifier = notifier_;
  InitLock();
  eventHandle = CreateEventW(nullptr, /*manualReset=*/TRUE, /*initialState=*/FALSE, nullptr);
  extraHandle = eventHandle;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (eventHandle == nullptr || stopEvent == nullptr) throw Exception("Cannot create the dispatch thread's events");
  // Built before the thread runs: AddEvent reads the list from other threads.
  BuildRecycleBinList();
  TVirtualThread::Create(/*createSuspended=*/true);
}

TVirtualChangeDispatchThread::~TVirtualChangeDispatchThread() {
  // The thread has ended (the base's BeforeDestruction waited for it).
  for (TVirtualShellEvent* event : pending.TakeAll()) {
    event->FreePIDLs();
    event->Free();
  }
  for (LPITEMIDLIST pidl : recycleBins) NotifierPIDLs()->FreePIDL(pidl);
  recycleBins.clear();
  if (stopEvent != nullptr) CloseHandle(stopEvent);
  stopEvent = nullptr;
}

void TVirtualChangeDispatchThread::Terminate() {
  TVirtualThread::Terminate();
  SetEvent(stopEvent);
  SetEvent(eventHandle);
}

void TVirtualChangeDispatchThread::BuildRecycleBinList() {
  LPITEMIDLIST bin = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &bin)) || bin == nullptr) return;
  recycleBins.push_back(bin);
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return;
  DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    wchar_t root[] = {wchar_t(L'A' + i), L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
    for (const wchar_t* folder : {L"Recycled", L"Recycler"}) {
      std::wstring path = std::wstring(root) + folder;
      LPITEMIDLIST pidl = nullptr;
      if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &pidl, nullptr)) &&
          pidl != nullptr) {
        recycleBins.push_back(pidl);
        break;
      }
    }
  }
  desktop->Release();
}

void TVirtualChangeDispatchThread::QueueUnlessPending(TShellEventKind kind, LPCITEMIDLIST pidl1,
                                                      LPCITEMIDLIST pidl2, uint32_t dword1, uint32_t dword2,
                                                      bool refreshParent, bool checkPending) {
  // The copies and the keys are made outside the lock (the name asks the
  // shell, and only when no exact copy waits); the full test and the
  // queueing happen under it as one step.
  auto* event = New<TVirtualShellEvent>(kind, pidl1, pidl2, dword1, dword2, refreshParent);
  TPendingEvents::Keys keys;
  keys.bytes = TPendingEvents::BytesKey(kind, pidl1, dword1, refreshParent);
  bool duplicate = false;
  if (checkPending) {
    EnterCriticalSection(&lock);
    duplicate = pending.WaitsExactly(kind, pidl1, dword1, keys.bytes, refreshParent);
    LeaveCriticalSection(&lock);
    if (!duplicate) keys.name = pending.NameKey(kind, pidl1, dword1, refreshParent);
  }
  EnterCriticalSection(&lock);
  // A report that the item is gone (refresh its parent) is no duplicate of an update of the item.
  if (checkPending && !duplicate) duplicate = pending.Waits(kind, pidl1, dword1, keys, refreshParent);
  if (!duplicate) {
    pending.Add(event, keys);
    SetEvent(eventHandle);
  }
  newEvent = true;
  LeaveCriticalSection(&lock);
  if (duplicate) {
    event->FreePIDLs();
    event->Free();
  }
}

void TVirtualChangeDispatchThread::AddEvent(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2,
                                            uint32_t dword1, uint32_t dword2, bool refreshParent) {
  if (!FilterEvents) {
    QueueUnlessPending(kind, pidl1, pidl2, dword1, dword2, refreshParent, /*checkPending=*/false);
    return;
  }
  TPIDLManager* pidls = NotifierPIDLs();
  switch (kind) {
    case sekRenameFolder:
    case sekRenameItem: {
      if (pidl1 == nullptr) return;
      LPITEMIDLIST parent1 = pidls->StripLastID(pidls->CopyPIDL(pidl1));
      LPITEMIDLIST parent2 = pidl2 != nullptr ? pidls->StripLastID(pidls->CopyPIDL(pidl2)) : nullptr;
      AddEvent(sekUpdateDir, parent1, nullptr, 0, 0, false);
      if (parent2 != nullptr && !vst::ILIsEqual(parent1, parent2)) AddEvent(sekUpdateDir, parent2, nullptr, 0, 0, false);
      pidls->FreePIDL(parent1);
      pidls->FreePIDL(parent2);
      return;
    }
    case sekCreate:
    case sekDelete:
    case sekMkDir:
    case sekRmDir: {
      if (pidl1 == nullptr) return;
      LPITEMIDLIST parent = pidls->StripLastID(pidls->CopyPIDL(pidl1));
      AddEvent(sekUpdateDir, parent, nullptr, 0, 0, false);
      pidls->FreePIDL(parent);
      return;
    }
    case sekUpdateDir:
      for (LPITEMIDLIST bin : recycleBins) {
        if (!vst::ILIsParent(bin, pidl1, false)) continue;
        // Inside a recycle folder: that folder and the Recycle Bin are what changed.
        QueueUnlessPending(sekUpdateDir, bin, nullptr, 0, 0, false, true);
        QueueUnlessPending(sekUpdateDir, recycleBins.front(), nullptr, 0, 0, false, true);
        return;
      }
      break;
    case sekUpdateItem:
      for (LPITEMIDLIST bin : recycleBins)
        if (vst::ILIsParent(bin, pidl1, false)) return;
      break;
    default:
      break;
  }
  QueueUnlessPending(kind, pidl1, pidl2, dword1, dword2, refreshParent, /*checkPending=*/true);
}

bool TVirtualChangeDispatchThread::WaitForQuiet() {
  DWORD start = GetTickCount();
  // The event that woke the thread starts the quiet period.
  EnterCriticalSection(&lock);
  newEvent = false;
  LeaveCriticalSection(&lock);
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kLongestDelayMs) return true;
    DWORD wait = std::min(kQuietPeriodMs, kLongestDelayMs - elapsed);
    if (WaitForSingleObject(stopEvent, wait) == WAIT_OBJECT_0) return false;
    EnterCriticalSection(&lock);
    bool fresh = newEvent;
    newEvent = false;
    LeaveCriticalSection(&lock);
    if (!fresh) return true;
  }
}

void TVirtualChangeDispatchThread::PostBatch() {
  EnterCriticalSection(&lock);
  ResetEvent(eventHandle);
  std::vector<TVirtualShellEvent*> batch = pending.TakeAll();
  newEvent = false;
  LeaveCriticalSection(&lock);
  if (batch.empty()) return;
  auto* list = New<TVirtualShellEventList>();
  TList* events = list->LockList();
  events->SetCapacity(static_cast<int>(batch.size()));
  for (TVirtualShellEvent* event : batch) events->Add(event);
  list->UnlockList();
  list->SetRefCount(1);
  HWND target = notifier->Window();
  if (target == nullptr || !PostMessageW(target, kWMShellNotify, reinterpret_cast<WPARAM>(list), 0)) list->Release();
}

void TVirtualChangeDispatchThread::Execute() {
  HRESULT ole = OleInitialize(nullptr);
  HANDLE waits[2] = {eventHandle, stopEvent};
  while (!Terminated()) {
    WaitForMultipleObjects(2, waits, /*waitAll=*/FALSE, INFINITE);
    if (Terminated()) break;
    if (!WaitForQuiet()) break;
    PostBatch();
  }
  if (SUCCEEDED(ole)) OleUninitialize();
}
