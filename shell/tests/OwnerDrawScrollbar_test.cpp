// The owner-drawn scroll bar in a window: auto-repeat against a fake clock,
// the attached control's notifications with 32-bit positions, and its drawing.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "shell/OwnerDrawScrollbar.h"
#include "win/Forms.h"
#include "win/graphics/Graphics.h"
#include "win/testing/Harness.h"

namespace {

// Timers on a clock the test moves: due timers reach the bar as WM_TIMER.
class TFakeTimers : public IScrollBarTimers {
public:
  TControl* target = nullptr;
  int64_t now = 0;
  void StartTimer(UINT id, UINT ms) override { running[id] = {now + ms, ms}; }
  void StopTimer(UINT id) override { running.erase(id); }
  bool Running(UINT id) const { return running.count(id) != 0; }
  // Moves the clock to now + ms, firing every timer that falls due on the way.
  void Advance(int64_t ms) {
    int64_t end = now + ms;
    for (;;) {
      UINT next = 0;
      int64_t at = end + 1;
      for (auto& [id, timer] : running)
        if (timer.due < at) at = timer.due, next = id;
      if (next == 0) break;
      now = at;
      running[next].due = at + running[next].interval;
      target->Perform(WM_TIMER, next, 0);
    }
    now = end;
  }

private:
  struct TTimer {
    int64_t due;
    UINT interval;
  };
  std::map<UINT, TTimer> running;
};

// A control that records the scroll messages it gets and reads the bar's 32-bit position.
class TScrollReceiver : public TCustomControl {
  QV_MESSAGE_MAP(TScrollReceiver, TCustomControl)

public:
  std::vector<int> codes;
  std::vector<int> trackPositions;
  void WMVScroll(TMessage& m) {
    codes.push_back(LOWORD(m.WParam));
    if (LOWORD(m.WParam) == SB_THUMBTRACK) {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL | SIF_TRACKPOS;
      GetScrollInfo(reinterpret_cast<HWND>(m.LParam), SB_CTL, &info);
      trackPositions.push_back(info.nTrackPos);
    }
  }
};

const TMessageMap* TScrollReceiver::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_VSCROLL, &TScrollReceiver::WMVScroll),
  });
  return &map;
}

// What the bar draws, rendered through WM_PRINTCLIENT into a bitmap of its
// own (other windows on the display cannot cover it): 0x00RRGGBB at (x, y).
class TRendered {
public:
  explicit TRendered(TOwnerDrawScrollbar* bar) {
    TRect client = bar->ClientRect();
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, client.Width(), client.Height());
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bitmap);
    SendMessageW(bar->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  }
  ~TRendered() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  uint32_t At(int x, int y) const {
    COLORREF c = GetPixel(dc, x, y);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }

private:
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
};

TOwnerDrawScrollbar* gDoomedBar = nullptr;

// A control that frees the bar at the first scroll message it gets.
class TFreeingReceiver : public TCustomControl {
  QV_MESSAGE_MAP(TFreeingReceiver, TCustomControl)

public:
  int told = 0;
  void WMVScroll(TMessage&) {
    ++told;
    if (gDoomedBar != nullptr) std::exchange(gDoomedBar, nullptr)->Free();
  }
};

const TMessageMap* TFreeingReceiver::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_VSCROLL, &TFreeingReceiver::WMVScroll),
  });
  return &map;
}

struct ScrollbarFixture : ::testing::Test {
  TForm* form = nullptr;
  TOwnerDrawScrollbar* bar = nullptr;
  TFakeTimers timers;

  void SetUp() override {
    form = qvtest::NewFormFromText<TForm>("TForm ScrollHost { Left = 20; Top = 20; Width = 200; Height = 300; }");
    bar = New<TOwnerDrawScrollbar>(form);
    bar->SetParent(form);
    bar->SetBounds(10, 10, 17, 200);
    timers.target = bar;
    bar->SetTimers(&timers);
    form->Show();
    qvtest::Pump(50);
  }
  void TearDown() override { form->Free(); }

