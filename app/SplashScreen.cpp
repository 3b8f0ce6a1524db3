#include "SplashScreen.h"

#include <exception>

#include "Language.h"
#include "Settings.h"
#include "Utils.h"
#include "win/ClassInfo.h"
#include "win/Timer.h"
#include "win/controls/ExtCtrls.h"

TSplashForm* SplashForm = nullptr;
std::string SplashPictureResource = "GFX_SPLASH";

namespace {

const TClassRegistrar<TSplashForm, TForm> kSplashFormRegistrar("TSplashForm", {});

// While the splash is up, every other top-level window of this thread that
// comes up or moves in the stacking order puts it back on top at once, before
// anything is painted over it.
HHOOK gStackingHook = nullptr;
HWND gSplashWindow = nullptr;
bool gRaising = false;
constexpr UINT_PTR kRaiseAgainTimer = 0x5153;
constexpr int kLateRaises = 4;
constexpr UINT kLateRaiseInterval = 60;  // ms
int gRaisesLeft = 0;

void RaiseSplash() {
  // Without a window manager a topmost window shown earlier stays under a
  // later one; shown again, it is on top once more. With one, this only
  // confirms the order the system keeps anyway.
  gRaising = true;
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(gSplashWindow, HWND_TOPMOST, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
  SetWindowPos(gSplashWindow, HWND_TOPMOST, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
  UpdateWindow(gSplashWindow);
  gRaising = false;
}

bool CoversSplash(const CWPRETSTRUCT& call) {
  if (call.message != WM_WINDOWPOSCHANGED || call.hwnd == gSplashWindow || gSplashWindow == nullptr) return false;
  if ((GetWindowLongW(call.hwnd, GWL_STYLE) & WS_CHILD) != 0 || !IsWindowVisible(call.hwnd)) return false;
  const auto* pos = reinterpret_cast<const WINDOWPOS*>(call.lParam);
  return (pos->flags & SWP_SHOWWINDOW) != 0 || (pos->flags & SWP_NOZORDER) == 0;
}

BOOL CALLBACK FindUnpainted(HWND window, LPARAM found) {
  if (window == gSplashWindow || !IsWindowVisible(window)) return TRUE;
  if (GetUpdateRect(window, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  if ((GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0) EnumChildWindows(window, FindUnpainted, found);
  return *reinterpret_cast<bool*>(found) ? FALSE : TRUE;
}

// True while another window of this thread (or a control on it) has yet to
// paint: timers come before paints, so on a busy machine the tick can
// precede them.
bool AnotherWindowUnpainted() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), FindUnpainted, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK RaiseAgain(HWND window, UINT, UINT_PTR id, DWORD) {
  if (window == gSplashWindow && IsWindowVisible(window) && AnotherWindowUnpainted()) return;  // next tick
  if (window != gSplashWindow || !IsWindowVisible(window) || gRaisesLeft-- <= 0) {
    KillTimer(window, id);
    return;
  }
  RaiseSplash();
  SetTimer(window, id, kLateRaiseInterval, RaiseAgain);
}

LRESULT CALLBACK WatchStacking(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && !gRaising && IsWindowVisible(gSplashWindow) &&
      CoversSplash(*reinterpret_cast<const CWPRETSTRUCT*>(lParam))) {
    RaiseSplash();
    // Under Wine a window shown comes up on the screen only once it has
    // painted and its thread has gone idle, over whatever is there, and on a
    // busy machine that can be after the first tick: the splash goes on top
    // again at the first tick after the paints and a few times after it.
    gRaisesLeft = kLateRaises;
    SetTimer(gSplashWindow, kRaiseAgainTimer, USER_TIMER_MINIMUM, RaiseAgain);
  }
  return CallNextHookEx(gStackingHook, code, wParam, lParam);
}

void StopWatching() {
  if (gStackingHook != nullptr) UnhookWindowsHookEx(gStackingHook);
  gStackingHook = nullptr;
  gSplashWindow = nullptr;
}

}  // namespace

void TSplashForm::ShowOnTop() {
  SetFormStyle(fsStayOnTop);
  Show();
  Update();
  StopWatching();
  gSplashWindow = Handle();
  gStackingHook = SetWindowsHookExW(WH_CALLWNDPROCRET, WatchStacking, nullptr, GetCurrentThreadId());
}

void TSplashForm::FormCreate(TObject*) {
  SplashForm = this;
  TranslateForms({this});
  static_cast<TControl*>(FindComponent("LabelCopyright"))->SetCaption(kSplashNotice);
  // 0 would keep the splash up for ever; large values overflow the interval.
  auto* timer = static_cast<TTimer*>(FindComponent("CloseTimer"));
  timer->SetInterval(ClampSplashDelay(GlobalSplashDelay) * 1000);
  auto* image = static_cast<TImage*>(FindComponent("Image"));
  try {
    LoadJPEGResource(SplashPictureResource, image->Picture());
  } catch (const std::exception& e) {
    // A missing or damaged picture never stops start-up.
    pictureError = e.what();
  }
}

TSplashForm::~TSplashForm() {
  if (HandleAllocated() && Handle() == gSplashWindow) StopWatching();
  if (SplashForm == this) SplashForm = nullptr;
}

void TSplashForm::CloseTimerTimer(TObject*) {
  static_cast<TTimer*>(FindComponent("CloseTimer"))->SetEnabled(false);
  StopWatching();
  Close();
}

void TSplashForm::ImageClick(TObject*) {
  StopWatching();
  Close();
}
