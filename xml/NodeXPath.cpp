// The XPath shortcuts of every node: one temporary expression per call.
#include <limits>
#include <memory>

#include "xml/Document.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/Node.h"
#include "xml/XPathExpression.h"

namespace {

struct ExpressionFree {
  void operator()(TXPathExpression* expression) const { expression->Free(); }
};

// A prepared-and-evaluated expression with node as context; null result when it failed.
std::unique_ptr<TXPathExpression, ExpressionFree> EvaluateAt(TdomNode* node, const std::u16string& text) {
  std::unique_ptr<TXPathExpression, ExpressionFree> expression(
      New<TXPathExpression>(static_cast<TComponent*>(nullptr)));
  expression->SetContextNode(node);
  expression->SetExpression(text);
  expression->Evaluate();
  return expression;
}

}  // namespace

bool TdomNode::EvaluateToBoolean(const std::u16string& expression) {
  return EvaluateAt(this, expression)->ResultAsBoolean();
}

double TdomNode::EvaluateToNumber(const std::u16string& expression) {
  return EvaluateAt(this, expression)->ResultAsNumber();
}

std::u16string TdomNode::EvaluateToWideString(const std::u16string& expression) {
  return EvaluateAt(this, expression)->ResultAsWideString();
}

TdomNode* TdomNode::EvaluateToNode(const std::u16string& expression) {
  auto evaluated = EvaluateAt(this, expression);
  TdomXPathCustomResult* result = evaluated->Result();
  if (result == nullptr || result->ResultType() != XPATH_NODE_SET_TYPE || result->Length() == 0) return nullptr;
  // The first node in document order.
  TdomNode* first = result->Item(result->GetAxisIsReverse() ? result->Length() - 1 : 0);
  if (first->GetNodeType() != ntXPath_Namespace_Node) return first;
  // A namespace node belongs to the result, which goes with the expression:
  // the caller gets the document's own node for the same binding (the same
  // one each time), which goes with the element.
  auto* ns = static_cast<TdomXPathNamespace*>(first);
  TdomElement* owner = ns->GetOwnerElement();
  TdomDocument* document = owner != nullptr ? owner->GetOwnerDocument() : nullptr;
  if (document == nullptr) return nullptr;
  return document->NamespaceNodeFor(owner, ns->GetPrefix(), ns->GetNamespaceURI());
}
