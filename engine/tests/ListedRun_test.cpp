// Runs given the list the program's confirm step makes: what another program
// makes in the tree while it is wiped, and a link put in the place of a folder
// on the way, are never wiped; each such item is named once and counted, and
// the run's end call does the work its calls left pending, counted in its
// block.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "DirectorySlack.h"
#include "EngineHarness.h"
#include "FileCalls.h"
#include "FileWiper.h"
#include "NtFiles.h"
#include "PathNames.h"
#include "QuorvanellBlockPaths.h"
#include "QuorvanellListed.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kList = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
const std::u16string kAppeared = u": appeared after the confirm step, not wiped";

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// The run's list as the program makes it, through handles: the own keys of the
// folders from the drive root to each ticked item, the item's entry key, and
// below a ticked folder every entry's key and every entered folder's own key.
class RunList {
 public:
  void Tick(const std::u16string& path) {
    HANDLE at = CreateFileW(Wide(path.substr(0, 3)), kList, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Own(at);
    std::vector<std::u16string> names;
    std::u16string name;
    std::basic_istringstream<char16_t> parts(path.substr(3));
    while (std::getline(parts, name, u'\\')) names.push_back(name);
    if (names.empty()) Below(at);
    for (size_t i = 0; i < names.size() && at != INVALID_HANDLE_VALUE; ++i) {
      TItemKey folder;
      QvReadItemKey(at, folder);
      const bool last = i + 1 == names.size();
      for (const Listed& entry : EntriesOf(at))
        if (entry.name == names[i] && last) keys_.push_back(QvEntryKey(folder, entry.fileId, entry.name, entry.stamp));
      DWORD error = 0;
      HANDLE below = OpenBelow(at, names[i], kList, kShareAll, kDirectoryOnly, error);
      CloseHandle(at);
      at = below;
      Own(at);
      if (last && at != INVALID_HANDLE_VALUE) Below(at);
    }
    if (at != INVALID_HANDLE_VALUE) CloseHandle(at);
  }
  const TListedItems* Get() {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    list_ = {sizeof(TListedItems), sizeof(TItemKey), uint32_t(keys_.size()), keys_.data()};
    return &list_;
  }

 private:
  static std::vector<Listed> EntriesOf(HANDLE folder) {
    std::vector<Listed> entries;
    DWORD error = 0;
    HANDLE now = OpenFolderAgain(folder, error);
    std::vector<uint64_t> buffer(8192);
    while (now != INVALID_HANDLE_VALUE && ReadFolder(now, nullptr, buffer.data(), ULONG(buffer.size() * 8), error)) {
      for (size_t at = 0;;) {
        const auto* info =
            reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const uint8_t*>(buffer.data()) + at);
        std::u16string name(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / 2);
        if (name != u"." && name != u"..")
          entries.push_back({name, info->FileAttributes, 0, uint64_t(info->FileId.QuadPart), QvEntryStamp(*info)});
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
      }
    }
    if (now != INVALID_HANDLE_VALUE) CloseHandle(now);
    return entries;
  }
  void Own(HANDLE folder) {
    TItemKey key;
    if (folder != INVALID_HANDLE_VALUE && QvReadItemKey(folder, key)) keys_.push_back(key);
  }
  void Below(HANDLE folder) {
    TItemKey own;
    QvReadItemKey(folder, own);
    for (const Listed& entry : EntriesOf(folder)) {
      keys_.push_back(QvEntryKey(own, entry.fileId, entry.name, entry.stamp));
      if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      DWORD error = 0;
      HANDLE below = OpenBelow(folder, entry.name, kList, kShareAll, kDirectoryOnly, error);
      Own(below);
      if (below != INVALID_HANDLE_VALUE) Below(below), CloseHandle(below);
    }
  }
  std::vector<TItemKey> keys_;
  TListedItems list_;
};

const TListedItems* gList = nullptr;
HANDLE StartListed(void* block) { return StartFileWipe(block, gList); }

bool Call(Harness& harness, TWipeParams* block, const std::u16string& path, const std::u16string& next = u"") {
  WriteBlockPaths(*block, path.c_str(), path.size(), next.c_str(), next.size());
  return harness.RunFile(block, 600000, StartListed);
}

