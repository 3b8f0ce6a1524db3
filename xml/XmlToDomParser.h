#pragma once
// TXmlToDomParser: turns XML text (a file, lines, a stream, a string, a URI
// or an input source) into a document of its DOM implementation, through a
// fixed chain: document reader -> well-formedness handler -> DOM builder.
#include <cstdint>
#include <memory>
#include <string>

#include "xml/DomBuilder.h"
#include "xml/WFTestHandler.h"
#include "xml/XmlDocReader.h"

class TXmlCustomParser : public TDomBaseComponent {
public:
  TDomImplementation* DOMImpl() const { return domImpl; }
  // Ignores an unchanged value; keeps a free notification on the implementation.
  virtual void SetDOMImpl(TDomImplementation* value);

protected:
  void Notification(TComponent* component, TOperation operation) override;
  // The input source over stream, made as TXmlInputSource::Create does with
  // "UTF-8" as default encoding and no tabs before the start. Bytes that cannot
  // be decoded while its declaration is read are reported to DOMImpl at their
  // place (ET_INVALID_CHARACTER) and raise EParserException "Parser error.".
  std::unique_ptr<TXmlInputSource> OpenInputSource(TStream* stream, const std::u16string& publicId,
                                                   const std::u16string& systemId, int32_t bufSize,
                                                   bool initialPositionAfterDecl, int64_t initialByteNumber,
                                                   int64_t initialCharNumber, int64_t initialColumn,
                                                   int64_t initialLine);

  // The hold on the document a read under way goes into (a context
  // node's), or null: errors reported before the read starts go through it.
  const TdomDocumentWatch* parseHold = nullptr;

private:
  TDomImplementation* domImpl = nullptr;  // not owned
};

class TXmlToDomParser : public TXmlCustomParser {
public:
  void Create(TComponent* owner) override;
  // Its reader, checker and builder go with it (see Create).
  ~TXmlToDomParser() override;
  void SetDOMImpl(TDomImplementation* value) override;

  // The file read as a document owned by DOMImpl. The file is opened for
  // reading and shared with readers and writers. Raises EAccessViolation
  // "Filename not specified." for an empty name, the stream's error when it
  // cannot be opened, EParserException "Parser error." when the text is not
  // a well-formed document (the half-built document is freed).
  virtual TdomDocument* ParseFile(const std::string& fileName);
  virtual TdomNode* ParseSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                    const std::u16string& systemId, TdomNode* contextNode);
  virtual TdomNode* ParseStream(TStream* stream, const std::u16string& publicId, const std::u16string& systemId,
                                TdomNode* contextNode);
  virtual TdomNode* ParseString(const std::string& s, const std::u16string& publicId,
                                const std::u16string& systemId, TdomNode* contextNode);
  // Null when DOMImpl's resolver finds nothing. A resolver that frees the
  // context node or its document ends the read with EParserException
  // "Parser error.".
  virtual TdomNode* ParseUri(std::u16string publicId, std::u16string systemId, TdomNode* contextNode);
  virtual TdomNode* ParseWideString(const std::u16string& s, const std::u16string& publicId,
                                    const std::u16string& systemId, TdomNode* contextNode);
  // ParseWideString of an entity's replacement text, which stands in another
  // text where origin starts (its reference): the events and errors carry
  // origin's URI and places that go on from there (without an origin, the
  // places of the text alone). Its line ends were settled when the text
  // was read, so a carriage return it holds (from a character reference)
  // stays one.
  TdomNode* ParseReplacementText(const std::u16string& s, const IDomLocator* origin, TdomNode* contextNode);
  // Without a context node: a new document of DOMImpl; with one: the text's
  // content parsed into it (the context node is the result). The document
  // is held while it is read: a handler that frees it (or the context
  // node, or this parser), or changes the tree being built, ends the read
  // with EParserException, whatever the verdicts said: "The document was
  // changed while it was being read." where the chain saw it, else "Parser
  // error." (as after a stop verdict). The parser and its chain are held
  // too: freed meanwhile, they go once the read is over, and a parser whose
  // reader, checker or builder was freed raises "A part of the parser was
  // freed." from then on.
  virtual TdomNode* Parse(TXmlInputSource* source, TdomNode* contextNode);
  // Reports an error without location to DOMImpl; true to go on.
  virtual bool HandleError(TXmlErrorType errorType);

  int32_t BufferSize() const { return bufferSize; }
  // Below 1024 raises ENot_Supported_Err "BufferSize must not be less than 1024.".
  virtual void SetBufferSize(int32_t value);

  TdomAutoPrepare AutoPrepare() const { return builder->AutoPrepare; }
  void SetAutoPrepare(TdomAutoPrepare value) { builder->AutoPrepare = value; }
  bool KeepCDATASections() const { return builder->KeepCDATASections; }
  void SetKeepCDATASections(bool value) { builder->KeepCDATASections = value; }
  bool KeepComments() const { return builder->KeepComments; }
  void SetKeepComments(bool value) { builder->KeepComments = value; }
  bool KeepEntityRefs() const { return builder->KeepEntityRefs; }
  void SetKeepEntityRefs(bool value) { builder->KeepEntityRefs = value; }
  // Whether external DTD subsets and entities may be read (through DOMImpl's
  // resolver, file: URIs only); true by default. Off, only the document's
  // own text is read: external subsets and entities give warnings instead.
  bool ResolveExternals() const { return builder->ResolveExternals; }
  void SetResolveExternals(bool value) { builder->ResolveExternals = value; }

  TXmlStandardDocReader* Reader() const { return reader; }
  TXmlWFTestHandler* WFTestHandler() const { return wfTestHandler; }
  TXmlDomBuilder* DomBuilder() const { return builder; }

protected:
  virtual void CreateSubcomponents();

private:
  class TParseScope;
  // A read that stopped: EParserException with the reader's reason, or "Parser error.".
  [[noreturn]] void RaiseStopped() const;
  int32_t bufferSize = 4096;
  TXmlDomBuilder* builder = nullptr;          // owned (component)
  TXmlStandardDocReader* reader = nullptr;    // owned (component)
  TXmlWFTestHandler* wfTestHandler = nullptr; // owned (component)
};
