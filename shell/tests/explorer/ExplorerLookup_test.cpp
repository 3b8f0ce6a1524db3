// Finding the node of an item the shell reports among the nodes that exist,
// and F5 bringing a selection back, each checked against a plain reference
// on random cases: every loaded node compared whole with the PIDL, and the
// set of names that were selected.
#include <random>
#include <set>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ExactNames.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

using namespace explorertest;

namespace {

struct ExplorerLookup : ExplorerFixture {
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
    form->Show();
  }
  // The reference: the first loaded node that is the same item as pidl, compared whole.
  PVirtualNode Reference(LPCITEMIDLIST pidl) {
    for (PVirtualNode node = tree->GetFirstNoInit(); node != nullptr; node = tree->GetNextNoInit(node)) {
      TNamespace* ns = tree->NodeNamespace(node);
      if (ns != nullptr && exactnames::SameItem(ns->AbsolutePIDL(), pidl)) return node;
    }
    return nullptr;
  }
  std::u16string Name(PVirtualNode node) {
    TNamespace* ns = tree->NodeNamespace(node);
    return ns != nullptr ? ns->NameForParsing() : u"(none)";
  }
};

// The bare form of a path that SHChangeNotify may pass on: names without
// their data (a folder's ID then looks like a file's); the manager's copy.
LPITEMIDLIST BarePIDL(const std::u16string& path) {
  LPITEMIDLIST simple = SHSimpleIDListFromPath(W(path));
  if (simple == nullptr) return nullptr;
  LPITEMIDLIST copy = NamespacePIDLManager->CopyPIDL(simple);
  CoTaskMemFree(simple);
  return copy;
}

std::u16string Numbered(const char16_t* stem, int i) { return stem + vws::WideIntToStr(i) + u".txt"; }

}  // namespace

TEST_F(ExplorerLookup, AReportedItemFindsTheNodeAWholeComparisonFinds) {
  const std::u16string sub = folder + u"\\sub", inner = sub + u"\\inner", closed = folder + u"\\closed";
  MakeFolder(sub);
  MakeFolder(inner);
  MakeFolder(closed);
  for (int i = 0; i < 40; ++i) MakeFile(sub + u"\\" + Numbered(u"f", i), 10);
  for (int i = 0; i < 5; ++i) MakeFile(inner + u"\\" + Numbered(u"g", i), 10);
  MakeFile(closed + u"\\hidden.txt");
  MakeFile(sub + u"\\gone.txt");
  MakeFolder(sub + u"\\goneDir");
  // Case variants "Data" and "data", two items of one folder on this drive.
  bool casePair = MoveFileW(W(TestDrive() + u"\\qvcasepool\\p4"), W(folder + u"\\case")) != 0;
  ASSERT_NE(NodeOf(inner), nullptr);
  for (const std::u16string& path : {folder, sub, inner}) tree->SetExpanded(NodeOf(path), true);
  std::vector<LPITEMIDLIST> queries;
  if (casePair) {
    PVirtualNode caseNode = NodeOf(folder + u"\\case");
    ASSERT_NE(caseNode, nullptr);
    tree->SetExpanded(caseNode, true);
    // The nodes' own PIDLs: the shell's parsing would take "data" for "Data".
    for (PVirtualNode child = caseNode->FirstChild; child != nullptr; child = child->NextSibling) {
      tree->SetExpanded(child, true);
      queries.push_back(NamespacePIDLManager->CopyPIDL(tree->NodeNamespace(child)->AbsolutePIDL()));
      for (PVirtualNode item = child->FirstChild; item != nullptr; item = item->NextSibling)
        queries.push_back(NamespacePIDLManager->CopyPIDL(tree->NodeNamespace(item)->AbsolutePIDL()));
    }
  }
  // Parsed before a change: a file gone since and the item of a folder never opened.
  queries.push_back(PathToPIDL(sub + u"\\gone.txt"));
  if (LPITEMIDLIST bare = BarePIDL(sub + u"\\gone.txt")) queries.push_back(bare);
  queries.push_back(PathToPIDL(closed + u"\\hidden.txt"));
  // A folder gone since, also bare (its ID then looks like a file's).
  queries.push_back(PathToPIDL(sub + u"\\goneDir"));
  if (LPITEMIDLIST bare = BarePIDL(sub + u"\\goneDir")) queries.push_back(bare);
  DeleteFileW(W(sub + u"\\gone.txt"));
  RemoveDirectoryW(W(sub + u"\\goneDir"));
  // Files grown since they were listed: their fresh IDs differ from the nodes' in the bytes.
  std::mt19937 random(45);
  for (int i = 0; i < 40; i += 3) MakeFile(sub + u"\\" + Numbered(u"f", i), 100 + i);
  for (int round = 0; round < 60; ++round) {
    int pick = static_cast<int>(random() % 48);
    std::u16string path = pick < 40   ? sub + u"\\" + Numbered(u"f", pick)
                          : pick < 45 ? inner + u"\\" + Numbered(u"g", pick - 40)
                          : pick == 45 ? inner
                          : pick == 46 ? folder
                                       : sub + u"\\" + Numbered(u"missing", pick);
    if (LPITEMIDLIST pidl = PathToPIDL(path)) queries.push_back(pidl);
    // The bare form a path given to SHChangeNotify may arrive in (names without their data).
    if (round % 4 == 0)
      if (LPITEMIDLIST bare = BarePIDL(path)) queries.push_back(bare);
  }
  int found = 0;
  for (LPITEMIDLIST pidl : queries) {
    PVirtualNode expected = Reference(pidl);
    PVirtualNode node = tree->FindLoadedNodeByPIDL(pidl);
    EXPECT_EQ(node, expected) << Narrow(Name(node)) << " for " << Narrow(Name(expected));
    found += node != nullptr;
    NamespacePIDLManager->FreePIDL(pidl);
  }
  // Most queries name loaded items; those made before the changes name none.
  EXPECT_GT(found, 40);
  EXPECT_EQ(tree->FindLoadedNodeByPIDL(nullptr), nullptr);
}

