#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "xml/XmlRules.h"

namespace {

struct CodePointCase {
  uint32_t c;
  bool base, letter, combining, digit, extender, nameChar;
};

// Boundaries of the Appendix B ranges, on both sides.
TEST(XmlRulesChars, ClassBoundaries) {
  const CodePointCase cases[] = {
      {'A', true, true, false, false, false, true},
      {'@', false, false, false, false, false, false},
      {'[', false, false, false, false, false, false},
      {0xC0, true, true, false, false, false, true},
      {0xD7, false, false, false, false, false, false},  // multiplication sign
      {0xF7, false, false, false, false, false, false},  // division sign
      {0x0131, true, true, false, false, false, true},
      {0x0132, false, false, false, false, false, false},
      {0x0386, true, true, false, false, false, true},
      {0x0387, false, false, false, false, true, true},
      {0x0300, false, false, true, false, false, true},
      {0x0346, false, false, false, false, false, false},
      {0x0660, false, false, false, true, false, true},
      {0x066A, false, false, false, false, false, false},
      {0x0BE6, false, false, false, false, false, false},  // Tamil digits start at 0BE7
      {0x0BE7, false, false, false, true, false, true},
      {0x0F29, false, false, false, true, false, true},
      {0x3007, false, true, false, false, false, true},
      {0x3021, false, true, false, false, false, true},
      {0x302A, false, false, true, false, false, true},
      {0x3005, false, false, false, false, true, true},
      {0x30FE, false, false, false, false, true, true},
      {0x4E00, false, true, false, false, false, true},
      {0x9FA5, false, true, false, false, false, true},
      {0x9FA6, false, false, false, false, false, false},
      {0xAC00, true, true, false, false, false, true},
      {0xD7A3, true, true, false, false, false, true},
      {0xD7A4, false, false, false, false, false, false},
      {0x10000, false, false, false, false, false, false},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << t.c);
    EXPECT_EQ(IsXmlBaseChar(t.c), t.base);
    EXPECT_EQ(IsXmlLetter(t.c), t.letter);
    EXPECT_EQ(IsXmlCombiningChar(t.c), t.combining);
    EXPECT_EQ(IsXmlDigit(t.c), t.digit);
    EXPECT_EQ(IsXmlExtender(t.c), t.extender);
    EXPECT_EQ(IsXmlNameChar(t.c), t.nameChar);
    if (t.c < 0x10000) {
      EXPECT_EQ(IsXmlNameCharWideChar(char16_t(t.c)), t.nameChar);
    }
  }
}

TEST(XmlRulesChars, AsciiClasses) {
  EXPECT_TRUE(IsXmlNameChar(':'));
  EXPECT_FALSE(IsXmlNCNameCharWideChar(u':'));
  EXPECT_TRUE(IsXmlNCNameCharWideChar(u'-'));
  EXPECT_TRUE(IsXmlWhiteSpaceOrNull(0));
  EXPECT_FALSE(IsXmlWhiteSpace(0));
  EXPECT_FALSE(IsXmlWhiteSpaceWideChar(0xA0));
  EXPECT_TRUE(IsXmlHexDigit('f'));
  EXPECT_FALSE(IsXmlHexDigit('g'));
  EXPECT_FALSE(IsXmlDecDigit(0x0660));
  EXPECT_TRUE(IsXmlVersionNumChar(':'));
  EXPECT_FALSE(IsXmlEncNameLeadingChar('1'));
  EXPECT_TRUE(IsXmlEncNameFollowingChar('-'));
  EXPECT_FALSE(IsXmlEncNameFollowingChar(':'));
  EXPECT_TRUE(IsXmlPubidChar(u'%'));
  EXPECT_FALSE(IsXmlPubidChar(u'"'));
  EXPECT_FALSE(IsXmlPubidChar(u'\t'));
  EXPECT_EQ(GetXmlWhiteSpaceWideStr(), u" \r\n\t");
}

TEST(XmlRulesChars, XmlCharIsACodeUnitTest) {
  EXPECT_FALSE(IsXmlChar(0x08));
  EXPECT_TRUE(IsXmlChar(0x09));
  EXPECT_TRUE(IsXmlChar(0xD800));
  EXPECT_TRUE(IsXmlChar(0xDFFF));
  EXPECT_TRUE(IsXmlChar(0xFFFD));
  EXPECT_FALSE(IsXmlChar(0xFFFE));
}

TEST(XmlRulesStrings, XmlCharsSurrogates) {
  EXPECT_TRUE(IsXmlChars(u""));
  EXPECT_TRUE(IsXmlChars(u"a\U0001F600b"));
  EXPECT_FALSE(IsXmlChars(std::u16string(1, char16_t(0xD83D))));
  EXPECT_FALSE(IsXmlChars(std::u16string(1, char16_t(0xDE00))));
  EXPECT_FALSE(IsXmlChars(std::u16string{char16_t(0xD83D), u'a'}));
  EXPECT_FALSE(IsXmlChars(std::u16string{u'a', char16_t(0xDE00), char16_t(0xD83D)}));
  EXPECT_FALSE(IsXmlChars(std::u16string(1, char16_t(0xFFFF))));
  EXPECT_FALSE(IsXmlChars(std::u16string(1, u'\0')));
}

