// Copies refused one by one and moves that fail half-way, in the normal build
// (freed records are reused at once there): a refused copy is asked about
// once and leaves nothing, whatever address the next copy gets; a cross-tree
// move whose reading raises leaves the target as it was and the source whole.
#include <gtest/gtest.h>

#include "TransferTree.h"
#include "core/Exception.h"
#include "win/testing/Harness.h"

namespace {

struct TTwoTrees {
  TForm* form = nullptr;
  TVirtualStringTree* source = nullptr;
  TVirtualStringTree* target = nullptr;
  TTwoTrees() {
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 420, 300);
    source = Make(0);
    target = Make(210);
    form->Show();
  }
  ~TTwoTrees() { form->Free(); }
  TVirtualStringTree* Make(int left) {
    auto* t = New<TVirtualStringTree>(form);
    t->SetParent(form);
    t->SetBounds(left, 0, 200, 260);
    transfer::SetUp(t);
    return t;
  }
  // A node of source with count children (ids 1..count).
  PVirtualNode Folder(int count) {
    PVirtualNode folder = source->AddChild(nullptr);
    transfer::Id(source, folder) = 1000;
    for (int i = 1; i <= count; ++i) {
      PVirtualNode child = source->AddChild(folder);
      transfer::Id(source, child) = i;
      source->InitNode(child);
    }
    return folder;
  }
};

int gAsked = 0;
int gLoads = 0;

}  // namespace

TEST(RefusedCopies, EveryCopyRefusedKeepsNoneAndAsksOncePerNode) {
  TTwoTrees trees;
  PVirtualNode folder = trees.Folder(10);
  gAsked = 0;
  for (TVirtualStringTree* t : {trees.source, trees.target})
    t->OnNodeCopying = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool& allowed) {
      ++gAsked;
      allowed = false;
    };
  // Into the other tree and into the same one.
  EXPECT_EQ(trees.source->CopyTo(folder, trees.target->RootNode(), amAddChildLast, /*childrenOnly=*/true), nullptr);
  EXPECT_EQ(gAsked, 10);
  EXPECT_EQ(trees.target->GetRootNodeCount(), 0u);
  PVirtualNode place = trees.source->AddChild(nullptr);
  gAsked = 0;
  trees.source->CopyTo(folder, place, amAddChildLast, /*childrenOnly=*/true);
  EXPECT_EQ(gAsked, 10);
  EXPECT_EQ(trees.source->GetChildCount(place), 0u);

  // Every other copy allowed: exactly those stay, in order.
  static int turn;
  turn = 0;
  trees.target->OnNodeCopying = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool& allowed) {
    ++gAsked;
    allowed = turn++ % 2 == 0;
  };
  gAsked = 0;
  trees.source->CopyTo(folder, trees.target->RootNode(), amAddChildLast, /*childrenOnly=*/true);
  EXPECT_EQ(gAsked, 10);
  ASSERT_EQ(trees.target->GetRootNodeCount(), 5u);
  int expected = 1;
  for (PVirtualNode run = trees.target->GetFirstNoInit(); run != nullptr; run = run->NextSibling, expected += 2)
    EXPECT_EQ(transfer::Id(trees.target, run), expected);
}

TEST(RefusedCopies, APasteWhoseCopiesAreAllRefusedInsertsNothing) {
  TTwoTrees trees;
  PVirtualNode folder = trees.Folder(10);
  std::vector<PVirtualNode> children;
  for (PVirtualNode run = folder->FirstChild; run != nullptr; run = run->NextSibling) children.push_back(run);
  trees.source->AddToSelection(children, /*forceInsert=*/false);
  trees.source->CopyToClipBoard();
  gAsked = 0;
  trees.target->OnNodeCopying = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool& allowed) {
    ++gAsked;
    allowed = false;
  };
  EXPECT_FALSE(trees.target->PasteFromClipboard());
  EXPECT_EQ(gAsked, 10);
  EXPECT_EQ(trees.target->GetRootNodeCount(), 0u);
}

TEST(RefusedCopies, ACrossTreeMoveWhoseReadingRaisesLeavesTheTargetAsItWas) {
  TTwoTrees trees;
  PVirtualNode folder = trees.Folder(5);
  PVirtualNode place = trees.target->AddChild(nullptr);
  gLoads = 0;
  trees.target->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(&transfer::Id(sender, node), sizeof(int32_t));
    if (++gLoads == 3) throw EStreamError("Stream read error");
  };
  EXPECT_THROW(trees.source->MoveTo(folder, place, amAddChildLast, /*childrenOnly=*/true), EStreamError);
  EXPECT_EQ(trees.target->GetChildCount(place), 0u);
  EXPECT_EQ(trees.target->RootNode()->TotalCount, 2u);
  EXPECT_EQ(trees.source->GetChildCount(folder), 5u);
  EXPECT_EQ(trees.source->RootNode()->TotalCount, 7u);
}

TEST(RefusedCopies, NothingIsMovedOrCopiedIntoANodeBeingFreed) {
  TTwoTrees trees;
  PVirtualNode folder = trees.Folder(3);
  static TVirtualStringTree* tree;
  static PVirtualNode outsider;
  tree = trees.source;
  outsider = trees.source->AddChild(nullptr);
  transfer::Id(tree, outsider) = 77;
  tree->InitNode(outsider);
  tree->OnFreeNode = [](TBaseVirtualTree*, PVirtualNode node) {
    if (transfer::Id(tree, node) != 1000) return;
    tree->MoveTo(outsider, node, amAddChildLast, false);
    tree->CopyTo(outsider, node, amAddChildLast, false);
    EXPECT_EQ(tree->AddChild(node), nullptr);
    tree->SetChildCount(node, 4);
  };
  tree->DeleteNode(folder);
  EXPECT_EQ(tree->GetRootNodeCount(), 1u);
  EXPECT_EQ(tree->GetFirstNoInit(), outsider);
  EXPECT_EQ(tree->RootNode()->TotalCount, 2u);
}
