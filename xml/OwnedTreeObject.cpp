#include "xml/OwnedTree.h"

#include <string>

namespace {

[[noreturn]] void RaiseIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

TCustomOwnedObject::~TCustomOwnedObject() {
  FreeOwnedObjects();
  if (owner != nullptr && !releasedByOwner) owner->UnregisterOwned(this);
}

void TCustomOwnedObject::Create(TCustomOwnedObject* owner_) {
  if (owner_ != nullptr) owner_->RegisterOwned(this);
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
  if (ownedHoles > 0) CompactOwned();
  return ownedObjects[index];
}

void TCustomOwnedObject::FreeOwnedObjects() {
  // Each object leaves the list before it is freed, so objects that free
  // other objects of this owner while they go find the list consistent.
  while (!ownedObjects.empty()) {
    TCustomOwnedObject* object = ownedObjects.back();
    ownedObjects.pop_back();
    if (object == nullptr) {
      --ownedHoles;
      continue;
    }
    object->releasedByOwner = true;
    object->Free();
  }
  std::vector<TCustomOwnedObject*>().swap(ownedObjects);
  ownedHoles = 0;
}

void TCustomOwnedObject::RegisterOwned(TCustomOwnedObject* object) {
  object->ownerSlot = static_cast<int>(ownedObjects.size());
  ownedObjects.push_back(object);
  object->owner = this;
  object->releasedByOwner = false;
}

void TCustomOwnedObject::UnregisterOwned(TCustomOwnedObject* object) {
  size_t slot = static_cast<size_t>(object->ownerSlot);
  object->owner = nullptr;
  object->ownerSlot = -1;
  if (slot >= ownedObjects.size() || ownedObjects[slot] != object) return;
  ownedObjects[slot] = nullptr;
  ++ownedHoles;
  while (!ownedObjects.empty() && ownedObjects.back() == nullptr) {
    ownedObjects.pop_back();
    --ownedHoles;
  }
  if (ownedObjects.empty()) {
    std::vector<TCustomOwnedObject*>().swap(ownedObjects);
  } else if (ownedHoles > 64 && size_t(ownedHoles) * 2 > ownedObjects.size()) {
    CompactOwned();
  }
}

void TCustomOwnedObject::CompactOwned() const {
  size_t kept = 0;
  for (TCustomOwnedObject* object : ownedObjects) {
    if (object == nullptr) continue;
    object->ownerSlot = static_cast<int>(kept);
    ownedObjects[kept++] = object;
  }
  ownedObjects.resize(kept);
  ownedHoles = 0;
}
