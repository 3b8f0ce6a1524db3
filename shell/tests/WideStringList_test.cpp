// TWideStringList: sorting, duplicates, errors, text form and BOM streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ShellTestHelpers.h"
#include "core/MemoryStream.h"
#include "core/Strings.h"
#include "shell/VirtualWideStrings.h"
#include "shell/WideFileStream.h"
#include "shell/WideStringList.h"

namespace {

struct ListFixture : ::testing::Test {
  TWideStringList* list = New<TWideStringList>();
  ~ListFixture() override { list->Free(); }

  std::vector<std::u16string> Items() {
    std::vector<std::u16string> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
    return out;
  }
  void Load(const std::vector<uint8_t>& bytes) {
    TMemoryStream* stream = New<TMemoryStream>();
    if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->SetPosition(0);
    list->LoadFromStream(stream);
    stream->Free();
  }
};

class Counted : public TObject {
public:
  static inline int alive = 0;
  Counted() { ++alive; }
  ~Counted() override { --alive; }
};

}  // namespace

TEST_F(ListFixture, SortedListDuplicatesPolicies) {
  list->SetSorted(true);
  EXPECT_EQ(list->Add(u"pear"), 0);
  EXPECT_EQ(list->Add(u"ABC"), 0);
  EXPECT_EQ(list->Add(u"abc"), 0);  // ignored: the index of ABC
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Strings(0), u"ABC");
  list->SetDuplicates(dupError);
  EXPECT_THROW(list->Add(u"Pear"), EStringListError);
  try {
    list->Add(u"PEAR");
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  list->SetDuplicates(dupAccept);
  list->Add(u"Abc");
  list->Add(u"aBc");
  EXPECT_EQ(list->Count(), 4);
  int index = -1;
  EXPECT_TRUE(list->Find(u"abc", index));
  EXPECT_EQ(index, 0);  // the first of the equal items
  EXPECT_FALSE(list->Find(u"b", index));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(list->IndexOf(u"PEAR"), 3);
  EXPECT_EQ(list->IndexOf(u"none"), -1);
  EXPECT_THROW(list->Insert(0, u"x"), EStringListError);
  EXPECT_THROW(list->SetStrings(0, u"x"), EStringListError);
}

TEST_F(ListFixture, UnsortedOperationsAndBounds) {
  list->Add(u"c");
  list->Add(u"A");
  list->Add(u"b");
  list->Insert(3, u"d");
  EXPECT_EQ(list->IndexOf(u"B"), 2);
  list->Exchange(0, 3);
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"d", u"A", u"b", u"c"}));
  list->Sort();
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"A", u"b", u"c", u"d"}));
  list->Delete(0);
  EXPECT_EQ(list->Strings(0), u"b");
  try {
    list->Strings(3);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(list->Strings(-1), EStringListError);
  EXPECT_THROW(list->Insert(5, u"x"), EStringListError);
  EXPECT_THROW(list->Delete(3), EStringListError);
  EXPECT_THROW(list->Exchange(0, 7), EStringListError);
  try {
    list->SetCapacityValue(1);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List capacity out of bounds (1)");
  }
  EXPECT_THROW(list->SetCapacityValue(TWideStringList::kMaxListSize + 1), EStringListError);
}

