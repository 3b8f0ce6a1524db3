// The XPath shortcuts of every node: one temporary expression per call.
#include <limits>
#include <memory>

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
  return result->Item(result->GetAxisIsReverse() ? result->Length() - 1 : 0);
}
