// Random sequences of structural operations, each followed by a brute-force
// check of every invariant, of GetNodeAt (with and without the position
// cache) and of visible navigation; streams must round-trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <utility>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"

namespace {

int& Key(TVirtualTreeCore& tree, PVirtualNode node) { return *static_cast<int*>(tree.GetNodeData(node)); }

class RandomTree {
public:
  explicit RandomTree(uint32_t seed) : owned(new TTestTree), tree(*owned), rng(seed) {
    tree.SetNodeDataSize(4);
    TTreeOptionValues values = tree.OptionValues();
    values.selection.Include(toMultiSelect);
    tree.SetOptions(values);
    tree.onCompare = [this](PVirtualNode a, PVirtualNode b) { return Key(tree, a) - Key(tree, b); };
    tree.OnSaveNode = [](TBaseVirtualTree*, PVirtualNode, TStream*) {};
    // A small spacing gives small trees a position cache, so GetNodeAt is
    // checked through the cache as well as without it.
    if (seed % 2 == 0) tree.SetCacheSpacing(1 + seed % 5);
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

  PVirtualNode AnyNode() {
    std::vector<PVirtualNode> nodes = AllNodes(tree);
    if (nodes.empty()) return nullptr;
    return nodes[Pick(static_cast<int>(nodes.size()))];
  }

  void Step() {
    PVirtualNode node = AnyNode();
    int limit = 400;
    switch (Pick(21)) {
      case 0:
      case 1:
      case 2: {
        PVirtualNode child = tree.AddChild(Pick(5) == 0 ? nullptr : node);
        if (child != nullptr) Key(tree, child) = Pick(10);
        break;
      }
      case 3:
      case 4: {
        if (node == nullptr || int(tree.RootNode()->TotalCount) > limit) break;
        PVirtualNode fresh = tree.MakeNewNode();
        Key(tree, fresh) = Pick(10);
        tree.InternalConnectNode(fresh, node, &tree, static_cast<TVTNodeAttachMode>(1 + Pick(4)));
        break;
      }
      case 5:
        tree.DeleteNode(node, true);
        break;
      case 6:
        if (int(tree.RootNode()->TotalCount) < limit) tree.SetChildCount(node, Pick(9));
        break;
      case 7:
      case 8:
        if (node != nullptr) tree.ToggleNode(node);
        break;
      case 9:
        if (node != nullptr) tree.SetIsVisible(node, !tree.IsVisible(node));
        break;
      case 10:
        if (node != nullptr) tree.SetNodeHeight(node, Pick(5) == 0 ? 0 : 1 + Pick(40));
        break;
      case 11:
        tree.Sort(Pick(3) == 0 ? nullptr : node, 0, Pick(2) == 0 ? sdAscending : sdDescending, false);
        break;
      case 12:
        if (node != nullptr) tree.SetSelected(node, !tree.GetSelected(node));
        break;
      case 13:
        Move(node);
        break;
      case 14:
        CopyByStream(node);
        break;
      case 15:
        if (Pick(30) == 0) tree.Clear();
        break;
      case 16:
        tree.BeginUpdate();
        for (int i = 0; i < 4; ++i) Bracketed();
        tree.EndUpdate();
        break;
      case 17:
        if (Pick(10) == 0) tree.DeleteSelectedNodes();
        break;
      case 18:
        if (Pick(2) == 0)
          tree.FullCollapse(node);
        else if (int(tree.RootNode()->TotalCount) < limit)
          tree.FullExpand(node);
        break;
      case 19:
        if (node != nullptr) tree.SetHasChildren(node, Pick(3) != 0);
        break;
      case 20:
        tree.ResetNode(Pick(10) == 0 ? nullptr : node);
        break;
    }
  }

  // Operations inside an update bracket (no checks until it closes).
  void Bracketed() {
    PVirtualNode node = AnyNode();
    if (node == nullptr) {
      tree.AddChild(nullptr);
      return;
    }
    switch (Pick(4)) {
      case 0: tree.AddChild(node); break;
      case 1: tree.DeleteNode(node, true); break;
      case 2: tree.SetIsVisible(node, !tree.IsVisible(node)); break;
      case 3: tree.ToggleNode(node); break;
    }
  }

  void Move(PVirtualNode node) {
    PVirtualNode target = AnyNode();
    if (node == nullptr || target == nullptr || target == node || tree.HasAsParent(target, node)) return;
    tree.InternalDisconnectNode(node, true);
    tree.InternalConnectNode(node, target, &tree, static_cast<TVTNodeAttachMode>(1 + Pick(4)));
  }

  void CopyByStream(PVirtualNode node) {
    PVirtualNode target = AnyNode();
    if (node == nullptr || target == nullptr || tree.RootNode()->TotalCount > 300) return;
    TMemoryStream stream;
    tree.SaveToStream(&stream, node);
    stream.SetPosition(16);  // header and count
    PVirtualNode fresh = tree.MakeNewNode();
    tree.InternalConnectNode(fresh, target, &tree, amInsertAfter);
    tree.InternalAddFromStream(&stream, 2, fresh);
  }

  // GetNodeAt in the cache state the operations left, then with a rebuilt cache.
  std::string CheckGetNodeAt() {
    std::string problem = CheckPositions();
    if (!problem.empty()) return problem;
    tree.ValidateCache();
    tree.CompleteCacheValidation();
    if (ShownNodes(tree).size() > tree.CacheSpacing() && !tree.TreeStates().Contains(tsUseCache))
      return "no valid cache after ValidateCache";
    problem = CheckPositions();
    return problem.empty() ? "" : problem + " (cached)";
  }

  std::string CheckPositions() {
    std::vector<PVirtualNode> shown = ShownNodes(tree);
    int64_t total = tree.RootNode()->TotalHeight - tree.RootNode()->NodeHeight;
    for (int i = 0; i < 20; ++i) {
      int y = Pick(static_cast<int>(total) + 30);
      int64_t expectedTop = 0;
      PVirtualNode expected = LinearNodeAt(tree, y, expectedTop);
      int top = -1;
      PVirtualNode actual = tree.GetNodeAt(0, y, false, top);
      if (actual != expected) return "GetNodeAt(" + std::to_string(y) + ")";
      if (expected != nullptr && top != expectedTop) return "node top at " + std::to_string(y);
    }
    std::vector<int64_t> tops;
    int64_t rowTop = 0;
    for (PVirtualNode node : shown) tops.push_back(std::exchange(rowTop, rowTop + node->NodeHeight));
    for (size_t i = 0; i < shown.size(); i += 1 + shown.size() / 20)
      if (tree.GetNodeTop(shown[i]) != tops[i]) return "node top of row " + std::to_string(i);
    for (size_t i = 0; i < shown.size(); ++i) {
      PVirtualNode next = i + 1 < shown.size() ? shown[i + 1] : nullptr;
      PVirtualNode previous = i > 0 ? shown[i - 1] : nullptr;
      if (tree.GetNextVisibleNoInit(shown[i]) != next) return "next visible";
      if (tree.GetPreviousVisibleNoInit(shown[i]) != previous) return "previous visible";
    }
    // From a node that is not shown, the visible neighbours are the shown
    // nodes around its place in tree order; its shown ancestor is expanded and
    // fully visible.
    std::set<PVirtualNode> isShown(shown.begin(), shown.end());
    PVirtualNode lastShown = nullptr;
    std::vector<PVirtualNode> waiting;
    for (PVirtualNode run = tree.GetFirstNoInit(); run != nullptr; run = tree.GetNextNoInit(run)) {
      if (!isShown.count(run)) {
        if (tree.GetPreviousVisibleNoInit(run) != lastShown) return "previous visible of a node not shown";
        if (!IsShownAncestor(run, tree.GetShownAncestor(run))) return "shown ancestor";
        waiting.push_back(run);
        continue;
      }
      for (PVirtualNode hidden : waiting)
        if (tree.GetNextVisibleNoInit(hidden) != run) return "next visible of a node not shown";
      waiting.clear();
      lastShown = run;
    }
    for (PVirtualNode hidden : waiting)
      if (tree.GetNextVisibleNoInit(hidden) != nullptr) return "next visible of a node not shown, at the end";
    return "";
  }

  // The root, or an expanded, fully visible ancestor of node.
  bool IsShownAncestor(PVirtualNode node, PVirtualNode ancestor) {
    return ancestor == tree.RootNode() ||
           ((ancestor->States & vsExpanded) && tree.IsFullyVisible(ancestor) && tree.HasAsParent(node, ancestor));
  }

  // A tree whose links a fault has broken is not walked again (freeing it could loop).
  void Abandon() { (void)owned.release(); }

  std::unique_ptr<TTestTree> owned;
  TTestTree& tree;
  std::mt19937 rng;
};

}  // namespace

TEST(RandomModel, InvariantsHoldAfterEveryOperation) {
  uint64_t nodesSeen = 0, checks = 0;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    RandomTree model(seed);
    for (int step = 0; step < 150; ++step) {
      model.Step();
      std::string problem = CheckTreeInvariants(model.tree);
      if (problem.empty()) problem = model.CheckGetNodeAt();
      if (!problem.empty()) model.Abandon();
      ASSERT_EQ(problem, "") << "seed " << seed << " step " << step;
      nodesSeen += model.tree.RootNode()->TotalCount - 1;
      ++checks;
    }
  }
  // The sequences must build trees worth checking, not stay near empty.
  EXPECT_GT(nodesSeen / checks, 10u);
  std::printf("average nodes per check: %u\n", unsigned(nodesSeen / checks));
}

