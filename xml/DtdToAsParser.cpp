#include "xml/DtdToAsParser.h"

#include <memory>

#include "core/StringStream.h"
#include "xml/AsModelCollection.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ExternalResources.h"
#include "xml/UriResolve.h"
#include "xml/UriSystemId.h"
#include "xml/WideStrStream.h"
#include "xml/XmlInputSource.h"

void TDtdToASParser::Create(TComponent* owner) {
  TXmlCustomParser::Create(owner);
  CreateSubcomponents();
  bufferSize = 4096;
  reader->SetPERefTreatment(PT_PARSE);
}

void TDtdToASParser::CreateSubcomponents() {
  reader = New<TXmlStandardDtdReader>(static_cast<TComponent*>(this));
  wfTestHandler = New<TXmlWFTestHandler>(static_cast<TComponent*>(this));
  builder = New<TXmlASBuilder>(static_cast<TComponent*>(this));
  reader->SetDOMImpl(DOMImpl());
  reader->SetNextHandler(wfTestHandler);
  wfTestHandler->SetNextHandler(builder);
}

void TDtdToASParser::SetDOMImpl(TDomImplementation* value) {
  TXmlCustomParser::SetDOMImpl(value);
  if (reader != nullptr) reader->SetDOMImpl(value);
}

void TDtdToASParser::SetBufferSize(int32_t value) {
  if (value < 1024) throw ENot_Supported_Err("BufferSize must not be less than 1024.");
  bufferSize = value;
}

bool TDtdToASParser::HandleError(TXmlErrorType errorType) {
  std::unique_ptr<TdomError> error = TdomError::CreateFromLocator(errorType, nullptr, std::u16string());
  TdomDocumentWatch hold(builder->TargetDocument());
  if (DOMImpl() != nullptr) return DOMImpl()->HandleError(hold, this, error.get());
  return error->GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
}

void TDtdToASParser::ParseSubset(TStream* stream, const std::u16string& publicId, TdomASModel* model,
                                 const std::u16string& systemId, bool internal, int64_t startByte, int64_t startChar,
                                 int64_t startColumn, int64_t startLine, bool positionAfterDecl) {
  if (stream == nullptr) throw EAccessViolation("Stream not specified.");
  builder->SetASModel(model);
  std::unique_ptr<TXmlInputSource> source = OpenInputSource(stream, publicId, systemId, bufferSize, positionAfterDecl,
                                                            startByte, startChar, startColumn, startLine);
  TXmlDeclType kind = source->DeclType();
  if (source->HasMalformedDecl() ||
      (kind != DT_TEXT_DECLARATION && kind != DT_XML_OR_TEXT_DECLARATION && kind != DT_UNSPECIFIED)) {
    HandleError(ET_INVALID_TEXT_DECL);
    throw EParserException(DomMessage::kParser);
  }
  if (source->InvalidEncoding()) {
    HandleError(ET_ENCODING_NOT_SUPPORTED);
    throw EParserException(DomMessage::kParser);
  }
  bool ok = internal ? reader->ParseInternalSubset(source.get()) : reader->ParseExternalSubset(source.get());
  if (!ok) throw EParserException(DomMessage::kParser);
}

void TDtdToASParser::ParseExtSubsetStream(TStream* stream, const std::u16string& publicId, TdomASModel* model,
                                          const std::u16string& systemId) {
  ParseSubset(stream, publicId, model, systemId, /*internal=*/false, 0, 0, 0, 1, /*positionAfterDecl=*/true);
}

void TDtdToASParser::ParseExtSubsetSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                              TdomASModel* model, const std::u16string& systemId) {
  if (lines == nullptr) throw EAccessViolation("Source code not specified.");
  ParseExtSubsetWideString(JoinSourceLines(lines), publicId, model, systemId);
}

void TDtdToASParser::ParseExtSubsetString(const std::string& s, const std::u16string& publicId, TdomASModel* model,
                                          const std::u16string& systemId) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  std::unique_ptr<TStringStream> stream(New<TStringStream>(s));
  ParseExtSubsetStream(stream.get(), publicId, model, systemId);
}

namespace {
std::unique_ptr<TUtilsWideStringStream> WideStream(const std::u16string& s) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  return std::unique_ptr<TUtilsWideStringStream>(
      New<TUtilsWideStringStream>(s[0] == 0xFEFF ? std::u16string_view(s) : std::u16string_view(u"\uFEFF" + s)));
}
}  // namespace

