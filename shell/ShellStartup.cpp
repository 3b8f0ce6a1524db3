// Start-up and shut-down of the shell toolkit: COM, the wide and shell
// function bindings, the PIDL managers; and the special-folder items, each
// made when first asked for.
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

// One special folder: made on first use by whichever thread asks first.
// "made" is set once the item (possibly null) stands; "making" lets a
// question about the folder asked while it is being made answer null, as
// before the item existed.
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

// Guards the making and freeing of the items only, so that a thread asking
// for one never waits for start-up or shut-down (which wait for threads).
// Never destroyed: the shut-down registered with atexit takes it after the
// static objects made later than that registration are gone.
std::recursive_mutex& FolderLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

TNamespace* SpecialFolder(TSpecialSlot& slot) {
  if (slot.made.load(std::memory_order_acquire)) return slot.item.load(std::memory_order_acquire);
  if (!running.load(std::memory_order_acquire)) InitializeShellToolkit();
  std::lock_guard<std::recursive_mutex> guard(FolderLock());
  if (slot.made.load(std::memory_order_relaxed) || slot.making || !running.load(std::memory_order_acquire))
    return slot.item.load(std::memory_order_relaxed);
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
  return item;
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
  HMODULE shell32 = GetModuleHandleA("shell32.dll");
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
