#include "win/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <list>
#include <map>
#include <set>

#include "core/Format.h"
#include "win/Forms.h"
#include "win/graphics/Graphics.h"

namespace {

struct WindowClassEntry {
  WNDPROC defProc;  // the copied system class's procedure, or DefWindowProcW
  bool systemClass;
  UINT style;       // the class styles it was registered with
};

// Both tables outlive every window: forms still alive at process exit are
// destroyed by a static destructor, and their windows' last messages need them.
std::map<std::u16string, WindowClassEntry>& WindowClasses() {
  static auto* classes = new std::map<std::u16string, WindowClassEntry>;
  return *classes;
}

std::set<ATOM>& OurAtoms() {
  static auto* atoms = new std::set<ATOM>;
  return *atoms;
}

// The control whose window is being created: the first messages of a window
// (WM_GETMINMAXINFO comes before WM_NCCREATE) find their control through it.
thread_local TWinControl* gCreating = nullptr;
int gNextControlId = 1000;

// Offset of the control pointer in the window's extra bytes: the last slot.
int ControlSlot(HWND hwnd) {
  return static_cast<int>(GetClassLongPtrW(hwnd, GCL_CBWNDEXTRA)) - static_cast<int>(sizeof(LONG_PTR));
}

bool IsOurWindow(HWND hwnd) {
  // Another process that registered classes of the same names has windows
  // of the same atoms: their control slots hold addresses of that process.
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != GetCurrentProcessId()) return false;
  ATOM atom = static_cast<ATOM>(GetClassLongPtrW(hwnd, GCW_ATOM));
  return OurAtoms().count(atom) != 0;
}

void InitCommonControlsOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                            ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
}

}  // namespace

TWinControl* FindControl(HWND hwnd) {
  if (hwnd == nullptr || !IsWindow(hwnd) || !IsOurWindow(hwnd)) return nullptr;
  return reinterpret_cast<TWinControl*>(GetWindowLongPtrW(hwnd, ControlSlot(hwnd)));
}

namespace {
// Messages of this thread's controls being handled right now, nested.
thread_local int windowProcedureDepth = 0;
}  // namespace

// The one window procedure of every control window: finds the control and
// hands it the message, held: a handler the message reaches may free the
// control, whose memory then lives until its message is done. No exception
// leaves it.
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = reinterpret_cast<TWinControl*>(GetWindowLongPtrW(hwnd, ControlSlot(hwnd)));
  if (control == nullptr && gCreating != nullptr) {
    control = gCreating;
    gCreating = nullptr;
    control->AttachHandle(hwnd);
  }
  if (control == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  TObject::THold hold(control);
  ++windowProcedureDepth;
  try {
    control->WndProc(m);
  } catch (const std::exception& e) {
    if (Application != nullptr) Application->ShowException(e);
  } catch (...) {
  }
  --windowProcedureDepth;
  return m.Result;
}

bool InsideWindowProcedure() { return windowProcedureDepth != 0; }

void TWinControl::DetachHandle() {
  if (handle != nullptr) SetWindowLongPtrW(handle, ControlSlot(handle), 0);
  handle = nullptr;
}

void TWinControl::AttachHandle(HWND hwnd) {
  handle = hwnd;
  SetWindowLongPtrW(hwnd, ControlSlot(hwnd), reinterpret_cast<LONG_PTR>(this));
}

// ---------------------------------------------------------------------------

