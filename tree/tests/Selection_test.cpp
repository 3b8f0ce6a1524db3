// The selection store without a window: ranges, toggling, inverting, the
// constraints, forced insertion, and random operations checked against a set.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"

namespace {

TTreeOptionValues MultiSelect() {
  TTreeOptionValues values;
  values.selection.Include(toMultiSelect);
  return values;
}

// A tree of top-level nodes with children, everything expanded.
void Populate(TTestTree& tree, uint32_t top, uint32_t children) {
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(top);
  for (PVirtualNode run = tree.GetFirst(); run != nullptr; run = tree.GetNextSibling(run)) {
    tree.SetChildCount(run, children);
    tree.SetExpanded(run, true);
  }
}

// The selection array must be sorted, free of duplicates and hold exactly the selected nodes.
std::string CheckSelectionStore(TTestTree& tree) {
  tree.CompactSelection();
  const std::vector<PVirtualNode>& array = tree.SelectionArray();
  if (!std::is_sorted(array.begin(), array.end())) return "array not sorted";
  if (std::adjacent_find(array.begin(), array.end()) != array.end()) return "node twice in the array";
  if (array.size() != tree.SelectedCount()) return "count differs from the array";
  std::vector<PVirtualNode> flagged;
  for (PVirtualNode node : AllNodes(tree))
    if (node->States & vsSelected) flagged.push_back(node);
  std::sort(flagged.begin(), flagged.end());
  if (flagged != array) return "vsSelected differs from the array";
  return "";
}

std::set<PVirtualNode> SelectedSet(TTestTree& tree) {
  std::set<PVirtualNode> result;
  for (PVirtualNode node : AllNodes(tree))
    if (node->States & vsSelected) result.insert(node);
  return result;
}

}  // namespace

TEST(Selection, CompareNodeOrder) {
  TTestTree tree;
  Populate(tree, 3, 2);
  std::vector<PVirtualNode> order = AllNodes(tree);
  for (size_t i = 0; i < order.size(); ++i)
    for (size_t j = 0; j < order.size(); ++j) {
      int result = tree.CompareNodeOrder(order[i], order[j]);
      if (i == j) EXPECT_EQ(result, 0);
      if (i < j) EXPECT_LT(result, 0) << i << " " << j;
      if (i > j) EXPECT_GT(result, 0) << i << " " << j;
    }
  PVirtualNode parent = tree.GetFirst();
  EXPECT_EQ(tree.CompareNodeOrder(parent->FirstChild, parent), 1);
  EXPECT_EQ(tree.CompareNodeOrder(parent, parent->FirstChild), -1);
  PVirtualNode third = tree.GetNextSibling(tree.GetNextSibling(parent));
  EXPECT_EQ(tree.CompareNodeOrder(third, parent), 2);
}

TEST(Selection, SingleSelectionKeepsOneNode) {
  TTestTree tree;
  Populate(tree, 5, 0);
  PVirtualNode a = tree.GetFirst();
  PVirtualNode b = tree.GetNextSibling(a);
  tree.SetSelected(a, true);
  tree.SetSelected(b, true);
  EXPECT_EQ(tree.SelectedCount(), 1u);
  EXPECT_FALSE(tree.GetSelected(a));
  EXPECT_TRUE(tree.GetSelected(b));
  tree.AddToSelection({a, b}, true);
  EXPECT_EQ(tree.SelectedCount(), 1u);
  EXPECT_EQ(CheckSelectionStore(tree), "");
}

TEST(Selection, ForcedInsertionNeverAddsANodeTwice) {
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 10, 0);
  std::vector<PVirtualNode> nodes = AllNodes(tree);
  tree.AddToSelection(nodes[3]);
  tree.AddToSelection({nodes[3], nodes[5], nodes[5], nodes[3], nodes[7]}, true);
  EXPECT_EQ(tree.SelectedCount(), 3u);
  tree.AddToSelection(nodes, true);
  tree.AddToSelection(nodes, true);
  EXPECT_EQ(tree.SelectedCount(), 10u);
  EXPECT_EQ(CheckSelectionStore(tree), "");
}

