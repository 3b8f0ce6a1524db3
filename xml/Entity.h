#pragma once
// TdomEntity: a declared entity. An external entity (with a public or system
// ID) takes no children; an internal one takes element content.
#include <string>

#include "xml/Node.h"

// The checks of a declared entity or notation: name an XML Name, systemId
// quotable, publicId of public-ID characters; EInvalid_Character_Err otherwise.
void CheckDeclaredName(const std::u16string& name, const std::u16string& publicId, const std::u16string& systemId);

class TdomEntity : public TdomNode {
public:
  // name an XML Name, systemId quotable, publicId of public-ID characters,
  // else EInvalid_Character_Err.
  virtual void Create(TdomDocument* document_, const std::u16string& name_, const std::u16string& publicId_,
                      const std::u16string& systemId_, const std::u16string& notationName_);

  std::u16string GetNodeName() const override { return name; }
  TdomNodeType GetNodeType() const override { return ntEntity_Node; }
  // An entity has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}

  std::u16string GetNotationName() const { return notationName; }
  std::u16string GetPublicId() const { return publicId; }
  std::u16string GetSystemId() const { return systemId; }
  bool IsExternal() const { return !publicId.empty() || !systemId.empty(); }
  // Three further texts, copied on import and otherwise left to the caller.
  std::u16string inputEncoding;
  std::u16string xmlEncoding;
  std::u16string xmlVersion;

  // External entities raise ENo_Modification_Allowed_Err "No modification allowed error.".
  TdomNode* appendChild(TdomNode* newChild) override;
  TdomNode* insertBefore(TdomNode* newChild, TdomNode* refChild) override;
  TdomNode* replaceChild(TdomNode* newChild, TdomNode* oldChild) override;

private:
  void CheckInternal() const;

  std::u16string name;
  std::u16string notationName;
  std::u16string publicId;
  std::u16string systemId;
};
