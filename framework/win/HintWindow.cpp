#include "win/HintWindow.h"

#include "win/Forms.h"
#include "win/graphics/Graphics.h"

const TMessageMap* THintWindow::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_NCHITTEST, &THintWindow::WMNCHitTest),
      OnMessage(CM_TEXTCHANGED, &THintWindow::CMTextChanged),
  });
  return &map;
}

THintWindow* NewHintWindow() { return New<THintWindow>(nullptr); }

void THintWindow::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  TControl::SetVisible(false);
  SetColor(clInfoBk);
  if (Screen != nullptr) Font()->Assign(Screen->HintFont());
  Font()->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style = WS_POPUP | WS_BORDER;
  params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  params.WndParent = nullptr;
  params.WindowClass.style |= CS_SAVEBITS;
}

TRect THintWindow::CalcHintRect(int maxWidth, const std::string& hint, void* data) {
  if (hint.empty()) return TRect{};
  std::u16string text = AnsiToWide(hint);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  RECT r{0, 0, maxWidth, 0};
  DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DrawTextBiDiModeFlags(0));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return Rect(0, 0, r.right + 6 + 2, r.bottom + 2 + 2);
}

void THintWindow::ActivateHint(TRect r, const std::string& hint) {
  StoreCaption(hint);
  // Keep the hint on the desktop.
  TRect area = Screen != nullptr ? Screen->WorkAreaRect() : r;
  if (r.Right > area.Right) r.Offset(area.Right - r.Right, 0);
  if (r.Left < area.Left) r.Offset(area.Left - r.Left, 0);
  if (r.Bottom > area.Bottom) r.Offset(0, area.Bottom - r.Bottom);
  if (r.Top < area.Top) r.Offset(0, area.Top - r.Top);
  HWND hwnd = Handle();
  UpdateBoundsRect(r);
  SetWindowTextW(hwnd, reinterpret_cast<LPCWSTR>(AnsiToWide(hint).c_str()));
  SetWindowPos(hwnd, HWND_TOPMOST, r.Left, r.Top, r.Width(), r.Height(), SWP_SHOWWINDOW | SWP_NOACTIVATE);
  TControl::SetVisible(true);
  InvalidateRect(hwnd, nullptr, TRUE);
  UpdateWindow(hwnd);
}

void THintWindow::ActivateHintData(TRect r, const std::string& hint, void* data) { ActivateHint(r, hint); }

bool THintWindow::IsHintMsg(const MSG& msg) {
  UINT m = msg.message;
  if (m >= WM_KEYFIRST && m <= WM_KEYLAST) return true;
  switch (m) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
    case WM_ACTIVATE: case WM_ACTIVATEAPP: case WM_CANCELMODE:
      return true;
    default:
      return false;
  }
}

void THintWindow::ReleaseHandle() {
  if (HandleAllocated()) ShowWindow(handle, SW_HIDE);
  TControl::SetVisible(false);
}

bool THintWindow::IsShown() const { return HandleAllocated() && IsWindowVisible(handle); }

void THintWindow::Paint() {
  TRect r = ClientRect();
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(r);
  Canvas()->Font()->SetColor(Font()->Color());
  Canvas()->Brush()->SetStyle(bsClear);
  r.Inflate(-2, -1);
  r.Left += 1;
  Canvas()->DrawText(AnsiToWide(StoredCaption()), r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DrawTextBiDiModeFlags(0));
}

void THintWindow::WMNCHitTest(TMessage& m) { m.Result = HTTRANSPARENT; }

void THintWindow::CMTextChanged(TMessage& m) {}
