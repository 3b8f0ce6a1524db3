#include <gtest/gtest.h>

#include "DomTestSupport.h"

namespace {

using ElementAttrTest = DomTest;

TEST_F(ElementAttrTest, PlainAttributes) {
  TdomElement* e = Add(doc, Elem(u"e"));
  EXPECT_EQ(e->getAttribute(u"missing"), u"");
  EXPECT_EQ(e->getAttributeNode(u"missing"), nullptr);
  EXPECT_EQ(e->getAttributeNormalizedValue(u"missing"), u"");
  TdomAttr* first = e->setAttribute(u"a", u"1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(e->setAttribute(u"a", u"2"), nullptr);
  EXPECT_EQ(e->getAttribute(u"a"), u"2");
  EXPECT_EQ(first->GetOwnerElement(), e);
  EXPECT_TRUE(first->GetSpecified());
  EXPECT_TRUE(e->hasAttributes());
  EXPECT_DOM_ERROR(e->removeAttribute(u"b"), ENot_Found_Err, "Node not found error.");
  e->removeAttribute(u"a");
  EXPECT_FALSE(e->hasAttribute(u"a"));
  EXPECT_EQ(first->GetOwnerElement(), nullptr);
  EXPECT_FALSE(e->hasAttributes());
  EXPECT_FALSE(Elem(u"fresh")->hasAttributes());
  EXPECT_THROW(e->setAttribute(u"1bad", u"x"), EInvalid_Character_Err);
  e->SetReadOnly(true);
  EXPECT_DOM_ERROR(e->setAttribute(u"c", u"x"), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_DOM_ERROR(e->setAttributeNode(doc->createAttribute(u"c")), ENo_Modification_Allowed_Err,
                   "No modification allowed error.");
}

TEST_F(ElementAttrTest, DeclarationKinds) {
  EXPECT_EQ(doc->createAttribute(u"xmlns")->GetDeclarationKind(), AT_DEFAULT_NAMESPACE_DECL);
  EXPECT_EQ(doc->createAttribute(u"xmlns:p")->GetDeclarationKind(), AT_PREFIXED_NAMESPACE_DECL);
  EXPECT_EQ(doc->createAttribute(u"xmlnsx")->GetDeclarationKind(), AT_OTHER);
  EXPECT_EQ(doc->createAttributeNS(kXmlnsNamespaceUri, u"xmlns")->GetDeclarationKind(), AT_DEFAULT_NAMESPACE_DECL);
  EXPECT_EQ(doc->createAttributeNS(kXmlnsNamespaceUri, u"xmlns:p")->GetDeclarationKind(),
            AT_PREFIXED_NAMESPACE_DECL);
  EXPECT_EQ(doc->createAttributeNS(u"urn:x", u"p:a")->GetDeclarationKind(), AT_OTHER);
}

struct NameCase {
  const char16_t* uri;
  const char16_t* name;
  int expected;  // 0 ok, 1 namespace error, 2 invalid character
};

TEST_F(ElementAttrTest, NamespaceAwareNameRules) {
  const NameCase attrCases[] = {
      {u"urn:x", u"p:a", 0},          {u"", u"a", 0},
      {u"urn:x", u"xmlns:p", 1},      {u"urn:x", u"xmlns", 1},
      {kXmlnsNamespaceUri, u"xmlns", 0}, {u"", u"p:a", 1},
      {u"urn:x", u"xml:a", 1},        {kXmlNamespaceUri, u"xml:lang", 0},
      {u"urn:x", u"a:b:c", 1},        {u"urn:x", u":a", 1},
      {u"urn:x", u"1a", 2},           {u"urn:x", u"a b", 2},
  };
  for (const NameCase& c : attrCases) {
    int got = 0;
    try {
      doc->createAttributeNS(c.uri, c.name);
    } catch (const ENamespace_Err&) {
      got = 1;
    } catch (const EInvalid_Character_Err&) {
      got = 2;
    }
    EXPECT_EQ(got, c.expected) << "attribute " << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
  const NameCase elementCases[] = {
      {u"", u"xml:e", 1},   {u"urn:x", u"xml:e", 1}, {kXmlNamespaceUri, u"xml:e", 0},
      {u"urn:x", u"xmlns", 0}, {u"", u"e", 0},     {u"urn:x", u"a:b:c", 1},
      {u"urn:x", u"9e", 2},
  };
  for (const NameCase& c : elementCases) {
    int got = 0;
    try {
      doc->createElementNS(c.uri, c.name);
    } catch (const ENamespace_Err&) {
      got = 1;
    } catch (const EInvalid_Character_Err&) {
      got = 2;
    }
    EXPECT_EQ(got, c.expected) << "element " << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
}

TEST_F(ElementAttrTest, NamespaceAttributesAndPrefixes) {
  TdomElement* e = Add(doc, doc->createElementNS(u"urn:e", u"e:root"));
  TdomAttr* a = e->setAttributeNS(u"urn:a", u"a:x", u"1");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(e->getAttributeNS(u"urn:a", u"x"), u"1");
  EXPECT_EQ(e->setAttributeNS(u"urn:a", u"b:x", u"2"), nullptr);
  EXPECT_EQ(a->GetNodeName(), u"b:x");
  EXPECT_EQ(a->GetNodeValue(), u"2");
  EXPECT_EQ(e->setAttributeNS(u"urn:a", u"x", u"3"), nullptr);  // drops the prefix
  EXPECT_EQ(a->GetNodeName(), u"x");
  EXPECT_TRUE(e->hasAttributeNS(u"urn:a", u"x"));
  EXPECT_THROW(e->setAttributeNS(u"", u"p:y", u"v"), ENamespace_Err);
  EXPECT_THROW(e->setAttributeNS(u"urn:x", u"xmlns:p", u"v"), ENamespace_Err);
  EXPECT_THROW(e->getAttribute(u"x"), ENamespace_Err);
  e->removeAttributeNS(u"urn:a", u"x");
  EXPECT_FALSE(e->hasAttributeNS(u"urn:a", u"x"));

  EXPECT_DOM_ERROR(e->SetPrefix(u"1"), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(e->SetPrefix(u"a:b"), ENamespace_Err, "Namespace error.");
  EXPECT_DOM_ERROR(e->SetPrefix(u"xml"), ENamespace_Err, "Namespace error.");
  e->SetPrefix(u"f");
  EXPECT_EQ(e->GetNodeName(), u"f:root");
  TdomElement* plain = Elem(u"plain");
  EXPECT_DOM_ERROR(plain->SetPrefix(u"p"), ENamespace_Err, "Namespace error.");
  TdomAttr* decl = doc->createAttributeNS(kXmlnsNamespaceUri, u"xmlns");
  EXPECT_DOM_ERROR(decl->SetPrefix(u"xmlns"), ENamespace_Err, "Namespace error.");
  TdomAttr* other = doc->createAttributeNS(u"urn:o", u"o:a");
  EXPECT_DOM_ERROR(other->SetPrefix(u"xmlns"), ENamespace_Err, "Namespace error.");
  plain->SetReadOnly(true);
  EXPECT_DOM_ERROR(plain->SetPrefix(u"p"), ENo_Modification_Allowed_Err, "No modification allowed error.");
}

TEST_F(ElementAttrTest, LookupNamespaceUri) {
  TdomElement* root = Add(doc, Elem(u"root"));
  root->setAttribute(u"xmlns", u"urn:default");
  root->setAttribute(u"xmlns:p", u"urn:p");
  TdomElement* child = Add(root, doc->createElementNS(u"urn:c", u"c:child"));
  child->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:c", u"urn:c");
  TdomAttr* attr = child->setAttributeNS(u"urn:c", u"c:at", u"v");
  EXPECT_EQ(child->lookupNamespaceURI(u"c"), u"urn:c");
  EXPECT_EQ(child->lookupNamespaceURI(u"p"), u"urn:p");
  EXPECT_EQ(child->lookupNamespaceURI(u""), u"urn:default");
  EXPECT_EQ(child->lookupNamespaceURI(u"q"), u"");
  EXPECT_EQ(child->lookupNamespaceURI(u"xml"), kXmlNamespaceUri);
  EXPECT_EQ(attr->lookupNamespaceURI(u"p"), u"urn:p");
  EXPECT_EQ(attr->lookupNamespaceURI(u""), u"");
  EXPECT_EQ(doc->createAttribute(u"lonely")->lookupNamespaceURI(u"xmlns"), kXmlnsNamespaceUri);
}

TEST_F(ElementAttrTest, LookupAfterADeclarationWasRenamed) {
  // A declaration keeps binding its local name whatever its prefix becomes.
  TdomElement* e = Add(doc, doc->createElementNS(u"urn:e", u"e"));
  TdomAttr* decl = e->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:b", u"urn:b");
  ASSERT_NE(decl, nullptr);
  decl->SetPrefix(u"a");
  EXPECT_EQ(decl->GetNodeName(), u"a:b");
  EXPECT_EQ(decl->GetDeclarationKind(), AT_PREFIXED_NAMESPACE_DECL);
  EXPECT_EQ(e->lookupNamespaceURI(u"b"), u"urn:b");
  EXPECT_EQ(e->lookupNamespaceURI(u"a"), u"");
  EXPECT_EQ(e->lookupNamespaceURI(u"xmlns"), kXmlnsNamespaceUri);
  // A short renamed declaration ("p:q") once cut its name past its end.
  TdomAttr* shortDecl = e->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:q", u"urn:q");
  shortDecl->SetPrefix(u"p");
  EXPECT_EQ(e->lookupNamespaceURI(u"q"), u"urn:q");
  EXPECT_EQ(e->lookupNamespaceURI(u"zz"), u"");
  EXPECT_EQ(shortDecl->lookupNamespaceURI(u"q"), u"urn:q");
}

TEST_F(ElementAttrTest, SetAttributeNodeReportsAndReturnsDisplaced) {
  struct Log {
    std::vector<TdomAttrChange> changes;
    void Attr(TObject*, TdomNode*, TdomAttrChange change, TdomAttr*) { changes.push_back(change); }
  } log;
  doc->OnAttrModified = MakeEvent<&Log::Attr>(&log);
  TdomElement* e = Add(doc, Elem(u"e"));
  TdomAttr* a1 = doc->createAttribute(u"a");
  TdomAttr* a2 = doc->createAttribute(u"a");
  EXPECT_EQ(e->setAttributeNode(a1), nullptr);
  EXPECT_EQ(e->setAttributeNode(a2), a1);
  EXPECT_EQ(a1->GetOwnerElement(), nullptr);
  a2->SetNodeValue(u"v");
  EXPECT_EQ(e->removeAttributeNode(a2), a2);
  a2->SetNodeValue(u"w");  // no owner: nobody hears of it
  EXPECT_EQ(log.changes, (std::vector<TdomAttrChange>{AC_ADDITION, AC_ADDITION, AC_MODIFICATION, AC_REMOVAL}));
  EXPECT_DOM_ERROR(e->removeAttributeNode(a2), ENot_Found_Err, "Node not found error.");
}

TEST_F(ElementAttrTest, FreeingAttributesAndElements) {
  TdomElement* e = Add(doc, Elem(u"e"));
  TdomAttr* a = e->setAttribute(u"a", u"1");
  e->setAttribute(u"b", u"2");
  a->Free();  // leaves its element first
  EXPECT_EQ(e->GetAttributes()->GetLength(), 1);
  e->SetReadOnly(true);
  TdomAttr* b = e->getAttributeNode(u"b");
  b->Free();
  EXPECT_EQ(e->GetAttributes()->GetLength(), 0);
  EXPECT_TRUE(e->GetReadOnly());
  e->SetReadOnly(false);
  e->setAttribute(u"c", u"3");
  int before = doc->OwnedObjectCount();
  doc->removeChild(e);
  e->Free();  // frees its attribute with it
  EXPECT_EQ(doc->OwnedObjectCount(), before - 2);
}

TEST_F(ElementAttrTest, NormalizeMergesAdjacentTexts) {
  TdomElement* e = Add(doc, Elem(u"e"));
  Add(e, Text(u"a"));
  Add(e, Text(u"b"));
  TdomElement* inner = Add(e, Elem(u"inner"));
  Add(inner, Text(u"x"));
  Add(inner, Text(u""));
  Add(inner, Text(u"y"));
  Add(e, Text(u"c"));
  Add(e, doc->createCDATASection(u"d"));
  Add(e, Text(u"f"));
  e->normalize();
  EXPECT_EQ(ChildNames(e), u"#text,inner,#text,#cdata-section,#text");
  EXPECT_EQ(e->GetFirstChildNode()->GetNodeValue(), u"ab");
  EXPECT_EQ(ChildNames(inner), u"#text");
  EXPECT_EQ(inner->GetFirstChildNode()->GetNodeValue(), u"xy");
}

TEST_F(ElementAttrTest, CharRefInValueReadsBackRawAndNormalised) {
  TdomElement* e = Add(doc, Elem(u"e"));
  TdomAttr* a = e->setAttribute(u"a", u"x&#9;y");
  EXPECT_EQ(a->GetNodeValue(), u"x&#9;y");
  // A literal tab becomes a space; a referenced one is kept (XML 1.0, 3.3.3).
  EXPECT_EQ(a->GetValue(), u"x\ty");
  EXPECT_EQ(e->getAttributeNormalizedValue(u"a"), u"x\ty");
  a->SetNodeValue(u"x\ty");
  EXPECT_EQ(a->GetValue(), u"x y");
}

}  // namespace
