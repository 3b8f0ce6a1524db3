#include <gtest/gtest.h>

#include <memory>

#include "ControlsForm.h"
#include "win/testing/Harness.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

class MoreControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Application->Initialize();
    Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
      ADD_FAILURE() << "exception in a handler: " << e.what();
    });
    form = qvtest::NewFormFromText<TControlsForm>(kControlsFormDefinition);
    alive = form->Alive();
    form->Show();
    qvtest::Pump(30);
  }
  void TearDown() override {
    if (*alive) form->Free();
    Application->OnException = nullptr;
  }
  template <class T>
  T* Get(const char* name) {
    return qvtest::Find<T>(form, name);
  }
  TControlsForm* form = nullptr;
  TAliveToken alive;
};

TEST_F(MoreControlsTest, CheckBoxCyclesThroughGrayedWhenAllowed) {
  TCheckBox* check = Get<TCheckBox>("QuickCheck");
  check->SetAllowGrayed(true);
  qvtest::Click(check);
  EXPECT_EQ(check->State(), cbGrayed);
  EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  qvtest::Click(check);
  EXPECT_EQ(check->State(), cbChecked);
  qvtest::Click(check);
  EXPECT_EQ(check->State(), cbUnchecked);
  EXPECT_EQ(form->checkClicks, 3);
  // The state survives a new window.
  check->SetChecked(true);
  check->SetAlignment(taLeftJustify);
  EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_NE(GetWindowLongW(check->Handle(), GWL_STYLE) & BS_LEFTTEXT, 0);
}

TEST_F(MoreControlsTest, ListBoxClicksOnUserSelectionOnly) {
  Get<TPageControl>("Pages")->SetActivePage(Get<TTabSheet>("ListSheet"));
  TListBox* list = Get<TListBox>("FileList");
  list->SetItemIndex(1);
  list->Items()->Add("C:\\Data\\zeta.txt");
  list->Items()->Insert(0, "C:\\Data\\alpha.txt");
  EXPECT_EQ(form->listBoxClicks, 0);
  EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCOUNT, 0, 0), 4);
  wchar_t text[64] = {};
  list->Items()->SetStrings(3, "C:\\Data\\omega.txt");
  SendMessageW(list->Handle(), LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"C:\\Data\\omega.txt");
  list->SetSorted(true);
  EXPECT_EQ(list->Items()->Strings(0), "C:\\Data\\alpha.txt");
  SendMessageW(list->Handle(), LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"C:\\Data\\report.doc");
  list->SetFocus();
  list->SetItemIndex(0);
  qvtest::PressKey(list, VK_DOWN);
  qvtest::PumpUntil([&] { return form->listBoxClicks > 0; }, 1000);
  EXPECT_EQ(form->listBoxClicks, 1);
  EXPECT_EQ(list->ItemIndex(), 1);
  list->Clear();
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCOUNT, 0, 0), 0);
}

