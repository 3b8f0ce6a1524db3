#pragma once
// The virtual tree control: TBaseVirtualTree (a TCustomControl on top of the
// window-free TVirtualTreeCore), its option, colour and scroll-bar objects,
// the draw tree, the shared resources of all trees and the unit's helpers.
//
// Parts of the control that later units add (painting, mouse, keyboard,
// header and columns, drag and drop, clipboard, hints) reach the tree through
// protected virtual seams whose defaults are the simplest sound behaviour.
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

#include "core/Persistent.h"
#include "tree/ClipboardFormats.h"
#include "tree/ScrollMath.h"
#include "tree/TreeRect.h"
#include "tree/VirtualTreeCore.h"
#include "win/Controls.h"
#include "win/Forms.h"
#include "win/HintWindow.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/ImgList.h"

class TBaseVirtualTree;
class TVTHeader;
class TVirtualTreeColumn;
struct THeaderPaintInfo;
struct TVTCellPaintInfo;
using TVTPaintInfo = TVTCellPaintInfo;
class IVTDragManager;
class TVTDragImage;

using TBorderStyle = TFormBorderStyle;
enum TVTButtonStyle { bsRectangle, bsTriangle };
enum TVTButtonFillMode { fmTreeColor, fmWindowColor, fmShaded, fmTransparent };
enum TCheckImageKind { ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckCustom, ckSystem, ckSystemFlat };
enum TVTDragImageKind { diComplete, diMainColumnOnly, diNoImage };
enum TVTDragType { dtOLE, dtVCL };
enum TDragOperation { doCopy, doMove, doLink };
using TDragOperations = TSet<TDragOperation, 8>;
enum TVTDrawSelectionMode { smDottedRectangle, smBlendedRectangle };
enum THintAnimationType { hatNone, hatFade, hatSlide, hatSystemDefault };
enum TVTHintMode { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum TVTIncrementalSearch { isAll, isNone, isInitializedOnly, isVisibleOnly };
enum TVTSearchDirection { sdForward, sdBackward };
enum TVTSearchStart { ssAlwaysStartOver, ssLastHit, ssFocusedNode };
enum TVTLineMode { lmNormal, lmBands };
enum TVTLineStyle { lsCustomStyle, lsDotted, lsSolid };
enum TVTNodeAlignment { naFromBottom, naFromTop, naProportional };
enum TScrollBarStyle { sbmRegular, sbmFlat, sbm3D };
enum TDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };
enum TVTImageKind { ikNormal, ikSelected, ikState, ikOverlay };
enum TItemEraseAction { eaColor, eaDefault, eaNone };
enum TVTHintLineBreakStyle { hlbDefault, hlbForceSingleLine, hlbForceMultiLine };
enum TVTDropMarkMode { dmmNone, dmmLeft, dmmRight };
using TDragStateKind = TDragState;  // the class library's drag states
using TAutoScrollInterval = uint32_t;
using TVTScrollIncrement = uint16_t;
using THeaderPaintElements = uint32_t;
using TFormatArray = std::vector<uint16_t>;
using TFormatEtcArray = std::vector<FORMATETC>;

#include "tree/VTHeader.h"

// ---------------------------------------------------------------------------
// Options, colours and scroll-bar options

class TCustomVirtualTreeOptions : public TPersistent {
public:
  void Create(TBaseVirtualTree* owner_) { owner = owner_; }
  TBaseVirtualTree* Owner() const { return owner; }

  TVTPaintOptions PaintOptions() const;
  void SetPaintOptions(TVTPaintOptions value);
  TVTAnimationOptions AnimationOptions() const;
  void SetAnimationOptions(TVTAnimationOptions value);
  TVTAutoOptions AutoOptions() const;
  void SetAutoOptions(TVTAutoOptions value);
  TVTSelectionOptions SelectionOptions() const;
  void SetSelectionOptions(TVTSelectionOptions value);
  TVTMiscOptions MiscOptions() const;
  void SetMiscOptions(TVTMiscOptions value);

protected:
  // Copies the five sets into another options object through its setters.
  void AssignTo(TPersistent* dest) override;

private:
  TBaseVirtualTree* owner = nullptr;  // not owned
};

// The colours of a tree, 15 entries each published under its own name.
class TVTColors : public TPersistent {
public:
  static constexpr int kCount = 15;
  void Create(TBaseVirtualTree* owner_);
  // Entry index (0 .. 14); an index out of range reads clNone and writes nothing.
  TColor Color(int index) const;
  void SetColor(int index, TColor value);
  void Assign(TPersistent* source) override;

  TColor DisabledColor() const { return colors[0]; }
  TColor DropMarkColor() const { return colors[1]; }
  TColor DropTargetColor() const { return colors[2]; }
  TColor FocusedSelectionColor() const { return colors[3]; }
  TColor GridLineColor() const { return colors[4]; }
  TColor TreeLineColor() const { return colors[5]; }
  TColor UnfocusedSelectionColor() const { return colors[6]; }
  TColor BorderColor() const { return colors[7]; }
  TColor HotColor() const { return colors[8]; }
  TColor FocusedSelectionBorderColor() const { return colors[9]; }
  TColor UnfocusedSelectionBorderColor() const { return colors[10]; }
  TColor DropTargetBorderColor() const { return colors[11]; }
  TColor SelectionRectangleBlendColor() const { return colors[12]; }
  TColor SelectionRectangleBorderColor() const { return colors[13]; }
  TColor HeaderHotColor() const { return colors[14]; }
  void SetDisabledColor(TColor value) { SetColor(0, value); }
  void SetDropMarkColor(TColor value) { SetColor(1, value); }
  void SetDropTargetColor(TColor value) { SetColor(2, value); }
  void SetFocusedSelectionColor(TColor value) { SetColor(3, value); }
  void SetGridLineColor(TColor value) { SetColor(4, value); }
  void SetTreeLineColor(TColor value) { SetColor(5, value); }
  void SetUnfocusedSelectionColor(TColor value) { SetColor(6, value); }
  void SetBorderColor(TColor value) { SetColor(7, value); }
  void SetHotColor(TColor value) { SetColor(8, value); }
  void SetFocusedSelectionBorderColor(TColor value) { SetColor(9, value); }
  void SetUnfocusedSelectionBorderColor(TColor value) { SetColor(10, value); }
  void SetDropTargetBorderColor(TColor value) { SetColor(11, value); }
  void SetSelectionRectangleBlendColor(TColor value) { SetColor(12, value); }
  void SetSelectionRectangleBorderColor(TColor value) { SetColor(13, value); }
  void SetHeaderHotColor(TColor value) { SetColor(14, value); }

private:
  TBaseVirtualTree* owner = nullptr;  // not owned
  TColor colors[kCount] = {};
};

class TScrollBarOptions : public TPersistent {
public:
  void Create(TBaseVirtualTree* owner_) { owner = owner_; }
  bool AlwaysVisible() const { return alwaysVisible; }
  void SetAlwaysVisible(bool value);
  TScrollStyle ScrollBars() const { return scrollBars; }
  void SetScrollBars(TScrollStyle value);
  TScrollBarStyle ScrollBarStyle() const { return scrollBarStyle; }
  // Only sbmRegular is supported: another value fails an assertion, nothing is stored.
  void SetScrollBarStyle(TScrollBarStyle value);
  TVTScrollIncrement HorizontalIncrement() const { return horizontalIncrement; }
  void SetHorizontalIncrement(TVTScrollIncrement value) { horizontalIncrement = value; }
  TVTScrollIncrement VerticalIncrement() const { return verticalIncrement; }
  void SetVerticalIncrement(TVTScrollIncrement value) { verticalIncrement = value; }
  void Assign(TPersistent* source) override;

private:
  TBaseVirtualTree* owner = nullptr;  // not owned
  bool alwaysVisible = false;
  TScrollStyle scrollBars = ssBoth;
  TScrollBarStyle scrollBarStyle = sbmRegular;
  TVTScrollIncrement horizontalIncrement = 20;
  TVTScrollIncrement verticalIncrement = 20;
};

// ---------------------------------------------------------------------------
// Window events of the tree

using TVTPaintEvent = TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas)>;
using TVTAfterCellPaintEvent =
    TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node, TColumnIndex column, TRect cellRect)>;
using TVTBeforeCellPaintEvent = TVTAfterCellPaintEvent;
using TVTAfterItemEraseEvent =
    TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node, TRect itemRect)>;
using TVTAfterItemPaintEvent = TVTAfterItemEraseEvent;
using TVTBeforeItemEraseEvent = TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node,
                                            TRect itemRect, TColor& itemColor, TItemEraseAction& eraseAction)>;
using TVTBeforeItemPaintEvent = TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node,
                                            TRect itemRect, bool& customDraw)>;
using TVTColumnClickEvent = TEvent<void(TBaseVirtualTree* sender, TColumnIndex column, TShiftState shift)>;
using TVTColumnDblClickEvent = TVTColumnClickEvent;
using TVTHeaderNotifyEvent = TEvent<void(TVTHeader* sender, TColumnIndex column)>;
using TVTCreateDataObjectEvent = TEvent<void(TBaseVirtualTree* sender, IDataObject*& dataObject)>;
using TVTCreateDragManagerEvent = TEvent<void(TBaseVirtualTree* sender, IVTDragManager*& dragManager)>;
using TVTDragOverEvent = TEvent<void(TBaseVirtualTree* sender, TObject* source, TShiftState shift, TDragStateKind state,
                                     TPoint pt, TDropMode mode, int& effect, bool& accept)>;
