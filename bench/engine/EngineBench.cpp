// EngineBench PATH fill|random: wipes PATH with one pass through FileWipe,
// the way the program drives it (a window taking the messages, a pumping
// wait on the handle), and prints the seconds and MB/s of the whole wipe.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "QuorvanellBlocks.h"
#include "QuorvanellEngine.h"

namespace {

LRESULT CALLBACK BenchWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_WIPE_LOG) {
    LocalFree(reinterpret_cast<HLOCAL>(wParam));
    return 0;
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: EngineBench PATH fill|random\n");
    return 2;
  }
  bool random = std::wcscmp(argv[2], L"random") == 0;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(argv[1], GetFileExInfoStandard, &info)) {
    std::fprintf(stderr, "no such file\n");
    return 2;
  }
  double bytes = double(info.nFileSizeHigh) * 4294967296.0 + double(info.nFileSizeLow);

  WNDCLASSW wc = {};
  wc.lpfnWndProc = BenchWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"EngineBenchWindow";
  RegisterClassW(&wc);
  HWND wnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);

  auto* block = static_cast<TWipeParams*>(LocalAlloc(LPTR, sizeof(TWipeParams)));
  block->Active = 1;
  block->Wnd = uint32_t(reinterpret_cast<uintptr_t>(wnd));
  block->PassCount = 1;
  const uint8_t pass[4] = {0x00, uint8_t(random ? 0x20 : 0), uint8_t(random ? 0x20 : 0), uint8_t(random ? 0x20 : 0)};
  std::memcpy(block->Passes[0], pass, 4);
  std::wcsncpy(reinterpret_cast<wchar_t*>(block->Path), argv[1], kBlockTextChars - 1);

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HANDLE handle = FileWipe(block);
  if (!handle) return 1;
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
  QueryPerformanceCounter(&end);
  CloseHandle(handle);
  Pump();
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  bool failed = block->Reserved2 != 0 || GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES;
  std::printf("%.3f %.1f%s\n", seconds, bytes / seconds / 1e6, failed ? " FAILED" : "");
  LocalFree(block);
  DestroyWindow(wnd);
  return failed ? 1 : 0;
}
