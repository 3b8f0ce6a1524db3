#pragma once
// UCS-4 (32-bit units) in the four byte orders 1234, 4321, 2143 and 3412.
#include "xml/UnicodeCodec.h"

// The shared body of the four byte orders; not a codec of its own.
class TUCS4Codec : public TCustomUnicodeCodec {
public:
  // Reads one 32-bit unit; surrogates, values above U+10FFFF and 1-3 trailing
  // bytes raise EConvertError.
  void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) override;
  // Writes the four bytes of the value, unchecked.
  void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  // Whole units only; surrogates and values above U+10FFFF follow ErrorAction.
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  // Joins surrogate pairs; a broken pair raises EConvertError.
  void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
              std::string& dest) override;
  void WriteUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;

protected:
  // order[i] is the shift of the value's byte that stands at stream position i.
  TUCS4Codec(uint8_t s0, uint8_t s1, uint8_t s2, uint8_t s3, const char* name_)
      : shifts{s0, s1, s2, s3}, name(name_) {}

private:
  UCS4Char Value(const uint8_t* p) const {
    return static_cast<UCS4Char>(p[0]) << shifts[0] | static_cast<UCS4Char>(p[1]) << shifts[1] |
           static_cast<UCS4Char>(p[2]) << shifts[2] | static_cast<UCS4Char>(p[3]) << shifts[3];
  }
  void PutValue(uint8_t* p, UCS4Char value) const;

  const uint8_t shifts[4];
  const char* const name;
};

class TUCS4BECodec : public TUCS4Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUCS4BECodec() : TUCS4Codec(24, 16, 8, 0, "UCS-4BE") {}
};

class TUCS4LECodec : public TUCS4Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUCS4LECodec() : TUCS4Codec(0, 8, 16, 24, "UCS-4LE") {}
};

class TUCS4_2143Codec : public TUCS4Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUCS4_2143Codec() : TUCS4Codec(16, 24, 0, 8, "UCS-4") {}
};

class TUCS4_3412Codec : public TUCS4Codec {
  QV_DECLARE_CODEC_CLASS()
public:
  TUCS4_3412Codec() : TUCS4Codec(8, 0, 24, 16, "UCS-4") {}
};
