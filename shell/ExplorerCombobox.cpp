// The path combo box: its parts, layout, painting (themed or classic), the
// drop button, the current folder and its change links.
#include "shell/ExplorerCombobox.h"
#include "shell/ViewHold.h"

#include <commctrl.h>
#include <vsstyle.h>

#include <algorithm>

#include "shell/SysImages.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualPIDLTools.h"

const TMessageMap* TCustomVirtualExplorerCombobox::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_THEMECHANGED, &TCustomVirtualExplorerCombobox::WMThemeChanged),
      OnMessage(WM_ERASEBKGND, &TCustomVirtualExplorerCombobox::WMEraseBkgnd),
      OnMessage(WM_SETFOCUS, &TCustomVirtualExplorerCombobox::WMSetFocus),
  });
  return &map;
}

void TCustomVirtualExplorerCombobox::Create(TComponent* owner) {
  LinkExplorerComboboxProperties();
  TCustomControl::Create(owner);
  SetBounds(Left(), Top(), 300, 23);
  edit = New<TComboEdit>(this);
  edit->SetComboBox(this);
  edit->SetParent(this);
  edit->SetTabStop(true);
  autoCompleteDropDown = CreatePopupAutoCompleteDropDown();
  autoCompleteDropDown->SetCombo(this);
  autoCompleteOptions = CreatePopupAutoCompleteOptions();
  explorerDropDown = CreatePopupExplorerDropDown();
  explorerDropDown->SetCombo(this);
  explorerOptions = CreatePopupExplorerOptions();
  TCustomVirtualExplorerTreeOptions* treeOptions = explorerDropDown->PopupExplorerTree()->TreeOptions();
  treeOptions->SetPaintOptions(treeOptions->PaintOptions() + TVTPaintOptions{toShowBackground});
  SetParentColor(false);
  SetColor(clWindow);
}

TCustomVirtualExplorerCombobox::~TCustomVirtualExplorerCombobox() {
  if (VETChangeDispatch != nullptr) VETChangeDispatch->UnRegisterChangeLink(this, this, ulkServerOrClient);
  CloseThemes();
  FreeAndNil(autoCompleteOptions);
  FreeAndNil(explorerOptions);
  if (activeNamespace != nullptr) FreeAndNil(activeNamespace);
}

TPopupAutoCompleteOptions* TCustomVirtualExplorerCombobox::CreatePopupAutoCompleteOptions() {
  return New<TPopupAutoCompleteOptions>(autoCompleteDropDown);
}
TPopupAutoCompleteDropDown* TCustomVirtualExplorerCombobox::CreatePopupAutoCompleteDropDown() {
  return New<TPopupAutoCompleteDropDown>(this);
}
TPopupExplorerOptions* TCustomVirtualExplorerCombobox::CreatePopupExplorerOptions() {
  return New<TPopupExplorerOptions>(explorerDropDown);
}
TPopupExplorerDropDown* TCustomVirtualExplorerCombobox::CreatePopupExplorerDropDown() {
  return New<TPopupExplorerDropDown>(this);
}

// ---- Window, themes and layout ------------------------------------------------------------

void TCustomVirtualExplorerCombobox::CreateWnd() {
  TCustomControl::CreateWnd();
  edit->SetColor(Color());
  OpenThemes();
  RefreshText();
  AdjustHeight();
}

void TCustomVirtualExplorerCombobox::DestroyWnd() {
  CloseThemes();
  TCustomControl::DestroyWnd();
}

void TCustomVirtualExplorerCombobox::CloseThemes() {
  for (HTHEME* theme : {&comboTheme, &buttonTheme, &editTheme}) {
    if (*theme != nullptr) CloseThemeData(*theme);
    *theme = nullptr;
  }
}

void TCustomVirtualExplorerCombobox::OpenThemes() {
  CloseThemes();
  themed = IsThemeActive() && (options & kUseVisualStyles) != 0;
  if (themed && HandleAllocated()) {
    comboTheme = OpenThemeData(Handle(), L"combobox");
    buttonTheme = OpenThemeData(Handle(), L"button");
    editTheme = OpenThemeData(Handle(), L"edit");
    themed = comboTheme != nullptr && editTheme != nullptr;
  }
  if (HandleAllocated())
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
}

void TCustomVirtualExplorerCombobox::WMThemeChanged(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  OpenThemes();
  PlaceEdit();
}