using TVTDragDropEvent = TEvent<void(TBaseVirtualTree* sender, TObject* source, IDataObject* dataObject,
                                     const TFormatArray& formats, TShiftState shift, TPoint pt, int& effect,
                                     TDropMode mode)>;
using TVTGetCursorEvent = TEvent<void(TBaseVirtualTree* sender, TCursor& cursor)>;
using TVTGetHeaderCursorEvent = TEvent<void(TVTHeader* sender, HICON& cursor)>;
using TVTGetImageEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind kind,
                                     TColumnIndex column, bool& ghosted, int& imageIndex)>;
using TVTGetImageExEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind kind, TColumnIndex column, bool& ghosted,
                int& imageIndex, TCustomImageList*& imageList)>;
using TVTGetLineStyleEvent = TEvent<void(TBaseVirtualTree* sender, void*& bits)>;
using TVTPopupEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TPoint p,
                                  bool& askParent, TComponent*& popupMenu)>;
using TVTGetUserClipboardFormatsEvent = TEvent<void(TBaseVirtualTree* sender, TFormatEtcArray& formats)>;
using TVTHeaderClickEvent =
    TEvent<void(TVTHeader* sender, TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y)>;
using TVTHeaderDraggedEvent = TEvent<void(TVTHeader* sender, TColumnIndex column, int oldPosition)>;
using TVTHeaderDraggedOutEvent = TEvent<void(TVTHeader* sender, TColumnIndex column, TPoint dropPosition)>;
using TVTHeaderDraggingEvent = TEvent<void(TVTHeader* sender, TColumnIndex column, bool& allowed)>;
using TVTHeaderPaintEvent = TEvent<void(TVTHeader* sender, TCanvas* headerCanvas, TVirtualTreeColumn* column,
                                        TRect r, bool hover, bool pressed, TVTDropMarkMode dropMark)>;
using TVTAdvancedHeaderPaintEvent =
    TEvent<void(TVTHeader* sender, THeaderPaintInfo& paintInfo, THeaderPaintElements elements)>;
using TVTHeaderPaintQueryElementsEvent =
    TEvent<void(TVTHeader* sender, THeaderPaintInfo& paintInfo, THeaderPaintElements& elements)>;
using TVTHeaderMouseEvent =
    TEvent<void(TVTHeader* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TVTHeaderMouseMoveEvent = TEvent<void(TVTHeader* sender, TShiftState shift, int x, int y)>;
using TVTKeyActionEvent =
    TEvent<void(TBaseVirtualTree* sender, uint16_t& charCode, TShiftState& shift, bool& doDefault)>;
using TVTBackgroundPaintEvent =
    TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, TRect r, bool& handled)>;
using TVTRenderOLEDataEvent = TEvent<void(TBaseVirtualTree* sender, const FORMATETC& formatEtcIn,
                                          STGMEDIUM& medium, bool forClipboard, HRESULT& result)>;
using TVTScrollbarShowEvent = TEvent<void(TBaseVirtualTree* sender, int bar, bool show)>;
using TVTDrawNodeEvent = TEvent<void(TBaseVirtualTree* sender, const TVTPaintInfo& paintInfo)>;
using TVTGetNodeWidthEvent = TEvent<void(TBaseVirtualTree* sender, TCanvas* hintCanvas, PVirtualNode node,
                                         TColumnIndex column, int& nodeWidth)>;
using TVTDrawHintEvent = TEvent<void(TBaseVirtualTree* sender, TCanvas* hintCanvas, PVirtualNode node, TRect r,
                                     TColumnIndex column)>;
using TVTHelpContextEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, int& helpContext)>;
using TVTGetHintSizeEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TRect& r)>;

// ---------------------------------------------------------------------------
// Geometry, hit information, painting and scrolling

// Where a point lies relative to a node (bit i = member i).
enum THitPosition {
  hiAbove, hiBelow, hiNowhere, hiOnItem, hiOnItemButton, hiOnItemCheckbox, hiOnItemIndent, hiOnItemLabel,
  hiOnItemLeft, hiOnItemRight, hiOnNormalIcon, hiOnStateIcon, hiToLeft, hiToRight
};
using THitPositions = TSet<THitPosition, 16>;

// The answer of GetHitTestInfoAt.
struct THitInfo {
  PVirtualNode HitNode = nullptr;
  THitPositions HitPositions;
  TColumnIndex HitColumn = NoColumn;
};

// What one column looks like to geometry and painting (the header unit knows the columns).
struct TColumnAttributes {
  int Left = 0;  // unscrolled left edge in tree coordinates
  int Width = 0;
  int Position = 0;
  bool Visible = true;
  bool Fixed = false;
  bool ParentColor = false;
  TColor Color = clWindow;
  TAlignment Alignment = taLeftJustify;
  TBiDiMode BiDiMode = bdLeftToRight;
};

// One tree-line piece per indent level of a node.
enum TVTLineType { ltNone, ltBottomRight, ltTopDown, ltTopDownRight, ltRight, ltTopRight, ltLeft, ltLeftBottom };
using TLineImage = std::vector<TVTLineType>;

enum TVTPaintPassOption {
  ppBackground, ppColumnColor, ppFocusRect, ppSelection, ppDropMark, ppGridLines, ppMainColumnOnly, ppSelectedOnly
};
using TVTPaintPassOptions = TSet<TVTPaintPassOption, 8>;
// The options of the window's own paint.
inline TVTPaintPassOptions WindowPaintOptions() {
  return {ppBackground, ppColumnColor, ppFocusRect, ppSelection, ppDropMark, ppGridLines};
}

enum TVTImageSlot { imNormal, imState, imCheck, imOverlay };
struct TVTImageSlotInfo {
  int Index = -1;
  int XPos = 0;
  int YPos = 0;
  bool Ghosted = false;
  TCustomImageList* Images = nullptr;  // not owned
};

// What the painting pipeline hands to every cell-level operation.
struct TVTCellPaintInfo {
  TCanvas* Canvas = nullptr;  // the row bitmap's canvas; not owned
  TVTPaintPassOptions PaintOptions;
  PVirtualNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  int Position = 0;
  TRect CellRect;
  TRect ContentRect;
  int NodeWidth = 0;
  TAlignment Alignment = taLeftJustify;
  TBiDiMode BidiMode = bdLeftToRight;
  TPoint BrushOrigin;
  TVTImageSlotInfo ImageInfo[4];
};

enum TScrollUpdateOption { suoRepaintHeader, suoRepaintScrollbars, suoScrollClientArea, suoUpdateNCArea };
using TScrollUpdateOptions = TSet<TScrollUpdateOption, 8>;
inline TScrollUpdateOptions DefaultScrollUpdateFlags() {
  return {suoRepaintHeader, suoRepaintScrollbars, suoScrollClientArea, suoUpdateNCArea};
}
enum TScrollDirection { sdLeft, sdUp, sdRight, sdDown };
using TScrollDirections = TSet<TScrollDirection, 8>;

// The shapes of the wheel-panning anchor and cursor: the directions the content moves.
enum TPanningShape { psNone, psMoveAll, psMoveEW, psMoveNS, psMoveN, psMoveS, psMoveE, psMoveW, psMoveNE, psMoveNW, psMoveSE, psMoveSW };

// One step of Animate: (step, step size, data) -> go on.
using TVTAnimationCallback = std::function<bool(int step, int stepSize, void* data)>;

// ---------------------------------------------------------------------------
// Interaction types

// The standard edit actions a tree serves (ExecuteAction).
enum TVTStandardAction { saSelectAll, saCopy, saCut, saPaste, saDelete };

// What a tree hands its hint window: the node and column hinted and the text.
struct TVTHintData {
  TBaseVirtualTree* Tree = nullptr;  // not owned
  PVirtualNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  TRect HintRect;              // the draw tree's own hint size
  std::u16string DefaultHint;  // fixed before measuring (a column's hint)
  std::u16string HintText;     // the text shown
  TBiDiMode BidiMode = bdLeftToRight;
  TAlignment Alignment = taLeftJustify;
  TVTHintLineBreakStyle LineBreakStyle = hlbDefault;
};

// ---------------------------------------------------------------------------
// TBaseVirtualTree

class TBaseVirtualTree : public TCustomControl, public TVirtualTreeCore {
  QV_MESSAGE_MAP(TBaseVirtualTree, TCustomControl)

public:
  void Create(TComponent* owner) override;
  void AfterConstruction() override;
  void BeforeDestruction() override;
  // Records and columns freed by handlers are kept until the tree's last hold ends.
  bool ReleasePending() const override {
    return TCustomControl::ReleasePending() || KeepsDeadRecords() ||
           (header != nullptr && header->Columns()->KeepsGoingColumns());
  }
  // The last hold of a tree with work for it (freed, or keeping dead records
  // or columns) is handed over to end between messages: an operation called
  // from outside the tree's own messages still has the tree on its stack when
  // an inner scope lets go.
  void Unhold() override;
  ~TBaseVirtualTree() override;

  // Copies the listed properties from another tree (not into a read-only
  // tree); anything else goes to the class library's Assign.
  void Assign(TPersistent* source) override;
  // Reads the old combined options property: identifiers of the old set ("voAutoSort"...).
  void ReadOldOptions(const std::vector<std::string>& identifiers);

