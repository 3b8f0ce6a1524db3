#pragma once
// The common controls: up-down, progress bar, animation, report-style list
// view and the page control with its tab sheets. Each lives in its own .cpp, which also
// registers its published properties for form definitions.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Strings.h"
#include "win/Controls.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/ImgList.h"

enum TUDAlignButton { udLeft, udRight };
enum TUDOrientation { udHorizontal, udVertical };
enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = TEvent<void(TObject* sender, TUDBtnType button)>;

// Arrow buttons that step a number, shown in the edit they are tied to.
class TUpDown : public TWinControl {
  QV_MESSAGE_MAP(TUpDown, TWinControl)

public:
  void Create(TComponent* owner) override;

  // The edit (or other window control) that shows the number; not owned.
  TWinControl* Associate() const { return associate; }
  void SetAssociate(TWinControl* value);
  int Min() const { return min; }
  void SetMin(int value);
  int Max() const { return max; }
  void SetMax(int value);
  // The number; reads what the associated edit shows when it was typed there.
  // Values are kept within Min..Max.
  int Position() const;
  void SetPosition(int value);
  int Increment() const { return increment; }
  void SetIncrement(int value);
  bool Thousands() const { return thousands; }
  void SetThousands(bool value);
  bool Wrap() const { return wrap; }
  void SetWrap(bool value);
  bool ArrowKeys() const { return arrowKeys; }
  void SetArrowKeys(bool value);
  TUDAlignButton AlignButton() const { return alignButton; }
  void SetAlignButton(TUDAlignButton value);
  TUDOrientation Orientation() const { return orientation; }
  void SetOrientation(TUDOrientation value);

  TUDClickEvent OnClick;
  TNotifyEvent OnChanging;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  void CNNotify(TMessage& m);
  void CNScroll(TMessage& m);

private:
  void AttachBuddy();

  TWinControl* associate = nullptr;  // not owned
  int min = 0;
  int max = 100;
  int position = 0;  // kept while there is no window
  int increment = 1;
  bool thousands = true;
  bool wrap = false;
  bool arrowKeys = true;
  TUDAlignButton alignButton = udRight;
  TUDOrientation orientation = udVertical;
};

enum TProgressBarOrientation { pbHorizontal, pbVertical };

// The system progress bar (common controls 6 look through the manifest).
class TProgressBar : public TWinControl {
public:
  void Create(TComponent* owner) override;

  int Min() const { return min; }
  // Min above Max raises EInvalidOperation "TProgressBar property out of range".
  void SetMin(int value) { SetRange(value, max); }
  int Max() const { return max; }
  void SetMax(int value) { SetRange(min, value); }
  void SetRange(int newMin, int newMax);
  // Clamped to Min..Max.
  int Position() const;
  void SetPosition(int value);
  int Step() const { return step; }
  void SetStep(int value);
  bool Smooth() const { return smooth; }
  void SetSmooth(bool value);
  TProgressBarOrientation Orientation() const { return orientation; }
  void SetOrientation(TProgressBarOrientation value);
  // Advances by Step / by delta (wrapping to Min past Max, as the system bar does).
  void StepIt();
  void StepBy(int delta);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;

private:
  int min = 0;
  int max = 100;
  int position = 0;  // kept while there is no window
  int step = 10;
  bool smooth = false;
  TProgressBarOrientation orientation = pbHorizontal;
};

// ---------------------------------------------------------------------------
// Animation

// The system's own animations (AVI resources of shell32).
enum TCommonAVI {
  aviNone, aviFindFolder, aviFindFile, aviFindComputer, aviCopyFiles, aviCopyFile, aviRecycleFile,
  aviEmptyRecycle, aviDeleteFile
};

// The system animation control playing one of the system's animations,
// centred and on the parent's background.
class TAnimate : public TWinControl {
public:
  void Create(TComponent* owner) override;

  TCommonAVI CommonAVI() const { return commonAVI; }
  // Opens that animation (aviNone closes it); a running animation restarts with it.
  void SetCommonAVI(TCommonAVI value);
  // Playing (in a loop) or stopped on its first frame.
  bool Active() const { return active; }
  void SetActive(bool value);
  // True when the system could open the animation (false for aviNone or without a window).
  bool Opened() const { return opened; }

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;

private:
  // Opens commonAVI in the window and plays it when active.
  void ApplyAnimation();

