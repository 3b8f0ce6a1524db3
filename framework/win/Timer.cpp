#include "win/Timer.h"

#include <unordered_map>

#include "win/ClassInfo.h"
#include "win/Forms.h"

namespace {

const TClassRegistrar<TTimer, TComponent> kTimer("TTimer", {
    Prop("Enabled", &TTimer::Enabled, &TTimer::SetEnabled),
    Prop("Interval", &TTimer::Interval, &TTimer::SetInterval),
    EventProp("OnTimer", &TTimer::OnTimer),
});

// The running timers by the number the system gave them. Timers are set on
// the thread, not on a window: a window of their own (its class registered,
// the window made) costs start-up time for every component that holds one.
std::unordered_map<UINT_PTR, TTimer*>& RunningTimers() {
  static std::unordered_map<UINT_PTR, TTimer*> timers;
  return timers;
}

}  // namespace

void TTimer::Create(TComponent* owner) {
  TComponent::Create(owner);
  UpdateTimer();
}

TTimer::~TTimer() { Stop(); }

// A tick already queued when its timer was killed finds no timer and is dropped.
void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto found = RunningTimers().find(id);
  if (found == RunningTimers().end()) return;
  try {
    found->second->Timer();
  } catch (const std::exception& e) {
    if (Application != nullptr) Application->ShowException(e);
  }
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

// A timer being read stops at each setting (it starts once read), whatever
// the value: one made running, whose definition sets what it already has,
// does not tick while the rest of the definition is read.
void TTimer::SetEnabled(bool value) {
  if (value == enabled && !ComponentState().Contains(csLoading)) return;
  enabled = value;
  UpdateTimer();
}

void TTimer::SetInterval(int value) {
  value = value < 0 ? 0 : value;
  if (value == interval && !ComponentState().Contains(csLoading)) return;
  interval = value;
  UpdateTimer();
}

// A tick calls the handler it finds then: a running timer goes on as it was.
void TTimer::SetOnTimer(TNotifyEvent value) { OnTimer = value; }

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::Stop() {
  if (id == 0) return;
  KillTimer(nullptr, id);
  RunningTimers().erase(id);
  id = 0;
}

// Setting a running timer again restarts its count with the new interval, so
// it is only killed when it is to stop, and only when it runs: each call is a
// window-server round trip, and a component loading sets its properties one
// by one.
void TTimer::UpdateTimer() {
  if (!enabled || interval == 0 || ComponentState().Contains(csLoading)) {
    Stop();
    return;
  }
  const UINT_PTR set = SetTimer(nullptr, id, static_cast<UINT>(interval), TimerProc);
  if (set == 0) {
    Stop();
    return;
  }
  if (set != id && id != 0) {
    // The system gave a new number instead of setting the old one again.
    KillTimer(nullptr, id);
    RunningTimers().erase(id);
  }
  id = set;
  RunningTimers()[id] = this;
}