  // ---- Repaint requests (nothing inside an update) --------------------------
  virtual TRect InvalidateNode(PVirtualNode node);
  // The whole client area (collected while a repaint batch is open).
  void Invalidate() override;
  void InvalidateBelow(PVirtualNode node);
  void InvalidateColumn(TColumnIndex column);
  // The node's rectangle in client coordinates: the whole row without columns.
  virtual TRect GetDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped = false);
  // Top of a fully visible node in client coordinates, in 64 bits (a node may
  // lie farther from the client than an int reaches).
  int64_t DisplayTop(PVirtualNode node);

  // ---- Scrolling and scroll bars --------------------------------------------
  void UpdateScrollBars(bool doRepaint) override;
  void UpdateScrollRange() override;
  void UpdateVerticalScrollBar(bool doRepaint);
  void UpdateHorizontalScrollBar(bool doRepaint);
  bool ScrollIntoView(PVirtualNode node, bool center, bool horizontally = false) override;
  PVirtualNode GetTopNode() override;
  void SetTopNode(PVirtualNode node) override;
  uint32_t RangeX() const { return rangeX; }
  uint32_t RangeY() const { return rangeY; }
  void SetOffsetX(int value);
  void SetOffsetY(int64_t value);
  // Widest right edge of the nodes shown in the client area (no columns).
  virtual int GetMaxRightExtend();

  // ---- Geometry and hit information -----------------------------------------
  // What lies under (x, y): client coordinates with relative, else tree coordinates.
  void GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hitInfo);
  // Width column needs to show its widest visible node (initialising nodes on the way).
  int GetMaxColumnWidth(TColumnIndex column);
  // (0, 0, larger of range and client size in each direction).
  TRect GetTreeRect();
  // Text, its rectangle and font of a cell; the base tree has none (empty, the tree's font).
  virtual void GetTextInfo(PVirtualNode node, TColumnIndex column, TFont* font, TRect& r, std::u16string& text);
  // The check image index of node (1 .. 24), -1 for a node without check type.
  int GetCheckImage(PVirtualNode node);
  // Whether node shows an image of kind in column.
  bool HasImage(PVirtualNode node, TVTImageKind kind, TColumnIndex column);
  // The room node's image of kind (ikNormal or ikState) takes in column, 0
  // without one. The list is read after the query: a handler freeing the
  // form frees its lists (they leave the tree then), and a freed tree has none.
  int ImageRoom(PVirtualNode node, TVTImageKind kind, TColumnIndex column);

  // ---- Columns as geometry sees them (no columns without a header) ----------
  TColumnIndex FirstVisibleColumn() const;
  TColumnIndex LastVisibleColumn() const;
  TColumnIndex NextVisibleColumn(TColumnIndex column) const;
  TColumnIndex PreviousVisibleColumn(TColumnIndex column) const;
  // Drawing bounds of column (scrolled unless fixed); -1 gives 0 .. client width.
  void GetColumnBounds(TColumnIndex column, int& left, int& right) const;
  // Width of the visible fixed columns.
  int GetVisibleFixedWidth() const;
  // The visible column under x (tree coordinates, or client coordinates with relative), -2 for none.
  TColumnIndex ColumnFromPosition(int x, bool relative) const;
  // The column's alignment and reading direction, the tree's for -1.
  TAlignment ColumnAlignment(TColumnIndex column) const;
  TBiDiMode ColumnBiDiMode(TColumnIndex column) const;

  // Another reading direction recreates the window (scroll bar side, mirrored cells).
  void SetBiDiMode(TBiDiMode value) override;
  // The clipboard formats this tree renders (filtered by ClipboardFormats), then the owner's.
  void GetNativeClipboardFormats(TFormatEtcArray& formats);
  // The tree's own format as a stream or a length-prefixed global block (nodes of
  // the cut/copy set for the clipboard, else the selection); others through DoRenderOLEData.
  // Descendants render their own formats (the string tree its texts) and pass the rest on.
  virtual HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);

  // ---- Painting -------------------------------------------------------------
  // Paints window (tree coordinates, vertically less originY: a tree may be
  // taller than an int reaches) of the tree onto targetCanvas at target.
  void PaintTree(TCanvas* targetCanvas, TRect window, TPoint target, TVTPaintPassOptions paintOptions,
                 TPixelFormat pixelFormat = pfDevice, int64_t originY = 0);

  // ---- Scrolling ------------------------------------------------------------
  // Moves the content to value (clamped); false when nothing moved.
  bool DoSetOffsetXY(TPoint value, TScrollUpdateOptions options = DefaultScrollUpdateFlags(),
                     const TRect* clipRect = nullptr);
  bool DoSetOffsetXY(int x, int64_t y, TScrollUpdateOptions options = DefaultScrollUpdateFlags(),
                     const TRect* clipRect = nullptr);
  bool CanAutoScroll();
  TScrollDirections DetermineScrollDirections(int x, int y);
  void DoAutoScroll(int x, int y);
  void DoTimerScroll();
  // Wheel panning around position (client coordinates).
  void StartWheelPanning(TPoint position);
  void StopWheelPanning();
  void AdjustPanningCursor(int x, int y);
  // Calls callback in steps over duration ms, waiting on the clock between steps.
  void Animate(uint32_t steps, uint32_t duration, const TVTAnimationCallback& callback, void* data);
  TScrollDirections ScrollDirections() const { return scrollDirections; }
  // The panning window's messages: paints the anchor image (true when handled).
  bool PanningWindowProc(HWND wnd, TMessage& message);
  // The cursor shape panning shows now (psNone when not panning).
  TPanningShape PanningShape() const { return panningShape; }
  TPoint PanningAnchor() const { return panningAnchor; }
  HWND PanningWindow() const { return panningWindow; }

  // ---- Published properties -------------------------------------------------
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  uint32_t AnimationDuration() const { return animationDuration; }
  void SetAnimationDuration(uint32_t value);
  uint32_t AutoExpandDelay() const { return autoExpandDelay; }
  void SetAutoExpandDelay(uint32_t value) { autoExpandDelay = value; }
  uint32_t AutoScrollDelay() const { return autoScrollDelay; }
  void SetAutoScrollDelay(uint32_t value) { autoScrollDelay = value; }
  TAutoScrollInterval AutoScrollInterval() const { return autoScrollInterval; }
  void SetAutoScrollInterval(TAutoScrollInterval value) { autoScrollInterval = value; }
  TPicture* Background() const { return background; }
  void SetBackground(TPicture* value);
  int BackgroundOffsetX() const { return backgroundOffsetX; }
  void SetBackgroundOffsetX(int value);
  int BackgroundOffsetY() const { return backgroundOffsetY; }
  void SetBackgroundOffsetY(int value);
  TBorderStyle BorderStyle() const { return borderStyle; }
  void SetBorderStyle(TBorderStyle value);
  TVTButtonFillMode ButtonFillMode() const { return buttonFillMode; }
  void SetButtonFillMode(TVTButtonFillMode value);
  TVTButtonStyle ButtonStyle() const { return buttonStyle; }
  void SetButtonStyle(TVTButtonStyle value);
  TCheckImageKind CheckImageKind() const { return checkImageKind; }
  void SetCheckImageKind(TCheckImageKind value);
  // The check image list in use (null when ckCustom has no custom list); a
  // shared list is drawn the first time a tree asks for it.
  TCustomImageList* CheckImages() const;
  // The names of the formats this tree offers: sorted (without regard to
  // case), each once, only names registered for this tree's class.
  TClipboardFormats* ClipboardFormats() const { return clipboardFormats; }
  // Empties the list and adds every name of value.
  void SetClipboardFormats(TStrings* value);
  void SetClipboardFormats(const std::vector<std::string>& value);
  // True when a format of that name is registered for this tree's class.
  bool AcceptsClipboardFormat(const std::string& name);
  TVTColors* Colors() const { return colors; }
  void SetColors(TVTColors* value) { colors->Assign(value); }
  TCustomImageList* CustomCheckImages() const { return customCheckImages; }
  void SetCustomCheckImages(TCustomImageList* value);
  void SetDefaultNodeHeight(uint32_t value) override;
  TVTNodeAttachMode DefaultPasteMode() const { return defaultPasteMode; }
  void SetDefaultPasteMode(TVTNodeAttachMode value) { defaultPasteMode = value; }
  int DragHeight() const { return dragHeight; }
  void SetDragHeight(int value) { dragHeight = value; }
  int DragWidth() const { return dragWidth; }
  void SetDragWidth(int value) { dragWidth = value; }
  TVTDragImageKind DragImageKind() const { return dragImageKind; }
  void SetDragImageKind(TVTDragImageKind value) { dragImageKind = value; }
  TDragOperations DragOperations() const { return dragOperations; }
  void SetDragOperations(TDragOperations value) { dragOperations = value; }
  TVTDragType DragType() const { return dragType; }
  void SetDragType(TVTDragType value) { dragType = value; }
  TVTDrawSelectionMode DrawSelectionMode() const { return drawSelectionMode; }
  void SetDrawSelectionMode(TVTDrawSelectionMode value) { drawSelectionMode = value; }
  uint32_t EditDelay() const { return editDelay; }
  void SetEditDelay(uint32_t value) { editDelay = value; }
  THintAnimationType HintAnimation() const { return hintAnimation; }
  void SetHintAnimation(THintAnimationType value) { hintAnimation = value; }
  TVTHintMode HintMode() const { return hintMode; }
  void SetHintMode(TVTHintMode value) { hintMode = value; }
  TCursor HotCursor() const { return hotCursor; }
  void SetHotCursor(TCursor value) { hotCursor = value; }
  TCustomImageList* Images() const { return images; }
  void SetImages(TCustomImageList* value);
  TCustomImageList* StateImages() const { return stateImages; }
  void SetStateImages(TCustomImageList* value);
  TVTIncrementalSearch IncrementalSearch() const { return incrementalSearch; }
  void SetIncrementalSearch(TVTIncrementalSearch value);
  TVTSearchDirection IncrementalSearchDirection() const { return incrementalSearchDirection; }
  void SetIncrementalSearchDirection(TVTSearchDirection value) { incrementalSearchDirection = value; }
  TVTSearchStart IncrementalSearchStart() const { return incrementalSearchStart; }
  void SetIncrementalSearchStart(TVTSearchStart value) { incrementalSearchStart = value; }
  uint32_t IncrementalSearchTimeout() const { return incrementalSearchTimeout; }
  void SetIncrementalSearchTimeout(uint32_t value) { incrementalSearchTimeout = value; }
  uint32_t Indent() const { return indent; }
  void SetIndent(uint32_t value);
  TVTLineMode LineMode() const { return lineMode; }
  void SetLineMode(TVTLineMode value);
  TVTLineStyle LineStyle() const { return lineStyle; }
  void SetLineStyle(TVTLineStyle value);
  int Margin() const { return margin; }
  void SetMargin(int value);
  TVTNodeAlignment NodeAlignment() const { return nodeAlignment; }
  void SetNodeAlignment(TVTNodeAlignment value);
  TScrollBarOptions* ScrollBarOptions() const { return scrollBarOptions; }
  void SetScrollBarOptions(TScrollBarOptions* value) { scrollBarOptions->Assign(value); }
  uint8_t SelectionBlendFactor() const { return selectionBlendFactor; }
  void SetSelectionBlendFactor(uint8_t value) { selectionBlendFactor = value; }
  uint32_t SelectionCurveRadius() const { return selectionCurveRadius; }
  void SetSelectionCurveRadius(uint32_t value);
  int TextMargin() const { return textMargin; }
  void SetTextMargin(int value);
  TCustomVirtualTreeOptions* TreeOptions() const { return treeOptions; }
  void SetTreeOptions(TCustomVirtualTreeOptions* value) { treeOptions->Assign(value); }
  bool WantTabs() const { return wantTabs; }
  void SetWantTabs(bool value) { wantTabs = value; }
  // The search text and position of the incremental search (Part of the search unit).
  const std::u16string& SearchBuffer() const { return searchBuffer; }

  // ---- Window events --------------------------------------------------------
  TTreeEvent<TVTAdvancedHeaderPaintEvent> OnAdvancedHeaderDraw;
  TTreeEvent<TVTAfterCellPaintEvent> OnAfterCellPaint;
  TTreeEvent<TVTAfterItemEraseEvent> OnAfterItemErase;
  TTreeEvent<TVTAfterItemPaintEvent> OnAfterItemPaint;
  TTreeEvent<TVTPaintEvent> OnAfterPaint;
  TTreeEvent<TVTBeforeCellPaintEvent> OnBeforeCellPaint;
  TTreeEvent<TVTBeforeItemEraseEvent> OnBeforeItemErase;
  TTreeEvent<TVTBeforeItemPaintEvent> OnBeforeItemPaint;
  TTreeEvent<TVTPaintEvent> OnBeforePaint;
  TTreeEvent<TVTColumnClickEvent> OnColumnClick;
  TTreeEvent<TVTColumnDblClickEvent> OnColumnDblClick;
  TTreeEvent<TVTHeaderNotifyEvent> OnColumnResize;
  TTreeEvent<TVTCreateDataObjectEvent> OnCreateDataObject;
  TTreeEvent<TVTCreateDragManagerEvent> OnCreateDragManager;
  TTreeEvent<TVTDragOverEvent> OnDragOver;
  TTreeEvent<TVTDragDropEvent> OnDragDrop;
  TTreeEvent<TVTGetCursorEvent> OnGetCursor;
  TTreeEvent<TVTGetHeaderCursorEvent> OnGetHeaderCursor;
  TTreeEvent<TVTGetImageEvent> OnGetImageIndex;
  TTreeEvent<TVTGetImageExEvent> OnGetImageIndexEx;
  TTreeEvent<TVTGetLineStyleEvent> OnGetLineStyle;
  TTreeEvent<TVTPopupEvent> OnGetPopupMenu;
  TTreeEvent<TVTGetUserClipboardFormatsEvent> OnGetUserClipboardFormats;
  TTreeEvent<TVTHeaderClickEvent> OnHeaderClick;
  TTreeEvent<TVTHeaderClickEvent> OnHeaderDblClick;
  TTreeEvent<TVTHeaderDraggedEvent> OnHeaderDragged;
  TTreeEvent<TVTHeaderDraggedOutEvent> OnHeaderDraggedOut;
  TTreeEvent<TVTHeaderDraggingEvent> OnHeaderDragging;
  TTreeEvent<TVTHeaderPaintEvent> OnHeaderDraw;
  TTreeEvent<TVTHeaderPaintQueryElementsEvent> OnHeaderDrawQueryElements;
  TTreeEvent<TVTHeaderMouseEvent> OnHeaderMouseDown;
  TTreeEvent<TVTHeaderMouseMoveEvent> OnHeaderMouseMove;
  TTreeEvent<TVTHeaderMouseEvent> OnHeaderMouseUp;
  TTreeEvent<TVTKeyActionEvent> OnKeyAction;
  TTreeEvent<TVTHelpContextEvent> OnGetHelpContext;
  TTreeEvent<TVTBackgroundPaintEvent> OnPaintBackground;
  TTreeEvent<TVTRenderOLEDataEvent> OnRenderOLEData;
  TTreeEvent<TVTScrollbarShowEvent> OnShowScrollbar;

  // ---- Window event-firing operations ----------------------------------------
  virtual void DoAdvancedHeaderDraw(THeaderPaintInfo& paintInfo, THeaderPaintElements elements);
  virtual void DoAfterCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, TRect cellRect);
  virtual void DoAfterItemErase(TCanvas* canvas, PVirtualNode node, TRect itemRect);
  virtual void DoAfterItemPaint(TCanvas* canvas, PVirtualNode node, TRect itemRect);
  virtual void DoAfterPaint(TCanvas* canvas);
  virtual void DoBeforeCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, TRect cellRect);
  virtual void DoBeforeItemErase(TCanvas* canvas, PVirtualNode node, TRect itemRect, TColor& color,
                                 TItemEraseAction& eraseAction);
  virtual bool DoBeforeItemPaint(TCanvas* canvas, PVirtualNode node, TRect itemRect);
  virtual void DoBeforePaint(TCanvas* canvas);
  virtual void DoColumnClick(TColumnIndex column, TShiftState shift);
  virtual void DoColumnDblClick(TColumnIndex column, TShiftState shift);
  virtual void DoColumnResize(TColumnIndex column);
  virtual IDataObject* DoCreateDataObject();
  virtual IVTDragManager* DoCreateDragManager();
  virtual bool DoDragOver(TObject* source, TShiftState shift, TDragStateKind state, TPoint pt, TDropMode mode,
                          int& effect);
  virtual void DoDragDrop(TObject* source, IDataObject* dataObject, const TFormatArray& formats, TShiftState shift,
                          TPoint pt, int& effect, TDropMode mode);
  virtual void DoGetCursor(TCursor& cursor);
  virtual void DoGetHeaderCursor(HICON& cursor);
  virtual TCustomImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                            bool& ghosted, int& index);
  virtual void DoGetLineStyle(void*& bits);
  virtual std::u16string DoGetNodeHint(PVirtualNode node, TColumnIndex column, TVTHintLineBreakStyle& lineBreakStyle);
  virtual std::u16string DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                          TVTHintLineBreakStyle& lineBreakStyle);
  virtual int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr);
  virtual TComponent* DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position);
  virtual void DoGetUserClipboardFormats(TFormatEtcArray& formats);
  virtual void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderDragged(TColumnIndex column, int oldPosition);
  virtual void DoHeaderDraggedOut(TColumnIndex column, TPoint dropPosition);
  virtual bool DoHeaderDragging(TColumnIndex column);
  virtual void DoHeaderDraw(TCanvas* canvas, TVirtualTreeColumn* column, TRect r, bool hover, bool pressed,
                            TVTDropMarkMode dropMark);
  virtual void DoHeaderDrawQueryElements(THeaderPaintInfo& paintInfo, THeaderPaintElements& elements);
  virtual void DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderMouseMove(TShiftState shift, int x, int y);
  virtual void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual bool DoKeyAction(uint16_t& charCode, TShiftState& shift);
  virtual bool DoPaintBackground(TCanvas* canvas, TRect r);
  virtual void DoPaintNode(const TVTPaintInfo& paintInfo) {}
  virtual HRESULT DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
  virtual void DoShowScrollbar(int bar, bool show);
  virtual THintAnimationType DoGetAnimationType();
  // Starts editing the focused node (when allowed); see the edit link.
  virtual void DoEdit();

  // ---- Selection, focus, clipboard, editing and dragging ------------------------
  // True while a rubber band is pending or being drawn.
  bool IsMouseSelecting() const { return states.Contains(tsDrawSelPending) || states.Contains(tsDrawSelecting); }
  bool IsEditing() const { return states.Contains(tsEditing); }
  // Moves the focus to another column (when OnFocusChanging allows it).
  void SetFocusedColumn(TColumnIndex column);
  void SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column);
  // Puts the selected nodes on the clipboard and marks them (nothing without a selection).
  virtual void CopyToClipBoard();
  // As CopyToClipBoard, for moving (nothing on a read-only tree).
  virtual void CutToClipBoard();
  // Unmarks the cut or copied nodes.
  void CancelCutOrCopy();
  // Deletes the nodes marked by a cut once they were pasted elsewhere.
  void DeleteMarkedCutNodes();
  // Inserts the nodes of the clipboard's data object at the focused node by
  // DefaultPasteMode (moves them when they were cut in this program); true
  // when something was inserted. Raises "Clipboard operation failed." (2007)
  // when the clipboard cannot be read; nothing on a read-only tree.
  virtual bool PasteFromClipboard();
  // Serves a standard edit action; false when it was not handled.
  bool ExecuteAction(TVTStandardAction action);
  // Starts editing node in column (-1 without header columns); asserts on a
  // null node or a bad column. True when the editor runs (or ran already).
  virtual bool EditNode(PVirtualNode node, TColumnIndex column);
  // Ends editing, keeping the new text; true when nothing is being edited.
  bool EndEditNode();
  // Starts a drag: at once from the last click, or once the mouse moved
  // threshold pixels (negative: the system's drag threshold).
  void BeginDrag(bool immediate, int threshold = -1);
  bool Dragging() const;
  // The drag manager (made on first use; the application may supply it).
  IVTDragManager* GetDragManager();

  // ---- Drag and drop (DragDrop.cpp, DropTarget.cpp; the picture: DragImage.cpp) --
  // The effect a drop would have: from this tree move, else copy, then by keys (each only when allowed).
  virtual int SuggestDropEffect(TObject* source, TShiftState shift, TPoint pt, int allowedEffects);
  // A class-library drag ended: the button-up the drag swallowed is sent to the tree.
  void DragFinished();
  bool CanShowDragImage() const { return dragImageKind != diNoImage; }
  // The node under the mouse during a drag over this tree (null for none) and how it is met.
  PVirtualNode DropTargetNode() const { return dropTargetNode; }
  // The picture of the dragged nodes (owned by the tree; made on first use).
  TVTDragImage* DragImage();
  // Repaints rect (client) of tree under a floating drag image without flicker.
  static void UpdateWindowAndDragImage(TBaseVirtualTree* tree, TRect rect, bool updateNCArea, bool reshowDragImage);
  // Opens the file for reading (others may read) and loads it as a node stream.
  virtual void LoadFromFile(const std::u16string& fileName);
  bool CanFocus() const override;
  // Stops window timer id (nothing without a window).
  void StopTimer(int id) { StopTreeTimer(id); }

  // ---- Transport: data objects, drops, moving and copying nodes ------------
  // The tree a data object comes from: a live tree of this process named by
  // its "Virtual Tree Reference"; null for foreign or forged data.
  TBaseVirtualTree* GetTreeFromDataObject(IDataObject* dataObject);
  // Inserts the nodes of dataObject's "Virtual Tree Data" at targetNode (the
  // root for null) by mode; optimized moves the source's dragged or cut nodes
  // instead of copying (source must then be a live tree of this process).
  // True when nodes were inserted or moved; bad data raises EVirtualTreeError
  // and inserts nothing.
  virtual bool ProcessOLEData(TBaseVirtualTree* source, IDataObject* dataObject, PVirtualNode targetNode,
                              TVTNodeAttachMode mode, bool optimized);
  // The usual handling of a drop: a move from a tree of this process moves the
  // nodes itself and answers effect none (the source deletes nothing, and its
  // dragged nodes are forgotten); anything else is copied with ProcessOLEData.
  virtual void ProcessDrop(IDataObject* dataObject, PVirtualNode targetNode, int& effect, TVTNodeAttachMode mode);
  // Moves source (of this tree), or only its children, to target (this
  // tree's root with amAddChildFirst for null) in this or another tree.
  // Nothing for amNoWhere, a null source or the root, a read-only tree;
  // raises "Target node cannot be a child node of the node to be moved."
  // (2001) for a target inside source.
  void MoveTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode, bool childrenOnly);
  // As MoveTo, but source stays; returns the new node (the last one made
  // with childrenOnly), null when nothing was copied.
  PVirtualNode CopyTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode, bool childrenOnly);
  // The drop-target side of OLE drag and drop (the drag manager calls them;
  // pt in screen coordinates, effect the OLE drop effects; DropTarget.cpp):
  // the node under the mouse becomes the drop target, OnDragOver decides.
  virtual HRESULT DragEnter(DWORD keyState, TPoint pt, int& effect);
  virtual HRESULT DragOver(TObject* source, DWORD keyState, TDragStateKind state, TPoint pt, int& effect);
  virtual void DragLeave();
  // E_FAIL when the drop was refused or its effect became none (OnDragDrop is not fired then).
  virtual HRESULT DragDrop(IDataObject* dataObject, DWORD keyState, TPoint pt, int& effect);
  // The nodes of the running OLE drag (the drag-and-drop unit fills it; an
  // optimized move empties it, so that nothing moved is deleted afterwards).
  std::vector<PVirtualNode>& DragSelection() { return dragSelection; }
  // The nodes of the running drag that are still there, in order.
  std::vector<PVirtualNode> DraggedNodes() const;

  // ---- Mouse, keyboard and search -------------------------------------------
  // Moves the focus to the next node matching the typed text; ch is one UTF-16 unit.
  void HandleIncrementalSearch(char16_t ch);
  PVirtualNode LastSearchHit() const { return lastSearchNode; }

  // ---- Header -----------------------------------------------------------------
  TVTHeader* Header() const { return header; }
  void SetHeader(TVTHeader* value);
  // The header rectangle in window coordinates (empty when the header is hidden).
  TRect HeaderRect() const { return headerRect; }
  // Recomputes the header rectangle from the window's borders and the header height.
  void UpdateHeaderRect();
  // How far the window's border (border, sizing frame, client edge) reaches in,
  // negative in both directions (for InflateRect).
  TSize GetBorderDimensions() const;
  // The main column changed: editing ends (the string tree also drops its width cache).
  virtual void MainColumnChanged();

