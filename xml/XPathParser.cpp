// The shift-reduce parser that builds a syntax tree from the token stream.
// Each token becomes a syntax node; the node is then reduced with the nodes
// on the stack, level by level, until it waits for what follows (shift).
#include <algorithm>
#include <initializer_list>

#include "xml/DomException.h"
#include "xml/XPathSyntaxTree.h"

namespace {

bool IsNodeTypeKind(uint8_t kind) {
  return kind >= XPATH_NODE_TYPE_COMMENT_TOKEN && kind <= XPATH_NODE_TYPE_NODE_TOKEN;
}

bool IsAxisKind(uint8_t kind) { return IsXPathAxisNameToken(TdomXPathTokenKind(kind)); }

bool IsMultiplicativeKind(uint8_t kind) {
  return kind == XPATH_MULTIPLY_EXPR_NODE || kind == XPATH_DIV_EXPR_NODE || kind == XPATH_MOD_EXPR_NODE;
}
bool IsAdditiveKind(uint8_t kind) { return kind == XPATH_PLUS_EXPR_NODE || kind == XPATH_MINUS_EXPR_NODE; }
bool IsRelationalKind(uint8_t kind) {
  return kind >= XPATH_LESS_THAN_EXPR_NODE && kind <= XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE;
}
bool IsEqualityKind(uint8_t kind) {
  return kind == XPATH_IS_EQUAL_EXPR_NODE || kind == XPATH_IS_NOT_EQUAL_EXPR_NODE;
}
// The nodes an operator finds on its left when it is binary.
bool IsOperandLevel(const TdomXPathSyntaxNode* node) {
  uint8_t kind = node->Kind();
  return IsMultiplicativeKind(kind) || IsAdditiveKind(kind) || kind == XPATH_UNARY_EXPR_NODE ||
         kind == XPATH_UNION_EXPR_NODE;
}

constexpr std::initializer_list<TdomXPathTokenKind> kMultiplicativeFollowers = {
    XPATH_SHEFFER_STROKE_OPERATOR_TOKEN, XPATH_MULTIPLY_OPERATOR_TOKEN, XPATH_DIV_OPERATOR_TOKEN,
    XPATH_MOD_OPERATOR_TOKEN};
constexpr std::initializer_list<TdomXPathTokenKind> kAdditiveFollowers = {
    XPATH_SHEFFER_STROKE_OPERATOR_TOKEN, XPATH_MULTIPLY_OPERATOR_TOKEN, XPATH_DIV_OPERATOR_TOKEN,
    XPATH_MOD_OPERATOR_TOKEN, XPATH_PLUS_OPERATOR_TOKEN, XPATH_MINUS_OPERATOR_TOKEN};
constexpr std::initializer_list<TdomXPathTokenKind> kRelationalFollowers = {
    XPATH_SHEFFER_STROKE_OPERATOR_TOKEN, XPATH_MULTIPLY_OPERATOR_TOKEN,   XPATH_DIV_OPERATOR_TOKEN,
    XPATH_MOD_OPERATOR_TOKEN,            XPATH_PLUS_OPERATOR_TOKEN,       XPATH_MINUS_OPERATOR_TOKEN,
    XPATH_LESS_THAN_OPERATOR_TOKEN,      XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN,
    XPATH_GREATER_THAN_OPERATOR_TOKEN,   XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN};
constexpr std::initializer_list<TdomXPathTokenKind> kEqualityFollowers = {
    XPATH_SHEFFER_STROKE_OPERATOR_TOKEN, XPATH_MULTIPLY_OPERATOR_TOKEN,   XPATH_DIV_OPERATOR_TOKEN,
    XPATH_MOD_OPERATOR_TOKEN,            XPATH_PLUS_OPERATOR_TOKEN,       XPATH_MINUS_OPERATOR_TOKEN,
    XPATH_LESS_THAN_OPERATOR_TOKEN,      XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN,
    XPATH_GREATER_THAN_OPERATOR_TOKEN,   XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN,
    XPATH_IS_EQUAL_OPERATOR_TOKEN,       XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN};
constexpr std::initializer_list<TdomXPathTokenKind> kStepStarts = {
    XPATH_NAME_TEST_TOKEN,         XPATH_NODE_TYPE_COMMENT_TOKEN, XPATH_NODE_TYPE_TEXT_TOKEN,
    XPATH_NODE_TYPE_PI_TOKEN,      XPATH_NODE_TYPE_NODE_TOKEN,    XPATH_COMMERCIAL_AT_TOKEN,
    XPATH_SINGLE_DOT_TOKEN,        XPATH_DOUBLE_DOT_TOKEN,        XPATH_AXIS_NAME_ANCESTOR_TOKEN,
    XPATH_AXIS_NAME_ANCESTOR_OR_SELF_TOKEN, XPATH_AXIS_NAME_ATTRIBUTE_TOKEN, XPATH_AXIS_NAME_CHILD_TOKEN,
    XPATH_AXIS_NAME_DESCENDANT_TOKEN, XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN, XPATH_AXIS_NAME_FOLLOWING_TOKEN,
    XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN, XPATH_AXIS_NAME_NAMESPACE_TOKEN, XPATH_AXIS_NAME_PARENT_TOKEN,
    XPATH_AXIS_NAME_PRECEDING_TOKEN, XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN, XPATH_AXIS_NAME_SELF_TOKEN};

class TXPathParser {
public:
  TXPathParser(TdomXPathSyntaxTree* tree_, const std::u16string& text) : tree(tree_), tokenizer(text, u"1.0") {}
  // The root expression, or null on a syntax error.
  TdomXPathSyntaxNode* Run();

