// Validation calls out at every error, to the error handler. A handler that
// frees what validation works on stops it (validation answers false) and
// nothing freed is touched: under AddressSanitizer any touch fails the run.
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
  void Error(TObject*, TdomError* error, bool&) { Run(error->GetRelatedNode()); }
};

class ValidationListenersTest : public DtdTest {};

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
