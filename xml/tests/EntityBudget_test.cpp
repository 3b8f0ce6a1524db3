// The one expansion budget of a document: every reference expanded is paid
// for (also references to empty entities), in content, attribute values and
// attribute defaults, whether the parser, validation or the DOM expands.
#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "DtdTestSupport.h"
#include "xml/AsModelCollection.h"

namespace {

using EntityBudgetTest = DtdTest;

// e0 is empty; each further entity refers ten times to the one before.
std::string EmptyChain(int levels) {
  std::string dtd = "<!ENTITY e0 ''>";
  for (int i = 1; i <= levels; ++i) {
    dtd += "<!ENTITY e" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) dtd += "&e" + std::to_string(i - 1) + ";";
    dtd += "'>";
  }
  return dtd;
}

bool Reported(const std::vector<Report>& reports, TXmlErrorType type) {
  return std::any_of(reports.begin(), reports.end(), [&](const Report& r) { return r.type == type; });
}

// Random acyclic entity sets: the cost the models work out equals what a
// plain recursive expansion counts (characters plus one per reference).
TEST_F(EntityBudgetTest, ExpansionCostCountsCharactersAndReferences) {
  std::mt19937 random(11);
  for (int round = 0; round < 30; ++round) {
    int count = 2 + static_cast<int>(random() % 6);
    std::vector<std::vector<int>> refs(count);
    std::vector<int> own(count);
    std::string dtd;
    for (int i = 0; i < count; ++i) {
      std::string text;
      own[i] = 0;
      int parts = static_cast<int>(random() % 5);
      for (int p = 0; p < parts; ++p) {
        if (i > 0 && random() % 2 == 0) {
          int target = static_cast<int>(random() % i);  // only earlier ones: no cycle
          refs[i].push_back(target);
          text += "&n" + std::to_string(target) + ";";
        } else {
          int length = static_cast<int>(random() % 4);
          text += std::string(length, 'x');
          own[i] += length;
        }
      }
      dtd += "<!ENTITY n" + std::to_string(i) + " '" + text + "'>";
    }
    TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY>" + dtd + "]><r/>");
    ASSERT_NE(doc, nullptr);
    std::function<int64_t(int)> cost = [&](int i) {
      int64_t sum = own[i];
      for (int target : refs[i]) sum += 1 + cost(target);
      return sum;
    };
    TdomASModelCollection* models = doc->GetDoctypeDecl()->GetASModels();
    for (int i = 0; i < count; ++i)
      EXPECT_EQ(models->ExpandedLength(u"n" + std::u16string(1, char16_t(u'0' + i))), cost(i)) << round << " " << i;
    impl->FreeDocument(doc);
  }
}

TEST_F(EntityBudgetTest, ReferencesToEmptyEntitiesExhaustTheBudget) {
  const std::string doctype =
      "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED>" + EmptyChain(7) + "]>";
  // Parsing with the models prepared expands the content at once.
  TdomDocument* doc = Parse(doctype + "<r>&e7;</r>");
  EXPECT_TRUE(doc == nullptr || Reported(recorder->reports, ET_ENTITY_EXPANSION_TOO_LARGE));
  recorder->reports.clear();
  // Validation of the references a parse without models left in place.
  parser->SetAutoPrepare(AP_NO);
  doc = Parse(doctype + "<r>&e7;</r>");
  ASSERT_NE(doc, nullptr);
  // The empty expansion would be valid content: only the budget refuses it.
  EXPECT_FALSE(doc->validate(/*keepUnchanged=*/false));
  impl->FreeDocument(doc);
  recorder->reports.clear();
  // An attribute value: its normalisation is refused.
  doc = Parse(doctype + "<r a='&e7;'/>");
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(doc->validate(/*keepUnchanged=*/true));
  EXPECT_TRUE(Reported(recorder->reports, ET_ENTITY_EXPANSION_TOO_LARGE));
  impl->FreeDocument(doc);
  recorder->reports.clear();
  // One level less fits the budget and expands in full.
  parser->SetAutoPrepare(AP_COMPLETE);
  doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY>" + EmptyChain(4) + "<!ENTITY t 'x&e4;y'>]><r>&t;</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"xy");
  EXPECT_FALSE(Reported(recorder->reports, ET_ENTITY_EXPANSION_TOO_LARGE));
}

// A default that repeats a large entity: its value is refused once the
// budget is spent, and every element that would carry it is paid for.
TEST_F(EntityBudgetTest, AttributeDefaultsArePaidFor) {
  const std::string big(100000, 'b');
  std::string uses;
  for (int i = 0; i < 100; ++i) uses += "&big;";
  // 100 uses of 100,000 characters: 10 million, beyond the budget.
  TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ENTITY big '" + big +
                            "'><!ATTLIST c d CDATA '" + uses + "'>]><r><c/><c/></r>");
  if (doc != nullptr) {
    for (TdomNode* c = doc->GetDocumentElement()->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode())
      EXPECT_FALSE(static_cast<TdomElement*>(c)->hasAttribute(u"d"));
    impl->FreeDocument(doc);
  }
  EXPECT_TRUE(Reported(recorder->reports, ET_ENTITY_EXPANSION_TOO_LARGE));
  recorder->reports.clear();
  // 10 uses (a million characters) fit once, not on a hundred elements:
  // the parse is refused, or ends with a few elements carrying the value.
  std::string children;
  for (int i = 0; i < 100; ++i) children += "<c/>";
  doc = Parse("<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ENTITY big '" + big +
              "'><!ATTLIST c d CDATA '&big;&big;&big;&big;&big;&big;&big;&big;&big;&big;'>]><r>" + children +
              "</r>");
  int carried = 0;
  if (doc != nullptr) {
    for (TdomNode* c = doc->GetDocumentElement()->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
      if (!static_cast<TdomElement*>(c)->hasAttribute(u"d")) continue;
      EXPECT_EQ(static_cast<TdomElement*>(c)->getAttribute(u"d").size(), size_t(1000000));
      ++carried;
    }
    impl->FreeDocument(doc);
  }
  EXPECT_LT(carried, 10);
  EXPECT_TRUE(Reported(recorder->reports, ET_ENTITY_EXPANSION_TOO_LARGE));
  recorder->reports.clear();
  // A small default is never refused, however many elements carry it.
  doc = Parse("<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ENTITY s 'sss'><!ATTLIST c d CDATA '&s;'>]><r>" +
              children + "</r>");
  ASSERT_NE(doc, nullptr);
  for (TdomNode* c = doc->GetDocumentElement()->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode())
    EXPECT_EQ(static_cast<TdomElement*>(c)->getAttribute(u"d"), u"sss");
  EXPECT_TRUE(doc->validate(/*keepUnchanged=*/true));
}

}  // namespace
