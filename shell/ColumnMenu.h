#pragma once
// TColumnMenu: the header's popup menu of an explorer view that shows and
// hides columns. Items are rebuilt each time the menu pops up; an item's Tag
// is its column's index, -2 for "More ...", which opens the column settings
// dialog for every column.
#include "shell/ExplorerTree.h"
#include "win/controls/Menus.h"

class TFormColumnSettings;

class TColumnMenuItem : public TMenuItem {
public:
  // A column item toggles its column's visibility, stores the layout and
  // tells the tree's application; "More ..." runs the column settings dialog.
  void Click() override;
  int Tag = -1;  // the column index, kMoreTag for "More ..."
  static constexpr int kMoreTag = -2;

  // The dialog's nodes applied to tree's columns: the n-th node's column gets
  // position n, the node's visibility and width.
  static void ApplyColumnSettings(TCustomVirtualExplorerTree* tree, TFormColumnSettings* dialog);
  // Fills the dialog with tree's titled columns in display order (one node per title).
  static void FillColumnSettings(TCustomVirtualExplorerTree* tree, TFormColumnSettings* dialog);

  // The dialog's live update: its nodes applied to the menu's tree at once.
  void ColumnSettingsUpdate(TObject* sender);

private:
  // Shows the dialog modally; OK applies it, anything else restores the header as it was.
  void RunColumnSettings(TCustomVirtualExplorerTree* tree);
  TCustomVirtualExplorerTree* MenuTree();
};

class TColumnMenu : public TPopupMenu {
public:
  void Create(TComponent* owner) override;
  // Rebuilds the items from the tree's columns, then shows the menu at screen (x, y).
  void Popup(int x, int y);
  // The items for the tree's columns: with shell columns at most ColumnMenuItemCount,
  // without secondary, untitled or repeated columns, and "More ..." after a
  // separator when any was left out; else one per column.
  void RebuildItems();
  TCustomVirtualExplorerTree* Tree() const { return tree; }

private:
  TCustomVirtualExplorerTree* tree = nullptr;  // the owner
};
