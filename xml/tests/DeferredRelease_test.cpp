// Every listener and handler the DOM and its parser call, made to free the
// document, the node it is told about or that node's parent at the k-th
// call counted from the start of one operation of a script that fires them
// all: reads (errors, entities, a DTD, attributes, a fragment), mutations,
// elements and fragments freed, normalisation, import and cloning,
// traversals, XPath requests, validation. The rows are generated:
// operations x events x actions x k (CI: the first, second and last call). Under
// AddressSanitizer any touch of freed memory fails the row (rows run in
// child processes, so that one that faults is named with its step);
// besides, no handler may be called about a document that was freed and
// waits to go, and a read whose document a handler freed must not return
// it. QV_LONG=1 runs every k. Other actions: the document and then the
// node, the node and a raise, the parser, the second node a notice carries
// (the attribute of an attribute change), the reader, the well-formedness
// handler, the builder or a relay written to the handler interface of a
// chain put together by hand, the operation's target, the DOM
// implementation and the parser's builder; each deletion is heard once.
// Every handler reads the nodes it is handed, so one handed a freed node
// faults; a node an operation returns is alive, and a document freed is gone.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "DtdTestSupport.h"
#include "core/FencedObjects.h"
#include "core/StringStream.h"
#include "core/testing/HandlerTable.h"
#include "core/testing/RowProcesses.h"
#include "xml/NodeIterator.h"
#include "xml/TreeWalker.h"
#include "xml/XPathValues.h"

namespace {

enum class Event {
  DocNodeInserted, DocNodeRemoving, DocNodeClearing, DocCharacterData, DocAttrModified,
  ImplNodeInserted, ImplNodeRemoving, ImplNodeClearing, ImplCharacterData, ImplAttrModified,
  ImplError, ReaderError, UserData, NodeFilter, XPathVariable, XPathFunction, Resolver, Last
};
const char* const kEventNames[] = {
    "document OnNodeInserted", "document OnNodeRemoving", "document OnNodeClearing",
    "document OnCharacterDataModified", "document OnAttrModified", "implementation OnNodeInserted",
    "implementation OnNodeRemoving", "implementation OnNodeClearing", "implementation OnCharacterDataModified",
    "implementation OnAttrModified", "implementation OnError", "reader OnError", "user-data handler",
    "node filter", "XPath variable request", "XPath function request", "resource resolver"};

enum class Action {
  FreeDocument, FreeNode, FreeParent, FreeDocumentThenNode, FreeNodeAndRaise, FreeParser, FreeSecondNode,
  FreeChainReader, FreeChainRelay, FreeChainChecker, FreeChainBuilder, FreeTarget, FreeImplementation,
  FreeParserBuilder, FreeParserReader, FreeParserChecker, FreeTraversal, FreeResolver, FreeDocumentTypes, Last
};
// What the row's handler frees ("... frees the <action> at call k").
const char* const kActionNames[] = {"document", "node", "node's parent",
                                    "document, then the node, and reads into it",
                                    "node and raises", "parser", "second node it is told of",
                                    "reader of its own chain", "relay of its own chain", "checker of its own chain",
                                    "builder of its own chain", "operation's target", "DOM implementation",
                                    "parser's builder", "parser's reader", "parser's checker",
                                    "iterator or walker it filters for", "resource resolver",
                                    "document types"};
// The parts of a chain a script step puts together itself: reader, relay, checker, builder.
constexpr int kChainParts = 4;

// A handler written to the handler interface alone: it passes the signals
// on to the next part of its chain (a slot the actor empties when it frees
// the part) and tells no document it builds.
struct Relay : TXmlCustomHandler {
  TComponent** next = nullptr;
  void ProcessSignal(TXmlSignal* signal) override {
    if (*next != nullptr) static_cast<TXmlCustomHandler*>(*next)->ProcessSignal(signal);
  }
};

// The handler of every kind: at its call numbered `at` it acts on the node
// it is told about (an error without one: the element being read).
class Actor : public TObject, public TdomNodeFilter {
public:
  TDomImplementation* impl = nullptr;
  Action action = Action::FreeDocument;
  int at = -1;  // -1: only counts
  int calls = 0;
  bool acted = false;
  TdomDocument* freedDocument = nullptr;  // the document it freed, for the script to see
  TXmlToDomParser** parser = nullptr;     // the script's, which it may free and make anew
  std::function<void()> renewImplementation;  // frees the script's implementation and makes a new one
  TOwnedRef<TdomNode>* target = nullptr;  // of the operation under way, while it runs
  int watched = 0, deleted = 0;           // nodes with a deletion handler; their deletions heard
  TComponent* chain[kChainParts] = {};     // the hand-made chain while its step runs
  std::function<void()> freeTraversal;     // frees the traversal of the step under way
  std::function<void()> freeResolver;      // frees the acting resolver (and makes another)

