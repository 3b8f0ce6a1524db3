// Random DOM mutations with invariant checks: each input byte pair picks an
// operation and its operands among the nodes made so far; listeners of both
// documents, at each notice, may remove, move or free nodes or normalise
// (read from the same input) while the operation goes on. Refused operations
// (exceptions of the library's family) are fine; a crash, a sanitizer report,
// a standard-library exception leaving a DOM call or a broken tree invariant
// is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "xml/XmlDom.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

class Input {
public:
  Input(const uint8_t* data_, size_t size_) : data(data_), size(size_) {}
  bool Done() const { return pos >= size; }
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }

private:
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

class SkipFilter : public TdomNodeFilter {
public:
  TdomFilterResult acceptNode(TdomNode* node) override {
    return TdomFilterResult(node->GetNodeName().size() % 3);
  }
};

const char16_t* const kNames[] = {u"a", u"b", u"c", u"x:a", u"d"};

struct Fuzzer {
  TDomImplementation* impl;
  TdomDocument* doc;
  TdomDocument* other;
  std::vector<TdomNode*> nodes;  // every node made and not freed
  std::vector<TdomTreeWalker*> walkers;
  std::vector<TdomNodeIterator*> iterators;
  SkipFilter filter;
  Input* input = nullptr;  // what the listeners read their acts from
  bool meddling = false;

  // A listener's act during an operation: the operation must look again.
  void Meddle() {
    if (meddling || input == nullptr) return;
    uint8_t what = input->Byte() % 8;
    if (what >= 5) return;
    meddling = true;
    TdomNode* a = Pick(*input);
    TdomNode* b = Pick(*input);
    TdomNode* c = Pick(*input);
    try {
      switch (what) {
        case 0: if (a && b) a->insertBefore(b, c); break;
        case 1: if (a && a->GetParentNode()) a->GetParentNode()->removeChild(a); break;
        case 2: if (a && a != doc && a != other) a->Free(); break;
        case 3: if (a) a->normalize(); break;
        default:
          if (a && a->GetNodeType() == ntElement_Node) static_cast<TdomElement*>(a)->setAttribute(u"m", u"v");
          break;
      }
    } catch (const Exception&) {
    }
    meddling = false;
  }
  void Heard(TObject*, TdomNode*) { Meddle(); }
  void HeardAttr(TObject*, TdomNode*, TdomAttrChange, TdomAttr*) { Meddle(); }
  void Listen(TdomDocument* document) {
    document->OnNodeRemoving = MakeEvent<&Fuzzer::Heard>(this);
    document->OnNodeInserted = MakeEvent<&Fuzzer::Heard>(this);
    document->OnNodeClearing = MakeEvent<&Fuzzer::Heard>(this);
    document->OnCharacterDataModified = MakeEvent<&Fuzzer::Heard>(this);
    document->OnAttrModified = MakeEvent<&Fuzzer::HeardAttr>(this);
  }

  TdomNode* Pick(Input& in) {
    if (nodes.empty()) return nullptr;
    uint8_t b = in.Byte();
    if (b == 255) return nullptr;
    return nodes[b % nodes.size()];
  }

  // Tracks node until it is freed: its deletion handler takes it off the list.
  void Track(TdomNode* node) {
    if (node == nullptr) return;
    nodes.push_back(node);
    node->setUserData(u"tracked", node, MakeEvent<&Fuzzer::Deleted>(this));
  }

