// Verdicts on whole documents: well formed or not, valid or not, and the
// error each fault is reported with. Each case is a small document (external
// subsets are files the test writes) read with its models prepared.
#include "DtdTestSupport.h"

#include <random>

#include "xml/XPathExpression.h"

namespace {

class VerdictTest : public DtdTest {
protected:
  void SetUp() override {
    DtdTest::SetUp();
    WriteFile("any.dtd", "<!ELEMENT r ANY>");
    WriteFile("sa.dtd", "<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ENTITY ext 'e'>");
  }
  // Parses and, when the document came through, validates it.
  // Well formed: no fatal error; valid: well formed and no error at all.
  struct Verdict {
    bool wellFormed;
    bool valid;
    std::vector<TXmlErrorType> types;
  };
  Verdict Judge(const std::string& xml) {
    recorder->reports.clear();
    TdomDocument* doc = Parse(xml);
    bool wellFormed = doc != nullptr;
    if (doc != nullptr) doc->validate(/*keepUnchanged=*/true);
    bool valid = wellFormed;
    for (const Report& r : recorder->reports) {
      if (IsFatalErrorType(r.type)) wellFormed = false;
      if (!IsHintOrWarningErrorType(r.type)) valid = false;
    }
    return {wellFormed, valid && wellFormed, Types()};
  }
  bool Has(const Verdict& v, TXmlErrorType type) {
    for (TXmlErrorType t : v.types)
      if (t == type) return true;
    return false;
  }
  static std::string Show(const Verdict& v) {
    std::string text;
    for (TXmlErrorType t : v.types) text += " " + std::string(XmlErrorTypeName(t));
    return text;
  }
};

// Valid documents that were refused.
TEST_F(VerdictTest, ValidDocumentsPass) {
  WriteFile("decl.dtd", "<!ELEMENT r (#PCDATA)><!ATTLIST r b CDATA 'y'>");
  WriteFile("cond.dtd", "<!ENTITY % on 'INCLUDE'><!ENTITY % off 'IGNORE'>"
                        "<![%on;[<!ELEMENT r (#PCDATA)>]]><![ %off; [<!ELEMENT r EMPTY>]]>");
  const char* docs[] = {
      // External element declarations survive an internal attribute list for the same element.
      "<!DOCTYPE r SYSTEM 'decl.dtd' [<!ATTLIST r a CDATA 'x'>]><r>t</r>",
      // A percent sign in an attribute default or a system literal of the internal subset is text.
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA '%x;'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM 'n%x;'><!ENTITY e SYSTEM 'e%x;.ent'>"
      "<!ENTITY u PUBLIC '-//x' 'u%x;.bin' NDATA n>]><r/>",
      // Conditional sections whose keyword comes from a parameter entity.
      "<!DOCTYPE r SYSTEM 'cond.dtd'><r>t</r>",
      // Defaults are normalised before their type is checked.
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t NMTOKENS ' 1  \t2 \t' u NMTOKENS 'p  q'>]><r/>",
      // Character references to markup characters in defaults.
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA 'x&#38;y' b CDATA 'x&#60;y' c CDATA '&amp;'>]><r/>",
  };
  for (const char* doc : docs) {
    Verdict v = Judge(doc);
    EXPECT_TRUE(v.valid) << doc << Show(v);
  }
}

TEST_F(VerdictTest, DefaultsHoldTheirNormalisedValues) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA 'x&#38;y' b CDATA 'x&amp;y' c CDATA '&#60;' "
      "p CDATA '%x;' t NMTOKENS ' 1  \t2 \t'>]><r/>");
  ASSERT_NE(doc, nullptr) << Show({false, false, Types()});
  TdomElement* r = doc->GetDocumentElement();
  for (const char16_t* name : {u"a", u"b", u"c", u"p", u"t"}) ASSERT_NE(r->getAttributeNode(name), nullptr) << Utf8(name);
  EXPECT_EQ(r->getAttributeNode(u"a")->GetValue(), u"x&y");
  EXPECT_EQ(r->getAttributeNode(u"b")->GetValue(), u"x&y");
  EXPECT_EQ(r->getAttributeNode(u"c")->GetValue(), u"<");
  EXPECT_EQ(r->getAttributeNode(u"p")->GetValue(), u"%x;");
  EXPECT_EQ(r->getAttributeNode(u"t")->GetValue(), u"1 2");
  // Specified and defaulted values of the same text agree.
  TdomDocument* given = Parse("<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED>]><r a='x&#38;y'/>");
  ASSERT_NE(given, nullptr);
  EXPECT_EQ(given->GetDocumentElement()->getAttributeNode(u"a")->GetValue(), u"x&y");
}

