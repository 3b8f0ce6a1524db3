// The patterns-file reader: the vocabulary read into the pattern model, the
// shipped file, and files that must be refused whole with a message naming
// the file and the place of the fault.
#include "PatternsReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "Settings.h"

namespace {

class PatternsReaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    SelectedPatternCode = "RANDOM";
    storage = New<TDataStorage>();
    path = ::testing::TempDir() + "patterns_reader_test.xml";
  }
  void TearDown() override {
    storage->Free();
    std::remove(path.c_str());
    SelectedPatternCode = "RANDOM";
  }
  void Write(const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  // The message of the refusal, or "" when the file was accepted.
  std::string Refusal(const std::string& text) {
    Write(text);
    try {
      LoadPatternsFile(storage, path);
    } catch (const EPatternsFileError& e) {
      EXPECT_EQ(storage->Patterns->Count(), 0);
      return e.Message();
    }
    return "";
  }

  TDataStorage* storage = nullptr;
  std::string path;
};

TEST_F(PatternsReaderTest, ReadsPatternsPassesAndSelectionInFileOrder) {
  Write("<?xml version='1.0'?>\n<root>\n"
        "  <x><options selected_pattern='first'/></x>\n"
        "  <options selected_pattern='TWO'/>\n"
        "  <group><pattern code='TWO' name='Zeros &amp; ones' description='d&#233;' order='9'>\n"
        "    <pass bytes='00' sequence='000000' order='1'/><!-- skipped -->\n"
        "    <step bytes='FF' sequence='924924' order='-2'><deeper bytes='zz' sequence='' order='x'/></step>\n"
        "  </pattern></group>\n"
        "  <pattern code='ONE' name='Random' description='' order='+1'><p bytes='00' sequence='RANDOM' order='1'/></pattern>\n"
        "</root>\n");
  LoadPatternsFile(storage, path);
  ASSERT_EQ(storage->Patterns->Count(), 2);
  TWipePattern* two = storage->Patterns->Items(0);
  EXPECT_EQ(two->Code, "TWO");
  EXPECT_EQ(two->Name, "Zeros & ones");
  EXPECT_EQ(two->Order, 9);
  ASSERT_EQ(two->Passes->Count(), 2);
  EXPECT_EQ(two->Passes->Items(1)->Fill, 0xFF);
  EXPECT_EQ(two->Passes->Items(1)->Sequence[0], 0x92);
  EXPECT_EQ(two->Passes->Items(1)->Order, -2);
  TWipePattern* one = storage->Patterns->Items(1);
  EXPECT_EQ(one->Order, 1);
  EXPECT_EQ(one->Passes->Items(0)->Sequence[2], 0x20);
  EXPECT_EQ(SelectedPatternCode, "TWO");
  EXPECT_EQ(storage->GetSelectedPattern(), two);
}

TEST_F(PatternsReaderTest, DocumentTypeWithSubsetsStillLoadsAndNothingOutsideIsRead) {
  // The external subset beside the file would refuse the file if it were read.
  std::string dtd = ::testing::TempDir() + "patterns_reader_test.dtd";
  std::ofstream(dtd, std::ios::binary) << "<!ELEMENT broken";
  Write("<?xml version='1.0'?>\n<!DOCTYPE root SYSTEM 'patterns_reader_test.dtd' [\n"
        "  <!ELEMENT root ANY>\n  <!ENTITY % p '<!ENTITY more \"m\">'> %p;\n]>\n<root>\n"
        "  <pattern code='ONE' name='One' description='' order='1'><p bytes='00' sequence='RANDOM' order='1'/></pattern>\n"
        "</root>\n");
  LoadPatternsFile(storage, path);
  std::remove(dtd.c_str());
  ASSERT_EQ(storage->Patterns->Count(), 1);
  EXPECT_EQ(storage->Patterns->Items(0)->Name, "One");
}

TEST_F(PatternsReaderTest, NoOptionsKeepsTheDefaultAndRootPatternIsNotRead) {
  Write("<pattern code='X' name='n' description='d' order='1'/>");
  LoadPatternsFile(storage, path);
  EXPECT_EQ(storage->Patterns->Count(), 0);
  EXPECT_EQ(SelectedPatternCode, "RANDOM");
}

