#pragma once
// Hands the wizard its dialogs and help through WizardLinks: the language
// choice and quick-start topic of the first start, the preferences dialog of
// the three settings items and the About dialog. Runs as a unit start-up
// before the main form exists; callable again (tests).
void LinkDialogsToWizard();
