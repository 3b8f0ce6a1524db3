#pragma once
// The file task's call (FileWipe): the block's path, and the path the
// program will hand over next, written after the path's terminator
// (characters all zero there: none). A path whose next one lies directly in
// the same folder leaves that folder's shared work pending (see
// HeldParent.h), one folder at a time for the whole process. The pending
// work is done, before anything else of the call that meets it, when a call
// comes with another block, for another folder, or for a folder whose path
// no longer leads to the folder held or that no longer lies where it lay when
// its place was checked (see StillInPlace); when a call has no next path in the
// same folder, or finds a stop requested at its end, before its handle is
// set; and by a waiting thread of the engine when no call came for a while
// (gPendingWaitMs) while no call is under way, or as the process lets go of
// the engine (FinishPendingAtEnd). Done in a call with another block or by the waiting
// thread, its failures are logged to the window of the call that left it
// (the program may have freed that block meanwhile), not counted in it.
#include <windows.h>

#include <atomic>
#include <memory>

#include "Protected.h"

namespace qv::engine {

// How long pending work waits for the next call (500 ms).
extern std::atomic<DWORD> gPendingWaitMs;

// The guard of the file tasks: the system's, kept and revalidated for every
// call that does not continue a chain (tests put one of their own in its place).
using GuardSource = std::shared_ptr<const ProtectedFolders> (*)();
extern std::atomic<GuardSource> gFileGuard;
std::shared_ptr<const ProtectedFolders> SystemGuard();

// What FileWipe does: copies the block's paths and passes and wipes the path
// on a thread of the engine; returns the event set when it is done, or null.
// With `listed` (a TListedItems, read until the event is set), only what it
// lists is wiped (FileWipeListed), and an empty path ends the run: the
// block's pending work is done and counted in it before the event is set.
HANDLE StartFileWipe(void* wipeParams, const void* listed);
inline HANDLE StartFileWipe(void* wipeParams) { return StartFileWipe(wipeParams, nullptr); }

// Does the pending work as the process lets go of the engine (it ends, or
// unloads it) before a call or the waiting thread came to it; its failures
// are logged to the run's window, counted nowhere. A process killed, or one
// that crashes, leaves it undone.
void FinishPendingAtEnd();

// Whether a folder is held with its work pending (for tests).
bool WorkPending();

}  // namespace qv::engine
