// The tree's side of its header: making the header and its columns, the
// header rectangle in the non-client area (size, hit test, painting), the
// header's first look at every message, and the column queries the tree
// core asks (count, width, main and sort column).
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <cstdlib>

TVTHeader* TBaseVirtualTree::CreateHeader() { return New<TVTHeader>(this); }

TVirtualTreeColumn* TBaseVirtualTree::CreateColumn(TVirtualTreeColumns* collection) {
  return New<TVirtualTreeColumn>(collection);
}

void TBaseVirtualTree::SetHeader(TVTHeader* value) { header->Assign(value); }

int TBaseVirtualTree::HeaderColumnCount() const { return header != nullptr ? header->Columns()->Count() : 0; }

int TBaseVirtualTree::HeaderColumnsWidth() const { return header != nullptr ? header->Columns()->TotalWidth() : 0; }

TColumnIndex TBaseVirtualTree::HeaderSortColumn() const { return header != nullptr ? header->SortColumn() : NoColumn; }

TSortDirection TBaseVirtualTree::HeaderSortDirection() const {
  return header != nullptr ? header->SortDirection() : sdAscending;
}

TColumnIndex TBaseVirtualTree::HeaderMainColumn() const { return header != nullptr ? header->MainColumn() : NoColumn; }

TColumnIndex TBaseVirtualTree::HeaderColumnAtPosition(int position) const {
  return header != nullptr ? header->Columns()->ColumnFromPositionIndex(position) : NoColumn;
}

bool TBaseVirtualTree::HeaderColumnAttributes(TColumnIndex column, TColumnAttributes& attributes) const {
  TVirtualTreeColumn* c = header != nullptr ? header->Columns()->Items(column) : nullptr;
  if (c == nullptr) return false;
  attributes.Left = c->StoredLeft();
  attributes.Width = c->Width();
  attributes.Position = c->Position();
  attributes.Visible = c->IsVisible();
  attributes.Fixed = c->Options().Contains(coFixed);
  attributes.ParentColor = c->Options().Contains(coParentColor);
  attributes.Color = c->Color();
  attributes.Alignment = c->Alignment();
  attributes.BiDiMode = c->BiDiMode();
  return true;
}

bool TBaseVirtualTree::HeaderAutoResize() const {
  return header != nullptr && header->Options().Contains(hoAutoResize);
}

bool TBaseVirtualTree::HeaderVisible() const { return header != nullptr && header->Options().Contains(hoVisible); }

int TBaseVirtualTree::HeaderHeight() const { return header != nullptr ? static_cast<int>(header->Height()) : 0; }

void TBaseVirtualTree::MainColumnChanged() { DoCancelEdit(); }

TSize TBaseVirtualTree::GetBorderDimensions() const {
  // Negative, for InflateRect: how far the window's own border reaches in.
  TSize result{0, 0};
  if (!HandleAllocated()) return result;
  LONG style = GetWindowLongW(handle, GWL_STYLE);
  LONG exStyle = GetWindowLongW(handle, GWL_EXSTYLE);
  if (style & WS_BORDER) {
    result.cx -= 1;
    result.cy -= 1;
  }
  if (style & WS_THICKFRAME) {
    result.cx -= GetSystemMetrics(SM_CXDLGFRAME);
    result.cy -= GetSystemMetrics(SM_CYDLGFRAME);
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    result.cx -= GetSystemMetrics(SM_CXEDGE);
    result.cy -= GetSystemMetrics(SM_CYEDGE);
  }
  return result;
}

void TBaseVirtualTree::UpdateHeaderRect() {
  TSize border = GetBorderDimensions();
  int oldWidth = headerRect.Right - headerRect.Left;
  headerRect = TRect{-border.cx, -border.cy, Width() + border.cx, Height() + border.cy};
  // Bevels and the border ring lie around the header as around the client area.
  TRect insets = FrameInsets();
  headerRect.Left += insets.Left;
  headerRect.Top += insets.Top;
  headerRect.Right -= insets.Right;
  headerRect.Bottom -= insets.Bottom;
  if (header == nullptr || !header->Options().Contains(hoVisible)) {
    headerRect = TRect();
    return;
  }
  if (headerRect.Bottom > headerRect.Top) headerRect.Bottom = headerRect.Top + static_cast<int>(header->Height());
  int newWidth = headerRect.Right - headerRect.Left;
  if (header->Options().Contains(hoAutoSpring) && newWidth != oldWidth)
    header->Columns()->AdjustSpringColumns(newWidth);
}

void TBaseVirtualTree::PaintBorder(HDC windowDC) {
  if (BevelKind() == bkNone && BorderWidth() == 0) return;
  TSize border = GetBorderDimensions();
  TRect r{-border.cx, -border.cy, Width() + border.cx, Height() + border.cy};
  PaintFrame(windowDC, r, colors->BorderColor());
}

void TBaseVirtualTree::WndProc(TMessage& message) {
  // The default handling of a class-library drag's release asks for the context menu.
  if (message.Msg == WM_CONTEXTMENU && releasingDrag) {
    message.Result = 1;
    return;
  }
  if (message.Msg == WM_MOUSEMOVE && TCustomControl::Dragging() &&
      (std::abs(message.XPos() - lastClickPos.X) >= dragThreshold ||
       std::abs(message.YPos() - lastClickPos.Y) >= dragThreshold))
    vclDragMoved = true;
  // A header tracking or dragging a column sees every message first.
  THeaderStates busy{hsTracking, hsTrackPending, hsDragging, hsDragPending};
  if (header != nullptr && !(header->States() * busy).Empty() && header->HandleMessage(message)) return;
  // The automatic drag is the tree's own: its mouse handling decides whether a press
  // starts one, so the class library's automatic start is bypassed.
  if ((message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK) && DragMode() == dmAutomatic &&
      DragKind() == dkDrag && !ComponentState().Contains(csDesigning) &&
      ControlAtPos(Point(message.XPos(), message.YPos())) == nullptr) {
    SetControlState(ControlState().Include(csLButtonDown));
    Dispatch(message);
    return;
  }
  // The header's handler; a consumed message goes no further.
  if (header != nullptr && header->HandleMessage(message)) return;
  switch (message.Msg) {
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      if (HandleAllocated() && GetFocus() != handle && CanFocus()) SetFocus();
      break;
    default:
      break;
  }
  TCustomControl::WndProc(message);
}

void TBaseVirtualTree::WMNCCalcSize(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (header == nullptr || !header->Options().Contains(hoVisible)) return;
  auto* r = reinterpret_cast<RECT*>(m.LParam);
  r->top += static_cast<LONG>(header->Height());
  if (r->top > r->bottom) r->top = r->bottom;
}

void TBaseVirtualTree::WMNCHitTest(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (IsTreeDesigning() || header == nullptr || !header->Options().Contains(hoVisible)) return;
  POINT p{static_cast<int16_t>(LOWORD(m.LParam)), static_cast<int16_t>(HIWORD(m.LParam))};
  ::ScreenToClient(handle, &p);
  if (header->InHeader(TPoint{p.x, p.y})) m.Result = HTBORDER;
}

void TBaseVirtualTree::PaintHeaderInFrame() {
  if (header == nullptr || !header->Options().Contains(hoVisible) || !HandleAllocated()) return;
  UpdateHeaderRect();
  HDC dc = GetDCEx(handle, nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS);
  if (dc == nullptr) return;
  header->Columns()->PaintHeader(dc, headerRect, offsetX);
  ReleaseDC(handle, dc);
}
