// Random documents written out as XML text and read back: the tree the
// parser builds equals the one the text was written from, whatever the
// encoding, the byte-order mark, the line ends (CR LF and CR fold to LF),
// references chosen for characters, and the read buffer's boundaries.
#include <algorithm>
#include <cstdlib>
#include <random>

#include "XmlParserTestSupport.h"
#include "xml/CharacterData.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/Element.h"
#include "xml/NodeList.h"

namespace {

struct Item {
  int kind = 0;  // 1 element, 3 text, 4 CDATA section, 7 processing instruction, 8 comment
  std::u16string name, value;
  std::vector<std::pair<std::u16string, std::u16string>> attributes;
  std::vector<Item> children;
};

class Writer {
public:
  explicit Writer(uint32_t seed) : random(seed) {}

  int Pick(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }

  std::u16string Name() {
    static const char16_t* const kNames[] = {u"a", u"b", u"item", u"_x", u"n.m-1", u"p:q", u"\u00e9t\u00e9",
                                             u"\u4e2d", u"A9"};
    return kNames[Pick(9)];
  }
  // Characters of text: markup characters, line ends, letters of every plane.
  std::u16string Chars(int count, const std::u16string& pool) {
    std::u16string s;
    for (int i = 0; i < count; ++i) {
      int k = Pick(static_cast<int>(pool.size()) + 1);
      if (k == static_cast<int>(pool.size())) {
        s += u"\U0001F600";
      } else {
        s += pool[k];
      }
    }
    return s;
  }

  Item Element(int depth) {
    Item e;
    e.kind = 1;
    e.name = Name();
    int attributes = Pick(4);
    for (int i = 0; i < attributes; ++i) {
      std::u16string name = Name();
      bool known = std::any_of(e.attributes.begin(), e.attributes.end(), [&](auto& a) { return a.first == name; });
      // A value holds one kind of quote: the other delimits it (the DOM keeps references in values as written).
      std::u16string value = Chars(Pick(6), Pick(2) ? u"ab >'\u00e9\u4e2d9" : u"ab >\"\u00e9\u4e2d9");
      if (!known) e.attributes.push_back({name, value});
    }
    int children = depth > 3 ? 0 : depth == 0 ? 8 + Pick(24) : Pick(6);
    for (int i = 0; i < children; ++i) {
      Item child;
      switch (Pick(6)) {
        case 0:
        case 1: child = Element(depth + 1); break;
        case 2:
          child.kind = 4;
          child.value = Chars(Pick(8), u"x]<&\n\u00e9 ");
          while (child.value.find(u"]]>") != std::u16string::npos) child.value.erase(child.value.find(u"]]>"), 3);
          break;
        case 3:
          child.kind = 8;
          child.value = Chars(Pick(8), u"c- \n<&\u00e9");
          while (child.value.find(u"--") != std::u16string::npos) child.value.replace(child.value.find(u"--"), 2, u"-c");
          if (!child.value.empty() && child.value.back() == u'-') child.value += u'c';
          break;
        case 4:
          child.kind = 7;
          child.name = Name() == u"a" ? u"pi" : u"t";
          child.value = Chars(Pick(6), u"d ?>\n<&");
          while (child.value.find(u"?>") != std::u16string::npos) child.value.replace(child.value.find(u"?>"), 2, u"?");
          while (!child.value.empty() && IsSpace(child.value[0])) child.value.erase(0, 1);
          break;
        default:
          child.kind = 3;
          child.value = Chars(1 + Pick(12), u"t &<>\"'\n\r\t]\u00e9\u4e2d");
          break;
      }
      // Neighbouring texts are one text node.
      if (child.kind == 3 && !e.children.empty() && e.children.back().kind == 3) {
        e.children.back().value += child.value;
      } else {
        e.children.push_back(child);
      }
    }
    return e;
  }

  static bool IsSpace(char16_t c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; }

  // Text content: references for markup characters and, now and then, for any character.
  void Text(std::u16string& out, const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
      char32_t c = text[i];
      size_t units = 1;
      if (c >= 0xD800 && c <= 0xDBFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        units = 2;
      }
      bool reference = c == u'\r' || Pick(8) == 0;
      if (c == u'&') {
        out += Pick(2) ? u"&amp;" : u"&#38;";
      } else if (c == u'<') {
        out += Pick(2) ? u"&lt;" : u"&#x3c;";
      } else if (c == u'>') {
        out += u"&gt;";
      } else if (reference) {
        std::string digits = Pick(2) ? std::to_string(static_cast<uint32_t>(c)) : Hex(c);
        out += u"&#";
        for (char d : digits) out += static_cast<char16_t>(d);
        out += u';';
      } else if (c == u'\n') {
        // A lone CR is a line end too, unless an LF follows it in the text.
        bool lfNext = i + 1 < text.size() && text[i + 1] == u'\n';
        int form = Pick(3);
        out += form == 0 ? u"\r\n" : (form == 1 && !lfNext ? u"\r" : u"\n");
      } else {
        out += text.substr(i, units);
      }
      i += units - 1;
    }
  }
  static std::string Hex(char32_t c) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    do {
      s.insert(s.begin(), kDigits[c % 16]);
      c /= 16;
    } while (c != 0);
    return "x" + s;
  }

  void Write(std::u16string& out, const Item& item) {
    switch (item.kind) {
      case 1: {
        out += u"<" + item.name;
        for (auto& [name, value] : item.attributes) {
          char16_t quote = value.find(u'"') == std::u16string::npos ? u'"' : u'\'';
          out += std::u16string(Pick(2) ? u" " : u"\n ") + name + (Pick(2) ? u"=" : u" = ") + quote + value + quote;
        }
        if (item.children.empty() && Pick(2)) {
          out += u"/>";
          return;
        }
        out += u">";
        for (const Item& child : item.children) Write(out, child);
        out += u"</" + item.name + (Pick(3) == 0 ? u" >" : u">");
        return;
      }
      case 3: Text(out, item.value); return;
      case 4: out += u"<![CDATA[" + item.value + u"]]>"; return;
      case 7: out += u"<?" + item.name + (item.value.empty() ? u"" : u" " + item.value) + u"?>"; return;
      default: out += u"<!--" + item.value + u"-->"; return;
    }
  }

  std::mt19937 random;
};

