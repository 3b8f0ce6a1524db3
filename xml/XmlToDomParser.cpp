#include "xml/XmlToDomParser.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>

#include "core/FileStream.h"
#include "core/StringStream.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/UriFileName.h"
#include "xml/WideStrStream.h"

// --- TXmlCustomParser -------------------------------------------------------------

void TXmlCustomParser::SetDOMImpl(TDomImplementation* value) {
  if (value == domImpl) return;
  if (domImpl != nullptr) RemoveFreeNotification(domImpl);
  domImpl = value;
  if (domImpl != nullptr) FreeNotification(domImpl);
}

std::unique_ptr<TXmlInputSource> TXmlCustomParser::OpenInputSource(
    TStream* stream, const std::u16string& publicId, const std::u16string& systemId, int32_t bufSize,
    bool initialPositionAfterDecl, int64_t initialByteNumber, int64_t initialCharNumber, int64_t initialColumn,
    int64_t initialLine) {
  try {
    return std::unique_ptr<TXmlInputSource>(New<TXmlInputSource>(
        stream, publicId, systemId, bufSize, std::u16string(u"UTF-8"), initialPositionAfterDecl, initialByteNumber,
        initialCharNumber, initialColumn, int64_t(0), initialLine));
  } catch (const EDecodingError& e) {
    // Bytes that cannot be decoded at the very start (or in the declaration)
    // are the parser's error like any other.
    if (domImpl == nullptr) throw EAccessViolation("DOM implementation not specified.");
    TXmlCharLocator where(e.Where(), systemId, domImpl->GetTabWidth());
    std::unique_ptr<TdomError> error = TdomError::CreateFromLocator(kDecodingErrorType, &where, DecodingErrorCode(e));
    TdomDocumentWatch noDocumentYet(nullptr);
    domImpl->HandleError(parseHold != nullptr ? *parseHold : noDocumentYet, this, error.get());
    throw EParserException(DomMessage::kParser);
  }
}

void TXmlCustomParser::Notification(TComponent* component, TOperation operation) {
  TDomBaseComponent::Notification(component, operation);
  if (operation == opRemove && component == domImpl) domImpl = nullptr;
}

// --- TXmlToDomParser --------------------------------------------------------------

// Holds the parser, the parts of its chain and the document a read goes
// into (a context node's) while handlers run: whichever of them a handler
// frees stays in memory until the read is over, and the read stops at its
// next check.
class TXmlToDomParser::TParseScope {
public:
  TParseScope(TXmlToDomParser* parser_, TdomNode* contextNode)
      : parser(parser_),
        self(parser_),
        readerHold(parser_->reader),
        checkerHold(parser_->wfTestHandler),
        builderHold(parser_->builder),
        hold(contextNode != nullptr ? contextNode->GetReferenceDocument() : nullptr, contextNode),
        saved(std::exchange(parser_->parseHold, &hold)) {}
  ~TParseScope() { parser->parseHold = saved; }
  TParseScope(const TParseScope&) = delete;
  TParseScope& operator=(const TParseScope&) = delete;

  // The context node, or null once it (or its document) went; null without one.
  TdomNode* Node() const { return hold.Node(); }
  // True when a handler freed the parser.
  bool ParserGone() const { return parser->Going(); }

private:
  TXmlToDomParser* parser;
  TObject::THold self;
  TObject::THold readerHold;
  TObject::THold checkerHold;
  TObject::THold builderHold;
  TdomDocumentWatch hold;
  const TdomDocumentWatch* saved;
};

void TXmlToDomParser::Create(TComponent* owner) {
  TXmlCustomParser::Create(owner);
  CreateSubcomponents();
  // Held for the parser's life: a handler may free any of them, and the
  // parser still reads their settings; a read with one freed is refused.
  reader->Hold();
  wfTestHandler->Hold();
  builder->Hold();
  bufferSize = 4096;
  builder->AutoPrepare = AP_NO;
  builder->KeepCDATASections = true;
  builder->KeepComments = true;
  builder->KeepEntityRefs = true;
}

TXmlToDomParser::~TXmlToDomParser() {
  if (reader != nullptr) reader->Unhold();
  if (wfTestHandler != nullptr) wfTestHandler->Unhold();
  if (builder != nullptr) builder->Unhold();
}

