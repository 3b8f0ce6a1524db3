#pragma once
// TXmlDoctypeDeclTokenizer: splits the text of a document type declaration
// (what follows "<!DOCTYPE") into its name, public and system literals and
// internal subset.
#include "xml/XmlCustomTokenizer.h"

enum TXmlDoctypeDeclTokenType : uint8_t {
  DCT_END_OF_SOURCE = 0,
  DCT_INTERNAL_SUBSET = 1,
  DCT_NAME = 2,
  DCT_PUBLIC_ID = 3,
  DCT_START_OF_SOURCE = 4,
  DCT_SYSTEM_ID = 5,
};

class TXmlDoctypeDeclTokenizer : public TXmlCustomTokenizer {
public:
  // A source that starts with a declaration ends at once with ET_INVALID_MARKUP.
  void Create(TXmlInputSource* inputSource_, int tabWidth_) override;
  // One part of the declaration; faults set ErrorType and Clue.
  void Next() override;

  TXmlDoctypeDeclTokenType TokenType() const { return tokenType; }

private:
  void SkipWhiteSpace();
  // Reads a quoted literal into the token text; when no quote opens one, the
  // error is missingError (clue: a quotation mark).
  void ReadLiteral(TXmlErrorType missingError);
  // After the identifiers: the internal subset, the end, or ET_MISSING_INTERNAL_SUBSET_START.
  void ReadSubsetOrEnd();
  void ReadInternalSubset();

  TXmlDoctypeDeclTokenType tokenType = DCT_END_OF_SOURCE;
};
