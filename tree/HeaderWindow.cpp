// The tree's side of its header: making the header and its columns, the
// header rectangle in the non-client area (size, hit test, painting), the
// header's first look at every message, and the column queries the tree
// core asks (count, width, main and sort column).
#include "tree/VirtualTrees.h"

#include <algorithm>

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
  TSize result{0, 0};
  if (!HandleAllocated()) return result;
  LONG style = GetWindowLongW(handle, GWL_STYLE);
  LONG exStyle = GetWindowLongW(handle, GWL_EXSTYLE);
  if (exStyle & WS_EX_CLIENTEDGE) {
    result.cx += GetSystemMetrics(SM_CXEDGE);
    result.cy += GetSystemMetrics(SM_CYEDGE);
  }
  if (exStyle & WS_EX_STATICEDGE) {
    result.cx += GetSystemMetrics(SM_CXBORDER);
    result.cy += GetSystemMetrics(SM_CYBORDER);
  }
  if (style & WS_BORDER) {
    result.cx += GetSystemMetrics(SM_CXBORDER);
    result.cy += GetSystemMetrics(SM_CYBORDER);
  }
  return result;
}

void TBaseVirtualTree::UpdateHeaderRect() {
  TSize border = GetBorderDimensions();
  int oldWidth = headerRect.Right - headerRect.Left;
  headerRect = TRect{border.cx, border.cy, Width() - border.cx, Height() - border.cy};
  if (header == nullptr || !header->Options().Contains(hoVisible)) {
    headerRect = TRect();
    return;
  }
  if (headerRect.Bottom > headerRect.Top) headerRect.Bottom = headerRect.Top + static_cast<int>(header->Height());
  int newWidth = headerRect.Right - headerRect.Left;
  if (header->Options().Contains(hoAutoSpring) && newWidth != oldWidth)
    header->Columns()->AdjustSpringColumns(newWidth);
}

void TBaseVirtualTree::WndProc(TMessage& message) {
  // The header sees every message first; a consumed one goes no further.
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
