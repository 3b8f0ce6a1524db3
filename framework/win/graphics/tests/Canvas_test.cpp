#include <gtest/gtest.h>

#include <memory>

#include "win/graphics/Graphics.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

// A white 32-bit bitmap of w x h to draw on.
TOwned<TBitmap> WhiteBitmap(int w, int h) {
  TOwned<TBitmap> bitmap(New<TBitmap>());
  bitmap->SetSize(w, h);
  bitmap->Canvas()->Brush()->SetColor(clWhite);
  bitmap->Canvas()->FillRect(Rect(0, 0, w, h));
  return bitmap;
}

TEST(ColorTest, SystemColoursResolveThroughTheSystem) {
  EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ColorToRGB(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0x80000000u | COLOR_BTNFACE);
}

TEST(ColorTest, TextFormsTable) {
  struct Case {
    const char* text;
    bool ok;
    TColor color;
  } cases[] = {
      {"clRed", true, clRed},           {"CLBTNFACE", true, clBtnFace},  {"$00FF0000", true, clBlue},
      {"0x10", true, 0x10},             {"255", true, 255},              {"-2147483633", true, clBtnFace},
      {"clNope", false, 0},             {"$", false, 0},                 {"12x", false, 0},
      {"", false, 0},                   {" 5", false, 0},                {"$123456789", false, 0},
  };
  for (const Case& c : cases) {
    TColor color = 12345;
    EXPECT_EQ(StringToColor(c.text, color), c.ok) << c.text;
    EXPECT_EQ(color, c.ok ? c.color : 12345) << c.text;
  }
  for (TColor color : {clRed, clBtnFace, clNone, static_cast<TColor>(0x123456)}) {
    TColor back = 0;
    ASSERT_TRUE(StringToColor(ColorToString(color), back)) << ColorToString(color);
    EXPECT_EQ(back, color);
  }
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
}

TEST(CanvasTest, ShapesUsePenForOutlineAndBrushForInside) {
  auto bitmap = WhiteBitmap(40, 40);
  TCanvas* canvas = bitmap->Canvas();
  canvas->Pen()->SetColor(clRed);
  canvas->Brush()->SetColor(clBlue);
  canvas->Rectangle(5, 5, 25, 25);
  EXPECT_EQ(canvas->Pixel(5, 5), clRed);
  EXPECT_EQ(canvas->Pixel(24, 15), clRed);
  EXPECT_EQ(canvas->Pixel(15, 15), clBlue);
  EXPECT_EQ(canvas->Pixel(25, 25), clWhite);  // right and bottom edges are outside
  // A brush change while the brush is selected takes effect at the next call.
  canvas->Brush()->SetColor(clLime);
  canvas->FillRect(Rect(30, 30, 35, 35));
  EXPECT_EQ(canvas->Pixel(32, 32), clLime);
  canvas->Brush()->SetStyle(bsClear);
  canvas->FillRect(Rect(0, 30, 5, 35));
  EXPECT_EQ(canvas->Pixel(2, 32), clWhite);
}

TEST(CanvasTest, LinesPolygonsAndFrames) {
  auto bitmap = WhiteBitmap(40, 40);
  TCanvas* canvas = bitmap->Canvas();
  canvas->Pen()->SetColor(clBlack);
  canvas->MoveTo(0, 10);
  canvas->LineTo(20, 10);
  EXPECT_EQ(canvas->Pixel(19, 10), clBlack);
  EXPECT_EQ(canvas->Pixel(20, 10), clWhite);  // the end point is not drawn
  EXPECT_EQ(canvas->PenPos(), Point(20, 10));
  canvas->Brush()->SetColor(clYellow);
  canvas->Polygon({Point(20, 20), Point(39, 20), Point(39, 39), Point(20, 39)});
  EXPECT_EQ(canvas->Pixel(30, 30), clYellow);
  canvas->Polygon({Point(1, 1)});  // too few points: nothing, no failure
  canvas->Brush()->SetColor(clGreen);
  canvas->FrameRect(Rect(0, 20, 10, 30));
  EXPECT_EQ(canvas->Pixel(0, 25), clGreen);
  EXPECT_EQ(canvas->Pixel(5, 25), clWhite);
}

TEST(CanvasTest, ClippingLimitsDrawingAndIsRestored) {
  auto bitmap = WhiteBitmap(40, 40);
  TCanvas* canvas = bitmap->Canvas();
  int saved = canvas->SaveState();
  canvas->IntersectClipRect(Rect(10, 10, 20, 20));
  EXPECT_EQ(canvas->ClipRect(), Rect(10, 10, 20, 20));
  canvas->ExcludeClipRect(Rect(10, 10, 12, 12));
  canvas->Brush()->SetColor(clRed);
  canvas->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(canvas->Pixel(15, 15), clRed);
  EXPECT_EQ(canvas->Pixel(11, 11), clWhite);
  EXPECT_EQ(canvas->Pixel(5, 5), clWhite);
  canvas->RestoreState(saved);
  EXPECT_EQ(canvas->ClipRect(), Rect(0, 0, 40, 40));
  canvas->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(canvas->Pixel(5, 5), clRed);
}

TEST(CanvasTest, WindowOriginShiftsDrawing) {
  auto bitmap = WhiteBitmap(40, 40);
  TCanvas* canvas = bitmap->Canvas();
  canvas->SetWindowOrg(Point(10, 10));
  canvas->Brush()->SetColor(clBlue);
  canvas->FillRect(Rect(10, 10, 15, 15));
  canvas->SetWindowOrg(Point(0, 0));
  EXPECT_EQ(canvas->Pixel(2, 2), clBlue);
  EXPECT_EQ(canvas->Pixel(12, 12), clWhite);
}

