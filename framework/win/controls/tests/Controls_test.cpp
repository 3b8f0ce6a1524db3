#include <gtest/gtest.h>

#include <memory>

#include "ControlsForm.h"
#include "core/Exception.h"
#include "win/testing/Harness.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

class StdControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Application->Initialize();
    Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
      ADD_FAILURE() << "exception in a handler: " << e.what();
    });
    form = qvtest::NewFormFromText<TControlsForm>(kControlsFormDefinition);
    alive = form->Alive();
    form->Show();
    qvtest::Pump(50);
  }
  void TearDown() override {
    if (*alive) form->Free();
    Application->OnException = nullptr;
  }
  template <class T>
  T* Get(const char* name) {
    return qvtest::Find<T>(form, name);
  }
  // Fills the drive list with three rows in an update bracket.
  void FillDrives(TListView* list) {
    list->Items()->BeginUpdate();
    for (const char* letter : {"A", "C (System)", "D"}) {
      TListItem* item = list->Items()->Add();
      item->SetCaption(letter);
      item->SubItems()->Add("Fixed");
      item->SubItems()->Add("1,024");
      item->SubItems()->Add("Ready");
      item->SetImageIndex(0);
    }
    list->Items()->EndUpdate();
  }

  TControlsForm* form = nullptr;
  TAliveToken alive;
};

TEST_F(StdControlsTest, DefinitionSetsPropertiesAndReferences) {
  EXPECT_EQ(Get<TComboBox>("AlgorithmCombo")->Items()->Count(), 3);
  EXPECT_EQ(Get<TComboBox>("AlgorithmCombo")->ItemIndex(), -1);
  EXPECT_EQ(Get<TUpDown>("DelayUpDown")->Associate(), Get<TEdit>("DelayEdit"));
  EXPECT_EQ(Get<TEdit>("DelayEdit")->Text(), "1");
  EXPECT_EQ(Get<TListView>("DriveList")->Columns()->Count(), 4);
  EXPECT_EQ(Get<TListView>("DriveList")->Columns()->Items(2)->Alignment(), taRightJustify);
  EXPECT_EQ(Get<TListView>("DriveList")->PopupMenu(), Get<TPopupMenu>("ListMenu"));
  EXPECT_EQ(Get<TPageControl>("Pages")->ActivePage(), Get<TTabSheet>("GeneralSheet"));
  EXPECT_EQ(Get<TMemo>("LogMemo")->Lines()->Count(), 2);
  EXPECT_EQ(Get<TMemo>("LogMemo")->Lines()->Strings(0), "Wiping C:\\Data\\report.doc");
  EXPECT_EQ(Get<TPopupMenu>("ListMenu")->Items()->Count(), 3);
  EXPECT_EQ(Get<TMenuItem>("RefreshItem")->ShortCut(), VK_F5);
  EXPECT_TRUE(Get<TMenuItem>("MenuSeparator")->IsLine());
  wchar_t echo = static_cast<wchar_t>(SendMessageW(Get<TEdit>("PasswordEdit")->Handle(), EM_GETPASSWORDCHAR, 0, 0));
  EXPECT_EQ(echo, L'*');
  // A label with AutoSize fits its text.
  TLabel* label = Get<TLabel>("WebLabel");
  TOwned<TBitmap> measure(New<TBitmap>());
  measure->SetSize(1, 1);
  measure->Canvas()->SetFont(label->Font());
  EXPECT_EQ(label->Width(), measure->Canvas()->TextWidth(u"www.example.org"));
  EXPECT_EQ(label->Height(), measure->Canvas()->TextHeight(u"www.example.org"));
}

