#include "xml/OwnedTree.h"

#include <string>

#include "xml/NodePool.h"

namespace {

[[noreturn]] void RaiseIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

thread_local constinit TOwnedObjectRef* TOwnedObjectRef::first = nullptr;

TOwnedObjectRef::TOwnedObjectRef(TCustomOwnedObject* object_) : object(object_), next(first) {
  if (next != nullptr) next->previous = this;
  first = this;
}

TOwnedObjectRef::~TOwnedObjectRef() {
  if (previous != nullptr) {
    previous->next = next;
  } else {
    first = next;
  }
  if (next != nullptr) next->previous = previous;
}

void TOwnedObjectRef::ForgetReferencesTo(const TCustomOwnedObject* gone) {
  for (TOwnedObjectRef* ref = first; ref != nullptr; ref = ref->next) {
    if (ref->object == gone) ref->object = nullptr;
  }
}

void TOwnedObjectRef::ForgetReferencesOwnedBy(const TCustomOwnedObject* owner) {
  for (TOwnedObjectRef* ref = first; ref != nullptr; ref = ref->next) {
    if (ref->object != nullptr && ref->object->GetOwner() == owner) ref->object = nullptr;
  }
}

void TOwnedObjectRef::ForgetOwnedBelow(const TCustomOwnedObject* owner) {
  for (TOwnedObjectRef* ref = first; ref != nullptr; ref = ref->next) {
    for (const TCustomOwnedObject* up = ref->object != nullptr ? ref->object->GetOwner() : nullptr; up != nullptr;
         up = up->GetOwner()) {
      if (up != owner) continue;
      ref->object = nullptr;
      break;
    }
  }
}

TCustomOwnedObject::~TCustomOwnedObject() {
  TOwnedObjectRef::Forget(this);
  FreeOwnedObjects();
  if (owner != nullptr && !releasedByOwner) owner->UnregisterOwned(this);
}


void TCustomOwnedObject::BeforeDestruction() {
  if (going) throw EListError("Object is being freed");
  going = true;
  TPersistent::BeforeDestruction();
}

void TCustomOwnedObject::AdoptObject(TCustomOwnedObject* object) {
  if (object == nullptr || object == this || object->owner == this) return;
  for (const TCustomOwnedObject* up = owner; up != nullptr; up = up->owner) {
    if (up == object) throw EHierarchyRequestError("Hierarchy Request Error");
  }
  object->CheckNewOwner(this);
  if (object->owner != nullptr) object->owner->UnregisterOwned(object);
  RegisterOwned(object);
}

void TCustomOwnedObject::Clear() { FreeOwnedObjects(); }

void TCustomOwnedObject::CheckNewOwner(const TCustomOwnedObject*) const {}

TCustomOwnedObject* TCustomOwnedObject::GetOwnedObject(int index) const {
  if (index < 0 || index >= OwnedObjectCount()) RaiseIndexError(index);
  if (ownedObjects->holes > 0) CompactOwned();
  return ownedObjects->items[index];
}

void TCustomOwnedObject::FreeOwnedList() {
  // Each object leaves the list before it is freed, so objects that free
  // other objects of this owner while they go find the list consistent.
  while (ownedObjects != nullptr && !ownedObjects->items.empty()) {
    TCustomOwnedObject* object = ownedObjects->items.back();
    ownedObjects->items.pop_back();
    if (object == nullptr) {
      --ownedObjects->holes;
      continue;
    }
    object->releasedByOwner = true;
    // Its Free is under way further up (its destructor's report ran this).
    if (object->going) continue;
    if (freeingTogether) {
      if (size_t size = object->ReleaseWithOwner()) {
        NodePoolFree(object, size);
        continue;
      }
    }
    object->Free();
  }
  DropOwnedListIfUnused();
}

void TCustomOwnedObject::FreeOwnedObjectsTogether() {
  // Most of them go without their destructors, which would forget them.
  TOwnedObjectRef::ForgetOwnedBy(this);
  freeingTogether = true;
  try {
    FreeOwnedObjects();
  } catch (...) {
    freeingTogether = false;
    throw;
  }
  freeingTogether = false;
}

void TCustomOwnedObject::MakeOwnedList() const { ownedObjects = std::make_unique<OwnedList>(); }

void TCustomOwnedObject::UnregisterOwned(TCustomOwnedObject* object) {
  size_t slot = static_cast<size_t>(object->ownerSlot);
  object->owner = nullptr;
  object->ownerSlot = -1;
  if (ownedObjects == nullptr) return;
  Slots& list = ownedObjects->items;
  int& holes = ownedObjects->holes;
  if (slot >= list.size() || list[slot] != object) return;
  list[slot] = nullptr;
  ++holes;
  while (!list.empty() && list.back() == nullptr) {
    list.pop_back();
    --holes;
  }
  if (list.empty()) {
    DropOwnedListIfUnused();
  } else if (holes > 64 && size_t(holes) * 2 > list.size()) {
    CompactOwned();
  }
}

void TCustomOwnedObject::CompactOwned() const {
  if (ownedObjects == nullptr) return;
  Slots& list = ownedObjects->items;
  size_t kept = 0;
  for (TCustomOwnedObject* object : list) {
    if (object == nullptr) continue;
    object->ownerSlot = static_cast<int>(kept);
    list[kept++] = object;
  }
  list.resize(kept);
  ownedObjects->holes = 0;
}

void TCustomOwnedObject::SetExtension(std::unique_ptr<TOwnedObjectExtension> extension) const {
  if (ownedObjects == nullptr) {
    if (extension == nullptr) return;
    MakeOwnedList();
  }
  // The old state goes after the new one is in place: its destructor may look.
  std::unique_ptr<TOwnedObjectExtension> old = std::move(ownedObjects->extension);
  ownedObjects->extension = std::move(extension);
  old.reset();
  DropOwnedListIfUnused();
}

void TCustomOwnedObject::DropOwnedListIfUnused() const {
  if (ownedObjects != nullptr && ownedObjects->items.empty() && ownedObjects->extension == nullptr) {
    ownedObjects.reset();
  }
}
