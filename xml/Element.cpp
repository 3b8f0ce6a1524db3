#include "xml/Element.h"

#include <optional>

#include "xml/Attr.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/NodeList.h"
#include "xml/XmlRules.h"

TdomElement::~TdomElement() {
  // Freed with its document, its attributes go in the same batch: none of
  // them looks at the map again.
  if (!FreedWithOwner()) {
    SetReadOnly(false);
    try {
      FreeAttributes();
    } catch (...) {
    }
    // Attributes that could not leave through the map are let go directly.
    for (TdomNode* attr : AttributeItems()) static_cast<TdomAttr*>(attr)->SetOwnerMap(nullptr);
  }
  delete attributes;
  attributes = nullptr;
  if (elementLists != nullptr) {
    for (TdomElementsNodeList* list : elementLists->byName) delete list;
    for (TdomElementsNodeListNS* list : elementLists->byNameNS) delete list;
  }
}

size_t TdomElement::ReleaseWithOwner() {
  if (elementLists != nullptr) return 0;
  size_t size = PlainReleaseSize<TdomElement>();
  if (size == 0) return 0;
  delete attributes;
  attributes = nullptr;
  return size;
}

void TdomElement::Create(TdomDocument* document_, const std::u16string& tagName) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(kContentChildTypes);
  name = PlainXmlNameIn(GetOwnerDocument(), tagName);
  if (name == nullptr) throw EInvalid_Character_Err();
}

void TdomElement::Create(TdomDocument* document_, const std::u16string& namespaceURI_,
                         const std::u16string& qualifiedName) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(kContentChildTypes);
  std::u16string prefix;
  std::u16string localName;
  CheckQualifiedNameNS(namespaceURI_, qualifiedName, /*checkXmlns=*/false, prefix, localName);
  name = QualifiedNameIn(GetOwnerDocument(), namespaceURI_, prefix, localName);
  SetNamespaceAware(true);
}

TdomNamedNodeMap* TdomElement::GetAttributes() const {
  // The map reads the namespace mode from this element, so one kind serves both.
  if (attributes == nullptr) {
    attributes = new TdomNamedNodeMap(const_cast<TdomElement*>(this), IsNamespaceAware(),
                                      NodeTypeBit(ntAttribute_Node), nullptr);
  }
  return attributes;
}

void TdomElement::AppendNewChild(TdomNode* newChild) {
  TdomNodeType type = newChild != nullptr ? newChild->GetNodeType() : ntUnknown;
  if (newChild == nullptr || type == ntDocument_Fragment_Node) {
    appendChild(newChild);
    return;
  }
  // CheckTypeAllowed is asked only to raise a refusal with its message.
  if (!NodeTypeInSet(AllowedChildTypes(), type)) CheckTypeAllowed(newChild);
  if (!AppendLoneChild(newChild)) appendChild(newChild);
}

void TdomElement::ReserveAttributes(size_t count) {
  if (count > 0) GetAttributes()->Reserve(count);
}

bool TdomElement::hasAttributes() const { return !AttributeItems().empty(); }

uint32_t TdomElement::AttributeStamp() const { return attributes != nullptr ? attributes->Changes() : 0; }

const std::vector<TdomNode*>& TdomElement::AttributeItems() const {
  static const std::vector<TdomNode*> kNone;
  return attributes != nullptr ? attributes->ItemList() : kNone;
}

void TdomElement::SetPrefix(const std::u16string& prefix_) {
  if (!IsXmlName(prefix_)) throw EInvalid_Character_Err();
  CheckNodeWritable();
  if (!IsXmlNCName(prefix_)) throw ENamespace_Err();
  const std::u16string& namespaceURI = name->namespaceURI;
  if (namespaceURI.empty()) throw ENamespace_Err();
  if (prefix_ == u"xml" && namespaceURI != kXmlNamespaceUri) throw ENamespace_Err();
  name = QualifiedNameIn(GetOwnerDocument(), namespaceURI, prefix_, name->localName);
  if (TdomDocument* doc = GetReferenceDocument()) doc->BumpStructureStamp();
}

