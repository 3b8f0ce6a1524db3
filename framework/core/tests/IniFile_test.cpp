#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/Exception.h"
#include "core/Strings.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Items(TStrings* strings) {
  std::vector<std::string> items;
  for (int i = 0; i < strings->Count(); ++i) items.push_back(strings->Strings(i));
  return items;
}

class IniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    ini = New<TMemIniFile>();
    dir = fs::temp_directory_path() / ("qv_ini_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    FreeAndNil(ini);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path WriteFile(const std::string& name, const std::string& bytes) {
    fs::path path = dir / name;
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return path;
  }

  TMemIniFile* ini = nullptr;
  fs::path dir;
};

TEST_F(IniFileTest, ReadsSectionsAndIdentsIgnoringCase) {
  ini->SetText(
      "; a comment\r\n"
      "orphan=before any section\r\n"
      "[Misc]\r\n"
      "strReady=Ready\r\n"
      "  strEquation = a=b=c  \r\n"
      "strEmpty=\r\n"
      "no equals sign here\r\n"
      "\r\n"
      "[ MainForm ]\r\n"
      "MainForm.Caption=Quorvanell\r\n");
  EXPECT_EQ(ini->ReadString("MISC", "STRREADY", "x"), "Ready");
  EXPECT_EQ(ini->ReadString("misc", "strEquation", "x"), " a=b=c");  // after the first '='
  EXPECT_EQ(ini->ReadString("Misc", "strEmpty", "x"), "");         // empty is a value
  EXPECT_EQ(ini->ReadString("Misc", "strMissing", "default"), "default");
  EXPECT_EQ(ini->ReadString("Nowhere", "strReady", "default"), "default");
  EXPECT_EQ(ini->ReadString("mainform", "mainform.caption", ""), "Quorvanell");
  EXPECT_EQ(ini->ReadString("Misc", "orphan", "none"), "none");
  EXPECT_EQ(ini->ReadString("Misc", "; a comment", "none"), "none");
  EXPECT_TRUE(ini->SectionExists("MAINFORM"));
  EXPECT_TRUE(ini->ValueExists("misc", "strempty"));
  EXPECT_FALSE(ini->ValueExists("misc", "no equals sign here"));
  EXPECT_EQ(ini->SectionNames(), (std::vector<std::string>{"Misc", "MainForm"}));
  EXPECT_EQ(ini->SectionIdents("misc"), (std::vector<std::string>{"strReady", "strEquation", "strEmpty"}));
}

