#pragma once
// The main form of the wizard in a test: the wizard's globals reset to a
// second start in the built-in language, handler exceptions turned into test
// failures, and the form's controls found by name.
#include <string>

#include "Language.h"
#include "MainForm.h"
#include "Settings.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "WizardPages.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/FormFixture.h"
#include "win/testing/Harness.h"

struct MainFormTest : qvtest::ApplicationTest {
  // Fixtures set the pattern code, the shutdown confirmation and the links
  // behind the pages after this.
  void SetUp() override {
    ApplicationTest::SetUp();
    ReadVersionInfo();
    Task = 0;
    Step = 1;
    GlobalFirstStart = false;
    GlobalLanguage.clear();
    LangIni = LoadLanguageFile("");
    WizardLinks = TWizardLinks{};
    PatternsFileReader = nullptr;
  }
  void TearDown() override {
    if (form != nullptr && *token) form->Free();
    WizardLinks = TWizardLinks{};
    PatternsFileReader = nullptr;
    LangIni = LoadLanguageFile("");
    GlobalLanguage.clear();
    ApplicationTest::TearDown();
  }

  TMainForm* MakeForm() {
    form = New<TMainForm>(Application);
    token = form->Alive();
    form->Show();
    qvtest::Pump(20);
    return form;
  }

  template <class T = TControl>
  T* Find(const char* name) {
    return qvtest::Find<T>(form, name);
  }
  bool Enabled(const char* name) { return Find(name)->Enabled(); }
  std::string Text(const char* name) { return Find(name)->Caption(); }
  int ActivePageIndex() { return Find<TPageControl>("PageControlMain")->ActivePageIndex(); }
  void Click(const char* name) { qvtest::Click(Find(name)); }

  TMainForm* form = nullptr;
  TAliveToken token;
};
