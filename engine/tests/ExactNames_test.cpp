// Names the system would rewrite: a trailing dot or space is part of the
// name, so "dir." and "dir", "bar " and "bar" are different siblings, and a
// path through a folder "d." never reaches "d". Each pair is set up on a
// folder drive, one of it is wiped through the library, the other must stay
// byte for byte as it was.
#include <gtest/gtest.h>

#include <map>

#include "EngineHarness.h"
#include "NtFiles.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};

std::u16string Long(const std::u16string& path) { return u"\\\\?\\" + path; }
bool MakeFolder(const std::u16string& path) {
  return CreateDirectoryW(reinterpret_cast<const wchar_t*>(Long(path).c_str()), nullptr) != FALSE;
}

TEST(ExactNameTest, NamesEndingInDotsOrSpacesAreWipedAndTheirSiblingsKept) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("names ending in dots or spaces");
  std::u16string top = Root(drive) + u"exact";
  ASSERT_TRUE(MakeFolder(top));
  for (const char16_t* folder : {u"\\dir.", u"\\dir", u"\\d.", u"\\d", u"\\e ", u"\\e"}) ASSERT_TRUE(MakeFolder(top + folder));
  const std::pair<const char16_t*, const char*> files[] = {
      {u"\\dir.\\gone.txt", "ticked folder's file"}, {u"\\dir\\keep.txt", "sibling folder's file"},
      {u"\\bar ", "ticked file"},                    {u"\\bar", "sibling file"},
      {u"\\bar.", "another sibling"},                {u"\\d.\\x.txt", "through a middle folder"},
      {u"\\d\\x.txt", "the same name beside it"},    {u"\\e \\y.txt", "ticked with its folder"},
      {u"\\e\\y.txt", "kept with its folder"},
  };
  for (const auto& [name, content] : files) ASSERT_TRUE(WriteWholeFile(Long(top + name), content)) << Narrow(name);
  std::map<std::u16string, std::string> before;
  EXPECT_TRUE(FolderContents(Long(top), before));
  ASSERT_EQ(size_t(15), before.size());

  // Ticked: the folder "dir.", the file "bar ", the file inside "d.", the
  // folder "e " (given with a trailing backslash and forward slashes).
  const std::u16string ticked[] = {top + u"\\dir.", top + u"\\bar ", top + u"\\d.\\x.txt",
                                   std::u16string(1, char16_t(drive)) + u":/exact/e /"};
  for (const std::u16string& path : ticked) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, path);
    ASSERT_TRUE(harness.RunFile(block.get()));
    EXPECT_EQ(0, block->Reserved2) << Narrow(path) << "\n" << harness.LogText();
  }
  std::map<std::u16string, std::string> expected = before;
  for (const char16_t* gone : {u"\\dir.\\", u"\\dir.\\gone.txt", u"\\bar ", u"\\d.\\x.txt", u"\\e \\", u"\\e \\y.txt"})
    ASSERT_EQ(size_t(1), expected.erase(gone)) << Narrow(gone);
  std::map<std::u16string, std::string> after;
  EXPECT_TRUE(FolderContents(Long(top), after));
  EXPECT_EQ(expected, after);
}

// On a case-sensitive folder "Data" and "data" are two entries: each is
// wiped alone, and a name matching both only without case matches neither.
TEST(ExactNameTest, NamesDifferingOnlyInCaseAreDifferentEntries) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("names differing only in case");
  ASSERT_TRUE(AskHost(drive,
                      "dir cased/Data\ndir cased/data\nfile cased/Data/keep.txt kept\nfile cased/data/gone.txt gone\n"
                      "file cased/Note.txt kept-note\nfile cased/note.txt gone-note\n"));
  std::u16string top = Root(drive) + u"cased";
  std::map<std::u16string, std::string> before;
  EXPECT_TRUE(FolderContents(Long(top), before));
  if (before.size() != 6u) QV_SKIP_LOUDLY("this system shows no names differing only in case");
  for (const std::u16string& path : {top + u"\\DATA", top + u"\\NOTE.TXT"}) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, path);
    ASSERT_TRUE(harness.RunFile(block.get()));
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"none of them is named exactly so")) << harness.LogText();
  }
  std::map<std::u16string, std::string> after;
  EXPECT_TRUE(FolderContents(Long(top), after));
  EXPECT_EQ(before, after);
  for (const std::u16string& path : {top + u"\\data", top + u"\\note.txt"}) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, path);
    ASSERT_TRUE(harness.RunFile(block.get()));
    EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  }
  std::map<std::u16string, std::string> expected = {
      {u"\\Data\\", ""}, {u"\\Data\\keep.txt", "kept"}, {u"\\Note.txt", "kept-note"}};
  after.clear();
  EXPECT_TRUE(FolderContents(Long(top), after));
  EXPECT_EQ(expected, after);
}

