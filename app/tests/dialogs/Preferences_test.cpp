// The preferences dialog: pages, enabled states, the language list, what OK
// and Cancel do to the settings, and the settings' way into the registry.
#include "../services/SettingsBackup.h"
#include "DialogsFixture.h"
#include "PreferencesForm.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

struct PreferencesTest : DialogsTest {
  void SetUp() override {
    DialogsTest::SetUp();
    LastPage = 0;
  }
  // Runs the dialog on page; act sees it open and returns the button to press.
  bool Run(int page, const std::function<const char*(TAdvancedParamsForm*)>& act) {
    WhenModal<TAdvancedParamsForm>([act](TAdvancedParamsForm* form) {
      const char* button = act(form);
      qvtest::Click(qvtest::Find<TButton>(form, button));
    });
    return ShowAdvancedParams(page);
  }
  static TComboBox* Languages(TAdvancedParamsForm* f) { return qvtest::Find<TComboBox>(f, "LanguageSelectComboBox"); }
  static int Page(TAdvancedParamsForm* f) { return qvtest::Find<TPageControl>(f, "MainPageControl")->ActivePageIndex(); }
};

TEST_F(PreferencesTest, LastPageIsKeptByOkOnly) {
  int seen = -2;
  EXPECT_TRUE(Run(-1, [&](TAdvancedParamsForm* f) { seen = Page(f); return "ButtonOk"; }));
  EXPECT_EQ(seen, 0);
  EXPECT_TRUE(Run(2, [&](TAdvancedParamsForm* f) { seen = Page(f); return "ButtonOk"; }));
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(Run(1, [&](TAdvancedParamsForm*) { return "ButtonCancel"; }));
  Run(-1, [&](TAdvancedParamsForm* f) { seen = Page(f); return "ButtonCancel"; });
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(LastPage, 2);
}

TEST_F(PreferencesTest, SplashCheckBoxEnablesTheDelay) {
  GlobalSplashShow = false;
  Run(0, [](TAdvancedParamsForm* f) {
    const char* names[] = {"CommonSplashEdit", "CommonSplashUpDown", "CommonSplashSecLabel", "CommonStartupDelayLabel"};
    for (const char* n : names) EXPECT_FALSE(qvtest::Find(f, n)->Enabled()) << n;
    qvtest::Click(qvtest::Find(f, "CommonSplashCheckBox"));
    for (const char* n : names) EXPECT_TRUE(qvtest::Find(f, n)->Enabled()) << n;
    qvtest::Click(qvtest::Find(f, "CommonSplashCheckBox"));
    for (const char* n : names) EXPECT_FALSE(qvtest::Find(f, n)->Enabled()) << n;
    return "ButtonCancel";
  });
}

// Every field changed, then Cancel: nothing moves.
TEST_F(PreferencesTest, CancelChangesNothing) {
  AddLanguageFile("German.lng");
  Run(0, [](TAdvancedParamsForm* f) {
    qvtest::Click(qvtest::Find(f, "CommonSplashCheckBox"));
    qvtest::Find<TUpDown>(f, "CommonSplashUpDown")->SetPosition(9);
    qvtest::Click(qvtest::Find(f, "ConfirmationsShutdownCheckBox"));
    Languages(f)->SetItemIndex(1);
    return "ButtonCancel";
  });
  EXPECT_TRUE(GlobalSplashShow);
  EXPECT_EQ(GlobalSplashDelay, 1);
  EXPECT_TRUE(ConfirmationsShutdown);
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_EQ(LangIni, nullptr);
  EXPECT_EQ(LastPage, 0);
}

// A typed delay outside 0..20 is never stored; 0 becomes the settings' least.
TEST_F(PreferencesTest, TypedDelayIsKeptInRange) {
  const std::pair<const char*, int> cases[] = {{"7", 7}, {"99", 20}, {"0", 1}, {"20", 20}};
  for (auto [typed, stored] : cases) {
    SCOPED_TRACE(typed);
    Run(0, [typed](TAdvancedParamsForm* f) {
      auto* edit = qvtest::Find<TEdit>(f, "CommonSplashEdit");
      edit->SetTextProp(typed);
      return "ButtonOk";
    });
    EXPECT_EQ(GlobalSplashDelay, stored);
  }
}

TEST_F(PreferencesTest, LanguageListSelectsAndLoadsByFileName) {
  AddLanguageFile("German.lng", "[Misc]\r\nstrBuild=Bau\r\n");
  AddLanguageFile("Chinese.Simplified.lng", "[Misc]\r\nstrBuild=JianTi\r\n");
  // Stored in lower case, found by its file name.
  GlobalLanguage = "german.lng";
  std::vector<std::string> items;
  Run(2, [&](TAdvancedParamsForm* f) {
    for (int i = 0; i < Languages(f)->Items()->Count(); ++i) items.push_back(Languages(f)->Items()->Strings(i));
    EXPECT_EQ(Languages(f)->Text(), "German");
    return "ButtonOk";
  });
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], "English (Default)");
  EXPECT_NE(std::find(items.begin(), items.end(), "Chinese.simplified"), items.end());
  // OK without a change loads nothing.
  EXPECT_EQ(GlobalLanguage, "german.lng");
  EXPECT_EQ(LangIni, nullptr);

  // A name with several dots keeps them: the setting names the same file.
  Run(2, [](TAdvancedParamsForm* f) {
    int index = -1;
    for (int i = 0; i < Languages(f)->Items()->Count(); ++i)
      if (Languages(f)->Items()->Strings(i) == "Chinese.simplified") index = i;
    Languages(f)->SetItemIndex(index);
    return "ButtonOk";
  });
  EXPECT_EQ(GlobalLanguage, "Chinese.simplified.lng");
  ASSERT_NE(LangIni, nullptr);
  EXPECT_EQ(LangString("Build", "strBuild"), "JianTi");

  // Back to the built-in English: no file stays loaded.
  Run(2, [](TAdvancedParamsForm* f) {
    Languages(f)->SetItemIndex(0);
    return "ButtonOk";
  });
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_EQ(LangIni, nullptr);
}

