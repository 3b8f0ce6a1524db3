// The header's message handling: cursor, hot tracking, clicks and double
// clicks, resizing a column at its splitter, dragging a column to a new
// position, the header's pop-up menu.
#include "tree/VirtualTrees.h"

#include "tree/DragImage.h"

#include <algorithm>
#include <cstdlib>

namespace {
// The header's hot-tracking timer (the tree's own timers use other numbers).
constexpr UINT_PTR kHeaderTimer = 3;
constexpr UINT_PTR kScrollTimer = 4;
constexpr UINT_PTR kEditTimer = 2;
// How far the mouse moves before a pressed column starts to drag.
constexpr int kDragThreshold = 5;

TPoint ScreenPointOf(const TMessage& m) {
  return TPoint{static_cast<int16_t>(LOWORD(m.LParam)), static_cast<int16_t>(HIWORD(m.LParam))};
}
TPoint ClientPointOf(const TMessage& m) { return ScreenPointOf(m); }  // same packing, client coordinates
}  // namespace

bool TVTHeader::DetermineSplitterIndex(TPoint p) {
  columns->trackIndex = NoColumn;
  if (columns->Count() == 0 || owner == nullptr) return false;
  int right = owner->OffsetX() + columns->TotalWidth();
  const TIndexArray& positions = columns->PositionToIndex();
  for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
    TVirtualTreeColumn* column = columns->Items(*it);
    if (!column->IsVisible()) continue;
    if (p.X > right - 3 && p.X < right + 5) {
      if (!column->Options().Contains(coResizable)) return false;
      columns->trackIndex = *it;
      splitterOffset = right - column->Width();
      return true;
    }
    right -= column->Width();
  }
  return false;
}

void TVTHeader::StartColumnDrag(TColumnIndex pressed) {
  columns->dropTarget = NoColumn;
  // The column pressed, not the one under the start point now: a handler
  // may have deleted a column before it meanwhile.
  dragColumn = pressed;
  states.Exclude(hsDragPending).Include(hsDragging);
  PrepareColumnDragImage();
  if (!owner->Going()) Invalidate(nullptr);
}

void TVTHeader::PrepareColumnDragImage() {
  TVirtualTreeColumn* column = columns->Items(dragColumn);
  if (column == nullptr) return;
  // The cell in window coordinates, where the header paints it.
  TRect cell = column->GetRect();
  if (!column->Options().Contains(coFixed)) {
    cell.Left += owner->OffsetX();
    cell.Right += owner->OffsetX();
  }
  int w = cell.Right - cell.Left, h = cell.Bottom - cell.Top;
  if (w <= 0 || h <= 0) return;
  uint8_t* bits = nullptr;
  HBITMAP picture = CreateDib32(w, h, &bits);
  if (picture == nullptr) return;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, picture);
  RECT all{0, 0, w, h};
  HBRUSH face = CreateSolidBrush(ColorToRGB(clBtnFace));
  FillRect(dc, &all, face);
  DeleteObject(face);
  // The whole header painted with the cell at the origin: only that cell lands in the picture.
  SetViewportOrgEx(dc, -cell.Left, -cell.Top, nullptr);
  // The drawing handlers may free the tree or delete the column: then no picture is shown.
  columns->PaintHeader(dc, owner->HeaderRect(), owner->OffsetX());
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SelectObject(dc, old);
  DeleteDC(dc);
  // A drawing handler that freed the tree or the column leaves nothing to drag.
  if (owner->Going() || column->Going()) {
    DeleteObject(picture);
    return;
  }
  dragImage->SetMoveRestriction(options.Contains(hoRestrictDrag) ? dmrHorizontalOnly : dmrNone);
  RECT window{};
  GetWindowRect(owner->Handle(), &window);
  dragImage->PrepareDrag(picture, TPoint{window.left + cell.Left, window.top + cell.Top}, dragStart, nullptr);
  DeleteObject(picture);
  dragImage->ShowDragImage();
}

void TVTHeader::DragTo(TPoint screenPoint) {
  TPoint client = owner->ScreenToClient(screenPoint);
  TPoint p = ClientToHeader(client);
  TColumnIndex candidate = columns->ColumnFromPosition(TPoint{p.X, std::max(p.Y, 0)});
  bool repaint = candidate != InvalidColumn && candidate != columns->dropTarget;
  if (columns->IsValidColumn(candidate)) {
    int left = 0, right = 0;
    columns->GetColumnBounds(candidate, left, right);
    bool before = (left + right) / 2 > client.X;
    if (before != columns->dropBefore) repaint = true;
    columns->dropBefore = before;
  }
  dragImage->DragTo(screenPoint, false);
  if (!repaint) return;
  columns->RepaintCell(columns->dropTarget);
  columns->dropTarget = NoColumn;
  columns->RepaintCell(candidate);
  columns->dropTarget = candidate;
}

