#pragma once
// The single-byte code-page codecs: ISO 8859 parts, Windows, IBM (DOS and
// EBCDIC) and Macintosh code pages, KOI8-R, US-ASCII, EBCDIC-US and JIS X 0201.
#include "xml/SingleByteCodec.h"

// Identity for bytes; characters above U+00FF have no byte.
class TISO8859_1Codec : public TCustomSingleByteCodec {
  QV_DECLARE_CODEC_CLASS()
public:
  char16_t DecodeChar(uint8_t b) override { return b; }
  uint8_t EncodeChar(char16_t c) override;
  const char* CharsetName() const override { return "ISO-8859-1"; }
  // Widens min(sourceLength, destSize / 2) bytes; never fails.
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
  int32_t DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                    int32_t maxChars) override;
};

// Bytes 0x00..0x7F; a byte of 0x80 or more raises EConvertError in DecodeChar.
class TUSASCIICodec : public TCustomSingleByteCodec {
  QV_DECLARE_CODEC_CLASS()
public:
  char16_t DecodeChar(uint8_t b) override;
  uint8_t EncodeChar(char16_t c) override;
  const char* CharsetName() const override { return "US-ASCII"; }
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
};

#define QV_TABLE_CODEC(CLASS, TABLE)                                          \
  class CLASS : public TTableSingleByteCodec {                                \
    QV_DECLARE_CODEC_CLASS()                                                  \
  public:                                                                     \
    CLASS();                                                                  \
  };
QV_TABLE_CODEC(TISO8859_2Codec, ISO8859_2)
QV_TABLE_CODEC(TISO8859_3Codec, ISO8859_3)
QV_TABLE_CODEC(TISO8859_4Codec, ISO8859_4)
QV_TABLE_CODEC(TISO8859_5Codec, ISO8859_5)
QV_TABLE_CODEC(TISO8859_6Codec, ISO8859_6)
QV_TABLE_CODEC(TISO8859_7Codec, ISO8859_7)
QV_TABLE_CODEC(TISO8859_8Codec, ISO8859_8)
QV_TABLE_CODEC(TISO8859_9Codec, ISO8859_9)
QV_TABLE_CODEC(TISO8859_10Codec, ISO8859_10)
QV_TABLE_CODEC(TISO8859_13Codec, ISO8859_13)
QV_TABLE_CODEC(TISO8859_14Codec, ISO8859_14)
QV_TABLE_CODEC(TISO8859_15Codec, ISO8859_15)
QV_TABLE_CODEC(TWindows1250Codec, Windows1250)
QV_TABLE_CODEC(TWindows1251Codec, Windows1251)
QV_TABLE_CODEC(TWindows1252Codec, Windows1252)
QV_TABLE_CODEC(TWindows1253Codec, Windows1253)
QV_TABLE_CODEC(TWindows1254Codec, Windows1254)
QV_TABLE_CODEC(TWindows1255Codec, Windows1255)
QV_TABLE_CODEC(TWindows1256Codec, Windows1256)
QV_TABLE_CODEC(TWindows1257Codec, Windows1257)
QV_TABLE_CODEC(TWindows1258Codec, Windows1258)
QV_TABLE_CODEC(TIBM037Codec, IBM037)
QV_TABLE_CODEC(TIBM424Codec, IBM424)
QV_TABLE_CODEC(TIBM437Codec, IBM437)
QV_TABLE_CODEC(TIBM500Codec, IBM500)
QV_TABLE_CODEC(TIBM850Codec, IBM850)
QV_TABLE_CODEC(TIBM852Codec, IBM852)
QV_TABLE_CODEC(TIBM855Codec, IBM855)
QV_TABLE_CODEC(TIBM857Codec, IBM857)
QV_TABLE_CODEC(TIBM860Codec, IBM860)
QV_TABLE_CODEC(TIBM861Codec, IBM861)
QV_TABLE_CODEC(TIBM862Codec, IBM862)
QV_TABLE_CODEC(TIBM863Codec, IBM863)
QV_TABLE_CODEC(TIBM864Codec, IBM864)
QV_TABLE_CODEC(TIBM865Codec, IBM865)
QV_TABLE_CODEC(TIBM866Codec, IBM866)
QV_TABLE_CODEC(TIBM869Codec, IBM869)
QV_TABLE_CODEC(TIBM1026Codec, IBM1026)
QV_TABLE_CODEC(TMacLatin2Codec, MacLatin2)
QV_TABLE_CODEC(TMacRomanCodec, MacRoman)
QV_TABLE_CODEC(TMacCyrillicCodec, MacCyrillic)
QV_TABLE_CODEC(TKOI8_RCodec, KOI8_R)
QV_TABLE_CODEC(TEBCDIC_USCodec, EBCDIC_US)
QV_TABLE_CODEC(TJIS_X0201Codec, JIS_X0201)
#undef QV_TABLE_CODEC