// Invalid documents that passed, each with the error that must be reported.
TEST_F(VerdictTest, InvalidDocumentsAreReported) {
  const std::string sa = "<?xml version='1.0' standalone='yes'?>";
  struct Case {
    std::string xml;
    TXmlErrorType type;
  } cases[] = {
      // Entity content under ANY is checked.
      {"<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT c EMPTY><!ATTLIST c i ID #IMPLIED>"
       "<!ENTITY e '<c i=\"1x\"/>'>]><r>&e;</r>",
       ET_ATTRIBUTE_TYPE_MISMATCH},
      {"<!DOCTYPE r SYSTEM 'any.dtd' [<!ENTITY e '&u;'>]><r>&e;</r>", ET_UNDEFINED_ENTITY},
      // An empty element holds not even a reference to an empty entity.
      {"<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY e ''>]><r>&e;</r>", ET_DECLARED_EMPTY_ELEMENT_NOT_EMPTY},
      // A standalone document refers in an attribute value to an externally declared entity.
      {sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='&ext;'/>", ET_STANDALONE_VIOLATED},
  };
  // Models prepared while parsing, or only when validating.
  for (TdomAutoPrepare prepare : {AP_COMPLETE, AP_NO}) {
    parser->SetAutoPrepare(prepare);
    for (const Case& c : cases) {
      Verdict v = Judge(c.xml);
      EXPECT_TRUE(v.wellFormed) << prepare << c.xml << Show(v);
      EXPECT_FALSE(v.valid) << prepare << c.xml;
      EXPECT_TRUE(Has(v, c.type)) << prepare << c.xml << Show(v);
    }
  }
}

// Validity constraints on declarations are errors, not fatal errors.
TEST_F(VerdictTest, DeclarationConstraintsAreValidityErrors) {
  struct Case {
    const char* xml;
    TXmlErrorType type;
  } cases[] = {
      {"<!DOCTYPE r [<!ELEMENT r EMPTY><!ELEMENT r ANY>]><r/>", ET_DUPLICATE_ELEMENT_TYPE_DECL},
      {"<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #IMPLIED j ID #IMPLIED>]><r/>",
       ET_DUPLICATE_ID_ON_ELEMENT_TYPE},
      {"<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID 'x'>]><r/>", ET_ID_NEITHER_IMPLIED_NOR_REQUIRED},
      {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a|a)*><!ELEMENT a EMPTY>]><r/>", ET_DUPLICATE_NAME_IN_MIXED_CONTENT},
  };
  for (const Case& c : cases) {
    Verdict v = Judge(c.xml);
    EXPECT_TRUE(v.wellFormed) << c.xml << Show(v);
    EXPECT_FALSE(v.valid) << c.xml;
    EXPECT_TRUE(Has(v, c.type)) << c.xml << Show(v);
  }
}