  void Told(TdomNode* node, TdomNode* second = nullptr) {
    // Looks at what it is handed, as a real handler would.
    if (second != nullptr) EXPECT_NE(second->GetNodeType(), 0);
    // A document freed under a hold calls nobody until it goes.
    if (node != nullptr) {
      TdomDocument* doc = node->GetReferenceDocument();
      if (doc != nullptr) EXPECT_FALSE(doc->IsReleasePending()) << "a handler was called about a freed document";
    }
    if (calls++ != at) return;
    acted = true;
    try {
      switch (action) {
        case Action::FreeDocument: FreeDocumentOf(node); break;
        case Action::FreeNode: FreeNode(node); break;
        case Action::FreeParent:
          if (node == nullptr) break;
          FreeNode(node->GetNodeType() == ntAttribute_Node ? static_cast<TdomAttr*>(node)->GetOwnerElement()
                                                           : node->GetParentNode());
          break;
        case Action::FreeDocumentThenNode: FreeDocumentThenNode(node); break;
        case Action::FreeNodeAndRaise: FreeNode(node); break;
        case Action::FreeParser: RenewParser(); break;
        case Action::FreeSecondNode: FreeNode(second); break;
        case Action::FreeChainReader:
        case Action::FreeChainRelay:
        case Action::FreeChainChecker:
        case Action::FreeChainBuilder:
          if (TComponent*& part = chain[static_cast<int>(action) - static_cast<int>(Action::FreeChainReader)])
            std::exchange(part, nullptr)->Free();
          break;
        case Action::FreeTarget: FreeNode(target != nullptr ? target->Get() : nullptr); break;
        case Action::FreeImplementation: renewImplementation(); break;
        case Action::FreeParserBuilder: (*parser)->DomBuilder()->Free(); break;
        case Action::FreeParserReader: (*parser)->Reader()->Free(); break;
        case Action::FreeParserChecker: (*parser)->WFTestHandler()->Free(); break;
        case Action::FreeTraversal:
          if (freeTraversal) std::exchange(freeTraversal, nullptr)();
          break;
        case Action::FreeResolver: freeResolver(); break;
        case Action::FreeDocumentTypes:
          // One in use is refused; the others go.
          for (int i = impl->GetDocumentTypes()->GetLength(); i-- > 0;) {
            auto* doctype = static_cast<TdomDocumentType*>(impl->GetDocumentTypes()->Item(i));
            try {
              impl->FreeDocumentType(doctype);
            } catch (const Exception&) {
            }
          }
          break;
        case Action::Last: break;
      }
    } catch (const Exception&) {
      // A node going already refuses to be freed again: nothing changes.
    }
    if (action == Action::FreeNodeAndRaise) throw Exception("handler fault");
  }
  // Frees the parser and makes a new one that reads as the old did, so
  // that the rows after this one in a process count alike.
  void RenewParser() {
    TdomAutoPrepare prepare = (*parser)->AutoPrepare();
    (*parser)->Free();
    *parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
    (*parser)->SetDOMImpl(impl);
    (*parser)->SetAutoPrepare(prepare);
  }
  // The nodes of a freed document go with it: one freed now waits, a read into one is refused.
  void FreeDocumentThenNode(TdomNode* node) {
    TdomDocumentWatch probe(node != nullptr ? node->GetReferenceDocument() : nullptr, node);
    FreeDocumentOf(node);
    if (!probe.DocumentGone()) return;
    if (node->GetNodeType() != ntDocument_Node) node->Free();
    EXPECT_THROW((*parser)->ParseString("<x/>", u"", u"", node), EParserException) << "read into a freed document";
  }
  // The document being read when the error names no node.
  TdomNode* NodeOfError(TdomError* error) const {
    return error->GetRelatedNode() != nullptr ? error->GetRelatedNode() : OpenElement();
  }
  // The element being read (or the document, before its element).
  TdomNode* OpenElement() const {
    TdomNodeList* docs = impl->GetDocuments();
    if (docs->GetLength() == 0) return nullptr;
    TdomNode* open = docs->Item(docs->GetLength() - 1);
    // The element being read: the last one open, deepest down.
    while (TdomNode* last = open->GetLastChildNode()) {
      if (last->GetNodeType() != ntElement_Node) break;
      open = last;
    }
    return open;
  }
  void FreeDocumentOf(TdomNode* node) {
    if (node == nullptr) return;
    TdomDocument* doc = node->GetNodeType() == ntDocument_Node ? static_cast<TdomDocument*>(node)
                                                               : node->GetReferenceDocument();
    if (doc == nullptr || doc->IsGoing()) return;
    freedDocument = doc;
    // One of no implementation is freed through its base class.
    if (TObject* base = doc; doc->GetDomImplementation() == nullptr) return FreeAndNil(base);
    if (impl->OwnsDocument(doc)) impl->FreeDocument(doc);
  }
  void FreeNode(TdomNode* node) {
    if (node == nullptr) return;
    if (node->GetNodeType() == ntDocument_Node) return FreeDocumentOf(node);
    node->Free();
  }

