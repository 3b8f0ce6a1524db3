// Handlers of a tree that reads its folders again (a folder merged with the
// disk, the whole tree rebuilt) free the form, the folder being read or any
// other node: what they freed is touched no more. Run under Wine's heap
// checking, a read of freed memory faults here.
#include <algorithm>
#include <random>
#include <set>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ShellUtilities.h"
#include "win/Forms.h"

using namespace explorertest;

namespace {

TForm* gDoomedForm = nullptr;
TVirtualExplorerTreeview* gDoomedTree = nullptr;

void FreeDoomedForm() {
  gDoomedTree = nullptr;
  if (gDoomedForm != nullptr) std::exchange(gDoomedForm, nullptr)->Free();
}

struct ExplorerRefreshFaults : ExplorerFixture {
  void TearDown() override {
    FreeDoomedForm();
    ExplorerFixture::TearDown();
  }
  // A form of its own with a tree rooted at folder, opened, that a handler may free.
  PVirtualNode MakeDoomedTree() {
    gDoomedForm = New<TForm>(Application);
    gDoomedForm->SetBounds(440, 10, 420, 520);
    gDoomedTree = New<TVirtualExplorerTreeview>(gDoomedForm);
    gDoomedTree->SetParent(gDoomedForm);
    gDoomedTree->SetBounds(4, 4, 400, 480);
    gDoomedTree->SetFileObjects({foFolders, foNonFolders});
    gDoomedTree->SetRootFolderCustomPath(folder);
    gDoomedTree->SetActive(true);
    gDoomedForm->Show();
    PVirtualNode root = gDoomedTree->GetFirst();
    if (root != nullptr) gDoomedTree->SetExpanded(root, true);
    return root;
  }
  static PVirtualNode ChildNamed(TCustomVirtualExplorerTree* t, PVirtualNode parent, const std::u16string& name) {
    for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling)
      if (TNamespace* ns = t->NodeNamespace(child); ns != nullptr && ns->NameInFolder() == name) return child;
    return nullptr;
  }
  static std::vector<std::u16string> ChildNames(TCustomVirtualExplorerTree* t, PVirtualNode parent) {
    std::vector<std::u16string> names;
    for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling)
      if (TNamespace* ns = t->NodeNamespace(child)) names.push_back(ns->NameInFolder());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

// The focused item went: the focus moves on and the change is reported; the
// program's change handler frees the form (and the tree) there.
TEST_F(ExplorerRefreshFaults, AChangeHandlerThatFreesTheFormWhenTheFocusedItemGoesLeavesNothingTouched) {
  for (const char16_t* name : {u"a.txt", u"b.txt", u"c.txt"}) MakeFile(folder + u"\\" + name);
  for (bool sort : {false, true}) {
    SCOPED_TRACE(sort ? "sorted" : "unsorted");
    if (GetFileAttributesW(W(folder + u"\\b.txt")) == INVALID_FILE_ATTRIBUTES) MakeFile(folder + u"\\b.txt");
    PVirtualNode root = MakeDoomedTree();
    ASSERT_NE(root, nullptr);
    PVirtualNode b = ChildNamed(gDoomedTree, root, u"b.txt");
    ASSERT_NE(b, nullptr);
    SelectOnly(gDoomedTree, b);
    ASSERT_TRUE(DeleteFileW(W(folder + u"\\b.txt")));
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedForm(); };
    HWND window = gDoomedTree->Handle();
    gDoomedTree->ReReadAndRefreshNode(root, sort);
    EXPECT_EQ(gDoomedForm, nullptr) << "the change was reported";
    EXPECT_FALSE(IsWindow(window));
    FreeDoomedForm();
  }
}