protected:
  void LastHoldEnded() override;
  // ---- Core hooks ------------------------------------------------------------
  bool HasWindowHandle() const override { return HandleAllocated(); }
  bool IsTreeLoading() const override { return ComponentState().Contains(csLoading); }
  bool IsTreeDestroying() const override { return ComponentState().Contains(csDestroying); }
  bool IsTreeDesigning() const override { return ComponentState().Contains(csDesigning); }
  void InvalidateWhole() override;
  void InvalidateNodeArea(PVirtualNode node) override;
  void InvalidateBelowNode(PVirtualNode node) override { InvalidateBelow(node); }
  int TreeClientHeight() const override;
  void CancelHint() override;
  void EmptyClipboardMark() override;
  TCanvas* MeasureCanvas() override { return Canvas(); }
  void StopTreeTimer(int id) override;
  void SetRedraw(bool on) override;
  void ScheduleCacheValidation() override;
  void CancelCacheValidation() override;
  // Marks a change (or a structure change with its reason) pending: the node
  // becomes the pending one, a second different reason makes it crAccumulated.
  // node becomes null when the pending state's handler freed it meanwhile.
  void AdviseChangeEvent(bool structureChange, PVirtualNode& node, TChangeReason reason);
  // Reported at once, after ChangeDelay ms (timers 5 and 6), or when the update ends.
  void StructureChange(PVirtualNode node, TChangeReason reason) override;
  void Change(PVirtualNode node) override;
  // The in-place editor follows its cell.
  void UpdateEditBounds() override;

  // ---- Window ----------------------------------------------------------------
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  // Every selected node that is not disabled gets vsCutOrCopy.
  void MarkCutCopyNodes();
  void Paint() override;
  // A paint asked for while painting (an event handler updating the window)
  // leaves the canvas alone and paints that area again afterwards.
  void PaintWindow(HDC dc) override;
  // The number of header columns and their total width.
  virtual int HeaderColumnCount() const;
  virtual int HeaderColumnsWidth() const;
  // The header's count of column set and order changes (TVirtualTreeColumns::Changes):
  // a walk over columns that called a handler stops when it moved on.
  uint32_t ColumnSetChanges() const { return header != nullptr ? header->Columns()->Changes() : 0; }
  TColumnIndex HeaderSortColumn() const override;
  TSortDirection HeaderSortDirection() const override;
  TColumnIndex HeaderMainColumn() const override;
  // Column facts from the header: the column at a display position (-1 past
  // the end), one column's attributes (false for no column), and the header's
  // auto-resize option, visibility and height.
  virtual TColumnIndex HeaderColumnAtPosition(int position) const;
  virtual bool HeaderColumnAttributes(TColumnIndex column, TColumnAttributes& attributes) const;
  virtual bool HeaderAutoResize() const;
  virtual bool HeaderVisible() const;
  virtual int HeaderHeight() const;
  // Rebuilds the expand-button bitmaps and/or the tree-line brush.
  virtual void PrepareBitmaps(bool needButtons, bool needLines);
  // The clock of scrolling and animation (milliseconds, wrapping at 2^32).
  virtual uint32_t CurrentTick() const;
  // Whether the tree is the current OLE drop target (the drag-and-drop unit knows).
  virtual bool IsCurrentDropTarget() const;
  // The rubber band follows the cursor (client point) after the timer scrolled the content.
  void DrawSelectionAfterScroll(int x, int y, int deltaX, int deltaY);
  void InvalidateClientRect(const TRect& r);
  // Timer 4: auto-scroll steps after the first delay, and wheel panning.
  void ScrollTimerFired();
  // The auto-scroll directions at a client point; waiting tells that they
  // wait for the delay (the mouse in the edge zone inside the tree).
  TScrollDirections ScrollDirectionsAt(int x, int y, bool& waiting);
  // Milliseconds until the edge zone's delay has passed (0 when not waiting).
  uint32_t AutoScrollDelayLeft() const;
  // Sleeps on the message queue (painting meanwhile) until the clock reaches end.
  void WaitForTick(uint32_t end);
  void AnimateToggle(PVirtualNode node, bool expanding) override;
  TPanningShape PanningShapeAt(int x, int y) const;
  // Hit positions inside a cell (offset from the cell's left, right = cell width).
  virtual void DetermineHitPositionLTR(THitInfo& hitInfo, int offset, int right, TAlignment alignment);
  virtual void DetermineHitPositionRTL(THitInfo& hitInfo, int offset, int right, TAlignment alignment);

  // ---- Paint elements (the pipeline calls them per cell) ---------------------
  virtual void PaintCheckImage(const TVTCellPaintInfo& paintInfo);
  virtual void PaintImage(TVTCellPaintInfo& paintInfo, TVTImageSlot slot, bool doOverlay);
  virtual void PaintNodeButton(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const TRect& cellRect,
                               int buttonX, int buttonY, TBiDiMode bidiMode);
  virtual void PaintTreeLines(const TVTCellPaintInfo& paintInfo, int vAlignment, int indentSize,
                              const TLineImage& lineImage);
  virtual void PaintSelectionRectangle(TCanvas* canvas, int windowOrgX, const TRect& selectionRect,
                                       const TRect& targetRect);
  virtual void AdjustPaintCellRect(TVTCellPaintInfo& paintInfo, TColumnIndex& nextNonEmpty);
  // Bevels and the border ring (in BorderColor) on the window DC, inside the window's border.
  virtual void PaintBorder(HDC windowDC);
  // Watches canvas's font while a handler may change it: FontChanged sets
  // fontChanged and calls the handler it stands in for.
  void RedirectFontChangeEvent(TCanvas* canvas);
  void RestoreFontChangeEvent(TCanvas* canvas);
  void FontChanged(TObject* sender);
  using TCustomControl::FontChanged;
  bool fontChanged = false;
  TNotifyEvent savedFontChange;  // the canvas font's handler while redirected
  // How the last drag-over met the drop target.
  TDropMode LastDropMode() const { return lastDropMode; }
  virtual void DoPaintDropMark(TCanvas* canvas, PVirtualNode node, TRect r);
  void DrawDottedHLine(const TVTCellPaintInfo& paintInfo, int left, int right, int top);
  void DrawDottedVLine(const TVTCellPaintInfo& paintInfo, int top, int bottom, int left);
  void DrawLineImage(const TVTCellPaintInfo& paintInfo, int x, int y, int h, int vAlign, TVTLineType style,
                     bool reverse);
  // Fills the image slot through DoGetImageIndex (list: the handler's or defaultImages).
  void GetImageIndex(TVTCellPaintInfo& paintInfo, TVTImageKind kind, TVTImageSlot slot,
                     TCustomImageList* defaultImages);
  // Registers (accept) or revokes the window as an OLE drop target (the drag-and-drop unit does it).
  virtual void UpdateDropTarget(bool accept);
  // The options class a tree makes (descendants answer their own).
  virtual TCustomVirtualTreeOptions* CreateOptions();
  // The header (class of the tree) and a new column of its collection; descendants make their own.
  virtual TVTHeader* CreateHeader();
  virtual TVirtualTreeColumn* CreateColumn(TVirtualTreeColumns* collection);
  // The header sees every message first (HandleMessage) and may consume it.
  void WndProc(TMessage& message) override;
  void WMNCCalcSize(TMessage& m);
  void WMNCHitTest(TMessage& m);
  void WMNCPaint(TMessage& m);
  void WMTimer(TMessage& m);
  void WMVScroll(TMessage& m);
  void WMHScroll(TMessage& m);
  void WMSize(TMessage& m);

  // ---- Selection by mouse and rubber band ---------------------------------
  void InvalidateSelection() override;
  void AdjustFocusedColumnForSelection() override;
  bool DoFocusNode(PVirtualNode node, bool ask) override;
  virtual void DoPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position);
  // Starts an OLE drag at point (the drag-and-drop unit does it).
  virtual void DoDragging(TPoint p);
  // Timer 1: the drop target hovered long enough expands.
  virtual void DoDragExpand();
  // Renders the selected nodes around hotSpot (client) and hands the picture to the drag image.
  void PrepareDragImage(TPoint hotSpot, IDataObject* dataObject);
  // After a drag another program answered with a move: deletes the dragged
  // nodes that are still where the drag found them.
  void DeleteMovedDragNodes();
  // A node moved inside this tree during a drag is not deleted as a moved node afterwards.
  void DoNodeMoved(PVirtualNode node) override;
  void NodeForgotten(PVirtualNode node) override;
  // The hint shown for node goes with it.
  void ForgetHintNode(PVirtualNode node);

