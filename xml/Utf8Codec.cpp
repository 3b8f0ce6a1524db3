#include "xml/Utf8Codec.h"

#include "xml/UnicodeCodecMessages.h"

QV_DEFINE_CODEC_CLASS(TUTF8Codec, TCustomUnicodeCodec);

namespace {

// Classifies the bytes at source: the length of a complete well-formed
// sequence (value in ch), 0 for a well-formed but incomplete prefix, -1 for
// an ill-formed one (stray continuation byte, overlong form, surrogate,
// value above U+10FFFF, or a lead byte that starts none of these).
int32_t ClassifyUtf8(const uint8_t* source, int32_t available, UCS4Char& ch) {
  uint8_t lead = source[0];
  if (lead < 0x80) {
    ch = lead;
    return 1;
  }
  int32_t length;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  UCS4Char value;
  if (lead < 0xC2) return -1;
  if (lead < 0xE0) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead < 0xF0) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead < 0xF5) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return -1;
  }
  for (int32_t i = 1; i < length; ++i) {
    if (i >= available) return 0;
    uint8_t b = source[i];
    if (b < low || b > high) return -1;
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (b & 0x3F);
  }
  ch = value;
  return length;
}

[[noreturn]] void RaiseInvalidUtf8() { throw EConvertError(codecmsg::Fill(codecmsg::kInvalidEncoding, 0, "UTF-8")); }

// Appends the UTF-8 form of a scalar value.
void AppendUtf8(std::string& out, UCS4Char ch) {
  if (ch < 0x80) {
    out += static_cast<char>(ch);
  } else if (ch < 0x800) {
    out += static_cast<char>(0xC0 | (ch >> 6));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else if (ch < 0x10000) {
    out += static_cast<char>(0xE0 | (ch >> 12));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (ch >> 18));
    out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  }
}

}  // namespace

int32_t Utf8SequenceAt(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available < 1) return 0;
  int32_t n = ClassifyUtf8(source, available, ch);
  return n > 0 ? n : 0;
}

void TUTF8Codec::DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) {
  uint8_t bytes[4];
  if (!ReadBytes(bytes, 1)) {
    ch = kUcs4EndOfInput;
    byteCount = 0;
    return;
  }
  // Continuation bytes are taken one at a time, so an ill-formed one is the
  // last byte consumed.
  for (int32_t count = 1;; ++count) {
    int32_t n = ClassifyUtf8(bytes, count, ch);
    if (n > 0) {
      byteCount = n;
      return;
    }
    if (n < 0 || !ReadBytes(bytes + count, 1)) RaiseInvalidUtf8();
  }
}

int32_t TUTF8Codec::DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch) {
  if (available >= 1 && source[0] < 0x80) {
    ch = source[0];
    return 1;
  }
  return Utf8SequenceAt(source, available, ch);
}

int32_t TUTF8Codec::DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                              int32_t maxChars) {
  int32_t count = 0;
  int32_t pos = 0;
  while (count < maxChars && pos < available) {
    uint8_t lead = source[pos];
    if (lead < 0x80) {
      chars[count] = lead;
      sizes[count++] = 1;
      ++pos;
      continue;
    }
    UCS4Char ch;
    int32_t n = ClassifyUtf8(source + pos, available - pos, ch);
    if (n <= 0) break;
    chars[count] = ch;
    sizes[count++] = static_cast<uint8_t>(n);
    pos += n;
  }
  return count;
}

void TUTF8Codec::EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch > kUcs4MaxCodePoint || IsSurrogateCodePoint(ch)) {
    throw EConvertError(codecmsg::Fill(codecmsg::kNotValidCodePoint, ch, "Unicode"));
  }
  std::string bytes;
  AppendUtf8(bytes, ch);
  WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  byteCount = static_cast<int32_t>(bytes.size());
}

void TUTF8Codec::WriteUCS4Char(UCS4Char ch, int32_t& byteCount) {
  if (ch != 0x0A) {
    EncodeUCS4Char(ch, byteCount);
    return;
  }
  static const char kLineEnds[3][2] = {{'\n', 0}, {'\r', 0}, {'\r', '\n'}};
  int32_t option = writeLFOption <= 2 ? writeLFOption : 0;
  byteCount = option == 2 ? 2 : 1;
  WriteBytes(kLineEnds[option], byteCount);
}

void TUTF8Codec::Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                        int32_t& bytesRead, int32_t& charsWritten) {
  bytesRead = 0;
  charsWritten = 0;
  if (source == nullptr || sourceLength < 1 || dest == nullptr) return;
  const int32_t capacity = destSize / 2;
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  int32_t pos = 0;
  int32_t out = 0;
  while (pos < sourceLength && out < capacity) {
    UCS4Char ch;
    int32_t n = ClassifyUtf8(bytes + pos, sourceLength - pos, ch);
    if (n == 0) break;  // incomplete: left for the caller's next call
    if (n < 0) {
      bytesRead = pos;
      charsWritten = out;
      RaiseInvalidUtf8();
    }
    if (ch >= 0x10000) {
      if (capacity - out < 2) break;
      ch -= 0x10000;
      dest[out++] = static_cast<char16_t>(0xD800 + (ch >> 10));
      dest[out++] = static_cast<char16_t>(0xDC00 + (ch & 0x3FF));
    } else {
      dest[out++] = static_cast<char16_t>(ch);
    }
    pos += n;
  }
  bytesRead = pos;
  charsWritten = out;
}

void TUTF8Codec::Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                        std::string& dest) {
  dest.clear();
  charsRead = 0;
  if (source == nullptr || sourceLength < 1) return;
  dest.reserve(static_cast<size_t>(sourceLength) * 3);
  int32_t i = 0;
  while (i < sourceLength) {
    UCS4Char unit = source[i];
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < sourceLength && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF) {
      AppendUtf8(dest, 0x10000 + ((unit - 0xD800) << 10) + (source[i + 1] - 0xDC00));
      i += 2;
      continue;
    }
    if (!IsSurrogateCodePoint(unit)) {
      AppendUtf8(dest, unit);
      ++i;
      continue;
    }
    // A lone surrogate has no UTF-8 form.
    switch (errorAction) {
      case eaRaise:
        RaiseCodecError(high ? codecmsg::kLowSurrogateNotFound : codecmsg::kHighSurrogateNotFound, i);
      case eaStop:
        charsRead = i;
        return;
      case eaCopy:
        dest += static_cast<char>(0xE0 | (unit >> 12));
        dest += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        dest += static_cast<char>(0x80 | (unit & 0x3F));
        break;
      case eaSkip:
        break;
      case eaReplace:
        if (!IsSurrogateCodePoint(replacementChar)) AppendUtf8(dest, replacementChar);
        break;
    }
    ++i;
  }
  charsRead = i;
}
