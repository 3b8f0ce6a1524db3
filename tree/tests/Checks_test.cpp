// Check states: tri-state propagation, event counts, refusals, radio buttons.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <stdexcept>

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

namespace {

// The propagation written as plainly as it reads: nested calls over a mirror
// of the tree. The tree must fire the same events in the same order and end
// in the same states.
struct RefTree {
  struct Node {
    int parent = -1;
    std::vector<int> children;
    TCheckType type = ctNone;
    TCheckState state = csUncheckedNormal;
    bool disabled = false;
    bool checking = false;
  };
  std::vector<Node> nodes{Node{}};  // 0 is the hidden root
  std::vector<std::string>* log = nullptr;
  std::function<bool(int, TCheckState&)> decide;

  static bool Box(TCheckType t) { return t == ctTriStateCheckBox || t == ctCheckBox; }
  bool Checking(int n, TCheckState& v) {
    log->push_back("checking " + std::to_string(n) + " " + std::to_string(v));
    return decide(n, v);
  }
  void SetCheckState(int n, TCheckState v) {
    if (nodes[n].state == v || nodes[n].disabled) return;
    if (Checking(n, v)) Click(n, v);
  }
  void Click(int n, TCheckState v) {
    log->push_back("click " + std::to_string(n) + " " + std::to_string(v));
    if (Change(n, v)) log->push_back("checked " + std::to_string(n));
    log->push_back("clicked " + std::to_string(n) + " " + std::to_string(nodes[n].state));
  }
  bool Change(int n, TCheckState v) {
    if (nodes[n].checking) return false;
    nodes[n].checking = true;
    if (nodes[n].type == ctTriStateCheckBox && (v == csUncheckedNormal || v == csCheckedNormal) &&
        !nodes[n].children.empty()) {
      for (int c : nodes[n].children)
        if (Box(nodes[c].type)) SetCheckState(c, v);
      int checked = 0, mixed = 0, unchecked = 0;
      for (int c : nodes[n].children) {
        if (!Box(nodes[c].type)) continue;
        checked += nodes[c].state == csCheckedNormal;
        mixed += nodes[c].state == csMixedNormal;
        unchecked += nodes[c].state == csUncheckedNormal;
      }
      if (mixed > 0) v = csMixedNormal;
      else if (checked > 0) v = unchecked > 0 ? csMixedNormal : csCheckedNormal;
    }
    if (nodes[n].type == ctRadioButton && v == csCheckedNormal)
      for (int s : nodes[nodes[n].parent].children)
        if (nodes[s].type == ctRadioButton) nodes[s].state = csUncheckedNormal;
    nodes[n].state = v;
    int p = nodes[n].parent;
    if (p != 0 && !nodes[p].checking && !nodes[p].disabled && Box(nodes[n].type) &&
        nodes[p].type == ctTriStateCheckBox)
      ParentCheck(n, v);
    nodes[n].checking = false;
    return true;
  }
  bool ParentCheck(int n, TCheckState v) {
    log->push_back("parent " + std::to_string(n) + " " + std::to_string(v));
    int p = nodes[n].parent;
    int boxes = 0, checked = 0;
    bool partial = false;
    for (int s : nodes[p].children) {
      if (!Box(nodes[s].type)) continue;
      ++boxes;
      TCheckState state = s == n ? v : nodes[s].state;
      checked += state == csCheckedNormal || state == csCheckedPressed;
      partial |= state == csMixedNormal;
    }
    TCheckState state = checked == 0 && !partial ? csUncheckedNormal
                        : checked < boxes        ? csMixedNormal
                                                 : csCheckedNormal;
    if (!Checking(p, state)) return false;
    Click(p, state);
    return true;
  }
};

class LoggingCheckTree : public TTestTree {
public:
  std::map<PVirtualNode, int> ids;
  std::vector<std::string> log;
  std::function<bool(int, TCheckState&)> decide;
  bool DoChecking(PVirtualNode node, TCheckState& state) override {
    log.push_back("checking " + std::to_string(ids[node]) + " " + std::to_string(state));
    if (!TTestTree::DoChecking(node, state)) return false;
    return decide(ids[node], state);
  }
  void DoChecked(PVirtualNode node) override { log.push_back("checked " + std::to_string(ids[node])); }
  // Overrides of the slots see every node, children and ancestors included,
  // and find the change done when the tree's own slot returns.
  void DoCheckClick(PVirtualNode node, TCheckState state) override {
    log.push_back("click " + std::to_string(ids[node]) + " " + std::to_string(state));
    TTestTree::DoCheckClick(node, state);
    log.push_back("clicked " + std::to_string(ids[node]) + " " + std::to_string(node->CheckState));
  }
  bool CheckParentCheckState(PVirtualNode node, TCheckState state) override {
    log.push_back("parent " + std::to_string(ids[node]) + " " + std::to_string(state));
    return TTestTree::CheckParentCheckState(node, state);
  }
};

}  // namespace

