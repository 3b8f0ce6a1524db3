#pragma once
// The general entities an internal subset declares in its own text, and what
// a reference to each brings into an attribute value: a document that cannot
// declare entities anywhere else must declare there every entity it refers
// to, and its attribute values may refer neither to external nor to unparsed
// entities, nor take a "<" from a replacement text.
#include <string>
#include <unordered_map>

#include "xml/ParseError.h"

// The verdict on a reference in an attribute value: ET_NONE when sound, else
// the well-formedness error, with code the entity that breaks the rule (the
// one referred to, or one further down its replacement text).
struct TAttrEntityUse {
  TXmlErrorType error = ET_NONE;
  std::u16string code;
};

// Adds to uses each general entity that subset declares outside parameter
// entities (the first declaration of a name holds), with its verdict. False
// when the subset refers to a parameter entity (whose text could declare
// more) or cannot be read; uses may then be incomplete.
bool ReadSubsetEntityUses(const std::u16string& subset, std::unordered_map<std::u16string, TAttrEntityUse>& uses);
