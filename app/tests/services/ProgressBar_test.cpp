// The animated progress bar: defaults, range rules (also without 32-bit
// mode), messages sent only on change, the marquee style through window
// re-creation, the animation timer's life and ticks, and loading from a form
// definition.
#include "ProgressBar.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>

#include "win/Timer.h"
#include "win/testing/Harness.h"

namespace {

// Counts the progress messages that reach the window.
class TCountingBar : public TDProgressBar {
public:
  void WndProc(TMessage& message) override {
    if (message.Msg >= PBM_SETRANGE && message.Msg <= PBM_GETPOS) ++counts[message.Msg];
    if (message.Msg == PBM_SETPOS) lastSetPos = static_cast<int>(message.WParam);
    TDProgressBar::WndProc(message);
  }
  using TDProgressBar::AnimationTick;
  using TDProgressBar::SetMode32Bit;
  std::map<UINT, int> counts;
  int lastSetPos = -1;
};

class ProgressBarTest : public ::testing::Test {
protected:
  void SetUp() override {
    form = New<TForm>(nullptr);
    form->SetBounds(0, 0, 420, 120);
    bar = New<TCountingBar>(form);
    bar->SetParent(form);
  }
  void TearDown() override { form->Free(); }
  TForm* form = nullptr;
  TCountingBar* bar = nullptr;
};

TEST_F(ProgressBarTest, Defaults) {
  EXPECT_EQ(bar->Width(), 150);
  EXPECT_EQ(bar->Height(), GetSystemMetrics(SM_CYVSCROLL));
  EXPECT_EQ(bar->Min(), 0);
  EXPECT_EQ(bar->Max(), 100);
  EXPECT_EQ(bar->Position(), 0);
  EXPECT_EQ(bar->Step(), 100);
  EXPECT_EQ(bar->Speed(), 50u);
  EXPECT_FALSE(bar->Animate());
  EXPECT_FALSE(bar->Smooth());
  EXPECT_EQ(bar->Orientation(), pbdHorizontal);
  EXPECT_EQ(bar->AnimationTimer(), nullptr);
  EXPECT_TRUE(bar->Mode32Bit());
}

TEST_F(ProgressBarTest, RangeRulesAndMessages) {
  TDProgressBar* plain = New<TDProgressBar>(form);
  try {
    plain->SetMin(150);
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TDProgressBar property out of range");
  }
  EXPECT_EQ(plain->Min(), 0);
  EXPECT_EQ(plain->Max(), 100);
  EXPECT_THROW(bar->SetMax(-1), EInvalidOperation);
  EXPECT_EQ(bar->Max(), 100);

  HWND hwnd = bar->Handle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_NE(GetWindowLongW(hwnd, GWL_STYLE) & PBS_MARQUEE, 0);
  bar->counts.clear();
  bar->SetMax(100);
  bar->SetMin(0);
  EXPECT_EQ(bar->counts[PBM_SETRANGE32], 0);
  EXPECT_EQ(bar->counts[PBM_SETPOS], 0);

  bar->SetMin(20);
  EXPECT_EQ(bar->counts[PBM_SETRANGE32], 1);
  EXPECT_EQ(bar->counts[PBM_SETPOS], 0);  // raising Min leaves the position to the window
  EXPECT_EQ(bar->Min(), 20);
  // The marquee window keeps no position of its own; the messages tell.
  bar->SetPosition(60);
  EXPECT_EQ(bar->lastSetPos, 60);
  bar->SetMin(10);
  EXPECT_EQ(bar->counts[PBM_SETPOS], 2);
  EXPECT_EQ(bar->lastSetPos, 10);  // lowering Min resets the position to it
  bar->SetMax(2000000);
  EXPECT_EQ(bar->Max(), 2000000);
}

TEST_F(ProgressBarTest, SixteenBitModeKeepsValuesInRange) {
  bar->SetMode32Bit(false);
  try {
    bar->SetMax(70000);
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Value must be between 0 and 65535");
  }
  EXPECT_THROW(bar->SetMin(-1), EInvalidOperation);
  EXPECT_THROW(bar->SetPosition(65536), EInvalidOperation);
  EXPECT_EQ(bar->Max(), 100);
  bar->SetMax(65535);
  bar->HandleNeeded();
  EXPECT_GT(bar->counts[PBM_SETRANGE], 0);
  EXPECT_EQ(bar->counts[PBM_SETRANGE32], 0);
  bar->SetPosition(40);
  EXPECT_EQ(bar->lastSetPos, 40);
  bar->Position();
  EXPECT_EQ(bar->counts[PBM_DELTAPOS], 1);
  EXPECT_EQ(bar->counts[PBM_GETPOS], 0);
}

TEST_F(ProgressBarTest, SmoothAndOrientationRecreateWithTheSameStyle) {
  HWND before = bar->Handle();
  LONG style = GetWindowLongW(before, GWL_STYLE);
  bar->SetPosition(30);
  bar->SetSmooth(true);
  HWND after = bar->Handle();
  EXPECT_TRUE(bar->Smooth());
  EXPECT_EQ(GetWindowLongW(after, GWL_STYLE) & (PBS_MARQUEE | PBS_SMOOTH | PBS_VERTICAL),
            style & (PBS_MARQUEE | PBS_SMOOTH | PBS_VERTICAL));
  EXPECT_NE(after, nullptr);
  bar->SetOrientation(pbdVertical);
  EXPECT_EQ(GetWindowLongW(bar->Handle(), GWL_STYLE) & PBS_VERTICAL, 0);
}

TEST_F(ProgressBarTest, AnimationTimerLifeAndTicks) {
  bar->SetSpeed(30);  // while not animating: taken at the next start
  bar->SetAnimate(true);
  TTimer* timer = bar->AnimationTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->Interval(), 30);
  EXPECT_TRUE(timer->Enabled());
  bar->SetAnimate(true);
  EXPECT_EQ(bar->AnimationTimer(), timer);
  int timers = 0;
  for (int i = 0; i < bar->ComponentCount(); ++i) timers += dynamic_cast<TTimer*>(bar->Components(i)) != nullptr;
  EXPECT_EQ(timers, 1);
  bar->SetSpeed(20);
  EXPECT_EQ(timer->Interval(), 20);

