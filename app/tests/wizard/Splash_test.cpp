// The splash window: its close delay kept within 1..20 seconds, a picture
// that cannot be decoded never stopping start-up, and closing by timer or click.
#include <gtest/gtest.h>

#include "Language.h"
#include "Settings.h"
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