const TMessageMap* TWinControl::ClassMessageMap() {
  static const TMessageMap map(TControl::ClassMessageMap(), {
      OnMessage(WM_PAINT, &TWinControl::WMPaint),
      OnMessage(WM_ERASEBKGND, &TWinControl::WMEraseBkgnd),
      OnMessage(WM_PRINTCLIENT, &TWinControl::WMPrintClient),
      OnMessage(WM_COMMAND, &TWinControl::WMCommand),
      OnMessage(WM_NOTIFY, &TWinControl::WMNotify),
      OnMessage(WM_CTLCOLORBTN, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLORDLG, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLOREDIT, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLORLISTBOX, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLORMSGBOX, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLORSCROLLBAR, &TWinControl::WMCtlColor),
      OnMessage(WM_CTLCOLORSTATIC, &TWinControl::WMCtlColor),
      OnMessage(WM_DRAWITEM, &TWinControl::WMDrawItem),
      OnMessage(WM_MEASUREITEM, &TWinControl::WMMeasureItem),
      OnMessage(WM_DELETEITEM, &TWinControl::WMDeleteItem),
      OnMessage(WM_COMPAREITEM, &TWinControl::WMCompareItem),
      OnMessage(WM_HSCROLL, &TWinControl::WMScroll),
      OnMessage(WM_VSCROLL, &TWinControl::WMScroll),
      OnMessage(WM_SETCURSOR, &TWinControl::WMSetCursor),
      OnMessage(WM_SETFOCUS, &TWinControl::WMSetFocus),
      OnMessage(WM_KILLFOCUS, &TWinControl::WMKillFocus),
      OnMessage(WM_KEYDOWN, &TWinControl::WMKeyDown),
      OnMessage(WM_SYSKEYDOWN, &TWinControl::WMKeyDown),
      OnMessage(WM_KEYUP, &TWinControl::WMKeyUp),
      OnMessage(WM_SYSKEYUP, &TWinControl::WMKeyUp),
      OnMessage(WM_CHAR, &TWinControl::WMChar),
      OnMessage(WM_HELP, &TWinControl::WMHelp),
      OnMessage(kWMKeyF1, &TWinControl::WMKeyF1),
      OnMessage(WM_SIZE, &TWinControl::WMSize),
      OnMessage(WM_MOVE, &TWinControl::WMMove),
      OnMessage(WM_MOUSEWHEEL, &TWinControl::WMMouseWheel),
      OnMessage(WM_NCDESTROY, &TWinControl::WMNCDestroy),
      OnMessage(WM_SYSCOLORCHANGE, &TWinControl::WMSysColorChange),
      OnMessage(CN_KEYDOWN, &TWinControl::CNKeyDown),
      OnMessage(CN_SYSKEYDOWN, &TWinControl::CNKeyDown),
      OnMessage(CN_CHAR, &TWinControl::CNChar),
      OnMessage(CN_SYSCHAR, &TWinControl::CNSysChar),
      OnMessage(CN_CTLCOLORBTN, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLORDLG, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLOREDIT, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLORLISTBOX, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLORMSGBOX, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLORSCROLLBAR, &TWinControl::CNCtlColor),
      OnMessage(CN_CTLCOLORSTATIC, &TWinControl::CNCtlColor),
      OnMessage(CM_COLORCHANGED, &TWinControl::CMColorChanged),
      OnMessage(CM_FONTCHANGED, &TWinControl::CMFontChanged),
      OnMessage(CM_ENABLEDCHANGED, &TWinControl::CMEnabledChanged),
      OnMessage(CM_BIDIMODECHANGED, &TWinControl::CMBiDiModeChanged),
      OnMessage(CM_DIALOGKEY, &TWinControl::CMDialogKey),
      OnMessage(CM_DIALOGCHAR, &TWinControl::CMDialogChar),
      OnMessage(CM_RECREATEWND, &TWinControl::CMRecreateWnd),
      OnMessage(CM_FOCUSCHANGED, &TWinControl::CMFocusChanged),
      OnMessage(CM_EXIT, &TWinControl::CMExit),
      OnMessage(CM_ENTER, &TWinControl::CMEnter),
      OnMessage(CM_SYSCOLORCHANGE, &TWinControl::CMSysColorChange),
      OnMessage(CM_INVALIDATE, &TWinControl::CMInvalidate),
      OnMessage(WM_CONTEXTMENU, &TWinControl::WMContextMenuRoute),
      OnMessage(WM_NCCALCSIZE, &TWinControl::WMNCCalcSize),
      OnMessage(WM_NCPAINT, &TWinControl::WMNCPaint),
  });
  return &map;
}

