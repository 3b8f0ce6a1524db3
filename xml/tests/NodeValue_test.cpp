// Node values kept in a document's text arena or in blocks of their own:
// random assignments and appends (also of a value's own text) on values that
// share one arena, some of them first values that share their blocks with
// equal ones, checked against plain strings; short values of every
// length; edits after the first value never grow the arena; and the DOM's
// character-data edits on parsed text.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DomTestSupport.h"
#include "xml/NodeValue.h"

namespace {

std::u16string RandomText(std::mt19937& random) {
  size_t length = random() % 4 == 0 ? random() % 3000 : random() % 12;
  std::u16string text(length, u'a');
  for (char16_t& c : text) c = char16_t(u'a' + random() % 26);
  return text;
}

TEST(NodeValueTest, RandomEditsMatchPlainStrings) {
  std::mt19937 random(7);
  TdomTextArena arena;
  constexpr int kValues = 24;
  std::vector<TdomNodeValue> values(kValues);
  std::vector<std::u16string> expected(kValues);
  for (int step = 0; step < 20000; ++step) {
    int i = static_cast<int>(random() % kValues);
    TdomTextArena* where = random() % 5 == 0 ? nullptr : &arena;
    switch (random() % 6) {
      case 0:
      case 1: {
        std::u16string text = RandomText(random);
        values[i].Assign(text, where);
        expected[i] = text;
        break;
      }
      case 2: {
        std::u16string text = RandomText(random);
        values[i].Append(text, where);
        expected[i] += text;
        break;
      }
      case 3: {  // the value's own text, whole or in part
        size_t from = expected[i].empty() ? 0 : random() % expected[i].size();
        std::u16string_view own = values[i].View().substr(from);
        expected[i] += expected[i].substr(from);
        values[i].Append(own, where);
        break;
      }
      case 4: {
        size_t from = expected[i].empty() ? 0 : random() % expected[i].size();
        std::u16string_view own = values[i].View().substr(from);
        expected[i] = expected[i].substr(from);
        values[i].Assign(own, where);
        break;
      }
      case 5: {  // a new value, likely equal to others, whose block it may share
        static const std::u16string kCommon[] = {u"\n  ", u"1", u"two", u"x", std::u16string(64, u'l'),
                                                 std::u16string(65, u'l')};
        std::u16string text = kCommon[random() % 6];
        std::destroy_at(&values[i]);
        std::construct_at(&values[i]);
        values[i].AssignShared(text, where);
        expected[i] = text;
        break;
      }
    }
    for (int k = 0; k < kValues; ++k) {
      ASSERT_EQ(values[k].View(), expected[k]) << "step " << step << " value " << k;
      ASSERT_EQ(values[k].Length(), expected[k].size());
    }
  }
}

// A first value and an append to it, of each length around the short
// copies' edges, land whole in the arena.
TEST(NodeValueTest, ShortValuesOfEveryLength) {
  TdomTextArena arena;
  std::u16string text = u"0123456789abcdefghijklmnopqrstuvwxyz";
  for (size_t length = 0; length <= 20; ++length) {
    for (size_t more = 0; more <= 10; ++more) {
      TdomNodeValue value;
      value.Assign(std::u16string_view(text).substr(0, length), &arena);
      value.Append(std::u16string_view(text).substr(length, more), &arena);
      ASSERT_EQ(value.View(), text.substr(0, length + more)) << length << "+" << more;
    }
  }
}

TEST(NodeValueTest, EqualFirstValuesShareOneBlock) {
  TdomTextArena arena;
  TdomNodeValue a, b, c, d;
  a.AssignShared(u"flag", &arena);
  b.AssignShared(u"flag", &arena);
  c.Assign(u"flag", &arena);
  d.AssignShared(u"", &arena);
  EXPECT_EQ(a.View().data(), b.View().data());
  EXPECT_NE(a.View().data(), c.View().data());
  EXPECT_TRUE(d.View().empty());
  b.Append(u"s", &arena);  // the shared block is not the arena's last: b moves
  a.Assign(u"gone", &arena);
  EXPECT_EQ(b.View(), u"flags");
  EXPECT_EQ(a.View(), u"gone");
}

TEST(NodeValueTest, LaterEditsLeaveTheArenaAlone) {
  TdomTextArena arena;
  TdomNodeValue value;
  value.Assign(u"first", &arena);
  ASSERT_EQ(arena.ChunkCount(), 1u);
  // The parser's way: a text extended piece by piece while it is the arena's last block.
  for (int i = 0; i < 100; ++i) value.Append(u"x", &arena);
  EXPECT_EQ(value.View().size(), 105u);
  std::u16string big(1000, u'y');
  for (int i = 0; i < 100000; ++i) {
    value.Assign(i % 2 == 0 ? std::u16string_view(big) : std::u16string_view(u"short"), &arena);
    value.Assign(u"", &arena);
  }
  for (int i = 0; i < 100000; ++i) value.Append(u"abc", &arena);
  EXPECT_EQ(value.Length(), 300000u);
  EXPECT_EQ(arena.ChunkCount(), 1u);
}

class NodeValueDomTest : public DomTest {};

TEST_F(NodeValueDomTest, CharacterDataEditsOnParsedAndBuiltText) {
  TdomElement* root = Add(doc, Elem(u"r"));
  TdomText* a = Add(root, Text(u"hello"));
  TdomText* b = Add(root, Text(u"world"));
  a->appendData(u", ");
  EXPECT_EQ(a->GetData(), u"hello, ");
  a->appendData(a->GetData());
  EXPECT_EQ(a->GetData(), u"hello, hello, ");
  b->insertData(0, u"big ");
  b->deleteData(1, 2);
  b->replaceData(0, 1, u"B");
  EXPECT_EQ(b->GetData(), u"B world");
  EXPECT_EQ(b->GetLength(), 7);
  TdomText* tail = b->splitText(2);
  EXPECT_EQ(b->GetData(), u"B ");
  EXPECT_EQ(tail->GetData(), u"world");
  b->SetData(u"");
  EXPECT_EQ(b->GetLength(), 0);
  b->appendData(u"again");
  EXPECT_EQ(root->GetTextContent(), u"hello, hello, againworld");
  TdomAttr* attr = root->setAttribute(u"v", u"1");
  root->setAttribute(u"v", u"two");
  EXPECT_EQ(attr->GetNodeValue(), u"two");
  EXPECT_EQ(root->getAttribute(u"v"), u"two");
}

}  // namespace
