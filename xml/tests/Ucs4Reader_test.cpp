#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/StringStream.h"
#include "xml/UnicodeCodecs.h"
#include "xml/Ucs4Reader.h"

namespace {

struct ReaderFixture {
  TStringStream stream;
  std::unique_ptr<TUtilsUCS4Reader> reader;
  explicit ReaderFixture(std::string bytes, TUnicodeCodecClass defaultClass = CodecClassOf<TUTF8Codec>(),
                         int32_t bufSize = 1024, int64_t line = 1)
      : stream(std::move(bytes)) {
    reader.reset(New<TUtilsUCS4Reader>(&stream, bufSize, defaultClass, 0, 0, 0, 0, line));
  }
  // Every character up to the end marker.
  std::vector<UCS4Char> All() {
    std::vector<UCS4Char> out;
    for (reader->Next(); !reader->GetEof(); reader->Next()) out.push_back(reader->Current().CodePoint);
    return out;
  }
};

std::unique_ptr<TUtilsBOMReader> BomReaderOver(TStream& stream) {
  return std::unique_ptr<TUtilsBOMReader>(New<TUtilsBOMReader>(&stream, 1024));
}

}  // namespace

TEST(BomReader, DetectsMarks) {
  struct Case {
    std::string bytes;
    TUnicodeCodecClass cls;
    int32_t length;
  };
  const Case cases[] = {
      {std::string("\x00\x00\xFE\xFF", 4), CodecClassOf<TUCS4BECodec>(), 4},
      {std::string("\x00\x00\xFF\xFE", 4), CodecClassOf<TUCS4_2143Codec>(), 4},
      {"\xEF\xBB\xBF<", CodecClassOf<TUTF8Codec>(), 3},
      {std::string("\xFE\xFF\x00\x00", 4), CodecClassOf<TUCS4_3412Codec>(), 4},
      {std::string("\xFE\xFF\x00\x41", 4), CodecClassOf<TUTF16BECodec>(), 2},
      {"\xFE\xFF", CodecClassOf<TUTF16BECodec>(), 2},
      {std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), CodecClassOf<TUCS4LECodec>(), 4},
      {std::string("\xFF\xFE\x41\x00", 4), CodecClassOf<TUTF16LECodec>(), 2},
      {"\xEF\xBB", nullptr, 0},
      {"<?xml", nullptr, 0},
      {"<", nullptr, 0},
      {"", nullptr, 0},
  };
  for (const Case& c : cases) {
    TStringStream stream(c.bytes);
    auto reader = BomReaderOver(stream);
    EXPECT_EQ(reader->BomCodecClass(), c.cls) << testing::PrintToString(c.bytes);
    EXPECT_EQ(reader->BomLength(), c.length);
    EXPECT_EQ(stream.Position(), c.length);
    EXPECT_EQ(reader->GetPosition(), 0);
  }
}

TEST(BomReader, BufferedReadsAndPositions) {
  TStringStream stream("\xEF\xBB\xBF" "abcdefgh");
  auto reader = std::unique_ptr<TUtilsBOMReader>(New<TUtilsBOMReader>(&stream, 3));
  char buf[8] = {};
  ASSERT_TRUE(reader->Read(buf, 2));
  EXPECT_EQ(std::string(buf, 2), "ab");
  ASSERT_TRUE(reader->Read(buf, 2));  // straddles the buffer's end
  EXPECT_EQ(std::string(buf, 2), "cd");
  EXPECT_EQ(reader->GetPosition(), 4);
  ASSERT_TRUE(reader->Read(buf, 4));  // larger than the buffer
  EXPECT_EQ(std::string(buf, 4), "efgh");
  EXPECT_FALSE(reader->Read(buf, 1));
  reader->Seek(6);
  EXPECT_EQ(reader->ReadUpTo(buf, 4), 2);
  EXPECT_EQ(std::string(buf, 2), "gh");
  reader->Seek(1);
  ASSERT_TRUE(reader->Read(buf, 1));
  reader.reset();  // gives the unread buffered bytes back
  EXPECT_EQ(stream.Position(), 3 + 2);
  EXPECT_THROW(New<TUtilsBOMReader>(nullptr, 16), EParserUtilsException);
}

