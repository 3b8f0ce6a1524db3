#include "AboutForm.h"

#include "HtmlHelpInterface.h"
#include "Language.h"
#include "MiscTexts.h"
#include "Utils.h"
#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"
#include "win/controls/StdCtrls.h"

namespace {

const TClassRegistrar<TAboutForm, TForm> kRegistrar("TAboutForm", {});

void SetUnderline(TObject* sender, bool on) {
  auto* label = dynamic_cast<TControl*>(sender);
  if (label == nullptr) return;
  label->Font()->SetStyle(on ? TFontStyles{fsUnderline} : TFontStyles{});
}

}  // namespace

std::string VersionLine() { return ProductVersion + " (" + MiscText("strBuild") + ": " + BuildNumber + ")"; }

void TAboutForm::FormCreate(TObject*) {
  TranslateForms({this});
  if (auto* label = dynamic_cast<TControl*>(FindComponent("LabelProgramVersion")); label != nullptr)
    label->SetCaption(VersionLine());
  if (auto* label = dynamic_cast<TControl*>(FindComponent("LabelProgramName")); label != nullptr)
    label->SetCaption(ProductName);
  if (auto* label = dynamic_cast<TControl*>(FindComponent("LabelProgramDescription")); label != nullptr)
    label->SetCaption(FileDescription);
}

void TAboutForm::LabelUrlClick(TObject*) { ExecuteProgram(kProductHomePage, ""); }
void TAboutForm::LabelEmailClick(TObject*) { ExecuteProgram(kProductSupportPage, ""); }
void TAboutForm::LabelUrlMouseMove(TObject* sender, TShiftState, int, int) { SetUnderline(sender, true); }
void TAboutForm::LabelUrlMouseLeave(TObject* sender) { SetUnderline(sender, false); }
void TAboutForm::LabelEmailMouseMove(TObject* sender, TShiftState, int, int) { SetUnderline(sender, true); }
void TAboutForm::LabelEmailMouseLeave(TObject* sender) { SetUnderline(sender, false); }

void TAboutForm::ButtonHelpClick(TObject* sender) { ShowHelpFor(this, dynamic_cast<TControl*>(sender)); }

void ShowAbout() {
  auto* form = New<TAboutForm>(Application);
  TAliveToken token = form->Alive();
  try {
    form->ShowModal();
  } catch (...) {
    if (*token) form->Free();
    throw;
  }
  if (*token) form->Free();
}
