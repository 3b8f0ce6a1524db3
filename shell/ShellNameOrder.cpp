#include "shell/ShellNameOrder.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <numeric>
#include <shlobj.h>
#include <string_view>

#include "shell/ShellUtilities.h"
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

// The find data the folder keeps in a file-system item's ID (so that no
// name need be asked of the folder); false when the item has none.
bool FindData(TNamespace* ns, WIN32_FIND_DATAW& data) {
  TNamespace* parent = ns->Parent();
  if (parent == nullptr || parent->IsDesktop() || wide::SHGetDataFromIDListW == nullptr) return false;
  IShellFolder* folder = parent->GetShellFolder();
  if (folder == nullptr) return false;
  if (wide::SHGetDataFromIDListW(folder, ns->RelativePIDL(), SHGDFIL_FINDDATA, &data, sizeof data) != S_OK) return false;
  data.cFileName[MAX_PATH - 1] = 0;
  return true;
}

// The name of a file-system item as its find data holds it; false when the
// item has none or the name is not to be trusted (a '?' stands for a
// character some shells lose on the way).
bool FindDataName(TNamespace* ns, std::u16string& names) {
  WIN32_FIND_DATAW data;
  if (!FindData(ns, data)) return false;
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

// The sort key of text under the user's collation without case, as LCMapStringW makes it.
std::string SortKey(std::u16string_view text) {
  std::string key;
  AppendCollationKey(text, key);
  return key;
}

// A key is its primary weights, then the separators of its further parts
// (diacritics, case, and whatever else the platform weighs), each part empty
// for a character weighed by its primary weight alone.
bool SplitKey(const std::string& key, std::string& primary, size_t& separators) {
  size_t end = key.find('\1');
  if (end == 0 || end == std::string::npos) return false;
  // Weight bytes are above the separators.
  if (std::any_of(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(end),
                  [](char b) { return static_cast<uint8_t>(b) < 2; }))
    return false;
  if (key.find_first_not_of('\1', end) != std::string::npos) return false;
  primary = key.substr(0, end);
  separators = key.size() - end;
  return true;
}

struct TWeights {
  std::vector<std::string> primary = std::vector<std::string>(128);
  size_t separators = 0;
};

// Characters no file name holds: a name with one (a '?' stands for a
// character some shells lose on the way) is not what the folder compares.
constexpr std::u16string_view kNotInNames = u"\\/:*?\"<>|";

// The primary weights of each printable ASCII character the collation weighs
// alone, in the user's collation without case; "" for the others (those it
// passes over at first, or weighs by more than a primary weight, and those
// no name holds).
const TWeights& CharacterWeights() {
  static const TWeights weights = [] {
    TWeights table;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
      if (kNotInNames.find(c) != std::u16string_view::npos) continue;
      std::string primary;
      size_t separators = 0;
      if (!SplitKey(SortKey(std::u16string_view(&c, 1)), primary, separators)) continue;
      if (table.separators != 0 && separators != table.separators) return TWeights{};
      table.separators = separators;
      table.primary[c] = primary;
    }
    return table;
  }();
  return weights;
}

// Appends the weights of name, one character at a time; false when a character has none.
bool AppendWeights(std::u16string_view name, std::string& out) {
  const std::vector<std::string>& table = CharacterWeights().primary;
  size_t start = out.size();
  for (char16_t c : name) {
    if (c >= table.size() || table[c].empty()) {
      out.resize(start);
      return false;
    }
    out += table[c];
  }
  return !name.empty();
}

}  // namespace

TNameKeys::TNameKeys(const std::vector<TNamespace*>& items) {
  kinds.reserve(items.size());
  at.reserve(items.size() + 1);
  weights.reserve(items.size() * 24);
  for (TNamespace* item : items) {
    uint8_t kind = kNone;
    WIN32_FIND_DATAW data;
    // The name and kind the listing put in the item's ID.
    if (FindData(item, data) &&
        AppendWeights(std::u16string_view(reinterpret_cast<const char16_t*>(data.cFileName), std::wcslen(data.cFileName)),
                      weights))
      kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? kDirectory : kFile;
    kinds.push_back(kind);
    at.push_back(weights.size());
  }
}

