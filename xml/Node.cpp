#include "xml/Node.h"

#include <algorithm>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomImplementation.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/NodeList.h"

void TdomCustomNode::RaiseException(TOwnedTreeErrorKind kind) {
  switch (kind) {
    case TOwnedTreeErrorKind::HierarchyRequest:
      throw EHierarchy_Request_Err(DomMessage::kHierarchyRequestTree);
    case TOwnedTreeErrorKind::NoModificationAllowed:
      throw ENo_Modification_Allowed_Err(DomMessage::kNoModificationAllowed);
    case TOwnedTreeErrorKind::NotAssigned:
      throw ENot_Supported_Err(DomMessage::kNodeNotSpecified);
    case TOwnedTreeErrorKind::NotFound:
      throw ENot_Found_Err(DomMessage::kNodeNotFound);
    case TOwnedTreeErrorKind::WrongOwner:
      throw EWrong_Document_Err(DomMessage::kWrongDocument);
  }
  TCustomOwnedNode::RaiseException(kind);
}

TdomNode::~TdomNode() {
  TdomDocument* doc = OwningDocument();
  if (doc != nullptr && !doc->IsDestroying()) doc->NodeFreeing(this);
  // Told already when Free began, unless the owner freed it in a batch (or
  // a handler set more user data meanwhile). A document told its own
  // before its destructor ran: what is left here has no document to hold.
  TellDeletionHandlers(doc);
  if (Extras* extras = ExtrasOrNull()) {
    delete extras->childNodes;
    extras->childNodes = nullptr;
    SetExtension(nullptr);
  }
}

void TdomNode::Free() {
  TdomDocument::TWatch hold(OwningDocument());
  TObject::Free();
}

bool TdomNode::BeginRelease() {
  // A node of a document freed under a hold goes with it, when the holds
  // end: its deletion handlers are told then, with the rest of the document.
  TdomDocument* doc = OwningDocument();
  return doc == nullptr || !doc->IsReleasePending();
}

void TdomNode::Clear() {
  TdomDocument::TWatch hold(GetReferenceDocument());
  TdomCustomNode::Clear();
}

void TdomNode::BeforeSubtreeFreed() {
  // The traversals leave the whole subtree now, while it still hangs in the
  // tree; the nodes below are then freed out of it one by one. (The
  // destructor tells them again: a listener may have led one back.)
  if (TdomDocument* doc = OwningDocument(); doc != nullptr && !doc->IsDestroying()) doc->NodeFreeing(this);
  TellDeletionHandlers(OwningDocument());
}

void TdomNode::TellDeletionHandlers(TdomDocument* holdOn) {
  Extras* extras = ExtrasOrNull();
  if (extras == nullptr || extras->userData.empty()) return;
  // A copy: a handler may change this node's user data while it runs.
  std::vector<UserDataEntry> entries = extras->userData;
  TdomDocument::TWatch hold(holdOn);
  for (const UserDataEntry& entry : entries) {
    if (!entry.handler) continue;
    // A handler must not throw out of a destructor: whatever it raises stops here.
    try {
      hold.Call(entry.handler, NODE_DELETED, entry.key, entry.data, nullptr, nullptr);
    } catch (...) {
    }
  }
  // The keys told go (the node is going); one a handler set meanwhile stays for the destructor.
  extras = ExtrasOrNull();
  if (extras == nullptr) return;
  std::erase_if(extras->userData, [&](const UserDataEntry& kept) {
    return std::any_of(entries.begin(), entries.end(), [&](const UserDataEntry& told) {
      return told.key == kept.key && told.data == kept.data;
    });
  });
}

TdomNode::Extras& TdomNode::EnsureExtras() const {
  if (Extras* extras = ExtrasOrNull()) return *extras;
  auto made = std::make_unique<Extras>();
  Extras* extras = made.get();
  SetExtension(std::move(made));
  return *extras;
}

