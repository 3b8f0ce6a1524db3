#include "win/controls/ComCtrls.h"

#include <algorithm>

#include "win/ClassInfo.h"

namespace {

const TEnumNames kAlignButtonNames = {"udLeft", "udRight"};
const TEnumNames kOrientationNames = {"udHorizontal", "udVertical"};

const TClassRegistrar<TUpDown, TWinControl> kUpDownRegistrar("TUpDown", {
    ComponentProp("Associate", &TUpDown::Associate, &TUpDown::SetAssociate),
    Prop("Min", &TUpDown::Min, &TUpDown::SetMin),
    Prop("Max", &TUpDown::Max, &TUpDown::SetMax),
    Prop("Position", &TUpDown::Position, &TUpDown::SetPosition),
    Prop("Increment", &TUpDown::Increment, &TUpDown::SetIncrement),
    Prop("Thousands", &TUpDown::Thousands, &TUpDown::SetThousands),
    Prop("Wrap", &TUpDown::Wrap, &TUpDown::SetWrap),
    Prop("ArrowKeys", &TUpDown::ArrowKeys, &TUpDown::SetArrowKeys),
    EnumProp("AlignButton", &TUpDown::AlignButton, &TUpDown::SetAlignButton, kAlignButtonNames),
    EnumProp("Orientation", &TUpDown::Orientation, &TUpDown::SetOrientation, kOrientationNames),
    EventProp("OnClick", &TUpDown::OnClick),
    EventProp("OnChanging", &TUpDown::OnChanging),
});

}  // namespace

const TMessageMap* TUpDown::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_NOTIFY, &TUpDown::CNNotify),
      OnMessage(CN_VSCROLL, &TUpDown::CNScroll),
      OnMessage(CN_HSCROLL, &TUpDown::CNScroll),
  });
  return &map;
}

void TUpDown::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption).Exclude(csClickEvents).Exclude(csDoubleClicks);
  SetControlStyle(style);
  SetBounds(0, 0, 17, 21);
}

void TUpDown::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"msctls_updown32");
  params.Style |= UDS_SETBUDDYINT;
  params.Style |= alignButton == udRight ? UDS_ALIGNRIGHT : UDS_ALIGNLEFT;
  if (orientation == udHorizontal) params.Style |= UDS_HORZ;
  if (arrowKeys) params.Style |= UDS_ARROWKEYS;
  if (!thousands) params.Style |= UDS_NOTHOUSANDS;
  if (wrap) params.Style |= UDS_WRAP;
}

void TUpDown::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  SendMessageW(hwnd, UDM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
  UDACCEL accel{0, static_cast<UINT>(increment)};
  SendMessageW(hwnd, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
  AttachBuddy();
  SendMessageW(hwnd, UDM_SETPOS32, 0, static_cast<LPARAM>(position));
}

void TUpDown::DestroyWnd() {
  position = Position();
  TWinControl::DestroyWnd();
}

// The system control moves itself beside its buddy and writes the number there.
void TUpDown::AttachBuddy() {
  if (!HandleAllocated() || associate == nullptr || IsLoading()) return;
  if (associate->Parent() == nullptr && associate->ParentWindow() == nullptr) return;
  SendMessageW(Handle(), UDM_SETBUDDY, reinterpret_cast<WPARAM>(associate->Handle()), 0);
  SendMessageW(Handle(), UDM_SETPOS32, 0, static_cast<LPARAM>(position));
  RECT r{};
  GetWindowRect(Handle(), &r);
  MapWindowPoints(nullptr, GetParent(Handle()), reinterpret_cast<POINT*>(&r), 2);
  UpdateBoundsRect(TRect::FromRECT(r));
}

void TUpDown::SetAssociate(TWinControl* value) {
  if (value == associate) return;
  if (associate != nullptr) {
    associate->RemoveFreeNotification(this);
    if (HandleAllocated()) SendMessageW(Handle(), UDM_SETBUDDY, 0, 0);
  }
  associate = value;
  if (associate == nullptr) return;
  associate->FreeNotification(this);
  AttachBuddy();
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == associate) {
    associate = nullptr;
    if (HandleAllocated() && !IsDestroying()) SendMessageW(Handle(), UDM_SETBUDDY, 0, 0);
  }
}

void TUpDown::Loaded() {
  TWinControl::Loaded();
  AttachBuddy();
}

void TUpDown::SetMin(int value) {
  if (value == min) return;
  min = value;
  if (HandleAllocated()) SendMessageW(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

void TUpDown::SetMax(int value) {
  if (value == max) return;
  max = value;
  if (HandleAllocated()) SendMessageW(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

int TUpDown::Position() const {
  if (!HandleAllocated()) return position;
  // Reads the buddy's text, so a number typed there counts.
  BOOL failed = FALSE;
  LRESULT value = SendMessageW(const_cast<TUpDown*>(this)->Handle(), UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed));
  if (failed) return position;
  return static_cast<int>(value);
}

void TUpDown::SetPosition(int value) {
  int low = std::min(min, max), high = std::max(min, max);
  if (!IsLoading()) value = std::clamp(value, low, high);
  position = value;
  if (HandleAllocated()) SendMessageW(Handle(), UDM_SETPOS32, 0, static_cast<LPARAM>(value));
}

void TUpDown::SetIncrement(int value) {
  if (value == increment) return;
  increment = value;
  if (!HandleAllocated()) return;
  UDACCEL accel{0, static_cast<UINT>(increment)};
  SendMessageW(Handle(), UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
}

void TUpDown::SetThousands(bool value) {
  if (value == thousands) return;
  thousands = value;
  RecreateWnd();
}

void TUpDown::SetWrap(bool value) {
  if (value == wrap) return;
  wrap = value;
  RecreateWnd();
}

void TUpDown::SetArrowKeys(bool value) {
  if (value == arrowKeys) return;
  arrowKeys = value;
  RecreateWnd();
}

void TUpDown::SetAlignButton(TUDAlignButton value) {
  if (value == alignButton) return;
  alignButton = value;
  RecreateWnd();
}

void TUpDown::SetOrientation(TUDOrientation value) {
  if (value == orientation) return;
  orientation = value;
  RecreateWnd();
}

void TUpDown::CNNotify(TMessage& m) {
  auto* header = reinterpret_cast<NMHDR*>(m.LParam);
  if (header->code != UDN_DELTAPOS || !OnChanging) return;
  OnChanging(this);
}

void TUpDown::CNScroll(TMessage& m) {
  if (LOWORD(m.WParam) != SB_THUMBPOSITION) return;
  position = Position();
  if (OnClick) OnClick(this, static_cast<int16_t>(HIWORD(m.WParam)) >= 0 ? btNext : btPrev);
}
