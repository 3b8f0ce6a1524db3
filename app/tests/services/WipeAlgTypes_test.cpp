// The wipe-pattern model: hex bytes, passes, patterns, the selected pattern
// and the algorithm list. The storage is filled by a fixture, never from a
// built-in list.
#include "WipeAlgTypes.h"

#include <gtest/gtest.h>

#include "AlgorithmList.h"
#include "Settings.h"
#include "win/Forms.h"
#include "win/controls/StdCtrls.h"

namespace {

TEST(WipeAlgTypes, HexToByteDigitsAndFallback) {
  struct Case {
    char high, low;
    uint8_t expected;
  };
  const Case cases[] = {{'0', '0', 0x00}, {'F', 'F', 0xFF}, {'f', 'f', 0xFF}, {'9', '2', 0x92}, {'a', 'B', 0xAB},
                        {'G', '0', 0x20}, {'0', 'g', 0x20}, {' ', '1', 0x20}, {'\0', '0', 0x20}, {'/', ':', 0x20},
                        {'@', '`', 0x20}};
  for (const Case& c : cases) EXPECT_EQ(HexToByte(c.high, c.low), c.expected) << c.high << c.low;
}

struct PassCase {
  const char* bytes;
  const char* sequence;
  uint8_t fill;
  uint8_t seq[3];
};

TEST(WipeAlgTypes, PassesParseFillAndSequence) {
  const PassCase cases[] = {
      {"FF", "", 0xFF, {0, 0, 0}},           {"ff", "92", 0xFF, {0x92, 0, 0}},
      {"G0", "9249", 0x20, {0x92, 0x49, 0}}, {"F", "924924", 0, {0x92, 0x49, 0x24}},
      {"FFF", "924", 0, {0, 0, 0}},          {"", "92492492", 0, {0, 0, 0}},
      {"00", "zz49", 0, {0x20, 0x49, 0}},
  };
  for (const PassCase& c : cases) {
    TWipePass* pass = New<TWipePass>(7, c.bytes, c.sequence);
    EXPECT_EQ(pass->Order, 7);
    EXPECT_EQ(pass->Fill, c.fill) << c.bytes;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(pass->Sequence[k], c.seq[k]) << c.sequence << " byte " << k;
    pass->Free();
  }
}

class PatternStore : public ::testing::Test {
protected:
  void SetUp() override {
    savedCode = SelectedPatternCode;
    storage = New<TDataStorage>();
  }
  void TearDown() override {
    storage->Free();
    SelectedPatternCode = savedCode;
  }
  TWipePattern* Add(int order, const char* code, const char* name, int passes) {
    TWipePattern* p = New<TWipePattern>(order, code, name, std::string("about ") + name);
    for (int i = 0; i < passes; ++i) p->Passes->Add(New<TWipePass>(i, "00", ""));
    storage->Patterns->Add(p);
    return p;
  }

  TDataStorage* storage = nullptr;
  std::string savedCode;
};

TEST_F(PatternStore, SelectedPatternIsTheLastWithTheCode) {
  EXPECT_FALSE(storage->Modified);
  Add(3, "ZERO", "Zeros", 1);
  TWipePattern* first = Add(1, "RANDOM", "Random", 1);
  TWipePattern* last = Add(2, "RANDOM", "Random again", 3);
  SelectedPatternCode = "RANDOM";
  EXPECT_EQ(storage->GetSelectedPattern(), last);
  EXPECT_NE(storage->GetSelectedPattern(), first);
  SelectedPatternCode = "random";  // exact, case-sensitive
  EXPECT_EQ(storage->GetSelectedPattern(), nullptr);
  SelectedPatternCode = "";
  EXPECT_EQ(storage->GetSelectedPattern(), nullptr);
  storage->CheckModified();
  EXPECT_FALSE(storage->Modified);
}

TEST_F(PatternStore, LoadPatternsUsesTheInstalledReaderOnly) {
  PatternsFileReader = nullptr;
  storage->LoadPatterns();
  EXPECT_EQ(storage->Patterns->Count(), 0);
  PatternsFileReader = [](TDataStorage* s) { s->Patterns->Add(New<TWipePattern>(0, "X", "From file", "")); };
  storage->LoadPatterns();
  PatternsFileReader = nullptr;
  ASSERT_EQ(storage->Patterns->Count(), 1);
  EXPECT_EQ(storage->Patterns->Items(0)->Name, "From file");
}

TEST_F(PatternStore, AlgorithmListKeepsStorageOrder) {
  Add(9, "A", "Nine", 0);
  Add(1, "B", "One", 2);
  Add(5, "B", "Five", 35);
  TForm* form = New<TForm>(nullptr);
  TComboBox* combo = New<TComboBox>(form);
  combo->SetParent(form);
  EXPECT_EQ(FillAlgorithmList(combo, storage, "B"), 2);
  ASSERT_EQ(combo->Items()->Count(), 3);
  EXPECT_EQ(combo->Items()->Strings(0), "Nine (0)");
  EXPECT_EQ(combo->Items()->Strings(1), "One (2)");
  EXPECT_EQ(combo->Items()->Strings(2), "Five (35)");
  EXPECT_EQ(combo->Items()->Objects(2), storage->Patterns->Items(2));
  EXPECT_EQ(FillAlgorithmList(combo, storage, "none"), -1);
  EXPECT_EQ(FillAlgorithmList(combo, nullptr, "B"), -1);
  form->Free();
}

}  // namespace
