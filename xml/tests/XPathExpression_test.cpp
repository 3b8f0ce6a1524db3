// The tokenizer, the parser's grouping and failures, the nesting limit, the
// expression component's contract, the DOM shortcuts, variables and
// functions from the DOM implementation, and the node-set operations.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <locale>
#include <new>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "XPathTestSupport.h"
#include "core/Lists.h"
#include "xml/DomXPathNamespace.h"
#include "xml/XPathTokenizer.h"

namespace {

// The tokens of text as "kind:value" joined by spaces (kinds by number, values only when set).
std::string Tokens(const std::u16string& text) {
  TdomXPathTokenizer tokenizer(text, u"1.0");
  std::string out;
  for (int guard = 0; guard < 100; ++guard) {
    TdomXPathTokenKind kind;
    std::u16string value;
    int position;
    tokenizer.Read(kind, value, position);
    if (!out.empty()) out += " ";
    out += std::to_string(int(kind));
    if (!value.empty()) out += ":" + Utf8(value);
    if (kind == XPATH_END_OF_EXPRESSION_TOKEN || kind == XPATH_INVALID_TOKEN) break;
  }
  return out;
}

TEST(XPathTokenizer, SplitsByTheRulesOfThePrecedingToken) {
  struct Row {
    const char16_t* text;
    const char* tokens;
  };
  // 9 name test, 18 *, 17 div, 19 /, 35 descendant-or-self, 8 ::, 13 node,
  // 0 (, 1 ), 44 number, 29 function, 11 text, 43 literal, 45 variable, 46 end, 47 invalid.
  const Row rows[] = {
      {u"a//b", "9:a 19 35 8 13 0 1 19 9:b 46"},
      {u"2*3", "44:2 18 44:3 46"},
      {u"*", "9:* 46"},
      {u"@*", "6 9:* 46"},
      {u"div div div", "9:div 17 9:div 46"},
      {u"child ::para", "33 8 9:para 46"},
      {u"foo ::x", "47"},
      {u"count (x)", "29:count 0 9:x 1 46"},
      {u"text()", "11 0 1 46"},
      {u"x:*", "9:x:* 46"},
      {u"$a:b", "45:a:b 46"},
      {u".5", "44:.5 46"},
      {u"5.", "44:5. 46"},
      {u"1.2.3", "44:1.2 44:.3 46"},
      {u"", "46"},
      {u" \t\r\n", "46"},
      {u"'a\"b'", "43:a\"b 46"},
      {u"'open", "47:open"},
      {u"a!b", "9:a 47:!"},
      {u"a != b", "9:a 24 9:b 46"},
      {u"a<=b>=c", "9:a 26 9:b 28 9:c 46"},
      {u"$", "47"},
      {u"$1", "47:1"},
      {u"a:", "47:a:"},
      {u"a:1", "47:a:1"},
      {u"x and y", "9:x 14 9:y 46"},
      {u"x foo y", "9:x 47:foo"},
      {u"p:f(1)", "29:p:f 0 44:1 1 46"},
      {u"processing-instruction('x')", "12 0 43:x 1 46"},
      {u"..[.]", "5 2 4 3 46"},
  };
  for (const Row& row : rows) EXPECT_EQ(Tokens(row.text), row.tokens) << Utf8(row.text);
}

TEST(XPathTokenizer, LookAheadReturnsEachTokenOnce) {
  TdomXPathTokenizer tokenizer(u"a/b", u"1.0");
  EXPECT_TRUE(tokenizer.IsFollowing(XPATH_NAME_TEST_TOKEN));
  EXPECT_FALSE(tokenizer.IsFollowing(XPATH_SLASH_OPERATOR_TOKEN));
  TdomXPathTokenKind kind;
  std::u16string value;
  int position;
  tokenizer.Read(kind, value, position);
  EXPECT_EQ(kind, XPATH_NAME_TEST_TOKEN);
  EXPECT_EQ(value, u"a");
  EXPECT_EQ(position, 1);
  tokenizer.Read(kind, value, position);
  EXPECT_EQ(kind, XPATH_SLASH_OPERATOR_TOKEN);
  tokenizer.Reset();
  tokenizer.Read(kind, value, position);
  EXPECT_EQ(value, u"a");
  EXPECT_DOM_ERROR(TdomXPathTokenizer(u"1", u"2.0"), ENot_Supported_Err, "XPath version \"2.0\" not supproted.");
}

class XPathPrepare : public XPathTest {};

TEST_F(XPathPrepare, AcceptsTheGrammarAndRefusesTheRest) {
  const char16_t* accepted[] = {u"/", u"/ | /", u"/a", u"a | b / c", u"f(a, b)", u"para[1][2]", u"(a)[1]",
                                u"//a", u"a//b", u"count(/a)", u"a[/b]", u"concat(/a, /b)", u"1 + /a", u"-a | b",
                                u"$x:y", u"processing-instruction('t')", u"..", u".", u"@*", u"x:*", u"a[b = c][d]",
                                u"(//a)[1]/b", u"f()", u"node()", u"child::*/self::node()[1]", u"- - 1"};
  for (const char16_t* text : accepted) {
    expression->SetExpression(text);
    EXPECT_TRUE(expression->Prepare()) << Utf8(text);
  }
  const char16_t* refused[] = {u"",   u"f(a,)", u"(1",  u"1 +", u"a[",  u"$",    u"@",   u"foo::b",  u"!",
                               u"'abc", u"a b", u")",   u"[1]", u"a/",  u"1 2",  u"f(,1)", u"a::",  u"a[]",
                               u"1/2", u"a | ", u"()",  u"*/",  u"a]",  u"text(1)", u"processing-instruction(1)"};
  for (const char16_t* text : refused) {
    expression->SetExpression(text);
    EXPECT_FALSE(expression->Prepare()) << Utf8(text);
    EXPECT_FALSE(expression->Evaluate()) << Utf8(text);
    EXPECT_EQ(expression->Result(), nullptr);
  }
}

TEST_F(XPathPrepare, GroupsByPrecedence) {
  TdomDocument* doc = ParseBytes("<r><a>1</a><b><c>2</c></b><c>3</c></r>");
  ASSERT_NE(doc, nullptr);
  TdomNode* r = doc->GetDocumentElement();
  const XPathCase table[] = {
      {u"/r", u"a | b / c", "[a,c]"},
      {u"/r", u"-a | b", "n:-1"},
      {u"/r", u"1 + 2 = 3 and 4 < 5 or false()", "b:true"},
      {u"/r", u"2 + 3 * 4 - 6 div 2 mod 2", "n:13"},
      {u"/r", u"1 = 1 = 1", "b:true"},
      {u"/r", u"3 - 1 - 1 - 1", "n:0"},
      {u"/r", u"8 div 2 div 2", "n:2"},
  };
  (void)r;
  EXPECT_XPATH_TABLE(doc, table);
}

TEST_F(XPathPrepare, DeepExpressionsFailClearlyInsteadOfOverflowing) {
  std::u16string deep(100000, u'(');
  deep += u"1";
  deep += std::u16string(100000, u')');
  expression->SetExpression(deep);
  EXPECT_FALSE(expression->Evaluate());
  EXPECT_EQ(expression->PreparedState(), 2);
  TdomXPathSyntaxTree* tree = New<TdomXPathSyntaxTree>(static_cast<TXPathExpression*>(nullptr));
  EXPECT_FALSE(tree->Prepare(deep));
  EXPECT_FALSE(tree->IsPrepared());
  // Long but shallow expressions are fine: a sum of 900 terms, a path of 5,000 steps.
  std::u16string sum = u"1";
  for (int i = 1; i < 900; ++i) sum += u"+1";
  EXPECT_TRUE(tree->Prepare(sum));
  TdomXPathResultPtr<> result(tree->Evaluate());
  EXPECT_EQ(result->AsNumber(), 900);
  std::u16string path = u"/r";
  for (int i = 0; i < 5000; ++i) path += u"/self::r";
  EXPECT_TRUE(tree->Prepare(path));
  // Unbalanced nesting fails as a syntax error.
  EXPECT_FALSE(tree->Prepare(std::u16string(100000, u'(')));
  EXPECT_FALSE(tree->Prepare(std::u16string(50000, u'-') + u"1" + std::u16string(10, u')')));
  tree->Free();
}

TEST_F(XPathTest, ExpressionLifecycle) {
  TdomDocument* doc = ParseBytes("<r><a>1</a><a>2</a></r>");
  ASSERT_NE(doc, nullptr);
  expression->SetContextNode(doc);
  expression->SetExpression(u"//a");
  EXPECT_EQ(expression->PreparedState(), 0);
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->PreparedState(), 1);
  EXPECT_TRUE(expression->HasNodeSetResult());
  EXPECT_EQ(expression->ResultLength(), 2);
  EXPECT_EQ(expression->ResultAsWideString(), u"1");
  EXPECT_EQ(expression->ResultAsNumber(), 1);
  EXPECT_EQ(expression->ResultNode(2), nullptr);
  TdomXPathResultPtr<TdomXPathNodeSetResult> copy(expression->AcquireXPathResult<TdomXPathNodeSetResult>());
  EXPECT_EQ(copy->Length(), 2);
  TdomXPathResultPtr<TdomXPathStringResult> text(expression->AcquireXPathResult<TdomXPathStringResult>());
  EXPECT_EQ(text->AsWideString(), u"1");
  // Failing text stays failed until it changes; no result remains.
  expression->SetExpression(u"//a[");
  EXPECT_FALSE(expression->Evaluate());
  EXPECT_EQ(expression->PreparedState(), 2);
  EXPECT_FALSE(expression->HasNodeSetResult());
  EXPECT_TRUE(std::isnan(expression->ResultAsNumber()));
  EXPECT_EQ(expression->ResultAsWideString(), u"");
  EXPECT_FALSE(expression->ResultAsBoolean());
  expression->SetExpression(u"count(//a)");
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->ResultAsNumber(), 2);
  // A context node XPath does not accept.
  TdomCDATASection* cdata = doc->createCDATASection(u"x");
  EXPECT_DOM_ERROR(expression->SetContextNode(cdata), ENot_Supported_Err, "Not supported error.");
  EXPECT_DOM_ERROR(cdata->EvaluateToBoolean(u"1"), ENot_Supported_Err, "Not supported error.");
  // Without context a relative path is a type error.
  expression->SetContextNode(nullptr);
  expression->SetExpression(u"a");
  EXPECT_FALSE(expression->Evaluate());
  expression->SetExpression(u"1 + 1");
  EXPECT_TRUE(expression->Evaluate());
}

