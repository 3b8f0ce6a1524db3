#include "Text.h"

namespace qv::engine {

std::u16string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n != 0 && buffer) text = U16(buffer);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                           text.back() == u'.')) {
    text.pop_back();
  }
  if (text.empty()) text = u"error " + Decimal(code);
  return text;
}

std::u16string Decimal(uint64_t value) {
  char16_t digits[24];
  int n = 0;
  do {
    digits[n++] = char16_t(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::u16string text;
  while (n > 0) text.push_back(digits[--n]);
  return text;
}

std::u16string Ascii(const char* text) {
  std::u16string wide;
  for (; *text; ++text) wide.push_back(char16_t(static_cast<unsigned char>(*text)));
  return wide;
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(W(a), int(a.size()), W(b), int(b.size()), /*bIgnoreCase=*/TRUE) ==
         CSTR_EQUAL;
}

}  // namespace qv::engine
