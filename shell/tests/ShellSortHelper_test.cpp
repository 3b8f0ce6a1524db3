// The explorer's sort rules on items of a test folder.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "shell/ShellSortHelper.h"
#include "shell/ShellUtilities.h"

namespace {

struct SortFixture : ::testing::Test {
  shelltest::TempFolder folder;
  TShellSortHelper helper;
  std::vector<TNamespace*> items;

  TNamespace* Item(const std::u16string& path) {
    items.push_back(TNamespace::CreateFromFileName(path));
    return items.back();
  }
  ~SortFixture() override {
    for (TNamespace* item : items) item->Free();
  }
};

}  // namespace

TEST_F(SortFixture, FoldersComeFirst) {
  TNamespace* dir = Item(folder.MakeFolder(u"zzz"));
  TNamespace* file = Item(folder.MakeFile(u"aaa.txt", 1));
  EXPECT_EQ(helper.DiscriminateFolders(dir, file), -1);
  EXPECT_EQ(helper.DiscriminateFolders(file, dir), 1);
  EXPECT_EQ(helper.DiscriminateFolders(file, file), 0);
  EXPECT_LT(helper.SortFileSize(dir, file), 0);
  EXPECT_LT(helper.SortString(u"z", u"a", dir, file), 0);
  helper.SetFileSort(fsFileExtension);
  EXPECT_LT(helper.SortType(dir, file), 0);
  EXPECT_GT(helper.SortType(file, dir), 0);
}

TEST_F(SortFixture, ExtensionsCompareWithoutCaseThenByName) {
  TNamespace* b = Item(folder.MakeFile(u"b.txt", 1));
  TNamespace* a = Item(folder.MakeFile(u"a.TXT", 1));
  TNamespace* c = Item(folder.MakeFile(u"c.doc", 1));
  helper.SetFileSort(fsFileExtension);
  EXPECT_GT(helper.SortType(b, a), 0);  // equal extensions: the shell's name order puts a.TXT first
  EXPECT_LT(helper.SortType(a, b), 0);
  EXPECT_LT(helper.SortType(c, a), 0);  // ".doc" before ".txt"
  EXPECT_EQ(helper.SortType(a, a), 0);
}

TEST_F(SortFixture, SizesThenNames) {
  TNamespace* small = Item(folder.MakeFile(u"small.bin", 10));
  TNamespace* big = Item(folder.MakeFile(u"big.bin", 5000));
  TNamespace* alpha = Item(folder.MakeFile(u"alpha.bin", 10));
  EXPECT_EQ(helper.SortFileSize(big, small), 1);
  EXPECT_EQ(helper.SortFileSize(small, big), -1);
  EXPECT_LT(helper.SortFileSize(alpha, small), 0);
  EXPECT_GT(helper.SortFileSize(small, alpha), 0);
}

TEST_F(SortFixture, TimesThenNames) {
  TNamespace* x = Item(folder.MakeFile(u"x.txt", 1));
  TNamespace* y = Item(folder.MakeFile(u"y.txt", 1));
  FILETIME early{1, 0}, late{2, 0};
  EXPECT_LT(helper.SortFileTime(early, late, y, x), 0);
  EXPECT_GT(helper.SortFileTime(late, early, x, y), 0);
  EXPECT_LT(helper.SortFileTime(early, early, x, y), 0);
}

TEST_F(SortFixture, CompareIDSortFallsBackToNames) {
  TNamespace* upper = Item(folder.MakeFile(u"Beta.txt", 1));
  TNamespace* lower = Item(folder.MakeFile(u"alpha.txt", 1));
  // Column 2 (type) is equal for both: the normal names decide, without case.
  EXPECT_LT(helper.CompareIDSort(2, lower, upper), 0);
  EXPECT_GT(helper.CompareIDSort(2, upper, lower), 0);
  EXPECT_LT(helper.CompareIDSort(0, lower, upper), 0);
  EXPECT_EQ(helper.CompareIDSort(0, lower, lower), 0);
  EXPECT_EQ(helper.SortString(u"same", u"SAME", lower, lower), 0);
  helper.SetFileSort(fsFileType);
  EXPECT_LT(helper.SortType(lower, upper), 0);
}
