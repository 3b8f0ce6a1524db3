// The size of the read buffer must not show in what the reader reports:
// random documents in every byte encoding the reader detects, with line
// ends, tabs, characters of one to four bytes, references and faults at any
// place (malformed bytes at the end among them), read with buffers of one
// byte up, give the same signals, texts, errors and positions (byte,
// character, line, column) as with the usual buffer, and the DOM built from
// them the same tree and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "XmlParserTestSupport.h"
#include "xml/DomBuilder.h"

namespace {

// Every signal and error as one line, with all four position counters.
class PositionTrace : public TXmlCustomHandler {
public:
  void ProcessSignal(TXmlSignal* signal) override {
    std::string line = "S" + std::to_string(signal->KindCode()) + Place(signal);
    if (auto* s = SignalAs<TXmlStartElementSignal>(signal)) {
      line += " <" + Utf8(s->TagName);
      for (int i = 0; i < s->Attributes->GetCount(); ++i)
        line += " " + Utf8(s->Attributes->GetName(i)) + "=" + Utf8(s->Attributes->GetValue(i));
    } else if (auto* s = SignalAs<TXmlEndElementSignal>(signal)) {
      line += " </" + Utf8(s->TagName);
    } else if (auto* s = SignalAs<TXmlPCDATASignal>(signal)) {
      line += " text " + Utf8(s->Data);
    } else if (auto* s = SignalAs<TXmlCDATASignal>(signal)) {
      line += " cdata " + Utf8(s->Data);
    } else if (auto* s = SignalAs<TXmlCommentSignal>(signal)) {
      line += " comment " + Utf8(s->Data);
    } else if (auto* s = SignalAs<TXmlProcessingInstructionSignal>(signal)) {
      line += " pi " + Utf8(s->Target) + "|" + Utf8(s->Data);
    } else if (auto* s = SignalAs<TXmlEntityRefSignal>(signal)) {
      line += " ref " + Utf8(s->EntityName);
    }
    lines.push_back(line);
  }
  void OnError(TObject*, TdomError* error, bool& go) {
    lines.push_back("E" + std::to_string(error->ErrorType()) + Place(error) + " " + Utf8(error->Code()));
    go = true;
  }
  static std::string Place(const IDomLocator* at) {
    char text[160];
    std::snprintf(text, sizeof text, " %lld/%lld/%lld:%lld-%lld/%lld/%lld:%lld", (long long)at->GetStartByteNumber(),
                  (long long)at->GetStartCharNumber(), (long long)at->GetStartLineNumber(),
                  (long long)at->GetStartColumnNumber(), (long long)at->GetEndByteNumber(),
                  (long long)at->GetEndCharNumber(), (long long)at->GetEndLineNumber(),
                  (long long)at->GetEndColumnNumber());
    return text;
  }
  std::vector<std::string> lines;
};

std::vector<std::string> ReadWithBuffer(const std::string& bytes, int32_t bufferSize) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  PositionTrace* trace = New<PositionTrace>(static_cast<TComponent*>(nullptr));
  impl->OnError = MakeEvent<&PositionTrace::OnError>(trace);
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  reader->SetDOMImpl(impl);
  reader->SetNextHandler(trace);
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  try {
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(
        stream.get(), std::u16string(), std::u16string(u"t.xml"), bufferSize, std::u16string(u"UTF-8"), false,
        int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    trace->lines.push_back(reader->ParseDocument(source.get()) ? "done" : "stopped");
  } catch (const Exception& e) {
    trace->lines.push_back("raised " + e.Message());
  }
  std::vector<std::string> lines = trace->lines;
  reader->Free();
  trace->Free();
  impl->Free();
  return lines;
}

// Encodes UTF-16 text in one of the detected byte encodings (with its mark).
std::string Encode(const std::u16string& text, int encoding) {
  if (encoding <= 1) return (encoding == 1 ? "\xEF\xBB\xBF" : "") + Utf8(text);
  std::string out;
  auto put = [&](uint32_t value, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i) {
      int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
      out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
  };
  bool big = encoding == 2 || encoding == 4;
  int width = encoding <= 3 ? 2 : 4;
  put(0xFEFF, width, big);
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (width == 4 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    put(c, width, big);
  }
  return out;
}

std::string RandomDocument(std::mt19937& random) {
  static const char16_t* const kPieces[] = {
      u"a",       u"xyz",        u" ",          u"\t",         u"\r",         u"\n",          u"\r\n",
      u"\u00E9",  u"\u4E2D",     u"\U00010400", u"&amp;",      u"&#x10400;",  u"&#13;",       u"<x/>",
      u"&lt;",    u"<!--\r-->",  u"<?p \r\n?>", u"<![CDATA[\r\n]]>",          u"<y a='1\r\n2'\tb=\"\t\"/>",
      u"]]>",     u"<",          u"&",          u"\x01",       u"\uFFFE",     u"&#0;",        u"<z a='1' a='2'/>"};
  auto pick = [&](size_t n) { return size_t(random() % n); };
  std::u16string name = pick(2) == 0 ? u"r" : std::u16string(1 + pick(40), u'n') + u"\u00E9";
  std::u16string text = pick(2) == 0 ? u"<?xml version='1.0'?>\r\n<" : u"<";
  text += name;
  for (size_t i = 0, n = pick(4); i < n; ++i) text += u" a" + std::u16string(1, char16_t(u'0' + i)) + u"='\r\n\U00010400&amp;'";
  text += u">";
  // Mostly well-formed pieces; now and then a faulty one.
  size_t usual = sizeof kPieces / sizeof kPieces[0] - 6;
  for (size_t i = 0, n = pick(30); i < n; ++i) text += kPieces[pick(pick(5) == 0 ? usual + 6 : usual)];
  text += u"</" + name + u">" + std::u16string(pick(2) == 0 ? u"\r" : u"");
  std::string bytes = Encode(text, int(pick(6)));
  // Malformed or cut bytes at the end of the input.
  static const char* const kTails[] = {"\xC3", "\xE2\x82", "\xF0\x9F\x98", "\x80", "\r", "\xD8"};
  if (pick(4) == 0) bytes += kTails[pick(6)];
  return bytes;
}

// The tree as lines: kind, name, namespace URI, value; attributes first.
void DumpTree(TdomNode* node, std::vector<std::string>& out, int depth) {
  std::string line(depth, ' ');
  line += std::to_string(node->GetNodeType()) + " " + Utf8(node->GetNodeName()) + " {" + Utf8(node->GetNamespaceURI()) +
          "} " + Utf8(node->GetNodeValue());
  out.push_back(line);
  if (TdomNamedNodeMap* attributes = node->GetAttributes()) {
    for (int i = 0; i < attributes->GetLength(); ++i) DumpTree(attributes->Item(i), out, depth + 1);
  }
  for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode())
    DumpTree(child, out, depth + 1);
}

