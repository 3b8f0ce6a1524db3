// Hints and tooltips: when the tree answers the application's hint request,
// where a tooltip goes and how large it is, the animation handling messages
// between its steps, and a tree that goes while its hint shows.
#include <cstdlib>
#include <optional>
#include <gtest/gtest.h>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// Nodes whose text is labelWidth wide and reads "node text".
class THintTree : public TBaseVirtualTree {
public:
  int labelWidth = 500;
  int DoGetNodeWidth(PVirtualNode, TColumnIndex, TCanvas*) override { return labelWidth; }
  // Set: the tooltip's text is asked with this line break style and deletes its node.
  std::optional<TVTHintLineBreakStyle> deleteOnTooltip;
  std::u16string DoGetNodeTooltip(PVirtualNode node, TColumnIndex, TVTHintLineBreakStyle& style) override {
    if (deleteOnTooltip) {
      style = *deleteOnTooltip;
      DeleteNode(node);
    }
    return u"node text";
  }
  std::u16string DoGetNodeHint(PVirtualNode, TColumnIndex, TVTHintLineBreakStyle&) override { return u"a hint"; }
  using TBaseVirtualTree::hintData;
};

struct HintTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    // The real mouse rests away from the tree: the application's own hint
    // timer must not answer before the test asks.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    form = New<TForm>(Application);
    form->SetBounds(20, 20, 320, 240);
    tree = New<THintTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    tree->SetRootNodeCount(5);
    tree->SetShowHint(true);
    tree->SetHintMode(hmTooltip);
    form->Show();
    SetForegroundWindow(form->Handle());  // hints show for the active program only
    tree->SetFocus();
    qvtest::Pump(20);
  }
  void TearDown() override {
    if (form != nullptr) form->Free();
    Application->CancelHint();
  }
  // The tree's answer for the mouse at a client point.
  LRESULT Ask(int x, int y, THintInfo& info) {
    info = THintInfo();
    info.HintControl = tree;
    info.CursorPos = POINT{x, y};
    TPoint screen = tree->ClientToScreen(Point(x, y));
    info.HintPos = POINT{screen.X, screen.Y + 20};
    info.HintMaxWidth = 600;
    return tree->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  }
  TForm* form = nullptr;
  THintTree* tree = nullptr;
};

}  // namespace

TEST_F(HintTest, TooltipOnlyForCutOffTextExactlyOverIt) {
  THintInfo info;
  // The label starts after the indent and the margin: x = 18 + 4.
  ASSERT_EQ(Ask(40, 20, info), 0);
  EXPECT_EQ(info.HintData, &tree->hintData);
  TRect text = tree->GetDisplayRect(tree->GetFirst()->NextSibling, NoColumn, true, true);
  EXPECT_EQ(TRect::FromRECT(info.CursorRect), text);
  TPoint at = tree->ClientToScreen(text.TopLeft());
  EXPECT_EQ(info.HintPos.x, at.X - 1);
  EXPECT_EQ(info.HintPos.y, at.Y - 1);
  EXPECT_TRUE(tree->TreeStates().Contains(tsHint));
  // The window measures the text rectangle one pixel larger on every side.
  THintWindow* window = info.HintWindowClass();
  TRect r = window->CalcHintRect(600, info.HintStr, info.HintData);
  EXPECT_EQ(r, (TRect{0, 0, text.Width() + 2, text.Height() + 2}));
  window->Free();
  // Inside the last hint rectangle nothing is computed again.
  EXPECT_EQ(Ask(45, 20, info), 1);
  // Once the mouse left the tree, the same node's tooltip comes back.
  tree->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(tree->TreeStates().Contains(tsHint));
  EXPECT_EQ(Ask(45, 20, info), 0);
  EXPECT_TRUE(tree->TreeStates().Contains(tsHint));
  // Text that fits shows no tooltip (asked outside the last rectangle).
  tree->labelWidth = 50;
  tree->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Ask(40, 20, info), 1);
  EXPECT_FALSE(tree->TreeStates().Contains(tsHint));
  // Tooltips need no pause; plain hints keep the application's.
  int pause = 500;
  tree->Perform(CM_HINTSHOWPAUSE, 1, reinterpret_cast<LPARAM>(&pause));
  EXPECT_EQ(pause, 0);
  tree->SetHintMode(hmHint);
  pause = 500;
  tree->Perform(CM_HINTSHOWPAUSE, 1, reinterpret_cast<LPARAM>(&pause));
  EXPECT_EQ(pause, 500);
}