  TCommonAVI commonAVI = aviNone;
  bool active = false;
  bool opened = false;
};

// ---------------------------------------------------------------------------
// List view

class TListView;
class TListItems;

class TListColumn : public TPersistent {
public:
  void Create(TListView* owner_) { owner = owner_; }
  const std::string& Caption() const { return caption; }
  void SetCaption(const std::string& value);
  int Width() const;
  void SetWidth(int value);
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  // Position among the columns.
  int Index() const;
  void Assign(TPersistent* source) override;

private:
  friend class TListView;
  void Update();

  TListView* owner = nullptr;  // not owned: it owns us
  std::string caption;
  int width = 50;
  TAlignment alignment = taLeftJustify;
};

// The columns of a list view; items are owned by the collection.
class TListColumns : public TPersistent {
public:
  void Create(TListView* owner_) { owner = owner_; }
  ~TListColumns() override;
  int Count() const { return static_cast<int>(columns.size()); }
  // Raises EListError out of range.
  TListColumn* Items(int index) const;
  TListColumn* Add();
  void Delete(int index);
  void Clear();
  void Assign(TPersistent* source) override;

private:
  friend class TListColumn;
  friend class TListView;
  TListView* owner = nullptr;  // not owned: it owns us
  std::vector<TListColumn*> columns;  // owned
};

class TListItem;

// The sub-item texts of a list item (one per column after the first).
class TSubItems : public TStringList {
public:
  void Create(TListItem* item_) { item = item_; }

protected:
  void Changed() override;

private:
  TListItem* item = nullptr;  // not owned: it owns us
};

class TListItem : public TPersistent {
public:
  void Create(TListItems* owner_);
  ~TListItem() override;

  const std::string& Caption() const { return caption; }
  void SetCaption(const std::string& value);
  // A caption that is shown as it stands, never through the ANSI code page
  // (file names in any script). Once set it is what the row shows; Caption()
  // then stays as it was.
  const std::u16string& WideCaption() const { return wideCaption; }
  void SetWideCaption(const std::u16string& value);
  TStrings* SubItems() const { return subItems; }
  int ImageIndex() const { return imageIndex; }
  void SetImageIndex(int value);
  // Whatever the program attaches; never touched by the list.
  void* Data() const { return data; }
  void SetData(void* value) { data = value; }
  bool Selected() const;
  void SetSelected(bool value);
  bool Focused() const;
  void SetFocused(bool value);
  // Position in the list.
  int Index() const;
  TListView* ListView() const;
  // Removes and frees the item.
  void Delete();
  void MakeVisible(bool partialOK = false);
  // The item's bounds in the list view's client area (empty without a window).
  TRect DisplayRect() const;

private:
  friend class TListView;
  friend class TListItems;
  friend class TSubItems;
  void Changed();
  // Back to a fresh item, quietly (an owner-data row about to be asked for).
  void Reset();

  TListItems* owner = nullptr;  // not owned: it owns us
  std::string caption;
  std::u16string wideCaption;
  bool hasWideCaption = false;
  TSubItems* subItems = nullptr;  // owned
  int imageIndex = -1;
  void* data = nullptr;
  // Kept while there is no window; the window holds them otherwise.
  bool selected = false;
  bool focused = false;
};

class TListItems : public TPersistent {
public:
  void Create(TListView* owner_) { owner = owner_; }
  ~TListItems() override;

  int Count() const { return ownerData ? ownerCount : static_cast<int>(items.size()); }
  // Raises EListError out of range. An owner-data list answers with the one
  // item it fills through OnData: it stands for that row until the next call.
  TListItem* Item(int index) const;
  // Add, Insert and Delete raise EListError on an owner-data list.
  TListItem* Add();
  TListItem* Insert(int index);
  void Delete(int index);
  void Clear();
  // An owner-data list's row count (its rows are asked of OnData as they are
  // shown); the texts already asked for are asked again. Raises EListError
  // on a list that holds its rows, or for a count below zero.
  void SetCount(int value);
  // Holds back painting and OnChange until the matching EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int IndexOf(const TListItem* item) const;
  TListView* Owner() const { return owner; }

private:
  friend class TListView;
  friend class TListItem;
  // The item standing for row index of an owner-data list, asked of OnData
  // unless it stands for that row already.
  TListItem* DataItem(int index);

