#include "ProgressBar.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>

#include "core/Format.h"
#include "win/ClassInfo.h"
#include "win/Timer.h"

namespace {

const TEnumNames kOrientationNames = {"pbHorizontal", "pbVertical"};

const TClassRegistrar<TDProgressBar, TWinControl> kDProgressBarRegistrar("TDProgressBar", {
    Prop("Min", &TDProgressBar::Min, &TDProgressBar::SetMin),
    Prop("Max", &TDProgressBar::Max, &TDProgressBar::SetMax),
    Prop("Position", &TDProgressBar::Position, &TDProgressBar::SetPosition),
    Prop("Step", &TDProgressBar::Step, &TDProgressBar::SetStep),
    EnumProp("Orientation", &TDProgressBar::Orientation, &TDProgressBar::SetOrientation, kOrientationNames),
    Prop("Smooth", &TDProgressBar::Smooth, &TDProgressBar::SetSmooth),
    Prop("Animate", &TDProgressBar::Animate, &TDProgressBar::SetAnimate),
    Prop("Speed", &TDProgressBar::Speed, &TDProgressBar::SetSpeed),
});

constexpr int32_t kMax16 = 65535;

bool InitProgressClass() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  if (InitCommonControlsEx(&icc)) return true;
  InitCommonControls();
  return false;
}

}  // namespace

void TDProgressBar::Create(TComponent* owner) {
  mode32Bit = InitProgressClass();
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption);
  SetControlStyle(style);
  SetBounds(Left(), Top(), 150, GetSystemMetrics(SM_CYVSCROLL));
}

void TDProgressBar::CreateParams(TCreateParams& params) {
  if (!mode32Bit) InitCommonControls();
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"msctls_progress32");
  // The marquee style in every case; Orientation and Smooth add no style.
  params.Style |= PBS_MARQUEE;
}

void TDProgressBar::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  if (mode32Bit)
    SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
  else
    SendMessageW(hwnd, PBM_SETRANGE, 0, MAKELPARAM(min, max));
  SendMessageW(hwnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TDProgressBar::DestroyWnd() {
  // The window holds the position while it exists; keep it for the next one.
  position = Position();
  TWinControl::DestroyWnd();
}

void TDProgressBar::CheckValue16(int32_t value) const {
  if (!mode32Bit && (value < 0 || value > kMax16))
    throw EInvalidOperation(Format("Value must be between %d and %d", {0, kMax16}));
}

void TDProgressBar::SendRange(int32_t newMin, int32_t newMax) {
  if (mode32Bit)
    SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(newMin), static_cast<LPARAM>(newMax));
  else
    SendMessageW(Handle(), PBM_SETRANGE, 0, MAKELPARAM(newMin, newMax));
}

int32_t TDProgressBar::Min() const {
  if (HandleAllocated() && mode32Bit)
    return static_cast<int32_t>(SendMessageW(const_cast<TDProgressBar*>(this)->Handle(), PBM_GETRANGE, 1, 0));
  return min;
}

int32_t TDProgressBar::Max() const {
  if (HandleAllocated() && mode32Bit)
    return static_cast<int32_t>(SendMessageW(const_cast<TDProgressBar*>(this)->Handle(), PBM_GETRANGE, 0, 0));
  return max;
}

void TDProgressBar::SetMin(int32_t value) { SetRange(value, max); }

void TDProgressBar::SetMax(int32_t value) { SetRange(min, value); }

void TDProgressBar::SetRange(int32_t newMin, int32_t newMax) {
  if (IsLoading()) {
    // A definition may state Max before Min; each value is taken as it comes.
    min = newMin, max = newMax;
    return;
  }
  if (newMin > newMax) throw EInvalidOperation(Format("%s property out of range", {ClassName()}));
  CheckValue16(newMin);
  CheckValue16(newMax);
  if (newMin == min && newMax == max) return;
  if (HandleAllocated()) {
    SendRange(newMin, newMax);
    if (newMin < min) SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(newMin), 0);
  }
  min = newMin;
  max = newMax;
}

int32_t TDProgressBar::Position() const {
  if (!HandleAllocated()) return position;
  HWND hwnd = const_cast<TDProgressBar*>(this)->Handle();
  // PBM_DELTAPOS answers the position before the (zero) change.
  if (mode32Bit) return static_cast<int32_t>(SendMessageW(hwnd, PBM_GETPOS, 0, 0));
  return static_cast<int32_t>(SendMessageW(hwnd, PBM_DELTAPOS, 0, 0));
}

void TDProgressBar::SetPosition(int32_t value) {
  CheckValue16(value);
  if (HandleAllocated()) {
    SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(value), 0);
    return;
  }
  position = value;
}

void TDProgressBar::SetStep(int32_t value) {
  if (value == step) return;
  step = value;
  if (HandleAllocated()) SendMessageW(Handle(), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void TDProgressBar::SetOrientation(TDProgressBarOrientation value) {
  if (value == orientation) return;
  orientation = value;
  RecreateWnd();
}

void TDProgressBar::SetSmooth(bool value) {
  if (value == smooth) return;
  smooth = value;
  RecreateWnd();
}

void TDProgressBar::SetSpeed(uint32_t value) {
  speed = value;
  if (animate && timer != nullptr) timer->SetInterval(static_cast<int>(std::min<uint32_t>(speed, INT32_MAX)));
}

void TDProgressBar::SetAnimate(bool value) {
  if (value == animate) return;
  if (value) {
    timer = New<TTimer>(this);
    timer->SetInterval(static_cast<int>(std::min<uint32_t>(speed, INT32_MAX)));
    timer->SetOnTimer(MakeEvent<&TDProgressBar::AnimationTick>(this));
    timer->SetEnabled(true);
  } else {
    FreeAndNil(timer);
  }
  animate = value;
}

void TDProgressBar::AnimationTick(TObject*) { SetPosition(100); }
