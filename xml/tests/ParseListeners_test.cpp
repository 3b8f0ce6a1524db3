// Reading a document while listeners of the DOM implementation hear every
// node the parse inserts, every text it writes and every attribute it adds,
// and free, remove or move nodes at one of those notices: the read either
// ends with a whole, sound tree or stops with its own error; it never goes
// on with a node a listener freed.
#include <memory>
#include <string>

#include "DtdTestSupport.h"
#include "core/StringStream.h"

namespace {

enum class Act { Free, FreeParent, Remove, MoveUp, Last };

// Acts once, at the notice numbered target (counting every kind).
struct Meddler {
  int target = 0;
  Act act = Act::Free;
  int heard = 0;
  bool acted = false;

  void Meddle(TdomNode* node) {
    if (heard++ != target || acted) return;
    acted = true;
    TdomNode* parent = node->GetParentNode();
    switch (act) {
      case Act::Free: node->Free(); break;
      case Act::FreeParent:
        if (parent != nullptr && parent->GetNodeType() != ntDocument_Node) parent->Free();
        break;
      case Act::Remove:
        if (parent != nullptr) parent->removeChild(node);
        break;
      case Act::MoveUp:
        // The node goes up beside its parent, or to the document's end.
        if (parent != nullptr && parent->GetParentNode() != nullptr &&
            parent->GetParentNode()->GetNodeType() != ntDocument_Node) {
          parent->GetParentNode()->appendChild(node);
        }
        break;
      case Act::Last: break;
    }
  }
  void Node(TObject*, TdomNode* node) { Meddle(node); }
  void Attr(TObject*, TdomNode* node, TdomAttrChange, TdomAttr*) { Meddle(node); }
};

class ParseListenersTest : public DtdTest {};

TEST_F(ParseListenersTest, TheReadStopsWhenAListenerChangesTheTree) {
  const std::string text =
      "<!DOCTYPE r [<!ENTITY e '<i a=\"1\">x</i>y'><!ATTLIST s d CDATA 'dv'>]>"
      "<r k='1'><s a='1' b='2'>t&e;u<![CDATA[c]]>v<!--m--><?p q?></s><s>&e;&amp;w</s></r>";
  for (bool keepReferences : {true, false}) {
    parser->SetKeepEntityRefs(keepReferences);
    for (int a = 0; a < static_cast<int>(Act::Last); ++a) {
      int stops = 0;
      for (int target = 0;; ++target) {
        SCOPED_TRACE("act " + std::to_string(a) + " at notice " + std::to_string(target) + " keeping references " +
                     std::to_string(keepReferences));
        Meddler meddler{target, static_cast<Act>(a)};
        impl->OnNodeInserted = MakeEvent<&Meddler::Node>(&meddler);
        impl->OnCharacterDataModified = MakeEvent<&Meddler::Node>(&meddler);
        impl->OnAttrModified = MakeEvent<&Meddler::Attr>(&meddler);
        std::unique_ptr<TStringStream> stream(New<TStringStream>(text));
        TdomDocument* doc = nullptr;
        try {
          doc = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", Uri("doc.xml"), nullptr));
        } catch (const EParserException& e) {
          ++stops;
          EXPECT_EQ(e.Message(), DomMessage::kTreeChanged);
        }
        impl->OnNodeInserted = nullptr;
        impl->OnCharacterDataModified = nullptr;
        impl->OnAttrModified = nullptr;
        if (doc != nullptr) {
          EXPECT_TRUE(Sound(doc));
          impl->FreeDocument(doc);
        }
        if (!meddler.acted) break;  // past the last notice: every one has had its turn
        if (HasFailure()) return;
      }
      EXPECT_GT(stops, 0);
    }
  }
  // Listeners that only look change nothing.
  Meddler looker{-1};
  impl->OnNodeInserted = MakeEvent<&Meddler::Node>(&looker);
  impl->OnAttrModified = MakeEvent<&Meddler::Attr>(&looker);
  TdomDocument* doc = Parse(text);
  ASSERT_NE(doc, nullptr);
  EXPECT_GT(looker.heard, 10);
  EXPECT_EQ(doc->GetDocumentElement()->GetTextContent(), u"txyucvxy&w");
  // An error handler that only adds a node ends the read with that reason too.
  impl->OnError = [](TObject* sender, TdomError*, bool&) {
    auto* reader = static_cast<TXmlCustomReader*>(sender);
    reader->ReadHold()->Document()->GetDocumentElement()->appendChild(reader->ReadHold()->Document()->createComment(u"c"));
  };
  EXPECT_DOM_ERROR(parser->ParseString("<!DOCTYPE r [<!ENTITY e 'x'>]><r>&nope;</r>", u"", u"", nullptr),
                   EParserException, DomMessage::kTreeChanged);
}

}  // namespace
