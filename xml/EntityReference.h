#pragma once
// TdomEntityReference: a reference to a general entity in content. Its
// children are built from the entity's replacement text and are read-only,
// like the reference itself.
#include <string>

#include "xml/NameTable.h"
#include "xml/Node.h"
#include "xml/ParseError.h"

class TdomEntityReference : public TdomNode {
public:
  // name must be an XML Name, else EInvalid_Character_Err; read-only at once.
  virtual void Create(TdomDocument* document_, const std::u16string& name_);

  std::u16string GetNodeName() const override { return name->nodeName; }
  TdomNodeType GetNodeType() const override { return ntEntity_Reference_Node; }

protected:
  size_t ReleaseWithOwner() override { return PlainReleaseSize<TdomEntityReference>(); }

public:
  // A reference has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}

  // The document's replacement text for the referenced entity.
  virtual void GetReplacementText(std::u16string& text, TXmlErrorType& errorType) const;
  // Rebuilds the children from the replacement text; returns its error type.
  // Text without markup becomes one text node; text with markup is parsed
  // into this reference by the XML parser (its errors propagate, the
  // reference keeps what was built and is read-only again), and the entity
  // references in it are expanded the same way. Nesting deeper than
  // kMaxGeneralEntityDepth gives ET_ENTITY_NESTING_TOO_DEEP, expanding more
  // text than the document allows ET_ENTITY_EXPANSION_TOO_LARGE, a cycle
  // the replacement text's own error; the rest stays unexpanded.
  virtual TXmlErrorType ExpandEntity();

private:
  TXmlErrorType ExpandNestedReferences();

  const TdomQualifiedName* name = nullptr;  // shared, kept by the document's name table
};