// A namespace-aware attribute keeps the declared prefix as its local name
// even after SetPrefix renamed it; one made without namespaces cannot be
// renamed, so its name still starts with "xmlns:".
std::u16string DeclaredPrefix(const TdomAttr* attr) {
  if (attr->IsNamespaceAware()) return attr->GetLocalName();
  std::u16string name = attr->GetNodeName();
  return name.size() > 6 ? name.substr(6) : std::u16string();
}

std::u16string TdomElement::lookupNamespaceURI(const std::u16string& prefix_) const {
  const TdomNode* current = this;
  while (current != nullptr && current->GetNodeType() == ntElement_Node) {
    for (TdomNode* item : static_cast<const TdomElement*>(current)->AttributeItems()) {
      const TdomAttr* attr = static_cast<const TdomAttr*>(item);
      TdomAttrDeclarationKind kind = attr->GetDeclarationKind();
      bool matches = prefix_.empty() ? kind == AT_DEFAULT_NAMESPACE_DECL
                                     : kind == AT_PREFIXED_NAMESPACE_DECL && DeclaredPrefix(attr) == prefix_;
      if (matches) return attr->GetNodeValue();
    }
    current = current->GetParentNode();
  }
  // The document asks its document element, so it is not asked back.
  if (current != nullptr && current->GetNodeType() != ntDocument_Node) return current->lookupNamespaceURI(prefix_);
  return TdomNode::lookupNamespaceURI(prefix_);
}

std::u16string TdomElement::getAttribute(const std::u16string& name) const {
  TdomAttr* attr = getAttributeNode(name);
  return attr != nullptr ? attr->GetNodeValue() : std::u16string();
}

std::u16string TdomElement::getAttributeNS(const std::u16string& namespaceURI_,
                                           const std::u16string& localName_) const {
  TdomAttr* attr = getAttributeNodeNS(namespaceURI_, localName_);
  return attr != nullptr ? attr->GetNodeValue() : std::u16string();
}

TdomAttr* TdomElement::getAttributeNode(const std::u16string& name) const {
  return static_cast<TdomAttr*>(GetAttributes()->getNamedItem(name));
}

TdomAttr* TdomElement::getAttributeNodeNS(const std::u16string& namespaceURI_,
                                          const std::u16string& localName_) const {
  return static_cast<TdomAttr*>(GetAttributes()->getNamedItemNS(namespaceURI_, localName_));
}

namespace {

std::u16string NormalizedValueOf(const TdomAttr* attr) {
  if (attr == nullptr) return std::u16string();
  try {
    return attr->GetValue();
  } catch (...) {
    throw EConvertError("Literal attribute value cannot be resolved.");
  }
}

}  // namespace

std::u16string TdomElement::getAttributeNormalizedValue(const std::u16string& name) const {
  return NormalizedValueOf(getAttributeNode(name));
}

std::u16string TdomElement::getAttributeNSNormalizedValue(const std::u16string& namespaceURI_,
                                                          const std::u16string& localName_) const {
  return NormalizedValueOf(getAttributeNodeNS(namespaceURI_, localName_));
}

bool TdomElement::hasAttribute(const std::u16string& name) const { return getAttributeNode(name) != nullptr; }

bool TdomElement::hasAttributeNS(const std::u16string& namespaceURI_, const std::u16string& localName_) const {
  return getAttributeNodeNS(namespaceURI_, localName_) != nullptr;
}

TdomAttr* TdomElement::setAttribute(const std::u16string& name, const std::u16string& value) {
  CheckNodeWritable();
  if (TdomAttr* existing = getAttributeNode(name)) {
    existing->SetNodeValue(value);
    return nullptr;
  }
  return ReportAddition(AttachNewAttribute(name, value));
}