public:
  // The node whose hint was asked last; null once it went.
  PVirtualNode HintNode() const { return hintData.Node; }

protected:
  void DestroyWnd() override;
  void WMDestroy(TMessage& m);
  // Class-library drag and drop over the tree (dock drags are not the tree's).
  void CMDrag(TMessage& m);
  // A class-library drag of the tree ended: DragFinished.
  void DoEndDrag(TControl* target, int x, int y) override;
  // A drag object handed over at the start enters tsUserDragObject.
  void DoStartDrag(TDragObject*& dragObject) override;
  void DragCanceled() override;
  // With toAutoChangeScale the default node height and the header scale too.
  void ChangeScale(int m, int d) override;
  int vclDragEffect = DROPEFFECT_NONE;        // the effect the last class-library drag-over chose
  bool vclDragMoved = false;   // the class-library drag went past the drag distance: it ends in a drop
  bool releasingDrag = false;  // DragFinished is handing the tree the release such a drag took
  // Shift state of an OLE key state plus the buttons held when the drag entered.
  TShiftState DragShiftState(DWORD keyState) const;
  // Whether the system's helper draws source's picture over this tree (else the tree shows it).
  bool SystemDrawsDragImage(TBaseVirtualTree* source) const;
  // Drop mode at a client point for hitInfo (toShowDropmark: above or below by the row's half).
  TDropMode DropModeAt(const THitInfo& hitInfo, TPoint pt);
  TVTDragImage* dragImage = nullptr;         // owned
  std::vector<PVirtualNode> dragNodesTaken;  // dragged nodes moved inside this tree or freed meanwhile
  std::vector<PVirtualNode> dragNodesFreed;  // nodes freed while a drag runs (a record may be reused)
  DWORD dragButtons = 0;                     // MK_*BUTTON held when a drag entered
  bool dropTargetRegistered = false;
  // Can the user edit node in column (toEditable, not disabled, OnEditing agrees)?
  virtual bool CanEdit(PVirtualNode node, TColumnIndex column);
  // Starts a mouse or key check on node: pressed image, pending state.
  bool StartCheck(PVirtualNode node, TVirtualTreeState pendingState);

  // ---- Repaint batching -------------------------------------------------------
  // Between Begin and End (nested) repaint requests are collected into one
  // rectangle (or the whole window) and handed to the system once at the end,
  // so a held key costs one request per step.
  void BeginInvalidationBatch() override;
  void EndInvalidationBatch() override;
  // A client rectangle to repaint, collected while a batch is open.
  void InvalidateRowRect(const TRect& r);
  void DoScroll(int deltaX, int deltaY) override;
  int invalidationBatch = 0;
  TRect pendingInvalid;
  bool pendingWholeInvalid = false;

  // ---- Hints --------------------------------------------------------------------
  void CMHintShow(TMessage& m);
  void CMHintShowPause(TMessage& m);
  // The class of the tree's hint windows (TVirtualTreeHintWindow).
  virtual THintWindowFactory GetHintWindowClass();
  void WMNCDestroy(TMessage& m);

  // ---- Mouse and rubber band ------------------------------------------------
  void HandleMouseDown(TMessage& message, const THitInfo& hitInfo);
  void HandleMouseUp(WPARAM keys, const THitInfo& hitInfo);
  void HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo);
  void HandleHotTrack(int x, int y);
  void MouseMove(TShiftState shift, int x, int y) override;
  // Moves the band's corner to (x, y) (client coordinates); true when it changed.
  bool CalculateSelectionRect(int x, int y);
  // Applies the band's change to the selection; true when the selection changed.
  bool HandleDrawSelection(int x, int y);
  bool SelectInRectangleLTR(TColumnIndex mainColumn, int nodeLeft, const TTreeRect& oldRect,
                            const TTreeRect& newRect, TAlignment alignment, int maxRight);
  bool SelectInRectangleRTL(TColumnIndex mainColumn, int nodeLeft, const TTreeRect& oldRect,
                            const TTreeRect& newRect, TAlignment alignment, int maxRight);
  // A click with Shift or Ctrl in a multi-select tree.
  void HandleClickSelection(PVirtualNode node, TShiftState shift, bool dragPending);
  virtual bool HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position);
  // The header is dragging or sizing a column.
  bool HeaderBusy() const;
  void RouteMouse(TMessage& m, void (TBaseVirtualTree::*handler)(TMessage&, const THitInfo&));
  void HandleMouseUpMessage(TMessage& m, const THitInfo& hitInfo);
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  void WMLButtonDblClk(TMessage& m);
  void WMRButtonDown(TMessage& m);
  void WMRButtonUp(TMessage& m);
  void WMRButtonDblClk(TMessage& m);
  void WMMButtonDown(TMessage& m);
  void WMMButtonUp(TMessage& m);
  void WMMButtonDblClk(TMessage& m);

  // ---- Keyboard and window messages -----------------------------------------
  // Fits every visible, resizable column to its content (animated, in
  // position order), or gives each back its previous width (last position
  // first): Ctrl with + and -.
  void FitColumnsToContent(bool restore);
  void ShowContextMenuAtFocus();
  void ShowHelpForFocusedNode();
  void StopFocusTimers();
  void StopIncrementalSearch();
  PVirtualNode SearchStep(PVirtualNode node, bool forward);
  void SearchFor(char16_t ch, bool backspace);
  void HandleNavigationKey(uint16_t key, TShiftState shift);
  void WMKeyDown(TMessage& m);
  void WMKeyUp(TMessage& m);
  void WMChar(TMessage& m);
  void WMGetDlgCode(TMessage& m);
  void WMSetFocus(TMessage& m);
  void WMKillFocus(TMessage& m);
  void WMCancelMode(TMessage& m);
  void WMContextMenu(TMessage& m);
  void WMSetCursor(TMessage& m);
  // Paints the visible header in the non-client frame.
  void PaintHeaderInFrame();
  void WMEnable(TMessage& m);
  void WMThemeChanged(TMessage& m);
  void WMClipboardCommand(TMessage& m);
  void WMChangeState(TMessage& m);
  void WMPrintClient(TMessage& m);
  // The header into the given device context, then the default printing.
  void WMPrint(TMessage& m);
  // The control under the last message's position (or the nearest of ours
  // above a foreign window there) is an embedded OLE control.
  bool EmbeddedControlAtLastMessage() const;
  // Colour or font changed: the expand buttons are drawn again.
  void RebuildButtonImages();
  void CMColorChanged(TMessage& m);
  void CMFontChanged(TMessage& m);
  void CMSysColorChange(TMessage& m);
  void CMMouseWheel(TMessage& m);
  void CMMouseLeave(TMessage& m);
  void CMDenySubclassing(TMessage& m);
  void TVMGetItemRect(TMessage& m);
  void TVMGetNextItem(TMessage& m);
  void TVMGetItem(TMessage& m);
  // True when node is a node of this tree (a handle from another program is checked before use).
  bool IsNodeOfTree(PVirtualNode node) const;

  // The data object a copy or cut puts on the clipboard: a TVTDataObject for the clipboard.
  virtual IDataObject* CreateClipboardDataObject();
  void PutSelectionOnClipboard(TVirtualTreeState pending);

  // Interaction state.
  TTreeRect lastSelRect;     // rubber band, absolute tree coordinates
  TTreeRect newSelRect;
  TShiftState drawSelShiftState;
  TPoint lastClickPos;       // client coordinates
  int dragThreshold = 0;
  IVTDragManager* dragManager = nullptr;  // reference held
  // Rows invalidated one by one in the running check propagation; past a
  // screenful the whole window is invalidated once instead.
  uint32_t propagationSerialSeen = 0;
  uint32_t propagationRowsInvalidated = 0;
  uint8_t changeTimersRunning = 0;  // started change timers: 1 change, 2 structure change
  // The cache timer runs (it stops itself once nothing is left to build):
  // changes one after another then cost no window-server round trip each.
  bool cacheTimerRunning = false;
  // Scroll bars to set when the batch of repaints of a check change ends.
  bool scrollBarsPending = false;
  bool scrollBarsRepaint = false;
  IDataObject* clipboardObject = nullptr;  // what this tree put on the clipboard (reference held)
  std::vector<PVirtualNode> dragSelection;  // nodes of the running OLE drag
  // Flushes this tree's data on the clipboard and detaches its data objects
  // and drag manager before the tree goes.
  void ReleaseTransport();
  // Writes the node chunks of nodes, then reads them into target's tree at
  // target by mode, in order; onNew sees each new node and answers false when
  // it deleted it again. Nodes a handler frees before they are written leave
  // the list. Answers how many of the (rest of the) list arrived: fewer when a
  // handler freed the place of the run. When reading raises, every node read
  // leaves the target again.
  size_t TransferNodes(std::vector<PVirtualNode>& nodes, PVirtualNode target, TVTNodeAttachMode mode,
                       const std::function<bool(PVirtualNode)>& onNew);
  // Moves nodes of this tree (in order, none inside another or holding
  // target) to target in this or another tree as MoveTo would one by one,
  // in linear time.
  void MoveNodes(const std::vector<PVirtualNode>& nodes, PVirtualNode target, TVTNodeAttachMode mode);
  // Makes the state changes that taking nodes away and putting them back
  // makes inside an update, so that their handlers run before the first node
  // is taken away, never between a node taken away and put back. The caller
  // looks at the nodes, the target and the tree again afterwards.
  void EnterRelinkStates(const std::vector<PVirtualNode>& nodes);
  // Deletes the nodes a cross-tree move took (those not leaving already):
  // all the children of one parent in one pass, else one by one.
  void DeleteArrived(const std::vector<PVirtualNode>& nodes);
  int wheelRemainder = 0;    // wheel delta below a notch, kept for the next message
  TColumnIndex clickedColumn = NoColumn;  // column of the last click in the tree's body
  TRect lastHintRect;        // client; while the mouse stays inside, no new hint is computed
  TVTHintData hintData;      // what the hint window shows for this tree
  void ImageListChange(TObject* sender);

  friend void QueueTree(TBaseVirtualTree* tree);
  friend void UnqueueTree(TBaseVirtualTree* tree);
  friend class TCustomVirtualTreeOptions;
  friend class TVTColors;
  friend class TScrollBarOptions;
  friend class TVTHeader;
  friend class TVirtualTreeColumns;
  friend class TVirtualTreeColumn;

  uint32_t rangeX = 0;
  uint32_t rangeY = 0;
  int barsAppearing = 0;  // inside the showing of a scroll bar that appears
  TVTHeader* header = nullptr;  // owned
  TRect headerRect;
  std::u16string searchBuffer;

