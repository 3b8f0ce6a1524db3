#pragma once
// UTF-16 in either byte order.
#include "xml/UnicodeCodec.h"

// The shared body of the two byte orders; not a codec of its own.
class TUTF16Codec : public TCustomUnicodeCodec {
public:
  // Reads one unit or a surrogate pair; a lone surrogate, a broken pair or an
  // odd byte at the end raise EConvertError.
  void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) override;
  // Writes one unit or a surrogate pair; surrogates and values above U+10FFFF raise.
  void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  // Copies whole units; an odd last byte stays unconsumed. No pair validation.
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  // Two bytes per code unit.
  void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
              std::string& dest) override;
  void WriteUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
  int32_t DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                    int32_t maxChars) override;

protected:
  TUTF16Codec(bool bigEndian_, const char* name_) : bigEndian(bigEndian_), name(name_) {}

private:
  uint16_t Unit(const uint8_t* p) const {
    return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
  }
  void PutUnit(uint8_t* p, uint32_t unit) const;
  void WriteUnits(const uint32_t* units, int32_t count);

  const bool bigEndian;
  const char* const name;
};

class TUTF16BECodec : public TUTF16Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUTF16BECodec() : TUTF16Codec(/*bigEndian=*/true, "UTF-16BE") {}
};

class TUTF16LECodec : public TUTF16Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUTF16LECodec() : TUTF16Codec(/*bigEndian=*/false, "UTF-16LE") {}
};
