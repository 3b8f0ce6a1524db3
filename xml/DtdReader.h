#pragma once
// TXmlStandardDtdReader: reads the declarations of an internal or external
// DTD subset through the subset tokenizers and sends one DTD signal per
// declaration down its chain. Parameter-entity references inside markup
// declarations are expanded where XML allows them (the external subset and
// the text of parameter entities); in the internal subset itself they are
// an error. Name lists and parameter entities accumulate until Reset, so
// that the external subset sees what the internal one declared.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "xml/ParameterEntities.h"
#include "xml/XmlDocReader.h"

class TXmlCustomSubsetTokenizer;
class TXmlInputSource;
class TUtilsWideStringList;

enum TdomPERefTreatment : uint8_t { PT_STOP = 0, PT_SKIP = 1, PT_PARSE = 2 };

class TXmlStandardDtdReader : public TXmlCustomReader {
public:
  void Create(TComponent* owner) override;
  ~TXmlStandardDtdReader() override;

  // Sets errors-found for a fatal error (validity-errors-found for an error),
  // then reports as the base does.
  void SendErrorNotification(TXmlErrorType errorType, const IDomLocator* locator, const std::u16string& code) override;

  // Each: true when no fatal error was reported since Reset. Any
  // exception while reading ends in an aborted signal and false.
  virtual bool ParseExternalSubset(TXmlInputSource* source);
  virtual bool ParseInternalSubset(TXmlInputSource* source);
  // Empties the name lists and parameter entities; clears errors-found.
  virtual void Reset();
  // Whether a validity error was reported since Reset: the declarations
  // read are usable, but the document cannot be valid.
  bool ValidityErrorsFound() const { return validityErrorsFound; }

  TdomPERefTreatment PERefTreatment() const { return peRefTreatment; }
  void SetPERefTreatment(TdomPERefTreatment value) { peRefTreatment = value; }
  // Whether external parameter entities may be read; true by default.
  bool ResolveExternals() const { return resolveExternals; }
  void SetResolveExternals(bool value) { resolveExternals = value; }
  TdomPERepository* Repository() const { return repository; }

protected:
  virtual void SendAbortedSignal(const IDomLocator* locator);
  virtual void ProcessAttlistDecl(const IDomLocator* locator, const std::u16string& elementName,
                                  const std::u16string& definitions);
  virtual void SendCommentSignal(const IDomLocator* locator, const std::u16string& text);
  virtual void SendProcessingInstructionSignal(const IDomLocator* locator, const std::u16string& text);
  virtual void ProcessElementTypeDecl(const IDomLocator* locator, const std::u16string& name,
                                      const std::u16string& content);
  virtual void ProcessEntityDecl(const IDomLocator* locator, const std::u16string& name, const std::u16string& rest);
  virtual void SendCompletedSignal(const IDomLocator* locator);
  virtual void ProcessNotationDecl(const IDomLocator* locator, const std::u16string& name,
                                   const std::u16string& rest);
  virtual void ProcessParameterEntityDecl(const IDomLocator* locator, const std::u16string& name,
                                          const std::u16string& rest);
  virtual void SendStartExtDtdSignal(const IDomLocator* locator, TXmlInputSource* source);
  virtual void SendStartIntDtdSignal(const IDomLocator* locator, TXmlInputSource* source);

private:
  bool ParseSubset(TXmlInputSource* source, bool external);
  void ReadDeclarations(TXmlCustomSubsetTokenizer* tokenizer);
  void Send(TXmlSignal* signal);
  // Replaces the parameter-entity references of one declaration's text;
  // false (reported) when that is not possible.
  bool ExpandReferences(TXmlCustomSubsetTokenizer* tokenizer, bool entityDecl, std::u16string& name,
                        std::u16string& value);
  // Markup text with its references replaced (padded with spaces); in an
  // entity declaration the entity value's references are included in it.
  bool ExpandText(const std::u16string& text, bool entityDecl, int depth, std::u16string& out);

  // Element names that had an attribute-list / element type declaration.
  std::unordered_set<std::u16string> attListElementNames;
  std::unordered_set<std::u16string> elementTypeNames;
  TdomPERepository* repository = nullptr;               // owned
  TdomPERefTreatment peRefTreatment = PT_PARSE;
  bool errorsFound = false;
  bool validityErrorsFound = false;
  bool resolveExternals = true;
  // State of the expansion in progress.
  TXmlErrorType expandError = ET_NONE;
  std::u16string expandClue;
  std::vector<std::u16string> expanding;
  int64_t expandedChars = 0;
};
