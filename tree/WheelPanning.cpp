// Wheel panning with the middle button: a small shaped window marks the
// anchor, the cursor shows the directions the content can move, and the
// scroll timer moves the content by the cursor's distance from the anchor.
// The anchor image and the cursors are drawn here (arrows around a dot).
#include <algorithm>
#include <cmath>

#include "tree/VirtualTrees.h"

namespace {
constexpr UINT_PTR kScrollTimer = 4;
constexpr int kImageSize = 32;
constexpr COLORREF kTransparent = RGB(255, 0, 255);
constexpr wchar_t kPanningClass[] = L"VTPanningWindow";

// Arrow directions: bit i points at angle i * 45 degrees, counted from east anticlockwise.
enum : unsigned { kEast = 1, kNorthEast = 2, kNorth = 4, kNorthWest = 8, kWest = 16, kSouthWest = 32, kSouth = 64, kSouthEast = 128 };

unsigned ArrowsOf(TPanningShape shape) {
  switch (shape) {
    case psMoveAll: return kEast | kNorth | kWest | kSouth;
    case psMoveEW: return kEast | kWest;
    case psMoveNS: return kNorth | kSouth;
    case psMoveN: return kNorth;
    case psMoveS: return kSouth;
    case psMoveE: return kEast;
    case psMoveW: return kWest;
    case psMoveNE: return kNorthEast;
    case psMoveNW: return kNorthWest;
    case psMoveSE: return kSouthEast;
    case psMoveSW: return kSouthWest;
  }
  return 0;
}

// Draws the dot and the arrows of shape on a magenta 32 x 32 surface.
void DrawShape(HDC dc, TPanningShape shape) {
  RECT all{0, 0, kImageSize, kImageSize};
  HBRUSH back = CreateSolidBrush(kTransparent);
  FillRect(dc, &all, back);
  DeleteObject(back);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
  Ellipse(dc, 12, 12, 21, 21);
  unsigned arrows = ArrowsOf(shape);
  for (int i = 0; i < 8; ++i) {
    if (!(arrows & (1u << i))) continue;
    double angle = i * 3.14159265358979 / 4;
    double dx = std::cos(angle), dy = -std::sin(angle);
    auto at = [&](double along, double across) {
      return POINT{static_cast<LONG>(std::lround(16 + dx * along - dy * across)),
                   static_cast<LONG>(std::lround(16 + dy * along + dx * across))};
    };
    POINT triangle[3] = {at(15, 0), at(8, -6), at(8, 6)};
    Polygon(dc, triangle, 3);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}

// A cursor of shape with its hot spot in the middle.
HCURSOR MakePanningCursor(TPanningShape shape) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP color = CreateCompatibleBitmap(screen, kImageSize, kImageSize);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, color);
  DrawShape(dc, shape);
  // Mask: 1 where the surface is transparent; the colour there becomes black.
  std::vector<uint8_t> maskBits(kImageSize * kImageSize / 8, 0);
  for (int y = 0; y < kImageSize; ++y)
    for (int x = 0; x < kImageSize; ++x)
      if (GetPixel(dc, x, y) == kTransparent) {
        maskBits[(y * kImageSize + x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        SetPixel(dc, x, y, RGB(0, 0, 0));
      }
  SelectObject(dc, old);
  DeleteDC(dc);
  HBITMAP mask = CreateBitmap(kImageSize, kImageSize, 1, 1, maskBits.data());
  ICONINFO info{FALSE, kImageSize / 2, kImageSize / 2, mask, color};
  HCURSOR cursor = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(color);
  return cursor;
}

LRESULT CALLBACK PanningWindowProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* tree = reinterpret_cast<TBaseVirtualTree*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (tree != nullptr) {
    TMessage m{msg, wParam, lParam, 0};
    if (tree->PanningWindowProc(wnd, m)) return m.Result;
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

void RegisterPanningClass() {
  WNDCLASSW existing{};
  if (GetClassInfoW(GetModuleHandleW(nullptr), kPanningClass, &existing)) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = PanningWindowProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kPanningClass;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&wc);
}
}  // namespace

bool TBaseVirtualTree::PanningWindowProc(HWND wnd, TMessage& message) {
  if (message.Msg != WM_PAINT || panningImage == nullptr) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(wnd, &ps);
  BitBlt(dc, 0, 0, kImageSize, kImageSize, panningImage->Canvas()->Handle(), 0, 0, SRCCOPY);
  EndPaint(wnd, &ps);
  message.Result = 0;
  return true;
}

void TBaseVirtualTree::StartWheelPanning(TPoint position) {
  if (!HandleAllocated()) return;
  StopTreeTimer(kScrollTimer);
  DoStateChange({tsWheelPanning, tsWheelScrolling});
  // Its state handler may have freed the tree: no window, image or timer for it.
  if (Going()) return;
  panningAnchor = position;
  RegisterPanningClass();
  POINT screen{position.X, position.Y};
  ::ClientToScreen(handle, &screen);
  panningWindow = CreateWindowExW(WS_EX_TOOLWINDOW, kPanningClass, nullptr, WS_POPUP, screen.x - kImageSize / 2,
                                  screen.y - kImageSize / 2, kImageSize, kImageSize, handle, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  bool wider = int64_t(rangeX) > ClientWidth();
  bool taller = int64_t(rangeY) > ClientHeight();
  TPanningShape shape = wider && taller ? psMoveAll : (wider ? psMoveEW : psMoveNS);
  panningImage = New<TBitmap>();
  panningImage->SetSize(kImageSize, kImageSize);
  HDC dc = panningImage->Canvas()->Handle();
  DrawShape(dc, shape);
  // The window takes the image's shape: the runs of each row that are not transparent.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  for (int y = 0; y < kImageSize; ++y) {
    for (int x = 0; x < kImageSize;) {
      while (x < kImageSize && GetPixel(dc, x, y) == kTransparent) ++x;
      int start = x;
      while (x < kImageSize && GetPixel(dc, x, y) != kTransparent) ++x;
      if (x > start) {
        HRGN run = CreateRectRgn(start, y, x, y + 1);
        CombineRgn(region, region, run, RGN_OR);
        DeleteObject(run);
      }
    }
  }
  RECT box;
  VT_ASSERT(GetRgnBox(region, &box) != NULLREGION, "Invalid wheel panning image.");
  if (panningWindow != nullptr) {
    SetWindowLongPtrW(panningWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowRgn(panningWindow, region, FALSE);  // the window owns the region now
    ShowWindow(panningWindow, SW_SHOWNOACTIVATE);
  } else {
    DeleteObject(region);
  }
  SetCapture(handle);
  SetTimer(handle, kScrollTimer, 20, nullptr);
}

void TBaseVirtualTree::StopWheelPanning() {
  if (!states.Contains(tsWheelPanning) && !states.Contains(tsWheelScrolling)) return;
  StopTreeTimer(kScrollTimer);
  if (HandleAllocated() && GetCapture() == handle) ReleaseCapture();
  DoStateChange({}, {tsWheelPanning, tsWheelScrolling, tsScrollPending, tsScrolling});
  scrollDirections = TScrollDirections();
  if (panningWindow != nullptr) {
    SetWindowLongPtrW(panningWindow, GWLP_USERDATA, 0);
    DestroyWindow(panningWindow);
    panningWindow = nullptr;
  }
  FreeAndNil(panningImage);
  if (panningCursor != nullptr) {
    if (GetCursor() == panningCursor && Screen != nullptr) ::SetCursor(Screen->Cursors(Cursor()));
    DestroyCursor(panningCursor);
    panningCursor = nullptr;
  }
  panningShape = psNone;
  scrollDirections = TScrollDirections();
}

TPanningShape TBaseVirtualTree::PanningShapeAt(int x, int y) const {
  int dx = x - panningAnchor.X, dy = y - panningAnchor.Y;
  bool wider = int64_t(rangeX) > ClientWidth();
  bool taller = int64_t(rangeY) > ClientHeight();
  if (std::abs(dx) < 8 && std::abs(dy) < 8) {
    if (!wider) return psMoveNS;
    return taller ? psMoveAll : psMoveEW;
  }
  if (wider && taller) {
    if (dx < -8) return dy < -8 ? psMoveNW : (dy > 8 ? psMoveSW : psMoveW);
    if (dx > 8) return dy < -8 ? psMoveNE : (dy <= 8 ? psMoveE : psMoveSE);
    return dy < 0 ? psMoveN : psMoveS;
  }
  if (!wider) return dy < 0 ? psMoveN : psMoveS;
  return dx >= 0 ? psMoveE : psMoveW;
}

void TBaseVirtualTree::AdjustPanningCursor(int x, int y) {
  TPanningShape shape = PanningShapeAt(x, y);
  if (shape == panningShape && panningCursor != nullptr) return;
  HCURSOR cursor = MakePanningCursor(shape);
  ::SetCursor(cursor);
  if (panningCursor != nullptr) DestroyCursor(panningCursor);
  panningCursor = cursor;
  panningShape = shape;
}
