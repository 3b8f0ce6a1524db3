#include "xml/Utf16Codec.h"

#include "xml/UnicodeCodecMessages.h"

QV_DEFINE_CODEC_CLASS(TUTF16BECodec, TCustomUnicodeCodec);
QV_DEFINE_CODEC_CLASS(TUTF16LECodec, TCustomUnicodeCodec);

void TUTF16Codec::PutUnit(uint8_t* p, uint32_t unit) const {
  uint8_t hi = static_cast<uint8_t>(unit >> 8);
  uint8_t lo = static_cast<uint8_t>(unit);
  p[0] = bigEndian ? hi : lo;
  p[1] = bigEndian ? lo : hi;
}

void TUTF16Codec::WriteUnits(const uint32_t* units, int32_t count) {
  uint8_t bytes[4];
  for (int32_t i = 0; i < count; ++i) PutUnit(bytes + 2 * i, units[i]);
  WriteBytes(bytes, 2 * count);
}

void TUTF16Codec::DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  uint8_t bytes[4];
  int32_t got = ReadAvailableBytes(bytes, 2);
  if (got == 0) {
    ch = kUcs4EndOfInput;
    byteCount = 0;
    return;
  }
  auto invalid = [this] { return EConvertError(codecmsg::Fill(codecmsg::kInvalidEncoding, 0, name)); };
  if (got < 2) throw invalid();  // odd byte at the end
  uint16_t unit = Unit(bytes);
  if (unit >= 0xDC00 && unit <= 0xDFFF) throw invalid();
  if (unit < 0xD800 || unit > 0xDBFF) {
    ch = unit;
    byteCount = 2;
    return;
  }
  if (!ReadBytes(bytes + 2, 2)) throw invalid();
  uint16_t low = Unit(bytes + 2);
  if (low < 0xDC00 || low > 0xDFFF) throw invalid();
  ch = 0x10000 + ((unit - 0xD800u) << 10) + (low - 0xDC00u);
  byteCount = 4;
}

int32_t TUTF16Codec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 2) return 0;
  uint16_t unit = Unit(source);
  if (unit < 0xD800 || unit > 0xDFFF) {
    ch = unit;
    return 2;
  }
  if (unit > 0xDBFF || available < 4) return 0;
  uint16_t low = Unit(source + 2);
  if (low < 0xDC00 || low > 0xDFFF) return 0;
  ch = 0x10000 + ((unit - 0xD800u) << 10) + (low - 0xDC00u);
  return 4;
}

int32_t TUTF16Codec::DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                               int32_t maxChars) {
  int32_t count = 0;
  int32_t pos = 0;
  while (count < maxChars && available - pos >= 2) {
    uint16_t unit = Unit(source + pos);
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      UCS4Char ch;
      if (DecodeFromMemory(source + pos, available - pos, ch) != 4) break;
      chars[count] = ch;
      sizes[count++] = 4;
      pos += 4;
      continue;
    }
    chars[count] = unit;
    sizes[count++] = 2;
    pos += 2;
  }
  return count;
}

void TUTF16Codec::EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (IsSurrogateCodePoint(ch)) throw EConvertError(codecmsg::Fill(codecmsg::kNotValidCodePoint, ch, "UCS-4"));
  if (ch > kUcs4MaxCodePoint) throw EConvertError(codecmsg::Fill(codecmsg::kCannotConvert, ch, name));
  if (ch < 0x10000) {
    WriteUnits(&ch, 1);
    byteCount = 2;
    return;
  }
  uint32_t units[2] = {0xD800 + ((ch - 0x10000) >> 10), 0xDC00 + ((ch - 0x10000) & 0x3FF)};
  WriteUnits(units, 2);
  byteCount = 4;
}

void TUTF16Codec::WriteUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch != 0x0A) {
    EncodeUCS4Char(ch, byteCount);
    return;
  }
  static const uint32_t kLineEnds[3][2] = {{0x0A, 0}, {0x0D, 0}, {0x0D, 0x0A}};
  int32_t option = writeLFOption <= 2 ? writeLFOption : 0;
  int32_t units = option == 2 ? 2 : 1;
  WriteUnits(kLineEnds[option], units);
  byteCount = 2 * units;
}

void TUTF16Codec::Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                         int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || dest == nullptr || sourceLength < 2 || destSize < 2) return;
  int32_t n = (sourceLength < destSize ? sourceLength : destSize) & ~1;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  for (int32_t i = 0; i < n; i += 2) dest[i / 2] = static_cast<char16_t>(Unit(bytes + i));
  bytesRead = n;
  charsWritten = n / 2;
}

void TUTF16Codec::Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                         std::string& dest) {
  dest.clear();
  charsRead = 0;
  if (source == nullptr || sourceLength < 1) return;
  dest.resize(static_cast<size_t>(sourceLength) * 2);
  uint8_t* out = reinterpret_cast<uint8_t*>(dest.data());
  for (int32_t i = 0; i < sourceLength; ++i) PutUnit(out + 2 * i, source[i]);
  charsRead = sourceLength;
}
