#pragma once
// Shared helpers of the XPath tests: a parsed document, evaluation of an
// expression from a context node, and a compact text of any result.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "DomTestSupport.h"
#include "XmlParserTestSupport.h"
#include "xml/XPathExpression.h"
#include "xml/XPathSyntaxTree.h"

// One node as the tables write it: an element by its id attribute (else its
// name), "@name" for an attribute, 'text' for text, "!data" for a comment,
// "?target" for a processing instruction, "/" for the document, "ns:prefix".
inline std::string DescribeXPathNode(TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node: {
      auto* element = static_cast<TdomElement*>(node);
      std::u16string id = element->getAttribute(u"id");
      return Utf8(id.empty() ? element->GetNodeName() : id);
    }
    case ntAttribute_Node: return "@" + Utf8(node->GetNodeName());
    case ntText_Node:
    case ntCDATA_Section_Node: return "'" + Utf8(node->GetNodeValue()) + "'";
    case ntComment_Node: return "!" + Utf8(node->GetNodeValue());
    case ntProcessing_Instruction_Node: return "?" + Utf8(node->GetNodeName());
    case ntDocument_Node: return "/";
    case ntXPath_Namespace_Node: return "ns:" + Utf8(node->GetPrefix());
    default: return "#" + Utf8(node->GetNodeName());
  }
}

// "[a,b]" for a node-set in list order, "n:3", "s:text", "b:true".
inline std::string DescribeXPathResult(const TdomXPathCustomResult* result) {
  if (result == nullptr) return "error";
  switch (result->ResultType()) {
    case XPATH_NODE_SET_TYPE: {
      std::string text = "[";
      for (int i = 0; i < result->Length(); ++i) {
        if (i > 0) text += ",";
        text += DescribeXPathNode(result->Item(i));
      }
      return text + "]";
    }
    case XPATH_NUMBER_TYPE: return "n:" + Utf8(result->AsWideString());
    case XPATH_STRING_TYPE: return "s:" + Utf8(result->AsWideString());
    default: return result->AsBoolean() ? "b:true" : "b:false";
  }
}

class XPathTest : public ParserTest {
protected:
  void SetUp() override {
    ParserTest::SetUp();
    expression = New<TXPathExpression>(static_cast<TComponent*>(nullptr));
  }
  void TearDown() override {
    expression->Free();
    ParserTest::TearDown();
  }

  // The result of text from context, described; "error" when Evaluate failed.
  std::string Eval(TdomNode* context, const std::u16string& text) {
    expression->SetContextNode(context);
    expression->SetExpression(text);
    if (!expression->Evaluate()) return "error";
    return DescribeXPathResult(expression->Result());
  }
  // The node the context expression selects from the document (fails the test when none).
  TdomNode* Context(TdomDocument* document, const std::u16string& path) {
    if (path.empty() || path == u"/") return document;
    TdomNode* node = document->EvaluateToNode(path);
    EXPECT_NE(node, nullptr) << "no context node " << Utf8(path);
    return node;
  }

  TXPathExpression* expression = nullptr;
};

// One row of a table: from the node context selects, text gives expected.
struct XPathCase {
  const char16_t* context;
  const char16_t* text;
  const char* expected;
};

#define EXPECT_XPATH_TABLE(document, table)                                              \
  for (const XPathCase& row : table) {                                                   \
    TdomNode* context_ = Context(document, row.context);                                 \
    if (context_ == nullptr) continue;                                                   \
    EXPECT_EQ(Eval(context_, row.text), row.expected)                                     \
        << "context " << Utf8(row.context) << ", expression " << Utf8(row.text);         \
  }
