// Window messages of the tree other than keys, mouse clicks, painting and
// scrolling: focus, cancel mode, cursor, context menu, wheel, frame, theme,
// clipboard commands and the cross-thread state change.
#include "tree/VirtualTrees.h"
#include "win/graphics/Themes.h"

namespace {
// Timers a lost focus or a cancelled mode stops: auto-expand, edit, scroll, search.
constexpr UINT_PTR kFocusTimers[] = {1, 2, 3, 4, 7};
}  // namespace

void TBaseVirtualTree::StopFocusTimers() {
  if (!HandleAllocated()) return;
  for (UINT_PTR id : kFocusTimers) KillTimer(handle, id);
}

void TBaseVirtualTree::WMSetFocus(TMessage& m) {
  TWinControl::WMSetFocus(m);
  if (!HandleAllocated()) return;
  if (selectionCount > 0 || !options.paint.Contains(toGhostedIfUnfocused)) Invalidate();
}

void TBaseVirtualTree::WMKillFocus(TMessage& m) {
  TWinControl::WMKillFocus(m);
  StopWheelPanning();
  StopFocusTimers();
  StopIncrementalSearch();
  DoStateChange({}, {tsEditPending, tsIncrementalSearching, tsLeftButtonDown, tsMiddleButtonDown, tsRightButtonDown,
                     tsOLEDragPending, tsVCLDragPending, tsScrolling, tsScrollPending});
  if (!HandleAllocated()) return;
  if (selectionCount > 0 || !options.paint.Contains(toGhostedIfUnfocused))
    Invalidate();
  else if (focusedNode != nullptr)
    InvalidateNode(focusedNode);
  // The focus went into an embedded OLE control: the form must not give it
  // back to the tree when it is activated again.
  TCustomForm* form = ParentForm();
  if (form != nullptr && form->ActiveControl() == this && EmbeddedControlAtLastMessage())
    form->SetActiveControl(nullptr);
}

bool TBaseVirtualTree::EmbeddedControlAtLastMessage() const {
  DWORD pos = GetMessagePos();
  HWND window = WindowFromPoint(POINT{static_cast<int16_t>(LOWORD(pos)), static_cast<int16_t>(HIWORD(pos))});
  // A window the control made itself belongs to the nearest of ours above it.
  TWinControl* control = nullptr;
  for (; window != nullptr && control == nullptr; window = GetParent(window)) control = FindControl(window);
  return dynamic_cast<IOleClientSite*>(control) != nullptr;
}

void TBaseVirtualTree::WMPrint(TMessage& m) {
  auto dc = reinterpret_cast<HDC>(m.WParam);
  if (((m.LParam & PRF_CHECKVISIBLE) && !IsWindowVisible(handle)) || dc == nullptr) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  // The frame (and whatever else was asked) the default way; the client is
  // printed here, at its place below the header: the default printing puts it
  // at the window's origin on some platforms, over the header.
  LPARAM flags = m.LParam;
  m.LParam = flags & ~PRF_CLIENT;
  Inherited(ClassMessageMap(), m);
  m.LParam = flags;
  if (header != nullptr && header->Options().Contains(hoVisible)) {
    UpdateHeaderRect();
    header->Columns()->PaintHeader(dc, headerRect, offsetX);
  }
  if (!(flags & PRF_CLIENT)) return;
  RECT window{};
  GetWindowRect(handle, &window);
  POINT client{0, 0};
  ::ClientToScreen(handle, &client);
  POINT origin{};
  OffsetViewportOrgEx(dc, client.x - window.left, client.y - window.top, &origin);
  SendMessageW(handle, WM_PRINTCLIENT, m.WParam, flags);
  SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
}

void TBaseVirtualTree::WMCancelMode(TMessage& m) {
  StopFocusTimers();
  StopIncrementalSearch();
  DoStateChange({}, {tsClearPending, tsDrawSelPending, tsDrawSelecting, tsEditPending, tsIncrementalSearching,
                     tsOLEDragPending, tsVCLDragPending});
  DefaultHandler(m);
}

void TBaseVirtualTree::WMContextMenu(TMessage& m) {
  DoStateChange({}, {tsClearPending, tsEditPending, tsOLEDragPending, tsVCLDragPending});
  if (states.Contains(tsPopupMenuShown)) {
    // The menu of this click or key was shown already.
    DoStateChange({}, {tsPopupMenuShown});
    return;
  }
  // Shift+F10 and the menu key open the menu at the focused node.
  if (m.LParam == -1 && focusedNode != nullptr) {
    ShowContextMenuAtFocus();
    DoStateChange({}, {tsPopupMenuShown});
    m.Result = 1;
    return;
  }
  Inherited(ClassMessageMap(), m);
}

