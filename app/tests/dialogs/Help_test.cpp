// Help: which topic each window asks for, the viewer's other operations, the
// missing control's beep and download offer, and a real HTML Help window.
#include "AboutForm.h"
#include "DialogsFixture.h"
#include "PreferencesForm.h"
#include "SelectLanguageForm.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

std::string HelpFile() { return Application->HelpFile(); }

using HelpTest = DialogsTest;

// F1 on a page's control, and the Help button after a click focused it,
// both ask for the page's topic (the dialog's own on pages without one).
TEST_F(HelpTest, PreferencesTopicFollowsThePage) {
  struct Case {
    int page;
    const char* focus;  // control focused before F1
    const char* topic;
  };
  const Case cases[] = {
      {0, "CommonSplashCheckBox", "/files/params.html"},
      {1, "ConfirmationsShutdownCheckBox", "/files/params.html"},
      {2, "LanguageSelectComboBox", "/files/params.language.html"},
      {3, "AdvancedCheckBoxExpertMode", "/files/params.advanced.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.topic);
    HelpCalls.clear();
    WhenModal<TAdvancedParamsForm>([&](TAdvancedParamsForm* form) {
      auto* control = qvtest::Find<TWinControl>(form, c.focus);
      control->SetFocus();
      qvtest::PressKey(control, VK_F1);
      qvtest::Pump(50);
      auto* help = qvtest::Find<TButton>(form, "ButtonHelp");
      help->SetFocus();
      qvtest::Click(help);
      qvtest::Pump(50);
      // The button leaves no F1 held down.
      EXPECT_EQ(GetKeyState(VK_F1) & 0x8000, 0);
      form->SetModalResult(mrCancel);
    });
    ShowAdvancedParams(c.page);
    ASSERT_EQ(HelpCalls.size(), 2u);
    for (const THelpCall& call : HelpCalls) {
      EXPECT_EQ(call.file, HelpFile() + "::" + c.topic);
      EXPECT_EQ(call.command, HH_DISPLAY_TOPIC);
      EXPECT_EQ(call.data, 0u);
    }
  }
}

TEST_F(HelpTest, AboutAndLanguageDialogsAskForTheirTopic) {
  WhenModal<TAboutForm>([](TAboutForm* form) {
    qvtest::Click(qvtest::Find<TButton>(form, "ButtonHelp"));
    qvtest::PressKey(qvtest::Find<TButton>(form, "ButtonOK"), VK_F1);
    qvtest::Pump(50);
    form->SetModalResult(mrOk);
  });
  ShowAbout();
  ASSERT_EQ(HelpCalls.size(), 2u);
  EXPECT_EQ(HelpCalls[0].file, HelpFile() + "::/files/about.html");
  EXPECT_EQ(HelpCalls[1].file, HelpFile() + "::/files/about.html");

  HelpCalls.clear();
  WhenModal<TLanguageSelectForm>([](TLanguageSelectForm* form) {
    qvtest::Click(qvtest::Find<TButton>(form, "HelpButton"));
    qvtest::Pump(50);
    form->SetModalResult(mrCancel);
  });
  SelectLanguage();
  ASSERT_EQ(HelpCalls.size(), 1u);
  EXPECT_EQ(HelpCalls[0].file, HelpFile() + "::/files/contents.html");
  EXPECT_NE(HelpCalls[0].owner, nullptr);
}

TEST_F(HelpTest, ViewerOperations) {
  TSPHelpViewer* viewer = HelpViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetViewerName(), "HtmlHelp");
  EXPECT_EQ(viewer->UnderstandsKeyword("anything"), 1);
  TStringList* lines = viewer->GetHelpStrings("/files/about.html");
  ASSERT_EQ(lines->Count(), 1);
  EXPECT_EQ(lines->Strings(0), "HtmlHelp: /files/about.html");
  lines->Free();

  viewer->DisplayTopic("intro");
  viewer->ShowTableOfContents();
  viewer->DisplayHelpByContext(42, "");
  viewer->SoftShutDown();
  ASSERT_EQ(HelpCalls.size(), 4u);
  EXPECT_EQ(HelpCalls[0].file, HelpFile() + " ::/intro.htm");
  EXPECT_EQ(HelpCalls[0].command, HH_DISPLAY_TOPIC);
  EXPECT_EQ(HelpCalls[1].file, HelpFile());
  EXPECT_EQ(HelpCalls[1].command, HH_DISPLAY_TOC);
  EXPECT_EQ(HelpCalls[2].command, HH_HELP_CONTEXT);
  EXPECT_EQ(HelpCalls[2].data, 42u);
  EXPECT_EQ(HelpCalls[3].command, HH_CLOSE_ALL);

  // A help file that is not there: the viewer does nothing.
  HelpCalls.clear();
  Application->SetHelpFile(GetApplicationPath() + "Missing.chm");
  viewer->ShowHelp("/files/about.html");
  viewer->DisplayHelpByContext(1, GetApplicationPath() + "Other.chm");
  EXPECT_TRUE(HelpCalls.empty());

  // The selector picks the viewer's entry; the old-style viewer declines all.
  EXPECT_EQ(Application->HelpSystem()->HelpSelector()->SelectKeyword(nullptr), viewer->ViewerId() - 1);
  ASSERT_NE(WinHelpTester, nullptr);
  EXPECT_FALSE(WinHelpTester->CanShowTopic("x", "y"));
  EXPECT_FALSE(WinHelpTester->CanShowContext(1, "y"));
  EXPECT_EQ(WinHelpTester->GetHelpStrings("x"), nullptr);
}

