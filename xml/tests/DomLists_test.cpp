#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "DomTestSupport.h"

namespace {

using DomListTest = DomTest;

TEST_F(DomListTest, ChildListIsLive) {
  TdomElement* root = Add(doc, Elem(u"r"));
  TdomNodeList* children = root->GetChildNodes();
  EXPECT_EQ(children->GetLength(), 0);
  TdomElement* a = Add(root, Elem(u"a"));
  TdomText* t = Add(root, Text(u"t"));
  EXPECT_EQ(children->GetLength(), 2);
  EXPECT_EQ(children->Item(1), t);
  EXPECT_EQ(children->IndexOf(a), 0);
  EXPECT_EQ(children->IndexOf(Elem(u"x")), -1);
  EXPECT_EQ(children->Item(-1), nullptr);
  EXPECT_EQ(children->Item(2), nullptr);
  root->removeChild(a);
  EXPECT_EQ(children->Item(0), t);
}

TEST_F(DomListTest, ElementsByTagNameStayInSubtreeAndLive) {
  TdomElement* root = Add(doc, Elem(u"pattern"));
  TdomElement* p1 = Add(root, Elem(u"pattern"));
  TdomElement* p2 = Add(root, Elem(u"pattern"));
  Add(p1, Elem(u"pass"));
  TdomElementsNodeList* list = root->getElementsByTagName(u"pattern");
  EXPECT_EQ(root->getElementsByTagName(u"pattern"), list);
  EXPECT_NE(root->getElementsByTagName(u"Pattern"), list);
  EXPECT_EQ(list->GetLength(), 2);
  EXPECT_EQ(list->Item(0), p1);
  EXPECT_EQ(list->Item(1), p2);
  EXPECT_EQ(list->Item(-1), nullptr);
  EXPECT_EQ(list->Item(2), nullptr);
  EXPECT_EQ(list->IndexOf(p2), 1);
  EXPECT_EQ(list->IndexOf(root), -1);
  EXPECT_EQ(list->IndexOf(nullptr), -1);
  // A sibling subtree of the start element is never entered.
  TdomElement* leafList = p1;
  EXPECT_EQ(leafList->getElementsByTagName(u"*")->GetLength(), 1);
  EXPECT_EQ(p2->getElementsByTagName(u"*")->GetLength(), 0);
  // Live: an element appended later is seen by the same object.
  TdomElement* p3 = Add(p2, Elem(u"pattern"));
  EXPECT_EQ(list->GetLength(), 3);
  EXPECT_EQ(list->Item(2), p3);
  EXPECT_EQ(root->getElementsByTagName(u"*")->GetLength(), 4);
  p1->removeChild(p1->GetFirstChildNode());
  EXPECT_EQ(root->getElementsByTagName(u"*")->GetLength(), 3);
  // A node freed straight out of the tree leaves the list too.
  TdomElementsNodeList* all = root->getElementsByTagName(u"*");
  EXPECT_EQ(all->GetLength(), 3);
  p3->Free();
  EXPECT_EQ(all->GetLength(), 2);
  EXPECT_EQ(list->Item(2), nullptr);
  // The document's lists include the root.
  EXPECT_EQ(doc->getElementsByTagName(u"pattern")->GetLength(), 3);
  EXPECT_EQ(doc->getElementsByTagName(u"pattern"), doc->getElementsByTagName(u"pattern"));
}

TEST_F(DomListTest, ElementsByTagNameNSAndRenames) {
  TdomElement* root = Add(doc, doc->createElementNS(u"urn:a", u"a:root"));
  TdomElement* x = Add(root, doc->createElementNS(u"urn:a", u"a:x"));
  Add(root, doc->createElementNS(u"urn:b", u"b:x"));
  Add(root, doc->createElementNS(u"urn:a", u"a:y"));
  EXPECT_EQ(root->getElementsByTagNameNS(u"urn:a", u"x")->GetLength(), 1);
  EXPECT_EQ(root->getElementsByTagNameNS(u"*", u"x")->GetLength(), 2);
  EXPECT_EQ(root->getElementsByTagNameNS(u"urn:a", u"*")->GetLength(), 2);
  EXPECT_EQ(root->getElementsByTagNameNS(u"*", u"*")->GetLength(), 3);
  EXPECT_EQ(root->getElementsByTagNameNS(u"urn:a", u"x"), root->getElementsByTagNameNS(u"urn:a", u"x"));
  // A prefix change renames the element: name lists notice.
  TdomElementsNodeList* byName = root->getElementsByTagName(u"c:x");
  EXPECT_EQ(byName->GetLength(), 0);
  x->SetPrefix(u"c");
  EXPECT_EQ(byName->GetLength(), 1);
}

TEST_F(DomListTest, NamedNodeMapGetSetRemove) {
  TdomElement* e = Add(doc, Elem(u"e"));
  TdomNamedNodeMap* map = e->GetAttributes();
  EXPECT_EQ(map->getNamedItem(u"absent"), nullptr);
  EXPECT_DOM_ERROR(map->removeNamedItem(u"absent"), ENot_Found_Err, "Node not found error.");
  TdomAttr* a = doc->createAttribute(u"a");
  EXPECT_EQ(map->setNamedItem(a), nullptr);
  EXPECT_EQ(map->setNamedItem(a), nullptr);  // already there: unchanged
  EXPECT_EQ(map->GetLength(), 1);
  TdomAttr* a2 = doc->createAttribute(u"a");
  EXPECT_EQ(map->setNamedItem(a2), a);
  EXPECT_EQ(a->GetOwnerElement(), nullptr);
  EXPECT_EQ(a2->GetOwnerElement(), e);
  // Held by another element's map.
  TdomElement* f = Elem(u"f");
  EXPECT_DOM_ERROR(f->GetAttributes()->setNamedItem(a2), EInuse_Err, "Inuse attribute error.");
  EXPECT_DOM_ERROR(map->setNamedItem(Elem(u"x")), EHierarchy_Request_Err, "Hierarchy request error.");
  EXPECT_DOM_ERROR(map->setNamedItem(impl->CreateEmptyDocument()->createAttribute(u"z")), EWrong_Document_Err,
                   "Wrong document error.");
  EXPECT_DOM_ERROR(map->getNamedItemNS(u"", u"a"), ENamespace_Err, "Namespace error.");
  EXPECT_DOM_ERROR(map->setNamedItemNS(a), ENamespace_Err, "Namespace error.");
  EXPECT_EQ(map->removeNamedItem(u"a"), a2);
  EXPECT_EQ(map->GetLength(), 0);
  EXPECT_EQ(a2->GetOwnerMap(), nullptr);
  EXPECT_DOM_ERROR(map->RemoveItemChecked(a2), ENot_Found_Err, "Node not found error.");
}

TEST_F(DomListTest, NamedNodeMapNamespaceModeAndReadOnly) {
  TdomElement* e = Add(doc, doc->createElementNS(u"urn:a", u"p:e"));
  TdomNamedNodeMap* map = e->GetAttributes();
  EXPECT_DOM_ERROR(map->getNamedItem(u"x"), ENamespace_Err, "Namespace error.");
  TdomAttr* attr = doc->createAttributeNS(u"urn:b", u"q:x");
  EXPECT_EQ(map->setNamedItemNS(attr), nullptr);
  EXPECT_EQ(map->getNamedItemNS(u"urn:b", u"x"), attr);
  EXPECT_EQ(map->getNamedItemNS(u"urn:a", u"x"), nullptr);
  TdomAttr* other = doc->createAttributeNS(u"urn:b", u"r:x");
  EXPECT_EQ(map->setNamedItemNS(other), attr);
  EXPECT_DOM_ERROR(map->removeNamedItem(u"r:x"), ENamespace_Err, "Namespace error.");
  e->SetReadOnly(true);
  EXPECT_DOM_ERROR(map->removeNamedItemNS(u"urn:b", u"x"), ENo_Modification_Allowed_Err,
                   "No modification allowed error.");
  EXPECT_DOM_ERROR(map->setNamedItemNS(attr), ENo_Modification_Allowed_Err, "No modification allowed error.");
  e->SetReadOnly(false);
  EXPECT_EQ(map->removeNamedItemNS(u"urn:b", u"x"), other);
  TdomNamedNodeMap orphan(nullptr, true, NodeTypeBit(ntAttribute_Node), nullptr);
  EXPECT_THROW(orphan.setNamedItemNS(attr), EWrong_Document_Err);
  EXPECT_EQ(orphan.getNamedItemNS(u"urn:b", u"x"), nullptr);
  EXPECT_EQ(orphan.GetLength(), 0);
}

// Random additions, replacements, removals and lookups, checked against a
// plain list searched in order (the first item of a name is the one found):
// on maps far past the size where lookups switch to the index, and on maps
// that hover around that size, searched in order most of the time. The items
// by position must match the list's order after every step.
TEST_F(DomListTest, NamedNodeMapLookupsMatchAnOrderedScan) {
  std::mt19937 random(24);
  TdomElement* root = Add(doc, Elem(u"r"));
  for (int nameCount : {120, 11})
  for (bool namespaceMode : {false, true}) {
    TdomElement* e = Add(root, namespaceMode ? doc->createElementNS(u"urn:e", u"e") : Elem(u"e"));
    TdomNamedNodeMap* map = e->GetAttributes();
    std::vector<TdomAttr*> reference;
    auto nameOf = [&](int i) { return u"n" + std::u16string(1, char16_t(u'a' + i % 26)) + char16_t(u'0' + i / 26); };
    auto uriOf = [&](int i) { return i % 3 == 0 ? std::u16string() : u"urn:" + std::u16string(1, char16_t(u'0' + i % 3)); };
    auto matches = [&](TdomAttr* a, int i) {
      return namespaceMode ? a->GetNamespaceURI() == uriOf(i) && a->GetLocalName() == nameOf(i)
                           : a->GetNodeName() == nameOf(i);
    };
    auto expected = [&](int i) -> TdomAttr* {
      for (TdomAttr* a : reference) {
        if (matches(a, i)) return a;
      }
      return nullptr;
    };
    auto make = [&](int i) {
      if (!namespaceMode) return doc->createAttribute(nameOf(i));
      return doc->createAttributeNS(uriOf(i), (uriOf(i).empty() ? u"" : u"p:") + nameOf(i));
    };
    for (int step = 0; step < 4000; ++step) {
      int i = static_cast<int>(random() % nameCount);
      switch (random() % 5) {
        case 0: {  // add or replace
          TdomAttr* attr = make(i);
          TdomAttr* old = expected(i);
          TdomNode* replaced = namespaceMode ? map->setNamedItemNS(attr) : map->setNamedItem(attr);
          ASSERT_EQ(replaced, old);
          if (old != nullptr) reference.erase(std::find(reference.begin(), reference.end(), old));
          reference.push_back(attr);
          break;
        }
        case 1: {  // a second item of a name, as the parser's builder may add
          TdomAttr* attr = make(i);
          map->AddItem(attr);
          reference.push_back(attr);
          break;
        }
        case 2: {  // remove by name
          TdomAttr* old = expected(i);
          if (old == nullptr) break;
          TdomNode* removed = namespaceMode ? map->removeNamedItemNS(uriOf(i), nameOf(i)) : map->removeNamedItem(nameOf(i));
          ASSERT_EQ(removed, old);
          reference.erase(std::find(reference.begin(), reference.end(), old));
          break;
        }
        case 3: {  // remove a random item
          if (reference.empty()) break;
          TdomAttr* victim = reference[random() % reference.size()];
          ASSERT_EQ(map->RemoveItemChecked(victim), victim);
          reference.erase(std::find(reference.begin(), reference.end(), victim));
          break;
        }
        default: {
          TdomNode* found = namespaceMode ? map->getNamedItemNS(uriOf(i), nameOf(i)) : map->getNamedItem(nameOf(i));
          ASSERT_EQ(found, expected(i)) << "step " << step;
        }
      }
      ASSERT_EQ(map->GetLength(), static_cast<int>(reference.size()));
      for (size_t k = 0; k < reference.size(); ++k) ASSERT_EQ(map->Item(static_cast<int>(k)), reference[k]) << "step " << step;
    }
    for (int i = 0; i < nameCount; ++i) {
      ASSERT_EQ(namespaceMode ? map->getNamedItemNS(uriOf(i), nameOf(i)) : map->getNamedItem(nameOf(i)), expected(i));
    }
  }
}

TEST_F(DomListTest, RenamedAttributeIsFoundByItsNewName) {
  // A namespace attribute in a plain element's map is found by its node name,
  // which a new prefix changes.
  TdomElement* e = Add(doc, Elem(u"e"));
  for (int i = 0; i < 20; ++i) e->setAttribute(u"a" + std::u16string(1, char16_t(u'a' + i)), u"v");
  TdomAttr* attr = doc->createAttributeNS(u"urn:x", u"p:x");
  e->GetAttributes()->setNamedItem(attr);
  EXPECT_EQ(e->getAttributeNode(u"p:x"), attr);
  attr->SetPrefix(u"q");
  EXPECT_EQ(e->getAttributeNode(u"p:x"), nullptr);
  EXPECT_EQ(e->getAttributeNode(u"q:x"), attr);
}

class TestItem : public TdomNode {
public:
  void Create(TCustomOwnedObject* owner, std::u16string name_) {
    TdomNode::Create(owner);
    name = std::move(name_);
  }
  std::u16string GetNodeName() const override { return name; }
  ~TestItem() override { ++freed; }
  static inline int freed = 0;

private:
  std::u16string name;
};

TEST(DomOwnerNamedNodeMapTest, SortedOwningCollection) {
  TestItem::freed = 0;
  {
    TdomOwnerNamedNodeMap map(IsItemOfClass<TestItem>);
    TestItem* b = New<TestItem>(nullptr, u"b");
    TestItem* a = New<TestItem>(nullptr, u"a");
    TestItem* c = New<TestItem>(nullptr, u"c");
    EXPECT_EQ(map.Add(b), 0);
    EXPECT_EQ(map.Add(c), 1);
    EXPECT_EQ(map.Add(a), 0);
    EXPECT_EQ(map.Item(2), c);
    EXPECT_EQ(map.IndexOfNamedItem(u"b"), 1);
    EXPECT_EQ(map.IndexOfNamedItem(u"zz"), -1);
    EXPECT_TRUE(map.HasNamedItem(u"c"));
    EXPECT_EQ(map.GetNamedItem(u"q"), nullptr);
    TestItem* dup = New<TestItem>(nullptr, u"b");
    EXPECT_THROW(map.Add(dup), EStringListError);
    dup->Free();
    EXPECT_EQ(TestItem::freed, 1);
    TdomDocumentFragment* wrongClass = New<TdomDocumentFragment>(static_cast<TCustomOwnedObject*>(nullptr));
    EXPECT_THROW(map.Add(wrongClass), EHierarchy_Request_Err);
    wrongClass->Free();
    EXPECT_THROW(map.Delete(3), EStringListError);
    try {
      map.Delete(-1);
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (-1)");
    }
    EXPECT_EQ(map.ExtractItem(a), a);
    EXPECT_EQ(map.GetLength(), 2);
    EXPECT_THROW(map.ExtractItem(a), EStringListError);
    a->Free();
    EXPECT_EQ(map.RemoveItem(a), -1);
    EXPECT_EQ(map.RemoveNamedItem(u"b"), 0);
    EXPECT_EQ(TestItem::freed, 3);
  }
  EXPECT_EQ(TestItem::freed, 4);  // c freed with the map
}

}  // namespace
