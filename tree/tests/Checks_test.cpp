// Check states: tri-state propagation, event counts, refusals, radio buttons.
#include <gtest/gtest.h>

#include <map>

#include "TreeTestSupport.h"

namespace {

// Counts OnChecking and OnChecked per node; may refuse nodes.
class CheckTree : public TTestTree {
public:
  CheckTree() { SetNodeDataSize(0); }
  std::map<PVirtualNode, int> checking;
  std::map<PVirtualNode, int> checked;
  std::map<PVirtualNode, bool> refuse;

  bool DoChecking(PVirtualNode node, TCheckState& state) override {
    ++checking[node];
    if (refuse[node]) return false;
    return TTestTree::DoChecking(node, state);
  }
  void DoChecked(PVirtualNode node) override {
    ++checked[node];
    TTestTree::DoChecked(node);
  }

  PVirtualNode Box(PVirtualNode parent, TCheckType type = ctTriStateCheckBox) {
    PVirtualNode node = AddChild(parent);
    InitNode(node);
    node->CheckType = type;
    return node;
  }
};

}  // namespace

TEST(Checks, DeepChainReportsEachAncestorOnce) {
  CheckTree tree;
  std::vector<PVirtualNode> chain;
  PVirtualNode parent = nullptr;
  for (int level = 0; level < 12; ++level) {
    parent = tree.Box(parent);
    chain.push_back(parent);
  }
  tree.SetCheckState(chain.back(), csCheckedNormal);
  for (PVirtualNode node : chain) {
    EXPECT_EQ(tree.checking[node], 1);
    EXPECT_EQ(tree.checked[node], 1);
    EXPECT_EQ(node->CheckState, csCheckedNormal);
  }
  tree.checking.clear();
  tree.checked.clear();
  tree.SetCheckState(chain.front(), csUncheckedNormal);
  for (PVirtualNode node : chain) {
    EXPECT_EQ(tree.checked[node], 1);
    EXPECT_EQ(node->CheckState, csUncheckedNormal);
  }
}

TEST(Checks, CheckingFolderChecksChildrenAndMakesGrandparentMixed) {
  CheckTree tree;
  PVirtualNode top = tree.Box(nullptr);
  PVirtualNode folder = tree.Box(top);
  PVirtualNode other = tree.Box(top);
  std::vector<PVirtualNode> children{tree.Box(folder), tree.Box(folder), tree.Box(folder)};
  tree.SetCheckState(folder, csCheckedNormal);
  for (PVirtualNode c : children) {
    EXPECT_EQ(c->CheckState, csCheckedNormal);
    EXPECT_EQ(tree.checked[c], 1);
  }
  EXPECT_EQ(folder->CheckState, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csMixedNormal);
  EXPECT_EQ(other->CheckState, csUncheckedNormal);
  tree.SetCheckState(children[0], csUncheckedNormal);
  EXPECT_EQ(folder->CheckState, csMixedNormal);
  tree.SetCheckState(children[1], csUncheckedNormal);
  tree.SetCheckState(children[2], csUncheckedNormal);
  EXPECT_EQ(folder->CheckState, csUncheckedNormal);
  EXPECT_EQ(top->CheckState, csUncheckedNormal);
}

TEST(Checks, RefusedAndDisabledChildrenKeepTheirState) {
  CheckTree tree;
  PVirtualNode folder = tree.Box(nullptr);
  PVirtualNode a = tree.Box(folder);
  PVirtualNode b = tree.Box(folder);
  tree.refuse[a] = true;
  tree.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(a->CheckState, csUncheckedNormal);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(folder->CheckState, csMixedNormal);

  CheckTree all;
  PVirtualNode f2 = all.Box(nullptr);
  PVirtualNode c1 = all.Box(f2);
  PVirtualNode c2 = all.Box(f2);
  all.refuse[c1] = all.refuse[c2] = true;
  all.SetCheckState(f2, csCheckedNormal);
  EXPECT_EQ(f2->CheckState, csCheckedNormal);

  CheckTree disabled;
  PVirtualNode f3 = disabled.Box(nullptr);
  PVirtualNode d = disabled.Box(f3);
  disabled.Box(f3);
  disabled.SetDisabled(d, true);
  disabled.SetCheckState(f3, csCheckedNormal);
  EXPECT_EQ(d->CheckState, csUncheckedNormal);
  EXPECT_EQ(f3->CheckState, csMixedNormal);
}

TEST(Checks, AncestorRefusalStopsWalkButReportsTheChange) {
  CheckTree tree;
  PVirtualNode top = tree.Box(nullptr);
  PVirtualNode leaf = tree.Box(top);
  tree.refuse[top] = true;
  tree.SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(leaf->CheckState, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csUncheckedNormal);
  EXPECT_EQ(tree.checked[leaf], 1);
}

