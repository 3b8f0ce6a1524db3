#pragma once
// TXmlWFTestHandler: checks what no single signal can check by itself (one
// root element, tags that nest and match, content inside the root, one
// document type declaration before it, prefix mappings in order), then the
// signal's own data. Sound signals go on to NextHandler; faulty ones are
// reported and go no further.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "xml/SubsetEntityNames.h"
#include "xml/XmlSignalHandler.h"

class TXmlWFTestHandler : public TXmlCustomHandler {
public:
  void Create(TComponent* owner) override;
  // Raises EParserException "Internal Parser Exception" for a signal that
  // cannot occur in the current state; a stop verdict on a reported error
  // raises "Signal Processing Exception".
  void ProcessSignal(TXmlSignal* signal) override;
  // Back to waiting for a start signal.
  virtual void Reset();

  TXmlCustomHandler* NextHandler() const { return nextHandler; }
  TdomDocument* TargetDocument() const override {
    return nextHandler != nullptr ? nextHandler->TargetDocument() : nullptr;
  }
  void SetNextHandler(TXmlCustomHandler* value);

  // 0 waiting, 1 document, 2 fragment, 3 external subset, 4 internal subset.
  uint8_t DocumentState() const { return documentState; }
  // 0 no root yet, 1 inside the root, 2 root closed.
  uint8_t RootState() const { return rootState; }
  int OpenElementCount() const { return static_cast<int>(elementStack.Size()); }

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  // The structure test of a document (fragment: true) for one signal: on
  // every signal's way, so built into ProcessSignal.
  // closesRefused: the signal ends an element or a mapping that was refused.
  [[gnu::always_inline]] inline void TestContent(TXmlSignal* signal, bool fragment, TXmlErrorType& errorType,
                                                 std::u16string& code, bool& closesRefused);

  // A document whose only declarations are those of its internal subset
  // proper must declare there each entity its attribute values refer to,
  // the predefined ones aside; none may be external or unparsed, or bring a
  // "<" or such an entity in through its replacement text.
  void TestEntitiesDeclared(const TXmlStartElementSignal* start, TXmlErrorType& errorType,
                            std::u16string& code) const;

  uint8_t documentState = 0;
  bool doctypeSeen = false;
  TXmlCustomHandler* nextHandler = nullptr;  // not owned
  std::vector<std::u16string> prefixList;
  uint8_t rootState = 0;
  // The depths of the open elements, and the sizes of the prefix list, at
  // which a start tag or a prefix mapping was refused and parsing went on:
  // they stay open (the text's nesting is checked as it stands), but what
  // closes them goes no further, as what opened them did not.
  std::vector<size_t> refusedElements;
  std::vector<size_t> refusedMappings;
  // Inside a refused root element (the first or a later one): nothing goes
  // on until it ends.
  bool refusedRootOpen = false;
  // Whether TestEntitiesDeclared applies; what the internal subset declares,
  // with the verdict on each in an attribute value.
  bool entityRefsChecked = false;
  std::unordered_map<std::u16string, TAttrEntityUse> declaredEntities;
  // The names of the open elements, outermost first; the strings of names
  // that were closed are used again for the next ones.
  class TNameStack {
  public:
    void Push(const std::u16string& name) {
      if (depth == names.size()) {
        names.push_back(name);
      } else {
        names[depth].assign(name);
      }
      ++depth;
    }
    void Pop() { --depth; }
    const std::u16string& Back() const { return names[depth - 1]; }
    bool Empty() const { return depth == 0; }
    size_t Size() const { return depth; }
    // Empties the stack; the strings of a shallow one are kept.
    void Clear() {
      depth = 0;
      if (names.size() > 256) std::vector<std::u16string>().swap(names);
    }

  private:
    std::vector<std::u16string> names;
    size_t depth = 0;
  };
  TNameStack elementStack;
};
