#pragma once
// The syntax nodes of XPath 1.0: one class per token kind and per grammar
// production. The syntax tree owns every node; left and right children are
// plain links. Expression classes evaluate against a context (node, position,
// size) into a new result owned by the caller; location-path classes
// transform node-sets, consuming the set they are given.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "xml/DomTypes.h"
#include "xml/OwnedTree.h"
#include "xml/XPathTokenizer.h"
#include "xml/XPathValues.h"

class TdomDocumentWatch;

class TDomImplementation;
class TdomNode;
class TdomXPathNodeTest;
class TdomXPathSyntaxTree;

// A test a selected node must also pass (null: any node will do).
using TdomXPathNodeCheck = std::function<bool(TdomNode*)>;

// The class of a syntax node: the token kinds, then the productions.
enum TdomXPathSyntaxKind : uint8_t {
  XPATH_EXPR_NODE = XPATH_INVALID_TOKEN + 1,
  XPATH_OR_EXPR_NODE,
  XPATH_AND_EXPR_NODE,
  XPATH_IS_EQUAL_EXPR_NODE,
  XPATH_IS_NOT_EQUAL_EXPR_NODE,
  XPATH_LESS_THAN_EXPR_NODE,
  XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE,
  XPATH_GREATER_THAN_EXPR_NODE,
  XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE,
  XPATH_PLUS_EXPR_NODE,
  XPATH_MINUS_EXPR_NODE,
  XPATH_MULTIPLY_EXPR_NODE,
  XPATH_DIV_EXPR_NODE,
  XPATH_MOD_EXPR_NODE,
  XPATH_UNARY_EXPR_NODE,
  XPATH_UNION_EXPR_NODE,
  XPATH_PATH_EXPR_NODE,
  XPATH_FILTER_EXPR_NODE,
  XPATH_PRIMARY_EXPR_NODE,
  XPATH_STEP_NODE,
  XPATH_NODE_TEST_NODE,
  XPATH_PREDICATE_NODE,
  XPATH_FUNCTION_CALL_NODE,
  XPATH_ABSOLUTE_LOCATION_PATH_NODE,
};

class TdomXPathSyntaxNode : public TCustomOwnedObject {
public:
  explicit TdomXPathSyntaxNode(uint8_t kind_) : kind(kind_) {}
  // owner is the syntax tree; value is the token's value.
  virtual void Create(TCustomOwnedObject* owner, const std::u16string& value_);
  TdomXPathSyntaxTree* GetSyntaxTree() const;
  uint8_t Kind() const { return kind; }
  bool Is(uint8_t k) const { return kind == k; }

  // A new result owned by the caller; the base raises EXPath_Type_Err.
  virtual TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize);

  TdomXPathSyntaxNode* left = nullptr;   // not owned
  TdomXPathSyntaxNode* right = nullptr;  // not owned
  std::u16string value;
  int depth = 0;  // evaluation nesting below this node, set when the tree is prepared
  // Set when the tree is prepared: how the value depends on the context it
  // is evaluated with (kXPathUses...), whether evaluating it may call the
  // implementation's handlers, and whether one evaluation keeps its value
  // (a context-free part of a predicate, asked again for every node).
  uint8_t contextUse = 0;
  bool callsHandlers = false;
  bool cachePoint = false;

private:
  uint8_t kind;
};

// What a value depends on: nothing, the context node's document only (an
// absolute path), or the context node, position or size.
inline constexpr uint8_t kXPathUsesNothing = 0;
inline constexpr uint8_t kXPathUsesDocument = 1;
inline constexpr uint8_t kXPathUsesContext = 2;

#define QV_XPATH_SYNTAX_CLASS(NAME, BASE, KIND) \
  class NAME : public BASE {                    \
  public:                                       \
    NAME() : BASE(KIND) {}                      \
  }

