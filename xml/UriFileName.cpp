#include "xml/UriFileName.h"

namespace {

bool IsCopiedAsIs(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~': case '!': case '\'': case '(': case ')': case '*':
      return true;
    default:
      return false;
  }
}

}  // namespace

void FilenameToUriWideStr(std::string_view fileName, uint32_t options, std::u16string& uri) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  uri = (options & kUriFileLocalhost) ? u"file://localhost" : u"file://";
  if (fileName.empty()) return;
  if (fileName[0] != '/') uri += u'/';
  for (unsigned char c : fileName) {
    if (IsCopiedAsIs(c)) {
      uri += char16_t(c);
    } else if (c == '\\' || c == '/') {
      // Both separators keep the name's segments.
      uri += u'/';
    } else if (c == ':') {
      uri += (options & kUriFileKeepColon) ? u":" : u"%3a";
    } else {
      uri += u'%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
}
