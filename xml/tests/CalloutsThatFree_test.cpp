// Handlers the DOM calls from inside its own work - node filters of node
// iterators and tree walkers, the XPath variable and function requests, a
// user-data handler told that its node goes, the error handler while a DTD
// is read or a document validated - that free the node they are asked
// about, other nodes, or the whole document: the work stops or goes on only
// with what is still there (under AddressSanitizer any touch of freed memory
// fails the run).
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "DtdTestSupport.h"
#include "xml/DomXPathNamespace.h"
#include "xml/NodeIterator.h"
#include "xml/TreeWalker.h"
#include "xml/XPathValues.h"

namespace {

// Frees the document once, when armed.
struct Freer {
  TDomImplementation* impl = nullptr;
  TdomDocument* doc = nullptr;  // null once freed

  bool FreeIt() {
    if (doc == nullptr) return false;
    TdomDocument* going = std::exchange(doc, nullptr);
    impl->FreeDocument(going);
    return true;
  }
};

// A filter that runs act at the node it is asked about numbered `at`.
class ActingFilter : public TdomNodeFilter {
public:
  TdomFilterResult acceptNode(TdomNode* node) override {
    if (asked++ == at && act) act(node);
    return answer;
  }
  int at = 0;
  int asked = 0;
  TdomFilterResult answer = FILTER_ACCEPT;
  std::function<void(TdomNode*)> act;
};

class CalloutsThatFreeTest : public DtdTest {
protected:
  // r holds a (texts one, two), b (c), d; r declares the prefix p, b a
  // default namespace and the prefix q.
  TdomDocument* MakeDocument() {
    TdomDocument* doc = impl->CreateEmptyDocument();
    TdomElement* root = doc->CreateDocumentElementNS(u"", u"r");
    root->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:p", u"urn:p");
    TdomElement* a = doc->createElementNS(u"", u"a");
    root->appendChild(a);
    a->appendChild(doc->createTextNode(u"one"));
    a->appendChild(doc->createTextNode(u"two"));
    TdomElement* b = doc->createElementNS(u"", u"b");
    b->setAttributeNS(kXmlnsNamespaceUri, u"xmlns", u"urn:d");
    b->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:q", u"urn:q");
    root->appendChild(b);
    b->appendChild(doc->createElementNS(u"", u"c"));
    root->appendChild(doc->createElementNS(u"", u"d"));
    return doc;
  }
};

// Every way a walker or an iterator moves, with a filter that frees the
// document at each node it may be asked about: the move returns null.
TEST_F(CalloutsThatFreeTest, TraversalsReturnNullWhenTheirFilterFreesTheDocument) {
  // Each move repeats while the document is there (the walker or iterator goes with it).
  Freer freer;
  auto there = [&freer] { return freer.doc != nullptr; };
  using Move = std::function<TdomNode*(TdomDocument*, TdomNodeFilter*)>;
  auto walk = [](std::function<TdomNode*(TdomTreeWalker*)> step, const char16_t* from) {
    return [step, from](TdomDocument* doc, TdomNodeFilter* filter) {
      TdomTreeWalker* walker = doc->createTreeWalker(doc, kShowAll, filter, true);
      if (from != nullptr) {
        TdomNode* start = doc->GetDocumentElement()->EvaluateToNode(from);
        walker->SetCurrentNode(start);
      }
      return step(walker);
    };
  };
  const std::pair<const char*, Move> moves[] = {
      {"iterator nextNode",
       [there](TdomDocument* doc, TdomNodeFilter* filter) {
         TdomNodeIterator* iterator = doc->createNodeIterator(doc, kShowAll, filter, true);
         TdomNode* node = nullptr;
         for (int i = 0; i < 20 && there(); ++i) node = iterator->nextNode();
         return node;
       }},
      {"iterator previousNode",
       [there](TdomDocument* doc, TdomNodeFilter* filter) {
         // Reaches the end without the filter, then walks back with it.
         TdomNodeIterator* iterator = doc->createNodeIterator(doc, kShowAll, nullptr, true);
         while (iterator->nextNode() != nullptr) {
         }
         TdomNodeIterator* back = doc->createNodeIterator(doc, kShowAll, filter, true);
         while (there() && back->nextNode() != nullptr) {
         }
         TdomNode* node = nullptr;
         for (int i = 0; i < 20 && there(); ++i) node = back->previousNode();
         return node;
       }},
      {"walker nextNode", walk([there](TdomTreeWalker* w) {
         TdomNode* node = nullptr;
         for (int i = 0; i < 20 && there(); ++i) node = w->nextNode();
         return node;
       }, nullptr)},
      {"walker previousNode", walk([there](TdomTreeWalker* w) {
         TdomNode* node = nullptr;
         for (int i = 0; i < 20 && there(); ++i) node = w->previousNode();
         return node;
       }, u"d")},
      {"walker firstChild", walk([](TdomTreeWalker* w) { return w->firstChild(); }, u"/r")},
      {"walker lastChild", walk([](TdomTreeWalker* w) { return w->lastChild(); }, u"/r")},
      {"walker nextSibling", walk([](TdomTreeWalker* w) { return w->nextSibling(); }, u"a")},
      {"walker previousSibling", walk([](TdomTreeWalker* w) { return w->previousSibling(); }, u"d")},
      {"walker parentNode", walk([](TdomTreeWalker* w) { return w->parentNode(); }, u"b/c")},
  };
  for (const auto& [name, move] : moves) {
    for (int at = 0; at < 12; ++at) {
      SCOPED_TRACE(std::string(name) + " freeing at node " + std::to_string(at));
      TdomDocument* doc = MakeDocument();
      freer = Freer{impl, doc};
      ActingFilter filter;
      filter.at = at;
      filter.answer = at % 2 == 0 ? FILTER_ACCEPT : FILTER_SKIP;
      filter.act = [&freer](TdomNode*) { freer.FreeIt(); };
      TdomNode* result = move(doc, &filter);
      if (freer.doc == nullptr) {
        EXPECT_EQ(result, nullptr);
        EXPECT_FALSE(impl->OwnsDocument(doc));
      } else {
        impl->FreeDocument(doc);
      }
    }
  }
}

// A filter that frees the node it is asked about, or removes it: the move
// gives null or a node still in the walk, and the traversal goes on soundly.
TEST_F(CalloutsThatFreeTest, TraversalsGoOnSoundlyWhenTheirFilterFreesOrRemovesTheNode) {
  for (bool remove : {false, true}) {
    for (int at = 0; at < 10; ++at) {
      SCOPED_TRACE(std::string(remove ? "removing" : "freeing") + " at node " + std::to_string(at));
      TdomDocument* doc = MakeDocument();
      ActingFilter filter;
      filter.at = at;
      filter.act = [remove](TdomNode* node) {
        if (node->GetNodeType() == ntDocument_Node) return;
        if (remove) {
          node->GetParentNode()->removeChild(node);
        } else {
          node->Free();
        }
      };
      TdomNodeIterator* iterator = doc->createNodeIterator(doc, kShowAll, &filter, true);
      for (int i = 0; i < 20; ++i) {
        TdomNode* node = iterator->nextNode();
        if (node != nullptr) EXPECT_TRUE(node == doc || node->HasAsAncestor(doc));
      }
      filter.asked = 0;
      TdomTreeWalker* walker = doc->createTreeWalker(doc, kShowAll, &filter, true);
      for (int i = 0; i < 20; ++i) {
        TdomNode* node = walker->nextNode();
        if (node != nullptr) EXPECT_TRUE(node == doc || node->HasAsAncestor(doc));
      }
      impl->FreeDocument(doc);
    }
  }
}

// A filter that frees the very walker or iterator asking it (the document
// lets it free a walker, and an iterator whose root it removed): the move
// returns null and touches nothing of the traversal.
TEST_F(CalloutsThatFreeTest, TraversalsReturnNullWhenTheirFilterFreesThem) {
  for (int at = 0; at < 6; ++at) {
    SCOPED_TRACE("freeing at node " + std::to_string(at));
    TdomDocument* doc = MakeDocument();
    TdomTreeWalker* walker = nullptr;
    ActingFilter walkerFilter;
    walkerFilter.at = at;
    walkerFilter.answer = at % 2 == 0 ? FILTER_ACCEPT : FILTER_SKIP;
    walkerFilter.act = [doc, &walker](TdomNode*) { doc->FreeTreeWalker(walker); };
    walker = doc->createTreeWalker(doc, kShowAll, &walkerFilter, true);
    TdomTreeWalker* asking = walker;
    TdomNode* node = doc;
    for (int i = 0; i < 20 && walker != nullptr; ++i) node = asking->nextNode();
    EXPECT_EQ(walker, nullptr);
    EXPECT_EQ(node, nullptr);

    TdomNode* b = doc->GetDocumentElement()->EvaluateToNode(u"b");
    ActingFilter iteratorFilter;
    iteratorFilter.at = at % 2;  // b and c
    iteratorFilter.act = [doc, b](TdomNode*) {
      b->GetParentNode()->removeChild(b);
      doc->ClearInvalidNodeIterators();
    };
    TdomNodeIterator* iterator = doc->createNodeIterator(b, kShowAll, &iteratorFilter, true);
    node = b;
    for (int i = 0; i < 20 && doc->NodeIteratorCount() != 0; ++i) node = iterator->nextNode();
    EXPECT_EQ(doc->NodeIteratorCount(), 0);
    EXPECT_EQ(node, nullptr);
    b->Free();
    impl->FreeDocument(doc);
  }
}

// Answers every variable and function with a number, after act.
class ActingXPathHandlers : public TObject {
public:
  void Variable(TXPathExpression*, const std::u16string&, const std::u16string&, TdomXPathCustomResult*& value) {
    Act(value);
  }
  void Function(const std::u16string&, const std::u16string&, TdomNode*, int, int, TList*,
                TdomXPathCustomResult*& value) {
    Act(value);
  }
  // The answer is 1 unless the act gives another.
  void Act(TdomXPathCustomResult*& value) {
    value = New<TdomXPathNumberResult>(1.0);
    if (heard++ == at && act) act(value);
  }
  int at = 0;
  int heard = 0;
  std::function<void(TdomXPathCustomResult*&)> act;
};

// Variables and functions asked while node sets of the document are in
// hand: a handler that frees the document, or nodes of it (one of them in
// the node set it answers with), ends the evaluation without a result,
// nothing freed is touched, and the namespace nodes made for the node sets
// are freed (LeakSanitizer checks).
TEST_F(CalloutsThatFreeTest, XPathEvaluationsEndWhenARequestHandlerFreesNodes) {
  const char16_t* expressions[] = {u"//*[$v]",
                                   u"count(//*[g() = 1])",
                                   u"string(//*[$v > 0][last()])",
                                   u"//*[$v]/following::*[g()]",
                                   u"boolean(//text()[$v])",
                                   u"//*[$v]/namespace::*",
                                   u"//*/namespace::*[$v]",
                                   u"count(//namespace::*[g() = 1])",
                                   u"(//namespace::p | //b/namespace::* | //c)[g()]",
                                   u"//*[namespace::*[g()]]/namespace::q",
                                   u"count(//namespace::*[$v]) + count(//*[namespace::*[$v]])"};
  // Answer: the answer is a node set holding namespace nodes and the node then freed.
  enum class What { Document, Node, Parent, Answer };
  std::unique_ptr<ActingXPathHandlers> handlers(New<ActingXPathHandlers>());
  impl->OnRequestXPathVariable = MakeEvent<&ActingXPathHandlers::Variable>(handlers.get());
  impl->OnRequestXPathFunctionResult = MakeEvent<&ActingXPathHandlers::Function>(handlers.get());
  for (const char16_t* expression : expressions) {
    for (What what : {What::Document, What::Node, What::Parent, What::Answer}) {
      for (int at = 0; at < 12; ++at) {
        SCOPED_TRACE(std::to_string(static_cast<int>(what)) + " at request " + std::to_string(at));
        TdomDocument* doc = MakeDocument();
        Freer freer{impl, doc};
        handlers->heard = 0;
        handlers->at = at;
        handlers->act = [&, doc](TdomXPathCustomResult*& value) {
          if (what == What::Document) {
            freer.FreeIt();
            return;
          }
          TdomNode* victim = doc->GetDocumentElement()->GetLastChildNode();
          if (what == What::Parent) victim = doc->GetDocumentElement()->GetFirstChildNode();
          if (victim == nullptr) return;
          if (what == What::Answer) {
            auto* set = New<TdomXPathNodeSetResult>();
            set->AddXPathNamespace(static_cast<TdomElement*>(victim), u"urn:v", u"v");
            set->Add(victim);
            set->Add(set->Item(0));
            value->Free();
            value = set;
          }
          victim->Free();
        };
        TdomElement* root = doc->GetDocumentElement();
        TdomNode* node = root->EvaluateToNode(expression);
        if (handlers->heard > at) EXPECT_EQ(node, nullptr) << "the evaluation went on after nodes were freed";
        if (freer.doc != nullptr) {
          // The same expression again, with nothing freed, ends as before.
          handlers->at = -1;
          root->EvaluateToWideString(expression);
          impl->FreeDocument(doc);
        }
      }
    }
  }
  impl->OnRequestXPathVariable = nullptr;
  impl->OnRequestXPathFunctionResult = nullptr;
}

// Frees the document when a node it names goes.
struct DeletionFreer {
  Freer* freer = nullptr;
  void Heard(TdomUserDataOperation operation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
    if (operation == NODE_DELETED) freer->FreeIt();
  }
};

// A user-data handler told that its node is being freed frees the whole
// document: the node goes, the document goes, nothing freed is touched.
TEST_F(CalloutsThatFreeTest, UserDataHandlerFreesTheDocumentWhileItsNodeGoes) {
  const char16_t* nodes[] = {u"/r", u"a", u"b", u"b/c", u"d", u"a/text()[2]"};
  enum class How { Free, RemoveThenFree, Clear, RemoveChildOfParent };
  for (const char16_t* path : nodes) {
    for (How how : {How::Free, How::RemoveThenFree, How::Clear, How::RemoveChildOfParent}) {
      SCOPED_TRACE(std::string("node ") + std::to_string(path - nodes[0]) + " way " + std::to_string(int(how)));
      TdomDocument* doc = MakeDocument();
      Freer freer{impl, doc};
      DeletionFreer deletion{&freer};
      TdomNode* node = doc->GetDocumentElement()->EvaluateToNode(path);
      ASSERT_NE(node, nullptr);
      node->setUserData(u"k", nullptr, MakeEvent<&DeletionFreer::Heard>(&deletion));
      TdomNode* parent = node->GetParentNode();
      switch (how) {
        case How::Free: node->Free(); break;
        case How::RemoveThenFree: parent->removeChild(node)->Free(); break;
        case How::Clear: parent->Clear(); break;
        case How::RemoveChildOfParent:
          if (parent->GetNodeType() != ntDocument_Node) parent->Free();
          break;
      }
      if (freer.doc != nullptr) {
        impl->FreeDocument(doc);
      } else {
        EXPECT_FALSE(impl->OwnsDocument(doc));
      }
    }
  }
}

}  // namespace