TEST_F(HelpTest, ShowHelpTopicReportsAFailedHelpFileOnly) {
  static std::vector<std::string> errors;
  errors.clear();
  auto savedError = HtmlHelpHooks.showError;
  HtmlHelpHooks.showError = [](const std::string& text) { errors.push_back(text); };
  Application->SetHelpFile("C:\\Nowhere\\Quorvanell.chm");
  HelpCallResult = nullptr;  // HTML Help fails
  ShowHelpTopic("/files/quickstart.html");
  ASSERT_EQ(HelpCalls.size(), 1u);
  EXPECT_EQ(HelpCalls[0].file, "C:\\Nowhere\\Quorvanell.chm::/files/quickstart.html");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Can't open help file (C:\\Nowhere\\Quorvanell.chm).");
  HelpCallResult = kHtmlHelpUnavailable;  // control missing: no box
  ShowHelpTopic("/files/quickstart.html");
  EXPECT_EQ(errors.size(), 1u);
  HtmlHelpHooks.showError = savedError;
}

// The control cannot be loaded: every request beeps; the offer comes until
// the user accepts it once.
struct MissingControl : DialogsTest {
  void SetUp() override {
    DialogsTest::SetUp();
    saved = HtmlHelpHooks;
    HtmlHelpHooks.entry = nullptr;
    HtmlHelpHooks.libraryName = "NoSuchHHCtrl.ocx";
    HtmlHelpHooks.beep = [] { ++beeps; };
    HtmlHelpHooks.openPage = [](const std::string& url) { pages.push_back(url); };
    ResetHtmlHelp();
    beeps = 0;
    pages.clear();
  }
  void TearDown() override {
    HtmlHelpHooks = saved;
    ResetHtmlHelp();
    DialogsTest::TearDown();
  }
  THtmlHelpHooks saved;
  static inline int beeps = 0;
  static inline std::vector<std::string> pages;
};

TEST_F(MissingControl, BeepsAndOffersTheDownloadUntilAccepted) {
  static std::vector<std::string> offers;
  static bool accept = false;
  offers.clear();
  HtmlHelpHooks.offerDownload = [](const std::string& text) {
    offers.push_back(text);
    return accept;
  };
  accept = false;
  EXPECT_EQ(HtmlHelp(nullptr, "x.chm", HH_DISPLAY_TOPIC, 0), kHtmlHelpUnavailable);
  EXPECT_EQ(HtmlHelp(nullptr, "x.chm", HH_DISPLAY_TOPIC, 0), kHtmlHelpUnavailable);
  EXPECT_EQ(beeps, 2);
  EXPECT_EQ(offers.size(), 2u);
  EXPECT_TRUE(pages.empty());
  accept = true;
  HtmlHelp(nullptr, "x.chm", HH_DISPLAY_TOPIC, 0);
  EXPECT_EQ(offers.size(), 3u);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], kHtmlHelpDownloadPage);
  HtmlHelp(nullptr, "x.chm", HH_DISPLAY_TOPIC, 0);
  EXPECT_EQ(beeps, 4);
  EXPECT_EQ(offers.size(), 3u);
  EXPECT_EQ(offers[0],
            "Unable to load \"HHCtrl.ocx\" library !!!\r\n"
            "Press OK Button to download and install the latest version\r\n"
            "of the HTML Help Workshop from the Microsoft Web Site.");
  // Closing the help windows at exit neither beeps nor offers.
  HelpViewer()->SoftShutDown();
  EXPECT_EQ(beeps, 4);
}

