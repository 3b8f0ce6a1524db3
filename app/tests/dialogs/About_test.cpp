// The About dialog: texts from the version resource, translated, link looks.
#include "AboutForm.h"
#include "DialogsFixture.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"

namespace {

using AboutTest = DialogsTest;

std::string Text(TCustomForm* f, const char* name) { return qvtest::Find(f, name)->Caption(); }

TEST_F(AboutTest, ShowsTheVersionResource) {
  ASSERT_EQ(ProductName, "Quorvanell");
  WhenModal<TAboutForm>([](TAboutForm* f) {
    EXPECT_EQ(Text(f, "LabelProgramName"), "Quorvanell");
    EXPECT_EQ(Text(f, "LabelProgramVersion"), "1.0 (Build: 1)");
    EXPECT_EQ(Text(f, "LabelProgramDescription"), "Quorvanell secure data eraser");
    EXPECT_EQ(f->Caption(), "About");
    qvtest::Pump(100);
    qvtest::SaveScreenshot(f->Handle(), "dialogs_en_about");
    // Escape closes it (OK is also the cancel button).
    qvtest::PressKey(qvtest::Find<TButton>(f, "ButtonOK"), VK_ESCAPE);
  });
  ShowAbout();
  EXPECT_EQ(Screen->ActiveForm() == nullptr || dynamic_cast<TAboutForm*>(Screen->ActiveForm()) == nullptr, true);
}

TEST_F(AboutTest, TranslatedTexts) {
  AddLanguageFile("German.lng", ShippedGerman());
  AddLanguageFile("Versioned.lng", "[Misc]\r\nstrBuild=Version\r\n[AboutForm]\r\nAboutForm.LabelVersion.Caption=Ausgabe:\r\n");
  LangIni = LoadLanguageFile("German.lng");
  WhenModal<TAboutForm>([](TAboutForm* f) {
    EXPECT_EQ(f->Caption(), "\xDC" "ber");
    EXPECT_EQ(Text(f, "ButtonHelp"), "Hilfe");
    qvtest::Pump(100);
    qvtest::SaveScreenshot(f->Handle(), "dialogs_de_about");
    f->SetModalResult(mrOk);
  });
  ShowAbout();
  LangIni = LoadLanguageFile("Versioned.lng");
  WhenModal<TAboutForm>([](TAboutForm* f) {
    EXPECT_EQ(Text(f, "LabelProgramVersion"), "1.0 (Version: 1)");
    EXPECT_EQ(Text(f, "LabelVersion"), "Ausgabe:");
    f->SetModalResult(mrOk);
  });
  ShowAbout();
}

TEST_F(AboutTest, LinksUnderlineWhileTheMouseIsOver) {
  WhenModal<TAboutForm>([](TAboutForm* f) {
    for (const char* name : {"LabelUrl", "LabelEmail"}) {
      auto* label = qvtest::Find(f, name);
      EXPECT_EQ(label->Font()->Color(), clBlue);
      label->OnMouseMove(label, TShiftState{}, 1, 1);
      EXPECT_TRUE(label->Font()->Style().Contains(fsUnderline)) << name;
      label->OnMouseLeave(label);
      EXPECT_TRUE(label->Font()->Style().Empty()) << name;
    }
    f->SetModalResult(mrOk);
  });
  ShowAbout();
}

}  // namespace
