// The drag image: the system's drag-image helper takes the picture when it
// can; otherwise the picture, with an alpha channel that fades from its centre
// and hides the colour key, is shown in a layered window that the mouse passes
// through. The window composes with whatever lies under it, so moving it
// needs neither a copy of the screen nor a repaint of the windows it uncovers.
#include "tree/DragImage.h"

#include <shlobj.h>

#include <algorithm>
#include <cmath>

#include "tree/VirtualTrees.h"

namespace {
const wchar_t kWindowClass[] = L"TVTDragImageWindow";

bool RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

uint8_t ClampByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// 0x00RRGGBB, the byte order of 32-bit DIB pixels.
uint32_t PixelColor(TColor color) {
  COLORREF rgb = ColorToRGB(color);
  return (uint32_t(GetRValue(rgb)) << 16) | (uint32_t(GetGValue(rgb)) << 8) | GetBValue(rgb);
}

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}
}  // namespace

TVTDragImage::~TVTDragImage() { EndDrag(); }

void TVTDragImage::PrepareDrag(HBITMAP picture, TPoint imagePosition_, TPoint hotSpot, IDataObject* dataObject) {
  EndDrag();
  states.Exclude(dsSystemSupport);
  BITMAP info{};
  if (picture == nullptr || GetObjectW(picture, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight == 0)
    return;
  if (dataObject != nullptr && HandToSystem(picture, imagePosition_, hotSpot, dataObject)) {
    states.Include(dsSystemSupport);
    return;
  }
  if (!RegisterWindowClass()) return;
  width = info.bmWidth;
  height = std::abs(info.bmHeight);
  dragPixels.assign(size_t(width) * height, 0);
  BITMAPINFO format = TopDownInfo(width, height);
  HDC screen = GetDC(nullptr);
  bool read = GetDIBits(screen, picture, 0, height, dragPixels.data(), &format, DIB_RGB_COLORS) == height;
  alphaBitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, reinterpret_cast<void**>(&alphaPixels), nullptr, 0);
  alphaDC = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE,
                           kWindowClass, L"", WS_POPUP, imagePosition_.X, imagePosition_.Y, width, height, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!read || alphaBitmap == nullptr || alphaDC == nullptr || window == nullptr) {
    FreeImages();
    return;
  }
  oldAlphaBitmap = SelectObject(alphaDC, alphaBitmap);
  if (preBlendBias != 0) {
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
      uint32_t p = dragPixels[i];
      dragPixels[i] = (uint32_t(ClampByte(int(p >> 16 & 0xFF) + preBlendBias)) << 16) |
                      (uint32_t(ClampByte(int(p >> 8 & 0xFF) + preBlendBias)) << 8) |
                      ClampByte(int(p & 0xFF) + preBlendBias);
    }
  }
  BuildAlphaChannel();
  lastPosition = hotSpot;
  imagePosition = imagePosition_;
  states.Include(dsHidden).Include(dsInDrag).Include(dsPrepared);
  Compose();
}

bool TVTDragImage::HandToSystem(HBITMAP picture, TPoint imagePosition_, TPoint hotSpot, IDataObject* dataObject) {
  IDragSourceHelper* helper = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                              reinterpret_cast<void**>(&helper))))
    return false;
  BITMAP info{};
  GetObjectW(picture, sizeof info, &info);
  SHDRAGIMAGE image{};
  image.sizeDragImage = SIZE{info.bmWidth, std::abs(info.bmHeight)};
  // Where the mouse is inside the picture (its centre unless the picture was cut at the tree's edge).
  image.ptOffset = POINT{hotSpot.X - imagePosition_.X, hotSpot.Y - imagePosition_.Y};
  image.hbmpDragImage = static_cast<HBITMAP>(CopyImage(picture, IMAGE_BITMAP, 0, 0, LR_COPYRETURNORG));
  image.crColorKey = colorKey == clNone ? CLR_NONE : ColorToRGB(colorKey);
  HRESULT result = image.hbmpDragImage != nullptr ? helper->InitializeFromBitmap(&image, dataObject) : E_FAIL;
  helper->Release();
  // On success the helper owns the copy.
  if (FAILED(result) && image.hbmpDragImage != nullptr) DeleteObject(image.hbmpDragImage);
  return SUCCEEDED(result);
}

void TVTDragImage::BuildAlphaChannel() {
  bool keyed = colorKey != clNone;
  uint32_t key = keyed ? PixelColor(colorKey) : 0;
  double scale = std::max(width, height);
  int centreX = width / 2, centreY = height / 2;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = dragPixels.data() + size_t(y) * width;
    double dy = (y - centreY) / scale;
    for (int x = 0; x < width; ++x) {
      uint32_t color = row[x] & 0x00FFFFFF;
      uint32_t alpha = 0;
      if (!keyed || color != key) {
        double dx = (x - centreX) / scale;
        alpha = static_cast<uint32_t>(std::lround(255 * std::exp(-8 * std::sqrt(dx * dx + dy * dy))));
      }
      row[x] = color | alpha << 24;
    }
  }
}

