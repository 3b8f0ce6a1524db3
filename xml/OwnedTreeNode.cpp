#include "xml/OwnedTree.h"

#include <algorithm>
#include <cstdlib>
#include <string>

TCustomOwnedNode::~TCustomOwnedNode() {
  // Gone for whoever goes on with it, before its subtree goes.
  TOwnedObjectRef::Forget(this);
  // In a batch the parent and the children owned with this node go too.
  bool together = FreedWithOwner();
  if (parent != nullptr && !together) parent->Unlink(this);
  // What this node owns sits only below it and among its own: it goes too.
  if (together) {
    FreeOwnedObjectsTogether();
  } else {
    FreeOwnedObjects();
  }
  if (!together) FreeDescendants();
}

void TCustomOwnedNode::BeforeDestruction() {
  TCustomOwnedObject::BeforeDestruction();
  // In an owner's batch the owner frees the subtree with everything else.
  if (FreedWithOwner() || FreesSubtreeInDestructor()) return;
  BeforeSubtreeFreed();
  FreeDescendants();
}

void TCustomOwnedNode::Clear() {
  CheckWritable();
  TOwnedRef<TCustomOwnedNode> self(this);
  DoBeforeClear();
  if (!self) return;
  FreeOwnedObjects();
  if (!self) return;
  FreeDescendants();
  if (!self) return;
  DoAfterClear();
}

void TCustomOwnedNode::AdoptNode(TCustomOwnedNode* node) {
  CheckAssigned(node);
  // Every node must accept the new owner before the first one moves.
  ForEachInSubtree(node, [this](TCustomOwnedNode* current) { current->CheckNewOwner(this); });
  if (node->parent != nullptr) {
    // The removal's hooks may free or change either: look again.
    TOwnedRef<TCustomOwnedNode> self(this);
    TOwnedRef<TCustomOwnedNode> moved(node);
    node->parent->RemoveChild(node);
    if (!self || !moved) return;
    ForEachInSubtree(node, [this](TCustomOwnedNode* current) { current->CheckNewOwner(this); });
  }
  ForEachInSubtree(node, [this](TCustomOwnedNode* current) { AdoptObject(current); });
}

template <class Visit>
void TCustomOwnedNode::ForEachInSubtree(TCustomOwnedNode* node, Visit visit) {
  // Pre-order over the subtree, children in order, without recursion.
  TCustomOwnedNode* current = node;
  while (current != nullptr) {
    visit(current);
    if (current->firstChild != nullptr) {
      current = current->firstChild;
      continue;
    }
    while (current != node && current->nextSibling == nullptr) current = current->parent;
    current = (current == node) ? nullptr : current->nextSibling;
  }
}

TCustomOwnedNode* TCustomOwnedNode::AppendChild(TCustomOwnedNode* newChild) {
  CheckAssigned(newChild);
  CheckSameOwner(newChild);
  CheckHierarchy(newChild);
  CheckWritable();
  CheckTakesChildren();
  CheckOldParentWritable(newChild);
  DoBeforeAttach(newChild);
  Link(newChild, nullptr);
  DoAfterAttach(newChild);
  return newChild;
}

TCustomOwnedNode* TCustomOwnedNode::InsertBefore(TCustomOwnedNode* newChild, TCustomOwnedNode* refChild) {
  CheckAssigned(newChild);
  CheckSameOwner(newChild);
  CheckHierarchy(newChild);
  CheckWritable();
  CheckTakesChildren();
  CheckOldParentWritable(newChild);
  if (newChild == refChild) RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
  if (refChild != nullptr) CheckIsChild(refChild);
  DoBeforeAttach(newChild);
  Link(newChild, refChild);
  DoAfterAttach(newChild);
  return newChild;
}

TCustomOwnedNode* TCustomOwnedNode::RemoveChild(TCustomOwnedNode* oldChild) {
  CheckAssigned(oldChild);
  CheckWritable();
  CheckIsChild(oldChild);
  TOwnedRef<TCustomOwnedNode> self(this);
  TOwnedRef<TCustomOwnedNode> old(oldChild);
  DoBeforeDetach(oldChild);
  // The hook may have taken oldChild away itself, or freed it or this node.
  if (!self || !old || oldChild->parent != this) return old.Get();
  CheckWritable();
  Unlink(oldChild);
  DoAfterDetach(oldChild);
  return oldChild;
}