void TCustomVirtualExplorerCombobox::SetComboOptions(uint8_t value) {
  if (value == options) return;
  options = value;
  if (HandleAllocated()) OpenThemes();
}

namespace {
int FontTextHeight(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm.tmHeight;
}
}  // namespace

void TCustomVirtualExplorerCombobox::AdjustHeight() {
  // New-style controls: the font's height and a 3-D border of four lines on each side.
  int wanted = FontTextHeight(Font()->Handle()) + GetSystemMetrics(SM_CYBORDER) * 8;
  if (Height() < wanted) SetBounds(Left(), Top(), Width(), wanted);
  PlaceEdit();
  autoCompleteDropDown->Font()->Assign(Font());
  explorerDropDown->Font()->Assign(Font());
}

void TCustomVirtualExplorerCombobox::FontChanged() {
  TCustomControl::FontChanged();
  edit->Font()->Assign(Font());
  AdjustHeight();
}

void TCustomVirtualExplorerCombobox::Resize() {
  TCustomControl::Resize();
  PlaceEdit();
}

TRect TCustomVirtualExplorerCombobox::InnerRect() {
  TRect client = ClientRect();
  if (themed && editTheme != nullptr && HandleAllocated()) {
    RECT bounds = client.ToRECT(), content;
    HDC dc = GetDC(Handle());
    HRESULT hr = GetThemeBackgroundContentRect(editTheme, dc, EP_EDITTEXT, ETS_NORMAL, &bounds, &content);
    ReleaseDC(Handle(), dc);
    if (SUCCEEDED(hr)) return TRect::FromRECT(content);
  }
  client.Inflate(-2, -2);
  return client;
}

TRect TCustomVirtualExplorerCombobox::ImageRect() {
  TRect inner = InnerRect();
  int size = SmallSysImages() != nullptr ? SmallSysImages()->Width() : 16;
  int top = inner.Top + (inner.Height() - size) / 2;
  return TRect{inner.Left + 2, top, inner.Left + 2 + size, top + size};
}

TRect TCustomVirtualExplorerCombobox::ButtonRect() const { return buttonRect; }

void TCustomVirtualExplorerCombobox::PlaceEdit() {
  if (edit == nullptr) return;
  TRect inner = InnerRect();
  buttonRect = TRect{inner.Right - GetSystemMetrics(SM_CXVSCROLL), inner.Top, inner.Right, inner.Bottom};
  TRect image = ImageRect();
  int textHeight = FontTextHeight(Font()->Handle());
  int left = image.Right + 4;
  int top = inner.Top + (inner.Height() - textHeight) / 2;
  edit->SetBounds(left, top, std::max(0, buttonRect.Left - 1 - left), textHeight);
}

// ---- Painting ----------------------------------------------------------------------------

bool TCustomVirtualExplorerCombobox::ShowsIcon() const {
  if (ComponentState().Contains(csDesigning)) return true;
  return activeNamespace != nullptr && !edit->TextChangedByTyping();
}

void TCustomVirtualExplorerCombobox::Paint() {
  HDC dc = Canvas()->Handle();
  TRect client = ClientRect();
  RECT cr = client.ToRECT();
  HRGN clip = CreateRectRgnIndirect(&cr);
  SelectClipRgn(dc, clip);
  DeleteObject(clip);
  bool enabled = Enabled();
  TRect image = ImageRect();
  HIMAGELIST images = SmallSysImages() != nullptr ? SmallSysImages()->Handle() : nullptr;
  bool icon = ShowsIcon() && imageIndex >= 0 && images != nullptr;
  if (themed) {
    DrawThemeBackground(editTheme, dc, EP_EDITTEXT, enabled ? ETS_NORMAL : ETS_DISABLED, &cr, nullptr);
    RECT content = InnerRect().ToRECT();
    HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
    FillRect(dc, &content, brush);
    DeleteObject(brush);
    if (icon) {
      RECT ir = image.ToRECT();
      DrawThemeIcon(editTheme, dc, EP_EDITTEXT, enabled ? ETS_NORMAL : ETS_DISABLED, &ir, images, imageIndex);
    }
    // Pressed is tested before hot, so hot wins while both hold.
    int state = !enabled ? CBXS_DISABLED
                : (comboState & kButtonHot) ? CBXS_HOT
                : (comboState & kButtonPressed) ? CBXS_PRESSED
                                               : CBXS_NORMAL;
    RECT br = buttonRect.ToRECT();
    DrawThemeBackground(comboTheme, dc, CP_DROPDOWNBUTTON, state, &br, nullptr);
  } else {
    HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
    FillRect(dc, &cr, brush);
    DeleteObject(brush);
    DrawEdge(dc, &cr, EDGE_SUNKEN, BF_RECT);
    RECT br = buttonRect.ToRECT();
    DrawFrameControl(dc, &br, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | ((comboState & kButtonPressed) ? DFCS_FLAT : 0));
    if (icon)
      ImageList_DrawEx(images, imageIndex, dc, image.Left, image.Top, image.Width(), image.Height(),
                       ColorToRGB(Color()), CLR_NONE, ILD_NORMAL);
  }
  SelectClipRgn(dc, nullptr);
}

