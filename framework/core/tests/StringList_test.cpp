#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/MemoryStream.h"
#include "core/StringStream.h"
#include "core/Strings.h"

namespace {

std::vector<std::string> Contents(TStrings& list) {
  std::vector<std::string> result;
  for (int i = 0; i < list.Count(); ++i) result.push_back(list.Strings(i));
  return result;
}

template <class E, class F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(StringList, ErrorsCarryTheirTexts) {
  TStringList list;
  list.Add("x");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Strings(1); }), "List index out of bounds (1)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Delete(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Insert(2, "y"); }), "List index out of bounds (2)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.SetCapacity(0); }), "List capacity out of bounds (0)");
  list.SetSorted(true);
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Insert(0, "y"); }), "Operation not allowed on sorted string list");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.SetStrings(0, "y"); }),
            "Operation not allowed on sorted string list");
  list.SetDuplicates(dupError);
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Add("X"); }), "String list does not allow duplicates");
  EXPECT_EQ(Contents(list), std::vector<std::string>{"x"});
}

TEST(StringList, SortedIgnoreReturnsTheExistingItem) {
  TStringList list;
  list.SetSorted(true);
  list.Add("ABC");
  list.Add("abd");
  EXPECT_EQ(list.Add("abc"), 0);
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"ABC", "abd"}));
}

TEST(StringList, CaseSensitivitySwitchResorts) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  for (const char* s : {"b", "B", "a", "A"}) list.Add(s);
  list.SetCaseSensitive(true);
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"A", "B", "a", "b"}));
  EXPECT_EQ(list.IndexOf("a"), 2);
  EXPECT_EQ(list.IndexOf("c"), -1);
}

TEST(StringList, CustomSortSurvivesAnInconsistentCompare) {
  TStringList list;
  for (int i = 0; i < 200; ++i) list.Add(std::to_string(i));
  static std::mt19937 rng(7);
  list.CustomSort([](TStringList*, int, int) { return static_cast<int>(rng() % 3) - 1; });
  ASSERT_EQ(list.Count(), 200);
  std::vector<std::string> items = Contents(list);
  std::sort(items.begin(), items.end());
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) expected.push_back(std::to_string(i));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(items, expected);
}

TEST(StringList, CustomSortOrdersByTheGivenCompare) {
  TStringList list;
  for (const char* s : {"10", "9", "100", "1"}) list.Add(s);
  list.CustomSort([](TStringList* l, int a, int b) {
    return static_cast<int>(l->Strings(a).size()) - static_cast<int>(l->Strings(b).size());
  });
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"9", "1", "10", "100"}));
}

struct TextCase {
  const char* text;
  std::vector<std::string> lines;
};

TEST(StringList, TextSplitsAtEveryLineBreak) {
  const TextCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"\r\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetText(c.text);
    EXPECT_EQ(Contents(list), c.lines) << "text: " << c.text;
  }
  TStringList list;
  list.SetText(std::string_view("a\0b\nc", 5));
  EXPECT_EQ(Contents(list), (std::vector<std::string>{std::string("a\0b", 3), "c"}));
  EXPECT_EQ(list.Text(), std::string("a\0b\r\nc\r\n", 8));
}

struct CommaCase {
  std::vector<std::string> items;
  const char* text;
};

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  const CommaCase cases[] = {
      {{}, ""},
      {{""}, "\"\""},
      {{"", ""}, ","},
      {{"a", ""}, "a,"},
      {{"", "a"}, ",a"},
      {{"a", "b c"}, "a,\"b c\""},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{" lead", "trail "}, "\" lead\",\"trail \""},
      {{"\"", "x"}, "\"\"\"\",x"},
      {{std::string("a\0b", 3)}, "\"a\0b\""},
      {{"tab\there"}, "\"tab\there\""},
  };
  for (const auto& c : cases) {
    TStringList list;
    for (const auto& s : c.items) list.Add(s);
    std::string expected = c.items.size() == 1 && c.items[0].size() == 3 && c.items[0][1] == '\0'
                               ? std::string("\"a\0b\"", 5)
                               : std::string(c.text);
    EXPECT_EQ(list.CommaText(), expected);
    TStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_EQ(Contents(back), c.items) << "text: " << expected;
  }
}

