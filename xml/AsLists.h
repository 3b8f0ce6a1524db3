#pragma once
// The containers of the abstract-schema (DTD) model: ordered object lists and
// maps of objects by name, plain and namespace-aware. They hold references
// only: freeing a container never frees the objects in it.
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Object.h"

class TdomASObject;
class TdomASObjectNS;

// An ordered list of object references; the NS variant behaves alike.
template <class T>
class TdomASObjectListOf : public TObject {
public:
  // Appends obj; returns it.
  virtual T* appendASObject(T* obj);
  // Removes the entry at index; EListError "List index out of bounds (%d)" outside the list.
  virtual void Delete(int index);
  // Position of the first occurrence, -1 when absent.
  virtual int IndexOf(const T* obj) const;
  // Inserts newObj at refObj's position (null: appends); a refObj not in the
  // list raises the list's index error and changes nothing. Returns newObj.
  virtual T* insertBefore(T* newObj, const T* refObj);
  virtual int GetLength() const { return static_cast<int>(items.size()); }
  // Removes the first occurrence, if any; returns obj.
  virtual T* removeASObject(T* obj);
  // The object at index, or null outside 0..length-1.
  virtual T* item(int index) const;
  void Clear() { items.clear(); }

private:
  std::vector<T*> items;
};

class TdomASObjectList : public TdomASObjectListOf<TdomASObject> {};
class TdomASObjectListNS : public TdomASObjectListOf<TdomASObjectNS> {};

// Objects by their name (GetName), exact comparison, in insertion order.
class TdomASNamedObjectMap : public TObject {
public:
  // owner_ is remembered, not owned.
  void Create(TObject* owner_) { owner = owner_; }
  virtual int GetLength() const { return static_cast<int>(items.size()); }
  // Removes and returns the object named name; ENot_Found_Err "Not found error." when absent.
  virtual TdomASObject* removeNamedItem(const std::u16string& name);
  // Puts obj at the end; an object of the same name is taken out first and
  // returned (not freed), else null.
  virtual TdomASObject* setNamedItem(TdomASObject* obj);
  virtual void Clear();
  // The object named name, or null.
  virtual TdomASObject* getNamedItem(const std::u16string& name) const;
  // The object at index, or null outside 0..length-1.
  virtual TdomASObject* item(int index) const;
  TObject* Owner() const { return owner; }

private:
  void Erase(TdomASObject* obj);

  TObject* owner = nullptr;  // not owned
  std::vector<TdomASObject*> items;
  std::unordered_map<std::u16string, TdomASObject*> byName;
};

// Objects by namespace URI and local name, in insertion order.
class TdomASNamedObjectMapNS : public TObject {
public:
  void Create(TObject* owner_) { owner = owner_; }
  virtual int GetLength() const { return static_cast<int>(items.size()); }
  // ENot_Found_Err "Node not found error." when absent.
  virtual TdomASObjectNS* removeNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName);
  virtual TdomASObjectNS* setNamedItemNS(TdomASObjectNS* obj);
  virtual void Clear();
  virtual TdomASObjectNS* getNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  virtual TdomASObjectNS* item(int index) const;
  TObject* Owner() const { return owner; }

private:
  using Key = std::pair<std::u16string, std::u16string>;
  void Erase(TdomASObjectNS* obj);

  TObject* owner = nullptr;  // not owned
  std::vector<TdomASObjectNS*> items;
  std::map<Key, TdomASObjectNS*> byName;
};
