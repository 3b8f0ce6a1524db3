#include <gtest/gtest.h>

#include "SampleForm.h"
#include "win/testing/Harness.h"

namespace {

struct LayoutTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBorderStyle(bsSingle);
    form->SetClientSize(200, 100);
  }
  void TearDown() override { form->Free(); }
  TTestBox* Box(int w, int h, TAlign align) {
    TTestBox* b = New<TTestBox>(form);
    b->SetBounds(0, 0, w, h);
    b->SetAlign(align);
    b->SetParent(form);
    return b;
  }
  TForm* form = nullptr;
};

}  // namespace

TEST_F(LayoutTest, AlignedChildrenShareTheClientArea) {
  TTestBox* top = Box(10, 20, alTop);
  TTestBox* bottom = Box(10, 15, alBottom);
  TTestBox* left = Box(30, 10, alLeft);
  TTestBox* right = Box(25, 10, alRight);
  TTestBox* client = Box(5, 5, alClient);
  struct Case {
    TControl* c;
    TRect r;
  } cases[] = {
      {top, Rect(0, 0, 200, 20)},       {bottom, Rect(0, 85, 200, 100)}, {left, Rect(0, 20, 30, 85)},
      {right, Rect(175, 20, 200, 85)}, {client, Rect(30, 20, 175, 85)},
  };
  for (const Case& k : cases) EXPECT_EQ(k.c->BoundsRect(), k.r) << k.c->Name();
  form->Show();  // the same with windows
  form->SetClientSize(300, 150);
  EXPECT_EQ(client->BoundsRect(), Rect(30, 20, 275, 135));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 135, 300, 150));
  top->SetVisible(false);  // hidden children take no room
  EXPECT_EQ(left->Top(), 0);
}

TEST_F(LayoutTest, BorderStylesGiveTheirWindowStyles) {
  struct Case {
    TFormBorderStyle style;
    TBorderIcons icons;
    DWORD on, off;
    DWORD exOn;
  } cases[] = {
      {bsSizeable, {biSystemMenu, biMinimize, biMaximize}, WS_THICKFRAME | WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0, 0},
      {bsSingle, {biSystemMenu}, WS_CAPTION | WS_SYSMENU, WS_THICKFRAME | WS_MAXIMIZEBOX, 0},
      {bsDialog, {biSystemMenu, biMinimize}, WS_CAPTION | WS_SYSMENU, WS_MINIMIZEBOX | WS_THICKFRAME, WS_EX_DLGMODALFRAME},
      {bsDialog, {biSystemMenu, biHelp}, WS_SYSMENU, 0, WS_EX_CONTEXTHELP},
      {bsToolWindow, {biSystemMenu}, WS_CAPTION, WS_THICKFRAME, WS_EX_TOOLWINDOW},
      {bsNone, {biSystemMenu}, WS_POPUP, WS_CAPTION | WS_SYSMENU, 0},
  };
  for (const Case& c : cases) {
    form->SetBorderStyle(c.style);
    form->SetBorderIcons(c.icons);
    HWND hwnd = form->Handle();
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    EXPECT_EQ(style & c.on, c.on) << c.style;
    EXPECT_EQ(style & c.off, 0u) << c.style;
    EXPECT_EQ(ex & c.exOn, c.exOn) << c.style;
    EXPECT_EQ(form->ClientWidth(), 200) << c.style;  // the client size survives the new frame
  }
  form->Show();
  form->SetBorderStyle(bsSizeable);  // a shown form stays shown with its new frame
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(LayoutTest, CentredFormsSitInTheMiddleOfTheWorkArea) {
  form->SetPosition(poScreenCenter);
  form->Show();
  TRect area = Screen->WorkAreaRect();
  EXPECT_NEAR(form->Left() + form->Width() / 2, area.Left + area.Width() / 2, 1);
  EXPECT_NEAR(form->Top() + form->Height() / 2, area.Top + area.Height() / 2, 1);
  EXPECT_EQ(Screen->ActiveForm(), form);
  EXPECT_TRUE(Application->Active());
  bool listed = false;
  for (int i = 0; i < Screen->FormCount(); ++i) listed = listed || Screen->Forms(i) == form;
  EXPECT_TRUE(listed);
  EXPECT_THROW(Screen->Forms(Screen->FormCount()), EListError);
}

TEST_F(LayoutTest, ACentredFormsWindowIsMadeWhereShowingPutsItAndAResizeIsCentredAgain) {
  form->SetPosition(poScreenCenter);
  const TRect area = Screen->WorkAreaRect();
  RECT made;
  GetWindowRect(form->Handle(), &made);
  EXPECT_EQ(made.left, area.Left + (area.Width() - form->Width()) / 2);
  form->SetBounds(form->Left(), form->Top(), form->Width() + 40, form->Height());
  form->Show();
  EXPECT_EQ(form->Left(), area.Left + (area.Width() - form->Width()) / 2);
}

TEST_F(LayoutTest, AModalFormDisablesTheOtherWindows) {
  form->Show();
  TForm* dialog = New<TForm>(Application);
  static HWND owner;
  static bool ownerEnabled;
  owner = form->Handle();
  ownerEnabled = true;
  dialog->OnShow = TNotifyEvent(+[](TObject* sender) {
    ownerEnabled = IsWindowEnabled(owner) != FALSE;
    static_cast<TForm*>(sender)->SetModalResult(mrYes);
  });
  EXPECT_EQ(dialog->ShowModal(), mrYes);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner));  // enabled again afterwards
  dialog->Free();
}
