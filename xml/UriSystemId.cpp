#include "xml/UriSystemId.h"

#include "core/SysUtils.h"
#include "xml/UriGrammar.h"

namespace {

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

void AppendEscaped(std::u16string& out, unsigned char byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

}  // namespace

std::u16string EscapeSystemIdWideStr(std::u16string_view systemId) {
  std::u16string out;
  out.reserve(systemId.size());
  size_t i = 0;
  bool drivePath = false;
  // "C:\dir\x.dtd" or "C:/dir/x.dtd" names a file, not a URI of scheme "C".
  if (systemId.size() >= 3 && IsUriAlphaWideChar(systemId[0]) && systemId[1] == u':' &&
      (systemId[2] == u'\\' || systemId[2] == u'/')) {
    out = u"file:///";
    out += systemId.substr(0, 2);
    i = 2;
    drivePath = true;
  }
  while (i < systemId.size()) {
    char16_t c = systemId[i];
    if (c == u'%') {
      bool escape = i + 2 < systemId.size() && IsHexDigit(systemId[i + 1]) && IsHexDigit(systemId[i + 2]);
      if (escape) {
        out += c;
      } else {
        AppendEscaped(out, '%');
      }
      ++i;
      continue;
    }
    if (c == u'\\' && drivePath) {
      out += u'/';  // a separator of the drive path
      ++i;
      continue;
    }
    if (c < 0x80) {
      if (IsUriUnreservedWideChar(c) || IsUriReservedWideChar(c) || c == u'#') {
        out += c;
      } else {
        AppendEscaped(out, static_cast<unsigned char>(c));
      }
      ++i;
      continue;
    }
    // A run of non-ASCII characters (surrogate pairs stay together).
    size_t end = i;
    while (end < systemId.size() && systemId[end] >= 0x80) ++end;
    for (unsigned char byte : WideToAnsi(systemId.substr(i, end - i))) AppendEscaped(out, byte);
    i = end;
  }
  return out;
}
