#include "xml/DomBuilder.h"

#include <unordered_set>
#include <utility>

#include "xml/AsModelCollection.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomProcessingInstruction.h"
#include "xml/Element.h"
#include "xml/EntityExpansion.h"
#include "xml/EntityReference.h"
#include "xml/ParserUtilsNames.h"
#include "xml/XmlRules.h"

namespace {
const char16_t* PredefinedEntityText(const std::u16string& name) {
  if (name == u"lt") return u"<";
  if (name == u"gt") return u">";
  if (name == u"amp") return u"&";
  if (name == u"apos") return u"'";
  if (name == u"quot") return u"\"";
  return nullptr;
}

}  // namespace

void TXmlDomBuilder::Create(TComponent* owner) {
  TXmlCustomHandler::Create(owner);
  prefixMappings = new TUtilsNameValueList;
}

TXmlDomBuilder::~TXmlDomBuilder() {
  SetReferenceNode(nullptr);
  delete prefixMappings;
}

void TXmlDomBuilder::Reset() { prefixMappings->Clear(); }

void TXmlDomBuilder::ReleaseBudget() {
  if (budgetHolder != nullptr) --budgetHolder->ExpansionBudget().holds;
  budgetHolder = nullptr;
}

void TXmlDomBuilder::EndRead() {
  ReleaseBudget();
  SetReferenceNode(nullptr);
}

void TXmlDomBuilder::SetReferenceNode(TdomNode* value) {
  referenceNode = value;
  // The builder holds the document it builds in itself: whichever handler
  // frees it, between here and the end of the read, it stays in memory
  // until the builder lets go of it.
  TdomDocument* next = value != nullptr ? value->GetReferenceDocument() : nullptr;
  signalsStamp = next != nullptr ? next->StructureStamp() : 0;
  if (next == document) return;
  // The budget held is the document's it builds.
  if (budgetHolder != nullptr && budgetHolder != next) ReleaseBudget();
  if (next != nullptr) next->Keep();
  if (TdomDocument* previous = std::exchange(document, next)) previous->Unkeep();
}

uint64_t TXmlDomBuilder::TreeStamp() const { return document != nullptr ? document->StructureStamp() : 0; }

void TXmlDomBuilder::ForgetDocument() {
  // Its budget went with it.
  if (budgetHolder == document) budgetHolder = nullptr;
  SetReferenceNode(nullptr);
}

// Every step of every node asks: the question is inline, the answer out of line.
inline void TXmlDomBuilder::CheckTreeKept(uint64_t expected) {
  if (TComponent::Going() || (signalWatch != nullptr && signalWatch->Document() == nullptr) ||
      (document != nullptr && document->StructureStamp() != expected))
    EndChangedRead();
}

void TXmlDomBuilder::EndChangedRead() {
  // A handler freed the parser this builder belongs to (or the builder).
  if (TComponent::Going()) throw EParserException(DomMessage::kReaderFreed);
  if (signalWatch != nullptr && signalWatch->Document() == nullptr) ForgetDocument();
  throw EParserException(DomMessage::kTreeChanged);
}

void TXmlDomBuilder::AppendNew(TdomNode* node, uint64_t stamp) {
  // A listener may free the new node (or the document) while it goes in:
  // only what is still there is freed when that fails.
  TOwnedRef<TdomNode> made(node);
  try {
    // The factory's report ran listeners: whatever they freed or moved
    // (perhaps the new node, or the reference node) ends the read.
    CheckTreeKept(stamp);
    // An element's children need none of the checks a moved node needs;
    // the document and entities keep rules of their own.
    if (referenceNode->GetNodeType() == ntElement_Node) {
      static_cast<TdomElement*>(referenceNode)->AppendNewChild(node);
    } else {
      referenceNode->appendChild(node);
    }
  } catch (...) {
    if (made) made->Free();
    throw;
  }
  // The insertion changed the shape once; more was a listener's doing.
  CheckTreeKept(stamp + 1);
}

