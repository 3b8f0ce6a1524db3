#include "shell/ShellNameOrder.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <numeric>
#include <string_view>

#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"

namespace shellorder {

namespace {

// The keys of all items side by side: item i's name and collation key are
// the runs between its offsets and the next item's.
struct TKeys {
  std::vector<uint8_t> folder;
  std::u16string names;
  std::vector<size_t> nameAt{0};
  std::string collations;
  std::vector<size_t> collationAt{0};

  std::u16string_view Name(size_t i) const { return std::u16string_view(names).substr(nameAt[i], nameAt[i + 1] - nameAt[i]); }
  std::string_view Collation(size_t i) const {
    return std::string_view(collations).substr(collationAt[i], collationAt[i + 1] - collationAt[i]);
  }
  // Folders first, then the collation keys bytewise, then the exact names.
  bool Less(size_t a, size_t b) const {
    if (folder[a] != folder[b]) return folder[a] != 0;
    int order = Collation(a).compare(Collation(b));
    if (order != 0) return order < 0;
    return Name(a) < Name(b);
  }
};

// The name of a file-system item as its find data holds it (the folder keeps
// that in the item's ID, so no name is asked of the folder); false when the
// item has none or the name is not to be trusted (a '?' stands for a
// character some shells lose on the way).
bool FindDataName(TNamespace* ns, std::u16string& names) {
  TNamespace* parent = ns->Parent();
  if (parent == nullptr || parent->IsDesktop() || wide::SHGetDataFromIDListW == nullptr) return false;
  IShellFolder* folder = parent->GetShellFolder();
  if (folder == nullptr) return false;
  WIN32_FIND_DATAW data;
  if (wide::SHGetDataFromIDListW(folder, ns->RelativePIDL(), SHGDFIL_FINDDATA, &data, sizeof data) != S_OK) return false;
  data.cFileName[MAX_PATH - 1] = 0;
  size_t length = std::wcslen(data.cFileName);
  if (length == 0 || std::wmemchr(data.cFileName, L'?', length) != nullptr) return false;
  names.append(reinterpret_cast<const char16_t*>(data.cFileName), length);
  return true;
}

// Appends the collation key of name without case, as LCMapStringW makes it:
// its bytes compare like CompareStringW with NORM_IGNORECASE compares the names.
void AppendCollationKey(std::u16string_view name, std::string& keys) {
  if (name.empty()) return;
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int length = static_cast<int>(name.size());
  auto source = reinterpret_cast<LPCWSTR>(name.data());
  size_t at = keys.size();
  keys.resize(at + name.size() * 6 + 16);
  int size = LCMapStringW(LOCALE_USER_DEFAULT, flags, source, length, reinterpret_cast<LPWSTR>(keys.data() + at),
                          static_cast<int>(keys.size() - at));
  if (size == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    size = LCMapStringW(LOCALE_USER_DEFAULT, flags, source, length, nullptr, 0);
    keys.resize(at + static_cast<size_t>(std::max(size, 0)));
    if (size > 0)
      size = LCMapStringW(LOCALE_USER_DEFAULT, flags, source, length, reinterpret_cast<LPWSTR>(keys.data() + at), size);
  }
  keys.resize(at + static_cast<size_t>(std::max(size, 0)));
  // The key ends in a zero byte, which would only tie.
  while (keys.size() > at && keys.back() == '\0') keys.pop_back();
}

}  // namespace

std::vector<size_t> KeyedOrder(const std::vector<TNamespace*>& items) {
  TKeys keys;
  keys.folder.reserve(items.size());
  keys.nameAt.reserve(items.size() + 1);
  keys.collationAt.reserve(items.size() + 1);
  keys.names.reserve(items.size() * 16);
  keys.collations.reserve(items.size() * 48);
  for (TNamespace* item : items) {
    keys.folder.push_back(item->Folder() ? 1 : 0);
    if (!FindDataName(item, keys.names)) keys.names += item->NameForParsingInFolder();
    keys.nameAt.push_back(keys.names.size());
    AppendCollationKey(keys.Name(keys.folder.size() - 1), keys.collations);
    keys.collationAt.push_back(keys.collations.size());
  }
  std::vector<size_t> order(items.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys.Less(a, b); });
  return order;
}

}  // namespace shellorder
