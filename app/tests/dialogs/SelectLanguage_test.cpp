// The language choice dialog: the list for a folder of language files, its
// pictures, the preselection, and what OK and a double click record.
#include <algorithm>

#include "DialogsFixture.h"
#include "SelectLanguageForm.h"
#include "win/TextConvert.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

namespace {

struct SelectLanguageTest : DialogsTest {
  struct Row {
    std::string caption;
    int image;
  };
  // Runs the dialog; act sees it open (and closes it).
  std::vector<Row> Run(const std::function<void(TLanguageSelectForm*)>& act) {
    std::vector<Row> rows;
    WhenModal<TLanguageSelectForm>([&rows, act](TLanguageSelectForm* f) {
      auto* list = qvtest::Find<TListView>(f, "LanguageListView");
      for (int i = 0; i < list->Items()->Count(); ++i)
        rows.push_back({list->Items()->Item(i)->Caption(), list->Items()->Item(i)->ImageIndex()});
      act(f);
    });
    SelectLanguage();
    return rows;
  }
  static TListView* List(TLanguageSelectForm* f) { return qvtest::Find<TListView>(f, "LanguageListView"); }
  static int IndexOf(TLanguageSelectForm* f, const std::string& caption) {
    for (int i = 0; i < List(f)->Items()->Count(); ++i)
      if (List(f)->Items()->Item(i)->Caption() == caption) return i;
    return -1;
  }
};

TEST_F(SelectLanguageTest, OnlyEnglishWithoutFiles) {
  int selected = -2;
  auto rows = Run([&](TLanguageSelectForm* f) {
    selected = List(f)->ItemIndex();
    f->SetModalResult(mrOk);
  });
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, "English (Default)");
  EXPECT_EQ(rows[0].image, 1);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(GlobalLanguage, "");
}

TEST_F(SelectLanguageTest, FolderOfLanguageFiles) {
  AddLanguageFile("russian.lng");
  AddLanguageFile("FRENCH.LNG", "[Misc]\r\nstrBuild=Version\r\n");
  AddLanguageFile("Dutch.lng");
  AddLanguageFile("english.lng");
  AddLanguageFile("Hidden.lng");
  SetFileAttributesA((GetApplicationPath() + "Hidden.lng").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((GetApplicationPath() + "Folder.lng").c_str(), nullptr);
  files.push_back("Folder.lng");
  AddLanguageFile("notes.lngx");
  // A name no ANSI code page spells (Cyrillic and Hebrew) is not offered as question marks.
  const std::u16string unspellable = AnsiToWide(GetApplicationPath()) + u"\u0416\u05D0.lng";
  CloseHandle(CreateFileW(reinterpret_cast<LPCWSTR>(unspellable.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));

  auto rows = Run([](TLanguageSelectForm* f) {
    List(f)->SetItemIndex(IndexOf(f, "French"));
    qvtest::Pump(50);
    qvtest::SaveScreenshot(f->Handle(), "dialogs_language_test_files");
    qvtest::Click(qvtest::Find<TButton>(f, "OkButton"));
  });
  DeleteFileW(reinterpret_cast<LPCWSTR>(unspellable.c_str()));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].caption, "English (Default)");
  EXPECT_EQ(rows[0].image, 1);
  std::sort(rows.begin() + 1, rows.end(), [](const Row& a, const Row& b) { return a.caption < b.caption; });
  const Row expected[] = {{"Dutch", 3}, {"English", 2}, {"French", 0}, {"Russian", 4}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i + 1].caption, expected[i].caption);
    EXPECT_EQ(rows[i + 1].image, expected[i].image) << expected[i].caption;
  }
  // Recorded by its shown name and loaded.
  EXPECT_EQ(GlobalLanguage, "French.lng");
  ASSERT_NE(LangIni, nullptr);
  EXPECT_EQ(LangString("Build", "strBuild"), "Version");
}

TEST_F(SelectLanguageTest, PreselectsTheCurrentFileAndDoubleClickChooses) {
  AddLanguageFile("Russian.lng");
  AddLanguageFile("Chinese.Simplified.lng");
  GlobalLanguage = "RUSSIAN.LNG";
  std::string selected;
  Run([&](TLanguageSelectForm* f) {
    selected = List(f)->Selected() != nullptr ? List(f)->Selected()->Caption() : "";
    List(f)->SetItemIndex(IndexOf(f, "Chinese.simplified"));
    // The list's double-click event as the definition binds it.
    ASSERT_TRUE(static_cast<bool>(List(f)->OnDblClick));
    List(f)->OnDblClick(List(f));
  });
  EXPECT_EQ(selected, "Russian");
  // A dot inside the name stays: the setting names the same file.
  EXPECT_EQ(GlobalLanguage, "Chinese.simplified.lng");
  EXPECT_NE(LangIni, nullptr);
}

// Any other way of closing keeps the settings; OK on English clears them.
TEST_F(SelectLanguageTest, CancelKeepsAndEnglishClears) {
  AddLanguageFile("German.lng");
  GlobalLanguage = "German.lng";
  LangIni = LoadLanguageFile(GlobalLanguage);
  Run([](TLanguageSelectForm* f) { f->SetModalResult(mrCancel); });
  EXPECT_EQ(GlobalLanguage, "German.lng");
  EXPECT_NE(LangIni, nullptr);
  Run([](TLanguageSelectForm* f) {
    List(f)->SetItemIndex(0);
    f->SetModalResult(mrOk);
  });
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_EQ(LangIni, nullptr);
}

TEST_F(SelectLanguageTest, HeaderAndScreenshots) {
  AddLanguageFile("German.lng", ShippedGerman());
  for (const char* language : {"", "German.lng"}) {
    GlobalLanguage = language;
    LangIni = LoadLanguageFile(GlobalLanguage);
    Run([language](TLanguageSelectForm* f) {
      EXPECT_EQ(qvtest::Find(f, "LabelProgramName")->Caption(), "Quorvanell");
      EXPECT_EQ(qvtest::Find(f, "LabelProgramVersion")->Caption(), "1.0 (Build: 1)");
      // Never translated.
      EXPECT_EQ(f->Caption(), "Please select your preferred language");
      qvtest::Pump(100);
      qvtest::SaveScreenshot(f->Handle(), std::string("dialogs_") + (language[0] ? "de" : "en") + "_language");
      f->SetModalResult(mrCancel);
    });
  }
}

// A chosen file that cannot be read (held open by another program without
// sharing) is told in a box naming it; the name is not recorded.
TEST_F(SelectLanguageTest, AnUnreadableChoiceIsToldAndNotRecorded) {
  AddLanguageFile("Locked.lng", "[Misc]\r\nstrBuild=Version\r\n");
  HANDLE lock = CreateFileA((GetApplicationPath() + "Locked.lng").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  static std::string box;
  box.clear();
  EXPECT_NO_THROW(Run([](TLanguageSelectForm* f) {
    List(f)->SetItemIndex(IndexOf(f, "Locked"));
    WhenMessageBox("Error", &box);
    qvtest::Click(qvtest::Find<TButton>(f, "OkButton"));
  }));
  CloseHandle(lock);
  EXPECT_NE(box.find(GetApplicationPath() + "Locked.lng"), std::string::npos) << box;
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_EQ(LangIni, nullptr);
}

}  // namespace
