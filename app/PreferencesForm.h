#pragma once
// TAdvancedParamsForm: the preferences dialog (splash window, shutdown
// confirmation, interface language). ShowAdvancedParams runs it on a page and
// on OK copies the choices into the settings globals and loads the chosen
// language file; the registry is written at program end. The layout is the
// form definition "TAdvancedParamsForm".
#include <string>
#include <vector>

#include "LngFileList.h"
#include "core/PublishedMethods.h"
#include "win/Forms.h"

class TAdvancedParamsForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TAdvancedParamsForm, TForm, QV_METHOD(FormCreate), QV_METHOD(CommonSplashCheckBoxClick),
                       QV_METHOD(ButtonHelpClick))

  // Translates the dialog, shows the settings and fills the language list
  // (selecting GlobalLanguage's file, else "English (Default)").
  void FormCreate(TObject* sender);
  // The delay field, its arrows and both labels follow the check box.
  void CommonSplashCheckBoxClick(TObject* sender);
  // Help for the control the user is on, else for the active page.
  void ButtonHelpClick(TObject* sender);

  // The language files listed after "English (Default)", in list order.
  const std::vector<TLanguageFileEntry>& LanguageFiles() const { return languageFiles; }
  // The delay as chosen: the arrows' position (a typed value is kept within
  // 0..20), then within the settings' bounds.
  int ChosenSplashDelay() const;
  // Copies the choices into the settings globals and loads a changed language.
  void ApplyChoices();

private:
  std::vector<TLanguageFileEntry> languageFiles;
};

// The page active when the dialog was last closed with OK (0 at start).
extern int LastPage;
// The language list index selected when the dialog was last created.
extern int InitialLanguageIndex;

// Runs the dialog on page (0 common, 1 confirmations, 2 language, -1 the last
// page); true when the user pressed OK. Cancel changes nothing.
bool ShowAdvancedParams(int page);