// Documents that are not well formed.
TEST_F(VerdictTest, MalformedDocumentsAreRefused) {
  WriteFile("lit.dtd", "<!ENTITY % q \"'abc\"><!ENTITY x %q;>");
  // External parameter entities whose first line is an XML declaration, not a text declaration.
  WriteFile("sa.ent", "<?xml version='1.0' standalone='no'?><!ELEMENT r EMPTY>");
  WriteFile("sa-pe.dtd", "<!ENTITY % e SYSTEM 'sa.ent'>%e;");
  WriteFile("sa-value.dtd", "<!ENTITY % e SYSTEM 'sa.ent'><!ENTITY x '%e;'><!ELEMENT r EMPTY>");
  WriteFile("text.ent", "<?xml encoding='UTF-8'?><!ELEMENT r EMPTY>");
  WriteFile("text-pe.dtd", "<!ENTITY % e SYSTEM 'text.ent'>%e;");
  const char* docs[] = {
      "<!DOCTYPE r SYSTEM 'sa-pe.dtd'><r/>",
      "<!DOCTYPE r SYSTEM 'sa-value.dtd'><r/>",
      "<!DOCTYPE r [<!ELEMENT r (a ?)><!ELEMENT a EMPTY>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r (a) *><!ELEMENT a EMPTY>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r (a , b) ?><!ELEMENT a EMPTY>]><r/>",
      // A literal cut short by the end of a parameter entity.
      "<!DOCTYPE r SYSTEM 'lit.dtd'><r/>",
      // White space that sets literals and definitions apart.
      "<!DOCTYPE r SYSTEM'any.dtd'><r/>",
      "<!DOCTYPE r PUBLIC '-//p''any.dtd'><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r x CDATA 'a'y CDATA 'b'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r x CDATA #FIXED \"a\"y CDATA #IMPLIED>]><r/>",
  };
  for (const char* doc : docs) {
    Verdict v = Judge(doc);
    EXPECT_FALSE(v.wellFormed) << doc << Show(v);
  }
  // The well-formed neighbours of the above.
  Verdict v = Judge("<!DOCTYPE r [<!ELEMENT r ((a)?,(b)*)><!ELEMENT a EMPTY><!ELEMENT b EMPTY>]><r><a/><b/></r>");
  EXPECT_TRUE(v.valid) << Show(v);
  for (const char* doc : {"<!DOCTYPE r SYSTEM 'text-pe.dtd'><r/>", "<!DOCTYPE r SYSTEM 'any.dtd'><r/>",
                          "<!DOCTYPE r PUBLIC '-//p' 'any.dtd'[]><r/>",
                          "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r x CDATA 'a' y CDATA #IMPLIED\tz CDATA 'c'>]><r/>"}) {
    v = Judge(doc);
    EXPECT_TRUE(v.valid) << doc << Show(v);
  }
}

// Each check's error type is named for what it finds.
TEST_F(VerdictTest, ErrorTypesNamedForTheirChecks) {
  struct Case {
    const char* xml;
    TXmlErrorType type;
    const char* word;  // in the type's name
  } cases[] = {
      {"<?1x?><r/>", ET_INVALID_PI_TARGET_OR_DATA, "PI"},
      {"<r><?-p?></r>", ET_INVALID_PI_TARGET_OR_DATA, "PI"},
  };
  for (const Case& c : cases) {
    Verdict v = Judge(c.xml);
    EXPECT_FALSE(v.wellFormed) << c.xml;
    EXPECT_TRUE(Has(v, c.type)) << c.xml << Show(v);
    EXPECT_NE(std::string(XmlErrorTypeName(c.type)).find(c.word), std::string::npos) << c.xml;
    EXPECT_EQ(std::string(XmlErrorTypeName(c.type)).find("PUBLIC"), std::string::npos) << c.xml;
  }
  EXPECT_NE(std::string(XmlErrorTypeName(ET_INVALID_CDATA_SECTION_TEXT)).find("CDATA"), std::string::npos);
  EXPECT_NE(std::string(XmlErrorTypeName(ET_HYPHEN_AT_COMMENT_END)).find("COMMENT"), std::string::npos);
}

TEST_F(VerdictTest, IdsAnswerAfterACompleteParse) {
  TdomDocument* doc =
      Parse("<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #IMPLIED>]><r><c/><c i='a'/></r>");
  ASSERT_NE(doc, nullptr);
  TdomElement* second = static_cast<TdomElement*>(doc->GetDocumentElement()->GetLastChildNode());
  EXPECT_EQ(doc->getElementById(u"a"), second);
  EXPECT_EQ(doc->EvaluateToNode(u"id('a')"), second);
}

