#pragma once
// The core function library of XPath 1.0, shared by its implementation files.
// Every function checks its argument count and evaluates its arguments with
// the caller's context. String, number and boolean arguments are converted
// from whatever they evaluate to; a node-set argument must be one. Failures
// raise EXPath_Invalid_Function_Call_Err with the function's name.
#include <string>
#include <vector>

#include "xml/Element.h"
#include "xml/XPathSyntaxNodes.h"

using TdomXPathArguments = std::vector<TdomXPathSyntaxNode*>;

// The core function named name (exact case), or null.
TdomXPathCoreFunction FindXPathCoreFunction(const std::u16string& name);

// Helpers of the function implementations.
namespace xpath_functions {

struct Context {
  TdomNode* node;
  int position;
  int size;
};

// Raises "Arguments mismatch error in <name>()." unless the count is within min..max.
void CheckArgumentCount(const char16_t* name, const TdomXPathArguments& arguments, size_t min, size_t max);
// Raises "Context node not specified for <name>()." without a context node.
void CheckContextNode(const char16_t* name, const Context& context);
// The argument's node-set (owned by the caller); any other value raises
// "Argument mismatch error in <name>(): Expression does not evaluate to node-set.".
TdomXPathNodeSetResult* NodeSetArgument(const char16_t* name, TdomXPathSyntaxNode* argument, const Context& context);
// The argument converted as string() and number() convert: a node-set gives
// its first node's string-value, a boolean "true" or 1, and so on.
std::u16string StringArgument(TdomXPathSyntaxNode* argument, const Context& context);
double NumberArgument(TdomXPathSyntaxNode* argument, const Context& context);
// The argument as a node-set in document order, or a set holding the context node when there is none.
TdomXPathNodeSetResult* NodeSetArgumentOrContext(const char16_t* name, const TdomXPathArguments& arguments,
                                                 const Context& context);
[[noreturn]] void RaiseFunctionError(const char* pattern, const char16_t* name);

TdomXPathCustomResult* Boolean(bool value);
TdomXPathCustomResult* Number(double value);
TdomXPathCustomResult* String(std::u16string value);

}  // namespace xpath_functions

// The functions, by the group they belong to.
TdomXPathCustomResult* XPathLast(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathPosition(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathCount(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathId(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathLocalName(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathNamespaceUri(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathName(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathString(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathConcat(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathStartsWith(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathContains(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathSubstringBefore(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathSubstringAfter(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathSubstring(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathStringLength(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathNormalizeSpace(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathTranslate(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathBoolean(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathNot(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathTrue(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathFalse(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathLang(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathNumber(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathSum(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathFloor(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathCeiling(TdomNode*, int, int, const TdomXPathArguments&);
TdomXPathCustomResult* XPathRoundFunction(TdomNode*, int, int, const TdomXPathArguments&);
