// The recursive lock as the standard library's recursive mutex.
#include <mutex>
#include <new>

#include "core/RecursiveLock.h"

static_assert(sizeof(std::recursive_mutex) <= 64, "the lock's storage holds a recursive mutex");

namespace {
std::recursive_mutex* Mutex(unsigned char* storage) { return std::launder(reinterpret_cast<std::recursive_mutex*>(storage)); }
}  // namespace

TRecursiveLock::TRecursiveLock() { new (storage) std::recursive_mutex; }

TRecursiveLock::~TRecursiveLock() { Mutex(storage)->~recursive_mutex(); }

void TRecursiveLock::lock() { Mutex(storage)->lock(); }

void TRecursiveLock::unlock() { Mutex(storage)->unlock(); }
