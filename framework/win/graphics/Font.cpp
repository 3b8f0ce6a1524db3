#include "win/graphics/Graphics.h"

#include <cstring>

#include "win/graphics/GraphicsPrivate.h"

int ScreenPixelsPerInch() {
  // A memory DC of the screen's kind tells the screen's resolution, and
  // making one needs no window server (the screen's own DC is several round
  // trips to it under Wine).
  static const int ppi = [] {
    HDC dc = CreateCompatibleDC(nullptr);
    int value = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) DeleteDC(dc);
    return value > 0 ? value : 96;
  }();
  return ppi;
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

void TFont::Create() {
  pixelsPerInch = ScreenPixelsPerInch();
  height = -MulDiv(8, pixelsPerInch, 72);
}

TFont::~TFont() { FreeHandle(); }

void TFont::FreeHandle() {
  if (handle == nullptr) return;
  DeleteObject(handle);
  handle = nullptr;
}

void TFont::Changed() {
  // Listeners may still have the old handle selected (a canvas) or set on a
  // window; they deselect it or take the new one in OnChange, so the old one
  // is deleted only afterwards.
  HFONT old = handle;
  handle = nullptr;
  TGraphicsObject::Changed();
  if (old != nullptr) DeleteObject(old);
}

void TFont::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TFont*>(source);
  if (other == nullptr) {
    TGraphicsObject::Assign(source);
    return;
  }
  if (other == this) return;
  // Keep the point size when the two fonts are for different resolutions.
  int newHeight = other->pixelsPerInch == pixelsPerInch ? other->height : -MulDiv(other->Size(), pixelsPerInch, 72);
  // Painting code assigns the same font again and again; that changes nothing.
  if (name == other->name && height == newHeight && style == other->style && color == other->color &&
      charset == other->charset && pitch == other->pitch)
    return;
  name = other->name;
  height = newHeight;
  style = other->style;
  color = other->color;
  charset = other->charset;
  pitch = other->pitch;
  Changed();
}

HFONT TFont::Handle() {
  if (handle != nullptr) return handle;
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = style.Contains(fsItalic);
  lf.lfUnderline = style.Contains(fsUnderline);
  lf.lfStrikeOut = style.Contains(fsStrikeOut);
  lf.lfCharSet = charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = pitch == fpFixed ? FIXED_PITCH : pitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  std::u16string face = AnsiToWide(name);
  if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
  std::memcpy(lf.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(char16_t));
  handle = CreateFontIndirectW(&lf);
  if (handle == nullptr) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return handle;
}

void TFont::SetHandle(HFONT font) {
  if (font == nullptr) return;
  LOGFONTW lf{};
  if (GetObjectW(font, sizeof lf, &lf) == 0) return;
  name = WideToAnsi(reinterpret_cast<const char16_t*>(lf.lfFaceName));
  height = lf.lfHeight;
  TFontStyles styles;
  styles.Set(fsBold, lf.lfWeight >= FW_BOLD);
  styles.Set(fsItalic, lf.lfItalic != 0);
  styles.Set(fsUnderline, lf.lfUnderline != 0);
  styles.Set(fsStrikeOut, lf.lfStrikeOut != 0);
  style = styles;
  charset = lf.lfCharSet;
  int pitchBits = lf.lfPitchAndFamily & 3;
  pitch = pitchBits == FIXED_PITCH ? fpFixed : pitchBits == VARIABLE_PITCH ? fpVariable : fpDefault;
  Changed();
}

void TFont::SetName(const std::string& value) {
  if (value.empty() || value == name) return;
  name = value;
  Changed();
}

int TFont::Size() const { return -MulDiv(height, 72, pixelsPerInch); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, pixelsPerInch, 72)); }

void TFont::SetHeight(int value) {
  if (value == height) return;
  height = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value) {
  if (value == style) return;
  style = value;
  Changed();
}

void TFont::SetColor(TColor value) {
  if (value == color) return;
  color = value;
  // The colour is not part of the handle; only listeners need to know.
  TGraphicsObject::Changed();
}

void TFont::SetCharset(uint8_t value) {
  if (value == charset) return;
  charset = value;
  Changed();
}

void TFont::SetPitch(TFontPitch value) {
  if (value == pitch) return;
  pitch = value;
  Changed();
}

void TFont::SetPixelsPerInch(int value) {
  if (value <= 0 || value == pixelsPerInch) return;
  int points = Size();
  pixelsPerInch = value;
  height = -MulDiv(points, pixelsPerInch, 72);
  Changed();
}
