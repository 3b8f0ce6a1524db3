#include "xml/WideStrNameValueList.h"

#include <cstdint>
#include <string>
#include <utility>

#include "core/Exception.h"

namespace {

void* IndexAsObject(int index) { return reinterpret_cast<void*>(static_cast<intptr_t>(index)); }
int ObjectAsIndex(void* object) { return static_cast<int>(reinterpret_cast<intptr_t>(object)); }

}  // namespace

TUtilsNameValueList::TUtilsNameValueList() : names(New<TUtilsWideStringList>()), values(New<TUtilsWideStringList>()) {}

TUtilsNameValueList::~TUtilsNameValueList() {
  FreeAndNil(names);
  FreeAndNil(values);
}

// Both lists as they were, put back when an operation over several entries fails.
struct TUtilsNameValueList::TSnapshot {
  std::vector<TUtilsWideStringItem> names, values;
  int namesCapacity, valuesCapacity;
};

TUtilsNameValueList::TSnapshot TUtilsNameValueList::TakeSnapshot() const {
  return TSnapshot{names->items, values->items, names->capacity, values->capacity};
}

void TUtilsNameValueList::RestoreSnapshot(TSnapshot& saved) {
  names->items = std::move(saved.names);
  values->items = std::move(saved.values);
  names->capacity = saved.namesCapacity;
  values->capacity = saved.valuesCapacity;
}

void TUtilsNameValueList::Assign(TPersistent* source) {
  auto* list = dynamic_cast<TUtilsNameValueList*>(source);
  if (list == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (list == this) return;
  TSnapshot saved = TakeSnapshot();
  try {
    Clear();
    AddNameValueList(list);
  } catch (...) {
    RestoreSnapshot(saved);
    throw;
  }
}

int TUtilsNameValueList::GetCount() const { return names->GetCount(); }

int TUtilsNameValueList::GetCapacity() const { return names->GetCapacity(); }

std::u16string TUtilsNameValueList::GetName(int index) const { return names->Get(index); }

void* TUtilsNameValueList::GetObject(int index) const { return values->GetObject(ValueIndex(index)); }

std::u16string TUtilsNameValueList::GetValue(int index) const { return values->Get(ValueIndex(index)); }

void TUtilsNameValueList::PutObject(int index, void* object) { values->PutObject(ValueIndex(index), object); }

void TUtilsNameValueList::SetCapacity(int newCapacity) {
  names->SetCapacity(newCapacity);
  // Values may hold more entries than Names (dupIgnore keeps appending them).
  if (newCapacity >= values->GetCount()) values->SetCapacity(newCapacity);
}

int TUtilsNameValueList::Add(std::u16string_view name, std::u16string_view value) {
  return AddObject(name, value, nullptr);
}

int TUtilsNameValueList::AddObject(std::u16string_view name, std::u16string_view value, void* object) {
  // The name goes in first, pointing at the slot the value will take: a
  // refused name then leaves no orphan value behind.
  int valueIndex = values->GetCount();
  int index = names->AddObject(name, IndexAsObject(valueIndex));
  try {
    values->AddObject(value, object);
  } catch (...) {
    if (ObjectAsIndex(names->GetObject(index)) == valueIndex && names->Get(index) == name) names->Delete(index);
    throw;
  }
  return index;
}

void TUtilsNameValueList::AddNameValueList(const TUtilsNameValueList* source) {
  if (source == nullptr) return;
  std::vector<std::u16string> sourceNames, sourceValues;
  std::vector<void*> sourceObjects;
  for (int i = 0; i < source->GetCount(); ++i) {
    sourceNames.push_back(source->GetName(i));
    sourceValues.push_back(source->GetValue(i));
    sourceObjects.push_back(source->GetObject(i));
  }
  TSnapshot saved = TakeSnapshot();
  names->BeginUpdate();
  values->BeginUpdate();
  try {
    for (size_t i = 0; i < sourceNames.size(); ++i) AddObject(sourceNames[i], sourceValues[i], sourceObjects[i]);
  } catch (...) {
    RestoreSnapshot(saved);
    names->EndUpdate();
    values->EndUpdate();
    throw;
  }
  names->EndUpdate();
  values->EndUpdate();
}

void TUtilsNameValueList::Clear() {
  names->Clear();
  values->Clear();
}

void TUtilsNameValueList::Delete(int index) { names->Delete(index); }

void TUtilsNameValueList::Exchange(int index1, int index2) { names->Exchange(index1, index2); }

int TUtilsNameValueList::IndexOfNameValue(std::u16string_view name, std::u16string_view value) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (names->Get(i) == name && GetValue(i) == value) return i;
  }
  return -1;
}

int TUtilsNameValueList::LastIndexOfNameValue(std::u16string_view name, std::u16string_view value) const {
  for (int i = GetCount() - 1; i >= 0; --i) {
    if (names->Get(i) == name && GetValue(i) == value) return i;
  }
  return -1;
}

int TUtilsNameValueList::LastIndexOfName(std::u16string_view name) const { return names->LastIndexOf(name); }

int TUtilsNameValueList::IndexOfName(std::u16string_view name) const { return names->IndexOf(name); }

void TUtilsNameValueList::Insert(int index, std::u16string_view name, std::u16string_view value) {
  int valueIndex = values->GetCount();
  names->InsertObject(index, name, IndexAsObject(valueIndex));
  try {
    values->Add(value);
  } catch (...) {
    names->Delete(index);
    throw;
  }
}

bool TUtilsNameValueList::FindNameValue(std::u16string_view name, std::u16string_view value, int& index) const {
  if (names->Duplicates() == dupAccept) {
    index = IndexOfNameValue(name, value);
    return index >= 0;
  }
  if (FindName(name, index) && GetValue(index) == value) return true;
  index = -1;
  return false;
}

bool TUtilsNameValueList::FindName(std::u16string_view name, int& index) const { return names->Find(name, index); }

void TUtilsNameValueList::Sort() { names->Sort(); }

void TUtilsNameValueList::SetSorted(bool value) { names->SetSorted(value); }

void TUtilsNameValueList::SetDuplicates(TDuplicates value) { names->SetDuplicates(value); }

void TUtilsNameValueList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) {
    throw EStringListError("List Index out of bounds (" + std::to_string(index) + ")");
  }
}

int TUtilsNameValueList::ValueIndex(int index) const {
  CheckIndex(index);
  return ObjectAsIndex(names->GetObject(index));
}

void TUtilsNameValueList::RefillSorted(const std::u16string_view* names_, const std::u16string_view* values_,
                                       const int* order, int count) {
  // Each name carries the index of its value, as Add leaves it.
  values->Refill(values_, nullptr, count);
  names->Refill(names_, order, count);
}