void TWinControl::Create(TComponent* owner) {
  TControl::Create(owner);
  controlStyle.Include(csAcceptsControls);
}

TWinControl::~TWinControl() {
  if (handle != nullptr) {
    // The object is no longer whole: the window's last messages go to the default procedure.
    SetWindowLongPtrW(handle, ControlSlot(handle), 0);
    DestroyWindow(handle);
    handle = nullptr;
  }
  for (TControl* child : controls) child->parent = nullptr;
  FreeBackgroundBrush();
}

void TWinControl::BeforeDestruction() {
  if (!ComponentState().Contains(csDestroying)) Destroying();
  DestroyHandle();
  // Children this control does not own lose their parent; owned ones go with the owner.
  while (!controls.empty()) RemoveControl(controls.back());
  TControl::BeforeDestruction();
}

// ---------------------------------------------------------------------------
// Window creation

HWND TWinControl::Handle() {
  if (handle == nullptr) {
    if (IsDestroying()) throw EInvalidOperation(Format("Control '%s' is being destroyed", {Name()}));
    CreateHandle();
  }
  return handle;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.Caption = AnsiToWide(StoredCaption());
  params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (controlStyle.Contains(csAcceptsControls)) {
    params.Style |= WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CONTROLPARENT;
  }
  if (Visible()) params.Style |= WS_VISIBLE;
  if (!Enabled()) params.Style |= WS_DISABLED;
  if (tabStop) params.Style |= WS_TABSTOP;
  if (UseRightToLeftReading()) params.ExStyle |= WS_EX_RTLREADING;
  if (UseRightToLeftScrollBar()) params.ExStyle |= WS_EX_LEFTSCROLLBAR;
  if (UseRightToLeftAlignment()) params.ExStyle |= WS_EX_RIGHT;
  params.X = Left();
  params.Y = Top();
  params.Width = Width();
  params.Height = Height();
  if (parent != nullptr) params.WndParent = parent->Handle();
  else params.WndParent = parentWindow;
  params.WindowClass.cbSize = sizeof(WNDCLASSEXW);
  params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  params.WindowClass.lpfnWndProc = ControlWindowProc;
  params.WindowClass.hInstance = GetModuleHandleW(nullptr);
  // A shared system cursor: the same handle every time, and each load is a
  // round trip to the window server under Wine.
  static const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  params.WindowClass.hCursor = arrow;
  params.WinClassName = u"Qv";
  for (const char* p = ClassName(); *p != 0; ++p) params.WinClassName += static_cast<char16_t>(*p);
}