struct NameCase {
  const char16_t* s;
  bool name, ncName, qName, nmtoken;
};

TEST(XmlRulesStrings, Names) {
  const NameCase cases[] = {
      {u"", false, false, false, false},
      {u":", true, false, false, true},
      {u"_", true, true, true, true},
      {u"a:b", true, false, true, true},
      {u":b", true, false, false, true},
      {u"a:", true, false, false, true},
      {u"a:b:c", true, false, false, true},
      {u"1a", false, false, false, true},
      {u"-x", false, false, false, true},
      {u"x-1.2", true, true, true, true},
      {u"a b", false, false, false, false},
      {u"\u0300a", false, false, false, true},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(std::u16string(t.s).size());
    EXPECT_EQ(IsXmlName(t.s), t.name);
    EXPECT_EQ(IsXmlNCName(t.s), t.ncName);
    EXPECT_EQ(IsXmlQName(t.s), t.qName);
    EXPECT_EQ(IsXmlNmtoken(t.s), t.nmtoken);
  }
}

TEST(XmlRulesStrings, NameLists) {
  EXPECT_TRUE(IsXmlNames(u"a b:c _d"));
  EXPECT_FALSE(IsXmlNames(u"a  b"));
  EXPECT_FALSE(IsXmlNames(u"a b "));
  EXPECT_FALSE(IsXmlNames(u" a"));
  EXPECT_FALSE(IsXmlNames(u""));
  EXPECT_FALSE(IsXmlNames(u"a 1b"));
  EXPECT_TRUE(IsXmlNmtokens(u"1 -2 .3"));
  EXPECT_FALSE(IsXmlNmtokens(u"1  2"));
  EXPECT_FALSE(IsXmlNmtokens(u"1 "));
}

TEST(XmlRulesStrings, References) {
  EXPECT_TRUE(IsXmlCharRef(u"&#1;"));
  EXPECT_TRUE(IsXmlCharRef(u"&#x1aF;"));
  EXPECT_FALSE(IsXmlCharRef(u"&#;"));
  EXPECT_FALSE(IsXmlCharRef(u"&#x;"));
  EXPECT_FALSE(IsXmlCharRef(u"&#X41;"));
  EXPECT_FALSE(IsXmlCharRef(u"&#1a;"));
  EXPECT_FALSE(IsXmlCharRef(u"&#12"));
  EXPECT_TRUE(IsXmlEntityRef(u"&amp;"));
  EXPECT_FALSE(IsXmlEntityRef(u"&;"));
  EXPECT_FALSE(IsXmlEntityRef(u"&1a;"));
  EXPECT_TRUE(IsXmlReference(u"&#65;"));
  EXPECT_TRUE(IsXmlReference(u"&lt;"));
  EXPECT_TRUE(IsXmlPredefinedEntityName(u"apos"));
  EXPECT_FALSE(IsXmlPredefinedEntityName(u"Amp"));
}

TEST(XmlRulesStrings, LiteralsAndData) {
  EXPECT_TRUE(IsXmlEntityValueChars(u"a &amp; &#65; b"));
  EXPECT_FALSE(IsXmlEntityValueChars(u"a % b"));
  EXPECT_FALSE(IsXmlEntityValueChars(u"a & b;"));
  EXPECT_FALSE(IsXmlEntityValueChars(u"a &amp"));
  EXPECT_FALSE(IsXmlEntityValueChars(u"'\""));
  EXPECT_TRUE(IsXmlSystemLiteral(u"'a\"b'"));
  EXPECT_TRUE(IsXmlSystemLiteral(u"\"\""));
  EXPECT_FALSE(IsXmlSystemLiteral(u"'a'b'"));
  EXPECT_FALSE(IsXmlSystemLiteral(u"'a\""));
  EXPECT_FALSE(IsXmlSystemLiteral(u"'"));
  EXPECT_TRUE(IsXmlQuotableChars(u"it's"));
  EXPECT_FALSE(IsXmlQuotableChars(u"it's \"x\""));
  EXPECT_TRUE(IsXmlPubidChars(u"-//W3C//DTD XHTML 1.0//EN"));
  EXPECT_FALSE(IsXmlPubidChars(u"a<b"));
  EXPECT_TRUE(IsXmlCData(u"a]]b>"));
  EXPECT_FALSE(IsXmlCData(u"a]]>b"));
  EXPECT_FALSE(IsXmlCharData(u"a<b"));
  EXPECT_FALSE(IsXmlCharData(u"a&b"));
  EXPECT_TRUE(IsXmlCharData(u"a>b"));
}

