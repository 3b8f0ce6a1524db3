#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "CodecTestSupport.h"
#include "xml/UnicodeCodecs.h"

namespace {

struct ReferenceTable {
  const char* name;
  TUnicodeCodecClass cls;
  std::vector<char16_t> chars;
};

#define QV_REFERENCE(CLASS, ...) {#CLASS, CodecClassOf<CLASS>(), {__VA_ARGS__}},
const std::vector<ReferenceTable>& References() {
  static const std::vector<ReferenceTable> tables = {
#include "CodePageReference.inc"
  };
  return tables;
}
#undef QV_REFERENCE

// Rows where the codecs knowingly differ from the reference source: the
// Windows code pages as Windows itself decodes them (C1 controls and private
// use for unassigned bytes), the library's long-standing rows for older
// editions (Mac OS Roman before the euro, ISO 8859-8 of 1988 and IBM424 with
// it, IBM864 without five presentation forms, Mac Cyrillic's PARTIAL
// DIFFERENTIAL, EBCDIC-US with graphic characters only), the Apple logo left
// undefined, and JIS X 0201 Roman against the ASCII-based single-byte half of
// Shift_JIS.
const std::map<std::string, std::map<int, char16_t>>& Deviations() {
  static const std::map<std::string, std::map<int, char16_t>> table = {
      {"TWindows1253Codec", {{0xAA, 0xF8F9}, {0xD2, 0xF8FA}, {0xFF, 0xF8FB}}},
      {"TWindows1255Codec",
       {{0xCA, 0x05BA}, {0xD9, 0xF88D}, {0xDA, 0xF88E}, {0xDB, 0xF88F}, {0xDC, 0xF890}, {0xDD, 0xF891},
        {0xDE, 0xF892}, {0xDF, 0xF893}, {0xFB, 0xF894}, {0xFC, 0xF895}, {0xFF, 0xF896}}},
      {"TWindows1257Codec", {{0xA1, 0xF8FC}, {0xA5, 0xF8FD}}},
      {"TIBM424Codec", {{0x78, 0x21D4}, {0x8F, 0xFFFF}, {0xBC, 0x203E}}},
      {"TISO8859_8Codec", {{0xAF, 0x203E}, {0xFD, 0xFFFF}, {0xFE, 0xFFFF}}},
      {"TIBM864Codec", {{0xC1, 0xFFFF}, {0xC2, 0xFFFF}, {0xC3, 0xFFFF}, {0xC4, 0xFFFF}, {0xC6, 0xFFFF}}},
      {"TIBM1026Codec", {{0x9D, 0x02DB}, {0xBC, 0x2014}}},
      {"TMacRomanCodec", {{0xBD, 0x2126}, {0xDB, 0x00A4}, {0xF0, 0xFFFF}}},
      {"TMacCyrillicCodec", {{0xA2, 0x00A2}, {0xB6, 0x2202}, {0xFF, 0x00A4}}},
      {"TJIS_X0201Codec", {{0x5C, 0x00A5}, {0x7E, 0x203E}}},
  };
  return table;
}

char16_t Expected(const ReferenceTable& ref, int b) {
  // EBCDIC-US: its graphic characters only.
  if (std::string(ref.name) == "TEBCDIC_USCodec" && (b < 0x40 || b > 0xF9)) return 0xFFFF;
  auto dev = Deviations().find(ref.name);
  if (dev != Deviations().end()) {
    auto row = dev->second.find(b);
    if (row != dev->second.end()) return row->second;
  }
  bool windows = std::string(ref.name).rfind("TWindows", 0) == 0;
  if (windows && ref.chars[b] == 0xFFFF && b >= 0x80 && b <= 0x9F) return static_cast<char16_t>(b);
  return ref.chars[b];
}

TCustomSingleByteCodec& AsSingleByte(std::unique_ptr<TCustomUnicodeCodec>& codec) {
  return dynamic_cast<TCustomSingleByteCodec&>(*codec);
}

}  // namespace

