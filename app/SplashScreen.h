#pragma once
// TSplashForm: the borderless picture shown while the main window is
// created. It closes itself after GlobalSplashDelay seconds (at least one,
// see ClampSplashDelay) or on a click; closing only hides it, the
// application frees it.
#include <string>

#include "core/PublishedMethods.h"
#include "win/Forms.h"

// The notice line shown at the splash's bottom edge.
inline constexpr const char* kSplashNotice = "Copyright (C) 2026 Halverstrand";

class TSplashForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TSplashForm, TForm, QV_METHOD(FormCreate), QV_METHOD(CloseTimerTimer),
                       QV_METHOD(ImageClick))

  // Translates the form, sets the notice and the close delay, loads the
  // picture; a picture that cannot be decoded leaves the window white and
  // start-up goes on.
  void FormCreate(TObject* sender);
  ~TSplashForm() override;
  // Stops the timer and closes (hides) the splash.
  void CloseTimerTimer(TObject* sender);
  void ImageClick(TObject* sender);
  // Shows the splash always on top: above every window this program shows
  // while it is up (the main form, the first start's dialogs), also where no
  // window manager keeps a topmost window above later ones. A message box is
  // the exception: while one is up the splash stays behind it, and comes on
  // top again once the last box is gone.
  void ShowOnTop();

  // Why the picture is missing (empty when it loaded).
  const std::string& PictureError() const { return pictureError; }

private:
  std::string pictureError;
};

// The splash while it exists.
extern TSplashForm* SplashForm;
// The resource name of the splash picture (type "JPEG"); tests may name another.
extern std::string SplashPictureResource;
