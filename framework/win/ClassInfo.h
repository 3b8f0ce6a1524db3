#pragma once
// Published properties: one small table per class (TClassInfo: name, parent,
// factory, properties), registered once, so that form definitions can create
// components by class name and set their properties by name.
//
// Window-free: the tables only hold typed accessors. A class registers itself
// from its own .cpp with a static registrar:
//
//   static const TClassRegistrar<TButton, TWinControl> kRegistrar("TButton", {
//       Prop("Default", &TButton::Default, &TButton::SetDefault),
//       EnumProp("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, kModalResultNames),
//       EventProp("OnClick", &TButton::OnClick),
//   });
//
// Lookups search the class, then its parents. Property and class names ignore
// ASCII case. Destroying nothing: tables live for the whole process.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "core/Component.h"
#include "core/Events.h"
#include "core/Exception.h"
#include "core/Set.h"

class TStrings;
struct TFormValue;

// Raised for unknown classes or properties and for values of the wrong kind.
QV_DECLARE_EXCEPTION(EPropertyError, Exception);
QV_DECLARE_EXCEPTION(EClassNotFound, Exception);

enum TPropKind {
  pkInteger,     // int64 through ord accessors
  pkBool,        // 0/1 through ord accessors
  pkEnum,        // ordinal through ord accessors, names in enumNames
  pkSet,         // bit mask (bit n = ordinal n) through ord accessors
  pkColor,       // TColor through ord accessors; names like clBtnFace
  pkCursor,      // TCursor through ord accessors; names like crHandPoint
  pkFloat,       // double
  pkString,      // 8-bit text (system code page)
  pkWideString,  // UTF-16 text
  pkStrings,     // a TStrings owned by the object (memo lines, combo items)
  pkObject,      // a persistent owned by the object (Font); set through sub-properties
  pkComponent,   // a reference to another component, fixed up by name after loading
  pkMethod,      // an event, bound by method name to the root of the definition
  pkCollection,  // a list of items each with published properties (list-view columns)
  pkBinary,      // bytes (picture data)
  pkDefined,     // a value the class reads itself (readDefined); never written
};

// Names of an enumeration's values, by ordinal from 0.
using TEnumNames = std::vector<std::string>;

// The ordinal of name in names (ignoring ASCII case), or -1.
int EnumOrdinal(const TEnumNames& names, std::string_view name);
// The name of ordinal, or the decimal ordinal when it has none.
std::string EnumName(const TEnumNames& names, int64_t ordinal);

struct TPropInfo {
  std::string name;
  TPropKind kind = pkInteger;
  const TEnumNames* enumNames = nullptr;  // pkEnum, pkSet

  std::function<int64_t(TObject*)> getOrd;
  std::function<void(TObject*, int64_t)> setOrd;
  std::function<double(TObject*)> getFloat;
  std::function<void(TObject*, double)> setFloat;
  std::function<std::string(TObject*)> getStr;
  std::function<void(TObject*, const std::string&)> setStr;
  std::function<std::u16string(TObject*)> getWide;
  std::function<void(TObject*, const std::u16string&)> setWide;
  // pkStrings, pkObject, pkComponent, pkCollection: the object held.
  std::function<TObject*(TObject*)> getObj;
  // pkComponent: sets the reference (null clears); raises EPropertyError for a wrong class.
  std::function<void(TObject*, TComponent*)> setComponent;
  std::function<TMethod(TObject*)> getMethod;
  std::function<void(TObject*, const TMethod&)> setMethod;
  // pkCollection: clear, add a new item and return it, count, item at index.
  std::function<void(TObject*)> clearItems;
  std::function<TObject*(TObject*)> addItem;
  std::function<int(TObject*)> itemCount;
  std::function<TObject*(TObject*, int)> itemAt;
  std::function<std::vector<uint8_t>(TObject*)> getBinary;
  std::function<void(TObject*, const std::vector<uint8_t>&)> setBinary;
  // pkDefined: reads a value as the definition holds it (any kind); raises
  // EPropertyError for a value it cannot take.
  std::function<void(TObject*, const TFormValue&)> readDefined;
  // Whether WriteFormDefinition writes the property for obj; empty: always. A
  // property kept only to read older definitions answers false.
  std::function<bool(TObject*)> stored;
};

// prop, written only when stored(obj) says so.
inline TPropInfo Stored(TPropInfo prop, std::function<bool(TObject*)> stored) {
  prop.stored = std::move(stored);
  return prop;
}