TEST_F(XPathTest, NodeShortcutsAnswerWithTheResultOrTheFailureDefault) {
  TdomDocument* doc = ParseBytes("<r><a x='1'>one</a><a x='2'>two</a></r>");
  ASSERT_NE(doc, nullptr);
  TdomElement* r = doc->GetDocumentElement();
  EXPECT_TRUE(r->EvaluateToBoolean(u"a[@x = 2]"));
  EXPECT_EQ(r->EvaluateToNumber(u"sum(a/@x)"), 3);
  EXPECT_EQ(r->EvaluateToWideString(u"a[2]"), u"two");
  EXPECT_EQ(r->EvaluateToNode(u"a[2]/@x")->GetNodeValue(), u"2");
  EXPECT_EQ(r->EvaluateToNode(u"a[3]"), nullptr);
  EXPECT_EQ(r->EvaluateToNode(u"preceding-sibling::node() | a"), r->GetFirstChildNode());
  // Preparation and evaluation failures.
  EXPECT_FALSE(r->EvaluateToBoolean(u"a["));
  EXPECT_FALSE(r->EvaluateToBoolean(u"1 | 2"));
  EXPECT_TRUE(std::isnan(r->EvaluateToNumber(u"a[")));
  EXPECT_TRUE(std::isnan(r->EvaluateToNumber(u"$missing")));
  EXPECT_EQ(r->EvaluateToWideString(u"unknown()"), u"");
  EXPECT_EQ(r->EvaluateToNode(u"1"), nullptr);
}