TEST(Checks, RadioButtonsAndOtherTypesStayOutOfPropagation) {
  CheckTree tree;
  PVirtualNode folder = tree.Box(nullptr);
  PVirtualNode r1 = tree.Box(folder, ctRadioButton);
  PVirtualNode r2 = tree.Box(folder, ctRadioButton);
  PVirtualNode button = tree.Box(folder, ctButton);
  PVirtualNode none = tree.Box(folder, ctNone);
  tree.SetCheckState(r1, csCheckedNormal);
  tree.SetCheckState(r2, csCheckedNormal);
  EXPECT_EQ(r1->CheckState, csUncheckedNormal);
  EXPECT_EQ(tree.checked[r1], 1);  // its own change only; the radio reset fires nothing
  EXPECT_EQ(folder->CheckState, csUncheckedNormal);
  tree.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(button->CheckState, csUncheckedNormal);
  EXPECT_EQ(none->CheckState, csUncheckedNormal);
  EXPECT_EQ(folder->CheckState, csCheckedNormal);
}

TEST(Checks, NextStateAndTrackingOff) {
  CheckTree tree;
  EXPECT_EQ(tree.DetermineNextCheckState(ctTriStateCheckBox, csMixedNormal), csCheckedNormal);
  EXPECT_EQ(tree.DetermineNextCheckState(ctCheckBox, csCheckedNormal), csUncheckedNormal);
  EXPECT_EQ(tree.DetermineNextCheckState(ctRadioButton, csCheckedNormal), csCheckedNormal);
  EXPECT_EQ(tree.DetermineNextCheckState(ctButton, csCheckedNormal), csUncheckedNormal);
  EXPECT_EQ(tree.DetermineNextCheckState(ctNone, csCheckedNormal), csMixedNormal);
  TTreeOptionValues values = tree.OptionValues();
  values.autoOptions.Exclude(toAutoTristateTracking);
  tree.SetOptions(values);
  PVirtualNode folder = tree.Box(nullptr);
  PVirtualNode child = tree.Box(folder);
  tree.SetCheckState(folder, csCheckedNormal);
  EXPECT_EQ(child->CheckState, csUncheckedNormal);
  tree.SetCheckState(child, csCheckedNormal);
  EXPECT_EQ(tree.checked[folder], 1);
}

TEST(Checks, NewBoxUnderCheckedParentStartsChecked) {
  CheckTree tree;
  PVirtualNode folder = tree.Box(nullptr);
  tree.Box(folder);
  tree.SetCheckState(folder, csCheckedNormal);
  PVirtualNode added = tree.AddChild(folder);
  tree.SetCheckType(added, ctCheckBox);
  EXPECT_EQ(added->CheckState, csCheckedNormal);
  EXPECT_EQ(tree.checked[added], 1);
  tree.SetCheckState(folder->FirstChild, csUncheckedNormal);
  EXPECT_EQ(folder->CheckState, csMixedNormal);
  PVirtualNode under = tree.AddChild(folder);
  tree.SetCheckType(under, ctCheckBox);
  EXPECT_EQ(under->CheckState, csUncheckedNormal);
}

TEST(Checks, ReentryFromHandlerIsRefusedAndPropagationStateSpans) {
  CheckTree tree;
  PVirtualNode parent = tree.Box(nullptr);
  PVirtualNode child = tree.Box(parent);
  static CheckTree* current = nullptr;
  static PVirtualNode changing = nullptr;
  static int reentryResult = -1;
  static bool propagating = false;
  current = &tree;
  changing = child;
  tree.OnChecked = [](TBaseVirtualTree*, PVirtualNode n) {
    if (n == changing) return;
    // The parent is reported while the child's change is still open.
    propagating = current->TreeStates().Contains(tsCheckPropagation);
    reentryResult = current->ChangeCheckState(changing, csMixedNormal) ? 1 : 0;
  };
  tree.SetCheckState(child, csCheckedNormal);
  EXPECT_TRUE(propagating);
  EXPECT_EQ(reentryResult, 0);
  EXPECT_EQ(child->CheckState, csCheckedNormal);
  EXPECT_EQ(parent->CheckState, csCheckedNormal);
  EXPECT_FALSE(tree.TreeStates().Contains(tsCheckPropagation));
}

TEST(Checks, ReadOnlyTreeRefusesEveryChange) {
  CheckTree tree;
  PVirtualNode node = tree.Box(nullptr);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Include(toReadOnly);
  tree.SetOptions(values);
  tree.SetCheckState(node, csCheckedNormal);
  tree.SetCheckType(node, ctRadioButton);
  EXPECT_EQ(node->CheckState, csUncheckedNormal);
  EXPECT_EQ(node->CheckType, ctTriStateCheckBox);
  values.misc.Exclude(toReadOnly);
  tree.SetOptions(values);
}
