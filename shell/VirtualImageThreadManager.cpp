// The icon and expand-mark managers: registered controls and their windows,
// queuing and dropping requests, and the lifetime of the threads.
#include <algorithm>
#include <atomic>

#include "core/Exception.h"
#include "shell/VirtualImageThread.h"
#include "win/Controls.h"

const GUID IID_IVirtualImageThreadManager = {
    0xFF9A6395, 0x285D, 0x400F, {0xAC, 0x48, 0x29, 0xD9, 0xA5, 0xDF, 0x40, 0x5A}};

namespace {

std::atomic<uint32_t> gLastTicket{0};

uint32_t NewTicket() {
  uint32_t ticket = ++gLastTicket;
  return ticket != 0 ? ticket : ++gLastTicket;
}

void Assert(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(message);
}

// The managers live from first use to static finalisation, which stops
// threads that a control left running.
struct ManagerLifetime {
  TVirtualImageThreadManager* images = nullptr;
  TVirtualImageThreadManager* expandMarks = nullptr;
  ~ManagerLifetime() {
    for (TVirtualImageThreadManager* manager : {images, expandMarks}) {
      if (manager == nullptr) continue;
      manager->Shutdown();
      manager->Release();
    }
  }
} gManagers;

}  // namespace

TVirtualImageThreadManager* ImageThreadManager() {
  if (gManagers.images == nullptr) gManagers.images = new TVirtualImageThreadManager;
  return gManagers.images;
}

TVirtualImageThreadManager* ExpandMarkThreadManager() {
  if (gManagers.expandMarks == nullptr) gManagers.expandMarks = new TVirtualExpandMarkManager;
  return gManagers.expandMarks;
}

TVirtualImageThreadManager::~TVirtualImageThreadManager() { Shutdown(); }

