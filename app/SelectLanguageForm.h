#pragma once
// TLanguageSelectForm: the first start's question for the interface
// language: the built-in English and every language file beside the
// program, each with its picture. SelectLanguage runs it and applies the
// choice. The dialog is never translated. The layout is the form definition
// "TLanguageSelectForm".
#include <string>
#include <vector>

#include "LngFileList.h"
#include "core/PublishedMethods.h"
#include "win/Forms.h"

// The picture index of a list entry: 1 for "English (Default)" (the first
// entry), 2 "English", 3 "Dutch", 4 "Russian", 5 "German" (exact display
// names), 0 for any other language.
int LanguagePictureIndex(const std::string& displayName, bool builtInEnglish);

class TLanguageSelectForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TLanguageSelectForm, TForm, QV_METHOD(FormCreate), QV_METHOD(LanguageListViewDblClick),
                       QV_METHOD(HelpButtonClick))

  // Lists the languages, selects GlobalLanguage's file (else the first entry)
  // and shows the product's name and version.
  void FormCreate(TObject* sender);
  // Chooses the entry as OK does.
  void LanguageListViewDblClick(TObject* sender);
  // Help for the control the user is on (the dialog's "/files/contents.html").
  void HelpButtonClick(TObject* sender);

  // The language files listed after "English (Default)", in list order.
  const std::vector<TLanguageFileEntry>& LanguageFiles() const { return languageFiles; }
  // Sets GlobalLanguage and LangIni from the selected entry.
  void ApplyChoice();

private:
  std::vector<TLanguageFileEntry> languageFiles;
};

// Runs the dialog; on OK records the choice in GlobalLanguage and loads it.
void SelectLanguage();