  // The data stored under the key is the node itself.
  void Deleted(TdomUserDataOperation operation, const std::u16string&, TdomUserData data, TdomNode*, TdomNode*) {
    if (operation != NODE_DELETED) return;
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (nodes[i] == data) {
        nodes.erase(nodes.begin() + i);
        return;
      }
    }
  }

  void Make(Input& in) {
    const char16_t* name = kNames[in.Byte() % 5];
    TdomDocument* target = in.Byte() % 8 == 0 ? other : doc;
    switch (in.Byte() % 10) {
      case 0: Track(target->createElement(name[1] == u':' ? u"e" : name)); break;
      case 1: Track(target->createElementNS(u"urn:x", name)); break;
      case 2: Track(target->createTextNode(name)); break;
      case 3: Track(target->createComment(name)); break;
      case 4: Track(target->createCDATASection(name)); break;
      case 5: Track(target->createProcessingInstruction(u"pi", name)); break;
      case 6: Track(target->createDocumentFragment()); break;
      case 7: {
        TdomEntityReference* ref = target->createEntityReference(in.Byte() % 2 ? u"lt" : u"zz");
        ref->ExpandEntity();
        Track(ref);
        break;
      }
      case 8: Track(target->createAttribute(name[1] == u':' ? u"q" : name)); break;
      default: Track(target->createDocumentTypeDecl(u"a", u"", u"", u"")); break;
    }
  }

  void Step(Input& in) {
    uint8_t op = in.Byte() % 31;
    TdomNode* a = Pick(in);
    TdomNode* b = Pick(in);
    TdomNode* c = Pick(in);
    switch (op) {
      case 0: case 1: Make(in); break;
      case 2: if (a) a->appendChild(b); break;
      case 3: if (a) a->insertBefore(b, c); break;
      case 4: if (a) a->replaceChild(b, c); break;
      case 5: if (a) a->removeChild(b); break;
      case 6:
        if (a && a->GetNodeType() == ntElement_Node) {
          if (TdomAttr* attr = static_cast<TdomElement*>(a)->setAttribute(kNames[in.Byte() % 3], u"v")) {
            Track(attr);
          }
        }
        break;
      case 7:
        if (a && a->GetNodeType() == ntElement_Node && b && b->GetNodeType() == ntAttribute_Node)
          static_cast<TdomElement*>(a)->setAttributeNode(static_cast<TdomAttr*>(b));
        break;
      case 8:
        if (a && a->GetNodeType() == ntElement_Node && b && b->GetNodeType() == ntAttribute_Node)
          static_cast<TdomElement*>(a)->removeAttributeNode(static_cast<TdomAttr*>(b));
        break;
      case 9: if (a) { if (TdomNode* copy = a->cloneNode(in.Byte() % 2)) Track(copy); } break;
      case 10: if (a) Track(other->importNode(a, in.Byte() % 2)); break;
      case 11: if (a) a->normalize(); break;
      case 12:
        if (a && (a->GetNodeType() == ntText_Node || a->GetNodeType() == ntCDATA_Section_Node))
          Track(static_cast<TdomText*>(a)->splitText(in.Byte() % 4));
        break;
      case 13:
        if (a && (a->GetNodeType() == ntText_Node || a->GetNodeType() == ntComment_Node)) {
          auto* data = static_cast<TdomCharacterData*>(a);
          if (in.Byte() % 2) data->appendData(u"z"); else data->deleteData(in.Byte() % 3, in.Byte() % 3);
        }
        break;
      case 14:
        if (a && a != doc && a != other) {
          a->Free();
        }
        break;
      case 15: if (a) walkers.push_back(doc->createTreeWalker(a, in.Byte() | (in.Byte() << 8), &filter, in.Byte() % 2)); break;
      case 16: if (a) iterators.push_back(doc->createNodeIterator(a, in.Byte() | (in.Byte() << 8), &filter, in.Byte() % 2)); break;
      case 17:
        for (TdomTreeWalker* w : walkers) {
          switch (in.Byte() % 7) {
            case 0: w->nextNode(); break;
            case 1: w->previousNode(); break;
            case 2: w->parentNode(); break;
            case 3: w->firstChild(); break;
            case 4: w->lastChild(); break;
            case 5: w->nextSibling(); break;
            default: w->previousSibling(); break;
          }
          if (w->GetCurrentNode()) w->GetCurrentNode()->GetNodeName();
        }
        break;
      case 18:
        for (TdomNodeIterator* it : iterators) {
          if (!it->IsValid()) continue;
          TdomNode* n = in.Byte() % 2 ? it->nextNode() : it->previousNode();
          if (n) n->GetNodeName();
        }
        break;
      case 19: if (a) { a->GetTextContent(); a->GetBaseUri(); a->GetLanguage(); a->GetLevel(); a->GetDocumentOrder(); } break;
      case 20: if (a && b) a->compareDocumentPosition(b); break;
      case 21:
        if (a) {
          const char16_t* prefixes[] = {u"", u"p", u"b", u"xmlns", u"xml", u"a"};
          a->lookupNamespaceURI(prefixes[in.Byte() % 6]);
        }
        break;
      case 22:
        if (a && a->GetNodeType() == ntElement_Node) {
          const char16_t* uris[] = {u"urn:x", u"", kXmlnsNamespaceUri, kXmlNamespaceUri};
          const char16_t* names[] = {u"p:a", u"a", u"xmlns", u"xmlns:p", u"xml:lang", u"q:b"};
          Track(static_cast<TdomElement*>(a)->setAttributeNS(uris[in.Byte() % 4], names[in.Byte() % 6], u"v"));
        }
        break;
      case 23:
        if (a) a->SetPrefix(in.Byte() % 2 ? u"p" : u"xml");
        break;
      case 24:
        if (a && a->GetNodeType() == ntEntity_Reference_Node) static_cast<TdomEntityReference*>(a)->ExpandEntity();
        break;
      case 25:
        if (a && (a->GetNodeType() == ntText_Node || a->GetNodeType() == ntComment_Node))
          static_cast<TdomCharacterData*>(a)->replaceData(in.Byte() % 4, in.Byte() % 4, u"rr");
        break;
      case 26: {
        std::vector<TdomNodeIterator*> valid;
        for (TdomNodeIterator* it : iterators) {
          if (it->IsValid()) valid.push_back(it);
        }
        iterators.swap(valid);
        if (in.Byte() % 2 && !iterators.empty()) iterators.back()->detach();
        if (!iterators.empty() && !iterators.back()->IsValid()) iterators.pop_back();
        doc->ClearInvalidNodeIterators();
        break;
      }
      case 27:
        if (!walkers.empty()) {
          TdomTreeWalker* walker = walkers.back();
          walkers.pop_back();
          doc->FreeTreeWalker(walker);
        }
        break;
      case 28: if (a && b) a->AdoptNode(b); break;
      case 29: if (a && b) a->AdoptObject(b); break;
      default:
        if (a && a != doc && a != other) {
          a->Clear();
        }
        break;
    }
  }

  void CheckInvariants() {
    CheckTree(doc);
    CheckTree(other);
    int elements = 0;
    for (TdomNode* n = doc->GetFirstChildNode(); n != nullptr; n = n->GetNextSiblingNode()) {
      if (n->GetNodeType() == ntText_Node || n->GetNodeType() == ntCDATA_Section_Node) Fail("text child of a document");
      if (n->GetNodeType() == ntElement_Node) ++elements;
    }
    if (elements > 1) Fail("second document element");
    int counted = 0;
    TdomNode* current = doc->GetFirstChildNode();
    while (current != nullptr) {
      if (current->GetNodeType() == ntElement_Node) ++counted;
      if (TdomNode* child = current->GetFirstChildNode()) {
        current = child;
        continue;
      }
      while (current != nullptr && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
      if (current == nullptr || current == doc) break;
      current = current->GetNextSiblingNode();
    }
    if (doc->getElementsByTagName(u"*")->GetLength() != counted) Fail("live element list out of date");
    for (int i = 0; i < counted; ++i) {
      if (doc->getElementsByTagName(u"*")->Item(i)->GetNodeType() != ntElement_Node) Fail("element list item");
    }
  }

  void CheckTree(TdomNode* top) {
    TdomNode* previous = nullptr;
    int index = 0;
    for (TdomNode* child = top->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      if (child->GetParentNode() != top) Fail("parent link");
      if (child->GetPreviousSiblingNode() != previous) Fail("sibling links");
      if (top->GetChildNodes()->Item(index) != child) Fail("child list");
      if (!NodeTypeInSet(top->AllowedChildTypes(), child->GetNodeType())) Fail("child type");
      CheckTree(child);
      previous = child;
      ++index;
    }
    if (top->GetLastChildNode() != previous) Fail("last child");
    if (top->GetChildCount() != index) Fail("child count");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Fuzzer f;
  f.impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  f.doc = f.impl->CreateEmptyDocument();
  f.other = f.impl->CreateEmptyDocument();
  f.Track(f.doc);
  f.Listen(f.doc);
  f.Listen(f.other);
  f.input = &in;
  int steps = 0;
  while (!in.Done() && steps < 400) {
    try {
      f.Step(in);
    } catch (const Exception&) {
      // A refused operation must leave the trees sound: checked below.
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      Fail("standard-library exception left a DOM call");
    }
    f.CheckInvariants();
    ++steps;
  }
  f.input = nullptr;
  if (in.Byte() % 2) {
    TdomDocument* doc = f.doc;
    f.impl->FreeDocument(doc);
  }
  f.impl->Free();
  return 0;
}