  bool tooDeep = false;  // Run stopped at an expression nested deeper than kXPathMaxNesting

private:
  enum class Action { Shift, Reduced, Fail };

  Action Reduce(TdomXPathSyntaxNode*& current);
  Action ReduceRightParenthesis(TdomXPathSyntaxNode*& current);
  Action ReduceStep(TdomXPathSyntaxNode*& current);
  TdomXPathSyntaxNode* BuildStep(TdomXPathSyntaxNode* nodeTest, TdomXPathSyntaxNode* predicate);

  template <class T>
  T* Make(TdomXPathSyntaxNode* left = nullptr, TdomXPathSyntaxNode* right = nullptr) {
    T* node = New<T>(static_cast<TCustomOwnedObject*>(tree), std::u16string());
    node->left = left;
    node->right = right;
    node->depth = XPathNestingOf(node);
    return node;
  }
  TdomXPathSyntaxNode* MakeBinary(uint8_t kind, TdomXPathSyntaxNode* left, TdomXPathSyntaxNode* right);
  bool NextIs(TdomXPathTokenKind kind) { return tokenizer.IsFollowing(kind); }
  bool NextIsAny(std::initializer_list<TdomXPathTokenKind> kinds) {
    return std::any_of(kinds.begin(), kinds.end(), [this](TdomXPathTokenKind k) { return NextIs(k); });
  }
  bool NextIsOperator() {
    for (int k = XPATH_AND_OPERATOR_TOKEN; k <= XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN; ++k) {
      if (NextIs(TdomXPathTokenKind(k))) return true;
    }
    return false;
  }
  bool TopIs(int depth, uint8_t kind) const {
    TdomXPathSyntaxNode* node = stack.Peek(depth);
    return node != nullptr && node->Is(kind);
  }
  // Pops the top and frees it (a token the tree does not keep).
  void PopAndFree() { stack.Pop()->Free(); }

