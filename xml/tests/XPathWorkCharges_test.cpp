// The work bound stands for time only when every cost is charged: shapes
// whose real work grows faster than the nodes they select are charged at
// least that work (so that they are refused under the bound, not run for
// minutes), while the same queries done cheaply stay cheap. Counts, not
// seconds, so that a busy machine changes nothing.
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "XPathTestSupport.h"
#include "core/ProcessorTime.h"
#include "xml/DomXPathNamespace.h"
#include "xml/ParserUtilsXPathNumbers.h"

namespace {

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }


class XPathWorkCharges : public XPathTest {
protected:
  // The work text needs from context (with no bound); -1 when it fails.
  int64_t WorkOf(TdomNode* context, const std::u16string& text) {
    expression->SetContextNode(context);
    expression->SetExpression(text);
    expression->SyntaxTree()->SetWorkLimit(INT64_MAX);
    bool ok = expression->Evaluate();
    expression->SyntaxTree()->SetWorkLimit(kXPathWorkLimit);
    return ok ? expression->SyntaxTree()->WorkDone() : -1;
  }
  TdomDocument* Repeat(const std::string& open, const std::string& item, int count, const std::string& close) {
    std::string text = open;
    for (int i = 0; i < count; ++i) text += item;
    TdomDocument* doc = ParseBytes(text + close);
    EXPECT_NE(doc, nullptr);
    return doc;
  }
  TdomDocument* Deep(int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<d>";
    for (int i = 0; i < levels; ++i) text += "</d>";
    TdomDocument* doc = ParseBytes(text);
    EXPECT_NE(doc, nullptr);
    return doc;
  }
};

// Walks that select little or nothing are paid for by the nodes they pass.
TEST_F(XPathWorkCharges, WalksArePaidForByTheNodesTheyPass) {
  const int levels = 1000;
  TdomDocument* deep = Deep(levels);
  const int64_t quadratic = int64_t(levels) * levels / 2;
  // Each d climbs to the top looking for following siblings, and for
  // namespace declarations, and for xml:lang: none selects anything.
  EXPECT_GE(WorkOf(deep, u"count(//d/following::*)"), quadratic);
  EXPECT_GE(WorkOf(deep, u"count(//d/preceding::*)"), quadratic);
  EXPECT_GE(WorkOf(deep, u"count(//d/namespace::*)"), quadratic);
  EXPECT_GE(WorkOf(deep, u"count(//d[lang('en')])"), quadratic);
  // A run of text and references: a sibling axis passes over the whole run
  // (of which only the first node counts) from each node of it.
  const int run = 1000;
  TdomDocument* refs = Repeat("<r>", "t&amp;", run, "<e/></r>");
  EXPECT_GE(WorkOf(refs, u"count(/r/node()/following-sibling::node())"), int64_t(run) * run / 2);
  EXPECT_GE(WorkOf(refs, u"count(/r/node()/following-sibling::*[1])"), int64_t(run) * run / 2);
  // Descendants that a name test leaves out are walked all the same.
  TdomDocument* comments = Repeat("<r><x>", "<!---->", 2000, "</x></r>");
  EXPECT_GE(WorkOf(comments, u"count(/r//e) + count(/r//e) + count(/r//e)"), 6000);
}

