// Reading DTDs: the reader's declaration rules, the builder's content
// models, the DTD parser's entry points, well-formedness with parameter
// entities, conditional sections and external entities, and the limits on
// what a hostile DTD can make the library do.
#include "DtdTestSupport.h"

#include "core/MemoryStream.h"
#include "xml/EntityExpansion.h"
#include "xml/WideStrList.h"
#include "xml/XmlSubsetTokenizer.h"

namespace {

class DtdReaderTest : public DtdTest {
protected:
  void SetUp() override {
    DtdTest::SetUp();
    doc = impl->CreateEmptyDocument();
    decl = doc->createDocumentTypeDecl(u"r", u"", u"", u"");
    doc->appendChild(decl);
    dtd = New<TDtdToASParser>(static_cast<TComponent*>(nullptr));
    dtd->SetDOMImpl(impl);
  }
  void TearDown() override {
    dtd->Free();
    DtdTest::TearDown();
  }
  // Reads text as the internal subset; the parse result.
  bool Internal(const std::u16string& text) {
    recorder->reports.clear();
    decl->GetASModels()->Clear();
    return dtd->ParseDTD(text, Uri("doc.xml"), decl->GetASModels(), u"", u"", 0, 0, 1, 1);
  }
  TdomASModel* Model() { return decl->GetASModels()->GetModel(0); }