std::u16string Describe(const Item& item) {
  switch (item.kind) {
    case 1: {
      auto attributes = item.attributes;
      std::sort(attributes.begin(), attributes.end());
      std::u16string s = u"<" + item.name;
      for (auto& [name, value] : attributes) s += u" " + name + u"=[" + value + u"]";
      s += u">";
      for (const Item& child : item.children) s += Describe(child);
      return s + u"</>";
    }
    case 3: return u"T[" + item.value + u"]";
    case 4: return u"C[" + item.value + u"]";
    case 7: return u"P[" + item.name + u"|" + item.value + u"]";
    default: return u"M[" + item.value + u"]";
  }
}

std::u16string Describe(TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node: {
      std::vector<std::pair<std::u16string, std::u16string>> attributes;
      TdomNamedNodeMap* map = node->GetAttributes();
      for (int i = 0; i < map->GetLength(); ++i)
        attributes.push_back({map->Item(i)->GetNodeName(), static_cast<TdomElement*>(node)->getAttribute(map->Item(i)->GetNodeName())});
      std::sort(attributes.begin(), attributes.end());
      std::u16string s = u"<" + node->GetNodeName();
      for (auto& [name, value] : attributes) s += u" " + name + u"=[" + value + u"]";
      s += u">";
      for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode())
        s += Describe(child);
      return s + u"</>";
    }
    case ntText_Node: return u"T[" + node->GetNodeValue() + u"]";
    case ntCDATA_Section_Node: return u"C[" + node->GetNodeValue() + u"]";
    case ntProcessing_Instruction_Node: return u"P[" + node->GetNodeName() + u"|" + node->GetNodeValue() + u"]";
    case ntComment_Node: return u"M[" + node->GetNodeValue() + u"]";
    default: return u"?";
  }
}

std::string Encode(const std::u16string& text, int encoding) {
  switch (encoding) {
    case 0: return Utf8(text);
    case 1: return "\xEF\xBB\xBF" + Utf8(text);
    default: {
      bool little = encoding == 2;
      std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t c : text) {
        char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        out += little ? std::string{low, high} : std::string{high, low};
      }
      return out;
    }
  }
}

using ParseRoundTripTest = ParserTest;

TEST_F(ParseRoundTripTest, WrittenDocumentsReadBackAsTheSameTree) {
  const int rounds = std::getenv("QV_LONG") != nullptr ? 20000 : 400;
  parser->SetBufferSize(1024);  // many buffer boundaries inside the documents
  parser->SetKeepEntityRefs(false);  // "&lt;" and its kin are text
  size_t total = 0;
  for (int round = 0; round < rounds; ++round) {
    Writer writer(static_cast<uint32_t>(round));
    std::vector<Item> prolog, epilog;
    for (int i = writer.Pick(3); i > 0; --i) {
      Item item;
      item.kind = writer.Pick(2) ? 8 : 7;
      item.name = u"t";
      item.value = u"x";
      (writer.Pick(2) ? prolog : epilog).push_back(item);
    }
    Item root = writer.Element(0);
    int encoding = writer.Pick(4);
    std::u16string text;
    if (writer.Pick(2)) {
      text += u"<?xml version='1.0'";
      if (writer.Pick(2)) text += encoding >= 2 ? u" encoding='UTF-16'" : u" encoding=\"utf-8\"";
      text += u"?>\r\n";
    }
    std::u16string expected;
    for (const Item& item : prolog) {
      writer.Write(text, item);
      text += u"\n";
      expected += Describe(item);
    }
    writer.Write(text, root);
    expected += Describe(root);
    for (const Item& item : epilog) {
      text += u" \r\n";
      writer.Write(text, item);
      expected += Describe(item);
    }
    std::string bytes = Encode(text, encoding);
    total += bytes.size();
    TdomDocument* doc = ParseBytes(bytes);
    ASSERT_NE(doc, nullptr) << "round " << round << ": " << Utf8(text) << " " << recorder->errors.size();
    std::u16string actual;
    for (TdomNode* child = doc->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode())
      actual += Describe(child);
    ASSERT_EQ(Utf8(actual), Utf8(expected)) << "round " << round << ", encoding " << encoding << ": " << Utf8(text);
    EXPECT_TRUE(recorder->errors.empty()) << "round " << round;
    impl->FreeDocument(doc);
  }
  EXPECT_GT(total / rounds, 1024u);  // most documents span several read buffers
}

}  // namespace
