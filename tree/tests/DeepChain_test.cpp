// Chains far deeper than any stack could recurse: every structural walk
// (deleting, clearing, destroying, counting visible children,
// re-initialising) goes through them, and saving refuses what loading would.
#include <gtest/gtest.h>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"

namespace {

constexpr int kDeep = 100000;

TEST(DeepChain, CountingAndReinitialisingGoThrough) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode top = tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/true);
  EXPECT_EQ(tree.CountVisibleChildren(tree.RootNode()), uint32_t(kDeep));
  EXPECT_EQ(tree.CountVisibleChildren(top), uint32_t(kDeep - 1));
  EXPECT_EQ(tree.VisibleCount(), uint32_t(kDeep));
  EXPECT_EQ(tree.RootNode()->TotalCount, uint32_t(kDeep + 1));
  tree.initCount = 0;
  tree.ReinitNode(top, /*recursive=*/true);
  EXPECT_EQ(tree.initCount, kDeep);
  tree.ReinitChildren(nullptr, /*recursive=*/true);
  EXPECT_EQ(tree.initCount, 2 * kDeep);
  EXPECT_EQ(tree.RootNode()->TotalCount, uint32_t(kDeep + 1));
}

TEST(DeepChain, ManyChildrenAtTheBottomAreCountedUpTheChainOnce) {
  // Counting each new child up a chain this deep would take minutes.
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode top = tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/true);
  PVirtualNode bottom = top;
  while (bottom->FirstChild != nullptr) bottom = bottom->FirstChild;
  uint32_t height = tree.RootNode()->TotalHeight;
  tree.SetChildCount(bottom, kDeep);
  EXPECT_EQ(bottom->ChildCount, uint32_t(kDeep));
  EXPECT_EQ(tree.RootNode()->TotalCount, uint32_t(2 * kDeep + 1));
  EXPECT_EQ(top->TotalCount, uint32_t(2 * kDeep));
  EXPECT_EQ(tree.RootNode()->TotalHeight, height);
  tree.SetExpanded(bottom, true);
  // Expanded, more children go straight into the heights and the visible count.
  tree.SetChildCount(bottom, 2 * kDeep);
  EXPECT_EQ(tree.RootNode()->TotalCount, uint32_t(3 * kDeep + 1));
  EXPECT_EQ(tree.RootNode()->TotalHeight, height + uint32_t(2 * kDeep) * tree.DefaultNodeHeight());
  EXPECT_EQ(tree.VisibleCount(), uint32_t(3 * kDeep));
}

TEST(DeepChain, DeletingClearingAndDestroyingGoThrough) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode first = tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/true);
  tree.AppendChain(tree.RootNode(), 3, /*expanded=*/true);
  tree.freeCount = 0;
  tree.DeleteNode(first, true);
  EXPECT_EQ(tree.freeCount, kDeep);
  EXPECT_EQ(tree.GetRootNodeCount(), 1u);
  EXPECT_EQ(tree.VisibleCount(), 3u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");

  PVirtualNode second = tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/false);
  tree.DeleteChildren(second, true);
  EXPECT_EQ(second->TotalCount, 1u);
  EXPECT_EQ(tree.RootNode()->TotalCount, 5u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");

  tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/true);
  tree.freeCount = 0;
  tree.Clear();
  EXPECT_EQ(tree.freeCount, kDeep + 4);
  EXPECT_EQ(tree.VisibleCount(), 0u);
  EXPECT_EQ(tree.RootNode()->TotalCount, 1u);

  int freed = 0;
  {
    TTestTree doomed;
    doomed.SetNodeDataSize(0);
    doomed.onFree = [&](PVirtualNode) { ++freed; };
    doomed.AppendChain(doomed.RootNode(), kDeep, /*expanded=*/false);
  }
  EXPECT_EQ(freed, kDeep);
}

TEST(DeepChain, SavingHoldsToTheDepthThatLoadingAccepts) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode deepest = tree.AppendChain(tree.RootNode(), kMaxStreamDepth, /*expanded=*/true);
  TMemoryStream stream;
  tree.SaveToStream(&stream);
  TTestTree copy;
  copy.SetNodeDataSize(0);
  stream.SetPosition(0);
  copy.LoadFromStream(&stream);
  EXPECT_EQ(copy.RootNode()->TotalCount, uint32_t(kMaxStreamDepth + 1));
  EXPECT_EQ(DescribeTree(copy), DescribeTree(tree));

  // One level more: refused before anything is written, from the root or
  // from the top node, and so is a chain of any depth.
  while (deepest->FirstChild != nullptr) deepest = deepest->FirstChild;
  tree.AppendChain(deepest, 1, /*expanded=*/false);
  TMemoryStream refused;
  EXPECT_THROW(tree.SaveToStream(&refused), EVirtualTreeError);
  EXPECT_THROW(tree.SaveToStream(&refused, tree.GetFirst()), EVirtualTreeError);
  EXPECT_EQ(refused.Size(), 0);
  tree.Clear();
  tree.AppendChain(tree.RootNode(), kDeep, /*expanded=*/false);
  EXPECT_THROW(tree.SaveToStream(&refused), EVirtualTreeError);
  EXPECT_EQ(refused.Size(), 0);
}

}  // namespace