void TdomNode::DropExtrasIfEmpty() const {
  Extras* extras = ExtrasOrNull();
  if (extras == nullptr || extras->childNodes != nullptr || !extras->userData.empty()) return;
  SetExtension(nullptr);
}

void TdomNode::StoreNodeValue(std::u16string_view value) {
  TdomDocument* doc = OwningDocument();
  nodeValue.Assign(value, doc != nullptr ? &doc->TextArena() : nullptr);
}

void TdomNode::StoreSharedNodeValue(std::u16string_view value) {
  TdomDocument* doc = OwningDocument();
  nodeValue.AssignShared(value, doc != nullptr ? &doc->TextArena() : nullptr);
}

void TdomNode::AppendToNodeValue(std::u16string_view value) {
  TdomDocument* doc = OwningDocument();
  nodeValue.Append(value, doc != nullptr ? &doc->TextArena() : nullptr);
}

void TdomNode::Create(TCustomOwnedObject* owner) {
  TdomCustomNode::Create(owner);
  SetOwnerMark(owner != nullptr && owner->IsDocumentOwner());
}

void TdomNode::CheckNewOwner(const TCustomOwnedObject* newOwner) const {
  if (newOwner != OwningDocument()) throw EWrong_Document_Err();
}

TdomDocument* TdomNode::OwningDocument() const {
  return OwnerMark() ? static_cast<TdomDocument*>(GetOwner()) : nullptr;
}

TdomDocument* TdomNode::GetOwnerDocument() const { return OwningDocument(); }

TdomDocument* TdomNode::GetReferenceDocument() const { return OwningDocument(); }

TdomNodeList* TdomNode::GetChildNodes() const {
  Extras& more = EnsureExtras();
  if (more.childNodes == nullptr) more.childNodes = new TdomNodeList(this);
  return more.childNodes;
}

int TdomNode::GetTabWidth() const {
  TdomDocument* doc = GetReferenceDocument();
  if (doc == nullptr || doc->GetDomImplementation() == nullptr) return 1;
  return doc->GetDomImplementation()->GetTabWidth();
}

bool TdomNode::hasAttributes() const {
  TdomNamedNodeMap* map = GetAttributes();
  return map != nullptr && map->GetLength() > 0;
}

void TdomNode::RaiseNotWritable() { throw ENo_Modification_Allowed_Err(DomMessage::kNoModificationAllowedError); }

void TdomNode::SetNodeValue(const std::u16string& value) {
  CheckNodeWritable();
  StoreNodeValue(value);
}

void TdomNode::SetPrefix(const std::u16string&) { CheckNodeWritable(); }

std::u16string TdomNode::lookupNamespaceURI(const std::u16string& prefix) const {
  if (prefix == u"xml") return kXmlNamespaceUri;
  if (prefix == u"xmlns") return kXmlnsNamespaceUri;
  return std::u16string();
}

namespace {

// ASCII case-insensitive equality of a wide text with an ASCII literal.
bool SameAsciiText(const std::u16string& text, const char* ascii) {
  size_t i = 0;
  for (; ascii[i] != 0; ++i) {
    if (i >= text.size()) return false;
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    char16_t a = char16_t(ascii[i]);
    if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
    if (c != a) return false;
  }
  return i == text.size();
}

}  // namespace

bool TdomNode::isSupported(const std::u16string& feature, const std::u16string& version) const {
  if (!SameAsciiText(feature, "XML")) return false;
  return version.empty() || version == u"1.0" || version == u"2.0";
}

// --- Tree operations --------------------------------------------------------------

namespace {

// Kept out of line so that the check, made for every node inserted, does
// not pay for building the message.
[[noreturn, gnu::noinline, gnu::cold]] void RaiseTypeNotAllowed(const TdomNode* parent, const TdomNode* newChild) {
  std::string message = DomMessage::kTypeNotAllowed;
  message.replace(message.find("%s"), 2, newChild->ClassName());
  message.replace(message.find("%s"), 2, parent->ClassName());
  throw EHierarchy_Request_Err(message);
}

}  // namespace