TEST(RandomModel, StreamsRoundTrip) {
  for (uint32_t seed = 1; seed <= 500; ++seed) {
    RandomTree model(seed);
    for (int step = 0; step < 100; ++step) model.Step();
    TMemoryStream stream;
    model.tree.SaveToStream(&stream);
    TTestTree copy;
    copy.SetNodeDataSize(4);
    stream.SetPosition(0);
    copy.LoadFromStream(&stream);
    ASSERT_EQ(CheckTreeInvariants(copy), "") << "seed " << seed;
    // Uninitialised nodes are stored without their children; compare initialised shapes.
    bool allInitialised = true;
    for (PVirtualNode run : AllNodes(model.tree))
      if (!(run->States & vsInitialized) && run->FirstChild != nullptr) allInitialised = false;
    if (allInitialised) ASSERT_EQ(DescribeTree(copy, false), DescribeTree(model.tree, false)) << "seed " << seed;
    ASSERT_EQ(copy.VisibleCount(), ShownNodes(copy).size());
  }
}

TEST(RandomModel, GetNodeAtAgreesWithScanInLargeCachedTree) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(3000);
  std::mt19937 rng(7);
  for (int i = 0; i < 40; ++i) {
    PVirtualNode node = AllNodes(tree)[rng() % tree.GetRootNodeCount()];
    tree.SetChildCount(node, 1 + rng() % 300);
    tree.SetExpanded(node, rng() % 2 == 0);
    tree.SetNodeHeight(node, 5 + rng() % 30);
  }
  auto compare = [&]() {
    int64_t total = tree.RootNode()->TotalHeight - tree.RootNode()->NodeHeight;
    for (int i = 0; i < 300; ++i) {
      int y = static_cast<int>(rng() % (total + 40));
      int64_t expectedTop = 0;
      PVirtualNode expected = LinearNodeAt(tree, y, expectedTop);
      int top = 0;
      ASSERT_EQ(tree.GetNodeAt(0, y, false, top), expected) << y;
      if (expected != nullptr) ASSERT_EQ(top, expectedTop);
    }
  };
  tree.CompleteCacheValidation();
  ASSERT_TRUE(tree.TreeStates().Contains(tsUseCache));
  ASSERT_GT(tree.PositionCache().size(), 1u);
  compare();
  // A shown row's height moves the entries after it: the cache stays in use.
  for (int i = 0; i < 40; ++i) {
    std::vector<PVirtualNode> shown = ShownNodes(tree);
    tree.SetNodeHeight(shown[rng() % shown.size()], 5 + rng() % 30);
    ASSERT_TRUE(tree.TreeStates().Contains(tsUseCache));
  }
  compare();
  tree.InvalidateCache();
  ASSERT_FALSE(tree.TreeStates().Contains(tsUseCache));
  compare();
}

