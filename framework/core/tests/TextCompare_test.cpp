#include <gtest/gtest.h>

#include <string>

#include "core/TextCompare.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

struct CompareCase {
  const char* a;
  const char* b;
  int text;  // sign of AnsiCompareText
  int str;   // sign of AnsiCompareStr
};

TEST(TextCompare, CompareTable) {
  const CompareCase cases[] = {
      {"", "", 0, 0},
      {"", "a", -1, -1},
      {"abc", "ABC", 0, 1},
      {"abc", "abd", -1, -1},
      {"ab", "abc", -1, -1},
      {"_", "a", -1, -1},  // small-letter folding: '_' before every letter
      {"_", "A", -1, 1},
      {"\xC9t\xC9", "\xE9t\xE9", 0, -1},  // E acute, both cases
      {"\xD7", "\xF7", -1, -1},           // multiplication and division sign: no case pair
      {"\xDF", "\xFF", -1, -1},           // sharp s has no capital in the code page
      {"\x8A", "\x9A", 0, -1},            // S caron
      {"\x9F", "\xFF", 0, -1},            // Y diaeresis
      {"z", "\xE0", -1, -1},              // bytes above 0x7F sort after ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(AnsiCompareText(c.a, c.b)), c.text) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(AnsiCompareText(c.b, c.a)), -c.text) << c.b << " / " << c.a;
    EXPECT_EQ(Sign(AnsiCompareStr(c.a, c.b)), c.str) << c.a << " / " << c.b;
    EXPECT_EQ(AnsiSameText(c.a, c.b), c.text == 0);
  }
  EXPECT_EQ(AnsiCompareText(std::string("a\0b", 3), std::string("A\0c", 3)) < 0, true);
}

TEST(TextCompare, CaseMappingCoversTheWholeCodePage) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string upper = AnsiUpperCase(all);
  std::string lower = AnsiLowerCase(all);
  int changedUp = 0, changedDown = 0;
  for (int c = 0; c < 256; ++c) {
    changedUp += upper[c] != all[c];
    changedDown += lower[c] != all[c];
    // Folding twice is folding once, and a pair maps back.
    EXPECT_EQ(AnsiLowerChar(AnsiUpperChar(lower[c])), lower[c]);
  }
  // 26 ASCII + 30 accented + 4 extra pairs in each direction.
  EXPECT_EQ(changedUp, 60);
  EXPECT_EQ(changedDown, 60);
  EXPECT_EQ(AnsiUpperCase("stra\xDF" "e \xE9t\xE9 \xF7"), "STRA\xDF" "E \xC9T\xC9 \xF7");
  EXPECT_EQ(AnsiLowerCase("\xC0\xDE\xD7"), "\xE0\xFE\xD7");
}

}  // namespace
