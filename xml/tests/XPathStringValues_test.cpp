// What XPath reads from a document: string-values and text content are the
// character data (references replaced, attribute values normalised) while
// node values stay as stored; numbers with a trailing point; prefixes asked
// of the document; namespace nodes handed out by the node shortcut; texts
// refused for their size.
#include "XPathTestSupport.h"
#include "xml/DomXPathNamespace.h"

namespace {

class XPathStringValues : public XPathTest {};

TEST_F(XPathStringValues, AttributeValuesAreTheirCharacterData) {
  TdomDocument* doc = ParseBytes("<r a='x&amp;y&#65;&lt;' b='p&#9;q\tr&#10;s' c='plain'/>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Eval(doc, u"string(/r/@a)"), "s:x&yA<");
  // A literal tab is normalised to a space; a referenced one stays.
  EXPECT_EQ(Eval(doc, u"string(/r/@b)"), "s:p\tq r\ns");
  EXPECT_EQ(Eval(doc, u"string(/r/@c)"), "s:plain");
  EXPECT_EQ(Eval(doc, u"count(/r[@a = 'x&yA<'])"), "n:1");
  EXPECT_EQ(Eval(doc, u"string-length(/r/@a)"), "n:5");
  TdomElement* r = doc->GetDocumentElement();
  TdomNode* a = r->getAttributeNode(u"a");
  EXPECT_EQ(a->GetNodeValue(), u"x&amp;y&#65;&lt;");  // the DOM value as stored
  EXPECT_EQ(a->GetXPathStringValue(), u"x&yA<");
  EXPECT_EQ(r->getAttribute(u"a"), u"x&amp;y&#65;&lt;");
  // A value set through the DOM that is no attribute literal reads as set.
  r->setAttribute(u"d", u"1 & 2");
  EXPECT_EQ(Eval(doc, u"string(/r/@d)"), "s:1 & 2");
}

// A namespace node's value is the URI its declaration stands for, references replaced.
TEST_F(XPathStringValues, NamespaceNodesAreTheirDeclarationsCharacterData) {
  TdomDocument* doc = ParseBytes("<r xmlns:p='urn:a&amp;b' xmlns='urn:&#65;'><e xmlns:q='urn:q'/></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Eval(doc, u"string(/*/namespace::p)"), "s:urn:a&b");
  EXPECT_EQ(Eval(doc, u"string(/*/*/namespace::*[1])"), "s:urn:A");
  EXPECT_EQ(Eval(doc, u"count(/*/*/namespace::*[. = 'urn:a&b' or . = 'urn:q'])"), "n:2");
}

TEST_F(XPathStringValues, KeptEntityReferencesReadAsTheirCharacters) {
  const std::string text = "<r>a&amp;b&lt;c&#38;d<x>&gt;</x>&apos;&quot;</r>";
  for (bool keep : {true, false}) {
    parser->SetKeepEntityRefs(keep);
    TdomDocument* doc = ParseBytes(text);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(Eval(doc, u"string(/r)"), "s:a&b<c&d>'\"") << keep;
    EXPECT_EQ(Eval(doc, u"string(/)"), "s:a&b<c&d>'\"") << keep;
    EXPECT_EQ(Eval(doc, u"string(/r/x)"), "s:>") << keep;
    EXPECT_EQ(Eval(doc, u"count(/r[contains(., 'b<c&d>')])"), "n:1") << keep;
    EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"a&b<c&d>'\"") << keep;
    EXPECT_EQ(doc->GetDocumentElement()->GetXPathStringValue(), u"a&b<c&d>'\"") << keep;
  }
  parser->SetKeepEntityRefs(true);
  TdomDocument* doc = ParseBytes(text);
  ASSERT_NE(doc, nullptr);
  // The reference nodes themselves, as text() selects them.
  EXPECT_EQ(Eval(doc, u"string(/r/text()[2])"), "s:&");
  EXPECT_EQ(Eval(doc, u"count(/r/node()[. = '<'])"), "n:1");
  TdomNode* amp = doc->GetDocumentElement()->GetFirstChildNode()->GetNextSiblingNode();
  ASSERT_EQ(amp->GetNodeType(), ntEntity_Reference_Node);
  EXPECT_EQ(amp->GetTextContent(), u"&");
  EXPECT_EQ(amp->GetNodeValue(), u"");
  // Every string-value the evaluation builds (and pays for) is the same text.
  expression->SetContextNode(doc);
  expression->SetExpression(u"//node() | //@* | /");
  ASSERT_TRUE(expression->Evaluate());
  for (int i = 0; i < expression->ResultLength(); ++i) {
    TdomNode* node = expression->ResultNode(i);
    EXPECT_EQ(XPathStringValueOf(node), node->GetXPathStringValue()) << DescribeXPathNode(node);
  }
}

TEST_F(XPathStringValues, NumbersMayEndInAPoint) {
  TdomDocument* doc = ParseBytes("<r><n>5.</n><n> -2. </n><n>.</n></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Eval(doc, u"number('5.')"), "n:5");
  EXPECT_EQ(Eval(doc, u"number(/r/n[1])"), "n:5");
  EXPECT_EQ(Eval(doc, u"sum(/r/n[position() < 3])"), "n:3");
  EXPECT_EQ(Eval(doc, u"number(/r/n[3])"), "n:NaN");
  EXPECT_EQ(Eval(doc, u"count(/r/n[. = 5])"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(/r/n[. < 6])"), "n:2");
  EXPECT_EQ(Eval(doc, u"5. = number('5.')"), "b:true");
}

TEST_F(XPathStringValues, TheDocumentAnswersPrefixesOfItsDocumentElement) {
  TdomDocument* doc = impl->CreateEmptyDocument();
  TdomElement* root = doc->CreateDocumentElementNS(u"urn:one", u"p:root");
  root->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:p", u"urn:one");
  root->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:q", u"urn:two");
  root->appendChild(doc->createElementNS(u"urn:two", u"q:child"));
  EXPECT_EQ(doc->lookupNamespaceURI(u"q"), u"urn:two");
  EXPECT_EQ(doc->lookupNamespaceURI(u"xml"), kXmlNamespaceUri);
  EXPECT_EQ(doc->lookupNamespaceURI(u"z"), u"");
  EXPECT_EQ(root->lookupNamespaceURI(u"z"), u"");
  EXPECT_EQ(Eval(doc, u"count(/p:root/q:child)"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(//q:*)"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(p:root)"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(//z:child)"), "error");
  // A text node answers with its parent's declarations.
  TdomNode* text = root->appendChild(doc->createTextNode(u"t"));
  EXPECT_EQ(Eval(text, u"count(../q:child)"), "n:1");
  EXPECT_EQ(Eval(root->getAttributeNodeNS(kXmlnsNamespaceUri, u"q"), u"count(../q:child)"), "n:1");
  TdomDocument* empty = impl->CreateEmptyDocument();
  EXPECT_EQ(empty->lookupNamespaceURI(u"xmlns"), kXmlnsNamespaceUri);
}

TEST_F(XPathStringValues, ANamespaceNodeFromTheShortcutOutlivesTheEvaluation) {
  TdomDocument* doc = ParseBytes("<r xmlns:p='urn:p'><a/></r>");
  ASSERT_NE(doc, nullptr);
  TdomNode* a = doc->GetDocumentElement()->GetFirstChildNode();
  TdomNode* ns = a->EvaluateToNode(u"namespace::p");
  ASSERT_NE(ns, nullptr);
  ASSERT_EQ(ns->GetNodeType(), ntXPath_Namespace_Node);
  EXPECT_EQ(ns->GetPrefix(), u"p");
  EXPECT_EQ(ns->GetNamespaceURI(), u"urn:p");
  EXPECT_EQ(static_cast<TdomXPathNamespace*>(ns)->GetOwnerElement(), a);
  EXPECT_EQ(ns->GetOwnerDocument(), doc);
  // It serves as a context node of its own.
  EXPECT_EQ(ns->EvaluateToWideString(u"string(.)"), u"urn:p");
  EXPECT_EQ(ns->EvaluateToNode(u".."), a);
  EXPECT_EQ(a->EvaluateToNode(u"namespace::zz"), nullptr);
  // Elements come as themselves.
  EXPECT_EQ(doc->EvaluateToNode(u"//a"), a);
}

TEST_F(XPathStringValues, TextsTooLongOrTooDeepAreRefusedWithTheirReason) {
  TdomDocument* doc = ParseBytes("<r/>");
  ASSERT_NE(doc, nullptr);
  std::u16string deep = u"true()";
  for (int i = 0; i < 1200; ++i) deep = u"not(" + deep + u")";
  std::u16string sum = u"1";
  while (sum.size() <= kXPathMaxLength) sum += u"+1";
  const std::pair<std::u16string, const char*> refused[] = {{deep, kXPathTooDeep}, {sum, kXPathTooLong}};
  for (const auto& [text, reason] : refused) {
    expression->SetContextNode(doc);
    expression->SetExpression(text);
    EXPECT_DOM_ERROR(expression->Prepare(), EXPath_Invalid_Expression_Err, reason);
    EXPECT_EQ(expression->PreparedState(), 2);
    EXPECT_DOM_ERROR(expression->Prepare(), EXPath_Invalid_Expression_Err, reason);  // on every call
    EXPECT_FALSE(expression->Evaluate());  // an evaluation answers false, as for any error
    EXPECT_FALSE(doc->EvaluateToBoolean(text));
  }
  // A syntax error still answers false without an exception.
  expression->SetExpression(u"not(");
  EXPECT_FALSE(expression->Prepare());
  std::u16string shallow = u"true()";
  for (int i = 0; i < 100; ++i) shallow = u"not(" + shallow + u")";
  EXPECT_EQ(Eval(doc, shallow), "b:true");
}

}  // namespace