void TdomElement::AddNewAttribute(const std::u16string& name, const std::u16string& value) {
  CheckNodeWritable();
  TdomAttr* attr = AttachNewAttribute(name, value);
  DoAttrModified(this, AC_ADDITION, attr);
}

TdomAttr* TdomElement::AttachNewAttribute(const std::u16string& name, const std::u16string& value) {
  TdomDocument* doc = GetOwnerDocument();
  if (doc == nullptr) throw ENot_Supported_Err();
  TdomAttr* attr = doc->createAttribute(name);
  attr->SetFirstValue(value);
  GetAttributes()->AddItem(attr);
  return attr;
}

TdomAttr* TdomElement::setAttributeNS(const std::u16string& namespaceURI_, const std::u16string& qualifiedName,
                                      const std::u16string& value) {
  CheckNodeWritable();
  std::u16string newPrefix;
  std::u16string newLocalName;
  CheckQualifiedNameNS(namespaceURI_, qualifiedName, /*checkXmlns=*/true, newPrefix, newLocalName);
  if (TdomAttr* existing = getAttributeNodeNS(namespaceURI_, newLocalName)) {
    // A name without prefix drops the existing prefix instead of failing on an empty one.
    if (newPrefix.empty()) {
      existing->ClearPrefix();
    } else {
      existing->SetPrefix(newPrefix);
    }
    existing->SetNodeValue(value);
    return nullptr;
  }
  TdomDocument* doc = GetOwnerDocument();
  if (doc == nullptr) throw ENot_Supported_Err();
  TdomAttr* attr = doc->createAttributeNS(namespaceURI_, qualifiedName);
  attr->SetFirstValue(value);
  GetAttributes()->AddItem(attr);
  return ReportAddition(attr);
}

TdomAttr* TdomElement::ReportAddition(TdomAttr* attr) {
  TOwnedRef<TdomAttr> added(attr);
  DoAttrModified(this, AC_ADDITION, attr);
  return added.Get();
}

TdomAttr* TdomElement::setAttributeNode(TdomAttr* attr) {
  bool hadNoOwner = attr != nullptr && attr->GetOwnerElement() == nullptr;
  return ReportDisplacement(static_cast<TdomAttr*>(GetAttributes()->setNamedItem(attr)), hadNoOwner, attr);
}

TdomAttr* TdomElement::setAttributeNodeNS(TdomAttr* attr) {
  bool hadNoOwner = attr != nullptr && attr->GetOwnerElement() == nullptr;
  return ReportDisplacement(static_cast<TdomAttr*>(GetAttributes()->setNamedItemNS(attr)), hadNoOwner, attr);
}

TdomAttr* TdomElement::ReportDisplacement(TdomAttr* displaced, bool added, TdomAttr* attr) {
  if (!added) return displaced;
  // The report may run a listener that frees the displaced attribute.
  TOwnedRef<TdomAttr> kept(displaced);
  DoAttrModified(this, AC_ADDITION, attr);
  return kept.Get();
}

TdomAttr* TdomElement::removeAttributeNode(TdomAttr* attr) {
  GetAttributes()->RemoveItemChecked(attr);
  TOwnedRef<TdomAttr> removed(attr);
  DoAttrModified(this, AC_REMOVAL, attr);
  return removed.Get();
}

void TdomElement::removeAttribute(const std::u16string& name) { removeAttributeNode(getAttributeNode(name)); }

void TdomElement::removeAttributeNS(const std::u16string& namespaceURI_, const std::u16string& localName_) {
  removeAttributeNode(getAttributeNodeNS(namespaceURI_, localName_));
}

void TdomElement::DoAttrModified(TdomNode* modifiedNode, TdomAttrChange attrChange, TdomAttr* relatedAttr) {
  if (TdomDocument* doc = GetOwnerDocument()) doc->DoAttrModified(modifiedNode, attrChange, relatedAttr);
}

