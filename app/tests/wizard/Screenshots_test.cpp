// Pictures of the splash and of every wizard page, in English and in the
// shipped German translation, saved under <build>/screenshots/ for a person
// to look at.
#include "SplashScreen.h"
#include "WizardFixture.h"
#include "WizardPages.h"

namespace {

struct Shot {
  const char* radio;  // the task whose walk reaches the page
  int nexts;          // Next presses from the welcome page
  const char* name;
};

const Shot kShots[] = {
    {nullptr, 0, "01_welcome"},
    {"WelcomeFileAndFoldersRadioButton", 1, "02_file_select"},
    {"WelcomeFileAndFoldersRadioButton", 2, "03_algorithm"},
    {"WelcomeFileAndFoldersRadioButton", 3, "04_file_confirm"},
    {"WelcomeFileAndFoldersRadioButton", 4, "05_file_progress"},
    {"WelcomeDiskWipeRadioButton", 1, "06_disk_select"},
    {"WelcomeDiskWipeRadioButton", 3, "07_format"},
    {"WelcomeDiskWipeRadioButton", 4, "08_disk_warning"},
    {"WelcomeDiskWipeRadioButton", 5, "09_disk_progress"},
    {"WelcomeFreeSpaceRadioButton", 3, "10_free_progress"},
};

struct ScreenshotTest : WizardTest, ::testing::WithParamInterface<const char*> {
  std::string Prefix() const { return GetParam()[0] == 0 ? "en" : "de"; }
  void SetUp() override {
    WizardTest::SetUp();
    GlobalLanguage = GetParam();
  }
};

}  // namespace

TEST_P(ScreenshotTest, SplashAndEveryPage) {
  GlobalSplashDelay = 20;
  if (!GlobalLanguage.empty()) LangIni = LoadLanguageFile(GlobalLanguage);
  auto* splash = New<TSplashForm>(Application);
  splash->Show();
  qvtest::Pump(150);
  EXPECT_TRUE(splash->PictureError().empty()) << splash->PictureError();
  qvtest::SaveScreenshot(splash->Handle(), "wizard_" + Prefix() + "_00_splash");
  splash->Free();

  LinkPageParts();
  // Runs that stay busy, so the processing pages show a run in progress.
  WizardLinks.startFileWipe = [](TMainForm* f) {
    f->Busy = true;
    f->AppendLog("FileProgressLog", "Wipe algorithm selected: Random data (1)");
  };
  MakeForm();
  for (const Shot& shot : kShots) {
    SCOPED_TRACE(shot.name);
    form->Busy = false;
    form->Done = false;
    while (Step > 1) form->BottomBackClick();
    if (shot.radio != nullptr) Click(shot.radio);
    for (int i = 0; i < shot.nexts; ++i) {
      if (ActivePageIndex() == wpDiskWarning) Click("DiskWarningCheckBoxAgree");
      Click("BottomNext");
    }
    qvtest::Pump(120);
    qvtest::SaveScreenshot(form->Handle(), "wizard_" + Prefix() + "_" + shot.name);
  }
  form->Busy = false;
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenshotTest, ::testing::Values("", "German.lng"));
