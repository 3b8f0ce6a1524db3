#include "xml/Ucs4Reader.h"

#include <algorithm>

#include "xml/SingleByteCodec.h"
#include "xml/Utf8Codec.h"

TUtilsUCS4Reader::~TUtilsUCS4Reader() {
  if (bomReader != nullptr) SettleToNext();
  codec.reset();
  bomReader.reset();
}

void TUtilsUCS4Reader::Create(TStream* stream, int32_t bufSize, TUnicodeCodecClass defaultCodecClass,
                              int64_t initialByteNumber, int64_t initialCharNumber, int64_t initialColumn,
                              int64_t initialTabsInLine, int64_t initialLine) {
  bomReader.reset(New<TUtilsBOMReader>(stream, bufSize));
  start = TUtilsUCS4CharData();
  start.ByteNumber = initialByteNumber;
  start.CharNumber = initialCharNumber;
  start.CodePoint = kUcs4StartOfInput;
  start.Line = initialLine;
  start.Column = initialColumn;
  start.CharSize = 0;
  start.TabsInLine = initialTabsInLine;
  readLFOption = 1;
  startOffset = 0;
  TUnicodeCodecClass bomClass = bomReader->BomCodecClass();
  SetCurrentCodecClass(bomClass != nullptr ? bomClass : defaultCodecClass);
  Reset();
}

TUnicodeCodecClass TUtilsUCS4Reader::GetCurrentCodecClass() const {
  return codec != nullptr ? codec->ClassType() : nullptr;
}

int32_t TUtilsUCS4Reader::HandleCodecRead(TCustomUnicodeCodec*, void* buffer, int32_t count) {
  return bomReader->ReadUpTo(buffer, count);
}

void TUtilsUCS4Reader::SetCurrentCodecClass(TUnicodeCodecClass value) {
  DropAhead();
  codec.reset();
  utf8 = value == CodecClassOf<TUTF8Codec>();
  if (value == nullptr) return;
  codec = CreateCodec(value);
  if (codec == nullptr) return;
  codec->SetReadLFOption(readLFOption);
  codec->SetOnRead(MakeCodecReadEvent<&TUtilsUCS4Reader::HandleCodecRead>(this));
}

namespace {

// Folds CR LF and a lone CR into one LF (of the bytes of both) in the n
// characters decoded; a CR that ends them waits until its follower is
// known. Returns how many characters are left.
int32_t FoldLineEnds(UCS4Char* run, uint8_t* runSizes, int32_t n) {
  int32_t i = 0;
  while (i < n && run[i] != 0x0D) ++i;
  int32_t to = i;
  for (; i < n; ++i) {
    UCS4Char ch = run[i];
    int32_t size = runSizes[i];
    if (ch == 0x0D) {
      if (i + 1 == n) break;
      ch = 0x0A;
      if (run[i + 1] == 0x0A) size += runSizes[++i];
    }
    run[to] = ch;
    runSizes[to] = static_cast<uint8_t>(size);
    ++to;
  }
  return to;
}

}  // namespace

void TUtilsUCS4Reader::SetStartOffset(int64_t value) { startOffset = value; }


TUtilsUCS4CharData TUtilsUCS4Reader::RecordOf(int64_t mark) const {
  for (const TKept& k : kept) {
    if (k.mark == mark && k.resolved) return k.record;
  }
  return RecordAt(static_cast<int32_t>(mark - base));
}

TUtilsUCS4CharData TUtilsUCS4Reader::RecordAt(int32_t k) const {
  int32_t from = k < cur ? k : cur - 1;
  for (const TKept& h : kept) {
    if (!h.resolved && h.mark - base < from) from = static_cast<int32_t>(h.mark - base);
  }
  if (anchorAt < from) MoveAnchor(from);
  TCounters at = anchor;
  CountRange(at, anchorAt + 1, k);
  return at.Record();
}

void TUtilsUCS4Reader::MoveAnchor(int32_t k) const {
  int32_t from = anchorAt + 1;
  anchorAt = k;
  CountRange(anchor, from, k);
}

