// Scrolling: the offsets (always clamped to the content), auto-scrolling near
// and beyond the edges during a rubber band or a drag, the scroll timer's
// steps, and the time-based animation with the toggle animation built on it.
// Waiting between animation steps sleeps on the message queue (paint messages
// are handled meanwhile); tick differences are taken modulo 2^32, so the
// clock may wrap.
#include <mmsystem.h>

#include <algorithm>
#include <cmath>

#include "tree/VirtualTrees.h"

namespace {
constexpr UINT_PTR kScrollTimer = 4;
// Dead zone around the panning anchor.
constexpr int kPanningDeadZone = 8;

int32_t TicksUntil(uint32_t end, uint32_t now) { return static_cast<int32_t>(end - now); }
}  // namespace

uint32_t TBaseVirtualTree::CurrentTick() const { return timeGetTime(); }

bool TBaseVirtualTree::DoSetOffsetXY(TPoint value, TScrollUpdateOptions options_, const TRect* clipRect) {
  return DoSetOffsetXY(value.X, value.Y, options_, clipRect);
}

bool TBaseVirtualTree::DoSetOffsetXY(int valueX, int64_t valueY, TScrollUpdateOptions options_,
                                     const TRect* clipRect) {
  int clientWidth = HandleAllocated() ? ClientWidth() : Width();
  int clientHeight = HandleAllocated() ? ClientHeight() : Height();
  int x = SaturateToInt(ClampScrollOffset(valueX, clientWidth, rangeX));
  int64_t y = ClampScrollOffset(valueY, clientHeight, rangeY);
  int deltaX = x - offsetX;
  int64_t deltaY = y - offsetY;
  if (deltaX == 0 && deltaY == 0) return false;
  offsetX = x;
  offsetY = y;
  CancelHint();
  // The scroll bars' handlers may free the tree: the scroll ends there.
  TCallOutScope scope(*this);

  if (updateCount == 0 && HandleAllocated()) {
    bool dragImage = states.Contains(tsVCLDragging);
    if (dragImage) ImageList_DragShowNolock(FALSE);
    if (options_.Contains(suoScrollClientArea)) {
      RECT clip{0, 0, clientWidth, clientHeight};
      if (clipRect != nullptr) clip = RECT{clipRect->Left, clipRect->Top, clipRect->Right, clipRect->Bottom};
      int fixed = GetVisibleFixedWidth();
      // Moving by more than the client shows nothing of the old picture.
      int scrollY = static_cast<int>(std::clamp<int64_t>(deltaY, -clientHeight, clientHeight));
      if (options.paint.Contains(toShowBackground) && dynamic_cast<TBitmap*>(background->Graphic()) != nullptr) {
        // A background picture stays with the window: nothing can be copied.
        HDWP batch = BeginDeferWindowPos(ControlCount());
        for (int i = 0; i < ControlCount() && batch != nullptr; ++i) {
          auto* child = dynamic_cast<TWinControl*>(Controls(i));
          if (child == nullptr || !child->HandleAllocated()) continue;
          batch = DeferWindowPos(batch, child->Handle(), nullptr, child->Left() + deltaX,
                                 SaturateToInt(child->Top() + deltaY), 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (batch != nullptr) EndDeferWindowPos(batch);
        Invalidate();
      } else if (deltaX != 0 && fixed > 0) {
        RECT right{fixed, 0, clientWidth, clientHeight};
        ScrollWindow(handle, deltaX, 0, &right, &right);
        if (deltaY != 0) ScrollWindow(handle, 0, scrollY, &clip, &clip);
      } else {
        ScrollWindow(handle, deltaX, scrollY, &clip, &clip);
      }
    }
    if (options_.Contains(suoUpdateNCArea)) {
      bool repaintBars = options_.Contains(suoRepaintScrollbars);
      if (deltaX != 0) {
        if (options_.Contains(suoRepaintHeader) && HeaderVisible() && header != nullptr)
          header->Invalidate(nullptr);
        if (!states.Contains(tsSizing)) UpdateHorizontalScrollBar(repaintBars);
        if (scope.TreeGone()) return true;
      }
      if (deltaY != 0) {
        UpdateVerticalScrollBar(repaintBars);
        if (scope.TreeGone()) return true;
        if (HeaderColumnCount() == 0 && !states.Contains(tsDrawSelecting)) UpdateHorizontalScrollBar(repaintBars);
        if (scope.TreeGone()) return true;
      }
    }
    if (dragImage) ImageList_DragShowNolock(TRUE);
  }
  // Where the mouse is not over the window, asking for it is a round trip saved.
  if (HandleAllocated() && MouseInside()) {
    POINT cursor;
    if (GetCursorPos(&cursor) && ::ScreenToClient(handle, &cursor) && cursor.x >= 0 && cursor.y >= 0 &&
        cursor.x < clientWidth && cursor.y < clientHeight) {
      // The hot node's handler may free the whole tree.
      HandleHotTrack(cursor.x, cursor.y);
      if (scope.TreeGone()) return true;
    }
  }
  DoScroll(deltaX, ReportedScroll(deltaY));
  return true;
}

void TBaseVirtualTree::SetOffsetX(int value) { DoSetOffsetXY(value, offsetY); }

void TBaseVirtualTree::SetOffsetY(int64_t value) { DoSetOffsetXY(offsetX, value); }

bool TBaseVirtualTree::CanAutoScroll() {
  bool panning = states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling);
  if (!options.autoOptions.Contains(toAutoScroll) && !panning) return false;
  if (header != nullptr) {
    THeaderStates headerStates = header->States();
    if (headerStates.Contains(hsTracking) || headerStates.Contains(hsTrackPending) ||
        headerStates.Contains(hsDragging) || headerStates.Contains(hsDragPending))
      return false;
  }
  return states.Contains(tsDrawSelPending) || states.Contains(tsDrawSelecting) || IsCurrentDropTarget() ||
         states.Contains(tsVCLDragging) || panning;
}

TScrollDirections TBaseVirtualTree::DetermineScrollDirections(int x, int y) {
  bool waiting = false;
  TScrollDirections result = ScrollDirectionsAt(x, y, waiting);
  return waiting ? TScrollDirections() : result;
}

TScrollDirections TBaseVirtualTree::ScrollDirectionsAt(int x, int y, bool& waiting) {
  waiting = false;
  TScrollDirections result;
  if (!CanAutoScroll()) return result;
  // Panning with the button held, or wheel scrolling after a release without
  // moving: the content follows the cursor's side of the anchor.
  if (states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling)) {
    if (x < panningAnchor.X - kPanningDeadZone) result.Include(sdLeft);
    if (x > panningAnchor.X + kPanningDeadZone) result.Include(sdRight);
    if (y < panningAnchor.Y - kPanningDeadZone) result.Include(sdUp);
    if (y > panningAnchor.Y + kPanningDeadZone) result.Include(sdDown);
    return result;
  }
  int zone = static_cast<int>(defaultNodeHeight);
  int clientWidth = ClientWidth(), clientHeight = ClientHeight();
  if (x < zone && offsetX != 0) result.Include(sdLeft);
  if (int64_t(clientWidth) - offsetX < int64_t(rangeX) && x > clientWidth - zone) result.Include(sdRight);
  if (y < zone && offsetY != 0) result.Include(sdUp);
  if (int64_t(clientHeight) - offsetY < int64_t(rangeY) && y > clientHeight - zone) result.Include(sdDown);
  if (result.Empty()) {
    // Out of the edge zone: coming back waits the whole delay again.
    autoScrollStarted = false;
    return result;
  }
  POINT screen{x, y};
  ::ClientToScreen(handle, &screen);
  // The mouse left the tree while selecting: scroll at once.
  if (!IsCurrentDropTarget() && WindowFromPoint(screen) != handle) return result;
  uint32_t now = CurrentTick();
  if (!autoScrollStarted) {
    autoScrollStarted = true;
    autoScrollStart = now;
  }
  waiting = AutoScrollDelayLeft() > 0;
  return result;
}

