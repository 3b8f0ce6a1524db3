#pragma once
// The registry of persistent classes by name: stored objects and form
// definitions name a class, and the registry makes an object of it.
//
//   RegisterClass<TWipePattern>();               // under its class name
//   TPersistent* obj = FindClass("TWipePattern").create(nullptr);
//
// Names are matched ignoring ASCII case. Registrations live for the whole run.
// (The templates keep working in a unit that includes windows.h, whose
// RegisterClass macro renames them there; the entry points below do not clash.)
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "core/Component.h"
#include "core/Exception.h"
#include "core/Persistent.h"

// Raised for classes that are not registered or clash by name.
QV_DECLARE_EXCEPTION(EFilerError, Exception);

struct TPersistentClass {
  std::string name;
  std::type_index type = typeid(void);
  // Makes a new object of the class: components with owner (New<T>(owner)),
  // other classes ignore owner (New<T>()). Empty for abstract classes.
  std::function<TPersistent*(TComponent* owner)> create;
};

// Registers info. The same type under the same name again is ignored; another
// type under a registered name raises EFilerError "A class named <name> already exists".
void RegisterPersistentClass(TPersistentClass info);
// Forgets the class registered under name; unknown names are ignored.
void UnregisterPersistentClass(std::string_view name);
// The class registered under name, or null.
const TPersistentClass* GetPersistentClass(std::string_view name);
// The class registered under name; raises EFilerError "Class <name> not found".
const TPersistentClass& FindPersistentClass(std::string_view name);
// Names of every registered class, in registration order.
std::vector<std::string> RegisteredClassNames();

// Registers T (derived from TPersistent) under name, by default its class name.
// An abstract class is registered without a factory.
template <class T>
void RegisterClass(std::string name = {}) {
  static_assert(std::is_base_of_v<TPersistent, T>, "only persistent classes are registered");
  TPersistentClass info;
  info.type = typeid(T);
  info.name = name.empty() ? std::string(ClassNameOf(typeid(T))) : std::move(name);
  if constexpr (std::is_abstract_v<T>) {
  } else if constexpr (std::is_base_of_v<TComponent, T>) {
    info.create = [](TComponent* owner) -> TPersistent* { return New<T>(owner); };
  } else {
    info.create = [](TComponent*) -> TPersistent* { return New<T>(); };
  }
  RegisterPersistentClass(std::move(info));
}

inline const TPersistentClass* GetClass(std::string_view name) { return GetPersistentClass(name); }
inline const TPersistentClass& FindClass(std::string_view name) { return FindPersistentClass(name); }
inline void UnRegisterClass(std::string_view name) { UnregisterPersistentClass(name); }
