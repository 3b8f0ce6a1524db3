#include "win/Forms.h"

#include <commctrl.h>

#include "core/Format.h"
#include "core/HandedOverHolds.h"
#include "win/Help.h"
#include "win/HintWindow.h"
#include "win/graphics/Graphics.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

constexpr UINT_PTR kHintTimerId = 1;
constexpr int kHintShow = 1, kHintHide = 2, kHintReshow = 3;

// The two globals live from static initialisation to process exit.
struct GlobalObjects {
  GlobalObjects() {
    Screen = New<TScreen>(nullptr);
    Application = New<TApplication>(nullptr);
  }
  ~GlobalObjects() {
    try {
      FreeAndNil(Application);
      FreeAndNil(Screen);
    } catch (...) {
    }
  }
} gGlobalObjects;

}  // namespace

void TApplication::Create(TComponent* owner) {
  TComponent::Create(owner);
  helpManager = new THelpManager;
  hintWindowClass = NewHintWindow;
}

TApplication::~TApplication() {
  StopHintTimer();
  if (hintWindow != nullptr) hintWindow->Free();
  delete helpManager;
  if (handle != nullptr) DestroyWindow(handle);
}

void TApplication::Initialize() {
  if (initialized) return;
  initialized = true;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                            ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = AppWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvApplication";
  RegisterClassExW(&wc);
  std::u16string wideTitle = AnsiToWide(title);
  handle = CreateWindowExW(WS_EX_TOOLWINDOW, L"QvApplication", reinterpret_cast<LPCWSTR>(wideTitle.c_str()), WS_POPUP,
                           0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (handle != nullptr) SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK TApplication::AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (app != nullptr) {
    try {
      if (msg == WM_TIMER && wParam == kHintTimerId) {
        app->HintTimerExpired();
        return 0;
      }
    } catch (const std::exception& e) {
      app->ShowException(e);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------
// The message loop

void TApplication::Run() {
  Initialize();
  if (mainForm != nullptr && !quitPosted) mainForm->Show();
  while (!terminated) {
    HandleMessage();
    if (mainForm == nullptr) terminated = true;  // the main form is gone: so is the program
  }
  DestroyForms();
}

// The forms go while the rest of the program is still whole: after Run returns
// the program's units shut down, and a form freed later (at process exit) would
// reach services that are gone.
void TApplication::DestroyForms() {
  CancelHint();
  FreeAndNil(hintWindow);
  ReleaseBetweenMessages();
  while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
  ReleaseBetweenMessages();
}

void TApplication::HandleMessage() {
  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ProcessMessage(msg);
    ReleaseBetweenMessages();
    return;
  }
  Idle();
  if (!terminated) WaitMessage();
}

// Each call works on its own MSG; nothing of the loop lives in a control, so a
// handler may free its form (or re-enter) while this runs.
void TApplication::ProcessMessages() {
  if (!initialized) Initialize();
  ReleaseBetweenMessages();
  ++handlingDepth;
  MSG msg;
  while (!terminated && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ProcessMessage(msg);
  --handlingDepth;
  ReleaseBetweenMessages();
}

// What handlers freed under code that held nothing goes once that code has
// returned: here, between messages, with no message of ours being handled.
void TApplication::ReleaseBetweenMessages() {
  if (handlingDepth == 0 && !InsideWindowProcedure() && HandedOverHoldCount() != 0) EndHandedOverHolds();
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated = true;
    exitCode = static_cast<int>(msg.wParam);
    return true;
  }
  bool handled = false;
  try {
    if (OnMessage) OnMessage(msg, handled);
    if (handled) return true;
    IsHintMsg(msg);
    if (IsKeyMsg(msg)) return true;
  } catch (const std::exception& e) {
    ShowException(e);
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

// Keys first reach the control as CN_xxx: key preview, dialog keys (Tab,
// Enter, Escape, arrows) and accelerators are handled there.
bool TApplication::IsKeyMsg(MSG& msg) {
  UINT m = msg.message;
  if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN && m != WM_CHAR && m != WM_SYSCHAR) return false;
  HWND hwnd = msg.hwnd;
  TWinControl* control = nullptr;
  for (int depth = 0; hwnd != nullptr && depth < 3 && control == nullptr; ++depth, hwnd = GetParent(hwnd))
    control = FindControl(hwnd);
  if (control == nullptr) return false;
  return control->Perform(CN_BASE + m, msg.wParam, msg.lParam) != 0;
}

void TApplication::Idle() {
  if (OnIdle) OnIdle(this);
}

// Terminated turns true when the quit message arrives, so what was posted
// before it (a form's Release) is still handled.
void TApplication::Terminate(int exitCode_) {
  quitPosted = true;
  exitCode = exitCode_;
  PostQuitMessage(exitCode_);
}

void TApplication::ShowException(const std::exception& error) {
  if (OnException) {
    OnException(this, error);
    return;
  }
  std::string text = error.what();
  if (!text.empty() && text.back() != '.') text += '.';
  MessageBox(text, title, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  std::u16string t = AnsiToWide(text), c = AnsiToWide(caption);
  HWND owner = Screen != nullptr && Screen->ActiveForm() != nullptr && Screen->ActiveForm()->HandleAllocated()
                   ? Screen->ActiveForm()->Handle()
                   : handle;
  return ::MessageBoxW(owner, reinterpret_cast<LPCWSTR>(t.c_str()), reinterpret_cast<LPCWSTR>(c.c_str()), flags);
}

void TApplication::SetTitle(const std::string& value) {
  title = value;
  if (handle != nullptr) SetWindowTextW(handle, reinterpret_cast<LPCWSTR>(AnsiToWide(value).c_str()));
}

bool TApplication::Active() const { return GetActiveWindow() != nullptr; }

std::string TApplication::ExeName() const {
  char16_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(path), MAX_PATH * 2);
  return WideToAnsi(std::u16string(path, n));
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == hintControl) {
    hintControl = nullptr;
    StopHintTimer();
    HideHintWindow();
  }
  if (component == mainForm) mainForm = nullptr;
}

// ---------------------------------------------------------------------------
// Help

bool TApplication::HelpKeyword(const std::string& keyword) {
  if (OnHelp) {
    bool callHelp = true;
    bool result = OnHelp(HELP_KEY, reinterpret_cast<intptr_t>(keyword.c_str()), callHelp);
    if (!callHelp) return result;
  }
  return helpManager->ShowHelp(keyword);
}

bool TApplication::HelpContext(int context) {
  if (OnHelp) {
    bool callHelp = true;
    bool result = OnHelp(HELP_CONTEXT, context, callHelp);
    if (!callHelp) return result;
  }
  return helpManager->ShowContextHelp(context, helpFile);
}

bool TApplication::HelpForControl(TControl* control) {
  for (TControl* c = control; c != nullptr; c = c->Parent()) {
    if (c->HelpType() == htKeyword && !c->HelpKeyword().empty()) return HelpKeyword(c->HelpKeyword());
    if (c->HelpType() == htContext && c->HelpContext() != 0) return HelpContext(c->HelpContext());
    if (dynamic_cast<TCustomForm*>(c) != nullptr) break;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Hints

void TApplication::SetShowHint(bool value) {
  showHint = value;
  if (!value) CancelHint();
}

void TApplication::StartHintTimer(int ms, int kind) {
  StopHintTimer();
  if (!initialized) Initialize();
  if (handle == nullptr) return;
  hintTimerKind = kind;
  hintTimer = SetTimer(handle, kHintTimerId, static_cast<UINT>(ms > 0 ? ms : 1), nullptr);
}

void TApplication::StopHintTimer() {
  if (hintTimer != 0 && handle != nullptr) KillTimer(handle, kHintTimerId);
  hintTimer = 0;
  hintTimerKind = 0;
}

void TApplication::HideHintWindow() {
  if (hintWindow != nullptr) hintWindow->ReleaseHandle();
}

void TApplication::CancelHint() {
  StopHintTimer();
  HideHintWindow();
  hintActive = false;
  if (hintControl != nullptr) hintControl->RemoveFreeNotification(this);
  hintControl = nullptr;
}

bool TApplication::IsHintMsg(const MSG& msg) {
  if (hintWindow == nullptr || !hintWindow->IsShown() || !hintWindow->IsHintMsg(msg)) return false;
  CancelHint();
  return true;
}

void TApplication::HintMouseMessage(TControl* control, TPoint pos) {
  if (!showHint || control == nullptr) return;
  POINT screen;
  GetCursorPos(&screen);
  if (control != hintControl) {
    bool wasActive = hintActive;
    StopHintTimer();
    HideHintWindow();
    if (hintControl != nullptr) hintControl->RemoveFreeNotification(this);
    hintControl = control;
    control->FreeNotification(this);
    int pause = wasActive ? hintShortPause : hintPause;
    control->Perform(CM_HINTSHOWPAUSE, wasActive ? 1 : 0, reinterpret_cast<LPARAM>(&pause));
    StartHintTimer(pause, kHintShow);
    return;
  }
  // The same control: a hint that is up goes when the mouse leaves its area.
  if (hintWindow != nullptr && hintWindow->IsShown() && !PtInRect(&hintCursorRect, screen)) {
    HideHintWindow();
    StartHintTimer(hintShortPause, kHintReshow);
  }
}

void TApplication::HintTimerExpired() {
  int kind = hintTimerKind;
  StopHintTimer();
  if (kind == kHintHide) {
    HideHintWindow();
    return;
  }
  POINT pt;
  GetCursorPos(&pt);
  ActivateHint(Point(pt.x, pt.y));
}

void TApplication::ActivateHint(TPoint cursorPos) {
  StopHintTimer();
  TControl* control = hintControl;
  while (control != nullptr && !control->ShowHint()) control = control->Parent();
  if (control == nullptr) {
    hintActive = false;
    return;
  }
  THintInfo info;
  info.HintControl = control;
  info.HintWindowClass = hintWindowClass;
  info.HintPos = POINT{cursorPos.X, cursorPos.Y + 20};
  info.HintMaxWidth = Screen != nullptr ? Screen->Width() : 640;
  info.HintColor = ColorToRGB(hintColor);
  info.CursorRect = control->ClientRect().ToRECT();
  TPoint local = control->ScreenToClient(cursorPos);
  info.CursorPos = POINT{local.X, local.Y};
  info.HintStr = control->Hint().substr(0, control->Hint().find('|'));
  info.HideTimeout = hintHidePause;
  TAliveToken token = control->Alive();
  LRESULT refuse = control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  if (!*token || refuse != 0 || info.HintStr.empty()) {
    hintActive = false;
    return;
  }
  THintWindowFactory factory = info.HintWindowClass != nullptr ? info.HintWindowClass : NewHintWindow;
  if (hintWindow != nullptr && hintWindowFactoryUsed != factory) FreeAndNil(hintWindow);
  if (hintWindow == nullptr) {
    hintWindow = factory();
    hintWindowFactoryUsed = factory;
  }
  TRect r = hintWindow->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
  if (r.IsEmpty()) {
    hintActive = false;
    return;
  }
  r.Offset(info.HintPos.x, info.HintPos.y);
  hintWindow->ActivateHintData(r, info.HintStr, info.HintData);
  // Showing may handle messages (an animated hint): the control may be gone.
  if (!*token) {
    hintActive = false;
    return;
  }
  hintActive = true;
  TPoint tl = control->ClientToScreen(Point(info.CursorRect.left, info.CursorRect.top));
  hintCursorRect = RECT{tl.X, tl.Y, tl.X + (info.CursorRect.right - info.CursorRect.left),
                        tl.Y + (info.CursorRect.bottom - info.CursorRect.top)};
  if (OnHint) OnHint(this);
  if (info.ReshowTimeout > 0) StartHintTimer(info.ReshowTimeout, kHintReshow);
  else if (info.HideTimeout > 0) StartHintTimer(info.HideTimeout, kHintHide);
}
