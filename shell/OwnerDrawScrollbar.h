#pragma once
// A vertical scroll bar drawn by the toolkit itself (classic or themed), for
// places where a window's own scroll bar cannot be used (the drop-down of the
// path combo box). It drives an attached control with WM_VSCROLL, or moves
// its own Position when none is attached. It never takes the focus.
//
// Positions are 32-bit: an attached control that needs more than the 16 bits
// of WM_VSCROLL asks GetScrollInfo(scroll bar window, SB_CTL) (with
// SIF_TRACKPOS while the thumb is dragged), which this bar answers.
#include <uxtheme.h>

#include <cstdint>

#include "core/Events.h"
#include "shell/ScrollBarMath.h"
#include "win/Controls.h"

class TCustomOwnerDrawScrollbar;

enum TScrollPaintCycle { pcBackground, pcScrollUp, pcScrollDown, pcThumb };
enum TScrollPaintState { psNormal, psHot, psPressed, psScrolling, psDisabled };
enum TScrollOption { soThemeAware };
using TScrollOptions = TSet<TScrollOption, 8>;

using TOnScrollCustomPaint =
    TEvent<void(TCustomOwnerDrawScrollbar* sender, TScrollPaintCycle paintCycle, TScrollPaintState scrollPaintState,
                TRect paintRect, TCanvas* canvas, bool& handled)>;

// The bar's colours; any change rebuilds the track brush and repaints.
class TScrollBarColors : public TPersistent {
public:
  void Create(TCustomOwnerDrawScrollbar* owner);
  void Assign(TPersistent* source) override;

  TColor ThumbButton() const { return thumbButton; }
  void SetThumbButton(TColor value) { Change(thumbButton, value); }
  TColor Background() const { return background; }
  void SetBackground(TColor value) { Change(background, value); }
  TColor PageScrollHot() const { return pageScrollHot; }
  void SetPageScrollHot(TColor value) { Change(pageScrollHot, value); }
  TColor BackgroundBlend() const { return backgroundBlend; }
  void SetBackgroundBlend(TColor value) { Change(backgroundBlend, value); }

private:
  void Change(TColor& field, TColor value);

  TCustomOwnerDrawScrollbar* owner = nullptr;  // not owned
  TColor thumbButton = clScrollBar;
  TColor background = clScrollBar;
  TColor pageScrollHot = clBlack;
  TColor backgroundBlend = clWhite;
};

// Where the bar's timers run; the window's own timers unless a test gives another.
class IScrollBarTimers {
public:
  virtual ~IScrollBarTimers() = default;
  virtual void StartTimer(UINT id, UINT milliseconds) = 0;
  virtual void StopTimer(UINT id) = 0;
};

class TCustomOwnerDrawScrollbar : public TCustomControl, private IScrollBarTimers {
  QV_MESSAGE_MAP(TCustomOwnerDrawScrollbar, TCustomControl)

public:
  // State word bits.
  static constexpr uint16_t kThumbPressed = 0x0001;
  static constexpr uint16_t kDownArrowPressed = 0x0002;
  static constexpr uint16_t kDownArrowHot = 0x0004;
  static constexpr uint16_t kThumbHot = 0x0008;
  static constexpr uint16_t kUpArrowHot = 0x0010;
  static constexpr uint16_t kLButtonDown = 0x0020;
  static constexpr uint16_t kPageDownPressed = 0x0040;
  static constexpr uint16_t kOverPressedPage = 0x0080;
  static constexpr uint16_t kPageUpPressed = 0x0100;
  static constexpr uint16_t kUpArrowPressed = 0x0800;
  static constexpr uint16_t kThemesAvailable = 0x1000;
  // Timers: hover check, repeat, initial delay.
  static constexpr UINT kHoverTimer = 201;
  static constexpr UINT kRepeatTimer = 202;
  static constexpr UINT kDelayTimer = 203;
  static constexpr UINT kHoverInterval = 50;
  static constexpr UINT kInitialDelay = 500;

  void Create(TComponent* owner) override;
  ~TCustomOwnerDrawScrollbar() override;

