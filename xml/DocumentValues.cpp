// Entity replacement text, attribute-value normalisation, default attributes
// and validation. With DTD models on the document type declaration the model
// collection answers; without, only the predefined entities are known.
#include <memory>

#include "xml/AsModelCollection.h"
#include "xml/Attr.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/Element.h"
#include "xml/EntityExpansion.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/XmlRules.h"

namespace {

// The model collection of the document's declaration when it has been read, else null.
TdomASModelCollection* ModelsOf(const TdomDocument* document) {
  TdomDocumentTypeDecl* decl = document->GetDoctypeDecl();
  return decl != nullptr && decl->HasASModels() ? decl->GetASModels() : nullptr;
}

}  // namespace

const char16_t* PredefinedEntityReplacementText(const std::u16string& name) {
  if (name == u"lt") return u"&#60;";
  if (name == u"gt") return u">";
  if (name == u"amp") return u"&#38;";
  if (name == u"apos") return u"'";
  if (name == u"quot") return u"\"";
  return nullptr;
}

void TdomDocument::ResolveEntityReplacementText(const std::u16string& entityName, std::u16string& text,
                                                TXmlErrorType& errorType) {
  text.clear();
  if (TdomASModelCollection* models = ModelsOf(this)) {
    errorType = models->ResolveEntityReplacementText(entityName, text);
    return;
  }
  const char16_t* predefined = PredefinedEntityReplacementText(entityName);
  errorType = predefined != nullptr ? ET_NONE : ET_UNDEFINED_ENTITY;
  if (predefined != nullptr) text = predefined;
}

void TdomDocument::CalculateNormalizedAttrValue(const TdomAttr* attr, std::u16string& value,
                                                TXmlErrorType& errorType) {
  if (attr == nullptr || attr->GetOwnerDocument() != this) {
    throw EAssertionFailed("Attribute must belong to this document.");
  }
  if (TdomASModelCollection* models = ModelsOf(this)) {
    models->CalculateNormalizedAttrValue(attr, value, errorType);
    return;
  }
  enum class State { Text, Reference, CharRef, EntityName };
  State state = State::Text;
  std::u16string collected;
  std::u16string reference;
  errorType = ET_NONE;
  const std::u16string source = attr->GetNodeValue();
  for (size_t i = 0; i < source.size() && errorType == ET_NONE; ++i) {
    char16_t c = source[i];
    switch (state) {
      case State::Text:
        if (IsXmlWhiteSpaceWideChar(c)) {
          collected += u' ';
        } else if (c == u'<') {
          errorType = ET_LT_IN_ATTRIBUTE_VALUE;
        } else if (c == u'&') {
          state = State::Reference;
        } else {
          collected += c;
        }
        break;
      case State::Reference:
        if (c == u'#') {
          reference = u"&#";
          state = State::CharRef;
        } else {
          reference = std::u16string(1, c);
          state = State::EntityName;
        }
        break;
      case State::CharRef:
        reference += c;
        if (c != u';') break;
        // "&#60;" is the legal way to put a "<" into a value; only a
        // literal one is refused.
        try {
          collected += XmlCharRefToWideStr(reference);
        } catch (const EConvertError&) {
          errorType = ET_INVALID_CHAR_REF;
          break;
        }
        state = State::Text;
        break;
      case State::EntityName:
        if (c != u';') {
          reference += c;
          break;
        }
        if (char16_t replacement = XmlPredefinedEntityChar(reference)) {
          collected += replacement;
          state = State::Text;
        } else {
          errorType = ET_UNDEFINED_ENTITY;
        }
        break;
    }
  }
  if (errorType == ET_NONE && state != State::Text) errorType = ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE;
  value = IsHintOrWarningErrorType(errorType) ? collected : std::u16string();
}