namespace {

// Frees one node the first time an attribute of another element changes.
struct AttrChangeFreer {
  TdomNode* victim = nullptr;
  void Heard(TObject*, TdomNode* node, TdomAttrChange, TdomAttr* attr) {
    if (victim == nullptr || attr == nullptr || attr->GetOwnerElement() == victim) return;
    std::exchange(victim, nullptr)->Free();
  }
};

// A reference to an ID that is never declared is reported after the walk,
// at its attribute: a listener that freed the attribute (with its element)
// while validation rewrote a later value leaves nothing freed to report.
TEST_F(CalloutsThatFreeTest, ReferencesOfFreedAttributesAreNotReportedAtTheEnd) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (a)*><!ELEMENT a EMPTY><!ATTLIST a r IDREFS #IMPLIED k CDATA #IMPLIED>]>"
      "<r><a r='gone'/><a r='missing other'/><a k='v'/></r>");
  ASSERT_NE(doc, nullptr);
  AttrChangeFreer freer{doc->GetDocumentElement()->GetFirstChildNode()};
  doc->OnAttrModified = MakeEvent<&AttrChangeFreer::Heard>(&freer);
  recorder->reports.clear();
  EXPECT_FALSE(doc->validate(/*keepUnchanged=*/false));
  EXPECT_EQ(freer.victim, nullptr) << "the listener never ran";
  // The second a's two references are reported; the freed first a's is not.
  int missing = 0;
  for (const Report& report : recorder->reports) {
    if (report.type != ET_TARGET_ID_VALUE_NOT_FOUND) continue;
    ++missing;
    EXPECT_EQ(report.node, u"r");
  }
  EXPECT_EQ(missing, 2);
  doc->OnAttrModified = nullptr;
}

}  // namespace

