#pragma once
// The document reader: turns the tokens of a document (or of an external
// parsed entity) into signals for the first handler of its chain, and owns the
// chain's error path: every error, found by the tokenizer, by the reader or by
// a handler behind it, goes to OnError and then to the DOM implementation,
// whose verdict decides whether reading goes on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/DomImplementation.h"
#include "xml/XmlDocTokenizer.h"
#include "xml/XmlSignalHandler.h"
#include "xml/XmlSignals.h"

using TdomErrorNotifyEvent = TEvent<void(TObject* sender, TdomError* error)>;

class TXmlCustomReader : public TDomBaseComponent {
public:
  void Create(TComponent* owner) override;

  // Reports one error: OnError first, then the verdict (DOMImpl's HandleError,
  // or "go on unless fatal" without one), both under the hold on the
  // document being read. A stop verdict raises EParserException "Signal
  // Processing Exception"; a handler that freed that document or freed or
  // moved nodes of it raises EParserException DomMessage::kTreeChanged, one
  // that freed the reader DomMessage::kReaderFreed; otherwise returns.
  virtual void SendErrorNotification(TXmlErrorType errorType, const IDomLocator* locator, const std::u16string& code);

  TDomImplementation* DOMImpl() const { return domImpl; }
  // Ignores an unchanged value; keeps a free notification on the implementation.
  void SetDOMImpl(TDomImplementation* value);
  TXmlCustomHandler* NextHandler() const { return nextHandler; }
  void SetNextHandler(TXmlCustomHandler* value);
  // DOMImpl's tab width, or 1 without one.
  int TabWidth() const { return domImpl != nullptr ? domImpl->GetTabWidth() : 1; }

  TdomCallOut<TdomErrorNotifyEvent> OnError;
  // The hold on the document being read, while a read is under way; else null.
  const TdomDocumentWatch* ReadHold() const { return readHold; }
  // Why the last read that stopped did so, when no verdict stopped it: the
  // message of the chain's own EParserException (a handler changed the
  // tree being built, say); empty when a verdict or another exception
  // stopped it.
  const std::string& StopReason() const { return stopReason; }

protected:
  void Notification(TComponent* component, TOperation operation) override;
  // Holds the reader itself and the document the chain builds (see
  // TXmlCustomHandler::TargetDocument) while it lives: the error path calls
  // out under it, and a reader a handler frees goes when the outermost read
  // of it is over. Declared before anything of the read that touches the
  // reader on its way out.
  class TReadHold {
  public:
    explicit TReadHold(TXmlCustomReader* reader_);
    ~TReadHold() { reader->readHold = saved; }
    TReadHold(const TReadHold&) = delete;
    TReadHold& operator=(const TReadHold&) = delete;

  private:
    TObject::THold self;  // ends last
    TXmlCustomReader* reader;
    const TdomDocumentWatch* saved;
    TdomDocumentWatch hold;
  };

  std::string stopReason;

private:
  const TdomDocumentWatch* readHold = nullptr;  // on the stack of the read under way
  TDomImplementation* domImpl = nullptr;    // not owned
  TXmlCustomHandler* nextHandler = nullptr;  // not owned
};

class TXmlStandardDocReader : public TXmlCustomReader {
public:
  void Create(TComponent* owner) override;
  ~TXmlStandardDocReader() override;

  // Read a whole entity: a start signal, the content, then completed; true when
  // the entity was read to its end. Any exception (a stop verdict, a codec
  // fault, a builder's refusal) is caught: an aborted signal is sent and the
  // answer is false.
  virtual bool ParseDocument(TXmlInputSource* source);
  virtual bool ParseFragment(TXmlInputSource* source);

