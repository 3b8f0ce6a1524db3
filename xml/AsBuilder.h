#pragma once
// TXmlASBuilder: the last handler of the DTD parser's chain; writes each
// declaration signal into its target model (none: signals are ignored).
#include <string>

#include "xml/XmlSignalHandler.h"

class TdomASElementDecl;
class TdomDocumentWatch;
class TdomASModel;
class TdomASObject;

// Raised where the node that owns the target model has gone (a handler
// that the reading called freed it, or its document): the reading ends
// there, touching neither the model nor what it went with.
struct TASTargetGone {};

// How deep content-model groups may nest in one declaration.
inline constexpr int kMaxContentModelDepth = 256;

class TXmlASBuilder : public TXmlCustomHandler {
public:
  // Declarations go into the model; reports go through the signal's reader.
  // A signal outside the DTD scope raises EParserException "Internal Parser Exception".
  void ProcessSignal(TXmlSignal* signal) override;
  // The group of a mixed-content declaration, "(#PCDATA|a|b)*"; each fault
  // raises EParserException "Parser error.".
  virtual void ParseMixedContent(TXmlCustomReader* reader, TdomASElementDecl* decl, const std::u16string& content);
  // A children group; parent is the element declaration or an enclosing
  // choice or sequence. Each fault raises EParserException "Parser error.".
  virtual void ParseChildrenContent(TXmlCustomReader* reader, TdomASObject* parent, const std::u16string& content);
  virtual void SetASModel(TdomASModel* model) { targetModel = model; }
  TdomASModel* ASModel() const { return targetModel; }
  // Watches the node whose models are filled (null: none watched); every
  // signal first checks it with CheckTargetKept.
  void SetTargetWatch(const TdomDocumentWatch* value) { targetWatch = value; }
  // Raises TASTargetGone when the watched node has gone.
  void CheckTargetKept() const;
  // The watched node's document, while it is there.
  TdomDocument* TargetDocument() const override;

private:
  void ParseGroup(TdomASObject* parent, const std::u16string& content, int depth);
  void Report(TXmlSignal* signal, TXmlErrorType type, const std::u16string& code);

  TdomASModel* targetModel = nullptr;  // not owned
  const TdomDocumentWatch* targetWatch = nullptr;  // not owned, on the stack of whoever set it
};