  TdomDocument* doc = nullptr;
  TdomDocumentTypeDecl* decl = nullptr;
  TDtdToASParser* dtd = nullptr;
};

TEST_F(DtdReaderTest, DeclarationRules) {
  // A validity error: reported, and the subset is still read.
  EXPECT_TRUE(Internal(u"<!ELEMENT a EMPTY><!ELEMENT a ANY>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_DUPLICATE_ELEMENT_TYPE_DECL});
  EXPECT_EQ(Model()->FindElementDecl(u"a")->ContentType(), AS_EMPTY_CONTENTTYPE);

  EXPECT_TRUE(Internal(u"<!ATTLIST a x CDATA #IMPLIED><!ATTLIST a y CDATA #IMPLIED>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_ATTLIST_DECLARED_TWICE});
  EXPECT_NE(Model()->FindAttributeDecl(u"a", u"y"), nullptr);

  EXPECT_TRUE(Internal(u"<!ATTLIST a x CDATA 'one'><!ATTLIST a x CDATA 'two'>"));
  EXPECT_EQ(Types(), (std::vector<TXmlErrorType>{ET_ATTLIST_DECLARED_TWICE, ET_ATTRIBUTE_DECLARED_TWICE}));
  EXPECT_EQ(Model()->FindAttributeDecl(u"a", u"x")->DefaultValue(), u"one");

  EXPECT_FALSE(Internal(u"<!ATTLIST a x STRING #IMPLIED>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_ATTRIBUTE_DEFINITION});

  EXPECT_TRUE(Internal(u"<!ATTLIST a e ( a | b |c ) 'b' f NOTATION (n) #IMPLIED>"));
  TdomASAttributeDecl* e = Model()->FindAttributeDecl(u"a", u"e");
  EXPECT_EQ(e->AttrType(), AS_NMTOKEN_DATATYPE);
  EXPECT_EQ(e->Enumeration()->GetCount(), 3);
  EXPECT_EQ(e->Enumeration()->Get(2), u"c");
  EXPECT_EQ(e->DefaultType(), AVC_DEFAULT);
  EXPECT_EQ(Model()->FindAttributeDecl(u"a", u"f")->AttrType(), AS_NOTATION_DATATYPE);

  EXPECT_FALSE(Internal(u"<!ENTITY % p SYSTEM 'x' NDATA n>"));
  EXPECT_EQ(Types().front(), ET_INVALID_PARAMETER_ENTITY_DECL);

  EXPECT_FALSE(Internal(u"<!ELEMENT a (#PCDATA|b|c)>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_ELEMENT_TYPE_DECL_NAME});
  EXPECT_FALSE(Internal(u"<!ELEMENT a (b,c|d)>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_ELEMENT_TYPE_DECL_NAME});
  // A declaration that could not be read still has a model, one that matches nothing.
  TdomASElementDecl* broken = Model()->FindElementDecl(u"a");
  ASSERT_NE(broken->ContentModel(), nullptr);
  EXPECT_EQ(broken->ContentModel()->SubModels()->GetLength(), 0);
}

TEST_F(DtdReaderTest, ContentModelsAsWritten) {
  EXPECT_TRUE(Internal(u"<!ELEMENT a ((b|c)+, d?, (e, f)*)><!ELEMENT m ( #PCDATA | x | y )*><!ELEMENT p (#PCDATA)>"));
  TdomASContentModel* a = Model()->FindElementDecl(u"a")->ContentModel();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->ContentModelType(), AS_SEQUENCE);
  ASSERT_EQ(a->SubModels()->GetLength(), 3);
  auto* first = static_cast<TdomASContentModel*>(a->SubModels()->item(0));
  EXPECT_EQ(first->ContentModelType(), AS_CHOICE);
  EXPECT_EQ(first->Frequency(), AS_ONE_OR_MORE);
  EXPECT_EQ(static_cast<TdomASContentModel*>(a->SubModels()->item(1))->Frequency(), AS_OPTIONAL);
  TdomASContentModel* m = Model()->FindElementDecl(u"m")->ContentModel();
  EXPECT_EQ(m->Frequency(), AS_ZERO_OR_MORE);
  EXPECT_EQ(m->SubModels()->GetLength(), 2);
  EXPECT_EQ(Model()->FindElementDecl(u"p")->ContentModel()->SubModels()->GetLength(), 0);
  // Nesting is bounded: a group 1,000 deep is refused, not recursed into.
  std::u16string deep = u"<!ELEMENT z " + std::u16string(1000, u'(') + u"q" + std::u16string(1000, u')') + u">";
  EXPECT_FALSE(Internal(deep));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_ELEMENT_TYPE_DECL_NAME});
}

TEST_F(DtdReaderTest, ParameterEntityTreatment) {
  // Stop: the declarations after the reference are not read.
  dtd->SetPERefTreatment(PT_STOP);
  EXPECT_TRUE(Internal(u"<!ENTITY % p '<!ELEMENT b EMPTY>'><!ELEMENT a EMPTY>%p;<!ELEMENT c EMPTY>"));
  EXPECT_NE(Model()->FindElementDecl(u"a"), nullptr);
  EXPECT_EQ(Model()->FindElementDecl(u"b"), nullptr);
  EXPECT_EQ(Model()->FindElementDecl(u"c"), nullptr);
  dtd->SetPERefTreatment(PT_PARSE);
  EXPECT_TRUE(Internal(u"<!ENTITY % p '<!ELEMENT b EMPTY>'><!ELEMENT a EMPTY>%p;<!ELEMENT c EMPTY>"));
  EXPECT_NE(Model()->FindElementDecl(u"b"), nullptr);
  EXPECT_NE(Model()->FindElementDecl(u"c"), nullptr);
  // Inside a declaration of the internal subset itself a reference is an error.
  EXPECT_FALSE(Internal(u"<!ENTITY % c '(x)'><!ELEMENT a %c;>"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_PARAMETER_ENTITY_REF_IN_INTERNAL_DECL});
  // So it is in an entity value there.
  EXPECT_FALSE(Internal(u"<!ENTITY % c '(x|y)*'><!ENTITY % d '<!ELEMENT a %c;>'>%d;"));
  EXPECT_EQ(Types().front(), ET_INVALID_PARAMETER_ENTITY_DECL);
  // In the external subset references are expanded in declarations and
  // included in entity values, quotes and all.
  decl->GetASModels()->Clear();
  dtd->ResetReader();
  recorder->reports.clear();
  TdomASModel* external = decl->GetASModels()->GetModel(1);
  dtd->ParseExtSubsetString(
      "<!ENTITY % c '(x|y)*'><!ENTITY % q '\"'><!ENTITY % d '<!ELEMENT a %c;>'>%d;"
      "<!ENTITY % n 'b'><!ELEMENT %n; ANY><!ENTITY v 'say %q;hi%q;'>",
      u"", external, Uri("x.dtd"));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{});
  EXPECT_EQ(external->FindElementDecl(u"a")->ContentModel()->SubModels()->GetLength(), 2);
  EXPECT_EQ(external->FindElementDecl(u"b")->ContentType(), AS_ANY_CONTENTTYPE);
  EXPECT_EQ(external->FindEntityDecl(u"v")->ReplacementText(), u"say \"hi\"");
}

// Bytes that cannot be decoded are the DTD parser's error like any other,
// at the start of the subset and further down.
TEST_F(DtdReaderTest, UndecodableBytesAreReported) {
  for (const char* text : {"\x8f<!ELEMENT a ANY>", "<!ELEMENT a ANY>\n<!ELEMENT b (#PCDATA)>\xC3"}) {
    recorder->reports.clear();
    EXPECT_DOM_ERROR(dtd->ParseExtSubsetString(text, u"", Model(), u"file:///x.dtd"), EParserException,
                     "Parser error.");
    EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_CHARACTER}) << text;
  }
}

TEST_F(DtdReaderTest, EntryPoints) {
  EXPECT_DOM_ERROR(dtd->SetBufferSize(1023), ENot_Supported_Err, "BufferSize must not be less than 1024.");
  dtd->SetBufferSize(1024);
  EXPECT_EQ(dtd->BufferSize(), 1024);
  EXPECT_THROW(dtd->ParseExtSubsetStream(nullptr, u"", Model(), u""), EAccessViolation);
  EXPECT_THROW(dtd->ParseExtSubsetString("", u"", Model(), u""), EAccessViolation);
  EXPECT_THROW(dtd->ParseExtSubsetSourceCode(nullptr, u"", Model(), u""), EAccessViolation);
  recorder->reports.clear();
  EXPECT_DOM_ERROR(dtd->ParseExtSubsetString("<?xml version='1.0' standalone='yes'?><!ELEMENT a ANY>", u"",
                                             Model(), u"file:///x.dtd"),
                   EParserException, "Parser error.");
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_TEXT_DECL});
  TdomASModel* external = decl->GetASModels()->GetModel(1);
  dtd->ParseExtSubsetString("<?xml encoding='UTF-8'?><!ELEMENT a ANY>", u"", external, u"file:///x.dtd");
  EXPECT_EQ(external->Location(), u"file:///x.dtd");
  EXPECT_NE(external->FindElementDecl(u"a"), nullptr);
  TUtilsWideStringList lines;
  lines.Add(u"<!ELEMENT b EMPTY>");
  dtd->ParseExtSubsetSourceCode(&lines, u"", external, u"file:///x.dtd");
  EXPECT_NE(external->FindElementDecl(u"b"), nullptr);
}

TEST_F(DtdReaderTest, ExternalSubsetThatCannotBeHad) {
  // No resolver at all: reported, not dereferenced.
  impl->SetResourceResolver(nullptr);
  recorder->reports.clear();
  EXPECT_FALSE(dtd->ParseDTD(u"", Uri("doc.xml"), decl->GetASModels(), u"", u"missing.dtd", 0, 0, 1, 1));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE});
  // With a resolver: a missing file, and a URI that is not a file, are not read.
  impl->SetResourceResolver(resolver);
  recorder->reports.clear();
  EXPECT_FALSE(dtd->ParseDTD(u"", Uri("doc.xml"), decl->GetASModels(), u"", u"missing.dtd", 0, 0, 1, 1));
  EXPECT_FALSE(dtd->ParseDTD(u"", Uri("doc.xml"), decl->GetASModels(), u"", u"http://example.com/x.dtd", 0, 0, 1, 1));
  EXPECT_EQ(Types().size(), 2u);
  // Switched off: a warning, and the internal subset alone decides.
  dtd->SetResolveExternals(false);
  recorder->reports.clear();
  EXPECT_TRUE(dtd->ParseDTD(u"<!ELEMENT r EMPTY>", Uri("doc.xml"), decl->GetASModels(), u"", u"x.dtd", 0, 0, 1, 1));
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_EXTERNAL_SUBSET_NOT_READ});
}