// Token classes without behaviour.
QV_XPATH_SYNTAX_CLASS(TdomXPathLeftParenthesis, TdomXPathSyntaxNode, XPATH_LEFT_PARENTHESIS_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathRightParenthesis, TdomXPathSyntaxNode, XPATH_RIGHT_PARENTHESIS_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathLeftSquareBracket, TdomXPathSyntaxNode, XPATH_LEFT_SQUARE_BRACKET_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathRightSquareBracket, TdomXPathSyntaxNode, XPATH_RIGHT_SQUARE_BRACKET_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathSingleDot, TdomXPathSyntaxNode, XPATH_SINGLE_DOT_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathDoubleDot, TdomXPathSyntaxNode, XPATH_DOUBLE_DOT_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathCommercialAt, TdomXPathSyntaxNode, XPATH_COMMERCIAL_AT_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathComma, TdomXPathSyntaxNode, XPATH_COMMA_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathDoubleColon, TdomXPathSyntaxNode, XPATH_DOUBLE_COLON_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathSlashOperator, TdomXPathSyntaxNode, XPATH_SLASH_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathShefferStrokeOperator, TdomXPathSyntaxNode, XPATH_SHEFFER_STROKE_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathPlusOperator, TdomXPathSyntaxNode, XPATH_PLUS_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathMinusOperator, TdomXPathSyntaxNode, XPATH_MINUS_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathIsEqualOperator, TdomXPathSyntaxNode, XPATH_IS_EQUAL_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathIsNotEqualOperator, TdomXPathSyntaxNode, XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathLessThanOperator, TdomXPathSyntaxNode, XPATH_LESS_THAN_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathLessThanOrEqualOperator, TdomXPathSyntaxNode,
                      XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathGreaterThanOperator, TdomXPathSyntaxNode, XPATH_GREATER_THAN_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathGreaterThanOrEqualOperator, TdomXPathSyntaxNode,
                      XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathAndOperator, TdomXPathSyntaxNode, XPATH_AND_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathOrOperator, TdomXPathSyntaxNode, XPATH_OR_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathModOperator, TdomXPathSyntaxNode, XPATH_MOD_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathDivOperator, TdomXPathSyntaxNode, XPATH_DIV_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathMultiplyOperator, TdomXPathSyntaxNode, XPATH_MULTIPLY_OPERATOR_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathFunctionName, TdomXPathSyntaxNode, XPATH_FUNCTION_NAME_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathNodeTypeNode, TdomXPathSyntaxNode, XPATH_NODE_TYPE_NODE_TOKEN);
QV_XPATH_SYNTAX_CLASS(TdomXPathAbsoluteLocationPath, TdomXPathSyntaxNode, XPATH_ABSOLUTE_LOCATION_PATH_NODE);

// --- Location paths ---------------------------------------------------------------------

class TdomXPathStep : public TdomXPathSyntaxNode {
public:
  TdomXPathStep() : TdomXPathSyntaxNode(XPATH_STEP_NODE) {}
  // Appends step at the end of the chain of steps; false when the chain ends otherwise.
  virtual bool AddStep(TdomXPathStep* step);
  // Runs this step and the ones after it on nodeSet (consumed); an empty set comes back unchanged.
  virtual TdomXPathNodeSetResult* EvaluateStep(TdomXPathNodeSetResult* nodeSet);
  // Whether EvaluateStep would select any node passing check; the last step
  // stops at the first such node when its predicates cannot tell positions apart.
  bool SelectsAny(TdomXPathNodeSetResult* nodeSet, const TdomXPathNodeCheck* check = nullptr);
};

class TdomXPathCustomAxisName : public TdomXPathSyntaxNode {
public:
  TdomXPathCustomAxisName(uint8_t kind_, bool reverse, TdomNodeType principal)
      : TdomXPathSyntaxNode(kind_), axisIsReverse(reverse), principalNodeType(principal) {}
  bool AxisIsReverse() const { return axisIsReverse; }
  TdomNodeType PrincipalNodeType() const { return principalNodeType; }
  // The nodes of this axis from node, in axis order (a new set).
  virtual TdomXPathNodeSetResult* SelectNodes(TdomNode* node) = 0;
  // For each node of nodeSet (consumed): select, test, filter, merge.
  virtual TdomXPathNodeSetResult* EvaluateAxis(TdomXPathNodeSetResult* nodeSet);
  // As EvaluateAxis with the descendants of each node in place of this
  // axis's nodes, in document order (this step's test and predicates apply).
  TdomXPathNodeSetResult* EvaluateAxisOverDescendants(TdomXPathNodeSetResult* nodeSet);
  // Whether EvaluateAxis (or EvaluateAxisOverDescendants) would select any node passing check.
  bool SelectsAny(TdomXPathNodeSetResult* nodeSet, bool overDescendants, const TdomXPathNodeCheck* check);

private:
  TdomXPathNodeSetResult* RunAxis(TdomXPathNodeSetResult* nodeSet, bool overDescendants);
  // The nodes this axis selects from node that pass test, as far as the
  // wanted-th of them (or all when wanted is 0); the walk is charged.
  TdomXPathNodeSetResult* SelectTested(TdomNode* node, TdomXPathNodeTest* test, int wanted);

  bool axisIsReverse;
  TdomNodeType principalNodeType;
};

