#include "xml/DocumentType.h"

#include "xml/AsBuilder.h"
#include "xml/AsModelCollection.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/DtdToAsParser.h"

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
  asModels = New<TdomASModelCollection>(this);
}

TdomDocumentTypeDecl::~TdomDocumentTypeDecl() { delete asModels; }

void TdomDocumentTypeDecl::DoBeforeClear() {
  TOwnedRef<TdomDocumentTypeDecl> self(this);
  TdomNode::DoBeforeClear();
  if (self && asModels != nullptr) asModels->Clear();
}

bool TdomDocumentTypeDecl::PrepareASModels(bool internalSubsetOnly, int64_t startByte, int64_t startChar,
                                           int64_t startColumn, int64_t startLine) {
  TdomDocument* document = GetOwnerDocument();
  std::u16string documentUri = document != nullptr ? document->GetDocumentUri() : std::u16string();
  TDomImplementation* impl = document != nullptr ? document->GetDomImplementation() : nullptr;
  asModels->Clear();
  TOwnedRef<TdomDocumentTypeDecl> self(this);
  // An error handler or the resolver may free this declaration, and its
  // models with it, or the whole document: the reading stops there.
  TdomDocumentWatch kept(document, this);
  TDtdToASParser* parser = New<TDtdToASParser>(static_cast<TComponent*>(nullptr));
  bool result;
  try {
    parser->Builder()->SetTargetWatch(&kept);
    parser->SetDOMImpl(impl);
    parser->SetBufferSize(4096);
    parser->SetResolveExternals(asModels->ResolveExternals());
    bool external = !internalSubsetOnly;
    result = parser->ParseDTD(internalSubset, documentUri, asModels, external ? publicId : std::u16string(),
                              external ? systemId : std::u16string(), startByte, startChar, startColumn, startLine);
  } catch (const TASTargetGone&) {
    parser->Free();
    return false;
  } catch (...) {
    parser->Free();
    throw;
  }
  parser->Free();
  // An error handler may have freed this declaration (or its document).
  if (!self) return false;
  preparationStatus = !result ? PS_INCOMPLETE : internalSubsetOnly ? PS_INTERNAL_PREPARED : PS_SUCCESSFUL;
  return result;
}