void TXmlDomBuilder::WritePCDATA(TXmlCustomReader*, const IDomLocator*, const std::u16string& text) {
  TdomNode* last = referenceNode->GetLastChildNode();
  uint64_t stamp = TreeStamp();
  if (last != nullptr && last->GetNodeType() == ntText_Node) {
    static_cast<TdomText*>(last)->appendData(text);
    CheckTreeKept(stamp);
    return;
  }
  AppendNew(document->createTextNode(text), stamp);
}

void TXmlDomBuilder::MarkLastTextNonLiteral() {
  TdomNode* last = referenceNode->GetLastChildNode();
  if (last != nullptr && last->GetNodeType() == ntText_Node) static_cast<TdomText*>(last)->MarkNonLiteralText();
}

std::u16string TXmlDomBuilder::MappedUri(const std::u16string& prefix) const {
  // The prefix xml is bound by definition, for elements as for attributes.
  if (prefix == u"xml") return kXmlNamespaceUri;
  int index = prefixMappings->LastIndexOfName(prefix);
  return index >= 0 ? prefixMappings->GetValue(index) : std::u16string();
}

void TXmlDomBuilder::ProcessSignal(TXmlSignal* signal) {
  TSignalHold self(this);
  // The read is over, whatever became of the document: the builder lets go
  // of it (a chain made by hand has no parser to end the read for it), and
  // the next read names its reference node anew.
  if (signal->KindCode() == SK_ABORTED) {
    EndRead();
    Reset();
    return;
  }
  // A handler the chain called between two signals (an error handler of a
  // reader that holds nothing) freed the document, or freed or moved nodes
  // of it (the reference node, perhaps).
  if (document != nullptr && (document->IsGoing() || document->StructureStamp() != signalsStamp)) {
    if (document->IsGoing()) ForgetDocument();
    if (signal->KindCode() == SK_COMPLETED) EndRead();
    throw EParserException(DomMessage::kTreeChanged);
  }
  // The end of an element only moves the reference node up: it calls no
  // one, so it needs no watch (half of a parse's signals are ends).
  if (signal->KindCode() == SK_END_ELEMENT) {
    if (referenceNode != nullptr) referenceNode = referenceNode->GetParentNode();
    return;
  }
  // A listener run by this signal's steps may free the whole document: the
  // steps learn it here before they touch it.
  TdomDocumentWatch watch(document);
  struct Restore {
    TXmlDomBuilder* builder;
    TdomDocumentWatch* outer;
    bool watching;
    ~Restore() {
      if (watching && builder->signalWatch->Document() == nullptr) builder->ForgetDocument();
      builder->signalWatch = outer;
      builder->signalsStamp = builder->TreeStamp();
    }
  } restore{this, std::exchange(signalWatch, &watch), document != nullptr};
  try {
    BuildNodes(signal);
  } catch (const EHierarchy_Request_Err&) {
    // A document (a fragment read into one) or content that refuses what the
    // text holds (a document type declaration): the text's fault, reported
    // where it stands.
    ReportMisplaced(signal);
    throw;
  }
}

void TXmlDomBuilder::SendErrorNotification(TXmlCustomReader* reader, TXmlErrorType errorType,
                                           const IDomLocator* locator, const std::u16string& code) {
  uint64_t stamp = TreeStamp();
  TXmlCustomHandler::SendErrorNotification(reader, errorType, locator, code);
  CheckTreeKept(stamp);
}

void TXmlDomBuilder::ReportMisplaced(TXmlSignal* signal) {
  switch (signal->KindCode()) {
    case SK_START_ELEMENT:
      return SendErrorNotification(signal->Reader(), ET_DOUBLE_ROOT_ELEMENT, signal,
                                   static_cast<TXmlStartElementSignal*>(signal)->TagName);
    case SK_CDATA:
      return SendErrorNotification(signal->Reader(), ET_NOT_IN_ROOT, signal, static_cast<TXmlCDATASignal*>(signal)->Data);
    case SK_ENTITY_REF:
      return SendErrorNotification(signal->Reader(), ET_NOT_IN_ROOT, signal,
                                   u"&" + static_cast<TXmlEntityRefSignal*>(signal)->EntityName + u";");
    case SK_DOCTYPE: {
      // Content (an element's, an entity's) holds none; a document one
      // before its element.
      bool second = document != nullptr && document->GetDoctypeDecl() != nullptr &&
                    referenceNode == static_cast<TdomNode*>(document);
      return SendErrorNotification(signal->Reader(), second ? ET_DOUBLE_DOCTYPE : ET_DOCTYPE_AFTER_ROOT_ELEMENT,
                                   signal, static_cast<TXmlDoctypeSignal*>(signal)->DoctypeName);
    }
    default:
      return SendErrorNotification(signal->Reader(), ET_NOT_IN_ROOT, signal, std::u16string());
  }
}

