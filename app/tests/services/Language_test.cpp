// Language files: "Misc" texts with line breaks and empty values, form
// translation (captions, hints, memo lines with "fsdef", combo items, list-view
// columns), indexes beyond the existing ones, unknown components and format
// characters in translated texts.
#include "Language.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "MiscTexts.h"
#include "Settings.h"
#include "Utils.h"
#include "WizardPages.h"
#include "win/testing/Harness.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

const char kFormText[] = R"(
TForm MainForm {
  Caption = "Quorvanell";
  ClientWidth = 300; ClientHeight = 200;
  TButton BottomNext { Left = 8; Top = 8; Width = 80; Height = 24; Caption = "&Next >"; Hint = "Go on"; }
  TButton BottomBack { Left = 96; Top = 8; Width = 80; Height = 24; Caption = "< &Back"; }
  TLabel WelcomeLabel { Left = 8; Top = 40; Width = 100; Height = 14; Caption = "Welcome"; }
  TMemo NoteMemo { Left = 8; Top = 60; Width = 200; Height = 60; Lines = ("one", "two", "three"); }
  TComboBox KindCombo { Left = 8; Top = 130; Width = 120; Height = 21; Items = ("NTFS", "FAT32"); }
  TListView FileList {
    Left = 140; Top = 130; Width = 150; Height = 60;
    Columns = < item { Caption = "Name"; Width = 60; } item { Caption = "Size"; Width = 60; } >;
  }
  TPopupMenu MainMenu { TMenuItem MainMenuAbout { Caption = "&About..."; } }
}
)";

class LanguageFile : public ::testing::Test {
protected:
  void SetUp() override { FreeAndNil(LangIni); }
  void TearDown() override {
    FreeAndNil(LangIni);
    for (const std::string& name : written) DeleteFileA((GetApplicationPath() + name).c_str());
  }
  // Writes a language file beside the test program and loads it into LangIni.
  void Load(const std::string& name, const std::string& text) {
    std::string path = GetApplicationPath() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    written.push_back(name);
    LangIni = LoadLanguageFile(name);
    ASSERT_NE(LangIni, nullptr);
  }
  std::vector<std::string> written;
};

TEST_F(LanguageFile, MiscTextsWithLineBreaksAndDefaults) {
  EXPECT_EQ(LangString("Are you sure you want to exit application?", "strConfirmAppExit"),
            "Are you sure you want to exit application?");
  Load("Breaks.lng",
       "[Misc]\r\n"
       "strMiddle=first*|*second\r\n"
       "strLeading=*|*text\r\n"
       "strDouble=*|**|*text\r\n"
       "strTrailing=text*|*\r\n"
       "strEmpty=\r\n"
       "STRCASE=any case\r\n"
       "strHostile=%s%n%d %x %p %%\r\n"
       "strEquals=a=b\r\n"
       "[Other]\r\n"
       "strOnlyHere=wrong section\r\n");
  struct Case {
    const char* ident;
    const char* expected;
  };
  const Case cases[] = {
      {"strMiddle", "first\r\nsecond"},   {"strLeading", "\r\ntext"},   {"strDouble", "\r\n\r\ntext"},
      {"strTrailing", "text\r\n"},        {"strEmpty", ""},             {"strCase", "any case"},
      {"strHostile", "%s%n%d %x %p %%"},  {"strEquals", "a=b"},         {"strOnlyHere", "default"},
      {"strConfirmAppExit", "default"},
  };
  for (const Case& c : cases) EXPECT_EQ(LangString("default", c.ident), c.expected) << c.ident;
}

TEST_F(LanguageFile, PlaceholderTakesOnlyItsOwnValue) {
  Load("Hostile.lng", "[Misc]\r\nstrUtilsExecuteProgramError=%n%x Programm %s (%s) %d nicht startbar.\r\n");
  std::string text = LangString("Unable to execute external program %s.", "strUtilsExecuteProgramError");
  EXPECT_EQ(ReplacePlaceholder(text, "%s", "C:\\a%s.exe"), "%n%x Programm C:\\a%s.exe (%s) %d nicht startbar.");
  EXPECT_EQ(ReplacePlaceholder("no placeholder", "%s", "x"), "no placeholder");
  EXPECT_EQ(ReplacePlaceholder("abc", "", "x"), "abc");
}

