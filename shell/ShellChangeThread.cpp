// The shell thread: a hidden window registered with the shell for every
// event in the whole namespace; each notification is translated into events
// for the dispatch thread.
#include <atomic>
#include <memory>

#include "core/Exception.h"
#include "shell/ChangeNotifierThreads.h"
#include "shell/VirtualUtilities.h"

namespace {

constexpr char kWindowClass[] = "vstVirtualNotifyWndClass";
constexpr int kSourcesOld = SHCNRF_InterruptLevel | SHCNRF_ShellLevel;
constexpr int kSourcesNew = kSourcesOld | SHCNRF_NewDelivery;

using TRegister = ULONG(WINAPI*)(HWND, int, LONG, UINT, int, const SHChangeNotifyEntry*);
using TDeregister = BOOL(WINAPI*)(ULONG);
using TLock = HANDLE(WINAPI*)(HANDLE, DWORD, LPITEMIDLIST**, LONG*);
using TUnlock = BOOL(WINAPI*)(HANDLE);

// The shell's registration and delivery functions, bound by ordinal (null when absent).
struct ShellNotifyFunctions {
  TRegister Register = nullptr;
  TDeregister Deregister = nullptr;
  TLock Lock = nullptr;
  TUnlock Unlock = nullptr;
};

const ShellNotifyFunctions& Functions() {
  static const ShellNotifyFunctions functions = [] {
    ShellNotifyFunctions f;
    // Its functions load it when first called: it may not be loaded yet.
    HMODULE shell32 = LoadLibraryA("shell32.dll");
    if (shell32 == nullptr) return f;
    auto bind = [shell32](int ordinal) {
      return reinterpret_cast<void*>(GetProcAddress(shell32, MAKEINTRESOURCEA(ordinal)));
    };
    f.Register = reinterpret_cast<TRegister>(bind(2));
    f.Deregister = reinterpret_cast<TDeregister>(bind(4));
    f.Lock = reinterpret_cast<TLock>(bind(644));
    f.Unlock = reinterpret_cast<TUnlock>(bind(645));
    return f;
  }();
  return functions;
}

bool NewDelivery() { return IsUnicode() && Functions().Lock != nullptr && Functions().Unlock != nullptr; }

// The two values the shell packs after the 16-bit size of the first ID; false when the ID is too short.
bool ReadPackedValues(LPCITEMIDLIST pidl, uint32_t& value1, uint32_t& value2) {
  value1 = value2 = 0;
  if (pidl == nullptr || pidl->mkid.cb < sizeof(USHORT) + 2 * sizeof(uint32_t)) return false;
  const BYTE* data = pidl->mkid.abID;
  memcpy(&value1, data, sizeof(value1));
  memcpy(&value2, data + sizeof(value1), sizeof(value2));
  return true;
}

std::atomic<int> gPostedAlive{0};

}  // namespace

int PostedShellNotifiesAlive() { return gPostedAlive; }

TPostedShellNotify::TPostedShellNotify(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  PIDL1 = NotifierPIDLs()->CopyPIDL(pidl1);
  try {
    PIDL2 = NotifierPIDLs()->CopyPIDL(pidl2);
  } catch (...) {
    NotifierPIDLs()->FreePIDL(PIDL1);
    throw;
  }
  ++gPostedAlive;
}

TPostedShellNotify::~TPostedShellNotify() {
  NotifierPIDLs()->FreePIDL(PIDL1);
  NotifierPIDLs()->FreePIDL(PIDL2);
  --gPostedAlive;
}

void TVirtualShellChangeThread::Create(TVirtualChangeNotifier* notifier_) {
  notifier = notifier_;
  readyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  extraHandle = readyEvent;
  if (readyEvent == nullptr) throw Exception("Cannot create the shell thread's event");
  TVirtualThread::Create(/*createSuspended=*/true);
}

TVirtualShellChangeThread::~TVirtualShellChangeThread() = default;

void TVirtualShellChangeThread::WaitUntilListening() {
  HANDLE waits[2] = {readyEvent, Handle()};
  WaitForMultipleObjects(2, waits, /*waitAll=*/FALSE, 10000);
}

bool TVirtualShellChangeThread::CreateNotifyWindow() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSA existing{};
  if (!GetClassInfoA(instance, kWindowClass, &existing)) {
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = &TVirtualShellChangeThread::WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    classRegistered = RegisterClassA(&wc) != 0;
  }
  HWND made = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  window = made;
  return made != nullptr;
}

void TVirtualShellChangeThread::RegisterWithShell() {
  const ShellNotifyFunctions& f = Functions();
  if (registrationID != 0 || window == nullptr || f.Register == nullptr) return;
  SHChangeNotifyEntry entry{};
  entry.pidl = nullptr;  // the desktop: the whole namespace
  entry.fRecursive = TRUE;
  bool fresh = NewDelivery();
  registrationID = f.Register(window, fresh ? kSourcesNew : kSourcesOld, 0x7FFFFFFF,
                              fresh ? kWMShellNotifyNew : kWMShellNotifyOld, 1, &entry);
}