void TCustomVirtualExplorerCombobox::WMEraseBkgnd(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  TRect inner = InnerRect();
  inner.Right = buttonRect.Left;
  int saved = SaveDC(dc);
  if (ShowsIcon()) {
    TRect image = ImageRect();
    ExcludeClipRect(dc, image.Left, image.Top, image.Right, image.Bottom);
  }
  TRect e = edit->BoundsRect();
  ExcludeClipRect(dc, e.Left, e.Top, e.Right, e.Bottom);
  RECT r = inner.ToRECT();
  HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
  FillRect(dc, &r, brush);
  DeleteObject(brush);
  RestoreDC(dc, saved);
  m.Result = 1;
}

void TCustomVirtualExplorerCombobox::WMSetFocus(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (edit->CanFocus()) edit->SetFocus();
}

// ---- The drop button ------------------------------------------------------------------------

void TCustomVirtualExplorerCombobox::DropExplorer() {
  if (explorerDropDown->DroppedDown()) {
    explorerDropDown->RollUp(false);
    return;
  }
  autoCompleteDropDown->RollUp(false);
  HideCaret(edit->Handle());
  explorerDropDown->SetSelectTarget((options & kSelectCurrentOnOpen) != 0);
  explorerDropDown->SetTargetPIDL(activeNamespace != nullptr ? activeNamespace->AbsolutePIDL() : nullptr);
  // Choosing in the drop-down reaches handlers that may free the combo box or its form.
  TViewHold hold(this);
  try {
    explorerDropDown->RollDown(edit, this);
  } catch (...) {
    if (!Going()) ShowCaret(edit->Handle());
    throw;
  }
  if (Going()) return;
  if (edit->HandleAllocated()) {
    if (edit->CanFocus()) edit->SetFocus();
    edit->SelectAll();
    ShowCaret(edit->Handle());
  }
}

void TCustomVirtualExplorerCombobox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !buttonRect.Contains(TPoint{x, y})) return;
  comboState |= kButtonPressed;
  Invalidate();
  Update();
  TViewHold hold(this);
  DropExplorer();
  if (Going()) return;
  comboState &= ~kButtonPressed;
  Invalidate();
}

void TCustomVirtualExplorerCombobox::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  uint8_t hot = buttonRect.Contains(TPoint{x, y}) ? kButtonHot : 0;
  if ((comboState & kButtonHot) == hot) return;
  comboState = static_cast<uint8_t>((comboState & ~kButtonHot) | hot);
  Invalidate();
}

void TCustomVirtualExplorerCombobox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  comboState &= ~kButtonPressed;
  if (GetCapture() == Handle()) ReleaseCapture();
  Invalidate();
}

// ---- Current folder and change links --------------------------------------------------------

std::u16string TCustomVirtualExplorerCombobox::NamespaceText() {
  if (activeNamespace == nullptr) return {};
  if (textStyle == 1) {
    std::u16string address = activeNamespace->NameParseAddress();
    if (!address.empty()) return address;
  }
  return activeNamespace->NameNormal();
}

void TCustomVirtualExplorerCombobox::SetTextStyle(int value) {
  if (value == textStyle) return;
  textStyle = value;
  RefreshText();
}

void TCustomVirtualExplorerCombobox::RefreshText() {
  if (edit == nullptr) return;
  if (ComponentState().Contains(csDesigning)) {
    edit->SetTextW(AnsiToWide(Name()));
    return;
  }
  imageIndex = activeNamespace != nullptr ? activeNamespace->GetIconIndex(/*openIcon=*/false, /*iconSize=*/0, /*force=*/false) : -1;
  edit->SetTextW(NamespaceText());
}

