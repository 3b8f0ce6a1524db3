// The boolean and number functions: boolean, not, true, false, lang, number,
// sum, floor, ceiling, round.
#include <cmath>

#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/XPathFunctions.h"
#include "xml/XmlRulesLanguage.h"

using namespace xpath_functions;

TdomXPathCustomResult* XPathBoolean(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"boolean", arguments, 1, 1);
  return Boolean(EvaluateXPathBoolean(arguments[0], node, position, size));
}

TdomXPathCustomResult* XPathNot(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"not", arguments, 1, 1);
  // Only a boolean is taken; a value that is always one can stop early.
  if (XPathStaticTypeOf(arguments[0]) == TdomXPathStaticType::Boolean) {
    return Boolean(!EvaluateXPathBoolean(arguments[0], node, position, size));
  }
  TdomXPathResultPtr<> value(EvaluateArgument(u"not", arguments[0], {node, position, size}, XPATH_BOOLEAN_TYPE));
  return Boolean(!value->AsBoolean());
}

TdomXPathCustomResult* XPathTrue(TdomNode*, int, int, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"true", arguments, 0, 0);
  return Boolean(true);
}

TdomXPathCustomResult* XPathFalse(TdomNode*, int, int, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"false", arguments, 0, 0);
  return Boolean(false);
}

TdomXPathCustomResult* XPathLang(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  Context context{node, position, size};
  CheckArgumentCount(u"lang", arguments, 1, 1);
  CheckContextNode(u"lang", context);
  std::u16string range = StringArgument(u"lang", arguments[0], context);
  return Boolean(IsSubLanguageTag(node->GetLanguage(), range));
}

TdomXPathCustomResult* XPathNumber(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"number", arguments, 0, 1);
  if (arguments.empty()) return XPathToNumber(NodeSetArgumentOrContext(u"number", arguments, {node, position, size}));
  return XPathToNumber(EvaluateXPathNode(arguments[0], node, position, size));
}

TdomXPathCustomResult* XPathSum(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"sum", arguments, 1, 1);
  TdomXPathResultPtr<> set(EvaluateArgument(u"sum", arguments[0], {node, position, size}, XPATH_NODE_SET_TYPE));
  double sum = 0;
  for (int i = 0, n = set->Length(); i < n; ++i) sum += XPathWideStrToNumber(set->Item(i)->GetXPathStringValue());
  return Number(sum);
}

namespace {

TdomXPathCustomResult* Rounding(const char16_t* name, double (*round)(double), TdomNode* node, int position,
                                int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(name, arguments, 1, 1);
  double value = NumberArgument(name, arguments[0], {node, position, size}, /*articleForNumber=*/true);
  if (std::isnan(value) || std::isinf(value)) return Number(value);
  return Number(round(value));
}

double Floor(double x) { return std::floor(x); }
double Ceiling(double x) { return std::ceil(x); }

}  // namespace

TdomXPathCustomResult* XPathFloor(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  return Rounding(u"floor", Floor, node, position, size, arguments);
}

TdomXPathCustomResult* XPathCeiling(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  return Rounding(u"ceiling", Ceiling, node, position, size, arguments);
}

TdomXPathCustomResult* XPathRoundFunction(TdomNode* node, int position, int size,
                                          const TdomXPathArguments& arguments) {
  return Rounding(u"round", XPathRound, node, position, size, arguments);
}
