#pragma once
// The threads that run file tasks. The program hands over every ticked path
// by a call of its own and waits for it; under Wine starting and ending a
// thread costs milliseconds (every loaded library is told of both), more than
// some small files take to wipe. A thread that has finished a task therefore
// waits a while for the next one before it ends; a task that finds no thread
// waiting gets a new one, so tasks handed over together still run side by
// side.
#include <windows.h>

#include <atomic>
#include <functional>

namespace qv::engine {

// How long a thread waits for another task before it ends (2 s; tests
// shorten it before their first task).
extern std::atomic<DWORD> gFileTaskIdleMs;

// Work the waiting threads do between tasks: returns the milliseconds until
// it wants to be called again, or INFINITE when nothing is left to do (a
// thread does not end before then). It must not block for long: it may run
// while another thread runs a task.
using IdleWork = DWORD (*)();
extern std::atomic<IdleWork> gIdleWork;

// Runs `task` on a thread of the engine and returns an event of its own, set
// once `task` has returned; the caller closes it. Null, with the error in
// GetLastError, when no event or thread can be had (`task` is not run then).
// Each thread keeps the module holding this code loaded while it lives.
// `task` must not throw.
HANDLE RunFileTask(std::function<void()> task);

}  // namespace qv::engine