TEST(XmlRulesStrings, DeclarationNames) {
  for (const char16_t* s : {u"xml", u"XML", u"xMl", u"XmL"}) EXPECT_FALSE(IsXmlPITarget(s));
  EXPECT_TRUE(IsXmlPITarget(u"xml-stylesheet"));
  EXPECT_TRUE(IsXmlPITarget(u"xmlfoo"));
  EXPECT_TRUE(IsXmlPITarget(u"xm"));
  EXPECT_TRUE(IsXmlVersionNum(u"1.0"));
  EXPECT_FALSE(IsXmlVersionNum(u""));
  EXPECT_FALSE(IsXmlVersionNum(u"1 0"));
  EXPECT_TRUE(IsXmlEncName(u"ISO-8859-1"));
  EXPECT_FALSE(IsXmlEncName(u"8859"));
  EXPECT_TRUE(IsXmlDefaultAttName(u"xmlns"));
  EXPECT_TRUE(IsXmlPrefixedAttName(u"xmlns:a"));
  EXPECT_FALSE(IsXmlPrefixedAttName(u"xmlns:"));
  EXPECT_FALSE(IsXmlPrefixedAttName(u"xmlns:a:b"));
  EXPECT_TRUE(IsXmlS(u" \t\r\n"));
  EXPECT_FALSE(IsXmlS(u""));
}

TEST(XmlRulesLanguage, SubLanguageTag) {
  EXPECT_TRUE(IsSubLanguageTag(u"en", u"EN"));
  EXPECT_TRUE(IsSubLanguageTag(u"en-US", u"en"));
  EXPECT_TRUE(IsSubLanguageTag(u"EN-us", u"en-US"));
  EXPECT_FALSE(IsSubLanguageTag(u"english", u"en"));
  EXPECT_FALSE(IsSubLanguageTag(u"e", u"en"));
  // Only ASCII letters fold: a dotless i or a Turkish capital never match i.
  EXPECT_FALSE(IsSubLanguageTag(u"\u0131t", u"IT"));
  EXPECT_FALSE(IsSubLanguageTag(u"\u0130T", u"it"));
  EXPECT_TRUE(IsAbnfALPHAWideChar(u'z'));
  EXPECT_FALSE(IsAbnfALPHAWideChar(u'\u00E9'));
  EXPECT_TRUE(IsAbnfDIGITWideChar(u'0'));
}

// The string rules walk ASCII with table lookups and whole runs at a time;
// here they are checked against the same rules spelt out one unit at a time
// with the character classes, on random strings drawn from an alphabet that
// crosses every boundary the fast walks decide on.
namespace reference {

bool Chars(std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
      continue;
    }
    if ((c >= 0xDC00 && c <= 0xDFFF) || !IsXmlChar(c)) return false;
  }
  return true;
}

bool Name(std::u16string_view s) {
  if (s.empty() || !(IsXmlLetterWideChar(s[0]) || s[0] == u'_' || s[0] == u':')) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    if (!IsXmlNameCharWideChar(s[i])) return false;
  }
  return true;
}

bool S(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (!IsXmlWhiteSpaceWideChar(c)) return false;
  }
  return true;
}

}  // namespace reference

TEST(XmlRulesStrings, FastWalksAgreeWithTheUnitRules) {
  const char16_t alphabet[] = {0x00,   0x08,   0x09,   0x0A,   0x0B,   0x0D,   0x1F,   u' ',   u'!',   u'&',
                               u'-',   u'.',   u'/',   u'0',   u'9',   u':',   u';',   u'<',   u'>',   u'?',
                               u'@',   u'A',   u'Z',   u'[',   u']',   u'_',   u'`',   u'a',   u'z',   u'{',
                               0x7F,   0x80,   0xB7,   0xC0,   0xD7,   0x300,  0x387,  0x660,  0x4E00, 0xD7FF,
                               0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFE, 0xFFFF};
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int rounds = std::getenv("QV_LONG") != nullptr ? 2000000 : 100000;
  for (int round = 0; round < rounds; ++round) {
    std::u16string s;
    size_t length = next() % 9;
    // Mostly plain text, so that long valid runs and late faults both occur.
    for (size_t i = 0; i < length; ++i) {
      s.push_back(next() % 3 == 0 ? alphabet[next() % std::size(alphabet)] : char16_t(u'a' + next() % 3));
    }
    if (next() % 4 == 0) s.insert(next() % (s.size() + 1), next() % 2 ? u"]]>" : u"]]");
    SCOPED_TRACE(::testing::PrintToString(std::vector<int>(s.begin(), s.end())));
    bool chars = reference::Chars(s);
    ASSERT_EQ(IsXmlChars(s), chars);
    ASSERT_EQ(IsXmlCData(s), chars && s.find(u"]]>") == std::u16string::npos);
    ASSERT_EQ(IsXmlCharData(s), chars && s.find_first_of(u"<&") == std::u16string::npos);
    ASSERT_EQ(IsXmlName(s), reference::Name(s));
    ASSERT_EQ(IsXmlS(s), reference::S(s));
  }
}

}  // namespace
