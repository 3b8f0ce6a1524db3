// The input source's declaration reader and the tokenizers of documents,
// document type declarations and DTDs: token kinds, texts, errors and clues.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "XmlParserTestSupport.h"
#include "xml/XmlDoctypeTokenizer.h"
#include "xml/XmlDtdTokenizer.h"
#include "xml/WideStrStream.h"

namespace {

// A source over bytes (or over the UTF-16 of text with a mark).
struct Source {
  explicit Source(const std::string& bytes, const char16_t* defaultEncoding = u"UTF-8", bool afterDecl = true) {
    stream.reset(New<TStringStream>(bytes));
    Open(defaultEncoding, afterDecl);
  }
  explicit Source(const std::u16string& text) {
    stream.reset(New<TUtilsWideStringStream>(u"\uFEFF" + text));
    Open(u"UTF-8", true);
  }
  void Open(const char16_t* defaultEncoding, bool afterDecl) {
    source.reset(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(u"uri"), 4096,
                                      std::u16string(defaultEncoding), afterDecl, int64_t(0), int64_t(0), int64_t(0),
                                      int64_t(0), int64_t(1)));
  }
  std::unique_ptr<TStream> stream;
  std::unique_ptr<TXmlInputSource> source;
};

TEST(XmlInputSource, DeclarationKinds) {
  struct Case {
    const char* text;
    TXmlDeclType type;
    bool malformed;
    const char* version;
    const char* encoding;
    TdomStandalone standalone;
  } cases[] = {
      {"<r/>", DT_UNSPECIFIED, false, "", "", STANDALONE_UNSPECIFIED},
      {"<?xml version='1.0'?><r/>", DT_XML_DECLARATION, false, "1.0", "", STANDALONE_UNSPECIFIED},
      {"<?xml version=\"1.0\" encoding='UTF-8'?>", DT_XML_OR_TEXT_DECLARATION, false, "1.0", "UTF-8",
       STANDALONE_UNSPECIFIED},
      {"<?xml encoding='UTF-8'?>", DT_TEXT_DECLARATION, false, "", "UTF-8", STANDALONE_UNSPECIFIED},
      {"<?xml version='1.0' standalone='yes'?>", DT_XML_DECLARATION, false, "1.0", "", STANDALONE_YES},
      {"<?xml version = '1.0' encoding = 'UTF-8' standalone = 'no' ?>", DT_XML_DECLARATION, false, "1.0", "UTF-8",
       STANDALONE_NO},
      {"<?xml encoding='UTF-8' standalone='yes'?>", DT_TEXT_DECLARATION, true, "", "UTF-8", STANDALONE_YES},
      {"<?xml ?>", DT_TEXT_DECLARATION, true, "", "", STANDALONE_UNSPECIFIED},
      {"<?xml version='1.0'encoding='UTF-8'?>", DT_XML_OR_TEXT_DECLARATION, true, "1.0", "",
       STANDALONE_UNSPECIFIED},
      {"<?xml version='1.0\"?>", DT_XML_OR_TEXT_DECLARATION, true, "1.0", "", STANDALONE_UNSPECIFIED},
      // Only "<?xml" and white space opens a declaration.
      {"<?xml-stylesheet href='a'?>", DT_UNSPECIFIED, false, "", "", STANDALONE_UNSPECIFIED},
      {"<?xml?><r/>", DT_UNSPECIFIED, false, "", "", STANDALONE_UNSPECIFIED},
  };
  for (const Case& c : cases) {
    Source s(c.text);
    EXPECT_EQ(s.source->DeclType(), c.type) << c.text;
    EXPECT_EQ(s.source->HasMalformedDecl(), c.malformed) << c.text;
    EXPECT_EQ(Utf8(s.source->XmlVersion()), c.version) << c.text;
    EXPECT_EQ(Utf8(s.source->XmlEncoding()), c.encoding) << c.text;
    EXPECT_EQ(s.source->XmlStandalone(), c.standalone) << c.text;
  }
}