// The folder itself went: its neighbour takes the selection, which is reported.
TEST_F(ExplorerRefreshFaults, AChangeHandlerThatFreesTheFormWhenTheFolderGoesLeavesNothingTouched) {
  MakeFolder(folder + u"\\gone");
  MakeFolder(folder + u"\\kept");
  MakeFile(folder + u"\\gone\\a.txt");
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "change handler" : "structure change handler");
    if (GetFileAttributesW(W(folder + u"\\gone")) == INVALID_FILE_ATTRIBUTES) {
      MakeFolder(folder + u"\\gone");
      MakeFile(folder + u"\\gone\\a.txt");
    }
    PVirtualNode root = MakeDoomedTree();
    ASSERT_NE(root, nullptr);
    PVirtualNode gone = ChildNamed(gDoomedTree, root, u"gone");
    ASSERT_NE(gone, nullptr);
    gDoomedTree->SetExpanded(gone, true);
    SelectOnly(gDoomedTree, gone);
    RemoveTree(folder + u"\\gone");
    if (way == 0) {
      gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedForm(); };
    } else {
      gDoomedTree->OnNamespaceStructureChange = [](TCustomVirtualExplorerTree*, PVirtualNode, TNamespace*,
                                                   TNamespaceStructureChange) { FreeDoomedForm(); };
    }
    gDoomedTree->ReReadAndRefreshNode(gone, false);
    EXPECT_EQ(gDoomedForm, nullptr) << "the handler ran";
    FreeDoomedForm();
  }
}

// F5: the whole tree is saved and built again; the selection it restores is
// reported, and the handler frees the form.
TEST_F(ExplorerRefreshFaults, AChangeHandlerThatFreesTheFormDuringARefreshLeavesNothingTouched) {
  for (const char16_t* name : {u"a.txt", u"b.txt"}) MakeFile(folder + u"\\" + name);
  PVirtualNode root = MakeDoomedTree();
  ASSERT_NE(root, nullptr);
  PVirtualNode b = ChildNamed(gDoomedTree, root, u"b.txt");
  ASSERT_NE(b, nullptr);
  SelectOnly(gDoomedTree, b);
  gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedForm(); };
  HWND window = gDoomedTree->Handle();
  gDoomedTree->RefreshTree(false);
  EXPECT_EQ(gDoomedForm, nullptr) << "the restored selection was reported";
  EXPECT_FALSE(IsWindow(window));
}

namespace {
PVirtualNode gFolderToDelete = nullptr;
}  // namespace

// The focused item of a folder went: passing the focus on is reported, and
// the handler deletes the folder being read again, with every child the
// merge had still to look at. The merge ends there; the tree goes on whole.
TEST_F(ExplorerRefreshFaults, AFocusHandlerThatDeletesTheFolderBeingReadAgainEndsTheMerge) {
  MakeFolder(folder + u"\\f");
  for (const char16_t* name : {u"a.txt", u"b.txt", u"c.txt", u"d.txt"}) MakeFile(folder + u"\\f\\" + name);
  PVirtualNode root = MakeDoomedTree();
  ASSERT_NE(root, nullptr);
  gFolderToDelete = ChildNamed(gDoomedTree, root, u"f");
  ASSERT_NE(gFolderToDelete, nullptr);
  gDoomedTree->SetExpanded(gFolderToDelete, true);
  PVirtualNode b = ChildNamed(gDoomedTree, gFolderToDelete, u"b.txt");
  ASSERT_NE(b, nullptr);
  SelectOnly(gDoomedTree, b);
  ASSERT_TRUE(DeleteFileW(W(folder + u"\\f\\b.txt")));
  ASSERT_TRUE(DeleteFileW(W(folder + u"\\f\\c.txt")));
  MakeFile(folder + u"\\f\\e.txt");
  gDoomedTree->OnFocusChanged = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex) {
    if (gFolderToDelete != nullptr) gDoomedTree->DeleteNode(std::exchange(gFolderToDelete, nullptr));
  };
  gDoomedTree->ReReadAndRefreshNode(gFolderToDelete, true);
  EXPECT_EQ(gFolderToDelete, nullptr) << "the handler ran";
  EXPECT_EQ(ChildNamed(gDoomedTree, root, u"f"), nullptr);
  gDoomedTree->OnFocusChanged = {};
  // What is left still answers: the root folder read again shows the folder anew.
  gDoomedTree->ReReadAndRefreshNode(root, true);
  EXPECT_NE(ChildNamed(gDoomedTree, root, u"f"), nullptr);
}

