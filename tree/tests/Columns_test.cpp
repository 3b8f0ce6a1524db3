// The column model against its invariants under random operations (add,
// delete, move, hide, resize, stream round trip), and the header stream
// against truncation and corruption: a bad stream raises and changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "core/MemoryStream.h"
#include "tree/VirtualTrees.h"

namespace {

struct ColumnsTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    tree = New<TVirtualDrawTree>(nullptr);
    header = tree->Header();
    columns = header->Columns();
  }
  void TearDown() override { tree->Free(); }

  // The first broken invariant, or "".
  std::string CheckInvariants() const {
    int count = columns->Count();
    const TIndexArray& positions = columns->PositionToIndex();
    if (static_cast<int>(positions.size()) != count) return "position array length";
    std::vector<bool> seen(count, false);
    int left = 0;
    bool fixedEnded = false;
    for (int p = 0; p < count; ++p) {
      TColumnIndex index = positions[p];
      if (index < 0 || index >= count || seen[index]) return "positions not a permutation";
      seen[index] = true;
      TVirtualTreeColumn* c = columns->Items(index);
      if (c->Index() != index) return "index";
      if (c->Position() != p) return "Position of column " + std::to_string(index);
      if (c->StoredLeft() != left) return "left edge of column " + std::to_string(index);
      if (c->IsVisible()) left += c->Width();
      if (c->MinWidth() < 0 || c->MaxWidth() < c->MinWidth()) return "min/max";
      if (c->Width() < c->MinWidth() || c->Width() > c->MaxWidth()) return "width out of limits";
      bool fixed = c->Options().Contains(coFixed);
      if (!fixed) fixedEnded = true;
      if (fixed && fixedEnded) return "fixed column after a non-fixed one";
    }
    if (columns->TotalWidth() != left) return "total width";
    TColumnIndex main = header->MainColumn();
    if (count == 0 ? main != NoColumn : (main < 0 || main >= count)) return "main column";
    return "";
  }

  std::vector<uint8_t> Saved(TVTHeader* h) {
    TMemoryStream* stream = New<TMemoryStream>();
    h->SaveToStream(stream);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream->Size()));
    stream->SetPosition(0);
    stream->ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->Free();
    return bytes;
  }

  // Loads bytes into h; true when it loaded, false when it raised the tree's error.
  bool Load(TVTHeader* h, const std::vector<uint8_t>& bytes) {
    TMemoryStream* stream = New<TMemoryStream>();
    if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->SetPosition(0);
    bool ok = true;
    try {
      h->LoadFromStream(stream);
    } catch (const EVirtualTreeError&) {
      ok = false;
    }
    stream->Free();
    return ok;
  }

  void AddColumns(int n) {
    for (int i = 0; i < n; ++i) {
      TVirtualTreeColumn* c = columns->Add();
      c->SetText(u"Col\u00e9 " + std::u16string(1, char16_t(u'A' + i)));
      c->SetWidth(40 + 10 * i);
    }
  }

  TVirtualDrawTree* tree = nullptr;
  TVTHeader* header = nullptr;
  TVirtualTreeColumns* columns = nullptr;
};

TEST_F(ColumnsTest, DefaultsOfANewColumnAndHeader) {
  EXPECT_EQ(header->MainColumn(), NoColumn);
  EXPECT_EQ(header->SortColumn(), NoColumn);
  EXPECT_EQ(header->Height(), 17u);
  EXPECT_EQ(HeaderOptionsToMask(header->Options()), kInitialHeaderOptions);
  TVirtualTreeColumn* c = columns->Add();
  EXPECT_EQ(c->Width(), 50);
  EXPECT_EQ(c->MinWidth(), 10);
  EXPECT_EQ(c->MaxWidth(), 10000);
  EXPECT_EQ(c->Margin(), 4);
  EXPECT_EQ(c->Spacing(), 4);
  EXPECT_EQ(c->ImageIndex(), -1);
  EXPECT_EQ(ColumnOptionsToMask(c->Options()), 0xFF);
  EXPECT_EQ(c->Position(), 0);
  // The first column becomes the main column.
  EXPECT_EQ(header->MainColumn(), 0);
}

