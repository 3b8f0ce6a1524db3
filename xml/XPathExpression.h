#pragma once
// TXPathExpression: an XPath 1.0 expression with its context node. Prepares
// the text once, evaluates it and keeps the result, which callers read as a
// boolean, number, string or node list.
#include <string>

#include "xml/DomImplementation.h"
#include "xml/XPathValues.h"

class TdomNode;
class TdomXPathSyntaxTree;

class TXPathExpression : public TDomBaseComponent {
public:
  ~TXPathExpression() override;
  void Create(TComponent* owner) override;

  TdomNode* ContextNode() const { return contextNode; }
  // Null is accepted; a node of a type XPath does not take raises ENot_Supported_Err.
  virtual void SetContextNode(TdomNode* node);
  const std::u16string& Expression() const { return expression; }
  // A different text unprepares the expression.
  virtual void SetExpression(const std::u16string& text);

  // A new result of the requested class built from the current one, owned by the
  // caller: T is the node-set, boolean, number or string result.
  template <class T>
  T* AcquireXPathResult();
  // Frees the previous result, prepares and evaluates. False, with no
  // result, when preparation or evaluation failed with an error of this
  // library; an evaluation refused for the work or string length it needs
  // raises EXPath_Limit_Err (no result), and any other exception passes through.
  virtual bool Evaluate();
  virtual bool HasNodeSetResult() const;
  // Parses the text once: true when it is a valid expression. A failed text
  // stays failed until it changes; one longer than kXPathMaxLength or nested
  // deeper than kXPathMaxNesting raises EXPath_Invalid_Expression_Err
  // (kXPathTooLong, kXPathTooDeep) on every call (and stays failed too).
  virtual bool Prepare();
  // 0 not prepared, 1 prepared, 2 failed.
  uint8_t PreparedState() const { return preparedState; }

  virtual bool ResultAxisIsReverse() const;
  virtual bool ResultAsBoolean() const;
  // NaN without result.
  virtual double ResultAsNumber() const;
  virtual std::u16string ResultAsWideString() const;
  // Null without result or out of range.
  virtual TdomNode* ResultNode(int index) const;
  virtual int ResultLength() const;
  TdomXPathCustomResult* Result() const { return result; }
  TdomXPathSyntaxTree* SyntaxTree() const { return syntaxTree; }

private:
  void FreeResult();

  TdomNode* contextNode = nullptr;  // not owned
  uint8_t preparedState = 0;
  std::u16string expression;
  TdomXPathSyntaxTree* syntaxTree = nullptr;  // owned
  TdomXPathCustomResult* result = nullptr;    // owned
};

template <class T>
T* TXPathExpression::AcquireXPathResult() {
  if constexpr (std::is_same_v<T, TdomXPathNodeSetResult>) {
    T* set = New<TdomXPathNodeSetResult>();
    set->Assign(this);
    return set;
  } else if constexpr (std::is_same_v<T, TdomXPathBooleanResult>) {
    return New<TdomXPathBooleanResult>(ResultAsBoolean());
  } else if constexpr (std::is_same_v<T, TdomXPathNumberResult>) {
    return New<TdomXPathNumberResult>(ResultAsNumber());
  } else {
    static_assert(std::is_same_v<T, TdomXPathStringResult>, "not an XPath result class");
    return New<TdomXPathStringResult>(ResultAsWideString());
  }
}
