// The notifier: registrations of controls, the threads made while someone
// needs them and stopped when no one does, and the main thread's window that
// hands each batch to the registered controls.
#include <shlwapi.h>

#include "core/Exception.h"
#include "shell/ChangeNotifierThreads.h"
#include "shell/ShellUtilities.h"

namespace {

TVirtualChangeNotifier* gNotifier = nullptr;
constexpr wchar_t kNotifierWindowClass[] = L"QvChangeNotifierWindow";
// Posting a thread message fails until the thread has a message queue.
constexpr int kQuitPostRetries = 20;

std::u16string ParsingPath(LPCITEMIDLIST pidl) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return {};
  std::u16string out;
  STRRET name{};
  if (SUCCEEDED(desktop->GetDisplayNameOf(pidl, SHGDN_FORPARSING, &name))) {
    wchar_t buffer[MAX_PATH * 4];
    if (SUCCEEDED(StrRetToBufW(&name, pidl, buffer, static_cast<UINT>(std::size(buffer)))))
      out = reinterpret_cast<const char16_t*>(buffer);
  }
  desktop->Release();
  return out;
}

}  // namespace

LPITEMIDLIST ParseFolderPath(const std::u16string& path) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return nullptr;
  std::u16string copy = path;
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, reinterpret_cast<LPWSTR>(copy.data()), nullptr, &pidl,
                                       nullptr)))
    pidl = nullptr;
  desktop->Release();
  return pidl;
}

IVirtualChangeNotifier* ChangeNotifier() {
  if (gNotifier == nullptr && !ShellToolkitFinished()) {
    InitializeShellToolkit();
    gNotifier = New<TVirtualChangeNotifier>();
  }
  return gNotifier;
}

IVirtualChangeNotifier* ExistingChangeNotifier() { return gNotifier; }

bool ChangeNotifierThreadRunning(int which) {
  if (gNotifier == nullptr) return false;
  switch (which) {
    case 0: return gNotifier->KernelThread() != nullptr;
    case 1: return gNotifier->ShellThread() != nullptr;
    default: return gNotifier->DispatchThread() != nullptr;
  }
}

void FinalizeNotifier() {
  if (gNotifier == nullptr) return;
  gNotifier->StopAllThreads();
  FreeAndNil(gNotifier);
}

// ---- The object and its window ---------------------------------------------------------

