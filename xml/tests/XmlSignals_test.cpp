// Signals: their own checks, their clones, and golden traces of what the
// document reader sends for a set of documents (kind, fields, positions).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <tuple>
#include <vector>

#include "DomTestSupport.h"
#include "XmlParserTestSupport.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/XmlRules.h"

namespace {

TEST(XmlSignals, NilLocatorGivesNoPosition) {
  std::unique_ptr<TXmlCommentSignal> s(TXmlSignal::CreateFromLocator<TXmlCommentSignal>(nullptr, nullptr));
  EXPECT_EQ(s->GetStartLineNumber(), -1);
  EXPECT_EQ(s->GetEndByteNumber(), -1);
  EXPECT_EQ(s->GetUri(), u"");
  EXPECT_EQ(s->Scope(), kScopeDocDtd);
}

// The error type and code of a check.
std::pair<int, std::string> Check(const TXmlSignal& s) {
  TXmlErrorType type;
  std::u16string code;
  s.CheckWellformedness(type, code);
  return {type, Utf8(code)};
}

TEST(XmlSignals, StartElementChecks) {
  struct Case {
    const char16_t* name;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
    int type;
    const char* code;
  } cases[] = {
      {u"a", {{u"x", u"1"}}, 0, ""},
      {u"1a", {}, ET_INVALID_CHARACTER, "1a"},
      {u"a", {{u"x", u"1"}, {u"x", u"2"}}, ET_DOUBLE_ATTRIBUTE_NAME, "x"},
      {u"a", {{u"-x", u"1"}}, ET_INVALID_ATTRIBUTE_NAME, "-x"},
      {u"a", {{u"x", u"&#xZZ;"}}, ET_INVALID_CHAR_REF, "&#xZZ;"},
      {u"a", {{u"x", u"&#x110000;"}}, ET_INVALID_CHAR_REF, "&#x110000;"},
      {u"a", {{u"x", u"a&amp"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "a&amp"},
      {u"a", {{u"x", u"a&b;<"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "<"},
      {u"a", {{u"x", u"<"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "<"},
      {u"a", {{u"x", u"&1;"}}, ET_INVALID_PARAMETER_ENTITY_NAME, "1"},
      {u"a", {{u"x", u"&lt;&#65;"}}, 0, ""},
      // A surrogate half is a character only in a pair, beside references too.
      {u"a", {{u"x", u"&lt;\xD800x"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "\xED\xA0\x80"},
      {u"a", {{u"x", u"\xDC00&lt;"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "\xED\xB0\x80"},
      {u"a", {{u"x", u"&lt;\xD800"}}, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "\xED\xA0\x80"},
      {u"a", {{u"x", u"&lt;\xD83D\xDE00"}}, 0, ""},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TXmlStartElementSignal> s(New<TXmlStartElementSignal>());
    s->TagName = c.name;
    for (const auto& [n, v] : c.attributes) s->Attributes->Add(n, v);
    EXPECT_EQ(Check(*s), std::make_pair(c.type, std::string(c.code))) << Utf8(c.name);
  }
}

// The start tag's check looks for a repeated name only beside equal
// neighbours when the list is sorted; random lists, sorted or not and with
// or without repeats, get the verdict of a search for every name.
TEST(XmlSignals, RepeatedAttributeNamesAgreeWithASearch) {
  uint32_t seed = 7;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const char16_t* names[] = {u"a", u"b", u"ab", u"b1", u"c", u"-x", u"z"};
  for (int round = 0; round < 3000; ++round) {
    std::unique_ptr<TXmlStartElementSignal> s(New<TXmlStartElementSignal>());
    s->TagName = u"e";
    bool sorted = next() % 2 == 0;
    if (next() % 2 == 0) s->Attributes->Names()->SetDuplicates(dupAccept);
    int count = static_cast<int>(next() % 6);
    for (int i = 0; i < count; ++i) s->Attributes->Add(names[next() % std::size(names)], next() % 5 ? u"v" : u"<");
    if (sorted) s->Attributes->SetSorted(true);
    std::pair<int, std::string> expected(0, "");
    for (int i = 0; i < s->Attributes->GetCount(); ++i) {
      std::u16string name = s->Attributes->GetName(i);
      if (s->Attributes->IndexOfName(name) != i) {
        expected = {ET_DOUBLE_ATTRIBUTE_NAME, Utf8(name)};
        break;
      }
      if (!IsXmlName(name)) {
        expected = {ET_INVALID_ATTRIBUTE_NAME, Utf8(name)};
        break;
      }
      if (s->Attributes->GetValue(i) == u"<") {
        expected = {ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, "<"};
        break;
      }
    }
    ASSERT_EQ(Check(*s), expected) << round;
  }
}

// A reader reuses its signal objects from entity to entity: each entity's
// signals carry that entity's URI, also when its source takes the place in
// memory of the one before.
TEST_F(ParserTest, ReusedSignalsCarryTheUriOfTheirEntity) {
  struct UriRecorder : TXmlCustomHandler {
    void ProcessSignal(TXmlSignal* signal) override { uris.push_back(signal->GetUri()); }
    std::vector<std::u16string> uris;
  };
  UriRecorder* recorder = New<UriRecorder>(static_cast<TComponent*>(nullptr));
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  reader->SetDOMImpl(impl);
  reader->SetNextHandler(recorder);
  // The streams are made first, so that each source is likely to take the
  // memory its predecessor gave back.
  std::vector<std::unique_ptr<TStringStream>> streams;
  for (int round = 0; round < 4; ++round) streams.emplace_back(New<TStringStream>(std::string("<a>t<b/>&#65;</a>")));
  for (int round = 0; round < 4; ++round) {
    std::u16string uri = u"u" + std::u16string(1, char16_t(u'0' + round));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(streams[round].get(), std::u16string(), uri, 4096,
                                                                 std::u16string(u"UTF-8"), false, int64_t(0),
                                                                 int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    recorder->uris.clear();
    ASSERT_TRUE(reader->ParseDocument(source.get()));
    ASSERT_EQ(recorder->uris.size(), 8u);
    for (const std::u16string& got : recorder->uris) EXPECT_EQ(Utf8(got), Utf8(uri)) << round;
  }
  reader->Free();
  recorder->Free();
}

// The attribute value check takes usual characters in one compare and reads
// character references in place; random values get the verdict and the
// offending text of the check written the long way.
namespace reference {

void CheckAttributeValue(const std::u16string& value, TXmlErrorType& errorType, std::u16string& code) {
  errorType = ET_NONE;
  code.clear();
  auto fail = [&](TXmlErrorType type, std::u16string_view text) {
    errorType = type;
    code = std::u16string(text);
  };
  if (value.find(u'&') == std::u16string::npos) {
    if (!IsXmlCharData(value)) fail(ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, value);
    return;
  }
  size_t i = 0;
  while (i < value.size()) {
    char16_t c = value[i];
    if (c == u'&') {
      size_t semi = value.find(u';', i + 1);
      if (semi == std::u16string::npos) return fail(ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, value);
      std::u16string_view text(value.data() + i + 1, semi - i - 1);
      if (!text.empty() && text[0] == u'#') {
        std::u16string ref = u"&" + std::u16string(text) + u";";
        try {
          XmlCharRefToInt(ref);
        } catch (const Exception&) {
          return fail(ET_INVALID_CHAR_REF, ref);
        }
      } else if (!IsXmlName(text)) {
        return fail(ET_INVALID_PARAMETER_ENTITY_NAME, text);
      }
      i = semi + 1;
      continue;
    }
    bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    size_t length =
        c <= 0xDBFF && surrogate && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF ? 2 : 1;
    if (c == u'<' || (surrogate && length == 1) || !IsXmlChar(c)) {
      return fail(ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, std::u16string_view(&value[i], 1));
    }
    i += length;
  }
}

}  // namespace reference

TEST(XmlSignals, AttributeValueCheckAgreesWithTheLongWay) {
  const char16_t alphabet[] = {u'a', u' ', u'&', u'#', u'x', u'X', u'0', u'9', u'F', u';', u'<', u'>', u'_',
                               u':', u'-', 0x09,  0x01,  0xD800, 0xDC00, 0xFFFE, 0xE9, u'1', u'2'};
  uint32_t seed = 3;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 20000; ++round) {
    std::u16string value;
    size_t length = next() % 12;
    for (size_t i = 0; i < length; ++i) value.push_back(alphabet[next() % std::size(alphabet)]);
    if (next() % 3 == 0) value.insert(next() % (value.size() + 1), next() % 2 ? u"&#x41;" : u"&amp;");
    TXmlErrorType expectedType, gotType;
    std::u16string expectedCode, gotCode;
    reference::CheckAttributeValue(value, expectedType, expectedCode);
    CheckXmlAttributeValue(value, gotType, gotCode);
    ASSERT_EQ(gotType, expectedType) << Utf8(value);
    ASSERT_EQ(gotCode, expectedCode) << Utf8(value);
  }
}

// A start tag's attributes come sorted by name whatever their number: few
// go in at their places as they come, many are sorted at the end of the
// tag. Random tags of 0 to 40 different names against a sort of the names.
TEST_F(ParserTest, StartTagAttributesComeSortedByName) {
  uint32_t seed = 11;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> names;
    size_t count = next() % 41;
    while (names.size() < count) {
      std::string name(1, static_cast<char>('a' + next() % 6));
      for (size_t k = next() % 4; k > 0; --k) name.push_back(static_cast<char>('a' + next() % 6));
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string doc = "<e";
    for (size_t k = 0; k < names.size(); ++k) doc += " " + names[k] + "='" + std::to_string(k) + "'";
    doc += "/>";
    std::string expected = "StartElement e";
    std::vector<size_t> order(names.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return names[x] < names[y]; });
    for (size_t k : order) expected += " " + names[k] + "=" + std::to_string(k);
    std::vector<std::string> lines = Trace(doc);
    ASSERT_GE(lines.size(), 2u);
    ASSERT_EQ(lines[1].substr(0, lines[1].find('@')), expected) << doc;
  }
}

TEST(XmlSignals, OtherKindsChecks) {
  std::unique_ptr<TXmlCommentSignal> comment(New<TXmlCommentSignal>());
  EXPECT_EQ(Check(*comment).first, 0);
  comment->Data = u"a-";
  EXPECT_EQ(Check(*comment), std::make_pair(int(ET_HYPHEN_AT_COMMENT_END), std::string("-")));
  comment->Data = u"a--b";
  EXPECT_EQ(Check(*comment), std::make_pair(int(ET_DOUBLE_HYPHEN_IN_COMMENT), std::string("--")));
  std::unique_ptr<TXmlProcessingInstructionSignal> pi(New<TXmlProcessingInstructionSignal>());
  pi->Target = u"XmL";
  EXPECT_EQ(Check(*pi), std::make_pair(int(ET_INVALID_PI_TARGET_OR_DATA), std::string("XmL")));
  std::unique_ptr<TXmlStartDocumentSignal> start(New<TXmlStartDocumentSignal>());
  start->XmlVersion = u"1.0";
  EXPECT_EQ(Check(*start).first, 0);
  start->XmlEncoding = u"8bit";
  EXPECT_EQ(Check(*start).first, ET_INVALID_VERSION_NUMBER);
  std::unique_ptr<TXmlStartPrefixMappingSignal> mapping(New<TXmlStartPrefixMappingSignal>());
  // The two reserved names belong to their own prefixes only.
  const int no = ET_INVALID_PREFIX_MAPPING;
  for (auto [prefix, uri, type] : {std::tuple<const char16_t*, const char16_t*, int>{u"xmlns", u"urn:x", no},
                                   {u"xml", u"urn:x", no}, {u"p", kXmlNamespaceUri, no}, {u"", kXmlNamespaceUri, no},
                                   {u"p", kXmlnsNamespaceUri, no}, {u"", kXmlnsNamespaceUri, no},
                                   {u"xml", kXmlnsNamespaceUri, no}, {u"xml", kXmlNamespaceUri, 0}, {u"", u"urn:x", 0}}) {
    mapping->Prefix = prefix;
    mapping->Uri = uri;
    EXPECT_EQ(Check(*mapping).first, type) << Utf8(prefix) << " " << Utf8(uri);
  }
  std::unique_ptr<TXmlEntityDeclarationSignal> entity(New<TXmlEntityDeclarationSignal>());
  entity->EntityName = u"e";
  entity->EntityValue = u"v";
  entity->SystemId = u"s";
  EXPECT_EQ(Check(*entity).first, ET_INVALID_DECLARATION_SIGNAL);
}

TEST(XmlSignals, CloneKeepsItsOwnData) {
  std::unique_ptr<TXmlStartElementSignal> s(New<TXmlStartElementSignal>());
  s->TagName = u"a";
  s->Attributes->Add(u"x", u"1");
  std::unique_ptr<TXmlSignal> copy(s->CloneSignal());
  s.reset();
  auto* clone = dynamic_cast<TXmlStartElementSignal*>(copy.get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->TagName, u"a");
  EXPECT_EQ(clone->Attributes->GetValue(0), u"1");
}

using GoldenTraceTest = ParserTest;

// What the reader sends, with each signal's start and end line:column. A line
// feed belongs to the line it opens; a tag is placed at its name; the
// internal subset's place is the one before its first character.
TEST_F(GoldenTraceTest, Documents) {
  struct Case {
    const char* text;
    std::vector<std::string> trace;
  } cases[] = {
      {"", {"StartDocument enc= input=UTF-8 standalone=2 version=@1:0-1:0", "Completed@1:1-1:1"}},
      {"<a y='2' x='1'>t</a>",
       {"StartDocument enc= input=UTF-8 standalone=2 version=@1:0-1:0", "StartElement a x=1 y=2@1:2-1:14",
        "PCDATA t@1:16-1:16", "EndElement a@1:19-1:19", "Completed@1:21-1:21"}},
      {"<?xml version='1.0' encoding='ISO-8859-1' standalone='no'?>\n<r\n/>",
       {"StartDocument enc=ISO-8859-1 input=ISO-8859-1 standalone=1 version=1.0@1:59-1:59", "PCDATA \n@2:0-2:0",
        "StartElement r@2:2-3:0", "EndElement r@2:2-3:0", "Completed@3:3-3:3"}},
      {"<r>&#x1F600;&lt;<![CDATA[<]]><!--c--><?p  d ?></r>",
       {"StartDocument enc= input=UTF-8 standalone=2 version=@1:0-1:0", "StartElement r@1:2-1:2",
        "CharRef \xF0\x9F\x98\x80@1:7-1:11", "EntityRef lt@1:14-1:15", "CDATA <@1:26-1:26", "Comment c@1:34-1:34",
        "PI p|d @1:40-1:44", "EndElement r@1:49-1:49", "Completed@1:51-1:51"}},
      {"<!DOCTYPE r PUBLIC '-//p' 's' [\n<!ENTITY e 'x'>]><r/>",
       {"StartDocument enc= input=UTF-8 standalone=2 version=@1:0-1:0",
        "Doctype r pub=-//p sys=s subset=\n<!ENTITY e 'x'> subsetAt=1:-1@1:10-2:16", "StartElement r@2:19-2:19",
        "EndElement r@2:19-2:19", "Completed@2:22-2:22"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Trace(c.text), c.trace) << c.text;
}

TEST_F(GoldenTraceTest, PrefixMappingsWrapTheirElement) {
  std::unique_ptr<TStringStream> stream(New<TStringStream>(std::string("<a xmlns:p='urn:p' xmlns='urn:d'/>")));
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(), 4096,
                                                               std::u16string(u"UTF-8"), true, int64_t(0), int64_t(0),
                                                               int64_t(0), int64_t(0), int64_t(1)));
  TraceHandler* trace = New<TraceHandler>(static_cast<TComponent*>(nullptr));
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  reader->SetNextHandler(trace);
  reader->SetSuppressXmlns(true);
  EXPECT_TRUE(reader->ParseDocument(source.get()));
  std::vector<std::string> kinds;
  for (const std::string& line : trace->lines) kinds.push_back(line.substr(0, line.find('@')));
  EXPECT_EQ(kinds, (std::vector<std::string>{"StartDocument enc= input=UTF-8 standalone=2 version=",
                                             "StartPrefix p=urn:p", "StartPrefix =urn:d", "StartElement a",
                                             "EndElement a", "EndPrefix ", "EndPrefix p", "Completed"}));
  reader->Free();
  trace->Free();
}

TEST_F(GoldenTraceTest, StopVerdictEndsWithAnAbortedSignal) {
  std::vector<std::string> trace = Trace("<a></b>");
  ASSERT_FALSE(trace.empty());
  // The reader sends the mismatched end tag (only the handler refuses it),
  // then completes; with the well-formedness handler behind, a fatal error
  // would abort. Here the error is the tokenizer's own: none.
  EXPECT_EQ(trace.back().substr(0, 9), "Completed");
  trace = Trace("<a x='1' x='2'/>");
  EXPECT_EQ(trace.back().substr(0, 7), "Aborted");
  ASSERT_EQ(recorder->errors.size(), 1u);
  EXPECT_EQ(recorder->errors[0].type, ET_DOUBLE_ATTRIBUTE_NAME);
}

}  // namespace

namespace {

// Collects what the well-formedness handler passes on.
class Collector : public TXmlCustomHandler {
public:
  void ProcessSignal(TXmlSignal* signal) override { kinds.push_back(signal->KindCode()); }
  std::vector<int> kinds;
};

TEST(WFTestHandler, StatesAcrossEntitiesAndOutOfPlaceSignals) {
  TXmlWFTestHandler* handler = New<TXmlWFTestHandler>(static_cast<TComponent*>(nullptr));
  Collector* collector = New<Collector>(static_cast<TComponent*>(nullptr));
  handler->SetNextHandler(collector);
  std::unique_ptr<TXmlPCDATASignal> text(New<TXmlPCDATASignal>());
  text->Data = u"x";
  EXPECT_DOM_ERROR(handler->ProcessSignal(text.get()), EParserException, "Internal Parser Exception");
  std::unique_ptr<TXmlStartDocumentSignal> start(New<TXmlStartDocumentSignal>());
  std::unique_ptr<TXmlStartElementSignal> element(New<TXmlStartElementSignal>());
  element->TagName = u"r";
  std::unique_ptr<TXmlEndElementSignal> end(New<TXmlEndElementSignal>());
  end->TagName = u"r";
  std::unique_ptr<TXmlCompletedSignal> completed(New<TXmlCompletedSignal>());
  for (int round = 0; round < 2; ++round) {
    handler->ProcessSignal(start.get());
    handler->ProcessSignal(element.get());
    handler->ProcessSignal(text.get());
    handler->ProcessSignal(end.get());
    handler->ProcessSignal(completed.get());
    EXPECT_EQ(handler->DocumentState(), 0);
  }
  EXPECT_EQ(collector->kinds.size(), 10u);
  // A DTD signal inside a document is out of place; without a reader a
  // fatal error raises at once.
  handler->ProcessSignal(start.get());
  std::unique_ptr<TXmlElementTypeDeclarationSignal> decl(New<TXmlElementTypeDeclarationSignal>());
  EXPECT_DOM_ERROR(handler->ProcessSignal(decl.get()), EParserException, "Internal Parser Exception");
  EXPECT_DOM_ERROR(handler->ProcessSignal(end.get()), EParserException, "Signal Processing Exception");
  std::unique_ptr<TXmlAbortedSignal> aborted(New<TXmlAbortedSignal>());
  handler->ProcessSignal(aborted.get());
  EXPECT_EQ(handler->DocumentState(), 0);
  handler->Free();
  collector->Free();
}

class NoResolver : public TCustomResourceResolver {
public:
  TStream* ResolveResource(const std::u16string&, std::u16string&, std::u16string&) override { return nullptr; }
};

TEST_F(GoldenTraceTest, ParseUriWithoutResourceGivesNothing) {
  NoResolver* resolver = New<NoResolver>(static_cast<TComponent*>(nullptr));
  impl->SetResourceResolver(resolver);
  EXPECT_EQ(parser->ParseUri(u"", u"missing.xml", nullptr), nullptr);
  impl->SetResourceResolver(nullptr);
  resolver->Free();
}

}  // namespace
