// The icon and expand-mark threads: serving requests and posting answers.
#include "shell/VirtualImageThread.h"

#include "core/Exception.h"
#include "shell/Namespace.h"

namespace {

LPITEMIDLIST CopyWith(IMalloc* malloc, LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return nullptr;
  UINT size = ILGetSize(pidl);
  auto* copy = static_cast<LPITEMIDLIST>(malloc != nullptr ? malloc->Alloc(size) : CoTaskMemAlloc(size));
  if (copy != nullptr) memcpy(copy, pidl, size);
  return copy;
}

void FreeWith(IMalloc* malloc, void* memory) {
  if (memory == nullptr) return;
  if (malloc != nullptr)
    malloc->Free(memory);
  else
    CoTaskMemFree(memory);
}

bool SameBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (a == nullptr || b == nullptr) return false;
  UINT size = ILGetSize(a);
  return size == ILGetSize(b) && memcmp(a, b, size) == 0;
}

// Tries to post up to 21 times, 1 ms apart (a full message queue empties).
bool PostAnswer(HWND window, TImageThreadRequest* request) {
  for (int attempt = 0; attempt <= 20; ++attempt) {
    if (PostMessageW(window, request->MessageId, reinterpret_cast<WPARAM>(request), 0)) return true;
    if (!IsWindow(window)) return false;
    Sleep(1);
  }
  return false;
}

}  // namespace

void TVirtualImageThread::Create(TVirtualImageThreadManager* manager_) {
  manager = manager_;
  event = CreateEventW(nullptr, /*manualReset=*/TRUE, /*initialState=*/FALSE, nullptr);
  if (event == nullptr) throw Exception("Cannot create the image thread's event");
  extraHandle = event;
  InitLock();
  TVirtualThread::Create(/*createSuspended=*/true);
}

TList* TVirtualImageThread::LockRequests() {
  EnterCriticalSection(&lock);
  return &requests;
}

void TVirtualImageThread::UnlockRequests() { LeaveCriticalSection(&lock); }

TVirtualImageThread::~TVirtualImageThread() {
  TList* list = LockRequests();
  for (int i = 0; i < list->Count(); ++i) ReleaseItem(static_cast<TImageThreadRequest*>(list->Items(i)), nullptr);
  list->Clear();
  UnlockRequests();
}

void TVirtualImageThread::Terminate() {
  TVirtualThread::Terminate();
  if (event != nullptr) SetEvent(event);
}

void TVirtualImageThread::AddNewItem(TImageThreadRequest* request) {
  TList* list = LockRequests();
  list->Add(request);
  SetEvent(event);
  UnlockRequests();
}

void TVirtualImageThread::AddNewItemDeferred(TImageThreadRequest* request) {
  TList* list = LockRequests();
  list->Insert(0, request);
  SetEvent(event);
  UnlockRequests();
}

void TVirtualImageThread::ReleaseItem(TImageThreadRequest* request, IMalloc* malloc) {
  if (request == nullptr) return;
  FreeWith(malloc, request->PIDL);
  delete request;
}

void TVirtualImageThread::Execute() {
  HRESULT com = CoInitialize(nullptr);
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc))) malloc = nullptr;
  while (!Terminated()) {
    WaitForSingleObject(event, INFINITE);
    if (Terminated()) break;
    ServeOne(malloc);
  }
  ReleaseCaches();
  if (malloc != nullptr) malloc->Release();
  if (SUCCEEDED(com)) CoUninitialize();
}

bool TVirtualImageThread::ServeOne(IMalloc* malloc) {
  TList* list = LockRequests();
  if (list->Count() == 0) {
    ResetEvent(event);
    UnlockRequests();
    return false;
  }
  auto* request = static_cast<TImageThreadRequest*>(list->Last());
  TImageThreadRequest work = *request;
  work.PIDL = CopyWith(malloc, request->PIDL);
  UnlockRequests();

  try {
    ExtractInfo(work);
  } catch (...) {
    // A failing shell call answers like a missing item: the placeholder stays.
    work.ImageIndex = 0;
    work.HasChildren = 0;
  }

  list = LockRequests();
  FreeWith(malloc, work.PIDL);
  work.PIDL = nullptr;
  // The same record, not a new one at a freed one's address: compare the ticket too.
  int index = list->Count() > 0 && list->Last() == request ? list->Count() - 1 : list->IndexOf(request);
  if (index >= 0 && request->Ticket == work.Ticket) {
    BeforeWriteBack(work);
    request->ImageIndex = work.ImageIndex;
    request->Flag = work.Flag;
    request->Data = work.Data;
    request->HasChildren = work.HasChildren;
    request->Param = work.Param;
    list->Delete(index);
    Deliver(request, malloc);
  } else {
    RequestDropped(work);
  }
  UnlockRequests();
  return true;
}

