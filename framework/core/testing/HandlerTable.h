#pragma once
// Tables of handlers that free what they are told about: rows of every event
// x what its handler frees (the action) x the call at which it does so (k),
// the rows a run takes, and one handler for any event property that tells
// the table of its calls, hung on the events of two kinds of owner. Tests only.
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace qvtable {

struct TRow {
  int event = 0;
  int action = 0;
  int k = 1;
};

struct TRows {
  std::vector<std::string> events;
  std::vector<std::string> actions;
  std::vector<TRow> all;

  // Every event x action x k of ks; AddEvent adds an event with ks of its own.
  TRows(std::vector<std::string> events_, std::vector<std::string> actions_, const std::vector<int>& ks);
  int AddEvent(const std::string& name, const std::vector<int>& ks);
  // "OnChange frees the node at call 2".
  std::string Describe(int row) const;
  // The indexes of the rows this run takes: those QV_TABLE_CHOSEN names (a
  // list of indexes, "3,17,40", or a part of their descriptions), all of them
  // with QV_LONG=1, else the rows kept (null: none) and sample more drawn
  // with seed, in the order of the table.
  std::vector<int> Chosen(int sample, unsigned seed, const std::function<bool(const TRow&)>& keep = nullptr) const;
};

// The signature of an event property: a plain event's, or that of the one
// an event only its owner may fire holds.
template <class E>
struct TSignatureOf {
  using Type = typename E::Signature;
};
template <class E>
  requires requires { typename E::Event; }
struct TSignatureOf<E> {
  using Type = typename E::Event::Signature;
};
template <class Member>
struct TPropertyOf;
template <class C, class E>
struct TPropertyOf<E C::*> {
  using Signature = typename TSignatureOf<E>::Type;
};

// A handler for the event property Member: Table::Collect(told, arg) sees
// each argument, then Table::Observe(index, told, baseline) decides; baseline
// runs what the handler does in every row (SetBaseline), if anything. It
// answers R().
template <class Table, auto Member, class Signature = typename TPropertyOf<decltype(Member)>::Signature>
struct THandler;
template <class Table, auto Member, class R, class... A>
struct THandler<Table, Member, R(A...)> {
  static inline int index = -1;
  static inline R (*baseline)(A...) = nullptr;
  static R Call(A... args) {
    typename Table::Told told{};
    (Table::Collect(told, args), ...);
    Table::Observe(index, told, [&] {
      if (baseline != nullptr) baseline(args...);
    });
    return R();
  }
};

// Hangs the table's handler on owner's event Member as the table's event index.
template <class Table, auto Member, class Owner>
void Bind(Owner* owner, int index) {
  THandler<Table, Member>::index = index;
  owner->*Member = &THandler<Table, Member>::Call;
}
// Sets what the handler does in every row besides what the table does.
template <class Table, auto Member>
void SetBaseline(decltype(THandler<Table, Member>::baseline) run) {
  THandler<Table, Member>::baseline = run;
}

// One event of a table: its name and how to hang the table's handler on it
// on an owner of type A, or of type B (false when that type has no such event).
template <class A, class B>
struct TEventSlot {
  const char* name;
  bool (*bind)(A* owner, int index);
  bool (*bindOther)(B* owner, int index);
};
// The slot of the event property name, for the table Table.
#define QV_TABLE_EVENT(Table, name) {#name, QV_TABLE_BIND(Table, name), QV_TABLE_BIND(Table, name)}
#define QV_TABLE_BIND(Table, name)                                                        \
  [](auto* owner, int index) {                                                            \
    using T = std::remove_pointer_t<decltype(owner)>;                                     \
    if constexpr (requires { &T::name; }) ::qvtable::Bind<Table, &T::name>(owner, index); \
    return requires { &T::name; };                                                        \
  }

// Hangs the handler of every event of slots on a, or on b where a has no such
// event; by event, whether it went to b.
template <class Slots, class A, class B>
std::vector<bool> BindAll(const Slots& slots, A* a, B* b) {
  std::vector<bool> other;
  for (const auto& slot : slots) {
    int index = static_cast<int>(other.size());
    other.push_back(!slot.bind(a, index) && slot.bindOther(b, index));
  }
  return other;
}
// The names of the events of slots, for TRows.
template <class Slots>
std::vector<std::string> NamesOf(const Slots& slots) {
  std::vector<std::string> names;
  for (const auto& slot : slots) names.push_back(slot.name);
  return names;
}

}  // namespace qvtable