TEST_F(ColumnsTest, SettersClampAndMarginAndDisplayName) {
  TVirtualTreeColumn* c = columns->Add();
  c->SetMargin(-3);
  EXPECT_EQ(c->Margin(), 4);
  c->SetMinWidth(-5);
  EXPECT_EQ(c->MinWidth(), 0);
  c->SetMinWidth(80);
  EXPECT_EQ(c->Width(), 80);
  c->SetMaxWidth(20);
  EXPECT_EQ(c->MaxWidth(), 80);
  // The NT family takes widths past 10000; the 9x family stops there.
  c->SetMaxWidth(20000);
  EXPECT_EQ(c->MaxWidth(), 20000);
  c->SetWidth(15000);
  EXPECT_EQ(c->Width(), 15000);
  EXPECT_EQ(ColumnWidthCap(/*ntFamily=*/false), 10000);
  EXPECT_GT(ColumnWidthCap(/*ntFamily=*/true), 20000);
  c->SetText(u"Gr\u00fc\u00dfe");
  EXPECT_EQ(c->GetDisplayName(), u"Gr\u00fc\u00dfe");
  c->SetText(u"\u0416");
  EXPECT_EQ(c->GetDisplayName(), u"Column 0");
}

TEST_F(ColumnsTest, PositionIsClampedAndFixedFollowsTheNeighbour) {
  AddColumns(4);
  columns->Items(3)->SetPosition(-7);
  EXPECT_EQ(columns->Items(3)->Position(), 0);
  columns->Items(0)->SetPosition(99);
  EXPECT_EQ(columns->Items(0)->Position(), 3);
  EXPECT_EQ(CheckInvariants(), "");
  // Columns at positions 0 and 1 fixed; a non-fixed one moved between them becomes fixed.
  TColumnIndex p0 = columns->ColumnFromPositionIndex(0), p1 = columns->ColumnFromPositionIndex(1);
  columns->Items(p0)->SetOptions(columns->Items(p0)->Options().Include(coFixed));
  columns->Items(p1)->SetOptions(columns->Items(p1)->Options().Include(coFixed));
  TColumnIndex mover = columns->ColumnFromPositionIndex(3);
  columns->Items(mover)->SetPosition(1);
  EXPECT_TRUE(columns->Items(mover)->Options().Contains(coFixed));
  // A fixed column moved behind the non-fixed ones is no longer fixed.
  columns->Items(p0)->SetPosition(3);
  EXPECT_FALSE(columns->Items(p0)->Options().Contains(coFixed));
  EXPECT_EQ(CheckInvariants(), "");
}

TEST_F(ColumnsTest, MainColumnIsMinusOneWithoutColumns) {
  header->SetMainColumn(3);
  EXPECT_EQ(header->MainColumn(), NoColumn);
  AddColumns(3);
  header->SetMainColumn(7);
  EXPECT_EQ(header->MainColumn(), 2);
  columns->Delete(2);
  EXPECT_EQ(header->MainColumn(), 1);
  columns->Clear();
  EXPECT_EQ(header->MainColumn(), NoColumn);
  header->SetSortColumn(-5);
  EXPECT_EQ(header->SortColumn(), NoColumn);
}

TEST_F(ColumnsTest, ShrinkingKeepsAPermutation) {
  AddColumns(6);
  columns->Items(5)->SetPosition(0);
  columns->Items(2)->SetPosition(5);
  for (TColumnIndex doomed : {4, 0, 3}) {
    columns->Delete(doomed);
    ASSERT_EQ(CheckInvariants(), "") << "after deleting " << doomed;
  }
  EXPECT_EQ(columns->Count(), 3);
}

