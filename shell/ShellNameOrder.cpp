#include "shell/ShellNameOrder.h"

#include <windows.h>

#include <algorithm>
#include <numeric>

#include "shell/VirtualWideStrings.h"

namespace shellorder {

namespace {

// The collation key of name without case, as LCMapStringW makes it: its bytes
// compare like CompareStringW with NORM_IGNORECASE compares the names.
std::string CollationKey(const std::u16string& name) {
  if (name.empty()) return {};
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int length = static_cast<int>(name.size());
  std::string key(name.size() * 6 + 16, '\0');
  int size = LCMapStringW(LOCALE_USER_DEFAULT, flags, vws::W(name), length,
                          reinterpret_cast<LPWSTR>(key.data()), static_cast<int>(key.size()));
  if (size == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    size = LCMapStringW(LOCALE_USER_DEFAULT, flags, vws::W(name), length, nullptr, 0);
    key.assign(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0)
      size = LCMapStringW(LOCALE_USER_DEFAULT, flags, vws::W(name), length, reinterpret_cast<LPWSTR>(key.data()),
                          size);
  }
  key.resize(static_cast<size_t>(std::max(size, 0)));
  // The key ends in a zero byte, which would only tie.
  while (!key.empty() && key.back() == '\0') key.pop_back();
  return key;
}

}  // namespace

TNameKey NameKeyOf(TNamespace* ns) {
  TNameKey key;
  key.folder = ns->Folder();
  key.name = ns->NameForParsingInFolder();
  key.collation = CollationKey(key.name);
  return key;
}

bool NameKeyLess(const TNameKey& a, const TNameKey& b) {
  if (a.folder != b.folder) return a.folder;
  int order = a.collation.compare(b.collation);
  if (order != 0) return order < 0;
  return a.name < b.name;
}

std::vector<size_t> KeyedOrder(const std::vector<TNamespace*>& items) {
  std::vector<TNameKey> keys;
  keys.reserve(items.size());
  for (TNamespace* item : items) keys.push_back(NameKeyOf(item));
  std::vector<size_t> order(items.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return NameKeyLess(keys[a], keys[b]); });
  return order;
}

}  // namespace shellorder
