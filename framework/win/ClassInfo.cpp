#include "win/ClassInfo.h"

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/SysUtils.h"
#include "win/TextConvert.h"

namespace {

struct Registry {
  std::vector<std::unique_ptr<TClassInfo>> classes;
  // The same classes by type, and by name in ASCII lower case (the first
  // registered of a name): reading a definition looks a class up for every
  // component and every property, and each level of a class's parents too.
  std::unordered_map<std::type_index, TClassInfo*> byType;
  std::unordered_map<std::string, TClassInfo*> byName;
};

// Built on first use (registrars run during static initialisation in any
// order) and never destroyed (objects freed at exit may still look classes up).
Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

int Depth(const TClassInfo* info) {
  int depth = 0;
  for (const TClassInfo* p = info; p != nullptr; p = p->Parent()) ++depth;
  return depth;
}

}  // namespace

int EnumOrdinal(const TEnumNames& names, std::string_view name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], name)) return static_cast<int>(i);
  return -1;
}

std::string EnumName(const TEnumNames& names, int64_t ordinal) {
  if (ordinal >= 0 && ordinal < static_cast<int64_t>(names.size())) return names[static_cast<size_t>(ordinal)];
  return std::to_string(ordinal);
}

const TClassInfo* TClassInfo::Parent() const {
  if (parentType == std::type_index(typeid(void))) return nullptr;
  return FindClassInfo(parentType);
}

const TPropInfo* TClassInfo::FindProp(std::string_view propName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    for (const TPropInfo& p : c->props)
      if (SameText(p.name, propName)) return &p;
  return nullptr;
}

const std::function<void(TComponent*, TComponent*)>* TClassInfo::FindAddChild() const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    if (c->addChild) return &c->addChild;
  return nullptr;
}

const std::function<TComponent*(TComponent*)>* TClassInfo::FindParentOf() const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    if (c->parentOf) return &c->parentOf;
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::AllProps() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent()) chain.push_back(c);
  std::vector<const TPropInfo*> result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const TPropInfo& p : (*it)->props) {
      // A class may redeclare a parent's property (a new setter); the last one wins.
      bool replaced = false;
      for (const TPropInfo*& q : result)
        if (SameText(q->name, p.name)) {
          q = &p;
          replaced = true;
        }
      if (!replaced) result.push_back(&p);
    }
  return result;
}

bool TClassInfo::InheritsFrom(const TClassInfo* ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    if (c == ancestor) return true;
  return false;
}

void RegisterClassInfo(TClassInfo info) {
  Registry& registry = TheRegistry();
  if (auto known = registry.byType.find(info.type); known != registry.byType.end()) {
    // Replaced in place; its name may be another now, so the names are indexed again.
    *known->second = std::move(info);
    registry.byName.clear();
    for (auto& existing : registry.classes) registry.byName.emplace(LowerCase(existing->name), existing.get());
    return;
  }
  TClassInfo* added = registry.classes.emplace_back(std::make_unique<TClassInfo>(std::move(info))).get();
  registry.byType.emplace(added->type, added);
  registry.byName.emplace(LowerCase(added->name), added);
}

const TClassInfo* FindClassInfo(std::string_view name) {
  const Registry& registry = TheRegistry();
  auto found = registry.byName.find(LowerCase(name));
  return found != registry.byName.end() ? found->second : nullptr;
}

const TClassInfo* FindClassInfo(std::type_index type) {
  const Registry& registry = TheRegistry();
  auto found = registry.byType.find(type);
  return found != registry.byType.end() ? found->second : nullptr;
}

const TClassInfo* ClassInfoOf(const TObject* obj) {
  if (obj == nullptr) return nullptr;
  if (const TClassInfo* exact = FindClassInfo(std::type_index(typeid(*obj)))) return exact;
  const TClassInfo* best = nullptr;
  int bestDepth = -1;
  for (auto& info : TheRegistry().classes) {
    if (!info->isInstance || !info->isInstance(obj)) continue;
    int depth = Depth(info.get());
    if (depth > bestDepth) best = info.get(), bestDepth = depth;
  }
  return best;
}

const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name) {
  const TClassInfo* info = ClassInfoOf(obj);
  return info != nullptr ? info->FindProp(name) : nullptr;
}

void SetStrPropByName(TObject* instance, std::string_view name, const std::string& value) {
  if (value.empty()) return;
  const TPropInfo* prop = GetPropInfo(instance, name);
  if (prop == nullptr) return;
  if (prop->kind == pkString && prop->setStr) prop->setStr(instance, value);
  else if (prop->kind == pkWideString && prop->setWide) prop->setWide(instance, AnsiToWide(value));
}

std::string GetStrPropByName(TObject* instance, std::string_view name) {
  const TPropInfo* prop = GetPropInfo(instance, name);
  if (prop == nullptr) return "";
  if (prop->kind == pkString && prop->getStr) return prop->getStr(instance);
  if (prop->kind == pkWideString && prop->getWide) return WideToAnsi(prop->getWide(instance));
  return "";
}
