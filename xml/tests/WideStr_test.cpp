#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "DomTestSupport.h"
#include "core/Exception.h"
#include "xml/WideStrUtils.h"

namespace {

std::vector<std::u16string> Items(const TUtilsWideStringList& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.Get(i));
  return out;
}

TEST(WideStrCompare, OrdinalAndTranslate) {
  EXPECT_LT(CompareWideStr(u"ab", u"abc"), 0);
  EXPECT_GT(CompareWideStr(u"b", u"abc"), 0);
  EXPECT_EQ(CompareWideStr(u"", u""), 0);
  EXPECT_GT(CompareWideStr(u"a", u"B"), 0);  // no case folding
  EXPECT_GT(CompareWideStr(u"\uFFFF", u"\u0001"), 0);
  std::u16string result = u"old";
  TranslateWideStr(u"--aaa--", u"abc-", u"ABC", result);
  EXPECT_EQ(result, u"AAA");
  TranslateWideStr(u"bar", u"abc", u"ABC", result);
  EXPECT_EQ(result, u"BAr");
  TranslateWideStr(u"aba", u"aa", u"xy", result);  // first occurrence wins
  EXPECT_EQ(result, u"xbx");
}

TEST(WideStrList, SortedDuplicatesPolicies) {
  TUtilsWideStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Add(u"b"), 0);
  EXPECT_EQ(list.Add(u"a"), 0);
  EXPECT_EQ(list.Add(u"b"), 1);
  EXPECT_EQ(list.GetCount(), 2);
  list.SetDuplicates(dupError);
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Add(u"b"); }), "String list does not allow duplicates");
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"a", u"b"}));
  list.SetDuplicates(dupAccept);
  list.Add(u"b");
  list.Add(u"b");
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"a", u"b", u"b", u"b"}));
  int index = -1;
  EXPECT_TRUE(list.Find(u"b", index));
  EXPECT_EQ(index, 1);  // the first of the equal items
  EXPECT_FALSE(list.Find(u"ab", index));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(list.IndexOf(u"c"), -1);
  EXPECT_EQ(list.LastIndexOf(u"b"), 3);
}

TEST(WideStrList, SortedListRefusesPositionalChanges) {
  TUtilsWideStringList list;
  list.SetSorted(true);
  list.Add(u"m");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Insert(0, u"x"); }), "Operation not allowed on Sorted string list");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Put(5, u"x"); }), "Operation not allowed on Sorted string list");
  TUtilsWideStringList plain;
  for (auto s : {u"1", u"2", u"3", u"4", u"5"}) plain.Add(s);
  EXPECT_EQ(MessageOf<EStringListError>([&] { plain.Delete(5); }), "List Index out of bounds (5)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { plain.Insert(6, u"x"); }), "List Index out of bounds (6)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { plain.Get(-1); }), "List Index out of bounds (-1)");
  EXPECT_THROW(plain.Exchange(0, 5), EStringListError);
  plain.Insert(5, u"6");
  plain.Exchange(0, 5);
  plain.Put(1, u"two");
  EXPECT_EQ(Items(plain), (std::vector<std::u16string>{u"6", u"two", u"3", u"4", u"5", u"1"}));
}

