// The node-set functions: last, position, count, id, local-name, namespace-uri, name.
#include <algorithm>
#include <unordered_set>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/XPathFunctions.h"
#include "xml/XPathSyntaxTree.h"
#include "xml/XmlRulesChars.h"

using namespace xpath_functions;

TdomXPathCustomResult* XPathLast(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  (void)node;
  (void)position;
  CheckArgumentCount(u"last", arguments, 0, 0);
  if (size < 1) throw EXPath_Invalid_Function_Call_Err(DomMessage::kInvalidContextSize);
  return Number(size);
}

TdomXPathCustomResult* XPathPosition(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  (void)node;
  (void)size;
  CheckArgumentCount(u"position", arguments, 0, 0);
  if (position < 1) throw EXPath_Invalid_Function_Call_Err(DomMessage::kInvalidContextPosition);
  return Number(position);
}

TdomXPathCustomResult* XPathCount(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  CheckArgumentCount(u"count", arguments, 1, 1);
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(NodeSetArgument(u"count", arguments[0], {node, position, size}));
  return Number(set->Length());
}

namespace {

// A token costs about what a few nodes walked do (a string made, hashed into
// a set and looked up in the document's ID table), and more by its length.
constexpr size_t kIdTokenUnits = 4;
constexpr size_t kIdTokenCodeUnitsPerUnit = 16;

// Adds the tokens of text, each one met (repeated ones too) paid for.
void AddTokens(const std::u16string& text, std::unordered_set<std::u16string>& tokens) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsXmlWhiteSpaceWideChar(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) ++i;
    if (i > start) {
      ChargeRunningXPathWork(kIdTokenUnits + (i - start) / kIdTokenCodeUnitsPerUnit);
      tokens.insert(text.substr(start, i - start));
    }
  }
}

}  // namespace

TdomXPathCustomResult* XPathId(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  Context context{node, position, size};
  CheckArgumentCount(u"id", arguments, 1, 1);
  CheckContextNode(u"id", context);
  TdomDocument* document = XPathDocumentOf(node);
  if (document == nullptr) RaiseFunctionError("Context node with no owner document specified for %s().", u"id");
  // The order the IDs are looked up in does not matter: what they find is
  // put in document order.
  std::unordered_set<std::u16string> tokens;
  {
    TdomXPathResultPtr<> value(EvaluateXPathNode(arguments[0], node, position, size));
    if (value->ResultType() == XPATH_NODE_SET_TYPE) {
      for (int i = 0, n = value->Length(); i < n; ++i) AddTokens(XPathStringValueOf(value->Item(i)), tokens);
    } else {
      AddTokens(value->AsWideString(), tokens);
    }
  }
  // Each token kept is looked up: paid for.
  ChargeRunningXPathWork(tokens.size());
  TdomXPathResultPtr<TdomXPathNodeSetResult> result(New<TdomXPathNodeSetResult>());
  for (const std::u16string& token : tokens) {
    if (TdomElement* element = document->getElementById(token)) result->AppendRaw(element);
  }
  // A node-set is in document order, whatever order the IDs were written in:
  // sorted by the evaluation's document-order keys (numbered once, paid
  // for), not by document positions that scan siblings on every comparison.
  TdomXPathSyntaxTree* tree = arguments[0]->GetSyntaxTree();
  TdomXPathDocumentOrder own;
  result->SortInOrder(tree != nullptr ? tree->DocumentOrder() : own);
  return result.release();
}

namespace {

// The first node of the argument (or the context node) in document order, null when none.
TdomXPathCustomResult* NameOfFirst(const char16_t* function, TdomNode* node, int position, int size,
                                   const TdomXPathArguments& arguments,
                                   std::u16string (*nameOf)(const TdomNode*)) {
  CheckArgumentCount(function, arguments, 0, 1);
  TdomXPathResultPtr<> set(NodeSetArgumentOrContext(function, arguments, {node, position, size}));
  if (set->Length() == 0) return String(std::u16string());
  std::u16string name = nameOf(set->Item(0));
  ChargeXPathString(name.size());
  return String(std::move(name));
}

// Elements and attributes made without namespace processing have no local
// name of their own: it is their node name after the first colon.
std::u16string LocalNameOf(const TdomNode* node) {
  TdomNodeType type = node->GetNodeType();
  if (type == ntProcessing_Instruction_Node) return node->GetNodeName();
  std::u16string name = node->GetLocalName();
  if (name.empty() && (type == ntElement_Node || type == ntAttribute_Node)) {
    std::u16string nodeName = node->GetNodeName();
    size_t colon = nodeName.find(u':');
    return colon == std::u16string::npos ? nodeName : nodeName.substr(colon + 1);
  }
  return name;
}

// A namespace node's name is in no namespace.
std::u16string NamespaceUriOf(const TdomNode* node) {
  if (node->GetNodeType() == ntXPath_Namespace_Node) return std::u16string();
  return node->GetNamespaceURI();
}

std::u16string ExpandedNameOf(const TdomNode* node) { return node->GetExpandedName(); }

}  // namespace

TdomXPathCustomResult* XPathLocalName(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  return NameOfFirst(u"local-name", node, position, size, arguments, LocalNameOf);
}

TdomXPathCustomResult* XPathNamespaceUri(TdomNode* node, int position, int size,
                                         const TdomXPathArguments& arguments) {
  return NameOfFirst(u"namespace-uri", node, position, size, arguments, NamespaceUriOf);
}

TdomXPathCustomResult* XPathName(TdomNode* node, int position, int size, const TdomXPathArguments& arguments) {
  return NameOfFirst(u"name", node, position, size, arguments, ExpandedNameOf);
}
