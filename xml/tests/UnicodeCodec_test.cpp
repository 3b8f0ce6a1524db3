#include <gtest/gtest.h>

#include <vector>

#include "CodecTestSupport.h"
#include "xml/UnicodeCodecs.h"

namespace {

struct ReadResult {
  UCS4Char ch;
  int32_t size;
  bool operator==(const ReadResult& o) const { return ch == o.ch && size == o.size; }
};

std::vector<ReadResult> ReadAll(TCustomUnicodeCodec& codec, const std::string& bytes) {
  TestByteSource source{bytes};
  source.Attach(codec);
  std::vector<ReadResult> out;
  for (int i = 0; i < 100; ++i) {
    ReadResult r{};
    codec.ReadUCS4Char(r.ch, r.size);
    out.push_back(r);
    if (r.ch == kUcs4EndOfInput) break;
  }
  codec.SetOnRead({});
  return out;
}

}  // namespace

TEST(UnicodeCodec, FoldsLineEndsOnlyWhenAsked) {
  auto codec = MakeCodec<TUTF8Codec>();
  std::vector<ReadResult> raw = {{'a', 1}, {0x0D, 1}, {0x0A, 1}, {'b', 1}, {0x0D, 1}, {'c', 1}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*codec, "a\r\nb\rc"), raw);
  codec->SetReadLFOption(1);
  std::vector<ReadResult> folded = {{'a', 1}, {0x0A, 2}, {'b', 1}, {0x0A, 1}, {'c', 1}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*codec, "a\r\nb\rc"), folded);
  std::vector<ReadResult> crcrlf = {{0x0A, 1}, {0x0A, 2}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*codec, "\r\r\n"), crcrlf);
  std::vector<ReadResult> crEnd = {{0x0A, 1}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*codec, "\r"), crEnd);
}

TEST(UnicodeCodec, ReplacingTheByteSourceClearsTheHeldCharacter) {
  auto codec = MakeCodec<TISO8859_1Codec>();
  codec->SetReadLFOption(1);
  TestByteSource first{"\rx"};
  first.Attach(*codec);
  UCS4Char ch;
  int32_t size;
  codec->ReadUCS4Char(ch, size);
  EXPECT_EQ(ch, 0x0Au);
  EXPECT_TRUE(codec->HasLookAhead());
  // Same code part, other object: the held character stays.
  TestByteSource same{"y"};
  same.Attach(*codec);
  EXPECT_TRUE(codec->HasLookAhead());
  codec->SetOnRead({});
  EXPECT_FALSE(codec->HasLookAhead());
  codec->ReadUCS4Char(ch, size);
  EXPECT_EQ(ch, kUcs4EndOfInput);
}

TEST(UnicodeCodec, WritesLineEndsByOption) {
  struct Case {
    uint8_t option;
    std::string bytes;
    int32_t size;
  };
  for (const Case& c : {Case{0, "\n", 1}, Case{1, "\r", 1}, Case{2, "\r\n", 2}}) {
    for (TUnicodeCodecClass cls : {CodecClassOf<TUTF8Codec>(), CodecClassOf<TWindows1252Codec>()}) {
      auto codec = CreateCodec(cls);
      TestByteSink sink;
      sink.Attach(*codec);
      codec->SetWriteLFOption(c.option);
      int32_t size = 0;
      codec->WriteUCS4Char(0x0A, size);
      EXPECT_EQ(sink.bytes, c.bytes) << cls->className;
      EXPECT_EQ(size, c.size);
    }
  }
}

TEST(UnicodeCodec, MarkersLieOutsideTheCharacterRange) {
  EXPECT_GT(kUcs4StartOfInput, kUcs4MaxCodePoint);
  EXPECT_GT(kUcs4EndOfInput, kUcs4MaxCodePoint);
  auto codec = MakeCodec<TUTF8Codec>();
  std::vector<ReadResult> expected = {{0x9C, 2}, {0x98, 2}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*codec, "\xC2\x9C\xC2\x98"), expected);
  auto latin = MakeCodec<TISO8859_1Codec>();
  std::vector<ReadResult> latinExpected = {{0x9C, 1}, {0x98, 1}, {kUcs4EndOfInput, 0}};
  EXPECT_EQ(ReadAll(*latin, "\x9C\x98"), latinExpected);
}

