// The node model: record layout, structural operations and their edge cases.
#include <gtest/gtest.h>

#include <cstddef>

#include "TreeTestSupport.h"

TEST(NodeRecord, HeaderLayoutIsFixed) {
  EXPECT_EQ(offsetof(TVirtualNode, Index), 0u);
  EXPECT_EQ(offsetof(TVirtualNode, ChildCount), 4u);
  EXPECT_EQ(offsetof(TVirtualNode, NodeHeight), 8u);
  EXPECT_EQ(offsetof(TVirtualNode, States), 10u);
  EXPECT_EQ(offsetof(TVirtualNode, Align), 12u);
  EXPECT_EQ(offsetof(TVirtualNode, CheckState), 13u);
  EXPECT_EQ(offsetof(TVirtualNode, CheckType), 14u);
  EXPECT_EQ(offsetof(TVirtualNode, TotalCount), 16u);
  EXPECT_EQ(offsetof(TVirtualNode, TotalHeight), 20u);
  EXPECT_EQ(offsetof(TVirtualNode, Parent), 24u);
  EXPECT_EQ(offsetof(TVirtualNode, LastChild), 24u + 4 * sizeof(void*));
  EXPECT_EQ(kNodeHeaderSize, 24u + 5 * sizeof(void*));  // 44 bytes on the 32-bit target
}

TEST(Structure, NewTreeAndClearedTreeHaveRootDefaults) {
  TTestTree tree;
  PVirtualNode root = tree.RootNode();
  EXPECT_EQ(root->TotalCount, 1u);
  EXPECT_EQ(root->TotalHeight, 18u);
  EXPECT_EQ(root->States, vsInitialized | vsExpanded | vsHasChildren | vsVisible);
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(10);
  tree.SetExpanded(tree.GetFirst(), true);
  tree.Clear();
  EXPECT_EQ(root->TotalCount, 1u);
  EXPECT_EQ(root->TotalHeight, 18u);
  EXPECT_EQ(tree.VisibleCount(), 0u);
}