namespace {

// Frees every document of the implementation at the error numbered at.
struct ErrorFreer {
  TDomImplementation* impl = nullptr;
  int at = 0;
  int heard = 0;
  bool freed = false;
  void Error(TObject*, TdomError*, bool&) {
    if (heard++ != at) return;
    while (impl->GetDocuments()->GetLength() > 0) {
      auto* doc = static_cast<TdomDocument*>(impl->GetDocuments()->Item(0));
      impl->FreeDocument(doc);
      freed = true;
    }
  }
};

// The declarations are read while the document is parsed, or when it is
// validated; an error handler that frees the document at any of their
// reports ends the reading there: the models that went with it are never
// filled, and the parse or validation fails.
TEST_F(CalloutsThatFreeTest, DeclarationsStopWhereAnErrorHandlerFreesTheDocument) {
  const std::string subset =
      "<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ATTLIST r a CDATA #IMPLIED>"
      "<!ENTITY e 'x'><!ENTITY e 'y'><!ELEMENT s (#PCDATA|r)*><!ATTLIST s b CDATA #IMPLIED>"
      "<!ATTLIST s b CDATA #IMPLIED><!ELEMENT r EMPTY><!ELEMENT t (r,s)><!ATTLIST t c CDATA #IMPLIED>";
  for (bool atParse : {true, false}) {
    int freedRuns = 0;
    for (int at = 0; at < 6; ++at) {
      SCOPED_TRACE(std::string(atParse ? "parse" : "validate") + " freeing at error " + std::to_string(at));
      ErrorFreer freer{impl, at};
      parser->SetAutoPrepare(atParse ? AP_COMPLETE : AP_NO);
      if (atParse) impl->OnError = MakeEvent<&ErrorFreer::Error>(&freer);
      TdomDocument* doc = Parse("<!DOCTYPE r [" + subset + "]><r/>");
      if (!atParse && doc != nullptr) {
        impl->OnError = MakeEvent<&ErrorFreer::Error>(&freer);
        EXPECT_FALSE(doc->validate(/*keepUnchanged=*/true));
      }
      impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
      if (freer.freed) {
        ++freedRuns;
        EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
        if (atParse) EXPECT_EQ(doc, nullptr);
      } else if (doc != nullptr) {
        impl->FreeDocument(doc);
      }
    }
    EXPECT_GE(freedRuns, 3) << "too few errors reported to free at";
  }
  parser->SetAutoPrepare(AP_COMPLETE);
}

}  // namespace

