#pragma once
// The three entry points of the wipe engine, C calling convention.
// Parameter and format blocks are packed records owned by the caller; their
// layout and the messages posted to the block's window are described in
// engine/README.md.
#include <windows.h>

extern "C" {
// Wipes the file, folder tree or drive root named in the block's Path on a
// thread of the engine and returns an event: signalled when the path is done,
// closed by the caller. Null for a null block or when no thread can be
// started. The block must live, and the caller's window thread keep
// pumping messages (progress is sent, not posted), until the handle is signalled.
__declspec(dllexport) HANDLE __cdecl FileWipe(void* wipeParams);
// Starts wiping the block's Drive; returns at once. A non-null format block is
// copied and the drive formatted afterwards. Ends with message WM_USER+3
// (done) or WM_USER+4 (stopped); the blocks are not touched after it.
__declspec(dllexport) void __cdecl DriveWipeStart(void* wipeParams, void* formatParams);
// Starts wiping the free space of the block's Drive; returns at once. Ends as
// DriveWipeStart does.
__declspec(dllexport) void __cdecl DriveCleanFreeSpace(void* wipeParams);
}
