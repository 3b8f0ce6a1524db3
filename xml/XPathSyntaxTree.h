#pragma once
// TdomXPathSyntaxTree: owns the syntax nodes of one prepared expression and
// builds them with a shift-reduce parser over the tokenizer's stream.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "xml/OwnedTree.h"
#include "xml/XPathSyntaxNodes.h"

class TXPathExpression;

// The deepest evaluation nesting a prepared expression may have. Deeper
// expressions fail to prepare (Prepare answers false), so that evaluation
// never runs out of stack. A chain of operators of one level ("a or b or
// c", "a | b | c", "1 + 2 - 3", "a = b != c") is evaluated in a loop and
// counts once, as a path's steps and a step's predicates do.
inline constexpr int kXPathMaxNesting = 1000;

// How much one evaluation may do, counted in nodes visited by axes (kept
// or passed over), nodes numbered for document order, sets copied and
// sorted, syntax nodes evaluated, predicate rounds, and text read or built
// (string-values, function arguments, numbers read): a unit is about 20 to
// 80 ns of an optimised build for most shapes (up to about 150 ns for chains
// of sibling steps), so the bound is a fifth to two thirds of a second of
// processor time, while linear queries over a document of 1 MB use a tenth
// to a third of it. An expression that needs more (nested paths over a large document)
// ends with EXPath_Limit_Err kXPathTooMuchWork instead of running for minutes.
inline constexpr int64_t kXPathWorkLimit = int64_t(1) << 22;
// What the bound grows by for each node the context node's document holds
// (its elements, attributes, texts...): a single pass over a document (a
// path, a union, a predicate, a comparison of string-values: 1 to 8 units
// a node) is never refused however large the document, while an expression
// whose work grows faster than the document still ends, after time in
// proportion to the document's size (for 10 MB of small elements, about
// 16 times the bound alone).
inline constexpr int64_t kXPathWorkPerNode = 32;
inline constexpr const char* kXPathTooMuchWork = "XPath expression needs too much work.";
// The longest string a function (concat) may build: 16 M code units; a
// longer one ends the evaluation with EXPath_Limit_Err kXPathStringTooLong.
inline constexpr size_t kXPathMaxStringLength = size_t(1) << 24;
inline constexpr const char* kXPathStringTooLong = "XPath string result too long.";
// The longest expression text that is prepared; longer ones fail to prepare
// before any syntax node is made.
inline constexpr size_t kXPathMaxLength = size_t(1) << 18;
// Why TXPathExpression::Prepare refuses a text of a valid form.
inline constexpr const char* kXPathTooLong = "XPath expression too long.";
inline constexpr const char* kXPathTooDeep = "XPath expression nested too deeply.";

// A stack of syntax nodes used while one expression is parsed; frees what it still holds.
class TdomXPathSyntaxNodeStack {
public:
  TdomXPathSyntaxNodeStack() = default;
  ~TdomXPathSyntaxNodeStack() { Clear(); }
  TdomXPathSyntaxNodeStack(const TdomXPathSyntaxNodeStack&) = delete;
  TdomXPathSyntaxNodeStack& operator=(const TdomXPathSyntaxNodeStack&) = delete;

  int Length() const { return static_cast<int>(nodes.size()); }
  // Frees every node still held.
  void Clear();
  // Depth 0 is the top; null when depth is out of range.
  TdomXPathSyntaxNode* Peek(int depth) const;
  // The top node (null when empty), no longer held.
  TdomXPathSyntaxNode* Pop();
  void Push(TdomXPathSyntaxNode* node) { nodes.push_back(node); }

private:
  std::vector<TdomXPathSyntaxNode*> nodes;
};

class TdomXPathSyntaxTree : public TCustomOwnedObject {
public:
  // owner_ may be null (then there is no context node).
  virtual void Create(TXPathExpression* owner_);
  // Frees every syntax node and forgets the root.
  void Clear() override;

  // A node of the token's class, owned by this tree; EndOfExpression and Invalid give null.
  virtual TdomXPathSyntaxNode* CreateSyntaxNode(TdomXPathTokenKind kind, const std::u16string& value);
  // The owner expression's context node, or null.
  virtual TdomNode* GetContextNode() const;
  virtual bool IsPrepared() const { return root != nullptr; }
  // Evaluates the root with the context node, position 1, size 1; a new result
  // owned by the caller. A context node XPath does not accept raises
  // ENot_Supported_Err; no prepared expression raises EXPath_Invalid_Expression_Err.
  virtual TdomXPathCustomResult* Evaluate();
  // Parses expression into this tree: true on success, false on a syntax
  // error, on an expression longer than kXPathMaxLength or nested deeper
  // than kXPathMaxNesting (the tree then stays unprepared).
  virtual bool Prepare(const std::u16string& expression);
  // Why the last Prepare failed for the size of the text: kXPathTooLong,
  // kXPathTooDeep, or null (it succeeded, or the text is no expression).
  const char* SizeRefusal() const { return sizeRefusal; }