// Hands out one oversized stream for every request.
class HugeResolver : public TCustomResourceResolver {
public:
  TStream* ResolveResource(const std::u16string&, std::u16string&, std::u16string&) override {
    ++asked;
    TMemoryStream* stream = New<TMemoryStream>();
    stream->SetSize(kMaxExternalResourceBytes + 1);
    return stream;
  }
  int asked = 0;
};

TEST_F(DtdReaderTest, ExternalResourcesAreBoundedAndLocal) {
  HugeResolver* huge = New<HugeResolver>(static_cast<TComponent*>(nullptr));
  impl->SetResourceResolver(huge);
  EXPECT_FALSE(dtd->ParseDTD(u"", Uri("doc.xml"), decl->GetASModels(), u"", u"big.dtd", 0, 0, 1, 1));
  EXPECT_EQ(huge->asked, 1);
  EXPECT_FALSE(dtd->ParseDTD(u"", u"http://example.com/doc.xml", decl->GetASModels(), u"", u"big.dtd", 0, 0, 1, 1));
  EXPECT_EQ(huge->asked, 1);  // a network URI never reaches the resolver
  impl->SetResourceResolver(nullptr);
  huge->Free();
  EXPECT_EQ(FileUriToFileName(u"file://remote.host/share/x.dtd"), "");
  EXPECT_EQ(FileUriToFileName(u"ftp:///x.dtd"), "");
  EXPECT_FALSE(IsReadableExternalUri(u"https://x/y"));
  EXPECT_TRUE(IsReadableExternalUri(u"FILE:///y"));
  EXPECT_TRUE(IsReadableExternalUri(u"y.dtd"));
}

