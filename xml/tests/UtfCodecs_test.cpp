#include <gtest/gtest.h>

#include <vector>

#include "CodecTestSupport.h"
#include "xml/UnicodeCodecs.h"

namespace {

// Decodes bytes one character at a time until the end; "!" + message on an error.
std::vector<UCS4Char> DecodeChars(TUnicodeCodecClass cls, const std::string& bytes, std::string* error = nullptr) {
  auto codec = CreateCodec(cls);
  TestByteSource source{bytes};
  source.Attach(*codec);
  std::vector<UCS4Char> out;
  try {
    for (;;) {
      UCS4Char ch;
      int32_t size;
      codec->DecodeUCS4Char(ch, size);
      if (ch == kUcs4EndOfInput) break;
      out.push_back(ch);
    }
  } catch (const EConvertError& e) {
    if (error != nullptr) *error = e.Message();
    out.push_back(0xDEADu);
  }
  return out;
}

std::string EncodeChar(TUnicodeCodecClass cls, UCS4Char ch, int32_t* size = nullptr) {
  auto codec = CreateCodec(cls);
  TestByteSink sink;
  sink.Attach(*codec);
  int32_t n = 0;
  codec->EncodeUCS4Char(ch, n);
  if (size != nullptr) *size = n;
  return sink.bytes;
}

std::u16string DecodeBuffer(TCustomUnicodeCodec& codec, const std::string& bytes, int32_t destUnits,
                            int32_t* bytesRead = nullptr) {
  std::u16string dest(static_cast<size_t>(destUnits), u'\0');
  int32_t read = 0;
  int32_t written = 0;
  codec.Decode(bytes.data(), static_cast<int32_t>(bytes.size()), dest.data(), destUnits * 2, read, written);
  if (bytesRead != nullptr) *bytesRead = read;
  dest.resize(static_cast<size_t>(written));
  return dest;
}

const TUnicodeCodecClass kUtf8 = CodecClassOf<TUTF8Codec>();
const UCS4Char kError = 0xDEAD;

}  // namespace

TEST(Utf8Codec, CharacterLevelAcceptsOnlyWellFormedScalarValues) {
  struct Case {
    std::string bytes;
    std::vector<UCS4Char> chars;
  };
  const Case cases[] = {
      {"A", {'A'}},
      {"\xC2\x80", {0x80}},
      {"\xDF\xBF", {0x7FF}},
      {"\xE0\xA0\x80", {0x800}},
      {"\xEF\xBF\xBF", {0xFFFF}},
      {"\xF0\x90\x80\x80", {0x10000}},
      {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
      {"\xC2\x9C", {0x9C}},
      {"\xC0\x80", {kError}},          // overlong NUL
      {"\xE0\x80\x80", {kError}},      // overlong
      {"\xF0\x80\x80\x80", {kError}},  // overlong
      {"\xED\xA0\x80", {kError}},      // surrogate
      {"\xF4\x90\x80\x80", {kError}},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", {kError}},
      {"\x80", {kError}},
      {"\xE2\x82", {kError}},  // cut by the end of input
      {"\xE2\x28\xA1", {kError}},
      {"a\xFF", {'a', kError}},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeChars(kUtf8, c.bytes), c.chars) << testing::PrintToString(c.bytes);
  std::string error;
  DecodeChars(kUtf8, "\x80", &error);
  EXPECT_EQ(error, "Invalid UTF-8 encoding");
}

TEST(Utf8Codec, EncodesShortestFormsAndRefusesNonScalars) {
  EXPECT_EQ(EncodeChar(kUtf8, 0x41), "A");
  EXPECT_EQ(EncodeChar(kUtf8, 0xE9), "\xC3\xA9");
  EXPECT_EQ(EncodeChar(kUtf8, 0x20AC), "\xE2\x82\xAC");
  int32_t size = 0;
  EXPECT_EQ(EncodeChar(kUtf8, 0x1F600, &size), "\xF0\x9F\x98\x80");
  EXPECT_EQ(size, 4);
  EXPECT_THROW(EncodeChar(kUtf8, 0xD800), EConvertError);
  EXPECT_THROW(EncodeChar(kUtf8, 0x110000), EConvertError);
}

TEST(Utf8Codec, BufferDecodeHandlesFourByteSequencesAndIncompleteTails) {
  auto codec = MakeCodec<TUTF8Codec>();
  int32_t read = 0;
  EXPECT_EQ(DecodeBuffer(*codec, "\xF0\x9F\x98\x80", 4, &read), u"\U0001F600");
  EXPECT_EQ(read, 4);
  EXPECT_EQ(DecodeBuffer(*codec, "a\xE2\x82", 4, &read), u"a");  // incomplete: left unconsumed
  EXPECT_EQ(read, 1);
  EXPECT_EQ(DecodeBuffer(*codec, "ab\xF0\x9F\x98\x80", 3, &read), u"ab");  // no room for the pair
  EXPECT_EQ(read, 2);
  EXPECT_EQ(DecodeBuffer(*codec, "abc", 2, &read), u"ab");
  for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x28\xA1"}) {
    EXPECT_THROW(DecodeBuffer(*codec, bad, 4), EConvertError) << testing::PrintToString(std::string(bad));
  }
}

