// The splash window: its close delay kept as stored unless the timer cannot
// use it, a picture that cannot be decoded never stopping start-up, and
// closing by timer or click.
#include <gtest/gtest.h>

#include "Language.h"
#include "Settings.h"
#include "../MainFormFixture.h"
#include "SplashScreen.h"
#include "win/Timer.h"
#include "win/controls/ExtCtrls.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"
#include "win/testing/Harness.h"

namespace {

struct SplashTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    GlobalSplashDelay = 1;
    SplashPictureResource = "GFX_SPLASH";
    LangIni = LoadLanguageFile("");
  }
  void TearDown() override {
    if (splash != nullptr && *alive) splash->Free();
    SplashPictureResource = "GFX_SPLASH";
    GlobalSplashDelay = 1;
  }
  TSplashForm* Make() {
    splash = New<TSplashForm>(Application);
    alive = splash->Alive();
    return splash;
  }
  TTimer* Timer() { return qvtest::Find<TTimer>(splash, "CloseTimer"); }
  TImage* Image() { return qvtest::Find<TImage>(splash, "Image"); }

  TSplashForm* splash = nullptr;
  TAliveToken alive;
};

}  // namespace

TEST_F(SplashTest, DelayIsKeptUnlessTheTimerCannotUseIt) {
  const struct {
    int32_t seconds;
    int intervalMs;
  } cases[] = {{1, 1000},      {5, 5000},  {20, 20000}, {0, 1000}, {-7, 1000}, {21, 21000},
               {INT32_MAX, INT32_MAX / 1000 * 1000}, {INT32_MIN, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    GlobalSplashDelay = c.seconds;
    Make();
    EXPECT_EQ(Timer()->Interval(), c.intervalMs);
    EXPECT_TRUE(Timer()->Enabled());
    splash->Free();
  }
}

TEST_F(SplashTest, ShowsItsPictureAndNotice) {
  Make();
  EXPECT_TRUE(splash->PictureError().empty()) << splash->PictureError();
  ASSERT_NE(Image()->Picture()->Graphic(), nullptr);
  EXPECT_EQ(Image()->Picture()->Width(), 320);
  EXPECT_EQ(Image()->Picture()->Height(), 390);
  EXPECT_EQ(qvtest::Find<TLabel>(splash, "LabelCopyright")->Caption(), kSplashNotice);
  EXPECT_EQ(splash->ClientWidth(), 320);
  EXPECT_EQ(splash->ClientHeight(), 390);
  EXPECT_EQ(splash->BorderStyle(), bsNone);
}

TEST_F(SplashTest, PictureThatCannotBeDecodedLeavesTheSplashUsable) {
  for (const char* name : {"GFX_BROKEN", "GFX_MISSING"}) {
    SCOPED_TRACE(name);
    SplashPictureResource = name;
    Make();
    EXPECT_FALSE(splash->PictureError().empty());
    EXPECT_EQ(qvtest::Find<TLabel>(splash, "LabelCopyright")->Caption(), kSplashNotice);
    EXPECT_EQ(Timer()->Interval(), 1000);
    splash->Show();
    qvtest::Pump(30);
    splash->Free();
  }
}

TEST_F(SplashTest, TimerClosesTheSplashOnce) {
  Make();
  splash->Show();
  EXPECT_TRUE(qvtest::PumpUntil([this] { return !splash->Visible(); }, 3000));
  EXPECT_FALSE(Timer()->Enabled());
  EXPECT_TRUE(*alive);  // closing only hides it
}

TEST_F(SplashTest, ClickOnThePictureClosesIt) {
  GlobalSplashDelay = 20;
  Make();
  splash->Show();
  qvtest::Pump(30);
  qvtest::Click(Image());
  qvtest::Pump(30);
  EXPECT_FALSE(splash->Visible());
}

TEST_F(SplashTest, HiddenSplashStillClosesByItsTimer) {
  Make();  // GlobalSplashShow off: never shown, the timer still fires once
  EXPECT_TRUE(qvtest::PumpUntil([this] { return !Timer()->Enabled(); }, 3000));
  EXPECT_FALSE(splash->Visible());
}

namespace {

// A plain blue window of this thread over the whole screen, as the main form
// comes up over the splash.
HWND ShowCoveringWindow() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
    wc.lpszClassName = L"QvSplashCover";
    return RegisterClassW(&wc) != 0;
  }();
  if (!registered) return nullptr;
  HWND cover = CreateWindowExW(0, L"QvSplashCover", L"cover", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(cover, SW_SHOW);
  SetForegroundWindow(cover);
  UpdateWindow(cover);
  return cover;
}

// The colour the screen shows in the middle of window.
COLORREF ScreenColourAtCentre(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  ReleaseDC(nullptr, screen);
  return colour;
}

}  // namespace

