// Zero-terminated wide buffers: length, moves, comparisons and searches.
#include "shell/VirtualWideStrings.h"

#include <cstring>

namespace vws {

size_t WideStrLen(const char16_t* s) {
  if (s == nullptr) return 0;
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

void WideStrMove(char16_t* dest, const char16_t* source, size_t count) {
  if (dest == nullptr || source == nullptr || count == 0) return;
  std::memmove(dest, source, count * sizeof(char16_t));
}

namespace {

// Surrogates move above U+E000-U+FFFF so that UTF-16 units compare in code-point order.
constexpr uint16_t kFixup[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2000, 0xF800, 0xF800, 0xF800, 0xF800};
static_assert(kFixup[0xD800 >> 11] == 0x2000 && kFixup[0xE000 >> 11] == 0xF800);

uint16_t CodePointOrder(char16_t c) { return static_cast<uint16_t>(c + kFixup[c >> 11]); }

}  // namespace

int WideStrComp(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(CodePointOrder(*a)) - static_cast<int>(CodePointOrder(*b));
}

const char16_t* WideStrScan(const char16_t* s, char16_t c) {
  if (s == nullptr) return nullptr;
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

const char16_t* WideStrRScan(const char16_t* s, char16_t c) {
  if (s == nullptr) return nullptr;
  const char16_t* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return found;
  }
}

const char16_t* WideStrPos(const char16_t* s, const char16_t* sub) {
  if (s == nullptr || sub == nullptr) return nullptr;
  size_t n = WideStrLen(s);
  size_t m = WideStrLen(sub);
  if (m == 0 || m > n) return nullptr;
  for (size_t i = 0; i + m <= n; ++i) {
    if (std::memcmp(s + i, sub, m * sizeof(char16_t)) == 0) return s + i;
  }
  return nullptr;
}

const char16_t* WideStrDriveDelim(const char16_t* s) {
  if (s == nullptr) return nullptr;
  for (; *s != 0; ++s) {
    if (s[0] == u':' && s[1] == u'\\') return s;
  }
  return nullptr;
}

void WideStrSwapByteOrder(char16_t* s) {
  if (s == nullptr) return;
  for (; *s != 0; ++s) *s = static_cast<char16_t>((*s >> 8) | (*s << 8));
}

}  // namespace vws