HRESULT STDMETHODCALLTYPE TVirtualImageThreadManager::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IVirtualImageThreadManager)) {
    *object = static_cast<IVirtualImageThreadManager*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TVirtualImageThreadManager::AddRef() { return InterlockedIncrement(&refCount); }

ULONG STDMETHODCALLTYPE TVirtualImageThreadManager::Release() {
  LONG count = InterlockedDecrement(&refCount);
  if (count == 0) delete this;
  return count;
}

TVirtualImageThread* TVirtualImageThreadManager::CreateThread() { return New<TVirtualImageThread>(this); }

TVirtualImageThread* TVirtualExpandMarkManager::CreateThread() { return New<TVirtualExpandMarkThread>(this); }

// ---- Registration ----------------------------------------------------------------------

void TVirtualImageThreadManager::RegisterControl(TWinControl* control) {
  {
    std::lock_guard<std::recursive_mutex> guard(registrationLock);
    HWND window = control->HandleAllocated() ? control->Handle() : nullptr;
    auto at = std::find_if(controls.begin(), controls.end(), [&](const Registration& r) { return r.control == control; });
    if (at != controls.end())
      at->window = window;
    else
      controls.push_back({control, window, 0});
  }
  InitializeThread();
}

void TVirtualImageThreadManager::UnRegisterControl(TWinControl* control) {
  Registration gone{};
  bool last = false;
  {
    std::lock_guard<std::recursive_mutex> guard(registrationLock);
    auto at = std::find_if(controls.begin(), controls.end(), [&](const Registration& r) { return r.control == control; });
    if (at == controls.end()) return;
    gone = *at;
    controls.erase(at);
    last = controls.empty();
  }
  // From here on the thread finds no window for control. It looks under the
  // request list's lock, so once we hold that lock everything it posted to
  // control is in the window's queue.
  DropPending(control, /*allData=*/true, nullptr, 0, nullptr);
  if (thread != nullptr) {
    TList* list = thread->LockRequests();
    (void)list;
    if (gone.window != nullptr && gone.messageId != 0 && IsWindow(gone.window)) {
      MSG msg;
      while (PeekMessageW(&msg, gone.window, gone.messageId, gone.messageId, PM_REMOVE | PM_NOYIELD))
        TVirtualImageThread::ReleaseItem(reinterpret_cast<TImageThreadRequest*>(msg.wParam), nullptr);
    }
    thread->UnlockRequests();
  }
  if (last) StopThread();
}

HWND TVirtualImageThreadManager::WindowOf(TWinControl* control) {
  std::lock_guard<std::recursive_mutex> guard(registrationLock);
  for (const Registration& r : controls)
    if (r.control == control) return r.window;
  return nullptr;
}

void TVirtualImageThreadManager::NoteRequester(TWinControl* control, UINT messageId) {
  std::lock_guard<std::recursive_mutex> guard(registrationLock);
  auto at = std::find_if(controls.begin(), controls.end(), [&](const Registration& r) { return r.control == control; });
  Assert(at != controls.end(), "Trying to add Image Thread Item to a unregistered control");
  at->messageId = messageId;
}

bool TVirtualImageThreadManager::IsRegistered(TWinControl* control) {
  std::lock_guard<std::recursive_mutex> guard(registrationLock);
  return std::any_of(controls.begin(), controls.end(), [&](const Registration& r) { return r.control == control; });
}

// ---- The thread --------------------------------------------------------------------------

void TVirtualImageThreadManager::InitializeThread() {
  if (thread != nullptr) return;
  thread = CreateThread();
  thread->SetPriority(priority);
}

void TVirtualImageThreadManager::SetThreadPriority(int value) {
  priority = value;
  if (thread != nullptr) thread->SetPriority(value);
}

void TVirtualImageThreadManager::StopThread() {
  if (thread == nullptr) return;
  TVirtualImageThread* doomed = thread;
  thread = nullptr;
  doomed->SetPriority(3);
  // Wakes it and waits on its handle: it ends after the request it serves.
  doomed->TerminateAndWait();
  doomed->Free();
}

void TVirtualImageThreadManager::Shutdown() {
  {
    std::lock_guard<std::recursive_mutex> guard(registrationLock);
    controls.clear();
  }
  StopThread();
}

// ---- Requests -------------------------------------------------------------------------

TImageThreadRequest* TVirtualImageThreadManager::MakeRequest(TWinControl* control, UINT messageId, uint32_t param,
                                                             void* data, uint8_t flag, LPCITEMIDLIST pidl) {
  auto* request = new TImageThreadRequest;
  request->PIDL = pidl != nullptr ? ILClone(pidl) : nullptr;
  request->Flag = flag;
  request->Control = control;
  request->Data = data;
  request->Param = param;
  request->MessageId = messageId;
  request->Ticket = NewTicket();
  return request;
}

uint32_t TVirtualImageThreadManager::AddNewItem(TWinControl* control, UINT messageId, uint32_t param, void* data,
                                                uint8_t flag, LPCITEMIDLIST pidl) {
  if (thread == nullptr) return 0;
  thread->SetSuspended(false);
  NoteRequester(control, messageId);
  TImageThreadRequest* request = MakeRequest(control, messageId, param, data, flag, pidl);
  uint32_t ticket = request->Ticket;
  thread->AddNewItem(request);
  return ticket;
}

uint32_t TVirtualImageThreadManager::AddNewItemDeferred(TWinControl* control, UINT messageId, uint32_t param,
                                                        void* data, uint8_t flag, LPCITEMIDLIST pidl) {
  if (thread == nullptr) return 0;
  NoteRequester(control, messageId);
  TImageThreadRequest* request = MakeRequest(control, messageId, param, data, flag, pidl);
  uint32_t ticket = request->Ticket;
  thread->AddNewItemDeferred(request);
  return ticket;
}

void TVirtualImageThreadManager::ClearPendingItems(TWinControl* control, UINT messageId, IMalloc* malloc) {
  Assert(IsRegistered(control), "Trying to clear pending Image Thead Items from an unregistered control");
  DropPending(control, /*allData=*/true, nullptr, messageId, malloc);
}

void TVirtualImageThreadManager::ClearPendingItem(TWinControl* control, void* data, IMalloc* malloc,
                                                  UINT messageId) {
  Assert(IsRegistered(control), "Trying to clear pending Image Thead Items from an unregistered control");
  DropPending(control, /*allData=*/false, data, messageId, malloc);
}

void TVirtualImageThreadManager::DropPending(TWinControl* control, bool allData, void* data, UINT messageId,
                                             IMalloc* malloc) {
  if (thread == nullptr) return;
  TList* list = thread->LockRequests();
  for (int i = list->Count() - 1; i >= 0; --i) {
    auto* request = static_cast<TImageThreadRequest*>(list->Items(i));
    if (request->Control != control || (!allData && request->Data != data)) continue;
    list->Delete(i);
    TVirtualImageThread::ReleaseItem(request, malloc);
  }
  thread->UnlockRequests();
  // Answers already posted stay queued: their tickets no longer match, so the
  // control frees them unapplied when they arrive (handling them here would
  // re-enter the control while it frees nodes).
  (void)messageId;
}

TList* TVirtualImageThreadManager::LockThreadList() {
  return thread != nullptr ? thread->LockRequests() : nullptr;
}

void TVirtualImageThreadManager::UnlockThreadList() {
  if (thread != nullptr) thread->UnlockRequests();
}

void TVirtualImageThreadManager::ReleaseItem(TImageThreadRequest* request, IMalloc* malloc) {
  TVirtualImageThread::ReleaseItem(request, malloc);
}
