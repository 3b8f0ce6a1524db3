#pragma once
// The tree's header: its columns (TVirtualTreeColumn), the column collection
// (TVirtualTreeColumns: positions, geometry, hover/pressed/tracked columns,
// painting) and the header itself (TVTHeader: options, mouse handling,
// sorting, auto-size and spring columns, the header stream). Included by
// VirtualTrees.h; the tree owns its header, the header owns its columns.
//
// A column's index is its place in the collection and never changes when the
// user reorders columns; its Position is its place on the screen. Column -1
// (NoColumn) means no column; look-ups by position answer -2 (InvalidColumn)
// where there is none. Header coordinates: X as in the client area, Y from
// the header's top (a client point's Y plus the header height).
#include <iterator>
#include <vector>

#include "core/Persistent.h"
#include "core/Set.h"
#include "tree/VirtualNode.h"
#include "win/Controls.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/ImgList.h"

class TBaseVirtualTree;
class TVTHeader;
class TVTDragImage;
class TVirtualTreeColumns;
class TStream;
struct TMessage;

enum TVirtualTreeColumnStyle { vsText, vsOwnerDraw };
enum TVTHeaderColumnLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TVTColumnOption {
  coAllowClick,
  coDraggable,
  coEnabled,
  coParentBidiMode,
  coParentColor,
  coResizable,
  coShowDropMark,
  coVisible,
  coAutoSpring,
  coFixed,
};
constexpr int kColumnOptionCount = 10;
using TVTColumnOptions = TSet<TVTColumnOption, 16>;
// coAllowClick .. coVisible.
constexpr uint16_t kDefaultColumnOptions = 0xFF;

enum TVTHeaderOption {
  hoAutoResize,
  hoColumnResize,
  hoDblClickResize,
  hoDrag,
  hoHotTrack,
  hoOwnerDraw,
  hoRestrictDrag,
  hoShowHint,
  hoShowImages,
  hoShowSortGlyphs,
  hoVisible,
  hoAutoSpring,
};
constexpr int kHeaderOptionCount = 12;
using TVTHeaderOptions = TSet<TVTHeaderOption, 16>;
// hoColumnResize, hoDrag: a new header's options.
constexpr uint16_t kInitialHeaderOptions = 10;
// hoColumnResize, hoDrag, hoShowSortGlyphs: the value a stream leaves unwritten.
constexpr uint16_t kStreamDefaultHeaderOptions = 522;

enum TVTHeaderStyle { hsThickButtons, hsFlatButtons, hsPlates, hsXPStyle };
enum THeaderState { hsAutoSizing, hsDragging, hsDragPending, hsLoading, hsTracking, hsTrackPending };
using THeaderStates = TSet<THeaderState, 8>;

using TColumnPosition = int32_t;
using TIndexArray = std::vector<TColumnIndex>;
class TVirtualTreeColumn;
using TColumnsArray = std::vector<TVirtualTreeColumn*>;

// The largest MaxWidth of a column: 10000 on the 9x family, any width on the NT family.
int ColumnWidthCap(bool ntFamily);

// Version of the header stream written; versions -1 (no marker) to 3 are read.
constexpr int32_t kHeaderStreamVersion = 3;

// The elements of a header cell an application may draw itself.
enum : uint32_t {
  hpeBackground = 1,
  hpeDropMark = 2,
  hpeHeaderGlyph = 4,
  hpeSortGlyph = 8,
  hpeText = 16,
};

// What header painting knows about one cell; handed to the owner-draw events.
struct THeaderPaintInfo {
  TCanvas* TargetCanvas = nullptr;
  TVirtualTreeColumn* Column = nullptr;  // null for the area right of the columns
  TRect PaintRectangle;
  TRect TextRectangle;
  bool IsHoverIndex = false;
  bool IsDownIndex = false;
  bool IsEnabled = false;
  bool ShowHeaderGlyph = false;
  bool ShowSortGlyph = false;
  bool ShowRightBorder = false;
  TVTDropMarkMode DropMark = dmmNone;
  TPoint GlyphPos;
  TPoint SortGlyphPos;
};

