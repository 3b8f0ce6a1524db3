#pragma once
// Window-free arithmetic of the drop-down windows: where a drop-down opens
// beside the control that opens it, where its scroll bar, size grip and
// hosted list go, and how dragging the grip resizes it.
#include "win/graphics/Types.h"

// Where a drop-down opens: its screen bounds and whether it lies above the control.
struct TDropDownPlacement {
  TRect Bounds;
  bool Above = false;
};

// Places a drop-down of width x height (screen coordinates) at the bottom-left
// corner of control. It opens below when it fits above workArea's bottom;
// else above when the space above the control holds it; else on the side
// with more room, shortened to that room. It never leaves workArea: it is
// shifted left or right to fit and made no wider than the work area.
TDropDownPlacement PlaceDropDown(const TRect& control, const TRect& workArea, int width, int height);

// The children of a drop-down of client size width x height.
struct TDropDownChildLayout {
  TRect Grabber;    // the size grip (empty without sizing)
  TRect ScrollBar;  // the owner-drawn vertical bar
  TRect List;       // the hosted list with the bar shown
  TRect ListNoBar;  // the hosted list with the bar hidden (the grip lies over it)
};

// scrollWidth: SM_CXVSCROLL; grabberHeight: SM_CYVSCROLL when sizeable, else 0.
TDropDownChildLayout LayoutDropDownChildren(int width, int height, int scrollWidth, int grabberHeight, bool above,
                                            bool scrollBarLeft);

// The drop-down's new screen bounds after the grip moved by (dx, dy) from
// where it was pressed: the edge at the source control stays, the opposite
// corner follows the mouse, and the size never falls below minWidth x minHeight.
TRect ResizeFromGrabber(const TRect& start, int dx, int dy, bool above, bool grabberLeft, int minWidth,
                        int minHeight);
