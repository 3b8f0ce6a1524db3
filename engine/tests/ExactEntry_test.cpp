// The entry a ticked name names in its folder's listing: only the exact name,
// never a sibling differing from it in case alone, on any folder.
#include <gtest/gtest.h>

#include "ExactEntry.h"

namespace qv::engine::test {
namespace {

struct LookupCase {
  const char* what;
  std::vector<std::u16string> listed;
  std::u16string ticked;
  int found;     // index of the entry taken, -1 for none
  int variant;   // index of the one variant reported, -1 for none
  bool ambiguous;
};

TEST(ExactEntryTest, OnlyTheExactNameIsTaken) {
  const LookupCase cases[] = {
      {"exact", {u"a.txt", u"File.txt"}, u"File.txt", 1, -1, false},
      {"exact beside its variants", {u"file.txt", u"File.txt", u"FILE.TXT"}, u"File.txt", 1, -1, false},
      {"gone, its variant stays", {u"a.txt", u"file.txt"}, u"File.txt", -1, 1, false},
      {"gone, two variants stay", {u"file.txt", u"FILE.TXT"}, u"File.txt", -1, -1, true},
      {"gone, nothing like it", {u"a.txt"}, u"File.txt", -1, -1, false},
      {"a trailing dot is another name", {u"Data"}, u"Data.", -1, -1, false},
      {"empty folder", {}, u"x", -1, -1, false},
  };
  for (const LookupCase& c : cases) {
    std::vector<Listed> entries;
    for (const std::u16string& name : c.listed) entries.push_back({name, FILE_ATTRIBUTE_NORMAL, 0, entries.size() + 1});
    bool ambiguous = false;
    const Listed* variant = nullptr;
    const Listed* found = FindExact(entries, c.ticked, ambiguous, variant);
    EXPECT_EQ(c.found < 0 ? nullptr : &entries[c.found], found) << c.what;
    EXPECT_EQ(c.variant < 0 ? nullptr : &entries[c.variant], variant) << c.what;
    EXPECT_EQ(c.ambiguous, ambiguous) << c.what;
  }
}

}  // namespace
}  // namespace qv::engine::test
