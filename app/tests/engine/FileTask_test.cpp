// The file task from check marks to wiped files on the mapped ext2 drive
// QV_TEST_WIZ_FILES: the confirm list of a checked folder, a checked file
// inside it and a checked file beside it (wide names, a link listed and not
// entered, each row once, totals), the topmost paths handed to the engine,
// and the run. The script then checks the kept files byte for byte and scans
// the image for every wiped name and marker.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "../shell/ExplorerTree.h"
#include "../shell/NodeStorage.h"
#include "../shell/ShellUtilities.h"
#include "../shell/VirtualWideStrings.h"
#include "EngineLinkFixture.h"
#include "FileConfirmList.h"
#include "FileListing.h"
#include "WideText.h"
#include "WizardPages.h"
#include "win/TextConvert.h"
#include "win/controls/Menus.h"

namespace {

struct TExpectedRow {
  bool folder;
  int64_t size;
};

bool Exists(const std::u16string& path) {
  return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

struct FileTaskTest : EngineLinkTest {
  void SetUp() override {
    EngineLinkTest::SetUp();
    InitializeShellToolkit();
    LinkFileTask();
    storage = New<TRootNodeStorage>();
  }
  void TearDown() override {
    WipeEngineOverride = nullptr;
    if (form != nullptr && *token) {
      form->FileTreeStorage = nullptr;
      form->FilesToWipeList = nullptr;
    }
    EngineLinkTest::TearDown();
    storage->Free();
  }
  // Marks path checked in the storage as the tree does.
  void Check(const std::u16string& path) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    ASSERT_NE(pidl, nullptr) << WideStringToString(path);
    TNodeStorage* record = storage->Store(pidl, {skCheckState});
    CoTaskMemFree(pidl);
    ASSERT_NE(record, nullptr);
    record->Storage.CheckState = csCheckedNormal;
    record->Storage.CheckType = ctTriStateCheckBox;
  }
  // Walks to the confirm page as the user does, with storage as the tree's.
  void ShowConfirmPage() {
    MakeForm();
    form->FileTreeStorage = storage;
    Click("WelcomeFileAndFoldersRadioButton");
    form->BottomNextClick();
    form->BottomNextClick();
    form->BottomNextClick();
  }
  std::vector<std::u16string> Rows() {
    std::vector<std::u16string> rows;
    for (const TShownRow& row : ShownRows(Find<TListView>("FileConfirmListView"))) rows.push_back(row.name);
    return rows;
  }
  TRootNodeStorage* storage = nullptr;
};

// The real file page: the tree built as the page shows, ticks by mouse clicks
// on the check boxes.
struct FileTreePageTest : FileTaskTest {
  // Shows the select page (which builds the tree) and returns the tree.
  TVirtualExplorerTreeview* ShowSelectPage() {
    MakeForm();
    Click("WelcomeFileAndFoldersRadioButton");
    form->BottomNextClick();
    EXPECT_EQ(ActivePageIndex(), wpFileSelect);
    tree = form->FileSelectTree();
    qvtest::Pump(50);
    return tree;
  }
  // The node of path with the folders above it expanded, scrolled into view.
  PVirtualNode Show(const std::u16string& path) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    if (pidl == nullptr) return nullptr;
    PVirtualNode node = tree->WalkPIDLToNode(pidl, /*select=*/false, /*expandPath=*/true, /*reinit=*/false,
                                             /*init=*/true);
    CoTaskMemFree(pidl);
    if (node == nullptr) return nullptr;
    tree->ScrollIntoView(node, /*center=*/true);
    qvtest::Pump(30);
    return node;
  }
  // The node whose parsing name is path exactly, walked to from the drive's
  // node by names (the shell's parsing takes "dir." for "dir" and "case" for
  // "Case"), scrolled into view.
  PVirtualNode ShowExact(const std::u16string& path) {
    PVirtualNode node = Show(path.substr(0, 3));
    for (size_t at = 3; node != nullptr && at < path.size();) {
      const size_t next = path.find(u'\\', at);
      tree->SetExpanded(node, true);
      PVirtualNode match = nullptr;
      for (PVirtualNode child = tree->GetFirstChild(node); child != nullptr; child = child->NextSibling)
        if (tree->NodeNamespace(child)->NameForParsing() == path.substr(0, next)) match = child;
      node = match;
      at = next == std::u16string::npos ? path.size() : next + 1;
    }
    if (node != nullptr) tree->ScrollIntoView(node, /*center=*/true);
    qvtest::Pump(30);
    return node;
  }
  // A click on the check box of path's node, found by hit-testing its row.
  bool ClickCheckBox(const std::u16string& path) { return ClickCheckBoxOf(Show(path)); }
  bool ClickCheckBoxOf(PVirtualNode node) {
    if (node == nullptr) return false;
    TRect row = tree->GetDisplayRect(node, NoColumn, false);
    const int y = (row.Top + row.Bottom) / 2;
    for (int x = 0; x < row.Right; ++x) {
      THitInfo hit;
      tree->GetHitTestInfoAt(x, y, /*relative=*/true, hit);
      if (hit.HitNode != node || !hit.HitPositions.Contains(hiOnItemCheckbox)) continue;
      const TCheckState before = node->CheckState;
      qvtest::Click(tree, x, y);
      return qvtest::PumpUntil([&] { return node->CheckState != before; }, 2000);
    }
    return false;
  }
  TCheckState StateOf(const std::u16string& path) {
    PVirtualNode node = Show(path);
    return node == nullptr ? csUncheckedNormal : node->CheckState;
  }
  std::u16string root;
  TVirtualExplorerTreeview* tree = nullptr;
};

