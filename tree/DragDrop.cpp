// The tree as a drag source: starting the OLE drag of the selection with its
// picture, deleting moved nodes afterwards, the drop effect suggested by the
// keys, expanding a hovered drop target, the drop mark, and registering the
// window as a drop target for as long as it exists.
#include <algorithm>
#include <unordered_set>

#include "tree/DragImage.h"
#include "tree/VirtualTrees.h"

namespace {
constexpr UINT_PTR kExpandTimer = 1;

// The OLE effects a set of drag operations allows; an empty set allows all three.
DWORD AllowedEffects(TDragOperations operations) {
  if (operations.Empty()) return DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  DWORD result = DROPEFFECT_NONE;
  if (operations.Contains(doCopy)) result |= DROPEFFECT_COPY;
  if (operations.Contains(doMove)) result |= DROPEFFECT_MOVE;
  if (operations.Contains(doLink)) result |= DROPEFFECT_LINK;
  return result;
}

template <typename T>
struct TReleaser {
  T* object;
  ~TReleaser() {
    if (object != nullptr) object->Release();
  }
};
}  // namespace

TVTDragImage* TBaseVirtualTree::DragImage() {
  if (dragImage == nullptr) dragImage = new TVTDragImage(this);
  return dragImage;
}

void TBaseVirtualTree::PrepareDragImage(TPoint hotSpot, IDataObject* dataObject) {
  if (!CanShowDragImage()) return;
  // The picture is DragWidth x DragHeight around the hot spot, cut where it
  // would start before the tree's origin, so the nodes keep their true places
  // inside it. Horizontally in tree coordinates, vertically in the client's
  // (painted with the vertical offset as origin).
  int x = hotSpot.X - offsetX;
  int top = SaturateToInt(std::max<int64_t>(hotSpot.Y - dragHeight / 2, offsetY));
  TRect r{std::max(x - dragWidth / 2, 0), top, x + dragWidth / 2, hotSpot.Y + dragHeight / 2};
  if (r.IsEmpty()) return;
  TBitmap* picture = New<TBitmap>();
  try {
    picture->SetPixelFormat(pf32bit);
    picture->SetSize(r.Width(), r.Height());
    picture->Canvas()->Brush()->SetColor(Color());
    picture->Canvas()->FillRect(TRect{0, 0, r.Width(), r.Height()});
    TVTPaintPassOptions options{ppSelection, ppSelectedOnly};
    if (dragImageKind == diMainColumnOnly) options.Include(ppMainColumnOnly);
    PaintTree(picture->Canvas(), r, TPoint{0, 0}, options, pf32bit, -offsetY);
    if (Going()) {
      FreeAndNil(picture);
      return;
    }
    picture->Dormant();
    TPoint position = ClientToScreen(TPoint{r.Left + offsetX, r.Top});
    DragImage()->SetColorKey(Color());  // the background becomes transparent
    DragImage()->PrepareDrag(picture->Handle(), position, ClientToScreen(hotSpot), dataObject);
  } catch (...) {
    FreeAndNil(picture);
    throw;
  }
  FreeAndNil(picture);
}

