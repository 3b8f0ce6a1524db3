#pragma once
// TAboutForm: the program's name, version, build and description (from the
// version resource), links to the product's web and support pages, and the
// legal notices. The layout is the form definition "TAboutForm".
#include "core/PublishedMethods.h"
#include "win/Forms.h"

// The pages the two link labels open.
inline constexpr const char* kProductHomePage = "https://www.halverstrand.example/quorvanell/";
inline constexpr const char* kProductSupportPage = "https://www.halverstrand.example/support/";

class TAboutForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TAboutForm, TForm, QV_METHOD(FormCreate), QV_METHOD(LabelUrlClick),
                       QV_METHOD(LabelUrlMouseMove), QV_METHOD(LabelUrlMouseLeave), QV_METHOD(LabelEmailClick),
                       QV_METHOD(LabelEmailMouseMove), QV_METHOD(LabelEmailMouseLeave),
                       QV_METHOD(ButtonHelpClick))

  // Translates the dialog, then fills name, version line and description.
  void FormCreate(TObject* sender);
  // Open the home or support page (ExecuteProgram reports a failure; the dialog stays).
  void LabelUrlClick(TObject* sender);
  void LabelEmailClick(TObject* sender);
  // Underline the link while the mouse is over it.
  void LabelUrlMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void LabelUrlMouseLeave(TObject* sender);
  void LabelEmailMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void LabelEmailMouseLeave(TObject* sender);
  // Help for the control the user is on (the dialog's "/files/about.html").
  void ButtonHelpClick(TObject* sender);
};

// ProductVersion + " (" + translated "Build" + ": " + BuildNumber + ")".
std::string VersionLine();

// Creates the About dialog owned by the application, shows it modally and frees it.
void ShowAbout();
