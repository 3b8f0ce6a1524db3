// The protected folders against a model: random wipes of files and folders
// of a small tree in which some folders are protected, each path given in a
// random form (another drive letter for the same folder, another case, the
// long-path prefix, a trailing backslash, a short name, a trailing dot, a
// folder link to the folder holding it, a letter mapped to a folder inside the
// tree, which may lie in a protected folder or be one). The
// model: a protected folder, everything below one and everything holding
// one is refused and nothing changes; a path that names nothing changes
// nothing; anything else goes with all it holds and nothing else changes.
// QV_PROTECT_MODEL_STEPS sets the number of wipes (a long run); CI runs 40.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "EngineHarness.h"
#include "GuardedWipe.h"
#include "PathNames.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

struct Item {
  std::u16string relative;  // "\a\b" below the model's top
  bool folder;
  std::string content;
};

bool Below(const std::u16string& path, const std::u16string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == u'\\';
}

class Model {
 public:
  Model(char drive, char alias, char letter, std::mt19937& random)
      : drive_(drive), alias_(alias), letter_(letter), random_(random) {}

  // A fresh tree: three folders of two subfolders, two files in each folder;
  // two of its folders (or the tree's top) protected. It always lies at the
  // same place, where the model's letter leads into it; the tree before it
  // is moved aside. Every folder gets a link to it.
  void Build(int generation) {
    top_ = u"\\pmodel-live";
    links_ = u"pmodel-links" + Utf16(std::to_string(generation));
    items_.clear();
    std::u16string live = Root(drive_) + top_.substr(1);
    if (Exists(live)) {
      std::u16string aside = Root(drive_) + u"pmodel-old" + Utf16(std::to_string(generation));
      ASSERT_TRUE(MoveFileW(Wide(live), Wide(aside)));
    }
    ASSERT_TRUE(CreateDirectoryW(Wide(live), nullptr));
    for (int f = 0; f < 3; ++f) {
      std::u16string folder = u"\\Folder" + Utf16(std::to_string(f)) + u"-with-a-long-name";
      AddFolder(folder);
      for (int s = 0; s < 2; ++s) AddFolder(folder + u"\\sub" + Utf16(std::to_string(s)));
    }
    protected_.clear();
    std::vector<std::u16string> folders;
    for (const Item& item : items_)
      if (item.folder) folders.push_back(item.relative);
    for (int i = 0; i < 2; ++i) protected_.push_back(folders[random_() % folders.size()]);
    std::vector<std::u16string> full;
    for (const std::u16string& p : protected_) full.push_back(Root(drive_) + top_.substr(1) + p);
    guard_ = ProtectedFolders::ForPaths(full);
    ASSERT_TRUE(CreateDirectoryW(Wide(Root(drive_) + links_), nullptr));
    folders.push_back(u"");
    std::string request;
    for (size_t i = 0; i < folders.size(); ++i) {
      std::string target = "../pmodel-live" + Narrow(folders[i]);
      for (char& c : target) c = c == '\\' ? '/' : c;
      request += "link " + Narrow(links_) + "/L" + std::to_string(i) + " " + target + "\n";
      linkOf_[folders[i]] = links_ + u"\\L" + Utf16(std::to_string(i));
    }
    ASSERT_TRUE(AskHost(drive_, request));
  }