#define QV_XPATH_AXIS_CLASS(NAME, KIND, REVERSE, PRINCIPAL)                          \
  class NAME : public TdomXPathCustomAxisName {                                      \
  public:                                                                            \
    NAME() : TdomXPathCustomAxisName(KIND, REVERSE, PRINCIPAL) {}                    \
    TdomXPathNodeSetResult* SelectNodes(TdomNode* node) override;                    \
  }

QV_XPATH_AXIS_CLASS(TdomXPathAxisNameAncestor, XPATH_AXIS_NAME_ANCESTOR_TOKEN, true, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameAncestorOrSelf, XPATH_AXIS_NAME_ANCESTOR_OR_SELF_TOKEN, true, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameAttribute, XPATH_AXIS_NAME_ATTRIBUTE_TOKEN, false, ntAttribute_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameChild, XPATH_AXIS_NAME_CHILD_TOKEN, false, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameDescendant, XPATH_AXIS_NAME_DESCENDANT_TOKEN, false, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameDescendantOrSelf, XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN, false,
                    ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameFollowing, XPATH_AXIS_NAME_FOLLOWING_TOKEN, false, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameFollowingSibling, XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN, false,
                    ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameNamespace, XPATH_AXIS_NAME_NAMESPACE_TOKEN, false, ntXPath_Namespace_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameParent, XPATH_AXIS_NAME_PARENT_TOKEN, false, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNamePreceding, XPATH_AXIS_NAME_PRECEDING_TOKEN, true, ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNamePrecedingSibling, XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN, true,
                    ntElement_Node);
QV_XPATH_AXIS_CLASS(TdomXPathAxisNameSelf, XPATH_AXIS_NAME_SELF_TOKEN, false, ntElement_Node);

class TdomXPathNodeTest : public TdomXPathSyntaxNode {
public:
  TdomXPathNodeTest() : TdomXPathSyntaxNode(XPATH_NODE_TEST_NODE) {}
  // Keeps the nodes that pass the name test or node type test (left child).
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet, TdomNodeType principalNodeType);
};

class TdomXPathPredicate : public TdomXPathSyntaxNode {
public:
  TdomXPathPredicate() : TdomXPathSyntaxNode(XPATH_PREDICATE_NODE) {}
  // Keeps the nodes for which the expression holds (a number: equals the
  // position), then lets the next predicate filter the survivors.
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet);
  // True when neither the expression nor its value can depend on the
  // position: its value is never a number and it calls neither position() nor last().
  bool IsPositionFree();
  // Whether node passes this predicate and the ones after it, when they are
  // all position-free (IsPositionFree); position and size are node's in the
  // set this predicate filters.
  bool Accepts(TdomNode* node, int position, int size);

private:
  int8_t positionFree = -1;  // -1 not yet known
};

class TdomXPathNameTest : public TdomXPathSyntaxNode {
public:
  TdomXPathNameTest() : TdomXPathSyntaxNode(XPATH_NAME_TEST_TOKEN) {}
  // Splits the value: "*", "prefix:*" or a QName (EInvalid_Character_Err otherwise).
  void Create(TCustomOwnedObject* owner, const std::u16string& value_) override;
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet, TdomNodeType principalNodeType);
  const std::u16string& Prefix() const { return prefix; }
  const std::u16string& LocalName() const { return localName; }

private:
  std::u16string prefix;
  std::u16string localName;
};

class TdomXPathNodeTypeComment : public TdomXPathSyntaxNode {
public:
  TdomXPathNodeTypeComment() : TdomXPathSyntaxNode(XPATH_NODE_TYPE_COMMENT_TOKEN) {}
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet);
};

class TdomXPathNodeTypePI : public TdomXPathSyntaxNode {
public:
  TdomXPathNodeTypePI() : TdomXPathSyntaxNode(XPATH_NODE_TYPE_PI_TOKEN) {}
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet);
};

class TdomXPathNodeTypeText : public TdomXPathSyntaxNode {
public:
  TdomXPathNodeTypeText() : TdomXPathSyntaxNode(XPATH_NODE_TYPE_TEXT_TOKEN) {}
  virtual TdomXPathNodeSetResult* FilterNodes(TdomXPathNodeSetResult* nodeSet);
};

// --- Expressions ----------------------------------------------------------------------

#define QV_XPATH_EXPR_CLASS(NAME, BASE, KIND)                                                     \
  class NAME : public BASE {                                                                      \
  public:                                                                                         \
    NAME() : BASE(KIND) {}                                                                        \
    TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override; \
  }

