#include "win/Forms.h"

#include <algorithm>
#include <optional>

#include "core/Format.h"
#include "core/SysUtils.h"
#include "win/FormDefinition.h"
#include "win/graphics/Graphics.h"

namespace {

// The icons of a form's window class: the program's own, else the system's.
// Loaded once: the frame styles are asked for many times before a window
// exists (each load is a round trip to the window server under Wine), and a
// shared icon is never freed. The small one is read from the resource too
// (without it the class would have the large one scaled down, which costs
// more), and not shared: the shared copy of a name is whichever size was
// loaded first. It is kept for the whole run.
struct TFormClassIcons {
  HICON large = nullptr;
  HICON small = nullptr;
};

const TFormClassIcons& FormClassIcons() {
  static const TFormClassIcons icons = [] {
    TFormClassIcons found;
    HINSTANCE program = GetModuleHandleW(nullptr);
    found.large = LoadIconW(program, L"MAINICON");
    if (found.large == nullptr) return TFormClassIcons{LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION))};
    found.small = static_cast<HICON>(LoadImageW(program, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    return found;
  }();
  return icons;
}

}  // namespace

const TMessageMap* TCustomForm::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(WM_CLOSE, &TCustomForm::WMClose),
      OnMessage(WM_ACTIVATE, &TCustomForm::WMActivate),
      OnMessage(WM_QUERYENDSESSION, &TCustomForm::WMQueryEndSession),
      OnMessage(CM_DIALOGKEY, &TCustomForm::CMDialogKey),
      OnMessage(CM_RELEASE, &TCustomForm::CMRelease),
  });
  return &map;
}

void TCustomForm::Create(TComponent* owner) {
  CreateNew(owner);
  std::string className = ClassName();
  if (LoadFormDefinitionResource(this, className, DeferredComponents(), &deferredParts)) return;
  if (className != "TForm" && className != "TCustomForm")
    throw EResNotFound(Format("Resource %s not found", {className}));
}

TComponent* TCustomForm::MakeDeferred(const std::string& name) {
  if (TComponent* made = FindComponent(name)) return made;
  auto part = std::find_if(deferredParts.begin(), deferredParts.end(),
                           [&](const TDeferredFormPart& p) { return SameText(p.object.name, name); });
  if (part == deferredParts.end()) return nullptr;
  // Taken out first: a part that fails is not read a second time.
  const TDeferredFormPart taken = std::move(*part);
  deferredParts.erase(part);
  TComponent* made = ReadFormPart(this, taken);
  // Nested in a page that shows already, it shows at once.
  if (auto* control = dynamic_cast<TWinControl*>(made);
      control != nullptr && control->Parent() != nullptr && control->Parent()->HandleAllocated() &&
      control->VisibleWithParents())
    control->Handle();
  return made;
}

void TCustomForm::CreateNew(TComponent* owner) {
  TWinControl::Create(owner);
  formState.Include(fsCreating);
  SetParentFont(false);
  TControlStyle style = ControlStyle();
  SetControlStyle(style.Include(csSetCaption));
  TControl::SetVisible(false);
  SetBounds(0, 0, 320, 240);
  if (Screen != nullptr) Screen->AddForm(this);
}

void TCustomForm::AfterConstruction() {
  TWinControl::AfterConstruction();
  formState.Exclude(fsCreating);
  TAliveToken token = Alive();
  if (OnCreate) OnCreate(this);
  if (*token && Visible()) SetVisible(true);
}

void TCustomForm::BeforeDestruction() {
  if (OnDestroy) {
    TNotifyEvent handler = OnDestroy;
    OnDestroy = nullptr;
    handler(this);
  }
  if (Screen != nullptr) Screen->RemoveForm(this);
  if (Application != nullptr && Application->MainForm() == this) Application->SetMainForm(nullptr);
  TWinControl::BeforeDestruction();
}

