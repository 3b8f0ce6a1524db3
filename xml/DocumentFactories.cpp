// The document's node factories: every node made here is owned by the
// document and not yet inserted anywhere.
#include "xml/Attr.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DocumentFragment.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomProcessingInstruction.h"
#include "xml/Element.h"
#include "xml/Entity.h"
#include "xml/EntityReference.h"
#include "xml/Notation.h"
#include "xml/XmlRules.h"

TdomElement* TdomDocument::createElement(const std::u16string& tagName) { return New<TdomElement>(this, tagName); }

TdomElement* TdomDocument::createElementNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName) {
  return New<TdomElement>(this, namespaceURI, qualifiedName);
}

TdomAttr* TdomDocument::createAttribute(const std::u16string& name) {
  return New<TdomAttr>(this, /*specified=*/true, name);
}

TdomAttr* TdomDocument::createAttributeNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName) {
  return New<TdomAttr>(this, /*specified=*/true, namespaceURI, qualifiedName);
}

TdomText* TdomDocument::createTextNode(const std::u16string& data) {
  TdomText* node = New<TdomText>(static_cast<TCustomOwnedObject*>(this));
  node->SetFirstData(data, this);
  return node;
}

TdomCDATASection* TdomDocument::createCDATASection(const std::u16string& data) {
  TdomCDATASection* node = New<TdomCDATASection>(static_cast<TCustomOwnedObject*>(this));
  node->SetFirstData(data, this);
  return node;
}

TdomComment* TdomDocument::createComment(const std::u16string& data) {
  TdomComment* node = New<TdomComment>(static_cast<TCustomOwnedObject*>(this));
  node->SetFirstData(data, this);
  return node;
}

TdomProcessingInstruction* TdomDocument::createProcessingInstruction(const std::u16string& target,
                                                                     const std::u16string& data) {
  TdomProcessingInstruction* node = New<TdomProcessingInstruction>(this, target);
  node->SetData(data);
  return node;
}

TdomDocumentFragment* TdomDocument::createDocumentFragment() {
  return New<TdomDocumentFragment>(static_cast<TCustomOwnedObject*>(this));
}

TdomEntityReference* TdomDocument::createEntityReference(const std::u16string& name) {
  return New<TdomEntityReference>(this, name);
}

TdomDocumentTypeDecl* TdomDocument::createDocumentTypeDecl(const std::u16string& name, const std::u16string& publicId,
                                                           const std::u16string& systemId,
                                                           const std::u16string& internalSubset) {
  return New<TdomDocumentTypeDecl>(this, name, publicId, systemId, internalSubset);
}

TdomEntity* TdomDocument::createEntity(const std::u16string& name, const std::u16string& publicId,
                                       const std::u16string& systemId, const std::u16string& notationName) {
  return New<TdomEntity>(this, name, publicId, systemId, notationName);
}

TdomNotation* TdomDocument::createNotation(const std::u16string& name, const std::u16string& publicId,
                                           const std::u16string& systemId) {
  return New<TdomNotation>(this, name, publicId, systemId);
}

TdomElement* TdomDocument::CreateDocumentElement(const std::u16string& tagName) {
  if (!IsXmlName(tagName)) throw EInvalid_Character_Err();
  if (GetDocumentElement() != nullptr) throw EHierarchy_Request_Err();
  TdomElement* element = createElement(tagName);
  appendChild(element);
  return element;
}

TdomElement* TdomDocument::CreateDocumentElementNS(const std::u16string& namespaceURI,
                                                   const std::u16string& qualifiedName) {
  std::u16string prefix;
  std::u16string localName;
  CheckQualifiedNameNS(namespaceURI, qualifiedName, /*checkXmlns=*/true, prefix, localName);
  if (GetDocumentElement() != nullptr) throw EHierarchy_Request_Err();
  TdomElement* element = createElementNS(namespaceURI, qualifiedName);
  appendChild(element);
  return element;
}