void TBaseVirtualTree::WMSetCursor(TMessage& m) {
  bool own = reinterpret_cast<HWND>(m.WParam) == handle && LOWORD(m.LParam) == HTCLIENT;
  bool panning = states.Contains(tsWheelPanning) || states.Contains(tsWheelScrolling);
  if (!own || panning || ComponentState().Contains(csDesigning) || Screen == nullptr ||
      Screen->Cursor() != crDefault) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  TCursor cursor = Cursor();
  if (options.paint.Contains(toHotTrack) && hotNode != nullptr && hotCursor != crDefault) cursor = hotCursor;
  DoGetCursor(cursor);
  ::SetCursor(Screen->Cursors(cursor));
  m.Result = 1;
}

void TBaseVirtualTree::WMNCPaint(TMessage& m) {
  // wParam 1 stands for the whole frame, anything else is an update region.
  HRGN updateRegion = m.WParam > 1 ? reinterpret_cast<HRGN>(m.WParam) : nullptr;
  DefaultHandler(m);
  PaintHeaderInFrame();
  if (BevelKind() != bkNone || BorderWidth() > 0) {
    HDC frame = GetDCEx(handle, nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS);
    if (frame != nullptr) {
      PaintBorder(frame);
      ReleaseDC(handle, frame);
    }
  }
  if (!states.Contains(tsUseThemes) || !(GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) return;
  if (!ThemeServices()->ThemesEnabled()) return;
  DWORD flags = DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS;
  HRGN clip = nullptr;
  if (updateRegion != nullptr) {
    // The region is the caller's: a copy is handed to the DC, which frees it.
    clip = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(clip, updateRegion, nullptr, RGN_COPY);
    flags |= DCX_INTERSECTRGN;
  }
  HDC dc = GetDCEx(handle, clip, flags);
  if (dc == nullptr) {
    if (clip != nullptr) DeleteObject(clip);
    return;
  }
  RECT window;
  GetWindowRect(handle, &window);
  OffsetRect(&window, -window.left, -window.top);
  int edgeX = GetSystemMetrics(SM_CXEDGE), edgeY = GetSystemMetrics(SM_CYEDGE);
  ExcludeClipRect(dc, window.left + edgeX, window.top + edgeY, window.right - edgeX, window.bottom - edgeY);
  TThemedElementDetails details{teEdit, /*EP_EDITTEXT*/ 1, /*ETS_NORMAL*/ 1};
  ThemeServices()->DrawElement(dc, details, TRect{window.left, window.top, window.right, window.bottom});
  ReleaseDC(handle, dc);
}

void TBaseVirtualTree::WMEnable(TMessage& m) {
  DefaultHandler(m);
  if (HandleAllocated()) RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
}

void TBaseVirtualTree::WMThemeChanged(TMessage& m) {
  DefaultHandler(m);
  ThemeServices()->UpdateThemes();
  if (options.paint.Contains(toThemeAware) && ThemeServices()->ThemesEnabled())
    DoStateChange({tsUseThemes});
  else
    DoStateChange({}, {tsUseThemes});
  // Buttons and lines are drawn differently with and without themes.
  PrepareBitmaps(/*needButtons=*/true, /*needLines=*/false);
  if (HandleAllocated()) RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_VALIDATE);
}

void TBaseVirtualTree::WMClipboardCommand(TMessage& m) {
  switch (m.Msg) {
    case WM_COPY: CopyToClipBoard(); break;
    case WM_CUT: CutToClipBoard(); break;
    case WM_PASTE: PasteFromClipboard(); break;
  }
}

void TBaseVirtualTree::WMChangeState(TMessage& m) {
  // Bits 0-3: tsStopValidation, tsUseCache, tsValidating, tsValidationNeeded.
  static constexpr TVirtualTreeState kCoded[] = {tsStopValidation, tsUseCache, tsValidating, tsValidationNeeded};
  TVirtualTreeStates enter, leave;
  for (int bit = 0; bit < 4; ++bit) {
    if (m.WParam & (1u << bit)) enter.Include(kCoded[bit]);
    if (m.LParam & (1 << bit)) leave.Include(kCoded[bit]);
  }
  DoStateChange(enter, leave);
}

