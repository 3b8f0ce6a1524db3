#pragma once
// TVirtualExplorerListview: the list pane of the explorer views. It shows the
// contents of one folder as a details list (the folder's shell columns) and
// browses into folders in place: Enter or a double click on a folder makes it
// the shown folder, Backspace goes to the parent. Linked to a tree pane
// (TVirtualExplorerTreeview) through change links, the list shows the folder
// selected in the tree; linked back, the tree selects the folder the list shows.
//
// Main thread only.
#include "shell/ExplorerTree.h"

class TVirtualExplorerListview : public TVirtualExplorerViews {
public:
  ~TVirtualExplorerListview() override;
  void Assign(TPersistent* source) override;

  // The tree pane linked to this list (not owned), or null.
  TVirtualExplorerTreeview* VirtualExplorerTreeview() const { return treeview; }
  void SetVirtualExplorerTreeview(TVirtualExplorerTreeview* value);
  // A copy of the root folder's item taken when the window was made (owned);
  // the limit of toListviewLimitBrowseToRoot. Null before that or without a root.
  TNamespace* RootCopy() const { return rootCopy; }

  // True unless toListviewLimitBrowseToRoot is set and pidl lies outside the
  // limit: the linked tree pane's root, else RootCopy (the limit itself counts as inside).
  bool OkToBrowseTo(LPCITEMIDLIST pidl) override;
  // Shows pidl's folder (pidl itself for a folder, else its parent); for an
  // item that is no folder, with expandPath, finds its node and (selectTarget)
  // selects it. pidl is never written. False when refused or without a shown folder.
  bool BrowseTo(LPCITEMIDLIST pidl, bool expandTarget, bool expandPath, bool collapseFirst, bool showAllSiblings,
                bool selectTarget) override;
  // The first selected folder becomes the shown folder; false when it is no folder.
  bool BrowseToSelectedFolder();
  // The parent of the shown folder becomes the shown folder; false at the desktop.
  bool BrowseToParent();
  // Folders are browsed into (toBrowseExecuteFolder; ".zip" folders only with
  // toBrowseExecuteZipFolder); other items run.
  void DoShellExecute(PVirtualNode node) override;
  // Backspace: up one folder. Enter on one selected item: runs or browses it.
  // Ctrl+V: pastes into the shown folder.
  bool DoKeyAction(uint16_t& charCode, TShiftState& shift) override;
  // Selected items show their normal icon.
  TCustomImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column, bool& ghosted,
                                    int& index) override;
  // Pastes the clipboard's items into the shown folder; false without one (or read-only).
  bool PasteFromClipboard() override;
  // Pastes into the first (allSelected: every) selected item, or into the shown folder without a selection.
  void SelectedFilesPaste(bool allSelected) override;
  // Rebuilds the shown folder and its shell columns.
  void RebuildRootNamespace() override;
  // Only the shown folder itself is re-read; other nodes are left alone.
  void ReReadAndRefreshNode(PVirtualNode node, bool sortNode) override;
  // Tells linked views the shown folder.
  void NotifyViewsOfFocus() override;
  void ChangeLinkFreeing(IVETChangeLink* link) override;

protected:
  void AssignTo(TPersistent* dest) override;
  void SetDefaultOptions() override;
  void CreateWnd() override;

private:
  TVirtualExplorerTreeview* treeview = nullptr;  // not owned
  TNamespace* rootCopy = nullptr;                // owned
};
