#pragma once
// Events: closures that bind an object and one of its methods (or a free
// function), copyable and comparable. Two events are equal exactly when they
// call the same method on the same object, or the same free function.
//
//   TNotifyEvent onClick = MakeEvent<&TMainForm::BottomNextClick>(form);
//   if (onClick) onClick(sender);
#include <cstddef>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "core/Exception.h"

class TObject;

// Raised when a method is bound to an event of another signature, or a
// published method is not found.
QV_DECLARE_EXCEPTION(EMethodError, Exception);

// A type-erased event: what an event property holds, without its signature's
// type. Form loaders and property tables pass events around in this form;
// TEvent<Sig> checks the signature when it is made from one.
struct TMethod {
  void* data = nullptr;                       // the bound object, adjusted to the method's class
  void (*code)() = nullptr;                   // the thunk, or the free function
  bool isFunction = false;                    // code is a free function called without data
  const std::type_info* signature = nullptr;  // typeid of R(Args...)

  explicit operator bool() const { return code != nullptr; }
  friend bool operator==(const TMethod& a, const TMethod& b) {
    return a.code == b.code && a.data == b.data && a.isFunction == b.isFunction;
  }
};

template <class Sig>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
public:
  using Signature = R(Args...);
  using Thunk = R (*)(void* data, Args... args);
  using Function = R (*)(Args... args);

  TEvent() = default;
  TEvent(std::nullptr_t) {}
  // Binds a free function or a capture-less lambda.
  template <class F>
    requires std::is_convertible_v<F, Function>
  TEvent(F function) {
    Function fn = function;
    method.code = reinterpret_cast<void (*)()>(fn);
    method.isFunction = true;
    method.signature = &typeid(Signature);
  }
  // From the type-erased form; raises EMethodError when the signatures differ.
  explicit TEvent(const TMethod& erased) {
    if (!erased) return;
    if (erased.signature == nullptr || *erased.signature != typeid(Signature))
      throw EMethodError("Method signature does not match the event");
    method = erased;
  }
  // Binds thunk (made for one method) to data; used by MakeEvent.
  static TEvent FromThunk(void* data, Thunk thunk) {
    TEvent event;
    event.method.data = data;
    event.method.code = reinterpret_cast<void (*)()>(thunk);
    event.method.signature = &typeid(Signature);
    return event;
  }

  explicit operator bool() const { return method.code != nullptr; }
  // Calls the bound method; an empty event does nothing and gives R().
  R operator()(Args... args) const {
    if (method.code == nullptr) return R();
    if (method.isFunction)
      return reinterpret_cast<Function>(method.code)(std::forward<Args>(args)...);
    return reinterpret_cast<Thunk>(method.code)(method.data, std::forward<Args>(args)...);
  }
  // The bound object (null for a free function or an empty event).
  void* Data() const { return method.data; }
  const TMethod& Method() const { return method; }

  friend bool operator==(const TEvent& a, const TEvent& b) { return a.method == b.method; }

private:
  TMethod method;
};

using TNotifyEvent = TEvent<void(TObject* sender)>;

// An event property whose handler only Door can call. The owner fires it
// through one member of Door, so that no call site reaches a handler without
// what that member does around the call (a tree holds itself and asks first
// whether it is going). Assigned, tested and compared like the TEvent it holds.
template <class Sig, class Door>
class TDoorEvent {
public:
  using Event = TEvent<Sig>;

  TDoorEvent() = default;
  TDoorEvent(std::nullptr_t) {}
  TDoorEvent(const Event& event_) : event(event_) {}
  explicit TDoorEvent(const TMethod& erased) : event(erased) {}
  template <class F>
    requires std::is_convertible_v<F, typename Event::Function>
  TDoorEvent(F function) : event(function) {}

  explicit operator bool() const { return static_cast<bool>(event); }
  void* Data() const { return event.Data(); }
  const TMethod& Method() const { return event.Method(); }

  friend bool operator==(const TDoorEvent& a, const TDoorEvent& b) { return a.event == b.event; }
  friend bool operator==(const TDoorEvent& a, const Event& b) { return a.event == b; }

private:
  friend Door;
  const Event& Handler() const { return event; }
  Event event;
};

namespace event_detail {

template <class M>
struct MemberTraits;
template <class C, class R, class... Args>
struct MemberTraits<R (C::*)(Args...)> {
  using Class = C;
  using Event = TEvent<R(Args...)>;
  using Object = C;
};
template <class C, class R, class... Args>
struct MemberTraits<R (C::*)(Args...) const> {
  using Class = C;
  using Event = TEvent<R(Args...)>;
  using Object = const C;
};

// One thunk per method: its address identifies the method. The method's
// class is a parameter of its own, though the method names it already: the
// compiler gives a template whose only tie to a class of an unnamed namespace
// is a method pointer outside linkage, so the thunks of two such classes of
// the same name in two files (a "Handler::Click" in each) became one, and one
// file's events called the other file's method on their own object.
template <class C, auto M, class Ev>
struct Thunk;
template <class C, auto M, class R, class... Args>
struct Thunk<C, M, TEvent<R(Args...)>> {
  static R Call(void* data, Args... args) {
    using Object = typename MemberTraits<decltype(M)>::Object;
    return (static_cast<Object*>(data)->*M)(std::forward<Args>(args)...);
  }
};

}  // namespace event_detail

// The event that calls Method on obj. obj may be of a class derived from the
// method's class; a null obj gives an empty event.
template <auto Method, class C>
typename event_detail::MemberTraits<decltype(Method)>::Event MakeEvent(C* obj) {
  using Traits = event_detail::MemberTraits<decltype(Method)>;
  using Event = typename Traits::Event;
  if (obj == nullptr) return Event();
  typename Traits::Object* target = obj;
  return Event::FromThunk(const_cast<void*>(static_cast<const void*>(target)),
                          &event_detail::Thunk<typename Traits::Class, Method, Event>::Call);
}