int TNameKeys::Order(size_t a, size_t b) const {
  if (kinds[a] == kNone || kinds[b] == kNone) return 0;
  if (kinds[a] != kinds[b]) return kinds[a] == kDirectory ? -1 : 1;
  std::string_view wa = std::string_view(weights).substr(at[a], at[a + 1] - at[a]);
  std::string_view wb = std::string_view(weights).substr(at[b], at[b + 1] - at[b]);
  int order = wa.compare(wb);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

namespace {

// Probe names: every character with a weight between two letters, and runs
// of digits, dots, spaces and letters of both cases that orders other than
// plain collation (numbers by value, say) put otherwise.
std::vector<std::u16string> ProbeNames() {
  std::vector<std::u16string> names{u"a",        u"B",        u"a0",       u"a00",        u"a9",       u"a10",
                                    u"a2b",      u"a10b",     u"file9.txt", u"file10.txt", u"file1.txt", u"x.y",
                                    u"x y",      u"x_y",      u"xy",        u"x.y.z",     u"X y z",     u"zz",
                                    u"Zz9",      u"0",        u"00",        u"1",         u"10",        u"9"};
  const std::vector<std::string>& table = CharacterWeights().primary;
  for (char16_t c = 0x20; c < 0x7F; ++c)
    if (!table[c].empty()) names.push_back(std::u16string{u'a', c, u'b'});
  return names;
}

// True when the key of a name is its characters' weights in turn: tried on
// every pair of letters and digits, where some collations weigh two letters
// as one ("ch", "aa", "dz" in some languages).
bool WeighsLetterByLetter() {
  const std::u16string alphanumerics = u"abcdefghijklmnopqrstuvwxyz0123456789";
  const std::string separators(CharacterWeights().separators, '\1');
  for (char16_t first : alphanumerics) {
    for (char16_t second : alphanumerics) {
      const char16_t pair[] = {first, second};
      std::string key;
      if (!AppendWeights(std::u16string_view(pair, 2), key) || SortKey(std::u16string_view(pair, 2)) != key + separators)
        return false;
    }
  }
  return true;
}

// The verdict for the process: unknown, agrees, disagrees.
int gKeysAgree = -1;

// 1 when the folder orders the probe names as the keys do, 0 when not, -1
// when it cannot be asked (no drive path).
int ProbeFolder(TNamespace* folderNs) {
  IShellFolder* folder = folderNs->GetShellFolder();
  std::u16string path = folderNs->NameForParsing();
  if (folder == nullptr || path.size() < 3 || path[1] != u':' || path[2] != u'\\') return -1;
  if (path.back() != u'\\') path += u'\\';
  std::vector<std::u16string> names = ProbeNames();
  std::vector<std::string> keys;
  std::vector<LPITEMIDLIST> ids;
  bool made = true;
  for (const std::u16string& name : names) {
    std::string key;
    // A whole name's key must be its characters' weights in turn.
    made = made && AppendWeights(name, key) && SortKey(name) == key + std::string(CharacterWeights().separators, '\1');
    LPITEMIDLIST id = made ? SHSimpleIDListFromPath(reinterpret_cast<LPCWSTR>((path + name).c_str())) : nullptr;
    made = made && id != nullptr;
    keys.push_back(key);
    ids.push_back(id);
  }
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  // Names the keys take for one (case variants) are the folder's to order: one of each is probed.
  order.erase(std::unique(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] == keys[b]; }),
              order.end());
  bool agree = made && WeighsLetterByLetter();
  // Confirmed pair by pair, the folder's order (an order) equals the keys' throughout.
  for (size_t i = 0; agree && i + 1 < order.size(); ++i) {
    LPCITEMIDLIST a = NamespacePIDLManager->GetPointerToLastID(ids[order[i]]);
    LPCITEMIDLIST b = NamespacePIDLManager->GetPointerToLastID(ids[order[i + 1]]);
    HRESULT hr = folder->CompareIDs(0, a, b);
    agree = SUCCEEDED(hr) && static_cast<int16_t>(HRESULT_CODE(hr)) < 0;
  }
  for (LPITEMIDLIST id : ids)
    if (id != nullptr) CoTaskMemFree(id);
  return agree ? 1 : 0;
}

}  // namespace

bool KeysAgreeWithFolder(TNamespace* folder) {
  if (gKeysAgree < 0 && folder != nullptr && folder->FileSystem()) gKeysAgree = ProbeFolder(folder);
  return gKeysAgree == 1;
}

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
