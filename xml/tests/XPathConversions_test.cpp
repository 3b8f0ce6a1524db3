// Numbers written as text and read back, over the whole range of doubles.
#include <cmath>
#include <random>

#include "XPathTestSupport.h"
#include "xml/ParserUtilsXPathNumbers.h"

namespace {

// Written without an exponent, read back within half a unit of the fifteenth
// significant digit, and written the same way again.
TEST(XPathNumberText, EveryFiniteNumberReadsBackAsItsFifteenDigitValue) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (int round = 0; round < 20000; ++round) {
    int exponent = int(random() % 617) - 308;
    double value = mantissa(random) * std::pow(10.0, exponent);
    if (random() % 4 == 0) value = std::trunc(value);  // integers of every size
    if (random() % 2 == 0) value = -value;
    if (!std::isfinite(value) || value == 0) continue;
    std::u16string text = XPathNumberToWideStr(value);
    ASSERT_EQ(text.find(u'E'), std::u16string::npos) << Utf8(text);
    double back = XPathWideStrToNumber(text);
    EXPECT_LE(std::fabs(back - value), std::fabs(value) * 5.000001e-15 + 5e-324) << Utf8(text);
    EXPECT_EQ(XPathNumberToWideStr(back), text);
    if (std::trunc(back) == back) EXPECT_EQ(text.find(u'.'), std::u16string::npos) << Utf8(text);
  }
  EXPECT_EQ(XPathNumberToWideStr(5e-324), u"0." + std::u16string(323, u'0') + u"5");
  EXPECT_EQ(XPathNumberToWideStr(2.2250738585072014e-308), u"0." + std::u16string(307, u'0') + u"22250738585072");
  EXPECT_EQ(XPathNumberToWideStr(-1e21), u"-1" + std::u16string(21, u'0'));
}

}  // namespace
