// The explorer tree's shell actions on the selection: the clipboard, delete,
// paste and properties through the items' shell verbs, and the shell's
// context menu on a right click or the menu key.
#include "shell/ExplorerCombobox.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"

#include <windowsx.h>

#include "win/controls/Menus.h"

#include <functional>

namespace {

// Shows the hourglass for the life of the scope.
struct TWaitScope {
  explicit TWaitScope(std::function<void(bool)> set_) : set(std::move(set_)) { set(true); }
  ~TWaitScope() { set(false); }
  std::function<void(bool)> set;
};

}  // namespace

void TCustomVirtualExplorerTree::MarkSelectionCutOrCopied(bool cut) {
  if (!TreeOptions()->VETImageOptions().Contains(toMarkCutAndCopy)) return;
  CancelCutOrCopy();
  DoStateChange(cut ? TVirtualTreeStates{tsCutPending} : TVirtualTreeStates{tsCopyPending});
  MarkCutCopyNodes();
  Invalidate();
}

void TCustomVirtualExplorerTree::CopyToClipBoard() {
  TViewHold hold(this);  // the handler may free the tree or its form
  TWaitScope wait([this](bool on) { WaitCursor(on); });
  bool handled = false;
  if (!FireHandler(OnClipboardCopy, this, handled) || handled) return;
  TNamespace* first = NodeNamespace(GetFirstSelected());
  if (first == nullptr) return;
  TNamespaceArray items;
  SelectedToNamespaceArray(items);
  if (first->Copy(items)) MarkSelectionCutOrCopied(false);
}

void TCustomVirtualExplorerTree::CutToClipBoard() {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return;
  TViewHold hold(this);  // the handler may free the tree or its form
  TWaitScope wait([this](bool on) { WaitCursor(on); });
  bool handled = false, markCut = true;
  if (!FireHandler(OnClipboardCut, this, markCut, handled)) return;
  if (handled) {
    if (markCut) MarkSelectionCutOrCopied(true);
    return;
  }
  TNamespace* first = NodeNamespace(GetFirstSelected());
  if (first == nullptr) return;
  TNamespaceArray items;
  SelectedToNamespaceArray(items);
  if (first->Cut(items)) MarkSelectionCutOrCopied(true);
}

bool TCustomVirtualExplorerTree::PasteFromClipboard() {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return false;
  TViewHold hold(this);  // the handler may free the tree or its form
  TWaitScope wait([this](bool on) { WaitCursor(on); });
  bool handled = false;
  if (!FireHandler(OnClipboardPaste, this, handled)) return false;
  if (handled) return true;
  TNamespace* target = SelectedCount() == 1 ? NodeNamespace(GetFirstSelected()) : nullptr;
  if (target == nullptr) return false;
  // Into the selected item itself; a plain paste (pasting links would leave shortcuts, not the files).
  target->Paste({target}, /*plainPaste=*/true);
  return true;
}

void TCustomVirtualExplorerTree::SelectedFilesDelete() {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return;
  TNamespace* first = NodeNamespace(GetFirstSelected());
  if (first == nullptr) return;
  TWaitScope wait([this](bool on) { WaitCursor(on); });
  TNamespaceArray items;
  SelectedToNamespaceArray(items);
  first->Delete(items);
}

void TCustomVirtualExplorerTree::SelectedFilesPaste(bool allSelected) {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return;
  if (!allSelected && SelectedCount() != 1) return;
  for (PVirtualNode node = GetFirstSelected(); node != nullptr; node = GetNextSelected(node)) {
    TNamespace* ns = NodeNamespace(node);
    if (ns != nullptr && ns->IsValid()) ns->Paste({ns}, /*plainPaste=*/true);
    if (!allSelected) break;
  }
}

void TCustomVirtualExplorerTree::SelectedFilesShowProperties() {
  TNamespace* first = NodeNamespace(GetFirstSelected());
  if (first == nullptr) return;
  TNamespaceArray items;
  SelectedToNamespaceArray(items);
  first->ShowPropertySheetMulti(items);
}

IDataObject* TCustomVirtualExplorerTree::SelectedToDataObject() {
  TNamespace* first = NodeNamespace(GetFirstSelected());
  if (first == nullptr) return nullptr;
  TNamespaceArray items;
  SelectedToNamespaceArray(items);
  return first->DataObjectMulti(items);
}

// ---- Right clicks and the shell's context menu -------------------------------------------

void TCustomVirtualExplorerTree::WMRButtonDown(TMessage& m) {
  TPoint p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
  contextMenuManager->TrackRightButton(p.X, p.Y, false, false);
  // Held until the release, so that losing the mouse before it ends the click.
  if (contextMenuManager->RightClickPending && HandleAllocated() && GetCapture() != Handle()) SetCapture(Handle());
  Inherited(ClassMessageMap(), m);
  if (Going()) return;
  // A right-button drag: the shell offers its menu of copy, move and link at the drop.
  lastClickPos = p;
  THitInfo hit;
  GetHitTestInfoAt(p.X, p.Y, /*relative=*/true, hit);
  bool buttonDown = states.Contains(tsLeftButtonDown) || states.Contains(tsMiddleButtonDown) ||
                    states.Contains(tsRightButtonDown);
  if (hit.HitNode != nullptr && buttonDown && DoDragAllowed(hit.HitNode, hit.HitColumn)) BeginDrag(false, -1);
}