TEST_F(FileTreePageTest, TicksByMouseListedConfirmedAndWiped) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  const std::u16string tick = root + u"qvtick\\";
  ShowSelectPage();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(form->FileTreeStorage, tree->GetStorage());
  EXPECT_FALSE(form->TreeNeedsBuild);
  // The whole folder, then one file inside it off again.
  ASSERT_TRUE(ClickCheckBox(root + u"qvtick"));
  ASSERT_TRUE(ClickCheckBox(tick + u"qvtsub\\qvkept-t3.txt"));
  EXPECT_EQ(StateOf(root + u"qvtick"), csMixedNormal);
  EXPECT_EQ(StateOf(tick + u"qvtsub"), csMixedNormal);
  EXPECT_EQ(StateOf(tick + u"qvgonefull"), csCheckedNormal);
  EXPECT_EQ(StateOf(tick + u"qvtsub\\qvkept-t3.txt"), csUncheckedNormal);
  Show(tick + u"qvtsub\\qvgone-t4.txt");
  qvtest::SaveScreenshot(form->Handle(), "file_task_select");

  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  const std::vector<std::u16string> rows = Rows();
  const std::set<std::u16string> listed(rows.begin(), rows.end());
  EXPECT_EQ(listed.size(), rows.size());
  EXPECT_EQ(listed, (std::set<std::u16string>{tick + u"qvgone-t1.txt", tick + u"qvgone-\u041a\u0438\u0440-t2.txt",
                                               tick + u"qvgonefull\\", tick + u"qvgonefull\\qvgone-f5.txt",
                                               tick + u"qvtsub\\qvgone-t4.txt"}));
  EXPECT_EQ(form->FilesCount, 4);
  EXPECT_EQ(form->FoldersCount, 1);
  EXPECT_EQ(form->TotalBytes, (6 + 4 + 3 + 9) * 1024);
  std::set<std::u16string> handed;
  for (int i = 0; i < form->FilesToWipeList->Count(); ++i) handed.insert(form->FilesToWipeList->Strings(i));
  EXPECT_EQ(handed, (std::set<std::u16string>{tick + u"qvgone-t1.txt", tick + u"qvgone-\u041a\u0438\u0440-t2.txt",
                                               tick + u"qvgonefull", tick + u"qvtsub\\qvgone-t4.txt"}));

  form->BottomNextClick();
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  EXPECT_EQ(LastLine("FileProgressLog"), "Files successfully wiped") << Joined("FileProgressLog");
  EXPECT_FALSE(Exists(tick + u"qvgone-t1.txt"));
  EXPECT_FALSE(Exists(tick + u"qvgonefull"));
  EXPECT_FALSE(Exists(tick + u"qvtsub\\qvgone-t4.txt"));
  EXPECT_TRUE(Exists(tick + u"qvtsub\\qvkept-t3.txt"));
  EXPECT_TRUE(form->TreeNeedsBuild);

  // Back on the select page the tree is built afresh, without a check.
  form->BottomBackClick();
  Click("WelcomeFileAndFoldersRadioButton");
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileSelect);
  EXPECT_FALSE(form->TreeNeedsBuild);
  EXPECT_EQ(tree->GetStorage()->GetCheckedFileNames(cnkEveryItem)->Count(), 0);
  EXPECT_EQ(StateOf(root + u"qvtick"), csUncheckedNormal);
}

// Twins that the plain file calls or the shell take for one ("dir." and
// "dir", "bar " and "bar", a file in "d." and its twin in "d", "Case" and
// "case"), one of each ticked by mouse through the real tree: the confirm
// list and the engine get exactly the ticked ones, which go; the twins stay
// (run-engine-link-tests.sh compares their bytes after the run).
TEST_F(FileTreePageTest, TickedTwinNamesAreWipedAndTheirTwinsKept) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  const std::u16string pairs = root + u"qvpairs\\";
  // Listed under its exact name: a lookup of "Case" finds "case" when "Case" is gone.
  auto exists = [](const std::u16string& path) {
    WIN32_FIND_DATAW data;
    const std::u16string folder = path.substr(0, path.find_last_of(u'\\'));
    HANDLE find = FindFirstFileW(reinterpret_cast<LPCWSTR>((u"\\\\?\\" + folder + u"\\*").c_str()), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do found = found || folder + u"\\" + reinterpret_cast<const char16_t*>(data.cFileName) == path;
    while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
  };
  ASSERT_TRUE(exists(pairs + u"case\\c.txt")) << "no case-variant siblings on the test drive";
  ShowSelectPage();
  ASSERT_NE(tree, nullptr);
  for (const char16_t* name : {u"dir.", u"bar ", u"d.\\x.txt", u"Case"})
    ASSERT_TRUE(ClickCheckBoxOf(ShowExact(pairs + name))) << WideStringToString(name);
  for (const char16_t* name : {u"dir", u"bar", u"d\\x.txt", u"case"})
    EXPECT_EQ(ShowExact(pairs + name)->CheckState, csUncheckedNormal) << WideStringToString(name);

  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  const std::vector<std::u16string> rows = Rows();
  EXPECT_EQ(std::set<std::u16string>(rows.begin(), rows.end()),
            (std::set<std::u16string>{pairs + u"dir.\\", pairs + u"dir.\\in-dot.txt", pairs + u"bar ",
                                      pairs + u"d.\\x.txt", pairs + u"Case\\", pairs + u"Case\\c.txt"}));
  EXPECT_EQ(rows.size(), 6u);
  std::set<std::u16string> handed;
  for (int i = 0; i < form->FilesToWipeList->Count(); ++i) handed.insert(form->FilesToWipeList->Strings(i));
  EXPECT_EQ(handed, (std::set<std::u16string>{pairs + u"dir.", pairs + u"bar ", pairs + u"d.\\x.txt", pairs + u"Case"}));

  form->BottomNextClick();
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  EXPECT_EQ(LastLine("FileProgressLog"), "Files successfully wiped") << Joined("FileProgressLog");
  for (const char16_t* name : {u"dir.", u"bar ", u"d.\\x.txt", u"Case"})
    EXPECT_FALSE(exists(pairs + name)) << WideStringToString(name);
  for (const char16_t* name : {u"dir\\qvkept-in-dir.txt", u"bar", u"d\\x.txt", u"case\\c.txt", u"d."})
    EXPECT_TRUE(exists(pairs + name)) << WideStringToString(name);
}

