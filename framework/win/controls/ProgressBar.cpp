#include "win/controls/ComCtrls.h"

#include <algorithm>

#include "core/Format.h"
#include "win/ClassInfo.h"

namespace {

const TEnumNames kOrientationNames = {"pbHorizontal", "pbVertical"};

const TClassRegistrar<TProgressBar, TWinControl> kProgressBarRegistrar("TProgressBar", {
    Prop("Min", &TProgressBar::Min, &TProgressBar::SetMin),
    Prop("Max", &TProgressBar::Max, &TProgressBar::SetMax),
    Prop("Position", &TProgressBar::Position, &TProgressBar::SetPosition),
    Prop("Step", &TProgressBar::Step, &TProgressBar::SetStep),
    Prop("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth),
    EnumProp("Orientation", &TProgressBar::Orientation, &TProgressBar::SetOrientation, kOrientationNames),
});

}  // namespace

void TProgressBar::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption);
  SetControlStyle(style);
  SetBounds(0, 0, 150, GetSystemMetrics(SM_CYVSCROLL));
}

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"msctls_progress32");
  if (smooth) params.Style |= PBS_SMOOTH;
  if (orientation == pbVertical) params.Style |= PBS_VERTICAL;
}

void TProgressBar::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
  SendMessageW(hwnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TProgressBar::DestroyWnd() {
  position = Position();
  TWinControl::DestroyWnd();
}

void TProgressBar::SetRange(int newMin, int newMax) {
  if (IsLoading()) {
    // A definition may write Max before Min; the pair is checked when it is complete.
    min = newMin, max = newMax;
    return;
  }
  if (newMin > newMax) throw EInvalidOperation(Format("%s property out of range", {ClassName()}));
  if (newMin == min && newMax == max) return;
  min = newMin;
  max = newMax;
  position = std::clamp(position, min, max);
  if (HandleAllocated()) SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

int TProgressBar::Position() const {
  if (!HandleAllocated()) return position;
  return static_cast<int>(SendMessageW(const_cast<TProgressBar*>(this)->Handle(), PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int value) {
  position = IsLoading() ? value : std::clamp(value, std::min(min, max), std::max(min, max));
  if (HandleAllocated()) SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TProgressBar::SetStep(int value) {
  if (value == step) return;
  step = value;
  if (HandleAllocated()) SendMessageW(Handle(), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void TProgressBar::SetSmooth(bool value) {
  if (value == smooth) return;
  smooth = value;
  RecreateWnd();
}

void TProgressBar::SetOrientation(TProgressBarOrientation value) {
  if (value == orientation) return;
  orientation = value;
  RecreateWnd();
}

void TProgressBar::StepIt() { StepBy(step); }

void TProgressBar::StepBy(int delta) {
  int next = Position() + delta;
  if (next > max) next = min + (next - max);
  next = std::clamp(next, min, max);
  SetPosition(next);
}
