// The text values of a node: text content, XPath string value, base URI and
// language. Every one walks the tree in a loop, so nesting depth costs no stack.
#include <vector>

#include "xml/Attr.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/DomUri.h"
#include "xml/Node.h"
#include "xml/XmlRulesStrings.h"

namespace {

bool IsContainer(TdomNodeType type) {
  return type == ntElement_Node || type == ntEntity_Reference_Node || type == ntEntity_Node ||
         type == ntDocument_Fragment_Node;
}

// The character an entity reference left without children stands for: a
// predefined entity's (the parser keeps "&amp;" as such a reference); 0 for
// any other node.
char16_t ChildlessReferenceChar(const TdomNode* node) {
  if (node->GetNodeType() != ntEntity_Reference_Node || node->GetFirstChildNode() != nullptr) return 0;
  return XmlPredefinedEntityChar(node->GetNodeName());
}

// An attribute's value as character data: references replaced and white
// space normalised as the document reads attribute values; the stored value
// itself when the document cannot read it (a value set through the DOM that
// is no valid attribute literal).
std::u16string AttrCharacterData(const TdomNode* attr) {
  std::u16string stored = attr->GetNodeValue();
  TdomDocument* document = attr->GetOwnerDocument();
  if (document == nullptr) return stored;
  // Without declarations only references and white space change anything.
  TdomDocumentTypeDecl* decl = document->GetDoctypeDecl();
  bool declared = decl != nullptr && decl->HasASModels();
  if (!declared && stored.find_first_of(u"&\t\n\r") == std::u16string::npos) return stored;
  std::u16string value;
  TXmlErrorType errorType = ET_NONE;
  document->CalculateNormalizedAttrValue(static_cast<const TdomAttr*>(attr), value, errorType);
  return IsHintOrWarningErrorType(errorType) ? value : stored;
}

}  // namespace

std::u16string CollectTextBelow(const TdomNode* root, size_t& visits) {
  std::u16string text;
  const TdomNode* current = root->GetFirstChildNode();
  while (current != nullptr) {
    ++visits;
    TdomNodeType type = current->GetNodeType();
    if (type == ntText_Node || type == ntCDATA_Section_Node) {
      text += current->GetNodeValue();
    } else if (char16_t c = ChildlessReferenceChar(current)) {
      text += c;
    }
    const TdomNode* child = IsContainer(type) ? current->GetFirstChildNode() : nullptr;
    if (child != nullptr) {
      current = child;
      continue;
    }
    while (current != root && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == root ? nullptr : current->GetNextSiblingNode();
  }
  return text;
}

std::u16string TdomNode::GetTextContent() const {
  TdomNodeType type = GetNodeType();
  size_t visits = 0;
  if (char16_t c = ChildlessReferenceChar(this)) return std::u16string(1, c);
  if (IsContainer(type)) return CollectTextBelow(this, visits);
  switch (type) {
    case ntAttribute_Node:
    case ntText_Node:
    case ntCDATA_Section_Node:
    case ntProcessing_Instruction_Node:
    case ntComment_Node:
      return GetNodeValue();
    default:
      return std::u16string();
  }
}

std::u16string TdomNode::GetXPathStringValue() const {
  switch (GetNodeType()) {
    case ntElement_Node:
    case ntEntity_Reference_Node:  // XPath sees an entity reference as the text it stands for
      return GetTextContent();
    case ntAttribute_Node:
      return AttrCharacterData(this);
    case ntText_Node:
    case ntCDATA_Section_Node:
    case ntProcessing_Instruction_Node:
    case ntComment_Node:
      return GetNodeValue();
    case ntDocument_Node: {
      TdomElement* root = static_cast<const TdomDocument*>(this)->GetDocumentElement();
      return root != nullptr ? root->GetTextContent() : std::u16string();
    }
    case ntXPath_Namespace_Node:
      return GetNamespaceURI();
    default:
      return std::u16string();
  }
}

bool TdomNode::FindXmlAttribute(const char16_t* localName, std::u16string& value) const {
  if (GetNodeType() != ntElement_Node) return false;
  TdomNamedNodeMap* map = GetAttributes();
  if (map == nullptr) return false;
  TdomNode* attr = nullptr;
  if (map->IsNamespaceMode()) {
    attr = map->getNamedItemNS(kXmlNamespaceUri, localName);
  } else {
    attr = map->getNamedItem(std::u16string(u"xml:") + localName);
  }
  if (attr == nullptr) return false;
  value = attr->GetNodeValue();
  return true;
}

std::u16string TdomNode::GetBaseUri() const {
  // Climb to the first node whose base does not depend on its ancestors,
  // collecting the relative xml:base values met on the way; then resolve
  // them from the top down.
  std::vector<std::u16string> relativeBases;
  std::u16string base;
  const TdomNode* current = this;
  while (current != nullptr) {
    TdomNodeType type = current->GetNodeType();
    if (type == ntElement_Node) {
      std::u16string value;
      if (current->FindXmlAttribute(u"base", value)) {
        if (DomUriHasScheme(value)) {
          base = value;
          break;
        }
        relativeBases.push_back(value);
      }
      current = current->GetParentNode();
      continue;
    }
    if (type == ntAttribute_Node) {
      const TdomAttr* attr = static_cast<const TdomAttr*>(current);
      TdomElement* owner = attr->GetOwnerElement();
      if (owner == nullptr) break;
      current = attr->IsXmlBaseAttribute() ? owner->GetParentNode() : owner;
      continue;
    }
    if (type == ntText_Node || type == ntCDATA_Section_Node || type == ntEntity_Reference_Node ||
        type == ntProcessing_Instruction_Node || type == ntComment_Node || type == ntDocument_Type_Node ||
        type == ntDocument_Type_Decl_Node) {
      current = current->GetParentNode();
      continue;
    }
    if (type == ntEntity_Node || type == ntNotation_Node) {
      if (TdomDocument* doc = current->GetOwnerDocument()) base = doc->GetBaseUri();
      break;
    }
    if (type == ntDocument_Node) base = current->GetBaseUri();
    break;
  }
  for (auto it = relativeBases.rbegin(); it != relativeBases.rend(); ++it) {
    std::u16string resolved;
    if (!DomResolveUri(base, *it, resolved)) resolved.clear();
    base = resolved;
  }
  return base;
}

std::u16string TdomNode::GetLanguage() const {
  const TdomNode* current = this;
  while (current != nullptr) {
    switch (current->GetNodeType()) {
      case ntElement_Node: {
        std::u16string value;
        if (current->FindXmlAttribute(u"lang", value)) return value;
        current = current->GetParentNode();
        break;
      }
      case ntAttribute_Node:
        current = static_cast<const TdomAttr*>(current)->GetOwnerElement();
        break;
      case ntText_Node:
      case ntCDATA_Section_Node:
      case ntEntity_Reference_Node:
      case ntProcessing_Instruction_Node:
      case ntComment_Node:
        current = current->GetParentNode();
        break;
      case ntXPath_Namespace_Node:
        current = static_cast<const TdomXPathNamespace*>(current)->GetOwnerElement();
        break;
      default:
        return std::u16string();
    }
  }
  return std::u16string();
}
