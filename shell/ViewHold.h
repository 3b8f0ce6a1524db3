#pragma once
// The one door through which the explorer views call their handlers.
//
// A handler may free the view that calls it, or the form that holds the view.
// Freeing a held object only tears it down and marks it going
// (TObject::Going); its memory stays until the last hold ends. So every view
// operation that calls out and goes on afterwards holds the view (and its
// form) for its whole run, and the door holds them once more around the call:
// code after a handler stops at one Going() test, and one that misses it
// still works on memory that is there.
#include <utility>

#include "win/Controls.h"

// Holds view and the form it stands on (if any) from construction to
// destruction; the last hold of a freed one releases it. A door's hold
// (door set) that would be the last is handed over instead, for the code
// that opened the door (TObject::TDoorHold).
class TViewHold {
public:
  explicit TViewHold(TControl* view_, bool door_ = false);
  ~TViewHold();
  TViewHold(const TViewHold&) = delete;
  TViewHold& operator=(const TViewHold&) = delete;
  // True once the view was freed (it fires nothing from then on).
  bool Going() const { return view->Going(); }

private:
  TControl* view;
  TCustomForm* form;  // null when the view stands on no form
  bool door;
};

// Calls event(args...) for view: nothing when the view is going or no
// handler is set. The handler is copied first (it may set the property).
// Answers false when the view is going afterwards: the caller stops there.
template <class Event, class... A>
bool FireViewHandler(TControl* view, const Event& event, A&&... args) {
  if (view->Going()) return false;
  if (!event) return true;
  TViewHold hold(view, /*door=*/true);
  Event handler = event;
  handler(std::forward<A>(args)...);
  return !view->Going();
}
