#include "win/controls/StdCtrls.h"

#include <commctrl.h>

#include "win/ClassInfo.h"

namespace {

const TEnumNames kComboStyleNames = {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
                                     "csOwnerDrawVariable"};

const TClassRegistrar<TComboBox, TWinControl> kComboBoxRegistrar("TComboBox", {
    EnumProp("Style", &TComboBox::Style, &TComboBox::SetStyle, kComboStyleNames),
    StringsProp("Items", &TComboBox::Items),
    Prop("ItemIndex", &TComboBox::ItemIndex, &TComboBox::SetItemIndex),
    Prop("Text", &TComboBox::Text, &TComboBox::SetTextProp),
    Prop("DropDownCount", &TComboBox::DropDownCount, &TComboBox::SetDropDownCount),
    Prop("Sorted", &TComboBox::Sorted, &TComboBox::SetSorted),
    Prop("MaxLength", &TComboBox::MaxLength, &TComboBox::SetMaxLength),
    EventProp("OnChange", &TComboBox::OnChange),
    EventProp("OnSelect", &TComboBox::OnSelect),
    EventProp("OnDropDown", &TComboBox::OnDropDown),
    EventProp("OnCloseUp", &TComboBox::OnCloseUp),
});

const TListControlItems::TMessages kComboMessages{CB_ADDSTRING, CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT};

}  // namespace

const TMessageMap* TComboBox::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TComboBox::CNCommand),
  });
  return &map;
}

void TComboBox::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle controlStyle = ControlStyle();
  controlStyle.Exclude(csAcceptsControls).Exclude(csSetCaption);
  SetControlStyle(controlStyle);
  items = New<TListControlItems>(this, kComboMessages);
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox() {
  if (items != nullptr) items->Free();
}

// The window's height includes the dropped-down list; the control's Height is
// the selection field's.
void TComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"COMBOBOX");
  static const DWORD kStyles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED,
                                  CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE};
  params.Style |= kStyles[style] | WS_VSCROLL | CBS_AUTOHSCROLL | CBS_HASSTRINGS;
  if (style != csSimple) params.Height = Height() + dropDownCount * 16 + 4;
}

void TComboBox::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  items->FillWindow();
  SendMessageW(hwnd, CB_SETMINVISIBLE, static_cast<WPARAM>(dropDownCount), 0);
  if (maxLength > 0) SendMessageW(hwnd, CB_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
  SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(itemIndex), 0);
  if (itemIndex < 0 && style != csDropDownList && !StoredCaption().empty()) {
    std::u16string wide = AnsiToWide(StoredCaption());
    SetWindowTextW(hwnd, reinterpret_cast<LPCWSTR>(wide.c_str()));
  }
}

void TComboBox::DestroyWnd() {
  itemIndex = ItemIndex();
  TWinControl::DestroyWnd();
}

void TComboBox::SetStyle(TComboBoxStyle value) {
  if (value == style) return;
  style = value;
  RecreateWnd();
}

void TComboBox::SetItems(TStrings* value) {
  if (value != nullptr) items->Assign(value);
}

int TComboBox::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex;
  return static_cast<int>(SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int value) {
  if (value < -1 || value >= items->Count()) value = -1;
  itemIndex = value;
  // CB_SETCURSEL sends no selection notification, so no OnChange follows.
  if (HandleAllocated()) SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void TComboBox::SetDropDownCount(int value) {
  if (value < 1 || value == dropDownCount) return;
  dropDownCount = value;
  if (HandleAllocated()) SendMessageW(Handle(), CB_SETMINVISIBLE, static_cast<WPARAM>(value), 0);
}

void TComboBox::SetSorted(bool value) {
  if (value == sorted) return;
  sorted = value;
  items->SetSorted(value);
  items->FillWindow();
}

void TComboBox::SetMaxLength(int value) {
  if (value < 0) value = 0;
  maxLength = value;
  if (HandleAllocated()) SendMessageW(Handle(), CB_LIMITTEXT, static_cast<WPARAM>(value), 0);
}

bool TComboBox::DroppedDown() const {
  return HandleAllocated() && SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TComboBox::SetDroppedDown(bool value) { SendMessageW(Handle(), CB_SHOWDROPDOWN, value, 0); }

void TComboBox::Clear() {
  items->Clear();
  itemIndex = -1;
  SetTextProp("");
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::CNCommand(TMessage& m) {
  auto alive = Alive();
  switch (HIWORD(m.WParam)) {
    case CBN_SELCHANGE:
      // The user picked a row: the edit part shows it before OnChange.
      if (style != csDropDownList) {
        int index = ItemIndex();
        if (index >= 0) SetTextProp(items->Strings(index));
      }
      Change();
      if (*alive && OnSelect) OnSelect(this);
      break;
    case CBN_EDITCHANGE:
      Change();
      break;
    case CBN_DROPDOWN:
      if (OnDropDown) OnDropDown(this);
      break;
    case CBN_CLOSEUP:
      if (OnCloseUp) OnCloseUp(this);
      break;
  }
}
