#include "xml/CodePageCodecs.h"

#include "xml/CodePageTables.h"
#include "xml/UnicodeCodecMessages.h"

QV_DEFINE_CODEC_CLASS(TISO8859_1Codec, TCustomSingleByteCodec);
QV_DEFINE_CODEC_CLASS(TUSASCIICodec, TCustomSingleByteCodec);

uint8_t TISO8859_1Codec::EncodeChar(char16_t c) {
  if (c > 0xFF) throw EConvertError(codecmsg::Fill(codecmsg::kNoEquivalent, c, "ISO-8859-1"));
  return static_cast<uint8_t>(c);
}

void TISO8859_1Codec::Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                             int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || dest == nullptr) return;
  int32_t n = sourceLength < destSize / 2 ? sourceLength : destSize / 2;
  if (n < 0) n = 0;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  for (int32_t i = 0; i < n; ++i) dest[i] = bytes[i];
  bytesRead = n;
  charsWritten = n;
}

int32_t TISO8859_1Codec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 1) return 0;
  ch = source[0];
  return 1;
}

int32_t TISO8859_1Codec::DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                                   int32_t maxChars) {
  int32_t n = available < maxChars ? available : maxChars;
  for (int32_t i = 0; i < n; ++i) {
    chars[i] = source[i];
    sizes[i] = 1;
  }
  return n;
}

char16_t TUSASCIICodec::DecodeChar(uint8_t b) {
  if (b >= 0x80) throw EConvertError(codecmsg::Fill(codecmsg::kNotValidCodePoint, b, "US-ASCII"));
  return b;
}

uint8_t TUSASCIICodec::EncodeChar(char16_t c) {
  if (c >= 0x80) throw EConvertError(codecmsg::Fill(codecmsg::kNoEquivalent, c, "US-ASCII"));
  return static_cast<uint8_t>(c);
}

int32_t TUSASCIICodec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 1 || source[0] >= 0x80) return 0;
  ch = source[0];
  return 1;
}

#define QV_TABLE_CODEC(CLASS, TABLE, NAME)                            \
  QV_DEFINE_CODEC_CLASS(CLASS, TCustomSingleByteCodec);               \
  CLASS::CLASS() : TTableSingleByteCodec(kCodePage##TABLE, NAME) {}
QV_TABLE_CODEC(TISO8859_2Codec, ISO8859_2, "ISO-8859-2")
QV_TABLE_CODEC(TISO8859_3Codec, ISO8859_3, "ISO-8859-3")
QV_TABLE_CODEC(TISO8859_4Codec, ISO8859_4, "ISO-8859-4")
QV_TABLE_CODEC(TISO8859_5Codec, ISO8859_5, "ISO-8859-5")
QV_TABLE_CODEC(TISO8859_6Codec, ISO8859_6, "ISO-8859-6")
QV_TABLE_CODEC(TISO8859_7Codec, ISO8859_7, "ISO-8859-7")
QV_TABLE_CODEC(TISO8859_8Codec, ISO8859_8, "ISO-8859-8")
QV_TABLE_CODEC(TISO8859_9Codec, ISO8859_9, "ISO-8859-9")
QV_TABLE_CODEC(TISO8859_10Codec, ISO8859_10, "ISO-8859-10")
QV_TABLE_CODEC(TISO8859_13Codec, ISO8859_13, "ISO-8859-13")
QV_TABLE_CODEC(TISO8859_14Codec, ISO8859_14, "ISO-8859-14")
QV_TABLE_CODEC(TISO8859_15Codec, ISO8859_15, "ISO-8859-15")
QV_TABLE_CODEC(TWindows1250Codec, Windows1250, "Windows-1250")
QV_TABLE_CODEC(TWindows1251Codec, Windows1251, "Windows-1251")
QV_TABLE_CODEC(TWindows1252Codec, Windows1252, "Windows-1252")
QV_TABLE_CODEC(TWindows1253Codec, Windows1253, "Windows-1253")
QV_TABLE_CODEC(TWindows1254Codec, Windows1254, "Windows-1254")
QV_TABLE_CODEC(TWindows1255Codec, Windows1255, "Windows-1255")
QV_TABLE_CODEC(TWindows1256Codec, Windows1256, "Windows-1256")
QV_TABLE_CODEC(TWindows1257Codec, Windows1257, "Windows-1257")
QV_TABLE_CODEC(TWindows1258Codec, Windows1258, "Windows-1258")
QV_TABLE_CODEC(TIBM037Codec, IBM037, "IBM037")
QV_TABLE_CODEC(TIBM424Codec, IBM424, "IBM424")
QV_TABLE_CODEC(TIBM437Codec, IBM437, "IBM437")
QV_TABLE_CODEC(TIBM500Codec, IBM500, "IBM500")
QV_TABLE_CODEC(TIBM850Codec, IBM850, "IBM850")
QV_TABLE_CODEC(TIBM852Codec, IBM852, "IBM852")
QV_TABLE_CODEC(TIBM855Codec, IBM855, "IBM855")
QV_TABLE_CODEC(TIBM857Codec, IBM857, "IBM857")
QV_TABLE_CODEC(TIBM860Codec, IBM860, "IBM860")
QV_TABLE_CODEC(TIBM861Codec, IBM861, "IBM861")
QV_TABLE_CODEC(TIBM862Codec, IBM862, "IBM862")
QV_TABLE_CODEC(TIBM863Codec, IBM863, "IBM863")
QV_TABLE_CODEC(TIBM864Codec, IBM864, "IBM864")
QV_TABLE_CODEC(TIBM865Codec, IBM865, "IBM865")
QV_TABLE_CODEC(TIBM866Codec, IBM866, "IBM866")
QV_TABLE_CODEC(TIBM869Codec, IBM869, "IBM869")
QV_TABLE_CODEC(TIBM1026Codec, IBM1026, "IBM1026")
QV_TABLE_CODEC(TMacLatin2Codec, MacLatin2, "MacLatin2")
QV_TABLE_CODEC(TMacRomanCodec, MacRoman, "MacRoman")
QV_TABLE_CODEC(TMacCyrillicCodec, MacCyrillic, "MacCyrillic")
QV_TABLE_CODEC(TKOI8_RCodec, KOI8_R, "KOI8-R")
QV_TABLE_CODEC(TEBCDIC_USCodec, EBCDIC_US, "EBCDIC-US")
QV_TABLE_CODEC(TJIS_X0201Codec, JIS_X0201, "JIS_X0201")
#undef QV_TABLE_CODEC