void TVirtualShellChangeThread::Execute() {
  HRESULT ole = OleInitialize(nullptr);
  if (!IsUnicode()) {
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &personalPIDL))) personalPIDL = nullptr;
    myDocumentsPIDL = vst::MyDocumentsPIDL();
  }
  if (CreateNotifyWindow()) RegisterWithShell();
  SetEvent(readyEvent);
  MSG msg;
  while (window != nullptr && !Terminated()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (msg.hwnd == nullptr && msg.message == kWMShellThreadQuit) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (registrationID != 0 && Functions().Deregister != nullptr) Functions().Deregister(registrationID);
  registrationID = 0;
  ReleaseQueuedNotifications();
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
  if (classRegistered) UnregisterClassA(kWindowClass, GetModuleHandleW(nullptr));
  classRegistered = false;
  NotifierPIDLs()->FreeAndNilPIDL(personalPIDL);
  NotifierPIDLs()->FreeAndNilPIDL(myDocumentsPIDL);
  if (SUCCEEDED(ole)) OleUninitialize();
}

void TVirtualShellChangeThread::ReleaseQueuedNotifications() {
  // Stopping ends the loop with whatever PostShellNotify queued since still
  // waiting; destroying the window would discard those messages and leak
  // what each one owns. No one is registered any more: they are only freed.
  HWND target = window;
  if (target == nullptr) return;
  MSG msg;
  while (PeekMessageW(&msg, target, kWMPostShellNotify, kWMPostShellNotify, PM_REMOVE))
    delete reinterpret_cast<TPostedShellNotify*>(msg.wParam);
}

LRESULT CALLBACK TVirtualShellChangeThread::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return 1;
  }
  auto* self = reinterpret_cast<TVirtualShellChangeThread*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  try {
    return self->NotifyWndProc(hwnd, msg, wParam, lParam);
  } catch (...) {
    return 0;  // a failure (memory) loses this notification, never the thread
  }
}

LRESULT TVirtualShellChangeThread::NotifyWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case kWMShellNotifyNew: {
      const ShellNotifyFunctions& f = Functions();
      LPITEMIDLIST* pair = nullptr;
      LONG code = 0;
      HANDLE locked = f.Lock != nullptr ? f.Lock(reinterpret_cast<HANDLE>(wParam), static_cast<DWORD>(lParam), &pair, &code)
                                        : nullptr;
      if (locked == nullptr) return 0;
      try {
        if (pair != nullptr) Translate(code, pair[0], pair[1]);
      } catch (...) {
        f.Unlock(locked);
        throw;
      }
      f.Unlock(locked);
      return 0;
    }
    case kWMShellNotifyOld: {
      auto* pair = reinterpret_cast<LPITEMIDLIST*>(wParam);
      LONG code = static_cast<LONG>(lParam);
      if (pair == nullptr) return 0;
      Translate(code, pair[0], pair[1]);
      TranslateMappedPersonal(code, pair[0], pair[1]);
      return 0;
    }
    case kWMPostShellNotify: {
      std::unique_ptr<TPostedShellNotify> posted(reinterpret_cast<TPostedShellNotify*>(wParam));
      if (posted == nullptr) return 0;
      Translate(static_cast<LONG>(lParam), posted->PIDL1, posted->PIDL2);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void TVirtualShellChangeThread::Translate(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  TShellEventKind kind;
  if (!ShellEventKindOf(eventCode, kind)) return;
  TVirtualChangeDispatchThread* dispatch = notifier->DispatchThread();
  if (dispatch == nullptr) return;
  if (kind == sekUpdateImage || kind == sekFreeSpace) {
    uint32_t value1 = 0, value2 = 0;
    // An icon update names its icon by these values: without them it says nothing.
    if (!ReadPackedValues(pidl1, value1, value2) && kind == sekUpdateImage) return;
    dispatch->AddEvent(kind, nullptr, nullptr, value1, value2, false);
    return;
  }
  dispatch->AddEvent(kind, pidl1, pidl2, 0, 0, false);
}

void TVirtualShellChangeThread::TranslateMappedPersonal(LONG eventCode, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  if (!MapPersonalFolder || personalPIDL == nullptr || myDocumentsPIDL == nullptr) return;
  TPIDLManager* pidls = NotifierPIDLs();
  uint32_t depth = pidls->IDCount(personalPIDL);
  auto remap = [&](LPCITEMIDLIST pidl) -> LPITEMIDLIST {
    if (pidl == nullptr || !(vst::ILIsParent(personalPIDL, pidl, false) || vst::ILIsEqual(personalPIDL, pidl)))
      return nullptr;
    LPCITEMIDLIST rest = pidl;
    for (uint32_t i = 0; i < depth; ++i) rest = TPIDLManager::NextID(rest);
    return pidls->AppendPIDL(myDocumentsPIDL, rest);
  };
  LPITEMIDLIST mapped1 = remap(pidl1);
  LPITEMIDLIST mapped2 = remap(pidl2);
  if (mapped1 != nullptr || mapped2 != nullptr)
    Translate(eventCode, mapped1 != nullptr ? mapped1 : pidl1, mapped2 != nullptr ? mapped2 : pidl2);
  pidls->FreePIDL(mapped1);
  pidls->FreePIDL(mapped2);
}
