// What a click, double click, release and mouse move do to focus, selection,
// check boxes, expand buttons, editing, dragging and the rubber band, and the
// mouse messages that route clicks here with the hit test of their point.
#include <algorithm>
#include <cstdlib>

#include "tree/VirtualTrees.h"
#include "tree/VTHeader.h"

namespace {
constexpr UINT_PTR kEditTimer = 2;
constexpr UINT_PTR kScrollTimer = 4;

bool AltHeld() { return GetKeyState(VK_MENU) < 0; }
}  // namespace

bool TBaseVirtualTree::HeaderBusy() const {
  return header != nullptr &&
         (header->States().Contains(hsDragging) || header->States().Contains(hsTracking));
}

void TBaseVirtualTree::HandleMouseDown(TMessage& message, const THitInfo& hitInfo) {
  if (states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling)) {
    StopWheelPanning();
    return;
  }
  if (states.Contains(tsEditPending)) {
    StopTreeTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
  // The handlers called from here may free the node hit: the click ends there.
  PVirtualNode node = hitInfo.HitNode;
  TCallOutScope scope(*this);
  auto gone = [&]() { return node != nullptr && Gone(node); };
  if (states.Contains(tsEditing) && !DoEndEdit()) return;
  if (!Focused() && CanFocus()) SetFocus();
  if (gone()) return;
  clickedColumn = hitInfo.HitColumn;

  const THitPositions& hit = hitInfo.HitPositions;
  bool fullRowSelect = options.selection.Contains(toFullRowSelect);
  bool grid = options.misc.Contains(toGridExtensions);
  TColumnIndex column = focusedColumn;
  bool newColumn = false;
  if (hit.Contains(hiOnItemLabel) || fullRowSelect || grid) {
    column = options.selection.Contains(toExtendedFocus) ? hitInfo.HitColumn : HeaderMainColumn();
    // Right of the last column there is no column to focus.
    if (column < NoColumn) column = focusedColumn;
    newColumn = column != focusedColumn;
  }
  bool newNode = node != focusedNode;
  TShiftState shift = MouseShiftState(message.WParam);
  bool alt = AltHeld();
  shift.Exclude(ssLeft).Exclude(ssRight).Exclude(ssMiddle).Exclude(ssDouble).Exclude(ssAlt);
  bool isLabelHit = !alt && (hit.Contains(hiOnItemLabel) || hit.Contains(hiOnNormalIcon));
  bool isCellHit = !alt && !isLabelHit && node != nullptr && !hit.Contains(hiOnItemButton) &&
                   !hit.Contains(hiOnItemCheckbox) && (fullRowSelect || grid);
  bool isAnyHit = isLabelHit || isCellHit;
  bool multi = options.selection.Contains(toMultiSelect);
  bool shiftEmpty = shift.Empty();
  bool nodeSelected = isAnyHit && (node->States & vsSelected);
  bool fullRowDrag = options.misc.Contains(toFullRowDrag);
  bool autoDrag = (DragMode() == dmAutomatic || Dragging()) && (!isCellHit || fullRowDrag);
  if (node != nullptr && !autoDrag && DragMode() == dmManual)
    autoDrag = DoDragAllowed(node, column) && (!isCellHit || fullRowDrag);
  if (gone()) return;

  if (hit.Contains(hiOnItemButton) && node != nullptr && (node->States & vsHasChildren)) {
    ToggleNode(node);
    return;
  }
  if (hit.Contains(hiOnItemCheckbox) && node != nullptr) {
    StartCheck(node, tsMouseCheckPending);
    return;
  }

  if ((root->FirstChild != nullptr && shiftEmpty) || selectionCount == 0) {
    PVirtualNode levelNode = node != nullptr ? node : GetLastVisibleNoInit();
    lastSelectionLevel = levelNode != nullptr ? static_cast<int>(GetNodeLevel(levelNode)) : -1;
  }
  if (multi && shiftEmpty && isAnyHit && autoDrag && nodeSelected) DoStateChange({tsClearPending});

  bool rightDown = states.Contains(tsRightButtonDown);
  bool canClear = !autoDrag && !(rightDown && HasPopupMenu(node, column, Point(message.XPos(), message.YPos())));
  if (gone()) return;  // the popup menu's handler may free the node
  bool directClear = (!(isAnyHit || fullRowDrag) && multi && shiftEmpty) ||
                     (isAnyHit && (!nodeSelected || canClear) && (shiftEmpty || !multi));
  if (directClear) {
    // Pending and direct clearance are mutually exclusive.
    DoStateChange({}, {tsClearPending});
    if (node != nullptr && ((node->States & vsSelected) || (alt && hitInfo.HitColumn == HeaderMainColumn()))) {
      uint32_t before = selectionCount;
      InternalClearSelection();
      InternalAddToSelection(node, true);
      if (before > 1) {
        Invalidate();
        Change(nullptr);
      }
    } else {
      ClearSelection();
    }
    if (gone()) return;
  }

  if (Focused() && (hit.Contains(hiOnItemLabel) || (grid && hit.Contains(hiOnItem))) && nodeSelected &&
      !newColumn && shiftEmpty)
    DoStateChange({tsEditPending});

  if (!options.selection.Contains(toDisableDrawSelection) && !isLabelHit && !fullRowDrag && multi) {
    SetCapture(handle);
    DoStateChange({tsDrawSelPending});
    drawSelShiftState = shift;
    int x = message.XPos() - offsetX;
    int64_t y = message.YPos() - offsetY;
    newSelRect = TTreeRect{x, y, x, y};
    lastSelRect = TTreeRect();
    if (!isCellHit) return;
  }

  lastClickPos = Point(message.XPos(), message.YPos());
  if (isAnyHit && DoFocusChanging(focusedNode, node, focusedColumn, column)) {
    if (gone()) return;
    if (newColumn) {
      InvalidateColumn(focusedColumn);
      InvalidateColumn(column);
      focusedColumn = column;
    }
    // A control that docks is dragged by its parent's frame: a scroll still
    // pending from before would run under that drag.
    if (DragKind() == dkDock) {
      StopTreeTimer(kScrollTimer);
      DoStateChange({}, {tsScrollPending, tsScrolling});
    }
    if (newNode || newColumn) DoFocusNode(node, false);
    if (gone()) return;
    if (multi && !shiftEmpty) {
      HandleClickSelection(node, shift, autoDrag);
    } else {
      if (shiftEmpty) rangeAnchor = node;
      if (!(node->States & vsSelected)) AddToSelection(node);
    }
    if (gone()) return;
    if (newNode || newColumn) DoFocusChanged(focusedNode, focusedColumn);
  }
  if (isAnyHit && gone()) return;
  if (autoDrag && isAnyHit && (states.Contains(tsLeftButtonDown) || states.Contains(tsRightButtonDown) ||
                               states.Contains(tsMiddleButtonDown)))
    BeginDrag(false);
}

