// The explorer tree's shell context menus: which items a right click or the
// menu key shows the menu of, and the selection kept around the click.
#include "shell/ExplorerContextMenu.h"

#include <algorithm>

#include "win/controls/Menus.h"

void TContextMenuManager::ResetState() {
  ClickNode = nullptr;
  PrevSelectedNode = nullptr;
  PrevFocusedNode = nullptr;
  PrevSelection.clear();
  Renaming = false;
  RightClickPending = false;
}

void TContextMenuManager::NodeFreed(PVirtualNode node) {
  if (node == nullptr) return;
  if (ClickNode == node) ClickNode = nullptr;
  if (PrevSelectedNode == node) PrevSelectedNode = nullptr;
  if (PrevFocusedNode == node) PrevFocusedNode = nullptr;
  PrevSelection.erase(std::remove(PrevSelection.begin(), PrevSelection.end(), node), PrevSelection.end());
}

void TContextMenuManager::TrackRightButton(int x, int y, bool screenCoordinates, bool buttonUp) {
  if (owner == nullptr) return;
  TVETMiscOptions misc = owner->TreeOptions()->VETMiscOptions();
  if (!buttonUp) {
    ResetState();
    if (screenCoordinates) {
      POINT p{x, y};
      ::ScreenToClient(owner->Handle(), &p);
      x = p.x;
      y = p.y;
    }
    THitInfo hit;
    owner->GetHitTestInfoAt(x, y, true, hit);
    if (hit.HitNode == nullptr) return;
    if (!hit.HitPositions.Contains(hiOnItemLabel) && !hit.HitPositions.Contains(hiOnNormalIcon) &&
        !owner->TreeOptions()->VETShellOptions().Contains(toFullRowContextMenuActivate))
      return;
    RightClickPending = true;
    ClickNode = hit.HitNode;
    PrevSelectedNode = owner->GetFirstSelected();
    for (PVirtualNode run = PrevSelectedNode; run != nullptr; run = owner->GetNextSelected(run))
      PrevSelection.push_back(run);
    // The focus comes back where it was, also when it was not on the first selected node.
    PrevFocusedNode = owner->FocusedNode() != nullptr ? owner->FocusedNode() : PrevSelectedNode;
    if (!owner->GetSelected(hit.HitNode)) {
      if (misc.Contains(toRightButtonSelect)) {
        PrevSelectedNode = hit.HitNode;
        PrevFocusedNode = hit.HitNode;
        PrevSelection.assign(1, hit.HitNode);
      }
      owner->ClearSelection();
      owner->AddToSelection(hit.HitNode);
      owner->SetFocusedNode(hit.HitNode);
    }
    return;
  }
  // A change reported below may reach a handler that frees the tree and this manager.
  struct Reset {
    TContextMenuManager* manager;
    TCustomVirtualExplorerTree* tree;
    ~Reset() {
      if (!tree->Going()) manager->ResetState();
    }
  };
  // The tree (and with it this manager) stays in memory until the click is done.
  TViewHold hold(owner);
  Reset reset{this, owner};
  if (Renaming) return;
  if (misc.Contains(toRightButtonSelect)) {
    if (PVirtualNode first = owner->GetFirstSelected()) {
      owner->RemoveFromSelection(first);
      RightClickPending = false;
      owner->AddToSelection(first);
    }
    return;
  }
  if (PrevSelectedNode == nullptr || !owner->GetSelected(PrevSelectedNode)) {
    // The whole selection comes back, not only its first node.
    owner->ClearSelection();
    for (PVirtualNode node : PrevSelection) owner->AddToSelection(node);
    if (PrevFocusedNode != nullptr) owner->SetFocusedNode(PrevFocusedNode);
  }
}

void TContextMenuManager::CaptureLost() {
  if (!RightClickPending || MenuShowing || Releasing || owner == nullptr) return;
  TVirtualTreeStates states = owner->TreeStates();
  if (owner->Dragging() || states.Contains(tsOLEDragging) || states.Contains(tsOLEDragPending)) {
    ResetState();
    return;
  }
  TrackRightButton(0, 0, /*screenCoordinates=*/false, /*buttonUp=*/true);
}

bool TContextMenuManager::ShowMenuAtPoint(TPoint point) {
  TNamespace* ns = owner != nullptr ? owner->NodeNamespace(ClickNode) : nullptr;
  if (!Enabled || ns == nullptr) return false;
  ShowContextMenu(ns, point);
  return true;
}

bool TContextMenuManager::ShowMenuForSelection() {
  if (!Enabled || owner == nullptr) return false;
  PVirtualNode first = owner->GetFirstSelected();
  TNamespace* ns = owner->NodeNamespace(first);
  if (ns == nullptr) return false;
  ClickNode = first;
  ShowContextMenu(ns, NodeMenuPoint(first));
  return true;
}

TPoint TContextMenuManager::NodeMenuPoint(PVirtualNode node) {
  if (node == nullptr || owner == nullptr) return TPoint{0, 0};
  TRect r = owner->GetDisplayRect(node, NoColumn, false, true);
  POINT p{r.Left, r.Top};
  POINT q{r.Right, r.Bottom};
  ClientToScreen(owner->Handle(), &p);
  ClientToScreen(owner->Handle(), &q);
  int imageWidth = owner->Images() != nullptr ? owner->Images()->Width() : 0;
  return TPoint{p.x + imageWidth / 2, (p.y + q.y) / 2};
}

