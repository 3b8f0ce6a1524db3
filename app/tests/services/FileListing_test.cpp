// What the confirm list lists, against the plainest listing: every checked
// path, each folder's files and then its subfolders each followed by their
// content, every text once (the first time it is reached). Random trees in
// the temp folder, random checked paths that overlap, repeat, differ in case
// or trailing backslashes, or do not exist. Every item found carries its key.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FileListing.h"
#include "NeededFolders.h"

namespace {

LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// One listed item as text: its path, whether found, whether a folder, its size.
std::u16string Line(const TListedItem& item) {
  std::string flags = std::string(item.found ? "found " : "missing ") + (item.folder ? "folder " : "file ") +
                      std::to_string(item.size);
  return item.path + u" " + Wide(flags);
}

// The listing written as plainly as it is described.
class TPlainListing {
public:
  std::vector<std::u16string> List(const std::vector<std::u16string>& checked) {
    for (const std::u16string& path : checked) {
      if (path.empty()) continue;
      if (IsDriveRootPath(path)) {
        Scan(path);
        continue;
      }
      std::u16string bare = path.back() == u'\\' ? path.substr(0, path.size() - 1) : path;
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!GetFileAttributesExW(W(bare), GetFileExInfoStandard, &data)) {
        TListedItem missing;
        missing.path = path;
        Add(missing);
        continue;
      }
      TListedItem item = Found(bare, data.dwFileAttributes, data.nFileSizeLow);
      // Keyed by its exact name only: the wipe takes no other.
      WIN32_FIND_DATAW entry;
      HANDLE find = FindFirstFileW(W(bare), &entry);
      FindClose(find);
      Add(item, find != INVALID_HANDLE_VALUE && bare.ends_with(reinterpret_cast<const char16_t*>(entry.cFileName)));
      if (item.folder) Scan(item.path);
    }
    return lines;
  }

private:
  static TListedItem Found(const std::u16string& path, DWORD attributes, DWORD size) {
    TListedItem item;
    item.found = true;
    item.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.path = path;
    if (item.folder && path.back() != u'\\') item.path += u'\\';
    if (!item.folder) item.size = size;
    return item;
  }
  void Add(const TListedItem& item, bool keyed = true) {
    if (seen.insert(item.path).second)
      lines.push_back(Line(item) + (item.found ? (keyed ? u" keyed" : u" not keyed") : u""));
  }
  // Files first, then each subfolder followed by its content.
  void Scan(const std::u16string& folder) {
    std::vector<TListedItem> files, folders;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(folder + u"*"), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
      if (name == u"." || name == u"..") continue;
      TListedItem item = Found(folder + name, data.dwFileAttributes, data.nFileSizeLow);
      (item.folder ? folders : files).push_back(item);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const TListedItem& file : files) Add(file);
    for (const TListedItem& sub : folders) {
      Add(sub);
      Scan(sub.path);
    }
  }

  std::set<std::u16string> seen;
  std::vector<std::u16string> lines;
};

// Each item found carries the key of the object its path opens (a folder's
// volume and the file ID it lists) with its name: what the wipe compares.
// That key and the key of every folder on its way are among the keys handed
// to the engine (the wipe reaches it through them).
std::vector<std::u16string> Listed(const std::vector<std::u16string>& checked) {
  std::vector<std::u16string> lines;
  std::vector<std::pair<size_t, TListedItem>> keyedItems;  // with their lines
  const std::vector<TItemKey> keys = ListCheckedKeys(checked, [&](TListedItem&& item) {
    TItemKey opened;
    const std::u16string bare = item.path.back() == u'\\' ? item.path.substr(0, item.path.size() - 1) : item.path;
    const std::u16string name = bare.substr(bare.find_last_of(u'\\') + 1);
    // The stamp read from the item's own handle, which under Wine gives what its folder lists.
    HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(bare.c_str()), FILE_READ_ATTRIBUTES, 7, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    const bool read = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
                      GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard);
    CloseHandle(handle);
    TEntryStamp stamp{uint64_t(basic.CreationTime.QuadPart), uint64_t(basic.ChangeTime.QuadPart),
                      uint64_t(standard.EndOfFile.QuadPart)};
    if (item.folder) stamp = {};
    const bool keyed =
        item.keyed && KeyOfPath(bare, opened) && read && QvEntryKey(opened, opened.fileId, name, stamp) == item.key;
    lines.push_back(Line(item) + (item.found ? (keyed ? u" keyed" : u" not keyed") : u""));
    if (item.keyed) keyedItems.emplace_back(lines.size() - 1, item);
  });
  std::map<std::u16string, bool> folderListed;
  auto listed = [&](const TItemKey& key) { return std::binary_search(keys.begin(), keys.end(), key); };
  for (const auto& [line, item] : keyedItems) {
    bool reached = listed(item.key);
    const size_t last = item.path.find_last_of(u'\\', item.path.size() - 2);  // before its own name
    for (size_t at = item.path.find(u'\\'); reached && at <= last; at = item.path.find(u'\\', at + 1)) {
      const std::u16string folder = item.path.substr(0, at == 2 ? 3 : at);
      TItemKey key;
      if (!folderListed.contains(folder)) folderListed[folder] = KeyOfPath(folder, key) && listed(key);
      reached = folderListed[folder];
    }
    if (!reached) lines[line] += u" not among the keys";
  }
  return lines;
}

class FileListingModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    root = reinterpret_cast<const char16_t*>(temp);
    root += u"qvlisting_" + Wide(std::to_string(GetCurrentProcessId())) + u"\\";
    CreateDirectoryW(W(root), nullptr);
  }
  void TearDown() override { Remove(root); }
  static void Remove(const std::u16string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(folder + u"*"), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
        if (name == u"." || name == u"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(folder + name + u"\\");
        else DeleteFileW(W(folder + name));
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(W(folder));
  }
  // A random tree under root; returns every path in it (folders with a backslash).
  std::vector<std::u16string> MakeTree(std::mt19937& random) {
    std::vector<std::u16string> paths, folders = {root};
    const char16_t* names[] = {u"alpha", u"Beta", u"c d", u"d.txt", u"e.bin", u"f", u"g.x.y"};
    for (size_t f = 0; f < folders.size() && f < 8; ++f) {
      for (const char16_t* name : names) {
        if (random() % 3 == 0) continue;
        std::u16string path = folders[f] + name;
        if (random() % 3 == 0 && folders.size() < 8) {
          CreateDirectoryW(W(path), nullptr);
          folders.push_back(path + u"\\");
          paths.push_back(path + u"\\");
          continue;
        }
        HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, "0123456789", random() % 10, &written, nullptr);
        CloseHandle(file);
        paths.push_back(path);
      }
    }
    return paths;
  }

  std::u16string root;
};

TEST_F(FileListingModelTest, ListsWhatThePlainListingDoes) {
  const int rounds = std::getenv("QV_LONG") ? 100 : 12;
  std::mt19937 random(36);
  for (int round = 0; round < rounds; ++round) {
    Remove(root);
    CreateDirectoryW(W(root), nullptr);
    std::vector<std::u16string> paths = MakeTree(random);
    paths.push_back(root);
    for (int pick = 0; pick < 25; ++pick) {
      std::vector<std::u16string> checked;
      // Mostly a few overlapping paths; now and then more than are compared one by one.
      const size_t count = random() % 8 == 0 ? 70 + random() % 10 : 1 + random() % 6;
      for (size_t i = 0; i < count; ++i) {
        std::u16string path = paths[random() % paths.size()];
        switch (random() % 8) {
          case 0:  // without the folder's backslash
            if (path.back() == u'\\') path.pop_back();
            break;
          case 1:  // another case, which the file system finds and the listing keeps apart
            for (char16_t& c : path)
              if (c >= u'a' && c <= u'z' && random() % 2) c = static_cast<char16_t>(c - 32);
            break;
          case 2:
            path += u"missing";
            break;
          default:
            break;
        }
        checked.push_back(path);
      }
      if (pick == 0) {  // the root and every item in it, each folder before its content, as the tree hands them
        checked = {root};
        for (size_t i = 0; i + 1 < paths.size(); ++i)
          checked.push_back(paths[i].substr(0, paths[i].find_last_not_of(u'\\') + 1));
      }
      const std::vector<std::u16string> want = TPlainListing().List(checked);
      const std::vector<std::u16string> got = Listed(checked);
      if (got == want) continue;
      std::string which;
      for (const std::u16string& path : checked) which += std::string(path.begin(), path.end()) + "; ";
      FAIL() << "round " << round << ", checked " << which << got.size() << " items against " << want.size();
    }
  }
}