struct TClassInfo {
  std::string name;
  std::type_index type = typeid(void);
  std::type_index parentType = typeid(void);  // typeid(void) at the root of registered classes
  // Creates a component of this class owned by owner (New<T>(owner)); empty for
  // classes that are not made by name (collection items, fonts).
  std::function<TComponent*(TComponent* owner)> create;
  // Makes child (created inside this object in a definition) a child of parent:
  // controls become parent's children, menu items parent's items. Empty: none.
  std::function<void(TComponent* parent, TComponent* child)> addChild;
  // The component a definition nests child (of this class) in, or null for the
  // root: controls answer their Parent, menu items their parent item or menu.
  // Empty: the root. Used when writing definitions.
  std::function<TComponent*(TComponent* child)> parentOf;
  // True when obj is of this class or derives from it.
  std::function<bool(const TObject* obj)> isInstance;
  std::vector<TPropInfo> props;

  // The registered parent, or null.
  const TClassInfo* Parent() const;
  // The property named name here or in a parent, or null.
  const TPropInfo* FindProp(std::string_view name) const;
  // The nearest addChild up the chain, or null.
  const std::function<void(TComponent*, TComponent*)>* FindAddChild() const;
  // The nearest parentOf up the chain, or null.
  const std::function<TComponent*(TComponent*)>* FindParentOf() const;
  // Every property of the class, parents' first, in declaration order.
  std::vector<const TPropInfo*> AllProps() const;
  // True when this class is ancestor or derives from it.
  bool InheritsFrom(const TClassInfo* ancestor) const;
};

// Registers info (replacing an earlier registration of the same type).
void RegisterClassInfo(TClassInfo info);
// The class registered under name (ignoring ASCII case), or null.
const TClassInfo* FindClassInfo(std::string_view name);
// The class registered for type, or null.
const TClassInfo* FindClassInfo(std::type_index type);
// The class of obj's dynamic type; when that type is not registered (a form
// class declared by a program), the registered class nearest above it that obj
// inherits from. Null for null obj or when nothing fits.
const TClassInfo* ClassInfoOf(const TObject* obj);
// The property name of obj's class, or null (null obj gives null).
const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name);

// Sets the published string property name of instance to value when value is
// not empty and the class has such a property (8-bit or wide); otherwise nothing.
void SetStrPropByName(TObject* instance, std::string_view name, const std::string& value);
// The string property name of instance, or "" when there is none.
std::string GetStrPropByName(TObject* instance, std::string_view name);

// Registers class C (derived from Base) once at start-up with its properties.
// Components get a factory New<C>(owner) unless C is abstract.
template <class C, class Base>
struct TClassRegistrar {
  TClassRegistrar(const char* name, std::initializer_list<TPropInfo> props,
                  std::function<void(TComponent*, TComponent*)> addChild = nullptr,
                  std::function<TComponent*(TComponent*)> parentOf = nullptr) {
    TClassInfo info;
    info.name = name;
    info.type = typeid(C);
    info.parentType = std::is_same_v<Base, void> ? std::type_index(typeid(void)) : std::type_index(typeid(Base));
    info.props.assign(props.begin(), props.end());
    info.addChild = std::move(addChild);
    info.parentOf = std::move(parentOf);
    info.isInstance = [](const TObject* obj) { return dynamic_cast<const C*>(obj) != nullptr; };
    if constexpr (std::is_base_of_v<TComponent, C> && !std::is_abstract_v<C>)
      info.create = [](TComponent* owner) -> TComponent* { return New<C>(owner); };
    RegisterClassInfo(std::move(info));
  }
};

namespace prop_detail {

template <class T>
struct IsSet : std::false_type {};
template <class E, std::size_t N>
struct IsSet<TSet<E, N>> : std::true_type {
  using Item = E;
};

template <class C>
C* Cast(TObject* obj) {
  return static_cast<C*>(obj);
}

}  // namespace prop_detail

