// The keyed name order against the folder's own CompareIDs, over random names
// of folders and files (case, digits, punctuation, spaces). Beyond ASCII the
// collation keys are only a guess; the keys that settle pairs without the
// folder leave such names to it, and are held to its order there too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>

#include "ShellTestHelpers.h"
#include "shell/ShellNameOrder.h"
#include "shell/ShellSortHelper.h"
#include "shell/VirtualWideStrings.h"

namespace {

// count names unique without case, none ending in a dot or a space (the file
// calls would trim them).
std::vector<std::u16string> RandomNames(std::mt19937& rng, size_t count,
                                       const std::u16string& alphabet = u"aAbBzZ0129._- ~',!#()[]+=") {
  std::set<std::u16string> seen;
  std::vector<std::u16string> names;
  while (names.size() < count) {
    std::u16string name;
    size_t length = 1 + rng() % 7;
    for (size_t i = 0; i < length; ++i) name += alphabet[rng() % alphabet.size()];
    if (name.front() == u' ' || name.back() == u'.' || name.back() == u' ') continue;
    std::u16string lower = name;
    CharLowerBuffW(reinterpret_cast<LPWSTR>(lower.data()), static_cast<DWORD>(lower.size()));
    if (!seen.insert(lower).second) continue;
    names.push_back(name);
  }
  return names;
}

// Items of names made in folder, about a quarter of them folders (as rng picks).
std::vector<TNamespace*> MakeItems(std::mt19937& rng, shelltest::TempFolder& folder,
                                   const std::vector<std::u16string>& names) {
  std::vector<TNamespace*> items;
  for (const std::u16string& name : names) {
    std::u16string path = rng() % 4 == 0 ? folder.MakeFolder(name) : folder.MakeFile(name, 1);
    TNamespace* item = TNamespace::CreateFromFileName(path);
    EXPECT_NE(item, nullptr) << vws::ToAnsi(path);
    if (item != nullptr) items.push_back(item);
  }
  return items;
}

std::vector<std::u16string> NamesOf(const std::vector<TNamespace*>& items) {
  std::vector<std::u16string> names;
  for (TNamespace* item : items) names.push_back(item->NameForParsingInFolder());
  return names;
}

}  // namespace

TEST(ShellNameOrder, KeysGiveTheFoldersOwnOrder) {
  TShellSortHelper helper;
  auto folderOrder = [&](TNamespace* a, TNamespace* b) { return helper.CompareIDSort(0, a, b); };
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::mt19937 rng(seed);
    shelltest::TempFolder folder;
    std::vector<TNamespace*> items = MakeItems(rng, folder, RandomNames(rng, 90));
    std::vector<TNamespace*> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [&](TNamespace* a, TNamespace* b) { return folderOrder(a, b) < 0; });
    std::vector<TNamespace*> keyed;
    for (size_t i : shellorder::KeyedOrder(items)) keyed.push_back(items[i]);
    EXPECT_EQ(NamesOf(keyed), NamesOf(expected)) << "seed " << seed;
    EXPECT_TRUE(shellorder::KeysAgreeWithFolder(items[0]->Parent()));

    // The check the tree makes before it trusts an order.
    EXPECT_TRUE(shellorder::NeighboursInOrder(expected, /*descending=*/false, folderOrder));
    EXPECT_FALSE(shellorder::NeighboursInOrder(expected, /*descending=*/true, folderOrder));
    std::vector<TNamespace*> reversed(expected.rbegin(), expected.rend());
    EXPECT_TRUE(shellorder::NeighboursInOrder(reversed, /*descending=*/true, folderOrder));
    std::swap(expected[10], expected[11]);
    EXPECT_FALSE(shellorder::NeighboursInOrder(expected, /*descending=*/false, folderOrder));
    std::vector<TNamespace*> twice{expected[0], expected[0]};
    EXPECT_FALSE(shellorder::NeighboursInOrder(twice, /*descending=*/false, folderOrder));
    for (TNamespace* item : items) item->Free();
  }
}