  // The timer runs also while the bar is hidden, one position message a tick.
  bar->HandleNeeded();
  bar->counts.clear();
  qvtest::Pump(300);
  EXPECT_GE(bar->counts[PBM_SETPOS], 3);

  bar->SetAnimate(false);
  EXPECT_EQ(bar->AnimationTimer(), nullptr);
  EXPECT_EQ(bar->ComponentCount(), 0);
  bar->counts.clear();
  qvtest::Pump(150);
  EXPECT_EQ(bar->counts[PBM_SETPOS], 0);

  // A tick without a window only stores the position.
  TCountingBar* loose = New<TCountingBar>(nullptr);
  loose->AnimationTick(loose);
  EXPECT_EQ(loose->Position(), 100);
  loose->Free();
}

TEST(ProgressBarDefinition, LoadsFromFormText) {
  TForm* form = qvtest::NewFormFromText<TForm>(R"(
TForm ProgressForm {
  ClientWidth = 400; ClientHeight = 60;
  TDProgressBar FreeProgressBar2 {
    Left = 8; Top = 8; Width = 385; Height = 20;
    Max = 100; Min = 0; Position = 100; Smooth = True; Step = 0; Speed = 50; Animate = True;
  }
}
)");
  auto* bar = qvtest::Find<TDProgressBar>(form, "FreeProgressBar2");
  EXPECT_EQ(bar->Width(), 385);
  EXPECT_EQ(bar->Height(), 20);
  EXPECT_TRUE(bar->Animate());
  EXPECT_TRUE(bar->Smooth());
  EXPECT_EQ(bar->Step(), 0);
  EXPECT_EQ(bar->Position(), 100);
  ASSERT_NE(bar->AnimationTimer(), nullptr);
  EXPECT_EQ(bar->AnimationTimer()->Interval(), 50);
  form->Show();
  qvtest::Pump(200);
  qvtest::SaveScreenshot(form->Handle(), "services_progress_bar");
  form->Free();
}

}  // namespace
