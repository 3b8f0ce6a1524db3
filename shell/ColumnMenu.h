#pragma once
// TColumnMenu: the header's popup menu of an explorer view that shows and
// hides columns. Items are rebuilt each time the menu pops up; an item's Tag
// is its column's index.
#include "shell/ExplorerTree.h"
#include "win/controls/Menus.h"

class TColumnMenuItem : public TMenuItem {
public:
  // Toggles the column's visibility, stores the layout and tells the tree's application.
  void Click() override;
  int Tag = -1;  // the column index
};

class TColumnMenu : public TPopupMenu {
public:
  void Create(TComponent* owner) override;
  // Rebuilds the items from the tree's columns, then shows the menu at screen (x, y).
  void Popup(int x, int y);
  // The items for the tree's columns: with shell columns at most ColumnMenuItemCount,
  // without secondary, untitled or repeated columns; else one per column.
  void RebuildItems();
  TCustomVirtualExplorerTree* Tree() const { return tree; }

private:
  TCustomVirtualExplorerTree* tree = nullptr;  // the owner
};
