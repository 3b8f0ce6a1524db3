#include "win/controls/ComCtrls.h"

#include <algorithm>

#include "core/Exception.h"
#include "core/Format.h"
#include "win/ClassInfo.h"

namespace {

const TEnumNames kTabStyleNames = {"tsTabs", "tsButtons", "tsFlatButtons"};
const TEnumNames kTabPositionNames = {"tpTop", "tpBottom", "tpLeft", "tpRight"};

const TClassRegistrar<TTabSheet, TWinControl> kTabSheetRegistrar("TTabSheet", {
    Prop("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible),
    Prop("ImageIndex", &TTabSheet::ImageIndex, &TTabSheet::SetImageIndex),
    Prop("PageIndex", &TTabSheet::PageIndex, &TTabSheet::SetPageIndex),
    EventProp("OnShow", &TTabSheet::OnShow),
    EventProp("OnHide", &TTabSheet::OnHide),
});

// Sheets written inside a page control in a definition become its pages.
void AddSheet(TComponent* parent, TComponent* child) {
  auto* pageControl = dynamic_cast<TPageControl*>(parent);
  auto* sheet = dynamic_cast<TTabSheet*>(child);
  if (sheet != nullptr) {
    sheet->SetPageControl(pageControl);
    return;
  }
  if (auto* control = dynamic_cast<TControl*>(child)) control->SetParent(pageControl);
}

const TClassRegistrar<TPageControl, TWinControl> kPageControlRegistrar(
    "TPageControl",
    {
        ComponentProp("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage),
        EnumProp("Style", &TPageControl::Style, &TPageControl::SetStyle, kTabStyleNames),
        EnumProp("TabPosition", &TPageControl::TabPosition, &TPageControl::SetTabPosition, kTabPositionNames),
        Prop("MultiLine", &TPageControl::MultiLine, &TPageControl::SetMultiLine),
        ComponentProp("Images", &TPageControl::Images, &TPageControl::SetImages),
        EventProp("OnChange", &TPageControl::OnChange),
        EventProp("OnChanging", &TPageControl::OnChanging),
    },
    AddSheet);

}  // namespace

// ---------------------------------------------------------------------------
// TTabSheet

void TTabSheet::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Include(csAcceptsControls).Include(csParentBackground);
  SetControlStyle(style);
  SetVisible(false);
  SetAlign(alClient);
}

void TTabSheet::BeforeDestruction() {
  if (pageControl != nullptr) pageControl->RemovePage(this);
  TWinControl::BeforeDestruction();
}

void TTabSheet::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TTabSheet::SetPageControl(TPageControl* value) {
  if (value == pageControl) return;
  if (pageControl != nullptr) pageControl->RemovePage(this);
  SetParent(value);
  if (value != nullptr) value->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (pageControl == nullptr) return -1;
  auto& pages = pageControl->pages;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetPageIndex(int value) {
  if (pageControl != nullptr) pageControl->MovePage(this, value);
}

void TTabSheet::SetTabVisible(bool value) {
  if (value == tabVisible) return;
  tabVisible = value;
  if (pageControl != nullptr) pageControl->UpdateTabs();
}

void TTabSheet::SetImageIndex(int value) {
  if (value == imageIndex) return;
  imageIndex = value;
  if (pageControl != nullptr) pageControl->UpdateTabs();
}

int TTabSheet::TabIndex() const {
  if (pageControl == nullptr || !tabVisible) return -1;
  int index = 0;
  for (TTabSheet* page : pageControl->pages) {
    if (page == this) return index;
    if (page->tabVisible) ++index;
  }
  return -1;
}

void TTabSheet::SetText(const std::string& value) {
  TWinControl::SetText(value);
  if (pageControl != nullptr) pageControl->UpdateTabs();
}

void TTabSheet::DoShow() {
  if (OnShow) OnShow(this);
}

void TTabSheet::DoHide() {
  if (OnHide) OnHide(this);
}

// ---------------------------------------------------------------------------
// TPageControl

const TMessageMap* TPageControl::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_NOTIFY, &TPageControl::CNNotify),
      OnMessage(CM_DIALOGKEY, &TPageControl::CMDialogKey),
  });
  return &map;
}

void TPageControl::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle controlStyle = ControlStyle();
  controlStyle.Include(csAcceptsControls).Exclude(csSetCaption).Exclude(csClickEvents);
  SetControlStyle(controlStyle);
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
}

void TPageControl::BeforeDestruction() {
  for (TTabSheet* page : pages) page->pageControl = nullptr;
  pages.clear();
  activePage = nullptr;
  TWinControl::BeforeDestruction();
}

void TPageControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"SysTabControl32");
  params.Style |= WS_CLIPCHILDREN | TCS_FOCUSONBUTTONDOWN;
  if (style == tsButtons) params.Style |= TCS_BUTTONS;
  if (style == tsFlatButtons) params.Style |= TCS_BUTTONS | TCS_FLATBUTTONS;
  if (multiLine) params.Style |= TCS_MULTILINE;
  if (tabPosition == tpBottom) params.Style |= TCS_BOTTOM;
  if (tabPosition == tpLeft) params.Style |= TCS_VERTICAL | TCS_MULTILINE;
  if (tabPosition == tpRight) params.Style |= TCS_VERTICAL | TCS_RIGHT | TCS_MULTILINE;
}

void TPageControl::CreateWnd() {
  TWinControl::CreateWnd();
  if (images != nullptr) SendMessageW(Handle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images->Handle()));
  UpdateTabs();
}

