// Parameter entities: the repository (first declaration binds, internal and
// external replacement texts) and the subset tokenizers that expand them,
// refuse self-reference and too deep nesting, and handle conditional sections.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DomTestSupport.h"
#include "XmlParserTestSupport.h"
#include "xml/WideStrStream.h"
#include "xml/XmlSubsetTokenizer.h"

namespace {

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Serves "ext.ent" and "decl.ent" from memory.
class MemoryResolver : public TCustomResourceResolver {
public:
  TStream* ResolveResource(const std::u16string&, std::u16string&, std::u16string& systemId) override {
    if (systemId == u"ext.ent") return New<TStringStream>(std::string("<?xml encoding='UTF-8'?>A&#37;B"));
    if (systemId == u"decl.ent") return New<TStringStream>(std::string("<?xml version='1.0' standalone='yes'?>x"));
    if (systemId == u"empty.ent") return New<TStringStream>(std::string());
    return nullptr;
  }
};

class ParameterEntityTest : public ::testing::Test {
protected:
  void SetUp() override {
    impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
    resolver = New<MemoryResolver>(static_cast<TComponent*>(nullptr));
    impl->SetResourceResolver(resolver);
    reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
    reader->SetDOMImpl(impl);
    repository.reset(New<TdomPERepository>(reader));
  }
  void TearDown() override {
    repository.reset();
    reader->Free();
    impl->Free();
    resolver->Free();
  }
  std::string Value(const std::u16string& name, TXmlErrorType* error = nullptr) {
    std::u16string value, sys, pub;
    TXmlErrorType e = repository->ResolvePE(name, value, sys, pub);
    if (error != nullptr) *error = e;
    return Utf8(value);
  }
  // The subset's tokens as "kind[name|value]" with "!error" when one is set.
  std::string Tokens(const std::u16string& text, bool external) {
    repository->Clear();
    std::unique_ptr<TStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + text));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(u"base/"),
                                                                 4096, std::u16string(u"UTF-8"), true, int64_t(0),
                                                                 int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    std::unique_ptr<TXmlCustomSubsetTokenizer> t;
    if (external) {
      t.reset(New<TXmlExtSubsetTokenizer>(source.get(), repository.get(), 4));
    } else {
      t.reset(New<TXmlIntSubsetTokenizer>(source.get(), repository.get(), 4));
    }
    std::string out;
    for (int guard = 0; guard < 500; ++guard) {
      t->Next();
      if (t->GetTokenType() == SBT_IGNORABLE_WHITESPACE) continue;
      out += std::to_string(t->GetTokenType()) + "[" + Utf8(t->GetDeclName()) + "|" + Utf8(t->GetDeclValue()) + "]";
      if (t->GetErrorType() != ET_NONE) out += "!" + std::to_string(t->GetErrorType());
      out += " ";
      if (t->GetTokenType() == SBT_END_OF_SOURCE) break;
    }
    return out;
  }

  TDomImplementation* impl = nullptr;
  MemoryResolver* resolver = nullptr;
  TXmlStandardDocReader* reader = nullptr;
  std::unique_ptr<TdomPERepository> repository;
};

TEST_F(ParameterEntityTest, RepositoryFirstDeclarationBindsAndTextsResolve) {
  EXPECT_TRUE(repository->Add(u"p", u"a&#37;b"));
  EXPECT_FALSE(repository->Add(u"p", u"other"));
  EXPECT_EQ(Value(u"p"), "a%b");
  EXPECT_TRUE(repository->AddExternal(u"ext", u"file:///dtd/", u"ext.ent", u""));
  // An external text is taken as it stands: its references are read where they stand.
  EXPECT_EQ(Value(u"ext"), "A&#37;B");
  std::u16string value, sys, pub;
  repository->ResolvePE(u"ext", value, sys, pub);
  EXPECT_EQ(Utf8(sys), "file:///dtd/ext.ent");
  EXPECT_TRUE(repository->AddExternal(u"empty", u"", u"empty.ent", u""));
  EXPECT_EQ(Value(u"empty"), "");
  TXmlErrorType error = ET_NONE;
  EXPECT_EQ(Value(u"nothing", &error), "");
  EXPECT_EQ(error, ET_UNDEFINED_PARAMETER_ENTITY);
  repository->AddExternal(u"decl", u"", u"decl.ent", u"");
  EXPECT_DOM_ERROR(Value(u"decl"), EParserException, "Invalid text declaration.");
  repository->AddExternal(u"gone", u"", u"gone.ent", u"");
  EXPECT_DOM_ERROR(Value(u"gone"), EParserException, "Unresolveable parameter entity.");
  EXPECT_DOM_ERROR(repository->Add(u"1bad", u""), EInvalid_Character_Err, "Invalid character error.");
  EXPECT_DOM_ERROR(New<TdomPERepository>(static_cast<TXmlCustomReader*>(nullptr)), EAccessViolation,
                   "AOwner not specified.");
}

TEST_F(ParameterEntityTest, SubsetTokensWithReferencesExpanded) {
  EXPECT_EQ(Tokens(u"<!ENTITY % e '<!ELEMENT a ANY>'>%e;<!ATTLIST a x CDATA #IMPLIED>", false),
            "9[e|'<!ELEMENT a ANY>'] 2[a|ANY] 0[a|x CDATA #IMPLIED] 4[|] ");
  EXPECT_EQ(Tokens(u"<!ENTITY % e 'x'><!ENTITY % e 'y'>", false), "9[e|'x'] 9[e|'y']!4 4[|] ");
  EXPECT_EQ(Tokens(u"%undeclared;", false), "10[undeclared|]!29 4[|] ");
  EXPECT_EQ(Tokens(u"<!ENTITY g 'v'><!NOTATION n SYSTEM 's'>", false), "5[g|'v'] 8[n|SYSTEM 's'] 4[|] ");
  EXPECT_EQ(Tokens(u"<!ENTITY %x 'v'>", false), "9[|]!108 4[|] ");
  EXPECT_EQ(Tokens(u"<!ENTITY % 1x 'v'>", false), "9[1x|'v']!54 4[|] ");
}

