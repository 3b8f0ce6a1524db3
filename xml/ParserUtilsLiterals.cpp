#include "xml/ParserUtilsLiterals.h"

#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/XmlRulesChars.h"
#include "xml/XmlRulesStrings.h"

namespace {

enum class TExternalIdKind { None, System, Public };

// "SYSTEM" or "PUBLIC" followed by a white-space character at the start of s.
TExternalIdKind ReadExternalIdKeyword(std::u16string_view s) {
  if (s.size() < 7 || !IsXmlWhiteSpaceWideChar(s[6])) return TExternalIdKind::None;
  if (s.substr(0, 6) == u"SYSTEM") return TExternalIdKind::System;
  if (s.substr(0, 6) == u"PUBLIC") return TExternalIdKind::Public;
  return TExternalIdKind::None;
}

}  // namespace

void ParseQuotedLiteral(std::u16string_view text, std::u16string& literal, std::u16string& rest, bool& error,
                        char16_t& quote) {
  literal.clear();
  rest.clear();
  error = true;
  quote = 0;
  size_t start = 0;
  while (start < text.size() && IsXmlWhiteSpaceWideChar(text[start])) ++start;
  std::u16string_view s = text.substr(start);
  if (s.size() < 2 || (s[0] != u'\'' && s[0] != u'"')) return;
  size_t close = s.find(s[0], 1);
  if (close == std::u16string_view::npos) return;
  std::u16string_view after = s.substr(close + 1);
  if (!after.empty() && !IsXmlWhiteSpaceWideChar(after[0])) return;
  std::u16string_view inner = s.substr(1, close - 1);
  if (!IsXmlChars(inner)) return;
  literal.assign(inner);
  rest = TrimLeftXmlWhiteSpaceWideStr(after);
  quote = s[0];
  error = false;
}

void ParseEntityDeclValue(std::u16string_view text, std::u16string& entityValue, std::u16string& systemLiteral,
                          bool& error, std::u16string& notationName, std::u16string& publicLiteral) {
  entityValue.clear();
  systemLiteral.clear();
  notationName.clear();
  publicLiteral.clear();
  error = false;
  auto fail = [&] {
    entityValue.clear();
    systemLiteral.clear();
    notationName.clear();
    publicLiteral.clear();
    error = true;
  };
  if (text.size() < 2) return fail();
  std::u16string s = TrimLeftXmlWhiteSpaceWideStr(text);
  std::u16string literal, rest;
  bool bad = false;
  char16_t quote = 0;
  if (!s.empty() && (s[0] == u'\'' || s[0] == u'"')) {
    ParseQuotedLiteral(s, literal, rest, bad, quote);
    if (bad || !rest.empty() || !IsXmlEntityValueChars(literal)) return fail();
    entityValue = literal;
    return;
  }
  TExternalIdKind kind = ReadExternalIdKeyword(s);
  if (kind == TExternalIdKind::None) return fail();
  rest = s.substr(6);
  if (kind == TExternalIdKind::Public) {
    std::u16string after;
    ParseQuotedLiteral(rest, literal, after, bad, quote);
    if (bad || !IsXmlPubidChars(literal)) return fail();
    publicLiteral = literal;
    rest = after;
  }
  std::u16string after;
  ParseQuotedLiteral(rest, literal, after, bad, quote);
  if (bad) return fail();
  systemLiteral = literal;
  if (after.empty()) return;
  if (after.size() < 7 || after.compare(0, 5, u"NDATA") != 0 || !IsXmlWhiteSpaceWideChar(after[5])) return fail();
  std::u16string name = TrimXmlWhiteSpaceWideStr(std::u16string_view(after).substr(6));
  if (!IsXmlName(name)) return fail();
  notationName = name;
}

void ParseNotationDeclId(std::u16string_view text, std::u16string& systemLiteral, std::u16string& publicLiteral,
                         bool& error) {
  systemLiteral.clear();
  publicLiteral.clear();
  error = true;
  std::u16string s = TrimXmlWhiteSpaceWideStr(text);
  TExternalIdKind kind = ReadExternalIdKeyword(s);
  if (kind == TExternalIdKind::None) return;
  std::u16string literal, after;
  bool bad = false;
  char16_t quote = 0;
  ParseQuotedLiteral(std::u16string_view(s).substr(6), literal, after, bad, quote);
  if (bad) return;
  if (kind == TExternalIdKind::System) {
    if (!after.empty()) return;
    systemLiteral = literal;
    error = false;
    return;
  }
  if (!IsXmlPubidChars(literal)) return;
  if (!after.empty()) {
    if (!IsXmlSystemLiteral(after)) return;
    systemLiteral = after.substr(1, after.size() - 2);
  }
  publicLiteral = literal;
  error = false;
}

void StripParenthesesWideStr(std::u16string_view text, std::u16string& inner, bool& error) {
  inner.clear();
  std::u16string s = TrimXmlWhiteSpaceWideStr(text);
  error = s.size() < 2 || s.front() != u'(' || s.back() != u')';
  if (error) return;
  inner = TrimXmlWhiteSpaceWideStr(std::u16string_view(s).substr(1, s.size() - 2));
}

std::u16string EscapeQuotesWideStr(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'"') {
      out += u"&#34;";
    } else if (c == u'\'') {
      out += u"&#39;";
    } else {
      out += c;
    }
  }
  return out;
}