TEST(Structure, AddChildMakesUninitialisedVisibleNode) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode node = tree.AddChild(nullptr);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Index, 0u);
  EXPECT_FALSE(node->States & vsInitialized);
  EXPECT_TRUE(node->States & vsVisible);
  EXPECT_EQ(node->NodeHeight, 18);
  EXPECT_EQ(node->Align, 50);
  EXPECT_TRUE(tree.RootNode()->States & vsHasChildren);
  EXPECT_EQ(tree.initCount, 0);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, AddChildChecksUserDataSizeBeforeLinking) {
  TTestTree tree;
  tree.SetNodeDataSize(2);
  int value = 5;
  EXPECT_THROW(tree.AddChild(nullptr, &value), EVirtualTreeError);
  EXPECT_EQ(tree.GetRootNodeCount(), 0u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  tree.Clear();
  TTestTree wide;
  wide.SetNodeDataSize(sizeof(void*));
  PVirtualNode node = wide.AddChild(nullptr, &value);
  EXPECT_EQ(*static_cast<void**>(wide.GetNodeData(node)), &value);
  EXPECT_TRUE(node->States & vsInitialUserData);
  int freed = 0;
  wide.onFree = [&](PVirtualNode) { ++freed; };
  wide.Clear();
  EXPECT_EQ(freed, 1);
}

TEST(Structure, SetChildCountGrowsAndShrinksAtTheEnd) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode parent = tree.AddChild(nullptr);
  tree.SetChildCount(parent, 3);
  tree.SetChildCount(parent, 5);
  EXPECT_EQ(parent->LastChild->Index, 4u);
  EXPECT_EQ(parent->LastChild->PrevSibling->Index, 3u);
  tree.SetChildCount(parent, 1);
  EXPECT_EQ(parent->ChildCount, 1u);
  EXPECT_EQ(parent->FirstChild, parent->LastChild);
  tree.SetChildCount(parent, 0);
  EXPECT_EQ(parent->FirstChild, nullptr);
  EXPECT_TRUE(parent->States & vsHasChildren);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, CollapseLowersVisibleCountAndHeight) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode parent = tree.AddChild(nullptr);
  tree.SetChildCount(parent, 4);
  tree.SetExpanded(parent, true);
  tree.SetChildCount(parent->FirstChild, 2);
  tree.SetExpanded(parent->FirstChild, true);
  EXPECT_EQ(tree.VisibleCount(), 7u);
  tree.SetExpanded(parent, false);
  EXPECT_EQ(tree.VisibleCount(), 1u);
  EXPECT_EQ(parent->TotalHeight, parent->NodeHeight);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  // Deleting the children of a collapsed node leaves the visible count.
  tree.DeleteChildren(parent);
  EXPECT_EQ(tree.VisibleCount(), 1u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, ExpandingNodeWithoutChildrenStaysCollapsed) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.onInit = [](PVirtualNode, TVirtualNodeInitStates& s) { s.Include(ivsHasChildren); };
  tree.onInitChildren = [](PVirtualNode, uint32_t& count) { count = 0; };
  int expanding = 0;
  tree.OnExpanding = [](TBaseVirtualTree*, PVirtualNode, bool&) {};
  PVirtualNode node = tree.AddChild(nullptr);
  tree.InitNode(node);
  tree.ToggleNode(node);
  (void)expanding;
  EXPECT_FALSE(node->States & vsExpanded);
  EXPECT_FALSE(node->States & vsHasChildren);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, InitNodeExpandedInitialisesChildrenAtOnce) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.onInit = [&](PVirtualNode node, TVirtualNodeInitStates& s) {
    if (tree.GetNodeLevel(node) == 0) s.Include(ivsHasChildren).Include(ivsExpanded);
  };
  tree.onInitChildren = [](PVirtualNode, uint32_t& count) { count = 3; };
  tree.SetRootNodeCount(1);
  PVirtualNode first = tree.GetFirst();
  EXPECT_TRUE(first->States & vsExpanded);
  EXPECT_EQ(first->ChildCount, 3u);
  EXPECT_EQ(tree.VisibleCount(), 4u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, InsertBeforeAndAfterSetEverySiblingLink) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(3);
  PVirtualNode middle = tree.RootNode()->FirstChild->NextSibling;
  PVirtualNode before = tree.MakeNewNode();
  tree.InternalConnectNode(before, middle, &tree, amInsertBefore);
  EXPECT_EQ(middle->PrevSibling, before);
  EXPECT_EQ(before->NextSibling, middle);
  PVirtualNode after = tree.MakeNewNode();
  tree.InternalConnectNode(after, middle, &tree, amInsertAfter);
  EXPECT_EQ(middle->NextSibling, after);
  PVirtualNode last = tree.MakeNewNode();
  tree.InternalConnectNode(last, tree.RootNode()->LastChild, &tree, amInsertAfter);
  EXPECT_EQ(tree.RootNode()->LastChild, last);
  EXPECT_EQ(last->Index, 5u);
  PVirtualNode first = tree.MakeNewNode();
  tree.InternalConnectNode(first, tree.RootNode(), &tree, amAddChildFirst);
  EXPECT_EQ(tree.RootNode()->FirstChild, first);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, DisconnectLastChildCollapsesParent) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode parent = tree.AddChild(nullptr);
  PVirtualNode child = tree.AddChild(parent);
  tree.SetExpanded(parent, true);
  tree.InternalDisconnectNode(child, false);
  EXPECT_FALSE(parent->States & vsExpanded);
  EXPECT_FALSE(parent->States & vsHasChildren);
  tree.InternalConnectNode(child, parent, &tree, amAddChildLast);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, EndUpdateAfterDeletionInitialisesNothing) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.onInit = [](PVirtualNode, TVirtualNodeInitStates& s) { s.Include(ivsHasChildren); };
  tree.SetRootNodeCount(50);
  PVirtualNode parent = tree.RootNode()->FirstChild;
  tree.SetChildCount(parent, 3);
  int before = tree.initCount;
  tree.BeginUpdate();
  tree.DeleteNode(parent->FirstChild);
  tree.EndUpdate();
  EXPECT_EQ(tree.initCount, before);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, DeletedNodeIsForgottenEverywhere) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(3);
  PVirtualNode doomed = tree.RootNode()->FirstChild->NextSibling;
  tree.SetFocusedNode(doomed);
  tree.SetHotNode(doomed);
  tree.RememberCheckNode(doomed);
  tree.RememberDropTarget(doomed);
  tree.RememberSearchNode(doomed);
  tree.BeginUpdate();
  tree.DeleteNode(doomed);
  EXPECT_EQ(tree.PendingStructureNode(), nullptr);
  tree.EndUpdate();
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  EXPECT_EQ(tree.HotNode(), nullptr);
  EXPECT_EQ(tree.RememberedCheckNode(), nullptr);
  EXPECT_EQ(tree.RememberedDropTarget(), nullptr);
  EXPECT_EQ(tree.RememberedSearchNode(), nullptr);
}

