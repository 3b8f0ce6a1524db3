// The syntax tree's ownership of its nodes, node creation by token kind,
// evaluation entry and the nesting limit.
#include "xml/XPathSyntaxTree.h"

#include <algorithm>
#include <utility>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/Node.h"
#include "xml/XPathExpression.h"

// --- Node stack -----------------------------------------------------------------------------

void TdomXPathSyntaxNodeStack::Clear() {
  while (!nodes.empty()) {
    TdomXPathSyntaxNode* node = nodes.back();
    nodes.pop_back();
    node->Free();
  }
}

TdomXPathSyntaxNode* TdomXPathSyntaxNodeStack::Peek(int depth) const {
  if (depth < 0 || size_t(depth) >= nodes.size()) return nullptr;
  return nodes[nodes.size() - 1 - size_t(depth)];
}

TdomXPathSyntaxNode* TdomXPathSyntaxNodeStack::Pop() {
  if (nodes.empty()) return nullptr;
  TdomXPathSyntaxNode* node = nodes.back();
  nodes.pop_back();
  return node;
}

// --- Syntax tree ----------------------------------------------------------------------------

namespace {

// The tree whose evaluation runs on this thread: string-values and other
// work done below the syntax nodes are charged to it.
thread_local TdomXPathSyntaxTree* gRunningTree = nullptr;

}  // namespace

bool IsXPathContextNodeType(const TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node:
    case ntAttribute_Node:
    case ntText_Node:
    case ntProcessing_Instruction_Node:
    case ntComment_Node:
    case ntDocument_Node:
    case ntXPath_Namespace_Node:
      return true;
    default:
      return false;
  }
}

void TdomXPathSyntaxTree::Create(TXPathExpression* owner_) {
  TCustomOwnedObject::Create(nullptr);
  ownerExpression = owner_;
}

void TdomXPathSyntaxTree::Clear() {
  root = nullptr;
  documentOrder.Clear();
  ForgetCachedValues();
  TCustomOwnedObject::Clear();
}

TdomNode* TdomXPathSyntaxTree::GetContextNode() const {
  return ownerExpression != nullptr ? ownerExpression->ContextNode() : nullptr;
}

namespace {

template <class T>
TdomXPathSyntaxNode* Make(TCustomOwnedObject* owner, const std::u16string& value) {
  return New<T>(owner, value);
}

}  // namespace

