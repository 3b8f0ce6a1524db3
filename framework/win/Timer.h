#pragma once
// TTimer: fires OnTimer every Interval milliseconds on the main thread while
// Enabled and an OnTimer handler is set. It is a timer of the thread (no
// window): its ticks come through the thread's message loop.
#include <windows.h>

#include "core/Component.h"
#include "core/Events.h"

class TTimer : public TComponent {
public:
  void Create(TComponent* owner) override;
  ~TTimer() override;

  bool Enabled() const { return enabled; }
  void SetEnabled(bool value);
  // Milliseconds; 0 stops the timer.
  int Interval() const { return interval; }
  void SetInterval(int value);
  void SetOnTimer(TNotifyEvent value);

  TNotifyEvent OnTimer;

protected:
  virtual void Timer();
  void Loaded() override;

private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void UpdateTimer();
  void Stop();

  bool enabled = true;
  int interval = 1000;
  UINT_PTR id = 0;  // the running timer's number; 0 when none runs
};
