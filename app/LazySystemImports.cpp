// System functions whose libraries load at their first call instead of with
// the program: the shell's (the file page, the folder browser, file types,
// opening a document), the multimedia timer's (the tree's scrolling) and the
// transparent copy of a picture (a transparent bitmap, the tree's images).
// The first window needs none of them, and each library costs the start-up
// its loading. Every call goes through the import slot the compiler reads; here
// that slot starts at a stub that loads the library, puts the function itself
// in the slot and calls it, so later calls go straight to the system.
// The slots are defined by the program's own objects, which the linker reads
// before any import library; a function not listed here links as usual and
// loads its library with the program.
#include <windows.h>
#include <mmsystem.h>
#include <wingdi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <string>

namespace {

FARPROC LoadSystemFunction(const char* library, const char* name) {
  HMODULE module = LoadLibraryA(library);
  FARPROC function = module != nullptr ? GetProcAddress(module, name) : nullptr;
  if (function != nullptr) return function;
  // A system without it cannot run this program at all.
  const std::string text = std::string("The system lacks the function ") + name + " of " + library + ".";
  MessageBoxA(nullptr, text.c_str(), "Error", MB_ICONERROR | MB_OK);
  std::exit(3);
}

}  // namespace

// slot: the import slot "__imp__<name>@<bytes>" (bytes: the size of the
// arguments, as the import libraries name it); the assignment to check makes
// the compiler hold the stub to the header's declaration of name.
#define QV_LAZY_IMPORT(library, result, name, bytes, params, args)                              \
  extern "C" void* lazySlot_##name asm("__imp__" #name "@" #bytes);                             \
  namespace {                                                                                    \
  result WINAPI LazyStub_##name params {                                                         \
    auto function = reinterpret_cast<decltype(&LazyStub_##name)>(                               \
        reinterpret_cast<void*>(LoadSystemFunction(library, #name)));                            \
    lazySlot_##name = reinterpret_cast<void*>(function);                                         \
    return function args;                                                                        \
  }                                                                                              \
  [[maybe_unused]] const decltype(&::name) lazyCheck_##name = &LazyStub_##name;                  \
  }                                                                                              \
  void* lazySlot_##name = reinterpret_cast<void*>(&LazyStub_##name);

#define SHELL "shell32.dll"
QV_LAZY_IMPORT(SHELL, PIDLIST_RELATIVE, ILClone, 4, (PCUIDLIST_RELATIVE pidl), (pidl))
QV_LAZY_IMPORT(SHELL, PUITEMID_CHILD, ILFindLastID, 4, (PCUIDLIST_RELATIVE pidl), (pidl))
QV_LAZY_IMPORT(SHELL, void, ILFree, 4, (PIDLIST_RELATIVE pidl), (pidl))
QV_LAZY_IMPORT(SHELL, UINT, ILGetSize, 4, (PCUIDLIST_RELATIVE pidl), (pidl))
QV_LAZY_IMPORT(SHELL, WINBOOL, ILRemoveLastID, 4, (PUIDLIST_RELATIVE pidl), (pidl))
QV_LAZY_IMPORT(SHELL, HRESULT, SHBindToParent, 16,
               (PCIDLIST_ABSOLUTE pidl, REFIID riid, void** ppv, PCUITEMID_CHILD* last), (pidl, riid, ppv, last))
QV_LAZY_IMPORT(SHELL, PIDLIST_ABSOLUTE, SHBrowseForFolderA, 4, (LPBROWSEINFOA info), (info))
QV_LAZY_IMPORT(SHELL, void, SHChangeNotify, 16, (LONG event, UINT flags, LPCVOID item1, LPCVOID item2),
               (event, flags, item1, item2))
QV_LAZY_IMPORT(SHELL, HRESULT, SHGetDataFromIDListA, 20,
               (IShellFolder * folder, PCUITEMID_CHILD pidl, int format, void* data, int size),
               (folder, pidl, format, data, size))
QV_LAZY_IMPORT(SHELL, HRESULT, SHGetDesktopFolder, 4, (IShellFolder * *folder), (folder))
QV_LAZY_IMPORT(SHELL, DWORD_PTR, SHGetFileInfoA, 20,
               (LPCSTR path, DWORD attributes, SHFILEINFOA* info, UINT size, UINT flags),
               (path, attributes, info, size, flags))
QV_LAZY_IMPORT(SHELL, DWORD_PTR, SHGetFileInfoW, 20,
               (LPCWSTR path, DWORD attributes, SHFILEINFOW* info, UINT size, UINT flags),
               (path, attributes, info, size, flags))
QV_LAZY_IMPORT(SHELL, HRESULT, SHGetMalloc, 4, (IMalloc * *malloc), (malloc))
QV_LAZY_IMPORT(SHELL, WINBOOL, SHGetPathFromIDListA, 8, (PCIDLIST_ABSOLUTE pidl, LPSTR path), (pidl, path))
QV_LAZY_IMPORT(SHELL, WINBOOL, SHGetPathFromIDListW, 8, (PCIDLIST_ABSOLUTE pidl, LPWSTR path), (pidl, path))
QV_LAZY_IMPORT(SHELL, HRESULT, SHGetSpecialFolderLocation, 12, (HWND owner, int csidl, PIDLIST_ABSOLUTE* pidl),
               (owner, csidl, pidl))
QV_LAZY_IMPORT(SHELL, PIDLIST_ABSOLUTE, SHSimpleIDListFromPath, 4, (PCWSTR path), (path))
QV_LAZY_IMPORT(SHELL, WINBOOL, ShellExecuteExA, 4, (SHELLEXECUTEINFOA * info), (info))
QV_LAZY_IMPORT(SHELL, WINBOOL, ShellExecuteExW, 4, (SHELLEXECUTEINFOW * info), (info))
QV_LAZY_IMPORT(SHELL, HINSTANCE, ShellExecuteW, 24,
               (HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show),
               (owner, verb, file, parameters, folder, show))
QV_LAZY_IMPORT("shlwapi.dll", HRESULT, StrRetToBufW, 16, (STRRET * str, LPCITEMIDLIST pidl, LPWSTR buffer, UINT size),
               (str, pidl, buffer, size))
QV_LAZY_IMPORT("winmm.dll", DWORD, timeGetTime, 0, (), ())
QV_LAZY_IMPORT("winmm.dll", MMRESULT, timeBeginPeriod, 4, (UINT period), (period))
QV_LAZY_IMPORT("winmm.dll", MMRESULT, timeEndPeriod, 4, (UINT period), (period))
QV_LAZY_IMPORT("msimg32.dll", WINBOOL, TransparentBlt, 44,
               (HDC dest, int xDest, int yDest, int widthDest, int heightDest, HDC source, int xSource, int ySource,
                int widthSource, int heightSource, UINT transparent),
               (dest, xDest, yDest, widthDest, heightDest, source, xSource, ySource, widthSource, heightSource,
                transparent))
