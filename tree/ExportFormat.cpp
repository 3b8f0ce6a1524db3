// Window-free encoders of the content export.
#include "tree/ExportFormat.h"

#include <cstdio>

template <class CharT>
void TBasicBufferedString<CharT>::AddInt(int64_t value) {
  CharT digits[24];
  size_t n = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<CharT>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = CharT('-');
  Reserve(n);
  while (n > 0) text.push_back(digits[--n]);
}

template class TBasicBufferedString<char>;
template class TBasicBufferedString<char16_t>;

namespace {
bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The code point at text[i] (advancing i past a pair); unpaired surrogates give U+FFFD.
char32_t NextCodePoint(std::u16string_view text, size_t& i) {
  char32_t c = text[i++];
  if (!IsSurrogate(c)) return c;
  if (IsHighSurrogate(c) && i < text.size() && IsLowSurrogate(text[i]))
    return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
  return kReplacementCharacter;
}

// Which ASCII characters the HTML escape replaces.
const char* HtmlEntity(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return nullptr;
  }
}

constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

bool HasUnwritable(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0) return true;
    if (!IsSurrogate(text[i])) continue;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    return true;
  }
  return false;
}

std::u16string ReplaceUnwritable(std::u16string_view text) {
  std::u16string result(text);
  for (size_t i = 0; i < result.size(); ++i) {
    if (result[i] == 0) result[i] = kReplacementCharacter;
    if (!IsSurrogate(result[i])) continue;
    if (IsHighSurrogate(result[i]) && i + 1 < result.size() && IsLowSurrogate(result[i + 1]))
      ++i;
    else
      result[i] = kReplacementCharacter;
  }
  return result;
}

void AppendUtf8(TBufferedString& out, std::u16string_view text, bool escapeHtml) {
  size_t i = 0;
  while (i < text.size()) {
    // Runs of plain ASCII go in one piece.
    size_t start = i;
    while (i < text.size() && text[i] != 0 && text[i] < 0x80 && !(escapeHtml && HtmlEntity(static_cast<char>(text[i]))))
      ++i;
    if (i > start) {
      char chunk[256];
      for (size_t j = start; j < i;) {
        size_t n = 0;
        while (j < i && n < sizeof(chunk)) chunk[n++] = static_cast<char>(text[j++]);
        out.Add(std::string_view(chunk, n));
      }
    }
    if (i == text.size()) break;
    char32_t c = NextCodePoint(text, i);
    if (c == 0) c = kReplacementCharacter;
    if (c < 0x80) {
      out.Add(std::string_view(HtmlEntity(static_cast<char>(c))));
      continue;
    }
    char bytes[4];
    size_t n;
    if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      n = 1;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      n = 2;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      n = 3;
    }
    bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    out.Add(std::string_view(bytes, n));
  }
}

void AppendHtmlEscaped(TBufferedString& out, std::string_view text) {
  for (char c : text) {
    if (const char* entity = HtmlEntity(c))
      out.Add(std::string_view(entity));
    else
      out.Add(c);
  }
}

void AppendHtmlColor(TBufferedString& out, uint32_t colorRef) {
  char text[7] = {'#'};
  uint8_t parts[3] = {static_cast<uint8_t>(colorRef), static_cast<uint8_t>(colorRef >> 8),
                      static_cast<uint8_t>(colorRef >> 16)};
  for (int k = 0; k < 3; ++k) {
    text[1 + 2 * k] = kHexDigits[parts[k] >> 4];
    text[2 + 2 * k] = kHexDigits[parts[k] & 15];
  }
  out.Add(std::string_view(text, 7));
}

void AppendRtfUnicode(TBufferedString& out, std::u16string_view text) {
  // Escapes are gathered in a local block and appended in pieces.
  char block[512];
  size_t used = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (IsSurrogate(unit)) {
      bool paired = IsHighSurrogate(unit) ? i + 1 < text.size() && IsLowSurrogate(text[i + 1])
                                          : i > 0 && IsHighSurrogate(text[i - 1]);
      if (!paired) unit = kReplacementCharacter;
    }
    if (unit == 0) unit = kReplacementCharacter;
    if (used > sizeof(block) - 16) {
      out.Add(std::string_view(block, used));
      used = 0;
    }
    block[used++] = '\\';
    block[used++] = 'u';
    // RTF control words take signed 16-bit parameters.
    int value = static_cast<int16_t>(unit);
    if (value < 0) {
      block[used++] = '-';
      value = -value;
    }
    char digits[5];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) block[used++] = digits[--n];
    for (char c : {'\\', '\'', '3', 'f'}) block[used++] = c;
  }
  out.Add(std::string_view(block, used));
}

void AppendRtfName(TBufferedString& out, std::string_view name) {
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '{' || c == '}') {
      out.Add('\\');
      out.Add(c);
    } else if (byte >= 0x80 || byte < 0x20 || c == ';') {
      char escape[4] = {'\\', '\'', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
      out.Add(std::string_view(escape, 4));
    } else {
      out.Add(c);
    }
  }
}

void AppendCsvCell(TWideBufferedString& out, std::u16string_view text, char16_t separator) {
  bool quote = false;
  bool unwritable = false;
  for (char16_t c : text) {
    if (c == separator || c == u'"' || c == u'\r' || c == u'\n') quote = true;
    if (IsSurrogate(c) || c == 0) unwritable = true;
  }
  std::u16string clean;
  if (unwritable && HasUnwritable(text)) {
    clean = ReplaceUnwritable(text);
    text = clean;
  }
  if (!quote) {
    out.Add(text);
    return;
  }
  out.Add(u'"');
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'"') continue;
    out.Add(text.substr(start, i + 1 - start));
    out.Add(u'"');
    start = i + 1;
  }
  out.Add(text.substr(start));
  out.Add(u'"');
}

std::string WrapHtmlClipboardFormat(std::string_view fragment) {
  static constexpr std::string_view kPrefix =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">"
      "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head><body>"
      "<!--StartFragment-->";
  static constexpr std::string_view kSuffix = "<!--EndFragment--></body></html>";
  // Offsets have 8 digits; a document of 10^8 bytes or more gets wider
  // numbers, all four alike, so that the description still fits its offsets.
  int digits = 8;
  size_t description, startFragment, endFragment, endHtml;
  for (;;) {
    description = std::string_view("Version:1.0\r\n").size() + 4 * (digits + 2) +
                  std::string_view("StartHTML:EndHTML:StartFragment:EndFragment:").size();
    startFragment = description + kPrefix.size();
    endFragment = startFragment + fragment.size();
    endHtml = endFragment + kSuffix.size();
    if (std::to_string(endHtml).size() <= static_cast<size_t>(digits)) break;
    ++digits;
  }
  char text[160];
  int n = std::snprintf(text, sizeof(text),
                        "Version:1.0\r\nStartHTML:%0*lu\r\nEndHTML:%0*lu\r\nStartFragment:%0*lu\r\nEndFragment:%0*lu\r\n",
                        digits, static_cast<unsigned long>(description), digits, static_cast<unsigned long>(endHtml),
                        digits, static_cast<unsigned long>(startFragment), digits,
                        static_cast<unsigned long>(endFragment));
  std::string result;
  result.reserve(endHtml + 1);
  result.append(text, static_cast<size_t>(n));
  result.append(kPrefix);
  result.append(fragment);
  result.append(kSuffix);
  return result;
}