// An external subset found relative to the folder a file name is relative to;
// one that cannot be had is reported as such, at the declaration.
TEST_F(VerdictTest, ExternalSubsetOfAFileParsedByName) {
  WriteFile("rel.dtd", "<!ELEMENT r EMPTY><!ATTLIST r a CDATA 'from-dtd'>");
  WriteFile("rel.xml", "<!DOCTYPE r SYSTEM 'rel.dtd'><r/>");
  WriteFile("gone.xml", "<?xml version='1.0'?>\n<!DOCTYPE r SYSTEM 'gone.dtd'><r/>");
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  TdomDocument* doc = nullptr;
  TdomDocument* gone = nullptr;
  recorder->reports.clear();
  try {
    doc = parser->ParseFile("rel.xml");
  } catch (const EParserException&) {
  }
  std::vector<TXmlErrorType> relTypes = Types();
  recorder->reports.clear();
  try {
    gone = parser->ParseFile("gone.xml");
  } catch (const EParserException&) {
  }
  std::filesystem::current_path(before);
  ASSERT_NE(doc, nullptr) << Show({false, false, relTypes});
  EXPECT_EQ(relTypes, std::vector<TXmlErrorType>{});
  EXPECT_EQ(doc->GetDocumentElement()->getAttribute(u"a"), u"from-dtd");
  (void)gone;
  ASSERT_FALSE(recorder->reports.empty());
  EXPECT_EQ(Types().front(), ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE);
  EXPECT_EQ(recorder->reports.front().line, 2);  // the declaration's line
}

// A surrogate half on its own is no character, in an attribute value as in text.
TEST_F(VerdictTest, LoneSurrogatesAreRefused) {
  // UCS-4 carries a surrogate half as a code point of its own.
  auto ucs4be = [](const std::u16string& text) {
    std::string out("\0\0\xFE\xFF", 4);
    for (char16_t c : text) {
      out += std::string(2, '\0');
      out.push_back(static_cast<char>(c >> 8));
      out.push_back(static_cast<char>(c & 0xFF));
    }
    return out;
  };
  for (const std::u16string& value : {std::u16string(u"&amp;\xD800x"), std::u16string(u"x\xDC00&amp;"),
                                      std::u16string(u"\xD800")}) {
    Verdict v = Judge(ucs4be(u"<r a='" + value + u"'/>"));
    EXPECT_FALSE(v.wellFormed) << Utf8(value) << Show(v);
  }
  Verdict v = Judge(ucs4be(u"<r a='&amp;x'>y</r>"));
  EXPECT_TRUE(v.wellFormed) << Show(v);
}

// A byte its code page leaves undefined is an error at its place, naming the
// byte, never an early end of the document.
TEST_F(VerdictTest, UndefinedBytesOfACodePage) {
  struct Case {
    std::string body;
    int64_t line, column;
  } cases[] = {{"<r>a\xA5</r>", 2, 5}, {"<r>\r\xA5</r>", 3, 1}, {"<r a='\xA5'/>", 2, 7}};
  for (const Case& c : cases) {
    recorder->reports.clear();
    EXPECT_EQ(Parse("<?xml version='1.0' encoding='ISO-8859-3'?>\n" + c.body), nullptr) << c.body;
    ASSERT_EQ(recorder->reports.size(), 1u) << c.body;
    EXPECT_EQ(recorder->reports[0].type, ET_INVALID_CHARACTER);
    EXPECT_EQ(Utf8(recorder->reports[0].code), "$A5 is not a valid ISO-8859-3 code point");
    EXPECT_EQ(recorder->reports[0].line, c.line) << c.body;
    EXPECT_EQ(recorder->reports[0].column, c.column) << c.body;
  }
}

}  // namespace

