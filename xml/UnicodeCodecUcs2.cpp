#include "xml/UnicodeCodecUcs2.h"

#include "xml/UnicodeCodecMessages.h"

QV_DEFINE_CODEC_CLASS(TUCS2Codec, TCustomUnicodeCodec);

namespace {

const char kName[] = "UCS-2";

void AppendUnit(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit >> 8);
  out += static_cast<char>(unit & 0xFF);
}

}  // namespace

void TUCS2Codec::DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  uint8_t bytes[2];
  int32_t got = ReadAvailableBytes(bytes, 2);
  if (got == 0) {
    ch = kUcs4EndOfInput;
    byteCount = 0;
    return;
  }
  if (got < 2) throw EConvertError(codecmsg::Fill(codecmsg::kInvalidEncoding, 0, kName));
  UCS4Char unit = static_cast<UCS4Char>(bytes[0]) << 8 | bytes[1];
  if (IsSurrogateCodePoint(unit)) throw EConvertError(codecmsg::Fill(codecmsg::kSurrogateFound, unit, kName));
  ch = unit;
  byteCount = 2;
}

int32_t TUCS2Codec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 2) return 0;
  UCS4Char unit = static_cast<UCS4Char>(source[0]) << 8 | source[1];
  if (IsSurrogateCodePoint(unit)) return 0;
  ch = unit;
  return 2;
}

void TUCS2Codec::EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch > 0xFFFF) throw EConvertError(codecmsg::Fill(codecmsg::kOutOfRange, 0, kName));
  uint8_t bytes[2] = {static_cast<uint8_t>(ch >> 8), static_cast<uint8_t>(ch)};
  WriteBytes(bytes, 2);
  byteCount = 2;
}

void TUCS2Codec::WriteUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch != 0x0A) {
    EncodeUCS4Char(ch, byteCount);
    return;
  }
  static const uint8_t kLineEnds[3][4] = {{0, 0x0A}, {0, 0x0D}, {0, 0x0D, 0, 0x0A}};
  int32_t option = writeLFOption <= 2 ? writeLFOption : 0;
  byteCount = option == 2 ? 4 : 2;
  WriteBytes(kLineEnds[option], byteCount);
}

void TUCS2Codec::Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                        int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || dest == nullptr || sourceLength < 2 || destSize < 2) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  const int32_t capacity = destSize / 2;
  int32_t pos = 0;
  int32_t out = 0;
  while (sourceLength - pos >= 2 && out < capacity) {
    char16_t unit = static_cast<char16_t>(bytes[pos] << 8 | bytes[pos + 1]);
    if (IsSurrogateCodePoint(unit)) {
      if (errorAction == eaRaise) {
        bytesRead = pos;
        charsWritten = out;
        // The position counts 16-bit units here, bytes when encoding.
        RaiseCodecError(codecmsg::Fill(codecmsg::kSurrogateFound, unit, kName), pos / 2);
      }
      if (errorAction == eaStop) break;
      if (errorAction == eaCopy) dest[out++] = unit;
      if (errorAction == eaReplace) dest[out++] = replacementChar;
    } else {
      dest[out++] = unit;
    }
    pos += 2;
  }
  bytesRead = pos;
  charsWritten = out;
}

void TUCS2Codec::Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                        std::string& dest) {
  dest.clear();
  charsRead = 0;
  if (source == nullptr || sourceLength < 1) return;
  dest.reserve(static_cast<size_t>(sourceLength) * 2);
  int32_t i = 0;
  for (; i < sourceLength; ++i) {
    char16_t unit = source[i];
    if (!IsSurrogateCodePoint(unit)) {
      AppendUnit(dest, unit);
      continue;
    }
    if (errorAction == eaRaise)
      RaiseCodecError(codecmsg::Fill(codecmsg::kSurrogateFound, unit, kName), int64_t{i} * 2);
    if (errorAction == eaStop) break;
    if (errorAction == eaCopy) AppendUnit(dest, unit);
    if (errorAction == eaReplace) AppendUnit(dest, replacementChar);
  }
  charsRead = i;
}