  TListView* owner = nullptr;  // not owned: it owns us
  std::vector<TListItem*> items;  // owned
  int updateCount = 0;
  bool ownerData = false;
  int ownerCount = 0;
  TListItem* dataItem = nullptr;  // owned: the owner-data row last asked for
  int dataIndex = -1;             // its row; -1: none
  int filling = 0;                // OnData is filling dataItem: no repaints
};

enum TItemChange { ctText, ctImage, ctState };
using TLVChangeEvent = TEvent<void(TObject* sender, TListItem* item, TItemChange change)>;
using TLVSelectItemEvent = TEvent<void(TObject* sender, TListItem* item, bool selected)>;
// Fills item (fresh: no caption, sub-items or image) for row item->Index().
using TLVOwnerDataEvent = TEvent<void(TObject* sender, TListItem* item)>;
enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// A list view in report style (the system list view): columns, rows with
// sub-items and small images. Filling or clearing it in code fires no
// OnChange; selection changes (by the user or by code) do.
// With OwnerData the list holds no rows: the program sets Items()->SetCount
// and fills each row the window shows in OnData, so a list of any length
// costs only the rows on the screen.
class TListView : public TWinControl {
  QV_MESSAGE_MAP(TListView, TWinControl)

public:
  void Create(TComponent* owner) override;
  ~TListView() override;

  TListColumns* Columns() const { return columns; }
  TListItems* Items() const { return items; }
  TViewStyle ViewStyle() const { return viewStyle; }
  void SetViewStyle(TViewStyle value);
  // The first selected item, or null; setting selects only that item (null: none).
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  TListItem* ItemFocused() const;
  void SetItemFocused(TListItem* item);
  int SelCount() const;
  // The index of the first selected item, or -1.
  int ItemIndex() const;
  void SetItemIndex(int value);

  bool RowSelect() const { return rowSelect; }
  void SetRowSelect(bool value);
  // False keeps the selection visible while the list has no focus.
  bool HideSelection() const { return hideSelection; }
  void SetHideSelection(bool value);
  bool MultiSelect() const { return multiSelect; }
  void SetMultiSelect(bool value);
  bool ReadOnly() const { return readOnly; }
  void SetReadOnly(bool value);
  bool ShowColumnHeaders() const { return showColumnHeaders; }
  void SetShowColumnHeaders(bool value);
  bool ColumnClick() const { return columnClick; }
  void SetColumnClick(bool value);
  bool GridLines() const { return gridLines; }
  void SetGridLines(bool value);
  bool Border() const { return border; }
  void SetBorder(bool value);
  // Images of the rows (not owned; may be null).
  TCustomImageList* SmallImages() const { return smallImages; }
  void SetSmallImages(TCustomImageList* value);
  // Switching clears the rows.
  bool OwnerData() const { return items->ownerData; }
  void SetOwnerData(bool value);

  // The item at client point (x, y), or null.
  TListItem* GetItemAt(int x, int y) const;
  void Clear() { items->Clear(); }

  TLVChangeEvent OnChange;
  TLVSelectItemEvent OnSelectItem;
  TLVOwnerDataEvent OnData;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Notification(TComponent* component, TOperation operation) override;
  virtual void Change(TListItem* item, TItemChange change);

  void CNNotify(TMessage& m);

private:
  friend class TListColumn;
  friend class TListColumns;
  friend class TListItem;
  friend class TListItems;
  // Window mirroring.
  void InsertWindowColumn(int index);
  void UpdateWindowColumn(int index);
  void InsertWindowItem(int index);
  void UpdateWindowItem(int index);
  void UpdateExtendedStyle();
  void ImageListChange(TObject* sender);
  // Owner data: one row's state in the window by index; the row whose
  // caption starts with (or is) the text sought, from start on.
  void SetRowState(int index, UINT mask, bool on);
  int FindDataRow(int start, const LVFINDINFOW& find);
  void ScrollToTop(int row);
  bool Quiet() const { return quietLevel > 0 || items->updateCount > 0 || ControlState().Contains(csCreating); }

