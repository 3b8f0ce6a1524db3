// Substring search, number and size formatting, paths, conversions, version
// strings and JPEG resources of the utility unit.
#include "Utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "win/graphics/Graphics.h"
#include "win/graphics/Jpeg.h"

namespace {

TEST(Utils, PosExFindsFromOffset) {
  struct Case {
    const char* sub;
    const char* text;
    int offset;
    int expected;
  };
  const Case cases[] = {
      {"b", "abcb", 1, 2},   {"b", "abcb", 3, 4},   {"b", "abcb", 5, 0},   {"b", "abcb", 0, 0},
      {"b", "abcb", -3, 0},  {"", "abc", 1, 0},     {"a", "", 1, 0},       {"bc", "abc", 3, 0},
      {"bc", "abc", 2, 2},   {"B", "abc", 1, 0},    {"abcd", "abc", 1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PosEx(c.sub, c.text, c.offset), c.expected) << c.sub << " in " << c.text;
}

TEST(Utils, NthPosCountsOverlappingHits) {
  EXPECT_EQ(NthPos("1.6.0.92", ".", 3), 6);
  EXPECT_EQ(NthPos("1.6.0.92", ".", 4), 0);
  EXPECT_EQ(NthPos("1.6.0.92", ".", 1), 2);
  EXPECT_EQ(NthPos("1.6.0.92", ".", 0), 2);
  EXPECT_EQ(NthPos("aaa", "aa", 2), 2);
  EXPECT_EQ(NthPos("aaa", "aa", 3), 0);
  EXPECT_EQ(NthPos("", ".", 2), 0);
}

TEST(Utils, FormatThousandsAndSize) {
  struct Case {
    int64_t value;
    const char* thousands;
  };
  const Case thousands[] = {{0, "0"},          {100, "100"},         {999, "999"},         {1000, "1,000"},
                            {123456, "123,456"}, {1234567, "1,234,567"}, {-1234, "-1,234"}, {-123, "-123"},
                            {INT64_MAX, "9,223,372,036,854,775,807"}};
  for (const Case& c : thousands) EXPECT_EQ(FormatThousands(c.value), c.thousands) << c.value;

  const Case sizes[] = {{0, "0"},
                        {1023, "1,023"},
                        {1024, "1 KB"},
                        {1048576, "1,024 KB"},
                        {2097151, "2,047 KB"},
                        {2097152, "2 MB"},
                        {2147483647, "2,047 MB"},
                        {2147483648LL, "2 GB"},
                        {5368709120LL, "5 GB"},
                        {-5, "-5"}};
  for (const Case& c : sizes) EXPECT_EQ(FormatSize(c.value), c.thousands) << c.value;
}

TEST(Utils, ApplicationPathAndBuildNumber) {
  EXPECT_EQ(ApplicationPathOf("C:\\Quorvanell.exe"), "C:\\");
  EXPECT_EQ(ApplicationPathOf("C:\\Program Files\\Q\\Quorvanell.exe"), "C:\\Program Files\\Q\\");
  EXPECT_EQ(ApplicationPathOf("C:Quorvanell.exe"), "C:\\");
  std::string own = GetApplicationPath();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.back(), '\\');

  EXPECT_EQ(BuildNumberOf("1.6.0.92"), "92");
  EXPECT_EQ(BuildNumberOf("1092"), "1092");
  EXPECT_EQ(BuildNumberOf("1.6.0"), "1.6.0");
  EXPECT_EQ(BuildNumberOf(""), "");
}

TEST(Utils, ConversionsKeepLongTextWhole) {
  std::u16string wide(5000, u'x');
  wide[4999] = u'y';
  std::string ansi = WideStringToString(wide);
  ASSERT_EQ(ansi.size(), 5000u);
  EXPECT_EQ(ansi.back(), 'y');
  EXPECT_EQ(WideStringToString(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(WideStringToString(u""), "");

  std::u16string out = u"stale";
  EXPECT_EQ(StringToWideString(std::string("a\0b", 3), 0, out), 3);
  EXPECT_EQ(out, std::u16string(u"a\0b", 3));
  EXPECT_EQ(StringToWideString("", 0, out), 0);
  EXPECT_TRUE(out.empty());
  // Code page 1252: 0xE4 is a-umlaut.
  EXPECT_EQ(StringToWideString("\xE4", 1252, out), 1);
  EXPECT_EQ(out, u"\u00E4");
}

TEST(Utils, VersionStringsComeFromTheOwnResource) {
  FileDescription = ProductName = ProductVersion = FileVersion = BuildNumber = "stale";
  ReadVersionInfo();
  EXPECT_EQ(ProductName, "Quorvanell");
  EXPECT_EQ(ProductVersion, "1.0");
  EXPECT_EQ(FileDescription, "Quorvanell secure data eraser");
  EXPECT_EQ(FileVersion, "1.0.0.1");
  EXPECT_EQ(BuildNumber, "1");

  // A file without a version resource leaves the globals as they were.
  FileVersion = "kept";
  ReadVersionInfoFrom("C:\\does\\not\\exist.exe");
  ReadVersionInfoFrom("");
  EXPECT_EQ(FileVersion, "kept");
}

TEST(Utils, JpegResourcesDecodeOrRaise) {
  TPicture* picture = New<TPicture>();
  LoadJPEGResource("TESTPICTURE", picture);
  EXPECT_EQ(picture->Width(), 24);
  EXPECT_EQ(picture->Height(), 16);
  EXPECT_NE(dynamic_cast<TJPEGImage*>(picture->Graphic()), nullptr);
  EXPECT_THROW(LoadJPEGResource("BROKENPICTURE", picture), Exception);
  EXPECT_THROW(LoadJPEGResource("NOSUCHPICTURE", picture), Exception);
  // A failed load keeps the picture it had.
  EXPECT_EQ(picture->Width(), 24);
  picture->Free();
}

TEST(Utils, ShellTypeNamesAndIcons) {
  std::string type = "untouched";
  EXPECT_TRUE(GetFileTypeName("C:\\nowhere\\folder", FILE_ATTRIBUTE_DIRECTORY, type));
  EXPECT_FALSE(type.empty());
  std::string tooLong(3000, 'a');
  type = "untouched";
  EXPECT_FALSE(GetFileTypeName(tooLong + ".txt", FILE_ATTRIBUTE_NORMAL, type));
  EXPECT_EQ(type, "untouched");
  EXPECT_EQ(GetFileIconHandle(tooLong, true), nullptr);
  HICON icon = GetFileIconHandle("C:\\nowhere\\file.txt", true);
  if (icon != nullptr) DestroyIcon(icon);
}

TEST(Utils, ExecuteProgramReportsFailureLiterally) {
  std::string reported;
  static std::string* sink = nullptr;
  sink = &reported;
  TUtilsErrorReporter saved = UtilsErrorReporter;
  UtilsErrorReporter = [](const std::string& text) { *sink = text; };
  EXPECT_FALSE(ExecuteProgram("C:\\no such folder\\%d%n%s.exe", ""));
  UtilsErrorReporter = saved;
  EXPECT_EQ(reported, "Unable to execute external program C:\\no such folder\\%d%n%s.exe.");
}

}  // namespace