// Builds a namespace-aware, validated document with entities expanded (every
// error let through) and returns its errors with their places, then its tree.
std::vector<std::string> BuildWithBuffer(const std::string& bytes, int32_t bufferSize) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  PositionTrace* trace = New<PositionTrace>(static_cast<TComponent*>(nullptr));
  impl->OnError = MakeEvent<&PositionTrace::OnError>(trace);
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
  parser->SetDOMImpl(impl);
  parser->DomBuilder()->BuildNamespaceTree = true;
  parser->SetAutoPrepare(AP_COMPLETE);
  parser->SetKeepEntityRefs(false);
  parser->SetResolveExternals(false);
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  try {
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(
        stream.get(), std::u16string(), std::u16string(u"t.xml"), bufferSize, std::u16string(u"UTF-8"), false,
        int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    auto* document = static_cast<TdomDocument*>(parser->Parse(source.get(), nullptr));
    trace->lines.push_back(document->validate(true) ? "valid" : "invalid");
    DumpTree(document, trace->lines, 0);
  } catch (const Exception& e) {
    trace->lines.push_back("raised " + e.Message());
  }
  std::vector<std::string> lines = trace->lines;
  parser->Free();
  trace->Free();
  impl->Free();
  return lines;
}

// A document for the builder: declared entities (some with faulty or marked-up
// replacement text), attribute defaults, mapped and unmapped prefixes, and now
// and then a name or text longer than the reader keeps decoded at once.
std::string RandomBuiltDocument(std::mt19937& random) {
  static const char16_t* const kValues[] = {u"t\u00E9", u"<e a='\t'>x</e>", u"&#60;f/&#62;", u"a&#0;b", u"&u;",
                                            u"<e>", u"&#32;", u"]]>", u"<p:e/>"};
  static const char16_t* const kPieces[] = {
      u"&e0;",  u"&e1;",      u"&e2;",       u"&u;",   u"\r\n", u"\t", u"\U00010400", u"<e/>", u"<p:e p:a='1'/>",
      u"<q:e/>", u"<xml:e/>", u"<e xmlns:q='urn:q'><q:e q:b=''/></e>", u"&#32;", u"<![CDATA[ ]]>", u"t", u"&lt;"};
  auto pick = [&](size_t n) { return size_t(random() % n); };
  std::u16string text = u"<!DOCTYPE r [\r\n<!ELEMENT r (e|p:e)*>\t<!ATTLIST e a CDATA 'd\u00E9f' b ID #IMPLIED>\n";
  for (int i = 0; i < 3; ++i)
    text += u"<!ENTITY e" + std::u16string(1, char16_t(u'0' + i)) + u" '" + kValues[pick(9)] + u"'>";
  text += u"]>\n<r xmlns:p='urn:p'>";
  for (size_t i = 0, n = pick(25); i < n; ++i) {
    if (pick(12) == 0) {
      // Long names (some with an unmapped prefix, reported at their tag),
      // long texts and long values (some with a "<", refused there).
      std::u16string longName(1000 + pick(600), u'n');
      switch (pick(4)) {
        case 0: text += u"<" + longName + u"/>"; break;
        case 1: text += u"<z:" + longName + u"/>"; break;
        case 2: text += u"<e a='" + longName + (pick(2) == 0 ? u"<'/>" : u"'/>"); break;
        default: text += longName + u"]]>"; break;
      }
    } else {
      text += kPieces[pick(sizeof kPieces / sizeof kPieces[0])];
    }
  }
  return Encode(text + u"</r>", int(pick(6)));
}

}  // namespace