TEST(WideStrList, SortAndGrowth) {
  TUtilsWideStringList list;
  std::vector<std::u16string> expected;
  for (int i = 0; i < 300; ++i) {
    std::u16string s(1, char16_t(u'A' + (i * 37) % 26));
    s += char16_t(u'0' + i % 7);
    list.AddObject(s, reinterpret_cast<void*>(intptr_t(i)));
    expected.push_back(s);
  }
  list.SetSorted(true);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Items(list), expected);
  for (int i = 0; i < list.GetCount(); ++i) {
    intptr_t original = reinterpret_cast<intptr_t>(list.GetObject(i));
    EXPECT_EQ(char16_t(u'A' + (original * 37) % 26), list.Get(i)[0]);
  }
  // +4 up to 8, +16 up to 64, then a quarter.
  TUtilsWideStringList growth;
  std::vector<int> capacities;
  for (int i = 0; i < 100; ++i) {
    growth.Add(u"x");
    if (capacities.empty() || capacities.back() != growth.GetCapacity()) capacities.push_back(growth.GetCapacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  growth.Clear();
  EXPECT_EQ(growth.GetCapacity(), 0);
}

struct TEventCounter : TObject {
  int changes = 0, changings = 0;
  void Change(TObject*) { ++changes; }
  void Changing(TObject*) { ++changings; }
};

TEST(WideStrList, EventsAndUpdates) {
  TUtilsWideStringList list;
  TEventCounter counter;
  list.OnChange = MakeEvent<&TEventCounter::Change>(&counter);
  list.OnChanging = MakeEvent<&TEventCounter::Changing>(&counter);
  list.Add(u"a");
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(counter.changings, 1);
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add(u"b");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(counter.changes, 1);
  list.EndUpdate();
  EXPECT_EQ(counter.changes, 2);
  EXPECT_EQ(counter.changings, 2);
  list.SetSorted(true);
  list.Add(u"b");  // ignored duplicate: nothing changes, nothing fires
  EXPECT_EQ(counter.changes, 3 - 1);
}

TEST(WideStrList, AddStringsAndAssignAreAllOrNothing) {
  TUtilsWideStringList source;
  for (auto s : {u"c", u"a", u"c"}) source.AddObject(s, nullptr);
  TUtilsWideStringList target;
  target.SetSorted(true);
  target.SetDuplicates(dupError);
  target.Add(u"z");
  EXPECT_THROW(target.AddStrings(&source), EStringListError);
  EXPECT_EQ(Items(target), std::vector<std::u16string>{u"z"});
  EXPECT_THROW(target.Assign(&source), EStringListError);
  EXPECT_EQ(Items(target), std::vector<std::u16string>{u"z"});
  TUtilsWideStringList copy;
  copy.Assign(&source);
  EXPECT_EQ(Items(copy), (std::vector<std::u16string>{u"c", u"a", u"c"}));
  copy.AddStrings(&copy);  // adding a list to itself doubles it once
  EXPECT_EQ(copy.GetCount(), 6);
  EXPECT_THROW(copy.Assign(nullptr), EConvertError);
}

// A list that keeps its storage across Clear behaves as one that does not:
// random operations on both, the same texts, objects, counts, capacities and
// errors after each. Sorting follows the pivot through its swaps; equal texts
// with different objects show that the order is the one a sort with a copied
// pivot gives.
namespace {

// The sort as it was written first: the pivot's text copied.
void ReferenceQuickSort(std::vector<std::pair<std::u16string, int>>& items, int low, int high) {
  while (low < high) {
    int i = low;
    int j = high;
    std::u16string pivot = items[low + (high - low) / 2].first;
    while (i <= j) {
      while (CompareWideStr(items[i].first, pivot) < 0) ++i;
      while (CompareWideStr(items[j].first, pivot) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(items[i], items[j]);
        ++i;
        --j;
      }
    }
    if (j - low < high - i) {
      if (low < j) ReferenceQuickSort(items, low, j);
      low = i;
    } else {
      if (i < high) ReferenceQuickSort(items, i, high);
      high = j;
    }
  }
}

std::vector<std::pair<std::u16string, int>> Contents(const TUtilsWideStringList& list) {
  std::vector<std::pair<std::u16string, int>> out;
  for (int i = 0; i < list.GetCount(); ++i)
    out.emplace_back(list.Get(i), static_cast<int>(reinterpret_cast<intptr_t>(list.GetObject(i))));
  return out;
}

}  // namespace

TEST(WideStrList, KeptStorageAndSortAgreeWithPlainLists) {
  uint32_t seed = 5;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const std::u16string texts[] = {u"a", u"b", u"description", u"sequence", u"x",
                                  std::u16string(300, u'L'), u"a longer text than a short one", u""};
  for (int round = 0; round < 300; ++round) {
    std::unique_ptr<TUtilsWideStringList> kept(New<TUtilsWideStringList>());
    std::unique_ptr<TUtilsWideStringList> plain(New<TUtilsWideStringList>());
    kept->SetKeepStorage(true);
    TDuplicates policy = static_cast<TDuplicates>(next() % 3);
    kept->SetDuplicates(policy);
    plain->SetDuplicates(policy);
    std::vector<std::pair<std::u16string, int>> reference;  // the unsorted items, for the sort
    for (int op = 0; op < 60; ++op) {
      int what = static_cast<int>(next() % 10);
      const std::u16string& text = texts[next() % std::size(texts)];
      void* object = reinterpret_cast<void*>(static_cast<intptr_t>(op));
      auto apply = [&](TUtilsWideStringList& list) -> std::string {
        try {
          switch (what) {
            case 0: case 1: case 2: case 3: list.AddObject(text, object); break;
            case 4: list.Clear(); break;
            case 5: if (list.GetCount() > 0) list.Delete(static_cast<int>(next() % list.GetCount())); break;
            case 6: list.Insert(0, text); break;
            case 7: list.SetSorted(!list.Sorted()); break;
            case 8: list.Sort(); break;
            default: if (list.GetCount() > 1) list.Exchange(0, list.GetCount() - 1); break;
          }
        } catch (const EStringListError& e) {
          return e.Message();
        }
        return "";
      };
      uint32_t saved = seed;
      bool sortsNow = (what == 7 && !plain->Sorted()) || (what == 8 && !plain->Sorted());
      if (sortsNow) {
        reference = Contents(*plain);
        if (reference.size() > 1) ReferenceQuickSort(reference, 0, static_cast<int>(reference.size()) - 1);
      }
      std::string plainError = apply(*plain);
      seed = saved;
      std::string keptError = apply(*kept);
      ASSERT_EQ(keptError, plainError) << round << " " << op;
      ASSERT_EQ(Contents(*kept), Contents(*plain)) << round << " " << op;
      ASSERT_EQ(kept->GetCapacity(), plain->GetCapacity()) << round << " " << op;
      ASSERT_EQ(kept->Sorted(), plain->Sorted());
      if (sortsNow) ASSERT_EQ(Contents(*plain), reference) << round << " " << op;
    }
  }
}

// Refilling a sorted name/value list in one go leaves both of its lists
// (texts, objects, room) as clearing it and adding each pair in turn does,
// fill after fill on the same lists, with kept storage and without.
TEST(WideStrNameValueList, RefillSortedAgreesWithAddingEachPair) {
  uint32_t seed = 17;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const std::u16string pool[] = {u"a", u"b", u"order", u"sequence", u"bytes", std::u16string(300, u'n'), u"z", u"",
                                 u"ab", u"description"};
  for (bool keep : {false, true}) {
    std::unique_ptr<TUtilsNameValueList> filled(New<TUtilsNameValueList>());
    std::unique_ptr<TUtilsNameValueList> added(New<TUtilsNameValueList>());
    filled->Names()->SetKeepStorage(keep);
    filled->Values()->SetKeepStorage(keep);
    filled->SetSorted(true);
    added->SetSorted(true);
    for (int round = 0; round < 400; ++round) {
      std::vector<std::u16string_view> names, values;
      size_t count = next() % 4 == 0 ? 20 + next() % 60 : next() % 8;
      std::vector<std::u16string> texts;
      for (size_t i = 0; i < count; ++i) texts.push_back(pool[next() % std::size(pool)] + std::u16string(i, u'x'));
      for (size_t i = 0; i < count; ++i) {
        names.push_back(texts[i]);
        values.push_back(pool[next() % std::size(pool)]);
      }
      std::vector<int> order(count);
      for (size_t i = 0; i < count; ++i) order[i] = static_cast<int>(i);
      std::sort(order.begin(), order.end(), [&](int a, int b) { return names[a] < names[b]; });
      if (next() % 2) filled->Clear();
      filled->RefillSorted(names.data(), values.data(), order.data(), static_cast<int>(count));
      added->Clear();
      for (size_t i = 0; i < count; ++i) added->Add(names[i], values[i]);
      ASSERT_EQ(Contents(*filled->Names()), Contents(*added->Names())) << round;
      ASSERT_EQ(Contents(*filled->Values()), Contents(*added->Values())) << round;
      ASSERT_EQ(filled->GetCapacity(), added->GetCapacity()) << round;
    }
  }
}

TEST(WideStrNameValueList, PairsAndDuplicates) {
  TUtilsNameValueList list;
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  int dummy = 0;
  list.AddObject(u"b", u"2", &dummy);
  list.Add(u"a", u"1");
  EXPECT_EQ(list.GetName(0), u"a");
  EXPECT_EQ(list.GetValue(0), u"1");
  EXPECT_EQ(list.GetValue(1), u"2");
  EXPECT_EQ(list.GetObject(1), &dummy);
  EXPECT_THROW(list.Add(u"a", u"again"), EStringListError);
  EXPECT_EQ(list.Values()->GetCount(), 2);  // no orphan value
  EXPECT_THROW(list.Insert(0, u"c", u"3"), EStringListError);
  EXPECT_EQ(list.Values()->GetCount(), 2);
  int index = -1;
  EXPECT_TRUE(list.FindNameValue(u"b", u"2", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.FindNameValue(u"b", u"3", index));
  EXPECT_EQ(index, -1);
  list.Delete(0);
  EXPECT_EQ(list.GetName(0), u"b");
  EXPECT_EQ(list.GetValue(0), u"2");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.GetValue(1); }), "List Index out of bounds (1)");
}

