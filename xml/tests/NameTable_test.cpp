#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "DomTestSupport.h"
#include "xml/NameTable.h"
#include "xml/XmlRulesStrings.h"

namespace {

// Random short names, valid and not, asked of a table both as XML names
// (checked once per name) and as plain names (never checked), in any order:
// an XML-name record exists exactly for XML names, every ask of one name
// gives one record, and a refused name adds nothing to the table.
TEST(NameTableTest, XmlNameRecordsMatchTheNameRule) {
  std::mt19937 random(7);
  const std::u16string alphabet = u"ab:_-.1 \u00e9\u0300";
  TdomNameTable table;
  std::set<std::u16string> stored;
  std::map<std::u16string, const TdomQualifiedName*> records;
  for (int step = 0; step < 5000; ++step) {
    std::u16string name;
    for (size_t length = random() % 4; length > 0; --length) name += alphabet[random() % alphabet.size()];
    const TdomQualifiedName* plain = table.Plain(name);
    ASSERT_EQ(plain->nodeName, name);
    // One record per name, however the recent lookups were answered.
    ASSERT_EQ(records.emplace(name, plain).first->second, plain) << "step " << step;
    stored.insert(name);
    for (int again = 0; again < 2; ++again) {
      const TdomQualifiedName* checked = table.PlainXmlName(name);
      if (IsXmlName(name)) {
        ASSERT_EQ(checked, plain) << "step " << step;
      } else {
        ASSERT_EQ(checked, nullptr) << "step " << step;
      }
    }
    // A name only ever asked as an XML name: added when it is one.
    std::u16string other = name + u"x";
    if (stored.count(other) == 0) {
      const TdomQualifiedName* checked = table.PlainXmlName(other);
      ASSERT_EQ(checked != nullptr, IsXmlName(other));
      if (checked != nullptr) stored.insert(other);
      if (checked != nullptr) records.emplace(other, checked);
    }
    ASSERT_EQ(table.Count(), stored.size());
  }
}

using NameTableDomTest = DomTest;

// A name refused once stays refused: the check of a name is remembered only
// when it passes.
TEST_F(NameTableDomTest, RefusedNameStaysRefused) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_THROW(doc->createElement(u"1a"), EInvalid_Character_Err);
    EXPECT_THROW(doc->createAttribute(u"1a"), EInvalid_Character_Err);
    EXPECT_THROW(doc->createAttribute(u""), EInvalid_Character_Err);
    EXPECT_THROW(doc->createEntityReference(u"1a"), EInvalid_Character_Err);
    EXPECT_EQ(doc->createEntityReference(u"a1")->GetNodeName(), u"a1");
    EXPECT_EQ(doc->createAttribute(u"a1")->GetNodeName(), u"a1");
    EXPECT_EQ(doc->createElement(u"a1")->GetNodeName(), u"a1");
  }
}

}  // namespace