TEST_F(SplashTest, StaysAboveAWindowShownAfterIt) {
  SplashPictureResource = "GFX_MISSING";  // a white window
  GlobalSplashDelay = 20;
  Make();
  splash->ShowOnTop();
  qvtest::Pump(200);
  ASSERT_EQ(ScreenColourAtCentre(splash->Handle()), RGB(255, 255, 255));
  HWND cover = ShowCoveringWindow();
  ASSERT_NE(cover, nullptr);
  qvtest::Pump(500);
  EXPECT_EQ(ScreenColourAtCentre(splash->Handle()), RGB(255, 255, 255)) << "the splash went under a later window";
  EXPECT_TRUE(splash->Visible());
  EXPECT_NE(GetWindowLongW(splash->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // Closed, it stays closed when another window comes up.
  splash->ImageClick(nullptr);
  qvtest::Pump(50);
  SetForegroundWindow(cover);
  qvtest::Pump(200);
  EXPECT_FALSE(IsWindowVisible(splash->Handle()));
  EXPECT_EQ(ScreenColourAtCentre(splash->Handle()), RGB(0, 0, 255));
  DestroyWindow(cover);
}

namespace {

struct SplashOverMainFormTest : MainFormTest {
  void TearDown() override {
    if (splash != nullptr && *splashAlive) splash->Free();
    SplashPictureResource = "GFX_SPLASH";
    GlobalSplashDelay = 1;
    MainFormTest::TearDown();
  }
  TSplashForm* splash = nullptr;
  TAliveToken splashAlive;
};

}  // namespace

// The main form comes up under the splash as at start-up: once it has
// reached the screen, the splash is back on top within a few timer ticks
// (on a busy machine the form can reach the screen after the first) and
// stays there until it closes.
TEST_F(SplashOverMainFormTest, TheSplashStaysAboveTheMainFormUntilItCloses) {
  SplashPictureResource = "GFX_MISSING";  // a white window
  GlobalSplashDelay = 2;
  splash = New<TSplashForm>(Application);
  splashAlive = splash->Alive();
  splash->ShowOnTop();
  qvtest::Pump(200);
  const COLORREF white = RGB(255, 255, 255);
  ASSERT_EQ(ScreenColourAtCentre(splash->Handle()), white);
  form = New<TMainForm>(Application);
  token = form->Alive();
  form->Show();
  const DWORD shownAt = GetTickCount();
  // Samples every 5 ms; the first covered one starts the count.
  DWORD firstCovered = 0, lastCovered = 0;
  for (int i = 0; i < 1000 && splash->Visible(); ++i) {
    Application->ProcessMessages();
    const COLORREF shown = ScreenColourAtCentre(splash->Handle());
    if (shown != white && splash->Visible()) {
      lastCovered = GetTickCount();
      if (firstCovered == 0) firstCovered = lastCovered;
    }
    Sleep(5);
  }
  EXPECT_LE(lastCovered - firstCovered, 250u) << "the splash stayed covered from " << (firstCovered - shownAt) << " ms";
  EXPECT_FALSE(splash->Visible());
  qvtest::Pump(100);
  EXPECT_NE(ScreenColourAtCentre(form->Handle()), white) << "the main form does not show once the splash closed";
}