// A ticked name that has gone, leaving only a sibling that differs from it in
// case: on a folder that tells case apart (every folder of a drive Wine maps
// to a host folder) the sibling is another item and stays, also where
// opening by name would reach it.
TEST(ExactNameTest, ANameGoneBesideItsCaseVariantIsNotWipedInItsPlace) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a ticked name gone beside its case variant");
  std::u16string top = Root(drive) + u"casegone";
  ASSERT_TRUE(MakeFolder(top));
  ASSERT_TRUE(MakeFolder(top + u"\\photos"));
  ASSERT_TRUE(WriteWholeFile(Long(top + u"\\photos\\p.jpg"), "picture"));
  ASSERT_TRUE(WriteWholeFile(Long(top + u"\\readme.txt"), "text"));
  HANDLE folder = CreateFileW(reinterpret_cast<const wchar_t*>(Long(top).c_str()), FILE_READ_ATTRIBUTES, 7, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, folder);
  bool ignoresCase = IgnoresCase(folder);
  CloseHandle(folder);
  if (ignoresCase) QV_SKIP_LOUDLY("this folder looks names up without case");
  std::map<std::u16string, std::string> before;
  EXPECT_TRUE(FolderContents(Long(top), before));
  for (const std::u16string& path : {top + u"\\Photos", top + u"\\README.txt", top + u"\\photos\\P.JPG",
                                     top + u"\\Photos\\p.jpg"}) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, path);
    ASSERT_TRUE(harness.RunFile(block.get()));
    EXPECT_EQ(1, block->Reserved2) << Narrow(path) << "\n" << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"from it in case")) << harness.LogText();
    // A refused item ends with the finishing message of one that could not
    // be wiped, as other refused items do (a folder's with State 4 and a backslash).
    const bool folder = path == top + u"\\Photos";
    ASSERT_EQ(1u, harness.progress.size()) << Narrow(path);
    EXPECT_EQ(folder ? path + u"\\" : path, harness.progress.back().path);
    EXPECT_EQ(100, harness.progress.back().progress);
    EXPECT_EQ(folder ? 4 : 2, harness.progress.back().state);
  }
  std::map<std::u16string, std::string> after;
  EXPECT_TRUE(FolderContents(Long(top), after));
  EXPECT_EQ(before, after);
}

// Wine shows a link to a file as a plain file, and the path of its handle
// drops trailing spaces: a link "bar " to its sibling "bar" must not be
// taken for a file of its own.
TEST(ExactNameTest, ALinkNamedLikeItsTargetWithATrailingSpaceIsNotFollowed) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a link with a trailing space");
  ASSERT_TRUE(AskHost(drive, "dir trail\nfile trail/bar data-of-bar\nlink trail/bar%20 bar\n"));
  std::u16string top = Root(drive) + u"trail";
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass, top + u"\\bar ");
  ASSERT_TRUE(harness.RunFile(block.get()));
  std::string content;
  EXPECT_TRUE(ReadWholeFile(Long(top + u"\\bar"), content));
  EXPECT_EQ("data-of-bar", content) << harness.LogText();
  // Removed where the system can remove the link itself, else left and counted.
  EXPECT_EQ(Exists(Long(top + u"\\bar ")) ? 1 : 0, block->Reserved2) << harness.LogText();
}

TEST(ExactNameTest, RelativeAndDottedPathsAreRefused) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("relative paths");
  std::u16string top = Root(drive) + u"dotted";
  ASSERT_TRUE(MakeFolder(top));
  ASSERT_TRUE(MakeFolder(top + u"\\a"));
  ASSERT_TRUE(WriteWholeFile(top + u"\\b.txt", "kept"));
  for (const std::u16string& path : {top + u"\\a\\..\\b.txt", top + u"\\.\\b.txt", std::u16string(u"dotted\\b.txt")}) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, path);
    ASSERT_TRUE(harness.RunFile(block.get()));
    EXPECT_EQ(1, block->Reserved2) << Narrow(path);
    EXPECT_TRUE(harness.Logged(u"Not a usable path: " + path)) << harness.LogText();
  }
  std::string content;
  EXPECT_TRUE(ReadWholeFile(top + u"\\b.txt", content));
  EXPECT_EQ("kept", content);
}

}  // namespace
}  // namespace qv::engine::test
