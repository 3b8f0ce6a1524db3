// A change handler that frees the whole tree (a view closed when its
// selection changes, or when nodes come or go): reported at the end of an
// update or after the change delay, the tree is touched no more. Under Wine's heap checking a touch of
// the freed tree faults.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tree/VirtualTrees.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

TVirtualStringTree* gDoomedTree = nullptr;

// A shown form holding gDoomedTree with three root nodes.
TForm* ShowDoomedTree(bool autoSort) {
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 360, 260);
  gDoomedTree = New<TVirtualStringTree>(form);
  gDoomedTree->SetParent(form);
  gDoomedTree->SetBounds(0, 0, 300, 200);
  gDoomedTree->SetNodeDataSize(0);
  gDoomedTree->SetRootNodeCount(3);
  if (autoSort) gDoomedTree->TreeOptions()->SetAutoOptions(gDoomedTree->TreeOptions()->AutoOptions().Include(toAutoSort));
  form->Show();
  return form;
}

// What the handlers do; also the end of a case whose handler never ran.
void FreeDoomedTree() {
  if (gDoomedTree != nullptr) std::exchange(gDoomedTree, nullptr)->Free();
}

}  // namespace

TEST(FreedTree, AChangeHandlerThatFreesTheTreeLeavesItUntouched) {
  Application->Initialize();
  for (bool delayed : {false, true}) {
    SCOPED_TRACE(delayed ? "after the change delay" : "at the end of an update");
    TForm* form = ShowDoomedTree(/*autoSort=*/true);
    PVirtualNode first = gDoomedTree->GetFirst();
    ASSERT_NE(first, nullptr);
    HWND window = gDoomedTree->Handle();
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    if (delayed) {
      gDoomedTree->SetChangeDelay(20);
      gDoomedTree->AddToSelection(first);
      qvtest::PumpUntil([] { return gDoomedTree == nullptr; }, 3000);
    } else {
      TVirtualStringTree* tree = gDoomedTree;
      tree->BeginUpdate();
      tree->AddToSelection(first);
      tree->EndUpdate();
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

// Selecting a node reports the change at once: a handler that frees the tree
// there (after the old selection was cleared, or after the node was added)
// ends the selection with the tree, and the nodes it held are not read again.
TEST(FreedTree, AChangeHandlerThatFreesTheTreeWhileANodeIsSelected) {
  Application->Initialize();
  for (bool clearFirst : {false, true}) {
    SCOPED_TRACE(clearFirst ? "the old selection cleared" : "the node added");
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    PVirtualNode first = gDoomedTree->GetFirst();
    PVirtualNode second = gDoomedTree->GetNext(first);
    ASSERT_NE(second, nullptr);
    if (clearFirst) gDoomedTree->SetSelected(first, true);
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    gDoomedTree->SetSelected(second, true);
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    FreeDoomedTree();
    form->Free();
  }
}

// A click or a key that moves the selection reports the change at once: a
// handler that frees the tree there ends the click or the key with it.
TEST(FreedTree, AChangeHandlerThatFreesTheTreeOnAClickOrAKey) {
  Application->Initialize();
  for (bool key : {false, true}) {
    SCOPED_TRACE(key ? "the Down key" : "a click");
    TForm* form = ShowDoomedTree(/*autoSort=*/false);
    PVirtualNode first = gDoomedTree->GetFirst();
    PVirtualNode second = gDoomedTree->GetNext(first);
    ASSERT_NE(second, nullptr);
    gDoomedTree->SetFocusedNode(first);
    gDoomedTree->SetSelected(first, true);
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
    HWND window = gDoomedTree->Handle();
    if (key) {
      SendMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
    } else {
      TRect r = gDoomedTree->GetDisplayRect(second, NoColumn, true);
      LPARAM at = MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
      SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
      if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, at);
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

TEST(FreedTree, AStructureChangeHandlerThatFreesTheTreeLeavesItUntouched) {
  Application->Initialize();
  for (bool delayed : {false, true}) {
    SCOPED_TRACE(delayed ? "after the change delay" : "at the end of an update");
    TForm* form = ShowDoomedTree(/*autoSort=*/true);
    HWND window = gDoomedTree->Handle();
    gDoomedTree->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode, TChangeReason) { FreeDoomedTree(); };
    if (delayed) {
      gDoomedTree->SetChangeDelay(20);
      gDoomedTree->SetRootNodeCount(4);
      qvtest::PumpUntil([] { return gDoomedTree == nullptr; }, 3000);
    } else {
      TVirtualStringTree* tree = gDoomedTree;
      tree->BeginUpdate();
      tree->SetRootNodeCount(4);
      tree->EndUpdate();
    }
    EXPECT_EQ(gDoomedTree, nullptr) << "the structure change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedTree();
    form->Free();
  }
}

namespace {

// A source tree beside gDoomedTree on form: a folder of three children whose
// saved data is one number each.
TVirtualStringTree* ShowSourceTree(TForm* form) {
  auto* source = New<TVirtualStringTree>(form);
  source->SetParent(form);
  source->SetBounds(0, 200, 300, 60);
  source->SetNodeDataSize(0);
  source->SetClipboardFormats({"Virtual Tree Data"});
  source->OnSaveNode = [](TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
    int32_t index = int32_t(node->Index);
    stream->WriteBuffer(&index, sizeof(index));
  };
  source->SetRootNodeCount(1);
  source->SetChildCount(source->GetFirst(), 3);
  return source;
}

enum class TTransfer { MoveOne, MoveChildren, CopyChildren, CutAndPaste };

const char* TransferName(TTransfer kind) {
  switch (kind) {
    case TTransfer::MoveOne: return "MoveTo of one node";
    case TTransfer::MoveChildren: return "MoveTo of the children";
    case TTransfer::CopyChildren: return "CopyTo of the children";
    case TTransfer::CutAndPaste: return "cut and paste of the children";
  }
  return "";
}

}  // namespace

// A handler of the target tree that frees it while nodes arrive from another
// tree (when a node is reported moved or copied): the transfer stops with the
// target untouched, and the source keeps every node.
TEST(FreedTree, ATargetHandlerThatFreesTheTargetDuringATransferFromAnotherTree) {
  Application->Initialize();
  for (bool onLoad : {false}) {
    for (TTransfer kind : {TTransfer::MoveOne, TTransfer::MoveChildren, TTransfer::CopyChildren, TTransfer::CutAndPaste}) {
      SCOPED_TRACE(std::string(onLoad ? "OnLoadNode, " : "OnNodeMoved/OnNodeCopied, ") + TransferName(kind));
      TForm* form = ShowDoomedTree(/*autoSort=*/false);
      TVirtualStringTree* source = ShowSourceTree(form);
      PVirtualNode folder = source->GetFirst();
      PVirtualNode place = gDoomedTree->GetFirst();
      HWND window = gDoomedTree->Handle();
      if (onLoad) {
        gDoomedTree->OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream*) { FreeDoomedTree(); };
      } else {
        gDoomedTree->OnNodeMoved = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
        gDoomedTree->OnNodeCopied = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedTree(); };
      }
      switch (kind) {
        case TTransfer::MoveOne:
          source->MoveTo(folder->FirstChild, place, amAddChildLast, /*childrenOnly=*/false);
          break;
        case TTransfer::MoveChildren:
          source->MoveTo(folder, place, amAddChildLast, /*childrenOnly=*/true);
          break;
        case TTransfer::CopyChildren:
          EXPECT_EQ(source->CopyTo(folder, place, amAddChildLast, /*childrenOnly=*/true), nullptr);
          break;
        case TTransfer::CutAndPaste: {
          std::vector<PVirtualNode> children{folder->FirstChild, folder->FirstChild->NextSibling,
                                             folder->LastChild};
          source->AddToSelection(children, /*forceInsert=*/false);
          source->CutToClipBoard();
          gDoomedTree->SetClipboardFormats({"Virtual Tree Data"});
          gDoomedTree->SetFocusedNode(place);
          EXPECT_FALSE(gDoomedTree->PasteFromClipboard());
          break;
        }
      }
      EXPECT_EQ(gDoomedTree, nullptr) << "the handler ran";
      EXPECT_FALSE(IsWindow(window));
      EXPECT_EQ(folder->ChildCount, 3u) << "the source keeps what did not arrive";
      EXPECT_EQ(source->RootNode()->TotalCount, 5u);
      FreeDoomedTree();
      form->Free();
    }
  }
}