// ---------------------------------------------------------------------------

class TVirtualTreeColumn : public TPersistent {
public:
  // The defaults; Position := the new column's index; bidi mode and colour from the tree.
  virtual void Create(TVirtualTreeColumns* collection);
  // Copies every property from another column (Options last); else the inherited copy.
  void Assign(TPersistent* source) override;
  // Text when all its characters are below 256, else "Column <index>".
  virtual std::u16string GetDisplayName() const;
  // True when every stored property of other equals this column's.
  virtual bool Equals(const TVirtualTreeColumn* other) const;
  // The column's rectangle in the tree's header rectangle (window coordinates, unscrolled).
  virtual TRect GetRect() const;
  // Places header glyph, sort glyph and text inside the cell rectangle client.
  virtual void ComputeHeaderLayout(HDC dc, const TRect& client, bool useHeaderGlyph, bool useSortGlyph,
                                   TPoint& headerGlyphPos, TPoint& sortGlyphPos, TRect& textBounds);
  // Animates the column back to the width it had before the last change.
  void RestoreLastWidth();

  TVirtualTreeColumns* Collection() const { return owner; }
  TBaseVirtualTree* Tree() const;
  int Index() const { return index; }
  // Left edge for drawing: scrolled by the tree's horizontal offset unless fixed.
  int Left() const;
  // Left edge in header pixels, unscrolled.
  int StoredLeft() const { return left; }
  int LastWidth() const { return lastWidth; }

  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  TBiDiMode BiDiMode() const { return bidiMode; }
  void SetBiDiMode(TBiDiMode value);
  TColor Color() const { return color; }
  void SetColor(TColor value);
  const std::u16string& Hint() const { return hint; }
  void SetHint(const std::u16string& value) { hint = value; }
  int ImageIndex() const { return imageIndex; }
  void SetImageIndex(int value);
  TVTHeaderColumnLayout Layout() const { return layout; }
  void SetLayout(TVTHeaderColumnLayout value);
  int Margin() const { return margin; }
  // A negative value becomes 4.
  void SetMargin(int value);
  int MaxWidth() const { return maxWidth; }
  // Not below MinWidth; not above 10000; Width is clamped again.
  void SetMaxWidth(int value);
  int MinWidth() const { return minWidth; }
  // 0 .. 10000; MaxWidth follows when below; Width is clamped again.
  void SetMinWidth(int value);
  TVTColumnOptions Options() const { return options; }
  void SetOptions(TVTColumnOptions value);
  TColumnPosition Position() const { return position; }
  // Moves the column to a display position (clamped to 0 .. count - 1).
  void SetPosition(TColumnPosition value);
  int Spacing() const { return spacing; }
  void SetSpacing(int value);
  TVirtualTreeColumnStyle Style() const { return style; }
  void SetStyle(TVirtualTreeColumnStyle value);
  int Tag() const { return tag; }
  void SetTag(int value) { tag = value; }
  const std::u16string& Text() const { return text; }
  void SetText(const std::u16string& value);
  int Width() const { return width; }
  // Clamped to MinWidth .. MaxWidth; see the auto-size column with hoAutoResize.
  void SetWidth(int value);

  // True when the column is shown (coVisible).
  bool IsVisible() const { return options.Contains(coVisible); }
  // True once the column was deleted (Free, Delete, Clear...): it has left its
  // collection and takes no more changes. Deleted while its tree is held, it
  // is kept until the tree's last hold ends, so that an operation that still
  // points at it reads a going column, never freed memory.
  bool Going() const override { return going; }
  // The right-to-left look: a bidi mode other than left-to-right.
  bool IsRightToLeft() const { return bidiMode != bdLeftToRight; }

protected:
  // Tells the collection that this column changed (repaint or full update).
  void Changed(bool allItems);
  bool BeginRelease() override;
  // Leaves the collection, as Delete does.
  void BeforeDestruction() override;
  bool KeepUntilUnheld() override;

private:
  friend class TVirtualTreeColumns;
  friend class TVTHeader;
  bool TreeLoading() const;
  bool CollectionUpdating() const;
  // Stores a clamped width; the auto-size column only when evenAutoSize.
  void ApplyWidth(int value, bool evenAutoSize);

