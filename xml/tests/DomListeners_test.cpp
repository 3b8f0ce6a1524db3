// The tree under listeners that change it: a listener told that a node is
// being removed, was inserted or had its text changed may remove, insert,
// move or free nodes, and the operation that told it goes on only with what
// is still there, or refuses with the DOM's own error. Single cases first,
// then random operations checked against a model in RandomListenerEdits_test.
#include <functional>
#include <string>
#include <utility>

#include "DomTestSupport.h"

namespace {

// Runs a test's action from the document's notices; the action's own
// changes report too, but reach no action.
struct Meddler {
  std::function<void(TdomNode*)> onRemoving;
  std::function<void(TdomNode*)> onInserted;
  std::function<void(TdomNode*)> onData;
  bool busy = false;

  void Run(const std::function<void(TdomNode*)>& action, TdomNode* node) {
    if (!action || busy) return;
    busy = true;
    action(node);
    busy = false;
  }
  void Removing(TObject*, TdomNode* node) { Run(onRemoving, node); }
  void Inserted(TObject*, TdomNode* node) { Run(onInserted, node); }
  void Data(TObject*, TdomNode* node) { Run(onData, node); }
  void Attach(TdomDocument* doc) {
    doc->OnNodeRemoving = MakeEvent<&Meddler::Removing>(this);
    doc->OnNodeInserted = MakeEvent<&Meddler::Inserted>(this);
    doc->OnCharacterDataModified = MakeEvent<&Meddler::Data>(this);
  }
};

class DomListenersTest : public DomTest {
protected:
  void SetUp() override {
    DomTest::SetUp();
    meddler.Attach(doc);
    root = Add(doc, Elem(u"root"));
    a = Add(root, Elem(u"a"));
    b = Add(root, Elem(u"b"));
    c = Add(root, Elem(u"c"));
  }

  Meddler meddler;
  TdomElement* root = nullptr;
  TdomElement* a = nullptr;
  TdomElement* b = nullptr;
  TdomElement* c = nullptr;
};

TEST_F(DomListenersTest, ReplaceChildTakesThePlaceAsItIsAfterTheRemovalNotice) {
  TdomElement* x = Elem(u"x");
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == a) root->removeChild(b);
  };
  EXPECT_EQ(root->replaceChild(x, a), a);
  EXPECT_EQ(ChildNames(root), u"x,c");
  EXPECT_EQ(b->GetParentNode(), nullptr);
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, ReplaceChildWhileTheNextSiblingMovesElsewhere) {
  TdomElement* y = Add(root, Elem(u"y"));
  TdomElement* x = Elem(u"x");
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == a) y->appendChild(b);
  };
  root->replaceChild(x, a);
  EXPECT_EQ(ChildNames(root), u"x,c,y");
  EXPECT_EQ(ChildNames(y), u"b");
  EXPECT_EQ(x->GetParentNode(), root);
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, ReplaceChildRefusesWhatTheListenerMadeImpossible) {
  TdomElement* x = Elem(u"x");
  // The old child taken away: there is no place left.
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == a) root->removeChild(a);
  };
  EXPECT_DOM_ERROR(root->replaceChild(x, a), ENot_Found_Err, "Node not found.");
  EXPECT_EQ(ChildNames(root), u"b,c");
  EXPECT_EQ(x->GetParentNode(), nullptr);

  // This node moved below the new one: linking would make a cycle.
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == b) x->appendChild(root);
  };
  EXPECT_DOM_ERROR(root->replaceChild(x, b), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_EQ(root->GetParentNode(), x);
  EXPECT_EQ(x->GetParentNode(), nullptr);
  EXPECT_EQ(ChildNames(root), u"b,c");
  EXPECT_TRUE(Sound(x));
  EXPECT_TRUE(Sound(doc));

  // The new child put back somewhere while it left its old parent.
  TdomElement* z = Add(c, Elem(u"z"));
  TdomElement* w = Elem(u"w");
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == z) w->appendChild(z);
  };
  EXPECT_DOM_ERROR(root->replaceChild(z, b), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_EQ(z->GetParentNode(), w);
  EXPECT_EQ(ChildNames(root), u"b,c");
  EXPECT_TRUE(Sound(x));
  EXPECT_TRUE(Sound(w));
}

