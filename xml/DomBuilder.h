#pragma once
// TXmlDomBuilder: the last component of the XML-to-DOM chain. It turns the
// well-formed signals it receives into nodes below a moving insertion point
// (the reference node) and passes nothing on.
#include <cstdint>
#include <string>

#include "xml/DocumentWatch.h"
#include "xml/WideStrNameValueList.h"
#include "xml/XmlSignalHandler.h"

// Whether a kept document type declaration is turned into models at once.
enum TdomAutoPrepare : uint8_t { AP_NO = 0, AP_INTERNAL_DECLARATIONS = 1, AP_COMPLETE = 2 };

class TdomASModelCollection;
class TdomDocument;
class TdomElement;

class TXmlDomBuilder : public TXmlCustomHandler {
public:
  void Create(TComponent* owner) override;
  ~TXmlDomBuilder() override;

  // Builds the nodes of one signal. A DTD signal raises EParserException
  // "Internal Parser Exception"; node factories' exceptions pass through (the
  // node that failed to go in is freed first).
  void ProcessSignal(TXmlSignal* signal) override;
  // The error handlers it calls may change the tree being built: a change
  // (or the document freed) ends the read as a listener's would.
  void SendErrorNotification(TXmlCustomReader* reader, TXmlErrorType errorType, const IDomLocator* locator,
                             const std::u16string& code) override;
  // Appends text to a last text child, or as a new text node.
  virtual void WritePCDATA(TXmlCustomReader* reader, const IDomLocator* locator, const std::u16string& text);
  // Empties the prefix mappings.
  virtual void Reset();

  TdomNode* ReferenceNode() const { return referenceNode; }
  TdomDocument* TargetDocument() const override { return document; }
  void SetReferenceNode(TdomNode* value);
  // The read is over, however it ended (a verdict may have let a fatal
  // error pass, so that no completed signal came): lets go of the
  // document's expansion budget and of the reference node.
  void EndRead();

  // With models prepared (AutoPrepare other than AP_NO), declared entities
  // are expanded below their reference nodes (or in their place without
  // KeepEntityRefs) and declared default attributes are added to elements.
  TdomAutoPrepare AutoPrepare = AP_NO;
  bool BuildNamespaceTree = false;
  bool KeepCDATASections = true;
  bool KeepComments = true;
  bool KeepDocumentTypeDecl = true;
  bool KeepEntityRefs = true;
  // Whether prepared models may read external subsets and entities.
  bool ResolveExternals = true;

private:
  // ProcessSignal's work, without the report of what a document refuses.
  void BuildNodes(TXmlSignal* signal);
  // Reports the signal whose nodes the reference node refused: what a
  // document, or content (a document type declaration), cannot hold.
  void ReportMisplaced(TXmlSignal* signal);
  // The reports of each step may run listeners. The steps compare the
  // document's structure stamp with what their own changes make it: a
  // listener that freed or moved nodes (the reference node, perhaps) ends
  // the read with EParserException "The document was changed while it was
  // being read." before anything freed is touched.
  uint64_t TreeStamp() const;
  // Also ends the read when a listener freed the whole document.
  void CheckTreeKept(uint64_t expected);
  // CheckTreeKept's end of the read: raises why.
  [[noreturn]] void EndChangedRead();
  // Appends node (just made by a factory, stamp taken before) to the
  // reference node; frees it when that raises.
  void AppendNew(TdomNode* node, uint64_t stamp);
  void StartElement(TXmlStartElementSignal* signal);
  // Adds the declared defaults of the prepared models to element (stamp as
  // the element's own steps left it).
  void AddDefaultAttributes(TXmlStartElementSignal* signal, TdomElement* element, uint64_t stamp);
  void EntityReference(TXmlEntityRefSignal* signal);
  // The models to expand entities and add defaults with, or null.
  TdomASModelCollection* PreparedModels() const;
  // The URI of the last mapping of prefix, or ""; xml's own for xml.
  std::u16string MappedUri(const std::u16string& prefix) const;
  // Notes on the text node just written to that its text came from a
  // character reference or a CDATA section (see TdomText::HasNonLiteralText).
  void MarkLastTextNonLiteral();

  // Drops every link to the document being read, which a listener freed.
  void ForgetDocument();
  // Ends the hold on the expansion budget of the document being read.
  void ReleaseBudget();

  TdomNode* referenceNode = nullptr;  // not owned
  TdomDocument* document = nullptr;   // not owned; the reference node's, for the whole read
  TdomDocument* budgetHolder = nullptr;  // not owned; the document whose budget is held
  TdomDocumentWatch* signalWatch = nullptr;  // the document's, while a signal is processed
  uint64_t signalsStamp = 0;  // the document's structure stamp as the last signal left it
  TUtilsNameValueList* prefixMappings = nullptr;  // owned
};
