#include "shell/WideStringList.h"

#include <windows.h>

#include "core/Format.h"
#include "core/MemoryStream.h"
#include "core/Strings.h"
#include "shell/VirtualWideStrings.h"
#include "shell/WideFileStream.h"

TWideStringList::~TWideStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  Clear();
}

void TWideStringList::Error(const char* message, int data) { throw EStringListError(Format(message, {data})); }

int TWideStringList::CompareStrings(const std::u16string& a, const std::u16string& b) {
  return vws::WideStrICompOS(a.c_str(), b.c_str());
}

void TWideStringList::CheckIndex(int index) {
  if (index < 0 || index >= GetCount()) Error("List index out of bounds (%d)", index);
}

void TWideStringList::Changed() {
  if (updateCount == 0 && OnChange) OnChange(this);
}

void TWideStringList::Changing() {
  if (updateCount == 0 && OnChanging) OnChanging(this);
}

void TWideStringList::BeginUpdate() {
  if (updateCount == 0) SetUpdateState(true);
  ++updateCount;
}

void TWideStringList::EndUpdate() {
  if (updateCount == 0) return;
  --updateCount;
  if (updateCount == 0) SetUpdateState(false);
}

void TWideStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

std::u16string TWideStringList::Get(int index) {
  CheckIndex(index);
  return items[static_cast<size_t>(index)].text;
}

int TWideStringList::GetCapacity() { return capacity; }
int TWideStringList::GetCount() { return static_cast<int>(items.size()); }

TObject* TWideStringList::GetObject(int index) {
  CheckIndex(index);
  return items[static_cast<size_t>(index)].object;
}

void TWideStringList::Put(int index, const std::u16string& s) {
  if (sorted) Error("Operation not allowed on sorted list", 0);
  CheckIndex(index);
  Changing();
  items[static_cast<size_t>(index)].text = s;
  Changed();
}

void TWideStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  items[static_cast<size_t>(index)].object = object;
  Changed();
}

void TWideStringList::SetCapacity(int newCapacity) {
  if (newCapacity < GetCount() || newCapacity > kMaxListSize) Error("List capacity out of bounds (%d)", newCapacity);
  if (newCapacity < static_cast<int>(items.capacity())) {
    items.shrink_to_fit();
  } else {
    items.reserve(static_cast<size_t>(newCapacity));
  }
  capacity = newCapacity;
}

void TWideStringList::Grow() {
  int delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
  int next = capacity > kMaxListSize - delta ? kMaxListSize : capacity + delta;
  SetCapacity(next);
}

void TWideStringList::InsertItem(int index, const std::u16string& s, TObject* object) {
  Changing();
  if (GetCount() == capacity) Grow();
  items.insert(items.begin() + index, Item{s, object});
  Changed();
}

int TWideStringList::Add(const std::u16string& s) { return AddObject(s, nullptr); }

int TWideStringList::AddObject(const std::u16string& s, TObject* object) {
  int index;
  if (!sorted) {
    index = GetCount();
  } else if (Find(s, index)) {
    if (duplicates == dupIgnore) return index;
    if (duplicates == dupError) Error("String list does not allow duplicates", 0);
  }
  InsertItem(index, s, object);
  return index;
}

