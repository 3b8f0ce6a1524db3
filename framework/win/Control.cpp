#include "win/Controls.h"

#include <algorithm>

#include "win/Forms.h"
#include "win/graphics/Graphics.h"

// ---------------------------------------------------------------------------
// Message tables

TMessageMap::TMessageMap(const TMessageMap* parent_, std::initializer_list<TMessageEntry> entries_)
    : parent(parent_), entries(entries_) {
  std::sort(entries.begin(), entries.end(), [](const TMessageEntry& a, const TMessageEntry& b) { return a.msg < b.msg; });
}

TMessageHandler TMessageMap::FindHere(UINT msg) const {
  auto it = std::lower_bound(entries.begin(), entries.end(), msg,
                             [](const TMessageEntry& e, UINT m) { return e.msg < m; });
  if (it == entries.end() || it->msg != msg) return nullptr;
  return it->handler;
}

TMessageHandler TMessageMap::Find(UINT msg) const {
  for (const TMessageMap* map = this; map != nullptr; map = map->parent)
    if (TMessageHandler h = map->FindHere(msg)) return h;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Helpers

TShiftState MouseShiftState(WPARAM keys) {
  TShiftState shift;
  if (keys & MK_SHIFT) shift.Include(ssShift);
  if (keys & MK_CONTROL) shift.Include(ssCtrl);
  if (keys & MK_LBUTTON) shift.Include(ssLeft);
  if (keys & MK_RBUTTON) shift.Include(ssRight);
  if (keys & MK_MBUTTON) shift.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) shift.Include(ssAlt);
  return shift;
}

TShiftState KeyboardShiftState() {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) shift.Include(ssAlt);
  return shift;
}

TShiftState KeyDataToShiftState(LPARAM keyData) {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (keyData & 0x20000000) shift.Include(ssAlt);
  return shift;
}

bool IsAccel(unsigned ch, const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    unsigned c = static_cast<unsigned char>(caption[i + 1]);
    auto upper = [](unsigned x) { return x >= 'a' && x <= 'z' ? x - 32 : x; };
    return upper(c) == upper(ch);
  }
  return false;
}

// ---------------------------------------------------------------------------
// TControl

void TControl::Create(TComponent* owner) {
  TComponent::Create(owner);
  font = New<TFont>();
  font->OnChange = MakeEvent<&TControl::FontChangeHandler>(this);
}

TControl::~TControl() {
  *alive = false;
  if (parent != nullptr) parent->RemoveControl(this);  // deleted without BeforeDestruction
  if (font != nullptr) font->Free();
}

void TControl::BeforeDestruction() {
  // A control freed while held (its message or operation still running) is
  // going: tokens held across its handlers tell so at once, not only when
  // its memory goes.
  *alive = false;
  if (Application != nullptr && Application->HintControl() == this) Application->CancelHint();
  ForgetDragControl(this);
  if (parent != nullptr) parent->RemoveControl(this);
  TComponent::BeforeDestruction();
}

const TMessageMap* TControl::ClassMessageMap() {
  static const TMessageMap map(nullptr, {
      OnMessage(WM_LBUTTONDOWN, &TControl::WMLButtonDown),
      OnMessage(WM_LBUTTONUP, &TControl::WMLButtonUp),
      OnMessage(WM_LBUTTONDBLCLK, &TControl::WMLButtonDblClk),
      OnMessage(WM_RBUTTONDOWN, &TControl::WMRButtonDown),
      OnMessage(WM_RBUTTONUP, &TControl::WMRButtonUp),
      OnMessage(WM_MBUTTONDOWN, &TControl::WMMButtonDown),
      OnMessage(WM_MBUTTONUP, &TControl::WMMButtonUp),
      OnMessage(WM_MOUSEMOVE, &TControl::WMMouseMove),
      OnMessage(WM_CONTEXTMENU, &TControl::WMContextMenu),
      OnMessage(CM_MOUSEENTER, &TControl::CMMouseEnter),
      OnMessage(CM_MOUSELEAVE, &TControl::CMMouseLeave),
      OnMessage(CM_PARENTFONTCHANGED, &TControl::CMParentFontChanged),
      OnMessage(CM_PARENTCOLORCHANGED, &TControl::CMParentColorChanged),
      OnMessage(CM_PARENTSHOWHINTCHANGED, &TControl::CMParentShowHintChanged),
      OnMessage(CM_PARENTBIDIMODECHANGED, &TControl::CMParentBiDiModeChanged),
      OnMessage(CM_HITTEST, &TControl::CMHitTest),
      OnMessage(CM_HINTSHOW, &TControl::CMHintShow),
      OnMessage(CM_FONTCHANGED, &TControl::CMFontChanged),
      OnMessage(CM_COLORCHANGED, &TControl::CMColorChanged),
  });
  return &map;
}

