// Evaluation that does less than building every value in full: booleans
// that stop at the first node found, and values kept for one evaluation
// where a predicate would otherwise compute them again for every node.
#include "xml/XPathSyntaxTree.h"

namespace {

TdomXPathSyntaxNode* SkipPassThrough(TdomXPathSyntaxNode* node) {
  while (node != nullptr && XPathNodePassesThrough(node)) node = node->left;
  if (node == nullptr) RaiseXPathTypeError();
  return node;
}

// The tree keeping node's value, or null when this evaluation keeps none.
TdomXPathSyntaxTree* KeepingTree(const TdomXPathSyntaxNode* node, const TdomNode* contextNode) {
  if (!node->cachePoint || contextNode == nullptr) return nullptr;
  return node->GetSyntaxTree();
}

}  // namespace

TdomXPathCustomResult* CopyXPathResult(const TdomXPathCustomResult* result) {
  ChargeRunningXPathWork(size_t(result->Length()));
  switch (result->ResultType()) {
    case XPATH_BOOLEAN_TYPE: return New<TdomXPathBooleanResult>(result->AsBoolean());
    case XPATH_NUMBER_TYPE: return New<TdomXPathNumberResult>(result->AsNumber());
    case XPATH_STRING_TYPE: return New<TdomXPathStringResult>(result->AsWideString());
    default: break;
  }
  TdomXPathResultPtr<TdomXPathNodeSetResult> copy(New<TdomXPathNodeSetResult>());
  copy->Assign(const_cast<TdomXPathCustomResult*>(result));
  return copy.release();
}

const TdomXPathCustomResult* EvaluateXPathNodeTemp(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                   int contextPosition, int contextSize,
                                                   TdomXPathResultPtr<>& holder) {
  node = SkipPassThrough(node);
  ChargeRunningXPathWork(1);
  if (TdomXPathSyntaxTree* tree = KeepingTree(node, contextNode)) {
    return tree->CachedValue(node, contextNode, contextPosition, contextSize);
  }
  holder.reset(node->evaluate(contextNode, contextPosition, contextSize));
  return holder.get();
}

bool EvaluateXPathBoolean(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition, int contextSize) {
  for (;;) {
    node = SkipPassThrough(node);
    ChargeRunningXPathWork(1);
    if (TdomXPathSyntaxTree* tree = KeepingTree(node, contextNode)) {
      return tree->CachedValue(node, contextNode, contextPosition, contextSize)->AsBoolean();
    }
    // A union of one operand only sets the direction of its node-set.
    if (!node->Is(XPATH_UNION_EXPR_NODE) || node->right != nullptr) break;
    node = node->left;
  }
  if (node->Is(XPATH_PATH_EXPR_NODE) && static_cast<TdomXPathPathExpr*>(node)->IsLocationPath()) {
    return static_cast<TdomXPathPathExpr*>(node)->SelectsAny(contextNode);
  }
  TdomXPathResultPtr<> value(XPathToBoolean(node->evaluate(contextNode, contextPosition, contextSize)));
  return value->AsBoolean();
}
