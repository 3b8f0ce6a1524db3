#pragma once
// The three entry points of the wipe engine, C calling convention.
// Parameter and format blocks are packed records owned by the caller.
#include <windows.h>

extern "C" {
// Wipes the file or folder named in the block's Path; returns a handle that is
// signalled when the path is done (the caller closes it), or null on failure.
__declspec(dllexport) HANDLE __cdecl FileWipe(void* wipeParams);
// Starts wiping the block's Drive; format (may be null) is formatted afterwards.
__declspec(dllexport) void __cdecl DriveWipeStart(void* wipeParams, void* formatParams);
// Starts wiping the free space of the block's Drive.
__declspec(dllexport) void __cdecl DriveCleanFreeSpace(void* wipeParams);
}
