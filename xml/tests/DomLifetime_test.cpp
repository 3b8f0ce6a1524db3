// Lifetimes across the DOM: tables, walkers and model collections that point
// at nodes or models must never keep a pointer to one that is gone.
#include <map>
#include <random>

#include "DtdTestSupport.h"
#include "xml/AsObjects.h"

namespace {

using DomLifetimeTest = DtdTest;

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Random removals and frees of ID-carrying attributes and elements after
// validation, checked against a plain map of which IDs still stand. Under
// AddressSanitizer a lookup that reads a freed attribute fails the run.
TEST_F(DomLifetimeTest, IdTableForgetsFreedAttributes) {
  const int kCount = 40;
  std::string body;
  for (int i = 0; i < kCount; ++i) body += "<c i='x" + std::to_string(i) + "'><d/></c>";
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    TdomDocument* doc = Parse(
        "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c (d)><!ELEMENT d EMPTY><!ATTLIST c i ID #REQUIRED>]><r>" + body +
        "</r>");
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->validate(/*keepUnchanged=*/true));
    std::map<std::u16string, TdomElement*> standing;
    for (TdomNode* c = doc->GetDocumentElement()->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
      auto* element = static_cast<TdomElement*>(c);
      standing[element->getAttribute(u"i")] = element;
    }
    for (int step = 0; step < kCount / 2; ++step) {
      auto it = standing.begin();
      std::advance(it, random() % standing.size());
      TdomElement* element = it->second;
      switch (random() % 4) {
        case 0:  // the attribute leaves its element and is freed
          element->removeAttributeNode(element->getAttributeNode(u"i"))->Free();
          break;
        case 1:  // the element leaves the tree and is freed with its attribute
          doc->GetDocumentElement()->removeChild(element)->Free();
          break;
        case 2:  // freed straight out of the tree
          element->Free();
          break;
        case 3:  // removed by name (the element frees the attribute)
          element->removeAttribute(u"i");
          break;
      }
      standing.erase(it);
      for (int i = 0; i < kCount; ++i) {
        std::u16string id = Ascii("x" + std::to_string(i));
        auto found = standing.find(id);
        EXPECT_EQ(doc->getElementById(id), found == standing.end() ? nullptr : found->second) << i;
      }
      // New nodes may reuse freed blocks: none of them is an ID's element.
      doc->GetDocumentElement()->appendChild(doc->createElement(u"c"))->appendChild(doc->createElement(u"d"));
    }
    impl->FreeDocument(doc);
    recorder->reports.clear();
  }
}

TEST_F(DomLifetimeTest, WalkersRefuseNodesOfAnotherDocument) {
  TdomDocument* doc = impl->CreateEmptyDocument();
  TdomElement* root = doc->CreateDocumentElement(u"r");
  TdomTreeWalker* walker = doc->createTreeWalker(root, kShowAll, nullptr, true);
  TdomDocument* other = impl->CreateEmptyDocument();
  TdomElement* foreign = other->CreateDocumentElement(u"f");
  EXPECT_DOM_ERROR(walker->SetRoot(foreign), EWrong_Document_Err, "Wrong document error.");
  EXPECT_DOM_ERROR(walker->SetCurrentNode(foreign), EWrong_Document_Err, "Wrong document error.");
  EXPECT_EQ(walker->GetRoot(), root);
  EXPECT_EQ(walker->GetCurrentNode(), root);
  // Nodes of its own document are taken, also outside the root.
  TdomElement* loose = doc->createElement(u"loose");
  walker->SetCurrentNode(loose);
  walker->SetRoot(doc);
  EXPECT_EQ(walker->GetRoot(), doc);
  // The foreign node freed: the walker never held it.
  impl->FreeDocument(other);
  EXPECT_EQ(walker->GetCurrentNode(), loose);
}

TEST_F(DomLifetimeTest, ContentModelCyclesAreRefusedWhenMade) {
  TdomASModel* model = New<TdomASModel>(static_cast<TCustomOwnedObject*>(nullptr));
  TdomASElementDecl* decl = nullptr;
  model->AddElementDecl(u"e", AS_ELEMENT_CONTENTTYPE, decl);
  TdomASContentModel* a = decl->CreateContentModel(u"", AS_SEQUENCE);
  TdomASContentModel* b = decl->CreateContentModel(u"", AS_CHOICE);
  TdomASContentModel* c = decl->CreateContentModel(u"", AS_SEQUENCE);
  a->AppendSubModel(b);
  EXPECT_DOM_ERROR(b->AppendSubModel(a), EHierarchy_Request_Err, "Hierarchy request error.");
  b->AppendSubModel(c);
  EXPECT_THROW(c->AppendSubModel(a), EHierarchy_Request_Err);
  EXPECT_THROW(c->InsertSubModel(a, 0), EHierarchy_Request_Err);
  EXPECT_FALSE(a->InUse());
  EXPECT_EQ(c->SubModels()->GetLength(), 0);
  // Taken out of the chain, the model may hold the former top.
  b->RemoveSubModel(c);
  c->AppendSubModel(a);
  c->AppendSubModel(decl->CreateContentModel(u"x", AS_ELEMENT_NAME));
  b->AppendSubModel(decl->CreateContentModel(u"y", AS_ELEMENT_NAME));
  decl->ReplaceContentModel(c);
  std::vector<std::u16string> names = {u"y", u"x"};
  size_t index = 0;
  bool ambiguous = false;
  EXPECT_TRUE(c->Match(names, index, ambiguous));
  EXPECT_EQ(index, names.size());
  model->Free();
}

// Memory running out inside the parse is no fault of the document.
class ExhaustedMemory : public TObject {
public:
  void OnError(TObject*, TdomError*, bool&) { throw std::bad_alloc(); }
};

TEST_F(DomLifetimeTest, RunningOutOfMemoryIsReportedAsSuch) {
  ExhaustedMemory* exhausted = New<ExhaustedMemory>();
  impl->OnError = MakeEvent<&ExhaustedMemory::OnError>(exhausted);
  std::unique_ptr<TStringStream> stream(New<TStringStream>(std::string("<r><a></r>")));
  EXPECT_DOM_ERROR(parser->ParseStream(stream.get(), u"", Uri("doc.xml"), nullptr), EOutOfMemory, "Out of memory.");
  EXPECT_EQ(impl->GetDocuments()->GetLength(), 0);
  impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
  exhausted->Free();
  // The parser is whole afterwards.
  EXPECT_NE(Parse("<r/>"), nullptr);
}

}  // namespace
