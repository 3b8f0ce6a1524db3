// XPath on hostile expressions and documents: work, strings and expression
// size are bounded and end with a clear error; the fast paths agree with
// plain reference versions of the same operations.
#include <chrono>
#include <iterator>
#include <random>

#include "XPathTestSupport.h"
#include "xml/WideStrCompare.h"

namespace {

std::u16string RandomText(std::mt19937& random, size_t length, char16_t alphabet) {
  std::u16string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + random() % alphabet);
  return text;
}

std::u16string Translated(const std::u16string& text, const std::u16string& from, const std::u16string& to) {
  std::u16string translated;
  TranslateWideStr(text, from, to, translated);
  return translated;
}
// The reference: each unit of text looked up in from by a plain search.
std::u16string PlainlyTranslated(const std::u16string& text, const std::u16string& from, const std::u16string& to) {
  std::u16string expected;
  for (char16_t c : text) {
    size_t p = from.find(c);
    if (p == std::u16string::npos) expected += c;
    else if (p < to.size()) expected += to[p];
  }
  return expected;
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
    EXPECT_EQ(Translated(text, from, to), PlainlyTranslated(text, from, to)) << round;
  }
  // A periodic pattern in a periodic text: found where it starts.
  std::u16string text(200000, u'a');
  std::u16string pattern = std::u16string(100000, u'a') + u"b";
  EXPECT_EQ(FindWideStr(text, pattern), std::u16string::npos);
  text += u"b";
  EXPECT_EQ(FindWideStr(text, pattern), size_t(100000));
}