TEST_F(XPathTest, NameTestsMatchNodesBuiltWithoutNamespaceProcessing) {
  std::string path = QV_SOURCE_DIR "/resources/Quorvanell.xml";
#ifdef _WIN32
  path = "Z:" + path;  // the emulator maps the host's root to Z:
#endif
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file.good()) << path;
  std::stringstream bytes;
  bytes << file.rdbuf();
  TdomDocument* doc = ParseBytes(bytes.str());
  ASSERT_NE(doc, nullptr);
  double patterns = double(doc->getElementsByTagName(u"pattern")->GetLength());
  ASSERT_GT(patterns, 0);
  EXPECT_EQ(doc->EvaluateToNumber(u"count(//pattern)"), patterns);
  EXPECT_EQ(doc->EvaluateToNumber(u"count(/quorvanell/patterns/pattern)"), patterns);
  EXPECT_EQ(doc->EvaluateToWideString(u"//pattern[@code = 'ZEROS']/@name"), u"Zeros");
  EXPECT_EQ(doc->EvaluateToWideString(u"local-name(//pattern)"), u"pattern");
  EXPECT_EQ(doc->EvaluateToNumber(u"count(//pattern[@code = 'ZEROS_ONES']/pass)"), 2);
  EXPECT_EQ(doc->EvaluateToWideString(u"//options/@selected_pattern"), u"RANDOM");
}

