#include "win/graphics/Themes.h"

#include <vssym32.h>

// Never destroyed: controls freed at exit may still draw, and the system
// closes the theme handles with the process.
TThemeServices* ThemeServices() {
  static auto* services = new TThemeServices;
  return services;
}

TThemeServices::~TThemeServices() { UpdateThemes(); }

bool TThemeServices::ThemesEnabled() const { return IsThemeActive() && IsAppThemed(); }

HTHEME TThemeServices::Theme(TThemedElement element) {
  if (element < 0 || element >= teCount || !ThemesEnabled()) return nullptr;
  if (themes[element] == nullptr) {
    static const wchar_t* const kClasses[teCount] = {L"BUTTON",   L"HEADER", L"TREEVIEW", L"SCROLLBAR",
                                                    L"PROGRESS", L"TAB",    L"EDIT",     L"TOOLTIP"};
    themes[element] = OpenThemeData(nullptr, kClasses[element]);
  }
  return themes[element];
}

void TThemeServices::UpdateThemes() {
  for (HTHEME& theme : themes) {
    if (theme != nullptr) CloseThemeData(theme);
    theme = nullptr;
  }
}

void TThemeServices::DrawElement(HDC dc, const TThemedElementDetails& details, const TRect& r, const TRect* clip) {
  HTHEME theme = Theme(details.element);
  if (theme == nullptr) return;
  RECT rc = r.ToRECT();
  RECT clipRc = clip != nullptr ? clip->ToRECT() : RECT{};
  DrawThemeBackground(theme, dc, details.part, details.state, &rc, clip != nullptr ? &clipRc : nullptr);
}

TRect TThemeServices::ContentRect(HDC dc, const TThemedElementDetails& details, const TRect& bounds) {
  HTHEME theme = Theme(details.element);
  if (theme == nullptr) return bounds;
  RECT in = bounds.ToRECT(), out{};
  if (FAILED(GetThemeBackgroundContentRect(theme, dc, details.part, details.state, &in, &out))) return bounds;
  return TRect::FromRECT(out);
}

TSize TThemeServices::PartSize(HDC dc, const TThemedElementDetails& details) {
  HTHEME theme = Theme(details.element);
  SIZE size{};
  if (theme == nullptr || FAILED(GetThemePartSize(theme, dc, details.part, details.state, nullptr, TS_TRUE, &size)))
    return TSize{};
  return TSize{static_cast<int32_t>(size.cx), static_cast<int32_t>(size.cy)};
}

bool TThemeServices::HasTransparentParts(const TThemedElementDetails& details) {
  HTHEME theme = Theme(details.element);
  return theme != nullptr && IsThemeBackgroundPartiallyTransparent(theme, details.part, details.state);
}

void TThemeServices::DrawParentBackground(HWND window, HDC dc, const TRect* r) {
  RECT rc = r != nullptr ? r->ToRECT() : RECT{};
  DrawThemeParentBackground(window, dc, r != nullptr ? &rc : nullptr);
}

void TThemeServices::DrawCheckBox(HDC dc, const TRect& r, TThemedCheckState state, bool hot, bool pressed,
                                  bool disabled) {
  if (Theme(teButton) != nullptr) {
    // Four states per check state: normal, hot, pressed, disabled.
    int base = state == cbsChecked ? CBS_CHECKEDNORMAL : state == cbsMixed ? CBS_MIXEDNORMAL : CBS_UNCHECKEDNORMAL;
    int offset = disabled ? 3 : pressed ? 2 : hot ? 1 : 0;
    DrawElement(dc, TThemedElementDetails{teButton, BP_CHECKBOX, base + offset}, r);
    return;
  }
  UINT flags = DFCS_BUTTONCHECK;
  if (state == cbsChecked) flags |= DFCS_CHECKED;
  if (state == cbsMixed) flags = DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (pressed) flags |= DFCS_PUSHED;
  if (disabled) flags |= DFCS_INACTIVE;
  if (hot) flags |= DFCS_HOT;
  RECT rc = r.ToRECT();
  DrawFrameControl(dc, &rc, DFC_BUTTON, flags);
}

void TThemeServices::DrawRadioButton(HDC dc, const TRect& r, bool checked, bool hot, bool pressed, bool disabled) {
  if (Theme(teButton) != nullptr) {
    int base = checked ? RBS_CHECKEDNORMAL : RBS_UNCHECKEDNORMAL;
    int offset = disabled ? 3 : pressed ? 2 : hot ? 1 : 0;
    DrawElement(dc, TThemedElementDetails{teButton, BP_RADIOBUTTON, base + offset}, r);
    return;
  }
  UINT flags = DFCS_BUTTONRADIO | (checked ? DFCS_CHECKED : 0) | (pressed ? DFCS_PUSHED : 0) |
               (disabled ? DFCS_INACTIVE : 0) | (hot ? DFCS_HOT : 0);
  RECT rc = r.ToRECT();
  DrawFrameControl(dc, &rc, DFC_BUTTON, flags);
}

void TThemeServices::DrawPushButton(HDC dc, const TRect& r, bool hot, bool pressed, bool disabled, bool isDefault) {
  if (Theme(teButton) != nullptr) {
    int state = disabled ? PBS_DISABLED : pressed ? PBS_PRESSED : hot ? PBS_HOT : isDefault ? PBS_DEFAULTED : PBS_NORMAL;
    DrawElement(dc, TThemedElementDetails{teButton, BP_PUSHBUTTON, state}, r);
    return;
  }
  RECT rc = r.ToRECT();
  if (isDefault) {
    FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&rc, -1, -1);
  }
  DrawFrameControl(dc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
}

void TThemeServices::DrawHeaderItem(HDC dc, const TRect& r, bool hot, bool pressed) {
  if (Theme(teHeader) != nullptr) {
    int state = pressed ? HIS_PRESSED : hot ? HIS_HOT : HIS_NORMAL;
    DrawElement(dc, TThemedElementDetails{teHeader, HP_HEADERITEM, state}, r);
    return;
  }
  RECT rc = r.ToRECT();
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(dc, &rc, pressed ? BDR_SUNKENOUTER : EDGE_RAISED, BF_RECT | (pressed ? 0 : BF_SOFT));
}