bool TdomDocument::IsIgnorableWhitespace(const TdomText* textNode) const {
  TdomASModelCollection* models = ModelsOf(this);
  if (models == nullptr || textNode == nullptr) return false;
  for (char16_t c : textNode->GetNodeValue())
    if (!IsXmlWhiteSpaceWideChar(c)) return false;
  TdomNode* ancestor = textNode->GetParentNode();
  while (ancestor != nullptr && ancestor->GetNodeType() == ntEntity_Reference_Node) ancestor = ancestor->GetParentNode();
  if (ancestor == nullptr || ancestor->GetNodeType() != ntElement_Node) return false;
  TdomASElementDecl* decl = models->FindElementDecl(static_cast<TdomElement*>(ancestor));
  return decl != nullptr && decl->ContentType() == AS_ELEMENT_CONTENTTYPE;
}

bool TdomDocument::FillDefaultAttributes(TdomNode* node) {
  bool result = true;
  if (node == nullptr) return result;
  TdomASModelCollection* models = ModelsOf(this);
  // Entity text in defaults is paid from one budget for the whole walk.
  TEntityExpansionBudgetHold hold(this);
  // Pre-order walk of node and everything below it. Each removal and
  // addition reports to listeners, which may free or move nodes: the walk
  // goes on only from an element still below node; else it stops there, and
  // the result is false.
  TOwnedRef<TdomNode> top(node);
  TdomNode* current = node;
  while (current != nullptr) {
    if (current->GetNodeType() == ntElement_Node) {
      TdomElement* element = static_cast<TdomElement*>(current);
      TOwnedRef<TdomElement> at(element);
      uint64_t unlinks = TCustomOwnedNode::UnlinkCount();
      TdomNamedNodeMap* attributes = element->GetAttributes();
      for (int i = attributes->GetLength() - 1; at && i >= 0; --i) {
        if (i >= attributes->GetLength()) continue;
        TdomAttr* attr = static_cast<TdomAttr*>(attributes->Item(i));
        if (attr->GetSpecified()) continue;
        TOwnedRef<TdomAttr> held(attr);
        element->removeAttributeNode(attr);
        if (held && attr->GetOwnerElement() == nullptr) attr->Free();
      }
      if (at && models != nullptr && !models->AddDefaultAttributes(element)) result = false;
      bool moved = TCustomOwnedNode::UnlinkCount() != unlinks;
      if (!top || !at || (moved && current != node && !current->HasAsAncestor(node))) return false;
    }
    if (TdomNode* child = current->GetFirstChildNode()) {
      current = child;
      continue;
    }
    while (current != node && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == node ? nullptr : current->GetNextSiblingNode();
  }
  return result;
}

bool TdomDocument::prepareAttributes() {
  TdomElement* element = GetDocumentElement();
  if (element == nullptr) return true;
  return FillDefaultAttributes(element);
}

bool TdomDocument::validate(bool keepUnchanged, int64_t startByte, int64_t startChar, int64_t startColumn,
                            int64_t startLine, int64_t, int64_t, int64_t, int64_t) {
  ClearIDs();
  TdomDocumentTypeDecl* decl = GetDoctypeDecl();
  if (decl == nullptr) {
    HandleError(ET_DOCTYPE_NOT_FOUND, this);
    return false;
  }
  bool result = true;
  // Reading the declarations and reporting errors call out: a handler may
  // free the declaration or this whole document, and validation stops.
  TWatch declKept(this, decl);
  if (decl->GetPreparationStatus() != PS_SUCCESSFUL) {
    result = decl->PrepareASModels(/*internalSubsetOnly=*/false, startByte, startChar, startColumn, startLine);
    if (declKept.Node() == nullptr) return false;
  }
  TdomElement* element = GetDocumentElement();
  if (element == nullptr) {
    HandleError(ET_MISSING_ROOT_ELEMENT, this);
    return false;
  }
  if (decl->GetName() != element->GetNodeName()) {
    result = false;
    HandleError(ET_ROOT_ELEMENT_TYPE_MISMATCH, this);
    if (declKept.Node() == nullptr) return false;
  }
  // Validity errors met while the declarations were read count too.
  if (!decl->GetASModels()->DeclarationsValid()) result = false;
  return decl->GetASModels()->ValidateDocument(this, keepUnchanged) && result;
}
