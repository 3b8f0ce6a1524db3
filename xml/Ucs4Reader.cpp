#include "xml/Ucs4Reader.h"

TUtilsUCS4Reader::~TUtilsUCS4Reader() {
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
  codec.reset();
  if (value == nullptr) return;
  codec = CreateCodec(value);
  if (codec == nullptr) return;
  codec->SetReadLFOption(readLFOption);
  codec->SetOnRead(MakeCodecReadEvent<&TUtilsUCS4Reader::HandleCodecRead>(this));
}

void TUtilsUCS4Reader::SetStartOffset(int64_t value) { startOffset = value; }

void TUtilsUCS4Reader::ReadInto(TUtilsUCS4CharData& target, const TUtilsUCS4CharData& from) {
  if (codec == nullptr) throw EParserUtilsException("No encoding selected.");
  UCS4Char ch = 0;
  int32_t size = 0;
  // Fast path: decode straight from the buffered bytes when the codec can be
  // sure of the character; CR goes the long way for its line-end folding.
  const uint8_t* data;
  int32_t available = bomReader->BufferedBytes(data);
  int32_t n = 0;
  if (available > 0 && !codec->HasLookAhead()) n = codec->DecodeFromMemory(data, available, ch);
  if (n > 0 && ch != 0x0D) {
    bomReader->SkipBuffered(n);
    size = n;
  } else {
    codec->ReadUCS4Char(ch, size);
  }
  target = from;
  target.CharNumber += 1;
  target.CodePoint = ch;
  target.ByteNumber += size;
  target.CharSize = size;
  if (ch == 0x09) {
    target.TabsInLine += 1;
  } else if (ch == 0x0A) {
    target.Line += 1;
    target.Column = 0;
    target.TabsInLine = 0;
  } else {
    target.Column += 1;
  }
}

void TUtilsUCS4Reader::Next() {
  if (records[current].CodePoint == kUcs4EndOfInput) return;
  int freeSlot = previous;
  if (records[next].CodePoint == kUcs4EndOfInput) {
    records[freeSlot] = records[next];  // the end stays ahead as well
  } else {
    ReadInto(records[freeSlot], records[next]);
  }
  previous = current;
  current = next;
  next = freeSlot;
}

void TUtilsUCS4Reader::Reset() {
  if (codec != nullptr) codec->ClearLookAhead();
  bomReader->Seek(startOffset);
  previous = 0;
  current = 1;
  next = 2;
  records[0] = records[1] = records[2] = start;
  if (codec != nullptr) ReadInto(records[next], start);
}

bool TUtilsUCS4Reader::Match(std::u16string_view s) {
  for (char16_t unit : s) {
    Next();
    if (records[current].CodePoint != unit) return false;
  }
  return true;
}

int64_t TUtilsUCS4Reader::SkipNext(std::u16string_view chars) {
  int64_t count = 0;
  for (;;) {
    Next();
    UCS4Char ch = records[current].CodePoint;
    if (ch == kUcs4EndOfInput || ch > 0xFFFF || chars.find(static_cast<char16_t>(ch)) == std::u16string_view::npos) {
      return count;
    }
    ++count;
  }
}