// The storage's cached parent must never take "data" for "Data": the shell's
// own comparison folds case, and a record landing under the wrong twin makes
// the wizard hand over the unticked file instead of the ticked one. PIDLs are
// built by exact in-folder names (the shell's parsing folds case too).
namespace {

LPITEMIDLIST ExactPIDL(const std::u16string& path) {
  LPITEMIDLIST pidl = PathToPIDL(path.substr(0, 3));
  for (size_t at = 3; pidl != nullptr && at < path.size();) {
    const size_t next = std::min(path.find(u'\\', at), path.size());
    const std::u16string wanted = path.substr(0, next);
    IShellFolder* folder = nullptr;
    LPITEMIDLIST found = nullptr;
    IEnumIDList* items = nullptr;
    if (SUCCEEDED(DesktopFolder()->GetShellFolder()->BindToObject(pidl, nullptr, IID_IShellFolder,
                                                           reinterpret_cast<void**>(&folder))) &&
        SUCCEEDED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &items)) &&
        items != nullptr) {
      LPITEMIDLIST child = nullptr;
      while (found == nullptr && items->Next(1, &child, nullptr) == S_OK) {
        STRRET name{};
        if (SUCCEEDED(folder->GetDisplayNameOf(child, SHGDN_FORPARSING, &name)) &&
            vws::StrRetToWideStr(name, child) == wanted)
          found = NamespacePIDLManager->AppendPIDL(pidl, child);
        CoTaskMemFree(child);
      }
      items->Release();
    }
    if (folder != nullptr) folder->Release();
    CoTaskMemFree(pidl);
    pidl = found;
    at = next + 1;
  }
  return pidl;
}

}  // namespace

TEST_F(FileTaskTest, CaseTwinsKeepTheirOwnRecordsWhicheverIsStoredFirst) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  const std::u16string twins = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvstore\\";
  const std::u16string upper = twins + u"Data\\upper.txt", lower = twins + u"data\\lower.txt",
                       lowerUpper = twins + u"data\\upper.txt";
  for (bool upperFirst : {true, false}) {
    SCOPED_TRACE(upperFirst ? "Data first" : "data first");
    storage->Clear(/*freeObject=*/true);
    for (const std::u16string& path : upperFirst ? std::vector{upper, lower} : std::vector{lower, upper}) {
      LPITEMIDLIST pidl = ExactPIDL(path);
      ASSERT_NE(pidl, nullptr) << "no case-variant siblings on the test drive";
      TNodeStorage* record = storage->Store(pidl, {skCheckState});
      ASSERT_NE(record, nullptr);
      record->Storage.CheckState = csCheckedNormal;
      record->Storage.CheckType = ctTriStateCheckBox;
      TNodeStorage* found = storage->Find(pidl, {skCheckState});
      EXPECT_EQ(found, record);
      CoTaskMemFree(pidl);
    }
    std::set<std::u16string> listed;
    TWideStringList* names = storage->GetCheckedFileNames(cnkEveryItem);
    for (int i = 0; i < names->Count(); ++i) listed.insert(names->Strings(i));
    EXPECT_EQ(listed, (std::set<std::u16string>{upper, lower}));
  }
  // A record of another kind on one twin's file is not the other twin's tick.
  storage->Clear(/*freeObject=*/true);
  LPITEMIDLIST layout = ExactPIDL(upper), ticked = ExactPIDL(lowerUpper);
  ASSERT_NE(layout, nullptr);
  ASSERT_NE(ticked, nullptr);
  TNodeStorage* layoutRecord = storage->Store(layout, {skColumnLayout});
  TNodeStorage* tickRecord = storage->Store(ticked, {skCheckState});
  ASSERT_NE(tickRecord, nullptr);
  EXPECT_NE(tickRecord, layoutRecord);
  tickRecord->Storage.CheckState = csCheckedNormal;
  TWideStringList* names = storage->GetCheckedFileNames(cnkEveryItem);
  ASSERT_EQ(names->Count(), 1);
  EXPECT_EQ(names->Strings(0), lowerUpper);
  EXPECT_EQ(storage->Find(layout, {skCheckState}), nullptr);
  CoTaskMemFree(layout);
  CoTaskMemFree(ticked);
}