void TCustomVirtualExplorerCombobox::SetActiveNamespace(TNamespace* value) {
  if (value == activeNamespace) return;
  if (value != nullptr && activeNamespace != nullptr &&
      vst::ILIsEqual(value->AbsolutePIDL(), activeNamespace->AbsolutePIDL()) && !edit->TextChangedByTyping())
    return;
  // The linked views' handlers and OnPathChange may free the combo box or its form.
  TViewHold hold(this);
  TNamespace* clone = value != nullptr ? value->Clone(/*freePIDLOnDestroy=*/true) : nullptr;
  if (activeNamespace != nullptr) activeNamespace->Free();
  activeNamespace = clone;
  if (HandleAllocated()) {
    RefreshText();
    Invalidate();
    if (VETChangeDispatch != nullptr && !dispatching)
      VETChangeDispatch->DispatchChange(this, activeNamespace != nullptr ? activeNamespace->AbsolutePIDL() : nullptr);
  }
  if (!Going()) DoPathChange();
}

void TCustomVirtualExplorerCombobox::DoPathChange() {
  FireViewHandler(this, OnPathChange, this, activeNamespace);
}

void TCustomVirtualExplorerCombobox::DoInvalidPath(const std::u16string& path) {
  if (Going()) return;
  if (OnInvalidPath) {
    FireViewHandler(this, OnInvalidPath, this, path);
    return;
  }
  std::u16string text = std::u16string(res::CannotFindPrefix) + path + std::u16string(res::CannotFindSuffix);
  MessageBoxW(HandleAllocated() ? Handle() : nullptr, reinterpret_cast<LPCWSTR>(text.c_str()),
              reinterpret_cast<LPCWSTR>(std::u16string(res::InvalidPath).c_str()), MB_OK | MB_ICONWARNING);
}

void TCustomVirtualExplorerCombobox::ChangeLinkDispatch(TObject* server, LPCITEMIDLIST pidl) {
  if (dispatching || ComponentState().Contains(csDesigning) || ComponentState().Contains(csDestroying)) return;
  TViewHold hold(this);
  dispatching = true;
  try {
    if (pidl == nullptr) {
      SetActiveNamespace(nullptr);
    } else if (activeNamespace == nullptr || !vst::ILIsEqual(pidl, activeNamespace->AbsolutePIDL())) {
      // A view of the server's PIDL that does not own it.
      TNamespace* view = New<TNamespace>(const_cast<LPITEMIDLIST>(pidl), nullptr);
      view->SetFreePIDLOnDestroy(false);
      try {
        SetActiveNamespace(view);
      } catch (...) {
        view->Free();
        throw;
      }
      view->Free();
    }
  } catch (...) {
    dispatching = false;
    throw;
  }
  dispatching = false;
}

void TCustomVirtualExplorerCombobox::ChangeLinkFreeing(IVETChangeLink* link) {
  if (link->GetChangeLinkServer() == linkedTree || link->GetChangeLinkClient() == linkedTree) linkedTree = nullptr;
}

void TCustomVirtualExplorerCombobox::SetVirtualExplorerTree(TCustomVirtualExplorerTree* value) {
  if (value == linkedTree) return;
  if (linkedTree != nullptr && VETChangeDispatch != nullptr) {
    TCustomVirtualExplorerTree* old = std::exchange(linkedTree, nullptr);
    VETChangeDispatch->UnRegisterChangeLink(old, this, ulkServerAndClient);
    VETChangeDispatch->UnRegisterChangeLink(this, old, ulkServerAndClient);
  }
  linkedTree = value;
  if (value == nullptr || VETChangeDispatch == nullptr) return;
  // The combo follows the tree, and the tree follows the combo.
  VETChangeDispatch->RegisterChangeLink(value, this,
                                        MakeEvent<&TCustomVirtualExplorerCombobox::ChangeLinkDispatch>(this),
                                        MakeEvent<&TCustomVirtualExplorerCombobox::ChangeLinkFreeing>(this));
  VETChangeDispatch->RegisterChangeLink(this, value, MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkDispatch>(value),
                                        MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkFreeing>(value));
}