// --- Documents with DTDs ------------------------------------------------------------------

TEST_F(DtdTest, InternalSubsetWithParameterEntities) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ENTITY % decls \"<!ELEMENT r (#PCDATA|i)*><!ELEMENT i EMPTY>"
      "<!ATTLIST r a CDATA 'd' t (x|y) 'y' b CDATA #IMPLIED>\"> %decls; <!ENTITY v 'x&#38;#38;y'>"
      "<!ENTITY body 'one <i/> &v; two'>]><r b='&v;'>&body;</r>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  TdomElement* r = doc->GetDocumentElement();
  EXPECT_EQ(r->getAttribute(u"a"), u"d");
  EXPECT_FALSE(r->getAttributeNode(u"a")->GetSpecified());
  EXPECT_EQ(r->getAttributeNode(u"b")->GetValue(), u"x&y");
  EXPECT_EQ(r->GetTextContent(), u"one  x&y two");
  EXPECT_TRUE(doc->validate(/*keepUnchanged=*/false)) << ::testing::PrintToString(Types());
  // Rewritten: the reference replaced by its parsed content, the value normalised and escaped.
  EXPECT_EQ(r->GetFirstChildNode()->GetNodeType(), ntText_Node);
  EXPECT_EQ(r->getAttributeNode(u"b")->GetNodeValue(), u"x&amp;y");
}

TEST_F(DtdTest, AValueGivenToADefaultIsTheUsersOwn) {
  TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA 'd' b CDATA 'e' c CDATA 'f'>]><r/>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  TdomElement* r = doc->GetDocumentElement();
  r->setAttribute(u"a", u"mine");
  r->getAttributeNode(u"b")->SetNodeValue(u"also mine");
  EXPECT_TRUE(r->getAttributeNode(u"a")->GetSpecified());
  EXPECT_TRUE(r->getAttributeNode(u"b")->GetSpecified());
  EXPECT_FALSE(r->getAttributeNode(u"c")->GetSpecified());
  // A copy keeps the user's values and leaves the default out.
  auto* copy = static_cast<TdomElement*>(r->cloneNode(true));
  EXPECT_EQ(copy->getAttribute(u"a"), u"mine");
  EXPECT_EQ(copy->getAttribute(u"b"), u"also mine");
  EXPECT_FALSE(copy->hasAttribute(u"c"));
  // Defaults made again do not replace them.
  EXPECT_TRUE(doc->prepareAttributes());
  EXPECT_EQ(r->getAttribute(u"a"), u"mine");
  EXPECT_EQ(r->getAttribute(u"b"), u"also mine");
  EXPECT_EQ(r->getAttribute(u"c"), u"f");
  // Validation's rewrite of a value into its normal form leaves a default one.
  EXPECT_TRUE(doc->validate(/*keepUnchanged=*/false)) << ::testing::PrintToString(Types());
  EXPECT_FALSE(r->getAttributeNode(u"c")->GetSpecified());
  EXPECT_TRUE(r->getAttributeNode(u"a")->GetSpecified());
}

TEST_F(DtdTest, DefaultsMadeAgainStopWhereAListenerTookTheWalkAway) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (s*)><!ELEMENT s (s*)><!ATTLIST r a CDATA 'd'><!ATTLIST s b CDATA 'e'>]>"
      "<r><s><s/></s><s/></r>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  TdomElement* r = doc->GetDocumentElement();
  auto* first = static_cast<TdomElement*>(r->GetFirstChildNode());
  struct Taker {
    TdomElement* from;
    TdomElement* taken;
    bool free = false;
    void Modified(TObject*, TdomNode* node, TdomAttrChange change, TdomAttr*) {
      if (change != AC_ADDITION || node != taken || from == nullptr) return;
      TdomElement* parent = from;
      from = nullptr;
      if (free) {
        taken->Free();
      } else {
        parent->removeChild(taken);
      }
    }
  } taker{r, first};
  doc->OnAttrModified = MakeEvent<&Taker::Modified>(&taker);
  // The element the walk stands on leaves the tree: the walk stops there.
  EXPECT_FALSE(doc->prepareAttributes());
  EXPECT_EQ(first->GetParentNode(), nullptr);
  EXPECT_EQ(r->getAttribute(u"a"), u"d");
  // The element the walk stands on is freed.
  auto* last = static_cast<TdomElement*>(r->GetLastChildNode());
  taker = Taker{r, last, true};
  EXPECT_FALSE(doc->prepareAttributes());
  EXPECT_FALSE(r->hasChildNodes());
  EXPECT_EQ(r->getAttribute(u"a"), u"d");
  // Nothing taken away: the walk is whole again.
  doc->OnAttrModified = nullptr;
  r->appendChild(first);
  EXPECT_TRUE(doc->prepareAttributes());
  EXPECT_EQ(static_cast<TdomElement*>(first->GetFirstChildNode())->getAttribute(u"b"), u"e");
}

