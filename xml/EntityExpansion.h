#pragma once
// Limits on general-entity expansion in a document: how deep entity
// references may nest while their replacement texts are parsed, and how much
// may be expanded in all (characters of replacement text plus one for each
// reference expanded), shared by the parser's expansion, ExpandEntity,
// attribute values and defaults, and validation. The totals live on the
// document; a hold keeps them from starting afresh between expansions (the
// parser holds them for a whole parse, validation for a whole run).
#include <cstdint>
#include <string>

#include "xml/DocumentWatch.h"

class IDomLocator;
class TdomDocument;
class TdomNode;

// How deep general-entity references may nest, each inside the replacement
// text of the one before: far beyond what documents use, and within the
// stack that expanding in content needs (a few hundred bytes a level).
inline constexpr int kMaxGeneralEntityDepth = 1024;

struct TdomEntityExpansionBudget {
  int depth = 0;
  int64_t chars = 0;
  int holds = 0;
  // Where the reference being expanded stands in the text being read; null
  // outside a parse. Its replacement text is read as if written there.
  const IDomLocator* origin = nullptr;
};

// Counts cost more; false once the total is beyond the limit.
bool ChargeEntityExpansion(TdomDocument* document, int64_t cost);
// True once a charge was refused (until the totals start afresh).
bool EntityExpansionExhausted(TdomDocument* document);
// What expanding the general entity name costs in all: characters plus one
// per nested reference (through the document's DTD models; a predefined
// entity 1, an unknown one 0), so that an expansion is paid for before it is
// made. A cycle, or more, gives
// kEntityExpandedLengthLimit.
inline constexpr int64_t kEntityExpandedLengthLimit = int64_t(1) << 40;
int64_t EntityExpandedLength(TdomDocument* document, const std::u16string& name);
// The level of nesting now (0 outside any expansion).
int EntityExpansionDepth(TdomDocument* document);

class TEntityExpansionBudgetHold {
public:
  // The first hold starts the totals afresh. A null document holds nothing.
  explicit TEntityExpansionBudgetHold(TdomDocument* document);
  ~TEntityExpansionBudgetHold();
  TEntityExpansionBudgetHold(const TEntityExpansionBudgetHold&) = delete;
  TEntityExpansionBudgetHold& operator=(const TEntityExpansionBudgetHold&) = delete;

private:
  TdomDocumentWatch document;
};

// One level of nesting for as long as it lives.
class TEntityExpansionLevel {
public:
  explicit TEntityExpansionLevel(TdomDocument* document);
  ~TEntityExpansionLevel();
  TEntityExpansionLevel(const TEntityExpansionLevel&) = delete;
  TEntityExpansionLevel& operator=(const TEntityExpansionLevel&) = delete;
  // True when this level is deeper than allowed.
  bool TooDeep() const;

private:
  TdomDocumentWatch document;  // a listener may free it meanwhile
};

// Makes origin the place of the reference whose text is expanded while it
// lives (see TdomEntityExpansionBudget::origin); the one before comes back after.
class TEntityExpansionOrigin {
public:
  TEntityExpansionOrigin(TdomDocument* document, const IDomLocator* origin);
  ~TEntityExpansionOrigin();
  TEntityExpansionOrigin(const TEntityExpansionOrigin&) = delete;
  TEntityExpansionOrigin& operator=(const TEntityExpansionOrigin&) = delete;

private:
  TdomDocumentWatch document;
  const IDomLocator* saved = nullptr;
};

// Parses text as content into target (an entity reference, a fragment) with
// a parser of target's DOM implementation, at the place of the document's
// expansion origin when there is one; the parser's exceptions pass.
void ParseReplacementTextInto(TdomNode* target, const std::u16string& text);
