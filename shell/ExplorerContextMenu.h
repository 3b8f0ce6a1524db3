#pragma once
// TContextMenuManager: when an explorer tree shows the shell's context menu of
// the clicked or selected items, and how the selection stays as the user left
// it around a right click. One per explorer tree, owned by it.
#include <vector>

#include "shell/ExplorerTree.h"

class TContextMenuManager : public TObject {
public:
  void Create(TCustomVirtualExplorerTree* owner_) { owner = owner_; }

  // Forgets the pending click (Enabled and MenuShowing stay).
  void ResetState();
  // Forgets node wherever the pending click remembers it (the node is being freed).
  void NodeFreed(PVirtualNode node);
  // WM_RBUTTONDOWN (buttonUp false) and WM_RBUTTONUP (true); screen or client coordinates.
  void TrackRightButton(int x, int y, bool screenCoordinates, bool buttonUp);
  // The tree lost the mouse while a right click waits for its release (not
  // while the release itself or its menu runs): the click ends as a release
  // without a menu ends it; during a drag it is only forgotten.
  void CaptureLost();
  // The shell menu of the clicked node's item at point (screen); false when none was shown.
  bool ShowMenuAtPoint(TPoint point);
  // The shell menu of the first selected item at its node (the keyboard's menu).
  bool ShowMenuForSelection();
  // Where a keyboard menu of node opens (screen); (0, 0) for null.
  TPoint NodeMenuPoint(PVirtualNode node);
  // The menu of ns (of the whole selection when several nodes are selected).
  void ShowContextMenu(TNamespace* ns, TPoint point);
  // Owner-drawn submenu messages for the menu that is up.
  void MenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void MenuSelect(WPARAM wParam, LPARAM lParam);

  PVirtualNode ClickNode = nullptr;
  PVirtualNode PrevSelectedNode = nullptr;
  PVirtualNode PrevFocusedNode = nullptr;
  // Every node selected when the button went down (PrevSelectedNode first).
  std::vector<PVirtualNode> PrevSelection;
  bool Renaming = false;
  bool Enabled = true;
  bool RightClickPending = false;
  bool MenuShowing = false;
  // True while the tree handles the release (the menu it may show takes the mouse).
  bool Releasing = false;

private:
  // Removes the shell's create-shortcut entry (verb "link") and a separator it leaves doubled.
  void MenuShowHook(TNamespace* ns, HMENU menu, bool& allow);
  void MenuCommandHook(TNamespace* ns, const std::u16string& verb, int menuItemID, bool& handled);
  void MenuAfterCommandHook(TNamespace* ns, const std::u16string& verb, int menuItemID, bool succeeded);
  TCustomVirtualExplorerTree* owner = nullptr;  // not owned
};