void TVTDragImage::Compose() {
  if (!states.Contains(dsPrepared) || window == nullptr) return;
  // Per-pixel alpha scaled by the transparency when the picture fades or has a
  // transparent colour, else one alpha for the whole picture.
  bool masterAlpha = fade || colorKey != clNone;
  for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
    uint32_t p = dragPixels[i];
    uint32_t alpha = masterAlpha ? ((p >> 24) * transparency) >> 8 : transparency;
    auto channel = [&](int shift) {
      return uint32_t(ClampByte(int(p >> shift & 0xFF) + postBlendBias)) * alpha / 255 << shift;
    };
    alphaPixels[i] = alpha << 24 | channel(16) | channel(8) | channel(0);
  }
  POINT position{imagePosition.X, imagePosition.Y};
  SIZE size{width, height};
  POINT origin{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(window, nullptr, &position, &size, alphaDC, &origin, 0, &blend, ULW_ALPHA);
}

void TVTDragImage::SetTransparency(uint8_t value) {
  if (value == transparency) return;
  transparency = value;
  Compose();
}

void TVTDragImage::SetPostBlendBias(int value) {
  if (value == postBlendBias) return;
  postBlendBias = value;
  Compose();
}

void TVTDragImage::SetFade(bool value) {
  if (value == fade) return;
  fade = value;
  Compose();
}

bool TVTDragImage::Visible() const {
  return states.Contains(dsInDrag) && states.Contains(dsPrepared) && !states.Contains(dsHidden) &&
         !states.Contains(dsSystemSupport);
}

void TVTDragImage::ShowDragImage() {
  if (!states.Contains(dsHidden) || !states.Contains(dsInDrag) || !states.Contains(dsPrepared) ||
      states.Contains(dsSystemSupport))
    return;
  states.Exclude(dsHidden);
  SetWindowPos(window, HWND_TOPMOST, imagePosition.X, imagePosition.Y, 0, 0,
               SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TVTDragImage::HideDragImage() {
  if (!Visible()) return;
  states.Include(dsHidden);
  ShowWindow(window, SW_HIDE);
}

TPoint TVTDragImage::Displacement(TPoint p) const {
  TPoint d{lastPosition.X - p.X, lastPosition.Y - p.Y};
  if (restriction == dmrHorizontalOnly) d.Y = 0;
  if (restriction == dmrVerticalOnly) d.X = 0;
  return d;
}

bool TVTDragImage::WillMove(TPoint p) const {
  TPoint d = Displacement(p);
  return Visible() && (d.X != 0 || d.Y != 0);
}

bool TVTDragImage::DragTo(TPoint p, bool forceRepaint) {
  TPoint d = Displacement(p);
  if (d.X == 0 && d.Y == 0 && !forceRepaint) return false;
  // A hidden picture moves along too, so that it shows again under the mouse.
  imagePosition = TPoint{imagePosition.X - d.X, imagePosition.Y - d.Y};
  lastPosition = p;
  if (!Visible()) return true;
  if (forceRepaint && owner != nullptr && owner->HandleAllocated()) owner->Update();
  SetWindowPos(window, nullptr, imagePosition.X, imagePosition.Y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

TRect TVTDragImage::GetDragImageRect() const {
  if (!Visible()) return TRect();
  return Bounds(imagePosition.X, imagePosition.Y, width, height);
}

void TVTDragImage::RecaptureBackground(TBaseVirtualTree* tree, TRect r, HRGN visibleRegion, bool captureNCArea,
                                       bool reshow) {
  // The layered window holds no copy of what lies under it: the system
  // composes the repainted tree with the picture by itself.
  if (Visible() && reshow) GdiFlush();
}

uint32_t TVTDragImage::PixelAt(int x, int y) const {
  if (dragPixels.empty() || x < 0 || y < 0 || x >= width || y >= height) return 0;
  return dragPixels[size_t(y) * width + x];
}

void TVTDragImage::EndDrag() {
  HideDragImage();
  states.Exclude(dsInDrag).Exclude(dsPrepared);
  FreeImages();
}

void TVTDragImage::FreeImages() {
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
  if (alphaDC != nullptr) {
    if (oldAlphaBitmap != nullptr) SelectObject(alphaDC, oldAlphaBitmap);
    DeleteDC(alphaDC);
  }
  alphaDC = nullptr;
  oldAlphaBitmap = nullptr;
  if (alphaBitmap != nullptr) DeleteObject(alphaBitmap);
  alphaBitmap = nullptr;
  alphaPixels = nullptr;
  dragPixels.clear();
  dragPixels.shrink_to_fit();
  width = height = 0;
}