  TVirtualTreeColumns* owner = nullptr;  // not owned
  int index = 0;
  std::u16string text;
  std::u16string hint;
  int width = 50;
  int lastWidth = 50;
  TColumnPosition position = 0;
  int left = 0;
  int minWidth = 10;
  int maxWidth = 10000;
  TVirtualTreeColumnStyle style = vsText;
  int imageIndex = -1;
  TBiDiMode bidiMode = bdLeftToRight;
  TVTHeaderColumnLayout layout = blGlyphLeft;
  int margin = 4;
  int spacing = 4;
  TVTColumnOptions options;
  int tag = 0;
  TAlignment alignment = taLeftJustify;
  TColor color = clWindow;
  double springRest = 0;
  bool going = false;
};

// ---------------------------------------------------------------------------

class TVirtualTreeColumns : public TPersistent {
public:
  virtual void Create(TVTHeader* header_);
  ~TVirtualTreeColumns() override;
  // Copies the columns, their positions and left edges from another collection.
  void Assign(TPersistent* source) override;

  // ---- The collection ---------------------------------------------------------
  // A new column (class from the tree's CreateColumn), appended.
  virtual TVirtualTreeColumn* Add();
  // Resets the mouse indices and (unless the header loads) auto-size, main and
  // sort column to -1, then removes every column.
  virtual void Clear();
  // Removes column index (nothing when out of range).
  void Delete(TColumnIndex index);
  int Count() const { return static_cast<int>(items.size()); }
  // The column of index; null out of range.
  TVirtualTreeColumn* Items(TColumnIndex index) const;
  TVirtualTreeColumn* operator[](TColumnIndex index) const { return Items(index); }
  void BeginUpdate() { ++updateCount; }
  void EndUpdate();
  int UpdateCount() const { return updateCount; }
  // A change of item (null: of the whole collection).
  virtual void Update(TVirtualTreeColumn* item);

  TVTHeader* Header() const { return header; }
  TBaseVirtualTree* Tree() const;