TEST(Ucs4Reader, StartRecordAndFirstCharacter) {
  ReaderFixture f("\xEF\xBB\xBF<a");
  EXPECT_EQ(f.reader->GetBomEncodingClass(), CodecClassOf<TUTF8Codec>());
  EXPECT_EQ(f.reader->Current().CodePoint, kUcs4StartOfInput);
  EXPECT_EQ(f.reader->NextRecord().CodePoint, u'<');
  f.reader->Next();
  EXPECT_EQ(f.reader->Current().CodePoint, u'<');
  EXPECT_EQ(f.reader->Current().ByteNumber, 1);
  EXPECT_EQ(f.reader->Current().CharNumber, 1);
  EXPECT_EQ(f.reader->Previous().CodePoint, kUcs4StartOfInput);
}

TEST(Ucs4Reader, MarkWinsOverTheDefaultCodec) {
  ReaderFixture f(std::string("\xFF\xFE" "A\x00\xE9\x00", 6), CodecClassOf<TISO8859_1Codec>());
  EXPECT_EQ(f.reader->GetCurrentCodecClass(), CodecClassOf<TUTF16LECodec>());
  EXPECT_EQ(f.All(), (std::vector<UCS4Char>{'A', 0xE9}));
}

TEST(Ucs4Reader, EmptyInput) {
  ReaderFixture f("");
  EXPECT_FALSE(f.reader->GetEof());
  EXPECT_EQ(f.reader->NextRecord().CodePoint, kUcs4EndOfInput);
  f.reader->Next();
  EXPECT_TRUE(f.reader->GetEof());
  f.reader->Next();
  EXPECT_TRUE(f.reader->GetEof());
  EXPECT_EQ(f.reader->Current().CharNumber, 1);
}

TEST(Ucs4Reader, LinesColumnsAndTabs) {
  ReaderFixture f("a\r\nb\n\tc");
  struct Expect {
    UCS4Char ch;
    int64_t line, column, tabs, bytes, size;
  };
  const Expect expected[] = {
      {'a', 1, 1, 0, 1, 1},  {0x0A, 2, 0, 0, 3, 2}, {'b', 2, 1, 0, 4, 1},
      {0x0A, 3, 0, 0, 5, 1}, {0x09, 3, 0, 1, 6, 1}, {'c', 3, 1, 1, 7, 1},
  };
  for (const Expect& e : expected) {
    f.reader->Next();
    const TUtilsUCS4CharData& r = f.reader->Current();
    EXPECT_EQ(r.CodePoint, e.ch);
    EXPECT_EQ(r.Line, e.line) << char(e.ch);
    EXPECT_EQ(r.Column, e.column) << char(e.ch);
    EXPECT_EQ(r.TabsInLine, e.tabs) << char(e.ch);
    EXPECT_EQ(r.ByteNumber, e.bytes) << char(e.ch);
    EXPECT_EQ(r.CharSize, e.size) << char(e.ch);
  }
  f.reader->Next();
  EXPECT_TRUE(f.reader->GetEof());
  EXPECT_EQ(f.reader->Current().CharSize, 0);
}

TEST(Ucs4Reader, U009CAndU0098AreCharactersNotMarkers) {
  ReaderFixture utf8("\xC2\x9C" "x\xC2\x98");
  EXPECT_EQ(utf8.All(), (std::vector<UCS4Char>{0x9C, 'x', 0x98}));
  ReaderFixture latin1("\x9C\x98y", CodecClassOf<TISO8859_1Codec>());
  EXPECT_EQ(latin1.All(), (std::vector<UCS4Char>{0x9C, 0x98, 'y'}));
}

TEST(Ucs4Reader, ResetForgetsAHeldBackCharacter) {
  ReaderFixture f("\rx", CodecClassOf<TUTF8Codec>(), 1024);
  f.reader->Next();  // LF; the codec now holds x back
  EXPECT_EQ(f.reader->Current().CodePoint, 0x0Au);
  f.reader->SetStartOffset(1);
  f.reader->Reset();
  EXPECT_EQ(f.All(), std::vector<UCS4Char>{'x'});
  f.reader->SetStartOffset(0);
  f.reader->Reset();
  EXPECT_EQ(f.All(), (std::vector<UCS4Char>{0x0A, 'x'}));
}

