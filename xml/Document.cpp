#include "xml/Document.h"

#include <algorithm>

#include "xml/AsObjectsNS.h"
#include "xml/Attr.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomImplementation.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/NodeIterator.h"
#include "xml/NodeList.h"
#include "xml/TreeWalker.h"
#include "xml/DomUri.h"

TdomDocument::~TdomDocument() {
  destroying = true;
  // Free waits for the holds to end; a document deleted outright past
  // them still lets them know that it is gone.
  for (TWatch* watch = watches; watch != nullptr; watch = watch->next) {
    watch->held = nullptr;
    watch->document = nullptr;
    watch->node = nullptr;
    watch->second = nullptr;
    watch->deleted = true;
  }
  watches = nullptr;
  FreeTraversalsAndLists();
  // Every node is owned here; freeing them now, while this is still a whole
  // document, lets their destructors see a valid document that is going.
  // Without user-data handlers to notify in order they go as one batch,
  // without unlinking one by one (see FreeOwnedObjectsTogether); a child
  // owned elsewhere leaves first.
  if (userDataHandlers) {
    FreeOwnedObjects();
  } else {
    for (TdomNode* child = GetFirstChildNode(); child != nullptr;) {
      TdomNode* next = child->GetNextSiblingNode();
      if (child->GetOwner() != this) UnlinkChild(child);
      child = next;
    }
    FreeOwnedObjectsTogether();
    ForgetChildren();
  }
  ClearIDs();
  namespaceNodes.clear();
  delete asModelsNS;
  DetachDoctype();
}

bool TdomDocument::KeepUntilUnheld() {
  if (Unheld()) {
    TellOwnDeletionHandlers();
    return false;
  }
  releasePending = true;
  // Every hold shows it gone; the outermost still releases it.
  for (TWatch* watch = watches; watch != nullptr; watch = watch->next) {
    watch->document = nullptr;
    watch->node = nullptr;
    watch->second = nullptr;
  }
  // Code that compares the shape before and after a call-out sees a change.
  BumpStructureStamp();
  // Whatever looks at the document or its nodes through a reference learns
  // now that they go; the memory stays until the outermost hold ends.
  TOwnedObjectRef::Forget(this);
  TOwnedObjectRef::ForgetOwnedBelow(this);
  // The implementation that freed it may free its document type, or itself, next.
  DetachDoctype();
  domImplementation = nullptr;
  return true;
}

bool TdomDocument::BeginRelease() {
  if (!TdomNode::BeginRelease()) return false;
  // A second Free goes on as before: one from a listener told below frees
  // it, and the first then finds it gone. A document whose implementation
  // is being torn down goes quietly: the listeners may have gone first.
  if (tellingRelease || IsGoing() || destroying ||
      (domImplementation != nullptr && domImplementation->ComponentState().Contains(csDestroying)))
    return true;
  bool gone;
  {
    tellingRelease = true;
    TWatch hold(this);
    try {
      // Told while it is whole, before it is marked going.
      DoNodeClearing(this);
    } catch (...) {
      // What a listener raises does not stop the release.
    }
    gone = hold.DocumentGone();
    if (!gone) tellingRelease = false;
  }  // A document a listener freed may be released here: nothing of it is read after.
  return !gone;
}

void TdomDocument::TellOwnDeletionHandlers() {
  // The handlers may look at the document: it is still whole, and held.
  TWatch hold(this);
  TellDeletionHandlers(this);
}

TStream* TdomDocumentWatch::Call(TCustomResourceResolver* resolver, const std::u16string& baseURI,
                                 std::u16string& publicId, std::u16string& systemId) const {
  if (Silenced()) return nullptr;
  return resolver->ResolveResource(baseURI, publicId, systemId);
}

void TdomDocument::Unkeep() {
  if (--keeps == 0 && releasePending && watches == nullptr) ReleaseHeld();
}

void TdomDocument::ReleaseHeld() {
  // Its deletion handlers hear of the nodes now, when they really go.
  releasePending = false;
  TellOwnDeletionHandlers();
  delete this;
}

