#include "PreferencesForm.h"

#include <algorithm>

#include "HtmlHelpInterface.h"
#include "Language.h"
#include "Settings.h"
#include "Utils.h"
#include "win/ClassInfo.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

int LastPage = 0;
int InitialLanguageIndex = 0;

namespace {

const TClassRegistrar<TAdvancedParamsForm, TForm> kRegistrar("TAdvancedParamsForm", {});

template <class T>
T* Part(const TComponent* form, const char* name) {
  return dynamic_cast<T*>(form->FindComponent(name));
}

}  // namespace

void TAdvancedParamsForm::FormCreate(TObject*) {
  TranslateForms({this});
  auto* splash = Part<TCheckBox>(this, "CommonSplashCheckBox");
  splash->SetChecked(GlobalSplashShow);
  Part<TUpDown>(this, "CommonSplashUpDown")->SetPosition(GlobalSplashDelay);
  CommonSplashCheckBoxClick(splash);
  Part<TCheckBox>(this, "ConfirmationsShutdownCheckBox")->SetChecked(ConfirmationsShutdown);

  auto* combo = Part<TComboBox>(this, "LanguageSelectComboBox");
  combo->Items()->Clear();
  combo->Items()->Add(kEnglishDefault);
  languageFiles = ListLanguageFiles(GetApplicationPath());
  for (const TLanguageFileEntry& entry : languageFiles) combo->Items()->Add(entry.displayName);
  combo->SetItemIndex(FindLanguageFile(languageFiles, GlobalLanguage) + 1);
  InitialLanguageIndex = combo->ItemIndex();
}

void TAdvancedParamsForm::CommonSplashCheckBoxClick(TObject*) {
  bool on = Part<TCheckBox>(this, "CommonSplashCheckBox")->Checked();
  for (const char* name : {"CommonSplashEdit", "CommonSplashUpDown", "CommonSplashSecLabel", "CommonStartupDelayLabel"})
    Part<TControl>(this, name)->SetEnabled(on);
}

void TAdvancedParamsForm::ButtonHelpClick(TObject* sender) {
  ShowHelpFor(this, dynamic_cast<TControl*>(sender), Part<TPageControl>(this, "MainPageControl")->ActivePage());
}

// A number typed into the field counts even when the arrows' control refuses
// it (out of range); text that is no number leaves the arrows' position.
int TAdvancedParamsForm::ChosenSplashDelay() const {
  auto* upDown = Part<TUpDown>(this, "CommonSplashUpDown");
  int value = upDown->Position();
  const std::string text = Part<TEdit>(this, "CommonSplashEdit")->Text();
  if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos)
    value = std::stoi(text);
  return ClampSplashDelay(std::clamp(value, upDown->Min(), upDown->Max()));
}

void TAdvancedParamsForm::ApplyChoices() {
  GlobalSplashShow = Part<TCheckBox>(this, "CommonSplashCheckBox")->Checked();
  GlobalSplashDelay = ChosenSplashDelay();
  ConfirmationsShutdown = Part<TCheckBox>(this, "ConfirmationsShutdownCheckBox")->Checked();
  int index = Part<TComboBox>(this, "LanguageSelectComboBox")->ItemIndex();
  if (index != InitialLanguageIndex) {
    if (index > 0 && index <= static_cast<int>(languageFiles.size())) {
      // The name is kept only once its file has loaded.
      ChooseLanguage(LanguageSettingName(languageFiles[static_cast<size_t>(index - 1)]));
    } else {
      GlobalLanguage.clear();
      FreeAndNil(LangIni);
    }
  }
  LastPage = Part<TPageControl>(this, "MainPageControl")->ActivePageIndex();
}

bool ShowAdvancedParams(int page) {
  auto* form = New<TAdvancedParamsForm>(Application);
  TAliveToken token = form->Alive();
  bool ok = false;
  try {
    if (page == -1) page = LastPage;
    Part<TPageControl>(form, "MainPageControl")->SetActivePageIndex(page);
    if (form->ShowModal() == mrOk && *token) {
      ok = true;
      form->ApplyChoices();
    }
  } catch (...) {
    if (*token) form->Free();
    throw;
  }
  if (*token) form->Free();
  return ok;
}