// Random stores, look-ups, deletions and renames among case twins, checked
// after every step against a map of exact paths: whichever twin the storage's
// cache stands on, every record answers for its own path only.
TEST_F(FileTaskTest, CaseTwinRecordsFollowAModelOfExactPaths) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  const std::u16string twins = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvstore\\";
  const std::vector<std::u16string> files = {u"Data\\upper.txt", u"data\\lower.txt", u"data\\upper.txt"};
  const std::vector<std::u16string> folders = {u"Data", u"data"};
  std::map<std::u16string, LPITEMIDLIST> pidls;
  for (const auto* names : {&files, &folders})
    for (const std::u16string& name : *names) {
      pidls[name] = ExactPIDL(twins + name);
      ASSERT_NE(pidls[name], nullptr) << "no case-variant siblings on the test drive";
    }
  const TStorageKinds kindsOf[] = {{skCheckState}, {skColumnLayout}, {skCheckState, skColumnLayout}};
  const TStorageKinds every = {skCheckState, skColumnLayout};
  // The records below the twins' folder, by path relative to it, with their kinds.
  std::map<std::u16string, TStorageKinds> model;
  auto below = [](const std::u16string& path, const std::u16string& top) {
    return path == top || path.rfind(top + u"\\", 0) == 0;
  };
  auto parentOf = [](const std::u16string& path) {
    size_t cut = path.rfind(u'\\');
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
  };
  std::mt19937 random(43);
  storage->Clear(/*freeObject=*/true);
  std::string trail;
  for (int step = 0; step < 400; ++step) {
    const bool onFolder = random() % 4 == 0;
    const std::vector<std::u16string>& names = onFolder ? folders : files;
    const std::u16string path = names[random() % names.size()];
    const TStorageKinds kinds = kindsOf[random() % 3];
    const int op = static_cast<int>(random() % 10);
    if (op < 4) {
      trail += "store " + WideStringToString(path) + "; ";
      ASSERT_NE(storage->Store(pidls[path], kinds), nullptr) << trail;
      for (std::u16string up = path; !up.empty(); up = parentOf(up)) model[up];
      model[path] += kinds;
    } else if (op < 6) {
      trail += "find " + WideStringToString(path) + "; ";
    } else if (op < 8) {
      const bool force = random() % 2 == 0;
      trail += std::string(force ? "force-" : "") + "delete " + WideStringToString(path) + "; ";
      storage->Delete(pidls[path], kinds, force, /*freeObject=*/true);
      if (model.count(path)) {
        model[path] -= kinds;
        bool holds = false;
        for (const auto& [at, held] : model) holds = holds || (below(at, path) && !held.Empty());
        if (force || !holds)
          for (auto at = model.begin(); at != model.end();) at = below(at->first, path) ? model.erase(at) : std::next(at);
      }
    } else {
      const std::u16string to = names[random() % names.size()];
      trail += "rename " + WideStringToString(path) + " to " + WideStringToString(to) + "; ";
      const bool moved = storage->Rename(pidls[path], pidls[to]);
      EXPECT_EQ(moved, model.count(path) != 0) << trail;
      if (moved && to != path) {
        std::map<std::u16string, TStorageKinds> next;
        for (const auto& [at, held] : model)
          if (!below(at, to)) next[below(at, path) ? to + at.substr(path.size()) : at] = held;
        for (std::u16string up = parentOf(to); !up.empty(); up = parentOf(up)) next[up];
        model = next;
      }
    }
    for (const auto& [name, pidl] : pidls) {
      TNodeStorage* found = storage->Find(pidl, every);
      const auto at = model.find(name);
      const bool held = at != model.end() && !at->second.Empty();
      ASSERT_EQ(found != nullptr, held) << WideStringToString(name) << " after " << trail;
      if (held) {
        EXPECT_TRUE(found->Storage.Kinds == at->second) << WideStringToString(name) << " after " << trail;
      }
    }
  }
  for (auto& [name, pidl] : pidls) CoTaskMemFree(pidl);
}

// The same through the real tree: one twin's folder read (the storage's
// cache left on it), then a file of the other twin ticked by mouse.
TEST_F(FileTreePageTest, ATickInOneCaseTwinIsNotTakenForTheOther) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  const std::u16string twins = root + u"qvstore\\";
  ShowSelectPage();
  ASSERT_NE(tree, nullptr);
  PVirtualNode upperFile = ShowExact(twins + u"Data\\upper.txt");
  ASSERT_NE(upperFile, nullptr) << "no case-variant siblings on the test drive";
  // A column layout kept for the file nobody ticks.
  tree->GetStorage()->Store(tree->NodeNamespace(upperFile)->AbsolutePIDL(), {skColumnLayout});
  ASSERT_TRUE(ClickCheckBoxOf(ShowExact(twins + u"data\\upper.txt")));
  ASSERT_TRUE(ClickCheckBoxOf(ShowExact(twins + u"Data\\upper.txt")));
  ASSERT_TRUE(ClickCheckBoxOf(ShowExact(twins + u"Data\\upper.txt")));
  ASSERT_TRUE(ClickCheckBoxOf(ShowExact(twins + u"data\\lower.txt")));
  EXPECT_EQ(ShowExact(twins + u"Data\\upper.txt")->CheckState, csUncheckedNormal);

  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  const std::vector<std::u16string> rows = Rows();
  EXPECT_EQ(std::set<std::u16string>(rows.begin(), rows.end()),
            (std::set<std::u16string>{twins + u"data\\", twins + u"data\\upper.txt", twins + u"data\\lower.txt"}));
  std::set<std::u16string> handed;
  for (int i = 0; i < form->FilesToWipeList->Count(); ++i) handed.insert(form->FilesToWipeList->Strings(i));
  EXPECT_EQ(handed, (std::set<std::u16string>{twins + u"data"}));
}

// A tick the engine cannot receive: under Wine the tree shows inside "d."
// what "d" holds, so "d.\qvkept-y.txt" can be ticked but is not there. The
// confirm page names it, the run's log names and counts it, and its twin in
// "d" is kept (the script compares its bytes).
TEST_F(FileTreePageTest, ATickThatIsNotThereIsNamedOnTheConfirmPageAndInTheLog) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  const std::u16string pairs = root + u"qvpairs\\";
  const std::u16string absent = pairs + u"d.\\qvkept-y.txt";
  const std::u16string wiped = root + u"qvgone-beside-absent.txt";
  HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(wiped.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "QVGONE-CONTENT-x9", 17, &written, nullptr);
  CloseHandle(file);
  ShowSelectPage();
  ASSERT_NE(tree, nullptr);
  PVirtualNode node = ShowExact(absent);
  if (node == nullptr) GTEST_SKIP() << "this shell lists what \"d.\" really holds";
  ASSERT_FALSE(Exists(u"\\\\?\\" + absent));
  ASSERT_TRUE(ClickCheckBoxOf(node));
  ASSERT_TRUE(ClickCheckBox(wiped));
  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  EXPECT_EQ(Rows(), std::vector<std::u16string>{wiped});
  auto* note = Find<TMemo>("FileConfirmAbsentNote");
  EXPECT_TRUE(note->Visible());
  EXPECT_EQ(WideText(note), u"Ticked, but not there, so not wiped (1): " + absent);
  ASSERT_EQ(form->FilesToWipeList->Count(), 1);
  qvtest::SaveScreenshot(form->Handle(), "file_task_confirm_absent");
  form->BottomNextClick();
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  const std::u16string log = WideText(Find<TMemo>("FileProgressLog"));
  EXPECT_NE(log.find(u"Ticked, but not there, not wiped: " + absent), std::u16string::npos);
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1") << Joined("FileProgressLog");
  EXPECT_FALSE(Exists(wiped));
  EXPECT_TRUE(Exists(pairs + u"d\\qvkept-y.txt"));
}

