// The string functions: string, concat, starts-with, contains,
// substring-before, substring-after, substring, string-length,
// normalize-space, translate. Lengths and positions count UTF-16 code units.
#include <cmath>

#include "xml/DomException.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/WideStrCompare.h"
#include "xml/XPathFunctions.h"
#include "xml/XPathSyntaxTree.h"

using namespace xpath_functions;

TdomXPathCustomResult* XPathString(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"string", arguments, 0, 1);
  if (arguments.empty()) return XPathToString(NodeSetArgumentOrContext(u"string", arguments, {node, position, size}));
  return XPathToString(EvaluateXPathNode(arguments[0], node, position, size));
}

TdomXPathCustomResult* XPathConcat(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"concat", arguments, 2, size_t(-1));
  std::u16string text;
  for (TdomXPathSyntaxNode* argument : arguments) {
    std::u16string part = StringArgument(argument, {node, position, size});
    // The one string function whose result outgrows its arguments is capped.
    if (part.size() > kXPathMaxStringLength - text.size()) throw EXPath_Limit_Err(kXPathStringTooLong);
    text += part;
  }
  return String(std::move(text));
}

namespace {

// The two string arguments of a two-string function.
void TwoStrings(const char16_t* name, TdomNode* node, int position, int size, const TdomXPathArguments& arguments,
                std::u16string& s1, std::u16string& s2) {
  CheckArgumentCount(name, arguments, 2, 2);
  s1 = StringArgument(arguments[0], {node, position, size});
  s2 = StringArgument(arguments[1], {node, position, size});
}

}  // namespace

TdomXPathCustomResult* XPathStartsWith(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  std::u16string s1, s2;
  TwoStrings(u"starts-with", node, position, size, arguments, s1, s2);
  return Boolean(s1.compare(0, s2.size(), s2) == 0);
}

TdomXPathCustomResult* XPathContains(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  std::u16string s1, s2;
  TwoStrings(u"contains", node, position, size, arguments, s1, s2);
  return Boolean(FindWideStr(s1, s2) != std::u16string::npos);
}

TdomXPathCustomResult* XPathSubstringBefore(TdomNode* node, int position, int size,
                                            const TdomXPathArguments& arguments) {
  std::u16string s1, s2;
  TwoStrings(u"substring-before", node, position, size, arguments, s1, s2);
  size_t at = s2.empty() ? std::u16string::npos : FindWideStr(s1, s2);
  return String(at == std::u16string::npos ? std::u16string() : s1.substr(0, at));
}

TdomXPathCustomResult* XPathSubstringAfter(TdomNode* node, int position, int size,
                                           const TdomXPathArguments& arguments) {
  std::u16string s1, s2;
  TwoStrings(u"substring-after", node, position, size, arguments, s1, s2);
  if (s2.empty()) return String(s1);
  size_t at = FindWideStr(s1, s2);
  return String(at == std::u16string::npos ? std::u16string() : s1.substr(at + s2.size()));
}

namespace {

// The code units from position first to before position end (1-based, end exclusive), clipped to s.
std::u16string Slice(const std::u16string& s, double first, double end) {
  double from = std::max(first, 1.0);
  double to = std::min(end, double(s.size()) + 1);
  if (!(from < to)) return std::u16string();
  return s.substr(size_t(from) - 1, size_t(to - from));
}

}  // namespace

TdomXPathCustomResult* XPathSubstring(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  Context context{node, position, size};
  CheckArgumentCount(u"substring", arguments, 2, 3);
  std::u16string s = StringArgument(arguments[0], context);
  double start = NumberArgument(arguments[1], context);
  double inf = INFINITY;
  if (arguments.size() == 2) {
    if (std::isnan(start) || start == inf) return String(std::u16string());
    if (start == -inf) return String(s);
    return String(Slice(s, XPathRound(start), inf));
  }
  double length = NumberArgument(arguments[2], context);
  if (std::isnan(start) || std::isinf(start) || std::isnan(length)) return String(std::u16string());
  if (length == inf) return String(Slice(s, XPathRound(start), inf));
  if (length == -inf) return String(std::u16string());
  double r = XPathRound(start);
  return String(Slice(s, r, r + XPathRound(length)));
}

namespace {

// The string argument, or the context node's string-value without one.
std::u16string StringOrContextValue(const char16_t* name, TdomNode* node, int position, int size,
                                    const TdomXPathArguments& arguments) {
  CheckArgumentCount(name, arguments, 0, 1);
  Context context{node, position, size};
  if (!arguments.empty()) return StringArgument(arguments[0], context);
  CheckContextNode(name, context);
  return XPathStringValueOf(node);
}

}  // namespace

TdomXPathCustomResult* XPathStringLength(TdomNode* node, int position, int size,
                                         const TdomXPathArguments& arguments) {
  return Number(double(StringOrContextValue(u"string-length", node, position, size, arguments).size()));
}

TdomXPathCustomResult* XPathNormalizeSpace(TdomNode* node, int position, int size,
                                           const TdomXPathArguments& arguments) {
  return String(NormalizeXmlWhiteSpaceWideStr(StringOrContextValue(u"normalize-space", node, position, size, arguments)));
}

namespace {

// Code units of translate's strings that cost one unit of work.
constexpr size_t kTranslateUnitsPerUnit = 4;

}  // namespace

TdomXPathCustomResult* XPathTranslate(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  Context context{node, position, size};
  CheckArgumentCount(u"translate", arguments, 3, 3);
  std::u16string s1 = StringArgument(arguments[0], context);
  std::u16string s2 = StringArgument(arguments[1], context);
  std::u16string s3 = StringArgument(arguments[2], context);
  // Beyond reading them: a table of s2's units is built (sorted) and each
  // unit of s1 is looked up in it.
  ChargeRunningXPathWork(1 + (s1.size() + s2.size()) / kTranslateUnitsPerUnit);
  std::u16string result;
  TranslateWideStr(s1, s2, s3, result);
  return String(std::move(result));
}
