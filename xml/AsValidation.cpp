// Validation of a document against its DTD models.
#include <algorithm>
#include <unordered_set>
#include <memory>

#include "xml/AsModelCollection.h"
#include "xml/AsContentAutomaton.h"
#include "xml/Attr.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DocumentFragment.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/Element.h"
#include "xml/EntityExpansion.h"
#include "xml/EntityReference.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/WideStrList.h"
#include "xml/XmlRules.h"
#include "xml/XmlToDomParser.h"

namespace {

// The node after node in document order below top, or null after the last.
TdomNode* NextBelow(const TdomNode* top, TdomNode* node) {
  if (TdomNode* child = node->GetFirstChildNode()) return child;
  for (; node != nullptr && node != top; node = node->GetParentNode()) {
    if (TdomNode* sibling = node->GetNextSiblingNode()) return sibling;
  }
  return nullptr;
}

bool IsWhiteSpaceText(const std::u16string& text) {
  for (char16_t c : text)
    if (!IsXmlWhiteSpaceWideChar(c)) return false;
  return true;
}

// Calls visit(node) for each child of parent, entity references replaced by
// their children (recursively), in document order, without recursion.
template <class Visit>
void ForEachContentChild(const TdomNode* parent, Visit visit) {
  std::vector<TdomNode*> pending;
  for (TdomNode* child = parent->GetLastChildNode(); child != nullptr; child = child->GetPreviousSiblingNode())
    pending.push_back(child);
  while (!pending.empty()) {
    TdomNode* node = pending.back();
    pending.pop_back();
    if (node->GetNodeType() != ntEntity_Reference_Node) {
      if (!visit(node)) return;
      continue;
    }
    for (TdomNode* child = node->GetLastChildNode(); child != nullptr; child = child->GetPreviousSiblingNode())
      pending.push_back(child);
  }
}

// Space-separated parts of a value whose parts are separated by single spaces; false otherwise.
bool SplitSingleSpaced(const std::u16string& value, std::vector<std::u16string>& parts) {
  parts.clear();
  size_t start = 0;
  for (;;) {
    size_t space = value.find(u' ', start);
    std::u16string part = value.substr(start, space == std::u16string::npos ? std::u16string::npos : space - start);
    if (part.empty()) return false;
    parts.push_back(std::move(part));
    if (space == std::u16string::npos) return true;
    start = space + 1;
  }
}

bool IsStandalone(const TdomNode* node) {
  TdomDocument* document = node->GetOwnerDocument();
  return document != nullptr && document->GetXmlStandalone() == STANDALONE_YES;
}

}  // namespace

std::u16string EscapeAttributeValue(const std::u16string& value) {
  std::u16string out;
  out.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'"': out += u"&quot;"; break;
      case u'\t': out += u"&#x9;"; break;
      case u'\n': out += u"&#xA;"; break;
      case u'\r': out += u"&#xD;"; break;
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      default: out += c;
    }
  }
  return out;
}

// --- Models -----------------------------------------------------------------------------

