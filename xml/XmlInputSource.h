#pragma once
// TXmlInputSource: the character source of every parse. It chooses the codec
// (default encoding, byte-order mark, declared encoding), reads and checks the
// XML or text declaration at the start of the entity, and then offers the
// decoded characters with their positions.
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "xml/Document.h"
#include "xml/Ucs4Reader.h"
#include "xml/WideStrList.h"

// Raised by the parsing components for missing arguments ("Stream not
// specified." and the like): a misuse, never a fault of the parsed text.
QV_DECLARE_EXCEPTION(EAccessViolation, Exception);

// What stood at the start of the stream.
enum TXmlDeclType : uint8_t {
  DT_UNKNOWN = 0,                  // never left after construction
  DT_XML_DECLARATION = 1,          // version without encoding, or any standalone
  DT_TEXT_DECLARATION = 2,         // encoding without version
  DT_XML_OR_TEXT_DECLARATION = 3,  // version and encoding, no standalone
  DT_UNSPECIFIED = 4,              // no declaration
};

class TXmlInputSource : public TUtilsUCS4Reader {
public:
  // stream is not owned. An unknown defaultEncoding means UTF-8. With
  // initialPositionAfterDecl the first character after the declaration gets
  // the initial values; otherwise positions continue through the declaration.
  // A bad declaration raises nothing: see HasMalformedDecl and InvalidEncoding.
  virtual void Create(TStream* stream, const std::u16string& publicId, const std::u16string& systemId,
                      int32_t bufSize, const std::u16string& defaultEncoding, bool initialPositionAfterDecl,
                      int64_t initialByteNumber, int64_t initialCharNumber, int64_t initialColumn,
                      int64_t initialTabsInLine, int64_t initialLine);

  // The code points of the current, look-ahead and previous records (the
  // markers kUcs4StartOfInput and kUcs4EndOfInput at the two ends).
  virtual UCS4Char CurrentCodePoint() const { return CurrentChar(); }
  virtual UCS4Char NextCodePoint() const { return NextChar(); }
  virtual UCS4Char PreviousCodePoint() const { return PreviousChar(); }

  TXmlDeclType DeclType() const { return declType; }
  bool HasMalformedDecl() const { return hasMalformedDecl; }
  const std::u16string& EncodingName() const { return encodingName; }
  // The encoding the text after the declaration is decoded with: the
  // declared one when it took over from EncodingName.
  std::u16string DecodingEncodingName() const;
  bool InvalidEncoding() const { return invalidEncoding; }
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& SystemId() const { return systemId; }
  const std::u16string& XmlEncoding() const { return xmlEncoding; }
  TdomStandalone XmlStandalone() const { return xmlStandalone; }
  const std::u16string& XmlVersion() const { return xmlVersion; }

private:
  // Reads the declaration at the start; false when it is malformed.
  bool ReadDeclaration();
  // Reads one quoted pseudo-attribute value whose characters pass accept;
  // false when the quotes are missing or differ, or a character is refused.
  template <class Pred>
  bool ReadQuotedValue(std::u16string& value, Pred accept, bool allowEmpty);
  // Applies the declared encoding to the codec in use.
  void DecideEncoding();

  TXmlDeclType declType = DT_UNKNOWN;
  bool hasMalformedDecl = false;
  std::u16string encodingName;
  TUnicodeCodecClass encodingNameClass = nullptr;  // the codec EncodingName names
  bool invalidEncoding = false;
  std::u16string publicId;
  std::u16string systemId;
  std::u16string xmlEncoding;
  TdomStandalone xmlStandalone = STANDALONE_UNSPECIFIED;
  std::u16string xmlVersion;
};

// Locates one character of an entity by its record (start and end alike):
// how a decoding error, which has no token, is placed.
class TXmlCharLocator : public IDomLocator {
public:
  TXmlCharLocator(const TUtilsUCS4CharData& where_, std::u16string uri_, int tabWidth_)
      : where(where_), uri(std::move(uri_)), tabWidth(tabWidth_) {}
  int64_t GetEndByteNumber() const override { return where.ByteNumber; }
  int64_t GetEndCharNumber() const override { return where.CharNumber; }
  int64_t GetEndColumnNumber() const override { return where.Column + where.TabsInLine * tabWidth; }
  int64_t GetEndLineNumber() const override { return where.Line; }
  TdomASObject* GetRelatedASObject() const override { return nullptr; }
  TdomNode* GetRelatedNode() const override { return nullptr; }
  int64_t GetStartByteNumber() const override { return where.ByteNumber - where.CharSize; }
  int64_t GetStartCharNumber() const override { return where.CharNumber; }
  int64_t GetStartColumnNumber() const override { return GetEndColumnNumber(); }
  int64_t GetStartLineNumber() const override { return where.Line; }
  std::u16string GetUri() const override { return uri; }

private:
  TUtilsUCS4CharData where;
  std::u16string uri;
  int tabWidth;
};

// The error type of bytes the entity's codec cannot decode.
inline constexpr TXmlErrorType kDecodingErrorType = ET_INVALID_CHARACTER;
// The codec's message of e as the code text of its parse error.
inline std::u16string DecodingErrorCode(const EDecodingError& e) {
  return std::u16string(e.Message().begin(), e.Message().end());
}

// U+FEFF followed by every line in order, nothing between them.
std::u16string JoinSourceLines(const TUtilsWideStringList* lines);
