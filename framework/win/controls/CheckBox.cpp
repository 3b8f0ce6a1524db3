#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};
const TEnumNames kStateNames = {"cbUnchecked", "cbChecked", "cbGrayed"};

const TClassRegistrar<TCheckBox, TButtonControl> kCheckBoxRegistrar("TCheckBox", {
    Prop("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked),
    EnumProp("State", &TCheckBox::State, &TCheckBox::SetState, kStateNames),
    Prop("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed),
    EnumProp("Alignment", &TCheckBox::Alignment, &TCheckBox::SetAlignment, kAlignmentNames),
});

}  // namespace

const TMessageMap* TCheckBox::ClassMessageMap() {
  static const TMessageMap map(TButtonControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TCheckBox::CNCommand),
      OnMessage(CM_DIALOGCHAR, &TCheckBox::CMDialogChar),
  });
  return &map;
}

void TCheckBox::Create(TComponent* owner) {
  TButtonControl::Create(owner);
  SetBounds(0, 0, 97, 17);
}

// The window is a plain (not automatic) check box: every state change goes
// through SetState, so OnClick fires exactly when the state changes.
void TCheckBox::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  params.Style |= BS_3STATE;
  if (alignment == taLeftJustify) params.Style |= BS_LEFTTEXT;
}

void TCheckBox::CreateComplete() {
  TButtonControl::CreateComplete();
  SendMessageW(Handle(), BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

void TCheckBox::SetState(TCheckBoxState value) {
  if (value == state) return;
  state = value;
  if (HandleAllocated()) SendMessageW(Handle(), BM_SETCHECK, static_cast<WPARAM>(state), 0);
  if (!IsLoading()) Click();
}

void TCheckBox::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  RecreateWnd();
}

void TCheckBox::Toggle() {
  switch (state) {
    case cbUnchecked:
      SetState(allowGrayed ? cbGrayed : cbChecked);
      break;
    case cbChecked:
      SetState(cbUnchecked);
      break;
    case cbGrayed:
      SetState(cbChecked);
      break;
  }
}

void TCheckBox::CNCommand(TMessage& m) {
  if (HIWORD(m.WParam) == BN_CLICKED) Toggle();
}

void TCheckBox::CMDialogChar(TMessage& m) {
  if (!IsAccel(static_cast<unsigned>(m.WParam), Caption()) || !CanFocus()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  SetFocus();
  if (Focused()) Toggle();
  m.Result = 1;
}