// A tooltip whose text handler deletes its node shows nothing and keeps no
// trace of the node, in one line or wrapped.
TEST_F(HintTest, ATooltipWhoseNodeGoesWhileItsTextIsAskedShowsNothing) {
  for (TVTHintLineBreakStyle style : {hlbForceSingleLine, hlbForceMultiLine}) {
    THintInfo info;
    tree->deleteOnTooltip.reset();
    tree->Perform(CM_MOUSELEAVE, 0, 0);
    ASSERT_EQ(Ask(40, 20, info), 0);
    tree->deleteOnTooltip = style;
    uint32_t count = tree->GetRootNodeCount();
    auto* window = static_cast<TVirtualTreeHintWindow*>(info.HintWindowClass());
    TRect r = window->CalcHintRect(600, info.HintStr, info.HintData);
    EXPECT_EQ(tree->GetRootNodeCount(), count - 1);
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_EQ(window->HintData().Node, nullptr);
    window->ActivateHintData(r, info.HintStr, info.HintData);
    window->Free();
  }
}

TEST_F(HintTest, TheTreesOwnHintReturnsAfterTheMouseLeft) {
  tree->SetHintMode(hmDefault);
  tree->SetHint("the tree");
  THintInfo info;
  for (int visit = 0; visit < 3; ++visit) {
    ASSERT_EQ(Ask(100, 40, info), 0) << "visit " << visit;
    EXPECT_EQ(tree->hintData.DefaultHint, u"the tree");
    EXPECT_EQ(Ask(120, 60, info), 1) << "the same rectangle";
    tree->Perform(CM_MOUSELEAVE, 0, 0);
  }
}

TEST_F(HintTest, NodeHintGoesBelowTheNode) {
  tree->SetHintMode(hmHint);
  THintInfo info;
  ASSERT_EQ(Ask(100, 40, info), 0);
  TRect row = tree->GetDisplayRect(tree->GetFirst()->NextSibling->NextSibling, NoColumn, false);
  EXPECT_GE(info.HintPos.y, tree->ClientToScreen(Point(0, row.Bottom + 2)).Y);
  THintWindow* window = info.HintWindowClass();
  TRect r = window->CalcHintRect(600, info.HintStr, info.HintData);
  EXPECT_GT(r.Width(), 2 * tree->TextMargin());
  EXPECT_EQ(static_cast<TVirtualTreeHintWindow*>(window)->HintData().HintText, u"a hint");
  window->Free();
  // Below the last node there is no node hint in this mode.
  EXPECT_EQ(Ask(100, 190, info), 1);
}

// A chosen animation is used as it is; the system default follows the
// system's tooltip settings (animated or not, fading or sliding).
TEST_F(HintTest, AnimationTypeFollowsTheSystemSettings) {
  ASSERT_TRUE(TreePlatform().nt);
  ASSERT_TRUE(TreePlatform().mmx);
  for (THintAnimationType chosen : {hatNone, hatFade, hatSlide}) {
    tree->SetHintAnimation(chosen);
    EXPECT_EQ(tree->DoGetAnimationType(), chosen);
  }
  BOOL animated = FALSE, fade = FALSE;
  SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &animated, 0);
  SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &fade, 0);
  auto set = [](BOOL a, BOOL f) {
    SystemParametersInfoW(SPI_SETTOOLTIPANIMATION, 0, reinterpret_cast<void*>(static_cast<intptr_t>(a)), 0);
    SystemParametersInfoW(SPI_SETTOOLTIPFADE, 0, reinterpret_cast<void*>(static_cast<intptr_t>(f)), 0);
  };
  tree->SetHintAnimation(hatSystemDefault);
  set(FALSE, TRUE);
  EXPECT_EQ(tree->DoGetAnimationType(), hatNone);
  set(TRUE, TRUE);
  EXPECT_EQ(tree->DoGetAnimationType(), hatFade);
  set(TRUE, FALSE);
  EXPECT_EQ(tree->DoGetAnimationType(), hatSlide);
  set(animated, fade);
}

