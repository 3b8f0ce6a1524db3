#pragma once
// Replaces one entry of the test program's import table for the lifetime of
// the object, so a test can slow down or fail a system call made by code
// linked into the program (the libraries are static: their calls go through
// the program's own import table).
#include <windows.h>

#include <cstring>

class TImportPatch {
public:
  // Patches the import of function from module (case-insensitive, e.g.
  // "kernel32.dll"); Active() is false when the program does not import it.
  TImportPatch(const char* module, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name != 0;
         ++desc) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), module) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (desc->OriginalFirstThunk != 0
                                                                     ? desc->OriginalFirstThunk
                                                                     : desc->FirstThunk));
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
        slot = reinterpret_cast<void**>(&slots->u1.Function);
        original = *slot;
        Write(replacement);
        return;
      }
    }
  }
  ~TImportPatch() {
    if (slot != nullptr) Write(original);
  }
  TImportPatch(const TImportPatch&) = delete;
  TImportPatch& operator=(const TImportPatch&) = delete;

  bool Active() const { return slot != nullptr; }
  // The function the entry held before.
  template <class F>
  F Original() const {
    return reinterpret_cast<F>(original);
  }

private:
  void Write(void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
  }

  void** slot = nullptr;
  void* original = nullptr;
};