bool TdomASModelCollection::ValidateModels() {
  bool result = true;
  bool go = true;
  auto report = [&](TXmlErrorType type, TdomASObject* related) {
    result = false;
    go = ReportValidityError(type, related, nullptr);
  };
  for (TdomASModel* model : models) {
    TdomASNamedObjectMap* elements = model->ElementDecls();
    for (int e = 0; e < elements->GetLength() && go; ++e) {
      auto* element = static_cast<TdomASElementDecl*>(elements->item(e));
      if (element->ContentType() == AS_MIXED_CONTENTTYPE) {
        TdomASContentModel* content = element->ContentModel();
        if (content == nullptr) {
          report(ET_INVALID_CONTENT_MODEL, element);
        } else if (content->ContentModelType() == AS_CHOICE) {
          std::unordered_set<std::u16string> seen;
          TdomASObjectList* subs = content->SubModels();
          for (int i = 0; i < subs->GetLength() && go; ++i) {
            auto* sub = static_cast<TdomASContentModel*>(subs->item(i));
            if (sub->ContentModelType() != AS_ELEMENT_NAME) {
              report(ET_INVALID_MIXED_CONTENT_ENTRY, sub);
            } else if (!seen.insert(sub->Name()).second) {
              report(ET_DUPLICATE_NAME_IN_MIXED_CONTENT, sub);
            }
          }
        }
      }
      TdomASNamedObjectMap* attributes = element->AttributeDecls();
      int ids = 0, notations = 0;
      for (int a = 0; a < attributes->GetLength() && go; ++a) {
        auto* attr = static_cast<TdomASAttributeDecl*>(attributes->item(a));
        TdomASAttributeType type = attr->AttrType();
        TUtilsWideStringList* enumeration = attr->Enumeration();
        if (type == AS_ID_DATATYPE && ++ids == 2) report(ET_DUPLICATE_ID_ON_ELEMENT_TYPE, attr);
        if (type == AS_ID_DATATYPE && attr->HasDefaultValue()) report(ET_ID_NEITHER_IMPLIED_NOR_REQUIRED, attr);
        if (type == AS_NOTATION_DATATYPE) {
          if (++notations == 2) report(ET_DUPLICATE_NOTATION_ON_ELEMENT_TYPE, attr);
          if (element->ContentType() == AS_EMPTY_CONTENTTYPE) report(ET_NOTATION_ON_EMPTY_ELEMENT, attr);
        }
        std::unordered_set<std::u16string> tokens;
        for (int i = 0; i < enumeration->GetCount() && go; ++i) {
          std::u16string token = enumeration->Get(i);
          if (!IsXmlNmtoken(token)) report(ET_INVALID_ENUMERATION, attr);
          if (!tokens.insert(token).second) report(ET_DUPLICATE_ENUMERATION_TOKEN, attr);
        }
        if (!go || !attr->HasDefaultValue()) continue;
        std::u16string defaultValue;
        TXmlErrorType errorType;
        CalculateDefaultAttrValue(attr, errorType, defaultValue);
        if (errorType != ET_NONE) {
          report(errorType, attr);
          continue;
        }
        std::u16string trimmed = CollapseSpacesWideStr(defaultValue);
        trimmed.erase(std::remove(trimmed.begin(), trimmed.end(), u'\0'), trimmed.end());
        bool fits = true;
        switch (type) {
          case AS_IDREF_DATATYPE:
          case AS_ENTITY_DATATYPE: fits = IsXmlName(trimmed); break;
          case AS_IDREFS_DATATYPE:
          case AS_ENTITIES_DATATYPE: fits = IsXmlNames(trimmed); break;
          case AS_NMTOKEN_DATATYPE:
            fits = IsXmlNmtoken(trimmed) &&
                   (enumeration->GetCount() == 0 || enumeration->IndexOf(trimmed) >= 0);
            break;
          case AS_NMTOKENS_DATATYPE: fits = IsXmlNmtokens(trimmed); break;
          case AS_NOTATION_DATATYPE:
            fits = enumeration->GetCount() == 0 || enumeration->IndexOf(trimmed) >= 0;
            break;
          default: break;
        }
        if (!fits) report(ET_ATTRIBUTE_DEFAULT_TYPE_MISMATCH, attr);
      }
    }
    // Unparsed entities name declared notations.
    TdomASNamedObjectMap* entities = model->EntityDecls();
    for (int i = 0; i < entities->GetLength() && go; ++i) {
      auto* entity = static_cast<TdomASEntityDecl*>(entities->item(i));
      if (!entity->IsParsedEntity() && FindNotationDecl(entity->NotationName()) == nullptr)
        report(ET_UNDECLARED_NOTATION_OF_ENTITY, entity);
    }
    if (!go) break;
  }
  // NOTATION enumerations name declared notations (checked across both subsets).
  for (TdomASModel* model : models) {
    TdomASNamedObjectMap* elements = model->ElementDecls();
    for (int e = 0; e < elements->GetLength() && go; ++e) {
      TdomASNamedObjectMap* attributes = static_cast<TdomASElementDecl*>(elements->item(e))->AttributeDecls();
      for (int a = 0; a < attributes->GetLength() && go; ++a) {
        auto* attr = static_cast<TdomASAttributeDecl*>(attributes->item(a));
        if (attr->AttrType() != AS_NOTATION_DATATYPE) continue;
        for (int i = 0; i < attr->Enumeration()->GetCount() && go; ++i) {
          if (FindNotationDecl(attr->Enumeration()->Get(i)) == nullptr) {
            report(ET_UNDECLARED_NOTATION_IN_ENUMERATION, attr);
            break;
          }
        }
      }
    }
  }
  return result;
}

// --- Documents and nodes ---------------------------------------------------------------