void TdomNode::CheckTypeAllowed(const TdomNode* newChild) const {
  if (newChild != nullptr && !NodeTypeInSet(allowedChildTypes, newChild->GetNodeType())) RaiseTypeNotAllowed(this, newChild);
}

void TdomNode::CheckFragmentInsertion(const TdomNode* fragment, const TdomNode* refChild, const TdomNode* oldChild) {
  if (!fragment->HasChildren()) return;
  // The checks the tree base would make for each child, made once up front so
  // that a refusal leaves both the fragment and this node untouched.
  if (fragment == this || HasAsAncestor(fragment)) RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
  // A node being freed takes no children (see TCustomOwnedNode::BeforeDestruction).
  if (GetReadOnly() || IsGoing()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  if (fragment->GetReadOnly()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  for (TdomNode* child = fragment->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    CheckTypeAllowed(child);
  }
}

void TdomNode::CheckInsertionRules(const TdomNode*, const TdomNode*) {}

void TdomNode::CheckFragmentChild(const TdomNode* child, const TdomNode* refChild) {
  CheckTypeAllowed(child);
  if (child == this || (child->HasChildren() && HasAsAncestor(child))) {
    RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
  }
  CheckInsertionRules(child, refChild);
}

void TdomNode::MoveFragmentChildren(TdomNode* fragment, TdomNode* refChild, bool lookFirst) {
  TdomDocument* doc = GetReferenceDocument();
  TOwnedRef<TdomNode> self(this);
  TOwnedRef<TdomNode> source(fragment);
  TOwnedRef<TdomNode> ref(refChild);
  bool lookAgain = lookFirst;
  while (self && source) {
    TdomNode* child = fragment->GetFirstChildNode();
    if (child == nullptr) return;
    if (refChild != nullptr && (!ref || refChild->GetParentNode() != this)) {
      RaiseException(TOwnedTreeErrorKind::NotFound);
    }
    // A listener may make a node read-only without moving one.
    if (GetReadOnly() || fragment->GetReadOnly()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
    if (lookAgain) CheckFragmentChild(child, refChild);
    uint64_t stamp = doc != nullptr ? doc->StructureStamp() : 0;
    MoveChildIn(child, refChild);
    // The notice moved the stamp on once; more means a listener changed the
    // tree's shape (while this node lives, so does its document).
    lookAgain = self && doc != nullptr && doc->StructureStamp() != stamp + 1;
  }
}

void TdomNode::ReplaceByFragment(TdomNode* fragment, TdomNode* oldChild) {
  TdomDocument* doc = GetReferenceDocument();
  TOwnedRef<TdomNode> self(this);
  TOwnedRef<TdomNode> source(fragment);
  TOwnedRef<TdomNode> old(oldChild);
  uint64_t stamp = doc != nullptr ? doc->StructureStamp() : 0;
  DoBeforeDetach(oldChild);
  if (!self || !source) return;
  if (!old || oldChild->GetParentNode() != this) RaiseException(TOwnedTreeErrorKind::NotFound);
  if (GetReadOnly() || IsGoing()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  // oldChild's place as it is now, not as it was before the notice.
  TdomNode* refChild = oldChild->GetNextSiblingNode();
  UnlinkChild(oldChild);
  DoAfterDetach(oldChild);
  MoveFragmentChildren(fragment, refChild, doc != nullptr && doc->StructureStamp() != stamp + 1);
}

namespace {

bool IsFragment(const TdomNode* node) { return node != nullptr && node->GetNodeType() == ntDocument_Fragment_Node; }

}  // namespace

TdomNode* TdomNode::appendChild(TdomNode* newChild) {
  CheckTypeAllowed(newChild);
  if (!IsFragment(newChild)) {
    // The insertion notice may run a listener that frees the new child.
    TdomDocument::TWatch child(GetReferenceDocument(), newChild);
    TCustomOwnedNode::AppendChild(newChild);
    return child.Node();
  }
  if (newChild->GetOwner() != GetOwner() && newChild->GetOwner() != this) {
    RaiseException(TOwnedTreeErrorKind::WrongOwner);
  }
  CheckFragmentInsertion(newChild, nullptr, nullptr);
  // The insertion notices may run a listener that frees the fragment.
  TOwnedRef<TdomNode> fragment(newChild);
  MoveFragmentChildren(newChild, nullptr, /*lookFirst=*/false);
  return fragment.Get();
}

TdomNode* TdomNode::insertBefore(TdomNode* newChild, TdomNode* refChild) {
  CheckTypeAllowed(newChild);
  if (!IsFragment(newChild)) {
    TdomDocument::TWatch child(GetReferenceDocument(), newChild);
    TCustomOwnedNode::InsertBefore(newChild, refChild);
    return child.Node();
  }
  if (newChild->GetOwner() != GetOwner() && newChild->GetOwner() != this) {
    RaiseException(TOwnedTreeErrorKind::WrongOwner);
  }
  if (newChild == refChild) RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
  if (refChild != nullptr && refChild->GetParentNode() != this) RaiseException(TOwnedTreeErrorKind::NotFound);
  CheckFragmentInsertion(newChild, refChild, nullptr);
  TOwnedRef<TdomNode> fragment(newChild);
  MoveFragmentChildren(newChild, refChild, /*lookFirst=*/false);
  return fragment.Get();
}

TdomNode* TdomNode::removeChild(TdomNode* oldChild) {
  return static_cast<TdomNode*>(TCustomOwnedNode::RemoveChild(oldChild));
}

TdomNode* TdomNode::replaceChild(TdomNode* newChild, TdomNode* oldChild) {
  CheckTypeAllowed(newChild);
  if (!IsFragment(newChild)) return static_cast<TdomNode*>(TCustomOwnedNode::ReplaceChild(newChild, oldChild));
  if (newChild->GetOwner() != GetOwner() && newChild->GetOwner() != this) {
    RaiseException(TOwnedTreeErrorKind::WrongOwner);
  }
  if (oldChild == nullptr || oldChild->GetParentNode() != this) RaiseException(TOwnedTreeErrorKind::NotFound);
  if (!newChild->HasChildren()) return removeChild(oldChild);
  CheckFragmentInsertion(newChild, nullptr, oldChild);
  // The notices may run a listener that frees oldChild.
  TOwnedRef<TdomNode> old(oldChild);
  ReplaceByFragment(newChild, oldChild);
  return old.Get();
}

TdomNode* TdomNode::cloneNode(bool deep) {
  TdomDocument* doc = GetReferenceDocument();
  if (doc == nullptr) return nullptr;
  TOwnedRef<TdomNode> self(this);
  TdomNode* copy = doc->InternalImportNode(this, deep);
  // The copy's reports may have run a listener that freed this node; a
  // handler may free the copy (null then) or the whole document.
  if (copy == nullptr || !self) return copy;
  TdomDocument::TWatch made(doc, copy);
  NotifyUserDataHandlers(NODE_CLONED, this, copy);
  return made.Node();
}

void TdomNode::normalize() {
  // Pre-order walk of the subtree; each node merges its own text children
  // before the walk enters them, so no freed node is ever visited.
  TOwnedRef<TdomNode> self(this);
  TdomNode* current = this;
  while (current != nullptr) {
    if (TMergeResult merge = current->MergeTextChildren(); merge != TMergeResult::None) {
      // Listeners ran: the walk goes on from current only while current is
      // still below this node; else it starts again (merged text stays merged).
      if (!self) return;
      if (merge == TMergeResult::MergedAndFreed || (current != this && !current->HasAsAncestor(this))) {
        current = this;
        continue;
      }
    }
    if (TdomNode* child = current->GetFirstChildNode()) {
      current = child;
      continue;
    }
    while (current != this && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == this ? nullptr : current->GetNextSiblingNode();
  }
}

void TdomNode::MakeSubtreeReadOnly() {
  TdomNode* current = GetFirstChildNode();
  while (current != nullptr) {
    current->SetReadOnly(true);
    if (TdomNode* child = current->GetFirstChildNode()) {
      current = child;
      continue;
    }
    while (current != this && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == this ? nullptr : current->GetNextSiblingNode();
  }
}

// --- Hooks ------------------------------------------------------------------------------

void TdomNode::DoAfterAttach(TCustomOwnedNode* node) {
  TdomDocument* doc = GetReferenceDocument();
  if (doc == nullptr) return;
  doc->BumpStructureStamp();
  doc->DoNodeInserted(static_cast<TdomNode*>(node));
}

void TdomNode::DoAfterDetach(TCustomOwnedNode*) {
  if (TdomDocument* doc = GetReferenceDocument()) doc->BumpStructureStamp();
}

void TdomNode::DoBeforeClear() {
  if (TdomDocument* doc = GetReferenceDocument()) doc->DoNodeClearing(this);
}

void TdomNode::DoAfterClear() {
  if (TdomDocument* doc = GetReferenceDocument()) doc->BumpStructureStamp();
}

void TdomNode::DoBeforeDetach(TCustomOwnedNode* node) {
  if (TdomDocument* doc = GetReferenceDocument()) doc->DoNodeRemoving(static_cast<TdomNode*>(node));
}

// --- User data --------------------------------------------------------------------------------

TdomUserData TdomNode::setUserData(const std::u16string& key, TdomUserData data, TdomUserDataEvent handler) {
  Extras* extras = ExtrasOrNull();
  if (data == nullptr) {
    if (extras == nullptr) return nullptr;
    std::vector<UserDataEntry>& entries = extras->userData;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].key != key) continue;
      TdomUserData previous = entries[i].data;
      entries.erase(entries.begin() + i);
      DropExtrasIfEmpty();
      return previous;
    }
    return nullptr;
  }
  if (TdomDocument* doc = OwningDocument(); doc != nullptr && handler) doc->NoteUserDataHandler();
  for (UserDataEntry& entry : EnsureExtras().userData) {
    if (entry.key != key) continue;
    TdomUserData previous = entry.data;
    entry.data = data;
    entry.handler = handler;
    return previous;
  }
  ExtrasOrNull()->userData.push_back(UserDataEntry{key, data, handler});
  return nullptr;
}

TdomUserData TdomNode::getUserData(const std::u16string& key) const {
  Extras* extras = ExtrasOrNull();
  if (extras == nullptr) return nullptr;
  for (const UserDataEntry& entry : extras->userData) {
    if (entry.key == key) return entry.data;
  }
  return nullptr;
}

void TdomNode::NotifyUserDataHandlers(TdomUserDataOperation operation, TdomNode* src, TdomNode* dst) {
  Extras* extras = ExtrasOrNull();
  if (extras == nullptr || extras->userData.empty()) return;
  // A copy: a handler may change this node's user data while it runs.
  std::vector<UserDataEntry> entries = extras->userData;
  // A handler may free either node, or a whole document: the next one is
  // never handed a node that has gone.
  TdomDocument::TWatch from(src != nullptr ? src->GetReferenceDocument() : nullptr, src);
  TdomDocument::TWatch to(dst != nullptr ? dst->GetReferenceDocument() : nullptr, dst);
  for (const UserDataEntry& entry : entries) {
    if (from.Node() != src || to.Node() != dst) return;
    if (entry.handler) from.Call(entry.handler, operation, entry.key, entry.data, src, dst);
  }
}