namespace {

// A CDATA attribute reads the same with and without a DTD behind it: the
// document's own normalisation and the models' agree on every value made of
// literal text, white space, character and predefined entity references.
TEST_F(VerdictTest, CdataValuesNormaliseAlikeWithAndWithoutModels) {
  TdomDocument* withModels = Parse("<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED>]><r/>");
  TdomDocument* plain = Parse("<r/>");
  ASSERT_NE(withModels, nullptr);
  ASSERT_NE(plain, nullptr);
  const char16_t* pieces[] = {u"a",      u" ",     u"\t",    u"\n",   u"&#60;", u"&#x3C;", u"&lt;",  u"&amp;",
                              u"&#38;",  u"&#9;",  u"&#xA;", u"&quot;", u"&#0;", u"&bad;",  u"<",     u"&",
                              u"&#x10000;", u"&#xD800;", u"&apos;", u"&#"};
  std::mt19937 random(34);
  for (int round = 0; round < 2000; ++round) {
    std::u16string raw;
    for (int n = random() % 6; n > 0; --n) raw += pieces[random() % std::size(pieces)];
    TdomAttr* a = withModels->GetDocumentElement()->setAttribute(u"a", raw);
    if (a == nullptr) a = withModels->GetDocumentElement()->getAttributeNode(u"a");
    TdomAttr* b = plain->GetDocumentElement()->setAttribute(u"a", raw);
    if (b == nullptr) b = plain->GetDocumentElement()->getAttributeNode(u"a");
    std::u16string va, vb;
    TXmlErrorType ta, tb;
    withModels->CalculateNormalizedAttrValue(a, va, ta);
    plain->CalculateNormalizedAttrValue(b, vb, tb);
    ASSERT_EQ(IsHintOrWarningErrorType(ta), IsHintOrWarningErrorType(tb)) << Utf8(raw);
    ASSERT_EQ(va, vb) << Utf8(raw);
  }
}

}  // namespace

namespace {

// A system literal may hold any character but its quote; before it is used as
// a URI, a space, a lone '%' or a non-ASCII letter is escaped, so the files
// are found whatever their names.
TEST_F(VerdictTest, SystemIdentifiersWithCharactersOutsideUris) {
  const std::string decl = "<!ELEMENT r (#PCDATA)>";
  WriteFile("a b.dtd", decl);
  WriteFile("100%.dtd", decl);
  WriteFile("p q.ent", decl);
  WriteFile("g h.ent", "text");
  std::ofstream(folder / std::filesystem::path(u"d\u00e9.dtd"), std::ios::binary) << decl;
  const char* docs[] = {
      "<!DOCTYPE r SYSTEM 'a b.dtd'><r/>",
      "<!DOCTYPE r SYSTEM 'a%20b.dtd'><r/>",  // already escaped: kept
      "<!DOCTYPE r SYSTEM '100%.dtd'><r/>",
      "<!DOCTYPE r SYSTEM 'd\xC3\xA9.dtd'><r/>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM 'p q.ent'>%p;]><r/>",
      "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY g SYSTEM 'g h.ent'>]><r>&g;</r>",
  };
  for (const char* doc : docs) {
    Verdict v = Judge(doc);
    EXPECT_TRUE(v.valid) << doc << Show(v);
  }
  // Names inside an external subset resolve against the subset's own place.
  std::filesystem::create_directories(folder / "sub dir");
  WriteFile("sub dir/d.dtd", "<!ENTITY % p SYSTEM 'p q.ent'>%p;<!ENTITY g SYSTEM 'g h.ent'>");
  WriteFile("sub dir/p q.ent", decl);
  WriteFile("sub dir/g h.ent", "inner");
  TdomDocument* nested = Parse("<!DOCTYPE r SYSTEM 'sub dir/d.dtd'><r>&g;</r>");
  ASSERT_NE(nested, nullptr) << Show({false, false, Types()});
  EXPECT_EQ(nested->GetDocumentElement()->GetTextContent(), u"inner");
  // The file's own name, as the platform writes it (a drive path on Windows).
  std::string absolute = "<!DOCTYPE r SYSTEM '" + (folder / "a b.dtd").string() + "'><r/>";
  Verdict v = Judge(absolute);
  EXPECT_TRUE(v.valid) << absolute << Show(v);
  TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY g SYSTEM 'g h.ent'>]><r>&g;</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"text");
}

}  // namespace

