#include "xml/UnicodeCodecUcs4.h"

#include "xml/UnicodeCodecMessages.h"

QV_DEFINE_CODEC_CLASS(TUCS4BECodec, TCustomUnicodeCodec);
QV_DEFINE_CODEC_CLASS(TUCS4LECodec, TCustomUnicodeCodec);
QV_DEFINE_CODEC_CLASS(TUCS4_2143Codec, TCustomUnicodeCodec);
QV_DEFINE_CODEC_CLASS(TUCS4_3412Codec, TCustomUnicodeCodec);

void TUCS4Codec::PutValue(uint8_t* p, UCS4Char value) const {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> shifts[i]);
}

void TUCS4Codec::DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  uint8_t bytes[4];
  int32_t got = ReadAvailableBytes(bytes, 4);
  if (got == 0) {
    ch = kUcs4EndOfInput;
    byteCount = 0;
    return;
  }
  if (got < 4) throw EConvertError(codecmsg::Fill(codecmsg::kInvalidEncoding, 0, name));
  UCS4Char value = Value(bytes);
  if (IsSurrogateCodePoint(value)) throw EConvertError(codecmsg::Fill(codecmsg::kSurrogateFound, value, name));
  if (value > kUcs4MaxCodePoint) throw EConvertError(codecmsg::Fill(codecmsg::kNotValidCodePoint, value, name));
  ch = value;
  byteCount = 4;
}

int32_t TUCS4Codec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 4) return 0;
  UCS4Char value = Value(source);
  if (IsSurrogateCodePoint(value) || value > kUcs4MaxCodePoint) return 0;
  ch = value;
  return 4;
}

void TUCS4Codec::EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) {
  uint8_t bytes[4];
  PutValue(bytes, ch);
  WriteBytes(bytes, 4);
  byteCount = 4;
}

void TUCS4Codec::WriteUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch != 0x0A) {
    EncodeUCS4Char(ch, byteCount);
    return;
  }
  uint8_t bytes[8];
  int32_t option = writeLFOption <= 2 ? writeLFOption : 0;
  PutValue(bytes, option == 0 ? 0x0A : 0x0D);
  PutValue(bytes + 4, 0x0A);
  byteCount = option == 2 ? 8 : 4;
  WriteBytes(bytes, byteCount);
}

void TUCS4Codec::Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                        int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || dest == nullptr || sourceLength < 1 || destSize < 2) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  const int32_t capacity = destSize / 2;
  int32_t pos = 0;
  int32_t out = 0;
  while (sourceLength - pos >= 4 && out < capacity) {
    UCS4Char value = Value(bytes + pos);
    if (value < 0x10000 && !IsSurrogateCodePoint(value)) {
      dest[out++] = static_cast<char16_t>(value);
      pos += 4;
      continue;
    }
    if (value >= 0x10000 && value <= kUcs4MaxCodePoint) {
      if (capacity - out < 2) break;
      dest[out++] = static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      dest[out++] = static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
      pos += 4;
      continue;
    }
    bool stop = false;
    switch (errorAction) {
      case eaRaise:
        bytesRead = pos;
        charsWritten = out;
        if (IsSurrogateCodePoint(value)) RaiseCodecError(codecmsg::Fill(codecmsg::kSurrogateFound, value, "UCS-4"), pos);
        RaiseCodecError(codecmsg::Fill(codecmsg::kCannotConvert, value, "UTF-16"), pos);
      case eaStop:
        stop = true;
        break;
      case eaCopy:
        if (capacity - out < 2) {
          stop = true;
          break;
        }
        dest[out++] = static_cast<char16_t>(value >> 16);
        dest[out++] = static_cast<char16_t>(value);
        break;
      case eaSkip:
        break;
      case eaReplace:
        dest[out++] = replacementChar;
        break;
    }
    if (stop) break;
    pos += 4;
  }
  bytesRead = pos;
  charsWritten = out;
}

void TUCS4Codec::Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                        std::string& dest) {
  dest.clear();
  charsRead = 0;
  if (source == nullptr || sourceLength < 1) return;
  dest.reserve(static_cast<size_t>(sourceLength) * 4);
  uint8_t bytes[4];
  for (int32_t i = 0; i < sourceLength; ++i) {
    UCS4Char unit = source[i];
    if (unit >= 0xDC00 && unit <= 0xDFFF) throw EConvertError(codecmsg::kHighSurrogateNotFound);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= sourceLength || source[i + 1] < 0xDC00 || source[i + 1] > 0xDFFF) {
        throw EConvertError(codecmsg::kLowSurrogateNotFound);
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (source[i + 1] - 0xDC00u);
      ++i;
    }
    PutValue(bytes, unit);
    dest.append(reinterpret_cast<const char*>(bytes), 4);
  }
  charsRead = sourceLength;
}
