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

constexpr UINT WM_SPLASH_RAISE = WM_USER + 40;

// While the splash is up, every other window of this thread that becomes
// active asks it to come back on top.
HHOOK gActivationHook = nullptr;
HWND gSplashWindow = nullptr;

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && gSplashWindow != nullptr && reinterpret_cast<HWND>(wParam) != gSplashWindow &&
      IsWindowVisible(gSplashWindow))
    PostMessageW(gSplashWindow, WM_SPLASH_RAISE, 0, 0);
  return CallNextHookEx(gActivationHook, code, wParam, lParam);
}

void StopWatching() {
  if (gActivationHook != nullptr) UnhookWindowsHookEx(gActivationHook);
  gActivationHook = nullptr;
  gSplashWindow = nullptr;
}

}  // namespace

const TMessageMap* TSplashForm::ClassMessageMap() {
  static const TMessageMap map(TForm::ClassMessageMap(), {
                                                             OnMessage(WM_SPLASH_RAISE, &TSplashForm::WMSplashRaise),
                                                         });
  return &map;
}

void TSplashForm::ShowOnTop() {
  SetFormStyle(fsStayOnTop);
  Show();
  Update();
  StopWatching();
  gSplashWindow = Handle();
  gActivationHook = SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, GetCurrentThreadId());
}

void TSplashForm::WMSplashRaise(TMessage&) {
  if (Handle() != gSplashWindow || !IsWindowVisible(Handle())) return;
  // Without a window manager a topmost window shown earlier stays under a
  // later one; shown again, it is on top once more. With one, this only
  // confirms the order the system keeps anyway.
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
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