TEST_F(ColumnsTest, VisibleNavigationAndHitTest) {
  AddColumns(4);  // widths 40, 50, 60, 70
  columns->Items(1)->SetOptions(columns->Items(1)->Options().Exclude(coVisible));
  EXPECT_EQ(columns->GetFirstVisibleColumn(), 0);
  EXPECT_EQ(columns->GetNextVisibleColumn(0), 2);
  EXPECT_EQ(columns->GetPreviousVisibleColumn(2), 0);
  EXPECT_EQ(columns->GetLastVisibleColumn(), 3);
  EXPECT_EQ(columns->GetNextVisibleColumn(3), InvalidColumn);
  EXPECT_EQ(columns->GetVisibleColumns().size(), 3u);
  EXPECT_EQ(columns->TotalWidth(), 170);
  EXPECT_EQ(columns->ColumnFromPosition(TPoint{39, 5}), 0);
  EXPECT_EQ(columns->ColumnFromPosition(TPoint{40, 5}), 2);  // the hidden column takes no room
  EXPECT_EQ(columns->ColumnFromPosition(TPoint{169, 5}), 3);
  EXPECT_EQ(columns->ColumnFromPosition(TPoint{170, 5}), InvalidColumn);
  EXPECT_EQ(columns->ColumnFromPosition(TPoint{-1, 5}), InvalidColumn);
  EXPECT_EQ(columns->ColumnFromPositionIndex(4), NoColumn);
}

TEST_F(ColumnsTest, RandomOperationsKeepTheInvariants) {
  const int steps = std::getenv("QV_LONG") ? 20000 : 1500;
  std::mt19937 random(20261207);
  TVirtualDrawTree* other = New<TVirtualDrawTree>(nullptr);
  for (int step = 0; step < steps; ++step) {
    int count = columns->Count();
    int op = static_cast<int>(random() % 9);
    TColumnIndex some = count > 0 ? static_cast<TColumnIndex>(random() % count) : NoColumn;
    TVirtualTreeColumn* c = columns->Items(some);
    switch (op) {
      case 0:
      case 1:
        if (count < 12) columns->Add()->SetWidth(static_cast<int>(random() % 200));
        break;
      case 2:
        columns->Delete(some);
        break;
      case 3:
        if (c) c->SetPosition(static_cast<int>(random() % 16) - 2);
        break;
      case 4:
        if (c) c->SetOptions(c->Options().Set(coVisible, random() % 2 == 0));
        break;
      case 5:
        if (c) c->SetWidth(static_cast<int>(random() % 400) - 50);
        break;
      case 6:
        if (c) {
          c->SetMinWidth(static_cast<int>(random() % 120) - 10);
          c->SetMaxWidth(static_cast<int>(random() % 300));
        }
        break;
      case 7:
        // Fixing the column at position 0 keeps fixed columns a prefix.
        if (count > 0) {
          TVirtualTreeColumn* first = columns->Items(columns->ColumnFromPositionIndex(0));
          first->SetOptions(first->Options().Include(coFixed));
        }
        break;
      case 8: {
        ASSERT_TRUE(Load(other->Header(), Saved(header)));
        TVirtualTreeColumns* copy = other->Header()->Columns();
        ASSERT_EQ(copy->Count(), count);
        for (int i = 0; i < count; ++i) ASSERT_TRUE(copy->Items(i)->Equals(columns->Items(i))) << "column " << i;
        ASSERT_EQ(copy->PositionToIndex(), columns->PositionToIndex());
        ASSERT_EQ(Saved(other->Header()), Saved(header));
        break;
      }
    }
    ASSERT_EQ(CheckInvariants(), "") << "step " << step << " op " << op;
  }
  other->Free();
}

