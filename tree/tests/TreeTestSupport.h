#pragma once
// Test support for the tree: a window-free tree with hooks, and brute-force
// checks of every invariant of the node model.
#include <functional>
#include <string>
#include <vector>

#include "tree/VirtualTreeCore.h"

// A tree without a window whose event-firing operations call test hooks.
class TTestTree : public TVirtualTreeCore {
public:
  TTestTree() { CreateRootNode(); }
  ~TTestTree() override { Clear(); }

  std::function<void(PVirtualNode, TVirtualNodeInitStates&)> onInit;
  std::function<void(PVirtualNode, uint32_t&)> onInitChildren;
  std::function<void(PVirtualNode)> onFree;
  std::function<int(PVirtualNode, PVirtualNode)> onCompare;
  int initCount = 0;
  int freeCount = 0;

  void DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states) override {
    ++initCount;
    if (onInit) onInit(node, states);
    TVirtualTreeCore::DoInitNode(parent, node, states);
  }
  void DoInitChildren(PVirtualNode node, uint32_t& count) override {
    if (onInitChildren) onInitChildren(node, count);
    TVirtualTreeCore::DoInitChildren(node, count);
  }
  void DoFreeNode(PVirtualNode node) override {
    ++freeCount;
    if (onFree) onFree(node);
    TVirtualTreeCore::DoFreeNode(node);
  }
  int DoCompareNodes(PVirtualNode a, PVirtualNode b, TColumnIndex column) override {
    return onCompare ? onCompare(a, b) : TVirtualTreeCore::DoCompareNodes(a, b, column);
  }

  const std::vector<PVirtualNode>& SelectionArray() const { return selection; }
  PVirtualNode RememberedCheckNode() const { return checkNode; }
  void RememberCheckNode(PVirtualNode node) { checkNode = node; }
  void RememberDropTarget(PVirtualNode node) { dropTargetNode = node; }
  PVirtualNode RememberedDropTarget() const { return dropTargetNode; }
  void RememberSearchNode(PVirtualNode node) { lastSearchNode = node; }
  PVirtualNode RememberedSearchNode() const { return lastSearchNode; }
  PVirtualNode PendingStructureNode() const { return lastStructureChangeNode; }
  using TVirtualTreeCore::ChangeCheckState;
  using TVirtualTreeCore::CompactSelection;
  using TVirtualTreeCore::IsInSelection;
  using TVirtualTreeCore::DoValidateCache;
  using TVirtualTreeCore::ReadChunk;
  void SetOptions(const TTreeOptionValues& values) { options = values; }
  // Cache rebuild in steps, as a window's timer runs it.
  void StartCacheSteps() { DoStateChange({tsValidating}, {tsStopValidation}); }
  int CacheSteps(uint32_t budget) { return ValidateCacheSteps(budget); }
  void FinishCacheSteps(bool success) { FinishCacheValidation(success); }
  // Hangs a chain of depth initialised nodes (each the only child of the one
  // above, expanded or not) as parent's last child, in linear time; returns its top.
  PVirtualNode AppendChain(PVirtualNode parent, int depth, bool expanded);
};

// The first invariant that does not hold (with the node's path), or "".
std::string CheckTreeInvariants(TVirtualTreeCore& tree);
// Shown nodes (every ancestor expanded and visible) in tree order.
std::vector<PVirtualNode> ShownNodes(TVirtualTreeCore& tree);
// All nodes in tree order (no initialisation).
std::vector<PVirtualNode> AllNodes(TVirtualTreeCore& tree);
// The node at tree position y by a linear scan, and its top; null below the end.
PVirtualNode LinearNodeAt(TVirtualTreeCore& tree, int64_t y, int64_t& top);
// A description of the structure and the stored fields, for comparing trees.
std::string DescribeTree(TVirtualTreeCore& tree, bool withStates = true);