void TWinControl::CreateSubClass(TCreateParams& params, const char16_t* className) {
  InitCommonControlsOnce();
  // A system class stays as it is while the program runs: each is asked for
  // once (the frame styles are asked for many times before a window exists,
  // and with the common controls' manifest each question searches the
  // program's activation context).
  static auto* known = new std::map<std::u16string, WNDCLASSEXW, std::less<>>;
  auto found = known->find(std::u16string_view(className));
  if (found == known->end()) {
    WNDCLASSEXW asked{};
    asked.cbSize = sizeof(asked);
    if (!GetClassInfoExW(nullptr, reinterpret_cast<LPCWSTR>(className), &asked))
      throw EInvalidOperation(Format("Window class %s not found", {std::u16string(className)}));
    found = known->emplace(className, asked).first;
  }
  const WNDCLASSEXW wc = found->second;
  UINT keep = params.WindowClass.style & CS_DBLCLKS;
  params.WindowClass = wc;
  params.WindowClass.cbSize = sizeof(WNDCLASSEXW);
  params.WindowClass.style = (wc.style & ~CS_GLOBALCLASS) | keep;
  params.WindowClass.hInstance = GetModuleHandleW(nullptr);
  params.SubClassOf = className;
  // The copied class keeps the system procedure as the default handler.
  params.Param = reinterpret_cast<void*>(wc.lpfnWndProc);
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if (params.WndParent == nullptr && (params.Style & WS_CHILD))
    throw EInvalidOperation(Format("Control '%s' has no parent window", {Name()}));
  auto& classes = WindowClasses();
  auto it = classes.find(params.WinClassName);
  if (it != classes.end() && it->second.style != params.WindowClass.style) {
    // The same control class asks for other class styles (CS_HREDRAW...): a
    // window class of its own for that variant.
    wchar_t suffix[16];
    wsprintfW(suffix, L".%X", params.WindowClass.style);
    for (const wchar_t* p = suffix; *p != 0; ++p) params.WinClassName += static_cast<char16_t>(*p);
    it = classes.find(params.WinClassName);
  }
  if (it == classes.end()) {
    WNDCLASSEXW wc = params.WindowClass;
    WNDPROC sysProc = params.SubClassOf.empty() ? DefWindowProcW : wc.lpfnWndProc;
    wc.lpfnWndProc = ControlWindowProc;
    wc.cbWndExtra += sizeof(LONG_PTR);
    wc.lpszClassName = reinterpret_cast<LPCWSTR>(params.WinClassName.c_str());
    wc.lpszMenuName = nullptr;
    ATOM atom = RegisterClassExW(&wc);
    if (atom == 0) throw EInvalidOperation(Format("Cannot register window class (error %d)", {int(GetLastError())}));
    OurAtoms().insert(atom);
    it = classes.emplace(params.WinClassName, WindowClassEntry{sysProc, !params.SubClassOf.empty(), params.WindowClass.style})
             .first;
  }
  defWndProc = it->second.defProc;
  if (it->second.systemClass) params.Param = nullptr;
  CreateWindowHandle(params);
  UpdateWindowFont(false);
}

void TWinControl::CreateWindowHandle(const TCreateParams& params) {
  HMENU id = (params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<intptr_t>(gNextControlId++)) : nullptr;
  TWinControl* saved = gCreating;
  gCreating = this;
  HWND hwnd = CreateWindowExW(params.ExStyle, reinterpret_cast<LPCWSTR>(params.WinClassName.c_str()),
                              reinterpret_cast<LPCWSTR>(params.Caption.c_str()), params.Style, params.X, params.Y,
                              params.Width, params.Height, params.WndParent, id, GetModuleHandleW(nullptr),
                              params.Param);
  gCreating = saved;
  if (hwnd == nullptr) throw EInvalidOperation(Format("Error creating window (error %d)", {int(GetLastError())}));
  if (handle == nullptr) AttachHandle(hwnd);
}

void TWinControl::CreateHandle() {
  if (handle != nullptr) return;
  // The parent's window first: making it makes the windows of its children
  // that show, this one perhaps among them, which must not get a second window.
  if (parent != nullptr && !parent->HandleAllocated()) {
    parent->CreateHandle();
    if (handle != nullptr) return;
  }
  controlState.Include(csCreating);
  try {
    CreateWnd();
  } catch (...) {
    controlState.Exclude(csCreating);
    throw;
  }
  controlState.Exclude(csCreating);
  if (parent != nullptr && parent->handle != nullptr && !parent->makingChildren) PlaceAmongSiblings();
  // The children's windows once this control shows; a hidden control's wait.
  if (VisibleWithParents()) {
    makingChildren = true;
    try {
      CreateChildWindows();
    } catch (...) {
      makingChildren = false;
      throw;
    }
    makingChildren = false;
  }
  Realign();
  CreateComplete();
}

bool TWinControl::VisibleWithParents() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent())
    if (!c->Visible()) return false;
  return true;
}

