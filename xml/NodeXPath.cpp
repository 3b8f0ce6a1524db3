// The XPath shortcuts of every node: one temporary expression per call.
#include <limits>
#include <memory>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/Node.h"
#include "xml/XPathExpression.h"
#include "xml/XPathSyntaxNodes.h"

namespace {

struct ExpressionFree {
  void operator()(TXPathExpression* expression) const { expression->Free(); }
};

// An expression prepared and evaluated with node as context (a null result
// when it failed), and the hold on node's document for as long as the
// caller reads it: a handler the evaluation calls may free the document.
struct THeldEvaluation {
  THeldEvaluation(TdomNode* node, const std::u16string& text)
      : hold(XPathDocumentOf(node)), expression(New<TXPathExpression>(static_cast<TComponent*>(nullptr))) {
    expression->SetContextNode(node);
    expression->SetExpression(text);
    try {
      expression->Evaluate();
    } catch (const EXPath_Limit_Err&) {
      // Refused for its size: the shortcuts answer as for any evaluation
      // that failed, from no result.
    }
  }
  TdomDocument::TWatch hold;
  // Freed before the hold ends.
  std::unique_ptr<TXPathExpression, ExpressionFree> expression;
};

}  // namespace

bool TdomNode::EvaluateToBoolean(const std::u16string& expression) {
  return THeldEvaluation(this, expression).expression->ResultAsBoolean();
}

double TdomNode::EvaluateToNumber(const std::u16string& expression) {
  return THeldEvaluation(this, expression).expression->ResultAsNumber();
}

std::u16string TdomNode::EvaluateToWideString(const std::u16string& expression) {
  return THeldEvaluation(this, expression).expression->ResultAsWideString();
}

TdomNode* TdomNode::EvaluateToNode(const std::u16string& expression) {
  THeldEvaluation evaluated(this, expression);
  // A node of a document freed meanwhile is no answer.
  if (evaluated.hold.DocumentGone()) return nullptr;
  TdomXPathCustomResult* result = evaluated.expression->Result();
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
