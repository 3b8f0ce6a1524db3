// Paths checked on disk against a model of what is there: random files and
// folders made and removed, then every path of a fixed set asked, with a
// fresh check and with one kept across the changes (it remembers the folders
// above; the last level is looked up every time). Case variants, a trailing
// dot and wildcards never match.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "ShellTestHelpers.h"
#include "shell/DiskCheck.h"
#include "shell/ExactNames.h"

using shelltest::TempFolder;

namespace {

const wchar_t* X(const std::u16string& path) {
  static std::u16string extended;
  extended = exactnames::ExtendedPath(path);
  return reinterpret_cast<const wchar_t*>(extended.c_str());
}

}  // namespace

TEST(DiskCheckModel, RandomChangesAreSeenAtEveryLevelByExactName) {
  TempFolder temp;
  const std::u16string root = temp.Path() + u"\\";
  // What is on disk below root: relative path to whether it is a folder.
  std::map<std::u16string, bool> model;
  const std::vector<std::u16string> names = {u"a", u"b", u"d"};
  std::vector<std::u16string> places;  // every relative path up to three levels
  for (const auto& one : names) {
    places.push_back(one);
    for (const auto& two : names) {
      places.push_back(one + u"\\" + two);
      for (const auto& three : names) places.push_back(one + u"\\" + two + u"\\" + three);
    }
  }
  auto parentOf = [](const std::u16string& place) {
    const size_t at = place.rfind(u'\\');
    return at == std::u16string::npos ? std::u16string() : place.substr(0, at);
  };
  std::mt19937 random(1);
  TDiskCheck kept;
  int seenThere = 0;
  for (int step = 0; step < 120; ++step) {
    const std::u16string place = places[random() % places.size()];
    const std::u16string parent = parentOf(place);
    const bool parentThere = parent.empty() || (model.count(parent) != 0 && model[parent]);
    if (model.count(place) != 0) {
      // Removed with all it holds.
      shelltest::RemoveTree(exactnames::ExtendedPath(root + place));
      for (auto it = model.begin(); it != model.end();)
        it = it->first == place || it->first.rfind(place + u"\\", 0) == 0 ? model.erase(it) : std::next(it);
    } else if (parentThere) {
      const bool folder = random() % 2 == 0;
      if (folder) {
        ASSERT_TRUE(CreateDirectoryW(X(root + place), nullptr));
      } else {
        HANDLE file = CreateFileW(X(root + place), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
      }
      model[place] = folder;
    }
    for (const std::u16string& asked : places) {
      for (const bool folder : {false, true}) {
        auto found = model.find(asked);
        const bool expected = found != model.end() && found->second == folder;
        seenThere += expected ? 1 : 0;
        TDiskCheck fresh;
        ASSERT_EQ(fresh.Matches(root + asked, folder), expected)
            << "step " << step << ": " << std::string(asked.begin(), asked.end()) << (folder ? " folder" : " file");
        ASSERT_EQ(kept.Matches(root + asked, folder), expected)
            << "step " << step << " (kept): " << std::string(asked.begin(), asked.end());
        if (!expected) continue;
        // Never under a name the file system merely takes for it.
        std::u16string upper = asked;
        upper.back() = static_cast<char16_t>(upper.back() - u'a' + u'A');
        EXPECT_FALSE(fresh.Matches(root + upper, folder));
        EXPECT_FALSE(fresh.Matches(root + asked + u".", folder));
        EXPECT_FALSE(fresh.Matches(root + asked.substr(0, asked.size() - 1) + u"?", folder));
        // A folder's path may end in a backslash.
        if (folder) EXPECT_TRUE(fresh.Matches(root + asked + u"\\", folder));
      }
    }
  }
  EXPECT_GT(seenThere, 60) << "the model hardly ever held anything";
}

// Many paths of one folder checked against one reading of it give the same
// answers as each looked up on its own.
TEST(DiskCheckModel, AFolderReadOnceAnswersAsLookingUpEachPath) {
  TempFolder temp;
  temp.MakeFile(u"file", 4);
  temp.MakeFolder(u"folder");
  for (const char16_t* name : {u"file", u"folder", u"FILE", u"file.", u"none", u"fil*"}) {
    for (const bool folder : {false, true}) {
      TDiskCheck one, read;
      const std::u16string path = temp / name;
      EXPECT_EQ(read.Matches(path, folder, /*readFolder=*/true), one.Matches(path, folder))
          << std::string(path.begin(), path.end());
    }
  }
  TDiskCheck check;
  EXPECT_TRUE(check.Matches(temp / u"file", false));
  EXPECT_TRUE(check.Matches(temp / u"folder", true));
  EXPECT_TRUE(check.Matches(u"C:\\", true));
  EXPECT_FALSE(check.Matches(u"relative\\file", false));
}
