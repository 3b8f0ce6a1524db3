// Long chains of one operator level ("1 + 2 - 3 ...", "a = b != c ...")
// against a reference evaluator: random expressions of numbers, booleans,
// parentheses and every binary operator, with one level drawn out to a
// thousand terms or more.
#include <cmath>
#include <random>

#include "XPathTestSupport.h"

namespace {

struct Value {
  bool isBoolean = false;
  bool boolean = false;
  double number = 0;
};

bool AsBoolean(const Value& v) { return v.isBoolean ? v.boolean : !(v.number == 0 || std::isnan(v.number)); }
double AsNumber(const Value& v) { return v.isBoolean ? (v.boolean ? 1 : 0) : v.number; }
Value Boolean(bool b) { return {true, b, 0}; }
Value Number(double n) { return {false, false, n}; }

// The operators of each level, loosest first, with what they compute.
struct Level {
  std::vector<const char*> texts;
};
const Level kLevels[] = {
    {{" or "}}, {{" and "}}, {{" = ", " != "}}, {{" < ", " <= ", " > ", " >= "}}, {{" + ", " - "}},
    {{" * ", " div ", " mod "}},
};
constexpr int kLevelCount = 6;

Value Apply(int level, int op, const Value& a, const Value& b) {
  switch (level) {
    case 0: return Boolean(AsBoolean(a) || AsBoolean(b));
    case 1: return Boolean(AsBoolean(a) && AsBoolean(b));
    case 2: {
      bool equal = (a.isBoolean || b.isBoolean) ? AsBoolean(a) == AsBoolean(b) : AsNumber(a) == AsNumber(b);
      return Boolean(op == 0 ? equal : !equal);
    }
    case 3: {
      double x = AsNumber(a), y = AsNumber(b);
      return Boolean(op == 0 ? x < y : op == 1 ? x <= y : op == 2 ? x > y : x >= y);
    }
    case 4: return Number(op == 0 ? AsNumber(a) + AsNumber(b) : AsNumber(a) - AsNumber(b));
    default: {
      double x = AsNumber(a), y = AsNumber(b);
      return Number(op == 0 ? x * y : op == 1 ? x / y : std::fmod(x, y));
    }
  }
}

class ChainGenerator {
public:
  explicit ChainGenerator(uint32_t seed) : random(seed) {}

  // An expression at level (0 the loosest; kLevelCount an operand) with its value.
  Value Expression(int level, int depth, std::u16string& text) {
    if (level == kLevelCount) return Operand(depth, text);
    int terms = random() % 4 == 0 ? 2 : 1;
    if (level == longLevel && depth == 0) {
      terms = 1000 + int(random() % 500);
      longLevel = -1;  // one long chain per expression
    }
    Value value = Expression(level + 1, depth, text);
    for (int i = 1; i < terms; ++i) {
      int op = int(random() % kLevels[level].texts.size());
      const char* opText = kLevels[level].texts[size_t(op)];
      text.append(opText, opText + std::char_traits<char>::length(opText));
      value = Apply(level, op, value, Expression(level + 1, depth, text));
    }
    return value;
  }

  int longLevel = 0;
  std::mt19937 random;

private:
  Value Operand(int depth, std::u16string& text) {
    switch (random() % 8) {
      case 0:
        if (depth < 3) {
          text += u"(";
          Value inner = Expression(int(random() % kLevelCount), depth + 1, text);
          text += u")";
          return inner;
        }
        break;
      case 1:
        text += u"-";
        return Number(-AsNumber(Operand(depth, text)));
      case 2: {
        bool b = random() % 2 != 0;
        text += b ? u"true()" : u"false()";
        return Boolean(b);
      }
      default:
        break;
    }
    int n = int(random() % 10);
    text += char16_t(u'0' + n);
    return Number(n);
  }
};

using XPathChainTest = XPathTest;

TEST_F(XPathChainTest, LongChainsOfEveryLevelAgreeWithAReferenceEvaluator) {
  TdomDocument* doc = ParseBytes("<r/>");
  ASSERT_NE(doc, nullptr);
  for (int round = 0; round < 120; ++round) {
    ChainGenerator generator{uint32_t(round)};
    generator.longLevel = round % kLevelCount;
    std::u16string text;
    Value expected = generator.Expression(0, 0, text);
    expression->SetContextNode(doc);
    expression->SetExpression(text);
    ASSERT_TRUE(expression->Evaluate()) << round << " (" << text.size() << " code units): " << Utf8(text.substr(0, 200));
    TdomXPathCustomResult* result = expression->Result();
    if (expected.isBoolean) {
      ASSERT_EQ(result->ResultType(), XPATH_BOOLEAN_TYPE) << round;
      EXPECT_EQ(result->AsBoolean(), expected.boolean) << round;
    } else {
      ASSERT_EQ(result->ResultType(), XPATH_NUMBER_TYPE) << round;
      double got = result->AsNumber();
      if (std::isnan(expected.number)) {
        EXPECT_TRUE(std::isnan(got)) << round;
      } else {
        EXPECT_EQ(got, expected.number) << round;
      }
    }
  }
}

}  // namespace