void TdomDocument::Create(TDomImplementation* implementation, TdomDocumentType* doctype_) {
  TdomNode::Create(nullptr);
  SetAllowedChildTypes(NodeTypeBit(ntElement_Node) | NodeTypeBit(ntProcessing_Instruction_Node) |
                       NodeTypeBit(ntComment_Node) | NodeTypeBit(ntDocument_Fragment_Node) |
                       NodeTypeBit(ntDocument_Type_Decl_Node));
  domImplementation = implementation;
  asModelsNS = New<TdomASModelCollectionNS>(this);
  if (doctype_ == nullptr) return;
  if (implementation == nullptr || doctype_->GetOwnerDocument() != nullptr ||
      !implementation->OwnsDocumentType(doctype_)) {
    throw EWrong_Document_Err();
  }
  AttachDoctype(doctype_);
}

void TdomDocument::AttachDoctype(TdomDocumentType* value) {
  value->AttachToDocument(this);
  doctype = value;
}

void TdomDocument::DetachDoctype() {
  TdomDocumentType* value = doctype;
  doctype = nullptr;
  if (value != nullptr) value->DetachFromDocument();
}

void TdomDocument::ForgetDoctype(TdomDocumentType* value) {
  if (doctype == value) doctype = nullptr;
}

std::u16string TdomDocument::GetBaseUri() const {
  return DomUriHasScheme(documentUri) ? documentUri : std::u16string();
}

std::u16string TdomDocument::lookupNamespaceURI(const std::u16string& prefix) const {
  if (TdomElement* root = GetDocumentElement()) return root->lookupNamespaceURI(prefix);
  return TdomNode::lookupNamespaceURI(prefix);
}

TdomElement* TdomDocument::GetDocumentElement() const {
  for (TdomNode* child = GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (child->GetNodeType() == ntElement_Node) return static_cast<TdomElement*>(child);
  }
  return nullptr;
}

TdomDocumentTypeDecl* TdomDocument::GetDoctypeDecl() const {
  for (TdomNode* child = GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (child->GetNodeType() == ntDocument_Type_Decl_Node) return static_cast<TdomDocumentTypeDecl*>(child);
  }
  return nullptr;
}

// --- Child rules ----------------------------------------------------------------------

namespace {

bool IsElement(const TdomNode* node) { return node->GetNodeType() == ntElement_Node; }
bool IsDecl(const TdomNode* node) { return node->GetNodeType() == ntDocument_Type_Decl_Node; }

}  // namespace

TdomNode* TdomDocument::appendChild(TdomNode* newChild) {
  if (newChild == nullptr) throw ENot_Supported_Err();
  CheckInsertionRules(newChild, nullptr);
  return TdomNode::appendChild(newChild);
}

TdomNode* TdomDocument::insertBefore(TdomNode* newChild, TdomNode* refChild) {
  if (newChild == nullptr) throw ENot_Supported_Err();
  CheckInsertionRules(newChild, refChild);
  return TdomNode::insertBefore(newChild, refChild);
}

TdomNode* TdomDocument::replaceChild(TdomNode* newChild, TdomNode* oldChild) {
  if (newChild == nullptr || oldChild == nullptr) throw ENot_Supported_Err();
  CheckReplacementRules(newChild, oldChild);
  return TdomNode::replaceChild(newChild, oldChild);
}

void TdomDocument::CheckInsertionRules(const TdomNode* newChild, const TdomNode* refChild) {
  int position = refChild != nullptr ? IndexOfChild(refChild) : GetChildCount();
  TdomElement* element = GetDocumentElement();
  TdomDocumentTypeDecl* decl = GetDoctypeDecl();
  if (IsElement(newChild)) {
    if (element != nullptr) throw EHierarchy_Request_Err();
    if (decl != nullptr && position >= 0 && position <= IndexOfChild(decl)) throw EHierarchy_Request_Err();
  }
  if (IsDecl(newChild)) {
    if (decl != nullptr) throw EHierarchy_Request_Err();
    if (element != nullptr && position >= 0 && position > IndexOfChild(element)) throw EHierarchy_Request_Err();
  }
}