  void Node(TObject*, TdomNode* node) { Told(node); }
  void Attr(TObject*, TdomNode* node, TdomAttrChange, TdomAttr* related) { Told(node, related); }
  void ImplError(TObject*, TdomError* error, bool&) { Told(NodeOfError(error)); }
  void ReaderError(TObject*, TdomError* error) { Told(NodeOfError(error)); }
  void UserData(TdomUserDataOperation operation, const std::u16string&, TdomUserData data, TdomNode* src,
                TdomNode* dst) {
    deleted += operation == NODE_DELETED;
    // An import is about the copy it made; the other node is the second.
    if (operation == NODE_IMPORTED) return Told(dst, src);
    Told(src != nullptr ? src : static_cast<TdomNode*>(data), dst);
  }
  void Deleted(TdomUserDataOperation operation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
    deleted += operation == NODE_DELETED;
  }
  TdomFilterResult acceptNode(TdomNode* node) override {
    Told(node);
    return FILTER_ACCEPT;
  }
  void Variable(TXPathExpression* expression, const std::u16string&, const std::u16string&,
                TdomXPathCustomResult*& value) {
    Told(expression != nullptr ? expression->ContextNode() : nullptr);
    if (value == nullptr) value = New<TdomXPathBooleanResult>(true);
  }
  void Function(const std::u16string&, const std::u16string&, TdomNode* contextNode, int, int, TList*,
                TdomXPathCustomResult*& value) {
    Told(contextNode);
    if (value == nullptr) value = New<TdomXPathBooleanResult>(true);
  }
};

// The listeners of the other events of a row: they only look at what they
// are handed, so that one handed a node the row's handler freed faults.
struct Looker {
  static void Look(TdomNode* node) {
    if (node != nullptr) EXPECT_FALSE(node->GetNodeName().empty());
  }
  void Node(TObject*, TdomNode* node) { Look(node); }
  void Attr(TObject*, TdomNode* node, TdomAttrChange, TdomAttr* related) {
    Look(node);
    Look(related);
  }
};

// A resolver that reads files and acts like the other handlers, told of
// the element being read; the actor may free it, so it touches itself no more.
class ActingResolver : public TFileResourceResolver {
public:
  Actor* actor = nullptr;
  TStream* ResolveResource(const std::u16string& baseURI, std::u16string& publicId,
                           std::u16string& systemId) override {
    std::unique_ptr<TStream> stream(TFileResourceResolver::ResolveResource(baseURI, publicId, systemId));
    Actor* told = actor;
    told->Told(told->OpenElement());
    return stream.release();
  }
};

class DeferredReleaseTest : public DtdTest {
protected:
  // The document of the script: entities, a DTD (internal and external),
  // defaulted and ID attributes, an undeclared entity (an error the read
  // goes on after) and an element the DTD does not declare (for validation).
  const std::string kText =
      "<?xml version='1.0'?><!DOCTYPE r SYSTEM 'ext.dtd' [<!ENTITY e '<i a=\"1\">x</i>y'>"
      "<!ATTLIST s d CDATA 'dv' id ID #IMPLIED>]>"
      "<r k='1'><s a='1' id='s1'>t&e;u<![CDATA[c]]>v<!--m--><?p q?></s><s>&e;&amp;w&nope;</s><z/></r>";
  const std::string kExternal = "<!ELEMENT r (s)*><!ELEMENT s ANY><!ELEMENT i (#PCDATA)><!ATTLIST r k CDATA #IMPLIED>";

  TdomDocument* doc = nullptr;  // the script's document, while it is there
  Actor* actor = nullptr;
  Looker looker;
  ActingResolver* actingResolver = nullptr;

  bool There() const { return doc != nullptr && impl->OwnsDocument(doc); }
  TdomElement* Root() const { return There() ? doc->GetDocumentElement() : nullptr; }
  // The child element at index of the root; -1: the root.
  TdomElement* Child(int index) const {
    TdomElement* root = Root();
    if (root == nullptr || index < 0) return root;
    TdomElement* child = root->FindFirstChildElement();
    while (child != nullptr && index-- > 0) child = child->FindNextSiblingElement();
    return child;
  }

  // Binds the actor to event (the document-level ones on doc, once there is
  // one), the looker to the other listeners.
  void Bind(Event event) {
    BindLookers(impl);
    if (event >= Event::ImplNodeInserted && event <= Event::ImplAttrModified)
      return BindListener(impl, static_cast<int>(event) - static_cast<int>(Event::ImplNodeInserted));
    switch (event) {
      case Event::ImplError: impl->OnError = MakeEvent<&Actor::ImplError>(actor); break;
      case Event::ReaderError: parser->Reader()->OnError = MakeEvent<&Actor::ReaderError>(actor); break;
      case Event::XPathVariable: impl->OnRequestXPathVariable = MakeEvent<&Actor::Variable>(actor); break;
      case Event::XPathFunction: impl->OnRequestXPathFunctionResult = MakeEvent<&Actor::Function>(actor); break;
      case Event::Resolver: impl->SetResourceResolver(actingResolver); break;
      default: break;
    }
  }
  void BindToDocument(Event event, TdomDocument* target) {
    BindLookers(target);
    if (event <= Event::DocAttrModified) BindListener(target, static_cast<int>(event));
    if (event == Event::UserData) WatchDeletions(target, MakeEvent<&Actor::UserData>(actor));
  }
  // The other listeners read the nodes they are handed.
  template <class Target>
  void BindLookers(Target* target) {
    target->OnNodeInserted = MakeEvent<&Looker::Node>(&looker);
    target->OnNodeRemoving = MakeEvent<&Looker::Node>(&looker);
    target->OnNodeClearing = MakeEvent<&Looker::Node>(&looker);
    target->OnCharacterDataModified = MakeEvent<&Looker::Node>(&looker);
    target->OnAttrModified = MakeEvent<&Looker::Attr>(&looker);
  }
  // The listeners the document and the implementation both have, in the order of Event.
  template <class Target>
  void BindListener(Target* target, int which) {
    switch (which) {
      case 0: target->OnNodeInserted = MakeEvent<&Actor::Node>(actor); break;
      case 1: target->OnNodeRemoving = MakeEvent<&Actor::Node>(actor); break;
      case 2: target->OnNodeClearing = MakeEvent<&Actor::Node>(actor); break;
      case 3: target->OnCharacterDataModified = MakeEvent<&Actor::Node>(actor); break;
      case 4: target->OnAttrModified = MakeEvent<&Actor::Attr>(actor); break;
    }
  }
  // Every element and text of target carries handler; the data is the node itself.
  void WatchDeletions(TdomDocument* target, const TdomUserDataEvent& handler) {
    std::vector<TdomNode*> nodes{target};
    for (size_t i = 0; i < nodes.size(); ++i) {
      TdomNode* node = nodes[i];
      node->setUserData(u"k", node, handler);
      ++actor->watched;
      for (TdomNode* c = node->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) nodes.push_back(c);
    }
  }

