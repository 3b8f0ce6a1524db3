#pragma once
// TSet<E>: a set of the values of an enumeration (values 0 .. N-1), used for
// state and option sets ("csLoading in ComponentState()").
#include <bitset>
#include <cstddef>
#include <initializer_list>

template <class E, std::size_t N = 64>
class TSet {
public:
  TSet() = default;
  TSet(std::initializer_list<E> items) {
    for (E item : items) Include(item);
  }

  bool Contains(E item) const { return bits.test(Index(item)); }
  bool Empty() const { return bits.none(); }
  TSet& Include(E item) {
    bits.set(Index(item));
    return *this;
  }
  TSet& Exclude(E item) {
    bits.reset(Index(item));
    return *this;
  }
  // Includes or excludes item.
  TSet& Set(E item, bool on) { return on ? Include(item) : Exclude(item); }

  friend TSet operator+(TSet a, const TSet& b) { return a += b; }
  friend TSet operator-(TSet a, const TSet& b) { return a -= b; }
  friend TSet operator*(TSet a, const TSet& b) { return a *= b; }
  TSet& operator+=(const TSet& other) {
    bits |= other.bits;
    return *this;
  }
  TSet& operator-=(const TSet& other) {
    bits &= ~other.bits;
    return *this;
  }
  TSet& operator*=(const TSet& other) {
    bits &= other.bits;
    return *this;
  }
  friend bool operator==(const TSet& a, const TSet& b) { return a.bits == b.bits; }
  // True when every member of this set is in other.
  bool SubsetOf(const TSet& other) const { return (bits & ~other.bits).none(); }

private:
  static std::size_t Index(E item) { return static_cast<std::size_t>(item); }
  std::bitset<N> bits;
};
