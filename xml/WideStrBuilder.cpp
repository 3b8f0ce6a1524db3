#include "xml/WideStrBuilder.h"

#include "core/Exception.h"

TUtilsCustomWideStr::TUtilsCustomWideStr() { Clear(); }

char16_t TUtilsCustomWideStr::GetWideChar(int index) const {
  if (index < 1 || index > length) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return content[index - 1];
}

void TUtilsCustomWideStr::SetWideChar(int index, char16_t c) {
  if (index < 1 || index > length) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  content[index - 1] = c;
}

void TUtilsCustomWideStr::AddUCS4Char(uint32_t codePoint) {
  if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
    throw EConvertError(std::to_string(codePoint) + " is not a valid ISO-10646-UCS4 code point");
  }
  if (codePoint < 0x10000) {
    AddWideChar(char16_t(codePoint));
    return;
  }
  Reserve(int64_t(length) + 2);
  content[length++] = char16_t((codePoint >> 10) + 0xD7C0);
  content[length++] = char16_t((codePoint & 0x3FF) ^ 0xDC00);
}

void TUtilsCustomWideStr::AddWideChar(char16_t c) {
  Reserve(int64_t(length) + 1);
  content[length++] = c;
}

void TUtilsCustomWideStr::AddWideString(std::u16string_view s) {
  Reserve(int64_t(length) + int64_t(s.size()));
  content.replace(length, s.size(), s);
  length += static_cast<int>(s.size());
}

bool TUtilsCustomWideStr::EndsWith(std::u16string_view s) const {
  if (s.empty() || s.size() > size_t(length)) return false;
  return View().substr(length - s.size()) == s;
}

bool TUtilsCustomWideStr::IsEqual(std::u16string_view s) const { return View() == s; }

void TUtilsCustomWideStr::Clear() {
  capacity = 64;
  length = 0;
  content.assign(capacity, u'\0');
}

bool TUtilsCustomWideStr::StartsWith(std::u16string_view s) const {
  if (s.empty() || s.size() > size_t(length)) return false;
  return View().substr(0, s.size()) == s;
}

std::u16string TUtilsCustomWideStr::GetValue() const { return std::u16string(View()); }

void TUtilsCustomWideStr::Reserve(int64_t needed) {
  if (needed <= capacity) return;
  if (needed > 0x7FFFFFFF) throw EConvertError("String too long");
  int64_t grown = capacity;
  while (grown < needed) grown += grown / 4;
  capacity = static_cast<int>(std::min<int64_t>(grown, 0x7FFFFFFF));
  content.resize(capacity, u'\0');
}