  // Wipes one random item of the tree in a random form and checks the drive
  // against the model. False when nothing is left to wipe.
  bool Step(std::string& trace) {
    std::vector<const Item*> candidates;
    for (const Item& item : items_) candidates.push_back(&item);
    if (candidates.empty()) return false;
    const Item target = *candidates[random_() % candidates.size()];
    int form = int(random_() % 9);
    // The model's letter leads to this folder of the tree.
    const std::u16string lettered = u"\\Folder1-with-a-long-name";
    bool refused = false;
    for (const std::u16string& p : protected_) {
      if (target.relative == p || Below(target.relative, p) || Below(p, target.relative)) refused = true;
    }
    std::u16string path = PathIn(target, form);
    if (form == 8 && letter_ && Below(target.relative, lettered)) {
      path = Root(letter_) + target.relative.substr(lettered.size() + 1);
    } else if (form == 8 && letter_ && target.relative == lettered && refused) {
      path = Root(letter_);  // a root is emptied, never removed: only a refusal fits the model
    }
    trace += "wipe " + Narrow(path) + "\n";
    // A trailing dot names another, absent item; so does another case of the
    // folders holding it, on the host folders that tell case apart. A path
    // through a link is refused: no ticked path leads through one.
    bool namesNothing = form == 6 || form == 2 || form == 7;
    std::map<std::u16string, std::string> expected = Expected();
    if (!refused && !namesNothing) {
      for (auto it = expected.begin(); it != expected.end();) {
        std::u16string key = it->first;
        if (key.back() == u'\\') key.pop_back();
        it = key == target.relative || Below(key, target.relative) ? expected.erase(it) : std::next(it);
      }
    }
    GuardedWipeOutcome outcome = WipeUnderGuard(guard_, path);
    EXPECT_TRUE(outcome.finished) << trace;
    std::map<std::u16string, std::string> actual;
    FolderContents(Root(drive_) + top_.substr(1), actual);
    EXPECT_EQ(expected, actual) << trace << outcome.log;
    EXPECT_EQ(refused || namesNothing ? 1u : 0u, outcome.failures) << trace << outcome.log;
    if (refused && !namesNothing) {
      EXPECT_TRUE(outcome.protectedLine) << trace << outcome.log;
    }
    if (expected != actual) return false;
    // The model follows the drive.
    std::vector<Item> left;
    for (const Item& item : items_) {
      std::u16string key = item.relative + (item.folder ? u"\\" : u"");
      if (actual.count(key)) left.push_back(item);
    }
    items_ = left;
    return !::testing::Test::HasFailure();
  }

  size_t Left() const { return items_.size(); }

 private:
  void AddFolder(const std::u16string& folder) {
    std::u16string full = Root(drive_) + top_.substr(1) + folder;
    ASSERT_TRUE(CreateDirectoryW(Wide(full), nullptr));
    items_.push_back({folder, true, ""});
    for (int i = 0; i < 2; ++i) {
      std::u16string file = folder + u"\\file" + Utf16(std::to_string(i)) + u".txt";
      std::string content = "content of " + Narrow(file) + " " + std::to_string(random_());
      ASSERT_TRUE(WriteWholeFile(Root(drive_) + top_.substr(1) + file, content));
      items_.push_back({file, false, content});
    }
  }

  std::map<std::u16string, std::string> Expected() const {
    std::map<std::u16string, std::string> out;
    for (const Item& item : items_) out[item.relative + (item.folder ? u"\\" : u"")] = item.content;
    return out;
  }

  std::u16string PathIn(const Item& item, int form) {
    std::u16string path = Root(drive_) + top_.substr(1) + item.relative;
    switch (form) {
      case 1:  // the same folder under another letter
        path[0] = char16_t(alias_);
        break;
      case 2: {  // another case for the folders holding it (a host folder tells the last name's case apart)
        size_t last = path.rfind(u'\\');
        for (size_t i = 0; i < last; ++i) {
          char16_t& c = path[i];
          c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        }
        break;
      }
      case 3:
        path = u"\\\\?\\" + path;
        break;
      case 4:
        if (item.folder) path += u"\\";
        break;
      case 5: {  // the short name, where the system makes one
        std::vector<wchar_t> shortName(1024);
        DWORD n = GetShortPathNameW(Wide(path), shortName.data(), DWORD(shortName.size()));
        if (n != 0 && n < shortName.size()) path = reinterpret_cast<const char16_t*>(shortName.data());
        break;
      }
      case 6:
        path += u".";
        break;
      case 7: {  // through a link to the folder holding it
        size_t last = item.relative.rfind(u'\\');
        path = Root(drive_) + linkOf_.at(item.relative.substr(0, last)) + item.relative.substr(last);
        break;
      }
      default:
        break;
    }
    return path;
  }

