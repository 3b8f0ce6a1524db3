// The tree view messages the tree answers, asked of the tree and of a system
// tree view holding the same items, and with handles and buffers that do not
// belong to the tree.
#include <gtest/gtest.h>
#include <commctrl.h>

#include <cstring>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

class TTextTree : public TVirtualDrawTree {
public:
  std::map<PVirtualNode, std::u16string> names;
  void GetTextInfo(PVirtualNode node, TColumnIndex column, TFont* font, TRect& r, std::u16string& text) override {
    text = names[node];
  }
};

struct TvmTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 500, 300);
    tree = New<TTextTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 240, 200);
    tree->SetNodeDataSize(0);
    form->Show();
    system = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 250, 0, 240, 200,
                             form->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(system, nullptr);
    // Three top-level items with two children each, the same in both.
    tree->SetRootNodeCount(3);
    int i = 0;
    for (PVirtualNode top = tree->GetFirst(); top != nullptr; top = tree->GetNextSibling(top), ++i) {
      std::string name(1, static_cast<char>('A' + i));
      HTREEITEM item = Insert(TVI_ROOT, name);
      Map(top, item, name);
      tree->SetChildCount(top, 2);
      int j = 0;
      for (PVirtualNode child = tree->GetFirstChild(top); child != nullptr; child = tree->GetNextSibling(child), ++j) {
        std::string childName = name + static_cast<char>('0' + j);
        Map(child, Insert(item, childName), childName);
      }
    }
  }
  void TearDown() override {
    DestroyWindow(system);
    form->Free();
  }
  HTREEITEM Insert(HTREEITEM parent, const std::string& text) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text.c_str());
    return reinterpret_cast<HTREEITEM>(SendMessageA(system, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  }
  void Map(PVirtualNode node, HTREEITEM item, const std::string& name) {
    toItem[node] = item;
    toNode[item] = node;
    tree->names[node] = std::u16string(name.begin(), name.end());
  }
  LRESULT Ask(HWND window, UINT msg, WPARAM w, LPARAM l) { return SendMessageA(window, msg, w, l); }
  // The tree's answer as the system item it stands for.
  HTREEITEM TreeNext(UINT code, PVirtualNode node) {
    auto result = reinterpret_cast<PVirtualNode>(Ask(tree->Handle(), TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(node)));
    return result == nullptr ? nullptr : toItem.at(result);
  }
  HTREEITEM SystemNext(UINT code, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(Ask(system, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  }

  TForm* form = nullptr;
  TTextTree* tree = nullptr;
  HWND system = nullptr;
  std::map<PVirtualNode, HTREEITEM> toItem;
  std::map<HTREEITEM, PVirtualNode> toNode;
};

}  // namespace

TEST_F(TvmTest, NavigationAgreesWithTheSystemTreeView) {
  PVirtualNode first = tree->GetFirst();
  tree->SetExpanded(first, true);
  Ask(system, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(toItem[first]));
  PVirtualNode caret = first->FirstChild->NextSibling;
  tree->SetFocusedNode(caret);
  tree->AddToSelection(caret);
  Ask(system, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(toItem[caret]));
  for (UINT code : {TVGN_ROOT, TVGN_FIRSTVISIBLE, TVGN_CARET, TVGN_LASTVISIBLE, TVGN_DROPHILITE})
    EXPECT_EQ(TreeNext(code, nullptr), SystemNext(code, nullptr)) << "code " << code;
  for (auto& [node, item] : toItem) {
    for (UINT code : {TVGN_NEXT, TVGN_PREVIOUS, TVGN_PARENT, TVGN_CHILD, TVGN_NEXTVISIBLE, TVGN_PREVIOUSVISIBLE}) {
      // The system tree view answers visible neighbours of shown items only.
      if ((code == TVGN_NEXTVISIBLE || code == TVGN_PREVIOUSVISIBLE) && !tree->IsFullyVisible(node)) continue;
      EXPECT_EQ(TreeNext(code, node), SystemNext(code, item)) << tree->names[node].size() << " code " << code;
    }
    TVITEMA ours{}, theirs{};
    char ourText[16] = {}, theirText[16] = {};
    for (TVITEMA* it : {&ours, &theirs}) it->mask = TVIF_HANDLE | TVIF_STATE | TVIF_TEXT | TVIF_CHILDREN;
    ours.hItem = reinterpret_cast<HTREEITEM>(node);
    theirs.hItem = item;
    ours.pszText = ourText;
    theirs.pszText = theirText;
    ours.cchTextMax = theirs.cchTextMax = sizeof ourText;
    ours.stateMask = theirs.stateMask = 0xFF;
    ASSERT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&ours)), 1);
    ASSERT_EQ(Ask(system, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&theirs)), 1);
    EXPECT_STREQ(ourText, theirText);
    EXPECT_EQ(ours.state & (TVIS_SELECTED | TVIS_EXPANDED), theirs.state & (TVIS_SELECTED | TVIS_EXPANDED)) << ourText;
    // The system view only reports whether there are children (it was told nothing).
    EXPECT_EQ(ours.cChildren, node->Parent == tree->RootNode() ? 2 : 0) << ourText;
  }
}

