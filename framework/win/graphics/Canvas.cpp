#include "win/graphics/Graphics.h"

// The canvas's DC handling and its shape drawing; text is in CanvasText.cpp.

void TCanvas::Create() {
  font = New<TFont>();
  font->OnChange = MakeEvent<&TCanvas::FontChanged>(this);
  pen = New<TPen>();
  pen->OnChange = MakeEvent<&TCanvas::PenChanged>(this);
  brush = New<TBrush>();
  brush->OnChange = MakeEvent<&TCanvas::BrushChanged>(this);
}

TCanvas::~TCanvas() {
  SetHandle(nullptr);
  if (font != nullptr) font->Free();
  if (pen != nullptr) pen->Free();
  if (brush != nullptr) brush->Free();
}

HDC TCanvas::Handle() {
  if (handle == nullptr) CreateHandle();
  if (handle == nullptr) throw EInvalidGraphicOperation("Canvas does not allow drawing");
  return handle;
}

void TCanvas::CreateHandle() {}

void TCanvas::SetHandle(HDC dc) {
  if (dc == handle) return;
  if (handle != nullptr) DeselectHandles();
  handle = dc;
  state = TCanvasState();
  if (handle != nullptr) state.Include(csHandleValid);
}

void TCanvas::DeselectHandles() {
  if (handle == nullptr) return;
  if (state.Contains(csFontValid) && oldFont != nullptr) SelectObject(handle, oldFont);
  if (state.Contains(csPenValid) && oldPen != nullptr) SelectObject(handle, oldPen);
  if (state.Contains(csBrushValid) && oldBrush != nullptr) SelectObject(handle, oldBrush);
  oldFont = oldPen = oldBrush = nullptr;
  state.Exclude(csFontValid).Exclude(csPenValid).Exclude(csBrushValid);
}

void TCanvas::RequiredState(TCanvasState required) {
  HDC dc = Handle();
  if (required.Contains(csFontValid) && !state.Contains(csFontValid)) {
    HGDIOBJ previous = SelectObject(dc, font->Handle());
    if (oldFont == nullptr) oldFont = previous;
    SetTextColor(dc, ColorToRGB(font->Color()));
    state.Include(csFontValid);
  }
  if (required.Contains(csPenValid) && !state.Contains(csPenValid)) {
    HGDIOBJ previous = SelectObject(dc, pen->Handle());
    if (oldPen == nullptr) oldPen = previous;
    static const int kRasterOps[] = {R2_BLACK,       R2_WHITE,       R2_NOP,        R2_NOT,
                                     R2_COPYPEN,     R2_NOTCOPYPEN,  R2_MERGEPENNOT, R2_MASKPENNOT,
                                     R2_MERGENOTPEN, R2_MASKNOTPEN,  R2_MERGEPEN,   R2_NOTMERGEPEN,
                                     R2_MASKPEN,     R2_NOTMASKPEN,  R2_XORPEN,     R2_NOTXORPEN};
    SetROP2(dc, kRasterOps[pen->Mode()]);
    state.Include(csPenValid);
  }
  if (required.Contains(csBrushValid) && !state.Contains(csBrushValid)) {
    HGDIOBJ previous = SelectObject(dc, brush->Handle());
    if (oldBrush == nullptr) oldBrush = previous;
    SetBkColor(dc, ColorToRGB(brush->Color()));
    SetBkMode(dc, brush->Style() == bsClear ? TRANSPARENT : OPAQUE);
    state.Include(csBrushValid);
  }
}

// A changed attribute is deselected at once, so its old handle can be deleted,
// and selected again before the next drawing call.
void TCanvas::FontChanged(TObject*) {
  if (handle != nullptr && state.Contains(csFontValid)) {
    SelectObject(handle, oldFont);
    oldFont = nullptr;
    state.Exclude(csFontValid);
  }
}

void TCanvas::PenChanged(TObject*) {
  if (handle != nullptr && state.Contains(csPenValid)) {
    SelectObject(handle, oldPen);
    oldPen = nullptr;
    state.Exclude(csPenValid);
  }
}

void TCanvas::BrushChanged(TObject*) {
  if (handle != nullptr && state.Contains(csBrushValid)) {
    SelectObject(handle, oldBrush);
    oldBrush = nullptr;
    state.Exclude(csBrushValid);
  }
}

void TCanvas::SetFont(TFont* value) {
  if (value != nullptr) font->Assign(value);
}

void TCanvas::SetPen(TPen* value) {
  if (value != nullptr) pen->Assign(value);
}

