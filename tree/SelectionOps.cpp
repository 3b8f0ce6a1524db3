// The tree's public selection, focus, clipboard, editing and drag entry points
// as the keyboard, the mouse and callers use them.
#include <memory>
#include <vector>

#include "core/FileStream.h"
#include "tree/VirtualTrees.h"

void TBaseVirtualTree::InvalidateSelection() {
  if (!HandleAllocated() || visibleCount == 0) return;
  // Only the selected rows on screen need a repaint.
  int clientHeight = ClientHeight();
  int top = 0;
  uint32_t left = selectionCount;
  PVirtualNode run = GetNodeAt(0, 0, true, top);
  while (run != nullptr && left > 0 && top < clientHeight) {
    if (run->States & vsSelected) {
      InvalidateNode(run);
      --left;
    }
    top += run->NodeHeight;
    run = GetNextVisibleNoInit(run);
  }
}

void TBaseVirtualTree::AdjustFocusedColumnForSelection() {
  if (HeaderColumnCount() == 0) return;
  TColumnAttributes attributes;
  if (focusedColumn >= 0 && HeaderColumnAttributes(focusedColumn, attributes) && attributes.Visible) return;
  TColumnIndex main = HeaderMainColumn();
  if (!HeaderColumnAttributes(main, attributes)) return;
  if (attributes.Visible) {
    focusedColumn = main;
    return;
  }
  // With every column hidden there is none to move to: the focus keeps its column.
  TColumnIndex first = FirstVisibleColumn();
  if (first >= 0) focusedColumn = first;
}

bool TBaseVirtualTree::DoFocusNode(PVirtualNode node, bool ask) {
  // The editing, focus and toggle handlers may free the node: it is not focused then.
  TCallOutScope scope(*this);
  auto gone = [&]() { return node != nullptr && Gone(node); };
  if (states.Contains(tsEditing) && !EndEditNode()) return false;
  if (gone()) return false;
  if (node == root) node = nullptr;
  if (node != focusedNode) {
    if (ask && !DoFocusChanging(focusedNode, node, focusedColumn, focusedColumn)) return false;
    if (gone()) return false;
    PVirtualNode old = focusedNode;
    if (old != nullptr) {
      // Auto-expand keeps one branch open among siblings.
      if (options.autoOptions.Contains(toAutoExpand) && node != nullptr && node->Parent == old->Parent &&
          (old->States & vsExpanded))
        ToggleNode(old);
      else
        InvalidateNode(old);
      if (gone()) return false;
    }
    focusedNode = node;
  }
  if (focusedNode != nullptr) {
    int count = HeaderColumnCount();
    if (count > 0 && (focusedColumn < 0 || focusedColumn >= count)) focusedColumn = 0;
    if (options.autoOptions.Contains(toAutoExpand) && !(focusedNode->States & vsExpanded)) ToggleNode(focusedNode);
  }
  if (focusedNode != nullptr) {
    InvalidateNode(focusedNode);
    if (updateCount == 0) {
      bool buttonDown = states.Contains(tsLeftButtonDown) || states.Contains(tsRightButtonDown) ||
                        states.Contains(tsMiddleButtonDown);
      ScrollIntoView(focusedNode, options.selection.Contains(toCenterScrollIntoView) && !buttonDown,
                     !options.autoOptions.Contains(toDisableAutoscrollOnFocus));
      if (scope.TreeGone()) return false;
    }
  }
  if (selectionCount == 0) ResetRangeAnchor();
  return true;
}

void TBaseVirtualTree::SetFocusedColumn(TColumnIndex column) {
  if (column == focusedColumn || !DoFocusChanging(focusedNode, focusedNode, focusedColumn, column)) return;
  CancelEditNode();
  focusedColumn = column;
  if (focusedNode != nullptr) {
    ScrollIntoView(focusedNode, options.selection.Contains(toCenterScrollIntoView),
                   !options.autoOptions.Contains(toDisableAutoscrollOnFocus));
    InvalidateNode(focusedNode);
  }
  if (dropTargetNode != nullptr) InvalidateNode(dropTargetNode);
  DoFocusChanged(focusedNode, focusedColumn);
}

