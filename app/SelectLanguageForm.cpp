#include "SelectLanguageForm.h"

#include "AboutForm.h"
#include "HtmlHelpInterface.h"
#include "Language.h"
#include "Settings.h"
#include "Utils.h"
#include "win/ClassInfo.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

const TClassRegistrar<TLanguageSelectForm, TForm> kRegistrar("TLanguageSelectForm", {});

TListView* LanguageList(const TComponent* form) {
  return dynamic_cast<TListView*>(form->FindComponent("LanguageListView"));
}

void SetLabel(const TComponent* form, const char* name, const std::string& text) {
  if (auto* label = dynamic_cast<TControl*>(form->FindComponent(name)); label != nullptr) label->SetCaption(text);
}

}  // namespace

int LanguagePictureIndex(const std::string& displayName, bool builtInEnglish) {
  if (builtInEnglish) return 1;
  const char* const named[] = {"English", "Dutch", "Russian", "German"};
  for (int i = 0; i < 4; ++i)
    if (displayName == named[i]) return i + 2;
  return 0;
}

void TLanguageSelectForm::FormCreate(TObject*) {
  TListView* list = LanguageList(this);
  list->Clear();
  TListItem* english = list->Items()->Add();
  english->SetCaption(kEnglishDefault);
  english->SetImageIndex(LanguagePictureIndex(kEnglishDefault, true));
  languageFiles = ListLanguageFiles(GetApplicationPath());
  for (const TLanguageFileEntry& entry : languageFiles) {
    TListItem* item = list->Items()->Add();
    item->SetCaption(entry.displayName);
    item->SetImageIndex(LanguagePictureIndex(entry.displayName, false));
  }
  list->SetItemIndex(FindLanguageFile(languageFiles, GlobalLanguage) + 1);
  SetLabel(this, "LabelProgramVersion", VersionLine());
  SetLabel(this, "LabelProgramName", ProductName);
}

void TLanguageSelectForm::LanguageListViewDblClick(TObject*) {
  if (auto* ok = dynamic_cast<TButton*>(FindComponent("OkButton")); ok != nullptr) ok->Click();
}

void TLanguageSelectForm::HelpButtonClick(TObject* sender) { ShowHelpFor(this, dynamic_cast<TControl*>(sender)); }

void TLanguageSelectForm::ApplyChoice() {
  int index = LanguageList(this)->ItemIndex();
  if (index < 1 || index > static_cast<int>(languageFiles.size())) {
    GlobalLanguage.clear();
    FreeAndNil(LangIni);
    return;
  }
  // The name is kept only once its file has loaded.
  ChooseLanguage(LanguageSettingName(languageFiles[static_cast<size_t>(index - 1)]));
}

void SelectLanguage() {
  auto* form = New<TLanguageSelectForm>(Application);
  TAliveToken token = form->Alive();
  try {
    if (form->ShowModal() == mrOk && *token) form->ApplyChoice();
  } catch (...) {
    if (*token) form->Free();
    throw;
  }
  if (*token) form->Free();
}