namespace {
struct TDuringAnimation {
  THintTree* tree = nullptr;
  TVirtualTreeHintWindow* window = nullptr;
  bool showing = false;  // inside ActivateHintData
  int keysDuring = 0;    // focus changes handled while the hint animated
  TForm* freeOnSignal = nullptr;
};
TDuringAnimation gDuring;
constexpr UINT kFreeSignal = WM_APP + 77;
}  // namespace

// The fade runs inside the showing of the hint and handles the application's
// messages between its steps: a key pressed meanwhile reaches the tree at
// once and does not end the hint.
TEST_F(HintTest, KeysPressedWhileTheHintFadesInReachTheTreeAtOnce) {
  for (THintAnimationType type : {hatFade, hatSlide}) {
    SCOPED_TRACE(type == hatFade ? "fade" : "slide");
    tree->SetHintAnimation(type);
    tree->SetAnimationDuration(150);
    tree->SetFocusedNode(tree->GetFirst());
    THintInfo info;
    ASSERT_EQ(Ask(40, 20, info), 0);
    auto* window = static_cast<TVirtualTreeHintWindow*>(info.HintWindowClass());
    gDuring = TDuringAnimation{tree, window};
    tree->OnFocusChanged = [](TBaseVirtualTree* sender, PVirtualNode, TColumnIndex) {
      if (gDuring.showing && sender->TreeStates().Contains(tsInAnimation) && gDuring.window->Animating())
        ++gDuring.keysDuring;
    };
    TRect r = window->CalcHintRect(600, info.HintStr, info.HintData);
    r.Offset(info.HintPos.x, info.HintPos.y);
    PostMessageW(tree->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    gDuring.showing = true;
    window->ActivateHintData(r, info.HintStr, info.HintData);
    gDuring.showing = false;
    EXPECT_EQ(gDuring.keysDuring, 1);
    EXPECT_EQ(tree->FocusedNode(), tree->GetFirst()->NextSibling);
    EXPECT_FALSE(window->Animating());
    EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
    EXPECT_TRUE(IsWindowVisible(window->Handle())) << "the key did not end the hint";
    MSG key{};
    key.message = WM_KEYDOWN;
    EXPECT_FALSE(window->IsHintMsg(key));
    tree->OnFocusChanged = TVTFocusChangeEvent();
    window->Free();
    tree->Perform(CM_MOUSELEAVE);  // the next hint is asked afresh
  }
}

// The first frame of an animation shows the screen behind the hint, not the
// finished hint: the hint comes in, it does not flash up first.
TEST_F(HintTest, AnAnimatedHintStartsFromTheScreenBehindIt) {
  // The hint reaches past the tree over the form, whose colour differs from the hint's.
  form->SetColor(clRed);
  for (THintAnimationType type : {hatFade, hatSlide}) {
    SCOPED_TRACE(type == hatFade ? "fade" : "slide");
    // The form paints again where the last hint was before the next one takes
    // the screen behind it.
    form->Repaint();
    tree->SetHintAnimation(type);
    tree->SetAnimationDuration(150);
    THintInfo info;
    ASSERT_EQ(Ask(40, 20, info), 0);
    auto* window = static_cast<TVirtualTreeHintWindow*>(info.HintWindowClass());
    static HWND hintHandle;
    static COLORREF firstFrame;
    static int probeX;
    hintHandle = window->Handle();
    firstFrame = CLR_INVALID;
    // Handled between the animation's steps, the first time after step 0.
    Application->OnMessage = [](MSG& msg, bool& handled) {
      if (msg.message != kFreeSignal || firstFrame != CLR_INVALID) return;
      HDC dc = GetDC(hintHandle);
      firstFrame = GetPixel(dc, probeX, 1);
      ReleaseDC(hintHandle, dc);
      handled = true;
    };
    TRect r = window->CalcHintRect(600, info.HintStr, info.HintData);
    r.Offset(info.HintPos.x, info.HintPos.y);
    probeX = tree->ClientToScreen(Point(tree->Width() + 2, 0)).X - r.Left;
    ASSERT_LT(probeX, r.Width());
    // What the screen shows there: the form, unless another program's window
    // stands over it (the tests share one display).
    HDC screen = GetDC(nullptr);
    COLORREF behind = GetPixel(screen, r.Left + probeX, r.Top + 1);
    ReleaseDC(nullptr, screen);
    PostMessageW(nullptr, kFreeSignal, 0, 0);
    window->ActivateHintData(r, info.HintStr, info.HintData);
    Application->OnMessage = TMessageEvent();
    HDC dc = GetDC(hintHandle);
    COLORREF finished = GetPixel(dc, probeX, 1);
    ReleaseDC(hintHandle, dc);
    EXPECT_EQ(finished, static_cast<COLORREF>(ColorToRGB(clInfoBk)));
    ASSERT_NE(firstFrame, CLR_INVALID) << "no message was handled during the animation";
    auto distance = [](COLORREF a, COLORREF b) {
      return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
             std::abs(GetBValue(a) - GetBValue(b));
    };
    EXPECT_LE(distance(firstFrame, behind), 6) << "the first frame is not the screen behind the hint";
    if (behind == ColorToRGB(clRed)) EXPECT_NE(firstFrame, finished);
    window->Free();
    tree->Perform(CM_MOUSELEAVE);
  }
}

// A tree freed by a message handled during its hint's animation: the
// animation ends with it and the hint window forgets it.
TEST_F(HintTest, ATreeThatGoesDuringItsHintAnimationLeavesNoHintBehind) {
  tree->SetHintAnimation(hatSlide);
  tree->SetAnimationDuration(60000);  // ended with the tree long before, however busy the machine
  gDuring = TDuringAnimation{};
  gDuring.freeOnSignal = form;
  Application->OnMessage = [](MSG& msg, bool& handled) {
    if (msg.message != kFreeSignal || gDuring.freeOnSignal == nullptr) return;
    gDuring.freeOnSignal->Free();
    gDuring.freeOnSignal = nullptr;
    handled = true;
  };
  TPoint screen = tree->ClientToScreen(Point(40, 20));
  Application->HintMouseMessage(tree, Point(40, 20));
  PostMessageW(nullptr, kFreeSignal, 0, 0);
  DWORD start = GetTickCount();
  Application->ActivateHint(screen);
  DWORD took = GetTickCount() - start;
  Application->OnMessage = TMessageEvent();
  form = nullptr;
  EXPECT_EQ(gDuring.freeOnSignal, nullptr) << "the signal was handled during the animation";
  EXPECT_LT(took, 30000u) << "the animation ended with its tree";
  auto* window = dynamic_cast<TVirtualTreeHintWindow*>(Application->HintWindow());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->HintData().Tree, nullptr);
  EXPECT_FALSE(window->Animating());
  qvtest::Pump(50);
}

TEST_F(HintTest, AColumnHintIsPlacedBelowTheHeader) {
  TVTHeader* header = tree->Header();
  header->Columns()->Add()->SetWidth(150);
  header->Columns()->Items(0)->SetHint(u"first column");
  header->SetHeight(20);
  header->SetOptions(header->Options().Include(hoVisible).Include(hoShowHint));
  qvtest::Pump(20);
  THintInfo info;
  info.HintControl = tree;
  info.CursorPos = POINT{40, -10};
  TPoint screen = tree->ClientToScreen(Point(40, -10));
  // Asked with the hint at the cursor, inside the header.
  info.HintPos = POINT{screen.X, screen.Y};
  info.HintMaxWidth = 600;
  ASSERT_EQ(tree->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(tree->hintData.DefaultHint, u"first column");
  EXPECT_EQ(info.HintPos.y, tree->ClientToScreen(Point(0, 0)).Y);
  EXPECT_EQ(info.HintPos.x, screen.X);
}
