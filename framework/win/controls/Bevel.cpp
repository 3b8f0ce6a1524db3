#include "win/controls/ExtCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kShapeNames = {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"};
const TEnumNames kStyleNames = {"bsLowered", "bsRaised"};

const TClassRegistrar<TBevel, TGraphicControl> kBevelRegistrar("TBevel", {
    EnumProp("Shape", &TBevel::Shape, &TBevel::SetShape, kShapeNames),
    EnumProp("Style", &TBevel::Style, &TBevel::SetStyle, kStyleNames),
});

}  // namespace

void TBevel::Create(TComponent* owner) {
  TGraphicControl::Create(owner);
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape value) {
  if (value == shape) return;
  shape = value;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
  if (value == style) return;
  style = value;
  Invalidate();
}

// Lines and frames are etched: a shadow line with a highlight one pixel
// further right and down (the other way round when raised).
void TBevel::Paint() {
  TCanvas* canvas = Canvas();
  TColor first = style == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor second = style == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = Width(), h = Height();
  auto line = [canvas](TColor color, int x1, int y1, int x2, int y2) {
    canvas->Pen()->SetColor(color);
    canvas->MoveTo(x1, y1);
    canvas->LineTo(x2, y2);
  };
  switch (shape) {
    case bsBox:
      line(first, 0, h - 1, 0, 0);
      line(first, 0, 0, w - 1, 0);
      line(second, w - 1, 0, w - 1, h - 1);
      line(second, w - 1, h - 1, -1, h - 1);
      break;
    case bsFrame:
      canvas->Brush()->SetStyle(bsClear);
      canvas->Pen()->SetColor(first);
      canvas->Rectangle(0, 0, w - 1, h - 1);
      canvas->Pen()->SetColor(second);
      canvas->Rectangle(1, 1, w, h);
      break;
    case bsTopLine:
      line(first, 0, 0, w, 0);
      line(second, 0, 1, w, 1);
      break;
    case bsBottomLine:
      line(first, 0, h - 2, w, h - 2);
      line(second, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      line(first, 0, 0, 0, h);
      line(second, 1, 0, 1, h);
      break;
    case bsRightLine:
      line(first, w - 2, 0, w - 2, h);
      line(second, w - 1, 0, w - 1, h);
      break;
    case bsSpacer:
      break;
  }
}