void TBaseVirtualTree::DoDragging(TPoint p) {
  // Every handler on the way (the system's drag loop calls this tree's and
  // the target's) may free the tree: it lives until the drag has ended.
  TCallOutScope scope(*this);
  DoCancelEdit();
  if (scope.TreeGone()) return;
  if (hotNode != nullptr) {
    InvalidateNode(hotNode);
    hotNode = nullptr;
  }
  if (focusedNode != nullptr && !(focusedNode->States & vsSelected)) {
    InternalAddToSelection(focusedNode, /*forceInsert=*/true);
    InvalidateNode(focusedNode);
  }
  Update();
  IVTDragManager* manager = GetDragManager();
  // The paint and the manager's handlers may have freed the tree.
  if (scope.TreeGone()) return;
  if (manager == nullptr) {
    DoStateChange({}, {tsOLEDragPending, tsClearPending});
    return;
  }
  // A handler may free this tree (the scope holds it), which lets go of its
  // manager: the drag keeps its own reference, and the drag loop's keep the rest.
  manager->AddRef();
  TReleaser<IVTDragManager> managerReleaser{manager};
  dragSelection = GetSelectionInOrder(/*resolve=*/true);
  dragNodesTaken.clear();
  dragNodesFreed.clear();
  DoStateChange({tsOLEDragging}, {tsOLEDragPending, tsClearPending});
  if (scope.TreeGone()) return;

  DWORD effect = DROPEFFECT_NONE;
  HRESULT result = E_FAIL;
  {
    TReleaser<IDataObject> data{manager->GetDataObject()};
    if (scope.TreeGone()) return;
    IDropSource* source = nullptr;
    manager->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&source));
    TReleaser<IDropSource> sourceReleaser{source};
    if (data.object != nullptr && source != nullptr) {
      try {
        PrepareDragImage(p, data.object);
      } catch (...) {
        // Without a picture the drag still works.
      }
      // A handler that painted the picture may have freed the tree.
      if (scope.TreeGone()) return;
      lastDropMode = dmOnNode;
      result = ::DoDragDrop(data.object, source, AllowedEffects(dragOperations), &effect);
      manager->ForceDragLeave();
    }
  }
  if (scope.TreeGone()) return;
  DragImage()->EndDrag();
  // The drag loop took the button's release: the tree is left as a release leaves it.
  if (HandleAllocated() && GetCapture() == handle) ReleaseCapture();
  DoStateChange({}, {tsLeftButtonDown, tsRightButtonDown, tsMiddleButtonDown, tsToggleFocusedSelection,
                     tsEditPending, tsScrolling, tsScrollPending});

  // A drop inside this process that moved the nodes itself empties the list
  // (and answers no effect); nodes freed or moved here meanwhile are not deleted again.
  if (result == DRAGDROP_S_DROP && effect == DROPEFFECT_MOVE && options.autoOptions.Contains(toAutoDeleteMovedNodes)) {
    try {
      DeleteMovedDragNodes();
    } catch (...) {
      if (!scope.TreeGone()) DoStateChange({}, {tsOLEDragging});
      throw;
    }
    // The free handlers of the nodes deleted may have freed the tree.
    if (scope.TreeGone()) return;
  }
  dragSelection.clear();
  dragNodesTaken.clear();
  dragNodesFreed.clear();
  DoStateChange({}, {tsOLEDragging});
}

void TBaseVirtualTree::DeleteMovedDragNodes() {
  if (dragSelection.empty()) return;
  std::vector<PVirtualNode> nodes;
  std::sort(dragNodesTaken.begin(), dragNodesTaken.end());
  for (PVirtualNode node : dragSelection)
    if (!std::binary_search(dragNodesTaken.begin(), dragNodesTaken.end(), node)) nodes.push_back(node);
  dragSelection.clear();
  dragNodesTaken.clear();
  // The deletion handlers of one node may free others of the list, or a node
  // may have come to lie below another one. One that frees the whole tree
  // ends it there.
  TCallOutScope scope(*this);
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    for (PVirtualNode node : nodes) {
      if (!Gone(node) && !(node->States & (vsDeleting | vsClearing))) DeleteNode(node);
      if (scope.TreeGone()) return;
    }
  } catch (...) {
    if (!scope.TreeGone()) EndUpdate();
    throw;
  }
  EndUpdate();
}

void TBaseVirtualTree::DoNodeMoved(PVirtualNode node) {
  if (!dragSelection.empty()) dragNodesTaken.push_back(node);
  TVirtualTreeCore::DoNodeMoved(node);
}

void TBaseVirtualTree::NodeForgotten(PVirtualNode node) {
  if (hintData.Node == node) ForgetHintNode(node);
  if (dragSelection.empty()) return;
  dragNodesTaken.push_back(node);
  dragNodesFreed.push_back(node);
}

std::vector<PVirtualNode> TBaseVirtualTree::DraggedNodes() const {
  // A freed node is no longer dragged, even where a new node took its record.
  std::vector<PVirtualNode> freed = dragNodesFreed;
  std::sort(freed.begin(), freed.end());
  std::vector<PVirtualNode> result;
  for (PVirtualNode node : dragSelection)
    if (!std::binary_search(freed.begin(), freed.end(), node)) result.push_back(node);
  return result;
}

int TBaseVirtualTree::SuggestDropEffect(TObject* source, TShiftState shift, TPoint pt, int allowedEffects) {
  int result = allowedEffects;
  int preferred = source == this ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
  if (allowedEffects & preferred) result = preferred;
  bool shiftKey = shift.Contains(ssShift), ctrl = shift.Contains(ssCtrl), alt = shift.Contains(ssAlt);
  int asked = DROPEFFECT_NONE;
  if (shiftKey && !ctrl)
    asked = DROPEFFECT_MOVE;
  else if (ctrl && !shiftKey)
    asked = DROPEFFECT_COPY;
  else if ((ctrl && shiftKey) || alt)
    asked = DROPEFFECT_LINK;
  if (allowedEffects & asked) result = asked;
  return result;
}

