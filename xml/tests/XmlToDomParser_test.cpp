// The parse-to-DOM path end to end: documents built, errors reported with
// their place, faults of the input never crashing and never leaking.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include "XmlParserTestSupport.h"
#include "DomTestSupport.h"
#include "core/FileStream.h"
#include "xml/WideStrList.h"

namespace {

// The node names of parent's children joined by ",".
std::string ChildNames(const TdomNode* parent) {
  std::string names;
  for (TdomNode* c = parent->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
    if (!names.empty()) names += ",";
    names += Utf8(c->GetNodeName());
  }
  return names;
}

}  // namespace

class XmlToDomParserTest : public ParserTest {
protected:
  // Parses bytes, which must be refused with one error (with several: the
  // first) of type at line and column; the errors stay in the recorder.
  void ExpectRefused(const std::string& bytes, TXmlErrorType type, int64_t line, int64_t column, bool several = false) {
    SCOPED_TRACE(bytes);
    recorder->errors.clear();
    EXPECT_EQ(ParseBytes(bytes), nullptr);
    if (recorder->errors.empty() || (!several && recorder->errors.size() != 1u)) {
      ADD_FAILURE() << recorder->errors.size() << " errors";
      return;
    }
    EXPECT_EQ(recorder->errors[0].type, type);
    EXPECT_EQ(recorder->errors[0].line, line);
    EXPECT_EQ(recorder->errors[0].column, column);
  }
};

TEST_F(XmlToDomParserTest, BuildsElementsAttributesAndMergedText) {
  TdomDocument* doc = ParseBytes(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><root b='2' a=\"1\">x&amp;y&#65;<![CDATA[<z>]]>"
      "<e/><?pi data?></root>\n");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(ChildNames(doc), "#comment,root");
  TdomElement* root = doc->GetDocumentElement();
  EXPECT_EQ(ChildNames(root), "#text,amp,#text,#cdata-section,e,pi");
  EXPECT_EQ(Utf8(root->getAttribute(u"a")), "1");
  EXPECT_EQ(Utf8(root->getAttribute(u"b")), "2");
  EXPECT_EQ(Utf8(root->GetFirstChildNode()->GetNextSiblingNode()->GetNextSiblingNode()->GetNodeValue()), "yA");
  EXPECT_EQ(Utf8(doc->GetXmlVersion()), "1.0");
  EXPECT_EQ(Utf8(doc->GetXmlEncoding()), "UTF-8");
  EXPECT_EQ(Utf8(doc->GetDocumentUri()), "test.xml");
  EXPECT_TRUE(recorder->errors.empty());
}

