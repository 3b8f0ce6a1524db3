// Handlers the DOM calls from inside its own work - node filters of node
// iterators and tree walkers, the XPath variable and function requests, a
// user-data handler told that its node goes, the error handler while a DTD
// is read or a document validated - that free the node they are asked
// about, other nodes, or the whole document: the work stops or goes on only
// with what is still there (under AddressSanitizer any touch of freed memory
// fails the run).
#include <functional>
#include <string>
#include <utility>

#include "DtdTestSupport.h"
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
  // r holds a (texts one, two), b (c), d.
  TdomDocument* MakeDocument() {
    TdomDocument* doc = impl->CreateEmptyDocument();
    TdomElement* root = doc->CreateDocumentElement(u"r");
    TdomElement* a = doc->createElement(u"a");
    root->appendChild(a);
    a->appendChild(doc->createTextNode(u"one"));
    a->appendChild(doc->createTextNode(u"two"));
    TdomElement* b = doc->createElement(u"b");
    root->appendChild(b);
    b->appendChild(doc->createElement(u"c"));
    root->appendChild(doc->createElement(u"d"));
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

// Answers every variable and function with a number, after act.
class ActingXPathHandlers : public TObject {
public:
  void Variable(TXPathExpression*, const std::u16string&, const std::u16string&, TdomXPathCustomResult*& value) {
    Act();
    value = New<TdomXPathNumberResult>(1.0);
  }
  void Function(const std::u16string&, const std::u16string&, TdomNode*, int, int, TList*,
                TdomXPathCustomResult*& value) {
    Act();
    value = New<TdomXPathNumberResult>(1.0);
  }
  void Act() {
    if (heard++ == at && act) act();
  }
  int at = 0;
  int heard = 0;
  std::function<void()> act;
};

// Variables and functions asked while node sets of the document are in
// hand: a handler that frees the document, or nodes of it, ends the
// evaluation without a result, and nothing freed is touched.
TEST_F(CalloutsThatFreeTest, XPathEvaluationsEndWhenARequestHandlerFreesNodes) {
  const char16_t* expressions[] = {u"//*[$v]", u"count(//*[g() = 1])", u"string(//*[$v > 0][last()])",
                                   u"//*[$v]/following::*[g()]", u"boolean(//text()[$v])",
                                   u"count(//namespace::*[$v])", u"//*[namespace::*[g()]]"};
  enum class What { Document, Node, Parent };
  std::unique_ptr<ActingXPathHandlers> handlers(New<ActingXPathHandlers>());
  impl->OnRequestXPathVariable = MakeEvent<&ActingXPathHandlers::Variable>(handlers.get());
  impl->OnRequestXPathFunctionResult = MakeEvent<&ActingXPathHandlers::Function>(handlers.get());
  for (const char16_t* expression : expressions) {
    for (What what : {What::Document, What::Node, What::Parent}) {
      for (int at = 0; at < 8; ++at) {
        SCOPED_TRACE(std::to_string(static_cast<int>(what)) + " at request " + std::to_string(at));
        TdomDocument* doc = MakeDocument();
        Freer freer{impl, doc};
        handlers->heard = 0;
        handlers->at = at;
        handlers->act = [&, doc] {
          if (what == What::Document) {
            freer.FreeIt();
            return;
          }
          TdomNode* victim = doc->GetDocumentElement()->GetLastChildNode();
          if (what == What::Parent) victim = doc->GetDocumentElement()->GetFirstChildNode();
          if (victim != nullptr) victim->Free();
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