TEST(CanvasTest, TextOutDrawsWideTextAndMovesThePen) {
  auto bitmap = WhiteBitmap(120, 30);
  TCanvas* canvas = bitmap->Canvas();
  canvas->Font()->SetColor(clBlack);
  canvas->Brush()->SetStyle(bsClear);
  std::u16string text = u"Wipe \u00e9\u00e8";
  TSize extent = canvas->TextExtent(text);
  ASSERT_GT(extent.cx, 10);
  ASSERT_GT(extent.cy, 5);
  canvas->TextOut(2, 2, text);
  EXPECT_EQ(canvas->PenPos(), Point(2 + extent.cx, 2));
  int dark = 0;
  for (int y = 2; y < 2 + extent.cy; ++y)
    for (int x = 2; x < 2 + extent.cx; ++x) dark += (canvas->Pixel(x, y) & 0xFF) < 0x80 ? 1 : 0;
  EXPECT_GT(dark, 10);
  for (int x = 3 + extent.cx; x < 120; ++x) ASSERT_EQ(canvas->Pixel(x, 10), clWhite);
  EXPECT_EQ(canvas->TextExtent(u"").cx, 0);
  EXPECT_EQ(canvas->TextExtent(u"").cy, extent.cy);
}

TEST(CanvasTest, FontChangesReachTheDcWhileSelected) {
  auto bitmap = WhiteBitmap(10, 10);
  TCanvas* canvas = bitmap->Canvas();
  canvas->Font()->SetHeight(-10);
  int small = canvas->TextWidth(u"MMMMMMMM");
  canvas->Font()->SetHeight(-20);
  int large = canvas->TextWidth(u"MMMMMMMM");
  EXPECT_GT(large, small + 10);
  TFontStyles bold{fsBold};
  canvas->Font()->SetStyle(bold);
  EXPECT_GT(canvas->TextWidth(u"MMMMMMMM"), large);
  EXPECT_EQ(canvas->Font()->Size(), MulDiv(20, 72, canvas->Font()->PixelsPerInch()));
}

class TChangeCounter : public TObject {
public:
  void Changed(TObject*) { ++changes; }
  int changes = 0;
};

TEST(FontTest, AssigningAnEqualFontChangesNothing) {
  TOwned<TFont> font(New<TFont>());
  TOwned<TFont> other(New<TFont>());
  TOwned<TChangeCounter> counter(New<TChangeCounter>());
  font->OnChange = MakeEvent<&TChangeCounter::Changed>(counter.get());
  HFONT handle = font->Handle();
  font->Assign(other.get());
  EXPECT_EQ(counter->changes, 0);
  EXPECT_EQ(font->Handle(), handle);
  other->SetColor(clRed);
  font->Assign(other.get());
  EXPECT_EQ(counter->changes, 1);
  EXPECT_EQ(font->Color(), clRed);
  font->SetSize(12);
  EXPECT_EQ(counter->changes, 2);
  EXPECT_EQ(font->Size(), 12);
}

TEST(CanvasTest, DrawTextMeasuresWithoutDrawing) {
  auto bitmap = WhiteBitmap(100, 60);
  TCanvas* canvas = bitmap->Canvas();
  TRect r = Rect(0, 0, 60, 0);
  int height = canvas->DrawText(u"one two three four five six", r, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_GT(r.Height(), canvas->TextHeight(u"X"));  // wrapped onto several lines
  EXPECT_EQ(height, r.Height());
  for (int y = 0; y < 60; ++y) ASSERT_EQ(canvas->Pixel(30, y), clWhite);
}

TEST(CanvasTest, CopyRectAndTransparentDraw) {
  auto source = WhiteBitmap(10, 10);
  source->Canvas()->Brush()->SetColor(clRed);
  source->Canvas()->FillRect(Rect(0, 0, 5, 10));
  auto dest = WhiteBitmap(20, 20);
  dest->Canvas()->CopyRect(Rect(10, 10, 20, 20), source->Canvas(), Rect(0, 0, 10, 10));
  EXPECT_EQ(dest->Canvas()->Pixel(11, 15), clRed);
  EXPECT_EQ(dest->Canvas()->Pixel(17, 15), clWhite);

  // Drawn transparently, the source's white (its bottom-left colour is red, so fix it) lets blue through.
  dest->Canvas()->Brush()->SetColor(clBlue);
  dest->Canvas()->FillRect(Rect(0, 0, 10, 10));
  source->SetTransparentColor(clWhite);
  source->SetTransparent(true);
  dest->Canvas()->Draw(0, 0, source.get());
  EXPECT_EQ(dest->Canvas()->Pixel(2, 5), clRed);
  EXPECT_EQ(dest->Canvas()->Pixel(8, 5), clBlue);
}

TEST(CanvasTest, PlainCanvasWithoutDcRaises) {
  TOwned<TCanvas> canvas(New<TCanvas>());
  EXPECT_THROW(canvas->FillRect(Rect(0, 0, 1, 1)), EInvalidGraphicOperation);
  HDC dc = CreateCompatibleDC(nullptr);
  canvas->SetHandle(dc);
  HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
  canvas->TextWidth(u"x");
  EXPECT_NE(GetCurrentObject(dc, OBJ_FONT), original);
  // Releasing the DC puts its own font back.
  canvas->SetHandle(nullptr);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), original);
  DeleteDC(dc);
}

}  // namespace
