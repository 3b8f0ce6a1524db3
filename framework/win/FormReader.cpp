#include "win/FormReader.h"

#include <cctype>
#include <cstdlib>

#include "core/Format.h"

namespace {

class Parser {
public:
  explicit Parser(std::string_view text_) : text(text_) {}

  TFormObject ParseRoot() {
    SkipBlanks();
    TFormObject root = ParseObject();
    SkipBlanks();
    if (pos < text.size()) Fail("Text after the end of the definition");
    return root;
  }

private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EFormError(Format("Line %d: %s", {line, what}));
  }

  void SkipBlanks() {
    while (pos < text.size()) {
      char c = text[pos];
      if (c == '\n') {
        ++line, ++pos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos;
      } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '/') {
        while (pos < text.size() && text[pos] != '\n') ++pos;
      } else {
        return;
      }
    }
  }

  char Peek() {
    SkipBlanks();
    return pos < text.size() ? text[pos] : '\0';
  }

  void Expect(char c) {
    if (Peek() != c) Fail(Format("'%s' expected", {std::string(1, c)}));
    ++pos;
  }

  static bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

  std::string Ident() {
    if (!IsIdentStart(Peek())) Fail("Identifier expected");
    size_t start = pos;
    while (pos < text.size() && IsIdentChar(text[pos])) ++pos;
    return std::string(text.substr(start, pos - start));
  }

  // Objects, lists and collections nest no deeper than this: the parser
  // recurses once per level, and no form needs more.
  static constexpr int kMaxNesting = 100;

  class NestingScope {
  public:
    explicit NestingScope(Parser& parser_) : parser(parser_) {
      if (++parser.nesting > kMaxNesting) parser.Fail(Format("Nesting deeper than %d levels", {kMaxNesting}));
    }
    ~NestingScope() { --parser.nesting; }
    NestingScope(const NestingScope&) = delete;
    NestingScope& operator=(const NestingScope&) = delete;

  private:
    Parser& parser;
  };

  TFormObject ParseObject() {
    NestingScope scope(*this);
    TFormObject obj;
    obj.line = line;
    obj.className = Ident();
    obj.name = Ident();
    Expect('{');
    while (Peek() != '}') {
      if (pos >= text.size()) Fail("'}' expected");
      size_t save = pos;
      int saveLine = line;
      std::string first = Ident();
      char next = Peek();
      if (IsIdentStart(next)) {  // "ClassName Name {": a nested object
        pos = save, line = saveLine;
        obj.children.push_back(ParseObject());
        continue;
      }
      pos = save, line = saveLine;
      obj.properties.push_back(ParseProperty());
    }
    Expect('}');
    return obj;
  }

  TFormProperty ParseProperty() {
    TFormProperty prop;
    prop.line = line;
    prop.path = Ident();
    while (Peek() == '.') {
      ++pos;
      prop.path += '.';
      prop.path += Ident();
    }
    Expect('=');
    prop.value = ParseValue();
    Expect(';');
    return prop;
  }

  TFormValue ParseValue() {
    TFormValue v;
    char c = Peek();
    v.line = line;
    if (c == '"') {
      v.kind = TFormValue::vkString;
      v.text = StringLiteral();
      while (Peek() == '+') {
        ++pos;
        if (Peek() != '"') Fail("String expected after '+'");
        v.text += StringLiteral();
      }
      return v;
    }
    if (c == '-' || c == '$' || std::isdigit(static_cast<unsigned char>(c))) return Number();
    if (IsIdentStart(c)) {
      v.kind = TFormValue::vkIdent;
      v.text = Ident();
      return v;
    }
    if (c == '[') {
      ++pos;
      v.kind = TFormValue::vkSet;
      if (Peek() != ']') {
        v.names.push_back(Ident());
        while (Peek() == ',') {
          ++pos;
          v.names.push_back(Ident());
        }
      }
      Expect(']');
      return v;
    }
    if (c == '(') {
      NestingScope scope(*this);
      ++pos;
      v.kind = TFormValue::vkList;
      if (Peek() != ')') {
        v.list.push_back(ParseValue());
        while (Peek() == ',') {
          ++pos;
          v.list.push_back(ParseValue());
        }
      }
      Expect(')');
      return v;
    }
    if (c == '<') {
      NestingScope scope(*this);
      ++pos;
      v.kind = TFormValue::vkCollection;
      while (Peek() != '>') {
        if (pos >= text.size()) Fail("'>' expected");
        if (Ident() != "item") Fail("'item' expected");
        Expect('{');
        std::vector<TFormProperty> props;
        while (Peek() != '}') {
          if (pos >= text.size()) Fail("'}' expected");
          props.push_back(ParseProperty());
        }
        Expect('}');
        v.items.push_back(std::move(props));
      }
      Expect('>');
      return v;
    }
    if (c == '{') {
      ++pos;
      v.kind = TFormValue::vkBinary;
      int high = -1;
      while (Peek() != '}') {
        if (pos >= text.size()) Fail("'}' expected");
        int d = HexDigit(text[pos]);
        if (d < 0) Fail("Hex digit expected");
        ++pos;
        if (high < 0) {
          high = d;
        } else {
          v.bytes.push_back(static_cast<uint8_t>(high * 16 + d));
          high = -1;
        }
      }
      if (high >= 0) Fail("Odd number of hex digits");
      Expect('}');
      return v;
    }
    Fail("Value expected");
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  TFormValue Number() {
    TFormValue v;
    v.line = line;
    v.kind = TFormValue::vkInteger;
    bool negative = false;
    if (text[pos] == '-') {
      negative = true;
      ++pos;
    }
    if (pos < text.size() && text[pos] == '$') {
      ++pos;
      size_t start = pos;
      uint64_t value = 0;
      while (pos < text.size() && HexDigit(text[pos]) >= 0) {
        value = value * 16 + static_cast<uint64_t>(HexDigit(text[pos++]));
        if (pos - start > 16) Fail("Number too large");
      }
      if (pos == start) Fail("Hex digit expected");
      // $8000000000000000 and above are the negative values' bit patterns;
      // negating in unsigned arithmetic keeps "-$8000000000000000" defined.
      v.integer = static_cast<int64_t>(negative ? 0 - value : value);
      return v;
    }
    size_t start = pos;
    while (pos < text.size() && (std::isdigit(static_cast<unsigned char>(text[pos])) || text[pos] == '.' ||
                                 text[pos] == 'e' || text[pos] == 'E' ||
                                 ((text[pos] == '+' || text[pos] == '-') && (text[pos - 1] == 'e' || text[pos - 1] == 'E'))))
      ++pos;
    std::string digits(text.substr(start, pos - start));
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits[0]))) Fail("Number expected");
    if (digits.find_first_of(".eE") != std::string::npos) {
      char* end = nullptr;
      v.kind = TFormValue::vkFloat;
      v.real = std::strtod(digits.c_str(), &end);
      if (end == nullptr || *end != '\0') Fail("Invalid number");
      if (negative) v.real = -v.real;
      return v;
    }
    if (digits.size() > 18) Fail("Number too large");
    v.integer = std::strtoll(digits.c_str(), nullptr, 10);
    if (negative) v.integer = -v.integer;
    return v;
  }

  std::string StringLiteral() {
    ++pos;  // the opening quote
    std::string out;
    while (true) {
      if (pos >= text.size() || text[pos] == '\n') Fail("Unterminated string");
      char c = text[pos++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos >= text.size()) Fail("Unterminated string");
      char e = text[pos++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          int h = pos < text.size() ? HexDigit(text[pos]) : -1;
          int l = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
          if (h < 0 || l < 0) Fail("Two hex digits expected after \\x");
          out += static_cast<char>(h * 16 + l);
          pos += 2;
          break;
        }
        default: Fail("Unknown escape in string");
      }
    }
  }

  std::string_view text;
  size_t pos = 0;
  int line = 1;
  int nesting = 0;
};

}  // namespace

TFormObject ParseFormDefinition(std::string_view text) {
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
      static_cast<unsigned char>(text[2]) == 0xBF)
    text.remove_prefix(3);
  return Parser(text).ParseRoot();
}

std::string QuoteFormString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static const char* hex = "0123456789ABCDEF";
          out += "\\x";
          out += hex[(static_cast<unsigned char>(c) >> 4) & 15];
          out += hex[static_cast<unsigned char>(c) & 15];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}
