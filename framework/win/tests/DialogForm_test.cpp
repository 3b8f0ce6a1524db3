// The dialog with every standard control: loaded from its definition, shown,
// photographed and driven through the harness.
#include <gtest/gtest.h>

#include "DialogForm.h"
#include "core/Strings.h"
#include "win/FormDefinition.h"
#include "win/Help.h"
#include "win/Timer.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/ExtCtrls.h"
#include "win/controls/Menus.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"
#include "win/testing/FormFixture.h"
#include "win/testing/Harness.h"

namespace {

class KeywordViewer : public ICustomHelpViewer {
public:
  std::vector<std::string> shown;
  int id = 0;
  std::string GetViewerName() override { return "Keywords"; }
  int UnderstandsKeyword(const std::string&) override { return 1; }
  TStringList* GetHelpStrings(const std::string&) override { return nullptr; }
  bool CanShowTableOfContents() override { return false; }
  void ShowTableOfContents() override {}
  void ShowHelp(const std::string& keyword) override { shown.push_back(keyword); }
  void NotifyID(int viewerId) override { id = viewerId; }
  void SoftShutDown() override {}
  void ShutDown() override {}
};

struct DialogTest : qvtest::FormTest<TDialogForm> {
  template <class T>
  T* Find(const char* name) {
    return qvtest::Find<T>(form, name);
  }
};

}  // namespace

TEST_F(DialogTest, EveryControlLoadsFromTheDefinition) {
  EXPECT_TRUE(form->created);
  EXPECT_TRUE(form->log.empty()) << form->log.front();  // loading fires no OnChange or OnClick
  EXPECT_EQ(Find<TEdit>("NameEdit")->Text(), "Quorvanell");
  EXPECT_EQ(Find<TEdit>("PasswordEdit")->PasswordChar(), '*');
  EXPECT_TRUE(Find<TCheckBox>("VerifyCheck")->Checked());
  EXPECT_TRUE(Find<TRadioButton>("FastRadio")->Checked());
  EXPECT_EQ(Find<TRadioButton>("SafeRadio")->Parent(), Find<TWinControl>("ModeGroup"));
  EXPECT_EQ(Find<TComboBox>("AlgorithmCombo")->Items()->Count(), 3);
  EXPECT_EQ(Find<TComboBox>("AlgorithmCombo")->ItemIndex(), 0);
  EXPECT_EQ(Find<TMemo>("LogMemo")->Lines()->Count(), 2);
  EXPECT_EQ(Find<TListBox>("DriveList")->Items()->Strings(0), "C:\\");
  EXPECT_EQ(Find<TListView>("FileList")->Items()->Count(), 3);
  EXPECT_EQ(Find<TUpDown>("CountUpDown")->Position(), 3);
  EXPECT_EQ(Find<TCustomLabel>("TitleLabel")->FocusControl(), Find<TWinControl>("NameEdit"));
  EXPECT_EQ(Find<TButton>("HelpButton")->PopupMenu(), form->FindComponent("ButtonMenu"));
  EXPECT_EQ(Find<TPopupMenu>("ButtonMenu")->Items()->Count(), 3);
  EXPECT_EQ(Find<TProgressBar>("Progress")->Position(), 40);
  EXPECT_NE(Find<TImage>("Picture")->Picture()->Graphic(), nullptr);
}

TEST_F(DialogTest, ShowsLikeANativeDialog) {
  form->Show();
  qvtest::Pump(300);
  std::string path = qvtest::SaveScreenshot(form->Handle(), "every_control");
  EXPECT_FALSE(path.empty());
}

