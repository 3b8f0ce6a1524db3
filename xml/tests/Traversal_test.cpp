#include <gtest/gtest.h>

#include <map>

#include "DomTestSupport.h"

namespace {

// Answers by node name; names not listed are accepted.
class NameFilter : public TdomNodeFilter {
public:
  std::map<std::u16string, TdomFilterResult> answers;
  TdomFilterResult acceptNode(TdomNode* node) override {
    auto it = answers.find(node->GetNodeName());
    return it == answers.end() ? FILTER_ACCEPT : it->second;
  }
};

class TraversalTest : public DomTest {
protected:
  // root(a(a1, a2(a21)), #text, b(b1), c)
  void SetUp() override {
    DomTest::SetUp();
    root = Add(doc, Elem(u"root"));
    a = Add(root, Elem(u"a"));
    a1 = Add(a, Elem(u"a1"));
    a2 = Add(a, Elem(u"a2"));
    a21 = Add(a2, Elem(u"a21"));
    text = Add(root, Text(u"t"));
    b = Add(root, Elem(u"b"));
    b1 = Add(b, Elem(u"b1"));
    c = Add(root, Elem(u"c"));
  }
  static std::u16string Walk(TdomTreeWalker* walker, bool forward) {
    std::u16string names;
    while (TdomNode* n = forward ? walker->nextNode() : walker->previousNode()) {
      if (!names.empty()) names += u",";
      names += n->GetNodeName();
    }
    return names;
  }
  static std::u16string Iterate(TdomNodeIterator* iterator, bool forward) {
    std::u16string names;
    while (TdomNode* n = forward ? iterator->nextNode() : iterator->previousNode()) {
      if (!names.empty()) names += u",";
      names += n->GetNodeName();
    }
    return names;
  }