void TXmlToDomParser::CreateSubcomponents() {
  reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(this));
  wfTestHandler = New<TXmlWFTestHandler>(static_cast<TComponent*>(this));
  builder = New<TXmlDomBuilder>(static_cast<TComponent*>(this));
  reader->SetDOMImpl(DOMImpl());
  reader->SetPrefixMapping(false);
  reader->SetSuppressXmlns(false);
  reader->SetNextHandler(wfTestHandler);
  wfTestHandler->SetNextHandler(builder);
  builder->BuildNamespaceTree = false;
}

void TXmlToDomParser::SetDOMImpl(TDomImplementation* value) {
  TXmlCustomParser::SetDOMImpl(value);
  if (reader != nullptr) reader->SetDOMImpl(value);
}

void TXmlToDomParser::SetBufferSize(int32_t value) {
  if (value < 1024) throw ENot_Supported_Err("BufferSize must not be less than 1024.");
  bufferSize = value;
}

bool TXmlToDomParser::HandleError(TXmlErrorType errorType) {
  std::unique_ptr<TdomError> error = TdomError::CreateFromLocator(errorType, nullptr, std::u16string());
  TdomDocumentWatch noDocumentYet(nullptr);
  if (DOMImpl() != nullptr)
    return DOMImpl()->HandleError(parseHold != nullptr ? *parseHold : noDocumentYet, this, error.get());
  return error->GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
}

TdomDocument* TXmlToDomParser::ParseFile(const std::string& fileName) {
  if (fileName.empty()) throw EAccessViolation("Filename not specified.");
  // Shared for reading and writing, so a file held open by an editor can be read.
  std::unique_ptr<TFileStream> stream(New<TFileStream>(fileName, static_cast<uint16_t>(fmOpenRead | fmShareDenyNone)));
  // The document's URI is absolute, so that its external subset and
  // entities are found beside it whatever the current folder.
  std::string absolute = fileName;
  try {
    absolute = std::filesystem::absolute(std::filesystem::path(fileName)).string();
  } catch (const std::exception&) {
  }
  std::u16string uri;
  FilenameToUriWideStr(absolute, 0, uri);
  TdomNode* result = ParseStream(stream.get(), std::u16string(), uri, nullptr);
  return static_cast<TdomDocument*>(result);
}

TdomNode* TXmlToDomParser::ParseSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                           const std::u16string& systemId, TdomNode* contextNode) {
  if (lines == nullptr) throw EAccessViolation("Source code not specified.");
  return ParseWideString(JoinSourceLines(lines), publicId, systemId, contextNode);
}

TdomNode* TXmlToDomParser::ParseStream(TStream* stream, const std::u16string& publicId,
                                       const std::u16string& systemId, TdomNode* contextNode) {
  if (stream == nullptr) throw EAccessViolation("Stream not specified.");
  TParseScope scope(this, contextNode);
  // Positions continue through the XML declaration, so that lines and
  // columns are those of the file also after a declaration.
  std::unique_ptr<TXmlInputSource> source =
      OpenInputSource(stream, publicId, systemId, bufferSize, false, int64_t(0), int64_t(0), int64_t(0), int64_t(1));
  return Parse(source.get(), contextNode);
}

TdomNode* TXmlToDomParser::ParseString(const std::string& s, const std::u16string& publicId,
                                       const std::u16string& systemId, TdomNode* contextNode) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  std::unique_ptr<TStringStream> stream(New<TStringStream>(s));
  return ParseStream(stream.get(), publicId, systemId, contextNode);
}

TdomNode* TXmlToDomParser::ParseUri(std::u16string publicId, std::u16string systemId, TdomNode* contextNode) {
  if (DOMImpl() == nullptr) throw EAccessViolation("DOM implementation not specified.");
  TParseScope scope(this, contextNode);
  std::unique_ptr<TStream> stream(DOMImpl()->ResolveResource(*parseHold, std::u16string(), publicId, systemId));
  // The resolver may have freed the context node, its document or this parser.
  if (scope.ParserGone() || (contextNode != nullptr && scope.Node() == nullptr))
    throw EParserException(DomMessage::kParser);
  if (stream == nullptr) return nullptr;
  return ParseStream(stream.get(), publicId, systemId, contextNode);
}

TdomNode* TXmlToDomParser::ParseWideString(const std::u16string& s, const std::u16string& publicId,
                                           const std::u16string& systemId, TdomNode* contextNode) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  std::unique_ptr<TUtilsWideStringStream> stream(
      New<TUtilsWideStringStream>(s[0] == 0xFEFF ? std::u16string_view(s) : std::u16string_view(u"\uFEFF" + s)));
  return ParseStream(stream.get(), publicId, systemId, contextNode);
}