TEST_F(PatternsReaderTest, UnusableFilesAreRefusedWithThePlace) {
  struct Case {
    const char* text;
    const char* expected;  // a part of the message
  } cases[] = {
      {"<root>\n  <pattern code='A'>\n</root>", "line 3, column 3"},
      {"<root><pattern name='n' description='d' order='1'/></root>", "no attribute \"code\""},
      {"<root><pattern code='A' name='n' description='d' order='1'><p sequence='00' order='1'/></pattern></root>",
       "no attribute \"bytes\""},
      {"<root><pattern code='A' name='n' description='d' order='1.5'/></root>", "\"1.5\" is not an integer"},
      {"<root><pattern code='A' name='n' description='d' order='$10'/></root>", "not an integer"},
      {"<root><pattern code='A' name='n' description='d' order='99999999999'/></root>", "not an integer"},
      {"<root><options/></root>", "no attribute \"selected_pattern\""},
      // Pass bytes that are not hexadecimal digits would be read as other bytes.
      {"<root>\n<pattern code='A' name='n' description='d' order='1'>\n  <p bytes='G0' sequence='' order='1'/>"
       "</pattern></root>",
       "bytes \"G0\", which are not two hexadecimal digits (line 3, column 6)"},
      {"<root><pattern code='A' name='n' description='d' order='1'><p bytes='F' sequence='' order='1'/></pattern>"
       "</root>",
       "not two hexadecimal digits"},
      {"<root><pattern code='A' name='n' description='d' order='1'><p bytes='FFF' sequence='' order='1'/></pattern>"
       "</root>",
       "not two hexadecimal digits"},
      {"<root><pattern code='A' name='n' description='d' order='1'><p bytes='00' sequence='92X' order='1'/>"
       "</pattern></root>",
       "sequence \"92X\", which is not two, four or six hexadecimal digits (line 1, column "},
      {"<root><pattern code='A' name='n' description='d' order='1'><p bytes='00' sequence='random' order='1'/>"
       "</pattern></root>",
       "not two, four or six hexadecimal digits"},
      // Three space bytes are the engine's mark for random data.
      {"<root><pattern code='A' name='Spaces' description='d' order='1'>\n<p bytes='20' sequence='202020' order='1'/>"
       "</pattern></root>",
       "pattern \"Spaces\" has the sequence \"202020\", which the engine reads as random data; write \"RANDOM\" for "
       "random data (line 2, column 15)"},
      {"<root>\n\n<pattern code='A' name=\"\" description='d' order='1'/></root>",
       "the pattern \"A\" has an empty name (line 3, column 19)"},
      {"", "line 1, column 1"},
      {"<?xml version='1.0' encoding='UTF-16'?><root/>", "encoding"},
      {"<?xml version='1.0' standalone='perhaps'?><root/>", "declaration is malformed"},
      // An external entity in a value is not well-formed; the file's own
      // internal entities are never expanded.
      {"<!DOCTYPE root [<!ENTITY x SYSTEM 'x.xml'>]><root><pattern code='A' name='n&amp;&x;' description='d' "
       "order='1'/></root>",
       "not well-formed XML (line 1, column 52)"},
      {"<!DOCTYPE root [<!ENTITY nm 'Name'>]><root><pattern code='B' name='Zeros &amp; ones' description='d' "
       "order='2'/>\n<pattern code='A' name='&nm;' description='d' order='1'/></root>",
       "the entity \"nm\", which is never expanded: the file's own entity declarations are not read and nothing "
       "outside it is fetched, so values may use only character references and the entities amp, lt, gt, apos and "
       "quot (line 2, column 19)"},
      // Without a declaration the file is not well-formed; the pattern is not left out.
      {"<root>\n<pattern code='A' name='&nm;' description='d' order='1'/></root>", "XML (line 2, column 2)"},
  };
  for (const Case& c : cases) {
    std::string message = Refusal(c.text);
    EXPECT_NE(message.find(c.expected), std::string::npos) << c.text << " -> " << message;
    EXPECT_NE(message.find(path), std::string::npos) << message;
  }
}