// Folders "", a, a\b, c below `top` (made unless it is a root), six files each.
std::vector<std::u16string> MakeTree(const std::u16string& top, std::vector<std::u16string>& folders) {
  std::vector<std::u16string> files;
  folders = {top, top + u"\\a", top + u"\\a\\b", top + u"\\c"};
  for (const std::u16string& folder : folders) {
    CreateDirectoryW(Wide(folder), nullptr);
    for (int i = 0; i < 6; ++i) {
      files.push_back(folder + u"\\f" + Utf16(std::to_string(i)) + u".txt");
      EXPECT_TRUE(WriteWholeFile(files.back(), "listed " + Narrow(files.back())));
    }
  }
  return files;
}

enum class Tick { Folder, Root, Single };

// Ticks a tree in one of three ways while the host makes new items in it.
void WipeWhileItemsAreMade(Tick tick) {
  char drive = TestDrive("FOLDER_DRIVE");
  char rootDrive = TestDrive("LISTED_ROOT");
  if (!drive || (tick == Tick::Root && !rootDrive)) QV_SKIP_LOUDLY("a listed run while items are made");
  const std::string hostTree[] = {"made-folder", "../listedroot", "made-single"};
  const std::u16string top =
      tick == Tick::Root ? Root(rootDrive).substr(0, 2) : Root(drive) + Utf16(hostTree[int(tick)]);
  std::vector<std::u16string> folders;
  std::vector<std::u16string> files = MakeTree(top, folders);
  if (tick == Tick::Single) files.resize(6), folders.clear();  // the folder held from call to call stays
  RunList list;
  if (tick == Tick::Single) {
    for (const std::u16string& file : files) list.Tick(file);
  } else {
    list.Tick(tick == Tick::Root ? top + u"\\" : top);
  }
  gList = list.Get();
  const std::u16string record = Root(drive) + u".swapper\\made-" + Utf16(std::to_string(int(tick)));
  ASSERT_TRUE(AskHost(drive, "create " + hostTree[int(tick)] + " .swapper/made-" + std::to_string(int(tick)) + "\n"));
  std::string made;
  for (int i = 0; i < 500 && std::count(made.begin(), made.end(), '\n') < 10; ++i)
    Sleep(20), ReadWholeFile(record, made);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  bool ran = true;
  if (tick == Tick::Single) {
    for (size_t i = 0; i < files.size(); ++i)
      ran = Call(harness, block.get(), files[i], i + 1 < files.size() ? files[i + 1] : u"") && ran;
  } else {
    ran = Call(harness, block.get(), tick == Tick::Root ? top + u"\\" : top);
  }
  ran = Call(harness, block.get(), u"") && ran;
  ASSERT_TRUE(AskHost(drive, "uncreate\n"));
  ASSERT_TRUE(ran);
  ASSERT_TRUE(ReadWholeFile(record, made));
  for (const std::u16string& file : files) EXPECT_FALSE(Exists(file)) << Narrow(file) << harness.LogText();
  std::map<std::u16string, bool> created;  // path -> folder
  std::istringstream lines(made);
  std::string kind, relative;
  while (lines >> kind >> relative) {
    std::string content = relative;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    std::u16string path = top + u"\\" + Utf16(relative);
    created[path] = kind == "D";
    std::string bytes;
    EXPECT_TRUE(kind == "D" ? Exists(path) : ReadWholeFile(path, bytes) && bytes == content) << relative;
  }
  ASSERT_GE(created.size(), 10u);
  std::map<std::u16string, int> named;
  for (const std::u16string& line : harness.logs)
    if (line.size() > kAppeared.size() && line.ends_with(kAppeared))
      ++named[line.substr(0, line.size() - kAppeared.size())];
  for (const auto& [path, times] : named) {
    EXPECT_EQ(1, times) << Narrow(path);
    EXPECT_EQ(1u, created.count(path)) << Narrow(path) << " was named but not made during the run";
  }
  EXPECT_EQ(named.size(), size_t(block->Reserved2)) << harness.LogText();
  // A folder stays exactly when something made during the run lies in it.
  for (const std::u16string& folder : folders) {
    bool holds = false;
    for (const auto& [path, isFolder] : created) holds = holds || path.rfind(folder + u"\\", 0) == 0;
    if (folder != top || tick == Tick::Folder) {
      EXPECT_EQ(holds, Exists(folder)) << Narrow(folder);
    }
  }
  // Only what was listed was reported finished.
  size_t finished = 0;
  for (const ProgressEvent& e : harness.progress) finished += e.progress == 100 && (e.state == 0 || e.state == 2);
  EXPECT_EQ(files.size(), finished);
  std::printf("listed run (tick %d): %zu files listed, %zu items made, %zu named\n", int(tick), files.size(),
              created.size(), named.size());
}

