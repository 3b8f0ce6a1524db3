#pragma once
// The checking memory manager "LeakCheck". It can record allocations with the
// call stacks that made them, catch calls on freed objects and write a leak
// report at the end of the program, but the program never switches it on:
// nothing sets its two flags, so its finalisation only releases its own
// tables and no report is ever written.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Exception.h"
#include "core/Object.h"

namespace leakcheck {

inline constexpr std::string_view kVersion = "LeakCheck version 2.58";
// Where an active checker would write its report (and its work file, the same
// name followed by ".$$$").
inline constexpr std::string_view kReportFileName = "c:\\LeakCheck_Quorvanell.log";
inline constexpr std::string_view kWorkFileSuffix = ".$$$";

}  // namespace leakcheck

// Set only by the routine that would activate the checker, which the program
// does not carry: both stay false for the whole run.
extern bool LeakCheckActive;
extern bool LeakCheckInitialized;

// A call reached an object that is no longer a live instance.
QV_DECLARE_EXCEPTION(EBadInstance, Exception);
// A freed block was written to after it was freed.
QV_DECLARE_EXCEPTION(EFreedBlockDamaged, Exception);
// An interface method was called on a freed instance.
QV_DECLARE_EXCEPTION(EInterfaceFreedInstance, Exception);

// What a freed object turns into while the checker is active: its method
// table is replaced by kTrapCount traps, each raising EBadInstance with the
// slot that was called and the class the object had.
class ReleasedInstance : public TObject {
public:
  static constexpr int kTrapCount = 200;
  using TTrap = void (*)(ReleasedInstance* self);

  // Keeps the class name of the object that was freed.
  void Create(std::string freedClassName);
  const std::string& FreedClassName() const { return freedClassName; }

  // The trap of slot (0 .. kTrapCount - 1); null outside that range.
  static TTrap Trap(int slot);
  // "Call <n>th virtual method on a FREED instance of <class>" (n counts from 1).
  static std::string TrapMessage(int slot, std::string_view className);

private:
  std::string freedClassName;
};

// The unit's state as its finalisation sees it; true while nothing was
// recorded (always so, since the checker never runs).
bool LeakCheckTablesEmpty();
