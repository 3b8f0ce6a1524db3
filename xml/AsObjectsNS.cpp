// Namespace-aware declarations, their model and the document's collection of such models.
#include "xml/AsObjectsNS.h"

#include <algorithm>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomTypes.h"
#include "xml/ParserUtilsNames.h"
#include "xml/WideStrList.h"
#include "xml/XmlRules.h"

void TdomASObjectNS::Create(TdomASModelNS* ownerModel_, const std::u16string& namespaceURI_,
                            const std::u16string& prefix_, const std::u16string& localName_,
                            TdomASObjectType objectType_) {
  if (localName_.empty()) throw EInvalid_Character_Err();
  if (!IsXmlNCName(localName_)) throw EInvalid_Character_Err();
  if (!prefix_.empty()) {
    if (namespaceURI_.empty()) throw ENamespace_Err();
    if (!IsXmlNCName(prefix_)) throw ENamespace_Err();
  }
  if ((prefix_ == u"xmlns" || (prefix_.empty() && localName_ == u"xmlns")) && namespaceURI_ != kXmlnsNamespaceUri)
    throw ENamespace_Err();
  if (prefix_ == u"xml" && namespaceURI_ != kXmlNamespaceUri) throw ENamespace_Err();
  ownerModel = ownerModel_;
  objectType = objectType_;
  namespaceURI = namespaceURI_;
  prefix = prefix_;
  localName = localName_;
}

std::u16string TdomASObjectNS::GetName() const { return prefix.empty() ? localName : prefix + u":" + localName; }

TdomASAttributeDeclNS::~TdomASAttributeDeclNS() { delete enumeration; }

void TdomASAttributeDeclNS::Create(TdomASElementDeclNS* ownerElementDecl_, const std::u16string& namespaceURI_,
                                   const std::u16string& prefix_, const std::u16string& localName_,
                                   const std::u16string& defaultValue_, const TUtilsWideStringList* enumeration_,
                                   TdomASAttributeType attrType_, TdomASValueConstraint defaultType_) {
  TdomASObjectNS::Create(ownerElementDecl_->OwnerModel(), namespaceURI_, prefix_, localName_,
                         AS_ATTRIBUTE_DECLARATION);
  ownerElementDecl = ownerElementDecl_;
  defaultValue = defaultValue_;
  attrType = attrType_;
  defaultType = defaultType_;
  enumeration = new TUtilsWideStringList;
  if (enumeration_ != nullptr) enumeration->AddStrings(enumeration_);
}

TdomASElementDeclNS::~TdomASElementDeclNS() {
  if (attributeDecls == nullptr) return;
  for (int i = attributeDecls->GetLength() - 1; i >= 0; --i) attributeDecls->item(i)->Free();
  attributeDecls->Clear();
  delete attributeDecls;
}

void TdomASElementDeclNS::Create(TdomASModelNS* model, const std::u16string& namespaceURI_,
                                 const std::u16string& prefix_, const std::u16string& localName_,
                                 TdomASContentType contentType_) {
  TdomASObjectNS::Create(model, namespaceURI_, prefix_, localName_, AS_ELEMENT_DECLARATION);
  contentType = contentType_;
  attributeDecls = New<TdomASNamedObjectMapNS>(static_cast<TObject*>(this));
}

TdomASAttributeDeclNS* TdomASElementDeclNS::FindAttributeDeclNS(const std::u16string& namespaceURI,
                                                                const std::u16string& localName) const {
  return static_cast<TdomASAttributeDeclNS*>(attributeDecls->getNamedItemNS(namespaceURI, localName));
}

void TdomASEntityDeclNS::Create(TdomASModelNS* model, const std::u16string& namespaceURI_,
                                const std::u16string& prefix_, const std::u16string& localName_,
                                const std::u16string& value, const std::u16string& publicId_,
                                const std::u16string& systemId_, const std::u16string& notationName_) {
  TdomASObjectNS::Create(model, namespaceURI_, prefix_, localName_, AS_ENTITY_DECLARATION);
  replacementText = value;
  publicId = publicId_;
  systemId = systemId_;
  notationName = notationName_;
}

void TdomASNotationDeclNS::Create(TdomASModelNS* model, const std::u16string& namespaceURI_,
                                  const std::u16string& prefix_, const std::u16string& localName_,
                                  const std::u16string& publicId_, const std::u16string& systemId_) {
  if (!IsXmlPubidChars(publicId_) || !IsXmlQuotableChars(systemId_)) throw EInvalid_Character_Err();
  TdomASObjectNS::Create(model, namespaceURI_, prefix_, localName_, AS_NOTATION_DECLARATION);
  publicId = publicId_;
  systemId = systemId_;
}

bool TdomASContentModelNS::Match(const std::vector<std::u16string>&, size_t&, bool&) const {
  throw ENot_Supported_Err();
}