  bool PrefixMapping() const { return prefixMapping; }
  void SetPrefixMapping(bool value) { prefixMapping = value; }
  bool SuppressXmlns() const { return suppressXmlns; }
  void SetSuppressXmlns(bool value) { suppressXmlns = value; }

protected:
  // Empties the prefix-mapping stack.
  virtual void Reset();
  // Reads and dispatches tokens until the end of the source.
  virtual void ProcessTokens(TXmlDocTokenizer* tokenizer);
  virtual void SendAbortedSignal(const IDomLocator* locator);
  virtual void SendCompletedSignal(const IDomLocator* locator);
  virtual void SendCDATASignal(TXmlDocTokenizer* tokenizer);
  // Character references: digits to a character; an empty, oversized or
  // surrogate value is reported as ET_INVALID_CHAR_REF at the reference.
  virtual void SendCharRefSignal(TXmlDocTokenizer* tokenizer, bool hex);
  virtual void SendCommentSignal(TXmlDocTokenizer* tokenizer);
  virtual void SendPCDATASignal(TXmlDocTokenizer* tokenizer);
  // Target up to the first white space; the rest after white space is Data.
  virtual void SendProcessingInstructionSignal(TXmlDocTokenizer* tokenizer);
  virtual void SendStartDocumentSignal(const IDomLocator* locator, TXmlInputSource* source);
  virtual void SendStartDocumentFragmentSignal(const IDomLocator* locator, TXmlInputSource* source);
  // Builds the start-element signal from the tag text and sends it.
  virtual void SendStartElementSignal(TXmlDocTokenizer* tokenizer);
  // Splits tag text into the tag name and a name-sorted attribute list.
  // Syntax faults (65, 66, 42, 68) are reported and end the attribute list.
  virtual void ParseAttributes(const IDomLocator* locator, std::u16string_view tag, TUtilsNameValueList* attributes,
                               std::u16string& tagName);
  // As ParseAttributes; namespace declarations become prefix mappings.
  virtual void ParseAttributesWithPrefixMapping(const IDomLocator* locator, std::u16string_view tag,
                                                TUtilsNameValueList* attributes, std::u16string& tagName);
  virtual void SendStartPrefixMappingSignal(const IDomLocator* locator, const std::u16string& prefix,
                                            const std::u16string& uri);
  virtual void SendEndElementSignal(const IDomLocator* locator, std::u16string_view tagName);
  virtual void SendEndPrefixMappingSignals(const IDomLocator* locator);
  virtual void SendEmptyElementSignals(TXmlDocTokenizer* tokenizer);
  virtual void SendEntityRefSignal(TXmlDocTokenizer* tokenizer);
  // Reads the declaration's name, identifiers and internal subset; a fault is
  // reported and drops the declaration.
  virtual void ProcessDoctypeDecl(TXmlDocTokenizer* tokenizer);

private:
  bool Parse(TXmlInputSource* source, bool fragment);
  // Hands signal to the next handler, when there is one.
  void Send(TXmlSignal* signal);
  // The attribute scanner both parsers share; with mapping, declarations of
  // namespaces are reported as prefix mappings.
  void ScanAttributes(const IDomLocator* locator, std::u16string_view tag, TUtilsNameValueList* attributes,
                      std::u16string& tagName, bool mapping);

  // ScanAttributes' scan: the pairs of the tag in document order, or up to
  // a fault, which it reports, handed to collector.Add.
  template <class Collector>
  void ScanAttributePairs(const IDomLocator* locator, std::u16string_view tag, std::u16string& tagName,
                          bool mapping, Collector& collector);

  // The tokenizer of the entity being read (not owned): signals placed at
  // its token are located without asking what kind of locator it is.
  const TXmlDocTokenizer* docTokenizer = nullptr;
  bool prefixMapping = true;
  bool suppressXmlns = false;
  std::vector<std::vector<std::u16string>> prefixStack;
  // One signal object per frequent kind, reused from event to event.
  std::unique_ptr<TXmlPCDATASignal> pcdataSignal;
  std::unique_ptr<TXmlStartElementSignal> startSignal;
  std::unique_ptr<TXmlEndElementSignal> endSignal;
  std::unique_ptr<TXmlEntityRefSignal> entityRefSignal;
  std::unique_ptr<TXmlCommentSignal> commentSignal;
  bool entityRefSignalBusy = false;  // a handler is still at the reused one (a nested parse)
};