TEST(Checks, PropagationMatchesTheNestedModel) {
  const int rounds = std::getenv("QV_LONG") ? 400 : 40;
  std::mt19937 random(3102);
  for (int round = 0; round < rounds; ++round) {
    LoggingCheckTree tree;
    tree.SetNodeDataSize(0);
    RefTree ref;
    std::vector<std::string> refLog;
    ref.log = &refLog;
    uint32_t salt = random();
    // Handlers refuse some changes and replace some values, the same in both.
    auto decide = [salt](int n, TCheckState& v) {
      uint32_t h = (uint32_t(n) * 2654435761u) ^ (uint32_t(v) * 40503u) ^ salt;
      h ^= h >> 13;
      if (h % 11 == 0) return false;
      if (h % 17 == 0) v = static_cast<TCheckState>((h >> 5) % 6);
      return true;
    };
    tree.decide = decide;
    ref.decide = decide;
    std::vector<PVirtualNode> nodes{nullptr};
    int count = 5 + static_cast<int>(random() % 40);
    for (int i = 1; i <= count; ++i) {
      int parent = random() % 4 == 0 ? 0 : static_cast<int>(random() % i);
      PVirtualNode node = tree.AddChild(parent == 0 ? nullptr : nodes[parent]);
      tree.InitNode(node);
      static const TCheckType types[] = {ctTriStateCheckBox, ctTriStateCheckBox, ctTriStateCheckBox,
                                         ctCheckBox, ctRadioButton, ctNone, ctButton};
      TCheckType type = types[random() % 7];
      TCheckState state = static_cast<TCheckState>(random() % 3 * 2);
      node->CheckType = type;
      node->CheckState = state;
      bool disabled = random() % 15 == 0;
      if (disabled) tree.SetDisabled(node, true);
      nodes.push_back(node);
      tree.ids[node] = i;
      RefTree::Node model;
      model.parent = parent;
      model.type = type;
      model.state = state;
      model.disabled = disabled;
      ref.nodes.push_back(model);
      ref.nodes[parent].children.push_back(i);
    }
    for (int op = 0; op < 30; ++op) {
      int n = 1 + static_cast<int>(random() % count);
      TCheckState v = static_cast<TCheckState>(random() % 3 * 2);
      tree.log.clear();
      refLog.clear();
      tree.SetCheckState(nodes[n], v);
      ref.SetCheckState(n, v);
      ASSERT_EQ(tree.log, refLog) << "round " << round << " op " << op;
      for (int i = 1; i <= count; ++i) {
        ASSERT_EQ(nodes[i]->CheckState, ref.nodes[i].state) << "round " << round << " node " << i;
        ASSERT_FALSE(nodes[i]->States & vsChecking);
      }
      ASSERT_FALSE(tree.TreeStates().Contains(tsCheckPropagation));
    }
  }
}

TEST(Checks, AHandlerThatThrowsLeavesNoNodeChecking) {
  CheckTree tree;
  PVirtualNode top = tree.Box(nullptr);
  PVirtualNode middle = tree.Box(top);
  PVirtualNode leaf = tree.Box(middle);
  tree.OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool&) { throw std::runtime_error("bad"); };
  tree.refuse.clear();
  EXPECT_THROW(tree.ChangeCheckState(leaf, csCheckedNormal), std::runtime_error);
  EXPECT_FALSE(leaf->States & vsChecking);
  EXPECT_FALSE(tree.TreeStates().Contains(tsCheckPropagation));
  tree.OnChecking = nullptr;
  tree.SetCheckState(leaf, csUncheckedNormal);
  tree.SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csCheckedNormal);
}

TEST(Checks, DeepTriStateChainPropagatesBothWays) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  constexpr int kDepth = 100000;
  PVirtualNode top = tree.AppendChain(tree.RootNode(), kDepth, /*expanded=*/false);
  PVirtualNode leaf = top;
  for (PVirtualNode run = top; run != nullptr; run = run->FirstChild) {
    run->CheckType = ctTriStateCheckBox;
    leaf = run;
  }
  static int checked;
  checked = 0;
  tree.OnChecked = [](TBaseVirtualTree*, PVirtualNode) { ++checked; };
  tree.SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csCheckedNormal);
  EXPECT_EQ(checked, kDepth);
  checked = 0;
  tree.SetCheckState(top, csUncheckedNormal);
  EXPECT_EQ(leaf->CheckState, csUncheckedNormal);
  EXPECT_EQ(checked, kDepth);
}

TEST(Checks, EveryLevelOfADeepChainGoesThroughTheSlots) {
  // Counted by overrides that do their own work before the tree's.
  struct SlotTree : TTestTree {
    int clicks = 0, parents = 0;
    void DoCheckClick(PVirtualNode node, TCheckState state) override {
      ++clicks;
      TTestTree::DoCheckClick(node, state);
    }
    bool CheckParentCheckState(PVirtualNode node, TCheckState state) override {
      ++parents;
      return TTestTree::CheckParentCheckState(node, state);
    }
  } tree;
  tree.SetNodeDataSize(0);
  constexpr int kDepth = 100000;
  PVirtualNode top = tree.AppendChain(tree.RootNode(), kDepth, /*expanded=*/false);
  PVirtualNode leaf = top;
  for (PVirtualNode run = top; run != nullptr; run = run->FirstChild) {
    run->CheckType = ctTriStateCheckBox;
    leaf = run;
  }
  tree.SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csCheckedNormal);
  EXPECT_EQ(tree.clicks, kDepth);
  EXPECT_EQ(tree.parents, kDepth - 1);
  tree.clicks = tree.parents = 0;
  tree.SetCheckState(top, csUncheckedNormal);
  EXPECT_EQ(leaf->CheckState, csUncheckedNormal);
  EXPECT_EQ(tree.clicks, kDepth);
  EXPECT_FALSE(tree.TreeStates().Contains(tsCheckPropagation));
}