TEST_F(DtdTest, ConditionalSectionsAndParameterEntitiesInTheExternalSubset) {
  WriteFile("cond.dtd",
            "<?xml version='1.0' encoding='UTF-8'?>\n"
            "<!ENTITY % items '(item+)'>\n"
            "<![INCLUDE[ <!ELEMENT list %items;> <![IGNORE[ <!ELEMENT list ANY> ]]> ]]>\n"
            "<![IGNORE[ <!ELEMENT item ANY> ]]>\n"
            "<!ELEMENT item (#PCDATA)> <!ATTLIST item n NMTOKEN #REQUIRED>\n"
            "<!ENTITY % ext SYSTEM 'more.ent'> %ext;\n");
  WriteFile("more.ent", "<?xml encoding='ISO-8859-1'?><!ENTITY caf\xe9 'caf\xe9'>");
  TdomDocument* doc = Parse("<!DOCTYPE list SYSTEM 'cond.dtd'><list><item n='1'>&caf\xc3\xa9;</item></list>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"caf\u00e9");
  EXPECT_TRUE(doc->validate(true)) << ::testing::PrintToString(Types());
  // An IGNORE section never declared list as ANY: text directly in it is invalid.
  TdomDocument* bad = Parse("<!DOCTYPE list SYSTEM 'cond.dtd'><list>t</list>");
  ASSERT_NE(bad, nullptr);
  EXPECT_FALSE(bad->validate(true));
  // Conditional sections do not belong in the internal subset.
  EXPECT_EQ(Parse("<!DOCTYPE r [<![INCLUDE[<!ELEMENT r ANY>]]>]><r/>"), nullptr);
}

// An external parameter entity's text is read as the subset itself would
// be: its character references are replaced where they stand (in literals,
// when the declaration is read), never beforehand, where "&#37;" would turn
// into a reference, "&#60;" into markup and "&#38;#60;" lose a level.
TEST_F(DtdTest, ExternalParameterEntityTextReadsAsTheSubsetItself) {
  const std::string decls =
      "<!ELEMENT r ANY><!ENTITY lt2 '&#38;#60;'><!ENTITY sign 'a&#37;b&#62;c'><!ATTLIST r t CDATA 'x&#60;y'>";
  WriteFile("direct.dtd", decls);
  WriteFile("decls.ent", decls);
  WriteFile("through.dtd", "<!ENTITY % decls SYSTEM 'decls.ent'>%decls;");
  for (const char* dtd : {"direct.dtd", "through.dtd"}) {
    TdomDocument* doc = Parse("<!DOCTYPE r SYSTEM '" + std::string(dtd) + "'><r>&lt2;&sign;</r>");
    ASSERT_NE(doc, nullptr) << dtd << ::testing::PrintToString(Types());
    EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"<a%b>c") << dtd;
    EXPECT_EQ(doc->GetDocumentElement()->getAttributeNormalizedValue(u"t"), u"x<y") << dtd;
  }
}

TEST_F(DtdTest, ExternalParsedEntitiesWithTheirOwnEncodings) {
  WriteFile("latin.ent", "<?xml version='1.0' encoding='ISO-8859-1'?>na\xefve <b>bold</b>");
  WriteFile("wide.ent", std::string("\xff\xfe<\0w\0/\0>\0\xe9\0", 12));
  WriteFile("bad.ent", "<?xml version='1.0' standalone='yes'?>x");
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ENTITY latin SYSTEM 'latin.ent'><!ENTITY wide SYSTEM 'wide.ent'>]><r>&latin;|&wide;</r>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"na\u00efve bold|\u00e9");
  TdomNode* latin = doc->GetDocumentElement()->GetFirstChildNode();
  EXPECT_EQ(latin->GetNodeType(), ntEntity_Reference_Node);
  EXPECT_EQ(latin->GetLastChildNode()->GetNodeName(), u"b");
  // An entity whose declaration is not a text declaration is no external parsed entity.
  recorder->reports.clear();
  EXPECT_EQ(Parse("<!DOCTYPE r [<!ENTITY bad SYSTEM 'bad.ent'>]><r>&bad;</r>"), nullptr);
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_INVALID_TEXT_DECL});
  // External entities are refused in attribute values: at once where all
  // declarations are in the internal subset, else when the value is read.
  recorder->reports.clear();
  EXPECT_EQ(Parse("<!DOCTYPE r [<!ENTITY latin SYSTEM 'latin.ent'>]><r a='&latin;'/>"), nullptr);
  EXPECT_EQ(Types(), std::vector<TXmlErrorType>{ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE});
  WriteFile("latin.dtd", "<!ENTITY latin SYSTEM 'latin.ent'>");
  doc = Parse("<!DOCTYPE r SYSTEM 'latin.dtd'><r a='&latin;'/>");
  ASSERT_NE(doc, nullptr);
  TXmlErrorType type;
  std::u16string value;
  doc->CalculateNormalizedAttrValue(doc->GetDocumentElement()->getAttributeNode(u"a"), value, type);
  EXPECT_EQ(type, ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE);
}

