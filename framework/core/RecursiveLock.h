#pragma once
// TRecursiveLock: a lock the owning thread may take again. On Windows it is a
// critical section: the thread library's mutex leaks a kernel event each time
// one that was ever contended is destroyed, which lists made per batch would
// pile up.
#include <cstddef>

class TRecursiveLock {
public:
  TRecursiveLock();
  ~TRecursiveLock();
  TRecursiveLock(const TRecursiveLock&) = delete;
  TRecursiveLock& operator=(const TRecursiveLock&) = delete;

  void lock();
  void unlock();

private:
  alignas(8) unsigned char storage[64];  // the platform's lock object
};
