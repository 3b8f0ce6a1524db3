// Validity: one document per validity constraint of XML 1.0 with the error
// type and the related node it must give, and a valid counterpart of each
// that must pass.
#include "DtdTestSupport.h"

namespace {

struct ValidityCase {
  const char* constraint;
  std::string invalid;       // must report type about node
  TXmlErrorType type;
  std::u16string node;       // the related node's name; "" when none
  std::string valid;         // the same idea, valid
};

const char kStandaloneDtd[] =
    "<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST r a CDATA 'x' n NMTOKENS #IMPLIED><!ENTITY ext 'e'>";

std::vector<ValidityCase> Cases() {
  const std::string sa = "<?xml version='1.0' standalone='yes'?>";
  return {
      {"Root Element Type", "<!DOCTYPE r [<!ELEMENT s EMPTY>]><s/>", ET_ROOT_ELEMENT_TYPE_MISMATCH, u"#document",
       "<!DOCTYPE s [<!ELEMENT s EMPTY>]><s/>"},
      {"Proper Declaration/PE Nesting",
       "<!DOCTYPE r SYSTEM 'nest.dtd'><r/>", ET_UNCLOSED_ELEMENT_DECL, u"",
       "<!DOCTYPE r SYSTEM 'nested.dtd'><r/>"},
      {"Standalone: externally declared default", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r/>", ET_STANDALONE_VIOLATED,
       u"r", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x'/>"},
      {"Standalone: externally declared entity", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x'>&ext;</r>",
       ET_STANDALONE_VIOLATED, u"ext", sa + "<!DOCTYPE r SYSTEM 'sa.dtd' [<!ENTITY int ''>]><r a='x'>&int;</r>"},
      {"Standalone: value changed by an external type", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x' n=' p  q'/>",
       ET_STANDALONE_VIOLATED, u"n", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x' n='p q'/>"},
      {"Standalone: white space in external element content", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x'> <c/></r>",
       ET_WHITESPACE_IN_ELEMENT_CONTENT_OF_STANDALONE, u"r", sa + "<!DOCTYPE r SYSTEM 'sa.dtd'><r a='x'><c/></r>"},
      {"Element Valid: declared", "<!DOCTYPE r [<!ELEMENT r ANY>]><r><u/></r>", ET_UNDEFINED_ELEMENT_TYPE, u"u",
       "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT u EMPTY>]><r><u/></r>"},
      {"Element Valid: EMPTY", "<!DOCTYPE r [<!ELEMENT r EMPTY>]><r> </r>", ET_DECLARED_EMPTY_ELEMENT_NOT_EMPTY,
       u"r", "<!DOCTYPE r [<!ELEMENT r EMPTY>]><r></r>"},
      {"Element Valid: children",
       "<!DOCTYPE r [<!ELEMENT r (a,b)><!ELEMENT a EMPTY><!ELEMENT b EMPTY>]><r><b/><a/></r>",
       ET_ELEMENT_CONTENT_MISMATCH, u"r",
       "<!DOCTYPE r [<!ELEMENT r (a,b)><!ELEMENT a EMPTY><!ELEMENT b EMPTY>]><r> <a/> <b/> </r>"},
      {"Element Valid: text in element content", "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY>]><r>t</r>",
       ET_ELEMENT_CONTENT_MISMATCH, u"r", "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY>]><r><!--c--><?p?></r>"},
      {"Element Valid: white space from a character reference",
       "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY>]><r> &#32;<a/></r>", ET_ELEMENT_CONTENT_MISMATCH, u"r",
       "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY>]><r> \t<a/>\n</r>"},
      {"Element Valid: white space from an entity's character reference",
       "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY><!ENTITY s '&#38;#9;'>]><r>&s;<a/></r>",
       ET_ELEMENT_CONTENT_MISMATCH, u"r",
       "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a EMPTY><!ENTITY s '&#9;'>]><r>&s;<a/></r>"},
      {"Element Valid: mixed",
       "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*><!ELEMENT a EMPTY><!ELEMENT b EMPTY>]><r>t<b/></r>",
       ET_ELEMENT_CONTENT_MISMATCH, u"r",
       "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*><!ELEMENT a EMPTY>]><r>t<a/><![CDATA[x]]><a/>u</r>"},
      {"Attribute Value Type", "<!DOCTYPE r [<!ELEMENT r EMPTY>]><r x='1'/>", ET_UNDEFINED_ATTRIBUTE, u"x",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r x CDATA #IMPLIED>]><r x='1'/>"},
      {"Unique Element Type Declaration", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ELEMENT r ANY>]><r/>",
       ET_DUPLICATE_ELEMENT_TYPE_DECL, u"", "<!DOCTYPE r [<!ELEMENT r EMPTY>]><r/>"},
      {"Proper Group/PE Nesting", "<!DOCTYPE r SYSTEM 'group.dtd'><r/>", ET_INVALID_CONTENT_MODEL, u"",
       "<!DOCTYPE r SYSTEM 'grouped.dtd'><r/>"},
      {"No Duplicate Types", "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a|a)*><!ELEMENT a EMPTY>]><r/>",
       ET_DUPLICATE_NAME_IN_MIXED_CONTENT, u"", "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*><!ELEMENT a EMPTY>]><r/>"},
      {"ID: a Name", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #IMPLIED>]><r i='1x'/>",
       ET_ATTRIBUTE_TYPE_MISMATCH, u"i", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #IMPLIED>]><r i='x1'/>"},
      {"ID: unique",
       "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #REQUIRED>]><r><c i='a'/><c i='a'/></r>",
       ET_DUPLICATE_ID_VALUE, u"i",
       "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #REQUIRED>]><r><c i='a'/><c i='b'/></r>"},
      {"One ID per Element Type",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #IMPLIED j ID #IMPLIED>]><r/>",
       ET_DUPLICATE_ID_ON_ELEMENT_TYPE, u"", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #IMPLIED>]><r/>"},
      {"ID Attribute Default", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID 'x'>]><r/>",
       ET_ID_NEITHER_IMPLIED_NOR_REQUIRED, u"", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r i ID #REQUIRED>]><r i='x'/>"},
      {"IDREF",
       "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #IMPLIED f IDREFS #IMPLIED>]>"
       "<r><c f='a b'/><c i='a'/></r>",
       ET_TARGET_ID_VALUE_NOT_FOUND, u"f",
       "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #IMPLIED f IDREFS #IMPLIED>]>"
       "<r><c f='a b'/><c i='a'/><c i='b'/></r>"},
      {"Entity Name",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r e ENTITY #IMPLIED><!ENTITY p 'parsed'>]><r e='p'/>",
       ET_UNDEFINED_UNPARSED_ENTITY, u"e",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r e ENTITIES #IMPLIED><!NOTATION n SYSTEM 'n'>"
       "<!ENTITY u SYSTEM 'u.bin' NDATA n><!ENTITY v SYSTEM 'v.bin' NDATA n>]><r e='u v'/>"},
      {"Name Token", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t NMTOKEN #IMPLIED>]><r t='a b'/>",
       ET_ATTRIBUTE_TYPE_MISMATCH, u"t",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t NMTOKEN #IMPLIED>]><r t=' 1-a.b '/>"},
      {"Notation Attributes: value",
       "<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'><!NOTATION m SYSTEM 'm'>"
       "<!ATTLIST r f NOTATION (n) #IMPLIED>]><r f='m'/>",
       ET_ATTRIBUTE_TYPE_MISMATCH, u"f",
       "<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'><!ATTLIST r f NOTATION (n) #IMPLIED>]><r f='n'/>"},
      {"Notation Attributes: declared",
       "<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r f NOTATION (n) #IMPLIED>]><r/>",
       ET_UNDECLARED_NOTATION_IN_ENUMERATION, u"",
       "<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r f NOTATION (n) #IMPLIED><!NOTATION n PUBLIC 'n'>]><r/>"},
      {"One Notation Per Element Type",
       "<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'>"
       "<!ATTLIST r f NOTATION (n) #IMPLIED g NOTATION (n) #IMPLIED>]><r/>",
       ET_DUPLICATE_NOTATION_ON_ELEMENT_TYPE, u"",
       "<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'><!ATTLIST r f NOTATION (n) #IMPLIED>]><r/>"},
      {"No Notation on Empty Element",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM 'n'><!ATTLIST r f NOTATION (n) #IMPLIED>]><r/>",
       ET_NOTATION_ON_EMPTY_ELEMENT, u"",
       "<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION n SYSTEM 'n'><!ATTLIST r f NOTATION (n) #IMPLIED>]><r/>"},
      {"No Duplicate Tokens", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t (a|b|a) #IMPLIED>]><r/>",
       ET_DUPLICATE_ENUMERATION_TOKEN, u"", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t (a|b) #IMPLIED>]><r/>"},
      {"Enumeration", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t (a|b) #IMPLIED>]><r t='c'/>",
       ET_ATTRIBUTE_TYPE_MISMATCH, u"t", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t (a|b) #IMPLIED>]><r t=' b'/>"},
      {"Required Attribute", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r q CDATA #REQUIRED>]><r/>",
       ET_REQUIRED_ATTRIBUTE_MISSING, u"r",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r q CDATA #REQUIRED>]><r q=''/>"},
      {"Attribute Default Value Syntactically Correct",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t NMTOKEN 'a b'>]><r/>", ET_ATTRIBUTE_DEFAULT_TYPE_MISMATCH,
       u"", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r t NMTOKEN 'ab'>]><r/>"},
      {"Fixed Attribute Default", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r v CDATA #FIXED 'one'>]><r v='two'/>",
       ET_FIXED_ATTRIBUTE_MISMATCH, u"v",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r v CDATA #FIXED 'one'>]><r v='one'/>"},
      {"Entity Declared", "<!DOCTYPE r SYSTEM 'any.dtd'><r>&nowhere;</r>", ET_UNDEFINED_ENTITY, u"nowhere",
       "<!DOCTYPE r SYSTEM 'any.dtd' [<!ENTITY here 'h'>]><r>&here;</r>"},
      {"Notation Declared", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY u SYSTEM 'u.bin' NDATA gif>]><r/>",
       ET_UNDECLARED_NOTATION_OF_ENTITY, u"",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION gif SYSTEM 'gif'><!ENTITY u SYSTEM 'u.bin' NDATA gif>]><r/>"},
      {"Unique Notation Name",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM 'a'><!NOTATION n SYSTEM 'b'>]><r/>",
       ET_UNDEFINED_NOTATION, u"", "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM 'a'>]><r/>"},
  };
}

class ValidityTest : public DtdTest {
protected:
  void SetUp() override {
    DtdTest::SetUp();
    // Models are read by validation, so that DTD errors are reported there too.
    parser->SetAutoPrepare(AP_NO);
    WriteFile("sa.dtd", kStandaloneDtd);
    WriteFile("any.dtd", "<!ELEMENT r ANY>");
    WriteFile("nest.dtd", "<!ENTITY % open '<!ELEMENT r '>%open; EMPTY>");
    WriteFile("nested.dtd", "<!ENTITY % whole '<!ELEMENT r EMPTY>'>%whole;");
    WriteFile("group.dtd", "<!ENTITY % open '(a'><!ELEMENT r %open;)><!ELEMENT a EMPTY>");
    WriteFile("grouped.dtd", "<!ENTITY % g '(a?)'><!ELEMENT r %g;><!ELEMENT a EMPTY>");
  }
  // Parses and validates; the reports of both.
  bool Validate(const std::string& xml) {
    recorder->reports.clear();
    TdomDocument* doc = Parse(xml);
    if (doc == nullptr) return false;
    return doc->validate(/*keepUnchanged=*/true);
  }
};

std::string Describe(const std::vector<Report>& reports) {
  std::string text;
  for (const Report& r : reports) text += " " + std::to_string(r.type) + "@" + Utf8(r.node) + "(" + Utf8(r.code) + ")";
  return text;
}

TEST_F(ValidityTest, EachConstraintReportsItsErrorAboutItsNode) {
  for (const ValidityCase& c : Cases()) {
    EXPECT_FALSE(Validate(c.invalid)) << c.constraint;
    bool found = false;
    for (const Report& r : recorder->reports) found = found || (r.type == c.type && r.node == c.node);
    EXPECT_TRUE(found) << c.constraint << ": expected " << c.type << "@" << Utf8(c.node) << ", got"
                       << Describe(recorder->reports);
  }
}

TEST_F(ValidityTest, EachValidCounterpartPasses) {
  for (const ValidityCase& c : Cases()) {
    EXPECT_TRUE(Validate(c.valid)) << c.constraint << ":" << Describe(recorder->reports);
    for (const Report& r : recorder->reports)
      EXPECT_TRUE(IsHintOrWarningErrorType(r.type)) << c.constraint << ":" << Describe(recorder->reports);
  }
}

}  // namespace