TEST_F(XmlToDomParserTest, BuilderSwitchesDropOrFoldNodes) {
  parser->SetKeepEntityRefs(false);
  parser->SetKeepCDATASections(false);
  parser->SetKeepComments(false);
  TdomDocument* doc = ParseBytes("<r>a&amp;b<![CDATA[c]]>d<!--x--></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(ChildNames(doc->GetDocumentElement()), "#text");
  EXPECT_EQ(Utf8(doc->GetDocumentElement()->GetTextContent()), "a&bcd");
}

TEST_F(XmlToDomParserTest, StylesheetInstructionAtTheStartIsNoDeclaration) {
  TdomDocument* doc = ParseBytes("<?xml-stylesheet href='a.xsl' type='text/xsl'?><r/>");
  ASSERT_NE(doc, nullptr) << (recorder->errors.empty() ? 0 : recorder->errors[0].type);
  EXPECT_EQ(ChildNames(doc), "xml-stylesheet,r");
  EXPECT_EQ(Utf8(doc->GetXmlVersion()), "");
}

TEST_F(XmlToDomParserTest, RealU009CIsContentNotTheEnd) {
  TdomDocument* doc = ParseBytes("<r>a\xC2\x9C" "b</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), std::u16string(u"a\u009Cb"));
}

TEST_F(XmlToDomParserTest, DeepNestingNeedsNoStack) {
  constexpr int kDepth = 100000;
  std::string text;
  text.reserve(kDepth * 8);
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  text += "x";
  for (int i = 0; i < kDepth; ++i) text += "</a>";
  TdomDocument* doc = ParseBytes(text);
  ASSERT_NE(doc, nullptr);
  TdomNode* node = doc->GetDocumentElement();
  int depth = 0;
  while (node->GetFirstChildNode() != nullptr && node->GetFirstChildNode()->GetNodeType() == ntElement_Node) {
    node = node->GetFirstChildNode();
    ++depth;
  }
  EXPECT_EQ(depth, kDepth - 1);
  // An unclosed deep document is freed as it stands.
  text.resize(kDepth * 3 + 1);
  EXPECT_EQ(ParseBytes(text), nullptr);
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 1);
}

TEST_F(XmlToDomParserTest, FatalErrorFreesTheHalfBuiltDocument) {
  EXPECT_EQ(ParseBytes("<a><b>text</b></a><second/>"), nullptr);
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
  ASSERT_EQ(recorder->errors.size(), 1u);
  EXPECT_EQ(recorder->errors[0].type, ET_DOUBLE_ROOT_ELEMENT);
  EXPECT_EQ(Utf8(recorder->errors[0].code), "second");
}

// Broken documents: the first error's type, line and column. Tags are placed
// at their name, references at their first digit or letter, comments and
// declarations at the text after their opening keyword; a tab counts 4 columns.
TEST_F(XmlToDomParserTest, BrokenDocumentsReportTypeLineAndColumn) {
  struct Case {
    const char* text;
    TXmlErrorType type;
    int64_t line, column;
  } cases[] = {
      {"<a>\n  <b></c></a>", ET_MISSING_START_TAG, 2, 8},
      {"<a>", ET_MISSING_END_TAG, 1, 4},
      {"", ET_MISSING_ROOT_ELEMENT, 1, 1},
      {"<a/>text", ET_NOT_IN_ROOT, 1, 5},
      {"<a x='1' x='2'/>", ET_DOUBLE_ATTRIBUTE_NAME, 1, 2},
      {"<a x/>", ET_MISSING_EQUALITY_SIGN, 1, 2},
      {"<a x='1/>", ET_UNCLOSED_ELEMENT_TAG, 1, 2},
      {"<a x='1'y='2'/>", ET_MISSING_WHITESPACE, 1, 2},
      {"<a>&#1114112;</a>", ET_INVALID_CHAR_REF, 1, 6},
      {"<a>&#xD800;</a>", ET_INVALID_CHAR_REF, 1, 7},
      {"<a>&#99999999999999999999999;</a>", ET_INVALID_CHAR_REF, 1, 6},
      {"<a>&#;</a>", ET_INVALID_CHAR_REF, 1, 6},
      {"<a>&#1;</a>", ET_INVALID_CONDITIONAL_SECTION_END, 1, 6},
      {"<a><!-- x -- y --></a>", ET_DOUBLE_HYPHEN_IN_COMMENT, 1, 8},
      {"<a>]]></a>", ET_INVALID_CONDITIONAL_SECTION_END, 1, 4},
      {"<a><?xml x?></a>", ET_INVALID_PI_TARGET_OR_DATA, 1, 6},
      {"<a x='&lt'/>", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, 1, 2},
      {"<a x='a<b'/>", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, 1, 2},
      {"<a x='1&foo;2'/>", ET_UNDECLARED_ENTITY_IN_ATTRIBUTE, 1, 2},
      {"<a/><!DOCTYPE a>", ET_DOCTYPE_AFTER_ROOT_ELEMENT, 1, 14},
      {"<!DOCTYPE a><!DOCTYPE a><a/>", ET_DOUBLE_DOCTYPE, 1, 22},
      {"<?xml version='1.0' standalone='maybe'?><a/>", ET_INVALID_VERSION_NUMBER, -1, -1},
      {"<?xml encoding='UTF-8'?><a/>", ET_INVALID_VERSION_NUMBER, -1, -1},
      {"<?xml version='1.0' encoding='bogus-enc'?><a/>", ET_ENCODING_NOT_SUPPORTED, -1, -1},
      {"<?xml version='1.0' encoding='UTF-16'?><a/>", ET_ENCODING_NOT_SUPPORTED, -1, -1},
      {"<a>\t<", ET_MISSING_ELEMENT_NAME, 1, 8},
      // Lines and columns count through the declaration.
      {"<?xml version='1.0'\n  encoding='UTF-8'?>\n<a></b>", ET_MISSING_START_TAG, 3, 6},
      {"<?xml version='1.0'?><a></b>", ET_MISSING_START_TAG, 1, 27},
  };
  for (const Case& c : cases) ExpectRefused(c.text, c.type, c.line, c.column, /*several=*/true);
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
}

TEST_F(XmlToDomParserTest, RefusedStartTagLetThroughKeepsContentWithItsParent) {
  recorder->letFatalErrorsPass = true;
  // The refused element is not built, and its end goes no further than the
  // checker, so what comes after it stays with r; reported once. A second
  // root goes no further with all it holds.
  struct Case {
    const char* text;
    TXmlErrorType type;
    const char* code;
  } cases[] = {{"<r><bad x='a<b'><c/></bad><d/></r>", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "a<b"},
               {"<r><c/><bad x='a<b'/><d/></r>", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "a<b"},
               {"<r><c/><d/></r><s>t<u/><!--k--></s>", ET_DOUBLE_ROOT_ELEMENT, "s"},
               // Without declarations elsewhere, an entity must be declared.
               {"<r><c/><bad x='1&amp;&foo;2'/><d/></r>", ET_UNDECLARED_ENTITY_IN_ATTRIBUTE, "foo"},
               {"<!DOCTYPE r [<!ENTITY e 'x'>]><r><c/><bad x='&e;&foo;'/><d/></r>", ET_UNDECLARED_ENTITY_IN_ATTRIBUTE,
                "foo"},
               {"<!DOCTYPE r [<!ENTITY e 'x&foo;'>]><r><c/><bad x='&e;'/><d/></r>", ET_UNDECLARED_ENTITY_IN_ATTRIBUTE,
                "foo"},
               // Nor external or unparsed, nor a "<" from a replacement text,
               // however deep (the first declaration of a name holds).
               {"<!DOCTYPE r [<!ENTITY x SYSTEM 'x.xml'>]><r><c/><bad x='&x;'/><d/></r>",
                ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE, "x"},
               {"<!DOCTYPE r [<!NOTATION n SYSTEM 'n'><!ENTITY u SYSTEM 'u' NDATA n>]><r><c/><bad x='&u;'/><d/></r>",
                ET_REF_TO_UNPARSED_ENTITY, "u"},
               {"<!DOCTYPE r [<!ENTITY e 'x&#60;y'>]><r><c/><bad x='&e;'/><d/></r>", ET_LT_IN_ATTRIBUTE_VALUE, "e"},
               {"<!DOCTYPE r [<!ENTITY o '1&#38;i;'><!ENTITY i '&#60;'><!ENTITY i 'x'>]><r><c/><bad x='&o;'/><d/></r>",
                ET_LT_IN_ATTRIBUTE_VALUE, "i"}};
  for (const Case& c : cases) {
    recorder->errors.clear();
    TdomDocument* doc = ParseBytes(c.text);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetLastChildNode(), doc->GetDocumentElement());
    EXPECT_EQ(ChildNames(doc->GetDocumentElement()), "c,d");
    ASSERT_EQ(recorder->errors.size(), 1u) << c.text;
    EXPECT_EQ(recorder->errors[0].type, c.type);
    EXPECT_EQ(Utf8(recorder->errors[0].code), c.code);
  }
}