// A form whose creation failed is deleted without BeforeDestruction: it must
// still leave the screen's list.
TCustomForm::~TCustomForm() {
  // The window goes after this; it must not take the menu bar's handle with it.
  DetachMenu();
  if (Screen != nullptr) Screen->RemoveForm(this);
  if (Application != nullptr && Application->MainForm() == this) Application->SetMainForm(nullptr);
  if (bigIcon != nullptr) DestroyIcon(bigIcon);
  if (smallIcon != nullptr) DestroyIcon(smallIcon);
}

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style &= ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  params.Style |= WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
  bool dialogLike = borderStyle == bsDialog || borderStyle == bsToolWindow || borderStyle == bsSizeToolWin;
  switch (borderStyle) {
    case bsNone: params.Style |= WS_POPUP; break;
    case bsSingle: params.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: params.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      params.Style |= WS_POPUP | WS_CAPTION;
      params.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case bsToolWindow:
      params.Style |= WS_CAPTION;
      params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      params.Style |= WS_CAPTION | WS_THICKFRAME;
      params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (borderStyle != bsNone && borderIcons.Contains(biSystemMenu)) {
    params.Style |= WS_SYSMENU;
    if (!dialogLike && borderIcons.Contains(biMinimize)) params.Style |= WS_MINIMIZEBOX;
    if (!dialogLike && borderIcons.Contains(biMaximize)) params.Style |= WS_MAXIMIZEBOX;
    if (borderIcons.Contains(biHelp) && (dialogLike || !(params.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))))
      params.ExStyle |= WS_EX_CONTEXTHELP;
  }
  if (formStyle == fsStayOnTop) params.ExStyle |= WS_EX_TOPMOST;
  params.WndParent = nullptr;
  if (Application != nullptr && Application->MainForm() != nullptr && Application->MainForm() != this &&
      Application->MainForm()->HandleAllocated())
    params.WndParent = Application->MainForm()->handle;
  if (ParentWindow() != nullptr) params.WndParent = ParentWindow();  // hosted in a foreign window
  params.WindowClass.hIcon = FormClassIcons().large;
  params.WindowClass.hIconSm = FormClassIcons().small;
}

void TCustomForm::CreateWnd() {
  // A form not placed yet gets its window where showing will place it, so
  // that showing need not move the window (round trips to the window server
  // and the display under Wine). Showing places it all the same: a size or a
  // main form changed meanwhile moves it then.
  TRect bounds;
  if (!placed && PlacedBounds(bounds)) SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
  TWinControl::CreateWnd();
  if (!iconResource.empty()) SetIconResource(iconResource);
  AttachMenu();
}

// A window destroys the menu it shows: take the bar away first, the menu owns it.
void TCustomForm::DestroyWnd() {
  DetachMenu();
  TWinControl::DestroyWnd();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation != opRemove || component != menu) return;
  DetachMenu();
  menu = nullptr;
}

// ---------------------------------------------------------------------------
// Menus

void TCustomForm::SetMenu(TComponent* value) {
  if (value != nullptr && dynamic_cast<IMainMenu*>(value) == nullptr)
    throw EComponentError(std::string("Component '") + value->Name() + "' is no menu bar");
  if (value == menu) return;
  // The client area keeps its size when the bar comes or goes (not while loading: the definition's size holds).
  bool keepClient = HandleAllocated() && !IsLoading();
  TRect client = keepClient ? ClientRect() : TRect{};
  DetachMenu();
  if (menu != nullptr) menu->RemoveFreeNotification(this);
  menu = value;
  if (menu != nullptr) menu->FreeNotification(this);
  AttachMenu();
  if (keepClient) SetClientSize(client.Width(), client.Height());
}

void TCustomForm::AttachMenu() {
  auto* bar = dynamic_cast<IMainMenu*>(menu);
  if (bar == nullptr || !HandleAllocated()) return;
  ::SetMenu(handle, bar->Handle());
  bar->SetWindow(handle);
}

void TCustomForm::DetachMenu() {
  auto* bar = dynamic_cast<IMainMenu*>(menu);
  if (bar == nullptr) return;
  if (handle != nullptr && GetMenu(handle) == bar->Handle()) ::SetMenu(handle, nullptr);
  bar->SetWindow(nullptr);
}

