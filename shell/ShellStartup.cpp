// Start-up and shut-down of the shell toolkit: COM, the wide and shell
// function bindings, the PIDL managers; and the special-folder items, made
// together on the main thread when first asked for.
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"

TPIDLManager* NamespacePIDLManager = nullptr;

TAnimateWindow AnimateWindowProc = nullptr;
FARPROC ShellILIsEqualProc = nullptr;
FARPROC ShellILIsParentProc = nullptr;
FARPROC Shell747Proc = nullptr;

namespace {

bool initialized = false;
// Set (under the start-up lock) once start-up has run, read without it.
std::atomic<bool> running{false};
// Once shut down, the toolkit stays down: items freed later (static objects,
// atexit handlers) must not start COM and the special items again.
bool finished = false;
bool comInitialized = false;
// A function-local lock: start-up may be reached from another unit's static initialisation.
std::recursive_mutex& StartupLock() {
  static std::recursive_mutex lock;
  return lock;
}

// One special folder. All eleven are made together on the main thread (the
// one that started the toolkit; the items are bound to its apartment) when
// it first asks for one. "made" is set once the item (possibly null) stands;
// "making" lets a question about the folder asked while it is being made
// answer null, as before the item existed.
struct TSpecialSlot {
  const int csidl;
  std::atomic<TNamespace*> item{nullptr};
  std::atomic<bool> made{false};
  bool making = false;
};

// In the order the items are freed.
TSpecialSlot gDesktop{CSIDL_DESKTOP}, gRecycleBin{CSIDL_BITBUCKET}, gDesktopDirectory{CSIDL_DESKTOPDIRECTORY},
    gDrives{CSIDL_DRIVES}, gHistory{CSIDL_HISTORY}, gPrinters{CSIDL_PRINTERS}, gControlPanel{CSIDL_CONTROLS},
    gNetwork{CSIDL_NETWORK}, gTemplates{CSIDL_TEMPLATES}, gPersonal{CSIDL_PERSONAL}, gFavorites{CSIDL_FAVORITES};
TSpecialSlot* const kSlots[] = {&gDesktop,      &gRecycleBin, &gDesktopDirectory, &gDrives,
                                &gHistory,      &gPrinters,   &gControlPanel,     &gNetwork,
                                &gTemplates,    &gPersonal,   &gFavorites};
// The order in which they are made.
TSpecialSlot* const kMakeOrder[] = {&gDesktop,  &gRecycleBin,   &gDesktopDirectory, &gDrives,
                                    &gPrinters, &gHistory,      &gControlPanel,     &gNetwork,
                                    &gTemplates, &gPersonal,    &gFavorites};

// The main thread, and its message-only window through which another thread
// asks it to make the items.
std::atomic<DWORD> mainThread{0};
std::atomic<HWND> mainWindow{nullptr};
constexpr UINT kMakeSpecialFolders = WM_APP + 1;
// How long another thread waits for the main thread to make them; a main
// thread busy longer (or waiting for that thread) leaves it with null.
constexpr UINT kMainThreadWaitMs = 1000;
// Set when such a wait ran out (the question then stays posted to the main
// thread, which makes the items when it next handles its messages): until
// it does, or for kRetryAfterMs, other threads answer null at once instead
// of waiting again.
constexpr DWORD kRetryAfterMs = 5000;
std::atomic<bool> mainThreadSlow{false};
std::atomic<DWORD> mainThreadSlowSince{0};

// Guards the making and freeing of the items only, so that a thread asking
// for one never waits for start-up or shut-down (which wait for threads).
// Never destroyed: the shut-down registered with atexit takes it after the
// static objects made later than that registration are gone.
std::recursive_mutex& FolderLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

// Makes one item (lock held); asked again while it is being made, it stays as it is.
void MakeSpecialFolder(TSpecialSlot& slot) {
  if (slot.made.load(std::memory_order_relaxed) || slot.making || !running.load(std::memory_order_acquire)) return;
  slot.making = true;
  TNamespace* item = nullptr;
  try {
    item = CreateSpecialNamespace(slot.csidl);
  } catch (...) {
    slot.making = false;
    throw;
  }
  slot.making = false;
  slot.item.store(item, std::memory_order_release);
  slot.made.store(true, std::memory_order_release);
}

// On the main thread only.
void MakeSpecialFolders() {
  std::lock_guard<std::recursive_mutex> guard(FolderLock());
  for (TSpecialSlot* slot : kMakeOrder) MakeSpecialFolder(*slot);
  mainThreadSlow.store(false, std::memory_order_release);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMakeSpecialFolders) {
    // Nothing may leave through the system's message dispatch: an item
    // that cannot be made stays unmade, and the asking thread gets null.
    try {
      MakeSpecialFolders();
    } catch (...) {
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeMainWindow() {
  static const wchar_t kClass[] = L"QvShellToolkit";
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW existing{};
  if (!GetClassInfoW(instance, kClass, &existing)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
  }
  return CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

// Another thread never makes the items: it has the main thread make them,
// waiting while that thread handles messages (sent messages to this thread
// are handled meanwhile), and gets null when it does not in time.
void AskMainThread(HWND window) {
  if (mainThreadSlow.load(std::memory_order_acquire) &&
      GetTickCount() - mainThreadSlowSince.load(std::memory_order_acquire) < kRetryAfterMs)
    return;
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window, kMakeSpecialFolders, 0, 0, SMTO_NORMAL, kMainThreadWaitMs, &result) == 0 &&
      GetLastError() == ERROR_TIMEOUT) {
    // The system may drop a sent message whose wait ran out: the question
    // is left in the main thread's queue as well.
    PostMessageW(window, kMakeSpecialFolders, 0, 0);
    mainThreadSlowSince.store(GetTickCount(), std::memory_order_release);
    mainThreadSlow.store(true, std::memory_order_release);
  }
}

TNamespace* SpecialFolder(TSpecialSlot& slot) {
  if (slot.made.load(std::memory_order_acquire)) return slot.item.load(std::memory_order_acquire);
  if (!running.load(std::memory_order_acquire)) InitializeShellToolkit();
  // A thread that started the toolkit and has ended took its window with
  // it: then the thread asking makes the items itself, as no other can.
  HWND window = mainWindow.load(std::memory_order_acquire);
  if (GetCurrentThreadId() == mainThread.load(std::memory_order_acquire) || window == nullptr || !IsWindow(window))
    MakeSpecialFolders();
  else
    AskMainThread(window);
  // Null when it is being made, after shut-down, or when the main thread did not make it.
  if (!slot.made.load(std::memory_order_acquire)) return nullptr;
  return slot.item.load(std::memory_order_acquire);
}

}  // namespace

TNamespace* DesktopFolder() { return SpecialFolder(gDesktop); }
TNamespace* RecycleBinFolder() { return SpecialFolder(gRecycleBin); }
TNamespace* DesktopDirectoryFolder() { return SpecialFolder(gDesktopDirectory); }
TNamespace* DrivesFolder() { return SpecialFolder(gDrives); }
TNamespace* PrintersFolder() { return SpecialFolder(gPrinters); }
TNamespace* HistoryFolder() { return SpecialFolder(gHistory); }
TNamespace* ControlPanelFolder() { return SpecialFolder(gControlPanel); }
TNamespace* NetworkFolder() { return SpecialFolder(gNetwork); }
TNamespace* TemplatesFolder() { return SpecialFolder(gTemplates); }
TNamespace* PersonalFolder() { return SpecialFolder(gPersonal); }
TNamespace* FavoritesFolder() { return SpecialFolder(gFavorites); }

int SpecialFoldersMade() {
  int made = 0;
  for (TSpecialSlot* slot : kSlots)
    if (slot->made.load(std::memory_order_acquire)) ++made;
  return made;
}

bool BindShellFunctions() {
  // Its functions load it when first called: it may not be loaded yet.
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  HMODULE user32 = GetModuleHandleA("user32.dll");
  AnimateWindowProc =
      user32 != nullptr ? reinterpret_cast<TAnimateWindow>(reinterpret_cast<void*>(GetProcAddress(user32, "AnimateWindow")))
                        : nullptr;
  ShellILIsEqualProc = shell32 != nullptr ? GetProcAddress(shell32, MAKEINTRESOURCEA(21)) : nullptr;
  ShellILIsParentProc = shell32 != nullptr ? GetProcAddress(shell32, MAKEINTRESOURCEA(23)) : nullptr;
  Shell747Proc = shell32 != nullptr ? GetProcAddress(shell32, MAKEINTRESOURCEA(747)) : nullptr;
  return ShellILIsEqualProc != nullptr && ShellILIsParentProc != nullptr;
}

void ShellFunctionsMissing() {
  MessageBoxW(nullptr, L"The shell of this system lacks functions this program needs.", L"Error",
              MB_ICONERROR | MB_OK);
  std::exit(3);
}

void InitializeShellToolkit() {
  std::lock_guard<std::recursive_mutex> guard(StartupLock());
  if (initialized || finished) return;
  initialized = true;
  // The special items below talk to the shell through COM.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  comInitialized = SUCCEEDED(hr);
  BindWideFunctions();
  if (GlobalPIDLManager == nullptr) GlobalPIDLManager = New<TPIDLManager>();
  vst::FileIconInit(/*restore=*/true);
  if (!BindShellFunctions()) ShellFunctionsMissing();
  NamespacePIDLManager = New<TPIDLManager>();
  mainThread.store(GetCurrentThreadId(), std::memory_order_release);
  mainWindow.store(MakeMainWindow(), std::memory_order_release);
  std::atexit(FinalizeShellToolkit);
  running.store(true, std::memory_order_release);
  InitializeShellNotifications();
}

void FinalizeShellToolkit() {
  std::lock_guard<std::recursive_mutex> guard(StartupLock());
  if (!initialized) return;
  // The notifier's threads end before the items and managers they use go.
  FinalizeShellNotifications();
  {
    std::lock_guard<std::recursive_mutex> folders(FolderLock());
    running.store(false, std::memory_order_release);
    for (TSpecialSlot* slot : kSlots) {
      TNamespace* item = slot->item.exchange(nullptr, std::memory_order_acq_rel);
      slot->made.store(true, std::memory_order_release);
      if (item != nullptr) item->Free();
    }
  }
  HWND window = mainWindow.exchange(nullptr, std::memory_order_acq_rel);
  if (window != nullptr && GetCurrentThreadId() == mainThread.load(std::memory_order_acquire)) DestroyWindow(window);
  FreeAndNil(NamespacePIDLManager);
  FreeAndNil(GlobalPIDLManager);
  if (comInitialized) CoUninitialize();
  comInitialized = false;
  initialized = false;
  finished = true;
}

bool ShellToolkitFinished() {
  std::lock_guard<std::recursive_mutex> guard(StartupLock());
  return finished;
}