void TdomASModelCollection::CheckKept(const TdomDocumentWatch& watch, const TdomNode* parent) {
  if (watch.Document() == nullptr) throw TValidationStopped{/*documentGone=*/true};
  if (watch.Node() == nullptr || (parent != nullptr && watch.Node()->GetParentNode() != parent))
    throw TValidationStopped{/*documentGone=*/false};
}

bool TdomASModelCollection::ReportValidityError(TXmlErrorType errorType, TdomASObject* relatedASObject,
                                                TdomNode* relatedNode) {
  TdomDocument* document = OwnerDocument();
  if (document == nullptr) return ReportError(errorType, relatedASObject, relatedNode);
  // The handler may free the node the error is about, or the document.
  TdomDocumentWatch watch(document, relatedNode != nullptr ? relatedNode : document);
  bool go = ReportError(errorType, relatedASObject, relatedNode);
  CheckKept(watch);
  return go;
}

bool TdomASModelCollection::ValidateDocument(TdomDocument* document, bool keepUnchanged) {
  TdomDocumentWatch watch(document);
  try {
    bool result = ValidateModels();
    document->ClearIDs();
    pendingIdRefs.clear();
    // The references wait with their attributes, which a listener or handler
    // may free meanwhile: see KeepLiveReferences.
    uint64_t freed = document->FreedNodeCount();
    TEntityExpansionBudgetHold hold(document);
    // Each child is looked up after the one before is done; validation stops
    // where a listener freed or moved what it walks.
    for (TdomNode* child = document->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      TdomDocumentWatch current(document, child);
      if (!WalkNode(child, keepUnchanged)) result = false;
      CheckKept(current, document);
    }
    // References to IDs never declared are reported only for an otherwise valid document.
    bool reportReferences = result;
    for (size_t i = 0; reportReferences; ++i) {
      if (document->FreedNodeCount() != freed) {
        KeepLiveReferences(document, i);
        freed = document->FreedNodeCount();
      }
      if (i >= pendingIdRefs.size()) break;
      if (document->getElementById(pendingIdRefs[i].first) != nullptr) continue;
      result = false;
      if (!ReportValidityError(ET_TARGET_ID_VALUE_NOT_FOUND, nullptr, pendingIdRefs[i].second)) break;
    }
    pendingIdRefs.clear();
    if (!result) document->ClearIDs();
    return result;
  } catch (const TValidationStopped& stop) {
    // Gone with the document: neither it nor these models may be touched.
    if (stop.documentGone || watch.Document() == nullptr) return false;
    pendingIdRefs.clear();
    document->ClearIDs();
    return false;
  }
}

void TdomASModelCollection::KeepLiveReferences(TdomDocument* document, size_t from) {
  // Rare (a listener freed nodes): the attributes still in the tree are
  // listed once, and the references of any other are dropped.
  std::unordered_set<const TdomNode*> live;
  for (TdomNode* node = document; node != nullptr; node = NextBelow(document, node)) {
    if (node->GetNodeType() != ntElement_Node) continue;
    TdomNamedNodeMap* attributes = static_cast<TdomElement*>(node)->GetAttributes();
    for (int i = 0; i < attributes->GetLength(); ++i) live.insert(attributes->Item(i));
  }
  auto gone = [&live](const std::pair<std::u16string, TdomAttr*>& reference) {
    return live.count(reference.second) == 0;
  };
  pendingIdRefs.erase(std::remove_if(pendingIdRefs.begin() + from, pendingIdRefs.end(), gone), pendingIdRefs.end());
}

bool TdomASModelCollection::ValidateNode(TdomNode* node, bool keepUnchanged) {
  try {
    return WalkNode(node, keepUnchanged);
  } catch (const TValidationStopped&) {
    return false;
  }
}

