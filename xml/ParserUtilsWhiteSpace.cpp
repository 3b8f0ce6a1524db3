#include "xml/ParserUtilsWhiteSpace.h"

#include "xml/XmlRulesChars.h"

namespace {

bool IsSpace(char16_t c) { return c == u' '; }

template <class Pred>
std::u16string_view TrimBy(std::u16string_view s, Pred isBlank, bool right) {
  size_t first = 0;
  while (first < s.size() && isBlank(s[first])) ++first;
  size_t last = s.size();
  if (right) {
    while (last > first && isBlank(s[last - 1])) --last;
  }
  return s.substr(first, last - first);
}

// The text up to the first #0, with every run of blanks made one space and
// none kept at either end.
template <class Pred>
std::u16string CollapseBy(std::u16string_view s, Pred isBlank) {
  size_t nul = s.find(u'\0');
  if (nul != std::u16string_view::npos) s = s.substr(0, nul);
  std::u16string out;
  out.reserve(s.size());
  bool pendingSpace = false;
  for (char16_t c : s) {
    if (isBlank(c)) {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace) out += u' ';
    pendingSpace = false;
    out += c;
  }
  return out;
}

}  // namespace

std::u16string TrimXmlWhiteSpaceWideStr(std::u16string_view s) {
  return std::u16string(TrimBy(s, IsXmlWhiteSpaceWideChar, /*right=*/true));
}

std::u16string TrimLeftXmlWhiteSpaceWideStr(std::u16string_view s) {
  return std::u16string(TrimBy(s, IsXmlWhiteSpaceWideChar, /*right=*/false));
}

std::u16string TrimSpacesWideStr(std::u16string_view s) { return std::u16string(TrimBy(s, IsSpace, /*right=*/true)); }

std::u16string CollapseSpacesWideStr(std::u16string_view s) { return CollapseBy(s, IsSpace); }

std::u16string NormalizeXmlWhiteSpaceWideStr(std::u16string_view s) { return CollapseBy(s, IsXmlWhiteSpaceWideChar); }