TEST_F(DialogTest, DefaultAndCancelButtonsEndTheModalLoop) {
  form->OnShow = TNotifyEvent(+[](TObject* sender) {
    auto* f = static_cast<TDialogForm*>(sender);
    PostMessageW(qvtest::Find<TWinControl>(f, "NameEdit")->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  form->OnShow = TNotifyEvent(+[](TObject* sender) {
    auto* f = static_cast<TDialogForm*>(sender);
    PostMessageW(qvtest::Find<TWinControl>(f, "NameEdit")->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
  });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  form->OnShow = TNotifyEvent(+[](TObject* sender) {
    HWND ok = qvtest::Find<TWinControl>(static_cast<TDialogForm*>(sender), "CancelButton")->Handle();
    PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(ok, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  });
  EXPECT_EQ(form->ShowModal(), mrCancel);
}

TEST_F(DialogTest, ControlsReactToTheHarness) {
  form->Show();
  auto* edit = Find<TEdit>("NameEdit");
  edit->SetFocus();
  qvtest::TypeText(edit, "!");
  EXPECT_EQ(form->log, (std::vector<std::string>{"name changed"}));
  qvtest::Click(Find<TCheckBox>("VerifyCheck"));
  EXPECT_FALSE(Find<TCheckBox>("VerifyCheck")->Checked());
  EXPECT_EQ(form->log.back(), "verify clicked");
  auto* pages = Find<TPageControl>("Pages");
  pages->SetActivePageIndex(1);
  EXPECT_EQ(form->log.back(), "options shown");
  auto* link = Find<TControl>("LinkLabel");
  SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(link->Left() + 2, link->Top() + 2));
  EXPECT_TRUE(link->Font()->Style().Contains(fsUnderline));
  SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 300));
  EXPECT_FALSE(link->Font()->Style().Contains(fsUnderline));
  auto* ticker = static_cast<TTimer*>(form->FindComponent("Ticker"));
  ticker->SetEnabled(true);
  EXPECT_TRUE(qvtest::PumpUntil([&] { return form->ticks >= 2; }));
  ticker->SetEnabled(false);
}

TEST_F(DialogTest, TheHelpButtonOpensHelpForTheFocusedControl) {
  KeywordViewer viewer;
  Application->HelpSystem()->RegisterViewer(&viewer);
  form->Show();
  SetForegroundWindow(form->Handle());
  Find<TEdit>("NameEdit")->SetFocus();
  Find<TEdit>("NameEdit")->SetHelpKeyword("/files/name.html");
  form->HelpButtonClick(nullptr);  // as the button does: F1 down, no key-up
  qvtest::PumpUntil([&] { return !viewer.shown.empty(); }, 2000);
  keybd_event(VK_F1, 0, KEYEVENTF_KEYUP, 0);
  Find<TWinControl>("CountEdit")->SetFocus();
  qvtest::PressKey(Find<TWinControl>("CountEdit"), VK_F1);
  Application->HelpSystem()->Release(viewer.id);
  ASSERT_EQ(viewer.shown.size(), 2u);  // once per key press
  EXPECT_EQ(viewer.shown[0], "/files/name.html");
  EXPECT_EQ(viewer.shown[1], "/files/params.html");  // no keyword of its own: the form's
}

// Every published property is written; reading the text back and writing again
// gives the same text.
TEST_F(DialogTest, WrittenDefinitionsAreAFixedPoint) {
  std::string first = WriteFormDefinition(form);
  EXPECT_NE(first.find("PasswordChar = \"*\";"), std::string::npos);
  EXPECT_NE(first.find("Associate = CountEdit;"), std::string::npos);
  EXPECT_NE(first.find("Picture.Data = {"), std::string::npos);
  EXPECT_NE(first.find("OnChange = NameEditChange;"), std::string::npos);
  EXPECT_NE(first.find("OnKeyDown = nil;"), std::string::npos);
  TDialogForm* copy = qvtest::NewFormFromText<TDialogForm>(first);
  EXPECT_EQ(copy->Name(), "DialogForm_1");  // beside the first
  form->SetName("Original");
  copy->SetName("DialogForm");
  std::string second = WriteFormDefinition(copy);
  copy->Free();
  EXPECT_EQ(first, second);
}

// A form still alive at process exit is freed with the application, after
// other static objects are gone, without a fault.
TEST(DialogAtExit, AFormAliveAtExitGoesQuietly) {
  EXPECT_EXIT(
      {
        Application->Initialize();
        New<TDialogForm>(Application)->Show();
        Application->ProcessMessages();
        std::exit(3);
      },
      ::testing::ExitedWithCode(3), "");
}