TdomXPathSyntaxNode* TdomXPathSyntaxTree::CreateSyntaxNode(TdomXPathTokenKind kind, const std::u16string& value) {
  switch (kind) {
    case XPATH_LEFT_PARENTHESIS_TOKEN: return Make<TdomXPathLeftParenthesis>(this, value);
    case XPATH_RIGHT_PARENTHESIS_TOKEN: return Make<TdomXPathRightParenthesis>(this, value);
    case XPATH_LEFT_SQUARE_BRACKET_TOKEN: return Make<TdomXPathLeftSquareBracket>(this, value);
    case XPATH_RIGHT_SQUARE_BRACKET_TOKEN: return Make<TdomXPathRightSquareBracket>(this, value);
    case XPATH_SINGLE_DOT_TOKEN: return Make<TdomXPathSingleDot>(this, value);
    case XPATH_DOUBLE_DOT_TOKEN: return Make<TdomXPathDoubleDot>(this, value);
    case XPATH_COMMERCIAL_AT_TOKEN: return Make<TdomXPathCommercialAt>(this, value);
    case XPATH_COMMA_TOKEN: return Make<TdomXPathComma>(this, value);
    case XPATH_DOUBLE_COLON_TOKEN: return Make<TdomXPathDoubleColon>(this, value);
    case XPATH_NAME_TEST_TOKEN: return Make<TdomXPathNameTest>(this, value);
    case XPATH_NODE_TYPE_COMMENT_TOKEN: return Make<TdomXPathNodeTypeComment>(this, value);
    case XPATH_NODE_TYPE_TEXT_TOKEN: return Make<TdomXPathNodeTypeText>(this, value);
    case XPATH_NODE_TYPE_PI_TOKEN: return Make<TdomXPathNodeTypePI>(this, value);
    case XPATH_NODE_TYPE_NODE_TOKEN: return Make<TdomXPathNodeTypeNode>(this, value);
    case XPATH_AND_OPERATOR_TOKEN: return Make<TdomXPathAndOperator>(this, value);
    case XPATH_OR_OPERATOR_TOKEN: return Make<TdomXPathOrOperator>(this, value);
    case XPATH_MOD_OPERATOR_TOKEN: return Make<TdomXPathModOperator>(this, value);
    case XPATH_DIV_OPERATOR_TOKEN: return Make<TdomXPathDivOperator>(this, value);
    case XPATH_MULTIPLY_OPERATOR_TOKEN: return Make<TdomXPathMultiplyOperator>(this, value);
    case XPATH_SLASH_OPERATOR_TOKEN: return Make<TdomXPathSlashOperator>(this, value);
    case XPATH_SHEFFER_STROKE_OPERATOR_TOKEN: return Make<TdomXPathShefferStrokeOperator>(this, value);
    case XPATH_PLUS_OPERATOR_TOKEN: return Make<TdomXPathPlusOperator>(this, value);
    case XPATH_MINUS_OPERATOR_TOKEN: return Make<TdomXPathMinusOperator>(this, value);
    case XPATH_IS_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathIsEqualOperator>(this, value);
    case XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathIsNotEqualOperator>(this, value);
    case XPATH_LESS_THAN_OPERATOR_TOKEN: return Make<TdomXPathLessThanOperator>(this, value);
    case XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathLessThanOrEqualOperator>(this, value);
    case XPATH_GREATER_THAN_OPERATOR_TOKEN: return Make<TdomXPathGreaterThanOperator>(this, value);
    case XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathGreaterThanOrEqualOperator>(this, value);
    case XPATH_FUNCTION_NAME_TOKEN: return Make<TdomXPathFunctionName>(this, value);
    case XPATH_AXIS_NAME_ANCESTOR_TOKEN: return Make<TdomXPathAxisNameAncestor>(this, value);
    case XPATH_AXIS_NAME_ANCESTOR_OR_SELF_TOKEN: return Make<TdomXPathAxisNameAncestorOrSelf>(this, value);
    case XPATH_AXIS_NAME_ATTRIBUTE_TOKEN: return Make<TdomXPathAxisNameAttribute>(this, value);
    case XPATH_AXIS_NAME_CHILD_TOKEN: return Make<TdomXPathAxisNameChild>(this, value);
    case XPATH_AXIS_NAME_DESCENDANT_TOKEN: return Make<TdomXPathAxisNameDescendant>(this, value);
    case XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN: return Make<TdomXPathAxisNameDescendantOrSelf>(this, value);
    case XPATH_AXIS_NAME_FOLLOWING_TOKEN: return Make<TdomXPathAxisNameFollowing>(this, value);
    case XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN: return Make<TdomXPathAxisNameFollowingSibling>(this, value);
    case XPATH_AXIS_NAME_NAMESPACE_TOKEN: return Make<TdomXPathAxisNameNamespace>(this, value);
    case XPATH_AXIS_NAME_PARENT_TOKEN: return Make<TdomXPathAxisNameParent>(this, value);
    case XPATH_AXIS_NAME_PRECEDING_TOKEN: return Make<TdomXPathAxisNamePreceding>(this, value);
    case XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN: return Make<TdomXPathAxisNamePrecedingSibling>(this, value);
    case XPATH_AXIS_NAME_SELF_TOKEN: return Make<TdomXPathAxisNameSelf>(this, value);
    case XPATH_LITERAL_TOKEN: return Make<TdomXPathLiteral>(this, value);
    case XPATH_NUMBER_TOKEN: return Make<TdomXPathNumber>(this, value);
    case XPATH_VARIABLE_REFERENCE_TOKEN: return Make<TdomXPathVariableReference>(this, value);
    case XPATH_END_OF_EXPRESSION_TOKEN:
    case XPATH_INVALID_TOKEN:
      return nullptr;
  }
  return nullptr;
}