TEST(Selection, DisabledNodesAndConstraints) {
  TTestTree tree;
  TTreeOptionValues values = MultiSelect();
  values.selection.Include(toLevelSelectConstraint);
  tree.SetOptions(values);
  Populate(tree, 3, 3);
  PVirtualNode top = tree.GetFirst();
  tree.SetDisabled(tree.GetNextSibling(top), true);
  tree.SelectNodes(nullptr, tree.GetLast(), false);
  // The first node sets the level: only top-level nodes that are enabled.
  for (PVirtualNode node : AllNodes(tree))
    EXPECT_EQ(tree.GetSelected(node), tree.GetNodeLevel(node) == 0 && !tree.GetDisabled(node));

  TTestTree siblings;
  values = MultiSelect();
  values.selection.Include(toSiblingSelectConstraint);
  siblings.SetOptions(values);
  Populate(siblings, 3, 3);
  PVirtualNode anchor = siblings.GetFirst()->FirstChild;
  siblings.SetSelected(anchor, true);
  siblings.SelectNodes(anchor, siblings.GetLast(), true);
  for (PVirtualNode node : AllNodes(siblings))
    EXPECT_EQ(siblings.GetSelected(node), node->Parent == anchor->Parent) << siblings.GetNodeLevel(node);

  // Once the selection is empty, the old anchor holds nothing back: a node
  // in another folder may start the next selection.
  PVirtualNode elsewhere = siblings.GetLast();
  siblings.UnselectNodes(siblings.GetFirst(), siblings.GetLast());
  siblings.AddToSelection(elsewhere);
  EXPECT_TRUE(siblings.GetSelected(elsewhere));
}

// After a clear the anchor is the focused node; it must not hold the next
// selection to the focused node's folder, while a range that reaches the
// anchor still takes the anchor's siblings.
TEST(Selection, AClearedSelectionMayStartInAnotherFolder) {
  TTestTree tree;
  TTreeOptionValues values = MultiSelect();
  values.selection.Include(toSiblingSelectConstraint);
  tree.SetOptions(values);
  Populate(tree, 3, 3);
  PVirtualNode focused = tree.GetFirst()->FirstChild;
  PVirtualNode elsewhere = tree.GetNextSibling(tree.GetNextSibling(tree.GetFirst()))->FirstChild;
  tree.SetFocusedNode(focused);
  tree.SetSelected(focused, true);
  tree.ClearSelection();
  EXPECT_EQ(tree.RangeAnchor(), focused);
  tree.AddToSelection(elsewhere);
  EXPECT_TRUE(tree.GetSelected(elsewhere));
  // The group is now the new node's: its sibling joins, the old folder does not.
  tree.AddToSelection(elsewhere->NextSibling);
  tree.AddToSelection(focused->NextSibling);
  EXPECT_TRUE(tree.GetSelected(elsewhere->NextSibling));
  EXPECT_FALSE(tree.GetSelected(focused->NextSibling));
  EXPECT_EQ(CheckSelectionStore(tree), "");

  // A range over two folders from the focused anchor keeps the anchor's folder.
  tree.ClearSelection();
  tree.SelectNodes(focused, tree.GetLast(), true);
  for (PVirtualNode node : AllNodes(tree))
    EXPECT_EQ(tree.GetSelected(node), node->Parent == focused->Parent) << tree.GetNodeLevel(node);
}

