// ASCII case, comparison and trimming of SysUtils.h.
#include <algorithm>

#include "core/SysUtils.h"

namespace {

template <class C>
C AsciiUpper(C c) {
  return (c >= C('a') && c <= C('z')) ? static_cast<C>(c - 32) : c;
}

template <class C>
C AsciiLower(C c) {
  return (c >= C('A') && c <= C('Z')) ? static_cast<C>(c + 32) : c;
}

template <class C>
int CompareIgnoringCase(std::basic_string_view<C> a, std::basic_string_view<C> b) {
  size_t count = std::min(a.size(), b.size());
  for (size_t i = 0; i < count; ++i) {
    using U = std::make_unsigned_t<C>;
    int x = static_cast<U>(AsciiUpper(a[i]));
    int y = static_cast<U>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <class C>
bool IsTrimmed(C c) {
  return static_cast<std::make_unsigned_t<C>>(c) <= ' ';
}

template <class C>
std::basic_string_view<C> TrimView(std::basic_string_view<C> text, bool left, bool right) {
  size_t begin = 0, end = text.size();
  if (left)
    while (begin < end && IsTrimmed(text[begin])) ++begin;
  if (right)
    while (end > begin && IsTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::u16string WideUpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = AsciiUpper(c);
  return out;
}

std::u16string WideLowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = AsciiLower(c);
  return out;
}

int CompareText(std::string_view a, std::string_view b) { return CompareIgnoringCase(a, b); }

int WideCompareText(std::u16string_view a, std::u16string_view b) { return CompareIgnoringCase(a, b); }

int CompareStr(std::string_view a, std::string_view b) {
  int result = a.compare(b);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoringCase(a, b) == 0;
}

bool WideSameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareIgnoringCase(a, b) == 0;
}

std::string Trim(std::string_view text) { return std::string(TrimView(text, true, true)); }

std::string TrimLeft(std::string_view text) { return std::string(TrimView(text, true, false)); }

std::string TrimRight(std::string_view text) { return std::string(TrimView(text, false, true)); }

std::u16string WideTrim(std::u16string_view text) { return std::u16string(TrimView(text, true, true)); }