TEST_F(DtdTest, ExternalResolutionSwitchedOff) {
  WriteFile("ext.dtd", "<!ELEMENT r ANY><!ATTLIST r a CDATA 'from-outside'>");
  WriteFile("e.ent", "outside");
  parser->SetResolveExternals(false);
  TdomDocument* doc = Parse("<!DOCTYPE r SYSTEM 'ext.dtd' [<!ENTITY e SYSTEM 'e.ent'>]><r>&e;</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(doc->GetDocumentElement()->hasAttribute(u"a"));
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"");
  EXPECT_EQ(Types().front(), ET_EXTERNAL_SUBSET_NOT_READ);
  parser->SetResolveExternals(true);
  doc = Parse("<!DOCTYPE r SYSTEM 'ext.dtd' [<!ENTITY e SYSTEM 'e.ent'>]><r>&e;</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetDocumentElement()->getAttribute(u"a"), u"from-outside");
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"outside");
}

TEST_F(DtdTest, NamespaceAwareDefaultAttributes) {
  parser->DomBuilder()->BuildNamespaceTree = true;
  parser->Reader()->SetPrefixMapping(true);
  TdomDocument* doc = Parse(
      "<!DOCTYPE p:r [<!ELEMENT p:r EMPTY><!ATTLIST p:r xmlns:p CDATA #FIXED 'urn:p' p:a CDATA 'v' xmlns CDATA 'urn:d'>]>"
      "<p:r xmlns:p='urn:p'/>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  TdomElement* r = doc->GetDocumentElement();
  TdomAttr* a = r->getAttributeNodeNS(u"urn:p", u"a");
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(a->GetSpecified());
  TdomAttr* xmlns = r->getAttributeNodeNS(kXmlnsNamespaceUri, u"xmlns");
  ASSERT_NE(xmlns, nullptr);
  EXPECT_EQ(xmlns->GetNodeValue(), u"urn:d");
  // Removed and added again the same way.
  EXPECT_TRUE(doc->prepareAttributes());
  EXPECT_NE(r->getAttributeNodeNS(u"urn:p", u"a"), nullptr);
  EXPECT_TRUE(r->getAttributeNodeNS(u"urn:p", u"a")->IsNamespaceAware());
  // Given under another prefix of the namespace, the value given stays, when read and when filled again.
  doc = Parse("<!DOCTYPE r [<!ATTLIST r p:a CDATA 'v'>]><r xmlns:p='urn:p' xmlns:q='urn:p' q:a='given'/>");
  ASSERT_NE(doc, nullptr);
  for (bool filled : {false, true}) {
    EXPECT_TRUE(!filled || doc->prepareAttributes());
    EXPECT_EQ(doc->GetDocumentElement()->getAttributeNS(u"urn:p", u"a"), u"given") << filled;
  }
  // A default the element has under another prefix costs no expansion, as one it has under the same.
  int64_t spent[2];
  for (int other = 0; other < 2; ++other) {
    doc = Parse(std::string("<!DOCTYPE r [<!ENTITY e 'expanded'><!ATTLIST r p:a CDATA '&e;&e;'>]>"
                            "<r xmlns:p='urn:p' xmlns:q='urn:p' ") + (other ? "q" : "p") + ":a='given'/>");
    ASSERT_NE(doc, nullptr);
    spent[other] = doc->ExpansionBudget().chars;
  }
  EXPECT_EQ(spent[1], spent[0]);
}

TEST_F(DtdTest, ValidationFaultsAreReportsNotExceptions) {
  TdomDocument* doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ATTLIST c i ID #IMPLIED>]>"
      "<r><c i='a'/><c i='a'/><c i='b'/><c i='b'/></r>");
  ASSERT_NE(doc, nullptr);
  recorder->reports.clear();
  EXPECT_FALSE(doc->validate(true));
  EXPECT_EQ(Types(), (std::vector<TXmlErrorType>{ET_DUPLICATE_ID_VALUE, ET_DUPLICATE_ID_VALUE}));
  // An element-content declaration without a content model: reported.
  TdomASElementDecl* c = doc->GetDoctypeDecl()->GetASModels()->GetModel(0)->FindElementDecl(u"r");
  TdomASContentModel* model = c->ReplaceContentModel(nullptr);
  c->FreeContentModel(model);
  recorder->reports.clear();
  doc->GetDocumentElement()->setAttribute(u"x", u"1");
  EXPECT_FALSE(doc->validate(true));
  EXPECT_EQ(Types().front(), ET_INVALID_CONTENT_MODEL);
  // A self-referencing entity cannot loop: refused while parsing (a fatal
  // error), and reported by validation when the reference is made later.
  EXPECT_EQ(Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY s 'a&t;'><!ENTITY t 'b&s;'>]><r>&s;</r>"), nullptr);
  EXPECT_EQ(Types().back(), ET_ENTITY_REFERS_TO_ITSELF);
  parser->SetAutoPrepare(AP_NO);
  doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY s 'a&t;'><!ENTITY t 'b&s;'>]><r>&s;</r>");
  ASSERT_NE(doc, nullptr);
  recorder->reports.clear();
  EXPECT_FALSE(doc->validate(false));
  EXPECT_EQ(Types().back(), ET_ENTITY_REFERS_TO_ITSELF);
  EXPECT_DOM_ERROR(doc->GetDoctypeDecl()->GetASModels()->refersToXyz(nullptr, true, 3), ESyntax_Err,
                   "Syntax error in TdomASModelCollection.refersToXyz");
}

