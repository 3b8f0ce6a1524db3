#include "core/ClassRegistry.h"

#include <deque>
#include <mutex>

#include "core/SysUtils.h"

namespace {

// A deque keeps entries in place, so pointers handed out stay valid while
// other classes register; unregistering marks an entry dead instead of moving
// the others.
struct Registry {
  std::mutex lock;
  std::deque<TPersistentClass> classes;
  std::deque<bool> alive;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

TPersistentClass* FindLocked(Registry& registry, std::string_view name) {
  for (size_t i = 0; i < registry.classes.size(); ++i)
    if (registry.alive[i] && SameText(registry.classes[i].name, name)) return &registry.classes[i];
  return nullptr;
}

}  // namespace

void RegisterPersistentClass(TPersistentClass info) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  TPersistentClass* existing = FindLocked(registry, info.name);
  if (existing != nullptr) {
    if (existing->type == info.type) return;
    throw EFilerError("A class named " + info.name + " already exists");
  }
  registry.classes.push_back(std::move(info));
  registry.alive.push_back(true);
}

void UnregisterPersistentClass(std::string_view name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  for (size_t i = 0; i < registry.classes.size(); ++i)
    if (registry.alive[i] && SameText(registry.classes[i].name, name)) registry.alive[i] = false;
}

const TPersistentClass* GetPersistentClass(std::string_view name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  return FindLocked(registry, name);
}

const TPersistentClass& FindPersistentClass(std::string_view name) {
  const TPersistentClass* found = GetPersistentClass(name);
  if (found == nullptr) throw EFilerError("Class " + std::string(name) + " not found");
  return *found;
}

std::vector<std::string> RegisteredClassNames() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  std::vector<std::string> names;
  for (size_t i = 0; i < registry.classes.size(); ++i)
    if (registry.alive[i]) names.push_back(registry.classes[i].name);
  return names;
}
