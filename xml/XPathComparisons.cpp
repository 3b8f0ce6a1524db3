// The comparisons of XPath 1.0: "=" and "!=" compare node-sets by their
// nodes' string-values (as numbers against a number, as booleans against a
// boolean); "<", "<=", ">" and ">=" always compare numbers.
#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/Node.h"
#include "xml/XPathSyntaxTree.h"

namespace {

enum class Op { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

Op OpOf(uint8_t kind) {
  switch (kind) {
    case XPATH_IS_NOT_EQUAL_EXPR_NODE: return Op::NotEqual;
    case XPATH_LESS_THAN_EXPR_NODE: return Op::Less;
    case XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE: return Op::LessOrEqual;
    case XPATH_GREATER_THAN_EXPR_NODE: return Op::Greater;
    case XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE: return Op::GreaterOrEqual;
    default: return Op::Equal;
  }
}

// The operator with its operands exchanged: a < b is b > a.
Op Mirrored(Op op) {
  switch (op) {
    case Op::Less: return Op::Greater;
    case Op::LessOrEqual: return Op::GreaterOrEqual;
    case Op::Greater: return Op::Less;
    case Op::GreaterOrEqual: return Op::LessOrEqual;
    default: return op;
  }
}

bool IsEquality(Op op) { return op == Op::Equal || op == Op::NotEqual; }

// IEEE comparison: anything with NaN is false, except NaN != x.
bool CompareNumbers(double a, Op op, double b) {
  switch (op) {
    case Op::Equal: return a == b;
    case Op::NotEqual: return a != b;
    case Op::Less: return a < b;
    case Op::LessOrEqual: return a <= b;
    case Op::Greater: return a > b;
    case Op::GreaterOrEqual: return a >= b;
  }
  return false;
}

std::vector<std::u16string> StringValues(const TdomXPathCustomResult* set) {
  std::vector<std::u16string> values;
  values.reserve(size_t(set->Length()));
  for (int i = 0, n = set->Length(); i < n; ++i) values.push_back(XPathStringValueOf(set->Item(i)));
  return values;
}

// Some node of a set whose numbers span range satisfies "node op b".
bool RangeSatisfies(const TdomXPathNumberRange& range, Op op, double b) {
  if (!range.any) return false;
  switch (op) {
    case Op::Less: return range.min < b;
    case Op::LessOrEqual: return range.min <= b;
    case Op::Greater: return range.max > b;
    default: return range.max >= b;
  }
}

// Some node of a and some node of b satisfy "x op y".
bool RangesSatisfy(const TdomXPathNumberRange& a, Op op, const TdomXPathNumberRange& b) {
  if (!a.any || !b.any) return false;
  return RangeSatisfies(a, op, op == Op::Less || op == Op::LessOrEqual ? b.max : b.min);
}

// Some node of left and some node of right satisfy op. knownRight, when
// given, holds the string-values of right's nodes.
bool CompareNodeSets(const TdomXPathCustomResult* left, Op op, const TdomXPathCustomResult* right,
                     const std::unordered_set<std::u16string>* knownRight) {
  if (op == Op::Equal && knownRight != nullptr) {
    for (int i = 0, n = left->Length(); i < n; ++i) {
      if (knownRight->count(XPathStringValueOf(left->Item(i))) != 0) return true;
    }
    return false;
  }
  if (IsEquality(op)) {
    std::vector<std::u16string> a = StringValues(left);
    std::vector<std::u16string> b = StringValues(right);
    if (a.empty() || b.empty()) return false;
    if (op == Op::Equal) {
      std::unordered_set<std::u16string> lookup(a.begin(), a.end());
      return std::any_of(b.begin(), b.end(), [&](const std::u16string& s) { return lookup.count(s) != 0; });
    }
    // Some pair differs unless every value on both sides is one and the same.
    auto differs = [&](const std::u16string& s) { return s != a.front(); };
    return std::any_of(a.begin(), a.end(), differs) || std::any_of(b.begin(), b.end(), differs);
  }
  return RangesSatisfy(XPathNumberRangeOf(left), op, XPathNumberRangeOf(right));
}

// A node-set (on the left of op) against a scalar.
bool CompareNodeSetWith(const TdomXPathCustomResult* set, Op op, const TdomXPathCustomResult* other) {
  if (other->ResultType() == XPATH_BOOLEAN_TYPE) {
    if (IsEquality(op)) return (set->AsBoolean() == other->AsBoolean()) == (op == Op::Equal);
    return CompareNumbers(set->AsBoolean() ? 1.0 : 0.0, op, other->AsNumber());
  }
  bool asNumbers = other->ResultType() == XPATH_NUMBER_TYPE || !IsEquality(op);
  if (asNumbers) {
    double b = other->AsNumber();
    for (int i = 0, n = set->Length(); i < n; ++i) {
      if (CompareNumbers(XPathNumberValueOf(set->Item(i)), op, b)) return true;
    }
    return false;
  }
  std::u16string b = other->AsWideString();
  for (int i = 0, n = set->Length(); i < n; ++i) {
    if ((XPathStringValueOf(set->Item(i)) == b) == (op == Op::Equal)) return true;
  }
  return false;
}

bool CompareScalars(const TdomXPathCustomResult* left, Op op, const TdomXPathCustomResult* right) {
  if (!IsEquality(op)) return CompareNumbers(left->AsNumber(), op, right->AsNumber());
  bool equal;
  if (left->ResultType() == XPATH_BOOLEAN_TYPE || right->ResultType() == XPATH_BOOLEAN_TYPE) {
    equal = left->AsBoolean() == right->AsBoolean();
  } else if (left->ResultType() == XPATH_NUMBER_TYPE || right->ResultType() == XPATH_NUMBER_TYPE) {
    return CompareNumbers(left->AsNumber(), op, right->AsNumber());
  } else {
    equal = left->AsWideString() == right->AsWideString();
  }
  return equal == (op == Op::Equal);
}

// The operand without the nodes that only hand on its value (or, for a
// node-set, only set its direction).
TdomXPathSyntaxNode* Unwrapped(TdomXPathSyntaxNode* operand) {
  while (operand != nullptr && (XPathNodePassesThrough(operand) ||
                                (operand->Is(XPATH_UNION_EXPR_NODE) && operand->right == nullptr))) {
    operand = operand->left;
  }
  return operand;
}

TdomXPathPathExpr* StreamablePath(TdomXPathSyntaxNode* operand) {
  TdomXPathSyntaxNode* node = Unwrapped(operand);
  // A path that calls handlers keeps its place in the order of evaluation.
  if (node == nullptr || !node->Is(XPATH_PATH_EXPR_NODE) || node->cachePoint || node->callsHandlers) return nullptr;
  auto* path = static_cast<TdomXPathPathExpr*>(node);
  return path->IsLocationPath() ? path : nullptr;
}

bool IsPlainScalar(TdomXPathSyntaxNode* operand) {
  TdomXPathStaticType type = XPathStaticTypeOf(operand);
  return type != TdomXPathStaticType::NodeSet && type != TdomXPathStaticType::Unknown && !operand->callsHandlers;
}

// The node an operand's kept value belongs to.
TdomXPathSyntaxNode* KeptNode(TdomXPathSyntaxNode* operand) {
  while (XPathNodePassesThrough(operand)) operand = operand->left;
  return operand;
}

// "=" between a location path and a node-set kept for the evaluation (a
// context-free one): the path stops at the first node whose string-value the
// kept set holds. False when the operands are not of that kind.
bool CompareWithKeptSet(TdomXPathSyntaxNode* left, TdomXPathSyntaxNode* right, TdomNode* contextNode,
                        int contextPosition, int contextSize, bool& holds) {
  TdomXPathPathExpr* path = StreamablePath(left);
  TdomXPathSyntaxNode* kept = KeptNode(right);
  if (path == nullptr || !kept->cachePoint) {
    path = StreamablePath(right);
    kept = KeptNode(left);
    if (path == nullptr || !kept->cachePoint) return false;
  }
  TdomXPathSyntaxTree* tree = contextNode != nullptr ? kept->GetSyntaxTree() : nullptr;
  if (tree == nullptr) return false;
  const TdomXPathCustomResult* value = tree->CachedValue(kept, contextNode, contextPosition, contextSize);
  if (value->ResultType() != XPATH_NODE_SET_TYPE) return false;
  const std::unordered_set<std::u16string>& strings =
      tree->CachedStringValues(kept, contextNode, contextPosition, contextSize);
  if (strings.empty()) {
    holds = false;
    return true;
  }
  TdomXPathNodeCheck check = [&](TdomNode* node) { return strings.count(XPathStringValueOf(node)) != 0; };
  holds = path->SelectsAny(contextNode, &check);
  return true;
}

// A location path against a value that is never a node-set (and calls no
// handler, so it can be taken first): the path stops at the first node that
// satisfies op. False when the operands are not of that kind.
bool CompareAsStream(TdomXPathSyntaxNode* left, Op op, TdomXPathSyntaxNode* right, TdomNode* contextNode,
                     int contextPosition, int contextSize, bool& holds) {
  TdomXPathPathExpr* path = StreamablePath(left);
  TdomXPathSyntaxNode* other = right;
  if (path == nullptr || !IsPlainScalar(right)) {
    path = StreamablePath(right);
    other = left;
    op = Mirrored(op);
    if (path == nullptr || !IsPlainScalar(left)) return false;
  }
  TdomXPathResultPtr<> held;
  const TdomXPathCustomResult* value = EvaluateXPathNodeTemp(other, contextNode, contextPosition, contextSize, held);
  if (value->ResultType() == XPATH_NODE_SET_TYPE) RaiseXPathTypeError();  // not reached: the type is known
  if (value->ResultType() == XPATH_BOOLEAN_TYPE) {
    bool any = path->SelectsAny(contextNode);
    holds = IsEquality(op) ? (any == value->AsBoolean()) == (op == Op::Equal)
                           : CompareNumbers(any ? 1.0 : 0.0, op, value->AsNumber());
    return true;
  }
  TdomXPathNodeCheck check;
  double number = value->AsNumber();
  std::u16string text;
  if (value->ResultType() == XPATH_NUMBER_TYPE || !IsEquality(op)) {
    check = [&](TdomNode* node) { return CompareNumbers(XPathNumberValueOf(node), op, number); };
  } else {
    text = value->AsWideString();
    check = [&](TdomNode* node) { return (XPathStringValueOf(node) == text) == (op == Op::Equal); };
  }
  holds = path->SelectsAny(contextNode, &check);
  return true;
}

// Two values already evaluated, by the rules above.
bool CompareValues(const TdomXPathCustomResult* a, Op op, const TdomXPathCustomResult* b) {
  bool aIsSet = a->ResultType() == XPATH_NODE_SET_TYPE;
  bool bIsSet = b->ResultType() == XPATH_NODE_SET_TYPE;
  if (aIsSet && bIsSet) return CompareNodeSets(a, op, b, nullptr);
  if (aIsSet) return CompareNodeSetWith(a, op, b);
  if (bIsSet) return CompareNodeSetWith(b, Mirrored(op), a);
  return CompareScalars(a, op, b);
}

// One comparison between the operand nodes left and right.
bool CompareOperands(TdomXPathSyntaxNode* node, TdomXPathSyntaxNode* left, TdomXPathSyntaxNode* right,
                     TdomNode* contextNode, int contextPosition, int contextSize) {
  Op op = OpOf(node->Kind());
  bool streamed;
  if (CompareAsStream(left, op, right, contextNode, contextPosition, contextSize, streamed) ||
      (op == Op::Equal && CompareWithKeptSet(left, right, contextNode, contextPosition, contextSize, streamed))) {
    return streamed;
  }
  // An operand kept for the whole evaluation (a context-free node-set in a
  // predicate) is used in place, with its string-values looked up once.
  TdomXPathResultPtr<> heldA, heldB;
  const TdomXPathCustomResult* a = EvaluateXPathNodeTemp(left, contextNode, contextPosition, contextSize, heldA);
  const TdomXPathCustomResult* b = EvaluateXPathNodeTemp(right, contextNode, contextPosition, contextSize, heldB);
  TdomXPathSyntaxTree* tree = contextNode != nullptr ? node->GetSyntaxTree() : nullptr;
  bool aIsSet = a->ResultType() == XPATH_NODE_SET_TYPE;
  bool bIsSet = b->ResultType() == XPATH_NODE_SET_TYPE;
  if (!IsEquality(op) && tree != nullptr && ((aIsSet && heldA == nullptr) || (bIsSet && heldB == nullptr))) {
    // A kept set's numbers are read once for the evaluation, not in every round.
    auto rangeOf = [&](const TdomXPathCustomResult* set, const TdomXPathResultPtr<>& held, TdomXPathSyntaxNode* operand) {
      if (held != nullptr) return XPathNumberRangeOf(set);
      return tree->CachedNumberRange(KeptNode(operand), contextNode, contextPosition, contextSize);
    };
    if (aIsSet && bIsSet) return RangesSatisfy(rangeOf(a, heldA, left), op, rangeOf(b, heldB, right));
    const TdomXPathCustomResult* other = aIsSet ? b : a;
    if (other->ResultType() != XPATH_BOOLEAN_TYPE) {
      if (aIsSet) return RangeSatisfies(rangeOf(a, heldA, left), op, other->AsNumber());
      return RangeSatisfies(rangeOf(b, heldB, right), Mirrored(op), other->AsNumber());
    }
  }
  if (aIsSet && bIsSet && op == Op::Equal && tree != nullptr) {
    if (heldB == nullptr) {
      return CompareNodeSets(a, op, b, &tree->CachedStringValues(KeptNode(right), contextNode, contextPosition, contextSize));
    }
    if (heldA == nullptr) {
      return CompareNodeSets(b, op, a, &tree->CachedStringValues(KeptNode(left), contextNode, contextPosition, contextSize));
    }
  }
  return CompareValues(a, op, b);
}

}  // namespace

TdomXPathCustomResult* TdomXPathEqualityExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  // The whole chain "a = b != c" (or "a < b <= c") in a loop: the first
  // comparison between operand nodes, each later one between the boolean so
  // far and the next operand.
  std::vector<TdomXPathSyntaxNode*> links = XPathChainLinks(this);
  TdomXPathSyntaxNode* first = links.front();
  bool holds = CompareOperands(first, first->left, first->right, contextNode, contextPosition, contextSize);
  for (size_t i = 1; i < links.size(); ++i) {
    TdomXPathBooleanResult* soFar = New<TdomXPathBooleanResult>(holds);
    TdomXPathResultPtr<> held(soFar);
    TdomXPathResultPtr<> heldB;
    const TdomXPathCustomResult* b =
        EvaluateXPathNodeTemp(links[i]->right, contextNode, contextPosition, contextSize, heldB);
    holds = CompareValues(soFar, OpOf(links[i]->Kind()), b);
  }
  return New<TdomXPathBooleanResult>(holds);
}
