#pragma once
// TdomXPathTokenizer: the lexical analysis of XPath 1.0. Splits an expression
// into tokens by the two rules of the preceding token (is "*" a name test or
// a multiplication, is a name an operator), expands "//" into
// /descendant-or-self::node()/ and offers one token of look-ahead.
#include <cstdint>
#include <string>

// Token kinds; the order matters (operand-expecting kinds are a range).
enum TdomXPathTokenKind : uint8_t {
  XPATH_LEFT_PARENTHESIS_TOKEN,
  XPATH_RIGHT_PARENTHESIS_TOKEN,
  XPATH_LEFT_SQUARE_BRACKET_TOKEN,
  XPATH_RIGHT_SQUARE_BRACKET_TOKEN,
  XPATH_SINGLE_DOT_TOKEN,
  XPATH_DOUBLE_DOT_TOKEN,
  XPATH_COMMERCIAL_AT_TOKEN,
  XPATH_COMMA_TOKEN,
  XPATH_DOUBLE_COLON_TOKEN,
  XPATH_NAME_TEST_TOKEN,
  XPATH_NODE_TYPE_COMMENT_TOKEN,
  XPATH_NODE_TYPE_TEXT_TOKEN,
  XPATH_NODE_TYPE_PI_TOKEN,
  XPATH_NODE_TYPE_NODE_TOKEN,
  XPATH_AND_OPERATOR_TOKEN,
  XPATH_OR_OPERATOR_TOKEN,
  XPATH_MOD_OPERATOR_TOKEN,
  XPATH_DIV_OPERATOR_TOKEN,
  XPATH_MULTIPLY_OPERATOR_TOKEN,
  XPATH_SLASH_OPERATOR_TOKEN,
  XPATH_SHEFFER_STROKE_OPERATOR_TOKEN,
  XPATH_PLUS_OPERATOR_TOKEN,
  XPATH_MINUS_OPERATOR_TOKEN,
  XPATH_IS_EQUAL_OPERATOR_TOKEN,
  XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN,
  XPATH_LESS_THAN_OPERATOR_TOKEN,
  XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN,
  XPATH_GREATER_THAN_OPERATOR_TOKEN,
  XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN,
  XPATH_FUNCTION_NAME_TOKEN,
  XPATH_AXIS_NAME_ANCESTOR_TOKEN,
  XPATH_AXIS_NAME_ANCESTOR_OR_SELF_TOKEN,
  XPATH_AXIS_NAME_ATTRIBUTE_TOKEN,
  XPATH_AXIS_NAME_CHILD_TOKEN,
  XPATH_AXIS_NAME_DESCENDANT_TOKEN,
  XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN,
  XPATH_AXIS_NAME_FOLLOWING_TOKEN,
  XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN,
  XPATH_AXIS_NAME_NAMESPACE_TOKEN,
  XPATH_AXIS_NAME_PARENT_TOKEN,
  XPATH_AXIS_NAME_PRECEDING_TOKEN,
  XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN,
  XPATH_AXIS_NAME_SELF_TOKEN,
  XPATH_LITERAL_TOKEN,
  XPATH_NUMBER_TOKEN,
  XPATH_VARIABLE_REFERENCE_TOKEN,
  XPATH_END_OF_EXPRESSION_TOKEN,
  XPATH_INVALID_TOKEN,
};

// True for the operators "and" through ">=".
inline bool IsXPathOperatorToken(TdomXPathTokenKind kind) {
  return kind >= XPATH_AND_OPERATOR_TOKEN && kind <= XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN;
}
// True for the thirteen axis names.
inline bool IsXPathAxisNameToken(TdomXPathTokenKind kind) {
  return kind >= XPATH_AXIS_NAME_ANCESTOR_TOKEN && kind <= XPATH_AXIS_NAME_SELF_TOKEN;
}

class TdomXPathTokenizer {
public:
  // Only version "1.0" is accepted; any other raises ENot_Supported_Err
  // "XPath version "<version>" not supproted.".
  TdomXPathTokenizer(std::u16string expression_, const std::u16string& xpathVersion);

  // True when white space and then "::" follow the position; consumes nothing.
  bool IsFollowedByDoubleColon() const;
  // True when white space and then "(" follow the position; consumes nothing.
  bool IsFollowedByLeftParenthesis() const;
  // The character at the position (advancing); #0 and false at the end.
  bool GetNextChar(char16_t& c);
  // The character at the position without advancing; #0 and false at the end.
  bool LookAheadChar(char16_t& c) const;
  // Reads the next token into the cache unless one is held; true when it is kind.
  bool IsFollowing(TdomXPathTokenKind kind);
  // The next token (the cached one first). EndOfExpression has position -1;
  // text that forms no token gives Invalid with the offending text. Never raises.
  void Read(TdomXPathTokenKind& kind, std::u16string& value, int& position);
  // Back to the start of the expression.
  void Reset();

private:
  void ReadToken(TdomXPathTokenKind& kind, std::u16string& value);
  // Reads NCName characters after the first one into name.
  void ReadNCNameRest(std::u16string& name);
  void ReadVariableReference(TdomXPathTokenKind& kind, std::u16string& value);
  void ReadName(char16_t first, TdomXPathTokenKind& kind, std::u16string& value);
  bool ExpectsOperand() const;

  bool tokenCached = false;
  uint8_t doubleSlashState = 0;  // 1..6: the next token of the "//" expansion
  std::u16string expression;
  TdomXPathTokenKind previousKind = XPATH_INVALID_TOKEN;
  int position = 0;
  int cachedPosition = 0;
  TdomXPathTokenKind cachedKind = XPATH_INVALID_TOKEN;
  std::u16string cachedValue;
};