void TVirtualChangeNotifier::Create() {
  InitializeCriticalSection(&lock);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW existing{};
  if (!GetClassInfoW(instance, kNotifierWindowClass, &existing)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TVirtualChangeNotifier::WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kNotifierWindowClass;
    RegisterClassW(&wc);
  }
  window = CreateWindowExW(0, kNotifierWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
  if (window == nullptr) throw Exception("Cannot create the change notifier's window");
}

TVirtualChangeNotifier::~TVirtualChangeNotifier() {
  StopAllThreads();
  if (window != nullptr) {
    // Batches the dispatch thread posted before it stopped would go unhandled
    // with the window (no view takes them any more): their references go here.
    MSG msg;
    while (PeekMessageW(&msg, window, kWMShellNotify, kWMShellNotify, PM_REMOVE))
      if (msg.wParam != 0) reinterpret_cast<TVirtualShellEventList*>(msg.wParam)->Release();
    DestroyWindow(window);
  }
  window = nullptr;
  TList* list = controls.LockList();
  for (int i = 0; i < list->Count(); ++i) static_cast<TVirtualChangeControl*>(list->Get(i))->Free();
  list->Clear();
  controls.UnlockList();
  DeleteCriticalSection(&lock);
}

LRESULT CALLBACK TVirtualChangeNotifier::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return 1;
  }
  auto* self = reinterpret_cast<TVirtualChangeNotifier*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (msg == kWMShellNotify && wParam != 0) {
    auto* list = reinterpret_cast<TVirtualShellEventList*>(wParam);
    if (self != nullptr)
      self->DeliverBatch(list);
    else
      list->Release();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void TVirtualChangeNotifier::DeliverBatch(TVirtualShellEventList* list) {
  std::vector<HWND> targets;
  TList* records = controls.LockList();
  list->ID = listCounter++;
  for (int i = 0; i < records->Count(); ++i) {
    auto* record = static_cast<TVirtualChangeControl*>(records->Get(i));
    if (record->Control != nullptr && record->Control->HandleAllocated()) targets.push_back(record->Control->Handle());
  }
  controls.UnlockList();
  // One reference per window that really gets the list; posting happens without the lock.
  list->AddRef(static_cast<LONG>(targets.size()));
  for (HWND target : targets)
    if (!PostMessageW(target, kWMShellNotify, reinterpret_cast<WPARAM>(list), 0)) list->Release();
  list->Release();  // the dispatch thread's
}

// ---- Threads on demand -----------------------------------------------------------------

TVirtualChangeDispatchThread* TVirtualChangeNotifier::NeedDispatchThread() {
  if (dispatchThread != nullptr) return dispatchThread;
  dispatchThread = New<TVirtualChangeDispatchThread>(this);
  dispatchThread->FilterEvents = filterEvents;
  dispatchThread->SetPriority(3);
  dispatchThread->SetSuspended(false);
  return dispatchThread;
}

TVirtualShellChangeThread* TVirtualChangeNotifier::NeedShellThread() {
  if (shellThread != nullptr) return shellThread;
  NeedDispatchThread()->AddRef();
  shellThread = New<TVirtualShellChangeThread>(this);
  shellThread->MapPersonalFolder = mapPersonalFolder;
  shellThread->SetPriority(3);
  shellThread->SetSuspended(false);
  // Changes made right after the registration must not be missed.
  shellThread->WaitUntilListening();
  return shellThread;
}

TVirtualKernelChangeThread* TVirtualChangeNotifier::NeedKernelThread() {
  if (kernelThread != nullptr) return kernelThread;
  NeedDispatchThread()->AddRef();
  kernelThread = New<TVirtualKernelChangeThread>(this);
  kernelThread->SetPriority(3);
  kernelThread->SetSuspended(false);
  return kernelThread;
}

void TVirtualChangeNotifier::StopKernelThread() {
  if (kernelThread == nullptr) return;
  kernelThread->SetPriority(3);
  kernelThread->TerminateAndWait();
  FreeAndNil(kernelThread);
  if (dispatchThread != nullptr) dispatchThread->Release();
}

void TVirtualChangeNotifier::StopShellThread() {
  if (shellThread == nullptr) return;
  if (!shellThread->Finished()) {
    shellThread->SetPriority(3);
    shellThread->Terminate();
    for (int attempt = 0; attempt <= kQuitPostRetries; ++attempt) {
      if (PostThreadMessageW(shellThread->ThreadID(), kWMShellThreadQuit, 0, 0)) break;
      if (WaitForSingleObject(shellThread->Handle(), 200) == WAIT_OBJECT_0) break;
    }
    WaitForSingleObject(shellThread->Handle(), INFINITE);
  }
  FreeAndNil(shellThread);
  if (dispatchThread != nullptr) dispatchThread->Release();
}

void TVirtualChangeNotifier::StopDispatchThread() {
  if (dispatchThread == nullptr) return;
  dispatchThread->SetPriority(3);
  dispatchThread->TerminateAndWait();
  FreeAndNil(dispatchThread);
}

void TVirtualChangeNotifier::StopUnusedThreads() {
  if (kernelThread != nullptr && kernelThread->RefCount() <= 0) StopKernelThread();
  if (shellThread != nullptr && shellThread->RefCount() <= 0) StopShellThread();
  if (dispatchThread != nullptr && dispatchThread->RefCount() <= 0) StopDispatchThread();
}

void TVirtualChangeNotifier::StopAllThreads() {
  StopKernelThread();
  StopShellThread();
  StopDispatchThread();
}

// ---- Registration ----------------------------------------------------------------------

TVirtualChangeControl* TVirtualChangeNotifier::FindRecordLocked(TList* list, TWinControl* control) const {
  for (int i = 0; i < list->Count(); ++i) {
    auto* record = static_cast<TVirtualChangeControl*>(list->Get(i));
    if (record->Control == control) return record;
  }
  return nullptr;
}

TVirtualChangeControl* TVirtualChangeNotifier::NeedRecordLocked(TList* list, TWinControl* control) {
  if (TVirtualChangeControl* record = FindRecordLocked(list, control)) return record;
  auto* record = New<TVirtualChangeControl>();
  record->Control = control;
  try {
    list->Add(record);
  } catch (...) {
    record->Free();
    throw;
  }
  return record;
}

bool TVirtualChangeNotifier::RegisterShellChangeNotify(TWinControl* control) {
  TList* list = controls.LockList();
  TVirtualChangeControl* known = FindRecordLocked(list, control);
  bool registered = known != nullptr && known->ShellRegistered;
  controls.UnlockList();
  if (registered) return true;
  // The shell thread is made (and waited for) without the control list's lock.
  TVirtualShellChangeThread* thread = nullptr;
  try {
    thread = NeedShellThread();
  } catch (...) {
    StopUnusedThreads();
    return false;
  }
  list = controls.LockList();
  try {
    TVirtualChangeControl* record = NeedRecordLocked(list, control);
    if (!record->ShellRegistered) {
      thread->AddRef();
      record->ShellRegistered = true;
    }
  } catch (...) {
    controls.UnlockList();
    StopUnusedThreads();
    return false;
  }
  controls.UnlockList();
  return true;
}

bool TVirtualChangeNotifier::RegisterKernelChangeNotify(TWinControl* control, uint8_t notifyFilter) {
  TVirtualKernelChangeThread* thread = nullptr;
  try {
    thread = NeedKernelThread();
  } catch (...) {
    StopUnusedThreads();
    return false;
  }
  bool changed = false;
  TList* list = controls.LockList();
  try {
    TVirtualChangeControl* record = NeedRecordLocked(list, control);
    if (!record->KernelRegistered) {
      thread->AddRef();
      record->KernelRegistered = true;
      changed = true;
    }
    if (record->NotifyFilter != notifyFilter) {
      record->NotifyFilter = notifyFilter;
      changed = true;
    }
  } catch (...) {
    controls.UnlockList();
    StopUnusedThreads();
    return false;
  }
  controls.UnlockList();
  if (changed) thread->Wake();
  return true;
}

bool TVirtualChangeNotifier::UnRegisterShellChangeNotify(TWinControl* control) {
  TList* list = controls.LockList();
  TVirtualChangeControl* record = FindRecordLocked(list, control);
  bool had = record != nullptr;
  if (record != nullptr && record->ShellRegistered) {
    record->ShellRegistered = false;
    if (!record->KernelRegistered) {
      list->Remove(record);
      record->Free();
    }
    if (shellThread != nullptr) shellThread->Release();
  }
  controls.UnlockList();
  StopUnusedThreads();
  return had;
}

bool TVirtualChangeNotifier::UnRegisterKernelChangeNotify(TWinControl* control) {
  TList* list = controls.LockList();
  TVirtualChangeControl* record = FindRecordLocked(list, control);
  bool had = record != nullptr;
  bool dropped = false;
  if (record != nullptr && record->KernelRegistered) {
    record->KernelRegistered = false;
    record->WatchFolder.clear();
    if (!record->ShellRegistered) {
      list->Remove(record);
      record->Free();
    }
    if (kernelThread != nullptr) kernelThread->Release();
    dropped = true;
  }
  controls.UnlockList();
  if (dropped && kernelThread != nullptr) kernelThread->Wake();
  StopUnusedThreads();
  return had;
}

bool TVirtualChangeNotifier::UnRegisterChangeNotify(TWinControl* control) {
  bool kernel = UnRegisterKernelChangeNotify(control);
  bool shell = UnRegisterShellChangeNotify(control);
  return kernel || shell;
}

void TVirtualChangeNotifier::UnRegisterAll() {
  std::vector<TWinControl*> all;
  TList* list = controls.LockList();
  for (int i = 0; i < list->Count(); ++i) all.push_back(static_cast<TVirtualChangeControl*>(list->Get(i))->Control);
  controls.UnlockList();
  for (TWinControl* control : all) UnRegisterChangeNotify(control);
}

bool TVirtualChangeNotifier::ChangeWatchFolder(TWinControl* control, const std::u16string& folder) {
  bool changed = false;
  TList* list = controls.LockList();
  TVirtualChangeControl* record = FindRecordLocked(list, control);
  if (record == nullptr) {
    controls.UnlockList();
    return false;
  }
  if (!record->KernelRegistered) {
    // Only the kernel thread watches folders: a control without that registration holds none.
    record->WatchFolder.clear();
  } else if (record->WatchFolder != folder) {
    record->WatchFolder = folder;
    changed = true;
  }
  controls.UnlockList();
  if (changed && kernelThread != nullptr) kernelThread->Wake();
  return true;
}

void TVirtualChangeNotifier::RegisterSpecialFolderWatch(int csidl) {
  EnterCriticalSection(&lock);
  // Special folders are watched by the kernel thread: without a kernel registration nothing is watched.
  if (kernelThread == nullptr || kernelThread->RefCount() < 1) {
    LeaveCriticalSection(&lock);
    return;
  }
  LPITEMIDLIST special = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &special)) && special != nullptr) {
    std::u16string path;
    if (TPIDLManager::IsDesktopFolder(special)) {
      LPITEMIDLIST directory = nullptr;
      if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &directory)) && directory != nullptr) {
        path = ParsingPath(directory);
        NotifierPIDLs()->FreePIDL(directory);
      }
    } else {
      path = ParsingPath(special);
    }
    LPITEMIDLIST fileSystem = path.empty() ? nullptr : ParseFolderPath(path);
    if (fileSystem != nullptr) {
      LPITEMIDLIST namespacePIDL = special;
      if (csidl == CSIDL_PERSONAL) {
        if (LPITEMIDLIST documents = vst::MyDocumentsPIDL()) {
          NotifierPIDLs()->FreePIDL(special);
          namespacePIDL = documents;
        }
      }
      special = nullptr;
      kernelThread->AddSpecialFolder(path, fileSystem, namespacePIDL);
      kernelThread->Wake();
    }
    NotifierPIDLs()->FreePIDL(special);
  }
  LeaveCriticalSection(&lock);
}

