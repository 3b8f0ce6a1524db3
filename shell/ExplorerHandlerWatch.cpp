// The explorer tree's watch over what its handlers free: the tree itself
// (through its alive flag) and nodes (a call-out scope of the tree keeps the
// records of nodes freed meanwhile, marked dead), so that code going on after
// a handler touches nothing freed.
#include "shell/ExplorerTree.h"

TCustomVirtualExplorerTree::THandlerWatch::THandlerWatch(TCustomVirtualExplorerTree& tree_)
    : alive(tree_.Alive()), scope(tree_) {}

bool TCustomVirtualExplorerTree::THandlerWatch::Gone(PVirtualNode node) const {
  return !*alive || TVirtualTreeCore::Gone(node);
}
