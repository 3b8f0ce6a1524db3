#pragma once
// UCS-2: big-endian 16-bit units of the Basic Multilingual Plane, no surrogates.
#include "xml/UnicodeCodec.h"

class TUCS2Codec : public TCustomUnicodeCodec {
  QV_DECLARE_CODEC_CLASS()
public:
  // Reads one unit; a surrogate or an odd byte at the end raise EConvertError.
  void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) override;
  // A value above U+FFFF raises EConvertError.
  void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  // Counts bytes like the other codecs; surrogate units follow ErrorAction.
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  // Surrogate units follow ErrorAction (ErrorPosition: the unit's index).
  void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
              std::string& dest) override;
  void WriteUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
};