TdomXPathCustomResult* TdomXPathSyntaxTree::Evaluate() {
  TdomNode* context = GetContextNode();
  if (context != nullptr && !IsXPathContextNodeType(context)) throw ENot_Supported_Err();
  if (root == nullptr) throw EXPath_Invalid_Expression_Err();
  // Keys from an earlier evaluation may describe a tree that has changed since.
  documentOrder.Clear();
  if (evaluations == 0) {
    work = 0;
    activeLimit = workLimit;
    TdomDocument* document = context != nullptr ? XPathDocumentOf(context) : nullptr;
    if (limitGrows && document != nullptr) activeLimit += kXPathWorkPerNode * document->OwnedObjectCount();
    ForgetCachedValues();
  } else {
    ++cacheGeneration;
    prefixes.clear();  // the context node may differ
  }
  struct ClearOrder {
    TdomXPathSyntaxTree& tree;
    TdomXPathSyntaxTree* outer;  // the evaluation a handler started this one from
    ~ClearOrder() {
      tree.documentOrder.Clear();
      tree.prefixes.clear();
      if (--tree.evaluations == 0) tree.ForgetCachedValues();
      gRunningTree = outer;
    }
  } clearAfterwards{*this, gRunningTree};
  ++evaluations;
  gRunningTree = this;
  return EvaluateXPathNode(root, context, 1, 1);
}

void TdomXPathSyntaxTree::DocumentMayHaveChanged() {
  documentOrder.Clear();
  prefixes.clear();
  ++cacheGeneration;
}

void TdomXPathSyntaxTree::ForgetCachedValues() {
  cache.clear();
  prefixes.clear();
  retired.clear();
  retiredStrings.clear();
}

TdomXPathSyntaxTree::CacheEntry& TdomXPathSyntaxTree::CurrentEntry(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                                 int contextPosition, int contextSize) {
  const TdomNode* key = node->contextUse == kXPathUsesDocument ? XPathDocumentOf(contextNode) : nullptr;
  CacheEntry& entry = cache[node];  // stays in place while other entries are added
  if (entry.value != nullptr && entry.key == key && entry.generation == cacheGeneration) return entry;
  // A cache point calls no handler, so nothing changes while it is evaluated.
  TdomXPathResultPtr<> fresh(node->evaluate(contextNode, contextPosition, contextSize));
  // The old value may still be in use by an evaluation further up.
  if (entry.value != nullptr) retired.push_back(std::move(entry.value));
  if (entry.strings != nullptr) retiredStrings.push_back(std::move(entry.strings));
  entry.value = std::move(fresh);
  entry.numbers.reset();
  entry.key = key;
  entry.generation = cacheGeneration;
  return entry;
}

const TdomXPathCustomResult* TdomXPathSyntaxTree::CachedValue(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                              int contextPosition, int contextSize) {
  return CurrentEntry(node, contextNode, contextPosition, contextSize).value.get();
}

const std::unordered_set<std::u16string>& TdomXPathSyntaxTree::CachedStringValues(TdomXPathSyntaxNode* node,
                                                                                 TdomNode* contextNode,
                                                                                 int contextPosition,
                                                                                 int contextSize) {
  CacheEntry& entry = CurrentEntry(node, contextNode, contextPosition, contextSize);
  if (entry.strings == nullptr) {
    auto strings = std::make_unique<std::unordered_set<std::u16string>>();
    for (int i = 0, n = entry.value->Length(); i < n; ++i) strings->insert(XPathStringValueOf(entry.value->Item(i)));
    entry.strings = std::move(strings);
  }
  return *entry.strings;
}

std::u16string TdomXPathSyntaxTree::LookupPrefix(const std::u16string& prefix) {
  auto found = prefixes.find(prefix);
  if (found != prefixes.end()) return found->second;
  TdomNode* context = GetContextNode();
  // Text, comments and processing instructions declare nothing: the
  // namespaces in scope are their parent's.
  if (context != nullptr && context->GetParentNode() != nullptr) {
    TdomNodeType type = context->GetNodeType();
    if (type == ntText_Node || type == ntComment_Node || type == ntProcessing_Instruction_Node) {
      context = context->GetParentNode();
    }
  }
  std::u16string uri = context != nullptr ? context->lookupNamespaceURI(prefix) : std::u16string();
  prefixes.emplace(prefix, uri);
  return uri;
}

TdomXPathNumberRange TdomXPathSyntaxTree::CachedNumberRange(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                          int contextPosition, int contextSize) {
  CacheEntry& entry = CurrentEntry(node, contextNode, contextPosition, contextSize);
  if (!entry.numbers) entry.numbers = XPathNumberRangeOf(entry.value.get());
  return *entry.numbers;
}

