#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

const TClassRegistrar<TRadioButton, TButtonControl> kRadioButtonRegistrar("TRadioButton", {
    Prop("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked),
    EnumProp("Alignment", &TRadioButton::Alignment, &TRadioButton::SetAlignment, kAlignmentNames),
});

}  // namespace

const TMessageMap* TRadioButton::ClassMessageMap() {
  static const TMessageMap map(TButtonControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TRadioButton::CNCommand),
      OnMessage(CM_DIALOGCHAR, &TRadioButton::CMDialogChar),
  });
  return &map;
}

void TRadioButton::Create(TComponent* owner) {
  TButtonControl::Create(owner);
  SetBounds(0, 0, 113, 17);
}

// A plain radio button with notifications: the state is ours, and double
// clicks arrive as BN_DOUBLECLICKED.
void TRadioButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  params.Style |= BS_RADIOBUTTON | BS_NOTIFY;
  if (alignment == taLeftJustify) params.Style |= BS_LEFTTEXT;
}

void TRadioButton::CreateComplete() {
  TButtonControl::CreateComplete();
  SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool value) {
  if (value == checked) return;
  checked = value;
  SetTabStop(value);
  if (HandleAllocated()) SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!value) return;
  // One radio button of a parent is checked at a time.
  if (TWinControl* owner = Parent()) {
    for (int i = 0; i < owner->ControlCount(); ++i) {
      auto* sibling = dynamic_cast<TRadioButton*>(owner->Controls(i));
      if (sibling != nullptr && sibling != this) sibling->SetChecked(false);
    }
  }
  if (!IsLoading()) Click();
}

void TRadioButton::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  RecreateWnd();
}

void TRadioButton::CNCommand(TMessage& m) {
  switch (HIWORD(m.WParam)) {
    case BN_CLICKED:
      SetChecked(true);
      break;
    case BN_DOUBLECLICKED:
      DblClick();
      break;
  }
}

void TRadioButton::CMDialogChar(TMessage& m) {
  if (!IsAccel(static_cast<unsigned>(m.WParam), Caption()) || !CanFocus()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  SetFocus();
  if (Focused()) SetChecked(true);
  m.Result = 1;
}