  TdomXPathSyntaxNode* Root() const { return root; }
  TXPathExpression* OwnerExpression() const { return ownerExpression; }
  // Document-order keys shared by one evaluation; rebuilt whenever the tree of nodes may have changed.
  TdomXPathDocumentOrder& DocumentOrder() { return documentOrder; }
  // Forgets the document-order keys and the values kept (after a caller's handler ran).
  void DocumentMayHaveChanged();
  // The value of a cache point (evaluated on first use, then kept until the
  // document may have changed or the evaluation ends) for contextNode's
  // document. Not to be changed; valid until the outermost evaluation ends.
  const TdomXPathCustomResult* CachedValue(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition,
                                           int contextSize);
  // The string-values of the nodes of a cache point's node-set, kept beside it.
  const std::unordered_set<std::u16string>& CachedStringValues(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                              int contextPosition, int contextSize);
  // The namespace URI prefix has where the context node is ("" when none):
  // an element's, an attribute's or namespace node's element's, a text's,
  // comment's or processing instruction's parent's, the document's document
  // element's. Asked once per evaluation.
  std::u16string LookupPrefix(const std::u16string& prefix);
  // The numbers of a cache point's node-set, read once beside it.
  TdomXPathNumberRange CachedNumberRange(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition,
                                         int contextSize);
  // Counts units of work of the running evaluation; past the limit raises
  // EXPath_Limit_Err kXPathTooMuchWork.
  void ChargeWork(size_t units);
  // The work one evaluation may do: by default kXPathWorkLimit and
  // kXPathWorkPerNode for each node of the context node's document; a limit
  // set here is fixed.
  void SetWorkLimit(int64_t value) {
    workLimit = value;
    limitGrows = false;
  }
  // The work the last (or running) evaluation has done so far.
  int64_t WorkDone() const { return work; }

private:
  struct CacheEntry {
    const TdomNode* key = nullptr;  // the document the value was taken for
    uint64_t generation = 0;
    TdomXPathResultPtr<> value;
    std::unique_ptr<std::unordered_set<std::u16string>> strings;
    std::optional<TdomXPathNumberRange> numbers;
  };

  bool Parse(const std::u16string& expression);
  // Computes every node's evaluation depth (false when it exceeds the
  // limit), how it depends on its context, and the cache points.
  bool Analyse();
  CacheEntry& CurrentEntry(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition, int contextSize);
  void ForgetCachedValues();

  TXPathExpression* ownerExpression = nullptr;  // not owned
  TdomXPathSyntaxNode* root = nullptr;
  const char* sizeRefusal = nullptr;
  TdomXPathDocumentOrder documentOrder;
  int64_t work = 0;
  int64_t workLimit = kXPathWorkLimit;
  bool limitGrows = true;  // with the document (see SetWorkLimit)
  int64_t activeLimit = kXPathWorkLimit;  // of the running evaluation
  int evaluations = 0;  // nested Evaluate calls (through a caller's handler)
  std::unordered_map<const TdomXPathSyntaxNode*, CacheEntry> cache;
  uint64_t cacheGeneration = 0;
  std::unordered_map<std::u16string, std::u16string> prefixes;  // LookupPrefix's answers
  // Values replaced while the evaluation that may still use them runs.
  std::vector<TdomXPathResultPtr<>> retired;
  std::vector<std::unique_ptr<std::unordered_set<std::u16string>>> retiredStrings;
};

// The precedence level of a two-operand expression kind, loosest first: 1
// "or" up to 7 "|"; 0 for any other kind.
int XPathOperatorLevel(uint8_t kind);
// The nesting depth of node from its children's (see kXPathMaxNesting).
int XPathNestingOf(const TdomXPathSyntaxNode* node);

// Charges units of work to the evaluation that node belongs to (nothing
// without a syntax tree).
void ChargeXPathWork(const TdomXPathSyntaxNode* node, size_t units);

// True for the node types XPath accepts as context: element, attribute, text,
// processing instruction, comment, document and XPath namespace.
bool IsXPathContextNodeType(const TdomNode* node);
