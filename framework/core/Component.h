#pragma once
// TComponent: a named object with an owner. The owner frees the components it
// owns; components that refer to each other are told, through Notification,
// when one of them goes away.
//
// Lifetime: Free() (or FreeAndNil) runs BeforeDestruction on the whole object:
// the component and everything it owns enter csDestroying, the components that
// asked for free notification get Notification(this, opRemove), the owned
// components are freed in reverse order of insertion, and the component leaves
// its owner (whose owned components are all notified). A component deleted
// directly, or one whose Create raised, goes through the same steps in its
// destructor, where only the base Notification is reached.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Exception.h"
#include "core/Persistent.h"
#include "core/Set.h"

QV_DECLARE_EXCEPTION(EComponentError, Exception);

enum TOperation { opInsert, opRemove };

enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance,
};
using TComponentState = TSet<TComponentStateItem, 16>;

class TComponent : public TPersistent {
public:
  ~TComponent() override;

  // Creation phase: inserts this component into owner's list (owner may be null).
  virtual void Create(TComponent* owner);
  // Tears down as described above; derived overrides call the base last.
  void BeforeDestruction() override;

  const std::string& Name() const { return name; }
  // Renames; raises EComponentError "'<name>' is not a valid component name" for a
  // name that is not an identifier, "A component named <name> already exists"
  // when a sibling has it (ignoring ASCII case). The empty name is always allowed.
  virtual void SetName(const std::string& newName);

  TComponent* Owner() const { return owner; }
  int ComponentCount() const { return static_cast<int>(components.size()); }
  // The owned component at index, in insertion order; raises EListError out of range.
  TComponent* Components(int index) const;
  // The index of this component in its owner's list, or -1 without an owner.
  int ComponentIndex() const;
  // The owned component named name (ignoring ASCII case), or null; empty name gives null.
  TComponent* FindComponent(std::string_view name) const;

  // Takes ownership of component (which leaves its current owner first), then
  // notifies with opInsert. Null is ignored. Raises EComponentError on a name clash
  // and when component is this one or one of its owners.
  void InsertComponent(TComponent* component);
  // Gives up ownership of component (notifying with opRemove first); the component
  // stays alive without an owner. A component not owned here is ignored.
  void RemoveComponent(TComponent* component);

  // Asks component to tell this one (and this one to tell it) when it is removed:
  // both sides get Notification(other, opRemove) when the other is freed, exactly
  // once (components of the same owner hear of it through their owner).
  void FreeNotification(TComponent* component);
  // Cancels FreeNotification in both directions.
  void RemoveFreeNotification(TComponent* component);

  TComponentState ComponentState() const { return state; }
  // For form loaders and designers: enters or leaves one state (csLoading, csReading...).
  void SetComponentState(TComponentStateItem item, bool on) { state.Set(item, on); }
  // Sets csDestroying on this component and everything it owns, recursively.
  void Destroying();

  intptr_t Tag() const { return tag; }
  void SetTag(intptr_t value) { tag = value; }

  // Called after a form loader has read this component's properties; the base
  // leaves csLoading.
  virtual void Loaded();

  // A component freed while held is torn down at once and deleted at its last
  // hold's end (core/Object.h).
  bool Going() const override { return release != kAlive; }
  void Hold() override { ++holds; }
  void Unhold() override {
    if (--holds != 0) return;
    if (release == kKept)
      delete this;
    else
      LastHoldEnded();
  }
  uint32_t HoldCount() const override { return holds; }
  bool ReleasePending() const override { return release == kKept; }

protected:
  bool BeginRelease() override;
  bool KeepUntilUnheld() override;
  // The last hold of a component not freed ended: what it kept for the
  // operations that held it may go now. Nothing by default.
  virtual void LastHoldEnded() {}

  // component is being inserted into or removed from somewhere this component
  // hears of (its own list, or a free notification). The base forgets a removed
  // component's free notification and passes the call on to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  void TearDown();
  void InsertInto(TComponent* component);
  void RemoveFrom(TComponent* component);
  void ValidateRename(TComponent* component, std::string_view newName) const;

  std::string name;
  TComponent* owner = nullptr;           // not owned
  std::vector<TComponent*> components;   // owned
  std::vector<TComponent*> freeNotifies; // not owned
  TComponentState state;
  intptr_t tag = 0;
  bool tornDown = false;
  enum TRelease : uint8_t { kAlive, kTearingDown, kKept };
  TRelease release = kAlive;
  uint32_t holds = 0;
};