TEST_F(DomListenersTest, ReplaceAndRemoveStopWhenTheListenerFreesTheirNodes) {
  TdomElement* x = Elem(u"x");
  Add(root, Elem(u"d"));
  TdomElement* inner = Add(c, Elem(u"inner"));
  // The parent freed, with the old child: nothing is left to change.
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == inner) c->Free();
  };
  EXPECT_EQ(c->replaceChild(x, inner), nullptr);  // freed: nothing to return
  EXPECT_EQ(x->GetParentNode(), nullptr);
  EXPECT_EQ(ChildNames(root), u"a,b,d");
  // The node being removed freed.
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == b) b->Free();
  };
  root->removeChild(b);
  EXPECT_EQ(ChildNames(root), u"a,d");
  // The new child freed as it leaves its old parent.
  TdomElement* y = Add(a, Elem(u"y"));
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == y) y->Free();
  };
  EXPECT_DOM_ERROR(root->replaceChild(y, root->GetLastChildNode()), ENot_Supported_Err, "Node not specified.");
  EXPECT_EQ(ChildNames(root), u"a,d");
  EXPECT_EQ(ChildNames(a), u"");
  EXPECT_TRUE(Sound(doc));
  // A node that the listener moved while it was being removed stays where it was put.
  TdomNode* d = root->GetLastChildNode();
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == d) x->appendChild(d);
  };
  EXPECT_EQ(root->removeChild(d), d);
  EXPECT_EQ(d->GetParentNode(), x);
  EXPECT_EQ(ChildNames(root), u"a");
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, FragmentChildrenFindTheirPlaceAfterEachNotice) {
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  TdomElement* p = Add(frag, Elem(u"p"));
  Add(frag, Elem(u"q"));
  // The reference taken away after the first child went in.
  meddler.onInserted = [&](TdomNode* node) {
    if (node == p) root->removeChild(b);
  };
  EXPECT_DOM_ERROR(root->insertBefore(frag, b), ENot_Found_Err, "Node not found.");
  EXPECT_EQ(ChildNames(root), u"a,p,c");
  EXPECT_EQ(ChildNames(frag), u"q");
  EXPECT_TRUE(Sound(doc));

  // Appending goes on past any change that leaves the end where it is.
  TdomElement* r = Add(frag, Elem(u"r"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node->GetNodeName() == u"q") root->removeChild(a);
  };
  root->appendChild(frag);
  EXPECT_EQ(ChildNames(root), u"p,c,q,r");
  EXPECT_FALSE(frag->hasChildNodes());

  // This node moved into a later child of the fragment: a cycle is refused.
  TdomElement* s = Add(frag, Elem(u"s"));
  TdomElement* t = Add(frag, Elem(u"t"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == s) t->appendChild(root);
  };
  EXPECT_DOM_ERROR(c->appendChild(frag), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_EQ(root->GetParentNode(), t);
  EXPECT_EQ(t->GetParentNode(), frag);
  EXPECT_EQ(ChildNames(c), u"s");
  EXPECT_TRUE(Sound(frag));
  EXPECT_TRUE(Sound(doc));
  doc->appendChild(root);

  // The fragment freed, and this node freed: the move stops.
  TdomDocumentFragment* gone = doc->createDocumentFragment();
  TdomElement* first = Add(gone, Elem(u"first"));
  Add(gone, Elem(u"second"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == first) gone->Free();
  };
  EXPECT_EQ(root->insertBefore(gone, c), nullptr);  // freed: nothing to return
  EXPECT_EQ(ChildNames(root), u"p,first,c,q,r");
  TdomDocumentFragment* more = doc->createDocumentFragment();
  TdomElement* one = Add(more, Elem(u"one"));
  Add(more, Elem(u"two"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == one) c->Free();
  };
  c->appendChild(more);
  EXPECT_EQ(ChildNames(root), u"p,first,q,r");
  EXPECT_EQ(ChildNames(more), u"two");
  EXPECT_TRUE(Sound(doc));
  (void)r;
}

TEST_F(DomListenersTest, FragmentReplaceTakesThePlaceAsItIsAfterTheRemovalNotice) {
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  Add(frag, Elem(u"p"));
  Add(frag, Elem(u"q"));
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == a) root->removeChild(b);
  };
  EXPECT_EQ(root->replaceChild(frag, a), a);
  EXPECT_EQ(ChildNames(root), u"p,q,c");
  EXPECT_TRUE(Sound(doc));
  // The old child taken away by the listener: refused, the fragment kept whole.
  Add(frag, Elem(u"s"));
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == c) root->removeChild(c);
  };
  EXPECT_DOM_ERROR(root->replaceChild(frag, c), ENot_Found_Err, "Node not found.");
  EXPECT_EQ(ChildNames(root), u"p,q");
  EXPECT_EQ(ChildNames(frag), u"s");
}