TdomElementsNodeList* TdomElement::getElementsByTagName(const std::u16string& name) {
  if (elementLists == nullptr) elementLists = std::make_unique<ElementLists>();
  for (TdomElementsNodeList* list : elementLists->byName) {
    if (list->QueryName() == name) return list;
  }
  elementLists->byName.push_back(new TdomElementsNodeList(name, this));
  return elementLists->byName.back();
}

TdomElementsNodeListNS* TdomElement::getElementsByTagNameNS(const std::u16string& namespaceURI_,
                                                            const std::u16string& localName_) {
  if (elementLists == nullptr) elementLists = std::make_unique<ElementLists>();
  for (TdomElementsNodeListNS* list : elementLists->byNameNS) {
    if (list->NamespaceURI() == namespaceURI_ && list->LocalName() == localName_) return list;
  }
  elementLists->byNameNS.push_back(new TdomElementsNodeListNS(namespaceURI_, this, localName_));
  return elementLists->byNameNS.back();
}

void TdomElement::FreeAttributes() {
  // Last first, so that each removal from the list costs O(1). Each removal
  // is reported: a listener may free attributes, or this element.
  TOwnedRef<TdomElement> self(this);
  while (self && !AttributeItems().empty()) {
    TdomAttr* attr = static_cast<TdomAttr*>(AttributeItems().back());
    TOwnedRef<TdomAttr> held(attr);
    removeAttributeNode(attr);
    // One that a listener gave to an element again is no longer this one's to free.
    if (held && attr->GetOwnerElement() == nullptr) attr->Free();
  }
}

void TdomElement::DoBeforeClear() {
  TOwnedRef<TdomElement> self(this);
  TdomNode::DoBeforeClear();
  if (self) FreeAttributes();
}

namespace {

bool IsMergeableText(const TdomNode* node) { return node != nullptr && node->GetNodeType() == ntText_Node; }

}  // namespace

TdomNode::TMergeResult TdomElement::MergeTextChildren() {
  // Nodes inside an entity reference are read-only: leave them as they are.
  if (GetReadOnly()) return TMergeResult::None;
  // Watched from the first merge on: before it nothing runs outside code,
  // and most elements of a walk have nothing to merge.
  std::optional<TOwnedRef<TdomElement>> self;
  TdomNode* current = GetFirstChildNode();
  while (current != nullptr) {
    TdomNode* next = current->GetNextSiblingNode();
    if (!IsMergeableText(current) || current->GetReadOnly() || !IsMergeableText(next)) {
      current = next;
      continue;
    }
    if (!self) self.emplace(this);
    // One pass builds the run's text, so a run of n nodes costs O(its length), not O(n^2).
    auto* kept = static_cast<TdomText*>(current);
    TOwnedRef<TdomText> keptAlive(kept);
    size_t length = 0;
    for (TdomNode* node = current; IsMergeableText(node); node = node->GetNextSiblingNode()) {
      length += static_cast<TdomText*>(node)->GetLength();
    }
    std::u16string text;
    text.reserve(length);
    text += kept->GetData();
    bool nonLiteral = kept->HasNonLiteralText();
    // Each follower's text is taken and the follower freed in its place, as
    // any node freed in the tree; its deletion handlers may change the tree,
    // so the next follower is looked up anew each time.
    while (IsMergeableText(next)) {
      text += static_cast<TdomText*>(next)->GetData();
      nonLiteral = nonLiteral || static_cast<TdomText*>(next)->HasNonLiteralText();
      next->Free();
      if (!*self || !keptAlive || kept->GetParentNode() != this) break;
      next = kept->GetNextSiblingNode();
    }
    // The report may run a listener that frees or moves nodes.
    if (keptAlive) kept->SetMergedData(text, nonLiteral);
    if (!*self) return TMergeResult::MergedAndFreed;
    current = keptAlive && kept->GetParentNode() == this ? kept->GetNextSiblingNode() : GetFirstChildNode();
  }
  return self ? TMergeResult::Merged : TMergeResult::None;
}