TCustomOwnedNode* TCustomOwnedNode::ReplaceChild(TCustomOwnedNode* newChild, TCustomOwnedNode* oldChild) {
  CheckReplace(newChild, oldChild);
  if (newChild == oldChild) return oldChild;
  // Each removal hook may free or move nodes: after it, look again.
  TOwnedRef<TCustomOwnedNode> self(this);
  TOwnedRef<TCustomOwnedNode> fresh(newChild);
  TOwnedRef<TCustomOwnedNode> old(oldChild);
  if (TCustomOwnedNode* oldParent = newChild->parent) {
    TOwnedRef<TCustomOwnedNode> from(oldParent);
    oldParent->DoBeforeDetach(newChild);
    if (from && fresh && newChild->parent == oldParent) {
      oldParent->Unlink(newChild);
      oldParent->DoAfterDetach(newChild);
    }
    if (!self) return old.Get();
    CheckReplaceAgain(fresh.Get(), old.Get());
  }
  DoBeforeDetach(oldChild);
  if (!self) return old.Get();
  CheckReplaceAgain(fresh.Get(), old.Get());
  // oldChild's place as it is now, not as it was before the hook ran.
  TCustomOwnedNode* refChild = oldChild->nextSibling;
  Unlink(oldChild);
  DoAfterDetach(oldChild);
  DoBeforeAttach(newChild);
  Link(newChild, refChild);
  DoAfterAttach(newChild);
  return old.Get();
}

void TCustomOwnedNode::CheckReplace(const TCustomOwnedNode* newChild, const TCustomOwnedNode* oldChild) {
  CheckAssigned(newChild);
  CheckAssigned(oldChild);
  CheckSameOwner(newChild);
  CheckHierarchy(newChild);
  CheckWritable();
  CheckTakesChildren();
  CheckOldParentWritable(newChild);
  CheckIsChild(oldChild);
}

void TCustomOwnedNode::CheckReplaceAgain(const TCustomOwnedNode* newChild, const TCustomOwnedNode* oldChild) {
  CheckReplace(newChild, oldChild);
  // Put somewhere else by a hook: moving it on would skip that parent's removal hooks.
  if (newChild->parent != nullptr) RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
  CheckReplacementRules(newChild, oldChild);
}

void TCustomOwnedNode::CheckReplacementRules(const TCustomOwnedNode*, const TCustomOwnedNode*) {}

int TCustomOwnedNode::GetChildCount() const { return childCount; }

TCustomOwnedNode* TCustomOwnedNode::GetFirstChild() const { return firstChild; }

TCustomOwnedNode* TCustomOwnedNode::GetLastChild() const { return LastChildLink(); }

TCustomOwnedNode* TCustomOwnedNode::GetNextSibling() const { return nextSibling; }

TCustomOwnedNode* TCustomOwnedNode::GetParent() const { return parent; }

TCustomOwnedNode* TCustomOwnedNode::GetPreviousSibling() const {
  return parent != nullptr && parent->firstChild != this ? previousSibling : nullptr;
}

bool TCustomOwnedNode::GetReadOnly() const { return readOnly; }

void TCustomOwnedNode::SetReadOnly(bool value) { readOnly = value; }

bool TCustomOwnedNode::HasAsAncestor(const TCustomOwnedNode* node) const {
  if (node == nullptr) return false;
  for (const TCustomOwnedNode* up = parent; up != nullptr; up = up->parent) {
    if (up == node) return true;
  }
  return false;
}

bool TCustomOwnedNode::HasChildren() const { return firstChild != nullptr; }

int TCustomOwnedNode::IndexOfChild(const TCustomOwnedNode* node) const {
  if (node == nullptr || node->parent != this) return -1;
  int index = 0;
  for (const TCustomOwnedNode* before = node; before != firstChild; before = before->previousSibling) ++index;
  return index;
}

TCustomOwnedNode* TCustomOwnedNode::GetChild(int index) const { return GetChildNear(index, nullptr, 0); }

TCustomOwnedNode* TCustomOwnedNode::GetChildNear(int index, const TCustomOwnedNode* from, int fromIndex) const {
  if (index < 0 || index >= childCount) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  // Start from whichever of the first child, the last child and from is nearest.
  const TCustomOwnedNode* current = firstChild;
  int at = 0;
  if (childCount - 1 - index < index) {
    current = LastChildLink();
    at = childCount - 1;
  }
  if (from != nullptr && from->parent == this && fromIndex >= 0 && fromIndex < childCount &&
      std::abs(fromIndex - index) < std::abs(at - index)) {
    current = from;
    at = fromIndex;
  }
  for (; at < index; ++at) current = current->nextSibling;
  for (; at > index; --at) current = current->previousSibling;
  return const_cast<TCustomOwnedNode*>(current);
}

void TCustomOwnedNode::RaiseException(TOwnedTreeErrorKind kind) {
  switch (kind) {
    case TOwnedTreeErrorKind::HierarchyRequest:
      throw EHierarchyRequestError("Hierarchy Request Error");
    case TOwnedTreeErrorKind::NoModificationAllowed:
      throw ENoModificationAllowedError("No Modification Allowed Error");
    case TOwnedTreeErrorKind::NotAssigned:
      throw ENotAssignedError("Parameter Node Not Assigned Error");
    case TOwnedTreeErrorKind::NotFound:
      throw ENotFoundError("Node Not Found Error.");
    case TOwnedTreeErrorKind::WrongOwner:
      throw EWrongOwnerError("Wrong Owner Error");
  }
  throw EListError("Unknown tree error");
}

