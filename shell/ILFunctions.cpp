// The shell's item-list tests, bound by ordinal, and the documents folder PIDL.
#include "shell/VirtualPIDLTools.h"

#include <mutex>

TPIDLManager* GlobalPIDLManager = nullptr;

namespace vst {

namespace {

using TILIsEqual = BOOL(WINAPI*)(LPCITEMIDLIST, LPCITEMIDLIST);
using TILIsParent = BOOL(WINAPI*)(LPCITEMIDLIST, LPCITEMIDLIST, BOOL);

TILIsEqual ilIsEqual = nullptr;
TILIsParent ilIsParent = nullptr;
std::once_flag bindOnce;

void Bind() {
  // Its functions load it when first called: it may not be loaded yet.
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  if (shell32 == nullptr) return;
  ilIsEqual = reinterpret_cast<TILIsEqual>(reinterpret_cast<void*>(GetProcAddress(shell32, MAKEINTRESOURCEA(21))));
  ilIsParent = reinterpret_cast<TILIsParent>(reinterpret_cast<void*>(GetProcAddress(shell32, MAKEINTRESOURCEA(23))));
}

}  // namespace

bool BindILFunctions() {
  std::call_once(bindOnce, Bind);
  return ilIsEqual != nullptr && ilIsParent != nullptr;
}

bool ILIsEqual(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  if (pidl1 == nullptr || pidl2 == nullptr) return false;
  BindILFunctions();
  if (ilIsEqual == nullptr) return false;
  return ilIsEqual(pidl1, pidl2) != FALSE;
}

bool ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate) {
  if (parent == nullptr || child == nullptr) return false;
  BindILFunctions();
  if (ilIsParent == nullptr) return false;
  return ilIsParent(parent, child, immediate ? TRUE : FALSE) != FALSE;
}

LPITEMIDLIST MyDocumentsPIDL() {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return nullptr;
  wchar_t name[] = L"::{450d8fba-ad25-11d0-98a8-0800361b1103}";
  ULONG eaten = 40;
  ULONG attributes = 0;
  LPITEMIDLIST pidl = nullptr;
  HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, name, &eaten, &pidl, &attributes);
  desktop->Release();
  if (FAILED(hr)) {
    if (pidl != nullptr) CoTaskMemFree(pidl);
    return nullptr;
  }
  return pidl;
}

}  // namespace vst
