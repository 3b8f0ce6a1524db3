// Evaluation of the expression nodes: literals, numbers, variables, the
// logical and arithmetic operators, unions and filter expressions.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomImplementation.h"
#include "xml/DomXPathNamespace.h"
#include "xml/ParserUtilsNames.h"
#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/XPathExpression.h"
#include "xml/XPathSyntaxTree.h"

std::vector<TdomXPathSyntaxNode*> XPathChainLinks(TdomXPathSyntaxNode* top) {
  std::vector<TdomXPathSyntaxNode*> links;
  int level = XPathOperatorLevel(top->Kind());
  for (TdomXPathSyntaxNode* node = top;
       node != nullptr && XPathOperatorLevel(node->Kind()) == level && node->right != nullptr; node = node->left) {
    links.push_back(node);
  }
  std::reverse(links.begin(), links.end());
  return links;
}

void TdomXPathSyntaxNode::Create(TCustomOwnedObject* owner, const std::u16string& value_) {
  TCustomOwnedObject::Create(owner);
  value = value_;
}

TdomXPathSyntaxTree* TdomXPathSyntaxNode::GetSyntaxTree() const {
  return dynamic_cast<TdomXPathSyntaxTree*>(GetOwner());
}

TdomXPathCustomResult* TdomXPathSyntaxNode::evaluate(TdomNode*, int, int) { RaiseXPathTypeError(); }

void RaiseXPathTypeError() { throw EXPath_Type_Err(); }

bool XPathNodePassesThrough(const TdomXPathSyntaxNode* node) {
  switch (node->Kind()) {
    case XPATH_EXPR_NODE:
    case XPATH_PRIMARY_EXPR_NODE:
      return true;
    case XPATH_UNARY_EXPR_NODE:
      return node->left == nullptr || !node->left->Is(XPATH_MINUS_OPERATOR_TOKEN);
    case XPATH_PATH_EXPR_NODE:
      return node->right == nullptr && node->left != nullptr && node->left->Is(XPATH_FILTER_EXPR_NODE);
    case XPATH_FILTER_EXPR_NODE:
    case XPATH_OR_EXPR_NODE:
    case XPATH_AND_EXPR_NODE:
    case XPATH_IS_EQUAL_EXPR_NODE:
    case XPATH_IS_NOT_EQUAL_EXPR_NODE:
    case XPATH_LESS_THAN_EXPR_NODE:
    case XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE:
    case XPATH_GREATER_THAN_EXPR_NODE:
    case XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE:
    case XPATH_PLUS_EXPR_NODE:
    case XPATH_MINUS_EXPR_NODE:
    case XPATH_MULTIPLY_EXPR_NODE:
    case XPATH_DIV_EXPR_NODE:
    case XPATH_MOD_EXPR_NODE:
      return node->right == nullptr;
    default:
      return false;
  }
}

TdomXPathCustomResult* EvaluateXPathNode(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition,
                                         int contextSize) {
  while (node != nullptr && XPathNodePassesThrough(node)) node = node->left;
  if (node == nullptr) RaiseXPathTypeError();
  // Every evaluation of a node is paid for, so that a long expression asked
  // again for every node of a predicate costs what it does.
  ChargeRunningXPathWork(1);
  if (node->cachePoint && contextNode != nullptr) {
    if (TdomXPathSyntaxTree* tree = node->GetSyntaxTree()) {
      return CopyXPathResult(tree->CachedValue(node, contextNode, contextPosition, contextSize));
    }
  }
  return node->evaluate(contextNode, contextPosition, contextSize);
}

TdomXPathNodeSetResult* RequireXPathNodeSet(TdomXPathCustomResult* result) {
  if (result != nullptr && result->ResultType() == XPATH_NODE_SET_TYPE) {
    return static_cast<TdomXPathNodeSetResult*>(result);
  }
  TdomXPathResultPtr<> doomed(result);
  RaiseXPathTypeError();
}

