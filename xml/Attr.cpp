#include "xml/Attr.h"

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/Element.h"
#include "xml/ParserUtilsNames.h"
#include "xml/XmlRules.h"

void CheckQualifiedNameNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                          bool checkXmlns, std::u16string& prefix, std::u16string& localName) {
  if (!SplitQualifiedName(qualifiedName, prefix, localName)) {
    if (IsXmlName(qualifiedName)) throw ENamespace_Err();
    throw EInvalid_Character_Err();
  }
  if (checkXmlns && (prefix == u"xmlns" || qualifiedName == u"xmlns") && namespaceURI != kXmlnsNamespaceUri) {
    throw ENamespace_Err();
  }
  if (namespaceURI.empty() && !prefix.empty()) throw ENamespace_Err();
  if (prefix == u"xml" && namespaceURI != kXmlNamespaceUri) throw ENamespace_Err();
}

TdomAttr::~TdomAttr() {
  // Freed with its document, its element (and the map) go in the same batch.
  if (ownerMap == nullptr || FreedWithOwner()) return;
  // A document that is going reports nothing: just leave the map.
  if (TdomDocument* doc = GetOwnerDocument(); doc != nullptr && doc->IsDestroying()) {
    ownerMap->DropIndex();
    ownerMap->RemoveItem(this);
    return;
  }
  TdomElement* owner = GetOwnerElement();
  if (owner == nullptr) return;
  bool wasReadOnly = owner->GetReadOnly();
  owner->SetReadOnly(false);
  // The removal's report may run a listener that frees the element.
  TOwnedRef<TdomElement> ownerAlive(owner);
  try {
    owner->removeAttributeNode(this);
  } catch (...) {
    // Leaving the map cannot be refused here; take the attribute out directly.
    if (ownerMap != nullptr) ownerMap->RemoveItem(this);
  }
  if (ownerAlive) owner->SetReadOnly(wasReadOnly);
}

void TdomAttr::Create(TdomDocument* document_, bool specified_, const std::u16string& name) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  this->name = PlainXmlNameIn(GetOwnerDocument(), name);
  if (this->name == nullptr) throw EInvalid_Character_Err();
  SetSpecified(specified_);
  // Most names do not start with "xmlns": one look at the first unit settles them.
  if (name[0] != u'x') {
    SetDeclarationKind(AT_OTHER);
  } else if (name == u"xmlns") {
    SetDeclarationKind(AT_DEFAULT_NAMESPACE_DECL);
  } else if (IsXmlPrefixedAttName(name)) {
    SetDeclarationKind(AT_PREFIXED_NAMESPACE_DECL);
  } else {
    SetDeclarationKind(AT_OTHER);
  }
}

void TdomAttr::Create(TdomDocument* document_, bool specified_, const std::u16string& namespaceURI_,
                      const std::u16string& qualifiedName) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  std::u16string prefix;
  std::u16string localName;
  CheckQualifiedNameNS(namespaceURI_, qualifiedName, /*checkXmlns=*/true, prefix, localName);
  if (prefix == u"xmlns") {
    SetDeclarationKind(AT_PREFIXED_NAMESPACE_DECL);
  } else if (qualifiedName == u"xmlns") {
    SetDeclarationKind(AT_DEFAULT_NAMESPACE_DECL);
  } else {
    SetDeclarationKind(AT_OTHER);
  }
  SetNames(namespaceURI_, prefix, localName);
  SetSpecified(specified_);
  SetNamespaceAware(true);
}

void TdomAttr::SetNames(std::u16string_view namespaceURI_, std::u16string_view prefix_,
                        std::u16string_view localName_) {
  name = QualifiedNameIn(GetOwnerDocument(), namespaceURI_, prefix_, localName_);
}

TdomElement* TdomAttr::GetOwnerElement() const {
  if (ownerMap == nullptr) return nullptr;
  TdomNode* owner = ownerMap->GetOwnerNode();
  if (owner == nullptr || owner->GetNodeType() != ntElement_Node) return nullptr;
  return static_cast<TdomElement*>(owner);
}

TdomNode* TdomAttr::GetPositionParent() const { return GetOwnerElement(); }

std::u16string TdomAttr::GetValue() const {
  TdomDocument* doc = GetOwnerDocument();
  if (doc == nullptr) return GetNodeValue();
  std::u16string value;
  TXmlErrorType errorType = ET_NONE;
  doc->CalculateNormalizedAttrValue(this, value, errorType);
  if (!IsHintOrWarningErrorType(errorType)) throw EConvertError("Attribute value normalization failed.");
  return value;
}

void TdomAttr::SetNodeValue(const std::u16string& value) {
  TdomNode::SetNodeValue(value);
  // A value given to a default makes it the user's own.
  SetSpecified(true);
  DoAttrModified(AC_MODIFICATION);
}

void TdomAttr::SetNormalizedValue(const std::u16string& value) {
  TdomNode::SetNodeValue(value);
  DoAttrModified(AC_MODIFICATION);
}

void TdomAttr::SetFirstValue(const std::u16string& value) {
  if (ownerMap != nullptr) {
    SetNodeValue(value);
    return;
  }
  CheckNodeWritable();
  // The same values come back again and again in most documents (a flag,
  // a kind, a count): they are kept once.
  StoreSharedNodeValue(value);
}

void TdomAttr::SetPrefix(const std::u16string& prefix_) {
  if (!IsXmlName(prefix_)) throw EInvalid_Character_Err();
  CheckNodeWritable();
  if (!IsXmlNCName(prefix_)) throw ENamespace_Err();
  const std::u16string& namespaceURI = name->namespaceURI;
  if (namespaceURI.empty()) throw ENamespace_Err();
  if (prefix_ == u"xml" && namespaceURI != kXmlNamespaceUri) throw ENamespace_Err();
  if (prefix_ == u"xmlns" && namespaceURI != kXmlnsNamespaceUri) throw ENamespace_Err();
  if (name->nodeName == u"xmlns") throw ENamespace_Err();
  SetNames(name->namespaceURI, prefix_, name->localName);
  if (ownerMap != nullptr) ownerMap->ItemRenamed();
}

void TdomAttr::ClearPrefix() {
  CheckNodeWritable();
  if (!IsNamespaceAware()) throw ENamespace_Err();
  SetNames(name->namespaceURI, std::u16string_view(), name->localName);
  if (ownerMap != nullptr) ownerMap->ItemRenamed();
}

std::u16string TdomAttr::lookupNamespaceURI(const std::u16string& prefix_) const {
  if (prefix_.empty()) return std::u16string();
  if (TdomElement* owner = GetOwnerElement()) return owner->lookupNamespaceURI(prefix_);
  return TdomNode::lookupNamespaceURI(prefix_);
}

void TdomAttr::DoAttrModified(TdomAttrChange attrChange) {
  if (TdomElement* owner = GetOwnerElement()) owner->DoAttrModified(owner, attrChange, this);
}

bool TdomAttr::IsXmlBaseAttribute() const {
  if (name->namespaceURI == kXmlNamespaceUri && name->localName == u"base") return true;
  return name->namespaceURI.empty() && name->nodeName == u"xml:base";
}
