#pragma once
// The common base of every codec: a codec turns bytes into Unicode characters
// and back, one character at a time through a byte source and sink, or a whole
// buffer at a time. Codecs are chosen by class reference (TUnicodeCodecClass).
#include <cstdint>
#include <memory>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Object.h"

// An unsigned 32-bit code point; the unit in which codecs hand characters on.
using UCS4Char = uint32_t;

constexpr UCS4Char kUcs4MaxCodePoint = 0x10FFFF;
// Markers for the position before the first character and for the end of the
// input. They lie outside the character range, so every legal character
// (U+0098 and U+009C among them) is delivered as itself.
constexpr UCS4Char kUcs4StartOfInput = 0xFFFFFF98;
constexpr UCS4Char kUcs4EndOfInput = 0xFFFFFF9C;

// Whether a value is a UTF-16 surrogate code point (U+D800..U+DFFF).
constexpr bool IsSurrogateCodePoint(UCS4Char ch) { return ch >= 0xD800 && ch <= 0xDFFF; }

// What the buffer conversions do with a character they cannot convert.
enum TErrorAction : uint8_t { eaRaise, eaStop, eaCopy, eaSkip, eaReplace };

// Raised by the buffer conversions; ErrorPosition is the byte offset (Decode)
// or the code-unit index (Encode) at which conversion failed.
class EUnicodeCodecException : public Exception {
public:
  EUnicodeCodecException(std::string message_, int64_t errorPosition_)
      : Exception(std::move(message_)), errorPosition(errorPosition_) {}
  int64_t ErrorPosition() const { return errorPosition; }

private:
  int64_t errorPosition;
};

// Raises EUnicodeCodecException with the message and position.
[[noreturn]] void RaiseCodecError(const std::string& msg, int64_t position);
// The same with a message formatted by the library's Format rules (a bad
// format raises EConvertError instead).
[[noreturn]] void RaiseCodecErrorFmt(std::string_view format, std::initializer_list<TVarRec> args, int64_t position);

class TCustomUnicodeCodec;

// A class reference to a codec: the class's name, its parent and a factory.
struct TUnicodeCodecClassInfo {
  const char* className;
  const TUnicodeCodecClassInfo* parent;
  TCustomUnicodeCodec* (*construct)();  // nullptr for abstract classes
};
using TUnicodeCodecClass = const TUnicodeCodecClassInfo*;

// Creates a codec of the class and runs its Create phase; nullptr for a nil or abstract class.
std::unique_ptr<TCustomUnicodeCodec> CreateCodec(TUnicodeCodecClass codecClass);
// Whether codecClass is ancestor or derives from it; false when either is nil.
bool CodecInheritsFrom(TUnicodeCodecClass codecClass, TUnicodeCodecClass ancestor);
// The class reference of a codec type.
template <class T>
TUnicodeCodecClass CodecClassOf() {
  return &T::classInfo;
}

// Declares the class reference of a codec class (inside the class body).
#define QV_DECLARE_CODEC_CLASS()                 \
public:                                          \
  static const TUnicodeCodecClassInfo classInfo; \
  TUnicodeCodecClass ClassType() const override { return &classInfo; }