TEST_F(ListFixture, GrowthSteps) {
  std::vector<int> capacities;
  for (int i = 0; i < 100; ++i) {
    list->Add(u"x");
    if (capacities.empty() || capacities.back() != list->Capacity()) capacities.push_back(list->Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  list->Clear();
  EXPECT_EQ(list->Capacity(), 0);
}

TEST_F(ListFixture, SortLargeRandomListMatchesOrder) {
  uint32_t seed = 12345;
  for (int i = 0; i < 2000; ++i) {
    seed = seed * 1103515245 + 12345;
    std::u16string s;
    for (int k = 0; k < 1 + static_cast<int>(seed >> 28); ++k) s += static_cast<char16_t>(u'a' + ((seed >> (k * 3)) % 26));
    list->Add(s);
  }
  list->Sort();
  for (int i = 1; i < list->Count(); ++i)
    ASSERT_LE(TWideStringList::CompareStrings(list->Strings(i - 1), list->Strings(i)), 0) << i;
  EXPECT_EQ(list->Count(), 2000);
}

TEST_F(ListFixture, OwnedObjectsAndEvents) {
  int changes = 0;
  int changings = 0;
  struct Counter : TObject {
    int* n;
    void Hit(TObject*) { ++*n; }
  } onChange, onChanging;
  onChange.n = &changes;
  onChanging.n = &changings;
  list->OnChange = MakeEvent<&Counter::Hit>(&onChange);
  list->OnChanging = MakeEvent<&Counter::Hit>(&onChanging);
  list->SetOwnsObjects(true);
  list->AddObject(u"one", new Counted);
  list->AddObject(u"two", new Counted);
  list->AddObject(u"three", new Counted);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(changings, 3);
  list->Delete(1);
  EXPECT_EQ(Counted::alive, 2);
  list->BeginUpdate();
  list->Add(u"four");
  list->Add(u"five");
  list->EndUpdate();
  EXPECT_EQ(changes, 5);
  list->Clear();
  EXPECT_EQ(Counted::alive, 0);
  list->OnChange = nullptr;
  list->OnChanging = nullptr;
}

TEST_F(ListFixture, TextFormTable) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"a\r\n\r\nb", {u"a", u"", u"b"}},
      {u"a\r\n", {u"a"}},
      {u"", {}},
      {u"a\rb\nc\vd\fe\u2028f\u2029g", {u"a", u"b", u"c", u"d", u"e", u"f", u"g"}},
      {u"\n\n", {u"", u""}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"tail", {u"tail"}},
  };
  for (const Case& c : cases) {
    list->SetText(c.text);
    EXPECT_EQ(Items(), c.lines);
  }
  list->SetText(u"x\ny");
  EXPECT_EQ(list->Text(), u"x\r\ny\r\n");
}

TEST_F(ListFixture, SaveWritesLittleEndianMarkAndText) {
  list->Add(u"x");
  list->Add(u"y");
  TMemoryStream* stream = New<TMemoryStream>();
  list->SaveToStream(stream);
  ASSERT_EQ(stream->Size(), 14);
  std::vector<uint8_t> bytes(14);
  stream->SetPosition(0);
  stream->ReadBuffer(bytes.data(), 14);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0xFE, 'x', 0, 13, 0, 10, 0, 'y', 0, 13, 0, 10, 0}));
  stream->Free();
}

TEST_F(ListFixture, LoadMarksAnsiAndShortStreams) {
  Load({0xFF, 0xFE, 'a', 0, 10, 0, 0xA9, 0x03});
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"a", u"\u03a9"}));
  Load({0xFE, 0xFF, 0, 'h', 0, 'i', 0, 13, 0x03, 0xA9});
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"hi", u"\u03a9"}));
  Load({'a', 'n', 's', 'i', '\r', '\n', 'z'});
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"ansi", u"z"}));
  Load({});
  EXPECT_EQ(list->Count(), 0);
  Load({'q'});  // too short for a mark: one ANSI character
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"q"}));
  Load({0xFF, 0xFE});
  EXPECT_EQ(list->Count(), 0);
  Load({0xFF, 0xFE, 'o', 0, 'k', 0, 'x'});  // an odd trailing byte is no character
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"ok"}));
}

TEST_F(ListFixture, LoadStartsAtThePosition) {
  TMemoryStream* stream = New<TMemoryStream>();
  const uint8_t bytes[] = {'J', 'U', 'N', 'K', 0xFF, 0xFE, 'k', 0};
  stream->WriteBuffer(bytes, sizeof bytes);
  stream->SetPosition(4);
  list->LoadFromStream(stream);
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"k"}));
  stream->Free();
}