void TControl::WndProc(TMessage& message) {
  bool press = message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK;
  if (press && dragMode == dmAutomatic && dragKind == dkDrag && !ComponentState().Contains(csDesigning)) {
    // The automatic drag: the press is the drag's, the control does not see it.
    controlState.Include(csLButtonDown);
    BeginDrag(false);
    return;
  }
  Dispatch(message);
}

void TControl::Dispatch(TMessage& message) {
  if (TMessageHandler handler = MessageMap()->Find(message.Msg)) {
    (this->*handler)(message);
    return;
  }
  DefaultHandler(message);
}

void TControl::DefaultHandler(TMessage& message) {}

void TControl::Inherited(const TMessageMap* map, TMessage& message) {
  TMessageHandler handler = map->Parent() != nullptr ? map->Parent()->Find(message.Msg) : nullptr;
  if (handler != nullptr) {
    (this->*handler)(message);
    return;
  }
  DefaultHandler(message);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  // Held as in its window procedure: a handler the message reaches may free it.
  THold hold(this);
  WndProc(m);
  return m.Result;
}

void TControl::SetParent(TWinControl* value) {
  if (value == parent) return;
  if (value == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent != nullptr) parent->RemoveControl(this);
  if (value != nullptr) value->InsertControl(this);
}

TCustomForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent != nullptr) c = c->parent;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

void TControl::SetBounds(int aLeft, int aTop, int aWidth, int aHeight) {
  aWidth = std::max(aWidth, 0);
  aHeight = std::max(aHeight, 0);
  if (aLeft == left && aTop == top && aWidth == width && aHeight == height) return;
  Invalidate();
  left = aLeft, top = aTop, width = aWidth, height = aHeight;
  Invalidate();
  BoundsChanged();
}

void TControl::BoundsChanged() {
  if (parent != nullptr) {
    TRect client = parent->ClientRect();
    anchorParentWidth = client.Width();
    anchorParentHeight = client.Height();
    if (align != alNone) parent->Realign();
  }
  Resize();
}

void TControl::UpdateBoundsRect(const TRect& r) {
  left = r.Left, top = r.Top, width = r.Width(), height = r.Height();
}

TRect TControl::ClientRect() const { return Rect(0, 0, width, height); }

void TControl::SetClientSize(int aWidth, int aHeight) {
  TRect client = ClientRect();
  SetBounds(left, top, width + aWidth - client.Width(), height + aHeight - client.Height());
}

TPoint TControl::ClientToScreen(TPoint p) const {
  if (parent == nullptr) return p;
  return parent->ClientToScreen(Point(p.X + left, p.Y + top));
}

TPoint TControl::ScreenToClient(TPoint p) const {
  if (parent == nullptr) return p;
  TPoint q = parent->ScreenToClient(p);
  return Point(q.X - left, q.Y - top);
}

void TControl::SetAlign(TAlign value) {
  if (value == align) return;
  align = value;
  if (parent != nullptr) parent->Realign();
}

void TControl::SetAnchors(TAnchors value) {
  anchors = value;
  if (parent != nullptr) {
    TRect client = parent->ClientRect();
    anchorParentWidth = client.Width();
    anchorParentHeight = client.Height();
  }
}

void TControl::SetVisible(bool value) {
  if (value == visible) return;
  if (!value) Invalidate();
  visible = value;
  if (value) Invalidate();
  Perform(CM_VISIBLECHANGED, value ? 1 : 0);
  if (parent != nullptr && align != alNone) parent->Realign();
  // A window control that now shows gets its window (and its children theirs).
  if (value)
    if (auto* win = dynamic_cast<TWinControl*>(this)) win->VisibleNow();
}

void TControl::SetEnabled(bool value) {
  if (value == enabled) return;
  enabled = value;
  Perform(CM_ENABLEDCHANGED);
  Invalidate();
}

void TControl::SetText(const std::string& value) {
  if (value == caption) return;
  caption = value;
  Perform(CM_TEXTCHANGED);
  Invalidate();
}

void TControl::SetFont(TFont* value) {
  if (value == nullptr) return;
  font->Assign(value);
}

void TControl::FontChangeHandler(TObject*) {
  if (!readingParentFont) parentFont = false;
  if (!IsDestroying()) Perform(CM_FONTCHANGED);
}