TEST(RandomModel, CacheEntriesFollowTheSpacing) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2000);
  EXPECT_FALSE(tree.TreeStates().Contains(tsUseCache));
  tree.SetRootNodeCount(2001);
  tree.CompleteCacheValidation();
  EXPECT_TRUE(tree.TreeStates().Contains(tsUseCache));
  EXPECT_EQ(tree.PositionCache().size(), 2u);
  int top = 0;
  EXPECT_EQ(tree.GetNodeAt(0, 0, false, top), tree.GetFirstNoInit());
  EXPECT_EQ(tree.GetNodeAt(0, 2001 * 18, false, top), nullptr);
  EXPECT_EQ(tree.GetNodeAt(0, 2001 * 18 - 1, false, top), tree.RootNode()->LastChild);
}

TEST(RandomModel, NodesAddedOneAtATimeLeaveTheCacheUntilAPositionIsAsked) {
  // Without a window, a change outside an update does not rebuild the cache:
  // the first position asked far down builds it once.
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetCacheSpacing(50);
  for (int i = 0; i < 400; ++i) {
    tree.AddChild(nullptr);
    ASSERT_FALSE(tree.TreeStates().Contains(tsUseCache)) << "after node " << i;
  }
  int top = 0;
  PVirtualNode node = tree.GetNodeAt(0, 18 * 390 + 3, false, top);
  EXPECT_TRUE(tree.TreeStates().Contains(tsUseCache));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Index, 390u);
  EXPECT_EQ(top, 18 * 390);
}