TEST_F(XPathTest, NameTestsUseNamespacesWhenTheTreeHasThem) {
  TdomDocument* doc = impl->CreateEmptyDocument();
  TdomElement* root = doc->CreateDocumentElementNS(u"urn:one", u"p:root");
  root->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:p", u"urn:one");
  root->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:q", u"urn:two");
  TdomElement* child = doc->createElementNS(u"urn:two", u"q:child");
  root->appendChild(child);
  child->setAttributeNS(u"urn:two", u"q:at", u"v");
  child->setAttributeNS(u"", u"plain", u"w");
  root->appendChild(doc->createElementNS(u"", u"child"));
  expression->SetContextNode(root);
  const struct {
    const char16_t* text;
    const char* expected;
  } rows[] = {
      {u"count(self::p:root)", "n:1"},
      {u"count(q:child)", "n:1"},
      {u"count(p:child)", "n:0"},
      {u"count(child)", "n:1"},
      {u"count(*)", "n:2"},
      {u"count(q:*)", "n:1"},
      {u"string(q:child/@q:at)", "s:v"},
      {u"count(q:child/@*)", "n:2"},
      {u"local-name(q:child)", "s:child"},
      {u"name(q:child)", "s:q:child"},
      {u"namespace-uri(q:child)", "s:urn:two"},
      {u"count(namespace::*)", "n:4"},
      {u"name(namespace::*[last()])", "s:xmlns"},
      {u"string(namespace::q)", "s:urn:two"},
      {u"namespace-uri(namespace::q)", "s:"},
      {u"count(@*)", "n:0"},
      {u"count(zz:a)", "error"},
  };
  for (const auto& row : rows) EXPECT_EQ(Eval(root, row.text), row.expected) << Utf8(row.text);
}

// Variables and functions outside the library come from the DOM implementation.
class XPathHandlers : public TObject {
public:
  void Variable(TXPathExpression*, const std::u16string& namespaceURI, const std::u16string& localName,
                TdomXPathCustomResult*& value) {
    if (localName == u"v") value = New<TdomXPathNumberResult>(42.0);
    if (localName == u"ns") value = New<TdomXPathStringResult>(namespaceURI);
  }
  void Function(const std::u16string& namespaceUri, const std::u16string& localName, TdomNode* contextNode,
                int contextPosition, int contextSize, TList* arguments, TdomXPathCustomResult*& value) {
    (void)contextNode;
    (void)contextSize;
    if (localName == u"boom") throw std::runtime_error("handler fault");
    if (localName == u"oom") throw std::bad_alloc();
    if (localName == u"dom") throw ENot_Found_Err();
    if (localName != u"f") return;
    std::u16string text = namespaceUri + u"#" + std::u16string(1, char16_t(u'0' + arguments->Count())) + u"@" +
                          std::u16string(1, char16_t(u'0' + contextPosition));
    value = New<TdomXPathStringResult>(text);
  }
};