// Defines the class reference of a concrete codec class (in one .cpp).
#define QV_DEFINE_CODEC_CLASS(NAME, PARENT) \
  const TUnicodeCodecClassInfo NAME::classInfo = {#NAME, &PARENT::classInfo, [] () -> TCustomUnicodeCodec* { return new NAME; }}

// Byte source: copies up to count bytes into buffer and returns how many it
// copied; fewer than count only at the end of the input. The code part
// identifies the source for SetOnRead, whatever its data.
struct TCodecReadEvent {
  int32_t (*code)(void* data, TCustomUnicodeCodec* sender, void* buffer, int32_t count) = nullptr;
  void* data = nullptr;
  explicit operator bool() const { return code != nullptr; }
};

// Byte sink: takes count bytes.
struct TCodecWriteEvent {
  void (*code)(void* data, TCustomUnicodeCodec* sender, const void* buffer, int32_t count) = nullptr;
  void* data = nullptr;
  explicit operator bool() const { return code != nullptr; }
};

// Binds a member function int32_t (T::*)(TCustomUnicodeCodec*, void*, int32_t) as a byte source.
template <auto Method, class T>
TCodecReadEvent MakeCodecReadEvent(T* object) {
  TCodecReadEvent e;
  e.code = [](void* data, TCustomUnicodeCodec* sender, void* buffer, int32_t count) -> int32_t {
    return (static_cast<T*>(data)->*Method)(sender, buffer, count);
  };
  e.data = object;
  return e;
}

// Binds a member function void (T::*)(TCustomUnicodeCodec*, const void*, int32_t) as a byte sink.
template <auto Method, class T>
TCodecWriteEvent MakeCodecWriteEvent(T* object) {
  TCodecWriteEvent e;
  e.code = [](void* data, TCustomUnicodeCodec* sender, const void* buffer, int32_t count) {
    (static_cast<T*>(data)->*Method)(sender, buffer, count);
  };
  e.data = object;
  return e;
}

class TCustomUnicodeCodec : public TObject {
public:
  static const TUnicodeCodecClassInfo classInfo;
  ~TCustomUnicodeCodec() override = default;
  virtual TUnicodeCodecClass ClassType() const = 0;

  // Stores the line-end folding option (0 none, 1 CR LF and lone CR read as LF).
  virtual void SetReadLFOption(uint8_t value);
  // Stores how WriteUCS4Char writes LF (0 LF, 1 CR, 2 CR LF).
  virtual void SetWriteLFOption(uint8_t value);
  // Reads one character through OnRead; at the end of input gives
  // kUcs4EndOfInput and 0 bytes. Malformed or truncated input raises EConvertError.
  virtual void DecodeUCS4Char(UCS4Char& ch, int32_t& byteCount) = 0;
  // Writes one character through OnWrite; a character without encoding raises EConvertError.
  virtual void EncodeUCS4Char(UCS4Char ch, int32_t& byteCount) = 0;
  // Second construction phase: sets the initial option values.
  virtual void Create();
  // Converts sourceLength bytes into UTF-16 code units; destSize is the
  // capacity of dest in bytes. Stops when the source is used up or dest is full.
  virtual void Decode(const void* source, int32_t sourceLength, char16_t* dest, int32_t destSize,
                      int32_t& bytesRead, int32_t& charsWritten) = 0;
  // Converts sourceLength UTF-16 code units into bytes (dest is replaced).
  virtual void Encode(const char16_t* source, int32_t sourceLength, int32_t& charsRead,
                      std::string& dest) = 0;
  // Writes a character, LF translated by WriteLFOption; byteCount is the total written.
  virtual void WriteUCS4Char(UCS4Char ch, int32_t& byteCount);
  // Decodes one character straight from memory when it can do so with
  // certainty; returns its size in bytes, or 0 when the caller must use
  // ReadUCS4Char instead (error, incomplete input, or no fast path).
  virtual int32_t DecodeFromMemory(const uint8_t* source, int32_t available, UCS4Char& ch);
  // Decodes a run of up to maxChars characters straight from memory, as
  // DecodeFromMemory would one by one (no line-end folding), stopping before
  // anything it cannot be sure of. Returns the number of characters; their
  // sizes in bytes go to sizes. Nothing is consumed.
  virtual int32_t DecodeRun(const uint8_t* source, int32_t available, UCS4Char* chars, uint8_t* sizes,
                            int32_t maxChars);

  // Reads one character with line-end folding (what readers call per character).
  void ReadUCS4Char(UCS4Char& ch, int32_t& byteCount);
  // Forgets a character held back by line-end folding (a reader that seeks calls it).
  void ClearLookAhead() { hasLookAhead = false; }
  bool HasLookAhead() const { return hasLookAhead; }

  TErrorAction ErrorAction() const { return errorAction; }
  void SetErrorAction(TErrorAction value) { errorAction = value; }
  char16_t ReplacementChar() const { return replacementChar; }
  void SetReplacementChar(char16_t value) { replacementChar = value; }
  uint8_t ReadLFOption() const { return readLFOption; }
  uint8_t WriteLFOption() const { return writeLFOption; }
  TCodecReadEvent OnRead() const { return onRead; }
  // Installs the byte source; a different code part clears the look-ahead
  // first, the same code part (another object) keeps it.
  void SetOnRead(TCodecReadEvent value);
  TCodecWriteEvent OnWrite() const { return onWrite; }
  void SetOnWrite(TCodecWriteEvent value) { onWrite = value; }

  // Reads exactly count bytes; false when fewer are left (or no source).
  bool ReadBytes(void* buffer, int32_t count);
  // Reads up to count bytes and returns how many came (0 at the end or without a source).
  int32_t ReadAvailableBytes(void* buffer, int32_t count);
  // Writes count bytes to OnWrite when it is assigned.
  void WriteBytes(const void* buffer, int32_t count);

protected:
  TErrorAction errorAction = eaRaise;
  char16_t replacementChar = 0xFFFD;
  uint8_t readLFOption = 0;
  uint8_t writeLFOption = 0;
  TCodecReadEvent onRead;
  TCodecWriteEvent onWrite;

private:
  bool hasLookAhead = false;
  UCS4Char lookAheadChar = 0;
  int32_t lookAheadSize = 0;
};
