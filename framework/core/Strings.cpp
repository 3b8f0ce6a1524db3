#include "core/Strings.h"

#include <utility>

#include "core/FileStream.h"
#include "core/Format.h"
#include "core/StableSort.h"
#include "core/TextCompare.h"

namespace {

const char* const kIndexError = "List index out of bounds (%d)";
const char* const kCapacityError = "List capacity out of bounds (%d)";
const char* const kSortedError = "Operation not allowed on sorted string list";
const char* const kDuplicateError = "String list does not allow duplicates";

// Holds one BeginUpdate/EndUpdate pair for a scope, also when it is left by an exception.
class UpdateScope {
public:
  explicit UpdateScope(TStrings* strings_) : strings(strings_) { strings->BeginUpdate(); }
  ~UpdateScope() { strings->EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

private:
  TStrings* strings;
};

bool NeedsQuotes(std::string_view s, char delimiter, char quote, bool strict) {
  for (char c : s) {
    if (c == delimiter || c == quote) return true;
    if (!strict && static_cast<unsigned char>(c) <= ' ') return true;
  }
  return false;
}

std::string Quoted(std::string_view s, char quote) {
  std::string result(1, quote);
  for (char c : s) {
    result += c;
    if (c == quote) result += c;
  }
  result += quote;
  return result;
}

}  // namespace

// ---- TStrings: items ------------------------------------------------------------

int TStrings::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStrings::AddObject(const std::string& s, TObject* object) {
  int index = GetCount();
  InsertObject(index, s, object);
  return index;
}

void TStrings::AddStrings(TStrings* source) {
  if (source == nullptr) return;
  // A snapshot first: source may be this list, whose indices the adds shift.
  int count = source->GetCount();
  std::vector<std::pair<std::string, TObject*>> snapshot;
  snapshot.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) snapshot.emplace_back(source->Get(i), source->GetObject(i));
  UpdateScope update(this);
  for (auto& [text, object] : snapshot) AddObject(text, object);
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

void TStrings::Exchange(int index1, int index2) {
  UpdateScope update(this);
  std::string s1 = Get(index1);
  std::string s2 = Get(index2);
  TObject* o1 = GetObject(index1);
  TObject* o2 = GetObject(index2);
  Put(index1, s2);
  Put(index2, s1);
  PutObject(index1, o2);
  PutObject(index2, o1);
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  UpdateScope update(this);
  std::string s = Get(curIndex);
  TObject* object = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::Put(int index, const std::string& s) {
  UpdateScope update(this);
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

void TStrings::PutObject(int, TObject*) {}

// ---- TStrings: searching ----------------------------------------------------------

int TStrings::CompareStrings(std::string_view a, std::string_view b) const { return AnsiCompareText(a, b); }

int TStrings::IndexOf(const std::string& s) const {
  int count = GetCount();
  for (int i = 0; i < count; ++i) {
    if (CompareStrings(Get(i), s) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfName(const std::string& name) const {
  int count = GetCount();
  for (int i = 0; i < count; ++i) {
    std::string item = Get(i);
    size_t separator = item.find(nameValueSeparator);
    if (separator == std::string::npos) continue;
    if (CompareStrings(std::string_view(item).substr(0, separator), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* object) const {
  int count = GetCount();
  for (int i = 0; i < count; ++i) {
    if (GetObject(i) == object) return i;
  }
  return -1;
}

bool TStrings::Equals(TStrings* other) const {
  if (other == nullptr) return false;
  int count = GetCount();
  if (other->GetCount() != count) return false;
  for (int i = 0; i < count; ++i) {
    if (Get(i) != other->Get(i)) return false;
  }
  return true;
}

// ---- TStrings: names and values -----------------------------------------------------

std::string TStrings::Names(int index) const {
  std::string item = Get(index);
  size_t separator = item.find(nameValueSeparator);
  return separator == std::string::npos ? std::string() : item.substr(0, separator);
}

std::string TStrings::Values(const std::string& name) const {
  int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string item = name + nameValueSeparator + value;
  if (index < 0) {
    Add(item);
    return;
  }
  Put(index, item);
}

std::string TStrings::ValueFromIndex(int index) const {
  std::string item = Get(index);
  size_t separator = item.find(nameValueSeparator);
  return separator == std::string::npos ? std::string() : item.substr(separator + 1);
}

void TStrings::SetValueFromIndex(int index, const std::string& value) {
  if (value.empty()) {
    Delete(index);
    return;
  }
  Put(index, Names(index) + nameValueSeparator + value);
}

// ---- TStrings: text forms -------------------------------------------------------------

std::string TStrings::Text() const {
  std::string result;
  int count = GetCount();
  for (int i = 0; i < count; ++i) {
    result += Get(i);
    result += "\r\n";
  }
  return result;
}

void TStrings::SetText(std::string_view text) {
  UpdateScope update(this);
  Clear();
  size_t p = 0;
  while (p < text.size()) {
    size_t start = p;
    while (p < text.size() && text[p] != '\r' && text[p] != '\n') ++p;
    Add(std::string(text.substr(start, p - start)));
    if (p < text.size() && text[p] == '\r') ++p;
    if (p < text.size() && text[p] == '\n') ++p;
  }
}

namespace {

std::string JoinDelimited(const TStrings* list, char delimiter, char quote, bool strict) {
  int count = list->Count();
  if (count == 1 && list->Strings(0).empty()) return std::string(2, quote);
  std::string result;
  for (int i = 0; i < count; ++i) {
    if (i > 0) result += delimiter;
    std::string item = list->Strings(i);
    result += NeedsQuotes(item, delimiter, quote, strict) ? Quoted(item, quote) : item;
  }
  return result;
}

// Splits text into items (see SetDelimitedText); every pass consumes at least one byte.
std::vector<std::string> SplitDelimited(std::string_view text, char delimiter, char quote, bool strict) {
  std::vector<std::string> items;
  auto isBlank = [strict](char c) { return !strict && static_cast<unsigned char>(c) <= ' '; };
  size_t n = text.size();
  size_t p = 0;
  while (p < n && isBlank(text[p])) ++p;
  while (p < n) {
    std::string item;
    if (text[p] == quote) {
      ++p;
      while (p < n) {
        if (text[p] != quote) {
          item += text[p++];
          continue;
        }
        if (p + 1 < n && text[p + 1] == quote) {
          item += quote;
          p += 2;
          continue;
        }
        ++p;
        break;
      }
    } else {
      size_t start = p;
      while (p < n && text[p] != delimiter && !isBlank(text[p])) ++p;
      item = std::string(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && isBlank(text[p])) ++p;
    if (p < n && text[p] == delimiter) {
      ++p;
      while (p < n && isBlank(text[p])) ++p;
      if (p == n) items.emplace_back();
    }
  }
  return items;
}

}  // namespace

std::string TStrings::DelimitedText() const { return JoinDelimited(this, delimiter, quoteChar, strictDelimiter); }

void TStrings::SetDelimitedText(std::string_view text) {
  std::vector<std::string> items = SplitDelimited(text, delimiter, quoteChar, strictDelimiter);
  UpdateScope update(this);
  Clear();
  for (auto& item : items) Add(item);
}

std::string TStrings::CommaText() const { return JoinDelimited(this, ',', '"', /*strict=*/false); }

void TStrings::SetCommaText(std::string_view text) {
  std::vector<std::string> items = SplitDelimited(text, ',', '"', /*strict=*/false);
  UpdateScope update(this);
  Clear();
  for (auto& item : items) Add(item);
}

// ---- TStrings: streams and files ----------------------------------------------------

void TStrings::LoadFromStream(TStream* stream) {
  int64_t left = stream->Size() - stream->Position();
  std::string text;
  char buffer[64 * 1024];
  while (left > 0) {
    int32_t want = left < static_cast<int64_t>(sizeof buffer) ? static_cast<int32_t>(left) : sizeof buffer;
    int32_t got = stream->Read(buffer, want);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    left -= got;
  }
  SetText(text);
}

void TStrings::SaveToStream(TStream* stream) const {
  std::string text = Text();
  size_t done = 0;
  while (done < text.size()) {
    size_t chunk = text.size() - done;
    if (chunk > 0x40000000) chunk = 0x40000000;
    stream->WriteBuffer(text.data() + done, static_cast<int32_t>(chunk));
    done += chunk;
  }
}

void TStrings::LoadFromFile(const std::u16string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

void TStrings::LoadFromFile(const std::string& path) {
  TFileStream file;
  file.Create(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

void TStrings::SaveToFile(const std::u16string& path) const {
  TFileStream file(path, fmCreate);
  SaveToStream(&file);
}

void TStrings::SaveToFile(const std::string& path) const {
  TFileStream file;
  file.Create(path, fmCreate);
  SaveToStream(&file);
}

// ---- TStrings: updates and assignment --------------------------------------------------

void TStrings::BeginUpdate() {
  if (updateCount == 0) SetUpdateState(true);
  ++updateCount;
}

void TStrings::EndUpdate() {
  if (updateCount == 0) return;
  --updateCount;
  if (updateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(TPersistent* source) {
  auto* strings = dynamic_cast<TStrings*>(source);
  if (strings == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (strings == this) return;
  UpdateScope update(this);
  Clear();
  delimiter = strings->delimiter;
  quoteChar = strings->quoteChar;
  nameValueSeparator = strings->nameValueSeparator;
  strictDelimiter = strings->strictDelimiter;
  AddStrings(strings);
}

// ---- TStringList ---------------------------------------------------------------------

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) throw EStringListError(Format(kIndexError, {index}));
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
    return;
  }
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* object) {
  Changing();
  items.insert(items.begin() + index, Item{s, object});
  Changed();
}

int TStringList::AddObject(const std::string& s, TObject* object) {
  int index = GetCount();
  if (sorted && Find(s, index)) {
    if (duplicates == dupIgnore) return index;
    if (duplicates == dupError) throw EStringListError(kDuplicateError);
  }
  InsertItem(index, s, object);
  return index;
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, TObject* object) {
  if (sorted) throw EStringListError(kSortedError);
  if (index < 0 || index > GetCount()) throw EStringListError(Format(kIndexError, {index}));
  InsertItem(index, s, object);
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items.erase(items.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items.empty()) return;
  Changing();
  items.clear();
  items.shrink_to_fit();
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  if (sorted) throw EStringListError(kSortedError);
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items[index1], items[index2]);
  Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
  if (sorted) throw EStringListError(kSortedError);
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  if (curIndex == newIndex) return;
  Changing();
  Item item = std::move(items[curIndex]);
  items.erase(items.begin() + curIndex);
  items.insert(items.begin() + newIndex, std::move(item));
  Changed();
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
  bool found = false;
  int lo = 0;
  int hi = GetCount() - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int order = CompareStrings(items[mid].text, s);
    if (order < 0) {
      lo = mid + 1;
      continue;
    }
    hi = mid - 1;
    if (order == 0) {
      found = true;
      // Without dupAccept there is one equal item at most; with it, go on to the first.
      if (duplicates != dupAccept) lo = mid;
    }
  }
  index = lo;
  return found;
}

void TStringList::SortItems(TStringListSortCompare compare) {
  size_t n = items.size();
  std::vector<int> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  // The items stay in place while compare reads them by index; the result is applied after.
  StableSort(order, [this, compare](int a, int b) { return compare(this, a, b); });
  if (items.size() != n) return;
  std::vector<Item> sortedItems;
  sortedItems.reserve(n);
  for (int i : order) sortedItems.push_back(std::move(items[i]));
  items = std::move(sortedItems);
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->items[a].text, list->items[b].text);
  });
}

void TStringList::CustomSort(TStringListSortCompare compare) {
  if (sorted || compare == nullptr || items.size() < 2) return;
  Changing();
  SortItems(compare);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (sorted == value) return;
  if (value) Sort();
  sorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (caseSensitive == value) return;
  caseSensitive = value;
  if (!sorted) return;
  // Re-sorted under the new order, or Find would search a list out of order.
  sorted = false;
  Sort();
  sorted = true;
}

void TStringList::SetCapacity(int newCapacity) {
  if (newCapacity < GetCount()) throw EStringListError(Format(kCapacityError, {newCapacity}));
  if (static_cast<size_t>(newCapacity) < items.capacity()) items.shrink_to_fit();
  try {
    items.reserve(static_cast<size_t>(newCapacity));
  } catch (const std::exception&) {
    throw EStringListError(Format(kCapacityError, {newCapacity}));
  }
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return caseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items[index].text;
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items[index].object;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted) throw EStringListError(kSortedError);
  CheckIndex(index);
  Changing();
  items[index].text = s;
  Changed();
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  items[index].object = object;
  Changed();
}