  TdomElement *root, *a, *a1, *a2, *a21, *b, *b1, *c;
  TdomText* text;
};

const TdomWhatToShow kElementsOnly = NodeTypeBit(ntElement_Node);

TEST_F(TraversalTest, WalkerVisitsElementsInDocumentOrderAndBack) {
  TdomTreeWalker* walker = doc->createTreeWalker(doc, kElementsOnly, nullptr, true);
  EXPECT_EQ(Walk(walker, true), u"root,a,a1,a2,a21,b,b1,c");
  EXPECT_EQ(walker->GetCurrentNode(), c);
  EXPECT_EQ(Walk(walker, false), u"b1,b,a21,a2,a1,a,root");
  EXPECT_EQ(walker->GetCurrentNode(), root);  // the document itself is not shown
  walker->SetCurrentNode(b);
  EXPECT_EQ(walker->previousNode(), a21);  // deepest last element of the previous sibling
}

TEST_F(TraversalTest, WalkerMovesAndStopsAtRoot) {
  TdomTreeWalker* walker = doc->createTreeWalker(a, kShowAll, nullptr, true);
  EXPECT_EQ(walker->parentNode(), nullptr);
  EXPECT_EQ(walker->GetCurrentNode(), a);
  EXPECT_EQ(walker->nextSibling(), nullptr);
  EXPECT_EQ(walker->previousNode(), nullptr);
  EXPECT_EQ(walker->firstChild(), a1);
  EXPECT_EQ(walker->nextSibling(), a2);
  EXPECT_EQ(walker->previousSibling(), a1);
  EXPECT_EQ(walker->parentNode(), a);
  EXPECT_EQ(walker->lastChild(), a2);
  EXPECT_EQ(walker->nextNode(), a21);
  EXPECT_EQ(walker->nextNode(), nullptr);  // b lies outside the root
  EXPECT_EQ(walker->GetCurrentNode(), a21);
  EXPECT_THROW(walker->SetCurrentNode(nullptr), ENot_Supported_Err);
  EXPECT_THROW(walker->SetRoot(nullptr), ENot_Supported_Err);
}

TEST_F(TraversalTest, WalkerFilterRejectAndSkip) {
  NameFilter filter;
  filter.answers[u"a"] = FILTER_REJECT;
  TdomTreeWalker* walker = doc->createTreeWalker(root, kElementsOnly, &filter, true);
  EXPECT_EQ(Walk(walker, true), u"b,b1,c");
  filter.answers[u"a"] = FILTER_SKIP;
  filter.answers[u"b"] = FILTER_SKIP;
  walker->SetCurrentNode(root);
  EXPECT_EQ(Walk(walker, true), u"a1,a2,a21,b1,c");
  EXPECT_EQ(Walk(walker, false), u"b1,a21,a2,a1,root");
  walker->SetCurrentNode(root);
  EXPECT_EQ(walker->firstChild(), a1);  // through the skipped a
  EXPECT_EQ(walker->nextSibling(), a2);
  EXPECT_EQ(walker->nextSibling(), b1);  // out of a, into the skipped b
  EXPECT_EQ(walker->nextSibling(), c);
  EXPECT_EQ(walker->previousSibling(), b1);
  EXPECT_EQ(walker->parentNode(), root);
  EXPECT_EQ(walker->lastChild(), c);
}

TEST_F(TraversalTest, EntityReferencesAreEnteredOnlyWhenExpanding) {
  TdomEntityReference* ref = doc->createEntityReference(u"lt");
  root->insertBefore(ref, c);
  ref->ExpandEntity();
  TdomWhatToShow shown = kElementsOnly | NodeTypeBit(ntText_Node) | NodeTypeBit(ntEntity_Reference_Node);
  TdomTreeWalker* expanding = doc->createTreeWalker(root, shown, nullptr, true);
  EXPECT_EQ(Walk(expanding, true), u"a,a1,a2,a21,#text,b,b1,lt,#text,c");
  TdomTreeWalker* closed = doc->createTreeWalker(root, shown, nullptr, false);
  EXPECT_EQ(Walk(closed, true), u"a,a1,a2,a21,#text,b,b1,lt,c");
  EXPECT_EQ(Walk(closed, false), u"lt,b1,b,#text,a21,a2,a1,a,root");
  TdomNodeIterator* iterator = doc->createNodeIterator(root, shown, nullptr, false);
  EXPECT_EQ(Iterate(iterator, true), u"root,a,a1,a2,a21,#text,b,b1,lt,c");
  EXPECT_EQ(Iterate(iterator, false), u"c,lt,b1,b,#text,a21,a2,a1,a,root");
  TdomNodeIterator* entering = doc->createNodeIterator(root, shown, nullptr, true);
  EXPECT_EQ(Iterate(entering, true), u"root,a,a1,a2,a21,#text,b,b1,lt,#text,c");
}

TEST_F(TraversalTest, IteratorForwardBackwardAndFilters) {
  TdomNodeIterator* iterator = doc->createNodeIterator(a, kShowAll, nullptr, true);
  EXPECT_EQ(iterator->nextNode(), a);
  EXPECT_EQ(Iterate(iterator, true), u"a1,a2,a21");
  EXPECT_EQ(Iterate(iterator, false), u"a21,a2,a1,a");
  NameFilter filter;
  filter.answers[u"a"] = FILTER_REJECT;  // an iterator passes over rejected nodes, children still seen
  filter.answers[u"b"] = FILTER_SKIP;
  TdomNodeIterator* filtered = doc->createNodeIterator(root, kElementsOnly, &filter, true);
  EXPECT_EQ(Iterate(filtered, true), u"root,a1,a2,a21,b1,c");
  iterator->detach();
  EXPECT_FALSE(iterator->IsValid());
  EXPECT_DOM_ERROR(iterator->nextNode(), EInvalid_State_Err, "Invalid state error.");
  EXPECT_THROW(iterator->previousNode(), EInvalid_State_Err);
}

TEST_F(TraversalTest, IteratorFollowsRemovals) {
  TdomNodeIterator* iterator = doc->createNodeIterator(root, kElementsOnly, nullptr, true);
  EXPECT_EQ(iterator->nextNode(), root);
  EXPECT_EQ(iterator->nextNode(), a);
  EXPECT_EQ(iterator->nextNode(), a1);
  a->removeChild(a1);  // the reference goes: it moves to the next sibling
  EXPECT_EQ(iterator->nextNode(), a2);
  EXPECT_EQ(iterator->nextNode(), a21);
  root->removeChild(a);  // the reference lies inside the removed subtree
  EXPECT_EQ(iterator->GetReferenceNode()->GetNodeName(), u"#text");
  EXPECT_EQ(iterator->nextNode(), b);
  EXPECT_EQ(iterator->nextNode(), b1);
  root->removeChild(c);  // not the reference: no change
  EXPECT_EQ(iterator->nextNode(), nullptr);
  b->removeChild(b1);  // last child: falls back to the node before it
  EXPECT_EQ(iterator->GetReferenceNode(), b);
  EXPECT_EQ(iterator->previousNode(), b);
  EXPECT_EQ(iterator->previousNode(), root);

  TdomNodeIterator* inner = doc->createNodeIterator(b, kShowAll, nullptr, true);
  root->Clear();  // the root of `inner` is freed: invalid, never dangling
  EXPECT_FALSE(inner->IsValid());
  EXPECT_THROW(inner->nextNode(), EInvalid_State_Err);
  EXPECT_TRUE(iterator->IsValid());
  EXPECT_EQ(iterator->GetReferenceNode(), root);
}

TEST_F(TraversalTest, FreedNodesNeverDangle) {
  TdomNodeIterator* iterator = doc->createNodeIterator(root, kShowAll, nullptr, true);
  iterator->nextNode();
  iterator->nextNode();
  iterator->nextNode();  // a1
  TdomTreeWalker* walker = doc->createTreeWalker(root, kShowAll, nullptr, true);
  walker->SetCurrentNode(a21);
  TdomTreeWalker* insideWalker = doc->createTreeWalker(a2, kShowAll, nullptr, true);
  a->Free();  // still linked: freed straight out of the tree with its subtree
  EXPECT_EQ(ChildNames(root), u"#text,b,c");
  EXPECT_EQ(iterator->GetReferenceNode(), text);
  EXPECT_EQ(iterator->nextNode(), text);
  EXPECT_EQ(walker->GetCurrentNode(), root);
  EXPECT_EQ(walker->nextNode(), text);
  EXPECT_EQ(insideWalker->GetRoot(), nullptr);
  EXPECT_EQ(insideWalker->nextNode(), nullptr);
  EXPECT_EQ(insideWalker->parentNode(), nullptr);
}

}  // namespace
