#pragma once
// The root class of the class library and its two-phase construction.
//
// A class is made with New<T>(args...): the C++ constructor runs first and must
// do nothing virtual; then the virtual Create(args...) phase runs on the whole
// object, so a virtual call made there reaches the most derived override.
// Derived classes override Create and call the base's Create first, as they
// would call a base constructor. Objects are released with Free().
#include <string_view>
#include <typeinfo>
#include <utility>

struct TMethodEntry;

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();

  // The creation phase of a class without arguments; derived classes add theirs.
  void Create() {}
  // Runs after the last Create of New<T>; nothing by default.
  virtual void AfterConstruction();
  // Runs in Free() before the destructor, on the whole object; nothing by default.
  virtual void BeforeDestruction();
  // BeforeDestruction, then delete (at the last hold's end when held). Must
  // not be called on a null pointer (see FreeAndNil).
  void Free();
  // True once Free was asked of an object that can be held (a component):
  // it is being torn down, or is torn down and kept only for the operations
  // that still hold it. A second Free of such an object does nothing.
  virtual bool Going() const { return false; }

  // Keeps the object's memory alive from construction to destruction of the
  // hold, even when Free is asked meanwhile; the last hold of a freed object
  // deletes it. Only components can be held (for other objects a hold does
  // nothing, and Free deletes at once). Holds are for the thread that owns
  // the object.
  template <void (TObject::*End)()>
  class THeld {
  public:
    explicit THeld(TObject* object_) : object(object_) { object_->Hold(); }
    ~THeld() { (object->*End)(); }
    THeld(const THeld&) = delete;
    THeld& operator=(const THeld&) = delete;

  private:
    TObject* object;
  };
  virtual void Hold() {}
  virtual void Unhold() {}
  // Ends a door's hold (see TDoorHold).
  void UnholdFromDoor();
  using THold = THeld<&TObject::Unhold>;
  // The hold a handler's door takes around the call. When it is the last
  // and the handler left the object something to do at its last hold (it
  // freed it, say), it is handed over (core/HandedOverHolds.h) rather than
  // ended, for the code that opened the door still reads the object.
  using TDoorHold = THeld<&TObject::UnholdFromDoor>;
  // Holds open right now.
  virtual uint32_t HoldCount() const { return 0; }
  // True when the last hold's end has work to do: delete a freed object,
  // release what it keeps for the operations on the stack.
  virtual bool ReleasePending() const { return false; }

  // Objects come from the fenced pages while a test turns fencing on
  // (core/FencedObjects.h), else from the ordinary heap.
  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* block, std::size_t size) noexcept;
  static void operator delete(void* block, const std::nothrow_t&) noexcept;
  static void operator delete(void*, void*) noexcept {}

  // The class name as declared ("TButton"), without namespaces. Never null.
  const char* ClassName() const;
  // True when this object is a T or derives from it.
  template <class T>
  bool InheritsFrom() const {
    return dynamic_cast<const T*>(this) != nullptr;
  }

  // The method published under name (ignoring ASCII case), or null. Classes publish
  // methods with QV_PUBLISHED_METHODS (core/PublishedMethods.h); form loaders bind
  // event handlers by name through it.
  virtual const TMethodEntry* FindMethod(std::string_view name) const;

protected:
  // Asked by Free first: false when Free must do nothing (the object goes already).
  virtual bool BeginRelease() { return true; }
  // Asked by Free after BeforeDestruction: true when the object is held and
  // deletes itself at its last hold's end.
  virtual bool KeepUntilUnheld() { return false; }
};

// The class name of a type as ClassName() gives it ("TButton"). Never null.
const char* ClassNameOf(const std::type_info& type);

// Makes a T in two phases: new T, T::Create(args...), AfterConstruction(). When
// Create raises, the object is deleted (it is not whole, so BeforeDestruction is
// skipped); when AfterConstruction raises, the whole object is freed. Either
// way the exception propagates.
template <class T, class... A>
T* New(A&&... args) {
  T* obj = new T;
  try {
    obj->Create(std::forward<A>(args)...);
  } catch (...) {
    delete obj;
    throw;
  }
  try {
    obj->AfterConstruction();
  } catch (...) {
    obj->Free();
    throw;
  }
  return obj;
}

// Frees obj when it is not null and sets the pointer to null first, so the
// object being freed can no longer be reached through it.
template <class T>
void FreeAndNil(T*& obj) {
  T* doomed = obj;
  obj = nullptr;
  if (doomed != nullptr) doomed->Free();
}
