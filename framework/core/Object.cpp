#include "core/Object.h"

#include "core/FencedObjects.h"
#include "core/HandedOverHolds.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <typeindex>

TObject::~TObject() = default;

void TObject::AfterConstruction() {}

void TObject::BeforeDestruction() {}

void TObject::Free() {
  if (!BeginRelease()) return;
  BeforeDestruction();
  if (KeepUntilUnheld()) return;
  delete this;
}

void TObject::UnholdFromDoor() {
  if (HoldCount() == 1 && ReleasePending())
    HandOverHold(this);
  else
    Unhold();
}

void* TObject::operator new(std::size_t size) {
  if (void* block = FencedAllocate(size)) return block;
  return ::operator new(size);
}

void* TObject::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void TObject::operator delete(void* block, std::size_t size) noexcept {
  if (block == nullptr || FencedRelease(block, size)) return;
  ::operator delete(block);
}

void TObject::operator delete(void* block, const std::nothrow_t&) noexcept {
  if (block == nullptr || FencedRelease(block, 0)) return;
  ::operator delete(block);
}

const TMethodEntry* TObject::FindMethod(std::string_view) const { return nullptr; }

namespace {

// The readable name of a type: demangled, namespaces and template arguments kept
// out of it only where they precede the last "::".
std::string ReadableTypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled != nullptr) ? demangled : type.name();
  std::free(demangled);
  size_t angle = name.find('<');
  size_t scope = name.rfind("::", angle == std::string::npos ? std::string::npos : angle);
  if (scope != std::string::npos) name.erase(0, scope + 2);
  return name;
}

}  // namespace

const char* TObject::ClassName() const { return ClassNameOf(typeid(*this)); }

const char* ClassNameOf(const std::type_info& type) {
  // Names are made once per class and live for the whole run; the map's nodes
  // never move, so the pointers handed out stay valid.
  static std::mutex lock;
  static std::map<std::type_index, std::string> names;
  std::lock_guard<std::mutex> guard(lock);
  auto found = names.find(type);
  if (found == names.end()) found = names.emplace(type, ReadableTypeName(type)).first;
  return found->second.c_str();
}
