// What the tree's check marks select, name for name: siblings whose names the
// plain file calls or the shell's comparisons take for one ("dir." and "dir",
// "bar " and "bar", "Data" and "data" on a case-sensitive folder), and the
// items of a folder renamed in the tree or by another program. Items are
// reached by walking the tree's nodes by their exact names: the shell's
// parsing of a path takes "dir." for "dir" and "data" for "Data".
#include <set>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ShellUtilities.h"

using namespace explorertest;

namespace {

std::u16string Extended(const std::u16string& path) { return u"\\\\?\\" + path; }

struct ExplorerSelection : ExplorerFixture {
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    form->Show();
  }
  // The node whose parsing name is path exactly, its folders expanded on the way.
  PVirtualNode Exact(const std::u16string& path) {
    PVirtualNode node = NodeOf(folder);
    size_t at = folder.size();
    while (node != nullptr && at < path.size()) {
      size_t next = path.find(u'\\', at + 1);
      std::u16string prefix = path.substr(0, next);
      tree->SetExpanded(node, true);
      PVirtualNode match = nullptr;
      for (PVirtualNode child = tree->GetFirstChild(node); child != nullptr; child = child->NextSibling) {
        TNamespace* ns = tree->NodeNamespace(child);
        if (ns != nullptr && ns->NameForParsing() == prefix) match = child;
      }
      node = match;
      at = next == std::u16string::npos ? path.size() : next;
    }
    return node;
  }
  void Tick(PVirtualNode node) {
    ASSERT_NE(node, nullptr);
    tree->SetCheckState(node, tree->DetermineNextCheckState(node->CheckType, node->CheckState));
  }
  std::set<std::u16string> TopmostSet() {
    std::vector<std::u16string> list = Topmost();
    return {list.begin(), list.end()};
  }
  // Moves a folder of case-variant siblings that run-explorer-tests.sh made
  // ("Data" with upper.txt, "data" with lower.txt and upper.txt) to to.
  bool TakeCasePair(const std::u16string& to) {
    static int taken = 0;
    std::u16string pool = TestDrive() + u"\\qvcasepool\\p" + std::u16string(1, char16_t(u'1' + taken++));
    return MoveFileW(W(pool), W(to)) != 0;
  }
};

}  // namespace

TEST_F(ExplorerSelection, CaseVariantSiblingsAreTwoItemsToTheStorage) {
  const std::u16string pair = folder + u"\\pair";
  if (!TakeCasePair(pair)) GTEST_SKIP() << "no case-variant siblings on the test drive";
  ASSERT_NE(GetFileAttributesW(W(Extended(pair + u"\\data\\lower.txt"))), INVALID_FILE_ATTRIBUTES);
  Tick(Exact(pair + u"\\Data"));
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{pair + u"\\Data"});
  ASSERT_NE(Exact(pair + u"\\data"), nullptr);
  EXPECT_EQ(Exact(pair + u"\\data")->CheckState, csUncheckedNormal);
  EXPECT_EQ(Exact(pair + u"\\data\\upper.txt")->CheckState, csUncheckedNormal);
  Tick(Exact(pair + u"\\data\\lower.txt"));
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{pair + u"\\Data", pair + u"\\data\\lower.txt"}));
  // Built again, each node takes its own record back.
  tree->SetActive(false);
  tree->SetActive(true);
  EXPECT_EQ(Exact(pair + u"\\Data")->CheckState, csCheckedNormal);
  EXPECT_EQ(Exact(pair + u"\\data")->CheckState, csMixedNormal);
  EXPECT_EQ(Exact(pair + u"\\data\\upper.txt")->CheckState, csUncheckedNormal);
  EXPECT_EQ(Exact(pair + u"\\data\\lower.txt")->CheckState, csCheckedNormal);
  // Unticking one leaves the other's mark.
  Tick(Exact(pair + u"\\Data"));
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{pair + u"\\data\\lower.txt"});
  Tick(Exact(pair + u"\\data"));
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{pair + u"\\data"});
  EXPECT_EQ(EveryItem(),
            (std::vector<std::u16string>{pair + u"\\data", pair + u"\\data\\lower.txt", pair + u"\\data\\upper.txt"}));
}

