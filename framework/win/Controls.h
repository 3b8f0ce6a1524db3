#pragma once
// The control base of the window layer:
//   TControl        anything placed on a form: bounds, alignment, visibility,
//                   text, font and colour (own or the parent's), cursor, hint,
//                   help keyword, pop-up menu, bidi mode, mouse events, and the
//                   message dispatch (WndProc -> Dispatch -> handler table ->
//                   DefaultHandler) that also serves windowless controls.
//   TWinControl     a control with a window: CreateParams / CreateWnd /
//                   RecreateWnd, the handle made on demand, child controls,
//                   tab order and focus, keyboard events, reflected
//                   notifications (CN_*) and painting of windowless children.
//   TGraphicControl a windowless control painted by its parent (Paint + Canvas).
//   TCustomControl  a window control painted by its own Paint on its Canvas.
//
// Message handlers are member functions bound to message numbers in one table
// per class, searched from the object's class up to TControl, then
// DefaultHandler (the window's default procedure):
//
//   class TMyControl : public TCustomControl {
//     QV_MESSAGE_MAP(TMyControl, TCustomControl)
//     void WMSize(TMessage& m);
//   };
//   const TMessageMap* TMyControl::ClassMessageMap() {
//     static const TMessageMap map(TCustomControl::ClassMessageMap(), {
//         OnMessage(WM_SIZE, &TMyControl::WMSize),
//     });
//     return &map;
//   }
//   void TMyControl::WMSize(TMessage& m) { Inherited(ClassMessageMap(), m); ... }
//
// Inherited continues the search above the given class's table, so a handler
// reaches its base class's handler for the same message, or DefaultHandler.
//
// Lifetime: a control is owned by its Owner (usually the form) and shown by its
// Parent. Freeing a TWinControl destroys its window and frees nothing it does
// not own; children it does not own are taken off it (Parent becomes null).
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/Component.h"
#include "core/Events.h"
#include "core/Set.h"
#include "win/Messages.h"
#include "win/TextConvert.h"
#include "win/graphics/Types.h"

QV_DECLARE_EXCEPTION(EInvalidOperation, Exception);

class TFont;
class TCanvas;
class TWinControl;
class TControl;
class TCustomForm;

// ---------------------------------------------------------------------------
// Message dispatch tables

using TMessageHandler = void (TControl::*)(TMessage&);

struct TMessageEntry {
  UINT msg;
  TMessageHandler handler;
};

// One class's handlers, sorted by message number, with the base class's table.
class TMessageMap {
public:
  TMessageMap(const TMessageMap* parent_, std::initializer_list<TMessageEntry> entries_);
  // The handler for msg in this table only, or null.
  TMessageHandler FindHere(UINT msg) const;
  // The handler for msg here or in a base table, or null.
  TMessageHandler Find(UINT msg) const;
  const TMessageMap* Parent() const { return parent; }

private:
  const TMessageMap* parent;  // not owned; null at TControl
  std::vector<TMessageEntry> entries;
};

// One table entry: handler is a member function of C (a TControl descendant).
template <class C>
TMessageEntry OnMessage(UINT msg, void (C::*handler)(TMessage&)) {
  return TMessageEntry{msg, static_cast<TMessageHandler>(handler)};
}

// Declares the class's table (defined in its .cpp as ClassMessageMap) and the
// virtual that hands it to Dispatch.
#define QV_MESSAGE_MAP(CLASS, BASE)                                           \
public:                                                                        \
  static const TMessageMap* ClassMessageMap();                                 \
  const TMessageMap* MessageMap() const override { return ClassMessageMap(); } \
                                                                               \
private:

// ---------------------------------------------------------------------------
// Value types

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind, 4>;
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem, 8>;
enum THelpType { htKeyword, htContext };
// Bevels of a window control's frame: the cut of each ring, the look, the edges drawn.
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBevelKind { bkNone, bkTile, bkSoft, bkFlat };
enum TBevelEdge { beLeft, beTop, beRight, beBottom };
using TBevelEdges = TSet<TBevelEdge, 4>;
// Whether a left press starts a drag by itself, and what kind of drag.
enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Cursor identifiers: 0 is the default (the class's cursor), negatives are the
// stock cursors, positives are cursors a program adds to Screen.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSize = -22;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

enum TControlStyleItem {
  csAcceptsControls,   // may parent other controls in a definition
  csCaptureMouse,      // captures the mouse while a button is down
  csDesignInteractive,
  csClickEvents,       // a left click fires OnClick
  csFramed,
  csSetCaption,        // the name becomes the caption when the caption was not set
  csOpaque,            // paints its whole client area (the parent need not erase)
  csDoubleClicks,      // double clicks fire OnDblClick
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,       // mouse and key events are not fired
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents,
  csParentBackground,  // the parent's background shows through (themed pages)
};
using TControlStyle = TSet<TControlStyleItem, 32>;

enum TControlStateItem {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle,
  csDocking,
};
using TControlState = TSet<TControlStateItem, 16>;

using TMouseEvent = TEvent<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = TEvent<void(TObject* sender, TShiftState shift, int x, int y)>;
using TKeyEvent = TEvent<void(TObject* sender, uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = TEvent<void(TObject* sender, char& key)>;
using TContextPopupEvent = TEvent<void(TObject* sender, TPoint mousePos, bool& handled)>;

// Class-library drag and drop of controls (DragControl.cpp). The control under
// the mouse is asked with CM_DRAG: WParam a TDragMessage, LParam a TDragRec;
// its Result accepts the drag (enter, move) or names the target control (find
// target; 0 means the control itself). Nobody answering refuses the drag.

// An object the application hands over when a drag starts (OnStartDrag): it
// travels with the drag in every TDragRec. The application owns it.
class TDragObject : public TObject {
public:
  // The drag's source control; set when the drag starts.
  TControl* Control() const { return control; }
  void SetControl(TControl* value) { control = value; }

private:
  TControl* control = nullptr;
};
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TDragMessage { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop, dmDragCancel, dmFindTarget };
struct TDragRec {
  TPoint Pos;                  // the mouse on the screen
  TControl* Source = nullptr;  // the dragged control
  TControl* Target = nullptr;  // the control asked
  TDragObject* DragObject = nullptr;  // what the start of the drag handed over, or null
};
using TEndDragEvent = TEvent<void(TObject* sender, TObject* target, int x, int y)>;
using TStartDragEvent = TEvent<void(TObject* sender, TDragObject*& dragObject)>;

// The pop-up menu as the control layer sees it. The menu classes implement it
// beside TComponent; a control's PopupMenu must be a component that does.
class IPopupMenu {
public:
  virtual ~IPopupMenu() = default;
  // Shows the menu at screen position (x, y) for control (which becomes its
  // PopupComponent).
  virtual void PopupFor(TComponent* control, int x, int y) = 0;
  // False when the menu opens only when code asks (no right-click pop-up).
  virtual bool AutoPopup() const = 0;
  // Clicks the enabled, visible item with this shortcut; true when there was
  // one. A menu without shortcuts keeps the default: none.
  virtual bool IsShortCut(uint16_t key, TShiftState shift) { return false; }
};

using TAliveToken = std::shared_ptr<const bool>;

// Shift state from the MK_xxx flags of a mouse message plus the keyboard.
TShiftState MouseShiftState(WPARAM keys);
// Shift state of the keyboard now (Shift, Ctrl, Alt).
TShiftState KeyboardShiftState();
// Shift state from the key-data LParam of a key message (Alt from bit 29).
TShiftState KeyDataToShiftState(LPARAM keyData);
// The control owning window hwnd (ours, in this process), or null.
TWinControl* FindControl(HWND hwnd);
// True while a message of one of this thread's controls is being handled.
bool InsideWindowProcedure();
// While a class-library drag of source runs, its window's mouse, key and
// capture messages drive the drag (true: the message was taken).
bool DragSessionTakes(TWinControl* source, TMessage& message);
// control goes: a drag of it ends without a drop, a drag over it forgets it.
void ForgetDragControl(TControl* control);
// True when ch is the accelerator (the letter after '&') of caption; "&&" is a literal '&'.
bool IsAccel(unsigned ch, const std::string& caption);

// ---------------------------------------------------------------------------
// TControl

class TControl : public TComponent {
public:
  void Create(TComponent* owner) override;
  ~TControl() override;
  void BeforeDestruction() override;

  // Message handling. WndProc sees every message first (mouse bookkeeping,
  // hints) and passes it to Dispatch; Perform calls WndProc directly.
  virtual void WndProc(TMessage& message);
  // Calls the handler of message.Msg from the class tables, else DefaultHandler.
  void Dispatch(TMessage& message);
  // What happens to a message nobody handled: nothing for windowless controls,
  // the window procedure for window controls.
  virtual void DefaultHandler(TMessage& message);
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  static const TMessageMap* ClassMessageMap();
  virtual const TMessageMap* MessageMap() const { return ClassMessageMap(); }

  // Parent (shows the control); null hides it from every window.
  TWinControl* Parent() const { return parent; }
  virtual void SetParent(TWinControl* value);
  // The form the control sits on (through its parents), or null.
  TCustomForm* ParentForm() const;

  int Left() const { return left; }
  int Top() const { return top; }
  int Width() const { return width; }
  int Height() const { return height; }
  void SetLeft(int value) { SetBounds(value, top, width, height); }
  void SetTop(int value) { SetBounds(left, value, width, height); }
  void SetWidth(int value) { SetBounds(left, top, value, height); }
  void SetHeight(int value) { SetBounds(left, top, width, value); }
  // Moves and sizes the control (negative sizes become 0); realigns siblings.
  virtual void SetBounds(int aLeft, int aTop, int aWidth, int aHeight);
  TRect BoundsRect() const { return Bounds(left, top, width, height); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  // The client area from (0, 0): the window's client rectangle when it has one.
  virtual TRect ClientRect() const;
  // Scales the control (and a window control's children) by m/d (ChangeScale).
  void ScaleBy(int m, int d) { ChangeScale(m, d); }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  // Sizes the control so that its client area gets the size.
  virtual void SetClientSize(int aWidth, int aHeight);
  void SetClientWidth(int value) { SetClientSize(value, ClientHeight()); }
  void SetClientHeight(int value) { SetClientSize(ClientWidth(), value); }
  virtual TPoint ClientToScreen(TPoint p) const;
  virtual TPoint ScreenToClient(TPoint p) const;

  // Class-library drag: starts dragging this window control at once, or once
  // the mouse moved threshold pixels (negative: the system's) with the button
  // held; the release drops, Escape or a lost capture cancels.
  void BeginDrag(bool immediate, int threshold = -1);
  // Whether a drag of this control is pending or running.
  bool Dragging() const;
  // The drag ended on target (null: cancelled or refused) at (x, y) in the
  // target's client coordinates; fires OnEndDrag.
  virtual void DoEndDrag(TControl* target, int x, int y);
  TEndDragEvent OnEndDrag;
  // The drag starts (BeginDrag): fires OnStartDrag, whose handler may hand
  // over a drag object (left null otherwise).
  virtual void DoStartDrag(TDragObject*& dragObject);
  TStartDragEvent OnStartDrag;
  // The drag ended without a drop (cancelled, refused or released nowhere);
  // called before DoEndDrag. Nothing by default.
  virtual void DragCanceled();
  // With dmAutomatic and dkDrag a left press (or double click) at run time
  // starts a pending drag instead of reaching the control.
  TDragMode DragMode() const { return dragMode; }
  void SetDragMode(TDragMode value) { dragMode = value; }
  TDragKind DragKind() const { return dragKind; }
  void SetDragKind(TDragKind value) { dragKind = value; }

  TAlign Align() const { return align; }
  void SetAlign(TAlign value);
  TAnchors Anchors() const { return anchors; }
  void SetAnchors(TAnchors value);

  bool Visible() const { return visible; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled; }
  virtual void SetEnabled(bool value);

  // The caption (8-bit); controls with a window read and write the window text.
  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& value) { SetText(value); }
  std::string Text() const { return GetText(); }
  void SetTextProp(const std::string& value) { SetText(value); }

  TFont* Font() const { return font; }
  // Copies value's attributes (null is ignored); ParentFont becomes false.
  void SetFont(TFont* value);
  bool ParentFont() const { return parentFont; }
  void SetParentFont(bool value);
  TColor Color() const { return color; }
  void SetColor(TColor value);
  bool ParentColor() const { return parentColor; }
  void SetParentColor(bool value);

  TCursor Cursor() const { return cursor; }
  void SetCursor(TCursor value);
  const std::string& Hint() const { return hint; }
  void SetHint(const std::string& value) { hint = value; }
  bool ShowHint() const { return showHint; }
  void SetShowHint(bool value);
  bool ParentShowHint() const { return parentShowHint; }
  void SetParentShowHint(bool value);

  const std::string& HelpKeyword() const { return helpKeyword; }
  void SetHelpKeyword(const std::string& value) { helpKeyword = value; }
  int HelpContext() const { return helpContext; }
  void SetHelpContext(int value) { helpContext = value; }
  THelpType HelpType() const { return helpType; }
  void SetHelpType(THelpType value) { helpType = value; }

  TComponent* PopupMenu() const { return popupMenu; }
  // value must implement IPopupMenu (or be null); raises EComponentError otherwise.
  void SetPopupMenu(TComponent* value);

  TBiDiMode BiDiMode() const { return biDiMode; }
  virtual void SetBiDiMode(TBiDiMode value);
  bool ParentBiDiMode() const { return parentBiDiMode; }
  void SetParentBiDiMode(bool value);
  bool IsRightToLeft() const { return biDiMode != bdLeftToRight; }
  bool UseRightToLeftReading() const { return biDiMode != bdLeftToRight; }
  bool UseRightToLeftAlignment() const { return biDiMode == bdRightToLeft; }
  bool UseRightToLeftScrollBar() const { return biDiMode == bdRightToLeft || biDiMode == bdRightToLeftNoAlign; }
  // DT_RTLREADING (and DT_RIGHT for right alignment) as the bidi mode asks.
  UINT DrawTextBiDiModeFlags(UINT flags) const;

  TControlStyle ControlStyle() const { return controlStyle; }
  void SetControlStyle(TControlStyle value) { controlStyle = value; }
  TControlState ControlState() const { return controlState; }
  void SetControlState(TControlState value) { controlState = value; }

  // Repaints: Invalidate marks the area, Update paints what is marked now.
  virtual void Invalidate();
  virtual void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  // True when the control and all its parents are visible and a window shows it.
  virtual bool Showing() const;

  // A flag that turns false when the control is freed (torn down, even while
  // a hold keeps its memory) or destroyed: hold it across a call that may
  // free the control (an event handler) and test it after.
  TAliveToken Alive() const { return alive; }

  // Simulates a click: fires OnClick (the button classes add their own effects).
  virtual void Click();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;
  TContextPopupEvent OnContextPopup;

protected:
  // The one door to the control's own handlers (OnClick, OnMouseDown,
  // OnEndDrag...): none is called once the control goes, and the control is
  // held around the call, so that a handler may free it. False when the
  // control goes, before the call or after it: the caller stops.
  template <class Handler, class... A>
  bool FireControlEvent(const Handler& handler, A&&... args) {
    if (Going()) return false;
    if (!handler) return true;
    TDoorHold hold(this);
    handler(std::forward<A>(args)...);
    return !Going();
  }
  // Text access; windowless controls keep it here, window controls in the window.
  virtual std::string GetText() const { return caption; }
  virtual void SetText(const std::string& value);
  // The stored caption without asking the window.
  const std::string& StoredCaption() const { return caption; }
  // A window control: the mouse moved into its client area and has not left it.
  bool MouseInside() const { return mouseInside; }
  void StoreCaption(const std::string& value) { caption = value; }

  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Resize();
  // Called when the bounds changed (from SetBounds or the window).
  virtual void BoundsChanged();
  // Shows the pop-up menu at the screen point; true when one was shown.
  virtual bool DoContextPopup(TPoint screenPos);
  // Called for font changes (own or inherited) while not loading.
  virtual void FontChanged();
  // Scales by m/d: bounds, and the font unless it is the parent's; a window
  // control scales its children first. Nothing when m equals d or d is 0.
  virtual void ChangeScale(int m, int d);
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  // Changes stored bounds without moving anything (the window moved itself).
  void UpdateBoundsRect(const TRect& r);
  // Whether the control is being loaded from a definition or destroyed.
  bool IsLoading() const { return ComponentState().Contains(csLoading); }
  bool IsDestroying() const { return ComponentState().Contains(csDestroying); }
  // Calls Inherited's search above map (the calling class's table).
  void Inherited(const TMessageMap* map, TMessage& message);

  // Message handlers of every control.
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  void WMLButtonDblClk(TMessage& m);
  void WMRButtonDown(TMessage& m);
  void WMRButtonUp(TMessage& m);
  void WMMButtonDown(TMessage& m);
  void WMMButtonUp(TMessage& m);
  void WMMouseMove(TMessage& m);
  void WMContextMenu(TMessage& m);
  void CMMouseEnter(TMessage& m);
  void CMMouseLeave(TMessage& m);
  void CMParentFontChanged(TMessage& m);
  void CMParentColorChanged(TMessage& m);
  void CMParentShowHintChanged(TMessage& m);
  void CMParentBiDiModeChanged(TMessage& m);
  void CMHitTest(TMessage& m);
  void CMHintShow(TMessage& m);
  void CMFontChanged(TMessage& m);
  void CMColorChanged(TMessage& m);

  TWinControl* parent = nullptr;  // not owned

private:
  friend class TWinControl;
  void FontChangeHandler(TObject* sender);
  void ReadParentFont();

  int left = 0, top = 0, width = 0, height = 0;
  TAlign align = alNone;
  TAnchors anchors{akLeft, akTop};
  bool visible = true;
  bool enabled = true;
  std::string caption;
  TFont* font = nullptr;  // owned
  bool parentFont = true;
  TColor color = clBtnFace;
  bool parentColor = false;
  TCursor cursor = crDefault;
  std::string hint;
  bool showHint = false;
  TDragMode dragMode = dmManual;
  TDragKind dragKind = dkDrag;
  bool parentShowHint = true;
  std::string helpKeyword;
  int helpContext = 0;
  THelpType helpType = htKeyword;
  TComponent* popupMenu = nullptr;  // not owned
  TBiDiMode biDiMode = bdLeftToRight;
  bool parentBiDiMode = true;
  TControlStyle controlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState controlState;
  bool mouseInside = false;
  bool readingParentFont = false;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  // Size of the parent's client area when the anchors were last applied.
  int anchorParentWidth = -1, anchorParentHeight = -1;
};

// ---------------------------------------------------------------------------
// TWinControl

// What CreateWnd makes: filled by CreateParams, overridable at every level.
struct TCreateParams {
  std::u16string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  // The window class: registered once per WinClassName. For a system control
  // (set with CreateSubClass) it is a copy of the system class whose procedure
  // becomes the control's default handler.
  WNDCLASSEXW WindowClass{};
  std::u16string WinClassName;
  std::u16string SubClassOf;  // system class the window class copies, or empty
};

class TWinControl : public TControl {
  QV_MESSAGE_MAP(TWinControl, TControl)

public:
  void Create(TComponent* owner) override;
  ~TWinControl() override;
  void BeforeDestruction() override;

  void WndProc(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;

  // The window, created (with the parents' windows) on first use; raises
  // EInvalidOperation "Control '<name>' has no parent window" without a parent.
  HWND Handle();
  bool HandleAllocated() const { return handle != nullptr; }
  // Creates the window now when it does not exist.
  void HandleNeeded() { Handle(); }
  // True when the control and every parent are visible. Such a control's
  // window is made with its parent's; a hidden control's window is made when
  // it first becomes visible so, or when something asks for its handle.
  bool VisibleWithParents() const;
  // Destroys and creates the window again (keeping bounds, text and children)
  // when it exists; nothing otherwise.
  void RecreateWnd();
  // A foreign window to sit in instead of a Parent (for hosting in other programs).
  HWND ParentWindow() const { return parentWindow; }
  void SetParentWindow(HWND value);

  int ControlCount() const { return static_cast<int>(controls.size()); }
  // Child at index in z-order from the bottom; raises EListError out of range.
  TControl* Controls(int index) const;
  // Adds or removes a child (SetParent calls these).
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // The visible, enabled child at client point p, or null; windowless children
  // only unless allowWinControls.
  TControl* ControlAtPos(TPoint p, bool allowDisabled = false, bool allowWinControls = false) const;
  // True when control is this or one of its descendants.
  bool ContainsControl(const TControl* control) const;

  bool TabStop() const { return tabStop; }
  void SetTabStop(bool value);
  // Position among the parent's window children in tab order (-1 without a parent).
  int TabOrder() const;
  void SetTabOrder(int value);
  // The next control in tab order after current among this control's descendants.
  TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop, bool checkParent) const;
  // Gives the keyboard focus to the next tab stop after current.
  void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);
  // Children in tab order (window controls only).
  std::vector<TWinControl*> TabOrderList() const;
  // True when this window or one of its child windows has the keyboard focus.
  bool ContainsFocus() const;

  virtual bool CanFocus() const;
  virtual void SetFocus();
  bool Focused() const;
  bool Showing() const override;
  void SetVisible(bool value) override;
  void SetEnabled(bool value) override;
  void SetBounds(int aLeft, int aTop, int aWidth, int aHeight) override;
  TRect ClientRect() const override;
  void SetClientSize(int aWidth, int aHeight) override;
  TPoint ClientToScreen(TPoint p) const override;
  TPoint ScreenToClient(TPoint p) const override;
  void Invalidate() override;
  void Update() override;
  void SetBiDiMode(TBiDiMode value) override;

  // Lays out the aligned and anchored children again.
  void Realign();
  void DisableAlign() { ++alignLevel; }
  void EnableAlign();

  // Paints the windowless children onto dc (in client coordinates), clipped to
  // their bounds; first is the child to start from (null: all).
  void PaintControls(HDC dc, TControl* first);
  // Sends message to every child (stops at a child that sets Result non-zero
  // when stopOnResult).
  void Broadcast(TMessage& message, bool stopOnResult = false);

  // The brush for the background (Color); owned by the control.
  HBRUSH BackgroundBrush();

  // The frame inside the window's border: bevels (drawn when BevelKind is not
  // bkNone, BevelWidth pixels per inner and outer ring on the edges named) and
  // a ring of BorderWidth pixels; both shrink the client area.
  TBevelEdges BevelEdges() const { return bevelEdges; }
  void SetBevelEdges(TBevelEdges value);
  TBevelCut BevelInner() const { return bevelInner; }
  void SetBevelInner(TBevelCut value);
  TBevelCut BevelOuter() const { return bevelOuter; }
  void SetBevelOuter(TBevelCut value);
  TBevelKind BevelKind() const { return bevelKind; }
  void SetBevelKind(TBevelKind value);
  int BevelWidth() const { return bevelWidth; }
  void SetBevelWidth(int value);  // at least 1
  int BorderWidth() const { return borderWidth; }
  void SetBorderWidth(int value);  // at least 0
  // Three-dimensional look: false draws bevels flat and mono (the window is made again).
  bool Ctl3D() const { return ctl3D; }
  void SetCtl3D(bool value);
  // How far the bevels and the border ring reach in from each edge of the rectangle
  // inside the window's border.
  TRect FrameInsets() const;
  // Draws the bevels and fills the border ring with ringColor on dc (a window DC);
  // r is the rectangle inside the window's border.
  void PaintFrame(HDC dc, TRect r, TColor ringColor) const;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

protected:
  virtual void CreateParams(TCreateParams& params);
  // Makes params a copy of the system window class className (BUTTON, EDIT...).
  void CreateSubClass(TCreateParams& params, const char16_t* className);
  // Registers the class and creates the window.
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& params);
  // Saves what the window holds (text, state) before it goes, then destroys it.
  virtual void DestroyWnd();
  virtual void DestroyWindowHandle();
  // CreateWnd, then the windows of the children that show, then the window's state.
  virtual void CreateHandle();
  // Makes the windows of the visible children (and theirs, down the tree)
  // that have none yet, when this control's window exists and it shows.
  void CreateChildWindows();
  void DestroyHandle();
  // Called once the window and the children's windows exist.
  virtual void CreateComplete() {}
  // Client rectangle that aligned children share (the panel trims its bevel).
  virtual void AdjustClientRect(TRect& r) const {}
  virtual void AlignControls(TControl* control, TRect& r);
  // Paints self and the windowless children; used for WM_PAINT when there are
  // windowless children or the control paints itself.
  virtual void PaintHandler(TMessage& m);
  // Paints the window's own content on dc (the default window procedure's WM_PAINT).
  virtual void PaintWindow(HDC dc);
  // Key events; each returns true when the key was consumed (set to 0).
  virtual bool DoKeyDown(TMessage& m);
  virtual bool DoKeyUp(TMessage& m);
  virtual bool DoKeyPress(TMessage& m);
  virtual void DoEnter();
  virtual void DoExit();
  std::string GetText() const override;
  void SetText(const std::string& value) override;
  void FontChanged() override;
  void BoundsChanged() override;
  void ChangeScale(int m, int d) override;
  void Loaded() override;
  // The window procedure of the system class the window copies (or DefWindowProcW).
  WNDPROC DefWndProc() const { return defWndProc; }
  // Sets the window's font to Font (WM_SETFONT) when the window exists;
  // redraw false for a window just made, which paints whole when it shows.
  void UpdateWindowFont(bool redraw = true);

  void WMPaint(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMPrintClient(TMessage& m);
  void WMCommand(TMessage& m);
  void WMNotify(TMessage& m);
  void WMCtlColor(TMessage& m);
  void WMDrawItem(TMessage& m);
  void WMMeasureItem(TMessage& m);
  void WMDeleteItem(TMessage& m);
  void WMCompareItem(TMessage& m);
  void WMScroll(TMessage& m);
  void WMSetCursor(TMessage& m);
  void WMSetFocus(TMessage& m);
  void WMKillFocus(TMessage& m);
  void WMKeyDown(TMessage& m);
  void WMKeyUp(TMessage& m);
  void WMChar(TMessage& m);
  void WMHelp(TMessage& m);
  void WMKeyF1(TMessage& m);
  void WMSize(TMessage& m);
  void WMMove(TMessage& m);
  void WMMouseWheel(TMessage& m);
  void WMNCDestroy(TMessage& m);
  void WMSysColorChange(TMessage& m);
  void CNKeyDown(TMessage& m);
  void CNChar(TMessage& m);
  void CNSysChar(TMessage& m);
  void CNCtlColor(TMessage& m);
  void CMColorChanged(TMessage& m);
  void CMFontChanged(TMessage& m);
  void CMEnabledChanged(TMessage& m);
  void CMBiDiModeChanged(TMessage& m);
  void CMDialogKey(TMessage& m);
  void CMDialogChar(TMessage& m);
  void CMRecreateWnd(TMessage& m);
  void CMFocusChanged(TMessage& m);
  void CMExit(TMessage& m);
  void CMEnter(TMessage& m);
  void CMSysColorChange(TMessage& m);
  void CMInvalidate(TMessage& m);
  void WMContextMenuRoute(TMessage& m);
  void WMNCCalcSize(TMessage& m);
  void WMNCPaint(TMessage& m);
  // Makes the window measure and paint its frame again.
  void FrameChanged();

  HWND handle = nullptr;  // owned (DestroyWindow)

private:
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend class TControl;
  friend class TApplication;
  void AttachHandle(HWND hwnd);
  void DetachHandle();
  void ApplyAnchors(int clientWidth, int clientHeight);
  // Puts a window made after its siblings' where it would stand had all been
  // made together: below the sibling before it in tab order (top if none).
  void PlaceAmongSiblings();
  // Visible was set: once the control shows, its window is made (or the
  // windows its children were left without while it was hidden).
  void VisibleNow();
  // The frame styles CreateParams gives, without creating any window.
  void BorderParams(TCreateParams& params);
  // Keeps the stored bounds in step with the window (after WM_SIZE, WM_MOVE).
  void UpdateBoundsFromWindow();
  void ShowWindowAsVisible();
  void FreeBackgroundBrush();
  static bool IsMouseMessageForChildren(UINT msg);
  bool RouteMouse(TMessage& m);
  bool PaintsItself() const;
  void ScreenToClientPoint(POINT& pt) const;

  std::vector<TControl*> controls;  // children, not owned (owner frees them)
  std::vector<TWinControl*> tabList;  // window children in tab order, not owned
  WNDPROC defWndProc = DefWindowProcW;
  HWND parentWindow = nullptr;  // not owned
  bool tabStop = false;
  TBevelEdges bevelEdges = TBevelEdges{beLeft, beTop, beRight, beBottom};
  TBevelCut bevelInner = bvRaised;
  TBevelCut bevelOuter = bvLowered;
  TBevelKind bevelKind = bkNone;
  int bevelWidth = 1;
  int borderWidth = 0;
  bool ctl3D = true;
  int alignLevel = 0;
  bool alignPending = false;
  bool recreating = false;
  bool makingChildren = false;  // the children's windows are being made with this one's
  HBRUSH backgroundBrush = nullptr;  // owned
  TColor backgroundBrushColor = clNone;
  TControl* captureControl = nullptr;  // windowless child holding the mouse, not owned
  TControl* mouseControl = nullptr;    // windowless child under the mouse, not owned
};

// ---------------------------------------------------------------------------
// TGraphicControl and TCustomControl

class TGraphicControl : public TControl {
  QV_MESSAGE_MAP(TGraphicControl, TControl)

public:
  void Create(TComponent* owner) override;
  ~TGraphicControl() override;
  // The canvas to paint on, valid inside Paint.
  TCanvas* Canvas() const { return canvas; }

protected:
  virtual void Paint() {}
  void WMPaint(TMessage& m);

private:
  TCanvas* canvas = nullptr;  // owned
};

class TCustomControl : public TWinControl {
  QV_MESSAGE_MAP(TCustomControl, TWinControl)

public:
  void Create(TComponent* owner) override;
  ~TCustomControl() override;
  // The canvas to paint on, valid inside Paint.
  TCanvas* Canvas() const { return canvas; }

protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

private:
  TCanvas* canvas = nullptr;  // owned
};

// Menus hand their WM_COMMAND ids (from a window's menu bar) here; true when
// an item took the command. Set by the menu classes; null when there are none.
extern bool (*MenuCommandDispatcher)(UINT id);