// A Shift range moves the focus to its far end first: the range still keeps
// to the anchor's folder. Inverting empties the selection for a moment: the
// inverted nodes still keep to the anchor's folder.
TEST(Selection, RangesAndInversionKeepTheAnchorsFolder) {
  TTestTree tree;
  TTreeOptionValues values = MultiSelect();
  values.selection.Include(toSiblingSelectConstraint);
  tree.SetOptions(values);
  Populate(tree, 3, 3);
  PVirtualNode anchor = tree.GetFirst()->FirstChild->NextSibling;
  PVirtualNode end = tree.GetLast();  // last child of the third folder
  tree.SetFocusedNode(anchor);
  tree.SetSelected(anchor, true);
  tree.SetFocusedNode(end);
  tree.SelectNodes(tree.RangeAnchor(), end, false);
  for (PVirtualNode node : AllNodes(tree))
    EXPECT_EQ(tree.GetSelected(node), node->Parent == anchor->Parent && node->Index >= anchor->Index)
        << tree.GetNodeLevel(node) << " " << node->Index;
  EXPECT_EQ(tree.RangeAnchor(), anchor);
  EXPECT_EQ(CheckSelectionStore(tree), "");

  tree.ClearSelection();
  tree.SetFocusedNode(anchor);
  tree.SetSelected(anchor, true);
  tree.InvertSelection(false);
  for (PVirtualNode node : AllNodes(tree))
    EXPECT_EQ(tree.GetSelected(node), node->Parent == anchor->Parent && node != anchor)
        << tree.GetNodeLevel(node) << " " << node->Index;
  EXPECT_EQ(CheckSelectionStore(tree), "");
}

TEST(Selection, InvertSelectionReportsARemovalAlone) {
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 4, 0);
  static int changes;
  changes = 0;
  tree.OnChange = [](TBaseVirtualTree*, PVirtualNode) { ++changes; };
  tree.SelectAll(false);
  changes = 0;
  tree.InvertSelection(false);
  EXPECT_EQ(tree.SelectedCount(), 0u);
  EXPECT_EQ(changes, 1);
  tree.InvertSelection(false);
  EXPECT_EQ(tree.SelectedCount(), 4u);
  EXPECT_EQ(CheckSelectionStore(tree), "");

  // Every addition refused (disabled nodes), one node removed: still a change.
  tree.ClearSelection();
  tree.SetSelected(tree.GetFirst(), true);
  for (PVirtualNode run = tree.GetNextSibling(tree.GetFirst()); run != nullptr; run = tree.GetNextSibling(run))
    tree.SetDisabled(run, true);
  changes = 0;
  tree.InvertSelection(false);
  EXPECT_EQ(tree.SelectedCount(), 0u);
  EXPECT_EQ(changes, 1);
}

TEST(Selection, FindNodeInSelectionStaysInsideTheArray) {
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 12, 0);
  std::mt19937 random(1061);
  std::vector<PVirtualNode> nodes = AllNodes(tree);
  for (PVirtualNode node : nodes)
    if (random() % 2 == 0) tree.SetSelected(node, true);
  tree.CompactSelection();
  const std::vector<PVirtualNode>& array = tree.SelectionArray();
  int count = static_cast<int>(array.size());
  for (int low = -2; low <= count + 3; ++low)
    for (int high = -2; high <= count + 3; ++high)
      for (PVirtualNode node : nodes) {
        int index = -7;
        bool found = tree.FindNodeInSelection(node, index, low, high);
        int from = std::clamp(low, 0, count);
        int to = high < 0 || high >= count ? count - 1 : high;
        auto it = std::find(array.begin() + from, array.begin() + std::max(from, to + 1), node);
        bool expected = it != array.begin() + std::max(from, to + 1);
        ASSERT_EQ(found, expected) << low << " " << high;
        ASSERT_GE(index, 0);
        ASSERT_LE(index, count);
        if (found) ASSERT_EQ(array[static_cast<size_t>(index)], node);
      }
}