TEST(ListedRunTest, AFolderTickLeavesWhatWasMadeMeanwhileNamedOnce) { WipeWhileItemsAreMade(Tick::Folder); }
TEST(ListedRunTest, ADriveRootTickLeavesWhatWasMadeMeanwhileNamedOnce) { WipeWhileItemsAreMade(Tick::Root); }
TEST(ListedRunTest, ChainedSingleTicksLeaveWhatWasMadeMeanwhile) { WipeWhileItemsAreMade(Tick::Single); }

// The folder above the ticked items swapped again and again with a link to an
// outside folder holding the same names: single ticks (chained) and folder
// ticks never reach the outside folder; each path refused is named once.
TEST(ListedRunTest, AFolderOnTheWaySwappedForALinkNeverLeadsOutside) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a folder on the way swapped for a link");
  const std::u16string base = Root(drive) + u"listflip";
  std::vector<std::u16string> ticks, folders;
  ASSERT_TRUE(CreateDirectoryW(Wide(base), nullptr));
  for (const char16_t* side : {u"\\box", u"\\outside"}) {
    std::vector<std::u16string> files = MakeTree(base + side, folders);
    if (side[1] == u'b')
      ticks = {files.begin(), files.begin() + 6}, ticks.insert(ticks.end(), folders.begin() + 1, folders.end());
  }
  std::map<std::u16string, std::string> outside, outsideAfter;
  FolderContents(base + u"\\outside", outside);
  RunList list;
  for (const std::u16string& tick : ticks) list.Tick(tick);
  gList = list.Get();
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  ASSERT_TRUE(AskHost(drive, "flip listflip/box listflip/boxlink listflip/outside\n"));
  bool ran = true;
  for (int round = 0; round < 4; ++round) {  // the paths come again: refused ones may go through later
    for (size_t i = 0; i < ticks.size(); ++i) {
      if (!Exists(ticks[i])) continue;
      const size_t before = harness.logs.size();
      ran = Call(harness, block.get(), ticks[i], i + 1 < 6 ? ticks[i + 1] : u"") && ran;
      int refusals = 0;
      for (size_t k = before; k < harness.logs.size(); ++k)
        refusals += harness.logs[k].rfind(u"Did not wipe " + ticks[i], 0) == 0;
      EXPECT_LE(refusals, 1) << Narrow(ticks[i]) << harness.LogText();
    }
  }
  ran = Call(harness, block.get(), u"") && ran;
  ASSERT_TRUE(AskHost(drive, "unflip\n"));
  ASSERT_TRUE(ran);
  FolderContents(base + u"\\outside", outsideAfter);
  EXPECT_EQ(outside, outsideAfter) << harness.LogText();
  size_t refused = 0;
  for (const std::u16string& line : harness.logs)
    refused += line.find(u"on its way is a link, or not the folder listed") != line.npos;
  EXPECT_GE(size_t(block->Reserved2), refused);
  for (const std::u16string& tick : ticks) {
    if (!Exists(tick)) continue;
    EXPECT_TRUE(harness.Logged(tick)) << Narrow(tick) << " left unnamed\n" << harness.LogText();
  }
  std::printf("folder on the way swapped: %zu refusals counted\n", refused);
}

