// The tree as an OLE drop target (its drag manager forwards here): the node
// under the mouse becomes the drop target with a drop mode, the tree scrolls
// near its edges, a hovered node with children expands on timer 1, the keys
// choose the effect, and the drop goes to OnDragDrop with the offered formats.
// While the drag comes from a tree of this process whose picture the system
// does not draw, the tree shows and moves that picture.
#include <algorithm>

#include "tree/DragImage.h"
#include "tree/VirtualTrees.h"

namespace {
constexpr UINT_PTR kExpandTimer = 1;
constexpr UINT_PTR kScrollTimer = 4;
// A foreign data object could enumerate without end.
constexpr size_t kMaxFormats = 4096;

TFormatArray OfferedFormats(IDataObject* dataObject) {
  TFormatArray formats;
  IEnumFORMATETC* enumerator = nullptr;
  if (FAILED(dataObject->EnumFormatEtc(DATADIR_GET, &enumerator)) || enumerator == nullptr) return formats;
  enumerator->Reset();
  FORMATETC format{};
  while (formats.size() < kMaxFormats && enumerator->Next(1, &format, nullptr) == S_OK) {
    formats.push_back(format.cfFormat);
    if (format.ptd != nullptr) CoTaskMemFree(format.ptd);
  }
  enumerator->Release();
  return formats;
}
}  // namespace

TShiftState TBaseVirtualTree::DragShiftState(DWORD keyState) const {
  TShiftState shift;
  if (keyState & MK_SHIFT) shift.Include(ssShift);
  if (keyState & MK_CONTROL) shift.Include(ssCtrl);
  if (keyState & MK_ALT) shift.Include(ssAlt);
  DWORD buttons = keyState | dragButtons;
  if (buttons & MK_LBUTTON) shift.Include(ssLeft);
  if (buttons & MK_RBUTTON) shift.Include(ssRight);
  if (buttons & MK_MBUTTON) shift.Include(ssMiddle);
  return shift;
}

TDropMode TBaseVirtualTree::DropModeAt(const THitInfo& hitInfo, TPoint pt) {
  if (hitInfo.HitNode == nullptr) return dmNowhere;
  const THitPositions& positions = hitInfo.HitPositions;
  bool onContent = positions.Contains(hiOnItemLabel) || positions.Contains(hiOnNormalIcon) ||
                   positions.Contains(hiOnStateIcon);
  if (!options.paint.Contains(toShowDropmark) || onContent) return dmOnNode;
  TRect r = GetDisplayRect(hitInfo.HitNode, NoColumn, false);
  return pt.Y < (r.Top + r.Bottom) / 2 ? dmAbove : dmBelow;
}

// The drop target's calls come from the system's drag loop, outside any
// message of this tree: each holds the tree, whose handlers may free it.

HRESULT TBaseVirtualTree::DragEnter(DWORD keyState, TPoint pt, int& effect) {
  TCallOutScope scope(*this);
  autoScrollStarted = false;
  dragButtons = keyState & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  TBaseVirtualTree* source = dragManager != nullptr ? dragManager->GetDragSource() : nullptr;
  TShiftState shift = DragShiftState(keyState);
  TPoint client = ScreenToClient(pt);
  effect = SuggestDropEffect(source, shift, client, effect);
  if (!DoDragOver(source, shift, dsDragEnter, client, lastDropMode, effect)) {
    effect = DROPEFFECT_NONE;
    if (scope.TreeGone()) return S_OK;
  } else {
    THitInfo hitInfo;
    GetHitTestInfoAt(client.X, client.Y, /*relative=*/true, hitInfo);
    dropTargetNode = hitInfo.HitNode;
    if (hitInfo.HitNode == nullptr)
      lastDropMode = dmNowhere;
    else if (hitInfo.HitPositions.Contains(hiOnItemLabel))
      lastDropMode = dmOnNode;
    else {
      TRect r = GetDisplayRect(hitInfo.HitNode, NoColumn, false);
      lastDropMode = client.Y < (r.Top + r.Bottom) / 2 ? dmAbove : dmBelow;
    }
    if (dropTargetNode != nullptr) InvalidateNode(dropTargetNode);
  }
  if (source != nullptr && !SystemDrawsDragImage(source)) {
    source->DragImage()->DragTo(pt, /*forceRepaint=*/false);
    source->DragImage()->ShowDragImage();
  }
  return S_OK;
}

