// The explorer tree's watch over what its handlers free: the tree itself
// (through its alive flag) and nodes (through the tree's log of freed
// records), so that code going on after a handler touches nothing freed.
#include <new>

#include "shell/ExplorerTree.h"

TCustomVirtualExplorerTree::THandlerWatch::THandlerWatch(TCustomVirtualExplorerTree& tree_)
    : tree(tree_), alive(tree_.Alive()) {
  new (&nodes) TFreedNodeWatch(tree_);
  seen = nodes.Mark();
}

TCustomVirtualExplorerTree::THandlerWatch::~THandlerWatch() {
  if (*alive) nodes.~TFreedNodeWatch();
}

bool TCustomVirtualExplorerTree::THandlerWatch::Gone(PVirtualNode node) {
  if (!*alive || node == nullptr) return true;
  // Each record freed since the last question is looked at once.
  for (size_t end = tree.FreedMark(); seen < end; ++seen) freed.insert(tree.FreedRecord(seen));
  return freed.count(node) != 0;
}