TEST_F(ColumnsTest, HeaderStreamRoundTripKeepsEveryField) {
  AddColumns(3);
  TVirtualTreeColumn* c = columns->Items(1);
  c->SetHint(u"hint \u2603");
  c->SetAlignment(taCenter);
  c->SetLayout(blGlyphTop);
  c->SetTag(77);
  c->SetColor(static_cast<TColor>(0x00112233));
  c->SetBiDiMode(bdRightToLeft);
  c->SetPosition(0);
  header->SetHeight(24);
  header->SetOptions(header->Options().Include(hoShowSortGlyphs).Include(hoHotTrack));
  header->SetStyle(hsXPStyle);
  header->SetMainColumn(2);
  header->SetSortColumn(1);
  header->SetSortDirection(sdDescending);
  header->Font()->SetName("Arial");
  header->Font()->SetStyle(TFontStyles{fsBold});
  TVirtualDrawTree* other = New<TVirtualDrawTree>(nullptr);
  ASSERT_TRUE(Load(other->Header(), Saved(header)));
  TVTHeader* h = other->Header();
  EXPECT_EQ(h->Height(), 24u);
  EXPECT_EQ(h->Style(), hsXPStyle);
  EXPECT_EQ(h->MainColumn(), 2);
  EXPECT_EQ(h->SortColumn(), 1);
  EXPECT_EQ(h->SortDirection(), sdDescending);
  EXPECT_EQ(h->Font()->Name(), "Arial");
  EXPECT_TRUE(h->Font()->Style().Contains(fsBold));
  EXPECT_EQ(HeaderOptionsToMask(h->Options()), HeaderOptionsToMask(header->Options()));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(h->Columns()->Items(i)->Equals(columns->Items(i)));
  other->Free();
}

TEST_F(ColumnsTest, TruncatedAndCorruptedStreamsLeaveTheHeaderAsItWas) {
  AddColumns(3);
  header->SetSortColumn(2);
  std::vector<uint8_t> good = Saved(header);

  TVirtualDrawTree* victim = New<TVirtualDrawTree>(nullptr);
  TVTHeader* h = victim->Header();
  for (int i = 0; i < 2; ++i) h->Columns()->Add()->SetText(u"keep");
  h->SetMainColumn(1);
  const std::vector<uint8_t> before = Saved(h);

  for (size_t length = 0; length < good.size(); ++length) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(length));
    ASSERT_FALSE(Load(h, cut)) << "length " << length;
    ASSERT_EQ(Saved(h), before) << "length " << length;
  }
  // Every byte set to hostile values: either a sound header or an error and no change.
  const uint8_t hostile[] = {0x00, 0x7F, 0x80, 0xFF};
  int loaded = 0;
  for (size_t at = 0; at < good.size(); ++at) {
    for (uint8_t value : hostile) {
      std::vector<uint8_t> bad = good;
      bad[at] = value;
      if (Load(h, bad)) {
        ++loaded;
        TVirtualTreeColumns* cs = h->Columns();
        std::vector<bool> seen(cs->Count(), false);
        for (TColumnIndex index : cs->PositionToIndex()) {
          ASSERT_TRUE(index >= 0 && index < cs->Count() && !seen[index]) << "byte " << at;
          seen[index] = true;
        }
        for (int i = 0; i < cs->Count(); ++i)
          ASSERT_TRUE(cs->Items(i)->Width() >= cs->Items(i)->MinWidth() &&
                      cs->Items(i)->Width() <= cs->Items(i)->MaxWidth());
        ASSERT_TRUE(Load(h, before));  // back to the known header
      } else {
        ASSERT_EQ(Saved(h), before) << "byte " << at << " value " << int(value);
      }
    }
  }
  EXPECT_GT(loaded, 0);
  victim->Free();
}