// F1 reaches the real offer box; Cancel there shows nothing else.
TEST_F(MissingControl, F1ShowsTheOfferBox) {
  static std::string boxText;
  boxText.clear();
  WhenModal<TAboutForm>([](TAboutForm* form) {
    WhenWindow("#32770", "Error", [](HWND box) {
      qvtest::SaveScreenshot(box, "dialogs_help_download_offer");
      HWND text = GetDlgItem(box, 0xFFFF);
      char buffer[512] = {};
      if (text != nullptr) GetWindowTextA(text, buffer, sizeof buffer);
      boxText = buffer;
      PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    qvtest::PressKey(qvtest::Find<TButton>(form, "ButtonOK"), VK_F1);
    qvtest::Pump(300);
    form->SetModalResult(mrOk);
  });
  ShowAbout();
  EXPECT_EQ(beeps, 1);
  EXPECT_NE(boxText.find("Unable to load \"HHCtrl.ocx\" library !!!"), std::string::npos) << boxText;
  EXPECT_TRUE(pages.empty());
  EXPECT_FALSE(HtmlHelpOfferAccepted());
}

// A library of the control's name on the search path, outside the system
// folder, is never loaded; the control comes from the system folder alone.
TEST_F(MissingControl, AControlOutsideTheSystemFolderIsNeverLoaded) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  folder = folder.substr(0, folder.rfind(L'\\')) + L"\\fake-hhctrl";
  // Under a name the system has no control of, so only the search order can find it.
  ASSERT_TRUE(CopyFileW((folder + L"\\HHCtrl.ocx").c_str(), (folder + L"\\QvStrangeHelp.ocx").c_str(), FALSE));
  ASSERT_TRUE(SetDllDirectoryW(folder.c_str()));
  HMODULE byName = LoadLibraryW(L"QvStrangeHelp.ocx");
  ASSERT_NE(byName, nullptr) << "the fake control cannot be loaded by name";
  FreeLibrary(byName);
  HtmlHelpHooks.offerDownload = [](const std::string&) { return false; };
  HtmlHelpHooks.libraryName = "QvStrangeHelp.ocx";
  EXPECT_EQ(HtmlHelp(nullptr, "x.chm", HH_CLOSE_ALL, 0), kHtmlHelpUnavailable);
  EXPECT_EQ(GetModuleHandleW(L"QvStrangeHelp.ocx"), nullptr);
  // Under its own name the system's control answers, not the stranger's.
  HtmlHelpHooks.libraryName = "HHCtrl.ocx";
  ResetHtmlHelp();
  const HWND answer = HtmlHelp(nullptr, "x.chm", HH_CLOSE_ALL, 0);
  SetDllDirectoryW(nullptr);
  EXPECT_NE(answer, reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150)));
}

// The system's control under Wine: the window opens for the quick-start
// topic and closes with the viewer's shut-down.
TEST_F(HelpTest, RealHtmlHelpWindowOpens) {
  HtmlHelpHooks.entry = nullptr;
  ResetHtmlHelp();
  ShowHelpTopic("/files/quickstart.html");
  ASSERT_TRUE(HtmlHelpLoaded()) << "HHCtrl.ocx not available";
  HWND window = nullptr;
  qvtest::PumpUntil([&] { return (window = FindOwnWindow("HH Parent")) != nullptr; }, 5000);
  ASSERT_NE(window, nullptr) << "no HTML Help window";
  qvtest::Pump(300);
  qvtest::SaveScreenshot(window, "dialogs_help_window");
  HelpViewer()->SoftShutDown();
  qvtest::PumpUntil([] { return FindOwnWindow("HH Parent") == nullptr; }, 5000);
  EXPECT_EQ(FindOwnWindow("HH Parent"), nullptr);
}

}  // namespace