TEST(XmlInputSource, FirstCharacterAfterTheDeclarationAndPositions) {
  Source plain("ab");
  plain.source->Next();
  EXPECT_EQ(plain.source->CurrentCodePoint(), UCS4Char('a'));
  Source declared("<?xml version='1.0'?>\nx");
  declared.source->Next();
  EXPECT_EQ(declared.source->CurrentCodePoint(), UCS4Char('\n'));
  EXPECT_EQ(declared.source->Current().Line, 2);  // positions restart after the declaration
  Source continued("<?xml version='1.0'?>x", u"UTF-8", false);
  continued.source->Next();
  EXPECT_EQ(continued.source->Current().CharNumber, 22);
}

TEST(XmlInputSource, EncodingDecisions) {
  struct Case {
    std::string bytes;
    bool invalid;
    const char* encodingName;
  };
  auto utf16le = [](const std::string& ascii) {
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
      out.push_back(c);
      out.push_back('\0');
    }
    return out;
  };
  const Case cases[] = {
      {"<?xml version='1.0' encoding='ISO-8859-1'?>", false, "UTF-8"},
      {"<?xml version='1.0' encoding='no-such-thing'?>", true, "UTF-8"},
      {"<?xml version='1.0' encoding='UTF-16'?>", true, "UTF-8"},  // 8-bit text is no UTF-16
      {"<?xml version='1.0' encoding='UTF-16LE'?>", true, "UTF-8"},
      {utf16le("<?xml version='1.0' encoding='utf-16'?>"), false, "UTF-16LE"},
      {utf16le("<?xml version='1.0' encoding='UTF-8'?>"), true, "UTF-16LE"},
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>", false, "UTF-8"},
  };
  for (const Case& c : cases) {
    Source s(c.bytes);
    EXPECT_EQ(s.source->InvalidEncoding(), c.invalid) << c.bytes;
    EXPECT_EQ(Utf8(s.source->EncodingName()), c.encodingName) << c.bytes;
  }
}

struct Token {
  int type;
  std::string text;
  TXmlErrorType error;
  std::string clue;
};

std::vector<Token> DocTokens(const std::string& text) {
  Source s(text);
  std::unique_ptr<TXmlDocTokenizer> t(New<TXmlDocTokenizer>(s.source.get(), 4));
  std::vector<Token> tokens;
  for (int guard = 0; guard < 100; ++guard) {
    t->Next();
    tokens.push_back({t->TokenType(), Utf8(t->TokenText()), t->ErrorType(), Utf8(t->Clue())});
    if (t->TokenType() == TK_END_OF_SOURCE) break;
  }
  return tokens;
}

