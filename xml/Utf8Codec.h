#pragma once
// UTF-8: the default encoding of XML input.
#include "xml/UnicodeCodec.h"

class TUTF8Codec : public TCustomUnicodeCodec {
  QV_DECLARE_CODEC_CLASS()
public:
  // Reads one sequence; overlong forms, surrogates, values above U+10FFFF and
  // a sequence cut by the end of input raise EConvertError.
  void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) override;
  // Writes the shortest form; surrogates and values above U+10FFFF raise EConvertError.
  void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  // Whole sequences only: an incomplete one at the end stays unconsumed;
  // invalid ones raise EConvertError; four-byte ones become surrogate pairs.
  void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
              int32_t& bytesRead, int32_t& charsWritten) override;
  // Surrogate pairs become one four-byte sequence; a lone surrogate follows ErrorAction.
  void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
              std::string& dest) override;
  void WriteUCS4Char(UCS4Char ch, int32_t& byteCount) override;
  int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) override;
  int32_t DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                    int32_t maxChars) override;
};

// Length of a well-formed UTF-8 sequence starting at source (1..4), or 0 when
// the bytes there are no complete, valid, shortest-form sequence of a scalar value.
int32_t Utf8SequenceAt(const uint8_t* source, int32_t available, UCS4Char& ch);