// Something made in an emptied folder just after it was moved into its
// parent's private folder for removal: the folder goes back under its own
// name, in its own place, with the item; counted once, with or without a list.
TEST(ListedRunTest, AFolderThatGetsAnItemJustBeforeItsRemovalGoesBackInPlace) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("an item made in a folder being removed");
  for (bool listed : {true, false}) {
    const std::u16string top = Root(drive) + u"listlate" + (listed ? u"1" : u"0");
    std::vector<std::u16string> folders;
    MakeTree(top, folders);
    RunList list;
    list.Tick(top);
    gList = listed ? list.Get() : nullptr;
    std::u16string late;
    gWipeStep = [&late](WipeStep step, const std::u16string& longPath) {
      if (step != WipeStep::DeletingFolder || !late.empty()) return;
      late = ToDisplayPath(longPath) + u"\\late.txt";
      EXPECT_TRUE(WriteWholeFile(late, "late"));
    };
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    const bool ran = Call(harness, block.get(), top) && (!listed || Call(harness, block.get(), u""));
    gWipeStep = nullptr;
    ASSERT_TRUE(ran);
    // The first folder removed is the deepest: a\b.
    EXPECT_EQ(std::vector<std::u16string>{u"a"}, ListNames(top)) << harness.LogText();
    EXPECT_EQ(std::vector<std::u16string>{u"b"}, ListNames(top + u"\\a")) << harness.LogText();
    std::string content;
    EXPECT_TRUE(ReadWholeFile(top + u"\\a\\b\\late.txt", content) && content == "late") << harness.LogText();
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    EXPECT_EQ(listed, harness.Logged(top + u"\\a\\b\\late.txt" + kAppeared)) << harness.LogText();
  }
}

// A listed file whose creation time is another when it is wiped (the file
// system gave its number and its name to a file made after the confirm step;
// under Wine, the file was written since) is kept and named, whether it is
// reached through a ticked folder or ticked itself.
TEST(ListedRunTest, AFileWithTheNumberAndNameOfAListedOneButAnotherTimeIsKept) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a file made in the place of a listed one");
  for (const bool single : {false, true}) {
    SCOPED_TRACE(single ? "ticked itself" : "in a ticked folder");
    std::vector<std::u16string> folders;
    std::vector<std::u16string> files = MakeTree(Root(drive) + (single ? u"restamp1" : u"restamp0"), folders);
    if (single) files.resize(6);
    RunList list;
    if (single) {
      for (const std::u16string& file : files) list.Tick(file);
    } else {
      list.Tick(folders[0]);
    }
    gList = list.Get();
    HANDLE file = CreateFileW(Wide(files[1]), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME created{}, written{};
    ASSERT_TRUE(GetFileTime(file, &created, nullptr, &written));
    for (FILETIME* time : {&created, &written}) time->dwHighDateTime += 1;  // about seven minutes later
    ASSERT_TRUE(SetFileTime(file, &created, nullptr, &written));
    CloseHandle(file);
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    bool ran = true;
    if (single) {
      for (size_t i = 0; i < files.size(); ++i)
        ran = Call(harness, block.get(), files[i], i + 1 < files.size() ? files[i + 1] : u"") && ran;
    } else {
      ran = Call(harness, block.get(), folders[0]);
    }
    ASSERT_TRUE(Call(harness, block.get(), u"") && ran);
    for (const std::u16string& path : files) EXPECT_EQ(path == files[1], Exists(path)) << Narrow(path);
    std::string content;
    EXPECT_TRUE(ReadWholeFile(files[1], content) && content == "listed " + Narrow(files[1]));
    EXPECT_TRUE(harness.Logged(files[1] + u": changed or replaced after the confirm step, not wiped"))
        << harness.LogText();
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  }
}

