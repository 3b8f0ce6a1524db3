#include "leakcheck/LeakCheck.h"

#include <array>
#include <utility>

namespace {

std::string Ordinal(int n) {
  int lastTwo = n % 100;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) {
    switch (n % 10) {
      case 1: suffix = "st"; break;
      case 2: suffix = "nd"; break;
      case 3: suffix = "rd"; break;
      default: break;
    }
  }
  return std::to_string(n) + suffix;
}

template <int Slot>
void TrapAt(ReleasedInstance* self) {
  throw EBadInstance(ReleasedInstance::TrapMessage(Slot, self != nullptr ? self->FreedClassName() : "?"));
}

template <int... Slots>
constexpr std::array<ReleasedInstance::TTrap, sizeof...(Slots)> MakeTraps(std::integer_sequence<int, Slots...>) {
  return {&TrapAt<Slots>...};
}

constexpr auto kTraps = MakeTraps(std::make_integer_sequence<int, ReleasedInstance::kTrapCount>());

}  // namespace

void ReleasedInstance::Create(std::string freedClassName_) { freedClassName = std::move(freedClassName_); }

ReleasedInstance::TTrap ReleasedInstance::Trap(int slot) {
  if (slot < 0 || slot >= kTrapCount) return nullptr;
  return kTraps[static_cast<size_t>(slot)];
}

std::string ReleasedInstance::TrapMessage(int slot, std::string_view className) {
  return "Call " + Ordinal(slot + 1) + " virtual method on a FREED instance of " + std::string(className);
}
