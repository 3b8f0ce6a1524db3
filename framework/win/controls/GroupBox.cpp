#include "win/controls/StdCtrls.h"

#include <vssym32.h>

#include <algorithm>

#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/Themes.h"

namespace {

const TClassRegistrar<TGroupBox, TCustomControl> kGroupBoxRegistrar("TGroupBox", {});

}  // namespace

const TMessageMap* TGroupBox::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(CM_TEXTCHANGED, &TGroupBox::CMTextChanged),
      OnMessage(CM_DIALOGCHAR, &TGroupBox::CMDialogChar),
  });
  return &map;
}

void TGroupBox::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Include(csAcceptsControls).Include(csSetCaption).Include(csParentBackground);
  SetControlStyle(style);
  SetParentColor(true);
  SetBounds(0, 0, 185, 105);
}

// Children keep clear of the frame and the caption line.
void TGroupBox::AdjustClientRect(TRect& r) const {
  TRect client = ClientRect();
  int captionHeight = std::max(8, -Font()->Height() + 4);
  r = Rect(client.Left + 2, client.Top + captionHeight, client.Right - 2, client.Bottom - 2);
}

void TGroupBox::Paint() {
  TCanvas* canvas = Canvas();
  canvas->SetFont(Font());
  std::u16string text = AnsiToWide(Caption());
  int textHeight = canvas->TextHeight(u"0");
  TRect client = ClientRect();
  TRect frame = Rect(client.Left, client.Top + textHeight / 2, client.Right, client.Bottom);
  HDC dc = canvas->Handle();
  TThemeServices* themes = ThemeServices();
  if (themes->Theme(teButton) != nullptr) {
    int state = Enabled() ? GBS_NORMAL : GBS_DISABLED;
    // Leave the caption's place unframed.
    int saved = canvas->SaveState();
    if (!text.empty()) {
      TSize extent = canvas->TextExtent(text);
      canvas->ExcludeClipRect(Rect(6, 0, 6 + extent.cx + 4, textHeight));
    }
    themes->DrawElement(dc, TThemedElementDetails{teButton, BP_GROUPBOX, state}, frame);
    canvas->RestoreState(saved);
  } else {
    RECT rc = frame.ToRECT();
    DrawEdge(dc, &rc, EDGE_ETCHED, BF_RECT);
  }
  if (text.empty()) return;
  TRect captionRect = Rect(8, 0, client.Right - 8, textHeight);
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  TRect measured = captionRect;
  canvas->DrawText(text, measured, DT_SINGLELINE | DT_CALCRECT);
  measured.Inflate(2, 0);
  canvas->FillRect(measured);
  canvas->Brush()->SetStyle(bsClear);
  if (!Enabled()) canvas->Font()->SetColor(clGrayText);
  canvas->DrawText(text, captionRect, DrawTextBiDiModeFlags(DT_SINGLELINE | DT_LEFT));
}

void TGroupBox::CMTextChanged(TMessage&) { Invalidate(); }

void TGroupBox::CMDialogChar(TMessage& m) {
  if (!IsAccel(static_cast<unsigned>(m.WParam), Caption()) || !CanFocus()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  SelectNext(this, /*goForward=*/true, /*checkTabStop=*/true);
  m.Result = 1;
}
