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
// FileWipe within what the run's confirm step listed (QuorvanellListed.h):
// every folder on the way to the path is opened relative to the one above,
// never through a link, and must be a plain folder whose key is listed; the
// path's own entry must be listed; in a folder only listed entries are
// wiped, and one holding anything else (found when it is listed, or just
// before it would be removed) is kept with it, each such item logged once as
// having appeared after the confirm step and counted. A null `listed` is
// FileWipe. An empty Path ends the run: the work the block's calls left
// pending is done now and counted in the block, and the handle is signalled
// after it. `listed` must live until the handle is signalled.
__declspec(dllexport) HANDLE __cdecl FileWipeListed(void* wipeParams, const void* listed);
// Starts wiping the block's Drive; returns at once. A non-null format block is
// copied and the drive formatted afterwards. Ends with message WM_USER+3
// (done) or WM_USER+4 (stopped); the blocks are not touched after it.
__declspec(dllexport) void __cdecl DriveWipeStart(void* wipeParams, void* formatParams);
// Starts wiping the free space of the block's Drive; returns at once. Ends as
// DriveWipeStart does.
__declspec(dllexport) void __cdecl DriveCleanFreeSpace(void* wipeParams);
}