void TWinControl::CreateChildWindows() {
  if (handle == nullptr) return;
  // Children in tab order so the window z-order follows it. A child's new
  // window reaches its handlers, which may free this control or the other
  // children (a form freed by a view's handler takes them all): the walk
  // holds this control and them, and ends once this control is going.
  std::vector<TWinControl*> children = TabOrderList();
  std::list<THold> holds;
  holds.emplace_back(this);
  for (TWinControl* child : children) holds.emplace_back(child);
  // Windows made in tab order stack in that order by themselves: when none
  // of the children has one yet, none needs placing among the others after
  // it is made (a round trip to the window server each under Wine).
  struct TMakingChildren {
    bool& flag;
    const bool was;
    ~TMakingChildren() { flag = was; }
  } making{makingChildren, makingChildren};
  if (std::none_of(children.begin(), children.end(), [](TWinControl* c) { return c->handle != nullptr; }))
    makingChildren = true;
  for (TWinControl* child : children) {
    if (Going()) return;
    if (child->Going() || !child->Visible()) continue;
    if (child->handle == nullptr) child->CreateHandle();
    else child->CreateChildWindows();  // made on request while hidden: its children wait no longer
  }
}

void TWinControl::PlaceAmongSiblings() {
  HWND above = HWND_TOP;
  for (TWinControl* sibling : parent->tabList) {
    if (sibling == this) break;
    if (sibling->handle != nullptr) above = sibling->handle;
  }
  SetWindowPos(handle, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void TWinControl::DestroyWnd() {
  StoreCaption(GetText());
  DestroyWindowHandle();
}

void TWinControl::DestroyWindowHandle() {
  HWND hwnd = handle;
  if (hwnd == nullptr) return;
  DestroyWindow(hwnd);
  if (handle == hwnd) {  // no WM_NCDESTROY came (the window was already gone)
    handle = nullptr;
  }
}

void TWinControl::DestroyHandle() {
  if (handle == nullptr) return;
  controlState.Include(csDestroyingHandle);
  for (TControl* child : controls)
    if (auto* win = dynamic_cast<TWinControl*>(child)) win->DestroyHandle();
  DestroyWnd();
  controlState.Exclude(csDestroyingHandle);
}

void TWinControl::RecreateWnd() {
  if (handle == nullptr || recreating) return;
  recreating = true;
  bool hadFocus = ContainsFocus();
  bool wasShown = IsWindowVisible(handle) != FALSE;
  try {
    DestroyHandle();
    CreateHandle();
  } catch (...) {
    recreating = false;
    throw;
  }
  recreating = false;
  // Top-level windows are made hidden; one that was up comes back.
  if (wasShown && Visible() && !IsWindowVisible(handle)) ShowWindow(handle, SW_SHOWNA);
  if (hadFocus && CanFocus()) ::SetFocus(handle);
}

bool TWinControl::ContainsFocus() const {
  HWND focus = GetFocus();
  return handle != nullptr && focus != nullptr && (focus == handle || IsChild(handle, focus));
}

void TWinControl::SetParentWindow(HWND value) {
  if (parent != nullptr || value == parentWindow) return;
  parentWindow = value;
  if (handle != nullptr) RecreateWnd();
}

void TWinControl::UpdateWindowFont(bool redraw) {
  if (handle != nullptr && Font() != nullptr)
    SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), redraw ? TRUE : FALSE);
}

// ---------------------------------------------------------------------------
// Children

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return controls[static_cast<size_t>(index)];
}