uint32_t TBaseVirtualTree::AutoScrollDelayLeft() const {
  if (!autoScrollStarted) return 0;
  uint32_t waited = CurrentTick() - autoScrollStart;
  return waited >= autoScrollDelay ? 0 : autoScrollDelay - waited;
}

void TBaseVirtualTree::DoAutoScroll(int x, int y) {
  bool scrolling = states.Contains(tsScrollPending) || states.Contains(tsScrolling);
  // The delay runs from the request that found nothing pending; moves inside
  // the edge zone after it must not start it again.
  if (!scrolling) autoScrollStarted = false;
  bool waiting = false;
  scrollDirections = ScrollDirectionsAt(x, y, waiting);
  // Panning runs on its own timer, started with it.
  if (states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling)) return;
  if (!scrollDirections.Empty()) {
    // Held still in the edge zone the mouse sends nothing more: the timer
    // itself ends the wait (it keeps the directions found meanwhile).
    if (!scrolling && HandleAllocated()) {
      DoStateChange({tsScrollPending});
      SetTimer(handle, kScrollTimer, waiting ? AutoScrollDelayLeft() : autoScrollDelay, nullptr);
    }
    return;
  }
  if (scrolling) {
    StopTreeTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
  }
  autoScrollStarted = false;
}

void TBaseVirtualTree::ScrollTimerFired() {
  bool panning = states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling);
  if (!panning && states.Contains(tsScrollPending)) {
    // The edge zone's delay counts on the tree's clock, not the timer's.
    if (uint32_t left = AutoScrollDelayLeft(); left > 0) {
      SetTimer(handle, kScrollTimer, std::max<UINT>(left, USER_TIMER_MINIMUM), nullptr);
      return;
    }
    SetTimer(handle, kScrollTimer, std::max<UINT>(autoScrollInterval, USER_TIMER_MINIMUM), nullptr);
    CancelHint();
    DoStateChange({tsScrolling}, {tsScrollPending});
  }
  if (panning || states.Contains(tsScrolling)) {
    DoTimerScroll();
    return;
  }
  StopTreeTimer(kScrollTimer);
}