// A ticked item that went before the confirm step is named there.
TEST_F(FileTaskTest, ATickedItemGoneSinceIsNamedOnTheConfirmPage) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string path = std::u16string(1, static_cast<char16_t>(drive)) + u":\\ticked-then-gone.txt";
  HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  Check(path);
  ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(path.c_str())));
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  EXPECT_EQ(form->AbsentTicks, std::vector<std::u16string>{path});
  EXPECT_TRUE(Find("FileConfirmAbsentNote")->Visible());
  EXPECT_FALSE(Find("BottomNext")->Enabled());
}

// A ticked file that another program turns into a folder after the confirm
// step: the run hands the folder to no engine and names the tick as not there.
TEST_F(FileTaskTest, AFileTurnedFolderAfterTheConfirmStepIsNotWiped) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string path = std::u16string(1, static_cast<char16_t>(drive)) + u":\\ticked-then-folder";
  const std::u16string inside = path + u"\\inside.txt";
  auto make = [](const std::u16string& file) {
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(file.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "kept", 4, &written, nullptr);
    CloseHandle(h);
  };
  make(path);
  Check(path);
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  ASSERT_EQ(form->FilesToWipeList->Count(), 1);
  ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(path.c_str())));
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(path.c_str()), nullptr));
  make(inside);
  form->BottomNextClick();
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  const std::u16string log = WideText(Find<TMemo>("FileProgressLog"));
  EXPECT_NE(log.find(u"Ticked, but not there, not wiped: " + path), std::u16string::npos) << Joined("FileProgressLog");
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1") << Joined("FileProgressLog");
  EXPECT_TRUE(Exists(inside));
  DeleteFileW(reinterpret_cast<LPCWSTR>(inside.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(path.c_str()));
}

namespace {

// The real engine behind a hook that runs before the first path is handed
// over, and each Path field handed over, whole (the run's closing call,
// which hands over no path, is not one).
TFileWipeListedProc gRealFileWipe = nullptr;
std::function<void()> gBeforeFirst;
std::vector<std::u16string> gHanded;

HANDLE __cdecl EngineChangingTheDisk(void* params, const void* listed) {
  const auto* block = static_cast<const TWipeParams*>(params);
  if (block->Path[0] != 0) gHanded.emplace_back(block->Path, block->Path + kBlockTextChars);
  if (gHanded.size() == 1 && block->Path[0] != 0 && gBeforeFirst) gBeforeFirst();
  return gRealFileWipe(params, listed);
}

void WriteBytes(const std::u16string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::string ReadBytes(const std::u16string& path) {
  HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  ::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(h);
  bytes.resize(read);
  return bytes;
}

}  // namespace

// Runs the confirmed wipe through the real engine behind the hook, which
// calls gBeforeFirst once the first path is handed over; puts the engine
// and the hook back afterwards.
struct DiskChangingTest : FileTaskTest {
  void WipeWhileTheDiskChanges() {
    TWipeEngine real;
    std::string error;
    ASSERT_TRUE(LoadWipeEngine(real, error)) << error;
    gRealFileWipe = real.FileWipeListed;
    gHanded.clear();
    TWipeEngine hooked = real;
    hooked.FileWipeListed = EngineChangingTheDisk;
    WipeEngineOverride = &hooked;
    form->BottomNextClick();
    qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
    WipeEngineOverride = nullptr;
    gBeforeFirst = nullptr;
  }
};

// Ticked files that another program changes while the run wipes the first of
// them: one turned into a folder is handed to no engine (the folder and what
// it holds stay as they are) and is named as not there; one turned into a
// folder and back into a file is of its ticked kind again, but another item
// than the one listed: the engine refuses it and it stays. Each path goes with
// the next one the run means to hand over.
TEST_F(DiskChangingTest, APathTurnedIntoAFolderDuringTheRunIsNotHandedOver) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string folder = std::u16string(1, static_cast<char16_t>(drive)) + u":\\kinds";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()), nullptr));
  const std::u16string a = folder + u"\\a.txt", b = folder + u"\\b.txt", c = folder + u"\\c.txt",
                       d = folder + u"\\d.txt";
  for (const std::u16string& path : {a, b, c, d}) {
    WriteBytes(path, "ticked");
    Check(path);
  }
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  ASSERT_EQ(form->FilesToWipeList->Count(), 4);
  const std::u16string inside = b + u"\\inside.txt";
  const std::string insideBytes = "not ticked: kept byte for byte";
  gBeforeFirst = [&] {
    ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(b.c_str())));
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(b.c_str()), nullptr));
    WriteBytes(inside, insideBytes);
    ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(c.c_str())));
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(c.c_str()), nullptr));
    ASSERT_TRUE(RemoveDirectoryW(reinterpret_cast<LPCWSTR>(c.c_str())));
    WriteBytes(c, "a file again");
  };
  ASSERT_NO_FATAL_FAILURE(WipeWhileTheDiskChanges());
  const std::u16string log = WideText(Find<TMemo>("FileProgressLog"));
  EXPECT_NE(log.find(u"Ticked, but not there, not wiped: " + b), std::u16string::npos) << Joined("FileProgressLog");
  EXPECT_NE(log.find(c + u": it is not the item the confirm step listed"), std::u16string::npos)
      << Joined("FileProgressLog");
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 2") << Joined("FileProgressLog");
  EXPECT_EQ(ReadBytes(inside), insideBytes);
  EXPECT_EQ(ReadBytes(c), "a file again");
  EXPECT_NE(GetFileAttributesW(reinterpret_cast<LPCWSTR>(b.c_str())) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  for (const std::u16string& wiped : {a, d}) EXPECT_FALSE(Exists(wiped)) << WideStringToString(wiped);
  // a named b, which was refused when its turn came; c and d follow as chosen.
  ASSERT_EQ(gHanded.size(), 3u);
  EXPECT_TRUE(gHanded[0] == PathField(a, b));
  EXPECT_TRUE(gHanded[1] == PathField(c, d));
  EXPECT_TRUE(gHanded[2] == PathField(d, u""));
  DeleteFileW(reinterpret_cast<LPCWSTR>(inside.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(b.c_str()));
  for (const std::u16string& path : {a, c, d}) DeleteFileW(reinterpret_cast<LPCWSTR>(path.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()));
}

// A ticked file that another program turns into a folder while an earlier
// path is wiped is not named as the path to come: the engine would keep the
// folder's shared work (its private folder, the fill over the wiped names)
// for a path that never comes, past the end of the run. Here the last path
// handed over names none, so when the run ends the folder holds nothing of
// the engine's and nothing is logged after the outcome.
TEST_F(DiskChangingTest, APathChangedDuringTheRunIsNotNamedAsTheNextOne) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string folder = std::u16string(1, static_cast<char16_t>(drive)) + u":\\next-changed";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()), nullptr));
  const std::u16string a = folder + u"\\a.txt", b = folder + u"\\b.txt", c = folder + u"\\c.txt";
  for (const std::u16string& path : {a, b, c}) {
    WriteBytes(path, "ticked");
    Check(path);
  }
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  ASSERT_EQ(form->FilesToWipeList->Count(), 3);
  const std::u16string inside = c + u"\\inside.txt";
  gBeforeFirst = [&] {
    ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(c.c_str())));
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(c.c_str()), nullptr));
    WriteBytes(inside, "not ticked");
  };
  ASSERT_NO_FATAL_FAILURE(WipeWhileTheDiskChanges());
  const std::set<std::u16string> atEnd = EntriesOf(folder);
  const std::string logAtEnd = Joined("FileProgressLog");
  EXPECT_EQ(atEnd, (std::set<std::u16string>{u"c.txt"})) << "the engine still holds the folder's work";
  ASSERT_EQ(gHanded.size(), 2u);
  EXPECT_TRUE(gHanded[0] == PathField(a, b));
  EXPECT_TRUE(gHanded[1] == PathField(b, u"")) << "a path gone since was named as the next";
  EXPECT_NE(logAtEnd.find("Ticked, but not there, not wiped: " + WideStringToString(c)), std::string::npos)
      << logAtEnd;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1") << logAtEnd;
  EXPECT_EQ(ReadBytes(inside), "not ticked");
  // Longer than the engine waits for a path it was told of.
  qvtest::Pump(800);
  EXPECT_EQ(Joined("FileProgressLog"), logAtEnd);
  DeleteFileW(reinterpret_cast<LPCWSTR>(inside.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(c.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()));
}

