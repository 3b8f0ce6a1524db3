#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TClassRegistrar<TListBox, TWinControl> kListBoxRegistrar("TListBox", {
    StringsProp("Items", &TListBox::Items),
    Prop("ItemIndex", &TListBox::ItemIndex, &TListBox::SetItemIndex),
    Prop("Sorted", &TListBox::Sorted, &TListBox::SetSorted),
    Prop("MultiSelect", &TListBox::MultiSelect, &TListBox::SetMultiSelect),
    Prop("IntegralHeight", &TListBox::IntegralHeight, &TListBox::SetIntegralHeight),
});

const TListControlItems::TMessages kListMessages{LB_ADDSTRING, LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT};

}  // namespace

const TMessageMap* TListBox::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TListBox::CNCommand),
  });
  return &map;
}

void TListBox::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption).Exclude(csClickEvents).Exclude(csDoubleClicks);
  SetControlStyle(style);
  items = New<TListControlItems>(this, kListMessages);
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox() {
  if (items != nullptr) items->Free();
}

void TListBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"LISTBOX");
  params.Style |= LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL;
  if (!integralHeight) params.Style |= LBS_NOINTEGRALHEIGHT;
  if (multiSelect) params.Style |= LBS_EXTENDEDSEL;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::CreateWnd() {
  TWinControl::CreateWnd();
  items->FillWindow();
  SetItemIndex(itemIndex);
}

void TListBox::DestroyWnd() {
  itemIndex = ItemIndex();
  TWinControl::DestroyWnd();
}

void TListBox::SetItems(TStrings* value) {
  if (value != nullptr) items->Assign(value);
}

int TListBox::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex;
  HWND hwnd = const_cast<TListBox*>(this)->Handle();
  if (multiSelect) return static_cast<int>(SendMessageW(hwnd, LB_GETCARETINDEX, 0, 0));
  return static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int value) {
  if (value < -1 || value >= items->Count()) value = -1;
  itemIndex = value;
  if (!HandleAllocated()) return;
  if (multiSelect) {
    SendMessageW(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(value), FALSE);
    return;
  }
  SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void TListBox::SetSorted(bool value) {
  if (value == sorted) return;
  sorted = value;
  items->SetSorted(value);
  items->FillWindow();
}

void TListBox::SetMultiSelect(bool value) {
  if (value == multiSelect) return;
  multiSelect = value;
  RecreateWnd();
}

void TListBox::SetIntegralHeight(bool value) {
  if (value == integralHeight) return;
  integralHeight = value;
  RecreateWnd();
}

bool TListBox::Selected(int index) const {
  if (index < 0 || index >= items->Count()) return false;
  if (!multiSelect) return ItemIndex() == index;
  if (!HandleAllocated()) return false;
  return SendMessageW(const_cast<TListBox*>(this)->Handle(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void TListBox::SetSelected(int index, bool value) {
  if (index < 0 || index >= items->Count()) return;
  if (!multiSelect) {
    if (value) SetItemIndex(index);
    else if (ItemIndex() == index) SetItemIndex(-1);
    return;
  }
  SendMessageW(Handle(), LB_SETSEL, value, static_cast<LPARAM>(index));
}

int TListBox::SelCount() const {
  if (!multiSelect) return ItemIndex() >= 0 ? 1 : 0;
  if (!HandleAllocated()) return 0;
  return static_cast<int>(SendMessageW(const_cast<TListBox*>(this)->Handle(), LB_GETSELCOUNT, 0, 0));
}

int TListBox::TopIndex() const {
  if (!HandleAllocated()) return 0;
  return static_cast<int>(SendMessageW(const_cast<TListBox*>(this)->Handle(), LB_GETTOPINDEX, 0, 0));
}

void TListBox::SetTopIndex(int value) { SendMessageW(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(value), 0); }

void TListBox::CNCommand(TMessage& m) {
  switch (HIWORD(m.WParam)) {
    case LBN_SELCHANGE:
      Click();
      break;
    case LBN_DBLCLK:
      DblClick();
      break;
  }
}