TEST_F(DomListenersTest, DocumentRulesHoldAfterTheListenerAddsAnElement) {
  doc->removeChild(root);
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  TdomComment* note = Add(frag, doc->createComment(u"note"));
  Add(frag, Elem(u"second"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == note) doc->appendChild(root);
  };
  EXPECT_DOM_ERROR(doc->appendChild(frag), EHierarchy_Request_Err, "Hierarchy request error.");
  EXPECT_EQ(ChildNames(doc), u"#comment,root");
  // Replacing the comment by an element while a listener adds another.
  TdomElement* other = Elem(u"other");
  doc->removeChild(root);
  meddler.onInserted = nullptr;
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == note) doc->appendChild(root);
  };
  EXPECT_DOM_ERROR(doc->replaceChild(other, note), EHierarchy_Request_Err, "Hierarchy request error.");
  EXPECT_EQ(ChildNames(doc), u"#comment,root");
  EXPECT_EQ(other->GetParentNode(), nullptr);
}

TEST_F(DomListenersTest, NormalizeGoesOnWhenTheListenerDetachesWhatItWalks) {
  Add(a, Text(u"1"));
  Add(a, Text(u"2"));
  Add(c, Text(u"3"));
  Add(c, Text(u"4"));
  meddler.onData = [&](TdomNode*) {
    if (a->GetParentNode() == root) root->removeChild(a);
  };
  root->normalize();
  EXPECT_EQ(a->GetParentNode(), nullptr);
  ASSERT_EQ(a->GetChildCount(), 1);
  EXPECT_EQ(a->GetTextContent(), u"12");
  ASSERT_EQ(c->GetChildCount(), 1);
  EXPECT_EQ(c->GetTextContent(), u"34");
  EXPECT_TRUE(Sound(doc));

  // The element being normalised freed by the listener.
  Add(b, Text(u"5"));
  Add(b, Text(u"6"));
  Add(c, Text(u"7"));
  meddler.onData = [&](TdomNode* node) {
    if (node->GetParentNode() == b) b->Free();
  };
  root->normalize();
  EXPECT_EQ(ChildNames(root), u"c");
  EXPECT_EQ(c->GetTextContent(), u"347");
  EXPECT_EQ(c->GetChildCount(), 1);
}

