// The event-firing operations of the window: painting, header, drag and
// drop, clipboard, pop-up menus, cursors, keys, scroll bars and editing.
#include <algorithm>

#include "tree/VirtualTrees.h"

void TBaseVirtualTree::DoAdvancedHeaderDraw(THeaderPaintInfo& paintInfo, THeaderPaintElements elements) {
  Fire(OnAdvancedHeaderDraw, header, paintInfo, elements);
}

void TBaseVirtualTree::DoAfterCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, TRect cellRect) {
  Fire(OnAfterCellPaint, this, canvas, node, column, cellRect);
}

void TBaseVirtualTree::DoAfterItemErase(TCanvas* canvas, PVirtualNode node, TRect itemRect) {
  Fire(OnAfterItemErase, this, canvas, node, itemRect);
}

void TBaseVirtualTree::DoAfterItemPaint(TCanvas* canvas, PVirtualNode node, TRect itemRect) {
  Fire(OnAfterItemPaint, this, canvas, node, itemRect);
}

void TBaseVirtualTree::DoAfterPaint(TCanvas* canvas) {
  Fire(OnAfterPaint, this, canvas);
}

void TBaseVirtualTree::DoBeforeCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, TRect cellRect) {
  Fire(OnBeforeCellPaint, this, canvas, node, column, cellRect);
}

void TBaseVirtualTree::DoBeforeItemErase(TCanvas* canvas, PVirtualNode node, TRect itemRect, TColor& color,
                                         TItemEraseAction& eraseAction) {
  Fire(OnBeforeItemErase, this, canvas, node, itemRect, color, eraseAction);
}

bool TBaseVirtualTree::DoBeforeItemPaint(TCanvas* canvas, PVirtualNode node, TRect itemRect) {
  bool customDraw = false;
  Fire(OnBeforeItemPaint, this, canvas, node, itemRect, customDraw);
  return customDraw;
}

void TBaseVirtualTree::DoBeforePaint(TCanvas* canvas) {
  Fire(OnBeforePaint, this, canvas);
}

void TBaseVirtualTree::DoColumnClick(TColumnIndex column, TShiftState shift) {
  Fire(OnColumnClick, this, column, shift);
}

void TBaseVirtualTree::DoColumnDblClick(TColumnIndex column, TShiftState shift) {
  Fire(OnColumnDblClick, this, column, shift);
}

void TBaseVirtualTree::DoColumnResize(TColumnIndex column) {
  if (IsTreeLoading() || !HandleAllocated()) return;
  // Multiline nodes are measured again for the new width.
  for (PVirtualNode run = GetFirstInitialized(); run != nullptr; run = GetNextInitialized(run))
    if (run->States & vsMultiline) run->States &= ~vsHeightMeasured;
  UpdateHorizontalScrollBar(true);
  if (Going()) return;  // a scroll handler freed the tree
  TVirtualTreeColumns* columns = header->Columns();
  if (columns->IsValidColumn(column)) {
    // Only the resized column and what lies right of it moved.
    TVirtualTreeColumn* resized = columns->Items(column);
    TRect client = ClientRect();
    if (!options.autoOptions.Contains(toAutoSpanColumns)) {
      int left = resized->Left();
      if (!resized->Options().Contains(coFixed)) left += OffsetX();
      client.Left = std::max(client.Left, left);
    }
    RECT r{client.Left, client.Top, client.Right, client.Bottom};
    InvalidateRect(handle, &r, FALSE);
    header->Invalidate(resized, /*expandToRight=*/true);  // the columns after it moved too
    // While the mouse drags the width, the change shows at once.
    if (header->States().Contains(hsTracking)) UpdateWindow(handle);
  }
  if (!states.Contains(tsUpdating)) UpdateDesigner();
  if (Fire(OnColumnResize, header, column) && states.Contains(tsEditing)) UpdateEditBounds();
}

IDataObject* TBaseVirtualTree::DoCreateDataObject() {
  IDataObject* result = nullptr;
  Fire(OnCreateDataObject, this, result);
  return result;
}

