// TStringList against a plain reference model: random operations on sorted
// and unsorted lists under every duplicates policy and both case modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/Strings.h"

namespace {

// The model's own case folding, written from the code page table rather than
// shared with the code under test.
unsigned char ModelFold(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  return c;
}

int ModelCompare(const std::string& a, const std::string& b, bool caseSensitive) {
  std::string fa = a, fb = b;
  if (!caseSensitive) {
    for (char& c : fa) c = static_cast<char>(ModelFold(static_cast<unsigned char>(c)));
    for (char& c : fb) c = static_cast<char>(ModelFold(static_cast<unsigned char>(c)));
  }
  // Unsigned byte order, a prefix first: what std::string's compare gives for char_traits<char>
  // only when char is unsigned, so compare explicitly.
  return std::lexicographical_compare(fa.begin(), fa.end(), fb.begin(), fb.end(),
                                      [](char x, char y) {
                                        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                                      })
             ? -1
             : (fa == fb ? 0 : 1);
}

struct Counter : TObject {
  int changing = 0;
  int changed = 0;
  void OnChanging(TObject*) { ++changing; }
  void OnChanged(TObject*) { ++changed; }
};

class Model {
public:
  Model(bool sorted_, TDuplicates duplicates_, bool caseSensitive_)
      : sorted(sorted_), duplicates(duplicates_), caseSensitive(caseSensitive_) {}

  int Compare(const std::string& a, const std::string& b) const { return ModelCompare(a, b, caseSensitive); }

  size_t LowerBound(const std::string& s) const {
    size_t i = 0;
    while (i < items.size() && Compare(items[i], s) < 0) ++i;
    return i;
  }

  bool HasEqual(const std::string& s) const {
    return std::any_of(items.begin(), items.end(), [&](const std::string& x) { return Compare(x, s) == 0; });
  }