TdomNode* TXmlToDomParser::ParseReplacementText(const std::u16string& s, const IDomLocator* origin,
                                                TdomNode* contextNode) {
  if (s.empty()) throw EAccessViolation("Empty string.");
  TParseScope scope(this, contextNode);
  std::unique_ptr<TUtilsWideStringStream> stream(
      New<TUtilsWideStringStream>(s[0] == 0xFEFF ? std::u16string_view(s) : std::u16string_view(u"\uFEFF" + s)));
  std::unique_ptr<TXmlInputSource> source;
  if (origin != nullptr) {
    // Origin starts at a reference's name: the text's first character takes
    // the place of the "&" before it.
    int64_t column = std::max<int64_t>(origin->GetStartColumnNumber() - 2, 0);
    int64_t charNumber = std::max<int64_t>(origin->GetStartCharNumber() - 2, 0);
    int64_t byteNumber = std::max<int64_t>(origin->GetStartByteNumber() - 1, 0);
    source = OpenInputSource(stream.get(), std::u16string(), origin->GetUri(), bufferSize, false, byteNumber,
                             charNumber, column, origin->GetStartLineNumber());
  } else {
    source = OpenInputSource(stream.get(), std::u16string(), std::u16string(), bufferSize, false, int64_t(0),
                             int64_t(0), int64_t(0), int64_t(1));
  }
  source->KeepLineEnds();
  return Parse(source.get(), contextNode);
}

void TXmlToDomParser::RaiseStopped() const {
  // The reader's own reason, when the chain gave one, says more than the
  // bare error (the details of a verdict went to the error handlers).
  std::string reason = reader->StopReason();
  throw EParserException(reason.empty() ? std::string(DomMessage::kParser) : std::move(reason));
}

TdomNode* TXmlToDomParser::Parse(TXmlInputSource* source, TdomNode* contextNode) {
  if (source == nullptr) throw EAccessViolation("Input source not specified.");
  if (DOMImpl() == nullptr) throw EAccessViolation("DOM implementation not specified.");
  TParseScope scope(this, contextNode);
  if (reader->Going() || wfTestHandler->Going() || builder->Going()) throw EParserException(DomMessage::kChainFreed);
  if (contextNode != nullptr) {
    // A hold opened on a document that is going already shows no node.
    if (scope.Node() == nullptr) throw EParserException(DomMessage::kParser);
    TdomDocument* owner = contextNode->GetReferenceDocument();
    if (owner == nullptr || owner->GetDomImplementation() != DOMImpl()) throw EWrong_DOM_Implementation_Err();
  }
  if (source->HasMalformedDecl() ||
      (source->DeclType() != DT_XML_DECLARATION && source->DeclType() != DT_XML_OR_TEXT_DECLARATION &&
       source->DeclType() != DT_UNSPECIFIED)) {
    HandleError(ET_INVALID_VERSION_NUMBER);
    throw EParserException(DomMessage::kParser);
  }
  if (source->InvalidEncoding()) {
    HandleError(ET_ENCODING_NOT_SUPPORTED);
    throw EParserException(DomMessage::kParser);
  }
  // However the read ends, the builder lets go of the document: a verdict
  // that let a fatal error pass leaves no completed signal to do it.
  struct EndRead {
    TXmlDomBuilder* builder;
    ~EndRead() { builder->EndRead(); }
  };
  if (contextNode != nullptr) {
    // A handler may free the context node or its document meanwhile.
    EndRead end{builder};
    builder->SetReferenceNode(contextNode);
    bool done = reader->ParseFragment(source);
    if (!done || scope.Node() == nullptr || scope.ParserGone()) RaiseStopped();
    return contextNode;
  }
  TdomDocument* doc = DOMImpl()->CreateEmptyDocument();
  // A handler that frees the document while it is read (an error handler
  // that lets the read go on, too) leaves no document to return.
  TdomDocumentWatch hold(doc);
  try {
    EndRead end{builder};
    doc->SetDocumentUri(source->SystemId());
    builder->SetReferenceNode(doc);
    bool done = reader->ParseDocument(source);
    if (!done || hold.DocumentGone() || scope.ParserGone()) RaiseStopped();
  } catch (...) {
    if (DOMImpl() != nullptr && DOMImpl()->OwnsDocument(doc)) DOMImpl()->FreeDocument(doc);
    throw;
  }
  return doc;
}