TEST_F(XmlToDomParserTest, EncodingsFromMarkAndDeclaration) {
  std::string utf16le("\xFF\xFE", 2);
  for (char c : std::string("<?xml version='1.0' encoding='UTF-16'?><r>\xE9</r>")) {
    utf16le.push_back(c);
    utf16le.push_back('\0');
  }
  TdomDocument* doc = ParseBytes(utf16le);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Utf8(doc->GetInputEncoding()), "UTF-16LE");
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), std::u16string(u"\u00E9"));

  doc = ParseBytes("<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Utf8(doc->GetInputEncoding()), "ISO-8859-1");
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), std::u16string(u"\u00E9"));
}

TEST_F(XmlToDomParserTest, EntryPointChecks) {
  EXPECT_DOM_ERROR(parser->SetBufferSize(1023), ENot_Supported_Err, "BufferSize must not be less than 1024.");
  EXPECT_EQ(parser->BufferSize(), 4096);
  parser->SetBufferSize(1024);
  EXPECT_EQ(parser->BufferSize(), 1024);
  EXPECT_DOM_ERROR(parser->ParseFile(""), EAccessViolation, "Filename not specified.");
  EXPECT_DOM_ERROR(parser->ParseStream(nullptr, u"", u"", nullptr), EAccessViolation, "Stream not specified.");
  EXPECT_DOM_ERROR(parser->ParseString("", u"", u"", nullptr), EAccessViolation, "Empty string.");
  EXPECT_DOM_ERROR(parser->ParseSourceCode(nullptr, u"", u"", nullptr), EAccessViolation,
                   "Source code not specified.");
  EXPECT_DOM_ERROR(parser->Parse(nullptr, nullptr), EAccessViolation, "Input source not specified.");
  parser->SetDOMImpl(nullptr);
  EXPECT_DOM_ERROR(parser->ParseString("<a/>", u"", u"", nullptr), EAccessViolation,
                   "DOM implementation not specified.");
}

