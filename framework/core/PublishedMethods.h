#pragma once
// Methods published by name, so that a form loader can bind event handlers
// named in a form definition ("OnClick = BottomNextClick").
//
//   class TMainForm : public TForm {
//   public:
//     QV_PUBLISHED_METHODS(TMainForm, TForm,
//                          QV_METHOD(BottomNextClick), QV_METHOD(BottomBackClick))
//     void BottomNextClick(TObject* sender);
//     ...
//   };
//
// Lookup ignores ASCII case and continues in the base class's table.
#include <string_view>

#include "core/Events.h"
#include "core/Object.h"

struct TMethodEntry {
  const char* name;
  // The method bound to instance (which must be of the publishing class).
  TMethod (*bind)(TObject* instance);
};

namespace event_detail {

bool SameMethodName(std::string_view a, std::string_view b);

template <auto M>
using MethodClass = typename MemberTraits<decltype(M)>::Class;

// C is the method's class, a parameter for the reason told at Thunk.
template <class C, auto M>
TMethod BindPublished(TObject* instance) {
  auto* target = dynamic_cast<C*>(instance);
  if (target == nullptr) throw EMethodError("Method bound to an object of another class");
  return MakeEvent<M>(target).Method();
}

}  // namespace event_detail

// The method published as name by instance's class or its bases; raises
// EMethodError "Method '<name>' not found in <class>" when there is none.
TMethod BindMethod(TObject* instance, std::string_view name);

// The same, as an event of signature Sig; raises EMethodError on a signature mismatch.
template <class Sig>
TEvent<Sig> BindEvent(TObject* instance, std::string_view name) {
  return TEvent<Sig>(BindMethod(instance, name));
}

// One table entry inside QV_PUBLISHED_METHODS.
#define QV_METHOD(NAME) \
  TMethodEntry { #NAME, &::event_detail::BindPublished<::event_detail::MethodClass<&Self::NAME>, &Self::NAME> }

// Declares CLASS's table of published methods; BASE is its direct base class.
// Place it in a public section of CLASS.
#define QV_PUBLISHED_METHODS(CLASS, BASE, ...)                                 \
  const TMethodEntry* FindMethod(std::string_view name_) const override {      \
    using Self = CLASS;                                                        \
    static const TMethodEntry kPublished[] = {__VA_ARGS__};                    \
    for (const TMethodEntry& entry : kPublished)                               \
      if (::event_detail::SameMethodName(entry.name, name_)) return &entry;   \
    return BASE::FindMethod(name_);                                            \
  }
