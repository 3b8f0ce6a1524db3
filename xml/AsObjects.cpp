// Declarations, their model, and the checks their constructors make.
#include "xml/AsObjects.h"

#include "xml/AsContentAutomaton.h"
#include "xml/AsModelCollection.h"
#include "xml/DocumentType.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/WideStrList.h"
#include "xml/XmlRules.h"

void TdomASObject::Create(TdomASModel* ownerModel_, const std::u16string& name_, TdomASObjectType objectType_) {
  ownerModel = ownerModel_;
  name = name_;
  objectType = objectType_;
}

// --- Attribute declarations ---------------------------------------------------------

TdomASAttributeDecl::~TdomASAttributeDecl() { delete enumeration; }

void TdomASAttributeDecl::Create(TdomASElementDecl* ownerElementDecl_, const std::u16string& name_,
                                 const std::u16string& defaultValue_, const TUtilsWideStringList* enumeration_,
                                 TdomASAttributeType attrType_, TdomASValueConstraint defaultType_) {
  if (!IsXmlName(name_)) throw EInvalid_Character_Err();
  TdomASObject::Create(ownerElementDecl_->OwnerModel(), name_, AS_ATTRIBUTE_DECLARATION);
  ownerElementDecl = ownerElementDecl_;
  defaultValue = defaultValue_;
  attrType = attrType_;
  defaultType = defaultType_;
  enumeration = new TUtilsWideStringList;
  if (enumeration_ != nullptr) enumeration->AddStrings(enumeration_);
}

// --- Notation declarations ----------------------------------------------------------

void TdomASNotationDecl::Create(TdomASModel* model, const std::u16string& name_, const std::u16string& publicId_,
                                const std::u16string& systemId_) {
  if (!IsXmlName(name_) || !IsXmlPubidChars(publicId_) || !IsXmlQuotableChars(systemId_))
    throw EInvalid_Character_Err();
  TdomASObject::Create(model, name_, AS_NOTATION_DECLARATION);
  publicId = publicId_;
  systemId = systemId_;
}

// --- Element declarations -----------------------------------------------------------

TdomASElementDecl::~TdomASElementDecl() {
  if (attributeDecls != nullptr && createdContentModels != nullptr) Clear();
  delete attributeDecls;
  delete createdContentModels;
}

void TdomASElementDecl::Create(TdomASModel* model, TdomASContentType contentType_, const std::u16string& name_) {
  if (!IsXmlName(name_)) throw EInvalid_Character_Err();
  TdomASObject::Create(model, name_, AS_ELEMENT_DECLARATION);
  attributeDecls = New<TdomASNamedObjectMap>(static_cast<TObject*>(this));
  createdContentModels = New<TdomASObjectList>();
  contentType = AS_UNKNOWN_CONTENTTYPE;
  SetContentType(contentType_);
}

void TdomASElementDecl::SetContentType(TdomASContentType value) {
  if (contentType != AS_UNKNOWN_CONTENTTYPE) throw ENo_Modification_Allowed_Err();
  contentType = value;
  bool hasModel = value == AS_ELEMENT_CONTENTTYPE || value == AS_MIXED_CONTENTTYPE ||
                  value == AS_STRICT_MIXED_CONTENTTYPE;
  allowedContentModels = hasModel ? TdomASTypeSet((1 << 0) | (1 << AS_CHOICE) | (1 << AS_SEQUENCE)) : 0;
}

void TdomASElementDecl::Clear() {
  for (int i = attributeDecls->GetLength() - 1; i >= 0; --i) attributeDecls->item(i)->Free();
  attributeDecls->Clear();
  for (int i = createdContentModels->GetLength() - 1; i >= 0; --i) createdContentModels->item(i)->Free();
  createdContentModels->Clear();
  contentModel = nullptr;
  ContentModelChanged();
  if (ownerModel != nullptr) ownerModel->Touch();
}

