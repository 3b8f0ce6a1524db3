// Hands the wizard its dialogs and help: the language choice and quick-start
// topic of the first start, the preferences dialog of the three settings
// items and the About dialog, set by a unit start-up before the main form.
#include "AboutForm.h"
#include "HtmlHelpApi.h"
#include "MainForm.h"
#include "PreferencesForm.h"
#include "SelectLanguageForm.h"
#include "Units.h"

namespace {

void LinkDialogs() {
  WizardLinks.selectLanguage = SelectLanguage;
  WizardLinks.showHelpTopic = ShowHelpTopic;
  WizardLinks.showAdvancedParams = [](int page) { ShowAdvancedParams(page); };
  WizardLinks.showAbout = ShowAbout;
}

const TUnitRegistrar kDialogLinks(LinkDialogs, nullptr);

}  // namespace