// --- Hostile DTDs: each ends with an error or a result, in bounded memory ------------------

std::string Laughs(int levels, const std::string& use) {
  std::string dtd = "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED><!ENTITY l0 'lol'>";
  for (int i = 1; i <= levels; ++i) {
    dtd += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) dtd += "&l" + std::to_string(i - 1) + ";";
    dtd += "'>";
  }
  return dtd + "]>" + use;
}

TEST_F(DtdTest, BillionLaughsEndInAnError) {
  EXPECT_EQ(Parse(Laughs(9, "<r>&l9;</r>")), nullptr);
  EXPECT_EQ(Types().back(), ET_ENTITY_EXPANSION_TOO_LARGE);
  // Let through, the document keeps the reference unexpanded.
  recorder->goOn = true;
  TdomDocument* doc = Parse(Laughs(9, "<r>&l2;&l9;</r>"));
  ASSERT_NE(doc, nullptr);
  std::u16string lols;
  for (int i = 0; i < 100; ++i) lols += u"lol";
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), lols);
  recorder->reports.clear();
  doc = Parse(Laughs(9, "<r a='&l9;'/>"));
  ASSERT_NE(doc, nullptr);
  TXmlErrorType type;
  std::u16string value;
  doc->CalculateNormalizedAttrValue(doc->GetDocumentElement()->getAttributeNode(u"a"), value, type);
  EXPECT_EQ(type, ET_ENTITY_EXPANSION_TOO_LARGE);
  EXPECT_TRUE(value.empty());
  EXPECT_FALSE(doc->validate(false));
  // In content found by validation, too.
  parser->SetAutoPrepare(AP_NO);
  doc = Parse(Laughs(9, "<r>&l9;</r>"));
  ASSERT_NE(doc, nullptr);
  recorder->reports.clear();
  EXPECT_FALSE(doc->validate(false));
  EXPECT_FALSE(doc->validate(true));
}