namespace {

// Random trees, and random walks and evaluations whose filter or request
// handler does one hostile thing at a random call: frees a random node,
// removes one from the tree, or frees the document. The model is the set of
// nodes in the tree, which only the hostile act changes: afterwards the
// tree holds exactly the model's nodes, its links agree, and what the walk
// or evaluation gave is null or a node still alive.
class HostileCallouts {
public:
  HostileCallouts(TDomImplementation* impl_, uint32_t seed) : impl(impl_), random(seed) {}

  void RunOnce() {
    doc = impl->CreateEmptyDocument();
    TdomElement* root = doc->CreateDocumentElementNS(u"", u"r");
    int count = 1 + Pick(24);
    for (int i = 0; i < count; ++i) Grow(root);
    model = TreeNodes();
    removed.clear();
    at = Pick(12);
    heard = 0;
    act = static_cast<Act>(Pick(3));
    TdomNode* result = RunOperation(Pick(4));
    if (doc == nullptr) {
      EXPECT_EQ(result, nullptr) << "the document went, yet something came back";
      return;
    }
    std::set<TdomNode*> tree = TreeNodes();
    EXPECT_EQ(tree, model) << "the tree lost or gained nodes that no listener took";
    EXPECT_TRUE(Linked(doc));
    // A node the act took out of the tree (alive) may still come back, as the
    // walk or evaluation had it in hand; a freed one never (nor a namespace
    // node of a freed element).
    if (result != nullptr && result->GetNodeType() == ntXPath_Namespace_Node) {
      result = static_cast<TdomXPathNamespace*>(result)->GetOwnerElement();
    }
    if (result != nullptr) {
      EXPECT_TRUE(tree.count(result) != 0 || removed.count(result) != 0) << "a freed node came back";
    }
    TdomDocument* going = std::exchange(doc, nullptr);
    impl->FreeDocument(going);
  }