TEST_F(DomListenersTest, NormalizeLosesNoTextToListenersOrHandlers) {
  TdomText* t1 = Add(a, Text(u"one"));
  TdomText* t2 = Add(a, Text(u"two"));
  TdomText* t3 = Add(a, Text(u"three"));
  // A removal listener that takes a later node of the run away.
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == t2) a->removeChild(t3);
  };
  a->normalize();
  EXPECT_EQ(a->GetTextContent(), u"onetwothree");
  EXPECT_EQ(a->GetChildCount(), 1);
  EXPECT_EQ(a->GetFirstChildNode(), t1);

  // A deletion handler of a merged node that takes the next one away:
  // that one keeps its own text.
  TdomText* u2 = Add(b, Text(u"two"));
  Add(b, Text(u"-"));
  TdomText* u3 = Add(b, Text(u"three"));
  Add(b, Text(u"four"));
  b->insertBefore(Text(u"one"), u2);
  struct Taker {
    TdomElement* from;
    TdomNode* node;
    void Deleted(TdomUserDataOperation operation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
      if (operation == NODE_DELETED) from->removeChild(node);
    }
  } taker{b, u3};
  u2->setUserData(u"k", &taker, MakeEvent<&Taker::Deleted>(&taker));
  b->normalize();
  EXPECT_EQ(b->GetTextContent(), u"onetwo-four");
  EXPECT_EQ(b->GetChildCount(), 1);
  EXPECT_EQ(u3->GetParentNode(), nullptr);
  EXPECT_EQ(u3->GetData(), u"three");
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, SplitTextUsesTheTreeAsTheListenerLeftIt) {
  TdomText* text = Add(b, Text(u"abcd"));
  Add(b, Elem(u"after"));
  // The report of the cut moves the text node elsewhere: the new node follows it there.
  meddler.onData = [&](TdomNode* node) {
    if (node == text) c->appendChild(text);
  };
  TdomText* tail = text->splitText(2);
  EXPECT_EQ(ChildNames(c), u"#text,#text");
  EXPECT_EQ(tail->GetPreviousSiblingNode(), text);
  EXPECT_EQ(c->GetTextContent(), u"abcd");
  // The node freed by the listener: the new node stays unattached.
  TdomText* lone = Add(a, Text(u"xy"));
  meddler.onData = [&](TdomNode* node) {
    if (node == lone) lone->Free();
  };
  TdomText* rest = lone->splitText(1);
  EXPECT_TRUE(rest == nullptr || rest->GetParentNode() == nullptr);
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, ClearingStopsWhenTheListenerFreesTheNode) {
  b->setAttribute(u"k", u"v");
  b->setAttribute(u"l", u"w");
  Add(b, Elem(u"child"));
  doc->OnNodeClearing = MakeEvent<&Meddler::Removing>(&meddler);
  meddler.onRemoving = [&](TdomNode* node) {
    if (node == b) b->Free();
  };
  b->Clear();
  EXPECT_EQ(ChildNames(root), u"a,c");
  // An attribute removal reported while clearing frees the element.
  struct Freer {
    TdomElement* element;
    void Modified(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      TdomElement* going = element;
      element = nullptr;
      if (change == AC_REMOVAL && going != nullptr) going->Free();
    }
  } freer{c};
  c->setAttribute(u"k", u"v");
  c->setAttribute(u"l", u"w");
  doc->OnNodeClearing = nullptr;
  doc->OnAttrModified = MakeEvent<&Freer::Modified>(&freer);
  c->Clear();
  EXPECT_EQ(ChildNames(root), u"a");
  EXPECT_TRUE(Sound(doc));
}

TEST_F(DomListenersTest, CopiesAndFreesSurviveListenersThatFreeTheirNodes) {
  // A deep copy whose reports free the source on the way: what has gone is not copied.
  Add(a, Elem(u"a1"));
  Add(a, Text(u"t"));
  Add(a, doc->createEntityReference(u"amp"))->ExpandEntity();
  meddler.onInserted = [&](TdomNode* node) {
    if (node->GetNodeName() == u"a1" && node->GetParentNode() != a) a->Free();
  };
  TdomNode* copy = a->cloneNode(true);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(ChildNames(copy), u"a1");
  EXPECT_EQ(ChildNames(root), u"b,c");
  meddler.onInserted = nullptr;

  // An attribute freed while its element holds it: the report of its
  // removal frees the element, and freeing the attribute again is refused.
  TdomAttr* attr = b->setAttribute(u"k", u"v");
  struct Freer {
    TdomElement* element;
    TdomAttr* attr;
    bool refused = false;
    void Modified(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      if (change != AC_REMOVAL || element == nullptr) return;
      TdomElement* going = element;
      element = nullptr;
      going->Free();
      try {
        attr->Free();
      } catch (const EListError&) {
        refused = true;
      }
    }
  } freer{b, attr};
  doc->OnAttrModified = MakeEvent<&Freer::Modified>(&freer);
  attr->Free();
  EXPECT_TRUE(freer.refused);
  EXPECT_EQ(ChildNames(root), u"c");

  // Freeing a subtree whose reports take out the next node to go and free the parent.
  TdomElement* d = Add(c, Elem(u"d"));
  TdomElement* e = Add(d, Elem(u"e"));
  TdomElement* f = Add(d, Elem(u"f"));
  f->setAttribute(u"k", u"v");
  struct Meddle {
    TdomElement* parent;
    TdomElement* spared;
    void Modified(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      if (change != AC_REMOVAL || parent == nullptr) return;
      TdomElement* going = parent;
      parent = nullptr;
      going->removeChild(spared);
      going->Free();
    }
  } meddle{d, e};
  doc->OnAttrModified = MakeEvent<&Meddle::Modified>(&meddle);
  c->Free();
  EXPECT_EQ(ChildNames(root), u"");
  EXPECT_EQ(e->GetParentNode(), nullptr);  // taken out while its parent went: it lives on
  EXPECT_TRUE(Sound(doc));
}

