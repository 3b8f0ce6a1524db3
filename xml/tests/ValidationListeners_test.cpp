// Validation calls out at every step: replacing entity references (when it
// rewrites the document) reports removals and insertions, rewritten
// attribute values report their change, and every error goes to the error
// handler. A listener or handler that frees or moves what validation works
// on stops it (validation answers false) and nothing freed is touched:
// under AddressSanitizer any touch fails the run.
#include <functional>
#include <string>

#include "DtdTestSupport.h"

namespace {

// Runs act once, at the first notice or report that when() accepts.
struct Meddler {
  std::function<bool(TdomNode*)> when;
  std::function<void(TdomNode*)> act;
  bool done = false;

  void Run(TdomNode* node) {
    if (done || !when(node)) return;
    done = true;
    act(node);
  }
  void Heard(TObject*, TdomNode* node) { Run(node); }
  void HeardChange(TObject*, TdomNode*, TdomAttrChange, TdomAttr* attr) { Run(attr); }
  void Error(TObject*, TdomError* error, bool&) { Run(error->GetRelatedNode()); }
};

class ValidationListenersTest : public DtdTest {
protected:
  // r holds a, whose children are the text "t", a reference to e and the
  // text "u" (the parser itself would have replaced the reference), and a
  // second a with a reference of its own.
  TdomDocument* ParseWithReferences() {
    TdomDocument* doc = Parse(
        "<!DOCTYPE r [<!ELEMENT r (a)*><!ELEMENT a (#PCDATA|b)*><!ELEMENT b EMPTY>"
        "<!ATTLIST a k CDATA #IMPLIED><!ENTITY e '<b/>x'>]><r><a k='v'>tu</a><a/></r>");
    if (doc == nullptr) return nullptr;
    TdomNode* a = doc->GetDocumentElement()->GetFirstChildNode();
    TdomNode* tail = static_cast<TdomText*>(a->GetFirstChildNode())->splitText(1);
    a->insertBefore(doc->createEntityReference(u"e"), tail);
    a->GetNextSiblingNode()->appendChild(doc->createEntityReference(u"e"));
    return doc;
  }
};

struct Case {
  const char* name;
  std::function<bool(TdomNode*)> when;
  std::function<void(TdomNode*)> act;
};

TEST_F(ValidationListenersTest, ValidationStopsWhereAListenerFreesOrMovesWhatItWorksOn) {
  auto named = [](const char16_t* name) {
    return [name](TdomNode* n) { return n != nullptr && n->GetNodeName() == name; };
  };
  const Case cases[] = {
      // The reference being replaced, as it leaves.
      {"the reference freed", named(u"e"), [](TdomNode* n) { n->Free(); }},
      // The element whose reference is replaced, as the replacement's first node arrives.
      {"the element freed", named(u"b"), [](TdomNode* n) { n->GetParentNode()->Free(); }},
      // The node before the reference, which the walk goes on from.
      {"the node before freed", named(u"e"), [](TdomNode* n) {
         if (TdomNode* before = n->GetPreviousSiblingNode()) before->Free();
       }},
      {"the node before moved", named(u"e"), [](TdomNode* n) {
         TdomNode* before = n->GetPreviousSiblingNode();
         if (before != nullptr) n->GetOwnerDocument()->GetDocumentElement()->appendChild(before);
       }},
      // The element taken out of the tree while its reference goes.
      {"the element moved out", named(u"e"), [](TdomNode* n) {
         TdomNode* up = n->GetParentNode();
         up->GetParentNode()->removeChild(up);
       }},
      // The attribute whose value is rewritten, or its element.
      {"the rewritten attribute freed", named(u"k"), [](TdomNode* n) { n->Free(); }},
      {"the rewritten attribute's element freed", named(u"k"),
       [](TdomNode* n) { static_cast<TdomAttr*>(n)->GetOwnerElement()->Free(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TdomDocument* doc = ParseWithReferences();
    ASSERT_NE(doc, nullptr);
    Meddler meddler{c.when, c.act};
    doc->OnNodeRemoving = MakeEvent<&Meddler::Heard>(&meddler);
    doc->OnNodeInserted = MakeEvent<&Meddler::Heard>(&meddler);
    doc->OnAttrModified = MakeEvent<&Meddler::HeardChange>(&meddler);
    EXPECT_FALSE(doc->validate(/*keepUnchanged=*/false));
    EXPECT_TRUE(meddler.done) << "the listener never ran";
    doc->OnNodeRemoving = nullptr;
    doc->OnNodeInserted = nullptr;
    doc->OnAttrModified = nullptr;
    // What is left can be validated again.
    doc->validate(/*keepUnchanged=*/false);
    impl->FreeDocument(doc);
  }
  // Without a listener that meddles the same document validates.
  TdomDocument* doc = ParseWithReferences();
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(doc->validate(/*keepUnchanged=*/false)) << ::testing::PrintToString(Types());
  EXPECT_EQ(doc->GetDocumentElement()->GetFirstChildNode()->GetTextContent(), u"txu");
}

// The error handler frees the node an error is about: the element whose
// attributes are still to be checked, or an attribute.
TEST_F(ValidationListenersTest, ValidationStopsWhereTheErrorHandlerFreesTheNodeOfAnError) {
  const char text[] =
      "<!DOCTYPE r [<!ELEMENT r (a)*><!ELEMENT a EMPTY><!ATTLIST a k CDATA #IMPLIED>]>"
      "<r><a k='1' x='2' y='3'>t</a><a z='4'/><c/></r>";
  for (bool keepUnchanged : {false, true}) {
    for (const char16_t* victim : {u"a", u"x", u"c"}) {
      SCOPED_TRACE(std::string(keepUnchanged ? "kept" : "rewritten") + ", freeing the " +
                   std::string(victim[0] == u'x' ? "attribute" : "element"));
      recorder->goOn = true;
      TdomDocument* doc = Parse(text);
      ASSERT_NE(doc, nullptr);
      Meddler meddler{[victim](TdomNode* n) { return n != nullptr && n->GetNodeName() == victim; },
                      [](TdomNode* n) { n->Free(); }};
      impl->OnError = MakeEvent<&Meddler::Error>(&meddler);
      EXPECT_FALSE(doc->validate(keepUnchanged));
      EXPECT_TRUE(meddler.done) << "the handler never ran";
      impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
      impl->FreeDocument(doc);
    }
  }
}

}  // namespace
