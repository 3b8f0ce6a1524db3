#include "xml/EntityReference.h"

#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/EntityExpansion.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/XmlRules.h"

void TdomEntityReference::Create(TdomDocument* document_, const std::u16string& name_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(kContentChildTypes);
  name = PlainXmlNameIn(GetOwnerDocument(), name_);
  if (name == nullptr) throw EInvalid_Character_Err();
  SetReadOnly(true);
}

void TdomEntityReference::GetReplacementText(std::u16string& text, TXmlErrorType& errorType) const {
  text.clear();
  errorType = ET_UNDEFINED_ENTITY;
  if (TdomDocument* doc = GetOwnerDocument()) doc->ResolveEntityReplacementText(name->nodeName, text, errorType);
}

namespace {

// The character data text stands for when the parser would take it as such
// without a fault: XML characters and references to them, no markup, no
// entity reference, no "]]>". False for anything else, which is parsed so
// that its faults are reported as in the document itself.
bool ReadAsCharacterData(const std::u16string& text, std::u16string& data) {
  if (text.find(u'<') != std::u16string::npos || text.find(u"]]>") != std::u16string::npos) return false;
  for (size_t amp = text.find(u'&'); amp != std::u16string::npos; amp = text.find(u'&', amp + 1)) {
    if (amp + 1 >= text.size() || text[amp + 1] != u'#') return false;
  }
  try {
    data = ResolveCharRefsWideStr(text);  // refuses non-characters and malformed references
  } catch (const Exception&) {
    return false;
  }
  return true;
}

}  // namespace

TXmlErrorType TdomEntityReference::ExpandEntity() {
  SetReadOnly(false);
  TXmlErrorType errorType = ET_NONE;
  TdomDocument* doc = GetOwnerDocument();
  // Nesting and the total expanded are bounded for the whole document, so
  // entities that refer to others many times end with an error, not a blow-up.
  TEntityExpansionBudgetHold hold(doc);
  TEntityExpansionLevel level(doc);
  // Clearing and every node added report to listeners, which may free this
  // reference: it is looked at again after each.
  TOwnedRef<TdomEntityReference> self(this);
  try {
    Clear();
    if (!self) return errorType;
    // The outermost expansion pays for everything below it at once, before
    // any text is fetched.
    int64_t length = doc != nullptr && EntityExpansionDepth(doc) == 1 ? EntityExpandedLength(doc, GetNodeName()) : 0;
    bool paid = ChargeEntityExpansion(doc, EntityExpansionDepth(doc) == 1 ? length + 1 : 0);
    std::u16string text;
    if (!level.TooDeep() && paid) {
      GetReplacementText(text, errorType);
    } else {
      // Without end (a cycle) the replacement text's own error says why.
      if (length >= kEntityExpandedLengthLimit) GetReplacementText(text, errorType);
      if (IsHintOrWarningErrorType(errorType))
        errorType = level.TooDeep() ? ET_ENTITY_NESTING_TOO_DEEP : ET_ENTITY_EXPANSION_TOO_LARGE;
      text.clear();
    }
    if (IsHintOrWarningErrorType(errorType) && !text.empty() && doc != nullptr) {
      std::u16string data;
      if (ReadAsCharacterData(text, data)) {
        // Plain text needs no parser: one text node.
        TdomText* node = doc->createTextNode(data);
        TOwnedRef<TdomText> made(node);
        if (!self) return errorType;
        if (made) appendChild(node);
        if (made && text.find(u'&') != std::u16string::npos) node->MarkNonLiteralText();
      } else {
        ParseReplacementTextInto(this, text);
        if (self) errorType = ExpandNestedReferences();
      }
    }
  } catch (...) {
    if (self) {
      MakeSubtreeReadOnly();
      SetReadOnly(true);
    }
    throw;
  }
  if (!self) return errorType;
  MakeSubtreeReadOnly();
  SetReadOnly(true);
  return errorType;
}

TXmlErrorType TdomEntityReference::ExpandNestedReferences() {
  // The parser leaves the references of the replacement text empty; each is
  // expanded in turn (pre-order, without recursion over the tree itself).
  TXmlErrorType result = ET_NONE;
  TOwnedRef<TdomEntityReference> self(this);
  TdomNode* current = GetFirstChildNode();
  while (current != nullptr) {
    bool descend = true;
    if (current->GetNodeType() == ntEntity_Reference_Node) {
      TOwnedRef<TdomNode> at(current);
      TXmlErrorType nested = static_cast<TdomEntityReference*>(current)->ExpandEntity();
      if (IsHintOrWarningErrorType(result) && !IsHintOrWarningErrorType(nested)) result = nested;
      descend = false;  // its own expansion handled what is below it
      // Its reports may have run a listener: the walk goes on only from a
      // node still below this one; the references it cannot reach stay empty.
      if (!self || !at || !current->HasAsAncestor(this)) return result;
    }
    if (descend && current->GetFirstChildNode() != nullptr) {
      current = current->GetFirstChildNode();
      continue;
    }
    while (current != this && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == this ? nullptr : current->GetNextSiblingNode();
  }
  return result;
}