void TdomXPathSyntaxTree::ChargeWork(size_t units) {
  work += static_cast<int64_t>(units);
  if (work > activeLimit) throw EXPath_Limit_Err(kXPathTooMuchWork);
}

void ChargeRunningXPathWork(size_t units) {
  if (gRunningTree != nullptr) gRunningTree->ChargeWork(units);
}

void ChargeXPathWork(const TdomXPathSyntaxNode* node, size_t units) {
  if (TdomXPathSyntaxTree* tree = node->GetSyntaxTree()) tree->ChargeWork(units);
}

bool TdomXPathSyntaxTree::Prepare(const std::u16string& expression) {
  Clear();
  sizeRefusal = nullptr;
  if (expression.size() > kXPathMaxLength) {
    sizeRefusal = kXPathTooLong;
    return false;
  }
  if (!Parse(expression)) {
    Clear();
    return false;
  }
  if (!Analyse()) {
    sizeRefusal = kXPathTooDeep;
    Clear();
    return false;
  }
  return true;
}

namespace {

// Chains of steps and of predicates are walked in a loop, not by recursion.
bool IsChainLink(const TdomXPathSyntaxNode* node) {
  return node->Is(XPATH_STEP_NODE) || node->Is(XPATH_PREDICATE_NODE);
}

// "a or b or c" is or(or(a, b), c) and "a - b + c" is plus(minus(a, b), c):
// the inner operator of the same level on the left is one more link of the
// chain, which the evaluation walks in a loop.
bool ContinuesOperatorChain(const TdomXPathSyntaxNode* node, const TdomXPathSyntaxNode* child) {
  int level = XPathOperatorLevel(node->Kind());
  return level != 0 && child == node->left && XPathOperatorLevel(child->Kind()) == level && child->right != nullptr;
}

template <class Visit>
void ForEachChild(TdomXPathSyntaxNode* node, Visit&& visit) {
  if (node->left != nullptr) visit(node->left);
  if (node->right != nullptr) visit(node->right);
  if (node->Is(XPATH_FUNCTION_CALL_NODE)) {
    for (TdomXPathSyntaxNode* argument : static_cast<TdomXPathFunctionCall*>(node)->arguments) visit(argument);
  }
}

bool IsValueKind(uint8_t kind) {
  return (kind >= XPATH_EXPR_NODE && kind <= XPATH_PRIMARY_EXPR_NODE) || kind == XPATH_FUNCTION_CALL_NODE ||
         kind == XPATH_LITERAL_TOKEN || kind == XPATH_NUMBER_TOKEN || kind == XPATH_VARIABLE_REFERENCE_TOKEN;
}

// The core functions that read their context whatever their arguments, and
// those that read it when they have none.
bool AlwaysReadsContext(const std::u16string& name) {
  return name == u"position" || name == u"last" || name == u"lang";
}
bool ReadsContextWithoutArguments(const std::u16string& name) {
  return name == u"string" || name == u"number" || name == u"name" || name == u"local-name" ||
         name == u"namespace-uri" || name == u"normalize-space" || name == u"string-length";
}

// Sets contextUse and callsHandlers of node from its children's.
void Classify(TdomXPathSyntaxNode* node) {
  bool handlers = false;
  ForEachChild(node, [&](TdomXPathSyntaxNode* child) { handlers = handlers || child->callsHandlers; });
  auto use = [](const TdomXPathSyntaxNode* child) { return child != nullptr ? child->contextUse : kXPathUsesNothing; };
  uint8_t uses = kXPathUsesNothing;
  switch (node->Kind()) {
    case XPATH_VARIABLE_REFERENCE_TOKEN:
      handlers = true;
      uses = kXPathUsesContext;
      break;
    case XPATH_FUNCTION_CALL_NODE: {
      auto* call = static_cast<TdomXPathFunctionCall*>(node);
      if (call->CoreFunction() == nullptr) {
        handlers = true;
        uses = kXPathUsesContext;
        break;
      }
      for (TdomXPathSyntaxNode* argument : call->arguments) uses = std::max(uses, use(argument));
      const std::u16string& name = call->LocalName();
      if (AlwaysReadsContext(name) || (call->arguments.empty() && ReadsContextWithoutArguments(name))) {
        uses = kXPathUsesContext;
      }
      if (name == u"id") uses = std::max(uses, kXPathUsesDocument);
      break;
    }
    case XPATH_PATH_EXPR_NODE:
      if (node->left == nullptr) {
        uses = kXPathUsesContext;
      } else if (node->left->Is(XPATH_ABSOLUTE_LOCATION_PATH_NODE)) {
        uses = kXPathUsesDocument;
      } else {
        uses = use(node->left);
      }
      break;
    case XPATH_FILTER_EXPR_NODE:
      uses = use(node->left);  // its predicates have contexts of their own
      break;
    default:
      if (IsValueKind(node->Kind())) uses = std::max(use(node->left), use(node->right));
      break;
  }
  node->contextUse = uses;
  node->callsHandlers = handlers;
}

// Worth keeping: a value that does not change from one context node to the
// next and costs more than reading a token.
bool IsCacheCandidate(const TdomXPathSyntaxNode* node) {
  if (!IsValueKind(node->Kind()) || node->callsHandlers || node->contextUse == kXPathUsesContext) return false;
  return !node->Is(XPATH_LITERAL_TOKEN) && !node->Is(XPATH_NUMBER_TOKEN) && !XPathNodePassesThrough(node);
}

}  // namespace

