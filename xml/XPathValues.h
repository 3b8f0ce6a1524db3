#pragma once
// The four value types of XPath 1.0 as result objects: boolean, number,
// string and node-set. Each converts itself to the three scalar types. A
// result is created without owner; whoever receives one frees it (Free()).
//
// A node-set refers to DOM nodes without owning them, except the XPath
// namespace nodes it creates for itself, which it frees when they leave it.
// It keeps document order, or reverse document order while AxisIsReverse.
// It never reads a node to let it go: a request handler may free nodes of
// the document while an evaluation holds them (see AskXPathImplementation).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "xml/DomTypes.h"
#include "xml/OwnedTree.h"

class TdomNode;
class TdomElement;
class TXPathExpression;

// Result type codes.
enum TdomXPathResultType : uint8_t {
  XPATH_BOOLEAN_TYPE = 0,
  XPATH_NODE_SET_TYPE = 1,
  XPATH_NUMBER_TYPE = 2,
  XPATH_STRING_TYPE = 3,
};

// What a subtree walk adds: the document and the tree nodes of XPath (see IsXPathTreeNode).
inline constexpr TdomWhatToShow kXPathSubtreeTypes =
    NodeTypeBit(ntDocument_Node) | NodeTypeBit(ntElement_Node) | NodeTypeBit(ntText_Node) |
    NodeTypeBit(ntCDATA_Section_Node) | NodeTypeBit(ntEntity_Reference_Node) |
    NodeTypeBit(ntProcessing_Instruction_Node) | NodeTypeBit(ntComment_Node);

class TdomXPathCustomResult : public TCustomOwnedNode {
public:
  void Create() { TCustomOwnedNode::Create(nullptr); }
  virtual bool GetAxisIsReverse() const { return false; }
  virtual void SetAxisIsReverse(bool) {}
  virtual bool AsBoolean() const = 0;
  virtual double AsNumber() const = 0;
  virtual std::u16string AsWideString() const = 0;
  // Null outside 0..Length()-1; scalar results hold no nodes.
  virtual TdomNode* Item(int index) const { (void)index; return nullptr; }
  virtual int Length() const { return 0; }
  virtual TdomXPathResultType ResultType() const = 0;
};

class TdomXPathBooleanResult : public TdomXPathCustomResult {
public:
  virtual void Create(bool value_);
  bool AsBoolean() const override { return value; }
  double AsNumber() const override { return value ? 1.0 : 0.0; }
  std::u16string AsWideString() const override { return value ? u"true" : u"false"; }
  TdomXPathResultType ResultType() const override { return XPATH_BOOLEAN_TYPE; }

private:
  bool value = false;
};

class TdomXPathNumberResult : public TdomXPathCustomResult {
public:
  virtual void Create(double value_);
  // False for either zero and for NaN.
  bool AsBoolean() const override;
  double AsNumber() const override { return value; }
  // XPathNumberToWideStr of the value.
  std::u16string AsWideString() const override;
  TdomXPathResultType ResultType() const override { return XPATH_NUMBER_TYPE; }

private:
  double value = 0.0;
};

class TdomXPathStringResult : public TdomXPathCustomResult {
public:
  virtual void Create(std::u16string value_);
  bool AsBoolean() const override { return !value.empty(); }
  // XPathWideStrToNumber of the value (NaN when it denotes no number).
  double AsNumber() const override;
  std::u16string AsWideString() const override { return value; }
  TdomXPathResultType ResultType() const override { return XPATH_STRING_TYPE; }

private:
  std::u16string value;
};

// Document order of any nodes, as keys computed once per tree: a node's key
// is below the keys of every node after it (an element's namespace nodes,
// then its attributes, come right after it). Valid while no tree changes; the
// owner of an instance rebuilds it when the document's structure stamp moves.
class TdomXPathDocumentOrder {
public:
  // Numbers node's whole tree on first use.
  uint64_t Key(const TdomNode* node);
  bool Empty() const { return keys.empty(); }
  void Clear();

private:
  void NumberTree(const TdomNode* root);

  std::unordered_map<const TdomNode*, uint64_t> keys;
  uint64_t nextKey = 0;
};

class TdomXPathNodeSetResult : public TdomXPathCustomResult {
public:
  ~TdomXPathNodeSetResult() override;
  void Create() { TdomXPathCustomResult::Create(); }

  bool GetAxisIsReverse() const override { return axisIsReverse; }
  // Reverses the list when value differs from the current direction.
  void SetAxisIsReverse(bool value) override;
  bool AsBoolean() const override { return !nodes.empty(); }
  double AsNumber() const override;
  // The string-value of the node first in document order; "" when empty.
  std::u16string AsWideString() const override;
  TdomNode* Item(int index) const override;
  int Length() const override { return static_cast<int>(nodes.size()); }
  TdomXPathResultType ResultType() const override { return XPATH_NODE_SET_TYPE; }