void TVTHeader::EndColumnDrag(bool drop, TPoint screenPoint) {
  TColumnIndex target = columns->dropTarget;
  TVirtualTreeColumn* dragged = columns->Items(dragColumn);
  columns->dropTarget = NoColumn;
  states.Exclude(hsDragging).Exclude(hsDragPending);
  dragImage->EndDrag();
  if (drop && dragged != nullptr) {
    RECT window{};
    GetWindowRect(owner->Handle(), &window);
    POINT pt{screenPoint.X, screenPoint.Y};
    TVirtualTreeColumn* onto = columns->Items(target);
    // Outside the window the column was dragged out; inside, a drop on itself
    // (or on no column) moves nothing.
    if (!PtInRect(&window, pt)) {
      owner->DoHeaderDraggedOut(dragColumn, screenPoint);
    } else if (onto != nullptr && target != dragColumn) {
      TColumnPosition from = dragged->Position();
      TColumnPosition to = onto->Position();
      TColumnPosition position = columns->dropBefore ? (from >= to ? to : std::max(to - 1, 0))
                                                     : (from >= to ? to + 1 : to);
      columns->AdjustPosition(dragged, position);
      owner->DoHeaderDragged(dragColumn, from);
    }
  }
  dragColumn = NoColumn;
  if (!owner->Going()) Invalidate(nullptr);
}