TEST(ReadBuffers, TinyBuffersReadAsTheUsualOne) {
  std::mt19937 random(34);
  int rounds = std::getenv("QV_LONG") != nullptr ? 20000 : 300;
  for (int round = 0; round < rounds; ++round) {
    std::string bytes = RandomDocument(random);
    std::vector<std::string> expected = ReadWithBuffer(bytes, 4096);
    for (int32_t size : {1, 2, 3, 4, 5, 7, 13}) {
      ASSERT_EQ(ReadWithBuffer(bytes, size), expected) << "round " << round << ", buffer " << size;
    }
  }
}

// What the DOM builder reports where (prefixes, misplaced content, faults of
// replacement text at their references, validity) and the tree it builds do
// not depend on the buffer either.
TEST(ReadBuffers, TinyBuffersBuildAsTheUsualOne) {
  std::mt19937 random(35);
  int rounds = std::getenv("QV_LONG") != nullptr ? 5000 : 150;
  for (int round = 0; round < rounds; ++round) {
    std::string bytes = RandomBuiltDocument(random);
    std::vector<std::string> expected = BuildWithBuffer(bytes, 4096);
    for (int32_t size : {1, 2, 3, 5, 13}) {
      ASSERT_EQ(BuildWithBuffer(bytes, size), expected) << "round " << round << ", buffer " << size;
    }
  }
}