TEST(WideStrNameValueList, UnsortedSearchAndBulk) {
  TUtilsNameValueList list;
  list.Add(u"x", u"1");
  list.Add(u"y", u"2");
  list.Add(u"x", u"3");
  list.Insert(0, u"w", u"0");
  EXPECT_EQ(list.IndexOfName(u"x"), 1);
  EXPECT_EQ(list.LastIndexOfName(u"x"), 3);
  EXPECT_EQ(list.IndexOfNameValue(u"x", u"3"), 3);
  EXPECT_EQ(list.LastIndexOfNameValue(u"x", u"1"), 1);
  list.SetDuplicates(dupAccept);
  int index = -1;
  EXPECT_TRUE(list.FindNameValue(u"x", u"3", index));
  EXPECT_EQ(index, 3);
  list.Exchange(0, 3);
  EXPECT_EQ(list.GetValue(0), u"3");
  EXPECT_EQ(list.GetValue(3), u"0");

  TUtilsNameValueList strict;
  strict.SetSorted(true);
  strict.SetDuplicates(dupError);
  strict.Add(u"keep", u"k");
  EXPECT_THROW(strict.AddNameValueList(&list), EStringListError);  // x twice
  EXPECT_EQ(strict.GetCount(), 1);
  EXPECT_EQ(strict.Values()->GetCount(), 1);
  EXPECT_THROW(strict.Assign(&list), EStringListError);
  EXPECT_EQ(strict.GetName(0), u"keep");
  TUtilsNameValueList copy;
  copy.Assign(&list);
  ASSERT_EQ(copy.GetCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(copy.GetName(i), list.GetName(i));
    EXPECT_EQ(copy.GetValue(i), list.GetValue(i));
  }
}