namespace {

// What the handlers of the random test do when they are called.
enum class TRaid { Nothing, FreeFolder, FreeToldNode, FreeOtherChild, FreeForm };

TRaid gRaid = TRaid::Nothing;
int gRaidAfterCalls = 0;  // the raid happens at this call of a handler
int gHandlerCalls = 0;
PVirtualNode gRaidFolder = nullptr;
bool gRaided = false;

void Raid(PVirtualNode told) {
  if (gRaided || gDoomedTree == nullptr || gHandlerCalls++ != gRaidAfterCalls) return;
  gRaided = true;
  switch (gRaid) {
    case TRaid::Nothing: break;
    case TRaid::FreeFolder: gDoomedTree->DeleteNode(gRaidFolder); break;
    case TRaid::FreeToldNode:
      if (told != nullptr && told != gRaidFolder && told->Parent == gRaidFolder) gDoomedTree->DeleteNode(told);
      break;
    case TRaid::FreeOtherChild:
      for (PVirtualNode child = gRaidFolder->FirstChild; child != nullptr; child = child->NextSibling) {
        if (child == told) continue;
        gDoomedTree->DeleteNode(child);
        break;
      }
      break;
    case TRaid::FreeForm: FreeDoomedForm(); break;
  }
}

}  // namespace

// Random changes on disk merged into an opened folder while the tree's
// handlers free the folder, the node they are told about, another child or
// the whole form at a random call. What stays is whole: every child is there
// once and stands for an item that exists; without a raid the folder shows
// exactly what the disk holds.
TEST_F(ExplorerRefreshFaults, RandomHandlersThatFreeNodesWhileAFolderIsMergedLeaveAWholeTree) {
  std::mt19937 random(20261208);
  const int rounds = std::getenv("QV_LONG") != nullptr ? 400 : 40;
  MakeFolder(folder + u"\\f");
  std::set<std::u16string> onDisk;
  // Each of eight names, one time in oneIn, comes when it is not on the disk and goes when it is.
  auto changeDisk = [&](unsigned oneIn) {
    for (int i = 0; i < 8; ++i) {
      std::u16string name = u"n" + std::u16string(1, char16_t(u'0' + i)) + u".txt";
      if (random() % oneIn != 0) continue;
      if (onDisk.erase(name) != 0) {
        DeleteFileW(W(folder + u"\\f\\" + name));
        continue;
      }
      onDisk.insert(name);
      MakeFile(folder + u"\\f\\" + name);
    }
  };
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    changeDisk(3);  // up to eight names, some of them come and go
    PVirtualNode root = MakeDoomedTree();
    ASSERT_NE(root, nullptr);
    gRaidFolder = ChildNamed(gDoomedTree, root, u"f");
    ASSERT_NE(gRaidFolder, nullptr);
    gDoomedTree->SetExpanded(gRaidFolder, true);
    changeDisk(2);  // the tree was built before this round's changes: now the disk moves on
    if (gRaidFolder->FirstChild != nullptr && random() % 2 == 0) {
      PVirtualNode focus = gRaidFolder->FirstChild;
      for (int skip = static_cast<int>(random() % 4); skip > 0 && focus->NextSibling != nullptr; --skip)
        focus = focus->NextSibling;
      SelectOnly(gDoomedTree, focus);
    }
    gRaid = static_cast<TRaid>(random() % 5);
    gRaidAfterCalls = static_cast<int>(random() % 4);
    gHandlerCalls = 0;
    gRaided = false;
    gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode node) { Raid(node); };
    gDoomedTree->OnFocusChanged = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex) { Raid(node); };
    gDoomedTree->OnNamespaceStructureChange = [](TCustomVirtualExplorerTree*, PVirtualNode node, TNamespace*,
                                                 TNamespaceStructureChange) { Raid(node); };
    gDoomedTree->OnEnumFolder = [](TCustomVirtualExplorerTree*, TNamespace*, bool&) { Raid(nullptr); };
    gDoomedTree->ReReadAndRefreshNode(gRaidFolder, random() % 2 == 0);
    if (gDoomedForm == nullptr) continue;  // the form went, and with it the tree
    PVirtualNode folderNode = ChildNamed(gDoomedTree, root, u"f");
    if (folderNode != nullptr) {
      std::vector<std::u16string> names = ChildNames(gDoomedTree, folderNode);
      EXPECT_TRUE(std::adjacent_find(names.begin(), names.end()) == names.end()) << "a child shows twice";
      for (const std::u16string& name : names) EXPECT_EQ(onDisk.count(name), 1u) << Narrow(name);
      if (!gRaided || gRaid == TRaid::Nothing)
        EXPECT_EQ(names, std::vector<std::u16string>(onDisk.begin(), onDisk.end()));
    }
    FreeDoomedForm();
  }
}

