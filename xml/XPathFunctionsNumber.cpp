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
  // Converted as boolean() converts; a node-set stops at its first node.
  return Boolean(!EvaluateXPathBoolean(arguments[0], node, position, size));
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
  std::u16string range = StringArgument(arguments[0], context);
  // The language is looked for up the ancestors: each one is paid for.
  size_t levels = 0;
  for (const TdomNode* up = node; up != nullptr; up = up->GetParentNode()) ++levels;
  ChargeRunningXPathWork(levels);
  // The xml:lang value found is copied and compared: paid for by its length.
  std::u16string language = node->GetLanguage();
  ChargeXPathString(language.size());
  return Boolean(IsSubLanguageTag(language, range));
}

TdomXPathCustomResult* XPathNumber(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"number", arguments, 0, 1);
  if (arguments.empty()) return XPathToNumber(NodeSetArgumentOrContext(u"number", arguments, {node, position, size}));
  return XPathToNumber(EvaluateXPathNode(arguments[0], node, position, size));
}

TdomXPathCustomResult* XPathSum(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"sum", arguments, 1, 1);
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(NodeSetArgument(u"sum", arguments[0], {node, position, size}));
  double sum = 0;
  for (int i = 0, n = set->Length(); i < n; ++i) sum += XPathNumberValueOf(set->Item(i));
  return Number(sum);
}

namespace {

TdomXPathCustomResult* Rounding(const char16_t* name, double (*round)(double), TdomNode* node, int position,
                                int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(name, arguments, 1, 1);
  double value = NumberArgument(arguments[0], {node, position, size});
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
