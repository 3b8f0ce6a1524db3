// A library named like the system's HTML Help control, for the test that
// checks the control is never taken from outside the system folder. Its entry
// point answers a window handle no real control gives.
#include <windows.h>

extern "C" __declspec(dllexport) HWND __stdcall HtmlHelpA(HWND, LPCSTR, UINT, DWORD_PTR) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150));
}