TEST_F(LanguageFile, MissingOrEmptyNamesLoadNothing) {
  LangIni = LoadLanguageFile("");
  EXPECT_EQ(LangIni, nullptr);
  LangIni = LoadLanguageFile("NoSuchLanguage.lng");
  EXPECT_EQ(LangIni, nullptr);
  EXPECT_EQ(LangString("Build", "strBuild"), "Build");
  // Loading frees the file in use first.
  Load("One.lng", "[Misc]\r\nstrBuild=Erstellung\r\n");
  TMemIniFile* previous = LangIni;
  TMemIniFile* next = LoadLanguageFile("NoSuchLanguage.lng");
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(LangIni, nullptr);
  (void)previous;
}

// What the language loader told the user: one entry per file that could not be used.
std::vector<std::pair<std::string, std::string>> gToldLanguages;

// A language file that cannot be used: too large (a sparse file costs no
// disk), held open by another program, or beyond the size limit by one byte.
// None raises; each is told once, naming the file; the built-in English
// stays and the name is not kept. A missing file is no error and keeps it.
TEST_F(LanguageFile, FilesThatCannotBeUsedAreToldAndNotKept) {
  const TLanguageNotLoadedReport previous = ReportLanguageNotLoaded;
  ReportLanguageNotLoaded = [](const std::string& path, const std::string& reason) {
    gToldLanguages.emplace_back(path, reason);
  };
  auto writeSized = [&](const std::string& name, int64_t size) {
    const std::string path = GetApplicationPath() + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string head = "[Misc]\r\nstrBuild=Sized\r\n;";
    // One that may load is text throughout; larger ones are sparse.
    if (size <= kMaxLanguageFileBytes) head.resize(static_cast<size_t>(size), ' ');
    DWORD done = 0;
    WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &done, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    written.push_back(name);
  };
  struct Case {
    const char* name;
    int64_t size;
    const char* reason;  // a part of the reason told; null when the file loads
  };
  const Case cases[] = {
      {"Huge.lng", 1200ll * 1024 * 1024, "1,258,291,200 bytes"},
      {"Beyond.lng", kMaxLanguageFileBytes + 1, "1,048,577 bytes"},
      {"AtLimit.lng", kMaxLanguageFileBytes, nullptr},
      {"Past2GB.lng", 5ll * 1024 * 1024 * 1024, "5,368,709,120 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeSized(c.name, c.size);
    gToldLanguages.clear();
    Load("Before.lng", "[Misc]\r\nstrBuild=Vorher\r\n");
    GlobalLanguage = "Before.lng";
    EXPECT_NO_THROW(UseLanguage(c.name));
    if (c.reason == nullptr) {
      EXPECT_TRUE(gToldLanguages.empty());
      EXPECT_EQ(GlobalLanguage, c.name);
      EXPECT_EQ(LangString("Build", "strBuild"), "Sized");
      continue;
    }
    EXPECT_EQ(LangIni, nullptr);
    EXPECT_EQ(GlobalLanguage, "");
    EXPECT_EQ(LangString("Build", "strBuild"), "Build");
    ASSERT_EQ(gToldLanguages.size(), 1u);
    EXPECT_EQ(gToldLanguages[0].first, GetApplicationPath() + c.name);
    EXPECT_NE(gToldLanguages[0].second.find(c.reason), std::string::npos) << gToldLanguages[0].second;
    // The loader on its own says the same and gives nothing.
    gToldLanguages.clear();
    TMemIniFile* ini = nullptr;
    EXPECT_NO_THROW(ini = LoadLanguageFile(c.name));
    EXPECT_EQ(ini, nullptr);
    EXPECT_EQ(gToldLanguages.size(), 1u);
  }

  // Held open without sharing by another program: unreadable.
  writeSized("Locked.lng", 100);
  HANDLE lock = CreateFileA((GetApplicationPath() + "Locked.lng").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  gToldLanguages.clear();
  GlobalLanguage = "Before.lng";
  EXPECT_NO_THROW(UseLanguage("Locked.lng"));
  CloseHandle(lock);
  EXPECT_EQ(LangIni, nullptr);
  EXPECT_EQ(GlobalLanguage, "");
  ASSERT_EQ(gToldLanguages.size(), 1u);
  EXPECT_EQ(gToldLanguages[0].first, GetApplicationPath() + "Locked.lng");

  // A device name (a damaged setting can hold one): it opens but has no
  // size, and the box says so rather than giving a byte count.
  gToldLanguages.clear();
  GlobalLanguage = "Before.lng";
  EXPECT_NO_THROW(UseLanguage("AUX.lng"));
  EXPECT_EQ(LangIni, nullptr);
  EXPECT_EQ(GlobalLanguage, "");
  ASSERT_EQ(gToldLanguages.size(), 1u);
  EXPECT_EQ(gToldLanguages[0].second.find("-1"), std::string::npos) << gToldLanguages[0].second;
  EXPECT_NE(gToldLanguages[0].second.find("no file"), std::string::npos) << gToldLanguages[0].second;

  // Missing: nothing told, the name kept for when the file comes back.
  gToldLanguages.clear();
  UseLanguage("NoSuchLanguage.lng");
  EXPECT_TRUE(gToldLanguages.empty());
  EXPECT_EQ(GlobalLanguage, "NoSuchLanguage.lng");
  EXPECT_EQ(LangIni, nullptr);
  GlobalLanguage.clear();
  ReportLanguageNotLoaded = previous;
}

TEST_F(LanguageFile, FormsTakeCaptionsHintsLinesItemsAndColumns) {
  TForm* form = qvtest::NewFormFromText<TForm>(kFormText);
  Load("Forms.lng",
       "[MainForm]\r\n"
       "MainForm.Caption=Quorvanell (de)\r\n"
       "MainForm.BottomNext.Caption=\r\n"
       "MainForm.BottomNext.Hint=Weiter gehen\r\n"
       "MainForm.BottomBack.Caption=< &Zur\xFC" "ck\r\n"
       "MainForm.WelcomeLabel.Caption=Willkommen %s %n\r\n"
       "MainForm.NoteMemo.lines[0]=eins\r\n"
       "MainForm.NoteMemo.lines[1]=\r\n"
       "MainForm.NoteMemo.lines[2]=fsdef\r\n"
       "MainForm.NoteMemo.lines[3]=vier\r\n"
       "MainForm.KindCombo.items[0]=\r\n"
       "MainForm.KindCombo.items[1]=FAT-32\r\n"
       "MainForm.KindCombo.items[2]=exFAT\r\n"
       "MainForm.FileList.Columns[0].Caption=\r\n"
       "MainForm.FileList.Columns[1].Caption=Gr\xF6\xDF" "e\r\n"
       "MainForm.FileList.Columns[2].Caption=Typ\r\n"
       "MainForm.MainMenuAbout.Caption=\xDC&ber...\r\n"
       "MainForm.NoSuchButton.Caption=ignored\r\n"
       "MainForm.KindCombo.Caption=no such property\r\n");
  TranslateForms({form, nullptr});

  EXPECT_EQ(form->Caption(), "Quorvanell (de)");
  auto* next = qvtest::Find<TButton>(form, "BottomNext");
  EXPECT_EQ(next->Caption(), "&Next >");  // an empty value keeps the design text
  EXPECT_EQ(next->Hint(), "Weiter gehen");
  EXPECT_EQ(qvtest::Find<TButton>(form, "BottomBack")->Caption(), "< &Zur\xFC" "ck");
  EXPECT_EQ(qvtest::Find<TLabel>(form, "WelcomeLabel")->Caption(), "Willkommen %s %n");

  TStrings* lines = qvtest::Find<TMemo>(form, "NoteMemo")->Lines();
  ASSERT_EQ(lines->Count(), 3);  // index 3 never adds a line
  EXPECT_EQ(lines->Strings(0), "eins");
  EXPECT_EQ(lines->Strings(1), "");
  EXPECT_EQ(lines->Strings(2), "three");

  TStrings* items = qvtest::Find<TComboBox>(form, "KindCombo")->Items();
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->Strings(0), "NTFS");
  EXPECT_EQ(items->Strings(1), "FAT-32");

  TListColumns* columns = qvtest::Find<TListView>(form, "FileList")->Columns();
  ASSERT_EQ(columns->Count(), 2);
  EXPECT_EQ(columns->Items(0)->Caption(), "Name");
  EXPECT_EQ(columns->Items(1)->Caption(), "Gr\xF6\xDF" "e");
  EXPECT_EQ(GetStrPropByName(form->FindComponent("MainMenuAbout"), "Caption"), "\xDC&ber...");
  form->Free();
}

TEST_F(LanguageFile, NoFileChangesNothing) {
  TForm* form = qvtest::NewFormFromText<TForm>(kFormText);
  TranslateForms({form});
  TranslateFormComponents({form}, nullptr);
  EXPECT_EQ(form->Caption(), "Quorvanell");
  EXPECT_EQ(qvtest::Find<TButton>(form, "BottomNext")->Caption(), "&Next >");
  EXPECT_EQ(qvtest::Find<TMemo>(form, "NoteMemo")->Lines()->Strings(1), "two");
  form->Free();
}

TEST(LanguageNames, CapitalizeUsesTheAnsiCaseMapping) {
  EXPECT_EQ(CapitalizeLanguageName("GERMAN"), "German");
  EXPECT_EQ(CapitalizeLanguageName("german"), "German");
  EXPECT_EQ(CapitalizeLanguageName("rUSSIAN"), "Russian");
  EXPECT_EQ(CapitalizeLanguageName(""), "");
  EXPECT_EQ(CapitalizeLanguageName("x"), "X");
  if (GetACP() == 1252) {
    EXPECT_EQ(CapitalizeLanguageName("\xE4PFEL\xC4"), "\xC4pfel\xE4");
  }
}

TEST(LanguageProps, SetStrPropByNameSkipsEmptyAndMissing) {
  TForm* form = qvtest::NewFormFromText<TForm>(kFormText);
  auto* label = qvtest::Find<TLabel>(form, "WelcomeLabel");
  SetStrPropByName(label, "Caption", "");
  EXPECT_EQ(label->Caption(), "Welcome");
  SetStrPropByName(label, "NoSuchProperty", "x");
  SetStrPropByName(label, "Caption", "Hallo");
  EXPECT_EQ(label->Caption(), "Hallo");
  form->Free();
}

}  // namespace

