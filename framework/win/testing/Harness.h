#pragma once
// Test harness for the window layer under Wine: forms from definition text,
// controls by name, clicks and keys (window messages or real input through
// SendInput), message pumping with a condition and a time-out, screenshots.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "win/Controls.h"
#include "win/FormDefinition.h"
#include "win/Forms.h"

namespace qvtest {

// Makes a form of class T owned by the application from definition text
// (instead of its resource) and runs its OnCreate. Raises what the loader raises.
template <class T>
T* NewFormFromText(std::string_view text) {
  T* form = new T;
  try {
    form->CreateNew(Application);
    ReadFormDefinition(form, text);
  } catch (...) {
    delete form;
    throw;
  }
  form->AfterConstruction();
  return form;
}

// The component named name owned by root, as T; raises std::runtime_error when
// there is none or it is of another class.
template <class T = TControl>
T* Find(TComponent* root, std::string_view name) {
  auto* c = dynamic_cast<T*>(root->FindComponent(name));
  if (c == nullptr) throw std::runtime_error("No component " + std::string(name) + " of that class");
  return c;
}

// A time-out is what the awaited thing takes on an idle machine at most; with
// every core busy and disks flushing beside the tests, waits give it this many
// times as long (a time-out ends only a failing test).
inline constexpr int kBusyMachineHeadroom = 10;
// Handles pending messages until done() holds or kBusyMachineHeadroom times
// timeoutMs pass; true when done.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);
// Handles messages for ms milliseconds.
void Pump(int ms);

// Mouse clicks by window messages at point (client coordinates of control;
// default its centre). Windowless controls are clicked through their parent.
void Click(TControl* control, int x = -1, int y = -1);
void DoubleClick(TControl* control, int x = -1, int y = -1);
void RightClick(TControl* control, int x = -1, int y = -1);
// A real click through SendInput at the control's centre on the screen.
void ClickByInput(TControl* control);
// Key presses posted to the control's window (through the application's loop).
void PressKey(TWinControl* control, WORD vk);
// Characters typed into the control (WM_CHAR through the loop).
void TypeText(TWinControl* control, std::string_view text);
// A real key press through SendInput to the focused window; keyUp false
// sends only the key-down.
void PressKeyByInput(WORD vk, bool keyUp = true);
// Moves the mouse onto the control's centre with real input.
void MoveMouseTo(TControl* control);

// Captures the window as shown on the screen into <build>/screenshots/name.png;
// returns the path written. Raises std::runtime_error when it cannot.
std::string SaveScreenshot(HWND window, const std::string& name);
// The pixel colour (0x00RRGGBB) at a client point of window as shown.
uint32_t PixelAt(HWND window, int x, int y);

}  // namespace qvtest
