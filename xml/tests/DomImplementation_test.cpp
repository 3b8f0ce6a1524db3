#include <gtest/gtest.h>

#include "DomTestSupport.h"

namespace {

using DomImplementationTest = DomTest;

TEST_F(DomImplementationTest, HasFeature) {
  struct Case {
    const char16_t* feature;
    const char16_t* version;
    bool expected;
  };
  const Case cases[] = {
      {u"XML", u"1.0", true},       {u"xml", u"2.0", true},        {u"xml", u"", true},
      {u"XML", u"3.0", false},      {u"VIEWS", u"2.0", true},      {u"views", u"1.0", false},
      {u"VIEWS", u"", false},       {u"traversal", u"2.0", true},  {u"TRAVERSAL", u"", false},
      {u"Core", u"2.0", false},     {u"XMLX", u"1.0", false},
  };
  for (const Case& c : cases) EXPECT_EQ(impl->hasFeature(c.feature, c.version), c.expected);
}

TEST_F(DomImplementationTest, CreateDocumentChecks) {
  EXPECT_DOM_ERROR(impl->createDocument(u"", u"xml:root", nullptr), ENamespace_Err, "Namespace error.");
  EXPECT_THROW(impl->createDocument(u"urn:x", u"xml:root", nullptr), ENamespace_Err);
  EXPECT_THROW(impl->createDocument(u"urn:x", u"xmlns", nullptr), ENamespace_Err);
  EXPECT_THROW(impl->createDocument(u"urn:x", u"a:b:c", nullptr), ENamespace_Err);
  EXPECT_THROW(impl->createDocument(u"urn:x", u"1a", nullptr), EInvalid_Character_Err);
  EXPECT_THROW(impl->CreateDocumentNoNS(u"1a", nullptr), EInvalid_Character_Err);
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 1);  // nothing registered by failures
  TdomDocument* ok = impl->createDocument(u"urn:x", u"x:root", nullptr);
  EXPECT_EQ(ok->GetDocumentElement()->GetNamespaceURI(), u"urn:x");
  EXPECT_EQ(impl->GetDocuments()->Item(1), ok);
  EXPECT_THROW(impl->createDocumentType(u"a:b:c", u"", u""), ENamespace_Err);
  EXPECT_THROW(impl->createDocumentType(u"1", u"", u""), EInvalid_Character_Err);
  TdomDocumentType* foreign = New<TDomImplementation>(static_cast<TComponent*>(nullptr))->createDocumentType(
      u"r", u"", u"");
  EXPECT_DOM_ERROR(impl->createDocument(u"", u"r", foreign), EWrong_Document_Err, "Wrong document error.");
  foreign->GetDomImplementation()->Free();
}

TEST_F(DomImplementationTest, FreeDocumentChecksBeforeFreeing) {
  TDomImplementation* other = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TdomDocument* foreign = other->CreateEmptyDocument();
  TdomDocument* variable = foreign;
  EXPECT_DOM_ERROR(impl->FreeDocument(variable), ENot_Found_Err, "Document not found error.");
  EXPECT_EQ(variable, foreign);
  other->Free();

  TdomDocumentType* dt = impl->createDocumentType(u"root", u"", u"");
  TdomDocument* withType = impl->CreateDocumentNoNS(u"root", dt);
  TdomDocumentType* dtVar = dt;
  EXPECT_DOM_ERROR(impl->FreeDocumentType(dtVar), EInuse_Err, "Inuse DocumentType error.");
  impl->FreeDocument(withType);
  EXPECT_EQ(withType, nullptr);
  EXPECT_EQ(impl->GetDocumentTypes()->GetLength(), 0);  // freed with its document
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 1);
  TdomDocument* none = nullptr;
  impl->FreeDocument(none);
  TdomDocumentType* gone = impl->createDocumentType(u"x", u"", u"");
  TdomDocumentType* copy = gone;
  impl->FreeDocumentType(gone);
  EXPECT_EQ(gone, nullptr);
  EXPECT_DOM_ERROR(impl->FreeDocumentType(copy), ENot_Found_Err, "DocumentType not found error.");
  TdomASModelNS* model = nullptr;
  impl->FreeASModel(model);
  model = impl->CreateASModelNS();
  TdomASModelNS* copyOfModel = model;
  impl->FreeASModel(model);
  EXPECT_EQ(model, nullptr);
  EXPECT_DOM_ERROR(impl->FreeASModel(copyOfModel), ENot_Found_Err, "ASModel not found error.");
}