void TCustomOwnedNode::DoAfterAttach(TCustomOwnedNode*) {}
void TCustomOwnedNode::DoAfterClear() {}
void TCustomOwnedNode::DoAfterDetach(TCustomOwnedNode*) {}
void TCustomOwnedNode::DoBeforeAttach(TCustomOwnedNode*) {}
void TCustomOwnedNode::DoBeforeClear() {}
void TCustomOwnedNode::DoBeforeDetach(TCustomOwnedNode*) {}

void TCustomOwnedNode::CheckAssigned(const TCustomOwnedNode* node) {
  if (node == nullptr) RaiseException(TOwnedTreeErrorKind::NotAssigned);
}


void TCustomOwnedNode::CheckHierarchy(const TCustomOwnedNode* newChild) {
  // An ancestor has at least one child, so a childless node needs no walk up
  // the (possibly very deep) chain of parents.
  if (newChild == this || (newChild->HasChildren() && HasAsAncestor(newChild))) RaiseException(TOwnedTreeErrorKind::HierarchyRequest);
}


void TCustomOwnedNode::CheckOldParentWritable(const TCustomOwnedNode* newChild) {
  if (newChild->parent != nullptr && newChild->parent->GetReadOnly()) {
    RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  }
}

void TCustomOwnedNode::CheckIsChild(const TCustomOwnedNode* node) {
  if (node == nullptr || node->parent != this) RaiseException(TOwnedTreeErrorKind::NotFound);
}

void TCustomOwnedNode::Link(TCustomOwnedNode* newChild, TCustomOwnedNode* refChild) {
  if (newChild->parent != nullptr) newChild->parent->Unlink(newChild);
  if (firstChild == nullptr) {
    newChild->previousSibling = newChild;
    newChild->nextSibling = nullptr;
    firstChild = newChild;
  } else if (refChild == nullptr) {
    TCustomOwnedNode* last = firstChild->previousSibling;
    last->nextSibling = newChild;
    newChild->previousSibling = last;
    newChild->nextSibling = nullptr;
    firstChild->previousSibling = newChild;
  } else {
    // refChild's backward link is the last child when refChild is the first.
    TCustomOwnedNode* before = refChild->previousSibling;
    newChild->previousSibling = before;
    newChild->nextSibling = refChild;
    refChild->previousSibling = newChild;
    if (refChild == firstChild) {
      firstChild = newChild;
    } else {
      before->nextSibling = newChild;
    }
  }
  newChild->parent = this;
  ++childCount;
}

void TCustomOwnedNode::Unlink(TCustomOwnedNode* child) {
  if (child->parent != this) return;
  TCustomOwnedNode* last = firstChild->previousSibling;
  TCustomOwnedNode* next = child->nextSibling;
  if (child == firstChild) {
    firstChild = next;
    if (next != nullptr) next->previousSibling = last;
  } else {
    TCustomOwnedNode* before = child->previousSibling;
    before->nextSibling = next;
    if (next != nullptr) {
      next->previousSibling = before;
    } else {
      firstChild->previousSibling = before;  // child was the last
    }
  }
  --childCount;
  child->parent = nullptr;
  child->previousSibling = nullptr;
  child->nextSibling = nullptr;
  ++unlinks;
}

void TCustomOwnedNode::MoveChildIn(TCustomOwnedNode* child, TCustomOwnedNode* refChild) {
  CheckSameOwner(child);
  CheckTakesChildren();
  DoBeforeAttach(child);
  Link(child, refChild);
  DoAfterAttach(child);
}

thread_local constinit uint64_t TCustomOwnedNode::unlinks = 0;

void TCustomOwnedNode::FreeChildren() {
  // Walk down to a leaf, unlink and free it, climb back to its parent: each
  // freed node has no children left, so no destructor recurses. A destructor
  // may run code (handlers, reports) that frees or moves nodes: when any node
  // left its parent meanwhile, the walk goes on from the parent only while it
  // is still below this node, else it starts again here.
  TOwnedRef<TCustomOwnedNode> self(this);
  TCustomOwnedNode* current = this;
  while (true) {
    if (current->firstChild != nullptr) {
      current = current->LastChildLink();
      continue;
    }
    if (current == this) break;
    TCustomOwnedNode* up = current->parent;
    up->Unlink(current);
    // One whose Free is under way (its destructor's report ran the code
    // that frees this node) finishes there.
    if (current->IsGoing()) {
      current = up;
      continue;
    }
    TOwnedRef<TCustomOwnedNode> upAlive(up);
    uint64_t before = unlinks;
    current->Free();
    if (!self) return;
    current = up;
    if (unlinks != before && (!upAlive || (up != this && !up->HasAsAncestor(this)))) current = this;
  }
}