QV_XPATH_EXPR_CLASS(TdomXPathExpr, TdomXPathSyntaxNode, XPATH_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathPrimaryExpr, TdomXPathSyntaxNode, XPATH_PRIMARY_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathUnionExpr, TdomXPathSyntaxNode, XPATH_UNION_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathFilterExpr, TdomXPathSyntaxNode, XPATH_FILTER_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathOrExpr, TdomXPathSyntaxNode, XPATH_OR_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathAndExpr, TdomXPathSyntaxNode, XPATH_AND_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathUnaryExpr, TdomXPathSyntaxNode, XPATH_UNARY_EXPR_NODE);
QV_XPATH_EXPR_CLASS(TdomXPathLiteral, TdomXPathSyntaxNode, XPATH_LITERAL_TOKEN);
QV_XPATH_EXPR_CLASS(TdomXPathNumber, TdomXPathSyntaxNode, XPATH_NUMBER_TOKEN);

class TdomXPathPathExpr : public TdomXPathSyntaxNode {
public:
  TdomXPathPathExpr() : TdomXPathSyntaxNode(XPATH_PATH_EXPR_NODE) {}
  // Appends step after the path's last step (or as its first).
  virtual bool AddStep(TdomXPathStep* step);
  TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override;
  // A location path (no filter on the left): whether it selects any node.
  bool IsLocationPath() const;
  bool SelectsAny(TdomNode* contextNode, const TdomXPathNodeCheck* check = nullptr);

private:
  TdomXPathNodeSetResult* StartSet(TdomNode* contextNode);

  TdomXPathStep* lastStep = nullptr;  // not owned
};

// Comparisons: both operands evaluated, then the rules of XPath 1.0.
class TdomXPathEqualityExpr : public TdomXPathSyntaxNode {
public:
  using TdomXPathSyntaxNode::TdomXPathSyntaxNode;
  TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override;
};
class TdomXPathRelationalExpr : public TdomXPathEqualityExpr {
public:
  using TdomXPathEqualityExpr::TdomXPathEqualityExpr;
};
QV_XPATH_SYNTAX_CLASS(TdomXPathIsEqualExpr, TdomXPathEqualityExpr, XPATH_IS_EQUAL_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathIsNotEqualExpr, TdomXPathEqualityExpr, XPATH_IS_NOT_EQUAL_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathLessThanExpr, TdomXPathRelationalExpr, XPATH_LESS_THAN_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathLessThanOrEqualExpr, TdomXPathRelationalExpr, XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathGreaterThanExpr, TdomXPathRelationalExpr, XPATH_GREATER_THAN_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathGreaterThanOrEqualExpr, TdomXPathRelationalExpr,
                      XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE);

// Arithmetic: both operands converted to numbers, IEEE double arithmetic.
class TdomXPathAdditiveExpr : public TdomXPathSyntaxNode {
public:
  using TdomXPathSyntaxNode::TdomXPathSyntaxNode;
  TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override;
};
class TdomXPathMultiplicativeExpr : public TdomXPathAdditiveExpr {
public:
  using TdomXPathAdditiveExpr::TdomXPathAdditiveExpr;
};
QV_XPATH_SYNTAX_CLASS(TdomXPathPlusExpr, TdomXPathAdditiveExpr, XPATH_PLUS_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathMinusExpr, TdomXPathAdditiveExpr, XPATH_MINUS_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathMultiplyExpr, TdomXPathMultiplicativeExpr, XPATH_MULTIPLY_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathDivExpr, TdomXPathMultiplicativeExpr, XPATH_DIV_EXPR_NODE);
QV_XPATH_SYNTAX_CLASS(TdomXPathModExpr, TdomXPathMultiplicativeExpr, XPATH_MOD_EXPR_NODE);

// A core function: evaluates its own arguments with the given context.
using TdomXPathCoreFunction = TdomXPathCustomResult* (*)(TdomNode* contextNode, int contextPosition,
                                                         int contextSize,
                                                         const std::vector<TdomXPathSyntaxNode*>& arguments);

class TdomXPathFunctionCall : public TdomXPathSyntaxNode {
public:
  TdomXPathFunctionCall() : TdomXPathSyntaxNode(XPATH_FUNCTION_CALL_NODE) {}
  std::u16string GetFunctionName() const;
  // Splits qname and binds a core function when it has no prefix and names one.
  virtual void SetFunctionName(const std::u16string& qname);
  TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override;
  const std::u16string& Prefix() const { return prefix; }
  const std::u16string& LocalName() const { return localName; }
  TdomXPathCoreFunction CoreFunction() const { return coreFunction; }

  std::vector<TdomXPathSyntaxNode*> arguments;  // the argument expressions, in written order; not owned

private:
  std::u16string prefix;
  std::u16string localName;
  TdomXPathCoreFunction coreFunction = nullptr;
};