namespace {

// An external parsed entity may start with a text declaration only: an
// encoding, optionally a version, never a standalone. Every head below is
// judged against that rule, as the text of a general entity referenced in
// content and as the text of a parameter entity, which must agree.
TEST_F(VerdictTest, ExternalEntitiesStartWithATextDeclarationOnly) {
  struct Head {
    std::string text;
    TXmlErrorType type;  // what the rule says
  };
  std::vector<Head> heads = {{"", ET_NONE}};
  for (const char* version : {"", " version='1.0'"})
    for (const char* encoding : {"", " encoding='UTF-8'", " encoding='x-none'"})
      for (const char* standalone : {"", " standalone='yes'", " standalone='no'"}) {
        // "<?xml?>" is a processing instruction with a reserved target.
        if (*version == 0 && *encoding == 0 && *standalone == 0) continue;
        // A text declaration names its encoding and has no standalone part.
        TXmlErrorType type = ET_NONE;
        if (*encoding == 0 || *standalone != 0) {
          type = ET_INVALID_TEXT_DECL;
        } else if (std::string(encoding).find("x-none") != std::string::npos) {
          type = ET_ENCODING_NOT_SUPPORTED;
        }
        heads.push_back({std::string("<?xml") + version + encoding + standalone + "?>", type});
      }
  WriteFile("pe.dtd", "<!ENTITY % e SYSTEM 'pe.ent'>%e;");
  WriteFile("in-markup.dtd", "<!ENTITY % e SYSTEM 'any.ent'><!ELEMENT r %e;>");
  for (TdomAutoPrepare prepare : {AP_COMPLETE, AP_NO}) {
    parser->SetAutoPrepare(prepare);
    for (const Head& head : heads) {
      WriteFile("g.ent", head.text + "text");
      WriteFile("pe.ent", head.text + "<!ELEMENT r ANY>");
      WriteFile("any.ent", head.text + "ANY");
      Verdict general = Judge("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e SYSTEM 'g.ent'>]><r>&e;</r>");
      Verdict parameter = Judge("<!DOCTYPE r SYSTEM 'pe.dtd'><r/>");
      Verdict inMarkup = Judge("<!DOCTYPE r SYSTEM 'in-markup.dtd'><r/>");
      for (const Verdict* verdict : {&general, &parameter, &inMarkup}) {
        const Verdict& v = *verdict;
        std::string what = std::string(verdict == &general ? "general " : verdict == &parameter ? "parameter " : "markup ") +
                           std::to_string(int(prepare)) + " " + head.text + Show(v);
        if (head.type == ET_NONE) {
          EXPECT_TRUE(v.valid) << what;
        } else {
          EXPECT_FALSE(v.wellFormed) << what;
          EXPECT_TRUE(Has(v, head.type)) << what;
          EXPECT_FALSE(Has(v, ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE)) << what;
        }
      }
    }
    // Read as it should be, the entity's text is in the document.
    WriteFile("g.ent", "<?xml version='1.0' encoding='UTF-8'?>te<!--c-->xt");
    TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e SYSTEM 'g.ent'>]><r>&e;</r>");
    ASSERT_NE(doc, nullptr) << int(prepare);
    if (prepare == AP_COMPLETE) {
      EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"text");
    }
    // A text that cannot be had leaves the document well formed and invalid.
    Verdict missing = Judge("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e SYSTEM 'none.ent'>]><r>&e;</r>");
    EXPECT_TRUE(missing.wellFormed) << int(prepare) << Show(missing);
    EXPECT_FALSE(missing.valid) << int(prepare);
    EXPECT_TRUE(Has(missing, ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE)) << int(prepare) << Show(missing);
    // In an attribute value an external entity is refused whatever it starts with.
    for (const char* head : {"<?xml version='1.0' standalone='yes'?>", "<?xml encoding='UTF-8'?>"}) {
      WriteFile("g.ent", std::string(head) + "text");
      Verdict attr = Judge("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED>"
                           "<!ENTITY e SYSTEM 'g.ent'>]><r a='&e;'/>");
      EXPECT_FALSE(attr.wellFormed) << int(prepare) << head << Show(attr);
      EXPECT_TRUE(Has(attr, ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE)) << int(prepare) << head << Show(attr);
    }
  }
}

}  // namespace