  // Creates a namespace node (owned by this set) for ownerElement and appends it.
  virtual void AddXPathNamespace(TdomElement* ownerElement, const std::u16string& namespaceUri,
                                 const std::u16string& prefix);
  // Inserts node at index (0..Length()); a namespace node is copied.
  virtual void Insert(int index, TdomNode* node);
  // Appends node (null is ignored); a namespace node is copied.
  virtual void Add(TdomNode* node);
  // Adds node and its descendants (no attributes) in the set's order; null adds nothing.
  virtual void AddSubtree(TdomNode* node);
  // AddSubtree keeping only the nodes whose type is in types.
  void AddSubtreeOfTypes(TdomNode* node, TdomWhatToShow types);
  // Frees the namespace nodes held and empties the list.
  virtual void Clear() override;
  // Removes the entry at index (a namespace node this set made is freed); out of range does nothing.
  virtual void Delete(int index);
  // Unites other into this set without duplicates, keeping this set's order;
  // other takes this set's direction. Appends in linear time when other
  // follows this set (the usual case); otherwise sorts once by document order.
  virtual void Merge(TdomXPathNodeSetResult* other);
  // Merge with document-order keys shared by the caller.
  void Merge(TdomXPathNodeSetResult* other, TdomXPathDocumentOrder& order);
  // From another node-set or from an expression's result; else the inherited error.
  void Assign(TPersistent* source) override;

  // Removes the entries for which drop answers true, keeping the order.
  template <class Pred>
  void RemoveIf(Pred drop) {
    size_t kept = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (drop(nodes[i])) {
        ReleaseNode(nodes[i]);
        continue;
      }
      nodes[kept++] = nodes[i];
    }
    nodes.resize(kept);
  }
  // Moves every node of other to the end of this set (namespace nodes change hands); other ends empty.
  void TakeAll(TdomXPathNodeSetResult* other);
  // Sorts in the set's order by document order and drops repeated nodes.
  void SortInOrder(TdomXPathDocumentOrder& order);
  // Appends without copying: a namespace node appended so stays its owner's.
  void AppendRaw(TdomNode* node) { nodes.push_back(node); }
  void Reserve(size_t count) { nodes.reserve(count); }

private:
  // Lets go of node, freeing it when this set made it.
  void ReleaseNode(TdomNode* node);
  // Frees every namespace node this set made.
  void FreeMade();
  // Node itself, or for a namespace node a copy made by this set.
  TdomNode* Copy(TdomNode* node);
  // Records made as this set's own (frees it when that fails) and returns it.
  TdomNode* Own(TdomNode* made);

  std::vector<TdomNode*> nodes;
  // The namespace nodes this set made and frees, known by address so that
  // no node is read to tell them from the DOM's; null while there are none.
  std::unique_ptr<std::unordered_set<TdomNode*>> madeNodes;
  bool axisIsReverse = false;
};

// Frees a result when it goes out of scope.
struct TdomXPathResultFree {
  void operator()(TdomXPathCustomResult* result) const {
    if (result != nullptr) result->Free();
  }
};
template <class T = TdomXPathCustomResult>
using TdomXPathResultPtr = std::unique_ptr<T, TdomXPathResultFree>;

// True for the node kinds of XPath's tree below the document: element, text,
// CDATA section, entity reference (text to XPath), processing instruction,
// comment. Document types and their declarations are not part of it.
bool IsXPathTreeNode(const TdomNode* node);

// Charges units of work to the evaluation running on this thread (nothing
// outside one); past its limit raises EXPath_Limit_Err.
void ChargeRunningXPathWork(size_t units);
// node's string-value (GetXPathStringValue), with the nodes walked and the
// text built charged to the running evaluation.
std::u16string XPathStringValueOf(const TdomNode* node);
// The number node's string-value denotes, the conversion paid for as well.
double XPathNumberValueOf(const TdomNode* node);
// XPathWideStrToNumber, paid for by the running evaluation.
double XPathTextToNumber(std::u16string_view text);
// The smallest and largest number the nodes of a node-set denote (NaN left
// out); any is false when none denotes one.
struct TdomXPathNumberRange {
  bool any = false;
  double min = 0;
  double max = 0;
};
TdomXPathNumberRange XPathNumberRangeOf(const TdomXPathCustomResult* set);
// Charges the running evaluation for reading or writing a string of length code units.
void ChargeXPathString(size_t length);

// The number in XPath's text form, locale-independent: "NaN", "Infinity",
// "-Infinity", integers without a point ("3", "-12", "100000000000000000000"),
// otherwise 15 significant digits without trailing zeros and never an
// exponent ("0.00000015"), so that XPathWideStrToNumber reads it back. Zero
// of either sign is "0".
std::u16string XPathNumberToWideStr(double value);

// The shared conversions: null raises ENot_Supported_Err "Not supported
// error."; a result of the wanted type comes back unchanged; otherwise a new
// result is made from the old one's value and the old one is freed.
TdomXPathCustomResult* XPathToBoolean(TdomXPathCustomResult* result);
TdomXPathCustomResult* XPathToNumber(TdomXPathCustomResult* result);
TdomXPathCustomResult* XPathToString(TdomXPathCustomResult* result);

// True when first comes after last in a set of the given direction (forward:
// later in document order; reverse: earlier), by order's keys (numbered on
// first use, paid for by the running evaluation).
bool XPathFollowsInSetOrder(TdomNode* last, TdomNode* first, bool reverse, TdomXPathDocumentOrder& order);