// Code that frees a node's parent while the node's own Free is under way (a
// report or handler of its destruction runs it): the parent goes, and the
// node finishes going where its Free began.
TEST_F(DomListenersTest, FreeingTheParentOfANodeThatIsGoing) {
  struct Freer {
    TdomNode* parent;
    void Modified(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      if (change != AC_REMOVAL || parent == nullptr) return;
      TdomNode* going = parent;
      parent = nullptr;
      going->Free();
    }
    void Deleted(TdomUserDataOperation operation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
      if (operation == NODE_DELETED) Modified(nullptr, nullptr, AC_REMOVAL, nullptr);
    }
  };
  // The removal report of the going element's attribute frees its parent.
  TdomElement* e = Add(b, Elem(u"e"));
  Add(e, Elem(u"below"));
  e->setAttribute(u"k", u"v");
  Freer byReport{b};
  doc->OnAttrModified = MakeEvent<&Freer::Modified>(&byReport);
  e->Free();
  EXPECT_EQ(ChildNames(root), u"a,c");
  doc->OnAttrModified = nullptr;
  // Its deletion handler frees its parent.
  TdomElement* f = Add(c, Elem(u"f"));
  Freer byHandler{c};
  f->setUserData(u"k", f, MakeEvent<&Freer::Deleted>(&byHandler));
  f->Free();
  EXPECT_EQ(ChildNames(root), u"a");
  EXPECT_TRUE(Sound(doc));
}

// A node freed with the container it sits in reports while the container
// and its other children are whole: a listener told of an attribute's
// removal finds the container's kind, takes a sibling out of it, and is
// refused a new child for it (it is going); the deletion handlers hear of
// the container before its children.
TEST_F(DomListenersTest, ListenersOfAGoingSubtreeFindItsNodesWhole) {
  struct Reader {
    TdomNode* sibling = nullptr;
    TdomNode* spare = nullptr;
    std::u16string seen;
    void Modified(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      if (change != AC_REMOVAL || sibling == nullptr || sibling->GetParentNode() == nullptr) return;
      TdomNode* container = sibling->GetParentNode();
      seen += container->GetNodeName() + u";";
      EXPECT_DOM_ERROR(container->appendChild(spare), ENo_Modification_Allowed_Err, "No modification allowed.");
      container->removeChild(sibling);
    }
    void Deleted(TdomUserDataOperation operation, const std::u16string& key, TdomUserData, TdomNode*, TdomNode*) {
      if (operation == NODE_DELETED) seen += key + u";";
    }
  } reader;
  doc->OnAttrModified = MakeEvent<&Reader::Modified>(&reader);
  for (TdomNode* container : {static_cast<TdomNode*>(doc->createDocumentFragment()), static_cast<TdomNode*>(Elem(u"e"))}) {
    reader.seen.clear();
    TdomElement* x = Add(container, Elem(u"x"));
    TdomElement* y = Add(container, Elem(u"y"));
    y->setAttribute(u"k", u"v");
    reader.sibling = x;
    reader.spare = Elem(u"spare");
    container->setUserData(u"container", container, MakeEvent<&Reader::Deleted>(&reader));
    y->setUserData(u"y", y, MakeEvent<&Reader::Deleted>(&reader));
    std::u16string name = container->GetNodeName();
    container->Free();
    EXPECT_EQ(reader.seen, u"container;y;" + name + u";");
    EXPECT_EQ(x->GetParentNode(), nullptr);  // taken out by the listener: it lives on
    EXPECT_EQ(reader.spare->GetParentNode(), nullptr);
  }
  doc->OnAttrModified = nullptr;
  EXPECT_TRUE(Sound(doc));
}