void TWinControl::InsertControl(TControl* control) {
  if (control == nullptr || control->parent == this) return;
  if (auto* win = dynamic_cast<TWinControl*>(control); win != nullptr && win->ContainsControl(this))
    throw EInvalidOperation("A control cannot be the parent of one of its parents");
  controls.push_back(control);
  control->parent = this;
  if (auto* win = dynamic_cast<TWinControl*>(control)) tabList.push_back(win);
  if (!control->IsLoading()) {
    if (control->parentFont) control->ReadParentFont();
    if (control->parentColor) control->color = Color();
    if (control->parentShowHint) control->showHint = ShowHint();
    if (control->parentBiDiMode) control->biDiMode = BiDiMode();
  }
  TRect client = ClientRect();
  control->anchorParentWidth = client.Width();
  control->anchorParentHeight = client.Height();
  if (handle != nullptr) {
    if (auto* win = dynamic_cast<TWinControl*>(control)) {
      if (win->handle != nullptr) {
        ::SetParent(win->handle, handle);
      } else if (!IsLoading() && !win->IsLoading() && win->VisibleWithParents()) {
        // A control still being read gets its window once its properties are
        // all set (a part of a definition read late into a showing form).
        win->CreateHandle();
      }
    }
    control->Invalidate();
  }
  if (control->Align() != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls.begin(), controls.end(), control);
  if (it == controls.end()) return;
  if (TCustomForm* form = ParentForm()) form->ControlRemoved(control);
  control->Invalidate();
  if (auto* win = dynamic_cast<TWinControl*>(control)) {
    win->DestroyHandle();
    tabList.erase(std::remove(tabList.begin(), tabList.end(), win), tabList.end());
  }
  if (captureControl == control) captureControl = nullptr;
  if (mouseControl == control) mouseControl = nullptr;
  controls.erase(std::find(controls.begin(), controls.end(), control));
  control->parent = nullptr;
  if (control->Align() != alNone) Realign();
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c != nullptr; c = c->parent)
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(TPoint p, bool allowDisabled, bool allowWinControls) const {
  for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
    TControl* c = *it;
    if (!allowWinControls && dynamic_cast<TWinControl*>(c) != nullptr) continue;
    if (!c->Visible() || (!allowDisabled && !c->Enabled())) continue;
    if (!c->BoundsRect().Contains(p)) continue;
    if (c->Perform(CM_HITTEST, 0, MAKELPARAM(p.X - c->Left(), p.Y - c->Top())) == HTCLIENT) return c;
  }
  return nullptr;
}

void TWinControl::Broadcast(TMessage& message, bool stopOnResult) {
  std::vector<TControl*> snapshot = controls;  // a handler may change the list
  for (TControl* child : snapshot) {
    if (std::find(controls.begin(), controls.end(), child) == controls.end()) continue;
    child->WndProc(message);
    if (stopOnResult && message.Result != 0) return;
  }
}

// ---------------------------------------------------------------------------
// Tab order and focus

std::vector<TWinControl*> TWinControl::TabOrderList() const { return tabList; }

int TWinControl::TabOrder() const {
  if (parent == nullptr) return -1;
  auto& list = parent->tabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int value) {
  if (parent == nullptr) return;
  auto& list = parent->tabList;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  value = std::clamp(value, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + value, this);
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop) return;
  tabStop = value;
  if (handle != nullptr) {
    LONG_PTR style = GetWindowLongPtrW(handle, GWL_STYLE);
    SetWindowLongPtrW(handle, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
  }
  Perform(CM_TABSTOPCHANGED);
}

namespace {

void CollectTabOrder(const TWinControl* container, std::vector<TWinControl*>& out) {
  for (TWinControl* child : container->TabOrderList()) {
    out.push_back(child);
    CollectTabOrder(child, out);
  }
}

}  // namespace

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                          bool checkParent) const {
  std::vector<TWinControl*> list;
  CollectTabOrder(this, list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[static_cast<size_t>(i)] == current) start = i;
  if (start < 0) start = goForward ? n - 1 : 0;
  for (int step = 1; step <= n; ++step) {
    int i = goForward ? (start + step) % n : (start - step + n) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == current) break;
    if (checkParent && c->parent != this) continue;
    if (checkTabStop && !c->TabStop()) continue;
    if (!c->CanFocus()) continue;
    return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
  TWinControl* next = FindNextControl(current, goForward, checkTabStop, false);
  if (next != nullptr) next->SetFocus();
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (TCustomForm* form = ParentForm(); form != nullptr && form != this) {
    form->SetActiveControl(this);
    return;
  }
  ::SetFocus(Handle());
}

bool TWinControl::Focused() const { return handle != nullptr && GetFocus() == handle; }

bool TWinControl::Showing() const {
  if (handle == nullptr) return false;
  return IsWindowVisible(handle) != FALSE;
}

// ---------------------------------------------------------------------------
// Properties that reach the window