void TUtilsUCS4Reader::CountRange(TCounters& at, int32_t from, int32_t k) const {
  if (k < from) return;
  // Counted over the whole way first (no branch per character), then the
  // line's columns and tabs from its last line feed, when there is one.
  int32_t feeds = 0, tabs = 0;
  for (int32_t j = from; j <= k; ++j) {
    feeds += chars[j] == 0x0A;
    tabs += chars[j] == 0x09;
  }
  TUcs4SizeSums sums = SumUcs4Sizes(sizes, from, k + 1);
  int32_t count = k - from + 1 - sums.repeats;
  at.byteNumber += sums.bytes;
  at.charNumber += count;
  if (feeds == 0) {
    at.tabs += tabs;
    at.column += count - tabs;
  } else {
    at.line += feeds;
    at.tabs = 0;
    at.column = 0;
    for (int32_t j = k; chars[j] != 0x0A; --j) {
      if (sizes[j] == kRepeat) continue;
      if (chars[j] == 0x09) {
        at.tabs += 1;
      } else {
        at.column += 1;
      }
    }
  }
  // The code point and size of the last character that is not a repeat.
  for (int32_t j = k; j >= from; --j) {
    if (sizes[j] != kRepeat) {
      at.codePoint = chars[j];
      at.charSize = sizes[j];
      break;
    }
  }
}

void TUtilsUCS4Reader::RaiseDecodingError(const EConvertError& e) const {
  // The undecodable character counts as one more character of its line.
  TUtilsUCS4CharData where = RecordAt(filled - 1);
  where.CharNumber += 1;
  where.CodePoint = 0;
  where.CharSize = 0;
  where.Column += 1;
  throw EDecodingError(e.Message(), where);
}

void TUtilsUCS4Reader::Settle(int32_t k) {
  if (k <= settledAt) return;
  int64_t target = settledByteNumber + SumUcs4Sizes(sizes, settledAt + 1, k + 1).bytes;
  settledAt = k;
  if (target == settledByteNumber) return;
  bomReader->SkipBuffered(static_cast<int32_t>(target - settledByteNumber));
  settledByteNumber = target;
}

void TUtilsUCS4Reader::ReadAhead() {
  if (codec == nullptr) throw EParserUtilsException("No encoding selected.");
  // Every entry decoded so far is now taken from the byte reader.
  Settle(filled - 1);
  if (filled + 1 >= kRingLength) {
    // Keep the previous, current and next characters (and any after them); move them to the front.
    int32_t first = cur - 1;
    // The earlier mark first: the anchor moves on to each in turn.
    int order = kept[1].mark < kept[0].mark ? 1 : 0;
    for (TKept* k : {&kept[order], &kept[1 - order]}) {
      if (!k->resolved && k->mark - base < first) {
        k->record = RecordAt(static_cast<int32_t>(k->mark - base));
        k->resolved = true;
      }
    }
    MoveAnchor(first);
    base += first;
    std::copy(chars + first, chars + filled, chars);
    std::copy(sizes + first, sizes + filled, sizes);
    filled -= first;
    cur -= first;
    anchorAt -= first;
    settledAt -= first;
  }
  if (chars[filled - 1] == kUcs4EndOfInput) {
    Append(kUcs4EndOfInput, kRepeat);  // the end stays ahead
    return;
  }
  if (!codec->HasLookAhead()) {
    const uint8_t* data;
    int32_t available = bomReader->BufferedBytes(data);
    int32_t limit = kRingLength - filled;
    int32_t n = 0;
    if (utf8) {
      // Runs of ASCII other than CR go in as they are (one byte, one
      // character); the characters between them are decoded one by one.
      int32_t pos = 0;
      while (n < limit && pos < available) {
        int32_t run = DecodeAsciiRun(data + pos, std::min(available - pos, limit - n), chars + filled + n,
                                     sizes + filled + n);
        n += run;
        pos += run;
        if (n == limit || pos == available) break;
        // A CR is decoded with its follower, so that CR LF folds.
        int32_t want = std::min(data[pos] == 0x0D ? 2 : 1, limit - n);
        int32_t m = codec->DecodeRun(data + pos, available - pos, chars + filled + n, sizes + filled + n, want);
        if (m > 0 && readLFOption == 1) m = FoldLineEnds(chars + filled + n, sizes + filled + n, m);
        if (m == 0) break;
        for (int32_t i = 0; i < m; ++i) pos += sizes[filled + n + i];
        n += m;
      }
    } else {
      n = codec->DecodeRun(data, available, chars + filled, sizes + filled, limit);
      if (n > 0 && readLFOption == 1) n = FoldLineEnds(chars + filled, sizes + filled, n);
    }
    if (n > 0) {
      filled += n;
      return;
    }
  }
  UCS4Char ch = 0;
  int32_t size = 0;
  try {
    codec->ReadUCS4Char(ch, size);
  } catch (const EDecodingError&) {
    throw;
  } catch (const EConvertError& e) {
    RaiseDecodingError(e);
  }
  // A byte the code page leaves undefined is read as U+FFFF, which is no
  // character of a document: an error at its place, naming the byte.
  if (ch == 0xFFFF) {
    if (auto* singleByte = dynamic_cast<TCustomSingleByteCodec*>(codec.get());
        singleByte != nullptr && singleByte->UndefinedByte() >= 0)
      RaiseDecodingError(EConvertError(singleByte->UndefinedByteMessage()));
  }
  Append(ch, size);
  // The codec took its bytes from the byte reader itself.
  settledAt = filled - 1;
  settledByteNumber += size;
}

