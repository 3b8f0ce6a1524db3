// A listener that frees the whole document while an operation tells it of a
// change: the operation returns at once and touches nothing of the document
// (under AddressSanitizer any touch fails the run), and an operation that
// returns a node returns null. Every operation that tells listeners, with
// the listener on the document, on the implementation, as a user-data
// handler and as the error handler.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DtdTestSupport.h"

namespace {

// Frees the document on the first thing it hears.
struct DocumentFreer {
  TDomImplementation* impl = nullptr;
  TdomDocument* doc = nullptr;  // null once freed
  bool armed = false;           // set by the operation just before its call
  int freed = 0;

  void FreeIt() {
    if (doc == nullptr || !armed) return;
    TdomDocument* going = std::exchange(doc, nullptr);
    impl->FreeDocument(going);
    ++freed;
  }
  void Node(TObject*, TdomNode*) { FreeIt(); }
  void Attr(TObject*, TdomNode*, TdomAttrChange, TdomAttr*) { FreeIt(); }
  void Error(TObject*, TdomError*, bool&) { FreeIt(); }
  void UserData(TdomUserDataOperation operation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
    if (operation != NODE_DELETED) FreeIt();
  }
};

enum class ListenerKind { Document, Implementation, UserData, Error };

const char* Name(ListenerKind kind) {
  switch (kind) {
    case ListenerKind::Document: return "document listener";
    case ListenerKind::Implementation: return "implementation listener";
    case ListenerKind::UserData: return "user-data handler";
    case ListenerKind::Error: return "error handler";
  }
  return "?";
}

// One operation on a fresh document: the root r holds a (attribute k, two
// texts), b and c. Run returns what the operation returns (null for none).
struct Operation {
  const char* name;
  std::vector<ListenerKind> kinds;  // the listeners it tells
  std::function<TdomNode*(TdomDocument*, bool& armed)> run;
  bool returnsNode = true;
};

TdomElement* Child(TdomDocument* doc, const char16_t* name) {
  return static_cast<TdomElement*>(doc->GetDocumentElement()->FindFirstChildElementByName(name));
}

class DocumentFreedByListenerTest : public DtdTest {
protected:
  TdomDocument* MakeDocument() {
    TdomDocument* doc = impl->CreateEmptyDocument();
    TdomElement* root = doc->CreateDocumentElement(u"r");
    TdomElement* a = doc->createElement(u"a");
    root->appendChild(a);
    a->setAttribute(u"k", u"v");
    a->appendChild(doc->createTextNode(u"one"));
    a->appendChild(doc->createTextNode(u"two"));
    root->appendChild(doc->createElement(u"b"));
    root->appendChild(doc->createElement(u"c"));
    return doc;
  }

  void Arm(TdomDocument* doc, ListenerKind kind) {
    freer = DocumentFreer{impl, doc, 0};
    auto node = MakeEvent<&DocumentFreer::Node>(&freer);
    auto attr = MakeEvent<&DocumentFreer::Attr>(&freer);
    switch (kind) {
      case ListenerKind::Document:
        doc->OnNodeInserted = doc->OnNodeRemoving = doc->OnNodeClearing = doc->OnCharacterDataModified = node;
        doc->OnAttrModified = attr;
        break;
      case ListenerKind::Implementation:
        impl->OnNodeInserted = impl->OnNodeRemoving = impl->OnNodeClearing = impl->OnCharacterDataModified = node;
        impl->OnAttrModified = attr;
        break;
      case ListenerKind::UserData:
        for (TdomNode* n = doc->GetDocumentElement(); n != nullptr; n = n->GetNextSiblingNode()) {
          n->setUserData(u"k", n, MakeEvent<&DocumentFreer::UserData>(&freer));
        }
        break;
      case ListenerKind::Error:
        impl->OnError = MakeEvent<&DocumentFreer::Error>(&freer);
        break;
    }
  }

  void Disarm() {
    impl->OnNodeInserted = impl->OnNodeRemoving = impl->OnNodeClearing = impl->OnCharacterDataModified = nullptr;
    impl->OnAttrModified = nullptr;
    impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
  }