// A value kept for a whole evaluation is not free each time a predicate uses it.
TEST_F(XPathWorkCharges, KeptValuesAreChargedWhereEachRoundCopiesOrSortsThem) {
  const int n = 1000;
  TdomDocument* doc = Repeat("<r>", "<e/>", n, "</r>");
  // The kept //e is copied into every round's union and the union sorted.
  EXPECT_GE(WorkOf(doc, u"count(//e[count(//e | .) > 1])"), int64_t(n) * n);
  // Its numbers, though, are read once.
  std::string digits = "<r>";
  for (int i = 0; i < 2000; ++i) digits += "<a>" + std::to_string(100000 + i) + std::string(57, '9') + "</a>";
  TdomDocument* numbers = ParseBytes(digits + "</r>");
  ASSERT_NE(numbers, nullptr);
  EXPECT_EQ(Eval(numbers, u"count(//a[. < //a])"), "n:1999");
  EXPECT_EQ(Eval(numbers, u"count(//a[//a > .])"), "n:1999");
  EXPECT_EQ(Eval(numbers, u"count(//a[. >= //a])"), "n:2000");
  EXPECT_EQ(Eval(numbers, u"count(//a[. > 100500" + std::u16string(57, u'9') + u"])"), "n:1499");
  EXPECT_LT(WorkOf(numbers, u"count(//a[. < //a])"), 200000);
  EXPECT_LT(WorkOf(numbers, u"count(//a[//a >= .])"), 200000);
  EXPECT_EQ(Eval(numbers, u"count(//a[//a < 100001" + std::u16string(57, u'9') + u"])"), "n:2000");
  EXPECT_EQ(Eval(numbers, u"count(//a[//a < 100000" + std::u16string(57, u'9') + u"])"), "n:0");
}

// The numbers of a kept set are read once and compared by their range: the
// same counts as every pair compared, on random documents.
TEST_F(XPathWorkCharges, KeptSetsCompareAsEveryPairWould) {
  std::mt19937 random(50);
  const char* texts[] = {"1", "2", "5.", "-3", "x", "", " 2 ", ".5", "1e2", "10"};
  const char* ops[] = {"<", "<=", ">", ">="};
  for (int round = 0; round < 150; ++round) {
    int n = 1 + int(random() % 7);
    std::vector<double> values;
    std::string body = "<r>";
    for (int i = 0; i < n; ++i) {
      const char* text = texts[random() % 10];
      body += std::string("<a>") + text + "</a>";
      values.push_back(XPathWideStrToNumber(Wide(text)));
    }
    TdomDocument* doc = ParseBytes(body + "</r>");
    ASSERT_NE(doc, nullptr);
    for (int o = 0; o < 4; ++o) {
      auto holds = [&](double x, double y) {
        switch (o) {
          case 0: return x < y;
          case 1: return x <= y;
          case 2: return x > y;
          default: return x >= y;
        }
      };
      double scalar = double(int(random() % 5) - 1);
      int pairs = 0, reversed = 0, againstScalar = 0, scalarFirst = 0;
      for (double x : values) {
        bool any = false, anyReversed = false;
        for (double y : values) {
          any = any || holds(x, y);
          anyReversed = anyReversed || holds(y, x);
        }
        pairs += any;
        reversed += anyReversed;
      }
      bool anyAgainst = false, anyFirst = false;
      for (double x : values) {
        anyAgainst = anyAgainst || holds(x, scalar);
        anyFirst = anyFirst || holds(scalar, x);
      }
      againstScalar = anyAgainst ? n : 0;
      scalarFirst = anyFirst ? n : 0;
      std::u16string op = Wide(ops[o]);
      std::u16string number = Wide(std::to_string(int(scalar)));
      auto count = [](int c) { return "n:" + std::to_string(c); };
      EXPECT_EQ(Eval(doc, u"count(//a[. " + op + u" //a])"), count(pairs)) << body << ops[o];
      EXPECT_EQ(Eval(doc, u"count(//a[//a " + op + u" .])"), count(reversed)) << body << ops[o];
      EXPECT_EQ(Eval(doc, u"count(//a[//a " + op + u" " + number + u"])"), count(againstScalar)) << body << ops[o];
      EXPECT_EQ(Eval(doc, u"count(//a[" + number + u" " + op + u" //a])"), count(scalarFirst)) << body << ops[o];
    }
  }
}

