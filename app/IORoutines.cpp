#include "IORoutines.h"

#include <windows.h>

#include <string>

#include "core/SysUtils.h"

namespace {

HANDLE gVwin32 = INVALID_HANDLE_VALUE;
HANDLE gInt2f = INVALID_HANDLE_VALUE;
bool gIsNT = true;
bool gStarted = false;

// The structure filled by the platform; false when the system refuses.
bool QueryVersion(OSVERSIONINFOA& info) {
  info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  return IORoutinesPlatform.queryVersion(&info) != 0;
}

HANDLE OpenVxd(const char* name, const char* failureText) {
  HANDLE h = IORoutinesPlatform.openDevice(name);
  if (h == INVALID_HANDLE_VALUE) IORoutinesPlatform.warn(failureText);
  return h;
}

void CloseIfValid(HANDLE& h) {
  if (h != INVALID_HANDLE_VALUE) IORoutinesPlatform.closeDevice(h);
  h = INVALID_HANDLE_VALUE;
}

BOOL QuerySystemVersion(OSVERSIONINFOA* info) { return GetVersionExA(info); }

BOOL CloseDevice(HANDLE handle) { return CloseHandle(handle); }

HANDLE OpenDevice(const char* name) {
  return CreateFileA(name, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

void WarnBox(const char* text) { MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONWARNING); }

}  // namespace

TIORoutinesPlatform IORoutinesPlatform = {QuerySystemVersion, OpenDevice, CloseDevice, WarnBox};

bool IsWinNT() {
  OSVERSIONINFOA info;
  return QueryVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWin95OSR2OrLater() {
  OSVERSIONINFOA info;
  if (!QueryVersion(info) || info.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return false;
  if (info.dwMajorVersion != 4) return false;
  if (info.dwMinorVersion > 0) return true;
  return Trim(info.szCSDVersion) == "B";
}

void InitializeIORoutines() {
  if (gStarted) return;
  gStarted = true;
  gVwin32 = gInt2f = INVALID_HANDLE_VALUE;
  gIsNT = IsWinNT();
  if (gIsNT) return;
  gVwin32 = OpenVxd("\\\\.\\vwin32", "Error loading \"VWIN32.VXD (INT25/26)\"");
  gInt2f = OpenVxd("\\\\.\\INT2F.VXD", "Error loading \"INT2F.VXD\" (MSCDEX/CDFS)");
}

void FinalizeIORoutines() {
  if (!gStarted) return;
  gStarted = false;
  if (gIsNT) return;
  CloseIfValid(gVwin32);
  CloseIfValid(gInt2f);
}
