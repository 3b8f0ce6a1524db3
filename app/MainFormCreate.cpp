// The main form's life: creation, translation, caption, the algorithm list,
// closing with its confirmation, destruction.
#include "MainForm.h"

#include "AlgorithmList.h"
#include "Language.h"
#include "MiscTexts.h"
#include "Settings.h"
#include "StartupTrace.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "WipeDLL.h"
#include "WizardPages.h"
#include "win/ClassInfo.h"
#include "win/controls/Menus.h"
#include "win/controls/StdCtrls.h"

TWizardLinks WizardLinks;
TMainForm* MainForm = nullptr;

namespace {
const TClassRegistrar<TMainForm, TForm> kMainFormRegistrar("TMainForm", {});
}  // namespace

void TMainForm::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  params.WinClassName = u"TMainForm";
}

void TMainForm::FormCreate(TObject*) {
  StartupMark("main form: its definition read, its components made");
  MainForm = this;
  DataStorage = New<TDataStorage>();
  DataStorage->LoadPatterns();
  StartupMark("main form: patterns file");
  FilesToWipeList = nullptr;
  if (DataStorage->LoadFailed) {
    // The program ends: the first start's language choice, its help topic
    // and the first-start flag stay for the next start.
    ShowPage(wpWelcome);
    return;
  }
  // The main block names the help file; it lives in the program's folder.
  const std::string helpFile = Application->HelpFile();
  if (helpFile.find(':') == std::string::npos && helpFile.rfind("\\\\", 0) != 0)
    Application->SetHelpFile(GetApplicationPath() + helpFile);
  if (GlobalFirstStart && WizardLinks.selectLanguage) WizardLinks.selectLanguage();
  UpdateInterfaceLanguage();
  StartupMark("main form: language file, translation");
  LoadAlgoritms();
  StartupMark("main form: algorithm list");
  ShowPage(wpWelcome);
  // Drives without media raise no system box for the rest of the run.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  Busy = false;
  StopRequested = false;
  Done = false;
  FormatValid = false;
  SetCaption(WindowCaption());
  TreeNeedsBuild = true;
  DrivesNeedScan = true;
  // The menu offers only the dialogs this program has.
  Item<TMenuItem>("MainMenuCommonSettings")->SetEnabled(static_cast<bool>(WizardLinks.showAdvancedParams));
  Item<TMenuItem>("MainMenuConfirmations")->SetEnabled(static_cast<bool>(WizardLinks.showAdvancedParams));
  Item<TMenuItem>("MainMenuInterfaceLanguage")->SetEnabled(static_cast<bool>(WizardLinks.showAdvancedParams));
  Item<TMenuItem>("MainMenuAbout")->SetEnabled(static_cast<bool>(WizardLinks.showAbout));
  if (GlobalFirstStart) {
    if (WizardLinks.showHelpTopic) WizardLinks.showHelpTopic("/files/quickstart.html");
    GlobalFirstStart = false;
  }
  CheckState();
  StartupMark("main form: welcome page, caption, state");
}

void TMainForm::FormCloseQuery(TObject*, bool& canClose) {
  canClose = true;
  // A running wipe keeps the form: closing asks whether to stop it, and the
  // form closes once the engine has ended (WipeDLLMessages.cpp).
  if (EngineHoldsForm(this)) {
    canClose = false;
    return;
  }
  if (!ConfirmationsShutdown || !NextStepExists()) return;
  // Texts shown as they stand, whatever characters a translation holds. The
  // box is modal to this form, so nothing of the wizard can be used while it
  // is open.
  const std::string text = MiscText("strConfirmAppExit");
  const std::string caption = MiscText("strConfirmation");
  if (MessageBoxA(Handle(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDNO) {
    canClose = false;
    return;
  }
  // A run started while the box was open (by a message handled meanwhile)
  // gets its own question, as any running wipe does.
  if (EngineHoldsForm(this)) canClose = false;
}

void TMainForm::FormClose(TObject*, TCloseAction& action) { action = caFree; }

void TMainForm::FormDestroy(TObject*) {
  if (DataStorage != nullptr) {
    DataStorage->CheckModified();
    DataStorage->Free();
    DataStorage = nullptr;
  }
  if (MainForm == this) MainForm = nullptr;
}

std::string TMainForm::WindowCaption() const {
  return ProductName + " " + MiscText("strVer") + " " + ProductVersion;
}

void TMainForm::UpdateInterfaceLanguage() {
  // A file that cannot be used is told and forgotten: the built-in texts stay.
  if (!GlobalLanguage.empty()) UseLanguage(GlobalLanguage);
  TranslateForms({this});
}

void TMainForm::LoadAlgoritms() {
  if (DataStorage == nullptr) return;
  auto* combo = Item<TComboBox>("AlgoritmComboBox");
  const int selected = FillAlgorithmList(combo, DataStorage, SelectedPatternCode);
  if (selected < 0) return;
  combo->SetItemIndex(selected);
  AlgoritmComboBoxChange(combo);
}

void TMainForm::AlgoritmComboBoxChange(TObject*) {
  auto* combo = Item<TComboBox>("AlgoritmComboBox");
  const int index = combo->ItemIndex();
  if (index < 0) return;
  auto* pattern = dynamic_cast<TWipePattern*>(combo->Items()->Objects(index));
  if (pattern == nullptr) return;
  Item<TControl>("AlgoritmDescriptionLabel")->SetCaption(pattern->Description);
  SelectedPatternCode = pattern->Code;
  // Next and the reason beside it follow the algorithm now chosen.
  if (Task != 0 && CurrentPage() == wpAlgoritm) CheckState();
}
