#include "win/graphics/Graphics.h"

// Text output of the canvas; all text is UTF-16 and goes to the wide GDI calls.

namespace {

const wchar_t* Wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }
int Length(std::u16string_view text) { return static_cast<int>(text.size()); }

}  // namespace

void TCanvas::TextOut(int x, int y, std::u16string_view text) {
  Changing();
  RequiredState({csFontValid, csBrushValid});
  UINT options = brush->Style() == bsClear ? 0 : ETO_OPAQUE;
  ExtTextOutW(handle, x, y, options, nullptr, Wide(text), static_cast<UINT>(text.size()), nullptr);
  SIZE extent{};
  GetTextExtentPoint32W(handle, Wide(text), Length(text), &extent);
  MoveToEx(handle, x + extent.cx, y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, std::u16string_view text) {
  Changing();
  RequiredState({csFontValid, csBrushValid});
  UINT options = ETO_CLIPPED;
  if (brush->Style() != bsClear) options |= ETO_OPAQUE;
  RECT rc = r.ToRECT();
  ExtTextOutW(handle, x, y, options, &rc, Wide(text), static_cast<UINT>(text.size()), nullptr);
  Changed();
}

int TCanvas::DrawText(std::u16string_view text, TRect& r, UINT format) {
  // DT_MODIFYSTRING would write into the caller's string.
  format &= ~static_cast<UINT>(DT_MODIFYSTRING);
  bool measureOnly = (format & DT_CALCRECT) != 0;
  if (!measureOnly) Changing();
  RequiredState({csFontValid, csBrushValid});
  RECT rc = r.ToRECT();
  std::u16string copy(text);
  int result = ::DrawTextW(handle, reinterpret_cast<LPWSTR>(copy.data()), Length(copy), &rc, format);
  if (measureOnly) r = TRect::FromRECT(rc);
  if (!measureOnly) Changed();
  return result;
}

TSize TCanvas::TextExtent(std::u16string_view text) {
  RequiredState({csFontValid});
  SIZE extent{};
  if (text.empty()) {
    // The height of a line even for no text.
    TEXTMETRICW tm{};
    GetTextMetricsW(handle, &tm);
    return TSize{0, static_cast<int32_t>(tm.tmHeight)};
  }
  GetTextExtentPoint32W(handle, Wide(text), Length(text), &extent);
  return TSize{static_cast<int32_t>(extent.cx), static_cast<int32_t>(extent.cy)};
}
