#pragma once
// A plain XPath evaluator for the differential test: a parsed document is
// copied once into a flat table of nodes numbered in document order (each
// element, then its attributes, then its children), axes are walked over
// the parent and child links of that table, node-sets are sorted lists of
// those numbers, and predicates are tried on every candidate. Slow and
// simple on purpose, so that it checks the library's evaluator rather than
// repeats it. It knows what the test's generator writes: no namespaces, no
// document type (so no ID attributes), ASCII text.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "XmlParserTestSupport.h"
#include "xml/XmlDom.h"

namespace xpathref {

enum class Kind { Root, Element, Attribute, Text, Comment, Pi };

enum class Axis {
  Child, Descendant, Parent, Ancestor, Self, DescendantOrSelf, AncestorOrSelf,
  Following, Preceding, FollowingSibling, PrecedingSibling, Attribute
};

// A node test: a name, "*", node(), text(), comment(), processing-instruction(['target']).
struct NodeTest {
  enum Type { Name, Any, AnyNode, Text, Comment, Pi } type;
  std::string name;  // the name, or the target of processing-instruction('target') (empty: any)
};

struct Node {
  Kind kind;
  std::string name;         // element and attribute name, target of a processing instruction
  std::string stringValue;  // the XPath string-value
  int parent = -1;          // for an attribute its element
  std::vector<int> children;
  std::vector<int> attributes;
  TdomNode* dom = nullptr;
};

// Thrown when an evaluation needs more steps than the test allows itself.
struct TooCostly {};

class Document {
public:
  explicit Document(TdomDocument* document) { Add(document, -1); }

  int Size() const { return int(nodes.size()); }
  const Node& At(int i) const { return nodes[size_t(i)]; }

  // Whether a is an ancestor of n (walking n's parent links).
  bool IsAncestor(int a, int n) const {
    for (int p = At(n).parent; p >= 0; p = At(p).parent) {
      if (p == a) return true;
    }
    return false;
  }

  // The nodes of an axis from n, in the axis's order (nearest first on the reverse axes).
  std::vector<int> AxisNodes(Axis axis, int n) const {
    std::vector<int> out;
    const Node& node = At(n);
    switch (axis) {
      case Axis::Self: out.push_back(n); break;
      case Axis::Child: out = node.children; break;
      case Axis::Attribute: out = node.attributes; break;
      case Axis::Parent:
        if (node.parent >= 0) out.push_back(node.parent);
        break;
      case Axis::AncestorOrSelf: out.push_back(n); [[fallthrough]];
      case Axis::Ancestor:
        for (int p = node.parent; p >= 0; p = At(p).parent) out.push_back(p);
        break;
      case Axis::DescendantOrSelf: out.push_back(n); [[fallthrough]];
      case Axis::Descendant: AddDescendants(n, out); break;
      case Axis::Following:
        for (int i = n + 1; i < Size(); ++i) {
          if (At(i).kind != Kind::Attribute && !IsAncestor(n, i)) out.push_back(i);
        }
        break;
      case Axis::Preceding:
        for (int i = n - 1; i >= 0; --i) {
          if (At(i).kind != Kind::Attribute && !IsAncestor(i, n)) out.push_back(i);
        }
        break;
      case Axis::FollowingSibling:
      case Axis::PrecedingSibling: {
        if (node.kind == Kind::Attribute || node.parent < 0) break;
        const std::vector<int>& siblings = At(node.parent).children;
        auto at = std::find(siblings.begin(), siblings.end(), n);
        if (axis == Axis::FollowingSibling) {
          out.assign(at + 1, siblings.end());
        } else {
          out.assign(std::make_reverse_iterator(at), siblings.rend());
        }
        break;
      }
    }
    Charge(out.size() + 1);
    return out;
  }

  bool Matches(Axis axis, const NodeTest& test, int n) const {
    const Node& node = At(n);
    Kind principal = axis == Axis::Attribute ? Kind::Attribute : Kind::Element;
    switch (test.type) {
      case NodeTest::Name: return node.kind == principal && node.name == test.name;
      case NodeTest::Any: return node.kind == principal;
      case NodeTest::AnyNode: return true;
      case NodeTest::Text: return node.kind == Kind::Text;
      case NodeTest::Comment: return node.kind == Kind::Comment;
      default: return node.kind == Kind::Pi && (test.name.empty() || node.name == test.name);
    }
  }

