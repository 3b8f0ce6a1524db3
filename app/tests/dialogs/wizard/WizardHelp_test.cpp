// The dialogs as the wizard reaches them: the first start's language choice
// and quick-start topic, the menu's dialogs, and F1 on every wizard page.
#include "../DialogsFixture.h"
#include "AboutForm.h"
#include "BrowseDir.h"
#include "DialogLinks.h"
#include "MainForm.h"
#include "PreferencesForm.h"
#include "SelectLanguageForm.h"
#include "WipeAlgTypes.h"
#include "win/controls/ComCtrls.h"

namespace {

void OnePattern(TDataStorage* storage) {
  auto* pattern = New<TWipePattern>(1, "RANDOM", "Random data", "One pass of random data.");
  pattern->Passes->Add(New<TWipePass>(1, "00", ""));
  storage->Patterns->Add(pattern);
}

struct WizardDialogsTest : DialogsTest {
  void SetUp() override {
    DialogsTest::SetUp();
    WizardLinks = TWizardLinks{};
    LinkDialogsToWizard();
    PatternsFileReader = OnePattern;
    GlobalFirstStart = false;
    Task = 0;
    Step = 1;
  }
  void TearDown() override {
    if (form != nullptr && *token) form->Free();
    WizardLinks = TWizardLinks{};
    PatternsFileReader = nullptr;
    GlobalFirstStart = false;
    DialogsTest::TearDown();
  }
  TMainForm* MakeForm() {
    form = New<TMainForm>(Application);
    token = form->Alive();
    form->Show();
    qvtest::Pump(20);
    return form;
  }
  TMainForm* form = nullptr;
  TAliveToken token;
};

TEST_F(WizardDialogsTest, FirstStartAsksForTheLanguageThenOpensQuickStart) {
  AddLanguageFile("Testing.lng", "[Misc]\r\nstrVer=ver.\r\n");
  GlobalFirstStart = true;
  WhenModal<TLanguageSelectForm>([](TLanguageSelectForm* f) {
    auto* list = qvtest::Find<TListView>(f, "LanguageListView");
    for (int i = 0; i < list->Items()->Count(); ++i)
      if (list->Items()->Item(i)->Caption() == "Testing") list->SetItemIndex(i);
    f->SetModalResult(mrOk);
  });
  MakeForm();
  EXPECT_EQ(GlobalLanguage, "Testing.lng");
  EXPECT_FALSE(GlobalFirstStart);
  // The main form translated itself with the chosen file.
  EXPECT_EQ(form->Caption(), "Quorvanell ver. 1.0");
  ASSERT_EQ(HelpCalls.size(), 1u);
  EXPECT_EQ(HelpCalls[0].file, Application->HelpFile() + "::/files/quickstart.html");
  EXPECT_EQ(HelpCalls[0].command, HH_DISPLAY_TOPIC);
}

TEST_F(WizardDialogsTest, MenuOpensTheDialogs) {
  MakeForm();
  int seenPage = -1;
  WhenModal<TAdvancedParamsForm>([&](TAdvancedParamsForm* f) {
    seenPage = qvtest::Find<TPageControl>(f, "MainPageControl")->ActivePageIndex();
    f->SetModalResult(mrCancel);
  });
  form->MainMenuInterfaceLanguageClick(nullptr);
  EXPECT_EQ(seenPage, 2);
  WhenModal<TAdvancedParamsForm>([&](TAdvancedParamsForm* f) {
    seenPage = qvtest::Find<TPageControl>(f, "MainPageControl")->ActivePageIndex();
    f->SetModalResult(mrCancel);
  });
  form->MainMenuConfirmationsClick(nullptr);
  EXPECT_EQ(seenPage, 1);
  bool about = false;
  WhenModal<TAboutForm>([&](TAboutForm* f) {
    about = true;
    f->SetModalResult(mrOk);
  });
  form->MainMenuAboutClick(nullptr);
  EXPECT_TRUE(about);
  EXPECT_EQ(form->Caption(), "Quorvanell v. 1.0");
}

// F1 on every page of the wizard opens the contents topic.
TEST_F(WizardDialogsTest, F1OnEveryPageOpensTheContents) {
  MakeForm();
  auto* pages = qvtest::Find<TPageControl>(form, "PageControlMain");
  for (int i = 0; i < pages->PageCount(); ++i) {
    SCOPED_TRACE(pages->Pages(i)->Name());
    HelpCalls.clear();
    pages->SetActivePageIndex(i);
    qvtest::PressKey(pages->Pages(i), VK_F1);
    qvtest::Pump(30);
    ASSERT_EQ(HelpCalls.size(), 1u);
    EXPECT_EQ(HelpCalls[0].file, Application->HelpFile() + "::/files/contents.html");
  }
}

// The Help button asks for help once, without leaving F1 looking held down.
TEST_F(WizardDialogsTest, HelpButtonAsksOnceAndLeavesNoKeyHeld) {
  MakeForm();
  auto* pages = qvtest::Find<TPageControl>(form, "PageControlMain");
  for (int i = 0; i < pages->PageCount(); ++i) {
    SCOPED_TRACE(pages->Pages(i)->Name());
    HelpCalls.clear();
    pages->SetActivePageIndex(i);
    qvtest::Click(qvtest::Find<TControl>(form, "BottomHelp"));
    qvtest::Pump(30);
    ASSERT_EQ(HelpCalls.size(), 1u);
    EXPECT_EQ(HelpCalls[0].file, Application->HelpFile() + "::/files/contents.html");
    EXPECT_EQ(GetAsyncKeyState(VK_F1) & 0x8000, 0);
  }
}

// The main form carries the folder browser as its definition states it.
TEST_F(WizardDialogsTest, MainFormCarriesTheFolderBrowser) {
  MakeForm();
  auto* browser = qvtest::Find<TBrowseDirectoryDlg>(form, "BrowseDirectoryDlg");
  EXPECT_EQ(browser->Title(), "Folder:");
  EXPECT_EQ(browser->Caption(), "Select Folder");
  EXPECT_TRUE(browser->ShowSelectionInStatus());
}

}  // namespace