void TBaseVirtualTree::HandleClickSelection(PVirtualNode node, TShiftState shift, bool dragPending) {
  bool ctrl = shift.Contains(ssCtrl), withShift = shift.Contains(ssShift);
  if (withShift) {
    if (rangeAnchor == nullptr) rangeAnchor = GetFirst();
    SelectNodes(rangeAnchor, node, /*addOnly=*/ctrl);
    Invalidate();
    return;
  }
  if (!ctrl) {
    if (!(node->States & vsSelected)) {
      AddToSelection(node);
      InvalidateNode(node);
    }
    rangeAnchor = node;
    return;
  }
  if (!options.selection.Contains(toSiblingSelectConstraint)) rangeAnchor = node;
  if (dragPending) {
    DoStateChange({tsToggleFocusedSelection});
  } else if (node->States & vsSelected) {
    RemoveFromSelection(node);
  } else {
    AddToSelection(node);
  }
}

bool TBaseVirtualTree::HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  return DoGetPopupMenu(node, column, position) != nullptr || PopupMenu() != nullptr;
}

void TBaseVirtualTree::HandleMouseUp(WPARAM keys, const THitInfo& hitInfo) {
  if (GetCapture() == handle) ReleaseCapture();
  if (states.Contains(tsVCLDragPending)) return;
  // The change, check and column handlers may free the whole tree: the release ends there.
  TCallOutScope scope(*this);
  if (IsMouseSelecting()) {
    DoStateChange({}, {tsDrawSelPending, tsDrawSelecting, tsToggleFocusedSelection});
    Invalidate();
  }
  if (states.Contains(tsClearPending)) {
    bool keepFocused = focusedNode != nullptr && (focusedNode->States & vsSelected);
    ClearSelection();
    if (scope.TreeGone()) return;
    if (keepFocused && focusedNode != nullptr) AddToSelection(focusedNode);
    if (scope.TreeGone()) return;
  }
  if (states.Contains(tsToggleFocusedSelection) && hitInfo.HitNode == focusedNode && focusedNode != nullptr) {
    PVirtualNode node = focusedNode;
    if (node->States & vsSelected)
      RemoveFromSelection(node);
    else
      AddToSelection(node);
    if (scope.TreeGone()) return;
    // A node the change handler freed is not painted; the release still ends.
    if (!Gone(node)) InvalidateNode(node);
  }
  DoStateChange({}, {tsOLEDragPending, tsOLEDragging, tsClearPending, tsDrawSelPending, tsToggleFocusedSelection,
                     tsScrolling, tsScrollPending});
  StopTreeTimer(kScrollTimer);

  if (states.Contains(tsMouseCheckPending)) {
    DoStateChange({}, {tsMouseCheckPending});
    PVirtualNode node = checkNode;
    checkNode = nullptr;
    if (node != nullptr) {
      node->CheckState = UnpressedCheckState(node->CheckState);
      // Released outside the node: the check does not happen.
      if (hitInfo.HitNode == node && hitInfo.HitPositions.Contains(hiOnItem)) DoCheckClick(node, pendingCheckState);
      if (scope.TreeGone()) return;
      if (!Gone(node)) InvalidateNode(node);
    }
  }

  if (clickedColumn >= 0 && clickedColumn == hitInfo.HitColumn) DoColumnClick(clickedColumn, MouseShiftState(keys));
  if (scope.TreeGone()) return;

  if (states.Contains(tsEditPending)) {
    if (hitInfo.HitNode == focusedNode && focusedNode != nullptr && hitInfo.HitPositions.Contains(hiOnItem) &&
        CanEdit(focusedNode, focusedColumn)) {
      editColumn = focusedColumn;
      SetTimer(handle, kEditTimer, EditDelay(), nullptr);
    } else {
      DoStateChange({}, {tsEditPending});
    }
  }
}

