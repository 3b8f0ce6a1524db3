#pragma once
// The memory model of the XML library: objects freed by an owner, and nodes
// that also sit in an ordered parent/child tree. Ownership and tree links are
// separate: unlinking a node never frees it; freeing an owner frees what it owns.
//
// Objects are made with New<T>(owner) and released with Free(). Destroying an
// owner invalidates every pointer to the objects it owned. Deep trees are
// walked without recursion, so their depth is bounded only by memory.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "core/Persistent.h"

// The tree errors (all list errors), raised by TCustomOwnedNode::RaiseException.
QV_DECLARE_EXCEPTION(EHierarchyRequestError, EListError);
QV_DECLARE_EXCEPTION(ENoModificationAllowedError, EListError);
QV_DECLARE_EXCEPTION(ENotAssignedError, EListError);
QV_DECLARE_EXCEPTION(ENotFoundError, EListError);
QV_DECLARE_EXCEPTION(EWrongOwnerError, EListError);

// Names the tree error that a failed check reports.
enum class TOwnedTreeErrorKind {
  HierarchyRequest,     // EHierarchyRequestError "Hierarchy Request Error"
  NoModificationAllowed,  // ENoModificationAllowedError "No Modification Allowed Error"
  NotAssigned,          // ENotAssignedError "Parameter Node Not Assigned Error"
  NotFound,             // ENotFoundError "Node Not Found Error."
  WrongOwner,           // EWrongOwnerError "Wrong Owner Error"
};

// State that a subclass keeps only for the few objects that need it; it
// lives in the block the owned list lives in (see TCustomOwnedObject).
class TOwnedObjectExtension {
public:
  virtual ~TOwnedObjectExtension() = default;
};

class TCustomOwnedObject : public TPersistent {
public:
  TCustomOwnedObject() = default;
  // Frees the remaining owned objects (last first) and leaves the owner's list.
  ~TCustomOwnedObject() override;

  // Creation phase: registers in owner's owned list when owner is given.
  virtual void Create(TCustomOwnedObject* owner) {
    if (owner != nullptr) owner->RegisterOwned(this);
  }

  // Marks the object as going; Free of an object that is going already (a
  // listener told of it while it goes) raises EListError "Object is being
  // freed" instead of freeing it twice.
  void BeforeDestruction() override;
  // True once Free has begun: code that frees objects leaves one that is
  // going to the Free already under way.
  bool IsGoing() const { return going; }

  // Moves object into this object's owned list. Nothing for null, for this
  // object, or when this object already owns it. Raises EHierarchyRequestError
  // when object owns this object (directly or further up), which would make
  // an ownership cycle, and whatever object's CheckNewOwner raises; nothing
  // changes then.
  virtual void AdoptObject(TCustomOwnedObject* object);
  // Frees every owned object, from the last to the first.
  virtual void Clear();