// The sheets fill the display area the tab control leaves inside its tabs.
void TPageControl::AdjustClientRect(TRect& r) const {
  r = ClientRect();
  if (handle == nullptr) {
    r.Inflate(-4, -4);
    r.Top += 20;
    return;
  }
  RECT rc = r.ToRECT();
  SendMessageW(handle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
  r = TRect::FromRECT(rc);
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return pages[static_cast<size_t>(index)];
}

void TPageControl::InsertPage(TTabSheet* page) {
  page->pageControl = this;
  pages.push_back(page);
  page->SetVisible(page == activePage);
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* page) {
  auto found = std::find(pages.begin(), pages.end(), page);
  if (found == pages.end()) return;
  TTabSheet* next = page == activePage ? FindNextPage(page, true, false) : activePage;
  pages.erase(found);
  page->pageControl = nullptr;
  if (page == activePage) {
    activePage = nullptr;
    if (next != page && !IsDestroying()) SetActivePage(next);
  }
  if (!IsDestroying()) UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* page, int newIndex) {
  auto found = std::find(pages.begin(), pages.end(), page);
  if (found == pages.end()) return;
  pages.erase(found);
  newIndex = std::clamp(newIndex, 0, PageCount());
  pages.insert(pages.begin() + newIndex, page);
  UpdateTabs();
}

void TPageControl::UpdateTabs() {
  if (!HandleAllocated() || IsLoading()) return;
  HWND hwnd = Handle();
  SendMessageW(hwnd, TCM_DELETEALLITEMS, 0, 0);
  int tab = 0;
  for (TTabSheet* page : pages) {
    if (!page->tabVisible) continue;
    std::u16string text = AnsiToWide(page->Caption());
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = reinterpret_cast<LPWSTR>(text.data());
    item.iImage = page->imageIndex;
    SendMessageW(hwnd, TCM_INSERTITEMW, static_cast<WPARAM>(tab++), reinterpret_cast<LPARAM>(&item));
  }
  UpdateTabSelection();
  Realign();
}

void TPageControl::UpdateTabSelection() {
  if (!HandleAllocated()) return;
  int tab = activePage != nullptr ? activePage->TabIndex() : -1;
  SendMessageW(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
}

TTabSheet* TPageControl::SheetOfTab(int tabIndex) const {
  int index = 0;
  for (TTabSheet* page : pages) {
    if (!page->tabVisible) continue;
    if (index++ == tabIndex) return page;
  }
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* value) {
  if (value != nullptr && value->pageControl != this) return;
  if (value == activePage) return;
  TTabSheet* old = activePage;
  activePage = value;
  if (value != nullptr) {
    value->SetVisible(true);
    value->BringToFront();
  }
  if (old != nullptr) old->SetVisible(false);
  UpdateTabSelection();
  if (IsLoading()) return;
  auto alive = Alive();
  if (old != nullptr) old->DoHide();
  if (*alive && value != nullptr && activePage == value) value->DoShow();
}

int TPageControl::ActivePageIndex() const { return activePage != nullptr ? activePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int value) {
  if (value == -1) {
    SetActivePage(nullptr);
    return;
  }
  if (value < 0 || value >= PageCount()) return;
  SetActivePage(pages[static_cast<size_t>(value)]);
}

void TPageControl::SetStyle(TTabStyle value) {
  if (value == style) return;
  style = value;
  RecreateWnd();
}

void TPageControl::SetTabPosition(TTabPosition value) {
  if (value == tabPosition) return;
  tabPosition = value;
  RecreateWnd();
}

void TPageControl::SetMultiLine(bool value) {
  if (value == multiLine) return;
  multiLine = value;
  RecreateWnd();
}

void TPageControl::SetImages(TCustomImageList* value) {
  if (value == images) return;
  if (images != nullptr) images->RemoveFreeNotification(this);
  images = value;
  if (images != nullptr) images->FreeNotification(this);
  if (HandleAllocated())
    SendMessageW(Handle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images != nullptr ? images->Handle() : nullptr));
}

void TPageControl::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == images) {
    images = nullptr;
    if (HandleAllocated() && !IsDestroying()) SendMessageW(Handle(), TCM_SETIMAGELIST, 0, 0);
  }
}

void TPageControl::Loaded() {
  TWinControl::Loaded();
  for (TTabSheet* page : pages) page->SetVisible(page == activePage);
  UpdateTabs();
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const {
  if (pages.empty()) return nullptr;
  int count = PageCount();
  auto found = std::find(pages.begin(), pages.end(), current);
  int start = found == pages.end() ? (goForward ? count - 1 : 0) : static_cast<int>(found - pages.begin());
  int i = start;
  for (int steps = 0; steps < count; ++steps) {
    i = goForward ? (i + 1) % count : (i + count - 1) % count;
    TTabSheet* page = pages[static_cast<size_t>(i)];
    if (!checkTabVisible || page->tabVisible) return page;
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool goForward) {
  TTabSheet* next = FindNextPage(activePage, goForward, true);
  if (next == nullptr || next == activePage) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return;
  SetActivePage(next);
  if (OnChange) OnChange(this);
}

void TPageControl::CNNotify(TMessage& m) {
  auto* header = reinterpret_cast<NMHDR*>(m.LParam);
  switch (header->code) {
    case TCN_SELCHANGING: {
      bool allow = true;
      if (OnChanging) OnChanging(this, allow);
      m.Result = allow ? FALSE : TRUE;
      return;
    }
    case TCN_SELCHANGE: {
      auto alive = Alive();
      SetActivePage(SheetOfTab(static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0))));
      if (*alive && OnChange) OnChange(this);
      return;
    }
    default:
      Inherited(ClassMessageMap(), m);
  }
}

void TPageControl::CMDialogKey(TMessage& m) {
  TShiftState shift = KeyboardShiftState();
  if (m.WParam != VK_TAB || !shift.Contains(ssCtrl) || !Showing()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  SelectNextPage(/*goForward=*/!shift.Contains(ssShift));
  m.Result = 1;
}