void TWideStringList::AddStrings(TWideStringList* source) {
  if (source == nullptr) return;
  BeginUpdate();
  try {
    // A copy first, so that adding a list to itself terminates.
    std::vector<Item> snapshot = source->items;
    for (const Item& item : snapshot) AddObject(item.text, item.object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TWideStringList::AddStrings(TStrings* source) {
  if (source == nullptr) return;
  BeginUpdate();
  try {
    for (int i = 0; i < source->Count(); ++i) AddObject(vws::FromAnsi(source->Strings(i)), source->Objects(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TWideStringList::Clear() {
  if (GetCount() == 0 && capacity == 0) return;
  Changing();
  // Take the items out at once (erasing from the front one by one is
  // quadratic), then free the owned objects in list order.
  std::vector<Item> doomed;
  doomed.swap(items);
  if (ownsObjects) {
    for (Item& item : doomed)
      if (item.object != nullptr) item.object->Free();
  }
  capacity = 0;
  Changed();
}

void TWideStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  Item& item = items[static_cast<size_t>(index)];
  if (ownsObjects && item.object != nullptr) {
    TObject* doomed = item.object;
    item.object = nullptr;
    doomed->Free();
  }
  items.erase(items.begin() + index);
  Changed();
}

void TWideStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items[static_cast<size_t>(index1)], items[static_cast<size_t>(index2)]);
  Changed();
}

bool TWideStringList::Find(const std::u16string& s, int& index) {
  bool found = false;
  int low = 0;
  int high = GetCount() - 1;
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int c = CompareStrings(items[static_cast<size_t>(mid)].text, s);
    if (c < 0) {
      low = mid + 1;
      continue;
    }
    high = mid - 1;
    if (c == 0) {
      found = true;
      if (duplicates != dupAccept) low = mid;
    }
  }
  index = low;
  return found;
}

int TWideStringList::IndexOf(const std::u16string& s) {
  if (sorted) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < GetCount(); ++i) {
    if (CompareStrings(items[static_cast<size_t>(i)].text, s) == 0) return i;
  }
  return -1;
}

void TWideStringList::Insert(int index, const std::u16string& s) { InsertObject(index, s, nullptr); }

void TWideStringList::InsertObject(int index, const std::u16string& s, TObject* object) {
  if (sorted) Error("Operation not allowed on sorted list", 0);
  if (index < 0 || index > GetCount()) Error("List index out of bounds (%d)", index);
  InsertItem(index, s, object);
}

void TWideStringList::QuickSort(int left, int right, TCompare compare) {
  while (left < right) {
    int i = left;
    int j = right;
    int pivot = left + (right - left) / 2;
    while (i <= j) {
      while (compare(this, i, pivot) < 0) ++i;
      while (compare(this, j, pivot) > 0) --j;
      if (i > j) break;
      if (i != j) {
        std::swap(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]);
        // The pivot travels with its item.
        if (pivot == i) {
          pivot = j;
        } else if (pivot == j) {
          pivot = i;
        }
      }
      ++i;
      --j;
    }
    // Recursing on the smaller part and looping on the larger bounds the depth by log2 of the count.
    if (j - left < right - i) {
      if (left < j) QuickSort(left, j, compare);
      left = i;
    } else {
      if (i < right) QuickSort(i, right, compare);
      right = j;
    }
  }
}

void TWideStringList::CustomSort(TCompare compare) {
  if (sorted || GetCount() <= 1 || compare == nullptr) return;
  Changing();
  QuickSort(0, GetCount() - 1, compare);
  Changed();
}

void TWideStringList::Sort() {
  CustomSort([](TWideStringList* list, int a, int b) {
    return CompareStrings(list->items[static_cast<size_t>(a)].text, list->items[static_cast<size_t>(b)].text);
  });
}

void TWideStringList::SetSorted(bool value) {
  if (sorted == value) return;
  if (value) Sort();
  sorted = value;
}

std::u16string TWideStringList::Text() {
  std::u16string out;
  for (const Item& item : items) {
    out += item.text;
    out += u"\r\n";
  }
  return out;
}

void TWideStringList::SetText(const std::u16string& text) {
  BeginUpdate();
  try {
    Clear();
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
      char16_t c = text[i];
      bool end = c == 10 || c == 11 || c == 12 || c == 13 || c == 0x2028 || c == 0x2029;
      if (!end) {
        ++i;
        continue;
      }
      Add(text.substr(start, i - start));
      if (c == 13 && i + 1 < text.size() && text[i + 1] == 10) ++i;
      ++i;
      start = i;
    }
    if (start < text.size()) Add(text.substr(start));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TWideStringList::LoadFromStream(TStream* stream) {
  int64_t size = stream->Size() - stream->Position();
  if (size < 0) size = 0;
  if (size > INT32_MAX) throw EReadError("Stream read error");
  std::u16string text;
  uint8_t mark[2] = {0, 0};
  bool wideText = false;
  bool bigEndian = false;
  // A stream too short for a mark can only be ANSI text.
  if (size >= 2) {
    stream->ReadBuffer(mark, 2);
    wideText = (mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF);
    bigEndian = mark[0] == 0xFE;
    if (!wideText) stream->Seek(-2, soCurrent);
  }
  if (wideText) {
    size_t chars = static_cast<size_t>((size - 2) / 2);
    text.resize(chars);
    if (chars > 0) stream->ReadBuffer(text.data(), static_cast<int32_t>(chars * 2));
    // An odd trailing byte is no character: step over it.
    if ((size - 2) % 2 != 0) stream->Seek(1, soCurrent);
    if (bigEndian) {
      for (char16_t& c : text) c = static_cast<char16_t>((c >> 8) | (c << 8));
    }
  } else {
    std::string ansi(static_cast<size_t>(size), '\0');
    if (size > 0) stream->ReadBuffer(ansi.data(), static_cast<int32_t>(size));
    text = vws::FromAnsi(ansi);
  }
  SetText(text);
}

void TWideStringList::SaveToStream(TStream* stream) {
  static const uint8_t kMark[2] = {0xFF, 0xFE};
  stream->WriteBuffer(kMark, 2);
  std::u16string text = Text();
  if (!text.empty()) stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size() * 2));
}

void TWideStringList::LoadFromFile(const std::u16string& fileName) {
  TWideFileStream* stream = New<TWideFileStream>(fileName, static_cast<uint16_t>(fmOpenRead | fmShareDenyNone));
  try {
    LoadFromStream(stream);
  } catch (...) {
    stream->Free();
    throw;
  }
  stream->Free();
}

void TWideStringList::SaveToFile(const std::u16string& fileName) {
  if (vws::UseWideApi()) {
    TWideFileStream* stream = New<TWideFileStream>(fileName, fmCreate);
    try {
      SaveToStream(stream);
    } catch (...) {
      stream->Free();
      throw;
    }
    stream->Free();
    return;
  }
  TStringList* ansi = New<TStringList>();
  try {
    AssignTo(ansi);
    ansi->SaveToFile(vws::ToAnsi(fileName));
  } catch (...) {
    ansi->Free();
    throw;
  }
  ansi->Free();
}

void TWideStringList::Assign(TPersistent* source) {
  if (auto* list = dynamic_cast<TWideStringList*>(source)) {
    if (list == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(list);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  if (auto* strings = dynamic_cast<TStrings*>(source)) {
    BeginUpdate();
    try {
      Clear();
      AddStrings(strings);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

void TWideStringList::AssignTo(TPersistent* dest) {
  if (auto* list = dynamic_cast<TWideStringList*>(dest)) {
    list->Assign(this);
    return;
  }
  if (auto* strings = dynamic_cast<TStrings*>(dest)) {
    strings->BeginUpdate();
    try {
      strings->Clear();
      for (const Item& item : items) strings->AddObject(vws::ToAnsi(item.text), item.object);
    } catch (...) {
      strings->EndUpdate();
      throw;
    }
    strings->EndUpdate();
    return;
  }
  TPersistent::AssignTo(dest);
}