  void Charge(size_t steps) const {
    work += steps;
    if (work > workLimit) throw TooCostly();
  }
  void ResetWork(size_t limit) const {
    work = 0;
    workLimit = limit;
  }

private:
  int Add(TdomNode* dom, int parent) {
    Node node;
    switch (dom->GetNodeType()) {
      case ntDocument_Node: node.kind = Kind::Root; break;
      case ntElement_Node: node.kind = Kind::Element; break;
      case ntAttribute_Node: node.kind = Kind::Attribute; break;
      case ntText_Node:
      case ntCDATA_Section_Node: node.kind = Kind::Text; break;
      case ntComment_Node: node.kind = Kind::Comment; break;
      case ntProcessing_Instruction_Node: node.kind = Kind::Pi; break;
      default: return -1;  // not in the generated documents
    }
    node.dom = dom;
    node.parent = parent;
    if (node.kind == Kind::Element || node.kind == Kind::Attribute || node.kind == Kind::Pi) {
      node.name = Utf8(dom->GetNodeName());
    }
    if (node.kind != Kind::Root && node.kind != Kind::Element) node.stringValue = Utf8(dom->GetNodeValue());
    int index = Size();
    nodes.push_back(node);
    if (TdomNamedNodeMap* attributes = dom->GetAttributes()) {
      for (int i = 0; i < attributes->GetLength(); ++i) {
        int a = Add(attributes->Item(i), index);
        nodes[size_t(index)].attributes.push_back(a);
      }
    }
    for (TdomNode* child = dom->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      int c = Add(child, index);
      if (c < 0) continue;
      nodes[size_t(index)].children.push_back(c);
      // The string-value of the root and of an element: its text descendants in order.
      const Node& added = nodes[size_t(c)];
      if (added.kind == Kind::Text || added.kind == Kind::Element) nodes[size_t(index)].stringValue += added.stringValue;
    }
    return index;
  }

  void AddDescendants(int n, std::vector<int>& out) const {
    for (int c : At(n).children) {
      out.push_back(c);
      AddDescendants(c, out);
    }
  }

  std::vector<Node> nodes;
  mutable size_t work = 0;
  mutable size_t workLimit = std::numeric_limits<size_t>::max();
};

// A value; a node-set holds its nodes in document order, each once.
struct Value {
  enum Type { NodeSet, Number, String, Boolean } type = Boolean;
  std::vector<int> nodes;
  double number = 0;
  std::string string;
  bool boolean = false;

  static Value Nodes(std::vector<int> nodes) {
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    Value v;
    v.type = NodeSet;
    v.nodes = std::move(nodes);
    return v;
  }
  static Value Num(double number) {
    Value v;
    v.type = Number;
    v.number = number;
    return v;
  }
  static Value Str(std::string string) {
    Value v;
    v.type = String;
    v.string = std::move(string);
    return v;
  }
  static Value Bool(bool boolean) {
    Value v;
    v.boolean = boolean;
    return v;
  }
};

// The context of an evaluation: node, proximity position and size.
struct Context {
  const Document* document;
  int node;
  int position;
  int size;
};

using Eval = std::function<Value(const Context&)>;

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A string read as a number: optional white space, an optional minus, digits
// with at most one point; anything else is NaN.
inline double TextToNumber(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsSpace(text[first])) ++first;
  while (last > first && IsSpace(text[last - 1])) --last;
  bool negative = first < last && text[first] == '-';
  if (negative) ++first;
  std::string digits = text.substr(first, last - first);
  int points = 0, figures = 0;
  for (char c : digits) {
    if (c == '.') {
      ++points;
    } else if (c >= '0' && c <= '9') {
      ++figures;
    } else {
      return std::nan("");
    }
  }
  if (points > 1 || figures == 0) return std::nan("");
  if (digits.front() == '.') digits.insert(digits.begin(), '0');
  if (digits.back() == '.') digits.push_back('0');
  double value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return negative ? -value : value;
}