void TBaseVirtualTree::SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column) {
  if (node == focusedNode && column == focusedColumn) return;
  if (!DoFocusChanging(focusedNode, node, focusedColumn, column)) return;
  TColumnIndex oldColumn = focusedColumn;
  focusedColumn = column;
  if (!DoFocusNode(node, false)) {
    focusedColumn = oldColumn;
    return;
  }
  DoFocusChanged(focusedNode, focusedColumn);
}

// ---------------------------------------------------------------------------
// Clipboard

void TBaseVirtualTree::CopyToClipBoard() { PutSelectionOnClipboard(tsCopyPending); }

void TBaseVirtualTree::CutToClipBoard() {
  if (options.misc.Contains(toReadOnly)) return;
  PutSelectionOnClipboard(tsCutPending);
}

void TBaseVirtualTree::PutSelectionOnClipboard(TVirtualTreeState pending) {
  if (selectionCount == 0) return;
  // The data's and the selection's handlers may free the tree: it lives
  // until this returns, and a freed one marks nothing.
  TCallOutScope scope(*this);
  IDataObject* data = CreateClipboardDataObject();
  if (data == nullptr) return;
  if (FAILED(OleSetClipboard(data)) || scope.TreeGone()) {
    data->Release();
    return;
  }
  CancelCutOrCopy();
  if (clipboardObject != nullptr) clipboardObject->Release();
  clipboardObject = data;  // keeps the reference: Clear asks whether it is still the clipboard's
  MarkCutCopyNodes();
  if (pending == tsCutPending)
    DoStateChange({tsCutPending}, {tsCopyPending});
  else
    DoStateChange({tsCopyPending}, {tsCutPending});
  Invalidate();
}

IDataObject* TBaseVirtualTree::CreateClipboardDataObject() { return new TVTDataObject(this, /*forClipboard=*/true); }

void TBaseVirtualTree::EmptyClipboardMark() {
  // Another program's clipboard content is never touched.
  if (clipboardObject == nullptr) return;
  if (OleIsCurrentClipboard(clipboardObject) == S_OK) OleSetClipboard(nullptr);
  clipboardObject->Release();
  clipboardObject = nullptr;
}

void TBaseVirtualTree::CancelCutOrCopy() {
  if (!states.Contains(tsCutPending) && !states.Contains(tsCopyPending)) return;
  for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run))
    run->States &= ~vsCutOrCopy;
  DoStateChange({}, {tsCutPending, tsCopyPending});
  Invalidate();
}

void TBaseVirtualTree::DeleteMarkedCutNodes() {
  if (!states.Contains(tsCutPending)) return;
  // The free handlers may free any node, or the whole tree: then it ends there.
  TCallOutScope scope(*this);
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    // Depth first, one sibling chain per level; a cut node goes with its
    // subtree. The siblings that stay are numbered as the walk passes them,
    // so a long run of cut siblings is not renumbered once per deletion.
    struct Level {
      PVirtualNode next;
      uint32_t index;
      PVirtualNode parent;
    };
    std::vector<Level> levels{{root->FirstChild, 0, root}};
    // True while every node the walk holds is still where it was.
    auto walkIntact = [&] {
      for (const Level& level : levels)
        if (Gone(level.parent) || (level.next != nullptr && (Gone(level.next) || level.next->Parent != level.parent)))
          return false;
      return true;
    };
    auto renumberRest = [&] {
      for (Level& level : levels)
        for (PVirtualNode run = level.next; run != nullptr; run = run->NextSibling) run->Index = level.index++;
    };
    while (!levels.empty()) {
      PVirtualNode run = levels.back().next;
      if (run == nullptr) {
        levels.pop_back();
        continue;
      }
      levels.back().next = run->NextSibling;
      if (run->States & vsCutOrCopy) {
        uint64_t before = FreedCount();
        size_t own = run->TotalCount;
        try {
          DeleteNode(run, false);
        } catch (...) {
          if (!scope.TreeGone()) renumberRest();  // the siblings left keep consecutive numbers
          throw;
        }
        if (scope.TreeGone()) return;
        // A handler freed more than the cut subtree or moved a node the walk
        // holds: it starts again at the top (numbering again is harmless).
        if (FreedCount() - before > own || !walkIntact()) levels.assign(1, {root->FirstChild, 0, root});
        continue;
      }
      run->Index = levels.back().index++;
      if (run->FirstChild != nullptr) levels.push_back({run->FirstChild, 0, run});
    }
  } catch (...) {
    if (!scope.TreeGone()) EndUpdate();
    throw;
  }
  EndUpdate();
  if (scope.TreeGone()) return;  // the change handler freed the tree
  DoStateChange({}, {tsCutPending});
}