TEST(WideStrBuilder, GrowthAndContent) {
  TUtilsCustomWideStr builder;
  EXPECT_EQ(builder.Capacity(), 64);
  std::vector<int> capacities{64};
  for (int i = 0; i < 100; ++i) {
    builder.AddWideChar(u'a' + i % 26);
    if (capacities.back() != builder.Capacity()) capacities.push_back(builder.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{64, 80, 100}));
  EXPECT_EQ(builder.Length(), 100);
  builder.Clear();
  builder.AddUCS4Char(0x1F600);
  builder.AddUCS4Char(0x41);
  EXPECT_EQ(builder.GetValue(), (std::u16string{char16_t(0xD83D), char16_t(0xDE00), u'A'}));
  EXPECT_EQ(MessageOf<EConvertError>([&] { builder.AddUCS4Char(0xD800); }),
            "55296 is not a valid ISO-10646-UCS4 code point");
  EXPECT_THROW(builder.AddUCS4Char(0x110000), EConvertError);
  EXPECT_EQ(builder.Length(), 3);
  builder.AddWideString(std::u16string(200, u'z'));
  EXPECT_EQ(builder.Length(), 203);
  EXPECT_GE(builder.Capacity(), 203);
  EXPECT_TRUE(builder.StartsWith(u"\U0001F600A"));
  EXPECT_TRUE(builder.EndsWith(u"zz"));
  EXPECT_FALSE(builder.EndsWith(u""));
  EXPECT_FALSE(builder.StartsWith(std::u16string(300, u'z')));
  builder.SetWideChar(3, u'B');
  EXPECT_EQ(builder.GetWideChar(3), u'B');
  EXPECT_THROW(builder.GetWideChar(0), EListError);
  EXPECT_THROW(builder.GetWideChar(204), EListError);
  TUtilsCustomWideStr empty;
  EXPECT_TRUE(empty.IsEqual(u""));
  EXPECT_FALSE(empty.IsEqual(u"a"));
}

TEST(WideStrStream, BytesSizesAndSeeks) {
  auto* stream = New<TUtilsWideStringStream>(u"ab");
  EXPECT_EQ(stream->Size(), 4);
  EXPECT_EQ(stream->Memory()[0], 'a');
  EXPECT_EQ(stream->Memory()[1], 0);
  EXPECT_EQ(MessageOf<EStreamError>([&] { stream->SetSize(3); }), "Odd size not valid for WideString");
  EXPECT_EQ(MessageOf<EStreamError>([&] { stream->SetSize(-2); }), "Negative stream size invalid");
  EXPECT_EQ(stream->Seek(0, soEnd), 4);
  EXPECT_EQ(stream->Seek(2, soEnd), 2);  // counts back from the end
  EXPECT_EQ(stream->Seek(-2, soEnd), 4);
  EXPECT_EQ(stream->Seek(10, soBeginning), 4);
  EXPECT_EQ(stream->Seek(-10, soCurrent), 0);
  char buffer[8] = {};
  EXPECT_EQ(stream->Read(buffer, 8), 4);
  EXPECT_EQ(stream->Read(buffer, 8), 0);
  EXPECT_EQ(stream->Write("xyz", 3), 3);  // grows to an even size
  EXPECT_EQ(stream->Size(), 8);
  EXPECT_EQ(stream->Position(), 7);
  EXPECT_EQ(stream->DataString(), (std::u16string{u'a', u'b', u'x' | (u'y' << 8), u'z'}));
  EXPECT_EQ(MessageOf<EStreamError>([&] { stream->SetCapacity(6); }), "Capacity cannot be less than size");
  stream->SetSize(2);
  EXPECT_EQ(stream->Position(), 2);
  EXPECT_EQ(stream->DataString(), u"a");
  stream->Free();
}

}  // namespace