// Folders on the way of ticked paths that another program changes while an
// earlier path is wiped: one replaced by a folder whose name differs in case
// alone, holding a file of the ticked file's name, and one turned into a
// file. Nothing of either was ticked, and both stay. The run looks the
// folders above a path up once (here "Data" when its path was chosen as the
// next one), so the engine refuses the first; the run itself the second.
TEST_F(DiskChangingTest, FoldersOnTheWayChangedDuringTheRunAreNotEntered) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string folder = std::u16string(1, static_cast<char16_t>(drive)) + u":\\changed-on-the-way";
  const std::u16string upper = folder + u"\\Data", lower = folder + u"\\data", turned = folder + u"\\e";
  for (const std::u16string& made : {folder, folder + u"\\A", upper, turned})
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(made.c_str()), nullptr));
  const std::u16string first = folder + u"\\A\\first.txt", ticked = upper + u"\\g.txt", twin = lower + u"\\g.txt",
                       below = turned + u"\\h.txt";
  for (const std::u16string& path : {first, ticked, below}) {
    WriteBytes(path, "ticked");
    Check(path);
  }
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  ASSERT_EQ(form->FilesToWipeList->Count(), 3);
  ASSERT_TRUE(form->FilesToWipeList->Strings(0) == first && form->FilesToWipeList->Strings(1) == ticked)
      << "listed in another order";
  gBeforeFirst = [&] {
    ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(ticked.c_str())));
    ASSERT_TRUE(RemoveDirectoryW(reinterpret_cast<LPCWSTR>(upper.c_str())));
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(lower.c_str()), nullptr));
    WriteBytes(twin, "not ticked");
    ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(below.c_str())));
    ASSERT_TRUE(RemoveDirectoryW(reinterpret_cast<LPCWSTR>(turned.c_str())));
    WriteBytes(turned, "a file now");
  };
  ASSERT_NO_FATAL_FAILURE(WipeWhileTheDiskChanges());
  const std::string log = Joined("FileProgressLog");
  EXPECT_FALSE(Exists(first));
  EXPECT_EQ(ReadBytes(twin), "not ticked") << log;
  EXPECT_EQ(ReadBytes(turned), "a file now") << log;
  EXPECT_NE(log.find("Could not find " + WideStringToString(ticked)), std::string::npos) << log;
  EXPECT_NE(log.find("Ticked, but not there, not wiped: " + WideStringToString(below)), std::string::npos) << log;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 2") << log;
  ASSERT_EQ(gHanded.size(), 2u) << log;
  EXPECT_TRUE(gHanded[1] == PathField(ticked, u"")) << "a path below a folder turned file was named as the next";
  DeleteFileW(reinterpret_cast<LPCWSTR>(twin.c_str()));
  DeleteFileW(reinterpret_cast<LPCWSTR>(turned.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(lower.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>((folder + u"\\A").c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()));
}

// The select page with checks in all three states and the confirm page, in
// English and German, for a person to look at (nothing is wiped).
class FileTreeScreenshotTest : public FileTreePageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FileTreeScreenshotTest, SelectAndConfirmPages) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  GlobalLanguage = GetParam();
  if (!GlobalLanguage.empty()) LangIni = LoadLanguageFile(GlobalLanguage);
  const std::string prefix = GlobalLanguage.empty() ? "en" : "de";
  ShowSelectPage();
  ASSERT_NE(tree, nullptr);
  const std::u16string shot = root + u"qvshot\\";
  ASSERT_TRUE(ClickCheckBox(shot + u"qvkept-sub"));
  ASSERT_TRUE(ClickCheckBox(shot + u"qvkept-s1.txt"));
  Show(shot + u"qvkept-sub\\qvkept-s4.bin");
  EXPECT_EQ(StateOf(root + u"qvshot"), csMixedNormal);
  qvtest::SaveScreenshot(form->Handle(), "file_task_" + prefix + "_select");
  // The context menu's one item refreshes the tree and forgets the checks.
  auto* refresh = form->Item<TMenuItem>("FilesPopupMenuRefresh");
  ASSERT_NE(refresh, nullptr);
  EXPECT_EQ(refresh->Caption(), GlobalLanguage.empty() ? "Refresh" : "Aktualisieren");
  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  EXPECT_EQ(Rows().size(), 4u);
  qvtest::SaveScreenshot(form->Handle(), "file_task_" + prefix + "_confirm");
  form->FilesPopupMenuRefreshClick(refresh);
  EXPECT_EQ(tree->GetStorage()->GetCheckedFileNames(cnkEveryItem)->Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Languages, FileTreeScreenshotTest, ::testing::Values("", "German.lng"));