TEST(XmlDocTokenizer, TokensTextsAndErrors) {
  struct Case {
    const char* text;
    TXmlDocTokenType type;
    const char* value;
    TXmlErrorType error;
    const char* clue;
  } cases[] = {
      {"", TK_END_OF_SOURCE, "", ET_NONE, ""},
      {"a]]>b", TK_PCDATA, "a]]>b", ET_NONE, ""},
      {"<a x='>' y=\"/>\">", TK_START_TAG, "a x='>' y=\"/>\"", ET_NONE, ""},
      {"<a b='c'/>", TK_EMPTY_ELEMENT_TAG, "a b='c'", ET_NONE, ""},
      {"<a/b>", TK_EMPTY_ELEMENT_TAG, "a", ET_UNCLOSED_ELEMENT_TAG, ">"},
      {"<a x='1", TK_START_TAG, "a x='1", ET_UNCLOSED_ELEMENT_TAG, "'>"},
      {"<>", TK_START_TAG, "", ET_MISSING_ELEMENT_NAME, ""},
      {"</a  >", TK_END_TAG, "a", ET_NONE, ""},
      {"</a b>", TK_END_TAG, "a", ET_UNCLOSED_ELEMENT_TAG, ">"},
      {"<![CDATA[x]]]>", TK_CDATA, "x]", ET_NONE, ""},
      {"<![CDATA[x", TK_CDATA, "x", ET_UNCLOSED_CDATA_SECTION, "]]>"},
      {"<![CDAT[x]]>", TK_CDATA, "", ET_INVALID_CDATA_SECTION, "<![CDATA["},
      {"<!--a-b-->", TK_COMMENT, "a-b", ET_NONE, ""},
      {"<!--a--b-->", TK_COMMENT, "a", ET_DOUBLE_HYPHEN_IN_COMMENT, ">"},
      {"<!--a", TK_COMMENT, "a", ET_UNCLOSED_COMMENT, "-->"},
      {"<!ELEMENT a ANY>", TK_COMMENT, "", ET_INVALID_COMMENT, "<!--"},
      {"<!doctype a>", TK_DOCTYPE_DECL, "", ET_INVALID_DOCTYPE, "<!DOCTYPE"},
      {"<!DOCTYPE a [<!-- ] > --><?p ]>?><!ENTITY e ']>'>]>", TK_DOCTYPE_DECL,
       " a [<!-- ] > --><?p ]>?><!ENTITY e ']>'>]", ET_NONE, ""},
      {"<!DOCTYPE a [", TK_DOCTYPE_DECL, " a [", ET_UNCLOSED_DOCTYPE, "]>"},
      {"<?pi data?>", TK_PI, "pi data", ET_NONE, ""},
      {"<?pi", TK_PI, "pi", ET_UNCLOSED_PROCESSING_INSTRUCTION, "?"},
      {"&#65;", TK_CHAR_REF_DEC, "65", ET_NONE, ""},
      {"&#x1F600;", TK_CHAR_REF_HEX, "1F600", ET_NONE, ""},
      {"&#X41;", TK_CHAR_REF_DEC, "", ET_UNCLOSED_CHAR_REF, ";"},
      {"&amp;", TK_ENTITY_REF, "amp", ET_NONE, ""},
      {"&amp x", TK_ENTITY_REF, "amp", ET_UNCLOSED_ENTITY_REF, ";"},
      {"&;", TK_ENTITY_REF, "", ET_MISSING_ENTITY_NAME, ""},
  };
  for (const Case& c : cases) {
    std::vector<Token> tokens = DocTokens(c.text);
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens[0].type, c.type) << c.text;
    EXPECT_EQ(tokens[0].text, c.value) << c.text;
    EXPECT_EQ(tokens[0].error, c.error) << c.text;
    EXPECT_EQ(tokens[0].clue, c.clue) << c.text;
    EXPECT_EQ(tokens.back().type, TK_END_OF_SOURCE) << c.text;
  }
}

TEST(XmlDocTokenizer, ColumnsCountTabsByTabWidth) {
  Source s("\t\t<a>");
  std::unique_ptr<TXmlDocTokenizer> t(New<TXmlDocTokenizer>(s.source.get(), 4));
  t->Next();  // the tabs
  t->Next();
  EXPECT_EQ(t->TokenType(), TK_START_TAG);
  EXPECT_EQ(t->GetStartColumnNumber(), 2 + 2 * 4);  // a tag starts at its name
  EXPECT_EQ(t->GetStartLineNumber(), 1);
  EXPECT_EQ(t->GetStartByteNumber(), 3);
  EXPECT_EQ(Utf8(t->GetUri()), "uri");
}

std::vector<Token> DoctypeTokens(const std::u16string& text) {
  Source s(text);
  std::unique_ptr<TXmlDoctypeDeclTokenizer> t(New<TXmlDoctypeDeclTokenizer>(s.source.get(), 4));
  std::vector<Token> tokens;
  for (int guard = 0; guard < 10; ++guard) {
    t->Next();
    tokens.push_back({t->TokenType(), Utf8(t->TokenText()), t->ErrorType(), Utf8(t->Clue())});
    if (t->TokenType() == DCT_END_OF_SOURCE || t->ErrorType() != ET_NONE) break;
  }
  return tokens;
}

std::string Kinds(const std::vector<Token>& tokens) {
  std::string out;
  for (const Token& t : tokens) {
    out += std::to_string(t.type) + "[" + t.text + "]";
    if (t.error != ET_NONE) out += "!" + std::to_string(t.error) + t.clue;
    out += " ";
  }
  return out;
}

