// The frame inside the tree's window border: bevels and the border ring in
// BorderColor, how far the window's own border reaches, the header placed
// inside the frame, and the canvas font watch the text painting relies on.
#include <gtest/gtest.h>

#include <random>

#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
uint32_t Sys(int index) { return Rgb(GetSysColor(index)); }

class FrameTree : public TVirtualDrawTree {
public:
  using TBaseVirtualTree::fontChanged;
  using TBaseVirtualTree::RedirectFontChangeEvent;
  using TBaseVirtualTree::RestoreFontChangeEvent;
};

struct BorderTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 420, 300);
    tree = New<FrameTree>(form);
    tree->SetParent(form);
    tree->SetBounds(10, 10, 300, 200);
    tree->ScrollBarOptions()->SetScrollBars(ssNone);
    form->Show();
    tree->DoStateChange({}, {tsUseThemes});
    qvtest::Pump(30);
  }
  void TearDown() override { form->Free(); }

  // The client origin in window coordinates.
  POINT ClientOrigin() {
    RECT window;
    GetWindowRect(tree->Handle(), &window);
    POINT origin{0, 0};
    ClientToScreen(tree->Handle(), &origin);
    return POINT{origin.x - window.left, origin.y - window.top};
  }

  TForm* form = nullptr;
  FrameTree* tree = nullptr;
};

