#pragma once
// The path combo box's two drop-downs: the explorer drop-down (a small
// folder tree) and the auto-complete drop-down (the candidates for the typed
// text), with the trees they host.
#include <string>
#include <vector>

#include "shell/AutoComplete.h"
#include "shell/DropDownWnd.h"
#include "shell/ExplorerTree.h"
#include "tree/StringTree.h"

class TCustomVirtualExplorerCombobox;
class TPopupExplorerDropDown;
class TPopupAutoCompleteDropDown;

// The framework's combo box has a TComboBoxStyle of its own.
namespace vst {
enum TComboBoxStyle { cbsClassic, cbsVETEnhanced };
}
using vst::cbsClassic;
using vst::cbsVETEnhanced;

// Filled by the application instead of the shell's candidates when it sets handled.
using TOnAutoCompleteUpdateList =
    TEvent<void(TObject* sender, const std::u16string& text, TWideStringList* list, bool& handled)>;

// The folder tree of the explorer drop-down.
class TPopupExplorerTree : public TVirtualExplorerTree {
  QV_MESSAGE_MAP(TPopupExplorerTree, TVirtualExplorerTree)

public:
  void Create(TComponent* owner) override;
  TPopupExplorerDropDown* PopupExplorerDropDown() const { return dropDown; }
  void SetPopupExplorerDropDown(TPopupExplorerDropDown* value) { dropDown = value; }
  // Expands My Computer, then browses inside one update and scrolls the target into view.
  bool BrowseTo(LPCITEMIDLIST pidl, bool expandTarget, bool expandPath, bool collapseFirst, bool focusTree,
                bool selectTarget) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void SetDefaultOptions() override;
  void DoExpanded(PVirtualNode node) override;
  void DoCollapsed(PVirtualNode node) override;
  void PaintWindow(HDC dc) override;
  void WMMouseMove(TMessage& m);
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  void WMRButtonDown(TMessage& m);
  void WMMouseActivate(TMessage& m);

private:
  TPopupExplorerDropDown* dropDown = nullptr;  // not owned
  TPoint lastMouse{-1, -1};
};

// The candidate list of the auto-complete drop-down.
class TPopupAutoCompleteTree : public TVirtualStringTree {
  QV_MESSAGE_MAP(TPopupAutoCompleteTree, TVirtualStringTree)

public:
  void Create(TComponent* owner) override;
  ~TPopupAutoCompleteTree() override;
  TPopupAutoCompleteDropDown* PopupAutoCompleteDropDown() const { return dropDown; }
  void SetPopupAutoCompleteDropDown(TPopupAutoCompleteDropDown* value) { dropDown = value; }
  TVirtualShellAutoComplete* AutoComplete() const { return autoComplete; }
  TWideStringList* Strings() const { return strings; }
  // Refills the candidates for text (the application's, or those of text's folder that begin with text).
  void UpdateList(const std::u16string& text);
  // The candidate a node shows; empty for null.
  std::u16string Candidate(PVirtualNode node);

  TOnAutoCompleteUpdateList OnAutoCompleteUpdateList;

protected:
  void CreateParams(TCreateParams& params) override;
  void DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::u16string& text) override;
  void PaintWindow(HDC dc) override;
  void WMMouseMove(TMessage& m);
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  void WMMouseActivate(TMessage& m);

private:
  TPopupAutoCompleteDropDown* dropDown = nullptr;  // not owned
  TVirtualShellAutoComplete* autoComplete = nullptr;  // owned
  TWideStringList* strings = nullptr;                 // owned
  TPoint lastMouse{-1, -1};
};

