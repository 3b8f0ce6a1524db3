#include "FileTaskThreads.h"

#include <deque>
#include <utility>

namespace qv::engine {
namespace {

struct Queued {
  std::function<void()> task;
  HANDLE done;  // the engine's own handle of the caller's event
};

// Win32 primitives only, never destroyed: at the process's end the system
// stops the waiting threads and nothing here may need them.
struct Threads {
  CRITICAL_SECTION lock;
  HANDLE pending = nullptr;  // counts the tasks queued and not yet taken
  std::deque<Queued> queue;
  size_t waiting = 0;  // threads waiting for a task
};

Threads& Shared() {
  static Threads* threads = [] {
    auto* made = new Threads;  // kept to the end of the process
    InitializeCriticalSection(&made->lock);
    made->pending = CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
    return made;
  }();
  return *threads;
}

// Waits for a task up to the idle time, doing the idle work whenever it is
// due meanwhile; never gives up while idle work is still to come. True when
// a task was handed over.
bool WaitIdle(HANDLE pending) {
  const DWORD start = GetTickCount();
  for (;;) {
    IdleWork work = gIdleWork.load();
    DWORD due = work ? work() : INFINITE;
    DWORD waited = GetTickCount() - start;
    DWORD idle = gFileTaskIdleMs;
    DWORD wait = due != INFINITE ? due : (waited >= idle ? 0 : idle - waited);
    if (WaitForSingleObject(pending, wait) == WAIT_OBJECT_0) return true;
    if (due == INFINITE) return false;
  }
}

DWORD WINAPI TaskLoop(void* module) {
  Threads& threads = Shared();
  EnterCriticalSection(&threads.lock);
  ++threads.waiting;
  for (;;) {
    LeaveCriticalSection(&threads.lock);
    bool woken = WaitIdle(threads.pending);
    EnterCriticalSection(&threads.lock);
    --threads.waiting;
    // A task handed over just as the wait ran out is taken all the same:
    // whoever queued it counted this thread as waiting.
    if (!woken && WaitForSingleObject(threads.pending, 0) != WAIT_OBJECT_0) break;
    Queued next = std::move(threads.queue.front());
    threads.queue.pop_front();
    LeaveCriticalSection(&threads.lock);
    next.task();
    next.task = nullptr;
    // Counted as waiting before the caller learns that the task is done: the
    // caller's next task then finds this thread instead of starting one.
    EnterCriticalSection(&threads.lock);
    ++threads.waiting;
    SetEvent(next.done);
    CloseHandle(next.done);
  }
  LeaveCriticalSection(&threads.lock);
  FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
  return 0;
}

// A new thread waiting for tasks, holding the module loaded; false with the error.
bool StartThread() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TaskLoop), &module))
    return false;
  HANDLE thread = CreateThread(nullptr, 0, TaskLoop, module, 0, nullptr);
  if (!thread) {
    DWORD error = GetLastError();
    FreeLibrary(module);
    SetLastError(error);
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace

std::atomic<DWORD> gFileTaskIdleMs{2000};
std::atomic<IdleWork> gIdleWork{nullptr};

HANDLE RunFileTask(std::function<void()> task) {
  Threads& threads = Shared();
  if (!threads.pending) return nullptr;
  HANDLE done = CreateEventW(nullptr, /*manualReset=*/TRUE, /*initialState=*/FALSE, nullptr);
  if (!done) return nullptr;
  HANDLE callers = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), done, GetCurrentProcess(), &callers, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    DWORD error = GetLastError();
    CloseHandle(done);
    SetLastError(error);
    return nullptr;
  }
  EnterCriticalSection(&threads.lock);
  threads.queue.push_back({std::move(task), done});
  // Every queued task needs a thread of its own waiting, or a new one.
  if (threads.queue.size() > threads.waiting && !StartThread()) {
    DWORD error = GetLastError();
    threads.queue.pop_back();
    LeaveCriticalSection(&threads.lock);
    CloseHandle(done);
    CloseHandle(callers);
    SetLastError(error);
    return nullptr;
  }
  ReleaseSemaphore(threads.pending, 1, nullptr);
  LeaveCriticalSection(&threads.lock);
  return callers;
}

}  // namespace qv::engine