TEST(Selection, RangesOfHiddenEnds) {
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 3, 3);
  PVirtualNode first = tree.GetFirst();
  tree.SetExpanded(first, false);
  // A hidden start becomes the previous shown node: the collapsed parent.
  tree.SelectNodes(first->LastChild, tree.GetNextSibling(first), false);
  EXPECT_TRUE(tree.GetSelected(first));
  EXPECT_FALSE(tree.GetSelected(first->FirstChild));
  EXPECT_TRUE(tree.GetSelected(tree.GetNextSibling(first)));
  EXPECT_EQ(tree.SelectedCount(), 2u);
}

// Random operations against a set of selected nodes in a fully expanded tree.
TEST(Selection, RandomOperationsAgainstASet) {
  std::mt19937 random(20261207);
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 12, 4);
  std::vector<PVirtualNode> order = AllNodes(tree);
  std::set<PVirtualNode> model;
  auto pick = [&] { return order[random() % order.size()]; };
  auto range = [&](PVirtualNode a, PVirtualNode b) {
    size_t i = std::find(order.begin(), order.end(), a) - order.begin();
    size_t j = std::find(order.begin(), order.end(), b) - order.begin();
    if (i > j) std::swap(i, j);
    return std::make_pair(i, j);
  };
  for (int step = 0; step < 3000; ++step) {
    PVirtualNode a = pick(), b = pick();
    switch (random() % 7) {
      case 0:
        tree.SetSelected(a, !tree.GetSelected(a));
        if (model.count(a)) model.erase(a); else model.insert(a);
        break;
      case 1: {
        bool addOnly = random() % 2;
        tree.SelectNodes(a, b, addOnly);
        if (!addOnly) model.clear();
        auto [i, j] = range(a, b);
        for (size_t k = i; k <= j; ++k) model.insert(order[k]);
        break;
      }
      case 2: {
        tree.UnselectNodes(a, b);
        auto [i, j] = range(a, b);
        for (size_t k = i; k <= j; ++k) model.erase(order[k]);
        break;
      }
      case 3:
        tree.InvertSelection(false);
        for (PVirtualNode node : order)
          if (model.count(node)) model.erase(node); else model.insert(node);
        break;
      case 4:
        tree.ClearSelection();
        model.clear();
        break;
      case 5: {
        std::vector<PVirtualNode> some{a, b, a};
        tree.AddToSelection(some, random() % 2);
        model.insert(a);
        model.insert(b);
        break;
      }
      case 6:
        tree.SelectAll(false);
        model.insert(order.begin(), order.end());
        break;
    }
    ASSERT_EQ(CheckSelectionStore(tree), "") << "step " << step;
    ASSERT_EQ(SelectedSet(tree), model) << "step " << step;
  }
}

TEST(Selection, ToggleSelectionMovesTheEndsAwayFromTheAnchor) {
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 8, 0);
  std::vector<PVirtualNode> order = AllNodes(tree);
  tree.SetSelected(order[2], true);  // anchor
  // Extending from the anchor to 5 selects 3..5; the anchor end stays.
  tree.ToggleSelection(order[2], order[5]);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(tree.GetSelected(order[i]), i >= 2 && i <= 5) << i;
  // Back from 5 to 3: 4 and 5 flip, 3 stays (it lies after the anchor, but is the first end).
  tree.ToggleSelection(order[5], order[3]);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(tree.GetSelected(order[i]), i >= 2 && i <= 3) << i;
  EXPECT_EQ(CheckSelectionStore(tree), "");
}

