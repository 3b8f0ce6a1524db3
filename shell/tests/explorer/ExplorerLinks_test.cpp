// Explorer trees linked by change links: selecting in one moves the other,
// and either one freed first leaves no link that could reach it.
#include "ExplorerTestSupport.h"
#include "shell/ShellUtilities.h"
#include "win/Forms.h"

using namespace explorertest;

namespace {

struct ExplorerLinks : ExplorerFixture {
  TVirtualExplorerTree* MakeTree() {
    auto* t = New<TVirtualExplorerTree>(form);
    t->SetParent(form);
    t->SetBounds(4, 4, 200, 200);
    t->SetFileObjects({foFolders, foNonFolders});
    t->SetRootFolderCustomPath(folder);
    t->SetActive(true);
    return t;
  }
  static std::u16string FocusedPath(TCustomVirtualExplorerTree* t) {
    TNamespace* ns = t->NodeNamespace(t->FocusedNode());
    return ns != nullptr ? ns->NameForParsing() : std::u16string();
  }
  static PVirtualNode Find(TCustomVirtualExplorerTree* t, const std::u16string& path) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    PVirtualNode node = pidl != nullptr ? t->FindNodeByPIDL(pidl) : nullptr;
    if (pidl != nullptr) NamespacePIDLManager->FreePIDL(pidl);
    return node;
  }
  // Selects and focuses the node of path as a click does.
  static void Select(TCustomVirtualExplorerTree* t, const std::u16string& path) {
    PVirtualNode node = Find(t, path);
    ASSERT_NE(node, nullptr) << Narrow(path);
    SelectOnly(t, node);
  }
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    MakeFolder(folder + u"\\one");
    MakeFolder(folder + u"\\one\\deep");
    MakeFolder(folder + u"\\two");
    MakeFile(folder + u"\\two\\file.txt");
    baseline = VETChangeDispatch->Count();
  }
  int baseline = 0;
};

TEST_F(ExplorerLinks, SelectingInOneTreeMovesTheOtherBothWays) {
  TVirtualExplorerTree* a = MakeTree();
  TVirtualExplorerTree* b = MakeTree();
  b->SetVirtualExplorerTree(a);
  a->SetVirtualExplorerTree(b);
  EXPECT_EQ(VETChangeDispatch->Count(), baseline + 2);

  Select(a, folder + u"\\one\\deep");
  EXPECT_EQ(FocusedPath(b), folder + u"\\one\\deep");
  EXPECT_TRUE(b->GetSelected(b->FocusedNode()));
  Select(b, folder + u"\\two\\file.txt");
  EXPECT_EQ(FocusedPath(a), folder + u"\\two\\file.txt");
  // The follower's own change went back to nobody: a kept what b told it.
  EXPECT_EQ(FocusedPath(b), folder + u"\\two\\file.txt");

  // Relinking to the same tree changes nothing; unlinking stops following.
  b->SetVirtualExplorerTree(a);
  EXPECT_EQ(VETChangeDispatch->Count(), baseline + 2);
  b->SetVirtualExplorerTree(nullptr);
  Select(a, folder + u"\\one");
  EXPECT_EQ(FocusedPath(b), folder + u"\\two\\file.txt");
  EXPECT_EQ(FocusedPath(a), folder + u"\\one");
  a->Free();
  b->Free();
  EXPECT_EQ(VETChangeDispatch->Count(), baseline);
}

TEST_F(ExplorerLinks, FreeingEitherTreeFirstLeavesNoLink) {
  for (int serverFirst = 0; serverFirst < 2; ++serverFirst) {
    TVirtualExplorerTree* server = MakeTree();
    TVirtualExplorerTree* client = MakeTree();
    client->SetVirtualExplorerTree(server);
    server->SetVirtualExplorerTree(client);
    TVirtualExplorerTree* gone = serverFirst ? server : client;
    TVirtualExplorerTree* kept = serverFirst ? client : server;
    gone->Free();
    EXPECT_EQ(kept->VirtualExplorerTree(), nullptr);
    EXPECT_EQ(VETChangeDispatch->Count(), baseline);
    // The survivor announces changes to nobody.
    Select(kept, folder + u"\\two");
    EXPECT_EQ(FocusedPath(kept), folder + u"\\two");
    kept->Free();
  }
}

TEST_F(ExplorerLinks, TheWizardTreeTellsAFollowerWhatItSelects) {
  TVirtualExplorerTree* follower = MakeTree();
  follower->SetVirtualExplorerTree(tree);
  Select(tree, folder + u"\\one\\deep");
  EXPECT_EQ(FocusedPath(follower), folder + u"\\one\\deep");
  // A path outside the follower's root leaves it where it was.
  Select(tree, TestDrive() + u"\\neighbour.txt");
  EXPECT_EQ(FocusedPath(follower), folder + u"\\one\\deep");
  tree->Free();
  tree = nullptr;
  EXPECT_EQ(follower->VirtualExplorerTree(), nullptr);
  follower->Free();
}

}  // namespace