class TPopupExplorerDropDown : public TDropDownWnd {
  QV_MESSAGE_MAP(TPopupExplorerDropDown, TDropDownWnd)

public:
  void Create(TComponent* owner) override;
  ~TPopupExplorerDropDown() override;
  TPopupExplorerTree* PopupExplorerTree() const { return tree; }
  TWinControl* ScrolledControl() const override { return tree; }
  TCustomVirtualExplorerCombobox* Combo() const { return combo; }
  void SetCombo(TCustomVirtualExplorerCombobox* value) { combo = value; }
  vst::TComboBoxStyle ComboBoxStyle() const { return comboBoxStyle; }
  void SetComboBoxStyle(vst::TComboBoxStyle value);
  // What the next opening browses to (a copy is kept) and whether it selects it.
  void SetTargetPIDL(LPCITEMIDLIST pidl);
  void SetSelectTarget(bool value) { selectTarget = value; }
  void RollUp(bool accept) override;
  void LayoutStep() override;

protected:
  virtual TPopupExplorerTree* CreatePopupExplorerTree();
  void DoRollDownInit() override;
  void KeyHandler(MSG& msg, bool& handled) override;
  void WMVScroll(TMessage& m);

private:
  TPopupExplorerTree* tree = nullptr;  // owned (a child)
  TCustomVirtualExplorerCombobox* combo = nullptr;  // not owned
  LPITEMIDLIST targetPIDL = nullptr;   // owned while down
  bool selectTarget = true;
  vst::TComboBoxStyle comboBoxStyle = cbsClassic;
};

class TPopupAutoCompleteDropDown : public TDropDownWnd {
  QV_MESSAGE_MAP(TPopupAutoCompleteDropDown, TDropDownWnd)

public:
  void Create(TComponent* owner) override;
  TPopupAutoCompleteTree* PopupAutoCompleteTree() const { return tree; }
  TWinControl* ScrolledControl() const override { return tree; }
  TCustomVirtualExplorerCombobox* Combo() const { return combo; }
  void SetCombo(TCustomVirtualExplorerCombobox* value) { combo = value; }
  void RollUp(bool accept) override;
  void LayoutStep() override;

protected:
  virtual TPopupAutoCompleteTree* CreatePopupAutoCompleteTree();
  void DoRollDownInit() override;
  void KeyHandler(MSG& msg, bool& handled) override;
  void WMVScroll(TMessage& m);

private:
  // Moves the selection by key and writes the selected candidate into the edit.
  void MoveSelection(WPARAM key);
  TPopupAutoCompleteTree* tree = nullptr;  // owned (a child)
  TCustomVirtualExplorerCombobox* combo = nullptr;  // not owned
};

// Shared by both trees: the bar follows the tree; the grip's triangle stays free of the tree's paint.
namespace dropdown_detail {
void SyncScrollBar(TDropDownWnd* dropDown, TBaseVirtualTree* tree);
// Paints the tree through paint with the grip's triangle clipped out, then the grip over it.
template <class F>
void PaintAroundGrip(TDropDownWnd* dropDown, TWinControl* tree, HDC dc, F paint);
void ScrollTreeFromBar(TDropDownWnd* dropDown, TBaseVirtualTree* tree, TMessage& m);
// Auto-scroll while the mouse is captured and held above or below the list; true while it runs.
bool DriveAutoScroll(TDropDownWnd* dropDown, TWinControl* tree, int y);
}  // namespace dropdown_detail

template <class F>
void dropdown_detail::PaintAroundGrip(TDropDownWnd* dropDown, TWinControl* tree, HDC dc, F paint) {
  TSizeGrabber* grip = dropDown != nullptr ? dropDown->Grabber() : nullptr;
  if (grip == nullptr || !grip->Visible() || dropDown->ScrollBar()->Visible()) {
    paint(dc);
    return;
  }
  int x = grip->Left() - tree->Left(), y = grip->Top() - tree->Top();
  HRGN triangle = grip->CreateTriangleRegion();
  OffsetRgn(triangle, x, y);
  int saved = SaveDC(dc);
  ExtSelectClipRgn(dc, triangle, RGN_DIFF);
  paint(dc);
  RestoreDC(dc, saved);
  DeleteObject(triangle);
  grip->PaintGrip(dc, x, y);
}