// Strings cost what they are long, whoever reads them: the from-string of
// translate is no exception, nor a literal read in every round.
TEST_F(XPathWorkCharges, StringsCostTheirLength) {
  TdomDocument* doc = ParseBytes("<r><a/><a/></r>");
  ASSERT_NE(doc, nullptr);
  const std::u16string from(100000, u'q');
  const int64_t bare = WorkOf(doc, u"string-length(translate('abc', 'abcdefghijklmnopq', ''))");
  ASSERT_GT(bare, 0);
  EXPECT_GE(WorkOf(doc, u"string-length(translate('abc', '" + from + u"', ''))"), bare + 100000 / 64);
  EXPECT_EQ(Eval(doc, u"translate('abcq', 'abcdefghijklmnopqq', 'ABCDEFGHIJKLMNOPQR')"), "s:ABCQ");
  // A context-dependent call with a long literal, in every round.
  const int64_t once = WorkOf(doc, u"count(//a[contains(name(), 'x')])");
  EXPECT_GE(WorkOf(doc, u"count(//a[contains(name(), '" + from + u"')])"), once + 3000);
  // A long expression asked again for every node is paid for in every round.
  std::u16string sum = u"position()";
  for (int i = 0; i < 500; ++i) sum += u" + position()";
  TdomDocument* many = Repeat("<r>", "<e/>", 200, "</r>");
  EXPECT_GE(WorkOf(many, u"count(//e[" + sum + u" > 0])"), 200 * 500);
}

// Names (and languages) are copied and compared whenever a name test or a
// name function (or lang) reads them: long ones cost their length.
TEST_F(XPathWorkCharges, LongNamesArePaidForWhereverTheyAreRead) {
  const std::string name(2000, 'a');
  TdomDocument* doc = Repeat("<r>", "<" + name + "x/><" + name + "y/>", 100, "</r>");
  const std::u16string test = Wide(name + "x");
  EXPECT_EQ(Eval(doc, u"count(/r/" + test + u")"), "n:100");
  EXPECT_EQ(Eval(doc, u"count(/r/*[name() = '" + test + u"'])"), "n:100");
  EXPECT_GE(WorkOf(doc, u"count(/r/" + test + u")"), 200 * 2000 / 64);
  EXPECT_GE(WorkOf(doc, u"count(/r/*[name() = 'x'])"), 200 * 2000 / 64);
  EXPECT_GE(WorkOf(doc, u"count(/r/*[local-name(.) = 'x'] | /r/*[namespace-uri() = 'x'])"), 200 * 2000 / 64);
  // A long xml:lang value is read for every node lang() is asked about.
  TdomDocument* lang = Repeat("<r xml:lang='" + std::string(20000, 'a') + "'>", "<e/>", 100, "</r>");
  EXPECT_EQ(Eval(lang, u"count(/r/e[lang('a')])"), "n:0");
  EXPECT_EQ(Eval(lang, u"count(/r/e[lang('" + std::u16string(20000, u'A') + u"')])"), "n:100");
  EXPECT_GE(WorkOf(lang, u"count(/r/e[lang('x')])"), 100 * 20000 / 64);
}

// translate builds a table of its from-string and looks up every unit of its
// first string: both are paid for beyond reading them.
TEST_F(XPathWorkCharges, TranslateIsPaidForByBothStrings) {
  TdomDocument* doc = ParseBytes("<r/>");
  ASSERT_NE(doc, nullptr);
  const std::u16string longText(100000, u'q');
  const int64_t bare = WorkOf(doc, u"string-length(translate('abc', 'abcdefghijklmnopq', ''))");
  ASSERT_GT(bare, 0);
  EXPECT_GE(WorkOf(doc, u"string-length(translate('abc', '" + longText + u"', ''))"), bare + 100000 / 4);
  EXPECT_GE(WorkOf(doc, u"string-length(translate('" + longText + u"', 'abcdefghijklmnopq', ''))"), bare + 100000 / 4);
}