TEST_F(ExplorerLookup, F5SelectsAgainEverySelectedSiblingAndNoOther) {
  for (int i = 0; i < 30; ++i) MakeFile(folder + u"\\" + Numbered(u"s", i), 10);
  for (int i = 0; i < 3; ++i) MakeFolder(folder + u"\\d" + vws::WideIntToStr(i));
  PVirtualNode node = NodeOf(folder);
  ASSERT_NE(node, nullptr);
  tree->SetExpanded(node, true);
  std::mt19937 random(123);
  int added = 0, gone = 0;
  for (int round = 0; round < 12; ++round) {
    node = NodeOf(folder);
    ASSERT_NE(node, nullptr);
    tree->ClearSelection();
    std::set<std::u16string> chosen;
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
      // All of them in one round, one in another, about half otherwise.
      bool take = round == 0 || (round == 1 ? child == node->LastChild : random() % 2 == 0);
      if (!take) continue;
      nodes.push_back(child);
      chosen.insert(Name(child));
    }
    ASSERT_FALSE(chosen.empty());
    // Forced: the sibling constraint's anchor may lie elsewhere.
    tree->AddToSelection(nodes, /*forceInsert=*/true);
    ASSERT_EQ(tree->SelectedCount(), nodes.size());
    // Between the selection and F5 items go, files come, and files grow
    // (their IDs then differ in the bytes): the items left come back.
    for (const std::u16string& name : chosen) {
      int pick = static_cast<int>(random() % 8);
      DWORD attributes = GetFileAttributesW(W(name));
      if (round < 2 || pick > 1 || attributes == INVALID_FILE_ATTRIBUTES) continue;
      if (pick == 0)
        gone += DeleteFileW(W(name)) || RemoveDirectoryW(W(name));
      else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        MakeFile(name, 100 + static_cast<uint32_t>(random() % 50));
    }
    for (int i = 0, n = static_cast<int>(random() % 3); i < n; ++i) MakeFile(folder + u"\\" + Numbered(u"n", added++));
    // The reference: the selected items that are still there.
    std::set<std::u16string> expected;
    for (const std::u16string& name : chosen)
      if (GetFileAttributesW(W(name)) != INVALID_FILE_ATTRIBUTES) expected.insert(name);
    // Some rounds the root change is refused: nothing is listed again, the
    // nodes of the items gone stay, and must not come back selected.
    bool kept = round % 4 == 3;
    if (kept)
      tree->OnRootChanging = [](TCustomVirtualExplorerTree*, TRootFolder, TNamespace*, TNamespace*, bool& allow) {
        allow = false;
      };
    ASSERT_TRUE(tree->RefreshTree(false));
    tree->OnRootChanging = {};
    std::set<std::u16string> selected;
    for (PVirtualNode n = tree->GetFirstSelected(); n != nullptr; n = tree->GetNextSelected(n)) selected.insert(Name(n));
    EXPECT_EQ(selected, expected) << "round " << round << (kept ? ", tree kept" : "");
  }
  EXPECT_GT(gone, 3);
}
