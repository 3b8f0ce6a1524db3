#pragma once
// Platform checks and, on the Windows 9x family only, the two device handles
// opened at start ("\\.\vwin32" and "\\.\INT2F.VXD"); on NT systems nothing is
// opened and nothing shown.
#include <windows.h>

// True when the system reports the NT platform (platform id 2).
bool IsWinNT();
// On the 9x platform: version 4 with a minor version above 0, or 4.0 whose
// service-pack text, trimmed, is "B". False on every other system.
bool IsWin95OSR2OrLater();

// The unit's start-up and shut-down (the handles are closed on 9x).
void InitializeIORoutines();
void FinalizeIORoutines();

// The system calls the unit makes; tests replace them to stand for a 9x system.
struct TIORoutinesPlatform {
  BOOL (*queryVersion)(OSVERSIONINFOA* info);    // GetVersionExA
  HANDLE (*openDevice)(const char* name);        // CreateFileA with the unit's flags
  BOOL (*closeDevice)(HANDLE handle);            // CloseHandle
  void (*warn)(const char* text);                // a warning box captioned "Error"
};
extern TIORoutinesPlatform IORoutinesPlatform;
