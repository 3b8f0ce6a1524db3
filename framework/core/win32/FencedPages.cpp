#include <windows.h>

#include "core/FencedObjects.h"

namespace fenced_pages {

std::size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* Reserve(std::size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS); }

bool Commit(void* start, std::size_t bytes) {
  return VirtualAlloc(start, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void Decommit(void* start, std::size_t bytes) noexcept { VirtualFree(start, bytes, MEM_DECOMMIT); }

}  // namespace fenced_pages
