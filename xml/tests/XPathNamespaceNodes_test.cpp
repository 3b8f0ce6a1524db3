// The namespace nodes that EvaluateToNode hands out: one per element and
// binding, kept by the document, so that repeated evaluations do not pile
// up nodes, and gone with their element. Random evaluations, declaration
// changes and frees are checked against a plain model of which bindings
// were handed out.
#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "DomTestSupport.h"
#include "xml/DomXPathNamespace.h"

namespace {

class XPathNamespaceNodesTest : public DomTest {
protected:
  TdomElement* NsElem(const std::u16string& name) { return doc->createElementNS(u"", name); }
  static void Declare(TdomElement* element, const std::u16string& prefix, const std::u16string& uri) {
    element->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:" + prefix, uri);
  }
};

TEST_F(XPathNamespaceNodesTest, RepeatedEvaluationsShareOneNodePerBinding) {
  TdomElement* root = Add(doc, NsElem(u"r"));
  Declare(root, u"p", u"urn:p");
  TdomElement* a = Add(root, NsElem(u"a"));
  const int owned = doc->OwnedObjectCount();
  TdomNode* first = a->EvaluateToNode(u"namespace::p");
  ASSERT_NE(first, nullptr);
  int others = 0;
  for (int i = 0; i < 5000; ++i) others += a->EvaluateToNode(u"namespace::p") != first;
  EXPECT_EQ(others, 0);
  // One node more in the document, not one per evaluation.
  EXPECT_EQ(doc->OwnedObjectCount(), owned + 1);
  EXPECT_EQ(doc->NamespaceNodeCount(), 1u);
  // Its identity and owner are those of the binding on a.
  EXPECT_EQ(static_cast<TdomXPathNamespace*>(first)->GetOwnerElement(), a);
  EXPECT_EQ(first->GetOwnerDocument(), doc);
  EXPECT_EQ(first->GetNamespaceURI(), u"urn:p");
  // Another element or prefix is another node; a new binding of the prefix
  // is a new node, and the old one keeps what it bound.
  TdomNode* onRoot = root->EvaluateToNode(u"namespace::p");
  EXPECT_NE(onRoot, first);
  EXPECT_NE(a->EvaluateToNode(u"namespace::xml"), first);
  Declare(a, u"p", u"urn:other");
  TdomNode* rebound = a->EvaluateToNode(u"namespace::p");
  EXPECT_NE(rebound, first);
  EXPECT_EQ(rebound->GetNamespaceURI(), u"urn:other");
  EXPECT_EQ(first->GetNamespaceURI(), u"urn:p");
  EXPECT_EQ(doc->NamespaceNodeCount(), 4u);
  // Freeing the element frees its namespace nodes (they point at it).
  root->removeChild(a)->Free();
  EXPECT_EQ(doc->NamespaceNodeCount(), 1u);
  EXPECT_EQ(root->EvaluateToNode(u"namespace::p"), onRoot);
  // A namespace node freed by itself leaves the document's table.
  onRoot->Free();
  EXPECT_EQ(doc->NamespaceNodeCount(), 0u);
  EXPECT_EQ(root->EvaluateToNode(u"namespace::p")->GetNamespaceURI(), u"urn:p");
}

// Random evaluations, declaration changes and frees of subtrees, against a
// model of the bindings handed out: each (element, prefix, URI) gives one
// node for as long as the element lives, and the document holds exactly
// those. Under AddressSanitizer a node kept past its element fails the run.
TEST_F(XPathNamespaceNodesTest, HandedOutNodesMatchAModelOfBindings) {
  const std::u16string prefixes[] = {u"p", u"q", u"s"};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    TdomDocument* d = impl->CreateEmptyDocument();
    TdomElement* root = d->createElementNS(u"", u"r");
    d->appendChild(root);
    std::vector<TdomElement*> elements{root};
    std::map<TdomElement*, TdomElement*> parentOf{{root, nullptr}};
    std::map<TdomElement*, std::map<std::u16string, std::u16string>> declared;
    std::map<std::tuple<TdomElement*, std::u16string, std::u16string>, TdomNode*> handedOut;
    auto bound = [&](TdomElement* e, const std::u16string& prefix) -> std::u16string {
      for (TdomElement* up = e; up != nullptr; up = parentOf[up]) {
        auto it = declared[up].find(prefix);
        if (it != declared[up].end()) return it->second;
      }
      return std::u16string();
    };
    for (int step = 0; step < 300; ++step) {
      TdomElement* e = elements[random() % elements.size()];
      const std::u16string& prefix = prefixes[random() % 3];
      switch (random() % 6) {
        case 0: {  // a new child
          TdomElement* child = d->createElementNS(u"", u"e");
          e->appendChild(child);
          elements.push_back(child);
          parentOf[child] = e;
          break;
        }
        case 1: {  // a declaration made or changed
          std::u16string uri = u"urn:" + std::u16string(1, char16_t(u'a' + random() % 3));
          e->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:" + prefix, uri);
          declared[e][prefix] = uri;
          break;
        }
        case 2: {  // a subtree freed
          if (e == root) break;
          std::vector<TdomElement*> going{e};
          for (size_t i = 0; i < going.size(); ++i) {
            for (TdomElement* other : elements) {
              if (parentOf[other] == going[i]) going.push_back(other);
            }
          }
          e->Free();
          for (TdomElement* gone : going) {
            elements.erase(std::find(elements.begin(), elements.end(), gone));
            parentOf.erase(gone);
            declared.erase(gone);
            for (auto it = handedOut.begin(); it != handedOut.end();) {
              it = std::get<0>(it->first) == gone ? handedOut.erase(it) : std::next(it);
            }
          }
          break;
        }
        default: {  // an evaluation
          TdomNode* node = e->EvaluateToNode(u"namespace::" + prefix);
          std::u16string uri = bound(e, prefix);
          if (uri.empty()) {
            EXPECT_EQ(node, nullptr);
            break;
          }
          ASSERT_NE(node, nullptr);
          EXPECT_EQ(node->GetNamespaceURI(), uri);
          EXPECT_EQ(static_cast<TdomXPathNamespace*>(node)->GetOwnerElement(), e);
          auto [it, fresh] = handedOut.emplace(std::make_tuple(e, prefix, uri), node);
          if (!fresh) EXPECT_EQ(node, it->second) << "a second node for one binding";
          break;
        }
      }
      ASSERT_EQ(d->NamespaceNodeCount(), handedOut.size());
      for (const auto& [binding, node] : handedOut) {
        EXPECT_EQ(node->GetNamespaceURI(), std::get<2>(binding));
        EXPECT_EQ(static_cast<TdomXPathNamespace*>(node)->GetOwnerElement(), std::get<0>(binding));
      }
      if (HasFailure()) return;
    }
    impl->FreeDocument(d);
  }
}

}  // namespace