// A property read and written through member functions. The kind follows the
// value type: bool, integers, double, std::string, std::u16string.
template <class C, class G, class S>
TPropInfo Prop(const char* name, G (C::*get)() const, void (C::*set)(S)) {
  using V = std::remove_cvref_t<G>;
  TPropInfo p;
  p.name = name;
  if constexpr (std::is_same_v<V, bool>) {
    p.kind = pkBool;
    p.getOrd = [get](TObject* o) -> int64_t { return (prop_detail::Cast<C>(o)->*get)() ? 1 : 0; };
    p.setOrd = [set](TObject* o, int64_t v) { (prop_detail::Cast<C>(o)->*set)(v != 0); };
  } else if constexpr (std::is_integral_v<V>) {
    p.kind = pkInteger;
    p.getOrd = [get](TObject* o) -> int64_t { return static_cast<int64_t>((prop_detail::Cast<C>(o)->*get)()); };
    p.setOrd = [set](TObject* o, int64_t v) { (prop_detail::Cast<C>(o)->*set)(static_cast<V>(v)); };
  } else if constexpr (std::is_floating_point_v<V>) {
    p.kind = pkFloat;
    p.getFloat = [get](TObject* o) -> double { return (prop_detail::Cast<C>(o)->*get)(); };
    p.setFloat = [set](TObject* o, double v) { (prop_detail::Cast<C>(o)->*set)(static_cast<V>(v)); };
  } else if constexpr (std::is_same_v<V, std::string>) {
    p.kind = pkString;
    p.getStr = [get](TObject* o) -> std::string { return (prop_detail::Cast<C>(o)->*get)(); };
    p.setStr = [set](TObject* o, const std::string& v) { (prop_detail::Cast<C>(o)->*set)(v); };
  } else if constexpr (std::is_same_v<V, std::u16string>) {
    p.kind = pkWideString;
    p.getWide = [get](TObject* o) -> std::u16string { return (prop_detail::Cast<C>(o)->*get)(); };
    p.setWide = [set](TObject* o, const std::u16string& v) { (prop_detail::Cast<C>(o)->*set)(v); };
  } else {
    static_assert(sizeof(V) == 0, "use EnumProp, SetProp, ColorProp or ObjectProp for this type");
  }
  return p;
}

// An integer property that holds a colour (TColor): written as clXxx names or hex.
template <class C, class G, class S>
TPropInfo ColorProp(const char* name, G (C::*get)() const, void (C::*set)(S)) {
  TPropInfo p = Prop(name, get, set);
  p.kind = pkColor;
  return p;
}

// An integer property that holds a cursor (TCursor): written as crXxx names.
template <class C, class G, class S>
TPropInfo CursorProp(const char* name, G (C::*get)() const, void (C::*set)(S)) {
  TPropInfo p = Prop(name, get, set);
  p.kind = pkCursor;
  return p;
}

// An enumeration property; names lists the values by ordinal.
template <class C, class E, class S>
TPropInfo EnumProp(const char* name, E (C::*get)() const, void (C::*set)(S), const TEnumNames& names) {
  TPropInfo p;
  p.name = name;
  p.kind = pkEnum;
  p.enumNames = &names;
  p.getOrd = [get](TObject* o) -> int64_t { return static_cast<int64_t>((prop_detail::Cast<C>(o)->*get)()); };
  p.setOrd = [set, &names](TObject* o, int64_t v) {
    if (v < 0 || v >= static_cast<int64_t>(names.size())) throw EPropertyError("Invalid property value");
    (prop_detail::Cast<C>(o)->*set)(static_cast<E>(v));
  };
  return p;
}

// A set property (TSet<E>); names lists the element values by ordinal.
template <class C, class G, class S>
TPropInfo SetOfProp(const char* name, G (C::*get)() const, void (C::*set)(S), const TEnumNames& names) {
  using V = std::remove_cvref_t<G>;
  using E = typename prop_detail::IsSet<V>::Item;
  TPropInfo p;
  p.name = name;
  p.kind = pkSet;
  p.enumNames = &names;
  p.getOrd = [get, &names](TObject* o) -> int64_t {
    V value = (prop_detail::Cast<C>(o)->*get)();
    int64_t mask = 0;
    for (size_t i = 0; i < names.size(); ++i)
      if (value.Contains(static_cast<E>(i))) mask |= int64_t{1} << i;
    return mask;
  };
  p.setOrd = [set, &names](TObject* o, int64_t mask) {
    V value;
    for (size_t i = 0; i < names.size(); ++i)
      if (mask & (int64_t{1} << i)) value.Include(static_cast<E>(i));
    (prop_detail::Cast<C>(o)->*set)(value);
  };
  return p;
}

