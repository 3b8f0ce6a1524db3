// Differential test: random expressions over random documents, evaluated by
// this library and by the plain evaluator of XPathReference.h, from the
// document node or from a random node, with the results compared: node-sets
// node by node in document order, numbers by value (the sign of zero too)
// and by the text string() writes, strings and booleans exactly. The
// generator writes each expression's text together with its meaning for the
// plain evaluator, so the library's parser is checked along with its
// evaluator. 2,000 cases by default; QV_LONG=1 runs 10,000 (QV_XPATH_SEED=n
// draws other cases). A second sweep takes every axis with positional
// predicates from every node of a few documents, which random expressions
// reach too rarely.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "XPathReference.h"
#include "XPathTestSupport.h"

namespace {

using namespace xpathref;

// An expression: its text, its meaning, and how loosely it binds (0 for a
// primary, union, unary or function expression, 1 for <, <=, >, >=, 2 for = and !=).
struct Gen {
  std::string text;
  Eval eval;
  int looseness = 0;
};

// A location step: its text and its meaning.
struct GenStep {
  std::string text;
  Axis axis;
  NodeTest test;
  std::vector<Eval> predicates;
};

Value ContextNode(const Context& c) { return Value::Nodes({c.node}); }

// The axes by their names, in the order of xpathref::Axis.
const char* const kAxes[] = {"child",     "descendant", "parent",            "ancestor",
                             "self",      "descendant-or-self", "ancestor-or-self", "following",
                             "preceding", "following-sibling",  "preceding-sibling", "attribute"};

NodeTest ParseNodeTest(const std::string& text) {
  if (text == "*") return {NodeTest::Any, ""};
  if (text == "node()") return {NodeTest::AnyNode, ""};
  if (text == "text()") return {NodeTest::Text, ""};
  if (text == "comment()") return {NodeTest::Comment, ""};
  if (text == "processing-instruction()") return {NodeTest::Pi, ""};
  if (text == "processing-instruction('p')") return {NodeTest::Pi, "p"};
  return {NodeTest::Name, text};
}

class Generator {
public:
  explicit Generator(uint32_t seed) : rng(seed) {}

  int Pick(int n) { return int(rng() % uint32_t(n)); }
  template <size_t N>
  const char* PickOf(const char* const (&items)[N]) {
    return items[Pick(int(N))];
  }

  std::string Document() {
    std::string xml = "<r" + Attributes() + ">";
    Content(xml, 3);
    return xml + "</r>";
  }

  // An expression of the wanted type: 0 node-set, 1 number, 2 string, 3 boolean.
  Gen Expr(int type, int depth, bool inPredicate) {
    switch (type) {
      case 0: return NodeSet(depth, inPredicate);
      case 1: return Number(depth, inPredicate);
      case 2: return String(depth, inPredicate);
      default: return Boolean(depth, inPredicate);
    }
  }

private:
  std::string Attributes() {
    static const char* const kNames[] = {"x", "xml:lang", "y", "z"};
    static const char* const kValues[] = {"1", "2", "10", "1.0", "30", "a", "b c", "", " 2 ", "0.5", "-3", "5."};
    std::string text;
    for (const char* name : kNames) {
      bool lang = name[1] == 'm';
      if (Pick(lang ? 8 : 3) != 0) continue;
      text += std::string(" ") + name + "='" + (lang ? PickOf({"en-GB", "de", "EN", "english"}) : PickOf(kValues)) + "'";
    }
    return text;
  }

  void Content(std::string& xml, int depth) {
    static const char* const kNames[] = {"a", "b", "c", "d"};
    static const char* const kTexts[] = {"1", "2", "foo", "bar baz", "3.5", "a", " ", "7", "-2", " 4\n"};
    int count = depth > 0 ? 1 + Pick(4) : Pick(3);
    bool lastWasText = false;
    for (int i = 0; i < count; ++i) {
      int kind = Pick(10);
      if (kind < 5 && depth > 0) {
        std::string name = PickOf(kNames);
        xml += "<" + name + Attributes() + ">";
        Content(xml, depth - 1);
        xml += "</" + name + ">";
        lastWasText = false;
      } else if (kind < 8) {
        // Text and a CDATA section side by side are two DOM nodes but one
        // text node to XPath: the documents keep text nodes apart.
        if (lastWasText) continue;
        lastWasText = true;
        if (kind == 7) {
          xml += std::string("<![CDATA[") + PickOf(kTexts) + "]]>";
        } else {
          xml += PickOf(kTexts);
        }
      } else if (kind == 8) {
        xml += "<!--c-->";
        lastWasText = false;
      } else {
        xml += "<?p q?>";
        lastWasText = false;
      }
    }
  }

