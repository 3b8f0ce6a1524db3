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

// Random edits of a document (elements, attributes moved between elements
// or left loose, text, entity references, comments, detached subtrees,
// edited values, single frees), with a deletion handler on some nodes; then
// the document goes. Every node still alive with a handler reports its
// deletion once, a detached node stays usable until then, and (under
// AddressSanitizer) freeing the document touches no freed node and leaks
// nothing.
TEST_F(DomLifetimeTest, FreeingADocumentFreesEveryNodeOnce) {
  struct Deletions {
    std::map<TdomUserData, int> count;
    void Handle(TdomUserDataOperation op, const std::u16string&, TdomUserData data, TdomNode*, TdomNode*) {
      if (op == NODE_DELETED) ++count[data];
    }
  } deletions;
  std::mt19937 random(11);
  for (int round = 0; round < 60; ++round) {
    TdomDocument* doc = impl->CreateEmptyDocument();
    std::vector<TdomNode*> nodes;  // alive, with their marks in tags
    std::map<TdomNode*, int> tags;
    int next = 1;
    deletions.count.clear();
    // Half the nodes carry a deletion handler; some values move to blocks of their own.
    auto mark = [&](TdomNode* node) {
      tags[node] = random() % 2 != 0 ? next++ : 0;
      if (tags[node] != 0)
        node->setUserData(u"k", reinterpret_cast<TdomUserData>(static_cast<intptr_t>(tags[node])),
                          MakeEvent<&Deletions::Handle>(&deletions));
      if (random() % 3 == 0 && node->GetNodeType() != ntEntity_Reference_Node) {
        node->SetNodeValue(node->GetNodeValue() + u"longer than it was");
        node->SetNodeValue(node->GetNodeValue() + u"!");
      }
      nodes.push_back(node);
    };
    auto alive = [&](TdomNode* node) { return tags.count(node) != 0; };
    // Forgets node and everything that went with it (its subtree and attributes).
    auto forget = [&](TdomNode* gone) {
      std::vector<TdomNode*> stack{gone};
      while (!stack.empty()) {
        TdomNode* node = stack.back();
        stack.pop_back();
        tags.erase(node);
        for (TdomNode* c = node->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) stack.push_back(c);
        if (TdomNamedNodeMap* map = node->GetAttributes())
          for (int i = 0; i < map->GetLength(); ++i) stack.push_back(map->Item(i));
      }
    };
    mark(doc->appendChild(doc->createElement(u"root")));
    for (int step = 0; step < 80; ++step) {
      std::erase_if(nodes, [&](TdomNode* n) { return !alive(n); });
      TdomNode* pick = nodes[random() % nodes.size()];
      auto* element = pick->GetNodeType() == ntElement_Node ? static_cast<TdomElement*>(pick) : nullptr;
      switch (random() % 8) {
        case 0: {
          TdomElement* child = doc->createElement(u"e");
          mark(child);
          if (element != nullptr && random() % 3 != 0) element->appendChild(child);
          break;
        }
        case 1:
          if (element == nullptr) break;
          if (TdomAttr* attr = element->setAttribute(u"a" + std::u16string(1, char16_t(u'0' + random() % 3)), u"v"))
            mark(attr);
          break;
        case 2: {  // an attribute taken from its element, then maybe put on another
          TdomNode* other = nodes[random() % nodes.size()];
          if (pick->GetNodeType() != ntAttribute_Node || other->GetNodeType() != ntElement_Node) break;
          auto* attr = static_cast<TdomAttr*>(pick);
          if (TdomElement* from = attr->GetOwnerElement()) from->removeAttributeNode(attr);
          if (random() % 2 != 0) {
            if (TdomAttr* displaced = static_cast<TdomElement*>(other)->setAttributeNode(attr)) (void)displaced;
          }
          break;
        }
        case 3: {
          TdomNode* node = random() % 2 ? static_cast<TdomNode*>(doc->createTextNode(u"t"))
                                        : static_cast<TdomNode*>(doc->createEntityReference(u"amp"));
          mark(node);
          if (element != nullptr) element->appendChild(node);
          break;
        }
        case 4:  // detach a subtree; it stays alive and readable
          if (pick->GetParentNode() != nullptr && pick->GetParentNode() != doc) {
            pick->GetParentNode()->removeChild(pick);
            EXPECT_EQ(pick->GetParentNode(), nullptr);
          }
          break;
        case 5: {  // move a node below an element
          TdomNode* other = nodes[random() % nodes.size()];
          if (element == nullptr || other == element || other->GetNodeType() == ntAttribute_Node ||
              other->GetParentNode() == doc || element->HasAsAncestor(other) || other == element->GetFirstChildNode())
            break;
          element->insertBefore(other, element->GetFirstChildNode());
          break;
        }
        case 6:  // free a node that is not the document element
          if (pick->GetParentNode() == doc) break;
          forget(pick);
          pick->Free();
          break;
        case 7:
          if (element != nullptr) mark(element->appendChild(doc->createComment(u"c")));
          break;
      }
    }
    std::erase_if(nodes, [&](TdomNode* n) { return !alive(n); });
    for (TdomNode* node : nodes) EXPECT_EQ(node->GetOwnerDocument(), doc);  // still readable
    deletions.count.clear();
    impl->FreeDocument(doc);
    std::erase_if(tags, [](const auto& entry) { return entry.second == 0; });
    ASSERT_EQ(deletions.count.size(), tags.size()) << "round " << round;
    for (const auto& [node, tag] : tags)
      EXPECT_EQ(deletions.count[reinterpret_cast<TdomUserData>(static_cast<intptr_t>(tag))], 1);
  }
}

// A node freed with its document is notified before the subtree it takes
// with it, as when it is freed alone: the document goes node by node once a
// handler may watch the order.
TEST_F(DomLifetimeTest, NodesWithHandlersAreNotifiedWithTheirSubtrees) {
  struct Order {
    std::u16string names;
    void Handle(TdomUserDataOperation op, const std::u16string& key, TdomUserData, TdomNode*, TdomNode*) {
      if (op == NODE_DELETED) names += key;
    }
  } order;
  TdomDocument* doc = impl->CreateEmptyDocument();
  TdomElement* e = doc->createElement(u"e");
  TdomElement* g = doc->createElement(u"g");
  TdomElement* f = doc->createElement(u"f");
  doc->appendChild(f)->appendChild(e);
  for (TdomElement* node : {e, g, f}) node->setUserData(node->GetNodeName(), node, MakeEvent<&Order::Handle>(&order));
  impl->FreeDocument(doc);
  EXPECT_EQ(order.names, u"feg");
}

}  // namespace