TEST_F(ListFixture, AssignToAndFromAnsiLists) {
  TStringList* ansi = New<TStringList>();
  ansi->Add("alpha");
  ansi->Add("beta");
  list->Assign(ansi);
  EXPECT_EQ(Items(), (std::vector<std::u16string>{u"alpha", u"beta"}));
  list->Add(u"gamma");
  ansi->Assign(list);
  EXPECT_EQ(ansi->Count(), 3);
  EXPECT_EQ(ansi->Strings(2), "gamma");
  TWideStringList* other = New<TWideStringList>();
  other->Assign(list);
  EXPECT_EQ(other->Text(), list->Text());
  list->AddStrings(list);  // onto itself: doubles once
  EXPECT_EQ(list->Count(), 6);
  other->Free();
  ansi->Free();
}

TEST_F(ListFixture, FileRoundTripBothRoads) {
  shelltest::TempFolder folder;
  list->Add(u"\u65e5\u672c\u8a9e");
  list->Add(u"plain");
  std::u16string name = folder / u"list \u00e9.txt";
  list->SaveToFile(name);
  TWideStringList* back = New<TWideStringList>();
  back->LoadFromFile(name);
  EXPECT_EQ(back->Text(), list->Text());
  vws::SetForceAnsiPath(true);
  TWideStringList* ansi = New<TWideStringList>();
  ansi->Add(u"abc");
  ansi->Add(u"def");
  ansi->SaveToFile(folder / u"ansi.txt");  // an ANSI text file without a mark
  back->LoadFromFile(folder / u"ansi.txt");
  vws::SetForceAnsiPath(false);
  EXPECT_EQ(back->Text(), u"abc\r\ndef\r\n");
  TWideFileStream* raw = New<TWideFileStream>(folder / u"ansi.txt", fmOpenRead);
  EXPECT_EQ(raw->Size(), 10);
  raw->Free();
  ansi->Free();
  back->Free();
}

namespace {

// A comparison that decides values only as the sort asks (each item is "gas"
// until compared with the item being used as the pivot, then frozen at the
// highest value still free): whatever pivot the sort picks turns out to be the
// largest, so every split leaves one part with all items but one. It notes how
// deep the stack went.
struct TAdversary {
  static constexpr int kGas = -1;
  std::vector<int> value;
  int nextFrozen = 0;
  int candidate = -1;
  uintptr_t lowestStack = UINTPTR_MAX;
};
TAdversary* gAdversary = nullptr;

int AdversaryCompare(TWideStringList* list, int a, int b) {
  volatile char marker = 0;
  TAdversary& adv = *gAdversary;
  adv.lowestStack = std::min(adv.lowestStack, reinterpret_cast<uintptr_t>(&marker));
  int x = static_cast<int>(reinterpret_cast<intptr_t>(list->Objects(a)));
  int y = static_cast<int>(reinterpret_cast<intptr_t>(list->Objects(b)));
  if (adv.value[x] == TAdversary::kGas && adv.value[y] == TAdversary::kGas)
    adv.value[x == adv.candidate ? x : y] = adv.nextFrozen--;
  if (adv.value[x] == TAdversary::kGas) {
    adv.candidate = x;
  } else if (adv.value[y] == TAdversary::kGas) {
    adv.candidate = y;
  }
  return adv.value[x] - adv.value[y];
}

}  // namespace

TEST_F(ListFixture, AHostileOrderKeepsTheSortsStackShallow) {
  constexpr int kCount = 3000;
  TAdversary adversary;
  adversary.value.assign(kCount, TAdversary::kGas);
  adversary.nextFrozen = kCount * 2;
  gAdversary = &adversary;
  for (int i = 0; i < kCount; ++i) list->AddObject(u"x", reinterpret_cast<TObject*>(static_cast<intptr_t>(i)));
  volatile char top = 0;
  list->CustomSort(AdversaryCompare);
  uintptr_t depth = reinterpret_cast<uintptr_t>(&top) - adversary.lowestStack;
  // A few dozen frames at most; one frame per item would be far past this.
  EXPECT_LT(depth, 16u * 1024u);
  // And the order the comparison decided is the one left.
  for (int i = 1; i < kCount; ++i) {
    int before = static_cast<int>(reinterpret_cast<intptr_t>(list->Objects(i - 1)));
    int after = static_cast<int>(reinterpret_cast<intptr_t>(list->Objects(i)));
    ASSERT_LE(adversary.value[before], adversary.value[after]) << i;
  }
  gAdversary = nullptr;
}