bool TBaseVirtualTree::ExecuteAction(TVTStandardAction action) {
  bool readOnly = options.misc.Contains(toReadOnly);
  switch (action) {
    case saSelectAll: SelectAll(false); return true;
    case saCopy: CopyToClipBoard(); return true;
    case saCut:
      if (readOnly) return false;
      CutToClipBoard();
      return true;
    case saPaste:
      if (readOnly) return false;
      PasteFromClipboard();
      return true;
    case saDelete:
      if (readOnly) return false;
      DeleteSelectedNodes();
      return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Editing

bool TBaseVirtualTree::CanEdit(PVirtualNode node, TColumnIndex column) {
  bool allowed = options.misc.Contains(toEditable) && Enabled() && !options.misc.Contains(toReadOnly) &&
                 node != nullptr && !(node->States & vsDisabled);
  if (node != nullptr) DoEditing(node, column, allowed);
  return allowed;
}

bool TBaseVirtualTree::EditNode(PVirtualNode node, TColumnIndex column) {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  VT_ASSERT(column >= -1 && column < HeaderColumnCount(), "Column must be a valid column index (-1 if no header is shown).");
  if (states.Contains(tsEditing)) return true;
  if (options.misc.Contains(toReadOnly)) return false;
  // The focus and editing handlers may free the node.
  TCallOutScope scope(*this);
  SetFocusedNode(node);
  if (Gone(node) || focusedNode != node || !CanEdit(node, column) || Gone(node)) return false;
  editColumn = column;
  if (!(node->States & vsInitialized)) InitNode(node);
  if (Gone(node)) return false;
  DoEdit();
  return states.Contains(tsEditing);
}

bool TBaseVirtualTree::EndEditNode() {
  if (states.Contains(tsEditing) || states.Contains(tsEditPending)) return DoEndEdit();
  return true;
}

// ---------------------------------------------------------------------------
// Dragging and loading

void TBaseVirtualTree::BeginDrag(bool immediate, int threshold) {
  if (dragType == dtVCL) {
    dragThreshold = threshold >= 0 ? threshold : GetSystemMetrics(SM_CXDRAG);
    vclDragMoved = false;
    DoStateChange({tsVCLDragPending});
    TCustomControl::BeginDrag(immediate, threshold);
    return;
  }
  if (states.Contains(tsOLEDragPending) || states.Contains(tsOLEDragging)) return;
  dragThreshold = threshold >= 0 ? threshold : GetSystemMetrics(SM_CXDRAG);
  if (immediate) {
    DoDragging(lastClickPos);
    return;
  }
  DoStateChange({tsOLEDragPending});
  // The move that passes the threshold may already be outside the window.
  if (HandleAllocated() && GetCapture() != handle) SetCapture(handle);
}

bool TBaseVirtualTree::Dragging() const {
  return states.Contains(tsOLEDragPending) || states.Contains(tsOLEDragging) || TCustomControl::Dragging();
}

IVTDragManager* TBaseVirtualTree::GetDragManager() {
  // A tree going let go of its transport in its teardown: it makes none again.
  if (TreeGoing()) return nullptr;
  if (dragManager == nullptr) {
    IVTDragManager* made = DoCreateDragManager();
    if (TreeGoing()) {
      if (made != nullptr) made->Release();
      return nullptr;
    }
    dragManager = made;
  }
  if (dragManager == nullptr) dragManager = new TVTDragManager(this);
  return dragManager;
}

void TBaseVirtualTree::LoadFromFile(const std::u16string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

bool TBaseVirtualTree::CanFocus() const {
  if (!TCustomControl::CanFocus()) return false;
  if (ComponentState().Contains(csDesigning)) return true;
  TCustomForm* form = const_cast<TBaseVirtualTree*>(this)->ParentForm();
  return form == nullptr || (form->Visible() && form->Enabled());
}

void TBaseVirtualTree::DoPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  auto* menu = dynamic_cast<IPopupMenu*>(DoGetPopupMenu(node, column, position));
  if (menu == nullptr) return;
  DoStateChange({tsPopupMenuShown});
  StopTreeTimer(2);
  TPoint p = ClientToScreen(position);
  menu->PopupFor(this, p.X, p.Y);
}
