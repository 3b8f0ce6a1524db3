#pragma once
// TdomCallOut: an event of the DOM or its parser (a listener, an error
// handler, a user-data handler). Anyone may bind, read or clear it; only a
// hold on the document the call concerns may call it
// (TdomDocumentWatch::Call), so whatever the handler frees, the document it
// holds stays in memory until the code that called the handler is done.
#include <type_traits>

#include "core/Events.h"

class TdomDocumentWatch;

template <class Event>
class TdomCallOut {
public:
  TdomCallOut() = default;
  TdomCallOut(std::nullptr_t) {}
  TdomCallOut(const Event& event_) : event(event_) {}
  // A free function or a capture-less lambda, as the event takes it.
  template <class F>
    requires std::is_convertible_v<F, typename Event::Function>
  TdomCallOut(F function) : event(function) {}

  explicit operator bool() const { return static_cast<bool>(event); }
  // The bound event (to keep and bind again, or to compare).
  const Event& Get() const { return event; }
  friend bool operator==(const TdomCallOut& a, const TdomCallOut& b) { return a.event == b.event; }

private:
  friend class TdomDocumentWatch;
  Event event;
};