  // One read; a read whose document the actor freed must raise.
  TdomDocument* Read(const std::string& text) {
    actor->freedDocument = nullptr;
    std::unique_ptr<TStringStream> stream(New<TStringStream>(text));
    int before = impl->GetDocuments()->GetLength();
    TDomImplementation* readBy = impl;  // a handler may free it and make another
    try {
      auto* read = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", Uri("doc.xml"), nullptr));
      EXPECT_TRUE(actor->freedDocument == nullptr || actor->freedDocument != read)
          << "the read returned the document a handler freed";
      EXPECT_TRUE(impl->OwnsDocument(read)) << "the read returned a document its implementation does not hold";
      return read;
    } catch (const Exception&) {
      if (impl == readBy) EXPECT_EQ(impl->GetDocuments()->GetLength(), before) << "a failed read left its document behind";
      return nullptr;
    }
  }

  // The script: each step finds its nodes afresh, and after each call that
  // may run a handler looks again (There(), a TOwnedRef) before it goes on.
  // The operation's target while a step runs it; the actor may free it.
  struct Target {
    Target(Actor* actor_, TdomNode* node) : actor(actor_), ref(node) { actor->target = &ref; }
    ~Target() { actor->target = nullptr; }
    Actor* actor;
    TOwnedRef<TdomNode> ref;
  };
  std::vector<std::function<void(Event)>> Script() {
    auto onChild = [this](int child, auto op) {
      TdomElement* e = Child(child);
      Target target(actor, e);
      if (e != nullptr) op(e);
    };
    // Appends what make gives (it may run handlers) to the child at index (-1: the root).
    auto appendMade = [this](int index, auto make) {
      if (!There()) return;
      TOwnedRef<TdomNode> made(make());
      TdomElement* parent = index < 0 ? Root() : Child(index);
      Target target(actor, parent);
      if (made && parent != nullptr) parent->appendChild(made.Get());
    };
    return {
        [this](Event event) {
          doc = Read(kText);
          if (There()) BindToDocument(event, doc);
        },
        // A fatal error late in the text; then errors the verdict lets pass, in a fragment.
        [this](Event) { Read("<q><w a='1'>x</w><w>y</q>"); },
        [this](Event) {
          if (TdomElement* s = Child(1)) {
            std::unique_ptr<TStringStream> stream(New<TStringStream>(std::string("<x a='1'>t</x>&nope;<y/>")));
            parser->ParseStream(stream.get(), u"", Uri("frag.xml"), s);
          }
        },
        // Parts read into elements: one whose declaration is refused, one through the resolver.
        [=](Event) {
          onChild(1, [this](TdomElement* s) { parser->ParseString("<?xml encoding='UTF-8'?><y/>", u"", u"", s); });
        },
        [=](Event) { onChild(0, [this](TdomElement* s) { parser->ParseUri(u"", Uri("part.xml"), s); }); },
        // A fatal error the verdicts let pass: the unfinished document is freed before the next read.
        [this](Event) {
          recorder->goOn = true;
          TdomDocument* passed = Read("<a>");
          recorder->goOn = false;
          if (passed != nullptr && impl->OwnsDocument(passed)) impl->FreeDocument(passed);
          Read("<b/>");
        },
        [this](Event event) { ReadByOwnChain(event); },
        // A document of no implementation, its deletions counted whichever handler acts, freed through its base.
        [this](Event event) {
          auto* alone = New<TdomDocument>(static_cast<TDomImplementation*>(nullptr), nullptr);
          TOwnedRef<TdomDocument> there(alone);
          TdomElement* root = alone->CreateDocumentElement(u"r");
          root->appendChild(alone->createElement(u"a"))->appendChild(alone->createTextNode(u"t"));
          BindToDocument(event, alone);
          if (event != Event::UserData) WatchDeletions(alone, MakeEvent<&Actor::Deleted>(actor));
          try {
            if (there) root->removeChild(root->GetFirstChildNode());
          } catch (const Exception&) {
          }
          if (there) static_cast<TObject*>(alone)->Free();
        },
        [=](Event) { onChild(0, [](TdomElement* e) { SetAndCheck(e, u"v"); }); },
        [=](Event) { onChild(0, [](TdomElement* e) { SetAndCheck(e, u"w"); }); },
        [=](Event) { onChild(0, [](TdomElement* e) { e->removeAttribute(u"n"); }); },
        [=](Event) {
          onChild(0, [](TdomElement* e) {
            if (TdomNode* t = e->GetFirstChildNode(); t != nullptr && t->GetNodeType() == ntText_Node)
              static_cast<TdomText*>(t)->appendData(u"+");
          });
        },
        [=](Event) { appendMade(-1, [this] { return doc->createTextNode(u"tail"); }); },
        [this](Event) {
          Target target(actor, Root());
          if (TdomElement* s = Child(0)) {
            TOwnedRef<TdomNode> before(s);
            TOwnedRef<TdomNode> added(Returned(Root()->insertBefore(doc->createElement(u"n"), s)));
            // Whatever a handler freed, what is left stands where it was put.
            if (added && before && There()) EXPECT_EQ(added->GetNextSiblingNode(), before.Get()) << "not inserted before";
          }
        },
        [this](Event) {
          if (!There()) return;
          TOwnedRef<TdomNode> comment(doc->createComment(u"was z"));
          TdomElement* z = Child(3);
          Target target(actor, Root());
          if (comment && z != nullptr) {
            Returned(Root()->replaceChild(comment.Get(), z));
            if (comment && There()) EXPECT_EQ(comment->GetParentNode(), Root()) << "not put in the place of z";
          }
        },
        [this](Event) {
          Target target(actor, Root());
          if (TdomElement* n = Child(0)) {
            TOwnedRef<TdomNode> removed(Returned(Root()->removeChild(n)));
            if (removed) EXPECT_EQ(removed->GetParentNode(), nullptr) << "not removed";
          }
        },
        // Values set on an attribute and on a text, an attribute node put on and taken off.
        [=](Event) { onChild(0, [](TdomElement* s) { SetValueAndCheck(s->getAttributeNode(u"a"), u"sv"); }); },
        [=](Event) { onChild(0, [](TdomElement* s) { SetValueAndCheck(s->GetFirstChildNode(), u"tv"); }); },
        [=](Event) { onChild(0, [this](TdomElement* s) { PutAttributeNode(s, u"an"); }); },
        [=](Event) { onChild(0, [this](TdomElement* s) { PutAttributeNode(s, u"a"); }); },
        [=](Event) {
          onChild(0, [](TdomElement* s) {
            TOwnedRef<TdomElement> e(s);
            TOwnedRef<TdomAttr> attr(s->getAttributeNode(u"an"));
            if (!attr) return;
            TOwnedRef<TdomAttr> removed(e->removeAttributeNode(attr.Get()));
            if (removed) EXPECT_EQ(removed->GetOwnerElement(), nullptr) << "the attribute node is still attached";
            if (e) EXPECT_FALSE(e->hasAttribute(u"an")) << "the attribute node was not removed";
          });
        },
        // Fragments of three children put before the first element, and in the place of the last node.
        [this](Event) { FragmentInto(/*replace=*/false); },
        [this](Event) { FragmentInto(/*replace=*/true); },
        // Elements with attributes freed, in a fragment and by themselves.
        [this](Event) {
          if (!There()) return;
          TOwnedRef<TdomDocumentFragment> fragment(doc->createDocumentFragment());
          for (int i = 0; i < 2 && There() && fragment; ++i) {
            TOwnedRef<TdomElement> e(doc->createElement(u"f"));
            e->setAttribute(u"a", u"1");
            if (e && fragment) fragment->appendChild(e.Get());
          }
          if (fragment) fragment->Free();
        },
        [this](Event) {
          if (!There()) return;
          TOwnedRef<TdomDocumentFragment> fragment(doc->createDocumentFragment());
          fragment->appendChild(doc->createElement(u"g"));
          TdomElement* s = Child(0);
          if (fragment && s != nullptr) s->appendChild(fragment.Get());
        },
        [=](Event) { onChild(1, [](TdomElement* s) { s->Free(); }); },
        [=](Event) { appendMade(0, [this] { return doc->createTextNode(u"a"); }); },
        [=](Event) { appendMade(0, [this] { return doc->createTextNode(u"b"); }); },
        [=](Event) {
          onChild(-1, [this](TdomElement* root) {
            root->normalize();
            if (There() && Root() == root) EXPECT_TRUE(Normalized(root)) << "texts left side by side";
          });
        },
        // Import from a second document, whose nodes carry handlers too; a clone.
        [this](Event event) {
          if (!There()) return;
          TdomDocument* other = impl->CreateDocumentNoNS(u"o", nullptr);
          auto otherThere = [&] { return impl->OwnsDocument(other) && other->GetDocumentElement() != nullptr; };
          if (otherThere()) other->GetDocumentElement()->setAttribute(u"a", u"1");
          TOwnedRef<TdomNode> text(otherThere() ? other->createTextNode(u"ot") : nullptr);
          if (text && otherThere()) other->GetDocumentElement()->appendChild(text.Get());
          if (otherThere()) BindToDocument(event, other);
          Target target(actor, otherThere() ? other->GetDocumentElement() : nullptr);
          if (There() && otherThere()) {
            TOwnedRef<TdomNode> copy(Returned(doc->importNode(other->GetDocumentElement(), /*deep=*/true)));
            if (copy && There()) {
              EXPECT_EQ(copy->GetOwnerDocument(), doc) << "imported into another document";
              EXPECT_EQ(copy->GetNodeName(), u"o");
            }
          }
          if (impl->OwnsDocument(other)) impl->FreeDocument(other);
        },
        [=](Event) { onChild(0, [this](TdomElement* s) { Returned(s->cloneNode(/*deep=*/true)); }); },
        // Traversals whose filter may free them: what a step returns is alive.
        [this](Event) {
          if (!There()) return;
          TdomNodeIterator* iterator = doc->createNodeIterator(doc, kShowAll, actor, true);
          bool freed = false;
          actor->freeTraversal = [&] {
            freed = true;
            iterator->detach();
            doc->ClearInvalidNodeIterators();
          };
          while (There() && !freed && Returned(iterator->nextNode()) != nullptr) {}
        },
        [this](Event) {
          if (!There()) return;
          TdomTreeWalker* walker = doc->createTreeWalker(doc, kShowAll, actor, true);
          actor->freeTraversal = [&] { doc->FreeTreeWalker(walker); };
          while (There() && walker != nullptr && Returned(walker->nextNode()) != nullptr) {}
          while (There() && walker != nullptr && Returned(walker->parentNode()) != nullptr) {}
          if (There()) doc->FreeTreeWalker(walker);
        },
        [this](Event) {
          for (int i = 0; i < 3; ++i) {
            if (TdomElement* s = Child(i)) s->EvaluateToBoolean(u"f() and $v");
          }
        },
        [=](Event) { onChild(-1, [this](TdomElement* root) { Returned(root->EvaluateToNode(u"//*[f()][$v]")); }); },
        // A number and a string: right whenever their context survived (a request no handler answers
        // gives NaN; so does an evaluation a handler cut short by freeing a node it reads).
        [=](Event event) {
          if (event != Event::XPathFunction && event != Event::XPathVariable) return;
          onChild(-1, [this, event](TdomElement* root) {
            TOwnedRef<TdomElement> e(root);
            double before = root->EvaluateToNumber(u"count(*)");
            double n = root->EvaluateToNumber(event == Event::XPathFunction ? u"count(*[f()])" : u"count(*[$v])");
            double after = e ? e->EvaluateToNumber(u"count(*)") : n;
            if (!actor->acted) EXPECT_EQ(n, before);
            EXPECT_TRUE((actor->acted && std::isnan(n)) || (n <= before && n >= after)) << n << " of " << before << " children, " << after << " left";
          });
        },
        [=](Event event) {
          if (event != Event::XPathFunction && event != Event::XPathVariable) return;
          onChild(0, [event](TdomElement* s) {
            TOwnedRef<TdomElement> e(s);
            std::u16string value =
                s->EvaluateToWideString(event == Event::XPathFunction ? u"concat(name(), f())" : u"concat(name(), $v)");
            if (e && !e->IsGoing()) EXPECT_EQ(value, e->GetNodeName() + u"true");
          });
        },
        // A namespace document made with a type of its own.
        [this](Event) {
          TDomImplementation* by = impl;
          TdomDocumentType* doctype = impl->createDocumentType(u"p:r", u"", u"");
          TdomDocument* made = impl->createDocument(u"urn:q", u"p:r", doctype);
          if (impl != by || !impl->OwnsDocument(made)) return;
          if (TdomElement* root = made->GetDocumentElement()) EXPECT_EQ(root->GetNamespaceURI(), u"urn:q");
          EXPECT_EQ(made->GetDoctype(), doctype);
          impl->FreeDocument(made);
          EXPECT_FALSE(impl->OwnsDocumentType(doctype)) << "the type left behind its document";
        },
        [this](Event) {
          if (There()) doc->validate(/*keepUnchanged=*/false);
        },
        [=](Event) { onChild(0, [](TdomElement* s) { s->Clear(); }); },
        [this](Event) {
          if (There()) impl->FreeDocument(doc);
        },
        [this](Event event) { ReadAndClear(event); },
    };
  }
  // The document read again (no act counts there), then everything the implementation holds freed at once.
  void ReadAndClear(Event event) {
    int at = std::exchange(actor->at, -1), calls = actor->calls;
    Script().front()(event);
    actor->at = at;
    actor->calls = calls;
    impl->Clear();
  }

