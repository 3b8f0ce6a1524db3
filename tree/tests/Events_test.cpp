// Event-firing operations: defaults without handlers, focus on disconnect,
// deferred hidden-children flags, pop-up menu walk and editor creation.
#include <gtest/gtest.h>

#include "TreeTestSupport.h"

TEST(Events, DefaultsWithoutHandlers) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode node = tree.AddChild(nullptr);
  EXPECT_TRUE(tree.DoExpanding(node));
  EXPECT_TRUE(tree.DoCollapsing(node));
  EXPECT_TRUE(tree.DoNodeMoving(node, nullptr));
  EXPECT_TRUE(tree.DoNodeCopying(node, nullptr));
  EXPECT_TRUE(tree.DoFocusChanging(nullptr, node, -1, -1));
  EXPECT_FALSE(tree.DoDragAllowed(node, -1));
  EXPECT_TRUE(tree.DoGetCellIsEmpty(node, -1));
  EXPECT_EQ(tree.DoCompareNodes(node, node, -1), 0);
  EXPECT_EQ(tree.DoIncrementalSearch(node, u"x"), 0);
  TCheckState state = csCheckedNormal;
  EXPECT_TRUE(tree.DoChecking(node, state));
  int size = 7;
  tree.DoGetNodeDataSize(size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(tree.DoCreateEditor(node, -1), nullptr);
}

TEST(Events, EditorHandlerThatGivesNoLinkIsAnError) {
  TTestTree tree;
  tree.OnCreateEditor = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr&) {};
  try {
    tree.DoCreateEditor(nullptr, 0);
    FAIL();
  } catch (const EVirtualTreeError& e) {
    EXPECT_EQ(e.HelpContext(), 2000);
    EXPECT_STREQ(e.what(), "Edit link must not be nil.");
  }
}

TEST(Events, DisconnectingTheFocusedNodeReportsNoFocus) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  PVirtualNode node = tree.GetFirst();
  tree.SetFocusedNode(node);
  static int reports = 0;
  static PVirtualNode reported = reinterpret_cast<PVirtualNode>(1);
  reports = 0;
  tree.OnFocusChanged = [](TBaseVirtualTree*, PVirtualNode n, TColumnIndex) {
    ++reports;
    reported = n;
  };
  tree.InternalDisconnectNode(node, false);
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(reported, nullptr);
  tree.InternalConnectNode(node, tree.RootNode(), &tree, amAddChildLast);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Events, HiddenChildrenFlagWaitsForEndUpdate) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode parent = tree.AddChild(nullptr);
  PVirtualNode visible = tree.AddChild(parent);
  PVirtualNode hidden = tree.AddChild(parent);
  tree.SetIsVisible(hidden, false);
  tree.BeginUpdate();
  tree.InternalDisconnectNode(visible, false);
  EXPECT_FALSE(parent->States & vsAllChildrenHidden);
  EXPECT_TRUE(tree.TreeStates().Contains(tsUpdateHiddenChildrenNeeded));
  tree.EndUpdate();
  EXPECT_TRUE(parent->States & vsAllChildrenHidden);
  tree.InternalConnectNode(visible, parent, &tree, amAddChildLast);
}

TEST(Events, FreeNodeOnlyForNodesWithSomethingToFree) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(4);
  tree.GetFirst();
  static int freed = 0;
  freed = 0;
  tree.OnFreeNode = [](TBaseVirtualTree*, PVirtualNode) { ++freed; };
  tree.Clear();
  EXPECT_EQ(freed, 1);
}

TEST(Events, ChangesInsideBracketsAreReportedOnce) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  TTreeOptionValues values = tree.OptionValues();
  values.selection.Include(toMultiSelect);
  tree.SetOptions(values);
  tree.SetRootNodeCount(5);
  static int changes = 0;
  changes = 0;
  tree.OnChange = [](TBaseVirtualTree*, PVirtualNode) { ++changes; };
  tree.BeginUpdate();
  tree.SelectAll(false);
  tree.RemoveFromSelection(tree.GetFirst());
  tree.EndUpdate();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tree.SelectedCount(), 4u);
  tree.DeleteSelectedNodes();
  EXPECT_EQ(tree.GetRootNodeCount(), 1u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}