bool TdomASContentModelNS::MatchOnce(const std::vector<std::u16string>&, size_t&, bool&) const {
  throw ENot_Supported_Err();
}

// --- Models -------------------------------------------------------------------------------

void TdomCustomASModelNS::Create(TDomImplementation* owner) { domImplementation = owner; }

void TdomCustomASModelNS::RemoveUser(TdomASModelCollectionNS* collection) {
  auto it = std::find(usedBy.begin(), usedBy.end(), collection);
  if (it != usedBy.end()) usedBy.erase(it);
}

TdomASModelNS::~TdomASModelNS() {
  while (!UsedBy().empty()) UsedBy().back()->RemoveModel(this);
  if (elementDecls != nullptr && entityDecls != nullptr && notationDecls != nullptr) Clear();
  delete elementDecls;
  delete entityDecls;
  delete notationDecls;
}

void TdomASModelNS::Create(TDomImplementation* owner) {
  TdomCustomASModelNS::Create(owner);
  elementDecls = New<TdomASNamedObjectMapNS>(static_cast<TObject*>(this));
  entityDecls = New<TdomASNamedObjectMapNS>(static_cast<TObject*>(this));
  notationDecls = New<TdomASNamedObjectMapNS>(static_cast<TObject*>(this));
}

void TdomASModelNS::Clear() {
  for (TdomASNamedObjectMapNS* map : {elementDecls, entityDecls, notationDecls}) {
    for (int i = map->GetLength() - 1; i >= 0; --i) map->item(i)->Free();
    map->Clear();
  }
}

TdomASElementDeclNS* TdomASModelNS::FindElementDeclNS(const std::u16string& namespaceURI,
                                                      const std::u16string& localName) const {
  return static_cast<TdomASElementDeclNS*>(elementDecls->getNamedItemNS(namespaceURI, localName));
}

TdomASEntityDeclNS* TdomASModelNS::FindEntityDeclNS(const std::u16string& namespaceURI,
                                                    const std::u16string& localName) const {
  return static_cast<TdomASEntityDeclNS*>(entityDecls->getNamedItemNS(namespaceURI, localName));
}

TdomASNotationDeclNS* TdomASModelNS::FindNotationDeclNS(const std::u16string& namespaceURI,
                                                        const std::u16string& localName) const {
  return static_cast<TdomASNotationDeclNS*>(notationDecls->getNamedItemNS(namespaceURI, localName));
}

namespace {

template <class T, class Make>
bool AddNS(TdomASNamedObjectMapNS* map, const std::u16string& namespaceURI, const std::u16string& qualifiedName,
           T*& declaration, Make make) {
  std::u16string prefix, localName;
  if (!SplitQualifiedName(qualifiedName, prefix, localName)) throw ENamespace_Err();
  declaration = static_cast<T*>(map->getNamedItemNS(namespaceURI, localName));
  if (declaration != nullptr) return false;
  declaration = make(prefix, localName);
  map->setNamedItemNS(declaration);
  return true;
}

bool RemoveNS(TdomASNamedObjectMapNS* map, const std::u16string& namespaceURI, const std::u16string& localName) {
  TdomASObjectNS* decl = map->getNamedItemNS(namespaceURI, localName);
  if (decl == nullptr) return false;
  map->removeNamedItemNS(namespaceURI, localName);
  decl->Free();
  return true;
}

}  // namespace

bool TdomASElementDeclNS::AddAttributeDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                             const std::u16string& defaultValue,
                                             TdomASAttributeDeclNS*& declaration, TdomASAttributeType attrType,
                                             TdomASValueConstraint defaultType,
                                             const TUtilsWideStringList* enumeration) {
  return AddNS(attributeDecls, namespaceURI, qualifiedName, declaration,
               [&](const std::u16string& prefix, const std::u16string& localName) {
                 return New<TdomASAttributeDeclNS>(this, namespaceURI, prefix, localName, defaultValue, enumeration,
                                                   attrType, defaultType);
               });
}

bool TdomASElementDeclNS::RemoveAttributeDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) {
  return RemoveNS(attributeDecls, namespaceURI, localName);
}

TdomASAttributeDeclNS* TdomASModelNS::FindAttributeDeclNS(const std::u16string& elementNamespaceURI,
                                                          const std::u16string& elementLocalName,
                                                          const std::u16string& attributeNamespaceURI,
                                                          const std::u16string& attributeLocalName) const {
  TdomASElementDeclNS* element = FindElementDeclNS(elementNamespaceURI, elementLocalName);
  return element != nullptr ? element->FindAttributeDeclNS(attributeNamespaceURI, attributeLocalName) : nullptr;
}