TEST(UnicodeCodec, ClassReferencesCreateAndInherit) {
  EXPECT_EQ(CreateCodec(nullptr), nullptr);
  EXPECT_EQ(CreateCodec(&TCustomSingleByteCodec::classInfo), nullptr);
  auto codec = CreateCodec(CodecClassOf<TIBM437Codec>());
  ASSERT_NE(codec, nullptr);
  EXPECT_EQ(codec->ClassType(), CodecClassOf<TIBM437Codec>());
  EXPECT_TRUE(CodecInheritsFrom(codec->ClassType(), &TCustomSingleByteCodec::classInfo));
  EXPECT_FALSE(CodecInheritsFrom(CodecClassOf<TUTF8Codec>(), &TCustomSingleByteCodec::classInfo));
  EXPECT_EQ(codec->ErrorAction(), eaRaise);
  EXPECT_EQ(codec->ReplacementChar(), u'\uFFFD');
}

TEST(EncodingAliases, FindClassesIgnoringAsciiCase) {
  struct Case {
    const char* name;
    TUnicodeCodecClass expected;
  };
  const Case cases[] = {
      {"utf-8", CodecClassOf<TUTF8Codec>()},          {"UTF8", CodecClassOf<TUTF8Codec>()},
      {"Utf16BE", CodecClassOf<TUTF16BECodec>()},     {"UTF-16", nullptr},
      {"macintosh", CodecClassOf<TMacLatin2Codec>()}, {"LATIN1", CodecClassOf<TISO8859_1Codec>()},
      {"ibm903", CodecClassOf<TUSASCIICodec>()},      {"EBCDIC", CodecClassOf<TEBCDIC_USCodec>()},
      {"", nullptr},                                  {"UTF-8 ", nullptr},
      {"\xC4\xB1so-8859-1", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(GetEncodingClass(c.name), c.expected) << c.name;
}

TEST(EncodingAliases, NameIsTheFirstAliasOfTheExactClass) {
  EXPECT_EQ(GetEncodingName(CodecClassOf<TUTF8Codec>()), "UTF-8");
  EXPECT_EQ(GetEncodingName(CodecClassOf<TUSASCIICodec>()), "ASCII");
  EXPECT_EQ(GetEncodingName(CodecClassOf<TISO8859_1Codec>()), "ISO-8859-1");
  EXPECT_EQ(GetEncodingName(CodecClassOf<TIBM037Codec>()), "");
  EXPECT_EQ(GetEncodingName(nullptr), "");
}

TEST(EncodingAliases, EncodeWideStr) {
  EXPECT_EQ(EncodeWideStr(CodecClassOf<TUSASCIICodec>(), u"UTF-8"), "UTF-8");
  EXPECT_EQ(EncodeWideStr(nullptr, u"x"), "");
  EXPECT_EQ(EncodeWideStr(CodecClassOf<TUTF8Codec>(), u"\u00E9"), "\xC3\xA9");
  EXPECT_THROW(EncodeWideStr(CodecClassOf<TUSASCIICodec>(), u"\u00E9"), EUnicodeCodecException);
}

TEST(UnicodeCodec, RaiseCodecErrorCarriesThePosition) {
  try {
    RaiseCodecErrorFmt("Invalid %s encoding", {"UTF-8"}, 7);
    ADD_FAILURE();
  } catch (const EUnicodeCodecException& e) {
    EXPECT_EQ(e.Message(), "Invalid UTF-8 encoding");
    EXPECT_EQ(e.ErrorPosition(), 7);
  }
  EXPECT_THROW(RaiseCodecError("x", 0), EUnicodeCodecException);
}