  // The owner, or null.
  TCustomOwnedObject* GetOwner() const { return owner; }
  // Number of owned objects.
  int OwnedObjectCount() const {
    return ownedObjects != nullptr ? static_cast<int>(ownedObjects->items.size()) - ownedObjects->holes : 0;
  }
  // The owned object at index; EListError "List index out of bounds (%d)" outside 0..count-1.
  TCustomOwnedObject* GetOwnedObject(int index) const;
  // True for the one kind of owner that its owned nodes report to as their
  // document (the DOM's document); asked once per object made, so a virtual
  // call rather than a type test.
  virtual bool IsDocumentOwner() const { return false; }

protected:
  // Frees the owned objects (last first); safe while they free one another.
  void FreeOwnedObjects() {
    if (ownedObjects != nullptr) FreeOwnedList();
  }
  // Frees every owned object (last first) as one batch, for an owner that is
  // going with all of them: a node freed this way neither leaves its parent
  // nor frees its children (each is in the batch itself, or owned by a node
  // that frees it), and its subclass may skip leaving other objects of the
  // batch (FreedWithOwner). Nothing may look at the tree links of a node of
  // the batch while it runs; the caller drops its own links to them after.
  void FreeOwnedObjectsTogether();
  // True while this object's owner frees it in a batch (see above).
  bool FreedWithOwner() const { return releasedByOwner && owner != nullptr && owner->freeingTogether; }
  // Called instead of the destructor when the owner frees this object in a
  // batch: releases what the object holds and returns the size of its block
  // (which NodePoolAllocate made) for the caller to give back; or returns 0,
  // having released nothing, when the destructor must run. Only an object
  // whose destructor would do nothing else may answer a size.
  virtual size_t ReleaseWithOwner() { return 0; }
  // True when the object owns nothing and keeps no extension.
  bool OwnsNothing() const { return ownedObjects == nullptr; }
  // Raises when this object must not move to newOwner (an object that keeps
  // state tied to its owner); nothing here.
  virtual void CheckNewOwner(const TCustomOwnedObject* newOwner) const;
  // The subclass's rarely needed state, or null. SetExtension takes the new
  // state (null frees the old one).
  TOwnedObjectExtension* Extension() const {
    return ownedObjects != nullptr ? ownedObjects->extension.get() : nullptr;
  }
  void SetExtension(std::unique_ptr<TOwnedObjectExtension> extension) const;
  // One flag a subclass may keep about its owner (the DOM marks nodes whose
  // owner is their document); the tree never reads or changes it.
  bool OwnerMark() const { return ownerMark; }
  void SetOwnerMark(bool value) { ownerMark = value; }
  // One byte a subclass may use for small facts of its own (it sits in
  // padding, so it costs nothing); the tree never reads or changes it.
  uint8_t SubclassByte() const { return subclassByte; }
  void SetSubclassByte(uint8_t value) { subclassByte = value; }

private:
  // FreeOwnedObjects once there is a list.
  void FreeOwnedList();
  // Inline: every node a document makes registers here.
  void RegisterOwned(TCustomOwnedObject* object) {
    if (ownedObjects == nullptr) MakeOwnedList();
    object->ownerSlot = static_cast<int>(ownedObjects->items.size());
    ownedObjects->items.push_back(object);
    object->owner = this;
    object->releasedByOwner = false;
  }
  void MakeOwnedList() const;
  void UnregisterOwned(TCustomOwnedObject* object);
  // Squeezes out the holes that removals left, renumbering the slots.
  void CompactOwned() const;

  // Removal leaves a null hole, so that freeing objects in any order costs
  // O(1) each; holes are squeezed out when they are many or an index is asked.
  // Most objects own nothing and have no extension: the block is made with
  // the first owned object or extension and freed when it holds neither.
  // In blocks: a document's million nodes never need one huge block, nor a
  // copy when it grows. The number is kept, since a deque works its size out
  // anew each time and every object made asks it.
  class Slots {
  public:
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    TCustomOwnedObject*& operator[](size_t index) { return items[index]; }
    TCustomOwnedObject*& back() { return items.back(); }
    void push_back(TCustomOwnedObject* object) {
      items.push_back(object);
      ++count;
    }
    void pop_back() {
      items.pop_back();
      --count;
    }
    void resize(size_t newCount) {
      items.resize(newCount);
      count = newCount;
    }
    auto begin() { return items.begin(); }
    auto end() { return items.end(); }

  private:
    std::deque<TCustomOwnedObject*> items;
    size_t count = 0;
  };
  struct OwnedList {
    Slots items;
    int holes = 0;
    std::unique_ptr<TOwnedObjectExtension> extension;
  };
  void DropOwnedListIfUnused() const;

  mutable std::unique_ptr<OwnedList> ownedObjects;
  TCustomOwnedObject* owner = nullptr;
  mutable int ownerSlot = -1;  // position in the owner's list
  uint8_t subclassByte = 0;
  // The flags share one byte, so that these fields fit in 32 bytes on a
  // 64-bit host rather than spilling into 40: a subclass's fields start 8
  // bytes earlier, and every DOM node is 8 bytes smaller.
  bool releasedByOwner : 1 = false;  // the owner took it off its list before freeing it
  bool ownerMark : 1 = false;
  bool freeingTogether : 1 = false;  // FreeOwnedObjectsTogether is running
  bool going : 1 = false;            // Free has begun
};