void TBaseVirtualTree::DoTimerScroll() {
  if (!HandleAllocated()) return;
  POINT screen;
  GetCursorPos(&screen);
  POINT p = screen;
  ::ScreenToClient(handle, &p);
  int clientWidth = ClientWidth(), clientHeight = ClientHeight();
  bool inClient = p.x >= 0 && p.y >= 0 && p.x < clientWidth && p.y < clientHeight;
  bool panning = states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling);
  bool drawSelection = states.Contains(tsDrawSelPending) || states.Contains(tsDrawSelecting);
  int deltaX = 0, deltaY = 0;
  if (drawSelection || inClient || panning) {
    int vertical = std::min<int>(scrollBarOptions->VerticalIncrement(), clientHeight);
    int horizontal = scrollBarOptions->HorizontalIncrement();
    // One axis: towards the start (content moves forward, +) or the end (-). Panning
    // steps by the distance from the anchor beyond the dead zone; otherwise by the
    // increment, times the cursor's distance beyond the edge when it is outside.
    // A direction ends at its edge (or when there is nothing to scroll).
    auto step = [&](TScrollDirection toStart, TScrollDirection toEnd, int anchor, int cursor, int client,
                    int increment, int64_t offset, uint32_t range, int& delta) {
      if (scrollDirections.Contains(toStart)) {
        delta = panning ? anchor - cursor - kPanningDeadZone
                        : (inClient ? increment : increment * std::max(1, -cursor));
        if (offset == 0) scrollDirections.Exclude(toStart);
      }
      if (scrollDirections.Contains(toEnd)) {
        delta = panning ? anchor - cursor + kPanningDeadZone
                        : (inClient ? -increment : -increment * std::max(1, cursor - client));
        if (client - offset >= int64_t(range)) scrollDirections.Exclude(toEnd);
      }
    };
    step(sdUp, sdDown, panningAnchor.Y, p.y, clientHeight, vertical, offsetY, rangeY, deltaY);
    step(sdLeft, sdRight, panningAnchor.X, p.x, clientWidth, horizontal, offsetX, rangeX, deltaX);
    if (!drawSelection) {
      if (!IsCurrentDropTarget() && (deltaX != 0 || deltaY != 0))
        DoSetOffsetXY(offsetX + deltaX, offsetY + deltaY);
    } else {
      int oldX = offsetX;
      int64_t oldY = offsetY;
      TRect clip{deltaX, deltaY, clientWidth + deltaX, clientHeight + deltaY};
      DoSetOffsetXY(offsetX + deltaX, offsetY + deltaY, DefaultScrollUpdateFlags(), &clip);
      if (Going()) return;
      DrawSelectionAfterScroll(p.x, p.y, offsetX - oldX, static_cast<int>(offsetY - oldY));
    }
  }
  if (Going()) return;  // a scroll or change handler freed the tree
  UpdateWindow(handle);
  if (scrollDirections.Empty() && !panning) {
    StopTreeTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
    autoScrollStarted = false;
  }
}

void TBaseVirtualTree::DrawSelectionAfterScroll(int x, int y, int deltaX, int deltaY) {
  TTreeRect before = newSelRect.Ordered();
  bool bandChanged = CalculateSelectionRect(x, y);
  bool selectionChanged = bandChanged && HandleDrawSelection(x, y);
  if (bandChanged && selectionChanged) {
    Invalidate();
    return;
  }
  // The strips that scrolled in, and the old and new band.
  int clientWidth = ClientWidth(), clientHeight = ClientHeight();
  if (deltaY > 0) InvalidateClientRect(TRect{0, 0, clientWidth, deltaY});
  if (deltaY < 0) InvalidateClientRect(TRect{0, clientHeight + deltaY, clientWidth, clientHeight});
  if (deltaX > 0) InvalidateClientRect(TRect{0, 0, deltaX, clientHeight});
  if (deltaX < 0) InvalidateClientRect(TRect{clientWidth + deltaX, 0, clientWidth, clientHeight});
  TTreeRect both = before.Union(newSelRect.Ordered());
  ++both.Right;
  ++both.Bottom;
  InvalidateClientRect(both.Shifted(offsetX, offsetY));
}