TEST(RandomModel, AStoppedRebuildResumesFromItsLastCompleteEntry) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetCacheSpacing(10);
  tree.SetRootNodeCount(1000);
  std::vector<uint32_t> freshTops;
  {
    TTestTree other;
    other.SetNodeDataSize(0);
    other.SetCacheSpacing(10);
    other.SetRootNodeCount(1000);
    other.CompleteCacheValidation();
    for (const TCacheEntry& entry : other.PositionCache()) freshTops.push_back(entry.AbsoluteTop);
  }
  // 300 nodes walked, then stopped (nothing changed) and scheduled again.
  tree.StartCacheSteps();
  ASSERT_EQ(tree.CacheSteps(300), 2);
  tree.ValidateCache();
  tree.StartCacheSteps();
  // The 700 nodes left and the entry it resumes from are all that remain.
  ASSERT_EQ(tree.CacheSteps(710), 1);
  tree.FinishCacheSteps(true);
  ASSERT_EQ(tree.PositionCache().size(), freshTops.size());
  std::vector<PVirtualNode> nodes = AllNodes(tree);
  for (size_t i = 0; i < freshTops.size(); ++i) {
    EXPECT_EQ(tree.PositionCache()[i].AbsoluteTop, freshTops[i]) << i;
    EXPECT_EQ(tree.PositionCache()[i].Node, i * 10 < nodes.size() ? nodes[i * 10] : nullptr) << i;
  }
  // A change starts it again from the top.
  tree.AddChild(nullptr);
  tree.StartCacheSteps();
  EXPECT_EQ(tree.CacheSteps(720), 2);
}
