#include "xml/Entity.h"

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/XmlRules.h"

void CheckDeclaredName(const std::u16string& name, const std::u16string& publicId, const std::u16string& systemId) {
  if (!IsXmlName(name)) throw EInvalid_Character_Err();
  if (!IsXmlQuotableChars(systemId)) throw EInvalid_Character_Err();
  if (!IsXmlPubidChars(publicId)) throw EInvalid_Character_Err();
}

void TdomEntity::Create(TdomDocument* document_, const std::u16string& name_, const std::u16string& publicId_,
                        const std::u16string& systemId_, const std::u16string& notationName_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(kContentChildTypes);
  CheckDeclaredName(name_, publicId_, systemId_);
  name = name_;
  publicId = publicId_;
  systemId = systemId_;
  notationName = notationName_;
}

void TdomEntity::CheckInternal() const {
  if (IsExternal()) throw ENo_Modification_Allowed_Err();
}

TdomNode* TdomEntity::appendChild(TdomNode* newChild) {
  CheckInternal();
  return TdomNode::appendChild(newChild);
}

TdomNode* TdomEntity::insertBefore(TdomNode* newChild, TdomNode* refChild) {
  CheckInternal();
  return TdomNode::insertBefore(newChild, refChild);
}

TdomNode* TdomEntity::replaceChild(TdomNode* newChild, TdomNode* oldChild) {
  CheckInternal();
  return TdomNode::replaceChild(newChild, oldChild);
}
