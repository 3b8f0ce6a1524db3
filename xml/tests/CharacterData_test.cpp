#include <gtest/gtest.h>

#include "DomTestSupport.h"

namespace {

using CharacterDataTest = DomTest;

struct EditCase {
  const char* name;
  int offset;
  int count;
  const char16_t* arg;
  const char16_t* result;  // null: Index size error
};

TEST_F(CharacterDataTest, ReplaceInsertDeleteSubstring) {
  const EditCase replaceCases[] = {
      {"past end", 2, 100, u"X", u"abX"},   {"insert front", 0, 0, u">", u">abcdef"},
      {"middle", 1, 1, u"", u"acdef"},      {"at end", 6, 0, u"!", u"abcdef!"},
      {"negative offset", -1, 0, u"", nullptr}, {"offset past end", 7, 0, u"", nullptr},
      {"negative count", 0, -1, u"", nullptr},
  };
  for (const EditCase& c : replaceCases) {
    TdomText* t = Text(u"abcdef");
    if (c.result == nullptr) {
      EXPECT_DOM_ERROR(t->replaceData(c.offset, c.count, c.arg), EIndex_Size_Err, "Index size error.");
      EXPECT_EQ(t->GetData(), u"abcdef") << c.name;
    } else {
      t->replaceData(c.offset, c.count, c.arg);
      EXPECT_EQ(t->GetData(), c.result) << c.name;
    }
  }
  TdomComment* c = doc->createComment(u"abc");
  c->insertData(0, u"x");
  EXPECT_EQ(c->GetData(), u"xabc");
  c->deleteData(1, 1);
  EXPECT_EQ(c->GetData(), u"xbc");
  TdomText* three = Text(u"abc");
  three->deleteData(1, 1);
  EXPECT_EQ(three->GetData(), u"ac");
  EXPECT_EQ(three->substringData(2, 5), u"");
  EXPECT_EQ(three->substringData(0, 1), u"a");
  EXPECT_EQ(three->substringData(1, 99), u"c");
  EXPECT_THROW(three->substringData(3, 0), EIndex_Size_Err);
  EXPECT_THROW(three->substringData(0, -1), EIndex_Size_Err);
  EXPECT_EQ(three->GetLength(), 2);
}

TEST_F(CharacterDataTest, ReadOnlyCheckComesFirst) {
  TdomText* t = Text(u"abc");
  t->SetReadOnly(true);
  EXPECT_DOM_ERROR(t->replaceData(99, 0, u""), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_DOM_ERROR(t->appendData(u"x"), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_DOM_ERROR(t->splitText(99), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_EQ(t->GetData(), u"abc");
}

TEST_F(CharacterDataTest, AppendDataManyTimes) {
  TdomText* t = Text(u"");
  for (int i = 0; i < 200000; ++i) t->appendData(u"x");
  EXPECT_EQ(t->GetLength(), 200000);
}

TEST_F(CharacterDataTest, SplitText) {
  TdomElement* e = Add(doc, Elem(u"e"));
  TdomText* t = Add(e, Text(u"hello"));
  TdomElement* after = Add(e, Elem(u"after"));
  TdomText* tail = t->splitText(2);
  EXPECT_EQ(t->GetData(), u"he");
  EXPECT_EQ(tail->GetData(), u"llo");
  EXPECT_EQ(tail->GetNextSiblingNode(), after);
  TdomText* whole = t->splitText(0);
  EXPECT_EQ(t->GetData(), u"");
  EXPECT_EQ(whole->GetData(), u"he");
  TdomText* empty = tail->splitText(3);
  EXPECT_EQ(empty->GetData(), u"");
  EXPECT_EQ(ChildNames(e), u"#text,#text,#text,#text,after");
  TdomCDATASection* cdata = doc->createCDATASection(u"ab");
  TdomText* fromCData = cdata->splitText(1);
  EXPECT_EQ(fromCData->GetNodeType(), ntText_Node);
  EXPECT_EQ(fromCData->GetParentNode(), nullptr);
  EXPECT_THROW(cdata->splitText(5), EIndex_Size_Err);
  EXPECT_THROW(cdata->splitText(-1), EIndex_Size_Err);
  // A read-only parent refuses the new node before any text is cut off.
  e->SetReadOnly(true);
  int children = e->GetChildCount();
  EXPECT_DOM_ERROR(whole->splitText(1), ENo_Modification_Allowed_Err, "No modification allowed.");
  EXPECT_EQ(whole->GetData(), u"he");
  EXPECT_EQ(e->GetChildCount(), children);
}

TEST_F(CharacterDataTest, ProcessingInstructionsAndNamespaceNodes) {
  TdomProcessingInstruction* pi = doc->createProcessingInstruction(u"target", u"data");
  EXPECT_EQ(pi->GetNodeName(), u"target");
  EXPECT_EQ(pi->GetNodeValue(), u"data");
  pi->SetData(u"new");
  EXPECT_EQ(pi->GetData(), u"new");
  EXPECT_THROW(pi->appendChild(Text(u"x")), EHierarchy_Request_Err);

  TdomElement* owner = Add(doc, doc->createElementNS(u"urn:o", u"o:e"));
  owner->setAttributeNS(kXmlnsNamespaceUri, u"xmlns:o", u"urn:o");
  TdomXPathNamespace* ns = New<TdomXPathNamespace>(doc, std::u16string(u"o"), std::u16string(u"urn:o"), owner);
  EXPECT_EQ(ns->GetNodeName(), u"#namespace");
  EXPECT_EQ(ns->GetNodeType(), ntXPath_Namespace_Node);
  EXPECT_EQ(ns->GetNodeValue(), u"urn:o");
  EXPECT_EQ(ns->GetLocalName(), u"o");
  EXPECT_EQ(ns->GetOwnerDocument(), doc);
  EXPECT_EQ(ns->lookupNamespaceURI(u"o"), u"urn:o");
  EXPECT_EQ(ns->GetXPathStringValue(), u"urn:o");
  EXPECT_TRUE(ns->GetReadOnly());
  TdomXPathNamespace* empty = New<TdomXPathNamespace>(doc, std::u16string(), std::u16string(), nullptr);
  EXPECT_EQ(empty->GetOwnerDocument(), nullptr);
  EXPECT_THROW(New<TdomXPathNamespace>(doc, std::u16string(u"1"), std::u16string(u"urn:x"), owner),
               EInvalid_Character_Err);
  EXPECT_THROW(New<TdomXPathNamespace>(doc, std::u16string(u"p"), std::u16string(), owner), ENamespace_Err);
  EXPECT_THROW(New<TdomXPathNamespace>(doc, std::u16string(u"xml"), std::u16string(u"urn:x"), owner),
               ENamespace_Err);
  EXPECT_THROW(New<TdomXPathNamespace>(doc, std::u16string(u"xmlns"), std::u16string(u"urn:x"), owner),
               ENamespace_Err);
}

}  // namespace