void TVirtualImageThread::Deliver(TImageThreadRequest* request, IMalloc* malloc) {
  // Read now, under the lock that unregistering takes: a control that has
  // gone, or whose window has, is never posted to.
  HWND window = manager != nullptr ? manager->WindowOf(request->Control) : nullptr;
  if (window == nullptr || !PostAnswer(window, request)) ReleaseItem(request, malloc);
}

void TVirtualImageThread::ExtractInfo(TImageThreadRequest& request) {
  request.ImageIndex = 0;
  if (request.PIDL == nullptr) return;
  LPITEMIDLIST parent = ILClone(request.PIDL);
  if (parent == nullptr) return;
  ILRemoveLastID(parent);
  LPCITEMIDLIST last = ILFindLastID(request.PIDL);
  // Compared by bytes: the shell's own equality test parses both (a folder
  // scan per request); a folder met under other bytes is only bound again.
  if (!SameBytes(cachedParent, parent)) {
    ReleaseCaches();
    cachedParent = parent;
    parent = nullptr;
    IShellFolder* desktop = nullptr;
    IShellFolder* folder = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != nullptr) {
      if (cachedParent->mkid.cb == 0) {
        folder = desktop;
        folder->AddRef();
      } else if (FAILED(desktop->BindToObject(cachedParent, nullptr, IID_IShellFolder,
                                              reinterpret_cast<void**>(&folder)))) {
        folder = nullptr;
      }
      desktop->Release();
    }
    if (folder != nullptr) {
      if (FAILED(folder->QueryInterface(IID_IShellIcon, reinterpret_cast<void**>(&cachedShellIcon))))
        cachedShellIcon = nullptr;
      folder->Release();
    }
  }
  if (parent != nullptr) ILFree(parent);
  if ((request.Param & kIconParamOpen) == 0) {
    request.ImageIndex = IconOf(request.PIDL, last, 0, /*anySuccess=*/false);
    return;
  }
  // The open icon as the item itself looks it up (TNamespace::GetIconIndex):
  // one the shell does not know (0) is the closed one.
  request.ImageIndex = IconOf(request.PIDL, last, GIL_OPENICON, /*anySuccess=*/true);
  if (request.ImageIndex == 0) request.ImageIndex = IconOf(request.PIDL, last, 0, /*anySuccess=*/true);
}

int TVirtualImageThread::IconOf(LPCITEMIDLIST pidl, LPCITEMIDLIST last, UINT gil, bool anySuccess) {
  int index = 0;
  if (cachedShellIcon != nullptr) {
    HRESULT hr = cachedShellIcon->GetIconOf(last, gil, &index);
    if (hr == S_OK || (anySuccess && SUCCEEDED(hr))) return index;
  }
  bool open = (gil & GIL_OPENICON) != 0;
  SHFILEINFOW info{};
  UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0);
  if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof(info), flags) == 0) return 0;
  return info.iIcon;
}

void TVirtualImageThread::ReleaseCaches() {
  if (cachedShellIcon != nullptr) cachedShellIcon->Release();
  cachedShellIcon = nullptr;
  if (cachedParent != nullptr) ILFree(cachedParent);
  cachedParent = nullptr;
}

// ---- Expand marks ---------------------------------------------------------------------

void TVirtualExpandMarkThread::AddNewItem(TImageThreadRequest* request) { AddNewItemDeferred(request); }

void TVirtualExpandMarkThread::ExtractInfo(TImageThreadRequest& request) {
  request.HasChildren = 0;
  if (request.PIDL == nullptr) return;
  // A namespace of this thread's own (its folders are bound here, not shared).
  TNamespace* ns = New<TNamespace>(ILClone(request.PIDL), static_cast<TNamespace*>(nullptr));
  try {
    request.HasChildren = ns->SubFoldersEx(request.Param) ? 1 : 0;
  } catch (...) {
    ns->Free();
    throw;
  }
  ns->Free();
}