void TBaseVirtualTree::HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo) {
  if (states.Contains(tsEditPending)) {
    StopTreeTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
  // The edit's and the column's handlers may free the node hit, or the whole
  // tree: the double click ends there.
  PVirtualNode node = hitInfo.HitNode;
  TCallOutScope scope(*this);
  if (states.Contains(tsEditing) && !DoEndEdit()) return;
  if (clickedColumn >= 0 && clickedColumn == hitInfo.HitColumn)
    DoColumnDblClick(hitInfo.HitColumn, MouseShiftState(message.WParam));
  if (scope.Lost(node)) return;
  const THitPositions& hit = hitInfo.HitPositions;
  if (hit.Contains(hiOnItemCheckbox)) {
    StartCheck(node, tsMouseCheckPending);
    return;
  }
  bool hasChildren = (node->States & vsHasChildren) != 0;
  if (hit.Contains(hiOnItemButton)) {
    if (hasChildren) ToggleNode(node);
    return;
  }
  if (!options.misc.Contains(toToggleOnDblClick) || !hasChildren) return;
  if (hit.Contains(hiOnItemLabel) || hit.Contains(hiOnNormalIcon) || hit.Contains(hiOnStateIcon) ||
      options.selection.Contains(toFullRowSelect))
    ToggleNode(node);
}

bool TBaseVirtualTree::CalculateSelectionRect(int x, int y) {
  if (states.Contains(tsDrawSelecting)) lastSelRect = newSelRect;
  TTreeRect before = newSelRect;
  int maxX = SaturateToInt(std::max<int64_t>(rangeX, ClientWidth()));
  int64_t maxY = std::max<int64_t>(rangeY, ClientHeight());
  newSelRect.Right = std::clamp(x - offsetX, 0, maxX);
  newSelRect.Bottom = std::clamp<int64_t>(y - offsetY, 0, maxY);
  return newSelRect != before;
}

void TBaseVirtualTree::MouseMove(TShiftState shift, int x, int y) {
  // Moving the mouse away from the anchor turns wheel scrolling into panning
  // that ends on the button's release.
  if (states.Contains(tsWheelPanning) && states.Contains(tsWheelScrolling) &&
      (std::abs(x - lastClickPos.X) >= GetSystemMetrics(SM_CXDRAG) ||
       std::abs(y - lastClickPos.Y) >= GetSystemMetrics(SM_CYDRAG)))
    DoStateChange({}, {tsWheelScrolling});
  if (CanAutoScroll()) DoAutoScroll(x, y);
  if (states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling)) {
    AdjustPanningCursor(x, y);
    return;
  }
  if (states.Contains(tsDrawSelPending)) {
    if (CalculateSelectionRect(x, y)) {
      RECT r = newSelRect.Ordered().Shifted(offsetX, offsetY).ToRECT();
      InvalidateRect(handle, &r, FALSE);
    }
    int threshold = GetSystemMetrics(SM_CXDRAG);
    TTreeRect band = newSelRect.Ordered();
    if (band.Width() < threshold && band.Height() < threshold) return;
    if (states.Contains(tsClearPending)) ClearSelection();
    DoStateChange({tsDrawSelecting}, {tsDrawSelPending, tsClearPending});
    TColumnIndex main = HeaderMainColumn();
    if (HeaderColumnCount() > 0) focusedColumn = main;
    lastSelRect = newSelRect;
    lastSelRect.Right = lastSelRect.Left;
    lastSelRect.Bottom = lastSelRect.Top;
    HandleDrawSelection(x, y);
    Invalidate();
    return;
  }
  if (states.Contains(tsOLEDragPending) &&
      (std::abs(x - lastClickPos.X) >= dragThreshold || std::abs(y - lastClickPos.Y) >= dragThreshold)) {
    DoStateChange({}, {tsOLEDragPending});
    DoDragging(lastClickPos);
    return;
  }
  if (!states.Contains(tsDrawSelecting)) {
    // The hot node's handler may free the tree.
    HandleHotTrack(x, y);
    if (!Going()) TCustomControl::MouseMove(shift, x, y);
    return;
  }
  // While auto-scrolling the scroll timer moves the band.
  if (states.Contains(tsScrolling)) return;
  TTreeRect oldBand = newSelRect.Ordered();
  if (!CalculateSelectionRect(x, y)) return;
  bool changed = HandleDrawSelection(x, y);
  if (Going()) return;  // its change handler freed the tree
  if (changed) {
    Invalidate();
  } else {
    TTreeRect band = newSelRect.Ordered();
    TTreeRect both{std::min(oldBand.Left, band.Left), std::min(oldBand.Top, band.Top),
                   std::max(oldBand.Right, band.Right) + 1, std::max(oldBand.Bottom, band.Bottom) + 1};
    RECT r = both.Shifted(offsetX, offsetY).ToRECT();
    InvalidateRect(handle, &r, FALSE);
  }
  UpdateWindow(handle);
}