namespace {
int gEventsSeen = 0;
}  // namespace

// A batch of two folder updates reaches a tree whose handler frees its form:
// at the first event's report, or when the focused item of the first folder
// went. The second event is not applied to the freed tree, and the batch is
// still released.
TEST_F(ExplorerRefreshFaults, ATreeFreedByAHandlerWhileItAppliesABatchAppliesNoMore) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "shell event handler" : "change handler");
    std::u16string p = folder + u"\\p" + std::u16string(1, char16_t(u'0' + way));
    std::u16string q = folder + u"\\q" + std::u16string(1, char16_t(u'0' + way));
    MakeFolder(p);
    MakeFolder(q);
    MakeFile(p + u"\\a.txt");
    MakeFile(p + u"\\b.txt");
    PVirtualNode root = MakeDoomedTree();
    ASSERT_NE(root, nullptr);
    PVirtualNode pNode = ChildNamed(gDoomedTree, root, p.substr(folder.size() + 1));
    PVirtualNode qNode = ChildNamed(gDoomedTree, root, q.substr(folder.size() + 1));
    ASSERT_TRUE(pNode != nullptr && qNode != nullptr);
    gDoomedTree->SetExpanded(pNode, true);
    gDoomedTree->SetExpanded(qNode, true);
    PVirtualNode a = ChildNamed(gDoomedTree, pNode, u"a.txt");
    ASSERT_NE(a, nullptr);
    SelectOnly(gDoomedTree, a);
    gEventsSeen = 0;
    if (way == 0) {
      gDoomedTree->OnShellNotify = [](TCustomVirtualExplorerTree*, TVirtualShellEvent*) {
        ++gEventsSeen;
        FreeDoomedForm();
      };
    } else {
      gDoomedTree->OnShellNotify = [](TCustomVirtualExplorerTree*, TVirtualShellEvent*) { ++gEventsSeen; };
      gDoomedTree->OnChange = [](TBaseVirtualTree*, PVirtualNode) { FreeDoomedForm(); };
    }
    ASSERT_TRUE(DeleteFileW(W(p + u"\\a.txt")));
    MakeFile(q + u"\\c.txt");
    ReportChange(SHCNE_DELETE, p + u"\\a.txt");
    ReportChange(SHCNE_CREATE, q + u"\\c.txt");
    EXPECT_TRUE(PumpUntil([] { return gDoomedForm == nullptr; }, 5000)) << "the batch came";
    EXPECT_EQ(gEventsSeen, 1) << "the freed tree heard of no further event";
    Pump(300);
    EXPECT_EQ(ShellEventListsAlive(), 0);
    FreeDoomedForm();
  }
}
