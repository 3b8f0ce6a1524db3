#include "xml/ExternalIds.h"

#include "xml/XmlRules.h"

namespace {

bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

size_t SkipWhiteSpace(std::u16string_view text, size_t i) {
  while (i < text.size() && IsXmlWhiteSpaceWideChar(text[i])) ++i;
  return i;
}

}  // namespace

bool LacksSystemLiteral(std::u16string_view ids, bool publicAlone) {
  size_t i = SkipWhiteSpace(ids, 0);
  std::u16string_view keyword = ids.substr(i, 6);
  if (keyword != u"SYSTEM" && keyword != u"PUBLIC") return false;
  i += 6;
  // "SYSTEMX" is another word, "SYSTEM'x'" a missing space: not this fault.
  if (i < ids.size() && !IsXmlWhiteSpaceWideChar(ids[i])) return false;
  i = SkipWhiteSpace(ids, i);
  if (keyword == u"SYSTEM") return i == ids.size() || !IsQuote(ids[i]);
  if (publicAlone || i == ids.size() || !IsQuote(ids[i])) return false;
  size_t close = ids.find(ids[i], i + 1);
  if (close == std::u16string_view::npos) return false;
  size_t next = SkipWhiteSpace(ids, close + 1);
  return next == ids.size() || !IsQuote(ids[next]);
}
