#include "core/PublishedMethods.h"

#include <string>

namespace event_detail {

bool SameMethodName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace event_detail

TMethod BindMethod(TObject* instance, std::string_view name) {
  if (instance == nullptr) throw EMethodError("Method '" + std::string(name) + "' not found");
  const TMethodEntry* entry = instance->FindMethod(name);
  if (entry == nullptr)
    throw EMethodError("Method '" + std::string(name) + "' not found in " + instance->ClassName());
  return entry->bind(instance);
}