TEST_F(DtdTest, QuadraticBlowUpEndsInAnError) {
  std::string xml = "<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY big '" + std::string(100000, 'x') + "'>]><r>";
  for (int i = 0; i < 10000; ++i) xml += "&big;";
  EXPECT_EQ(Parse(xml + "</r>"), nullptr);
  EXPECT_EQ(Types().back(), ET_ENTITY_EXPANSION_TOO_LARGE);
  recorder->goOn = true;
  TdomDocument* doc = Parse(xml + "</r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_LE(doc->GetDocumentElement()->GetTextContent().size(), size_t(kMaxParameterEntityExpansion));
}

TEST_F(DtdTest, DeepEntityNestingEndsInAnError) {
  // General entities, each the next one's only text: as deep as allowed is
  // read, in content and in a value; one level more is refused for its depth.
  recorder->goOn = true;
  for (int depth : {kMaxGeneralEntityDepth, kMaxGeneralEntityDepth + 1}) {
    std::string chain = "<!ENTITY g" + std::to_string(depth) + " 'end'>";
    for (int i = 1; i < depth; ++i) chain += "<!ENTITY g" + std::to_string(i) + " '&g" + std::to_string(i + 1) + ";'>";
    recorder->reports.clear();
    TdomDocument* doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r v CDATA #IMPLIED>" + chain + "]><r v='&g1;'>&g1;</r>");
    ASSERT_NE(doc, nullptr);
    const bool allowed = depth == kMaxGeneralEntityDepth;
    EXPECT_EQ(Types(), allowed ? std::vector<TXmlErrorType>{} : std::vector{ET_ENTITY_NESTING_TOO_DEEP});
    EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), allowed ? u"end" : u"");
    TXmlErrorType type;
    std::u16string value;
    doc->CalculateNormalizedAttrValue(doc->GetDocumentElement()->getAttributeNode(u"v"), value, type);
    EXPECT_EQ(type, allowed ? ET_NONE : ET_ENTITY_NESTING_TOO_DEEP);
  }
  recorder->goOn = false;
  // Parameter entities, each the next one's only text ("&#37;" becomes "%"
  // when declared): between declarations, inside one, and in an entity's
  // literal. As deep as allowed is read; one level more is refused for its
  // depth, not as a cycle.
  struct Row {
    const char* use;  // uses the chain's first entity %p0;
    const char* last;  // the text of the chain's last entity
  };
  for (Row row : {Row{"%p0;", "<!ELEMENT r ANY>"}, Row{"<!ELEMENT r %p0;>", "ANY"},
                  Row{"<!ELEMENT r ANY><!ENTITY v '%p0;'>", "end"}}) {
    for (int depth : {kMaxParameterEntityDepth, kMaxParameterEntityDepth + 1}) {
      SCOPED_TRACE(std::string(row.use) + " " + std::to_string(depth));
      std::string dtd;
      for (int i = 1; i < depth; ++i) dtd += "<!ENTITY % p" + std::to_string(i - 1) + " '&#37;p" + std::to_string(i) + ";'>";
      WriteFile("deep.dtd", dtd + "<!ENTITY % p" + std::to_string(depth - 1) + " '" + row.last + "'>" + row.use);
      recorder->reports.clear();
      TdomDocument* doc = Parse("<!DOCTYPE r SYSTEM 'deep.dtd'><r/>");
      const bool allowed = depth == kMaxParameterEntityDepth;
      EXPECT_EQ(doc != nullptr, allowed);
      EXPECT_EQ(Types(), allowed ? std::vector<TXmlErrorType>{} : std::vector{ET_ENTITY_NESTING_TOO_DEEP});
    }
  }
  // Included in a literal, references to undeclared entities are refused
  // (outside the internal subset a validity error).
  WriteFile("early.dtd", "<!ENTITY % a '%b;'><!ENTITY % b 'x'>");
  recorder->reports.clear();
  TdomDocument* early = Parse("<!DOCTYPE r SYSTEM 'early.dtd'><r/>");
  ASSERT_FALSE(recorder->reports.empty());
  EXPECT_EQ(Types().front(), ET_UNDEFINED_PARAMETER_ENTITY);
  ASSERT_NE(early, nullptr);
  EXPECT_FALSE(early->validate(true));
}

TEST_F(DtdTest, AHundredThousandDeclarations) {
  std::string xml = "<!DOCTYPE r [<!ELEMENT r (e0|e33332)*>";
  for (int i = 0; i < 33333; ++i) {
    std::string n = std::to_string(i);
    xml += "<!ELEMENT e" + n + " EMPTY><!ATTLIST e" + n + " a" + n + " CDATA 'v'><!ENTITY x" + n + " 't" + n + "'>";
  }
  TdomDocument* doc = Parse(xml + "]><r><e0/><e33332/>&x33332;</r>");
  ASSERT_NE(doc, nullptr) << ::testing::PrintToString(Types());
  EXPECT_EQ(static_cast<TdomElement*>(doc->GetDocumentElement()->GetLastChildNode()->GetPreviousSiblingNode())
                ->getAttribute(u"a33332"),
            u"v");
  EXPECT_FALSE(doc->validate(true));  // the reference's text in element content
  EXPECT_EQ(Types().back(), ET_ELEMENT_CONTENT_MISMATCH);
}

}  // namespace
