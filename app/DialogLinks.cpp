#include "DialogLinks.h"

#include "AboutForm.h"
#include "HtmlHelpApi.h"
#include "MainForm.h"
#include "PreferencesForm.h"
#include "SelectLanguageForm.h"
#include "Units.h"

void LinkDialogsToWizard() {
  WizardLinks.selectLanguage = SelectLanguage;
  WizardLinks.showHelpTopic = ShowHelpTopic;
  WizardLinks.showAdvancedParams = [](int page) { ShowAdvancedParams(page); };
  WizardLinks.showAbout = ShowAbout;
}

namespace {

const TUnitRegistrar kDialogLinks(LinkDialogsToWizard, nullptr, "dialog links");

}  // namespace