bool TdomASModelCollection::WalkNode(TdomNode* node, bool keepUnchanged) {
  bool result = true;
  // Pre-order walk; an element's checks may replace its entity-reference
  // children, so the next node is found only after the current one is done.
  // Its checks call out (reports, listeners): the walk goes on only while
  // the node it stands on is still there, below node.
  TdomDocument* document = node->GetReferenceDocument();
  TdomDocumentWatch top(document, node);
  TdomNode* current = node;
  while (current != nullptr) {
    TdomDocumentWatch at(document, current);
    bool go = ValidateOneNode(current, keepUnchanged, result);
    if (document != nullptr) {
      CheckKept(at);
      CheckKept(top);
      if (current != node && !current->HasAsAncestor(node)) throw TValidationStopped{/*documentGone=*/false};
    }
    if (!go) return false;
    if (TdomNode* child = current->GetFirstChildNode()) {
      current = child;
      continue;
    }
    while (current != node && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == node ? nullptr : current->GetNextSiblingNode();
  }
  return result;
}

bool TdomASModelCollection::ValidateOneNode(TdomNode* node, bool keepUnchanged, bool& result) {
  bool go = true;
  auto check = [&](TXmlErrorType type, TdomASObject* related, TdomNode* relatedNode) {
    if (IsHintOrWarningErrorType(type)) return;
    result = false;
    go = ReportValidityError(type, related, relatedNode);
  };
  // Nodes inside entity references are read-only: they are checked, never rewritten.
  bool keep = keepUnchanged || node->GetReadOnly();
  switch (node->GetNodeType()) {
    case ntElement_Node: {
      auto* element = static_cast<TdomElement*>(node);
      // Each step may call out; a step that freed the element stops validation.
      TdomDocumentWatch kept(element->GetReferenceDocument(), element);
      TXmlErrorType type = ValidateElement(element, keep);
      CheckKept(kept);
      check(type, FindElementDecl(element), element);
      if (go) CheckElementAttributes(element, result, go);
      TdomNamedNodeMap* attributes = element->GetAttributes();
      for (int i = 0; i < attributes->GetLength() && go; ++i) {
        auto* attr = static_cast<TdomAttr*>(attributes->Item(i));
        type = ValidateAttribute(attr, keep);
        CheckKept(kept);
        check(type, FindAttributeDecl(attr), attr);
        CheckKept(kept);
      }
      break;
    }
    case ntEntity_Reference_Node: {
      auto* reference = static_cast<TdomEntityReference*>(node);
      check(ValidateEntityReference(reference), FindEntityDecl(reference->GetNodeName()), reference);
      break;
    }
    default: break;
  }
  return go;
}

void TdomASModelCollection::CheckElementAttributes(TdomElement* element, bool& result, bool& go) {
  TdomASElementDecl* decl = FindElementDecl(element);
  if (decl == nullptr) return;
  bool standalone = IsStandalone(element);
  for (TdomASModel* model : models) {
    TdomASElementDecl* modelDecl = model->FindElementDecl(element->GetNodeName());
    if (modelDecl == nullptr) continue;
    TdomASNamedObjectMap* attributes = modelDecl->AttributeDecls();
    for (int i = 0; i < attributes->GetLength() && go; ++i) {
      auto* attrDecl = static_cast<TdomASAttributeDecl*>(attributes->item(i));
      TdomAttr* attr = FindAttributeByNodeName(element, attrDecl->Name());
      if (model == models[1] && models[0]->FindAttributeDecl(element->GetNodeName(), attrDecl->Name()) != nullptr)
        continue;  // declared in the internal subset too: that one binds
      TXmlErrorType type = ET_NONE;
      if (attrDecl->DefaultType() == AVC_REQUIRED && attr == nullptr) {
        type = ET_REQUIRED_ATTRIBUTE_MISSING;
      } else if (standalone && model == models[1] && attrDecl->HasDefaultValue() &&
                 (attr == nullptr || !attr->GetSpecified())) {
        type = ET_STANDALONE_VIOLATED;
      }
      if (type == ET_NONE) continue;
      result = false;
      go = ReportValidityError(type, attrDecl, element);
    }
  }
}

// --- Elements ------------------------------------------------------------------------

TXmlErrorType TdomASModelCollection::ExpandEntityReferences(TdomElement* element) {
  TXmlErrorType failure = ET_NONE;  // the first
  TdomDocument* document = element->GetReferenceDocument();
  for (TdomNode* child = element->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (child->GetNodeType() != ntEntity_Reference_Node) continue;
    // The expansion's reports may run listeners: go on from the reference
    // only while it is still the element's child.
    TdomDocumentWatch kept(document, child);
    try {
      TXmlErrorType type = static_cast<TdomEntityReference*>(child)->ExpandEntity();
      if (!IsHintOrWarningErrorType(type) && failure == ET_NONE) failure = type;
    } catch (const Exception&) {
      if (failure == ET_NONE) failure = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    }
    if (document != nullptr) CheckKept(kept, element);
  }
  return failure;
}

TXmlErrorType TdomASModelCollection::ReplaceEntityReferences(TdomElement* element) {
  TXmlErrorType failure = ET_NONE;  // the first
  TdomDocument* document = element->GetOwnerDocument();
  // A reference of the element's own is paid for with everything it expands
  // to; what its replacement brings in (up to paidUntil) is already paid.
  TdomNode* paidUntil = nullptr;
  bool inPaid = false;
  TdomNode* child = element->GetFirstChildNode();
  while (child != nullptr) {
    if (inPaid && child == paidUntil) inPaid = false;
    if (child->GetNodeType() != ntEntity_Reference_Node) {
      child = child->GetNextSiblingNode();
      continue;
    }
    TdomNode* reference = child;
    TdomNode* before = reference->GetPreviousSiblingNode();
    std::u16string text;
    TXmlErrorType errorType = ET_NONE;
    document->ResolveEntityReplacementText(reference->GetNodeName(), text, errorType);
    bool paid = inPaid || ChargeEntityExpansion(document, ExpandedLength(reference->GetNodeName()) + 1);
    if (!IsHintOrWarningErrorType(errorType) || !paid) {
      if (failure == ET_NONE) failure = !IsHintOrWarningErrorType(errorType) ? errorType : ET_ENTITY_EXPANSION_TOO_LARGE;
      child = reference->GetNextSiblingNode();
      continue;
    }
    if (!inPaid) {
      paidUntil = reference->GetNextSiblingNode();
      inPaid = true;
    }
    // Parsing the text into the fragment and the replacement report to
    // listeners, and freeing the reference to its deletion handlers: each
    // may free or move the element, the reference, the fragment or the node
    // before, or free the document. Validation goes on only from a place
    // that is still there.
    TdomDocumentWatch elementKept(document, element);
    TdomDocumentWatch referenceKept(document, reference);
    TdomDocumentWatch beforeKept(document, before != nullptr ? before : element);
    TdomDocumentFragment* fragment = document->createDocumentFragment();
    TdomDocumentWatch fragmentKept(document, fragment);
    bool replaced = false;
    try {
      if (!text.empty()) ParseReplacementTextInto(fragment, text);
      CheckKept(referenceKept, element);
      CheckKept(fragmentKept);
      element->replaceChild(fragment, reference);
      replaced = true;
    } catch (const Exception&) {
      if (failure == ET_NONE) failure = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    }
    CheckKept(elementKept);
    if (fragmentKept.Node() != nullptr) fragment->Free();
    if (!replaced) {
      CheckKept(referenceKept, element);
      child = reference->GetNextSiblingNode();
      continue;
    }
    if (referenceKept.Node() != nullptr && reference->GetParentNode() == nullptr) reference->Free();
    CheckKept(elementKept);
    // Go on from the first node put in its place: references in the
    // replacement text are replaced the same way.
    if (before != nullptr) CheckKept(beforeKept, element);
    child = before != nullptr ? before->GetNextSiblingNode() : element->GetFirstChildNode();
  }
  return failure;
}

TXmlErrorType TdomASModelCollection::ValidateElement(TdomElement* element, bool keepUnchanged) {
  TdomASElementDecl* decl = FindElementDecl(element);
  if (decl == nullptr) return ET_UNDEFINED_ELEMENT_TYPE;
  TdomASContentType contentType = decl->ContentType();
  if (contentType == AS_UNKNOWN_CONTENTTYPE) return ET_UNDEFINED_ELEMENT_TYPE;
  if (contentType == AS_STRICT_MIXED_CONTENTTYPE)
    throw EParserException("AS_STRICT_MIXED_CONTENTTYPE is currently not supported.");
  // An empty element holds not even a reference to an empty entity.
  bool holdsReference = false;
  for (TdomNode* child = element->GetFirstChildNode(); child != nullptr && !holdsReference;
       child = child->GetNextSiblingNode())
    holdsReference = child->GetNodeType() == ntEntity_Reference_Node;
  TXmlErrorType failure = keepUnchanged || element->GetReadOnly() ? ExpandEntityReferences(element)
                                                                 : ReplaceEntityReferences(element);
  if (contentType == AS_ANY_CONTENTTYPE) return failure;
  if (contentType == AS_EMPTY_CONTENTTYPE) {
    if (holdsReference) return ET_DECLARED_EMPTY_ELEMENT_NOT_EMPTY;
    bool empty = true;
    ForEachContentChild(element, [&](TdomNode* node) {
      empty = node->GetNodeType() == ntText_Node && node->GetNodeValue().empty();
      return empty;
    });
    if (!empty) return ET_DECLARED_EMPTY_ELEMENT_NOT_EMPTY;
    return failure;
  }
  if (failure != ET_NONE) return failure;
  bool mixed = contentType == AS_MIXED_CONTENTTYPE;
  bool standaloneSpace = IsStandalone(element) && IsExternalDecl(decl);
  bool fits = true;
  bool whiteSpaceInStandalone = false;
  std::vector<std::u16string> names;
  ForEachContentChild(element, [&](TdomNode* node) {
    switch (node->GetNodeType()) {
      case ntElement_Node: names.push_back(node->GetNodeName()); return true;
      case ntText_Node: {
        if (mixed) return true;
        std::u16string data = node->GetNodeValue();
        // White space in element content must be written as such: from a
        // character reference or a CDATA section it is character data.
        if (!IsWhiteSpaceText(data) || static_cast<TdomText*>(node)->HasNonLiteralText()) return fits = false;
        if (standaloneSpace && !data.empty()) whiteSpaceInStandalone = true;
        return true;
      }
      case ntCDATA_Section_Node: return fits = mixed;
      case ntProcessing_Instruction_Node:
      case ntComment_Node: return true;
      default: return fits = false;
    }
  });
  if (!fits) return ET_ELEMENT_CONTENT_MISMATCH;
  TdomASContentModel* content = decl->ContentModel();
  if (content == nullptr) return ET_INVALID_CONTENT_MODEL;
  if (mixed && content->SubModels()->GetLength() == 0) {
    return names.empty() ? ET_NONE : ET_ELEMENT_CONTENT_MISMATCH;
  }
  const TdomASContentAutomaton* automaton = decl->Automaton();
  bool ambiguous = false;
  int state = TdomASContentAutomaton::kStart;
  for (const std::u16string& name : names) {
    state = automaton->Step(state, name, ambiguous);
    if (ambiguous) return ET_INVALID_CONTENT_MODEL;
    if (state == TdomASContentAutomaton::kNoState) return ET_ELEMENT_CONTENT_MISMATCH;
  }
  if (!automaton->IsFinal(state)) return ET_ELEMENT_CONTENT_MISMATCH;
  return whiteSpaceInStandalone ? ET_WHITESPACE_IN_ELEMENT_CONTENT_OF_STANDALONE : ET_NONE;
}

// --- Attributes -----------------------------------------------------------------------

TXmlErrorType TdomASModelCollection::ValidateAttribute(TdomAttr* attr, bool keepUnchanged) {
  TdomASAttributeDecl* decl = FindAttributeDecl(attr);
  if (decl == nullptr) return ET_UNDEFINED_ATTRIBUTE;
  std::u16string value;
  TXmlErrorType errorType;
  CalculateNormalizedAttrValue(attr, value, errorType);
  if (!IsHintOrWarningErrorType(errorType)) return errorType;
  TdomASAttributeType type = decl->AttrType();
  bool changedByType = false;
  if (IsStandalone(attr) && IsExternalDecl(decl) && type != AS_STRING_DATATYPE) {
    std::u16string cdataValue;
    TXmlErrorType cdataError;
    NormalizeAttrValueLiteral(attr->GetNodeValue(), cdataValue, cdataError);
    changedByType = cdataValue != value;
  }
  TdomDocument* document = attr->GetOwnerDocument();
  if (!keepUnchanged && !attr->GetReadOnly()) {
    // Reported as a change: a listener may free the attribute or the document.
    TdomDocumentWatch kept(document, attr);
    attr->SetNormalizedValue(EscapeAttributeValue(value));
    if (document != nullptr) CheckKept(kept);
  }
  TUtilsWideStringList* enumeration = decl->Enumeration();
  std::vector<std::u16string> parts;
  switch (type) {
    case AS_STRING_DATATYPE:
      if (!IsXmlChars(value)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      break;
    case AS_NOTATION_DATATYPE:
      if (enumeration->GetCount() > 0 && enumeration->IndexOf(value) < 0) return ET_ATTRIBUTE_TYPE_MISMATCH;
      break;
    case AS_ID_DATATYPE:
      if (!IsXmlName(value)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      // A value met before is a validity error, not a reason to stop.
      if (document->getElementById(value) != nullptr) return ET_DUPLICATE_ID_VALUE;
      document->AddID(value, attr);
      break;
    case AS_IDREF_DATATYPE:
      if (!IsXmlName(value)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      if (document->getElementById(value) == nullptr) pendingIdRefs.emplace_back(value, attr);
      break;
    case AS_IDREFS_DATATYPE:
      if (!SplitSingleSpaced(value, parts)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      for (const std::u16string& part : parts)
        if (!IsXmlName(part)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      for (const std::u16string& part : parts)
        if (document->getElementById(part) == nullptr) pendingIdRefs.emplace_back(part, attr);
      break;
    case AS_ENTITY_DATATYPE: {
      if (!IsXmlName(value)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      TdomASEntityDecl* entity = FindEntityDecl(value);
      if (entity == nullptr || entity->IsParsedEntity()) return ET_UNDEFINED_UNPARSED_ENTITY;
      break;
    }
    case AS_ENTITIES_DATATYPE:
      if (!SplitSingleSpaced(value, parts)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      for (const std::u16string& part : parts) {
        if (!IsXmlName(part)) return ET_ATTRIBUTE_TYPE_MISMATCH;
        TdomASEntityDecl* entity = FindEntityDecl(part);
        if (entity == nullptr || entity->IsParsedEntity()) return ET_UNDEFINED_UNPARSED_ENTITY;
      }
      break;
    case AS_NMTOKEN_DATATYPE:
      if (!IsXmlNmtoken(value)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      if (enumeration->GetCount() > 0 && enumeration->IndexOf(value) < 0) return ET_ATTRIBUTE_TYPE_MISMATCH;
      break;
    case AS_NMTOKENS_DATATYPE:
      if (!SplitSingleSpaced(value, parts)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      for (const std::u16string& part : parts)
        if (!IsXmlNmtoken(part)) return ET_ATTRIBUTE_TYPE_MISMATCH;
      break;
  }
  if (decl->DefaultType() == AVC_FIXED) {
    std::u16string fixedValue;
    TXmlErrorType fixedError;
    CalculateDefaultAttrValue(decl, fixedError, fixedValue);
    if (type != AS_STRING_DATATYPE) fixedValue = NormalizeXmlWhiteSpaceWideStr(fixedValue);
    if (fixedError == ET_NONE && fixedValue != value) return ET_FIXED_ATTRIBUTE_MISMATCH;
  }
  if (changedByType && attr->GetSpecified()) return ET_STANDALONE_VIOLATED;
  if (IsStandalone(attr) && RefersToExternalDecl(attr->GetNodeValue())) return ET_STANDALONE_VIOLATED;
  return ET_NONE;
}

bool TdomASModelCollection::RefersToExternalDecl(const std::u16string& rawValue) const {
  for (size_t amp = rawValue.find(u'&'); amp != std::u16string::npos; amp = rawValue.find(u'&', amp + 1)) {
    size_t semicolon = rawValue.find(u';', amp + 1);
    if (semicolon == std::u16string::npos) return false;
    if (rawValue[amp + 1] == u'#') continue;
    if (IsExternalDecl(FindEntityDecl(rawValue.substr(amp + 1, semicolon - amp - 1)))) return true;
  }
  return false;
}

// --- Entity references -----------------------------------------------------------------

TXmlErrorType TdomASModelCollection::ValidateEntityReference(TdomEntityReference* reference) {
  const std::u16string name = reference->GetNodeName();
  if (IsXmlPredefinedEntityName(name) && FindEntityDecl(name) == nullptr) return ET_NONE;
  TdomASEntityDecl* decl = FindEntityDecl(name);
  if (decl == nullptr) return ET_UNDEFINED_ENTITY;
  if (!decl->IsParsedEntity()) return ET_REF_TO_UNPARSED_ENTITY;
  if (TXmlErrorType read = decl->ReadReplacementText(); read != ET_NONE) return read;
  if (refersToUnparsedEntity(decl)) return ET_REF_TO_UNPARSED_ENTITY;
  if (refersToItself(decl, /*skipUndeclared=*/true)) return ET_ENTITY_REFERS_TO_ITSELF;
  if (decl->Resolving()) return ET_RECURSIVE_ENTITY_REF;
  if (IsStandalone(reference) && IsExternalDecl(decl)) return ET_STANDALONE_VIOLATED;
  return ET_NONE;
}
