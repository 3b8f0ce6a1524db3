// XPath over untrusted expressions: arbitrary text is tokenized (every token
// kind, the "//" expansion, look-ahead), then prepared and evaluated from
// several context nodes of a fixed document, with variables and functions
// supplied by the implementation. A refusal (syntax error, type error,
// nesting limit, work or string bound) is fine; a crash, a hang, a leak or a sanitizer report is a
// finding, and so is a node-set that leaves an expression out of document order.
//
// The first byte chooses the context node (six of the small document, or the
// root of a flat document of 3,000 elements or of a 600-level-deep one, large
// enough for runaway work to show); the rest is the expression
// (bytes as code units, see FuzzBytesToUnits). Expressions with very many
// nested paths are only tokenized and prepared: their evaluation time grows
// as the document size to the power of the nesting, which says nothing new.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzXmlUtils.h"
#include "core/StringStream.h"
#include "xml/DomXPathNamespace.h"
#include "xml/XPathExpression.h"
#include "xml/XPathSyntaxTree.h"
#include "xml/XPathTokenizer.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

const char kDocument[] =
    "<?xml version='1.0'?>"
    "<r xmlns:p='urn:p' id='r' xml:lang='en'>"
    "<a x='1' y='two'><b>1.0</b><b>two<c/></b><!--note--><?pi data?></a>"
    "<p:a p:x='3'>text<![CDATA[cdata]]>tail<d xmlns='urn:d'><e/></d></p:a>"
    "<a x='-2'/>"
    "</r>";

class THandlers : public TObject {
public:
  void Variable(TXPathExpression*, const std::u16string&, const std::u16string& localName,
                TdomXPathCustomResult*& value) {
    if (localName == u"n") value = New<TdomXPathNumberResult>(2.0);
    if (localName == u"s") value = New<TdomXPathStringResult>(u"two");
  }
  void Function(const std::u16string&, const std::u16string& localName, TdomNode* contextNode, int, int,
                TList* arguments, TdomXPathCustomResult*& value) {
    if (localName == u"f") value = New<TdomXPathNumberResult>(double(arguments->Count()));
    if (localName == u"ctx" && contextNode != nullptr) {
      auto* set = New<TdomXPathNodeSetResult>();
      set->Add(contextNode);
      value = set;
    }
  }
};

struct Fixture {
  TDomImplementation* impl = nullptr;
  TdomDocument* document = nullptr;
  std::unique_ptr<THandlers> handlers;
  TdomNode* contexts[8] = {};

  Fixture() {
    impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
    handlers.reset(New<THandlers>());
    impl->OnRequestXPathVariable = MakeEvent<&THandlers::Variable>(handlers.get());
    impl->OnRequestXPathFunctionResult = MakeEvent<&THandlers::Function>(handlers.get());
    TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
    parser->SetDOMImpl(impl);
    std::unique_ptr<TStringStream> stream(New<TStringStream>(std::string(kDocument)));
    document = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"fuzz.xml", nullptr));
    QV_XML_FUZZ_CHECK(document != nullptr);
    TdomElement* root = document->GetDocumentElement();
    TdomNode* a = root->GetFirstChildNode();
    contexts[0] = document;
    contexts[1] = root;
    contexts[2] = a;
    contexts[3] = static_cast<TdomElement*>(a)->getAttributeNode(u"x");
    contexts[4] = a->GetFirstChildNode()->GetFirstChildNode();  // text "1.0"
    contexts[5] = nullptr;
    std::string flat = "<f>", deep;
    for (int i = 0; i < 3000; ++i) flat += i % 3 == 0 ? "<a x='" + std::to_string(i) + "'>t</a>" : "<b/>";
    flat += "</f>";
    for (int i = 0; i < 600; ++i) deep += "<d>";
    for (int i = 0; i < 600; ++i) deep += "</d>";
    contexts[6] = Parse(parser, flat);
    contexts[7] = Parse(parser, deep)->GetFirstChildNode();
  }
  static TdomDocument* Parse(TXmlToDomParser* parser, const std::string& text) {
    std::unique_ptr<TStringStream> stream(New<TStringStream>(text));
    auto* parsed = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"large.xml", nullptr));
    QV_XML_FUZZ_CHECK(parsed != nullptr);
    return parsed;
  }
};