namespace {

// SYSTEM takes a system literal, and PUBLIC a public and a system literal
// (a notation may stop after the public one), wherever identifiers stand. A
// missing system literal is named as such, placed where it should have
// started in a document type declaration, and where the declaration's other
// faults are placed in the others.
TEST_F(VerdictTest, MissingSystemLiteralsAreNamed) {
  struct Form {
    std::string before, after;
    bool notation;
  } forms[] = {
      {"<!DOCTYPE r ", "><r/>", false},
      {"<!DOCTYPE r ", " [<!ENTITY x 'y'>]><r/>", false},
      {"<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e ", ">]><r/>", false},
      {"<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'><!ENTITY e ", " NDATA n>]><r/>", false},
      {"<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY % e ", ">]><r/>", false},
      {"<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n ", ">]><r/>", true},
  };
  struct Ids {
    std::string text;
    bool systemLiteral, publicLiteral;
  } ids[] = {{"SYSTEM", false, false}, {"SYSTEM 'any.dtd'", true, false},
             {"PUBLIC '-//x//y'", false, true}, {"PUBLIC '-//x//y'  ", false, true},
             {"PUBLIC '-//x//y' 'any.dtd'", true, true}};
  for (const Form& form : forms) {
    // Where the declaration's other faults are reported.
    Judge(form.before + "PUBLIC '-//x//y' 'any.dtd' 'z'" + form.after);
    ASSERT_FALSE(recorder->reports.empty()) << form.before;
    Report other = recorder->reports.front();
    for (const Ids& id : ids) {
      std::string xml = form.before + id.text + form.after;
      Verdict v = Judge(xml);
      bool missing = !id.systemLiteral && !(form.notation && id.publicLiteral);
      if (!missing) {
        EXPECT_TRUE(v.valid) << xml << Show(v);
        continue;
      }
      EXPECT_FALSE(v.wellFormed) << xml;
      ASSERT_EQ(v.types, std::vector<TXmlErrorType>{ET_INVALID_SYSTEM_ID}) << xml << Show(v);
      const Report& report = recorder->reports.front();
      EXPECT_EQ(report.line, 1) << xml;
      if (form.before == "<!DOCTYPE r ") {
        size_t expected = form.before.size() + id.text.find_last_not_of(' ') + 1;
        while (xml[expected] == ' ') ++expected;
        EXPECT_EQ(report.column, int64_t(expected) + 1) << xml;
      } else {
        EXPECT_EQ(report.column, other.column) << xml;
      }
    }
  }
  // A literal left open is still one.
  Verdict v = Judge("<!DOCTYPE r PUBLIC '-//x//y' 'any.dtd><r/>");
  EXPECT_FALSE(v.wellFormed);
  EXPECT_FALSE(Has(v, ET_INVALID_SYSTEM_ID)) << Show(v);
}

}  // namespace