// A pointer to an owned object that becomes null when the object is freed,
// for code that goes on with objects after calling code it does not control
// (a hook, a listener) that may free them. Only on the stack of the thread
// that frees the objects; neither copied nor moved.
class TOwnedObjectRef {
public:
  explicit TOwnedObjectRef(TCustomOwnedObject* object_);
  ~TOwnedObjectRef();
  TOwnedObjectRef(const TOwnedObjectRef&) = delete;
  TOwnedObjectRef& operator=(const TOwnedObjectRef&) = delete;

  // The object, or null once it has been freed (or when it was null).
  TCustomOwnedObject* GetObject() const { return object; }

  // Clears every reference to object, which is going. Inline: every object
  // freed asks it, and there are almost never references to look at.
  static void Forget(const TCustomOwnedObject* object) {
    if (first != nullptr) ForgetReferencesTo(object);
  }
  // Clears every reference to an object that owner owns: they go together.
  static void ForgetOwnedBy(const TCustomOwnedObject* owner) {
    if (first != nullptr) ForgetReferencesOwnedBy(owner);
  }
  // Clears every reference to an object that owner owns, directly or
  // further down: owner is going with all of them.
  static void ForgetOwnedBelow(const TCustomOwnedObject* owner);

private:
  static void ForgetReferencesTo(const TCustomOwnedObject* object);
  static void ForgetReferencesOwnedBy(const TCustomOwnedObject* owner);

  TCustomOwnedObject* object;
  TOwnedObjectRef* next;
  TOwnedObjectRef* previous = nullptr;
  // The thread's references, newest first.
  static thread_local constinit TOwnedObjectRef* first;
};

// TOwnedObjectRef typed as the object's class.
template <class T>
class TOwnedRef : public TOwnedObjectRef {
public:
  explicit TOwnedRef(T* object_) : TOwnedObjectRef(object_) {}
  T* Get() const { return static_cast<T*>(GetObject()); }
  T* operator->() const { return Get(); }
  explicit operator bool() const { return GetObject() != nullptr; }
};

class TCustomOwnedNode : public TCustomOwnedObject {
public:
  TCustomOwnedNode() = default;
  // Unlinks from the parent, frees the owned objects and the whole subtree
  // below (iteratively), then leaves the owner's list.
  ~TCustomOwnedNode() override;
  // BeforeSubtreeFreed, then frees the subtree (see FreesSubtreeInDestructor)
  // while this node is still whole: what runs as those nodes go (their
  // reports, the listeners these call) may look up to this node and must
  // find it as it was, not half torn down. From then on the node takes no
  // new children (NoModificationAllowed).
  void BeforeDestruction() override;

  // Checks writability, DoBeforeClear, frees the owned objects and every child
  // (last child first, each unlinked first, with its subtree), DoAfterClear.
  // When a hook or a freed node's destructor frees this node nothing more happens.
  void Clear() override;
  // Takes node out of its parent (by the parent's RemoveChild) and moves node
  // and its whole subtree into this node's owned list. Null raises NotAssigned;
  // a node of the subtree that refuses the new owner (CheckNewOwner) raises
  // before anything changes.
  virtual void AdoptNode(TCustomOwnedNode* node);
  // Links newChild as last child; returns newChild. Checks: assigned, same
  // owner, hierarchy, writable, old parent writable.
  virtual TCustomOwnedNode* AppendChild(TCustomOwnedNode* newChild);
  // Links newChild before refChild (appends when refChild is null); returns newChild.
  virtual TCustomOwnedNode* InsertBefore(TCustomOwnedNode* newChild, TCustomOwnedNode* refChild);
  // Unlinks oldChild (it stays alive, owned as before); returns oldChild,
  // or null when a hook freed it. When DoBeforeDetach took oldChild away (or
  // freed it, or this node) nothing more happens.
  virtual TCustomOwnedNode* RemoveChild(TCustomOwnedNode* oldChild);
  // Puts newChild in oldChild's place; returns oldChild (null when a hook
  // freed it). Nothing when they are the same. The removal hooks may change the tree: after each, the
  // checks are made again on the tree as it then is (a freed node counts as
  // null; newChild taken up again elsewhere raises HierarchyRequest), and
  // oldChild's place is where it stands when it is unlinked. When a hook
  // frees this node nothing more happens.
  virtual TCustomOwnedNode* ReplaceChild(TCustomOwnedNode* newChild, TCustomOwnedNode* oldChild);