bool TVTHeader::HandleMessage(TMessage& m) {
  if (owner == nullptr || !owner->HandleAllocated()) return false;
  // The mouse handlers may free the tree, and this header with it: both live
  // until the message is done, and the code after a handler asks Going().
  TObject::THold hold(owner);
  HWND wnd = owner->Handle();
  switch (m.Msg) {
    case WM_SIZE:
      if (options.Contains(hoAutoResize) && !states.Contains(hsAutoSizing) &&
          !owner->TreeStates().Contains(tsWindowCreating)) {
        columns->AdjustAutoSize(InvalidColumn);
        Invalidate(nullptr);
      }
      return false;

    case WM_SETCURSOR: {
      if (!states.Empty()) {
        m.Result = 1;
        return true;
      }
      POINT pt;
      GetCursorPos(&pt);
      TPoint client = owner->ScreenToClient(TPoint{pt.x, pt.y});
      if (!InHeader(client)) return false;
      TCursor id = owner->Cursor();
      if (options.Contains(hoColumnResize) && DetermineSplitterIndex(ClientToHeader(client))) id = crHeaderSplit;
      HICON cursor = id == crDefault ? nullptr : Screen->Cursors(id);
      owner->DoGetHeaderCursor(cursor);
      if (cursor == nullptr) return false;
      SetCursor(cursor);
      m.Result = 1;
      return true;
    }

    case WM_NCMOUSEMOVE: {
      TPoint client = owner->ScreenToClient(ScreenPointOf(m));
      // The mouse handlers may free the tree, and this header with it: the
      // message is then taken, and nothing more is done.
      owner->DoHeaderMouseMove(GetShiftState(), client.X, client.Y + static_cast<int>(height));
      if (owner->Going()) return true;
      if (InHeader(client)) {
        bool changed = columns->AdjustHoverColumn(client);
        if (changed || (columns->downIndex >= 0 && columns->downIndex != columns->hoverIndex)) {
          KillTimer(wnd, kHeaderTimer);
          SetTimer(wnd, kHeaderTimer, 50, nullptr);
        }
      }
      // Column hints: the application's hint handling sees the move like one in the client area.
      if (options.Contains(hoShowHint) && Application != nullptr) Application->HintMouseMessage(owner, client);
      return false;
    }

    case WM_TIMER: {
      if (m.WParam != kHeaderTimer) return false;
      POINT pt;
      GetCursorPos(&pt);
      TPoint client = owner->ScreenToClient(TPoint{pt.x, pt.y});
      if (InHeader(client) && (columns->downIndex == NoColumn || columns->downIndex == columns->hoverIndex))
        return true;
      KillTimer(wnd, kHeaderTimer);
      columns->hoverIndex = columns->clickIndex = columns->downIndex = NoColumn;
      Invalidate(nullptr);
      m.Result = 0;
      return true;
    }

    case WM_NCLBUTTONDOWN: {
      owner->CancelHint();
      KillTimer(wnd, kScrollTimer);
      owner->DoStateChange({}, {tsScrollPending, tsScrolling});
      KillTimer(wnd, kEditTimer);
      owner->DoStateChange({}, {tsEditPending});
      dragStart = ScreenPointOf(m);
      TPoint client = owner->ScreenToClient(dragStart);
      if (!InHeader(client)) return false;
      TPoint h = ClientToHeader(client);
      owner->DoHeaderMouseDown(mbLeft, GetShiftState(), h.X, h.Y);
      if (owner->Going()) return true;
      if (options.Contains(hoColumnResize) && DetermineSplitterIndex(h)) {
        columns->hoverIndex = NoColumn;
        trackStartX = client.X;
        states.Include(hsTrackPending);
        SetCapture(wnd);
        return true;
      }
      columns->AdjustDownColumn(client);
      TVirtualTreeColumn* down = columns->Items(columns->downIndex);
      if (down != nullptr && down->Options().Contains(coDraggable)) {
        states.Include(hsDragPending);
        SetCapture(wnd);
        return true;
      }
      return false;
    }

    case WM_MOUSEMOVE: {
      if (states.Contains(hsTrackPending)) {
        KillTimer(wnd, kHeaderTimer);
        states.Exclude(hsTrackPending).Include(hsTracking);
        return true;
      }
      if (states.Contains(hsTracking)) {
        // The column's left edge now: a resize handler may have deleted or
        // resized a column before it since the last move.
        TVirtualTreeColumn* column = columns->Items(columns->trackIndex);
        if (column == nullptr) return true;
        splitterOffset = owner->OffsetX() + column->Left();
        column->SetWidth(ClientPointOf(m).X - splitterOffset);
        return true;
      }
      if (states.Contains(hsDragging)) {
        DragTo(owner->ClientToScreen(ClientPointOf(m)));
        return true;
      }
      if (states.Contains(hsDragPending)) {
        TPoint screen = owner->ClientToScreen(ClientPointOf(m));
        bool beyond = std::abs(screen.X - dragStart.X) > kDragThreshold || std::abs(screen.Y - dragStart.Y) > kDragThreshold;
        if (options.Contains(hoDrag) && beyond && owner->DoHeaderDragging(columns->downIndex)) {
          // The handler may have deleted the pressed column (nothing to drag) or freed the tree.
          if (owner->Going()) return true;
          KillTimer(wnd, kHeaderTimer);
          TColumnIndex pressed = columns->downIndex;
          columns->downIndex = columns->hoverIndex = NoColumn;
          columns->RepaintCell(pressed);
          if (pressed != NoColumn) StartColumnDrag(pressed);
          return true;
        }
        return true;
      }
      return false;
    }

    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP:
      return HandleButtonUp(m);

    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: {
      TPoint client = owner->ScreenToClient(ScreenPointOf(m));
      if (!InHeader(client)) return false;
      owner->DoHeaderMouseDown(m.Msg == WM_NCRBUTTONDOWN ? mbRight : mbMiddle, GetShiftState(), client.X,
                               client.Y + static_cast<int>(height));
      return owner->Going();
    }

    case WM_NCRBUTTONUP: {
      if (owner->IsTreeDesigning()) return false;
      owner->CancelHint();
      TPoint screen = ScreenPointOf(m);
      TPoint client = owner->ScreenToClient(screen);
      if (InHeader(client)) {
        columns->HandleClick(client, mbRight, /*force=*/true, /*dblClick=*/false);
        if (owner->Going()) return true;
        owner->DoHeaderMouseUp(mbRight, GetShiftState(), client.X, client.Y + static_cast<int>(height));
        if (owner->Going()) return true;
      }
      columns->downIndex = columns->trackIndex = NoColumn;
      auto* menu = dynamic_cast<IPopupMenu*>(popupMenu);
      if (menu == nullptr) return false;
      KillTimer(wnd, kScrollTimer);
      KillTimer(wnd, kHeaderTimer);
      columns->hoverIndex = NoColumn;
      owner->DoStateChange({}, {tsScrollPending, tsScrolling});
      if (owner->Going()) return true;  // its state handler freed the tree: no menu for it
      menu->PopupFor(owner, screen.X, screen.Y);
      return true;
    }

    case WM_NCMBUTTONUP: {
      TPoint client = owner->ScreenToClient(ScreenPointOf(m));
      if (!InHeader(client)) return false;
      columns->HandleClick(client, mbMiddle, /*force=*/true, /*dblClick=*/false);
      if (owner->Going()) return true;
      owner->DoHeaderMouseUp(mbMiddle, GetShiftState(), client.X, client.Y + static_cast<int>(height));
      if (owner->Going()) return true;
      columns->downIndex = NoColumn;
      return false;
    }

    case WM_NCLBUTTONDBLCLK:
      return HandleDoubleClick(m, mbLeft);
    case WM_NCRBUTTONDBLCLK:
      return HandleDoubleClick(m, mbRight);
    case WM_NCMBUTTONDBLCLK:
      return HandleDoubleClick(m, mbMiddle);

    case WM_KEYDOWN:
    case WM_KILLFOCUS: {
      if (m.Msg == WM_KEYDOWN && m.WParam != VK_ESCAPE) return false;
      bool busy = states.Contains(hsDragging) || states.Contains(hsTracking);
      if (states.Contains(hsDragging)) {
        ReleaseCapture();
        EndColumnDrag(/*drop=*/false, TPoint{});
      }
      if (states.Contains(hsTracking)) {
        ReleaseCapture();
        states.Exclude(hsTracking);
      }
      if (!busy) return false;
      m.Result = 0;
      return true;
    }

    case CM_PARENTFONTCHANGED:
      if (parentFont) font->Assign(owner->Font());
      return false;

    case CM_BIDIMODECHANGED:
      for (int i = 0; i < columns->Count(); ++i) {
        TVirtualTreeColumn* column = columns->Items(i);
        if (column->Options().Contains(coParentBidiMode)) {
          column->bidiMode = owner->BiDiMode();
          column->Changed(false);
        }
      }
      return false;

    default:
      return false;
  }
}