// id() puts the elements it finds in document order by the evaluation's
// keys, numbered once and paid for, and pays for every token it splits off.
TEST_F(XPathWorkCharges, IdPaysForTokensAndOrder) {
  const int n = 3000;
  TdomDocument* doc = Repeat("<r>", "<g><e/></g>", n, "</r>");
  int i = 0;
  std::vector<TdomElement*> elements;
  for (TdomNode* g = doc->GetDocumentElement()->GetFirstChildNode(); g != nullptr; g = g->GetNextSiblingNode(), ++i) {
    auto* e = static_cast<TdomElement*>(g->GetFirstChildNode());
    e->setAttribute(u"k", u"i" + Wide(std::to_string(i)));
    doc->AddID(u"i" + Wide(std::to_string(i)), e->getAttributeNode(u"k"));
    elements.push_back(e);
  }
  // Ordering two elements numbers the document (a g and an e an item), once.
  EXPECT_GE(WorkOf(doc, u"count(id('i2999 i0'))"), 2 * n);
  EXPECT_LT(WorkOf(doc, u"count(id(//e/@k))"), 40 * n);
  // Repeated tokens are split off one by one: each is paid for.
  std::u16string repeated;
  for (int k = 0; k < 20000; ++k) repeated += u"i7 ";
  EXPECT_GE(WorkOf(doc, u"count(id('" + repeated + u"'))"), 20000 * 2);
  // Long tokens that differ only at their ends are paid for by their length.
  std::u16string longTokens;
  for (int k = 0; k < 200; ++k) longTokens += std::u16string(1000, u'a') + Wide(std::to_string(k)) + u" ";
  EXPECT_GE(WorkOf(doc, u"count(id('" + longTokens + u"'))"), 200 * 1000 / 16);
  // Random lists of IDs, in any order and repeated: the elements once each, in document order.
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<bool> wanted(n, false);
    std::u16string list;
    for (int k = 0, m = 1 + int(random() % 30); k < m; ++k) {
      int at = int(random() % n);
      wanted[at] = true;
      list += u"i" + Wide(std::to_string(at)) + (random() % 2 != 0 ? u"  " : u"\n");
    }
    list += u" nothing";
    expression->SetContextNode(doc);
    expression->SetExpression(u"id('" + list + u"')");
    ASSERT_TRUE(expression->Evaluate());
    std::vector<TdomNode*> expected;
    for (int k = 0; k < n; ++k) {
      if (wanted[k]) expected.push_back(elements[k]);
    }
    std::vector<TdomNode*> got;
    for (int k = 0; k < expression->ResultLength(); ++k) got.push_back(expression->ResultNode(k));
    EXPECT_EQ(got, expected) << round;
  }
}