HRESULT TBaseVirtualTree::DragOver(TObject* source, DWORD keyState, TDragStateKind state, TPoint pt, int& effect) {
  TCallOutScope scope(*this);
  auto gone = [&] {
    if (!scope.TreeGone()) return false;
    effect = DROPEFFECT_NONE;
    return true;
  };
  auto* sourceTree = dynamic_cast<TBaseVirtualTree*>(source);
  TVTDragImage* image =
      sourceTree != nullptr && !SystemDrawsDragImage(sourceTree) ? sourceTree->DragImage() : nullptr;
  TPoint client = ScreenToClient(pt);

  // One scroll step towards each edge the mouse is near (after the auto-scroll delay).
  bool scrolled = false;
  TScrollDirections directions = DetermineScrollDirections(client.X, client.Y);
  if (!directions.Empty()) {
    int verticalStep = std::min<int>(scrollBarOptions->VerticalIncrement(), ClientHeight());
    int horizontalStep = scrollBarOptions->HorizontalIncrement();
    int x = offsetX;
    int64_t y = offsetY;
    if (directions.Contains(sdUp)) y += verticalStep;
    if (directions.Contains(sdDown)) y -= verticalStep;
    if (directions.Contains(sdLeft)) x += horizontalStep;
    if (directions.Contains(sdRight)) x -= horizontalStep;
    scrolled = DoSetOffsetXY(x, y, DefaultScrollUpdateFlags());
    if (gone()) return S_OK;
  }

  TShiftState shift = DragShiftState(keyState);
  THitInfo hitInfo;
  GetHitTestInfoAt(client.X, client.Y, /*relative=*/true, hitInfo);
  if (options.misc.Contains(toReportMode) && hitInfo.HitNode != nullptr) {
    const THitPositions& positions = hitInfo.HitPositions;
    bool onMainContent = hitInfo.HitColumn == HeaderMainColumn() &&
                         (positions.Contains(hiOnItemLabel) || positions.Contains(hiOnNormalIcon) ||
                          positions.Contains(hiOnStateIcon));
    if (!onMainContent) hitInfo.HitNode = nullptr;
  }
  TDropMode mode = DropModeAt(hitInfo, client);

  if (hitInfo.HitNode == dropTargetNode && mode == lastDropMode) {
    if (scrolled && image != nullptr) UpdateWindowAndDragImage(this, ClientRect(), true, true);
  } else if (hitInfo.HitNode == dropTargetNode) {
    lastDropMode = mode;
    if (dropTargetNode != nullptr) InvalidateNode(dropTargetNode);
  } else {
    StopTreeTimer(kExpandTimer);
    PVirtualNode oldTarget = dropTargetNode;
    dropTargetNode = hitInfo.HitNode;
    lastDropMode = mode;
    if (dropTargetNode != nullptr && HeaderColumnCount() > 0 && focusedColumn <= NoColumn)
      focusedColumn = HeaderMainColumn();
    if (oldTarget != nullptr) InvalidateNode(oldTarget);
    if (dropTargetNode != nullptr) InvalidateNode(dropTargetNode);
    if (options.autoOptions.Contains(toAutoDropExpand) && dropTargetNode != nullptr &&
        (dropTargetNode->States & vsHasChildren) && HandleAllocated())
      SetTimer(handle, kExpandTimer, autoExpandDelay, nullptr);
  }
  if (HandleAllocated()) UpdateWindow(handle);
  if (gone()) return S_OK;
  if (image != nullptr && image->WillMove(pt)) image->DragTo(pt, /*forceRepaint=*/false);

  effect = SuggestDropEffect(source, shift, client, effect);
  if (!DoDragOver(source, shift, state, client, mode, effect)) effect = DROPEFFECT_NONE;
  if (gone()) return S_OK;
  if (scrolled) effect |= static_cast<int>(DROPEFFECT_SCROLL);
  return S_OK;
}