Fixture& TheFixture() {
  static Fixture* fixture = new Fixture();  // lives for the whole run
  return *fixture;
}

void Tokenize(const std::u16string& text) {
  TdomXPathTokenizer tokenizer(text, u"1.0");
  // Every token consumes text, except the six of a "//" expansion and the end.
  size_t limit = 4 * text.size() + 4;
  size_t count = 0;
  for (;;) {
    TdomXPathTokenKind kind;
    std::u16string value;
    int position;
    tokenizer.IsFollowing(XPATH_NAME_TEST_TOKEN);
    tokenizer.Read(kind, value, position);
    QV_XML_FUZZ_CHECK(++count <= limit);
    QV_XML_FUZZ_CHECK(kind <= XPATH_INVALID_TOKEN);
    if (kind == XPATH_END_OF_EXPRESSION_TOKEN) {
      QV_XML_FUZZ_CHECK(position == -1);
      break;
    }
    QV_XML_FUZZ_CHECK(position >= 0 && size_t(position) <= text.size());
    if (kind == XPATH_INVALID_TOKEN) break;
  }
}

// A node-set leaving an expression is in document order without repeats.
void CheckDocumentOrder(TXPathExpression* expression) {
  TdomXPathCustomResult* result = expression->Result();
  if (result == nullptr || result->ResultType() != XPATH_NODE_SET_TYPE) return;
  QV_XML_FUZZ_CHECK(!result->GetAxisIsReverse());
  for (int i = 1; i < result->Length(); ++i) {
    TdomNode* previous = result->Item(i - 1);
    TdomNode* node = result->Item(i);
    QV_XML_FUZZ_CHECK(previous != node);
    bool previousIsNamespace = previous->GetNodeType() == ntXPath_Namespace_Node;
    bool nodeIsNamespace = node->GetNodeType() == ntXPath_Namespace_Node;
    // The namespace nodes of one element go by prefix, whichever operand brought them.
    if (previousIsNamespace && nodeIsNamespace &&
        static_cast<TdomXPathNamespace*>(previous)->GetOwnerElement() ==
            static_cast<TdomXPathNamespace*>(node)->GetOwnerElement()) {
      QV_XML_FUZZ_CHECK(previous->GetPrefix() < node->GetPrefix());
    }
    if (previousIsNamespace || nodeIsNamespace) continue;
    TdomDocumentPosition position = previous->compareDocumentPosition(node);
    QV_XML_FUZZ_CHECK((position & (DOCUMENT_POSITION_FOLLOWING | DOCUMENT_POSITION_EQUIVALENT)) != 0);
  }
}

size_t NestedPaths(const std::u16string& text) {
  return size_t(std::count(text.begin(), text.end(), u'[') + std::count(text.begin(), text.end(), u'(') +
                std::count(text.begin(), text.end(), u'/'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Fixture& fixture = TheFixture();
  std::u16string text = FuzzBytesToUnits(data + 1, size - 1);
  Tokenize(text);
  TXPathExpression* expression = New<TXPathExpression>(static_cast<TComponent*>(nullptr));
  expression->SetContextNode(fixture.contexts[data[0] % 8]);
  expression->SetExpression(text);
  // A smaller bound than a program's: refusals come sooner, under the
  // sanitizers' slowdown, and are tried as often as answers.
  expression->SyntaxTree()->SetWorkLimit(kXPathWorkLimit / 32);
  try {
    if (NestedPaths(text) <= 24) {
      if (expression->Evaluate()) CheckDocumentOrder(expression);
      // Evaluating again gives the same answer.
      std::u16string first = expression->ResultAsWideString();
      if (expression->Evaluate()) QV_XML_FUZZ_CHECK(expression->ResultAsWideString() == first);
    } else {
      expression->Prepare();
    }
  } catch (const EXPath_Limit_Err&) {
    // Refused for the work or the string length it needs: no result is left.
    QV_XML_FUZZ_CHECK(expression->Result() == nullptr);
  } catch (const EDomException&) {
    // Only Prepare's nesting limit reaches here; Evaluate answers false.
  }
  expression->Free();
  return 0;
}