  void Sort() {
    std::stable_sort(items.begin(), items.end(),
                     [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
  }

  std::vector<std::string> items;
  bool sorted;
  TDuplicates duplicates;
  bool caseSensitive;
};

std::vector<std::string> Contents(TStringList& list) {
  std::vector<std::string> result;
  for (int i = 0; i < list.Count(); ++i) result.push_back(list.Strings(i));
  return result;
}

const char* const kPool[] = {"", "a", "A", "b", "B", "ab", "aB", "\xE4", "\xC4", "\xD7", "\xF7", "z", "_", "a b"};

void RunModel(bool sorted, TDuplicates duplicates, bool caseSensitive, unsigned seed) {
  SCOPED_TRACE(::testing::Message() << "sorted=" << sorted << " dup=" << duplicates << " case=" << caseSensitive
                                    << " seed=" << seed);
  std::mt19937 rng(seed);
  auto pick = [&]() { return std::string(kPool[rng() % std::size(kPool)]); };
  TStringList list;
  Counter counter;
  list.OnChanging = MakeEvent<&Counter::OnChanging>(&counter);
  list.OnChange = MakeEvent<&Counter::OnChanged>(&counter);
  list.SetCaseSensitive(caseSensitive);
  list.SetDuplicates(duplicates);
  list.SetSorted(sorted);
  Model model(sorted, duplicates, caseSensitive);

  for (int step = 0; step < 400; ++step) {
    int changingBefore = counter.changing;
    int changedBefore = counter.changed;
    bool expectChange = false;
    int op = static_cast<int>(rng() % 10);
    if (op <= 3) {  // Add
      std::string s = pick();
      int expectedIndex;
      bool expectThrow = false;
      if (!model.sorted) {
        expectedIndex = static_cast<int>(model.items.size());
        model.items.push_back(s);
        expectChange = true;
      } else {
        size_t at = model.LowerBound(s);
        bool found = at < model.items.size() && model.Compare(model.items[at], s) == 0;
        expectedIndex = static_cast<int>(at);
        if (found && model.duplicates == dupError) {
          expectThrow = true;
        } else if (!(found && model.duplicates == dupIgnore)) {
          model.items.insert(model.items.begin() + static_cast<long>(at), s);
          expectChange = true;
        }
      }
      if (expectThrow) {
        EXPECT_THROW(list.Add(s), EStringListError);
      } else {
        int index = list.Add(s);
        if (model.sorted && !expectChange) {
          // dupIgnore: any equal item is a right answer when Sorted was turned on over duplicates.
          ASSERT_GE(index, 0);
          EXPECT_EQ(model.Compare(list.Strings(index), s), 0);
        } else {
          EXPECT_EQ(index, expectedIndex);
        }
      }
    } else if (op == 4) {  // Insert
      int index = static_cast<int>(rng() % (model.items.size() + 3)) - 1;
      std::string s = pick();
      if (model.sorted) {
        EXPECT_THROW(list.Insert(index, s), EStringListError);
      } else if (index < 0 || index > static_cast<int>(model.items.size())) {
        EXPECT_THROW(list.Insert(index, s), EStringListError);
      } else {
        list.Insert(index, s);
        model.items.insert(model.items.begin() + index, s);
        expectChange = true;
      }
    } else if (op == 5) {  // Delete
      int index = static_cast<int>(rng() % (model.items.size() + 2)) - 1;
      if (index < 0 || index >= static_cast<int>(model.items.size())) {
        EXPECT_THROW(list.Delete(index), EStringListError);
      } else {
        list.Delete(index);
        model.items.erase(model.items.begin() + index);
        expectChange = true;
      }
    } else if (op == 6) {  // IndexOf / Find
      std::string s = pick();
      int index = list.IndexOf(s);
      if (!model.HasEqual(s)) {
        EXPECT_EQ(index, -1);
      } else if (!model.sorted) {
        size_t first = 0;
        while (model.Compare(model.items[first], s) != 0) ++first;
        EXPECT_EQ(index, static_cast<int>(first));
      } else {
        ASSERT_GE(index, 0);
        EXPECT_EQ(model.Compare(list.Strings(index), s), 0);
        if (model.duplicates == dupAccept) {
          EXPECT_EQ(index, static_cast<int>(model.LowerBound(s)));
        }
      }
      if (model.sorted) {
        int at = -1;
        bool found = list.Find(s, at);
        EXPECT_EQ(found, model.HasEqual(s));
        if (!found) {
          EXPECT_EQ(at, static_cast<int>(model.LowerBound(s)));
        }
      }
    } else if (op == 7) {  // Exchange
      int a = static_cast<int>(rng() % (model.items.size() + 1));
      int b = static_cast<int>(rng() % (model.items.size() + 1));
      bool bad = a >= static_cast<int>(model.items.size()) || b >= static_cast<int>(model.items.size());
      if (model.sorted || bad) {
        EXPECT_THROW(list.Exchange(a, b), EStringListError);
      } else {
        list.Exchange(a, b);
        std::swap(model.items[a], model.items[b]);
        expectChange = true;
      }
    } else if (op == 8) {  // toggle Sorted now and then
      if (rng() % 4 != 0) continue;
      bool value = !model.sorted;
      list.SetSorted(value);
      if (value) {
        if (model.items.size() > 1) expectChange = true;
        model.Sort();
      }
      model.sorted = value;
    } else {  // Clear, rarely
      if (rng() % 8 != 0) continue;
      list.Clear();
      expectChange = !model.items.empty();
      model.items.clear();
    }
    ASSERT_EQ(Contents(list), model.items) << "after step " << step << " op " << op;
    EXPECT_EQ(counter.changing - changingBefore, expectChange ? 1 : 0) << "step " << step << " op " << op;
    EXPECT_EQ(counter.changed - changedBefore, expectChange ? 1 : 0) << "step " << step << " op " << op;
    if (model.sorted) {
      for (size_t i = 1; i < model.items.size(); ++i)
        ASSERT_LE(model.Compare(model.items[i - 1], model.items[i]), 0);
    }
  }
}

TEST(StringListModel, RandomOperationsMatchTheModel) {
  for (bool sorted : {false, true})
    for (TDuplicates duplicates : {dupIgnore, dupAccept, dupError})
      for (bool caseSensitive : {false, true})
        for (unsigned seed = 1; seed <= 6; ++seed) RunModel(sorted, duplicates, caseSensitive, seed);
}

}  // namespace
