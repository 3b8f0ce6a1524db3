// The explorer views' holds over what their handlers free: the view and its
// form (kept in memory, marked going, until the last hold ends) and nodes (a
// call-out scope of the tree keeps the records of nodes freed meanwhile,
// marked dead), so that code going on after a handler touches nothing freed.
#include "shell/ExplorerTree.h"
#include "shell/ViewHold.h"
#include "win/Forms.h"

TViewHold::TViewHold(TControl* view_, bool door_) : view(view_), form(view_->ParentForm()), door(door_) {
  view->Hold();
  if (form != nullptr) form->Hold();
}

TViewHold::~TViewHold() {
  if (door) {
    view->UnholdFromDoor();
    if (form != nullptr) form->UnholdFromDoor();
  } else {
    view->Unhold();
    if (form != nullptr) form->Unhold();
  }
}

TCustomVirtualExplorerTree::THandlerWatch::THandlerWatch(TCustomVirtualExplorerTree& tree_)
    : tree(tree_), hold(&tree_), scope(tree_) {}

bool TCustomVirtualExplorerTree::THandlerWatch::Gone(PVirtualNode node) const {
  return tree.Going() || TVirtualTreeCore::Gone(node);
}
