#pragma once
// Shared checks of the codec fuzz targets.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/StringStream.h"
#include "xml/Ucs4Reader.h"
#include "xml/UnicodeCodecs.h"

// Aborts with a message when a checked property fails (libFuzzer records the input).
#define QV_FUZZ_CHECK(cond)                                          \
  do {                                                               \
    if (!(cond)) {                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                  \
    }                                                                \
  } while (0)

struct FuzzByteSource {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  int32_t Read(TCustomUnicodeCodec*, void* buffer, int32_t count) {
    size_t n = std::min(static_cast<size_t>(count), size - pos);
    std::memcpy(buffer, data + pos, n);
    pos += n;
    return static_cast<int32_t>(n);
  }
};

struct FuzzDecoded {
  std::vector<UCS4Char> chars;
  size_t bytes = 0;
  bool failed = false;
};

// Decodes character by character through the codec's read hook.
inline FuzzDecoded FuzzDecodeChars(TCustomUnicodeCodec& codec, const uint8_t* data, size_t size) {
  FuzzByteSource source{data, size};
  codec.SetOnRead(MakeCodecReadEvent<&FuzzByteSource::Read>(&source));
  FuzzDecoded out;
  try {
    for (;;) {
      UCS4Char ch;
      int32_t n = 0;
      codec.DecodeUCS4Char(ch, n);
      out.bytes += static_cast<size_t>(n);  // skipped bytes count even before the end
      if (ch == kUcs4EndOfInput) break;
      QV_FUZZ_CHECK(ch <= kUcs4MaxCodePoint && n > 0);
      out.chars.push_back(ch);
    }
  } catch (const EConvertError&) {
    out.failed = true;
  }
  QV_FUZZ_CHECK(out.failed || out.bytes == size || codec.ErrorAction() == eaStop);
  codec.SetOnRead({});
  return out;
}

// The length of the byte-order mark that selects cls.
inline int64_t BomLengthOf(TUnicodeCodecClass cls) {
  if (cls == nullptr) return 0;
  if (cls == CodecClassOf<TUTF8Codec>()) return 3;
  if (cls == CodecClassOf<TUTF16BECodec>() || cls == CodecClassOf<TUTF16LECodec>()) return 2;
  return 4;
}

// Every codec class of the library: the Unicode forms first, then the code pages.
inline const std::vector<TUnicodeCodecClass>& AllCodecClasses() {
  static const std::vector<TUnicodeCodecClass> all = {
      CodecClassOf<TUTF8Codec>(), CodecClassOf<TUTF16BECodec>(), CodecClassOf<TUTF16LECodec>(),
      CodecClassOf<TUCS4BECodec>(), CodecClassOf<TUCS4LECodec>(), CodecClassOf<TUCS4_2143Codec>(),
      CodecClassOf<TUCS4_3412Codec>(), CodecClassOf<TUCS2Codec>(),
      CodecClassOf<TISO8859_1Codec>(), CodecClassOf<TISO8859_2Codec>(), CodecClassOf<TISO8859_3Codec>(),
      CodecClassOf<TISO8859_4Codec>(), CodecClassOf<TISO8859_5Codec>(), CodecClassOf<TISO8859_6Codec>(),
      CodecClassOf<TISO8859_7Codec>(), CodecClassOf<TISO8859_8Codec>(), CodecClassOf<TISO8859_9Codec>(),
      CodecClassOf<TISO8859_10Codec>(), CodecClassOf<TISO8859_13Codec>(), CodecClassOf<TISO8859_14Codec>(),
      CodecClassOf<TISO8859_15Codec>(), CodecClassOf<TWindows1250Codec>(), CodecClassOf<TWindows1251Codec>(),
      CodecClassOf<TWindows1252Codec>(), CodecClassOf<TWindows1253Codec>(), CodecClassOf<TWindows1254Codec>(),
      CodecClassOf<TWindows1255Codec>(), CodecClassOf<TWindows1256Codec>(), CodecClassOf<TWindows1257Codec>(),
      CodecClassOf<TWindows1258Codec>(), CodecClassOf<TIBM037Codec>(), CodecClassOf<TIBM424Codec>(),
      CodecClassOf<TIBM437Codec>(), CodecClassOf<TIBM500Codec>(), CodecClassOf<TIBM850Codec>(),
      CodecClassOf<TIBM852Codec>(), CodecClassOf<TIBM855Codec>(), CodecClassOf<TIBM857Codec>(),
      CodecClassOf<TIBM860Codec>(), CodecClassOf<TIBM861Codec>(), CodecClassOf<TIBM862Codec>(),
      CodecClassOf<TIBM863Codec>(), CodecClassOf<TIBM864Codec>(), CodecClassOf<TIBM865Codec>(),
      CodecClassOf<TIBM866Codec>(), CodecClassOf<TIBM869Codec>(), CodecClassOf<TIBM1026Codec>(),
      CodecClassOf<TMacLatin2Codec>(), CodecClassOf<TMacRomanCodec>(), CodecClassOf<TMacCyrillicCodec>(),
      CodecClassOf<TUSASCIICodec>(), CodecClassOf<TEBCDIC_USCodec>(), CodecClassOf<TKOI8_RCodec>(),
      CodecClassOf<TJIS_X0201Codec>(),
  };
  return all;
}

// Reads the bytes through the located reader with the codec class as default
// and checks the counters; returns the characters, or nothing on an error.
inline std::vector<UCS4Char> FuzzReadLocated(TUnicodeCodecClass cls, const uint8_t* data, size_t size,
                                             int32_t bufSize, bool* failed) {
  TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<UCS4Char> chars;
  *failed = false;
  try {
    std::unique_ptr<TUtilsUCS4Reader> reader(New<TUtilsUCS4Reader>(&stream, bufSize, cls, 0, 0, 0, 0, 1));
    int64_t lines = 1;
    for (reader->Next(); !reader->GetEof(); reader->Next()) {
      const TUtilsUCS4CharData& c = reader->Current();
      QV_FUZZ_CHECK(c.CodePoint <= kUcs4MaxCodePoint);
      QV_FUZZ_CHECK(c.CharNumber == static_cast<int64_t>(chars.size()) + 1);
      QV_FUZZ_CHECK(c.ByteNumber == reader->Previous().ByteNumber + c.CharSize);
      QV_FUZZ_CHECK(c.CodePoint != 0x0D);  // line ends arrive folded
      if (c.CodePoint == 0x0A) ++lines;
      QV_FUZZ_CHECK(c.Line == lines);
      chars.push_back(c.CodePoint);
    }
    QV_FUZZ_CHECK(reader->Current().ByteNumber == static_cast<int64_t>(size) - BomLengthOf(reader->GetBomEncodingClass()));
  } catch (const EConvertError&) {
    *failed = true;
  }
  return chars;
}

// Folds CR LF and lone CR to LF, as the reader does.
inline std::vector<UCS4Char> FoldLineEnds(const std::vector<UCS4Char>& chars) {
  std::vector<UCS4Char> out;
  for (size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] != 0x0D) {
      out.push_back(chars[i]);
      continue;
    }
    out.push_back(0x0A);
    if (i + 1 < chars.size() && chars[i + 1] == 0x0A) ++i;
  }
  return out;
}

// The UTF-16 form of characters.
inline std::u16string ToUtf16(const std::vector<UCS4Char>& chars) {
  std::u16string out;
  for (UCS4Char ch : chars) {
    if (ch < 0x10000) {
      out += static_cast<char16_t>(ch);
      continue;
    }
    out += static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF));
  }
  return out;
}