TEST_F(ExplorerSelection, NamesEndingInDotsOrSpacesAreListedByTheirExactNames) {
  MakeFolder(Extended(folder + u"\\dir."));
  MakeFile(Extended(folder + u"\\dir.\\gone.txt"));
  MakeFolder(folder + u"\\dir");
  MakeFile(folder + u"\\dir\\keep.txt");
  MakeFile(Extended(folder + u"\\bar "));
  MakeFile(folder + u"\\bar");
  MakeFolder(Extended(folder + u"\\d."));
  MakeFile(Extended(folder + u"\\d.\\x.txt"));
  MakeFolder(folder + u"\\d");
  MakeFile(folder + u"\\d\\x.txt");
  MakeFile(folder + u"\\d\\y.txt");
  // Alone: no sibling without the dot answers for it.
  MakeFolder(Extended(folder + u"\\solo."));
  MakeFile(Extended(folder + u"\\solo.\\in.txt"));
  for (const char16_t* name : {u"\\dir.", u"\\bar ", u"\\d.\\x.txt", u"\\solo."}) Tick(Exact(folder + name));
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{folder + u"\\dir.", folder + u"\\bar ", folder + u"\\d.\\x.txt",
                                                     folder + u"\\solo."}));
  for (const char16_t* name : {u"\\dir", u"\\bar", u"\\d\\x.txt"})
    EXPECT_EQ(Exact(folder + name)->CheckState, csUncheckedNormal) << Narrow(folder + name);
  PVirtualNode dirDot = Exact(folder + u"\\dir.");
  EXPECT_TRUE(tree->NodeNamespace(Exact(folder + u"\\solo."))->IsValid());
  // Gone from the disk, a ticked "dir." is not found again in "dir".
  ASSERT_TRUE(DeleteFileW(W(Extended(folder + u"\\dir.\\gone.txt"))));
  ASSERT_TRUE(RemoveDirectoryW(W(Extended(folder + u"\\dir."))));
  ASSERT_TRUE(DeleteFileW(W(Extended(folder + u"\\bar "))));
  tree->NodeNamespace(dirDot)->InvalidateCache();
  EXPECT_FALSE(tree->NodeNamespace(dirDot)->IsValid());
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{folder + u"\\d.\\x.txt", folder + u"\\solo."}));
}

TEST_F(ExplorerSelection, AFolderSwappedForALinkListsTheLinkAloneNotWhatItLeadsTo) {
  // Ticked and opened while a plain folder, then swapped by another program
  // for a folder holding a link of the same name to a folder elsewhere.
  const std::u16string box = folder + u"\\box";
  MakeFile(folder + u"\\keep.txt");
  MakeFolder(box);
  MakeFolder(box + u"\\to-outside");
  MakeFile(box + u"\\to-outside\\kept.txt");
  ASSERT_NE(Exact(box + u"\\to-outside\\kept.txt"), nullptr);
  Tick(Exact(box));
  ASSERT_EQ(EveryItem().size(), 3u);
  ASSERT_TRUE(MoveFileW(W(box), W(folder + u"\\box-old")));
  if (!MoveFileW(W(TestDrive() + u"\\qvlinkpool\\l1"), W(box))) GTEST_SKIP() << "no link on the test drive";
  ASSERT_NE(GetFileAttributesW(W(box + u"\\to-outside\\kept.txt")), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{box});
  // The link is listed as itself: what it leads to is never wiped, so never listed.
  EXPECT_EQ(EveryItem(), (std::vector<std::u16string>{box, box + u"\\to-outside"}));
}

TEST_F(ExplorerSelection, ChildrenOfAFolderRenamedInTheTreeFollowItsNewName) {
  MakeFolder(folder + u"\\a");
  MakeFolder(folder + u"\\a\\sub");
  MakeFile(folder + u"\\a\\one.txt");
  MakeFile(folder + u"\\a\\two.txt");
  MakeFile(folder + u"\\a\\sub\\three.txt");
  MakeFile(folder + u"\\keep.txt");
  PVirtualNode a = Exact(folder + u"\\a");
  PVirtualNode one = Exact(folder + u"\\a\\one.txt");
  PVirtualNode three = Exact(folder + u"\\a\\sub\\three.txt");
  ASSERT_NE(three, nullptr);
  Tick(a);
  tree->DoNewText(a, NoColumn, u"b");
  ASSERT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b"});
  // The nodes made before the rename now stand for the items under the new name.
  EXPECT_EQ(tree->NodeNamespace(three)->NameForParsing(), folder + u"\\b\\sub\\three.txt");
  Tick(one);
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{folder + u"\\b\\two.txt", folder + u"\\b\\sub"}));
  Tick(three);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b\\two.txt"});
  Tick(one);
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{folder + u"\\b\\one.txt", folder + u"\\b\\two.txt"}));
  // A second rename, one level down.
  tree->DoNewText(Exact(folder + u"\\b\\sub"), NoColumn, u"inner");
  Tick(three);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b"});
  Tick(three);
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{folder + u"\\b\\one.txt", folder + u"\\b\\two.txt"}));
}

TEST_F(ExplorerSelection, AFolderRenamedByAnotherProgramHoldsNoStaleItems) {
  MakeFolder(folder + u"\\a");
  MakeFolder(folder + u"\\a\\sub");
  MakeFile(folder + u"\\a\\one.txt");
  MakeFile(folder + u"\\a\\sub\\three.txt");
  MakeFile(folder + u"\\keep.txt");
  Tick(Exact(folder + u"\\a\\sub\\three.txt"));
  ASSERT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\a\\sub"});
  ASSERT_TRUE(RunInOtherProcess(u"move " + folder + u"\\a " + folder + u"\\b"));
  ReportChange(SHCNE_RENAMEFOLDER, folder + u"\\a", folder + u"\\b");
  ASSERT_TRUE(PumpUntil([&] { return Exact(folder + u"\\b") != nullptr; }, 5000));
  // An item under a new name is a new item: nothing of the old name is wiped or kept.
  EXPECT_EQ(Exact(folder + u"\\a"), nullptr);
  EXPECT_TRUE(Topmost().empty());
  Tick(Exact(folder + u"\\b\\sub\\three.txt"));
  Tick(Exact(folder + u"\\b\\one.txt"));
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b"});
  Tick(Exact(folder + u"\\b\\sub\\three.txt"));
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b\\one.txt"});
}