  TListColumns* columns = nullptr;  // owned
  TListItems* items = nullptr;      // owned
  TViewStyle viewStyle = vsReport;
  bool rowSelect = false;
  bool hideSelection = true;
  bool multiSelect = false;
  bool readOnly = false;
  bool showColumnHeaders = true;
  bool columnClick = true;
  bool gridLines = false;
  bool border = true;
  TCustomImageList* smallImages = nullptr;  // not owned
  TChangeLink* imageChangeLink = nullptr;   // owned
  int quietLevel = 0;  // changes made by our own code: no OnChange
  // An owner-data list's selection and focus while it has no window.
  std::vector<int> dataSelection;
  int dataFocus = -1;
  int savedTop = 0;  // the top row while the window is made again
};

// ---------------------------------------------------------------------------
// Page control

class TPageControl;

// One page of a page control: shown while it is the active page.
class TTabSheet : public TWinControl {
public:
  void Create(TComponent* owner) override;
  void BeforeDestruction() override;

  TPageControl* PageControl() const { return pageControl; }
  // Moves the sheet to value (null takes it off any page control).
  void SetPageControl(TPageControl* value);
  // Position among the page control's sheets.
  int PageIndex() const;
  void SetPageIndex(int value);
  // False hides the sheet's tab; the sheet can still be made active in code.
  bool TabVisible() const { return tabVisible; }
  void SetTabVisible(bool value);
  int ImageIndex() const { return imageIndex; }
  void SetImageIndex(int value);
  // The index of the sheet's tab among the visible tabs, or -1.
  int TabIndex() const;

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

protected:
  void CreateParams(TCreateParams& params) override;
  void SetText(const std::string& value) override;
  virtual void DoShow();
  virtual void DoHide();

private:
  friend class TPageControl;
  TPageControl* pageControl = nullptr;  // not owned
  bool tabVisible = true;
  int imageIndex = -1;
};

enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };
enum TTabPosition { tpTop, tpBottom, tpLeft, tpRight };
using TTabChangingEvent = TEvent<void(TObject* sender, bool& allowChange)>;

class TPageControl : public TWinControl {
  QV_MESSAGE_MAP(TPageControl, TWinControl)

public:
  void Create(TComponent* owner) override;
  void BeforeDestruction() override;

  int PageCount() const { return static_cast<int>(pages.size()); }
  // Raises EListError out of range.
  TTabSheet* Pages(int index) const;
  TTabSheet* ActivePage() const { return activePage; }
  // Shows value (a sheet of this control, or null) and hides the others; the
  // newly shown sheet fires OnShow. Fires no OnChange.
  void SetActivePage(TTabSheet* value);
  int ActivePageIndex() const;
  // -1 shows no page; other values out of range are ignored.
  void SetActivePageIndex(int value);
  TTabStyle Style() const { return style; }
  void SetStyle(TTabStyle value);
  TTabPosition TabPosition() const { return tabPosition; }
  void SetTabPosition(TTabPosition value);
  bool MultiLine() const { return multiLine; }
  void SetMultiLine(bool value);
  TCustomImageList* Images() const { return images; }
  void SetImages(TCustomImageList* value);
  // The next or previous sheet after current (wrapping), optionally only those with a visible tab.
  TTabSheet* FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const;
  void SelectNextPage(bool goForward);

  // Fired when the user picks another tab.
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void AdjustClientRect(TRect& r) const override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  void CNNotify(TMessage& m);
  // Ctrl+Tab and Ctrl+Shift+Tab move to the next and previous page with a tab.
  void CMDialogKey(TMessage& m);

private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void MovePage(TTabSheet* page, int newIndex);
  // Rebuilds the system tabs from the sheets with visible tabs.
  void UpdateTabs();
  void UpdateTabSelection();
  TTabSheet* SheetOfTab(int tabIndex) const;

  std::vector<TTabSheet*> pages;  // not owned (their owner frees them)
  TTabSheet* activePage = nullptr;
  TTabStyle style = tsTabs;
  TTabPosition tabPosition = tpTop;
  bool multiLine = false;
  TCustomImageList* images = nullptr;  // not owned
};