TEST_F(XmlToDomParserTest, WideStringsAndSourceLinesGetOneMark) {
  TdomNode* doc = parser->ParseWideString(u"\uFEFF<r>\u20AC</r>", u"", u"", nullptr);
  EXPECT_EQ(static_cast<TdomDocument*>(doc)->GetDocumentElement()->GetTextContent(), u"\u20AC");
  TUtilsWideStringList lines;
  lines.Add(u"<r>a");
  lines.Add(u"b</r>");
  EXPECT_EQ(JoinSourceLines(&lines), u"\uFEFF<r>ab</r>");
  doc = parser->ParseSourceCode(&lines, u"", u"", nullptr);
  EXPECT_EQ(static_cast<TdomDocument*>(doc)->GetDocumentElement()->GetTextContent(), u"ab");
}

TEST_F(XmlToDomParserTest, ContextNodeTakesParsedContent) {
  TdomDocument* doc = ParseBytes("<r/>");
  ASSERT_NE(doc, nullptr);
  TdomElement* root = doc->GetDocumentElement();
  parser->ParseWideString(u"t<x/>&amp;", u"", u"", root);
  EXPECT_EQ(ChildNames(root), "#text,x,amp");
  // Content holds no document type declaration: refused where it stands.
  recorder->errors.clear();
  EXPECT_THROW(parser->ParseWideString(u"<x/>\n <!DOCTYPE s>", u"", u"", root), EParserException);
  ASSERT_EQ(recorder->errors.size(), 1u);
  EXPECT_EQ(recorder->errors[0].type, ET_DOCTYPE_AFTER_ROOT_ELEMENT);
  EXPECT_EQ(recorder->errors[0].line, 2);
  EXPECT_EQ(recorder->errors[0].column, 11);  // as in a document
  TDomImplementation* other = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TdomDocument* foreign = other->CreateEmptyDocument();
  EXPECT_DOM_ERROR(parser->ParseWideString(u"<x/>", u"", u"", foreign), EWrong_DOM_Implementation_Err,
                   "Wrong DOM implementation error.");
  other->Free();
}

// A declared entity's replacement text reads as if written where the
// reference stands: its faults are reported at that place in the document
// (lines and columns go on from the "&"), also for a text that continues on
// the next line or holds another reference.
TEST_F(XmlToDomParserTest, ReplacementTextFaultsAreReportedAtTheReference) {
  parser->SetAutoPrepare(AP_COMPLETE);
  struct Case {
    std::string value;
    TXmlErrorType type;
    int64_t line, column;
  } cases[] = {
      {"<!DOCTYPE s>", ET_DOCTYPE_AFTER_ROOT_ELEMENT, 3, 12},
      {"<b>", ET_MISSING_END_TAG, 3, 6},
      {"a&#10;<!--a--b-->", ET_DOUBLE_HYPHEN_IN_COMMENT, 4, 5},
      {"&f;", ET_MISSING_START_TAG, 3, 8},
  };
  for (const Case& c : cases)
    ExpectRefused("<!DOCTYPE r [<!ENTITY e \"" + c.value + "\"><!ENTITY f '<x></y>'>]>\n<r>\n  &e;</r>", c.type,
                  c.line, c.column);
}