void TBaseVirtualTree::DragLeave() {
  TCallOutScope scope(*this);
  StopTreeTimer(kExpandTimer);
  TBaseVirtualTree* source = dragManager != nullptr ? dragManager->GetDragSource() : nullptr;
  if (source != nullptr && !SystemDrawsDragImage(source)) source->DragImage()->HideDragImage();
  if (dropTargetNode != nullptr) {
    InvalidateNode(dropTargetNode);
    dropTargetNode = nullptr;
  }
  if (HandleAllocated()) UpdateWindow(handle);
  if (scope.TreeGone()) return;
  int effect = DROPEFFECT_NONE;
  DoDragOver(nullptr, TShiftState(), dsDragLeave, TPoint{0, 0}, lastDropMode, effect);
}

HRESULT TBaseVirtualTree::DragDrop(IDataObject* dataObject, DWORD keyState, TPoint pt, int& effect) {
  TCallOutScope scope(*this);
  StopTreeTimer(kExpandTimer);
  StopTreeTimer(kScrollTimer);
  DoStateChange({}, {tsScrollPending, tsScrolling});
  TBaseVirtualTree* source = dragManager != nullptr ? dragManager->GetDragSource() : nullptr;
  // However the drop ends (a handler may throw on a bad stream), the target
  // node is no longer marked.
  auto unmark = [this]() {
    if (dropTargetNode == nullptr) return;
    PVirtualNode marked = dropTargetNode;
    dropTargetNode = nullptr;
    InvalidateNode(marked);
  };
  HRESULT result;
  try {
    result = DragOver(source, keyState, dsDragMove, pt, effect);
    // The drop's effect carries no scrolling.
    effect &= ~static_cast<int>(DROPEFFECT_SCROLL);
    if (scope.TreeGone()) {
      effect = DROPEFFECT_NONE;
      return E_FAIL;
    }
    if (SUCCEEDED(result) && effect != DROPEFFECT_NONE && dataObject != nullptr) {
      // The picture does not stay over whatever the drop handler shows.
      if (source != nullptr && !SystemDrawsDragImage(source)) source->DragImage()->HideDragImage();
      DoDragDrop(source, dataObject, OfferedFormats(dataObject), DragShiftState(keyState), ScreenToClient(pt), effect,
                 lastDropMode);
    } else {
      result = E_FAIL;
    }
  } catch (...) {
    unmark();
    throw;
  }
  unmark();
  return result;
}

void TBaseVirtualTree::UpdateWindowAndDragImage(TBaseVirtualTree* tree, TRect rect, bool updateNCArea,
                                                bool reshowDragImage) {
  if (tree == nullptr || !tree->HandleAllocated()) return;
  TRect r = IntersectRect(rect, tree->ClientRect());
  if (r.IsEmpty()) return;
  HWND window = tree->handle;
  if (updateNCArea) {
    // The frame (header, scroll bars) only: the window's area outside the client rectangle.
    RECT windowRect{}, client{};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    HRGN frame = CreateRectRgn(windowRect.left - origin.x, windowRect.top - origin.y, windowRect.right - origin.x,
                               windowRect.bottom - origin.y);
    HRGN inner = CreateRectRgnIndirect(&client);
    CombineRgn(frame, frame, inner, RGN_DIFF);
    RedrawWindow(window, nullptr, frame, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW);
    DeleteObject(inner);
    DeleteObject(frame);
  }
  RECT area = r.ToRECT();
  RedrawWindow(window, &area, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW);
  // The picture floats in its own window: nothing under it needs taking in again.
  TBaseVirtualTree* source = tree->dragManager != nullptr ? tree->dragManager->GetDragSource() : nullptr;
  if (source != nullptr && source->dragImage != nullptr)
    source->dragImage->RecaptureBackground(tree, r, nullptr, updateNCArea, reshowDragImage);
}