void TXmlDomBuilder::BuildNodes(TXmlSignal* signal) {
  // One look at the kind: a parse sends a signal for each node it makes.
  switch (signal->KindCode()) {
    case SK_PCDATA: {
      if (referenceNode == nullptr) return;
      auto* pcdata = static_cast<TXmlPCDATASignal*>(signal);
      if (referenceNode->GetNodeType() == ntDocument_Node) {
        // White space around the root is dropped; other text has no place there.
        if (!IsXmlS(pcdata->Data)) SendErrorNotification(signal->Reader(), ET_NOT_IN_ROOT, signal, pcdata->Data);
        return;
      }
      WritePCDATA(signal->Reader(), signal, pcdata->Data);
      if (pcdata->CharRefGenerated) MarkLastTextNonLiteral();
      return;
    }
    case SK_START_ELEMENT:
      if (referenceNode != nullptr) StartElement(static_cast<TXmlStartElementSignal*>(signal));
      return;
    case SK_CDATA: {
      if (referenceNode == nullptr) return;
      auto* cdata = static_cast<TXmlCDATASignal*>(signal);
      if (KeepCDATASections) {
        uint64_t stamp = TreeStamp();
        AppendNew(referenceNode->GetReferenceDocument()->createCDATASection(cdata->Data), stamp);
      } else {
        WritePCDATA(signal->Reader(), signal, cdata->Data);
        MarkLastTextNonLiteral();
      }
      return;
    }
    case SK_COMMENT:
      if (KeepComments && referenceNode != nullptr) {
        uint64_t stamp = TreeStamp();
        AppendNew(referenceNode->GetReferenceDocument()->createComment(static_cast<TXmlCommentSignal*>(signal)->Data),
                  stamp);
      }
      return;
    case SK_DOCTYPE: {
      if (!KeepDocumentTypeDecl || referenceNode == nullptr) return;
      auto* doctype = static_cast<TXmlDoctypeSignal*>(signal);
      TdomDocumentTypeDecl* decl = referenceNode->GetReferenceDocument()->createDocumentTypeDecl(
          doctype->DoctypeName, doctype->PublicId, doctype->SystemId, doctype->Data);
      // Its making reports nothing, but sets up the shape of its models.
      AppendNew(decl, TreeStamp());
      if (AutoPrepare == AP_NO) return;
      decl->GetASModels()->SetResolveExternals(ResolveExternals);
      bool prepared = decl->PrepareASModels(AutoPrepare == AP_INTERNAL_DECLARATIONS, doctype->IntSubsetStartByteNumber,
                                            doctype->IntSubsetStartCharNumber, doctype->IntSubsetStartColumn,
                                            doctype->IntSubsetStartLine);
      if (!prepared) throw EParserException("Non-wellformed DTD.");
      return;
    }
    case SK_END_PREFIX_MAPPING:
      if (prefixMappings->GetCount() > 0) prefixMappings->Delete(prefixMappings->GetCount() - 1);
      return;
    case SK_ENTITY_REF:
      if (referenceNode != nullptr) EntityReference(static_cast<TXmlEntityRefSignal*>(signal));
      return;
    case SK_PROCESSING_INSTRUCTION:
      if (referenceNode != nullptr) {
        auto* pi = static_cast<TXmlProcessingInstructionSignal*>(signal);
        uint64_t stamp = TreeStamp();
        AppendNew(referenceNode->GetReferenceDocument()->createProcessingInstruction(pi->Target, pi->Data), stamp);
      }
      return;
    case SK_START_DOCUMENT: {
      prefixMappings->Clear();
      if (referenceNode != nullptr && referenceNode->GetNodeType() == ntDocument_Node) {
        auto* startDoc = static_cast<TXmlStartDocumentSignal*>(signal);
        auto* doc = static_cast<TdomDocument*>(referenceNode);
        // One expansion budget for the whole document, held until it is read.
        ReleaseBudget();
        doc->ExpansionBudget().chars = 0;
        ++doc->ExpansionBudget().holds;
        budgetHolder = doc;
        doc->SetXmlEncoding(startDoc->XmlEncoding);
        doc->SetInputEncoding(startDoc->InputEncoding);
        doc->SetXmlStandalone(startDoc->XmlStandalone);
        doc->SetXmlVersion(startDoc->XmlVersion);
        doc->SetDocumentUri(startDoc->GetUri());
      }
      return;
    }
    case SK_START_DOCUMENT_FRAGMENT:
      prefixMappings->Clear();
      return;
    case SK_START_PREFIX_MAPPING: {
      auto* mapping = static_cast<TXmlStartPrefixMappingSignal*>(signal);
      prefixMappings->Add(mapping->Prefix, mapping->Uri);
      return;
    }
    case SK_COMPLETED:
      EndRead();
      return;
    default:
      if ((signal->Scope() & kScopeDoc) == 0) throw EParserException("Internal Parser Exception");
      return;
  }
}