private:
  void HookImageList(TCustomImageList*& slot, TChangeLink* link, TCustomImageList* value);
  void RepaintUnlessLoading();
  // Expands every collapsed ancestor of node.
  // False when an expand handler freed node (or an ancestor) on the way.
  bool ExpandAncestors(PVirtualNode node);

  TAlignment alignment = taLeftJustify;
  uint32_t animationDuration = 200;
  uint32_t autoExpandDelay = 1000;
  uint32_t autoScrollDelay = 1000;
  TAutoScrollInterval autoScrollInterval = 1;
  TPicture* background = nullptr;  // owned
  int backgroundOffsetX = 0;
  int backgroundOffsetY = 0;
  TBorderStyle borderStyle = bsSingle;
  TVTButtonFillMode buttonFillMode = fmTreeColor;
  TVTButtonStyle buttonStyle = bsRectangle;
  TCheckImageKind checkImageKind = ckLightCheck;
  TClipboardFormats* clipboardFormats = nullptr;  // owned
  TVTColors* colors = nullptr;                    // owned
  TCustomImageList* customCheckImages = nullptr;  // not owned
  TVTNodeAttachMode defaultPasteMode = amAddChildLast;
  int dragHeight = 350;
  int dragWidth = 200;
  TVTDragImageKind dragImageKind = diComplete;
  TDragOperations dragOperations{doCopy, doMove};
  TVTDragType dragType = dtOLE;
  TVTDrawSelectionMode drawSelectionMode = smDottedRectangle;
  uint32_t editDelay = 1000;
  THintAnimationType hintAnimation = hatSystemDefault;
  TVTHintMode hintMode = hmDefault;
  TCursor hotCursor = crDefault;
  TCustomImageList* images = nullptr;       // not owned
  TCustomImageList* stateImages = nullptr;  // not owned
  TVTIncrementalSearch incrementalSearch = isNone;
  TVTSearchDirection incrementalSearchDirection = sdForward;
  TVTSearchStart incrementalSearchStart = ssFocusedNode;
  uint32_t incrementalSearchTimeout = 1000;
  uint32_t indent = 18;
  TVTLineMode lineMode = lmNormal;
  TVTLineStyle lineStyle = lsDotted;
  int margin = 4;
  TVTNodeAlignment nodeAlignment = naProportional;
  TScrollBarOptions* scrollBarOptions = nullptr;  // owned
  uint8_t selectionBlendFactor = 128;
  uint32_t selectionCurveRadius = 0;
  int textMargin = 4;
  TCustomVirtualTreeOptions* treeOptions = nullptr;  // owned
  bool wantTabs = false;
  TChangeLink* imageChangeLink = nullptr;        // owned
  TChangeLink* stateChangeLink = nullptr;        // owned
  TChangeLink* customCheckChangeLink = nullptr;  // owned
  bool workerAcquired = false;

  // ---- Painting and scrolling state -------------------------------------------
  struct TPaintResources {
    TBitmap* plusBM = nullptr;   // owned
    TBitmap* minusBM = nullptr;  // owned
    HBRUSH dottedBrush = nullptr;  // owned
    ~TPaintResources();
  };
  TPaintResources paintResources;
  TScrollDirections scrollDirections;
  // How the last drag-over met the drop target (the drag-and-drop unit keeps it).
  TDropMode lastDropMode = dmNowhere;
  uint32_t autoScrollStart = 0;  // clock at the first auto-scroll request
  bool autoScrollStarted = false;
  TPoint panningAnchor;
  HWND panningWindow = nullptr;     // owned
  TBitmap* panningImage = nullptr;  // owned
  HCURSOR panningCursor = nullptr;  // owned
  TPanningShape panningShape = psNone;

  // Pipeline pieces.
  int DetermineLineImageAndSelectLevel(PVirtualNode node, TLineImage& lineImage);
  void DeterminePositions(PVirtualNode node, int& vAlign, int& buttonY);
  void EraseNodeBackground(TVTCellPaintInfo& paintInfo, bool useBackground, bool floating, TRect r);
  void PrepareCell(TVTCellPaintInfo& paintInfo, int windowOrgX, int maxWidth);
  void PaintAreaBelow(TBitmap* bitmap, TCanvas* targetCanvas, TRect window, TPoint target, int height,
                      bool useBackground, bool drawSelectionRect, TRect selRect, TVTPaintPassOptions options);
  void TileBackground(TBitmap* source, TCanvas* canvas, TPoint offset, TRect r);
  void StaticBackground(TBitmap* source, TCanvas* canvas, TPoint offset, TRect r);
  int VisibleColumnIndent(PVirtualNode node) const;
};