// Selected nodes leave (deleted, often inside an update, so their entries
// stay behind marked) and copies come back from streams, alone or in a batch,
// while the count passes 0 (the heap often hands them the records just freed,
// whose marked entries must not count): every node is found in the selection
// exactly when it is selected, and the count is the number of selected nodes,
// at every step.
TEST(Selection, NodesLeavingAndComingBackAreFoundExactlyWhenSelected) {
  std::mt19937 random(20261209);
  TTestTree tree;
  tree.SetOptions(MultiSelect());
  Populate(tree, 4, 2);
  std::map<PVirtualNode, bool> model;
  for (PVirtualNode node : AllNodes(tree)) model[node] = false;
  bool bracket = false;
  int passedZero = 0, copiedSelected = 0;
  auto subtree = [&](PVirtualNode top) {
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode node : AllNodes(tree))
      if (node == top || tree.HasAsParent(node, top)) nodes.push_back(node);
    return nodes;
  };
  auto isMarked = [](PVirtualNode entry) { return (reinterpret_cast<uintptr_t>(entry) & 1) != 0; };
  for (int step = 0; step < 4000; ++step) {
    std::vector<PVirtualNode> all = AllNodes(tree);
    PVirtualNode node = all.empty() ? nullptr : all[random() % all.size()];
    int op = node == nullptr ? 3 : all.size() > 40 ? 2 : int(random() % 7);
    switch (op) {
      case 0:
      case 1:
        tree.SetSelected(node, !model[node]);
        model[node] = !model[node];
        break;
      case 2: {
        uint32_t before = tree.SelectedCount();
        for (PVirtualNode gone : subtree(node)) model.erase(gone);
        tree.DeleteNode(node);
        passedZero += int(before > 0 && tree.SelectedCount() == 0);
        break;
      }
      case 3: {
        // A copy of a subtree (or a fresh top node) read from a stream.
        PVirtualNode source = node != nullptr ? node : tree.AddChild(nullptr);
        if (node == nullptr) model[source] = false;
        std::vector<bool> flags;
        for (PVirtualNode run : subtree(source)) flags.push_back(model[run]);
        TMemoryStream stream;
        tree.SaveToStream(&stream, source);
        stream.SetPosition(16);  // header and count
        PVirtualNode place = all.empty() || random() % 3 == 0 ? tree.RootNode() : all[random() % all.size()];
        bool batch = random() % 2 == 0;
        tree.BeginUpdate();
        if (batch) tree.BeginLoadedSelectionBatch();
        PVirtualNode copy = tree.AddNodeFromStream(&stream, kVTTreeStreamVersion, place, amAddChildLast);
        std::vector<PVirtualNode> copied = subtree(copy);
        if (batch) tree.EndLoadedSelectionBatch();
        tree.EndUpdate();
        ASSERT_EQ(copied.size(), flags.size()) << "step " << step;
        for (size_t i = 0; i < copied.size(); ++i) {
          model[copied[i]] = flags[i];
          copiedSelected += int(flags[i]);
        }
        break;
      }
      case 4:
        if (bracket)
          tree.EndUpdate();
        else
          tree.BeginUpdate();
        bracket = !bracket;
        break;
      case 5:
        tree.ClearSelection();
        for (auto& entry : model) entry.second = false;
        break;
      case 6:
        tree.InvertSelection(false);
        for (auto& entry : model) entry.second = !entry.second;
        break;
    }
    all = AllNodes(tree);
    ASSERT_EQ(all.size(), model.size()) << "step " << step;
    uint32_t selected = 0;
    for (PVirtualNode run : all) {
      bool flagged = (run->States & vsSelected) != 0;
      ASSERT_EQ(flagged, model[run]) << "step " << step;
      ASSERT_EQ(tree.IsInSelection(run), flagged) << "step " << step;
      selected += uint32_t(flagged);
    }
    ASSERT_EQ(tree.SelectedCount(), selected) << "step " << step;
    const std::vector<PVirtualNode>& array = tree.SelectionArray();
    ASSERT_EQ(array.size() - size_t(std::count_if(array.begin(), array.end(), isMarked)), selected)
        << "step " << step;
  }
  if (bracket) tree.EndUpdate();
  EXPECT_EQ(CheckSelectionStore(tree), "");
  EXPECT_GT(passedZero, 0);
  EXPECT_GT(copiedSelected, 0);
}