  GenStep Step(int depth) {
    static const char* const kTests[] = {"a", "b", "c", "d", "*", "node()", "text()", "comment()",
                                         "processing-instruction()", "processing-instruction('p')", "x", "y",
                                         "*", "node()", "a", "b"};
    GenStep step;
    switch (Pick(6)) {
      case 0: return {".", Axis::Self, {NodeTest::AnyNode, ""}, {}};
      case 1: return {"..", Axis::Parent, {NodeTest::AnyNode, ""}, {}};
      case 2: {
        std::string name = PickOf({"x", "y", "z", "*"});
        step = {"@" + name, Axis::Attribute, ParseNodeTest(name), {}};
        break;
      }
      case 3: {
        std::string name = PickOf({"a", "b", "c", "d", "*"});
        step = {name, Axis::Child, ParseNodeTest(name), {}};
        break;
      }
      default: {
        int axis = Pick(12);
        std::string name = PickOf(kTests);
        step = {std::string(kAxes[axis]) + "::" + name, Axis(axis), ParseNodeTest(name), {}};
        break;
      }
    }
    int predicates = depth > 0 ? Pick(3) : 0;
    if (predicates == 2) predicates = Pick(2);  // fewer double predicates
    for (int i = 0; i < predicates; ++i) {
      Gen predicate = Predicate(depth - 1);
      step.text += "[" + predicate.text + "]";
      step.predicates.push_back(predicate.eval);
    }
    return step;
  }

  static Eval Apply(const Eval& from, const GenStep& step) {
    return [from, step](const Context& c) {
      return Value::Nodes(xpathref::Step(*c.document, step.axis, step.test, step.predicates, from(c).nodes));
    };
  }

  Gen Predicate(int depth) {
    switch (Pick(6)) {
      case 0: {
        int n = 1 + Pick(3);
        return {std::to_string(n), [n](const Context&) { return Value::Num(n); }};
      }
      case 1: return {"last()", [](const Context& c) { return Value::Num(c.size); }};
      case 2: {
        static const char* const kOps[] = {"<", ">", "=", "!="};
        static const Op kMeanings[] = {Op::Lt, Op::Gt, Op::Eq, Op::Ne};
        int op = Pick(4), n = 1 + Pick(3);
        return {std::string("position() ") + kOps[op] + " " + std::to_string(n), [op, n](const Context& c) {
                  return Value::Bool(CompareAtoms(c, kMeanings[op], Value::Num(c.position), Value::Num(n)));
                }};
      }
      case 3: return NodeSet(depth, true);
      default: return Boolean(depth, true);
    }
  }

  Gen Path(int depth) {
    static const Eval kRoot = [](const Context&) { return Value::Nodes({0}); };
    static const GenStep kAnyDescendant = {"", Axis::DescendantOrSelf, {NodeTest::AnyNode, ""}, {}};
    Gen path{"", ContextNode};
    int start = Pick(6);  // half relative, then "//", then "/"
    if (start >= 3) path = {start == 3 ? "/" : "//", kRoot};
    if (start >= 4) path.eval = Apply(path.eval, kAnyDescendant);
    int steps = 1 + Pick(3);
    for (int i = 0; i < steps; ++i) {
      if (i > 0) {
        bool anyDescendant = Pick(3) == 0;
        path.text += anyDescendant ? "//" : "/";
        if (anyDescendant) path.eval = Apply(path.eval, kAnyDescendant);
      }
      GenStep step = Step(depth);
      path.text += step.text;
      path.eval = Apply(path.eval, step);
    }
    return path;
  }