// Where an unclosed comment or processing instruction ends: the document
// tokenizer counts a lone trailing hyphen into the comment's extent, the DTD
// tokenizer stops before it. Both end a processing instruction before its
// last character.
TEST(XmlTokenizers, UnclosedCommentAndPiEndPositions) {
  struct Case {
    const char16_t* text;
    bool dtd;
    TXmlErrorType error;
    int64_t startChar, endChar;
  } cases[] = {
      {u"<!--ab", false, ET_UNCLOSED_COMMENT, 5, 6},
      {u"<!--ab-", false, ET_UNCLOSED_COMMENT, 5, 7},
      {u"<?pi x", false, ET_UNCLOSED_PROCESSING_INSTRUCTION, 3, 5},
      {u"<?pi x?", false, ET_UNCLOSED_PROCESSING_INSTRUCTION, 3, 6},
      {u"<!--ab", true, ET_UNCLOSED_COMMENT, 5, 6},
      {u"<!--ab-", true, ET_UNCLOSED_COMMENT, 5, 6},
      {u"<?pi x", true, ET_UNCLOSED_PROCESSING_INSTRUCTION, 3, 5},
      {u"<?pi x?", true, ET_UNCLOSED_PROCESSING_INSTRUCTION, 3, 6},
  };
  for (const Case& c : cases) {
    Source s{std::u16string(c.text)};
    std::unique_ptr<TXmlCustomTokenizer> t;
    if (c.dtd) {
      t.reset(New<TXmlDtdTokenizer>(s.source.get(), true, 4));
    } else {
      t.reset(New<TXmlDocTokenizer>(s.source.get(), 4));
    }
    t->Next();
    EXPECT_EQ(t->ErrorType(), c.error) << Utf8(c.text) << (c.dtd ? " (DTD)" : "");
    EXPECT_EQ(t->GetStartCharNumber(), c.startChar) << Utf8(c.text) << (c.dtd ? " (DTD)" : "");
    EXPECT_EQ(t->GetEndCharNumber(), c.endChar) << Utf8(c.text) << (c.dtd ? " (DTD)" : "");
    EXPECT_EQ(t->GetStartColumnNumber(), c.startChar) << Utf8(c.text) << (c.dtd ? " (DTD)" : "");
    EXPECT_EQ(t->GetEndColumnNumber(), c.endChar) << Utf8(c.text) << (c.dtd ? " (DTD)" : "");
  }
}