void TCustomVirtualExplorerTree::WMRButtonUp(TMessage& m) {
  // Released before the mouse went far enough: no drag, neither on a later
  // move nor from within the menu the release may show.
  DoStateChange({}, {tsOLEDragPending});
  {
    // The manager lives as long as the tree's memory, which the message holds.
    struct Releasing {
      TContextMenuManager* manager;
      ~Releasing() { manager->Releasing = false; }
    } releasing{contextMenuManager};
    contextMenuManager->Releasing = true;
    Inherited(ClassMessageMap(), m);
    if (Going()) return;
  }
  contextMenuManager->TrackRightButton(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam), false, true);
  ReleaseCapture();
}

void TCustomVirtualExplorerTree::WMCaptureChanged(TMessage& m) {
  // Ending the click may report a change, whose handler may free the tree.
  if (reinterpret_cast<HWND>(m.LParam) != Handle()) contextMenuManager->CaptureLost();
  if (!Going()) Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMCancelMode(TMessage& m) {
  contextMenuManager->CaptureLost();
  if (!Going()) Inherited(ClassMessageMap(), m);
}

TComponent* TCustomVirtualExplorerTree::DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  TComponent* menu = TCustomVirtualStringTree::DoGetPopupMenu(node, column, position);
  if (menu == nullptr) return nullptr;
  if (TreeOptions()->VETShellOptions().Contains(toContextMenus)) {
    THitInfo hit;
    GetHitTestInfoAt(position.X, position.Y, /*relative=*/true, hit);
    if (hit.HitNode != nullptr && (hit.HitPositions.Contains(hiOnItemLabel) ||
                                   hit.HitPositions.Contains(hiOnNormalIcon) ||
                                   hit.HitPositions.Contains(hiOnStateIcon)))
      return nullptr;
  }
  if (auto* popup = dynamic_cast<TPopupMenu*>(menu); popup != nullptr && popup->PopupComponent() != this) {
    popup->SetPopupComponent(this);
    FreeNotification(popup);  // the menu forgets the tree when it goes
  }
  return menu;
}

bool TCustomVirtualExplorerTree::HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  if (TCustomVirtualStringTree::HasPopupMenu(node, column, position)) return true;
  return TreeOptions()->VETShellOptions().Contains(toContextMenus) && NodeNamespace(node) != nullptr;
}

void TCustomVirtualExplorerTree::DoPopupMenu(PVirtualNode, TColumnIndex column, TPoint position) {
  // The tree's own menu is about the tree, never about the node under the mouse.
  TCustomVirtualStringTree::DoPopupMenu(nullptr, column, position);
}

void TCustomVirtualExplorerTree::WMContextMenu(TMessage& m) {
  TVETShellOptions shell = TreeOptions()->VETShellOptions();
  if (states.Contains(tsOLEDragging) || TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) {
    m.Result = 1;
    return;
  }
  bool keyboard = m.LParam == -1;
  if (keyboard) {
    if (contextMenuManager->MenuShowing) {
      m.Result = 1;
      return;
    }
    bool shown = shell.Contains(toContextMenus) && contextMenuManager->ShowMenuForSelection();
    if (Going()) return;  // a handler of the menu freed the tree
    contextMenuManager->ResetState();
    if (shown) {
      m.Result = 1;
      return;
    }
    Inherited(ClassMessageMap(), m);
    return;
  }
  TPoint screen{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
  POINT client{screen.X, screen.Y};
  ::ScreenToClient(Handle(), &client);
  THitInfo hit;
  GetHitTestInfoAt(client.x, client.y, true, hit);
  bool wanted = hit.HitNode != nullptr &&
                (shell.Contains(toFullRowContextMenuActivate) ||
                 (hit.HitColumn < 1 &&
                  (hit.HitPositions.Contains(hiOnItemLabel) || hit.HitPositions.Contains(hiOnNormalIcon))));
  if (wanted && shell.Contains(toContextMenus)) {
    if (contextMenuManager->ClickNode == nullptr) contextMenuManager->ClickNode = hit.HitNode;
    if (contextMenuManager->ShowMenuAtPoint(screen)) {
      m.Result = 1;
      return;
    }
  }
  Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMMenuMessage(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  contextMenuManager->MenuMessage(m.Msg, m.WParam, m.LParam, m.Result);
}

void TCustomVirtualExplorerTree::WMMenuSelect(TMessage& m) { contextMenuManager->MenuSelect(m.WParam, m.LParam); }

void TCustomVirtualExplorerTree::Notification(TComponent* component, TOperation operation) {
  TCustomVirtualStringTree::Notification(component, operation);
  if (operation == opRemove && component == static_cast<TComponent*>(shellContextSubMenu)) shellContextSubMenu = nullptr;
  // Also when no change link tells of it (the links' registry has gone at shut-down).
  if (operation == opRemove && component == static_cast<TComponent*>(explorerComboBox)) explorerComboBox = nullptr;
}
