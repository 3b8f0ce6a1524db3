#include "xml/XPathTokenizer.h"

#include <utility>

#include "xml/DomException.h"
#include "xml/XmlRulesChars.h"

namespace {

bool IsNameStart(char16_t c) { return c == u'_' || IsXmlLetterWideChar(c); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

struct NamedKind {
  const char16_t* name;
  TdomXPathTokenKind kind;
};

constexpr NamedKind kAxisNames[] = {
    {u"ancestor", XPATH_AXIS_NAME_ANCESTOR_TOKEN},
    {u"ancestor-or-self", XPATH_AXIS_NAME_ANCESTOR_OR_SELF_TOKEN},
    {u"attribute", XPATH_AXIS_NAME_ATTRIBUTE_TOKEN},
    {u"child", XPATH_AXIS_NAME_CHILD_TOKEN},
    {u"descendant", XPATH_AXIS_NAME_DESCENDANT_TOKEN},
    {u"descendant-or-self", XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN},
    {u"following", XPATH_AXIS_NAME_FOLLOWING_TOKEN},
    {u"following-sibling", XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN},
    {u"namespace", XPATH_AXIS_NAME_NAMESPACE_TOKEN},
    {u"parent", XPATH_AXIS_NAME_PARENT_TOKEN},
    {u"preceding", XPATH_AXIS_NAME_PRECEDING_TOKEN},
    {u"preceding-sibling", XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN},
    {u"self", XPATH_AXIS_NAME_SELF_TOKEN},
};

constexpr NamedKind kNodeTypes[] = {
    {u"comment", XPATH_NODE_TYPE_COMMENT_TOKEN},
    {u"text", XPATH_NODE_TYPE_TEXT_TOKEN},
    {u"processing-instruction", XPATH_NODE_TYPE_PI_TOKEN},
    {u"node", XPATH_NODE_TYPE_NODE_TOKEN},
};

constexpr NamedKind kOperatorNames[] = {
    {u"and", XPATH_AND_OPERATOR_TOKEN},
    {u"or", XPATH_OR_OPERATOR_TOKEN},
    {u"mod", XPATH_MOD_OPERATOR_TOKEN},
    {u"div", XPATH_DIV_OPERATOR_TOKEN},
};

template <size_t N>
bool LookUp(const NamedKind (&table)[N], const std::u16string& name, TdomXPathTokenKind& kind) {
  for (const NamedKind& entry : table) {
    if (name == entry.name) {
      kind = entry.kind;
      return true;
    }
  }
  return false;
}

}  // namespace

TdomXPathTokenizer::TdomXPathTokenizer(std::u16string expression_, const std::u16string& xpathVersion)
    : expression(std::move(expression_)) {
  if (xpathVersion != u"1.0") {
    throw ENot_Supported_Err(DomMessageFormat("XPath version \"%S\" not supproted.", {xpathVersion}));
  }
}

bool TdomXPathTokenizer::IsFollowedByDoubleColon() const {
  size_t i = size_t(position);
  while (i < expression.size() && IsXmlWhiteSpaceWideChar(expression[i])) ++i;
  return i + 1 < expression.size() && expression[i] == u':' && expression[i + 1] == u':';
}

bool TdomXPathTokenizer::IsFollowedByLeftParenthesis() const {
  size_t i = size_t(position);
  while (i < expression.size() && IsXmlWhiteSpaceWideChar(expression[i])) ++i;
  return i < expression.size() && expression[i] == u'(';
}

bool TdomXPathTokenizer::GetNextChar(char16_t& c) {
  if (!LookAheadChar(c)) return false;
  ++position;
  return true;
}

bool TdomXPathTokenizer::LookAheadChar(char16_t& c) const {
  if (size_t(position) >= expression.size()) {
    c = 0;
    return false;
  }
  c = expression[size_t(position)];
  return true;
}

bool TdomXPathTokenizer::IsFollowing(TdomXPathTokenKind kind) {
  if (!tokenCached) {
    Read(cachedKind, cachedValue, cachedPosition);
    tokenCached = true;
  }
  return cachedKind == kind;
}

void TdomXPathTokenizer::Reset() {
  tokenCached = false;
  previousKind = XPATH_INVALID_TOKEN;
  position = 0;
  doubleSlashState = 0;
}

void TdomXPathTokenizer::Read(TdomXPathTokenKind& kind, std::u16string& value, int& position_) {
  if (tokenCached) {
    tokenCached = false;
    kind = cachedKind;
    value = std::move(cachedValue);
    cachedValue.clear();
    position_ = cachedPosition;
    return;
  }
  value.clear();
  if (doubleSlashState != 0) {
    static constexpr TdomXPathTokenKind kExpansion[] = {
        XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN, XPATH_DOUBLE_COLON_TOKEN,        XPATH_NODE_TYPE_NODE_TOKEN,
        XPATH_LEFT_PARENTHESIS_TOKEN,             XPATH_RIGHT_PARENTHESIS_TOKEN,   XPATH_SLASH_OPERATOR_TOKEN,
    };
    kind = kExpansion[doubleSlashState - 1];
    doubleSlashState = doubleSlashState == 6 ? 0 : uint8_t(doubleSlashState + 1);
    if (kind == XPATH_SLASH_OPERATOR_TOKEN) previousKind = kind;
    position_ = position;
    return;
  }
  ReadToken(kind, value);
  position_ = kind == XPATH_END_OF_EXPRESSION_TOKEN ? -1 : position;
}

bool TdomXPathTokenizer::ExpectsOperand() const {
  switch (previousKind) {
    case XPATH_INVALID_TOKEN:
    case XPATH_LEFT_PARENTHESIS_TOKEN:
    case XPATH_LEFT_SQUARE_BRACKET_TOKEN:
    case XPATH_COMMERCIAL_AT_TOKEN:
    case XPATH_COMMA_TOKEN:
    case XPATH_DOUBLE_COLON_TOKEN:
      return true;
    default:
      return IsXPathOperatorToken(previousKind);
  }
}

void TdomXPathTokenizer::ReadNCNameRest(std::u16string& name) {
  char16_t c;
  while (LookAheadChar(c) && IsXmlNCNameCharWideChar(c)) {
    name += c;
    ++position;
  }
}

void TdomXPathTokenizer::ReadToken(TdomXPathTokenKind& kind, std::u16string& value) {
  char16_t c = 0;
  do {
    if (!GetNextChar(c)) {
      kind = XPATH_END_OF_EXPRESSION_TOKEN;
      previousKind = kind;
      return;
    }
  } while (IsXmlWhiteSpaceWideChar(c));

  char16_t next = 0;
  bool hasNext = LookAheadChar(next);
  switch (c) {
    case u'(': kind = XPATH_LEFT_PARENTHESIS_TOKEN; break;
    case u')': kind = XPATH_RIGHT_PARENTHESIS_TOKEN; break;
    case u'[': kind = XPATH_LEFT_SQUARE_BRACKET_TOKEN; break;
    case u']': kind = XPATH_RIGHT_SQUARE_BRACKET_TOKEN; break;
    case u'@': kind = XPATH_COMMERCIAL_AT_TOKEN; break;
    case u',': kind = XPATH_COMMA_TOKEN; break;
    case u'+': kind = XPATH_PLUS_OPERATOR_TOKEN; break;
    case u'-': kind = XPATH_MINUS_OPERATOR_TOKEN; break;
    case u'=': kind = XPATH_IS_EQUAL_OPERATOR_TOKEN; break;
    case u'|': kind = XPATH_SHEFFER_STROKE_OPERATOR_TOKEN; break;
    case u'!':
      if (hasNext && next == u'=') {
        ++position;
        kind = XPATH_IS_NOT_EQUAL_OPERATOR_TOKEN;
      } else {
        kind = XPATH_INVALID_TOKEN;
        value = u"!";
      }
      break;
    case u'<':
    case u'>': {
      bool orEqual = hasNext && next == u'=';
      if (orEqual) ++position;
      if (c == u'<') kind = orEqual ? XPATH_LESS_THAN_OR_EQUAL_OPERATOR_TOKEN : XPATH_LESS_THAN_OPERATOR_TOKEN;
      else kind = orEqual ? XPATH_GREATER_THAN_OR_EQUAL_OPERATOR_TOKEN : XPATH_GREATER_THAN_OPERATOR_TOKEN;
      break;
    }
    case u':':
      if (hasNext && next == u':') {
        ++position;
        kind = XPATH_DOUBLE_COLON_TOKEN;
      } else {
        kind = XPATH_INVALID_TOKEN;
        value = u":";
      }
      break;
    case u'/':
      if (hasNext && next == u'/') {
        ++position;
        doubleSlashState = 1;
      }
      kind = XPATH_SLASH_OPERATOR_TOKEN;
      break;
    case u'.':
      if (hasNext && next == u'.') {
        ++position;
        kind = XPATH_DOUBLE_DOT_TOKEN;
      } else if (hasNext && IsDigit(next)) {
        kind = XPATH_NUMBER_TOKEN;
        value = u".";
        while (LookAheadChar(next) && IsDigit(next)) {
          value += next;
          ++position;
        }
      } else {
        kind = XPATH_SINGLE_DOT_TOKEN;
      }
      break;
    case u'"':
    case u'\'': {
      size_t close = expression.find(c, size_t(position));
      if (close == std::u16string::npos) {
        kind = XPATH_INVALID_TOKEN;
        value = expression.substr(size_t(position));
        position = int(expression.size());
      } else {
        kind = XPATH_LITERAL_TOKEN;
        value = expression.substr(size_t(position), close - size_t(position));
        position = int(close + 1);
      }
      break;
    }
    case u'$':
      ReadVariableReference(kind, value);
      break;
    case u'*':
      if (ExpectsOperand()) {
        kind = XPATH_NAME_TEST_TOKEN;
        value = u"*";
      } else {
        kind = XPATH_MULTIPLY_OPERATOR_TOKEN;
      }
      break;
    default:
      if (IsDigit(c)) {
        kind = XPATH_NUMBER_TOKEN;
        value = c;
        bool seenPoint = false;
        while (LookAheadChar(next) && (IsDigit(next) || (next == u'.' && !seenPoint))) {
          seenPoint = seenPoint || next == u'.';
          value += next;
          ++position;
        }
      } else if (IsNameStart(c)) {
        ReadName(c, kind, value);
      } else {
        kind = XPATH_INVALID_TOKEN;
        value = c;
      }
      break;
  }
  previousKind = kind;
}

void TdomXPathTokenizer::ReadVariableReference(TdomXPathTokenKind& kind, std::u16string& value) {
  char16_t c;
  if (!LookAheadChar(c) || !IsNameStart(c)) {
    kind = XPATH_INVALID_TOKEN;
    value = c == 0 ? std::u16string() : std::u16string(1, c);
    return;
  }
  ++position;
  value = c;
  ReadNCNameRest(value);
  kind = XPATH_VARIABLE_REFERENCE_TOKEN;
  if (!LookAheadChar(c) || c != u':') return;
  ++position;
  if (!LookAheadChar(c)) {
    kind = XPATH_INVALID_TOKEN;
    value += u':';
    return;
  }
  if (c == u':') {
    --position;  // "$a::" gives the colon back
    return;
  }
  ++position;
  value += u':';
  value += c;
  if (!IsNameStart(c)) {
    kind = XPATH_INVALID_TOKEN;
    return;
  }
  ReadNCNameRest(value);
}

void TdomXPathTokenizer::ReadName(char16_t first, TdomXPathTokenKind& kind, std::u16string& value) {
  std::u16string name(1, first);
  ReadNCNameRest(name);
  if (!ExpectsOperand()) {
    if (!LookUp(kOperatorNames, name, kind)) {
      kind = XPATH_INVALID_TOKEN;
      value = name;
    }
    return;
  }
  if (IsFollowedByDoubleColon()) {
    if (!LookUp(kAxisNames, name, kind)) kind = XPATH_INVALID_TOKEN;
    return;
  }
  char16_t c;
  if (LookAheadChar(c) && c == u':') {
    ++position;
    name += u':';
    if (!GetNextChar(c)) {
      kind = XPATH_INVALID_TOKEN;
      value = name;
      return;
    }
    name += c;
    if (c == u'*') {
      kind = XPATH_NAME_TEST_TOKEN;
      value = name;
      return;
    }
    if (!IsNameStart(c)) {
      kind = XPATH_INVALID_TOKEN;
      value = name;
      return;
    }
    ReadNCNameRest(name);
  }
  if (IsFollowedByLeftParenthesis()) {
    if (!LookUp(kNodeTypes, name, kind)) {
      kind = XPATH_FUNCTION_NAME_TOKEN;
      value = name;
    }
    return;
  }
  kind = XPATH_NAME_TEST_TOKEN;
  value = name;
}
