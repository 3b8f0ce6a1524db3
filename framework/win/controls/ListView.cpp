#include "win/controls/ComCtrls.h"

#include <algorithm>
#include <cstring>

#include "win/ClassInfo.h"

namespace {

const TEnumNames kViewStyleNames = {"vsIcon", "vsSmallIcon", "vsList", "vsReport"};
const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

const TClassRegistrar<TListColumn, void> kListColumnRegistrar("TListColumn", {
    Prop("Caption", &TListColumn::Caption, &TListColumn::SetCaption),
    Prop("Width", &TListColumn::Width, &TListColumn::SetWidth),
    EnumProp("Alignment", &TListColumn::Alignment, &TListColumn::SetAlignment, kAlignmentNames),
});

const TClassRegistrar<TListView, TWinControl> kListViewRegistrar("TListView", {
    CollectionProp<TListView>(
        "Columns", [](TListView* v) { v->Columns()->Clear(); }, [](TListView* v) -> TObject* { return v->Columns()->Add(); },
        [](TListView* v) { return v->Columns()->Count(); },
        [](TListView* v, int i) -> TObject* { return v->Columns()->Items(i); }),
    EnumProp("ViewStyle", &TListView::ViewStyle, &TListView::SetViewStyle, kViewStyleNames),
    Prop("RowSelect", &TListView::RowSelect, &TListView::SetRowSelect),
    Prop("HideSelection", &TListView::HideSelection, &TListView::SetHideSelection),
    Prop("MultiSelect", &TListView::MultiSelect, &TListView::SetMultiSelect),
    Prop("ReadOnly", &TListView::ReadOnly, &TListView::SetReadOnly),
    Prop("ShowColumnHeaders", &TListView::ShowColumnHeaders, &TListView::SetShowColumnHeaders),
    Prop("ColumnClick", &TListView::ColumnClick, &TListView::SetColumnClick),
    Prop("GridLines", &TListView::GridLines, &TListView::SetGridLines),
    Prop("Border", &TListView::Border, &TListView::SetBorder),
    ComponentProp("SmallImages", &TListView::SmallImages, &TListView::SetSmallImages),
    EventProp("OnChange", &TListView::OnChange),
    EventProp("OnSelectItem", &TListView::OnSelectItem),
});

int ColumnFormat(TAlignment alignment) {
  static const int kFormats[] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER};
  return kFormats[alignment];
}

}  // namespace

const TMessageMap* TListView::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_NOTIFY, &TListView::CNNotify),
  });
  return &map;
}

void TListView::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  // Clicks come as list-view notifications, not from the mouse messages.
  style.Exclude(csAcceptsControls).Exclude(csSetCaption).Exclude(csClickEvents).Exclude(csDoubleClicks);
  SetControlStyle(style);
  columns = New<TListColumns>(this);
  items = New<TListItems>(this);
  imageChangeLink = New<TChangeLink>();
  imageChangeLink->OnChange = MakeEvent<&TListView::ImageListChange>(this);
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 250, 150);
}

TListView::~TListView() {
  if (imageChangeLink != nullptr) imageChangeLink->Free();
  if (items != nullptr) items->Free();
  if (columns != nullptr) columns->Free();
}

void TListView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"SysListView32");
  static const DWORD kViews[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  params.Style |= kViews[viewStyle] | LVS_SHAREIMAGELISTS;
  if (!hideSelection) params.Style |= LVS_SHOWSELALWAYS;
  if (!multiSelect) params.Style |= LVS_SINGLESEL;
  if (!readOnly) params.Style |= LVS_EDITLABELS;
  if (!showColumnHeaders) params.Style |= LVS_NOCOLUMNHEADER;
  if (!columnClick) params.Style |= LVS_NOSORTHEADER;
  if (border) params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListView::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  ++quietLevel;
  UpdateExtendedStyle();
  if (smallImages != nullptr)
    SendMessageW(hwnd, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(smallImages->Handle()));
  for (int i = 0; i < columns->Count(); ++i) InsertWindowColumn(i);
  for (int i = 0; i < items->Count(); ++i) InsertWindowItem(i);
  --quietLevel;
}

void TListView::DestroyWnd() {
  // The window holds the selection; the items keep it until the next window.
  for (int i = 0; i < items->Count(); ++i) {
    TListItem* item = items->Item(i);
    item->selected = item->Selected();
    item->focused = item->Focused();
  }
  for (int i = 0; i < columns->Count(); ++i) columns->Items(i)->width = columns->Items(i)->Width();
  ++quietLevel;
  TWinControl::DestroyWnd();
  --quietLevel;
}