  Gen NodeSet(int depth, bool inPredicate) {
    if (depth <= 0) return Path(0);
    switch (Pick(12) / 2) {
      case 0: {
        Gen a = Path(depth), b = Path(depth - 1);
        return {a.text + " | " + b.text, [a, b](const Context& c) {
                  std::vector<int> nodes = a.eval(c).nodes, more = b.eval(c).nodes;
                  nodes.insert(nodes.end(), more.begin(), more.end());
                  return Value::Nodes(nodes);
                }};
      }
      case 1: {
        Gen a = Path(depth), predicate = Predicate(depth - 1);
        return {"(" + a.text + ")[" + predicate.text + "]", [a, predicate](const Context& c) {
                  return Value::Nodes(Filter(*c.document, a.eval(c).nodes, {predicate.eval}));
                }};
      }
      case 2: {
        Gen a = NodeSet(depth - 1, inPredicate);
        GenStep step = Step(depth - 1);
        return {"(" + a.text + ")/" + step.text, Apply(a.eval, step)};
      }
      case 3:
        if (Pick(2) == 0) return Path(depth);
        // No document type, so no ID attributes.
        return {"id('x 1')", [](const Context&) { return Value::Nodes({}); }};
      default: return Path(depth);
    }
  }

  // f(argument) for a function of one argument.
  template <class F>
  static Gen Call(const std::string& name, const Gen& argument, F f) {
    return {name + "(" + argument.text + ")", [argument, f](const Context& c) { return f(c, argument.eval(c)); }};
  }

  Gen Number(int depth, bool inPredicate) {
    static const char* const kLiterals[] = {"0", "1", "2", "3", "2.5", ".5", "10", "0.1", "0.5", "5."};
    auto literal = [&] {
      std::string text = PickOf(kLiterals);
      double value = TextToNumber(text);
      return Gen{text, [value](const Context&) { return Value::Num(value); }};
    };
    if (depth <= 0) {
      if (inPredicate && Pick(3) == 0) {
        if (Pick(2)) return {"position()", [](const Context& c) { return Value::Num(c.position); }};
        return {"last()", [](const Context& c) { return Value::Num(c.size); }};
      }
      return literal();
    }
    auto number = [](const Context& c, const Value& v) { return Value::Num(ToNumber(c, v)); };
    switch (Pick(11)) {
      case 0:
        return Call("count", NodeSet(depth - 1, inPredicate),
                    [](const Context&, const Value& v) { return Value::Num(double(v.nodes.size())); });
      case 1:
        return Call("sum", NodeSet(depth - 1, inPredicate), [](const Context& c, const Value& v) {
          double sum = 0;
          for (int n : v.nodes) sum += TextToNumber(c.document->At(n).stringValue);
          return Value::Num(sum);
        });
      case 2: return Call("number", NodeSet(depth - 1, inPredicate), number);
      case 3:
        return Call("string-length", String(depth - 1, inPredicate),
                    [](const Context&, const Value& v) { return Value::Num(double(v.string.size())); });
      case 4:
      case 5: {
        static const char* const kOps[] = {"+", "-", "*", "div", "mod"};
        int op = Pick(5);
        Gen a = Number(depth - 1, inPredicate), b = Number(depth - 1, inPredicate);
        return {"(" + a.text + " " + kOps[op] + " " + b.text + ")", [a, b, op](const Context& c) {
                  double x = a.eval(c).number, y = b.eval(c).number;
                  switch (op) {
                    case 0: return Value::Num(x + y);
                    case 1: return Value::Num(x - y);
                    case 2: return Value::Num(x * y);
                    case 3: return Value::Num(x / y);
                    default: return Value::Num(std::fmod(x, y));
                  }
                }};
      }
      case 6: {
        Gen a = Number(depth - 1, inPredicate);
        return {"-" + a.text, [a](const Context& c) { return Value::Num(-a.eval(c).number); }};
      }
      case 7: {
        static const char* const kNames[] = {"floor", "ceiling", "round"};
        int f = Pick(3);
        return Call(kNames[f], Number(depth - 1, inPredicate), [f](const Context&, const Value& v) {
                      return Value::Num(f == 0 ? std::floor(v.number) : f == 1 ? std::ceil(v.number) : Round(v.number));
                    });
      }
      case 8: return Call("number", String(depth - 1, inPredicate), number);
      case 9: return Call("number", Boolean(depth - 1, inPredicate), number);
      default: return literal();
    }
  }