void TWinControl::SetVisible(bool value) {
  if (value == Visible()) return;
  const bool hadWindow = handle != nullptr;
  TControl::SetVisible(value);  // a control shown now gets its window, or its children theirs
  if (hadWindow && handle != nullptr) ShowWindow(handle, value ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::VisibleNow() {
  if (IsLoading() || IsDestroying() || !VisibleWithParents()) return;
  if (handle != nullptr) {
    CreateChildWindows();  // those left without windows while this was hidden
  } else if (parent != nullptr && parent->handle != nullptr) {
    CreateHandle();
  }
}

void TWinControl::SetEnabled(bool value) {
  if (value == Enabled()) return;
  if (handle != nullptr) EnableWindow(handle, value);
  TControl::SetEnabled(value);
}

void TWinControl::SetBounds(int aLeft, int aTop, int aWidth, int aHeight) {
  aWidth = std::max(aWidth, 0);
  aHeight = std::max(aHeight, 0);
  if (aLeft == Left() && aTop == Top() && aWidth == Width() && aHeight == Height()) return;
  UpdateBoundsRect(Bounds(aLeft, aTop, aWidth, aHeight));
  if (handle != nullptr) {
    SetWindowPos(handle, nullptr, aLeft, aTop, aWidth, aHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    Realign();
  }
  BoundsChanged();
}

void TWinControl::BoundsChanged() { TControl::BoundsChanged(); }

TRect TWinControl::ClientRect() const {
  if (handle != nullptr) {
    RECT r;
    GetClientRect(handle, &r);
    return TRect::FromRECT(r);
  }
  // Before the window exists: the bounds less the frame the styles will give.
  TCreateParams params;
  const_cast<TWinControl*>(this)->BorderParams(params);
  RECT frame{0, 0, 0, 0};
  // Without a border or an edge there is no frame (and no round trip to ask).
  const DWORD borders = WS_BORDER | WS_DLGFRAME | WS_THICKFRAME;
  const DWORD edges = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE;
  if ((params.Style & borders) != 0 || (params.ExStyle & edges) != 0)
    AdjustWindowRectEx(&frame, params.Style & ~static_cast<DWORD>(WS_CHILD), FALSE, params.ExStyle);
  return Rect(0, 0, std::max(0, Width() - static_cast<int>(frame.right - frame.left)),
              std::max(0, Height() - static_cast<int>(frame.bottom - frame.top)));
}

void TWinControl::BorderParams(TCreateParams& params) {
  // The frame styles only: CreateParams would create the parent's window.
  TWinControl* savedParent = parent;
  HWND savedParentWindow = parentWindow;
  parent = nullptr;
  parentWindow = reinterpret_cast<HWND>(1);
  try {
    CreateParams(params);
  } catch (...) {
  }
  parent = savedParent;
  parentWindow = savedParentWindow;
}

void TWinControl::SetClientSize(int aWidth, int aHeight) {
  TRect client = ClientRect();
  SetBounds(Left(), Top(), Width() + aWidth - client.Width(), Height() + aHeight - client.Height());
}

void TWinControl::Invalidate() {
  if (handle != nullptr) InvalidateRect(handle, nullptr, !controlStyle.Contains(csOpaque));
}

void TWinControl::Update() {
  if (handle != nullptr) UpdateWindow(handle);
}

void TWinControl::SetBiDiMode(TBiDiMode value) { TControl::SetBiDiMode(value); }

std::string TWinControl::GetText() const {
  if (handle == nullptr) return StoredCaption();
  int n = GetWindowTextLengthW(handle);
  std::u16string text(static_cast<size_t>(n) + 1, u'\0');
  n = GetWindowTextW(handle, reinterpret_cast<LPWSTR>(text.data()), n + 1);
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return WideToAnsi(text);
}

void TWinControl::SetText(const std::string& value) {
  if (handle == nullptr) {
    if (value == StoredCaption()) return;
    StoreCaption(value);
  } else {
    if (value == GetText()) return;
    StoreCaption(value);
    std::u16string wide = AnsiToWide(value);
    SetWindowTextW(handle, reinterpret_cast<LPCWSTR>(wide.c_str()));
  }
  Perform(CM_TEXTCHANGED);
}

HBRUSH TWinControl::BackgroundBrush() {
  if (backgroundBrush != nullptr && backgroundBrushColor == Color()) return backgroundBrush;
  FreeBackgroundBrush();
  backgroundBrushColor = Color();
  backgroundBrush = CreateSolidBrush(ColorToRGB(Color()));
  return backgroundBrush;
}

void TWinControl::FreeBackgroundBrush() {
  if (backgroundBrush != nullptr) DeleteObject(backgroundBrush);
  backgroundBrush = nullptr;
  backgroundBrushColor = clNone;
}

// ---------------------------------------------------------------------------
// Alignment

void TWinControl::Realign() {
  if (alignLevel > 0 || IsLoading() || IsDestroying()) {
    alignPending = true;
    return;
  }
  ++alignLevel;
  try {
    TRect r = ClientRect();
    AdjustClientRect(r);
    AlignControls(nullptr, r);
  } catch (...) {
    --alignLevel;
    throw;
  }
  --alignLevel;
  alignPending = false;
}

void TWinControl::EnableAlign() {
  if (alignLevel > 0) --alignLevel;
  if (alignLevel == 0 && alignPending) Realign();
}

void TWinControl::AlignControls(TControl* control, TRect& r) {
  auto place = [&](TAlign kind) {
    std::vector<TControl*> list;
    for (TControl* c : controls)
      if (c->Align() == kind && c->Visible()) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [kind](TControl* a, TControl* b) {
      switch (kind) {
        case alTop: return a->Top() < b->Top();
        case alBottom: return a->Top() + a->Height() > b->Top() + b->Height();
        case alLeft: return a->Left() < b->Left();
        case alRight: return a->Left() + a->Width() > b->Left() + b->Width();
        default: return false;
      }
    });
    for (TControl* c : list) {
      switch (kind) {
        case alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
          r.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
          r.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
          r.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
          r.Right -= c->Width();
          break;
        case alClient: c->SetBounds(r.Left, r.Top, r.Width(), r.Height()); break;
        default: break;
      }
    }
  };
  for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) place(kind);
  TRect client = ClientRect();
  ApplyAnchors(client.Width(), client.Height());
}

// Children anchored to the right or bottom edge (or to both edges) follow a
// change of the client size since their bounds were last set.
void TWinControl::ApplyAnchors(int clientWidth, int clientHeight) {
  for (TControl* c : controls) {
    if (c->Align() != alNone) continue;
    if (c->anchorParentWidth < 0) {
      c->anchorParentWidth = clientWidth, c->anchorParentHeight = clientHeight;
      continue;
    }
    int dx = clientWidth - c->anchorParentWidth;
    int dy = clientHeight - c->anchorParentHeight;
    if (dx == 0 && dy == 0) continue;
    TAnchors a = c->Anchors();
    int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
    if (a.Contains(akRight)) {
      if (a.Contains(akLeft)) w += dx;
      else l += dx;
    } else if (!a.Contains(akLeft)) {
      l += dx / 2;
    }
    if (a.Contains(akBottom)) {
      if (a.Contains(akTop)) h += dy;
      else t += dy;
    } else if (!a.Contains(akTop)) {
      t += dy / 2;
    }
    c->anchorParentWidth = clientWidth, c->anchorParentHeight = clientHeight;
    c->SetBounds(l, t, w, h);
  }
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();  // the aligned and anchored children as loaded
}

TPoint TWinControl::ClientToScreen(TPoint p) const {
  if (handle == nullptr) return TControl::ClientToScreen(p);
  POINT pt{p.X, p.Y};
  ::ClientToScreen(handle, &pt);
  return Point(pt.x, pt.y);
}

TPoint TWinControl::ScreenToClient(TPoint p) const {
  if (handle == nullptr) return TControl::ScreenToClient(p);
  POINT pt{p.X, p.Y};
  ::ScreenToClient(handle, &pt);
  return Point(pt.x, pt.y);
}
