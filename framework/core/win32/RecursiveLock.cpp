// The recursive lock as a critical section.
#include <windows.h>

#include <new>

#include "core/RecursiveLock.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64, "the lock's storage holds a critical section");

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

TRecursiveLock::TRecursiveLock() { InitializeCriticalSection(new (storage) CRITICAL_SECTION); }

TRecursiveLock::~TRecursiveLock() { DeleteCriticalSection(Section(storage)); }

void TRecursiveLock::lock() { EnterCriticalSection(Section(storage)); }

void TRecursiveLock::unlock() { LeaveCriticalSection(Section(storage)); }