TEST_F(StdControlsTest, CheckBoxFiresOnClickOnlyWhenTheValueChanges) {
  TCheckBox* check = Get<TCheckBox>("QuickCheck");
  check->SetChecked(true);
  EXPECT_EQ(form->checkClicks, 1);
  check->SetChecked(true);
  EXPECT_EQ(form->checkClicks, 1);
  check->SetChecked(false);
  EXPECT_EQ(form->checkClicks, 2);
  EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  qvtest::Click(check);
  qvtest::Pump(20);
  EXPECT_EQ(form->checkClicks, 3);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(StdControlsTest, RadioButtonsAreExclusiveAndClickOnlyWhenChecked) {
  TRadioButton* files = Get<TRadioButton>("FilesRadio");
  TRadioButton* disk = Get<TRadioButton>("DiskRadio");
  EXPECT_FALSE(files->Checked());
  EXPECT_FALSE(disk->Checked());
  files->SetChecked(true);
  EXPECT_EQ(form->radioClicks, 1);
  files->SetChecked(true);
  EXPECT_EQ(form->radioClicks, 1);
  disk->SetChecked(true);
  EXPECT_EQ(form->radioClicks, 2);  // unchecking the sibling fires nothing
  EXPECT_EQ(form->lastRadio, "DiskRadio");
  EXPECT_FALSE(files->Checked());
  EXPECT_EQ(SendMessageW(files->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  qvtest::Click(files);
  qvtest::Pump(20);
  EXPECT_TRUE(files->Checked());
  EXPECT_FALSE(disk->Checked());
  EXPECT_EQ(form->radioClicks, 3);
  qvtest::DoubleClick(disk);
  qvtest::Pump(20);
  EXPECT_TRUE(disk->Checked());
  EXPECT_EQ(form->radioDblClicks, 1);
}

TEST_F(StdControlsTest, ComboBoxFiresOnChangeForTheUserOnly) {
  TComboBox* combo = Get<TComboBox>("AlgorithmCombo");
  TObject* tag = form;
  combo->Items()->AddObject("Gutmann (35)", tag);
  combo->SetItemIndex(1);
  combo->Items()->Add("Schneier (7)");
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->Text(), "Zeros (1)");
  EXPECT_EQ(combo->Items()->Objects(3), tag);
  EXPECT_EQ(form->comboChanges, 0);
  combo->SetItemIndex(99);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(0);
  combo->SetFocus();
  qvtest::PressKey(combo, VK_DOWN);
  qvtest::PumpUntil([&] { return form->comboChanges > 0; }, 1000);
  EXPECT_EQ(form->comboChanges, 1);
  EXPECT_EQ(combo->ItemIndex(), 1);
  combo->Items()->Clear();
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(form->comboChanges, 1);
}

TEST_F(StdControlsTest, EditLimitsTypingAndReportsChanges) {
  TEdit* edit = Get<TEdit>("PasswordEdit");
  edit->SetFocus();
  qvtest::TypeText(edit, "secret-password");
  qvtest::PumpUntil([&] { return edit->Text().size() >= 8; }, 1000);
  EXPECT_EQ(edit->Text(), "secret-p");
  EXPECT_EQ(form->editChanges, 8);
  edit->SetTextProp("x");
  EXPECT_EQ(form->editChanges, 9);
  edit->SetReadOnly(true);
  qvtest::TypeText(edit, "yz");
  qvtest::Pump(30);
  EXPECT_EQ(edit->Text(), "x");
}

namespace {
void PutClipboardText(HWND owner, const wchar_t* text) {
  ASSERT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  memcpy(GlobalLock(block), text, bytes);
  GlobalUnlock(block);
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
}
}  // namespace

TEST_F(StdControlsTest, ANumbersOnlyEditKeepsTheDigitsOfAPaste) {
  TEdit* edit = Get<TEdit>("DelayEdit");
  TEdit* plain = Get<TEdit>("PasswordEdit");
  edit->SetTextProp("");
  PutClipboardText(edit->Handle(), L"1 x\x0662 2-");  // an Arabic-Indic two is no digit here
  SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(edit->Text(), "12");
  PutClipboardText(edit->Handle(), L"none");
  SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(edit->Text(), "12");
  // Other edits take the text as it is.
  plain->SetTextProp("");
  PutClipboardText(plain->Handle(), L"a1");
  SendMessageW(plain->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(plain->Text(), "a1");
}

TEST_F(StdControlsTest, UpDownKeepsItsEditInStep) {
  TUpDown* upDown = Get<TUpDown>("DelayUpDown");
  TEdit* edit = Get<TEdit>("DelayEdit");
  upDown->SetPosition(5);
  EXPECT_EQ(edit->Text(), "5");
  upDown->SetPosition(50);
  EXPECT_EQ(upDown->Position(), 20);
  EXPECT_EQ(edit->Text(), "20");
  edit->SetTextProp("7");
  EXPECT_EQ(upDown->Position(), 7);
  // The up-down sits at the edit's right edge.
  EXPECT_EQ(upDown->Left(), edit->Left() + edit->Width());
}

TEST_F(StdControlsTest, MemoLinesFollowTheText) {
  TMemo* memo = Get<TMemo>("LogMemo");
  TStrings* lines = memo->Lines();
  lines->Add("Files successfully wiped");
  ASSERT_EQ(lines->Count(), 3);
  EXPECT_EQ(lines->Strings(2), "Files successfully wiped");
  EXPECT_EQ(memo->Text(), "Wiping C:\\Data\\report.doc\r\nPass 1 of 3 done\r\nFiles successfully wiped");
  lines->Delete(0);
  lines->Insert(1, "middle");
  EXPECT_EQ(lines->Text(), "Pass 1 of 3 done\r\nmiddle\r\nFiles successfully wiped\r\n");
  memo->SetTextProp("a\r\nb\r\n");  // a trailing break adds no line
  EXPECT_EQ(lines->Count(), 2);
  EXPECT_EQ(lines->Add("c"), 2);
  EXPECT_EQ(memo->Text(), "a\r\nb\r\nc");
  EXPECT_EQ(lines->Add("d"), 3);
  // Text typed by the user counts for the next line's index.
  memo->SetReadOnly(false);
  memo->SetFocus();
  qvtest::PressKey(memo, VK_END);
  qvtest::PressKey(memo, VK_RETURN);
  qvtest::TypeText(memo, "e");
  qvtest::PumpUntil([&] { return memo->Text().back() == 'e'; }, 1000);
  EXPECT_EQ(lines->Add("f"), 5);
  EXPECT_EQ(lines->Strings(5), "f");
  lines->Clear();
  EXPECT_EQ(lines->Count(), 0);
  lines->Add("first");
  EXPECT_EQ(memo->Text(), "first");
  // An empty line stays a line of its own: the next one goes below it.
  EXPECT_EQ(lines->Add(""), 1);
  EXPECT_EQ(lines->Add("second"), 2);
  EXPECT_EQ(lines->Count(), 3);
  EXPECT_EQ(lines->Strings(1), "");
  EXPECT_EQ(lines->Strings(2), "second");
  lines->Clear();
  lines->Add("first");
  EXPECT_THROW(lines->Strings(5), EStringListError);
  // The text survives a new window.
  memo->SetWordWrap(false);
  EXPECT_EQ(memo->Text(), "first");
}

TEST_F(StdControlsTest, MemoTakesALongLogLineByLine) {
  TMemo* memo = Get<TMemo>("LogMemo");
  memo->Lines()->Clear();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(memo->Lines()->Add("Wiping file number " + std::to_string(i)), i);
  EXPECT_EQ(memo->Lines()->Count(), 300);
  EXPECT_EQ(memo->Lines()->Strings(299), "Wiping file number 299");
}

TEST_F(StdControlsTest, ListViewFiresNoChangeWhileFilledOrClearedInCode) {
  TPageControl* pages = Get<TPageControl>("Pages");
  pages->SetActivePage(Get<TTabSheet>("ListSheet"));
  qvtest::Pump(30);
  TListView* list = Get<TListView>("DriveList");
  FillDrives(list);
  list->Items()->Clear();
  FillDrives(list);
  list->Items()->Add()->SetCaption("E");  // outside a bracket as well
  list->Items()->Delete(3);
  EXPECT_EQ(form->listChanges, 0);
  EXPECT_EQ(list->Items()->Count(), 3);
  EXPECT_EQ(SendMessageW(list->Handle(), LVM_GETITEMCOUNT, 0, 0), 3);

  list->SetSelected(list->Items()->Item(1));
  EXPECT_GT(form->listChanges, 0);
  EXPECT_EQ(list->Selected(), list->Items()->Item(1));
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_NE(GetWindowLongW(list->Handle(), GWL_STYLE) & LVS_SHOWSELALWAYS, 0);

  // Texts and sub-items reach the window.
  wchar_t text[64] = {};
  LVITEMW item{};
  item.iSubItem = 3;
  item.pszText = text;
  item.cchTextMax = 64;
  SendMessageW(list->Handle(), LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(text, L"Ready");
  list->Items()->Item(1)->SubItems()->SetStrings(2, "No media");
  SendMessageW(list->Handle(), LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(text, L"No media");
  // A wide caption reaches the window unconverted, whatever the ANSI code page.
  list->Items()->Item(1)->SetWideCaption(u"\u0391\u0436\u6587.txt");
  item.iSubItem = 0;
  SendMessageW(list->Handle(), LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(text, L"\u0391\u0436\u6587.txt");
  EXPECT_EQ(list->Items()->Item(1)->WideCaption(), u"\u0391\u0436\u6587.txt");

  // A click on a row selects it and fires OnClick; a double click fires OnDblClick.
  int changesBefore = form->listChanges;
  TRect row = list->Items()->Item(2)->DisplayRect();
  qvtest::Click(list, row.Left + 20, (row.Top + row.Bottom) / 2);
  qvtest::PumpUntil([&] { return form->listClicks > 0; }, 1000);
  EXPECT_EQ(form->listClicks, 1);
  EXPECT_EQ(list->Selected(), list->Items()->Item(2));
  EXPECT_GT(form->listChanges, changesBefore);
  qvtest::DoubleClick(list, row.Left + 20, (row.Top + row.Bottom) / 2);
  qvtest::PumpUntil([&] { return form->listDblClicks > 0; }, 1000);
  EXPECT_EQ(form->listDblClicks, 1);

  int changes = form->listChanges;
  list->Clear();
  EXPECT_EQ(form->listChanges, changes);
  EXPECT_EQ(list->Selected(), nullptr);
}

TEST_F(StdControlsTest, PageControlShowsSheetsAndHidesTabs) {
  TPageControl* pages = Get<TPageControl>("Pages");
  EXPECT_EQ(pages->PageCount(), 3);
  EXPECT_EQ(SendMessageW(pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);  // the hidden sheet has no tab
  EXPECT_TRUE(Get<TTabSheet>("GeneralSheet")->Visible());
  EXPECT_FALSE(Get<TTabSheet>("ListSheet")->Visible());
  pages->SetActivePageIndex(1);
  EXPECT_EQ(form->shownSheets, "ListSheet;");
  EXPECT_TRUE(Get<TTabSheet>("ListSheet")->Visible());
  EXPECT_FALSE(Get<TTabSheet>("GeneralSheet")->Visible());
  EXPECT_EQ(SendMessageW(pages->Handle(), TCM_GETCURSEL, 0, 0), 1);
  pages->SetActivePageIndex(1);
  EXPECT_EQ(form->shownSheets, "ListSheet;");
  // A sheet without a tab can still be shown from code.
  pages->SetActivePage(Get<TTabSheet>("HiddenSheet"));
  EXPECT_EQ(form->shownSheets, "ListSheet;HiddenSheet;");
  EXPECT_EQ(SendMessageW(pages->Handle(), TCM_GETCURSEL, 0, 0), -1);
  EXPECT_EQ(pages->ActivePageIndex(), 2);
  pages->SetActivePageIndex(7);  // ignored
  EXPECT_EQ(pages->ActivePageIndex(), 2);
  Get<TTabSheet>("HiddenSheet")->SetTabVisible(true);
  EXPECT_EQ(SendMessageW(pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(pages->Handle(), TCM_GETCURSEL, 0, 0), 2);
  // The sheets fill the display area below the tabs.
  TTabSheet* sheet = Get<TTabSheet>("HiddenSheet");
  EXPECT_GT(sheet->Top(), 10);
  EXPECT_LT(sheet->Width(), pages->Width());
}

TEST_F(StdControlsTest, ButtonsGiveTheirModalResultAndAnswerEnterAndEsc) {
  TButton* ok = Get<TButton>("OkButton");
  TButton* cancel = Get<TButton>("CancelButton");
  EXPECT_EQ(ok->Perform(CM_DIALOGKEY, VK_RETURN), 1);
  EXPECT_EQ(form->buttonClicks, 1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  form->SetModalResult(mrNone);
  EXPECT_EQ(cancel->Perform(CM_DIALOGKEY, VK_RETURN), 0);
  EXPECT_EQ(cancel->Perform(CM_DIALOGKEY, VK_ESCAPE), 1);
  EXPECT_EQ(form->ModalResult(), mrCancel);
  form->SetModalResult(mrNone);
  qvtest::Click(ok);
  qvtest::Pump(20);
  EXPECT_EQ(form->buttonClicks, 2);
  EXPECT_EQ(form->ModalResult(), mrOk);
  EXPECT_NE(GetWindowLongW(ok->Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
}

TEST_F(StdControlsTest, ProgressBarKeepsItsRange) {
  TProgressBar* bar = Get<TProgressBar>("Progress");
  EXPECT_EQ(bar->Position(), 60);
  EXPECT_EQ(SendMessageW(bar->Handle(), PBM_GETPOS, 0, 0), 60);
  bar->SetMax(50);
  EXPECT_EQ(bar->Position(), 50);
  bar->SetPosition(-5);
  EXPECT_EQ(bar->Position(), 0);
  try {
    bar->SetMin(60);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TProgressBar property out of range");
  }
  EXPECT_EQ(bar->Min(), 0);
  // Stepping past the end starts over from the beginning.
  bar->SetStep(30);
  bar->StepIt();
  EXPECT_EQ(bar->Position(), 30);
  bar->StepIt();
  EXPECT_EQ(bar->Position(), 10);
}

TEST_F(StdControlsTest, LinkLabelUnderlinesWhileHovered) {
  TLabel* label = Get<TLabel>("WebLabel");
  EXPECT_FALSE(label->Font()->Style().Contains(fsUnderline));
  label->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(label->Font()->Style().Contains(fsUnderline));
  label->Perform(CM_MOUSELEAVE);
  EXPECT_FALSE(label->Font()->Style().Contains(fsUnderline));
  EXPECT_EQ(label->Font()->Color(), clBlue);
}

TEST_F(StdControlsTest, MenusRunShortcutsAndSkipDisabledItems) {
  TPopupMenu* menu = Get<TPopupMenu>("ListMenu");
  EXPECT_TRUE(menu->IsShortCut(VK_F5, TShiftState()));
  EXPECT_EQ(form->menuClicks, 1);
  EXPECT_FALSE(menu->IsShortCut(VK_F6, TShiftState()));
  Get<TMenuItem>("PropertiesItem")->SetShortCut(ShortCut('P', TShiftState{ssCtrl}));
  EXPECT_FALSE(menu->IsShortCut('P', TShiftState{ssCtrl}));  // disabled
  Get<TMenuItem>("PropertiesItem")->Click();
  EXPECT_EQ(form->menuClicks, 1);
  HMENU built = menu->BuildMenu(/*popup=*/true);
  EXPECT_EQ(GetMenuItemCount(built), 3);
  wchar_t text[64] = {};
  GetMenuStringW(built, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Refresh\tF5");
  EXPECT_NE(GetMenuState(built, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
  EXPECT_NE(GetMenuState(built, 2, MF_BYPOSITION) & MF_GRAYED, 0u);
  DestroyMenu(built);
  // Menu commands arriving as WM_COMMAND reach the item.
  SendMessageW(form->Handle(), WM_COMMAND, Get<TMenuItem>("RefreshItem")->Command(), 0);
  EXPECT_EQ(form->menuClicks, 2);
}

TEST(ShortCutTest, TextFormsTable) {
  struct Case {
    TShortCut shortCut;
    const char* text;
  } cases[] = {
      {VK_F5, "F5"},
      {static_cast<TShortCut>(scCtrl | 'S'), "Ctrl+S"},
      {static_cast<TShortCut>(scShift | scCtrl | VK_DELETE), "Shift+Ctrl+Del"},
      {static_cast<TShortCut>(scAlt | VK_RETURN), "Alt+Enter"},
      {scNone, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortCutToText(c.shortCut), c.text);
    EXPECT_EQ(TextToShortCut(c.text), c.shortCut) << c.text;
  }
  EXPECT_EQ(TextToShortCut("ctrl+s"), scCtrl | 'S');
  EXPECT_EQ(TextToShortCut("116"), VK_F5);
  EXPECT_EQ(TextToShortCut("Hyper+S"), scNone);
  EXPECT_EQ(TextToShortCut("Ctrl+"), scNone);
  EXPECT_EQ(TextToShortCut("99999999"), scNone);
}

TEST_F(StdControlsTest, ScreenshotsOfBothPages) {
  // The image shows a picture drawn in code, stretched into the control.
  TOwned<TBitmap> bitmap(New<TBitmap>());
  bitmap->SetSize(40, 26);
  for (int y = 0; y < 26; ++y)
    for (int x = 0; x < 40; ++x) bitmap->Canvas()->SetPixel(x, y, static_cast<TColor>(RGB(60 + x * 4, 90 + y * 4, 200)));
  TOwned<TPicture> picture(New<TPicture>());
  picture->SetGraphic(bitmap.get());
  Get<TImage>("Picture")->SetPicture(picture.get());
  Get<TCheckBox>("QuickCheck")->SetChecked(true);
  Get<TRadioButton>("FilesRadio")->SetChecked(true);
  Get<TComboBox>("AlgorithmCombo")->SetItemIndex(2);
  Get<TEdit>("PasswordEdit")->SetTextProp("secret");
  form->Update();
  qvtest::Pump(100);
  std::string path = qvtest::SaveScreenshot(form->Handle(), "controls_general");
  EXPECT_FALSE(path.empty());
  // The stretched picture is on the screen where the image control is.
  TImage* image = Get<TImage>("Picture");
  TPoint centre = form->ScreenToClient(image->ClientToScreen(Point(image->Width() / 2, image->Height() / 2)));
  uint32_t pixel = qvtest::PixelAt(form->Handle(), centre.X, centre.Y);
  EXPECT_EQ(pixel & 0xFF, 200u) << std::hex << pixel;  // blue channel of the picture

  TListView* list = Get<TListView>("DriveList");
  Get<TPageControl>("Pages")->SetActivePage(Get<TTabSheet>("ListSheet"));
  TOwned<TBitmap> icon(New<TBitmap>());
  icon->SetSize(16, 16);
  icon->Canvas()->Brush()->SetColor(clFuchsia);
  icon->Canvas()->FillRect(Rect(0, 0, 16, 16));
  icon->Canvas()->Brush()->SetColor(clGray);
  icon->Canvas()->Pen()->SetColor(clBlack);
  icon->Canvas()->Rectangle(1, 4, 15, 12);
  TImageList* images = Get<TImageList>("DriveImages");
  images->AddMasked(icon.get(), clFuchsia);
  list->SetSmallImages(images);
  FillDrives(list);
  list->SetSelected(list->Items()->Item(1));
  Get<TListBox>("FileList")->SetItemIndex(0);
  qvtest::Pump(100);
  EXPECT_FALSE(qvtest::SaveScreenshot(form->Handle(), "controls_drives").empty());
}

}  // namespace