// A TStrings owned by the object: a definition lists its lines.
template <class C, class T>
TPropInfo StringsProp(const char* name, T* (C::*get)() const) {
  TPropInfo p;
  p.name = name;
  p.kind = pkStrings;
  p.getObj = [get](TObject* o) -> TObject* { return (prop_detail::Cast<C>(o)->*get)(); };
  return p;
}

// A persistent owned by the object (TFont, TPicture): set through dotted names.
template <class C, class T>
TPropInfo ObjectProp(const char* name, T* (C::*get)() const) {
  TPropInfo p;
  p.name = name;
  p.kind = pkObject;
  p.getObj = [get](TObject* o) -> TObject* { return (prop_detail::Cast<C>(o)->*get)(); };
  return p;
}

// A reference to a component of class T (or derived), fixed up by name.
template <class C, class T, class S>
TPropInfo ComponentProp(const char* name, T* (C::*get)() const, void (C::*set)(S)) {
  TPropInfo p;
  p.name = name;
  p.kind = pkComponent;
  p.getObj = [get](TObject* o) -> TObject* { return dynamic_cast<TObject*>((prop_detail::Cast<C>(o)->*get)()); };
  p.setComponent = [set, name](TObject* o, TComponent* value) {
    T* typed = dynamic_cast<T*>(value);
    if (value != nullptr && typed == nullptr)
      throw EPropertyError(std::string("Invalid component class for property ") + name);
    (prop_detail::Cast<C>(o)->*set)(typed);
  };
  return p;
}

// An event held in a public member (OnClick), a plain one or one only its
// owner's door fires; bound by method name.
template <class C, class E>
  requires requires(const E& e) { e.Method(); E(TMethod()); }
TPropInfo EventProp(const char* name, E C::*member) {
  TPropInfo p;
  p.name = name;
  p.kind = pkMethod;
  p.getMethod = [member](TObject* o) -> TMethod { return (prop_detail::Cast<C>(o)->*member).Method(); };
  p.setMethod = [member](TObject* o, const TMethod& m) { prop_detail::Cast<C>(o)->*member = E(m); };
  return p;
}

// An event read and written through accessors (an event the object passes on
// to a part it owns); bound by method name.
template <class C, class Sig>
TPropInfo EventProp(const char* name, TEvent<Sig> (C::*get)() const, void (C::*set)(TEvent<Sig>)) {
  TPropInfo p;
  p.name = name;
  p.kind = pkMethod;
  p.getMethod = [get](TObject* o) -> TMethod { return (prop_detail::Cast<C>(o)->*get)().Method(); };
  p.setMethod = [set](TObject* o, const TMethod& m) { (prop_detail::Cast<C>(o)->*set)(TEvent<Sig>(m)); };
  return p;
}

// A collection: clear, add, count and item accessors of the owning object.
template <class C>
TPropInfo CollectionProp(const char* name, std::function<void(C*)> clear, std::function<TObject*(C*)> add,
                         std::function<int(C*)> count, std::function<TObject*(C*, int)> item) {
  TPropInfo p;
  p.name = name;
  p.kind = pkCollection;
  p.clearItems = [clear](TObject* o) { clear(prop_detail::Cast<C>(o)); };
  p.addItem = [add](TObject* o) { return add(prop_detail::Cast<C>(o)); };
  p.itemCount = [count](TObject* o) { return count(prop_detail::Cast<C>(o)); };
  p.itemAt = [item](TObject* o, int i) { return item(prop_detail::Cast<C>(o), i); };
  return p;
}

// A stored value that class C reads itself and never writes: older
// definitions may hold a property the class no longer publishes.
template <class C>
TPropInfo DefinedProp(const char* name, void (*reader)(C* obj, const TFormValue& value)) {
  TPropInfo p;
  p.name = name;
  p.kind = pkDefined;
  p.readDefined = [reader](TObject* obj, const TFormValue& value) { reader(prop_detail::Cast<C>(obj), value); };
  p.stored = [](TObject*) { return false; };
  return p;
}

// Bytes read and written through member functions (picture data).
template <class C, class G, class S>
TPropInfo BinaryProp(const char* name, G (C::*get)() const, void (C::*set)(S)) {
  TPropInfo p;
  p.name = name;
  p.kind = pkBinary;
  p.getBinary = [get](TObject* o) -> std::vector<uint8_t> { return (prop_detail::Cast<C>(o)->*get)(); };
  p.setBinary = [set](TObject* o, const std::vector<uint8_t>& v) { (prop_detail::Cast<C>(o)->*set)(v); };
  return p;
}
