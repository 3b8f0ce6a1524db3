#include "ExactEntry.h"

#include "Text.h"

namespace qv::engine {

const Listed* FindExact(const std::vector<Listed>& entries, const std::u16string& name, bool& ambiguous,
                        const Listed*& variant) {
  const Listed* other = nullptr;
  int caselessCount = 0;
  for (const Listed& entry : entries) {
    if (entry.name == name) return &entry;
    if (SamePath(entry.name, name)) {
      other = &entry;
      ++caselessCount;
    }
  }
  ambiguous = caselessCount > 1;
  if (caselessCount == 1) variant = other;
  return nullptr;
}

}  // namespace qv::engine