  // Children are a linked list: the count is kept, so this costs O(1).
  virtual int GetChildCount() const;
  // Null without children.
  virtual TCustomOwnedNode* GetFirstChild() const;
  virtual TCustomOwnedNode* GetLastChild() const;
  virtual TCustomOwnedNode* GetNextSibling() const;
  virtual TCustomOwnedNode* GetParent() const;
  virtual TCustomOwnedNode* GetPreviousSibling() const;
  virtual bool GetReadOnly() const;
  virtual void SetReadOnly(bool value);
  // True when node is the parent or an ancestor further up; false for null.
  virtual bool HasAsAncestor(const TCustomOwnedNode* node) const;
  virtual bool HasChildren() const;
  // Position of node among the children, or -1. Walks the siblings before node.
  virtual int IndexOfChild(const TCustomOwnedNode* node) const;
  // The child at index; EListError "List index out of bounds (%d)" outside
  // 0..count-1. Walks from the nearer end of the children.
  TCustomOwnedNode* GetChild(int index) const;
  // The child at index, walking from from (a child whose index is fromIndex)
  // when that is nearer than either end; callers stepping through the
  // children keep their last answer as from.
  TCustomOwnedNode* GetChildNear(int index, const TCustomOwnedNode* from, int fromIndex) const;

  // Nodes unlinked from a parent on this thread so far: code that called out
  // (a hook, a listener) compares it to learn cheaply whether any node left
  // its place meanwhile (a freed node leaves its parent, a moved one too).
  static uint64_t UnlinkCount() { return unlinks; }

  // Raises the exception of kind with its fixed message. Subclasses override
  // it to report the tree errors as their own exceptions; it must not return.
  [[noreturn]] virtual void RaiseException(TOwnedTreeErrorKind kind);

protected:
  // Hooks around each change; they do nothing here. DoBeforeDetach,
  // DoAfterAttach and DoBeforeClear may run code that changes the tree (see
  // the operations); DoBeforeAttach and DoAfterDetach must leave it alone:
  // nothing looks again after them.
  virtual void DoAfterAttach(TCustomOwnedNode* node);
  virtual void DoAfterClear();
  virtual void DoAfterDetach(TCustomOwnedNode* node);
  virtual void DoBeforeAttach(TCustomOwnedNode* node);
  virtual void DoBeforeClear();
  virtual void DoBeforeDetach(TCustomOwnedNode* node);

  // AppendChild for a node in no tree and without children (one just made),
  // whose type the caller has checked: the same owner and read-only refusals
  // and the same hooks, without the checks such a node cannot fail. Returns
  // false, having done nothing, for any other node (null, this node, a node
  // with a parent or children): the caller then takes AppendChild's path.
  // Inline: a parser appends every node it makes this way.
  bool AppendLoneChild(TCustomOwnedNode* newChild) {
    if (newChild == nullptr || newChild == this || newChild->parent != nullptr || newChild->firstChild != nullptr) {
      return false;
    }
    CheckSameOwner(newChild);
    CheckWritable();
    CheckTakesChildren();
    DoBeforeAttach(newChild);
    // Link's append, with nothing to unlink first.
    if (firstChild == nullptr) {
      newChild->previousSibling = newChild;
      firstChild = newChild;
    } else {
      TCustomOwnedNode* last = firstChild->previousSibling;
      last->nextSibling = newChild;
      newChild->previousSibling = last;
      firstChild->previousSibling = newChild;
    }
    newChild->nextSibling = nullptr;
    newChild->parent = this;
    ++childCount;
    DoAfterAttach(newChild);
    return true;
  }