TdomASContentModel* TdomASElementDecl::CreateContentModel(const std::u16string& name_, uint8_t type) {
  TdomASContentModel* model = New<TdomASContentModel>(this, type, name_);
  createdContentModels->appendASObject(model);
  return model;
}

TdomASAttributeDecl* TdomASElementDecl::FindAttributeDecl(const std::u16string& name_) const {
  return static_cast<TdomASAttributeDecl*>(attributeDecls->getNamedItem(name_));
}

void TdomASElementDecl::FreeContentModel(TdomASContentModel*& model) {
  if (model == nullptr) return;
  // Only this declaration's own models: another declaration still lists its own.
  if (model->OwnerElementDecl() != this) throw EAS_Wrong_Element_Decl_Err();
  if (model->InUse()) throw EInuse_Err(DomMessage::kContentModelInUse);
  // Iterative: sub-models are detached level by level, so nesting depth costs no stack.
  std::vector<TdomASContentModel*> pending{model};
  while (!pending.empty()) {
    TdomASContentModel* current = pending.back();
    pending.pop_back();
    TdomASObjectList* subs = current->SubModels();
    for (int i = subs->GetLength() - 1; i >= 0; --i) {
      auto* sub = static_cast<TdomASContentModel*>(subs->item(i));
      current->RemoveSubModel(sub);
      pending.push_back(sub);
    }
    createdContentModels->removeASObject(current);
    current->Free();
  }
  model = nullptr;
  ContentModelChanged();
}

bool TdomASElementDecl::RemoveAttributeDecl(const std::u16string& name_) {
  TdomASObject* decl = attributeDecls->getNamedItem(name_);
  if (decl == nullptr) return false;
  attributeDecls->removeNamedItem(name_);
  decl->Free();
  if (ownerModel != nullptr) ownerModel->Touch();
  return true;
}

TdomASContentModel* TdomASElementDecl::ReplaceContentModel(TdomASContentModel* model) {
  TdomASContentModel* previous = contentModel;
  if (model == contentModel) return previous;
  if (model != nullptr) {
    if (model->OwnerElementDecl() != this) throw EAS_Wrong_Element_Decl_Err();
    if (!ASTypeInSet(allowedContentModels, model->ContentModelType())) throw ENot_Supported_Err();
    if (model->InUse()) throw EInuse_Err(DomMessage::kContentModelInUse);
    model->SetInUse(true);
  }
  if (previous != nullptr) previous->SetInUse(false);
  contentModel = model;
  ContentModelChanged();
  return previous;
}

bool TdomASElementDecl::AddAttributeDecl(const std::u16string& name_, const std::u16string& defaultValue,
                                         TdomASAttributeDecl*& declaration, TdomASAttributeType attrType,
                                         TdomASValueConstraint defaultType, const TUtilsWideStringList* enumeration) {
  declaration = FindAttributeDecl(name_);
  if (declaration != nullptr) return false;
  declaration = New<TdomASAttributeDecl>(this, name_, defaultValue, enumeration, attrType, defaultType);
  attributeDecls->setNamedItem(declaration);
  if (ownerModel != nullptr) ownerModel->Touch();
  return true;
}

const TdomASContentAutomaton* TdomASElementDecl::Automaton() const {
  if (contentModel == nullptr) return nullptr;
  if (automaton == nullptr || automatonStamp != contentStamp) {
    automaton = std::make_unique<TdomASContentAutomaton>(contentModel);
    automatonStamp = contentStamp;
  }
  return automaton.get();
}

// --- Models -------------------------------------------------------------------------

namespace {
void FreeAll(TdomASNamedObjectMap* map) {
  for (int i = map->GetLength() - 1; i >= 0; --i) map->item(i)->Free();
  map->Clear();
}
}  // namespace

TdomASModel::~TdomASModel() {
  if (elementDecls != nullptr && entityDecls != nullptr && notationDecls != nullptr) Clear();
  delete elementDecls;
  delete entityDecls;
  delete notationDecls;
}

