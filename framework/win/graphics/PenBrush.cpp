#include "win/graphics/Graphics.h"

// Pen and brush: attributes with a handle made on first use. As with the font,
// a change hands the old handle to no one: listeners deselect it in OnChange
// and it is deleted afterwards.

namespace {

template <class H>
void ReplaceAndNotify(H& handle, TNotifyEvent& onChange, TObject* sender) {
  H old = handle;
  handle = nullptr;
  if (onChange) onChange(sender);
  if (old != nullptr) DeleteObject(old);
}

}  // namespace

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
  if (handle != nullptr) DeleteObject(handle);
  handle = nullptr;
}

void TPen::Changed() { ReplaceAndNotify(handle, OnChange, this); }

void TPen::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TPen*>(source);
  if (other == nullptr) {
    TGraphicsObject::Assign(source);
    return;
  }
  if (other == this) return;
  color = other->color;
  width = other->width;
  style = other->style;
  mode = other->mode;
  Changed();
}

HPEN TPen::Handle() {
  if (handle != nullptr) return handle;
  static const int kStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
  handle = CreatePen(kStyles[style], width, ColorToRGB(color));
  if (handle == nullptr) handle = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  return handle;
}

void TPen::SetColor(TColor value) {
  if (value == color) return;
  color = value;
  Changed();
}

void TPen::SetWidth(int value) {
  if (value < 1) value = 1;
  if (value == width) return;
  width = value;
  Changed();
}

void TPen::SetStyle(TPenStyle value) {
  if (value == style) return;
  style = value;
  Changed();
}

void TPen::SetMode(TPenMode value) {
  if (value == mode) return;
  mode = value;
  if (OnChange) OnChange(this);
}

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
  if (handle != nullptr) DeleteObject(handle);
  handle = nullptr;
}

void TBrush::Changed() { ReplaceAndNotify(handle, OnChange, this); }

void TBrush::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TBrush*>(source);
  if (other == nullptr) {
    TGraphicsObject::Assign(source);
    return;
  }
  if (other == this) return;
  color = other->color;
  style = other->style;
  bitmap = other->bitmap;
  Changed();
}

HBRUSH TBrush::Handle() {
  if (handle != nullptr) return handle;
  if (bitmap != nullptr && bitmap->Handle() != nullptr) {
    handle = CreatePatternBrush(bitmap->Handle());
  } else if (style == bsClear) {
    LOGBRUSH lb{BS_HOLLOW, 0, 0};
    handle = CreateBrushIndirect(&lb);
  } else if (style == bsSolid) {
    handle = CreateSolidBrush(ColorToRGB(color));
  } else {
    static const int kHatches[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
    handle = CreateHatchBrush(kHatches[style], ColorToRGB(color));
  }
  if (handle == nullptr) handle = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  return handle;
}

void TBrush::SetColor(TColor value) {
  if (value == color && style != bsClear) return;
  color = value;
  if (style == bsClear) style = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
  if (value == style) return;
  style = value;
  Changed();
}

void TBrush::SetBitmap(TBitmap* value) {
  if (value == bitmap) return;
  bitmap = value;
  Changed();
}
