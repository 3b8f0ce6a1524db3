#include "xml/DomImplementation.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "xml/AsObjectsNS.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/NodeList.h"
#include "xml/ParseError.h"
#include "xml/ParserUtilsNames.h"
#include "xml/XmlRules.h"

TDomImplementation::~TDomImplementation() {
  // No hold from here on: the last one may be what is deleting it.
  destroying = true;
  FreeAll();
  delete documentsView;
  delete documentTypesView;
}

void TDomImplementation::Create(TComponent* owner) {
  TDomBaseComponent::Create(owner);
  documentsView = new TdomNodeList(&documents);
  documentTypesView = new TdomNodeList(&documentTypes);
}

TdomDocument* TDomImplementation::CreateDocumentInstance() { return New<TdomDocument>(this, nullptr); }

TdomDocument* TDomImplementation::CreateDocumentInstance(const std::u16string&, TdomDocumentType* doctype) {
  return New<TdomDocument>(this, doctype);
}

TdomDocument* TDomImplementation::CreateDocumentInstance(const std::u16string&, const std::u16string&,
                                                         TdomDocumentType* doctype) {
  return New<TdomDocument>(this, doctype);
}

TdomDocument* TDomImplementation::RegisterDocument(TdomDocument* document) {
  documents.push_back(document);
  return document;
}

TdomDocument* TDomImplementation::CreateEmptyDocument() { return RegisterDocument(CreateDocumentInstance()); }

TdomDocument* TDomImplementation::CreateDocumentNoNS(const std::u16string& tagName, TdomDocumentType* doctype) {
  if (!IsXmlName(tagName)) throw EInvalid_Character_Err();
  return RegisterWithElement(CreateDocumentInstance(tagName, doctype),
                             [&](TdomDocument* document) { document->CreateDocumentElement(tagName); });
}

TdomDocument* TDomImplementation::RegisterWithElement(TdomDocument* document,
                                                      const std::function<void(TdomDocument*)>& makeElement) {
  // The listeners told of the element may free the document, or this
  // implementation (and with it every document it made): neither goes
  // before this returns, and then the answer is null.
  std::optional<THold> self;
  if (!destroying) self.emplace(this);
  TdomDocumentWatch hold(document);
  try {
    makeElement(document);
  } catch (...) {
    if (!hold.DocumentGone()) document->Free();
    throw;
  }
  if (hold.DocumentGone()) return nullptr;
  if (Going()) {
    document->Free();
    return nullptr;
  }
  return RegisterDocument(document);
}

TdomDocument* TDomImplementation::createDocument(const std::u16string& namespaceURI,
                                                 const std::u16string& qualifiedName, TdomDocumentType* doctype) {
  if (doctype != nullptr && (doctype->GetOwnerDocument() != nullptr || !OwnsDocumentType(doctype))) {
    throw EWrong_Document_Err();
  }
  std::u16string prefix;
  std::u16string localName;
  if (!SplitQualifiedName(qualifiedName, prefix, localName)) {
    if (IsXmlName(qualifiedName)) throw ENamespace_Err();
    throw EInvalid_Character_Err();
  }
  if ((prefix == u"xmlns" || qualifiedName == u"xmlns") && namespaceURI != kXmlnsNamespaceUri) {
    throw ENamespace_Err();
  }
  if (namespaceURI.empty() && !prefix.empty()) throw ENamespace_Err();
  if (prefix == u"xml" && namespaceURI != kXmlNamespaceUri) throw ENamespace_Err();
  return RegisterWithElement(CreateDocumentInstance(namespaceURI, qualifiedName, doctype), [&](TdomDocument* document) {
    document->CreateDocumentElementNS(namespaceURI, qualifiedName);
  });
}