std::u16string ResolveXPathPrefix(const TdomXPathSyntaxNode* node, const std::u16string& prefix) {
  if (prefix.empty()) return std::u16string();
  TdomXPathSyntaxTree* tree = node->GetSyntaxTree();
  std::u16string uri = tree != nullptr ? tree->LookupPrefix(prefix) : std::u16string();
  if (uri.empty()) throw ENamespace_Err(DomMessageFormat(DomMessage::kNamespacePrefixNotFound, {prefix}));
  return uri;
}

TdomDocument* XPathDocumentOf(const TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntDocument_Node:
      return const_cast<TdomDocument*>(static_cast<const TdomDocument*>(node));
    case ntXPath_Namespace_Node:
      return node->GetOwnerDocument();
    default:
      return node->GetReferenceDocument();
  }
}

void AskXPathImplementation(const TdomXPathSyntaxNode* node, TdomNode* contextNode, TdomXPathCustomResult*& value,
                            const std::function<void(TDomImplementation*, const TdomDocumentWatch&)>& ask) {
  TdomXPathSyntaxTree* tree = node->GetSyntaxTree();
  TdomNode* treeContext = tree != nullptr ? tree->GetContextNode() : contextNode;
  TdomDocument* document = treeContext != nullptr ? XPathDocumentOf(treeContext) : nullptr;
  TDomImplementation* implementation = document != nullptr ? document->GetDomImplementation() : nullptr;
  if (implementation == nullptr) return;
  TdomDocument::TWatch watch(document);
  uint64_t freed = document->FreedNodeCount();
  ask(implementation, watch);
  if (watch.Document() == nullptr || document->FreedNodeCount() != freed) {
    // The node sets in hand (the answer too) may hold freed nodes: they let
    // go of them unread.
    if (value != nullptr) FreeAndNil(value);
    throw EXPath_Exception(DomMessage::kDocumentChangedInEvaluation);
  }
  // What it changed otherwise: order keys are no longer trusted.
  if (TdomXPathSyntaxTree* tree = node->GetSyntaxTree()) tree->DocumentMayHaveChanged();
}

// --- Single-operand and logical levels ------------------------------------------------------

TdomXPathCustomResult* TdomXPathExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (left == nullptr || !left->Is(XPATH_OR_EXPR_NODE)) RaiseXPathTypeError();
  return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
}

TdomXPathCustomResult* TdomXPathPrimaryExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
}

TdomXPathCustomResult* TdomXPathLiteral::evaluate(TdomNode*, int, int) {
  return New<TdomXPathStringResult>(value);
}

TdomXPathCustomResult* TdomXPathNumber::evaluate(TdomNode*, int, int) {
  return New<TdomXPathNumberResult>(XPathWideStrToNumber(value));
}

namespace {

// "or" (stopAt true) and "and" (stopAt false) over a whole chain, in a loop.
bool EvaluateLogicalChain(TdomXPathSyntaxNode* top, bool stopAt, TdomNode* contextNode, int contextPosition,
                          int contextSize) {
  std::vector<TdomXPathSyntaxNode*> links = XPathChainLinks(top);
  if (EvaluateXPathBoolean(links.front()->left, contextNode, contextPosition, contextSize) == stopAt) return stopAt;
  for (TdomXPathSyntaxNode* link : links) {
    if (EvaluateXPathBoolean(link->right, contextNode, contextPosition, contextSize) == stopAt) return stopAt;
  }
  return !stopAt;
}

}  // namespace

TdomXPathCustomResult* TdomXPathOrExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  return New<TdomXPathBooleanResult>(
      EvaluateLogicalChain(this, /*stopAt=*/true, contextNode, contextPosition, contextSize));
}

TdomXPathCustomResult* TdomXPathAndExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  return New<TdomXPathBooleanResult>(
      EvaluateLogicalChain(this, /*stopAt=*/false, contextNode, contextPosition, contextSize));
}

TdomXPathCustomResult* TdomXPathUnaryExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (left == nullptr || !left->Is(XPATH_MINUS_OPERATOR_TOKEN)) {
    return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  }
  TdomXPathResultPtr<> operand(XPathToNumber(EvaluateXPathNode(right, contextNode, contextPosition, contextSize)));
  return New<TdomXPathNumberResult>(-operand->AsNumber());
}