TEST(Utf8Codec, BufferEncodeJoinsPairsAndAppliesErrorActionToLoneSurrogates) {
  auto codec = MakeCodec<TUTF8Codec>();
  std::string out;
  int32_t read = 0;
  std::u16string pair = u"a\U0001F600b";
  codec->Encode(pair.data(), static_cast<int32_t>(pair.size()), read, out);
  EXPECT_EQ(out, "a\xF0\x9F\x98\x80" "b");
  EXPECT_EQ(read, 4);
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  try {
    codec->Encode(lone, 3, read, out);
    ADD_FAILURE() << "lone surrogate accepted";
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.ErrorPosition(), 1);
    EXPECT_EQ(e.Message(), "Low surrogate not found");
  }
  struct Case {
    TErrorAction action;
    std::string bytes;
    int32_t read;
  };
  for (const Case& c : {Case{eaStop, "a", 1}, Case{eaSkip, "ab", 3}, Case{eaReplace, "a\xEF\xBF\xBD" "b", 3},
                        Case{eaCopy, "a\xED\xA0\x80" "b", 3}}) {
    codec->SetErrorAction(c.action);
    codec->Encode(lone, 3, read, out);
    EXPECT_EQ(out, c.bytes) << int(c.action);
    EXPECT_EQ(read, c.read);
  }
}

TEST(Utf16Codecs, CharacterLevel) {
  const TUnicodeCodecClass le = CodecClassOf<TUTF16LECodec>();
  const TUnicodeCodecClass be = CodecClassOf<TUTF16BECodec>();
  EXPECT_EQ(DecodeChars(le, std::string("\x3D\xD8\x00\xDE", 4)), std::vector<UCS4Char>{0x1F600});
  EXPECT_EQ(DecodeChars(be, std::string("\x00\x41\xD8\x3D\xDE\x00", 6)), (std::vector<UCS4Char>{0x41, 0x1F600}));
  std::string error;
  EXPECT_EQ(DecodeChars(be, std::string("\xDC\x00", 2), &error), std::vector<UCS4Char>{kError});
  EXPECT_EQ(error, "Invalid UTF-16BE encoding");
  EXPECT_EQ(DecodeChars(be, std::string("\xD8\x00\x00\x41", 4)), std::vector<UCS4Char>{kError});
  EXPECT_EQ(DecodeChars(be, std::string("\xD8\x00", 2)), std::vector<UCS4Char>{kError});
  // A trailing odd byte is reported, not dropped.
  EXPECT_EQ(DecodeChars(le, std::string("A\x00" "B", 3)), (std::vector<UCS4Char>{'A', kError}));

  int32_t size = 0;
  EXPECT_EQ(EncodeChar(le, 0x1F600, &size), std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(size, 4);
  EXPECT_EQ(EncodeChar(be, 0x41), std::string("\x00\x41", 2));
  EXPECT_THROW(EncodeChar(be, 0xDC00), EConvertError);
  try {
    EncodeChar(be, 0x110000);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot convert $00110000 to UTF-16BE");
  }
}

TEST(Utf16Codecs, BufferLevelTakesWholeUnits) {
  auto codec = MakeCodec<TUTF16LECodec>();
  int32_t read = 0;
  EXPECT_EQ(DecodeBuffer(*codec, std::string("A\x00" "B\x00" "C", 5), 4, &read), u"AB");
  EXPECT_EQ(read, 4);
  std::string out;
  codec->Encode(u"AB", 2, read, out);
  EXPECT_EQ(out, std::string("A\x00" "B\x00", 4));
  auto beCodec = MakeCodec<TUTF16BECodec>();
  beCodec->Encode(u"AB", 2, read, out);
  EXPECT_EQ(out, std::string("\x00" "A\x00" "B", 4));
}

TEST(Ucs4Codecs, ByteOrders) {
  struct Case {
    TUnicodeCodecClass cls;
    std::string bytes;  // 0x0001F600 in the codec's order
  };
  const Case cases[] = {
      {CodecClassOf<TUCS4BECodec>(), std::string("\x00\x01\xF6\x00", 4)},
      {CodecClassOf<TUCS4LECodec>(), std::string("\x00\xF6\x01\x00", 4)},
      {CodecClassOf<TUCS4_2143Codec>(), std::string("\x01\x00\x00\xF6", 4)},
      {CodecClassOf<TUCS4_3412Codec>(), std::string("\xF6\x00\x00\x01", 4)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeChars(c.cls, c.bytes), std::vector<UCS4Char>{0x1F600}) << c.cls->className;
    EXPECT_EQ(EncodeChar(c.cls, 0x1F600), c.bytes) << c.cls->className;
  }
}

TEST(Ucs4Codecs, CharacterLevelRejectsSurrogatesLargeValuesAndPartialUnits) {
  const TUnicodeCodecClass be = CodecClassOf<TUCS4BECodec>();
  std::string error;
  EXPECT_EQ(DecodeChars(be, std::string("\x00\x00\xD8\x00", 4), &error), std::vector<UCS4Char>{kError});
  EXPECT_EQ(error, "Surrogate value $D800 found in UCS-4BE. Values between $D800 and $DFFF are reserved for use with UTF-16");
  EXPECT_EQ(DecodeChars(be, std::string("\x00\x11\x00\x00", 4)), std::vector<UCS4Char>{kError});
  EXPECT_EQ(DecodeChars(be, std::string("\x00\x00\x00\x41\x00\x00", 6)), (std::vector<UCS4Char>{0x41, kError}));
  auto codec = MakeCodec<TUCS4BECodec>();
  TestByteSink sink;
  sink.Attach(*codec);
  codec->SetWriteLFOption(2);
  int32_t size = 0;
  codec->WriteUCS4Char(0x0A, size);
  EXPECT_EQ(sink.bytes, std::string("\x00\x00\x00\x0D\x00\x00\x00\x0A", 8));
  EXPECT_EQ(size, 8);
}

TEST(Ucs4Codecs, BufferDecodeAppliesErrorAction) {
  auto codec = MakeCodec<TUCS4BECodec>();
  const std::string input("\x00\x00\x00\x41\x00\x11\x00\x00\x00\x01\x00\x00\x00\x00", 14);
  int32_t read = 0;
  try {
    DecodeBuffer(*codec, input, 8);
    ADD_FAILURE();
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.ErrorPosition(), 4);
    EXPECT_EQ(e.Message(), "Cannot convert $00110000 to UTF-16");
  }
  struct Case {
    TErrorAction action;
    std::u16string text;
    int32_t read;
  };
  const Case cases[] = {
      {eaStop, u"A", 4},
      {eaSkip, u"A\U00010000", 12},
      {eaReplace, u"A\uFFFD\U00010000", 12},
      {eaCopy, std::u16string(u"A\u0011\u0000\U00010000", 5), 12},
  };
  for (const Case& c : cases) {
    codec->SetErrorAction(c.action);
    EXPECT_EQ(DecodeBuffer(*codec, input, 8, &read), c.text) << int(c.action);
    EXPECT_EQ(read, c.read);  // the two trailing bytes stay unconsumed
  }
}