TEST_F(PreferencesTest, MissingLanguageFileSelectsEnglish) {
  GlobalLanguage = "Klingon.lng";
  Run(2, [](TAdvancedParamsForm* f) {
    EXPECT_EQ(Languages(f)->ItemIndex(), 0);
    return "ButtonOk";
  });
  EXPECT_EQ(GlobalLanguage, "Klingon.lng");
}

// A chosen language file that cannot be used (far too large, random bytes,
// deleted while the dialog is open) is told in a box naming it and why; the
// built-in English stays and the name is not kept.
TEST_F(PreferencesTest, AnUnusableLanguageFileIsToldAndNotKept) {
  AddLanguageFile("German.lng", "[Misc]\r\nstrBuild=Bau\r\n");
  AddLanguageFile("Huge.lng");
  ASSERT_TRUE(MakeSparseTestFile("Huge.lng", 1200ll * 1024 * 1024));
  AddLanguageFile("Broken.lng", std::string("\x8F\x03\xE1\0[\x1B\xFF=\x07", 9));
  AddLanguageFile("Gone.lng");
  for (const std::string told : {"Huge: 1,258,291,200 bytes", "Broken: It is not text", "Gone: It no longer exists."}) {
    const std::string shown = told.substr(0, told.find(':'));
    GlobalLanguage = "German.lng";
    LangIni = LoadLanguageFile("German.lng");
    static std::string box;
    box.clear();
    EXPECT_TRUE(Run(2, [&](TAdvancedParamsForm* f) {
      Languages(f)->SetItemIndex(Languages(f)->Items()->IndexOf(shown));
      if (shown == "Gone") RemoveTestFile("Gone.lng");
      WhenMessageBox("Error", &box);
      return "ButtonOk";
    }));
    EXPECT_NE(box.find(GetApplicationPath() + shown + ".lng"), std::string::npos) << box;
    EXPECT_NE(box.find(told.substr(shown.size() + 2)), std::string::npos) << box;
    EXPECT_EQ(LangIni, nullptr);
    EXPECT_EQ(GlobalLanguage, "");
    EXPECT_EQ(LangString("Build", "strBuild"), "Build");
  }
}

// OK in the dialog, then the program's exit: the registry holds the choices.
TEST_F(PreferencesTest, ChoicesReachTheRegistry) {
  TSettingsBackup backup;
  AddLanguageFile("German.lng");
  Run(0, [](TAdvancedParamsForm* f) {
    qvtest::Click(qvtest::Find(f, "CommonSplashCheckBox"));
    qvtest::Find<TUpDown>(f, "CommonSplashUpDown")->SetPosition(12);
    qvtest::Click(qvtest::Find(f, "ConfirmationsShutdownCheckBox"));
    Languages(f)->SetItemIndex(1);
    return "ButtonOk";
  });
  EXPECT_FALSE(GlobalSplashShow);
  EXPECT_EQ(GlobalSplashDelay, 12);
  EXPECT_FALSE(ConfirmationsShutdown);
  EXPECT_EQ(GlobalLanguage, "German.lng");
  ASSERT_TRUE(SaveSettings());
  EXPECT_FALSE(ReadRegBool(kSettingsGlobalKey, "GlobalSplashShow", true));
  EXPECT_EQ(ReadRegInteger(kSettingsGlobalKey, "GlobalSplashDelay", 0), 12);
  EXPECT_FALSE(ReadRegBool(kSettingsGlobalKey, "ConfirmationsShutdown", true));
  std::string language;
  ReadRegString(kSettingsGlobalKey, "GlobalLanguage", "", language);
  EXPECT_EQ(language, "German.lng");
  // The next start reads them back.
  GlobalSplashShow = true;
  GlobalSplashDelay = 1;
  ConfirmationsShutdown = true;
  GlobalLanguage.clear();
  LoadSettings();
  EXPECT_FALSE(GlobalSplashShow);
  EXPECT_EQ(GlobalSplashDelay, 12);
  EXPECT_FALSE(ConfirmationsShutdown);
  EXPECT_EQ(GlobalLanguage, "German.lng");
}

struct PreferencesShots : PreferencesTest, ::testing::WithParamInterface<const char*> {};

TEST_P(PreferencesShots, EveryPage) {
  AddLanguageFile("German.lng", ShippedGerman());
  std::string prefix = GetParam()[0] == 0 ? "en" : "de";
  if (prefix == "de") {
    GlobalLanguage = "German.lng";
    LangIni = LoadLanguageFile(GlobalLanguage);
  }
  for (int page = 0; page < 4; ++page) {
    Run(page, [&](TAdvancedParamsForm* f) {
      qvtest::Pump(100);
      qvtest::SaveScreenshot(f->Handle(), "dialogs_" + prefix + "_preferences_" + std::to_string(page));
      if (prefix == "de") EXPECT_EQ(f->Caption(), "Einstellungen");
      return "ButtonCancel";
    });
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, PreferencesShots, ::testing::Values("", "German.lng"));

}  // namespace
