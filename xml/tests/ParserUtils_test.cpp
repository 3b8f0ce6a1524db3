#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DomTestSupport.h"
#include "xml/DomException.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/ParserUtilsLiterals.h"
#include "xml/ParserUtilsNames.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/ParserUtilsXPathNumbers.h"

namespace {

TEST(DomException, FamilyAndFixedTexts) {
  EXPECT_EQ(EHierarchy_Request_Err().Message(), "Hierarchy request error.");
  EXPECT_EQ(ENot_Found_Err(DomMessage::kNodeNotFound).Message(), "Node not found.");
  EXPECT_EQ(MessageOf<EDomException>([] { throw EAS_Wrong_Element_Decl_Err(); }), "Wrong element declaration error.");
  EXPECT_EQ(MessageOf<EXPath_Exception>([] { throw EXPath_Type_Err(); }), "XPath type error.");
  EXPECT_EQ(MessageOf<Exception>([] { throw EParserException(); }), "Parser error.");
  EXPECT_EQ(DomMessageFormat(DomMessage::kNamespacePrefixNotFound, {u"p\u00E9"}),
            "Namespace URI of prefix 'p\xC3\xA9' not found.");
  EXPECT_EQ(DomMessageFormat(DomMessage::kTypeNotAllowed, {u"TdomText", u"TdomDocument"}),
            "Nodes of type TdomText are not allowed as children of nodes of type TdomDocument");
}

TEST(ParserUtilsNames, SplitQualifiedName) {
  std::u16string prefix = u"x", local = u"y";
  EXPECT_TRUE(SplitQualifiedName(u"a:b", prefix, local));
  EXPECT_EQ(prefix, u"a");
  EXPECT_EQ(local, u"b");
  EXPECT_TRUE(SplitQualifiedName(u"name", prefix, local));
  EXPECT_EQ(prefix, u"");
  EXPECT_EQ(local, u"name");
  for (const char16_t* bad : {u"a:b:c", u":b", u"a:", u"", u"1a", u"a:1"}) {
    prefix = u"x";
    local = u"y";
    EXPECT_FALSE(SplitQualifiedName(bad, prefix, local));
    EXPECT_EQ(prefix, u"");
    EXPECT_EQ(local, u"");
  }
  EXPECT_EQ(ExtractPrefix(u"p:l"), u"p");
  EXPECT_EQ(ExtractLocalName(u"p:l"), u"l");
  EXPECT_EQ(ExtractPrefix(u"l"), u"");
  EXPECT_EQ(MessageOf<EInvalid_Character_Err>([] { ExtractLocalName(u"p:"); }), "Invalid character error.");
  EXPECT_THROW(ExtractPrefix(u"a:b:c"), EInvalid_Character_Err);
}

TEST(ParserUtilsWhiteSpace, TrimAndCollapse) {
  EXPECT_EQ(TrimXmlWhiteSpaceWideStr(u"\t a b \r\n"), u"a b");
  EXPECT_EQ(TrimXmlWhiteSpaceWideStr(u" \t "), u"");
  EXPECT_EQ(TrimLeftXmlWhiteSpaceWideStr(u"\n a "), u"a ");
  EXPECT_EQ(TrimSpacesWideStr(u" \ta\t "), u"\ta\t");
  EXPECT_EQ(CollapseSpacesWideStr(u"  a   b\t\tc  "), u"a b\t\tc");
  EXPECT_EQ(CollapseSpacesWideStr(std::u16string(u" a  b\0 c", 8)), u"a b");
  EXPECT_EQ(NormalizeXmlWhiteSpaceWideStr(u"\r\n a \t\n b  "), u"a b");
  EXPECT_EQ(NormalizeXmlWhiteSpaceWideStr(std::u16string(u"a \0 b", 5)), u"a");
  EXPECT_EQ(NormalizeXmlWhiteSpaceWideStr(u""), u"");
}

TEST(ParserUtilsLiterals, QuotedLiteral) {
  std::u16string literal, rest;
  bool error = true;
  char16_t quote = 0;
  ParseQuotedLiteral(u"  'a\"b'  rest of it", literal, rest, error, quote);
  EXPECT_FALSE(error);
  EXPECT_EQ(literal, u"a\"b");
  EXPECT_EQ(rest, u"rest of it");
  EXPECT_EQ(quote, u'\'');
  ParseQuotedLiteral(u"\"\"", literal, rest, error, quote);
  EXPECT_FALSE(error);
  EXPECT_EQ(literal, u"");
  EXPECT_EQ(rest, u"");
  for (const char16_t* bad : {u"'", u"'abc", u"abc", u"'a'b", u"'a\uFFFEb'", u""}) {
    ParseQuotedLiteral(bad, literal, rest, error, quote);
    EXPECT_TRUE(error);
    EXPECT_EQ(quote, 0);
  }
}

TEST(ParserUtilsLiterals, EntityDeclValue) {
  std::u16string value, system, notation, pub;
  bool error = true;
  ParseEntityDeclValue(u" \"a &amp; b\"", value, system, error, notation, pub);
  EXPECT_FALSE(error);
  EXPECT_EQ(value, u"a &amp; b");
  ParseEntityDeclValue(u"SYSTEM 'pic.gif' NDATA gif ", value, system, error, notation, pub);
  EXPECT_FALSE(error);
  EXPECT_EQ(value, u"");
  EXPECT_EQ(system, u"pic.gif");
  EXPECT_EQ(notation, u"gif");
  ParseEntityDeclValue(u"PUBLIC \"-//A//B\" \"b.dtd\"", value, system, error, notation, pub);
  EXPECT_FALSE(error);
  EXPECT_EQ(pub, u"-//A//B");
  EXPECT_EQ(system, u"b.dtd");
  const char16_t* bad[] = {
      u"SYSTEM 'pic.gif'NDATA gif",  // NDATA glued to the literal
      u"SYSTEM 'pic.gif' NDATA",     // no notation name
      u"SYSTEM 'a' NDATA 1x",        // notation name is no Name
      u"SYSTEM 'a' junk",
      u"SYSTEM'a'",
      u"PUBLIC \"a<b\" \"c\"",       // not PubidChars
      u"PUBLIC \"a\"",               // no system literal
      u"\"a\" extra",
      u"\"50%\"",                    // '%' is not allowed in the value
      u"\"a &b c\"",
      u"x",
  };
  for (const char16_t* t : bad) {
    ParseEntityDeclValue(t, value, system, error, notation, pub);
    EXPECT_TRUE(error) << std::u16string(t).size();
    EXPECT_EQ(system, u"");
    EXPECT_EQ(notation, u"");
  }
}

TEST(ParserUtilsLiterals, NotationDeclId) {
  std::u16string system, pub;
  bool error = true;
  ParseNotationDeclId(u" SYSTEM 'viewer.exe' ", system, pub, error);
  EXPECT_FALSE(error);
  EXPECT_EQ(system, u"viewer.exe");
  ParseNotationDeclId(u"PUBLIC 'pub id'", system, pub, error);
  EXPECT_FALSE(error);
  EXPECT_EQ(pub, u"pub id");
  EXPECT_EQ(system, u"");
  ParseNotationDeclId(u"PUBLIC 'pub' \"sys\"", system, pub, error);
  EXPECT_FALSE(error);
  EXPECT_EQ(system, u"sys");
  for (const char16_t* t : {u"SYSTEM 'a' 'b'", u"PUBLIC 'a' 'b' c", u"PUBLIC 'a' b", u"SYSTEMX 'a'", u"PUBLIC"}) {
    ParseNotationDeclId(t, system, pub, error);
    EXPECT_TRUE(error);
  }
}

TEST(ParserUtilsLiterals, ParenthesesAndQuotes) {
  std::u16string inner;
  bool error = true;
  StripParenthesesWideStr(u"  ( a | b )\t", inner, error);
  EXPECT_FALSE(error);
  EXPECT_EQ(inner, u"a | b");
  StripParenthesesWideStr(u"()", inner, error);
  EXPECT_FALSE(error);
  EXPECT_EQ(inner, u"");
  StripParenthesesWideStr(u"(a", inner, error);
  EXPECT_TRUE(error);
  StripParenthesesWideStr(u")", inner, error);
  EXPECT_TRUE(error);
  EXPECT_EQ(EscapeQuotesWideStr(u"a\"b'c"), u"a&#34;b&#39;c");
}

TEST(ParserUtilsCharRefs, ValuesAndLimits) {
  EXPECT_EQ(XmlCharRefToInt(u"&#65;"), 65u);
  EXPECT_EQ(XmlCharRefToInt(u"&#x1F600;"), 0x1F600u);
  EXPECT_EQ(XmlCharRefToInt(u"&#x10FFFF;"), 0x10FFFFu);
  EXPECT_EQ(XmlCharRefToInt(u"&#0000000000000000000000065;"), 65u);
  EXPECT_EQ(XmlCharRefToWideStr(u"&#x1F600;"), u"\U0001F600");
  EXPECT_EQ(XmlCharRefToWideStr(u"&#x1F600;").size(), 2u);
  const char16_t* bad[] = {
      u"&#xD800;", u"&#x110000;", u"&#0;", u"&#xFFFE;", u"&#x8;",
      u"&#4294967361;",          // 2^32 + 65 must not wrap to 'A'
      u"&#x100000041;",          // the same in hex
      u"&#99999999999999999999;", u"&#65", u"&65;", u"&#x;",
  };
  for (const char16_t* t : bad) {
    EXPECT_THROW(XmlCharRefToInt(t), EConvertError) << std::u16string(t).size();
  }
  EXPECT_EQ(MessageOf<EConvertError>([] { XmlCharRefToInt(u"&#4294967361;"); }),
            "&#4294967361; is not a valid XmlCharRef value.");
}

TEST(ParserUtilsCharRefs, ResolveInText) {
  EXPECT_EQ(ResolveCharRefsWideStr(u"x&#65;y &amp; &#x1F600;"), u"xAy &amp; \U0001F600");
  EXPECT_EQ(ResolveCharRefsWideStr(u"\uFEFFa"), u"\uFEFFa");
  EXPECT_EQ(ResolveCharRefsWideStr(u""), u"");
  struct Case {
    std::u16string text;
    const char* message;
  };
  const Case cases[] = {
      {std::u16string{char16_t(0xDC00), u'a'}, "WideString must not start with a UTF-16 low surrogate."},
      {std::u16string{u'a', char16_t(0xD800)}, "WideString must not end with a UTF-16 high surrogate."},
      {std::u16string{char16_t(0xD800), u'a'},
       "WideString contains an UTF-16 high surrogate without its corresponding low surrogate."},
      {std::u16string{u'a', char16_t(1)}, "WideString contains an invalid character."},
      {u"a & b", "WideString contains an '&' without a ';'."},
      {u"a &1; b", "WideString contains an invalid reference &1;."},
      {u"&#4294967361;", "&#4294967361; is not a valid XmlCharRef value."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageOf<EConvertError>([&] { ResolveCharRefsWideStr(c.text); }), c.message);
  }
}

TEST(ParserUtilsXPathNumbers, Round) {
  struct Case {
    double x, expected;
    bool negativeZero;
  };
  const Case cases[] = {
      {2.5, 3, false}, {-2.5, -2, false}, {-0.3, 0, true}, {-0.5, 0, true}, {-0.0, 0, true},
      {0.0, 0, false}, {0.49999999999999994, 0, false}, {-0.49999999999999994, 0, true},
      {1.5, 2, false}, {4503599627370497.0, 4503599627370497.0, false}, {-1e300, -1e300, false},
      {2.4999999999999996, 2, false},
  };
  for (const auto& c : cases) {
    double r = XPathRound(c.x);
    EXPECT_EQ(r, c.expected) << c.x;
    EXPECT_EQ(std::signbit(r), c.negativeZero || c.expected < 0) << c.x;
  }
  EXPECT_TRUE(std::isnan(XPathRound(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(XPathRound(-std::numeric_limits<double>::infinity()), -std::numeric_limits<double>::infinity());
}

TEST(ParserUtilsXPathNumbers, WideStrToNumber) {
  EXPECT_EQ(XPathWideStrToNumber(u"12.5"), 12.5);
  EXPECT_EQ(XPathWideStrToNumber(u" \t-3\n "), -3);
  EXPECT_EQ(XPathWideStrToNumber(u".5"), 0.5);
  EXPECT_EQ(XPathWideStrToNumber(u"0.1"), 0.1);
  EXPECT_EQ(XPathWideStrToNumber(u"9007199254740993"), 9007199254740992.0);  // ties to even
  EXPECT_EQ(XPathWideStrToNumber(std::u16string(310, u'0') + u"1"), 1);
  EXPECT_EQ(XPathWideStrToNumber(u"0." + std::u16string(400, u'0') + u"1"), 0);
  EXPECT_EQ(XPathWideStrToNumber(u"1" + std::u16string(400, u'0')), std::numeric_limits<double>::infinity());
  double negativeZero = XPathWideStrToNumber(u"-0");
  EXPECT_EQ(negativeZero, 0);
  EXPECT_TRUE(std::signbit(negativeZero));
  EXPECT_TRUE(std::signbit(XPathWideStrToNumber(u"-0." + std::u16string(400, u'0') + u"1")));
  EXPECT_EQ(XPathWideStrToNumber(u" 5. "), 5);
  EXPECT_EQ(XPathWideStrToNumber(u"-12."), -12);
  for (const char16_t* t : {u"-", u"", u"  ", u"1.2.3", u"+4", u"1e3", u"--1", u"- 1", u".", u"-.", u"1 2",
                            u"\u0661", u"0x10"}) {
    EXPECT_TRUE(std::isnan(XPathWideStrToNumber(t))) << std::u16string(t).size();
  }
}

}  // namespace
