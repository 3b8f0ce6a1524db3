#pragma once
// TXmlDocTokenizer: cuts a document entity into markup and text tokens: tags,
// text runs, references, comments, processing instructions, CDATA sections and
// the whole document type declaration. It looks only for a token's end;
// names and attributes are the document reader's business.
#include "xml/XmlCustomTokenizer.h"

enum TXmlDocTokenType : uint8_t {
  TK_CDATA = 0,
  TK_CHAR_REF_DEC = 1,
  TK_CHAR_REF_HEX = 2,
  TK_COMMENT = 3,
  TK_DOCTYPE_DECL = 4,
  TK_EMPTY_ELEMENT_TAG = 5,
  TK_END_OF_SOURCE = 6,
  TK_END_TAG = 7,
  TK_ENTITY_REF = 8,
  TK_PCDATA = 9,
  TK_PI = 10,
  TK_START_OF_SOURCE = 11,
  TK_START_TAG = 12,
};

class TXmlDocTokenizer final : public TXmlCustomTokenizer {
public:
  // Starts in TK_START_OF_SOURCE, or TK_END_OF_SOURCE without a source.
  void Create(TXmlInputSource* inputSource_, int tabWidth_) override;
  // One token; nothing once TK_END_OF_SOURCE was reached. Faults set
  // ErrorType and Clue and never raise; codec faults pass through.
  void Next() override;

  TXmlDocTokenType TokenType() const { return tokenType; }

private:
  void ReadText();
  void ReadMarkup();
  void ReadEndTag();
  void ReadBang();
  void ReadCData();
  void ReadDoctype();
  void ReadTag();
  void ReadReference();

  TXmlDocTokenType tokenType = TK_END_OF_SOURCE;
};