  // A read through a reader, a relay, a checker and a builder put together here, past
  // errors the verdicts let pass; whichever part a handler frees goes after
  // the read (when the step frees the rest).
  void ReadByOwnChain(Event event) {
    chainCalls.first = actor->calls;
    chainStep = step;
    // On pages of their own, which their release makes inaccessible: a
    // touch of one of them freed faults however many rows ran before.
    SetObjectFencing(std::min({sizeof(TXmlStandardDocReader), sizeof(TXmlWFTestHandler), sizeof(TXmlDomBuilder)}));
    auto* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
    auto* relay = New<Relay>(static_cast<TComponent*>(nullptr));
    auto* checker = New<TXmlWFTestHandler>(static_cast<TComponent*>(nullptr));
    auto* builder = New<TXmlDomBuilder>(static_cast<TComponent*>(nullptr));
    SetObjectFencing(0);
    actor->chain[0] = reader;
    actor->chain[1] = relay;
    actor->chain[2] = checker;
    actor->chain[3] = builder;
    TdomDocument* target = impl->CreateEmptyDocument();
    struct Done {
      DeferredReleaseTest* test;
      TdomDocument* target;
      ~Done() {
        test->recorder->goOn = false;
        for (TComponent*& part : test->actor->chain) {
          if (part != nullptr) std::exchange(part, nullptr)->Free();
        }
        if (test->impl->OwnsDocument(target)) test->impl->FreeDocument(target);
        test->chainCalls.second = test->actor->calls;
      }
    } done{this, target};
    reader->SetDOMImpl(impl);
    reader->SetNextHandler(relay);
    relay->next = &actor->chain[2];
    checker->SetNextHandler(builder);
    builder->SetReferenceNode(target);
    if (event == Event::ReaderError) reader->OnError = MakeEvent<&Actor::ReaderError>(actor);
    BindToDocument(event, target);
    recorder->goOn = true;
    std::unique_ptr<TStringStream> stream(New<TStringStream>(std::string("<a k='1'>t<b>u</a><c/>")));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), Uri("own.xml"), 4096,
                                                                 std::u16string(u"UTF-8"), false, int64_t(0),
                                                                 int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    reader->ParseDocument(source.get());
    // A read that ended lets go of its document by itself: a chain made by
    // hand has no parser to end the read for it. (A chain broken meanwhile
    // never told the builder that the read ended.)
    if (std::all_of(std::begin(actor->chain), std::end(actor->chain), [](TComponent* c) { return c != nullptr; })) {
      EXPECT_EQ(builder->TargetDocument(), nullptr) << "the builder holds its document past the read";
    }
  }
  std::pair<int, int> chainCalls;  // the calls [first, second) made while the own chain read
  int step = -1, chainStep = -1;   // the step running, and the own chain's