TEST_F(MoreControlsTest, ClickingATabShowsItsSheetAndFiresOnChange) {
  TPageControl* pages = Get<TPageControl>("Pages");
  int changes = 0;
  static int* counter = nullptr;
  counter = &changes;
  pages->OnChange = TNotifyEvent(+[](TObject*) { ++*counter; });
  RECT tab{};
  SendMessageW(pages->Handle(), TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab));
  qvtest::Click(pages, (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
  qvtest::PumpUntil([&] { return changes > 0; }, 1000);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(pages->ActivePage(), Get<TTabSheet>("ListSheet"));
  EXPECT_EQ(form->shownSheets, "ListSheet;");
  // A handler of OnChanging can refuse the change.
  pages->OnChanging = TTabChangingEvent(+[](TObject*, bool& allow) { allow = false; });
  SendMessageW(pages->Handle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
  qvtest::Click(pages, (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
  qvtest::Pump(50);
  EXPECT_EQ(pages->ActivePage(), Get<TTabSheet>("ListSheet"));
  EXPECT_EQ(changes, 1);
  pages->OnChange = nullptr;
  pages->OnChanging = nullptr;
}

TEST_F(MoreControlsTest, PanelAndBevelPaintTheirEdges) {
  TPanel* panel = Get<TPanel>("StatusPanel");
  TPoint topLeft = form->ScreenToClient(panel->ClientToScreen(Point(0, 0)));
  qvtest::Pump(50);
  // A lowered bevel: shadow along the top, highlight along the bottom.
  uint32_t top = qvtest::PixelAt(form->Handle(), topLeft.X + 10, topLeft.Y);
  uint32_t bottom = qvtest::PixelAt(form->Handle(), topLeft.X + 10, topLeft.Y + panel->Height() - 1);
  auto rgb = [](TColor c) {
    COLORREF v = ColorToRGB(c);
    return static_cast<uint32_t>((GetRValue(v) << 16) | (GetGValue(v) << 8) | GetBValue(v));
  };
  EXPECT_EQ(top, rgb(clBtnShadow));
  EXPECT_EQ(bottom, rgb(clBtnHighlight));
  // Its children keep inside the bevel.
  panel->SetBevelWidth(3);
  TOwned<TPanel> child(New<TPanel>(nullptr));
  child->SetParent(panel);
  child->SetAlign(alClient);
  EXPECT_EQ(child->Left(), 3);
  EXPECT_EQ(child->Width(), panel->Width() - 6);
}

TEST_F(MoreControlsTest, RadioMenuItemsAndMainMenuCommands) {
  TOwned<TMainMenu> menu(New<TMainMenu>(nullptr));
  TMenuItem* file = New<TMenuItem>(nullptr);
  file->SetCaption("&File");
  menu->Items()->Add(file);
  TMenuItem* first = New<TMenuItem>(nullptr);
  TMenuItem* second = New<TMenuItem>(nullptr);
  for (TMenuItem* item : {first, second}) {
    item->SetRadioItem(true);
    item->SetGroupIndex(1);
    file->Add(item);
  }
  EXPECT_EQ(first->Owner(), file);  // items added without an owner belong to their parent
  first->SetChecked(true);
  second->SetChecked(true);
  EXPECT_FALSE(first->Checked());
  EXPECT_TRUE(second->Checked());
  EXPECT_EQ(first->GetParentMenu(), menu.get());
  HMENU bar = menu->Handle();
  EXPECT_EQ(GetMenuItemCount(bar), 1);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, 0)), 2);
  // A change rebuilds the bar shown by the window.
  SetMenu(form->Handle(), bar);
  menu->SetWindow(form->Handle());
  TMenuItem* third = New<TMenuItem>(nullptr);
  third->SetCaption("E&xit");
  third->OnClick = MakeEvent<&TControlsForm::MenuClick>(form);
  file->Add(third);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(GetMenu(form->Handle()), 0)), 3);
  SendMessageW(form->Handle(), WM_COMMAND, third->Command(), 0);
  EXPECT_EQ(form->menuClicks, 1);
  third->Free();
  EXPECT_EQ(file->Count(), 2);
  EXPECT_EQ(menu->FindItem(second->Command()), second);
  SetMenu(form->Handle(), nullptr);
  menu->SetWindow(nullptr);
}

TEST_F(MoreControlsTest, FontsFollowHandlesAndAssignments) {
  TOwned<TFont> font(New<TFont>());
  LOGFONTW lf{};
  lf.lfHeight = -16;
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = TRUE;
  wcscpy(lf.lfFaceName, L"Courier New");
  HFONT source = CreateFontIndirectW(&lf);
  font->SetHandle(source);
  DeleteObject(source);
  EXPECT_EQ(font->Name(), "Courier New");
  EXPECT_EQ(font->Height(), -16);
  EXPECT_TRUE(font->Style().Contains(fsBold));
  EXPECT_TRUE(font->Style().Contains(fsItalic));
  EXPECT_FALSE(font->Style().Contains(fsUnderline));
  TOwned<TFont> copy(New<TFont>());
  copy->SetPixelsPerInch(144);
  copy->Assign(font.get());
  EXPECT_EQ(copy->Size(), font->Size());  // the point size, not the pixels, is kept
  EXPECT_EQ(copy->Height(), -24);
  EXPECT_THROW(copy->Assign(Get<TLabel>("WebLabel")), EConvertError);
  copy->SetName("");  // ignored
  EXPECT_EQ(copy->Name(), "Courier New");
}

}  // namespace