void TdomASModel::Create(TCustomOwnedObject* owner) {
  TCustomOwnedObject::Create(owner);
  elementDecls = New<TdomASNamedObjectMap>(static_cast<TObject*>(this));
  entityDecls = New<TdomASNamedObjectMap>(static_cast<TObject*>(this));
  notationDecls = New<TdomASNamedObjectMap>(static_cast<TObject*>(this));
}

void TdomASModel::Clear() {
  Touch();
  FreeAll(elementDecls);
  FreeAll(entityDecls);
  FreeAll(notationDecls);
}

TdomASAttributeDecl* TdomASModel::FindAttributeDecl(const std::u16string& elementName,
                                                    const std::u16string& attributeName) const {
  TdomASElementDecl* element = FindElementDecl(elementName);
  return element != nullptr ? element->FindAttributeDecl(attributeName) : nullptr;
}

TdomASElementDecl* TdomASModel::FindElementDecl(const std::u16string& name) const {
  return static_cast<TdomASElementDecl*>(elementDecls->getNamedItem(name));
}

TdomASEntityDecl* TdomASModel::FindEntityDecl(const std::u16string& name) const {
  return static_cast<TdomASEntityDecl*>(entityDecls->getNamedItem(name));
}

TdomASNotationDecl* TdomASModel::FindNotationDecl(const std::u16string& name) const {
  return static_cast<TdomASNotationDecl*>(notationDecls->getNamedItem(name));
}

namespace {
bool RemoveFrom(TdomASModel* model, TdomASNamedObjectMap* map, const std::u16string& name) {
  model->Touch();
  TdomASObject* decl = map->getNamedItem(name);
  if (decl == nullptr) return false;
  map->removeNamedItem(name);
  decl->Free();
  return true;
}
}  // namespace

bool TdomASModel::RemoveElementDecl(const std::u16string& name) { return RemoveFrom(this, elementDecls, name); }
bool TdomASModel::RemoveEntityDecl(const std::u16string& name) { return RemoveFrom(this, entityDecls, name); }
bool TdomASModel::RemoveNotationDecl(const std::u16string& name) { return RemoveFrom(this, notationDecls, name); }

bool TdomASModel::AddElementDecl(const std::u16string& name, TdomASContentType contentType,
                                 TdomASElementDecl*& declaration) {
  declaration = FindElementDecl(name);
  Touch();
  if (declaration == nullptr) {
    declaration = New<TdomASElementDecl>(this, contentType, name);
    elementDecls->setNamedItem(declaration);
    return true;
  }
  if (declaration->ContentType() != AS_UNKNOWN_CONTENTTYPE) return false;
  declaration->SetContentType(contentType);
  return true;
}

bool TdomASModel::AddEntityDecl(const std::u16string& name, const std::u16string& value,
                                TdomASEntityDecl*& declaration, const std::u16string& notationName,
                                const std::u16string& systemId, const std::u16string& publicId) {
  declaration = FindEntityDecl(name);
  if (declaration != nullptr) return false;
  Touch();
  declaration = New<TdomASEntityDecl>(this, notationName, systemId, publicId, value, name);
  entityDecls->setNamedItem(declaration);
  return true;
}

bool TdomASModel::AddNotationDecl(const std::u16string& name, const std::u16string& publicId,
                                  TdomASNotationDecl*& declaration, const std::u16string& systemId) {
  declaration = FindNotationDecl(name);
  if (declaration != nullptr) return false;
  Touch();
  declaration = New<TdomASNotationDecl>(this, name, publicId, systemId);
  notationDecls->setNamedItem(declaration);
  return true;
}

TdomASModelCollection* TdomASModel::Collection() const { return dynamic_cast<TdomASModelCollection*>(GetOwner()); }

TDomImplementation* TdomASModel::DomImplementation() const {
  TdomASModelCollection* collection = Collection();
  return collection != nullptr ? collection->DomImplementation() : nullptr;
}