  char drive_, alias_, letter_;
  std::mt19937& random_;
  std::u16string top_;
  std::u16string links_;                            // the folder of this tree's links
  std::map<std::u16string, std::u16string> linkOf_;  // folder -> its link, below the drive's root
  std::vector<Item> items_;
  std::vector<std::u16string> protected_;
  ProtectedFolders guard_;
};

TEST(ProtectedModelTest, RandomWipesAroundProtectedFoldersFollowTheModel) {
  char drive = TestDrive("FOLDER_DRIVE");
  char alias = TestDrive("FOLDER_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("protected folders against a model");
  const char* steps = std::getenv("QV_PROTECT_MODEL_STEPS");
  int count = steps ? std::atoi(steps) : 40;
  // QV_PROTECT_MODEL_SEED replays a run.
  const char* given = std::getenv("QV_PROTECT_MODEL_SEED");
  unsigned seed = given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
  std::mt19937 random(seed);
  Model model(drive, alias, TestDrive("MODEL_LETTER"), random);
  int generation = 0;
  model.Build(generation++);
  std::string trace = "seed " + std::to_string(seed) + "\n";
  for (int step = 0; step < count && !HasFailure(); ++step) {
    // A tree left with only protected items (and their holders) is replaced.
    if (model.Left() == 0 || step % 12 == 11) {
      model.Build(generation++);
      trace += "new tree\n";
      if (HasFailure()) break;
    }
    if (!model.Step(trace)) break;
  }
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// A program folder deeper than 520 characters is protected like any other:
// the folder, what it holds and what holds it, under either letter.
TEST(ProtectedModelTest, AProgramFolderPastFiveHundredCharactersIsProtected) {
  char drive = TestDrive("FOLDER_DRIVE");
  char alias = TestDrive("FOLDER_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("a long protected folder");
  std::u16string top = Root(drive) + u"longprog";
  std::u16string folder = top;
  ASSERT_TRUE(CreateDirectoryW(Wide(u"\\\\?\\" + folder), nullptr));
  for (int i = 0; folder.size() < 600; ++i) {
    folder += u"\\" + std::u16string(50, char16_t(u'a' + i));
    ASSERT_TRUE(CreateDirectoryW(Wide(u"\\\\?\\" + folder), nullptr));
  }
  std::u16string file = folder + u"\\program.exe";
  ASSERT_TRUE(WriteWholeFile(u"\\\\?\\" + file, "the program"));
  ASSERT_TRUE(CreateDirectoryW(Wide(u"\\\\?\\" + folder + u"\\lang"), nullptr));
  ASSERT_TRUE(WriteWholeFile(u"\\\\?\\" + folder + u"\\lang\\de.lng", "a language"));
  ProtectedFolders guard = ProtectedFolders::ForPaths({folder});
  std::u16string aliased = folder;
  aliased[0] = char16_t(alias);
  const std::u16string refused[] = {folder, file, folder + u"\\lang", folder + u"\\lang\\de.lng", top,
                                    u"\\\\?\\" + aliased + u"\\program.exe", aliased.substr(0, aliased.rfind(u'\\'))};
  for (const std::u16string& path : refused) {
    GuardedWipeOutcome outcome = WipeUnderGuard(guard, path);
    ASSERT_TRUE(outcome.finished) << Narrow(path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_TRUE(outcome.protectedLine) << outcome.log;
  }
  std::string content;
  EXPECT_TRUE(ReadWholeFile(u"\\\\?\\" + file, content));
  EXPECT_EQ("the program", content);
  EXPECT_TRUE(ReadWholeFile(u"\\\\?\\" + folder + u"\\lang\\de.lng", content));
  EXPECT_EQ("a language", content);
}

// The folder a letter leads to, moved away: Wine looks at the drives' roots
// at most once a second, and until it looks again it names the moved folder,
// and what it holds, after the letter, which already leads to the new folder
// made in its place. A guard made then protects where the folder really
// lies, not the new folder; a wipe there is not misled either.
TEST(ProtectedModelTest, AFolderJustMovedFromUnderALetterLendsTheLetterNothing) {
  char drive = TestDrive("FOLDER_DRIVE");
  char letter = TestDrive("MODEL_LETTER");
  if (!drive || !letter) QV_SKIP_LOUDLY("a folder just moved from under a letter");
  const std::u16string live = Root(drive) + u"pmodel-live";
  const std::u16string lettered = u"\\Folder1-with-a-long-name";
  const std::u16string run = Utf16(std::to_string(GetCurrentProcessId()));
  auto makeTree = [&](const char* file) {
    for (const std::u16string& folder : {live, live + lettered, live + lettered + u"\\prog"})
      if (!CreateDirectoryW(Wide(folder), nullptr)) return false;
    return WriteWholeFile(live + lettered + u"\\prog\\" + Utf16(file), file);
  };
  auto nameOf = [](const std::u16string& path) {
    HANDLE at = CreateFileW(Wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (at == INVALID_HANDLE_VALUE) return std::u16string();
    std::u16string name = PlaceOf(at);
    CloseHandle(at);
    return name;
  };
  const std::u16string letterRoot = u"\\\\?\\" + Root(letter);
  std::u16string moved;
  bool stale = false;
  for (int attempt = 0; attempt < 5 && !stale; ++attempt) {
    if (Exists(live)) {
      std::u16string before = Root(drive) + u"pmodel-before-" + run + u"-" + Utf16(std::to_string(attempt));
      ASSERT_TRUE(MoveFileW(Wide(live), Wide(before)));
    }
    ASSERT_TRUE(makeTree("keep.txt"));
    // Once Wine names the letter's root after the letter it has just looked
    // at the drives: the tree is moved and made again well within the second.
    for (int i = 0; i < 300 && _wcsicmp(Wide(nameOf(Root(letter))), Wide(letterRoot)) != 0; ++i) Sleep(10);
    moved = Root(drive) + u"pmodel-moved-" + run + u"-" + Utf16(std::to_string(attempt));
    ASSERT_TRUE(MoveFileW(Wide(live), Wide(moved)));
    ASSERT_TRUE(makeTree("new.txt"));
    std::u16string name = nameOf(moved + lettered + u"\\prog");
    stale = name.size() > 5 && (name[4] & ~0x20) == (letter & ~0x20);
  }
  if (!stale) QV_SKIP_LOUDLY("a folder just moved from under a letter (Wine named it by its place at once)");
  ProtectedFolders guard = ProtectedFolders::ForPaths({moved + lettered + u"\\prog"});
  FileKey now = KeyOfFolder(Root(letter));
  ASSERT_EQ(FileKey::Source::UnixDevice, now.source);
  EXPECT_EQ(nullptr, guard.Covered({}, ToLongPath(live + lettered), now));
  EXPECT_EQ(nullptr, guard.Is({}, ToLongPath(live + lettered + u"\\prog"), KeyOfFolder(Root(letter) + u"prog")));
  GuardedWipeOutcome outcome = WipeUnderGuard(guard, Root(letter) + u"prog");
  EXPECT_EQ(0u, outcome.failures) << outcome.log;
  EXPECT_FALSE(Exists(live + lettered + u"\\prog")) << outcome.log;
  outcome = WipeUnderGuard(guard, live + lettered);
  EXPECT_EQ(0u, outcome.failures) << outcome.log;
  EXPECT_FALSE(Exists(live + lettered)) << outcome.log;
  // What really holds the protected folder, and what it holds, stay.
  for (const std::u16string& path : {moved + lettered + u"\\prog\\keep.txt", moved + lettered, moved}) {
    outcome = WipeUnderGuard(guard, path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_TRUE(outcome.protectedLine) << outcome.log;
  }
  EXPECT_TRUE(Exists(moved + lettered + u"\\prog\\keep.txt"));
}

}  // namespace
}  // namespace qv::engine::test