// Long from-strings (past the short and sorted tables) over the whole range
// of code units, surrogates, 0 and U+FFFF included: the first place of a
// repeated unit wins, as a plain search finds it.
TEST(XPathStrings, LongFromStringsTranslateAsAPlainSearch) {
  std::mt19937 random(11);
  const char16_t edges[] = {0, 1, 63, 64, 65, 127, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFE, 0xFFFF};
  auto unit = [&](int mode) -> char16_t {
    switch (mode) {
      case 0: return static_cast<char16_t>(u'a' + random() % 8);
      case 1: return edges[random() % std::size(edges)];
      case 2: return static_cast<char16_t>(0xD800 + random() % 0x800);  // lone surrogate halves
      default: return static_cast<char16_t>(random() % 0x10000);
    }
  };
  for (int round = 0; round < 300; ++round) {
    int mode = int(random() % 4);
    std::u16string from, to, text;
    for (size_t i = 0, n = 17 + random() % 3000; i < n; ++i) from += unit(random() % 2 != 0 ? mode : 0);
    for (size_t i = 0, n = random() % 3000; i < n; ++i) to += unit(3);
    for (size_t i = 0, n = random() % 500; i < n; ++i) text += random() % 2 != 0 ? unit(mode) : from[random() % from.size()];
    EXPECT_EQ(Translated(text, from, to), PlainlyTranslated(text, from, to)) << round;
  }
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

namespace {

std::u16string Chain(const std::u16string& operand, const std::u16string& op, int count, const std::u16string& last) {
  std::u16string text = operand;
  for (int i = 1; i < count; ++i) text += op + (i + 1 == count ? last : operand);
  return text;
}

TEST_F(XPathBoundsTest, FlatChainsCountOnceAndNestingIsRefused) {
  TdomDocument* doc = ParseBytes("<r><f/><g/></r>");
  ASSERT_NE(doc, nullptr);
  TdomNode* r = doc->GetDocumentElement();
  EXPECT_EQ(Eval(r, u"count(" + Chain(u"f", u" | ", 3000, u"g") + u")"), "n:2");
  EXPECT_EQ(Eval(r, Chain(u"false()", u" or ", 3000, u"g")), "b:true");
  EXPECT_EQ(Eval(r, Chain(u"false()", u" or ", 3000, u"h")), "b:false");
  EXPECT_EQ(Eval(r, Chain(u"f", u" and ", 3000, u"g")), "b:true");
  EXPECT_EQ(Eval(r, Chain(u"f", u" and ", 3000, u"h")), "b:false");
  // Chains inside chains: each level counts once.
  std::u16string nested = u"f";
  for (int i = 0; i < 50; ++i) nested = u"(" + Chain(u"h", u" or ", 40, nested) + u")";
  EXPECT_EQ(Eval(r, nested), "b:true");
  EXPECT_EQ(Eval(r, Chain(u"1", u" + ", 3000, u"1")), "n:3000");
  EXPECT_EQ(Eval(r, Chain(u"1", u" = ", 3000, u"1")), "b:true");
  // Nesting that the evaluation follows by recursion is still refused.
  TdomXPathSyntaxTree* tree = expression->SyntaxTree();
  EXPECT_FALSE(tree->Prepare(Chain(u"(1", u" + ", 3000, u"1") + std::u16string(2999, u')')));
  EXPECT_FALSE(tree->Prepare(std::u16string(3000, u'-') + u"1"));
  EXPECT_FALSE(tree->Prepare(Chain(u"f", u"[", 3000, u"g") + std::u16string(2999, u']')));
  EXPECT_TRUE(tree->Prepare(Chain(u"1", u" + ", 500, u"1")));
}

// A flat document of 3,000 elements and one 2,000 levels deep: queries whose
// plain evaluation does millions of times the work end well within the limit.
TEST_F(XPathBoundsTest, PredicatesAskOnlyWhatTheyNeed) {
  std::string flat = "<f>";
  for (int i = 0; i < 3000; ++i) flat += i % 3 == 0 ? "<a x='" + std::to_string(i) + "'>t</a>" : "<b/>";
  TdomDocument* doc = ParseBytes(flat + "</f>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Eval(doc, u"count(//a[//a[//a[//a]]])"), "n:1000");
  EXPECT_EQ(Eval(doc, u"count(//*[. = //*])"), "n:3001");
  EXPECT_EQ(Eval(doc, u"count(//b[. = //a])"), "n:0");
  EXPECT_EQ(Eval(doc, u"count(/f[.//* = //a[@x = 2997]])"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(//*[//a[@x = 2997] = self::a])"), "n:1000");
  EXPECT_EQ(Eval(doc, u"count(//*[//a[@x = 1] = self::a])"), "n:0");
  EXPECT_EQ(Eval(doc, u"count(//a[. != //a/@x])"), "n:1000");
  EXPECT_EQ(Eval(doc, u"count(//a[boolean(//b) and not(//a = 'u')])"), "n:1000");
  EXPECT_EQ(Eval(doc, u"count(//a[count(//a) = 1000][position() = last()])"), "n:1");
  EXPECT_EQ(Eval(doc, u"count(//b[count(/f/a) - 999])"), "n:1");  // a number: the first b only
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "<d>";
  for (int i = 0; i < 2000; ++i) deep += "</d>";
  TdomDocument* deepDoc = ParseBytes(deep);
  ASSERT_NE(deepDoc, nullptr);
  EXPECT_EQ(Eval(deepDoc, u"count(//*[.//*[.//*]])"), "n:1998");
  EXPECT_EQ(Eval(deepDoc, u"count(//*[.//*[.//*] = ''])"), "n:1998");
  EXPECT_EQ(Eval(deepDoc, u"count(//*[.//*[.//*] != 1])"), "n:1998");
  EXPECT_EQ(Eval(deepDoc, u"count(//*[true() = .//*[.//*]])"), "n:1998");
}

// Values kept for one evaluation follow the document they were taken from,
// and are taken again after a handler had the chance to change it.
class ChangingHandlers : public TObject {
public:
  void Variable(TXPathExpression*, const std::u16string&, const std::u16string& localName,
                TdomXPathCustomResult*& value) {
    if (localName == u"other") {
      auto* set = New<TdomXPathNodeSetResult>();
      set->Add(other);
      value = set;
      return;
    }
    target->appendChild(target->GetOwnerDocument()->createElement(u"b"));
    value = New<TdomXPathNumberResult>(1.5);
  }
  TdomNode* other = nullptr;
  TdomNode* target = nullptr;
};

TEST_F(XPathBoundsTest, KeptValuesFollowTheirDocumentAndItsChanges) {
  TdomDocument* doc = ParseBytes("<r><a/><a/><a/><a/><a/><x/></r>");
  TdomDocument* otherDoc = ParseBytes("<r><a/></r>");
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(otherDoc, nullptr);
  std::unique_ptr<ChangingHandlers> handlers(New<ChangingHandlers>());
  handlers->other = otherDoc->GetDocumentElement();
  handlers->target = doc->GetDocumentElement();
  impl->OnRequestXPathVariable = MakeEvent<&ChangingHandlers::Variable>(handlers.get());
  TdomNode* r = doc->GetDocumentElement();
  // Each $n adds a b: the third a is the first to see two.
  EXPECT_EQ(Eval(r, u"count(a[count(//b) > $n])"), "n:3");
  EXPECT_EQ(Eval(r, u"count(a[//x]) + count($other/a[//x])"), "n:5");
  EXPECT_EQ(Eval(r, u"count($other/a[//a]) + count(a[//a])"), "n:6");
}

}  // namespace

namespace {

std::string Siblings(int count) {
  std::string body = "<r>";
  for (int i = 0; i < count; ++i) body += "<e/>";
  return body + "</r>";
}

// A step whose first predicate is a plain position walks its axis only as
// far as that node: 4,000 siblings cost linear work, not quadratic.
TEST_F(XPathBoundsTest, StepsWithAPlainPositionStopAtTheirNode) {
  TdomDocument* doc = ParseBytes(Siblings(4000));
  ASSERT_NE(doc, nullptr);
  const std::pair<const char16_t*, double> queries[] = {
      {u"count(//e/following-sibling::e[1])", 3999},
      {u"count(//e/preceding-sibling::*[2])", 3998},
      {u"count(//e[following-sibling::e[3]])", 3997},
      {u"count(/r/e[4000]/preceding-sibling::e[1][following-sibling::e[1]])", 1},
  };
  for (const auto& [text, count] : queries) {
    expression->SetContextNode(doc);
    expression->SetExpression(text);
    ASSERT_TRUE(expression->Evaluate()) << Utf8(text);
    EXPECT_EQ(expression->ResultAsNumber(), count) << Utf8(text);
    EXPECT_LT(expression->SyntaxTree()->WorkDone(), 100000) << Utf8(text);
  }
}

// The sibling walk that stops early selects what the whole axis filtered by
// position selects: every context node of a document with runs of text,
// CDATA, comments and processing instructions.
TEST_F(XPathBoundsTest, EarlyStoppingSiblingStepsAgreeWithTheWholeAxis) {
  TdomDocument* doc = ParseBytes(
      "<r>t1<e id='1'/><![CDATA[c1]]>t2<f id='2'>x<e id='3'/>y<e id='4'/></f><!--m--><e id='5'/>"
      "<?p q?>t3<![CDATA[c2]]><f id='6'/><e id='7'/>t4</r>");
  ASSERT_NE(doc, nullptr);
  expression->SetContextNode(doc);
  expression->SetExpression(u"//node()");
  ASSERT_TRUE(expression->Evaluate());
  std::vector<TdomNode*> contexts;
  for (int i = 0; i < expression->ResultLength(); ++i) {
    if (IsXPathContextNodeType(expression->ResultNode(i))) contexts.push_back(expression->ResultNode(i));
  }
  for (const char16_t* axis : {u"following-sibling::", u"preceding-sibling::"}) {
    for (const char16_t* test : {u"*", u"e", u"node()", u"text()", u"comment()"}) {
      for (int n = 1; n <= 4; ++n) {
        std::u16string step = std::u16string(axis) + test;
        std::u16string position = std::u16string(1, char16_t(u'0' + n));
        for (TdomNode* context : contexts) {
          EXPECT_EQ(Eval(context, step + u"[" + position + u"]"), Eval(context, step + u"[position() = " + position + u"]"))
              << Utf8(step) << "[" << n << "] from " << DescribeXPathNode(context);
        }
        std::u16string inPredicate = u"count(//node()[" + step + u"[" + position + u"]])";
        std::u16string reference = u"count(//node()[" + step + u"[position() = " + position + u"]])";
        EXPECT_EQ(Eval(doc, inPredicate), Eval(doc, reference)) << Utf8(inPredicate);
      }
    }
  }
}

// String-values built for comparisons are paid for, and a refusal reaches
// the expression's caller as an error, never as an empty answer (the node
// shortcuts, which never raise, answer as for a failed evaluation).
TEST_F(XPathBoundsTest, RefusalsReachTheCallerAndStringValuesArePaidFor) {
  TdomDocument* doc = ParseBytes("<r><a>" + std::string(100000, 'x') + "</a><a/><a/></r>");
  ASSERT_NE(doc, nullptr);
  expression->SetContextNode(doc);
  expression->SetExpression(u"count(//*[. = 'y'])");
  ASSERT_TRUE(expression->Evaluate());
  EXPECT_EQ(expression->ResultAsNumber(), 0);
  expression->SyntaxTree()->SetWorkLimit(2000);
  EXPECT_DOM_ERROR(expression->Evaluate(), EXPath_Limit_Err, kXPathTooMuchWork);
  EXPECT_EQ(expression->Result(), nullptr);
  expression->SetExpression(u"count(/r/a[. = //a])");
  EXPECT_DOM_ERROR(expression->Evaluate(), EXPath_Limit_Err, kXPathTooMuchWork);
  expression->SyntaxTree()->SetWorkLimit(kXPathWorkLimit);
  // The node shortcuts answer as for any failed evaluation.
  std::u16string concat = u"concat(/r/a";
  for (int i = 0; i < 200; ++i) concat += u", /r/a";
  concat += u")";
  EXPECT_EQ(doc->EvaluateToWideString(concat), u"");
  EXPECT_TRUE(std::isnan(doc->EvaluateToNumber(u"string-length(" + concat + u")")));
  EXPECT_FALSE(doc->EvaluateToBoolean(u"string-length(" + concat + u") > 0"));
  EXPECT_EQ(doc->EvaluateToNode(u"/r/a[string-length(" + concat + u") > 0]"), nullptr);
  EXPECT_TRUE(std::isnan(doc->EvaluateToNumber(u"count(")));  // a syntax error too
}

// A refusal may come in the middle of any axis's walk (each limit below
// lands it elsewhere): it leaves no result, and no node-set behind for the
// sanitizer's leak check to report.
TEST_F(XPathBoundsTest, RefusalsMidwayThroughAnAxisLeaveNoSetBehind) {
  std::string body = "<r xmlns:p='urn:p'>";
  for (int i = 0; i < 30; ++i) body += i % 3 == 0 ? "<a q='1'>t</a>" : "<b/>";
  TdomDocument* doc = ParseBytes(body + "</r>");
  ASSERT_NE(doc, nullptr);
  expression->SetContextNode(doc);
  for (const char16_t* text : {u"(//b)[. - ..//b]", u"//a/following::node()", u"//a/preceding::node()",
                               u"//b/following-sibling::node()", u"//b/preceding-sibling::node()",
                               u"//a/namespace::*", u"//a/ancestor::node()", u"/descendant-or-self::node()"}) {
    expression->SetExpression(text);
    int refused = 0;
    for (int64_t limit = 1; limit <= 400; ++limit) {
      expression->SyntaxTree()->SetWorkLimit(limit);
      try {
        expression->Evaluate();
      } catch (const EXPath_Limit_Err&) {
        ++refused;
        EXPECT_EQ(expression->Result(), nullptr);
      }
    }
    EXPECT_GT(refused, 0) << Utf8(text);
  }
  expression->SyntaxTree()->SetWorkLimit(kXPathWorkLimit);
}

TEST_F(XPathBoundsTest, PaidStringValuesAreTheNodesStringValues) {
  TdomDocument* doc = ParseBytes(
      "<!DOCTYPE r [<!ENTITY t 'ent<i>it</i>y'>]>"
      "<r a='v'>one&t;<![CDATA[two]]><!--c--><?p d?><b x='1'>three<c>&t;</c></b>&t;</r>");
  ASSERT_NE(doc, nullptr);
  expression->SetContextNode(doc);
  expression->SetExpression(u"//node() | //@* | /");
  ASSERT_TRUE(expression->Evaluate());
  ASSERT_GT(expression->ResultLength(), 10);
  for (int i = 0; i < expression->ResultLength(); ++i) {
    TdomNode* node = expression->ResultNode(i);
    EXPECT_EQ(XPathStringValueOf(node), node->GetXPathStringValue()) << DescribeXPathNode(node);
  }
}

}  // namespace
