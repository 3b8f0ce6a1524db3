#pragma once
// TTimer: fires OnTimer every Interval milliseconds on the main thread while
// Enabled and an OnTimer handler is set. A hidden window receives WM_TIMER.
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
  static LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void UpdateTimer();

  bool enabled = true;
  int interval = 1000;
  HWND window = nullptr;  // owned
  bool running = false;
};
