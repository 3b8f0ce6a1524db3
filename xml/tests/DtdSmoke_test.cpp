#include "DtdTestSupport.h"

TEST_F(DtdTest, Smoke) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (a, b*)> <!ELEMENT a (#PCDATA)> <!ELEMENT b EMPTY>"
      "<!ATTLIST a x CDATA 'dx' id ID #IMPLIED> <!ENTITY e '<b/>t'>]><r><a id='i1'>&e;</a><b/></r>");
  ASSERT_NE(doc, nullptr);
  for (auto& r : recorder->reports) printf("parse report %d %s\n", r.type, Utf8(r.node).c_str());
  TdomElement* a = static_cast<TdomElement*>(doc->GetDocumentElement()->GetFirstChildNode());
  EXPECT_EQ(a->getAttribute(u"x"), u"dx");
  EXPECT_FALSE(doc->validate(true));
  for (auto& r : recorder->reports) printf("report %d %s\n", r.type, Utf8(r.node).c_str());
}