TEST(Structure, NodeDataSizeChangeRefusedOnReadOnlyTreeWithNodes) {
  TTestTree tree;
  tree.SetNodeDataSize(4);
  tree.SetRootNodeCount(2);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Include(toReadOnly);
  tree.SetOptions(values);
  tree.SetNodeDataSize(64);
  EXPECT_EQ(tree.NodeDataSize(), 4);
  values.misc.Exclude(toReadOnly);
  tree.SetOptions(values);
  tree.SetNodeDataSize(64);
  EXPECT_EQ(tree.NodeDataSize(), 64);
  EXPECT_EQ(tree.GetRootNodeCount(), 2u);
}

TEST(Structure, ReadOnlyTreeRefusesStructuralWrites) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Include(toReadOnly);
  tree.SetOptions(values);
  EXPECT_EQ(tree.AddChild(nullptr), nullptr);
  tree.DeleteNode(tree.GetFirst());
  tree.SetChildCount(nullptr, 7);
  tree.Clear();
  EXPECT_EQ(tree.GetRootNodeCount(), 2u);
  values.misc.Exclude(toReadOnly);
  tree.SetOptions(values);
}

TEST(Structure, ReadOnlyTreeRefusesAResetAsItRefusesTheDeletion) {
  // Children kept under a node reset to "no children" would hang there unseen.
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  PVirtualNode node = tree.GetFirst();
  tree.SetChildCount(node, 3);
  tree.SetExpanded(node, true);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Include(toReadOnly);
  tree.SetOptions(values);
  tree.ResetNode(node);
  tree.ResetNode(nullptr);
  EXPECT_EQ(node->ChildCount, 3u);
  EXPECT_EQ(node->States & (vsInitialized | vsHasChildren | vsExpanded), vsInitialized | vsHasChildren | vsExpanded);
  EXPECT_EQ(tree.GetRootNodeCount(), 2u);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  values.misc.Exclude(toReadOnly);
  tree.SetOptions(values);
  tree.ResetNode(node);
  EXPECT_EQ(node->ChildCount, 0u);
  EXPECT_FALSE(node->States & (vsInitialized | vsHasChildren | vsExpanded));
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, AssertionsCarryFixedMessages) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  try {
    tree.GetNext(tree.RootNode());
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("Node must not be the hidden root node."), std::string::npos);
  }
  EXPECT_THROW(tree.ToggleNode(nullptr), EAssertionFailed);
  EXPECT_THROW(tree.GetNodeData(nullptr), EAssertionFailed);
  TTestTree sized;
  sized.SetNodeDataSize(8);
  EXPECT_EQ(sized.GetNodeData(sized.RootNode()), nullptr);
}

TEST(Structure, AllocateInternalDataAreaRoundsAndOffsets) {
  TTestTree tree;
  EXPECT_EQ(tree.AllocateInternalDataArea(5), kNodeHeaderSize);
  EXPECT_EQ(tree.AllocateInternalDataArea(4), kNodeHeaderSize + 8);
  EXPECT_EQ(tree.TotalInternalDataSize(), 12u);
  tree.SetNodeDataSize(4);
  PVirtualNode node = tree.AddChild(nullptr);
  EXPECT_EQ(static_cast<char*>(tree.GetNodeData(node)) - reinterpret_cast<char*>(node), int(kNodeHeaderSize + 12));
  EXPECT_THROW(tree.AllocateInternalDataArea(4), EAssertionFailed);
}

TEST(Structure, FullExpandCreatesEverythingItReaches) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.onInit = [&](PVirtualNode node, TVirtualNodeInitStates& s) {
    if (tree.GetNodeLevel(node) < 2) s.Include(ivsHasChildren);
  };
  tree.onInitChildren = [](PVirtualNode, uint32_t& count) { count = 2; };
  tree.SetRootNodeCount(2);
  tree.FullExpand();
  EXPECT_EQ(tree.RootNode()->TotalCount, 1u + 2 + 4 + 8);
  EXPECT_EQ(tree.VisibleCount(), 14u);
  // The collapse walks back from the last row shown: a collapsed last branch keeps its insides.
  tree.ToggleNode(tree.RootNode()->LastChild);
  tree.FullCollapse();
  EXPECT_EQ(tree.VisibleCount(), 2u);
  EXPECT_TRUE(tree.RootNode()->LastChild->LastChild->States & vsExpanded);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Structure, CountLevelDifferenceAndLevels) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode parent = tree.AddChild(nullptr);
  PVirtualNode child = tree.AddChild(parent);
  EXPECT_EQ(tree.CountLevelDifference(child, parent), -1);
  EXPECT_EQ(tree.GetNodeLevel(child), 1u);
  EXPECT_TRUE(tree.HasAsParent(child, parent));
  EXPECT_TRUE(tree.HasAsParent(child, tree.RootNode()));
  EXPECT_FALSE(tree.HasAsParent(parent, child));
  EXPECT_FALSE(tree.HasAsParent(child, child));
}