TEST_F(IniFileTest, DuplicateSectionsMergeAndTheFirstIdentWins) {
  ini->SetText("[A]\nx=1\n[B]\ny=2\n[a]\nx=3\nz=4\n");
  EXPECT_EQ(ini->SectionNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(ini->ReadString("A", "x", ""), "1");
  EXPECT_EQ(ini->ReadString("A", "z", ""), "4");
  ini->WriteString("a", "X", "5");  // updates the first x
  EXPECT_EQ(ini->ReadString("A", "x", ""), "5");
}

TEST_F(IniFileTest, LineEndsAndByteOrderMark) {
  ini->SetText("\xEF\xBB\xBF[S]\rcr=1\rlf=2\ncrlf=3\r\n\r\nlast=4");
  EXPECT_EQ(ini->ReadInteger("S", "cr", 0), 1);
  EXPECT_EQ(ini->ReadInteger("S", "lf", 0), 2);
  EXPECT_EQ(ini->ReadInteger("S", "crlf", 0), 3);
  EXPECT_EQ(ini->ReadInteger("S", "last", 0), 4);
}

TEST_F(IniFileTest, NumbersAndBooleansFallBackInsteadOfRaising) {
  ini->SetText("[N]\nint= 42 \nhex=$1F\nhex2=0x10\nneg=-7\nbad=12abc\nhuge=99999999999\nempty=\n"
               "t=1\nf=0\nminus=-5\nword=true\n");
  EXPECT_EQ(ini->ReadInteger("N", "int", -1), 42);
  EXPECT_EQ(ini->ReadInteger("N", "hex", -1), 31);
  EXPECT_EQ(ini->ReadInteger("N", "hex2", -1), 16);
  EXPECT_EQ(ini->ReadInteger("N", "neg", -1), -7);
  EXPECT_EQ(ini->ReadInteger("N", "bad", -1), -1);
  EXPECT_EQ(ini->ReadInteger("N", "huge", -1), -1);
  EXPECT_EQ(ini->ReadInteger("N", "empty", -1), -1);
  EXPECT_EQ(ini->ReadInteger("N", "missing", 9), 9);
  EXPECT_TRUE(ini->ReadBool("N", "t", false));
  EXPECT_FALSE(ini->ReadBool("N", "f", true));
  EXPECT_TRUE(ini->ReadBool("N", "minus", false));
  EXPECT_TRUE(ini->ReadBool("N", "word", true));  // not a number: the default
  EXPECT_FALSE(ini->ReadBool("N", "word", false));
  EXPECT_FALSE(ini->ReadBool("N", "missing", false));
}

TEST_F(IniFileTest, ListsThroughStrings) {
  ini->SetText("[One]\na=1\nb=2\n[Two]\n");
  TStringList* list = New<TStringList>();
  list->Add("stale");
  ini->ReadSections(list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"One", "Two"}));
  ini->ReadSection("ONE", list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));
  ini->ReadSectionValues("one", list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a=1", "b=2"}));
  ini->ReadSection("Two", list);
  EXPECT_EQ(list->Count(), 0);
  ini->ReadSection("Absent", list);
  EXPECT_EQ(list->Count(), 0);

  list->SetText("[From]\r\nkey=list\r\n");
  ini->SetStrings(list);
  EXPECT_EQ(ini->ReadString("from", "KEY", ""), "list");
  list->Free();
}

TEST_F(IniFileTest, EditingAndWritingBack) {
  fs::path path = dir / "out.ini";
  ini->Free();
  ini = New<TMemIniFile>(path.u16string());
  EXPECT_TRUE(ini->SectionNames().empty());
  ini->WriteString("Global", "Language", "Russian.lng");
  ini->WriteInteger("Global", "Count", -3);
  ini->WriteBool("Wipe", "Verify", true);
  ini->WriteString("Gone", "x", "y");
  ini->EraseSection("gone");
  ini->WriteString("Global", "Temp", "t");
  ini->DeleteKey("global", "TEMP");
  ini->DeleteKey("nowhere", "x");
  ini->UpdateFile();

  TMemIniFile* again = New<TMemIniFile>(path.u16string());
  EXPECT_EQ(again->Text(), "[Global]\r\nLanguage=Russian.lng\r\nCount=-3\r\n\r\n[Wipe]\r\nVerify=1\r\n");
  EXPECT_EQ(again->ReadInteger("global", "count", 0), -3);
  again->Clear();
  EXPECT_FALSE(again->SectionExists("Global"));
  again->Free();
}

TEST_F(IniFileTest, FilesAreReadWholeAndMissingFilesAreEmpty) {
  fs::path path = WriteFile("Russian.lng", "[Misc]\r\nstrReady=\xc3\xee\xf2\xee\xe2\r\n");
  TMemIniFile* fromFile = New<TMemIniFile>(path.u16string());
  EXPECT_EQ(fromFile->ReadString("Misc", "strReady", ""), "\xc3\xee\xf2\xee\xe2");  // bytes kept as they are
  EXPECT_EQ(fromFile->FileName(), path.u16string());
  fromFile->Free();

  TMemIniFile* missing = New<TMemIniFile>((dir / "absent.ini").u16string());
  EXPECT_TRUE(missing->SectionNames().empty());
  EXPECT_EQ(missing->ReadString("Misc", "x", "fallback"), "fallback");
  missing->Free();

  TMemIniFile* directory = New<TMemIniFile>(dir.u16string());
  EXPECT_TRUE(directory->SectionNames().empty());
  EXPECT_THROW(directory->UpdateFile(), EFCreateError);
  directory->Free();
}

}  // namespace
