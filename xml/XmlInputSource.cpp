#include "xml/XmlInputSource.h"

#include "xml/CharSetRegistry.h"
#include "xml/UnicodeCodecAliases.h"
#include "xml/UnicodeCodecUcs2.h"
#include "xml/UnicodeCodecUcs4.h"
#include "xml/Utf16Codec.h"
#include "xml/Utf8Codec.h"
#include "xml/WideStrBuilder.h"
#include "xml/XmlRules.h"

namespace {

std::string NarrowAscii(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::u16string WidenAscii(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

// A codec whose code units are two or four bytes wide: a declaration read as
// 8-bit text can never have been written in one of these.
bool IsWideCodec(TUnicodeCodecClass c) {
  return c == CodecClassOf<TUTF16BECodec>() || c == CodecClassOf<TUTF16LECodec>() || c == CodecClassOf<TUCS2Codec>() ||
         c == CodecClassOf<TUCS4BECodec>() || c == CodecClassOf<TUCS4LECodec>() ||
         c == CodecClassOf<TUCS4_2143Codec>() || c == CodecClassOf<TUCS4_3412Codec>();
}

bool IsQuote(UCS4Char c) { return c == 0x22 || c == 0x27; }

}  // namespace

void TXmlInputSource::Create(TStream* stream, const std::u16string& publicId_, const std::u16string& systemId_,
                             int32_t bufSize, const std::u16string& defaultEncoding, bool initialPositionAfterDecl,
                             int64_t initialByteNumber, int64_t initialCharNumber, int64_t initialColumn,
                             int64_t initialTabsInLine, int64_t initialLine) {
  publicId = publicId_;
  systemId = systemId_;
  TUnicodeCodecClass defaultClass = GetCodecClass(NarrowAscii(defaultEncoding));
  if (defaultClass == nullptr) {
    encodingName = u"UTF-8";
    defaultClass = CodecClassOf<TUTF8Codec>();
  } else {
    encodingName = defaultEncoding;
  }
  TUtilsUCS4Reader::Create(stream, bufSize, defaultClass, initialByteNumber, initialCharNumber, initialColumn,
                           initialTabsInLine, initialLine);
  if (GetCurrentCodecClass() != defaultClass) encodingName = WidenAscii(GetEncodingName(GetCurrentCodecClass()));
  encodingNameClass = GetCurrentCodecClass();
  xmlEncoding.clear();
  xmlVersion.clear();
  hasMalformedDecl = !ReadDeclaration();
  // A malformed declaration is read again as text: from the start, and so are its positions.
  if (hasMalformedDecl) Reset();
  if (!initialPositionAfterDecl) {
    TUtilsUCS4CharData startRecord = Current();
    startRecord.CodePoint = kUcs4StartOfInput;
    startRecord.CharSize = 0;
    SetStartRecord(startRecord);
  }
  Reset();
}

template <class Pred>
bool TXmlInputSource::ReadQuotedValue(std::u16string& value, Pred accept, bool) {
  UCS4Char quote = CurrentCodePoint();
  if (!IsQuote(quote)) return false;
  Next();
  while (CurrentCodePoint() != quote) {
    UCS4Char c = CurrentCodePoint();
    if (c == kUcs4EndOfInput || !accept(c, value.empty())) return false;
    value.push_back(static_cast<char16_t>(c));
    Next();
  }
  return !value.empty();
}

bool TXmlInputSource::ReadDeclaration() {
  static const std::u16string kWhite = GetXmlWhiteSpaceWideStr();
  declType = DT_UNKNOWN;
  xmlStandalone = STANDALONE_UNSPECIFIED;
  invalidEncoding = false;
  xmlVersion.clear();
  xmlEncoding.clear();

  // Only "<?xml" followed by white space opens a declaration: "<?xml-stylesheet"
  // and its kin are processing instructions.
  if (!Match(u"<?xml") || !IsXmlWhiteSpace(NextCodePoint())) {
    declType = DT_UNSPECIFIED;
    Reset();
    // "<" beside a NUL is 16- or 32-bit text without a byte-order mark
    // (which UTF-16 must have): the 8-bit codec in use cannot read it.
    if (GetBomEncodingClass() == nullptr && !IsWideCodec(GetCurrentCodecClass())) {
      Next();
      UCS4Char first = CurrentCodePoint();
      UCS4Char second = NextCodePoint();
      if ((first == '<' && second == 0) || (first == 0 && second == '<')) invalidEncoding = true;
      Reset();
    }
    return true;
  }
  declType = DT_XML_OR_TEXT_DECLARATION;
  bool passedWhite = SkipNext(kWhite) > 0;

  if (CurrentCodePoint() == 'v') {
    if (!passedWhite || !Match(u"ersion")) return false;
    SkipNext(kWhite);
    if (CurrentCodePoint() != '=') return false;
    SkipNext(kWhite);
    if (!ReadQuotedValue(xmlVersion, [](UCS4Char c, bool) { return IsXmlVersionNumChar(c); }, false)) return false;
    passedWhite = SkipNext(kWhite) > 0;
  } else {
    declType = DT_TEXT_DECLARATION;
  }

  if (CurrentCodePoint() == 'e') {
    if (!passedWhite || !Match(u"ncoding")) return false;
    SkipNext(kWhite);
    if (CurrentCodePoint() != '=') return false;
    SkipNext(kWhite);
    auto encChar = [](UCS4Char c, bool first) {
      return first ? IsXmlEncNameLeadingChar(c) : IsXmlEncNameFollowingChar(c);
    };
    if (!ReadQuotedValue(xmlEncoding, encChar, false)) {
      xmlEncoding.clear();
      return false;
    }
    passedWhite = SkipNext(kWhite) > 0;
  } else {
    if (declType == DT_TEXT_DECLARATION) return false;
    declType = DT_XML_DECLARATION;
  }

  if (CurrentCodePoint() == 's') {
    if (!passedWhite || !Match(u"tandalone")) return false;
    SkipNext(kWhite);
    if (CurrentCodePoint() != '=') return false;
    SkipNext(kWhite);
    UCS4Char quote = CurrentCodePoint();
    if (!IsQuote(quote)) return false;
    Next();
    if (CurrentCodePoint() == 'y') {
      if (!Match(u"es")) return false;
      xmlStandalone = STANDALONE_YES;
    } else if (CurrentCodePoint() == 'n') {
      if (!Match(u"o")) return false;
      xmlStandalone = STANDALONE_NO;
    } else {
      return false;
    }
    Next();
    if (CurrentCodePoint() != quote) return false;
    SkipNext(kWhite);
    if (declType == DT_TEXT_DECLARATION) return false;
    declType = DT_XML_DECLARATION;
  }

  if (CurrentCodePoint() != '?') return false;
  Next();
  if (CurrentCodePoint() != '>') return false;

  if (!xmlEncoding.empty()) DecideEncoding();
  SetStartOffset(Current().ByteNumber - Start().ByteNumber);
  return true;
}

void TXmlInputSource::DecideEncoding() {
  TUnicodeCodecClass declared = GetCodecClass(NarrowAscii(xmlEncoding));
  TUnicodeCodecClass bom = GetBomEncodingClass();
  TUnicodeCodecClass utf16be = CodecClassOf<TUTF16BECodec>();
  TUnicodeCodecClass utf16le = CodecClassOf<TUTF16LECodec>();
  TUnicodeCodecClass utf8 = CodecClassOf<TUTF8Codec>();
  if (declared != nullptr) {
    if (bom == nullptr) {
      // Without a mark the declaration was read as 8-bit text, so it cannot
      // be in a 16- or 32-bit encoding unless the default said so.
      if (IsWideCodec(declared) && !IsWideCodec(GetCurrentCodecClass())) {
        invalidEncoding = true;
        return;
      }
    } else if ((bom == utf16be && declared != utf16be && declared != CodecClassOf<TUCS2Codec>()) ||
               (bom == utf16le && declared != utf16le) || (bom == utf8 && declared != utf8)) {
      invalidEncoding = true;
    }
    SetCurrentCodecClass(declared);
    return;
  }
  if (NarrowAscii(xmlEncoding).size() != 6 || !SameTextAscii(NarrowAscii(xmlEncoding), "UTF-16")) {
    invalidEncoding = true;
    return;
  }
  // "UTF-16" needs a byte-order mark of UTF-16; text read as 8-bit was not UTF-16.
  if (bom != utf16be && bom != utf16le) invalidEncoding = true;
}

std::u16string TXmlInputSource::DecodingEncodingName() const {
  TUnicodeCodecClass current = GetCurrentCodecClass();
  return current == encodingNameClass ? encodingName : WidenAscii(GetEncodingName(current));
}

std::u16string JoinSourceLines(const TUtilsWideStringList* lines) {
  TUtilsCustomWideStr builder;
  builder.AddWideChar(0xFEFF);
  if (lines != nullptr) {
    for (int i = 0; i < lines->GetCount(); ++i) builder.AddWideString(lines->Get(i));
  }
  return builder.GetValue();
}