  // Called by the filter and the handlers at each call.
  void Heard() {
    if (heard++ != at || doc == nullptr) return;
    if (act == Act::FreeDocument) {
      TdomDocument* going = std::exchange(doc, nullptr);
      impl->FreeDocument(going);
      return;
    }
    std::vector<TdomNode*> candidates;
    for (TdomNode* node : model)
      if (node != doc && node != doc->GetDocumentElement()) candidates.push_back(node);
    if (candidates.empty()) return;
    TdomNode* victim = candidates[Pick(static_cast<int>(candidates.size()))];
    for (TdomNode* node : Subtree(victim)) {
      model.erase(node);
      if (act == Act::RemoveNode) removed.insert(node);
    }
    if (act == Act::FreeNode) {
      victim->Free();
    } else {
      victim->GetParentNode()->removeChild(victim);
    }
  }

private:
  enum class Act { FreeNode, RemoveNode, FreeDocument };

  class Filter : public TdomNodeFilter {
  public:
    explicit Filter(HostileCallouts* owner_, TdomFilterResult answer_) : owner(owner_), answer(answer_) {}
    TdomFilterResult acceptNode(TdomNode*) override {
      owner->Heard();
      return answer;
    }
    HostileCallouts* owner;
    TdomFilterResult answer;
  };