  LPARAM At(int y) { return MAKELPARAM(5, y); }
  void Down(int y) { bar->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(y)); }
  void Move(int y) { bar->Perform(WM_MOUSEMOVE, MK_LBUTTON, At(y)); }
  void Up(int y) { bar->Perform(WM_LBUTTONUP, 0, At(y)); }
};

}  // namespace

TEST_F(ScrollbarFixture, HoldingThePageAreaRepeatsAfterTheDelay) {
  bar->SetMax(1000);
  bar->SetPageSize(10);
  bar->SetLargeChange(10);
  TScrollLayout layout = bar->Layout();
  int y = layout.Track.Bottom - 3;
  Down(y);
  EXPECT_EQ(bar->Position(), 10) << "one step at once";
  EXPECT_TRUE(bar->State() & TCustomOwnerDrawScrollbar::kPageDownPressed);
  timers.Advance(499);
  EXPECT_EQ(bar->Position(), 10);
  timers.Advance(1);
  EXPECT_EQ(bar->Position(), 20) << "the next after 500 ms";
  EXPECT_FALSE(timers.Running(TCustomOwnerDrawScrollbar::kDelayTimer));
  EXPECT_TRUE(timers.Running(TCustomOwnerDrawScrollbar::kRepeatTimer));
  timers.Advance(99);
  EXPECT_EQ(bar->Position(), 20);
  timers.Advance(1);
  EXPECT_EQ(bar->Position(), 30);
  timers.Advance(300);
  EXPECT_EQ(bar->Position(), 60) << "one every 100 ms";
  // Off the area the steps pause; back over it they go on.
  Move(layout.UpArrow.Top + 2);
  timers.Advance(500);
  EXPECT_EQ(bar->Position(), 60);
  Move(y);
  timers.Advance(100);
  EXPECT_EQ(bar->Position(), 70);
  Up(y);
  EXPECT_FALSE(timers.Running(TCustomOwnerDrawScrollbar::kRepeatTimer));
  EXPECT_EQ(bar->State() & 0x0963, 0) << "pressed bits cleared";
  timers.Advance(1000);
  EXPECT_EQ(bar->Position(), 70);
}

// A menu, a message box or a task switch takes the mouse before the button
// comes up: the bar never sees that release, and must not scroll on to the end.
TEST_F(ScrollbarFixture, APressEndsWhenTheMouseIsTakenAway) {
  bar->SetMax(1000);
  bar->SetPageSize(10);
  bar->SetLargeChange(10);
  int y = bar->Layout().Track.Bottom - 3;
  const uint16_t pressed = TCustomOwnerDrawScrollbar::kPageDownPressed | TCustomOwnerDrawScrollbar::kLButtonDown;
  for (int way = 0; way < 2; ++way) {
    int32_t start = bar->Position();
    Down(y);
    EXPECT_EQ(GetCapture(), bar->Handle()) << "the press holds the mouse";
    timers.Advance(550);
    EXPECT_EQ(bar->Position(), start + 20) << "the first step and one after the delay";
    if (way == 0) {
      SetCapture(form->Handle());  // another window takes the mouse
      ReleaseCapture();
    } else {
      bar->Perform(WM_CANCELMODE, 0, 0);
    }
    EXPECT_FALSE(timers.Running(TCustomOwnerDrawScrollbar::kDelayTimer)) << way;
    EXPECT_FALSE(timers.Running(TCustomOwnerDrawScrollbar::kRepeatTimer)) << way;
    EXPECT_EQ(bar->State() & pressed, 0) << way;
    timers.Advance(2000);
    EXPECT_EQ(bar->Position(), start + 20) << way;
  }
}

TEST_F(ScrollbarFixture, PageStepsStopWhenTheThumbReachesTheCursor) {
  bar->SetMax(100);
  bar->SetPageSize(10);
  bar->SetLargeChange(10);
  TScrollLayout layout = bar->Layout();
  int y = layout.Track.Top + layout.Track.Height() / 2;
  Down(y);
  timers.Advance(5000);
  int32_t reached = bar->Position();
  EXPECT_GT(reached, 30);
  EXPECT_LT(reached, 70) << "stopped under the cursor, not at the end";
  Up(y);
}

