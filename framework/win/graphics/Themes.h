#pragma once
// Theme drawing: visual-style parts through uxtheme while a theme is active
// for this program, the classic look (DrawFrameControl, DrawEdge) otherwise.
// One process-wide instance, ThemeServices(); its theme handles are opened on
// first use and reopened after UpdateThemes (WM_THEMECHANGED).
#include <windows.h>
// windows.h first: uxtheme.h needs its types.
#include <uxtheme.h>

#include <string>

#include "win/graphics/Types.h"

// The window classes whose parts can be drawn.
enum TThemedElement { teButton, teHeader, teTreeview, teScrollBar, teProgress, teTab, teEdit, teToolTip, teCount };

// One part in one state of an element (part and state numbers of vssym32.h).
struct TThemedElementDetails {
  TThemedElement element = teButton;
  int part = 0;
  int state = 0;
};

enum TThemedCheckState { cbsUnchecked, cbsChecked, cbsMixed };

class TThemeServices {
public:
  ~TThemeServices();

  // True while a theme is active and applies to this program's windows.
  bool ThemesEnabled() const;
  // The theme handle of element (null when themes are off).
  HTHEME Theme(TThemedElement element);
  // Closes the handles so the next use opens the current theme's.
  void UpdateThemes();

  // Draws a themed part; does nothing when themes are off.
  void DrawElement(HDC dc, const TThemedElementDetails& details, const TRect& r, const TRect* clip = nullptr);
  // The part's content area inside bounds (bounds itself when themes are off).
  TRect ContentRect(HDC dc, const TThemedElementDetails& details, const TRect& bounds);
  // The part's natural size (0 x 0 when themes are off).
  TSize PartSize(HDC dc, const TThemedElementDetails& details);
  bool HasTransparentParts(const TThemedElementDetails& details);
  // Paints the part of window's parent that lies behind r (for transparent parts).
  void DrawParentBackground(HWND window, HDC dc, const TRect* r);

  // Common parts, themed or classic.
  void DrawCheckBox(HDC dc, const TRect& r, TThemedCheckState state, bool hot, bool pressed, bool disabled);
  void DrawRadioButton(HDC dc, const TRect& r, bool checked, bool hot, bool pressed, bool disabled);
  void DrawPushButton(HDC dc, const TRect& r, bool hot, bool pressed, bool disabled, bool isDefault);
  void DrawHeaderItem(HDC dc, const TRect& r, bool hot, bool pressed);

private:
  HTHEME themes[teCount] = {};
};

TThemeServices* ThemeServices();