// An operation whose listener freed the node it would return returns null,
// never a freed node.
TEST_F(DomListenersTest, ResultsFreedByTheListenerAreNull) {
  meddler.onRemoving = [&](TdomNode* node) { node->Free(); };
  EXPECT_EQ(root->removeChild(a), nullptr);
  meddler.onRemoving = nullptr;
  // The old child freed once its place is taken.
  TdomNode* old = nullptr;
  meddler.onInserted = [&](TdomNode*) {
    if (old != nullptr) std::exchange(old, nullptr)->Free();
  };
  old = b;
  EXPECT_EQ(root->replaceChild(Elem(u"x"), b), nullptr);
  TdomDocumentFragment* fragment = doc->createDocumentFragment();
  Add(fragment, Elem(u"y"));
  old = c;
  EXPECT_EQ(root->replaceChild(fragment, c), nullptr);
  EXPECT_EQ(ChildNames(root), u"x,y");
  meddler.onInserted = nullptr;
  TdomElement* holder = Add(root, Elem(u"holder"));
  TdomDocumentFragment* freedWith = doc->createDocumentFragment();
  TdomElement* inner = Add(freedWith, Elem(u"inner"));
  Add(inner, Elem(u"w"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == inner) freedWith->Free();
  };
  EXPECT_EQ(holder->appendChild(freedWith), nullptr);
  EXPECT_EQ(ChildNames(holder), u"inner");
  meddler.onInserted = nullptr;
  EXPECT_EQ(ChildNames(root), u"x,y,holder");
  EXPECT_TRUE(Sound(doc));

  // Attributes: the removed one, and the one an addition displaced.
  struct Freer {
    TdomAttr* victim = nullptr;
    void Modified(TObject*, TdomNode*, TdomAttrChange, TdomAttr*) {
      if (victim != nullptr) std::exchange(victim, nullptr)->Free();
    }
  } freer;
  doc->OnAttrModified = MakeEvent<&Freer::Modified>(&freer);
  TdomAttr* k = holder->setAttribute(u"k", u"1");
  freer.victim = k;
  EXPECT_EQ(holder->removeAttributeNode(k), nullptr);
  TdomAttr* displaced = holder->setAttribute(u"l", u"1");
  TdomAttr* replacement = doc->createAttribute(u"l");
  freer.victim = displaced;
  EXPECT_EQ(holder->setAttributeNode(replacement), nullptr);
  EXPECT_EQ(holder->getAttributeNode(u"l"), replacement);
  doc->OnAttrModified = nullptr;

  // Factories whose new node's report frees it, and what uses them.
  TdomText* text = Add(holder, Text(u"abcd"));
  meddler.onData = [&](TdomNode* node) {
    if (node->GetParentNode() == nullptr) node->Free();
  };
  EXPECT_EQ(doc->createProcessingInstruction(u"pi", u"data"), nullptr);
  EXPECT_EQ(doc->createTextNode(u"t"), nullptr);
  EXPECT_EQ(doc->createComment(u"c"), nullptr);
  EXPECT_EQ(doc->createCDATASection(u"d"), nullptr);
  EXPECT_EQ(text->splitText(2), nullptr);
  EXPECT_EQ(text->GetData(), u"abcd");
  EXPECT_EQ(text->cloneNode(false), nullptr);
  meddler.onData = nullptr;
  TdomDocument* other = impl->CreateEmptyDocument();
  Meddler freeing;
  freeing.Attach(other);
  freeing.onInserted = [&](TdomNode* node) { node->Free(); };
  EXPECT_EQ(other->CreateDocumentElement(u"top"), nullptr);
  EXPECT_EQ(other->GetDocumentElement(), nullptr);
}

// A single node's insertion whose listener frees the node returns null, as
// a fragment's does; one the listener only moves is returned.
TEST_F(DomListenersTest, InsertionsWhoseNodeTheListenerFreesReturnNull) {
  meddler.onInserted = [&](TdomNode* node) {
    if (node->GetNodeName() == u"doomed") node->Free();
  };
  EXPECT_EQ(root->appendChild(Elem(u"doomed")), nullptr);
  EXPECT_EQ(root->insertBefore(Elem(u"doomed"), b), nullptr);
  EXPECT_NE(Elem(u"x")->appendChild(Text(u"t")), nullptr);  // a node nobody frees comes back
  // Moved from its old place and freed there.
  TdomElement* moved = Add(c, Elem(u"doomed-later"));
  meddler.onInserted = [&](TdomNode* node) {
    if (node == moved) moved->Free();
  };
  EXPECT_EQ(a->appendChild(moved), nullptr);
  EXPECT_EQ(ChildNames(a), u"");
  EXPECT_EQ(ChildNames(c), u"");
  // Taken elsewhere by the listener: still returned.
  TdomElement* kept = Elem(u"kept");
  meddler.onInserted = [&](TdomNode* node) {
    if (node == kept) c->appendChild(kept);
  };
  EXPECT_EQ(root->insertBefore(kept, a), kept);
  EXPECT_EQ(kept->GetParentNode(), c);
  EXPECT_EQ(ChildNames(root), u"a,b,c");
  EXPECT_TRUE(Sound(doc));
}

}  // namespace
