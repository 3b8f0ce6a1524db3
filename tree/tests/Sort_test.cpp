// Sorting sibling lists, re-initialising and resetting nodes.
#include <gtest/gtest.h>

#include "TreeTestSupport.h"

namespace {

struct KeyedTree : TTestTree {
  KeyedTree() {
    SetNodeDataSize(4);
    onCompare = [this](PVirtualNode a, PVirtualNode b) {
      ++comparisons;
      return KeyOf(a) / 10 - KeyOf(b) / 10;  // equal tens compare equal
    };
  }
  int& KeyOf(PVirtualNode node) { return *static_cast<int*>(GetNodeData(node)); }
  std::vector<int> Keys(PVirtualNode parent) {
    std::vector<int> keys;
    for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling) keys.push_back(KeyOf(run));
    return keys;
  }
  int comparisons = 0;
};

}  // namespace

TEST(Sort, StableInBothDirectionsAndRelinksTheParent) {
  KeyedTree tree;
  const int keys[] = {31, 12, 35, 11, 20, 13, 32};
  for (int k : keys) tree.KeyOf(tree.AddChild(nullptr)) = k;
  tree.Sort(nullptr, 0, sdAscending, false);
  EXPECT_EQ(tree.Keys(tree.RootNode()), (std::vector<int>{12, 11, 13, 20, 31, 35, 32}));
  EXPECT_EQ(tree.KeyOf(tree.RootNode()->FirstChild), 12);
  EXPECT_EQ(tree.KeyOf(tree.RootNode()->LastChild), 32);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  tree.Sort(nullptr, 0, sdDescending, false);
  EXPECT_EQ(tree.Keys(tree.RootNode()), (std::vector<int>{31, 35, 32, 20, 12, 11, 13}));
  EXPECT_EQ(tree.RootNode()->FirstChild->PrevSibling, nullptr);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Sort, AllEqualKeepsOrderAndSingleChildAsksNothing) {
  KeyedTree tree;
  tree.onCompare = nullptr;  // the default comparison says equal
  for (int k = 0; k < 9; ++k) tree.KeyOf(tree.AddChild(nullptr)) = k;
  tree.Sort(nullptr, 0, sdDescending, false);
  EXPECT_EQ(tree.Keys(tree.RootNode()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  KeyedTree single;
  PVirtualNode parent = single.AddChild(nullptr);
  single.KeyOf(single.AddChild(parent)) = 1;
  single.Sort(parent, 0, sdAscending, true);
  PVirtualNode leaf = single.AddChild(nullptr);
  single.SetHasChildren(leaf, false);
  single.Sort(leaf, 0, sdAscending, true);
  EXPECT_EQ(single.comparisons, 0);
}

TEST(Sort, SortTreeSortsInitialisedListsOnly) {
  KeyedTree tree;
  tree.onInit = [](PVirtualNode, TVirtualNodeInitStates&) {};
  for (int k : {3, 1, 2}) tree.KeyOf(tree.AddChild(nullptr)) = k * 10;
  PVirtualNode first = tree.RootNode()->FirstChild;
  tree.SetChildCount(first, 2);  // first stays uninitialised
  tree.KeyOf(first->FirstChild) = 30;
  tree.KeyOf(first->LastChild) = 10;
  tree.SortTree(-2, sdAscending, false);
  EXPECT_EQ(tree.comparisons, 0);
  tree.SortTree(0, sdAscending, false);
  EXPECT_EQ(tree.Keys(tree.RootNode()), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(tree.Keys(first), (std::vector<int>{30, 10}));  // its parent was never initialised
  tree.SortTree(0, sdAscending, true);
  EXPECT_EQ(tree.Keys(first), (std::vector<int>{10, 30}));
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Reinit, ReinitNodeRunsInitAgainAndResetForgetsChildren) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.onInit = [](PVirtualNode, TVirtualNodeInitStates& s) { s.Include(ivsHasChildren); };
  tree.onInitChildren = [](PVirtualNode, uint32_t& count) { count = 2; };  // every node may have children
  tree.SetRootNodeCount(1);
  PVirtualNode node = tree.GetFirst();
  tree.SetExpanded(node, true);
  int inits = tree.initCount;
  tree.ReinitNode(node, true);
  EXPECT_EQ(tree.initCount, inits + 3);  // the node and its two children; nothing below is made
  EXPECT_EQ(node->FirstChild->FirstChild, nullptr);
  static int resets = 0;
  resets = 0;
  tree.OnResetNode = [](TBaseVirtualTree*, PVirtualNode) { ++resets; };
  tree.ResetNode(node);
  EXPECT_EQ(resets, 1);
  EXPECT_FALSE(node->States & (vsInitialized | vsExpanded | vsHasChildren));
  EXPECT_EQ(node->FirstChild, nullptr);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  tree.ResetNode(nullptr);
  EXPECT_EQ(tree.GetRootNodeCount(), 0u);
}
