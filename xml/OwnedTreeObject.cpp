#include "xml/OwnedTree.h"

#include <algorithm>
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
  if (object->owner != nullptr) object->owner->UnregisterOwned(object);
  RegisterOwned(object);
}

void TCustomOwnedObject::Clear() { FreeOwnedObjects(); }

TCustomOwnedObject* TCustomOwnedObject::GetOwnedObject(int index) const {
  if (index < 0 || index >= OwnedObjectCount()) RaiseIndexError(index);
  return ownedObjects[index];
}

void TCustomOwnedObject::FreeOwnedObjects() {
  // Each object leaves the list before it is freed, so objects that free
  // other objects of this owner while they go find the list consistent.
  while (!ownedObjects.empty()) {
    TCustomOwnedObject* object = ownedObjects.back();
    ownedObjects.pop_back();
    object->releasedByOwner = true;
    object->Free();
  }
  std::vector<TCustomOwnedObject*>().swap(ownedObjects);
}

void TCustomOwnedObject::RegisterOwned(TCustomOwnedObject* object) {
  ownedObjects.push_back(object);
  object->owner = this;
  object->releasedByOwner = false;
}

void TCustomOwnedObject::UnregisterOwned(TCustomOwnedObject* object) {
  // Objects are mostly freed in reverse order of creation: search from the back.
  auto it = std::find(ownedObjects.rbegin(), ownedObjects.rend(), object);
  if (it != ownedObjects.rend()) ownedObjects.erase(std::next(it).base());
  if (ownedObjects.empty()) std::vector<TCustomOwnedObject*>().swap(ownedObjects);
  object->owner = nullptr;
}