TEST_F(XPathTest, VariablesAndFunctionsComeFromTheImplementation) {
  TdomDocument* doc = ParseBytes("<r xmlns:my='urn:my'><a/><a/></r>");
  ASSERT_NE(doc, nullptr);
  std::unique_ptr<XPathHandlers> handlers(New<XPathHandlers>());
  impl->OnRequestXPathVariable = MakeEvent<&XPathHandlers::Variable>(handlers.get());
  impl->OnRequestXPathFunctionResult = MakeEvent<&XPathHandlers::Function>(handlers.get());
  TdomNode* r = doc->GetDocumentElement();
  EXPECT_EQ(Eval(r, u"$v + 1"), "n:43");
  EXPECT_EQ(Eval(r, u"$my:ns"), "s:urn:my");
  EXPECT_EQ(Eval(r, u"$w"), "error");
  EXPECT_EQ(Eval(r, u"my:f(1, 'x')"), "s:urn:my#2@1");
  EXPECT_EQ(Eval(r, u"a[my:f() = 'urn:my#0@2']"), "[a]");
  EXPECT_EQ(Eval(r, u"count(//a[my:f() = 'urn:my#0@1'])"), "n:1");
  // Names outside the library are asked for without a prefix too.
  EXPECT_EQ(Eval(r, u"f()"), "s:#0@1");
  EXPECT_EQ(Eval(r, u"my:g()"), "error");
  EXPECT_EQ(Eval(r, u"my:dom()"), "error");
  // Only the library's own errors become "no result".
  expression->SetExpression(u"my:boom()");
  EXPECT_THROW(expression->Evaluate(), std::runtime_error);
  expression->SetExpression(u"my:oom()");
  EXPECT_THROW(expression->Evaluate(), std::bad_alloc);
  EXPECT_EQ(expression->Result(), nullptr);
}

TEST_F(XPathTest, NumbersIgnoreTheUserLocale) {
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Comma));
  EXPECT_EQ(Eval(nullptr, u"string(0.5)"), "s:0.5");
  EXPECT_EQ(Eval(nullptr, u"number('1.25') * 2"), "n:2.5");
  EXPECT_EQ(Eval(nullptr, u"1 div 8"), "n:0.125");
  std::locale::global(previous);
}

// --- Values -----------------------------------------------------------------------------------

class XPathValues : public DomTest {};

TEST_F(XPathValues, ConversionsFreeWhatTheyReplace) {
  EXPECT_DOM_ERROR(XPathToBoolean(nullptr), ENot_Supported_Err, "Not supported error.");
  EXPECT_DOM_ERROR(XPathToNumber(nullptr), ENot_Supported_Err, "Not supported error.");
  EXPECT_DOM_ERROR(XPathToString(nullptr), ENot_Supported_Err, "Not supported error.");
  TdomXPathCustomResult* number = New<TdomXPathNumberResult>(0.0);
  EXPECT_EQ(XPathToNumber(number), number);
  TdomXPathResultPtr<> boolean(XPathToBoolean(number));
  EXPECT_EQ(boolean->ResultType(), XPATH_BOOLEAN_TYPE);
  EXPECT_FALSE(boolean->AsBoolean());
  TdomXPathResultPtr<> text(XPathToString(New<TdomXPathBooleanResult>(true)));
  EXPECT_EQ(text->AsWideString(), u"true");
  TdomXPathResultPtr<> five(XPathToNumber(New<TdomXPathStringResult>(u"5.")));
  EXPECT_EQ(five->AsNumber(), 5);
  TdomXPathResultPtr<> nan(XPathToNumber(New<TdomXPathStringResult>(u".")));
  EXPECT_TRUE(std::isnan(nan->AsNumber()));
  TdomXPathResultPtr<> space(XPathToBoolean(New<TdomXPathStringResult>(u" ")));
  EXPECT_TRUE(space->AsBoolean());
}