bool TdomASModelNS::AddElementDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                     TdomASContentType contentType, TdomASElementDeclNS*& declaration) {
  return AddNS(elementDecls, namespaceURI, qualifiedName, declaration,
               [&](const std::u16string& prefix, const std::u16string& localName) {
                 return New<TdomASElementDeclNS>(this, namespaceURI, prefix, localName, contentType);
               });
}

bool TdomASModelNS::AddEntityDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                    const std::u16string& value, const std::u16string& publicId,
                                    const std::u16string& systemId, const std::u16string& notationName,
                                    TdomASEntityDeclNS*& declaration) {
  return AddNS(entityDecls, namespaceURI, qualifiedName, declaration,
               [&](const std::u16string& prefix, const std::u16string& localName) {
                 return New<TdomASEntityDeclNS>(this, namespaceURI, prefix, localName, value, publicId, systemId,
                                                notationName);
               });
}

bool TdomASModelNS::AddNotationDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                      const std::u16string& publicId, const std::u16string& systemId,
                                      TdomASNotationDeclNS*& declaration) {
  return AddNS(notationDecls, namespaceURI, qualifiedName, declaration,
               [&](const std::u16string& prefix, const std::u16string& localName) {
                 return New<TdomASNotationDeclNS>(this, namespaceURI, prefix, localName, publicId, systemId);
               });
}

bool TdomASModelNS::RemoveElementDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) {
  return RemoveNS(elementDecls, namespaceURI, localName);
}
bool TdomASModelNS::RemoveEntityDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) {
  return RemoveNS(entityDecls, namespaceURI, localName);
}
bool TdomASModelNS::RemoveNotationDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) {
  return RemoveNS(notationDecls, namespaceURI, localName);
}

// --- The document's collection -------------------------------------------------------------

TdomASModelCollectionNS::~TdomASModelCollectionNS() { Clear(); }

void TdomASModelCollectionNS::Create(TdomDocument* ownerDocument_) {
  if (ownerDocument_ == nullptr) throw ENot_Supported_Err();
  ownerDocument = ownerDocument_;
}

TdomASElementDeclNS* TdomASModelCollectionNS::FindElementDeclNS(const std::u16string& namespaceURI,
                                                                const std::u16string& localName) const {
  for (TdomASModelNS* model : models)
    if (TdomASElementDeclNS* decl = model->FindElementDeclNS(namespaceURI, localName)) return decl;
  return nullptr;
}

TdomASAttributeDeclNS* TdomASModelCollectionNS::FindAttributeDeclNS(const std::u16string& elementNamespaceURI,
                                                                    const std::u16string& elementLocalName,
                                                                    const std::u16string& attributeNamespaceURI,
                                                                    const std::u16string& attributeLocalName) const {
  for (TdomASModelNS* model : models)
    if (TdomASAttributeDeclNS* decl =
            model->FindAttributeDeclNS(elementNamespaceURI, elementLocalName, attributeNamespaceURI, attributeLocalName))
      return decl;
  return nullptr;
}

TdomASEntityDeclNS* TdomASModelCollectionNS::FindEntityDeclNS(const std::u16string& namespaceURI,
                                                              const std::u16string& localName) const {
  for (TdomASModelNS* model : models)
    if (TdomASEntityDeclNS* decl = model->FindEntityDeclNS(namespaceURI, localName)) return decl;
  return nullptr;
}

TdomASModelNS* TdomASModelCollectionNS::GetModel(int index) const {
  if (index < 0 || index >= GetModelCount()) return nullptr;
  return models[static_cast<size_t>(index)];
}

void TdomASModelCollectionNS::CheckNewModel(const TdomASModelNS* model) const {
  if (model == nullptr) throw ENot_Supported_Err();
  if (model->DomImplementation() != ownerDocument->GetDomImplementation()) throw EWrong_DOM_Implementation_Err();
  if (std::find(models.begin(), models.end(), model) != models.end())
    throw EInuse_Err(DomMessage::kInuseASModel);
}

int TdomASModelCollectionNS::AddModel(TdomASModelNS* model) {
  CheckNewModel(model);
  models.push_back(model);
  model->AddUser(this);
  return GetModelCount() - 1;
}

void TdomASModelCollectionNS::InsertModel(int index, TdomASModelNS* model) {
  CheckNewModel(model);
  if (index < 0 || index > GetModelCount()) throw EIndex_Size_Err();
  models.insert(models.begin() + index, model);
  model->AddUser(this);
}

void TdomASModelCollectionNS::RemoveModel(TdomASModelNS* model) {
  if (model == nullptr) throw ENot_Supported_Err();
  auto it = std::find(models.begin(), models.end(), model);
  if (it == models.end()) return;
  models.erase(it);
  model->RemoveUser(this);
}

void TdomASModelCollectionNS::Clear() {
  for (TdomASModelNS* model : models) model->RemoveUser(this);
  models.clear();
}