namespace {

// The manager's hooks as the menu sees them: application code run by one hook
// may free the tree (and the manager with it); the later ones then do nothing.
struct TGuardedMenuHooks : TObject {
  TContextMenuManager* manager = nullptr;
  TCustomVirtualExplorerTree* tree = nullptr;
  TContextMenuShowEvent show;
  TContextMenuCmdEvent command;
  TContextMenuAfterCmdEvent after;
  void Show(TNamespace* ns, HMENU menu, bool& allow) {
    allow = false;
    if (!tree->Going()) show(ns, menu, allow);
  }
  void Command(TNamespace* ns, const std::u16string& verb, int menuItemID, bool& handled) {
    if (!tree->Going()) command(ns, verb, menuItemID, handled);
  }
  void After(TNamespace* ns, const std::u16string& verb, int menuItemID, bool succeeded) {
    if (!tree->Going()) after(ns, verb, menuItemID, succeeded);
  }
};

}  // namespace

void TContextMenuManager::ShowContextMenu(TNamespace* ns, TPoint point) {
  if (ns == nullptr || owner == nullptr) return;
  // The menu's hooks may free the tree or its form: both stay in memory until it is down.
  TViewHold hold(owner);
  TGuardedMenuHooks hooks;
  hooks.manager = this;
  hooks.tree = owner;
  hooks.show = MakeEvent<&TContextMenuManager::MenuShowHook>(this);
  hooks.command = MakeEvent<&TContextMenuManager::MenuCommandHook>(this);
  hooks.after = MakeEvent<&TContextMenuManager::MenuAfterCommandHook>(this);
  MenuShowing = true;
  struct Done {
    TGuardedMenuHooks& hooks;
    ~Done() {
      hooks.manager->MenuShowing = false;  // the manager lives as long as the held tree
    }
  } done{hooks};
  auto onShow = MakeEvent<&TGuardedMenuHooks::Show>(&hooks);
  auto onCommand = MakeEvent<&TGuardedMenuHooks::Command>(&hooks);
  auto onAfter = MakeEvent<&TGuardedMenuHooks::After>(&hooks);
  if (owner->SelectedCount() == 1) {
    ns->ShowContextMenu(owner, &point, owner->ShellContextSubMenuCaption(), owner->ShellContextSubMenu(), onShow,
                        onCommand, onAfter);
    return;
  }
  TNamespaceArray items;
  owner->SelectedToNamespaceArray(items);
  ns->ShowContextMenuMulti(owner, items, /*absolute=*/false, &point, owner->ShellContextSubMenuCaption(),
                           owner->ShellContextSubMenu(), onShow, onCommand, onAfter);
}

void TContextMenuManager::MenuShowHook(TNamespace* ns, HMENU menu, bool& allow) {
  if (owner == nullptr) {
    allow = false;
    return;
  }
  if (owner->TreeOptions()->VETMiscOptions().Contains(toRemoveContextMenuShortCut)) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      UINT id = GetMenuItemID(menu, i);
      if (id == UINT(-1) || id == 0) continue;
      if (ns->ContextMenuVerb(id) != u"link") continue;
      DeleteMenu(menu, i, MF_BYPOSITION);
      auto isSeparator = [menu](int position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        return GetMenuItemInfoW(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR) != 0;
      };
      int left = GetMenuItemCount(menu);
      if (i > 0 && isSeparator(i - 1) && (i >= left || isSeparator(i))) DeleteMenu(menu, i - 1, MF_BYPOSITION);
      break;
    }
  }
  allow = true;
  FireViewHandler(owner, owner->OnContextMenuShow, ns, menu, allow);
}

void TContextMenuManager::MenuCommandHook(TNamespace* ns, const std::u16string& verb, int menuItemID, bool& handled) {
  if (owner == nullptr) return;
  // The program's handler may free the tree: nothing more is done then.
  if (!FireViewHandler(owner, owner->OnContextMenuCmd, ns, verb, menuItemID, handled)) return;
  if (!handled && verb == u"rename") {
    handled = true;
    if (owner->SelectedCount() == 1) {
      Renaming = true;
      owner->EditNode(owner->GetFirstSelected(), owner->Header()->Columns()->Count() > 0 ? 0 : NoColumn);
    }
  }
}

void TContextMenuManager::MenuAfterCommandHook(TNamespace* ns, const std::u16string& verb, int menuItemID,
                                               bool succeeded) {
  if (owner == nullptr) return;
  if (succeeded) {
    std::u16string lower;
    for (char16_t c : verb) lower += (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    if (lower == u"cut") owner->MarkSelectionCutOrCopied(true);
    if (lower == u"copy") owner->MarkSelectionCutOrCopied(false);
  }
  FireViewHandler(owner, owner->OnContextMenuAfterCmd, ns, verb, menuItemID, succeeded);
}

void TContextMenuManager::MenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  TNamespace* ns = owner != nullptr ? owner->NodeNamespace(ClickNode) : nullptr;
  if (ns != nullptr) ns->HandleContextMenuMsg(msg, wParam, lParam, result);
}

void TContextMenuManager::MenuSelect(WPARAM wParam, LPARAM lParam) {
  TNamespace* ns = owner != nullptr ? owner->NodeNamespace(ClickNode) : nullptr;
  if (!MenuShowing || ns == nullptr) return;
  UINT flags = HIWORD(wParam);
  HMENU sub = (flags & MF_POPUP) != 0 ? GetSubMenu(reinterpret_cast<HMENU>(lParam), LOWORD(wParam)) : nullptr;
  FireViewHandler(owner, owner->OnContextMenuItemChange, owner, ns, LOWORD(wParam), sub, (flags & 0x8000) != 0);
}