// An attribute value is read as character data, each reference replaced one
// by one: the stored text is paid for at that rate, and so is the text its
// declared entities expand to.
TEST_F(XPathWorkCharges, AttributeReferencesArePaidForAsTheyAreReplaced) {
  const int refs = 20000;
  std::string plain, referenced, entities;
  for (int i = 0; i < refs; ++i) {
    plain += "AAAAA";
    referenced += "&#65;";
    entities += "&y;";
  }
  TdomDocument* doc = ParseBytes("<r a='" + plain + "' b='" + referenced + "'/>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Eval(doc, u"string-length(/r/@b)"), "n:" + std::to_string(refs));
  EXPECT_EQ(Eval(doc, u"/r/@a = /r/@b"), "b:false");
  EXPECT_EQ(Eval(doc, u"substring(/r/@b, 1, 3)"), "s:AAA");
  const int64_t plainWork = WorkOf(doc, u"string-length(/r/@a)");
  EXPECT_LT(plainWork, 5 * refs / 16);
  EXPECT_GE(WorkOf(doc, u"string-length(/r/@b)"), 5 * refs / 2);
  // Declared entities, expanded by the document's declarations.
  parser->SetAutoPrepare(AP_COMPLETE);
  TdomDocument* declared = ParseBytes("<!DOCTYPE r [<!ATTLIST r a CDATA #IMPLIED><!ENTITY y 'yyyy'>]><r a='" +
                                      entities + "'/>");
  parser->SetAutoPrepare(AP_NO);
  ASSERT_NE(declared, nullptr);
  EXPECT_EQ(Eval(declared, u"string-length(/r/@a)"), "n:" + std::to_string(4 * refs));
  EXPECT_GE(WorkOf(declared, u"string-length(/r/@a)"), 3 * refs / 2 + 5 * refs / 4);
}

// Namespace nodes are made one by one from declarations read up the
// ancestors: each declaration read and each node made is paid for, and a
// union of many namespace nodes of one element drops its copies in one pass.
TEST_F(XPathWorkCharges, NamespaceNodesArePaidForAndMergedInOnePass) {
  const int declared = 6000;
  std::string text = "<r";
  for (int i = 0; i < declared; ++i) text += " xmlns:p" + std::to_string(i) + "='urn:" + std::to_string(i % 7) + "'";
  TdomDocument* doc = ParseBytes(text + "><e/></r>");
  ASSERT_NE(doc, nullptr);
  // Read on r and made for e: 2 units each.
  EXPECT_GE(WorkOf(doc, u"count(/r/e/namespace::*)"), 4 * declared);
  const double start = ProcessorSeconds();
  EXPECT_EQ(Eval(doc, u"count(/r/namespace::* | /r/namespace::* | /r/e/namespace::* | /r/e/namespace::p7)"),
            "n:" + std::to_string(2 * (declared + 2)));
  // Each copy compared with every other one of its element took seconds.
  EXPECT_LT(ProcessorSeconds() - start, 1.0);
  // Long prefixes that differ at their ends: put in order by comparing them, paid for by their length.
  std::string longPrefixes = "<r";
  for (int i = 0; i < 300; ++i) longPrefixes += " xmlns:" + std::string(1000, 'p') + std::to_string(i) + "='urn:x'";
  TdomDocument* longDoc = ParseBytes(longPrefixes + "><e/></r>");
  ASSERT_NE(longDoc, nullptr);
  EXPECT_EQ(Eval(longDoc, u"count(/r/e/namespace::*)"), "n:302");
  EXPECT_GE(WorkOf(longDoc, u"count(/r/e/namespace::*)"), 2 * 300 * 1000 / 8);
  // A long URI is copied into every namespace node made or copied.
  TdomDocument* uriDoc = Repeat("<r xmlns:p='" + std::string(20000, 'u') + "'>", "<e/>", 100, "</r>");
  EXPECT_EQ(Eval(uriDoc, u"count(/r/e[/r/namespace::p | .])"), "n:100");
  EXPECT_EQ(Eval(uriDoc, u"string-length(/r/e[100]/namespace::p)"), "n:20000");
  EXPECT_GE(WorkOf(uriDoc, u"count(/r/e/namespace::p)"), 100 * 20000 / 16);
  EXPECT_GE(WorkOf(uriDoc, u"count(/r/e[/r/namespace::p | .])"), 100 * 20000 / 16);
}

// Unions of namespace axes of random elements: each namespace node once, by
// element in document order and by prefix within one, as a model has them.
TEST_F(XPathWorkCharges, NamespaceUnionsAgreeWithAModel) {
  std::mt19937 random(13);
  const char* prefixes[] = {"a", "b", "c", "d"};
  for (int round = 0; round < 60; ++round) {
    // Elements e0..e5, each a child of an earlier one (or of r), declaring some prefixes.
    const int n = 6;
    std::vector<int> parent(n);
    std::vector<std::map<std::string, std::string>> declares(n);
    for (int i = 0; i < n; ++i) {
      parent[i] = i == 0 ? -1 : int(random() % (i + 1)) - 1;
      for (const char* prefix : prefixes) {
        if (random() % 3 == 0) declares[i][prefix] = "urn:" + std::to_string(random() % 3);
      }
    }
    // Serialise: children in index order, so document order is a depth-first walk.
    std::function<std::string(int)> write = [&](int i) {
      std::string out = "<e" + std::to_string(i);
      for (const auto& [prefix, uri] : declares[i]) out += " xmlns:" + prefix + "='" + uri + "'";
      out += ">";
      for (int k = i + 1; k < n; ++k) {
        if (parent[k] == i) out += write(k);
      }
      return out + "</e" + std::to_string(i) + ">";
    };
    std::string body = "<r>";
    std::vector<int> order;
    std::function<void(int)> walk = [&](int i) {
      order.push_back(i);
      for (int k = i + 1; k < n; ++k) {
        if (parent[k] == i) walk(k);
      }
    };
    for (int i = 0; i < n; ++i) {
      if (parent[i] == -1) {
        body += write(i);
        walk(i);
      }
    }
    TdomDocument* doc = ParseBytes(body + "</r>");
    ASSERT_NE(doc, nullptr);
    // In scope at i: xml, xmlns and the nearest declaration of each prefix.
    auto inScope = [&](int i) {
      std::set<std::string> names{"xml", "xmlns"};
      for (int at = i; at != -1; at = parent[at]) {
        for (const auto& entry : declares[at]) names.insert(entry.first);
      }
      return names;
    };
    std::u16string text;
    std::set<std::pair<int, std::string>> wanted;
    for (int k = 0, m = 1 + int(random() % 4); k < m; ++k) {
      int i = int(random() % n);
      std::string step = random() % 3 == 0 ? prefixes[random() % 4] : "*";
      text += (text.empty() ? u"" : u" | ") + Wide("//e" + std::to_string(i) + "/namespace::" + step);
      for (const std::string& name : inScope(i)) {
        if (step == "*" || step == name) wanted.insert({i, name});
      }
    }
    std::vector<std::pair<int, std::string>> expected;
    for (int i : order) {
      for (const auto& entry : wanted) {
        if (entry.first == i) expected.push_back(entry);
      }
    }
    expression->SetContextNode(doc);
    expression->SetExpression(text);
    ASSERT_TRUE(expression->Evaluate()) << Utf8(text);
    std::vector<std::pair<int, std::string>> got;
    for (int k = 0; k < expression->ResultLength(); ++k) {
      auto* ns = static_cast<TdomXPathNamespace*>(expression->ResultNode(k));
      std::u16string owner = ns->GetOwnerElement()->GetNodeName();
      std::u16string prefix = ns->GetPrefix();
      got.push_back({std::stoi(std::string(owner.begin() + 1, owner.end())), std::string(prefix.begin(), prefix.end())});
    }
    EXPECT_EQ(got, expected) << body << " " << Utf8(text);
  }
}

// Under the default bound, shapes that ran for seconds end with the bound's
// error while ordinary queries on the same documents answer.
TEST_F(XPathWorkCharges, RunawayShapesAreRefusedAndOrdinaryOnesAnswer) {
  std::string names = "<r>";
  for (int i = 0; i < 3000; ++i) names += "<a n='" + std::to_string(i) + "'>text</a>";
  TdomDocument* doc = ParseBytes(names + "</r>");
  ASSERT_NE(doc, nullptr);
  std::u16string translate = u"translate(name(),'abcdefghijklmnopq','')";
  std::u16string runaway = u"count(//a[following-sibling::a[concat(" + translate + u"," + translate + u"," + translate +
                           u"," + translate + u")='x']])";
  expression->SetContextNode(doc);
  for (const std::u16string& text : {runaway, std::u16string(u"count(//*/following::*)")}) {
    expression->SetExpression(text);
    EXPECT_DOM_ERROR(expression->Evaluate(), EXPath_Limit_Err, kXPathTooMuchWork);
    EXPECT_GT(expression->SyntaxTree()->WorkDone(), kXPathWorkLimit);
  }
  EXPECT_EQ(Eval(doc, u"count(//a/following-sibling::a[1])"), "n:2999");
  EXPECT_EQ(Eval(doc, u"count(//a[@n = 1500]/following::*)"), "n:1499");
  EXPECT_EQ(Eval(doc, u"count(//a[concat(" + translate + u", string(@n)) = '7'])"), "n:1");
  EXPECT_LT(expression->SyntaxTree()->WorkDone(), kXPathWorkLimit / 20);
}

// The bound grows with the document: single passes over a million elements
// (10 MB) answer under the default bound, through the node shortcuts too.
TEST_F(XPathWorkCharges, SinglePassesOverAMillionElementsAnswer) {
  TdomDocument* doc = Repeat("<r>", "<e>1</e>", 999999, "<e>2</e></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->EvaluateToNumber(u"count((//e)[last()])"), 1);
  EXPECT_EQ(doc->EvaluateToNumber(u"count(//e[1])"), 1);
  EXPECT_EQ(doc->EvaluateToNumber(u"count(//e | //g)"), 1000000);
  EXPECT_TRUE(doc->EvaluateToBoolean(u"boolean(//e[.='2'])"));
}

}  // namespace