  qvtable::TRows Table();

  // A node an operation returns is alive, and so is its document.
  static TdomNode* Returned(TdomNode* node) {
    if (node == nullptr) return node;
    TdomDocument* owner = node->GetReferenceDocument();
    EXPECT_FALSE(node->IsGoing() || (owner != nullptr && owner->IsGoing())) << "an operation returned what goes";
    return node;
  }
  // An attribute set is there with its value, unless a handler freed it.
  static void SetAndCheck(TdomElement* e, const char16_t* value) {
    TOwnedRef<TdomElement> element(e);
    e->setAttribute(u"n", value);
    if (element && !element->IsGoing() && element->hasAttribute(u"n")) EXPECT_EQ(element->getAttribute(u"n"), value);
  }
  // A value set on node (an attribute or a text) is there, unless a handler freed node.
  static void SetValueAndCheck(TdomNode* node, const char16_t* value) {
    if (node == nullptr || (node->GetNodeType() != ntText_Node && node->GetNodeType() != ntAttribute_Node)) return;
    TOwnedRef<TdomNode> there(node);
    node->SetNodeValue(value);
    if (there && !there->IsGoing()) EXPECT_EQ(there->GetNodeValue(), value) << "the value was not set";
  }
  // A new attribute node named name put on e (in the place of one there):
  // attached with its value, the one it replaced detached.
  void PutAttributeNode(TdomElement* e, const char16_t* name) {
    TOwnedRef<TdomElement> element(e);
    TOwnedRef<TdomAttr> attr(doc->createAttribute(name));
    attr->SetNodeValue(u"put");
    TOwnedRef<TdomAttr> old(element && attr ? static_cast<TdomAttr*>(Returned(e->setAttributeNode(attr.Get()))) : nullptr);
    if (old) EXPECT_EQ(old->GetOwnerElement(), nullptr) << "the attribute node replaced is still attached";
    if (element && attr && There()) {
      EXPECT_EQ(attr->GetOwnerElement(), element.Get()) << "the attribute node is not attached";
      EXPECT_EQ(element->getAttribute(name), u"put");
    }
  }
  // Three elements in a fragment put before the first element of the root,
  // or in the place of its last node; those a handler left stand in order there.
  void FragmentInto(bool replace) {
    if (!There()) return;
    TOwnedRef<TdomDocumentFragment> fragment(doc->createDocumentFragment());
    TOwnedRef<TdomNode> parts[] = {TOwnedRef<TdomNode>(doc->createElement(u"f1")),
                                   TOwnedRef<TdomNode>(doc->createElement(u"f2")),
                                   TOwnedRef<TdomNode>(doc->createElement(u"f3"))};
    for (TOwnedRef<TdomNode>& part : parts) {
      if (There() && fragment && part) fragment->appendChild(part.Get());
    }
    TOwnedRef<TdomElement> root(Root());
    TOwnedRef<TdomNode> reference(!root ? nullptr : replace ? root->GetLastChildNode() : Child(0));
    if (!fragment || !reference) return;
    // The target a handler may free halfway: the node the fragment goes before or replaces.
    Target target(actor, reference.Get());
    TOwnedRef<TdomNode> end(replace ? reference->GetNextSiblingNode() : reference.Get());
    bool wasLast = !end;
    if (replace) {
      root->replaceChild(fragment.Get(), reference.Get());
    } else {
      root->insertBefore(fragment.Get(), reference.Get());
    }
    if (!root || !There()) return;
    TdomNode* last = nullptr;
    for (TOwnedRef<TdomNode>& part : parts) {
      if (!part || part->GetParentNode() != root.Get()) continue;
      if (last != nullptr) EXPECT_EQ(last->GetNextSiblingNode(), part.Get()) << "the fragment's children out of order";
      last = part.Get();
    }
    if (!actor->acted) EXPECT_NE(last, nullptr) << "the fragment's children did not go in";
    if (last == nullptr) return;
    if (wasLast || end) EXPECT_EQ(last->GetNextSiblingNode(), end.Get()) << "not where the reference stood";
    if (replace && reference) EXPECT_NE(reference->GetParentNode(), root.Get()) << "the node replaced is still there";
  }
  // No two texts stand side by side, and none is empty, anywhere below node.
  static bool Normalized(TdomNode* node) {
    for (TdomNode* c = node->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
      bool text = c->GetNodeType() == ntText_Node;
      TdomNode* next = c->GetNextSiblingNode();
      if (text && (c->GetNodeValue().empty() || (next != nullptr && next->GetNodeType() == ntText_Node))) return false;
      if (!Normalized(c)) return false;
    }
    return true;
  }