TdomASModelCollection* TXmlDomBuilder::PreparedModels() const {
  if (AutoPrepare == AP_NO || referenceNode == nullptr) return nullptr;
  TdomDocumentTypeDecl* decl = document != nullptr ? document->GetDoctypeDecl() : nullptr;
  return decl != nullptr && decl->HasASModels() ? decl->GetASModels() : nullptr;
}

void TXmlDomBuilder::EntityReference(TXmlEntityRefSignal* signal) {
  const char16_t* text = KeepEntityRefs ? nullptr : PredefinedEntityText(signal->EntityName);
  if (text != nullptr) {
    WritePCDATA(signal->Reader(), signal, text);
    return;
  }
  uint64_t stamp = TreeStamp();
  TdomEntityReference* reference = document->createEntityReference(signal->EntityName);
  AppendNew(reference, stamp);
  if (PreparedModels() == nullptr) return;
  // The expansion builds nodes with reports of its own: afterwards the
  // reference must still be where it was put.
  TOwnedRef<TdomNode> parent(referenceNode);
  TOwnedRef<TdomEntityReference> kept(reference);
  TXmlErrorType errorType;
  {
    TEntityExpansionOrigin at(document, signal);
    errorType = reference->ExpandEntity();
  }
  if (!parent || !kept || reference->GetParentNode() != referenceNode) throw EParserException(DomMessage::kTreeChanged);
  if (!IsHintOrWarningErrorType(errorType))
    SendErrorNotification(signal->Reader(), errorType, signal, signal->EntityName);
  if (KeepEntityRefs) return;
  // The expansion takes the reference's place, writable like the rest of the content.
  stamp = document->StructureStamp();
  while (TdomNode* child = reference->GetFirstChildNode()) {
    reference->SetReadOnly(false);
    child->SetReadOnly(false);
    for (TdomNode* node = child->GetFirstChildNode(); node != nullptr;) {
      node->SetReadOnly(false);
      if (node->GetFirstChildNode() != nullptr) {
        node = node->GetFirstChildNode();
        continue;
      }
      while (node != child && node->GetNextSiblingNode() == nullptr) node = node->GetParentNode();
      node = node == child ? nullptr : node->GetNextSiblingNode();
    }
    referenceNode->insertBefore(child, reference);
    CheckTreeKept(++stamp);
  }
  referenceNode->removeChild(reference);
  CheckTreeKept(++stamp);
  reference->Free();
}