TEST_F(ColumnsTest, StreamWithoutMarkerIsTheOldestVersion) {
  // Oldest kind: no marker; options of the old layout (no coParentColor) are mapped.
  std::vector<uint8_t> bytes;
  auto i32 = [&](int32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
  };
  i32(1);                                            // one column
  i32(2), bytes.push_back('A'), bytes.push_back(0), bytes.push_back('B'), bytes.push_back(0);
  i32(0);                                            // no hint
  i32(90), i32(10), i32(500);                        // width, min, max
  i32(0), i32(-1), i32(0), i32(4), i32(4), i32(0);   // style, image, layout, margin, spacing, bidi
  i32(0xFF);                                         // old options
  i32(0);                                            // position array
  i32(-1), i32(0x0F), i32(20), i32(kInitialHeaderOptions | (1 << 10)), i32(0);  // auto size .. style
  i32(0), i32(-11), i32(5), bytes.insert(bytes.end(), {'A', 'r', 'i', 'a', 'l'}), i32(0), i32(0);
  ASSERT_TRUE(Load(header, bytes));
  ASSERT_EQ(columns->Count(), 1);
  EXPECT_EQ(columns->Items(0)->Text(), u"AB");
  EXPECT_EQ(columns->Items(0)->Width(), 90);
  EXPECT_EQ(ColumnOptionsToMask(columns->Items(0)->Options()), 0xEF);
  EXPECT_EQ(header->Height(), 20u);
  EXPECT_EQ(header->MainColumn(), 0);
  EXPECT_EQ(header->SortColumn(), NoColumn);
  // A version from the future is refused.
  std::vector<uint8_t> future = Saved(header);
  future[4] = 9;
  EXPECT_FALSE(Load(header, future));
}

TEST_F(ColumnsTest, StreamPositionsAreMendedIntoAPermutation) {
  AddColumns(3);
  std::vector<uint8_t> bytes = Saved(header);
  // The position array is followed by seven integers, the font name, two integers
  // and the three column choices: make it {2, 2, 7}.
  size_t tail = 7 * 4 + 4 + header->Font()->Name().size() + 5 * 4;
  size_t positions = bytes.size() - tail - 4 * 3;
  auto put = [&](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
  };
  put(positions, 2), put(positions + 4, 2), put(positions + 8, 7);
  TVirtualDrawTree* other = New<TVirtualDrawTree>(nullptr);
  ASSERT_TRUE(Load(other->Header(), bytes));
  TIndexArray expected{2, 0, 1};
  EXPECT_EQ(other->Header()->Columns()->PositionToIndex(), expected);
  other->Free();
}

TEST_F(ColumnsTest, NavigationInsideACollectionUpdateFollowsThePositionArray) {
  // Columns added, removed and moved inside BeginUpdate/EndUpdate: every
  // neighbour query answers from the array as it stands, never past it.
  std::mt19937 random(31);
  const int rounds = std::getenv("QV_LONG") ? 2000 : 150;
  for (int round = 0; round < rounds; ++round) {
    columns->BeginUpdate();
    for (int step = 0; step < 12; ++step) {
      int count = columns->Count();
      TColumnIndex some = count > 0 ? static_cast<TColumnIndex>(random() % count) : NoColumn;
      switch (random() % 4) {
        case 0:
        case 1:
          if (count < 10) columns->Add();
          break;
        case 2:
          columns->Delete(some);
          break;
        case 3:
          if (some >= 0) columns->Items(some)->SetPosition(static_cast<int>(random() % 10));
          break;
      }
      if (some >= 0 && some < columns->Count() && random() % 3 == 0)
        columns->Items(some)->SetOptions(columns->Items(some)->Options().Set(coVisible, random() % 2 == 0));
      const TIndexArray& order = columns->PositionToIndex();
      ASSERT_EQ(static_cast<int>(order.size()), columns->Count());
      for (size_t p = 0; p < order.size(); ++p) {
        TColumnIndex next = p + 1 < order.size() ? order[p + 1] : InvalidColumn;
        TColumnIndex previous = p > 0 ? order[p - 1] : InvalidColumn;
        ASSERT_EQ(columns->GetNextColumn(order[p]), next) << "round " << round << " position " << p;
        ASSERT_EQ(columns->GetPreviousColumn(order[p]), previous);
        TColumnIndex nextVisible = InvalidColumn;
        for (size_t q = p + 1; q < order.size() && nextVisible == InvalidColumn; ++q)
          if (columns->Items(order[q])->IsVisible()) nextVisible = order[q];
        ASSERT_EQ(columns->GetNextVisibleColumn(order[p]), nextVisible);
      }
    }
    columns->EndUpdate();
    ASSERT_EQ(CheckInvariants(), "") << "round " << round;
  }
}