void TdomDocument::CheckReplacementRules(const TCustomOwnedNode* newNode, const TCustomOwnedNode* oldNode) {
  const auto* newChild = static_cast<const TdomNode*>(newNode);
  int position = IndexOfChild(oldNode);
  TdomElement* element = GetDocumentElement();
  TdomDocumentTypeDecl* decl = GetDoctypeDecl();
  if (IsElement(newChild)) {
    if (element != nullptr && oldNode != element) throw EHierarchy_Request_Err();
    if (decl != nullptr && position >= 0 && position < IndexOfChild(decl)) throw EHierarchy_Request_Err();
  }
  if (IsDecl(newChild)) {
    if (decl != nullptr && oldNode != decl) throw EHierarchy_Request_Err();
    if (element != nullptr && position >= 0 && position > IndexOfChild(element)) throw EHierarchy_Request_Err();
  }
}

void TdomDocument::CheckFragmentInsertion(const TdomNode* fragment, const TdomNode* refChild,
                                          const TdomNode* oldChild) {
  TdomNode::CheckFragmentInsertion(fragment, refChild, oldChild);
  // The children as they would stand afterwards must still hold at most one
  // element and one declaration, the declaration first.
  std::vector<const TdomNode*> result;
  auto appendFragment = [&] {
    for (const TdomNode* c = fragment->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
      result.push_back(c);
    }
  };
  bool placed = false;
  for (const TdomNode* child = GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (child == refChild || child == oldChild) {
      appendFragment();
      placed = true;
    }
    if (child != oldChild) result.push_back(child);
  }
  if (!placed) appendFragment();
  int elements = 0;
  int decls = 0;
  for (const TdomNode* node : result) {
    if (IsElement(node)) ++elements;
    if (IsDecl(node)) {
      if (elements > 0) throw EHierarchy_Request_Err();
      ++decls;
    }
  }
  if (elements > 1 || decls > 1) throw EHierarchy_Request_Err();
}

// --- Queries ---------------------------------------------------------------------------

TdomElement* TdomDocument::getElementById(const std::u16string& id) const {
  auto it = idTable.find(id);
  if (it == idTable.end()) return nullptr;
  return it->second->GetOwnerElement();
}

void TdomDocument::AddID(const std::u16string& id, TdomAttr* attr) {
  if (!idTable.emplace(id, attr).second) throw EStringListError("String list does not allow duplicates");
  idValuesByCarrier.emplace(attr, id);
}

TdomElementsNodeList* TdomDocument::getElementsByTagName(const std::u16string& name) {
  for (TdomElementsNodeList* list : elementLists) {
    if (list->QueryName() == name) return list;
  }
  elementLists.push_back(new TdomElementsNodeList(name, this));
  return elementLists.back();
}

TdomElementsNodeListNS* TdomDocument::getElementsByTagNameNS(const std::u16string& namespaceURI,
                                                             const std::u16string& localName) {
  for (TdomElementsNodeListNS* list : elementListsNS) {
    if (list->NamespaceURI() == namespaceURI && list->LocalName() == localName) return list;
  }
  elementListsNS.push_back(new TdomElementsNodeListNS(namespaceURI, this, localName));
  return elementListsNS.back();
}

// --- Notifications and errors --------------------------------------------------------------

void TdomDocument::DoAttrModified(TdomNode* modifiedNode, TdomAttrChange attrChange, TdomAttr* relatedAttr) {
  if (destroying) return;
  modified = true;
  // No one listens (a parse, as a rule): nothing to hold.
  if (!OnAttrModified && (domImplementation == nullptr || !domImplementation->OnAttrModified)) return;
  // A listener may free the element or the attribute: the next is not told of either then.
  TWatch hold(this, modifiedNode, relatedAttr);
  hold.Call(OnAttrModified, this, modifiedNode, attrChange, relatedAttr);
  if (hold.NodesKept() && domImplementation != nullptr)
    domImplementation->DoAttrModified(hold, modifiedNode, attrChange, relatedAttr);
}

