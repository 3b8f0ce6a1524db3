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
    Prop("OwnerData", &TListView::OwnerData, &TListView::SetOwnerData),
    ComponentProp("SmallImages", &TListView::SmallImages, &TListView::SetSmallImages),
    EventProp("OnChange", &TListView::OnChange),
    EventProp("OnSelectItem", &TListView::OnSelectItem),
    EventProp("OnData", &TListView::OnData),
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
  if (items->ownerData) params.Style |= LVS_OWNERDATA;
}

void TListView::CreateWnd() {
  TWinControl::CreateWnd();
  HWND hwnd = Handle();
  ++quietLevel;
  UpdateExtendedStyle();
  if (smallImages != nullptr)
    SendMessageW(hwnd, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(smallImages->Handle()));
  for (int i = 0; i < columns->Count(); ++i) InsertWindowColumn(i);
  if (items->ownerData) {
    SendMessageW(hwnd, LVM_SETITEMCOUNT, static_cast<WPARAM>(items->ownerCount), 0);
    for (int index : dataSelection) SetRowState(index, LVIS_SELECTED, true);
    if (dataFocus >= 0) SetRowState(dataFocus, LVIS_FOCUSED, true);
    dataSelection.clear();
    dataFocus = -1;
  }
  for (int i = 0; !items->ownerData && i < items->Count(); ++i) InsertWindowItem(i);
  ScrollToTop(savedTop);
  savedTop = 0;
  --quietLevel;
}

// Scrolls rows up until row is the top one (as far as the rows go); in
// report view, where rows are lines.
void TListView::ScrollToTop(int row) {
  if (viewStyle != vsReport) return;
  HWND hwnd = Handle();
  const int top = static_cast<int>(SendMessageW(hwnd, LVM_GETTOPINDEX, 0, 0));
  if (row <= 0 || row == top || items->Count() == 0) return;
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  if (!SendMessageW(hwnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds))) return;
  SendMessageW(hwnd, LVM_SCROLL, 0, (row - top) * (bounds.bottom - bounds.top));
}

void TListView::DestroyWnd() {
  // The window holds the selection; the items (or, with owner data, the
  // list) keep it until the next window, which shows the same rows.
  savedTop = static_cast<int>(SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0));
  if (items->ownerData) {
    HWND hwnd = Handle();
    dataSelection.clear();
    for (int i = -1; (i = static_cast<int>(SendMessageW(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0;)
      dataSelection.push_back(i);
    dataFocus = static_cast<int>(SendMessageW(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  }
  for (int i = 0; !items->ownerData && i < items->Count(); ++i) {
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
  if (!HandleAllocated() && items->ownerData)
    return dataSelection.empty() || dataSelection[0] >= items->Count() ? nullptr : items->Item(dataSelection[0]);
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
  if (items->ownerData) {
    // By index: the item may be the one standing for every row.
    const int index = item != nullptr ? item->Index() : -1;
    dataSelection.clear();
    if (!HandleAllocated()) {
      if (index >= 0) dataSelection.push_back(index);
      return;
    }
    SetRowState(-1, LVIS_SELECTED, false);
    if (index >= 0) SetRowState(index, LVIS_SELECTED, true);
    return;
  }
  for (int i = 0; i < items->Count(); ++i) {
    TListItem* each = items->Item(i);
    if (each != item && each->Selected()) each->SetSelected(false);
  }
  if (item != nullptr) item->SetSelected(true);
}

TListItem* TListView::ItemFocused() const {
  if (!HandleAllocated() && items->ownerData)
    return dataFocus < 0 || dataFocus >= items->Count() ? nullptr : items->Item(dataFocus);
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
  if (items->ownerData) {
    const int index = item != nullptr ? item->Index() : -1;
    if (!HandleAllocated()) {
      dataFocus = index;
      return;
    }
    if (index >= 0) SetRowState(index, LVIS_FOCUSED, true);
    else SetRowState(-1, LVIS_FOCUSED, false);
    return;
  }
  TListItem* current = ItemFocused();
  if (current != nullptr && current != item) current->SetFocused(false);
  if (item != nullptr) item->SetFocused(true);
}

int TListView::SelCount() const {
  if (HandleAllocated())
    return static_cast<int>(SendMessageW(const_cast<TListView*>(this)->Handle(), LVM_GETSELECTEDCOUNT, 0, 0));
  if (items->ownerData) return static_cast<int>(dataSelection.size());
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

void TListView::SetOwnerData(bool value) {
  if (value == items->ownerData) return;
  items->Clear();
  items->ownerData = value;
  RecreateWnd();
}

void TListView::SetRowState(int index, UINT mask, bool on) {
  LVITEMW state{};
  state.stateMask = mask;
  state.state = on ? mask : 0;
  SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
}

// The window's type-ahead: a caption that starts with the typed text (or
// equals it), compared as the user's locale does, ignoring case.
int TListView::FindDataRow(int start, const LVFINDINFOW& find) {
  if ((find.flags & (LVFI_STRING | LVFI_PARTIAL)) == 0 || find.psz == nullptr) return -1;
  const int count = items->Count();
  const int wanted = lstrlenW(find.psz);
  if (count == 0 || wanted == 0) return -1;
  if (start < 0 || start >= count) start = 0;
  const int steps = (find.flags & LVFI_WRAP) != 0 ? count : count - start;
  for (int step = 0; step < steps; ++step) {
    const int row = (start + step) % count;
    TListItem* item = items->Item(row);
    std::u16string caption = item->hasWideCaption ? item->wideCaption : AnsiToWide(item->caption);
    int length = static_cast<int>(caption.size());
    if ((find.flags & LVFI_PARTIAL) != 0) {
      if (length < wanted) continue;
      length = wanted;
    }
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<LPCWSTR>(caption.c_str()), length,
                       find.psz, wanted) == CSTR_EQUAL)
      return row;
  }
  return -1;
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
      TListItem* item = reinterpret_cast<TListItem*>(info->item.lParam);
      if (items->ownerData) {
        const int row = info->item.iItem;
        item = row >= 0 && row < items->Count() ? items->Item(row) : nullptr;
      }
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
    case LVN_ODFINDITEMW: {
      auto* find = reinterpret_cast<NMLVFINDITEMW*>(m.LParam);
      m.Result = items->ownerData ? FindDataRow(find->iStart, find->lvfi) : -1;
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