TdomDocumentType* TDomImplementation::createDocumentType(const std::u16string& qualifiedName,
                                                         const std::u16string& publicId,
                                                         const std::u16string& systemId) {
  if (!IsXmlName(qualifiedName)) throw EInvalid_Character_Err();
  if (!IsXmlQName(qualifiedName)) throw ENamespace_Err();
  TdomDocumentType* doctype = New<TdomDocumentType>(this, qualifiedName, publicId, systemId);
  documentTypes.push_back(doctype);
  return doctype;
}

TdomASModelNS* TDomImplementation::CreateASModelNS() {
  TdomASModelNS* model = New<TdomASModelNS>(this);
  asModels.push_back(model);
  return model;
}

bool TDomImplementation::OwnsDocument(const TdomDocument* document) const {
  return std::find(documents.begin(), documents.end(), document) != documents.end();
}

bool TDomImplementation::OwnsDocumentType(const TdomDocumentType* doctype) const {
  return std::find(documentTypes.begin(), documentTypes.end(), doctype) != documentTypes.end();
}

void TDomImplementation::FreeDocument(TdomDocument*& document) {
  if (document == nullptr) return;
  if (!OwnsDocument(document)) throw ENot_Found_Err(DomMessage::kDocumentNotFound);
  // Read the type first: freeing the document detaches it.
  TdomDocumentType* doctype = document->GetDoctype();
  if (doctype != nullptr && !OwnsDocumentType(doctype)) throw ENot_Found_Err(DomMessage::kDocumentTypeNotFound);
  // Its listeners and deletion handlers may free this implementation: it
  // stays in memory until the document and its type are gone.
  std::optional<THold> self;
  if (!destroying) self.emplace(this);
  documents.erase(std::find(documents.begin(), documents.end(), document));
  std::exchange(document, nullptr)->Free();
  // A handler may have freed the type once the document let go of it.
  if (doctype != nullptr && OwnsDocumentType(doctype)) FreeDocumentType(doctype);
}

void TDomImplementation::FreeDocumentType(TdomDocumentType*& doctype) {
  if (doctype == nullptr) return;
  if (!OwnsDocumentType(doctype)) throw ENot_Found_Err(DomMessage::kDocumentTypeNotFound);
  if (doctype->GetOwnerDocument() != nullptr) throw EInuse_Err(DomMessage::kInuseDocumentType);
  documentTypes.erase(std::find(documentTypes.begin(), documentTypes.end(), doctype));
  doctype->Free();
  doctype = nullptr;
}

void TDomImplementation::FreeASModel(TdomASModelNS*& model) {
  if (model == nullptr) return;
  auto it = std::find(asModels.begin(), asModels.end(), model);
  if (it == asModels.end()) throw ENot_Found_Err(DomMessage::kASModelNotFound);
  asModels.erase(it);
  model->Free();
  model = nullptr;
}

void TDomImplementation::FreeUnusedASModels() {
  for (size_t i = asModels.size(); i-- > 0;) {
    if (!asModels[i]->UsedBy().empty()) continue;
    TdomASModelNS* model = asModels[i];
    asModels.erase(asModels.begin() + static_cast<std::ptrdiff_t>(i));
    model->Free();
  }
}

void TDomImplementation::Clear() {
  // A document's listeners and deletion handlers may free this
  // implementation: it stays in memory until everything is gone.
  std::optional<THold> self;
  if (!destroying) self.emplace(this);
  FreeAll();
}

void TDomImplementation::FreeAll() {
  // Documents leave the list before they go, so the views never show a freed one.
  while (!documents.empty()) {
    TdomDocument* document = static_cast<TdomDocument*>(documents.front());
    documents.erase(documents.begin());
    document->Free();
  }
  while (!documentTypes.empty()) {
    TdomNode* doctype = documentTypes.back();
    documentTypes.pop_back();
    doctype->Free();
  }
  while (!asModels.empty()) {
    TdomASModelNS* model = asModels.back();
    asModels.pop_back();
    model->Free();
  }
}