TEST_F(XPathValues, NodeSetsKeepOrderAndOwnTheirNamespaceNodes) {
  TdomElement* root = doc->CreateDocumentElement(u"r");
  TdomElement* a = Add(root, Elem(u"a"));
  TdomElement* b = Add(root, Elem(u"b"));
  TdomElement* c = Add(b, Elem(u"c"));
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(New<TdomXPathNodeSetResult>());
  set->Add(a);
  set->Add(c);
  EXPECT_EQ(set->Item(-1), nullptr);
  EXPECT_EQ(set->Item(2), nullptr);
  set->SetAxisIsReverse(true);
  EXPECT_EQ(set->Item(0), c);
  set->SetAxisIsReverse(true);
  EXPECT_EQ(set->Item(0), c);
  set->SetAxisIsReverse(false);
  EXPECT_EQ(set->Item(0), a);
  // Merging: following sets append, earlier ones and duplicates are sorted out.
  TdomXPathResultPtr<TdomXPathNodeSetResult> other(New<TdomXPathNodeSetResult>());
  other->Add(root);
  other->Add(b);
  other->Add(c);
  set->Merge(other.get());
  ASSERT_EQ(set->Length(), 4);
  EXPECT_EQ(set->Item(0), root);
  EXPECT_EQ(set->Item(1), a);
  EXPECT_EQ(set->Item(2), b);
  EXPECT_EQ(set->Item(3), c);
  set->Merge(set.get());
  EXPECT_EQ(set->Length(), 4);
  // Reverse sets stay reverse.
  TdomXPathResultPtr<TdomXPathNodeSetResult> reverse(New<TdomXPathNodeSetResult>());
  reverse->SetAxisIsReverse(true);
  reverse->Add(b);
  TdomXPathResultPtr<TdomXPathNodeSetResult> more(New<TdomXPathNodeSetResult>());
  more->Add(a);
  more->Add(c);
  reverse->Merge(more.get());
  ASSERT_EQ(reverse->Length(), 3);
  EXPECT_EQ(reverse->Item(0), c);
  EXPECT_EQ(reverse->Item(2), a);
  EXPECT_EQ(reverse->AsWideString(), a->GetXPathStringValue());
  // The attributes of one element are each kept once.
  a->setAttribute(u"x", u"1");
  a->setAttribute(u"y", u"2");
  TdomXPathResultPtr<TdomXPathNodeSetResult> attrs(New<TdomXPathNodeSetResult>());
  attrs->Add(a->getAttributeNode(u"y"));
  TdomXPathResultPtr<TdomXPathNodeSetResult> attrs2(New<TdomXPathNodeSetResult>());
  attrs2->Add(a->getAttributeNode(u"x"));
  attrs2->Add(a->getAttributeNode(u"y"));
  attrs->Merge(attrs2.get());
  EXPECT_EQ(attrs->Length(), 2);
  // Namespace nodes are copied in and freed with the set (ASan checks both).
  attrs->AddXPathNamespace(a, u"urn:x", u"x");
  TdomNode* ns = attrs->Item(2);
  EXPECT_EQ(ns->GetNodeType(), ntXPath_Namespace_Node);
  set->Add(ns);
  EXPECT_NE(set->Item(4), ns);
  EXPECT_EQ(set->Item(4)->GetNamespaceURI(), u"urn:x");
  attrs->Delete(2);
  set->Clear();
  EXPECT_EQ(set->Length(), 0);
  set->AddSubtree(root);
  EXPECT_EQ(set->Length(), 4);
  set->Assign(attrs.get());
  EXPECT_EQ(set->Length(), 2);
}