// A carriage return that a character reference put into an entity's text
// is a character of the text, not a line end: kept whether the text is read
// as plain text or parsed for its markup, alone or before a line feed.
TEST_F(XmlToDomParserTest, CarriageReturnsOfEntityTextAreKeptOnEveryPath) {
  parser->SetAutoPrepare(AP_COMPLETE);
  const std::string value = "a&#13;b&#13;&#10;c&#13;";
  const std::u16string expected = u"a\rb\r\nc\r";
  for (const std::string& markup : {std::string(), std::string("<x/>"), std::string("<!--&#13;-->")}) {
    std::string xml = "<!DOCTYPE r [<!ENTITY e \"" + value + markup + "\">]><r>&e;</r>";
    TdomDocument* doc = ParseBytes(xml);
    ASSERT_NE(doc, nullptr) << markup;
    TdomNode* reference = doc->GetDocumentElement()->GetFirstChildNode();
    ASSERT_NE(reference, nullptr);
    ASSERT_NE(reference->GetFirstChildNode(), nullptr) << markup;
    EXPECT_EQ(reference->GetFirstChildNode()->GetNodeValue(), expected) << markup;
    TdomNode* last = reference->GetLastChildNode();
    if (last->GetNodeType() == ntComment_Node) {
      EXPECT_EQ(last->GetNodeValue(), u"\r");
    }
  }
}

// Text read into a document takes what a document holds; what cannot stand
// there is reported where it stands, never dropped or refused without a word.
TEST_F(XmlToDomParserTest, ContentReadIntoADocumentReportsWhatCannotStandThere) {
  struct Case {
    std::u16string text;
    TXmlErrorType type;
    std::u16string code;
  } cases[] = {
      {u"<a/><b/>", ET_DOUBLE_ROOT_ELEMENT, u"b"},
      {u"x<a/>", ET_NOT_IN_ROOT, u"x"},
      {u"<a/>&amp;", ET_NOT_IN_ROOT, u"&amp;"},
      {u"<![CDATA[c]]>", ET_NOT_IN_ROOT, u"c"},
      {u"<!DOCTYPE s><!DOCTYPE t>", ET_DOUBLE_DOCTYPE, u"t"},
  };
  for (const Case& c : cases) {
    TdomDocument* doc = impl->CreateEmptyDocument();
    recorder->errors.clear();
    EXPECT_THROW(parser->ParseWideString(c.text, u"", u"", doc), EParserException) << Utf8(c.text);
    ASSERT_EQ(recorder->errors.size(), 1u) << Utf8(c.text);
    EXPECT_EQ(recorder->errors[0].type, c.type) << Utf8(c.text);
    EXPECT_EQ(recorder->errors[0].code, c.code) << Utf8(c.text);
  }
  TdomDocument* doc = impl->CreateEmptyDocument();
  recorder->errors.clear();
  parser->ParseWideString(u" <!--c--><!DOCTYPE s><a/>\n", u"", u"", doc);
  EXPECT_EQ(ChildNames(doc), "#comment,s,a");
  EXPECT_TRUE(recorder->errors.empty());
}