TRect TCustomForm::ClientRect() const {
  TRect client = TWinControl::ClientRect();
  if (HandleAllocated() || menu == nullptr) return client;
  client.Bottom = std::max(client.Top, client.Bottom - GetSystemMetrics(SM_CYMENU));
  return client;
}

// A clicked item may free the control or the form: return at once after a click.
bool TCustomForm::IsShortCut(TControl* control, uint16_t key, TShiftState shift) {
  for (TControl* c = control; c != nullptr; c = c->Parent()) {
    if (auto* popup = dynamic_cast<IPopupMenu*>(c->PopupMenu()); popup != nullptr && popup->IsShortCut(key, shift))
      return true;
    if (c == this) break;
  }
  auto* bar = dynamic_cast<IMainMenu*>(menu);
  return bar != nullptr && bar->IsShortCut(key, shift);
}

void TCustomForm::SetClientSize(int aWidth, int aHeight) {
  TWinControl::SetClientSize(aWidth, aHeight);
  if (IsLoading()) loadedClientWidth = aWidth, loadedClientHeight = aHeight;
}

void TCustomForm::Loaded() {
  if (loadedClientWidth >= 0) TWinControl::SetClientSize(loadedClientWidth, loadedClientHeight);
  loadedClientWidth = loadedClientHeight = -1;
  TWinControl::Loaded();
}

void TCustomForm::SetText(const std::string& value) { TWinControl::SetText(value); }

std::string TCustomForm::GetText() const { return TWinControl::GetText(); }

bool TCustomForm::DoKeyDown(TMessage& m) { return TWinControl::DoKeyDown(m); }

// ---------------------------------------------------------------------------
// Showing and closing

void TCustomForm::SetVisible(bool value) {
  // A definition that says Visible = True shows the form once it is created.
  if (IsLoading() || formState.Contains(fsCreating)) {
    TControl::SetVisible(value);
    return;
  }
  if (value == Visible() && (!value || (HandleAllocated() && IsWindowVisible(handle)))) return;
  if (value) {
    TControl::SetVisible(true);
    formState.Include(fsShowing);
    TAliveToken token = Alive();
    try {
      Handle();
      // The window may have been made while the form was hidden, without the children's.
      CreateChildWindows();
      if (!placed) PlaceOnScreen();
      int show = windowState == wsMaximized ? SW_SHOWMAXIMIZED : windowState == wsMinimized ? SW_SHOWMINIMIZED : SW_SHOW;
      ShowWindow(handle, show);
      DoShow();
      if (!*token) return;
      if (activeControl != nullptr && activeControl->CanFocus()) ::SetFocus(activeControl->Handle());
      else if (TWinControl* first = FindNextControl(nullptr, true, true, false)) first->SetFocus();
    } catch (...) {
      if (*token) formState.Exclude(fsShowing);
      throw;
    }
    formState.Exclude(fsShowing);
    return;
  }
  TControl::SetVisible(false);
  if (HandleAllocated()) {
    ShowWindow(handle, SW_HIDE);
    DoHide();
  }
}

void TCustomForm::PlaceOnScreen() {
  placed = true;
  TRect bounds;
  if (PlacedBounds(bounds)) SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
}

bool TCustomForm::PlacedBounds(TRect& bounds) {
  if (position != poScreenCenter && position != poDesktopCenter && position != poMainFormCenter &&
      position != poOwnerFormCenter)
    return false;
  TRect area = Screen != nullptr ? Screen->WorkAreaRect() : Rect(0, 0, 800, 600);
  TRect center = area;
  if (position == poMainFormCenter || position == poOwnerFormCenter) {
    TCustomForm* main = Application != nullptr ? Application->MainForm() : nullptr;
    if (main != nullptr && main != this && main->HandleAllocated()) center = main->BoundsRect();
  }
  int l = center.Left + (center.Width() - Width()) / 2;
  int t = center.Top + (center.Height() - Height()) / 2;
  l = std::max(area.Left, std::min(l, area.Right - Width()));
  t = std::max(area.Top, std::min(t, area.Bottom - Height()));
  bounds = Bounds(l, t, Width(), Height());
  return true;
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (formState.Contains(fsModal)) {
    modalResult = mrCancel;
    return;
  }
  TAliveToken token = Alive();
  if (!CloseQuery() || !*token) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (!*token || action == caNone) return;
  bool isMain = Application != nullptr && Application->MainForm() == this;
  if (isMain) {
    Application->Terminate();
    if (action == caFree) Release();
    return;
  }
  if (action == caHide) Hide();
  else if (action == caMinimize) SetWindowState(wsMinimized);
  else if (action == caFree) Release();
}

