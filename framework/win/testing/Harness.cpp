#include "win/testing/Harness.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "win/testing/Png.h"

#ifndef QV_SCREENSHOT_DIR
#define QV_SCREENSHOT_DIR "screenshots"
#endif

namespace qvtest {

namespace {

// The window that receives mouse messages for control and the point there.
HWND MouseWindow(TControl* control, int& x, int& y) {
  if (x < 0) x = control->Width() / 2;
  if (y < 0) y = control->Height() / 2;
  if (auto* win = dynamic_cast<TWinControl*>(control)) return win->Handle();
  TControl* c = control;
  while (c != nullptr && dynamic_cast<TWinControl*>(c) == nullptr) {
    x += c->Left(), y += c->Top();
    c = c->Parent();
  }
  if (c == nullptr) throw std::runtime_error("The control has no window to click in");
  return static_cast<TWinControl*>(c)->Handle();
}

void SendMouse(HWND hwnd, UINT msg, WPARAM keys, int x, int y) {
  SendMessageW(hwnd, msg, keys, MAKELPARAM(x, y));
  Application->ProcessMessages();
}

}  // namespace

namespace {

bool PumpFor(const std::function<bool()>& done, int ms) {
  DWORD start = GetTickCount();
  while (true) {
    Application->ProcessMessages();
    if (done()) return true;
    if (static_cast<int>(GetTickCount() - start) >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return PumpFor(done, timeoutMs * kBusyMachineHeadroom);
}

void Pump(int ms) {
  PumpFor([] { return false; }, ms);
}

void Click(TControl* control, int x, int y) {
  HWND hwnd = MouseWindow(control, x, y);
  SendMouse(hwnd, WM_MOUSEMOVE, 0, x, y);
  SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, x, y);
  SendMouse(hwnd, WM_LBUTTONUP, 0, x, y);
}

void DoubleClick(TControl* control, int x, int y) {
  HWND hwnd = MouseWindow(control, x, y);
  SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, x, y);
  SendMouse(hwnd, WM_LBUTTONUP, 0, x, y);
  SendMouse(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, x, y);
  SendMouse(hwnd, WM_LBUTTONUP, 0, x, y);
}

void RightClick(TControl* control, int x, int y) {
  HWND hwnd = MouseWindow(control, x, y);
  SendMouse(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, x, y);
  SendMouse(hwnd, WM_RBUTTONUP, 0, x, y);
  POINT pt{x, y};
  ClientToScreen(hwnd, &pt);
  SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(pt.x, pt.y));
  Application->ProcessMessages();
}

void MoveMouseTo(TControl* control) {
  TPoint p = control->ClientToScreen(Point(control->Width() / 2, control->Height() / 2));
  SetCursorPos(p.X, p.Y);
  Application->ProcessMessages();
}

void ClickByInput(TControl* control) {
  MoveMouseTo(control);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  Pump(100);
}

void PressKey(TWinControl* control, WORD vk) {
  HWND hwnd = control->Handle();
  UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  PostMessageW(hwnd, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageW(hwnd, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
  Application->ProcessMessages();
}

void TypeText(TWinControl* control, std::string_view text) {
  HWND hwnd = control->Handle();
  for (char c : text) PostMessageW(hwnd, WM_CHAR, static_cast<unsigned char>(c), 1);
  Application->ProcessMessages();
}

void PressKeyByInput(WORD vk, bool keyUp) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(keyUp ? 2 : 1, in, sizeof(INPUT));
  Pump(100);
}

std::string SaveScreenshot(HWND window, const std::string& name) {
  RECT r;
  if (!GetWindowRect(window, &r)) throw std::runtime_error("No such window");
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) throw std::runtime_error("Empty window");
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Application->ProcessMessages();
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  std::vector<uint8_t> png = EncodePng(w, h, pixels);
  std::string dir = QV_SCREENSHOT_DIR;
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string path = dir + "/" + name + ".png";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("Cannot write " + path);
  std::fwrite(png.data(), 1, png.size(), f);
  std::fclose(f);
  return path;
}

uint32_t PixelAt(HWND window, int x, int y) {
  POINT pt{x, y};
  ClientToScreen(window, &pt);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, pt.x, pt.y);
  ReleaseDC(nullptr, screen);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

}  // namespace qvtest