  // Runs the script with the actor on event, acting at its call at counted
  // from the start of step (the operation); how often it was called in each step.
  std::vector<int> Run(Event event, Action action, int operation, int at) {
    actor->impl = impl;
    actor->action = action;
    actor->at = -1;
    actor->calls = 0;
    actor->acted = false;
    actor->watched = actor->deleted = 0;
    doc = nullptr;
    Bind(event);
    std::vector<std::function<void(Event)>> script = Script();
    std::vector<int> calls;
    for (int i = 0; i < int(script.size()) && !HasFailure(); ++i) {
      qvtable::SetRowStep("step " + std::to_string(i + 1));
      this->step = i;
      actor->calls = 0;
      actor->at = i == operation ? at : -1;
      actor->freedDocument = nullptr;
      try {
        script[i](event);
      } catch (const Exception&) {
        // A refusal, or a read that stopped: the script goes on with what is there.
      }
      actor->freeTraversal = nullptr;
      calls.push_back(actor->calls);
      // What the operation's handler freed is gone once it returned.
      if (actor->freedDocument != nullptr) EXPECT_FALSE(impl->OwnsDocument(actor->freedDocument));
    }
    // What is left is whole.
    TdomNodeList* docs = impl->GetDocuments();
    for (int i = 0; i < docs->GetLength(); ++i) EXPECT_TRUE(Sound(docs->Item(i)));
    impl->Clear();
    EXPECT_EQ(actor->deleted, actor->watched) << "every node with a deletion handler is told once that it went";
    impl->OnNodeInserted = nullptr;
    impl->OnNodeRemoving = nullptr;
    impl->OnNodeClearing = nullptr;
    impl->OnCharacterDataModified = nullptr;
    impl->OnAttrModified = nullptr;
    impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
    parser->Reader()->OnError = nullptr;
    impl->OnRequestXPathVariable = nullptr;
    impl->OnRequestXPathFunctionResult = nullptr;
    impl->SetResourceResolver(resolver);
    // A parser whose builder a handler freed reads no more: the next row gets a whole one.
    if (parser->DomBuilder()->Going() || parser->Reader()->Going() || parser->WFTestHandler()->Going())
      actor->RenewParser();
    return calls;
  }