// Random frames, window styles and header states: the client area starts where
// the window's border and the frame end, and a visible header sits right above
// it with the same left edge.
TEST_F(BorderTest, ClientAreaAndHeaderFollowTheBorderAndFrame) {
  std::mt19937 random(31);
  TVTHeader* header = tree->Header();
  header->Columns()->Add()->SetWidth(120);
  header->SetHeight(18);
  for (int round = 0; round < 60; ++round) {
    tree->SetBorderStyle(random() % 3 ? bsSingle : bsNone);
    tree->SetCtl3D(random() % 2 == 0);
    tree->SetBevelKind(static_cast<TBevelKind>(random() % 4));
    tree->SetBevelInner(static_cast<TBevelCut>(random() % 4));
    tree->SetBevelOuter(static_cast<TBevelCut>(random() % 4));
    TBevelEdges edges;
    unsigned mask = random() % 16;
    for (int e = 0; e < 4; ++e) edges.Set(static_cast<TBevelEdge>(e), (mask >> e) & 1);
    tree->SetBevelEdges(edges);
    tree->SetBevelWidth(1 + random() % 3);
    tree->SetBorderWidth(random() % 6);
    bool thick = random() % 3 == 0;
    LONG style = GetWindowLongW(tree->Handle(), GWL_STYLE);
    SetWindowLongW(tree->Handle(), GWL_STYLE, thick ? style | WS_THICKFRAME : style & ~WS_THICKFRAME);
    bool shown = random() % 2 == 0;
    header->SetOptions(shown ? header->Options().Include(hoVisible) : header->Options().Exclude(hoVisible));
    SetWindowPos(tree->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tree->UpdateHeaderRect();

    TSize border = tree->GetBorderDimensions();
    EXPECT_LE(border.cx, 0);
    EXPECT_LE(border.cy, 0);
    // The frame: BevelWidth per cut ring on the edges named, when a bevel is drawn, and the ring.
    int rings = (tree->BevelInner() != bvNone) + (tree->BevelOuter() != bvNone);
    int bevel = tree->BevelKind() != bkNone ? tree->BevelWidth() * rings : 0;
    int left = -border.cx + tree->BorderWidth() + (tree->BevelEdges().Contains(beLeft) ? bevel : 0);
    int top = -border.cy + tree->BorderWidth() + (tree->BevelEdges().Contains(beTop) ? bevel : 0);
    POINT origin = ClientOrigin();
    SCOPED_TRACE(testing::Message() << "round " << round << " thick " << thick << " header " << shown);
    EXPECT_EQ(origin.x, left);
    EXPECT_EQ(origin.y, top + (shown ? 18 : 0));
    TRect headerRect = tree->HeaderRect();
    if (shown) {
      EXPECT_EQ(headerRect.Left, origin.x);
      EXPECT_EQ(headerRect.Bottom, origin.y);
      // The header's point just above the client area's first pixel hits the header.
      EXPECT_TRUE(header->InHeader(TPoint{0, -1}));
      EXPECT_FALSE(header->InHeader(TPoint{0, 0}));
    } else {
      EXPECT_EQ(headerRect.Right - headerRect.Left, 0);
    }
  }
}

TEST_F(BorderTest, TheRingTakesTheBorderColorAndTheBevelItsEdges) {
  tree->Colors()->SetBorderColor(clRed);
  tree->SetColor(clWhite);
  tree->SetBorderWidth(4);
  qvtest::Pump(30);
  HWND h = tree->Handle();
  int mid = tree->ClientHeight() / 2;
  // The ring lies left of the client area, four pixels wide.
  for (int x = -4; x < 0; ++x) EXPECT_EQ(qvtest::PixelAt(h, x, mid), 0xFF0000u) << x;
  EXPECT_NE(qvtest::PixelAt(h, -5, mid), 0xFF0000u);
  EXPECT_EQ(qvtest::PixelAt(h, 0, mid), 0xFFFFFFu);
  EXPECT_EQ(qvtest::PixelAt(h, tree->ClientWidth(), mid), 0xFF0000u);
  EXPECT_EQ(qvtest::PixelAt(h, 20, -1), 0xFF0000u);

  // A lowered outer and a raised inner bevel outside the ring, on the left edge only.
  tree->SetBevelKind(bkTile);
  tree->SetBevelOuter(bvLowered);
  tree->SetBevelInner(bvRaised);
  tree->SetBevelEdges(TBevelEdges{beLeft});
  tree->SetBevelWidth(1);
  qvtest::Pump(30);
  mid = tree->ClientHeight() / 2;
  EXPECT_EQ(qvtest::PixelAt(h, -6, mid), Sys(COLOR_3DSHADOW));
  EXPECT_EQ(qvtest::PixelAt(h, -5, mid), Sys(COLOR_3DHIGHLIGHT));
  EXPECT_EQ(qvtest::PixelAt(h, -4, mid), 0xFF0000u);
  // No bevel at the top: the ring starts right inside the window's border.
  EXPECT_EQ(qvtest::PixelAt(h, 20, -4), 0xFF0000u);
  EXPECT_NE(qvtest::PixelAt(h, 20, -5), 0xFF0000u);

  // Without the 3D look the bevel is drawn flat and mono, and the border is a plain line.
  tree->SetCtl3D(false);
  qvtest::Pump(30);
  EXPECT_TRUE(GetWindowLongW(h = tree->Handle(), GWL_STYLE) & WS_BORDER);
  EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(tree->GetBorderDimensions().cx, -1);
  mid = tree->ClientHeight() / 2;
  EXPECT_NE(qvtest::PixelAt(h, -6, mid), Sys(COLOR_3DSHADOW));
  EXPECT_EQ(qvtest::PixelAt(h, -4, mid), 0xFF0000u);
}

TEST_F(BorderTest, AVisibleHeaderIsPaintedInsideTheRing) {
  tree->Colors()->SetBorderColor(clLime);
  tree->SetBorderWidth(3);
  TVTHeader* header = tree->Header();
  header->Columns()->Add()->SetWidth(100);
  header->SetHeight(20);
  header->SetOptions(header->Options().Include(hoVisible));
  qvtest::Pump(30);
  HWND h = tree->Handle();
  // The ring above the header, then the header's face.
  EXPECT_EQ(qvtest::PixelAt(h, 50, -21), 0x00FF00u);
  EXPECT_NE(qvtest::PixelAt(h, 50, -10), 0x00FF00u);
  EXPECT_EQ(qvtest::PixelAt(h, -1, -10), 0x00FF00u);
}

TEST_F(BorderTest, FontWatchCallsTheHandlerItStandsInForOnce) {
  TBitmap* bitmap = New<TBitmap>();
  bitmap->SetSize(4, 4);
  TCanvas* canvas = bitmap->Canvas();
  static int calls = 0;
  calls = 0;
  canvas->Font()->OnChange = [](TObject*) { ++calls; };
  TNotifyEvent original = canvas->Font()->OnChange;
  tree->fontChanged = false;
  tree->RedirectFontChangeEvent(canvas);
  // A second redirection must not make the watch call itself.
  tree->RedirectFontChangeEvent(canvas);
  canvas->Font()->SetSize(15);
  EXPECT_TRUE(tree->fontChanged);
  EXPECT_EQ(calls, 1);
  tree->RestoreFontChangeEvent(canvas);
  EXPECT_TRUE(canvas->Font()->OnChange == original);
  tree->fontChanged = false;
  canvas->Font()->SetSize(16);
  EXPECT_FALSE(tree->fontChanged);
  EXPECT_EQ(calls, 2);
  bitmap->Free();
}

TEST_F(BorderTest, FormDefinitionsCarryTheFrame) {
  TForm* read = qvtest::NewFormFromText<TForm>(R"(
TForm FrameForm {
  ClientWidth = 300;
  ClientHeight = 200;
  TVirtualDrawTree Files {
    Left = 0; Top = 0; Width = 250; Height = 180;
    BevelKind = bkFlat;
    BevelInner = bvNone;
    BevelOuter = bvRaised;
    BevelEdges = [beTop, beBottom];
    BevelWidth = 2;
    BorderWidth = 3;
    Ctl3D = False;
  }
}
)");
  auto* files = static_cast<TVirtualDrawTree*>(read->FindComponent("Files"));
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(files->BevelKind(), bkFlat);
  EXPECT_EQ(files->BevelInner(), bvNone);
  EXPECT_EQ(files->BevelOuter(), bvRaised);
  EXPECT_TRUE(files->BevelEdges() == (TBevelEdges{beTop, beBottom}));
  EXPECT_EQ(files->BevelWidth(), 2);
  EXPECT_EQ(files->BorderWidth(), 3);
  EXPECT_FALSE(files->Ctl3D());
  read->Show();
  qvtest::Pump(20);
  RECT client;
  GetClientRect(files->Handle(), &client);
  // A plain line, the ring on every side and a 2-pixel bevel at top and bottom.
  EXPECT_EQ(client.right, 250 - 2 * (1 + 3) - (GetWindowLongW(files->Handle(), GWL_STYLE) & WS_VSCROLL ? GetSystemMetrics(SM_CXVSCROLL) : 0));
  EXPECT_EQ(client.bottom, 180 - 2 * (1 + 3 + 2) - (GetWindowLongW(files->Handle(), GWL_STYLE) & WS_HSCROLL ? GetSystemMetrics(SM_CYHSCROLL) : 0));
  read->Free();
}

}  // namespace