  int Pick(int below) { return static_cast<int>(random() % static_cast<uint32_t>(below)); }

  void Grow(TdomElement* root) {
    std::vector<TdomNode*> elements;
    for (TdomNode* node : TreeNodes())
      if (node->GetNodeType() == ntElement_Node) elements.push_back(node);
    TdomNode* parent = elements[Pick(static_cast<int>(elements.size()))];
    static const char16_t* const kNames[] = {u"a", u"b", u"c"};
    static const char16_t* const kDeclarations[] = {u"xmlns", u"xmlns:p", u"xmlns:q"};
    if (Pick(3) == 0) {
      // Namespace nodes for the namespace axis to copy (an empty value undeclares).
      static_cast<TdomElement*>(parent)->setAttributeNS(kXmlnsNamespaceUri, kDeclarations[Pick(3)],
                                                        Pick(4) == 0 ? u"" : u"urn:n");
    } else if (Pick(4) == 0) {
      parent->appendChild(doc->createTextNode(u"t"));
    } else {
      parent->appendChild(doc->createElementNS(u"", kNames[Pick(3)]));
    }
  }

  TdomNode* RunOperation(int which) {
    TdomFilterResult answer = static_cast<TdomFilterResult>(Pick(3));
    Filter filter(this, answer);
    TdomNode* last = nullptr;
    switch (which) {
      case 0: {
        TdomNodeIterator* iterator = doc->createNodeIterator(doc, kShowAll, &filter, true);
        for (int i = 0; i < 40 && doc != nullptr; ++i) last = iterator->nextNode();
        for (int i = 0; i < 40 && doc != nullptr; ++i) last = iterator->previousNode();
        break;
      }
      case 1: {
        TdomTreeWalker* walker = doc->createTreeWalker(doc, kShowAll, &filter, true);
        for (int i = 0; i < 40 && doc != nullptr; ++i) {
          switch (Pick(7)) {
            case 0: last = walker->nextNode(); break;
            case 1: last = walker->previousNode(); break;
            case 2: last = walker->firstChild(); break;
            case 3: last = walker->lastChild(); break;
            case 4: last = walker->nextSibling(); break;
            case 5: last = walker->previousSibling(); break;
            default: last = walker->parentNode(); break;
          }
        }
        break;
      }
      default: {
        static const char16_t* const kExpressions[] = {u"//*[$v][g()]",
                                                       u"(//a|//b)[$v > 0]/following::*[g()]",
                                                       u"//text()[$v]/..",
                                                       u"//*[count(*[g()]) >= 0][last()]",
                                                       u"//*/namespace::*[$v][g()]",
                                                       u"(//a/namespace::* | //b[g()])[$v]",
                                                       u"//*[count(namespace::*[g()]) > 2]/namespace::p"};
        TdomNode* context = doc->GetDocumentElement();
        last = context->EvaluateToNode(kExpressions[Pick(7)]);
        break;
      }
    }
    return last;
  }

