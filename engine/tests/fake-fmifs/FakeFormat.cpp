// A library named like the system's formatting library, for the tests that
// check it is never taken from outside the system folder. Its FormatEx
// reports a failed format and formats nothing.
#include <windows.h>

extern "C" __declspec(dllexport) void __stdcall FormatEx(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, BOOL,
                                                         DWORD, void*) {}