TEST(StringList, CommaTextParsesLooseInput) {
  const CommaCase cases[] = {
      {{"a", "b", "c"}, "a b,c"},
      {{"a", "b"}, "  a  ,  b  "},
      {{"a", "", "b"}, "a,,b"},
      {{"a", "", "b"}, "a, ,b"},
      {{"a", ""}, "a, "},
      {{"unterminated, text"}, "\"unterminated, text"},
      {{"ab", "cd"}, "\"ab\"cd"},
      {{}, "   "},
      {{"", ""}, " , "},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetCommaText(c.text);
    EXPECT_EQ(Contents(list), c.items) << "text: [" << c.text << "]";
  }
  // A NUL outside quotes separates like a blank instead of stalling the parser.
  TStringList list;
  list.SetCommaText(std::string_view("a\0b", 3));
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"a", "b"}));
}

TEST(StringList, CommaTextRoundTripsRandomItems) {
  std::mt19937 rng(11);
  const char alphabet[] = {'a', 'B', ' ', ',', '"', '\t', '=', ';', '\xE9', '\0'};
  for (int round = 0; round < 300; ++round) {
    TStringList list;
    int count = static_cast<int>(rng() % 5);
    for (int i = 0; i < count; ++i) {
      std::string s;
      int length = static_cast<int>(rng() % 5);
      for (int j = 0; j < length; ++j) s += alphabet[rng() % sizeof alphabet];
      list.Add(s);
    }
    TStringList back;
    back.SetCommaText(list.CommaText());
    ASSERT_EQ(Contents(back), Contents(list)) << "text: [" << list.CommaText() << "]";
  }
}

TEST(StringList, CommaTextParsesAnyBytesStably) {
  // Whatever the input, what was parsed writes out as text that parses back the same.
  std::mt19937 rng(5);
  const char alphabet[] = {'a', ' ', ',', '"', '\r', '\0', '\xFF'};
  for (int round = 0; round < 500; ++round) {
    std::string text;
    int length = static_cast<int>(rng() % 12);
    for (int i = 0; i < length; ++i) text += alphabet[rng() % sizeof alphabet];
    TStringList first;
    first.SetCommaText(text);
    TStringList second;
    second.SetCommaText(first.CommaText());
    ASSERT_EQ(Contents(second), Contents(first)) << "input: [" << text << "]";
  }
}

TEST(StringList, DelimitedTextHonoursItsSettings) {
  TStringList list;
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetDelimitedText("a b;'c;d';'it''s'");
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"a", "b", "c;d", "it's"}));
  EXPECT_EQ(list.DelimitedText(), "a;b;'c;d';'it''s'");
  EXPECT_EQ(list.CommaText(), "a,b,c;d,it's");
  list.SetStrictDelimiter(true);
  list.SetDelimitedText(" a b ; c");
  EXPECT_EQ(Contents(list), (std::vector<std::string>{" a b ", " c"}));
  EXPECT_EQ(list.DelimitedText(), " a b ; c");
}

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("Key=Value\nplain\nEmpty=\nx=a=b\n");
  EXPECT_EQ(list.Names(0), "Key");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Values("key"), "Value");
  EXPECT_EQ(list.Values("x"), "a=b");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Values("plain"), "");
  EXPECT_EQ(list.ValueFromIndex(1), "");
  EXPECT_EQ(list.ValueFromIndex(2), "");
  EXPECT_EQ(list.IndexOfName("EMPTY"), 2);
  list.SetValues("new", "1");
  EXPECT_EQ(list.Strings(4), "new=1");
  list.SetValues("KEY", "2");
  EXPECT_EQ(list.Strings(0), "KEY=2");
  list.SetValues("x", "");
  EXPECT_EQ(list.IndexOfName("x"), -1);
  list.SetValueFromIndex(0, "3");
  EXPECT_EQ(list.Strings(0), "KEY=3");
}

struct Listener : TObject {
  std::vector<std::string> log;
  TStringList* list = nullptr;
  void Changing(TObject*) { log.push_back("changing:" + std::to_string(list->Count())); }
  void Changed(TObject*) { log.push_back("changed:" + std::to_string(list->Count())); }
};

TEST(StringList, UpdatesFoldEventsIntoOnePair) {
  TStringList list;
  Listener listener;
  listener.list = &list;
  list.OnChanging = MakeEvent<&Listener::Changing>(&listener);
  list.OnChange = MakeEvent<&Listener::Changed>(&listener);
  list.Add("a");
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.EndUpdate();
  list.Add("c");
  list.EndUpdate();
  list.EndUpdate();  // unbalanced: ignored
  list.SetText("x\ny");
  EXPECT_EQ(listener.log, (std::vector<std::string>{"changing:0", "changed:1", "changing:1", "changed:3",
                                                     "changing:3", "changed:2"}));
}

