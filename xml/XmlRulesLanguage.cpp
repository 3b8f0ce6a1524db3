#include "xml/XmlRulesLanguage.h"

namespace {

// Folds only the ASCII letters, so the match is the same in every locale.
char16_t AsciiLower(char16_t c) { return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c; }

bool SameAsciiText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsAbnfALPHAWideChar(char16_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsAbnfDIGITWideChar(char16_t c) { return c >= '0' && c <= '9'; }

bool IsSubLanguageTag(std::u16string_view tag, std::u16string_view range) {
  if (tag.size() == range.size()) return SameAsciiText(tag, range);
  if (tag.size() < range.size()) return false;
  return tag[range.size()] == u'-' && SameAsciiText(tag.substr(0, range.size()), range);
}
