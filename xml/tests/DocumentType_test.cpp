#include <gtest/gtest.h>

#include "DomTestSupport.h"

namespace {

using DocumentTypeTest = DomTest;

TEST_F(DocumentTypeTest, DocumentTypeBelongsToOneDocument) {
  TdomDocumentType* dt = impl->createDocumentType(u"root", u"-//Pub//EN", u"root.dtd");
  EXPECT_EQ(dt->GetNodeType(), ntDocument_Type_Node);
  EXPECT_EQ(dt->GetName(), u"root");
  EXPECT_EQ(dt->GetPublicId(), u"-//Pub//EN");
  EXPECT_EQ(dt->GetSystemId(), u"root.dtd");
  EXPECT_EQ(dt->GetInternalSubset(), u"");
  EXPECT_TRUE(dt->GetReadOnly());
  EXPECT_EQ(dt->GetEntities()->GetLength(), 0);
  EXPECT_EQ(dt->GetNotations()->GetLength(), 0);
  TdomDocument* first = impl->CreateDocumentNoNS(u"root", dt);
  EXPECT_EQ(first->GetDoctype(), dt);
  EXPECT_EQ(dt->GetOwnerDocument(), first);
  EXPECT_DOM_ERROR(impl->CreateDocumentNoNS(u"root", dt), EWrong_Document_Err, "Wrong document error.");
  EXPECT_DOM_ERROR(impl->createDocument(u"", u"root", dt), EWrong_Document_Err, "Wrong document error.");
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 2);  // the fixture's and first
  EXPECT_THROW(dt->appendChild(Elem(u"x")), EDomException);
  EXPECT_THROW(dt->GetEntities()->setNamedItem(doc->createEntity(u"e", u"", u"", u"")), EDomException);
}

TEST_F(DocumentTypeTest, EntitiesAndNotations) {
  TdomEntity* external = doc->createEntity(u"ext", u"", u"ext.xml", u"");
  EXPECT_DOM_ERROR(external->appendChild(Text(u"x")), ENo_Modification_Allowed_Err, "No modification allowed error.");
  EXPECT_THROW(external->insertBefore(Text(u"x"), nullptr), ENo_Modification_Allowed_Err);
  TdomEntity* internal = doc->createEntity(u"int", u"", u"", u"");
  internal->appendChild(Text(u"x"));
  EXPECT_EQ(internal->GetTextContent(), u"x");
  EXPECT_EQ(internal->GetNodeName(), u"int");
  TdomEntity* unparsed = doc->createEntity(u"pic", u"", u"pic.gif", u"gif");
  EXPECT_EQ(unparsed->GetNotationName(), u"gif");
  TdomNotation* n = doc->createNotation(u"gif", u"-//GIF//EN", u"viewer.exe");
  EXPECT_EQ(n->GetNodeName(), u"gif");
  EXPECT_THROW(n->appendChild(Text(u"x")), EHierarchy_Request_Err);
  EXPECT_THROW(doc->createNotation(u"n", u"\u00e9", u""), EInvalid_Character_Err);
  doc->SetDocumentUri(u"file:///d/doc.xml");
  EXPECT_EQ(n->GetBaseUri(), u"file:///d/doc.xml");
  EXPECT_EQ(internal->GetBaseUri(), u"file:///d/doc.xml");
}

TEST_F(DocumentTypeTest, EntityReferencesExpandPredefinedText) {
  struct Case {
    const char16_t* name;
    const char16_t* text;
    TXmlErrorType error;
  };
  const Case cases[] = {{u"lt", u"<", ET_NONE},   {u"gt", u">", ET_NONE},     {u"amp", u"&", ET_NONE},
                        {u"apos", u"'", ET_NONE}, {u"quot", u"\"", ET_NONE}, {u"undeclared", u"", ET_UNDEFINED_ENTITY}};
  for (const Case& c : cases) {
    TdomEntityReference* ref = doc->createEntityReference(c.name);
    EXPECT_TRUE(ref->GetReadOnly());
    EXPECT_EQ(ref->ExpandEntity(), c.error);
    EXPECT_EQ(ref->GetTextContent(), c.text);
    EXPECT_TRUE(ref->GetReadOnly());
    EXPECT_EQ(ref->hasChildNodes(), c.error == ET_NONE);
    if (ref->hasChildNodes()) EXPECT_TRUE(ref->GetFirstChildNode()->GetReadOnly());
    EXPECT_EQ(ref->ExpandEntity(), c.error);  // expanding again rebuilds, never doubles
    EXPECT_EQ(ref->GetChildCount(), c.error == ET_NONE ? 1 : 0);
  }
}

// A document that knows one entity with markup in its replacement text.
class MarkupEntityDocument : public TdomDocument {
public:
  void ResolveEntityReplacementText(const std::u16string& name, std::u16string& text,
                                    TXmlErrorType& errorType) override {
    if (name != u"rich") return TdomDocument::ResolveEntityReplacementText(name, text, errorType);
    text = replacement;
    errorType = ET_NONE;
  }
  std::u16string replacement = u"<b>bold</b> and &#65;";
};

TEST_F(DocumentTypeTest, ReplacementTextWithMarkupIsParsed) {
  MarkupEntityDocument* rich = New<MarkupEntityDocument>(impl, static_cast<TdomDocumentType*>(nullptr));
  TdomElement* root = rich->CreateDocumentElement(u"root");
  TdomEntityReference* ref = rich->createEntityReference(u"rich");
  root->appendChild(ref);
  EXPECT_EQ(ref->ExpandEntity(), ET_NONE);
  EXPECT_EQ(ref->GetTextContent(), u"bold and A");
  ASSERT_NE(ref->FindFirstChildElement(), nullptr);
  EXPECT_EQ(ref->FindFirstChildElement()->GetNodeName(), u"b");
  EXPECT_TRUE(ref->GetReadOnly());
  EXPECT_TRUE(ref->FindFirstChildElement()->GetReadOnly());
  EXPECT_EQ(ref->ExpandEntity(), ET_NONE);  // rebuilt, not doubled
  EXPECT_EQ(ref->GetTextContent(), u"bold and A");
  rich->replacement = u"<b>unclosed";
  EXPECT_THROW(ref->ExpandEntity(), EParserException);
  EXPECT_TRUE(ref->GetReadOnly());
  rich->Free();
}

TEST_F(DocumentTypeTest, DeclarationNodes) {
  TdomDocumentTypeDecl* decl = doc->createDocumentTypeDecl(u"root", u"pub", u"sys", u"<!ENTITY e 'x'>");
  EXPECT_EQ(decl->GetNodeName(), u"root");
  EXPECT_EQ(decl->GetInternalSubset(), u"<!ENTITY e 'x'>");
  EXPECT_EQ(decl->GetPublicId(), u"pub");
  EXPECT_EQ(decl->GetSystemId(), u"sys");
  EXPECT_EQ(decl->GetPreparationStatus(), PS_UNPREPARED);
  EXPECT_THROW(decl->appendChild(Text(u"x")), EHierarchy_Request_Err);
  EXPECT_TRUE(decl->PrepareASModels(true, 0, 0, 0, 0));
  EXPECT_EQ(decl->GetPreparationStatus(), PS_INTERNAL_PREPARED);
  EXPECT_TRUE(decl->HasASModels());
}

}  // namespace
