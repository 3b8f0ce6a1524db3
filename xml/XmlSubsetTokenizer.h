#pragma once
// The subset tokenizers: on top of a DTD tokenizer they register
// parameter-entity declarations, replace parameter-entity references by the
// entities' text (through a nested tokenizer per reference) and, in the
// external subset, handle INCLUDE and IGNORE sections.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "xml/ParameterEntities.h"
#include "xml/XmlDtdTokenizer.h"

enum TXmlSubsetTokenType : uint8_t {
  SBT_ATTLIST_DECL = 0,
  SBT_COMMENT = 1,
  SBT_ELEMENT_DECL = 2,
  SBT_END_OF_CONDITIONAL_SECT = 3,
  SBT_END_OF_SOURCE = 4,
  SBT_ENTITY_DECL = 5,
  SBT_IGNORABLE_WHITESPACE = 6,
  SBT_INVALID_MARKUP = 7,
  SBT_NOTATION_DECL = 8,
  SBT_PARAMETER_ENTITY_DECL = 9,
  SBT_PARAMETER_ENTITY_REF = 10,
  SBT_PI = 11,
  SBT_START_OF_CONDITIONAL_SECT = 12,
  SBT_START_OF_SOURCE = 13,
};

// How deep parameter entities may nest inside one another.
inline constexpr int kMaxParameterEntityDepth = 64;
// How many characters of replacement text one subset may expand in all, so
// that entities that each refer to others several times cannot blow up.
inline constexpr int64_t kMaxParameterEntityExpansion = int64_t(1) << 22;
// Below that cap, expansion is also bounded by the input: the subset's own
// characters read so far plus each entity's text counted once, times the
// ratio, plus a small allowance. A short chain of entities that each refer to
// the previous one several times is stopped after a small multiple of its size.
inline constexpr int64_t kParameterEntityExpansionRatio = 16;
inline constexpr int64_t kParameterEntityExpansionAllowance = int64_t(1) << 16;
// The replacement text that input of inputChars characters may expand to.
constexpr int64_t ParameterEntityExpansionBudget(int64_t inputChars) {
  int64_t budget = kParameterEntityExpansionAllowance + kParameterEntityExpansionRatio * inputChars;
  return budget < kMaxParameterEntityExpansion ? budget : kMaxParameterEntityExpansion;
}

class TXmlCustomSubsetTokenizer : public TUtilsNoRefCount, public IDomLocator {
public:
  ~TXmlCustomSubsetTokenizer() override;
  // A null repository raises ENot_Supported_Err "Not supported error.".
  virtual void Create(TXmlInputSource* inputSource, TdomPERepository* repository, int tabWidth);

  // Each answers from the nested tokenizer while one reads an entity.
  virtual std::u16string GetTokenValue() const;
  virtual TXmlErrorType GetErrorType() const;
  std::u16string GetUri() const override;
  virtual int GetTabWidth() const;
  virtual std::u16string GetDeclValue() const;
  virtual std::u16string GetDeclName() const;
  virtual TXmlSubsetTokenType GetTokenType() const;
  virtual std::u16string GetClue() const;
  virtual bool IsExternal() const = 0;
  // Opens the entity name for reading; ET_NONE when reading continues
  // inside it. An undeclared name gives ET_UNDEFINED_PARAMETER_ENTITY, an
  // entity already being read (directly or further out)
  // ET_RECURSIVE_ENTITY_REF, nesting deeper than kMaxParameterEntityDepth
  // ET_ENTITY_NESTING_TOO_DEEP, expanding more than
  // ParameterEntityExpansionBudget allows ET_ENTITY_EXPANSION_TOO_LARGE, an entity whose
  // text cannot be had ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE.
  virtual TXmlErrorType PushParameterEntity(const std::u16string& name);

  int64_t GetEndByteNumber() const override { return Locator()->GetEndByteNumber(); }
  int64_t GetEndCharNumber() const override { return Locator()->GetEndCharNumber(); }
  int64_t GetEndColumnNumber() const override { return Locator()->GetEndColumnNumber(); }
  int64_t GetEndLineNumber() const override { return Locator()->GetEndLineNumber(); }
  TdomASObject* GetRelatedASObject() const override { return nullptr; }
  TdomNode* GetRelatedNode() const override { return nullptr; }
  int64_t GetStartByteNumber() const override { return Locator()->GetStartByteNumber(); }
  int64_t GetStartCharNumber() const override { return Locator()->GetStartCharNumber(); }
  int64_t GetStartColumnNumber() const override { return Locator()->GetStartColumnNumber(); }
  int64_t GetStartLineNumber() const override { return Locator()->GetStartLineNumber(); }
  // The next token of the subset, entities' text included.
  virtual void Next();

  TdomPERepository* Repository() const { return repository; }
  // True while the current token comes from a parameter entity's text.
  bool InEntity() const { return nested != nullptr; }

protected:
  // Whether references are replaced (always for the external subset).
  virtual bool ResolvesReferences() const { return true; }
  // A conditional-section bracket read by the DTD tokenizer; false when it
  // made no token of its own (an ignored section was skipped).
  virtual bool HandleConditional(bool start) = 0;
  // The end of the DTD tokenizer's source.
  virtual void HandleEnd() { tokenType = SBT_END_OF_SOURCE; }
  const IDomLocator* Locator() const;
  void SetError(TXmlErrorType type, std::u16string clue_ = std::u16string()) {
    errorType = type;
    clue = std::move(clue_);
  }

  std::u16string clue;
  TXmlErrorType errorType = ET_NONE;
  TXmlSubsetTokenType tokenType = SBT_END_OF_SOURCE;
  std::u16string declValue;
  std::u16string declName;
  std::unique_ptr<TXmlDtdTokenizer> dtdTokenizer;
  // Set while this tokenizer reads the text of a parameter entity.
  TXmlCustomSubsetTokenizer* parent = nullptr;
  std::u16string entityName;
  // Characters of replacement text expanded so far, and of the distinct
  // entities among them counted once (kept by the outermost tokenizer).
  int64_t expandedChars = 0;
  int64_t distinctEntityChars = 0;
  std::unordered_set<std::u16string> expandedEntities;

private:
  // Maps one token of the DTD tokenizer; false when it produced no token of
  // its own (an entity was entered or an ignored section skipped).
  bool MapToken();
  void MapEntityDecl(const std::u16string& text);
  // Replaces the parameter-entity references of an entity value literal in
  // declValue by their texts; the error that prevents it, else ET_NONE.
  TXmlErrorType IncludeReferencesInValue();
  void DropNested();

  TdomPERepository* repository = nullptr;  // not owned
  // Freed in reverse order: the nested tokenizer, its source, the stream.
  std::unique_ptr<TStream> peStream;
  std::unique_ptr<TXmlInputSource> peInputSource;
  std::unique_ptr<TXmlCustomSubsetTokenizer> nested;
};

class TXmlExtSubsetTokenizer : public TXmlCustomSubsetTokenizer {
public:
  bool IsExternal() const override { return true; }
  int OpenSections() const { return openSections; }

protected:
  bool HandleConditional(bool start) override;
  void HandleEnd() override;

private:
  int openSections = 0;
};

class TXmlIntSubsetTokenizer : public TXmlCustomSubsetTokenizer {
public:
  bool IsExternal() const override { return false; }
  bool ResolvePERefs = true;

protected:
  bool ResolvesReferences() const override { return ResolvePERefs; }
  bool HandleConditional(bool start) override;
};