TEST_F(FileTaskTest, ConfirmListShowsEachReachedItemOnceAndTheEngineWipesOnlyTheTopmost) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  const std::u16string root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  const std::u16string dir = root + u"qvgonedir\\";
  const std::u16string sub = dir + u"qvgonesub\\";
  const std::u16string deeper = sub + u"qvgonedeeper\\";
  const std::u16string single = root + u"qvgone-single.txt";
  Check(root + u"qvgonedir");
  Check(sub + u"qvgone-beta.txt");  // inside the checked folder: one row, not handed on its own
  Check(single);

  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);

  std::map<std::u16string, TExpectedRow> expected = {
      {dir, {true, 0}},
      {dir + u"qvgone-alpha.txt", {false, 40 * 1024}},
      {dir + u"qvgone-\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.txt", {false, 3 * 1024}},
      {dir + u"qvgone-\u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430.bin", {false, 5 * 1024}},
      {dir + u"qvgone-\u6f22\u5b57.dat", {false, 7 * 1024}},
      {sub, {true, 0}},
      {sub + u"qvgone-beta.txt", {false, 11 * 1024}},
      {deeper, {true, 0}},
      {deeper + u"qvgone-gamma.txt", {false, 13 * 1024}},
      {single, {false, 17 * 1024}},
  };
  const std::vector<std::u16string> rows = Rows();
  std::set<std::u16string> unique(rows.begin(), rows.end());
  EXPECT_EQ(unique.size(), rows.size()) << "a row is listed twice";
  std::set<std::u16string> wanted;
  for (const auto& [path, row] : expected) wanted.insert(path);
  EXPECT_EQ(unique, wanted);
  // A folder comes before its content.
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      EXPECT_FALSE(rows[i].size() < rows[j].size() && rows[j].compare(0, rows[i].size(), rows[i]) == 0)
          << "a folder after its content";
  }
  // Sizes, types and totals.
  int64_t bytes = 0;
  for (const TShownRow& row : ShownRows(Find<TListView>("FileConfirmListView"))) {
    auto found = expected.find(row.name);
    if (found == expected.end()) continue;
    if (found->second.folder) {
      EXPECT_EQ(row.size, u"");
      EXPECT_EQ(row.type, u"Folder");
    } else {
      EXPECT_EQ(row.size, AnsiToWide(FormatSize(found->second.size)));
      bytes += found->second.size;
    }
    EXPECT_FALSE(row.date.empty()) << "no date";
    EXPECT_GE(row.image, 0) << "no icon from the system list";
  }
  EXPECT_EQ(form->FilesCount, 7);
  EXPECT_EQ(form->FoldersCount, 3);
  EXPECT_EQ(form->TotalBytes, bytes);
  EXPECT_EQ(Text("FileConfirmTotalsFilesCount"), "7");
  EXPECT_EQ(Text("FileConfirmTotalsFoldersCount"), "3");
  EXPECT_EQ(Text("FileConfirmTotalsSize"), FormatSize(bytes));
  EXPECT_TRUE(Find("BottomNext")->Enabled());

  // The engine is handed the topmost checked paths only.
  ASSERT_NE(form->FilesToWipeList, nullptr);
  std::vector<std::u16string> handed;
  for (int i = 0; i < form->FilesToWipeList->Count(); ++i) handed.push_back(form->FilesToWipeList->Strings(i));
  EXPECT_EQ(handed, (std::vector<std::u16string>{root + u"qvgonedir", single}));
  qvtest::SaveScreenshot(form->Handle(), "file_task_confirm");

  // Next starts the run, which ends inside the call.
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileProgress);
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  EXPECT_EQ(LastLine("FileProgressLog"), "Files successfully wiped") << Joined("FileProgressLog");
  EXPECT_FALSE(Exists(root + u"qvgonedir"));
  EXPECT_FALSE(Exists(single));
  EXPECT_TRUE(Exists(root + u"qvoutside\\qvkept-outside.txt"));
  EXPECT_TRUE(Exists(root + u"qvkeep\\qvkept-one.txt"));
  EXPECT_TRUE(form->TreeNeedsBuild);
  qvtest::SaveScreenshot(form->Handle(), "file_task_done");
}

TEST_F(FileTaskTest, ALinkInACheckedFolderIsListedAsItselfAndNotEntered) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  const std::u16string root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\";
  Check(root + u"qvlinkdir");
  MakeForm();
  form->FileTreeStorage = storage;
  form->TransferFileListFromTree();
  EXPECT_EQ(Rows(), (std::vector<std::u16string>{root + u"qvlinkdir\\", root + u"qvlinkdir\\qvlinkto\\"}));
  EXPECT_EQ(form->FoldersCount, 2);
  EXPECT_EQ(form->FilesCount, 0);
  // An item checked through the link is named with it, not listed.
  const std::u16string through = root + u"qvlinkdir\\qvlinkto\\qvkept-outside.txt";
  TListingKeys keys;
  size_t rows = 0;
  ListCheckedItems({through}, [&](TListedItem&&) { ++rows; }, &keys, nullptr);
  EXPECT_EQ(rows, 0u);
  EXPECT_EQ(AbsentTicksText({}, keys.needed),
            u"Ticked, but reached through a link, so not wiped (1): " + through + u" (" + root + u"qvlinkdir\\qvlinkto)");
}

