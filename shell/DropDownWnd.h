#pragma once
// The drop-down windows of the path combo box: TDropDownWnd, a top-most
// popup that rolls down beside a source control, runs its own message loop
// while open and closes on a click outside; TSizeGrabber, its size grip.
#include <uxtheme.h>

#include <cstdint>

#include "core/Events.h"
#include "core/Set.h"
#include "shell/DropDownGeometry.h"
#include "shell/OwnerDrawScrollbar.h"
#include "win/Controls.h"

class TDropDownWnd;

enum TPopupOption { poAnimated, poEnabled, poPersistentSizing, poSizeable, poRespectSysAnimationFlag, poThemeAware };
using TPopupOptions = TSet<TPopupOption, 8>;

using TOnPopupRollDown = TEvent<void(TDropDownWnd* sender, bool& allow)>;
using TOnPopupRollUp = TEvent<void(TDropDownWnd* sender, bool selected)>;

// The grip in the drop-down's corner; dragging it resizes the drop-down.
class TSizeGrabber : public TCustomControl {
  QV_MESSAGE_MAP(TSizeGrabber, TCustomControl)

public:
  void Create(TComponent* owner) override;
  ~TSizeGrabber() override;
  TDropDownWnd* DropDown() const { return dropDown; }
  void SetDropDown(TDropDownWnd* value) { dropDown = value; }
  // The grip's triangle in the grabber's client coordinates (right angle away from the source).
  HRGN CreateTriangleRegion() const;
  bool Dragging() const { return dragging; }
  // Draws the grip onto dc at (x, y) (the drop-down paints it over its list too).
  void PaintGrip(HDC dc, int x, int y);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WMMouseActivate(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMSetCursor(TMessage& m);
  void WMThemeChanged(TMessage& m);

private:
  void OpenTheme();
  void CloseTheme();
  TDropDownWnd* dropDown = nullptr;  // not owned
  HTHEME theme = nullptr;            // owned
  bool dragging = false;
  TPoint dragStart;   // screen point where the drag began
  TRect startBounds;  // the drop-down's screen bounds then
};

class TDropDownWnd : public TCustomControl {
  QV_MESSAGE_MAP(TDropDownWnd, TCustomControl)

public:
  // State word bits.
  static constexpr uint16_t kDroppedDown = 0x0001;
  static constexpr uint16_t kShownAbove = 0x0004;
  static constexpr uint16_t kShownBelow = 0x0008;
  static constexpr uint16_t kHasBeenSized = 0x0010;
  static constexpr uint16_t kScrollUp = 0x0020;
  static constexpr uint16_t kScrollDown = 0x0040;
  static constexpr uint16_t kFastScrolling = 0x0080;
  static constexpr uint16_t kSlowScrolling = 0x0100;
  static constexpr uint16_t kScrollBarLeft = 0x0200;
  static constexpr uint16_t kScrollBits = kScrollUp | kScrollDown | kFastScrolling | kSlowScrolling;
  // Auto-scroll timers.
  static constexpr UINT kSlowTimer = 100;
  static constexpr UINT kFastTimer = 102;
  // Posted by the hosted tree after an expand or collapse: the layout step runs again.
  static constexpr UINT kWMLayout = 0x803D;

  void Create(TComponent* owner) override;

  // Opens below (or above) placementControl (null: source) and runs the modal
  // loop until the drop-down closes. Nothing without a source, when already
  // down, without poEnabled, or when OnRollDown refuses. size: explicit
  // width/height where a dimension is at least 1.
  void RollDown(TWinControl* source, TControl* placementControl, const TPoint* size = nullptr);
  // Closes (accepted or not) and gives the focus back to the source; nothing when not down.
  virtual void RollUp(bool accept);
  bool DroppedDown() const { return (state & kDroppedDown) != 0; }
  uint16_t State() const { return state; }
  TWinControl* Source() const { return source; }

  TPopupOptions Options() const { return options; }
  void SetOptions(TPopupOptions value) { options = value; }
  int AnimationSpeed() const { return animationSpeed; }
  void SetAnimationSpeed(int value) { animationSpeed = value; }
  int AutoScrollTimeSlow() const { return autoScrollTimeSlow; }
  void SetAutoScrollTimeSlow(int value) { autoScrollTimeSlow = value; }
  int AutoScrollTimeFast() const { return autoScrollTimeFast; }
  void SetAutoScrollTimeFast(int value) { autoScrollTimeFast = value; }
  int DropDownCount() const { return dropDownCount; }
  void SetDropDownCount(int value);
  TOwnerDrawScrollbar* ScrollBar() const { return scrollBar; }
  TSizeGrabber* Grabber() const { return grabber; }
  bool ScrollBarLeft() const { return (state & kScrollBarLeft) != 0; }
  // The smallest size the grip may give the window.
  int MinWidth() const;
  int MinHeight() const;

  // Places the children again for the current size.
  void Relayout() { PlaceChildren(Width(), Height()); }

  // Auto-scrolling of the hosted list while the mouse is held outside it.
  void StartSlowScroll(bool up);
  void StartFastScroll(bool up);
  void StopAutoScroll();

  TOnPopupRollDown OnRollDown;
  TOnPopupRollUp OnRollUp;

  // The hosted list (the control that scrolls and takes the keys); null in the base.
  virtual TWinControl* ScrolledControl() const { return nullptr; }

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  // The row height the window's height is computed from.
  virtual int RowHeight() const { return 17; }
  // A key message seen by the modal loop: handled true keeps it from being dispatched.
  virtual void KeyHandler(MSG& msg, bool& handled) {}
  // One auto-scroll or wheel step done; the bar follows the list.
  virtual void ScrollStep() { LayoutStep(); }
  // The bar follows the hosted list's range, page and offset.
  virtual void LayoutStep() {}
  // Places scroll bar, grip and list for a client size.
  virtual void PlaceChildren(int width, int height);
  // Before the loop: state of the hosted list for the opening.
  virtual void DoRollDownInit() {}
  virtual void DoRollDown(bool& allow);
  virtual void DoRollUp(bool selected);

  void WMActivate(TMessage& m);
  void WMActivateApp(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMMouseActivate(TMessage& m);
  void WMWindowPosChanging(TMessage& m);
  void WMPrint(TMessage& m);
  void WMTimer(TMessage& m);
  void WMLayout(TMessage& m);

  uint16_t state = 0;

private:
  friend class TSizeGrabber;
  void Place(TControl* placement, const TPoint* size);
  void Animate();
  void RunModalLoop();
  bool AnimationAllowed() const;
  void SetTimerKind(uint16_t kind, bool up);

  TOwnerDrawScrollbar* scrollBar = nullptr;  // owned (a child)
  TSizeGrabber* grabber = nullptr;           // owned (a child)
  TWinControl* source = nullptr;             // not owned
  TPopupOptions options;
  int animationSpeed = 200;
  int autoScrollTimeSlow = 200;
  int autoScrollTimeFast = 10;
  int dropDownCount = 8;
};
