// The comparisons of XPath 1.0: "=" and "!=" compare node-sets by their
// nodes' string-values (as numbers against a number, as booleans against a
// boolean); "<", "<=", ">" and ">=" always compare numbers.
#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/Node.h"
#include "xml/XPathSyntaxNodes.h"

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
  for (int i = 0, n = set->Length(); i < n; ++i) values.push_back(set->Item(i)->GetXPathStringValue());
  return values;
}

std::vector<double> NumberValues(const TdomXPathCustomResult* set) {
  std::vector<double> values;
  for (int i = 0, n = set->Length(); i < n; ++i) {
    double value = XPathWideStrToNumber(set->Item(i)->GetXPathStringValue());
    if (!std::isnan(value)) values.push_back(value);
  }
  return values;
}

// Some node of left and some node of right satisfy op.
bool CompareNodeSets(const TdomXPathCustomResult* left, Op op, const TdomXPathCustomResult* right) {
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
  std::vector<double> a = NumberValues(left);
  std::vector<double> b = NumberValues(right);
  if (a.empty() || b.empty()) return false;
  auto [aMin, aMax] = std::minmax_element(a.begin(), a.end());
  auto [bMin, bMax] = std::minmax_element(b.begin(), b.end());
  switch (op) {
    case Op::Less: return *aMin < *bMax;
    case Op::LessOrEqual: return *aMin <= *bMax;
    case Op::Greater: return *aMax > *bMin;
    default: return *aMax >= *bMin;
  }
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
      if (CompareNumbers(XPathWideStrToNumber(set->Item(i)->GetXPathStringValue()), op, b)) return true;
    }
    return false;
  }
  std::u16string b = other->AsWideString();
  for (int i = 0, n = set->Length(); i < n; ++i) {
    if ((set->Item(i)->GetXPathStringValue() == b) == (op == Op::Equal)) return true;
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

}  // namespace

TdomXPathCustomResult* TdomXPathEqualityExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right == nullptr) return EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
  TdomXPathResultPtr<> a(EvaluateXPathNode(left, contextNode, contextPosition, contextSize));
  TdomXPathResultPtr<> b(EvaluateXPathNode(right, contextNode, contextPosition, contextSize));
  Op op = OpOf(Kind());
  bool aIsSet = a->ResultType() == XPATH_NODE_SET_TYPE;
  bool bIsSet = b->ResultType() == XPATH_NODE_SET_TYPE;
  bool holds;
  if (aIsSet && bIsSet) {
    holds = CompareNodeSets(a.get(), op, b.get());
  } else if (aIsSet) {
    holds = CompareNodeSetWith(a.get(), op, b.get());
  } else if (bIsSet) {
    holds = CompareNodeSetWith(b.get(), Mirrored(op), a.get());
  } else {
    holds = CompareScalars(a.get(), op, b.get());
  }
  return New<TdomXPathBooleanResult>(holds);
}