// The shown ancestor: the nearest expanded, fully visible ancestor; past a
// collapsed node the climb goes on above it; a hidden expanded chain leads to
// the root. The visible neighbours of a node not shown stay around its place.
TEST(Structure, ShownAncestorAndNeighboursOfNodesNotShown) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode a = tree.AddChild(nullptr);
  PVirtualNode x = tree.AddChild(a);
  PVirtualNode b = tree.AddChild(a);
  PVirtualNode c = tree.AddChild(b);
  PVirtualNode d = tree.AddChild(c);
  PVirtualNode y = tree.AddChild(a);
  tree.SetExpanded(a, true);
  tree.SetExpanded(c, true);  // expanded below the collapsed b
  EXPECT_EQ(tree.GetShownAncestor(c), a);
  EXPECT_EQ(tree.GetShownAncestor(d), a) << "c is expanded but not shown";
  EXPECT_EQ(tree.GetShownAncestor(x), a);
  EXPECT_EQ(tree.GetShownAncestor(a), tree.RootNode());
  EXPECT_EQ(tree.GetNextVisible(d), y);
  EXPECT_EQ(tree.GetPreviousVisible(d), b);
  tree.SetExpanded(b, true);
  tree.SetIsVisible(b, false);  // an expanded chain that is hidden
  EXPECT_EQ(tree.GetShownAncestor(d), tree.RootNode());
  EXPECT_EQ(tree.GetNextVisible(d), y);
  EXPECT_EQ(tree.GetPreviousVisible(d), x);
}

TEST(Structure, UpdateBracketsNestAndReportOnce) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  static std::vector<TVTUpdateState> seen;
  static int structureEvents = 0;
  seen.clear();
  structureEvents = 0;
  tree.OnUpdating = [](TBaseVirtualTree*, TVTUpdateState s) { seen.push_back(s); };
  tree.OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { ++structureEvents; };
  for (int i = 0; i < 3; ++i) tree.BeginUpdate();
  tree.AddChild(nullptr);
  tree.AddChild(nullptr);
  for (int i = 0; i < 3; ++i) tree.EndUpdate();
  EXPECT_EQ(seen, (std::vector<TVTUpdateState>{usBegin, usUpdate, usUpdate, usUpdate, usUpdate, usEnd}));
  EXPECT_EQ(structureEvents, 1);
  tree.EndUpdate();
  EXPECT_EQ(tree.UpdateCount(), 0u);
  EXPECT_EQ(seen.back(), usEnd);
}

TEST(Structure, StateChangeFiresOnlyForRealChanges) {
  TTestTree tree;
  static int events = 0;
  events = 0;
  tree.OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates, TVirtualTreeStates) { ++events; };
  tree.DoStateChange({tsHint});
  tree.DoStateChange({tsHint});
  EXPECT_EQ(events, 1);
  tree.DoStateChange({tsHint}, {tsHint});
  EXPECT_FALSE(tree.TreeStates().Contains(tsHint));
}

TEST(Structure, VariableHeightsAreCountedOnce) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Include(toVariableNodeHeight);
  tree.SetOptions(values);
  static int measured = 0;
  measured = 0;
  tree.OnMeasureItem = [](TBaseVirtualTree*, TCanvas*, PVirtualNode node, int& height) {
    ++measured;
    height = 10 + static_cast<int>(node->Index % 7);
  };
  PVirtualNode parent = tree.AddChild(nullptr);
  tree.SetExpanded(parent, true);
  tree.SetChildCount(parent, 50);
  tree.SetExpanded(parent, true);
  tree.SetChildCount(nullptr, 30);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  uint64_t sum = 0;
  for (PVirtualNode node : ShownNodes(tree)) sum += node->NodeHeight;
  EXPECT_EQ(tree.RootNode()->TotalHeight - tree.RootNode()->NodeHeight, sum);
  EXPECT_GE(measured, 79);
  tree.ValidateCache();
  int top = 0;
  int64_t expectedTop = 0;
  for (int y = 0; y < static_cast<int>(sum); y += 7)
    ASSERT_EQ(tree.GetNodeAt(0, y, false, top), LinearNodeAt(tree, y, expectedTop));
}