TEST_F(TvmTest, ItemRectangles) {
  PVirtualNode first = tree->GetFirst();
  RECT r{};
  *reinterpret_cast<PVirtualNode*>(&r) = first->FirstChild;
  // A node inside a collapsed parent is still marked visible; its rectangle is empty.
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)), 1);
  EXPECT_EQ(r.bottom - r.top, 0);
  PVirtualNode second = tree->GetNextSibling(first);
  *reinterpret_cast<PVirtualNode*>(&r) = second;
  ASSERT_EQ(Ask(tree->Handle(), TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)), 1);
  EXPECT_EQ(r.top, 18);
  EXPECT_EQ(r.bottom, 36);
  tree->SetIsVisible(second, false);
  *reinterpret_cast<PVirtualNode*>(&r) = second;
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)), 0);
}

TEST_F(TvmTest, HandlesAreKnownExactlyWhileTheirNodesAreInTheTree) {
  // Random adds, deletes, moves and clears between the questions: every
  // handle ever seen is answered exactly when its node is in the tree now.
  std::mt19937 random(3121);
  std::vector<PVirtualNode> seen = AllNodes(*tree);
  auto known = [&](PVirtualNode node) {
    TVITEMA item{};
    item.mask = TVIF_HANDLE | TVIF_STATE;
    item.hItem = reinterpret_cast<HTREEITEM>(node);
    return Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) == 1;
  };
  const int steps = std::getenv("QV_LONG") ? 3000 : 300;
  for (int step = 0; step < steps; ++step) {
    std::vector<PVirtualNode> now = AllNodes(*tree);
    PVirtualNode some = now.empty() ? nullptr : now[random() % now.size()];
    switch (random() % 6) {
      case 0:
      case 1:
        seen.push_back(tree->AddChild(some));
        break;
      case 2:
        if (some != nullptr) tree->DeleteNode(some);
        break;
      case 3: {
        PVirtualNode target = now.empty() ? nullptr : now[random() % now.size()];
        if (some != nullptr && target != nullptr && some != target && !tree->HasAsParent(target, some))
          tree->MoveTo(some, target, static_cast<TVTNodeAttachMode>(1 + random() % 4), false);
        break;
      }
      case 4:
        if (random() % 10 == 0) tree->Clear();
        break;
      case 5:
        if (some != nullptr) tree->SetChildCount(some, random() % 3);
        for (PVirtualNode node : AllNodes(*tree)) seen.push_back(node);
        break;
    }
    now = AllNodes(*tree);
    std::set<PVirtualNode> inTree(now.begin(), now.end());
    for (PVirtualNode node : seen) ASSERT_EQ(known(node), inTree.count(node) == 1) << "step " << step;
  }
}

TEST_F(TvmTest, ForeignHandlesAndBadBuffersAnswerZero) {
  int local = 0;
  TTextTree* other = New<TTextTree>(form);
  other->SetNodeDataSize(0);
  other->SetRootNodeCount(1);
  void* bad[] = {&local, reinterpret_cast<void*>(0x12345678), reinterpret_cast<void*>(1), other->GetFirst(),
                 tree->RootNode()};
  for (void* handle : bad) {
    RECT r{};
    *reinterpret_cast<void**>(&r) = handle;
    EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)), 0);
    EXPECT_EQ(Ask(tree->Handle(), TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(handle)), 0);
    TVITEMA item{};
    item.mask = TVIF_HANDLE | TVIF_STATE;
    item.hItem = static_cast<HTREEITEM>(handle);
    EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
  }
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMRECT, 0, 0), 0);
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, 0), 0);
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETNEXTITEM, 99, 0), 0);

  // Text never goes past the caller's buffer; a size of 0 or less is refused.
  char buffer[8];
  TVITEMA item{};
  item.mask = TVIF_HANDLE | TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(tree->GetFirst()->FirstChild);  // "A0"
  item.pszText = buffer;
  for (int size : {0, -5}) {
    std::memset(buffer, 'x', sizeof buffer);
    item.cchTextMax = size;
    EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    EXPECT_EQ(buffer[0], 'x');
  }
  std::memset(buffer, 'x', sizeof buffer);
  item.cchTextMax = 2;
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
  EXPECT_STREQ(buffer, "A");
  EXPECT_EQ(buffer[2], 'x');
  item.pszText = nullptr;
  item.cchTextMax = 8;
  EXPECT_EQ(Ask(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
}