void TBaseVirtualTree::CMMouseWheel(TMessage& m) {
  StopWheelPanning();
  m.Result = 0;
  Inherited(ClassMessageMap(), m);
  if (m.Result != 0) return;
  m.Result = 1;
  // Precision touchpads send parts of a notch: they add up until a notch is full.
  wheelRemainder += static_cast<int16_t>(HIWORD(m.WParam));
  int notches = wheelRemainder / WHEEL_DELTA;
  wheelRemainder %= WHEEL_DELTA;
  if (notches == 0) return;
  bool ctrl = (LOWORD(m.WParam) & MK_CONTROL) != 0;
  int clientHeight = ClientHeight();
  if (static_cast<int64_t>(rangeY) <= clientHeight) {
    int step = ctrl ? ClientWidth() * static_cast<int>(indent) : static_cast<int>(indent);
    SetOffsetX(offsetX + notches * step);
    return;
  }
  int nodeHeight = static_cast<int>(defaultNodeHeight);
  int pageNodes = nodeHeight > 0 ? clientHeight / nodeHeight : 1;
  if (pageNodes < 1) pageNodes = 1;
  int lines = 0;
  if (ctrl) {
    lines = notches * pageNodes;
  } else {
    UINT scrollLines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &scrollLines, 0);
    lines = scrollLines == WHEEL_PAGESCROLL ? notches * pageNodes : notches * static_cast<int>(scrollLines);
  }
  SetOffsetY(offsetY + int64_t(lines) * nodeHeight);
}

void TBaseVirtualTree::CMMouseLeave(TMessage& m) {
  if (!states.Contains(tsWheelPanning) && !states.Contains(tsWheelScrolling)) {
    StopTreeTimer(4);
    DoStateChange({}, {tsScrolling, tsScrollPending});
  }
  // Coming back, the mouse asks for a hint afresh.
  lastHintRect = TRect();
  DoStateChange({}, {tsHint});
  if (hotNode != nullptr) {
    // The handler may free the node, or the tree (held by this message).
    TCallOutScope scope(*this);
    PVirtualNode old = hotNode;
    hotNode = nullptr;
    DoHotChange(old, nullptr);
    if (scope.TreeGone()) return;
    if (!Gone(old)) InvalidateNode(old);
  }
  // The header forgets its hover and pressed column.
  if (header != nullptr) header->ForgetMouseColumns();
  Inherited(ClassMessageMap(), m);
}

void TBaseVirtualTree::CMDenySubclassing(TMessage& m) { m.Result = 1; }

void TBaseVirtualTree::WMPrintClient(TMessage& m) {
  if ((m.LParam & PRF_CHECKVISIBLE) && !IsWindowVisible(handle)) return;
  auto dc = reinterpret_cast<HDC>(m.WParam);
  if (dc == nullptr) return;
  TCanvas* canvas = New<TCanvas>();
  canvas->SetHandle(dc);
  TRect client = ClientRect();
  client.Offset(-offsetX, 0);
  PaintTree(canvas, client, TPoint{0, 0}, {ppBackground, ppFocusRect, ppSelection, ppDropMark, ppGridLines}, pfDevice,
            -offsetY);
  canvas->SetHandle(nullptr);
  canvas->Free();
}

void TBaseVirtualTree::RebuildButtonImages() {
  // The tree sets its colour while it is being constructed, before the colours
  // the buttons are drawn with exist; the window's creation draws them then.
  if (IsTreeLoading() || colors == nullptr) return;
  PrepareBitmaps(/*needButtons=*/true, /*needLines=*/false);
  if (HandleAllocated()) Invalidate();
}

void TBaseVirtualTree::CMColorChanged(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  RebuildButtonImages();
}

void TBaseVirtualTree::CMFontChanged(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  RebuildButtonImages();
  if (header != nullptr) {
    TMessage note{CM_PARENTFONTCHANGED, 0, 0, 0};
    header->HandleMessage(note);
  }
}

void TBaseVirtualTree::CMSysColorChange(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  RefreshCheckImagesForSystemColors();
  if (colors != nullptr) PrepareBitmaps(/*needButtons=*/true, /*needLines=*/true);
  TMessage sysColor{WM_SYSCOLORCHANGE, 0, 0, 0};
  DefaultHandler(sysColor);
  if (HandleAllocated()) RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
}