// Built with namespaces, a name whose prefix no declaration maps (or maps to
// no URI) refuses the document with a report at its start tag, whatever the
// verdict: never a failure without a word.
TEST_F(XmlToDomParserTest, NamespaceTreeReportsUnmappedPrefixes) {
  parser->DomBuilder()->BuildNamespaceTree = true;
  parser->Reader()->SetPrefixMapping(true);
  struct Case {
    std::string text;
    std::u16string code;
    int64_t line, column;
  } cases[] = {
      {"<p:a/>", u"p:a", 1, 2},
      {"<a>\n <b q:c='1'/></a>", u"q:c", 2, 3},
      {"<a xmlns:p=''><p:b/></a>", u"p:b", 1, 16},
  };
  for (const Case& c : cases) {
    for (bool letPass : {false, true}) {
      recorder->letFatalErrorsPass = letPass;
      ExpectRefused(c.text, ET_INVALID_PREFIX, c.line, c.column);
      ASSERT_FALSE(recorder->errors.empty());
      EXPECT_EQ(recorder->errors[0].code, c.code) << c.text;
    }
  }
  recorder->letFatalErrorsPass = false;
  recorder->errors.clear();
  TdomDocument* doc = ParseBytes("<p:a xmlns:p='u' p:b='1' xml:lang='en'/>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Utf8(doc->GetDocumentElement()->GetNamespaceURI()), "u");
  EXPECT_EQ(Utf8(doc->GetDocumentElement()->getAttributeNS(u"u", u"b")), "1");
  doc = ParseBytes("<xml:a/>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->GetNamespaceURI(), kXmlNamespaceUri);
  EXPECT_TRUE(recorder->errors.empty());
  // Let pass: a refused mapping is not undone with the one before it, and of
  // two names for one attribute (two prefixes of one URI) the first stays.
  recorder->letFatalErrorsPass = true;
  struct {
    const char *before, *after;
    std::u16string code;
  } refused[] = {{"<b xmlns:xmlns='v'/>", "", u"xmlns"}, {"<b xmlns:xml='v'/>", "", u"xml"},
                 {"<b/>", " xmlns:q='u' q:x='2'", u"q:x"}};
  for (const auto& r : refused) {
    recorder->errors.clear();
    doc = ParseBytes(std::string("<a xmlns:p='u'>") + r.before + "<p:c p:x='1'" + r.after + "/></a>");
    ASSERT_NE(doc, nullptr);
    TdomElement* c = static_cast<TdomElement*>(doc->GetDocumentElement()->GetLastChildNode());
    EXPECT_EQ(Utf8(c->GetNamespaceURI()) + Utf8(c->getAttributeNS(u"u", u"x")), "u1");
    ASSERT_EQ(recorder->errors.size(), 1u);
    EXPECT_EQ(recorder->errors[0].code, r.code);
  }
}

TEST_F(XmlToDomParserTest, ParseFileReadsAFileAndRecordsItsUri) {
  std::string path = ::testing::TempDir() + "parser_file_test.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << "<patterns><pattern code='A'/></patterns>";
  }
  // Another program holds the file open for writing (as an editor may).
  std::unique_ptr<TFileStream> editor(New<TFileStream>(path, static_cast<uint16_t>(fmOpenReadWrite | fmShareDenyNone)));
  TdomDocument* doc = parser->ParseFile(path);
  editor.reset();
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Utf8(doc->GetDocumentElement()->GetNodeName()), "patterns");
  EXPECT_EQ(Utf8(doc->GetDocumentUri()).substr(0, 8), "file:///");
  std::remove(path.c_str());
  EXPECT_THROW(parser->ParseFile(path), EFOpenError);
}

// Bytes the codec cannot decode are the parser's fatal error at their place
// (a tab counts 4 columns), never an exception of the codec, also at the very
// start of the text and inside markup; 16-bit text without a byte-order mark
// is an encoding error.
TEST_F(XmlToDomParserTest, UndecodableBytesAreErrorsWithTheirPlace) {
  struct Case {
    std::string text;
    TXmlErrorType type;
    int64_t line, column;
  } cases[] = {
      {"<a>\x8f</a>", ET_INVALID_CHARACTER, 1, 4},
      {"\x8f<a/>", ET_INVALID_CHARACTER, 1, 1},
      {"<a>\n x\xC3</a>", ET_INVALID_CHARACTER, 2, 3},
      {"<a>\t\xFF</a>", ET_INVALID_CHARACTER, 1, 8},
      {"<a/><!DOCTYPE a\x8f", ET_INVALID_CHARACTER, 1, 16},
      {"<a x='\xE0\x80'/>", ET_INVALID_CHARACTER, 1, 7},
      {"<?xml version='1.0'?>\n<a><!-- \xF8 --></a>", ET_INVALID_CHARACTER, 2, 9},
      {std::string("<\0a\0/\0>\0", 8), ET_ENCODING_NOT_SUPPORTED, -1, -1},
      {std::string("\0<\0a\0/\0>", 8), ET_ENCODING_NOT_SUPPORTED, -1, -1},
      {std::string("<\0?\0x\0m\0l\0 \0v\0e\0r\0s\0i\0o\0n\0=\0'\0\x31\0.\0\x30\0'\0?\0>\0<\0a\0/\0>\0", 50),
       ET_ENCODING_NOT_SUPPORTED, -1, -1},
  };
  for (const Case& c : cases) {
    for (bool letPass : {false, true}) {
      recorder->letFatalErrorsPass = letPass;
      ExpectRefused(c.text, c.type, c.line, c.column);
      ASSERT_FALSE(recorder->errors.empty());
      if (c.type == ET_INVALID_CHARACTER) {
        EXPECT_EQ(Utf8(recorder->errors[0].code), "Invalid UTF-8 encoding");
      }
    }
  }
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
}