void TBaseVirtualTree::InvalidateClientRect(const TRect& r) {
  RECT rect{r.Left, r.Top, r.Right, r.Bottom};
  InvalidateRect(handle, &rect, FALSE);
}

void TBaseVirtualTree::Animate(uint32_t steps, uint32_t duration, const TVTAnimationCallback& callback, void* data) {
  if (states.Contains(tsInAnimation) || duration == 0 || !callback) return;
  // A callback that handles messages, or the state's handler, may free the tree.
  THold hold(this);
  DoStateChange({tsInAnimation});
  if (Going()) return;
  auto terminating = [] { return Application != nullptr && Application->Terminated(); };
  try {
    int stepSize = std::max(1, static_cast<int>(std::lround(static_cast<double>(steps) / duration)));
    int remainingSteps = static_cast<int>(steps) / stepSize;
    int remainingTime = static_cast<int>(duration);
    int step = 0;
    while (remainingSteps > 0 && remainingTime > 0 && !terminating()) {
      uint32_t start = CurrentTick();
      uint32_t stepEnd = start + static_cast<uint32_t>(remainingTime / remainingSteps);
      bool goOn = callback(step, stepSize, data);
      if (Going()) return;
      if (!goOn) break;
      WaitForTick(stepEnd);
      // The paint handled meanwhile may have freed the tree.
      if (Going()) return;
      int elapsed = static_cast<int>(static_cast<uint32_t>(CurrentTick() - start));
      if (elapsed >= remainingTime) {
        remainingTime = 0;
        remainingSteps = 0;
      } else {
        remainingTime -= elapsed;
        --remainingSteps;
      }
      while (remainingSteps > 0 && remainingTime / remainingSteps == 0) {
        ++stepSize;
        remainingSteps = remainingTime / stepSize;
      }
      step = static_cast<int>(steps) - remainingSteps;
    }
    if (!terminating()) callback(0, 0, data);
    if (Going()) return;
  } catch (...) {
    if (!Going()) DoStateChange({}, {tsInAnimation, tsCancelHintAnimation});
    throw;
  }
  DoStateChange({}, {tsInAnimation, tsCancelHintAnimation});
}

void TBaseVirtualTree::WaitForTick(uint32_t end) {
  for (;;) {
    int32_t left = TicksUntil(end, CurrentTick());
    if (left <= 0) return;
    // Sleeps until the time is up or the window has something to paint.
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_PAINT) == WAIT_OBJECT_0) {
      MSG message;
      while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&message);
    }
  }
}

void TBaseVirtualTree::AnimateToggle(PVirtualNode node, bool expanding) {
  if (!HandleAllocated() || updateCount > 0 || !IsFullyVisible(node)) return;
  int clientWidth = ClientWidth(), clientHeight = ClientHeight();
  int bottom = GetDisplayRect(node, NoColumn, false).Bottom;
  if (bottom < 0 || bottom >= clientHeight) return;
  int64_t opening = 0;
  if (expanding) {
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      if (child->States & vsVisible) opening += child->TotalHeight;
  } else {
    opening = int64_t(node->TotalHeight) - node->NodeHeight;
  }
  int moving = static_cast<int>(std::min<int64_t>(opening, clientHeight - bottom));
  if (moving <= 0) return;
  // The area below the node slides open (or closed); the strip it leaves is
  // filled with the tree's colour, or column by column with the columns' colours.
  auto stepCallback = [&](int, int stepSize, void*) {
    // Without its window (the tree went) there is nothing to slide: never the screen's.
    if (stepSize == 0 || handle == nullptr) return true;
    RECT area{0, bottom, clientWidth, clientHeight};
    ScrollWindowEx(handle, 0, expanding ? stepSize : -stepSize, &area, &area, nullptr, nullptr, 0);
    int stripTop = expanding ? bottom : clientHeight - stepSize;
    HDC dc = GetDC(handle);
    auto fill = [&](int left, int right, TColor color) {
      HBRUSH brush = CreateSolidBrush(ColorToRGB(color));
      RECT strip{left, stripTop, right, stripTop + stepSize};
      FillRect(dc, &strip, brush);
      DeleteObject(brush);
    };
    if (HeaderColumnCount() == 0) {
      fill(0, clientWidth, Color());
    } else {
      TColumnAttributes attributes;
      for (TColumnIndex c = FirstVisibleColumn(); c >= 0; c = NextVisibleColumn(c)) {
        int left = 0, right = 0;
        GetColumnBounds(c, left, right);
        HeaderColumnAttributes(c, attributes);
        fill(left, right, attributes.ParentColor ? Color() : attributes.Color);
      }
    }
    ReleaseDC(handle, dc);
    return true;
  };
  Animate(static_cast<uint32_t>(moving), animationDuration, stepCallback, nullptr);
}
