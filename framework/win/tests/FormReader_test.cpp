#include "win/FormReader.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(FormReader, ParsesObjectsPropertiesAndEveryValueKind) {
  TFormObject root = ParseFormDefinition(
      "\xEF\xBB\xBF// a sample\n"
      "TForm Main {\n"
      "  Caption = \"Say \\\"hi\\\"\\n\" + \"there\";\n"
      "  Left = -12; Tag = $FF; Ratio = 1.5e2;\n"
      "  BorderIcons = [biSystemMenu, biHelp];\n"
      "  Empty = [];\n"
      "  Lines = (\"a\", \"b\");\n"
      "  Font.Name = \"Tahoma\";\n"
      "  Columns = < item { Caption = \"Name\"; Width = 100; } item { Width = 50; } >;\n"
      "  Data = { 0a FF\n 10 };\n"
      "  Active = True;\n"
      "  TPanel Panel1 {\n"
      "    TButton Ok { Caption = \"OK\"; }\n"
      "  }\n"
      "  TTimer Timer1 { }\n"
      "}\n");
  EXPECT_EQ(root.className, "TForm");
  EXPECT_EQ(root.name, "Main");
  ASSERT_EQ(root.properties.size(), 11u);
  EXPECT_EQ(root.properties[0].value.text, "Say \"hi\"\nthere");
  EXPECT_EQ(root.properties[1].value.integer, -12);
  EXPECT_EQ(root.properties[2].value.integer, 255);
  EXPECT_DOUBLE_EQ(root.properties[3].value.real, 150.0);
  EXPECT_EQ(root.properties[4].value.names, (std::vector<std::string>{"biSystemMenu", "biHelp"}));
  EXPECT_TRUE(root.properties[5].value.names.empty());
  ASSERT_EQ(root.properties[6].value.list.size(), 2u);
  EXPECT_EQ(root.properties[7].path, "Font.Name");
  ASSERT_EQ(root.properties[8].value.items.size(), 2u);
  EXPECT_EQ(root.properties[8].value.items[0][1].value.integer, 100);
  EXPECT_EQ(root.properties[9].value.bytes, (std::vector<uint8_t>{0x0A, 0xFF, 0x10}));
  EXPECT_EQ(root.properties[10].value.kind, TFormValue::vkIdent);
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].children[0].name, "Ok");
  EXPECT_EQ(root.children[0].children[0].line, 14);
}

TEST(FormReader, FaultsNameTheirLine) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"TForm F {\n  A = ;\n}", "Line 2: Value expected"},
      {"TForm F {\n  A = \"open\n}", "Line 2: Unterminated string"},
      {"TForm F {\n  A = 1\n}", "Line 3: ';' expected"},
      {"TForm F {\n  A = { 1 };\n}", "Line 2: Odd number of hex digits"},
      {"TForm F {\n  A = \"\\q\";\n}", "Line 2: Unknown escape in string"},
      {"TForm F {\n  A = 1;\n", "Line 3: '}' expected"},
      {"TForm F { } x", "Line 1: Text after the end of the definition"},
      {"", "Line 1: Identifier expected"},
      {"TForm F { A = 99999999999999999999; }", "Line 1: Number too large"},
      {"TForm F { A = < foo { } >; }", "Line 1: 'item' expected"},
  };
  for (const Case& c : cases) {
    try {
      ParseFormDefinition(c.text);
      ADD_FAILURE() << "no error for: " << c.text;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.text;
    }
  }
}

TEST(FormReader, QuotedStringsReadBack) {
  std::string tricky = "tab\there \"quoted\" back\\slash\r\n\x01";
  TFormObject root = ParseFormDefinition("TForm F { S = " + QuoteFormString(tricky) + "; }");
  EXPECT_EQ(root.properties[0].value.text, tricky);
}

TEST(FormReader, NumbersAndLineEndsAtTheEdges) {
  TFormObject root = ParseFormDefinition(
      "TForm F {\r\n"
      "  A = -$10; B = 0; C = -2147483648; D = 9223372036854775;\r\n"
      "  E = 2.5; F = -0.25; G = 1e3;\r\n"
      "  H = \"\"; I = (); J = <>;\r\n"
      "  K = {};  // empty binary\r\n"
      "}");
  const auto& p = root.properties;
  ASSERT_EQ(p.size(), 11u);
  EXPECT_EQ(p[0].value.integer, -16);
  EXPECT_EQ(p[1].value.integer, 0);
  EXPECT_EQ(p[2].value.integer, -2147483648LL);
  EXPECT_EQ(p[3].value.integer, 9223372036854775LL);
  EXPECT_DOUBLE_EQ(p[4].value.real, 2.5);
  EXPECT_DOUBLE_EQ(p[5].value.real, -0.25);
  EXPECT_DOUBLE_EQ(p[6].value.real, 1000.0);
  EXPECT_EQ(p[7].value.kind, TFormValue::vkString);
  EXPECT_TRUE(p[8].value.list.empty());
  EXPECT_TRUE(p[9].value.items.empty());
  EXPECT_TRUE(p[10].value.bytes.empty());
  EXPECT_EQ(p[10].line, 5);  // CR LF counts one line
}

TEST(FormReader, NestingHasALimitAndHexReachesTheLowestValue) {
  auto nested = [](int levels) {
    std::string text = "TForm F {\n A = ";
    text += std::string(levels, '(') + std::string(levels, ')') + ";\n}";
    return text;
  };
  EXPECT_EQ(ParseFormDefinition(nested(99)).properties.size(), 1u);
  // Thousands of levels once overflowed the stack.
  for (int levels : {101, 20000}) {
    try {
      ParseFormDefinition(nested(levels));
      ADD_FAILURE() << levels << " levels read";
    } catch (const EFormError& e) {
      EXPECT_EQ(e.Message(), "Line 2: Nesting deeper than 100 levels");
    }
  }
  std::string objects = "TForm F {";
  for (int i = 0; i < 20000; ++i) objects += " TPanel P {";
  objects += std::string(20001, '}');
  EXPECT_THROW(ParseFormDefinition(objects), EFormError);
  TFormObject root = ParseFormDefinition("TForm F { A = $8000000000000000; B = -$8000000000000000; C = -$1; }");
  EXPECT_EQ(root.properties[0].value.integer, INT64_MIN);
  EXPECT_EQ(root.properties[1].value.integer, INT64_MIN);
  EXPECT_EQ(root.properties[2].value.integer, -1);
}
