// The shipped German.lng covers every text of the translated dialogs, and
// names only components that exist.
#include <set>

#include "AboutForm.h"
#include "DialogsFixture.h"
#include "PreferencesForm.h"

namespace {

// Texts the code sets, web addresses and texts that stay as they are.
bool StaysAsIs(const std::string& name, const std::string& text) {
  static const std::set<std::string> set = {"LabelProgramName", "LabelProgramVersion", "LabelProgramDescription",
                                            "LabelUrl", "LabelEmail"};
  return text.find_first_not_of("0123456789") == std::string::npos || set.count(name) != 0 || text == "OK" ||
         text == "&OK";
}

template <class T>
void ExpectCovered(const char* section) {
  SCOPED_TRACE(section);
  LangIni = LoadLanguageFile("");
  auto* form = New<T>(Application);
  std::set<std::string> names;
  TMemIniFile* german = nullptr;
  WriteTestFile("German.lng", ShippedGerman());
  german = LoadLanguageFile("German.lng");
  ASSERT_NE(german, nullptr);
  ASSERT_TRUE(german->SectionExists(section));
  EXPECT_FALSE(german->ReadString(section, std::string(section) + ".Caption", "").empty());
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(form->Components(i));
    if (control == nullptr) continue;
    names.insert(control->Name());
    if (StaysAsIs(control->Name(), control->Caption())) continue;
    std::string ident = std::string(section) + "." + control->Name() + ".Caption";
    EXPECT_FALSE(german->ReadString(section, ident, "").empty()) << ident << " (\"" << control->Caption() << "\")";
  }
  for (const std::string& ident : german->SectionIdents(section)) {
    std::string comp = ident.substr(ident.find('.') + 1);
    comp = comp.substr(0, comp.find_first_of(".["));
    EXPECT_TRUE(comp == "Caption" || names.count(comp) != 0) << ident << " names no component";
  }
  form->Free();
  german->Free();
  RemoveTestFile("German.lng");
}

using TranslationTest = DialogsTest;

TEST_F(TranslationTest, GermanCoversTheDialogs) {
  ExpectCovered<TAboutForm>("AboutForm");
  ExpectCovered<TAdvancedParamsForm>("AdvancedParamsForm");
}

}  // namespace