TEST(SingleByteCodecs, EveryByteMatchesTheIndependentReference) {
  ASSERT_EQ(References().size(), 44u);
  for (const ReferenceTable& ref : References()) {
    ASSERT_EQ(ref.chars.size(), 256u) << ref.name;
    auto codec = CreateCodec(ref.cls);
    TCustomSingleByteCodec& sb = AsSingleByte(codec);
    for (int b = 0; b < 256; ++b) {
      char16_t expected = Expected(ref, b);
      EXPECT_EQ(sb.DecodeChar(static_cast<uint8_t>(b)), expected) << ref.name << " byte " << b;
      if (expected == 0xFFFF) continue;
      // Every defined byte encodes back to itself (no set maps two bytes to one character).
      EXPECT_EQ(sb.EncodeChar(expected), b) << ref.name << " byte " << b;
    }
    EXPECT_THROW(sb.EncodeChar(0xFFFF), EConvertError) << ref.name;
  }
}

TEST(SingleByteCodecs, RowsTheOldTablesGotWrong) {
  auto iso6 = MakeCodec<TISO8859_6Codec>();
  EXPECT_EQ(AsSingleByte(iso6).DecodeChar(0xC1), u'\u0621');  // Arabic letters at +0x560
  EXPECT_EQ(AsSingleByte(iso6).DecodeChar(0xAC), u'\u060C');
  auto iso10 = MakeCodec<TISO8859_10Codec>();
  EXPECT_EQ(AsSingleByte(iso10).DecodeChar(0xBD), u'\u2015');
  auto ibm864 = MakeCodec<TIBM864Codec>();
  EXPECT_EQ(AsSingleByte(ibm864).DecodeChar(0x25), u'\u066A');
  EXPECT_EQ(AsSingleByte(ibm864).DecodeChar(0x24), u'\u0024');
  EXPECT_THROW(AsSingleByte(ibm864).EncodeChar(u'%'), EConvertError);
}

TEST(SingleByteCodecs, KnownRows) {
  struct Case {
    TUnicodeCodecClass cls;
    uint8_t byte;
    char16_t ch;
  };
  const Case cases[] = {
      {CodecClassOf<TISO8859_3Codec>(), 0xA5, 0xFFFF},   {CodecClassOf<TIBM865Codec>(), 0x9B, 0x00F8},
      {CodecClassOf<TIBM437Codec>(), 0x9B, 0x00A2},      {CodecClassOf<TWindows1252Codec>(), 0x80, 0x20AC},
      {CodecClassOf<TWindows1252Codec>(), 0x81, 0x0081}, {CodecClassOf<TWindows1252Codec>(), 0xA0, 0x00A0},
      {CodecClassOf<TJIS_X0201Codec>(), 0x0A, 0xFFFF},   {CodecClassOf<TJIS_X0201Codec>(), 0xB1, 0xFF71},
      {CodecClassOf<TISO8859_15Codec>(), 0xA6, 0x0160},  {CodecClassOf<TISO8859_7Codec>(), 0xA3, 0x00A3},
      {CodecClassOf<TWindows1253Codec>(), 0xAA, 0xF8F9}, {CodecClassOf<TISO8859_1Codec>(), 0x9C, 0x009C},
      {CodecClassOf<TEBCDIC_USCodec>(), 0xC1, u'A'},     {CodecClassOf<TEBCDIC_USCodec>(), 0x25, 0xFFFF},
  };
  for (const Case& c : cases) {
    auto codec = CreateCodec(c.cls);
    EXPECT_EQ(AsSingleByte(codec).DecodeChar(c.byte), c.ch) << c.cls->className << " " << int(c.byte);
  }
  auto iso2 = MakeCodec<TISO8859_2Codec>();
  EXPECT_EQ(AsSingleByte(iso2).EncodeChar(0xE9), 0xE9);
  auto iso5 = MakeCodec<TISO8859_5Codec>();
  try {
    AsSingleByte(iso5).EncodeChar(0xE9);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Unicode code point $E9 has no equivalent in ISO-8859-5");
  }
  auto iso15 = MakeCodec<TISO8859_15Codec>();
  EXPECT_THROW(AsSingleByte(iso15).EncodeChar(0xA6), EConvertError);
  auto iso13 = MakeCodec<TISO8859_13Codec>();
  EXPECT_EQ(AsSingleByte(iso13).EncodeChar(0x017C), 0xFD);
  auto latin1 = MakeCodec<TISO8859_1Codec>();
  EXPECT_THROW(AsSingleByte(latin1).EncodeChar(0x100), EConvertError);
  EXPECT_THROW(AsSingleByte(latin1).UCS4ToByte(0x10041), EConvertError);
}

