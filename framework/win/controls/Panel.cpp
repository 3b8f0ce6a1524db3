#include "win/controls/ExtCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kBevelNames = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
const TEnumNames kBorderStyleNames = {"bsNone", "bsSingle"};
const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

const TClassRegistrar<TPanel, TCustomControl> kPanelRegistrar("TPanel", {
    EnumProp("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner, kBevelNames),
    EnumProp("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter, kBevelNames),
    Prop("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth),
    Prop("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth),
    EnumProp("BorderStyle", &TPanel::BorderStyle, &TPanel::SetBorderStyle, kBorderStyleNames),
    EnumProp("Alignment", &TPanel::Alignment, &TPanel::SetAlignment, kAlignmentNames),
    Prop("ShowCaption", &TPanel::ShowCaption, &TPanel::SetShowCaption),
});

// Draws one bevel ring of width inside r and shrinks r past it.
void DrawBevel(TCanvas* canvas, TRect& r, TPanelBevel bevel, int width) {
  if (bevel == bvNone) return;
  TColor topLeft = bevel == bvLowered ? clBtnShadow : clBtnHighlight;
  TColor bottomRight = bevel == bvLowered ? clBtnHighlight : clBtnShadow;
  for (int i = 0; i < width; ++i) {
    if (bevel != bvSpace) {
      canvas->Pen()->SetColor(topLeft);
      canvas->Polyline({Point(r.Left, r.Bottom - 1), Point(r.Left, r.Top), Point(r.Right - 1, r.Top)});
      canvas->Pen()->SetColor(bottomRight);
      canvas->Polyline({Point(r.Right - 1, r.Top), Point(r.Right - 1, r.Bottom - 1), Point(r.Left - 1, r.Bottom - 1)});
    }
    r.Inflate(-1, -1);
  }
}

}  // namespace

const TMessageMap* TPanel::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(CM_TEXTCHANGED, &TPanel::CMTextChanged),
  });
  return &map;
}

void TPanel::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Include(csAcceptsControls).Include(csSetCaption).Include(csOpaque);
  SetControlStyle(style);
  SetBounds(0, 0, 185, 41);
}

int TPanel::FrameWidth() const {
  int width = borderWidth + (borderStyle == bsSingle ? 1 : 0);
  if (bevelOuter != bvNone) width += bevelWidth;
  if (bevelInner != bvNone) width += bevelWidth;
  return width;
}

void TPanel::AdjustClientRect(TRect& r) const {
  r = ClientRect();
  int frame = FrameWidth();
  r.Inflate(-frame, -frame);
}

void TPanel::Paint() {
  TCanvas* canvas = Canvas();
  TRect r = ClientRect();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(r);
  if (borderStyle == bsSingle) {
    canvas->Brush()->SetColor(clWindowFrame);
    canvas->FrameRect(r);
    r.Inflate(-1, -1);
  }
  DrawBevel(canvas, r, bevelOuter, bevelWidth);
  r.Inflate(-borderWidth, -borderWidth);
  DrawBevel(canvas, r, bevelInner, bevelWidth);
  if (!showCaption || Caption().empty()) return;
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  canvas->SetFont(Font());
  canvas->Brush()->SetStyle(bsClear);
  if (!Enabled()) canvas->Font()->SetColor(clGrayText);
  canvas->DrawText(AnsiToWide(Caption()), r,
                   DrawTextBiDiModeFlags(DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | kAlign[alignment]));
}

void TPanel::SetBevelInner(TPanelBevel value) {
  if (value == bevelInner) return;
  bevelInner = value;
  Realign();
  Invalidate();
}

void TPanel::SetBevelOuter(TPanelBevel value) {
  if (value == bevelOuter) return;
  bevelOuter = value;
  Realign();
  Invalidate();
}

void TPanel::SetBevelWidth(int value) {
  if (value < 1 || value == bevelWidth) return;
  bevelWidth = value;
  Realign();
  Invalidate();
}

void TPanel::SetBorderWidth(int value) {
  if (value < 0 || value == borderWidth) return;
  borderWidth = value;
  Realign();
  Invalidate();
}

void TPanel::SetBorderStyle(TFormBorderStyle value) {
  if (value != bsNone) value = bsSingle;
  if (value == borderStyle) return;
  borderStyle = value;
  Realign();
  Invalidate();
}

void TPanel::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  Invalidate();
}

void TPanel::SetShowCaption(bool value) {
  if (value == showCaption) return;
  showCaption = value;
  Invalidate();
}

void TPanel::CMTextChanged(TMessage&) { Invalidate(); }