// The tree's hint window: measures and draws node hints and tooltips from the
// tree's hint data, stays on the desktop and fades or slides in. The tree's
// Animate drives the animation; the application's messages (keys among them)
// are handled between its steps.
class TVirtualTreeHintWindow : public THintWindow {
  QV_MESSAGE_MAP(TVirtualTreeHintWindow, THintWindow)

public:
  ~TVirtualTreeHintWindow() override;
  // data is the tree's TVTHintData; an empty result shows nothing.
  TRect CalcHintRect(int maxWidth, const std::string& hint, void* data) override;
  void ActivateHint(TRect r, const std::string& hint) override;
  void ActivateHintData(TRect r, const std::string& hint, void* data) override;
  // Keys and non-client mouse moves do not end a tree's hint.
  bool IsHintMsg(const MSG& msg) override;
  const TVTHintData& HintData() const { return data; }
  bool Animating() const { return animationSteps > 0; }
  // The tree goes: its data and a running animation are dropped.
  void ForgetTree(TBaseVirtualTree* tree);

protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  void WMEraseBkgnd(TMessage& m);
  void WMNCPaint(TMessage& m);
  void WMShowWindow(TMessage& m);

private:
  // One step of the animation (0 step size: the finished hint); false ends it.
  bool AnimationStep(int step, int stepSize);
  void SizeBitmaps(int width, int height);
  void FreeBitmaps();
  // Draws the finished hint into the draw buffer.
  void RenderBuffer();
  // Shows animation step (of animationSteps) on dc; no step size, or no
  // animation running: the finished hint.
  void PaintStep(HDC dc, int step, int stepSize);
  void StopAnimation();