IVTDragManager* TBaseVirtualTree::DoCreateDragManager() {
  IVTDragManager* result = nullptr;
  Fire(OnCreateDragManager, this, result);
  return result;
}

bool TBaseVirtualTree::DoDragOver(TObject* source, TShiftState shift, TDragStateKind state, TPoint pt,
                                  TDropMode mode, int& effect) {
  bool accept = false;
  // A tree freed by the handler accepts nothing.
  return Fire(OnDragOver, this, source, shift, state, pt, mode, effect, accept) && accept;
}

void TBaseVirtualTree::DoDragDrop(TObject* source, IDataObject* dataObject, const TFormatArray& formats,
                                  TShiftState shift, TPoint pt, int& effect, TDropMode mode) {
  Fire(OnDragDrop, this, source, dataObject, formats, shift, pt, effect, mode);
}

void TBaseVirtualTree::DoGetCursor(TCursor& cursor) {
  Fire(OnGetCursor, this, cursor);
}

void TBaseVirtualTree::DoGetHeaderCursor(HICON& cursor) {
  Fire(OnGetHeaderCursor, header, cursor);
}

TCustomImageList* TBaseVirtualTree::DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                                    bool& ghosted, int& index) {
  TCustomImageList* result = nullptr;
  if (OnGetImageIndexEx) {
    Fire(OnGetImageIndexEx, this, node, kind, column, ghosted, index, result);
    return result;
  }
  Fire(OnGetImageIndex, this, node, kind, column, ghosted, index);
  return result;
}

void TBaseVirtualTree::DoGetLineStyle(void*& bits) {
  Fire(OnGetLineStyle, this, bits);
}

std::u16string TBaseVirtualTree::DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                                               TVTHintLineBreakStyle& lineBreakStyle) {
  lineBreakStyle = hlbDefault;
  return AnsiToWide(Hint());
}

std::u16string TBaseVirtualTree::DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                                  TVTHintLineBreakStyle& lineBreakStyle) {
  return DoGetNodeHint(node, column, lineBreakStyle);
}

int TBaseVirtualTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) { return 0; }

TComponent* TBaseVirtualTree::DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  TComponent* menu = nullptr;
  if (!OnGetPopupMenu) return menu;
  bool askParent = true;
  if (node == nullptr) {
    // No menu of a tree freed meanwhile.
    if (!Fire(OnGetPopupMenu, this, nullptr, NoColumn, position, askParent, menu)) return nullptr;
    return menu;
  }
  // Up the parent chain until a menu is given or the handler stops the walk;
  // a handler that frees the node asked about ends it too.
  TCallOutScope scope(*this);
  for (PVirtualNode run = node; run != root; run = run->Parent) {
    askParent = true;
    if (!Fire(OnGetPopupMenu, this, run, column, position, askParent, menu)) return nullptr;
    if (menu != nullptr || !askParent || Gone(run)) break;
  }
  return menu;
}

void TBaseVirtualTree::DoGetUserClipboardFormats(TFormatEtcArray& formats) {
  Fire(OnGetUserClipboardFormats, this, formats);
}

void TBaseVirtualTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) {
  Fire(OnHeaderClick, header, column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) {
  Fire(OnHeaderDblClick, header, column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDragged(TColumnIndex column, int oldPosition) {
  Fire(OnHeaderDragged, header, column, oldPosition);
}

void TBaseVirtualTree::DoHeaderDraggedOut(TColumnIndex column, TPoint dropPosition) {
  Fire(OnHeaderDraggedOut, header, column, dropPosition);
}

bool TBaseVirtualTree::DoHeaderDragging(TColumnIndex column) {
  bool allowed = true;
  // A tree freed by the handler starts no drag.
  return Fire(OnHeaderDragging, header, column, allowed) && allowed;
}

void TBaseVirtualTree::DoHeaderDraw(TCanvas* canvas, TVirtualTreeColumn* column, TRect r, bool hover, bool pressed,
                                    TVTDropMarkMode dropMark) {
  Fire(OnHeaderDraw, header, canvas, column, r, hover, pressed, dropMark);
}

void TBaseVirtualTree::DoHeaderDrawQueryElements(THeaderPaintInfo& paintInfo, THeaderPaintElements& elements) {
  Fire(OnHeaderDrawQueryElements, header, paintInfo, elements);
}

void TBaseVirtualTree::DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  Fire(OnHeaderMouseDown, header, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseMove(TShiftState shift, int x, int y) {
  Fire(OnHeaderMouseMove, header, shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  Fire(OnHeaderMouseUp, header, button, shift, x, y);
}

bool TBaseVirtualTree::DoKeyAction(uint16_t& charCode, TShiftState& shift) {
  bool doDefault = true;
  // A tree freed meanwhile does nothing more.
  return Fire(OnKeyAction, this, charCode, shift, doDefault) && doDefault;
}

bool TBaseVirtualTree::DoPaintBackground(TCanvas* canvas, TRect r) {
  bool handled = false;
  Fire(OnPaintBackground, this, canvas, r, handled);
  return handled;
}

HRESULT TBaseVirtualTree::DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  HRESULT result = E_FAIL;
  Fire(OnRenderOLEData, this, formatEtcIn, medium, forClipboard, result);
  return result;
}

void TBaseVirtualTree::DoShowScrollbar(int bar, bool show) {
  if (HandleAllocated()) ShowScrollBar(handle, bar, show ? TRUE : FALSE);
  Fire(OnShowScrollbar, this, bar, show);
}

THintAnimationType TBaseVirtualTree::DoGetAnimationType() {
  THintAnimationType result = hintAnimation;
  if (result == hatSystemDefault) {
    if (!TreePlatform().nt) {
      result = hatSlide;
    } else {
      BOOL animated = FALSE;
      SystemParametersInfoW(0x1016 /* SPI_GETTOOLTIPANIMATION */, 0, &animated, 0);
      BOOL fade = FALSE;
      SystemParametersInfoW(0x1018 /* SPI_GETTOOLTIPFADE */, 0, &fade, 0);
      result = !animated ? hatNone : (fade ? hatFade : hatSlide);
    }
  }
  // Fading blends with MMX instructions.
  if (result == hatFade && !TreePlatform().mmx) result = hatSlide;
  return result;
}

void TBaseVirtualTree::DoEdit() {
  // Every handler on the way (state, editor, scrolling, the editor's own) may
  // free the tree: the edit ends there.
  TCallOutScope scope(*this);
  CancelHint();
  StopTreeTimer(4);
  StopTreeTimer(2);
  DoStateChange({}, {tsEditPending});
  if (scope.TreeGone()) return;
  if (focusedNode == nullptr || (focusedNode->States & vsDisabled) || options.misc.Contains(toReadOnly) || editLink)
    return;
  editLink = DoCreateEditor(focusedNode, editColumn);
  if (scope.TreeGone() || !editLink) return;
  DoStateChange({tsEditing}, {tsToggleFocusedSelection, tsClearPending, tsDrawSelPending, tsDrawSelecting,
                              tsMouseCheckPending, tsOLEDragging, tsOLEDragPending, tsScrolling, tsScrollPending});
  if (scope.TreeGone()) return;
  ScrollIntoView(focusedNode, options.selection.Contains(toCenterScrollIntoView),
                 !options.autoOptions.Contains(toDisableAutoscrollOnEdit));
  if (scope.TreeGone()) return;
  // The expand handlers on the way may have ended the edit or freed the node.
  if (!editLink || !states.Contains(tsEditing)) return;
  if (focusedNode == nullptr) {
    DoStateChange({}, {tsEditing});
    editLink.reset();
    return;
  }
  editNode = focusedNode;
  TEditLinkPtr link = editLink;  // kept while it runs, also when the tree goes
  bool prepared = link->PrepareEdit(this, focusedNode, editColumn);
  if (scope.TreeGone()) return;
  if (prepared) {
    UpdateEditBounds();
    InvalidateNode(focusedNode);
    bool begun = link->BeginEdit();
    if (scope.TreeGone()) return;
    if (!begun) DoStateChange({}, {tsEditing});
  } else {
    DoStateChange({}, {tsEditing});
  }
  if (scope.TreeGone()) return;
  if (!states.Contains(tsEditing)) editLink.reset();
}