TEST(StringList, AssignCopiesStringsAndObjects) {
  TStringList source;
  TObject marker;
  source.AddObject("one", &marker);
  source.Add("two");
  TStringList dest;
  dest.SetSorted(true);
  dest.Add("zzz");
  dest.Assign(&source);
  EXPECT_EQ(Contents(dest), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(dest.Objects(dest.IndexOf("one")), &marker);
  EXPECT_TRUE(dest.Sorted());
  dest.Assign(&dest);
  EXPECT_EQ(dest.Count(), 2);
  source.AddStrings(&source);
  EXPECT_EQ(Contents(source), (std::vector<std::string>{"one", "two", "one", "two"}));
  EXPECT_EQ(source.Objects(2), &marker);
  EXPECT_THROW(dest.Assign(nullptr), EConvertError);
}

TEST(StringList, MoveAndExchangeCarryObjects) {
  TStringList list;
  TObject a, b;
  list.AddObject("a", &a);
  list.AddObject("b", &b);
  list.Add("c");
  list.Move(0, 2);
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(list.Objects(2), &a);
  list.Exchange(0, 2);
  EXPECT_EQ(list.Objects(0), &a);
  EXPECT_EQ(list.Objects(2), &b);
  EXPECT_THROW(list.Move(0, 3), EStringListError);
  EXPECT_EQ(list.IndexOfObject(&b), 2);
}

TEST(StringList, StreamsCarryEightBitText) {
  TStringList list;
  list.Add("caf\xE9");
  list.Add("");
  list.Add("end");
  TMemoryStream stream;
  list.SaveToStream(&stream);
  EXPECT_EQ(stream.Size(), 13);
  // Loading reads from the position on.
  TStringStream text("skip me\r\ncaf\xE9\r\n\r\nend");
  text.SetPosition(9);
  TStringList back;
  back.LoadFromStream(&text);
  EXPECT_EQ(Contents(back), Contents(list));
  stream.SetPosition(0);
  TStringList again;
  again.LoadFromStream(&stream);
  EXPECT_TRUE(again.Equals(&list));
  TStringStream empty("");
  again.LoadFromStream(&empty);
  EXPECT_EQ(again.Count(), 0);
}

}  // namespace

namespace {

// The least a TStrings descendant must write (as a list box's items would),
// so that the base's defaults are what runs.
class MinimalStrings : public TStrings {
public:
  void Insert(int index, const std::string& s) override {
    if (index < 0 || index > GetCount()) throw EStringListError("bad index");
    texts.insert(texts.begin() + index, s);
    objects.insert(objects.begin() + index, nullptr);
  }
  void Delete(int index) override {
    Check(index);
    texts.erase(texts.begin() + index);
    objects.erase(objects.begin() + index);
  }
  void Clear() override {
    texts.clear();
    objects.clear();
  }
  int updates = 0;

protected:
  std::string Get(int index) const override {
    Check(index);
    return texts[index];
  }
  int GetCount() const override { return static_cast<int>(texts.size()); }
  TObject* GetObject(int index) const override {
    Check(index);
    return objects[index];
  }
  void PutObject(int index, TObject* object) override {
    Check(index);
    objects[index] = object;
  }
  void SetUpdateState(bool updating) override { updates += updating ? 1 : 0; }

private:
  void Check(int index) const {
    if (index < 0 || index >= GetCount()) throw EStringListError("bad index");
  }
  std::vector<std::string> texts;
  std::vector<TObject*> objects;
};

TEST(Strings, BaseDefaultsWorkThroughTheFewOverrides) {
  MinimalStrings strings;
  TObject a, b;
  strings.AddObject("a=1", &a);
  strings.AddObject("b=2", &b);
  strings.Add("c");
  strings.SetStrings(0, "A=1");
  EXPECT_EQ(strings.Objects(0), &a);  // replacing the text keeps the object
  strings.Move(0, 2);
  EXPECT_EQ(Contents(strings), (std::vector<std::string>{"b=2", "c", "A=1"}));
  EXPECT_EQ(strings.Objects(2), &a);
  strings.Exchange(0, 1);
  EXPECT_EQ(Contents(strings), (std::vector<std::string>{"c", "b=2", "A=1"}));
  EXPECT_EQ(strings.Objects(1), &b);
  EXPECT_EQ(strings.IndexOf("B=2"), 1);  // the base compares without case
  EXPECT_EQ(strings.Values("a"), "1");
  strings.SetValues("b", "3");
  EXPECT_EQ(strings.Strings(1), "b=3");
  TStringList source;
  source.SetCommaText("x,y");
  strings.Assign(&source);
  EXPECT_EQ(Contents(strings), (std::vector<std::string>{"x", "y"}));
  TStringList back;
  back.Assign(&strings);
  EXPECT_EQ(back.CommaText(), "x,y");
  EXPECT_GT(strings.updates, 0);
}

}  // namespace