class TdomXPathVariableReference : public TdomXPathSyntaxNode {
public:
  TdomXPathVariableReference() : TdomXPathSyntaxNode(XPATH_VARIABLE_REFERENCE_TOKEN) {}
  void Create(TCustomOwnedObject* owner, const std::u16string& value_) override;
  TdomXPathCustomResult* evaluate(TdomNode* contextNode, int contextPosition, int contextSize) override;

private:
  std::u16string prefix;
  std::u16string localName;
};

// --- Shared by the evaluators -------------------------------------------------------------------

// Raises EXPath_Type_Err "XPath type error.".
[[noreturn]] void RaiseXPathTypeError();
// Evaluates node, passing through the nodes that only hand on their single
// operand's result (so that they cost no stack). Null raises the type error.
TdomXPathCustomResult* EvaluateXPathNode(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition,
                                         int contextSize);
// The boolean value of node's result, as XPathToBoolean would give it, but
// without building what is not needed: a location path stops at its first
// node, "or" and "and" stop early, a value kept for the evaluation is reused.
bool EvaluateXPathBoolean(TdomXPathSyntaxNode* node, TdomNode* contextNode, int contextPosition, int contextSize);
// Node's result for comparing or testing, not to be kept or changed: the
// value kept for the evaluation when node is a cache point (holder stays
// empty), else a new result that holder takes.
const TdomXPathCustomResult* EvaluateXPathNodeTemp(TdomXPathSyntaxNode* node, TdomNode* contextNode,
                                                   int contextPosition, int contextSize,
                                                   TdomXPathResultPtr<>& holder);
// A copy of result (a node-set copies its namespace nodes).
TdomXPathCustomResult* CopyXPathResult(const TdomXPathCustomResult* result);

enum class TdomXPathStaticType : uint8_t { Boolean, NodeSet, String, Number, Unknown };
// The type an expression's value always has, known without evaluating it.
TdomXPathStaticType XPathStaticTypeOf(TdomXPathSyntaxNode* node);

// The node-set of result (taken over); anything else is freed and raises the type error.
TdomXPathNodeSetResult* RequireXPathNodeSet(TdomXPathCustomResult* result);
// The namespace URI bound to prefix at the tree's context node; "" for "".
// An unbound prefix raises ENamespace_Err "Namespace URI of prefix '%S' not found.".
std::u16string ResolveXPathPrefix(const TdomXPathSyntaxNode* node, const std::u16string& prefix);
// The links of a chain of operators of top's level ("a - b + c" is
// plus(minus(a, b), c)), innermost first: the innermost link's left operand
// is the first operand, each link's right operand the next.
std::vector<TdomXPathSyntaxNode*> XPathChainLinks(TdomXPathSyntaxNode* top);
// True for the nodes whose evaluation only hands on their single operand's result.
bool XPathNodePassesThrough(const TdomXPathSyntaxNode* node);
// Asks the DOM implementation that supplies variables and functions (the
// one of the document of the tree's context node, or of contextNode without
// a tree; none: nothing) through ask, which puts the handler's answer in
// value. The handler may change the document; one that frees nodes of it,
// or the whole document, takes nodes the evaluation holds: the answer is
// freed and EXPath_Exception "A node of the document was freed while the
// expression was evaluated." raised.
void AskXPathImplementation(const TdomXPathSyntaxNode* node, TdomNode* contextNode, TdomXPathCustomResult*& value,
                            const std::function<void(TDomImplementation*, const TdomDocumentWatch&)>& ask);
// The document of node (an XPath namespace node: its element's; a document: itself), or null.
TdomDocument* XPathDocumentOf(const TdomNode* node);
// The descendants of node (and node itself when orSelf) whose type is in
// types, in document order: a new set.
TdomXPathNodeSetResult* SelectXPathDescendants(TdomNode* node, bool orSelf, TdomWhatToShow types = kShowAll);
// The descendant of root after node in document order (the first one when
// node is null), as SelectXPathDescendants lists them; null after the last.
TdomNode* NextXPathDescendant(const TdomNode* root, TdomNode* node);
// The sibling after (forward) or before node on the sibling axes, as they
// list them (of a run of text-like siblings only the first); null past the last.
TdomNode* NextXPathSibling(const TdomNode* node, bool forward);
// True when node (an expression) is a number literal, whose value it gives.
bool XPathLiteralNumber(TdomXPathSyntaxNode* node, double& value);
// The type a core function's result always has; false for names outside the library.
bool XPathCoreFunctionResultType(const std::u16string& name, TdomXPathResultType& type);
