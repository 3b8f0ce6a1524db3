#include <sys/mman.h>
#include <unistd.h>

#include "core/FencedObjects.h"

namespace fenced_pages {

std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

void* Reserve(std::size_t bytes) {
  void* start = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return start == MAP_FAILED ? nullptr : start;
}

bool Commit(void* start, std::size_t bytes) { return mprotect(start, bytes, PROT_READ | PROT_WRITE) == 0; }

void Decommit(void* start, std::size_t bytes) noexcept {
  madvise(start, bytes, MADV_DONTNEED);
  mprotect(start, bytes, PROT_NONE);
}

}  // namespace fenced_pages