  // ---- Positions and geometry ---------------------------------------------------
  // The column index at each display position.
  const TIndexArray& PositionToIndex() const { return positionToIndex; }
  // Counts the changes of the column set and of the display order: code that
  // called a handler compares it to learn that its column indices went stale.
  uint32_t Changes() const { return changes; }
  // The visible columns by display position (backwards from the right), as a
  // range that ends early once the column set or order changed meanwhile: a
  // handler called for one column may delete, add or move columns.
  class TVisibleWalk;
  TVisibleWalk VisibleColumns(bool backwards = false) const;
  // The column at a display position; -1 when there is none.
  virtual TColumnIndex ColumnFromPositionIndex(TColumnPosition position) const;
  // The visible column whose span holds p.X (header coordinates; scrolled with
  // relative); -2 left of or below the header area or on no column.
  virtual TColumnIndex ColumnFromPosition(TPoint p, bool relative = true);
  // Visible-column navigation by position; -2 when there is none.
  TColumnIndex GetFirstVisibleColumn() const;
  TColumnIndex GetLastVisibleColumn() const;
  TColumnIndex GetNextVisibleColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex column) const;
  // Plain neighbours by position; -2 at the ends.
  TColumnIndex GetNextColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousColumn(TColumnIndex column) const;
  // Drawing left and right of a column; 0 .. client width for -1.
  void GetColumnBounds(TColumnIndex column, int& left, int& right) const;
  // The visible columns in display order.
  TColumnsArray GetVisibleColumns() const;
  // Sum of the widths of the visible fixed columns.
  int GetVisibleFixedWidth() const;
  // Right edge of the last visible column by position; 0 when none.
  int TotalWidth() const;
  bool IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }

  // ---- Mouse state ------------------------------------------------------------
  TColumnIndex HoverIndex() const { return hoverIndex; }
  TColumnIndex DownIndex() const { return downIndex; }
  TColumnIndex TrackIndex() const { return trackIndex; }
  TColumnIndex ClickIndex() const { return clickIndex; }
  TColumnIndex DropTarget() const { return dropTarget; }
  bool DropBefore() const { return dropBefore; }
  // Hover column from a client point; repaints old and new cells; true when it changed.
  bool AdjustHoverColumn(TPoint p);
  // Pressed column from a client point (when it allows clicks and is enabled).
  void AdjustDownColumn(TPoint p);
  // Click at a client point; fires the tree's DoHeaderClick.
  bool HandleClick(TPoint p, TMouseButton button, bool force, bool dblClick);

  // ---- Sizes ------------------------------------------------------------------
  // Re-fits the auto-size column with hoAutoResize (changed: the column that changed).
  void AdjustAutoSize(TColumnIndex changed, bool force = false);
  // Sizes column to newWidth (clamped), scrolling the window's content in 32 steps.
  void AnimatedResize(TColumnIndex column, int newWidth);
  // Moves column to position, as the user dragging it there.
  void AdjustPosition(TVirtualTreeColumn* column, TColumnPosition position);
  // Spreads a change of the header width over the spring columns.
  void AdjustSpringColumns(int headerWidth);
  // Writes the stored positions into the position array (after loading).
  void InitializePositionArray();
  // Recomputes each column's Position and left edge from the position array.
  void UpdatePositions(bool force = false);

  // ---- Painting ---------------------------------------------------------------
  // Paints the header into dc: r is the header rectangle in dc coordinates,
  // hOffset the tree's horizontal offset (not applied to fixed columns).
  virtual void PaintHeader(HDC dc, const TRect& r, int hOffset);
  // Paints the one column into canvas at its cell rectangle r (drag image).
  void PaintColumnCell(TCanvas* canvas, TVirtualTreeColumn* column, const TRect& r, bool ownerDraw);

  // ---- Streams ----------------------------------------------------------------
  void SaveToStream(TStream* stream);

  // ---- Columns deleted while the tree was held ------------------------------------
  bool KeepsGoingColumns() const { return !goingColumns.empty(); }
  // Gives them back (the tree's last hold ended).
  void ReleaseGoingColumns();

private:
  friend class TVirtualTreeColumn;
  friend class TVTHeader;
  // Takes a column being freed out of the collection.
  void Detach(TVirtualTreeColumn* column);
  // True when column, freed, is kept until the tree's last hold ends.
  bool KeepGoing(TVirtualTreeColumn* column);
  // Frees every column (Clear, Assign); the position array empties.
  void ReleaseItems();
  // Brings the position array to the column count (a permutation of 0 .. count - 1).
  void FixPositions();
  void RemovePosition(TColumnIndex index);
  // Sets each column's Position from the array (left edges untouched).
  void RenumberPositions();
  // The display position of a valid column; -1 when the array lacks it.
  TColumnPosition PositionOf(TColumnIndex column) const;
  void MoveInPositions(TVirtualTreeColumn* column, TColumnPosition from, TColumnPosition to);
  void RepaintCell(TColumnIndex column);
  void ReindexItems();

  TVTHeader* header = nullptr;  // not owned
  std::vector<TVirtualTreeColumn*> items;  // owned
  std::vector<TVirtualTreeColumn*> goingColumns;  // owned: freed, kept for the operations on the stack
  uint32_t changes = 0;
  TIndexArray positionToIndex;
  TColumnIndex hoverIndex = NoColumn;
  TColumnIndex downIndex = NoColumn;
  TColumnIndex trackIndex = NoColumn;
  TColumnIndex clickIndex = NoColumn;
  TColumnIndex dropTarget = NoColumn;
  bool dropBefore = false;
  bool needPositionsFix = false;
  bool clearing = false;
  int updateCount = 0;
  TBitmap* headerBitmap = nullptr;  // owned, 32 bits per pixel
};

