#pragma once
// TXmlDtdTokenizer: cuts a DTD (an internal subset or an external entity)
// into markup declarations, comments, processing instructions,
// parameter-entity references, conditional-section brackets and white space.
#include "xml/XmlCustomTokenizer.h"

enum TXmlDtdTokenType : uint8_t {
  DTK_ATTLIST_DECL = 0,
  DTK_COMMENT = 1,
  DTK_ELEMENT_DECL = 2,
  DTK_END_OF_CONDITIONAL_SECT = 3,
  DTK_END_OF_SOURCE = 4,
  DTK_ENTITY_DECL = 5,
  DTK_IGNORABLE_WHITESPACE = 6,
  DTK_INVALID_MARKUP = 7,
  DTK_NOTATION_DECL = 8,
  DTK_PARAMETER_ENTITY_REF = 9,
  DTK_PI = 10,
  DTK_START_OF_CONDITIONAL_SECT = 11,
  DTK_START_OF_SOURCE = 12,
};

class TXmlDtdTokenizer : public TXmlCustomTokenizer {
public:
  // Internal material must start without a declaration (else the tokenizer
  // ends with ET_INVALID_MARKUP); an external entity may start with a text
  // declaration only (else ET_INVALID_TEXT_DECL) in a supported encoding
  // (else ET_ENCODING_NOT_SUPPORTED).
  virtual void Create(TXmlInputSource* inputSource_, bool isExternal, int tabWidth_);
  void Create(TXmlInputSource* inputSource_, int tabWidth_) override { Create(inputSource_, false, tabWidth_); }
  // One token; faults set ErrorType and Clue.
  void Next() override;
  // Skips an IGNORE section's content, nested sections included, up to its
  // "]]>" (DTK_END_OF_CONDITIONAL_SECT) or the end (DTK_END_OF_SOURCE).
  virtual void SkipIgnoredSection();

  TXmlDtdTokenType TokenType() const { return tokenType; }

private:
  void ReadConditionalStart();
  // A declaration after "<!": the keyword (without its first letter, which
  // is current), then its text up to the closing ">" outside literals.
  void ReadDeclaration(TXmlDtdTokenType type, std::u16string_view rest, TXmlErrorType keywordError,
                       const char16_t* keywordClue, TXmlErrorType unclosedError);
  // Advances to just before the next "%", "<", "]" or the end.
  void SkipToMarkup();

  TXmlDtdTokenType tokenType = DTK_END_OF_SOURCE;
};
