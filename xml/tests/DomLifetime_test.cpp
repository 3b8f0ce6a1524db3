// Lifetimes across the DOM: tables, walkers and model collections that point
// at nodes or models must never keep a pointer to one that is gone.
#include <map>
#include <random>

#include "DtdTestSupport.h"

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

}  // namespace
