#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DomTestSupport.h"

namespace {

using NodeTest = DomTest;

TEST_F(NodeTest, TypeCheckNamesBothClasses) {
  EXPECT_DOM_ERROR(doc->appendChild(Text(u"x")), EHierarchy_Request_Err,
                   "Nodes of type TdomText are not allowed as children of nodes of type TdomDocument");
  TdomText* text = Text(u"a");
  EXPECT_DOM_ERROR(text->appendChild(Elem(u"e")), EHierarchy_Request_Err,
                   "Nodes of type TdomElement are not allowed as children of nodes of type TdomText");
  TdomElement* e = Elem(u"e");
  EXPECT_DOM_ERROR(e->appendChild(doc->createAttribute(u"a")), EHierarchy_Request_Err,
                   "Nodes of type TdomAttr are not allowed as children of nodes of type TdomElement");
}

TEST_F(NodeTest, TreeChecksRaiseDomExceptions) {
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomElement* child = Add(root, Elem(u"child"));
  TdomElement* grandchild = Add(child, Elem(u"gc"));
  EXPECT_DOM_ERROR(child->appendChild(child), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_DOM_ERROR(grandchild->appendChild(root), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_DOM_ERROR(root->insertBefore(child, child), EHierarchy_Request_Err, "EHierarchy request error.");
  EXPECT_DOM_ERROR(root->insertBefore(Elem(u"x"), grandchild), ENot_Found_Err, "Node not found.");
  EXPECT_DOM_ERROR(root->removeChild(grandchild), ENot_Found_Err, "Node not found.");
  EXPECT_DOM_ERROR(root->removeChild(nullptr), ENot_Supported_Err, "Node not specified.");
  TdomDocument* other = impl->CreateEmptyDocument();
  EXPECT_DOM_ERROR(root->appendChild(other->createElement(u"alien")), EWrong_Document_Err, "Wrong document.");
  // Nothing moved.
  EXPECT_EQ(ChildNames(root), u"child");
  EXPECT_EQ(grandchild->GetParentNode(), child);
}

TEST_F(NodeTest, InsertRemoveReplaceKeepOrder) {
  TdomElement* root = Add(doc, Elem(u"r"));
  TdomElement* a = Add(root, Elem(u"a"));
  TdomElement* b = Add(root, Elem(u"b"));
  TdomElement* c = Add(root, Elem(u"c"));
  EXPECT_EQ(root->insertBefore(c, a), c);
  EXPECT_EQ(ChildNames(root), u"c,a,b");
  EXPECT_EQ(root->replaceChild(b, b), b);
  EXPECT_EQ(ChildNames(root), u"c,a,b");
  EXPECT_EQ(root->replaceChild(b, c), c);  // b is c's later sibling
  EXPECT_EQ(ChildNames(root), u"b,a");
  EXPECT_EQ(c->GetParentNode(), nullptr);
  EXPECT_EQ(c->GetOwnerDocument(), doc);  // removed, still owned
  EXPECT_EQ(root->removeChild(a), a);
  EXPECT_EQ(ChildNames(root), u"b");
  EXPECT_EQ(root->insertBefore(a, nullptr), a);
  EXPECT_EQ(ChildNames(root), u"b,a");
}

TEST_F(NodeTest, FragmentsMoveTheirChildrenInOrder) {
  TdomElement* root = Add(doc, Elem(u"r"));
  TdomElement* x = Add(root, Elem(u"x"));
  TdomDocumentFragment* empty = doc->createDocumentFragment();
  EXPECT_EQ(root->appendChild(empty), empty);
  EXPECT_EQ(ChildNames(root), u"x");

  TdomDocumentFragment* frag = doc->createDocumentFragment();
  Add(frag, Elem(u"a"));
  Add(frag, Elem(u"b"));
  EXPECT_EQ(root->appendChild(frag), frag);
  EXPECT_EQ(ChildNames(root), u"x,a,b");
  EXPECT_FALSE(frag->hasChildNodes());

  Add(frag, Elem(u"c"));
  Add(frag, Elem(u"d"));
  root->insertBefore(frag, x);
  EXPECT_EQ(ChildNames(root), u"c,d,x,a,b");

  Add(frag, Elem(u"e"));
  Add(frag, Elem(u"f"));
  EXPECT_EQ(root->replaceChild(frag, x), x);
  EXPECT_EQ(ChildNames(root), u"c,d,e,f,a,b");
  EXPECT_EQ(x->GetParentNode(), nullptr);

  EXPECT_EQ(root->replaceChild(empty, root->GetFirstChildNode())->GetNodeName(), u"c");
  EXPECT_EQ(ChildNames(root), u"d,e,f,a,b");
  // A fragment replaces only a child; nothing is no child.
  EXPECT_DOM_ERROR(root->replaceChild(empty, nullptr), ENot_Found_Err, "Node not found.");
}

TEST_F(NodeTest, RefusedFragmentChangesNothing) {
  // A fragment whose second child may not go into a document.
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  Add(frag, doc->createComment(u"c"));
  Add(frag, Text(u"t"));
  EXPECT_THROW(doc->appendChild(frag), EHierarchy_Request_Err);
  EXPECT_FALSE(doc->hasChildNodes());
  EXPECT_EQ(ChildNames(frag), u"#comment,#text");

  // Two elements: the second would be a second document element.
  TdomDocumentFragment* two = doc->createDocumentFragment();
  Add(two, Elem(u"a"));
  Add(two, Elem(u"b"));
  EXPECT_THROW(doc->appendChild(two), EHierarchy_Request_Err);
  EXPECT_FALSE(doc->hasChildNodes());
  EXPECT_EQ(ChildNames(two), u"a,b");

  // One element into a document that has one, by every insertion route.
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomComment* comment = Add(doc, doc->createComment(u"after"));
  TdomDocumentFragment* one = doc->createDocumentFragment();
  Add(one, doc->createComment(u"lead"));
  Add(one, Elem(u"second"));
  EXPECT_THROW(doc->appendChild(one), EHierarchy_Request_Err);
  EXPECT_THROW(doc->insertBefore(one, root), EHierarchy_Request_Err);
  EXPECT_THROW(doc->replaceChild(one, comment), EHierarchy_Request_Err);
  EXPECT_EQ(ChildNames(doc), u"root,#comment");
  EXPECT_EQ(ChildNames(one), u"#comment,second");
  // Replacing the document element itself is allowed.
  EXPECT_EQ(doc->replaceChild(one, root), root);
  EXPECT_EQ(ChildNames(doc), u"#comment,second,#comment");

  // Fragments never carry declarations.
  EXPECT_THROW(doc->createDocumentFragment()->appendChild(doc->createDocumentTypeDecl(u"d", u"", u"", u"")),
               EHierarchy_Request_Err);
}

TEST_F(NodeTest, FragmentIntoItsOwnDescendantIsRefused) {
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  TdomElement* a = Add(frag, Elem(u"a"));
  TdomElement* inner = Add(a, Elem(u"inner"));
  EXPECT_THROW(inner->appendChild(frag), EHierarchy_Request_Err);
  EXPECT_EQ(ChildNames(frag), u"a");
  EXPECT_EQ(ChildNames(a), u"inner");
}

TEST_F(NodeTest, ReadOnlyNodesRefuseChanges) {
  TdomEntityReference* ref = doc->createEntityReference(u"lt");
  ref->ExpandEntity();
  ASSERT_EQ(ref->GetChildCount(), 1);
  TdomText* child = static_cast<TdomText*>(ref->GetFirstChildNode());
  EXPECT_TRUE(child->GetReadOnly());
  EXPECT_DOM_ERROR(ref->appendChild(Text(u"x")), ENo_Modification_Allowed_Err, "No modification allowed.");
  EXPECT_DOM_ERROR(child->SetNodeValue(u"y"), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_DOM_ERROR(child->appendData(u"y"), ENo_Modification_Allowed_Err, "No modification allowed error.");
  TdomElement* e = Elem(u"e");
  // Moving a child out of a read-only parent is refused.
  EXPECT_DOM_ERROR(e->appendChild(child), ENo_Modification_Allowed_Err, "No modification allowed.");
  EXPECT_EQ(child->GetNodeValue(), u"<");
}

struct PositionCase {
  const char* name;
  int a;
  int b;
  TdomDocumentPosition expected;
};

TEST_F(NodeTest, CompareDocumentPosition) {
  // nodes: 0 root, 1 child1, 2 child2, 3 grandchild (under child1), 4 attr1 of child1, 5 attr2 of child1,
  // 6 node of another document
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomElement* child1 = Add(root, Elem(u"c1"));
  TdomElement* child2 = Add(root, Elem(u"c2"));
  TdomElement* grandchild = Add(child1, Elem(u"gc"));
  TdomAttr* attr1 = child1->setAttribute(u"a1", u"1");
  TdomAttr* attr2 = child1->setAttribute(u"a2", u"2");
  TdomElement* alien = impl->CreateEmptyDocument()->createElement(u"alien");
  std::vector<TdomNode*> n = {root, child1, child2, grandchild, attr1, attr2, alien};
  const PositionCase cases[] = {
      {"self", 1, 1, 72},        {"parent", 1, 0, 33},        {"child", 0, 1, 18},
      {"following", 1, 2, 16},   {"preceding", 2, 1, 32},     {"other doc", 1, 6, 4},
      {"two attrs", 4, 5, 8},    {"attr owner", 4, 1, 33},    {"owner attr", 1, 4, 18},
      {"attr vs child", 4, 3, 16}, {"child vs attr", 3, 4, 32}, {"attr vs later", 4, 2, 16},
      {"grandchild vs root", 3, 0, 33},
  };
  for (const auto& c : cases) EXPECT_EQ(n[c.a]->compareDocumentPosition(n[c.b]), c.expected) << c.name;
  EXPECT_THROW(root->compareDocumentPosition(nullptr), ENot_Supported_Err);
}

TEST_F(NodeTest, LevelAndDocumentOrder) {
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomElement* a = Add(root, Elem(u"a"));
  TdomElement* a1 = Add(a, Elem(u"a1"));
  TdomElement* b = Add(root, Elem(u"b"));
  EXPECT_EQ(doc->GetLevel(), 0);
  EXPECT_EQ(root->GetLevel(), 1);
  EXPECT_EQ(a1->GetLevel(), 3);
  EXPECT_EQ(doc->GetDocumentOrder(), 0);
  EXPECT_EQ(root->GetDocumentOrder(), 1);
  EXPECT_EQ(a->GetDocumentOrder(), 2);
  EXPECT_EQ(a1->GetDocumentOrder(), 3);
  EXPECT_EQ(b->GetDocumentOrder(), 4);
  TdomElement* detached = Elem(u"d");
  EXPECT_EQ(detached->GetLevel(), -1);
  EXPECT_EQ(detached->GetDocumentOrder(), -1);
  TdomDocumentFragment* frag = doc->createDocumentFragment();
  TdomElement* inFrag = Add(frag, Elem(u"f"));
  EXPECT_EQ(frag->GetLevel(), -1);
  EXPECT_EQ(inFrag->GetLevel(), 0);
}

TEST_F(NodeTest, DeepDocumentIsHandledWithoutRecursion) {
  const int depth = 100000;
  TdomElement* top = Add(doc, Elem(u"top"));
  TdomNode* parent = top;
  for (int i = 0; i < depth; ++i) parent = Add(parent, Elem(u"d"));
  TdomText* leaf = Add(parent, Text(u"leaf"));
  EXPECT_EQ(leaf->GetLevel(), depth + 2);
  EXPECT_EQ(leaf->GetDocumentOrder(), depth + 2);
  EXPECT_EQ(doc->GetTextContent(), u"");
  EXPECT_EQ(top->GetTextContent(), u"leaf");
  EXPECT_EQ(leaf->GetBaseUri(), u"");
  EXPECT_EQ(leaf->GetLanguage(), u"");
  EXPECT_EQ(top->compareDocumentPosition(leaf), 18);
  EXPECT_EQ(doc->getElementsByTagName(u"d")->GetLength(), depth);
  TdomTreeWalker* walker = doc->createTreeWalker(doc, NodeTypeBit(ntElement_Node), nullptr, true);
  int walked = 0;
  while (walker->nextNode() != nullptr) ++walked;
  EXPECT_EQ(walked, depth + 1);
  while (walker->previousNode() != nullptr) --walked;
  EXPECT_EQ(walked, 1);
  TdomNodeIterator* iterator = doc->createNodeIterator(top, kShowAll, nullptr, true);
  int iterated = 0;
  while (iterator->nextNode() != nullptr) ++iterated;
  EXPECT_EQ(iterated, depth + 2);
  while (iterator->previousNode() != nullptr) --iterated;
  EXPECT_EQ(iterated, 0);
  TdomNode* copy = top->cloneNode(true);
  EXPECT_EQ(copy->GetTextContent(), u"leaf");
  copy->Free();
  top->normalize();
  doc->removeChild(top);
  top->Free();  // frees the whole chain
  EXPECT_FALSE(doc->hasChildNodes());
}

TEST_F(NodeTest, FeaturesAndReservedPrefixes) {
  TdomElement* e = Elem(u"e");
  EXPECT_TRUE(e->isSupported(u"xml", u""));
  EXPECT_TRUE(e->isSupported(u"XML", u"2.0"));
  EXPECT_FALSE(e->isSupported(u"XML", u"3.0"));
  EXPECT_FALSE(e->isSupported(u"Core", u"2.0"));
  TdomText* t = Text(u"x");
  EXPECT_EQ(t->lookupNamespaceURI(u"xml"), kXmlNamespaceUri);
  EXPECT_EQ(t->lookupNamespaceURI(u"xmlns"), kXmlnsNamespaceUri);
  EXPECT_EQ(t->lookupNamespaceURI(u"foo"), u"");
}

TEST_F(NodeTest, NavigationSkipsNonElements) {
  TdomElement* root = Add(doc, Elem(u"root"));
  Add(root, Text(u"t"));
  TdomElement* a = Add(root, doc->createElementNS(u"urn:x", u"x:a"));
  Add(root, doc->createComment(u"c"));
  TdomElement* b = Add(root, Elem(u"b"));
  TdomElement* a2 = Add(root, doc->createElementNS(u"urn:x", u"y:a"));
  Add(root, Text(u"t2"));
  EXPECT_EQ(root->FindFirstChildElement(), a);
  EXPECT_EQ(root->FindLastChildElement(), a2);
  EXPECT_EQ(a->FindNextSiblingElement(), b);
  EXPECT_EQ(b->FindPreviousSiblingElement(), a);
  EXPECT_EQ(b->FindParentElement(), root);
  EXPECT_EQ(root->FindParentElement(), nullptr);
  EXPECT_EQ(root->FindFirstChildElementByName(u"b"), b);
  EXPECT_EQ(root->FindLastChildElementByName(u"x:a"), a);
  EXPECT_EQ(root->FindFirstChildElementByName(u"B"), nullptr);
  EXPECT_EQ(root->FindFirstChildElementByNameNS(u"urn:x", u"a"), a);
  EXPECT_EQ(root->FindLastChildElementByNameNS(u"urn:x", u"a"), a2);
  EXPECT_EQ(a->FindNextSiblingElementByNameNS(u"urn:x", u"a"), a2);
  EXPECT_EQ(a2->FindPreviousSiblingElementByName(u"b"), b);
  EXPECT_EQ(b->FindParentElementByName(u"root"), root);
  EXPECT_EQ(b->FindNextSiblingElementByName(u"b"), nullptr);
}

TEST_F(NodeTest, TextContentAndStringValues) {
  TdomElement* root = Add(doc, Elem(u"root"));
  Add(root, Text(u"a"));
  TdomElement* inner = Add(root, Elem(u"i"));
  Add(inner, doc->createCDATASection(u"b"));
  Add(inner, doc->createComment(u"skip"));
  Add(root, doc->createProcessingInstruction(u"pi", u"skip"));
  TdomEntityReference* ref = Add(root, doc->createEntityReference(u"amp"));
  ref->ExpandEntity();
  Add(root, Text(u"c"));
  EXPECT_EQ(root->GetTextContent(), u"ab&c");
  EXPECT_EQ(root->GetXPathStringValue(), u"ab&c");
  EXPECT_EQ(doc->GetXPathStringValue(), u"ab&c");
  EXPECT_EQ(doc->GetTextContent(), u"");
  TdomAttr* attr = root->setAttribute(u"at", u"v&#38;");
  EXPECT_EQ(attr->GetTextContent(), u"v&#38;");
  EXPECT_EQ(doc->createComment(u"cm")->GetXPathStringValue(), u"cm");
  EXPECT_EQ(doc->createDocumentTypeDecl(u"d", u"", u"", u"")->GetTextContent(), u"");
}

TEST_F(NodeTest, LanguageAndBaseUri) {
  TdomElement* root = Add(doc, Elem(u"root"));
  root->setAttribute(u"xml:lang", u"en-GB");
  TdomElement* inner = Add(root, Elem(u"inner"));
  TdomText* text = Add(inner, Text(u"t"));
  TdomAttr* attr = inner->setAttribute(u"other", u"v");
  EXPECT_EQ(text->GetLanguage(), u"en-GB");
  EXPECT_EQ(attr->GetLanguage(), u"en-GB");
  inner->setAttribute(u"xml:lang", u"de");
  EXPECT_EQ(text->GetLanguage(), u"de");
  EXPECT_EQ(doc->GetLanguage(), u"");

  doc->SetDocumentUri(u"file:///dir/doc.xml");
  EXPECT_EQ(doc->GetBaseUri(), u"file:///dir/doc.xml");
  root->setAttribute(u"xml:base", u"http://example.org/a/");
  EXPECT_EQ(text->GetBaseUri(), u"http://example.org/a/");
  TdomAttr* base = root->getAttributeNode(u"xml:base");
  EXPECT_EQ(base->GetBaseUri(), u"file:///dir/doc.xml");  // an xml:base attribute takes its element's parent's
  TdomElement* inner2 = Add(text->GetParentNode(), Elem(u"deeper"));
  inner2->setAttribute(u"xml:base", u"sub/../x/");
  TdomText* deepText = Add(inner2, Text(u"d"));
  EXPECT_EQ(deepText->GetBaseUri(), u"http://example.org/a/x/");
  inner->setAttribute(u"xml:base", u"b/");
  EXPECT_EQ(deepText->GetBaseUri(), u"http://example.org/a/b/x/");
  inner->setAttribute(u"xml:base", u"../../../up/");
  EXPECT_EQ(deepText->GetBaseUri(), u"");  // climbing above the root fails
  root->removeAttribute(u"xml:base");
  inner->setAttribute(u"xml:base", u"rel/");
  EXPECT_EQ(deepText->GetBaseUri(), u"file:///dir/rel/x/");
  inner->setAttribute(u"xml:base", u"my dir/");  // escaped before it is resolved
  EXPECT_EQ(deepText->GetBaseUri(), u"file:///dir/my%20dir/x/");
  root->setAttribute(u"xml:base", u"http://example.org/a b/");
  EXPECT_EQ(text->GetBaseUri(), u"http://example.org/a%20b/my%20dir/");
  root->removeAttribute(u"xml:base");
  doc->SetDocumentUri(u"relative.xml");
  EXPECT_EQ(deepText->GetBaseUri(), u"");  // nothing absolute to resolve against
  EXPECT_EQ(doc->GetBaseUri(), u"");
  EXPECT_EQ(Elem(u"lonely")->GetBaseUri(), u"");
}

TEST_F(NodeTest, UserDataAndHandlers) {
  struct Log {
    std::vector<int> operations;
    std::vector<TdomNode*> sources;
    std::vector<TdomNode*> targets;
    void Handle(TdomUserDataOperation op, const std::u16string&, TdomUserData, TdomNode* src, TdomNode* dst) {
      operations.push_back(op);
      sources.push_back(src);
      targets.push_back(dst);
    }
  } log;
  int data1 = 1;
  int data2 = 2;
  TdomElement* e = Elem(u"e");
  TdomUserDataEvent handler = MakeEvent<&Log::Handle>(&log);
  EXPECT_EQ(e->setUserData(u"k", &data1, handler), nullptr);
  EXPECT_EQ(e->getUserData(u"k"), &data1);
  EXPECT_EQ(e->setUserData(u"k", &data2, handler), &data1);
  EXPECT_EQ(e->getUserData(u"missing"), nullptr);
  TdomNode* clone = e->cloneNode(false);
  TdomNode* imported = impl->CreateEmptyDocument()->importNode(e, false);
  ASSERT_EQ(log.operations.size(), 2u);
  EXPECT_EQ(log.operations[0], NODE_CLONED);
  EXPECT_EQ(log.targets[0], clone);
  EXPECT_EQ(log.operations[1], NODE_IMPORTED);
  EXPECT_EQ(log.sources[1], e);
  EXPECT_EQ(log.targets[1], imported);
  e->Free();
  ASSERT_EQ(log.operations.size(), 3u);
  EXPECT_EQ(log.operations[2], NODE_DELETED);
  EXPECT_EQ(log.sources[2], nullptr);

  TdomElement* f = Elem(u"f");
  f->setUserData(u"k", &data1, handler);
  EXPECT_EQ(f->setUserData(u"k", nullptr, nullptr), &data1);
  EXPECT_EQ(f->setUserData(u"k", nullptr, nullptr), nullptr);
  f->Free();
  EXPECT_EQ(log.operations.size(), 3u);  // the key had gone: no handler
}

TEST_F(NodeTest, ThrowingDeleteHandlerDoesNotEscape) {
  struct Thrower {
    int calls = 0;
    void Handle(TdomUserDataOperation, const std::u16string&, TdomUserData, TdomNode*, TdomNode*) {
      ++calls;
      throw EConvertError("handler failed");
    }
  } thrower;
  int data = 0;
  TdomElement* e = Elem(u"e");
  e->setUserData(u"a", &data, MakeEvent<&Thrower::Handle>(&thrower));
  e->setUserData(u"b", &data, MakeEvent<&Thrower::Handle>(&thrower));
  EXPECT_NO_THROW(e->Free());
  EXPECT_EQ(thrower.calls, 2);
  TdomElement* f = Add(doc, Elem(u"f"));
  f->setUserData(u"a", &data, MakeEvent<&Thrower::Handle>(&thrower));
  EXPECT_NO_THROW(impl->Clear());
  EXPECT_EQ(thrower.calls, 3);
}

TEST_F(NodeTest, XPathShortcutsEvaluateFromTheNode) {
  TdomElement* e = Add(doc, Elem(u"e"));
  EXPECT_TRUE(e->EvaluateToBoolean(u"true()"));
  EXPECT_EQ(e->EvaluateToNumber(u"1"), 1);
  EXPECT_EQ(e->EvaluateToWideString(u"'a'"), u"a");
  EXPECT_EQ(e->EvaluateToNode(u"."), e);
}

TEST_F(NodeTest, NotificationsReachDocumentAndImplementation) {
  struct Counter {
    int inserted = 0, removing = 0, clearing = 0, data = 0, attrs = 0;
    std::vector<TdomAttrChange> changes;
    void Inserted(TObject*, TdomNode*) { ++inserted; }
    void Removing(TObject*, TdomNode*) { ++removing; }
    void Clearing(TObject*, TdomNode*) { ++clearing; }
    void Data(TObject*, TdomNode*) { ++data; }
    void Attr(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) {
      ++attrs;
      changes.push_back(change);
    }
  } docCount, implCount;
  doc->OnNodeInserted = MakeEvent<&Counter::Inserted>(&docCount);
  doc->OnNodeRemoving = MakeEvent<&Counter::Removing>(&docCount);
  doc->OnNodeClearing = MakeEvent<&Counter::Clearing>(&docCount);
  doc->OnCharacterDataModified = MakeEvent<&Counter::Data>(&docCount);
  doc->OnAttrModified = MakeEvent<&Counter::Attr>(&docCount);
  impl->OnNodeInserted = MakeEvent<&Counter::Inserted>(&implCount);
  impl->OnAttrModified = MakeEvent<&Counter::Attr>(&implCount);
  TdomElement* root = Add(doc, Elem(u"r"));
  TdomText* t = Add(root, Text(u"x"));
  t->appendData(u"y");
  EXPECT_EQ(doc->createCDATASection(u"d")->GetData(), u"d");
  EXPECT_EQ(doc->createComment(u"")->GetData(), u"");
  root->setAttribute(u"a", u"1");
  root->setAttribute(u"a", u"2");
  root->removeAttribute(u"a");
  root->removeChild(t);
  root->Clear();
  EXPECT_EQ(docCount.inserted, 2);
  EXPECT_EQ(implCount.inserted, 2);
  EXPECT_EQ(docCount.removing, 1);
  EXPECT_EQ(docCount.clearing, 1);
  EXPECT_EQ(docCount.data, 4);  // each of the three factories, and appendData
  EXPECT_EQ(docCount.changes, (std::vector<TdomAttrChange>{AC_ADDITION, AC_MODIFICATION, AC_REMOVAL}));
  EXPECT_EQ(implCount.attrs, 3);
  EXPECT_TRUE(doc->GetModified());
  // Freeing the document is heard as a Clear of it is; the implementation's own teardown is not.
  impl->OnNodeClearing = MakeEvent<&Counter::Clearing>(&implCount);
  impl->FreeDocument(doc);
  TDomImplementation* other = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  other->OnNodeClearing = MakeEvent<&Counter::Clearing>(&implCount);
  other->CreateEmptyDocument()->OnNodeClearing = MakeEvent<&Counter::Clearing>(&docCount);
  other->Free();
  EXPECT_EQ(docCount.clearing, 2);
  EXPECT_EQ(implCount.clearing, 1);
}

TEST_F(NodeTest, AdoptingMovesNodesOnlyWithinTheirDocument) {
  TdomDocument* other = impl->CreateEmptyDocument();
  TdomElement* parent = Add(doc, Elem(u"parent"));
  TdomElement* moved = Add(parent, Elem(u"moved"));
  Add(moved, Text(u"t"));
  // Another document would not free the node, and the node would report to a
  // document already gone: refused, and nothing changes.
  EXPECT_DOM_ERROR(other->AdoptNode(moved), EWrong_Document_Err, "Wrong document error.");
  EXPECT_DOM_ERROR(other->AdoptObject(moved), EWrong_Document_Err, "Wrong document error.");
  EXPECT_DOM_ERROR(other->createElement(u"x")->AdoptNode(moved), EWrong_Document_Err, "Wrong document error.");
  EXPECT_EQ(moved->GetParentNode(), parent);
  EXPECT_EQ(moved->GetOwner(), doc);
  EXPECT_EQ(moved->GetFirstChildNode()->GetOwner(), doc);
  // A document frees what it owns before itself: a node of a freed document was used afterwards.
  impl->FreeDocument(other);
  // A node of the same document would free it while it may still sit in
  // the tree, even above its new owner: refused as well.
  TdomElement* keeper = Add(moved, Elem(u"keeper"));
  EXPECT_DOM_ERROR(keeper->AdoptObject(parent), EWrong_Document_Err, "Wrong document error.");
  EXPECT_DOM_ERROR(keeper->AdoptNode(moved), EWrong_Document_Err, "Wrong document error.");
  EXPECT_EQ(moved->GetParentNode(), parent);
  parent->Clear();
  // The document itself takes a node out of the tree and keeps owning it.
  TdomElement* loose = Add(doc->GetFirstChildNode(), Elem(u"loose"));
  doc->AdoptNode(loose);
  EXPECT_EQ(loose->GetParentNode(), nullptr);
  EXPECT_EQ(loose->GetOwner(), doc);
}

}  // namespace
