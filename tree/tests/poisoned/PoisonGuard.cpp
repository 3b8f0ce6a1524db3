// Names a touch of a freed node before the process goes: in this build a
// freed node's pages are unreadable, so the touch faults where it happens.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "tree/NodeRecords.h"

namespace {
LONG CALLBACK ReportTouchedFreedNode(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const void* address = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
  bool poisoned = IsPoisonedNodeRecord(address);
  std::fprintf(stderr, "%s was %s at %p by the code at %p\n", poisoned ? "A freed node" : "Memory",
               record->ExceptionInformation[0] ? "written" : "read", address, record->ExceptionAddress);
  // Values on the stack that point into the program's code: likely return
  // addresses, for addr2line (the build keeps no frame pointers).
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  uintptr_t codeStart = base + nt->OptionalHeader.BaseOfCode;
  uintptr_t codeEnd = codeStart + nt->OptionalHeader.SizeOfCode;
  NT_TIB* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  auto* run = reinterpret_cast<const uintptr_t*>(info->ContextRecord->Esp);
  std::fprintf(stderr, "Code addresses on the stack:");
  for (int i = 0; i < 4096 && run + 1 <= static_cast<const uintptr_t*>(tib->StackBase); ++i, ++run)
    if (*run >= codeStart && *run < codeEnd) std::fprintf(stderr, " %08lx", static_cast<unsigned long>(*run));
  std::fprintf(stderr, "\n");
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}

struct TPoisonGuard {
  TPoisonGuard() { AddVectoredExceptionHandler(1, ReportTouchedFreedNode); }
} gPoisonGuard;
}  // namespace
