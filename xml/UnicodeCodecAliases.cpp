#include "xml/UnicodeCodecAliases.h"

#include <initializer_list>

#include "xml/UnicodeCodecs.h"

namespace {

struct TEncodingAlias {
  std::initializer_list<const char*> names;
  TUnicodeCodecClass (*codecClass)();
};

template <class T>
TUnicodeCodecClass Ref() {
  return CodecClassOf<T>();
}

// Searched in this order; the first hit wins.
const TEncodingAlias kEncodingAliases[] = {
    {{"ASCII", "US-ASCII", "us", "ANSI_X3.4-1968", "ANSI_X3.4-1986", "iso-ir-6", "ISO_646.irv:1991",
      "ISO_646.irv", "ISO_646", "ISO-646", "ISO646", "ISO646-US", "IBM367", "cp367", "csASCII", "IBM891",
      "IBM903"},
     Ref<TUSASCIICodec>},
    {{"ISO-8859-1", "ISO_8859-1:1987", "ISO_8859-1", "iso-ir-100", "latin1", "l1", "IBM819", "cp819"},
     Ref<TISO8859_1Codec>},
    {{"ISO-8859-2", "ISO_8859-2:1987", "ISO_8859-2", "iso-ir-101", "latin2", "l2"}, Ref<TISO8859_2Codec>},
    {{"ISO-8859-3", "ISO_8859-3:1988", "ISO_8859-3", "iso-ir-109", "latin3", "l3"}, Ref<TISO8859_3Codec>},
    {{"ISO-8859-4", "ISO_8859-4:1988", "ISO_8859-4", "iso-ir-110", "latin4", "l4"}, Ref<TISO8859_4Codec>},
    {{"ISO-8859-5", "ISO_8859-5:1988", "ISO_8859-5", "iso-ir-144", "cyrillic"}, Ref<TISO8859_5Codec>},
    {{"ISO-8859-6", "ISO_8859-6:1987", "ISO_8859-6", "iso-ir-127", "ECMA-114", "ASMO-708", "arabic"},
     Ref<TISO8859_6Codec>},
    {{"ISO-8859-7", "ISO_8859-7:1987", "ISO_8859-7", "iso-ir-126", "ELOT_928", "ECMA-118", "greek", "greek8"},
     Ref<TISO8859_7Codec>},
    {{"ISO-8859-8", "ISO_8859-8:1988", "ISO_8859-8", "iso-ir-138", "hebrew"}, Ref<TISO8859_8Codec>},
    {{"ISO-8859-9", "ISO_8859-9:1989", "ISO_8859-9", "iso-ir-148", "latin5", "l5"}, Ref<TISO8859_9Codec>},
    {{"ISO-8859-10", "ISO_8859-10:1992", "ISO_8859-10", "iso-ir-157", "latin6", "l6"}, Ref<TISO8859_10Codec>},
    {{"ISO-8859-13", "ISO_8859-13", "latin7", "l7"}, Ref<TISO8859_13Codec>},
    {{"ISO-8859-14", "ISO_8859-14:1998", "ISO_8859-14", "iso-ir-199", "latin8", "l8", "iso-celtic"},
     Ref<TISO8859_14Codec>},
    {{"ISO-8859-15", "ISO_8859-15", "latin9", "l9", "latin0", "l0"}, Ref<TISO8859_15Codec>},
    {{"KOI8-R"}, Ref<TKOI8_RCodec>},
    {{"MacLatin2", "Mac", "Macintosh"}, Ref<TMacLatin2Codec>},
    {{"MacRoman"}, Ref<TMacRomanCodec>},
    {{"MacCyrillic"}, Ref<TMacCyrillicCodec>},
    {{"IBM437", "cp437", "DOSLatinUS"}, Ref<TIBM437Codec>},
    {{"windows-1250", "cp1250", "WinLatin2"}, Ref<TWindows1250Codec>},
    {{"windows-1251", "cp1251", "WinCyrillic"}, Ref<TWindows1251Codec>},
    {{"windows-1252", "cp1252", "WinLatin1"}, Ref<TWindows1252Codec>},
    {{"ebcdic-us", "ebcdic"}, Ref<TEBCDIC_USCodec>},
    {{"UTF-8", "utf8"}, Ref<TUTF8Codec>},
    {{"UTF-16BE", "utf16be"}, Ref<TUTF16BECodec>},
    {{"UTF-16LE", "utf16le"}, Ref<TUTF16LECodec>},
};

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

TUnicodeCodecClass GetEncodingClass(std::string_view name) {
  for (const TEncodingAlias& record : kEncodingAliases) {
    for (const char* alias : record.names) {
      if (SameTextAscii(alias, name)) return record.codecClass();
    }
  }
  return nullptr;
}

std::string GetEncodingName(TUnicodeCodecClass codec) {
  if (codec == nullptr) return {};
  for (const TEncodingAlias& record : kEncodingAliases) {
    if (record.codecClass() == codec) return *record.names.begin();
  }
  return {};
}

std::string EncodeWideStr(TUnicodeCodecClass codec, std::u16string_view s) {
  std::unique_ptr<TCustomUnicodeCodec> c = CreateCodec(codec);
  if (c == nullptr) return {};
  std::string bytes;
  int32_t charsRead = 0;
  c->Encode(s.data(), static_cast<int32_t>(s.size()), charsRead, bytes);
  return bytes;
}