bool TVTHeader::HandleButtonUp(TMessage& m) {
  owner->CancelHint();
  bool hadState = !states.Empty();
  bool wasDragging = states.Contains(hsDragging);
  if (hadState) ReleaseCapture();
  TPoint client = m.Msg == WM_NCLBUTTONUP ? owner->ScreenToClient(ScreenPointOf(m)) : ClientPointOf(m);
  // The click and release handlers may free the tree, and this header with it:
  // the release is then taken, and nothing more is done.
  if (wasDragging) {
    EndColumnDrag(/*drop=*/true, owner->ClientToScreen(client));
  } else if (m.Msg == WM_NCLBUTTONUP) {
    if (InHeader(client)) {
      columns->HandleClick(client, mbLeft, /*force=*/false, /*dblClick=*/false);
      if (owner->Going()) return true;
      owner->DoHeaderMouseUp(mbLeft, GetShiftState(), client.X, client.Y + static_cast<int>(height));
    }
  } else {
    if (columns->downIndex > NoColumn) columns->HandleClick(client, mbLeft, /*force=*/false, /*dblClick=*/false);
    if (owner->Going()) return true;
    if (hadState)
      owner->DoHeaderMouseUp(mbLeft, MouseShiftState(m.WParam), client.X, client.Y + static_cast<int>(height));
  }
  if (owner->Going()) return true;
  if (columns->trackIndex > NoColumn) {
    columns->RepaintCell(columns->trackIndex);
    columns->trackIndex = NoColumn;
  }
  if (columns->downIndex > NoColumn) {
    columns->RepaintCell(columns->downIndex);
    columns->downIndex = NoColumn;
  }
  states.Exclude(hsDragPending).Exclude(hsDragging).Exclude(hsTracking).Exclude(hsTrackPending);
  return hadState || m.Msg == WM_NCLBUTTONUP;
}

bool TVTHeader::HandleDoubleClick(TMessage& m, TMouseButton button) {
  TPoint client = owner->ScreenToClient(ScreenPointOf(m));
  if (!InHeader(client)) return false;
  TPoint h = ClientToHeader(client);
  if (options.Contains(hoDblClickResize) && DetermineSplitterIndex(h)) {
    TColumnIndex track = columns->trackIndex;
    // The text handlers asked for the widest node may free the tree, and this
    // header with it, or change the columns (the index then means another).
    uint32_t columnSet = columns->Changes();
    int widest = owner->GetMaxColumnWidth(track);
    if (owner->Going() || columns->Changes() != columnSet) return true;
    TVirtualTreeColumn* column = columns->Items(track);
    if (column != nullptr) columns->AnimatedResize(track, std::max(column->MinWidth(), widest));
    return true;
  }
  if (columns->HandleClick(client, button, /*force=*/true, /*dblClick=*/true)) {
    if (owner->Going()) return true;
    TShiftState shift = GetShiftState();
    shift.Include(ssDouble);
    owner->DoHeaderDblClick(columns->clickIndex, button, shift, h.X, h.Y);
  }
  return true;
}