bool TdomDocument::CharacterDataHeard() const {
  return OnCharacterDataModified || (domImplementation != nullptr && domImplementation->OnCharacterDataModified);
}

void TdomDocument::DoCharacterDataModified(TdomNode* node) {
  if (destroying) return;
  modified = true;
  if (!CharacterDataHeard()) return;
  TWatch hold(this, node);
  hold.Call(OnCharacterDataModified, this, node);
  if (hold.Node() != nullptr && domImplementation != nullptr) domImplementation->DoCharacterDataModified(hold, node);
}

void TdomDocument::DoNodeClearing(TdomNode* node) {
  if (destroying) return;
  modified = true;
  // A listener may free the node: the others, and the iterators, are not told of it then.
  TWatch hold(this, node);
  hold.Call(OnNodeClearing, this, node);
  if (hold.Node() == nullptr) return;
  if (domImplementation != nullptr) domImplementation->DoNodeClearing(hold, node);
  if (hold.Node() == nullptr) return;
  for (TdomNodeIterator* iterator : nodeIterators) iterator->HandleNodeChange(node, /*removal=*/false);
}

void TdomDocument::DoNodeInserted(TdomNode* node) {
  if (destroying) return;
  modified = true;
  if (!OnNodeInserted && (domImplementation == nullptr || !domImplementation->OnNodeInserted)) return;
  // A listener may free the node or the parent it went into (having moved
  // the node out): the next is not told of an insertion gone then.
  TWatch hold(this, node, node->GetParentNode());
  hold.Call(OnNodeInserted, this, node);
  if (hold.NodesKept() && domImplementation != nullptr) domImplementation->DoNodeInserted(hold, node);
}

void TdomDocument::DoNodeRemoving(TdomNode* node) {
  if (destroying) return;
  modified = true;
  // A listener may free the node, or the parent it leaves: the others, and
  // the iterators, are not told of it then.
  TWatch hold(this, node, node->GetParentNode());
  hold.Call(OnNodeRemoving, this, node);
  if (!hold.NodesKept()) return;
  if (domImplementation != nullptr) domImplementation->DoNodeRemoving(hold, node);
  if (!hold.NodesKept()) return;
  for (TdomNodeIterator* iterator : nodeIterators) iterator->HandleNodeChange(node, /*removal=*/true);
}

bool TdomDocument::HandleError(TXmlErrorType errorType, TdomNode* relatedNode) {
  TdomError error(errorType, -1, -1, -1, -1, -1, -1, -1, -1, documentUri, nullptr, relatedNode, u"");
  TWatch hold(this);
  if (domImplementation != nullptr) return domImplementation->HandleError(hold, this, &error);
  return error.GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
}

// --- Traversal objects ---------------------------------------------------------------------

void TdomDocument::CheckTraversalRoot(const TdomNode* root) const {
  if (root == nullptr) throw ENot_Supported_Err();
  // Only this document tells its traversal objects about removals: a root of
  // another document could be freed behind their back.
  if (root->GetReferenceDocument() != this) throw EWrong_Document_Err();
}

TdomNodeIterator* TdomDocument::createNodeIterator(TdomNode* root, TdomWhatToShow whatToShow, TdomNodeFilter* filter,
                                                   bool entityReferenceExpansion) {
  CheckTraversalRoot(root);
  nodeIterators.reserve(nodeIterators.size() + 1);
  nodeIterators.push_back(new TdomNodeIterator(root, entityReferenceExpansion, filter, whatToShow));
  return nodeIterators.back();
}

TdomTreeWalker* TdomDocument::createTreeWalker(TdomNode* root, TdomWhatToShow whatToShow, TdomNodeFilter* filter,
                                               bool entityReferenceExpansion) {
  CheckTraversalRoot(root);
  treeWalkers.reserve(treeWalkers.size() + 1);
  treeWalkers.push_back(new TdomTreeWalker(root, entityReferenceExpansion, filter, whatToShow));
  return treeWalkers.back();
}