TEST_F(ParameterEntityTest, SelfReferenceAndDeepNestingAreFatal) {
  // "&#37;" puts a "%" into the replacement text, so the entity refers to itself.
  EXPECT_EQ(Tokens(u"<!ENTITY % s '&#37;s;'>%s;", false), "9[s|'&#37;s;'] 10[s|]!69 4[|] ");
  EXPECT_EQ(Tokens(u"<!ENTITY % a '&#37;b;'><!ENTITY % b '&#37;a;'>%a;", false),
            "9[a|'&#37;b;'] 9[b|'&#37;a;'] 10[a|]!69 4[|] ");
  // A chain deeper than the limit stops at the limit.
  std::u16string chain;
  for (int i = 0; i < kMaxParameterEntityDepth + 5; ++i) {
    chain += u"<!ENTITY % p" + Widen(std::to_string(i)) + u" '&#37;p" +
             Widen(std::to_string(i + 1)) + u";'>";
  }
  std::string tokens = Tokens(chain + u"%p0;", false);
  EXPECT_NE(tokens.find("!52"), std::string::npos);
  EXPECT_EQ(tokens.find("!69"), std::string::npos);
  // Entities that each use the next one ten times stop at the expansion budget.
  std::u16string laughs = u"<!ENTITY % l0 '<!--xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx-->'>";
  for (int i = 1; i < 10; ++i) {
    laughs += u"<!ENTITY % l" + Widen(std::to_string(i)) + u" '";
    for (int k = 0; k < 10; ++k) laughs += u"&#37;l" + Widen(std::to_string(i - 1)) + u";";
    laughs += u"'>";
  }
  std::unique_ptr<TStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + laughs + u"%l9;"));
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(), 4096,
                                                               std::u16string(u"UTF-8"), true, int64_t(0), int64_t(0),
                                                               int64_t(0), int64_t(0), int64_t(1)));
  repository->Clear();
  std::unique_ptr<TXmlIntSubsetTokenizer> t(New<TXmlIntSubsetTokenizer>(source.get(), repository.get(), 4));
  int64_t count = 0;
  bool stopped = false;
  while (t->GetTokenType() != SBT_END_OF_SOURCE && count < 100000000) {
    t->Next();
    ++count;
    if (t->GetErrorType() == ET_ENTITY_EXPANSION_TOO_LARGE) stopped = true;
  }
  EXPECT_TRUE(stopped);
  EXPECT_LT(count, 1000000);
}

TEST_F(ParameterEntityTest, ExpansionIsBoundedByTheInputSize) {
  // About 500 characters: ten entities, each using the previous one four
  // times, around a tiny comment. The absolute cap alone let this run to
  // hundreds of thousands of tokens and seconds of work.
  std::u16string chain = u"<!ENTITY % c0 '<!---->'>";
  for (int i = 1; i <= 9; ++i) {
    chain += u"<!ENTITY % c" + Widen(std::to_string(i)) + u" '";
    for (int k = 0; k < 4; ++k) chain += u"&#37;c" + Widen(std::to_string(i - 1)) + u";";
    chain += u"'>";
  }
  chain += u"%c9;%c9;%c9;%c9;";
  ASSERT_LT(chain.size(), 600u);
  std::unique_ptr<TStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + chain));
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(), 4096,
                                                               std::u16string(u"UTF-8"), true, int64_t(0), int64_t(0),
                                                               int64_t(0), int64_t(0), int64_t(1)));
  repository->Clear();
  std::unique_ptr<TXmlIntSubsetTokenizer> t(New<TXmlIntSubsetTokenizer>(source.get(), repository.get(), 4));
  int64_t tokens = 0;
  bool stopped = false;
  while (t->GetTokenType() != SBT_END_OF_SOURCE && tokens < 100000000) {
    t->Next();
    ++tokens;
    if (t->GetErrorType() == ET_ENTITY_EXPANSION_TOO_LARGE) stopped = true;
  }
  EXPECT_TRUE(stopped);
  // The subset and each entity's text once make at most twice its size; each
  // comment costs its 7 characters of the budget.
  int64_t budget = ParameterEntityExpansionBudget(2 * int64_t(chain.size()));
  EXPECT_LT(budget, 100000);
  EXPECT_LT(tokens, budget / 7 + 200);
}

TEST_F(ParameterEntityTest, ConditionalSections) {
  EXPECT_EQ(Tokens(u"<![INCLUDE[<!ELEMENT a ANY>]]>", true), "12[|] 2[a|ANY] 3[|] 4[|] ");
  EXPECT_EQ(Tokens(u"<![IGNORE[<![INCLUDE[<!ELEMENT a ANY>]]>]]><!ELEMENT b ANY>", true), "2[b|ANY] 4[|] ");
  EXPECT_EQ(Tokens(u"<![ INCLUDE [<!ELEMENT a ANY>", true), "12[|] 2[a|ANY] 4[|]!102 ");
  EXPECT_EQ(Tokens(u"]]>", true), "7[|]!93 4[|] ");
  EXPECT_EQ(Tokens(u"<![MAYBE[]]>", true), "7[|]!93 7[|]!93 4[|] ");
  EXPECT_EQ(Tokens(u"<![INCLUDE[]]>", false), "7[|]!89 7[|]!89 4[|] ");
}

}  // namespace