// A number as a string: NaN, Infinity, an integer without a point, else a
// decimal fraction without an exponent, to fifteen significant digits.
inline std::string NumberToText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0) return "0";
  char buffer[64];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14).ptr;
  std::string scientific(buffer, end);  // "1.23450000000000e+20"
  size_t e = scientific.find('e');
  std::string digits = scientific.substr(0, 1) + scientific.substr(2, e - 2);
  int exponent = std::stoi(scientific.substr(e + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string text;
  if (exponent < 0) {
    text = "0." + std::string(size_t(-exponent - 1), '0') + digits;
  } else if (size_t(exponent) + 1 >= digits.size()) {
    text = digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
  } else {
    text = digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
  }
  return (value < 0 ? "-" : "") + text;
}

inline std::string ToString(const Context& c, const Value& v) {
  switch (v.type) {
    case Value::NodeSet: return v.nodes.empty() ? std::string() : c.document->At(v.nodes.front()).stringValue;
    case Value::Number: return NumberToText(v.number);
    case Value::String: return v.string;
    default: return v.boolean ? "true" : "false";
  }
}

inline double ToNumber(const Context& c, const Value& v) {
  switch (v.type) {
    case Value::Number: return v.number;
    case Value::Boolean: return v.boolean ? 1 : 0;
    default: return TextToNumber(ToString(c, v));
  }
}

inline bool ToBoolean(const Value& v) {
  switch (v.type) {
    case Value::NodeSet: return !v.nodes.empty();
    case Value::Number: return v.number != 0 && !std::isnan(v.number);
    case Value::String: return !v.string.empty();
    default: return v.boolean;
  }
}

// Whether a predicate's value keeps the node at position.
inline bool PredicateHolds(const Value& v, int position) {
  return v.type == Value::Number ? v.number == position : ToBoolean(v);
}

// The nodes of list (in the order positions count) that every predicate keeps, one predicate after the other.
inline std::vector<int> Filter(const Document& d, std::vector<int> list, const std::vector<Eval>& predicates) {
  for (const Eval& predicate : predicates) {
    std::vector<int> kept;
    for (size_t i = 0; i < list.size(); ++i) {
      if (PredicateHolds(predicate(Context{&d, list[i], int(i) + 1, int(list.size())}), int(i) + 1)) {
        kept.push_back(list[i]);
      }
    }
    list = kept;
  }
  return list;
}

// One location step from every node of from.
inline std::vector<int> Step(const Document& d, Axis axis, const NodeTest& test, const std::vector<Eval>& predicates,
                             const std::vector<int>& from) {
  std::vector<int> out;
  for (int n : from) {
    std::vector<int> candidates;
    for (int m : d.AxisNodes(axis, n)) {
      if (d.Matches(axis, test, m)) candidates.push_back(m);
    }
    for (int m : Filter(d, candidates, predicates)) out.push_back(m);
  }
  return Value::Nodes(out).nodes;
}

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

// Two values none of which is a node-set.
inline bool CompareAtoms(const Context& c, Op op, const Value& a, const Value& b) {
  if (op == Op::Eq || op == Op::Ne) {
    bool equal;
    if (a.type == Value::Boolean || b.type == Value::Boolean) {
      equal = ToBoolean(a) == ToBoolean(b);
    } else if (a.type == Value::Number || b.type == Value::Number) {
      equal = ToNumber(c, a) == ToNumber(c, b);
    } else {
      equal = ToString(c, a) == ToString(c, b);
    }
    return op == Op::Eq ? equal : !equal;
  }
  double x = ToNumber(c, a), y = ToNumber(c, b);
  switch (op) {
    case Op::Lt: return x < y;
    case Op::Le: return x <= y;
    case Op::Gt: return x > y;
    default: return x >= y;
  }
}

// A comparison: a node-set compares through each of its nodes' string-values
// (true when one of them satisfies it), or as a boolean against a boolean.
inline bool Compare(const Context& c, Op op, const Value& a, const Value& b) {
  auto node = [&](int n) { return Value::Str(c.document->At(n).stringValue); };
  if (a.type == Value::NodeSet && b.type == Value::Boolean) return CompareAtoms(c, op, Value::Bool(ToBoolean(a)), b);
  if (b.type == Value::NodeSet && a.type == Value::Boolean) return CompareAtoms(c, op, a, Value::Bool(ToBoolean(b)));
  if (a.type == Value::NodeSet) {
    for (int n : a.nodes) {
      if (Compare(c, op, node(n), b)) return true;
    }
    return false;
  }
  if (b.type == Value::NodeSet) {
    for (int n : b.nodes) {
      if (CompareAtoms(c, op, a, node(n))) return true;
    }
    return false;
  }
  return CompareAtoms(c, op, a, b);
}

inline double Round(double x) {
  if (std::isnan(x) || std::isinf(x)) return x;
  double lower = std::floor(x);
  double result = x - lower >= 0.5 ? lower + 1 : lower;
  return result == 0 && x < 0 ? -0.0 : result;
}

// The characters at positions p with round(start) <= p (< round(start) + round(length)), counted from 1.
inline std::string Substring(const std::string& s, double start, double length, bool hasLength) {
  std::string out;
  double first = Round(start), end = first + Round(length);
  for (size_t i = 0; i < s.size(); ++i) {
    double p = double(i + 1);
    if (p >= first && (!hasLength || p < end)) out += s[i];
  }
  return out;
}

inline std::string NormalizeSpace(const std::string& s) {
  std::string out;
  for (char ch : s) {
    if (!IsSpace(ch)) {
      out += ch;
    } else if (!out.empty() && out.back() != ' ') {
      out += ' ';
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

inline std::string Translate(const std::string& s, const std::string& from, const std::string& to) {
  std::string out;
  for (char ch : s) {
    size_t at = from.find(ch);
    if (at == std::string::npos) {
      out += ch;
    } else if (at < to.size()) {
      out += to[at];
    }
  }
  return out;
}

// name() and local-name() of the first node of a node-set.
inline std::string NameOf(const Context& c, const Value& set, bool local) {
  if (set.nodes.empty()) return std::string();
  std::string name = c.document->At(set.nodes.front()).name;
  size_t colon = name.find(':');
  return local && colon != std::string::npos ? name.substr(colon + 1) : name;
}

// lang(language): the nearest xml:lang of the node or its ancestors names the language or a sub-language of it.
inline bool Lang(const Context& c, const std::string& language) {
  const Document& d = *c.document;
  int n = c.node;
  if (d.At(n).kind == Kind::Attribute) n = d.At(n).parent;
  for (; n >= 0; n = d.At(n).parent) {
    for (int a : d.At(n).attributes) {
      if (d.At(a).name != "xml:lang") continue;
      std::string value = d.At(a).stringValue;
      for (char& ch : value) ch = char(std::tolower(static_cast<unsigned char>(ch)));
      return value == language || value.rfind(language + "-", 0) == 0;
    }
  }
  return false;
}

}  // namespace xpathref