void TdomDocument::FreeTreeWalker(TdomTreeWalker*& walker) {
  if (walker == nullptr) return;
  auto it = std::find(treeWalkers.begin(), treeWalkers.end(), walker);
  if (it == treeWalkers.end()) throw EWrong_Document_Err();
  treeWalkers.erase(it);
  ++freedTraversalCount;
  delete walker;
  walker = nullptr;
}

void TdomDocument::ClearInvalidNodeIterators() {
  auto keep = std::remove_if(nodeIterators.begin(), nodeIterators.end(), [this](TdomNodeIterator* iterator) {
    if (iterator->IsValid()) return false;
    ++freedTraversalCount;
    delete iterator;
    return true;
  });
  nodeIterators.erase(keep, nodeIterators.end());
  nodeIterators.shrink_to_fit();
}

void TdomDocument::NodeFreeing(TdomNode* node) {
  // A node freed straight out of the tree leaves without the detach hooks.
  BumpStructureStamp();
  ++freedNodeCount;
  for (TWatch* watch = watches; watch != nullptr; watch = watch->next) {
    if (watch->node == node) watch->node = nullptr;
    if (watch->second == node) watch->second = nullptr;
  }
  if (!idValuesByCarrier.empty()) {
    auto [first, last] = idValuesByCarrier.equal_range(node);
    for (auto it = first; it != last; ++it) {
      auto entry = idTable.find(it->second);
      if (entry != idTable.end() && entry->second == node) idTable.erase(entry);
    }
    idValuesByCarrier.erase(first, last);
  }
  if (!namespaceNodes.empty()) FreeNamespaceNodesOf(node);
  for (TdomNodeIterator* iterator : nodeIterators) iterator->HandleNodeChange(node, /*removal=*/true);
  for (TdomTreeWalker* walker : treeWalkers) walker->HandleNodeFreeing(node);
}

TdomXPathNamespace* TdomDocument::NamespaceNodeFor(TdomElement* element, const std::u16string& prefix,
                                                   const std::u16string& namespaceURI) {
  auto [first, last] = namespaceNodes.equal_range(element);
  for (auto it = first; it != last; ++it) {
    TdomXPathNamespace* node = it->second;
    if (node->GetPrefix() == prefix && node->GetNamespaceURI() == namespaceURI) return node;
  }
  auto* node = New<TdomXPathNamespace>(this, prefix, namespaceURI, element);
  namespaceNodes.emplace(element, node);
  return node;
}

void TdomDocument::ForgetNamespaceNode(TdomXPathNamespace* node) {
  auto [first, last] = namespaceNodes.equal_range(node->GetOwnerElement());
  for (auto it = first; it != last; ++it) {
    if (it->second != node) continue;
    namespaceNodes.erase(it);
    return;
  }
}

void TdomDocument::FreeNamespaceNodesOf(TdomNode* element) {
  // An element's namespace nodes point at it: they go with it.
  auto [first, last] = namespaceNodes.equal_range(element);
  if (first == last) return;
  std::vector<TdomXPathNamespace*> going;
  for (auto it = first; it != last; ++it) going.push_back(it->second);
  namespaceNodes.erase(first, last);
  for (TdomXPathNamespace* namespaceNode : going) namespaceNode->Free();
}

void TdomDocument::FreeTraversalsAndLists() {
  for (TdomNodeIterator* iterator : nodeIterators) delete iterator;
  nodeIterators.clear();
  for (TdomTreeWalker* walker : treeWalkers) delete walker;
  treeWalkers.clear();
  for (TdomElementsNodeList* list : elementLists) delete list;
  elementLists.clear();
  for (TdomElementsNodeListNS* list : elementListsNS) delete list;
  elementListsNS.clear();
}

void TdomDocument::DoBeforeClear() {
  TOwnedRef<TdomDocument> self(this);
  TdomNode::DoBeforeClear();
  if (!self) return;
  FreeTraversalsAndLists();
  if (asModelsNS != nullptr) asModelsNS->Clear();
}
