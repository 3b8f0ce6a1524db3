// Deleting many nodes at once in a shown tree: shrinking a node's children,
// re-initialising it with fewer and deleting the nodes of a cut. Random trees
// (expanded, hidden, selected and focused nodes) against a reference list of
// the nodes that must remain; the node model's invariants, the selection and
// the focus are checked after every step. A shrink is one change for the
// tree's listeners, however many nodes it deletes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

struct BulkDeleteTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 300, 300);
    tree = New<TVirtualDrawTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 280, 260);
    tree->SetNodeDataSize(0);
    TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
    tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
    tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode node, uint32_t& count) {
      if (node == gInitParent) count = gInitCount;
    };
    form->Show();
  }
  void TearDown() override { form->Free(); }

  // A random tree of about count nodes; some expanded, hidden or selected.
  void Grow(std::mt19937& rng, uint32_t count) {
    tree->Clear();
    tree->BeginUpdate();
    tree->SetRootNodeCount(1 + rng() % 20);
    while (tree->RootNode()->TotalCount < count) {
      std::vector<PVirtualNode> nodes = AllNodes(*tree);
      PVirtualNode parent = nodes[rng() % nodes.size()];
      tree->SetChildCount(parent, parent->ChildCount + 1 + rng() % 30);
    }
    for (PVirtualNode node : AllNodes(*tree)) {
      if (rng() % 2) tree->SetExpanded(node, true);
      if (rng() % 8 == 0) tree->SetIsVisible(node, false);
      // Some nodes whose children are all hidden.
      if (rng() % 10 == 0)
        for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
          tree->SetIsVisible(child, false);
      if (rng() % 4 == 0) tree->AddToSelection(node);
    }
    tree->EndUpdate();
    std::vector<PVirtualNode> nodes = AllNodes(*tree);
    tree->SetFocusedNode(nodes[rng() % nodes.size()]);
  }

  // The nodes in tree order without those for which gone is true and their descendants.
  template <class Gone>
  std::vector<PVirtualNode> Remaining(Gone gone) {
    std::vector<PVirtualNode> result;
    for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr;) {
      if (gone(run)) {
        run = SkipSubtree(run);
        continue;
      }
      result.push_back(run);
      run = tree->GetNextNoInit(run);
    }
    return result;
  }
  PVirtualNode SkipSubtree(PVirtualNode node) {
    for (PVirtualNode run = node; run != tree->RootNode(); run = run->Parent)
      if (run->NextSibling != nullptr) return run->NextSibling;
    return nullptr;
  }

  // The tree holds exactly the expected nodes, numbered, with their selection and focus.
  void Expect(const std::vector<PVirtualNode>& expected, const std::set<PVirtualNode>& selected,
              PVirtualNode focused, int step) {
    std::vector<PVirtualNode> all = AllNodes(*tree);
    ASSERT_EQ(all, expected) << "step " << step;
    EXPECT_EQ(CheckTreeInvariants(*tree), "") << "step " << step;
    uint32_t stillSelected = 0;
    for (PVirtualNode node : all) {
      uint32_t index = 0;
      for (PVirtualNode run = node->Parent->FirstChild; run != node; run = run->NextSibling) ++index;
      ASSERT_EQ(node->Index, index) << "step " << step;
      stillSelected += selected.count(node);
    }
    EXPECT_EQ(tree->SelectedCount(), stillSelected) << "step " << step;
    EXPECT_EQ(tree->GetSelectionInOrder(false).size(), stillSelected) << "step " << step;
    bool focusKept = std::find(all.begin(), all.end(), focused) != all.end();
    EXPECT_EQ(tree->FocusedNode(), focusKept ? focused : nullptr) << "step " << step;
    EXPECT_EQ(tree->RangeY(), tree->RootNode()->TotalHeight - tree->RootNode()->NodeHeight) << "step " << step;
  }

  std::set<PVirtualNode> Selected() {
    std::set<PVirtualNode> result;
    for (PVirtualNode node : AllNodes(*tree))
      if (node->States & vsSelected) result.insert(node);
    return result;
  }

  // What OnInitChildren answers for one node (the others keep their count).
  static inline PVirtualNode gInitParent = nullptr;
  static inline uint32_t gInitCount = 0;
  TForm* form = nullptr;
  TVirtualDrawTree* tree = nullptr;
};

}  // namespace