  // Links child (taking it from its parent without hooks) before refChild
  // (appends for null) with this node's attach hooks and the owner check, in
  // constant time. The caller has made the other checks.
  void MoveChildIn(TCustomOwnedNode* child, TCustomOwnedNode* refChild);
  // True for a node whose destructor frees its whole tree while it is still
  // whole (an owner of every node below it, which frees them as a batch):
  // BeforeDestruction then leaves the subtree to it. False here.
  virtual bool FreesSubtreeInDestructor() const { return false; }
  // What a node being freed does first, before its subtree goes (not when
  // its owner frees it in a batch, nor when it frees its subtree in its
  // destructor); nothing here.
  virtual void BeforeSubtreeFreed() {}
  // Rules a subclass adds for newChild taking oldChild's place, asked by
  // ReplaceChild again after a hook ran; nothing here.
  virtual void CheckReplacementRules(const TCustomOwnedNode* newChild, const TCustomOwnedNode* oldChild);

private:
  void CheckAssigned(const TCustomOwnedNode* node);
  void CheckSameOwner(const TCustomOwnedNode* newChild) {
    if (newChild->GetOwner() != GetOwner() && newChild->GetOwner() != this) RaiseException(TOwnedTreeErrorKind::WrongOwner);
  }
  void CheckHierarchy(const TCustomOwnedNode* newChild);
  void CheckWritable() {
    if (GetReadOnly()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  }
  void CheckOldParentWritable(const TCustomOwnedNode* newChild);
  // A node whose Free has begun has freed its subtree (BeforeDestruction):
  // a child put in now would go with the half torn down node.
  void CheckTakesChildren() {
    if (IsGoing()) RaiseException(TOwnedTreeErrorKind::NoModificationAllowed);
  }
  void CheckIsChild(const TCustomOwnedNode* node);
  // ReplaceChild's checks, in their order.
  void CheckReplace(const TCustomOwnedNode* newChild, const TCustomOwnedNode* oldChild);
  // ReplaceChild's checks after a hook ran, on the nodes still alive (null for freed ones).
  void CheckReplaceAgain(const TCustomOwnedNode* newChild, const TCustomOwnedNode* oldChild);
  // Links newChild before refChild (appends for null), unlinking it first.
  void Link(TCustomOwnedNode* newChild, TCustomOwnedNode* refChild);
  // Takes child out of the children list and clears its tree links.
  void Unlink(TCustomOwnedNode* child);
protected:
  // Takes child out of the children without checks or hooks.
  void UnlinkChild(TCustomOwnedNode* child) { Unlink(child); }
  // Forgets the children without freeing them (after the owner freed them in a batch).
  void ForgetChildren() {
    firstChild = nullptr;
    childCount = 0;
  }

private:
  // Frees every descendant, deepest first, without recursion.
  void FreeDescendants() {
    if (firstChild != nullptr) FreeChildren();
  }
  void FreeChildren();
  // Calls visit on node and every node below it, in pre-order, without recursion.
  template <class Visit>
  static void ForEachInSubtree(TCustomOwnedNode* node, Visit visit);

  // The children are a doubly linked list through the sibling links, whose
  // backward links close a ring: the first child's previousSibling is the
  // last child (GetPreviousSibling answers null for the first child).
  TCustomOwnedNode* LastChildLink() const { return firstChild != nullptr ? firstChild->previousSibling : nullptr; }

  // Nodes unlinked on this thread so far: code that called out compares it
  // to learn cheaply whether any node left its parent meanwhile.
  static thread_local constinit uint64_t unlinks;

  TCustomOwnedNode* firstChild = nullptr;
  TCustomOwnedNode* nextSibling = nullptr;
  TCustomOwnedNode* parent = nullptr;
  TCustomOwnedNode* previousSibling = nullptr;
  int childCount = 0;
  bool readOnly = false;
};