class TVirtualTreeColumns::TVisibleWalk {
public:
  class Iterator {
  public:
    Iterator(const TVirtualTreeColumns* columns_, bool backwards_)
        : columns(columns_), backwards(backwards_), start(columns_->changes),
          at(backwards_ ? static_cast<int>(columns_->positionToIndex.size()) - 1 : 0) {
      SkipHidden();
    }
    TVirtualTreeColumn* operator*() const { return Column(); }
    Iterator& operator++() {
      at += backwards ? -1 : 1;
      SkipHidden();
      return *this;
    }
    bool operator!=(std::default_sentinel_t) const { return InRange() && columns->changes == start; }

  private:
    bool InRange() const { return at >= 0 && at < static_cast<int>(columns->positionToIndex.size()); }
    TVirtualTreeColumn* Column() const {
      return columns->items[static_cast<size_t>(columns->positionToIndex[static_cast<size_t>(at)])];
    }
    void SkipHidden() {
      while (columns->changes == start && InRange() && !Column()->IsVisible()) at += backwards ? -1 : 1;
    }
    const TVirtualTreeColumns* columns;
    bool backwards;
    uint32_t start;
    int at;
  };
  TVisibleWalk(const TVirtualTreeColumns* columns_, bool backwards_) : columns(columns_), backwards(backwards_) {}
  Iterator begin() const { return Iterator(columns, backwards); }
  std::default_sentinel_t end() const { return {}; }

private:
  const TVirtualTreeColumns* columns;
  bool backwards;
};

inline TVirtualTreeColumns::TVisibleWalk TVirtualTreeColumns::VisibleColumns(bool backwards) const {
  return TVisibleWalk(this, backwards);
}

// ---------------------------------------------------------------------------

class TVTHeader : public TPersistent {
public:
  virtual void Create(TBaseVirtualTree* owner_);
  ~TVTHeader() override;
  // Copies the header's published properties.
  void Assign(TPersistent* source) override;

  TBaseVirtualTree* Treeview() const { return owner; }
  THeaderStates States() const { return states; }
  // The picture of a dragged column that follows the mouse.
  TVTDragImage* DragImage() const { return dragImage; }

  // ---- Published properties ---------------------------------------------------
  TColumnIndex AutoSizeIndex() const { return autoSizeIndex; }
  void SetAutoSizeIndex(TColumnIndex value);
  TColor Background() const { return background; }
  void SetBackground(TColor value);
  TVirtualTreeColumns* Columns() const { return columns; }
  void SetColumns(TVirtualTreeColumns* value) { columns->Assign(value); }
  TFont* Font() const { return font; }
  void SetFont(TFont* value);
  uint32_t Height() const { return height; }
  void SetHeight(uint32_t value);
  TCustomImageList* Images() const { return images; }
  void SetImages(TCustomImageList* value);
  // -1 when there are no columns.
  TColumnIndex MainColumn() const;
  void SetMainColumn(TColumnIndex value);
  TVTHeaderOptions Options() const { return options; }
  void SetOptions(TVTHeaderOptions value);
  bool ParentFont() const { return parentFont; }
  void SetParentFont(bool value);
  TComponent* PopupMenu() const { return popupMenu; }
  void SetPopupMenu(TComponent* value);
  TColumnIndex SortColumn() const { return sortColumn; }
  void SetSortColumn(TColumnIndex value);
  TSortDirection SortDirection() const { return sortDirection; }
  void SetSortDirection(TSortDirection value);
  TVTHeaderStyle Style() const { return style; }
  void SetStyle(TVTHeaderStyle value);

  // ---- Operations -------------------------------------------------------------
  // False when a descendant does not want the "Columns" property written.
  virtual bool CanWriteColumns() { return true; }
  // Scales the font size by m / d.
  virtual void ChangeScale(int m, int d);
  // Finds a splitter under the header point p (client X); sets the track column.
  virtual bool DetermineSplitterIndex(TPoint p);
  // Sees a tree message first; true when handled (the tree then skips it).
  virtual bool HandleMessage(TMessage& message);
  // Updates the tree's header rectangle and recalculates the window frame.
  virtual void RecalculateHeader();
  // The mouse left the tree: no column is hovered or pressed any more (cells repainted).
  void ForgetMouseColumns();
  // True when the client point p lies in the header rectangle.
  virtual bool InHeader(TPoint p);
  // Reads a header (with its columns) written by SaveToStream or an older
  // version; a damaged stream raises EVirtualTreeError and changes nothing.
  virtual void LoadFromStream(TStream* stream);
  virtual void SaveToStream(TStream* stream);