// Many attributes on one element: each found again, reported sorted by name,
// and a duplicate far down the list still refused.
TEST_F(XmlToDomParserTest, ManyAttributesOnOneElement) {
  constexpr int kCount = 20000;
  std::string text = "<a";
  for (int i = kCount - 1; i >= 0; --i) text += " n" + std::to_string(i) + "='" + std::to_string(i * 7) + "'";
  TdomDocument* doc = ParseBytes(text + "/>");
  ASSERT_NE(doc, nullptr);
  TdomElement* a = doc->GetDocumentElement();
  ASSERT_EQ(a->GetAttributes()->GetLength(), kCount);
  EXPECT_EQ(Utf8(a->GetAttributes()->Item(0)->GetNodeName()), "n0");
  EXPECT_EQ(Utf8(a->GetAttributes()->Item(1)->GetNodeName()), "n1");
  EXPECT_EQ(Utf8(a->GetAttributes()->Item(2)->GetNodeName()), "n10");
  for (int i = 0; i < kCount; i += 997) {
    std::u16string name = u"n";
    for (char ch : std::to_string(i)) name += static_cast<char16_t>(ch);
    EXPECT_EQ(Utf8(a->getAttribute(name)), std::to_string(i * 7));
  }
  recorder->errors.clear();
  EXPECT_EQ(ParseBytes(text + " n17='again'/>"), nullptr);
  ASSERT_EQ(recorder->errors.size(), 1u);
  EXPECT_EQ(recorder->errors[0].type, ET_DOUBLE_ATTRIBUTE_NAME);
}

TEST_F(XmlToDomParserTest, AttributeAnInsertionHandlerAddedIsReplacedNotRepeated) {
  struct Stamp {
    void Inserted(TObject*, TdomNode* node) {
      if (node->GetNodeType() == ntElement_Node) static_cast<TdomElement*>(node)->setAttribute(u"a", u"h");
    }
  } stamp;
  impl->OnNodeInserted = MakeEvent<&Stamp::Inserted>(&stamp);
  TdomDocument* doc = ParseBytes("<r b='2' a='1'><e a='3'/><f/></r>");
  ASSERT_NE(doc, nullptr);
  TdomElement* r = doc->GetDocumentElement();
  ASSERT_EQ(ChildNames(r), "e,f");
  auto* e = static_cast<TdomElement*>(r->GetFirstChildNode());
  auto* f = static_cast<TdomElement*>(e->GetNextSiblingNode());
  EXPECT_EQ(r->GetAttributes()->GetLength(), 2);
  EXPECT_EQ(Utf8(r->getAttribute(u"a")), "1");
  EXPECT_EQ(e->GetAttributes()->GetLength(), 1);
  EXPECT_EQ(Utf8(e->getAttribute(u"a")), "3");
  EXPECT_EQ(Utf8(f->getAttribute(u"a")), "h");
}

// Every node the parser adds is reported once, after it is in place, in
// document order; a parent made read-only on the way refuses the next one.
TEST_F(XmlToDomParserTest, ParsedNodesAreReportedInOrderAndReadOnlyParentsRefuse) {
  struct Log {
    std::string seen;
    void Inserted(TObject*, TdomNode* node) {
      seen += Utf8(node->GetParentNode()->GetNodeName()) + ">" + Utf8(node->GetNodeName()) + " ";
      if (node->GetNodeName() == u"stop") node->GetParentNode()->SetReadOnly(true);
    }
    void Attr(TObject*, TdomNode* element, TdomAttrChange change, TdomAttr* attr) {
      seen += Utf8(element->GetNodeName()) + "@" + Utf8(attr->GetNodeName()) + "=" + Utf8(attr->GetNodeValue()) +
              (change == AC_ADDITION ? "+ " : "? ");
    }
  } log;
  impl->OnNodeInserted = MakeEvent<&Log::Inserted>(&log);
  impl->OnAttrModified = MakeEvent<&Log::Attr>(&log);
  TdomDocument* doc = ParseBytes("<r>a<e x='1' y='2'>b&amp;c</e><!--d--><?p q?><![CDATA[f]]></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(log.seen,
            "#document>r r>#text r>e e@x=1+ e@y=2+ e>#text e>amp e>#text r>#comment r>p r>#cdata-section ");
  TdomElement* root = doc->GetDocumentElement();
  log.seen.clear();
  EXPECT_THROW(parser->ParseWideString(u"<stop/>t", u"", u"", root), EParserException);
  EXPECT_EQ(log.seen, "r>stop ");
  EXPECT_EQ(ChildNames(root), "#text,e,#comment,p,#cdata-section,stop");
}

