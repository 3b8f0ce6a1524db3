#pragma once
// A stream of located characters: drives a codec over a byte-order-mark
// reader and keeps, for the previous, current and next character, its byte
// and character numbers, line, column and tabs in the line.
#include <cstdint>
#include <memory>
#include <string_view>

#include "xml/BomReader.h"
#include "core/Exception.h"
#include "xml/UnicodeCodec.h"
#include "xml/Ucs4Runs.h"

// Appends c to out as UTF-16; beyond U+10FFFF, U+FFFF (no character: refused later as such).
inline void AppendUcs4AsUtf16(std::u16string& out, UCS4Char c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else if (c <= 0x10FFFF) {
    out.push_back(static_cast<char16_t>((c >> 10) + 0xD7C0));
    out.push_back(static_cast<char16_t>((c & 0x3FF) | 0xDC00));
  } else {
    out.push_back(0xFFFF);
  }
}

// The location record of one character (the two 32-bit fields side by
// side, so that a record takes 48 bytes, not 56).
struct TUtilsUCS4CharData {
  int64_t ByteNumber = 0;   // bytes consumed up to and including this character
  int64_t CharNumber = 0;   // characters consumed up to and including this one
  int64_t Line = 0;
  int64_t Column = 0;       // characters other than tabs since the last line feed
  int64_t TabsInLine = 0;   // tabs since the last line feed
  UCS4Char CodePoint = 0;   // kUcs4StartOfInput in the start record, kUcs4EndOfInput at the end
  int32_t CharSize = 0;     // bytes the character took (0 for the markers)
};

// A codec error met while reading ahead: the codec's exception and message,
// with the place of the character that could not be decoded (its line,
// column, tabs and character number; ByteNumber counts the bytes before it).
class EDecodingError : public EConvertError {
public:
  EDecodingError(std::string message_, const TUtilsUCS4CharData& where_)
      : EConvertError(std::move(message_)), where(where_) {}
  const TUtilsUCS4CharData& Where() const { return where; }

private:
  TUtilsUCS4CharData where;
};

// Made with New<TUtilsUCS4Reader>(stream, bufSize, defaultCodecClass, byte,
// char, column, tabs, line). The stream is not owned; on destruction unread
// buffered bytes are given back to it.
class TUtilsUCS4Reader : public TObject {
public:
  ~TUtilsUCS4Reader() override;
  // Detects the byte-order mark (whose codec wins over defaultCodecClass),
  // fills the start record with the initial values and calls Reset. A nil
  // stream raises EParserUtilsException "Stream not specified.".
  virtual void Create(TStream* stream, int32_t bufSize, TUnicodeCodecClass defaultCodecClass,
                      int64_t initialByteNumber, int64_t initialCharNumber, int64_t initialColumn,
                      int64_t initialTabsInLine, int64_t initialLine);

  // The class of the codec in use; nullptr when none.
  virtual TUnicodeCodecClass GetCurrentCodecClass() const;
  // The codec's byte source: up to count bytes from the byte-order-mark reader.
  virtual int32_t HandleCodecRead(TCustomUnicodeCodec* sender, void* buffer, int32_t count);
  // Replaces the codec (nullptr: none), with line ends folded to LF.
  virtual void SetCurrentCodecClass(TUnicodeCodecClass value);
  // Stores the offset (after the mark) at which the next Reset starts.
  virtual void SetStartOffset(int64_t value);
  // Reads one character per code unit of s while they match; false at the
  // first difference (the characters read stay consumed). Empty s: true.
  virtual bool Match(std::u16string_view s);
  // Advances one character; a no-op once the end is current. Codec errors
  // pass through as EDecodingError (an EConvertError with the codec's
  // message and the place) and leave the records as they were.
  virtual void Next();
  // Steps onto each following character until one in stops is next,
  // appending each to out (AppendUcs4AsUtf16). Ends where Step one character
  // at a time would, with the same records and errors.
  void StepRun(const TUcs4StopSet& stops, std::u16string& out);
  // Steps on through the rest of a tag, appending each character to out:
  // outside quoted values up to "/" or ">" (not stepped onto), a value
  // quoted by ' or " up to its closing quote whatever it holds, and in
  // either case up to the end. Returns the quote of a value the end left
  // open, else 0. As StepRun, ends where Step one character at a time would.
  UCS4Char StepTag(std::u16string& out);
  // Next without the virtual call: the scanners' way forward.
  void Step() {
    if (chars[cur] == kUcs4EndOfInput) return;
    if (cur + 2 >= filled) [[unlikely]] ReadAhead();
    ++cur;
  }
  // Starts over at the start offset: current is the start marker, next the first character.
  virtual void Reset();
  // From now on a CR, alone or before a LF, is read as it stands (not folded
  // into one LF), as in text whose line ends were settled before; starts
  // over (Reset).
  void KeepLineEnds();
  // Advances past characters that occur in chars; returns how many. Afterwards
  // the current character is the first one not in chars, or the end marker.
  virtual int64_t SkipNext(std::u16string_view chars);

  int32_t GetBufSize() const { return bomReader->BufSize(); }
  TUnicodeCodecClass GetBomEncodingClass() const { return bomReader->BomCodecClass(); }
  bool GetEof() const { return chars[cur] == kUcs4EndOfInput; }
  int64_t StartOffset() const { return startOffset; }
  uint8_t ReadLFOption() const { return readLFOption; }

