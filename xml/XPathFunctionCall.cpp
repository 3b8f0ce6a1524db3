// Function calls: the core function table, argument helpers, and the
// functions the DOM implementation supplies.
#include "xml/XPathFunctions.h"

#include <iterator>

#include "core/Lists.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomImplementation.h"
#include "xml/ParserUtilsNames.h"
#include "xml/XPathSyntaxTree.h"

namespace {

struct CoreFunctionEntry {
  const char16_t* name;
  TdomXPathCoreFunction function;
  TdomXPathResultType resultType;
};

constexpr CoreFunctionEntry kCoreFunctions[] = {
    {u"last", XPathLast, XPATH_NUMBER_TYPE},
    {u"position", XPathPosition, XPATH_NUMBER_TYPE},
    {u"count", XPathCount, XPATH_NUMBER_TYPE},
    {u"id", XPathId, XPATH_NODE_SET_TYPE},
    {u"local-name", XPathLocalName, XPATH_STRING_TYPE},
    {u"namespace-uri", XPathNamespaceUri, XPATH_STRING_TYPE},
    {u"name", XPathName, XPATH_STRING_TYPE},
    {u"string", XPathString, XPATH_STRING_TYPE},
    {u"concat", XPathConcat, XPATH_STRING_TYPE},
    {u"starts-with", XPathStartsWith, XPATH_BOOLEAN_TYPE},
    {u"contains", XPathContains, XPATH_BOOLEAN_TYPE},
    {u"substring-before", XPathSubstringBefore, XPATH_STRING_TYPE},
    {u"substring-after", XPathSubstringAfter, XPATH_STRING_TYPE},
    {u"substring", XPathSubstring, XPATH_STRING_TYPE},
    {u"string-length", XPathStringLength, XPATH_NUMBER_TYPE},
    {u"normalize-space", XPathNormalizeSpace, XPATH_STRING_TYPE},
    {u"translate", XPathTranslate, XPATH_STRING_TYPE},
    {u"boolean", XPathBoolean, XPATH_BOOLEAN_TYPE},
    {u"not", XPathNot, XPATH_BOOLEAN_TYPE},
    {u"true", XPathTrue, XPATH_BOOLEAN_TYPE},
    {u"false", XPathFalse, XPATH_BOOLEAN_TYPE},
    {u"lang", XPathLang, XPATH_BOOLEAN_TYPE},
    {u"number", XPathNumber, XPATH_NUMBER_TYPE},
    {u"sum", XPathSum, XPATH_NUMBER_TYPE},
    {u"floor", XPathFloor, XPATH_NUMBER_TYPE},
    {u"ceiling", XPathCeiling, XPATH_NUMBER_TYPE},
    {u"round", XPathRoundFunction, XPATH_NUMBER_TYPE},
};

const CoreFunctionEntry* FindEntry(const std::u16string& name) {
  for (const CoreFunctionEntry& entry : kCoreFunctions) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

std::string Utf8Name(const char16_t* name) {
  std::string text;
  for (const char16_t* c = name; *c != 0; ++c) text += char(*c);  // the names are ASCII
  return text;
}

}  // namespace

TdomXPathCoreFunction FindXPathCoreFunction(const std::u16string& name) {
  const CoreFunctionEntry* entry = FindEntry(name);
  return entry != nullptr ? entry->function : nullptr;
}

bool XPathCoreFunctionResultType(const std::u16string& name, TdomXPathResultType& type) {
  const CoreFunctionEntry* entry = FindEntry(name);
  if (entry == nullptr) return false;
  type = entry->resultType;
  return true;
}

// --- Function call node --------------------------------------------------------------------------

std::u16string TdomXPathFunctionCall::GetFunctionName() const {
  return prefix.empty() ? localName : prefix + u":" + localName;
}

void TdomXPathFunctionCall::SetFunctionName(const std::u16string& qname) {
  prefix = ExtractPrefix(qname);
  localName = ExtractLocalName(qname);
  coreFunction = prefix.empty() ? FindXPathCoreFunction(localName) : nullptr;
}

TdomXPathCustomResult* TdomXPathFunctionCall::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (coreFunction != nullptr) return coreFunction(contextNode, contextPosition, contextSize, arguments);
  std::u16string namespaceUri = ResolveXPathPrefix(this, prefix);
  TdomXPathCustomResult* value = nullptr;
  TList argumentList;
  for (TdomXPathSyntaxNode* argument : arguments) argumentList.Add(argument);
  AskXPathImplementation(this, contextNode, value,
                         [&](TDomImplementation* implementation, const TdomDocumentWatch& hold) {
    implementation->DoRequestXPathFunctionResult(hold, namespaceUri, localName, contextNode, contextPosition,
                                                 contextSize, &argumentList, value);
  });
  if (value == nullptr) throw EXPath_Exception(DomMessage::kUnknownFunction);
  return value;
}

// --- Helpers of the functions --------------------------------------------------------------------

namespace xpath_functions {

void RaiseFunctionError(const char* pattern, const char16_t* name) {
  std::string message = pattern;
  size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, Utf8Name(name));
  throw EXPath_Invalid_Function_Call_Err(message);
}

void CheckArgumentCount(const char16_t* name, const TdomXPathArguments& arguments, size_t min, size_t max) {
  if (arguments.size() < min || arguments.size() > max) RaiseFunctionError(DomMessage::kArgumentsMismatch, name);
}

void CheckContextNode(const char16_t* name, const Context& context) {
  if (context.node == nullptr) RaiseFunctionError(DomMessage::kNoContextNode, name);
}

TdomXPathNodeSetResult* NodeSetArgument(const char16_t* name, TdomXPathSyntaxNode* argument, const Context& context) {
  TdomXPathResultPtr<> result(EvaluateXPathNode(argument, context.node, context.position, context.size));
  if (result->ResultType() != XPATH_NODE_SET_TYPE) {
    RaiseFunctionError("Argument mismatch error in %s(): Expression does not evaluate to node-set.", name);
  }
  return static_cast<TdomXPathNodeSetResult*>(result.release());
}

std::u16string StringArgument(TdomXPathSyntaxNode* argument, const Context& context) {
  TdomXPathResultPtr<> result(EvaluateXPathNode(argument, context.node, context.position, context.size));
  std::u16string text = result->AsWideString();
  // The functions read their strings a bounded number of times (translate's
  // from-string too): paying for each string read pays for the call.
  ChargeXPathString(text.size());
  return text;
}

double NumberArgument(TdomXPathSyntaxNode* argument, const Context& context) {
  TdomXPathResultPtr<> result(EvaluateXPathNode(argument, context.node, context.position, context.size));
  return result->AsNumber();
}

TdomXPathNodeSetResult* NodeSetArgumentOrContext(const char16_t* name, const TdomXPathArguments& arguments,
                                                 const Context& context) {
  if (arguments.empty()) {
    TdomXPathNodeSetResult* set = New<TdomXPathNodeSetResult>();
    if (context.node != nullptr) set->Add(context.node);
    return set;
  }
  TdomXPathNodeSetResult* set = NodeSetArgument(name, arguments[0], context);
  set->SetAxisIsReverse(false);
  return set;
}

TdomXPathCustomResult* Boolean(bool value) { return New<TdomXPathBooleanResult>(value); }
TdomXPathCustomResult* Number(double value) { return New<TdomXPathNumberResult>(value); }
TdomXPathCustomResult* String(std::u16string value) { return New<TdomXPathStringResult>(std::move(value)); }

}  // namespace xpath_functions
