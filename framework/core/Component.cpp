#include "core/Component.h"

#include <algorithm>

#include "core/Format.h"
#include "core/SysUtils.h"

namespace {

bool IsIdentifier(std::string_view text) {
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || !isAlpha(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), [&](char c) { return isAlpha(c) || isDigit(c); });
}

void EraseOne(std::vector<TComponent*>& list, TComponent* item) {
  auto found = std::find(list.begin(), list.end(), item);
  if (found != list.end()) list.erase(found);
}

}  // namespace

TComponent::~TComponent() { TearDown(); }

void TComponent::Create(TComponent* owner_) {
  if (owner_ != nullptr) owner_->InsertComponent(this);
}

void TComponent::BeforeDestruction() {
  TearDown();
  TPersistent::BeforeDestruction();
}

bool TComponent::BeginRelease() {
  if (release != kAlive) return false;
  release = kTearingDown;
  return true;
}

bool TComponent::KeepUntilUnheld() {
  if (holds == 0) return false;
  release = kKept;
  return true;
}

void TComponent::TearDown() {
  if (tornDown) return;
  tornDown = true;
  Destroying();
  // Each subscriber leaves the list before it hears of the removal, so a
  // subscriber that frees components from its Notification cannot be told twice.
  // A sibling hears of it from the common owner below, once.
  while (!freeNotifies.empty()) {
    TComponent* subscriber = freeNotifies.back();
    freeNotifies.pop_back();
    EraseOne(subscriber->freeNotifies, this);
    if (owner == nullptr || subscriber->owner != owner) subscriber->Notification(this, opRemove);
  }
  while (!components.empty()) {
    TComponent* last = components.back();
    last->Free();
    // One whose own teardown raised is still listed: it is let go, so that this ends.
    if (!components.empty() && components.back() == last) RemoveComponent(last);
  }
  if (owner != nullptr) owner->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (state.Contains(csDestroying)) return;
  state.Include(csDestroying);
  for (TComponent* component : components) component->Destroying();
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError(Format("List index out of bounds (%d)", {index}));
  return components[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner == nullptr) return -1;
  auto found = std::find(owner->components.begin(), owner->components.end(), this);
  return static_cast<int>(found - owner->components.begin());
}

TComponent* TComponent::FindComponent(std::string_view name_) const {
  if (name_.empty()) return nullptr;
  for (TComponent* component : components)
    if (SameText(component->name, name_)) return component;
  return nullptr;
}

void TComponent::ValidateRename(TComponent* component, std::string_view newName) const {
  if (newName.empty()) return;
  TComponent* existing = FindComponent(newName);
  if (existing != nullptr && existing != component)
    throw EComponentError(Format("A component named %s already exists", {newName}));
}

void TComponent::SetName(const std::string& newName) {
  if (newName == name) return;
  if (!newName.empty() && !IsIdentifier(newName))
    throw EComponentError(Format("'%s' is not a valid component name", {newName}));
  if (owner != nullptr) owner->ValidateRename(this, newName);
  name = newName;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->owner == this) return;
  // An ownership cycle would free its members over and over.
  for (const TComponent* up = this; up != nullptr; up = up->owner)
    if (up == component) throw EComponentError("A component cannot own itself or its owners");
  ValidateRename(component, component->name);
  if (component->owner != nullptr) component->owner->RemoveComponent(component);
  InsertInto(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner != this) return;
  Notification(component, opRemove);
  RemoveFrom(component);
}

void TComponent::InsertInto(TComponent* component) {
  components.push_back(component);
  component->owner = this;
}

void TComponent::RemoveFrom(TComponent* component) {
  EraseOne(components, component);
  component->owner = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  state.Include(csFreeNotification);
  if (std::find(freeNotifies.begin(), freeNotifies.end(), component) != freeNotifies.end()) return;
  freeNotifies.push_back(component);
  component->FreeNotification(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  EraseOne(freeNotifies, component);
  EraseOne(component->freeNotifies, this);
}

void TComponent::Loaded() { state.Exclude(csLoading); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) RemoveFreeNotification(component);
  // Pass it on from the last owned component to the first; a receiver may free
  // components of this list, so the index is checked against the list each time.
  for (size_t i = components.size(); i > 0;) {
    --i;
    if (i >= components.size()) {
      if (components.empty()) break;
      i = components.size() - 1;
    }
    TComponent* receiver = components[i];
    if (receiver != component) receiver->Notification(component, operation);
  }
}