// ---- Events and flags --------------------------------------------------------------------

void TVirtualChangeNotifier::PostEvent(TShellEventKind kind, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  // Made on demand, without a reference: it stays until the notifier next
  // stops its unused threads, and a view registered meanwhile gets the event.
  NeedDispatchThread()->AddEvent(kind, pidl1, pidl2, 0, 0, false);
}

void TVirtualChangeNotifier::PostShellNotify(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  HWND target = shellThread != nullptr ? shellThread->Window() : nullptr;
  if (target == nullptr) return;
  auto* posted = new TPostedShellNotify(pidl1, pidl2);
  if (PostMessageW(target, kWMPostShellNotify, reinterpret_cast<WPARAM>(posted), static_cast<LPARAM>(eventCode)))
    return;
  delete posted;
}

bool TVirtualChangeNotifier::FilterEvents() { return filterEvents; }

void TVirtualChangeNotifier::SetFilterEvents(bool value) {
  filterEvents = value;
  if (dispatchThread != nullptr) dispatchThread->FilterEvents = value;
}

bool TVirtualChangeNotifier::MapPersonalFolder() { return mapPersonalFolder; }

void TVirtualChangeNotifier::SetMapPersonalFolder(bool value) {
  mapPersonalFolder = value;
  if (shellThread != nullptr) shellThread->MapPersonalFolder = value;
}