void TBaseVirtualTree::DragFinished() {
  if (HandleAllocated()) {
    POINT p{};
    GetCursorPos(&p);
    ::ScreenToClient(handle, &p);
    UINT message = states.Contains(tsRightButtonDown)    ? WM_RBUTTONUP
                   : states.Contains(tsMiddleButtonDown) ? WM_MBUTTONUP
                                                          : WM_LBUTTONUP;
    // The release ends the click; after a drag it was a drop, and no context menu comes of it.
    releasingDrag = vclDragMoved;
    THold hold(this);
    SendMessageW(handle, message, 0, MAKELPARAM(p.x, p.y));
    if (Going()) return;
    releasingDrag = false;
  }
  vclDragMoved = false;
  DoStateChange({}, {tsVCLDragPending, tsVCLDragging, tsUserDragObject});
}

void TBaseVirtualTree::DoDragExpand() {
  StopTreeTimer(kExpandTimer);
  PVirtualNode node = dropTargetNode;
  if (node == nullptr || !(node->States & vsHasChildren) || (node->States & vsExpanded)) return;
  TBaseVirtualTree* source = dragManager != nullptr ? dragManager->GetDragSource() : nullptr;
  TVTDragImage* image = source != nullptr && !SystemDrawsDragImage(source) ? source->DragImage() : nullptr;
  if (image != nullptr) image->HideDragImage();
  // The expand handlers may free the tree.
  THold hold(this);
  ToggleNode(node);
  if (Going()) return;
  Update();
  if (image != nullptr) image->ShowDragImage();
}

bool TBaseVirtualTree::SystemDrawsDragImage(TBaseVirtualTree* source) const {
  // The system draws the picture over the tree only when its helper is there
  // and the source handed the picture to it (Wine's helper refuses bitmaps).
  return dragManager != nullptr && dragManager->GetDropTargetHelperSupported() && source != nullptr &&
         source->dragImage != nullptr && source->dragImage->States().Contains(dsSystemSupport);
}

void TBaseVirtualTree::DoPaintDropMark(TCanvas* canvas, PVirtualNode node, TRect r) {
  if (lastDropMode != dmAbove && lastDropMode != dmBelow) return;
  TPenStyle oldStyle = canvas->Pen()->Style();
  TColor oldColor = canvas->Brush()->Color();
  canvas->Pen()->SetStyle(psClear);
  canvas->Brush()->SetColor(colors->DropMarkColor());
  int l = r.Left, t = r.Top, rt = r.Right, b = r.Bottom;
  if (lastDropMode == dmAbove)
    canvas->Polygon({{l + 2, t}, {rt - 2, t}, {rt - 2, t + 6}, {rt - 6, t + 2}, {l + 6, t + 2}, {l + 2, t + 6}});
  else
    canvas->Polygon({{l + 2, b - 1}, {rt - 2, b - 1}, {rt - 2, b - 8}, {rt - 7, b - 3}, {l + 7, b - 3}, {l + 2, b - 8}});
  canvas->Pen()->SetStyle(oldStyle);
  canvas->Brush()->SetColor(oldColor);
}

bool TBaseVirtualTree::IsCurrentDropTarget() const {
  return dragManager != nullptr && dragManager->GetIsDropTarget();
}

void TBaseVirtualTree::UpdateDropTarget(bool accept) {
  if (!HandleAllocated() || ComponentState().Contains(csDesigning)) return;
  if (accept == dropTargetRegistered) return;
  if (!accept) {
    RevokeDragDrop(handle);
    dropTargetRegistered = false;
    return;
  }
  // The manager's handler may free the tree.
  THold hold(this);
  IVTDragManager* manager = GetDragManager();
  IDropTarget* target = nullptr;
  if (Going() || manager == nullptr ||
      FAILED(manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target))))
    return;
  dropTargetRegistered = SUCCEEDED(RegisterDragDrop(handle, target));
  target->Release();
}

void TBaseVirtualTree::DestroyWnd() {
  UpdateDropTarget(false);
  TCustomControl::DestroyWnd();
}

void TBaseVirtualTree::WMDestroy(TMessage& m) {
  // Also when the window goes with its parent: OLE lets go of the drag manager now.
  UpdateDropTarget(false);
  StopTreeTimer(kExpandTimer);
  Inherited(ClassMessageMap(), m);
}