namespace {

// ASCII case-insensitive comparison with an upper-case ASCII literal.
bool SameFeature(const std::u16string& text, std::u16string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

bool TDomImplementation::hasFeature(const std::u16string& feature, const std::u16string& version) const {
  if (SameFeature(feature, u"XML")) return version == u"1.0" || version == u"2.0" || version.empty();
  if (SameFeature(feature, u"VIEWS") || SameFeature(feature, u"TRAVERSAL")) return version == u"2.0";
  return false;
}

bool TDomImplementation::HandleError(const TdomDocumentWatch& hold, TObject* sender, TdomError* error) {
  if (error == nullptr) throw ENot_Supported_Err();
  bool go = true;
  DoError(hold, sender, error, go);
  return go;
}

void TDomImplementation::DoError(const TdomDocumentWatch& hold, TObject* sender, TdomError* error, bool& go) {
  go = error->GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
  if (OnError && errorEventLock == 0) hold.Call(OnError, sender, error, go);
}

void TDomImplementation::DisableErrorEvents() {
  if (errorEventLock == 0xFFFF) throw EIntOverflow("Integer overflow");
  ++errorEventLock;
}

void TDomImplementation::EnableErrorEvents() {
  if (errorEventLock == 0) throw EIntOverflow("Integer overflow");
  --errorEventLock;
}

void TDomImplementation::DoAttrModified(const TdomDocumentWatch& hold, TdomNode* modifiedNode,
                                        TdomAttrChange attrChange, TdomAttr* relatedAttr) {
  hold.Call(OnAttrModified, this, modifiedNode, attrChange, relatedAttr);
}

void TDomImplementation::DoCharacterDataModified(const TdomDocumentWatch& hold, TdomNode* node) {
  hold.Call(OnCharacterDataModified, this, node);
}

void TDomImplementation::DoNodeClearing(const TdomDocumentWatch& hold, TdomNode* node) {
  hold.Call(OnNodeClearing, this, node);
}

void TDomImplementation::DoNodeInserted(const TdomDocumentWatch& hold, TdomNode* node) {
  hold.Call(OnNodeInserted, this, node);
}

void TDomImplementation::DoNodeRemoving(const TdomDocumentWatch& hold, TdomNode* node) {
  hold.Call(OnNodeRemoving, this, node);
}

void TDomImplementation::DoRequestXPathFunctionResult(const TdomDocumentWatch& hold,
                                                      const std::u16string& namespaceUri,
                                                      const std::u16string& localName, TdomNode* contextNode,
                                                      int contextPosition, int contextSize, TList* arguments,
                                                      TdomXPathCustomResult*& value) {
  hold.Call(OnRequestXPathFunctionResult, namespaceUri, localName, contextNode, contextPosition, contextSize,
            arguments, value);
}

void TDomImplementation::DoRequestXPathVariable(const TdomDocumentWatch& hold, TXPathExpression* sender,
                                                const std::u16string& namespaceURI,
                                                const std::u16string& localName, TdomXPathCustomResult*& value) {
  hold.Call(OnRequestXPathVariable, sender, namespaceURI, localName, value);
}

TStream* TDomImplementation::ResolveResource(const TdomDocumentWatch& hold, const std::u16string& baseURI,
                                             std::u16string& publicId, std::u16string& systemId) {
  if (resourceResolver == nullptr) throw ENot_Found_Err(DomMessage::kNoResourceResolver);
  return hold.Call(resourceResolver, baseURI, publicId, systemId);
}

void TDomImplementation::SetResourceResolver(TCustomResourceResolver* resolver) {
  if (resolver == resourceResolver) return;
  if (resourceResolver != nullptr) resourceResolver->RemoveFreeNotification(this);
  resourceResolver = resolver;
  if (resourceResolver != nullptr) resourceResolver->FreeNotification(this);
}

void TDomImplementation::Notification(TComponent* component, TOperation operation) {
  TDomBaseComponent::Notification(component, operation);
  if (operation == opRemove && component == resourceResolver) resourceResolver = nullptr;
}