void TCustomForm::Release() {
  if (handle == nullptr) Handle();
  PostMessageW(handle, CM_RELEASE, 0, 0);
}

int TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || formState.Contains(fsModal))
    throw EInvalidOperation("Cannot make a visible window modal");
  if (Application != nullptr) Application->CancelHint();
  if (GetCapture() != nullptr) ReleaseCapture();
  formState.Include(fsModal);
  HWND previous = GetActiveWindow();
  // Every other window of this thread is disabled while the form is up.
  struct Disabled {
    std::vector<HWND> windows;
    HWND self;
  } disabled{{}, nullptr};
  Handle();
  disabled.self = handle;
  struct Enum {
    static BOOL CALLBACK Proc(HWND hwnd, LPARAM data) {
      auto* d = reinterpret_cast<Disabled*>(data);
      if (hwnd != d->self && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        d->windows.push_back(hwnd);
      }
      return TRUE;
    }
  };
  EnumThreadWindows(GetCurrentThreadId(), Enum::Proc, reinterpret_cast<LPARAM>(&disabled));
  auto restore = [&disabled, previous]() {
    for (HWND hwnd : disabled.windows)
      if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    if (previous != nullptr && IsWindow(previous)) SetActiveWindow(previous);
  };
  TAliveToken token = Alive();
  int result = mrCancel;
  try {
    modalResult = mrNone;
    Show();
    while (*token) {
      Application->HandleMessage();
      if (!*token) break;
      if (Application->Terminated()) {
        modalResult = mrCancel;
        break;
      }
      if (modalResult == mrNone) continue;
      // A result ends the loop unless OnCloseQuery or OnClose object.
      if (!CloseQuery()) {
        if (*token) modalResult = mrNone;
        continue;
      }
      if (!*token) break;
      TCloseAction action = caHide;
      DoClose(action);
      if (!*token) break;
      if (action == caNone) {
        modalResult = mrNone;
        continue;
      }
      if (action == caFree) Release();
      break;
    }
    if (*token) {
      result = modalResult;
      Hide();
      formState.Exclude(fsModal);
    }
  } catch (...) {
    restore();
    if (*token) {
      formState.Exclude(fsModal);
      Hide();
    }
    throw;
  }
  restore();
  return result;
}

void TCustomForm::WMClose(TMessage& m) { Close(); }

void TCustomForm::WMQueryEndSession(TMessage& m) { m.Result = CloseQuery() ? 1 : 0; }

