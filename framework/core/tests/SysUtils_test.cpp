#include "core/SysUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "core/Exception.h"

namespace {

TEST(StrToInt, Table) {
  struct Case {
    const char* text;
    bool valid;
    int32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"+42", true, 42},
      {"-42", true, -42},
      {" 1", true, 1},
      {"\t7", true, 7},
      {"007", true, 7},
      {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999", false, 0},
      {"$FF", true, 255},
      {"$ff", true, 255},
      {"0xFF", true, 255},
      {"0X1a", true, 26},
      {"-$10", true, -16},
      {"$7FFFFFFF", true, INT_MAX},
      {"$FFFFFFFF", true, -1},
      {"$100000000", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"1 ", false, 0},
      {"1a", false, 0},
      {"1.0", false, 0},
      {"--1", false, 0},
      {"$G", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t value = 12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.valid);
    if (c.valid) {
      EXPECT_EQ(value, c.value);
      EXPECT_EQ(StrToInt(c.text), c.value);
    } else {
      EXPECT_EQ(value, 12345);
      EXPECT_EQ(StrToIntDef(c.text, -9), -9);
      EXPECT_THROW(StrToInt(c.text), EConvertError);
    }
  }
}

TEST(StrToInt, ErrorTextNamesTheInput) {
  try {
    StrToInt("2147483648");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'2147483648' is not a valid integer value");
  }
  try {
    StrToInt("");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'' is not a valid integer value");
  }
}

TEST(StrToInt, SixtyFourBitRange) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), int64_t{1} << 32);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_THROW(StrToInt64("$10000000000000000"), EConvertError);
  EXPECT_EQ(StrToInt64Def("x", 3), 3);
}

TEST(IntToText, DecimalAndHex) {
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToWideStr(-12), u"-12");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(UINT64_MAX, 1), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(-1, 4), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-2}, 4), "FFFFFFFFFFFFFFFE");
  EXPECT_EQ(IntToHex(static_cast<int16_t>(-1), 2), "FFFF");
}

TEST(TextCase, AsciiOnlyCaseAndComparison) {
  EXPECT_EQ(UpperCase("abc\xe9Z1"), "ABC\xe9Z1");
  EXPECT_EQ(LowerCase("ABC\xc9z"), "abc\xc9z");
  EXPECT_EQ(WideUpperCase(u"ab\u00e9"), u"AB\u00e9");
  EXPECT_TRUE(SameText("Misc", "MISC"));
  EXPECT_FALSE(SameText("Misc", "Misc "));
  EXPECT_TRUE(WideSameText(u"Abc", u"aBC"));
  EXPECT_EQ(CompareText("abc", "ABD"), -1);
  EXPECT_EQ(CompareText("abc", "AB"), 1);
  EXPECT_EQ(CompareText("", ""), 0);
  // Underscore lies between the cases in ASCII; upper-casing decides its place.
  EXPECT_EQ(CompareText("_", "a"), 1);
  EXPECT_EQ(CompareStr("a", "B"), 1);
  EXPECT_EQ(CompareStr("\x80", "a"), 1);  // bytes compare unsigned
  EXPECT_EQ(WideCompareText(u"b", u"A"), 1);
}

TEST(TextCase, TrimRemovesSpacesAndControls) {
  EXPECT_EQ(Trim(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xa0x"), "\xa0x");  // a high byte is text
  EXPECT_EQ(WideTrim(u" \u00a0 "), u"\u00a0");
}

TEST(FileNames, PartsTable) {
  struct Case {
    const char* name;
    const char* path;
    const char* file;
    const char* ext;
  };
  const Case cases[] = {
      {"C:\\Dir\\File.txt", "C:\\Dir\\", "File.txt", ".txt"},
      {"C:File.tar.gz", "C:", "File.tar.gz", ".gz"},
      {"dir/sub.d/name", "dir/sub.d/", "name", ""},
      {"\\\\server\\share\\a.", "\\\\server\\share\\", "a.", "."},
      {"plain", "", "plain", ""},
      {".hidden", "", ".hidden", ".hidden"},
      {"", "", "", ""},
      {"C:\\Dir\\", "C:\\Dir\\", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractFilePath(c.name), c.path);
    EXPECT_EQ(ExtractFileName(c.name), c.file);
    EXPECT_EQ(ExtractFileExt(c.name), c.ext);
  }
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\file.txt", ".lng"), "C:\\a.b\\file.lng");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\file", ".lng"), "C:\\a.b\\file.lng");
  EXPECT_EQ(ChangeFileExt("file.txt", ""), "file");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\Dir"), "C:\\Dir\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\Dir\\"), "C:\\Dir\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\Dir\\"), "C:\\Dir");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\Dir"), "C:\\Dir");
  EXPECT_EQ(WideExtractFileName(u"C:\\\u0416.txt"), u"\u0416.txt");
  EXPECT_EQ(WideExtractFilePath(u"C:\\\u0416.txt"), u"C:\\");
  EXPECT_EQ(WideChangeFileExt(u"a.txt", u".xml"), u"a.xml");
  EXPECT_EQ(WideIncludeTrailingPathDelimiter(u"C:"), u"C:\\");
  EXPECT_EQ(WideExcludeTrailingPathDelimiter(u"C:\\"), u"C:");
  EXPECT_EQ(WideExtractFileExt(u"a.b/c"), u"");
}

TEST(Unicode, Utf8AndUtf16RoundTripAndRepairs) {
  EXPECT_EQ(Utf8ToUtf16("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), u"a\u00e9\u20ac\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u20ac\U0001F600"), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  // Bad UTF-8: a stray continuation, an overlong slash, a truncated sequence, an
  // encoded surrogate; each bad lead byte becomes one U+FFFD.
  EXPECT_EQ(Utf8ToUtf16("\x80x"), u"\uFFFDx");
  EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xe2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xf4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  // Lone surrogates in UTF-16.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xef\xbf\xbd");
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Unicode, SystemCodePageRoundTripsAscii) {
  EXPECT_EQ(AnsiToWide("Hello, 1.0"), u"Hello, 1.0");
  EXPECT_EQ(WideToAnsi(u"Hello, 1.0"), "Hello, 1.0");
  EXPECT_EQ(WideToAnsi(u""), "");
}

}  // namespace

namespace {

TEST(FloatText, ToAndFromText) {
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(-1234.5), "-1234.5");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(0), "0");

  struct Case {
    const char* text;
    bool valid;
    double value;
  };
  const Case cases[] = {
      {"1.5", true, 1.5},   {" -2", true, -2},     {"+.5", true, 0.5},  {"2E-3", true, 0.002},
      {"1e3", true, 1000},  {"5.", true, 5},       {"", false, 0},      {".", false, 0},
      {"1,5", false, 0},    {"1.5 ", false, 0},    {"e5", false, 0},    {"--1", false, 0},
      {"1e999", false, 0},  {"nan", false, 0},     {"inf", false, 0},   {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double value = -99;
    EXPECT_EQ(TryStrToFloat(c.text, value), c.valid);
    if (c.valid) {
      EXPECT_DOUBLE_EQ(value, c.value);
    } else {
      EXPECT_EQ(value, -99);
      EXPECT_EQ(StrToFloatDef(c.text, 7), 7);
    }
  }
  try {
    StrToFloat("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
}

}  // namespace