TEST(ShellNameOrder, NearOrdersAreRepairedWithFewCallsAndOthersLeftAlone) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    size_t n = 2 + rng() % 400;
    bool descending = rng() % 2 == 0;
    std::vector<int> items(n);
    std::iota(items.begin(), items.end(), 0);
    if (descending) std::reverse(items.begin(), items.end());
    // Some items moved elsewhere, or a block moved, or everything shuffled.
    size_t moved = rng() % 3 == 0 ? n : rng() % (n / 10 + 2);
    if (moved == n) {
      std::shuffle(items.begin(), items.end(), rng);
    } else {
      for (size_t m = 0; m < moved; ++m) {
        int item = items[rng() % n];
        items.erase(std::find(items.begin(), items.end(), item));
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(rng() % n), item);
      }
    }
    // One pair the comparison calls equal, now and then.
    int tie = rng() % 5 == 0 ? static_cast<int>(rng() % n) : -1;
    size_t calls = 0;
    auto compare = [&](int a, int b) {
      ++calls;
      if (tie >= 0 && ((a == tie && b == tie + 1) || (a == tie + 1 && b == tie))) return 0;
      return a < b ? -1 : a > b ? 1 : 0;
    };
    std::vector<int> given = items;
    std::vector<int> expected = items;
    std::sort(expected.begin(), expected.end());
    if (descending) std::reverse(expected.begin(), expected.end());
    size_t maxOut = n / 8;
    bool repaired = shellorder::RepairNearOrder(items, descending, maxOut, compare);
    if (!repaired) {
      EXPECT_EQ(items, given) << "round " << round;
    } else {
      EXPECT_EQ(items, expected) << "round " << round;
      // The tied items end up neighbours, whose pair is always asked.
      EXPECT_FALSE(tie >= 0 && tie + 1 < static_cast<int>(n)) << "round " << round;
    }
    // Each moved item takes at most one other out with it.
    if (tie < 0 && 2 * moved <= maxOut) EXPECT_TRUE(repaired) << "round " << round;
    if (repaired) {
      double log = std::log2(static_cast<double>(n)) + 1;
      EXPECT_LE(calls, n + static_cast<size_t>(4 * moved * log) + 4) << "round " << round;
    }
  }
}

TEST(ShellNameOrder, KeysFromTheListedIDsGiveTheFoldersOwnOrderBeyondASCIITooAskingItOnlyWhereTheyCannot) {
  TShellSortHelper helper;
  auto folderOrder = [&](TNamespace* a, TNamespace* b) { return helper.CompareIDSort(0, a, b); };
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::mt19937 rng(seed);
    shelltest::TempFolder folder;
    bool wide = seed > 2;
    std::vector<std::u16string> names = RandomNames(rng, 120, wide ? u"aAbBzZ0189. _~#(+éÉÄäßøЖжḀ-'" : u"aAzZ0189. _~#(+");
    size_t unkeyed = 0;
    for (const std::u16string& name : names) unkeyed += name.find_first_not_of(u"aAzZ0189. _~#(+") != std::u16string::npos;
    std::vector<TNamespace*> items = MakeItems(rng, folder, names);
    // As a listing may give them.
    std::shuffle(items.begin(), items.end(), rng);
    std::vector<TNamespace*> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [&](TNamespace* a, TNamespace* b) { return folderOrder(a, b) < 0; });
    // Sorted as the tree sorts: the keys first, the folder where they cannot tell.
    shellorder::TNameKeys keys(items);
    size_t calls = 0;
    auto byFolder = [&](size_t a, size_t b) {
      ++calls;
      return folderOrder(items[a], items[b]);
    };
    EXPECT_TRUE(keys.DirectoriesFirst(byFolder));
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      int byKeys = keys.Order(a, b);
      return (byKeys != 0 ? byKeys : byFolder(a, b)) < 0;
    });
    std::vector<TNamespace*> ordered;
    for (size_t i : order) ordered.push_back(items[i]);
    EXPECT_EQ(NamesOf(ordered), NamesOf(expected)) << "seed " << seed;
    // The folder is asked of pairs of a name without keys, and of the pair where directories give way to files.
    EXPECT_LE(calls, 1 + unkeyed * 16) << "seed " << seed;
    EXPECT_GT(calls, unkeyed / 2) << "seed " << seed;
    for (TNamespace* item : items) item->Free();
  }
}