  // The records of the current, next and previous characters, worked out
  // when asked (the scanners go by code points alone).
  TUtilsUCS4CharData Current() const { return RecordAt(cur); }
  TUtilsUCS4CharData NextRecord() const { return RecordAt(cur + 1); }
  TUtilsUCS4CharData Previous() const { return RecordAt(cur - 1); }
  const TUtilsUCS4CharData& Start() const { return start; }
  // A place to ask for later: the previous (-1), current (0) or next (1)
  // character, counted from the last Reset.
  int64_t Mark(int32_t which) const { return base + cur + which; }
  // Keeps the record of mark at hand (in slot 0 or 1, replacing what the slot
  // kept) until the slot is set again or the reader is reset.
  void Keep(int32_t slot, int64_t mark) {
    kept[slot].mark = mark;
    kept[slot].resolved = false;
  }
  // The record of a kept mark, or of the previous, current or next character's.
  TUtilsUCS4CharData RecordOf(int64_t mark) const;
  UCS4Char CurrentChar() const { return chars[cur]; }
  UCS4Char NextChar() const { return chars[cur + 1]; }
  UCS4Char PreviousChar() const { return chars[cur - 1]; }

protected:
  TCustomUnicodeCodec* Codec() const { return codec.get(); }
  // Replaces the start record that Reset makes current (a reader that consumed
  // a declaration lets positions continue through it).
  void SetStartRecord(const TUtilsUCS4CharData& value) { start = value; }

private:
  static constexpr int32_t kRingLength = 1024;
  // The size of a ring entry that repeats the record before it (the start
  // marker before the first character, the end marker staying ahead).
  static constexpr uint8_t kRepeat = 0x80;  // no character takes 128 bytes

  // Makes sure a character follows the next one: decodes a run of characters
  // ahead from the buffered bytes (consumed only as they become next), or
  // reads one character the long way. Raises codec errors with nothing changed.
  void ReadAhead();
  // The record of ring entry k (not before the previous character).
  TUtilsUCS4CharData RecordAt(int32_t k) const;
  // Moves the record kept for positions on to ring entry k.
  void MoveAnchor(int32_t k) const;
  // Takes the bytes of every entry up to entry k from the byte-order-mark reader.
  void Settle(int32_t k);
  // Settles up to the next character (or what there is of it).
  void SettleToNext() { Settle(cur + 1 < filled ? cur + 1 : filled - 1); }
  // Forgets characters decoded ahead of the next one (before the codec changes).
  void DropAhead() {
    SettleToNext();
    filled = cur + 2;
  }
  // Appends ch of size bytes after the last entry.
  void Append(UCS4Char ch, int32_t size) {
    chars[filled] = ch;
    sizes[filled] = static_cast<uint8_t>(size);
    ++filled;
  }
  // Raises the codec's error e as an EDecodingError placed after the last entry.
  [[noreturn]] void RaiseDecodingError(const EConvertError& e) const;

  std::unique_ptr<TUtilsBOMReader> bomReader;
  std::unique_ptr<TCustomUnicodeCodec> codec;
  TUtilsUCS4CharData start;
  // The characters as decoded, with the bytes each took: entries cur - 1,
  // cur and cur + 1 are the previous, current and next characters; entries
  // up to `filled` are decoded ahead.
  UCS4Char chars[kRingLength];
  uint8_t sizes[kRingLength];
  int32_t cur = 1;
  int32_t filled = 3;
  // What the record of entry anchorAt holds (never after the previous
  // character, nor after a kept mark not yet resolved): other records are
  // counted on from it when asked.
  struct TCounters {
    int64_t byteNumber = 0;
    int64_t charNumber = 0;
    int64_t line = 0;
    int64_t column = 0;
    int64_t tabs = 0;
    UCS4Char codePoint = 0;
    int32_t charSize = 0;
    static TCounters Of(const TUtilsUCS4CharData& record) {
      return {record.ByteNumber, record.CharNumber, record.Line, record.Column,
              record.TabsInLine, record.CodePoint, record.CharSize};
    }
    TUtilsUCS4CharData Record() const {
      TUtilsUCS4CharData r;
      r.ByteNumber = byteNumber;
      r.CharNumber = charNumber;
      r.Line = line;
      r.Column = column;
      r.TabsInLine = tabs;
      r.CodePoint = codePoint;
      r.CharSize = charSize;
      return r;
    }
  };
  // Counts the entries from to k (none when k < from) past the counters:
  // then they hold the record of entry k.
  void CountRange(TCounters& at, int32_t from, int32_t k) const;
  mutable TCounters anchor;
  mutable int32_t anchorAt = 0;
  // Marks of entries whose records must stay at hand: the anchor does not
  // pass one that is not resolved, and one that is about to leave the ring
  // is resolved first.
  struct TKept {
    int64_t mark = -1;
    bool resolved = true;
    TUtilsUCS4CharData record;
  };
  TKept kept[2];
  int64_t base = 0;  // the mark of entry 0
  // The bytes up to the next character count as consumed, but are taken
  // from the byte-order-mark reader only when it is used again (Settle):
  // its position stands for the end of entry settledAt, byte settledByteNumber.
  int32_t settledAt = 1;
  int64_t settledByteNumber = 0;
  uint8_t readLFOption = 1;
  bool utf8 = false;  // the codec is UTF-8: ASCII bytes are taken as they are
  int64_t startOffset = 0;
};