  int32_t Min() const { return range.Min; }
  void SetMin(int32_t value);
  int32_t Max() const { return range.Max; }
  void SetMax(int32_t value);
  int32_t PageSize() const { return range.PageSize; }
  void SetPageSize(int32_t value);
  int32_t Position() const { return range.Position; }
  // Clamped to Min .. Max - PageSize; a change repaints the track.
  void SetPosition(int32_t value);
  int32_t SmallChange() const { return smallChange; }
  void SetSmallChange(int32_t value) { smallChange = value; }
  int32_t LargeChange() const { return largeChange; }
  void SetLargeChange(int32_t value) { largeChange = value; }
  UINT RepeatInterval() const { return repeatInterval; }
  void SetRepeatInterval(UINT value) { repeatInterval = value; }
  bool Flat() const { return flat; }
  void SetFlat(bool value);
  TScrollOptions Options() const { return options; }
  void SetOptions(TScrollOptions value);
  TScrollBarColors* Colors() const { return colors; }
  // The control that receives WM_VSCROLL (null: the bar moves itself); not owned.
  TWinControl* AttachedControl() const { return attachedControl; }
  void SetAttachedControl(TWinControl* value);

  uint16_t State() const { return state; }
  // The parts for the current size and range.
  TScrollLayout Layout() const;
  // Use timers (null: the window's own); for tests with a fake clock.
  void SetTimers(IScrollBarTimers* value) { timers = value; }

  TOnScrollCustomPaint OnScrollCustomPaint;

  // Rebuilds the 8x8 track brush from the colours and repaints (colour changes call it).
  void ColorsChanged();

protected:
  void CreateWnd() override;
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;

  void WMEraseBkgnd(TMessage& m);
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  // The mouse taken away mid-press (a menu, a message box, a task switch): the press ends there.
  void WMCancelMode(TMessage& m);
  void WMCaptureChanged(TMessage& m);
  void WMMouseMove(TMessage& m);
  void WMMouseActivate(TMessage& m);
  void WMPrintClient(TMessage& m);
  void WMSysColorChange(TMessage& m);
  void WMThemeChanged(TMessage& m);
  void WMTimer(TMessage& m);
  void SBMGetScrollInfo(TMessage& m);

private:
  // IScrollBarTimers on the window.
  void StartTimer(UINT id, UINT milliseconds) override;
  void StopTimer(UINT id) override;
  IScrollBarTimers* Timers() { return timers != nullptr ? timers : this; }

  TScrollMetrics Metrics() const;
  void Press(int x, int y);
  // One line or page step of the pressed part (or notification of the attached control).
  void Step();
  void Scroll(int code, int64_t delta);
  void Notify(int code, int32_t position);
  void SetHotBits(TScrollBarPart part);
  bool UpdateOverPressedPage();
  void StopRepeat();
  // Ends a press: repeats stop, a dragged thumb reports the end, pressed bits go.
  // False when the control the release was reported to freed this bar.
  bool Release();
  TScrollPaintState PartState(TScrollBarPart part) const;
  bool FireCustomPaint(TScrollPaintCycle cycle, TScrollPaintState paintState, const TRect& r, TCanvas* canvas);
  // Draws every element onto canvas (Paint and WM_PRINTCLIENT).
  void PaintAll(TCanvas* canvas, bool background, bool elements);
  // The background, and with elements the arrows and thumb, onto a device context.
  void PaintOnDC(HDC dc, bool elements);
  void PaintBackground(TCanvas* canvas, const TScrollLayout& layout);
  void PaintArrow(TCanvas* canvas, const TRect& r, bool up);
  void PaintThumb(TCanvas* canvas, const TRect& r);
  bool Themed() const { return options.Contains(soThemeAware) && (state & kThemesAvailable) != 0 && theme != nullptr; }
  void FreeBrush();

  TScrollRange range;
  int32_t smallChange = 1;
  int32_t largeChange = 1;
  UINT repeatInterval = 100;
  uint16_t state = 0;
  bool flat = false;
  TScrollOptions options{soThemeAware};
  TScrollBarColors* colors = nullptr;  // owned
  TWinControl* attachedControl = nullptr;  // not owned
  HTHEME theme = nullptr;                  // owned (CloseThemeData)
  HBRUSH trackBrush = nullptr;             // owned
  HBITMAP trackBitmap = nullptr;           // owned
  IScrollBarTimers* timers = nullptr;      // not owned
  bool hoverTimerRunning = false;
  TPoint lastMouse;        // client position of the last press or move
  int32_t trackPosition = 0;  // the position under the dragged thumb
  int grabOffset = 0;         // where in the thumb it was grabbed
};

class TOwnerDrawScrollbar : public TCustomOwnerDrawScrollbar {};
