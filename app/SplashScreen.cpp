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

// A message box (any dialog box of this thread) must be reachable at once:
// the splash stays behind it while it is up, however long the splash waits.
bool IsBox(HWND window) {
  wchar_t name[8] = {};
  return GetClassNameW(window, name, 8) == 6 && lstrcmpW(name, L"#32770") == 0 &&
         (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0;
}

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || !IsBox(window)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

bool BoxUp() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

void StepBehind(HWND box) {
  // Placed after a window that is not topmost, the splash stops being
  // topmost. Without a window manager only a window that becomes the top one
  // moves up on the screen: the box is made that, though it already is.
  gRaising = true;
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(gSplashWindow, box, 0, 0, 0, 0, keep);
  SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, keep);
  gRaising = false;
}

// What a window of this thread coming up, going or moving means for the splash.
enum class TStackingKind { None, Covers, BoxShown, BoxGone };

TStackingKind StackingKind(const CWPRETSTRUCT& call) {
  if (call.message != WM_WINDOWPOSCHANGED || call.hwnd == gSplashWindow || gSplashWindow == nullptr)
    return TStackingKind::None;
  if ((GetWindowLongW(call.hwnd, GWL_STYLE) & WS_CHILD) != 0) return TStackingKind::None;
  const auto* pos = reinterpret_cast<const WINDOWPOS*>(call.lParam);
  const bool box = IsBox(call.hwnd);
  if (!IsWindowVisible(call.hwnd))
    return box && (pos->flags & SWP_HIDEWINDOW) != 0 ? TStackingKind::BoxGone : TStackingKind::None;
  if ((pos->flags & SWP_SHOWWINDOW) == 0 && (pos->flags & SWP_NOZORDER) != 0) return TStackingKind::None;
  return box ? TStackingKind::BoxShown : TStackingKind::Covers;
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
  // A box that came up meanwhile keeps the splash behind it; it goes on top
  // again when the last box is gone.
  if (window != gSplashWindow || !IsWindowVisible(window) || BoxUp() || gRaisesLeft-- <= 0) {
    KillTimer(window, id);
    return;
  }
  RaiseSplash();
  SetTimer(window, id, kLateRaiseInterval, RaiseAgain);
}

void RaiseSplashAndAgainLater() {
  RaiseSplash();
  // Under Wine a window shown comes up on the screen only once it has
  // painted and its thread has gone idle, over whatever is there, and on a
  // busy machine that can be after the first tick: the splash goes on top
  // again at the first tick after the paints and a few times after it.
  gRaisesLeft = kLateRaises;
  SetTimer(gSplashWindow, kRaiseAgainTimer, USER_TIMER_MINIMUM, RaiseAgain);
}

LRESULT CALLBACK WatchStacking(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && !gRaising && IsWindowVisible(gSplashWindow)) {
    const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    switch (StackingKind(call)) {
      case TStackingKind::BoxShown:
        StepBehind(call.hwnd);
        break;
      case TStackingKind::BoxGone:
      case TStackingKind::Covers:
        if (!BoxUp()) RaiseSplashAndAgainLater();
        break;
      case TStackingKind::None:
        break;
    }
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
