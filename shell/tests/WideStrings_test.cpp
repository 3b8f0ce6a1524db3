// Wide-string routines: buffers, comparisons, path parts and file-system tests.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "shell/VirtualWideStrings.h"

using namespace vws;

TEST(WideBuffers, LengthScanAndPosition) {
  const char16_t* s = u"C:\\dir\\file.txt";
  EXPECT_EQ(WideStrLen(s), 15u);
  EXPECT_EQ(WideStrLen(nullptr), 0u);
  EXPECT_EQ(WideStrScan(s, u'\\'), s + 2);
  EXPECT_EQ(WideStrScan(s, 0), s + 15);  // the terminator counts
  EXPECT_EQ(WideStrScan(s, u'#'), nullptr);
  EXPECT_EQ(WideStrRScan(s, u'\\'), s + 6);
  EXPECT_EQ(WideStrRScan(s, u'#'), nullptr);
  EXPECT_EQ(WideStrPos(s, u"file"), s + 7);
  EXPECT_EQ(WideStrPos(s, u""), nullptr);
  EXPECT_EQ(WideStrPos(u"ab", u"abc"), nullptr);
  EXPECT_EQ(WideStrPos(nullptr, u"a"), nullptr);
  EXPECT_EQ(WideStrPos(s, u"xyz"), nullptr);
  EXPECT_EQ(WideStrDriveDelim(s), s + 1);
  EXPECT_EQ(WideStrDriveDelim(u"\\\\server\\share"), nullptr);
}

TEST(WideBuffers, OverlappingMovesAndByteSwap) {
  char16_t buffer[8] = u"abcdef";
  WideStrMove(buffer + 1, buffer, 5);  // upwards over itself
  EXPECT_EQ(std::u16string(buffer), u"aabcde");
  WideStrMove(buffer, buffer + 1, 5);  // downwards
  EXPECT_EQ(std::u16string(buffer, 5), u"abcde");
  char16_t swapped[4] = {0x4100, 0x4200, 0, 0x4300};
  WideStrSwapByteOrder(swapped);
  EXPECT_EQ(swapped[0], u'A');
  EXPECT_EQ(swapped[1], u'B');
  EXPECT_EQ(swapped[3], 0x4300);  // stops at the first zero
}

TEST(WideBuffers, CompareInCodePointOrderWithCase) {
  EXPECT_EQ(WideStrComp(u"abc", u"abc"), 0);
  EXPECT_LT(WideStrComp(u"ABC", u"abc"), 0);
  EXPECT_LT(WideStrComp(u"ab", u"abc"), 0);
  EXPECT_GT(WideStrComp(u"b", u"abc"), 0);
  // A surrogate pair (above U+FFFF) sorts after U+FFFD, unlike plain unit order.
  EXPECT_GT(WideStrComp(u"\U0001F600", u"\uFFFD"), 0);
  EXPECT_LT(WideStrComp(u"\uD7FF", u"\uE000"), 0);
  EXPECT_LT(WideStrComp(u"\uE000", u"\U00010000"), 0);
}

TEST(WideBuffers, SystemCaseInsensitiveCompareAndCase) {
  EXPECT_EQ(WideStrICompOS(u"abc", u"ABC"), 0);
  EXPECT_LT(WideStrICompOS(u"abc", u"ABD"), 0);
  EXPECT_EQ(WideStrICompOS(u"\u00c4rger", u"\u00e4RGER"), 0);
  std::u16string s = u"\u00c4BC";
  WideStrLower(s.data());
  EXPECT_EQ(s, u"\u00e4bc");
  WideStrUpper(s.data());
  EXPECT_EQ(s, u"\u00c4BC");
  EXPECT_EQ(WideLowerCase(u"MiXeD \u0391"), u"mixed \u03b1");
  SetForceAnsiPath(true);
  EXPECT_EQ(WideStrICompOS(u"abc", u"ABC"), 0);
  EXPECT_EQ(WideLowerCase(u"ABC"), u"abc");
  SetForceAnsiPath(false);
}