  Gen String(int depth, bool inPredicate) {
    static const char* const kLiterals[] = {"''", "'a'", "'foo'", "'1'", "'bar baz'", "' 2 '", "'x y'", "'-'", "'o'"};
    if (depth <= 0) {
      std::string text = PickOf(kLiterals);
      std::string value = text.substr(1, text.size() - 2);
      return {text, [value](const Context&) { return Value::Str(value); }};
    }
    auto string = [](const Context& c, const Value& v) { return Value::Str(ToString(c, v)); };
    switch (Pick(12)) {
      case 0: return Call("string", NodeSet(depth - 1, inPredicate), string);
      case 1: {
        Gen a = String(depth - 1, inPredicate), b = String(depth - 1, inPredicate);
        return {"concat(" + a.text + ", " + b.text + ")",
                [a, b](const Context& c) { return Value::Str(a.eval(c).string + b.eval(c).string); }};
      }
      case 2: {
        Gen s = String(depth - 1, inPredicate), start = Number(depth - 1, inPredicate);
        bool hasLength = Pick(2) == 1;
        Gen length = hasLength ? Number(depth - 1, inPredicate) : Gen{};
        return {"substring(" + s.text + ", " + start.text + (hasLength ? ", " + length.text : "") + ")",
                [s, start, length, hasLength](const Context& c) {
                  return Value::Str(Substring(s.eval(c).string, start.eval(c).number,
                                              hasLength ? length.eval(c).number : 0, hasLength));
                }};
      }
      case 3: {
        bool before = Pick(2) == 0;
        Gen a = String(depth - 1, inPredicate), b = String(depth - 1, inPredicate);
        return {std::string(before ? "substring-before" : "substring-after") + "(" + a.text + ", " + b.text + ")",
                [a, b, before](const Context& c) {
                  std::string s = a.eval(c).string, t = b.eval(c).string;
                  size_t at = s.find(t);
                  if (at == std::string::npos) return Value::Str("");
                  return Value::Str(before ? s.substr(0, at) : s.substr(at + t.size()));
                }};
      }
      case 4:
        return Call("normalize-space", String(depth - 1, inPredicate),
                    [](const Context&, const Value& v) { return Value::Str(NormalizeSpace(v.string)); });
      case 5: {
        Gen a = String(depth - 1, inPredicate);
        return {"translate(" + a.text + ", 'abo', 'BA')",
                [a](const Context& c) { return Value::Str(Translate(a.eval(c).string, "abo", "BA")); }};
      }
      case 6: {
        bool local = Pick(2) == 1;
        return Call(local ? "local-name" : "name", NodeSet(depth - 1, inPredicate),
                    [local](const Context& c, const Value& v) { return Value::Str(NameOf(c, v, local)); });
      }
      case 7: return Call("string", Number(depth - 1, inPredicate), string);
      case 8: return Call("string", Boolean(depth - 1, inPredicate), string);
      case 9:
        if (!inPredicate) return {"'x'", [](const Context&) { return Value::Str("x"); }};
        switch (Pick(3)) {
          case 0: return {"string()", [](const Context& c) { return Value::Str(ToString(c, ContextNode(c))); }};
          case 1:
            return {"normalize-space()",
                    [](const Context& c) { return Value::Str(NormalizeSpace(ToString(c, ContextNode(c)))); }};
          default: return {"name()", [](const Context& c) { return Value::Str(NameOf(c, ContextNode(c), false)); }};
        }
      default: return String(0, inPredicate);
    }
  }

  // "a op b", with parentheses where the operands bind more loosely than the operator allows.
  static Gen Comparison(Gen a, int op, Gen b) {
    static const char* const kOps[] = {"=", "!=", "<", "<=", ">", ">="};
    int looseness = op < 2 ? 2 : 1;
    if (a.looseness > looseness) a.text = "(" + a.text + ")";
    if (b.looseness >= looseness) b.text = "(" + b.text + ")";
    return {a.text + " " + kOps[op] + " " + b.text,
            [a, b, op](const Context& c) { return Value::Bool(Compare(c, Op(op), a.eval(c), b.eval(c))); },
            looseness};
  }

