#include "xml/DocumentType.h"

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"

TdomDocumentType::~TdomDocumentType() {
  DetachFromDocument();
  delete entities;
  delete notations;
}

void TdomDocumentType::Create(TDomImplementation* implementation, const std::u16string& name_,
                              const std::u16string& publicId_, const std::u16string& systemId_) {
  TdomNode::Create(nullptr);
  SetAllowedChildTypes(0);
  domImplementation = implementation;
  name = name_;
  publicId = publicId_;
  systemId = systemId_;
  entities = new TdomNamedNodeMap(this, /*namespaceAware=*/false, NodeTypeBit(ntEntity_Node), &entityList);
  notations = new TdomNamedNodeMap(this, /*namespaceAware=*/false, NodeTypeBit(ntNotation_Node), &notationList);
  SetReadOnly(true);
}

void TdomDocumentType::AttachToDocument(TdomDocument* document_) {
  if (ownerDocument != nullptr) throw EWrong_Document_Err();
  ownerDocument = document_;
}

void TdomDocumentType::DetachFromDocument() {
  TdomDocument* doc = ownerDocument;
  ownerDocument = nullptr;
  if (doc != nullptr) doc->ForgetDoctype(this);
}

void TdomDocumentTypeDecl::Create(TdomDocument* document_, const std::u16string& name_,
                                  const std::u16string& publicId_, const std::u16string& systemId_,
                                  const std::u16string& internalSubset_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  name = name_;
  publicId = publicId_;
  systemId = systemId_;
  internalSubset = internalSubset_;
}

bool TdomDocumentTypeDecl::PrepareASModels(bool, int64_t, int64_t, int64_t, int64_t) {
  throw ENot_Supported_Err("DTD models are not available.");
}
