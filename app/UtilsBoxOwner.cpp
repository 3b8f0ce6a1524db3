// The owner of the program's message boxes: a box owned by the window it
// belongs to comes up in front of it, and keeps it waiting until answered.
#include <windows.h>

#include <exception>

#include "Utils.h"
#include "win/Forms.h"

namespace {

bool Shows(TCustomForm* form) { return form->HandleAllocated() && IsWindowVisible(form->Handle()); }

}  // namespace

HWND MessageBoxOwner() {
  HWND active = GetActiveWindow();
  if (active != nullptr && IsWindowVisible(active)) return active;
  if (Screen == nullptr) return nullptr;
  // Newest first: the splash over the main form that is being made.
  for (int i = Screen->FormCount() - 1; i >= 0; --i)
    if (Shows(Screen->Forms(i))) return Screen->Forms(i)->Handle();
  if (Screen->FormCount() == 0) return nullptr;
  // Without the splash: the main form, whose window is made now when its
  // creation shows the box (it stays hidden until the form shows).
  try {
    return Screen->Forms(Screen->FormCount() - 1)->Handle();
  } catch (const std::exception&) {
    return nullptr;
  }
}