  DocumentFreer freer;
};

const ListenerKind kNotices[] = {ListenerKind::Document, ListenerKind::Implementation};

std::vector<Operation> Operations(TDomImplementation* impl) {
  std::vector<ListenerKind> notices(std::begin(kNotices), std::end(kNotices));
  std::vector<Operation> ops = {
      {"appendChild", notices, [](TdomDocument* d, bool& armed) { armed = true; return d->GetDocumentElement()->appendChild(d->createElement(u"x")); }},
      {"insertBefore", notices,
       [](TdomDocument* d, bool& armed) { armed = true; return d->GetDocumentElement()->insertBefore(d->createElement(u"x"), Child(d, u"b")); }},
      {"replaceChild", notices,
       [](TdomDocument* d, bool& armed) { armed = true; return d->GetDocumentElement()->replaceChild(d->createElement(u"x"), Child(d, u"b")); }},
      {"removeChild", notices, [](TdomDocument* d, bool& armed) { armed = true; return d->GetDocumentElement()->removeChild(Child(d, u"b")); }},
      {"appendChild of a fragment", notices,
       [](TdomDocument* d, bool& armed) {
         TdomDocumentFragment* fragment = d->createDocumentFragment();
         fragment->appendChild(d->createElement(u"x"));
         fragment->appendChild(d->createElement(u"y"));
         armed = true;
         return Child(d, u"b")->appendChild(fragment);
       }},
      {"replaceChild by a fragment", notices,
       [](TdomDocument* d, bool& armed) {
         TdomDocumentFragment* fragment = d->createDocumentFragment();
         fragment->appendChild(d->createElement(u"x"));
         fragment->appendChild(d->createElement(u"y"));
         armed = true;
         return d->GetDocumentElement()->replaceChild(fragment, Child(d, u"b"));
       }},
      {"setAttribute (new)", notices, [](TdomDocument* d, bool& armed) { armed = true; return Child(d, u"b")->setAttribute(u"n", u"1"); }},
      {"setAttribute (changed)", notices,
       [](TdomDocument* d, bool& armed) { armed = true; return Child(d, u"a")->setAttribute(u"k", u"w"); }, false},
      {"removeAttribute", notices,
       [](TdomDocument* d, bool& armed) {
         armed = true;
         Child(d, u"a")->removeAttribute(u"k");
         return nullptr;
       },
       false},
      {"setAttributeNode", notices,
       [](TdomDocument* d, bool& armed) {
         TdomAttr* attr = d->createAttribute(u"k");
         armed = true;
         return Child(d, u"a")->setAttributeNode(attr);
       }},
      {"createTextNode", notices, [](TdomDocument* d, bool& armed) { armed = true; return d->createTextNode(u"t"); }},
      {"createComment", notices, [](TdomDocument* d, bool& armed) { armed = true; return d->createComment(u"t"); }},
      {"createProcessingInstruction", notices, [](TdomDocument* d, bool& armed) { armed = true; return d->createProcessingInstruction(u"p", u"d"); }},
      {"appendData", notices,
       [](TdomDocument* d, bool& armed) {
         armed = true;
         static_cast<TdomText*>(Child(d, u"a")->GetFirstChildNode())->appendData(u"more");
         return nullptr;
       },
       false},
      {"splitText", notices,
       [](TdomDocument* d, bool& armed) { armed = true; return static_cast<TdomText*>(Child(d, u"a")->GetFirstChildNode())->splitText(1); }},
      {"normalize", notices,
       [](TdomDocument* d, bool& armed) {
         armed = true;
         d->GetDocumentElement()->normalize();
         return nullptr;
       },
       false},
      {"Clear", notices,
       [](TdomDocument* d, bool& armed) {
         armed = true;
         Child(d, u"a")->Clear();
         return nullptr;
       },
       false},
      {"CreateDocumentElement", notices,
       [](TdomDocument* d, bool& armed) {
         d->removeChild(d->GetDocumentElement());
         armed = true;
         return d->CreateDocumentElement(u"new");
       }},
      {"cloneNode", {ListenerKind::Document, ListenerKind::Implementation, ListenerKind::UserData},
       [](TdomDocument* d, bool& armed) { armed = true; return d->GetDocumentElement()->cloneNode(true); }},
      {"importNode", {ListenerKind::Document, ListenerKind::Implementation, ListenerKind::UserData},
       [](TdomDocument* d, bool& armed) { armed = true; return d->importNode(d->GetDocumentElement(), true); }},
      {"importNode from another document",
       {ListenerKind::Document, ListenerKind::Implementation},
       [impl](TdomDocument* d, bool& armed) {
         TdomDocument* other = impl->CreateEmptyDocument();
         other->CreateDocumentElement(u"o")->appendChild(other->createElement(u"p"));
         armed = true;
         TdomNode* copy = d->importNode(other->GetDocumentElement(), true);
         impl->FreeDocument(other);
         return copy;
       }},
  };
  return ops;
}

TEST_F(DocumentFreedByListenerTest, EveryOperationReturnsAtOnceWhenItsListenerFreesTheDocument) {
  for (const Operation& op : Operations(impl)) {
    for (ListenerKind kind : op.kinds) {
      SCOPED_TRACE(std::string(op.name) + " with a " + Name(kind));
      TdomDocument* doc = MakeDocument();
      Arm(doc, kind);
      TdomNode* result = nullptr;
      try {
        result = op.run(doc, freer.armed);
      } catch (const EDomException& e) {
        ADD_FAILURE() << "raised " << e.Message();
      }
      Disarm();
      EXPECT_EQ(freer.freed, 1) << "the listener never ran";
      EXPECT_FALSE(impl->OwnsDocument(doc));
      if (op.returnsNode) EXPECT_EQ(result, nullptr);
      if (freer.doc != nullptr) impl->FreeDocument(freer.doc);
    }
  }
}

// Validation calls out to the error handler for every error, and to the
// listeners while it replaces entity references and rewrites attribute
// values: wherever the document goes, validation returns false at once.
TEST_F(DocumentFreedByListenerTest, ValidationReturnsAtOnceWhenAListenerFreesTheDocument) {
  const std::string text =
      "<!DOCTYPE r [<!ELEMENT r (a|b)*><!ELEMENT a (#PCDATA)><!ELEMENT b EMPTY>"
      "<!ATTLIST a k CDATA #IMPLIED><!ENTITY e '<b/>x'>]>"
      "<r><a k=' v  w '>&e;</a><a>t&e;</a><c/><a>&e;</a></r>";
  const ListenerKind kinds[] = {ListenerKind::Document, ListenerKind::Implementation, ListenerKind::Error};
  for (ListenerKind kind : kinds) {
    for (bool keepUnchanged : {false, true}) {
      SCOPED_TRACE(std::string(Name(kind)) + (keepUnchanged ? ", kept unchanged" : ", rewritten"));
      TdomDocument* doc = Parse(text);
      ASSERT_NE(doc, nullptr);
      Arm(doc, kind);
      freer.armed = true;
      EXPECT_FALSE(doc->validate(keepUnchanged));
      Disarm();
      if (kind == ListenerKind::Error || !keepUnchanged) {
        EXPECT_EQ(freer.freed, 1) << "the listener never ran";
        EXPECT_FALSE(impl->OwnsDocument(doc));
      }
      if (freer.doc != nullptr) impl->FreeDocument(freer.doc);
    }
  }
}

}  // namespace