void TCanvas::SetBrush(TBrush* value) {
  if (value != nullptr) brush->Assign(value);
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

TPoint TCanvas::PenPos() {
  POINT p{};
  GetCurrentPositionEx(Handle(), &p);
  return TPoint::FromPOINT(p);
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
  Changing();
  RequiredState({csPenValid, csBrushValid});
  ::LineTo(handle, x, y);
  Changed();
}

namespace {

std::vector<POINT> ToPoints(const std::vector<TPoint>& points) {
  std::vector<POINT> result;
  result.reserve(points.size());
  for (const TPoint& p : points) result.push_back(p.ToPOINT());
  return result;
}

}  // namespace

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  Changing();
  RequiredState({csPenValid, csBrushValid});
  std::vector<POINT> raw = ToPoints(points);
  ::Polyline(handle, raw.data(), static_cast<int>(raw.size()));
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  Changing();
  RequiredState({csPenValid, csBrushValid});
  std::vector<POINT> raw = ToPoints(points);
  ::Polygon(handle, raw.data(), static_cast<int>(raw.size()));
  Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  Changing();
  RequiredState({csPenValid, csBrushValid});
  ::Rectangle(handle, x1, y1, x2, y2);
  Changed();
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) {
  Changing();
  RequiredState({csPenValid, csBrushValid});
  ::RoundRect(handle, x1, y1, x2, y2, cornerWidth, cornerHeight);
  Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Changing();
  RequiredState({csPenValid, csBrushValid});
  ::Ellipse(handle, x1, y1, x2, y2);
  Changed();
}

void TCanvas::FillRect(const TRect& r) {
  if (brush->Style() == bsClear && brush->Bitmap() == nullptr) return;
  Changing();
  RequiredState({csBrushValid});
  RECT rc = r.ToRECT();
  ::FillRect(handle, &rc, brush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& r) {
  Changing();
  RequiredState({csBrushValid});
  RECT rc = r.ToRECT();
  ::FrameRect(handle, &rc, brush->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& r) {
  Changing();
  RequiredState({csBrushValid});
  RECT rc = r.ToRECT();
  ::DrawFocusRect(handle, &rc);
  Changed();
}

void TCanvas::FloodFill(int x, int y, TColor color, TFillStyle fillStyle) {
  Changing();
  RequiredState({csBrushValid});
  ExtFloodFill(handle, x, y, ColorToRGB(color), fillStyle == fsSurface ? FLOODFILLSURFACE : FLOODFILLBORDER);
  Changed();
}

TColor TCanvas::Pixel(int x, int y) { return static_cast<TColor>(GetPixel(Handle(), x, y)); }

void TCanvas::SetPixel(int x, int y, TColor color) {
  Changing();
  ::SetPixel(Handle(), x, y, ColorToRGB(color));
  Changed();
}

TRect TCanvas::ClipRect() {
  RECT rc{};
  GetClipBox(Handle(), &rc);
  return TRect::FromRECT(rc);
}

void TCanvas::IntersectClipRect(const TRect& r) { ::IntersectClipRect(Handle(), r.Left, r.Top, r.Right, r.Bottom); }

void TCanvas::ExcludeClipRect(const TRect& r) { ::ExcludeClipRect(Handle(), r.Left, r.Top, r.Right, r.Bottom); }

void TCanvas::ResetClip() { SelectClipRgn(Handle(), nullptr); }

// Our objects are taken out of the DC before it is saved, so a restore never
// brings back a handle that was changed (and deleted) in between.
int TCanvas::SaveState() {
  HDC dc = Handle();
  DeselectHandles();
  return SaveDC(dc);
}

void TCanvas::RestoreState(int id) {
  HDC dc = Handle();
  DeselectHandles();
  RestoreDC(dc, id);
}

TPoint TCanvas::WindowOrg() {
  POINT p{};
  GetWindowOrgEx(Handle(), &p);
  return TPoint::FromPOINT(p);
}

void TCanvas::SetWindowOrg(TPoint p) { SetWindowOrgEx(Handle(), p.X, p.Y, nullptr); }

TPoint TCanvas::BrushOrg() {
  POINT p{};
  GetBrushOrgEx(Handle(), &p);
  return TPoint::FromPOINT(p);
}

void TCanvas::SetBrushOrg(TPoint p) { SetBrushOrgEx(Handle(), p.X, p.Y, nullptr); }

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return;
  Changing();
  graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return;
  Changing();
  graphic->Draw(this, r);
  Changed();
}

void TCanvas::CopyRect(const TRect& destRect, TCanvas* source, const TRect& srcRect) {
  if (source == nullptr) return;
  Changing();
  RequiredState({csBrushValid});
  HDC sourceDC = source->Handle();
  if (destRect.Width() == srcRect.Width() && destRect.Height() == srcRect.Height()) {
    BitBlt(handle, destRect.Left, destRect.Top, destRect.Width(), destRect.Height(), sourceDC, srcRect.Left,
           srcRect.Top, copyMode);
  } else {
    SetStretchBltMode(handle, COLORONCOLOR);
    StretchBlt(handle, destRect.Left, destRect.Top, destRect.Width(), destRect.Height(), sourceDC, srcRect.Left,
               srcRect.Top, srcRect.Width(), srcRect.Height(), copyMode);
  }
  Changed();
}
