// Class-library drag and drop with the tree (DragType dtVCL, or any control
// dragged over a tree): CM_DRAG drives the same drop-target handling as OLE
// (drop target, drop mode, auto-scroll, effects by keys), and the drop goes to
// OnDragDrop without a data object.
#include "tree/VirtualTrees.h"

void TBaseVirtualTree::CMDrag(TMessage& m) {
  auto* rec = reinterpret_cast<TDragRec*>(m.LParam);
  if (rec == nullptr) return;
  auto what = static_cast<TDragMessage>(m.WParam);
  TPoint client = ScreenToClient(rec->Pos);
  DWORD keys = (GetKeyState(VK_SHIFT) < 0 ? MK_SHIFT : 0) | (GetKeyState(VK_CONTROL) < 0 ? MK_CONTROL : 0);
  switch (what) {
    case dmDragEnter:
    case dmDragLeave:
    case dmDragMove: {
      if (what == dmDragEnter) DoStateChange({tsVCLDragging});
      if (what == dmDragLeave) DoStateChange({}, {tsVCLDragging});
      if (what == dmDragMove && CanAutoScroll()) DoAutoScroll(client.X, client.Y);
      auto* sourceTree = dynamic_cast<TBaseVirtualTree*>(rec->Source);
      TDragOperations operations = sourceTree != nullptr ? sourceTree->DragOperations() : TDragOperations();
      int effect = operations.Empty() ? DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK : DROPEFFECT_NONE;
      if (operations.Contains(doCopy)) effect |= DROPEFFECT_COPY;
      if (operations.Contains(doMove)) effect |= DROPEFFECT_MOVE;
      if (operations.Contains(doLink)) effect |= DROPEFFECT_LINK;
      TDragState state = what == dmDragEnter ? dsDragEnter : what == dmDragLeave ? dsDragLeave : dsDragMove;
      DragOver(rec->Source, keys, state, rec->Pos, effect);
      vclDragEffect = effect & ~static_cast<int>(DROPEFFECT_SCROLL);
      lastDropTarget = dropTargetNode;
      if (what == dmDragLeave && dropTargetNode != nullptr) {
        InvalidateNode(dropTargetNode);
        dropTargetNode = nullptr;
      }
      m.Result = vclDragEffect != DROPEFFECT_NONE;
      return;
    }
    case dmDragDrop: {
      StopTreeTimer(1);
      dropTargetNode = lastDropTarget;
      int effect = vclDragEffect;
      DoDragDrop(rec->Source, nullptr, TFormatArray(), DragShiftState(keys), client, effect, lastDropMode);
      if (dropTargetNode != nullptr) InvalidateNode(dropTargetNode);
      dropTargetNode = nullptr;
      DoStateChange({}, {tsVCLDragging});
      return;
    }
    case dmFindTarget: {
      TControl* child = ControlAtPos(client, /*allowDisabled=*/false, /*allowWinControls=*/true);
      m.Result = reinterpret_cast<LRESULT>(child != nullptr ? child : static_cast<TControl*>(this));
      if (states.Contains(tsVCLDragPending)) DoStateChange({tsVCLDragging}, {tsVCLDragPending});
      return;
    }
    default:
      return;
  }
}

void TBaseVirtualTree::DoEndDrag(TControl* target, int x, int y) {
  // The end-drag handler may free the tree (its door holds it meanwhile):
  // then there is no drag left to finish.
  TCustomControl::DoEndDrag(target, x, y);
  if (!Going()) DragFinished();
}

void TBaseVirtualTree::DoStartDrag(TDragObject*& dragObject) {
  TCustomControl::DoStartDrag(dragObject);
  if (dragObject != nullptr) DoStateChange({tsUserDragObject});
}

void TBaseVirtualTree::DragCanceled() {
  TCustomControl::DragCanceled();
  if (!Going()) DragFinished();
}