TEST(Ucs4Reader, TruncatedUnitsAreReported) {
  ReaderFixture odd(std::string("\xFF\xFE" "A\x00" "B", 5));
  EXPECT_EQ(odd.reader->NextRecord().CodePoint, u'A');
  EXPECT_THROW(odd.reader->Next(), EConvertError);  // reading the character after A
  EXPECT_EQ(odd.reader->Current().CodePoint, kUcs4StartOfInput);  // not advanced by the failing call
  EXPECT_EQ(odd.reader->NextRecord().CodePoint, u'A');
  ReaderFixture ucs4(std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41\x00\x00", 10));
  EXPECT_THROW(ucs4.reader->Next(), EConvertError);
}

TEST(Ucs4Reader, DecodesAcrossBufferBoundaries) {
  std::string text;
  std::vector<UCS4Char> expected;
  for (int i = 0; i < 300; ++i) {
    text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
    expected.insert(expected.end(), {'a', 0xE9, 0x20AC, 0x1F600, 0x0A});
  }
  for (int32_t bufSize : {1, 2, 3, 5, 7, 1024}) {
    ReaderFixture f(text, CodecClassOf<TUTF8Codec>(), bufSize);
    EXPECT_EQ(f.All(), expected) << bufSize;
    EXPECT_EQ(f.reader->Current().ByteNumber, static_cast<int64_t>(text.size()));
  }
}

TEST(Ucs4Reader, MatchAndSkipNext) {
  ReaderFixture f("xmx");
  EXPECT_TRUE(f.reader->Match(u""));
  EXPECT_FALSE(f.reader->Match(u"xml"));
  EXPECT_EQ(f.reader->Current().CharNumber, 3);
  ReaderFixture g("   \t\n<");
  EXPECT_EQ(g.reader->SkipNext(u" \t\n"), 5);
  EXPECT_EQ(g.reader->Current().CodePoint, u'<');
  EXPECT_EQ(g.reader->SkipNext(u" "), 0);
  EXPECT_TRUE(g.reader->GetEof());
}

TEST(Ucs4Reader, SkipsMegabytesWithoutRecursion) {
  ReaderFixture f(std::string(4 << 20, ' ') + "x", CodecClassOf<TUTF8Codec>(), 4096);
  EXPECT_EQ(f.reader->SkipNext(u" "), 4 << 20);
  EXPECT_EQ(f.reader->Current().CodePoint, u'x');
}

TEST(Ucs4Reader, NoCodecIsAClearError) {
  ReaderFixture f("abc", nullptr);
  EXPECT_EQ(f.reader->GetCurrentCodecClass(), nullptr);
  EXPECT_THROW(f.reader->Next(), EParserUtilsException);
  f.reader->SetCurrentCodecClass(CodecClassOf<TUSASCIICodec>());
  f.reader->Reset();
  EXPECT_EQ(f.All(), (std::vector<UCS4Char>{'a', 'b', 'c'}));
}

TEST(Ucs4Reader, DestructionGivesUnreadBytesBack) {
  TStringStream stream("abcdef");
  auto reader = std::unique_ptr<TUtilsUCS4Reader>(
      New<TUtilsUCS4Reader>(&stream, 1024, CodecClassOf<TUTF8Codec>(), 0, 0, 0, 0, 1));
  reader->Next();
  reader.reset();
  EXPECT_EQ(stream.Position(), 2);  // the current and the look-ahead character were consumed
}

TEST(Ucs4Reader, SwitchingCodecsDropsCharactersDecodedAhead) {
  ReaderFixture f("abc\xC3\xA9\r\n\xC3\xA9", CodecClassOf<TISO8859_1Codec>());
  f.reader->Next();
  EXPECT_EQ(f.reader->Current().CodePoint, u'a');
  f.reader->SetCurrentCodecClass(CodecClassOf<TUTF8Codec>());
  EXPECT_EQ(f.All(), (std::vector<UCS4Char>{'b', 'c', 0xE9, 0x0A, 0xE9}));
  EXPECT_EQ(f.reader->Current().ByteNumber, 9);
  // Starting over after the first two bytes with the new codec.
  f.reader->SetStartOffset(2);
  f.reader->Reset();
  EXPECT_EQ(f.All(), (std::vector<UCS4Char>{'c', 0xE9, 0x0A, 0xE9}));
}

// StepRun and StepTag step through runs decoded ahead without working out
// a record for each character. Random byte streams (text with
// line ends, tabs, the markup characters, characters of every length and
// malformed units) are read by two readers side by side: one with StepRun
// or StepTag,
// one stepping a character at a time with Next. Both must see the same
// characters, the same previous, current and next records after every
// step, the same errors at the same places, and leave the same bytes
// unread.
namespace {

void ExpectSameRecord(const TUtilsUCS4CharData& a, const TUtilsUCS4CharData& b, const char* which) {
  EXPECT_EQ(a.ByteNumber, b.ByteNumber) << which;
  EXPECT_EQ(a.CharNumber, b.CharNumber) << which;
  EXPECT_EQ(a.CodePoint, b.CodePoint) << which;
  EXPECT_EQ(a.Line, b.Line) << which;
  EXPECT_EQ(a.Column, b.Column) << which;
  EXPECT_EQ(a.CharSize, b.CharSize) << which;
  EXPECT_EQ(a.TabsInLine, b.TabsInLine) << which;
}

// The reference run: Next one character at a time.
void StepRunByHand(TUtilsUCS4Reader& reader, std::u16string_view stops, std::u16string& out) {
  for (;;) {
    UCS4Char c = reader.NextRecord().CodePoint;
    if (c == kUcs4EndOfInput || (c < 128 && stops.find(static_cast<char16_t>(c)) != std::u16string_view::npos)) return;
    reader.Next();
    AppendUcs4AsUtf16(out, c);
  }
}

// The same for the rest of a tag: quoted values run to their quote.
UCS4Char StepTagByHand(TUtilsUCS4Reader& reader, std::u16string& out) {
  UCS4Char quote = 0;
  for (;;) {
    UCS4Char c = reader.NextRecord().CodePoint;
    if (c == kUcs4EndOfInput) return quote;
    if (quote == 0 && (c == '/' || c == '>')) return 0;
    reader.Next();
    AppendUcs4AsUtf16(out, c);
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    }
  }
}

// The tests' own small generator: the same texts on every platform.
uint32_t NextRandom(uint32_t& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

std::string RandomBytes(uint32_t& seed, bool utf16) {
  auto next = [&] { return NextRandom(seed); };
  static const char* const pieces[] = {"a", "b", " ", "\r", "\n", "\r\n", "\t", "&", "<", "/", ">", "'", "\"",
                                       "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFF", "\x80", "\xC3"};
  std::string out;
  // Some longer than the reader decodes ahead.
  size_t count = next() % 8 == 0 ? 1000 + next() % 2000 : next() % 400;
  for (size_t i = 0; i < count; ++i) {
    if (utf16) {
      // Units of every kind, lone surrogates included.
      static const uint16_t units[] = {'a', ' ', '\r', '\n', '\t', '&', '<', '>', '"', 0xE9, 0xD83D, 0xDE00, 0xFFFE};
      uint16_t u = next() % 3 ? units[next() % 9] : units[next() % std::size(units)];
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    } else {
      out += next() % 4 ? pieces[next() % 13] : pieces[next() % std::size(pieces)];
    }
  }
  if (utf16 && next() % 8 == 0) out.push_back('x');  // a truncated unit
  return out;
}

}  // namespace

TEST(Ucs4Reader, StepRunMatchesStepByStep) {
  const std::u16string_view stopSets[] = {u"&<", u"/>'\"", u"'", u"\"", u"\n", u"\t ", u"", u"&<>=\"'a"};
  uint32_t seed = 99;
  auto next = [&] { return NextRandom(seed); };
  int rounds = std::getenv("QV_LONG") != nullptr ? 20000 : 1500;
  for (int round = 0; round < rounds; ++round) {
    bool utf16 = next() % 3 == 0;
    std::string bytes = RandomBytes(seed, utf16);
    TUnicodeCodecClass codec = utf16 ? CodecClassOf<TUTF16LECodec>() : CodecClassOf<TUTF8Codec>();
    int32_t bufSize = static_cast<int32_t>(next() % 2 ? 1 + next() % 9 : 64 + next() % 300);
    TStringStream fastStream(bytes), slowStream(bytes);
    std::unique_ptr<TUtilsUCS4Reader> fast, slow;
    try {
      // The first character is read at once: it may be the fault.
      slow.reset(New<TUtilsUCS4Reader>(&slowStream, bufSize, codec, 0, 0, 0, 0, 1));
    } catch (const EConvertError&) {
      continue;
    }
    fast.reset(New<TUtilsUCS4Reader>(&fastStream, bufSize, codec, 0, 0, 0, 0, 1));
    SCOPED_TRACE("round " + std::to_string(round));
    for (int op = 0; op < 200 && !slow->GetEof(); ++op) {
      std::u16string fastText, slowText;
      std::string fastError, slowError;
      TUtilsUCS4CharData fastWhere, slowWhere;
      int kind = static_cast<int>(next() % 5);  // 0 a single step, 1 a tag, else a run
      std::u16string_view stops = stopSets[next() % std::size(stopSets)];
      TUcs4StopSet stopSet(stops);
      UCS4Char fastQuote = 0, slowQuote = 0;
      try {
        if (kind == 0) {
          slow->Next();
        } else if (kind == 1) {
          slowQuote = StepTagByHand(*slow, slowText);
        } else {
          StepRunByHand(*slow, stops, slowText);
        }
      } catch (const EDecodingError& e) {
        slowError = e.Message();
        slowWhere = e.Where();
      }
      try {
        if (kind == 0) {
          fast->Step();
        } else if (kind == 1) {
          fastQuote = fast->StepTag(fastText);
        } else {
          fast->StepRun(stopSet, fastText);
        }
      } catch (const EDecodingError& e) {
        fastError = e.Message();
        fastWhere = e.Where();
      }
      ASSERT_EQ(fastError, slowError);
      ASSERT_EQ(fastQuote, slowQuote);
      if (!slowError.empty()) {
        ExpectSameRecord(fastWhere, slowWhere, "error");
        break;
      }
      ASSERT_EQ(fastText, slowText);
      ExpectSameRecord(fast->Previous(), slow->Previous(), "previous");
      ExpectSameRecord(fast->Current(), slow->Current(), "current");
      ExpectSameRecord(fast->NextRecord(), slow->NextRecord(), "next");
      if (::testing::Test::HasFailure()) return;
    }
    fast.reset();
    slow.reset();
    ASSERT_EQ(fastStream.Position(), slowStream.Position());
  }
}

namespace {

// The records of well-formed UTF-8 as a model decodes them, one character at
// a time by itself: byte and character numbers, lines, columns, tabs and
// sizes, with CR LF and a lone CR read as LF.
std::vector<TUtilsUCS4CharData> Utf8Model(const std::string& bytes) {
  std::vector<TUtilsUCS4CharData> model;
  TUtilsUCS4CharData at;
  at.Line = 1;
  for (size_t i = 0; i < bytes.size();) {
    uint8_t lead = static_cast<uint8_t>(bytes[i]);
    int size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    UCS4Char c = size == 1 ? lead : lead & (0x3F >> (size - 1));
    for (int k = 1; k < size; ++k) c = (c << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
    if (c == 0x0D) {
      c = 0x0A;
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') size = 2;
    }
    i += size;
    at.ByteNumber += size;
    at.CharNumber += 1;
    at.CodePoint = c;
    at.CharSize = size;
    if (c == 0x0A) {
      at.Line += 1;
      at.Column = 0;
      at.TabsInLine = 0;
    } else if (c == 0x09) {
      at.TabsInLine += 1;
    } else {
      at.Column += 1;
    }
    model.push_back(at);
  }
  return model;
}

const char* const kModelPieces[] = {"a", "Z", " ", "\r", "\n", "\r\n", "\t", "<", "&", "\xC3\xA9",
                                    "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x7F"};

// count pieces of well-formed UTF-8, mostly the first three.
std::string ModelText(uint32_t& seed, size_t count) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes += NextRandom(seed) % 3 ? kModelPieces[NextRandom(seed) % 3]
                                  : kModelPieces[NextRandom(seed) % std::size(kModelPieces)];
  }
  return bytes;
}

}  // namespace

