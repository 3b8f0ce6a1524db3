#include "win/Timer.h"

#include "win/ClassInfo.h"
#include "win/Forms.h"

namespace {

const TClassRegistrar<TTimer, TComponent> kTimer("TTimer", {
    Prop("Enabled", &TTimer::Enabled, &TTimer::SetEnabled),
    Prop("Interval", &TTimer::Interval, &TTimer::SetInterval),
    EventProp("OnTimer", &TTimer::OnTimer),
});

}  // namespace

void TTimer::Create(TComponent* owner) {
  TComponent::Create(owner);
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvTimer";
    RegisterClassExW(&wc);
    registered = true;
  }
  window = CreateWindowExW(0, L"QvTimer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  UpdateTimer();
}

TTimer::~TTimer() {
  if (window != nullptr) {
    KillTimer(window, 1);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

LRESULT CALLBACK TTimer::TimerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_TIMER && timer != nullptr) {
    try {
      timer->Timer();
    } catch (const std::exception& e) {
      if (Application != nullptr) Application->ShowException(e);
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

void TTimer::SetEnabled(bool value) {
  enabled = value;
  UpdateTimer();
}

void TTimer::SetInterval(int value) {
  interval = value < 0 ? 0 : value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent value) {
  OnTimer = value;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (window == nullptr) return;
  KillTimer(window, 1);
  running = false;
  if (!enabled || interval == 0 || ComponentState().Contains(csLoading)) return;
  running = SetTimer(window, 1, static_cast<UINT>(interval), nullptr) != 0;
}