// Another program puts a file into the wipe's private folder (a sync client
// does in every new folder) and keeps a filler from going: each counts once,
// the file is named, and neither the wipe's folder nor its filler is named as
// an item of others.
TEST(ListedRunTest, WhatOthersPutInTheWipesOwnItemsIsNamedAndCountedOnce) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("the wipe's own items");
  std::vector<std::u16string> folders;
  MakeTree(Root(drive) + u"ownitems", folders);
  RunList list;
  list.Tick(folders[0]);
  gList = list.Get();
  std::u16string foreign;
  gWipeStep = [&foreign](WipeStep step, const std::u16string& longPath) {
    if (step == WipeStep::Deleting && foreign.empty())  // the file is in the private folder now
      EXPECT_TRUE(WriteWholeFile(foreign = ToDisplayPath(ParentPath(longPath)) + u"\\foreign.txt", "others'"));
  };
  gCreateFiller = [](HANDLE folder, const std::u16string& name, DWORD& error) {  // the first one stays: read-only
    static int made = 0;
    HANDLE file = SystemCreateFiller(folder, name, error);
    FILE_BASIC_INFO readOnly{{}, {}, {}, {}, FILE_ATTRIBUTE_READONLY};
    if (made++ == 0) SetFileInformationByHandle(file, FileBasicInfo, &readOnly, sizeof readOnly);
    return file;
  };
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  const bool ran = Call(harness, block.get(), folders[0]) && Call(harness, block.get(), u"");
  gWipeStep = nullptr;
  gCreateFiller = SystemCreateFiller;
  ASSERT_TRUE(ran && Exists(foreign));
  size_t named = 0;
  for (const std::u16string& line : harness.logs) named += line.ends_with(kAppeared);
  EXPECT_TRUE(named == 1 && harness.Logged(foreign + kAppeared)) << harness.LogText();
  EXPECT_EQ(2, block->Reserved2) << harness.LogText();  // the file, and the filler
}

// A list whose keys are of another layout (a program of another version) is
// never read as keys: nothing is wiped.
TEST(ListedRunTest, AListOfAnotherKeyLayoutWipesNothing) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a list of another key layout");
  std::vector<std::u16string> folders;
  std::vector<std::u16string> files = MakeTree(Root(drive) + u"keylayout", folders);
  RunList list;
  list.Tick(files[0]);
  TListedItems other = *list.Get();
  other.keySize = 24;  // volume, file ID and name only
  gList = &other;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  ASSERT_TRUE(Call(harness, block.get(), files[0]));
  EXPECT_TRUE(Exists(files[0]));
  EXPECT_TRUE(harness.Logged(u"of a layout this engine does not know")) << harness.LogText();
}

int gRefused = 0;
HANDLE RefusedFiller(HANDLE, const std::u16string&, DWORD& error) {
  ++gRefused;
  error = ERROR_ACCESS_DENIED;
  return INVALID_HANDLE_VALUE;
}

// A chain left pending by the run's last call (the next path it named never
// came) is finished by the run's end call, its failure counted in the block
// before the handle is set; so is one a waiting thread finished in a pause
// longer than the engine waits (the failure was logged then); an end call
// with nothing pending does nothing.
TEST(ListedRunTest, TheEndCallCountsThePendingChainsFailuresInItsBlock) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("the end call of a listed run");
  for (const bool pause : {false, true}) {
    SCOPED_TRACE(pause ? "a pause longer than the engine waits" : "the end call comes first");
    gPendingWaitMs = pause ? 50 : 60000;
    std::vector<std::u16string> folders;
    std::vector<std::u16string> files = MakeTree(Root(drive) + (pause ? u"listpause" : u"listend"), folders);
    RunList list;
    list.Tick(files[0]);
    gList = list.Get();
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    gRefused = 0;
    gCreateFiller = RefusedFiller;
    ASSERT_TRUE(Call(harness, block.get(), files[0], files[1]));
    // The waiting thread's turn, however long the machine makes it wait (ten seconds at the most).
    for (DWORD begin = GetTickCount(); pause && WorkPending() && GetTickCount() - begin < 10000;) {
      harness.Pump();
      Sleep(10);
    }
    EXPECT_EQ(!pause, WorkPending());
    harness.Pump();
    const size_t logs = harness.logs.size();
    const bool ended = Call(harness, block.get(), u"");
    gCreateFiller = SystemCreateFiller;
    gPendingWaitMs = 500;
    ASSERT_TRUE(ended);
    EXPECT_FALSE(WorkPending());
    EXPECT_FALSE(Exists(files[0]));
    EXPECT_GT(gRefused, 0);
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    ASSERT_EQ(logs + (pause ? 0 : 1), harness.logs.size()) << harness.LogText();
    EXPECT_NE(harness.LogText().find("Could not overwrite the old names in"), std::string::npos) << harness.LogText();
    ASSERT_TRUE(Call(harness, block.get(), u""));
    EXPECT_EQ(1, block->Reserved2);
    EXPECT_EQ(logs + (pause ? 0 : 1), harness.logs.size()) << harness.LogText();
  }
}

}  // namespace
}  // namespace qv::engine::test
