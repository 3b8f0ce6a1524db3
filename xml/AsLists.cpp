#include "xml/AsLists.h"

#include <algorithm>

#include "core/Format.h"
#include "xml/AsObjects.h"
#include "xml/AsObjectsNS.h"
#include "xml/DomException.h"

namespace {
[[noreturn]] void RaiseIndexError(int index) {
  throw EListError(Format("List index out of bounds (%d)", {index}));
}
}  // namespace

template <class T>
T* TdomASObjectListOf<T>::appendASObject(T* obj) {
  items.push_back(obj);
  return obj;
}

template <class T>
void TdomASObjectListOf<T>::Delete(int index) {
  if (index < 0 || index >= GetLength()) RaiseIndexError(index);
  items.erase(items.begin() + index);
}

template <class T>
int TdomASObjectListOf<T>::IndexOf(const T* obj) const {
  auto it = std::find(items.begin(), items.end(), obj);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

template <class T>
T* TdomASObjectListOf<T>::insertBefore(T* newObj, const T* refObj) {
  if (refObj == nullptr) return appendASObject(newObj);
  int index = IndexOf(refObj);
  if (index < 0) RaiseIndexError(index);
  items.insert(items.begin() + index, newObj);
  return newObj;
}

template <class T>
T* TdomASObjectListOf<T>::removeASObject(T* obj) {
  int index = IndexOf(obj);
  if (index >= 0) items.erase(items.begin() + index);
  return obj;
}

template <class T>
T* TdomASObjectListOf<T>::item(int index) const {
  if (index < 0 || index >= GetLength()) return nullptr;
  return items[static_cast<size_t>(index)];
}

template class TdomASObjectListOf<TdomASObject>;
template class TdomASObjectListOf<TdomASObjectNS>;

// --- TdomASNamedObjectMap ------------------------------------------------------------

void TdomASNamedObjectMap::Erase(TdomASObject* obj) {
  items.erase(std::find(items.begin(), items.end(), obj));
  byName.erase(obj->GetName());
}

TdomASObject* TdomASNamedObjectMap::removeNamedItem(const std::u16string& name) {
  TdomASObject* obj = getNamedItem(name);
  if (obj == nullptr) throw ENot_Found_Err(DomMessage::kNotFoundError);
  Erase(obj);
  return obj;
}

TdomASObject* TdomASNamedObjectMap::setNamedItem(TdomASObject* obj) {
  TdomASObject* old = getNamedItem(obj->GetName());
  if (old != nullptr) Erase(old);
  items.push_back(obj);
  byName[obj->GetName()] = obj;
  return old;
}

void TdomASNamedObjectMap::Clear() {
  items.clear();
  byName.clear();
}

TdomASObject* TdomASNamedObjectMap::getNamedItem(const std::u16string& name) const {
  auto it = byName.find(name);
  return it == byName.end() ? nullptr : it->second;
}

TdomASObject* TdomASNamedObjectMap::item(int index) const {
  if (index < 0 || index >= GetLength()) return nullptr;
  return items[static_cast<size_t>(index)];
}

// --- TdomASNamedObjectMapNS ----------------------------------------------------------

void TdomASNamedObjectMapNS::Erase(TdomASObjectNS* obj) {
  items.erase(std::find(items.begin(), items.end(), obj));
  byName.erase(Key(obj->NamespaceURI(), obj->LocalName()));
}

TdomASObjectNS* TdomASNamedObjectMapNS::removeNamedItemNS(const std::u16string& namespaceURI,
                                                          const std::u16string& localName) {
  TdomASObjectNS* obj = getNamedItemNS(namespaceURI, localName);
  if (obj == nullptr) throw ENot_Found_Err(DomMessage::kNodeNotFoundError);
  Erase(obj);
  return obj;
}

TdomASObjectNS* TdomASNamedObjectMapNS::setNamedItemNS(TdomASObjectNS* obj) {
  TdomASObjectNS* old = getNamedItemNS(obj->NamespaceURI(), obj->LocalName());
  if (old != nullptr) Erase(old);
  items.push_back(obj);
  byName[Key(obj->NamespaceURI(), obj->LocalName())] = obj;
  return old;
}

void TdomASNamedObjectMapNS::Clear() {
  items.clear();
  byName.clear();
}

TdomASObjectNS* TdomASNamedObjectMapNS::getNamedItemNS(const std::u16string& namespaceURI,
                                                       const std::u16string& localName) const {
  auto it = byName.find(Key(namespaceURI, localName));
  return it == byName.end() ? nullptr : it->second;
}

TdomASObjectNS* TdomASNamedObjectMapNS::item(int index) const {
  if (index < 0 || index >= GetLength()) return nullptr;
  return items[static_cast<size_t>(index)];
}
