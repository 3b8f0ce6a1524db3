// XPath on hostile expressions and documents: work, strings and expression
// size are bounded and end with a clear error; the fast paths agree with
// plain reference versions of the same operations.
#include <random>

#include "XPathTestSupport.h"
#include "xml/WideStrCompare.h"

namespace {

std::u16string RandomText(std::mt19937& random, size_t length, char16_t alphabet) {
  std::u16string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + random() % alphabet);
  return text;
}

TEST(XPathStrings, SearchAndTranslateAgreeWithPlainVersions) {
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    char16_t alphabet = static_cast<char16_t>(1 + random() % 3);
    std::u16string text = RandomText(random, random() % 40, alphabet);
    std::u16string pattern = RandomText(random, random() % 6, alphabet);
    EXPECT_EQ(FindWideStr(text, pattern), text.find(pattern)) << round;
    // Long and short from-strings take different paths; repeats keep their first place.
    std::u16string from = RandomText(random, random() % 40, 6);
    std::u16string to = RandomText(random, random() % 40, 26);
    std::u16string expected;
    for (char16_t c : text) {
      size_t p = from.find(c);
      if (p == std::u16string::npos) expected += c;
      else if (p < to.size()) expected += to[p];
    }
    std::u16string translated;
    TranslateWideStr(text, from, to, translated);
    EXPECT_EQ(translated, expected) << round;
  }
  // A periodic pattern in a periodic text: found where it starts.
  std::u16string text(200000, u'a');
  std::u16string pattern = std::u16string(100000, u'a') + u"b";
  EXPECT_EQ(FindWideStr(text, pattern), std::u16string::npos);
  text += u"b";
  EXPECT_EQ(FindWideStr(text, pattern), size_t(100000));
}

using XPathBoundsTest = XPathTest;

TEST_F(XPathBoundsTest, RunawayEvaluationEndsWithAClearError) {
  std::string body;
  for (int i = 0; i < 300; ++i) body += "<e/>";
  TdomDocument* doc = ParseBytes("<r>" + body + "</r>");
  ASSERT_NE(doc, nullptr);
  TdomXPathSyntaxTree* tree = New<TdomXPathSyntaxTree>(static_cast<TXPathExpression*>(nullptr));
  // The same query within the limit gives the distinct nodes once each.
  ASSERT_TRUE(tree->Prepare(u"//e/following::*"));
  expression->SetContextNode(doc);
  expression->SetExpression(u"count(//e/following::*)");
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->ResultAsNumber(), 299);
  expression->SetExpression(u"count(//e/following::* | //e/preceding::*)");
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->ResultAsNumber(), 300);
  tree->Free();
  // Over a lower limit, the same work is refused.
  expression->SyntaxTree()->SetWorkLimit(10000);
  TdomXPathSyntaxTree* limited = expression->SyntaxTree();
  ASSERT_TRUE(limited->Prepare(u"count(//e/following::*)"));
  EXPECT_DOM_ERROR(TdomXPathResultPtr<>(limited->Evaluate()), EXPath_Exception, kXPathTooMuchWork);
  // Each evaluation starts a fresh count.
  ASSERT_TRUE(limited->Prepare(u"count(/r/e)"));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(TdomXPathResultPtr<>(limited->Evaluate())->AsNumber(), 300);
  limited->SetWorkLimit(kXPathWorkLimit);
}

TEST_F(XPathBoundsTest, StringsAndExpressionsHaveSizeLimits) {
  TdomDocument* doc = ParseBytes("<r>" + std::string(1 << 20, 'x') + "</r>");
  ASSERT_NE(doc, nullptr);
  std::u16string concat = u"concat(string(/r)";
  for (int i = 0; i < 20; ++i) concat += u", string(/r)";
  concat += u")";
  TdomXPathSyntaxTree* direct = expression->SyntaxTree();
  expression->SetContextNode(doc);
  ASSERT_TRUE(direct->Prepare(concat));  // 21 M code units: refused
  EXPECT_DOM_ERROR(TdomXPathResultPtr<>(direct->Evaluate()), EXPath_Exception, kXPathStringTooLong);
  expression->SetExpression(u"string-length(concat(string(/r), string(/r)))");
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->ResultAsNumber(), 2 << 20);
  // Too long to prepare, and too deep: answered false, not raised.
  TdomXPathSyntaxTree* tree = New<TdomXPathSyntaxTree>(static_cast<TXPathExpression*>(nullptr));
  std::u16string sum = u"1";
  while (sum.size() <= kXPathMaxLength) sum += u"+1";
  EXPECT_FALSE(tree->Prepare(sum));
  EXPECT_FALSE(tree->Prepare(std::u16string(2000, u'(') + u"1" + std::u16string(2000, u')')));
  EXPECT_FALSE(tree->IsPrepared());
  tree->Free();
}

}  // namespace
