#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Strings.h"
#include "core/SysUtils.h"

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

// The INI beside a plain reference that finds everything by walking its
// lists: random texts, writes, erasures and reads must agree, whatever order
// and case the names come in.
class TReferenceIni {
public:
  void SetText(const std::vector<std::string>& lines) {
    sections.clear();
    int current = -1;
    for (const std::string& raw : lines) {
      std::string line = Trim(raw);
      if (line.empty() || line[0] == ';') continue;
      if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
        std::string name = Trim(line.substr(1, line.size() - 2));
        current = Find(name);
        if (current < 0) {
          sections.push_back({name, {}});
          current = static_cast<int>(sections.size()) - 1;
        }
        continue;
      }
      size_t equals = line.find('=');
      if (current < 0 || equals == std::string::npos) continue;
      sections[current].second.push_back({Trim(line.substr(0, equals)), line.substr(equals + 1)});
    }
  }
  std::string Read(const std::string& section, const std::string& ident) const {
    int at = Find(section);
    if (at < 0) return "<absent>";
    for (const auto& entry : sections[at].second)
      if (SameText(entry.first, ident)) return entry.second;
    return "<absent>";
  }
  void Write(const std::string& section, const std::string& ident, const std::string& value) {
    int at = Find(section);
    if (at < 0) {
      sections.push_back({section, {}});
      at = static_cast<int>(sections.size()) - 1;
    }
    for (auto& entry : sections[at].second) {
      if (!SameText(entry.first, ident)) continue;
      entry.second = value;
      return;
    }
    sections[at].second.push_back({ident, value});
  }
  void Erase(const std::string& section) {
    int at = Find(section);
    if (at >= 0) sections.erase(sections.begin() + at);
  }
  void DeleteKey(const std::string& section, const std::string& ident) {
    int at = Find(section);
    if (at < 0) return;
    auto& entries = sections[at].second;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (!SameText(it->first, ident)) continue;
      entries.erase(it);
      return;
    }
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& section : sections) names.push_back(section.first);
    return names;
  }

private:
  int Find(const std::string& name) const {
    for (size_t i = 0; i < sections.size(); ++i)
      if (SameText(sections[i].first, name)) return static_cast<int>(i);
    return -1;
  }
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;
};

TEST_F(IniFileTest, RandomTextsAndEditsAgreeWithAPlainReference) {
  std::mt19937 random(20261208);
  // Few distinct names in random case, so that repeats and case twins are common.
  auto name = [&](const char* stem) {
    std::string text = stem + std::to_string(random() % 6);
    for (char& c : text)
      if (random() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> lines;
    std::string text;
    const int lineCount = static_cast<int>(random() % 40);
    for (int i = 0; i < lineCount; ++i) {
      std::string line;
      switch (random() % 5) {
        case 0: line = "[ " + name("sec") + " ]"; break;
        case 1: line = "; " + name("id") + "=comment"; break;
        case 2: line = name("no-equals"); break;
        default: line = "  " + name("id") + " = v" + std::to_string(random() % 100) + "=x "; break;
      }
      lines.push_back(line);
      text += line + (random() % 2 ? "\r\n" : "\n");
    }
    TReferenceIni reference;
    reference.SetText(lines);
    ini->SetText(text);
    for (int op = 0; op < 30; ++op) {
      const std::string section = name("sec"), ident = name("id");
      switch (random() % 4) {
        case 0: {
          const std::string value = "w" + std::to_string(op);
          ini->WriteString(section, ident, value);
          reference.Write(section, ident, value);
          break;
        }
        case 1:
          ini->EraseSection(section);
          reference.Erase(section);
          break;
        case 2:
          ini->DeleteKey(section, ident);
          reference.DeleteKey(section, ident);
          break;
        default: break;
      }
      EXPECT_EQ(ini->ReadString(section, ident, "<absent>"), reference.Read(section, ident)) << section << "/" << ident;
    }
    EXPECT_EQ(ini->SectionNames(), reference.Names());
    for (const std::string& section : reference.Names())
      for (int i = 0; i < 6; ++i) {
        const std::string ident = "id" + std::to_string(i);
        EXPECT_EQ(ini->ReadString(section, ident, "<absent>"), reference.Read(section, ident));
      }
  }
}

TEST_F(IniFileTest, AHundredThousandSectionsAreReadAndFoundAgain) {
  // About 1 MB, the shape of a hostile language file: every line a new section.
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
  text += "[s99999]\nlate=1\n[s0]\nk=second\n";
  ini->SetText(text);
  ASSERT_EQ(ini->SectionNames().size(), 100000u);
  for (int i = 0; i < 100000; i += 997) EXPECT_EQ(ini->ReadString("s" + std::to_string(i), "K", ""), std::to_string(i));
  EXPECT_EQ(ini->ReadString("S99999", "late", ""), "1");
  EXPECT_EQ(ini->ReadString("S0", "k", ""), "0");  // the first ident counts
}

}  // namespace