TEST_F(ColumnsTest, ColumnsAddedInsideAnUpdateCanBeWalkedAtOnce) {
  columns->BeginUpdate();
  columns->Add();
  columns->Add();
  EXPECT_EQ(columns->GetNextVisibleColumn(0), 1);
  EXPECT_EQ(columns->GetPreviousVisibleColumn(1), 0);
  EXPECT_EQ(columns->GetNextVisibleColumn(1), InvalidColumn);
  columns->EndUpdate();
  EXPECT_EQ(CheckInvariants(), "");
}

}  // namespace

// The focused column and the main column are columns, not numbers: removing,
// clearing or reloading columns keeps them on the same column, and one that
// went is replaced by a valid index (none without columns).
TEST_F(ColumnsTest, FocusedAndMainColumnFollowTheirColumnThroughDeletes) {
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toExtendedFocus));
  std::mt19937 random(31);
  int nextTag = 1;
  auto tagOf = [&](TColumnIndex index) { return index >= 0 && index < columns->Count() ? columns->Items(index)->Tag() : 0; };
  auto indexOf = [&](int tag) {
    for (int i = 0; i < columns->Count(); ++i)
      if (columns->Items(i)->Tag() == tag) return i;
    return int(NoColumn);
  };
  TVirtualDrawTree* other = New<TVirtualDrawTree>(nullptr);
  for (int step = 0; step < 3000; ++step) {
    int count = columns->Count();
    TColumnIndex some = count > 0 ? static_cast<TColumnIndex>(random() % count) : NoColumn;
    int focusedTag = tagOf(tree->FocusedColumn());
    int mainTag = tagOf(header->MainColumn());
    int op = static_cast<int>(random() % 8);
    switch (op) {
      case 0:
      case 1:
        if (count < 8) columns->Add()->SetTag(nextTag++);
        break;
      case 2:
      case 3:
        columns->Delete(some);
        break;
      case 4:
        if (random() % 20 == 0) columns->Clear();
        break;
      case 5:
        tree->SetFocusedColumn(count > 0 ? static_cast<TColumnIndex>(random() % (count + 1)) - 1 : NoColumn);
        focusedTag = tagOf(tree->FocusedColumn());
        break;
      case 6:
        header->SetMainColumn(some);
        mainTag = tagOf(header->MainColumn());
        break;
      case 7: {
        // A copy with fewer columns read over this header.
        ASSERT_TRUE(Load(other->Header(), Saved(header)));
        if (other->Header()->Columns()->Count() > 0) other->Header()->Columns()->Delete(0);
        ASSERT_TRUE(Load(header, Saved(other->Header())));
        break;
      }
    }
    count = columns->Count();
    TColumnIndex focused = tree->FocusedColumn(), main = header->MainColumn();
    ASSERT_TRUE(focused >= NoColumn && focused < count) << "step " << step << " op " << op << " focused " << focused;
    ASSERT_TRUE(count == 0 ? main == NoColumn : main >= 0 && main < count) << "step " << step << " op " << op;
    // A read header brings columns of its own (op 7): only validity is asked then.
    if (op == 7) continue;
    if (focusedTag != 0 && indexOf(focusedTag) != NoColumn) ASSERT_EQ(focused, indexOf(focusedTag)) << "step " << step << " op " << op;
    if (mainTag != 0 && indexOf(mainTag) != NoColumn) ASSERT_EQ(main, indexOf(mainTag)) << "step " << step << " op " << op;
  }
  other->Free();
}

TEST_F(ColumnsTest, AssigningFewerColumnsKeepsTheFocusedColumnInRange) {
  AddColumns(3);
  tree->SetFocusedColumn(2);
  TVirtualDrawTree* other = New<TVirtualDrawTree>(nullptr);
  other->Header()->Columns()->Add();
  columns->Assign(other->Header()->Columns());
  EXPECT_EQ(columns->Count(), 1);
  EXPECT_EQ(tree->FocusedColumn(), 0);
  other->Header()->Columns()->Clear();
  header->Assign(other->Header());
  EXPECT_EQ(tree->FocusedColumn(), NoColumn);
  other->Free();
}