  // Repaints column (null: the whole header), to the header's end with expandToRight.
  void Invalidate(TVirtualTreeColumn* column, bool expandToRight = false);
  // Every visible resizable column takes the tree's widest content for it.
  void AutoFitColumns(bool animated = true);
  // Every visible resizable column goes back to its last width.
  void RestoreColumns();
  // A main column out of range moves into 0 .. count - 1 (after loading).
  void FixMainColumn();
  // The tree's focused column, when past the last column, becomes the main
  // column (none without columns).
  void KeepFocusedColumnValid();
  // A form definition is about to read the columns: the header loads (keeping
  // main, sort and auto-size column) and the old columns go.
  void BeginColumnsRead();
  // The tree finished loading from a form definition.
  void Loaded();
  // Header point from a client point.
  TPoint ClientToHeader(TPoint p) const { return TPoint{p.X, p.Y + static_cast<int>(height)}; }
  // Shift, Ctrl and Alt as the keyboard is now.
  static TShiftState GetShiftState();

protected:
  virtual TVirtualTreeColumns* CreateColumns();

private:
  friend class TVirtualTreeColumns;
  void FontChanged(TObject* sender);
  void ImageListChange(TObject* sender);
  void DragTo(TPoint screenPoint);
  // Paints the dragged column's cell into the drag image and shows it at the cell.
  void PrepareColumnDragImage();
  void StartColumnDrag(TColumnIndex pressed);
  void EndColumnDrag(bool drop, TPoint screenPoint);
  bool TreeLoading() const;
  bool HandleNonClientButton(TMessage& m, TPoint client);
  bool HandleButtonUp(TMessage& m);
  bool HandleDoubleClick(TMessage& m, TMouseButton button);

  TBaseVirtualTree* owner = nullptr;  // not owned
  TVirtualTreeColumns* columns = nullptr;  // owned
  TFont* font = nullptr;  // owned
  TChangeLink* imageChangeLink = nullptr;  // owned
  TCustomImageList* images = nullptr;  // not owned
  TComponent* popupMenu = nullptr;  // not owned
  uint32_t height = 17;
  TColor background = clBtnFace;
  TVTHeaderOptions options;
  TColumnIndex autoSizeIndex = NoColumn;
  TColumnIndex mainColumn = NoColumn;
  TColumnIndex sortColumn = NoColumn;
  TSortDirection sortDirection = sdAscending;
  TVTHeaderStyle style = hsThickButtons;
  bool parentFont = false;
  THeaderStates states;
  int trackStartX = 0;
  int splitterOffset = 0;
  TPoint dragStart;
  TColumnIndex dragColumn = NoColumn;
  TVTDragImage* dragImage = nullptr;  // owned: the dragged column's picture
  int lastSpringWidth = 0;
};

// Header options and column options as their stored bit values.
uint16_t HeaderOptionsToMask(TVTHeaderOptions value);
TVTHeaderOptions MaskToHeaderOptions(uint32_t mask);
uint16_t ColumnOptionsToMask(TVTColumnOptions value);
TVTColumnOptions MaskToColumnOptions(uint32_t mask);
// The tree unit's utility images (16 x 16): 0/1 drop mark left/right, 2/3 sort
// descending/ascending, 4/5 the same for themes, 6-8 the hot bar of the flat face.
TCustomImageList* GetUtilityImages();
// Text shortened with "..." to fit width in dc (right-to-left keeps the start
// visible at the right); empty when nothing fits. ellipsisWidth 0: measured.
std::u16string ShortenString(HDC dc, const std::u16string& s, int width, bool rightToLeft, int ellipsisWidth = 0);