namespace {

// An entity's replacement text reads as if it stood where the reference
// stands: random texts give the same verdict and the same content through an
// internal entity, through an external one and written in place, and a
// refused document always says why.
TEST_F(VerdictTest, ReplacementTextsReadAsIfWrittenInPlace) {
  struct Piece {
    std::string value;  // in an entity value literal
    std::string text;   // the same as the replacement text and in place
  } pieces[] = {
      {"a", "a"}, {" ", " "}, {"]]>", "]]>"}, {"]]", "]]"}, {">", ">"}, {"<b/>", "<b/>"},
      {"<!--c-->", "<!--c-->"}, {"<?p d?>", "<?p d?>"}, {"<?xml version='1.0'?>", "<?xml version='1.0'?>"},
      {"<?xml encoding='UTF-8'?>", "<?xml encoding='UTF-8'?>"}, {"&#38;#60;", "&#60;"}, {"&#38;#1;", "&#1;"},
      {"&#38;amp;", "&amp;"}, {"&#xFEFF;", "\xEF\xBB\xBF"}, {"<![CDATA[<]]>", "<![CDATA[<]]>"}, {"&#38;", "&"},
      {"<!DOCTYPE s>", "<!DOCTYPE s>"},
  };
  // Only an external entity can hold characters that are no XML characters.
  const std::string raw[] = {"\x01", "\xEF\xBF\xBE", "\xFF"};
  const std::string dtd = "<!ELEMENT r ANY><!ELEMENT b EMPTY>";
  auto judge = [&](const std::string& xml, std::u16string& content) {
    Verdict v = Judge(xml);
    content.clear();
    if (TdomDocument* doc = v.wellFormed ? Parse(xml) : nullptr) content = doc->GetDocumentElement()->GetTextContent();
    if (!v.wellFormed) {
      EXPECT_FALSE(v.types.empty()) << "refused without a report: " << xml;
    }
    return v;
  };
  std::mt19937 random(7);
  for (int round = 0; round < 150; ++round) {
    std::string value, text;
    bool internal = random() % 4 != 0;
    for (int n = 1 + random() % 3; n > 0; --n) {
      if (!internal && random() % 6 == 0) {
        text += raw[random() % std::size(raw)];
        continue;
      }
      const Piece& piece = pieces[random() % std::size(pieces)];
      value += piece.value;
      text += piece.text;
    }
    std::string viaEntity;
    if (internal) {
      viaEntity = "<!DOCTYPE r [" + dtd + "<!ENTITY e \"" + value + "\">]><r>&e;</r>";
    } else {
      WriteFile("e.ent", "<?xml encoding='UTF-8'?>" + text);
      viaEntity = "<!DOCTYPE r [" + dtd + "<!ENTITY e SYSTEM 'e.ent'>]><r>&e;</r>";
    }
    std::u16string expanded, inPlace;
    Verdict a = judge(viaEntity, expanded);
    Verdict b = judge("<!DOCTYPE r [" + dtd + "]><r>" + text + "</r>", inPlace);
    ASSERT_EQ(a.wellFormed, b.wellFormed) << viaEntity << Show(a) << " | " << text << Show(b);
    ASSERT_EQ(expanded, inPlace) << viaEntity;
  }
}

}  // namespace

namespace {

// Declarations read the same in the external subset itself and in an
// external parameter entity it includes: the entity's text is taken as it
// stands (character references stay for the literals that hold them, bytes
// that are no characters are fatal, as in the subset).
TEST_F(VerdictTest, ExternalParameterEntitiesReadAsTheSubsetItself) {
  const std::string pieces[] = {
      "<!ENTITY e \"a&#34;b\">", "<!ENTITY e 'x&#38;#60;y'>", "<!ENTITY e '&#37;'>", "&#60;!ELEMENT s ANY>",
      "<!ATTLIST r a CDATA '&#34;&#38;#38;'>", "<!-- &#60; -->", "<!ENTITY e 'p\xFFq'>", "<!ENTITY e '\x01'>",
      "<!ENTITY e 'plain'>", " ",
  };
  std::mt19937 random(11);
  for (int round = 0; round < 60; ++round) {
    std::string body = "<!ELEMENT r ANY>";
    for (int n = 1 + random() % 3; n > 0; --n) body += pieces[random() % std::size(pieces)];
    WriteFile("direct.dtd", body);
    WriteFile("body.ent", body);
    struct Outcome {
      Verdict v;
      std::u16string text, attr;
    } outcomes[2];
    const char* dtds[] = {"direct.dtd", "via.dtd"};
    WriteFile("via.dtd", "<!ENTITY % p SYSTEM 'body.ent'>%p;");
    for (int i = 0; i < 2; ++i) {
      std::string xml = std::string("<!DOCTYPE r SYSTEM '") + dtds[i] + "'><r>&e;</r>";
      outcomes[i].v = Judge(xml);
      if (!outcomes[i].v.wellFormed) {
        EXPECT_FALSE(outcomes[i].v.types.empty()) << body;
        continue;
      }
      TdomDocument* doc = Parse(xml);
      ASSERT_NE(doc, nullptr) << body;
      outcomes[i].text = doc->GetDocumentElement()->GetTextContent();
      outcomes[i].attr = doc->GetDocumentElement()->getAttribute(u"a");
    }
    ASSERT_EQ(outcomes[0].v.wellFormed, outcomes[1].v.wellFormed)
        << body << Show(outcomes[0].v) << " |" << Show(outcomes[1].v);
    EXPECT_EQ(outcomes[0].text, outcomes[1].text) << body;
    EXPECT_EQ(outcomes[0].attr, outcomes[1].attr) << body;
  }
}

}  // namespace