  void SetUp() override {
    DtdTest::SetUp();
    WriteFile("ext.dtd", kExternal);
    actor = New<Actor>();
    actingResolver = New<ActingResolver>(static_cast<TComponent*>(nullptr));
    actingResolver->actor = actor;
    actor->parser = &parser;
    actor->freeResolver = [this] {
      actingResolver->Free();
      actingResolver = New<ActingResolver>(static_cast<TComponent*>(nullptr));
      actingResolver->actor = actor;
    };
    actor->renewImplementation = [this] {
      TDomImplementation* old = std::exchange(impl, New<TDomImplementation>(static_cast<TComponent*>(nullptr)));
      actor->impl = impl;
      parser->SetDOMImpl(impl);
      impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
      impl->SetResourceResolver(resolver);
      old->Free();
    };
    WriteFile("part.xml", "<p a='1'>x<i/></p>");
  }
  void TearDown() override {
    impl->SetResourceResolver(resolver);
    actingResolver->Free();
    actor->Free();
    DtdTest::TearDown();
  }
};

// The table: a dry run of each event counts its calls in each operation,
// the k of its rows; a row of the table's is an operation and an event.
struct OperationEvent {
  int step;
  Event event;
  std::pair<int, int> chainCalls;  // of the event's dry run
};
std::vector<OperationEvent> operationEvents;

qvtable::TRows DeferredReleaseTest::Table() {
  operationEvents.clear();
  qvtable::TRows rows({}, {std::begin(kActionNames), std::end(kActionNames)}, {});
  for (int e = 0; e < static_cast<int>(Event::Last); ++e) {
    std::vector<int> calls = Run(static_cast<Event>(e), Action::FreeDocument, -1, -1);
    EXPECT_GT(std::accumulate(calls.begin(), calls.end(), 0), 0) << kEventNames[e] << " is never called by the script";
    for (int step = 0; step < int(calls.size()); ++step) {
      if (calls[step] == 0) continue;
      operationEvents.push_back({step, static_cast<Event>(e), step == chainStep ? chainCalls : std::pair(0, 0)});
      std::vector<int> ks(calls[step]);
      std::iota(ks.begin(), ks.end(), 1);
      rows.AddEvent("step " + std::to_string(step + 1) + ": " + kEventNames[e], ks);
    }
  }
  return rows;
}

// The rows run in child processes (see RowProcesses.h), each the test again.
TEST_F(DeferredReleaseTest, EveryHandlerFreeingAtEveryCall) {
  qvtable::TRows rows = Table();
  bool child = qvtable::RunOwnRows(rows, [&](int index) {
    const qvtable::TRow& row = rows.all[index];
    const OperationEvent& at = operationEvents[row.event];
    Run(at.event, static_cast<Action>(row.action), at.step, row.k - 1);
    return std::string();
  });
  if (child) return;
  // CI takes the first, second and last call of each operation; of the
  // rows that free a part of the own chain those whose call is made while
  // it reads, second nodes of the notices that carry one, traversals freed
  // by their filters and the resolver by itself.
  std::vector<int> last(rows.events.size());
  for (const qvtable::TRow& row : rows.all) last[row.event] = std::max(last[row.event], row.k);
  std::vector<int> chosen = rows.Chosen(0, 0, [&](const qvtable::TRow& row) {
    auto action = static_cast<Action>(row.action);
    const OperationEvent& at = operationEvents[row.event];
    if (action >= Action::FreeChainReader && action <= Action::FreeChainBuilder) {
      auto [first, end] = at.chainCalls;
      if (row.k <= first || row.k > end) return false;
    }
    if (action == Action::FreeSecondNode && at.event != Event::DocAttrModified &&
        at.event != Event::ImplAttrModified && at.event != Event::UserData)
      return false;
    // A traversal is freed by its own filter, a resolver in its own call.
    if ((action == Action::FreeTraversal && at.event != Event::NodeFilter) ||
        (action == Action::FreeResolver && at.event != Event::Resolver))
      return false;
    return row.k <= 2 || row.k == last[row.event];
  });
  qvtable::RunRowsInChildren(chosen, /*chunk=*/1000);
  std::printf("deferred release: %zu operation-events, %zu rows\n", rows.events.size(), chosen.size());
}

}  // namespace
