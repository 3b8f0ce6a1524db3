// Every caption of the main form fits its control in every shipped language:
// no label, button, check box or radio button cuts its text off.
#include "WizardFixture.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"

namespace {

// Width in pixels of caption drawn with font, without its "&" marks.
int TextWidth(const std::string& caption, TFont* font) {
  std::string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->Handle());
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

struct TextFitTest : WizardTest, ::testing::WithParamInterface<const char*> {};

TEST_P(TextFitTest, EveryCaptionFitsItsControl) {
  GlobalLanguage = GetParam();
  MakeForm();
  std::vector<std::string> clipped;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(form->Components(i));
    // Controls the wizard never shows are left out.
    if (control == nullptr || control->Caption().empty() || !control->Visible()) continue;
    int room = -1;
    if (auto* label = dynamic_cast<TCustomLabel*>(control)) {
      if (!label->AutoSize() && !label->WordWrap()) room = label->Width();
    } else if (auto* button = dynamic_cast<TButtonControl*>(control)) {
      if (button->WordWrap()) continue;
      // A check mark or radio circle and its gap, or a push button's edges.
      const bool box = dynamic_cast<TCheckBox*>(control) != nullptr || dynamic_cast<TRadioButton*>(control) != nullptr;
      room = control->Width() - (box ? 18 : 8);
    }
    if (room < 0) continue;
    const int needed = TextWidth(control->Caption(), control->Font());
    if (needed > room)
      clipped.push_back(control->Name() + " \"" + control->Caption() + "\": " + std::to_string(needed) + " > " +
                        std::to_string(room));
  }
  EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
}

INSTANTIATE_TEST_SUITE_P(Languages, TextFitTest, ::testing::Values("", "German.lng"));

}  // namespace
