#include "core/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/Exception.h"

namespace {

struct FormatCase {
  const char* expected;
  std::string actual;
};

// Each row formats once; the table keeps the expectations side by side.
TEST(Format, IntegerTable) {
  const FormatCase cases[] = {
      {"42", Format("%d", {42})},
      {"-42", Format("%d", {-42})},
      {"-2147483648", Format("%d", {INT_MIN})},
      {"9223372036854775807", Format("%d", {INT64_MAX})},
      {"18446744073709551615", Format("%d", {UINT64_MAX})},
      {"   42", Format("%5d", {42})},
      {"42   |", Format("%-5d|", {42})},
      {"   42", Format("%05d", {42})},  // a leading 0 is part of the width, no flag
      {"007", Format("%.3d", {7})},
      {"-005", Format("%.3d", {-5})},
      {"  -005", Format("%6.3d", {-5})},
      {"12345", Format("%.3d", {12345})},
      {"4294967295", Format("%u", {-1})},
      {"18446744073709551615", Format("%u", {int64_t{-1}})},
      {"FF", Format("%x", {255})},
      {"FF", Format("%X", {255})},
      {"000000FF", Format("%.8x", {255})},
      {"FFFFFFFF", Format("%x", {-1})},
      {"FFFFFFFFFFFFFFFF", Format("%x", {int64_t{-1}})},
      {"$0000ABCD", Format("$%8.8X", {0xABCDu})},
      {"0", Format("%x", {0})},
      {"1", Format("%d", {true})},
      {"65", Format("%d", {static_cast<unsigned char>(65)})},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(Format, FloatTable) {
  const FormatCase cases[] = {
      {"3.14", Format("%f", {3.14159})},
      {"3.142", Format("%.3f", {3.14159})},
      {"3", Format("%.0f", {3.14159})},
      {" 3.14", Format("%5.2f", {3.14159})},
      {"-0.50", Format("%.2f", {-0.5})},
      {"0.00", Format("%.2f", {-0.001})},  // no "-0.00"
      {"0.13", Format("%.2f", {0.125})},    // halves round away from zero
      {"-0.13", Format("%.2f", {-0.125})},
      {"1.01", Format("%.2f", {1.005})},    // as written, not by the binary tail
      {"1", Format("%.0f", {0.5})},
      {"0", Format("%.0f", {0.49})},
      {"10.0", Format("%.1f", {9.96})},
      {"0.000", Format("%.3f", {0.0004})},
      {"123456789012345680", Format("%.0f", {123456789012345678.0})},  // nearest double
      {"1234567.89", Format("%f", {1234567.891})},
      {"1,234,567.89", Format("%n", {1234567.891})},
      {"-1,234,567.9", Format("%.1n", {-1234567.891})},
      {"999.00", Format("%n", {999.0})},
      {"1,000", Format("%.0n", {999.5})},
      {"1,234.50", Format("%m", {1234.5})},
      {"1.23450000000000E+003", Format("%e", {1234.5})},
      {"1.23E+003", Format("%.3e", {1234.5})},
      {"-1.0E-010", Format("%.2e", {-1e-10})},
      {"0.0E+000", Format("%.2e", {0.0})},
      {"1234.5", Format("%g", {1234.5})},
      {"0.1", Format("%g", {0.1})},
      {"1E20", Format("%g", {1e20})},
      {"100000000000000", Format("%g", {1e14})},
      {"1E15", Format("%g", {1e15})},
      {"0.00001", Format("%g", {0.00001})},
      {"1E-6", Format("%g", {0.000001})},
      {"1.23E-7", Format("%.3g", {1.2345e-7})},
      {"0", Format("%g", {0.0})},
      {"-2.5", Format("%g", {-2.5})},
      {"1.2E3", Format("%.2g", {1234.5})},
      {"1E3", Format("%.2g", {999.9})},
      {"0.00001", Format("%.3g", {0.0000099996})},  // judged after rounding
      {"9.9996E-6", Format("%g", {0.0000099996})},
      {"0.5", Format("%g", {0.5f})},
      {"NAN", Format("%f", {std::nan("")})},
      {"-INF", Format("%g", {-std::numeric_limits<double>::infinity()})},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(Format, TextIndexAndStarTable) {
  std::string name = "world";
  std::u16string wide = u"wide";
  const FormatCase cases[] = {
      {"hello world", Format("hello %s", {name})},
      {"hello world", Format("hello %s", {"world"})},
      {"[  abc]", Format("[%5s]", {"abc"})},
      {"[abc  ]", Format("[%-5s]", {"abc"})},
      {"[ab]", Format("[%.2s]", {"abc"})},
      {"wide", Format("%s", {wide})},
      {"x", Format("%s", {'x'})},
      {"100%", Format("%d%%", {100})},
      {"%", Format("%%", {})},
      {"b a b", Format("%1:s %0:s %s", {"a", "b"})},
      {"a a", Format("%0:s %0:s", {"a"})},
      {"   42", Format("%*d", {5, 42})},
      {"3.1", Format("%.*f", {1, 3.14159})},
      {"  3.1", Format("%*.*f", {5, 1, 3.14159})},
      {"7", Format("%D", {7})},
      {"", Format("", {})},
      {"no args", Format("no args", {1, 2})},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(c.actual, c.expected);

  int local = 0;
  std::string pointer = Format("%p", {static_cast<const void*>(&local)});
  EXPECT_EQ(pointer.size(), sizeof(void*) * 2);
  EXPECT_EQ(Format("%p", {nullptr}), std::string(sizeof(void*) * 2, '0'));
}

TEST(Format, MismatchesRaiseConvertError) {
  const char* bad[] = {"%d", "%s", "%f", "%x", "%p", "%q", "%", "%5", "%.", "%-", "%2:d", "%*d", "%99999999d"};
  for (const char* fmt : bad) {
    SCOPED_TRACE(fmt);
    EXPECT_THROW(Format(fmt, {}), EConvertError);
  }
  EXPECT_THROW(Format("%d", {1.5}), EConvertError);
  EXPECT_THROW(Format("%s", {1}), EConvertError);
  EXPECT_THROW(Format("%f", {1}), EConvertError);
  EXPECT_THROW(Format("%x", {"text"}), EConvertError);
  EXPECT_THROW(Format("%*d", {"5", 1}), EConvertError);
  EXPECT_THROW(Format("%p", {1}), EConvertError);
  try {
    Format("%d items", {"three"});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Format '%d items' invalid or incompatible with argument");
  }
}

TEST(Format, WideFormatFollowsTheSameRules) {
  EXPECT_EQ(WideFormat(u"%s=%d (%.2f) %x", {u"key", 12, 0.125, 255}), u"key=12 (0.13) FF");
  EXPECT_EQ(WideFormat(u"[%-4s]%1:s", {std::string("ab"), u"c"}), u"[ab  ]c");
  EXPECT_EQ(WideFormat(u"\u00e9%s", {u"\u0416"}), u"\u00e9\u0416");
  EXPECT_THROW(WideFormat(u"%d", {u"x"}), EConvertError);
}

}  // namespace
