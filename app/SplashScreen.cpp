#include "SplashScreen.h"

#include <exception>

#include "Language.h"
#include "Settings.h"
#include "Utils.h"
#include "win/ClassInfo.h"
#include "win/Timer.h"
#include "win/controls/ExtCtrls.h"

TSplashForm* SplashForm = nullptr;
std::string SplashPictureResource = "GFX_SPLASH";

namespace {
const TClassRegistrar<TSplashForm, TForm> kSplashFormRegistrar("TSplashForm", {});
}  // namespace

void TSplashForm::FormCreate(TObject*) {
  SplashForm = this;
  TranslateForms({this});
  static_cast<TControl*>(FindComponent("LabelCopyright"))->SetCaption(kSplashNotice);
  // 0 would keep the splash up for ever; large values overflow the interval.
  auto* timer = static_cast<TTimer*>(FindComponent("CloseTimer"));
  timer->SetInterval(ClampSplashDelay(GlobalSplashDelay) * 1000);
  auto* image = static_cast<TImage*>(FindComponent("Image"));
  try {
    LoadJPEGResource(SplashPictureResource, image->Picture());
  } catch (const std::exception& e) {
    // A missing or damaged picture never stops start-up.
    pictureError = e.what();
  }
}

TSplashForm::~TSplashForm() {
  if (SplashForm == this) SplashForm = nullptr;
}

void TSplashForm::CloseTimerTimer(TObject*) {
  static_cast<TTimer*>(FindComponent("CloseTimer"))->SetEnabled(false);
  Close();
}

void TSplashForm::ImageClick(TObject*) { Close(); }