// The records of well-formed UTF-8 against the model. Random texts (some
// longer than the reader looks ahead), random buffer sizes, read with Next
// and with StepRun.
TEST(Ucs4Reader, Utf8RecordsMatchAModel) {
  uint32_t seed = 31;
  auto next = [&] { return NextRandom(seed); };
  for (int round = 0; round < 800; ++round) {
    size_t count = round % 16 == 0 ? 1500 + next() % 3000 : next() % 300;
    std::string bytes = ModelText(seed, count);
    std::vector<TUtilsUCS4CharData> model = Utf8Model(bytes);
    int32_t bufSize = static_cast<int32_t>(next() % 2 ? 1 + next() % 9 : 64 + next() % 300);
    bool runs = next() % 2 == 0;
    ReaderFixture f(bytes, CodecClassOf<TUTF8Codec>(), bufSize);
    SCOPED_TRACE("round " + std::to_string(round) + (runs ? " runs" : " steps"));
    // After every move, the three records are the model's at their places.
    auto check = [&] {
      int64_t k = f.reader->Current().CharNumber;
      ASSERT_GE(k, 1);
      ASSERT_LE(k, static_cast<int64_t>(model.size()));
      ExpectSameRecord(f.reader->Current(), model[k - 1], "current");
      if (k >= 2) ExpectSameRecord(f.reader->Previous(), model[k - 2], "previous");
      if (k < static_cast<int64_t>(model.size())) ExpectSameRecord(f.reader->NextRecord(), model[k], "next");
    };
    std::u16string text;
    for (;;) {
      if (runs && !model.empty()) {
        f.reader->StepRun(TUcs4StopSet(u"<&"), text);
        if (f.reader->Current().CodePoint != kUcs4StartOfInput) check();
        if (::testing::Test::HasFailure()) return;
      }
      f.reader->Next();
      if (f.reader->GetEof()) break;
      check();
      if (::testing::Test::HasFailure()) return;
    }
    ASSERT_EQ(f.reader->Current().ByteNumber, static_cast<int64_t>(bytes.size()));
    ASSERT_EQ(f.reader->Current().CharNumber, static_cast<int64_t>(model.size()) + 1);
  }
}

