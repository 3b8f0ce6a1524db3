#pragma once
// TXmlCustomTokenizer: what every tokenizer shares. It reads characters from
// an input source, collects the text of one token, and locates that token
// (IDomLocator), so a tokenizer can be handed to an error as its locator.
#include <cstdint>
#include <string>

#include "xml/ParseError.h"
#include "xml/TreeUtilsNoRefCount.h"
#include "xml/XmlInputSource.h"

class TXmlCustomTokenizer : public TUtilsNoRefCount, public IDomLocator {
public:
  // inputSource is not owned and may be null (the tokenizer then only ever
  // yields its end). The current record of the source starts the token.
  virtual void Create(TXmlInputSource* inputSource_, int tabWidth_);

  virtual std::u16string GetTokenValue() const { return tokenValue; }
  int64_t GetEndByteNumber() const override { return EndPosition().ByteNumber; }
  int64_t GetEndCharNumber() const override { return EndPosition().CharNumber; }
  int64_t GetEndColumnNumber() const override {
    const TUtilsUCS4CharData& end = EndPosition();
    return end.Column + end.TabsInLine * tabWidth;
  }
  int64_t GetEndLineNumber() const override { return EndPosition().Line; }
  TdomASObject* GetRelatedASObject() const override { return nullptr; }
  TdomNode* GetRelatedNode() const override { return nullptr; }
  int64_t GetStartByteNumber() const override {
    const TUtilsUCS4CharData& start = StartPosition();
    return start.ByteNumber - start.CharSize;
  }
  int64_t GetStartCharNumber() const override { return StartPosition().CharNumber; }
  int64_t GetStartColumnNumber() const override {
    const TUtilsUCS4CharData& start = StartPosition();
    return start.Column + start.TabsInLine * tabWidth;
  }
  int64_t GetStartLineNumber() const override { return StartPosition().Line; }
  std::u16string GetUri() const override { return inputSource != nullptr ? inputSource->SystemId() : std::u16string(); }
  // Reads the next token.
  virtual void Next() = 0;

  int TabWidth() const { return tabWidth; }
  const std::u16string& Clue() const { return clue; }
  TXmlErrorType ErrorType() const { return errorType; }
  TXmlInputSource* InputSource() const { return inputSource; }
  // The records of the token's first and last characters, worked out when
  // first asked for (until the next token is read).
  const TUtilsUCS4CharData& StartPosition() const {
    Place();
    return startPosition;
  }
  const TUtilsUCS4CharData& EndPosition() const {
    Place();
    return endPosition;
  }
  // The token's text without a copy.
  const std::u16string& TokenText() const { return tokenValue; }
  // Hands the token's text over to dest (whose old text the tokenizer keeps
  // as scratch); the token's text is empty afterwards.
  void TakeTokenText(std::u16string& dest) {
    dest.swap(tokenValue);
    tokenValue.clear();
  }

protected:
  // Where an unclosed comment ending in a lone "-" ends: at that hyphen (the
  // document's tokens) or at the character before it (the DTD's).
  enum class TTrailingHyphen : uint8_t { Included, Excluded };
  // The comment after "<!" (the current character): its text up to "-->".
  // A "--" inside ends it with ET_DOUBLE_HYPHEN_IN_COMMENT, a missing second
  // "-" with ET_INVALID_COMMENT, the end of the source with
  // ET_UNCLOSED_COMMENT.
  void ReadCommentText(TTrailingHyphen trailingHyphen);
  // The processing instruction after "<" (the current character; "?" is
  // next): its text up to "?>", or ET_UNCLOSED_PROCESSING_INSTRUCTION.
  void ReadProcessingInstructionText();

  // Character access for the scanners: the look-ahead, current and previous
  // code points, one step forward, and the text of the token.
  UCS4Char NextCp() const { return inputSource->NextChar(); }
  UCS4Char CurCp() const { return inputSource->CurrentChar(); }
  void Advance() { inputSource->Step(); }
  void Add(UCS4Char c) { AppendUcs4AsUtf16(tokenValue, c); }
  // Steps on, adding each character, until one in stops is next.
  void AddRun(const TUcs4StopSet& stops) { inputSource->StepRun(stops, tokenValue); }
  void AddCurrent() { Add(CurCp()); }
  // Sets the error of the token and what was expected.
  void SetError(TXmlErrorType type, std::u16string clue_ = std::u16string()) {
    errorType = type;
    clue = std::move(clue_);
  }
  // Clears text, error and clue before a token.
  void BeginToken() {
    placed = false;
    tokenValue.clear();
    errorType = ET_NONE;
    clue.clear();
  }
  // The token's first and last characters are marked as the scanners pass
  // them; their records are worked out only when someone asks.
  void StartAtNext() { StartAt(inputSource->Mark(1)); }
  void StartAtCurrent() { StartAt(inputSource->Mark(0)); }
  void EndAtCurrent() { EndAt(inputSource->Mark(0)); }
  void EndAtPrevious() { EndAt(inputSource->Mark(-1)); }
  void StartAt(int64_t mark) {
    startMark = mark;
    inputSource->Keep(0, mark);
    placed = false;
  }
  void EndAt(int64_t mark) {
    endMark = mark;
    inputSource->Keep(1, mark);
    placed = false;
  }
  void Place() const {
    if (placed || inputSource == nullptr) return;
    startPosition = inputSource->RecordOf(startMark);
    endPosition = inputSource->RecordOf(endMark);
    placed = true;
  }

  int tabWidth = 1;
  std::u16string clue;
  TXmlErrorType errorType = ET_NONE;
  TXmlInputSource* inputSource = nullptr;  // not owned
  int64_t startMark = 0;
  int64_t endMark = 0;
  mutable bool placed = false;
  mutable TUtilsUCS4CharData endPosition;
  mutable TUtilsUCS4CharData startPosition;
  std::u16string tokenValue;
};
