// A list view with owner data beside one holding the same rows: random
// fills, keys, type-ahead, clicks, selection in code and new windows must
// leave both showing the same texts with the same selection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "win/Forms.h"
#include "win/controls/ComCtrls.h"
#include "win/testing/Harness.h"

namespace {

struct TRow {
  std::u16string caption;
  std::string size, date, type;
  int image = 0;
};

// What the window shows of every row: its four texts and its image.
std::vector<std::u16string> ShownRows(TListView* list) {
  std::vector<std::u16string> shown;
  HWND hwnd = list->Handle();
  const int count = static_cast<int>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::u16string line;
    for (int column = 0; column < 4; ++column) {
      wchar_t text[128] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 128;
      SendMessageW(hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
      line += reinterpret_cast<const char16_t*>(text);
      line += u'|';
    }
    LVITEMW image{};
    image.mask = LVIF_IMAGE;
    image.iItem = row;
    SendMessageW(hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
    line += static_cast<char16_t>(u'0' + image.iImage);
    shown.push_back(line);
  }
  return shown;
}

class OwnerDataTest : public ::testing::Test {
protected:
  void SetUp() override {
    Application->Initialize();
    Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
      ADD_FAILURE() << "exception in a handler: " << e.what();
    });
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 640, 260);
    held = MakeList(0);
    virt = MakeList(320);
    virt->SetOwnerData(true);
    virt->OnData = MakeEvent<&OwnerDataTest::Data>(this);
    form->Show();
    qvtest::Pump(50);
  }
  void TearDown() override {
    form->Free();
    Application->OnException = nullptr;
  }
  TListView* MakeList(int left) {
    TListView* list = New<TListView>(form);
    list->SetParent(form);
    list->SetBounds(left, 0, 310, 200);
    list->SetViewStyle(vsReport);
    list->SetReadOnly(true);
    list->SetRowSelect(true);
    list->SetHideSelection(false);
    for (const char* caption : {"Name", "Size", "Date", "Type"}) list->Columns()->Add()->SetCaption(caption);
    return list;
  }
  void Data(TObject*, TListItem* item) {
    const TRow& row = rows.at(static_cast<size_t>(item->Index()));
    ++asked;
    item->SetWideCaption(row.caption);
    item->SubItems()->Add(row.size);
    item->SubItems()->Add(row.date);
    item->SubItems()->Add(row.type);
    item->SetImageIndex(row.image);
  }
  void Fill(int count, std::mt19937& random) {
    rows.clear();
    const char16_t* starts[] = {u"a", u"b", u"B", u"ba", u"c", u"\u0436"};
    for (int i = 0; i < count; ++i) {
      TRow row;
      std::string number = std::to_string(i);
      row.caption = starts[random() % 6] + std::u16string(number.begin(), number.end());
      row.size = std::to_string(random() % 5000) + " KB";
      row.date = "12/7/2026";
      row.type = i % 2 ? "Text" : "Folder";
      row.image = static_cast<int>(random() % 3);
      rows.push_back(row);
    }
    held->Items()->BeginUpdate();
    held->Items()->Clear();
    for (const TRow& row : rows) {
      TListItem* item = held->Items()->Add();
      item->SetWideCaption(row.caption);
      item->SubItems()->Add(row.size);
      item->SubItems()->Add(row.date);
      item->SubItems()->Add(row.type);
      item->SetImageIndex(row.image);
    }
    held->Items()->EndUpdate();
    virt->Items()->BeginUpdate();
    virt->Items()->Clear();
    virt->Items()->SetCount(count);
    virt->Items()->EndUpdate();
  }
  static int IndexOf(TListItem* item) { return item != nullptr ? item->Index() : -1; }
  std::string Differences(TListView* a, TListView* b) {
    std::string out;
    auto same = [&](const char* what, int x, int y) {
      if (x != y) out += std::string(what) + " " + std::to_string(x) + " against " + std::to_string(y) + "; ";
    };
    same("rows", a->Items()->Count(), b->Items()->Count());
    same("selected", a->ItemIndex(), b->ItemIndex());
    same("selected count", a->SelCount(), b->SelCount());
    same("focused", IndexOf(a->ItemFocused()), IndexOf(b->ItemFocused()));
    same("top", static_cast<int>(SendMessageW(a->Handle(), LVM_GETTOPINDEX, 0, 0)),
         static_cast<int>(SendMessageW(b->Handle(), LVM_GETTOPINDEX, 0, 0)));
    if (ShownRows(a) != ShownRows(b)) out += "the rows shown differ; ";
    return out;
  }

  TForm* form = nullptr;
  TListView* held = nullptr;
  TListView* virt = nullptr;
  std::vector<TRow> rows;
  int asked = 0;
};