void TUtilsUCS4Reader::Next() { Step(); }

void TUtilsUCS4Reader::StepRun(const TUcs4StopSet& stops, std::u16string& out) {
  for (;;) {
    // The characters decoded ahead first: those before the last one can be
    // stepped onto (each has a next one). A pair takes the general way.
    char16_t run[kRingLength + 8];
    int32_t j = CopyUcs4Run(chars, cur + 1, filled - 1, stops, run);
    if (j > cur + 1) out.append(run, j - cur - 1);
    cur = j - 1;
    UCS4Char c = chars[j];
    if (stops.Has(c)) return;
    Step();
    AppendUcs4AsUtf16(out, c);
  }
}

UCS4Char TUtilsUCS4Reader::StepTag(std::u16string& out) {
  static constexpr TUcs4StopSet kOutside(u"/>\"'");
  static constexpr TUcs4StopSet kInDouble(u"\"");
  static constexpr TUcs4StopSet kInSingle(u"'");
  UCS4Char quote = 0;
  auto passQuote = [&quote](UCS4Char c) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    }
  };
  for (;;) {
    // As in StepRun, through the characters decoded ahead, quoted values
    // and the text between them alike.
    int32_t last = filled - 1;
    int32_t j = cur + 1;
    char16_t run[kRingLength + 8];
    for (;;) {
      if (quote == 0) {
        j = CopyUcs4Run(chars, j, last, kOutside, run + (j - cur - 1));
        if (j >= last || (chars[j] != '"' && chars[j] != '\'')) break;
        quote = chars[j];
        run[j++ - cur - 1] = static_cast<char16_t>(quote);
      } else {
        j = CopyUcs4Run(chars, j, last, quote == '"' ? kInDouble : kInSingle, run + (j - cur - 1));
        if (j >= last || chars[j] != quote) break;
        run[j++ - cur - 1] = static_cast<char16_t>(quote);
        quote = 0;
      }
    }
    if (j > cur + 1) out.append(run, j - cur - 1);
    cur = j - 1;
    UCS4Char c = chars[j];
    if (c == kUcs4EndOfInput) return quote;
    if (quote == 0 && (c == '/' || c == '>')) return 0;
    Step();
    AppendUcs4AsUtf16(out, c);
    passQuote(c);
  }
}

void TUtilsUCS4Reader::KeepLineEnds() {
  readLFOption = 0;
  if (codec != nullptr) codec->SetReadLFOption(readLFOption);
  Reset();
}

void TUtilsUCS4Reader::Reset() {
  if (codec != nullptr) codec->ClearLookAhead();
  bomReader->Seek(startOffset);
  for (int32_t j = 0; j < 3; ++j) {
    chars[j] = start.CodePoint;
    sizes[j] = kRepeat;
  }
  anchor = TCounters::Of(start);
  anchorAt = 0;
  base = 0;
  kept[0] = TKept();
  kept[1] = TKept();
  settledAt = 1;
  settledByteNumber = start.ByteNumber;
  cur = 1;
  filled = 2;
  if (codec == nullptr) {
    filled = 3;
    return;
  }
  ReadAhead();
}

bool TUtilsUCS4Reader::Match(std::u16string_view s) {
  for (char16_t unit : s) {
    Step();
    if (chars[cur] != unit) return false;
  }
  return true;
}

int64_t TUtilsUCS4Reader::SkipNext(std::u16string_view chars_) {
  int64_t count = 0;
  for (;;) {
    Step();
    UCS4Char ch = chars[cur];
    if (ch == kUcs4EndOfInput || ch > 0xFFFF ||
        chars_.find(static_cast<char16_t>(ch)) == std::u16string_view::npos) {
      return count;
    }
    ++count;
  }
}