  TVTHintData data;
  int textHeight = 0;
  THintAnimationType animation = hatNone;
  int animationSteps = 0;  // running animation: its step count, else 0
  HDC backgroundDC = nullptr, bufferDC = nullptr, targetDC = nullptr;  // owned
  HBITMAP backgroundBitmap = nullptr, bufferBitmap = nullptr, targetBitmap = nullptr;  // owned
  HGDIOBJ oldBackground = nullptr, oldBuffer = nullptr, oldTarget = nullptr;
  int bitmapWidth = 0, bitmapHeight = 0;
};

// True once a tree hint window was destroyed or a tree went while its hint
// animated; false again when one is created or hidden.
bool TreeHintWindowGone();

// A tree whose nodes the application draws (OnDrawNode) and measures (OnGetNodeWidth).
class TCustomVirtualDrawTree : public TBaseVirtualTree {
public:
  TTreeEvent<TVTDrawNodeEvent> OnDrawNode;
  TTreeEvent<TVTGetNodeWidthEvent> OnGetNodeWidth;
  TTreeEvent<TVTDrawHintEvent> OnDrawHint;
  TTreeEvent<TVTGetHintSizeEvent> OnGetHintSize;

  void DoPaintNode(const TVTPaintInfo& paintInfo) override;
  int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) override;
  virtual void DrawHint(TCanvas* canvas, PVirtualNode node, TRect r, TColumnIndex column);
  virtual void GetHintSize(PVirtualNode node, TColumnIndex column, TRect& r);
};

class TVirtualDrawTree : public TCustomVirtualDrawTree {};

#include "tree/StringTree.h"

// ---------------------------------------------------------------------------
// Shared resources and helpers of the tree unit

// One registered clipboard format.
struct TClipboardFormatEntry {
  std::string Description;
  const std::type_info* TreeClass;  // the tree class that renders it
  uint32_t Priority;                // smaller is preferred
  FORMATETC FormatEtc;
};

class TClipboardFormatList {
public:
  // Inserts the entry and keeps the list sorted by priority (stable).
  void Add(const std::string& description, const std::type_info& treeClass, uint32_t priority,
           const FORMATETC& formatEtc);
  void Clear() { entries.clear(); }
  // Descriptors for treeClass (or a class it derives from, tested with isA), in
  // list order; with allowed, only formats whose description it holds.
  std::vector<FORMATETC> CollectFormats(bool (*isA)(const std::type_info& entryClass),
                                        const std::vector<std::string>* allowed = nullptr) const;
  // The class that renders description (case-insensitive, last registration
  // wins) and its format id; null when none.
  const std::type_info* FindFormatByName(const std::string& description, uint16_t& formatId) const;
  const std::vector<TClipboardFormatEntry>& Entries() const { return entries; }

private:
  std::vector<TClipboardFormatEntry> entries;
};

// The registration list (made on first registration).
TClipboardFormatList& ClipboardFormatList();
// Registers description with the system and adds an entry; returns the format id.
uint16_t RegisterTreeClipboardFormat(const std::string& description, const std::type_info& treeClass,
                                     uint32_t priority, DWORD tymed = TYMED_HGLOBAL, DVTARGETDEVICE* ptd = nullptr,
                                     DWORD aspect = DVASPECT_CONTENT, LONG lindex = -1);
// Adds an entry for an existing format number (names for 1 to 16, else the system's name).
std::string RegisterTreeClipboardFormat(uint16_t format, const std::type_info& treeClass, uint32_t priority);

// Does nothing; referenced by the tree's constructor so that every program
// using a tree links the published-property tables (static registrations).
void LinkTreeProperties();
// The same for the header's and the string tree's tables (called by LinkTreeProperties).
void LinkHeaderProperties();
void LinkStringTreeProperties();

// Sets up the images, cursor, formats and OLE once for all trees.
void SetUpSharedResources();
void ReleaseSharedResources();
bool SharedResourcesReady();
// Redraws the check image lists that follow the system colours (all but the
// themed look and the system sets) when those colours changed; the lists stay
// the same objects, so trees holding them keep valid references.
void RefreshCheckImagesForSystemColors();
// What the trees ask of the processor and the system (read once).
struct TTreePlatform {
  bool mmx = false;    // the processor has MMX
  bool nt = false;     // a system of the NT family
  bool win2k = false;  // system version 5.0
  bool winXP = false;  // system version 5.1
};
const TTreePlatform& TreePlatform();
// The shared check image list of kind (null for ckCustom), drawn when first
// asked for; CheckImageListDrawn tells whether it has been.
TCustomImageList* GetCheckImageListFor(TCheckImageKind kind);
bool CheckImageListDrawn(TCheckImageKind kind);
// Cursor id of the header split cursor in Screen's table.
constexpr TCursor crHeaderSplit = 100;

extern uint16_t CF_VIRTUALTREE;
extern uint16_t CF_VTREFERENCE;
extern uint16_t CF_HTML;
extern uint16_t CF_VRTF;
extern uint16_t CF_VRTFNOOBJS;
extern uint16_t CF_CSV;

// Counts the living trees. Position caches are rebuilt on each tree's own
// window thread, in steps driven by a window timer, never on another thread.
void AcquireWorker();
void ReleaseWorker(TBaseVirtualTree* tree);
int WorkerReferenceCount();
// Lists tree (once) as waiting for a cache rebuild and starts its steps; asserts "Tree must not be nil.".
void QueueTree(TBaseVirtualTree* tree);
// Takes tree off the waiting list and stops its steps; asserts "Tree must not be nil.".
void UnqueueTree(TBaseVirtualTree* tree);
// The trees waiting for a cache rebuild.
const std::vector<TBaseVirtualTree*>& WaitingTrees();

// The tree that owns node (asserts "Node must not be nil.").
TBaseVirtualTree* TreeOfNode(PVirtualNode node);
// r with Left <= Right and Top <= Bottom.
TRect OrderRect(const TRect& r);
// The alignment seen in a mirrored (right-to-left) cell: left and right swap.
TAlignment MirroredAlignment(TAlignment alignment);
// Sorts values[l .. r] ascending.
void SortPointerArray(std::vector<uintptr_t>& values, int l, int r);
// Colour for image-list calls: clNone -> CLR_NONE, clDefault -> CLR_DEFAULT, system colours resolved.
COLORREF ColorToImageListColor(TColor color);
// Blends R of source onto target in one of four modes (0 constant alpha, 1
// per-pixel alpha, 2 master alpha, 3 constant alpha with the colour in bias).
void BlendBitmapRect(HDC source, HDC destination, const TRect& r, TPoint target, int mode, int constantAlpha,
                     int bias);
// Fills r of dc with one colour.
void FillSolidRect(HDC dc, const TRect& r, COLORREF color);
// A masked image list of count images of size x size: draw(dc, index, left)
// paints image index at x = left of a strip whose background (magenta) is the mask.
TCustomImageList* MakeImageListFromStrip(int size, int count,
                                         const std::function<void(HDC dc, int index, int left)>& draw);
// Draws (or with DT_CALCRECT measures) wide text line by line on systems without DrawTextW.
void DrawWideTextFallback(HDC dc, const std::u16string& text, int length, TRect& r, UINT flags, bool adjustRight);
// The rectangles a drag image update touches when it moves by (deltaX, deltaY).
void ComputeDragRectangles(int dragWidth, int dragHeight, int deltaX, int deltaY, TRect& rSamp1, TRect& rSamp2,
                           TRect& rDraw1, TRect& rDraw2);

#include "tree/DataObject.h"