void TListView::UpdateExtendedStyle() {
  if (!HandleAllocated()) return;
  DWORD ex = LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
  if (rowSelect) ex |= LVS_EX_FULLROWSELECT;
  if (gridLines) ex |= LVS_EX_GRIDLINES;
  SendMessageW(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER |
                                                          LVS_EX_LABELTIP, ex);
}

void TListView::InsertWindowColumn(int index) {
  if (!HandleAllocated()) return;
  TListColumn* column = columns->Items(index);
  std::u16string text = AnsiToWide(column->caption);
  LVCOLUMNW lvc{};
  lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
  lvc.fmt = ColumnFormat(column->alignment);
  lvc.cx = column->width;
  lvc.pszText = reinterpret_cast<LPWSTR>(text.data());
  lvc.iSubItem = index;
  SendMessageW(Handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&lvc));
}

void TListView::UpdateWindowColumn(int index) {
  if (!HandleAllocated()) return;
  TListColumn* column = columns->Items(index);
  std::u16string text = AnsiToWide(column->caption);
  LVCOLUMNW lvc{};
  lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  lvc.fmt = ColumnFormat(column->alignment);
  lvc.cx = column->width;
  lvc.pszText = reinterpret_cast<LPWSTR>(text.data());
  SendMessageW(Handle(), LVM_SETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&lvc));
}

// Texts and images are asked for when shown (LVN_GETDISPINFO), so the window
// never holds a copy that could go stale.
void TListView::InsertWindowItem(int index) {
  if (!HandleAllocated()) return;
  TListItem* item = items->Item(index);
  LVITEMW lvi{};
  lvi.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  lvi.iItem = index;
  lvi.pszText = LPSTR_TEXTCALLBACKW;
  lvi.iImage = I_IMAGECALLBACK;
  lvi.lParam = reinterpret_cast<LPARAM>(item);
  lvi.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  lvi.state = (item->selected ? LVIS_SELECTED : 0) | (item->focused ? LVIS_FOCUSED : 0);
  ++quietLevel;
  SendMessageW(Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lvi));
  --quietLevel;
}

void TListView::UpdateWindowItem(int index) {
  if (!HandleAllocated() || items->updateCount > 0) return;
  SendMessageW(Handle(), LVM_UPDATE, static_cast<WPARAM>(index), 0);
}

void TListView::SetViewStyle(TViewStyle value) {
  if (value == viewStyle) return;
  viewStyle = value;
  RecreateWnd();
}