void TControl::ReadParentFont() {
  if (parent == nullptr) return;
  readingParentFont = true;
  try {
    font->Assign(parent->Font());
  } catch (...) {
    readingParentFont = false;
    throw;
  }
  readingParentFont = false;
}

void TControl::SetParentFont(bool value) {
  parentFont = value;
  if (value) ReadParentFont();
}

void TControl::FontChanged() {}

void TControl::SetColor(TColor value) {
  parentColor = false;
  if (value == color) return;
  color = value;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value) {
  parentColor = value;
  if (value && parent != nullptr && parent->Color() != color) {
    color = parent->Color();
    Perform(CM_COLORCHANGED);
  }
}

void TControl::SetCursor(TCursor value) {
  if (value == cursor) return;
  cursor = value;
  Perform(CM_CURSORCHANGED);
}

void TControl::SetShowHint(bool value) {
  parentShowHint = false;
  if (value == showHint) return;
  showHint = value;
  Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool value) {
  parentShowHint = value;
  if (value && parent != nullptr) showHint = parent->ShowHint();
}

void TControl::SetPopupMenu(TComponent* value) {
  if (value != nullptr && dynamic_cast<IPopupMenu*>(value) == nullptr)
    throw EComponentError(std::string("Component '") + value->Name() + "' is no pop-up menu");
  if (popupMenu != nullptr && popupMenu != value) popupMenu->RemoveFreeNotification(this);
  popupMenu = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TControl::SetBiDiMode(TBiDiMode value) {
  parentBiDiMode = false;
  if (value == biDiMode) return;
  biDiMode = value;
  Perform(CM_BIDIMODECHANGED);
}

void TControl::SetParentBiDiMode(bool value) {
  parentBiDiMode = value;
  if (value && parent != nullptr && parent->BiDiMode() != biDiMode) {
    biDiMode = parent->BiDiMode();
    Perform(CM_BIDIMODECHANGED);
  }
}

UINT TControl::DrawTextBiDiModeFlags(UINT flags) const {
  if (UseRightToLeftReading()) flags |= DT_RTLREADING;
  if (!UseRightToLeftAlignment()) return flags;
  if (flags & DT_RIGHT) return flags & ~static_cast<UINT>(DT_RIGHT);
  if (!(flags & DT_CENTER)) flags |= DT_RIGHT;
  return flags;
}

void TControl::Invalidate() {
  if (parent == nullptr || !parent->HandleAllocated() || !visible) return;
  // A window that is not shown is painted whole when it shows: nothing to
  // note for it (each note is a round trip to the window server under Wine,
  // and reading a form moves every control several times before it shows).
  if (!IsWindowVisible(parent->handle)) return;
  RECT r = BoundsRect().ToRECT();
  ::InvalidateRect(parent->handle, &r, !controlStyle.Contains(csOpaque));
}

void TControl::Update() {
  if (parent != nullptr) parent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (parent == nullptr) return;
  auto& list = parent->controls;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.push_back(this);
  if (auto* win = dynamic_cast<TWinControl*>(this); win != nullptr && win->HandleAllocated())
    SetWindowPos(win->handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Invalidate();
}

void TControl::SendToBack() {
  if (parent == nullptr) return;
  auto& list = parent->controls;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.insert(list.begin(), this);
  if (auto* win = dynamic_cast<TWinControl*>(this); win != nullptr && win->HandleAllocated())
    SetWindowPos(win->handle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Invalidate();
}

bool TControl::Showing() const { return visible && parent != nullptr && parent->Showing(); }

void TControl::Click() {
  FireControlEvent(OnClick, this);
}

void TControl::DblClick() {
  FireControlEvent(OnDblClick, this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  FireControlEvent(OnMouseDown, this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  FireControlEvent(OnMouseUp, this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  FireControlEvent(OnMouseMove, this, shift, x, y);
}

void TControl::Resize() {
  if (!IsLoading()) FireControlEvent(OnResize, this);
}

bool TControl::DoContextPopup(TPoint screenPos) {
  bool handled = false;
  if (OnContextPopup) {
    // A handler that freed the control took the message: no menu for it.
    if (!FireControlEvent(OnContextPopup, this, ScreenToClient(screenPos), handled) || handled) return true;
  }
  auto* menu = dynamic_cast<IPopupMenu*>(popupMenu);
  if (menu == nullptr || !menu->AutoPopup()) return false;
  if (Application != nullptr) Application->CancelHint();
  menu->PopupFor(this, screenPos.X, screenPos.Y);
  return true;
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (parent == nullptr) return;
  if (parentFont) ReadParentFont();
  if (parentColor && parent->Color() != color) {
    color = parent->Color();
    Perform(CM_COLORCHANGED);
  }
  if (parentShowHint) showHint = parent->ShowHint();
  if (parentBiDiMode && parent->BiDiMode() != biDiMode) {
    biDiMode = parent->BiDiMode();
    Perform(CM_BIDIMODECHANGED);
  }
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == popupMenu) popupMenu = nullptr;
}

// Mouse handlers. Coordinates are client coordinates of this control.

void TControl::WMLButtonDown(TMessage& m) {
  if (controlStyle.Contains(csClickEvents)) controlState.Include(csClicked);
  controlState.Include(csLButtonDown);
  DefaultHandler(m);
  if (!controlStyle.Contains(csNoStdEvents)) MouseDown(mbLeft, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMLButtonUp(TMessage& m) {
  DefaultHandler(m);
  bool clicked = controlState.Contains(csClicked);
  controlState.Exclude(csClicked).Exclude(csLButtonDown);
  if (clicked && ClientRect().Contains(Point(m.XPos(), m.YPos()))) {
    TAliveToken token = Alive();
    Click();
    if (!*token) return;  // the handler freed this control
  }
  if (!controlStyle.Contains(csNoStdEvents)) MouseUp(mbLeft, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMLButtonDblClk(TMessage& m) {
  DefaultHandler(m);
  if (controlStyle.Contains(csDoubleClicks)) {
    TAliveToken token = Alive();
    DblClick();
    if (!*token) return;
  }
  if (!controlStyle.Contains(csNoStdEvents))
    MouseDown(mbLeft, MouseShiftState(m.WParam) + TShiftState{ssDouble}, m.XPos(), m.YPos());
}

void TControl::WMRButtonDown(TMessage& m) {
  DefaultHandler(m);
  if (!controlStyle.Contains(csNoStdEvents)) MouseDown(mbRight, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMRButtonUp(TMessage& m) {
  TAliveToken token = Alive();
  DefaultHandler(m);  // sends WM_CONTEXTMENU: a handler of the menu it shows may free this control
  if (!*token) return;
  if (!controlStyle.Contains(csNoStdEvents)) MouseUp(mbRight, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMMButtonDown(TMessage& m) {
  DefaultHandler(m);
  if (!controlStyle.Contains(csNoStdEvents)) MouseDown(mbMiddle, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMMButtonUp(TMessage& m) {
  DefaultHandler(m);
  if (!controlStyle.Contains(csNoStdEvents)) MouseUp(mbMiddle, MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMMouseMove(TMessage& m) {
  DefaultHandler(m);
  if (!controlStyle.Contains(csNoStdEvents)) MouseMove(MouseShiftState(m.WParam), m.XPos(), m.YPos());
}

void TControl::WMContextMenu(TMessage& m) {
  TPoint pos = Point(m.XPos(), m.YPos());
  if (m.LParam == -1) pos = ClientToScreen(Point(width / 2, height / 2));  // from the keyboard
  if (DoContextPopup(pos)) {
    m.Result = 1;
    return;
  }
  DefaultHandler(m);
}

// The event fires for the control itself (LParam 0); parents hear of it with
// LParam naming the child.
void TControl::CMMouseEnter(TMessage& m) {
  if (m.LParam == 0) FireControlEvent(OnMouseEnter, this);
}

void TControl::CMMouseLeave(TMessage& m) {
  if (m.LParam == 0) FireControlEvent(OnMouseLeave, this);
}

void TControl::CMFontChanged(TMessage& m) {
  FontChanged();
  Invalidate();
}

void TControl::CMColorChanged(TMessage& m) { Invalidate(); }

void TControl::CMParentFontChanged(TMessage& m) {
  if (parentFont) ReadParentFont();
}

void TControl::CMParentColorChanged(TMessage& m) {
  if (!parentColor || parent == nullptr || parent->Color() == color) return;
  color = parent->Color();
  Perform(CM_COLORCHANGED);
}

void TControl::CMParentShowHintChanged(TMessage& m) {
  if (parentShowHint && parent != nullptr) showHint = parent->ShowHint();
}

void TControl::CMParentBiDiModeChanged(TMessage& m) {
  if (!parentBiDiMode || parent == nullptr || parent->BiDiMode() == biDiMode) return;
  biDiMode = parent->BiDiMode();
  Perform(CM_BIDIMODECHANGED);
}

void TControl::CMHitTest(TMessage& m) { m.Result = HTCLIENT; }

void TControl::CMHintShow(TMessage& m) {}