int XPathOperatorLevel(uint8_t kind) {
  switch (kind) {
    case XPATH_OR_EXPR_NODE: return 1;
    case XPATH_AND_EXPR_NODE: return 2;
    case XPATH_IS_EQUAL_EXPR_NODE:
    case XPATH_IS_NOT_EQUAL_EXPR_NODE: return 3;
    case XPATH_LESS_THAN_EXPR_NODE:
    case XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE:
    case XPATH_GREATER_THAN_EXPR_NODE:
    case XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE: return 4;
    case XPATH_PLUS_EXPR_NODE:
    case XPATH_MINUS_EXPR_NODE: return 5;
    case XPATH_MULTIPLY_EXPR_NODE:
    case XPATH_DIV_EXPR_NODE:
    case XPATH_MOD_EXPR_NODE: return 6;
    case XPATH_UNION_EXPR_NODE: return 7;
    default: return 0;
  }
}

int XPathNestingOf(const TdomXPathSyntaxNode* node) {
  int own = XPathNodePassesThrough(node) ? 0 : 1;
  int deepest = 0;
  ForEachChild(const_cast<TdomXPathSyntaxNode*>(node), [&](TdomXPathSyntaxNode* child) {
    bool chained = (IsChainLink(node) && child == node->right) || ContinuesOperatorChain(node, child);
    deepest = std::max(deepest, chained ? child->depth - own : child->depth);
  });
  return own + deepest;
}

bool TdomXPathSyntaxTree::Analyse() {
  // Post-order without recursion: a node is finished once its children are.
  struct Frame {
    TdomXPathSyntaxNode* node;
    bool expanded;
  };
  std::vector<Frame> stack{{root, false}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    TdomXPathSyntaxNode* node = frame.node;
    if (!frame.expanded) {
      frame.expanded = true;
      ForEachChild(node, [&](TdomXPathSyntaxNode* child) { stack.push_back({child, false}); });
      continue;
    }
    stack.pop_back();
    node->depth = XPathNestingOf(node);
    if (node->depth > kXPathMaxNesting) return false;
    Classify(node);
  }
  // Top down: the highest candidates inside predicates (evaluated once per
  // node they filter) become cache points; inside a cache point only the
  // predicates' own candidates do.
  struct Mark {
    TdomXPathSyntaxNode* node;
    bool inPredicate;
    bool covered;
  };
  std::vector<Mark> marks{{root, false, false}};
  while (!marks.empty()) {
    Mark mark = marks.back();
    marks.pop_back();
    TdomXPathSyntaxNode* node = mark.node;
    node->cachePoint = mark.inPredicate && !mark.covered && IsCacheCandidate(node);
    bool covered = mark.covered || node->cachePoint;
    ForEachChild(node, [&](TdomXPathSyntaxNode* child) {
      bool expression = node->Is(XPATH_PREDICATE_NODE) && child == node->left;
      marks.push_back(expression ? Mark{child, true, false} : Mark{child, mark.inPredicate, covered});
    });
  }
  return true;
}