TListItem* TListView::Selected() const {
  if (!HandleAllocated()) {
    for (int i = 0; i < items->Count(); ++i)
      if (items->Item(i)->selected) return items->Item(i);
    return nullptr;
  }
  auto index = static_cast<int>(
      SendMessageW(const_cast<TListView*>(this)->Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return index >= 0 && index < items->Count() ? items->Item(index) : nullptr;
}

void TListView::SetSelected(TListItem* item) {
  for (int i = 0; i < items->Count(); ++i) {
    TListItem* each = items->Item(i);
    if (each != item && each->Selected()) each->SetSelected(false);
  }
  if (item != nullptr) item->SetSelected(true);
}

TListItem* TListView::ItemFocused() const {
  if (!HandleAllocated()) {
    for (int i = 0; i < items->Count(); ++i)
      if (items->Item(i)->focused) return items->Item(i);
    return nullptr;
  }
  auto index = static_cast<int>(
      SendMessageW(const_cast<TListView*>(this)->Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  return index >= 0 && index < items->Count() ? items->Item(index) : nullptr;
}

void TListView::SetItemFocused(TListItem* item) {
  TListItem* current = ItemFocused();
  if (current != nullptr && current != item) current->SetFocused(false);
  if (item != nullptr) item->SetFocused(true);
}

int TListView::SelCount() const {
  if (HandleAllocated())
    return static_cast<int>(SendMessageW(const_cast<TListView*>(this)->Handle(), LVM_GETSELECTEDCOUNT, 0, 0));
  int count = 0;
  for (int i = 0; i < items->Count(); ++i) count += items->Item(i)->selected ? 1 : 0;
  return count;
}

int TListView::ItemIndex() const {
  TListItem* item = Selected();
  return item != nullptr ? item->Index() : -1;
}

void TListView::SetItemIndex(int value) {
  SetSelected(value >= 0 && value < items->Count() ? items->Item(value) : nullptr);
}

void TListView::SetRowSelect(bool value) {
  if (value == rowSelect) return;
  rowSelect = value;
  UpdateExtendedStyle();
}

void TListView::SetHideSelection(bool value) {
  if (value == hideSelection) return;
  hideSelection = value;
  RecreateWnd();
}

void TListView::SetMultiSelect(bool value) {
  if (value == multiSelect) return;
  multiSelect = value;
  RecreateWnd();
}

void TListView::SetReadOnly(bool value) {
  if (value == readOnly) return;
  readOnly = value;
  RecreateWnd();
}

void TListView::SetShowColumnHeaders(bool value) {
  if (value == showColumnHeaders) return;
  showColumnHeaders = value;
  RecreateWnd();
}

void TListView::SetColumnClick(bool value) {
  if (value == columnClick) return;
  columnClick = value;
  RecreateWnd();
}

void TListView::SetGridLines(bool value) {
  if (value == gridLines) return;
  gridLines = value;
  UpdateExtendedStyle();
}

void TListView::SetBorder(bool value) {
  if (value == border) return;
  border = value;
  RecreateWnd();
}

void TListView::SetSmallImages(TCustomImageList* value) {
  if (value == smallImages) return;
  if (smallImages != nullptr) {
    smallImages->UnRegisterChanges(imageChangeLink);
    smallImages->RemoveFreeNotification(this);
  }
  smallImages = value;
  if (smallImages != nullptr) {
    smallImages->RegisterChanges(imageChangeLink);
    smallImages->FreeNotification(this);
  }
  ImageListChange(nullptr);
}

void TListView::ImageListChange(TObject*) {
  if (!HandleAllocated()) return;
  HIMAGELIST list = smallImages != nullptr ? smallImages->Handle() : nullptr;
  SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(list));
  Invalidate();
}

void TListView::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == smallImages) {
    smallImages = nullptr;
    if (HandleAllocated() && !IsDestroying()) SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, 0);
  }
}

TListItem* TListView::GetItemAt(int x, int y) const {
  if (!HandleAllocated()) return nullptr;
  LVHITTESTINFO hit{};
  hit.pt = POINT{x, y};
  auto index = static_cast<int>(
      SendMessageW(const_cast<TListView*>(this)->Handle(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index < 0 || index >= items->Count() || (hit.flags & LVHT_ONITEM) == 0) return nullptr;
  return items->Item(index);
}

void TListView::Change(TListItem* item, TItemChange change) {
  if (OnChange) OnChange(this, item, change);
}

void TListView::CNNotify(TMessage& m) {
  auto* header = reinterpret_cast<NMHDR*>(m.LParam);
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(m.LParam);
      auto* item = reinterpret_cast<TListItem*>(info->item.lParam);
      if (item == nullptr) return;
      if (info->item.mask & LVIF_TEXT) {
        int sub = info->item.iSubItem;
        std::u16string wide;
        if (sub == 0 && item->hasWideCaption) wide = item->wideCaption;
        else if (sub == 0) wide = AnsiToWide(item->caption);
        else if (sub - 1 < item->subItems->Count()) wide = AnsiToWide(item->subItems->Strings(sub - 1));
        if (info->item.pszText != nullptr && info->item.cchTextMax > 0) {
          size_t n = std::min(wide.size(), static_cast<size_t>(info->item.cchTextMax - 1));
          std::memcpy(info->item.pszText, wide.data(), n * sizeof(char16_t));
          info->item.pszText[n] = 0;
        }
      }
      if (info->item.mask & LVIF_IMAGE) info->item.iImage = info->item.iSubItem == 0 ? item->imageIndex : -1;
      return;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(m.LParam);
      if ((change->uChanged & LVIF_STATE) == 0 || Quiet()) return;
      if (change->iItem < 0 || change->iItem >= items->Count()) return;
      TListItem* item = items->Item(change->iItem);
      auto alive = Alive();
      Change(item, ctState);
      bool wasSelected = (change->uOldState & LVIS_SELECTED) != 0, isSelected = (change->uNewState & LVIS_SELECTED) != 0;
      if (*alive && wasSelected != isSelected && OnSelectItem) OnSelectItem(this, item, isSelected);
      return;
    }
    case NM_CLICK:
    case NM_RCLICK:
      if (header->code == NM_CLICK) Click();
      return;
    case NM_DBLCLK:
      DblClick();
      return;
    default:
      Inherited(ClassMessageMap(), m);
  }
}
