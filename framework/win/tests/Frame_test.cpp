// The frame of window controls: bevels and the border ring shrink the client
// area, follow every change at once and are painted in the non-client area.
#include <gtest/gtest.h>

#include <random>

#include "win/Forms.h"
#include "win/controls/ExtCtrls.h"
#include "win/testing/Harness.h"

namespace {

uint32_t Sys(int index) {
  COLORREF c = GetSysColor(index);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

struct FrameTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 300, 200);
    box = New<TCustomControl>(form);
    box->SetParent(form);
    box->SetBounds(20, 20, 160, 100);
    box->SetColor(clYellow);
    form->Show();
    qvtest::Pump(20);
  }
  void TearDown() override { form->Free(); }

  TForm* form = nullptr;
  TCustomControl* box = nullptr;
};

// Random frames against the sum of what each part takes.
TEST_F(FrameTest, ClientAreaShrinksByTheFrame) {
  std::mt19937 random(7);
  for (int round = 0; round < 80; ++round) {
    box->SetBevelKind(static_cast<TBevelKind>(random() % 4));
    box->SetBevelInner(static_cast<TBevelCut>(random() % 4));
    box->SetBevelOuter(static_cast<TBevelCut>(random() % 4));
    TBevelEdges edges;
    for (int e = 0; e < 4; ++e) edges.Set(static_cast<TBevelEdge>(e), random() % 2 == 0);
    box->SetBevelEdges(edges);
    box->SetBevelWidth(static_cast<int>(random() % 4));
    box->SetBorderWidth(static_cast<int>(random() % 5) - 1);
    EXPECT_GE(box->BevelWidth(), 1);
    EXPECT_GE(box->BorderWidth(), 0);
    int rings = (box->BevelInner() != bvNone) + (box->BevelOuter() != bvNone);
    int bevel = box->BevelKind() == bkNone ? 0 : rings * box->BevelWidth();
    auto side = [&](TBevelEdge e) { return box->BorderWidth() + (edges.Contains(e) ? bevel : 0); };
    RECT client;
    GetClientRect(box->Handle(), &client);
    SCOPED_TRACE(testing::Message() << "round " << round);
    EXPECT_EQ(client.right, 160 - side(beLeft) - side(beRight));
    EXPECT_EQ(client.bottom, 100 - side(beTop) - side(beBottom));
    POINT origin{0, 0};
    ClientToScreen(box->Handle(), &origin);
    RECT window;
    GetWindowRect(box->Handle(), &window);
    EXPECT_EQ(origin.x - window.left, side(beLeft));
    EXPECT_EQ(origin.y - window.top, side(beTop));
  }
}

TEST_F(FrameTest, RingTakesTheColourAndBevelsTheirEdges) {
  box->SetBorderWidth(3);
  box->SetBevelKind(bkTile);
  box->SetBevelOuter(bvRaised);
  box->SetBevelInner(bvLowered);
  qvtest::Pump(20);
  HWND h = box->Handle();
  int mid = box->ClientHeight() / 2;
  // From the window's left edge: raised outer, sunken inner, then the ring.
  EXPECT_EQ(qvtest::PixelAt(h, -5, mid), Sys(COLOR_3DLIGHT));
  EXPECT_EQ(qvtest::PixelAt(h, -4, mid), Sys(COLOR_3DDKSHADOW));
  for (int x = -3; x < 0; ++x) EXPECT_EQ(qvtest::PixelAt(h, x, mid), 0xFFFF00u) << x;
  // On the right the rings turn: raised outer dark, sunken inner light.
  int w = box->ClientWidth();
  EXPECT_EQ(qvtest::PixelAt(h, w + 4, mid), Sys(COLOR_3DDKSHADOW));
  EXPECT_EQ(qvtest::PixelAt(h, w + 3, mid), Sys(COLOR_3DLIGHT));
  EXPECT_EQ(qvtest::PixelAt(h, w + 2, mid), 0xFFFF00u);
}

TEST_F(FrameTest, PanelKeepsItsOwnBevelsInsideTheClientArea) {
  TPanel* panel = New<TPanel>(form);
  panel->SetParent(form);
  panel->SetBounds(190, 20, 80, 80);
  panel->SetBorderWidth(4);
  qvtest::Pump(20);
  RECT client;
  GetClientRect(panel->Handle(), &client);
  EXPECT_EQ(client.right, 80);
  EXPECT_EQ(panel->TWinControl::BorderWidth(), 0);
}

}  // namespace

// The client area a control reports before its window exists is the one the
// window then has, with a border, with an edge, and with neither.
TEST(FrameBeforeTheWindow, ClientAreaIsTheWindowsOwn) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(10, 10, 300, 200);
  struct TCase {
    TFormBorderStyle border;
    bool ctl3D;
  };
  for (TCase c : {TCase{bsNone, false}, TCase{bsSingle, false}, TCase{bsSingle, true}}) {
    TPanel* panel = New<TPanel>(form);
    panel->SetBevelOuter(bvNone);
    panel->SetBorderStyle(c.border);
    panel->SetCtl3D(c.ctl3D);
    panel->SetBounds(5, 5, 120, 80);
    TRect before = panel->ClientRect();
    panel->SetParent(form);
    RECT client;
    GetClientRect(panel->Handle(), &client);
    SCOPED_TRACE(testing::Message() << "border " << int(c.border) << " 3D " << c.ctl3D);
    EXPECT_EQ(before.Width(), client.right);
    EXPECT_EQ(before.Height(), client.bottom);
    panel->Free();
  }
  form->Free();
}