void TCustomForm::WMActivate(TMessage& m) {
  if (LOWORD(m.WParam) == WA_INACTIVE) {
    active = false;
    Deactivate();
    DefaultHandler(m);
    return;
  }
  active = true;
  if (Screen != nullptr) Screen->SetActiveForm(this);
  TAliveToken token = Alive();
  Activate();
  if (!*token) return;
  // Give the focus back to the control that had it instead of the form itself.
  if (activeControl != nullptr && activeControl->CanFocus() && !IsIconic(handle)) {
    ::SetFocus(activeControl->Handle());
    m.Result = 0;
    return;
  }
  DefaultHandler(m);
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::CMRelease(TMessage& m) { Free(); }

// Tab and arrows move the focus; Enter and Escape go to the Default and Cancel
// buttons (and anything else that answers CM_DIALOGKEY).
void TCustomForm::CMDialogKey(TMessage& m) {
  TShiftState shift = KeyboardShiftState();
  if (m.WParam == VK_TAB && !shift.Contains(ssCtrl) && !shift.Contains(ssAlt)) {
    SelectNext(activeControl, !shift.Contains(ssShift), true);
    m.Result = 1;
    return;
  }
  if ((m.WParam == VK_LEFT || m.WParam == VK_RIGHT || m.WParam == VK_UP || m.WParam == VK_DOWN) &&
      activeControl != nullptr && activeControl->Parent() != nullptr) {
    bool forward = m.WParam == VK_RIGHT || m.WParam == VK_DOWN;
    if (TWinControl* next = activeControl->Parent()->FindNextControl(activeControl, forward, false, true)) {
      next->SetFocus();
      m.Result = 1;
    }
    return;
  }
  Broadcast(m, /*stopOnResult=*/true);
}

// ---------------------------------------------------------------------------
// Focus

void TCustomForm::SetActiveControl(TWinControl* value) {
  if (value != nullptr && !ContainsControl(value))
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  bool showing = HandleAllocated() && IsWindowVisible(handle);
  if (!showing || IsLoading()) {
    activeControl = value;
    return;
  }
  if (value == nullptr) {
    activeControl = nullptr;
    return;
  }
  if (!value->CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  // The focus messages reach exit and enter handlers, which may free the control.
  THold hold(value);
  ::SetFocus(value->Handle());
  if (value->Going()) return;
  if (activeControl != value) FocusChanged(value);
}

void TCustomForm::FocusChanged(TWinControl* control) {
  if (control == activeControl) return;
  TAliveToken token = Alive();
  TWinControl* exiting = activeControl;
  activeControl = control;
  if (exiting != nullptr) {
    // The exit handlers may free the control taking the focus (with its parent, say).
    std::optional<THold> entering;
    if (control != nullptr) entering.emplace(control);
    exiting->Perform(CM_EXIT);
    if (!*token) return;
    if (control != nullptr && control->Going()) {
      if (activeControl == control) activeControl = nullptr;
      return;
    }
  }
  if (control != nullptr && activeControl == control) {
    control->Perform(CM_ENTER);
    if (!*token) return;
  }
  TMessage note{CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control), 0};
  Broadcast(note);
}

void TCustomForm::ControlRemoved(TControl* control) {
  auto* win = dynamic_cast<TWinControl*>(control);
  if (activeControl != nullptr && (control == activeControl || (win != nullptr && win->ContainsControl(activeControl))))
    activeControl = nullptr;
}

// ---------------------------------------------------------------------------
// Window styles

// A new frame keeps the client area's size (the content must not be clipped).
void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
  if (value == borderStyle) return;
  TRect client = ClientRect();
  borderStyle = value;
  if (HandleAllocated()) RecreateWnd();
  if (!IsLoading()) SetClientSize(client.Width(), client.Height());
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
  if (value == borderIcons) return;
  TRect client = ClientRect();
  borderIcons = value;
  if (HandleAllocated()) RecreateWnd();
  if (!IsLoading()) SetClientSize(client.Width(), client.Height());
}

void TCustomForm::SetFormStyle(TFormStyle value) {
  if (value == formStyle) return;
  formStyle = value;
  if (HandleAllocated())
    SetWindowPos(handle, value == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetWindowState(TWindowState value) {
  windowState = value;
  if (!HandleAllocated() || !IsWindowVisible(handle)) return;
  ShowWindow(handle, value == wsMaximized ? SW_MAXIMIZE : value == wsMinimized ? SW_MINIMIZE : SW_RESTORE);
}

void TCustomForm::SetIconResource(const std::string& value) {
  iconResource = value;
  if (!HandleAllocated() || value.empty()) return;
  std::u16string name = AnsiToWide(value);
  HINSTANCE inst = GetModuleHandleW(nullptr);
  auto load = [&](int size) {
    return static_cast<HICON>(LoadImageW(inst, reinterpret_cast<LPCWSTR>(name.c_str()), IMAGE_ICON, size, size, 0));
  };
  HICON big = load(GetSystemMetrics(SM_CXICON));
  HICON small = load(GetSystemMetrics(SM_CXSMICON));
  if (big == nullptr) return;
  if (bigIcon != nullptr) DestroyIcon(bigIcon);
  if (smallIcon != nullptr) DestroyIcon(smallIcon);
  bigIcon = big, smallIcon = small;
  SendMessageW(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
  SendMessageW(handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon ? smallIcon : bigIcon));
}
