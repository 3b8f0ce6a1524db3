// The drop-down's own message loop: it runs while the window is down, closes
// it on a click outside or a key that ends it, and passes everything else on.
#include "shell/DropDownWnd.h"

namespace {

// The screen point of a mouse message (its lParam is in its window's client coordinates).
POINT MessageScreenPoint(const MSG& msg) {
  POINT p{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
  if (msg.hwnd != nullptr) ClientToScreen(msg.hwnd, &p);
  return p;
}

}  // namespace

void TDropDownWnd::RunModalLoop() {
  if (TWinControl* focus = ScrolledControl(); focus != nullptr && ParentForm() != nullptr && focus->CanFocus())
    focus->SetFocus();
  MSG msg;
  // A message handled here may free this window (RollDown holds it): the loop ends then.
  while (!Going() && DroppedDown()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: close and hand the quit on to the loop that ends it.
      RollUp(false);
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (got == -1) {
      RollUp(false);
      return;
    }
    switch (msg.message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN: {
        RECT r;
        GetWindowRect(Handle(), &r);
        if (!PtInRect(&r, MessageScreenPoint(msg))) {
          RollUp(false);
          continue;
        }
        break;
      }
      case WM_NCLBUTTONDOWN:
      case WM_NCLBUTTONDBLCLK:
      case WM_NCMBUTTONDOWN:
      case WM_NCMBUTTONDBLCLK:
      case WM_SYSKEYDOWN:
      case WM_CANCELMODE:
        RollUp(false);
        break;
      case WM_KEYDOWN:
      case WM_CHAR: {
        bool handled = false;
        KeyHandler(msg, handled);
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
          RollUp(msg.wParam == VK_RETURN);
          continue;
        }
        if (handled) continue;
        break;
      }
      case WM_MOUSEWHEEL:
        // The wheel reaches the focused window (the source): it scrolls the list instead.
        if (TWinControl* list = ScrolledControl(); list != nullptr && list->HandleAllocated()) {
          msg.hwnd = list->Handle();
          DispatchMessageW(&msg);
          ScrollStep();
          continue;
        }
        break;
      default:
        break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}