// --- Arithmetic ---------------------------------------------------------------------------

namespace {

// IEEE arithmetic: a division by zero gives an infinity, 0 div 0 NaN. mod is
// the remainder of the quotient truncated toward zero, with the sign of the
// left operand, exact for any magnitude (NaN for a zero divisor, the left
// operand for an infinite one).
double Arithmetic(uint8_t kind, double a, double b) {
  switch (kind) {
    case XPATH_PLUS_EXPR_NODE: return a + b;
    case XPATH_MINUS_EXPR_NODE: return a - b;
    case XPATH_MULTIPLY_EXPR_NODE: return a * b;
    case XPATH_DIV_EXPR_NODE: return a / b;
    case XPATH_MOD_EXPR_NODE: return std::fmod(a, b);
    default: RaiseXPathTypeError();
  }
}

double NumberOf(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition, int contextSize) {
  TdomXPathResultPtr<> operand(XPathToNumber(EvaluateXPathNode(node, contextNode, contextPosition, contextSize)));
  return operand->AsNumber();
}

}  // namespace

TdomXPathCustomResult* TdomXPathAdditiveExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  // The whole chain "a - b + c" (additive or multiplicative) in a loop, left to right.
  std::vector<TdomXPathSyntaxNode*> links = XPathChainLinks(this);
  double value = NumberOf(links.front()->left, contextNode, contextPosition, contextSize);
  for (TdomXPathSyntaxNode* link : links) {
    value = Arithmetic(link->Kind(), value, NumberOf(link->right, contextNode, contextPosition, contextSize));
  }
  return New<TdomXPathNumberResult>(value);
}

// --- Unions and filters ------------------------------------------------------------------------

TdomXPathCustomResult* TdomXPathUnionExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) {
    TdomXPathCustomResult* result = EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
    result->SetAxisIsReverse(false);
    return result;
  }
  // The whole chain "a | b | c" in a loop.
  std::vector<TdomXPathSyntaxNode*> links = XPathChainLinks(this);
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(
      RequireXPathNodeSet(EvaluateXPathNode(links.front()->left, contextNode, contextPosition, contextSize)));
  set->SetAxisIsReverse(false);
  TdomXPathSyntaxTree* tree = GetSyntaxTree();
  for (TdomXPathSyntaxNode* link : links) {
    TdomXPathResultPtr<TdomXPathNodeSetResult> other(
        RequireXPathNodeSet(EvaluateXPathNode(link->right, contextNode, contextPosition, contextSize)));
    if (tree != nullptr) {
      set->Merge(other.get(), tree->DocumentOrder());
    } else {
      set->Merge(other.get());
    }
  }
  return set.release();
}

TdomXPathCustomResult* TdomXPathFilterExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  if (!right->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
  TdomXPathNodeSetResult* set =
      RequireXPathNodeSet(EvaluateXPathNode(left, contextNode, contextPosition, contextSize));
  set->SetAxisIsReverse(false);
  return static_cast<TdomXPathPredicate*>(right)->FilterNodes(set);
}

// --- Variables ---------------------------------------------------------------------------------

void TdomXPathVariableReference::Create(TCustomOwnedObject* owner, const std::u16string& value_) {
  TdomXPathSyntaxNode::Create(owner, value_);
  prefix = ExtractPrefix(value_);
  localName = ExtractLocalName(value_);
}

TdomXPathCustomResult* TdomXPathVariableReference::evaluate(TdomNode* contextNode, int, int) {
  std::u16string namespaceUri = ResolveXPathPrefix(this, prefix);
  TdomXPathSyntaxTree* tree = GetSyntaxTree();
  TXPathExpression* expression = tree != nullptr ? tree->OwnerExpression() : nullptr;
  TdomXPathCustomResult* found = nullptr;
  AskXPathImplementation(this, contextNode, found,
                         [&](TDomImplementation* implementation, const TdomDocumentWatch& hold) {
    implementation->DoRequestXPathVariable(hold, expression, namespaceUri, localName, found);
  });
  if (found == nullptr) throw EXPath_Exception(DomMessageFormat(DomMessage::kNoVariableBinding, {value}));
  return found;
}