namespace {

// The program folder of the build, beside this test's folder.
const char kShippedGerman[] = "..\\Quorvanell\\German.lng";

// Occurrences of "%s" in text.
size_t Placeholders(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + 2)) ++n;
  return n;
}

TEST(ShippedLanguage, GermanCoversEveryMiscKey) {
  // The keys come from the program's own tables: its texts and its step headings.
  std::vector<std::pair<std::string, std::string>> keys;  // key, English text
  size_t count = 0;
  const TMiscText* texts = MiscTexts(count);
  for (size_t i = 0; i < count; ++i) keys.emplace_back(texts[i].key, texts[i].english);
  for (int task = 1; task <= 3; ++task) {
    for (int step = 2; step <= 6; ++step) {
      if (const TStepHeading* heading = StepHeading(task, step)) keys.emplace_back(heading->key, heading->defaultText);
    }
  }
  ASSERT_GT(keys.size(), 40u);
  FreeAndNil(LangIni);
  LangIni = LoadLanguageFile(kShippedGerman);
  ASSERT_NE(LangIni, nullptr) << "German.lng is not in the program folder";
  for (const auto& [key, english] : keys) {
    EXPECT_TRUE(LangIni->ValueExists("Misc", key)) << key << " (\"" << english << "\") is not in German.lng";
    std::string text = LangString("", key);
    EXPECT_FALSE(text.empty()) << key;
    // The same placeholders as the English text, and no other "%".
    EXPECT_EQ(Placeholders(text), Placeholders(english)) << key << ": " << text;
    size_t percents = 0;
    for (char c : text) percents += c == '%' ? 1 : 0;
    EXPECT_EQ(percents, Placeholders(english)) << key << ": " << text;
  }
  EXPECT_EQ(LangString("", "strConfirmAppExit"), "M\xF6" "chten Sie das Programm wirklich beenden?");
  for (const char* section : {"MainForm", "AdvancedParamsForm", "AboutForm"})
    EXPECT_TRUE(LangIni->SectionExists(section)) << section;
  FreeAndNil(LangIni);
}

}  // namespace