// Places marked as the reader moves on and kept in its two slots give the
// model's records whenever they are asked for, however far the reader has
// moved since (past what it looks ahead) and whether or not other records
// were asked for in between.
TEST(Ucs4Reader, KeptMarksMatchAModel) {
  uint32_t seed = 77;
  auto next = [&] { return NextRandom(seed); };
  for (int round = 0; round < 300; ++round) {
    size_t count = 200 + next() % 6000;
    std::string bytes = ModelText(seed, count);
    std::vector<TUtilsUCS4CharData> model = Utf8Model(bytes);
    int32_t bufSize = static_cast<int32_t>(next() % 2 ? 1 + next() % 9 : 64 + next() % 5000);
    ReaderFixture f(bytes, CodecClassOf<TUTF8Codec>(), bufSize);
    SCOPED_TRACE("round " + std::to_string(round));
    int64_t at = 0;  // characters consumed: the current one's number
    struct Slot {
      int64_t mark = -1;
      int64_t index = 0;  // the character it stands for
    } slots[2];
    auto expectKept = [&](const Slot& slot) {
      if (slot.mark >= 0) ExpectSameRecord(f.reader->RecordOf(slot.mark), model[slot.index - 1], "kept");
    };
    const int64_t size = static_cast<int64_t>(model.size());
    while (at < size) {
      switch (next() % 6) {
        case 0:
        case 1: {
          std::u16string text;
          f.reader->StepRun(TUcs4StopSet(next() % 2 ? u"<" : u"\n"), text);
          for (char16_t unit : text) at += (unit & 0xFC00) != 0xDC00;
          break;
        }
        case 2: {
          int steps = static_cast<int>(next() % 40);
          for (int i = 0; i < steps && at < size; ++i, ++at) f.reader->Next();
          break;
        }
        case 3: {
          // Mark the previous, current or next character, when it is one.
          int32_t which = static_cast<int32_t>(next() % 3) - 1;
          if (at + which < 1 || at + which > size) break;
          Slot& slot = slots[next() % 2];
          slot.mark = f.reader->Mark(which);
          slot.index = at + which;
          f.reader->Keep(static_cast<int32_t>(&slot - slots), slot.mark);
          break;
        }
        case 4:
          expectKept(slots[next() % 2]);
          break;
        case 5:
          if (at >= 1) ExpectSameRecord(f.reader->Current(), model[at - 1], "current");
          break;
      }
      if (::testing::Test::HasFailure()) return;
    }
    expectKept(slots[0]);
    expectKept(slots[1]);
  }
}