TEST(WidePaths, PartsTable) {
  struct Case {
    std::u16string path, dir, drive, ext;
  } cases[] = {
      {u"C", u"C:\\", u"", u""},
      {u"c:", u"c:\\", u"", u""},
      {u"1", u"", u"", u""},
      {u"C:\\", u"C:\\", u"C:", u""},
      {u"C:\\a", u"C:\\", u"C:", u""},
      {u"C:\\a\\b.txt", u"C:\\a", u"C:", u".txt"},
      {u"C:\\a.dir\\readme", u"C:\\a.dir", u"C:", u""},
      {u"\\\\server\\share\\f.doc", u"", u"", u".doc"},
      {u"name.tar.gz", u"", u"", u".gz"},
      {u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(WideExtractFileDir(c.path), c.dir);
    EXPECT_EQ(WideExtractFileDrive(c.path), c.drive);
    EXPECT_EQ(WideExtractFileExt(c.path), c.ext);
  }
}

TEST(WidePaths, DrivesBackslashesAndNumbers) {
  EXPECT_TRUE(WideIsDrive(u"C:"));
  EXPECT_TRUE(WideIsDrive(u"z:\\"));
  EXPECT_FALSE(WideIsDrive(u"C:\\a"));
  EXPECT_FALSE(WideIsDrive(u"1:"));
  EXPECT_FALSE(WideIsDrive(u"C"));
  EXPECT_EQ(WideStripTrailingBackslash(u"C:\\"), u"C:\\");
  EXPECT_EQ(WideStripTrailingBackslash(u"C:\\", /*force=*/true), u"C:");
  EXPECT_EQ(WideStripTrailingBackslash(u"C:\\a\\"), u"C:\\a");
  EXPECT_EQ(WideStripTrailingBackslash(u"C:\\a/"), u"C:\\a");
  EXPECT_EQ(WideStripTrailingBackslash(u"C:\\a\\\\"), u"C:\\a\\");
  EXPECT_EQ(WideStripTrailingBackslash(u""), u"");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"C:\\a"), u"C:\\a\\");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"C:\\a\\"), u"C:\\a\\");
  EXPECT_EQ(WideIncludeTrailingBackslash(u""), u"\\");
  EXPECT_TRUE(WideIsPathDelimiter(u"a\\", 2));
  EXPECT_FALSE(WideIsPathDelimiter(u"a\\", 1));
  EXPECT_FALSE(WideIsPathDelimiter(u"a\\", 0));
  EXPECT_FALSE(WideIsPathDelimiter(u"a\\", 3));
  EXPECT_EQ(WideIntToStr(-2147483647 - 1), u"-2147483648");
  EXPECT_EQ(WideIntToStr(0), u"0");
  // The user's default format, decimals included: what the system itself gives.
  for (const char16_t* number : {u"1234567", u"12", u"-5"}) {
    wchar_t expected[129];
    ASSERT_GT(GetNumberFormatW(LOCALE_USER_DEFAULT, 0, reinterpret_cast<const wchar_t*>(number), nullptr, expected, 129),
              0);
    EXPECT_EQ(WideNumberFormat(number), std::u16string(reinterpret_cast<const char16_t*>(expected)));
  }
  EXPECT_EQ(WideNumberFormat(u"not a number"), u"not a number");
}

TEST(WidePaths, FileSystemTestsAndUniqueFolders) {
  shelltest::TempFolder folder;
  std::u16string file = folder.MakeFile(u"\u65e5\u672c.txt", 10);
  EXPECT_TRUE(WideFileExists(file));
  EXPECT_FALSE(WideDirectoryExists(file));
  EXPECT_TRUE(WideDirectoryExists(folder.Path()));
  EXPECT_FALSE(WideDirectoryExists(u""));
  EXPECT_FALSE(WideFileExists(folder / u"absent"));
  EXPECT_EQ(UniqueDirName(folder.Path()), folder / u"New Folder");
  ASSERT_TRUE(WideCreateDirectory(folder / u"New Folder"));
  ASSERT_TRUE(WideCreateDirectory(folder / u"New Folder (1)"));
  EXPECT_FALSE(WideCreateDirectory(folder / u"New Folder"));
  EXPECT_EQ(UniqueDirName(folder.Path() + u"\\"), folder / u"New Folder (2)");
  for (int n = 2; n <= 20; ++n) ASSERT_TRUE(WideCreateDirectory(folder / (u"Box (" + WideIntToStr(n) + u")")));
  ASSERT_TRUE(WideCreateDirectory(folder / u"Box"));
  ASSERT_TRUE(WideCreateDirectory(folder / u"Box (1)"));
  EXPECT_EQ(UniqueDirName(folder.Path(), u"Box"), u"");
  EXPECT_TRUE(DiskInDrive(u'c'));
  EXPECT_FALSE(DiskInDrive(u'1'));
  SetForceAnsiPath(true);
  EXPECT_TRUE(WideDirectoryExists(folder / u"Box"));
  EXPECT_TRUE(WideFileExists(folder / u"Box"));
  SetForceAnsiPath(false);
}

TEST(WideSystemText, OffsetNamesStayInsideTheirItem) {
  // One 6-byte item "ab" + "cd", the terminator, then bytes of no item.
  alignas(2) uint8_t pidl[] = {6, 0, 'a', 'b', 'c', 'd', 0, 0, 'E', 'V', 'I', 'L', 0};
  STRRET value{};
  value.uType = STRRET_OFFSET;
  value.uOffset = 2;
  EXPECT_EQ(vws::StrRetToWideStr(value, reinterpret_cast<LPCITEMIDLIST>(pidl)), u"abcd");
  value.uOffset = 4;
  EXPECT_EQ(vws::StrRetToWideStr(value, reinterpret_cast<LPCITEMIDLIST>(pidl)), u"cd");
  // Past the item's own size: nothing, not the bytes that follow it.
  for (UINT offset : {6u, 8u, 60000u}) {
    value.uOffset = offset;
    EXPECT_EQ(vws::StrRetToWideStr(value, reinterpret_cast<LPCITEMIDLIST>(pidl)), u"") << offset;
  }
  EXPECT_EQ(vws::StrRetToWideStr(value, nullptr), u"");
}