// A folder the system needs, known by key: a checked item that is it, lies
// in it (reached by any name) or holds it is named
// with it and gives no row; what a refused checked folder holds goes with it;
// the rest is listed.
TEST_F(FileListingModelTest, NeededFoldersAreNamedNotListed) {
  const std::u16string sys = root + u"sys";
  for (const std::u16string& folder : {sys, sys + u"\\inner", root + u"other"}) CreateDirectoryW(W(folder), nullptr);
  for (const std::u16string& file : {sys + u"\\a.dll", sys + u"\\inner\\b.dll", root + u"other\\c.txt"})
    CloseHandle(CreateFileW(W(file), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const TNeededFolders needed({sys});
  std::u16string upper = sys + u"\\INNER\\B.DLL";
  const struct {
    std::vector<std::u16string> checked;
    std::vector<std::u16string> rows;
    std::vector<std::u16string> named;
  } cases[] = {
      {{sys}, {}, {sys}},
      {{sys + u"\\a.dll"}, {}, {sys + u"\\a.dll"}},
      {{upper}, {}, {upper}},
      {{root, root + u"other\\c.txt"}, {}, {root}},
      {{root + u"other"}, {root + u"other\\", root + u"other\\c.txt"}, {}},
      {{root + u"other", root + u"other\\c.txt"}, {root + u"other\\", root + u"other\\c.txt"}, {}},
  };
  for (const auto& c : cases) {
    TListingKeys keys;
    std::vector<std::u16string> rows;
    ListCheckedItems(c.checked, [&](TListedItem&& item) { rows.push_back(item.path); }, &keys, &needed);
    std::vector<std::u16string> named;
    for (const TNeededTick& tick : keys.needed) {
      named.push_back(tick.path);
      EXPECT_TRUE(tick.folder == sys) << std::string(tick.folder.begin(), tick.folder.end());
    }
    EXPECT_EQ(rows, c.rows) << std::string(c.checked[0].begin(), c.checked[0].end());
    EXPECT_EQ(named, c.named) << std::string(c.checked[0].begin(), c.checked[0].end());
  }
}

// A listing that fails after its first block is not a complete one: the
// checked folder is named with the system's reason, and gives no row.
BOOL WINAPI FailsAfterTheFirstBlock(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer, DWORD bytes) {
  if (kind == FileIdBothDirectoryRestartInfo) return GetFileInformationByHandleEx(folder, kind, buffer, bytes);
  return SetLastError(ERROR_NETNAME_DELETED), FALSE;
}
TEST_F(FileListingModelTest, AListingCutShortAfterItsFirstBlockNamesItsFolder) {
  CreateDirectoryW(W(root + u"cut"), nullptr);
  CloseHandle(CreateFileW(W(root + u"cut\\a.txt"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  TListingKeys keys;
  ReadFolderBlock = FailsAfterTheFirstBlock;
  size_t rows = 0;
  ListCheckedItems({root + u"cut"}, [&](TListedItem&&) { ++rows; }, &keys);
  ReadFolderBlock = GetFileInformationByHandleEx;
  EXPECT_EQ(rows, 0u);
  ASSERT_EQ(keys.needed.size(), 1u);
  EXPECT_EQ(keys.needed[0].unreadable, ErrorWords(ERROR_NETNAME_DELETED));
}

// Under Wine a file directly in the prefix (beside the system's drive) is
// named with that folder, not with the Windows folder.
TEST(FileListingTest, AFileBesideTheSystemDriveIsNamedWithItsOwnFolder) {
  if (std::getenv("WINEPREFIX") == nullptr) GTEST_SKIP() << "not under Wine";
  std::u16string folder = u"Z:";
  for (const char* c = std::getenv("WINEPREFIX"); *c != 0; ++c)
    folder += *c == '/' ? u'\\' : static_cast<char16_t>(*c);
  const TNeededFolders needed = TNeededFolders::OfThisSystem();
  TListingKeys keys;
  ListCheckedItems({folder + u"\\system.reg"}, [](TListedItem&&) {}, &keys, &needed);
  EXPECT_TRUE(keys.needed.size() == 1 && keys.needed[0].folder == folder);
}

}  // namespace