void TBaseVirtualTree::HandleHotTrack(int x, int y) {
  THitInfo hitInfo;
  GetHitTestInfoAt(x, y, true, hitInfo);
  PVirtualNode newHot = nullptr;
  if (hitInfo.HitPositions.Contains(hiOnItemCheckbox) || hitInfo.HitPositions.Contains(hiOnItemLabel) ||
      options.selection.Contains(toFullRowSelect))
    newHot = hitInfo.HitNode;
  if (newHot == hotNode) return;
  PVirtualNode old = hotNode;
  hotNode = newHot;
  // The handler may free either node, or the whole tree.
  TCallOutScope scope(*this);
  DoHotChange(old, newHot);
  if (scope.TreeGone()) return;
  if (options.paint.Contains(toHotTrack) || options.misc.Contains(toCheckSupport)) {
    if (old != nullptr && !Gone(old)) InvalidateNode(old);
    if (newHot != nullptr && !Gone(newHot)) InvalidateNode(newHot);
  }
}

// ---------------------------------------------------------------------------
// Mouse messages

void TBaseVirtualTree::RouteMouse(TMessage& m, void (TBaseVirtualTree::*handler)(TMessage&, const THitInfo&)) {
  THitInfo hitInfo;
  GetHitTestInfoAt(m.XPos(), m.YPos(), true, hitInfo);
  // The hit test's cell and image handlers may have freed the tree.
  if (Going()) return;
  (this->*handler)(m, hitInfo);
}