  std::vector<TdomNode*> Subtree(TdomNode* top) {
    std::vector<TdomNode*> nodes;
    std::vector<TdomNode*> pending{top};
    while (!pending.empty()) {
      TdomNode* node = pending.back();
      pending.pop_back();
      nodes.push_back(node);
      for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode())
        pending.push_back(child);
    }
    return nodes;
  }

  std::set<TdomNode*> TreeNodes() {
    std::vector<TdomNode*> nodes = Subtree(doc);
    return std::set<TdomNode*>(nodes.begin(), nodes.end());
  }

  static bool Linked(const TdomNode* top) {
    const TdomNode* previous = nullptr;
    for (TdomNode* child = top->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      if (child->GetParentNode() != top || child->GetPreviousSiblingNode() != previous || !Linked(child)) return false;
      previous = child;
    }
    return top->GetLastChildNode() == previous;
  }

  TDomImplementation* impl;
  std::mt19937 random;
  TdomDocument* doc = nullptr;
  std::set<TdomNode*> model;
  std::set<TdomNode*> removed;  // taken out of the tree by the act, alive
  int at = 0;
  int heard = 0;
  Act act = Act::FreeNode;
};

// Answers every variable and function with true, after telling the model.
struct HostileHandlers {
  HostileCallouts* callouts = nullptr;
  void Variable(TXPathExpression*, const std::u16string&, const std::u16string&, TdomXPathCustomResult*& value) {
    callouts->Heard();
    value = New<TdomXPathBooleanResult>(true);
  }
  void Function(const std::u16string&, const std::u16string&, TdomNode*, int, int, TList*,
                TdomXPathCustomResult*& value) {
    callouts->Heard();
    value = New<TdomXPathBooleanResult>(true);
  }
};

TEST_F(CalloutsThatFreeTest, RandomHostileCalloutsAgainstAModelOfTheTree) {
  uint32_t seed = ::testing::UnitTest::GetInstance()->random_seed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  HostileCallouts callouts(impl, seed);
  HostileHandlers handlers{&callouts};
  impl->OnRequestXPathVariable = MakeEvent<&HostileHandlers::Variable>(&handlers);
  impl->OnRequestXPathFunctionResult = MakeEvent<&HostileHandlers::Function>(&handlers);
  for (int run = 0; run < 600 && !HasFailure(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    callouts.RunOnce();
  }
  impl->OnRequestXPathVariable = nullptr;
  impl->OnRequestXPathFunctionResult = nullptr;
}

}  // namespace