TEST(XmlDoctypeDeclTokenizer, PartsOfTheDeclaration) {
  struct Case {
    const char16_t* text;
    const char* kinds;
  } cases[] = {
      {u" a", "2[a] 0[] "},
      {u" a PUBLIC '-//x' \"s.dtd\"", "2[a] 3[-//x] 5[s.dtd] 0[] "},
      {u" a SYSTEM 's.dtd' [<!ENTITY e 'x'>]", "2[a] 5[s.dtd] 1[<!ENTITY e 'x'>] 0[] "},
      {u" a[<!-- ] -->]", "2[a] 1[<!-- ] -->] 0[] "},
      {u" a [<!ENTITY e ']'>", "2[a] 1[<!ENTITY e ']'>]!75] "},
      {u"a", "2[]!68  "},
      {u" a SYSTEM", "2[a] 5[]!56\" "},
      {u" a PUBLIC 'p'", "2[a] 3[p] 5[]!56\" "},
      {u" a PUBLIC 'p' [", "2[a] 3[p] 5[]!56\" "},
      {u" a PUBLIC [", "2[a] 3[]!72\" "},
      {u" a SYSTEX 'x'", "2[a] 2[]!77SYSTEM "},
      {u" a 'x'", "2[a] 2[]!77SYSTEM "},
      {u" a [] x", "2[a] 1[] 0[]!81 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Kinds(DoctypeTokens(c.text)), c.kinds) << Utf8(c.text);
}

std::vector<Token> DtdTokens(const std::u16string& text, bool external) {
  Source s(text);
  std::unique_ptr<TXmlDtdTokenizer> t(New<TXmlDtdTokenizer>(s.source.get(), external, 4));
  std::vector<Token> tokens;
  for (int guard = 0; guard < 20; ++guard) {
    t->Next();
    if (t->TokenType() == DTK_START_OF_CONDITIONAL_SECT && Utf8(t->TokenText()) == "IGNORE") t->SkipIgnoredSection();
    tokens.push_back({t->TokenType(), Utf8(t->TokenText()), t->ErrorType(), Utf8(t->Clue())});
    if (t->TokenType() == DTK_END_OF_SOURCE) break;
  }
  return tokens;
}

TEST(XmlDtdTokenizer, DeclarationsAndSections) {
  struct Case {
    const char16_t* text;
    const char* kinds;
  } cases[] = {
      {u"<!ELEMENT a ANY>", "2[a ANY] 4[] "},
      {u"<!ATTLIST a x CDATA '>'>", "0[a x CDATA '>'] 4[] "},
      {u"<!ENTITY % p 'v'>%p;", "5[% p 'v'] 9[p] 4[] "},
      {u"<!ELEMENT%p;>", "2[%p;] 4[] "},
      {u"<!ELEMENTa>", "2[]!108<!ELEMENT  4[] "},
      {u"<!ENTITY % >", "5[% ] 4[] "},
      {u"<!ENTITY% x>", "5[]!99<!ENTITY % 4[] "},
      {u"<!NOTATION n SYSTEM 'x'", "8[n SYSTEM 'x']!105> 4[] "},
      {u"<!ENTITY e \"a", "5[e \"a]!104\"> 4[] "},
      {u"<![IGNORE[<![INCLUDE[ x ]]> y ]]> <!-- c -->", "3[] 6[ ] 1[ c ] 4[] "},
      {u"<![INCLUDE[ ]]>", "11[INCLUDE] 6[ ] 3[] 4[] "},
      {u"]x", "3[]!50]]> 7[x]!97 4[] "},
      {u"<?pi x?>  %r", "10[pi x] 6[  ] 9[r]!106; 4[] "},
      {u"<x", "7[]!97<! 7[x]!97 4[] "},
  };
  for (const auto& c : cases) EXPECT_EQ(Kinds(DtdTokens(c.text, true)), c.kinds) << Utf8(c.text);
}

TEST(XmlDtdTokenizer, StartRules) {
  Source internalWithDecl("<?xml version='1.0'?><!ELEMENT a ANY>");
  std::unique_ptr<TXmlDtdTokenizer> t(New<TXmlDtdTokenizer>(internalWithDecl.source.get(), false, 4));
  EXPECT_EQ(t->TokenType(), DTK_END_OF_SOURCE);
  EXPECT_EQ(t->ErrorType(), ET_INVALID_MARKUP);
  Source externalXmlDecl("<?xml version='1.0' standalone='yes'?>");
  t.reset(New<TXmlDtdTokenizer>(externalXmlDecl.source.get(), true, 4));
  EXPECT_EQ(t->ErrorType(), ET_INVALID_TEXT_DECL);
  Source externalTextDecl("<?xml encoding='UTF-8'?><!ELEMENT a ANY>");
  t.reset(New<TXmlDtdTokenizer>(externalTextDecl.source.get(), true, 4));
  EXPECT_EQ(t->TokenType(), DTK_START_OF_SOURCE);
}

}  // namespace
// A malformed declaration is text read from the start: positions count from there too.
TEST(XmlInputSource, MalformedDeclarationIsReadFromTheStart) {
  for (bool afterDecl : {true, false}) {
    Source bad("<?xml version='1.0'encoding='UTF-8'?>x", u"UTF-8", afterDecl);
    EXPECT_TRUE(bad.source->HasMalformedDecl());
    bad.source->Next();
    EXPECT_EQ(bad.source->CurrentCodePoint(), UCS4Char('<')) << afterDecl;
    EXPECT_EQ(bad.source->Current().Column, 1) << afterDecl;
    EXPECT_EQ(bad.source->Current().CharNumber, 1) << afterDecl;
  }
}