TEST_F(BulkDeleteTest, ShrinkingAndReinitialisingKeepTheFirstChildrenOnly) {
  std::mt19937 rng(44);
  for (int step = 0; step < 40; ++step) {
    Grow(rng, 150 + rng() % 250);
    std::vector<PVirtualNode> parents;
    for (PVirtualNode node : AllNodes(*tree))
      if (node->ChildCount > 1) parents.push_back(node);
    bool fromRoot = (step % 5 == 0 || parents.empty()) && tree->RootNode()->ChildCount > 1;
    if (!fromRoot && parents.empty()) continue;
    PVirtualNode parent = fromRoot ? tree->RootNode() : parents[rng() % parents.size()];
    uint32_t keep = 1 + rng() % (parent->ChildCount - 1);
    std::set<PVirtualNode> trimmed;
    for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling)
      if (run->Index >= keep) trimmed.insert(run);
    std::vector<PVirtualNode> expected = Remaining([&](PVirtualNode n) { return trimmed.count(n) > 0; });
    std::set<PVirtualNode> selected = Selected();
    PVirtualNode focused = tree->FocusedNode();
    if (parent != tree->RootNode() && step % 2) {
      gInitParent = parent;
      gInitCount = keep;
      tree->ReinitChildren(parent, false);
      gInitParent = nullptr;
    } else {
      tree->SetChildCount(parent == tree->RootNode() ? nullptr : parent, keep);
    }
    Expect(expected, selected, focused, step);
  }
}

TEST_F(BulkDeleteTest, DeletingCutNodesRemovesTheirSubtreesAndRenumbersOnce) {
  std::mt19937 rng(45);
  for (int step = 0; step < 40; ++step) {
    Grow(rng, 150 + rng() % 250);
    // Runs of cut siblings, single ones, and cut nodes inside cut subtrees.
    uint32_t density = 1 + rng() % 6;
    for (PVirtualNode node : AllNodes(*tree))
      if (rng() % density == 0) node->States |= vsCutOrCopy;
    std::vector<PVirtualNode> expected = Remaining([](PVirtualNode n) { return (n->States & vsCutOrCopy) != 0; });
    std::set<PVirtualNode> selected = Selected();
    PVirtualNode focused = tree->FocusedNode();
    tree->DoStateChange({tsCutPending});
    tree->DeleteMarkedCutNodes();
    EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
    Expect(expected, selected, focused, step);
  }
}

// Shrinking 2,000 children to one is a single structure change, and the
// scroll range follows at once.
TEST_F(BulkDeleteTest, AShrinkIsOneStructureChange) {
  static int changes = 0;
  static TChangeReason lastReason = crIgnore;
  tree->SetRootNodeCount(2);
  PVirtualNode parent = tree->GetFirst();
  tree->SetChildCount(parent, 2000);
  tree->SetExpanded(parent, true);
  tree->SetFocusedNode(parent->LastChild);
  tree->AddToSelection(parent->LastChild->PrevSibling);
  qvtest::Pump(20);
  tree->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason reason) {
    ++changes;
    lastReason = reason;
  };
  tree->SetChildCount(parent, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(lastReason, crAccumulated);
  EXPECT_EQ(tree->FocusedNode(), nullptr);
  EXPECT_EQ(tree->SelectedCount(), 0u);
  EXPECT_EQ(tree->RangeY(), 3u * tree->DefaultNodeHeight());
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  tree->OnStructureChange = nullptr;
}
