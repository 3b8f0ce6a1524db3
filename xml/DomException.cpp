#include "xml/DomException.h"

#include <cstdint>

namespace {

// Appends the UTF-8 form of a UTF-16 text; a lone surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
}

}  // namespace

std::string DomMessageFormat(const char* pattern, std::initializer_list<std::u16string_view> args) {
  std::string out;
  auto next = args.begin();
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'S')) {
      if (next != args.end()) AppendUtf8(out, *next++);
      ++p;
      continue;
    }
    out += *p;
  }
  return out;
}
