#include "shell/DropDownGeometry.h"

#include <algorithm>

TDropDownPlacement PlaceDropDown(const TRect& control, const TRect& workArea, int width, int height) {
  TDropDownPlacement result;
  width = std::max(0, std::min(width, workArea.Width()));
  height = std::max(0, height);
  int spaceBelow = std::max(0, workArea.Bottom - control.Bottom);
  int spaceAbove = std::max(0, control.Top - workArea.Top);
  int top = control.Bottom;
  if (control.Bottom + height > workArea.Bottom) {
    if (spaceAbove >= height) {
      result.Above = true;
      top = control.Top - height;
    } else if (spaceAbove > spaceBelow) {
      result.Above = true;
      height = spaceAbove;
      top = workArea.Top;
    } else {
      height = spaceBelow;
    }
  }
  // A control partly off the work area still opens inside it.
  top = std::clamp(top, workArea.Top, std::max(workArea.Top, workArea.Bottom - height));
  int left = control.Left;
  if (left + width > workArea.Right) left = workArea.Right - width;
  if (left < workArea.Left) left = workArea.Left;
  result.Bounds = TRect{left, top, left + width, top + height};
  return result;
}

TDropDownChildLayout LayoutDropDownChildren(int width, int height, int scrollWidth, int grabberHeight, bool above,
                                            bool scrollBarLeft) {
  TDropDownChildLayout l;
  int left = scrollBarLeft ? 0 : width - scrollWidth - 2;
  if (above) {
    l.Grabber = TRect{left, -1, left + scrollWidth, -1 + grabberHeight};
    int barTop = grabberHeight - 1;
    l.ScrollBar = TRect{left, barTop, left + scrollWidth, barTop + height - grabberHeight - 1};
  } else {
    int grabTop = height - grabberHeight - 2;
    l.Grabber = TRect{left, grabTop, left + scrollWidth, grabTop + grabberHeight};
    l.ScrollBar = TRect{left, 0, left + scrollWidth, height - grabberHeight - 2};
  }
  int listLeft = scrollBarLeft ? scrollWidth : 0;
  l.List = TRect{listLeft, 0, listLeft + std::max(0, width - 2 - scrollWidth), std::max(0, height - 2)};
  l.ListNoBar = TRect{0, 0, std::max(0, width - 2), std::max(0, height - 2)};
  return l;
}

TRect ResizeFromGrabber(const TRect& start, int dx, int dy, bool above, bool grabberLeft, int minWidth,
                        int minHeight) {
  TRect r = start;
  // The grip moves the edges away from the source; clamp so the size stays at least the minimum.
  if (grabberLeft)
    r.Left = std::min(start.Left + dx, start.Right - minWidth);
  else
    r.Right = std::max(start.Right + dx, start.Left + minWidth);
  if (above)
    r.Top = std::min(start.Top + dy, start.Bottom - minHeight);
  else
    r.Bottom = std::max(start.Bottom + dy, start.Top + minHeight);
  return r;
}
