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

template <class T>
T* TdomDocument::StoreFirstData(T* node, const std::u16string& data) {
  // Null when a listener told of the data frees the new node; without one
  // (a parse, as a rule) there is nothing to watch.
  if (!CharacterDataHeard()) {
    node->SetFirstData(data, this);
    return node;
  }
  TWatch made(this, node);
  node->SetFirstData(data, this);
  return static_cast<T*>(made.Node());
}

TdomText* TdomDocument::createTextNode(const std::u16string& data) {
  return StoreFirstData(New<TdomText>(static_cast<TCustomOwnedObject*>(this)), data);
}

TdomCDATASection* TdomDocument::createCDATASection(const std::u16string& data) {
  return StoreFirstData(New<TdomCDATASection>(static_cast<TCustomOwnedObject*>(this)), data);
}

TdomComment* TdomDocument::createComment(const std::u16string& data) {
  return StoreFirstData(New<TdomComment>(static_cast<TCustomOwnedObject*>(this)), data);
}

TdomProcessingInstruction* TdomDocument::createProcessingInstruction(const std::u16string& target,
                                                                     const std::u16string& data) {
  TdomProcessingInstruction* node = New<TdomProcessingInstruction>(this, target);
  // Null when a listener told of the data frees the new node.
  TOwnedRef<TdomProcessingInstruction> made(node);
  node->SetData(data);
  return made.Get();
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
  // Null when a listener told of the insertion freed it.
  TOwnedRef<TdomElement> made(element);
  appendChild(element);
  return made.Get();
}

TdomElement* TdomDocument::CreateDocumentElementNS(const std::u16string& namespaceURI,
                                                   const std::u16string& qualifiedName) {
  std::u16string prefix;
  std::u16string localName;
  CheckQualifiedNameNS(namespaceURI, qualifiedName, /*checkXmlns=*/true, prefix, localName);
  if (GetDocumentElement() != nullptr) throw EHierarchy_Request_Err();
  TdomElement* element = createElementNS(namespaceURI, qualifiedName);
  TOwnedRef<TdomElement> made(element);
  appendChild(element);
  return made.Get();
}
