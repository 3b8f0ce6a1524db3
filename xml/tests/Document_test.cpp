#include <gtest/gtest.h>

#include "DomTestSupport.h"

namespace {

class DocumentTest : public DomTest {
protected:
  TdomEntityReference* ExpandedReference(const std::u16string& name) {
    TdomEntityReference* ref = doc->createEntityReference(name);
    ref->ExpandEntity();
    return ref;
  }
};

TEST_F(DocumentTest, BasicsOfTheDocumentNode) {
  EXPECT_EQ(doc->GetNodeName(), u"#document");
  EXPECT_EQ(doc->GetNodeType(), ntDocument_Node);
  EXPECT_EQ(doc->GetOwnerDocument(), nullptr);
  EXPECT_EQ(doc->GetReferenceDocument(), doc);
  EXPECT_EQ(doc->GetXmlStandalone(), STANDALONE_UNSPECIFIED);
  doc->SetNodeValue(u"ignored");
  EXPECT_EQ(doc->GetNodeValue(), u"");
  EXPECT_EQ(doc->GetDocumentElement(), nullptr);
  EXPECT_EQ(doc->GetTabWidth(), 4);
  impl->SetTabWidth(8);
  EXPECT_EQ(Elem(u"e")->GetTabWidth(), 8);
}

TEST_F(DocumentTest, FactoriesCheckNames) {
  EXPECT_DOM_ERROR(doc->createElement(u"1a"), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createAttribute(u""), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createProcessingInstruction(u"XML", u""), EInvalid_Character_Err,
                   "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createProcessingInstruction(u"xMl", u""), EInvalid_Character_Err,
                   "Invalid character error.");
  EXPECT_EQ(doc->createProcessingInstruction(u"xml-stylesheet", u"d")->GetData(), u"d");
  EXPECT_DOM_ERROR(doc->createEntityReference(u"a b"), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createEntity(u"e", u"bad{", u"", u""), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createNotation(u"n", u"", u"a'b\"c"), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(doc->createNotation(u"n", u"pub~", u""), EInvalid_Character_Err, "Invalid character error.");
  int owned = doc->OwnedObjectCount();
  EXPECT_THROW(doc->createElement(u"<"), EInvalid_Character_Err);
  EXPECT_EQ(doc->OwnedObjectCount(), owned);  // a refused node leaves nothing behind
  TdomNode* nodes[] = {Elem(u"e"), doc->createAttribute(u"a"), Text(u"t"), doc->createCDATASection(u"c"),
                       doc->createEntityReference(u"r"), doc->createEntity(u"en", u"", u"", u""),
                       doc->createProcessingInstruction(u"p", u""), doc->createComment(u"c"),
                       doc->createDocumentFragment(), doc->createNotation(u"n", u"", u""),
                       doc->createDocumentTypeDecl(u"d", u"", u"", u"")};
  const TdomNodeType types[] = {ntElement_Node, ntAttribute_Node, ntText_Node, ntCDATA_Section_Node,
                                ntEntity_Reference_Node, ntEntity_Node, ntProcessing_Instruction_Node,
                                ntComment_Node, ntDocument_Fragment_Node, ntNotation_Node,
                                ntDocument_Type_Decl_Node};
  for (size_t i = 0; i < std::size(nodes); ++i) {
    EXPECT_EQ(nodes[i]->GetNodeType(), types[i]) << i;
    EXPECT_EQ(nodes[i]->GetOwnerDocument(), doc) << i;
    EXPECT_EQ(nodes[i]->GetParentNode(), nullptr) << i;
  }
}

TEST_F(DocumentTest, ChildRules) {
  TdomElement* root = Add(doc, Elem(u"root"));
  EXPECT_DOM_ERROR(doc->appendChild(Elem(u"second")), EHierarchy_Request_Err, "Hierarchy request error.");
  EXPECT_EQ(ChildNames(doc), u"root");
  EXPECT_DOM_ERROR(doc->appendChild(nullptr), ENot_Supported_Err, "Not supported error.");
  TdomDocumentTypeDecl* decl = doc->createDocumentTypeDecl(u"root", u"", u"", u"");
  EXPECT_THROW(doc->insertBefore(decl, nullptr), EHierarchy_Request_Err);
  doc->insertBefore(decl, root);
  EXPECT_EQ(ChildNames(doc), u"root,root");
  EXPECT_EQ(doc->GetDoctypeDecl(), decl);
  EXPECT_THROW(doc->insertBefore(doc->createDocumentTypeDecl(u"x", u"", u"", u""), decl), EHierarchy_Request_Err);
  EXPECT_THROW(doc->replaceChild(Elem(u"x"), decl), EHierarchy_Request_Err);
  TdomComment* comment = Add(doc, doc->createComment(u"c"));
  EXPECT_THROW(doc->replaceChild(doc->createDocumentTypeDecl(u"x", u"", u"", u""), comment), EHierarchy_Request_Err);
  TdomElement* replacement = Elem(u"new");
  EXPECT_EQ(doc->replaceChild(replacement, root), root);
  EXPECT_EQ(doc->GetDocumentElement(), replacement);
  EXPECT_THROW(doc->replaceChild(nullptr, comment), ENot_Supported_Err);
  EXPECT_THROW(doc->appendChild(doc->createCDATASection(u"x")), EHierarchy_Request_Err);
}

TEST_F(DocumentTest, ElementGoesAfterTheDeclaration) {
  TdomDocumentTypeDecl* decl = Add(doc, doc->createDocumentTypeDecl(u"root", u"", u"", u""));
  TdomComment* before = doc->createComment(u"before");
  doc->insertBefore(before, decl);
  EXPECT_THROW(doc->insertBefore(Elem(u"root"), decl), EHierarchy_Request_Err);
  TdomElement* root = Elem(u"root");
  doc->insertBefore(root, nullptr);
  EXPECT_EQ(ChildNames(doc), u"#comment,root,root");
  EXPECT_EQ(doc->GetDocumentElement(), root);
}

TEST_F(DocumentTest, DocumentElementFactories) {
  EXPECT_EQ(doc->CreateDocumentElement(u"root")->GetNodeName(), u"root");
  EXPECT_DOM_ERROR(doc->CreateDocumentElement(u"again"), EHierarchy_Request_Err, "Hierarchy request error.");
  TdomDocument* ns = impl->CreateEmptyDocument();
  EXPECT_THROW(ns->CreateDocumentElementNS(u"", u"p:root"), ENamespace_Err);
  EXPECT_THROW(ns->CreateDocumentElementNS(u"urn:x", u"xml:root"), ENamespace_Err);
  EXPECT_THROW(ns->CreateDocumentElementNS(u"urn:x", u"xmlns:root"), ENamespace_Err);
  EXPECT_THROW(ns->CreateDocumentElementNS(u"urn:x", u"1root"), EInvalid_Character_Err);
  EXPECT_FALSE(ns->hasChildNodes());
  TdomElement* root = ns->CreateDocumentElementNS(u"urn:x", u"p:root");
  EXPECT_EQ(root->GetLocalName(), u"root");
  EXPECT_EQ(root->GetPrefix(), u"p");
  EXPECT_THROW(ns->CreateDocumentElementNS(u"urn:x", u"p:other"), EHierarchy_Request_Err);
}

TEST_F(DocumentTest, ImportCopiesSpecifiedAttributesAndChildren) {
  TdomDocument* source = impl->CreateEmptyDocument();
  TdomElement* root = source->CreateDocumentElement(u"root");
  root->setAttribute(u"kept", u"a&#38;b");
  TdomAttr* defaulted = root->setAttribute(u"defaulted", u"d");
  defaulted->SetSpecified(false);
  root->appendChild(source->createTextNode(u"t"));
  TdomElement* child = source->createElementNS(u"urn:n", u"n:child");
  root->appendChild(child);
  child->setAttributeNS(u"urn:n", u"n:at", u"v");
  child->appendChild(source->createCDATASection(u"cd"));
  child->appendChild(source->createComment(u"co"));
  child->appendChild(source->createProcessingInstruction(u"pi", u"data"));
  child->appendChild(source->createEntityReference(u"gt"));

  TdomElement* copy = static_cast<TdomElement*>(doc->importNode(root, true));
  EXPECT_EQ(copy->GetOwnerDocument(), doc);
  EXPECT_EQ(copy->getAttribute(u"kept"), u"a&#38;b");
  EXPECT_FALSE(copy->hasAttribute(u"defaulted"));
  EXPECT_EQ(ChildNames(copy), u"#text,n:child");
  TdomElement* childCopy = static_cast<TdomElement*>(copy->GetLastChildNode());
  EXPECT_TRUE(childCopy->IsNamespaceAware());
  EXPECT_EQ(childCopy->getAttributeNS(u"urn:n", u"at"), u"v");
  EXPECT_EQ(ChildNames(childCopy), u"#cdata-section,#comment,pi,gt");
  EXPECT_EQ(childCopy->GetLastChildNode()->GetTextContent(), u">");
  EXPECT_EQ(copy->GetTextContent(), u"tcd>");
  TdomNode* shallow = doc->importNode(root, false);
  EXPECT_FALSE(shallow->hasChildNodes());
  EXPECT_TRUE(static_cast<TdomElement*>(shallow)->hasAttribute(u"kept"));

  EXPECT_DOM_ERROR(doc->importNode(source, true), ENot_Supported_Err, "Not supported error.");
  EXPECT_THROW(doc->importNode(nullptr, true), ENot_Supported_Err);
  EXPECT_THROW(doc->importNode(source->createDocumentTypeDecl(u"d", u"", u"", u""), true), ENot_Supported_Err);

  TdomEntity* entity = source->createEntity(u"ent", u"", u"sys.xml", u"");
  entity->xmlVersion = u"1.0";
  TdomEntity* entityCopy = static_cast<TdomEntity*>(doc->importNode(entity, true));
  EXPECT_EQ(entityCopy->GetSystemId(), u"sys.xml");
  EXPECT_EQ(entityCopy->xmlVersion, u"1.0");
  TdomNotation* notation = static_cast<TdomNotation*>(doc->importNode(source->createNotation(u"n", u"p", u"s"), false));
  EXPECT_EQ(notation->GetPublicId(), u"p");
}

TEST_F(DocumentTest, CloneEveryNodeKind) {
  TdomElement* root = Add(doc, Elem(u"root"));
  root->setAttribute(u"a", u"1");
  Add(root, Text(u"x"));
  TdomNode* kinds[] = {root, root->getAttributeNode(u"a"), root->GetFirstChildNode(), doc->createComment(u"c"),
                       doc->createCDATASection(u"d"), doc->createProcessingInstruction(u"p", u"q"),
                       doc->createDocumentFragment(), ExpandedReference(u"quot"),
                       doc->createNotation(u"n", u"", u""), doc->createEntity(u"e", u"", u"", u"")};
  for (TdomNode* node : kinds) {
    TdomNode* copy = node->cloneNode(true);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, node);
    EXPECT_EQ(copy->GetNodeType(), node->GetNodeType());
    EXPECT_EQ(copy->GetNodeName(), node->GetNodeName());
    EXPECT_EQ(copy->GetTextContent(), node->GetTextContent());
    EXPECT_EQ(copy->GetParentNode(), nullptr);
  }
  EXPECT_THROW(doc->cloneNode(true), ENot_Supported_Err);
}

TEST_F(DocumentTest, EntityReplacementTextWithoutModels) {
  struct Case {
    const char16_t* name;
    const char16_t* text;
    TXmlErrorType error;
  };
  const Case cases[] = {{u"lt", u"&#60;", ET_NONE},   {u"gt", u">", ET_NONE},  {u"amp", u"&#38;", ET_NONE},
                        {u"apos", u"'", ET_NONE},     {u"quot", u"\"", ET_NONE}, {u"nbsp", u"", ET_UNDEFINED_ENTITY},
                        {u"LT", u"", ET_UNDEFINED_ENTITY}};
  for (const Case& c : cases) {
    std::u16string text = u"stale";
    TXmlErrorType error = ET_NONE;
    doc->ResolveEntityReplacementText(c.name, text, error);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(DocumentTest, AttributeValueNormalisationWithoutModels) {
  struct Case {
    const char16_t* raw;
    const char16_t* value;
    TXmlErrorType error;
  };
  const Case cases[] = {
      {u"a&#9;b", u"a\tb", ET_NONE},  // a referenced tab is kept, as XML 1.0 normalisation says
      {u"a\tb\nc\rd", u"a b c d", ET_NONE},
      {u"&lt;&gt;&amp;&apos;&quot;", u"<>&'\"", ET_NONE},
      {u"&#x41;&#66;", u"AB", ET_NONE},
      {u"x<y", u"", ET_LT_IN_ATTRIBUTE_VALUE},
      {u"x&#60;y", u"x<y", ET_NONE},  // a referenced "<" is legal; the literal one above is not
      {u"x&unknown;", u"", ET_UNDEFINED_ENTITY},
      {u"x&amp", u"", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE},
      {u"x&", u"", ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE},
      {u"&#0;", u"", ET_INVALID_CHAR_REF},
      {u"&#4294967361;", u"", ET_INVALID_CHAR_REF},
      {u"", u"", ET_NONE},
  };
  TdomElement* e = Add(doc, Elem(u"e"));
  for (const Case& c : cases) {
    TdomAttr* attr = doc->createAttribute(u"a");
    attr->SetNodeValue(c.raw);
    e->setAttributeNode(attr);
    std::u16string value = u"stale";
    TXmlErrorType error = ET_NONE;
    doc->CalculateNormalizedAttrValue(attr, value, error);
    EXPECT_EQ(value, c.value) << std::string(c.raw, c.raw + std::char_traits<char16_t>::length(c.raw));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(attr->GetNodeValue(), c.raw);
    if (IsHintOrWarningErrorType(c.error)) {
      EXPECT_EQ(attr->GetValue(), c.value);
    } else {
      EXPECT_DOM_ERROR(attr->GetValue(), EConvertError, "Attribute value normalization failed.");
      EXPECT_DOM_ERROR(e->getAttributeNormalizedValue(u"a"), EConvertError,
                       "Literal attribute value cannot be resolved.");
    }
  }
  TdomAttr* foreign = impl->CreateEmptyDocument()->createAttribute(u"f");
  std::u16string value;
  TXmlErrorType error;
  EXPECT_THROW(doc->CalculateNormalizedAttrValue(foreign, value, error), EAssertionFailed);
}

TEST_F(DocumentTest, ValidationAndErrorsWithoutModels) {
  struct Recorder {
    std::vector<TXmlErrorType> types;
    void OnError(TObject*, TdomError* error, bool&) { types.push_back(error->ErrorType()); }
  } recorder;
  impl->OnError = MakeEvent<&Recorder::OnError>(&recorder);
  EXPECT_FALSE(doc->validate(true));
  ASSERT_EQ(recorder.types.size(), 1u);
  EXPECT_EQ(recorder.types[0], ET_DOCTYPE_NOT_FOUND);
  EXPECT_TRUE(doc->HandleError(ET_UNDEFINED_ENTITY, doc));
  EXPECT_FALSE(doc->HandleError(ET_UNCLOSED_COMMENT, doc));
  Add(doc, doc->createDocumentTypeDecl(u"root", u"", u"", u""));
  EXPECT_EQ(doc->GetDoctypeDecl()->GetPreparationStatus(), PS_UNPREPARED);
  // An empty DTD read, but no root element to check against it.
  EXPECT_FALSE(doc->validate(true));
  EXPECT_EQ(recorder.types.back(), ET_MISSING_ROOT_ELEMENT);
  EXPECT_TRUE(doc->GetDoctypeDecl()->HasASModels());
  TdomText* ws = Text(u"  ");
  EXPECT_FALSE(ws->isWhitespaceInElementContent());
  // A document without implementation decides by severity alone.
  TdomDocument* lone = New<TdomDocument>(static_cast<TDomImplementation*>(nullptr), nullptr);
  EXPECT_TRUE(lone->HandleError(ET_ATTRIBUTE_TYPE_MISMATCH, nullptr));
  EXPECT_FALSE(lone->HandleError(ET_MISSING_ROOT_ELEMENT, nullptr));
  EXPECT_EQ(lone->GetTabWidth(), 1);
  lone->Free();
}

TEST_F(DocumentTest, DefaultAttributesAreDroppedWithoutModels) {
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomElement* child = Add(root, Elem(u"child"));
  root->setAttribute(u"keep", u"1");
  child->setAttribute(u"def", u"2")->SetSpecified(false);
  child->setAttribute(u"keep2", u"3");
  EXPECT_TRUE(doc->prepareAttributes());
  EXPECT_FALSE(child->hasAttribute(u"def"));
  EXPECT_TRUE(child->hasAttribute(u"keep2"));
  EXPECT_TRUE(root->hasAttribute(u"keep"));
  TdomDocument* ns = impl->CreateEmptyDocument();
  ns->CreateDocumentElementNS(u"urn:x", u"x:r");
  EXPECT_TRUE(ns->prepareAttributes());
  EXPECT_TRUE(impl->CreateEmptyDocument()->prepareAttributes());
}

TEST_F(DocumentTest, IdTable) {
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomAttr* id = root->setAttribute(u"id", u"x1");
  EXPECT_EQ(doc->getElementById(u"x1"), nullptr);
  doc->AddID(u"x1", id);
  EXPECT_EQ(doc->getElementById(u"x1"), root);
  EXPECT_EQ(doc->getElementById(u"x2"), nullptr);
  EXPECT_DOM_ERROR(doc->AddID(u"x1", id), EStringListError, "String list does not allow duplicates");
  doc->ClearIDs();
  EXPECT_EQ(doc->getElementById(u"x1"), nullptr);
}

TEST_F(DocumentTest, TraversalObjectsBelongToTheDocument) {
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomTreeWalker* walker = doc->createTreeWalker(root, kShowAll, nullptr, true);
  TdomDocument* other = impl->CreateEmptyDocument();
  EXPECT_DOM_ERROR(other->createTreeWalker(root, kShowAll, nullptr, true), EWrong_Document_Err,
                   "Wrong document error.");
  EXPECT_THROW(other->createNodeIterator(root, kShowAll, nullptr, true), EWrong_Document_Err);
  TdomTreeWalker* foreign = other->createTreeWalker(other, kShowAll, nullptr, true);
  EXPECT_DOM_ERROR(doc->FreeTreeWalker(foreign), EWrong_Document_Err, "Wrong document error.");
  EXPECT_NE(foreign, nullptr);
  doc->FreeTreeWalker(walker);
  EXPECT_EQ(walker, nullptr);
  doc->FreeTreeWalker(walker);  // null: nothing
  TdomNodeIterator* it1 = doc->createNodeIterator(root, kShowAll, nullptr, true);
  doc->createNodeIterator(root, kShowAll, nullptr, true);
  EXPECT_EQ(doc->NodeIteratorCount(), 2);
  it1->detach();
  doc->ClearInvalidNodeIterators();
  EXPECT_EQ(doc->NodeIteratorCount(), 1);
  EXPECT_THROW(doc->createNodeIterator(nullptr, kShowAll, nullptr, true), ENot_Supported_Err);
  EXPECT_THROW(doc->createTreeWalker(nullptr, kShowAll, nullptr, true), ENot_Supported_Err);
  doc->Clear();  // frees iterators and walkers with the children
  EXPECT_EQ(doc->NodeIteratorCount(), 0);
}

}  // namespace