// A listener that adds an attribute while a start tag's attributes go in
// leaves one attribute per name: the tag's own value replaces it.
TEST_F(XmlToDomParserTest, AnAttributeAListenerAddsIsReplacedNotRepeated) {
  struct Adder {
    void Attr(TObject*, TdomNode* element, TdomAttrChange change, TdomAttr* attr) {
      if (change == AC_ADDITION && attr->GetNodeName() == u"x")
        static_cast<TdomElement*>(element)->setAttribute(u"y", u"listener");
    }
  } adder;
  impl->OnAttrModified = MakeEvent<&Adder::Attr>(&adder);
  TdomDocument* doc = ParseBytes("<r x='1' y='2' z='3'/>");
  ASSERT_NE(doc, nullptr);
  TdomElement* root = doc->GetDocumentElement();
  EXPECT_EQ(root->GetAttributes()->GetLength(), 3);
  EXPECT_EQ(root->getAttribute(u"y"), u"2");
}

// Listeners that remove and add attributes while a start tag's attributes
// go in, against a model that applies the same changes to a map: the
// element ends with one attribute per name and the values the model has.
TEST_F(XmlToDomParserTest, AttributesChangedByListenersDuringAStartTagFollowAModel) {
  const std::u16string names = u"abcdefg";
  struct Change {
    bool remove;
    char16_t name;
  };
  struct Listener {
    std::map<char16_t, std::vector<Change>> script;  // run when the name is added
    bool busy = false;
    void Attr(TObject*, TdomNode* node, TdomAttrChange change, TdomAttr* attr) {
      std::u16string added = attr->GetNodeName();
      if (busy || change != AC_ADDITION) return;
      busy = true;
      auto* element = static_cast<TdomElement*>(node);
      for (const Change& c : script[added[0]]) {
        std::u16string name(1, c.name);
        if (!c.remove) {
          element->setAttribute(name, u"listener");
        } else if (element->hasAttribute(name)) {
          element->removeAttribute(name);
        }
      }
      busy = false;
    }
  } listener;
  impl->OnAttrModified = MakeEvent<&Listener::Attr>(&listener);
  std::mt19937 random(45);
  for (int round = 0; round < 300; ++round) {
    listener.script.clear();
    for (char16_t name : names) {
      for (int k = static_cast<int>(random() % 3); k > 0; --k)
        listener.script[name].push_back({random() % 2 == 0, names[random() % names.size()]});
    }
    // The tag's names in order, as the builder takes them.
    std::string tag = "<r";
    std::map<char16_t, std::u16string> model;
    for (char16_t name : names) {
      if (random() % 2 != 0) continue;
      std::string value = std::to_string(random() % 100);
      tag += " " + std::string(1, static_cast<char>(name)) + "='" + value + "'";
      bool added = model.count(name) == 0;
      model[name] = std::u16string(value.begin(), value.end());
      if (!added) continue;
      for (const Change& c : listener.script[name]) {
        if (c.remove) {
          model.erase(c.name);
        } else {
          model[c.name] = u"listener";
        }
      }
    }
    TdomDocument* doc = ParseBytes(tag + "/>");
    ASSERT_NE(doc, nullptr) << tag;
    std::map<char16_t, std::u16string> built;
    TdomNamedNodeMap* attributes = doc->GetDocumentElement()->GetAttributes();
    for (int i = 0; i < attributes->GetLength(); ++i) {
      TdomNode* attr = attributes->Item(i);
      EXPECT_TRUE(built.emplace(attr->GetNodeName()[0], attr->GetNodeValue()).second)
          << tag << " holds " << Utf8(attr->GetNodeName()) << " twice";
    }
    ASSERT_EQ(built, model) << tag;
    impl->FreeDocument(doc);
  }
}

TEST_F(XmlToDomParserTest, ManyNamespaceDeclarationsOnOneElement) {
  constexpr int kCount = 20000;
  std::string text = "<a";
  for (int i = 0; i < kCount; ++i) text += " xmlns:p" + std::to_string(i) + "='urn:" + std::to_string(i) + "'";
  TdomDocument* doc = ParseBytes(text + "><p19999:b/></a>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->GetAttributes()->GetLength(), kCount);
}