TEST_F(OwnerDataTest, ShowsAndSelectsWhatAListHoldingTheRowsDoes) {
  // QV_LONG runs longer, from a seed of the clock's (printed when it fails).
  const bool longRun = std::getenv("QV_LONG") != nullptr;
  const unsigned seed = longRun ? static_cast<unsigned>(GetTickCount()) : 20261207u;
  std::mt19937 random(seed);
  const WORD keys[] = {VK_DOWN, VK_UP, VK_HOME, VK_END, VK_NEXT, VK_PRIOR};
  const char* typed[] = {"a", "b", "B", "ba", "c", "x"};
  Fill(40, random);
  std::string log = "seed " + std::to_string(seed) + ": ";
  for (int step = 0; step < (longRun ? 1500 : 60); ++step) {
    const int op = static_cast<int>(random() % 6);
    const int count = static_cast<int>(rows.size());
    const int row = count > 0 ? static_cast<int>(random() % static_cast<unsigned>(count)) : 0;
    switch (op) {
      case 0:
        Fill(static_cast<int>(random() % 60), random);
        log += "fill ";
        break;
      case 1: {
        const WORD key = keys[random() % 6];
        qvtest::PressKey(held, key);
        qvtest::PressKey(virt, key);
        log += "key" + std::to_string(key) + " ";
        break;
      }
      case 2: {
        const char* text = typed[random() % 6];
        qvtest::TypeText(held, text);
        qvtest::TypeText(virt, text);
        log += std::string("type ") + text + " ";
        break;
      }
      case 3:
        held->SetSelected(count > 0 ? held->Items()->Item(row) : nullptr);
        virt->SetSelected(count > 0 ? virt->Items()->Item(row) : nullptr);
        log += "select" + std::to_string(row) + " ";
        break;
      case 4: {
        if (count == 0) break;
        const int top = static_cast<int>(SendMessageW(held->Handle(), LVM_GETTOPINDEX, 0, 0));
        const int target = std::min(count - 1, top + row % 4);
        for (TListView* list : {held, virt}) {
          TRect r = list->Items()->Item(target)->DisplayRect();
          qvtest::Click(list, r.Left + 30, (r.Top + r.Bottom) / 2);
        }
        log += "click" + std::to_string(target) + " ";
        break;
      }
      default:
        held->RecreateWnd();
        virt->RecreateWnd();
        log += "new window ";
        break;
    }
    qvtest::Pump(20);
    const std::string differences = Differences(held, virt);
    ASSERT_EQ(differences, "") << "after " << log;
  }
}

TEST_F(OwnerDataTest, AsksOnlyForTheRowsItShowsAndRefusesRowsOfItsOwn) {
  std::mt19937 random(7);
  Fill(50000, random);
  form->Update();
  qvtest::Pump(50);
  EXPECT_EQ(virt->Items()->Count(), 50000);
  EXPECT_EQ(SendMessageW(virt->Handle(), LVM_GETITEMCOUNT, 0, 0), 50000);
  EXPECT_GT(asked, 0);
  EXPECT_LT(asked, 1000) << "rows asked for that are not on the screen";
  // One item stands for the row last asked for.
  TListItem* item = virt->Items()->Item(49999);
  EXPECT_EQ(item->WideCaption(), rows[49999].caption);
  EXPECT_EQ(item->SubItems()->Strings(0), rows[49999].size);
  EXPECT_EQ(item->Index(), 49999);
  EXPECT_EQ(virt->Items()->Item(3), item);
  EXPECT_EQ(item->Index(), 3);
  EXPECT_THROW(virt->Items()->Item(50000), EListError);
  EXPECT_THROW(virt->Items()->Add(), EListError);
  EXPECT_THROW(virt->Items()->Delete(0), EListError);
  EXPECT_THROW(held->Items()->SetCount(3), EListError);
  EXPECT_EQ(virt->Items()->Count(), 50000);
  // Rows changed under the same count are asked for again once the count is set.
  rows[3].caption = u"changed";
  virt->Items()->SetCount(50000);
  EXPECT_EQ(virt->Items()->Item(3)->WideCaption(), u"changed");
  // Switching back to rows of its own clears it.
  virt->SetOwnerData(false);
  EXPECT_EQ(virt->Items()->Count(), 0);
  virt->Items()->Add()->SetCaption("own");
  EXPECT_EQ(ShownRows(virt).size(), 1u);
}

}  // namespace