// Random operations on three node sets against a model of their entries:
// namespace nodes copied in or made are the set's own, freed exactly once
// (AddressSanitizer checks both); the document's own namespace nodes,
// appended as they are, stay the document's. Last, elements the sets hold
// are freed and the sets let go of everything without reading a node.
TEST_F(XPathValues, NodeSetsFreeTheNamespaceNodesTheyMadeAndNoOthers) {
  TdomElement* root = doc->CreateDocumentElementNS(u"", u"r");
  // In document order: r, a (b), c, d.
  std::vector<TdomElement*> elements{root};
  for (const char16_t* name : {u"a", u"b", u"c", u"d"}) {
    TdomElement* parent = elements.size() == 2 ? elements[1] : root;
    elements.push_back(static_cast<TdomElement*>(parent->appendChild(doc->createElementNS(u"", name))));
  }
  const std::u16string prefixes[] = {u"p", u"q", u"xml"};
  auto uriOf = [](const std::u16string& prefix) {
    return prefix == u"xml" ? std::u16string(kXmlNamespaceUri) : u"urn:" + prefix;
  };
  // The document's own namespace nodes; they must survive every set.
  std::vector<TdomXPathNamespace*> owned;
  for (TdomElement* element : elements) owned.push_back(doc->NamespaceNodeFor(element, u"p", u"urn:p"));
  struct Entry {
    TdomNode* node;  // null for a namespace node the set made
    TdomElement* owner;  // of a namespace node
    std::u16string prefix;
  };
  auto position = [&](TdomNode* node) {
    return int(std::find(elements.begin(), elements.end(), node) - elements.begin());
  };
  auto key = [&](const Entry& e) { return e.owner != nullptr ? position(e.owner) * 4 + 1 : position(e.node) * 4; };
  auto same = [](const Entry& x, const Entry& y) {
    return x.owner != nullptr ? x.owner == y.owner && x.prefix == y.prefix : x.node == y.node;
  };
  auto sortInOrder = [&](std::vector<Entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
      return key(x) != key(y) ? key(x) < key(y) : x.prefix < y.prefix;
    });
    entries.erase(std::unique(entries.begin(), entries.end(), same), entries.end());
  };
  auto entryOf = [](TdomNode* node, bool copied) {
    if (node->GetNodeType() != ntXPath_Namespace_Node) return Entry{node, nullptr, u""};
    auto* ns = static_cast<TdomXPathNamespace*>(node);
    return Entry{copied ? nullptr : node, ns->GetOwnerElement(), ns->GetPrefix()};
  };

  for (uint32_t seed = 1; seed <= 20 && !HasFailure(); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](size_t below) { return size_t(random() % below); };
    TdomXPathResultPtr<TdomXPathNodeSetResult> sets[3];
    std::vector<Entry> model[3];
    for (auto& set : sets) set.reset(New<TdomXPathNodeSetResult>());
    auto anyNode = [&](bool& copied) -> TdomNode* {
      copied = true;
      size_t from = pick(3);
      if (pick(3) == 0 && sets[from]->Length() > 0) return sets[from]->Item(int(pick(size_t(sets[from]->Length()))));
      TdomElement* element = elements[pick(elements.size())];
      if (pick(3) != 0) return element;
      std::u16string prefix = prefixes[pick(3)];
      return doc->NamespaceNodeFor(element, prefix, uriOf(prefix));
    };
    for (int step = 0; step < 400 && !HasFailure(); ++step) {
      size_t i = pick(3);
      size_t j = (i + 1 + pick(2)) % 3;
      TdomXPathNodeSetResult* set = sets[i].get();
      std::vector<Entry>& entries = model[i];
      bool copied = true;
      switch (pick(11)) {
        case 0: {
          TdomNode* node = anyNode(copied);
          Entry entry = entryOf(node, copied);
          set->Add(node);
          entries.push_back(entry);
          break;
        }
        case 1: {
          TdomNode* node = anyNode(copied);
          Entry entry = entryOf(node, copied);
          int at = int(pick(entries.size() + 3)) - 1;
          set->Insert(at, node);
          entries.insert(entries.begin() + std::clamp(at, 0, int(entries.size())), entry);
          break;
        }
        case 2: {
          TdomElement* element = elements[pick(elements.size())];
          std::u16string prefix = prefixes[pick(3)];
          set->AddXPathNamespace(element, uriOf(prefix), prefix);
          entries.push_back({nullptr, element, prefix});
          break;
        }
        case 3: {
          TdomXPathNamespace* node = owned[pick(owned.size())];
          set->AppendRaw(node);
          entries.push_back(entryOf(node, false));
          break;
        }
        case 4: {
          int at = int(pick(entries.size() + 2)) - 1;
          set->Delete(at);
          if (at >= 0 && at < int(entries.size())) entries.erase(entries.begin() + at);
          break;
        }
        case 5:
          set->TakeAll(sets[j].get());
          entries.insert(entries.end(), model[j].begin(), model[j].end());
          model[j].clear();
          break;
        case 6: {
          std::vector<Entry>& others = model[j];
          if (others.empty()) {
            set->Merge(sets[j].get());
            break;
          }
          bool follows = !entries.empty() && !others.empty() && key(entries.back()) < key(others.front());
          set->Merge(sets[j].get());
          if (entries.empty()) {
            entries.swap(others);
            break;
          }
          entries.insert(entries.end(), others.begin(), others.end());
          others.clear();
          if (!follows) sortInOrder(entries);
          break;
        }
        case 7: {
          TdomXPathDocumentOrder order;
          set->SortInOrder(order);
          sortInOrder(entries);
          break;
        }
        case 8:
          set->RemoveIf([](TdomNode* node) { return node->GetPrefix() == u"q"; });
          std::erase_if(entries, [](const Entry& e) { return e.owner != nullptr && e.prefix == u"q"; });
          break;
        case 9:
          set->Assign(sets[j].get());
          entries = model[j];
          for (Entry& e : entries) {
            if (e.owner != nullptr) e.node = nullptr;
          }
          break;
        default:
          if (pick(2) == 0) {
            set->Clear();
          } else {
            sets[i].reset(New<TdomXPathNodeSetResult>());
          }
          entries.clear();
          break;
      }
      if (entries.size() > 40) {
        set->Clear();
        entries.clear();
      }
      // Each set as its model says; a namespace node it made is nobody else's.
      std::set<TdomNode*> made;
      for (size_t k = 0; k < 3; ++k) {
        ASSERT_EQ(sets[k]->Length(), int(model[k].size())) << "set " << k << " at step " << step;
        for (size_t n = 0; n < model[k].size(); ++n) {
          TdomNode* node = sets[k]->Item(int(n));
          const Entry& e = model[k][n];
          if (e.node != nullptr) {
            EXPECT_EQ(node, e.node) << "set " << k << " entry " << n;
            continue;
          }
          ASSERT_EQ(node->GetNodeType(), ntXPath_Namespace_Node);
          EXPECT_EQ(static_cast<TdomXPathNamespace*>(node)->GetOwnerElement(), e.owner);
          EXPECT_EQ(node->GetPrefix(), e.prefix);
          EXPECT_TRUE(made.insert(node).second) << "a namespace node made for two sets";
          EXPECT_EQ(std::count(owned.begin(), owned.end(), node), 0) << "the document's node taken for a copy";
        }
      }
    }
    // The document's namespace nodes are still its own.
    for (size_t e = 0; e < elements.size(); ++e) EXPECT_EQ(doc->NamespaceNodeFor(elements[e], u"p", u"urn:p"), owned[e]);
    // Elements held (and their namespace nodes) freed: the sets let go unread.
    for (auto& set : sets) {
      set->Add(elements[4]);
      set->AppendRaw(owned[4]);
      set->AddXPathNamespace(elements[4], u"urn:q", u"q");
    }
    for (TdomElement* element : {elements[4], elements[1]}) {
      TdomXPathNamespace* fresh = doc->NamespaceNodeFor(element, u"q", u"urn:q");
      for (auto& set : sets) set->AppendRaw(fresh);
    }
    elements[4]->Free();
    elements[1]->Free();
    sets[0]->Delete(sets[0]->Length() - 1);
    sets[0]->Delete(0);
    sets[1]->TakeAll(sets[2].get());
    sets[1]->Clear();
    sets[2]->TakeAll(sets[0].get());
    for (auto& set : sets) set.reset();
    // Fresh elements for the next seed, in the same places.
    elements[1] = static_cast<TdomElement*>(
        root->insertBefore(doc->createElementNS(u"", u"a"), root->GetFirstChildNode()));
    elements[2] = static_cast<TdomElement*>(elements[1]->appendChild(doc->createElementNS(u"", u"b")));
    elements[4] = static_cast<TdomElement*>(root->appendChild(doc->createElementNS(u"", u"d")));
    owned[1] = doc->NamespaceNodeFor(elements[1], u"p", u"urn:p");
    owned[2] = doc->NamespaceNodeFor(elements[2], u"p", u"urn:p");
    owned[4] = doc->NamespaceNodeFor(elements[4], u"p", u"urn:p");
  }
}

}  // namespace