  TdomXPathSyntaxTree* tree;
  TdomXPathTokenizer tokenizer;
  TdomXPathSyntaxNodeStack stack;
};

TdomXPathSyntaxNode* TXPathParser::Run() {
  for (;;) {
    TdomXPathTokenKind kind;
    std::u16string value;
    int position;
    tokenizer.Read(kind, value, position);
    if (kind == XPATH_END_OF_EXPRESSION_TOKEN) {
      if (stack.Length() != 1 || !TopIs(0, XPATH_EXPR_NODE)) return nullptr;
      return stack.Pop();
    }
    TdomXPathSyntaxNode* current = tree->CreateSyntaxNode(kind, value);
    if (current == nullptr) return nullptr;
    for (;;) {
      Action action = Reduce(current);
      if (action == Action::Fail) return nullptr;  // the tree frees what was made
      // Nesting is counted as the tree grows (children never get shallower),
      // so that an over-deep expression stops before it is all built.
      current->depth = XPathNestingOf(current);
      if (current->depth > kXPathMaxNesting) {
        tooDeep = true;
        return nullptr;
      }
      if (action == Action::Shift) {
        stack.Push(current);
        break;
      }
    }
  }
}

TdomXPathSyntaxNode* TXPathParser::MakeBinary(uint8_t kind, TdomXPathSyntaxNode* left, TdomXPathSyntaxNode* right) {
  switch (kind) {
    case XPATH_OR_OPERATOR_TOKEN: return Make<TdomXPathOrExpr>(left, right);
    case XPATH_AND_OPERATOR_TOKEN: return Make<TdomXPathAndExpr>(left, right);
    case XPATH_IS_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathIsEqualExpr>(left, right);
    case XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathIsNotEqualExpr>(left, right);
    case XPATH_LESS_THAN_OPERATOR_TOKEN: return Make<TdomXPathLessThanExpr>(left, right);
    case XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathLessThanOrEqualExpr>(left, right);
    case XPATH_GREATER_THAN_OPERATOR_TOKEN: return Make<TdomXPathGreaterThanExpr>(left, right);
    case XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN: return Make<TdomXPathGreaterThanOrEqualExpr>(left, right);
    case XPATH_PLUS_OPERATOR_TOKEN: return Make<TdomXPathPlusExpr>(left, right);
    case XPATH_MINUS_OPERATOR_TOKEN: return Make<TdomXPathMinusExpr>(left, right);
    case XPATH_MULTIPLY_OPERATOR_TOKEN: return Make<TdomXPathMultiplyExpr>(left, right);
    case XPATH_DIV_OPERATOR_TOKEN: return Make<TdomXPathDivExpr>(left, right);
    case XPATH_MOD_OPERATOR_TOKEN: return Make<TdomXPathModExpr>(left, right);
    default: return nullptr;
  }
}

TdomXPathSyntaxNode* TXPathParser::BuildStep(TdomXPathSyntaxNode* nodeTest, TdomXPathSyntaxNode* predicate) {
  TdomXPathSyntaxNode* axis;
  TdomXPathSyntaxNode* below = stack.Peek(1);
  if (TopIs(0, XPATH_DOUBLE_COLON_TOKEN) && below != nullptr && IsAxisKind(below->Kind()) && below->left == nullptr) {
    PopAndFree();
    axis = stack.Pop();
  } else if (TopIs(0, XPATH_COMMERCIAL_AT_TOKEN)) {
    PopAndFree();
    axis = Make<TdomXPathAxisNameAttribute>();
  } else {
    axis = Make<TdomXPathAxisNameChild>();
  }
  axis->left = nodeTest;
  axis->right = predicate;
  axis->depth = XPathNestingOf(axis);
  return Make<TdomXPathStep>(axis);
}

TXPathParser::Action TXPathParser::ReduceRightParenthesis(TdomXPathSyntaxNode*& current) {
  TdomXPathSyntaxNode* below = stack.Peek(1);
  if (TopIs(0, XPATH_LEFT_PARENTHESIS_TOKEN) && below != nullptr && IsNodeTypeKind(below->Kind())) {
    PopAndFree();
    TdomXPathSyntaxNode* nodeType = stack.Pop();
    current->Free();
    current = Make<TdomXPathNodeTest>(nodeType);
    return Action::Reduced;
  }
  if (TopIs(0, XPATH_LITERAL_TOKEN) && TopIs(1, XPATH_LEFT_PARENTHESIS_TOKEN) && TopIs(2, XPATH_NODE_TYPE_PI_TOKEN)) {
    TdomXPathSyntaxNode* literal = stack.Pop();
    PopAndFree();
    TdomXPathSyntaxNode* pi = stack.Pop();
    pi->left = literal;
    current->Free();
    current = Make<TdomXPathNodeTest>(pi);
    return Action::Reduced;
  }
  if (TopIs(0, XPATH_EXPR_NODE) && TopIs(1, XPATH_LEFT_PARENTHESIS_TOKEN) && !TopIs(2, XPATH_FUNCTION_NAME_TOKEN)) {
    TdomXPathSyntaxNode* expr = stack.Pop();
    PopAndFree();
    current->Free();
    current = Make<TdomXPathPrimaryExpr>(expr);
    return Action::Reduced;
  }
  // A function call: Expr (, Expr)* over "(" over the name, or nothing over them.
  std::vector<TdomXPathSyntaxNode*> arguments;
  while (TopIs(0, XPATH_EXPR_NODE)) {
    arguments.push_back(stack.Pop());
    if (!TopIs(0, XPATH_COMMA_TOKEN)) break;
    PopAndFree();
    if (!TopIs(0, XPATH_EXPR_NODE)) return Action::Fail;
  }
  if (!TopIs(0, XPATH_LEFT_PARENTHESIS_TOKEN) || !TopIs(1, XPATH_FUNCTION_NAME_TOKEN)) return Action::Fail;
  PopAndFree();
  TdomXPathSyntaxNode* name = stack.Pop();
  auto* call = Make<TdomXPathFunctionCall>();
  call->arguments.assign(arguments.rbegin(), arguments.rend());
  call->SetFunctionName(name->value);
  call->depth = XPathNestingOf(call);
  name->Free();
  current->Free();
  current = Make<TdomXPathPrimaryExpr>(call);
  return Action::Reduced;
}

TXPathParser::Action TXPathParser::ReduceStep(TdomXPathSyntaxNode*& current) {
  auto* step = static_cast<TdomXPathStep*>(current);
  if (!TopIs(0, XPATH_SLASH_OPERATOR_TOKEN)) {
    auto* path = Make<TdomXPathPathExpr>();
    path->AddStep(step);
    current = path;
    return Action::Reduced;
  }
  TdomXPathSyntaxNode* below = stack.Peek(1);
  PopAndFree();
  if (below != nullptr && below->Is(XPATH_PATH_EXPR_NODE)) {
    auto* path = static_cast<TdomXPathPathExpr*>(stack.Pop());
    if (!path->AddStep(step)) return Action::Fail;
    current = path;
    return Action::Reduced;
  }
  auto* path = Make<TdomXPathPathExpr>();
  // After a filter the path continues from it; anywhere else "/" starts an
  // absolute path (also inside predicates, arguments and after operators).
  if (below != nullptr && below->Is(XPATH_FILTER_EXPR_NODE)) {
    path->left = stack.Pop();
  } else {
    path->left = Make<TdomXPathAbsoluteLocationPath>();
  }
  path->AddStep(step);
  current = path;
  return Action::Reduced;
}

TXPathParser::Action TXPathParser::Reduce(TdomXPathSyntaxNode*& current) {
  uint8_t kind = current->Kind();
  if (IsAxisKind(kind) || IsNodeTypeKind(kind) || IsXPathOperatorToken(TdomXPathTokenKind(kind))) {
    if (kind == XPATH_SLASH_OPERATOR_TOKEN) {
      // A slash that no step follows is the root node itself.
      bool afterOperand = TopIs(0, XPATH_PATH_EXPR_NODE) || TopIs(0, XPATH_FILTER_EXPR_NODE);
      if (afterOperand || NextIsAny(kStepStarts)) return Action::Shift;
      current->Free();
      current = Make<TdomXPathPathExpr>(Make<TdomXPathAbsoluteLocationPath>());
      return Action::Reduced;
    }
    if (kind == XPATH_SHEFFER_STROKE_OPERATOR_TOKEN && TopIs(0, XPATH_PATH_EXPR_NODE)) {
      stack.Push(Make<TdomXPathUnionExpr>(stack.Pop()));
    }
    return Action::Shift;
  }
  switch (kind) {
    case XPATH_COMMA_TOKEN:
    case XPATH_COMMERCIAL_AT_TOKEN:
    case XPATH_DOUBLE_COLON_TOKEN:
    case XPATH_LEFT_PARENTHESIS_TOKEN:
    case XPATH_LEFT_SQUARE_BRACKET_TOKEN:
    case XPATH_FUNCTION_NAME_TOKEN:
    case XPATH_EXPR_NODE:
      return Action::Shift;
    case XPATH_VARIABLE_REFERENCE_TOKEN:
    case XPATH_NUMBER_TOKEN:
      current = Make<TdomXPathPrimaryExpr>(current);
      return Action::Reduced;
    case XPATH_LITERAL_TOKEN:
      if (TopIs(0, XPATH_LEFT_PARENTHESIS_TOKEN) && TopIs(1, XPATH_NODE_TYPE_PI_TOKEN) &&
          NextIs(XPATH_RIGHT_PARENTHESIS_TOKEN)) {
        return Action::Shift;
      }
      current = Make<TdomXPathPrimaryExpr>(current);
      return Action::Reduced;
    case XPATH_RIGHT_PARENTHESIS_TOKEN:
      return ReduceRightParenthesis(current);
    case XPATH_RIGHT_SQUARE_BRACKET_TOKEN: {
      if (!TopIs(0, XPATH_EXPR_NODE) || !TopIs(1, XPATH_LEFT_SQUARE_BRACKET_TOKEN)) return Action::Fail;
      TdomXPathSyntaxNode* expr = stack.Pop();
      PopAndFree();
      current->Free();
      current = Make<TdomXPathPredicate>(expr);
      return Action::Reduced;
    }
    case XPATH_SINGLE_DOT_TOKEN:
    case XPATH_DOUBLE_DOT_TOKEN: {
      TdomXPathSyntaxNode* test = Make<TdomXPathNodeTest>(Make<TdomXPathNodeTypeNode>());
      TdomXPathSyntaxNode* axis = kind == XPATH_SINGLE_DOT_TOKEN
                                      ? static_cast<TdomXPathSyntaxNode*>(Make<TdomXPathAxisNameSelf>(test))
                                      : Make<TdomXPathAxisNameParent>(test);
      current->Free();
      current = Make<TdomXPathStep>(axis);
      return Action::Reduced;
    }
    case XPATH_NAME_TEST_TOKEN:
      current = Make<TdomXPathNodeTest>(current);
      return Action::Reduced;
    case XPATH_NODE_TEST_NODE:
      if (NextIs(XPATH_LEFT_SQUARE_BRACKET_TOKEN)) return Action::Shift;
      current = BuildStep(current, nullptr);
      return Action::Reduced;
    case XPATH_PREDICATE_NODE:
      if (NextIs(XPATH_LEFT_SQUARE_BRACKET_TOKEN)) return Action::Shift;
      if (TopIs(0, XPATH_PREDICATE_NODE)) {
        TdomXPathSyntaxNode* previous = stack.Pop();
        previous->right = current;
        current = previous;
        return Action::Reduced;
      }
      if (TopIs(0, XPATH_NODE_TEST_NODE)) {
        TdomXPathSyntaxNode* test = stack.Pop();
        current = BuildStep(test, current);
        return Action::Reduced;
      }
      if (TopIs(0, XPATH_FILTER_EXPR_NODE)) {
        current = Make<TdomXPathFilterExpr>(stack.Pop(), current);
        return Action::Reduced;
      }
      return Action::Fail;
    case XPATH_PRIMARY_EXPR_NODE:
      current = Make<TdomXPathFilterExpr>(current);
      return Action::Reduced;
    case XPATH_FILTER_EXPR_NODE:
      if (NextIs(XPATH_SLASH_OPERATOR_TOKEN) || NextIs(XPATH_LEFT_SQUARE_BRACKET_TOKEN)) return Action::Shift;
      current = Make<TdomXPathPathExpr>(current);
      return Action::Reduced;
    case XPATH_STEP_NODE:
      return ReduceStep(current);
    case XPATH_PATH_EXPR_NODE:
      if (NextIs(XPATH_SLASH_OPERATOR_TOKEN)) return Action::Shift;
      if (TopIs(0, XPATH_SHEFFER_STROKE_OPERATOR_TOKEN) && TopIs(1, XPATH_UNION_EXPR_NODE)) {
        PopAndFree();
        current = Make<TdomXPathUnionExpr>(stack.Pop(), current);
      } else {
        current = Make<TdomXPathUnionExpr>(current);
      }
      return Action::Reduced;
    case XPATH_UNION_EXPR_NODE:
      if (NextIs(XPATH_SHEFFER_STROKE_OPERATOR_TOKEN)) return Action::Shift;
      current = Make<TdomXPathUnaryExpr>(current);
      return Action::Reduced;
    case XPATH_UNARY_EXPR_NODE: {
      if (NextIs(XPATH_SHEFFER_STROKE_OPERATOR_TOKEN)) return Action::Shift;
      TdomXPathSyntaxNode* top = stack.Peek(0);
      TdomXPathSyntaxNode* below = stack.Peek(1);
      if (top != nullptr && top->Is(XPATH_MINUS_OPERATOR_TOKEN) && (below == nullptr || !IsOperandLevel(below))) {
        current = Make<TdomXPathUnaryExpr>(stack.Pop(), current);
        return Action::Reduced;
      }
      if (top != nullptr &&
          (top->Is(XPATH_MULTIPLY_OPERATOR_TOKEN) || top->Is(XPATH_DIV_OPERATOR_TOKEN) ||
           top->Is(XPATH_MOD_OPERATOR_TOKEN)) &&
          below != nullptr && IsMultiplicativeKind(below->Kind())) {
        uint8_t op = top->Kind();
        PopAndFree();
        current = MakeBinary(op, stack.Pop(), current);
        return Action::Reduced;
      }
      current = Make<TdomXPathMultiplyExpr>(current);
      return Action::Reduced;
    }
    default:
      break;
  }
  // The binary levels, tightest first: each shifts while a tighter operator
  // follows, else joins the operator and left operand waiting on the stack.
  struct Level {
    bool (*is)(uint8_t);
    std::initializer_list<TdomXPathTokenKind> followers;
    std::initializer_list<TdomXPathTokenKind> joiningOperators;
    bool (*leftIs)(uint8_t);
    uint8_t singleKind;
  };
  static const Level kLevels[] = {
      {IsMultiplicativeKind, kMultiplicativeFollowers, {XPATH_PLUS_OPERATOR_TOKEN, XPATH_MINUS_OPERATOR_TOKEN},
       IsAdditiveKind, XPATH_PLUS_OPERATOR_TOKEN},
      {IsAdditiveKind, kAdditiveFollowers,
       {XPATH_LESS_THAN_OPERATOR_TOKEN, XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN, XPATH_GREATER_THAN_OPERATOR_TOKEN,
        XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN},
       IsRelationalKind, XPATH_LESS_THAN_OPERATOR_TOKEN},
      {IsRelationalKind, kRelationalFollowers, {XPATH_IS_EQUAL_OPERATOR_TOKEN, XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN},
       IsEqualityKind, XPATH_IS_EQUAL_OPERATOR_TOKEN},
      {IsEqualityKind, kEqualityFollowers, {XPATH_AND_OPERATOR_TOKEN},
       [](uint8_t k) { return k == XPATH_AND_EXPR_NODE; }, XPATH_AND_OPERATOR_TOKEN},
  };
  for (const Level& level : kLevels) {
    if (!level.is(kind)) continue;
    if (NextIsAny(level.followers)) return Action::Shift;
    TdomXPathSyntaxNode* top = stack.Peek(0);
    TdomXPathSyntaxNode* below = stack.Peek(1);
    bool joins = top != nullptr && below != nullptr && level.leftIs(below->Kind()) &&
                 std::find(level.joiningOperators.begin(), level.joiningOperators.end(), top->Kind()) !=
                     level.joiningOperators.end();
    if (joins) {
      uint8_t op = top->Kind();
      PopAndFree();
      current = MakeBinary(op, stack.Pop(), current);
    } else {
      current = MakeBinary(level.singleKind, current, nullptr);
    }
    return Action::Reduced;
  }
  if (kind == XPATH_AND_EXPR_NODE) {
    if (NextIsOperator() && !NextIs(XPATH_OR_OPERATOR_TOKEN)) return Action::Shift;
    if (TopIs(0, XPATH_OR_OPERATOR_TOKEN) && TopIs(1, XPATH_OR_EXPR_NODE)) {
      PopAndFree();
      current = Make<TdomXPathOrExpr>(stack.Pop(), current);
    } else {
      current = Make<TdomXPathOrExpr>(current);
    }
    return Action::Reduced;
  }
  if (kind == XPATH_OR_EXPR_NODE) {
    if (NextIsOperator()) return Action::Shift;
    current = Make<TdomXPathExpr>(current);
    return Action::Reduced;
  }
  return Action::Fail;
}

}  // namespace

bool TdomXPathSyntaxTree::Parse(const std::u16string& expression) {
  try {
    TXPathParser parser(this, expression);
    root = parser.Run();
    if (parser.tooDeep) sizeRefusal = kXPathTooDeep;
  } catch (const EDomException&) {
    // A name the tokenizer let through that is no QName: a syntax error like any other.
    root = nullptr;
  }
  return root != nullptr;
}