  Gen Boolean(int depth, bool inPredicate) {
    if (depth <= 0) {
      bool value = Pick(2) == 0;
      return {value ? "true()" : "false()", [value](const Context&) { return Value::Bool(value); }};
    }
    auto boolean = [](const Context&, const Value& v) { return Value::Bool(ToBoolean(v)); };
    int left = Pick(4);
    switch (Pick(9)) {
      case 0:
      case 1:
      case 2: {
        Gen a = Expr(left, depth - 1, inPredicate);
        int op = Pick(6);
        return Comparison(a, op, Expr(Pick(4), depth - 1, inPredicate));
      }
      case 3:
        return Call("not", Boolean(depth - 1, inPredicate),
                    [](const Context&, const Value& v) { return Value::Bool(!v.boolean); });
      case 4: {
        bool both = Pick(2) == 0;
        Gen a = Boolean(depth - 1, inPredicate), b = Boolean(depth - 1, inPredicate);
        return {"(" + a.text + (both ? " and " : " or ") + b.text + ")", [a, b, both](const Context& c) {
                  return Value::Bool(both ? a.eval(c).boolean && b.eval(c).boolean
                                          : a.eval(c).boolean || b.eval(c).boolean);
                }};
      }
      case 5: {
        bool contains = Pick(2) == 0;
        Gen a = String(depth - 1, inPredicate), b = String(depth - 1, inPredicate);
        return {std::string(contains ? "contains" : "starts-with") + "(" + a.text + ", " + b.text + ")",
                [a, b, contains](const Context& c) {
                  std::string s = a.eval(c).string, t = b.eval(c).string;
                  return Value::Bool(contains ? s.find(t) != std::string::npos : s.rfind(t, 0) == 0);
                }};
      }
      case 6: return Call("boolean", NodeSet(depth - 1, inPredicate), boolean);
      case 7:
        if (!inPredicate) return Boolean(0, inPredicate);
        return {"lang('en')", [](const Context& c) { return Value::Bool(Lang(c, "en")); }};
      default: return Call("boolean", Number(depth - 1, inPredicate), boolean);
    }
  }

