#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kModalResultNames = {"mrNone", "mrOk", "mrCancel", "mrAbort", "mrRetry", "mrIgnore",
                                      "mrYes",  "mrNo", "mrAll",    "mrNoToAll", "mrYesToAll"};

// ModalResult is an integer property whose values have names.
TPropInfo ModalResultProp() {
  TPropInfo p = Prop("ModalResult", &TButton::ModalResult, &TButton::SetModalResult);
  p.kind = pkEnum;
  p.enumNames = &kModalResultNames;
  return p;
}

const TClassRegistrar<TButton, TButtonControl> kButtonRegistrar("TButton", {
    Prop("Default", &TButton::Default, &TButton::SetDefault),
    Prop("Cancel", &TButton::Cancel, &TButton::SetCancel),
    ModalResultProp(),
});

}  // namespace

const TMessageMap* TButton::ClassMessageMap() {
  static const TMessageMap map(TButtonControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TButton::CNCommand),
      OnMessage(CM_DIALOGKEY, &TButton::CMDialogKey),
      OnMessage(CM_DIALOGCHAR, &TButton::CMDialogChar),
      OnMessage(CM_FOCUSCHANGED, &TButton::CMFocusChanged),
  });
  return &map;
}

void TButton::Create(TComponent* owner) {
  TButtonControl::Create(owner);
  SetBounds(0, 0, 75, 25);
}

void TButton::SetDefault(bool value) {
  if (value == isDefault) return;
  isDefault = value;
  active = value;
  if (HandleAllocated()) SetButtonStyle(active);
}

void TButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  params.Style |= (active ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::SetButtonStyle(bool defaultLook) {
  if (!HandleAllocated()) return;
  SendMessageW(Handle(), BM_SETSTYLE, defaultLook ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, /*redraw=*/TRUE);
}

void TButton::Click() {
  auto alive = Alive();
  if (modalResult != mrNone) {
    if (TCustomForm* form = ParentForm()) form->SetModalResult(modalResult);
  }
  if (*alive) TButtonControl::Click();
}

void TButton::CNCommand(TMessage& m) {
  if (HIWORD(m.WParam) == BN_CLICKED) Click();
}

// Enter clicks the default button while it shows the default look (no other
// button has the focus); Esc clicks the cancel button.
void TButton::CMDialogKey(TMessage& m) {
  bool pressed = (m.WParam == VK_RETURN && active) || (m.WParam == VK_ESCAPE && cancel);
  if (!pressed || !Visible() || !Enabled() || (KeyboardShiftState().Contains(ssAlt))) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  Click();
  m.Result = 1;
}

void TButton::CMDialogChar(TMessage& m) {
  if (!IsAccel(static_cast<unsigned>(m.WParam), Caption()) || !CanFocus()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  Click();
  m.Result = 1;
}

void TButton::CMFocusChanged(TMessage& m) {
  auto* focused = reinterpret_cast<TWinControl*>(m.LParam);
  bool nowActive = dynamic_cast<TButton*>(focused) != nullptr ? focused == this : isDefault;
  if (nowActive != active) {
    active = nowActive;
    SetButtonStyle(active);
  }
  Inherited(ClassMessageMap(), m);
}
