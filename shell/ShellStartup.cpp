// Start-up and shut-down of the shell toolkit: COM, the wide and shell
// function bindings, the PIDL managers and the special-folder items.
#include <cstdlib>
#include <mutex>

#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"

TPIDLManager* NamespacePIDLManager = nullptr;
TNamespace* DesktopFolder = nullptr;
TNamespace* RecycleBinFolder = nullptr;
TNamespace* DesktopDirectoryFolder = nullptr;
TNamespace* DrivesFolder = nullptr;
TNamespace* PrintersFolder = nullptr;
TNamespace* HistoryFolder = nullptr;
TNamespace* ControlPanelFolder = nullptr;
TNamespace* NetworkFolder = nullptr;
TNamespace* TemplatesFolder = nullptr;
TNamespace* PersonalFolder = nullptr;
TNamespace* FavoritesFolder = nullptr;

TAnimateWindow AnimateWindowProc = nullptr;
FARPROC ShellILIsEqualProc = nullptr;
FARPROC ShellILIsParentProc = nullptr;
FARPROC Shell747Proc = nullptr;

namespace {

bool initialized = false;
// Once shut down, the toolkit stays down: items freed later (static objects,
// atexit handlers) must not start COM and the special items again.
bool finished = false;
bool comInitialized = false;
// A function-local lock: start-up may be reached from another unit's static initialisation.
std::recursive_mutex& StartupLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

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
  DesktopFolder = CreateSpecialNamespace(CSIDL_DESKTOP);
  RecycleBinFolder = CreateSpecialNamespace(CSIDL_BITBUCKET);
  DesktopDirectoryFolder = CreateSpecialNamespace(CSIDL_DESKTOPDIRECTORY);
  DrivesFolder = CreateSpecialNamespace(CSIDL_DRIVES);
  PrintersFolder = CreateSpecialNamespace(CSIDL_PRINTERS);
  HistoryFolder = CreateSpecialNamespace(CSIDL_HISTORY);
  ControlPanelFolder = CreateSpecialNamespace(CSIDL_CONTROLS);
  NetworkFolder = CreateSpecialNamespace(CSIDL_NETWORK);
  TemplatesFolder = CreateSpecialNamespace(CSIDL_TEMPLATES);
  PersonalFolder = CreateSpecialNamespace(CSIDL_PERSONAL);
  FavoritesFolder = CreateSpecialNamespace(CSIDL_FAVORITES);
  InitializeShellNotifications();
}

void FinalizeShellToolkit() {
  std::lock_guard<std::recursive_mutex> guard(StartupLock());
  if (!initialized) return;
  // The notifier's threads end before the items and managers they use go.
  FinalizeShellNotifications();
  FreeAndNil(DesktopFolder);
  FreeAndNil(RecycleBinFolder);
  FreeAndNil(DesktopDirectoryFolder);
  FreeAndNil(DrivesFolder);
  FreeAndNil(HistoryFolder);
  FreeAndNil(PrintersFolder);
  FreeAndNil(ControlPanelFolder);
  FreeAndNil(NetworkFolder);
  FreeAndNil(TemplatesFolder);
  FreeAndNil(PersonalFolder);
  FreeAndNil(FavoritesFolder);
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