void TDtdToASParser::ParseExtSubsetWideString(const std::u16string& s, const std::u16string& publicId,
                                              TdomASModel* model, const std::u16string& systemId) {
  std::unique_ptr<TUtilsWideStringStream> stream = WideStream(s);
  ParseExtSubsetStream(stream.get(), publicId, model, systemId);
}

void TDtdToASParser::ParseIntSubsetStream(TStream* stream, const std::u16string& publicId, TdomASModel* model,
                                          const std::u16string& systemId, int64_t startByte, int64_t startChar,
                                          int64_t startColumn, int64_t startLine, bool positionAfterDecl) {
  ParseSubset(stream, publicId, model, systemId, /*internal=*/true, startByte, startChar, startColumn, startLine,
              positionAfterDecl);
}

void TDtdToASParser::ParseIntSubsetSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                              TdomASModel* model, const std::u16string& systemId, int64_t startByte,
                                              int64_t startChar, int64_t startColumn, int64_t startLine,
                                              bool positionAfterDecl) {
  if (lines == nullptr) throw EAccessViolation("Source code not specified.");
  ParseIntSubsetWideString(JoinSourceLines(lines), publicId, model, systemId, startByte, startChar, startColumn,
                           startLine, positionAfterDecl);
}

void TDtdToASParser::ParseIntSubsetString(const std::string& s, const std::u16string& publicId, TdomASModel* model,
                                          const std::u16string& systemId, int64_t startByte, int64_t startChar,
                                          int64_t startColumn, int64_t startLine, bool positionAfterDecl) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  std::unique_ptr<TStringStream> stream(New<TStringStream>(s));
  ParseIntSubsetStream(stream.get(), publicId, model, systemId, startByte, startChar, startColumn, startLine,
                       positionAfterDecl);
}

void TDtdToASParser::ParseIntSubsetWideString(const std::u16string& s, const std::u16string& publicId,
                                              TdomASModel* model, const std::u16string& systemId, int64_t startByte,
                                              int64_t startChar, int64_t startColumn, int64_t startLine,
                                              bool positionAfterDecl) {
  std::unique_ptr<TUtilsWideStringStream> stream = WideStream(s);
  ParseIntSubsetStream(stream.get(), publicId, model, systemId, startByte, startChar, startColumn, startLine,
                       positionAfterDecl);
}

bool TDtdToASParser::ParseDTD(const std::u16string& internalSubset, const std::u16string& documentUri,
                              TdomASModelCollection* collection, const std::u16string& publicId,
                              const std::u16string& systemId, int64_t startByte, int64_t startChar,
                              int64_t startColumn, int64_t startLine) {
  ResetReader();
  bool result = true;
  if (!internalSubset.empty()) {
    try {
      ParseIntSubsetWideString(internalSubset, std::u16string(), collection->GetModel(0), documentUri, startByte,
                               startChar, startColumn, startLine, /*positionAfterDecl=*/true);
    } catch (const Exception&) {
      result = false;
    }
  }
  // Each report and the resolver may have run a handler that freed the
  // collection's owner: the builder's watch says so before it is touched.
  builder->CheckTargetKept();
  if (reader->ValidityErrorsFound()) collection->SetDeclarationsValid(false);
  if (!result || (publicId.empty() && systemId.empty())) return result;
  if (!ResolveExternals()) {
    HandleError(ET_EXTERNAL_SUBSET_NOT_READ);
    return result;
  }
  std::u16string pub = publicId, sys = systemId;
  std::unique_ptr<TStream> stream;
  {
    TdomDocumentWatch hold(builder->TargetDocument());
    stream = OpenExternalResource(hold, DOMImpl(), documentUri, pub, sys);
  }
  builder->CheckTargetKept();
  if (stream == nullptr) {
    // Reported at the declaration that names it, with the identifier as code.
    TdomError error(ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE, startByte, startChar + 1, startColumn + 1, startLine,
                    startByte, startChar + 1, startColumn + 1, startLine, documentUri, nullptr, nullptr, sys);
    TdomDocumentWatch hold(builder->TargetDocument());
    if (DOMImpl() != nullptr) DOMImpl()->HandleError(hold, this, &error);
    return false;
  }
  std::u16string resolved;
  if (!ResolveRelativeUriWideStr(documentUri, EscapeSystemIdWideStr(sys), resolved)) resolved = sys;
  try {
    ParseExtSubsetStream(stream.get(), pub, collection->GetModel(1), resolved);
  } catch (const Exception&) {
    result = false;
  }
  builder->CheckTargetKept();
  if (reader->ValidityErrorsFound()) collection->SetDeclarationsValid(false);
  return result;
}