// Adding a list in turn ends as adding each node in turn on a twin tree:
// the same nodes selected, the same anchor, the same changes reported, under
// random constraints, disabled nodes, earlier selections, repeated and null
// entries, inside an update and outside one.
TEST(Selection, AddingInTurnEndsAsAddingEachInTurn) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    TTreeOptionValues values;
    if (random() % 4 != 0) values.selection.Include(toMultiSelect);
    if (random() % 3 == 0) values.selection.Include(toSiblingSelectConstraint);
    if (random() % 4 == 0) values.selection.Include(toLevelSelectConstraint);
    // Each change reported, by the node's place in its tree (-1: none); it
    // outlives the trees, whose clearing reports too.
    struct Recorder {
      std::vector<PVirtualNode> nodes;
      std::vector<int> changes;
    } recorders[2];
    TTestTree each, inTurn;
    int t = 0;
    for (TTestTree* tree : {&each, &inTurn}) {
      tree->SetOptions(values);
      Populate(*tree, 5, 4);
      recorders[t].nodes = AllNodes(*tree);
      tree->OnChange = TVTChangeEvent::FromThunk(&recorders[t], [](void* data, TBaseVirtualTree*, PVirtualNode node) {
        auto* recorder = static_cast<Recorder*>(data);
        auto at = std::find(recorder->nodes.begin(), recorder->nodes.end(), node);
        recorder->changes.push_back(node == nullptr ? -1 : static_cast<int>(at - recorder->nodes.begin()));
      });
      ++t;
    }
    std::vector<PVirtualNode> nodes[2] = {recorders[0].nodes, recorders[1].nodes};
    const size_t count = nodes[0].size();
    std::vector<int> disabled, before, list;
    for (size_t i = 0; i < count; ++i)
      if (random() % 6 == 0) disabled.push_back(static_cast<int>(i));
    for (int i = 0, n = static_cast<int>(random() % 4); i < n; ++i) before.push_back(static_cast<int>(random() % count));
    int focus = random() % 3 == 0 ? static_cast<int>(random() % count) : -1;
    // Often all children of one folder, as F5 brings them back; else anywhere.
    int folder = static_cast<int>(random() % 5) * 5;
    for (int i = 0, n = static_cast<int>(random() % 12); i < n; ++i)
      list.push_back(random() % 5 == 0 ? -1 : random() % 2 ? folder + 1 + static_cast<int>(random() % 4) : static_cast<int>(random() % count));
    bool update = random() % 5 != 0;
    for (int k = 0; k < 2; ++k) {
      TTestTree& tree = k == 0 ? each : inTurn;
      for (int i : disabled) tree.SetDisabled(nodes[k][i], true);
      for (int i : before) tree.AddToSelection(nodes[k][i]);
      if (focus >= 0) {
        tree.SetFocusedNode(nodes[k][focus]);
        tree.ClearSelection();
      }
      recorders[k].changes.clear();
      std::vector<PVirtualNode> chosen;
      for (int i : list) chosen.push_back(i < 0 ? nullptr : nodes[k][i]);
      if (update) tree.BeginUpdate();
      if (k == 1) {
        tree.AddToSelectionInTurn(chosen);
      } else {
        for (PVirtualNode node : chosen)
          if (node != nullptr) tree.AddToSelection(node);
      }
      if (update) tree.EndUpdate();
      ASSERT_EQ(CheckSelectionStore(tree), "") << "round " << round;
    }
    for (size_t i = 0; i < count; ++i)
      ASSERT_EQ(each.GetSelected(nodes[0][i]), inTurn.GetSelected(nodes[1][i])) << "round " << round << " node " << i;
    auto index = [&](int k, PVirtualNode node) {
      return node == nullptr ? -1 : static_cast<int>(std::find(nodes[k].begin(), nodes[k].end(), node) - nodes[k].begin());
    };
    EXPECT_EQ(index(0, each.RangeAnchor()), index(1, inTurn.RangeAnchor())) << "round " << round;
    EXPECT_EQ(recorders[0].changes, recorders[1].changes) << "round " << round;
  }
}