TEST_F(ScrollbarFixture, ArrowsRepeatTheLineStep) {
  bar->SetMax(100);
  bar->SetSmallChange(3);
  TScrollLayout layout = bar->Layout();
  Down(layout.DownArrow.Top + 2);
  EXPECT_EQ(bar->Position(), 3);
  timers.Advance(700);
  EXPECT_EQ(bar->Position(), 12);  // at 500, 600, 700
  Up(layout.DownArrow.Top + 2);
  Down(layout.UpArrow.Top + 2);
  EXPECT_EQ(bar->Position(), 9);
  Up(layout.UpArrow.Top + 2);
}

TEST_F(ScrollbarFixture, AttachedControlGetsCodesAndThirtyTwoBitPositions) {
  TScrollReceiver* receiver = New<TScrollReceiver>(form);
  receiver->SetParent(form);
  receiver->SetBounds(40, 10, 100, 100);
  bar->SetAttachedControl(receiver);
  bar->SetMax(200000);
  bar->SetPageSize(1000);
  TScrollLayout layout = bar->Layout();
  Down(layout.DownArrow.Top + 2);
  Up(layout.DownArrow.Top + 2);
  EXPECT_EQ(receiver->codes, (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL}));
  EXPECT_EQ(bar->Position(), 0) << "the attached control moves the bar";
  receiver->codes.clear();
  // Drag the thumb to the end: positions above 65535 come through the scroll information.
  Down(layout.Thumb.Top + 1);
  Move(layout.Track.Bottom + 50);
  Up(layout.Track.Bottom + 50);
  EXPECT_EQ(receiver->codes, (std::vector<int>{SB_THUMBTRACK, SB_ENDSCROLL}));
  ASSERT_EQ(receiver->trackPositions.size(), 1u);
  EXPECT_EQ(receiver->trackPositions[0], 199000);
  EXPECT_EQ(bar->Perform(WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
  bar->SetAttachedControl(nullptr);
}

TEST_F(ScrollbarFixture, DraggingWithoutAControlMovesPosition) {
  bar->SetMin(-50);
  bar->SetMax(INT32_MAX);
  bar->SetPageSize(1);
  TScrollLayout layout = bar->Layout();
  Down(layout.Thumb.Top);
  Move(layout.Track.Top + layout.Track.Height() / 2);
  EXPECT_GT(bar->Position(), INT32_MAX / 3);
  Move(layout.Track.Bottom + 100);
  EXPECT_EQ(bar->Position(), INT32_MAX - 1);
  Up(0);
}

TEST_F(ScrollbarFixture, DrawingShowsTrackArrowsThumbAndHotPage) {
  bar->SetOptions({});  // classic
  bar->Colors()->SetBackground(clRed);
  bar->Colors()->SetBackgroundBlend(clBlue);
  bar->Colors()->SetPageScrollHot(clLime);
  bar->Colors()->SetThumbButton(clYellow);
  bar->SetMax(100);
  bar->SetPageSize(20);
  struct TCycles : TObject {
    std::vector<TScrollPaintCycle> cycles;
    void Paint(TCustomOwnerDrawScrollbar*, TScrollPaintCycle cycle, TScrollPaintState, TRect, TCanvas*, bool&) {
      cycles.push_back(cycle);
    }
  } seen;
  bar->OnScrollCustomPaint = MakeEvent<&TCycles::Paint>(&seen);
  bar->Repaint();
  qvtest::Pump(50);
  // Erasing paints the background; painting then draws every element in this order.
  ASSERT_GE(seen.cycles.size(), 4u);
  EXPECT_EQ(std::vector<TScrollPaintCycle>(seen.cycles.end() - 4, seen.cycles.end()),
            (std::vector<TScrollPaintCycle>{pcBackground, pcScrollUp, pcScrollDown, pcThumb}));
  TScrollLayout layout = bar->Layout();
  int y = layout.PageDown.Top + 20;
  {
    TRendered shown(bar);
    uint32_t a = shown.At(4, y);
    uint32_t b = shown.At(5, y);
    EXPECT_NE(a, b) << "a checkerboard of the two track colours";
    EXPECT_TRUE((a == 0xFF0000 || a == 0x0000FF) && (b == 0xFF0000 || b == 0x0000FF)) << std::hex << a << " " << b;
    EXPECT_EQ(shown.At(8, layout.Thumb.Top + layout.Thumb.Height() / 2), 0xFFFF00u);
  }
  qvtest::SaveScreenshot(form->Handle(), "owner_draw_scrollbar_classic");
  // Holding the page-down area shows it in PageScrollHot.
  Down(y);
  EXPECT_EQ(TRendered(bar).At(4, bar->Layout().PageDown.Bottom - 2), 0x00FF00u);
  Up(y);
  // A handler that paints an element itself stops the drawing of it.
  struct TOwnThumb : TObject {
    void Paint(TCustomOwnerDrawScrollbar*, TScrollPaintCycle cycle, TScrollPaintState, TRect r, TCanvas* canvas,
               bool& handled) {
      if (cycle != pcThumb) return;
      HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
      RECT rect = {r.Left, r.Top, r.Right, r.Bottom};
      FillRect(canvas->Handle(), &rect, brush);
      DeleteObject(brush);
      handled = true;
    }
  } own;
  bar->OnScrollCustomPaint = MakeEvent<&TOwnThumb::Paint>(&own);
  layout = bar->Layout();
  EXPECT_EQ(TRendered(bar).At(8, layout.Thumb.Top + layout.Thumb.Height() / 2), 0x000000u);
  // Themed, when the theme is there.
  bar->OnScrollCustomPaint = nullptr;
  bar->SetOptions({soThemeAware});
  bar->Repaint();
  qvtest::Pump(50);
  qvtest::SaveScreenshot(form->Handle(), "owner_draw_scrollbar_themed");
}

// The attached control frees the bar when it is told of a step (a press on
// an arrow or a page area) or of the end of a thumb drag: the bar is touched
// no more, and no repeat starts for it.
TEST_F(ScrollbarFixture, AControlThatFreesTheBarWhenToldLeavesItUntouched) {
  TFreeingReceiver* receiver = New<TFreeingReceiver>(form);
  receiver->SetParent(form);
  receiver->SetBounds(40, 10, 100, 100);
  TScrollLayout layout = bar->Layout();
  const int thumbY = layout.Thumb.Top + 1;
  struct Way {
    const char* name;
    int y;
    bool release;
  };
  for (const Way& way : {Way{"up arrow", layout.UpArrow.Top + 2, false}, Way{"down arrow", layout.DownArrow.Top + 2, false},
                         Way{"page down", layout.Track.Bottom - 2, false}, Way{"thumb released", thumbY, true}}) {
    SCOPED_TRACE(way.name);
    TFakeTimers ownTimers;
    gDoomedBar = New<TOwnerDrawScrollbar>(form);
    gDoomedBar->SetParent(form);
    gDoomedBar->SetBounds(10, 10, 17, 200);
    gDoomedBar->SetTimers(&ownTimers);
    gDoomedBar->SetAttachedControl(receiver);
    HWND window = gDoomedBar->Handle();
    receiver->told = 0;
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(way.y));
    if (way.release) {
      ASSERT_NE(gDoomedBar, nullptr) << "grabbing the thumb tells nothing";
      SendMessageW(window, WM_LBUTTONUP, 0, At(way.y));
    }
    EXPECT_EQ(gDoomedBar, nullptr) << "the control was told";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(ownTimers.Running(TOwnerDrawScrollbar::kDelayTimer)) << "no repeat for a freed bar";
    if (gDoomedBar != nullptr) std::exchange(gDoomedBar, nullptr)->Free();
  }
}