void TBaseVirtualTree::HandleMouseUpMessage(TMessage& m, const THitInfo& hitInfo) { HandleMouseUp(m.WParam, hitInfo); }

void TBaseVirtualTree::WMLButtonDown(TMessage& m) {
  DoStateChange({tsLeftButtonDown});
  if (Going()) return;
  TControl::WMLButtonDown(m);
  if (!Going()) RouteMouse(m, &TBaseVirtualTree::HandleMouseDown);
}

void TBaseVirtualTree::WMLButtonUp(TMessage& m) {
  DoStateChange({}, {tsLeftButtonDown});
  RouteMouse(m, &TBaseVirtualTree::HandleMouseUpMessage);
  if (!Going()) TControl::WMLButtonUp(m);
}

void TBaseVirtualTree::WMLButtonDblClk(TMessage& m) {
  TControl::WMLButtonDblClk(m);
  if (!Going()) RouteMouse(m, &TBaseVirtualTree::HandleMouseDblClick);
}

void TBaseVirtualTree::WMRButtonDown(TMessage& m) {
  DoStateChange({tsRightButtonDown});
  if (Going() || HeaderBusy()) return;
  TControl::WMRButtonDown(m);
  if (!Going() && options.selection.Contains(toRightClickSelect)) RouteMouse(m, &TBaseVirtualTree::HandleMouseDown);
}

void TBaseVirtualTree::WMRButtonUp(TMessage& m) {
  DoStateChange({}, {tsRightButtonDown, tsPopupMenuShown});
  if (HeaderBusy()) return;
  CancelHint();
  if (IsMouseSelecting() && PopupMenu() != nullptr) {
    DoStateChange({}, {tsDrawSelPending, tsDrawSelecting});
    Invalidate();
  }
  TControl::WMRButtonUp(m);
  if (Going()) return;
  THitInfo hitInfo;
  GetHitTestInfoAt(m.XPos(), m.YPos(), true, hitInfo);
  if (Going()) return;
  if (options.selection.Contains(toRightClickSelect)) HandleMouseUp(m.WParam, hitInfo);
  if (Going()) return;
  if (PopupMenu() == nullptr && !releasingDrag)
    DoPopupMenu(hitInfo.HitNode, hitInfo.HitColumn, Point(m.XPos(), m.YPos()));
}

void TBaseVirtualTree::WMRButtonDblClk(TMessage& m) {
  DefaultHandler(m);
  if (options.selection.Contains(toRightClickSelect)) RouteMouse(m, &TBaseVirtualTree::HandleMouseDblClick);
}

void TBaseVirtualTree::WMMButtonDown(TMessage& m) {
  DoStateChange({tsMiddleButtonDown});
  if (Going() || HeaderBusy()) return;
  TControl::WMMButtonDown(m);
  if (Going()) return;
  bool panning = states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling);
  bool larger = int64_t(rangeX) > ClientWidth() || int64_t(rangeY) > ClientHeight();
  if (options.misc.Contains(toWheelPanning) && !panning && larger) {
    lastClickPos = TPoint{static_cast<int16_t>(LOWORD(m.LParam)), static_cast<int16_t>(HIWORD(m.LParam))};
    StartWheelPanning(lastClickPos);
    return;
  }
  StopWheelPanning();
  if (options.selection.Contains(toMiddleClickSelect)) RouteMouse(m, &TBaseVirtualTree::HandleMouseDown);
}

void TBaseVirtualTree::WMMButtonUp(TMessage& m) {
  DoStateChange({}, {tsMiddleButtonDown});
  if (Going()) return;  // its state handler freed the tree: no mouse-up for it
  if (states.Contains(tsWheelScrolling)) {
    DoStateChange({}, {tsWheelPanning});
    return;
  }
  if (states.Contains(tsWheelPanning)) {
    StopWheelPanning();
    return;
  }
  if (HeaderBusy()) return;
  TControl::WMMButtonUp(m);
  if (!Going() && options.selection.Contains(toMiddleClickSelect))
    RouteMouse(m, &TBaseVirtualTree::HandleMouseUpMessage);
}

void TBaseVirtualTree::WMMButtonDblClk(TMessage& m) {
  DefaultHandler(m);
  if (options.selection.Contains(toMiddleClickSelect)) RouteMouse(m, &TBaseVirtualTree::HandleMouseDblClick);
}