namespace {

// Every text of the main form's definition in the built program (component
// captions and list-view column captions) has its ident in German.lng, and
// every ident there names a component that exists. Texts that code replaces
// or that stay English are left out.
struct FormText {
  std::string ident;
  std::string text;
};

std::vector<FormText> MainFormTexts(const std::string& definition, std::vector<std::string>& names) {
  std::vector<FormText> texts;
  std::vector<std::string> stack;
  std::map<std::string, int> columnCount;
  std::istringstream in(definition);
  std::string line;
  auto quoted = [](const std::string& s, size_t from) {
    std::string out;
    for (size_t q = s.find('"', from); q != std::string::npos; q = s.find('"', q + 1)) {
      size_t end = s.find('"', q + 1);
      if (end == std::string::npos) break;
      out += s.substr(q + 1, end - q - 1);
      q = end;
      if (s.find('+', end) == std::string::npos) break;
    }
    return out;
  };
  while (std::getline(in, line)) {
    std::smatch m;
    bool header = std::regex_search(line, m, std::regex(R"(^\s*T\w+\s+(\w+)\s*\{)"));
    if (header) {
      stack.push_back(m[1]);
      names.push_back(m[1]);
    }
    size_t caption = line.find("Caption = ");
    if (caption != std::string::npos && !stack.empty()) {
      std::string text = quoted(line, caption);
      while (!line.empty() && line.find_last_not_of(" \r") != std::string::npos &&
             line[line.find_last_not_of(" \r")] == '+' && std::getline(in, line))
        text += quoted(line, 0);
      std::string comp = stack.back();
      if (line.find("item {") != std::string::npos)
        texts.push_back({"MainForm." + comp + ".Columns[" + std::to_string(columnCount[comp]++) + "].Caption", text});
      else
        texts.push_back({comp == "MainForm" ? "MainForm.Caption" : "MainForm." + comp + ".Caption", text});
    }
    // A component closes on its own line ("}") or on its header's line ("TMenuItem X { ...; }").
    std::string trimmed = line.substr(0, line.find_last_not_of(" \r") + 1);
    auto opens = std::count(trimmed.begin(), trimmed.end(), '{');
    auto closes = std::count(trimmed.begin(), trimmed.end(), '}');
    bool closesHeader = header && opens == closes;
    bool closingLine = !header && closes > 0 && trimmed.find_first_not_of(" }") == std::string::npos;
    if (!stack.empty() && (closesHeader || closingLine))
      stack.pop_back();
  }
  return texts;
}

bool StaysEnglish(const std::string& ident, const std::string& text) {
  static const std::set<std::string> fixed = {"", "###", "0", "???", "Idle", "-", "Quorvanell"};
  return fixed.count(text) != 0 || text.rfind("www.", 0) == 0 || ident == "MainForm.MainForm.Caption";
}

TEST(ShippedLanguage, GermanCoversEveryMainFormText) {
  std::string program = GetApplicationPath() + "..\\Quorvanell\\Quorvanell.exe";
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) GTEST_SKIP() << "program not built";
  HRSRC res = FindResourceW(module, L"TMAINFORM", MAKEINTRESOURCEW(10));
  if (res == nullptr) {
    FreeLibrary(module);
    GTEST_SKIP() << "the program has no main form definition yet";
  }
  std::string definition(static_cast<const char*>(LockResource(LoadResource(module, res))), SizeofResource(module, res));
  FreeLibrary(module);

  std::vector<std::string> names;
  std::vector<FormText> texts = MainFormTexts(definition, names);
  ASSERT_GT(texts.size(), 50u);
  FreeAndNil(LangIni);
  LangIni = LoadLanguageFile(kShippedGerman);
  ASSERT_NE(LangIni, nullptr);
  for (const FormText& t : texts) {
    if (StaysEnglish(t.ident, t.text)) continue;
    EXPECT_FALSE(LangIni->ReadString("MainForm", t.ident, "").empty()) << t.ident << " (\"" << t.text << "\")";
  }
  for (const std::string& ident : LangIni->SectionIdents("MainForm")) {
    std::string comp = ident.substr(ident.find('.') + 1);
    comp = comp.substr(0, comp.find_first_of(".["));
    EXPECT_NE(std::find(names.begin(), names.end(), comp), names.end()) << ident << " names no component";
  }
  FreeAndNil(LangIni);
}

}  // namespace