TEST(Ucs4Codecs, BufferEncodeJoinsPairs) {
  auto codec = MakeCodec<TUCS4BECodec>();
  std::string out;
  int32_t read = 0;
  const char16_t pair[] = {0xD83D, 0xDFFF};
  codec->Encode(pair, 2, read, out);
  EXPECT_EQ(out, std::string("\x00\x01\xF7\xFF", 4));
  const char16_t lowOnly[] = {0xDC00};
  try {
    codec->Encode(lowOnly, 1, read, out);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "High surrogate not found");
  }
  const char16_t highOnly[] = {0xD800, u'a'};
  EXPECT_THROW(codec->Encode(highOnly, 2, read, out), EConvertError);
}

TEST(Ucs2Codec, BmpOnly) {
  const TUnicodeCodecClass ucs2 = CodecClassOf<TUCS2Codec>();
  EXPECT_EQ(DecodeChars(ucs2, std::string("\x00\x41\x20\xAC", 4)), (std::vector<UCS4Char>{0x41, 0x20AC}));
  EXPECT_EQ(DecodeChars(ucs2, std::string("\xD8\x00", 2)), std::vector<UCS4Char>{kError});
  EXPECT_EQ(DecodeChars(ucs2, std::string("\x00", 1)), std::vector<UCS4Char>{kError});
  try {
    EncodeChar(ucs2, 0x10000);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "UCS-2 encoding out of range");
  }
  auto codec = MakeCodec<TUCS2Codec>();
  int32_t read = 0;
  const std::string input("\x00\x41\xD8\x00\x00\x42", 6);
  try {
    DecodeBuffer(*codec, input, 4);
    ADD_FAILURE();
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.ErrorPosition(), 1);  // decoding: the index of the 16-bit unit
  }
  codec->SetErrorAction(eaReplace);
  EXPECT_EQ(DecodeBuffer(*codec, input, 4, &read), u"A\uFFFDB");
  EXPECT_EQ(read, 6);
  std::string out;
  const char16_t text[] = {u'A', 0xDC00, u'B'};
  codec->SetErrorAction(eaSkip);
  codec->Encode(text, 3, read, out);
  EXPECT_EQ(out, std::string("\x00\x41\x00\x42", 4));
  codec->SetErrorAction(eaRaise);
  try {
    codec->Encode(text, 3, read, out);
    ADD_FAILURE();
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.ErrorPosition(), 2);  // encoding: twice the unit index
  }
}