void TXmlDomBuilder::StartElement(TXmlStartElementSignal* signal) {
  TUtilsNameValueList* attributes = signal->Attributes;
  TdomElement* element;
  uint64_t treeStamp = document->StructureStamp();
  if (!BuildNamespaceTree) {
    element = document->createElement(signal->TagName);
    AppendNew(element, treeStamp++);
    referenceNode = element;
    // A sorted list holds a repeated name (which the well-formedness checks
    // refuse) next to its twin: every other name is new to the element, so
    // it needs no search, as long as only this loop changes the attributes
    // (a handler of the insertion or of an addition may add or remove some).
    bool distinct = attributes->Names()->Sorted() && !element->hasAttributes();
    const int count = attributes->GetCount();
    element->ReserveAttributes(count);
    uint32_t stamp = element->AttributeStamp();  // as this loop left it
    for (int i = 0; i < count; ++i) {
      const std::u16string& name = attributes->NameAt(i);
      if (distinct && element->AttributeStamp() != stamp) distinct = false;
      if (distinct && (i == 0 || attributes->NameAt(i - 1) != name)) {
        element->AddNewAttribute(name, attributes->ValueAt(i));
        ++stamp;
      } else {
        element->setAttribute(name, attributes->ValueAt(i));
      }
      // An addition's report may have freed or moved the element.
      CheckTreeKept(treeStamp);
    }
    AddDefaultAttributes(signal, element, treeStamp);
    return;
  }
  // A name the namespace rules refuse (a prefix that no declaration maps, or
  // maps to no URI) is the document's fault: reported at the start tag, and
  // the parse ends whatever the verdict.
  auto refusedName = [&](const std::u16string& name) {
    SendErrorNotification(signal->Reader(), ET_INVALID_PREFIX, signal, name);
  };
  std::u16string prefix, localName;
  SplitQualifiedName(signal->TagName, prefix, localName);
  try {
    element = document->createElementNS(MappedUri(prefix), signal->TagName);
  } catch (const ENamespace_Err&) {
    refusedName(signal->TagName);
    throw;
  }
  AppendNew(element, treeStamp++);
  referenceNode = element;
  element->ReserveAttributes(attributes->GetCount());
  // The namespace names of the tag's attributes so far: two prefixes mapped
  // to one URI give one attribute two names, and the second would silently
  // take the first one's place.
  std::unordered_set<std::u16string> expandedNames;
  for (int i = 0; i < attributes->GetCount(); ++i) {
    const std::u16string& name = attributes->NameAt(i);
    std::u16string uri;
    if (name == u"xmlns") {
      uri = kXmlnsNamespaceUri;
      localName = name;
    } else {
      SplitQualifiedName(name, prefix, localName);
      if (prefix.empty()) {
        uri.clear();
      } else if (prefix == u"xmlns") {
        uri = kXmlnsNamespaceUri;
      } else {
        uri = MappedUri(prefix);
      }
    }
    if (!uri.empty() && !expandedNames.insert(uri + u'\0' + localName).second) {
      SendErrorNotification(signal->Reader(), ET_DOUBLE_ATTRIBUTE_NAME, signal, name);
      continue;
    }
    try {
      element->setAttributeNS(uri, name, attributes->ValueAt(i));
    } catch (const ENamespace_Err&) {
      refusedName(name);
      throw;
    }
    CheckTreeKept(treeStamp);
  }
  AddDefaultAttributes(signal, element, treeStamp);
}

void TXmlDomBuilder::AddDefaultAttributes(TXmlStartElementSignal* signal, TdomElement* element, uint64_t stamp) {
  TdomASModelCollection* models = PreparedModels();
  if (models == nullptr) return;
  bool added = models->AddDefaultAttributes(element);
  // An addition's report may have freed or moved the element.
  CheckTreeKept(stamp);
  if (!added && EntityExpansionExhausted(document)) {
    // A default the models cannot give was reported when they were checked;
    // one left out because the expansion budget ran out is reported here.
    SendErrorNotification(signal->Reader(), ET_ENTITY_EXPANSION_TOO_LARGE, signal, signal->TagName);
  }
  models->RegisterIds(element);
}