TEST_F(DomImplementationTest, ClearFreesEverything) {
  impl->CreateDocumentNoNS(u"a", impl->createDocumentType(u"a", u"", u""));
  impl->createDocumentType(u"unused", u"", u"");
  impl->Clear();
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
  EXPECT_EQ(impl->GetDocumentTypes()->GetLength(), 0);
  doc = impl->CreateEmptyDocument();
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 1);
}

TEST_F(DomImplementationTest, ErrorRouting) {
  struct Handler {
    int calls = 0;
    bool verdict = true;
    void OnError(TObject*, TdomError*, bool& go) {
      ++calls;
      go = verdict;
    }
  } handler;
  TdomError warning(ET_ATTLIST_DECLARED_TWICE, -1, -1, -1, -1, -1, -1, -1, -1, u"", nullptr, nullptr, u"");
  TdomError error(ET_UNDEFINED_ENTITY, -1, -1, -1, -1, -1, -1, -1, -1, u"", nullptr, nullptr, u"");
  TdomError fatal(ET_UNCLOSED_COMMENT, -1, -1, -1, -1, -1, -1, -1, -1, u"", nullptr, nullptr, u"");
  TdomDocumentWatch hold(doc);
  EXPECT_TRUE(impl->HandleError(hold, doc, &warning));
  EXPECT_TRUE(impl->HandleError(hold, doc, &error));
  EXPECT_FALSE(impl->HandleError(hold, doc, &fatal));
  EXPECT_THROW(impl->HandleError(hold, doc, nullptr), ENot_Supported_Err);
  impl->OnError = MakeEvent<&Handler::OnError>(&handler);
  EXPECT_TRUE(impl->HandleError(hold, doc, &fatal));
  EXPECT_EQ(handler.calls, 1);
  impl->DisableErrorEvents();
  EXPECT_FALSE(impl->HandleError(hold, doc, &fatal));
  EXPECT_EQ(handler.calls, 1);
  impl->EnableErrorEvents();
  EXPECT_THROW(impl->EnableErrorEvents(), EIntOverflow);
  for (int i = 0; i < 65535; ++i) impl->DisableErrorEvents();
  EXPECT_THROW(impl->DisableErrorEvents(), EIntOverflow);
}

class FakeResolver : public TCustomResourceResolver {
public:
  TStream* ResolveResource(const std::u16string& baseURI, std::u16string& publicId,
                           std::u16string& systemId) override {
    lastSystemId = systemId;
    return nullptr;
  }
  std::u16string lastSystemId;
};

TEST_F(DomImplementationTest, ResourceResolverIsForgottenWhenFreed) {
  std::u16string publicId;
  std::u16string systemId = u"x.dtd";
  TdomDocumentWatch hold(doc);
  EXPECT_DOM_ERROR(impl->ResolveResource(hold, u"", publicId, systemId), ENot_Found_Err,
                   "No resource resolver assigned to DOM implementation.");
  FakeResolver* resolver = New<FakeResolver>(static_cast<TComponent*>(nullptr));
  impl->SetResourceResolver(resolver);
  EXPECT_EQ(impl->ResolveResource(hold, u"", publicId, systemId), nullptr);
  EXPECT_EQ(resolver->lastSystemId, u"x.dtd");
  resolver->Free();
  EXPECT_EQ(impl->GetResourceResolver(), nullptr);
}

}  // namespace
