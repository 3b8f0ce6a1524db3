#include "xml/ParserUtilsCharRefs.h"

#include "core/Exception.h"
#include "xml/DomException.h"
#include "xml/XmlRulesChars.h"
#include "xml/XmlRulesStrings.h"

namespace {

constexpr uint32_t kNoCodePoint = 0x110000;

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

[[noreturn]] void RaiseInvalidCharRef(std::u16string_view text) {
  throw EConvertError(DomMessageFormat("%S is not a valid XmlCharRef value.", {text}));
}

// The value of the digits of a character reference, saturating at
// kNoCodePoint so that no count of digits can wrap it around.
uint32_t CharRefValue(std::u16string_view text) {
  std::u16string_view digits = text.substr(2, text.size() - 3);
  uint32_t base = 10;
  if (digits[0] == u'x') {
    base = 16;
    digits.remove_prefix(1);
  }
  uint32_t value = 0;
  for (char16_t c : digits) {
    uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    value = value * base + digit;
    if (value >= kNoCodePoint) return kNoCodePoint;
  }
  return value;
}

void AppendCodePoint(std::u16string& out, uint32_t c) {
  if (c < 0x10000) {
    out += char16_t(c);
    return;
  }
  out += char16_t((c >> 10) + 0xD7C0);
  out += char16_t((c & 0x3FF) | 0xDC00);
}

}  // namespace

bool TryXmlCharRefToInt(std::u16string_view text, uint32_t& value) {
  if (!IsXmlCharRef(text)) return false;
  value = CharRefValue(text);
  if (value >= kNoCodePoint) return false;
  return !(value < 0x10000 && (!IsXmlChar(char16_t(value)) || (value >= 0xD800 && value <= 0xDFFF)));
}

uint32_t XmlCharRefToInt(std::u16string_view text) {
  uint32_t value = 0;
  if (!TryXmlCharRefToInt(text, value)) RaiseInvalidCharRef(text);
  return value;
}

std::u16string XmlCharRefToWideStr(std::u16string_view text) {
  std::u16string out;
  AppendCodePoint(out, XmlCharRefToInt(text));
  return out;
}

std::u16string ResolveCharRefsWideStr(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  if (!text.empty() && text[0] == 0xFEFF) {
    out += text[0];
    i = 1;
  }
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    if (IsLowSurrogate(c)) throw EConvertError("WideString must not start with a UTF-16 low surrogate.");
    if (IsHighSurrogate(c)) {
      if (i + 1 == text.size()) throw EConvertError("WideString must not end with a UTF-16 high surrogate.");
      if (!IsLowSurrogate(text[i + 1])) {
        throw EConvertError("WideString contains an UTF-16 high surrogate without its corresponding low surrogate.");
      }
      out += c;
      out += text[++i];
      continue;
    }
    if (!IsXmlChar(c)) throw EConvertError("WideString contains an invalid character.");
    if (c != u'&') {
      out += c;
      continue;
    }
    size_t end = text.find(u';', i);
    if (end == std::u16string_view::npos) throw EConvertError("WideString contains an '&' without a ';'.");
    std::u16string_view reference = text.substr(i, end - i + 1);
    if (IsXmlEntityRef(reference)) {
      out += reference;
    } else if (IsXmlCharRef(reference)) {
      AppendCodePoint(out, XmlCharRefToInt(reference));
    } else {
      throw EConvertError(DomMessageFormat("WideString contains an invalid reference %S.", {reference}));
    }
    i = end;
  }
  return out;
}