TEST_F(PatternsReaderTest, MoreThanAHundredPassesIsRefused) {
  std::string text = "<root><pattern code='A' name='Long' description='d' order='1'>";
  for (int i = 0; i < kMaxPassesPerPattern; ++i) text += "<p bytes='00' sequence='' order='1'/>";
  EXPECT_EQ(Refusal(text + "</pattern></root>"), "");
  storage->Patterns->Clear();
  EXPECT_NE(Refusal(text + "<p bytes='00' sequence='' order='1'/></pattern></root>").find("more than 100 passes"),
            std::string::npos);
}

TEST_F(PatternsReaderTest, MissingFileIsRefused) {
  std::remove(path.c_str());
  try {
    LoadPatternsFile(storage, path);
    ADD_FAILURE() << "no refusal";
  } catch (const EPatternsFileError& e) {
    EXPECT_NE(e.Message().find(path), std::string::npos);
    EXPECT_NE(e.Message().find("cannot be opened"), std::string::npos) << e.Message();
  }
}

// The file that ships beside the program, in the source tree (whose absolute
// path the emulator maps to drive Z:).
TEST_F(PatternsReaderTest, ShippedFileHoldsTheKnownMethods) {
  std::string shipped = std::string(QV_SOURCE_DIR) + "/resources/Quorvanell.xml";
  if (!shipped.empty() && shipped[0] == '/') shipped = "Z:" + shipped;
  for (char& c : shipped)
    if (c == '/') c = '\\';
  ASSERT_TRUE(std::ifstream(shipped).good()) << "not found: " << shipped;
  LoadPatternsFile(storage, shipped);
  EXPECT_EQ(SelectedPatternCode, "RANDOM");
  auto find = [&](const std::string& code) -> TWipePattern* {
    for (int i = 0; i < storage->Patterns->Count(); ++i)
      if (storage->Patterns->Items(i)->Code == code) return storage->Patterns->Items(i);
    return nullptr;
  };
  struct Expect {
    const char* code;
    int passes;
  } expected[] = {{"RANDOM", 1}, {"ZEROS", 1}, {"DOD_3", 3}, {"DOD_7", 7}, {"GUTMANN", 35}, {"SCHNEIER", 7}};
  for (const Expect& e : expected) {
    TWipePattern* pattern = find(e.code);
    ASSERT_NE(pattern, nullptr) << e.code;
    EXPECT_EQ(pattern->Passes->Count(), e.passes) << e.code;
  }
  // Random passes read as three 0x20 bytes, the engine's mark for random data.
  TWipePass* random = find("RANDOM")->Passes->Items(0);
  EXPECT_EQ(random->Sequence[0], 0x20);
  EXPECT_EQ(random->Sequence[2], 0x20);
  TWipePass* gutmann7 = find("GUTMANN")->Passes->Items(6);
  EXPECT_EQ(gutmann7->Sequence[0], 0x92);
  EXPECT_EQ(gutmann7->Sequence[1], 0x49);
  EXPECT_EQ(gutmann7->Sequence[2], 0x24);
  EXPECT_EQ(find("ZEROS_ONES")->Name, "Zeros & ones");
}

}  // namespace

namespace {

TEST_F(PatternsReaderTest, AnEntityThatExpandsTooFarIsRefusedWithFileAndPlace) {
  // Each level ten times the one before: far more text than any value may take.
  std::string dtd = "<!DOCTYPE root [\n<!ENTITY l0 'laugh-laugh'>\n";
  for (int level = 1; level <= 9; ++level) {
    dtd += "<!ENTITY l" + std::to_string(level) + " '";
    for (int i = 0; i < 10; ++i) dtd += "&l" + std::to_string(level - 1) + ";";
    dtd += "'>\n";
  }
  dtd += "]>\n";
  const std::string message = Refusal("<?xml version='1.0'?>\n" + dtd +
                                      "<root>\n  <pattern code='A' name='n' description='d' order='1'>\n"
                                      "    <p bytes='00' sequence='&l9;' order='1'/>\n  </pattern>\n</root>\n");
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("\"sequence\""), std::string::npos) << message;
  EXPECT_NE(message.find("the entity \"l9\", which is never expanded"), std::string::npos) << message;
  EXPECT_NE(message.find("(line 16, column 19)"), std::string::npos) << message;
  EXPECT_EQ(message.find("Attribute value normalization failed"), std::string::npos) << message;
}

}  // namespace
