#include "xml/XPathExpression.h"

#include <limits>

#include "xml/DomException.h"
#include "xml/Node.h"
#include "xml/XPathSyntaxTree.h"

void TXPathExpression::Create(TComponent* owner) {
  TDomBaseComponent::Create(owner);
  syntaxTree = New<TdomXPathSyntaxTree>(this);
}

TXPathExpression::~TXPathExpression() {
  FreeResult();
  if (syntaxTree != nullptr) syntaxTree->Free();
}

void TXPathExpression::FreeResult() { FreeAndNil(result); }

void TXPathExpression::SetContextNode(TdomNode* node) {
  if (node != nullptr && !IsXPathContextNodeType(node)) throw ENot_Supported_Err();
  contextNode = node;
}

void TXPathExpression::SetExpression(const std::u16string& text) {
  if (text == expression) return;
  expression = text;
  syntaxTree->Clear();
  preparedState = 0;
}

bool TXPathExpression::Prepare() {
  if (preparedState == 0) {
    preparedState = syntaxTree->Prepare(expression) ? 1 : 2;
  }
  // A text refused for its size is no syntax error: the caller hears why.
  if (preparedState == 2 && syntaxTree->SizeRefusal() != nullptr) {
    throw EXPath_Invalid_Expression_Err(syntaxTree->SizeRefusal());
  }
  return preparedState == 1;
}

bool TXPathExpression::Evaluate() {
  FreeResult();
  // Only the library's own errors mean "no result"; anything else (out of
  // memory, a fault in a caller's handler, an evaluation refused for its
  // size) is the caller's to see.
  try {
    if (!Prepare()) return false;
    result = syntaxTree->Evaluate();
    return true;
  } catch (const EXPath_Limit_Err&) {
    FreeResult();
    throw;
  } catch (const EDomException&) {
    FreeResult();
    return false;
  }
}

bool TXPathExpression::HasNodeSetResult() const { return result != nullptr && result->Length() > 0; }

bool TXPathExpression::ResultAxisIsReverse() const { return result != nullptr && result->GetAxisIsReverse(); }

bool TXPathExpression::ResultAsBoolean() const { return result != nullptr && result->AsBoolean(); }

double TXPathExpression::ResultAsNumber() const {
  return result != nullptr ? result->AsNumber() : std::numeric_limits<double>::quiet_NaN();
}

std::u16string TXPathExpression::ResultAsWideString() const {
  return result != nullptr ? result->AsWideString() : std::u16string();
}

TdomNode* TXPathExpression::ResultNode(int index) const {
  return result != nullptr ? result->Item(index) : nullptr;
}

int TXPathExpression::ResultLength() const { return result != nullptr ? result->Length() : 0; }