  std::mt19937 rng;
};

bool SameNumber(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

std::string Describe(const Document& d, const Value& v) {
  switch (v.type) {
    case Value::NodeSet: {
      std::string text = "[";
      for (int n : v.nodes) text += (text.size() > 1 ? "," : "") + std::to_string(n) + ":" + DescribeXPathNode(d.At(n).dom);
      return text + "]";
    }
    case Value::Number: return "n:" + NumberToText(v.number) + (std::signbit(v.number) ? " (negative)" : "");
    case Value::String: return "s:" + v.string;
    default: return v.boolean ? "b:true" : "b:false";
  }
}

// Where a disagreement lies; empty when the library's result is the reference's.
std::string Disagreement(const Document& d, const Value& expected, const TdomXPathCustomResult* ours) {
  std::string mismatch = "expected " + Describe(d, expected) + ", library " + DescribeXPathResult(ours);
  switch (expected.type) {
    case Value::NodeSet: {
      if (ours->ResultType() != XPATH_NODE_SET_TYPE || ours->Length() != int(expected.nodes.size())) return mismatch;
      for (size_t i = 0; i < expected.nodes.size(); ++i) {
        if (ours->Item(int(i)) != d.At(expected.nodes[i]).dom) return mismatch + " (from node " + std::to_string(i) + ")";
      }
      return std::string();
    }
    case Value::Number:
      if (ours->ResultType() != XPATH_NUMBER_TYPE || !SameNumber(expected.number, ours->AsNumber())) return mismatch;
      // Also the number's text, as string() would write it.
      if (Utf8(ours->AsWideString()) != NumberToText(expected.number)) return mismatch + " (as text)";
      return std::string();
    case Value::String:
      return ours->ResultType() == XPATH_STRING_TYPE && Utf8(ours->AsWideString()) == expected.string ? std::string()
                                                                                                     : mismatch;
    default:
      return ours->ResultType() == XPATH_BOOLEAN_TYPE && ours->AsBoolean() == expected.boolean ? std::string()
                                                                                               : mismatch;
  }
}

class XPathDifferential : public XPathTest {};

TEST_F(XPathDifferential, AgreesWithAPlainEvaluator) {
  const bool longRun = std::getenv("QV_LONG") != nullptr;
  const int cases = longRun ? 10000 : 2000;
  const int perDocument = 25;
  // QV_XPATH_SEED chooses other documents and expressions than the fixed ones.
  const char* seedText = std::getenv("QV_XPATH_SEED");
  const uint32_t seedBase = seedText != nullptr ? uint32_t(std::strtoul(seedText, nullptr, 10)) : 1000;
  int compared = 0, tooCostly = 0, failures = 0, nonEmptySets = 0;
  int kinds[4] = {};
  for (int d = 0; compared < cases && failures < 20; ++d) {
    Generator gen(uint32_t(seedBase + d));
    std::string xml = gen.Document();
    TdomDocument* doc = ParseBytes(xml);
    ASSERT_NE(doc, nullptr) << xml;
    Document reference(doc);
    for (int i = 0; i < perDocument && compared < cases; ++i) {
      Gen expr = gen.Expr(gen.Pick(4), 1 + gen.Pick(3), false);
      // From the document node half of the time, else from any node but a
      // CDATA section (the library takes none as a context node).
      int context = gen.Pick(2) == 0 ? 0 : gen.Pick(reference.Size());
      if (reference.At(context).dom->GetNodeType() == ntCDATA_Section_Node) context = 0;
      Value expected;
      try {
        reference.ResetWork(200000);
        expected = expr.eval(xpathref::Context{&reference, context, 1, 1});
      } catch (const TooCostly&) {
        ++tooCostly;
        continue;
      }
      ++compared;
      ++kinds[expected.type];
      if (expected.type == Value::NodeSet && !expected.nodes.empty()) ++nonEmptySets;
      expression->SetContextNode(reference.At(context).dom);
      expression->SetExpression(std::u16string(expr.text.begin(), expr.text.end()));
      std::string mismatch = expression->Evaluate() ? Disagreement(reference, expected, expression->Result())
                                                    : "the library failed; expected " + Describe(reference, expected);
      if (!mismatch.empty()) {
        ++failures;
        ADD_FAILURE() << expr.text << "\n  from node " << context << " (" << DescribeXPathNode(reference.At(context).dom)
                      << ")\n  " << mismatch << "\n  document " << xml;
      }
    }
  }
  EXPECT_EQ(compared, cases);
  EXPECT_LT(tooCostly, cases / 20) << "too many expressions beyond the plain evaluator's step limit";
  std::printf("XPath differential: %d cases compared (%d node-sets, %d of them not empty, %d numbers, %d strings, "
              "%d booleans); %d skipped as too costly for the plain evaluator\n",
              compared, kinds[0], nonEmptySets, kinds[1], kinds[2], kinds[3], tooCostly);
}

// Every axis with every kind of node test and positional predicate, from
// every node of a few documents: positions count in reverse document order
// on the reverse axes, and each predicate numbers what the one before kept.
TEST_F(XPathDifferential, EveryAxisCountsPositionsFromEveryNode) {
  static const char* const kTests[] = {"node()", "*", "text()", "a", "x"};
  struct Positional {
    const char* text;
    std::vector<xpathref::Eval> predicates;
  };
  const xpathref::Eval first = [](const xpathref::Context&) { return Value::Num(1); };
  const xpathref::Eval second = [](const xpathref::Context&) { return Value::Num(2); };
  const xpathref::Eval last = [](const xpathref::Context& c) { return Value::Num(c.size); };
  const xpathref::Eval notFirst = [](const xpathref::Context& c) { return Value::Bool(c.position > 1); };
  const Positional positionals[] = {
      {"[1]", {first}}, {"[2]", {second}}, {"[last()]", {last}}, {"[position() > 1][1]", {notFirst, first}},
      {"[last()][1]", {last, first}}};
  int compared = 0, failures = 0;
  for (int d = 0; d < 3 && failures < 20; ++d) {
    Generator gen(uint32_t(2000 + d));
    std::string xml = gen.Document();
    TdomDocument* doc = ParseBytes(xml);
    ASSERT_NE(doc, nullptr) << xml;
    Document reference(doc);
    for (int context = 0; context < reference.Size(); ++context) {
      if (reference.At(context).dom->GetNodeType() == ntCDATA_Section_Node) continue;
      for (int axis = 0; axis < 12; ++axis) {
        for (const char* test : kTests) {
          for (const Positional& positional : positionals) {
            std::string text = std::string(kAxes[axis]) + "::" + test + positional.text;
            Value expected = Value::Nodes(
                xpathref::Step(reference, Axis(axis), ParseNodeTest(test), positional.predicates, {context}));
            expression->SetContextNode(reference.At(context).dom);
            expression->SetExpression(std::u16string(text.begin(), text.end()));
            ++compared;
            std::string mismatch = expression->Evaluate() ? Disagreement(reference, expected, expression->Result())
                                                          : "the library failed";
            if (!mismatch.empty() && ++failures <= 20) {
              ADD_FAILURE() << text << "\n  from node " << context << " ("
                            << DescribeXPathNode(reference.At(context).dom) << ")\n  " << mismatch << "\n  document "
                            << xml;
            }
          }
        }
      }
    }
  }
  std::printf("XPath differential: %d steps compared\n", compared);
}

}  // namespace