// Three ticks in the Windows folder: the note names every one and scrolls to the last.
TEST_F(FileTaskTest, TheNoteOfTicksLeftOutScrollsToEveryOne) {
  for (const char16_t* name : {u"win.ini", u"system.ini", u"notepad.exe"}) Check(u"C:\\windows\\" + std::u16string(name));
  ShowConfirmPage();
  auto* note = Find<TMemo>("FileConfirmAbsentNote");
  EXPECT_EQ(WideText(note), u"Ticked, but needed by the system or by Quorvanell, so not wiped (3): C:\\windows\\notepad.exe "
                            u"(C:\\windows); C:\\windows\\system.ini (C:\\windows); C:\\windows\\win.ini (C:\\windows)");
  SendMessageW(note->Handle(), WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_GT(SendMessageW(note->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(form->FindNextControl(Find<TWinControl>("FileConfirmListView"), true, true, false), note);  // by Tab
  qvtest::SaveScreenshot(form->Handle(), "file_task_confirm_needed");
}

TEST_F(FileTaskTest, NothingCheckedLeavesTheListEmptyAndNextDisabled) {
  ShowConfirmPage();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(form->FilesCount, 0);
  EXPECT_FALSE(Find("BottomNext")->Enabled());
  ASSERT_NE(form->FilesToWipeList, nullptr);
  EXPECT_EQ(form->FilesToWipeList->Count(), 0);
}

TEST(FileListingTest, LongPathsAndDriveRoots) {
  EXPECT_EQ(LongPathForm(u"C:\\a\\b"), u"\\\\?\\C:\\a\\b");
  EXPECT_EQ(LongPathForm(u"\\\\server\\share\\x"), u"\\\\?\\UNC\\server\\share\\x");
  EXPECT_EQ(LongPathForm(u"\\\\?\\C:\\x"), u"\\\\?\\C:\\x");
  EXPECT_EQ(LongPathForm(u"relative"), u"relative");
  EXPECT_TRUE(IsDriveRootPath(u"D:\\"));
  EXPECT_FALSE(IsDriveRootPath(u"D:"));
  EXPECT_FALSE(IsDriveRootPath(u"D:\\x"));
}

TEST(FileListingTest, AMissingCheckedPathIsListedWithoutDetails) {
  std::vector<TListedItem> items;
  ListCheckedItems({u"Q:\\does\\not\\exist.txt", u"Q:\\does\\not\\exist.txt"},
                   [&](const TListedItem& item) { items.push_back(item); });
  ASSERT_EQ(items.size(), 1u);
  EXPECT_FALSE(items[0].found);
  EXPECT_EQ(items[0].path, u"Q:\\does\\not\\exist.txt");
}

// An engine that cannot be told the listed items would wipe what a folder
// holds at its turn, listed or not: a ticked folder is refused and kept
// whole, while a ticked file is still wiped.
TEST_F(FileTaskTest, AnEngineWithoutTheListedCallWipesNoFolder) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FREE");
  const std::u16string folder = std::u16string(1, static_cast<char16_t>(drive)) + u":\\unlisted";
  const std::u16string file = std::u16string(1, static_cast<char16_t>(drive)) + u":\\unlisted.txt";
  const std::u16string inside = folder + u"\\inside.txt";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()), nullptr));
  WriteBytes(inside, "kept");
  WriteBytes(file, "wiped");
  const std::u16string remade = std::u16string(1, static_cast<char16_t>(drive)) + u":\\remade.txt";
  WriteBytes(remade, "listed");
  for (const std::u16string& ticked : {folder, file, remade}) Check(ticked);
  ShowConfirmPage();
  // Made again after the confirm step: told only the path, the engine would wipe the new file.
  ASSERT_TRUE(DeleteFileW(reinterpret_cast<LPCWSTR>(remade.c_str())));
  WriteBytes(remade, "made again");
  TWipeEngine plain;
  std::string error;
  ASSERT_TRUE(LoadWipeEngine(plain, error)) << error;
  plain.FileWipeListed = nullptr;
  WipeEngineOverride = &plain;
  form->BottomNextClick();
  qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 60000);
  WipeEngineOverride = nullptr;
  const std::u16string log = WideText(Find<TMemo>("FileProgressLog"));
  EXPECT_NE(log.find(u"was not wiped: " + folder), std::u16string::npos) << Joined("FileProgressLog");
  EXPECT_NE(log.find(u"Listed, but not reached by the run, not wiped: " + inside), std::u16string::npos) << Joined("FileProgressLog");
  EXPECT_NE(log.find(remade + u": changed or replaced after the confirm step, not wiped"), log.npos) << Joined("FileProgressLog");
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 3") << Joined("FileProgressLog");
  EXPECT_EQ(ReadBytes(remade), "made again");
  EXPECT_EQ(ReadBytes(inside), "kept");
  EXPECT_FALSE(Exists(file));
  // Loaded without either call, the engine is there but cannot do the file task.
  plain.FileWipe = nullptr;
  WipeEngineOverride = &plain;
  form->StartFileWipe();
  WipeEngineOverride = nullptr;
  EXPECT_EQ(LastLine("FileProgressLog"), "The wipe engine Quorvanell.DLL lacks the call the file task needs "
                                         "(FileWipeListed), so no files were wiped.");
  DeleteFileW(reinterpret_cast<LPCWSTR>(inside.c_str()));
  RemoveDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()));
  DeleteFileW(reinterpret_cast<LPCWSTR>(file.c_str()));
  DeleteFileW(reinterpret_cast<LPCWSTR>(remade.c_str()));
}