namespace {

// The checked paths and the ticks that are not there, as the wizard asks for them.
struct ExplorerChangedOnDisk : ExplorerSelection {
  std::vector<std::u16string> absent;
  std::vector<std::u16string> Listed(TCheckedNamesKind kind) {
    return Strings(tree->GetStorage()->GetCheckedFileNames(kind, &absent));
  }
  // The child of the node of parent (a path shorter than the shell's cut)
  // whose in-folder name is name exactly.
  PVirtualNode ChildByName(const std::u16string& parent, const std::u16string& name) {
    PVirtualNode node = NodeOf(parent);
    if (node == nullptr) return nullptr;
    tree->SetExpanded(node, true);
    for (PVirtualNode child = tree->GetFirstChild(node); child != nullptr; child = child->NextSibling) {
      TNamespace* ns = tree->NodeNamespace(child);
      if (ns != nullptr && ns->NameForParsingInFolder() == name) return child;
    }
    return nullptr;
  }
};

}  // namespace

TEST_F(ExplorerChangedOnDisk, ACaseTwinGoneUnseenIsNamedNotThereNeverFoundInItsTwin) {
  // Ticked "File.txt" and "Data" are deleted by another program while
  // "file.txt" and "data" stay; the tree is told nothing.
  const std::u16string files = folder + u"\\files";
  const std::u16string pair = folder + u"\\pair";
  if (!MoveFileW(W(TestDrive() + u"\\qvcasefiles\\f1"), W(files)) || !TakeCasePair(pair))
    GTEST_SKIP() << "no case-variant siblings on the test drive";
  Tick(Exact(files + u"\\File.txt"));
  Tick(Exact(pair + u"\\Data"));
  EXPECT_EQ(TopmostSet(), (std::set<std::u16string>{files + u"\\File.txt", pair + u"\\Data"}));
  ASSERT_TRUE(DeleteFileW(W(Extended(files + u"\\File.txt"))));
  RemoveTree(Extended(pair + u"\\Data"));
  ASSERT_NE(GetFileAttributesW(W(Extended(files + u"\\file.txt"))), INVALID_FILE_ATTRIBUTES);
  ASSERT_NE(GetFileAttributesW(W(Extended(pair + u"\\data"))), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{});
  EXPECT_EQ(Listed(cnkEveryItem), std::vector<std::u16string>{});
  EXPECT_EQ(std::set<std::u16string>(absent.begin(), absent.end()),
            (std::set<std::u16string>{files + u"\\File.txt", pair + u"\\Data"}));
  // The twins themselves stay unticked and unlisted.
  EXPECT_EQ(Exact(files + u"\\file.txt")->CheckState, csUncheckedNormal);
}

TEST_F(ExplorerChangedOnDisk, ALongTickedNameIsListedWholeNeverItsCutTwin) {
  // A parent of 141 characters, a ticked file of 126 (path 268) and an
  // unticked sibling named by its first 117 (path 259: the cut name).
  const std::u16string parent = folder + u"\\" + std::u16string(140 - folder.size(), u'p');
  const std::u16string name = std::u16string(117, u'n') + u"-ticked!!";
  MakeFolder(parent);
  MakeFile(Extended(parent + u"\\" + name));
  MakeFile(Extended(parent + u"\\" + name.substr(0, 117)));
  const std::u16string ticked = parent + u"\\" + name;
  ASSERT_EQ(ticked.size(), 268u);
  PVirtualNode node = ChildByName(parent, name);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(tree->NodeNamespace(node)->NameForParsing(), ticked);
  Tick(node);
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{ticked});
  EXPECT_EQ(Listed(cnkEveryItem), std::vector<std::u16string>{ticked});
  EXPECT_TRUE(absent.empty());
  // Deleted by another program: named as not there, never replaced by the sibling.
  ASSERT_TRUE(DeleteFileW(W(Extended(ticked))));
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{});
  EXPECT_EQ(absent, std::vector<std::u16string>{ticked});
}

TEST_F(ExplorerChangedOnDisk, AFileTurnedFolderUnseenIsNotListedUntilItIsAFileAgain) {
  const std::u16string x = folder + u"\\x";
  MakeFile(x);
  MakeFile(folder + u"\\keep.txt");
  Tick(Exact(x));
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{x});
  ASSERT_TRUE(DeleteFileW(W(x)));
  MakeFolder(x);
  MakeFile(x + u"\\inside.txt");
  // The tree still shows the ticked file; the folder now there was never ticked.
  EXPECT_EQ(Exact(x)->CheckState, csCheckedNormal);
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{});
  EXPECT_EQ(absent, std::vector<std::u16string>{x});
  RemoveTree(x);
  MakeFile(x);
  EXPECT_EQ(Listed(cnkTopmost), std::vector<std::u16string>{x});
  EXPECT_TRUE(absent.empty());
}
