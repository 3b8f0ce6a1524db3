#include "xml/Ucs4Reader.h"

#include <algorithm>

#include "xml/SingleByteCodec.h"
#include "xml/Utf8Codec.h"

TUtilsUCS4Reader::~TUtilsUCS4Reader() {
  if (bomReader != nullptr) Settle();
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

void TUtilsUCS4Reader::SetStartOffset(int64_t value) { startOffset = value; }

namespace {

// Moves the line, column and tab counters past the character `ch`.
inline void Advance(UCS4Char ch, int64_t& line, int64_t& column, int64_t& tabs) {
  if (ch == 0x0A) {
    line += 1;
    column = 0;
    tabs = 0;
  } else if (ch == 0x09) {
    tabs += 1;
  } else {
    column += 1;
  }
}

// The record of the character `ch` of `size` bytes that follows `from`.
inline TUtilsUCS4CharData RecordAfter(const TUtilsUCS4CharData& from, UCS4Char ch, int32_t size) {
  TUtilsUCS4CharData r;
  r.ByteNumber = from.ByteNumber + size;
  r.CharNumber = from.CharNumber + 1;
  r.CodePoint = ch;
  r.CharSize = size;
  r.Line = from.Line;
  r.Column = from.Column;
  r.TabsInLine = from.TabsInLine;
  Advance(ch, r.Line, r.Column, r.TabsInLine);
  return r;
}

}  // namespace

void TUtilsUCS4Reader::AppendRecord(UCS4Char ch, int32_t size) {
  ring[filled] = RecordAfter(ring[filled - 1], ch, size);
  ++filled;
}

void TUtilsUCS4Reader::RaiseDecodingError(const EConvertError& e) const {
  // The undecodable character counts as one more character of its line.
  TUtilsUCS4CharData where = ring[filled - 1];
  where.CharNumber += 1;
  where.CodePoint = 0;
  where.CharSize = 0;
  where.Column += 1;
  throw EDecodingError(e.Message(), where);
}

void TUtilsUCS4Reader::Settle() {
  int64_t target = cur[1].ByteNumber;
  if (target == settledByteNumber) return;
  bomReader->SkipBuffered(static_cast<int32_t>(target - settledByteNumber));
  settledByteNumber = target;
}

void TUtilsUCS4Reader::ReadAhead() {
  if (codec == nullptr) throw EParserUtilsException("No encoding selected.");
  if (filled + 1 >= kRingLength) {
    // Keep the previous, current and next records; move them to the front.
    int32_t first = static_cast<int32_t>(cur - ring) - 1;
    for (int32_t i = first; i < filled; ++i) ring[i - first] = ring[i];
    filled -= first;
    cur = ring + 1;
  }
  if (ring[filled - 1].CodePoint == kUcs4EndOfInput) {
    ring[filled] = ring[filled - 1];  // the end stays ahead
    ++filled;
    return;
  }
  Settle();
  if (!codec->HasLookAhead()) {
    const uint8_t* data;
    int32_t available = bomReader->BufferedBytes(data);
    if (utf8 && available > 0 && data[0] < 0x80 && data[0] != 0x0D) {
      // ASCII other than CR: one byte, one character, no decoding.
      const TUtilsUCS4CharData& last = ring[filled - 1];
      int64_t byteNumber = last.ByteNumber;
      int64_t charNumber = last.CharNumber;
      int64_t line = last.Line;
      int64_t column = last.Column;
      int64_t tabs = last.TabsInLine;
      int32_t limit = std::min(available, kRingLength - filled);
      int32_t count = 0;
      for (; count < limit; ++count) {
        uint8_t ch = data[count];
        if (ch >= 0x80 || ch == 0x0D) break;
        Advance(ch, line, column, tabs);
        TUtilsUCS4CharData& r = ring[filled + count];
        r.ByteNumber = ++byteNumber;
        r.CharNumber = ++charNumber;
        r.CodePoint = ch;
        r.Line = line;
        r.Column = column;
        r.CharSize = 1;
        r.TabsInLine = tabs;
      }
      filled += count;
      return;
    }
    int32_t n = available > 0 ? codec->DecodeRun(data, available, runChars, runSizes, kRingLength - filled) : 0;
    if (n > 0) {
      // The counters stay in registers for the whole run.
      const TUtilsUCS4CharData& last = ring[filled - 1];
      int64_t byteNumber = last.ByteNumber;
      int64_t charNumber = last.CharNumber;
      int64_t line = last.Line;
      int64_t column = last.Column;
      int64_t tabs = last.TabsInLine;
      int32_t count = 0;
      for (int32_t i = 0; i < n; ++i) {
        UCS4Char ch = runChars[i];
        int32_t size = runSizes[i];
        if (ch == 0x0D && readLFOption == 1) {
          // CR LF and a lone CR read as one LF; a CR that ends the run waits
          // until its follower is known.
          if (i + 1 == n) break;
          ch = 0x0A;
          if (runChars[i + 1] == 0x0A) size += runSizes[++i];
        }
        TUtilsUCS4CharData& r = ring[filled + count++];
        byteNumber += size;
        charNumber += 1;
        Advance(ch, line, column, tabs);
        r.ByteNumber = byteNumber;
        r.CharNumber = charNumber;
        r.CodePoint = ch;
        r.Line = line;
        r.Column = column;
        r.CharSize = size;
        r.TabsInLine = tabs;
      }
      if (count > 0) {
        filled += count;
        return;
      }
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
  AppendRecord(ch, size);
  settledByteNumber = ring[filled - 1].ByteNumber;
}

void TUtilsUCS4Reader::Next() { Step(); }

void TUtilsUCS4Reader::StepRun(const TUcs4StopSet& stops, std::u16string& out) {
  for (;;) {
    // The records decoded ahead first: those before the last one can be
    // stepped onto (each has a next record).
    TUtilsUCS4CharData* last = ring + filled - 1;
    TUtilsUCS4CharData* stop = cur + 1;
    while (stop < last && !stops.Has(stop->CodePoint)) ++stop;
    if (stop > cur + 1) {
      size_t at = out.size();
      out.resize(at + (stop - cur - 1));
      char16_t* to = out.data() + at;
      for (TUtilsUCS4CharData* r = cur + 1; r < stop; ++r) {
        if (r->CodePoint >= 0x10000) {
          // Pairs and non-characters take the general way from here.
          out.resize(to - out.data());
          for (; r < stop; ++r) AppendUcs4AsUtf16(out, r->CodePoint);
          break;
        }
        *to++ = static_cast<char16_t>(r->CodePoint);
      }
      cur = stop - 1;
    }
    if (stop < last) return;
    UCS4Char c = cur[1].CodePoint;
    if (stops.Has(c)) return;
    if (StepThroughRun(stops, out)) continue;
    Step();
    AppendUcs4AsUtf16(out, c);
  }
}

bool TUtilsUCS4Reader::StepThroughRun(const TUcs4StopSet& stops, std::u16string& out) {
  if (codec == nullptr || codec->HasLookAhead()) return false;
  Settle();
  const uint8_t* data;
  int32_t available = bomReader->BufferedBytes(data);
  if (available <= 0) return false;
  if (utf8 && data[0] < 0x80 && StepThroughAscii(stops, out, data, available)) return true;
  int32_t decoded = codec->DecodeRun(data, available, runChars, runSizes, kRingLength);
  // A CR that ends the run waits until its follower is known.
  int32_t n = decoded;
  if (n > 0 && runChars[n - 1] == 0x0D && readLFOption == 1) --n;
  if (n <= 0) return false;
  // Step onto the next record; previous and current then roll through the
  // run in registers, and the character after the last one stepped onto
  // becomes the next record.
  TUtilsUCS4CharData previous = *cur;
  TUtilsUCS4CharData current = cur[1];
  AppendUcs4AsUtf16(out, current.CodePoint);
  for (int32_t i = 0;; ++i) {
    UCS4Char ch = runChars[i];
    int32_t size = runSizes[i];
    if (ch == 0x0D && readLFOption == 1) {
      ch = 0x0A;
      if (i + 1 < decoded && runChars[i + 1] == 0x0A) size += runSizes[++i];
    }
    TUtilsUCS4CharData r = RecordAfter(current, ch, size);
    if (stops.Has(ch) || i + 1 >= n) {
      ring[0] = previous;
      ring[1] = current;
      ring[2] = r;
      cur = ring + 1;
      filled = 3;
      return true;
    }
    AppendUcs4AsUtf16(out, ch);
    previous = current;
    current = r;
  }
}

bool TUtilsUCS4Reader::StepThroughAscii(const TUcs4StopSet& stops, std::u16string& out, const uint8_t* data,
                                        int32_t available) {
  // Byte i of data is character i after the next record N. The counters
  // after the last three bytes taken roll along: a (the last), b, c.
  struct Counters {
    int64_t line, column, tabs;
  };
  const TUtilsUCS4CharData previousOfN = *cur;
  const TUtilsUCS4CharData n = cur[1];
  Counters a{n.Line, n.Column, n.TabsInLine};
  Counters b{previousOfN.Line, previousOfN.Column, previousOfN.TabsInLine};
  Counters c = b;
  int32_t i = 0;
  for (; i < available; ++i) {
    uint8_t ch = data[i];
    if (ch >= 0x80 || ch == 0x0D || stops.Has(ch)) break;
    c = b;
    b = a;
    Advance(ch, a.line, a.column, a.tabs);
  }
  bool stopped = i < available && data[i] < 0x80 && data[i] != 0x0D;
  // The character at index `next` becomes the next record: the stop, or
  // else the last byte taken (nothing comes after it that is known yet).
  int32_t next = stopped ? i : i - 1;
  if (next < 0) return false;
  Counters atNext = a, atCurrent = b, atPrevious = c;
  if (stopped) {
    atPrevious = b;
    atCurrent = a;
    atNext = a;
    Advance(data[i], atNext.line, atNext.column, atNext.tabs);
  }
  auto record = [&](int32_t index, const Counters& at) {
    if (index == -1) return n;
    if (index == -2) return previousOfN;
    TUtilsUCS4CharData r;
    r.ByteNumber = n.ByteNumber + index + 1;
    r.CharNumber = n.CharNumber + index + 1;
    r.CodePoint = data[index];
    r.CharSize = 1;
    r.Line = at.line;
    r.Column = at.column;
    r.TabsInLine = at.tabs;
    return r;
  };
  ring[0] = record(next - 2, atPrevious);
  ring[1] = record(next - 1, atCurrent);
  ring[2] = record(next, atNext);
  cur = ring + 1;
  filled = 3;
  AppendUcs4AsUtf16(out, n.CodePoint);
  size_t at = out.size();
  out.resize(at + next);
  for (int32_t k = 0; k < next; ++k) out[at + k] = data[k];
  return true;
}

void TUtilsUCS4Reader::Reset() {
  if (codec != nullptr) codec->ClearLookAhead();
  bomReader->Seek(startOffset);
  settledByteNumber = start.ByteNumber;
  ring[0] = start;
  ring[1] = start;
  ring[2] = start;
  cur = ring + 1;
  filled = 2;
  if (codec == nullptr) {
    filled = 3;
    return;
  }
  // ReadAhead settles up to ring[2], which still holds the start record.
  ReadAhead();
}

bool TUtilsUCS4Reader::Match(std::u16string_view s) {
  for (char16_t unit : s) {
    Step();
    if (cur->CodePoint != unit) return false;
  }
  return true;
}

int64_t TUtilsUCS4Reader::SkipNext(std::u16string_view chars) {
  int64_t count = 0;
  for (;;) {
    Step();
    UCS4Char ch = cur->CodePoint;
    if (ch == kUcs4EndOfInput || ch > 0xFFFF || chars.find(static_cast<char16_t>(ch)) == std::u16string_view::npos) {
      return count;
    }
    ++count;
  }
}