TEST(SingleByteCodecs, AsciiRaisesAtCharacterLevelAndFollowsErrorActionInBuffers) {
  auto ascii = MakeCodec<TUSASCIICodec>();
  try {
    AsSingleByte(ascii).DecodeChar(0x80);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "$80 is not a valid US-ASCII code point");
  }
  std::u16string dest(4, u'\0');
  int32_t read = 0;
  int32_t written = 0;
  ascii->SetErrorAction(eaReplace);
  ascii->Decode("A\x80" "B", 3, dest.data(), 8, read, written);
  EXPECT_EQ(dest.substr(0, written), u"A\uFFFDB");
  EXPECT_EQ(read, 3);
}

// A byte the code page leaves undefined is U+FFFF at character level and in
// buffers, whatever ErrorAction says: never an end of input, never a guess.
TEST(SingleByteCodecs, UndefinedBytesAreNoncharacters) {
  auto codec = MakeCodec<TISO8859_3Codec>();
  const std::string input = "a\xA5" "b";
  std::u16string dest(8, u'\0');
  int32_t read = 0;
  int32_t written = 0;
  for (TErrorAction action : {eaRaise, eaStop, eaCopy, eaSkip, eaReplace}) {
    codec->SetErrorAction(action);
    codec->SetReplacementChar(u'?');
    codec->Decode(input.data(), 3, dest.data(), 16, read, written);
    EXPECT_EQ(dest.substr(0, written), u"a\uFFFFb") << int(action);
    EXPECT_EQ(read, 3);
    TestByteSource source{input};
    source.Attach(*codec);
    std::vector<UCS4Char> chars;
    for (int i = 0; i < 5; ++i) {
      UCS4Char ch;
      int32_t size;
      codec->DecodeUCS4Char(ch, size);
      chars.push_back(ch);
      if (ch == kUcs4EndOfInput) break;
    }
    EXPECT_EQ(chars, (std::vector<UCS4Char>{'a', 0xFFFF, 'b', kUcs4EndOfInput})) << int(action);
  }
  auto& sb = dynamic_cast<TCustomSingleByteCodec&>(*codec);
  EXPECT_EQ(sb.UndefinedByte(), -1);
  // US-ASCII raises at character level under every ErrorAction.
  auto ascii = MakeCodec<TUSASCIICodec>();
  for (TErrorAction action : {eaRaise, eaStop, eaSkip}) {
    ascii->SetErrorAction(action);
    TestByteSource source{std::string("\x80")};
    source.Attach(*ascii);
    UCS4Char ch;
    int32_t size;
    EXPECT_THROW(ascii->DecodeUCS4Char(ch, size), EConvertError) << int(action);
  }
}

TEST(SingleByteCodecs, BufferLimits) {
  auto codec = MakeCodec<TWindows1252Codec>();
  char16_t dest[4] = {};
  int32_t read = -1;
  int32_t written = -1;
  codec->Decode("abc", 3, dest, 3, read, written);  // room for one code unit
  EXPECT_EQ(read, 1);
  EXPECT_EQ(written, 1);
  codec->Decode(nullptr, 3, dest, 8, read, written);
  EXPECT_EQ(read, 0);
  codec->Decode("abc", 0, dest, 8, read, written);
  EXPECT_EQ(written, 0);
  auto latin1 = MakeCodec<TISO8859_1Codec>();
  latin1->Decode("\x9C\xFF", 2, dest, 8, read, written);
  EXPECT_EQ(std::u16string(dest, 2), u"\u009C\u00FF");
}

TEST(SingleByteCodecs, EncodeAppliesErrorAction) {
  auto codec = MakeCodec<TISO8859_2Codec>();
  std::string out;
  int32_t read = 0;
  const std::u16string text = u"a\u20ACb";
  try {
    codec->Encode(text.data(), 3, read, out);
    ADD_FAILURE();
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.ErrorPosition(), 1);
  }
  struct Case {
    TErrorAction action;
    std::string bytes;
    int32_t read;
  };
  for (const Case& c : {Case{eaStop, "a", 1}, Case{eaSkip, "ab", 3}, Case{eaReplace, "a b", 3}, Case{eaCopy, "a\xAC" "b", 3}}) {
    codec->SetErrorAction(c.action);
    codec->Encode(text.data(), 3, read, out);
    EXPECT_EQ(out, c.bytes) << int(c.action);
    EXPECT_EQ(read, c.read);
  }
}
